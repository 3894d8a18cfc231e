#include "InstrumentWithSeq.h"

#include "Synth.h"

#include <algorithm>
#include <new>

namespace {

// The note that primes the sequencers and the chord memory at creation, so
// their parameters are bound before the first key.
constexpr int PrimeNote = 60;
constexpr int PrimeVelocity = 100;

// The stair turns a little before its ends, so rounding never carries it
// past them.
constexpr float StairTurn = 0.9975f;

} // namespace

InstrumentWithSeq_c::InstrumentWithSeq_c(int outputs) : Instrument_c(outputs) {}

InstrumentWithSeq_c::~InstrumentWithSeq_c() = default;

StepSeq_c* InstrumentWithSeq_c::makeStepSeq(int i, int level)
{
    if (i < 0 || i >= NumStepSeqs)
        return nullptr;
    stepSeqs[i].reset(new (std::nothrow) StepSeq_c(level));
    slotFlags[i] = stepSeqs[i] ? 1 : 0;
    return stepSeqs[i].get();
}

StepSeq_c* InstrumentWithSeq_c::getStepSeq(int i) const
{
    return i >= 0 && i < NumStepSeqs ? stepSeqs[i].get() : nullptr;
}

void InstrumentWithSeq_c::create()
{
    for (int i = 0; i < NumStepSeqs; ++i)
        if (stepSeqs[i])
            stepSeqs[i]->create(i, this, StepSeqInstrumentSteps);
}

void InstrumentWithSeq_c::create(Synth* s, int instrument, int voices, bool drumFlag)
{
    Instrument_c::create(s, instrument, voices, drumFlag);
    if (!s)
        return;
    Note_c prime;
    prime.set(PrimeNote, PrimeVelocity);
    for (auto& seq : stepSeqs) {
        if (!seq)
            continue;
        seq->setSynth(s);
        seq->Part_c::prepProc(instrument, prime, false);
    }
    chordMem.setSynth(s);
    chordMem.setPlaySet(std::max(instrument, 0));
    chordMem.Part_c::prepProc(instrument, prime, false);
}

void InstrumentWithSeq_c::setSampleRate(float rate)
{
    Instrument_c::setSampleRate(rate);
    for (auto& seq : stepSeqs)
        if (seq)
            seq->setSampleRate(rate);
    chordMem.setSampleRate(rate);
}

void InstrumentWithSeq_c::suspend()
{
    Instrument_c::suspend();
    for (auto& seq : stepSeqs)
        if (seq)
            seq->suspend();
    updateKeepProcessing();
}

void InstrumentWithSeq_c::notifyBPMChange()
{
    Instrument_c::notifyBPMChange();
    tempoChanged.store(true, std::memory_order_relaxed);
}

bool InstrumentWithSeq_c::anyKeyHeld() const
{
    for (const auto& seq : stepSeqs)
        if (seq && seq->getHeldCount() > 0)
            return true;
    return false;
}

void InstrumentWithSeq_c::noteOn(NoteC_c note)
{
    // The tempo-synced phases align to the bar at every key, as in the
    // plain instrument.
    Sync();
    if (tempoChanged.exchange(false, std::memory_order_relaxed))
        for (auto& seq : stepSeqs)
            if (seq)
                seq->notifyBPMChange();
    if (barAlignment.load(std::memory_order_relaxed) && !anyKeyHeld()) {
        int bar = 0;
        int pos = 0;
        if (getPosInBar(&bar, &pos)) {
            for (auto& seq : stepSeqs)
                if (seq)
                    seq->offerSync(pos);
            offerSync(pos);
        }
    }
    if (chordMem.getMode() == ChordMem_c::mLearn)
        chordMem.remindNote(note);
    bool first = true;
    NoteC_c chordNote;
    while (chordMem.getNextOnNote(&first, note, &chordNote))
        for (auto& seq : stepSeqs)
            if (seq)
                seq->noteOn(chordNote, note);
    // Without sequencer 0 the keys still play.
    if (!stepSeqs[0])
        noteOnCore(note, note);
}

void InstrumentWithSeq_c::releaseThroughChord(NoteC_c key)
{
    bool first = true;
    NoteC_c chordNote;
    while (chordMem.getNextOffNote(&first, key, &chordNote))
        for (auto& seq : stepSeqs)
            if (seq)
                seq->noteOff(chordNote);
    if (!stepSeqs[0])
        noteOffCore(key);
}

void InstrumentWithSeq_c::noteOff(NoteC_c note)
{
    if (!pedalHolds(note))
        releaseThroughChord(note);
}

void InstrumentWithSeq_c::unsustainNotes(int channel)
{
    if (!sustained)
        return;
    int i = 0;
    NoteC_c note;
    while (takeSustained(channel, i, note))
        releaseThroughChord(note);
}

void InstrumentWithSeq_c::noteVanishes(int voice, int note)
{
    Instrument_c::noteVanishes(voice, note);
    for (auto& seq : stepSeqs)
        if (seq)
            seq->noteVanishes(note);
}

void InstrumentWithSeq_c::AllNotesOff(int channel)
{
    for (auto& seq : stepSeqs)
        if (seq)
            seq->AllNotesOff();
    // The keys count as released: a later release of one of them must not
    // end notes a new strike started.
    chordMem.forgetKeys(channel);
    Instrument_c::AllNotesOff(channel);
    updateKeepProcessing();
}

void InstrumentWithSeq_c::renderBSL(int frames)
{
    for (auto& seq : stepSeqs)
        if (seq)
            seq->renderBSL(frames);
    // Sequencer 0 renders the voices; without it the instrument does.
    if (!stepSeqs[0])
        renderBSLC(frames);
    updateKeepProcessing();
}

void InstrumentWithSeq_c::updateKeepProcessing()
{
    bool running = false;
    for (const auto& seq : stepSeqs)
        if (seq && seq->isRunning())
            running = true;
    keepProcessing = running;
}

void InstrumentWithSeq_c::next16th()
{
    Instrument_c::next16th();
    if (stairStep == 0.0f)
        return;
    stairValue += stairStep;
    if (stairValue > StairTurn) {
        stairStep = -stairStep;
        stairValue = 1.0f;
    } else if (stairValue < -StairTurn) {
        stairStep = -stairStep;
        stairValue = -1.0f;
    }
}

void InstrumentWithSeq_c::setStairGenSteps(int n)
{
    if (n < 2)
        return;
    stairStep = 2.0f / static_cast<float>(n - 1);
    // The largest value -1 + k x step below 0.
    float v = -1.0f;
    while (v + stairStep < 0.0f)
        v += stairStep;
    stairValue = v;
}

float InstrumentWithSeq_c::getStepSeqSync(bool previous, int code)
{
    for (auto& seq : stepSeqs)
        if (seq)
            return seq->getSync(previous, code);
    return 0.0f;
}

void InstrumentWithSeq_c::ReceiveMIDI(bool on)
{
    if (!on && getReceiveMIDI())
        for (auto& seq : stepSeqs)
            if (seq)
                seq->requestFullReset(true);
    Instrument_c::ReceiveMIDI(on);
}

void InstrumentWithSeq_c::setSlotFloat(int i, float value)
{
    if (i >= 0 && i < NumStepSeqs)
        slotValues[i] = value;
}

float InstrumentWithSeq_c::getSlotFloat(int i) const
{
    return i >= 0 && i < NumStepSeqs ? slotValues[i] : 0.0f;
}

const float* InstrumentWithSeq_c::getSlotFloatPtr(int i) const
{
    return i >= 0 && i < NumStepSeqs ? &slotValues[i] : nullptr;
}

bool InstrumentWithSeq_c::getSlotFlag(int i) const
{
    return i >= 0 && i < NumStepSeqs && slotFlags[i] != 0;
}
