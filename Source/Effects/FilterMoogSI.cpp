#include "FilterMoogSI.h"

#include "FilterMath.h"
#include "InBuffer2.h"
#include "LadderLanes.h"
#include "LadderMath.h"
#include "ParaRow.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include <immintrin.h>

using FilterMath::clampIn;
using FilterMath::cubicPow4;
using FilterMath::finiteOr0;
using LadderMath::ClipTurn;
using LadderMath::ControlTake;
using LadderMath::DcBoth;
using LadderMath::DcIn;
using LadderMath::DcKeep;
using LadderMath::DcRate;
using LadderMath::DcWIn;
using LadderMath::heldInput;
using LadderMath::heldLessDc;

namespace {

constexpr int MoogTypeCode = ('V' << 24) | ('F' << 16) | ('0' << 8) | '1';
constexpr int RingMask = FilterMoogSI_c::RingFrames - 1;
// Whether the processor has fused multiply-add: the ladder's chain of
// dependent stages then takes one operation per stage instead of two.
// (Asked while the library loads, so the feature table is filled first.)
bool detectFusedMultiplyAdd()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("fma");
}
const bool HasFusedMultiplyAdd = detectFusedMultiplyAdd();

// The lowest sample rate at which the filter runs.
constexpr float MinRate = 22000.0f;

} // namespace

std::atomic<bool> FilterMoogSI_c::fusedAllowed{true};

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

bool FilterMoogSI_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    return defineParas(shared, nSets, ParaCount, {
        {.index = pOnOff, .kind = ParaKind::OnOff, .name = "OffOn", .def = 1},
        {.index = pType, .kind = ParaKind::Enu, .name = "Type ", .lo = rLP12, .hi = rHP12, .def = rBP24, .width = 6,
         .items = "LP 12 LP 24 BP 24 HP 12 "},
        {.index = pCutoff, .name = "Cutoff", .unit = "Hz", .logFactor = 4.0f, .lo = 40, .hi = 20000, .precision = 0,
         .def = 20000},
        {.index = pResonance, .name = "Resonance", .unit = "%", .lo = 0, .hi = 100, .precision = 0, .def = 0},
        {.index = pRoutBal, .name = "RoutBal", .unit = "%", .lo = -100, .hi = 100, .precision = 2, .def = 0},
        {.index = pCutKeyF, .name = "Cut KeyF", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 0},
    });
}

int FilterMoogSI_c::getTypeCode() const
{
    return MoogTypeCode;
}

float FilterMoogSI_c::getModSampleDefault(int input) const
{
    if (input == 0)
        return paraSet ? cutoffRest.load() : 0.0f;
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
    const Parameter_c* p = refreshParameters(reason, set, paraSet != nullptr);
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

void FilterMoogSI_c::followBalance(float input)
{
    const float in = finiteOr0(input);
    balance = std::clamp(0.75f * balance + 0.25f * (in + 1.0f), 1e-5f, 1.99999f);
}

void FilterMoogSI_c::refreshLadderMemo(float m)
{
    LadderMemo_t& memo = ladderMemo;
    memo.f = ladderCoefficient(m, rateScale);
    const double fd = memo.f;
    memo.k1 = 3.6 * fd - 1.6 * fd * fd - 1.0;
    memo.k2 = (memo.k1 + 1.0) * 0.5;
    const float f2 = memo.f * memo.f;
    // log10 through the natural logarithm: the same value to the last
    // bits, at a fraction of the library log10's cost.
    constexpr double InvLn10 = 0.43429448190325182765;
    memo.feedbackScale = 0.75 - std::log(static_cast<double>(f2)) * InvLn10;
    memo.cutoff = m;
    memo.rateScale = rateScale;
}

inline void FilterMoogSI_c::ladderStep(const ControlIn_t& in)
{
    // A held note's cutoff often stays put for many steps: the coefficients
    // and the logarithm then carry over (the same values, recomputed only
    // when the cutoff input or the rate changes).
    const LadderMemo_t& memo = ladderMemo;
    if (!(in.cutoff == memo.cutoff && rateScale == memo.rateScale)) [[unlikely]]
        refreshLadderMemo(in.cutoff);
    f = memo.f;
    k1 = memo.k1;
    k2 = memo.k2;
    r = clampIn(in.resonance, 1e-6f, 0.96f);
    takeLevel(in.level * 8.0f);
    followBalance(in.balance);
    feedback = r * memo.feedbackScale;
}

void FilterMoogSI_c::ladderControl(const ControlIn_t& in)
{
    ladderStep(in);
}

void FilterMoogSI_c::bandControl(int k)
{
    f = bandCoefficient(cutoffIn[k]);
    const float damp = 1.0f - 0.9f * f;
    gainComp = damp * damp * 16.0f;
    takeLevel(gainComp * levelIn[k]);
    followBalance(balanceIn[k]);
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
    followBalance(balanceIn[k]);
}

namespace {

// The ladder's state in registers for the length of a block. A stage's
// "previous output" equals its state, so one value per stage is kept.
// The coefficients of one control step in the forms the solved-ahead
// stages use: powers of k2, the state weights a = k2^j (1 - k1) and the
// feedback's reach into each stage (c2, c3, q), the DC tracker's (fbDc) and
// the held stage input's less the DC tracker's (fbw).
struct LadderCoefs
{
    double k1 = 0.0, k2 = 0.0, fb = 0.0, fbk2 = 0.0, fbDc = 0.0, fbw = 0.0, a1 = 0.0, a2 = 0.0, a3 = 0.0, c2 = 0.0,
           c3 = 0.0, q = 0.0;
    double k2p[4] = {}; // k2, k2^2, k2^3, k2^4

    LadderCoefs() = default;

    LadderCoefs(double k1In, double k2In, double feedback)
        : k1(k1In), k2(k2In), fb(feedback), fbk2(feedback * k2In), fbDc(DcRate * feedback), fbw(DcKeep * feedback)
    {
        k2p[0] = k2;
        k2p[1] = k2 * k2;
        k2p[2] = k2p[1] * k2;
        k2p[3] = k2p[2] * k2;
        a3 = k2 * (1.0 - k1);
        a2 = k2p[1] * (1.0 - k1);
        a1 = k2p[2] * (1.0 - k1);
        c2 = fbk2 * k2;
        c3 = fbk2 * k2p[1];
        q = fbk2 * k2p[2] + k1;
    }
};

struct LadderRegs
{
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0, w = 0.0;
    double dc = 0.0;

    LadderRegs() = default;
    explicit LadderRegs(const FilterMoogSI_c::Ladder_t& st)
        : s0(st.s[0]), s1(st.s[1]), s2(st.s[2]), s3(st.s[3]), w(heldLessDc(st.xPrev, st.dc)), dc(st.dc)
    {
    }
    void store(FilterMoogSI_c::Ladder_t& st) const
    {
        st.s[0] = st.prev[0] = s0;
        st.s[1] = st.prev[1] = s1;
        st.s[2] = st.prev[2] = s2;
        st.s[3] = s3;
        st.xPrev = heldInput(w, dc);
        st.dc = dc;
    }

    // One sample. The stage input x = in / 8 - feedback x s3 - dc and each
    // stage y = (input + previous input) x k2 - state x k1, the last one
    // soft-clipped as s - 0.166666 s^3. The four stages are solved ahead:
    // each y is a sum of the previous sample's terms (ready early) minus a
    // multiple of s3, so the clipped last stage waits for the one before
    // only by a single multiply-add instead of four in a row. Every state
    // but s3 is ready one multiply-add after s3, and each sum of them is a
    // tree at most three operations deep, so that the loop's longest chain
    // from one s3 to the next is the sums' three plus the clip's path, not
    // a row of every term. The DC tracker and w likewise fold their decay
    // into one multiply-add by s3.
    // Fused: the multiply-adds as single fused operations (one rounding
    // instead of two), for processors that have them.
    template <bool FourPoles, bool Fused>
    [[gnu::always_inline]] double step(float input, const LadderCoefs& k)
    {
        const auto madd = [](double a, double b, double c) {
            if constexpr (Fused)
                return std::fma(a, b, c);
            else
                return a * b + c;
        };
        const double in = input;
        // in / 8 is exact: fused or not, u is rounded once.
        const double u = madd(in, 0.125, w);
        const double dcHeld = madd(DcKeep, dc, in * DcIn);
        const double wHeld = madd(-DcBoth, dc, in * DcWIn);
        const double r1 = madd(k.k2, u, -(k.k1 * s0));
        const double r2 = madd(k.k2p[1], u, madd(k.a3, s0, -(k.k1 * s1)));
        const double r3 = madd(k.a2, s0, k.a3 * s1) + madd(k.k2p[2], u, -(k.k1 * s2));
        const double r4 = madd(k.k2p[3], u, k.a1 * s0) + madd(k.a2, s1, k.a3 * s2);
        const double y1 = madd(-k.fbk2, s3, r1);
        const double y2 = madd(-k.c2, s3, r2);
        const double y3 = madd(-k.c3, s3, r3);
        const double y4 = madd(-k.q, s3, r4);
        dc = madd(-k.fbDc, s3, dcHeld);
        w = madd(-k.fbw, s3, wHeld);
        const double c = std::clamp(y4, -ClipTurn, ClipTurn);
        s0 = y1;
        s1 = y2;
        s2 = y3;
        s3 = madd(-0.166666 * c, c * c, c);
        return FourPoles ? s3 : y2;
    }
};

} // namespace

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

template <int Filters, int Channels, bool FourPoles, bool Fused>
void FilterMoogSI_c::runLadders(FilterMoogSI_c* const* filters, const Open_t* open, int n)
{
    // Each filter's state and gains live in locals for the block: the
    // stores into the output buses could otherwise alias them and force a
    // reload every sample.
    LadderRegs st[Filters][Channels];
    float level[Filters];
    float levelStep[Filters];
    float balance[Filters];
    for (int p = 0; p < Filters; ++p)
        for (int c = 0; c < Channels; ++c)
            st[p][c] = LadderRegs(filters[p]->ladder[c]);
    for (int start = 0; start < n; start += ControlStepFrames) {
        LadderCoefs coefs[Filters] = {};
        for (int p = 0; p < Filters; ++p) {
            FilterMoogSI_c& f = *filters[p];
            f.ladderControl(start / ControlStepFrames);
            level[p] = f.level;
            levelStep[p] = f.levelStep;
            balance[p] = f.balance;
            coefs[p] = LadderCoefs(f.k1, f.k2, f.feedback);
        }
        const int end = std::min(n, start + ControlStepFrames);
        for (int i = start; i < end; ++i) {
            for (int p = 0; p < Filters; ++p) {
                level[p] += levelStep[p];
                const float left = (2.0f - balance[p]) * level[p];
                const float right = balance[p] * level[p];
                // The filter adds into its output bus (Part_c::mixSample).
                const float* const* in = open[p].in;
                const float yl = static_cast<float>(st[p][0].template step<FourPoles, Fused>(in[0][i], coefs[p]));
                const float yr = Channels == 1 ? yl
                                               : static_cast<float>(st[p][Channels - 1].template step<FourPoles, Fused>(
                                                     in[Channels - 1][i], coefs[p]));
                open[p].outL[i] += left * yl;
                open[p].outR[i] += right * yr;
            }
        }
        for (int p = 0; p < Filters; ++p)
            filters[p]->level = level[p];
    }
    for (int p = 0; p < Filters; ++p)
        for (int c = 0; c < Channels; ++c)
            st[p][c].store(filters[p]->ladder[c]);
}

// In line: the lanes' entry opens two inputs for every voice, and the call
// costs as much as the checks.
[[gnu::always_inline]] inline bool FilterMoogSI_c::openInput(int n, Open_t& o)
{
    if (!active || !paraSet || !outputBusA)
        return false;
    o.channels = 0;
    if (ready && inputBus) {
        if (inputBus->isStereo())
            o.channels = inputBus->wantReadStereo(&o.in[0], &o.in[1]) ? 2 : 0;
        else
            o.channels = inputBus->wantReadMono(&o.in[0], false) ? 1 : 0;
    }
    // framesFor(n, inputBus, outputBusA), without its loop: both are there.
    if (o.channels > 0) {
        n = std::min({n, inputBus->getCycleLength(), outputBusA->getCycleLength()});
        o.n = n > 0 ? n : 0;
    } else {
        o.n = 0;
    }
    return true;
}

bool FilterMoogSI_c::openBuses(int n, Open_t& o)
{
    if (!active || !paraSet || !outputBusA)
        return false;
    if (!outputBusA->wantWriteStereo(&o.outL, &o.outR))
        return false;
    return openInput(n, o);
}

template <int Filters, int Channels, bool FourPoles>
void FilterMoogSI_c::runLaddersFused(FilterMoogSI_c* const* filters, const Open_t* open, int n)
{
    runLadders<Filters, Channels, FourPoles, true>(filters, open, n);
}

template <int Filters, bool FourPoles>
void FilterMoogSI_c::runLadderLanes(FilterMoogSI_c* const* filters, const Open_t* open, int n)
{
    // Lane l is filter fl[l], channel ch[l]: two mono filters, or the two
    // channels of one. The arithmetic is runLadders' fused one, operation
    // for operation, so both give the same numbers.
    constexpr int fl[2] = {0, Filters - 1};
    constexpr int ch[2] = {0, 2 - Filters};
    FilterMoogSI_c& f0 = *filters[fl[0]];
    FilterMoogSI_c& f1 = *filters[fl[1]];
    const Ladder_t& l0 = f0.ladder[ch[0]];
    const Ladder_t& l1 = f1.ladder[ch[1]];
    __m128d s0 = _mm_set_pd(l1.s[0], l0.s[0]);
    __m128d s1 = _mm_set_pd(l1.s[1], l0.s[1]);
    __m128d s2 = _mm_set_pd(l1.s[2], l0.s[2]);
    __m128d s3 = _mm_set_pd(l1.s[3], l0.s[3]);
    __m128d w = _mm_set_pd(heldLessDc(l1.xPrev, l1.dc), heldLessDc(l0.xPrev, l0.dc));
    __m128d dc = _mm_set_pd(l1.dc, l0.dc);
    const __m128d eighth = _mm_set1_pd(0.125);
    const __m128d dcKeep = _mm_set1_pd(DcKeep);
    const __m128d dcIn = _mm_set1_pd(DcIn);
    const __m128d dcBoth = _mm_set1_pd(DcBoth);
    const __m128d dcWIn = _mm_set1_pd(DcWIn);
    const __m128d cubic = _mm_set1_pd(0.166666);
    const __m128d turn = _mm_set1_pd(ClipTurn);
    const __m128d negTurn = _mm_set1_pd(-ClipTurn);
    const __m128d absMask = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffLL));
    const float* in0 = open[fl[0]].in[ch[0]];
    const float* in1 = open[fl[1]].in[ch[1]];
    // The output buses and gains in locals too: stores into the buses could
    // otherwise alias them and force a reload every sample.
    float* outL[Filters];
    float* outR[Filters];
    for (int p = 0; p < Filters; ++p) {
        outL[p] = open[p].outL;
        outR[p] = open[p].outR;
    }
    float level[Filters];
    float levelStep[Filters];
    float balance[Filters];
    for (int start = 0; start < n; start += ControlStepFrames) {
        for (int p = 0; p < Filters; ++p) {
            filters[p]->ladderControl(start / ControlStepFrames);
            level[p] = filters[p]->level;
            levelStep[p] = filters[p]->levelStep;
            balance[p] = filters[p]->balance;
        }
        const LadderCoefs c0(f0.k1, f0.k2, f0.feedback);
        const LadderCoefs c1(f1.k1, f1.k2, f1.feedback);
        const auto both = [&](double LadderCoefs::*m) { return _mm_set_pd(c1.*m, c0.*m); };
        const __m128d k1 = both(&LadderCoefs::k1);
        const __m128d k2 = both(&LadderCoefs::k2);
        const __m128d k2p2 = _mm_set_pd(c1.k2p[1], c0.k2p[1]);
        const __m128d k2p3 = _mm_set_pd(c1.k2p[2], c0.k2p[2]);
        const __m128d k2p4 = _mm_set_pd(c1.k2p[3], c0.k2p[3]);
        const __m128d a1 = both(&LadderCoefs::a1);
        const __m128d a2 = both(&LadderCoefs::a2);
        const __m128d a3 = both(&LadderCoefs::a3);
        const __m128d fbk2 = both(&LadderCoefs::fbk2);
        const __m128d fbDc = both(&LadderCoefs::fbDc);
        const __m128d fbw = both(&LadderCoefs::fbw);
        const __m128d c2 = both(&LadderCoefs::c2);
        const __m128d c3 = both(&LadderCoefs::c3);
        const __m128d q = both(&LadderCoefs::q);
        const int end = n < start + ControlStepFrames ? n : start + ControlStepFrames;
        for (int i = start; i < end; ++i) {
            const __m128d input = _mm_set_pd(in1[i], in0[i]);
            const __m128d u = _mm_fmadd_pd(input, eighth, w);
            const __m128d dcHeld = _mm_fmadd_pd(dcKeep, dc, _mm_mul_pd(input, dcIn));
            const __m128d wHeld = _mm_fnmadd_pd(dcBoth, dc, _mm_mul_pd(input, dcWIn));
            const __m128d r1 = _mm_fmsub_pd(k2, u, _mm_mul_pd(k1, s0));
            const __m128d r2 = _mm_fmadd_pd(k2p2, u, _mm_fmsub_pd(a3, s0, _mm_mul_pd(k1, s1)));
            const __m128d r3 =
                _mm_add_pd(_mm_fmadd_pd(a2, s0, _mm_mul_pd(a3, s1)), _mm_fmsub_pd(k2p3, u, _mm_mul_pd(k1, s2)));
            const __m128d r4 =
                _mm_add_pd(_mm_fmadd_pd(k2p4, u, _mm_mul_pd(a1, s0)), _mm_fmadd_pd(a2, s1, _mm_mul_pd(a3, s2)));
            const __m128d y1 = _mm_fnmadd_pd(fbk2, s3, r1);
            const __m128d y2 = _mm_fnmadd_pd(c2, s3, r2);
            const __m128d y3 = _mm_fnmadd_pd(c3, s3, r3);
            __m128d c = _mm_fnmadd_pd(q, s3, r4);
            // The clip only where a lane is past the turn (rare, and so off
            // the chain from one s3 to the next), as min and max with the
            // value second: a NaN passes through as in the scalar loop.
            if (_mm_movemask_pd(_mm_cmpgt_pd(_mm_and_pd(c, absMask), turn)) != 0) [[unlikely]]
                c = _mm_min_pd(turn, _mm_max_pd(negTurn, c));
            dc = _mm_fnmadd_pd(fbDc, s3, dcHeld);
            w = _mm_fnmadd_pd(fbw, s3, wHeld);
            s0 = y1;
            s1 = y2;
            s2 = y3;
            s3 = _mm_fnmadd_pd(_mm_mul_pd(cubic, c), _mm_mul_pd(c, c), c);
            const __m128d yd = FourPoles ? s3 : y2;
            const float y0 = static_cast<float>(_mm_cvtsd_f64(yd));
            const float y1s = static_cast<float>(_mm_cvtsd_f64(_mm_unpackhi_pd(yd, yd)));
            for (int p = 0; p < Filters; ++p) {
                level[p] += levelStep[p];
                const float left = (2.0f - balance[p]) * level[p];
                const float right = balance[p] * level[p];
                if constexpr (Filters == 2) {
                    const float y = p == 0 ? y0 : y1s;
                    outL[p][i] += left * y;
                    outR[p][i] += right * y;
                } else {
                    outL[p][i] += left * y0;
                    outR[p][i] += right * y1s;
                }
            }
        }
        for (int p = 0; p < Filters; ++p)
            filters[p]->level = level[p];
    }
    Ladder_t* out[2] = {&f0.ladder[ch[0]], &f1.ladder[ch[1]]};
    double lanes[6][2];
    _mm_storeu_pd(lanes[0], s0);
    _mm_storeu_pd(lanes[1], s1);
    _mm_storeu_pd(lanes[2], s2);
    _mm_storeu_pd(lanes[3], s3);
    _mm_storeu_pd(lanes[4], w);
    _mm_storeu_pd(lanes[5], dc);
    for (int l = 0; l < 2; ++l) {
        Ladder_t& st = *out[l];
        st.s[0] = st.prev[0] = lanes[0][l];
        st.s[1] = st.prev[1] = lanes[1][l];
        st.s[2] = st.prev[2] = lanes[2][l];
        st.s[3] = lanes[3][l];
        st.xPrev = heldInput(lanes[4][l], lanes[5][l]);
        st.dc = lanes[5][l];
    }
}

template <int Filters, int Channels, bool FourPoles>
void FilterMoogSI_c::runLadderChoice(FilterMoogSI_c* const* filters, const Open_t* open, int n)
{
    if (!HasFusedMultiplyAdd || !fusedAllowed.load(std::memory_order_relaxed))
        runLadders<Filters, Channels, FourPoles, false>(filters, open, n);
    else if constexpr (Filters * Channels == 2)
        runLadderLanes<Filters, FourPoles>(filters, open, n);
    else
        runLaddersFused<Filters, Channels, FourPoles>(filters, open, n);
}

template <int Filters>
void FilterMoogSI_c::runLadderForm(FilterMoogSI_c* const* filters, const Open_t* open)
{
    const int n = open[0].n;
    const bool four = filters[0]->responseType == rLP24;
    if (open[0].channels == 1)
        four ? runLadderChoice<Filters, 1, true>(filters, open, n) : runLadderChoice<Filters, 1, false>(filters, open, n);
    else
        four ? runLadderChoice<Filters, 2, true>(filters, open, n) : runLadderChoice<Filters, 2, false>(filters, open, n);
}

void FilterMoogSI_c::allowFusedMultiplyAdd(bool allow)
{
    fusedAllowed.store(allow);
}

void FilterMoogSI_c::renderOpen(const Open_t& o)
{
    if (o.channels <= 0)
        return;
    const int n = o.n;
    float* const* in = o.in;
    float* outL = o.outL;
    float* outR = o.outR;
    auto none = [] {};
    switch (responseType) {
    case rLP12:
    case rLP24: {
        FilterMoogSI_c* self = this;
        runLadderForm<1>(&self, &o);
        break;
    }
    case rBP24: {
        auto ctl = [this](int k) { bandControl(k); };
        auto s = [this](int c, float x) { return bandSample(band[c], x); };
        if (o.channels == 1)
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
        if (o.channels == 1)
            runForm<1>(n, in, outL, outR, ctl, s, adv);
        else
            runForm<2>(n, in, outL, outR, ctl, s, adv);
        break;
    }
    }
    checkState();
}

void FilterMoogSI_c::render(int n)
{
    RenderingScope scope(*this);
    Open_t o;
    if (!openBuses(n, o))
        return;
    renderOpen(o);
    outputBusA->doneWriteStereo();
}

void FilterMoogSI_c::renderPair(FilterMoogSI_c& a, FilterMoogSI_c& b, int n)
{
    renderPair(a, b, n, nullptr);
}

namespace {

// RenderingScope that a render can hand on: when kept, the flag stays raised
// for whoever took it over (the lanes, until their clear).
class HandedScope
{
public:
    explicit HandedScope(Part_c& part) : part(part), previous(part.rendering.exchange(true)) {}
    ~HandedScope()
    {
        if (!kept)
            part.rendering.store(previous, std::memory_order_release);
    }
    HandedScope(const HandedScope&) = delete;
    HandedScope& operator=(const HandedScope&) = delete;
    bool handOn()
    {
        kept = true;
        return previous;
    }

private:
    Part_c& part;
    bool previous;
    bool kept = false;
};

} // namespace

bool FilterMoogSI_c::renderPair(FilterMoogSI_c& a, FilterMoogSI_c& b, int n, LadderLanes_c* lanes)
{
    HandedScope scopeA(a);
    HandedScope scopeB(b);
    const auto ladderType = [](int t) { return t == rLP12 || t == rLP24; };
    const auto laddersAlike = [&](const Open_t* o) {
        return o[0].channels > 0 && o[0].channels == o[1].channels && o[0].n == o[1].n &&
               a.responseType == b.responseType && ladderType(a.responseType);
    };
    Open_t open[2];
    if (lanes && a.openInput(n, open[0]) && b.openInput(n, open[1]) && laddersAlike(open) &&
        lanes->hasRoom(a, b, open[0].n)) {
        // The output buses stay untouched until mixOut writes them; the
        // flags stay up until the lanes are done with the filters.
        const bool wasA = scopeA.handOn();
        const bool wasB = scopeB.handOn();
        lanes->hold(a, open[0], wasA, b, open[1], wasB);
        return true;
    }
    open[0] = open[1] = Open_t{};
    const bool openA = a.openBuses(n, open[0]);
    const bool openB = b.openBuses(n, open[1]);
    if (openA && openB && laddersAlike(open)) {
        FilterMoogSI_c* both[2] = {&a, &b};
        runLadderForm<2>(both, open);
        a.checkLadderState(open[0].channels);
        b.checkLadderState(open[1].channels);
    } else {
        if (openA)
            a.renderOpen(open[0]);
        if (openB)
            b.renderOpen(open[1]);
    }
    if (openA)
        a.outputBusA->doneWriteStereo();
    if (openB)
        b.outputBusA->doneWriteStereo();
    return false;
}

namespace {

// Settles every value of v and reports whether all were finite (every value
// is settled, whatever the earlier ones were).
template <typename T, size_t N>
bool settleAll(T (&v)[N])
{
    bool ok = true;
    for (T& x : v)
        ok = FilterMath::settle(x) && ok;
    return ok;
}

} // namespace

namespace {

// FilterMath::settle of two doubles at once: each below FlushBelow in
// magnitude becomes 0; false when either is not finite (x * 0 is 0 only for
// a finite x).
bool settlePair(double& a, double& b)
{
    const __m128d zero = _mm_setzero_pd();
    const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffLL));
    const __m128d x = _mm_set_pd(b, a);
    const __m128d small = _mm_cmplt_pd(_mm_and_pd(x, magnitude), _mm_set1_pd(FilterMath::FlushBelow));
    const __m128d settled = _mm_andnot_pd(small, x);
    _mm_storel_pd(&a, settled);
    _mm_storeh_pd(&b, settled);
    return _mm_movemask_pd(_mm_cmpeq_pd(_mm_mul_pd(x, zero), zero)) == 3;
}

} // namespace

bool FilterMoogSI_c::settleLadders(int channels)
{
    // Every value is settled, whatever the others are: when one is not
    // finite the caller starts everything here afresh (initBuffer), so the
    // order in which they are looked at does not matter. The ladders run
    // this after every block.
    using FilterMath::settle;
    bool ok = settleLadderControl();
    for (int c = 0; c < channels && c < 2; ++c) {
        Ladder_t& l = ladder[c];
        ok = settlePair(l.s[0], l.s[1]) && ok;
        ok = settlePair(l.s[2], l.s[3]) && ok;
        ok = settlePair(l.prev[0], l.prev[1]) && ok;
        ok = settlePair(l.prev[2], l.xPrev) && ok;
        ok = settle(l.dc) && ok;
    }
    return ok;
}

bool FilterMoogSI_c::settleLadderControl()
{
    using FilterMath::settle;
    bool ok = std::isfinite(k1) && std::isfinite(feedback);
    ok = settle(level) && ok;
    ok = settle(levelStep) && ok;
    ok = settle(balance) && ok;
    return ok;
}

void FilterMoogSI_c::checkState()
{
    using FilterMath::settle;
    bool ok = settleLadders(2);
    for (int c = 0; c < 2; ++c) {
        ok = settleAll(band[c].low) && ok;
        ok = settleAll(band[c].high) && ok;
        ok = settle(band[c].last) && ok;
        ok = settle(high[c].hp1) && ok;
        ok = settle(high[c].hp2) && ok;
    }
    if (!ok)
        initBuffer();
}

void FilterMoogSI_c::checkLadderState(int channels)
{
    // The band and high-pass states were checked by the render that last
    // changed them.
    if (!settleLadders(channels))
        initBuffer();
}
