// The multisample store's files and folders: which files it reads, browsing
// to a zone's neighbouring file, saving and re-basing the zones' files,
// questions about what is loaded, and the end-point tools that look for a
// clean loop end.
#include "WaveRAM2.h"

#include "InterSF2.h"
#include "Parameter.h"

#include <algorithm>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Browsing and folders

Vdx::String_c WaveRAM2_c::getSupportedFileTypes() const
{
    // d4u: the raw exports dumpToPath writes must be loadable again.
    Vdx::String_c types("wav aif aiff wav d4t d4u");
    if (rexFlag)
        types += " rex rx2 rcy";
    return types;
}

bool WaveRAM2_c::isExtSupported(const Vdx::String_c& ext) const
{
    std::vector<Vdx::String_c> types;
    getSupportedFileTypes().tokenize(types, ' ');
    return std::any_of(types.begin(), types.end(),
                       [&](const Vdx::String_c& type) { return type.compare(ext, false) == 0; });
}

bool WaveRAM2_c::nextSample(bool forward, int ins, int z)
{
    if (!validZone(ins, z) || !paraSet)
        return false;
    Tool::Disk::Path_c current, next;
    paraSet->getParaPath(0, zonePara(z, zpFilename), &current);
    if (current.empty())
        return false;
    const Tool::Disk::Extension_c patterns("aif aiff wav d4t d4u");
    disk.getNextFile(forward, current, next, patterns, 4096);
    if (next.empty())
        return false;
    setParaPath(0, zonePara(z, zpFilename), next);
    return true;
}

template <class Use>
void WaveRAM2_c::forEachZoneFile(Use use)
{
    for (int z = 0; z < NumZones; ++z) {
        Tool::Disk::Path_c file;
        paraSet->getParaPath(0, zonePara(z, zpFilename), &file);
        if (!file.empty())
            use(z, file);
    }
}

void WaveRAM2_c::dumpToPath(int insFrom, int insTo, bool raw, const Tool::Disk::Path_c& folder)
{
    if (insFrom > 0 || insTo < 0 || folder.empty() || !paraSet)
        return;
    if (Tool::Disk::exists(folder) != 1)
        disk.createDir(folder);
    forEachZoneFile([&](int z, const Tool::Disk::Path_c& file) {
        Tool::Disk::Path_c result;
        if (raw) {
            WaveSample_c& s = zones[z];
            s.lock.getWritePermission();
            const Tool::Disk::Path_c target = disk.newFileName(file, folder, s.jFlag ? "D4U" : "D4T");
            if (!target.empty() && s.saveD4TSample(target) >= 0)
                result = target;
            s.lock.releaseWritePermission();
        } else {
            result = disk.copyFileTo(file, folder);
        }
        if (!result.empty())
            paraSet->setParaPath(0, zonePara(z, zpFilename), result);
    });
}

void WaveRAM2_c::swapDirectory(const Tool::Disk::Path_c& folder, int insFrom, int insTo)
{
    if (insFrom > 0 || insTo < 0 || folder.empty() || !paraSet)
        return;
    forEachZoneFile([&](int z, const Tool::Disk::Path_c& name) {
        // A SoundFont zone moves with its SoundFont file.
        Tool::Disk::Path_c file = name;
        int k = 0;
        const bool soundFontZone = InterSF2_c::isZoneReference(name, file, k);
        Tool::Disk::Path_c candidate = file.getLeaf();
        disk.MakeFullPath(folder, candidate);
        if (Tool::Disk::exists(candidate) != 1) {
            candidate = file.getLeaf();
            disk.MakeFullPath(folder.getParent() / Tool::Disk::Path_c("Samples"), candidate);
        }
        // Found in neither: the program keeps the place it names (where the
        // file may still be, and from where a missing one is looked for).
        if (Tool::Disk::exists(candidate) != 1)
            candidate = file;
        if (soundFontZone)
            candidate = candidate / Tool::Disk::Path_c(std::to_string(k).c_str()) / name.getLeaf();
        setParaPath(0, zonePara(z, zpFilename), candidate);
    });
}

void WaveRAM2_c::loadSamples(int insFrom, int insTo)
{
    if (insFrom > 0 || insTo < 0 || !paraSet)
        return;
    forEachZoneFile([&](int z, const Tool::Disk::Path_c& file) {
        setParaPath(0, zonePara(z, zpFilename), file);
    });
}

// ---------------------------------------------------------------------------
// Questions

int WaveRAM2_c::InsSamples(int ins, bool contiguous) const
{
    int n = 0;
    for (int z = 0; z < NumZones; ++z) {
        if (waveSampleHasData(ins, z))
            ++n;
        else if (contiguous)
            break;
    }
    return n;
}

bool WaveRAM2_c::InsHasSamples(int ins) const
{
    return InsSamples(ins, false) > 0;
}

bool WaveRAM2_c::InsHasSamples(int ins, Note_c note) const
{
    for (int z = 0; z < NumZones; ++z) {
        if (!waveSampleHasData(ins, z))
            continue;
        if (zoneVal(z, zpZoneLo) > note.note || note.note > zoneVal(z, zpZoneHi))
            continue;
        if (note.velocity != 0 && (zoneVal(z, zpVeloLo) > note.velocity || note.velocity > zoneVal(z, zpVeloHi)))
            continue;
        return true;
    }
    return false;
}

template <class T, class Measure>
T WaveRAM2_c::largestOfLoaded(int ins, Measure measure) const
{
    T m = 0;
    for (int z = 0; z < NumZones; ++z)
        if (waveSampleHasData(ins, z))
            m = std::max<T>(m, measure(zones[z]));
    return m;
}

int WaveRAM2_c::getMaxChannels(int ins) const
{
    return largestOfLoaded<int>(ins, [](const WaveSample_c& s) { return s.channels; });
}

int WaveRAM2_c::getMaxResolution(int ins) const
{
    return largestOfLoaded<int>(ins, [](const WaveSample_c& s) { return s.resolution; });
}

int WaveRAM2_c::getMaxSampleRate(int ins) const
{
    return largestOfLoaded<int>(ins, [](const WaveSample_c& s) { return s.sampleRate; });
}

float WaveRAM2_c::getMaxLength(int ins) const
{
    // A zone without a rate has no length to count.
    return largestOfLoaded<float>(ins, [](const WaveSample_c& s) {
        return s.sampleRate > 0 ? static_cast<float>(s.frames) / static_cast<float>(s.sampleRate) : 0.0f;
    });
}

const char* WaveRAM2_c::getSampleFilename(int ins, int z)
{
    filenameText[0] = 0;
    if (validZone(ins, z) && paraSet)
        paraSet->getParaCharPtr(0, zonePara(z, zpFilename), filenameText);
    return filenameText;
}

// ---------------------------------------------------------------------------
// End-point tools

int WaveRAM2_c::findPrev0x(const float* buf, int n)
{
    if (!buf)
        return n;
    for (int i = n; i >= 2; --i)
        if (buf[i] * buf[i - 1] < 0.0f)
            return i;
    return n;
}

int WaveRAM2_c::findBestEnd(const float* left, const float* right, int from, int to)
{
    if (!left)
        return from;
    int best = from;
    float lowest = 1.0f;
    for (int i = from; i <= to; ++i) {
        const float m = right ? std::max(left[i], right[i]) : left[i];
        if (m < lowest) {
            lowest = m;
            best = i;
        }
    }
    return best;
}

void WaveRAM2_c::optimizeEnd(int ins, int z)
{
    if (!validZone(ins, z) || !paraSet)
        return;
    WaveSample_c& s = zones[z];
    s.lock.getWritePermission();
    if (s.left && s.frames > 2) {
        const int end = std::clamp(zoneVal(z, zpEndFrame), 0, s.frames - 1);
        // Each crossing lies at or before the end, and no further back than
        // EndSearchFrames.
        constexpr int EndSearchFrames = 500;
        auto crossing = [&](const float* buf) {
            const int i = findPrev0x(buf, end);
            return i < end - EndSearchFrames ? end : i;
        };
        const int a = crossing(s.left);
        const int b = s.right ? crossing(s.right) : a;
        setZoneVal(z, zpEndFrame, findBestEnd(s.left, s.right, std::min(a, b), std::max(a, b)));
        postprocessEnd(z, false);
    }
    s.lock.releaseWritePermission();
}

void WaveRAM2_c::swapDirectoryDrum(const Tool::Disk::Path_c& from, const Tool::Disk::Path_c& to, int insFrom,
                                   int insTo)
{
    if (insFrom > 0 || insTo < 0 || from.empty() || to.empty() || !paraSet)
        return;
    const size_t prefix = from.getString().size();
    forEachZoneFile([&](int z, const Tool::Disk::Path_c& file) {
        if (!file.isSamePath(from) || file.getString().size() <= prefix)
            return;
        Tool::Disk::Path_c relative(Vdx::String_c(file.getString().substr(prefix)));
        relative.convertToRelative();
        setParaPath(0, zonePara(z, zpFilename), to / relative);
    });
}
