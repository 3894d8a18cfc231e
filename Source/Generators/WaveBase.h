// WaveBase_c: the base of every sample store (the sample slot, the
// multisample memory, the wavetable store) and of WaveSample_c itself. It adds
// to Part_c the in-place waveform tools that the stores run over a loaded
// sample, and the hooks through which a sample asks its store for leave
// before it changes data that other samples may share.
//
// J form: a signal held as its running sum (J[0] = x[0], J[i] = J[i-1] +
// x[i]). Generators read two positions of it and divide the difference by the
// step, which averages the signal over the step.
//
// It also holds the file work that the single-sample stores (the sample
// slot and the wavetable store) share: user messages, dumping and relocating
// a sample file, browsing its folder, and play-range percentages.
//
// Threads: the tools work only on the caller's buffer and may run on any
// thread that owns it; the stores call them on the user-interface thread
// under the sample's write permission.
#pragma once

#include "Disk.h"
#include "Part.h"

#include <functional>

class SampleInfo_c;
class WaveSample_c;

class WaveBase_c : public Part_c
{
public:
    WaveBase_c() = default;
    ~WaveBase_c() override = default;

    // Removes the offset of the whole buffer (its sum, added in double
    // precision from the last sample to the first).
    virtual void makeSym(float* buf, int n);
    // The offset removal proper: the offset sum / (n - m) fades in over the
    // first m samples, is removed in the middle and fades out over the last
    // m, so exactly sum is taken away; the result is then scaled by
    // 1 / (|offset| + 1). Nothing for a null buffer or n < 41.
    virtual void makeSym(float* buf, int n, double sum);
    // Plain samples to their running sum and back, in place; nothing for a
    // null buffer or n < 2.
    virtual void changeToJ(float* buf, int n);
    virtual void changeFromJ(float* buf, int n);
    // Scales the buffer down so that it stays within -1..1; unchanged when it
    // already does.
    virtual void limit0dBPeak(float* buf, int n);
    // Scales the peak to 1, unless the gain lies within 0.99..1.01.
    virtual void norm0dBPeak(float* buf, int n);
    // One gain for both channels from their joint peak, always applied.
    virtual void norm0dBPeak(float* left, float* right, int n);
    // Moves the buffer from the first sample louder than dB (re full scale)
    // to the front; the number of samples removed (0: nothing moved).
    virtual int trimStart(float* buf, int n, float dB);
    // A sample calls this on itself before it changes its data.
    virtual void prepareDestructiveOperation();
    // Called on the owning store with the identity of the sample about to
    // change; the store gives a virtual sample its own copy and hands a
    // master's role on.
    virtual void prepareDestructiveOperation(SampleInfo_c& info);
    virtual void prepareDestructiveMaster(SampleInfo_c& info);
    virtual void prepareDestructiveVirtual(SampleInfo_c& info);

    // The text of "File Error - Load failed" for a file that did not load:
    // its path, and for a path that names no regular file (a named pipe, a
    // device, a folder), that it was refused unread.
    static Vdx::String_c loadFailedText(const Tool::Disk::Path_c& path);

protected:
    // Through the engine's queue when there is one, else at once. Never the
    // audio thread.
    void tell(const char* title, const char* text);
    // Asks the user and runs onYes on a yes. With an engine the question
    // waits on the engine's panel thread and onYes runs in a later idle
    // round; without one it is asked at once. Never the audio thread.
    void askThen(const char* question, const char* title, std::function<void()> onYes);
    // The file a store points at after a dump into folder: a copy of source,
    // or (raw) the sample's data written under its write permission as a new
    // file named after source with rawExtension; empty when that failed.
    // User-interface thread.
    static Tool::Disk::Path_c dumpSampleFile(Disk_c& disk, WaveSample_c& sample, const Tool::Disk::Path_c& source,
                                             const Tool::Disk::Path_c& folder, bool raw, const char* rawExtension);
    // Where a sample file stored as stored is looked for after its folder
    // moved to folder: folder / leaf when that exists, else the folder's
    // parent's "Samples" / leaf.
    static Tool::Disk::Path_c movedSamplePath(const Tool::Disk::Path_c& stored, const Tool::Disk::Path_c& folder);
    // The next (or previous) file beside current that matches patterns, from
    // a folder list of at most listMax names; empty when there is none.
    static Tool::Disk::Path_c neighbourFile(Disk_c& disk, bool next, const Tool::Disk::Path_c& current,
                                            const char* patterns, int listMax);
    // The frame of a percentage parameter (display 0..100) of the sample's
    // frames; 0 without the parameter or data.
    static int percentFrame(const WaveSample_c& sample, const Parameter_c* p);
    // Parameter idx of set takes value, or path, without the change
    // notification; nothing for a parameter that is not there.
    void setParaQuietly(int set, int idx, int value);
    void setPathQuietly(int set, int idx, const Tool::Disk::Path_c& path);
    // Browsing: the filename parameter idx of set moves, without the change
    // notification, to neighbourFile of its file. False, and nothing
    // changed, for an empty name or when there is no such file.
    bool stepFilename(Disk_c& disk, int set, int idx, bool next, const char* patterns, int listMax);
};
