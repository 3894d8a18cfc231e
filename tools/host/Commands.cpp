#include "Commands.h"

#include "DemoPhrase.h"
#include "EventScheduler.h"
#include "Guards.h"
#include "PluginHost.h"
#include "Render.h"
#include "TimeMap.h"
#include "ToolingClient.h"
#include "WavFile.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <ostream>

namespace Host {

namespace {

std::string number(double v)
{
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, v, std::chars_format::general, 9);
    return std::string(text, result.ptr);
}

std::string hex32(uint32_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", v);
    return text;
}

// A four-character code as text, first character in the most significant
// byte; unprintable bytes show as '.'.
std::string fourCC(int32_t code)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char((uint32_t(code) >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '.';
    }
    return text;
}

std::string quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

std::string flagNames(int32_t flags)
{
    static constexpr std::pair<int32_t, const char*> kNames[] = {
        {effFlagsHasEditor, "hasEditor"},         {effFlagsHasClip, "hasClip"},
        {effFlagsHasVu, "hasVu"},                 {effFlagsCanMono, "canMono"},
        {effFlagsCanReplacing, "canReplacing"},   {effFlagsProgramChunks, "programChunks"},
        {effFlagsIsSynth, "isSynth"},             {effFlagsNoSoundInStop, "noSoundInStop"},
        {effFlagsExtIsAsync, "extIsAsync"},       {effFlagsExtHasBuffer, "extHasBuffer"},
        {effFlagsCanDoubleReplacing, "canDoubleReplacing"},
    };
    std::string text;
    for (const auto& [bit, name] : kNames)
        if (flags & bit)
            text += (text.empty() ? "" : " ") + std::string(name);
    return text;
}

// Plug-in abilities a host typically asks about.
constexpr const char* kPluginCanDos[] = {
    "sendVstEvents", "sendVstMidiEvent", "receiveVstEvents", "receiveVstMidiEvent", "receiveVstTimeInfo",
    "offline",       "midiProgramNames", "bypass",
};

int reportFaults(const PluginHost_c& host, std::ostream& err)
{
    const auto faults = host.faults();
    if (faults.empty())
        return 0;
    err << "tessel-host: " << faults.size() << " plug-in fault(s); the first: " << faults.front() << "\n";
    return 1;
}

bool readWholeFile(const std::string& path, std::vector<char>& bytes, std::string& error)
{
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file)
        return error = "cannot open " + path, false;
    const std::streamoff size = file.tellg();
    if (size < 0 || uint64_t(size) > kMaxChunkBytes)
        return error = path + " is larger than " + std::to_string(kMaxChunkBytes) + " bytes", false;
    bytes.resize(size_t(size));
    file.seekg(0);
    if (size > 0 && !file.read(bytes.data(), size))
        return error = "cannot read " + path, false;
    return true;
}

// Writes beside the target and renames, so a failed write keeps the old file.
bool writeWholeFile(const std::string& path, const char* data, size_t size, std::string& error)
{
    const std::string temp = path + ".part";
    {
        std::ofstream file(temp, std::ios::binary | std::ios::trunc);
        if (file)
            file.write(data, std::streamsize(size));
        file.close();
        if (!file) {
            std::remove(temp.c_str());
            return error = "cannot write " + temp, false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return error = "cannot move " + temp + " to " + path, false;
    }
    return true;
}

// The render's settings in their order: host parameters through the host's
// own call, the rest through the tooling channel. Each is reported.
bool applySettings(PluginHost_c& host, ToolingClient_c& tooling, const std::vector<EntrySetting>& settings,
                   std::ostream& out, std::string& error)
{
    using Kind = EntrySetting::Kind;
    AEffect* e = host.effect();
    for (const EntrySetting& s : settings) {
        const std::string index = std::to_string(s.index);
        Tooling::Request answer;
        std::string why;
        switch (s.kind) {
        case Kind::Normalised:
            if (s.index < e->numParams) {
                e->setParameter(e, s.index, s.normalised);
                continue;
            }
            if (!tooling.setNormalised(s.index, s.normalised, answer, why))
                return error = "--param " + index + "=" + number(s.normalised) + ": " + why, false;
            break;
        case Kind::Value:
            if (!tooling.setValue(s.index, s.value, answer, why))
                return error = "--value " + index + "=" + std::to_string(s.value) + ": " + why, false;
            break;
        case Kind::Text:
            if (!tooling.setText(s.index, s.text, answer, why))
                return error = "--text " + index + ": " + why, false;
            break;
        case Kind::SoundFont:
            if (!importSoundFont(tooling, s.index, s.text, why))
                return error = why, false;
            out << "soundfont: generator slot " << index << " plays " << quoted(s.text) << "\n";
            continue;
        }
        out << "entry " << index << ": value=" << number(answer.normalised) << " own=" << answer.value
            << " display=" << quoted(answer.display) << "\n";
    }
    return true;
}

void prepare(PluginHost_c& host, const HostOptions& o)
{
    host.dispatch(effOpen);
    host.dispatch(effSetSampleRate, 0, 0, nullptr, float(o.sampleRate));
    host.dispatch(effSetBlockSize, 0, o.blockFrames);
}

} // namespace

bool applyEntrySettings(PluginHost_c& host, ToolingClient_c& tooling, const std::vector<EntrySetting>& settings,
                        std::ostream& out, std::string& error)
{
    return applySettings(host, tooling, settings, out, error);
}

int runInfo(const HostOptions& o, std::ostream& out, std::ostream& err)
{
    PluginHost_c host({o.idle, &err});
    host.setTimeline(MidiSong{}, o.sampleRate);
    std::string error;
    if (!host.load(o.plugin, error)) {
        err << "tessel-host: " << error << "\n";
        return 1;
    }

    // The record as the entry returned it, before any opcode.
    const AEffect* e = host.effect();
    out << "plugin: " << o.plugin << "\n"
        << "entry: " << host.entryName() << "\n"
        << "magic: " << fourCC(e->magic) << " (" << hex32(uint32_t(e->magic)) << ")\n"
        << "uniqueID: " << fourCC(e->uniqueID) << " (" << hex32(uint32_t(e->uniqueID)) << ", " << e->uniqueID
        << ")\n"
        << "version: " << e->version << "\n"
        << "numPrograms: " << e->numPrograms << "\n"
        << "numParams: " << e->numParams << "\n"
        << "numInputs: " << e->numInputs << "\n"
        << "numOutputs: " << e->numOutputs << "\n"
        << "flags: " << hex32(uint32_t(e->flags)) << " (" << flagNames(e->flags) << ")\n"
        << "initialDelay: " << e->initialDelay << "\n"
        << "ioRatio: " << number(e->ioRatio) << "\n"
        << "processReplacing: " << (e->processReplacing ? "yes" : "no") << "\n"
        << "processDoubleReplacing: " << (e->processDoubleReplacing ? "yes" : "no") << "\n";
    const int numPrograms = e->numPrograms;
    const int numParams = e->numParams;
    const int numInputs = e->numInputs;
    const int numOutputs = e->numOutputs;

    prepare(host, o);
    intptr_t answer = 0;
    out << "effectName: " << quoted(host.queryText(effGetEffectName, 0, 0, kEffectNameBytes)) << "\n";
    out << "vendor: " << quoted(host.queryText(effGetVendorString, 0, 0, kVendorTextBytes)) << "\n";
    out << "product: " << quoted(host.queryText(effGetProductString, 0, 0, kProductTextBytes)) << "\n";
    out << "vendorVersion: " << host.dispatch(effGetVendorVersion) << "\n";
    out << "vstVersion: " << host.dispatch(effGetVstVersion) << "\n";
    out << "category: " << host.dispatch(effGetPlugCategory) << "\n";
    for (const char* what : kPluginCanDos) {
        std::string text = what; // the dispatcher takes a non-const pointer
        out << "canDo " << what << ": " << host.dispatch(effCanDo, 0, 0, text.data()) << "\n";
    }

    auto listPins = [&](int32_t opcode, int count, const char* kind) {
        for (int i = 0; i < std::min(count, kMaxPins); ++i) {
            VstPinProperties pin{};
            const bool known = host.queryPin(opcode, i, pin);
            out << kind << " " << i << ": ";
            if (known)
                out << "label=" << quoted(pin.label) << " shortLabel=" << quoted(pin.shortLabel)
                    << " flags=" << pin.flags << " arrangement=" << pin.arrangementType << "\n";
            else
                out << "(no properties)\n";
        }
    };
    listPins(effGetInputProperties, numInputs, "input");
    listPins(effGetOutputProperties, numOutputs, "output");
    // The speaker arrangement: type, channel count and the speaker type of
    // each channel, for the inputs and the outputs.
    {
        VstSpeakerArrangement* inputs = nullptr;
        VstSpeakerArrangement* outputs = nullptr;
        const intptr_t known =
            host.dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&inputs), &outputs);
        auto describe = [&](const char* kind, const VstSpeakerArrangement* a) {
            out << "speakers " << kind << ": ";
            if (!known || !a) {
                out << "(none)\n";
                return;
            }
            out << "type=" << a->type << " channels=" << a->numChannels << " speakers=";
            const int listed = std::clamp(a->numChannels, 0, 8);
            for (int c = 0; c < listed; ++c)
                out << (c ? "," : "") << a->speakers[c].type;
            out << "\n";
        };
        describe("input", inputs);
        describe("output", outputs);
    }

    if (numParams < 0 || numParams > kMaxListedEntries)
        host.fault("numParams " + std::to_string(numParams) + " is out of range");
    for (int i = 0; i < std::clamp(numParams, 0, kMaxListedEntries); ++i) {
        const std::string name = host.queryText(effGetParamName, i, 0, kParameterTextBytes);
        const std::string label = host.queryText(effGetParamLabel, i, 0, kParameterTextBytes);
        const std::string display = host.queryText(effGetParamDisplay, i, 0, kParameterTextBytes);
        out << "param " << i << ": name=" << quoted(name) << " label=" << quoted(label)
            << " display=" << quoted(display) << "\n";
    }

    out << "currentProgram: " << host.dispatch(effGetProgram) << "\n";
    out << "currentProgramName: " << quoted(host.queryText(effGetProgramName, 0, 0, kProgramNameBytes)) << "\n";
    if (numPrograms < 0 || numPrograms > kMaxListedEntries)
        host.fault("numPrograms " + std::to_string(numPrograms) + " is out of range");
    for (int i = 0; i < std::clamp(numPrograms, 0, kMaxListedEntries); ++i) {
        const std::string name = host.queryText(effGetProgramNameIndexed, i, -1, kProgramNameBytes, &answer);
        out << "program " << i << ": " << (answer ? quoted(name) : "(no answer)") << "\n";
    }

    host.close();
    return reportFaults(host, err);
}

int runRender(const HostOptions& o, std::ostream& out, std::ostream& err)
{
    std::string error;
    auto failed = [&](const std::string& why) {
        err << "tessel-host: " << why << "\n";
        return 1;
    };

    MidiSong song;
    if (o.midi.empty())
        song = demoSong();
    else if (!readMidiFile(o.midi, song, error))
        return failed(error);

    const TimeMap_c map(song, o.sampleRate);
    int64_t totalFrames = 0;
    if (o.seconds) {
        totalFrames = std::llround(*o.seconds * o.sampleRate);
    } else {
        const double songSeconds = double(map.tickToFrame(song.lengthTicks)) / o.sampleRate;
        if (songSeconds + kTailSeconds > kMaxRenderSeconds)
            return failed("the MIDI file lasts " + number(songSeconds) + " s, longer than " +
                          number(kMaxRenderSeconds) + " s; pass --seconds");
        totalFrames = map.tickToFrame(song.lengthTicks) + std::llround(kTailSeconds * o.sampleRate);
    }

    std::vector<char> chunk;
    if (!o.chunkIn.empty() && !readWholeFile(o.chunkIn, chunk, error))
        return failed(error);

    PluginHost_c host({o.idle, &err});
    host.setTimeline(song, o.sampleRate);
    if (!host.load(o.plugin, error))
        return failed(error);
    const AEffect* e = host.effect();
    if (e->numOutputs < 1 || e->numOutputs > kMaxPins)
        return failed("the plug-in reports " + std::to_string(e->numOutputs) + " outputs (1 to " +
                      std::to_string(kMaxPins) + " accepted)");
    if (!e->processReplacing)
        return failed("the plug-in has no processReplacing");
    if (o.program && *o.program >= e->numPrograms)
        return failed("--program " + std::to_string(*o.program) + ": the plug-in has " +
                      std::to_string(e->numPrograms) + " programs");
    // Host parameters are set and read as any host does; everything else
    // needs the plug-in's tooling channel, asked for once it is open.
    bool needsChannel = false;
    for (const EntrySetting& s : o.settings)
        needsChannel |= s.kind != EntrySetting::Kind::Normalised || s.index >= e->numParams;
    for (int index : o.shownParameters)
        needsChannel |= index >= e->numParams;
    const bool chunks = (e->flags & effFlagsProgramChunks) != 0;
    if ((!o.chunkIn.empty() || !o.chunkOut.empty()) && !chunks)
        return failed("the plug-in does not keep its programs as chunks (flag 32 unset)");
    const int channels = e->numOutputs;

    prepare(host, o);
    out << "plugin: " << quoted(host.queryText(effGetEffectName, 0, 0, kEffectNameBytes)) << " by "
        << quoted(host.queryText(effGetVendorString, 0, 0, kVendorTextBytes)) << "\n";
    if (!o.chunkIn.empty()) {
        // index 0: the chunk is a whole bank.
        const intptr_t result = host.dispatch(effSetChunk, 0, intptr_t(chunk.size()), chunk.data());
        out << "chunkIn: " << chunk.size() << " bytes, effSetChunk answered " << result << "\n";
    }
    if (o.program) {
        host.dispatch(effSetProgram, 0, *o.program);
        // A plug-in may load the program on its idle side: let it, so the
        // settings below apply to the new program and not before it.
        if (o.idle)
            host.dispatch(effIdle);
    }
    ToolingClient_c tooling(host);
    if (needsChannel && !tooling.available())
        return failed("the plug-in has no tooling channel: only --param and --show-param of its " +
                      std::to_string(e->numParams) + " parameters apply to it");
    if (!applySettings(host, tooling, o.settings, out, error))
        return failed(error);
    // What the loads above left for the idle side (samples to look for,
    // redraws) runs before the first block, as between a host's load and play.
    if (o.idle)
        host.dispatch(effIdle);

    WavWriter_c wav;
    if (!wav.open(o.out, channels, o.sampleRate, error))
        return failed(error);

    host.dispatch(effMainsChanged, 0, 1);
    EventScheduler_c events(scheduleSong(song, map));
    RenderSettings settings;
    settings.sampleRate = o.sampleRate;
    settings.blockFrames = o.blockFrames;
    settings.totalFrames = totalFrames;
    settings.supplyIdle = o.idle;
    RenderStats stats;
    const bool rendered = renderBlocks(
        host, events, settings,
        [&](const float* const* data, int count, int frames) { return count == channels && wav.write(data, frames); },
        stats, error);
    host.dispatch(effMainsChanged, 0, 0);
    if (!rendered)
        return failed(error);

    for (int index : o.shownParameters) {
        if (index < e->numParams) {
            const float value = host.effect()->getParameter(host.effect(), index);
            out << "param " << index << ": value=" << number(value)
                << " display=" << quoted(host.queryText(effGetParamDisplay, index, 0, kParameterTextBytes)) << "\n";
            continue;
        }
        Tooling::Request answer;
        if (!tooling.get(index, answer, error))
            return failed("--show-param " + std::to_string(index) + ": " + error);
        out << "param " << index << ": value=" << number(answer.normalised) << " display=" << quoted(answer.display)
            << " own=" << answer.value;
        if (answer.isText)
            out << " text=" << quoted(answer.text);
        out << "\n";
    }
    if (!o.chunkOut.empty()) {
        void* data = nullptr;
        const intptr_t size = host.dispatch(effGetChunk, 0, 0, &data); // index 0: the bank
        if (size <= 0 || !data)
            return failed("the plug-in returned no chunk (effGetChunk answered " + std::to_string(size) + ")");
        if (uint64_t(size) > kMaxChunkBytes)
            return failed("the plug-in's chunk of " + std::to_string(size) + " bytes is implausibly large");
        if (!writeWholeFile(o.chunkOut, static_cast<const char*>(data), size_t(size), error))
            return failed(error);
        out << "chunkOut: " << size << " bytes to " << o.chunkOut << "\n";
    }
    host.close();
    if (!wav.finish(error))
        return failed(error);

    out << "out: " << o.out << "\n"
        << "frames: " << stats.frames << "\n"
        << "channels: " << channels << "\n"
        << "rate: " << o.sampleRate << "\n"
        << "blocks: " << stats.blocks << "\n"
        << "midiEvents: " << events.delivered() << "\n"
        << "idleCalls: " << stats.idleCalls << "\n"
        << "timeRequests: " << host.timeRequests() << "\n"
        << "automation: " << host.automationCount() << "\n"
        << "eventsFromPlugin: " << host.eventsFromPlugin() << "\n";
    return reportFaults(host, err);
}

int runWavStats(const HostOptions& o, std::ostream& out, std::ostream& err)
{
    WavStats stats;
    std::string error;
    if (!readWavStats(o.wav, stats, error)) {
        err << "tessel-host: " << error << "\n";
        return 1;
    }
    out << "frames: " << stats.frames << "\n"
        << "channels: " << stats.channels << "\n"
        << "rate: " << stats.sampleRate << "\n"
        << "peak: " << number(stats.all.peak) << "\n"
        << "rms: " << number(stats.all.rms) << "\n";
    for (size_t c = 0; c < stats.perChannel.size(); ++c)
        out << "channel " << c << ": peak=" << number(stats.perChannel[c].peak)
            << " rms=" << number(stats.perChannel[c].rms) << "\n";
    return 0;
}

namespace {
EditorRunner editorRunner = nullptr;
EditorRunner picturesRunner = nullptr;
}

void setEditorRunner(EditorRunner runner)
{
    editorRunner = runner;
}

void setPicturesRunner(EditorRunner runner)
{
    picturesRunner = runner;
}

int runHost(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    HostOptions options;
    std::string error;
    if (!parseHostOptions(args, options, error)) {
        err << "tessel-host: " << error << "\n" << kHostUsage;
        return 2;
    }
    switch (options.command) {
    case Command::Help:
        out << kHostUsage;
        return 0;
    case Command::Info:
        return runInfo(options, out, err);
    case Command::Render:
        return runRender(options, out, err);
    case Command::WavStats:
        return runWavStats(options, out, err);
    case Command::Sample:
        return runSample(options, out, err);
    case Command::Editor:
        if (!editorRunner) {
            err << "tessel-host: the editor command is not built into this host\n";
            return 1;
        }
        return editorRunner(options, out, err);
    case Command::Pictures:
        if (!picturesRunner) {
            err << "tessel-host: the pictures command is not built into this host\n";
            return 1;
        }
        return picturesRunner(options, out, err);
    }
    return 1;
}

} // namespace Host
