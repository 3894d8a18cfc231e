#include "BankCheck.h"

#include "Coverage.h"
#include "Measure.h"
#include "PluginSession.h"
#include "ProgramText.h"
#include "Sandbox.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace Bank {

namespace {

// The name of the damaged preset the check puts into the folder; it sorts
// after every program name of the bank.
constexpr const char* DamagedName = "zz Damaged Preset";
// What the instrument says when a chosen preset does not load.
constexpr const char* LoadErrorText = "This preset could not be loaded!";
// A program counts as stereo when its sides reach this far below its middle
// (or, in the six-output build, when this share of its power is outside the
// front pair).
constexpr double StereoSideDb = -30.0;
constexpr double SurroundShareDb = -20.0;
// Programs chosen by MIDI program change (positions in the list, clamped).
constexpr int MidiChecks = 3;

class Report
{
public:
    explicit Report(std::ostream& out) : out_(out) {}
    void fail(const std::string& what)
    {
        ++failures_;
        out_ << "FAIL: " << what << "\n";
    }
    void note(const std::string& what) { out_ << what << "\n"; }
    int failures() const { return failures_; }

private:
    std::ostream& out_;
    int failures_ = 0;
};

struct Renders
{
    Audio note;
    Audio chord;
};

Renders renderTests(PluginSession& s)
{
    Renders r;
    const double seconds = HoldSeconds + TailSeconds;
    r.note = s.play({{MiddleC, TestVelocity, 0.0, HoldSeconds}}, seconds);
    std::vector<NoteSpan> chord;
    for (int key : ChordKeys)
        chord.push_back({key, TestVelocity, 0.0, HoldSeconds});
    r.chord = s.play(chord, seconds);
    return r;
}

struct Prints
{
    SoundPrint note, chord;
};

Prints printsOf(const Renders& r)
{
    return {soundPrint(r.note), soundPrint(r.chord)};
}

// Two programs sound alike when neither the note nor the chord tells them
// apart; the note's distances are given.
bool alike(const Prints& a, const Prints& b, PrintDistance& noteDistance)
{
    noteDistance = distance(a.note, b.note);
    return !noteDistance.audible() && !distance(a.chord, b.chord).audible();
}

std::string fixed(double v, int digits = 1)
{
    std::ostringstream s;
    s << std::fixed << std::setprecision(digits) << v;
    return s.str();
}

std::string cut(const std::string& name)
{
    return name.substr(0, std::min(name.size(), ProgramNameChars));
}

// The plug-in's messages written since `from` that report a problem.
std::string problemsSince(const std::string& text, size_t from)
{
    std::string found;
    std::istringstream in(text.substr(std::min(from, text.size())));
    std::string line;
    while (std::getline(in, line))
        if (line.find("Error") != std::string::npos || line.find("could not") != std::string::npos)
            found += (found.empty() ? "" : " | ") + line;
    return found;
}

// Writes a preset cut short, as an interrupted copy leaves one: a header
// whose chunk size promises more than the file holds.
bool writeDamagedPreset(const std::string& from, const std::string& to)
{
    std::ifstream in(from, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 64)
        return false;
    bytes.resize(60 + (bytes.size() - 60) / 2);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// The system setting "Default Preset Path", which the instrument keeps in
// the preferences for every instance: the preset file a fresh instance loads.
std::string defaultPreset(PluginSession& s)
{
    constexpr int DefaultPresetEntry = 966;
    Tooling::Request entry;
    std::string error;
    return s.get(DefaultPresetEntry, entry, error) ? std::string(entry.text) : std::string();
}

std::vector<std::string> presetFiles(const std::string& folder)
{
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& item : fs::directory_iterator(folder, ec))
        if (item.is_regular_file() && item.path().extension() == ".fxp")
            files.push_back(item.path().string());
    std::sort(files.begin(), files.end(),
              [](const std::string& a, const std::string& b) { return programNameLess(programNameOf(a), programNameOf(b)); });
    return files;
}

// Levels, finiteness and stereo of one program's renders.
void checkLevels(const std::string& name, const Renders& r, Report& report, std::string& line)
{
    const double chordPeak = peakDb(r.chord);
    const double noteRms = loudestWindowDb(r.note, LoudestWindowSeconds);
    const double side = std::max(sideToMidDb(r.note), sideToMidDb(r.chord));
    const double surround = std::max(surroundShareDb(r.note), surroundShareDb(r.chord));
    line += "  note " + fixed(noteRms) + " dB RMS  chord peak " + fixed(chordPeak) + " dBFS  sides " + fixed(side) +
            " dB";
    if (r.note.channels.size() > 2)
        line += "  surround " + fixed(surround) + " dB";
    if (!allFinite(r.note) || !allFinite(r.chord))
        report.fail(name + ": the output holds numbers that are not finite");
    if (!(chordPeak < ChordPeakDb))
        report.fail(name + ": the chord peaks at " + fixed(chordPeak, 2) + " dBFS (limit " + fixed(ChordPeakDb) + ")");
    if (!(noteRms >= NoteRmsLowDb && noteRms <= NoteRmsHighDb))
        report.fail(name + ": middle C's loudest 300 ms are " + fixed(noteRms, 2) + " dB RMS (" + fixed(NoteRmsLowDb) +
                    " .. " + fixed(NoteRmsHighDb) + ")");
    if (side < StereoSideDb && surround < SurroundShareDb)
        report.fail(name + ": not stereo (sides " + fixed(side) + " dB under the middle)");
}

} // namespace

int checkBank(const CheckOptions& o, std::ostream& out)
{
    Report report(out);
    const std::vector<std::string> presets = presetFiles(o.bank);
    const int count = static_cast<int>(presets.size());
    if (count < MinPrograms)
        report.fail("the bank holds " + std::to_string(count) + " presets, fewer than " + std::to_string(MinPrograms));
    if (count == 0)
        return 1;
    std::string error;

    // The default program: what a fresh instance plays without any bank.
    Prints defaultPrints;
    {
        Sandbox box((fs::path(o.work) / "default").string());
        PluginSession s;
        if (!box.ok() || !s.open(o.plugin, error)) {
            report.fail(box.ok() ? error : box.error());
            return 1;
        }
        defaultPrints = printsOf(renderTests(s));
    }

    // The bank as a fresh install holds it, with one damaged preset more.
    Sandbox box((fs::path(o.work) / "bank").string());
    if (!box.ok() || !copyBankFiles(o.bank, box.startupFolder(), error)) {
        report.fail(box.ok() ? error : box.error());
        return 1;
    }
    const std::string damaged = (fs::path(box.startupFolder()) / (std::string(DamagedName) + ".fxp")).string();
    if (!writeDamagedPreset(presets.back(), damaged))
        report.fail("cannot write the damaged preset " + damaged);
    std::vector<std::string> names;
    for (const std::string& p : presets)
        names.push_back(programNameOf(p));
    names.push_back(DamagedName);
    std::sort(names.begin(), names.end(), programNameLess);
    const int damagedIndex = static_cast<int>(std::find(names.begin(), names.end(), DamagedName) - names.begin());

    ErrorCapture messages;
    Coverage coverage;
    std::vector<Prints> prints(names.size());
    std::vector<std::string> lines(names.size());
    {
        // The host's view of a fresh instance, and every program by host
        // program change on it: its name and no message.
        PluginSession s;
        if (!s.open(o.plugin, error)) {
            messages.end();
            report.fail(error);
            return 1;
        }
        const int listed = s.programCount();
        for (int i = 0; i < listed; ++i) {
            const std::string want = i < static_cast<int>(names.size()) ? cut(names[static_cast<size_t>(i)]) : "unknown";
            const std::string got = s.programNameIndexed(i);
            if (got != want)
                report.fail("program " + std::to_string(i) + " is listed as \"" + got + "\", not \"" + want + "\"");
        }
        if (s.program() != 0 || s.programName() != cut(names[0]))
            report.fail("a fresh instance plays \"" + s.programName() + "\", not the first program \"" + names[0] + "\"");
        const std::string stored = defaultPreset(s);
        if (fs::path(stored).filename() != fs::path(presets.front()).filename())
            report.fail("the stored default preset is \"" + stored + "\", not the first program");
        for (int p = 0; p < static_cast<int>(names.size()); ++p) {
            if (p == damagedIndex)
                continue;
            const std::string& name = names[static_cast<size_t>(p)];
            const size_t mark = messages.text().size();
            if (!s.setProgram(p) || s.programName() != cut(name))
                report.fail(name + ": a host program change to " + std::to_string(p) + " gave program " +
                            std::to_string(s.program()) + " \"" + s.programName() + "\"");
            if (const std::string problems = problemsSince(messages.text(), mark); !problems.empty())
                report.fail(name + ": the plug-in reported: " + problems);
            if (!coverage.add(s, name, error))
                report.fail(name + ": " + error);
        }
    }
    for (const std::string& item : coverage.missing())
        report.fail("no program shows " + item);

    // What every program sounds like: each in an instance of its own, as a
    // host opens one and chooses the program, so what is measured does not
    // depend on what played before (no tails, no voices in other states)
    // and each run measures the same.
    for (int p = 0; p < static_cast<int>(names.size()); ++p) {
        if (p == damagedIndex)
            continue;
        const std::string& name = names[static_cast<size_t>(p)];
        PluginSession s;
        if (!s.open(o.plugin, error) || !s.setProgram(p)) {
            report.fail(name + ": not chosen in a fresh instance" + (error.empty() ? "" : ": " + error));
            continue;
        }
        const Renders r = renderTests(s);
        std::string line = std::to_string(p) + " " + name;
        checkLevels(name, r, report, line);
        lines[static_cast<size_t>(p)] = line;
        prints[static_cast<size_t>(p)] = printsOf(r);
        PrintDistance d;
        if (alike(prints[static_cast<size_t>(p)], defaultPrints, d))
            report.fail(name + ": sounds like the default program (" + d.describe() + ")");
    }

    // Every pair of programs.
    for (size_t a = 0; a < names.size(); ++a)
        for (size_t b = a + 1; b < names.size(); ++b) {
            if (static_cast<int>(a) == damagedIndex || static_cast<int>(b) == damagedIndex)
                continue;
            PrintDistance d;
            if (alike(prints[a], prints[b], d))
                report.fail(names[a] + " and " + names[b] + " sound alike (" + d.describe() + ")");
        }

    // MIDI program changes select the program, its name and its sound.
    PluginSession s;
    if (!s.open(o.plugin, error)) {
        messages.end();
        report.fail(error);
        return 1;
    }
    for (int k = 0; k < MidiChecks; ++k) {
        const int p = std::min({count - 1, 127, (count - 1) - k * (count / MidiChecks)});
        if (p == s.program() || p == damagedIndex)
            continue;
        const std::string& name = names[static_cast<size_t>(p)];
        if (!s.midiProgramChange(p) || s.programName() != cut(name)) {
            report.fail("MIDI program change " + std::to_string(p) + " gave program " + std::to_string(s.program()) +
                        " \"" + s.programName() + "\", not \"" + name + "\"");
            continue;
        }
        s.restart();
        PrintDistance d;
        if (!alike(printsOf(renderTests(s)), prints[static_cast<size_t>(p)], d))
            report.fail("after MIDI program change " + std::to_string(p) + " \"" + name +
                        "\" sounds unlike its host program change (" + d.describe() + ")");
    }

    // A damaged preset: listed, reported, and nothing changes.
    {
        const int before = s.program();
        const std::string beforeName = s.programName();
        const size_t mark = messages.text().size();
        s.setProgram(damagedIndex);
        s.idle(4);
        // The plug-in shows its messages on a thread of its own, so the
        // text may arrive a little after the idle round that handed it over.
        auto reported = [&] { return messages.text().find(LoadErrorText, mark) != std::string::npos; };
        for (int wait = 0; wait < 200 && !reported(); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!reported())
            report.fail("choosing the damaged preset reported no load error");
        if (s.program() != before || s.programName() != beforeName)
            report.fail("after the damaged preset the host sees program " + std::to_string(s.program()) + " \"" +
                        s.programName() + "\", not " + std::to_string(before) + " \"" + beforeName + "\"");
        s.restart();
        PrintDistance d;
        if (before >= 0 && before < static_cast<int>(prints.size()) &&
            !alike(printsOf(renderTests(s)), prints[static_cast<size_t>(before)], d))
            report.fail("after the damaged preset the sound changed (" + d.describe() + ")");
    }
    messages.end();
    s.close();

    for (const std::string& line : lines)
        if (!line.empty())
            report.note(line);
    report.note(std::to_string(count) + " programs checked with " + o.plugin + ": " +
                (report.failures() ? std::to_string(report.failures()) + " failure(s)" : "all passed"));
    return report.failures() ? 1 : 0;
}

} // namespace Bank
