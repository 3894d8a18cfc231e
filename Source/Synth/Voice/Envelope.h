// Envelopes: modulators (Modulator.h) that write linear segments at the
// control rate.
//
// Envelope_c adds curved phases: a phase from the current value to a target
// over a number of steps can be cut into up to EnvMaxSubPhases linear
// sub-phases that follow a power curve (curve c below 1: fast start, slow
// end; above 1: slow start, fast end; 1: linear).
//
// EnvADSFR_c ('ME03') is the attack / decay / sustain-fall / release
// envelope; a voice has seven (both generators, two free ones, both filters
// and the amplifier). Phases: 0 attack, 1 decay, 2 sustain/fall (a slow rise
// to 1 or fall to 0, or a hold at the sustain level), 3 release, 4 finished;
// 99 quick fade-out. Times are scaled per note by the key (scale1) and the
// velocity (scale2), and the attack, decay and release times by the part's
// modulation inputs 0, 1 and 2; with "Sync" on every time is a number of
// sixteenths at the host tempo instead.
//
// EnvDAD_c ('ME06') is the delay / attack / decay envelope inside the
// per-voice LFO: 0 delay (at 0), 1 attack (to 1), 2 decay (to 0, or an
// infinite hold at the top), 3 finished.
//
// Threads: getParaSetPtr while audio is stopped; the rest on the audio thread.
#pragma once

#include "Capacities.h"
#include "Modulator.h"

#include <cstdint>

constexpr int TypeCodeEnvADSFR = 0x4D453033; // 'ME03'
constexpr int TypeCodeEnvDAD = 0x4D453036;   // 'ME06'

class Envelope_c : public Modulator_c
{
public:
    // One linear piece of a curved phase.
    struct SubPhase_t
    {
        float endLevel = 0.0f;
        float increment = 0.0f; // per control step
        int32_t length = 0;     // control steps
    };

    Envelope_c() = default;
    ~Envelope_c() override;

    using Part_c::prepProc;
    // Audio thread: the part's note start; unless legato the sub-phases are
    // cleared.
    void prepProc(int instrument, Note_c note, bool keep, bool legato) override;

    // Audio thread: time (seconds) scaled by modulation input `input` (0
    // attack, 1 decay, 2 release): x = clamp(input / 2, -1, 1), and
    // time x P(-x)^4 with the pitch polynomial P, never below 0. +2 shortens a
    // time about 16 times, -2 lengthens it about 16 times.
    virtual void MVvarTime(float& time, int input);

    // Audio thread: cuts the way from the current value to target over
    // `steps` control steps into sub-phases along the curve and returns the
    // first one's increment and length. Nothing is written at a control rate
    // below one step per 12.5 ms (the sub-phase count is then 0).
    void prepSubPhase(float target, int steps, float curve, float* increment, int* length);
    // Audio thread: the next sub-phase's increment and length; false (0, 0)
    // after the last.
    bool nextSubPhase(float* increment, int* length);
    // Audio thread: enters the curve that starts at startLevel part-way, at
    // the point where it passes `level` (clamped to 0.0001..0.9999), and
    // writes value, increment and remaining from there.
    void gotoPosInSubPhases(float startLevel, float level);

    SubPhase_t subPhases[EnvMaxSubPhases] = {};
    int32_t subPhaseIndex = 0;
    int32_t subPhaseCount = 0;

protected:
    void clearSubPhases();
};

class EnvADSFR_c : public Envelope_c
{
public:
    enum Para_t : int {
        pVersion = 0,
        pATime = 1,   // seconds x 1000
        pDTime = 2,   // seconds x 1000
        pSLevel = 3,  // level x 1000
        pFTime = 4,   // -10..10 x 100: > 0 rises to 1, < 0 falls to 0 in 10.01 - |F| s; 0 holds
        pRTime = 5,   // seconds x 1000
        pPitchScal = 6,
        pVelocScal = 7,
        pVelocityAttack = 8, // on: velocity only shortens the attack
        pLogDecay = 9,       // on: curved phases
        pACurve = 10,        // curve x 100, 0.15..1.85
        pDCurve = 11,
        pFCurve = 12,
        pRCurve = 13,
        pSync = 14,
        pASync = 15, // sixteenths x 100
        pDSync = 16,
        pFSync = 17,
        pRSync = 18,
        ParaCount = 19
    };
    enum Phase_t : int { phAttack = 0, phDecay = 1, phSustain = 2, phRelease = 3, phFinished = 4 };

    EnvADSFR_c() = default;
    ~EnvADSFR_c() override;

    int getTypeCode() const override { return TypeCodeEnvADSFR; }
    using Modulator_c::getParaSetPtr;
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;

    using Envelope_c::prepProc;
    // Audio thread: keyboard and velocity factors from the note; unless
    // keep the value starts at 0; unless legato the attack starts.
    void prepProc(int instrument, Note_c note, bool keep, bool legato) override;
    // Audio thread: release from wherever the envelope is.
    void NoteOff(int instrument, Note_c note) override;
    // Audio thread: the next sub-phase or phase.
    void goNextPhase() override;

    // Audio thread: enters phase p (0..3; anything else finishes).
    void gotoPhase(int p);
    // Control steps of phase p: 0 without parameters, for p < 0 or at a
    // control rate <= 0; the hold count for p > 3; else 1..ModHoldSteps.
    // Changes scale2 to 1 for the decay with "Velocity Attack" on.
    int getPhaseLength(int p);
    // Audio thread: stage 4, value 0, holding, finished.
    void finishEnvADSFR();

    bool isFinished() const { return idle; }

    // Set by NoteOff when the release starts in the attack or decay: the
    // release then keeps the slope of a full 1-to-0 release.
    bool releaseFromAttack = false;

private:
    float phaseTarget(int p) const;
    float fallValue() const;
    bool curved() const;
};

class EnvDAD_c : public Envelope_c
{
public:
    enum Para_t : int {
        pVersion = 0,
        pDelayTime = 1,  // seconds x 1000
        pAttackTime = 2, // seconds x 1000
        pDecayTime = 3,  // seconds x 1000; the top value 10001 is infinite
        pPitchScal = 4,
        pVelocScal = 5,
        ParaCount = 6
    };
    enum Phase_t : int { phDelay = 0, phAttack = 1, phDecay = 2, phFinished = 3 };

    EnvDAD_c() = default;
    ~EnvDAD_c() override;

    int getTypeCode() const override { return TypeCodeEnvDAD; }
    using Modulator_c::getParaSetPtr;
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;

    using Envelope_c::prepProc;
    // Audio thread: unless keep the value starts at 0; unless legato the
    // delay starts (ramping the value to 0 over the delay time).
    void prepProc(int instrument, Note_c note, bool keep, bool legato) override;
    void goNextPhase() override;

    // Audio thread: enters phase p (0..2; anything else finishes).
    void gotoPhase(int p);
    // Audio thread: stage 3, value 0, holding, finished.
    void finishEnvDAD();

    bool isFinished() const { return idle; }
};
