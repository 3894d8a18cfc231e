#include "SysGlo.h"

#include "OsLib.h"
#include "ParaSet.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using TestSupport::ScopedEnv;
using TestSupport::TempDir;

namespace {

// One plug-in instance's system settings: a part bound to a set of its own,
// as in a host process of its own. The preference key is "TestSysGlo".
struct Settings
{
    Settings() { part.getParaSetPtr(&slot); }
    int value(int idx) { return part.getParaVal(0, idx); }
    std::string text(int idx)
    {
        char buf[ParaTextBufferBytes];
        part.getParaCharPtr(0, idx, buf);
        return buf;
    }

    ParaSet_c* slot = nullptr;
    SysGlo_c part{"Test"};
};

// A settings part that believes it runs on the audio thread while onAudio is
// set.
struct AudioSideSysGlo : SysGlo_c
{
    using SysGlo_c::SysGlo_c;
    bool mustDeferStore() const override { return onAudio; }
    bool onAudio = false;
};

std::string displayOf(Part_c& part, int set, int idx)
{
    Vdx::String_c out;
    part.getDisplay(set, idx, out);
    return out;
}

// Every test gets an empty preferences store of its own.
class SysGloStore : public ::testing::Test
{
protected:
    // The stored 'SYPS' chunk as words; empty when nothing is stored.
    std::vector<int32_t> storedWords()
    {
        void* data = nullptr;
        int n = 0;
        if (!OsLib_c::recallChunk("TestSysGlo", &data, &n))
            return {};
        std::vector<int32_t> words(static_cast<size_t>(n) / 4);
        std::memcpy(words.data(), data, words.size() * 4);
        std::free(data);
        return words;
    }

    // Stores a chunk of settings whose values are those of a fresh set
    // with the given changes.
    void storeSettings(std::initializer_list<std::pair<int, int>> values)
    {
        ParaSet_c* slot = nullptr;
        SysGlo_c writer("Unused");
        writer.getParaSetPtr(&slot);
        for (auto [idx, v] : values)
            slot->setParaVal(0, idx, v);
        std::vector<int32_t> words(static_cast<size_t>(slot->getChunkSize(0)) / 4);
        slot->getChunk(words.data(), 0);
        ASSERT_TRUE(OsLib_c::remindChunk("TestSysGlo", words.data(), static_cast<int>(words.size() * 4)));
    }

    TempDir dir;
    ScopedEnv config{"XDG_CONFIG_HOME", dir.path().c_str()};
};

struct Row
{
    int idx;
    const char* name;
    ParaType_t type;
    int lo, hi, def;
};

void expectRows(Part_c& part, int set, const std::vector<Row>& rows)
{
    for (const Row& r : rows) {
        SCOPED_TRACE(r.idx);
        Parameter_c* p = part.getParaPtr(set, r.idx);
        ASSERT_NE(p, nullptr);
        char name[ParaNameBufferBytes];
        part.getParaName(set, r.idx, name);
        // Names are answered in ParaNameBufferBytes.
        EXPECT_EQ(name, std::string(r.name).substr(0, ParaNameBufferBytes - 1));
        EXPECT_EQ(p->getType(), r.type);
        if (r.type == ptCharPtr)
            continue;
        EXPECT_EQ(p->getLowValue(), r.lo);
        EXPECT_EQ(p->getHighValue(), r.hi);
        EXPECT_EQ(p->getDefValue(), r.def);
        EXPECT_EQ(static_cast<int>(p->value), r.def);
    }
}

} // namespace

// ---------------------------------------------------------------------------
// Definitions: stored chunks depend on every type, range and default.

TEST(SysGloDefinition, SystemSettingsRows)
{
    Settings s;
    EXPECT_EQ(s.part.getTypeCode(), 0x53595053);
    ASSERT_NE(s.slot, nullptr);
    EXPECT_EQ(s.slot->getParaCount(), 16);
    EXPECT_EQ(s.slot->getSetCount(), 1);
    EXPECT_EQ(s.slot->getOrder(), 0);
    expectRows(s.part, 0,
               {{0, "Version", ptNumber, 200, 9900, 200},
                {2, "Cir/Lin Knob Movement", ptEnu, 0, 1, 1},
                {3, "NoteDisplayType", ptOnOff, 0, 1, 0},
                {4, "Pad Velocity", ptOnOff, 0, 1, 1},
                {5, "PanMode", ptEnu, 0, 1, 1},
                {6, "Jump To Save Dir", ptOnOff, 0, 1, 1},
                {7, "Font Color", ptEnu, 0, 2, 0},
                {8, "Default Preset Path", ptCharPtr, 0, 0, 0},
                {10, "unused", ptNumber, 0, 9, 0},
                {11, "Data Path", ptCharPtr, 0, 0, 0},
                {12, "Version string to display", ptCharPtr, 0, 0, 0},
                {14, "EditIns follows Morp", ptOnOff, 0, 1, 0},
                {15, "ECS follows EditIns", ptOnOff, 0, 1, 0}});
    // The rows between keep their place undefined.
    for (int idx : {1, 9, 13})
        EXPECT_EQ(s.part.getParaPtr(0, idx)->getType(), ptUndefined) << idx;
    EXPECT_EQ(displayOf(s.part, 0, SysGloPara::Version), "2.00");
    EXPECT_EQ(displayOf(s.part, 0, SysGloPara::KnobMovement), " Linear ");
    EXPECT_EQ(displayOf(s.part, 0, SysGloPara::PanMode), "EqPow");
    s.part.setParaVal(0, SysGloPara::FontColor, 1);
    EXPECT_EQ(displayOf(s.part, 0, SysGloPara::FontColor), "LightRed");
}

TEST(SysGloDefinition, SynthSettingsRows)
{
    ParaSet_c* slot = nullptr;
    SynGlo_c part(6);
    // The several-set form defines the one set as well.
    ASSERT_TRUE(part.getParaSetPtr(&slot, 5));
    EXPECT_EQ(part.getTypeCode(), 0x53594730);
    EXPECT_EQ(slot->getSetCount(), 1);
    EXPECT_EQ(slot->getParaCount(), 34);
    expectRows(part, 0,
               {{0, "Version", ptNumber, 200, 9900, 200},
                {1, "Edit Ins", ptNumber, 0, 64, 0},
                {2, "Undo/Redo", ptOnOff, 0, 1, 0},
                {3, "Glo Tune", ptNumber, 4153, 4662, 4400},
                {4, "CCAssignActive", ptOnOff, 0, 1, 0},
                {5, "Saved or Loaded Presets", ptOnOff, 0, 1, 0},
                {6, "CPU Load", ptNumber, 0, 1000, 0},
                {7, "SRFactor", ptNumber, 10, 100, 100},
                {8, "VelCurve", ptNumber, 0, 9, 5},
                {9, "Automatik 1", ptOnOff, 0, 1, 0},
                {10, "keyboard", ptNumber, 0, 1000000, 0},
                {11, "Stereo Outs", ptNumber, 0, 6, 1},
                {12, "Mono Outs", ptNumber, 0, 6, 0},
                {13, "Wheel Target", ptEnu, 0, 2, 0},
                {14, "", ptEnu, 0, 2, 0},
                {15, "", ptOnOff, 0, 1, 0},
                {16, "Generation Range", ptNumber, 0, 100, 5},
                {17, "ECS Save Path", ptCharPtr, 0, 0, 0},
                {18, "ECS Load Path", ptCharPtr, 0, 0, 0},
                {19, "Version string to display", ptCharPtr, 0, 0, 0},
                {20, "System Error Code", ptNumber, 0, 65535, 0},
                {21, "SynthEdited", ptOnOff, 0, 1, 0},
                {22, "Choke", ptOnOff, 0, 1, 1},
                {23, "Sample Display", ptEnu, 0, 1, 0},
                {24, "Kit Name Display", ptCharPtr, 0, 0, 0},
                {25, "Edit Page", ptNumber, 0, 99, 0},
                {26, "Program", ptNumber, 0, 207, 0},
                {27, "Bank", ptNumber, 0, 207, 0},
                {28, "Master Vol", ptVolume, -121, 30, 0},
                {29, "Multi Save", ptCharPtr, 0, 0, 0},
                {30, "Multi Load", ptCharPtr, 0, 0, 0},
                {31, "Pitch Bend Up Amount", ptNumber, 0, 24, 2},
                {32, "Pitch Bend Down Amount", ptEnu, -1, 24, -1},
                {33, "MIDI CC Mode", ptEnu, 0, 1, 1}});
    EXPECT_EQ(displayOf(part, 0, SynGloPara::GloTune), "440.0");
    EXPECT_EQ(displayOf(part, 0, SynGloPara::BendDown), "link");
    // Value 12 is the fourteenth four-character item of the packed text.
    part.setParaVal(0, SynGloPara::BendDown, 12);
    char item[8] = {};
    part.getParaPtr(0, SynGloPara::BendDown)->getEnuVal(item);
    EXPECT_STREQ(item, " 12 ");
    EXPECT_EQ(displayOf(part, 0, SynGloPara::CCMode), "receive+send");
    char unit[ParaNameBufferBytes] = {};
    part.getParaUnit(0, SynGloPara::BendUp, unit);
    EXPECT_STREQ(unit, "semitones");
}

TEST(SysGloDefinition, InstrumentSettingsRowsInEverySet)
{
    ParaSet_c* slot = nullptr;
    SynGloIns_c part(208, 2, 2);
    ASSERT_TRUE(part.getParaSetPtr(&slot, 3));
    EXPECT_EQ(part.getTypeCode(), 0x53594731);
    EXPECT_EQ(slot->getSetCount(), 3);
    EXPECT_EQ(slot->getParaCount(), 33);
    const std::vector<Row> rows = {{0, "Version", ptNumber, 200, 9900, 200},
                                   {1, "Program", ptNumber, 0, 207, 0},
                                   {2, "Unused", ptOnOff, 0, 1, 1},
                                   {3, "unused ", ptNumber, 0, 3, 0},
                                   {4, "Mute", ptOnOff, 0, 1, 0},
                                   {5, "Solo", ptOnOff, 0, 1, 0},
                                   {6, "NotesOn", ptNumber, 0, 8, 0},
                                   {7, "Choke", ptEnu, 0, 12, 0},
                                   {8, "InsChIdx", ptChannel, 0, 16, 16},
                                   {9, "", ptNumber, -99999999, 99999999, 0},
                                   {10, "Edited", ptOnOff, 0, 1, 0},
                                   {11, "Legato", ptOnOff, 0, 1, 0},
                                   {12, "Pitch Bend Up Amount", ptNumber, 0, 24, 2},
                                   {13, "Unused", ptCharPtr, 0, 0, 0},
                                   {14, "Preset Load Path", ptCharPtr, 0, 0, 0},
                                   {15, "Preset Save Path", ptCharPtr, 0, 0, 0},
                                   {16, "Global Display", ptCharPtr, 0, 0, 0},
                                   {17, "Trigger", ptNote, 0, 127, 36},
                                   {18, "Bank", ptNumber, 0, 207, 0},
                                   {19, "Note Lo", ptNote, 0, 127, 0},
                                   {20, "Note Hi", ptNote, 0, 127, 127},
                                   {21, "Velo Lo", ptNumber, 1, 127, 1},
                                   {22, "Velo Hi", ptNumber, 1, 127, 127},
                                   {23, "Note Fade", ptNumber, -24, 24, 0},
                                   {24, "Velo Fade", ptNumber, -127, 127, 0},
                                   {25, "Pitch Bend Down Amount", ptEnu, -1, 24, -1},
                                   {26, "Receive Mod Wheel", ptOnOff, 0, 1, 1},
                                   {27, "Receive Pitchwheel", ptOnOff, 0, 1, 1},
                                   {28, "Receive Aftertouch", ptOnOff, 0, 1, 1},
                                   {29, "Receive SustainPed", ptOnOff, 0, 1, 1},
                                   {30, "Master Vol", ptVolume, -121, 30, 0},
                                   {31, "Output Selection", ptEnu, 0, 3, 0},
                                   {32, "MIDI Mod Wheel", ptNumber, 0, 127, 0}};
    for (int set = 0; set < 3; ++set) {
        SCOPED_TRACE(set);
        expectRows(part, set, rows);
    }
    // An older stored choke text is still recognised.
    part.getParaPtr(2, SynGloInsPara::Choke)->setEnuVal("P  ");
    EXPECT_EQ(part.getParaVal(2, SynGloInsPara::Choke), 2);
}

TEST(SysGloDefinition, OutputSelectionNamesStereoThenMonoOutputs)
{
    struct Case
    {
        int stereo, mono;
        const char* items;
    };
    const Case cases[] = {{2, 2, "S01S02M01M02"}, {6, 0, "S01S02S03S04S05S06"}, {0, 1, "M01"}, {0, 0, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.items);
        SynGloIns_c part(4, c.stereo, c.mono);
        EXPECT_EQ(part.outputCount, c.stereo + c.mono);
        EXPECT_STREQ(part.getOutSelStr(), c.items);
        // The same text on every call: a definition may point to it.
        EXPECT_EQ(part.getOutSelStr(), part.getOutSelStr());
    }
    ParaSet_c* slot = nullptr;
    SynGloIns_c part(4, 2, 2);
    part.getParaSetPtr(&slot, 1);
    const char* expected[] = {"S01", "S02", "M01", "M02"};
    for (int v = 0; v < 4; ++v) {
        part.setParaVal(0, SynGloInsPara::OutputSelection, v);
        EXPECT_EQ(displayOf(part, 0, SynGloInsPara::OutputSelection), expected[v]);
    }
}

TEST(SysGloDefinition, SetOutlivesThePartThatDefinedIt)
{
    // A class's set may be shared: the part that defined "Output Selection"
    // may go first, and the items must still be readable.
    ParaSet_c* slot = nullptr;
    auto first = std::make_unique<SynGloIns_c>(4, 1, 1);
    first->getParaSetPtr(&slot, 1);
    SynGloIns_c second(4, 1, 1);
    second.getParaSetPtr(&slot, 1);
    first.reset();
    second.setParaVal(0, SynGloInsPara::OutputSelection, 1);
    EXPECT_EQ(displayOf(second, 0, SynGloInsPara::OutputSelection), "M01");
}

// ---------------------------------------------------------------------------
// The stored system settings.

TEST_F(SysGloStore, ChangesRoundTripThroughThePreferences)
{
    {
        Settings a;
        EXPECT_EQ(a.part.getKey(), "TestSysGlo");
        a.part.setParaVal(0, SysGloPara::NoteDisplayType, 1);
        a.part.setParaVal(0, SysGloPara::FontColor, 2);
        a.part.setParaCharPtr(0, SysGloPara::DefaultPresetPath, "/banks/Factory/Init.fxp");
    }
    Settings b;
    EXPECT_FALSE(b.part.isRecalled());
    EXPECT_TRUE(b.part.recall());
    EXPECT_TRUE(b.part.isRecalled());
    EXPECT_EQ(b.value(SysGloPara::NoteDisplayType), 1);
    EXPECT_EQ(b.value(SysGloPara::FontColor), 2);
    EXPECT_EQ(b.text(SysGloPara::DefaultPresetPath), "/banks/Factory/Init.fxp");
    EXPECT_EQ(b.value(SysGloPara::PadVelocity), 1); // untouched: its default
    const std::vector<int32_t> words = storedWords();
    ASSERT_GE(words.size(), 3u);
    EXPECT_EQ(words[0], 0x53595053);
    EXPECT_EQ(words[1], static_cast<int32_t>(words.size() * 4));
}

TEST_F(SysGloStore, StoredChunkThatIsNotSettingsIsIgnored)
{
    // A good chunk to damage: "Pad Velocity" off, "Font Color" White.
    std::vector<int32_t> good;
    {
        ParaSet_c* slot = nullptr;
        SysGlo_c writer("Unused");
        writer.getParaSetPtr(&slot);
        slot->setParaVal(0, SysGloPara::PadVelocity, 0);
        slot->setParaVal(0, SysGloPara::FontColor, 2);
        good.resize(static_cast<size_t>(slot->getChunkSize(0)) / 4);
        slot->getChunk(good.data(), 0);
    }
    const int32_t bytes = static_cast<int32_t>(good.size() * 4);
    struct Case
    {
        const char* what;
        int32_t tag;
        int32_t size;    // size word
        size_t storedBytes;
    };
    const Case cases[] = {
        {"tag of another class", 0x53594730, bytes, good.size() * 4},
        {"size word beyond what is stored", 0x53595053, bytes + 4, good.size() * 4},
        {"size word short of what is stored", 0x53595053, bytes - 4, good.size() * 4},
        {"size word not a multiple of 4", 0x53595053, bytes - 1, good.size() * 4},
        {"size word negative", 0x53595053, -bytes, good.size() * 4},
        {"header cut short", 0x53595053, bytes, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<int32_t> bad = good;
        bad[0] = c.tag;
        bad[1] = c.size;
        ASSERT_TRUE(OsLib_c::remindChunk("TestSysGlo", bad.data(), static_cast<int>(c.storedBytes)));
        Settings s;
        EXPECT_FALSE(s.part.recall());
        EXPECT_FALSE(s.part.isRecalled());
        EXPECT_EQ(s.value(SysGloPara::PadVelocity), 1);
        EXPECT_EQ(s.value(SysGloPara::FontColor), 0);
    }
    // The intact chunk is read.
    ASSERT_TRUE(OsLib_c::remindChunk("TestSysGlo", good.data(), bytes));
    Settings s;
    EXPECT_TRUE(s.part.recall());
    EXPECT_EQ(s.value(SysGloPara::PadVelocity), 0);
    EXPECT_EQ(s.value(SysGloPara::FontColor), 2);
}

TEST_F(SysGloStore, AfterAnUnreadableChunkTheNextChangeStoresAndRecallWorksAgain)
{
    const int32_t junk[4] = {0x12345678, 16, 0, 0};
    ASSERT_TRUE(OsLib_c::remindChunk("TestSysGlo", junk, sizeof junk));
    {
        Settings s;
        s.part.setParaVal(0, SysGloPara::NoteDisplayType, 1);
        EXPECT_FALSE(s.part.isRecalled());
    }
    Settings again;
    EXPECT_TRUE(again.part.recall());
    EXPECT_EQ(again.value(SysGloPara::NoteDisplayType), 1);
}

TEST_F(SysGloStore, TwoInstancesChangingDifferentSettingsKeepBoth)
{
    Settings a;
    Settings b;
    a.part.recall();
    b.part.recall();
    a.part.setParaVal(0, SysGloPara::NoteDisplayType, 1);   // NoteDisplayType on
    b.part.setParaVal(0, SysGloPara::PadVelocity, 0);   // Pad Velocity off
    a.part.setParaVal(0, SysGloPara::FontColor, 1);   // a writes again: b's change stays
    b.part.setParaCharPtr(0, SysGloPara::VersionString, "v3");
    Settings c;
    ASSERT_TRUE(c.part.recall());
    EXPECT_EQ(c.value(SysGloPara::NoteDisplayType), 1);
    EXPECT_EQ(c.value(SysGloPara::PadVelocity), 0);
    EXPECT_EQ(c.value(SysGloPara::FontColor), 1);
    EXPECT_EQ(c.text(SysGloPara::VersionString), "v3");
    // The same parameter changed in both: the later change wins.
    a.part.setParaVal(0, SysGloPara::PanMode, 0);
    b.part.setParaVal(0, SysGloPara::PanMode, 1);
    Settings d;
    ASSERT_TRUE(d.part.recall());
    EXPECT_EQ(d.value(SysGloPara::PanMode), 1);
}

TEST_F(SysGloStore, FirstChangeBeforeRecallIsAppliedOnTopOfTheStoredSettings)
{
    storeSettings({{SysGloPara::PadVelocity, 0}, {SysGloPara::FontColor, 2}});
    Settings s;
    ASSERT_FALSE(s.part.isRecalled());
    s.part.setParaVal(0, SysGloPara::FontColor, 1);
    EXPECT_TRUE(s.part.isRecalled());
    EXPECT_EQ(s.value(SysGloPara::PadVelocity), 0); // came from the store
    EXPECT_EQ(s.value(SysGloPara::FontColor), 1); // the change survived the recall
    Settings check;
    ASSERT_TRUE(check.part.recall());
    EXPECT_EQ(check.value(SysGloPara::PadVelocity), 0);
    EXPECT_EQ(check.value(SysGloPara::FontColor), 1);
}

TEST_F(SysGloStore, ResettingEverySettingStoresTheWholeSet)
{
    storeSettings({{SysGloPara::PadVelocity, 0}, {SysGloPara::FontColor, 2}});
    Settings s;
    s.part.recall();
    s.part.resetPara(0, 1);
    Settings check;
    ASSERT_TRUE(check.part.recall());
    EXPECT_EQ(check.value(SysGloPara::PadVelocity), 1);
    EXPECT_EQ(check.value(SysGloPara::FontColor), 0);
}

TEST_F(SysGloStore, AudioThreadChangeIsStoredByTheIdlePath)
{
    storeSettings({{SysGloPara::FontColor, 2}});
    const std::vector<int32_t> before = storedWords();
    AudioSideSysGlo part("Test");
    ParaSet_c* slot = nullptr;
    part.getParaSetPtr(&slot);

    part.onAudio = true;
    part.setParaVal(0, SysGloPara::NoteDisplayType, 1);
    part.setParaVal(0, SysGloPara::JumpToSaveDir, 0);
    // Nothing was read or written on the audio thread.
    EXPECT_TRUE(part.isStorePending());
    EXPECT_FALSE(part.isRecalled());
    EXPECT_EQ(storedWords(), before);

    part.onAudio = false;
    EXPECT_TRUE(part.storePending());
    EXPECT_FALSE(part.isStorePending());
    Settings check;
    ASSERT_TRUE(check.part.recall());
    EXPECT_EQ(check.value(SysGloPara::NoteDisplayType), 1);
    EXPECT_EQ(check.value(SysGloPara::JumpToSaveDir), 0);
    EXPECT_EQ(check.value(SysGloPara::FontColor), 2); // stored before, not overwritten
    // The live set took the stored settings under its own changes.
    EXPECT_EQ(part.getParaVal(0, SysGloPara::FontColor), 2);
    EXPECT_EQ(part.getParaVal(0, SysGloPara::NoteDisplayType), 1);
    // Nothing waits: a further idle round writes nothing.
    EXPECT_TRUE(part.storePending());
}

TEST_F(SysGloStore, PendingChangeIsStoredWhenThePartCloses)
{
    {
        AudioSideSysGlo part("Test");
        ParaSet_c* slot = nullptr;
        part.getParaSetPtr(&slot);
        part.onAudio = true;
        part.setParaVal(0, SysGloPara::EcsFollowsEditIns, 1);
        part.onAudio = false;
    }
    Settings check;
    ASSERT_TRUE(check.part.recall());
    EXPECT_EQ(check.value(SysGloPara::EcsFollowsEditIns), 1);
}

TEST_F(SysGloStore, FailedStoreKeepsItsChangeForTheNextStore)
{
    Settings s;
    {
        // The preferences folder cannot be made below a plain file.
        TestSupport::writeFile(dir.file("plain"), "x");
        ScopedEnv broken("XDG_CONFIG_HOME", dir.file("plain/config").c_str());
        s.part.setParaVal(0, SysGloPara::NoteDisplayType, 1);
    }
    s.part.setParaVal(0, SysGloPara::PadVelocity, 0);
    Settings check;
    ASSERT_TRUE(check.part.recall());
    EXPECT_EQ(check.value(SysGloPara::NoteDisplayType), 1);
    EXPECT_EQ(check.value(SysGloPara::PadVelocity), 0);
}

TEST_F(SysGloStore, WithoutAKeyNothingIsStored)
{
    ParaSet_c* slot = nullptr;
    SysGloBase_c part(nullptr, "SysGlo");
    part.createParaSet(&slot, 1, 4);
    EXPECT_TRUE(part.getKey().empty());
    EXPECT_FALSE(part.recall());
    part.setParaVal(0, 1, 1);
    EXPECT_FALSE(part.isStorePending());
    EXPECT_TRUE(storedWords().empty());
}
