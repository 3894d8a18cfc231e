// Modulator_c: the base of every modulation source (envelopes, LFOs, glide).
// A modulator renders no samples. It describes its output as a chain of
// linear segments and writes the current one into three slots its owner (a
// voice, or an effect that embeds an LFO) provides:
//   value      the current output (also the modulation source the voice's
//              matrix reads),
//   increment  added to the value once per control step (every
//              ControlStepFrames samples),
//   remaining  control steps left in the segment.
// The owner adds the increment and counts down once per control step; when
// the count reaches 0 it calls goNextPhase() and the modulator writes the
// next segment.
//
// Progress guarantee: every segment a modulator writes lasts at least one
// control step and at most ModHoldSteps (a segment that never ends), so an
// owner that renders "up to the next segment end" always moves forward and
// can still take a step back (remaining + 1) without overflowing.
//
// Threads: setPtr and setSampleRate while audio is stopped (the voice or
// effect binds its slots once); everything else on the audio thread.
#pragma once

#include "Capacities.h"
#include "Part.h"

#include <cmath>
#include <cstdint>

// A duration in control steps as the segment count a modulator may write:
// x truncated toward zero, kept within lo..ModHoldSteps *before* the
// conversion (a 99999 s sustain at 192 kHz is more steps than an int holds);
// NaN gives lo.
inline int toControlSteps(double x, int lo = 1)
{
    if (!(x >= static_cast<double>(lo)))
        return lo;
    if (x >= static_cast<double>(ModHoldSteps))
        return ModHoldSteps;
    return static_cast<int>(x);
}

class Modulator_c : public Part_c
{
public:
    Modulator_c() = default;
    ~Modulator_c() override;

    // Only while audio is stopped: the part runs at rate / ControlStepFrames,
    // so sampleRate is the control rate (one step per 8 samples) everywhere
    // a modulator converts seconds to steps.
    void setSampleRate(float rate) override;
    // Audio thread (voice stolen): stage 99, a linear ramp from the current
    // value to 0 in 5 ms, at least one control step long.
    void quickFadeOut() override;

    // Only while audio is stopped: binds the three output slots (all three
    // non-null, else nothing changes) and writes value 0, increment 0 and
    // the hold count into them. The modulator is ready afterwards.
    virtual void setPtr(float* value, float* increment, int* remaining);
    // Audio thread: the owner's count reached 0; write the next segment.
    // Nothing in the base.
    virtual void goNextPhase();

    using Part_c::getParaSetPtr;

    // The control rate in Hz (-1 before a sample rate is set).
    float getControlRate() const { return sampleRate; }
    bool isSlotsReady() const { return slotsReady; }

    // --- State (audio thread) ------------------------------------------------
    float* valuePtr = nullptr;
    float* incrementPtr = nullptr;
    int* remainingPtr = nullptr;
    // True until a note starts; the envelopes set it again when they finish
    // (their finished flag).
    bool idle = true;
    // LFOs scale their segment lengths by 2^(-2 x speedOffset).
    float speedOffset = 0.0f;
    // Factors of the segment lengths; the envelopes keep the keyboard factor
    // in scale1 and the velocity factor in scale2.
    float scale1 = 1.0f;
    float scale2 = 1.0f;
    // The phase or segment index; 99 while a quick fade-out runs.
    int32_t stage = 0;
    // The concrete modulator's sub-stage; the envelopes and LFOs keep the
    // current segment's target level here.
    float subStage = 0.0f;

    static constexpr int QuickFadeStage = 99;

protected:
    // Writes increment and remaining (kept within 1..ModHoldSteps) into the
    // owner's slots. Only when ready.
    void writeSegment(float increment, int remaining);
    // Writes increment 0 and the hold count: the value stays where it is.
    void holdSegment();

    // Set by setPtr: the slots exist.
    bool slotsReady = false;
};
