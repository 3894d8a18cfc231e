#include "HostOptions.h"

#include "Render.h"

#include <charconv>
#include <cmath>

namespace Host {

const char* const kHostUsage =
    "usage:\n"
    "  tessel-host info PLUGIN [--rate HZ] [--block FRAMES] [--no-idle]\n"
    "  tessel-host render PLUGIN --out FILE.wav [--midi FILE.mid] [--rate HZ] [--block FRAMES]\n"
    "              [--seconds N] [--program N] [--chunk-in FILE] [--chunk-out FILE]\n"
    "              [--param INDEX=VALUE]... [--value INDEX=N]... [--text INDEX=TEXT]...\n"
    "              [--soundfont SLOT=FILE]... [--show-param INDEX]... [--no-idle]\n"
    "  tessel-host wavstats FILE.wav\n"
    "  tessel-host sample FILE [--out DECODED.wav]\n"
    "  tessel-host editor PLUGIN --out FILE.png [--seconds N] [--page N] [--param/--value/--text ...]\n"
    "              (needs an X display, e.g. Xvfb; --page shows upper page 0..6 for the picture)\n"
    "  tessel-host pictures PLUGIN --out DIR   (the editor's own pictures as PNG files)\n"
    "Without --midi, render plays a built-in demo phrase. --param takes 0..1; --value the\n"
    "parameter's own whole number; entries beyond the host parameters, --text and --soundfont\n"
    "(generator slot 1 or 2) go through the plug-in's tooling channel. Exit status: 0 success,\n"
    "1 failure, 2 bad command line.\n";

namespace {

template <typename T>
bool parseWhole(const std::string& text, T& out)
{
    const char* first = text.data();
    const char* last = first + text.size();
    T value{};
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end != last || text.empty())
        return false;
    out = value;
    return true;
}

// INDEX=REST: the index (0 or above) and the text after the first '='.
bool splitSetting(const std::string& text, int& index, std::string& rest)
{
    const size_t eq = text.find('=');
    if (eq == std::string::npos || !parseWhole(text.substr(0, eq), index) || index < 0)
        return false;
    rest = text.substr(eq + 1);
    return true;
}

bool parseSetting(const std::string& option, const std::string& text, EntrySetting& out, std::string& error)
{
    using Kind = EntrySetting::Kind;
    EntrySetting s;
    std::string rest;
    const bool split = splitSetting(text, s.index, rest);
    if (option == "--param") {
        double value = 0;
        s.kind = Kind::Normalised;
        if (!split || !parseWhole(rest, value) || !(value >= 0.0 && value <= 1.0))
            return error = "--param wants INDEX=VALUE with VALUE from 0 to 1, not '" + text + "'", false;
        s.normalised = float(value);
    } else if (option == "--value") {
        s.kind = Kind::Value;
        if (!split || !parseWhole(rest, s.value))
            return error = "--value wants INDEX=N with N a whole number, not '" + text + "'", false;
    } else if (option == "--text") {
        s.kind = Kind::Text;
        if (!split)
            return error = "--text wants INDEX=TEXT, not '" + text + "'", false;
        s.text = rest;
    } else {
        s.kind = Kind::SoundFont;
        if (!split || (s.index != 1 && s.index != 2) || rest.empty())
            return error = "--soundfont wants SLOT=FILE with SLOT 1 or 2 (the generator slots that hold a loop "
                           "sampler), not '" + text + "'",
                   false;
        s.text = rest;
    }
    out = s;
    return true;
}

} // namespace

bool parseHostOptions(const std::vector<std::string>& args, HostOptions& options, std::string& error)
{
    HostOptions o;
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        options = o;
        return true;
    }
    const std::string& command = args[0];
    if (command == "info")
        o.command = Command::Info;
    else if (command == "render")
        o.command = Command::Render;
    else if (command == "wavstats")
        o.command = Command::WavStats;
    else if (command == "sample")
        o.command = Command::Sample;
    else if (command == "editor")
        o.command = Command::Editor;
    else if (command == "pictures")
        o.command = Command::Pictures;
    else
        return error = "unknown command '" + command + "'", false;

    bool havePositional = false;
    for (size_t i = 1; i < args.size(); ++i) {
        std::string arg = args[i];
        std::string value;
        bool inlineValue = false;
        if (arg.rfind("--", 0) == 0) {
            if (const size_t eq = arg.find('='); eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                inlineValue = true;
            }
        }
        auto needValue = [&]() {
            if (inlineValue)
                return true;
            if (i + 1 >= args.size())
                return false;
            value = args[++i];
            return true;
        };
        const bool settingOption = arg == "--param" || arg == "--value" || arg == "--text" || arg == "--soundfont";
        const bool renderOnly = arg == "--midi" || arg == "--out" || arg == "--seconds" || settingOption ||
                                arg == "--program" || arg == "--chunk-in" || arg == "--chunk-out" ||
                                arg == "--show-param";
        const bool hostOption = arg == "--rate" || arg == "--block" || arg == "--no-idle" || arg == "--page";
        if (arg.rfind("--", 0) == 0) {
            if (!renderOnly && !hostOption)
                return error = "unknown option " + arg, false;
            const bool sampleOut = o.command == Command::Sample && arg == "--out";
            const bool editorOption =
                (o.command == Command::Editor && (arg == "--out" || arg == "--seconds" || arg == "--param" ||
                                                  arg == "--value" || arg == "--text")) ||
                (o.command == Command::Pictures && arg == "--out");
            if (arg == "--page" && o.command != Command::Editor)
                return error = arg + " does not apply to " + command, false;
            if (!sampleOut && !editorOption && (o.command == Command::WavStats || o.command == Command::Sample
                               || (renderOnly && o.command != Command::Render)))
                return error = arg + " does not apply to " + command, false;
            if (arg == "--no-idle") {
                if (inlineValue)
                    return error = "--no-idle takes no value", false;
                o.idle = false;
                continue;
            }
            if (!needValue())
                return error = arg + " needs a value", false;
            if (arg == "--midi")
                o.midi = value;
            else if (arg == "--out")
                o.out = value;
            else if (arg == "--chunk-in")
                o.chunkIn = value;
            else if (arg == "--chunk-out")
                o.chunkOut = value;
            else if (arg == "--rate") {
                if (!parseWhole(value, o.sampleRate) || o.sampleRate < 1 || o.sampleRate > kMaxSampleRate)
                    return error = "--rate wants a whole number of Hz from 1 to " +
                                   std::to_string(kMaxSampleRate) + ", not '" + value + "'",
                           false;
            } else if (arg == "--block") {
                if (!parseWhole(value, o.blockFrames) || o.blockFrames < 1 || o.blockFrames > kMaxBlockFrames)
                    return error = "--block wants a whole number of frames from 1 to " +
                                   std::to_string(kMaxBlockFrames) + ", not '" + value + "'",
                           false;
            } else if (arg == "--seconds") {
                double seconds = 0;
                if (!parseWhole(value, seconds) || !(seconds > 0.0 && seconds <= kMaxRenderSeconds))
                    return error = "--seconds wants a length above 0 and at most " +
                                   std::to_string(int(kMaxRenderSeconds)) + ", not '" + value + "'",
                           false;
                o.seconds = seconds;
            } else if (settingOption) {
                EntrySetting setting;
                if (!parseSetting(arg, value, setting, error))
                    return false;
                o.settings.push_back(setting);
            } else if (arg == "--show-param") {
                int index = 0;
                if (!parseWhole(value, index) || index < 0)
                    return error = "--show-param wants a parameter index from 0, not '" + value + "'", false;
                o.shownParameters.push_back(index);
            } else if (arg == "--page") {
                int page = 0;
                if (!parseWhole(value, page) || page < 0 || page > kMaxEditorPage)
                    return error = "--page wants an upper page from 0 to " + std::to_string(kMaxEditorPage) +
                                   ", not '" + value + "'",
                           false;
                o.page = page;
            } else if (arg == "--program") {
                int program = 0;
                if (!parseWhole(value, program) || program < 0)
                    return error = "--program wants a program number from 0, not '" + value + "'", false;
                o.program = program;
            }
            continue;
        }
        if (havePositional)
            return error = "unexpected argument '" + arg + "'", false;
        havePositional = true;
        (o.command == Command::WavStats ? o.wav : o.command == Command::Sample ? o.sample : o.plugin) = arg;
    }

    if (!havePositional)
        return error = command + (o.command == Command::WavStats ? " needs a WAV file"
                                  : o.command == Command::Sample ? " needs a sample file"
                                                                 : " needs a plug-in"),
               false;
    if (o.command == Command::Render && o.out.empty())
        return error = "render needs --out FILE.wav", false;
    if (o.command == Command::Editor && o.out.empty())
        return error = "editor needs --out FILE.png", false;
    if (o.command == Command::Pictures && o.out.empty())
        return error = "pictures needs --out DIR", false;
    options = o;
    return true;
}

} // namespace Host
