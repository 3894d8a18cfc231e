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

struct ParameterSetting
{
    int index = 0;
    float value = 0; // normalised 0..1
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
    std::vector<ParameterSetting> parameters;
    // Parameters whose value and display render prints once the render is
    // done (after --chunk-in and --param took effect).
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
