#include "LadderLanes.h"

#include "FilterMath.h"
#include "InBuffer2.h"
#include "LadderMath.h"

#include <atomic>
#include <cstring>
#include <limits>

#include <immintrin.h>

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

// Sixteen double lanes, eight voices of two mono paths: eight lanes in one
// AVX-512 vector or two AVX2 vectors side by side (fused multiply-add, which
// the lanes' arithmetic is made of, comes with either).
int detectLaneWidth()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") ? LadderLanes_c::MaxLanes : 0;
}

} // namespace

const int LadderLanes_c::wideLanes = detectLaneWidth();

namespace {

bool detectAvx512()
{
    __builtin_cpu_init();
    return LadderLanes_c::wideLanes > 0 && __builtin_cpu_supports("avx512f");
}
const bool HasAvx512 = detectAvx512();
std::atomic<bool> OneVectorAllowed{true};

} // namespace

void LadderLanes_c::allowOneVector(bool allow)
{
    OneVectorAllowed.store(allow);
}

namespace {

// n floats from `from` into the aligned `to`: a memcpy call costs as much as
// the copy itself at small blocks.
[[gnu::always_inline, gnu::target("avx2")]] inline void copyFrames(float* to, const float* from, int n)
{
    int i = 0;
#pragma GCC unroll 4
    for (; i + 8 <= n; i += 8)
        _mm256_store_ps(to + i, _mm256_loadu_ps(from + i));
    for (; i < n; ++i)
        to[i] = from[i];
}

} // namespace

void LadderLanes_c::holdOne(FilterMoogSI_c& f, const FilterMoogSI_c::Open_t& o, bool wasRendering, int steps)
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
    h.wasRendering = wasRendering;
    const int lane0 = laneCount;
    const bool stereo = o.channels > 1;
    // A stereo input's second lane carries the same control values.
    const int slot0 = controlSlot(lane0);
    const int slot1 = controlSlot(stereo ? lane0 + 1 : lane0);
    const float* cutoffIn = f.cutoffIn;
    const float* resonanceIn = f.resonanceIn;
    const float* levelIn = f.levelIn;
    const float* balanceIn = f.balanceIn;
    int step = 0;
    for (; step + 4 <= steps; step += 4) {
        __m128 s0 = _mm_loadu_ps(cutoffIn + step);
        __m128 s1 = _mm_loadu_ps(resonanceIn + step);
        __m128 s2 = _mm_loadu_ps(levelIn + step);
        __m128 s3 = _mm_loadu_ps(balanceIn + step);
        _MM_TRANSPOSE4_PS(s0, s1, s2, s3);
        _mm_store_ps(control[step][slot0], s0);
        _mm_store_ps(control[step + 1][slot0], s1);
        _mm_store_ps(control[step + 2][slot0], s2);
        _mm_store_ps(control[step + 3][slot0], s3);
        if (stereo) {
            _mm_store_ps(control[step][slot1], s0);
            _mm_store_ps(control[step + 1][slot1], s1);
            _mm_store_ps(control[step + 2][slot1], s2);
            _mm_store_ps(control[step + 3][slot1], s3);
        }
    }
    for (; step < steps; ++step) {
        const __m128 v = _mm_setr_ps(cutoffIn[step], resonanceIn[step], levelIn[step], balanceIn[step]);
        _mm_store_ps(control[step][slot0], v);
        _mm_store_ps(control[step][slot1], v);
    }
    laneHeld[lane0] = k;
    copyFrames(input[lane0], o.in[0], o.n);
    if (stereo) {
        laneHeld[lane0 + 1] = k;
        copyFrames(input[lane0 + 1], o.in[1], o.n);
    }
    laneCount += o.channels;
}

void LadderLanes_c::hold(FilterMoogSI_c& a, const FilterMoogSI_c::Open_t& openA, bool wasA, FilterMoogSI_c& b,
                         const FilterMoogSI_c::Open_t& openB, bool wasB)
{
    if (filterCount == 0) {
        frames = openA.n;
        responseType = a.responseType;
    }
    // Both hold the same frames (renderPair batches only ladders alike).
    const int steps = (openA.n + ControlStepFrames - 1) / ControlStepFrames;
    holdOne(a, openA, wasA, steps);
    holdOne(b, openB, wasB, steps);
}

void LadderLanes_c::clear()
{
    flushSends();
    for (int k = 0; k < filterCount; ++k)
        held[k].filter->rendering.store(held[k].wasRendering, std::memory_order_release);
    filterCount = 0;
    laneCount = 0;
}

void LadderLanes_c::run()
{
    if (filterCount == 0)
        return;
    // Each filter's render flag is up since it was held; one switched off
    // since then is left alone (and mixes nothing).
    liveLanes = 0;
    for (int k = 0; k < filterCount; ++k) {
        Held_t& h = held[k];
        h.live = h.filter->active.load();
        if (h.live)
            liveLanes |= ((1u << h.channels) - 1u) << h.lane;
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
    } else if (wideLanes > 0) {
        if (halves == 2)
            four ? runWide<true, 2>() : runWide<false, 2>();
        else
            four ? runWide<true, 1>() : runWide<false, 1>();
    }
}

void LadderLanes_c::loadLanes(double (*state)[MaxLanes], LaneControl_t& lc) const
{
    lc = {};
    for (int k = 0; k < filterCount; ++k) {
        const Held_t& h = held[k];
        if (!h.live)
            continue;
        const FilterMoogSI_c& f = *h.filter;
        const FilterMoogSI_c::LadderMemo_t& memo = f.ladderMemo;
        // A memo of another rate matches no cutoff (as ladderStep finds).
        const float memoCutoff =
            memo.rateScale == f.rateScale ? memo.cutoff : std::numeric_limits<float>::quiet_NaN();
        // Written out for the first channel and, of a stereo input, the
        // second: a loop over one or two costs more than its body here.
        const auto load = [&](int c) {
            const FilterMoogSI_c::Ladder_t& l = f.ladder[c];
            const int lane = h.lane + c;
            for (int j = 0; j < 4; ++j)
                state[j][lane] = l.s[j];
            state[4][lane] = heldLessDc(l.xPrev, l.dc);
            state[5][lane] = l.dc;
            lc.memoCutoff[lane] = memoCutoff;
            lc.k1[lane] = memo.k1;
            lc.k2[lane] = memo.k2;
            lc.feedbackScale[lane] = memo.feedbackScale;
            // The rest a step computes afresh; these two it follows.
            lc.level[lane] = f.level;
            lc.balance[lane] = f.balance;
        };
        load(0);
        if (h.channels > 1)
            load(1);
    }
}

namespace {

// FilterMath::settle over n doubles in place (n a multiple of 4), four at a
// time: a value below FlushBelow in magnitude becomes 0, one that is not
// finite stays as it is and sets its bit in the answer.
[[gnu::always_inline, gnu::target("avx2")]] inline unsigned settleLanes(double* v, int n)
{
    const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL));
    const __m256d flushBelow = _mm256_set1_pd(FilterMath::FlushBelow);
    const __m256d infinity = _mm256_set1_pd(std::numeric_limits<double>::infinity());
    unsigned notFinite = 0;
    for (int i = 0; i < n; i += 4) {
        const __m256d x = _mm256_loadu_pd(v + i);
        const __m256d size = _mm256_and_pd(x, magnitude);
        _mm256_storeu_pd(v + i, _mm256_andnot_pd(_mm256_cmp_pd(size, flushBelow, _CMP_LT_OQ), x));
        notFinite |= static_cast<unsigned>(_mm256_movemask_pd(_mm256_cmp_pd(size, infinity, _CMP_NLT_UQ))) << i;
    }
    return notFinite;
}

// FilterMath::settle over eight floats in place, as settleLanes.
[[gnu::always_inline, gnu::target("avx2")]] inline unsigned settleLanes8(float* v)
{
    const __m256 x = _mm256_load_ps(v);
    const __m256 size = _mm256_and_ps(x, _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff)));
    const __m256 flushBelow = _mm256_set1_ps(static_cast<float>(FilterMath::FlushBelow));
    _mm256_store_ps(v, _mm256_andnot_ps(_mm256_cmp_ps(size, flushBelow, _CMP_LT_OQ), x));
    const __m256 infinity = _mm256_set1_ps(std::numeric_limits<float>::infinity());
    return static_cast<unsigned>(_mm256_movemask_ps(_mm256_cmp_ps(size, infinity, _CMP_NLT_UQ)));
}

// The lanes of four doubles that are not finite, one bit each.
[[gnu::always_inline, gnu::target("avx2")]] inline unsigned notFinite4(const double* v)
{
    const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL));
    const __m256d size = _mm256_and_pd(_mm256_load_pd(v), magnitude);
    const __m256d infinity = _mm256_set1_pd(std::numeric_limits<double>::infinity());
    return static_cast<unsigned>(_mm256_movemask_pd(_mm256_cmp_pd(size, infinity, _CMP_NLT_UQ)));
}

} // namespace

unsigned LadderLanes_c::settleControlLanes(LaneControl_t& lc)
{
    // FilterMoogSI_c::settleLadderControl, every lane at once: k1 and the
    // feedback must be finite; level, its step and the balance are settled
    // (each of them, whatever the others are).
    unsigned notFinite = 0;
    for (int l = 0; l < MaxLanes; l += 8) {
        notFinite |= (settleLanes8(&lc.level[l]) | settleLanes8(&lc.levelStep[l]) | settleLanes8(&lc.balance[l])) << l;
        for (int q = l; q < l + 8; q += 4)
            notFinite |= (notFinite4(&lc.k1[q]) | notFinite4(&lc.feedback[q])) << q;
    }
    return notFinite;
}

void LadderLanes_c::storeLanes(double (*state)[MaxLanes], LaneControl_t& lc)
{
    // Row 4 becomes the held input (w + dc) the filters keep; then every
    // value is settled, all lanes at once, as each filter's per-block check
    // would settle it one by one, and a filter with a value that is not
    // finite is marked for that check (which starts it afresh).
    const int lanes = (laneCount + 3) & ~3;
    for (int l = 0; l < lanes; ++l)
        state[4][l] = heldInput(state[4][l], state[5][l]);
    unsigned notFinite = 0;
    for (int j = 0; j < 6; ++j)
        notFinite |= settleLanes(state[j], lanes);
    const unsigned controlNotFinite = settleControlLanes(lc);
    // Almost always none: then no filter needs looking at for it.
    const bool anyNotFinite = ((notFinite | controlNotFinite) & liveLanes) != 0;
    for (int k = 0; k < filterCount; ++k) {
        Held_t& h = held[k];
        if (!h.live)
            continue;
        FilterMoogSI_c& f = *h.filter;
        const auto store = [&](int c) {
            FilterMoogSI_c::Ladder_t& l = f.ladder[c];
            const int lane = h.lane + c;
            for (int j = 0; j < 3; ++j)
                l.s[j] = l.prev[j] = state[j][lane];
            l.s[3] = state[3][lane];
            l.xPrev = state[4][lane];
            l.dc = state[5][lane];
        };
        store(0);
        if (h.channels > 1)
            store(1);
        // A stereo filter's two lanes carry the same control values.
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
        // The rest of the filter's per-block check: a value that was not
        // finite starts it afresh.
        if (!anyNotFinite)
            continue;
        if ((notFinite & (((1u << h.channels) - 1u) << h.lane)) != 0)
            f.checkLadderState(h.channels);
        else if ((controlNotFinite & (1u << l)) != 0)
            f.initBuffer();
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
    // Each half's eight lanes of each input: the slots' order (controlSlot)
    // is the one these shuffles turn back into lane order.
    __m256 cutoff[2];
    __m256 resonance[2];
    __m256 levelIn[2];
    __m256 balanceIn[2];
    unsigned stale = 0;
    for (int half = 0; half < 2; ++half) {
        const float* from = control[step][half * HalfLanes];
        const __m256 v0 = _mm256_load_ps(from);
        const __m256 v1 = _mm256_load_ps(from + 8);
        const __m256 v2 = _mm256_load_ps(from + 16);
        const __m256 v3 = _mm256_load_ps(from + 24);
        const __m256 t0 = _mm256_unpacklo_ps(v0, v1);
        const __m256 t1 = _mm256_unpackhi_ps(v0, v1);
        const __m256 t2 = _mm256_unpacklo_ps(v2, v3);
        const __m256 t3 = _mm256_unpackhi_ps(v2, v3);
        cutoff[half] = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));
        resonance[half] = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
        levelIn[half] = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
        balanceIn[half] = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
        const __m256 fits =
            _mm256_cmp_ps(cutoff[half], _mm256_load_ps(&lc.memoCutoff[half * HalfLanes]), _CMP_EQ_OQ);
        stale |= (~static_cast<unsigned>(_mm256_movemask_ps(fits)) & 0xFFu) << (half * HalfLanes);
    }
    stale &= liveLanes;
    while (stale != 0) {
        const int lane = __builtin_ctz(stale);
        const Held_t& h = held[laneHeld[lane]];
        FilterMoogSI_c& f = *h.filter;
        f.refreshLadderMemo(control[step][controlSlot(lane)][0]);
        const FilterMoogSI_c::LadderMemo_t& memo = f.ladderMemo;
        for (int l = h.lane; l < h.lane + h.channels; ++l) {
            lc.memoCutoff[l] = memo.cutoff;
            lc.k1[l] = memo.k1;
            lc.k2[l] = memo.k2;
            lc.feedbackScale[l] = memo.feedbackScale;
            stale &= ~(1u << l);
        }
    }
    for (int half = 0; half < 2; ++half) {
        const int l = half * HalfLanes;
        // clampIn(resonance, 1e-6, 0.96): below the floor or NaN, the floor.
        const __m256 lo = _mm256_set1_ps(1e-6f);
        const __m256 res = resonance[half];
        const __m256 r = _mm256_min_ps(_mm256_blendv_ps(lo, res, _mm256_cmp_ps(res, lo, _CMP_GE_OQ)),
                                       _mm256_set1_ps(0.96f));
        _mm256_store_ps(&lc.r[l], r);
        const __m256 target = finiteOr0x8(_mm256_mul_ps(levelIn[half], _mm256_set1_ps(8.0f)));
        _mm256_store_ps(&lc.levelTarget[l], target);
        _mm256_store_ps(&lc.levelStep[l], _mm256_mul_ps(_mm256_sub_ps(target, _mm256_load_ps(&lc.level[l])),
                                                        _mm256_set1_ps(ControlTake)));
        const __m256 bal = _mm256_add_ps(
            _mm256_mul_ps(_mm256_set1_ps(0.75f), _mm256_load_ps(&lc.balance[l])),
            _mm256_mul_ps(_mm256_set1_ps(0.25f), _mm256_add_ps(finiteOr0x8(balanceIn[half]),
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
#pragma GCC unroll 8
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
    LaneControl_t lc;
    loadLanes(state, lc);
    Chain4 chain[2 * Halves];
    for (int h = 0; h < 2 * Halves; ++h)
        chain[h] = {_mm256_load_pd(&state[0][4 * h]), _mm256_load_pd(&state[1][4 * h]),
                    _mm256_load_pd(&state[2][4 * h]), _mm256_load_pd(&state[3][4 * h]),
                    _mm256_load_pd(&state[4][4 * h]), _mm256_load_pd(&state[5][4 * h])};
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
#pragma GCC unroll 8
            for (int l = 0; l < HalfLanes; ++l)
                frame[l] = _mm256_load_ps(&input[lane0 + l][start]);
            transpose8(frame);
            __m256 outL[ControlStepFrames];
            __m256 outR[ControlStepFrames];
#pragma GCC unroll 8
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
    storeLanes(state, lc);
}

template <bool FourPoles, int Halves>
void LadderLanes_c::runWide512()
{
    // runWide with eight lanes in one vector, and both halves' chains in the
    // same frame loop: the step from one s3 to the next is a chain of
    // dependent operations that leaves the units idle while one vector
    // waits on it; a second independent vector fills the wait.
    alignas(64) double state[6][MaxLanes] = {};
    LaneControl_t lc;
    loadLanes(state, lc);
    Chain8 chain[Halves];
    for (int h = 0; h < Halves; ++h)
        chain[h] = {_mm512_load_pd(&state[0][8 * h]), _mm512_load_pd(&state[1][8 * h]),
                    _mm512_load_pd(&state[2][8 * h]), _mm512_load_pd(&state[3][8 * h]),
                    _mm512_load_pd(&state[4][8 * h]), _mm512_load_pd(&state[5][8 * h])};
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
#pragma GCC unroll 8
            for (int l = 0; l < HalfLanes; ++l)
                frame[h][l] = _mm256_load_ps(&input[lane0 + l][start]);
            transpose8(frame[h]);
        }
        __m256 outL[Halves][ControlStepFrames];
        __m256 outR[Halves][ControlStepFrames];
        const int count = n - start < ControlStepFrames ? n - start : ControlStepFrames;
#pragma GCC unroll 8
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
    storeLanes(state, lc);
}

void LadderLanes_c::mixOut(int k)
{
    if (k < 0 || k >= filterCount || !held[k].live)
        return;
    FilterMoogSI_c& f = *held[k].filter;
    float* outL = nullptr;
    float* outR = nullptr;
    if (!f.outputBusA || !f.outputBusA->wantWriteStereo(&outL, &outR))
        return;
    // A mono input's lane feeds both sides; a stereo input's two lanes one
    // side each (the other products go unused).
    const Held_t& h = held[k];
    addInto(outL, outR, productL[h.lane], productR[h.lane + h.channels - 1]);
    f.outputBusA->doneWriteStereo();
}

void LadderLanes_c::sendOut(int k, InBuffer2_c& to)
{
    if (k < 0 || k >= filterCount || !held[k].live)
        return;
    FilterMoogSI_c& f = *held[k].filter;
    // The output bus at the start of its cycle holds its silence block
    // (index-aligned, offset 0: a voice bus); a mixOut would add the stash
    // to it and the send would add that sum into `to`.
    const float* silence = f.outputBusA ? f.outputBusA->getDefault() : nullptr;
    float* outL = nullptr;
    float* outR = nullptr;
    if (!silence || f.outputBusA->getOffset() != 0 || !to.wantWriteStereo(&outL, &outR))
        return;
    const Held_t& h = held[k];
    addInto(outL, outR, silence, productL[h.lane], productR[h.lane + h.channels - 1]);
    to.doneWriteStereo();
}

void LadderLanes_c::flushSends()
{
    // Each bus (in the order queueSend first met them) with its sends in the
    // order they came: the sums of every
    // frame are sendOut's, one after another (the buses are apart, so the
    // order between them does not matter). A bus fails or succeeds to open
    // the same way every time, and opened once (content not 5.1, so written
    // in place) it stays as a run of sendOut calls would leave it. A 5.1
    // bus takes each send through its scratch channels: those go one by one.
    for (int b = 0; b < busCount; ++b) {
        InBuffer2_c& to = *sendBus[b];
        Send_t list[MaxLanes];
        int count = 0;
        for (unsigned m = busSends[b]; m != 0; m &= m - 1) {
            // sendOut's checks.
            const int k = queued[__builtin_ctz(m)];
            if (k < 0 || k >= filterCount || !held[k].live)
                continue;
            const FilterMoogSI_c& f = *held[k].filter;
            const float* silence = f.outputBusA ? f.outputBusA->getDefault() : nullptr;
            if (!silence || f.outputBusA->getOffset() != 0)
                continue;
            const Held_t& h = held[k];
            list[count++] = {silence, productL[h.lane], productR[h.lane + h.channels - 1]};
        }
        float* outL = nullptr;
        float* outR = nullptr;
        if (count == 0 || !to.wantWriteStereo(&outL, &outR))
            continue;
        if (!to.is51()) {
            addSends(outL, outR, list, count);
            to.doneWriteStereo();
            continue;
        }
        for (int j = 0; j < count; ++j) {
            if (j > 0 && !to.wantWriteStereo(&outL, &outR))
                continue;
            addSends(outL, outR, list + j, 1);
            to.doneWriteStereo();
        }
    }
    sendCount = 0;
    busCount = 0;
}

void LadderLanes_c::addSends(float* outL, float* outR, const Send_t* list, int count) const
{
    const int n = frames;
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        __m256 left = _mm256_loadu_ps(outL + i);
        __m256 right = _mm256_loadu_ps(outR + i);
        for (int j = 0; j < count; ++j) {
            const Send_t& s = list[j];
            const __m256 quiet = _mm256_loadu_ps(s.silence + i);
            left = _mm256_add_ps(left, _mm256_add_ps(quiet, _mm256_load_ps(s.left + i)));
            right = _mm256_add_ps(right, _mm256_add_ps(quiet, _mm256_load_ps(s.right + i)));
        }
        _mm256_storeu_ps(outL + i, left);
        _mm256_storeu_ps(outR + i, right);
    }
    for (; i < n; ++i) {
        float left = outL[i];
        float right = outR[i];
        for (int j = 0; j < count; ++j) {
            const Send_t& s = list[j];
            left += s.silence[i] + s.left[i];
            right += s.silence[i] + s.right[i];
        }
        outL[i] = left;
        outR[i] = right;
    }
}

void LadderLanes_c::addInto(float* outL, float* outR, const float* silence, const float* productsL,
                            const float* productsR) const
{
    const int n = frames;
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 quiet = _mm256_loadu_ps(silence + i);
        _mm256_storeu_ps(outL + i,
                         _mm256_add_ps(_mm256_loadu_ps(outL + i), _mm256_add_ps(quiet, _mm256_load_ps(productsL + i))));
        _mm256_storeu_ps(outR + i,
                         _mm256_add_ps(_mm256_loadu_ps(outR + i), _mm256_add_ps(quiet, _mm256_load_ps(productsR + i))));
    }
    for (; i < n; ++i) {
        outL[i] += silence[i] + productsL[i];
        outR[i] += silence[i] + productsR[i];
    }
}

void LadderLanes_c::addInto(float* outL, float* outR, const float* productsL, const float* productsR) const
{
    const int n = frames;
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        _mm256_storeu_ps(outL + i, _mm256_add_ps(_mm256_loadu_ps(outL + i), _mm256_load_ps(productsL + i)));
        _mm256_storeu_ps(outR + i, _mm256_add_ps(_mm256_loadu_ps(outR + i), _mm256_load_ps(productsR + i)));
    }
    for (; i < n; ++i) {
        outL[i] += productsL[i];
        outR[i] += productsR[i];
    }
}
