// The step sequencer as an arpeggiator: which notes each mode walks, when the
// steps and gates fall (tempo, swing, block boundaries, the host's bar), ties,
// the pattern text, and that no note is ever left sounding.
#include "SeqTestEngine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

using namespace SeqTest;

namespace {

// A pattern text: every step value 60 with the given level byte, header
// bytes 1 and 17.
std::string pattern(unsigned char levelByte = 101, int chars = StepDataChars)
{
    std::string t(static_cast<size_t>(chars), '=');
    t[0] = 1;
    t[1] = 17;
    for (int k = 3; k < chars; k += 2)
        t[static_cast<size_t>(k)] = static_cast<char>(levelByte);
    return t;
}

void setLevel(std::string& t, int step, unsigned char levelByte)
{
    t[static_cast<size_t>(3 + 2 * step)] = static_cast<char>(levelByte);
}

constexpr int StepAt48k = 6000; // "1/16 " at 120 BPM: 0.125 s

} // namespace

TEST(StepSeqWalk, EachModeWalksTheHeldKeysThroughTheOctaves)
{
    struct Case
    {
        int mode;
        int octaves;
        std::vector<int> keys; // in the order played
        std::vector<int> notes;
    };
    const std::vector<int> c = {60, 64, 67};
    const std::vector<int> played = {64, 60, 67};
    const Case cases[] = {
        {StepSeq_c::mUp, 1, c, {60, 64, 67, 60, 64, 67, 60, 64, 67, 60, 64, 67}},
        {StepSeq_c::mUp, 2, c, {60, 64, 67, 72, 76, 79, 60, 64, 67, 72, 76, 79}},
        {StepSeq_c::mUp, 3, c, {60, 64, 67, 72, 76, 79, 84, 88, 91, 60, 64, 67}},
        // The walk starts on the first key; "Down" then wraps to the top.
        {StepSeq_c::mDown, 1, c, {60, 67, 64, 60, 67, 64, 60, 67, 64, 60, 67, 64}},
        {StepSeq_c::mDown, 2, c, {72, 67, 64, 60, 79, 76, 72, 67, 64, 60, 79, 76}},
        {StepSeq_c::mDown, 3, c, {84, 79, 76, 72, 67, 64, 60, 91, 88, 84, 79, 76}},
        {StepSeq_c::mUpDown, 1, c, {60, 64, 67, 64, 60, 64, 67, 64, 60, 64, 67, 64}},
        {StepSeq_c::mUpDown, 2, c, {60, 64, 67, 72, 76, 79, 76, 72, 67, 64, 60, 64}},
        {StepSeq_c::mUpDown, 3, c, {60, 64, 67, 72, 76, 79, 84, 88, 91, 88, 84, 79}},
        {StepSeq_c::mUpDownPlus, 1, c, {60, 64, 67, 67, 64, 60, 60, 64, 67, 67, 64, 60}},
        {StepSeq_c::mUpDownPlus, 2, c, {60, 64, 67, 72, 76, 79, 79, 76, 72, 67, 64, 60}},
        {StepSeq_c::mUpDownPlus, 3, c, {60, 64, 67, 72, 76, 79, 84, 88, 91, 91, 88, 84}},
        {StepSeq_c::mDownUp, 1, c, {60, 64, 67, 64, 60, 64, 67, 64, 60, 64, 67, 64}},
        {StepSeq_c::mDownUp, 2, c, {72, 67, 64, 60, 64, 67, 72, 76, 79, 76, 72, 67}},
        {StepSeq_c::mDownUp, 3, c, {84, 79, 76, 72, 67, 64, 60, 64, 67, 72, 76, 79}},
        {StepSeq_c::mDownUpPlus, 1, c, {60, 60, 64, 67, 67, 64, 60, 60, 64, 67, 67, 64}},
        {StepSeq_c::mDownUpPlus, 2, c, {72, 67, 64, 60, 60, 64, 67, 72, 76, 79, 79, 76}},
        {StepSeq_c::mDownUpPlus, 3, c, {84, 79, 76, 72, 67, 64, 60, 60, 64, 67, 72, 76}},
        {StepSeq_c::mAsPlayed, 1, played, {64, 60, 67, 64, 60, 67, 64, 60, 67, 64, 60, 67}},
        {StepSeq_c::mAsPlayed, 2, played, {64, 60, 67, 76, 72, 79, 64, 60, 67, 76, 72, 79}},
        {StepSeq_c::mAsPlayed, 3, played, {64, 60, 67, 76, 72, 79, 88, 84, 91, 64, 60, 67}},
        // "Chord": every held key at each step, one octave further each step.
        {StepSeq_c::mChord, 1, c, {60, 64, 67, 60, 64, 67, 60, 64, 67, 60, 64, 67}},
        {StepSeq_c::mChord, 2, c, {60, 64, 67, 72, 76, 79, 60, 64, 67, 72, 76, 79}},
        {StepSeq_c::mChord, 3, c, {60, 64, 67, 72, 76, 79, 84, 88, 91, 60, 64, 67}},
        // One key: only the octave walks, the "+" modes play each end twice.
        {StepSeq_c::mUpDown, 3, {60}, {60, 72, 84, 72, 60, 72, 84, 72, 60, 72, 84, 72}},
        {StepSeq_c::mUpDownPlus, 3, {60}, {60, 72, 84, 84, 72, 60, 60, 72, 84, 84, 72, 60}},
    };
    for (const Case& k : cases) {
        SeqEngine e;
        e.set(StepSeq_c::pOctaves, k.octaves);
        e.set(StepSeq_c::pOpMode, k.mode);
        for (int note : k.keys)
            e.key(note);
        e.run(StepAt48k * 12 - 100);
        std::vector<int> got = e.onNotes();
        if (got.size() > k.notes.size())
            got.resize(k.notes.size());
        EXPECT_EQ(got, k.notes) << "mode " << k.mode << ", " << k.octaves << " octaves";
    }
}

TEST(StepSeqWalk, RandomDrawsHeldNotesFromItsOwnGenerator)
{
    auto walk = [](bool disturb) {
        SeqEngine e;
        e.set(StepSeq_c::pOctaves, 2);
        e.set(StepSeq_c::pOpMode, StepSeq_c::mRandom);
        for (int note : {60, 64, 67})
            e.key(note);
        for (int i = 0; i < 120; ++i) {
            // The process-wide generator is no part of the walk.
            if (disturb)
                std::srand(static_cast<unsigned>(i));
            e.run(StepAt48k, 500);
        }
        return e.onNotes();
    };
    const std::vector<int> notes = walk(false);
    ASSERT_GE(notes.size(), 100u);
    const std::set<int> allowed = {60, 64, 67, 72, 76, 79};
    std::set<int> seen;
    for (int n : notes) {
        EXPECT_TRUE(allowed.count(n)) << n;
        seen.insert(n);
    }
    EXPECT_EQ(seen, allowed) << "every held note in every octave comes up";
    EXPECT_EQ(walk(true), notes);
}

TEST(StepSeqTiming, StepsLastOneNoteValueWithSwingAtEveryRate)
{
    struct Case
    {
        float rate;
        int swing;
        double even, odd; // seconds
    };
    const Case cases[] = {
        {44100.0f, 0, 0.125, 0.125},     {48000.0f, 0, 0.125, 0.125},     {96000.0f, 0, 0.125, 0.125},
        {44100.0f, 100, 0.1875, 0.0625}, {48000.0f, 100, 0.1875, 0.0625}, {96000.0f, 100, 0.1875, 0.0625},
        {48000.0f, 50, 0.15625, 0.09375},
    };
    for (const Case& c : cases) {
        for (int block : {64, 333}) {
            SeqEngine e(c.rate);
            e.set(StepSeq_c::pSwing, c.swing);
            e.set(StepSeq_c::pOpMode, StepSeq_c::mUp);
            e.key(60, 100, 17);
            e.run(static_cast<long>(c.rate * 2.1), block);
            const auto ons = e.ons();
            ASSERT_GE(ons.size(), 16u);
            // Step k starts where the exact times put it, to within the
            // rounding of one sample: no drift over the pattern.
            double expected = 17.0;
            for (size_t k = 0; k < 16; ++k) {
                EXPECT_NEAR(static_cast<double>(ons[k].frame), expected, 1.0)
                    << c.rate << " Hz, swing " << c.swing << ", block " << block << ", step " << k;
                expected += (k % 2 == 0 ? c.even : c.odd) * c.rate;
            }
        }
    }
}

TEST(StepSeqTiming, TheGateIsTheNoteLengthOfTheStep)
{
    const int cases[] = {1, 25, 50, 100};
    for (int noteLength : cases) {
        SeqEngine e;
        e.set(StepSeq_c::pNoteLength, noteLength);
        e.set(StepSeq_c::pOpMode, StepSeq_c::mUp);
        e.key(60);
        e.run(StepAt48k + 10);
        ASSERT_GE(e.events.size(), 2u);
        EXPECT_TRUE(e.events[0].on);
        EXPECT_FALSE(e.events[1].on);
        EXPECT_EQ(e.events[1].frame - e.events[0].frame, StepAt48k * noteLength / 100) << noteLength;
    }
}

TEST(StepSeqTiming, AStepStartedAfterATempoChangeTakesTheNewTempo)
{
    SeqEngine e;
    e.set(StepSeq_c::pOpMode, StepSeq_c::mUp);
    e.key(60);
    e.run(StepAt48k * 2 - 1000, 100);
    setTempo(60.0); // during step 1: step 2 and later last twice as long
    e.run(StepAt48k * 6, 100);
    const auto ons = e.ons();
    ASSERT_GE(ons.size(), 4u);
    EXPECT_EQ(ons[1].frame - ons[0].frame, StepAt48k);
    EXPECT_EQ(ons[2].frame - ons[1].frame, StepAt48k);
    EXPECT_EQ(ons[3].frame - ons[2].frame, 2 * StepAt48k);
}

TEST(StepSeqTiming, TheFirstKeyAlignsThePatternToTheHostsBar)
{
    struct Case
    {
        const char* what;
        bool playing;
        int barPosition;
        long secondStep; // frames after the key
    };
    const Case cases[] = {
        {"early in a step: the first step is shortened to the grid", true, 1000, StepAt48k - 1000},
        {"late in a step: the first step runs on to the next grid line", true, 5000, 2 * StepAt48k - 5000},
        {"on the grid: nothing moves", true, 12000, StepAt48k},
        {"transport stopped: no alignment", false, 1000, StepAt48k},
    };
    for (const Case& c : cases) {
        SeqEngine e;
        e.ins.playing = c.playing;
        e.ins.barPosition = c.barPosition;
        e.set(StepSeq_c::pOpMode, StepSeq_c::mUp);
        e.key(60);
        e.run(StepAt48k * 3);
        const auto ons = e.ons();
        ASSERT_GE(ons.size(), 2u) << c.what;
        EXPECT_EQ(ons[1].frame - ons[0].frame, c.secondStep) << c.what;
    }
}

TEST(StepSeqSteps, LevelsSetVelocityRestsAndTies)
{
    SeqEngine e;
    std::string t = pattern(101);
    setLevel(t, 1, 1);   // step 1: a rest
    setLevel(t, 2, 41);  // step 2: level 40
    setLevel(t, 3, 129); // step 3: a tie into it
    e.setText(t);
    e.set(StepSeq_c::pPlayedVeloc, 0);
    e.set(StepSeq_c::pOpMode, StepSeq_c::mUp);
    e.key(60);
    e.key(64);
    e.run(StepAt48k * 4 - 100, 100);
    ASSERT_EQ(e.events.size(), 4u);
    // Step 0 plays 60 at level 100 and ends after its gate; step 1 rests;
    // step 2 plays 64 at level 40, which sounds on through the tie of step 3
    // to the end of step 3's gate.
    EXPECT_TRUE(e.events[0].on);
    EXPECT_EQ(e.events[0].note, 60);
    EXPECT_EQ(e.events[0].velocity, 100);
    EXPECT_FALSE(e.events[1].on);
    EXPECT_EQ(e.events[1].frame, StepAt48k / 2);
    EXPECT_TRUE(e.events[2].on);
    EXPECT_EQ(e.events[2].note, 64);
    EXPECT_EQ(e.events[2].velocity, 40);
    EXPECT_EQ(e.events[2].frame, 2 * StepAt48k);
    EXPECT_FALSE(e.events[3].on);
    EXPECT_EQ(e.events[3].note, 64);
    EXPECT_EQ(e.events[3].frame, 3 * StepAt48k + StepAt48k / 2);
    // The modulation value is the level of the last step that was not a tie.
    EXPECT_FLOAT_EQ(e.ins.getSlotFloat(0), 40.0f * 0.007874016f);
}

TEST(StepSeqSteps, PlayedVelocityMixesTheKeysVelocityIn)
{
    const int cases[][3] = {{0, 20, 100}, {100, 20, 20}, {50, 20, 60}, {100, 127, 127}};
    for (const auto& c : cases) {
        SeqEngine e;
        e.set(StepSeq_c::pPlayedVeloc, c[0]);
        e.set(StepSeq_c::pOpMode, StepSeq_c::mUp);
        e.key(60, c[1]);
        e.run(1000);
        ASSERT_FALSE(e.events.empty());
        EXPECT_EQ(e.events[0].velocity, c[2]) << c[0] << "% of velocity " << c[1];
    }
}

TEST(StepSeqPattern, OnlyATextOfTheRightLengthChangesTheSteps)
{
    SeqEngine e;
    StepSeq_c& s = e.seq();
    std::string t = pattern(101);
    t[2] = static_cast<char>(0x80);           // value byte 128: value 127
    setLevel(t, 0, 129);                        // a tie, read unsigned
    setLevel(t, 1, 200);                        // above a tie: clamped to it
    setLevel(t, 2, 255);
    e.setText(t);
    EXPECT_EQ(s.getStepValue(0), 127);
    EXPECT_EQ(s.getStepLevel(0), StepSeq_c::TieLevel);
    EXPECT_EQ(s.getStepLevel(1), StepSeq_c::TieLevel);
    EXPECT_EQ(s.getStepLevel(2), StepSeq_c::TieLevel);
    EXPECT_EQ(s.getStepLevel(3), 100);
    for (int chars : {StepDataChars - 1, StepDataChars + 1, 2, 0}) {
        e.setText(pattern(11, chars));
        EXPECT_EQ(s.getStepLevel(0), StepSeq_c::TieLevel) << chars << " characters";
        EXPECT_EQ(s.getStepLevel(3), 100) << chars << " characters";
    }
}

TEST(StepSeqPattern, TheTextShowsTheStepAndTheLength)
{
    SeqEngine e;
    e.set(StepSeq_c::pLength, 8);
    e.set(StepSeq_c::pOpMode, StepSeq_c::mUp);
    e.key(60);
    e.run(StepAt48k * 10 + 10);
    char text[ParaTextBufferBytes];
    e.seq().getParaCharPtr(0, StepSeq_c::pStepData, text);
    ASSERT_EQ(std::string(text).size(), static_cast<size_t>(StepDataChars));
    EXPECT_EQ(text[0], 3) << "step 10 of 8 is step 2";
    EXPECT_EQ(text[1], 9);
    EXPECT_EQ(e.seq().getStep(), 2);
}

TEST(StepSeqPattern, ResetKeepsTheModeAndModOnlyGetsAFlatPattern)
{
    SeqEngine e;
    e.set(StepSeq_c::pSwing, 40);
    e.set(StepSeq_c::pOpMode, StepSeq_c::mModOnly);
    e.seq().resetPara(0, 1);
    EXPECT_EQ(e.seq().getParaVal(0, StepSeq_c::pOpMode), StepSeq_c::mModOnly);
    EXPECT_EQ(e.seq().getParaVal(0, StepSeq_c::pSwing), 0);
    EXPECT_EQ(e.seq().getStepLevel(5), 60);
    // The default text is now level 100 everywhere.
    e.set(StepSeq_c::pOpMode, StepSeq_c::mUp);
    e.seq().resetPara(0, 1);
    EXPECT_EQ(e.seq().getStepLevel(5), 100);
}

TEST(StepSeqNotes, AThirtyThirdHeldNoteIsNotAdded)
{
    SeqEngine e;
    e.set(StepSeq_c::pOpMode, StepSeq_c::mUp);
    for (int n = 0; n < 33; ++n)
        e.key(40 + n);
    e.run(256);
    EXPECT_EQ(e.seq().getHeldCount(), StepSeqHeldNotes);
    e.run(StepAt48k * 40);
    for (int n : e.onNotes())
        EXPECT_NE(n, 72) << "the 33rd key never plays";
}

TEST(StepSeqNotes, NoNoteIsLeftSounding)
{
    struct Case
    {
        const char* what;
        int mode;
        int tieStep;   // -1: none
        bool allOff;   // CC 123 instead of releasing the keys
    };
    const Case cases[] = {
        {"keys released", StepSeq_c::mUp, -1, false},
        {"keys released before a tie", StepSeq_c::mUp, 1, false},
        {"all notes off", StepSeq_c::mUp, -1, true},
        {"all notes off during a tie", StepSeq_c::mUp, 1, true},
        {"chord released", StepSeq_c::mChord, -1, false},
        {"chord released before a tie", StepSeq_c::mChord, 1, false},
        {"chord and all notes off", StepSeq_c::mChord, 1, true},
    };
    for (const Case& c : cases) {
        SeqEngine e;
        std::string t = pattern(101);
        if (c.tieStep >= 0)
            setLevel(t, c.tieStep, 129);
        e.setText(t);
        e.set(StepSeq_c::pOpMode, c.mode);
        for (int n : {60, 64, 67})
            e.key(n);
        e.run(StepAt48k / 4); // inside step 0's gate
        if (c.allOff)
            e.midi(0, 0xB0, 123, 0);
        else
            for (int n : {60, 64, 67})
                e.release(n);
        e.run(StepAt48k * 4);
        EXPECT_TRUE(e.hanging().empty()) << c.what << ": " << e.hanging().size() << " left";
        EXPECT_FALSE(e.seq().isRunning()) << c.what;
        EXPECT_FALSE(e.ins.keepProcessing) << c.what;
    }
}

TEST(StepSeqNotes, AGrowingChordIsBoundedAndAllOfItEnds)
{
    SeqEngine e;
    // Every step after the first ties into the next: the chord never ends
    // by itself while keys come and go.
    std::string t = pattern(129);
    setLevel(t, 0, 101);
    e.setText(t);
    e.set(StepSeq_c::pOpMode, StepSeq_c::mChord);
    for (int n = 0; n < StepSeqHeldNotes; ++n)
        e.key(40 + n);
    e.run(StepAt48k / 8);
    for (int round = 0; round < 3; ++round) {
        for (int n = 0; n < StepSeqHeldNotes; ++n)
            e.release(40 + n);
        for (int n = 0; n < StepSeqHeldNotes; ++n)
            e.key(40 + n);
        e.run(StepAt48k / 8);
    }
    EXPECT_EQ(e.seq().getSoundingCount(), StepSeqSoundingNotes);
    EXPECT_LE(e.ons().size(), static_cast<size_t>(StepSeqSoundingNotes));
    e.midi(0, 0xB0, 123, 0);
    e.run(256);
    EXPECT_TRUE(e.hanging().empty()) << e.hanging().size() << " left";
}

TEST(StepSeqNotes, OffPassesKeysStraightThrough)
{
    SeqEngine e;
    e.key(60, 90, 10);
    e.release(60, 20);
    e.run(256);
    ASSERT_EQ(e.events.size(), 2u);
    EXPECT_EQ(e.events[0].frame, 10);
    EXPECT_EQ(e.events[1].frame, 20);
    EXPECT_FALSE(e.seq().isRunning());
}

TEST(StepSeqNotes, SwitchingToOffWhileAStepSoundsEndsItsNotes)
{
    SeqEngine e;
    e.set(StepSeq_c::pOpMode, StepSeq_c::mUp);
    e.key(60);
    e.run(1000);
    ASSERT_EQ(e.hanging().size(), 1u);
    e.takeAudioCommands();
    e.set(StepSeq_c::pOpMode, StepSeq_c::mOff); // the user-interface side
    EXPECT_EQ(e.takeAudioCommands(), std::vector<std::string>{"S 0"}) << "the instrument's notes end too";
    e.run(256);                                 // the audio thread takes the reset
    EXPECT_TRUE(e.hanging().empty());
    EXPECT_FALSE(e.seq().isRunning());
    EXPECT_EQ(e.seq().getHeldCount(), 0);
}

TEST(StepSeqNotes, AllSequencersPublishTheirLevels)
{
    SeqEngine e;
    std::string t = pattern(31); // level 30
    e.setText(t, 2);
    e.set(StepSeq_c::pOpMode, StepSeq_c::mModOnly, 2);
    e.set(StepSeq_c::pOpMode, StepSeq_c::mUp);
    e.key(60);
    e.run(500);
    EXPECT_FLOAT_EQ(e.ins.getSlotFloat(0), 100.0f * 0.007874016f);
    EXPECT_FLOAT_EQ(e.ins.getSlotFloat(2), 30.0f * 0.007874016f);
    EXPECT_EQ(e.onNotes().size(), 1u) << "only sequencer 0 plays";
}

TEST(StepSeqSync, NoSampleRateGivesNoLengthAndNoFault)
{
    StepSeq_c s;
    s.offerSync(12345);
    EXPECT_EQ(s.noteValueSamples(13), 0.0);
    EXPECT_EQ(s.getSync(false, 26), 0.0f);
    SeqEngine e(0.0f);
    e.set(StepSeq_c::pOpMode, StepSeq_c::mUp);
    e.ins.playing = true;
    e.ins.barPosition = 777;
    e.key(60);
    e.run(2048);
    EXPECT_EQ(e.ins.getStepSeqSync(false, 26), 0.0f);
}

TEST(StepSeqSync, AnotherInstrumentReadsThePositionInTheNoteValue)
{
    SeqEngine e;
    e.set(StepSeq_c::pOpMode, StepSeq_c::mUp);
    e.key(60);
    e.run(2500, 500);
    // 2500 samples into step 0; "1/32 " (code 16) lasts 3000 samples.
    EXPECT_FLOAT_EQ(e.ins.getStepSeqSync(false, 16), -2500.0f);
    EXPECT_FLOAT_EQ(e.ins.getStepSeqSync(true, 16), -2000.0f);
    EXPECT_FLOAT_EQ(e.ins.getStepSeqSync(false, 18), -1000.0f); // " 1/64": 1500 samples
    EXPECT_EQ(e.ins.getStepSeqSync(false, 12), 0.0f) << "a coarser value than the sequencer's";
}

TEST(StepSeqStair, TheStairClimbsAndTurnsAtBothEnds)
{
    SeqEngine e;
    e.ins.setStairGenSteps(5);
    std::vector<float> got = {e.ins.getStairValue()};
    for (int i = 0; i < 8; ++i) {
        e.ins.next16th();
        got.push_back(e.ins.getStairValue());
    }
    const std::vector<float> expected = {-0.5f, 0.0f, 0.5f, 1.0f, 0.5f, 0.0f, -0.5f, -1.0f, -0.5f};
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_NEAR(got[i], expected[i], 1e-6) << i;
}

TEST(StepSeqNotes, ThePedalKeepsReleasedKeysInTheArpeggio)
{
    SeqEngine e;
    e.set(StepSeq_c::pOpMode, StepSeq_c::mUp);
    e.midi(0, 0xB0, 64, 127);
    e.key(60);
    e.key(64);
    e.release(60, 10);
    e.release(64, 10);
    e.run(StepAt48k * 3 - 100, 100);
    EXPECT_EQ(e.onNotes(), (std::vector<int>{60, 64, 60}));
    EXPECT_EQ(e.seq().getHeldCount(), 2);
    e.midi(0, 0xB0, 64, 0);
    e.run(StepAt48k * 3);
    EXPECT_EQ(e.seq().getHeldCount(), 0);
    EXPECT_FALSE(e.seq().isRunning());
    EXPECT_TRUE(e.hanging().empty());
}

TEST(StepSeqNotes, SwitchingMidiReceptionOffStopsEverySequencer)
{
    SeqEngine e;
    e.set(StepSeq_c::pOpMode, StepSeq_c::mUp);
    e.set(StepSeq_c::pOpMode, StepSeq_c::mModOnly, 1);
    e.key(60);
    e.run(StepAt48k * 2 + 100, 100);
    ASSERT_TRUE(e.seq(0).isRunning());
    ASSERT_TRUE(e.seq(1).isRunning());
    e.ins.ReceiveMIDI(false); // a thread other than the audio thread
    e.run(256);
    EXPECT_FALSE(e.seq(0).isRunning());
    EXPECT_FALSE(e.seq(1).isRunning());
    EXPECT_EQ(e.seq(0).getStep(), 0);
    EXPECT_EQ(e.seq(0).getHeldCount(), 0);
}

TEST(StepSeqNotes, TheRestartSwitchDecidesWhereANewFirstKeyStarts)
{
    for (bool restartOn : {true, false}) {
        SeqEngine e;
        e.set(StepSeq_c::pRestart, restartOn ? 1 : 0);
        e.set(StepSeq_c::pOpMode, StepSeq_c::mUp);
        e.key(60);
        e.release(60, StepAt48k * 2 + 10 - 0);
        e.run(StepAt48k * 5, StepAt48k * 5); // one block: the release is queued in it
        ASSERT_FALSE(e.seq().isRunning());
        const int stoppedAt = e.seq().getStep();
        e.key(62);
        e.run(100);
        EXPECT_EQ(e.seq().getStep(), restartOn ? 0 : stoppedAt) << (restartOn ? "restart" : "no restart");
    }
}

TEST(StepSeqNotes, ModOnlyPlaysKeysAndKeepsThemUntilTheirVoicesEnd)
{
    SeqEngine e;
    e.set(StepSeq_c::pOpMode, StepSeq_c::mModOnly);
    e.key(60, 90, 5);
    e.release(60, 50);
    e.run(256);
    ASSERT_EQ(e.events.size(), 2u);
    EXPECT_TRUE(e.events[0].on);
    EXPECT_EQ(e.events[0].frame, 5);
    EXPECT_FALSE(e.events[1].on);
    EXPECT_EQ(e.events[1].frame, 50);
    EXPECT_EQ(e.seq().getHeldCount(), 1) << "the voice still sounds its release";
    EXPECT_TRUE(e.seq().isRunning());
    e.ins.noteVanishes(0, 60);
    EXPECT_EQ(e.seq().getHeldCount(), 0);
    e.run(StepAt48k * 2);
    EXPECT_FALSE(e.seq().isRunning());
    EXPECT_EQ(e.events.size(), 2u) << "the steps start no notes";
}
