// The wavetable store. See WaveTable.h.
#include "WaveTable.h"

#include "ParaRow.h"
#include "SafeDiv.h"
#include "Synth.h"
#include "ThreadCheck.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>

namespace {

// Frame edges are faded so that a frame starts at 0 and its end meets the
// next cycle without a click: the first FadeIn.size() points rise, the last
// FadeOut.size() points fall (FadeOut[0] scales the last point).
constexpr std::array<float, 10> FadeIn = {0.0f, 0.15f, 0.3f, 0.43f, 0.56f, 0.68f, 0.78f, 0.87f, 0.93f, 0.98f};
constexpr std::array<float, 9> FadeOut = {0.15f, 0.3f, 0.43f, 0.56f, 0.68f, 0.78f, 0.87f, 0.93f, 0.98f};

// The frame index moves through the periods in steps of 1/64.
constexpr double FrameStep = 1.0 / WaveTable_c::WTFrames;

// mixToWTWave keeps its last read inside the period.
constexpr double ReadSpan = 0.9999;

} // namespace

float WaveTable_c::tableValue(float* t, int i)
{
    return std::atomic_ref<float>(t[i]).load(std::memory_order_relaxed);
}

void WaveTable_c::storeTableValue(float* t, int i, float v)
{
    std::atomic_ref<float>(t[i]).store(v, std::memory_order_relaxed);
}

WaveTable_c::WaveTable_c()
{
    table = allocSampleMem(WTTableSize);
    SampleInfo_c id;
    id.set(0, 0, SampleInfo_c::kindNormal);
    sample.setBackRef(id, this);
    fillSine();
}

WaveTable_c::~WaveTable_c()
{
    std::free(table);
}

int WaveTable_c::getTypeCode() const
{
    return TypeCodeWaveTable;
}

bool WaveTable_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    return defineParas(shared, nSets, wtCount, {
        {.index = wtFilename, .kind = ParaKind::CharPtr, .name = "Filename"},
        {.index = wtRoot, .kind = ParaKind::Note, .name = "Root", .lo = 0, .hi = 127, .precision = 0, .def = 60},
        {.index = wtStartFrame, .name = "Start Frame", .unit = "%", .lo = 0, .hi = 990, .precision = 1, .def = 0},
        {.index = wtEndFrame, .name = "End Frame", .unit = "%", .lo = 10, .hi = 1000, .precision = 1, .def = 1000},
    });
}

// ---------------------------------------------------------------------------
// Helpers

int WaveTable_c::frameOf(int set, int idx) const
{
    return percentFrame(sample, getParaPtr(set, idx));
}

void WaveTable_c::writeFrame(int f, const float* values)
{
    if (!table)
        return;
    for (int k = 0; k < WTFrameSize; ++k)
        storeTableValue(table, f * WTFrameSize + k, values[k]);
}

void WaveTable_c::fillSine()
{
    std::array<float, WTFrameSize> frame{};
    for (int k = 0; k < WTFrameSize; ++k)
        frame[k] = static_cast<float>(std::sin(2.0 * std::numbers::pi * k / WTFrameSize));
    norm0dBPeak(frame.data(), WTFrameSize);
    for (int f = 0; f < WTFrames; ++f)
        writeFrame(f, frame.data());
    duration = 1.0f;
}

// ---------------------------------------------------------------------------
// Building

void WaveTable_c::mixToWTWave(const float* a, int aLen, float aWeight, const float* b, int bLen, float bWeight,
                              float* dst, int n)
{
    if (!a || !b || !dst || aLen < 1 || bLen < 1 || n < 1)
        return;
    const auto at = [](const float* src, int len, double pos) -> double {
        const int i = static_cast<int>(pos);
        if (i + 1 >= len)
            return 0.0;
        const double f = pos - i;
        return src[i] * (1.0 - f) + src[i + 1] * f;
    };
    const double sa = n > 1 ? (aLen - 1) * ReadSpan / (n - 1) : 0.0;
    const double sb = n > 1 ? (bLen - 1) * ReadSpan / (n - 1) : 0.0;
    for (int k = 0; k < n; ++k) {
        const double v = aWeight * at(a, aLen, k * sa) + bWeight * at(b, bLen, k * sb);
        dst[k] = static_cast<float>(std::clamp(v, -1.0, 1.0));
    }
}

void WaveTable_c::forceSample2Table(int, int root, int start, int end)
{
    TESSEL_ASSERT_NOT_AUDIO_THREAD();
    if (!table)
        return;
    SampleWriteHold hold(sample);
    const float* src = sample.left;
    const int frames = sample.frames;
    if (!src || frames < 1 || start < 0 || end >= frames || end < start)
        return;
    const float period =
        so_fdiv(static_cast<float>(sample.sampleRate), static_cast<float>(Note0Hz * std::exp2(root / 12.0)));

    int region = end - start + 1;
    if (region < MinRegion) {
        if (frames < MinRegion)
            return;
        end = start + MinRegion - 1;
        if (end > frames - 1) {
            end = frames - 1;
            start = end - (MinRegion - 1);
        }
        region = MinRegion;
    }
    // A period under two frames has nothing to resample (and a rate of 0
    // gives none at all).
    const float q = std::min(period, static_cast<float>(region));
    if (!(q >= MinPeriod))
        return;
    const int len = static_cast<int>(q);
    const int lastStart = end - static_cast<int>(std::floor(q + 0.5f));
    const float k = static_cast<float>(region) / q;
    const int periods = static_cast<int>(k);

    std::array<float, WTFrameSize> frame{};
    for (int f = 0; f < WTFrames; ++f) {
        const double x = f * (periods - 1) * FrameStep;
        const int j = static_cast<int>(x);
        const float g = static_cast<float>(x - j);
        const int a = static_cast<int>(j * q) + start;
        // Never before the region: with a single period the second one is
        // not heard (g is 0), and it must not be read from outside either.
        const int b = std::max(std::min(static_cast<int>((j + 1) * q) + start, lastStart), start);
        mixToWTWave(src + a, len, 1.0f - g, src + b, len, g, frame.data(), WTFrameSize);
        for (size_t i = 0; i < FadeIn.size(); ++i)
            frame[i] *= FadeIn[i];
        for (size_t i = 0; i < FadeOut.size(); ++i)
            frame[WTFrameSize - 1 - i] *= FadeOut[i];
        norm0dBPeak(frame.data(), WTFrameSize);
        writeFrame(f, frame.data());
    }
    duration = so_fdiv(static_cast<float>(frames), static_cast<float>(sample.sampleRate));
}

void WaveTable_c::TableFromSample(int set)
{
    const Parameter_c* root = getParaPtr(set, wtRoot);
    if (!root)
        return;
    int start = 0, end = 0;
    {
        SampleWriteHold hold(sample);
        if (!sample.left || sample.frames < 1)
            return;
        start = frameOf(set, wtStartFrame);
        end = frameOf(set, wtEndFrame);
    }
    if (end > start)
        forceSample2Table(set, root->value, start, end);
}

// ---------------------------------------------------------------------------
// Loading and parameters

bool WaveTable_c::setSample(int set, const Tool::Disk::Path_c& path)
{
    TESSEL_ASSERT_NOT_AUDIO_THREAD();
    if (!paraSet)
        return false;
    {
        SampleWriteHold hold(sample);
        if (!sample.setSample(path))
            return false;
        // A D4U file holds a running sum; the table is built from samples.
        sample.setJForm(false);
        sample.forceMono();
        norm0dBPeak(sample.left, sample.frames);
    }
    TableFromSample(set);
    return true;
}

void WaveTable_c::clear(int set)
{
    if (!paraSet)
        return;
    if (Parameter_c* p = getParaPtr(set, wtFilename))
        p->setCharPtr("");
    {
        SampleWriteHold hold(sample);
        sample.freeSample();
    }
    fillSine();
}

void WaveTable_c::applyFilename(int set)
{
    Vdx::String_c text;
    getParaString(set, wtFilename, &text);
    if (text.empty()) {
        clear(set);
        return;
    }
    if (!loadEnabled)
        return;
    const Tool::Disk::Path_c path(text);
    setPathQuietly(set, wtFilename, path);
    if (!setSample(set, path))
        tell("File Error - Load failed", path.c_str());
}

void WaveTable_c::applyRange(int set, int idx)
{
    Parameter_c* start = getParaPtr(set, wtStartFrame);
    Parameter_c* end = getParaPtr(set, wtEndFrame);
    if (!start || !end)
        return;
    if (idx == wtStartFrame && start->value > end->value - MinRangeStored)
        start->setVal(end->value - MinRangeStored);
    else if (idx == wtEndFrame && end->value < start->value)
        end->setVal(start->value + MinRangeStored);
}

void WaveTable_c::postprocessParaChange(int set, int idx)
{
    if (!paraSet)
        return;
    switch (idx) {
    case -1:
        applyFilename(set);
        applyRange(set, wtStartFrame);
        applyRange(set, wtEndFrame);
        TableFromSample(set);
        return;
    case wtFilename:
        applyFilename(set);
        return;
    case wtRoot:
    case wtStartFrame:
    case wtEndFrame:
        applyRange(set, idx);
        TableFromSample(set);
        return;
    default:
        return;
    }
}

void WaveTable_c::prepProcWT(int, Note_c, float** t, float* d)
{
    if (!paraSet)
        return;
    if (t)
        *t = table;
    if (d)
        *d = duration;
}

// ---------------------------------------------------------------------------
// File commands

bool WaveTable_c::nextFile(bool next, int set)
{
    if (!paraSet)
        return false;
    if (!stepFilename(disk, set, wtFilename, next, BrowsePatterns, BrowseListMax))
        return false;
    applyFilename(set);
    return true;
}

float WaveTable_c::trimTo(int set, const Tool::Disk::Path_c& path, bool raw)
{
    TESSEL_ASSERT_NOT_AUDIO_THREAD();
    if (!paraSet || path.empty())
        return 1.0f;
    // The cut is made on a copy, so a failed save leaves the source and its
    // table as they were.
    WaveSample_c cut;
    int oldFrames = 0;
    {
        SampleWriteHold hold(sample);
        if (!sample.left || sample.frames < 1)
            return 1.0f;
        float *l = nullptr, *r = nullptr;
        if (!cut.getBufferFor(sample.frames, 1, &l, &r))
            return 1.0f;
        std::memcpy(l, sample.left, sizeof(float) * static_cast<size_t>(sample.frames));
        cut.sampleRate = sample.sampleRate;
        cut.dataBytes = sample.dataBytes;
        oldFrames = sample.frames;
        cut.trim(frameOf(set, wtStartFrame), frameOf(set, wtEndFrame));
    }
    const int saved = raw ? cut.saveD4TSample(path) : cut.saveSampleFile(path);
    if (saved < 1) {
        tell("File Error - Save failed", path.c_str());
        return 1.0f;
    }
    setPathQuietly(set, wtFilename, path);
    setParaQuietly(set, wtStartFrame, 0);
    setParaQuietly(set, wtEndFrame, 1000);
    if (!setSample(set, path))
        tell("File Error - Load failed", path.c_str());
    // The duration follows the whole sample, so the ride speed scales with
    // the length that is left.
    return static_cast<float>(cut.frames) / static_cast<float>(oldFrames);
}

void WaveTable_c::dumpToPath(const Tool::Disk::Path_c& folder, bool raw)
{
    TESSEL_ASSERT_NOT_AUDIO_THREAD();
    forEachFilename([&](int set, const Tool::Disk::Path_c& file) {
        const Tool::Disk::Path_c target = dumpSampleFile(disk, sample, file, folder, raw, "D4T");
        if (!target.empty())
            setPathQuietly(set, wtFilename, target);
    });
}

void WaveTable_c::swapDirectory(const Tool::Disk::Path_c& folder)
{
    forEachFilename([&](int set, const Tool::Disk::Path_c& file) {
        setPathQuietly(set, wtFilename, movedSamplePath(file, folder));
        applyFilename(set);
    });
}
