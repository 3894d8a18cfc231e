// WaveTable_c ('WWT0'): the wavetable store of a generator slot. It turns a
// sample into WTFrames single-cycle frames of WTFrameSize samples: the chosen
// region of the sample is cut into periods of the Root note, neighbouring
// periods are blended so that the frames cover the region evenly, each frame
// is resampled to WTFrameSize points, its edges are faded and it is brought
// to full scale. The wavetable generator of generator slot k plays store k.
// Without a sample the table holds sine frames.
//
// The duration D is the length in seconds of the whole source sample: the
// generator passes the frames in D seconds at a WaveRide of 1 (1 s for the
// sine table).
//
// Threads: construction, loading, building, clearing and the file commands
// run on the user-interface thread (or while audio is stopped). The
// generator reads the table on the audio thread while it may be rebuilt: the
// table is never reallocated, and every value is written and read as a
// relaxed atomic (tableValue/storeTableValue), so a playing note hears the
// new frames from the next sample on and never a torn value.
#pragma once

#include "Disk.h"
#include "WaveSample.h"

#include <atomic>

constexpr int TypeCodeWaveTable = 0x57575430; // 'WWT0'

class WaveTable_c : public WaveBase_c
{
public:
    enum Para_t : int {
        wtVersion = 0,
        wtFilename = 1,   // text: the source sample; empty: the sine table
        wtRoot = 2,       // note whose period is one frame
        wtStartFrame = 3, // percent of the sample, one decimal (stored x10)
        wtEndFrame = 4,
        wtCount = 5,
    };

    static constexpr int WTFrames = 64;
    static constexpr int WTFrameSize = 128;
    static constexpr int WTTableSize = WTFrames * WTFrameSize;
    // A region shorter than this is widened to it (when the sample is long
    // enough), frames.
    static constexpr int MinRegion = 1024;
    // The shortest period a frame is made from, frames.
    static constexpr float MinPeriod = 2.0f;
    // Note 0's frequency, Hz: the Root note's period is reckoned from it.
    static constexpr double Note0Hz = 8.175798915643707;
    static constexpr const char* BrowsePatterns = "aif wav d4t";
    static constexpr int BrowseListMax = 4096;
    // Start Frame stays at least this far below End Frame (stored units: 1.0 %).
    static constexpr int MinRangeStored = 10;

    WaveTable_c();
    ~WaveTable_c() override;

    using WaveBase_c::getParaSetPtr;
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    int getTypeCode() const override;
    // User-interface thread: Filename loads or clears; Root, Start Frame and
    // End Frame rebuild the table after their rule. idx -1 applies all.
    void postprocessParaChange(int set, int idx) override;

    // Audio thread, at a note start: the table and D, when the store has
    // parameters.
    void prepProcWT(int set, Note_c note, float** table, float* duration);
    void setFlagLoadEnabled(bool on) { loadEnabled = on; }

    // User-interface thread: loads the source (mixed to mono, full scale,
    // plain samples even from a D4U file) and builds the table. True when
    // loaded.
    bool setSample(int set, const Tool::Disk::Path_c& path);
    // User-interface thread: builds from the region the percentages of set
    // choose.
    void TableFromSample(int set);
    // User-interface thread: builds the table from start..end of the source
    // with the period of note root. A region under MinRegion frames from a
    // source under MinRegion frames, or a period under MinPeriod frames (a
    // sample rate of 0, say), leaves the table as it was.
    void forceSample2Table(int set, int root, int start, int end);
    // User-interface thread: empties Filename, frees the source, sine table.
    void clear(int set);
    // User-interface thread: the next (or previous) file of the source's
    // folder becomes the Filename and is loaded. True when there was one.
    bool nextFile(bool next, int set);
    // User-interface thread: cuts the source to its region, saves it to path
    // (D4T with raw, else AIFF) and loads that file; a failed save changes
    // nothing and tells the user. The result scales the generator's
    // WaveRide so that the frames pass at the same speed as before: the new
    // length over the old one, in (0, 1]; 1 when nothing was cut.
    float trimTo(int set, const Tool::Disk::Path_c& path, bool raw);
    // User-interface thread: copies the source file into folder (raw: writes
    // the source's data as a new D4T file there) and points Filename at it.
    void dumpToPath(const Tool::Disk::Path_c& folder, bool raw);
    // User-interface thread: looks for the source in folder, then in the
    // parent's "Samples" folder, and loads the candidate.
    void swapDirectory(const Tool::Disk::Path_c& folder);

    // Blends two periods into n points: a at aWeight plus b at bWeight, each
    // read with linear interpolation over its length, clamped to -1..1.
    static void mixToWTWave(const float* a, int aLen, float aWeight, const float* b, int bLen, float bWeight,
                            float* dst, int n);

    // Relaxed atomic access to the table's values. Any thread.
    static float tableValue(float* table, int i);
    static void storeTableValue(float* table, int i, float v);

    float* getTable() const { return table; }
    float getDuration() const { return duration; }
    WaveSample_c* getSample() { return &sample; }

private:
    void fillSine();
    void writeFrame(int f, const float* values);
    void applyFilename(int set);
    void applyRange(int set, int idx);
    int frameOf(int set, int idx) const;
    // use(set, file) for every set whose Filename is not empty; nothing
    // before the set exists.
    template <class Use> void forEachFilename(Use use)
    {
        if (!paraSet)
            return;
        const int sets = paraSet->getSetCount();
        for (int set = 0; set < sets; ++set) {
            Vdx::String_c text;
            getParaString(set, wtFilename, &text);
            if (!text.empty())
                use(set, Tool::Disk::Path_c(text));
        }
    }

    WaveSample_c sample;
    Disk_c disk;
    float* table = nullptr;
    RelaxedAtomic_t<float> duration{1.0f};
    bool loadEnabled = true;
};
