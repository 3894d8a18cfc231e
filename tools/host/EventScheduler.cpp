#include "EventScheduler.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace Host {

std::vector<TimedMidi> scheduleSong(const MidiSong& song, const TimeMap_c& map)
{
    std::vector<TimedMidi> timed;
    timed.reserve(song.events.size());
    for (const MidiEvent& event : song.events) {
        TimedMidi t;
        t.frame = map.tickToFrame(event.tick);
        std::memcpy(t.data, event.data, sizeof t.data);
        t.size = event.size;
        timed.push_back(t);
    }
    return timed;
}

EventScheduler_c::EventScheduler_c(std::vector<TimedMidi> events) : events_(std::move(events))
{
    std::stable_sort(events_.begin(), events_.end(),
                     [](const TimedMidi& a, const TimedMidi& b) { return a.frame < b.frame; });
}

VstEvents* EventScheduler_c::eventsForBlock(int64_t start, int32_t frames)
{
    while (next_ < events_.size() && events_[next_].frame < start)
        ++next_;
    const int64_t end = start + frames;
    block_.clear();
    while (next_ < events_.size() && events_[next_].frame < end) {
        const TimedMidi& t = events_[next_++];
        VstMidiEvent e{};
        e.type = kVstMidiType;
        e.byteSize = int32_t(sizeof(VstMidiEvent));
        e.deltaFrames = int32_t(t.frame - start);
        for (int i = 0; i < t.size && i < 3; ++i)
            e.midiData[i] = char(t.data[i]);
        block_.push_back(e);
    }
    delivered_ += block_.size();

    // Header (numEvents, reserved) then the pointer array; written bytewise
    // so the record may be longer than the two entries it declares.
    const size_t headerWords = offsetof(VstEvents, events) / sizeof(uint64_t);
    listWords_.assign(std::max(sizeof(VstEvents) / sizeof(uint64_t), headerWords + block_.size()), 0);
    auto* bytes = reinterpret_cast<unsigned char*>(listWords_.data());
    const int32_t count = int32_t(block_.size());
    std::memcpy(bytes + offsetof(VstEvents, numEvents), &count, sizeof count);
    for (size_t i = 0; i < block_.size(); ++i) {
        VstEvent* pointer = reinterpret_cast<VstEvent*>(&block_[i]);
        std::memcpy(bytes + offsetof(VstEvents, events) + i * sizeof pointer, &pointer, sizeof pointer);
    }
    return reinterpret_cast<VstEvents*>(listWords_.data());
}

} // namespace Host
