// The user sample slot. See WaveRAM.h.
#include "WaveRAM.h"

#include "OsLib.h"
#include "ParaRow.h"
#include "SafeDiv.h"
#include "Synth.h"
#include "ThreadCheck.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// The percentages are stored with one decimal.
constexpr int PercentStored = 10;

} // namespace

WaveRAM_c::WaveRAM_c()
{
    getParaSetPtr(&ownSet, 1);
    SampleInfo_c id;
    id.set(0, 0, SampleInfo_c::kindNormal);
    sample.setBackRef(id, this);
}

WaveRAM_c::~WaveRAM_c() = default;

int WaveRAM_c::getTypeCode() const
{
    return TypeCodeWaveRAM;
}

bool WaveRAM_c::getParaSetPtr(ParaSet_c** shared, int)
{
    // The slot keeps one set of its own; a registry row shares it.
    if (paraSet && shared && shared != &ownSet) {
        if (!*shared)
            *shared = paraSet;
        return paraSet->getParaDefined();
    }
    bool defined = false;
    Parameter_c* p = beginParaDefinition(shared, 1, wrCount, &defined);
    if (!p)
        return defined;
    createParas(p, {
        {.index = wrVersion, .name = "Version", .lo = 200, .hi = 9900, .precision = 2, .def = 300},
        {.index = wrInsIdx, .name = "InsIdx", .lo = 0, .hi = 1, .precision = 0, .def = 0},
        {.index = wrSampleIdx, .name = "SampleIdx", .lo = 0, .hi = 1, .precision = 0, .def = 0},
        {.index = wrFilename, .kind = ParaKind::CharPtr, .name = "Filename"},
        {.index = wrUnus0, .name = "Unus0", .lo = 0, .hi = 999, .precision = 0, .def = 0},
        {.index = wrVolume, .kind = ParaKind::Volume, .name = "Volume", .lo = -18, .hi = 6, .def = 0},
        {.index = wrRoot, .kind = ParaKind::Note, .name = "Root", .lo = 24, .hi = 96, .precision = 0, .def = 60},
        {.index = wrZoneLow, .name = "Zone Low", .lo = 0, .hi = 127, .precision = 0, .def = 0},
        {.index = wrZoneHigh, .name = "Zone High", .lo = 0, .hi = 127, .precision = 0, .def = 127},
        {.index = wrVeloLow, .name = "Velo Low", .lo = 1, .hi = 127, .precision = 0, .def = 1},
        {.index = wrVeloHigh, .name = "Velo High", .lo = 1, .hi = 127, .precision = 0, .def = 127},
        {.index = wrReverse, .kind = ParaKind::OnOff, .name = "Reverse", .def = 0},
        {.index = wrMLEnable, .kind = ParaKind::OnOff, .name = "MLEnable", .def = 0},
        {.index = wrCmdPrev, .kind = ParaKind::OnOff, .name = "Cmd Prev", .def = 0},
        {.index = wrCmdLoadFilename, .kind = ParaKind::CharPtr, .name = "Cmd Load Filename"},
        {.index = wrCmdNext, .kind = ParaKind::OnOff, .name = "Cmd Next", .def = 0},
        {.index = wrCmdClear, .kind = ParaKind::OnOff, .name = "Cmd Clear", .def = 0},
        {.index = wrStartFrame, .name = "Start Frame", .unit = "%", .lo = 0, .hi = 990, .precision = 1, .def = 0},
        {.index = wrEndFrame, .name = "End Frame", .unit = "%", .lo = 10, .hi = 1000, .precision = 1, .def = 1000},
    });
    return paraSet->spreadPara();
}

// ---------------------------------------------------------------------------
// Helpers

Vdx::String_c WaveRAM_c::filenameText() const
{
    Vdx::String_c s;
    getParaString(0, wrFilename, &s);
    return s;
}

int WaveRAM_c::frameOf(int idx) const
{
    return percentFrame(sample, getParaPtr(0, idx));
}

int WaveRAM_c::getStartSample() const
{
    return frameOf(wrStartFrame);
}

int WaveRAM_c::getEndSample() const
{
    return frameOf(wrEndFrame);
}

float WaveRAM_c::getRootFrequency() const
{
    const Parameter_c* root = getParaPtr(0, wrRoot);
    return MidiFrequency(root ? static_cast<float>(root->value) : 60.0f);
}

// ---------------------------------------------------------------------------
// Loading

bool WaveRAM_c::setSample(int idx, const Tool::Disk::Path_c& path)
{
    TESSEL_ASSERT_NOT_AUDIO_THREAD();
    if (idx != 0 || !paraSet)
        return false;
    SampleWriteHold hold(sample);
    if (sampleCount.load() > 0) {
        sample.freeSample();
        sampleCount = 0;
    }
    changed();
    if (!sample.setSample(path))
        return false;
    // D4U data is already a running sum; everything else is made one here,
    // after its offset is removed and each channel brought to full scale.
    if (!sample.jFlag) {
        for (float* buf : {sample.left, sample.right}) {
            if (!buf)
                continue;
            makeSym(buf, sample.frames);
            norm0dBPeak(buf, sample.frames);
        }
        sample.setJForm(true);
    }
    if (sample.left && sample.frames > 0)
        sampleCount = 1;
    return sampleCount.load() > 0;
}

bool WaveRAM_c::freeSample(int idx)
{
    TESSEL_ASSERT_NOT_AUDIO_THREAD();
    if (idx != 0)
        return false;
    SampleWriteHold hold(sample);
    const bool had = sample.freeSample();
    sampleCount = 0;
    changed();
    return had;
}

void WaveRAM_c::applyFilename()
{
    TESSEL_ASSERT_NOT_AUDIO_THREAD();
    const Vdx::String_c text = filenameText();
    const bool load = loadEnabled && !text.empty();
    const Tool::Disk::Path_c path(text);
    bool loaded = false;
    {
        // Freeing, loading and setting the range under one hold: a playing
        // note never sees the slot empty in between (it would end) nor a
        // sample without its range.
        SampleWriteHold hold(sample);
        sample.freeSample();
        sampleCount = 0;
        changed();
        if (!load)
            return;
        // The stored text becomes the cleaned path.
        setPathQuietly(0, wrFilename, path);
        loaded = setSample(0, path);
        if (loaded) {
            applyRange();
            applyReverse();
        }
    }
    if (!loaded)
        tell("File Error - Load failed", loadFailedText(path).c_str());
}

void WaveRAM_c::applyReverse()
{
    const bool on = getParaOn(0, wrReverse);
    SampleWriteHold hold(sample);
    if (!sample.left)
        return;
    if ((sample.reversedFlag != 0) == on)
        return;
    sample.setReversed(on, sample.jFlag != 0);
    changed();
}

void WaveRAM_c::applyRange()
{
    // Notes keep the range they started with; only new notes take this one.
    SampleWriteHold hold(sample);
    sample.start = getStartSample();
    sample.end = getEndSample();
}

void WaveRAM_c::applyZone(int idx)
{
    if (singleKeyZone && !inZoneCoupling && (idx == wrZoneLow || idx == wrZoneHigh)) {
        inZoneCoupling = true;
        const int other = idx == wrZoneLow ? wrZoneHigh : wrZoneLow;
        setParaVal(0, other, getParaVal(0, idx));
        inZoneCoupling = false;
    }
    SampleWriteHold hold(sample);
    sample.keyLow = getParaVal(0, wrZoneLow);
    sample.keyHigh = getParaVal(0, wrZoneHigh);
    sample.velocityLow = getParaVal(0, wrVeloLow);
    sample.velocityHigh = getParaVal(0, wrVeloHigh);
}

void WaveRAM_c::postprocessParaChange(int set, int idx)
{
    if (!paraSet || set != 0)
        return;
    if (idx == -1) {
        for (int i = 0; i < wrCount; ++i)
            postprocessParaChange(0, i);
        return;
    }
    switch (idx) {
    case wrFilename:
        applyFilename();
        return;
    case wrVolume: {
        SampleWriteHold hold(sample);
        sample.gain = getParaVol(0, wrVolume);
        return;
    }
    case wrZoneLow:
    case wrZoneHigh:
    case wrVeloLow:
    case wrVeloHigh:
        applyZone(idx);
        return;
    case wrReverse:
        applyReverse();
        return;
    case wrCmdPrev:
    case wrCmdNext:
        if (getParaOn(0, idx)) {
            setParaQuietly(0, idx, 0);
            nextSample(idx == wrCmdNext, 0);
        }
        return;
    case wrCmdLoadFilename: {
        Vdx::String_c text;
        getParaString(0, wrCmdLoadFilename, &text);
        if (text.empty())
            return;
        // The command is used up, so a later apply-all does not repeat it.
        if (Parameter_c* p = getParaPtr(0, wrCmdLoadFilename))
            p->setCharPtr("");
        if (Parameter_c* p = getParaPtr(0, wrFilename))
            p->setCharPtr(text.c_str());
        applyFilename();
        return;
    }
    case wrCmdClear:
        if (getParaOn(0, idx)) {
            setParaQuietly(0, idx, 0);
            askThen("Do you want to unload the sample ?", "Clear Sample", [this] {
                if (Parameter_c* p = getParaPtr(0, wrFilename))
                    p->setCharPtr("");
                applyFilename();
            });
        }
        return;
    case wrStartFrame:
    case wrEndFrame: {
        Parameter_c* start = getParaPtr(0, wrStartFrame);
        Parameter_c* end = getParaPtr(0, wrEndFrame);
        if (start && end && start->fl > end->fl - MinRangePercent) {
            const int gap = static_cast<int>(MinRangePercent) * PercentStored;
            if (idx == wrStartFrame)
                start->setVal(end->value - gap);
            else
                end->setVal(start->value + gap);
        }
        applyRange();
        return;
    }
    default:
        return;
    }
}

// ---------------------------------------------------------------------------
// Note start (audio thread)

void WaveRAM_c::prepProc(int set, Note_c n, WaveSample_c** out)
{
    if (!out)
        return;
    *out = nullptr;
    const Parameter_c* p = getRenderParaPtr(0);
    if (!p || sampleCount.load() < 1)
        return;
    if (p[wrInsIdx].value != set)
        return;
    if (n.note < p[wrZoneLow].value || n.note > p[wrZoneHigh].value)
        return;
    if (n.velocity < p[wrVeloLow].value || n.velocity > p[wrVeloHigh].value)
        return;
    *out = &sample;
    // Never waits: when another thread holds the sample, the sampler works
    // the root period out itself once it gets the lock.
    if (sample.lock.getImmediateReadPermission()) {
        const float root = getRootFrequency();
        sample.rootFrequency = root;
        sample.rateRatio = so_fdiv(static_cast<float>(sample.sampleRate), root);
        sample.lock.releaseReadPermission();
    }
}

bool WaveRAM_c::InsHasSamples(int ins, Note_c n) const
{
    const Parameter_c* p = getRenderParaPtr(0);
    if (!p || sampleCount.load() < 1 || p[wrInsIdx].value != ins)
        return false;
    const bool inKeys = n.note >= p[wrZoneLow].value && n.note <= p[wrZoneHigh].value;
    const bool inVelo = n.velocity >= p[wrVeloLow].value && n.velocity <= p[wrVeloHigh].value;
    return inKeys && (inVelo || n.velocity == 0);
}

// ---------------------------------------------------------------------------
// Editor commands

bool WaveRAM_c::nextSample(bool next, int set)
{
    if (set != 0 || !paraSet)
        return false;
    if (!stepFilename(disk, 0, wrFilename, next, BrowsePatterns, BrowseListMax))
        return false;
    applyFilename();
    return true;
}

bool WaveRAM_c::trimTo(int set, const Tool::Disk::Path_c& path, bool)
{
    TESSEL_ASSERT_NOT_AUDIO_THREAD();
    if (set != 0 || !paraSet || path.empty())
        return false;
    // The cut is made on a copy in plain form; the slot's own data stays as
    // it plays until the file is safely written.
    WaveSample_c cut;
    {
        SampleWriteHold hold(sample);
        if (!sample.left || sample.frames < 1)
            return false;
        float *l = nullptr, *r = nullptr;
        if (!cut.getBufferFor(sample.frames, sample.channels, &l, &r))
            return false;
        std::memcpy(l, sample.left, sizeof(float) * static_cast<size_t>(sample.frames));
        if (r && sample.right)
            std::memcpy(r, sample.right, sizeof(float) * static_cast<size_t>(sample.frames));
        cut.sampleRate = sample.sampleRate;
        cut.jFlag = sample.jFlag;
        cut.reversedFlag = sample.reversedFlag;
        cut.dataBytes = sample.dataBytes;
        // Plain first: a running sum cut at the start would keep everything
        // before it in its first value.
        cut.setJForm(false);
        cut.trim(getStartSample(), getEndSample());
    }
    if (cut.saveSampleFile(path) < 1) {
        tell("File Error - Save failed", path.c_str());
        return false;
    }
    setPathQuietly(0, wrFilename, path);
    setParaQuietly(0, wrReverse, 0);
    setParaQuietly(0, wrStartFrame, 0);
    setParaQuietly(0, wrEndFrame, 100 * PercentStored);
    bool loaded = false;
    {
        SampleWriteHold hold(sample);
        loaded = setSample(0, path);
        if (loaded)
            applyRange();
    }
    if (!loaded)
        tell("File Error - Load failed", loadFailedText(path).c_str());
    return true;
}

void WaveRAM_c::dumpToPath(const Tool::Disk::Path_c& folder, bool raw)
{
    TESSEL_ASSERT_NOT_AUDIO_THREAD();
    if (!paraSet)
        return;
    const Vdx::String_c text = filenameText();
    if (text.empty())
        return;
    const Tool::Disk::Path_c target = dumpSampleFile(disk, sample, Tool::Disk::Path_c(text), folder, raw, "D4U");
    if (!target.empty())
        setPathQuietly(0, wrFilename, target);
}

void WaveRAM_c::swapDirectory(const Tool::Disk::Path_c& folder)
{
    if (!paraSet)
        return;
    const Vdx::String_c text = filenameText();
    if (text.empty())
        return;
    setPathQuietly(0, wrFilename, movedSamplePath(Tool::Disk::Path_c(text), folder));
    applyFilename();
    applyReverse();
}
