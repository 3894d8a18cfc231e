// Preset files: the FXP bytes an export writes, imports of good and hostile
// files, saves that fail half-way, stepping through the program list, the
// default and start-up presets, the bank root and the preset clipboard.
#include "SynthPresetTestEngine.h"

#include "Capacities.h"
#include "FileDialog.h"
#include "FileList.h"
#include "ModuleManager.h"
#include "OsLib.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace PresetTest;
using TestSupport::ScopedEnv;
using TestSupport::TempDir;
using Tool::Disk::Path_c;
namespace fs = std::filesystem;

namespace {

constexpr size_t HeaderBytes = 60;
constexpr int OscPara = 3;  // a parameter of the voice module the tests change
constexpr int GloPara = 2;  // one of the global program part

class PresetFiles : public ::testing::Test
{
protected:
    PresetFiles()
    {
        fs::create_directories(bank);
        // The system settings are shared by every engine of the process:
        // each test starts from the same ones.
        sys().setParaVal(0, SysGloPara::JumpToSaveDir, 0);
        sys().setParaPath(0, SysGloPara::DefaultPresetPath, Path_c("empty"));
    }
    ~PresetFiles() override { FileDialog_c::setPanelRunner(nullptr); }

    SysGlo_c& sys() { return *engine.getSysGlo(); }
    std::string at(const std::string& name) const { return bank + "/" + name; }
    void sound(PresetTestEngine& e, int osc, int glo)
    {
        e.setValue(e.rowVOSC, 0, OscPara, osc);
        e.setValue(e.rowPGLO, 0, GloPara, glo);
    }
    void sound(int osc, int glo) { sound(engine, osc, glo); }
    int osc(PresetTestEngine& e) { return e.value(e.rowVOSC, 0, OscPara); }
    int glo(PresetTestEngine& e) { return e.value(e.rowPGLO, 0, GloPara); }
    // Saves a preset with that sound.
    std::string save(const std::string& name, int oscValue, int gloValue = 50)
    {
        sound(oscValue, gloValue);
        engine.exportPatch(0, Path_c(at(name)));
        return at(name);
    }
    std::vector<std::string> filesIn(const std::string& folder)
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir;
    ScopedEnv config{"XDG_CONFIG_HOME", (dir.path() + "/config").c_str()};
    ScopedEnv data{"XDG_DATA_HOME", (dir.path() + "/data").c_str()};
    const std::string bank = dir.path() + "/Bank A";
    PresetTestEngine engine;
};

std::vector<unsigned char> bigEndian(uint32_t v)
{
    return {static_cast<unsigned char>(v >> 24), static_cast<unsigned char>(v >> 16),
            static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)};
}

std::vector<unsigned char> text(const char* s)
{
    return std::vector<unsigned char>(s, s + std::strlen(s));
}

// ---------------------------------------------------------------------------
// Export

TEST_F(PresetFiles, ExportWritesTheFxpHeaderThenTheProgramMemory)
{
    const std::string path = save("Warm.fxp", 42, 7);
    const std::vector<unsigned char> program = engine.program();
    ASSERT_GT(program.size(), 12u);

    std::vector<unsigned char> expected;
    auto add = [&](const std::vector<unsigned char>& b) { expected.insert(expected.end(), b.begin(), b.end()); };
    add(text("CcnK"));
    add(bigEndian(0)); // byte count: not written
    add(text("FPCh"));
    add(bigEndian(1)); // format version
    add(text("Tsx3"));
    add(bigEndian(1)); // plug-in version
    add(bigEndian(1)); // number of parameters
    // The name of the current program: with an empty program list, "unknown".
    std::vector<unsigned char> name(28, 0);
    std::memcpy(name.data(), "unknown", 7);
    add(name);
    add(bigEndian(static_cast<uint32_t>(program.size())));
    add(program);

    EXPECT_EQ(fileBytes(path), expected);
    EXPECT_EQ(filesIn(bank), std::vector<std::string>{"Warm.fxp"}) << "no temporary file stays behind";
}

TEST_F(PresetFiles, ALongProgramNameIsStoredAsItsFirst27CharactersAndAZero)
{
    const std::string longName = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456"; // 33 characters
    const std::string path = save(longName + ".fxp", 1);
    engine.refreshPrgList(0, Path_c(path)); // the file becomes the current program
    engine.exportPatch(0, Path_c(path));

    const std::vector<unsigned char> bytes = fileBytes(path);
    ASSERT_GE(bytes.size(), HeaderBytes);
    EXPECT_EQ(std::string(bytes.begin() + 28, bytes.begin() + 55), longName.substr(0, 27));
    EXPECT_EQ(bytes[55], 0);
}

TEST_F(PresetFiles, AnExportKeepsTheModeOfTheFileItReplaces)
{
    const std::string path = save("Mode.fxp", 1);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    save("Mode.fxp", 2);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(PresetFiles, ASuccessfulExportMarksTheProgramSavedAndTellsTheHost)
{
    sys().setParaVal(0, SysGloPara::JumpToSaveDir, 1);
    const std::string path = save("Saved.fxp", 5);

    EXPECT_TRUE(engine.isPresetSavedOrLoaded());
    // "Jump To Save Dir": the program list now shows the saved file's folder.
    EXPECT_EQ(engine.loadPath(), path);
    EXPECT_EQ(engine.getPrgList(0)->getFolder().getString(), bank);
    EXPECT_EQ(engine.getPrgList(0)->getCount(), 1u);
    const std::vector<Automation> told = HostRecorder::take();
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0].index, PresetTestEngine::DirtyMarker);
    EXPECT_EQ(told[0].value, 1.0f);
    EXPECT_EQ(told[1].index, PresetTestEngine::DirtyMarker);
    EXPECT_GE(told[1].value, 0.0f);
    EXPECT_LT(told[1].value, 1.0f);
}

TEST_F(PresetFiles, WithoutJumpToSaveDirTheProgramListStays)
{
    save("Stay.fxp", 5);
    EXPECT_TRUE(engine.isPresetSavedOrLoaded());
    EXPECT_EQ(engine.loadPath(), "");
    EXPECT_EQ(engine.getPrgList(0)->getCount(), 0u);
}

// A save that fails at any write leaves the old preset as it was, leaves no
// temporary file, tells the user and marks nothing as saved.
TEST_F(PresetFiles, AFailingWriteLeavesTheOldPresetIntact)
{
    struct Case
    {
        const char* what;
        int failFrom;
        size_t shortBy;
    };
    const Case cases[] = {
        {"the header write fails (disk full)", 0, 0},
        {"the chunk write fails (disk full)", 1, 0},
        {"the header write runs short, then nothing more is taken", 0, 7},
        {"the chunk write runs short, then nothing more is taken", 1, 5},
    };
    const std::string path = save("Keep.fxp", 10, 20);
    const std::vector<unsigned char> old = fileBytes(path);
    ASSERT_GT(old.size(), HeaderBytes);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PresetTestEngine writer;
        sys().setParaVal(0, SysGloPara::JumpToSaveDir, 1);
        sound(writer, 99, 98);
        writer.failFrom = c.failFrom;
        writer.shortBy = c.shortBy;
        HostRecorder::take();

        writer.exportPatch(0, Path_c(path));

        EXPECT_EQ(fileBytes(path), old);
        EXPECT_EQ(filesIn(bank), std::vector<std::string>{"Keep.fxp"});
        const std::vector<Message> told = writer.takeMessages();
        ASSERT_EQ(told.size(), 1u);
        EXPECT_EQ(told[0].title, "File Error - Save failed");
        EXPECT_EQ(told[0].text, path);
        EXPECT_FALSE(writer.isPresetSavedOrLoaded());
        EXPECT_EQ(writer.loadPath(), "") << "no jump to the folder of a file that was not saved";
        EXPECT_EQ(writer.getPrgList(0)->getCount(), 0u);
        EXPECT_TRUE(HostRecorder::take().empty()) << "the host is not told of a change";
        sys().setParaVal(0, SysGloPara::JumpToSaveDir, 0);
    }
}

TEST_F(PresetFiles, AnExportIntoAMissingFolderIsReportedAndCreatesNothing)
{
    const std::string path = dir.path() + "/missing/Nope.fxp";
    engine.exportPatch(0, Path_c(path));
    EXPECT_FALSE(fs::exists(dir.path() + "/missing"));
    const std::vector<Message> told = engine.takeMessages();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].title, "File Error - Save failed");
    EXPECT_FALSE(engine.isPresetSavedOrLoaded());
}

// ---------------------------------------------------------------------------
// Import

TEST_F(PresetFiles, AnImportRestoresTheSavedProgramAndSelectsItsFile)
{
    save("A.fxp", 10, 1);
    const std::string b = save("B.fxp", 20, 2);
    sound(77, 78);
    HostRecorder::take();

    EXPECT_GT(engine.importPatch(0, Path_c(b)), 0);

    EXPECT_EQ(osc(engine), 20);
    EXPECT_EQ(glo(engine), 2);
    EXPECT_EQ(engine.loadPath(), b);
    EXPECT_EQ(engine.getPrgList(0)->getCount(), 2u);
    EXPECT_EQ(engine.getSynGloIns()->getParaVal(0, SynGloInsPara::Program), 1);
    EXPECT_TRUE(engine.isPresetSavedOrLoaded());
    const std::vector<Automation> told = HostRecorder::take();
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0].value, 1.0f);
    EXPECT_LT(told[1].value, 0.9f);
}

TEST_F(PresetFiles, TheIdentifierIsTakenInEitherByteOrder)
{
    struct Case
    {
        const char* id;
        bool loads;
    };
    const Case cases[] = {
        {"Tsx3", true},  {"3xsT", true},  // ours, and ours byte-reversed
        {"Tsy2", true},  {"2ysT", true},  // the other accepted identifier
        {"Tsx4", false}, {"sTx3", false}, // neither
    };
    const std::vector<unsigned char> good = fileBytes(save("Id.fxp", 30));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        std::vector<unsigned char> bytes = good;
        std::memcpy(bytes.data() + 16, c.id, 4);
        writeBytes(at("Id.fxp"), bytes);
        sound(1, 1);
        const int r = engine.importPatch(0, Path_c(at("Id.fxp")));
        EXPECT_EQ(r > 0, c.loads);
        EXPECT_EQ(osc(engine), c.loads ? 30 : 1);
    }
}

// Hostile files load nothing (0), and the sound, the remembered preset and
// the program lists stay as they were.
TEST_F(PresetFiles, HostileFilesLoadNothingAndChangeNothing)
{
    const std::vector<unsigned char> good = fileBytes(save("Good.fxp", 40));
    const size_t n = good.size() - HeaderBytes;
    ASSERT_GT(n, 12u);
    const std::string other = save("Other.fxp", 41);
    engine.importPatch(0, Path_c(other));
    ASSERT_EQ(engine.loadPath(), other);

    auto withSize = [&](uint32_t size) {
        std::vector<unsigned char> b = good;
        putBigEndianAt(b, 56, size);
        return b;
    };
    std::vector<unsigned char> garbage(HeaderBytes + 64, 0xA5);
    std::memcpy(garbage.data(), good.data(), HeaderBytes);
    putBigEndianAt(garbage, 56, 64);
    struct Case
    {
        const char* what;
        std::vector<unsigned char> bytes;
    };
    const std::vector<Case> cases = {
        {"size word one past the end of the file", withSize(static_cast<uint32_t>(n + 1))},
        {"size word 0x7FFFFFFF", withSize(0x7FFFFFFFu)},
        {"size word 0x80000000 (negative as an int)", withSize(0x80000000u)},
        {"size word 0xFFFFFFFF", withSize(0xFFFFFFFFu)},
        {"size word 0", withSize(0)},
        {"a chunk of garbage blocks", garbage},
        {"an empty file", {}},
    };
    const std::string hostile = dir.path() + "/Hostile.fxp";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeBytes(hostile, c.bytes);
        sound(3, 4);
        EXPECT_EQ(engine.importPatch(0, Path_c(hostile)), 0);
        EXPECT_EQ(osc(engine), 3);
        EXPECT_EQ(glo(engine), 4);
        EXPECT_EQ(engine.loadPath(), other);
        EXPECT_EQ(engine.getPrgList(0)->getFolder().getString(), bank);
        engine.takeMessages();
    }
}

TEST_F(PresetFiles, ASizeWordAboveTheCapIsRefusedEvenWhenTheFileIsThatLarge)
{
    std::vector<unsigned char> bytes = fileBytes(save("Big.fxp", 40));
    const uint32_t over = static_cast<uint32_t>(FxpChunkMaxBytes) + 4;
    putBigEndianAt(bytes, 56, over);
    const std::string big = dir.path() + "/Big.fxp";
    writeBytes(big, bytes);
    // Sparse: the bytes are there as far as the file's size goes.
    fs::resize_file(big, HeaderBytes + over);
    sound(3, 4);
    EXPECT_EQ(engine.importPatch(0, Path_c(big)), 0);
    EXPECT_EQ(osc(engine), 3);
}

TEST_F(PresetFiles, AFileCutAtAnyLengthLoadsNothing)
{
    const std::vector<unsigned char> good = fileBytes(save("Cut.fxp", 40));
    const std::string cut = dir.path() + "/Cut.fxp";
    for (size_t length = 0; length < good.size(); ++length) {
        writeBytes(cut, std::vector<unsigned char>(good.begin(), good.begin() + static_cast<long>(length)));
        sound(3, 4);
        ASSERT_EQ(engine.importPatch(0, Path_c(cut)), 0) << "cut at " << length;
        ASSERT_EQ(osc(engine), 3) << "cut at " << length;
    }
    writeBytes(cut, good);
    EXPECT_GT(engine.importPatch(0, Path_c(cut)), 0) << "the whole file loads";
}

TEST_F(PresetFiles, OnlyRegularFilesAreRead)
{
    const std::string fifo = dir.path() + "/Pipe.fxp";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directories(dir.path() + "/Folder.fxp");
    const std::string cases[] = {"", dir.path() + "/Missing.fxp", dir.path() + "/Folder.fxp", fifo};
    for (const std::string& path : cases) {
        SCOPED_TRACE(path);
        sound(3, 4);
        EXPECT_EQ(engine.importPatch(0, Path_c(path)), 0); // a FIFO must not hang the reader
        EXPECT_EQ(osc(engine), 3);
    }
}

TEST_F(PresetFiles, AMultiPresetKeepsTheTuningAndIsRememberedAsTheMultiLoad)
{
    const std::string path = save("Multi.fxp", 60);
    SynGlo_c* glo = engine.getSynGlo();
    glo->setParaVal(0, SynGloPara::GloTune, 4410);
    sound(1, 1);
    EXPECT_GT(engine.importMultiPatch(Path_c(path)), 0);
    EXPECT_EQ(osc(engine), 60);
    EXPECT_EQ(glo->getParaVal(0, SynGloPara::GloTune), 4410);
    Path_c multi;
    glo->getParaPath(0, SynGloPara::MultiLoad, &multi);
    EXPECT_EQ(multi.getString(), path);
    EXPECT_FALSE(engine.isMultiLoadInProgress());
}

// ---------------------------------------------------------------------------
// Stepping through the program list

TEST_F(PresetFiles, NextPatchFileStepsWithinTheListAndStopsAtItsEnds)
{
    const std::string a = save("A.fxp", 10);
    const std::string b = save("B.fxp", 20);
    const std::string c = save("C.fxp", 30);
    ASSERT_GT(engine.importPatch(0, Path_c(a)), 0);

    // At the first file, backwards: nothing is loaded again.
    sound(5, 5);
    engine.nextPatchFile(0, false);
    EXPECT_EQ(osc(engine), 5);
    EXPECT_EQ(engine.loadPath(), a);

    engine.nextPatchFile(0, true);
    EXPECT_EQ(osc(engine), 20);
    EXPECT_EQ(engine.loadPath(), b);
    engine.nextPatchFile(0, true);
    EXPECT_EQ(osc(engine), 30);
    EXPECT_EQ(engine.getSynGloIns()->getParaVal(0, SynGloInsPara::Program), 2);

    // At the last file, forwards: nothing.
    sound(6, 6);
    engine.nextPatchFile(0, true);
    EXPECT_EQ(osc(engine), 6);
    EXPECT_EQ(engine.loadPath(), c);
    EXPECT_EQ(engine.getSynGloIns()->getParaVal(0, SynGloInsPara::Program), 2);

    engine.nextPatchFile(0, false);
    EXPECT_EQ(osc(engine), 20);
}

TEST_F(PresetFiles, NextPatchFileWithAnEmptyListDoesNothing)
{
    sound(5, 5);
    engine.nextPatchFile(0, true);
    engine.nextPatchFile(0, false);
    EXPECT_EQ(osc(engine), 5);
    EXPECT_EQ(engine.loadPath(), "");
}

// ---------------------------------------------------------------------------
// Default preset, bank root, last loaded

TEST_F(PresetFiles, GetDefPresetWithAStoredEmptyTakesTheFallbackAndStoresIt)
{
    const Path_c fallback(dir.path() + "/Root/Bank/First.fxp");
    EXPECT_EQ(engine.getDefPreset(fallback, true).getString(), fallback.getString());
    Path_c stored;
    sys().getParaPath(0, SysGloPara::DefaultPresetPath, &stored);
    EXPECT_EQ(stored.getString(), fallback.getString());
    EXPECT_EQ(engine.getBankRoot().getString(), dir.path() + "/Root");
}

TEST_F(PresetFiles, AStoredDefaultPresetIsKeptOnlyWhenAskedTo)
{
    const Path_c stored(dir.path() + "/Root/Bank/Stored.fxp");
    const Path_c fallback(dir.path() + "/Other/Bank/First.fxp");
    engine.setDefPreset(stored);

    EXPECT_EQ(engine.getDefPreset(fallback, true).getString(), stored.getString());
    EXPECT_EQ(engine.getBankRoot().getString(), dir.path() + "/Root");
    EXPECT_EQ(engine.getDefPreset(fallback, false).getString(), fallback.getString());
    EXPECT_EQ(engine.getBankRoot().getString(), dir.path() + "/Other");
    Path_c now;
    sys().getParaPath(0, SysGloPara::DefaultPresetPath, &now);
    EXPECT_EQ(now.getString(), fallback.getString());
}

TEST_F(PresetFiles, ForceBankPathFindsTheBankUnderThisMachinesRoot)
{
    Path_c path("/elsewhere/presets/Bank B/Pad.fxp");
    engine.ForceBankPath(path);
    EXPECT_EQ(path.getString(), "/elsewhere/presets/Bank B/Pad.fxp") << "no root known: unchanged";

    engine.setDefPreset(Path_c(dir.path() + "/Root/Bank A/Default.fxp"));
    engine.ForceBankPath(path);
    EXPECT_EQ(path.getString(), dir.path() + "/Root/Bank B/Pad.fxp");

    Path_c empty;
    engine.ForceBankPath(empty);
    EXPECT_TRUE(empty.empty());
}

TEST_F(PresetFiles, TheLastLoadedPresetIsTheLoadPathSetting)
{
    engine.setLastLoadedPreset(0, Path_c(""));
    EXPECT_EQ(engine.getLastLoadedPreset(0).getString(), "");
    engine.setLastLoadedPreset(0, Path_c(at("X.fxp")));
    EXPECT_EQ(engine.getLastLoadedPreset(0).getString(), at("X.fxp"));
    EXPECT_EQ(engine.getLastLoadedPreset(5).getString(), at("X.fxp")) << "the instrument is clamped";
}

// ---------------------------------------------------------------------------
// Start-up presets

TEST_F(PresetFiles, StartupLoadsTheFirstFileAndMakesItTheDefault)
{
    const std::string a = save("A.fxp", 10);
    save("B.fxp", 20);
    sound(1, 1);
    engine.loadStartupPatchesFrom(Path_c(bank), true);
    EXPECT_EQ(osc(engine), 10);
    EXPECT_EQ(engine.loadPath(), a);
    EXPECT_TRUE(engine.isChunkLoaded());
    Path_c def;
    sys().getParaPath(0, SysGloPara::DefaultPresetPath, &def);
    EXPECT_EQ(def.getString(), a);
}

TEST_F(PresetFiles, StartupKeepsAStoredDefaultAndTakesARelativeFolderInTheDataFolder)
{
    // The data folder: $XDG_DATA_HOME/Vendrax.
    const std::string presets = dir.path() + "/data/Vendrax/Presets/Bank";
    fs::create_directories(presets);
    save("A.fxp", 10);
    const std::string b = save("B.fxp", 20);
    fs::copy_file(at("A.fxp"), presets + "/A.fxp");
    fs::copy_file(b, presets + "/B.fxp");
    engine.setDefPreset(Path_c(presets + "/B.fxp"));

    PresetTestEngine fresh;
    fresh.loadStartupPatchesFrom(Path_c("Presets/Bank"), true);
    EXPECT_EQ(osc(fresh), 20);
    EXPECT_EQ(fresh.loadPath(), presets + "/B.fxp");
    EXPECT_EQ(fresh.getPrgList(0)->getCount(), 2u);
}

TEST_F(PresetFiles, StartupFromAnEmptyFolderLoadsNothing)
{
    fs::create_directories(dir.path() + "/Empty");
    sound(1, 1);
    engine.loadStartupPatchesFrom(Path_c(dir.path() + "/Empty"), true);
    EXPECT_EQ(osc(engine), 1);
    EXPECT_EQ(engine.loadPath(), "");
    EXPECT_TRUE(engine.isChunkLoaded());
}

// ---------------------------------------------------------------------------
// The instrument's file menu

TEST_F(PresetFiles, TheClipboardCarriesAProgramFromOneEngineToAnother)
{
    char name[] = "Synth";
    PresetTestEngine other;
    sound(11, 22);
    engine.handleInstFileIO(0, tpfioCopy1, name);
    sound(other, 1, 2);
    other.handleInstFileIO(0, tpfioPaste1, name);
    EXPECT_EQ(osc(other), 11);
    EXPECT_EQ(glo(other), 22);

    // A later copy replaces the clipboard; a paste does not empty it.
    sound(33, 44);
    engine.handleInstFileIO(0, tpfioCopy1, name);
    sound(other, 1, 2);
    other.handleInstFileIO(0, tpfioPaste1, name);
    EXPECT_EQ(osc(other), 33);
    sound(other, 1, 2);
    other.handleInstFileIO(0, tpfioPaste1, name);
    EXPECT_EQ(osc(other), 33);

    other.handleInstFileIO(0, tpfioPaste1, nullptr);
    EXPECT_EQ(osc(other), 33);
}

TEST_F(PresetFiles, TheFileMenuSavesAndLoadsThroughTheDialog)
{
    std::vector<std::vector<std::string>> asked;
    const std::string chosen = at("Menu.fxp");
    FileDialog_c::setPanelRunner([&](const std::vector<std::string>& arguments) {
        asked.push_back(arguments);
        return FileDialog_c::PanelAnswer{true, chosen};
    });
    char name[] = "Synth";
    sound(12, 13);
    // The dialogs wait on the panel thread; the file is written and read
    // in the idle round that gets the answer.
    engine.handleInstFileIO(0, tpfioSave, name);
    ASSERT_TRUE(TestSupport::answerPanels(engine.getPanels()));
    ASSERT_TRUE(fs::exists(chosen));
    sound(1, 1);
    engine.handleInstFileIO(0, tpfioLoad, name);
    EXPECT_EQ(osc(engine), 1) << "nothing is read before the answer";
    ASSERT_TRUE(TestSupport::answerPanels(engine.getPanels()));
    EXPECT_EQ(osc(engine), 12);
    EXPECT_EQ(glo(engine), 13);

    ASSERT_EQ(asked.size(), 2u);
    for (const auto& arguments : asked) {
        std::string line;
        for (const std::string& a : arguments)
            line += a + " ";
        EXPECT_NE(line.find("Synth Parameters"), std::string::npos) << line;
    }
    Vdx::String_c folder;
    EXPECT_TRUE(OsLib_c::recallStringCore("PstTest_FXP_Synth", &folder));
    EXPECT_EQ(folder, bank);
}

} // namespace
