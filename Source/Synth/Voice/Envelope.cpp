#include "Envelope.h"

#include "ParaRow.h"
#include "SafeDiv.h"
#include "Synth.h"

#include <algorithm>
#include <cmath>

namespace {

// A value this close to 0 counts as silent: the envelope may finish.
constexpr float SilentLevel = 0.0001f;

// Steps of one sub-phase unit: curved phases get one linear piece per 12.5 ms.
constexpr double SubPhaseUnitSeconds = 0.0125;

// Below this level difference a curved phase is a single linear piece.
constexpr float FlatDifference = 0.02f;

// The sustain phase without a fall: a hold as good as endless.
constexpr float EndlessSustainSeconds = 99999.0f;

} // namespace

// ---------------------------------------------------------------------------
// Envelope_c

Envelope_c::~Envelope_c() = default;

void Envelope_c::clearSubPhases()
{
    std::fill(std::begin(subPhases), std::end(subPhases), SubPhase_t{});
    subPhaseIndex = 0;
    subPhaseCount = 0;
}

void Envelope_c::prepProc(int instrument, Note_c n, bool keep, bool legato)
{
    Modulator_c::prepProc(instrument, n, keep, legato);
    if (!legato)
        clearSubPhases();
}

void Envelope_c::MVvarTime(float& time, int input)
{
    const float* m = getModVectorAdr(input);
    double x = m ? static_cast<double>(*m) * 0.5 : 0.0;
    if (!(x == x))
        x = 0.0;
    x = std::clamp(x, -1.0, 1.0);
    // The modulation-input pitch polynomial, read backwards: a positive input
    // makes the time shorter the way a positive pitch input makes a period
    // shorter.
    const double y = -x;
    const double p = 1.0 + 0.695218770961068 * y + 0.2480732860777168 * y * y + 0.05362607007876781 * y * y * y;
    const double p2 = p * p;
    time = std::max(0.0f, static_cast<float>(static_cast<double>(time) * p2 * p2));
}

void Envelope_c::prepSubPhase(float target, int steps, float curve, float* increment, int* length)
{
    if (!slotsReady || !increment || !length)
        return;
    const int unit = static_cast<int>(static_cast<double>(sampleRate) * SubPhaseUnitSeconds);
    if (unit <= 0) {
        // No curve at such a rate: the caller's linear segment stands, and no
        // stale pieces of an earlier phase may follow it.
        clearSubPhases();
        return;
    }
    const float s = *valuePtr;
    int n = 1;
    if (std::fabs(s - target) > FlatDifference)
        n = std::clamp(static_cast<int>(static_cast<double>(steps) / unit + 0.5), 1, EnvMaxSubPhases);

    const double c = curve;
    float previous = s;
    long long used = 0;
    for (int k = 0; k < n; ++k) {
        const double t = (k + 1) * (0.999999 / n);
        const double f = c > 1.0 ? std::pow(t, 1.0 / (2.0 - c)) : 1.0 - std::pow(1.0 - t, 1.0 / c);
        const float level = static_cast<float>(s + f * (static_cast<double>(target) - s));
        const int len = static_cast<int>(std::max<long long>(1, (steps - used) / (n - k)));
        subPhases[k].endLevel = level;
        subPhases[k].length = len;
        subPhases[k].increment = (level - previous) / static_cast<float>(len);
        previous = level;
        used += len;
    }
    subPhaseCount = n;
    subPhaseIndex = 0;
    *increment = subPhases[0].increment;
    *length = subPhases[0].length;
}

bool Envelope_c::nextSubPhase(float* increment, int* length)
{
    if (subPhaseIndex + 1 < subPhaseCount) {
        ++subPhaseIndex;
        *increment = subPhases[subPhaseIndex].increment;
        *length = subPhases[subPhaseIndex].length;
        return true;
    }
    *increment = 0.0f;
    *length = 0;
    return false;
}

void Envelope_c::gotoPosInSubPhases(float startLevel, float level)
{
    if (!slotsReady)
        return;
    level = std::clamp(level, 0.0001f, 0.9999f);
    float from = startLevel;
    for (int k = 0; k < subPhaseCount; ++k) {
        SubPhase_t& sp = subPhases[k];
        const float to = sp.endLevel;
        if (level >= std::min(from, to) && level <= std::max(from, to)) {
            float f;
            if (to == from)
                f = sp.increment != 0.0f ? 1.0f : 0.0f;
            else
                f = std::min(1.0f, (level - from) / (to - from));
            sp.length = std::max(1, sp.length - static_cast<int>(static_cast<float>(sp.length) * f));
            subPhaseIndex = k;
            *valuePtr = level;
            writeSegment(sp.increment, sp.length);
            return;
        }
        from = to;
    }
    // Not on the curve: one still step at the level, then what follows the
    // last piece.
    if (subPhaseCount > 0)
        subPhaseIndex = subPhaseCount - 1;
    *valuePtr = level;
    writeSegment(0.0f, 1);
}

// ---------------------------------------------------------------------------
// EnvADSFR_c

EnvADSFR_c::~EnvADSFR_c() = default;

bool EnvADSFR_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    return defineParas(shared, nSets, ParaCount, {
        {.index = pATime, .name = "A Time", .unit = "sec", .logFactor = 4.0f, .lo = 1, .hi = 10000, .precision = 3,
         .def = 1},
        {.index = pDTime, .name = "D Time", .unit = "sec", .logFactor = 4.0f, .lo = 1, .hi = 10000, .precision = 3,
         .def = 1},
        {.index = pSLevel, .name = "S Level", .logFactor = 2.0f, .lo = 0, .hi = 1000, .precision = 3, .def = 1000},
        {.index = pFTime, .name = "F Time", .lo = -1000, .hi = 1000, .precision = 2, .def = 0},
        {.index = pRTime, .name = "R Time", .unit = "sec", .logFactor = 4.0f, .lo = 1, .hi = 10000, .precision = 3,
         .def = 1},
        {.index = pPitchScal, .name = "Pitch Scal", .unit = "%", .lo = -100, .hi = 100, .precision = 0, .def = 0},
        {.index = pVelocScal, .name = "Veloc.Scal", .unit = "%", .lo = -100, .hi = 100, .precision = 0, .def = 0},
        {.index = pVelocityAttack, .kind = ParaKind::OnOff, .name = "Velocity Attack", .def = 1},
        {.index = pLogDecay, .kind = ParaKind::OnOff, .name = "Log Decay", .def = 0},
        {.index = pACurve, .name = "A c", .lo = 15, .hi = 185, .precision = 2, .def = 71},
        {.index = pDCurve, .name = "D c", .lo = 15, .hi = 185, .precision = 2, .def = 33},
        {.index = pFCurve, .name = "F c", .lo = 15, .hi = 185, .precision = 2, .def = 90},
        {.index = pRCurve, .name = "R c", .lo = 15, .hi = 185, .precision = 2, .def = 33},
        {.index = pSync, .kind = ParaKind::OnOff, .name = "Sync", .def = 0},
        {.index = pASync, .name = "ASync", .unit = "16th", .lo = 0, .hi = 9600, .precision = 2, .def = 100},
        {.index = pDSync, .name = "DSync", .unit = "16th", .lo = 0, .hi = 9600, .precision = 2, .def = 100},
        {.index = pFSync, .name = "FSync", .unit = "16th", .lo = -9600, .hi = 9600, .precision = 2, .def = 0},
        {.index = pRSync, .name = "RSync", .unit = "16th", .lo = 0, .hi = 9600, .precision = 2, .def = 100},
    });
}

bool EnvADSFR_c::curved() const
{
    return renderParameters && renderParameters[pLogDecay].value != 0;
}

float EnvADSFR_c::fallValue() const
{
    const Parameter_c* p = renderParameters;
    if (!p)
        return 0.0f;
    return p[pSync].value != 0 ? p[pFSync].fl : p[pFTime].fl;
}

float EnvADSFR_c::phaseTarget(int p) const
{
    switch (p) {
    case phAttack:
        return 1.0f;
    case phDecay:
        return renderParameters[pSLevel].fl;
    case phSustain: {
        const float fall = fallValue();
        if (fall > 0.0f)
            return 1.0f;
        if (fall < 0.0f)
            return 0.0f;
        return renderParameters[pSLevel].fl;
    }
    default:
        return 0.0f;
    }
}

void EnvADSFR_c::prepProc(int instrument, Note_c n, bool keep, bool legato)
{
    Envelope_c::prepProc(instrument, n, keep, legato);
    const Parameter_c* p = renderParameters;
    if (!p || !slotsReady)
        return;
    scale1 = 1.0f;
    scale2 = 1.0f;
    applyKeyboardScaling(&scale1, p[pPitchScal].fl * -0.01f);
    applyVelocityScaling(&scale2, p[pVelocScal].fl * 0.01f);
    // The attack divides by it.
    scale2 = std::clamp(scale2, 1e-7f, 1e6f);
    if (!keep)
        *valuePtr = 0.0f;
    if (!legato) {
        idle = false;
        gotoPhase(phAttack);
    }
}

int EnvADSFR_c::getPhaseLength(int p)
{
    const Parameter_c* para = renderParameters;
    if (!para || p < 0 || !(sampleRate > 0.0f))
        return 0;
    if (p > phRelease)
        return ModHoldSteps;
    // Seconds and steps in single precision like the parameters, so a stored
    // 0.01 s at 48 kHz is 60 steps and not 59.99999.
    float seconds;
    if (para[pSync].value != 0) {
        // Sixteenths x 30 / BPM, as the synced times have always been read.
        static constexpr int syncPara[4] = {pASync, pDSync, pFSync, pRSync};
        seconds = static_cast<float>(std::fabs(static_cast<double>(para[syncPara[p]].fl)) *
                                     so_ddiv(30.0, Bpm.load(std::memory_order_relaxed)));
    } else {
        float t = 0.0f;
        switch (p) {
        case phAttack:
            t = so_fdiv(para[pATime].fl * scale1, scale2);
            MVvarTime(t, 0);
            break;
        case phDecay:
            // With "Velocity Attack" the velocity shortens the attack only:
            // from here on the factor is 1.
            if (para[pVelocityAttack].value != 0)
                scale2 = 1.0f;
            t = para[pDTime].fl * scale1 * scale2;
            MVvarTime(t, 1);
            break;
        case phSustain:
            t = para[pFTime].value != 0 ? (10.01f - std::fabs(para[pFTime].fl)) * scale1 * scale2
                                        : EndlessSustainSeconds;
            break;
        default:
            t = para[pRTime].fl * scale1 * scale2;
            MVvarTime(t, 2);
            break;
        }
        seconds = t;
    }
    return toControlSteps(static_cast<double>(seconds * sampleRate));
}

void EnvADSFR_c::gotoPhase(int p)
{
    if (!slotsReady)
        return;
    const Parameter_c* para = renderParameters;
    if (!para || p < phAttack || p > phRelease) {
        finishEnvADSFR();
        return;
    }
    float& value = *valuePtr;
    const float old = value;
    stage = p;
    // A release that starts in the attack or decay runs as if from 1.0, entered
    // at the current level: it keeps the slope (or curve) of a full release.
    const bool restart = p == phRelease && releaseFromAttack;
    if (restart)
        value = 1.0f;
    const float target = phaseTarget(p);
    subStage = target;
    // Before a sample rate is known the length is 0; the phase still takes a
    // step rather than divide by nothing.
    int steps = std::max(getPhaseLength(p), 1);
    float increment = (target - value) / static_cast<float>(steps);

    // A sustain at 0 with nothing to rise to is silence: finish now. The fall
    // that counts is the one the target came from ("FSync" when synced), so a
    // synced rise from 0 is not cut off.
    if (p == phSustain && std::fabs(value) < SilentLevel && fallValue() == 0.0f) {
        finishEnvADSFR();
        return;
    }
    const bool isCurved = curved();
    if (isCurved) {
        static constexpr int curvePara[4] = {pACurve, pDCurve, pFCurve, pRCurve};
        prepSubPhase(target, steps, para[curvePara[p]].fl, &increment, &steps);
    } else {
        clearSubPhases();
    }
    writeSegment(increment, steps);

    if (restart) {
        if (!isCurved) {
            value = old;
            writeSegment(increment, toControlSteps(static_cast<double>(steps) * old));
        } else {
            gotoPosInSubPhases(1.0f, old);
        }
    }
}

void EnvADSFR_c::goNextPhase()
{
    if (!slotsReady)
        return;
    // The end of a quick fade-out is the end of the envelope: the voice
    // waits for it to finish.
    if (stage == QuickFadeStage) {
        finishEnvADSFR();
        return;
    }
    if (curved()) {
        float increment = 0.0f;
        int length = 0;
        if (nextSubPhase(&increment, &length)) {
            writeSegment(increment, length);
            return;
        }
    }
    // The phase's steps have run out: it ends exactly on its target. The
    // value was built up by adding a float increment once per step, and over
    // a long ramp the rounding leaves it off by up to about 1e-3, enough to
    // miss the silence test below and hold a voice for good.
    if (stage >= phAttack && stage <= phRelease)
        *valuePtr = subStage;
    switch (stage) {
    case phAttack:
        gotoPhase(phDecay);
        break;
    case phDecay:
        gotoPhase(phSustain);
        break;
    case phSustain:
        // The sustain holds at its target; at 0 it is over.
        holdSegment();
        if (std::fabs(*valuePtr) < SilentLevel)
            finishEnvADSFR();
        break;
    case phRelease:
        finishEnvADSFR();
        break;
    default:
        holdSegment();
        break;
    }
}

void EnvADSFR_c::NoteOff(int instrument, Note_c n)
{
    Envelope_c::NoteOff(instrument, n);
    if (!slotsReady)
        return;
    if (!idle) {
        releaseFromAttack = stage < phSustain;
        gotoPhase(phRelease);
    } else {
        *remainingPtr = ModHoldSteps;
    }
}

void EnvADSFR_c::finishEnvADSFR()
{
    if (!slotsReady)
        return;
    stage = phFinished;
    subStage = 0.0f;
    *valuePtr = 0.0f;
    holdSegment();
    clearSubPhases();
    idle = true;
}

// ---------------------------------------------------------------------------
// EnvDAD_c

EnvDAD_c::~EnvDAD_c() = default;

bool EnvDAD_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    return defineParas(shared, nSets, ParaCount, {
        {.index = pDelayTime, .name = "D Time", .unit = "sec", .logFactor = 4.0f, .lo = 0, .hi = 10000,
         .precision = 3, .def = 0},
        {.index = pAttackTime, .name = "A Time", .unit = "sec", .logFactor = 4.0f, .lo = 0, .hi = 10000,
         .precision = 3, .def = 0},
        {.index = pDecayTime, .name = "D Time", .unit = "sec", .logFactor = 4.0f, .lo = 1, .hi = 10001,
         .precision = 3, .def = 10001, .infiniteHi = true},
        {.index = pPitchScal, .name = "Pitch Scal", .unit = "%", .lo = -100, .hi = 100, .precision = 0, .def = 0},
        {.index = pVelocScal, .name = "Veloc.Scal", .unit = "%", .lo = -100, .hi = 100, .precision = 0, .def = 0},
    });
}

void EnvDAD_c::prepProc(int instrument, Note_c n, bool keep, bool legato)
{
    Envelope_c::prepProc(instrument, n, keep, legato);
    const Parameter_c* p = renderParameters;
    if (!p || !valuePtr)
        return;
    scale1 = 1.0f;
    scale2 = 1.0f;
    if (!keep)
        *valuePtr = 0.0f;
    if (legato)
        return;
    idle = false;
    if (!slotsReady)
        return;
    stage = phDelay;
    subStage = 0.0f;
    const int steps = toControlSteps(static_cast<double>(sampleRate * p[pDelayTime].fl * so_fdiv(scale1, scale2)));
    writeSegment(-*valuePtr / static_cast<float>(steps), steps);
}

void EnvDAD_c::gotoPhase(int p)
{
    if (!slotsReady)
        return;
    const Parameter_c* para = renderParameters;
    if (!para || p < phDelay || p > phDecay) {
        finishEnvDAD();
        return;
    }
    stage = p;
    const float target = p == phAttack ? 1.0f : 0.0f;
    subStage = target;
    int steps;
    if (p == phDecay && para[pDecayTime].getInfinite()) {
        steps = ModHoldSteps;
    } else {
        float t;
        if (p == phDelay)
            t = para[pDelayTime].fl * so_fdiv(scale1, scale2);
        else if (p == phAttack)
            t = para[pAttackTime].fl * so_fdiv(scale1, scale2);
        else
            t = para[pDecayTime].fl * scale1 * scale2;
        steps = toControlSteps(static_cast<double>(t * sampleRate));
    }
    writeSegment((target - *valuePtr) / static_cast<float>(steps), steps);
}

void EnvDAD_c::goNextPhase()
{
    if (!slotsReady)
        return;
    switch (stage) {
    case phDelay:
        gotoPhase(phAttack);
        break;
    case phAttack:
        gotoPhase(phDecay);
        break;
    case phDecay:
    case QuickFadeStage:
        finishEnvDAD();
        break;
    default:
        holdSegment();
        break;
    }
}

void EnvDAD_c::finishEnvDAD()
{
    if (!slotsReady)
        return;
    stage = phFinished;
    subStage = 0.0f;
    *valuePtr = 0.0f;
    holdSegment();
    idle = true;
}
