// The text form of a factory program: what it changes from the default
// program, one external entry a line, in the order the entries are applied.
//
//     # Pad Glass Choir: the "ah" vowel stretched under a glass wavetable.
//     sample "Vowel Ah C3.wav"
//     769  Gen 0 Type          = 1        # Time Sampler
//     702  Filename            = "Vowel Ah C3.wav"
//     134  Main Volume         = -112     # -11.2 dB
//
// A line is blank, a comment ('#' to the end of the line), a use of a
// generated sample ("sample NAME"), keys played into the program at that
// point ("play 60 64 67", as a musician teaches the chord memory), or an
// entry: the external index, the
// name of what it sets (free text up to '='), and after '=' either the
// parameter's own whole number (what a program stores: 3 for the loop
// sampler of a generator type, -112 for -11.2 dB) or a quoted text (sample
// paths). The name is the entry's name as the plug-in gives it, or, where
// the plug-in names the entry "-", the name of the parameter it addresses. A
// '#' after the value starts a comment, where the bank tool writes the
// value's display text for a reader.
//
// A step pattern is written as its levels rather than as the pattern text's
// bytes: "648 StepData = steps 100 0 70 128" (0 a rest, 128 a tie); the
// levels repeat to fill every step of the pattern text.
//
// The program's name is its file's name without the extension, exactly as
// the instrument names a program after its preset file.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace Bank {

// External indices 0..HostEntries-1 are the host's parameters; the rest up
// to ExternalEntries-1 are reachable only through the tooling channel.
constexpr int HostEntries = 602;
constexpr int ExternalEntries = 967;
// The host's program names hold 27 characters and a terminator.
constexpr size_t ProgramNameChars = 27;
// Extension of a program definition file.
constexpr const char* DefinitionExtension = ".tpd";

// One line that does something, in the order of the file.
struct Entry
{
    int index = -1;      // external index; -1 for played keys
    std::string name;    // as written, blanks at both ends removed
    bool isText = false;
    bool isSteps = false; // a text written as step levels
    int value = 0;       // the parameter's own whole number when !isText
    std::string text;    // when isText
    std::vector<int> keys; // the keys of a "play" line
    int line = 0;        // 1-based line in the file
    bool isPlay() const { return index < 0; }
};

// The step pattern text for step levels (0..128), repeated over every step.
std::string stepPatternText(const std::vector<int>& levels);
// Bytes of a step pattern text before its steps (the shown step and length,
// which the instrument fills in as it plays).
constexpr size_t StepPatternHeaderBytes = 2;

struct ProgramDefinition
{
    std::string name;                // from the file name
    std::vector<std::string> samples; // generated samples the program uses
    std::vector<Entry> entries;      // in the order they are applied
};

// A problem found while reading: where, and what.
struct TextError
{
    int line = 0; // 0: the file as a whole
    std::string message;
};

// Parses the text of a definition. name becomes the program's name. Every
// problem is collected (the whole file is read), so one run reports all of
// them; the definition is usable only when errors stays empty.
ProgramDefinition parseProgramText(const std::string& name, const std::string& text,
                                   std::vector<TextError>& errors);

// Reads and parses a definition file; a file that cannot be read is one
// error at line 0.
ProgramDefinition readProgramFile(const std::string& path, std::vector<TextError>& errors);

// The program name of a definition or preset file: its file name without
// folder and extension.
std::string programNameOf(const std::string& path);

// Whether a program name can be a preset file name that every host shows
// whole: 1..27 characters, printable ASCII, no '/' or '\\', not starting with
// '.' or a blank and not ending with a blank.
bool isUsableProgramName(const std::string& name, std::string& why);

// The definition files of a folder, sorted as the instrument sorts its
// program list (without regard to case).
std::vector<std::string> listDefinitionFiles(const std::string& folder);

// Case-insensitive order of two names, ASCII letters folded, the way the
// program list is sorted.
bool programNameLess(const std::string& a, const std::string& b);

// The line of a definition with comment as its comment (the display text of
// its value), the index, name and value left as written. Lines that are no
// entries, and entries that have a comment already (the author's words),
// come back unchanged.
std::string withComment(const std::string& line, const std::string& comment);

} // namespace Bank
