// The arpeggiator driven the way the headless host drives a plug-in: a
// Standard MIDI File is parsed, placed on frames through its tempo map and
// cut into per-block event lists with frame offsets, and the host's bar
// position goes with every block. The sequencing instrument runs in the
// sequencer tests' small engine (the product's instrument does not carry the
// sequencers yet); what is checked is where the arpeggio's notes land.
#include "../Synth/Voice/SeqTestEngine.h"
#include "SmfBytes.h"
#include "host/EventScheduler.h"
#include "host/MidiFile.h"
#include "host/TimeMap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace SmfBytes;

namespace {

// A variable-length quantity: seven bits a byte, most significant first.
Bytes vlq(uint32_t v)
{
    uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = uint8_t(v & 0x7F);
        v >>= 7;
    } while (v);
    Bytes out;
    for (int i = n - 1; i >= 0; --i)
        out.push_back(uint8_t(groups[i] | (i > 0 ? 0x80 : 0)));
    return out;
}

Bytes event(uint32_t delta, Bytes message)
{
    Bytes out = vlq(delta);
    out.insert(out.end(), message.begin(), message.end());
    return out;
}

} // namespace

TEST(SeqMidiFile, AnArpeggioFromAMidiFileLandsOnTheHostsGrid)
{
    constexpr double Rate = 48000.0;
    // 120 BPM, 480 ticks per quarter: a tick is 50 frames. The chord comes
    // 10 ticks (500 frames) after the second beat and is held for four beats.
    const Bytes file = join({header(0, 1, 480),
                             track(join({event(0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}),
                                         event(490, {0x90, 60, 100}), event(0, {0x90, 64, 100}),
                                         event(0, {0x90, 67, 100}), event(1920, {0x80, 60, 0}),
                                         event(0, {0x80, 64, 0}), event(0, {0x80, 67, 0}), kEndOfTrack}))});
    Host::MidiSong song;
    std::string error;
    ASSERT_TRUE(Host::parseMidiFile(file, song, error)) << error;
    const Host::TimeMap_c map(song, Rate);
    Host::EventScheduler_c scheduler(Host::scheduleSong(song, map));

    SeqTest::SeqEngine e(static_cast<float>(Rate));
    e.set(StepSeq_c::pOpMode, StepSeq_c::mUp);
    e.ins.playing = true;
    constexpr int Block = 441; // blocks that never meet the steps' grid
    for (int64_t start = 0; start < 150000; start += Block) {
        const Host::TimeMap_c::Position p = map.positionAt(start);
        e.ins.barPosition = static_cast<int>(std::lround((p.ppq - p.barStartPpq) * 60.0 / p.tempo * Rate));
        const VstEvents* list = scheduler.eventsForBlock(start, Block);
        for (int i = 0; i < list->numEvents; ++i) {
            const auto* m = reinterpret_cast<const VstMidiEvent*>(list->events[i]);
            e.ins.remindEvent(m->deltaFrames, reinterpret_cast<const unsigned char*>(m->midiData));
        }
        e.ins.processAll(Block);
        e.ins.frame += Block;
    }

    // The first step starts with the key at frame 24500 and is cut short so
    // that the next ones fall on the sixteenth-note grid (6000 frames) of the
    // host's bar, until the step after the release finds no key.
    const auto ons = e.ons();
    ASSERT_EQ(ons.size(), 17u);
    EXPECT_EQ(ons[0].frame, 24500);
    const int walk[] = {60, 64, 67};
    for (size_t k = 0; k < ons.size(); ++k) {
        if (k > 0) {
            EXPECT_EQ(ons[k].frame, 24000 + 6000 * static_cast<long>(k)) << "step " << k;
        }
        EXPECT_EQ(ons[k].note, walk[k % 3]) << "step " << k;
    }
    EXPECT_TRUE(e.hanging().empty());
    EXPECT_EQ(e.events.back().frame, 120000 + 3000) << "the last note ends with its gate";
}
