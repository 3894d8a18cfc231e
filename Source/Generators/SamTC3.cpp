// The time-stretch sampler. See SamTC3.h.
#include "SamTC3.h"

#include "InBuffer2.h"
#include "ParaRow.h"
#include "SafeDiv.h"
#include "WaveRAM.h"

#include <algorithm>
#include <cmath>

// The working set of one renderOne call.
struct SamTC3_c::Run_t
{
    const float* j = nullptr;      // the running sum
    float* out = nullptr;
    const float* mod = nullptr;    // carrier input (cross modes)
    const float* level = nullptr;
    const float* pitch = nullptr;
    const float* time = nullptr;
    int n = 0;                     // samples of the block
    int done = 0;                  // samples produced so far
    double base = 1.0;             // base speed x the copy's pitch factor
    double timeRate = 1.0;
    double period = 1.0;           // L
    int mode = rmPlain;
    // Control values, refreshed every ControlStepFrames samples.
    float levelValue = 0.0f;
    double speed = 1.0;
    double fadeRate = 0.0;

    int remaining() const { return n - done; }
};

namespace {

// J(p) with linear interpolation; positions below 0 read as 0 (the sum before
// the first frame).
inline double readJ(const float* j, double p)
{
    if (p < 0.0)
        return 0.0;
    const int i = static_cast<int>(p);
    const double f = p - i;
    return j[i] * (1.0 - f) + j[i + 1] * f;
}

inline double headValue(const float* j, double now, double before)
{
    return (readJ(j, now) - readJ(j, before)) / (now - before);
}

} // namespace

SamTC3_c::SamTC3_c() : Generator_c(true) {}

SamTC3_c::~SamTC3_c() = default;

// While audio is stopped.
void SamTC3_c::create(WaveRAM_c* s, float* level, float* pitch, float* time)
{
    slot = s;
    levelIn = level;
    pitchIn = pitch;
    timeIn = time;
}

int SamTC3_c::getTypeCode() const
{
    return TypeCodeSamTC3;
}

bool SamTC3_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    return defineParas(shared, nSets, tcCount, {
        SamplerRows::onOff(tcOnOff),
        SamplerRows::octave(tcOctave),
        SamplerRows::semitone(tcSemitone),
        SamplerRows::cent(tcCent),
        {.index = tcTime, .name = "Time    ", .unit = "%", .logFactor = 4.0f, .lo = 25, .hi = 3200, .precision = 2,
         .def = 100},
        SamplerRows::pitchTrack(tcPitchTrack),
        {.index = tcTimeTrack, .name = "TimeTrk", .lo = -100, .hi = 100, .precision = 2, .def = 0},
        {.index = tcFullLoop, .kind = ParaKind::OnOff, .name = "FullLoop On/Off", .def = 0},
        {.index = tcSpread, .name = "Spread", .unit = "cent", .logFactor = 4.0f, .lo = 0, .hi = 5000, .precision = 2,
         .def = 0},
    });
}

void SamTC3_c::cachePara(CacheReason_t reason, int set, int)
{
    const Parameter_c* p = refreshParameters(reason, set, paraSet != nullptr);
    if (!p)
        return;
    unisonAmount = p[tcSpread].fl;
    fullLoop = p[tcFullLoop].value != 0;
}

const SamTC3_c::Copy_t& SamTC3_c::getCopyState(int copy) const
{
    return copies[copySlot(copy)];
}

// ---------------------------------------------------------------------------
// Note start

void SamTC3_c::prepProc(int instrument, Note_c n, bool legato)
{
    if (!(sampleRate > 0.0f))
        return;
    Generator_c::prepProc(instrument, n, legato);
    playing = nullptr;
    needsSetUp = false;
    if (!slot || !cacheNoteStart())
        return;
    const Parameter_c* p = renderParameters;
    if (!p)
        return;
    WaveSample_c* s = nullptr;
    slot->prepProc(instrument, note, &s);
    if (!s)
        return;
    playing = s;
    needsSetUp = true;
    rootHz = slot->getRootFrequency();
    const double q = static_cast<double>(MidiFrequency(static_cast<float>(note.note))) / rootHz;
    notePitch = (p[tcPitchTrack].value != 0 ? q : 1.0) * offsetRatio(p, tcOctave, tcSemitone, tcCent);
    noteTime = so_ddiv(std::pow(q, static_cast<double>(p[tcTimeTrack].fl)), p[tcTime].fl);
}

void SamTC3_c::restartCopy(Copy_t& c) const
{
    c.a = c.start;
    c.b = c.start + rootPeriod;
    c.prevA = c.a - 1.0;
    c.prevB = c.b - 1.0;
    c.x = StartFade;
    c.firstPeriod = true;
}

void SamTC3_c::setUp()
{
    const WaveSample_c& s = *playing;
    sampleRateOfSample = s.sampleRate;
    rootPeriod = so_ddiv(s.sampleRate, rootHz);
    // The range as the slot set it, kept inside the data.
    const int last = std::max(s.frames - 1, 0);
    const int end = std::clamp<int>(s.end, 0, last);
    const int start = std::clamp<int>(s.start, 0, end);
    for (Copy_t& c : copies) {
        c.start = start;
        c.end = end;
        restartCopy(c);
    }
    const double r = so_ddiv(s.sampleRate, sampleRate);
    baseSpeed = r * notePitch;
    timeRate = r * noteTime;
    needsSetUp = false;
    seenGeneration = slot ? slot->getLoadGeneration() : 0;
}

// ---------------------------------------------------------------------------
// Rendering

void SamTC3_c::readControls(Run_t& r) const
{
    const int k = r.done / ControlStepFrames;
    r.levelValue = r.level[k];
    // Kept within -1..1 like every generator's pitch input, or the heads
    // would race away.
    double speed = inputPitchFactor(r.pitch[k]) * r.base;
    // The time input is the voice's aux value: an offset around the rest
    // speed, like every generator's third input, so an unmodulated slot (0)
    // plays the material at the time rate.
    const double timeSpeed = (1.0 + static_cast<double>(r.time[k])) * r.timeRate;
    double fade = (speed - timeSpeed) / r.period;
    if (!std::isfinite(fade))
        fade = 0.0;
    if (!(speed > 0.0) || !std::isfinite(speed))
        speed = LeastSpeed;
    r.speed = speed;
    r.fadeRate = fade;
}

float SamTC3_c::carrier(const Run_t& r) const
{
    return r.mod ? r.mod[r.done] : 1.0f;
}

double SamTC3_c::step(Run_t& r) const
{
    if (r.mode == rmCrossFM)
        return r.speed * std::clamp(carrier(r), FMLeast, FMMost);
    return r.speed;
}

double SamTC3_c::emit(Run_t& r, double value) const
{
    if (r.done % ControlStepFrames == 0)
        readControls(r);
    float v = static_cast<float>(r.levelValue * value);
    if (r.mode == rmCrossAM)
        v *= carrier(r);
    r.out[r.done] += v;
    const double s = step(r);
    ++r.done;
    return s;
}

bool SamTC3_c::oneHead(Run_t& r, Copy_t& c, double target) const
{
    if (!(target >= c.a && c.a > c.prevA))
        return true;
    while (r.remaining() > 0 && c.a < target) {
        const double s = emit(r, headValue(r.j, c.a, c.prevA));
        c.prevA = c.a;
        c.a += s;
    }
    return c.a >= target;
}

bool SamTC3_c::twoHeads(Run_t& r, Copy_t& c, double e) const
{
    if (!(e >= c.a && c.a > c.prevA && c.b > c.prevB))
        return false;
    while (r.remaining() > 0 && c.a < e && c.b < e && c.x >= 0.0 && c.x <= 1.0) {
        const double s = emit(r, c.x * headValue(r.j, c.a, c.prevA) + (1.0 - c.x) * headValue(r.j, c.b, c.prevB));
        c.prevA = c.a;
        c.prevB = c.b;
        c.a += s;
        c.b += s;
        c.x += r.fadeRate;
    }
    return c.a >= e;
}

bool SamTC3_c::headLoop(Run_t& r, Copy_t& c, double e) const
{
    const double L = r.period;
    const bool loop = fullLoop;
    int idle = 0;
    while (r.remaining() > 0) {
        const int before = r.done;
        bool done = false;
        if (e > c.b)
            done = twoHeads(r, c, e);
        else if (!loop)
            done = oneHead(r, c, e);
        else
            done = true;
        // Whole periods at once: the fade may have run far past 0..1 when
        // the time speed and the pitch speed lie far apart.
        if (c.x > 1.0 && e > c.b) {
            const double fades = std::ceil(c.x) - 1.0; // steps of 1 until x <= 1
            const double room = c.a > L ? std::ceil(c.a / L - 1.0) : 0.0; // steps while A > L
            const double back = std::min(fades, room) * L;
            c.a -= back;
            c.b -= back;
            c.prevA -= back;
            c.prevB -= back;
            c.x -= fades;
        } else if (c.x < 0.0 && e > c.b) {
            const double fades = std::ceil(-c.x);
            const double ahead = fades * L;
            c.a += ahead;
            c.b += ahead;
            c.prevA += ahead;
            c.prevB += ahead;
            c.x += fades;
        }
        if (done)
            return loop ? c.b >= e : c.a >= e;
        // A pass that produced nothing twice running cannot go on.
        if (r.done == before && ++idle > 1)
            return true;
        if (r.done != before)
            idle = 0;
    }
    return loop ? c.b >= e : c.a >= e;
}

bool SamTC3_c::renderOne(int n, int copy)
{
    if (!(sampleRate > 1.0f))
        return false;
    if (!playing)
        return true;
    if (n < 1 || !levelIn || !pitchIn || !timeIn)
        return false;
    WaveSample_c& s = *playing;
    // Never wait: a block in which the sample is being changed stays silent,
    // and the note goes on.
    if (!s.lock.getImmediateReadPermission())
        return false;
    if (!s.left || s.frames < 1) {
        s.lock.releaseReadPermission();
        return true;
    }
    if (needsSetUp || (slot && slot->getLoadGeneration() != seenGeneration))
        setUp();
    if (sampleRateOfSample < 2 || !(rootPeriod > 1.0)) {
        s.lock.releaseReadPermission();
        return false;
    }
    Copy_t& c = copies[copySlot(copy)];
    const double e = c.end - 1.0;
    if (c.a >= e) {
        s.lock.releaseReadPermission();
        return true;
    }

    Run_t r;
    r.j = s.left;
    r.level = levelIn;
    r.pitch = pitchIn;
    r.time = timeIn;
    r.n = n;
    r.base = baseSpeed * pitchFactor;
    r.timeRate = timeRate;
    r.period = rootPeriod;
    r.mode = renderMode;
    bool result = false;
    float* mod = nullptr;
    float* out = nullptr;
    const bool cross = renderMode == rmCrossFM || renderMode == rmCrossAM;
    if (renderMode < rmPlain || renderMode > rmCrossAM || (cross && !(inputBus && inputBus->wantReadMono(&mod, true))) ||
        !outputBusA || !outputBusA->wantWriteMono(&out, false) || !out) {
        s.lock.releaseReadPermission();
        return false;
    }
    r.mod = cross ? mod : nullptr;
    r.out = out;

    for (;;) {
        if (c.firstPeriod) {
            const double target = std::min(e, c.start + rootPeriod);
            const bool reached = oneHead(r, c, target);
            if (c.a >= e) {
                result = true;
                break;
            }
            if (reached) {
                c.a = c.start;
                c.prevA = c.start - 1.0;
                c.firstPeriod = false;
            }
        }
        if (r.remaining() <= 0)
            break;
        if (headLoop(r, c, e)) {
            if (!fullLoop) {
                result = true;
                break;
            }
            restartCopy(c);
            continue;
        }
        if (r.remaining() <= 0)
            break;
    }

    s.lock.releaseReadPermission();
    outputBusA->doneWriteMono();
    return result;
}
