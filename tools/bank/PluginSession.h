// One plug-in instance driven as a host drives it, for the bank tools: open
// at a rate, switched on, programs chosen by the host or by MIDI, entries
// written and read, notes played and the outputs captured.
//
// Entries are written and read by the parameter's own whole number through
// the instrument's tooling channel (docs/tooling-channel.md), which reaches
// the host's parameters and the editor's entries alike.
//
// Thread: one thread, the caller's, renders and idles, as the headless host
// does.
#pragma once

#include "EventScheduler.h"
#include "PluginHost.h"
#include "ToolingClient.h"

#include <memory>
#include <string>
#include <vector>

namespace Bank {

// Rendered outputs: one vector per output, all of one length.
struct Audio
{
    double rate = 48000.0;
    std::vector<std::vector<float>> channels;
    size_t frames() const { return channels.empty() ? 0 : channels[0].size(); }
};

// A note for play(): key and velocity, from `on` to `off` seconds.
struct NoteSpan
{
    int key = 60;
    int velocity = 100;
    double on = 0.0;
    double off = 1.5;
};

class PluginSession
{
public:
    // Rate and block size of every session, as the level rules are stated.
    static constexpr double Rate = 48000.0;
    static constexpr int Block = 256;

    explicit PluginSession(std::ostream* faultStream = nullptr);
    ~PluginSession();
    PluginSession(const PluginSession&) = delete;
    PluginSession& operator=(const PluginSession&) = delete;

    // Loads the plug-in, opens it at Rate and Block and switches it on.
    bool open(const std::string& plugin, std::string& error);
    void close();
    bool isOpen() const;

    int outputs() const;
    int programCount() const;

    // Gives the plug-in its idle calls (where queued program changes and
    // messages are handled).
    void idle(int calls = 1);
    // Switches the plug-in off and on again, as a host does when it stops
    // and starts its engine: voices end and effect tails are cleared, so the
    // next render hears the current program alone.
    void restart();

    // --- Programs ----------------------------------------------------------
    int program();
    std::string programName();
    // The name the host lists for program p ("" when not answered).
    std::string programNameIndexed(int p);
    // effSetProgram, then idle calls until the plug-in reports p (at most a
    // few); false when it never did.
    bool setProgram(int p);
    // A MIDI program change on channel 1, delivered with a short render,
    // then idle calls until the plug-in reports p; false when it never did.
    bool midiProgramChange(int p);

    // --- Entries -----------------------------------------------------------
    // Whether the plug-in answers the tooling channel.
    bool hasToolingChannel();
    // Each answers the entry as it stands afterwards (its value, range,
    // names, display and text) in `entry`; false with a reason.
    bool get(int index, Tooling::Request& entry, std::string& error);
    bool setValue(int index, int value, Tooling::Request& entry, std::string& error);
    bool setText(int index, const std::string& text, Tooling::Request& entry, std::string& error);

    // --- Presets -----------------------------------------------------------
    // Writes the current program as a preset file through the instrument's
    // own export (which writes the samples the program plays beside it).
    bool exportPreset(const std::string& path, std::string& error);
    // Loads a preset file through the instrument's own import.
    bool importPreset(const std::string& path, std::string& error);

    // --- Sound -------------------------------------------------------------
    // Plays the notes for `seconds` with the transport running at the
    // timeline's tempo (120 beats per minute) and returns every output.
    Audio play(const std::vector<NoteSpan>& notes, double seconds);
    // Plays raw events (each with its frame) the same way.
    Audio playEvents(std::vector<Host::TimedMidi> events, double seconds);

    Host::PluginHost_c& host() { return *host_; }

private:
    std::unique_ptr<Host::PluginHost_c> host_;
    Host::ToolingClient_c tooling_;
    bool on_ = false;
};

} // namespace Bank
