// WaveRAM2_c ('TM04'): the multisample memory behind a loop sampler. It holds
// NumZones zones, each one WaveSample_c with a key range, a velocity range, a
// root key, play and loop points, a volume, reverse, a delay and alternation.
// Everything about a zone lives in the store's parameter set (one set of
// ParaCount parameters), so zones travel with presets and project chunks like
// any module; a change of a zone parameter loads, reverses, clamps or snaps
// (postprocessParaChange).
//
// Parameter layout: 0..8 belong to the instrument, 9 + 20 z + k to zone z
// (ZonePara_t k), ParaAltMode is the alternation mode.
//
// Sharing: loading a file that another zone already holds borrows that zone's
// data (it becomes master, this zone virtual); a destructive change of either
// gives the borrower its own copy first (WaveSample_c::passMasterRole).
//
// Alternation: "Alterne" on in zone z+1 joins it to the group that starts at
// zone z; each note that falls in the group's ranges plays the next zone of
// the group (Cycling), a random one (Random) or a random one other than the
// last (Random+).
//
// Missing samples: setSample(ins, z, path) looks for a file that did not load
// under the folders where earlier missing samples were found, and otherwise
// asks the user to locate it (WaveRAM2Missing.cpp). A change of one zone's
// file only reports a failed load. A whole-set change (a program or project
// load) neither searches nor asks: it holds the locks of the load, so it
// marks the zone, and the instrument runs the search for the marked zones
// from an idle pass outside every lock (takeMissingZones).
//
// SoundFont zones: a zone the SoundFont import filled names "<file>/<k>/<sample
// name>" (InterSF2_c::zoneReference) and loads from that SoundFont file again,
// so a stored program finds its zones' data as it finds sample files.
//
// Threads: parameter changes, loads, frees, reversal and the SoundFont fill
// run on the user-interface thread and take each zone's write permission
// while they change the zone's sample. prepProcWR runs on the audio thread at
// note start: it reads parameters (atomics) and only tries each zone's read
// permission before it looks at the sample, so a zone being loaded is simply
// not played. The alternation state and the random generator belong to the
// audio thread.
#pragma once

#include "Disk.h"
#include "Path.h"
#include "PSUData.h"
#include "WaveBase.h"
#include "WaveSample.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

constexpr int TypeCodeWaveRAM2 = 0x544D3034; // 'TM04'

class SoundFontImage_c;

// The payloads a sample store hands the engine's group operation (which
// passes them to every owner of sample zones) follow.

// A folder in which a missing sample was found by hand.
class SearchPathInfo_c : public PSUData_i
{
public:
    explicit SearchPathInfo_c(const Tool::Disk::Path_c& p) : path(p) {}
    Tool::Disk::Path_c path;
};

// What an instrument's zones hold after a zone was reloaded.
class InstrumentSamplesInfo_c : public PSUData_i
{
public:
    int32_t instrument = 0;
    int32_t maxChannels = 0;
    int32_t maxResolution = 0;
    int32_t maxSampleRate = 0;
    float maxLengthSeconds = 0.0f;
};

class WaveRAM2_c : public WaveBase_c
{
public:
    static constexpr int NumZones = 64;
    static constexpr int ZoneParaCount = 20;
    static constexpr int FirstZonePara = 9;
    static constexpr int ParaAltMode = FirstZonePara + NumZones * ZoneParaCount; // 1289
    static constexpr int ParaCount = ParaAltMode + 1;                              // 1290
    // Frame parameters start with this upper limit; clearAllSampleLimits
    // raises it to UnlimitedFrames so a preset can set its values before its
    // samples are loaded.
    static constexpr int DefaultFrameLimit = 9999999;
    static constexpr int UnlimitedFrames = 999999999;

    enum InsPara_t : int {
        ipVersion = 0,
        ipReserve00 = 1,
        ipDistortion = 2,
        ipCompression = 3,
        ipBitCrushing = 4,
        ipKeySync = 5,
    };
    enum ZonePara_t : int {
        zpFilename = 0,
        zpRoot = 1,
        zpZoneLo = 2,
        zpZoneHi = 3, // 128 is a command: reset the range
        zpVeloLo = 4,
        zpVeloHi = 5,
        zpStartFrame = 6,
        zpEndFrame = 7,
        zpVolume = 8,
        zpPanorama = 9,
        zpReverse = 10,
        zpLoopStart = 11,
        zpLoopEnd = 12,
        zpLoopCounter = 13,
        zpLoopMode = 14,
        zpCmdLoadFilename = 15,
        zpLoopModRange = 16,
        zpSuppressXCross = 17,
        zpAlterne = 18,
        zpDelay = 19, // milliseconds
    };
    enum AltMode_t : int { amCycling = 1, amRandom = 2, amRandomPlus = 3 };

    // Builds the parameter set and registers the zone samples (identity
    // instrument 0, zone z, normal; this store as owner). While audio is
    // stopped.
    WaveRAM2_c();
    // Frees every zone.
    ~WaveRAM2_c() override;

    static constexpr int zonePara(int z, int k) { return FirstZonePara + ZoneParaCount * z + k; }

    // --- Part_c --------------------------------------------------------------
    using WaveBase_c::getParaSetPtr;
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    int getTypeCode() const override;
    // While audio is stopped: the part's handling, then the frame limits
    // follow every loaded zone again and its stored start, end and loop
    // points reach its sample unchanged (nothing of a zone depends on the
    // host's rate).
    void setSampleRate(float rate) override;
    // User-interface thread: the zone side effects of a change (idx -1: the
    // whole set, as after a preset load). Instruments other than 0 are
    // ignored.
    void postprocessParaChange(int set, int idx) override;

    // --- Sharing -------------------------------------------------------------
    void prepareDestructiveOperation(SampleInfo_c& info) override;
    void prepareDestructiveMaster(SampleInfo_c& info) override;
    void prepareDestructiveVirtual(SampleInfo_c& info) override;
    using WaveBase_c::prepareDestructiveOperation;

    // --- Loading (user-interface thread) ----------------------------------
    // Loads a file into zone z (or borrows it from a zone holding it); true
    // on success. The zone's "Filename" becomes path either way.
    bool setSampleCore(int ins, int z, const Tool::Disk::Path_c& path);
    // Fills zone z from 16-bit little-endian mono memory at rate Hz and
    // completes the load; no filename is set. frames < 1 leaves the zone
    // empty. True when the zone then holds data.
    bool setSample(int ins, int z, const void* data, int frames, int rate);
    // setSampleCore, and on failure the missing-sample handling.
    bool setSample(int ins, int z, const Tool::Disk::Path_c& path);
    // The zone's sample; null for an instrument other than 0 or a zone
    // outside 0..NumZones-1. Thread: any.
    WaveSample_c* getSample(int ins, int z);
    void freeSample(int ins, int z);
    // Every zone freed; every zone parameter back to its default (an import
    // or a clear starts from an empty memory, not from the ranges and
    // alternation of the zones it replaced).
    void freeAllSamples(int ins);
    void freeAllSamples() { freeAllSamples(0); }
    void clearAllSampleLimits(int ins);
    void setFlagLoadEnabled(bool on) { flagLoadEnabled = on; }
    void setFlagAskForMissing(bool on) { flagAskForMissing = on; }
    void setFlagSingleKeyZone(bool on) { flagSingleKeyZone = on; }
    void setFlagTakeFileLoops(bool on) { flagTakeFileLoops = on; }
    bool getFlagLoadEnabled() const { return flagLoadEnabled; }
    bool getFlagAskForMissing() const { return flagAskForMissing; }
    // Sets both loop points of zone z at once (le clamped to the sample,
    // ls to 0..le) and applies them as they are, without snapping: an
    // imported loop is exact already.
    void setZoneLoop(int ins, int z, int ls, int le);
    // Zeroed buffers in zone z for the caller to fill; keeps the zone's
    // write permission until finishLoad releases it (also on failure, where
    // finishLoad must still be called).
    bool getBufferFor(int ins, int z, int frames, int channels, float** left, float** right);
    // Completes a load under the zone's write permission (held by the caller,
    // released here): processing to J form and normalising when process is
    // set, frame limits, file loops, start, end, loop and reverse.
    void finishLoad(int ins, int z, bool process);

    // --- Note start (audio thread) ------------------------------------------
    // The zones that note selects, at most maxLayers, into layers
    // (maxLayers + 1 entries, null-terminated); sets the per-note fields
    // (delay, root frequency, rate ratio, gain) of each. The number of
    // layers.
    int prepProcWR(int ins, Note_c note, WaveSample_c** layers, int maxLayers);
    // The zone a group starting at first with n members plays this turn;
    // the result is remembered as the group's last choice.
    int getThisTurnsSampleIdx(int ins, int first, int n);
    // The size of the alternation group that starts at z (1: no group).
    int getNumAlt(int z) const;
    // Restarts the generator Random and Random+ draw from. Audio stopped.
    void seedRandom(uint32_t seed) { randomState = seed; }

    // --- Browsing and folders (user-interface thread) ----------------------
    bool nextSample(bool forward, int ins, int z);
    void dumpToPath(int insFrom, int insTo, bool raw, const Tool::Disk::Path_c& folder);
    void swapDirectory(const Tool::Disk::Path_c& folder, int insFrom, int insTo);
    void loadSamples(int insFrom, int insTo);
    // Zone files under from move to the same relative place under to, and
    // load from there.
    void swapDirectoryDrum(const Tool::Disk::Path_c& from, const Tool::Disk::Path_c& to, int insFrom, int insTo);
    // "wav aif aiff wav d4t d4u" (and the REX types when the REX flag is set).
    Vdx::String_c getSupportedFileTypes() const;
    bool isExtSupported(const Vdx::String_c& ext) const;

    // --- Questions --------------------------------------------------------------
    bool waveSampleHasData(int ins, int z) const;
    int InsSamples(int ins, bool contiguous) const;
    bool InsHasSamples(int ins) const;
    bool InsHasSamples(int ins, Note_c note) const;
    int getMaxChannels(int ins) const;
    int getMaxResolution(int ins) const;
    int getMaxSampleRate(int ins) const;
    float getMaxLength(int ins) const; // seconds
    const char* getSampleFilename(int ins, int z);

    // --- End-point tools ----------------------------------------------------
    // The last index i from n down to 2 with buf[i] * buf[i-1] < 0; n when
    // there is none.
    static int findPrev0x(const float* buf, int n);
    // The index in from..to where max(left, right) is lowest below 1.0;
    // from when there is none. right may be null (mono).
    static int findBestEnd(const float* left, const float* right, int from, int to);
    // Moves "End Frame" to a quiet crossing: the last sign change at or
    // before the end in each channel (no earlier than 500 frames before it),
    // and between the two the frame where the louder channel is lowest.
    void optimizeEnd(int ins, int z);
    void checkAllMaster() {}

    // --- Missing samples (WaveRAM2Missing.cpp) ------------------------------
    // zoneBase is 20 z; true when a file was loaded into the zone before
    // this returned (with an engine, a file chosen by hand loads later).
    bool handleMissingSample(int ins, int z, int zoneBase, const Tool::Disk::Path_c& path);
    // The same search and questions with the loads done by load (a file
    // found or chosen; true when the zone took it), for a caller that takes
    // its own locks around each load but none around the questions. With an
    // engine the questions and the dialog are queued on its panel thread
    // and each answer is handled in a later idle round (load is kept until
    // then, so it must hold copies of what it works on); ended runs once
    // when the search is over: before this returns when it needed no
    // question, else in the idle round of the last answer. Without an
    // engine everything happens before this returns.
    using ZoneLoader_t = std::function<bool(const Tool::Disk::Path_c&)>;
    bool handleMissingSample(int ins, int z, const Tool::Disk::Path_c& path, const ZoneLoader_t& load,
                             std::function<void()> ended = {});
    // Looks for missing under each remembered folder, with the shortest tail
    // of its path first; true and found set when a candidate exists. For a
    // SoundFont zone the SoundFont file is looked for.
    bool autoLocateSample(const Tool::Disk::Path_c& missing, Tool::Disk::Path_c& found) const;
    // The zones whose file a whole-set change could not load since the last
    // call, one bit per zone; the marks are cleared. Thread: any.
    uint64_t takeMissingZones() { return missingZones.exchange(0); }
    // Marks zones (one bit each) for the idle search again.
    void markMissingZones(uint64_t zones) { missingZones.fetch_or(zones); }
    bool hasMissingZones() const { return missingZones.load() != 0; }
    void addSearchPath(const Tool::Disk::Path_c& folder) { searchPaths.push_back(folder); }
    const std::vector<Tool::Disk::Path_c>& getSearchPaths() const { return searchPaths; }

protected:
    // The engine's group operation, which passes a payload to every owner of
    // sample zones; no other owner listens in this product, so nothing here.
    virtual void sendGroupData(PSUData_i& data);

private:
    // The largest measure(zone) over the zones of ins that hold data; 0
    // without any.
    template <class T, class Measure> T largestOfLoaded(int ins, Measure measure) const;
    // use(z, file) for every zone whose Filename is set, in zone order; the
    // file is read just before its zone's call. The caller checks paraSet.
    template <class Use> void forEachZoneFile(Use use);
    bool validZone(int ins, int z) const { return ins == 0 && z >= 0 && z < NumZones; }
    // Audio thread: whether zone z holds data, asked under a tried read
    // permission (false when refused).
    bool hasDataNow(int z);
    Parameter_c* zoneParas(int z) const;
    int zoneVal(int z, int k) const;
    void setZoneVal(int z, int k, int v); // clamped, without notification
    // Key sync: every zone's key edge, its parameter k and the sample's
    // field edge, becomes v.
    void syncKeyEdge(int k, int32_t WaveSample_c::*edge, int v);
    void handleZoneChange(int z, int k, bool all);
    void handleFilename(int z, bool all);
    // Zone z's start or end frame (parameter k). A user's entry is first
    // kept within the sample, moved to the nearest zero crossing unless the
    // zone suppresses that, and written back.
    int settledFrame(int z, int k, bool user);
    void postprocessStart(int z, bool user);
    void postprocessEnd(int z, bool user);
    void postprocessLoopStartEnd(int z, bool user, bool startWins);
    void postprocessLoopModRange(int z, bool user);
    void postprocessParaChangeAlt(int z, int k, bool all);
    void copyZonesRanges(int from, int to);
    void setFrameLimits(int z, int hi);
    void applyReverse(int z);
    void resetZoneParas(int z);
    // Takes a zone's lock by trying until it is granted: for a zone locked
    // while another zone's lock is held (the audio thread holds a lock for a
    // block at most, and never waits).
    static void lockByTrying(WaveSample_c& s);
    void handOverMaster(WaveSample_c& master);
    bool snapToCrossing(const WaveSample_c& s, int* pos) const;
    // Reads zone k of SoundFont file into s (whose write permission the
    // caller holds); false when the file or the zone cannot be had. During a
    // whole-set change the file is read once for every zone naming it.
    bool loadSoundFontZone(WaveSample_c& s, const Tool::Disk::Path_c& file, int k);
    void reportSamplesInfo(int ins);
    uint32_t nextRandom();
    // A missing sample's search waiting on its panels; a folder where the
    // user found one is searched from then on (and reported to the group).
    struct MissingSearch_t;
    void rememberFolder(const Tool::Disk::Path_c& folder);

    ParaSet_c* ownSet = nullptr; // the slot through which this store made its set

    uint8_t flagJMode = 1;
    uint8_t flagAskForMissing = 1;
    uint8_t flagTakeFileLoops = 1;
    uint8_t flagLoadEnabled = 1;
    uint8_t flagSingleKeyZone = 0;
    WaveSample_c zones[NumZones];
    uint8_t lastChoice[NumZones] = {};
    Disk_c disk;
    bool rexFlag = false; // nothing sets it
    std::vector<Tool::Disk::Path_c> searchPaths;
    char filenameText[ParaTextBufferBytes] = {};
    uint32_t randomState = 0x2F6B1A3Du;
    // Zones chosen by the current note start (audio thread).
    int chosenZone[NumZones + 1] = {};
    // Zones a whole-set change found missing (bit z), for the idle search.
    std::atomic<uint64_t> missingZones{0};
    // The SoundFont file of the zones being loaded; kept for the length of a
    // whole-set change only (keepSoundFont), so its image is read once.
    std::unique_ptr<SoundFontImage_c> soundFont;
    bool keepSoundFont = false;
};
