// SoundFont 2 import. See InterSF2.h.
#include "InterSF2.h"

#include "WaveRAM2.h"
#include "WaveSample.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// An identifier as stored, or with its four characters reversed.
bool isId(const uint8_t* p, const char* id)
{
    return std::memcmp(p, id, 4) == 0 || (p[0] == id[3] && p[1] == id[2] && p[2] == id[1] && p[3] == id[0]);
}

// Walks the RIFF chunks that start at from and end by end (the file's RIFF
// form or a LIST inside it): visit(head, body, size) for each, head the
// chunk's identifier, body the offset of its data. False when a chunk claims
// more than is there or visit answers false.
template <class Visit>
bool walkChunks(const uint8_t* data, uint64_t from, uint64_t end, Visit visit)
{
    uint64_t pos = from;
    while (pos + 8 <= end) {
        const uint8_t* head = data + pos;
        const uint64_t size = le32(head + 4);
        const uint64_t body = pos + 8;
        if (size > end - body)
            return false; // a chunk claiming more than the file holds
        if (!visit(head, body, size))
            return false;
        // Odd sizes are padded to even; the walk always moves on.
        pos = body + size + (size & 1);
    }
    return true;
}

// Generator operators the import honours (numbers of the SoundFont 2
// standard).
enum SF2Gen_t : int {
    genStartAddrsOffset = 0,
    genEndAddrsOffset = 1,
    genStartloopAddrsOffset = 2,
    genEndloopAddrsOffset = 3,
    genStartAddrsCoarseOffset = 4,
    genEndAddrsCoarseOffset = 12,
    genPan = 17,
    genDelayVolEnv = 33,
    genAttackVolEnv = 34,
    genHoldVolEnv = 35,
    genDecayVolEnv = 36,
    genSustainVolEnv = 37,
    genReleaseVolEnv = 38,
    genKeyRange = 43,
    genVelRange = 44,
    genStartloopAddrsCoarseOffset = 45,
    genInitialAttenuation = 48,
    genEndloopAddrsCoarseOffset = 50,
    genCoarseTune = 51,
    genFineTune = 52,
    genSampleID = 53,
    genSampleModes = 54,
    genOverridingRootKey = 58,
};

// Envelope times in timecents: ms = 2^(a / 1200) x 1000, a kept within the
// standard's range (-12000..8000: about 1 ms to 100 s).
float timecentsToMs(int a)
{
    return static_cast<float>(std::pow(2.0, std::clamp(a, -12000, 8000) / 1200.0) * 1000.0);
}

// One semitone up and down, and the edges of the window the fold brings a
// tuning ratio into.
constexpr double SemitoneUp = 1.0594630943592953;
constexpr double SemitoneDown = 0.9438743126816935;
constexpr double FoldHigh = 1.0297315471796478;
constexpr double FoldLow = 0.9719371563408468;

// Volume: 0.2 dB steps of the memory's "Volume"; Panorama: hundredths.
constexpr double VolumeStepsPerDb = 5.0;
constexpr double PanoramaSteps = 100.0;

// A zone's sample, loop and rate after the header and the offsets, checked
// against the sample data; false when the zone has no usable sample.
struct ZoneSample_t
{
    int64_t start = 0, end = 0, loopStart = 0, loopEnd = 0;
    int rate = 0;
};

bool resolveSample(const InstSplit_c& s, int64_t points, ZoneSample_t& out)
{
    if (s.sampleStart < 0 || s.sampleEnd < 0 || s.sampleRate < 1 || s.sampleRate > WaveSample_c::SampleRateLimit)
        return false;
    // The header must lie in the data: 0 <= start < end <= points.
    if (!(s.sampleStart < s.sampleEnd && s.sampleEnd <= points))
        return false;
    out.start = s.sampleStart;
    out.end = s.sampleEnd;
    // Address offsets move the play range within the header's; offsets
    // that would leave it are ignored.
    const int64_t start = s.sampleStart + s.startOffset;
    const int64_t end = s.sampleEnd + s.endOffset;
    if (start >= s.sampleStart && end <= s.sampleEnd && start < end) {
        out.start = start;
        out.end = end;
    }
    if (out.end - out.start > WaveSample_c::SampleRateLimit * int64_t(3600))
        return false;
    out.loopStart = std::clamp<int64_t>(s.loopStart + s.loopStartOffset, out.start, out.end - 1);
    out.loopEnd = std::clamp<int64_t>(s.loopEnd + s.loopEndOffset, out.loopStart, out.end - 1);
    out.rate = s.sampleRate;
    return true;
}

// Instrument headers ("inst"): a 20-byte name and the index of the
// instrument's first zone; the last record is the terminal one.
constexpr uint32_t InstrumentBytes = 22;
// Operators beyond the ones the import honours do nothing.
constexpr int HonouredOperators = genOverridingRootKey + 1;

// An instrument whose first zone names no sample has a global zone: that
// zone is not imported, and each generator it sets is the default of the
// instrument's other zones, used where a zone does not set that generator
// itself. A zone belongs to the first instrument whose range holds it.
void applyGlobalZones(const uint8_t* inst, uint32_t instSize, std::vector<VxBag_c>& zones,
                      std::vector<std::vector<sfInstGenList>>& generators)
{
    const uint32_t records = instSize / InstrumentBytes;
    const uint32_t count = static_cast<uint32_t>(zones.size());
    std::vector<bool> claimed(count, false);
    for (uint32_t i = 0; i + 1 < records; ++i) {
        const uint32_t first = le16(inst + InstrumentBytes * i + 20);
        const uint32_t end = std::min<uint32_t>(le16(inst + InstrumentBytes * (i + 1) + 20), count);
        if (first >= end || claimed[first])
            continue;
        const auto& own = generators[first];
        const bool playsSample = std::any_of(own.begin(), own.end(),
                                             [](const sfInstGenList& g) { return g.oper == genSampleID; });
        if (playsSample) {
            for (uint32_t z = first; z < end; ++z)
                claimed[z] = true;
            continue;
        }
        zones[first].global = true;
        claimed[first] = true;
        // The defaults: the last value of each honoured operator.
        std::vector<sfInstGenList> defaults;
        std::vector<int> slot(HonouredOperators, -1);
        for (const sfInstGenList& g : own) {
            if (g.oper >= HonouredOperators)
                continue;
            if (slot[g.oper] < 0) {
                slot[g.oper] = static_cast<int>(defaults.size());
                defaults.push_back(g);
            } else {
                defaults[static_cast<size_t>(slot[g.oper])] = g;
            }
        }
        for (uint32_t z = first + 1; z < end; ++z) {
            if (claimed[z])
                continue;
            claimed[z] = true;
            std::vector<bool> set(HonouredOperators, false);
            for (const sfInstGenList& g : generators[z])
                if (g.oper < HonouredOperators)
                    set[g.oper] = true;
            std::vector<sfInstGenList> merged;
            for (const sfInstGenList& g : defaults)
                if (!set[g.oper])
                    merged.push_back(g);
            merged.insert(merged.end(), generators[z].begin(), generators[z].end());
            generators[z] = std::move(merged);
        }
    }
}

// A sample name as the last part of a zone's file name: what would read as a
// folder, or be cleaned out of a path, becomes '_'; trailing blanks go.
std::string leafName(const char* name, int k)
{
    std::string leaf(name ? name : "");
    for (char& c : leaf)
        if (c == '/' || c == '\\' || c == ':' || c == '*' || c == '|' || c == '"' || c == '?' ||
            static_cast<unsigned char>(c) < 0x20)
            c = '_';
    while (!leaf.empty() && leaf.back() == ' ')
        leaf.pop_back();
    return leaf.empty() ? "zone " + std::to_string(k) : leaf;
}

} // namespace

std::vector<const InstSplit_c*> SF2Rep_c::imported() const
{
    std::vector<const InstSplit_c*> list;
    for (const VxBag_c& bag : zones) {
        if (list.size() >= static_cast<size_t>(WaveRAM2_c::NumZones))
            break;
        if (!bag.global)
            list.push_back(&bag.split);
    }
    return list;
}

// ---------------------------------------------------------------------------
// Inter_c

void Inter_c::interpret(const Tool::Disk::Path_c& path)
{
    if (path.empty())
        return;
    if (!disk.open(path, true, true))
        return;
    filePath = path;
    processData();
    disk.close();
}

// ---------------------------------------------------------------------------
// InterSF2_c

InterSF2_c::InterSF2_c(Synth* s, WaveRAM2_c* m, int ins) : Inter_c(s), memory(m), instrument(ins) {}

bool InterSF2_c::readImage(std::vector<uint8_t>& image)
{
    const int64_t size = Tool::Disk::getSize(filePath);
    if (size < 12 || size >= MaxFileBytes)
        return false;
    try {
        image.resize(static_cast<size_t>(size));
    } catch (...) {
        return false;
    }
    return disk.readBuffer(image.data(), static_cast<int>(size)) == static_cast<int>(size);
}

void InterSF2_c::processData()
{
    std::vector<uint8_t> image;
    if (readImage(image))
        interpretMemory(image.data(), image.size());
}

bool InterSF2_c::interpretMemory(const uint8_t* data, size_t size)
{
    SF2Rep_c rep;
    if (!parse(data, size, rep) || !memory)
        return false;
    transfer(rep);
    transferMod(rep);
    return true;
}

bool InterSF2_c::parse(const uint8_t* data, size_t size, SF2Rep_c& rep)
{
    rep = SF2Rep_c{};
    if (!data || size < 12 || size >= static_cast<size_t>(MaxFileBytes))
        return false;
    if (!isId(data + 8, "sfbk"))
        return false;
    // The RIFF size may claim less than the file holds (trailing bytes are
    // ignored) but never more.
    const uint64_t riffEnd = std::min<uint64_t>(uint64_t(le32(data + 4)) + 8, size);

    const uint8_t* ibag = nullptr;
    const uint8_t* igen = nullptr;
    const uint8_t* shdr = nullptr;
    const uint8_t* inst = nullptr;
    uint32_t ibagSize = 0, igenSize = 0, shdrSize = 0, instSize = 0;

    const auto list = [&](const uint8_t* head, uint64_t body, uint64_t chunkSize) {
        if (!isId(head, "LIST") || chunkSize < 4)
            return true;
        const uint8_t* listType = data + body;
        const bool isInfo = isId(listType, "INFO");
        const bool isSdta = isId(listType, "sdta");
        const bool isPdta = isId(listType, "pdta");
        const auto entry = [&](const uint8_t* sh, uint64_t subBody, uint64_t subSize) {
            if (isSdta && isId(sh, "smpl")) {
                rep.samples = data + subBody;
                rep.sampleBytes = static_cast<int64_t>(subSize & ~uint64_t(1));
            } else if (isPdta && isId(sh, "ibag")) {
                ibag = data + subBody;
                ibagSize = static_cast<uint32_t>(subSize);
            } else if (isPdta && isId(sh, "igen")) {
                // Generators are applied to zones; without the zones read
                // first the file is not in the standard's order.
                if (!ibag)
                    return false;
                igen = data + subBody;
                igenSize = static_cast<uint32_t>(subSize);
            } else if (isPdta && isId(sh, "shdr")) {
                shdr = data + subBody;
                shdrSize = static_cast<uint32_t>(subSize);
            } else if (isPdta && isId(sh, "inst")) {
                inst = data + subBody;
                instSize = static_cast<uint32_t>(subSize);
            }
            (void)isInfo; // every INFO entry is read over
            return true;
        };
        return walkChunks(data, body + 4, body + chunkSize, entry);
    };
    if (!walkChunks(data, 12, riffEnd, list))
        return false;

    if (!ibag)
        return true; // no zones: nothing to transfer
    // The last record is the terminal one: a table without it is broken
    // (its zone count would be -1), one with it alone makes no zone.
    const uint32_t bagRecords = ibagSize / BagBytes;
    if (bagRecords < 1)
        return false;
    if (bagRecords < 2)
        return true;
    const int count = static_cast<int>(bagRecords - 1);
    rep.zones.resize(static_cast<size_t>(count));
    // Each zone's generators in file order, applied once the global zones
    // are known.
    std::vector<std::vector<sfInstGenList>> generators(static_cast<size_t>(count));
    for (int i = 0; i <= count; ++i) {
        const uint16_t gen = le16(ibag + BagBytes * i);
        const uint16_t mod = le16(ibag + BagBytes * i + 2);
        if (i < count) {
            rep.zones[i].firstGen = gen;
            rep.zones[i].firstMod = mod;
        }
        if (i > 0) {
            rep.zones[i - 1].endGen = gen;
            rep.zones[i - 1].endMod = mod;
        }
    }

    if (igen) {
        // Record i belongs to the first zone whose range holds it. Indices
        // are 16 bits, so an owner table covers them all; a skip list over
        // the indices not yet owned keeps overlapping ranges from making
        // the fill quadratic.
        const uint32_t records = std::min<uint32_t>(igenSize / GeneratorBytes, 65536);
        std::vector<int> owner(records, -1);
        std::vector<uint32_t> nextFree(records + 1);
        for (uint32_t i = 0; i <= records; ++i)
            nextFree[i] = i;
        auto findFree = [&](uint32_t i) {
            uint32_t r = i;
            while (nextFree[r] != r)
                r = nextFree[r];
            while (nextFree[i] != r) {
                const uint32_t n = nextFree[i];
                nextFree[i] = r;
                i = n;
            }
            return r;
        };
        for (int z = 0; z < count; ++z) {
            const uint32_t end = std::min<uint32_t>(rep.zones[z].endGen, records);
            for (uint32_t i = findFree(std::min<uint32_t>(rep.zones[z].firstGen, records)); i < end; i = findFree(i)) {
                owner[i] = z;
                nextFree[i] = i + 1;
            }
        }
        // The terminal record is not applied.
        for (uint32_t i = 0; i + 1 < records; ++i) {
            if (owner[i] < 0)
                continue; // a record of no zone
            sfInstGenList g;
            g.oper = le16(igen + GeneratorBytes * i);
            g.amount = static_cast<int16_t>(le16(igen + GeneratorBytes * i + 2));
            generators[static_cast<size_t>(owner[i])].push_back(g);
        }
    }
    if (inst)
        applyGlobalZones(inst, instSize, rep.zones, generators);
    for (int z = 0; z < count; ++z)
        for (const sfInstGenList& g : generators[static_cast<size_t>(z)])
            interpretIGEN(g, &rep.zones[z].split);

    if (shdr) {
        const uint32_t headers = shdrSize / SampleHeaderBytes;
        // Every zone that plays a sample gets its header (the terminal
        // record is not one).
        for (int z = 0; z < count; ++z) {
            const int i = rep.zones[z].split.sampleIndex;
            if (i < 0 || static_cast<uint32_t>(i) + 1 >= headers)
                continue;
            const uint8_t* r = shdr + SampleHeaderBytes * static_cast<size_t>(i);
            sfSample h;
            std::memcpy(h.name, r, 20);
            h.start = le32(r + 20);
            h.end = le32(r + 24);
            h.loopStart = le32(r + 28);
            h.loopEnd = le32(r + 32);
            h.sampleRate = le32(r + 36);
            h.pitchKey = r[40];
            h.pitchCorrection = static_cast<int8_t>(r[41]);
            h.sampleLink = le16(r + 42);
            h.sampleType = le16(r + 44);
            interpretSHDR(h, &rep.zones[z].split);
        }
    }
    return true;
}

int InterSF2_c::getBagIdxFromGenIdx(const VxBag_c* zones, int idx, int count)
{
    for (int z = 0; zones && z < count; ++z)
        if (zones[z].firstGen <= idx && idx < zones[z].endGen)
            return z;
    return -1;
}

int InterSF2_c::getBagIdxFromSampleIdx(const VxBag_c* zones, int idx, int count)
{
    for (int z = 0; zones && z < count; ++z)
        if (zones[z].split.sampleIndex == idx)
            return z;
    return -1;
}

void InterSF2_c::interpretIGEN(const sfInstGenList& g, InstSplit_c* s)
{
    if (!s)
        return;
    const int a = g.amount;
    switch (g.oper) {
    case genStartAddrsOffset: s->startOffset += a; break;
    case genEndAddrsOffset: s->endOffset += a; break;
    case genStartloopAddrsOffset: s->loopStartOffset += a; break;
    case genEndloopAddrsOffset: s->loopEndOffset += a; break;
    case genStartAddrsCoarseOffset: s->startOffset += int64_t(a) * 32768; break;
    case genEndAddrsCoarseOffset: s->endOffset += int64_t(a) * 32768; break;
    case genStartloopAddrsCoarseOffset: s->loopStartOffset += int64_t(a) * 32768; break;
    case genEndloopAddrsCoarseOffset: s->loopEndOffset += int64_t(a) * 32768; break;
    case genPan: s->pan = std::clamp(a, -500, 500) / 500.0; break;
    case genDelayVolEnv: s->envDelay = timecentsToMs(std::min(a, 5000)); break;
    case genAttackVolEnv: s->envAttack = timecentsToMs(a); break;
    case genHoldVolEnv: s->envHold = timecentsToMs(std::min(a, 5000)); break;
    case genDecayVolEnv: s->envDecay = timecentsToMs(a); break;
    case genSustainVolEnv:
        s->envSustain = a < 0 ? 1.0f : a <= 1000 ? static_cast<float>(std::pow(10.0, -a / 200.0)) : 1e-5f;
        break;
    case genReleaseVolEnv: s->envRelease = timecentsToMs(a); break;
    case genKeyRange:
        s->keyLow = std::min<int>(g.lo(), 127);
        s->keyHigh = std::min<int>(g.hi(), 127);
        break;
    case genVelRange:
        s->velocityLow = std::min<int>(g.lo(), 127);
        s->velocityHigh = std::min<int>(g.hi(), 127);
        break;
    case genInitialAttenuation: s->gain *= std::pow(10.0, -std::clamp(a, 0, 1440) / 200.0); break;
    // The tuning generators are kept within the standard's ranges, so the
    // ratio stays finite and the fold into the root key ends.
    case genCoarseTune: s->tuneRatio *= std::pow(2.0, std::clamp(a, -120, 120) / 12.0); break;
    case genFineTune: s->tuneRatio *= std::pow(2.0, std::clamp(a, -99, 99) / 1200.0); break;
    case genSampleID: s->sampleIndex = static_cast<uint16_t>(g.amount); break;
    case genSampleModes: s->loop = (a & 1) != 0; break;
    case genOverridingRootKey:
        if (a != -1)
            s->rootKey = (a < -1 || a > 127) ? 60 : a;
        break;
    default: break;
    }
}

void InterSF2_c::interpretSHDR(const sfSample& h, InstSplit_c* s)
{
    if (!s)
        return;
    std::memset(s->name, 0, sizeof(s->name));
    std::memcpy(s->name, h.name, 20);
    if (s->rootKey < 0)
        s->rootKey = h.pitchKey <= 127 ? h.pitchKey : 60; // 255: unpitched
    s->tuneRatio *= std::pow(2.0, h.pitchCorrection / 1200.0);
    s->sampleStart = h.start;
    s->sampleEnd = h.end;
    s->loopStart = h.loopStart;
    s->loopEnd = h.loopEnd;
    s->sampleRate = static_cast<int>(std::min<uint32_t>(h.sampleRate, 0x7FFFFFFF));
}

int InterSF2_c::foldRootKey(int key, double r, double* remainder)
{
    if (remainder)
        *remainder = 1.0;
    if (!(r > 0.0) || !std::isfinite(r))
        return key;
    while (r >= FoldHigh) {
        --key;
        r *= SemitoneDown;
    }
    while (r <= FoldLow) {
        r *= SemitoneUp;
        ++key;
    }
    if (remainder)
        *remainder = r;
    return key;
}

bool InterSF2_c::zoneSound(const SF2Rep_c& rep, const InstSplit_c& split, SF2ZoneSound_t& out)
{
    ZoneSample_t zs;
    double remainder = 1.0;
    out = SF2ZoneSound_t{};
    out.root = foldRootKey(split.rootKey < 0 ? 60 : split.rootKey, split.tuneRatio, &remainder);
    if (!rep.samples || !resolveSample(split, rep.points(), zs))
        return false;
    out.points = rep.samples + 2 * zs.start;
    out.frames = static_cast<int>(zs.end - zs.start);
    // The tuning within half a semitone that the root key cannot hold plays
    // as the rate: 2^(c / 1200) faster for c cents sharp.
    const double rate = std::round(zs.rate * remainder);
    out.rate = static_cast<int>(std::clamp(rate, 1.0, double(WaveSample_c::SampleRateLimit)));
    out.loopStart = static_cast<int>(zs.loopStart - zs.start);
    out.loopEnd = static_cast<int>(zs.loopEnd - zs.start);
    return true;
}

Tool::Disk::Path_c InterSF2_c::zoneReference(const Tool::Disk::Path_c& file, int k, const char* name)
{
    const Tool::Disk::Path_c leaf(leafName(name, k).c_str());
    if (file.empty())
        return Tool::Disk::Path_c(name ? name : "");
    return file / Tool::Disk::Path_c(std::to_string(k).c_str()) / leaf;
}

bool InterSF2_c::splitZoneReference(const Tool::Disk::Path_c& reference, Tool::Disk::Path_c& file, int& k)
{
    const Tool::Disk::Path_c folder = reference.getParent();
    if (folder.getString() == reference.getString() || reference.getLeaf().empty())
        return false;
    const std::string number = folder.getLeaf().c_str();
    if (number.empty() || number.size() > 5 ||
        !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const Tool::Disk::Path_c owner = folder.getParent();
    if (owner.empty() || owner.getString() == folder.getString())
        return false;
    file = owner;
    k = std::stoi(number);
    return true;
}

void InterSF2_c::transfer(const SF2Rep_c& rep)
{
    if (!memory)
        return;
    memory->setFlagLoadEnabled(false);
    const std::vector<const InstSplit_c*> splits = rep.imported();
    const int n = static_cast<int>(splits.size());
    for (int z = 0; z < n; ++z) {
        const InstSplit_c& s = *splits[static_cast<size_t>(z)];
        auto para = [&](int k) { return WaveRAM2_c::zonePara(z, k); };
        memory->setParaPath(instrument, para(WaveRAM2_c::zpFilename), zoneReference(filePath, z, s.name));
        SF2ZoneSound_t sound;
        const bool usable = zoneSound(rep, s, sound);
        if (usable)
            memory->setSample(instrument, z, sound.points, sound.frames, sound.rate);
        else
            memory->setSample(instrument, z, nullptr, 0, 0); // an empty zone
        memory->setParaVal(instrument, para(WaveRAM2_c::zpRoot), sound.root);
        memory->setParaVal(instrument, para(WaveRAM2_c::zpZoneLo), s.keyLow);
        memory->setParaVal(instrument, para(WaveRAM2_c::zpZoneHi), s.keyHigh);
        memory->setParaVal(instrument, para(WaveRAM2_c::zpVeloLo), s.velocityLow);
        memory->setParaVal(instrument, para(WaveRAM2_c::zpVeloHi), s.velocityHigh);
        // Attenuation as a level in dB and pan in hundredths, both clamped
        // by their parameters.
        const double db = s.gain > 0.0 ? 20.0 * std::log10(s.gain) : -1000.0;
        memory->setParaVal(instrument, para(WaveRAM2_c::zpVolume), static_cast<int>(std::lround(db * VolumeStepsPerDb)));
        memory->setParaVal(instrument, para(WaveRAM2_c::zpPanorama), static_cast<int>(std::lround(s.pan * PanoramaSteps)));
        // Both loop points at once: setting one after the other would clamp
        // the start to the old end. A one-shot sample gets no loop.
        if (usable && s.loop)
            memory->setZoneLoop(instrument, z, sound.loopStart, sound.loopEnd);
        else
            memory->setZoneLoop(instrument, z, 0, 0);
    }
    memory->setFlagLoadEnabled(true);
}

void InterSF2_c::transferMod(const SF2Rep_c& rep)
{
    const std::vector<const InstSplit_c*> splits = rep.imported();
    if (splits.empty())
        return;
    const InstSplit_c& s = *splits.front();
    envelope[0] = static_cast<int>(s.envAttack);
    envelope[1] = static_cast<int>(s.envDecay);
    envelope[2] = static_cast<int>(s.envSustain * 1000.0f);
    envelope[3] = static_cast<int>(s.envRelease);
    if (synth)
        handOverEnvelope(instrument, envelope);
}

void InterSF2_c::handOverEnvelope(int, int*) {}

bool InterSF2_c::isZoneReference(const Tool::Disk::Path_c& name, Tool::Disk::Path_c& file, int& k)
{
    if (!splitZoneReference(name, file, k))
        return false;
    if (Tool::Disk::isFile(file))
        return true;
    return Tool::Disk::exists(file) != 1 && file.getExt().compare(Vdx::String_c("sf2"), false) == 0;
}

// ---------------------------------------------------------------------------
// SoundFontImage_c

bool SoundFontImage_c::load(const Tool::Disk::Path_c& file)
{
    path = Tool::Disk::Path_c();
    image.clear();
    rep = SF2Rep_c{};
    const int64_t size = Tool::Disk::getSize(file);
    if (size < 12 || size >= InterSF2_c::MaxFileBytes)
        return false;
    Disk_c disk;
    if (!disk.open(file, true, true))
        return false;
    bool read = false;
    try {
        image.resize(static_cast<size_t>(size));
        read = disk.readBuffer(image.data(), static_cast<int>(size)) == static_cast<int>(size);
    } catch (...) {
        read = false;
    }
    disk.close();
    if (!read || !InterSF2_c::parse(image.data(), image.size(), rep)) {
        image.clear();
        rep = SF2Rep_c{};
        return false;
    }
    path = file;
    return true;
}

bool SoundFontImage_c::zone(int k, SF2ZoneSound_t& out) const
{
    const std::vector<const InstSplit_c*> splits = rep.imported();
    if (k < 0 || k >= static_cast<int>(splits.size()))
        return false;
    return InterSF2_c::zoneSound(rep, *splits[static_cast<size_t>(k)], out);
}
