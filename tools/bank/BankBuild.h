// Building the factory bank from its text definitions, through the plug-in
// itself: each definition is applied to a fresh instance (the default
// program), stored as a preset file by the instrument's own export, loaded
// again into another fresh instance by the instrument's own import, and every
// entry is read back. What a later entry or one of the instrument's rules
// changed, or what did not survive the store and load, is reported.
#pragma once

#include "ProgramText.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace Bank {

class PluginSession;

struct BuildOptions
{
    std::string plugin;      // the plug-in that applies, stores and loads
    std::string definitions; // folder of *.tpd files
    std::string samples;     // folder of the generated samples
    std::string out;         // the bank folder written (presets and samples)
    std::string work;        // scratch folder (emptied)
    std::vector<std::string> only; // program names to build; empty: all
};

// A value as the plug-in answers it for one entry.
struct Reading
{
    bool ok = false;     // the entry could be read
    bool isText = false;
    int value = 0;       // the parameter's own whole number
    std::string text;
    std::string display; // the plug-in's display of it, when it has one
};

// Whether found still holds what applied held. Sample paths count as the
// same when they name the same file stem: the export moves the samples into
// the bank folder in the instrument's own raw format.
bool sameReading(const Reading& applied, const Reading& found);

// Applies a definition to an open session in the default program: every
// entry in order, text values naming declared samples resolved inside
// samplesFolder. Checks each entry's name against the plug-in's. The value
// read back right after each write goes into `applied`. False with the
// problems in errors.
bool applyDefinition(PluginSession& s, const ProgramDefinition& def, const std::string& samplesFolder,
                     std::vector<Reading>& applied, std::vector<std::string>& errors);

// Reads every entry of def back, in order, writing each selector entry
// (937..942) again with its applied value after it so the zone entries after
// it read the zone they were written to. The selectors themselves answer the
// values the program held before that replay.
std::vector<Reading> readBack(PluginSession& s, const ProgramDefinition& def, const std::vector<Reading>& applied);

// Builds the bank; prints what it does and every value that did not stick.
// 0 when every program was written and everything stuck, 1 otherwise.
int buildBank(const BuildOptions& options, std::ostream& out);

// Prints every external entry of a fresh instance's default program, one a
// line: index, name (the parameter's name where the entry's is "-"), value,
// range and display. 0 on success.
int listEntries(const std::string& plugin, const std::string& work, std::ostream& out);

// Applies each definition to a fresh instance and prints what the bank's
// checks measure of it (middle C's loudest 300 ms, the chord's peak, the
// stereo sides, the 5.1 share, the brightness); with wavFolder, writes the
// two renders there as WAV files. For designing programs. 0 on success.
int measureDefinitions(const BuildOptions& options, const std::string& wavFolder, std::ostream& out);

// Gives every entry of the definition files that has no comment the display
// text of its value as the plug-in shows it after applying the file.
int annotateDefinitions(const BuildOptions& options, std::ostream& out);

} // namespace Bank
