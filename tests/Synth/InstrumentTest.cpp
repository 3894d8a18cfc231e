// The MIDI instrument's event queue and its piecewise render: order of
// events, where in the block each is applied, the piece sizes, the queue's
// limit, and what a busy lock does to a block.
#include "EngineTestHost.h"
#include "Instrument.h"
#include "Synth.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

struct PlainSynth : Synth
{
    PlainSynth()
        : Synth(&EngineTestHost::callback, 1, 0, 8, 16, 8, 1024, 1, 4, 0, 1, 0, 0, "Plain", "Plan",
                "1.0", "Plain", true, true) {}
};

// Records what the block does: each applied message with the position it was
// applied at, and each rendered piece.
struct RecordingInstrument : Instrument_c
{
    RecordingInstrument() : Instrument_c(2) { keepProcessing = true; }

    void processMidi(const unsigned char* message, bool) override
    {
        applied.push_back({message[1], position});
    }
    void renderAll(int frames) override
    {
        pieces.push_back(frames);
        Instrument_c::renderAll(frames);
    }

    struct Applied
    {
        int tag;
        int position;
    };
    std::vector<Applied> applied;
    std::vector<int> pieces;
};

void queue(Instrument_c& instrument, int offset, int tag)
{
    const unsigned char message[3] = {0x90, static_cast<unsigned char>(tag), 100};
    instrument.remindEvent(offset, message);
}

struct InstrumentFixture : testing::Test
{
    EngineTestHost host;
    PlainSynth synth;
    RecordingInstrument instrument;
    InstrumentFixture() { instrument.create(&synth, 0, 4, false); }
};

} // namespace

TEST_F(InstrumentFixture, EventsAreAppliedInOffsetOrderAndArrivalOrderAmongEquals)
{
    queue(instrument, 100, 1);
    queue(instrument, 40, 2);
    queue(instrument, 100, 3);
    queue(instrument, 0, 4);
    queue(instrument, 600, 5); // beyond the block: after all of it
    queue(instrument, 40, 6);
    instrument.processAll(300);
    struct Expect { int tag; int position; };
    const Expect expected[] = {{4, 0}, {2, 40}, {6, 40}, {1, 100}, {3, 100}, {5, 300}};
    ASSERT_EQ(instrument.applied.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(instrument.applied[i].tag, expected[i].tag) << i;
        EXPECT_EQ(instrument.applied[i].position, expected[i].position) << i;
    }
    EXPECT_EQ(instrument.getEventCount(), 0);
}

TEST_F(InstrumentFixture, ABlockRendersInPiecesOfAtMostTheWorkingBlock)
{
    instrument.processAll(600);
    EXPECT_EQ(instrument.pieces, (std::vector<int>{256, 256, 88}));
    instrument.pieces.clear();
    queue(instrument, 300, 1);
    instrument.processAll(600);
    EXPECT_EQ(instrument.pieces, (std::vector<int>{256, 44, 256, 44}));
}

TEST_F(InstrumentFixture, TheQueueHoldsAtMostItsCapacity)
{
    for (int i = 0; i < InstrumentEventCapacity + 1; ++i)
        queue(instrument, i % 7, i % 128);
    EXPECT_EQ(instrument.getEventCount(), InstrumentEventCapacity);
    instrument.processAll(64);
    EXPECT_EQ(instrument.applied.size(), size_t(InstrumentEventCapacity));
}

TEST_F(InstrumentFixture, ReceptionOffDiscardsQueuedAndNewEvents)
{
    queue(instrument, 10, 1);
    instrument.ReceiveMIDI(false);
    EXPECT_EQ(instrument.getEventCount(), 0);
    queue(instrument, 10, 2);
    EXPECT_EQ(instrument.getEventCount(), 0);
    instrument.ReceiveMIDI(true);
    queue(instrument, 10, 3);
    instrument.processAll(64);
    ASSERT_EQ(instrument.applied.size(), 1u);
    EXPECT_EQ(instrument.applied[0].tag, 3);
}

TEST_F(InstrumentFixture, ABusyLockNeverMakesTheAudioThreadWait)
{
    struct Case { const char* what; Lock_c RecordingInstrument::*lock; bool anyPiece; };
    const Case cases[] = {
        // The event lock busy: the whole block is skipped, the events stay.
        {"event lock", &RecordingInstrument::eventLock, false},
        // The render lock busy: nothing renders, and the events wait for the
        // next block instead of being applied to voices being rebuilt.
        {"render lock", &RecordingInstrument::renderLock, false},
        // The optional lock busy: rendering goes on without it.
        {"optional lock", &RecordingInstrument::optionalLock, true},
    };
    for (const Case& c : cases) {
        RecordingInstrument inst;
        inst.create(&synth, 0, 4, false);
        queue(inst, 20, 1);
        queue(inst, 50, 2);
        std::atomic<bool> held{false}, release{false};
        std::thread holder([&] {
            (inst.*c.lock).getWritePermission();
            held = true;
            while (!release)
                std::this_thread::yield();
            (inst.*c.lock).releaseWritePermission();
        });
        while (!held)
            std::this_thread::yield();
        inst.processAll(100);
        EXPECT_EQ(!inst.pieces.empty(), c.anyPiece) << c.what;
        const size_t appliedWhileBusy = inst.applied.size();
        release = true;
        holder.join();
        inst.pieces.clear();
        inst.processAll(100);
        EXPECT_FALSE(inst.pieces.empty()) << c.what;
        // Every event is applied exactly once, busy block or not.
        ASSERT_EQ(inst.applied.size(), 2u) << c.what;
        EXPECT_EQ(inst.applied[0].tag, 1) << c.what;
        EXPECT_EQ(inst.applied[1].tag, 2) << c.what;
        if (!c.anyPiece) {
            EXPECT_EQ(appliedWhileBusy, 0u) << c.what;
        }
    }
}

TEST_F(InstrumentFixture, OutputIndexAndCountsFollowTheFigures)
{
    EXPECT_EQ(instrument.getInstrumentIndex(), 0);
    EXPECT_EQ(instrument.getOutputCount(), 2);
    instrument.setOutIdx(4);
    EXPECT_EQ(instrument.getOutIdx(), 4);
    EXPECT_EQ(Instrument_c(0).getOutputCount(), 1);
    EXPECT_EQ(Instrument_c(9).getOutputCount(), 6);
    EXPECT_FLOAT_EQ(instrument.getStepSeqSync(true, 3), 0.0f);
}
