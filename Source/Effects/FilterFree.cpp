#include "FilterFree.h"

#include "FilterMath.h"
#include "InBuffer2.h"
#include "ParaRow.h"

#include <algorithm>
#include <cmath>

using FilterMath::clampIn;
using FilterMath::finiteOr0;

namespace {

constexpr int FreeTypeCode = ('V' << 24) | ('F' << 16) | ('F' << 8) | '1';
constexpr float ControlTake = 1.0f / ControlStepFrames; // level ramps over one control step
constexpr float MinRate = 22000.0f;
constexpr float MorphKeep = 0.99f; // per control step
constexpr float MorphTake = 0.01f;
constexpr float MorphCycle = 4.0f; // low-pass, band-pass, high-pass, notch

} // namespace

FilterFree_c::FilterFree_c() = default;
FilterFree_c::~FilterFree_c() = default;

bool FilterFree_c::create(float* cutoff, float* res, float* lvl, float* bal, float* typ)
{
    cutoffIn = cutoff;
    resonanceIn = res;
    levelIn = lvl;
    balanceIn = bal;
    typeIn = typ;
    ReadyThenCache(crActivate);
    return ready;
}

void FilterFree_c::setSampleRate(float sr)
{
    if (!(sr > 0.0f))
        return;
    rateScale = std::clamp(40000.0f / sr, 0.1f, 1.0f);
    VariatorTone_c::setSampleRate(sr);
}

void FilterFree_c::checkSetFlagReady()
{
    VariatorTone_c::checkSetFlagReady();
    if (!cutoffIn || !resonanceIn || !levelIn || !balanceIn || !typeIn || !(sampleRate > MinRate))
        ready = false;
}

bool FilterFree_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    // Index 1 stays undefined.
    return defineParas(shared, nSets, ParaCount, {
        {.index = pCutoff, .name = "Cutoff", .logFactor = 4.0f, .lo = 40, .hi = 20000, .precision = 0, .def = 20000},
        {.index = pResonance, .name = "Resonance", .lo = 0, .hi = 100, .precision = 0, .def = 0},
        {.index = pType, .name = "Type     ", .lo = 0, .hi = 100, .precision = 2, .def = 0},
        {.index = pSlope, .kind = ParaKind::Enu, .name = "Slope    ", .lo = 1, .hi = 2, .def = 1, .width = 5,
         .items = "12 dB24 dB"},
        {.index = pCutKeyF, .name = "Cut KeyF ", .lo = 0, .hi = 100, .precision = 2, .def = 0},
    });
}

int FilterFree_c::getTypeCode() const
{
    return FreeTypeCode;
}

float FilterFree_c::getModSampleDefault(int input) const
{
    switch (input) {
    case 0:
        return cutoffRest;
    case 1:
        return resonance;
    case 2:
        return 2.0f * (type - 0.5f);
    default:
        return 0.0f;
    }
}

void FilterFree_c::cachePara(CacheReason_t reason, int set, int)
{
    const Parameter_c* p = refreshParameters(reason, set, paraSet != nullptr);
    if (!p)
        return;
    slope24 = p[pSlope].value == 2;
    float u = p[pCutoff].fl * 5e-5f;
    resonance = p[pResonance].fl * 0.01f;
    type = p[pType].fl;
    applyKeyboardScaling(&u, p[pCutKeyF].fl);
    u = clampIn(u, 1e-5f, 1.0f);
    cutoffU = u;
    cutoffRest = static_cast<float>(1.0 + std::log(u) * 0.1803368777036667);
}

void FilterFree_c::prepProc(int instrument, Note_c n, bool legato)
{
    VariatorTone_c::prepProc(instrument, n, legato);
    if (!paraSet || legato)
        return;
    FilterFree_c::initBuffer();
    firstBlock = true;
}

void FilterFree_c::initBuffer()
{
    level = 0.0f;
    levelStep = 0.0f;
    for (int c = 0; c < 2; ++c) {
        first[c] = Stage_t{};
        second[c] = Stage_t{};
        last[c] = 0.0f;
        dc[c] = 0.0f;
    }
    balance = 1.0f;
}

double FilterFree_c::cutoffPower(float m)
{
    double x;
    if (!(m >= 0.0f))
        x = -5.0;
    else if (m > 1.0f)
        x = 5.0;
    else
        x = 10.0 * m - 5.0;
    return FilterMath::cubicPow4(x, 0.174502948013078, 0.0157739370387826, 0.00082312050791077);
}

void FilterFree_c::morphStep(float t)
{
    // The target on the cycle 0..4. A floor modulo, so that a type pushed
    // below -5 by modulation still lands on the cycle; NaN leaves the
    // position where it is.
    const double x = 2.0 * static_cast<double>(t) + 10.0;
    if (std::isfinite(x)) {
        float target = static_cast<float>(x - MorphCycle * std::floor(x / MorphCycle));
        if (!(target < MorphCycle))
            target = 0.0f;
        if (target < 1.0f && position > 3.0f) {
            position = (target + MorphCycle) * MorphTake + position * MorphKeep;
        } else {
            if (target > 3.0f && position < 1.0f)
                position += MorphCycle;
            position = position * MorphKeep + target * MorphTake;
        }
        if (position >= MorphCycle)
            position -= MorphCycle;
    }
    const float p = position;
    wLow = wHigh = wBand = wNotch = 0.0f;
    if (p < 1.0f) {
        wLow = 1.0f - p;
        wBand = p;
    } else if (p < 2.0f) {
        wBand = 2.0f - p;
        wHigh = p - 1.0f;
    } else if (p < 3.0f) {
        wHigh = 3.0f - p;
        wNotch = p - 2.0f;
    } else {
        wNotch = 4.0f - p;
        wLow = p - 3.0f;
    }
}

void FilterFree_c::controlStep(int k)
{
    f = 0.9f * f + 0.1f * (static_cast<float>(cutoffPower(cutoffIn[k]) * 0.03125) * rateScale);
    g = (2.0 - f) * f;
    float qq = clampIn(resonanceIn[k] * 0.9f, 0.0f, 0.9f);
    q = (2.0f - qq) * qq;
    levelStep = (finiteOr0(levelIn[k]) - level) * ControlTake;
    morphStep(typeIn[k]);
}

template <bool Slope24>
double FilterFree_c::filterSample(int c, float input)
{
    const double x = static_cast<double>(input) - dc[c];
    dc[c] = static_cast<float>(dc[c] + 0.0003 * x);
    Stage_t& a = first[c];
    a.high = x - a.low - (1.0 - q) * a.band;
    a.band = g * a.high + a.band;
    a.low = g * a.band + a.low;
    const double s = wLow * a.low + wNotch * (a.low + a.high) + wHigh * a.high + wBand * a.band;
    if constexpr (!Slope24) {
        return s;
    } else {
        Stage_t& b = second[c];
        b.high = static_cast<float>(s) - b.low - b.band;
        b.band = g * b.high + b.band;
        b.low = std::clamp(g * b.band + b.low, -1.0, 1.0);
        return wLow * b.low + wNotch * (b.low + b.high) + wHigh * b.high + wBand * b.band;
    }
}

template <int Channels, bool Slope24>
void FilterFree_c::runForm(int n, float* const* in, float* outL, float* outR)
{
    for (int i = 0; i < n; ++i) {
        if (i % ControlStepFrames == 0)
            controlStep(i / ControlStepFrames);
        level += levelStep;
        const float yl = static_cast<float>(filterSample<Slope24>(0, in[0][i]));
        const float yr = Channels == 1 ? yl : static_cast<float>(filterSample<Slope24>(1, in[1][i]));
        last[0] = yl;
        last[1] = yr;
        outL[i] += (2.0f - balance) * (level * yl);
        outR[i] += yr * level * balance;
    }
}

void FilterFree_c::render(int n)
{
    RenderingScope scope(*this);
    if (!active || !ready || !paraSet || !inputBus || !outputBusA)
        return;
    float* in[2] = {};
    int channels;
    if (inputBus->isStereo())
        channels = inputBus->wantReadStereo(&in[0], &in[1]) ? 2 : 0;
    else
        channels = inputBus->wantReadMono(&in[0], false) ? 1 : 0;
    if (channels == 0)
        return;
    float* outL = nullptr;
    float* outR = nullptr;
    if (outputBusA->wantWriteStereo(&outL, &outR)) {
        n = framesFor(n, inputBus, outputBusA);
        if (firstBlock) {
            morphStep(typeIn[0]);
            f = static_cast<float>(cutoffPower(cutoffIn[0]) * 0.03125) * rateScale;
            firstBlock = false;
        }
        if (channels == 1)
            slope24 ? runForm<1, true>(n, in, outL, outR) : runForm<1, false>(n, in, outL, outR);
        else
            slope24 ? runForm<2, true>(n, in, outL, outR) : runForm<2, false>(n, in, outL, outR);
        checkState();
    }
    outputBusA->doneWriteStereo();
}

void FilterFree_c::checkState()
{
    using FilterMath::settle;
    bool ok = settle(level) && settle(levelStep) && settle(f) && std::isfinite(g);
    for (int c = 0; c < 2; ++c) {
        ok = settle(first[c].low) && settle(first[c].high) && settle(first[c].band) && ok;
        ok = settle(second[c].low) && settle(second[c].high) && settle(second[c].band) && ok;
        ok = settle(last[c]) && settle(dc[c]) && ok;
    }
    if (!ok) {
        // A coefficient gone bad restarts from the one the next step aims at.
        if (!std::isfinite(f) || !std::isfinite(g)) {
            f = 0.0f;
            g = 0.0;
            firstBlock = true;
        }
        initBuffer();
    }
}
