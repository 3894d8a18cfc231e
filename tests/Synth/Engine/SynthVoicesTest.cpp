// The engine's voice operations over its voice table: freeing finished
// voices, quick fade-outs and the hard stop, through the product class.
#include "EngineTestHost.h"
#include "Instrument.h"
#include "PolyNoteTable.h"
#include "Synth.h"
#include "SysGlo.h"
#include "Vela.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

// The product, noting which instruments' activity it was asked to show.
class ActivityVela : public Vela_c
{
public:
    ActivityVela() : Vela_c(&EngineTestHost::callback, false) {}
    void showActivity(int i) override
    {
        shown.push_back(i);
        Vela_c::showActivity(i);
    }
    // The voice table without its voice objects, as an engine whose product
    // fills no voices has it.
    void dropVoiceObjects()
    {
        for (int v = 0; v < NumVoices; ++v)
            voices[v] = nullptr;
    }
    std::vector<int> shown;
};

class EngineVoices : public ::testing::Test
{
protected:
    void SetUp() override
    {
        vela.dispatcher(effOpen, 0, 0, nullptr, 0.0f);
        vela.createVoiceTable();
        table = vela.getPolyNoteTable();
        ins = vela.getInstPtr(0);
        ASSERT_NE(table, nullptr);
        ASSERT_NE(ins, nullptr);
        ASSERT_EQ(table->getVoiceCount(), NumVoices);
        vela.createVoiceTable();
        ASSERT_EQ(vela.getPolyNoteTable(), table) << "a second call keeps the table";
    }
    void TearDown() override { vela.dispatcher(effClose, 0, 0, nullptr, 0.0f); }

    // Voice 0 held, 1 released, 2 fading, 3 held: one of each state in use.
    void playFourStates()
    {
        for (int n = 0; n < 4; ++n) {
            NoteC_c note;
            note.set(60 + n, 100, 0);
            ASSERT_EQ(table->noteOn(0, ins, NumVoices, note, nullptr, false), n);
        }
        NoteC_c off;
        off.set(61, 0, 0);
        table->noteOff(0, off);
        table->quickFadeOut(2);
        ASSERT_EQ(ins->voicesInUse.load(), 4);
        ASSERT_EQ(ins->heldVoices.load(), 2);
    }
    // The instrument settings' "NotesOn" of instrument 0.
    int notesOnShown() { return vela.getSynGloIns()->getParaVal(0, SynGloInsPara::NotesOn); }
    void expectAllFree()
    {
        for (int v = 0; v < table->getVoiceCount(); ++v)
            EXPECT_EQ(table->get(v)->state, NoteStateFree) << v;
        EXPECT_EQ(table->getInUse(), 0);
        EXPECT_EQ(table->getHeld(), 0);
        EXPECT_EQ(ins->voicesInUse.load(), 0);
        EXPECT_EQ(ins->heldVoices.load(), 0);
        EXPECT_EQ(notesOnShown(), 0);
    }

    EngineTestHost host;
    ActivityVela vela;
    PolyNoteTable_c* table = nullptr;
    Instrument_c* ins = nullptr;
};

} // namespace

TEST_F(EngineVoices, AFinishedVoiceIsFreedOnce)
{
    playFourStates();
    vela.finishVoice(1);
    EXPECT_EQ(table->get(1)->state, NoteStateFree);
    EXPECT_EQ(ins->voicesInUse.load(), 3);
    EXPECT_EQ(notesOnShown(), 3) << "the instrument settings show the voices in use";
    EXPECT_EQ(vela.shown, std::vector<int>{0}) << "and the activity display follows";
    EXPECT_EQ(table->get(1)->note, 61) << "the entry keeps its note for whoever asks after it";
    vela.finishVoice(1);
    EXPECT_EQ(ins->voicesInUse.load(), 3);
    EXPECT_EQ(vela.shown.size(), 1u) << "a voice freed already changes nothing";
    vela.finishVoice(-5);  // clamped to voice 0, which is held
    EXPECT_EQ(table->get(0)->state, NoteStateFree);
    EXPECT_EQ(ins->heldVoices.load(), 1);
    vela.finishVoice(1000);  // clamped to the last voice, which is free
    EXPECT_EQ(table->getInUse(), 2);
}

// Without voice objects nothing would ever report the end of a fade, so
// the faded voices are freed at once.
TEST_F(EngineVoices, QuickFadeOutsReachHeldAndReleasedVoices)
{
    vela.dropVoiceObjects();
    playFourStates();
    vela.quickFadeOutVoice(3);
    EXPECT_EQ(table->get(3)->state, NoteStateFree);
    vela.quickFadeOutVoice(3);  // a free voice stays free
    EXPECT_EQ(table->get(3)->state, NoteStateFree);
    EXPECT_EQ(ins->voicesInUse.load(), 3);

    vela.quickFadeOutIns(7);  // clamped to the only instrument
    EXPECT_EQ(table->get(0)->state, NoteStateFree);
    EXPECT_EQ(table->get(1)->state, NoteStateFree);
    EXPECT_EQ(table->get(2)->state, NoteStateFading) << "already fading: left to finish";
    EXPECT_EQ(ins->voicesInUse.load(), 1);
    EXPECT_EQ(ins->heldVoices.load(), 0);
    EXPECT_EQ(notesOnShown(), 1);
}

TEST_F(EngineVoices, AHardStopFreesEveryVoiceOfTheInstrumentFromAnyThread)
{
    playFourStates();
    vela.hardNoteOff(0);
    expectAllFree();

    playFourStates();
    std::thread([&] { vela.hardNoteOff(-3); }).join();
    expectAllFree();

    // Switching reception off stops the voices the same way.
    playFourStates();
    std::thread([&] { ins->ReceiveMIDI(false); }).join();
    expectAllFree();
    ins->ReceiveMIDI(true);
}
