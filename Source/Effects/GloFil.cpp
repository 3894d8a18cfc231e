#include "GloFil.h"

#include "InBuffer2.h"
#include "ParaRow.h"
#include "TempoSync.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr char TypeItems[] = "LP12HP12BP12BR12";
constexpr int TypeItemWidth = 4;

// Only above this rate (Hz) does the filter render.
constexpr float MinSampleRate = 1000.0f;

// The band state goes through B - 0.02 B^3, a soft clip that turns back at
// B = sqrt(1 / 0.06). Past that point the curve falls again and the filter
// runs away to infinity (a +-8 input at the highest coefficient is enough),
// so the argument is held at the turning point: where the curve rises nothing
// changes.
constexpr double BandClipK = 0.02;
constexpr double BandClipTurn = 4.0824829046386304; // sqrt(1 / (3 x 0.02))

// The cutoff sweep: 2^(x) approximated by the fourth power of a cubic, x the
// LFO value times the depth times 3 (so depth 1 sweeps about three octaves up
// and down).
constexpr double SweepC1 = 0.174502948013078;
constexpr double SweepC2 = 0.0157739370387826;
constexpr double SweepC3 = 0.00082312050791077;
constexpr float SweepRange = 3.0f;
constexpr double CoefficientLow = 0.001;
constexpr double CoefficientHigh = 1.0;

// The input stage: s x 0.35 x / (|x| + 1.001 - s) + (1 - s) x.
constexpr double SaturationScale = 0.35;
constexpr double SaturationKnee = 1.001;
constexpr float SaturationLow = 1e-6f;
constexpr float SaturationHigh = 0.999999f;

// Release tails (seconds) by resonance.
constexpr double TailEndlessAbove = 0.995;
constexpr float TailEndless = 3600.0f;
constexpr double TailGrowAbove = 0.955;
constexpr double TailCentre = 0.94;
constexpr double TailScale = 10000.0;
constexpr float TailShort = 0.1f;

// One sample of one channel through the saturation and the filter; the
// response picked at compile time, so the sample loop has no branch on it.
template <int T>
inline double filterSample(double x, double s, double f, double damping, double& low, double& high,
                           double& band)
{
    const double v = s * SaturationScale * x / (std::fabs(x) + SaturationKnee - s) + (1.0 - s) * x;
    const double b = std::clamp(band, -BandClipTurn, BandClipTurn);
    const double clipped = b - BandClipK * b * b * b;
    high = v - low - damping * clipped;
    band = high * f + clipped;
    low = band * f + low;
    if constexpr (T == GloFil_c::tLP12)
        return low;
    else if constexpr (T == GloFil_c::tHP12)
        return high;
    else if constexpr (T == GloFil_c::tBP12)
        return band;
    else
        return low + high;
}

} // namespace

GloFil_c::~GloFil_c() = default;

bool GloFil_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    return defineParas(shared, nSets, ParaCount, {
        {.index = pOnOff, .kind = ParaKind::OnOff, .name = "S0 On/Off", .def = 1},
        {.index = pWet, .name = "Filter Wet", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 100},
        {.index = pType, .kind = ParaKind::Enu, .name = "Type ", .lo = tLP12, .hi = tBR12, .def = tLP12,
         .width = TypeItemWidth, .items = TypeItems},
        {.index = pSaturation, .name = "Filter Sat", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 20},
        {.index = pCutoff, .name = "Cutoff", .unit = "Hz", .logFactor = 4.0f, .lo = 40, .hi = 20000, .precision = 0,
         .def = 10000},
        {.index = pResonance, .name = "Resonance", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 0},
        {.index = pModSpeed, .name = "Filter Mod Speed", .unit = "Hz", .logFactor = 2.0f, .lo = 4, .hi = 400,
         .precision = 2, .def = 100},
        {.index = pModDepth, .name = "Filter Mod Depth", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 50},
        {.index = pLevel, .kind = ParaKind::Volume, .name = "Level (D+W)", .lo = -18, .hi = 0, .def = 0,
         .minusInfinity = true},
        {.index = pNotes, .kind = ParaKind::Enu, .name = "Frequency", .unit = "Notes", .lo = NoteValueCodeOff,
         .hi = NoteValueCodeLast, .def = NoteValueCodeOff, .width = NoteValueItemWidth, .items = NoteValueItems},
    });
}

void GloFil_c::initBuffer()
{
    f = 0.0;
    // The resonance term is a setting, not state: a host that stops and
    // starts its engine (suspend, resume) clears the filter, and no
    // parameter change follows to bring the resonance back, so it is taken
    // from the parameters again here.
    const Parameter_c* p = ownParameters();
    const double r = p ? static_cast<double>(p[pResonance].fl) : 0.0;
    resonanceTerm = (2.0 - r) * r;
    for (int c = 0; c < 2; ++c)
        low[c] = high[c] = band[c] = 0.0;
}

void GloFil_c::postprocessParaChange(int set, int idx)
{
    VariatorInst_c::postprocessParaChange(set, idx);
    followSweepParas(set, idx, pModSpeed, 1, pNotes);
}

void GloFil_c::cachePara(CacheReason_t reason, int set, int)
{
    const Parameter_c* p = refreshParameters(reason, set, ready);
    if (!p)
        return;
    const float sat = p[pSaturation].fl;
    saturation = std::clamp(1.0f - (1.0f - sat) * (1.0f - sat), SaturationLow, SaturationHigh);
    cutoff = p[pCutoff].fl;
    depth = p[pModDepth].fl;
    const double r = p[pResonance].fl;
    resonanceTerm = (2.0 - r) * r;
    // The volume's gain is 0 at its lowest step (minus infinity).
    const float level = p[pLevel].gain;
    const float wet = p[pWet].fl;
    wetGain = wet * level;
    dryGain = (1.0f - wet) * level;
    type = p[pType].value;
}

void GloFil_c::checkSetFlagReady()
{
    VariatorInst_c::checkSetFlagReady();
    if (!ownParameters() || !(sampleRate > MinSampleRate))
        ready = false;
}

float GloFil_c::getFadeTime()
{
    const Parameter_c* p = ownParameters();
    if (!p)
        return 0.0f;
    const double r = p[pResonance].fl;
    if (r > TailEndlessAbove)
        return TailEndless;
    if (r > TailGrowAbove)
        return static_cast<float>((r - TailCentre) * (r - TailCentre) * TailScale) + TailShort;
    return TailShort;
}

void GloFil_c::controlStep(int remainingInBlock)
{
    stepSweep(remainingInBlock);
    const double x = static_cast<double>(lfoValue * depth) * SweepRange;
    const double c = 1.0 + SweepC1 * x + SweepC2 * x * x + SweepC3 * x * x * x;
    const double sweep = c * c * c * c;
    f = std::clamp(static_cast<double>(twoSamplePeriods) * (static_cast<double>(cutoff) * sweep), CoefficientLow,
                   CoefficientHigh);
}

namespace {

// The sample loop of one response.
template <int T>
void runFilter(GloFil_c& fx, int n, const float* inL, const float* inR, float* outL, float* outR)
{
    const double s = fx.saturation;
    const double damping = 1.0 - fx.resonanceTerm;
    const float wet = fx.wetGain;
    const float dry = fx.dryGain;
    for (int i = 0; i < n; ++i) {
        if (i % ControlStepFrames == 0)
            fx.controlStep(n - i);
        // Both inputs are read before either output is written: in place on
        // a mono bus both cursors are the same samples.
        const float xl = inL[i];
        const float xr = inR[i];
        const double yl = filterSample<T>(xl, s, fx.f, damping, fx.low[0], fx.high[0], fx.band[0]);
        const double yr = filterSample<T>(xr, s, fx.f, damping, fx.low[1], fx.high[1], fx.band[1]);
        fx.mixSample(&outL, static_cast<float>(xl * dry + wet * yl));
        fx.mixSample(&outR, static_cast<float>(xr * dry + wet * yr));
    }
}

} // namespace

void GloFil_c::render(int n)
{
    RenderingScope scope(*this);
    if (!active || !ready || !inputBus || !outputBusA)
        return;
    StereoPins_t pins;
    if (!openStereoWriteRead(n, pins, false))
        return;
    auto [inL, inR, outL, outR] = pins;
    if (inL) {
        switch (type) {
        case tLP12: runFilter<tLP12>(*this, n, inL, inR, outL, outR); break;
        case tHP12: runFilter<tHP12>(*this, n, inL, inR, outL, outR); break;
        case tBP12: runFilter<tBP12>(*this, n, inL, inR, outL, outR); break;
        case tBR12: runFilter<tBR12>(*this, n, inL, inR, outL, outR); break;
        default: break;
        }
    }
    outputBusA->doneWriteStereo();
    // One bad block (a non-finite input) must not silence the effect for
    // good: a state that is no longer finite starts again from silence.
    for (int c = 0; c < 2; ++c)
        if (!std::isfinite(low[c]) || !std::isfinite(high[c]) || !std::isfinite(band[c]))
            low[0] = high[0] = band[0] = low[1] = high[1] = band[1] = 0.0;
    repairSweep();
}
