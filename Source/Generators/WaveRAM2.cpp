// The multisample memory. See WaveRAM2.h; the missing-sample search lives in
// WaveRAM2Missing.cpp.
#include "WaveRAM2.h"

#include "InterSF2.h"
#include "ParaRow.h"
#include "Parameter.h"
#include "SafeDiv.h"
#include "Synth.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

namespace {

// Hz of MIDI note 0; a root key k sounds at RootNoteZeroHz * 2^(k / 12).
constexpr double RootNoteZeroHz = 8.175798915643707;
// Gains a zone may carry (linear): the lower bound keeps the sign of a
// silenced zone, the upper one is +12 dB.
constexpr float ZoneGainLow = -0.0001f;
constexpr float CrossfadeGainLow = -0.00001f;
constexpr float ZoneGainHigh = 4.0f;

// The alternation modes, seven characters each.
constexpr const char* AltModeItems = "Cycling"
                                     "Random "
                                     "Random+";

} // namespace

WaveRAM2_c::WaveRAM2_c()
{
    if (!getParaSetPtr(&ownSet, 1))
        return;
    for (int z = 0; z < NumZones; ++z) {
        SampleInfo_c id;
        id.set(0, z, SampleInfo_c::kindNormal);
        zones[z].setBackRef(id, this);
        lastChoice[z] = static_cast<uint8_t>(z);
    }
}

WaveRAM2_c::~WaveRAM2_c()
{
    for (int z = 0; z < NumZones; ++z) {
        zones[z].lock.getWritePermission();
        zones[z].freeSample();
        zones[z].lock.releaseWritePermission();
    }
}

int WaveRAM2_c::getTypeCode() const
{
    return TypeCodeWaveRAM2;
}

bool WaveRAM2_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    if (!shared)
        return false;
    // Each memory keeps its own set: zones are not shared between stores.
    // A registry slot asking later gets that set.
    if (paraSet) {
        if (!*shared)
            *shared = paraSet;
        return *shared == paraSet;
    }
    bool defined = false;
    Parameter_c* p = beginParaDefinition(shared, nSets, ParaCount, &defined);
    if (!p)
        return defined;
    createParas(p, {
        {.index = ipVersion, .name = "Version", .lo = 200, .hi = 9900, .precision = 2, .def = 300},
        {.index = ipReserve00, .kind = ParaKind::OnOff, .name = "Reserve00", .def = 0},
        {.index = ipDistortion, .name = "Distortion", .unit = "%", .lo = 0, .hi = 10000, .precision = 2, .def = 0},
        {.index = ipCompression, .name = "Compression", .unit = ":1", .lo = 100, .hi = 2000, .precision = 2,
         .def = 100},
        {.index = ipBitCrushing, .name = "BitCrushing", .unit = "Bit", .lo = 10, .hi = 240, .precision = 1, .def = 240},
        {.index = ipKeySync, .kind = ParaKind::OnOff, .name = "Key Sync", .def = 0},
        {.index = 6, .kind = ParaKind::OnOff, .name = "Reserve05", .def = 0},
        {.index = 7, .kind = ParaKind::OnOff, .name = "Reserve06", .def = 0},
        {.index = 8, .kind = ParaKind::OnOff, .name = "Reserve07", .def = 0},
    });
    for (int z = 0; z < NumZones; ++z) {
        Parameter_c* q = p + zonePara(z, 0);
        createParas(q, {
            {.index = zpFilename, .kind = ParaKind::CharPtr, .name = "Filename", .pathLeaf = true},
            {.index = zpRoot, .kind = ParaKind::Note, .name = "Root", .lo = 0, .hi = 127, .precision = 0, .def = 60},
            {.index = zpZoneLo, .kind = ParaKind::Note, .name = "Zone Lo", .lo = 0, .hi = 127, .precision = 0,
             .def = 0},
            {.index = zpZoneHi, .kind = ParaKind::Note, .name = "Zone Hi", .lo = 0, .hi = 128, .precision = 0,
             .def = 127},
            {.index = zpVeloLo, .name = "Velo Lo", .lo = 1, .hi = 127, .precision = 0, .def = 1},
            {.index = zpVeloHi, .name = "Velo Hi", .lo = 1, .hi = 127, .precision = 0, .def = 127},
            {.index = zpStartFrame, .name = "Start Frame", .unit = "Samples", .lo = 0, .hi = DefaultFrameLimit,
             .precision = 0, .def = 0},
            {.index = zpEndFrame, .name = "End Frame", .unit = "Samples", .lo = 0, .hi = DefaultFrameLimit,
             .precision = 0, .def = 0},
            {.index = zpVolume, .kind = ParaKind::Volume, .name = "Volume", .lo = -48, .hi = 6, .def = 0},
            {.index = zpPanorama, .name = "Panorama", .lo = -100, .hi = 100, .precision = 2, .def = 0},
            {.index = zpReverse, .kind = ParaKind::OnOff, .name = "Reverse", .def = 0},
            {.index = zpLoopStart, .name = "Loop Start Frame", .unit = "Samples", .lo = 0, .hi = DefaultFrameLimit,
             .precision = 0, .def = 0},
            {.index = zpLoopEnd, .name = "Loop End Frame", .unit = "Samples", .lo = 0, .hi = DefaultFrameLimit,
             .precision = 0, .def = 0},
            {.index = zpLoopCounter, .name = "Loop Counter", .unit = "Samples", .lo = 1, .hi = 9999, .precision = 0,
             .def = 9999},
            {.index = zpLoopMode, .name = "Loop Mode", .lo = 0, .hi = 3, .precision = 0, .def = 0},
            {.index = zpCmdLoadFilename, .kind = ParaKind::CharPtr, .name = "Cmd Load Filename", .pathLeaf = true},
            {.index = zpLoopModRange, .name = "Loop Mod Range", .unit = "Samples", .lo = 1, .hi = DefaultFrameLimit,
             .precision = 0, .def = 10},
            {.index = zpSuppressXCross, .kind = ParaKind::OnOff, .name = "Suppress AutoXCross", .def = 0},
            {.index = zpAlterne, .kind = ParaKind::OnOff, .name = "Alterne", .def = 0},
            {.index = zpDelay, .name = "Delay", .lo = 0, .hi = 9990, .precision = 1, .def = 0},
        });
    }
    p[ParaAltMode].createEnu("Alt Mode", "", 1, 3, 7, 1, AltModeItems, nullptr);
    return paraSet->spreadPara();
}

// ---------------------------------------------------------------------------
// Small helpers

Parameter_c* WaveRAM2_c::zoneParas(int z) const
{
    Parameter_c* p = paraSet ? paraSet->getParaPtr(0) : nullptr;
    return p && z >= 0 && z < NumZones ? p + zonePara(z, 0) : nullptr;
}

int WaveRAM2_c::zoneVal(int z, int k) const
{
    const Parameter_c* q = zoneParas(z);
    return q ? static_cast<int>(q[k].value) : 0;
}

void WaveRAM2_c::setZoneVal(int z, int k, int v)
{
    if (Parameter_c* q = zoneParas(z))
        q[k].setVal(v);
}

WaveSample_c* WaveRAM2_c::getSample(int ins, int z)
{
    return validZone(ins, z) ? &zones[z] : nullptr;
}

bool WaveRAM2_c::waveSampleHasData(int ins, int z) const
{
    return validZone(ins, z) && zones[z].left && zones[z].frames > 0;
}

uint32_t WaveRAM2_c::nextRandom()
{
    randomState = randomState * 1664525u + 1013904223u;
    return randomState >> 8;
}

void WaveRAM2_c::sendGroupData(PSUData_i&) {}

bool WaveRAM2_c::hasDataNow(int z)
{
    WaveSample_c& s = zones[z];
    if (!s.lock.getImmediateReadPermission())
        return false;
    const bool has = s.left && s.frames > 0;
    s.lock.releaseReadPermission();
    return has;
}

// ---------------------------------------------------------------------------
// Loading

bool WaveRAM2_c::setSampleCore(int ins, int z, const Tool::Disk::Path_c& path)
{
    if (!validZone(ins, z) || !paraSet)
        return false;
    if (Parameter_c* q = zoneParas(z))
        q[zpFilename].setPath(path);
    WaveSample_c& s = zones[z];
    if (!s.lock.getWritePermission())
        return false;
    s.freeSample();
    s.info.setFilename(path);
    if (!s.info.isVirtual()) {
        for (int o = 0; o < NumZones; ++o) {
            if (o == z || !s.isVirtuallySame(&zones[o]))
                continue;
            // The master's per-note fields are written by note starts under
            // its lock; hold it while they are copied. Hand-overs lock a
            // master before its borrowers, and this zone's lock is held
            // already, so the master's is only tried (the audio thread holds
            // it for a block at most).
            WaveSample_c& master = zones[o];
            lockByTrying(master);
            if (master.info.isNormal())
                master.info.setMaster();
            s.beVirtual(&master);
            // The file's loop travels with the data.
            s.hasLoop = master.hasLoop;
            s.loopStart = master.loopStart;
            s.loopEnd = master.loopEnd;
            master.lock.releaseReadPermission();
            finishLoad(ins, z, false);
            return true;
        }
    }
    Tool::Disk::Path_c soundFontFile;
    int soundFontZone = 0;
    const bool read = InterSF2_c::isZoneReference(path, soundFontFile, soundFontZone)
                          ? loadSoundFontZone(s, soundFontFile, soundFontZone)
                          : s.setSample(path);
    if (!read) {
        s.lock.releaseWritePermission();
        return false;
    }
    finishLoad(ins, z, true);
    return true;
}

bool WaveRAM2_c::loadSoundFontZone(WaveSample_c& s, const Tool::Disk::Path_c& file, int k)
{
    if (!soundFont || !soundFont->file().isIdenticalPath(file)) {
        soundFont = std::make_unique<SoundFontImage_c>();
        if (!soundFont->load(file)) {
            soundFont.reset();
            return false;
        }
    }
    SF2ZoneSound_t sound;
    const bool found = soundFont->zone(k, sound) && s.setSample(sound.points, sound.frames);
    if (found)
        s.sampleRate = sound.rate;
    if (!keepSoundFont)
        soundFont.reset();
    return found;
}

bool WaveRAM2_c::setSample(int ins, int z, const void* data, int frames, int rate)
{
    if (!validZone(ins, z) || !paraSet)
        return false;
    WaveSample_c& s = zones[z];
    if (!s.lock.getWritePermission())
        return false;
    s.freeSample();
    if (data && frames > 0 && rate > 0 && s.setSample(data, frames))
        s.sampleRate = rate;
    else
        s.freeSample(); // a zone without data or rate stays empty
    finishLoad(ins, z, true);
    return waveSampleHasData(ins, z);
}

bool WaveRAM2_c::getBufferFor(int ins, int z, int frames, int channels, float** left, float** right)
{
    if (!validZone(ins, z))
        return false;
    zones[z].lock.getWritePermission();
    return zones[z].getBufferFor(frames, channels, left, right);
}

void WaveRAM2_c::finishLoad(int ins, int z, bool process)
{
    if (!validZone(ins, z))
        return;
    WaveSample_c& s = zones[z];
    if (s.frames >= 1 && s.left) {
        if (process && !s.jFlag) {
            if (flagJMode) {
                makeSym(s.left, s.frames);
                if (s.right)
                    makeSym(s.right, s.frames);
            }
            if (s.right)
                norm0dBPeak(s.left, s.right, s.frames);
            else
                norm0dBPeak(s.left, s.frames);
            if (flagJMode) {
                changeToJ(s.left, s.frames);
                if (s.right)
                    changeToJ(s.right, s.frames);
                s.jFlag = 1;
            }
        }
        setFrameLimits(z, s.frames - 1);
        if (flagTakeFileLoops && s.hasLoop) {
            setZoneVal(z, zpLoopStart, s.loopStart);
            setZoneVal(z, zpLoopEnd, s.loopEnd);
        }
        postprocessStart(z, false);
        postprocessEnd(z, false);
        postprocessLoopStartEnd(z, false, true);
        postprocessLoopModRange(z, false);
        applyReverse(z);
    }
    s.lock.releaseWritePermission();
}

void WaveRAM2_c::setFrameLimits(int z, int hi)
{
    if (!paraSet)
        return;
    for (int k : {zpStartFrame, zpEndFrame, zpLoopStart, zpLoopEnd, zpLoopModRange})
        paraSet->setParaHiVal(0, zonePara(z, k), std::max(hi, k == zpLoopModRange ? 1 : 0));
}

void WaveRAM2_c::clearAllSampleLimits(int ins)
{
    if (ins != 0)
        return;
    for (int z = 0; z < NumZones; ++z)
        setFrameLimits(z, UnlimitedFrames);
}

void WaveRAM2_c::applyReverse(int z)
{
    WaveSample_c& s = zones[z];
    s.lock.getWritePermission();
    s.setReversed(zoneVal(z, zpReverse) != 0, s.jFlag != 0);
    s.lock.releaseWritePermission();
}

void WaveRAM2_c::freeSample(int ins, int z)
{
    if (!validZone(ins, z))
        return;
    WaveSample_c& s = zones[z];
    if (!s.lock.getWritePermission())
        return;
    s.freeSample();
    s.lock.releaseWritePermission();
}

void WaveRAM2_c::resetZoneParas(int z)
{
    Parameter_c* q = zoneParas(z);
    if (!q)
        return;
    for (int k = 0; k < ZoneParaCount; ++k)
        q[k].reset();
    q[zpFilename].setCharPtr("");
    q[zpCmdLoadFilename].setCharPtr("");
    setFrameLimits(z, DefaultFrameLimit);
    WaveSample_c& s = zones[z];
    s.lock.getWritePermission();
    s.keyLow = 0;
    s.keyHigh = 127;
    s.velocityLow = 1;
    s.velocityHigh = 127;
    s.loopStart = s.loopEnd = 0;
    s.start = s.end = 0;
    s.loopModRange = q[zpLoopModRange].value;
    s.gain = 1.0f;
    s.lock.releaseWritePermission();
}

void WaveRAM2_c::freeAllSamples(int ins)
{
    if (ins != 0)
        return;
    for (int z = 0; z < NumZones; ++z) {
        freeSample(ins, z);
        resetZoneParas(z);
    }
}

// ---------------------------------------------------------------------------
// Start, end and loop points

bool WaveRAM2_c::snapToCrossing(const WaveSample_c& s, int* pos) const
{
    // In J form the sound crosses zero upwards where its running sum has a
    // local minimum.
    return s.matchClosestZeroCrossLM(s.jFlag != 0, false, pos);
}

int WaveRAM2_c::settledFrame(int z, int k, bool user)
{
    const WaveSample_c& s = zones[z];
    int v = zoneVal(z, k);
    if (user && s.frames > 0) {
        v = std::clamp(v, 0, s.frames - 1);
        if (v > 0 && !zoneVal(z, zpSuppressXCross))
            snapToCrossing(s, &v);
        setZoneVal(z, k, v);
    }
    return v;
}

void WaveRAM2_c::postprocessStart(int z, bool user)
{
    WaveSample_c& s = zones[z];
    const int v = settledFrame(z, zpStartFrame, user);
    if (user && s.frames > 0 && v > zoneVal(z, zpLoopStart)) {
        setZoneVal(z, zpLoopStart, v);
        postprocessLoopStartEnd(z, true, true);
    }
    SampleWriteHold hold(s);
    s.start = std::max(v, 0);
}

void WaveRAM2_c::postprocessEnd(int z, bool user)
{
    WaveSample_c& s = zones[z];
    const int v = settledFrame(z, zpEndFrame, user);
    SampleWriteHold hold(s);
    s.end = std::max(v, 0);
}

void WaveRAM2_c::postprocessLoopStartEnd(int z, bool user, bool startWins)
{
    WaveSample_c& s = zones[z];
    int ls = zoneVal(z, zpLoopStart);
    int le = zoneVal(z, zpLoopEnd);
    if (user && s.frames > 0) {
        le = std::clamp(le, 0, s.frames - 1);
        ls = std::clamp(ls, 0, le);
        if (!zoneVal(z, zpSuppressXCross)) {
            snapToCrossing(s, &ls);
            snapToCrossing(s, &le);
        }
        ls = std::max(ls, zoneVal(z, zpStartFrame));
        if (startWins)
            ls = std::min(ls, le);
        le = std::max(le, ls);
        setZoneVal(z, zpLoopStart, ls);
        setZoneVal(z, zpLoopEnd, le);
    }
    SampleWriteHold hold(s);
    s.loopStart = ls;
    s.loopEnd = le;
}

void WaveRAM2_c::setZoneLoop(int ins, int z, int ls, int le)
{
    if (!validZone(ins, z) || !paraSet)
        return;
    const int frames = zones[z].frames;
    le = std::clamp(le, 0, std::max(frames - 1, 0));
    ls = std::clamp(ls, 0, le);
    setZoneVal(z, zpLoopStart, ls);
    setZoneVal(z, zpLoopEnd, le);
    postprocessLoopStartEnd(z, false, true);
}

void WaveRAM2_c::postprocessLoopModRange(int z, bool user)
{
    WaveSample_c& s = zones[z];
    int v = zoneVal(z, zpLoopModRange);
    if (user && s.frames > 0) {
        v = std::clamp(v, 0, s.frames - 1);
        setZoneVal(z, zpLoopModRange, v);
    }
    SampleWriteHold hold(s);
    s.loopModRange = v;
}

// ---------------------------------------------------------------------------
// Parameter changes

void WaveRAM2_c::postprocessParaChange(int set, int idx)
{
    WaveBase_c::postprocessParaChange(set, idx);
    if (set != 0 || !paraSet)
        return;
    if (idx == -1) {
        // Zones of one SoundFont read its file once.
        keepSoundFont = true;
        for (int z = 0; z < NumZones; ++z)
            handleZoneChange(z, -1, true);
        keepSoundFont = false;
        soundFont.reset();
        return;
    }
    if (idx < FirstZonePara || idx >= ParaAltMode)
        return;
    const int z = (idx - FirstZonePara) / ZoneParaCount;
    const int k = (idx - FirstZonePara) % ZoneParaCount;
    handleZoneChange(z, k, false);
}

void WaveRAM2_c::syncKeyEdge(int k, int32_t WaveSample_c::*edge, int v)
{
    for (int o = 0; o < NumZones; ++o) {
        setZoneVal(o, k, v);
        SampleWriteHold hold(zones[o]);
        zones[o].*edge = v;
    }
}

void WaveRAM2_c::handleZoneChange(int z, int k, bool all)
{
    WaveSample_c& s = zones[z];
    auto is = [&](int which) { return all || k == which; };

    if (is(zpFilename))
        handleFilename(z, all);
    if (is(zpZoneLo)) {
        const int v = zoneVal(z, zpZoneLo);
        s.lock.getWritePermission();
        s.keyLow = v;
        s.lock.releaseWritePermission();
        if (!all && paraSet->getParaVal(0, ipKeySync))
            syncKeyEdge(zpZoneLo, &WaveSample_c::keyLow, v);
    }
    if (is(zpZoneHi)) {
        if (zoneVal(z, zpZoneHi) == 128) {
            if (flagSingleKeyZone)
                setZoneVal(z, zpZoneLo, 0);
            else
                setZoneVal(z, zpZoneHi, 127);
        }
        const int v = zoneVal(z, zpZoneHi);
        s.lock.getWritePermission();
        s.keyHigh = v;
        s.lock.releaseWritePermission();
        if (!all && flagSingleKeyZone && v != 128)
            setParaVal(0, zonePara(z, zpZoneLo), v);
        if (!all && paraSet->getParaVal(0, ipKeySync))
            syncKeyEdge(zpZoneHi, &WaveSample_c::keyHigh, v);
    }
    if (is(zpVeloLo) || is(zpVeloHi)) {
        s.lock.getWritePermission();
        s.velocityLow = zoneVal(z, zpVeloLo);
        s.velocityHigh = zoneVal(z, zpVeloHi);
        s.lock.releaseWritePermission();
    }
    if (all || k == zpAlterne || k == zpZoneLo || k == zpZoneHi || k == zpVeloLo || k == zpVeloHi)
        postprocessParaChangeAlt(z, k, all);
    if (is(zpVolume)) {
        const Parameter_c* q = zoneParas(z);
        s.lock.getWritePermission();
        s.gain = std::clamp(q[zpVolume].getVol(), ZoneGainLow, ZoneGainHigh);
        s.lock.releaseWritePermission();
    }
    if (!all && k == zpStartFrame)
        postprocessStart(z, true);
    if (!all && k == zpEndFrame)
        postprocessEnd(z, true);
    if (all || k == zpLoopStart || k == zpLoopEnd)
        postprocessLoopStartEnd(z, !all, all || k == zpLoopStart);
    if (is(zpLoopModRange))
        postprocessLoopModRange(z, !all);
    if (is(zpReverse))
        applyReverse(z);
    if (!all && k == zpCmdLoadFilename) {
        Tool::Disk::Path_c path;
        paraSet->getParaPath(0, zonePara(z, zpCmdLoadFilename), &path);
        if (!path.empty())
            setParaPath(0, zonePara(z, zpFilename), path);
    }
}

void WaveRAM2_c::handleFilename(int z, bool all)
{
    WaveSample_c& s = zones[z];
    Tool::Disk::Path_c path;
    paraSet->getParaPath(0, zonePara(z, zpFilename), &path);
    s.lock.getWritePermission();
    s.freeSample();
    if (flagLoadEnabled && !path.empty()) {
        // On a preset load the stored loop points win over the file's.
        const uint8_t takeLoops = flagTakeFileLoops;
        if (all)
            flagTakeFileLoops = 0;
        const bool loaded = setSampleCore(0, z, path);
        flagTakeFileLoops = takeLoops;
        if (!loaded && all) {
            // A program or project load holds its locks here: the search and
            // its questions wait for the instrument's idle pass.
            missingZones.fetch_or(uint64_t(1) << z);
        } else if (!loaded) {
            // Through the engine's queue: the change may come from any thread
            // that sets parameters, and only the idle side shows panels.
            if (synth)
                synth->holdUserMessage("File Error - Load failed", loadFailedText(path).c_str());
        }
    }
    s.lock.releaseWritePermission();
    reportSamplesInfo(0);
}

void WaveRAM2_c::reportSamplesInfo(int ins)
{
    InstrumentSamplesInfo_c info;
    info.instrument = ins;
    info.maxChannels = getMaxChannels(ins);
    info.maxResolution = getMaxResolution(ins);
    info.maxSampleRate = getMaxSampleRate(ins);
    info.maxLengthSeconds = getMaxLength(ins);
    sendGroupData(info);
}

void WaveRAM2_c::copyZonesRanges(int from, int to)
{
    for (int k : {zpZoneLo, zpZoneHi, zpVeloLo, zpVeloHi})
        setZoneVal(to, k, zoneVal(from, k));
    WaveSample_c& s = zones[to];
    s.lock.getWritePermission();
    s.keyLow = zoneVal(to, zpZoneLo);
    s.keyHigh = zoneVal(to, zpZoneHi);
    s.velocityLow = zoneVal(to, zpVeloLo);
    s.velocityHigh = zoneVal(to, zpVeloHi);
    s.lock.releaseWritePermission();
}

void WaveRAM2_c::postprocessParaChangeAlt(int z, int k, bool all)
{
    const bool alterne = zoneVal(z, zpAlterne) != 0;
    if ((all || k == zpAlterne) && alterne) {
        if (z == 0)
            setZoneVal(0, zpAlterne, 0); // zone 0 has no zone before it to join
        else
            copyZonesRanges(z - 1, z);
    }
    if (all || k == zpZoneLo || k == zpZoneHi || k == zpVeloLo || k == zpVeloHi) {
        if (zoneVal(z, zpAlterne) != 0 && z > 0) {
            copyZonesRanges(z - 1, z);
        } else {
            for (int o = z + 1; o < NumZones - 1 && zoneVal(o, zpAlterne); ++o)
                copyZonesRanges(z, o);
        }
    }
}

// ---------------------------------------------------------------------------
// Note start

int WaveRAM2_c::getNumAlt(int z) const
{
    if (z < 0 || z >= NumZones)
        return 0;
    int n = 1;
    // The last zone has no zone after it that could join.
    while (z + n < NumZones && zoneVal(z + n, zpAlterne))
        ++n;
    return n;
}

int WaveRAM2_c::getThisTurnsSampleIdx(int ins, int first, int n)
{
    if (ins != 0 || first < 0 || first >= NumZones || n < 2)
        return first;
    n = std::min(n, NumZones - first);
    const int mode = paraSet ? paraSet->getParaVal(0, ParaAltMode) : amCycling;
    const int last = lastChoice[first];
    int c = first;
    switch (mode) {
    case amRandom:
        c = first + static_cast<int>(nextRandom() % static_cast<uint32_t>(n));
        break;
    case amRandomPlus:
        do
            c = first + static_cast<int>(nextRandom() % static_cast<uint32_t>(n));
        while (c == last);
        break;
    default:
        c = last + 1;
        // A group that shrank since its last turn may have left the last
        // choice outside it: start again at its first zone.
        if (c < first || c >= first + n)
            c = first;
        break;
    }
    lastChoice[first] = static_cast<uint8_t>(c);
    return c;
}

int WaveRAM2_c::prepProcWR(int ins, Note_c note, WaveSample_c** layers, int maxLayers)
{
    int count = 0;
    if (!layers || maxLayers < 0)
        return 0;
    layers[0] = nullptr;
    if (ins != 0 || !paraSet)
        return 0;
    maxLayers = std::min(maxLayers, NumZones);
    const Parameter_c* p = paraSet->getParaPtr(0);
    if (!p)
        return 0;

    for (int z = 0; z < NumZones && count < maxLayers; ++z) {
        const Parameter_c* q = p + zonePara(z, 0);
        const int n = getNumAlt(z);
        const bool inRange = q[zpZoneLo].value <= note.note && note.note <= q[zpZoneHi].value &&
                             q[zpVeloLo].value <= note.velocity && note.velocity <= q[zpVeloHi].value;
        int chosen = z;
        if (n >= 2) {
            // The members share the first zone's ranges; the scan goes on
            // after the group either way.
            z += n - 1;
            if (!inRange)
                continue;
            chosen = getThisTurnsSampleIdx(ins, chosen, n);
            // A member without data gives its turn to the group's first zone.
            if (!hasDataNow(chosen))
                chosen = z - (n - 1);
        } else if (!inRange) {
            continue;
        }
        WaveSample_c& s = zones[chosen];
        // A zone being loaded or freed right now is not played.
        if (!s.lock.getImmediateReadPermission())
            continue;
        if (!s.left || s.frames < 1) {
            s.lock.releaseReadPermission();
            continue;
        }
        const Parameter_c* c = p + zonePara(chosen, 0);
        s.delay = static_cast<int32_t>(c[zpDelay].fl * 0.001f * sampleRate);
        s.rootFrequency = static_cast<float>(RootNoteZeroHz * std::pow(2.0, c[zpRoot].value / 12.0));
        s.rateRatio = s.rootFrequency != 0.0f ? s.sampleRate / s.rootFrequency : 1e9f;
        s.gain = c[zpVolume].getVol();
        s.lock.releaseReadPermission();
        chosenZone[count] = chosen;
        layers[count++] = &s;
    }
    layers[count] = nullptr;

    // Velocity crossfade between overlapping velocity layers: the layer
    // reaching up from the overlap fades in over it, the layer reaching down
    // fades out.
    if (count >= 2) {
        int lo = 1, hi = 127;
        for (int i = 0; i < count; ++i) {
            const Parameter_c* c = p + zonePara(chosenZone[i], 0);
            lo = std::max<int>(lo, c[zpVeloLo].value);
            hi = std::min<int>(hi, c[zpVeloHi].value);
        }
        const float x = lo < hi ? static_cast<float>(1 - lo + note.velocity) / static_cast<float>(2 - lo + hi) : 1.0f;
        for (int i = 0; i < count; ++i) {
            const Parameter_c* c = p + zonePara(chosenZone[i], 0);
            const int vlo = c[zpVeloLo].value, vhi = c[zpVeloHi].value;
            float factor = 1.0f;
            if (vlo == lo && vhi > hi)
                factor = x;
            else if (vhi == hi && vlo < lo)
                factor = 1.0f - x;
            else
                continue;
            WaveSample_c& s = *layers[i];
            if (!s.lock.getImmediateReadPermission())
                continue;
            s.gain = std::clamp(s.gain * factor, CrossfadeGainLow, ZoneGainHigh);
            s.lock.releaseReadPermission();
        }
    }
    return count;
}

// ---------------------------------------------------------------------------
// Rate

void WaveRAM2_c::setSampleRate(float rate)
{
    WaveBase_c::setSampleRate(rate);
    if (!paraSet)
        return;
    // Start and loop points count the sample's own frames, so no rate of the
    // host moves them. They are applied again as stored values, never as a
    // user's edit: an edit would snap them to the nearest zero crossing on
    // every rate call (even to the same rate), and the next save would keep
    // the moved points.
    for (int z = 0; z < NumZones; ++z) {
        if (!waveSampleHasData(0, z))
            continue;
        setFrameLimits(z, zones[z].frames - 1);
        postprocessStart(z, false);
        postprocessEnd(z, false);
        postprocessLoopStartEnd(z, false, true);
        postprocessLoopModRange(z, false);
    }
}

// ---------------------------------------------------------------------------
// Sharing

void WaveRAM2_c::prepareDestructiveOperation(SampleInfo_c& info)
{
    if (info.isVirtual())
        prepareDestructiveVirtual(info);
    else if (info.isMaster())
        prepareDestructiveMaster(info);
}

void WaveRAM2_c::prepareDestructiveMaster(SampleInfo_c& info)
{
    const int z = info.getSampleIdx();
    if (!paraSet || z < 0 || z >= NumZones || info.getFilename().empty())
        return;
    handOverMaster(zones[z]);
}

void WaveRAM2_c::lockByTrying(WaveSample_c& s)
{
    while (!s.lock.getImmediateReadPermission())
        std::this_thread::yield();
}

void WaveRAM2_c::handOverMaster(WaveSample_c& master)
{
    // The hand-over of WaveSample_c::passMasterRole: the first borrower takes
    // its own copy and becomes master, the others borrow from it; a lone heir
    // becomes normal. Every sharer's pointers change under its own lock, so
    // no voice reads data while it is handed over. Zones swap roles over
    // time (zone 3 may borrow from zone 7 today and lend to it tomorrow), so
    // with the master's lock held the borrowers' locks are only tried: a
    // fixed order of blocking locks does not exist here.
    WaveSample_c* heir = nullptr;
    int borrowers = 0;
    for (WaveSample_c& s : zones) {
        if (&s == &master || !s.info.isVirtual() || s.info.getMasterPtr() != &master)
            continue;
        lockByTrying(s);
        if (!heir) {
            if (s.unVirtual()) {
                heir = &s;
                heir->info.setMaster();
            } else {
                // No memory for a copy: the zone goes empty rather than keep
                // pointers into data that is about to change.
                s.left = s.right = nullptr;
                s.frames = 0;
                s.info.setNormal();
            }
        } else {
            s.info.setVirtual(heir);
            s.left = heir->left;
            s.right = heir->right;
            ++borrowers;
        }
        s.lock.releaseReadPermission();
    }
    if (heir && borrowers == 0) {
        lockByTrying(*heir);
        heir->info.setNormal();
        heir->lock.releaseReadPermission();
    }
    master.info.setNormal();
}

void WaveRAM2_c::prepareDestructiveVirtual(SampleInfo_c& info)
{
    const int z = info.getSampleIdx();
    if (z >= 0 && z < NumZones)
        zones[z].unVirtual();
}
