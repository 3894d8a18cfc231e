// SoundFont 2 import. InterSF2_c reads a SoundFont 2 file (a RIFF file of
// form type "sfbk") into one multisample memory: every instrument zone of the
// file, of every instrument, in file order, becomes one zone of the memory
// (at most WaveRAM2_c::NumZones). An instrument's global zone (its first
// zone, when that plays no sample) takes no zone of the memory: it supplies
// the generators its instrument's other zones lack. Each zone gets its 16-bit
// sample data, its root key (with the tuning folded into it), the rest of the
// tuning in its playback rate, key and velocity ranges, volume, pan and loop;
// the volume envelope of the first zone is handed to the engine.
//
// A zone's "Filename" names where its data came from, so a program that
// stores the memory finds it again: "<SoundFont file>/<k>/<sample name>",
// zone k of the file's import (zoneReference). The editor shows the sample's
// name (the path's leaf); the memory loads such a name from the SoundFont
// (SoundFontImage_c) as it loads any file, and the missing-sample search
// looks for the SoundFont file.
//
// The file is read whole and validated before anything reaches the memory:
// every chunk and list size is checked against the bytes really there, the
// walks always move forward and end with the file, and the sample headers a
// zone uses must lie inside the sample data. A file that fails leaves the
// memory's zones as they were. Chunk and list identifiers are accepted in
// either byte order.
//
// Threads: the user-interface thread (it loads zones under their write
// permissions); never the audio thread.
#pragma once

#include "Disk.h"
#include "Path.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class Synth;
class WaveRAM2_c;

// The base of file interpreters: a file read through disk by processData.
class Inter_c
{
public:
    explicit Inter_c(Synth* s) : synth(s) {}
    virtual ~Inter_c() = default;
    Inter_c(const Inter_c&) = delete;
    Inter_c& operator=(const Inter_c&) = delete;

    // Nothing for an empty path; otherwise opens the file, runs processData
    // and closes it.
    virtual void interpret(const Tool::Disk::Path_c& path);
    virtual void processData() = 0;

protected:
    Disk_c disk;
    Synth* synth;
    Tool::Disk::Path_c filePath; // the file being interpreted
};

// What a zone says about its sample (the SoundFont "split").
struct InstSplit_c
{
    int sampleIndex = -1; // -1: none
    char name[21] = {};   // 20 characters and a terminator
    int rootKey = -1;     // -1: unset
    double tuneRatio = 1.0;
    int keyLow = 0, keyHigh = 127;
    int velocityLow = 0, velocityHigh = 127;
    double gain = 1.0; // linear amplitude factor
    double pan = 0.0;  // -1 left .. +1 right
    // Address offsets of the generators, in sample points; applied to the
    // header's addresses.
    int64_t startOffset = 0, endOffset = 0, loopStartOffset = 0, loopEndOffset = 0;
    // From the sample header, in sample points of the "smpl" chunk; -1 until
    // a header is applied.
    int64_t sampleStart = -1, sampleEnd = -1, loopStart = -1, loopEnd = -1;
    int sampleRate = -1;
    bool loop = false; // sampleModes bit 0
    float envDelay = 0.0f, envAttack = 0.0f, envHold = 0.0f, envDecay = 0.0f; // ms
    float envSustain = 1.0f;  // linear level 0..1
    float envRelease = 0.0f;  // ms
};

// One instrument zone ("ibag" entry).
struct VxBag_c
{
    uint16_t firstGen = 0, endGen = 0;
    uint16_t firstMod = 0, endMod = 0;
    // The first zone of an instrument that plays no sample: its generators
    // are the defaults of the instrument's other zones; it is not imported.
    bool global = false;
    InstSplit_c split;
};

// What is kept of the file.
struct SF2Rep_c
{
    std::vector<VxBag_c> zones;
    const uint8_t* samples = nullptr; // "smpl": 16-bit little-endian mono points (inside the file image)
    int64_t sampleBytes = 0;
    int64_t points() const { return sampleBytes / 2; }
    // The zones an import makes, in file order (the global zones left out),
    // at most WaveRAM2_c::NumZones of them.
    std::vector<const InstSplit_c*> imported() const;
};

// Where one imported zone's sound lies in the file: its points, and the
// rate that plays them at the pitch the file asks for (the sample's rate
// times the tuning the root key does not take).
struct SF2ZoneSound_t
{
    const uint8_t* points = nullptr; // 16-bit little-endian mono
    int frames = 0;
    int rate = 0;
    int loopStart = 0, loopEnd = 0; // frames from the start
    int root = 60;                  // the root key with the tuning folded in
};

// The records of the file, as the program reads them.
struct sfInstGenList
{
    uint16_t oper = 0;
    int16_t amount = 0;
    uint8_t lo() const { return static_cast<uint8_t>(static_cast<uint16_t>(amount) & 0xFF); }
    uint8_t hi() const { return static_cast<uint8_t>(static_cast<uint16_t>(amount) >> 8); }
};
struct sfSample
{
    char name[20] = {};
    uint32_t start = 0, end = 0, loopStart = 0, loopEnd = 0, sampleRate = 0;
    uint8_t pitchKey = 60;
    int8_t pitchCorrection = 0;
    uint16_t sampleLink = 0, sampleType = 0;
};

class InterSF2_c : public Inter_c
{
public:
    static constexpr int SampleHeaderBytes = 46;
    static constexpr int GeneratorBytes = 4;
    static constexpr int BagBytes = 4;
    // Files of this size and above are not read (the file is read in one
    // piece of a 32-bit byte count).
    static constexpr int64_t MaxFileBytes = int64_t(1) << 31;

    InterSF2_c(Synth* s, WaveRAM2_c* memory, int instrument);

    // Reads the open file whole and imports it.
    void processData() override;
    // The import from a file image; false when the image is refused (the
    // memory is then untouched).
    bool interpretMemory(const uint8_t* data, size_t size);
    // Parses and validates an image into rep; false when refused. rep points
    // into data.
    static bool parse(const uint8_t* data, size_t size, SF2Rep_c& rep);

    // One generator, one sample header applied to a split.
    static void interpretIGEN(const sfInstGenList& gen, InstSplit_c* split);
    static void interpretSHDR(const sfSample& header, InstSplit_c* split);
    // The zone whose generator range holds idx, or the first zone using the
    // sample idx; -1 when there is none.
    static int getBagIdxFromGenIdx(const VxBag_c* zones, int idx, int count);
    static int getBagIdxFromSampleIdx(const VxBag_c* zones, int idx, int count);
    // The root key after folding the ratio into it: the ratio is brought
    // within one semitone around 1 (about -49.3 to +50.7 cents) by whole
    // semitones, each moving the key the other way. remainder (may be null)
    // receives what is left of the ratio.
    static int foldRootKey(int key, double ratio, double* remainder = nullptr);
    // Zone split's sound in rep; false when it has no usable sample.
    static bool zoneSound(const SF2Rep_c& rep, const InstSplit_c& split, SF2ZoneSound_t& out);

    // The file name of zone k of the import of SoundFont file: the file,
    // then k, then the sample's name (characters that would read as folders
    // replaced); just the name without a file.
    static Tool::Disk::Path_c zoneReference(const Tool::Disk::Path_c& file, int k, const char* name);
    // Reads the SoundFont file and zone k back from a name zoneReference
    // made (from the text alone; whether the file is there is not asked).
    static bool splitZoneReference(const Tool::Disk::Path_c& reference, Tool::Disk::Path_c& file, int& k);
    // Whether a zone's name reads from a SoundFont: it splits as above and
    // its file is a file, or, where nothing is, ends in ".sf2" (so a sample
    // under a folder named "808" that went missing is still a sample).
    static bool isZoneReference(const Tool::Disk::Path_c& name, Tool::Disk::Path_c& file, int& k);

    // Writes every split into the memory (the first NumZones).
    void transfer(const SF2Rep_c& rep);
    // The first split's envelope: attack ms, decay ms, sustain x 1000,
    // release ms, truncated. Handed to the engine through handOverEnvelope.
    void transferMod(const SF2Rep_c& rep);
    // The four envelope values of the last import (all 0 before one).
    const int* getEnvelope() const { return envelope; }

protected:
    // Reads the open file whole into image; false for a file too short to
    // hold a header or too large to read in one piece, when the memory
    // cannot be had, or when the read comes up short.
    bool readImage(std::vector<uint8_t>& image);
    // Where the engine takes the envelope; no engine in this layer listens,
    // so nothing here.
    virtual void handOverEnvelope(int instrument, int* values);

private:
    WaveRAM2_c* memory;
    int instrument;
    int envelope[4] = {};
};

// A SoundFont file read whole and parsed once, for the zones that name it.
// Thread: user interface.
class SoundFontImage_c
{
public:
    // False for a file that cannot be read or is refused as a SoundFont.
    bool load(const Tool::Disk::Path_c& file);
    const Tool::Disk::Path_c& file() const { return path; }
    // Zone k of the file's import; false when there is none or it plays no
    // usable sample.
    bool zone(int k, SF2ZoneSound_t& out) const;

private:
    Tool::Disk::Path_c path;
    std::vector<uint8_t> image;
    SF2Rep_c rep;
};
