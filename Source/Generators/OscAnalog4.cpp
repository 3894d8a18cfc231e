// The analog oscillator. See OscAnalog4.h.
#include "OscAnalog4.h"

#include "InBuffer2.h"
#include "ParaRow.h"
#include "SafeDiv.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <new>

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

void OscAnalog4_c::startCopy(const Inputs_t& in, double nominalInc)
{
    cur.inc = pitchedIncrement(in.pitch[0], nominalInc);
    cur.pitchSeen = in.pitch[0];
    cur.nominalSeen = nominalInc;
    cur.rawWidth = in.shape[0] * ShapeToWidth + widthBase;
    cur.w = foldWidth(cur.rawWidth, cur.inc);
    cur.incA = cur.inc / cur.w;
    cur.incB = 0.5 * cur.inc / (1.0 - 0.5 * cur.w);
    const float a = shapeA;
    if (cur.phase >= 1.0) {
        cur.phase -= 1.0;
        cur.second = true;
        cur.v = cur.incB;
        cur.y = -a;
    } else {
        cur.second = false;
        cur.v = cur.incA;
        cur.y = 1.0f;
    }
    cur.s = static_cast<float>((a - 1.0f) * cur.v);
    cur.lastStep = cur.v * cur.m;
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
    // The state in a local for the piece: the stores into the output could
    // otherwise alias its floats and force them back to memory every sample.
    // The fields every sample touches live in plain locals besides: st is
    // handed to the segment switch by reference, which would keep it in
    // memory and put a store and a reload into each sample's chain.
    Copy_t st = cur;
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
    cur = st;
    in.levelValue = level;
    inputs = in;
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

    const double nominalInc = getNominalIncrement(copy);
    Inputs_t in{levelIn, pitchIn, shapeIn, 0.0f};
    if (needsStart[copy]) {
        startCopy(in, nominalInc);
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
    outputBusA->doneWriteMono();
    return false;
}

bool OscAnalog4_c::renderUnisono(int n, float)
{
    // Unison switched on while the note plays: copy 0 goes on from the
    // plain render instead of starting again.
    if (needsStart[0] != needsStart[1])
        copies[0] = cur;
    for (int k = 0; k < NumUnisonCopies; ++k) {
        cur = copies[k];
        renderOne(n, k);
        copies[k] = cur;
    }
    return false;
}
