#include "BankBuild.h"

#include "Measure.h"
#include "PluginSession.h"
#include "Sandbox.h"
#include "WavFile.h"

#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <sstream>

namespace fs = std::filesystem;

namespace Bank {

namespace {

// The selector entries: the zone page and the shown zone of the two
// multisample memories, which page the zone entries after them.
constexpr int FirstSelectorEntry = 937;
constexpr int LastSelectorEntry = 942;

// Renders of the note and the chord measure makes per program (the
// environment's TESSEL_BANK_TRIALS may ask for more while designing).
int trials()
{
    const char* asked = std::getenv("TESSEL_BANK_TRIALS");
    const int n = asked ? std::atoi(asked) : 0;
    return n > 0 ? std::min(n, 100) : 1;
}
// How long each key of a "play" line is held, in seconds.
constexpr double PlayedKeySeconds = 0.1;

bool isSelector(int index)
{
    return index >= FirstSelectorEntry && index <= LastSelectorEntry;
}

std::string trimmed(const std::string& s)
{
    const size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

std::string lowered(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

Reading readingOf(const Tooling::Request& answer)
{
    Reading r;
    r.ok = true;
    r.isText = answer.isText != 0;
    r.value = answer.value;
    r.text = answer.text;
    r.display = trimmed(answer.display);
    return r;
}

Reading read(PluginSession& s, const Entry& e)
{
    Tooling::Request answer;
    std::string error;
    if (!s.get(e.index, answer, error))
        return Reading{};
    return readingOf(answer);
}

std::string shown(const Reading& r)
{
    if (!r.ok)
        return "(unreadable)";
    if (r.isText)
        return "\"" + r.text + "\"";
    return std::to_string(r.value) + (r.display.empty() ? "" : " (" + r.display + ")");
}

// The sample a text value names, when the definition declares it.
std::string resolveSample(const ProgramDefinition& def, const std::string& text, const std::string& folder)
{
    if (std::find(def.samples.begin(), def.samples.end(), text) == def.samples.end())
        return text;
    return fs::absolute(fs::path(folder) / text).string();
}

// Removes the presets and raw samples a previous build left in the bank
// folder, so a renamed program leaves no stale preset behind.
void clearBankFolder(const std::string& folder)
{
    std::error_code ec;
    for (const auto& item : fs::directory_iterator(folder, ec)) {
        const std::string ext = lowered(item.path().extension().string());
        if (item.is_regular_file() && (ext == ".fxp" || ext == ".d4t" || ext == ".d4u"))
            fs::remove(item.path(), ec);
    }
}

struct Parsed
{
    std::string file;
    ProgramDefinition def;
};

// Reads every definition (or those named in options.only); false when any
// has errors, each printed with its file and line.
bool readDefinitions(const BuildOptions& o, std::vector<Parsed>& parsed, std::ostream& out)
{
    bool ok = true;
    for (const std::string& file : listDefinitionFiles(o.definitions)) {
        const std::string name = programNameOf(file);
        if (!o.only.empty() && std::find(o.only.begin(), o.only.end(), name) == o.only.end())
            continue;
        std::vector<TextError> errors;
        ProgramDefinition def = readProgramFile(file, errors);
        for (const TextError& e : errors) {
            out << file << ":" << e.line << ": " << e.message << "\n";
            ok = false;
        }
        for (const std::string& sample : def.samples)
            if (!fs::is_regular_file(fs::path(o.samples) / sample)) {
                out << file << ": the sample \"" << sample << "\" is not in " << o.samples << "\n";
                ok = false;
            }
        parsed.push_back({file, std::move(def)});
    }
    if (parsed.empty()) {
        out << "no program definitions (*" << DefinitionExtension << ") in " << o.definitions << "\n";
        ok = false;
    }
    return ok;
}

bool openFresh(PluginSession& s, const BuildOptions& o, const std::string& name, std::ostream& out)
{
    std::string error;
    Sandbox box((fs::path(o.work) / name).string());
    if (!box.ok()) {
        out << box.error() << "\n";
        return false;
    }
    if (!s.open(o.plugin, error)) {
        out << error << "\n";
        return false;
    }
    return true;
}

// Which entries hold the value the program keeps: the last write of each
// entry, where a zone entry counts once per page its selectors gave it.
// Earlier writes (a mode switched through "Learn" to "Play") were meant to
// be overwritten.
std::vector<bool> finalWrites(const ProgramDefinition& def)
{
    std::vector<bool> final(def.entries.size(), false);
    std::map<int, int> selectors;
    std::map<std::string, size_t> last;
    for (size_t i = 0; i < def.entries.size(); ++i) {
        const Entry& e = def.entries[i];
        if (e.isPlay())
            continue;
        // A selector is one value whatever page it was written on.
        std::string key = std::to_string(e.index);
        if (!isSelector(e.index))
            for (const auto& [index, value] : selectors)
                key += " " + std::to_string(index) + "=" + std::to_string(value);
        last[key] = i;
        if (isSelector(e.index) && !e.isText)
            selectors[e.index] = e.value;
    }
    for (const auto& [key, i] : last)
        final[i] = true;
    return final;
}

// Compares readings and prints what changed; the number of changes.
int reportChanges(const ProgramDefinition& def, const std::vector<Reading>& applied,
                  const std::vector<Reading>& found, const char* stage, std::ostream& out)
{
    int changes = 0;
    const std::vector<bool> final = finalWrites(def);
    for (size_t i = 0; i < def.entries.size() && i < applied.size() && i < found.size(); ++i) {
        if (!final[i] || sameReading(applied[i], found[i]))
            continue;
        const Entry& e = def.entries[i];
        out << "  " << def.name << ": line " << e.line << ", entry " << e.index << " " << e.name << " " << stage
            << ": applied " << shown(applied[i]) << ", found " << shown(found[i]) << "\n";
        ++changes;
    }
    return changes;
}

} // namespace

bool sameReading(const Reading& applied, const Reading& found)
{
    if (applied.ok != found.ok || applied.isText != found.isText)
        return false;
    if (!applied.isText)
        return applied.value == found.value;
    if (applied.text == found.text)
        return true;
    // A step pattern's first bytes show where the sequencer stands.
    if (applied.text.size() == found.text.size() && applied.text.size() > StepPatternHeaderBytes &&
        applied.text.compare(StepPatternHeaderBytes, std::string::npos, found.text, StepPatternHeaderBytes) == 0)
        return true;
    const fs::path a(applied.text), b(found.text);
    return a.has_extension() && b.has_extension() && lowered(a.stem().string()) == lowered(b.stem().string());
}

bool applyDefinition(PluginSession& s, const ProgramDefinition& def, const std::string& samplesFolder,
                     std::vector<Reading>& applied, std::vector<std::string>& errors)
{
    std::string name = def.name;
    name.resize(std::max(name.size(), ProgramNameChars + 1), '\0');
    s.host().dispatch(effSetProgramName, 0, 0, name.data());
    applied.clear();
    for (const Entry& e : def.entries) {
        if (e.isPlay()) {
            // One key after another, each held a moment, as fingers would.
            for (int key : e.keys) {
                s.play({{key, 100, 0.0, PlayedKeySeconds}}, 2.0 * PlayedKeySeconds);
                s.idle();
            }
            applied.push_back(Reading{});
            continue;
        }
        const std::string where = "line " + std::to_string(e.line) + ", entry " + std::to_string(e.index) + ": ";
        Tooling::Request answer;
        std::string error;
        if (!s.get(e.index, answer, error)) {
            errors.push_back(where + error);
            applied.push_back(Reading{});
            continue;
        }
        // The entry's own name, or for the editor's unnamed entries the
        // name of the parameter behind it.
        const std::string own = trimmed(answer.name);
        const std::string theirs = own.empty() || own == "-" ? trimmed(answer.parameterName) : own;
        if (theirs != e.name)
            errors.push_back(where + "the plug-in calls it \"" + theirs + "\", not \"" + e.name + "\"");
        if ((answer.isText != 0) != e.isText)
            errors.push_back(where + (e.isText ? "a number entry, given a text" : "a text entry, given a number"));
        const bool written = e.isText ? s.setText(e.index, resolveSample(def, e.text, samplesFolder), answer, error)
                                      : s.setValue(e.index, e.value, answer, error);
        if (!written)
            errors.push_back(where + error);
        applied.push_back(written ? readingOf(answer) : Reading{});
    }
    return errors.empty();
}

std::vector<Reading> readBack(PluginSession& s, const ProgramDefinition& def, const std::vector<Reading>& applied)
{
    // The selectors as the program holds them, read before the replay below
    // moves them.
    std::map<int, Reading> held;
    for (const Entry& e : def.entries)
        if (isSelector(e.index) && !held.count(e.index))
            held[e.index] = read(s, e);
    std::vector<Reading> found;
    for (size_t i = 0; i < def.entries.size(); ++i) {
        const Entry& e = def.entries[i];
        if (e.isPlay()) {
            found.push_back(Reading{});
            continue;
        }
        found.push_back(isSelector(e.index) ? held[e.index] : read(s, e));
        // Page the zone entries after it as they were when written.
        if (isSelector(e.index) && i < applied.size() && applied[i].ok) {
            Tooling::Request answer;
            std::string error;
            s.setValue(e.index, applied[i].value, answer, error);
        }
    }
    return found;
}

int buildBank(const BuildOptions& o, std::ostream& out)
{
    std::vector<Parsed> parsed;
    if (!readDefinitions(o, parsed, out))
        return 1;
    std::error_code ec;
    fs::create_directories(o.out, ec);
    if (!fs::is_directory(o.out)) {
        out << "cannot make the bank folder " << o.out << "\n";
        return 1;
    }
    if (o.only.empty())
        clearBankFolder(o.out);

    int failed = 0, unstuck = 0;
    for (const Parsed& p : parsed) {
        const ProgramDefinition& def = p.def;
        const std::string preset = fs::absolute(fs::path(o.out) / (def.name + ".fxp")).string();
        std::vector<Reading> applied;
        {
            PluginSession s;
            if (!openFresh(s, o, "apply", out))
                return 1;
            std::vector<std::string> errors;
            if (!applyDefinition(s, def, o.samples, applied, errors)) {
                for (const std::string& e : errors)
                    out << p.file << ": " << e << "\n";
                ++failed;
                continue;
            }
            s.idle(4);
            unstuck += reportChanges(def, applied, readBack(s, def, applied), "after the later entries", out);
            std::string error;
            if (!s.exportPreset(preset, error) || !fs::is_regular_file(preset)) {
                out << def.name << ": not exported to " << preset << (error.empty() ? "" : ": " + error) << "\n";
                ++failed;
                continue;
            }
        }
        PluginSession t;
        if (!openFresh(t, o, "load", out))
            return 1;
        std::string error;
        if (!t.importPreset(preset, error)) {
            out << def.name << ": " << preset << " did not load: " << error << "\n";
            ++failed;
            continue;
        }
        t.idle(4);
        unstuck += reportChanges(def, applied, readBack(t, def, applied), "after store and load", out);
        out << "built " << def.name << " (" << def.entries.size() << " entries)\n";
    }
    out << parsed.size() - static_cast<size_t>(failed) << " of " << parsed.size() << " programs written to " << o.out;
    if (unstuck)
        out << "; " << unstuck << " value(s) did not stick";
    out << "\n";
    return failed || unstuck ? 1 : 0;
}

int listEntries(const std::string& plugin, const std::string& work, std::ostream& out)
{
    BuildOptions o;
    o.plugin = plugin;
    o.work = work;
    PluginSession s;
    if (!openFresh(s, o, "entries", out))
        return 1;
    for (int i = 0; i < ExternalEntries; ++i) {
        Tooling::Request e;
        std::string error;
        if (!s.get(i, e, error)) {
            out << i << "\t(" << error << ")\n";
            continue;
        }
        const std::string own = trimmed(e.name);
        out << i << "\t" << (own.empty() || own == "-" ? trimmed(e.parameterName) : own) << "\t";
        if (e.isText)
            out << "\"" << e.text << "\"\ttext";
        else
            out << e.value << "\t" << e.low << ".." << e.high << "\t" << trimmed(e.display);
        out << "\n";
    }
    return 0;
}

namespace {

bool writeWav(const std::string& path, const Audio& a, std::string& error)
{
    Host::WavWriter_c wav;
    if (!wav.open(path, static_cast<int>(a.channels.size()), static_cast<int>(a.rate), error))
        return false;
    std::vector<const float*> pointers;
    for (const auto& c : a.channels)
        pointers.push_back(c.data());
    if (!wav.write(pointers.data(), static_cast<int>(a.frames())))
        return error = "cannot write " + path, false;
    return wav.finish(error);
}

std::string oneDecimal(double v)
{
    std::ostringstream s;
    s.setf(std::ios::fixed);
    s.precision(1);
    s << v;
    return s.str();
}

} // namespace

namespace {

// Each definition applied to a fresh instance in turn, handed to `use`
// (the session, the definition, the values read back); a definition that
// does not apply is reported and skipped. 0 when all applied.
template <class Use>
int forEachApplied(const BuildOptions& o, const char* work, std::ostream& out, Use use)
{
    std::vector<Parsed> parsed;
    if (!readDefinitions(o, parsed, out))
        return 1;
    int failed = 0;
    for (const Parsed& p : parsed) {
        PluginSession s;
        if (!openFresh(s, o, work, out))
            return 1;
        std::vector<Reading> applied;
        std::vector<std::string> errors;
        if (!applyDefinition(s, p.def, o.samples, applied, errors)) {
            for (const std::string& e : errors)
                out << p.file << ": " << e << "\n";
            ++failed;
            continue;
        }
        s.idle(4);
        if (!use(s, p, applied))
            ++failed;
    }
    return failed ? 1 : 0;
}

} // namespace

int measureDefinitions(const BuildOptions& o, const std::string& wavFolder, std::ostream& out)
{
    return forEachApplied(o, "measure", out, [&](PluginSession& s, const Parsed& p, const std::vector<Reading>&) {
        const double seconds = HoldSeconds + TailSeconds;
        std::vector<NoteSpan> chord;
        for (int key : ChordKeys)
            chord.push_back({key, TestVelocity, 0.0, HoldSeconds});
        // The check hears every program in an instance of its own, as
        // here: these first renders are what it measures. The levels of
        // later renders depend on where the voices' free-running phases and
        // drift happen to stand; with TESSEL_BANK_TRIALS above 1 the worst
        // of that many is shown too, each trial after a few short notes more.
        const Audio note = s.play({{MiddleC, TestVelocity, 0.0, HoldSeconds}}, seconds);
        const Audio chordAudio = s.play(chord, seconds);
        const double rms = loudestWindowDb(note, LoudestWindowSeconds);
        const double peak = peakDb(chordAudio);
        double worstNote = rms, worstPeak = peak;
        for (int trial = 1; trial < trials(); ++trial) {
            for (int k = 0; k < trial % 7; ++k)
                s.play({{36 + (trial * 7 + k * 5) % 48, 1 + (trial * 13) % 100, 0.0, 0.01 * (1 + trial % 3)}}, 0.05);
            s.restart();
            worstNote = std::min(worstNote, loudestWindowDb(s.play({{MiddleC, TestVelocity, 0.0, HoldSeconds}}, seconds),
                                                            LoudestWindowSeconds));
            worstPeak = std::max(worstPeak, peakDb(s.play(chord, seconds)));
        }
        const bool ok = rms >= NoteRmsLowDb && rms <= NoteRmsHighDb && peak < ChordPeakDb;
        out << (ok ? "ok   " : "LEVEL") << " " << p.def.name << ": note " << oneDecimal(rms) << " dB RMS, chord peak "
            << oneDecimal(peak) << " dBFS at " << oneDecimal(peakSeconds(chordAudio)) << " s, sides "
            << oneDecimal(std::max(sideToMidDb(note), sideToMidDb(chordAudio))) << " dB, surround "
            << oneDecimal(surroundShareDb(note)) << " dB, brightness " << static_cast<int>(spectralCentroidHz(note))
            << " Hz, strongest " << static_cast<int>(strongestHz(note)) << " Hz";
        if (trials() > 1)
            out << "; worst of " << trials() << ": note " << oneDecimal(worstNote) << ", chord " << oneDecimal(worstPeak);
        out << "\n";
        if (!wavFolder.empty()) {
            std::string error;
            fs::create_directories(wavFolder);
            if (!writeWav((fs::path(wavFolder) / (p.def.name + " note.wav")).string(), note, error) ||
                !writeWav((fs::path(wavFolder) / (p.def.name + " chord.wav")).string(), chordAudio, error)) {
                out << error << "\n";
                return false;
            }
        }
        return true;
    });
}

int annotateDefinitions(const BuildOptions& o, std::ostream& out)
{
    return forEachApplied(o, "annotate", out, [&](PluginSession&, const Parsed& p, const std::vector<Reading>& applied) {
        std::ifstream in(p.file, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        for (size_t i = 0; i < p.def.entries.size(); ++i) {
            const Entry& e = p.def.entries[i];
            if (e.isText || e.isPlay() || e.line < 1 || static_cast<size_t>(e.line) > lines.size())
                continue;
            // A display that only repeats the number says nothing more.
            const std::string& shown = applied[i].display;
            if (!shown.empty() && shown != std::to_string(applied[i].value))
                lines[static_cast<size_t>(e.line - 1)] = withComment(lines[static_cast<size_t>(e.line - 1)], shown);
        }
        const std::string temp = p.file + ".part";
        {
            std::ofstream f(temp, std::ios::binary | std::ios::trunc);
            for (const std::string& line : lines)
                f << line << "\n";
            if (!f) {
                out << "cannot write " << temp << "\n";
                return false;
            }
        }
        std::error_code ec;
        fs::rename(temp, p.file, ec);
        return !ec;
    });
}

} // namespace Bank
