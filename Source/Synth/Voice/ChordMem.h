// ChordMem_c ('CMM1'): the chord memory of the sequencing instrument. In
// "Learn" every key played becomes the next chord note (up to ChordMemNotes);
// in "Play" every key plays the learned chord moved to that key, with the
// velocities offset from the key's velocity the way the learned ones were
// offset from the first. In "Off" (and while learning) a key plays itself.
//
// For each key on each channel the memory counts the notes it started, so the
// key's release ends exactly those notes, whatever the chord is by then: a
// chord that holds a note twice started two voices of it, and its release
// ends both. The same key on two channels is two keys, each release ending
// its own notes. A key struck again before its release (a retrigger) adds to
// its count; each release ends one strike's share and the last one whatever
// is left, so no note of the key stays held even when the chord changed
// between the strikes.
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
#include <memory>

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
    // given in *out), on the key's channel. *first is true on the first call
    // for a key: the strike is counted then, and the key's record of started
    // notes is cleared when no earlier strike of it is still down.
    bool getNextOnNote(bool* first, NoteC_c key, NoteC_c* out);
    // Audio thread: the notes key started on its channel, ascending, velocity
    // 0, a note started twice given twice; one per call as getNextOnNote. The
    // first call counts the release: with strikes of the key still down it
    // gives one strike's share of each note, after the last strike all that
    // is left.
    bool getNextOffNote(bool* first, NoteC_c key, NoteC_c* out);
    // Audio thread: enters note in the record of key on note's channel.
    void rememberForOff(NoteC_c note, int key);
    // Audio thread: every key of channel (0..15; any other value: every
    // channel) counts as released and its record is emptied (all notes off).
    void forgetKeys(int channel);

    // User-interface thread: entering "Learn" restarts the count at 0.
    void cachePara(CacheReason_t reason, int set, int idx) override;
    // User-interface thread: "Op.Mode" and "On/Off" follow each other; a
    // program found in "Learn" is put to "Off".
    void postprocessParaChange(int set, int idx) override;

private:
    int para(int idx) const;
    void clearRecord(int channel, int key);
    uint8_t* record(int channel, int key);

    std::atomic<int> mode{mOff};
    std::atomic<int> previousMode{mOff};
    std::atomic<int> playSet{0};
    int nextIndex = 0; // the chord note or record bit the next call looks at
    // The release being walked: the strikes of its key that were down before
    // it, and how many more times the note at nextIndex is given.
    int releaseStrikes = 0;
    int repeats = -1;
    // Per channel and key: how many of its strikes are down, and how many
    // voices of each note it started (NumMidiNotes counts per key, made with
    // the part so the audio thread never allocates; null when that failed,
    // and a release then ends the key's own note).
    uint8_t strikes[NumMidiChannels][NumMidiNotes] = {};
    std::unique_ptr<uint8_t[]> started;
};
