// ParkedEvents_c: MIDI events that the engine's event delivery could not hand
// to their instrument at once, kept in arrival order until the instrument's
// event queue can take them.
//
// Why: event delivery runs on the audio thread (or the host's event thread),
// which never waits for a lock. An instrument's event lock is busy while its
// block runs on another thread, while reception is being switched, or while
// a long job keeps the instrument to itself; an event that arrives then is
// parked here instead of waiting, and every later event goes behind it, so
// a note-off never overtakes its note-on. The engine hands parked events on
// at the next delivery and at the start of every block.
//
// Room: a note-off may take every slot; any other event only the first
// ParkedEventOtherLimit, so a flood of notes and controllers while an
// instrument is busy still leaves room for the note-offs that end the notes
// already sounding.
//
// Threads: any number of threads may park (each claims a slot with one
// compare-and-swap; nothing waits or allocates). One thread at a time takes
// events out: beginTake is a try, and a thread that finds another taking
// simply leaves the work to it.
#pragma once

#include "Capacities.h"

#include <atomic>
#include <cstdint>

class ParkedEvents_c
{
public:
    struct Event
    {
        int32_t instrument = -1;
        int32_t offset = 0;           // frames into the block it was delivered for
        uint32_t stamp = 0;           // the engine's frame counter when it was parked
        unsigned char message[4] = {}; // status, data 1, data 2, 0
    };

    ParkedEvents_c();
    ParkedEvents_c(const ParkedEvents_c&) = delete;
    ParkedEvents_c& operator=(const ParkedEvents_c&) = delete;

    // Any thread. Parks a copy of the event; false (nothing parked) when
    // `limit` events (at most ParkedEventCapacity) are parked already.
    bool park(const Event& event, int limit);
    // Any thread: the events parked now, those still being written included.
    int count() const;
    bool empty() const { return count() == 0; }

    // One taker at a time. False when another thread is taking.
    bool beginTake();
    void endTake();
    // The taker only: the oldest event once it is completely written (null
    // when there is none), and dropping it.
    const Event* front() const;
    void pop();

    // True for a note-off: 0x8n, or 0x9n with velocity 0.
    static bool isNoteOff(const unsigned char* message);

private:
    static_assert((ParkedEventCapacity & (ParkedEventCapacity - 1)) == 0,
                  "positions wrap around a power of two");
    static constexpr uint32_t Mask = ParkedEventCapacity - 1;

    struct Slot
    {
        // position when free for it, position + 1 once the event is written
        std::atomic<uint32_t> sequence{0};
        Event event;
    };
    Slot slots[ParkedEventCapacity];
    std::atomic<uint32_t> head{0}; // next position to claim
    std::atomic<uint32_t> tail{0}; // oldest position; moved by the taker only
    std::atomic<bool> taking{false};
};
