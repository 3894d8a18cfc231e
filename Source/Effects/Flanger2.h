// Flanger2_c ("VFL1"): the stereo flanger effect. One short delay line per
// channel, a triangle sweep whose right phase is offset from the left by a
// set angle, feedback that can be inverted, an inversion of the wet signal,
// and an amplitude pan movement driven by the left sweep. The sweep rate is
// free or follows the host tempo.
//
// The sweep targets are formed in double precision from a write counter that
// is folded back by whole lines, so a flanger that has run for hours sweeps
// as smoothly as a fresh one; the line is sized from the longest delay a tap
// can reach (the deepest sweep at the longest time) plus the control step a
// tap trails its target by.
//
// Flanger2R_c is the serial-slot form: it stores its output instead of
// adding it.
//
// Threads: construction, setSampleRate and the destructor while audio is
// stopped; getParaSetPtr, cachePara, setActive, setInactive and resume on the
// user-interface thread; render and the tempo refresh on the audio thread.
// setInactive waits for the render to leave before it frees the lines.
#pragma once

#include "LineEffect.h"
#include "Parameter.h"
#include "SerialVariant.h"

#include <cstdint>

constexpr int TypeCodeFlanger2 = 0x56464C31; // 'VFL1'

class Flanger2_c : public SwitchedLineEffect_c
{
public:
    enum Para_t : int {
        pVersion = 0,
        pOnOff = 1,
        pWet = 2,
        pInvertWet = 3, // named "InvertFeedback" like 6, but it inverts the wet signal
        pTime = 4,      // ms, 0.01..85.00
        pFeed = 5,      // 0.000..0.999
        pInvertFeedback = 6,
        pPhase = 7,     // degrees of the right sweep's offset
        pModRate = 8,   // Hz
        pSync = 9,      // note value, -13 (" Off ") .. 26
        pTimeDepth = 10,
        pPanDepth = 11,
        ParaCount = 12
    };

    Flanger2_c();
    ~Flanger2_c() override;

    using LineEffect_c::getParaSetPtr;
    using LineEffect_c::render;

    // Taps to 0 and the write counter to L / 2; the sweep phase goes on.
    void resume() override;
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    // Left line +1e-7, -1e-7 alternately, the right line the opposite.
    void initBuffer() override;
    int getTypeCode() const override { return TypeCodeFlanger2; }
    // The sweep rate for every reason; the rest except for a tempo change.
    void cachePara(CacheReason_t reason, int set, int idx) override;
    // Ready with both lines.
    void checkSetFlagReady() override;
    // Audio thread.
    void render(int n) override;
    // Ring-out at the feedback plus 0.1 s; 0 without a parameter set.
    float getFadeTime() override;

    // The triangle of a sweep phase (0..1): -1 at 0, 1 at 0.5.
    static float triangle(float phase);
    int getLineLength() const { return lineLength; }
    double tapDistance(int side) const { return static_cast<double>(writeCounter) - position[side]; }
    // The sweep values of the current control step (left, right).
    float getSweepLeft() const { return sweepLeft; }
    float getSweepRight() const { return sweepRight; }

    // Cached (written by the refreshing thread, read per control step).
    RelaxedAtomic_t<float> phaseIncrement = 0.0f; // per control step
    RelaxedAtomic_t<float> wet = 0.0f;            // signed
    RelaxedAtomic_t<float> delayTime = 0.0f;      // seconds
    RelaxedAtomic_t<float> delayLength = 0.0f;    // samples
    RelaxedAtomic_t<float> feedback = 0.0f;       // signed
    RelaxedAtomic_t<float> phaseOffset = 0.0f;    // degrees
    RelaxedAtomic_t<float> timeDepth = 0.0f;
    RelaxedAtomic_t<float> panDepth = 0.0f;

protected:
    void allocateBuffer() override;
    void releaseLines() override;

private:
    void updateSweep();

    float* lines[2] = {nullptr, nullptr};
    int32_t lineLength = 0; // L, a power of two
    int32_t mask = 0;
    int32_t writeCounter = 0;
    double position[2] = {0.0, 0.0};
    double rate[2] = {0.0, 0.0};
    float phase = 0.0f; // 0..1
    float sweepLeft = 0.0f;
    float sweepRight = 0.0f;
};

using Flanger2R_c = SerialVariant_c<Flanger2_c>;
