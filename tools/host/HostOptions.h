// Command line of tessel-host. Numbers are parsed locale-free and must be
// whole: "48000x" or "1e" is an error, not 48000 or 1.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace Host {

// Longest render the host accepts, in seconds: a float WAV of six channels
// at 96 kHz stays well under the format's 4 GiB this way.
constexpr double kMaxRenderSeconds = 1200;
// Silence rendered after the MIDI file's last event when no length is given.
constexpr double kTailSeconds = 2;
// The editor's upper pages are 0..6 (the tooling channel's page selection).
constexpr int kMaxEditorPage = 6;

enum class Command
{
    Help,
    Info,
    Render,
    WavStats,
    Sample,
    Editor,
    Pictures,
};

// One setting of render's command line, applied in the order given after
// --chunk-in and --program.
struct EntrySetting
{
    enum class Kind
    {
        Normalised, // --param INDEX=VALUE: 0..1
        Value,      // --value INDEX=N: the parameter's own whole number
        Text,       // --text INDEX=TEXT
        SoundFont,  // --soundfont SLOT=FILE: SLOT 1 or 2
    };
    Kind kind = Kind::Normalised;
    int index = 0;          // the entry, or the generator slot of a SoundFont
    float normalised = 0;
    int value = 0;
    std::string text;       // the text, or the SoundFont's file
};

struct HostOptions
{
    Command command = Command::Help;
    std::string plugin;      // info, render, editor
    std::string wav;         // wavstats
    std::string sample;      // sample: the sample file to read
    std::string midi;        // empty: the built-in demo phrase
    std::string out;
    int sampleRate = 48000;
    int blockFrames = 256;
    std::optional<double> seconds;
    // editor: the upper page to show (0..6) before the picture is taken.
    std::optional<int> page;
    std::vector<EntrySetting> settings;
    // Entries whose value and display render prints once the render is
    // done (after --chunk-in and the settings took effect).
    std::vector<int> shownParameters;
    std::optional<int> program;
    std::string chunkIn;
    std::string chunkOut;
    bool idle = true;        // false: --no-idle
};

// args excludes the program name. False with a one-line reason.
bool parseHostOptions(const std::vector<std::string>& args, HostOptions& options, std::string& error);

extern const char* const kHostUsage;

} // namespace Host
