// The MIDI instrument's event queue and its piecewise render: order of
// events, where in the block each is applied, the piece sizes, the queue's
// limit, and what a busy lock does to a block.
#include "EngineTestHost.h"
#include "Instrument.h"
#include "Synth.h"

#include <gtest/gtest.h>

#include "InBuffer2.h"
#include "EngineFigures.h"

#include <atomic>
#include <functional>
#include <numeric>
#include <thread>
#include <vector>

namespace {

struct PlainSynth : Synth
{
    PlainSynth()
        : Synth(&EngineTestHost::callback, EngineTest::smallFigures("Plain", "Plan")) {}
};

// Records what the block does: each applied message with the position it was
// applied at, each rendered piece with the output bus's offset, and each
// sixteenth boundary.
struct RecordingInstrument : Instrument_c
{
    RecordingInstrument() : Instrument_c(2) { keepProcessing = true; }

    void processMidi(const unsigned char* message, bool) override
    {
        applied.push_back({message[1], position, message[0]});
    }
    void renderAll(int frames) override
    {
        pieces.push_back(frames);
        if (bus)
            busOffsets.push_back(bus->getOffset());
        Instrument_c::renderAll(frames);
    }
    void next16th() override
    {
        boundaries.push_back(position);
        if (onBoundary)
            onBoundary();
    }
    InBuffer2_c* getOutBuf(int i) override { return i == 0 ? bus : nullptr; }
    using Instrument_c::counter16th;

    struct Applied
    {
        int tag;
        int position;
        int status;
    };
    std::vector<Applied> applied;
    std::vector<int> pieces;
    std::vector<int> busOffsets;
    std::vector<int> boundaries;
    InBuffer2_c* bus = nullptr;
    std::function<void()> onBoundary;
};

// Holds a lock from another thread until released (or destroyed).
class LockHolder
{
public:
    explicit LockHolder(Lock_c& lock)
        : thread([this, &lock] {
              lock.getWritePermission();
              held = true;
              while (!release)
                  std::this_thread::yield();
              lock.releaseWritePermission();
          })
    {
        while (!held)
            std::this_thread::yield();
    }
    ~LockHolder() { letGo(); }
    void letGo()
    {
        release = true;
        if (thread.joinable())
            thread.join();
    }

private:
    std::atomic<bool> held{false};
    std::atomic<bool> release{false};
    std::thread thread;
};

void queue(Instrument_c& instrument, int offset, int tag, int status = 0x90, int value = 100)
{
    const unsigned char message[3] = {static_cast<unsigned char>(status), static_cast<unsigned char>(tag),
                                      static_cast<unsigned char>(value)};
    instrument.remindEvent(offset, message);
}

void queueOff(Instrument_c& instrument, int offset, int tag)
{
    queue(instrument, offset, tag, 0x80, 0);
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

TEST_F(InstrumentFixture, OffsetsOutsideTheBlockAreAppliedAtItsEdges)
{
    struct Case { int offset; int position; };
    // An offset at or beyond the block is applied at its end, and nothing is
    // ever rendered past the host's buffers.
    const Case cases[] = {{-5, 0}, {0, 0}, {99, 99}, {100, 100}, {5000, 100}, {INT32_MAX, 100}};
    for (const Case& c : cases)
        queue(instrument, c.offset, 1);
    instrument.processAll(100);
    ASSERT_EQ(instrument.applied.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(instrument.applied[i].position, cases[i].position) << cases[i].offset;
    EXPECT_EQ(std::accumulate(instrument.pieces.begin(), instrument.pieces.end(), 0), 100);
}

TEST_F(InstrumentFixture, PiecesAreCutAtEventsAndSixteenthBoundaries)
{
    // 44100 Hz and 120 BPM: a sixteenth is 5512.5 frames.
    Bpm = 120.0;
    RecBpm = 1.0 / 120.0;
    struct Case
    {
        const char* what;
        int counterAt;             // frames since the last boundary (offerSync), -1: fresh
        std::vector<int> events;   // offsets
        std::vector<int> pieces;
        std::vector<int> boundaries;
    };
    const Case cases[] = {
        {"a fresh clock", -1, {}, {256, 256, 88}, {}},
        {"13 frames to a boundary", 5498, {}, {13, 256, 256, 75}, {13}},
        {"a boundary and an event", 5498, {300}, {13, 256, 31, 256, 44}, {13}},
        {"one frame to a boundary", 5510, {}, {1, 256, 256, 87}, {1}},
        {"a boundary passed before the block", 5511, {}, {256, 256, 88}, {0}},
    };
    for (const Case& c : cases) {
        RecordingInstrument inst;
        inst.create(&synth, 0, 4, false);
        inst.setSampleRate(44100.0f);
        ASSERT_DOUBLE_EQ(inst.getSamplesPer16th(), 5512.5);
        if (c.counterAt >= 0)
            inst.offerSync(c.counterAt);
        for (int offset : c.events)
            queue(inst, offset, 1);
        inst.processAll(600);
        EXPECT_EQ(inst.pieces, c.pieces) << c.what;
        EXPECT_EQ(inst.boundaries, c.boundaries) << c.what;
    }
}

TEST_F(InstrumentFixture, TheOutputBusFollowsThePiecesAndRewindsAfterTheBlock)
{
    InBuffer2_c bus;
    ASSERT_TRUE(bus.create("out", 1024, 2, NullBuffer, false, false));
    instrument.bus = &bus;
    queue(instrument, 300, 1);
    instrument.processAll(600);
    EXPECT_EQ(instrument.busOffsets, (std::vector<int>{0, 256, 300, 556}));
    EXPECT_EQ(bus.getOffset(), 0);
}

TEST_F(InstrumentFixture, AFullQueueNeverDropsANoteOff)
{
    struct Case
    {
        const char* what;
        int fillStatus;   // what the queue is full of
        int dropped;      // tag of the event that gives way, -1: none
    };
    const Case cases[] = {
        {"note-ons: the last in the queue gives way", 0x90, InstrumentEventCapacity - 1},
        {"controllers: the last in the queue gives way", 0xB0, InstrumentEventCapacity - 1},
        {"note-offs: none gives way, the new one waits beside them", 0x80, -1},
    };
    for (const Case& c : cases) {
        RecordingInstrument inst;
        inst.create(&synth, 0, 4, false);
        for (int i = 0; i < InstrumentEventCapacity; ++i)
            queue(inst, 0, i % 128, c.fillStatus | (i / 128), c.fillStatus == 0x80 ? 0 : 100);
        queue(inst, 10, 7, 0x80 | 15, 0); // channel 15: tags of the fill never reach it
        queue(inst, 10, 8, 0x90 | 15, 0); // velocity 0 is a note-off too
        queue(inst, 10, 9, 0x90 | 15, 100); // a note-on finds no room
        EXPECT_EQ(inst.getEventCount(), InstrumentEventCapacity) << c.what;
        inst.processAll(64);
        int offs = 0;
        bool droppedApplied = false;
        bool noteOnApplied = false;
        for (const auto& a : inst.applied) {
            if (a.status == (0x80 | 15) || a.status == (0x90 | 15))
                offs += a.tag == 7 || a.tag == 8;
            if (a.status == (0x90 | 15) && a.tag == 9)
                noteOnApplied = true;
            if (c.dropped >= 0 && a.tag == c.dropped % 128 && a.status == (c.fillStatus | (c.dropped / 128)))
                droppedApplied = true;
        }
        EXPECT_EQ(offs, 2) << c.what;
        EXPECT_FALSE(noteOnApplied) << c.what;
        if (c.dropped >= 0) {
            EXPECT_FALSE(droppedApplied) << c.what;
        }
        const size_t expected = c.dropped >= 0 ? InstrumentEventCapacity : InstrumentEventCapacity + 2;
        EXPECT_EQ(inst.applied.size(), expected) << c.what;
        EXPECT_EQ(inst.getEventCount(), 0) << c.what;
    }
}

TEST_F(InstrumentFixture, NoteOffsKeptAsideSurviveARefusedBlock)
{
    for (int i = 0; i < InstrumentEventCapacity; ++i)
        queueOff(instrument, 0, i % 128);
    {
        LockHolder load(instrument.renderLock);
        queueOff(instrument, 5, 100); // a note-off beyond the queue's room
        instrument.processAll(64);
        EXPECT_TRUE(instrument.applied.empty());
        EXPECT_EQ(instrument.getEventCount(), InstrumentEventCapacity);
        queueOff(instrument, 5, 101);
    }
    instrument.processAll(64);
    ASSERT_EQ(instrument.applied.size(), size_t(InstrumentEventCapacity + 2));
    // The two kept aside come after every note-off that was queued before them.
    EXPECT_EQ(instrument.applied[InstrumentEventCapacity].tag, 100);
    EXPECT_EQ(instrument.applied[InstrumentEventCapacity + 1].tag, 101);
}

TEST_F(InstrumentFixture, ARefusedRenderLockSilencesTheRestOfTheBlockAndKeepsItsEvents)
{
    // At the sixteenth boundary 13 frames into the block (the one moment of
    // the block outside the render lock) a load takes the render lock from
    // another thread: the stretch after it is refused.
    Bpm = 120.0;
    RecBpm = 1.0 / 120.0;
    instrument.setSampleRate(44100.0f);
    instrument.offerSync(5498);
    std::unique_ptr<LockHolder> load;
    instrument.onBoundary = [&] { load = std::make_unique<LockHolder>(instrument.renderLock); };
    queue(instrument, 5, 1);
    queue(instrument, 50, 2);
    queue(instrument, 900, 3);
    instrument.processAll(100);
    EXPECT_EQ(instrument.pieces, (std::vector<int>{5, 8})) << "nothing renders after the refusal";
    instrument.onBoundary = nullptr;
    ASSERT_EQ(instrument.applied.size(), 1u);
    EXPECT_EQ(instrument.getEventCount(), 2) << "the block's other events wait";
    instrument.processAll(100);
    EXPECT_EQ(instrument.applied.size(), 1u) << "while the load lasts, every block stays silent";
    EXPECT_EQ(instrument.pieces.size(), 2u);
    load->letGo();
    instrument.processAll(100);
    ASSERT_EQ(instrument.applied.size(), 3u);
    EXPECT_EQ(instrument.applied[1].tag, 2);
    EXPECT_EQ(instrument.applied[1].position, 0) << "kept events are taken at the start of the next block";
    EXPECT_EQ(instrument.applied[2].tag, 3);
    EXPECT_EQ(instrument.applied[2].position, 0);
    EXPECT_EQ(instrument.pieces.back(), 100);
}
