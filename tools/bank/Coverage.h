// What the factory bank shows of the instrument, read from the programs as
// the plug-in holds them after a program change: each generator kind, both
// filter models and the saturators, every effect type in a send and in an
// insert slot, the modulation matrix with LFOs and envelopes and the mod
// wheel, aftertouch and velocity, the arpeggiator and the step sequencer,
// the chord memory, glide and one-voice play, and the 5.1 field.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace Bank {

class PluginSession;

class Coverage
{
public:
    // Reads the current program of s (through the tooling channel) and
    // counts what it uses under its name. False with a reason when an entry
    // could not be read.
    bool add(PluginSession& s, const std::string& program, std::string& error);

    // Every item no program shows, one line each ("the loop sampler with
    // more than one zone", ...); empty when the bank covers them all.
    std::vector<std::string> missing() const;

    // For each item, the programs that show it.
    const std::map<std::string, std::set<std::string>>& byItem() const { return shown_; }

    // The items the bank must show, in the order missing() names them.
    static std::vector<std::string> items();

private:
    void mark(const std::string& item, const std::string& program) { shown_[item].insert(program); }
    std::map<std::string, std::set<std::string>> shown_;
};

} // namespace Bank
