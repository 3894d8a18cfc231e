#include "CrushX.h"

#include "InBuffer2.h"
#include "ParaRow.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

constexpr float MinSampleRate = 11000.0f;

constexpr char ModeItems[] = "AVGSTPSLD";
constexpr int ModeItemWidth = 3;
constexpr char TypeItems[] = "LP12HP12BP12BR12";
constexpr int TypeItemWidth = 4;

// Quantiser: (value + 1.0001) x levels + 0.5 truncated, times the step, less
// 0.998; levels = (round(2^bits) - 1) / 2 and step = 0.999 / levels.
constexpr double GridLift = 1.0001;
constexpr double GridBase = 0.998;
constexpr double StepSpan = 0.999;
// The DC tracker that removes the grid's offset follows over about 20000
// samples.
constexpr double DCFollow = 5e-5;
// Auto volume: the follower never falls below this level.
constexpr float EnvelopeFloor = 0.01f;
constexpr double EnvelopeHalfLifeSeconds = 0.2 * 0.125;

// The cutoff in hertz against 44100 Hz, as the single-precision constant the
// filter was tuned with.
constexpr float ReciprocalReferenceRate = 2.2675737e-5f;
constexpr float ReferenceRate = 44100.0f;
constexpr float RateFactorLow = 0.1f;
// The filter bypasses itself at the top cutoff with little resonance as a
// low-pass.
constexpr float BypassCutoff = 19999.0f;
constexpr double BypassResonance = 0.1;
// A resonance of 1 leaves the filter without loss: a tone at its frequency
// grows for ever. 0.99 keeps the sharpest peak and a bounded output.
constexpr double ResonanceCap = 0.99;

} // namespace

CrushX_c::CrushX_c() = default;

CrushX_c::~CrushX_c() = default;

void CrushX_c::setSampleRate(float rate)
{
    if (!(rate > 0.0f))
        return;
    // A host may change the rate while the crusher renders: the work block
    // and the rate factors change only after the audio thread has left
    // render, and ready (lowered first) keeps the next render out until
    // they are in place. The block's size does not depend on the rate, so
    // it is made once.
    ready = false;
    waitForRenderToLeave();
    cutoffRateFactor = std::clamp(ReferenceRate / rate, RateFactorLow, 1.0f);
    if (!workBuffer)
        workBuffer.reset(new (std::nothrow) float[MaxBlockSize]());
    releaseFactor = static_cast<float>(std::pow(0.5, 1.0 / (static_cast<double>(rate) * EnvelopeHalfLifeSeconds)));
    VariatorInst_c::setSampleRate(rate);
}

bool CrushX_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    return defineParas(shared, nSets, ParaCount, {
        {.index = pOnOff, .kind = ParaKind::OnOff, .name = "On/Off", .def = 1},
        {.index = pResolution, .name = "Resolution", .unit = "bit", .logFactor = 2.0f, .lo = 100, .hi = 1601,
         .precision = 2, .def = 400, .infiniteHi = true},
        {.index = pDither, .kind = ParaKind::OnOff, .name = "Dither On/Off", .def = 0},
        {.index = pDivider, .name = "Divider", .unit = "Samples", .logFactor = 2.0f, .lo = 1, .hi = 32,
         .precision = 0, .def = 1},
        {.index = pDividerMode, .kind = ParaKind::Enu, .name = "Divider Mode", .lo = modeAverage, .hi = modeSlide,
         .def = modeSlide, .width = ModeItemWidth, .items = ModeItems},
        {.index = pFilterType, .kind = ParaKind::Enu, .name = "Filter Type ", .lo = fLP12, .hi = fBR12, .def = fLP12,
         .width = TypeItemWidth, .items = TypeItems},
        {.index = pCutoff, .name = "Cutoff", .logFactor = 4.0f, .lo = 40, .hi = 20000, .precision = 0, .def = 20000},
        {.index = pResonance, .name = "Resonance", .lo = 0, .hi = 100, .precision = 0, .def = 0},
        {.index = pPostDivider, .kind = ParaKind::OnOff, .name = "FilterPostDiv On/Off", .def = 0},
        {.index = pAutoVolume, .kind = ParaKind::OnOff, .name = "Auto Volume compensation", .def = 1},
        {.index = pWet, .name = "Wet", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 100},
    });
}

void CrushX_c::cachePara(CacheReason_t reason, int set, int idx)
{
    const Parameter_c* p = refreshParameters(reason, set, paraSet != nullptr);
    if (!p)
        return;
    if (idx == -1 || idx == pResolution) {
        const double l = (std::trunc(std::exp2(static_cast<double>(p[pResolution].fl)) + 0.5) - 1.0) * 0.5;
        levels = static_cast<float>(l);
        step = static_cast<float>(StepSpan / l);
    }
    const float f = p[pCutoff].fl * ReciprocalReferenceRate * cutoffRateFactor;
    cutoffNorm = f;
    coefficient = (2.0 - static_cast<double>(f)) * f;
    const double r = std::min(static_cast<double>(p[pResonance].fl) * 0.01, ResonanceCap);
    resonance = r;
    const int type = p[pFilterType].value;
    filterActive = !(p[pCutoff].fl >= BypassCutoff && r <= BypassResonance && type == fLP12);
    dither = p[pDither].value != 0;
    const int n = p[pDivider].value;
    divider = n;
    const float inverse = std::clamp(1.0f / static_cast<float>(std::max(n, 1)), 0.0f, 1.0f);
    dividerInverse = inverse;
    dividerKeep = 1.0f - inverse;
    dividerActive = n > 1;
    dividerMode = p[pDividerMode].value;
    filterType = type;
    postDivider = p[pPostDivider].value != 0;
    autoVolume = p[pAutoVolume].value != 0;
    wet = p[pWet].fl;
}

void CrushX_c::resetChannels()
{
    for (Channel_t& ch : channel) {
        ch = Channel_t{};
        ch.countdown = divider;
    }
}

void CrushX_c::prepProc(int instrument, Note_c n, bool keepState)
{
    VariatorInst_c::prepProc(instrument, n, keepState);
    if (paraSet && !keepState)
        resetChannels();
}

void CrushX_c::checkSetFlagReady()
{
    VariatorInst_c::checkSetFlagReady();
    if (!(sampleRate > MinSampleRate) || !workBuffer)
        ready = false;
}

void CrushX_c::quantise(int n, const float* in, float* work, Channel_t& ch)
{
    const double lv = levels;
    const double st = step;
    const bool withDither = dither;
    const bool withAuto = autoVolume;
    const float release = releaseFactor;
    float env = envelope;
    const auto grid = [lv, st](double v) { return std::trunc((v + GridLift) * lv + 0.5) * st - GridBase; };
    for (int i = 0; i < n; ++i) {
        const float x = in[i];
        float g = 1.0f;
        double value = x;
        if (withAuto) {
            if (x > env)
                env = x;
            else if (-x > env)
                env = -x;
            else
                env = std::max(EnvelopeFloor, env * release);
            g = env;
            value = static_cast<double>(x / env);
        }
        double q;
        if (!withDither) {
            q = grid(value);
        } else if (!withAuto) {
            const double v = x + 0.5 * ch.ditherError;
            q = grid(v);
            ch.ditherError = static_cast<float>(v - q);
        } else {
            q = grid(value + 0.5 * ch.ditherError);
            ch.ditherError = static_cast<float>(x - q);
        }
        work[i] = static_cast<float>((q - ch.dc) * g);
        ch.dc += (q - ch.dc) * DCFollow;
    }
    envelope = env;
}

namespace {

template <int T>
void runFilter(int n, float* work, CrushX_c::Channel_t& ch, double c, double damping)
{
    for (int i = 0; i < n; ++i) {
        ch.high = work[i] - ch.low - damping * ch.band;
        ch.band += c * ch.high;
        ch.low += c * ch.band;
        double y;
        if constexpr (T == CrushX_c::fLP12)
            y = ch.low;
        else if constexpr (T == CrushX_c::fHP12)
            y = ch.high;
        else if constexpr (T == CrushX_c::fBP12)
            y = ch.band;
        else
            y = ch.low + ch.high;
        work[i] = static_cast<float>(y);
    }
}

} // namespace

void CrushX_c::filter(int n, float* work, Channel_t& ch)
{
    const double c = coefficient;
    const double damping = 1.0 - static_cast<double>(resonance);
    switch (filterType) {
    case fLP12: runFilter<fLP12>(n, work, ch, c, damping); break;
    case fHP12: runFilter<fHP12>(n, work, ch, c, damping); break;
    case fBP12: runFilter<fBP12>(n, work, ch, c, damping); break;
    case fBR12: runFilter<fBR12>(n, work, ch, c, damping); break;
    default: break;
    }
}

void CrushX_c::divide(int n, float* work, Channel_t& ch)
{
    const int d = divider;
    const float inverse = dividerInverse;
    const float keep = dividerKeep;
    switch (dividerMode) {
    case modeAverage:
        for (int i = 0; i < n; ++i) {
            ch.hold = ch.hold * keep + work[i] * inverse;
            work[i] = ch.hold;
        }
        break;
    case modeStep:
        for (int i = 0; i < n; ++i) {
            if (--ch.countdown < 1) {
                ch.hold = work[i];
                ch.countdown = d;
            }
            work[i] = ch.hold;
        }
        break;
    case modeSlide:
        for (int i = 0; i < n; ++i) {
            if (--ch.countdown < 1) {
                ch.slide = (work[i] - ch.hold) * inverse;
                ch.countdown = d;
            }
            ch.hold += ch.slide;
            work[i] = ch.hold;
        }
        break;
    default: break;
    }
}

void CrushX_c::renderCore(int n, const float* in, float* work, Channel_t& ch)
{
    quantise(n, in, work, ch);
    const bool withFilter = filterActive;
    const bool post = postDivider;
    if (withFilter && !post)
        filter(n, work, ch);
    if (dividerActive)
        divide(n, work, ch);
    if (withFilter && post)
        filter(n, work, ch);
}

void CrushX_c::render(int n)
{
    RenderingScope scope(*this);
    if (!active || !ready || !inputBus || !outputBusA || !inputBus->hasContent())
        return;
    float* work = workBuffer.get();
    const float w = wet;
    const auto mix = [&](int count, const float* in, float* out) {
        for (int i = 0; i < count; ++i) {
            const float v = w * work[i] + (1.0f - w) * in[i] - outputOffset;
            outputOffset = -outputOffset;
            mixSample(&out, v);
        }
    };
    if (inputBus->isMono()) {
        float* in = nullptr;
        float* out = nullptr;
        if (!outputBusA->wantWriteMono(&out, false) )
            return;
        if (inputBus->wantReadMono(&in, false)) {
            n = std::min(framesFor(n, inputBus, outputBusA), MaxBlockSize);
            renderCore(n, in, work, channel[0]);
            mix(n, in, out);
        }
        outputBusA->doneWriteMono();
    } else if (inputBus->isStereo()) {
        float* in[2] = {};
        float* out[2] = {};
        if (!outputBusA->wantWriteStereo(&out[0], &out[1]))
            return;
        if (inputBus->wantReadStereo(&in[0], &in[1])) {
            n = std::min(framesFor(n, inputBus, outputBusA), MaxBlockSize);
            for (int c = 0; c < 2; ++c) {
                renderCore(n, in[c], work, channel[c]);
                mix(n, in[c], out[c]);
            }
        }
        outputBusA->doneWriteStereo();
    }
    // A state that is no longer finite (one bad block) starts again from
    // silence instead of ringing on as NaN.
    bool finite = std::isfinite(envelope);
    for (const Channel_t& ch : channel)
        finite = finite && std::isfinite(ch.ditherError) && std::isfinite(ch.low) && std::isfinite(ch.high) &&
                 std::isfinite(ch.band) && std::isfinite(ch.hold) && std::isfinite(ch.slide) && std::isfinite(ch.dc);
    if (!finite) {
        resetChannels();
        envelope = EnvelopeFloor;
    }
}
