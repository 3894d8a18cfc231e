// What a change of the engine's settings sets off: the audition note, the
// master tune, the output bus, controller sending, reception and
// transposition after a program change, preset paths and their failure
// message, descriptor callbacks and the global display texts.
#include "InstrumentTestSynth.h"
#include "MapTestEngine.h"

#include "SysGlo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

using namespace InstrumentTest;

namespace {


// Two instruments, two stereo pairs and two mono outputs; preset files are
// recorded instead of read.
class SettingsEngine : public Synth
{
public:
    SettingsEngine()
        : Synth(nullptr, {.insProgramMemories = 2,
                          .programs = 4,
                          .parameterSlots = 16,
                          .hostParameters = 8,
                          .instruments = 2,
                          .voices = 4,
                          .stereoPairs = 2,
                          .monoOutputs = 2,
                          .productName = "Settings",
                          .versionText = "1.0",
                          .codeName = "SetTest"})
    {
        Synth::open();
        // The tests read the idle side's queue themselves: a running idle
        // timer would take (and show) its messages first.
        idleTimer.stopTimer();
        for (int i = 0; i < 2; ++i) {
            own[i].create(this, i, 4, false);
            if (instruments)
                instruments[i] = &own[i];
        }
    }
    ~SettingsEngine() override
    {
        if (isOpen())
            closeShutdown();
    }

    int importPatch(int ins, const Tool::Disk::Path_c& path) override
    {
        files.push_back("import " + std::to_string(ins) + " " + std::string(path.c_str()));
        return importResult;
    }
    void exportPatch(int ins, const Tool::Disk::Path_c& path) override
    {
        files.push_back("export " + std::to_string(ins) + " " + std::string(path.c_str()));
    }

    // Writes a setting and runs the engine's follow-up, as the parameter map does.
    void change(Part_c* part, int ins, int para, int value)
    {
        part->setParaVal(ins, para, value);
        postprocessParaChange(ins, part, para);
    }
    void pretendAudioRan() { sampleCounter = 256; }
    CmdBuffer_c& idleRing() { return *cmdQueues.toGUI; }
    void shrinkOutputs(int stereo, int mono)
    {
        numStereo = stereo;
        numMono = mono;
    }
    // The records queued toward the audio thread, taken.
    std::vector<HoldData_c> takeAudio()
    {
        std::vector<HoldData_c> out;
        HoldData_c r;
        while (cmdQueues.toRT && cmdQueues.toRT->unholdEvent(&r))
            out.push_back(r);
        return out;
    }
    // The same as "command index value".
    std::vector<std::string> takeAudioRecords()
    {
        std::vector<std::string> out;
        for (const HoldData_c& r : takeAudio())
            out.push_back(std::string(1, static_cast<char>(r.command)) + " " + std::to_string(r.index) + " " +
                          std::to_string(r.value));
        return out;
    }
    // The messages queued for the user ('P': text, title), taken.
    std::vector<std::string> takeMessages()
    {
        std::vector<std::string> out;
        HoldData_c r;
        while (cmdQueues.toGUI && cmdQueues.toGUI->unholdEvent(&r)) {
            if (r.command != 'P')
                continue;
            out.push_back(std::string(static_cast<const char*>(r.ptr2)) + ": " + static_cast<const char*>(r.ptr1));
            std::free(r.ptr1);
        }
        return out;
    }

    ProbeInstrument own[2];
    std::vector<std::string> files;
    int importResult = 0;
};

} // namespace

TEST(EngineSettings, TheKeyboardSettingAuditionsNoteAndVelocity)
{
    struct Case
    {
        int value;
        bool queued;
        int status, note, velocity;
    };
    const Case cases[] = {
        {60100, true, 0x90, 60, 100},
        {60000, true, 0x80, 60, 0},     // velocity 0 releases
        {61200, true, 0x90, 61, 127},   // a remainder of 128 or more is 127
        {128005, true, 0x90, 127, 5},   // 128000 and above is note 127
        {128500, true, 0x90, 127, 127},
        {199999, true, 0x90, 127, 127},
        {0, true, 0x80, 0, 0},
        {200000, false, 0, 0, 0},       // nothing from 200000 on
    };
    for (const Case& c : cases) {
        SettingsEngine e;
        e.getSynGlo()->setParaVal(0, SynGloPara::Keyboard, c.value);
        e.postprocessParaChange(1, e.getSynGlo(), SynGloPara::Keyboard);
        const std::vector<HoldData_c> queued = e.takeAudio();
        ASSERT_EQ(queued.size(), c.queued ? 1u : 0u) << c.value;
        if (!c.queued)
            continue;
        // A note of instrument 1 with its zones checked.
        EXPECT_EQ(queued[0].command, 'Q') << c.value;
        EXPECT_EQ(queued[0].index, 1) << c.value;
        EXPECT_EQ(queued[0].midi[0], c.status) << c.value;
        EXPECT_EQ(queued[0].midi[1], c.note) << c.value;
        EXPECT_EQ(queued[0].midi[2], c.velocity) << c.value;
    }
}

TEST(EngineSettings, MasterTuneFollowsGloTune)
{
    struct Case
    {
        int tenthsHz;
        double factor;
    };
    const Case cases[] = {{4400, 1.0}, {4662, 4662.0 / 4400.0}, {4153, 4153.0 / 4400.0}};
    for (const Case& c : cases) {
        SettingsEngine e;
        e.change(e.getSynGlo(), 0, SynGloPara::GloTune, c.tenthsHz);
        EXPECT_NEAR(e.getMasterTuneFactor(), c.factor, 1e-6) << c.tenthsHz;
        // A quarter of log2 of the factor.
        EXPECT_NEAR(e.getMasterTuneLog(), std::log2(c.factor) / 4.0, 1e-7) << c.tenthsHz;
    }
    SettingsEngine e;
    e.change(e.getSynGlo(), 0, SynGloPara::GloTune, 4400);
    EXPECT_EQ(e.getMasterTuneFactor(), 1.0f);
    EXPECT_EQ(e.getMasterTuneLog(), 0.0f);
}

TEST(EngineSettings, OutputSelectionPicksStereoPairsThenMonoOutputs)
{
    struct Case
    {
        int selection, index;
    };
    const Case cases[] = {{0, 0}, {1, 2}, {2, 4}, {3, 5}};
    SettingsEngine e;
    for (const Case& c : cases) {
        e.change(e.getSynGloIns(), 1, SynGloInsPara::OutputSelection, c.selection);
        EXPECT_EQ(e.own[1].getOutIdx(), c.index) << c.selection;
        EXPECT_EQ(e.own[1].getOutEnd(), c.index + e.own[1].getOutputCount()) << c.selection;
    }
    // With fewer outputs (a host that connects only one pair) a selection at
    // or beyond their count falls back to the first pair.
    e.shrinkOutputs(1, 2);
    e.change(e.getSynGloIns(), 1, SynGloInsPara::OutputSelection, 3);
    EXPECT_EQ(e.getSynGloIns()->getParaVal(1, SynGloInsPara::OutputSelection), 0);
    EXPECT_EQ(e.own[1].getOutIdx(), 0);
}

TEST(EngineSettings, SwitchingToSendQueuesOneSendAll)
{
    struct Step
    {
        int mode;
        std::vector<std::string> queued;
    };
    const Step steps[] = {
        {0, {}}, {1, {"Y -1 -1"}}, {1, {}}, {0, {}}, {1, {"Y -1 -1"}},
    };
    SettingsEngine e;
    e.change(e.getSynGlo(), 0, SynGloPara::CCMode, 0);
    e.change(e.getSynGlo(), 0, SynGloPara::CCMode, 1);
    EXPECT_TRUE(e.takeAudioRecords().empty()) << "before the first block nothing is sent";
    e.pretendAudioRan();
    for (const Step& s : steps) {
        e.change(e.getSynGlo(), 0, SynGloPara::CCMode, s.mode);
        EXPECT_EQ(e.takeAudioRecords(), s.queued) << s.mode;
    }
}

TEST(EngineSettings, AProgramChangeAppliesReceptionAndTranspositionFromTheSettings)
{
    SettingsEngine e;
    SynGloIns_c* s = e.getSynGloIns();
    for (const int row : {SynGloInsPara::ReceiveMW, SynGloInsPara::ReceiveAT, SynGloInsPara::ReceiveSP})
        s->setParaVal(1, row, 0);
    s->setParaVal(1, SynGloInsPara::NoteFade, 5);
    e.takeAudioRecords();
    e.postprocessParaChange(1, nullptr, -1);
    ProbeInstrument& changed = e.own[1];
    EXPECT_FALSE(changed.receiveMW.load());
    EXPECT_FALSE(changed.receiveAT.load());
    EXPECT_FALSE(changed.receiveSP.load());
    EXPECT_EQ(changed.transposition.load(), 5);
    EXPECT_EQ(e.takeAudioRecords(), std::vector<std::string>{"S 1 0"}) << "its held notes end first";
    ProbeInstrument& other = e.own[0];
    EXPECT_TRUE(other.receiveMW.load() && other.receiveAT.load() && other.receiveSP.load());
    EXPECT_EQ(other.transposition.load(), 0);

    // One setting on its own reaches the instrument too.
    e.change(s, 1, SynGloInsPara::ReceiveAT, 1);
    EXPECT_TRUE(changed.receiveAT.load());
    EXPECT_FALSE(changed.receiveMW.load());
    e.change(s, 1, SynGloInsPara::NoteFade, -3);
    EXPECT_EQ(changed.transposition.load(), -3);
    EXPECT_EQ(e.takeAudioRecords(), std::vector<std::string>{"S 1 0"});
}

TEST(EngineSettings, PresetPathsLoadAndSaveAndAFailedLoadIsShownShortened)
{
    const std::string head = "/presets/longer/";           // 16 characters
    const std::string tail = "and/at/last/the/preset.fxp"; // 26 characters
    struct Case
    {
        const char* what;
        std::string path;
        int result;
        std::vector<std::string> files, messages;
    };
    const std::string p49 = head + "abcdefg/" + tail.substr(0, 25); // 49 characters
    const std::string p50 = p49 + "x";
    const std::string failed = "Vendrax Load Error: This preset could not be loaded!\n";
    const Case cases[] = {
        {"loaded", "/presets/Warm.fxp", 1, {"import 1 /presets/Warm.fxp"}, {}},
        {"failed, short", "/presets/Warm.fxp", 0, {"import 1 /presets/Warm.fxp"}, {failed + "/presets/Warm.fxp"}},
        {"failed, 49 characters", p49, 0, {"import 1 " + p49},
         {failed + p49.substr(0, 16) + "..." + p49.substr(p49.size() - 29)}},
        {"failed, 50 characters", p50, 0, {"import 1 " + p50},
         {failed + p50.substr(0, 16) + "..." + p50.substr(p50.size() - 29)}},
        {"an empty path loads nothing", "", 0, {}, {}},
    };
    ASSERT_EQ(p49.size(), 49u);
    for (const Case& c : cases) {
        SettingsEngine e;
        e.importResult = c.result;
        e.getSynGloIns()->setParaPath(1, SynGloInsPara::LoadPath, Tool::Disk::Path_c(Vdx::String_c(c.path)));
        e.takeMessages();
        e.postprocessParaChange(1, e.getSynGloIns(), SynGloInsPara::LoadPath);
        EXPECT_EQ(e.files, c.files) << c.what;
        EXPECT_EQ(e.takeMessages(), c.messages) << c.what;
    }
    // 48 characters are shown whole.
    SettingsEngine e;
    const std::string p48whole = p49.substr(0, 48);
    e.getSynGloIns()->setParaPath(0, SynGloInsPara::LoadPath, Tool::Disk::Path_c(Vdx::String_c(p48whole)));
    e.takeMessages();
    e.postprocessParaChange(0, e.getSynGloIns(), SynGloInsPara::LoadPath);
    EXPECT_EQ(e.takeMessages(), std::vector<std::string>{failed + p48whole});

    SettingsEngine saver;
    saver.getSynGloIns()->setParaPath(0, SynGloInsPara::SavePath, Tool::Disk::Path_c(Vdx::String_c("/presets/Out.fxp")));
    saver.postprocessParaChange(0, saver.getSynGloIns(), SynGloInsPara::SavePath);
    EXPECT_EQ(saver.files, std::vector<std::string>{"export 0 /presets/Out.fxp"});
}

namespace {

// A host map whose descriptor 5 shows "Bend Up", the edited instrument's
// "Pitch Bend Up Amount" (unit "semitones"): 7 in instrument 0, 9 in 1.
constexpr int Shown = 5;

void describeBendUp(RegistryTest::MapTestEngine& engine)
{
    engine.open();
    ASSERT_TRUE(engine.isOpen());
    ASSERT_TRUE(engine.describe(Shown, "Bend Up", -1, engine.getSynGloIns(), SynGloInsPara::BendUp));
    engine.getSynGloIns()->setParaVal(0, SynGloInsPara::BendUp, 7);
    engine.getSynGloIns()->setParaVal(1, SynGloInsPara::BendUp, 9);
}

std::string displayText(RegistryTest::MapTestEngine& engine, int ins)
{
    Vdx::String_c s;
    engine.getSynGloIns()->getParaString(ins, SynGloInsPara::GlobalDisplay, &s);
    return std::string(s);
}

} // namespace

TEST(EngineSettings, GlobalDisplayTextsByModeAndFormat)
{
    struct Case
    {
        const char* what;
        int mode, format;
        bool flagged;
        std::string ins0, ins1;
    };
    const Case cases[] = {
        {"single, name value unit", 0, 3, true, "Bend Up 7 semitones", ""},
        {"single, value unit", 0, 2, true, "7 semitones", ""},
        {"single, value", 0, 1, true, "7", ""},
        {"multi, every instrument of the display", 1, 3, true, "Bend Up 7 semitones", "Bend Up 9 semitones"},
        {"multi, value unit", 2, 2, true, "7 semitones", "9 semitones"},
        {"a descriptor without its display flag shows nothing", 1, 3, false, "", ""},
    };
    for (const Case& c : cases) {
        RegistryTest::MapTestEngine engine;
        describeBendUp(engine);
        engine.getEPAS(Shown)->flag = c.flagged;
        engine.defineGlobalDisplay(600, 0, 2, c.mode, c.format);
        if (c.mode == 0)
            engine.gloDispSingle(0, Shown);
        else
            engine.gloDispMulti(0, Shown);
        EXPECT_EQ(displayText(engine, 0), c.ins0) << c.what;
        EXPECT_EQ(displayText(engine, 1), c.ins1) << c.what;
    }
}

TEST(EngineSettings, AProgramChangeRunsTheCallbackOfEveryMappedDescriptor)
{
    RegistryTest::MapTestEngine engine;
    describeBendUp(engine);
    ASSERT_TRUE(engine.describe(7, "Recorded", 0, engine.getSynGloIns(), SynGloInsPara::NoteFade, false, 0, true));
    ASSERT_TRUE(engine.describe(8, "Recorded too", 1, engine.getSynGlo(), SynGloPara::CCMode, false, 0, true));
    ASSERT_TRUE(engine.describe(9, "Maps nowhere", 0, nullptr, 1, false, 0, true));
    engine.postprocessParaChange(0, nullptr, -1);
    std::lock_guard<std::mutex> guard(engine.writesMutex);
    EXPECT_EQ(engine.writes, (std::vector<int>{7, 8}));
}

TEST(EngineSettings, ProgramBankAndEditedInstrumentChangesGoToTheIdleSide)
{
    struct Case
    {
        const char* what;
        bool synthPart;
        int ins, para, value;
        std::string queued;
    };
    const Case cases[] = {
        {"instrument bank", false, 1, SynGloInsPara::Bank, 5, "K 1 5"},
        {"instrument program", false, 1, SynGloInsPara::Program, 3, "J 1 3"},
        {"multi bank", true, 0, SynGloPara::MultiBank, 2, "F 0 2"},
        {"multi program", true, 0, SynGloPara::MultiProgram, 3, "E 0 3"},
        {"edited instrument outside a host call", true, 0, SynGloPara::EditIns, 1, "O 1 0"},
    };
    for (const Case& c : cases) {
        SettingsEngine e;
        Part_c* part = c.synthPart ? static_cast<Part_c*>(e.getSynGlo()) : e.getSynGloIns();
        e.change(part, c.ins, c.para, c.value);
        std::vector<std::string> queued;
        HoldData_c r;
        while (e.idleRing().unholdEvent(&r))
            if (r.command != 0)
                queued.push_back(std::string(1, static_cast<char>(r.command)) + " " + std::to_string(r.index) +
                                 " " + std::to_string(r.value));
        EXPECT_EQ(queued, std::vector<std::string>{c.queued}) << c.what;
    }
    // Inside a host call the edited instrument changes at once.
    SettingsEngine e;
    {
        Synth::BusyScope busy(e);
        e.change(e.getSynGlo(), 0, SynGloPara::EditIns, 1);
    }
    EXPECT_EQ(e.getEditIns(), 1);
}

TEST(EngineSettings, SteppingAParameterMovesItByOneValueWithinItsRange)
{
    struct Case
    {
        int from, direction, to;
    };
    const Case cases[] = {{7, 1, 8}, {7, -1, 6}, {24, 1, 24}, {0, -1, 0}};
    for (const Case& c : cases) {
        RegistryTest::MapTestEngine engine;
        describeBendUp(engine);
        engine.getSynGloIns()->setParaVal(0, SynGloInsPara::BendUp, c.from);
        engine.stepParameterAutomated(Shown, c.direction);
        EXPECT_EQ(engine.getSynGloIns()->getParaVal(0, SynGloInsPara::BendUp), c.to) << c.from << " " << c.direction;
    }
}
