// Programs and banks: the host's program changes (and when they are
// ignored), instrument programs and banks from the queued commands, MIDI
// program changes and NRPN stepping end to end, the host's program names,
// the program lists, and the random sound.
#include "SynthProgramTestEngine.h"

#include "FileList.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using namespace ProgramTest;

namespace {

// A bank root with three bank folders: A holds a.fxp, b.fxp, c.fxp and a
// file that is no preset; B is empty; C holds x.fxp.
class ProgramFixture : public ::testing::Test
{
protected:
    explicit ProgramFixture(int instruments = 1) : engine(instruments) {}

    void SetUp() override
    {
        for (const char* f : {"A/a.fxp", "A/b.fxp", "A/c.fxp", "A/notes.txt", "C/x.fxp"})
            file(f);
        std::filesystem::create_directories(root.file("B"));
        engine.open();
        ASSERT_TRUE(engine.isOpen());
        engine.setSampleRate(44100.0f); // the modules become ready and take caches
        engine.setProgramsLoaded(true); // the host hears display updates
        engine.refreshPrgList(0, path("A/a.fxp"));
        engine.imports.clear();
    }
    void TearDown() override { engine.takeMessages(); }

    void file(const std::string& name)
    {
        std::filesystem::create_directories(std::filesystem::path(root.file(name)).parent_path());
        TestSupport::writeFile(root.file(name), "x");
    }
    Tool::Disk::Path_c path(const std::string& name) const { return Tool::Disk::Path_c(root.file(name)); }
    int program(int ins = 0) { return engine.getSynGloIns()->getParaVal(ins, SynGloInsPara::Program); }
    int bank(int ins = 0) { return engine.getSynGloIns()->getParaVal(ins, SynGloInsPara::Bank); }
    std::string importedLeaf(size_t i) const
    {
        return i < engine.imports.size() ? std::filesystem::path(engine.imports[i].path).filename().string() : "";
    }

    EngineTestHost host;
    TestSupport::TempDir root;
    ProgramTestEngine engine;
};

class TwoInstrumentPrograms : public ProgramFixture
{
protected:
    TwoInstrumentPrograms() : ProgramFixture(2) {}
};

} // namespace

TEST_F(ProgramFixture, TheListsFollowAPresetPath)
{
    EXPECT_EQ(engine.getPrgList(0)->getCount(), 3u) << "only the preset files";
    EXPECT_EQ(engine.getBnkList(0)->getCount(), 3u) << "the bank folders beside";
    const int calls = host.updateDisplayCalls;
    engine.refreshPrgList(0, path("C/x.fxp"));
    EXPECT_EQ(bank(), 2);
    EXPECT_EQ(program(), 0);
    engine.refreshPrgList(0, path("A/c.fxp"));
    EXPECT_EQ(bank(), 0);
    EXPECT_EQ(program(), 2);
    EXPECT_EQ(engine.currentProgram(), 2) << "the edited instrument's program is the host's";
    EXPECT_EQ(host.updateDisplayCalls, calls + 2);
    engine.refreshPrgList(0, Tool::Disk::Path_c());
    EXPECT_EQ(program(), 2) << "an empty path changes nothing";
    engine.refreshPrgList(0, path("A/gone.fxp"));
    EXPECT_EQ(program(), 0) << "a file that is not listed counts as the first";
}

TEST_F(ProgramFixture, HostProgramChangesAreIgnoredRightAfterAChunkOrAFruityOpening)
{
    struct Case
    {
        const char* what;
        int hostId;
        uint32_t chunkAgo; // ms; 0: no chunk load pretended
        uint32_t openAgo;
        bool ignored;
    };
    const Case cases[] = {
        {"within a second of a chunk load", 20, 500, 60000, true},
        {"a second after a chunk load", 20, 1500, 60000, false},
        {"Fruity within 1.5 s of opening", 6, 0, 1000, true},
        {"Fruity after 1.5 s", 6, 0, 2000, false},
        {"another host right after opening", 20, 0, 10, false},
    };
    for (const Case& c : cases) {
        engine.refreshPrgList(0, path("A/a.fxp"));
        engine.imports.clear();
        engine.setHostId(c.hostId);
        engine.openedAgo(c.openAgo);
        if (c.chunkAgo)
            engine.chunkLoadedAgo(c.chunkAgo);
        else
            engine.chunkLoadedAgo(100000);
        const int calls = host.updateDisplayCalls;
        engine.setProgram(2);
        engine.runIdleQueue();
        if (c.ignored) {
            EXPECT_EQ(program(), 0) << c.what;
            EXPECT_TRUE(engine.imports.empty()) << c.what;
            EXPECT_EQ(host.updateDisplayCalls, calls + 1) << c.what << ": the host re-reads the display once";
        } else {
            EXPECT_EQ(program(), 2) << c.what;
            EXPECT_EQ(importedLeaf(0), "c.fxp") << c.what;
            EXPECT_EQ(engine.currentProgram(), 2) << c.what;
        }
    }
}

TEST_F(ProgramFixture, AChunkLoadMakesTheNextHostProgramChangeWait)
{
    const std::vector<unsigned char> chunk = engine.bank();
    ASSERT_GT(engine.loadBank(chunk), 0);
    engine.refreshPrgList(0, path("A/a.fxp"));
    engine.imports.clear();
    engine.setProgram(1);
    engine.runIdleQueue();
    EXPECT_EQ(program(), 0);
    EXPECT_TRUE(engine.imports.empty());
}

TEST_F(TwoInstrumentPrograms, OnlyTheEditedInstrumentChangesItsProgram)
{
    engine.refreshPrgList(1, path("A/a.fxp"));
    engine.imports.clear();
    engine.setInsPrg(1, 1);
    EXPECT_EQ(program(1), 0);
    EXPECT_TRUE(engine.imports.empty());

    engine.setInsPrg(0, 1);
    EXPECT_EQ(program(0), 1);
    ASSERT_EQ(engine.imports.size(), 1u);
    EXPECT_EQ(engine.imports[0].ins, 0);
    EXPECT_EQ(importedLeaf(0), "b.fxp");
    Tool::Disk::Path_c loadPath;
    engine.getSynGloIns()->getParaPath(0, SynGloInsPara::LoadPath, &loadPath);
    EXPECT_EQ(std::filesystem::path(static_cast<const std::string&>(loadPath.getString())).filename(), "b.fxp");

    for (int beyond : {-1, 3, Programs})
        engine.setInsPrg(0, beyond);
    EXPECT_EQ(program(0), 1) << "programs outside the list are refused";
    EXPECT_EQ(engine.imports.size(), 1u);
}

TEST_F(ProgramFixture, AProgramChangeUpdatesTheHostDisplayUnlessTheHostIsReaper)
{
    for (int id : {20, 15}) {
        engine.setHostId(id);
        const int calls = host.updateDisplayCalls;
        engine.setInsPrg(0, program() == 1 ? 2 : 1);
        EXPECT_EQ(host.updateDisplayCalls, calls + (id == 15 ? 0 : 1)) << "host " << id;
        EXPECT_TRUE(engine.getHostDisplayFlag()) << "the flag comes back after the load";
    }
}

TEST_F(ProgramFixture, AProgramWhoseFileDoesNotLoadLeavesTheProgramAsItWas)
{
    // The list holds every file, damaged or not; choosing one that does not
    // load is reported, and the host goes on seeing the program that plays.
    engine.setInsPrg(0, 1);
    ASSERT_EQ(program(), 1);
    Tool::Disk::Path_c before;
    engine.getSynGloIns()->getParaPath(0, SynGloInsPara::LoadPath, &before);
    engine.takeMessages();
    engine.importResult = 0;
    for (int p : {2, 0}) {
        engine.setProgram(p); // as the host and the MIDI program change ask, through the idle queue
        engine.runIdleQueue();
        EXPECT_EQ(importedLeaf(engine.imports.size() - 1), p == 2 ? "c.fxp" : "a.fxp") << "the file was tried";
        EXPECT_EQ(program(), 1) << "program " << p;
        EXPECT_EQ(engine.currentProgram(), 1) << "program " << p;
        Tool::Disk::Path_c after;
        engine.getSynGloIns()->getParaPath(0, SynGloInsPara::LoadPath, &after);
        EXPECT_EQ(after.getString(), before.getString()) << "program " << p;
        const std::vector<Message> said = engine.takeMessages();
        ASSERT_EQ(said.size(), 1u) << "program " << p;
        EXPECT_EQ(said[0].title, "Vendrax Load Error");
    }
    engine.importResult = 1;
    engine.setInsPrg(0, 2);
    EXPECT_EQ(program(), 2) << "a file that loads is taken as before";
    EXPECT_EQ(engine.currentProgram(), 2);
}

TEST_F(ProgramFixture, BanksLoadTheirFirstProgramAndAnEmptyOrMissingBankLoadsNothing)
{
    engine.setInsPrg(0, 2);
    engine.imports.clear();

    engine.setInsBnk(0, 1); // B: empty
    EXPECT_EQ(bank(), 1);
    EXPECT_EQ(program(), 0);
    EXPECT_TRUE(engine.imports.empty());
    EXPECT_EQ(engine.getCurBank(), 1);
    EXPECT_EQ(engine.getPrgList(0)->getCount(), 0u);

    engine.setInsBnk(0, 2); // C
    EXPECT_EQ(bank(), 2);
    EXPECT_EQ(program(), 0);
    EXPECT_EQ(importedLeaf(0), "x.fxp");

    for (int refused : {-1, 3, 100}) {
        engine.setInsBnk(0, refused);
        EXPECT_EQ(bank(), 2) << "bank " << refused;
        EXPECT_EQ(engine.getCurBank(), 2) << "bank " << refused;
    }
    EXPECT_EQ(engine.imports.size(), 1u);
}

TEST_F(ProgramFixture, QueuedProgramAndBankCommandsAndMidiReachTheInstrument)
{
    struct Step
    {
        const char* what;
        unsigned char status, data1, data2; // MIDI through the instrument (status 0: a command below)
        int command, value;
        int program, bank; // afterwards
    };
    const Step steps[] = {
        {"'J' from the settings", 0, 0, 0, 'J', 1, 1, 0},
        {"MIDI program change", 0xC0, 2, 0, 0, 0, 2, 0},
        {"a program change beyond the list", 0xC0, 9, 0, 0, 0, 2, 0},
        {"'K' to bank C", 0, 0, 0, 'K', 2, 0, 2},
        {"MIDI bank select to bank A", 0xB0, 32, 0, 0, 0, 0, 0},
        {"'M' program step", 0, 0, 0, 'M', 1, 1, 0},
        {"'N' to a bank that is not there", 0, 0, 0, 'N', 7, 1, 0},
    };
    for (const Step& s : steps) {
        if (s.status) {
            const unsigned char m[3] = {s.status, s.data1, s.data2};
            engine.instrument(0)->processMidi(m, true);
        } else {
            engine.holdCmdtoGUI(s.command, 0, s.value);
        }
        engine.runIdleQueue();
        EXPECT_EQ(program(), s.program) << s.what;
        EXPECT_EQ(bank(), s.bank) << s.what;
    }
}

TEST_F(ProgramFixture, NrpnStepsTheProgramAndBankEndToEnd)
{
    // NRPN 1024 + k, data entry 64: program down, up, bank down, up.
    auto nrpn = [&](int number) {
        const unsigned char select[2][3] = {{0xB0, 99, static_cast<unsigned char>(number >> 7)},
                                            {0xB0, 98, static_cast<unsigned char>(number & 0x7F)}};
        const unsigned char entry[3] = {0xB0, 6, 64};
        engine.instrument(0)->processMidi(select[0], true);
        engine.instrument(0)->processMidi(select[1], true);
        engine.instrument(0)->processMidi(entry, true);
        engine.runIdleQueue();
    };
    nrpn(1025);
    EXPECT_EQ(program(), 1);
    nrpn(1025);
    EXPECT_EQ(program(), 2);
    EXPECT_EQ(importedLeaf(1), "c.fxp");
    nrpn(1025);
    EXPECT_EQ(program(), 2) << "no program after the last";
    nrpn(1024);
    EXPECT_EQ(program(), 1);
    nrpn(1027);
    EXPECT_EQ(bank(), 1) << "up to the empty bank B";
    EXPECT_EQ(program(), 0);
    nrpn(1026);
    EXPECT_EQ(bank(), 0);
    nrpn(1026);
    EXPECT_EQ(bank(), 0) << "no bank below the first";
}

TEST_F(ProgramFixture, TheHostSeesTheFileNamesAsProgramNames)
{
    file("A/a program name that is far longer than the host can show.fxp");
    engine.refreshPrgList(0, path("A/a.fxp"));
    struct Row
    {
        int index;
        const char* name;
    };
    const Row rows[] = {
        {0, "a program name that is far "}, // 27 characters; ' ' sorts before '.'
        {1, "a"},
        {3, "c"},
    };
    for (const Row& r : rows) {
        char text[256] = "junk";
        EXPECT_TRUE(engine.getProgramNameIndexed(0, r.index, text)) << r.index;
        EXPECT_STREQ(text, r.name) << r.index;
    }
    char text[256] = "junk";
    EXPECT_FALSE(engine.getProgramNameIndexed(0, Programs, text)) << "beyond the programs";
    engine.setInsPrg(0, 2);
    engine.getProgramName(text);
    EXPECT_STREQ(text, "b");
    engine.refreshPrgList(0, path("C/x.fxp"));
    EXPECT_TRUE(engine.getProgramNameIndexed(0, 1, text));
    EXPECT_STREQ(text, "unknown") << "no file behind the program";
}

TEST_F(ProgramFixture, RandomSoundWithoutRangeChangesNothingAndAnEarlyStopStillSettles)
{
    TestModule& osc = *engine.osc[0];
    engine.describe(0, 0, &osc, 3);
    engine.describe(1, 0, &engine.globalProgram, 1);
    engine.setValue(engine.rowVOSC, 0, 3, 33);
    engine.setValue(engine.rowPGLO, 0, 1, 44);
    engine.getSynGlo()->setParaVal(0, SynGloPara::GenerationRange, 0);
    auto programChanges = [](const TestModule& m) {
        int n = 0;
        for (const auto& c : m.caches)
            n += c.reason == crProgramChange;
        return n;
    };

    osc.caches.clear();
    const int both[] = {0, 1, -1};
    engine.createSound(0, both);
    EXPECT_EQ(engine.value(engine.rowVOSC, 0, 3), 33);
    EXPECT_EQ(engine.value(engine.rowPGLO, 0, 1), 44);
    EXPECT_GT(programChanges(osc), 0) << "the program-changed work ran";

    // An index of another instrument ends the list: what came before it is
    // still settled by the program-changed work.
    engine.getSynGlo()->setParaVal(0, SynGloPara::GenerationRange, 100);
    engine.describe(2, 1, &osc, 3);
    osc.caches.clear();
    engine.globalProgram.caches.clear();
    const int stopped[] = {0, 2, 1, -1};
    engine.createSound(0, stopped);
    EXPECT_GT(programChanges(osc), 0);
    for (const auto& c : engine.globalProgram.caches)
        EXPECT_FALSE(c.reason == crParaChange && c.idx == 1) << "the index after the stop is not touched";
    EXPECT_EQ(engine.value(engine.rowPGLO, 0, 1), 44);
}

TEST_F(ProgramFixture, ResetParaBringsEveryModuleBackAndProgramMemoriesFollow)
{
    engine.setValue(engine.rowVOSC, 0, 3, 33);
    engine.setValue(engine.rowGFX0, 0, 2, 7);
    engine.setPrgFromPara(0);
    ASSERT_NE(engine.getInsPrgMem(0), nullptr);
    EXPECT_EQ(engine.getInsPrgMem(0)->getChunkSize(), 88);

    engine.resetPara();
    EXPECT_EQ(engine.value(engine.rowVOSC, 0, 3), 10);
    EXPECT_EQ(engine.value(engine.rowGFX0, 0, 2), 10);
    EXPECT_FALSE(engine.isChunkLoadInProgress());

    // The memory still holds the program: reading it brings it back.
    engine.setParaFromPrg(0);
    EXPECT_EQ(engine.value(engine.rowVOSC, 0, 3), 33);
    // initPresetUni empties it and resets the program's modules.
    engine.setValue(engine.rowPGLO, 0, 1, 50);
    engine.initPresetUni(0, nullptr, rmgInstrument); // not an array of this engine: nothing
    EXPECT_EQ(engine.value(engine.rowPGLO, 0, 1), 50);
    engine.initPresetUni(0, engine.insMems(), rmgInstrument);
    EXPECT_EQ(engine.getInsPrgMem(0), nullptr);
    EXPECT_EQ(engine.value(engine.rowPGLO, 0, 1), 10);
    EXPECT_EQ(engine.value(engine.rowVOSC, 0, 3), 10);
}
