#include "PluginSession.h"

#include "Guards.h"
#include "Render.h"

#include <cmath>
#include <thread>

namespace Bank {

namespace {

// Idle calls a queued program change may take before it counts as refused.
constexpr int ProgramIdleCalls = 8;
// External entries the instrument's settings part gives the preset paths:
// writing a path saves (619) or loads (620) the preset there.
constexpr int PresetSavePathEntry = 619;
constexpr int PresetLoadPathEntry = 620;

} // namespace

PluginSession::PluginSession(std::ostream* faultStream)
    : host_(std::make_unique<Host::PluginHost_c>(Host::HostSettings{true, faultStream})), tooling_(*host_)
{
}

PluginSession::~PluginSession()
{
    close();
}

bool PluginSession::open(const std::string& plugin, std::string& error)
{
    host_->setTimeline(Host::MidiSong{}, Rate);
    if (!host_->load(plugin, error))
        return false;
    const AEffect* e = host_->effect();
    if (e->numOutputs < 2 || e->numOutputs > Host::kMaxPins || !e->processReplacing)
        return error = plugin + " is no instrument with stereo outputs", false;
    host_->dispatch(effOpen);
    host_->dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(Rate));
    host_->dispatch(effSetBlockSize, 0, Block);
    host_->dispatch(effMainsChanged, 0, 1);
    on_ = true;
    return true;
}

void PluginSession::close()
{
    if (!host_->effect())
        return;
    if (on_)
        host_->dispatch(effMainsChanged, 0, 0);
    on_ = false;
    host_->close();
}

bool PluginSession::isOpen() const
{
    return host_->effect() != nullptr;
}

int PluginSession::outputs() const
{
    return host_->effect() ? host_->effect()->numOutputs : 0;
}

int PluginSession::programCount() const
{
    return host_->effect() ? host_->effect()->numPrograms : 0;
}

void PluginSession::idle(int calls)
{
    for (int i = 0; i < calls; ++i)
        host_->dispatch(effIdle);
}

void PluginSession::restart()
{
    host_->dispatch(effMainsChanged, 0, 0);
    host_->dispatch(effMainsChanged, 0, 1);
    idle();
}

int PluginSession::program()
{
    return static_cast<int>(host_->dispatch(effGetProgram));
}

std::string PluginSession::programName()
{
    return host_->queryText(effGetProgramName, 0, 0, Host::kProgramNameBytes);
}

std::string PluginSession::programNameIndexed(int p)
{
    intptr_t answer = 0;
    std::string name = host_->queryText(effGetProgramNameIndexed, p, -1, Host::kProgramNameBytes, &answer);
    return answer ? name : std::string();
}

bool PluginSession::setProgram(int p)
{
    host_->dispatch(effSetProgram, 0, p);
    for (int i = 0; i < ProgramIdleCalls && program() != p; ++i)
        idle();
    return program() == p;
}

bool PluginSession::midiProgramChange(int p)
{
    Host::TimedMidi change;
    change.data[0] = 0xC0;
    change.data[1] = static_cast<uint8_t>(p & 0x7F);
    change.size = 2;
    playEvents({change}, Block / Rate);
    for (int i = 0; i < ProgramIdleCalls && program() != p; ++i)
        idle();
    return program() == p;
}

bool PluginSession::hasToolingChannel()
{
    return tooling_.available();
}

bool PluginSession::get(int index, Tooling::Request& entry, std::string& error)
{
    return tooling_.get(index, entry, error);
}

bool PluginSession::setValue(int index, int value, Tooling::Request& entry, std::string& error)
{
    return tooling_.setValue(index, value, entry, error);
}

bool PluginSession::setText(int index, const std::string& text, Tooling::Request& entry, std::string& error)
{
    return tooling_.setText(index, text, entry, error);
}

bool PluginSession::exportPreset(const std::string& path, std::string& error)
{
    Tooling::Request entry;
    return tooling_.setText(PresetSavePathEntry, path, entry, error);
}

bool PluginSession::importPreset(const std::string& path, std::string& error)
{
    Tooling::Request entry;
    return tooling_.setText(PresetLoadPathEntry, path, entry, error);
}

Audio PluginSession::play(const std::vector<NoteSpan>& notes, double seconds)
{
    std::vector<Host::TimedMidi> events;
    for (const NoteSpan& n : notes) {
        Host::TimedMidi on;
        on.frame = std::llround(n.on * Rate);
        on.data[0] = 0x90;
        on.data[1] = static_cast<uint8_t>(n.key & 0x7F);
        on.data[2] = static_cast<uint8_t>(n.velocity & 0x7F);
        on.size = 3;
        Host::TimedMidi off = on;
        off.frame = std::llround(n.off * Rate);
        off.data[0] = 0x80;
        off.data[2] = 0;
        events.push_back(on);
        events.push_back(off);
    }
    return playEvents(std::move(events), seconds);
}

Audio PluginSession::playEvents(std::vector<Host::TimedMidi> events, double seconds)
{
    Audio audio;
    audio.rate = Rate;
    const int outs = outputs();
    audio.channels.assign(static_cast<size_t>(std::max(outs, 0)), {});
    if (outs < 1)
        return audio;
    Host::EventScheduler_c scheduler(std::move(events));
    Host::RenderSettings settings;
    settings.sampleRate = Rate;
    settings.blockFrames = Block;
    settings.totalFrames = std::llround(seconds * Rate);
    // Idle calls come from this thread, after the render, as from a host's
    // user-interface thread.
    settings.supplyIdle = false;
    // The render runs on a thread of its own, as a host's audio thread: the
    // plug-in keeps the tooling channel and its other user-interface work
    // off the thread that renders, and this thread stays the other one.
    std::thread audioThread([&] {
        Host::RenderStats stats;
        std::string error;
        Host::renderBlocks(
            *host_, scheduler, settings,
            [&](const float* const* data, int count, int frames) {
                for (int c = 0; c < count && c < outs; ++c)
                    audio.channels[static_cast<size_t>(c)].insert(audio.channels[static_cast<size_t>(c)].end(),
                                                                  data[c], data[c] + frames);
                return true;
            },
            stats, error);
    });
    audioThread.join();
    idle();
    return audio;
}

} // namespace Bank
