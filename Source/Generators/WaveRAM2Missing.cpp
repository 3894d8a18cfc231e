// Missing samples: a zone whose file is not where a preset says looks for it
// under the folders where earlier missing samples were found, and otherwise
// asks the user to locate it. With an engine the questions and the dialog
// are a chain of panels on the engine's panel thread: nothing here waits for
// the user, each step runs in the idle round that got the answer before, and
// the caller learns when the chain has ended. Without an engine (a store of
// its own) the questions are asked on the spot and the dialog, which needs
// an owner, answers like a cancel; headless, the panels answer "no", so a
// missing sample is reported and skipped and the program still loads.
//
// A SoundFont zone ("<file>/<k>/<name>") is missing when its SoundFont file
// is: the search and the dialog look for that file, and the zone then names
// zone k of the file found.
#include "WaveRAM2.h"

#include "FileDialog.h"
#include "InterSF2.h"
#include "OsLib.h"
#include "Parameter.h"
#include "Synth.h"

#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr const char* MissingTitle = "Sample Missing";
constexpr const char* MissingQuestion = "Do you want to display this message for other missing samples?";

bool candidateExists(const Tool::Disk::Path_c& candidate, Tool::Disk::Path_c& found)
{
    if (Tool::Disk::exists(candidate) == 1) {
        found = candidate;
        return true;
    }
    // Paths stored by older systems may be Latin-1.
    if (!candidate.getString().isUTF8Compliant()) {
        const Tool::Disk::Path_c converted(candidate.getString().latin1ToUtf8());
        if (Tool::Disk::exists(converted) == 1) {
            found = converted;
            return true;
        }
    }
    return false;
}

// The SoundFont file a zone's name reads from, and the rest of the name
// ("<k>/<sample name>"); false for a name of a sample file.
bool soundFontParts(const Tool::Disk::Path_c& name, Tool::Disk::Path_c& file, Tool::Disk::Path_c& rest)
{
    int k = 0;
    if (!InterSF2_c::isZoneReference(name, file, k))
        return false;
    rest = Tool::Disk::Path_c(std::to_string(k).c_str()) / name.getLeaf();
    return true;
}

} // namespace

bool WaveRAM2_c::autoLocateSample(const Tool::Disk::Path_c& missingName, Tool::Disk::Path_c& found) const
{
    Tool::Disk::Path_c missing = missingName;
    Tool::Disk::Path_c soundFontRest;
    const bool soundFontZone = soundFontParts(missingName, missing, soundFontRest);
    // The tails of the path, longest first: Kits/Drums/kick.wav,
    // Drums/kick.wav, kick.wav.
    std::vector<Tool::Disk::Path_c> tails;
    Tool::Disk::Path_c t = missing;
    t.convertToRelative();
    while (!t.empty()) {
        tails.push_back(t);
        Tool::Disk::Path_c shorter = t.getTopLevelStripped();
        if (shorter.getString() == t.getString())
            break; // no folder left to strip
        t = shorter;
    }
    for (const Tool::Disk::Path_c& folder : searchPaths) {
        for (auto it = tails.rbegin(); it != tails.rend(); ++it) {
            if (candidateExists(folder / *it, found)) {
                if (soundFontZone)
                    found = found / soundFontRest;
                return true;
            }
        }
    }
    return false;
}

bool WaveRAM2_c::setSample(int ins, int z, const Tool::Disk::Path_c& path)
{
    if (setSampleCore(ins, z, path))
        return true;
    if (!validZone(ins, z))
        return false;
    return handleMissingSample(ins, z, ZoneParaCount * z, path);
}

bool WaveRAM2_c::handleMissingSample(int ins, int z, int zoneBase, const Tool::Disk::Path_c& path)
{
    if (!validZone(ins, z) || zoneBase != ZoneParaCount * z)
        return false;
    return handleMissingSample(ins, z, path,
                               [this, ins, z](const Tool::Disk::Path_c& file) { return setSampleCore(ins, z, file); });
}

namespace {

// The file patterns the dialog offers for a missing file.
Vdx::String_c missingPatterns(bool soundFontZone, const Vdx::String_c& supported)
{
    Vdx::String_c patterns;
    std::vector<Vdx::String_c> types;
    if (soundFontZone)
        types.push_back(Vdx::String_c("sf2"));
    else
        supported.tokenize(types, ' ');
    for (const Vdx::String_c& type : types) {
        if (!patterns.empty())
            patterns += " ";
        patterns += "*.";
        patterns += type;
    }
    return patterns;
}

} // namespace

// One search's chain of panels: the question, the dialog (again after a
// file that did not load) and, after a No or a cancel, whether to ask for
// other missing samples. Each step holds the chain; the store outlives it
// (the engine's panel queue is stopped before its tables go).
struct WaveRAM2_c::MissingSearch_t : std::enable_shared_from_this<MissingSearch_t>
{
    WaveRAM2_c* store = nullptr;
    Tool::Disk::Path_c file;          // what the user is asked for
    Tool::Disk::Path_c soundFontRest; // "<k>/<name>" of a SoundFont zone
    bool soundFontZone = false;
    ZoneLoader_t load;
    std::function<void()> ended;
    FileDialog_c::Show_t dialog;

    void end()
    {
        if (auto done = std::exchange(ended, {}))
            done();
    }
    void ask()
    {
        const Vdx::String_c question = file.getString() + " not found! Do you want to manually locate this sample?";
        auto self = shared_from_this();
        if (!store->synth->getPanels().ask(question.c_str(), "File error", [self](bool yes) {
                if (yes)
                    self->choose();
                else
                    self->askForOthers();
            }))
            end();
    }
    void choose()
    {
        auto self = shared_from_this();
        if (!store->synth->chooseFileLater(dialog, [self](const Tool::Disk::Path_c& chosen) { self->chosen(chosen); }))
            end();
    }
    void chosen(const Tool::Disk::Path_c& chosen)
    {
        if (chosen.empty()) {
            askForOthers();
            return;
        }
        if (!load(soundFontZone ? chosen / soundFontRest : chosen)) {
            choose();
            return;
        }
        store->rememberFolder(chosen.getParent());
        end();
    }
    void askForOthers()
    {
        auto self = shared_from_this();
        if (!store->synth->getPanels().ask(MissingQuestion, MissingTitle, [self](bool yes) {
                self->store->flagAskForMissing = yes;
                self->end();
            }))
            end();
    }
};

void WaveRAM2_c::rememberFolder(const Tool::Disk::Path_c& folder)
{
    searchPaths.push_back(folder);
    SearchPathInfo_c info(folder);
    sendGroupData(info);
}

bool WaveRAM2_c::handleMissingSample(int ins, int z, const Tool::Disk::Path_c& path, const ZoneLoader_t& load,
                                     std::function<void()> ended)
{
    // Whatever way the search ends, the caller hears it once.
    struct EndGuard
    {
        std::function<void()> ended;
        ~EndGuard()
        {
            if (ended)
                ended();
        }
    } guard{std::move(ended)};
    if (!validZone(ins, z) || !paraSet)
        return false;
    // A SoundFont zone is missing when its SoundFont file is: that file is
    // what the user is asked for and chooses.
    Tool::Disk::Path_c file = path;
    Tool::Disk::Path_c soundFontRest;
    const bool soundFontZone = soundFontParts(path, file, soundFontRest);
    if (Tool::Disk::exists(file) == 1) {
        // There, but unreadable: searching elsewhere would not help.
        const Vdx::String_c text = Tool::Disk::isSpecialFile(file)
                                       ? loadFailedText(file)
                                       : file.getString() + " could not be loaded! Corrupted file or unknown format!";
        tell("File Error - Load failed", text.c_str());
        return false;
    }
    Tool::Disk::Path_c found;
    if (autoLocateSample(path, found) && load(found)) {
        // The load has stored the name; no second load.
        return true;
    }
    if (!flagAskForMissing)
        return false;

    FileDialog_c dialog(synth);
    dialog.title = "Sample load";
    dialog.mode = FileDialog_c::ModeOpen;
    dialog.setExtensions(missingPatterns(soundFontZone, getSupportedFileTypes()).c_str());
    if (synth) {
        auto search = std::make_shared<MissingSearch_t>();
        search->store = this;
        search->file = file;
        search->soundFontRest = soundFontRest;
        search->soundFontZone = soundFontZone;
        search->load = load;
        search->ended = std::exchange(guard.ended, {});
        search->dialog = dialog.snapshot();
        search->ask();
        return false;
    }

    // No engine: no panel thread to wait on.
    const Vdx::String_c question = file.getString() + " not found! Do you want to manually locate this sample?";
    if (!OsLib_c::askUser(question.c_str(), "File error")) {
        flagAskForMissing = OsLib_c::askUser(MissingQuestion, MissingTitle);
        return false;
    }
    for (;;) {
        const Tool::Disk::Path_c chosen = dialog.run();
        if (chosen.empty()) {
            flagAskForMissing = OsLib_c::askUser(MissingQuestion, MissingTitle);
            return false;
        }
        if (load(soundFontZone ? chosen / soundFontRest : chosen)) {
            rememberFolder(chosen.getParent());
            return true;
        }
    }
}
