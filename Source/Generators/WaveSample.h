// WaveSample_c: one mono or stereo sample in memory, held as planar 32-bit
// floats (one buffer per channel from allocSampleMem, so interpolators may
// read a few frames past the end), with its loop points, its identity
// (SampleInfo_c) and its own lock.
//
// Sharing: a store that loads one file into several zones keeps the data
// once. The first zone owns it as master, the others borrow it as virtual
// samples (beVirtual). Before any destructive change (trim, forceMono, the
// reversals, freeing a master) a sample asks its store for leave
// (prepareDestructiveOperation): a virtual sample then takes its own copy
// (unVirtual) and a master hands its role on (passMasterRole).
//
// Files: setSample(path) reads WAV, AIFF/AIFC, D4T and D4U files
// (WaveSampleRead.cpp); savePlatformSample, saveD4TSample and saveWAVSample
// write AIFF, D4T/D4U and WAV files (WaveSampleWrite.cpp). Both report a
// frame count or one of the negative codes below.
//
// Threads: loads, frees, sharing and every edit run on the user-interface
// thread, under the sample's write permission taken by the store (the
// operations here take no lock of their own, except passMasterRole, which
// locks the samples it changes). The audio thread reads the data only after
// lock.getImmediateReadPermission() succeeded and skips its block otherwise.
#pragma once

#include "Lock.h"
#include "SampleInfo.h"
#include "WaveBase.h"

#include <cstdint>

class SampleSource_c;

// Result codes of the sample file readers and writers beyond those every
// reader shares with the file layer (-5: the file cannot be opened or
// created). Readers: see WaveSampleRead.cpp for the code of each step.
namespace SampleCode {
constexpr int BadRate = -115;        // a sample rate outside 1..SampleRateLimit Hz, or not finite
constexpr int NoRate = -460;         // writers: a sample rate of 0 or less has no stored form
constexpr int D4TTooLarge = -470;    // writers: D4T data of D4TMaxPayload bytes or more
constexpr int D4TRateTooHigh = -480; // writers: a D4T rate of D4TMaxRate Hz or more
constexpr int NotWritten = -200;     // D4T: header or data not written
constexpr int NotCompleted = -730;   // the written file could not be closed or put in place
} // namespace SampleCode

class WaveSample_c : public WaveBase_c
{
public:
    // Highest sample rate a file may give, in Hz.
    static constexpr int SampleRateLimit = 1000000;
    // The D4T header holds the payload's millions and the rate's
    // ten-thousands in one byte each; these and more have no stored form.
    static constexpr int64_t D4TMaxPayload = 256000000;
    static constexpr int D4TMaxRate = 2560000;
    static constexpr int D4THeaderBytes = 40;
    static constexpr int CueTableSize = 8;

    WaveSample_c() = default;
    // Frees the data as freeSample does.
    ~WaveSample_c() override;
    WaveSample_c(const WaveSample_c&) = delete;
    WaveSample_c& operator=(const WaveSample_c&) = delete;

    // --- Identity and owner ---------------------------------------------------
    // Copies code and filename of info and remembers the owning store.
    virtual void setBackRef(SampleInfo_c& info, WaveBase_c* owner);
    // Asks the owner for leave to change shared data; then normal.
    void prepareDestructiveOperation() override;
    using WaveBase_c::prepareDestructiveOperation;

    // --- In memory --------------------------------------------------------------
    // Drops the data (a master first hands its role on; a virtual sample only
    // forgets the pointers), becomes normal with an empty filename and clears
    // the file flags. True when there was a buffer.
    bool freeSample();
    // A mono sample from 16-bit little-endian signed integers. False when
    // memory fails.
    bool setSample(const void* data, int frames);
    // Zeroed buffers for the caller to fill (right null in mono). False for
    // frames or channels <= 0, a null out-pointer or failed memory.
    bool getBufferFor(int frames, int channels, float** left, float** right);
    // Reverses (or turns back) the data unless it already is so; the flip
    // for data in J form (jForm) keeps it in J form.
    void setReversed(bool reversed, bool jForm);
    // Keeps frames from..to; other arguments do nothing.
    void trim(int from, int to);
    // Turns every channel into its running sum (on) or back to plain samples
    // (off) and keeps the J flag saying which form the data is in. Nothing
    // when the data is already in that form or the sample is empty. A shared
    // sample asks its store for leave first, as any edit does.
    void setJForm(bool on);
    // Mixes a stereo sample to mono.
    void forceMono();
    float getMaxLevel(const float* buf, int from, int to) const;
    float getSymLevel(const float* buf, int from, int to) const;
    // Whether index i of buf is a zero crossing (extremum false: a rising
    // one, a falling one too with both) or a local minimum (extremum true; a
    // maximum too with both). Index 0 always is; indices outside
    // 0..frames-2 never are.
    bool ZeroCrossAt(bool extremum, bool both, const float* buf, int i) const;
    // Moves *pos to the accepted index nearest to it (pos - d before pos + d);
    // false and *pos unchanged when none lies within frames steps.
    bool matchClosestZeroCross(bool extremum, bool both, const float* buf, int* pos) const;
    bool matchClosestZeroCrossLM(bool extremum, bool both, int* pos) const;
    bool matchClosestZeroCrossR(bool extremum, bool both, int* pos) const;
    void setStart(int v);
    void setEnd(int v);
    bool checkStartEndConsistent() const;
    int storeCuePoint(int id, int position);
    int getCuePointStart(int id) const;

    // --- Sharing ----------------------------------------------------------------
    // Whether this sample may borrow other's data: other owns data from the
    // same named file, both have the same reversal, and the channel counts
    // agree (or this one has none yet).
    bool isVirtuallySame(const WaveSample_c* other) const;
    // Borrows master's data (own data is freed first; a master hands its role
    // on through its owner, a master without owner stays as it is).
    void beVirtual(WaveSample_c* master);
    // A virtual sample takes private copies of the data and becomes normal.
    // False when memory failed (the sample then still borrows).
    bool unVirtual();
    // The hand-over a store makes before master changes its data: among the
    // count samples of the store, the first one borrowing from master takes
    // its own copy and becomes the new master, every further one borrows from
    // that one; a lone heir becomes normal. master becomes normal and keeps
    // its data. Each sample whose pointers change is held under its own write
    // permission while they do, so no voice reads data being handed over. The
    // caller holds master's write permission. User-interface thread.
    static void passMasterRole(WaveSample_c* master, WaveSample_c* const* samples, int count);

    // --- Files (WaveSampleRead.cpp, WaveSampleWrite.cpp) -----------------------
    // Frees, then loads by the extension (WAV, D4T, D4U, anything else AIFF).
    // True when the sample then holds data; the filename becomes path.
    bool setSample(const Tool::Disk::Path_c& path);
    // setSample's work, answering the reader's result: the frames read, or
    // the negative code that tells why the file did not load (for tools that
    // show it).
    int loadSampleFile(const Tool::Disk::Path_c& path);
    // Each frees the sample first; frames read or a negative code. The
    // SampleSource_c forms read from any byte source (memory in the fuzz
    // targets); they free every buffer again on failure.
    int loadWAVSample(const Tool::Disk::Path_c& path);
    int loadAIFSample(const Tool::Disk::Path_c& path);
    int loadD4TSample(const Tool::Disk::Path_c& path);
    int loadWAVSample(SampleSource_c& in);
    int loadAIFSample(SampleSource_c& in);
    int loadD4TSample(SampleSource_c& in);

    // 24-bit AIFF, D4T layout in the data's own form, 24-bit WAV. Each writes
    // a temporary file beside path and renames it over path only when every
    // write and the close succeeded, so a failed save leaves an old file as
    // it was. Frames written or a negative code.
    int savePlatformSample(const Tool::Disk::Path_c& path);
    int saveD4TSample(const Tool::Disk::Path_c& path);
    int saveWAVSample(const Tool::Disk::Path_c& path);
    // Saves in the format that loading path reads back (loadSampleFile picks
    // by extension): WAV, D4T (plain data), D4U (running sums), AIFF for
    // every other name. The data's J form follows the format. Frames written
    // or a negative code.
    int saveSampleFile(const Tool::Disk::Path_c& path);
    // The 24-bit code of x, x clamped to -1..1 (NaN as 0).
    static int32_t encode24(float x);

    // --- Fields -----------------------------------------------------------------
    Lock_c lock;
    SampleInfo_c info;
    uint16_t channels = 0;       // 1 or 2; 0 while empty
    uint16_t resolution = 0;     // bits of the source: 8, 16, 24, 32 or 64
    int32_t sampleRate = -1;     // Hz; -1 until the first load
    float* left = nullptr;       // the only channel of a mono sample
    float* right = nullptr;      // null in mono
    float rateRatio = 0.0f;      // sample rate / root frequency; set per note by the store
    int32_t frames = 0;          // length of each channel
    uint8_t jFlag = 0;           // data in J form
    float rootFrequency = -1.0f; // Hz; set by the store
    int32_t keyLow = 0, keyHigh = 127;
    int32_t velocityLow = 1, velocityHigh = 127;
    int32_t loopStart = 0, loopEnd = 0; // frames; from the file, then from the store
    int32_t loopModRange = 0;
    float gain = 1.0f;           // linear; set by the store
    uint8_t hasLoop = 0;         // the file had a loop
    uint16_t blockAlign = 0;     // from a WAV format chunk
    uint8_t aifcFlag = 0, bigEndianFlag = 0, floatFlag = 0, reversedFlag = 0;
    int32_t dataBytes = 0;       // size of the data in the source's format
    int32_t start = 0, end = 0;  // play range in frames
    int32_t delay = 0;           // frames of silence before the sample sounds; set per note
    struct CuePoint_t
    {
        int32_t id = -1;
        int32_t position = 0; // frames
    };
    int32_t cueCount = 0;
    CuePoint_t* cueTable = nullptr; // CueTableSize entries; only while a WAV file is read
    WaveBase_c* owner = nullptr;

private:
    // Frees this sample's own buffers (borrowed ones stay with their master)
    // and forgets both pointers.
    void releaseBuffers();
    // Frees this sample's own buffers (not borrowed ones) and empties it,
    // without asking the owner: the readers' clean-up on failure.
    void dropData();
    // The opening of every reader: no sample and no loop of a previous file,
    // the byte order the format stores.
    void beginLoad(uint8_t bigEndian);
    // dropData, then code: how a reader fails.
    int failLoad(int code);
    // The AIFF sustain loop from the 20-byte INST chunk at instBody and the
    // markBytes of the MARK chunk at markBody; nothing when either is damaged.
    void readSustainLoop(SampleSource_c& in, int64_t instBody, int64_t markBody, int64_t markBytes);
    void flipData(); // reverses each channel in place
    void flipDataJ();
    int saveAIFSample(const Tool::Disk::Path_c& path);
    int saveD4TSampleCore(const Tool::Disk::Path_c& path);
};

// Holds a sample's write permission for a scope (user-interface thread).
class SampleWriteHold : public LockWriteScope
{
public:
    explicit SampleWriteHold(WaveSample_c& s) : LockWriteScope(s.lock) {}
};
