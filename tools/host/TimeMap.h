// Song time for the headless host: converts MIDI ticks to sample frames
// through the tempo map, and a frame back to the musical position a host
// reports in its time information (quarter notes, tempo, bar start, time
// signature).
#pragma once

#include "MidiFile.h"
#include "VstInterface.h"

#include <cstdint>
#include <vector>

namespace Host {

class TimeMap_c
{
public:
    TimeMap_c(const MidiSong& song, double sampleRate);

    double sampleRate() const { return sampleRate_; }

    // The frame at which an event of this tick sounds (rounded to the nearest frame).
    int64_t tickToFrame(int64_t tick) const;

    struct Position
    {
        double ppq = 0;         // quarter notes since the song start
        double tempo = 120;     // beats per minute
        double barStartPpq = 0; // quarter-note position of the current bar's start
        int numerator = 4;
        int denominator = 4;
    };
    Position positionAt(int64_t frame) const;

private:
    struct TempoSegment
    {
        int64_t tick;
        double startSeconds;
        double startPpq;
        double secondsPerTick;
        double tempo;
    };
    struct MeterSegment
    {
        double startPpq;
        double barPpq; // length of a bar in quarter notes
        int numerator;
        int denominator;
    };

    double sampleRate_;
    double division_;
    std::vector<TempoSegment> tempos_;
    std::vector<MeterSegment> meters_;
};

// The record a host answers to the time request (host opcode 7) for the
// block starting at frame. playing sets the transport bit; changed marks the
// first block after the transport started.
VstTimeInfo makeTimeInfo(const TimeMap_c& map, int64_t frame, bool playing, bool changed);

} // namespace Host
