// The engine's command queues: producer entries, the two dispatchers and the
// command entry, through an engine whose command targets write a log.
#include "CmdBuffer.h"
#include "EngineFigures.h"
#include "EngineTestHost.h"
#include "HoldData.h"
#include "Instrument.h"
#include "OsLib.h"
#include "Synth.h"
#include "SysGlo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Every target a command reaches appends one line to the log.
class LogPart : public Part_c
{
public:
    explicit LogPart(std::string* log) : log(log) {}
    void setPara01(int set, int idx, float x) override
    {
        *log += "setPara01(" + std::to_string(set) + "," + std::to_string(idx) + "," + std::to_string(x) + ") ";
    }
    std::string* log;
};

class LogInstrument : public Instrument_c
{
public:
    explicit LogInstrument(std::string* log) : Instrument_c(2), log(log) {}
    void processMidi(const unsigned char* m, bool checkZones) override
    {
        *log += std::string("processMidi(") + std::to_string(m[0]) + "," + std::to_string(m[1]) + ","
            + std::to_string(m[2]) + "," + std::to_string(m[3]) + "," + (checkZones ? "zones" : "free") + ") ";
    }
    std::string* log;
};

class CommandEngine : public Synth
{
public:
    CommandEngine()
        : Synth(&EngineTestHost::callback, EngineTest::smallFigures("Cmd", "Cmd0")),
          instrument(&log)
    {
        // One instrument slot, filled, without opening (no idle timer runs).
        ownInstruments[0] = &instrument;
        instruments = ownInstruments;
        curEditIns = 0;
    }
    ~CommandEngine() override { instruments = nullptr; }

    void afterFirstBlock() { sampleCounter = 256; }
    void setLearnTarget(int t) { learnTarget = t; }
    void setEdited(int ins) { curEditIns = ins; }
    void setStepDisplay(int step, int index) { stepDisplayIndex[step] = index; }
    void setActivity(int base, int stride)
    {
        activityBase = base;
        activityStride = stride;
    }
    CmdBuffer_c& toRT() { return *cmdQueues.toRT; }
    CmdBuffer_c& toGUI() { return *cmdQueues.toGUI; }
    // The records waiting on the idle side, taken.
    std::vector<HoldData_c> takeGUI()
    {
        std::vector<HoldData_c> out;
        HoldData_c r;
        while (toGUI().unholdEvent(&r))
            out.push_back(r);
        return out;
    }

    void note(const std::string& s)
    {
        log += s + " ";
        busySeen = busy.load();
    }
    std::string take()
    {
        std::string s = log;
        log.clear();
        if (!s.empty())
            s.pop_back();
        return s;
    }

    static std::string args(int a, int b) { return "(" + std::to_string(a) + "," + std::to_string(b) + ")"; }

    void setProgramCore(int p) override { note("setProgramCore(" + std::to_string(p) + ")"); }
    void setInsPrg(int i, int p) override { note("setInsPrg" + args(i, p)); }
    void setInsBnk(int i, int b) override { note("setInsBnk" + args(i, b)); }
    void setMultiPrg(int p) override { note("setMultiPrg(" + std::to_string(p) + ")"); }
    void setMultiBnk(int b) override { note("setMultiBnk(" + std::to_string(b) + ")"); }
    void nextPatchFile(int i, bool fwd) override { note("nextPatchFile" + args(i, fwd)); }
    const Tool::Disk::Path_c& getLastLoadedPreset(int ins) override
    {
        note("getLastLoadedPreset(" + std::to_string(ins) + ")");
        return lastPreset;
    }
    void setParaPath(int index, const Tool::Disk::Path_c& p) override
    {
        note("setParaPath(" + std::to_string(index) + "," + p.c_str() + std::string(")"));
    }
    void MidiReset() override { note("MidiReset()"); }
    void AllNotesOff() override { note("AllNotesOff()"); }
    void AllNotesOff(int i) override { note("AllNotesOff(" + std::to_string(i) + ")"); }
    void sendParameterCC() override { note("sendParameterCC()"); }
    void sendParameterCC(int i, int x) override { note("sendParameterCC" + args(i, x)); }
    void clearLearnAssignment(int i, int t) override { note("clearLearnAssignment" + args(i, t)); }
    void postprocessParaChange(int i, Part_c* part, int para) override
    {
        note("postprocessParaChange" + args(i, para) + (part ? "part" : "null"));
    }
    void setEditIns(int i) override { note("setEditIns(" + std::to_string(i) + ")"); }
    void editorSwitchBack() override { note("switchBack()"); }
    void editorModeHook(bool on) override { note(std::string("modeHook(") + (on ? "true" : "false") + ")"); }
    void triggerNote(int i, Note_c n) override { note("triggerNote" + args(i, n.note) + std::to_string(n.velocity)); }
    void gloDispSingle(int d, int i) override { note("gloDispSingle" + args(d, i)); }
    void gloDispMulti(int d, int i) override { note("gloDispMulti" + args(d, i)); }
    void updateEditor(int index, bool full) override { note("updateEditor" + args(index, full)); }
    void updateEditor(Part_c*, int para, int set, bool full) override
    {
        note("updateEditorPart(" + std::to_string(para) + "," + std::to_string(set) + "," + std::to_string(full) + ")");
    }
    std::string log;
    int64_t busySeen = 0; // the busy counter when the last target ran
    Tool::Disk::Path_c lastPreset{Vdx::String_c("/presets/Warm.fxp")};
    LogInstrument instrument;
    Instrument_c* ownInstruments[2] = {nullptr, nullptr};
};

HoldData_c rec(int command, int index = 0, int value = 0, void* p1 = nullptr, void* p2 = nullptr)
{
    return HoldData_c(uint8_t(command), int16_t(index), int16_t(value), p1, p2);
}

HoldData_c noteRecord(int command, int ins, uint8_t status, uint8_t key, uint8_t velocity)
{
    HoldData_c r = rec(command, ins);
    r.midi[0] = status;
    r.midi[1] = key;
    r.midi[2] = velocity;
    return r;
}

// Collects the panels shown while it lives.
struct PanelLog
{
    PanelLog()
    {
        OsLib_c::setPanelHook([this](const std::string& title, const std::string& message, bool) {
            shown.push_back(title + ": " + message);
            return true;
        });
    }
    ~PanelLog() { OsLib_c::setPanelHook({}); }
    std::vector<std::string> shown;
};

} // namespace

TEST(SynthCommands, AudioSideTable)
{
    EngineTestHost host;
    CommandEngine e;
    e.afterFirstBlock();
    int part = 0;
    struct Case { const char* what; HoldData_c record; const char* log; };
    const Case cases[] = {
        {"empty record", rec(0, 1, 2), ""},
        {"note with zone check", noteRecord('Q', 0, 0x91, 60, 100), "processMidi(145,60,100,0,zones)"},
        {"note without zone check", noteRecord('X', 0, 0x80, 61, 0), "processMidi(128,61,0,0,free)"},
        {"note for an absent instrument", noteRecord('Q', 1, 0x90, 60, 100), ""},
        {"note for a negative instrument", noteRecord('X', -1, 0x90, 60, 100), ""},
        {"MIDI reset", rec('R'), "MidiReset()"},
        {"notes off everywhere", rec('S', 255), "AllNotesOff()"},
        {"notes off of one instrument", rec('S', 0), "AllNotesOff(0)"},
        {"send every controller", rec('Y', -1, -1), "sendParameterCC()"},
        {"send one controller", rec('Y', 0, 124), "sendParameterCC(0,124)"},
        {"program request is not audio work", rec('I', 0, 5, &part, &part), ""},
    };
    for (const Case& c : cases) {
        e.processRTCmd(c.record);
        EXPECT_EQ(e.take(), c.log) << c.what;
    }
    std::vector<HoldData_c> forwarded = e.takeGUI();
    ASSERT_EQ(forwarded.size(), 1u) << "only the program request went on to the idle side";
    EXPECT_EQ(forwarded[0].command, 'I');
    EXPECT_EQ(forwarded[0].value, 5);
    EXPECT_EQ(forwarded[0].ptr1, &part) << "the first pointer travels";
    EXPECT_EQ(forwarded[0].ptr2, nullptr) << "the second pointer stays behind";

    CommandEngine fresh;
    fresh.processRTCmd(rec('Y', 0, 3));
    EXPECT_EQ(fresh.take(), "") << "no controller sending before the first block";
}

TEST(SynthCommands, IdleSideTable)
{
    EngineTestHost host;
    PanelLog panels;
    CommandEngine e;
    std::string partLog;
    LogPart part(&partLog);
    double meter = 0.25;
    struct Case { const char* what; HoldData_c record; const char* log; };
    const Case cases[] = {
        {"empty record", rec(0, 1, 2), ""},
        {"meter value", rec(28, 0, 7, &part, &meter), "updateEditorPart(7,0,0)"},
        {"meter value without a part", rec(28, 0, 7, nullptr, &meter), ""},
        {"multi program", rec('E', 0, 12), "setMultiPrg(12)"},
        {"multi bank", rec('F', 0, 3), "setMultiBnk(3)"},
        {"host program", rec('I', 0, 9), "setProgramCore(9)"},
        {"instrument program", rec('J', 0, 4), "setInsPrg(0,4)"},
        {"MIDI program change", rec('M', 0, 127), "setInsPrg(0,127)"},
        {"instrument bank", rec('K', 0, 2), "setInsBnk(0,2)"},
        {"MIDI bank select", rec('N', 0, 1), "setInsBnk(0,1)"},
        {"change follow-up", rec('L', 0, 6, &part), "postprocessParaChange(0,6)part"},
        {"edited instrument", rec('O', 0), "setEditIns(0)"},
        {"number for the command entry", rec(51), "switchBack()"},
        {"'G' goes to the command entry, which has nothing for it", rec('G', 1, 1), ""},
        {"an audio command here only reaches the command entry", rec('S', 255), ""},
    };
    for (const Case& c : cases) {
        e.processGuiHoldBufferCmd(c.record);
        EXPECT_EQ(e.take(), c.log) << c.what;
    }
    EXPECT_EQ(partLog, "setPara01(0,7,0.250000) ");

    char* text = static_cast<char*>(std::malloc(16));
    std::strcpy(text, "format mismatch");
    e.processGuiHoldBufferCmd(rec('P', 0, 0, text, const_cast<char*>("Load Error")));
    // Shown on the panel thread, so the idle round never waits for the user.
    ASSERT_TRUE(e.getPanels().waitShown(5000));
    ASSERT_EQ(panels.shown.size(), 1u) << "the text is shown, then freed (ASan checks the free)";
    EXPECT_EQ(panels.shown[0], "Load Error: format mismatch");
}

TEST(SynthCommands, CommandEntryTable)
{
    EngineTestHost host;
    CommandEngine e;
    e.setEdited(0);
    Note_c audition;
    audition.set(64, 90);
    struct Case { const char* what; int command, index, value; void* ptr; int learn; bool handled; const char* log; };
    const Case cases[] = {
        {"key 13 (value 269 modulo 256) steps to the next preset", 5, 0, 269, nullptr, -1, true, "nextPatchFile(0,1)"},
        {"key 11 steps back", 5, 0, 11, nullptr, -1, true, "nextPatchFile(0,0)"},
        {"another key is not used", 5, 0, 'a', nullptr, -1, false, ""},
        {"last loaded preset into path parameter 40", 13, 40, 0, nullptr, -1, true,
         "getLastLoadedPreset(0) setParaPath(40,/presets/Warm.fxp)"},
        {"next preset of the edited instrument", 15, -1, 0, nullptr, -1, true, "nextPatchFile(0,1)"},
        {"previous preset", 16, 0, 0, nullptr, -1, true, "nextPatchFile(0,0)"},
        {"page switch back", 51, 0, 0, nullptr, -1, true, "switchBack()"},
        {"audition note", 61, 0, 0, &audition, -1, true, "triggerNote(0,64)90"},
        {"audition without a note", 61, 0, 0, nullptr, -1, true, ""},
        {"clear a learned assignment", 62, 0, 0, nullptr, 7, true, "clearLearnAssignment(0,7)"},
        {"no learn target, nothing to clear", 62, 0, 0, nullptr, -1, true, ""},
        {"mode hook on", 63, 0, 0, nullptr, -1, true, "modeHook(true)"},
        {"mode hook off", 64, 0, 0, nullptr, -1, true, "modeHook(false)"},
        {"the product's command", 91, 0, 0, nullptr, -1, true, ""},
        {"unknown number", 99, 0, 0, nullptr, -1, false, ""},
    };
    for (const Case& c : cases) {
        e.setLearnTarget(c.learn);
        e.busySeen = 0;
        EXPECT_EQ(e.processGUICmd(c.command, c.index, c.value, c.ptr), c.handled) << c.what;
        EXPECT_EQ(e.take(), c.log) << c.what;
        if (*c.log) {
            EXPECT_GT(e.busySeen, 0) << c.what << ": runs inside the busy counter";
        }
    }
    EXPECT_EQ(e.busy.load(), 0);

    // The idle queue's numbered record reaches the entry with its first pointer.
    e.processGuiHoldBufferCmd(rec(61, 0, 0, &audition));
    EXPECT_EQ(e.take(), "triggerNote(0,64)90");
}

TEST(SynthCommands, ProducersRouteAndDrop)
{
    EngineTestHost host;
    CommandEngine e;
    HoldData_c r;

    // A controller request before the first audio block is dropped by every entry.
    EXPECT_FALSE(e.holdCmdtoRT('Y', 0, 5));
    EXPECT_FALSE(e.holdCmdtoGUI('Y', 0, 5));
    EXPECT_FALSE(e.holdCmdX(true, 'Y', 0, 5));
    EXPECT_FALSE(e.toRT().unholdEvent(&r));
    e.afterFirstBlock();
    EXPECT_TRUE(e.holdCmdtoRT('Y', 0, 5));
    ASSERT_TRUE(e.toRT().unholdEvent(&r));
    EXPECT_EQ(r.command, 'Y');

    struct Case { const char* what; bool toRT; int command, index, value; bool queued; };
    const Case cases[] = {
        {"toward audio", true, 'S', 0, 0, true},
        {"toward idle", false, 'J', 0, 4, true},
        {"command 0", true, 0, 0, 0, false},
        {"command above 255", false, 256 + 'J', 0, 0, false},
        {"index beyond 16 bits", false, 'J', 40000, 0, false},
        {"value beyond 16 bits", true, 'Y', 0, -40000, false},
        {"negative arguments that fit", false, 'J', -1, -32768, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(e.holdCmdX(c.toRT, c.command, c.index, c.value), c.queued) << c.what;
        HoldData_c got;
        CmdBuffer_c& ring = c.toRT ? e.toRT() : e.toGUI();
        EXPECT_EQ(ring.unholdEvent(&got), c.queued) << c.what;
        if (c.queued) {
            EXPECT_EQ(got.command, c.command) << c.what;
            EXPECT_EQ(got.index, c.index) << c.what;
            EXPECT_EQ(got.value, c.value) << c.what;
        }
        EXPECT_FALSE(e.toRT().unholdEvent(&got) || e.toGUI().unholdEvent(&got)) << c.what << ": nothing else";
    }

    // The host's program requests: only the newest stays queued.
    for (int p : {3, 8, 5})
        EXPECT_TRUE(e.holdCmdtoGUI('I', 0, p, nullptr, nullptr, hdReplaceSame));
    e.drainGUICmds();
    EXPECT_EQ(e.take(), "setProgramCore(5)");
}

TEST(SynthCommands, NotesFromOtherThreads)
{
    EngineTestHost host;
    CommandEngine e;
    // The system settings bound, as an open engine has them; "Pad Velocity"
    // starts on.
    ParaSet_c* settings = nullptr;
    ASSERT_TRUE(e.getSysGlo()->getParaSetPtr(&settings));
    Parameter_c* pad = e.getSysGlo()->getParaPtr(0, SysGloPara::PadVelocity);
    ASSERT_NE(pad, nullptr);
    struct Case { const char* what; int note, velocity, channel; bool zones, padOn; int status, key, vel; };
    const Case cases[] = {
        {"note on, velocity kept", 60, 100, 0, true, true, 0x90, 60, 100},
        {"note off", 60, 0, 3, true, true, 0x83, 60, 0},
        {"any channel counts as channel 0", 61, 10, 16, false, true, 0x90, 61, 10},
        {"out of range values are clamped", 200, 300, 20, true, true, 0x9F, 127, 127},
        {"without pad velocity every note on plays at 127", 62, 5, 1, true, false, 0x91, 62, 127},
        {"... and a note off stays one", 62, 0, 1, false, false, 0x81, 62, 0},
    };
    for (const Case& c : cases) {
        pad->setVal(c.padOn ? 1 : 0);
        NoteC_c n;
        n.note = c.note;
        n.velocity = c.velocity;
        n.channel = c.channel;
        ASSERT_TRUE(e.holdProcNoteOn(0, n, c.zones)) << c.what;
        HoldData_c r;
        ASSERT_TRUE(e.toRT().unholdEvent(&r)) << c.what;
        EXPECT_EQ(r.command, c.zones ? 'Q' : 'X') << c.what;
        EXPECT_EQ(r.index, 0) << c.what;
        EXPECT_EQ(r.midi[0], c.status) << c.what;
        EXPECT_EQ(r.midi[1], c.key) << c.what;
        EXPECT_EQ(r.midi[2], c.vel) << c.what;
        EXPECT_EQ(r.midi[3], 0) << c.what;
        // And on the audio side the instrument gets exactly that message.
        e.processRTCmd(r);
        EXPECT_EQ(e.take(), "processMidi(" + std::to_string(c.status) + "," + std::to_string(c.key) + ","
                      + std::to_string(c.vel) + ",0," + (c.zones ? "zones" : "free") + ")")
            << c.what;
    }
    NoteC_c n;
    n.set(60, 100, 0);
    EXPECT_FALSE(e.holdProcNoteOn(70000, n, true)) << "an instrument index beyond 16 bits";
}

TEST(SynthCommands, DrainingTakesQueuedRecordsInOrder)
{
    EngineTestHost host;
    CommandEngine e;
    e.afterFirstBlock();
    EXPECT_TRUE(e.holdCmdtoRT('S', 0, 0));
    EXPECT_TRUE(e.holdCmdtoRT('J', 0, 2)); // idle work: passed on
    EXPECT_TRUE(e.holdCmdtoRT('Y', 0, 9));
    e.drainRTCmds();
    EXPECT_EQ(e.take(), "AllNotesOff(0) sendParameterCC(0,9)");
    e.drainGUICmds();
    EXPECT_EQ(e.take(), "setInsPrg(0,2)");

    // A record posted while the audio side drains waits for the next block:
    // a drain never runs on and on.
    struct Reposting : CommandEngine
    {
        void AllNotesOff(int i) override
        {
            CommandEngine::AllNotesOff(i);
            holdCmdtoRT('S', i, 0);
        }
    } r;
    EXPECT_TRUE(r.holdCmdtoRT('S', 0, 0));
    r.drainRTCmds();
    EXPECT_EQ(r.take(), "AllNotesOff(0)");
    r.drainRTCmds();
    EXPECT_EQ(r.take(), "AllNotesOff(0)");
}

TEST(SynthCommands, MessagesAreShownOnceAndNeverLeak)
{
    EngineTestHost host;
    PanelLog panels;
    {
        CommandEngine e;
        EXPECT_TRUE(e.holdUserMessage("Load Error", "format mismatch SYG0 Order 3"));
        // A message meant for the audio side is shown on the idle side, with its title.
        char* text = static_cast<char*>(std::malloc(8));
        std::strcpy(text, "direct");
        EXPECT_TRUE(e.holdCmdtoRT('P', 0, 0, text, const_cast<char*>("Bank Load Error"), hdReplaceSame));
        HoldData_c none;
        EXPECT_FALSE(e.toRT().unholdEvent(&none));
        e.drainGUICmds();
        ASSERT_TRUE(e.getPanels().waitShown(5000));
        ASSERT_EQ(panels.shown.size(), 2u);
        EXPECT_EQ(panels.shown[0], "Load Error: format mismatch SYG0 Order 3");
        EXPECT_EQ(panels.shown[1], "Bank Load Error: direct");

        // A full ring refuses a message record and frees its text (ASan
        // reports a leak otherwise); the message itself goes to the panel
        // thread at once, so it is not lost.
        while (e.holdCmdtoGUI('G', 0, 0))
            ;
        EXPECT_TRUE(e.holdUserMessage("Load Error", "not lost"));
        ASSERT_TRUE(e.getPanels().waitShown(5000));
        ASSERT_EQ(panels.shown.size(), 3u);
        EXPECT_EQ(panels.shown[2], "Load Error: not lost");
        char* refused = static_cast<char*>(std::malloc(8));
        std::strcpy(refused, "refused");
        EXPECT_FALSE(e.holdCmdtoGUI('P', 0, 0, refused, const_cast<char*>("Load Error")));
        e.takeGUI();

        // Messages still queued when the engine goes are freed with it.
        EXPECT_TRUE(e.holdUserMessage("Load Error", "never shown"));
        EXPECT_TRUE(e.holdUserMessage("Load Error", "never shown either"));
    }
    EXPECT_EQ(panels.shown.size(), 3u);
}

TEST(SynthCommands, EditorFacingCalls)
{
    EngineTestHost host;
    CommandEngine e;
    e.updateActiveStep(0);
    EXPECT_EQ(e.take(), "") << "no step display defined";
    e.setStepDisplay(3, 651);
    e.updateActiveStep(9);
    EXPECT_EQ(e.take(), "updateEditor(651,0)") << "step clamped to 3";
    e.showActivity(2);
    EXPECT_EQ(e.take(), "") << "no activity display in this product";
    e.setActivity(100, 10);
    e.showActivity(2);
    EXPECT_EQ(e.take(), "updateEditor(120,0)");

    // Two global displays at most; each follows host indices other than its own.
    e.defineGlobalDisplay(600, 0, 1, 0, 3);
    e.defineGlobalDisplay(601, 0, 1, 1, 2);
    e.defineGlobalDisplay(602, 0, 1, 0, 3);
    struct Case { int display, hostIndex; const char* log; };
    const Case cases[] = {
        {0, 10, "gloDispSingle(0,10)"},
        {1, 10, "gloDispMulti(1,10)"},
        {0, 600, ""}, // the display's own index
        {2, 10, ""},  // the third definition was refused
        {-1, 10, ""},
    };
    for (const Case& c : cases) {
        e.setGlobalDisplayTo(c.display, c.hostIndex);
        EXPECT_EQ(e.take(), c.log) << c.display << "/" << c.hostIndex;
    }
    CommandEngine none;
    none.setGlobalDisplayTo(0, 10);
    EXPECT_EQ(none.take(), "") << "undefined display";
    none.setGlobalDisplayTo(-5);
    EXPECT_EQ(none.take(), "");
}
