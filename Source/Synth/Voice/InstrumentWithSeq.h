// InstrumentWithSeq_c: the MIDI instrument with a chord memory and up to
// NumStepSeqs step sequencers between the incoming notes and the voices.
// A key goes through the chord memory (which may turn it into a chord) to
// every sequencer; sequencer 0 plays the notes, all of them publish their
// step level as a modulation value (slot i). A stair generator steps a
// value between -1 and 1 at every sixteenth for the voices to follow.
//
// The instrument definition creates the sequencers (makeStepSeq) and gives
// them their parameter sets; create() then binds them to the instrument.
//
// Threads: makeStepSeq, create, setSampleRate and suspend only while audio is
// stopped; ReceiveMIDI on any thread but the audio thread; the note entries,
// rendering, the clock hooks and the sync answers on the audio thread.
#pragma once

#include "ChordMem.h"
#include "Instrument.h"
#include "StepSeq.h"

#include <atomic>
#include <memory>

class InstrumentWithSeq_c : public Instrument_c
{
public:
    explicit InstrumentWithSeq_c(int outputs);
    ~InstrumentWithSeq_c() override;

    // Audio stopped: sequencer i (0..NumStepSeqs-1) made with the level of
    // its default steps; null when i is out of range or memory ran out.
    StepSeq_c* makeStepSeq(int i, int level);
    StepSeq_c* getStepSeq(int i) const;
    ChordMem_c* getChordMem() { return &chordMem; }

    // Audio stopped: each existing sequencer learns its index, this
    // instrument and StepSeqInstrumentSteps steps.
    void create();
    using Instrument_c::create;
    // Audio stopped: the instrument, then each sequencer and the chord memory
    // get the engine and play from the instrument's set.
    void create(Synth* synth, int instrument, int voices, bool drum) override;
    void setSampleRate(float rate) override;
    // Audio stopped: every sequencer back to its first step.
    void suspend() override;
    // Audio thread: the tempo reaches the sequencers at the next key.
    void notifyBPMChange() override;

    // Audio thread.
    void noteOn(NoteC_c note) override;
    void noteOff(NoteC_c note) override;
    void noteVanishes(int voice, int note) override;
    void unsustainNotes(int channel) override;
    void AllNotesOff(int channel) override;
    void renderBSL(int frames) override;
    void next16th() override;
    // The first sequencer's sync answer (0 without one).
    float getStepSeqSync(bool previous, int code) override;
    // Not the audio thread: switching off resets every sequencer first.
    void ReceiveMIDI(bool on) override;

    // Audio stopped or audio thread: the stair goes from -1 to 1 in n steps
    // (n >= 2) and back.
    void setStairGenSteps(int n);
    float getStairValue() const { return stairValue; }

    // Audio thread: the modulation value of sequencer i (0..3; others ignored).
    void setSlotFloat(int i, float value);
    float getSlotFloat(int i) const;
    // The cell voices bind as the modulation source of sequencer i; null
    // outside 0..3.
    const float* getSlotFloatPtr(int i) const;
    bool getSlotFlag(int i) const;

    // Any thread: a first key aligns the sequencers to the host's bar.
    void setBarAlignment(bool on) { barAlignment.store(on, std::memory_order_relaxed); }

    // Audio thread: whether any sequencer runs (the instrument then keeps
    // rendering without voices, so the steps go on).
    void updateKeepProcessing();

private:
    bool anyKeyHeld() const;
    void releaseThroughChord(NoteC_c key);

    std::unique_ptr<StepSeq_c> stepSeqs[NumStepSeqs];
    ChordMem_c chordMem;
    unsigned char slotFlags[NumStepSeqs] = {};
    float slotValues[NumStepSeqs] = {};
    float stairValue = 0.0f;
    float stairStep = 0.0f;
    std::atomic<bool> tempoChanged{false};
    std::atomic<bool> barAlignment{true};
};
