#include "Modulator.h"

#include <algorithm>

Modulator_c::~Modulator_c() = default;

void Modulator_c::setSampleRate(float rate)
{
    Part_c::setSampleRate(rate / static_cast<float>(ControlStepFrames));
}

void Modulator_c::quickFadeOut()
{
    Part_c::quickFadeOut();
    if (!slotsReady)
        return;
    stage = QuickFadeStage;
    subStage = 0.0f;
    // 5 ms at the control rate, rounded; below 100 Hz control rate that
    // rounds to 0 steps, and the ramp must still end (and divide by
    // something): at least one step.
    const int steps = toControlSteps(static_cast<double>(sampleRate) * 0.005 + 0.5);
    writeSegment(-*valuePtr / static_cast<float>(steps), steps);
}

void Modulator_c::setPtr(float* value, float* increment, int* remaining)
{
    if (!value || !increment || !remaining)
        return;
    valuePtr = value;
    incrementPtr = increment;
    remainingPtr = remaining;
    *valuePtr = 0.0f;
    *incrementPtr = 0.0f;
    *remainingPtr = ModHoldSteps;
    slotsReady = true;
}

void Modulator_c::goNextPhase() {}

void Modulator_c::writeSegment(float increment, int remaining)
{
    if (!slotsReady)
        return;
    *incrementPtr = increment;
    *remainingPtr = std::clamp(remaining, 1, ModHoldSteps);
}

void Modulator_c::holdSegment()
{
    writeSegment(0.0f, ModHoldSteps);
}
