#include "ProgramText.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace Bank {

namespace {

// Step levels: 0 a rest, 1..127 a note of that level, 128 a tie.
constexpr int MaxStepLevel = 128;
// The value byte of every step ('=': value 60, which the steps keep).
constexpr char StepValueByte = '=';
// The pattern text: two header bytes, then value and level byte per step.
constexpr int PatternSteps = 128;
// The header the instrument shows for a fresh pattern: step 0, 16 steps.
constexpr char ShownStepByte = 1;
constexpr char ShownLengthByte = 17;

std::string trimmed(const std::string& s)
{
    const size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return std::string();
    const size_t last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

// A quoted text starting at s[at] == '"': the text up to the next '"' (no
// escapes: sample names never hold a quote). npos when unterminated.
size_t readQuoted(const std::string& s, size_t at, std::string& out)
{
    const size_t end = s.find('"', at + 1);
    if (end == std::string::npos)
        return std::string::npos;
    out = s.substr(at + 1, end - at - 1);
    return end + 1;
}

// What follows a value: nothing, or a comment.
bool onlyCommentAfter(const std::string& s, size_t at)
{
    const std::string rest = trimmed(s.substr(std::min(at, s.size())));
    return rest.empty() || rest[0] == '#';
}

// Whole numbers separated by blanks from s[at] up to the end or a '#';
// `end` is where they stopped. False on anything else.
bool readNumbers(const std::string& s, size_t at, std::vector<int>& numbers, size_t& end)
{
    const char* p = s.data() + at;
    const char* last = s.data() + s.size();
    for (;;) {
        while (p < last && (*p == ' ' || *p == '\t'))
            ++p;
        if (p == last || *p == '#' || *p == '\r')
            break;
        int n = 0;
        const auto [next, ec] = std::from_chars(p, last, n);
        if (ec != std::errc() || next == p || (next < last && *next != ' ' && *next != '\t' && *next != '\r'))
            return false;
        numbers.push_back(n);
        p = next;
    }
    end = static_cast<size_t>(p - s.data());
    return true;
}

void parseEntry(const std::string& line, int lineNumber, ProgramDefinition& def, std::vector<TextError>& errors)
{
    auto fail = [&](const std::string& why) { errors.push_back({lineNumber, why}); };
    Entry e;
    e.line = lineNumber;
    const char* first = line.data();
    const char* last = line.data() + line.size();
    while (first < last && (*first == ' ' || *first == '\t'))
        ++first;
    const auto [afterIndex, ec] = std::from_chars(first, last, e.index);
    if (ec != std::errc() || afterIndex == first)
        return fail("an entry starts with its external index");
    if (e.index < 0 || e.index >= ExternalEntries)
        return fail("external index " + std::to_string(e.index) + " is outside 0.." +
                    std::to_string(ExternalEntries - 1));
    if (afterIndex < last && *afterIndex != ' ' && *afterIndex != '\t')
        return fail("a blank must follow the index");
    const size_t nameStart = static_cast<size_t>(afterIndex - line.data());
    const size_t equals = line.find('=', nameStart);
    if (equals == std::string::npos)
        return fail("entry " + std::to_string(e.index) + " has no '='");
    e.name = trimmed(line.substr(nameStart, equals - nameStart));
    if (e.name.empty())
        return fail("entry " + std::to_string(e.index) + " has no parameter name");
    size_t at = line.find_first_not_of(" \t", equals + 1);
    if (at == std::string::npos)
        return fail("entry " + std::to_string(e.index) + " has no value");
    if (line[at] == '"') {
        e.isText = true;
        at = readQuoted(line, at, e.text);
        if (at == std::string::npos)
            return fail("entry " + std::to_string(e.index) + ": unterminated text");
    } else if (line.compare(at, 5, "steps") == 0) {
        std::vector<int> levels;
        if (!readNumbers(line, at + 5, levels, at) || levels.empty())
            return fail("entry " + std::to_string(e.index) + ": steps are levels 0.." + std::to_string(MaxStepLevel));
        for (int level : levels)
            if (level < 0 || level > MaxStepLevel)
                return fail("entry " + std::to_string(e.index) + ": step level " + std::to_string(level) +
                            " is outside 0.." + std::to_string(MaxStepLevel));
        e.isText = true;
        e.isSteps = true;
        e.text = stepPatternText(levels);
    } else {
        const char* v = line.data() + at;
        const auto [afterValue, vec] = std::from_chars(v, last, e.value);
        if (vec != std::errc() || afterValue == v)
            return fail("entry " + std::to_string(e.index) + ": the value is a whole number or a quoted text");
        if (afterValue < last && *afterValue != ' ' && *afterValue != '\t' && *afterValue != '#')
            return fail("entry " + std::to_string(e.index) + ": the value is a whole number or a quoted text");
        at = static_cast<size_t>(afterValue - line.data());
    }
    if (!onlyCommentAfter(line, at))
        return fail("entry " + std::to_string(e.index) + ": unexpected text after the value");
    def.entries.push_back(std::move(e));
}

void parsePlay(const std::string& line, int lineNumber, ProgramDefinition& def, std::vector<TextError>& errors)
{
    Entry e;
    e.line = lineNumber;
    e.name = "play";
    size_t end = 0;
    const size_t at = line.find("play") + 4;
    if (!readNumbers(line, at, e.keys, end) || e.keys.empty())
        return errors.push_back({lineNumber, "play is followed by MIDI keys 0..127"});
    for (int key : e.keys)
        if (key < 0 || key > 127)
            return errors.push_back({lineNumber, "key " + std::to_string(key) + " is outside 0..127"});
    def.entries.push_back(std::move(e));
}

void parseSample(const std::string& body, int lineNumber, ProgramDefinition& def, std::vector<TextError>& errors)
{
    std::string name;
    const size_t at = body.find_first_not_of(" \t");
    if (at == std::string::npos || body[at] != '"')
        return errors.push_back({lineNumber, "a sample is named in quotes: sample \"NAME.wav\""});
    const size_t after = readQuoted(body, at, name);
    if (after == std::string::npos)
        return errors.push_back({lineNumber, "unterminated sample name"});
    if (!onlyCommentAfter(body, after))
        return errors.push_back({lineNumber, "unexpected text after the sample name"});
    if (name.empty() || name.find('/') != std::string::npos)
        return errors.push_back({lineNumber, "a sample is named by its file name alone"});
    if (std::find(def.samples.begin(), def.samples.end(), name) == def.samples.end())
        def.samples.push_back(name);
}

char lowered(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

ProgramDefinition parseProgramText(const std::string& name, const std::string& text, std::vector<TextError>& errors)
{
    ProgramDefinition def;
    def.name = name;
    std::string why;
    if (!isUsableProgramName(name, why))
        errors.push_back({0, "program name \"" + name + "\": " + why});
    std::istringstream in(text);
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        const std::string t = trimmed(line);
        if (t.empty() || t[0] == '#')
            continue;
        if (t.rfind("sample", 0) == 0 && (t.size() == 6 || t[6] == ' ' || t[6] == '\t'))
            parseSample(t.substr(6), lineNumber, def, errors);
        else if (t.rfind("play", 0) == 0 && (t.size() == 4 || t[4] == ' ' || t[4] == '\t'))
            parsePlay(t, lineNumber, def, errors);
        else
            parseEntry(line, lineNumber, def, errors);
    }
    // A text naming a sample must name one the program declares, so a
    // reader of the file sees every sample it needs at its top.
    for (const Entry& e : def.entries) {
        if (!e.isText || e.text.empty())
            continue;
        const std::string ext = std::filesystem::path(e.text).extension().string();
        const bool looksLikeSample = ext == ".wav" || ext == ".WAV";
        if (looksLikeSample && std::find(def.samples.begin(), def.samples.end(), e.text) == def.samples.end())
            errors.push_back({e.line, "\"" + e.text + "\" is not declared with a sample line"});
    }
    if (def.entries.empty() && errors.empty())
        errors.push_back({0, "the program changes nothing from the default program"});
    return def;
}

ProgramDefinition readProgramFile(const std::string& path, std::vector<TextError>& errors)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        errors.push_back({0, "cannot read " + path});
        return ProgramDefinition{programNameOf(path), {}, {}};
    }
    std::ostringstream text;
    text << file.rdbuf();
    return parseProgramText(programNameOf(path), text.str(), errors);
}

std::string stepPatternText(const std::vector<int>& levels)
{
    std::string text;
    text += ShownStepByte;
    text += ShownLengthByte;
    for (int k = 0; k < PatternSteps; ++k) {
        const int level = levels.empty() ? 0 : levels[static_cast<size_t>(k) % levels.size()];
        text += StepValueByte;
        text += static_cast<char>(std::clamp(level, 0, MaxStepLevel) + 1);
    }
    return text;
}

std::string programNameOf(const std::string& path)
{
    return std::filesystem::path(path).stem().string();
}

bool isUsableProgramName(const std::string& name, std::string& why)
{
    if (name.empty())
        return why = "empty", false;
    if (name.size() > ProgramNameChars)
        return why = "longer than " + std::to_string(ProgramNameChars) + " characters", false;
    for (char c : name) {
        if (c < 0x20 || c > 0x7E)
            return why = "only printable ASCII characters", false;
        if (c == '/' || c == '\\')
            return why = "no '/' or '\\' (a file name)", false;
    }
    if (name.front() == '.' || name.front() == ' ' || name.back() == ' ')
        return why = "starts with '.' or a blank or ends with a blank", false;
    return true;
}

bool programNameLess(const std::string& a, const std::string& b)
{
    // The list sorts file names with their extension, which all presets
    // share, so "Bass A 2" comes before "Bass A" (a blank sorts before '.').
    const std::string x = a + ".fxp";
    const std::string y = b + ".fxp";
    const size_t n = std::min(x.size(), y.size());
    for (size_t i = 0; i < n; ++i) {
        const auto cx = static_cast<signed char>(lowered(x[i]));
        const auto cy = static_cast<signed char>(lowered(y[i]));
        if (cx != cy)
            return cx < cy;
    }
    if (x.size() != y.size())
        return x.size() < y.size();
    return x < y;
}

std::vector<std::string> listDefinitionFiles(const std::string& folder)
{
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& item : std::filesystem::directory_iterator(folder, ec))
        if (item.is_regular_file(ec) && item.path().extension() == DefinitionExtension)
            files.push_back(item.path().string());
    std::sort(files.begin(), files.end(),
              [](const std::string& a, const std::string& b) { return programNameLess(programNameOf(a), programNameOf(b)); });
    return files;
}

std::string withComment(const std::string& line, const std::string& comment)
{
    std::vector<TextError> errors;
    ProgramDefinition probe;
    parseEntry(line, 1, probe, errors);
    if (!errors.empty() || probe.entries.empty())
        return line;
    // The value ends where the comment starts; a text value may hold '#'.
    const size_t equals = line.find('=');
    size_t at = line.find_first_not_of(" \t", equals + 1);
    if (line[at] == '"') {
        at = line.find('"', at + 1) + 1;
    } else {
        while (at < line.size() && line[at] != ' ' && line[at] != '\t' && line[at] != '#')
            ++at;
    }
    if (line.find('#', at) != std::string::npos)
        return line;
    std::string out = line.substr(0, at);
    if (comment.empty())
        return out;
    // Comments start in one column where the entry allows it.
    constexpr size_t CommentColumn = 41;
    out += std::string(out.size() < CommentColumn ? CommentColumn - out.size() : 1, ' ');
    return out + "# " + comment;
}

} // namespace Bank
