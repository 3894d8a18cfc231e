// The analog oscillator. See OscAnalog4.h.
#include "OscAnalog4.h"

#include "InBuffer2.h"
#include "ParaRow.h"
#include "SafeDiv.h"

#include <algorithm>
#include <bit>
#include <atomic>
#include <cmath>
#include <limits>
#include <new>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The shape input moves the width by up to 0.95 per unit.
constexpr float ShapeToWidth = 0.95f;
// Widths below this fold back up (w -> 2 x LeastWidth - w); the first
// segment is never narrower.
constexpr double LeastWidth = 0.05;
// The correction runs four samples, each consuming EdgeStepsPerSample table
// entries; a switch enters it at an index of EdgeStart plus the sub-sample
// position in steps of 1/EdgeSubSteps of a sample.
constexpr int EdgeStepsPerSample = OscEdgeTableEntries / 4;
constexpr int EdgeStart = OscEdgeTableEntries;
constexpr float EdgeSubSteps = 31.9f;
// Table shape: c(0) = EdgeRate, c(j) = c(j-1) + (1 - c(j-1)) x EdgeRate,
// mirrored around the middle of the table.
constexpr float EdgeRate = 0.05f;
constexpr int EdgeHalf = OscEdgeTableEntries / 2;

// FreeRun spreads start phases over 0 .. 2 x FreeRunSpread (a phase of 1 or
// more starts in the second segment).
constexpr double FreeRunSpread = 0.99;

// Seeds of the oscillators' own random generators: each construction takes
// the next, so no two oscillators start alike.
std::atomic<uint32_t> seedSequence{0x2545F491u};
constexpr uint32_t SeedStep = 0x9E3779B9u;

} // namespace

OscAnalog4_c::OscAnalog4_c() : Generator_c(false), randomState(seedSequence.fetch_add(SeedStep))
{
    sampleRate = 44100.0f;
    inverseSampleRate = 1.0f / 44100.0f;
}

OscAnalog4_c::~OscAnalog4_c() = default;

// While audio is stopped.
void OscAnalog4_c::create(Synth* s, float* level, float* pitch, float* shape, unsigned int** rows)
{
    Generator_c::create(s, rows);
    levelIn = level;
    pitchIn = pitch;
    shapeIn = shape;
    if (!edgeTable) {
        // One entry more than is ever read.
        edgeTable.reset(new (std::nothrow) float[OscEdgeTableEntries + 1]);
        if (edgeTable) {
            float c = EdgeRate;
            for (int j = 0; j < EdgeHalf; ++j) {
                if (j > 0)
                    c = c + (1.0f - c) * EdgeRate;
                edgeTable[EdgeHalf - 1 - j] = c;
                edgeTable[EdgeHalf + j] = -c;
            }
            edgeTable[OscEdgeTableEntries] = 0.0f;
        }
    }
    ReadyThenCache(crActivate);
}

int OscAnalog4_c::getTypeCode() const
{
    return TypeCodeOscAnalog4;
}

bool OscAnalog4_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    return defineParas(shared, nSets, opCount, {
        {.index = opOffOn, .kind = ParaKind::OnOff, .name = "OffOn", .def = 1},
        {.index = opWaveform, .name = "Waveform", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 50},
        {.index = opPulseWidth, .name = "PulseWidth", .unit = "%", .lo = 5, .hi = 100, .precision = 2, .def = 100},
        {.index = opXA, .kind = ParaKind::Enu, .name = "", .lo = 0, .hi = 2, .def = 2, .width = 1, .items = "XA0"},
        {.index = opOctave, .name = "Octave", .lo = -2, .hi = 7, .precision = 0, .def = 0},
        {.index = opSemitone, .name = "Semitone", .lo = -11, .hi = 11, .precision = 0, .def = 0},
        {.index = opTrack, .kind = ParaKind::OnOff, .name = "Track", .def = 1},
        {.index = opCent, .name = "Cent", .unit = "cent", .lo = -99, .hi = 99, .precision = 0, .def = 0},
        {.index = opUnused10, .name = "", .lo = 50, .hi = 150, .precision = 2, .def = 100},
        {.index = opUnused11, .name = "", .lo = 1, .hi = 3, .precision = 0, .def = 2},
        {.index = opSpread, .name = "Spread", .unit = "cent", .logFactor = 4.0f, .lo = 0, .hi = 5000, .precision = 2,
         .def = 0},
        {.index = opFreeRun, .kind = ParaKind::OnOff, .name = "FreeRun", .def = 0},
        {.index = opSubOscVol, .name = "SubOsc Vol", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 0},
    });
}

void OscAnalog4_c::checkSetFlagReady()
{
    Generator_c::checkSetFlagReady();
    if (!levelIn || !pitchIn || !shapeIn || !(sampleRate > MinSampleRate) || !paraSet || !edgeTable)
        ready = false;
}

void OscAnalog4_c::cachePara(CacheReason_t reason, int set, int)
{
    const Parameter_c* p = refreshParameters(reason, set, paraSet != nullptr);
    if (!p)
        return;
    widthBase = p[opPulseWidth].fl;
    const float a = p[opWaveform].norm;
    shapeA = a;
    oneMinusA = 1.0f - a;
    const float sub = p[opSubOscVol].fl;
    subOscGain = sub * sub;
    unisonAmount = p[opSpread].fl;
}

double OscAnalog4_c::getNominalIncrement(int copy) const
{
    // One cycle is two segments of phase 0..1: 2 f / rate per sample.
    const double base = so_ddiv(2.0 * frequency, sampleRate);
    const double d = unisonAmount;
    return base * (1.0 + OscDetune[copySlot(copy)] * d);
}

[[gnu::always_inline]] inline double OscAnalog4_c::renderNominal(int copy)
{
    // As getNominalIncrement, operation for operation.
    const double f = frequency;
    const uint64_t fBits = std::bit_cast<uint64_t>(f);
    const uint32_t rateBits = std::bit_cast<uint32_t>(sampleRate);
    if (!nominalKnown || fBits != nominalFrequencyBits || rateBits != nominalRateBits) {
        nominalBase = so_ddiv(2.0 * f, sampleRate);
        nominalFrequencyBits = fBits;
        nominalRateBits = rateBits;
        nominalKnown = true;
    }
    const double d = unisonAmount;
    return nominalBase * (1.0 + OscDetune[copySlot(copy)] * d);
}

const OscAnalog4_c::Copy_t& OscAnalog4_c::getCopyState(int copy) const
{
    return copies[copySlot(copy)];
}

void OscAnalog4_c::seedRandom(uint32_t seed)
{
    randomState = seed;
}

double OscAnalog4_c::nextRandom()
{
    // A linear congruential step; its top 31 bits give r in 0..1.
    randomState = randomState * 1664525u + 1013904223u;
    return static_cast<double>(randomState >> 1) * (1.0 / 2147483648.0);
}

// ---------------------------------------------------------------------------
// Note start

void OscAnalog4_c::prepProc(int instrument, Note_c n, bool legato, bool flag2)
{
    Generator_c::prepProc(instrument, n, legato, flag2);
    if (!cacheNoteStart())
        return;
    frequency = getFrequency(note.note, opTrack, opOctave, opSemitone, opCent);

    const bool freeRun = renderParameters && renderParameters[opFreeRun].value != 0;
    if (!(legato && flag2)) {
        const double spread = freeRun ? FreeRunSpread : 0.0;
        for (int k = 0; k < NumUnisonCopies; ++k) {
            Copy_t& c = copies[k];
            c.phase = 2.0 * nextRandom() * spread;
            c.v = 1.0;
            c.m = 1.0f;
            c.second = false;
            c.w = 1.0;
            c.inc = 1.0;
            c.pitchSeen = std::numeric_limits<float>::quiet_NaN();
            // Copies start with a correction from about -y to +y.
            c.i = EdgeStart;
            c.h = 1.0f;
            c.c = 0.0f;
            needsStart[k] = true;
        }
        // The plain render starts where copy 0 does, without a correction.
        cur.phase = copies[0].phase;
        cur.m = 1.0f;
        cur.second = false;
        cur.i = 0;
    } else if (!freeRun) {
        // Copies 1 to 4 line up with copy 0 again. A running copy takes its
        // place in the cycle, not the phase alone: a phase moved back under an
        // unchanged value would run the value on past the segment's end
        // (toward -1.9 in the second segment), so value and slope follow from
        // the phase on the copy's own segment line.
        const float a = shapeA;
        for (int k = 1; k < NumUnisonCopies; ++k) {
            Copy_t& c = copies[k];
            c.phase = copies[0].phase;
            if (needsStart[k])
                continue; // its start places it
            c.second = copies[0].second;
            const float from = c.second ? -a : 1.0f;
            const float to = c.second ? -1.0f : a;
            c.v = c.second ? c.incB : c.incA;
            c.y = from + (to - from) * static_cast<float>(c.phase);
            c.s = static_cast<float>((to - from) * c.v);
            c.lastStep = c.v * c.m;
        }
    }
}

// ---------------------------------------------------------------------------
// Rendering

double OscAnalog4_c::pitchedIncrement(float pitch, double nominalInc)
{
    double inc = inputPitchFactor(pitch) * nominalInc;
    if (!std::isfinite(inc))
        return 0.0;
    // Too close to the rate's half: an octave lower, as often as needed.
    while (inc > MaxIncrement)
        inc *= 0.5;
    return inc;
}

double OscAnalog4_c::foldWidth(float raw, double inc)
{
    double w = raw;
    if (w > 1.0)
        w = 2.0 - w;
    if (w < LeastWidth)
        w = 2.0 * LeastWidth - w;
    // At least two samples of first segment; NaN ends at full width.
    const double least = std::clamp(2.0 * inc, LeastWidth, 1.0);
    if (least > w)
        return least;
    return w < 1.0 ? w : 1.0;
}

void OscAnalog4_c::startCopy(Copy_t& st, const Inputs_t& in, double nominalInc)
{
    st.inc = pitchedIncrement(in.pitch[0], nominalInc);
    st.pitchSeen = in.pitch[0];
    st.nominalSeen = nominalInc;
    st.rawWidth = in.shape[0] * ShapeToWidth + widthBase;
    st.w = foldWidth(st.rawWidth, st.inc);
    st.incA = st.inc / st.w;
    st.incB = 0.5 * st.inc / (1.0 - 0.5 * st.w);
    const float a = shapeA;
    if (st.phase >= 1.0) {
        st.phase -= 1.0;
        st.second = true;
        st.v = st.incB;
        st.y = -a;
    } else {
        st.second = false;
        st.v = st.incA;
        st.y = 1.0f;
    }
    st.s = static_cast<float>((a - 1.0f) * st.v);
    st.lastStep = st.v * st.m;
}

void OscAnalog4_c::switchSegment(Copy_t& st, float x0)
{
    // The step that carried the phase past the end.
    const double u = st.lastStep;
    st.phase -= 1.0;
    st.second = !st.second;
    if (!st.second) {
        // A new cycle: only here do width and segment increments change.
        if (st.rawWidth != st.cycleRaw || st.inc != st.cycleInc) {
            st.cycleRaw = st.rawWidth;
            st.cycleInc = st.inc;
            st.cycleW = foldWidth(st.rawWidth, st.inc);
            st.cycleIncA = st.inc / st.cycleW;
            st.cycleIncB = 0.5 * st.inc / (1.0 - 0.5 * st.cycleW);
        }
        st.w = st.cycleW;
        st.incA = st.cycleIncA;
        st.incB = st.cycleIncB;
    }
    // How far past the switch the step went, in samples. It lies in 0..1
    // whenever the last step is what carried the phase over; it is kept there
    // for any other history (a mode change between pieces, a stalled phase),
    // so the correction never reads outside its table.
    float t = u > 0.0 ? static_cast<float>(st.phase) / static_cast<float>(u) : 0.0f;
    t = std::isnan(t) ? 0.0f : std::clamp(t, 0.0f, 1.0f);
    const float a = shapeA;
    float e;
    if (st.second) {
        st.v = st.incB;
        st.y = -a;
        e = -1.0f;
    } else {
        st.v = st.incA;
        st.y = 1.0f;
        e = a;
    }
    st.phase = t * st.v;
    st.s = static_cast<float>((e - st.y) * st.v);
    // (1 - t) x EdgeSubSteps lies in 0..31.9: the cast is the floor.
    st.i = static_cast<int32_t>((1.0f - t) * EdgeSubSteps) + EdgeStart;
    st.h = std::fabs(x0 - e) * 0.5f;
    st.c = (e + x0) * 0.5f;
}

template <int Mode>
void OscAnalog4_c::runSamples(int n, Inputs_t& inputs, double nominalInc, float* out, const float* mod)
{
    const float* table = edgeTable.get();
    // The fields every sample touches live in plain locals: the stores into
    // the output could alias the state's floats, and st is handed to the
    // segment switch by reference; either would keep them in memory and put
    // a store and a reload into each sample's chain. The rest stays in the
    // state itself, touched once per control step or switch, which is
    // cheaper than a copy of it in and out for every render.
    Copy_t& st = cur;
    Inputs_t in = inputs;
    double phase = st.phase;
    double v = st.v;
    double lastStep = st.lastStep;
    float y = st.y;
    float s = st.s;
    float h = st.h;
    float c = st.c;
    int32_t edge = st.i;
    const auto switchAt = [&](float x0) {
        st.phase = phase;
        st.lastStep = lastStep;
        switchSegment(st, x0);
        phase = st.phase;
        v = st.v;
        y = st.y;
        s = st.s;
        h = st.h;
        c = st.c;
        edge = st.i;
    };
    float m = st.m;
    // The value of the current sample, switching segments as often as the
    // phase has run past one.
    const auto next = [&]() -> float {
        for (;;) {
            if (edge < EdgeStepsPerSample) {
                if (phase >= 1.0) {
                    switchAt(1.0f);
                    continue;
                }
                return y;
            }
            edge -= EdgeStepsPerSample;
            const float z = table[edge] * y * h + c;
            if (phase >= 1.0) {
                switchAt(z);
                continue;
            }
            return z;
        }
    };
    // The next value of each input, once per control step; the level stays
    // in a register for the step.
    float level = in.levelValue;
    const auto takeInputs = [&] {
        level = *in.level++;
        const float pitch = *in.pitch++;
        if (pitch != st.pitchSeen || nominalInc != st.nominalSeen) {
            st.inc = pitchedIncrement(pitch, nominalInc);
            st.pitchSeen = pitch;
            st.nominalSeen = nominalInc;
        }
        st.rawWidth = *in.shape++ * ShapeToWidth + widthBase;
    };
    const auto emit = [&](int j, float value) {
        m = 1.0f;
        float sample = level * value;
        if constexpr (Mode == rmCrossFM)
            m = std::max(0.0f, mod[j]);
        if constexpr (Mode == rmCrossAM)
            sample *= mod[j];
        out[j] += sample; // adds into the bus, as mixSample does
        y += s * m;
        lastStep = v * m;
        phase += lastStep;
    };
    for (int j = 0; j < n;) {
        // A control step's first sample takes the step's inputs once its
        // value is known (a switch in it still works with the last step's).
        const float first = next();
        if ((j & (ControlStepFrames - 1)) == 0)
            takeInputs();
        emit(j, first);
        const int end = std::min(n, (j | (ControlStepFrames - 1)) + 1);
        for (++j; j < end;) {
            if constexpr (Mode == rmPlain) {
                // Most samples lie on a straight stretch: no correction runs
                // and the phase stays below one. There emit(j, y) is this,
                // the FM factor being 1.
                if (edge < EdgeStepsPerSample && phase < 1.0) {
                    do {
                        out[j] += level * y;
                        y += s;
                        phase += v;
                        ++j;
                    } while (j < end && phase < 1.0);
                    m = 1.0f;
                    lastStep = v;
                    continue;
                }
            }
            emit(j, next());
            ++j;
        }
    }
    st.phase = phase;
    st.v = v;
    st.lastStep = lastStep;
    st.m = m;
    st.y = y;
    st.s = s;
    st.h = h;
    st.c = c;
    st.i = edge;
    in.levelValue = level;
    inputs = in;
}

[[gnu::always_inline]] inline void OscAnalog4_c::playCopy(int mode, int n, int copy, float* out, const float* mod)
{
    const double nominalInc = renderNominal(copy);
    Inputs_t in{levelIn, pitchIn, shapeIn, 0.0f};
    if (needsStart[copy]) {
        startCopy(cur, in, nominalInc);
        needsStart[copy] = false;
    }
    switch (mode) {
    case rmCrossFM:
        runSamples<rmCrossFM>(n, in, nominalInc, out, mod);
        break;
    case rmCrossAM:
        runSamples<rmCrossAM>(n, in, nominalInc, out, mod);
        break;
    default:
        runSamples<rmPlain>(n, in, nominalInc, out, nullptr);
        break;
    }
}

bool OscAnalog4_c::renderOne(int n, int copy)
{
    const int mode = renderMode;
    if (mode < rmPlain || mode > rmCrossAM || copy < 0 || copy >= NumUnisonCopies)
        return false;
    if (!ready || !outputBusA || n < 1)
        return false;
    float* mod = nullptr;
    if (mode != rmPlain && (!inputBus || !inputBus->wantReadMono(&mod, true)))
        return false;
    float* out = nullptr;
    if (!outputBusA->wantWriteMono(&out, false))
        return false;
    n = std::min(n, outputBusA->getCycleLength());
    if (mod)
        n = std::min(n, inputBus->getCycleLength());
    playCopy(mode, n, copy, out, mod);
    outputBusA->doneWriteMono();
    return false;
}

#if defined(__SSE2__)
namespace {

// Lane k of x.
template <int K>
float lane(__m128 x)
{
    return _mm_cvtss_f32(_mm_castsi128_ps(_mm_shuffle_epi32(_mm_castps_si128(x), K)));
}

// Masks that pick lane k (a copy) out of the lane registers: doubles two to
// a register, floats four. A lane that a scalar step has changed goes back
// into its register through one of them, not through a store of the scalar
// and a load of the whole register, which the processor cannot forward and
// so stalls on.
struct LaneMasks_t
{
    alignas(16) uint64_t pd[NumUnisonCopies][6];
    alignas(16) uint32_t ps[NumUnisonCopies][8];
};

constexpr LaneMasks_t makeLaneMasks()
{
    LaneMasks_t m{};
    for (int k = 0; k < NumUnisonCopies; ++k) {
        m.pd[k][k] = ~uint64_t{0};
        m.ps[k][k] = ~uint32_t{0};
    }
    return m;
}

constexpr LaneMasks_t LaneMasks = makeLaneMasks();

// x where mask is set, r elsewhere.
inline __m128d blendLane(__m128d r, __m128d mask, double x)
{
    return _mm_or_pd(_mm_and_pd(mask, _mm_set1_pd(x)), _mm_andnot_pd(mask, r));
}

inline __m128 blendLane(__m128 r, __m128 mask, float x)
{
    return _mm_or_ps(_mm_and_ps(mask, _mm_set1_ps(x)), _mm_andnot_ps(mask, r));
}

} // namespace

template <int Mode>
void OscAnalog4_c::runCopies(int n, const double* nominal, float* out, const float* mod)
{
    // The copies are lanes: phases and increments two to a register (copy 4
    // with an idle partner), values and slopes four to a register (copy 4
    // with three). An idle lane stands still at phase 0, so it never
    // switches. Every lane does the float and double operations its copy
    // does in runSamples; only the segment switches and the corrections run
    // lane by lane, through the same steps as there, on the copies' states
    // (which hold the correction of each throughout). The lanes live in
    // registers and are stored to the arrays only for the scalar steps to
    // read; a lane those change goes back through a mask, never by a load
    // of the array, which would wait for the scalar stores. Nothing that
    // takes an address may see the registers, or they would stay in memory.
    struct alignas(16) Lanes_t
    {
        double phase[6];
        double v[6];
        float y[8];
        float s[8];
        float value[8];
    };
    Lanes_t ln{};
    const float* table = edgeTable.get();
    // The copies whose correction runs (bit k for copy k).
    unsigned correcting = 0;
    for (int k = 0; k < NumUnisonCopies; ++k)
        if (copies[k].i >= EdgeStepsPerSample)
            correcting |= 1u << k;
    // Built from the scalars (the idle lanes zero), not stored and loaded.
    const Copy_t* const c = copies;
    __m128d p0 = _mm_setr_pd(c[0].phase, c[1].phase), p1 = _mm_setr_pd(c[2].phase, c[3].phase);
    __m128d p2 = _mm_set_sd(c[4].phase);
    __m128d v0 = _mm_setr_pd(c[0].v, c[1].v), v1 = _mm_setr_pd(c[2].v, c[3].v), v2 = _mm_set_sd(c[4].v);
    __m128 y0 = _mm_setr_ps(c[0].y, c[1].y, c[2].y, c[3].y), y1 = _mm_set_ss(c[4].y);
    __m128 s0 = _mm_setr_ps(c[0].s, c[1].s, c[2].s, c[3].s), s1 = _mm_set_ss(c[4].s);
    const __m128d one = _mm_set1_pd(1.0);
    float m = 1.0f; // the FM factor of the last sample
    float level = 0.0f;
    float pitch = 0.0f;
    float raw = 0.0f; // the control step's raw width, for the switches
    const float* levelAt = levelIn;
    const float* pitchAt = pitchIn;
    const float* shapeAt = shapeIn;
    // Nonzero when a lane's phase may stand at 1 or more: before the first
    // sample, and after any sample that carried one there.
    unsigned mayEnd = 1;
    __m128 gain = _mm_setzero_ps();

    // The lanes into the arrays, for the steps that work copy by copy.
    const auto spill = [&]() __attribute__((always_inline)) {
        _mm_store_pd(ln.phase, p0);
        _mm_store_pd(ln.phase + 2, p1);
        _mm_store_pd(ln.phase + 4, p2);
        _mm_store_pd(ln.v, v0);
        _mm_store_pd(ln.v + 2, v1);
        _mm_store_pd(ln.v + 4, v2);
        _mm_store_ps(ln.y, y0);
        _mm_store_ps(ln.y + 4, y1);
        _mm_store_ps(ln.s, s0);
        _mm_store_ps(ln.s + 4, s1);
    };

    // The switches of the lanes whose phase ran past a segment's end, as
    // next() in runSamples takes them, leaving each lane at the step that
    // gives its value. Before the first sample the states hold the last
    // step and the raw width.
    const auto settle = [&](int j) __attribute__((always_inline)) {
        const unsigned ending = static_cast<unsigned>(_mm_movemask_pd(_mm_cmpge_pd(p0, one))) |
                                static_cast<unsigned>(_mm_movemask_pd(_mm_cmpge_pd(p1, one))) << 2 |
                                static_cast<unsigned>(_mm_movemask_pd(_mm_cmpge_pd(p2, one))) << 4;
        if (ending == 0)
            return;
        spill();
        for (unsigned bits = ending; bits != 0; bits &= bits - 1) {
            const int k = std::countr_zero(bits);
            Copy_t& st = copies[k];
            st.phase = ln.phase[k];
            if (j > 0) {
                st.lastStep = ln.v[k] * m;
                st.rawWidth = raw;
            }
            st.y = ln.y[k];
            do {
                if (st.i < EdgeStepsPerSample) {
                    switchSegment(st, 1.0f);
                } else {
                    st.i -= EdgeStepsPerSample;
                    switchSegment(st, table[st.i] * st.y * st.h + st.c);
                }
            } while (st.phase >= 1.0);
            const auto* pd = reinterpret_cast<const __m128i*>(LaneMasks.pd[k]);
            const __m128d m0 = _mm_castsi128_pd(_mm_load_si128(pd));
            const __m128d m1 = _mm_castsi128_pd(_mm_load_si128(pd + 1));
            const __m128d m2 = _mm_castsi128_pd(_mm_load_si128(pd + 2));
            p0 = blendLane(p0, m0, st.phase);
            p1 = blendLane(p1, m1, st.phase);
            p2 = blendLane(p2, m2, st.phase);
            v0 = blendLane(v0, m0, st.v);
            v1 = blendLane(v1, m1, st.v);
            v2 = blendLane(v2, m2, st.v);
            const auto* ps = reinterpret_cast<const __m128i*>(LaneMasks.ps[k]);
            const __m128 n0 = _mm_castsi128_ps(_mm_load_si128(ps));
            const __m128 n1 = _mm_castsi128_ps(_mm_load_si128(ps + 1));
            y0 = blendLane(y0, n0, st.y);
            y1 = blendLane(y1, n1, st.y);
            s0 = blendLane(s0, n0, st.s);
            s1 = blendLane(s1, n1, st.s);
        }
        correcting |= ending;
    };
    // The next control step's inputs. As in runSamples, a switch in the
    // step's first sample still works with the last step's.
    const auto takeInputs = [&](int j) __attribute__((always_inline)) {
        level = *levelAt++;
        gain = _mm_set1_ps(level);
        raw = *shapeAt++ * ShapeToWidth + widthBase;
        // After the first step every copy has seen the last pitch and its
        // own nominal increment: a pitch equal to that one changes nothing.
        const float last = pitch;
        pitch = *pitchAt++;
        if (j == 0 || !(pitch == last)) {
            for (int k = 0; k < NumUnisonCopies; ++k) {
                Copy_t& st = copies[k];
                if (pitch != st.pitchSeen || nominal[k] != st.nominalSeen) {
                    st.inc = pitchedIncrement(pitch, nominal[k]);
                    st.pitchSeen = pitch;
                    st.nominalSeen = nominal[k];
                }
            }
        }
    };
    // Every lane's value, its sample added into out[j] in copy order, and
    // every lane a sample on; mayCorrect false when no correction runs.
    const auto play = [&](int j, auto mayCorrect) __attribute__((always_inline)) {
        __m128 value0 = y0;
        __m128 value1 = y1;
        if (decltype(mayCorrect)::value && correcting != 0) {
            _mm_store_ps(ln.value, y0);
            _mm_store_ps(ln.value + 4, y1);
            constexpr int Last = NumUnisonCopies - 1;
            for (unsigned bits = correcting & ((1u << Last) - 1); bits != 0; bits &= bits - 1) {
                const int k = std::countr_zero(bits);
                Copy_t& st = copies[k];
                st.i -= EdgeStepsPerSample;
                const float z = table[st.i] * ln.value[k] * st.h + st.c;
                const auto* ps = reinterpret_cast<const __m128i*>(LaneMasks.ps[k]);
                value0 = blendLane(value0, _mm_castsi128_ps(_mm_load_si128(ps)), z);
                if (st.i < EdgeStepsPerSample)
                    correcting &= ~(1u << k);
            }
            if (correcting & (1u << Last)) {
                // Copy 4, the low lane of its register.
                Copy_t& st = copies[Last];
                st.i -= EdgeStepsPerSample;
                value1 = _mm_move_ss(value1, _mm_set_ss(table[st.i] * ln.value[Last] * st.h + st.c));
                if (st.i < EdgeStepsPerSample)
                    correcting &= ~(1u << Last);
            }
        }
        __m128 sample0 = _mm_mul_ps(gain, value0);
        __m128 sample1 = _mm_mul_ps(gain, value1);
        if constexpr (Mode == rmCrossAM) {
            const __m128 am = _mm_set1_ps(mod[j]);
            sample0 = _mm_mul_ps(sample0, am);
            sample1 = _mm_mul_ps(sample1, am);
        }
        float o = out[j] + _mm_cvtss_f32(sample0);
        o += lane<1>(sample0);
        o += lane<2>(sample0);
        o += lane<3>(sample0);
        out[j] = o + _mm_cvtss_f32(sample1);
        if constexpr (Mode == rmCrossFM) {
            m = std::max(0.0f, mod[j]);
            const __m128 fm = _mm_set1_ps(m);
            y0 = _mm_add_ps(y0, _mm_mul_ps(s0, fm));
            y1 = _mm_add_ps(y1, _mm_mul_ps(s1, fm));
            const __m128d fmd = _mm_set1_pd(m);
            p0 = _mm_add_pd(p0, _mm_mul_pd(v0, fmd));
            p1 = _mm_add_pd(p1, _mm_mul_pd(v1, fmd));
            p2 = _mm_add_pd(p2, _mm_mul_pd(v2, fmd));
        } else {
            // The FM factor is 1 here, and x times 1 is x (a denormal x too:
            // the audio thread flushes denormal operands and results alike).
            y0 = _mm_add_ps(y0, s0);
            y1 = _mm_add_ps(y1, s1);
            p0 = _mm_add_pd(p0, v0);
            p1 = _mm_add_pd(p1, v1);
            p2 = _mm_add_pd(p2, v2);
        }
        // The largest phase of each pair against 1. A NaN phase never ends
        // its segment, but max may pass it on in place of a phase of 1 or
        // more: "not below 1" counts it as possibly ended, and settle looks
        // at the lanes one by one.
        const __m128d most = _mm_max_pd(_mm_max_pd(p0, p1), p2);
        mayEnd = static_cast<unsigned>(_mm_movemask_pd(_mm_cmpnlt_pd(most, one)));
    };

    for (int j = 0; j < n;) {
        const int end = std::min(n, (j | (ControlStepFrames - 1)) + 1);
        if (mayEnd != 0)
            settle(j);
        takeInputs(j);
        play(j, std::true_type{});
        for (++j; j < end; ++j) {
            // Most samples neither switch nor correct.
            if ((mayEnd | correcting) == 0) {
                play(j, std::false_type{});
                continue;
            }
            if (mayEnd != 0)
                settle(j);
            play(j, std::true_type{});
        }
    }

    spill();
    for (int k = 0; k < NumUnisonCopies; ++k) {
        Copy_t& st = copies[k];
        st.phase = ln.phase[k];
        st.v = ln.v[k];
        st.lastStep = ln.v[k] * m;
        st.m = m;
        st.y = ln.y[k];
        st.s = ln.s[k];
        st.rawWidth = raw;
    }
}

bool OscAnalog4_c::renderCopiesTogether(int n)
{
    // The copies write one after another into the bus, each through its own
    // write. Side by side they make one write and four empty ones, which
    // leaves the bus as the five would only where a mono write goes in
    // place: not through the scratch of wider content, and with the input
    // apart from the output.
    const int mode = renderMode;
    if (mode < rmPlain || mode > rmCrossAM || !ready || !outputBusA || n < 1)
        return false;
    if (outputBusA->getContent() > InBuffer2_c::formMono || (mode != rmPlain && (!inputBus || inputBus == outputBusA)))
        return false;
    float* mod = nullptr;
    if (mode != rmPlain && !inputBus->wantReadMono(&mod, true))
        return false;
    const int total = n;
    n = std::min(n, outputBusA->getCycleLength());
    if (mod)
        n = std::min(n, inputBus->getCycleLength());
    float* out = nullptr;
    if (n < 1 || !outputBusA->wantWriteMono(&out, false))
        return false;
    const auto at = [](const float* p) { return reinterpret_cast<uintptr_t>(p); };
    if (mod && at(mod) < at(out + n) && at(out) < at(mod + n)) {
        // An input that reads the output sees each copy's samples before
        // the next copy plays: copy by copy, this write being copy 0's.
        cur = copies[0];
        playCopy(mode, n, 0, out, mod);
        outputBusA->doneWriteMono();
        copies[0] = cur;
        for (int k = 1; k < NumUnisonCopies; ++k) {
            cur = copies[k];
            renderOne(total, k);
            copies[k] = cur;
        }
        return true;
    }

    double nominal[NumUnisonCopies];
    const Inputs_t in{levelIn, pitchIn, shapeIn, 0.0f};
    for (int k = 0; k < NumUnisonCopies; ++k) {
        nominal[k] = renderNominal(k);
        if (needsStart[k]) {
            startCopy(copies[k], in, nominal[k]);
            needsStart[k] = false;
        }
    }
    switch (mode) {
    case rmCrossFM:
        runCopies<rmCrossFM>(n, nominal, out, mod);
        break;
    case rmCrossAM:
        runCopies<rmCrossAM>(n, nominal, out, mod);
        break;
    default:
        runCopies<rmPlain>(n, nominal, out, nullptr);
        break;
    }
    outputBusA->doneWriteMono();
    // The other copies' writes: nothing more to add, the same bus state.
    for (int k = 1; k < NumUnisonCopies; ++k) {
        float* again = nullptr;
        if (outputBusA->wantWriteMono(&again, false))
            outputBusA->doneWriteMono();
    }
    // The working state is the last copy's, as after rendering copy by copy.
    cur = copies[NumUnisonCopies - 1];
    return true;
}
#endif

bool OscAnalog4_c::renderUnisono(int n, float)
{
    // Unison switched on while the note plays: copy 0 goes on from the
    // plain render instead of starting again.
    if (needsStart[0] != needsStart[1])
        copies[0] = cur;
#if defined(__SSE2__)
    if (renderCopiesTogether(n))
        return false;
#endif
    for (int k = 0; k < NumUnisonCopies; ++k) {
        cur = copies[k];
        renderOne(n, k);
        copies[k] = cur;
    }
    return false;
}
