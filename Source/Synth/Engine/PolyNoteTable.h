// PolyNoteTable_c: the engine's voice table. One entry per voice says whether
// the voice is free, held, released or fading, which instrument and note it
// plays and when it was started and released. The table hands out voices at
// note-on (stealing one when none is free), finds the voice of a note at
// note-off, keeps each instrument's counts of voices in use and held voices,
// and marks a note legato when it starts while another note of the same
// instrument and channel has been held for more than LegatoThresholdMs.
//
// Thread: audio only. The table has no lock of its own; a caller on another
// thread must keep the audio thread out of the engine meanwhile, as
// Synth::hardNoteOff does. Other threads may read an instrument's counts
// (they are atomics), never the entries.
//
// In the lookups that say so, channel AnyChannel (16) matches every channel
// and note AnyNote (128) every note.
#pragma once

#include "Note.h"

#include <cstdint>
#include <memory>

class Instrument_c;

enum NoteState_t : int32_t
{
    NoteStateFree = 0,   // no note; the voice may be taken
    NoteStateOn = 1,     // the key is held
    NoteStateOff = 2,    // released, the voice still sounds its release
    NoteStateFading = 3, // a quick fade-out is running; never stolen
};

// One voice of the table. Times are milliseconds of the table's clock, kept
// in 64 bits: the system clock counts from boot, so 32-bit times would wrap
// after 24.8 days and stealing would pick the wrong voice.
struct PolyNote_t
{
    NoteState_t state = NoteStateFree;
    int32_t instrument = -1;          // index of the owner, -1 when none
    Instrument_c* ins = nullptr;      // the owner, null when none
    int32_t note = -1;
    int32_t velocity = -1;            // note-on velocity, release velocity after note-off
    int32_t channel = 0;              // 0..15; kept when the entry is cleared
    bool legato = false;
    int64_t onTime = -1;              // ms; -1 when cleared
    int64_t offTime = -1;             // ms; -1 when cleared
};

class PolyNoteTable_c
{
public:
    static constexpr int AnyChannel = 16;
    static constexpr int AnyNote = 128;
    // A note starting more than this many ms after the earliest held note of
    // the same instrument and channel is legato.
    static constexpr int64_t LegatoThresholdMs = 30;

    // The source of milliseconds. The system clock unless a test injects its
    // own; it must never go backwards.
    using Clock_t = int64_t (*)();

    // Allocates and clears voices entries; a count below 1 or a failed
    // allocation leaves the table empty (every lookup -1 or null).
    explicit PolyNoteTable_c(int voices);
    virtual ~PolyNoteTable_c();
    PolyNoteTable_c(const PolyNoteTable_c&) = delete;
    PolyNoteTable_c& operator=(const PolyNoteTable_c&) = delete;

    // Not while the audio thread may use the table. Null restores the system
    // clock.
    void setClock(Clock_t clock);

    // Clears every entry; each owner gets voices in use 0 and held voices 0
    // first. Counts 0.
    void reset();

    // A voice for the note: a free one while the instrument is below its
    // limit, otherwise a stolen one. *reused tells whether the voice was
    // playing before (false for a free one). -1 when no voice can be had.
    int noteOn(int instrument, Instrument_c* ins, int voiceLimit, NoteC_c note, bool* reused,
               bool reuseReleasedFirst);
    // Releases the first held voice of the instrument with the note's number
    // and channel (AnyChannel: any). The voice, or -1.
    int noteOff(int instrument, NoteC_c note);
    void setStateNoteOn(int instrument, Instrument_c* ins, int voice, NoteC_c note);
    // Releases the voice when it is held; any other voice is left alone.
    void setStateNoteOff(int voice, int velocity);

    // Switch the entry to fading or free; the entry (null for an empty table).
    // The entry keeps its owner and note so that the caller can tell them.
    PolyNote_t* quickFadeOut(int voice);
    PolyNote_t* unusedNote(int voice);
    // Every state change goes through here; it keeps the counts of the table
    // and of the owners. ins is the new owner for a change to on.
    void switchState(int voice, NoteState_t state, Instrument_c* ins);

    // The voice to steal for a note, or -1. The first rule that finds one
    // wins, the oldest entry of a rule going first (ties: the lower index):
    // released with the instrument, note and channel; released with the
    // instrument and channel; held with the instrument, note and channel;
    // held with the instrument and channel; released of anyone; held of
    // anyone. Fading and free entries are never taken.
    int reusePolyNote(int instrument, int note, int channel);
    // Frees count voices of the instrument, released ones first, oldest
    // first; the last voice freed, or -1.
    int shutdownPolyNote(int instrument, int count);

    // First held or released entry of the instrument with the note (AnyNote)
    // and channel (AnyChannel), or -1.
    int findPolyNoteEntry(int instrument, int note, int channel) const;
    int findFreePolyNote() const;
    // First released entry of the instrument with the note and channel
    // (*reused untouched), else the first free entry (*reused := false).
    int findFreePolyNote(int instrument, int note, int channel, bool* reused) const;
    // First entry in use of the instrument with the note and the channel
    // (AnyChannel), or -1.
    int findUsedPolyNote(int instrument, int note, int channel) const;

    // Note, velocity and channel of the entry (index clamped); false for an
    // empty table or a null record.
    bool getNote(int voice, NoteC_c* note) const;
    PolyNote_t* get(int voice);
    const PolyNote_t* get(int voice) const;
    bool isActive(int voice, int instrument, int* note) const;
    // True when the entry is held; the outputs are -1 otherwise.
    bool isOn(int voice, int* instrument, int* note) const;

    // Walk the entries of the instrument that are in use: the index, -3 from
    // the first call when nothing is in use, -2 when the walk has ended
    // (and -1 when next is called after that).
    int getFirstActiveNote(int instrument, int* note);
    int getNextActiveNote(int instrument, int* note);

    // Number of held entries on the channel (AnyChannel: all).
    int getAmountNotesOn(int channel) const;

    int getVoiceCount() const { return voiceCount; }
    int getInUse() const { return inUse; }
    int getHeld() const { return held; }
    bool isInitialized() const { return initialized; }

private:
    int clampVoice(int voice) const;
    int64_t now() const { return clock(); }
    void clearEntry(PolyNote_t& e);
    // The entry in that state passing the filter with the smallest off time
    // (released) or on time (held) not later than t; -1 when none.
    template <class Filter> int oldest(NoteState_t state, int64_t t, Filter filter) const;
    int scanActive(int instrument, int from, int* note);
    void countOwner(Instrument_c* ins, int dInUse, int dHeld, bool started) const;
    int countOn(int channel) const;

    int iterator = -2;
    std::unique_ptr<PolyNote_t[]> entries;
    int voiceCount = 0;
    int inUse = 0;
    int held = 0;
    bool initialized = false;
    Clock_t clock;
};
