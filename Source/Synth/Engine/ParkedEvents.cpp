#include "ParkedEvents.h"

#include "MidiBytes.h"

#include <algorithm>

ParkedEvents_c::ParkedEvents_c()
{
    for (uint32_t i = 0; i < ParkedEventCapacity; ++i)
        slots[i].sequence.store(i, std::memory_order_relaxed);
}

bool ParkedEvents_c::park(const Event& event, int limit)
{
    limit = std::clamp(limit, 0, ParkedEventCapacity);
    uint32_t pos = head.load(std::memory_order_relaxed);
    for (;;) {
        if (static_cast<int>(pos - tail.load(std::memory_order_acquire)) >= limit)
            return false;
        Slot& slot = slots[pos & Mask];
        const uint32_t sequence = slot.sequence.load(std::memory_order_acquire);
        const int32_t ahead = static_cast<int32_t>(sequence - pos);
        if (ahead == 0) {
            if (head.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed))
                break;
        } else if (ahead < 0) {
            return false; // the slot still holds an event not taken yet: full
        } else {
            pos = head.load(std::memory_order_relaxed); // another thread claimed it
        }
    }
    Slot& slot = slots[pos & Mask];
    slot.event = event;
    slot.sequence.store(pos + 1, std::memory_order_release);
    return true;
}

int ParkedEvents_c::count() const
{
    const uint32_t t = tail.load(std::memory_order_acquire);
    return static_cast<int>(head.load(std::memory_order_acquire) - t);
}

bool ParkedEvents_c::beginTake()
{
    return !taking.exchange(true, std::memory_order_acquire);
}

void ParkedEvents_c::endTake()
{
    taking.store(false, std::memory_order_release);
}

const ParkedEvents_c::Event* ParkedEvents_c::front() const
{
    const uint32_t pos = tail.load(std::memory_order_relaxed);
    const Slot& slot = slots[pos & Mask];
    if (slot.sequence.load(std::memory_order_acquire) != pos + 1)
        return nullptr;
    return &slot.event;
}

void ParkedEvents_c::pop()
{
    const uint32_t pos = tail.load(std::memory_order_relaxed);
    Slot& slot = slots[pos & Mask];
    if (slot.sequence.load(std::memory_order_acquire) != pos + 1)
        return;
    // Free for the position one round later.
    slot.sequence.store(pos + ParkedEventCapacity, std::memory_order_release);
    tail.store(pos + 1, std::memory_order_release);
}

bool ParkedEvents_c::isNoteOff(const unsigned char* message)
{
    return message && Midi::isNoteOff(message);
}
