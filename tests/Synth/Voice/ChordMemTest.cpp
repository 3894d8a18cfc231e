// The chord memory: learning a chord from keys, playing it moved to every
// key, and ending exactly the notes a key started.
#include "SeqTestEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace SeqTest;

namespace {

struct ChordMemory : testing::Test
{
    SeqEngine e;
    ChordMem_c& mem() { return *e.ins.getChordMem(); }

    // Learns the keys (velocities vel), then switches to "Play".
    void learn(const std::vector<int>& keys, const std::vector<int>& vel)
    {
        e.chord(ChordMem_c::pOpMode, ChordMem_c::mLearn);
        for (size_t i = 0; i < keys.size(); ++i) {
            e.key(keys[i], vel[i]);
            e.release(keys[i], 1);
        }
        e.run(256);
        e.events.clear();
        e.chord(ChordMem_c::pOpMode, ChordMem_c::mPlay);
    }
};

} // namespace

TEST_F(ChordMemory, APlayedKeyPlaysTheLearnedChordMovedToIt)
{
    learn({60, 64, 67}, {100, 80, 110});
    EXPECT_EQ(mem().getParaVal(0, ChordMem_c::pPolyphony), 3);
    struct Case
    {
        int key, velocity;
        std::vector<int> notes, velocities;
    };
    const Case cases[] = {
        {50, 100, {50, 54, 57}, {100, 80, 110}},
        {126, 100, {126, 118, 121}, {100, 80, 110}}, // above 127 an octave lower
        {2, 30, {2, 6, 9}, {30, 10, 40}},
        {60, 127, {60, 64, 67}, {127, 107, 127}},   // velocities clamped to 127
        {60, 10, {60, 64, 67}, {10, 1, 20}},        // and to 1
    };
    for (const Case& c : cases) {
        NoteC_c key;
        key.set(c.key, c.velocity, 3);
        bool first = true;
        NoteC_c out;
        std::vector<int> notes, velocities;
        while (mem().getNextOnNote(&first, key, &out)) {
            notes.push_back(out.note);
            velocities.push_back(out.velocity);
            EXPECT_EQ(out.channel, 3);
        }
        EXPECT_EQ(notes, c.notes) << "key " << c.key;
        EXPECT_EQ(velocities, c.velocities) << "key " << c.key;
        // The release yields the same notes, ascending, with velocity 0.
        first = true;
        std::vector<int> released;
        while (mem().getNextOffNote(&first, key, &out)) {
            released.push_back(out.note);
            EXPECT_EQ(out.velocity, 0);
            EXPECT_EQ(out.channel, 3);
        }
        std::sort(notes.begin(), notes.end());
        EXPECT_EQ(released, notes) << "key " << c.key;
    }
    // Through the instrument: the chord sounds on the key's channel and its
    // release leaves nothing sounding.
    e.key(50, 100, 0, 3);
    e.run(256);
    EXPECT_EQ(e.onNotes(), (std::vector<int>{50, 54, 57}));
    e.release(50, 0, 3);
    e.run(256);
    EXPECT_TRUE(e.hanging().empty());
}

TEST_F(ChordMemory, AReleaseEndsWhatTheKeyStartedEvenAfterTheChordChanged)
{
    learn({60, 67}, {100, 100});
    e.key(40);
    e.run(256);
    // A new chord is learned while the key is held: the release still ends
    // the notes the key started.
    e.chord(ChordMem_c::pOpMode, ChordMem_c::mLearn);
    e.key(70);
    e.release(70, 1);
    e.run(256);
    e.chord(ChordMem_c::pOpMode, ChordMem_c::mPlay);
    e.release(40);
    e.run(256);
    EXPECT_TRUE(e.hanging().empty());
}

TEST_F(ChordMemory, LearningStopsAtEightNotes)
{
    e.chord(ChordMem_c::pOpMode, ChordMem_c::mLearn);
    EXPECT_EQ(mem().getParaVal(0, ChordMem_c::pPolyphony), 0) << "learning starts over";
    for (int n = 0; n < 10; ++n) {
        e.key(50 + n);
        e.release(50 + n, 1);
    }
    e.run(256);
    EXPECT_EQ(mem().getParaVal(0, ChordMem_c::pPolyphony), ChordMemNotes);
    EXPECT_EQ(mem().getParaVal(0, ChordMem_c::pNote0 + 2 * 7), 57);
    EXPECT_EQ(e.onNotes().size(), 10u) << "while learning each key plays itself";
}

TEST_F(ChordMemory, ModeAndSwitchFollowEachOther)
{
    e.chord(ChordMem_c::pOpMode, ChordMem_c::mPlay);
    EXPECT_TRUE(mem().getParaOn(0, ChordMem_c::pOnOff));
    e.chord(ChordMem_c::pOnOff, 0);
    EXPECT_EQ(mem().getParaVal(0, ChordMem_c::pOpMode), ChordMem_c::mOff);
    e.chord(ChordMem_c::pOnOff, 1);
    EXPECT_EQ(mem().getParaVal(0, ChordMem_c::pOpMode), ChordMem_c::mPlay);
    // A program that was saved while learning comes back switched off.
    mem().getParaPtr(0, ChordMem_c::pOpMode)->setVal(ChordMem_c::mLearn);
    mem().postprocessParaChange(0, -1);
    EXPECT_EQ(mem().getParaVal(0, ChordMem_c::pOpMode), ChordMem_c::mOff);
    EXPECT_FALSE(mem().getParaOn(0, ChordMem_c::pOnOff));
    EXPECT_EQ(mem().getMode(), ChordMem_c::mOff);
}

TEST_F(ChordMemory, ChordNotesGoThroughTheArpeggiator)
{
    learn({60, 64, 67}, {100, 100, 100});
    e.set(StepSeq_c::pOpMode, StepSeq_c::mUp);
    e.key(48);
    e.run(6000 * 4 - 100, 100);
    EXPECT_EQ(e.onNotes(), (std::vector<int>{48, 52, 55, 48}));
    e.release(48);
    e.run(6000 * 3);
    EXPECT_TRUE(e.hanging().empty());
    EXPECT_FALSE(e.seq().isRunning());
}
