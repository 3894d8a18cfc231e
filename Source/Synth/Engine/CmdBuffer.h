// CmdBuffer_c: a bounded ring of command records between threads. Any number
// of threads may post (the audio thread, the host's user-interface thread,
// the editor, the idle timer); exactly one thread at a time takes records out
// (the audio thread for the ring toward audio, the idle side, serialised by
// its try-lock, for the ring toward the user interface).
//
// Nothing here waits or allocates after construction: a post claims a
// position with one compare-and-swap, writes the record and publishes it by
// the slot's sequence word; a full ring refuses the record at once. Every
// slot carries an atomic state word (position x 4 + phase) that says whether
// it is free for a position, holds a record published for it, or holds a
// record that was emptied after publishing. Because positions only grow, a
// state word never repeats, so a thread that read a slot can tell with one
// compare-and-swap whether the record it read is still queued.
//
// Records are never moved once queued. Removing one (duplicate rule 0,
// remove, clearCmd, resetMIDI) turns it into an empty record (command 0) in
// place; the consumer takes it like any other and its dispatcher ignores it.
// An emptied record keeps its slot until the consumer passes it, so a ring
// full of emptied records still refuses new ones until it is drained.
#pragma once

#include "CommandLetters.h"
#include "HoldData.h"

#include <atomic>
#include <cstdint>

// Duplicate rule of an insertion.
enum tHD_RemoveDouble : int
{
    hdReplaceSame = 0, // every queued record that isSame the new one is emptied, then the new one is appended
    hdKeepFirst = 1,   // when a queued record isSame the new one, nothing is queued (and the post succeeds)
    hdAppend = 2,      // the record is appended
};

class CmdBuffer_c
{
public:
    // size slots; at most size - 1 records are queued at once. A size below 2
    // or a failed allocation leaves a ring without storage, which refuses
    // every record.
    explicit CmdBuffer_c(int size);
    ~CmdBuffer_c();
    CmdBuffer_c(const CmdBuffer_c&) = delete;
    CmdBuffer_c& operator=(const CmdBuffer_c&) = delete;

    // Any thread. Queues a copy of the record under the duplicate rule. False
    // without storage, for a null record, a record with command 0, a rule
    // outside 0..2, or a full ring (the record is then dropped and the ring is
    // as it was). Rules 0 and 1 look at the records queued when the post
    // starts; two threads posting equal records at the same moment may both
    // queue theirs, which leaves the newest last in either case.
    bool holdEvent(HoldData_c const* record, tHD_RemoveDouble rule);

    // The consumer thread only. Copies the oldest queued record into out
    // (command 0 for an emptied one) and frees its slot. False without
    // storage, for a null out, or when no published record is waiting (a
    // record still being written by a producer counts as not there yet).
    bool unholdEvent(HoldData_c* out);

    // Any thread. True when a queued record, from the oldest to the newest,
    // isSame the given one (an emptied record compares as command 0). False
    // for a null record and an empty ring.
    bool isThere(HoldData_c const* record) const;

    // Any thread. Empties every queued record that isSame the given one.
    void remove(HoldData_c const* record);

    // Any thread. Every queued record with that command becomes empty; it
    // stays queued and the consumer takes it as command 0.
    void clearCmd(int command);

    // Any thread. clearCmd for the queued notes ('Q').
    void resetMIDI() { clearCmd(Cmd::NoteZones); }

    // Records queued now, those still being written by a producer included;
    // a snapshot that other threads may change at once. The consumer may take
    // this many and no more to leave records posted later for a later round.
    int getCount() const;

    // The number of slots given at construction (0 without storage).
    int getSize() const { return slots_ ? size_ : 0; }

private:
    struct Slot
    {
        std::atomic<uint64_t> state{0};
        // The record, packed into words so that a reader scanning for
        // duplicates never races with a producer or the consumer.
        std::atomic<uint64_t> word[4] = {};
    };

    // Phases of a slot's state word (state = position x 4 + phase).
    static constexpr uint64_t phFree = 0;    // free for the position
    static constexpr uint64_t phQueued = 1;  // record published for the position
    static constexpr uint64_t phEmptied = 2; // record published, then emptied

    static uint64_t stateOf(uint64_t pos, uint64_t phase) { return pos * 4 + phase; }
    Slot& slotAt(uint64_t pos) const { return slots_[pos % static_cast<uint64_t>(size_)]; }

    // Reads the record queued for pos into out. False when the slot no longer
    // (or not yet) holds a record for pos. *stateSeen is the state word the
    // copy belongs to.
    bool peek(uint64_t pos, HoldData_c* out, uint64_t* stateSeen) const;
    // Empties the record at pos when it is still queued there and unemptied.
    bool emptyAt(uint64_t pos);
    // Empties every queued record for which match answers true.
    template <class Match> void emptyWhere(Match const& match);
    bool append(HoldData_c const& record);

    int size_ = 0;
    Slot* slots_ = nullptr;
    // Positions count from 0 and are never wrapped; the slot is position
    // modulo size. 64 bits outlast any session.
    alignas(64) std::atomic<uint64_t> writePos_{0};
    alignas(64) std::atomic<uint64_t> readPos_{0};
};
