// Splitting a timeline of MIDI events into per-block VstEvents lists.
#include "host/EventScheduler.h"

#include <gtest/gtest.h>

#include <utility>

using Host::EventScheduler_c;
using Host::TimedMidi;

namespace {

TimedMidi note(int64_t frame, uint8_t key)
{
    TimedMidi t;
    t.frame = frame;
    t.data[0] = 0x90;
    t.data[1] = key;
    t.data[2] = 100;
    t.size = 3;
    return t;
}

// (deltaFrames, key) of each event in the list, checking the record layout.
std::vector<std::pair<int, int>> contents(const VstEvents* list)
{
    std::vector<std::pair<int, int>> out;
    VstEvent* const* events = list->events; // the list is longer than its declared two entries
    for (int i = 0; i < list->numEvents; ++i) {
        const auto* midi = reinterpret_cast<const VstMidiEvent*>(events[i]);
        EXPECT_EQ(midi->type, kVstMidiType);
        EXPECT_EQ(midi->byteSize, int32_t(sizeof(VstMidiEvent)));
        EXPECT_EQ(uint8_t(midi->midiData[0]), 0x90);
        EXPECT_EQ(uint8_t(midi->midiData[2]), 100);
        EXPECT_EQ(midi->midiData[3], 0);
        out.emplace_back(midi->deltaFrames, int(uint8_t(midi->midiData[1])));
    }
    return out;
}

} // namespace

TEST(EventScheduler, SplitsIntoBlocksWithOffsetsInOrder)
{
    // Given out of order; two events share frame 300 and keep their order.
    EventScheduler_c scheduler({note(512, 7), note(300, 4), note(0, 1), note(255, 2), note(256, 3), note(300, 5),
                                note(511, 6), note(1000, 8)});
    using Expected = std::vector<std::pair<int, int>>;
    EXPECT_EQ(contents(scheduler.eventsForBlock(0, 256)), (Expected{{0, 1}, {255, 2}}));
    EXPECT_EQ(contents(scheduler.eventsForBlock(256, 256)), (Expected{{0, 3}, {44, 4}, {44, 5}, {255, 6}}));
    EXPECT_EQ(contents(scheduler.eventsForBlock(512, 256)), (Expected{{0, 7}}));
    // A short last block ending at frame 1000: the event on 1000 lies past it.
    EXPECT_EQ(contents(scheduler.eventsForBlock(768, 232)), Expected{});
    EXPECT_EQ(scheduler.delivered(), 7u);
}

TEST(EventScheduler, ABlockOfManyEventsListsThemAll)
{
    std::vector<TimedMidi> chord;
    for (uint8_t key = 40; key < 80; ++key)
        chord.push_back(note(10, key));
    EventScheduler_c scheduler(chord);
    const auto got = contents(scheduler.eventsForBlock(0, 64));
    ASSERT_EQ(got.size(), 40u);
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_EQ(got[i], std::make_pair(10, int(40 + i)));
}

TEST(EventScheduler, TwoByteMessagesLeaveTheThirdByteZero)
{
    TimedMidi program;
    program.data[0] = 0xC2;
    program.data[1] = 17;
    program.data[2] = 99; // not part of the message
    program.size = 2;
    EventScheduler_c scheduler({program});
    const VstEvents* list = scheduler.eventsForBlock(0, 16);
    ASSERT_EQ(list->numEvents, 1);
    const auto* midi = reinterpret_cast<const VstMidiEvent*>(list->events[0]);
    EXPECT_EQ(uint8_t(midi->midiData[0]), 0xC2);
    EXPECT_EQ(midi->midiData[1], 17);
    EXPECT_EQ(midi->midiData[2], 0);
}
