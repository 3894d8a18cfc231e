// WaveRAM_c ('TM02'): a user sample slot. It holds one sample named by its
// Filename parameter, with a key zone, a velocity zone, a root note, a volume
// and a play range (Start Frame, End Frame) in percent of the sample. The
// time-stretch sampler of generator slot k plays slot k.
//
// Loaded data is made ready for the sampler once, on the user-interface
// thread: its offset is removed (makeSym), each channel is brought to full
// scale and the data is turned into its running sum (J form), which the
// sampler reads as two sums per step. A D4U file already holds J data and is
// taken as it is. The sample's J flag always says which form the data is in.
//
// The slot owns its parameter set (one set of wrCount parameters), made in
// the constructor; an engine registry row that asks for it shares it.
//
// Threads: construction and everything that loads, frees, reverses, trims,
// exports or changes parameters runs on the user-interface thread (or while
// audio is stopped), holding the sample's write permission while the data
// changes. prepProc, getLoadGeneration and the parameter reads behind them
// may run on the audio thread: they never wait. Each change of the data
// raises the load generation, so a sampler that kept read positions from
// earlier data notices it the next time it holds the lock.
#pragma once

#include "Disk.h"
#include "WaveSample.h"

#include <atomic>
#include <cstdint>

constexpr int TypeCodeWaveRAM = 0x544D3032; // 'TM02'

class WaveRAM_c : public WaveBase_c
{
public:
    enum Para_t : int {
        wrVersion = 0,
        wrInsIdx = 1,      // the instrument this slot answers
        wrSampleIdx = 2,
        wrFilename = 3,    // text: the sample file; a change loads it
        wrUnus0 = 4,
        wrVolume = 5,      // dB, -18..6
        wrRoot = 6,        // the note at which the sample plays at its own pitch
        wrZoneLow = 7,
        wrZoneHigh = 8,
        wrVeloLow = 9,
        wrVeloHigh = 10,
        wrReverse = 11,
        wrMLEnable = 12,
        wrCmdPrev = 13,    // commands: act when switched on, then fall back off
        wrCmdLoadFilename = 14,
        wrCmdNext = 15,
        wrCmdClear = 16,
        wrStartFrame = 17, // percent of the sample, one decimal (stored x10)
        wrEndFrame = 18,
        wrCount = 19,
    };

    // Files the folder browsing steps through.
    static constexpr const char* BrowsePatterns = "aif aiff wav d4t d4u";
    // Most entries a folder listing for browsing holds.
    static constexpr int BrowseListMax = 4096;
    // The start stays at least this many percent below the end (display units).
    static constexpr float MinRangePercent = 10.0f;

    WaveRAM_c();
    ~WaveRAM_c() override;

    using Part_c::prepProc;
    using WaveBase_c::getParaSetPtr;

    // Defines the parameters in the slot's own set (the first call does) and
    // hands that set to a registry row that has none yet. True when defined.
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    int getTypeCode() const override;
    // User-interface thread: the change rules of the parameters; idx -1
    // applies every parameter in index order. Only set 0 exists.
    void postprocessParaChange(int set, int idx) override;

    // User-interface thread. While off, a new Filename frees the sample and
    // loads nothing (switching it on loads nothing by itself either).
    void setFlagLoadEnabled(bool on) { loadEnabled = on; }
    // Couples Zone Low and Zone High: setting one sets the other.
    void setFlagSingleKeyZone(bool on) { singleKeyZone = on; }

    // User-interface thread: loads path into sample idx (only 0 exists) and
    // makes it ready for the sampler. True when the slot holds its data.
    bool setSample(int idx, const Tool::Disk::Path_c& path);
    // User-interface thread: drops the sample (idx 0 only).
    bool freeSample(int idx);

    // Audio thread, at a note start: the sample when the slot is loaded, set
    // answers this slot's InsIdx and the note lies in both zones; null
    // otherwise. When the sample's lock is free it also stores the root
    // frequency and the root period (frames per period of the root note) in
    // the sample.
    void prepProc(int set, Note_c note, WaveSample_c** out);
    // Hz of the Root note through the tuning table (440 without one).
    // Any thread.
    float getRootFrequency() const;

    // User-interface thread: the next (or previous) sample file of the
    // current file's folder becomes the Filename and is loaded. True when
    // there was one.
    bool nextSample(bool next, int set);
    // User-interface thread: cuts the sample to its play range, saves it as
    // AIFF to path and loads that file. The data in the slot changes only
    // once the file is written; a failed save leaves it playing as it was
    // and tells the user. True when saved.
    bool trimTo(int set, const Tool::Disk::Path_c& path, bool raw = false);
    // User-interface thread: copies the sample file into folder (raw: writes
    // the data, in J form, as a new D4U file there) and points Filename at
    // the result without reloading.
    void dumpToPath(const Tool::Disk::Path_c& folder, bool raw);
    // User-interface thread: looks for the sample's file in folder, then in
    // the folder's parent's "Samples" folder, and loads the candidate.
    void swapDirectory(const Tool::Disk::Path_c& folder);

    // The play range in frames from the percentages; 0 without a sample.
    // Any thread that holds the sample's lock, or owns the slot.
    int getStartSample() const;
    int getEndSample() const;
    // Whether a loaded sample answers instrument ins and the note (a note
    // with velocity 0 needs only the key zone).
    bool InsHasSamples(int ins, Note_c note) const;

    WaveSample_c* getSample() { return &sample; }
    int getSampleCount() const { return sampleCount.load(); }
    // Raised by every change of the sample's data. Any thread.
    uint32_t getLoadGeneration() const { return loadGeneration.load(std::memory_order_acquire); }

private:
    // Filename applied: frees, then loads when enabled.
    void applyFilename();
    void applyReverse();
    void applyRange();
    void applyZone(int idx);
    // The frame of a percentage parameter (display 0..100) of frames.
    int frameOf(int idx) const;
    void changed() { loadGeneration.fetch_add(1, std::memory_order_acq_rel); }
    Vdx::String_c filenameText() const;

    WaveSample_c sample;
    Disk_c disk;
    ParaSet_c* ownSet = nullptr;
    std::atomic<int> sampleCount{0};
    std::atomic<uint32_t> loadGeneration{0};
    bool loadEnabled = true;
    bool singleKeyZone = false;
    bool inZoneCoupling = false; // re-entry guard of the zone coupling
};
