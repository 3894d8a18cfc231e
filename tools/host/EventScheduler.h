// Splits a timeline of MIDI messages into the per-block event lists a VST
// host hands to effProcessEvents, each event carrying its frame offset
// within the block (deltaFrames), so timing is sample-accurate whatever the
// block size.
#pragma once

#include "MidiFile.h"
#include "TimeMap.h"
#include "VstInterface.h"

#include <cstdint>
#include <vector>

namespace Host {

struct TimedMidi
{
    int64_t frame = 0; // frames since the song start
    uint8_t data[3] = {};
    uint8_t size = 0;
};

// The song's channel messages placed on frames through its tempo map.
std::vector<TimedMidi> scheduleSong(const MidiSong& song, const TimeMap_c& map);

class EventScheduler_c
{
public:
    // Events are ordered by frame; events on one frame keep their given order.
    explicit EventScheduler_c(std::vector<TimedMidi> events);

    // The events of the block [start, start + frames), in order, with
    // deltaFrames relative to start. Blocks are asked for in rising order;
    // events before start that were never asked for are dropped. The list
    // stays valid until the next call.
    VstEvents* eventsForBlock(int64_t start, int32_t frames);

    size_t delivered() const { return delivered_; }

private:
    std::vector<TimedMidi> events_;
    size_t next_ = 0;
    size_t delivered_ = 0;
    std::vector<VstMidiEvent> block_;
    // Backing words of the VstEvents record: its header, then one pointer per
    // event (the record declares two; hosts size it for the real count).
    std::vector<uint64_t> listWords_;
};

} // namespace Host
