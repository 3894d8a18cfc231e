// The instrument's sense of time: the sixteenth-note clock that cuts the
// block and calls next16th() at each boundary, the four tempo-synced phases
// and their re-alignment to the host's bar at note-on, and the modulation
// delay that holds voices' control-rate values back.
#include "EngineTestHost.h"
#include "InstrumentTestSynth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace InstrumentTest;

namespace {

// Counts boundaries by absolute frame, and answers a bar position the test sets.
struct ClockInstrument : ProbeInstrument
{
    ClockInstrument() { keepProcessing = true; }
    void next16th() override { boundaries.push_back(frame + position); }
    bool getPosInBar(int* bar, int* pos) override
    {
        if (!playing)
            return false;
        *bar = barLength;
        *pos = barPosition;
        return true;
    }
    // Blocks of `block` frames until `frames` more have passed.
    void run(int frames, int block)
    {
        for (int done = 0; done < frames; done += block) {
            processAll(block);
            frame += block;
        }
    }
    std::vector<long> boundaries;
    long frame = 0;
    bool playing = true;
    int barLength = 88200;
    int barPosition = 0;
};

void setTempo(double bpm)
{
    Bpm = bpm;
    RecBpm = 1.0 / bpm;
}

struct InstrumentClock : testing::Test
{
    RecordingSynth synth;
    ClockInstrument ins;
    InstrumentClock()
    {
        setTempo(120.0);
        ins.create(&synth, 0, 4, false);
        ins.setSampleRate(44100.0f);
    }
    ~InstrumentClock() override { setTempo(120.0); }
};

} // namespace

TEST_F(InstrumentClock, ThirteenFramesToTheBoundaryThenTheHook)
{
    EXPECT_DOUBLE_EQ(ins.getSamplesPer16th(), 5512.5);
    ins.counter16th = 5500.0;
    EXPECT_EQ(ins.checkFor16th(600), 13);
    EXPECT_TRUE(ins.boundaries.empty());
    EXPECT_EQ(ins.checkFor16th(587), 587) << "the rest of the block in one stretch";
    EXPECT_EQ(ins.boundaries.size(), 1u) << "the hook runs at the start of the next stretch";
    EXPECT_DOUBLE_EQ(ins.counter16th, 0.5 + 587);
}

TEST_F(InstrumentClock, BoundariesFollowTheStepAcrossBlocks)
{
    ins.run(44100, 512);
    // The counter starts 2 frames in; each stretch ends just past a boundary
    // and the hook runs at the start of the next: 5512.5 frames apart.
    const std::vector<long> expected = {5511, 11024, 16536, 22049, 27561, 33074, 38586, 44099};
    EXPECT_EQ(ins.boundaries, expected);
}

TEST_F(InstrumentClock, ResolutionIsClampedAndScalesTheStep)
{
    struct Case { double r, stored; };
    const Case cases[] = {{0.05, 0.0833}, {20.0, 16.01}, {1.0, 1.0}, {4.0, 4.0}, {NAN, 4.0}};
    for (const Case& c : cases) {
        ins.setResolution16th(c.r);
        EXPECT_DOUBLE_EQ(ins.getResolution16th(), c.stored) << c.r;
        EXPECT_DOUBLE_EQ(ins.getSamplesPer16th(), 5512.5 * c.stored) << c.r;
    }
}

TEST_F(InstrumentClock, ATempoJumpFiresTheClockOnceNotABurst)
{
    setTempo(60.0);
    ins.notifyBPMChange();
    ASSERT_DOUBLE_EQ(ins.getSamplesPer16th(), 11025.0);
    ins.run(11025 * 2 + 8000, 500); // two boundaries, then mid-step
    ASSERT_EQ(ins.boundaries.size(), 2u);
    const long jumpAt = ins.frame;
    setTempo(240.0); // the step shrinks to 2756.25 frames
    ins.notifyBPMChange();
    ins.run(3000, 500);
    std::vector<long> after;
    for (long b : ins.boundaries)
        if (b >= jumpAt)
            after.push_back(b - jumpAt);
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(after[0], 0) << "the boundary that passed fires at once";
    ASSERT_EQ(after.size(), 2u) << "once, and the next a step later at most";
    EXPECT_LE(after[1] - after[0], 2757);
    ins.run(11025, 500);
    for (size_t i = 4; i < ins.boundaries.size(); ++i)
        EXPECT_NEAR(ins.boundaries[i] - ins.boundaries[i - 1], 2756.25, 1.0) << i;
}

TEST_F(InstrumentClock, OfferSyncAlignsTheCounterToAPosition)
{
    struct Case { int position; double counter; };
    const Case cases[] = {{0, 2.0}, {5510, 5512.0}, {5513, 2.5}, {11025 + 100, 102.0}, {-10, 5504.5}};
    for (const Case& c : cases) {
        ins.offerSync(c.position);
        EXPECT_NEAR(ins.counter16th, c.counter, 1e-9) << c.position;
    }
}

TEST_F(InstrumentClock, PhasesRunWithTheRenderedFrames)
{
    ins.setSyncStepUp(0, 0.001);
    ins.setSyncStepUp(1, 0.0);
    ins.setSyncStepUp(7, 0.5); // no such phase
    ins.setSyncPhase(0, 0.2);
    ins.setSyncPhase(1, 0.3);
    ins.renderSyncPhase(1500);
    EXPECT_NEAR(ins.getSyncPhase(0), 0.7, 1e-12);
    EXPECT_DOUBLE_EQ(ins.getSyncPhase(1), 0.3);
    ins.renderSyncPhase(800); // 1.5 wraps to 0.5
    EXPECT_NEAR(ins.getSyncPhase(0), 0.5, 1e-12);
    // An idle instrument still advances its phases, block by block.
    ins.keepProcessing = false;
    ins.activeFlag = true;
    ins.processAll(100);
    EXPECT_NEAR(ins.getSyncPhase(0), 0.6, 1e-12);
    ins.resume();
    EXPECT_EQ(ins.getSyncPhase(0), 0.0) << "resume clears the phases";
}

TEST_F(InstrumentClock, NoteOnAlignsThePhasesToTheBar)
{
    struct Case
    {
        const char* what;
        bool playing;
        int bar, position;
        double rate, phaseBefore, phaseAfter;
        bool enabled;
    };
    const double twoPerBar = 2.0 / 88200.0;
    const Case cases[] = {
        {"two cycles per bar: the bar position decides", true, 88200, 22050, twoPerBar, 0.9, 0.5, true},
        {"the same from any phase", true, 88200, 66150, twoPerBar, 0.1, 0.5, true},
        {"transport stopped: the phase runs freely", false, 88200, 22050, twoPerBar, 0.9, 0.9, true},
        {"a phase not enabled is left alone", true, 88200, 22050, twoPerBar, 0.9, 0.9, false},
        {"a phase without a rate is left alone", true, 88200, 22050, 0.0, 0.9, 0.9, true},
        {"a bar of no length: nothing to align to", true, 0, 22050, twoPerBar, 0.9, 0.9, true},
        // 1.5 cycles per bar: the phase may have run a whole bar more or less
        // than the position says; the closest alignment wins.
        {"half a cycle of drift per bar", true, 88200, 0, 1.5 / 88200.0, 0.45, 0.5, true},
        {"and from the other side", true, 88200, 0, 1.5 / 88200.0, 0.1, 0.0, true},
        // A fraction of a cycle per bar: whole bars toward the phase.
        {"a slow phase moves by whole bars", true, 88200, 22050, 0.004 / 88200.0, 0.5, 0.501, true},
    };
    for (const Case& c : cases) {
        ins.playing = c.playing;
        ins.barLength = c.bar;
        ins.barPosition = c.position;
        ins.setSyncEnable(2, c.enabled);
        ins.setSyncStepUp(2, c.rate);
        ins.setSyncPhase(2, c.phaseBefore);
        ins.key(60, 100);
        EXPECT_NEAR(ins.getSyncPhase(2), c.phaseAfter, 1e-9) << c.what;
    }
}

TEST_F(InstrumentClock, TheBarPositionCountsTheFramesRenderedInTheBlock)
{
    EngineTestHost host;
    RecordingSynth engine(1, &EngineTestHost::callback);
    engine.setSampleRate(44100.0f);
    host.time.tempo = 120.0;
    host.time.ppqPos = 1.0;
    host.time.timeSigNumerator = 4;
    host.time.timeSigDenominator = 4;
    host.time.flags = kVstTempoValid | kVstPpqPosValid | kVstTimeSigValid | kVstTransportPlaying;
    host.giveTime = true;
    ProbeInstrument& instrument = engine.ins(0);
    int bar = 0, pos = 0;
    ASSERT_TRUE(instrument.getPosInBar(&bar, &pos));
    EXPECT_EQ(bar, 88200);
    EXPECT_EQ(pos, 22050);
    instrument.position = 100;
    ASSERT_TRUE(instrument.getPosInBar(&bar, &pos));
    EXPECT_EQ(pos, 22150);
    host.time.flags &= ~kVstTransportPlaying;
    EXPECT_FALSE(instrument.getPosInBar(&bar, &pos));
}

TEST_F(InstrumentClock, TheModulationDelayHoldsValuesBackByItsSteps)
{
    EXPECT_FALSE(ins.defineModDelay(-1)) << "a negative delay is refused";
    EXPECT_FALSE(ins.defineModDelay(ModDelayMaxSteps + 1));
    EXPECT_EQ(ins.getModSamplesDelayed(0), nullptr) << "no delay, no rings";
    ASSERT_TRUE(ins.defineModDelay(4));
    EXPECT_EQ(ins.getModDelay(), 4);
    // Each piece of 64 frames (8 control steps) writes step values that
    // count on from piece to piece; voice 3 gets its own series.
    float next = 1.0f;
    std::vector<float> written;
    for (int piece = 0; piece < 6; ++piece) {
        float* row = ins.getModSampleRow(3);
        for (int k = 0; k < 8; ++k)
            row[k] = next + k;
        ins.delayModValues(64);
        for (int k = 0; k < 8; ++k)
            written.push_back(next + k);
        next += 8;
        const float* delayed = ins.getModSamplesDelayed(3);
        ASSERT_NE(delayed, nullptr);
        // The reader starts D steps before this piece's first value.
        const int first = piece * 8 - 4;
        for (int k = 0; k < ModDelayRowValues; ++k) {
            const int at = first + k;
            const float expected = at >= 0 && at < static_cast<int>(written.size()) ? written[at] : 0.0f;
            if (at < static_cast<int>(written.size())) {
                EXPECT_EQ(delayed[k], expected) << piece << " " << k;
            }
        }
        EXPECT_EQ(ins.getModSamplesDelayed(0)[0], 0.0f) << "another voice's ring is its own";
    }
    ASSERT_TRUE(ins.defineModDelay(0));
    EXPECT_EQ(ins.getModSamplesDelayed(3), nullptr);
}

TEST_F(InstrumentClock, StepsWrittenAheadAreNotWrittenTwice)
{
    ASSERT_TRUE(ins.defineModDelay(2));
    float* row = ins.getModSampleRow(0);
    auto piece = [&](int frames, float base) {
        for (int k = 0; k < ModDelayRowValues; ++k)
            row[k] = base + k;
        ins.delayModValues(frames);
    };
    // Pieces of 60 and 68 frames write 8 and 9 steps, 72 frames ahead of
    // 128: a whole step, so the next piece skips its first value.
    piece(60, 10.0f);
    piece(68, 20.0f);
    piece(64, 30.0f);
    const float* delayed = ins.getModSamplesDelayed(0);
    // Read position: 2 steps before the third piece's first value.
    EXPECT_EQ(delayed[0], 27.0f);
    EXPECT_EQ(delayed[1], 28.0f);
    EXPECT_EQ(delayed[2], 31.0f) << "the third piece's step 0 was written by the second";
}
