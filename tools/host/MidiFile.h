// Standard MIDI File reading for the headless host: formats 0 and 1, the
// tempo map and time signatures, running status. Every length read from the
// file is checked against the bytes really left, so a damaged file gives an
// error text, never a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace Host {

// A channel message (note, controller, program, pressure, pitch bend) as it
// goes to the plug-in. Sysex and meta events are not delivered.
struct MidiEvent
{
    int64_t tick = 0;    // ticks since the song start
    uint8_t data[3] = {};
    uint8_t size = 0;    // 2 or 3 bytes used
};

struct TempoChange
{
    int64_t tick = 0;
    uint32_t microsPerQuarter = 500000; // 120 beats per minute
};

struct TimeSignature
{
    int64_t tick = 0;
    int numerator = 4;
    int denominator = 4;
};

struct MidiSong
{
    int format = 0;
    int division = 480;                   // ticks per quarter note
    std::vector<MidiEvent> events;        // by tick; ties keep track order, then file order
    std::vector<TempoChange> tempos;      // by tick; starts at tick 0
    std::vector<TimeSignature> signatures; // by tick; starts at tick 0
    int64_t lengthTicks = 0;              // tick of the last event of any track, end-of-track included
};

// Largest MIDI file the host reads; real files are kilobytes.
constexpr size_t kMaxMidiFileBytes = 64u << 20;

// Parses a whole file image. On failure returns false with a one-line reason
// in error and leaves song as it was.
bool parseMidiFile(std::span<const uint8_t> bytes, MidiSong& song, std::string& error);

// Reads and parses a file from disk.
bool readMidiFile(const std::string& path, MidiSong& song, std::string& error);

} // namespace Host
