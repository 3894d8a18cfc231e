// The checks of a finished bank, through the plug-in as a host uses it: the
// bank's presets are the start-up folder of a fresh data folder, and the
// check walks the host's program list.
//
// - the bank shows every part of the instrument the factory programs are
//   meant to show (Coverage.h), each in at least one program;
// - the list holds every preset, named after its file (cut to 27
//   characters), sorted as the instrument sorts it; the rest say "unknown";
//   the first preset is what a fresh instance plays and becomes the stored
//   default preset;
// - every program loads by a host program change without a message, keeps
//   the level rules (test chord under -1 dBFS on every output, middle C's
//   loudest 300 ms between -24 and -10 dBFS RMS), renders finite numbers
//   and is stereo;
// - every program differs measurably from the default program and from every
//   other program;
// - a MIDI program change selects a program as the host's does, sound and
//   name;
// - a damaged preset in the folder stays listed, reports the load error when
//   chosen, and leaves the program that played before as it was.
#pragma once

#include <iosfwd>
#include <string>

namespace Bank {

// The bank holds at least this many programs.
constexpr int MinPrograms = 64;

struct CheckOptions
{
    std::string plugin;  // the plug-in to check with
    std::string bank;    // folder with the presets and their samples
    std::string work;    // scratch folder (emptied)
};

// Runs every check, printing one line per program and each failure; 0 when
// all passed, 1 otherwise.
int checkBank(const CheckOptions& options, std::ostream& out);

} // namespace Bank
