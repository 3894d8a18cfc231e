// VUDriver_c: turns the peak level of an effect's output into a stepped meter
// value with peak hold and decay, and sends it to the editor through the
// queue toward the idle side (command 28: the part's setPara01 of the display
// parameter, then a redraw).
//
// The meter value is one of n + 1 steps: segment i (0 the top) is lit when
// the peak reaches its threshold, and the value is (n - i) / n for the first
// lit segment, 0 when none is. A new peak is held for 0.2 s, then decays by
// 0.9 per idle call; the value is sent every 0.2 s of samples.
//
// Threads: updateVU and idleVU run on the thread that renders the effect (the
// audio thread) and never allocate or wait. The value crosses to the idle
// side only through the command record, which points at one of the driver's
// step values: those are fixed when the driver is built, so the idle side
// never reads a double the audio thread is writing.
#pragma once

#include "Capacities.h"

class Part_c;
class Synth;

class VUDriver_c
{
public:
    // The segment count is kept as given; only the first VUMeterSegments
    // thresholds exist, so at most that many segments can light.
    VUDriver_c(Synth* synth, Part_c* part, int paramIndex, int segments);

    // The meter value of a peak (linear level).
    double getMaxAudioTransmit(float peak) const;
    // A peak above the stored one is stored and held (a peak that is not a
    // finite number is ignored); then idleVU(samples).
    void updateVU(float peak, int samples);
    // Sends the stored peak's value when the send countdown has run out and
    // restarts it; then counts both countdowns down by samples (a negative
    // count as 0) and, once the hold has run out, lets the stored peak decay.
    void idleVU(int samples);

    float getPeak() const { return peak; }
    double getSentValue() const { return sentValue; }

    // Linear peak levels that light segment 0 (the top) .. 7.
    static constexpr float Thresholds[VUMeterSegments] = {1.0f,   0.71f,   0.5f,     0.25f,
                                                          0.125f, 0.0625f, 0.03125f, 0.015625f};

private:
    // Index into stepValues of a peak's meter value (VUMeterSegments: 0).
    int stepOf(float peak) const;
    // Samples in 0.2 s at the engine's sample rate (0 while it is unknown).
    int countdownSamples() const;

    Synth* synth;
    Part_c* part;
    int paramIndex;
    float peak = 0.0f;
    double sentValue = 0.0;
    int holdCountdown = 0; // samples until the peak starts to decay
    int idleCountdown = 0; // samples until the value is sent again
    int segments;
    double inverseSegments; // 1 / segments, by safe division
    // (segments - i) / segments for i = 0 .. VUMeterSegments - 1, then 0.0.
    // Written only by the constructor: command records point at them.
    double stepValues[VUMeterSegments + 1];
};
