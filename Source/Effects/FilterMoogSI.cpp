#include "FilterMoogSI.h"

#include "FilterMath.h"
#include "InBuffer2.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using FilterMath::clampIn;
using FilterMath::cubicPow4;
using FilterMath::finiteOr0;

namespace {

constexpr int MoogTypeCode = ('V' << 24) | ('F' << 16) | ('0' << 8) | '1';
constexpr int RingMask = FilterMoogSI_c::RingFrames - 1;
constexpr float ControlTake = 1.0f / ControlStepFrames; // level ramps over one control step

// The soft clip s - 0.166666 s^3 of the last ladder stage rises only up to
// s = 1 / sqrt(3 x 0.166666) (about sqrt(2)); past it the curve folds back
// and, fed back, runs off to infinity. Its argument stops there.
const double ClipTurn = 1.0 / std::sqrt(3.0 * 0.166666);

// The lowest sample rate at which the filter runs.
constexpr float MinRate = 22000.0f;

} // namespace

FilterMoogSI_c::FilterMoogSI_c() = default;
FilterMoogSI_c::~FilterMoogSI_c() = default;

bool FilterMoogSI_c::create(float* cutoff, float* resonance, float* lvl, float* bal)
{
    cutoffIn = cutoff;
    resonanceIn = resonance;
    levelIn = lvl;
    balanceIn = bal;
    ReadyThenCache(crActivate);
    return ready;
}

void FilterMoogSI_c::setSampleRate(float sr)
{
    if (!(sr > 0.0f))
        return;
    rateScale = std::clamp(44100.0f / sr, 0.1f, 1.0f);
    delayScale = 1.25e-5f * sr;
    VariatorTone_c::setSampleRate(sr);
}

void FilterMoogSI_c::checkSetFlagReady()
{
    VariatorTone_c::checkSetFlagReady();
    if (!cutoffIn || !resonanceIn || !levelIn || !balanceIn || !(sampleRate > MinRate))
        ready = false;
}

bool FilterMoogSI_c::getParaSetPtr(ParaSet_c** shared)
{
    return getParaSetPtr(shared, 1);
}

bool FilterMoogSI_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    bool defined = false;
    Parameter_c* p = beginParaDefinition(shared, nSets, ParaCount, &defined);
    if (!p)
        return defined;
    p[pOnOff].createOnOff("OffOn", 1);
    p[pType].createEnu("Type ", "", rLP12, rHP12, 6, rBP24, "LP 12 LP 24 BP 24 HP 12 ", nullptr);
    p[pCutoff].createNum("Cutoff", "Hz", 4.0f, 40, 20000, 0, 20000, 0);
    p[pResonance].createNum("Resonance", "%", 0.0f, 0, 100, 0, 0, 0);
    p[pRoutBal].createNum("RoutBal", "%", 0.0f, -100, 100, 2, 0, 0);
    p[pCutKeyF].createNum("Cut KeyF", "%", 0.0f, 0, 100, 2, 0, 0);
    return paraSet->spreadPara();
}

int FilterMoogSI_c::getTypeCode() const
{
    return MoogTypeCode;
}

float FilterMoogSI_c::getModSampleDefault(int input) const
{
    if (input == 0)
        return paraSet ? cutoffRest : 0.0f;
    if (input == 1) {
        const Parameter_c* p = getRenderParaPtr(std::max<int>(routeIndex, 0));
        return p ? static_cast<float>(p[pResonance].fl) * 0.01f : 0.0f;
    }
    return 0.0f;
}

void FilterMoogSI_c::postprocessParaChange(int set, int idx)
{
    VariatorTone_c::postprocessParaChange(set, idx);
    if (paraSet && set == std::max<int>(routeIndex, 0) && (idx == -1 || idx == pCutoff || idx == pCutKeyF))
        cachePara(crParaChange, set, -1);
}

void FilterMoogSI_c::cachePara(CacheReason_t reason, int set, int)
{
    if (reason == crTempoChange || !paraSet)
        return;
    const Parameter_c* p = getRenderParaPtr(set < 0 ? std::max<int>(routeIndex, 0) : set);
    if (!p)
        return;
    float u = p[pCutoff].fl * 5e-5f; // Hz / 20000
    applyKeyboardScaling(&u, p[pCutKeyF].fl);
    u = std::max(u, 1e-30f);
    cutoffRest = static_cast<float>(1.0 + std::log(1.0 / u) * -0.1803368777036667);
}

void FilterMoogSI_c::prepProc(int instrument, Note_c n, bool legato)
{
    VariatorTone_c::prepProc(instrument, n, legato);
    if (!paraSet || !renderParameters || legato)
        return;
    responseType = std::clamp<int>(renderParameters[pType].value, rLP12, rHP12);
    for (int c = 0; c < 2; ++c) {
        ladder[c] = Ladder_t{};
        band[c] = Band_t{};
        high[c] = High_t{};
    }
    if (responseType == rHP12)
        std::memset(ring, 0, sizeof(ring));
    writeIndex = 0;
    balance = 1.0f;
    level = 0.0f;
    levelStep = 0.0f;
}

void FilterMoogSI_c::initBuffer()
{
    for (int c = 0; c < 2; ++c) {
        ladder[c] = Ladder_t{};
        band[c] = Band_t{};
        high[c] = High_t{};
    }
    std::memset(ring, 0, sizeof(ring));
    writeIndex = readA = readB = 0;
    balance = 1.0f;
    level = levelTarget = levelStep = 0.0f;
}

float FilterMoogSI_c::ladderCoefficient(float m, float scale)
{
    const double t = 2.0 * clampIn(m, 1e-6f, 1.0f) - 1.0;
    const float f = static_cast<float>(cubicPow4(t, 0.695218770961068, 0.2480732860777168, 0.05362607007876781) * 0.0625);
    return std::clamp(f * scale, 0.0004f, 1.0f);
}

float FilterMoogSI_c::bandCoefficient(float m)
{
    float x;
    if (!(m >= 1e-6f))
        x = -3.9999918937683105f;
    else if (m > 1.0f)
        x = 4.0f;
    else
        x = m * 8.0f - 4.0f;
    return static_cast<float>(cubicPow4(x, 0.173804692740267, 0.0155045803798573, 0.000837907344980747) * 0.0625);
}

float FilterMoogSI_c::highCoefficient(float m, float scale)
{
    double x;
    if (!(m >= 1e-6f))
        x = -4.999990000000025;
    else if (m > 1.0f)
        x = 5.0;
    else
        x = m * 10.0f - 5.0f;
    const float f = static_cast<float>(cubicPow4(x, 0.174502948013078, 0.0157739370387826, 0.00082312050791077) * 0.03125);
    return std::clamp(f * scale, 0.002f, 1.0f);
}

float FilterMoogSI_c::highDelay(float coefficient, float scale)
{
    float d = scale / coefficient + 1.55f;
    while (d > static_cast<float>(RingFrames - 1))
        d *= 0.5f;
    return d;
}

void FilterMoogSI_c::takeLevel(float target)
{
    levelTarget = finiteOr0(target);
    levelStep = (levelTarget - level) * ControlTake;
}

void FilterMoogSI_c::followBalance(int k)
{
    const float in = finiteOr0(balanceIn[k]);
    balance = std::clamp(0.75f * balance + 0.25f * (in + 1.0f), 1e-5f, 1.99999f);
}

void FilterMoogSI_c::ladderControl(int k)
{
    f = ladderCoefficient(cutoffIn[k], rateScale);
    r = clampIn(resonanceIn[k], 1e-6f, 0.96f);
    takeLevel(levelIn[k] * 8.0f);
    followBalance(k);
    const double fd = f;
    k1 = 3.6 * fd - 1.6 * fd * fd - 1.0;
    k2 = (k1 + 1.0) * 0.5;
    const float f2 = f * f;
    feedback = r * (0.75 - std::log10(static_cast<double>(f2)));
}

void FilterMoogSI_c::bandControl(int k)
{
    f = bandCoefficient(cutoffIn[k]);
    const float damp = 1.0f - 0.9f * f;
    gainComp = damp * damp * 16.0f;
    takeLevel(gainComp * levelIn[k]);
    followBalance(k);
}

void FilterMoogSI_c::highControl(int k)
{
    f = highCoefficient(cutoffIn[k], rateScale);
    r = clampIn(resonanceIn[k], 1e-6f, 1.0f);
    const float d = highDelay(f, delayScale);
    const int whole = static_cast<int>(d);
    fraction = d - static_cast<float>(whole);
    // Masks, never % on a possibly negative difference.
    readA = (writeIndex - whole) & RingMask;
    readB = (readA - 1) & RingMask;
    takeLevel(levelIn[k] * gainComp);
    followBalance(k);
}

double FilterMoogSI_c::ladderSample(Ladder_t& st, float input, bool fourPoles)
{
    const double x = input * 0.125 - feedback * st.s[3] - st.dc;
    st.dc = static_cast<float>(st.dc + 0.0003 * x);
    const double y1 = (x + st.xPrev) * k2 - st.s[0] * k1;
    const double y2 = (y1 + st.prev[0]) * k2 - st.s[1] * k1;
    const double y3 = (y2 + st.prev[1]) * k2 - st.s[2] * k1;
    const double y4 = (y3 + st.prev[2]) * k2 - st.s[3] * k1;
    const double c = std::clamp(y4, -ClipTurn, ClipTurn);
    st.s[0] = y1;
    st.s[1] = y2;
    st.s[2] = y3;
    st.s[3] = c - 0.166666 * c * c * c;
    st.xPrev = x;
    st.prev[0] = y1;
    st.prev[1] = y2;
    st.prev[2] = y3;
    return fourPoles ? st.s[3] : y2;
}

float FilterMoogSI_c::bandSample(Band_t& st, float v) const
{
    for (float& s : st.low) {
        s += (v - s) * f;
        v = s;
    }
    for (float& s : st.high) {
        const float h = v - s;
        s += h * f;
        v = h;
    }
    st.last += (v - st.last) * f;
    return st.last;
}

float FilterMoogSI_c::highSample(int c, float input)
{
    const float* rg = ring[c];
    const float d = ((1.0f - fraction) * rg[readA] + fraction * rg[readB]) * r + input;
    High_t& st = high[c];
    const float h = d - st.hp1;
    st.hp1 += h * f;
    const float h2 = h - st.hp2;
    st.hp2 += h2 * f;
    const float y = h2;
    float w = y / (0.25f * y * y + 1.0f);
    // The ring recirculates without end: flushed here, it never decays into
    // subnormal numbers.
    if (std::fabs(w) < static_cast<float>(FilterMath::FlushBelow))
        w = 0.0f;
    ring[c][writeIndex] = w;
    return y;
}

template <int Channels, typename Control, typename Sample, typename Advance>
void FilterMoogSI_c::runForm(int n, float* const* in, float* outL, float* outR, Control control, Sample sample,
                             Advance advance)
{
    for (int i = 0; i < n; ++i) {
        if (i % ControlStepFrames == 0)
            control(i / ControlStepFrames);
        level += levelStep;
        const float left = (2.0f - balance) * level;
        const float right = balance * level;
        if constexpr (Channels == 1) {
            const float y = sample(0, in[0][i]);
            mixSample(&outL, left * y);
            mixSample(&outR, right * y);
        } else {
            const float yl = sample(0, in[0][i]);
            const float yr = sample(1, in[1][i]);
            mixSample(&outL, left * yl);
            mixSample(&outR, right * yr);
        }
        advance();
    }
}

void FilterMoogSI_c::render(int n)
{
    RenderingScope scope(*this);
    if (!active || !paraSet || !outputBusA)
        return;
    float* outL = nullptr;
    float* outR = nullptr;
    if (!outputBusA->wantWriteStereo(&outL, &outR))
        return;
    float* in[2] = {};
    int channels = 0;
    if (ready && inputBus) {
        if (inputBus->isStereo())
            channels = inputBus->wantReadStereo(&in[0], &in[1]) ? 2 : 0;
        else
            channels = inputBus->wantReadMono(&in[0], false) ? 1 : 0;
    }
    if (channels > 0) {
        n = framesFor(n, inputBus, outputBusA);
        auto none = [] {};
        auto ladderCtl = [this](int k) { ladderControl(k); };
        switch (responseType) {
        case rLP12:
        case rLP24: {
            const bool four = responseType == rLP24;
            auto s = [this, four](int c, float x) { return static_cast<float>(ladderSample(ladder[c], x, four)); };
            if (channels == 1)
                runForm<1>(n, in, outL, outR, ladderCtl, s, none);
            else
                runForm<2>(n, in, outL, outR, ladderCtl, s, none);
            break;
        }
        case rBP24: {
            auto ctl = [this](int k) { bandControl(k); };
            auto s = [this](int c, float x) { return bandSample(band[c], x); };
            if (channels == 1)
                runForm<1>(n, in, outL, outR, ctl, s, none);
            else
                runForm<2>(n, in, outL, outR, ctl, s, none);
            break;
        }
        default: {
            gainComp = 0.5f;
            auto ctl = [this](int k) { highControl(k); };
            auto s = [this](int c, float x) { return highSample(c, x); };
            auto adv = [this] {
                readA = (readA + 1) & RingMask;
                readB = (readB + 1) & RingMask;
                writeIndex = (writeIndex + 1) & RingMask;
            };
            if (channels == 1)
                runForm<1>(n, in, outL, outR, ctl, s, adv);
            else
                runForm<2>(n, in, outL, outR, ctl, s, adv);
            break;
        }
        }
        checkState();
    }
    outputBusA->doneWriteStereo();
}

void FilterMoogSI_c::checkState()
{
    using FilterMath::settle;
    bool ok = settle(level) && settle(levelStep) && settle(balance) && std::isfinite(k1) && std::isfinite(feedback);
    for (int c = 0; c < 2; ++c) {
        Ladder_t& l = ladder[c];
        for (double& v : l.s)
            ok = settle(v) && ok;
        for (double& v : l.prev)
            ok = settle(v) && ok;
        ok = settle(l.xPrev) && settle(l.dc) && ok;
        for (float& v : band[c].low)
            ok = settle(v) && ok;
        for (float& v : band[c].high)
            ok = settle(v) && ok;
        ok = settle(band[c].last) && settle(high[c].hp1) && settle(high[c].hp2) && ok;
    }
    if (!ok)
        initBuffer();
}
