// ChordMem_c ('CMM1'): the chord memory of the sequencing instrument. In
// "Learn" every key played becomes the next chord note (up to ChordMemNotes);
// in "Play" every key plays the learned chord moved to that key, with the
// velocities offset from the key's velocity the way the learned ones were
// offset from the first. In "Off" (and while learning) a key plays itself.
//
// For each key the memory keeps the notes it started and their channels, so
// the key's release ends exactly those notes, whatever the chord is by then.
//
// Threads: getParaSetPtr while audio is stopped; cachePara and
// postprocessParaChange on the user-interface thread; remindNote,
// getNextOnNote, getNextOffNote and rememberForOff on the audio thread. The
// mode crosses threads as an atomic; the chord notes are parameters (relaxed
// atomics), which remindNote writes in place without allocating.
#pragma once

#include "Capacities.h"
#include "Note.h"
#include "Part.h"

#include <atomic>
#include <cstdint>

constexpr int TypeCodeChordMem = 0x434D4D31; // 'CMM1'

class ChordMem_c : public Part_c
{
public:
    enum Para_t : int {
        pVersion = 0,
        pOnOff = 1,
        pOpMode = 2,    // "Off  ", "Learn", "Play "
        pPolyphony = 3, // chord notes learned, 0..ChordMemNotes
        pNote0 = 4,     // "Note i" at pNote0 + 2i, "Velo i" right after it
        pVelo0 = 5,
        ParaCount = pNote0 + 2 * ChordMemNotes
    };
    enum Mode_t : int { mOff = 0, mLearn = 1, mPlay = 2 };

    ChordMem_c();
    ~ChordMem_c() override;

    int getTypeCode() const override { return TypeCodeChordMem; }
    using Part_c::getParaSetPtr;
    // Only while audio is stopped.
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;

    // The set the audio thread plays from (the instrument's). Audio stopped.
    void setPlaySet(int set) { playSet.store(set, std::memory_order_relaxed); }
    int getPlaySet() const { return playSet.load(std::memory_order_relaxed); }
    int getMode() const { return mode.load(std::memory_order_relaxed); }

    // Audio thread: while fewer than ChordMemNotes are learned, the key's
    // note and velocity become the next chord note.
    void remindNote(NoteC_c key);
    // Audio thread: the notes key starts, one per call (true while one is
    // given in *out). *first is true on the first call for a key; the key's
    // record of started notes is cleared then.
    bool getNextOnNote(bool* first, NoteC_c key, NoteC_c* out);
    // Audio thread: the notes key started, ascending, velocity 0, on the
    // channel each was started on; one per call as getNextOnNote.
    bool getNextOffNote(bool* first, NoteC_c key, NoteC_c* out);
    // Audio thread: enters note in key's record.
    void rememberForOff(NoteC_c note, int key);

    // User-interface thread: entering "Learn" restarts the count at 0.
    void cachePara(CacheReason_t reason, int set, int idx) override;
    // User-interface thread: "Op.Mode" and "On/Off" follow each other; a
    // program found in "Learn" is put to "Off".
    void postprocessParaChange(int set, int idx) override;

private:
    int para(int idx) const;
    void clearRecord(int key);

    std::atomic<int> mode{mOff};
    std::atomic<int> previousMode{mOff};
    std::atomic<int> playSet{0};
    int nextIndex = 0; // the chord note or record bit the next call looks at
    // Per key: the notes it started (bit n of word n / 64) and their channels.
    uint64_t started[NumMidiNotes][NumMidiNotes / 64] = {};
    int8_t startedChannel[NumMidiNotes][NumMidiNotes] = {};
};
