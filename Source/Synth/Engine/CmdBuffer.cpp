#include "CmdBuffer.h"

#include <new>

namespace {

// The words are stored with release and loaded with acquire: a scanner that
// reads any word of a record written into a slot after it was freed then also
// sees the slot's new state word, so its sequence check cannot pass a torn
// copy (see CmdBuffer_c::peek).
constexpr std::memory_order wordStore = std::memory_order_release;
constexpr std::memory_order wordLoad = std::memory_order_acquire;

void pack(HoldData_c const& r, std::atomic<uint64_t>* word)
{
    word[0].store(uint64_t(r.command) | uint64_t(uint16_t(r.index)) << 16 | uint64_t(uint16_t(r.value)) << 32
                      | uint64_t(r.spare) << 48,
                  wordStore);
    word[1].store(reinterpret_cast<uintptr_t>(r.ptr1), wordStore);
    word[2].store(reinterpret_cast<uintptr_t>(r.ptr2), wordStore);
    word[3].store(uint64_t(r.midi[0]) | uint64_t(r.midi[1]) << 8 | uint64_t(r.midi[2]) << 16
                      | uint64_t(r.midi[3]) << 24,
                  wordStore);
}

void unpack(std::atomic<uint64_t> const* word, HoldData_c* r)
{
    uint64_t w = word[0].load(wordLoad);
    r->command = uint8_t(w);
    r->index = int16_t(uint16_t(w >> 16));
    r->value = int16_t(uint16_t(w >> 32));
    r->spare = uint16_t(w >> 48);
    r->ptr1 = reinterpret_cast<void*>(uintptr_t(word[1].load(wordLoad)));
    r->ptr2 = reinterpret_cast<void*>(uintptr_t(word[2].load(wordLoad)));
    w = word[3].load(wordLoad);
    for (int i = 0; i < 4; i++)
        r->midi[i] = uint8_t(w >> (8 * i));
}

} // namespace

CmdBuffer_c::CmdBuffer_c(int size)
{
    if (size < 2)
        return;
    slots_ = new (std::nothrow) Slot[size];
    if (!slots_)
        return;
    size_ = size;
    for (int i = 0; i < size; i++)
        slots_[i].state.store(stateOf(uint64_t(i), phFree), std::memory_order_relaxed);
}

CmdBuffer_c::~CmdBuffer_c()
{
    delete[] slots_;
}

bool CmdBuffer_c::append(HoldData_c const& record)
{
    uint64_t pos = writePos_.load(std::memory_order_relaxed);
    for (;;) {
        uint64_t state = slotAt(pos).state.load(std::memory_order_acquire);
        if (state == stateOf(pos, phFree)) {
            // The slot is free, but only size - 1 records may be queued: one
            // slot always stays between the newest record and the oldest.
            // A stale pos gives a negative distance; the claim below then
            // fails and we look again.
            int64_t queued = int64_t(pos - readPos_.load(std::memory_order_acquire));
            if (queued >= int64_t(size_) - 1)
                return false;
            if (writePos_.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed))
                break;
        } else if (state < stateOf(pos, phFree)) {
            return false; // the slot still holds the record one lap back
        } else {
            pos = writePos_.load(std::memory_order_relaxed); // another producer took pos
        }
    }
    Slot& slot = slotAt(pos);
    pack(record, slot.word);
    slot.state.store(stateOf(pos, phQueued), std::memory_order_release);
    return true;
}

bool CmdBuffer_c::holdEvent(HoldData_c const* record, tHD_RemoveDouble rule)
{
    if (!slots_ || !record || record->command == 0)
        return false;
    switch (rule) {
    case hdReplaceSame:
        remove(record);
        return append(*record);
    case hdKeepFirst:
        if (isThere(record))
            return true;
        return append(*record);
    case hdAppend:
        return append(*record);
    }
    return false;
}

bool CmdBuffer_c::unholdEvent(HoldData_c* out)
{
    if (!slots_ || !out)
        return false;
    uint64_t pos = readPos_.load(std::memory_order_relaxed);
    Slot& slot = slotAt(pos);
    uint64_t state = slot.state.load(std::memory_order_acquire);
    if (state != stateOf(pos, phQueued) && state != stateOf(pos, phEmptied))
        return false; // empty, or the producer of pos has not published yet
    HoldData_c record;
    unpack(slot.word, &record);
    uint64_t next = stateOf(pos + size_, phFree);
    // Freeing the slot and emptying it race: whoever changes the state word
    // first wins. A record emptied before we free it is taken as command 0.
    if (!slot.state.compare_exchange_strong(state, next, std::memory_order_acq_rel)) {
        // Only an emptying can have come between.
        slot.state.store(next, std::memory_order_release);
        state = stateOf(pos, phEmptied);
    }
    if (state == stateOf(pos, phEmptied))
        record.command = 0;
    readPos_.store(pos + 1, std::memory_order_release);
    out->set(record);
    return true;
}

int CmdBuffer_c::getCount() const
{
    if (!slots_)
        return 0;
    // Read first: a stale read position can only make the count larger than
    // the truth, never count a position twice.
    const uint64_t read = readPos_.load(std::memory_order_acquire);
    const uint64_t write = writePos_.load(std::memory_order_acquire);
    return write > read ? int(write - read) : 0;
}

bool CmdBuffer_c::peek(uint64_t pos, HoldData_c* out, uint64_t* stateSeen) const
{
    Slot& slot = slotAt(pos);
    uint64_t state = slot.state.load(std::memory_order_acquire);
    for (;;) {
        if (state != stateOf(pos, phQueued) && state != stateOf(pos, phEmptied))
            return false;
        unpack(slot.word, out);
        // Sequence-lock check: when the slot was taken and refilled while we
        // read, the state word has moved on and the copy is thrown away.
        uint64_t again = slot.state.load(std::memory_order_acquire);
        if (again == state)
            break;
        state = again; // emptied meanwhile (same record) or gone: look again
    }
    if (state == stateOf(pos, phEmptied))
        out->command = 0;
    *stateSeen = state;
    return true;
}

bool CmdBuffer_c::emptyAt(uint64_t pos)
{
    uint64_t expected = stateOf(pos, phQueued);
    return slotAt(pos).state.compare_exchange_strong(expected, stateOf(pos, phEmptied), std::memory_order_acq_rel);
}

template <class Match> void CmdBuffer_c::emptyWhere(Match const& match)
{
    if (!slots_)
        return;
    uint64_t end = writePos_.load(std::memory_order_acquire);
    for (uint64_t pos = readPos_.load(std::memory_order_acquire); pos < end; pos++) {
        HoldData_c queued;
        uint64_t state = 0;
        if (peek(pos, &queued, &state) && state == stateOf(pos, phQueued) && match(queued))
            emptyAt(pos); // fails only when the consumer took the record first
    }
}

bool CmdBuffer_c::isThere(HoldData_c const* record) const
{
    if (!slots_ || !record)
        return false;
    uint64_t end = writePos_.load(std::memory_order_acquire);
    for (uint64_t pos = readPos_.load(std::memory_order_acquire); pos < end; pos++) {
        HoldData_c queued;
        uint64_t state = 0;
        if (peek(pos, &queued, &state) && queued.isSame(*record))
            return true;
    }
    return false;
}

void CmdBuffer_c::remove(HoldData_c const* record)
{
    if (!record)
        return;
    emptyWhere([record](HoldData_c const& queued) { return queued.isSame(*record); });
}

void CmdBuffer_c::clearCmd(int command)
{
    if (command <= 0 || command > 255)
        return;
    emptyWhere([command](HoldData_c const& queued) { return queued.command == command; });
}
