#include "Panner.h"

#include "BlockMath.h"
#include "InBuffer2.h"
#include "ParaRow.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr int PanTypeCode = ('V' << 24) | ('P' << 16) | ('0' << 8) | '2';
constexpr int Pan51TypeCode = ('V' << 24) | ('P' << 16) | ('5' << 8) | '1';
constexpr int PanParaCount = 3;

// The crossfade position of Pan_c is kept off the ends: neither bus ever gets
// all of the signal or none of it.
constexpr float PositionLow = 0.00001f;
constexpr float PositionHigh = 0.99999f;

// The corner law of Pan51_c: sqrt(x) x 1.4 x overall level per axis, so the
// centre gives 0.5 x 1.96 = 0.98 per corner (1.4, not the square root of 2:
// the centre sits a little below unity).
constexpr float CornerFactor = 1.4f;
// A corner gain below this is silence.
constexpr float GainFloor = 0.00001f;

// The level parameters of Pan51_c, in 0.2 dB steps (one step below the low
// end means silence).
constexpr int CenterLoDb = -60;
constexpr int CenterDefault = -60 * 5;
constexpr int OverallLoDb = -30;
constexpr int OverallDefault = -6 * 5;

} // namespace

// ---------------------------------------------------------------------------
// Pan_c

void Pan_c::create(float* position)
{
    if (position)
        positionArray = position;
}

int Pan_c::getTypeCode() const
{
    return PanTypeCode;
}

bool Pan_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    return defineParas(shared, nSets, PanParaCount, {
        {.index = pOnOff, .kind = ParaKind::OnOff, .name = "S0 On/Off", .def = 1},
        {.index = pPan, .kind = ParaKind::Pan, .name = "Pan"},
    });
}

void Pan_c::initBuffer()
{
    gainFirst = 1.0f;
    gainSecond = 1.0f;
}

void Pan_c::prepProc(int instrument, Note_c n, bool legato)
{
    VariatorTone_c::prepProc(instrument, n, legato);
    if (!legato)
        initBuffer();
}

void Pan_c::render(int n)
{
    RenderingScope scope(*this);
    if (!active || !renderParameters || !positionArray || !inputBus)
        return;
    if (inputBus->isMono())
        renderMono(n);
    else if (inputBus->isStereo())
        renderStereo(n);
}

void Pan_c::renderMono(int n)
{
    float* in = nullptr;
    if (!inputBus->wantReadMono(&in, false))
        return;
    float* first = nullptr;
    float* second = nullptr;
    InBuffer2_c* busA = outputBusA && outputBusA->wantWriteMono(&first, false) ? outputBusA : nullptr;
    InBuffer2_c* busB = outputBusB && outputBusB->wantWriteMono(&second, false) ? outputBusB : nullptr;
    if (!busA && !busB)
        return;
    n = framesFor(n, inputBus, busA, busB);
    // The usual voice: a mono slot split between both paths. One pass reads
    // each input sample once for both buses instead of once per bus; the
    // sums are the same. Only for three separate buffers: a bus that is
    // also the input (or both outputs one bus) takes a pass per bus, whose
    // second pass reads what the first wrote.
    if (busA && busB && in != first && in != second && first != second) {
        splitMono(first, second, in, n);
    } else {
        if (busA)
            shareMono(first, in, n, false);
        if (busB)
            shareMono(second, in, n, true);
    }
    if (busA)
        busA->doneWriteMono();
    if (busB)
        busB->doneWriteMono();
}

void Pan_c::shareMono(float* out, const float* in, int n, bool second)
{
    for (int i = 0; i < n; i += ControlStepFrames) {
        const float p = std::clamp((positionArray[i / ControlStepFrames] + 1.0f) * 0.5f, PositionLow, PositionHigh);
        gainFirst = 1.0f - p;
        gainSecond = p;
        BlockMath::addScaled(out + i, in + i, second ? gainSecond : gainFirst, std::min(ControlStepFrames, n - i));
    }
}

void Pan_c::renderStereo(int n)
{
    // Input and the two outputs, as left/right pairs.
    float* in[2] = {};
    float* out[2][2] = {};
    InBuffer2_c* bus[2] = {outputBusA, outputBusB};
    if (!inputBus->wantReadStereo(&in[0], &in[1]))
        return;
    bool open[2] = {};
    for (int b = 0; b < 2; ++b) {
        if (bus[b])
            open[b] = bus[b]->wantWriteStereo(&out[b][0], &out[b][1]);
        if (!open[b])
            bus[b] = nullptr;
    }
    if (!open[0] && !open[1])
        return;
    n = framesFor(n, inputBus, bus[0], bus[1]);
    // The gains of each control step first (they hold for the step), then
    // each bus and channel in one pass that adds into the bus as mixSample
    // does. A piece longer than a block goes block by block.
    constexpr int StepsPerPiece = MaxBlockSize / ControlStepFrames;
    float gains[2][StepsPerPiece];
    for (int from = 0; from < n; from += MaxBlockSize) {
        const int frames = std::min(n - from, MaxBlockSize);
        const int steps = (frames + ControlStepFrames - 1) / ControlStepFrames;
        const float* position = positionArray + from / ControlStepFrames;
        for (int k = 0; k < steps; ++k) {
            const float p = std::clamp((position[k] + 1.0f) * 0.5f, PositionLow, PositionHigh);
            gains[0][k] = 1.0f - p;
            gains[1][k] = p;
        }
        gainFirst = gains[0][steps - 1];
        gainSecond = gains[1][steps - 1];
        for (int c = 0; c < 2; ++c)
            for (int b = 0; b < 2; ++b)
                if (open[b])
                    BlockMath::addStepScaled(out[b][c] + from, in[c] + from, gains[b], frames);
    }
    for (int b = 0; b < 2; ++b)
        if (open[b])
            bus[b]->doneWriteStereo();
}

void Pan_c::splitMono(float* first, float* second, const float* in, int n)
{
    static_assert(ControlStepFrames == 8, "a step is two groups of four");
    // The gains in locals: the stores into the buses could otherwise reach
    // the members, and every step would write them back and read them again.
    float a = gainFirst;
    float b = gainSecond;
    const float* position = positionArray;
    const auto add4 = [](float* d, __m128 x, __m128 g) {
        _mm_storeu_ps(d, _mm_add_ps(_mm_loadu_ps(d), _mm_mul_ps(x, g)));
    };
    for (int i = 0; i < n; i += ControlStepFrames) {
        const float p = std::clamp((position[i / ControlStepFrames] + 1.0f) * 0.5f, PositionLow, PositionHigh);
        a = 1.0f - p;
        b = p;
        if (n - i >= ControlStepFrames) {
            const __m128 ga = _mm_set1_ps(a);
            const __m128 gb = _mm_set1_ps(b);
            const __m128 x0 = _mm_loadu_ps(in + i);
            add4(first + i, x0, ga);
            add4(second + i, x0, gb);
            const __m128 x1 = _mm_loadu_ps(in + i + 4);
            add4(first + i + 4, x1, ga);
            add4(second + i + 4, x1, gb);
        } else {
            for (int j = i; j < n; ++j) {
                first[j] += in[j] * a;
                second[j] += in[j] * b;
            }
        }
    }
    gainFirst = a;
    gainSecond = b;
}

// ---------------------------------------------------------------------------
// Pan51_c

Pan51_c::Pan51_c(float scale) : scale(scale) {}

int Pan51_c::getTypeCode() const
{
    return Pan51TypeCode;
}

bool Pan51_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    return defineParas(shared, nSets, paraCount, {
        {.index = paraLeftRight, .kind = ParaKind::Pan, .name = "LeftRight"},
        {.index = paraFrontRear, .kind = ParaKind::Pan, .name = "FrontRear"},
        {.index = paraCenter, .kind = ParaKind::Volume, .name = "Center Vol.", .lo = CenterLoDb, .hi = 0,
         .def = CenterDefault, .minusInfinity = true},
        {.index = paraLFE, .kind = ParaKind::Volume, .name = "LFE Vol.", .lo = CenterLoDb, .hi = 0,
         .def = CenterDefault, .minusInfinity = true},
        {.index = paraOverall, .kind = ParaKind::Volume, .name = "Overall Vol.", .lo = OverallLoDb, .hi = 0,
         .def = OverallDefault, .minusInfinity = true},
    });
}

void Pan51_c::cachePara(CacheReason_t reason, int set, int)
{
    const Parameter_c* p = refreshParameters(reason, set, true);
    if (!p)
        return;
    const float a = p[paraFrontRear].fl * 0.5f + 0.5f;
    const float b = p[paraLeftRight].fl * 0.5f + 0.5f;
    const float overall = p[paraOverall].gain;
    const auto axis = [overall](float x) { return std::sqrt(std::max(x, 0.0f)) * CornerFactor * overall; };
    const auto corner = [](float g) { return g < GainFloor ? 0.0f : g; };
    gains[gainFL] = corner(axis(1.0f - b) * axis(1.0f - a));
    gains[gainFR] = corner(axis(b) * axis(1.0f - a));
    gains[gainRL] = corner(axis(1.0f - b) * axis(a));
    gains[gainRR] = corner(axis(b) * axis(a));
    gains[gainC] = p[paraCenter].gain;
    gains[gainLfe] = p[paraLFE].gain;
}

void Pan51_c::initBuffer() {}

void Pan51_c::prepProc(int instrument, Note_c n, bool legato)
{
    VariatorTone_c::prepProc(instrument, n, legato);
    if (!legato)
        initBuffer();
}

void Pan51_c::render(int n)
{
    RenderingScope scope(*this);
    if (!active || !inputBus || !outputBusA)
        return;
    const bool stereo = inputBus->isStereo();
    if (!stereo && !inputBus->isMono())
        return;
    float* inL = nullptr;
    float* inR = nullptr;
    if (stereo ? !inputBus->wantReadStereo(&inL, &inR) : !inputBus->wantReadMono(&inL, false))
        return;
    const float fl = gains[gainFL], fr = gains[gainFR], rl = gains[gainRL], rr = gains[gainRR];
    const float c = gains[gainC], lfe = gains[gainLfe];
    if (foldStereo.load(std::memory_order_relaxed)) {
        float* outL = nullptr;
        float* outR = nullptr;
        if (!outputBusA->wantWriteStereo(&outL, &outR))
            return;
        n = framesFor(n, inputBus, outputBusA);
        const float left = std::sqrt(fl * fl + rl * rl + 0.5f * c * c);
        const float right = std::sqrt(fr * fr + rr * rr + 0.5f * c * c);
        // Added into the bus as mixSample does, a channel at a time.
        BlockMath::addScaled(outL, inL, left * scale, n);
        BlockMath::addScaled(outR, stereo ? inR : inL, right * scale, n);
        outputBusA->doneWriteStereo();
        return;
    }
    // L, R, C, Lfe, Ls, Rs.
    float* out[6] = {};
    if (!outputBusA->wantWrite51(out))
        return;
    n = framesFor(n, inputBus, outputBusA);
    // Added into the bus as mixSample does, without a call per sample.
    for (int i = 0; i < n; ++i) {
        const float l = inL[i] * scale;
        const float r = stereo ? inR[i] * scale : l;
        // Centre and LFE take the mono sum: the average of both sides.
        const float mid = stereo ? 0.5f * (l + r) : l;
        out[0][i] += fl * l;
        out[1][i] += fr * r;
        out[2][i] += c * mid;
        out[3][i] += lfe * mid;
        out[4][i] += rl * l;
        out[5][i] += rr * r;
    }
    outputBusA->doneWrite51();
}
