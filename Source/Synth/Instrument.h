// Instrument_c: the MIDI instrument part of the engine. It queues the MIDI
// messages of the coming audio block with their frame offsets and renders the
// block in stretches cut at those offsets, in pieces of at most MaxBlockSize
// frames, so a note starts on the frame the host placed it.
//
// What is here is the queue, the piecewise render with its three locks, the
// reception switch and the instrument's output index. The parser, the note
// and controller state and the clock come with the MIDI work, which builds
// this class out; until then a queued message is taken at its offset and
// processMidi does nothing with it.
//
// Threads: remindEvent runs on the thread that delivers the host's events
// (usually the audio thread) and takes the event lock, whose other holders
// keep it for a few instructions only; processCore and everything below it
// run on the audio thread and only try locks. ReceiveMIDI runs on any thread
// but the audio thread.
#pragma once

#include "Capacities.h"
#include "Lock.h"
#include "Part.h"

#include <algorithm>
#include <atomic>
#include <cstdint>

class Synth;

class Instrument_c : public Part_c
{
public:
    // outputs: the instrument's output channels, clamped to 1..6.
    explicit Instrument_c(int outputs);
    ~Instrument_c() override;

    // Audio thread (hold): the sync phases, then the children.
    void resume() override;

    using Part_c::create;
    using Part_c::getOutBuf;
    // Binds the engine, the instrument index and the voice count. Nothing for
    // a null synth. Only while audio is stopped.
    virtual void create(Synth* synth, int instrument, int voices, bool drum);

    // Event thread: queues message (3 bytes) at offset (frames into the next
    // block), after every queued message of the same offset. Dropped while
    // reception is off or when InstrumentEventCapacity messages are queued.
    virtual void remindEvent(int offset, const unsigned char* message);
    // Audio thread: the instrument-level stage after the voices of a piece;
    // here it only tells whether voices are in use.
    virtual void render(int frames);
    // Audio thread: one block (see processAll).
    virtual void processCore(int frames);
    virtual void processAll(int frames);
    // Any thread but the audio thread. Switching off empties the queue and
    // stops every voice of the instrument at once (Synth::hardNoteOff).
    virtual void ReceiveMIDI(bool on);
    // Audio thread: applies one message (the MIDI work gives the parser).
    virtual void processMidi(const unsigned char* message, bool checkZones);
    // 0 here; the sequencing instrument answers its step position.
    virtual float getStepSeqSync(bool before, int x);
    // Output index i and output end i + output count.
    virtual void setOutIdx(int i);
    // Audio thread: frames to render before the next sixteenth-note boundary
    // (the clock comes with the MIDI work; here the whole stretch).
    virtual int checkFor16th(int frames);
    // Audio thread: one stretch, under the render lock (tried) and the
    // optional lock (tried; rendering goes on without it).
    virtual void renderBSLC(int frames);
    virtual void renderBSL(int frames);
    // Audio thread: the voices of one piece, then render().
    virtual void renderAll(int frames);
    // Bus i to advance with the render position; null ends the list.
    virtual InBuffer2_c* getInBus(int i);
    virtual InBuffer2_c* getOutBuf(int i);

    // Audio thread: written by the voice table at every voice start, true when
    // no other voice was held on the channel; read by subclasses. The channel
    // is clamped to 0..15.
    virtual bool getFirstNoteFlag(int channel)
    {
        return firstNoteFlags[std::clamp(channel, 0, NumMidiChannels - 1)];
    }
    virtual void setFirstNoteFlag(int channel, bool on)
    {
        firstNoteFlags[std::clamp(channel, 0, NumMidiChannels - 1)] = on;
    }
    // Audio thread: the voice table is about to take voice away from this
    // instrument (note was its note); the table still shows its old state.
    // The MIDI work gives the body (the still-held flag for legato glides).
    virtual void noteVanishes(int voice, int note) { (void)voice, (void)note; }

    int getInstrumentIndex() const { return instrumentIndex; }
    int getEventCount() const { return eventCount.load(std::memory_order_relaxed); }
    int getOutIdx() const { return outIdx; }
    int getOutputCount() const { return outputCount; }
    bool getReceiveMIDI() const { return receiveMIDI.load(); }

    // A holder on another thread keeps the audio thread out of the
    // instrument's rendering; the audio thread only tries it.
    Lock_c renderLock;
    // Taken by parameter writes; tried by rendering, which goes on without it.
    Lock_c optionalLock;
    // Guards the event queue between event delivery and the audio thread.
    Lock_c eventLock;

    std::atomic<int> voicesInUse{0};
    // Kept by the voice table (PolyNoteTable_c) with voicesInUse, each within
    // 0..voice count: this instrument's held voices, and set at every voice start.
    std::atomic<int> heldVoices{0};
    std::atomic<bool> voiceStarted{false};
    std::atomic<bool> activeFlag{true};    // voices to render
    bool keepProcessing = false;            // a subclass renders without voices or events

protected:
    struct Event
    {
        int offset;                // frames into the block
        unsigned char message[4];  // status, data 1, data 2, 0
    };

    int instrumentIndex = -1;
    int voiceCount = 0;
    int voiceLimit = 0;
    bool drum = false;
    int outputCount = 1;
    int outIdx = 0;
    int outEnd = 1;
    int position = 0;       // frames of the current block rendered
    int currentVoice = -1;
    bool stretchRefused = false; // the render lock was busy in this block
    double syncPhase[4] = {};
    bool firstNoteFlags[NumMidiChannels] = {};
    std::atomic<bool> receiveMIDI{true};
    Event events[InstrumentEventCapacity] = {};
    // Written under the event lock; read without it only to see whether a
    // block has anything to do.
    std::atomic<int> eventCount{0};
};
