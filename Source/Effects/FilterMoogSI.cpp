#include "FilterMoogSI.h"

#include "FilterMath.h"
#include "InBuffer2.h"
#include "ParaRow.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include <immintrin.h>

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
// The ladder's DC tracker moves 0.0003 of the way to the stage input each
// sample: dc' = dc (1 - 0.0003) + 0.0003 (in / 8 - feedback x s3).
constexpr double DcRate = 0.0003;
constexpr double DcKeep = 1.0 - DcRate;
constexpr double DcIn = DcRate * 0.125;

// Whether the processor has fused multiply-add: the ladder's chain of
// dependent stages then takes one operation per stage instead of two.
// (Asked while the library loads, so the feature table is filled first.)
bool detectFusedMultiplyAdd()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("fma");
}
const bool HasFusedMultiplyAdd = detectFusedMultiplyAdd();

// Tests turn the fused loops off to check the plain ones on any processor.
std::atomic<bool> FusedAllowed{true};

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

// The loops keep the previous stage input less the DC tracker (w = xPrev -
// dc) rather than the input itself: the next sample's stage sum is then the
// new input plus w, one operation, and w follows s3 by one multiply-add
// like every other state. These two convert at a block's ends, the same in
// every form of the loop.
inline double heldLessDc(double xPrev, double dc)
{
    return xPrev - dc;
}
inline double heldInput(double w, double dc)
{
    return w + dc;
}

// w' = x' - dc' = (in / 8 - dc) - (DcKeep dc + DcIn in) - (fb - fbDc) s3,
// its part without s3 gathered as in x DcWIn - DcBoth x dc.
constexpr double DcWIn = 0.125 - DcIn;
constexpr double DcBoth = 1.0 + DcKeep;

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

bool FilterMoogSI_c::openBuses(int n, Open_t& o)
{
    if (!active || !paraSet || !outputBusA)
        return false;
    if (!outputBusA->wantWriteStereo(&o.outL, &o.outR))
        return false;
    return openInput(n, o);
}

bool FilterMoogSI_c::openInput(int n, Open_t& o)
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
    o.n = o.channels > 0 ? framesFor(n, inputBus, outputBusA) : 0;
    return true;
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
    if (!HasFusedMultiplyAdd || !FusedAllowed.load(std::memory_order_relaxed))
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
    FusedAllowed.store(allow);
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

int FilterMoogSI_c::lanesWanted() const
{
    return inputBus && inputBus->isStereo() ? 2 : 1;
}

bool FilterMoogSI_c::renderPair(FilterMoogSI_c& a, FilterMoogSI_c& b, int n, LadderLanes_c* lanes)
{
    RenderingScope scopeA(a);
    RenderingScope scopeB(b);
    const auto ladderType = [](int t) { return t == rLP12 || t == rLP24; };
    const auto laddersAlike = [&](const Open_t* o) {
        return o[0].channels > 0 && o[0].channels == o[1].channels && o[0].n == o[1].n &&
               a.responseType == b.responseType && ladderType(a.responseType);
    };
    Open_t open[2];
    if (lanes && a.openInput(n, open[0]) && b.openInput(n, open[1]) && laddersAlike(open) &&
        lanes->hasRoom(a, b, open[0].n)) {
        // The output buses stay untouched until mixOut writes them.
        lanes->hold(a, open[0], b, open[1]);
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

bool FilterMoogSI_c::settleLadders(int channels)
{
    using FilterMath::settle;
    bool ok = settle(level) && settle(levelStep) && settle(balance) && std::isfinite(k1) && std::isfinite(feedback);
    for (int c = 0; c < channels; ++c) {
        Ladder_t& l = ladder[c];
        ok = settleAll(l.s) && ok;
        ok = settleAll(l.prev) && ok;
        ok = settle(l.xPrev) && ok;
        ok = settle(l.dc) && ok;
    }
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

// --- Several voices' ladders in one loop ------------------------------------

namespace {

// Sixteen double lanes, eight voices of two mono paths: eight lanes in one
// AVX-512 vector or two AVX2 vectors side by side (fused multiply-add, which
// the lanes' arithmetic is made of, comes with either).
int detectLaneWidth()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") ? LadderLanes_c::MaxLanes : 0;
}
const int WideLanes = detectLaneWidth();
bool detectAvx512()
{
    __builtin_cpu_init();
    return WideLanes > 0 && __builtin_cpu_supports("avx512f");
}
const bool HasAvx512 = detectAvx512();
std::atomic<bool> OneVectorAllowed{true};

} // namespace

void LadderLanes_c::allowOneVector(bool allow)
{
    OneVectorAllowed.store(allow);
}

int LadderLanes_c::width()
{
    return FusedAllowed.load(std::memory_order_relaxed) ? WideLanes : 0;
}

bool LadderLanes_c::hasRoom(const FilterMoogSI_c& a, const FilterMoogSI_c& b, int n) const
{
    if (filterCount > 0 && (n != frames || a.responseType != responseType || b.responseType != responseType))
        return false;
    return n > 0 && n <= MaxBlockSize && laneCount + a.lanesWanted() + b.lanesWanted() <= width();
}

void LadderLanes_c::hold(FilterMoogSI_c& a, const FilterMoogSI_c::Open_t& openA, FilterMoogSI_c& b,
                         const FilterMoogSI_c::Open_t& openB)
{
    if (filterCount == 0) {
        frames = openA.n;
        responseType = a.responseType;
    }
    holdOne(a, openA);
    holdOne(b, openB);
}

void LadderLanes_c::holdOne(FilterMoogSI_c& f, const FilterMoogSI_c::Open_t& o)
{
    // The control buffers and the input bus are shared by every voice: the
    // values this block needs are copied before the next voice overwrites
    // them.
    const int k = filterCount++;
    Held_t& h = held[k];
    h.filter = &f;
    h.lane = laneCount;
    h.channels = o.channels;
    h.live = true;
    const int steps = (o.n + ControlStepFrames - 1) / ControlStepFrames;
    for (int c = 0; c < o.channels; ++c) {
        const int lane = laneCount + c;
        laneHeld[lane] = k;
        for (int step = 0; step < steps; ++step) {
            control[step][0][lane] = f.cutoffIn[step];
            control[step][1][lane] = f.resonanceIn[step];
            control[step][2][lane] = f.levelIn[step];
            control[step][3][lane] = f.balanceIn[step];
        }
        std::memcpy(input[lane], o.in[c], sizeof(float) * static_cast<size_t>(o.n));
    }
    laneCount += o.channels;
}

void LadderLanes_c::clear()
{
    filterCount = 0;
    laneCount = 0;
}

void LadderLanes_c::run()
{
    if (filterCount == 0)
        return;
    // Each filter's render flag is up while its state changes; one switched
    // off since it was held is left alone (and mixes nothing).
    bool wasRendering[MaxLanes] = {};
    liveLanes = 0;
    for (int k = 0; k < filterCount; ++k) {
        FilterMoogSI_c& f = *held[k].filter;
        wasRendering[k] = f.rendering.exchange(true);
        held[k].live = f.active.load();
        if (held[k].live)
            liveLanes |= ((1u << held[k].channels) - 1u) << held[k].lane;
    }
    // The lanes run eight at a time; lanes nobody fills run on silence.
    const int halves = laneCount > HalfLanes ? 2 : 1;
    for (int l = laneCount; l < halves * HalfLanes; ++l)
        std::memset(input[l], 0, sizeof(float) * static_cast<size_t>(frames));
    const bool four = responseType == FilterMoogSI_c::rLP24;
    if (HasAvx512 && OneVectorAllowed.load(std::memory_order_relaxed)) {
        if (halves == 2)
            four ? runWide512<true, 2>() : runWide512<false, 2>();
        else
            four ? runWide512<true, 1>() : runWide512<false, 1>();
    } else if (WideLanes > 0) {
        if (halves == 2)
            four ? runWide<true, 2>() : runWide<false, 2>();
        else
            four ? runWide<true, 1>() : runWide<false, 1>();
    }
    for (int k = 0; k < filterCount; ++k) {
        if (held[k].live)
            held[k].filter->checkLadderState(held[k].channels);
        held[k].filter->rendering.store(wasRendering[k]);
    }
}

void LadderLanes_c::loadState(double (*state)[MaxLanes]) const
{
    for (int k = 0; k < filterCount; ++k) {
        const Held_t& h = held[k];
        if (!h.live)
            continue;
        for (int c = 0; c < h.channels; ++c) {
            const FilterMoogSI_c::Ladder_t& l = h.filter->ladder[c];
            const int lane = h.lane + c;
            for (int j = 0; j < 4; ++j)
                state[j][lane] = l.s[j];
            state[4][lane] = heldLessDc(l.xPrev, l.dc);
            state[5][lane] = l.dc;
        }
    }
}

void LadderLanes_c::storeState(const double (*state)[MaxLanes])
{
    for (int k = 0; k < filterCount; ++k) {
        const Held_t& h = held[k];
        if (!h.live)
            continue;
        for (int c = 0; c < h.channels; ++c) {
            FilterMoogSI_c::Ladder_t& l = h.filter->ladder[c];
            const int lane = h.lane + c;
            for (int j = 0; j < 3; ++j)
                l.s[j] = l.prev[j] = state[j][lane];
            l.s[3] = state[3][lane];
            l.xPrev = heldInput(state[4][lane], state[5][lane]);
            l.dc = state[5][lane];
        }
    }
}

void LadderLanes_c::loadControl(LaneControl_t& lc) const
{
    lc = {};
    for (int k = 0; k < filterCount; ++k) {
        const Held_t& h = held[k];
        if (!h.live)
            continue;
        const FilterMoogSI_c& f = *h.filter;
        const FilterMoogSI_c::LadderMemo_t& memo = f.ladderMemo;
        for (int l = h.lane; l < h.lane + h.channels; ++l) {
            // A memo of another rate matches no cutoff (as ladderStep finds).
            lc.memoCutoff[l] = memo.rateScale == f.rateScale ? memo.cutoff : std::numeric_limits<float>::quiet_NaN();
            lc.k1[l] = memo.k1;
            lc.k2[l] = memo.k2;
            lc.feedbackScale[l] = memo.feedbackScale;
            // The rest a step computes afresh; these two it follows.
            lc.level[l] = f.level;
            lc.balance[l] = f.balance;
        }
    }
}

void LadderLanes_c::storeControl(const LaneControl_t& lc) const
{
    for (int k = 0; k < filterCount; ++k) {
        const Held_t& h = held[k];
        if (!h.live)
            continue;
        FilterMoogSI_c& f = *h.filter;
        const int l = h.lane;
        f.f = f.ladderMemo.f;
        f.k1 = lc.k1[l];
        f.k2 = lc.k2[l];
        f.feedback = lc.feedback[l];
        f.r = lc.r[l];
        f.level = lc.level[l];
        f.levelTarget = lc.levelTarget[l];
        f.levelStep = lc.levelStep[l];
        f.balance = lc.balance[l];
    }
}

namespace {

// finiteOr0, eight at a time.
[[gnu::always_inline, gnu::target("avx2")]] inline __m256 finiteOr0x8(__m256 v)
{
    const __m256 magnitude = _mm256_and_ps(v, _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff)));
    return _mm256_and_ps(v, _mm256_cmp_ps(magnitude, _mm256_set1_ps(std::numeric_limits<float>::max()), _CMP_LE_OQ));
}

} // namespace

void LadderLanes_c::stepControl(int step, LaneControl_t& lc)
{
    // FilterMoogSI_c::ladderStep, eight lanes per vector, operation for
    // operation (nothing here is fused, so the numbers are the same).
    const float(*in)[MaxLanes] = control[step];
    unsigned stale = 0;
    for (int l = 0; l < MaxLanes; l += 8) {
        const __m256 fits = _mm256_cmp_ps(_mm256_load_ps(&in[0][l]), _mm256_load_ps(&lc.memoCutoff[l]), _CMP_EQ_OQ);
        stale |= (~static_cast<unsigned>(_mm256_movemask_ps(fits)) & 0xFFu) << l;
    }
    stale &= liveLanes;
    while (stale != 0) {
        const int lane = __builtin_ctz(stale);
        const Held_t& h = held[laneHeld[lane]];
        FilterMoogSI_c& f = *h.filter;
        f.refreshLadderMemo(in[0][lane]);
        const FilterMoogSI_c::LadderMemo_t& memo = f.ladderMemo;
        for (int l = h.lane; l < h.lane + h.channels; ++l) {
            lc.memoCutoff[l] = memo.cutoff;
            lc.k1[l] = memo.k1;
            lc.k2[l] = memo.k2;
            lc.feedbackScale[l] = memo.feedbackScale;
            stale &= ~(1u << l);
        }
    }
    for (int l = 0; l < MaxLanes; l += 8) {
        // clampIn(resonance, 1e-6, 0.96): below the floor or NaN, the floor.
        const __m256 lo = _mm256_set1_ps(1e-6f);
        const __m256 res = _mm256_load_ps(&in[1][l]);
        const __m256 r = _mm256_min_ps(_mm256_blendv_ps(lo, res, _mm256_cmp_ps(res, lo, _CMP_GE_OQ)),
                                       _mm256_set1_ps(0.96f));
        _mm256_store_ps(&lc.r[l], r);
        const __m256 target = finiteOr0x8(_mm256_mul_ps(_mm256_load_ps(&in[2][l]), _mm256_set1_ps(8.0f)));
        _mm256_store_ps(&lc.levelTarget[l], target);
        _mm256_store_ps(&lc.levelStep[l], _mm256_mul_ps(_mm256_sub_ps(target, _mm256_load_ps(&lc.level[l])),
                                                        _mm256_set1_ps(ControlTake)));
        const __m256 bal = _mm256_add_ps(
            _mm256_mul_ps(_mm256_set1_ps(0.75f), _mm256_load_ps(&lc.balance[l])),
            _mm256_mul_ps(_mm256_set1_ps(0.25f), _mm256_add_ps(finiteOr0x8(_mm256_load_ps(&in[3][l])),
                                                               _mm256_set1_ps(1.0f))));
        _mm256_store_ps(&lc.balance[l],
                        _mm256_min_ps(_mm256_max_ps(bal, _mm256_set1_ps(1e-5f)), _mm256_set1_ps(1.99999f)));
        _mm256_store_pd(&lc.feedback[l], _mm256_mul_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(r)),
                                                       _mm256_load_pd(&lc.feedbackScale[l])));
        _mm256_store_pd(&lc.feedback[l + 4], _mm256_mul_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(r, 1)),
                                                           _mm256_load_pd(&lc.feedbackScale[l + 4])));
    }
}

namespace {

// Rows become columns: r[j] element i goes to r[i] element j.
[[gnu::always_inline, gnu::target("avx2")]] inline void transpose8(__m256* r)
{
    const __m256 t0 = _mm256_unpacklo_ps(r[0], r[1]);
    const __m256 t1 = _mm256_unpackhi_ps(r[0], r[1]);
    const __m256 t2 = _mm256_unpacklo_ps(r[2], r[3]);
    const __m256 t3 = _mm256_unpackhi_ps(r[2], r[3]);
    const __m256 t4 = _mm256_unpacklo_ps(r[4], r[5]);
    const __m256 t5 = _mm256_unpackhi_ps(r[4], r[5]);
    const __m256 t6 = _mm256_unpacklo_ps(r[6], r[7]);
    const __m256 t7 = _mm256_unpackhi_ps(r[6], r[7]);
    const __m256 u0 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));
    const __m256 u1 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
    const __m256 u2 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
    const __m256 u3 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
    const __m256 u4 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(1, 0, 1, 0));
    const __m256 u5 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(3, 2, 3, 2));
    const __m256 u6 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(1, 0, 1, 0));
    const __m256 u7 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(3, 2, 3, 2));
    r[0] = _mm256_permute2f128_ps(u0, u4, 0x20);
    r[1] = _mm256_permute2f128_ps(u1, u5, 0x20);
    r[2] = _mm256_permute2f128_ps(u2, u6, 0x20);
    r[3] = _mm256_permute2f128_ps(u3, u7, 0x20);
    r[4] = _mm256_permute2f128_ps(u0, u4, 0x31);
    r[5] = _mm256_permute2f128_ps(u1, u5, 0x31);
    r[6] = _mm256_permute2f128_ps(u2, u6, 0x31);
    r[7] = _mm256_permute2f128_ps(u3, u7, 0x31);
}

// A control step's eight frame vectors into eight lanes' rows at `start`.
[[gnu::always_inline, gnu::target("avx2")]] inline void storeFrames(__m256* frames, float (*rows)[MaxBlockSize],
                                                                    int start)
{
    transpose8(frames);
    for (int l = 0; l < LadderLanes_c::HalfLanes; ++l)
        _mm256_store_ps(&rows[l][start], frames[l]);
}

} // namespace

namespace {

// One AVX2 half of the lanes: a ladder state and a control step's
// coefficients, four lanes each.
struct Chain4
{
    __m256d s0, s1, s2, s3, w, dc;
};
struct Coefs4
{
    __m256d k1, k2, k2p2, k2p3, k2p4, a1, a2, a3, fbk2, fbDc, fbw, c2, c3, q;
};

[[gnu::always_inline, gnu::target("avx2,fma")]] inline Coefs4 coefs4(const double* k1In, const double* k2In,
                                                                      const double* fbIn)
{
    // LadderCoefs, lane for lane.
    Coefs4 c;
    const __m256d one = _mm256_set1_pd(1.0);
    c.k1 = _mm256_load_pd(k1In);
    c.k2 = _mm256_load_pd(k2In);
    const __m256d fb = _mm256_load_pd(fbIn);
    c.fbk2 = _mm256_mul_pd(fb, c.k2);
    c.fbDc = _mm256_mul_pd(_mm256_set1_pd(DcRate), fb);
    c.fbw = _mm256_mul_pd(_mm256_set1_pd(DcKeep), fb);
    c.k2p2 = _mm256_mul_pd(c.k2, c.k2);
    c.k2p3 = _mm256_mul_pd(c.k2p2, c.k2);
    c.k2p4 = _mm256_mul_pd(c.k2p3, c.k2);
    const __m256d pass = _mm256_sub_pd(one, c.k1);
    c.a3 = _mm256_mul_pd(c.k2, pass);
    c.a2 = _mm256_mul_pd(c.k2p2, pass);
    c.a1 = _mm256_mul_pd(c.k2p3, pass);
    c.c2 = _mm256_mul_pd(c.fbk2, c.k2);
    c.c3 = _mm256_mul_pd(c.fbk2, c.k2p2);
    c.q = _mm256_add_pd(_mm256_mul_pd(c.fbk2, c.k2p3), c.k1);
    return c;
}

// One frame of four lanes: runLadderLanes' arithmetic, operation for
// operation; the ladder output (s3 or y2) as floats.
template <bool FourPoles>
[[gnu::always_inline, gnu::target("avx2,fma")]] inline __m128 frame4(Chain4& st, const Coefs4& k, __m256d in)
{
    const __m256d eighth = _mm256_set1_pd(0.125);
    const __m256d dcKeep = _mm256_set1_pd(DcKeep);
    const __m256d dcIn = _mm256_set1_pd(DcIn);
    const __m256d dcBoth = _mm256_set1_pd(DcBoth);
    const __m256d dcWIn = _mm256_set1_pd(DcWIn);
    const __m256d cubic = _mm256_set1_pd(0.166666);
    const __m256d turn = _mm256_set1_pd(ClipTurn);
    const __m256d negTurn = _mm256_set1_pd(-ClipTurn);
    const __m256d absMask = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL));
    const __m256d u = _mm256_fmadd_pd(in, eighth, st.w);
    const __m256d dcHeld = _mm256_fmadd_pd(dcKeep, st.dc, _mm256_mul_pd(in, dcIn));
    const __m256d wHeld = _mm256_fnmadd_pd(dcBoth, st.dc, _mm256_mul_pd(in, dcWIn));
    const __m256d r1 = _mm256_fmsub_pd(k.k2, u, _mm256_mul_pd(k.k1, st.s0));
    const __m256d r2 = _mm256_fmadd_pd(k.k2p2, u, _mm256_fmsub_pd(k.a3, st.s0, _mm256_mul_pd(k.k1, st.s1)));
    const __m256d r3 = _mm256_add_pd(_mm256_fmadd_pd(k.a2, st.s0, _mm256_mul_pd(k.a3, st.s1)),
                                     _mm256_fmsub_pd(k.k2p3, u, _mm256_mul_pd(k.k1, st.s2)));
    const __m256d r4 = _mm256_add_pd(_mm256_fmadd_pd(k.k2p4, u, _mm256_mul_pd(k.a1, st.s0)),
                                     _mm256_fmadd_pd(k.a2, st.s1, _mm256_mul_pd(k.a3, st.s2)));
    const __m256d y1 = _mm256_fnmadd_pd(k.fbk2, st.s3, r1);
    const __m256d y2 = _mm256_fnmadd_pd(k.c2, st.s3, r2);
    const __m256d y3 = _mm256_fnmadd_pd(k.c3, st.s3, r3);
    __m256d c = _mm256_fnmadd_pd(k.q, st.s3, r4);
    if (_mm256_movemask_pd(_mm256_cmp_pd(_mm256_and_pd(c, absMask), turn, _CMP_GT_OS)) != 0) [[unlikely]]
        c = _mm256_min_pd(turn, _mm256_max_pd(negTurn, c));
    st.dc = _mm256_fnmadd_pd(k.fbDc, st.s3, dcHeld);
    st.w = _mm256_fnmadd_pd(k.fbw, st.s3, wHeld);
    st.s0 = y1;
    st.s1 = y2;
    st.s2 = y3;
    st.s3 = _mm256_fnmadd_pd(_mm256_mul_pd(cubic, c), _mm256_mul_pd(c, c), c);
    return _mm256_cvtpd_ps(FourPoles ? st.s3 : y2);
}

// All eight lanes in one AVX-512 vector: the same arithmetic again.
struct Chain8
{
    __m512d s0, s1, s2, s3, w, dc;
};
struct Coefs8
{
    __m512d k1, k2, k2p2, k2p3, k2p4, a1, a2, a3, fbk2, fbDc, fbw, c2, c3, q;
};

[[gnu::always_inline, gnu::target("avx512f,avx2,fma")]] inline Coefs8 coefs8(const double* k1In, const double* k2In,
                                                                              const double* fbIn)
{
    Coefs8 c;
    const __m512d one = _mm512_set1_pd(1.0);
    c.k1 = _mm512_load_pd(k1In);
    c.k2 = _mm512_load_pd(k2In);
    const __m512d fb = _mm512_load_pd(fbIn);
    c.fbk2 = _mm512_mul_pd(fb, c.k2);
    c.fbDc = _mm512_mul_pd(_mm512_set1_pd(DcRate), fb);
    c.fbw = _mm512_mul_pd(_mm512_set1_pd(DcKeep), fb);
    c.k2p2 = _mm512_mul_pd(c.k2, c.k2);
    c.k2p3 = _mm512_mul_pd(c.k2p2, c.k2);
    c.k2p4 = _mm512_mul_pd(c.k2p3, c.k2);
    const __m512d pass = _mm512_sub_pd(one, c.k1);
    c.a3 = _mm512_mul_pd(c.k2, pass);
    c.a2 = _mm512_mul_pd(c.k2p2, pass);
    c.a1 = _mm512_mul_pd(c.k2p3, pass);
    c.c2 = _mm512_mul_pd(c.fbk2, c.k2);
    c.c3 = _mm512_mul_pd(c.fbk2, c.k2p2);
    c.q = _mm512_add_pd(_mm512_mul_pd(c.fbk2, c.k2p3), c.k1);
    return c;
}

template <bool FourPoles>
[[gnu::always_inline, gnu::target("avx512f,avx2,fma")]] inline __m256 frame8(Chain8& st, const Coefs8& k, __m512d in)
{
    const __m512d eighth = _mm512_set1_pd(0.125);
    const __m512d dcKeep = _mm512_set1_pd(DcKeep);
    const __m512d dcIn = _mm512_set1_pd(DcIn);
    const __m512d dcBoth = _mm512_set1_pd(DcBoth);
    const __m512d dcWIn = _mm512_set1_pd(DcWIn);
    const __m512d cubic = _mm512_set1_pd(0.166666);
    const __m512d turn = _mm512_set1_pd(ClipTurn);
    const __m512d negTurn = _mm512_set1_pd(-ClipTurn);
    const __m512d u = _mm512_fmadd_pd(in, eighth, st.w);
    const __m512d dcHeld = _mm512_fmadd_pd(dcKeep, st.dc, _mm512_mul_pd(in, dcIn));
    const __m512d wHeld = _mm512_fnmadd_pd(dcBoth, st.dc, _mm512_mul_pd(in, dcWIn));
    const __m512d r1 = _mm512_fmsub_pd(k.k2, u, _mm512_mul_pd(k.k1, st.s0));
    const __m512d r2 = _mm512_fmadd_pd(k.k2p2, u, _mm512_fmsub_pd(k.a3, st.s0, _mm512_mul_pd(k.k1, st.s1)));
    const __m512d r3 = _mm512_add_pd(_mm512_fmadd_pd(k.a2, st.s0, _mm512_mul_pd(k.a3, st.s1)),
                                     _mm512_fmsub_pd(k.k2p3, u, _mm512_mul_pd(k.k1, st.s2)));
    const __m512d r4 = _mm512_add_pd(_mm512_fmadd_pd(k.k2p4, u, _mm512_mul_pd(k.a1, st.s0)),
                                     _mm512_fmadd_pd(k.a2, st.s1, _mm512_mul_pd(k.a3, st.s2)));
    const __m512d y1 = _mm512_fnmadd_pd(k.fbk2, st.s3, r1);
    const __m512d y2 = _mm512_fnmadd_pd(k.c2, st.s3, r2);
    const __m512d y3 = _mm512_fnmadd_pd(k.c3, st.s3, r3);
    // The plain forms of min, max and the conversions leave gcc warning
    // about their undefined pass-through; all lanes written, the masked
    // forms are the same instructions.
    constexpr __mmask8 All = 0xFF;
    __m512d c = _mm512_fnmadd_pd(k.q, st.s3, r4);
    if ((_mm512_cmp_pd_mask(c, turn, _CMP_GT_OQ) | _mm512_cmp_pd_mask(c, negTurn, _CMP_LT_OQ)) != 0) [[unlikely]]
        c = _mm512_mask_min_pd(turn, All, turn, _mm512_mask_max_pd(negTurn, All, negTurn, c));
    st.dc = _mm512_fnmadd_pd(k.fbDc, st.s3, dcHeld);
    st.w = _mm512_fnmadd_pd(k.fbw, st.s3, wHeld);
    st.s0 = y1;
    st.s1 = y2;
    st.s2 = y3;
    st.s3 = _mm512_fnmadd_pd(_mm512_mul_pd(cubic, c), _mm512_mul_pd(c, c), c);
    return _mm512_mask_cvtpd_ps(_mm256_setzero_ps(), All, FourPoles ? st.s3 : y2);
}

} // namespace

template <bool FourPoles, int Halves>
void LadderLanes_c::runWide()
{
    // runLadderLanes' loop, lane for lane, eight lanes at a time in two
    // vectors of four whose chains run side by side. Lanes no live ladder
    // fills run on zeros and stay zero. The stashes hold a lane's frames side
    // by side; a control step's eight frames of eight lanes are turned into
    // eight vectors of one frame each, and back. (Sixteen of these registers
    // hold no more than two chains: the halves take turns.)
    static_assert(ControlStepFrames == 8 && HalfLanes == 8 && MaxBlockSize % ControlStepFrames == 0);
    alignas(64) double state[6][MaxLanes] = {};
    loadState(state);
    Chain4 chain[2 * Halves];
    for (int h = 0; h < 2 * Halves; ++h)
        chain[h] = {_mm256_load_pd(&state[0][4 * h]), _mm256_load_pd(&state[1][4 * h]),
                    _mm256_load_pd(&state[2][4 * h]), _mm256_load_pd(&state[3][4 * h]),
                    _mm256_load_pd(&state[4][4 * h]), _mm256_load_pd(&state[5][4 * h])};
    LaneControl_t lc;
    loadControl(lc);
    const int n = frames;
    for (int start = 0; start < n; start += ControlStepFrames) {
        stepControl(start / ControlStepFrames, lc);
        const int count = n - start < ControlStepFrames ? n - start : ControlStepFrames;
        for (int half = 0; half < Halves; ++half) {
            const int lane0 = half * HalfLanes;
            Chain4* ch = &chain[2 * half];
            const Coefs4 coefs[2] = {coefs4(&lc.k1[lane0], &lc.k2[lane0], &lc.feedback[lane0]),
                                     coefs4(&lc.k1[lane0 + 4], &lc.k2[lane0 + 4], &lc.feedback[lane0 + 4])};
            __m256 level = _mm256_load_ps(&lc.level[lane0]);
            const __m256 levelStep = _mm256_load_ps(&lc.levelStep[lane0]);
            const __m256 right = _mm256_load_ps(&lc.balance[lane0]);
            const __m256 left = _mm256_sub_ps(_mm256_set1_ps(2.0f), right);
            __m256 frame[ControlStepFrames];
            for (int l = 0; l < HalfLanes; ++l)
                frame[l] = _mm256_load_ps(&input[lane0 + l][start]);
            transpose8(frame);
            __m256 outL[ControlStepFrames];
            __m256 outR[ControlStepFrames];
            for (int j = 0; j < ControlStepFrames; ++j) {
                if (j == count) {
                    for (; j < ControlStepFrames; ++j)
                        outL[j] = outR[j] = _mm256_setzero_ps();
                    break;
                }
                const __m128 lo = frame4<FourPoles>(ch[0], coefs[0], _mm256_cvtps_pd(_mm256_castps256_ps128(frame[j])));
                const __m128 hi = frame4<FourPoles>(ch[1], coefs[1], _mm256_cvtps_pd(_mm256_extractf128_ps(frame[j], 1)));
                const __m256 y = _mm256_set_m128(hi, lo);
                level = _mm256_add_ps(level, levelStep);
                outL[j] = _mm256_mul_ps(_mm256_mul_ps(left, level), y);
                outR[j] = _mm256_mul_ps(_mm256_mul_ps(right, level), y);
            }
            storeFrames(outL, productL + lane0, start);
            storeFrames(outR, productR + lane0, start);
            _mm256_store_ps(&lc.level[lane0], level);
        }
    }
    for (int h = 0; h < 2 * Halves; ++h) {
        _mm256_store_pd(&state[0][4 * h], chain[h].s0);
        _mm256_store_pd(&state[1][4 * h], chain[h].s1);
        _mm256_store_pd(&state[2][4 * h], chain[h].s2);
        _mm256_store_pd(&state[3][4 * h], chain[h].s3);
        _mm256_store_pd(&state[4][4 * h], chain[h].w);
        _mm256_store_pd(&state[5][4 * h], chain[h].dc);
    }
    storeState(state);
    storeControl(lc);
}

template <bool FourPoles, int Halves>
void LadderLanes_c::runWide512()
{
    // runWide with eight lanes in one vector, and both halves' chains in the
    // same frame loop: the step from one s3 to the next is a chain of
    // dependent operations that leaves the units idle while one vector
    // waits on it; a second independent vector fills the wait.
    alignas(64) double state[6][MaxLanes] = {};
    loadState(state);
    Chain8 chain[Halves];
    for (int h = 0; h < Halves; ++h)
        chain[h] = {_mm512_load_pd(&state[0][8 * h]), _mm512_load_pd(&state[1][8 * h]),
                    _mm512_load_pd(&state[2][8 * h]), _mm512_load_pd(&state[3][8 * h]),
                    _mm512_load_pd(&state[4][8 * h]), _mm512_load_pd(&state[5][8 * h])};
    LaneControl_t lc;
    loadControl(lc);
    const int n = frames;
    for (int start = 0; start < n; start += ControlStepFrames) {
        stepControl(start / ControlStepFrames, lc);
        Coefs8 coefs[Halves];
        __m256 level[Halves];
        __m256 levelStep[Halves];
        __m256 left[Halves];
        __m256 right[Halves];
        __m256 frame[Halves][ControlStepFrames];
        for (int h = 0; h < Halves; ++h) {
            const int lane0 = h * HalfLanes;
            coefs[h] = coefs8(&lc.k1[lane0], &lc.k2[lane0], &lc.feedback[lane0]);
            level[h] = _mm256_load_ps(&lc.level[lane0]);
            levelStep[h] = _mm256_load_ps(&lc.levelStep[lane0]);
            right[h] = _mm256_load_ps(&lc.balance[lane0]);
            left[h] = _mm256_sub_ps(_mm256_set1_ps(2.0f), right[h]);
            for (int l = 0; l < HalfLanes; ++l)
                frame[h][l] = _mm256_load_ps(&input[lane0 + l][start]);
            transpose8(frame[h]);
        }
        __m256 outL[Halves][ControlStepFrames];
        __m256 outR[Halves][ControlStepFrames];
        const int count = n - start < ControlStepFrames ? n - start : ControlStepFrames;
        for (int j = 0; j < ControlStepFrames; ++j) {
            if (j == count) {
                for (; j < ControlStepFrames; ++j)
                    for (int h = 0; h < Halves; ++h)
                        outL[h][j] = outR[h][j] = _mm256_setzero_ps();
                break;
            }
#pragma GCC unroll 2
            for (int h = 0; h < Halves; ++h) {
                const __m256 y =
                    frame8<FourPoles>(chain[h], coefs[h], _mm512_mask_cvtps_pd(_mm512_setzero_pd(), 0xFF, frame[h][j]));
                level[h] = _mm256_add_ps(level[h], levelStep[h]);
                outL[h][j] = _mm256_mul_ps(_mm256_mul_ps(left[h], level[h]), y);
                outR[h][j] = _mm256_mul_ps(_mm256_mul_ps(right[h], level[h]), y);
            }
        }
        for (int h = 0; h < Halves; ++h) {
            storeFrames(outL[h], productL + h * HalfLanes, start);
            storeFrames(outR[h], productR + h * HalfLanes, start);
            _mm256_store_ps(&lc.level[h * HalfLanes], level[h]);
        }
    }
    for (int h = 0; h < Halves; ++h) {
        _mm512_store_pd(&state[0][8 * h], chain[h].s0);
        _mm512_store_pd(&state[1][8 * h], chain[h].s1);
        _mm512_store_pd(&state[2][8 * h], chain[h].s2);
        _mm512_store_pd(&state[3][8 * h], chain[h].s3);
        _mm512_store_pd(&state[4][8 * h], chain[h].w);
        _mm512_store_pd(&state[5][8 * h], chain[h].dc);
    }
    storeState(state);
    storeControl(lc);
}

void LadderLanes_c::mixOut(int k)
{
    if (k < 0 || k >= filterCount || !held[k].live)
        return;
    FilterMoogSI_c& f = *held[k].filter;
    RenderingScope scope(f);
    float* outL = nullptr;
    float* outR = nullptr;
    if (!f.outputBusA || !f.outputBusA->wantWriteStereo(&outL, &outR))
        return;
    // A mono input's lane feeds both sides; a stereo input's two lanes one
    // side each (the other products go unused).
    const Held_t& h = held[k];
    addInto(outL, productL[h.lane]);
    addInto(outR, productR[h.lane + h.channels - 1]);
    f.outputBusA->doneWriteStereo();
}

void LadderLanes_c::addInto(float* out, const float* products) const
{
    int i = 0;
    for (; i + 8 <= frames; i += 8)
        _mm256_storeu_ps(out + i, _mm256_add_ps(_mm256_loadu_ps(out + i), _mm256_load_ps(products + i)));
    for (; i < frames; ++i)
        out[i] += products[i];
}
