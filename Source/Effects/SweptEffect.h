// SweptEffect_c: what the instrument effects "FILTER" (GloFil_c) and "PHASER"
// (Phaser1S_c) share to sweep themselves with a triangle LFO that runs free
// in hertz or follows a note value of the host tempo.
//
// The LFO is a module of its own (public member `lfo`): the module graph
// registers it beside the effect, which gives it its parameter set and its
// sample rate. The effect writes the LFO's waveform, speed and note value and
// steps its output ramp once per control step of 8 samples; a carry keeps the
// ramp in step over blocks that are not a multiple of 8 samples.
//
// Threads: construction while audio is stopped; resume on the host's thread
// while audio is stopped; followSweepParas on the thread that changed
// a parameter; stepSweep and repairSweep on the audio thread.
#pragma once

#include "LFO.h"
#include "Parameter.h"
#include "Variator.h"

class SweptEffect_c : public VariatorInst_c
{
public:
    using VariatorInst_c::render;
    using VariatorInst_c::getParaSetPtr;

    // Binds the LFO's output ramp to the three LFO fields.
    SweptEffect_c();

    // Host's thread, audio stopped: after the part's handling, the LFO
    // becomes a triangle and starts again (note 60, velocity 100) on the
    // effect's current set.
    void resume() override;

    // Audio thread state, public for the tests.
    LFOSimp_c lfo;
    float lfoValue = 0.0f;
    float lfoIncrement = 0.0f;
    int lfoRemaining = 0;
    // Samples by which the control steps have run behind the blocks; a step
    // is taken back whenever it exceeds one control step.
    int carry = 0;

protected:
    // After a change of parameter idx in set (-1: all of them): when idx is
    // -1, speedPara or notesPara, the LFO's speed (speedPara's value divided
    // by speedDivisor, in whole hundredths of a hertz) and note value follow
    // the set's values.
    void followSweepParas(int set, int idx, int speedPara, int speedDivisor, int notesPara);
    // One control step before the last remainingInBlock samples of a block:
    // the ramp moves on (taken back by the carry rule) and the LFO enters its
    // next phase when the ramp has run out.
    void stepSweep(int remainingInBlock);
    // A ramp that is no longer finite (one bad block) starts again at rest.
    void repairSweep();
};
