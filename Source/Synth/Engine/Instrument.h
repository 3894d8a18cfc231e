// Instrument_c: the MIDI instrument part of the engine. It turns the host's
// time-stamped MIDI messages into voices for one instrument:
//
// - the event queue holds the messages of the coming audio block with their
//   frame offsets; the block is rendered in stretches cut at those offsets
//   and at sixteenth-note boundaries, in pieces of at most MaxBlockSize
//   frames, so a note starts on the frame where the host placed it;
// - the parser applies each message: notes (transposition, drum path, mono
//   and legato with a memory of held keys, sustain pedal), controllers
//   (smoothed wheel, breath, foot and expression; volume, pan and four
//   general-purpose values; the pitch-bend range through RPN 0), pressure,
//   pitch bend, program and bank requests and system messages;
// - a clock of sixteenth notes calls next16th() at every boundary, four
//   tempo-synced phases run with the rendered frames and are re-aligned to
//   the host's bar at every note-on, and an optional delay line holds each
//   voice's control-rate values back by a number of control steps.
//
// The engine (Synth) starts and stops the voices through its voice table;
// this class decides what a message means for the instrument and renders the
// voices the table gives it.
//
// Threads:
// - audio: processAll and everything it calls, processMidi (also from the
//   engine's audio command queue), the note and controller operations, the
//   clock and the phases. They never allocate or wait; locks are only tried.
// - event thread (the thread delivering the host's events, usually the audio
//   thread): remindEvent, under the event lock, whose other holders keep it
//   for a few instructions only.
// - any thread: the settings setters (receive flags, voice limit,
//   transposition, legato, resolution, phase rates). What they change is
//   atomic; work that touches notes (lifting the pedals, clearing the mono
//   memory) is done at once on the audio thread and otherwise left to the
//   audio thread's next block.
// - not the audio thread: ReceiveMIDI, defineModDelay (it allocates; it
//   swaps the new delay rings in under the render lock), create.
#pragma once

#include "Capacities.h"
#include "Lock.h"
#include "Note.h"
#include "Part.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>

class Synth;
class InBuffer2_c;

class Instrument_c : public Part_c
{
public:
    // The source of milliseconds for the mono note memory: the system clock
    // unless a test injects its own. It must never go backwards.
    using Clock_t = int64_t (*)();

    // outputs: the instrument's output channels, clamped to 1..6.
    explicit Instrument_c(int outputs);
    // Frees the sustained-note list and the modulation-delay rings.
    ~Instrument_c() override;
    Instrument_c(const Instrument_c&) = delete;
    Instrument_c& operator=(const Instrument_c&) = delete;

    // --- Part_c operations ------------------------------------------------------
    // The part's handling, then the samples per sixteenth. Audio stopped.
    void setSampleRate(float rate) override;
    // Clears the four sync phases, then resumes the children. Audio held.
    void resume() override;
    // Audio thread (tempo change): the samples per sixteenth follow the tempo.
    void notifyBPMChange() override;

    using Part_c::create;
    using Part_c::getOutBuf;

    // --- The instrument's own operations, in slot order ------------------------
    // Binds the engine, the instrument index, the voice count (the voice
    // limit too) and the drum flag, and makes the sustained-note list (room
    // for SustainNotesPerVoice x voices); MidiDataReset when that worked.
    // Nothing for a null synth. Only while audio is stopped.
    virtual void create(Synth* synth, int instrument, int voices, bool drum);
    // Audio thread: each phase i advances by its rate x frames, kept in 0..1.
    virtual void renderSyncPhase(int frames);
    // Audio thread: the engine's bar length and position in frames, the
    // instrument's position in the block added; false without an engine or
    // while the host's transport is not playing.
    virtual bool getPosInBar(int* barLength, int* pos);
    // Audio thread: re-aligns every enabled phase with a rate to the bar
    // position; false (nothing changed) without a position.
    virtual bool Sync();
    // Event thread: queues message (3 bytes) at offset (frames into the next
    // block), after every queued message of the same offset. Dropped while
    // reception is off. When InstrumentEventCapacity messages are queued a
    // note-off still gets in: it takes the place of the note-on last in the
    // queue (else of the last message that is no note-off), or, when only
    // note-offs are queued, it is kept aside and applied after them.
    virtual void remindEvent(int offset, const unsigned char* message);
    // Audio thread: the instrument-level stage after the voices of a piece;
    // here it only tells whether voices are in use.
    virtual void render(int frames);
    // Audio thread: one block of frames (see processAll).
    virtual void processCore(int frames);
    // Audio thread: one block. Events are applied at their offsets (an offset
    // at or beyond the block at its end) under the render lock like the
    // rendering; when the render lock is refused the rest of the block stays
    // silent and the events not yet applied wait for the next block, at its
    // start.
    virtual void processAll(int frames);
    // Any thread but the audio thread. Switching off empties the queue and
    // stops every voice of the instrument at once (Synth::hardNoteOff).
    virtual void ReceiveMIDI(bool on);
    // Audio thread: all notes off on every channel, then every MIDI datum back.
    virtual void MidiReset();
    // Audio thread: applies one message; checkZones asks the engine whether
    // the instrument wants a note-on (key and velocity zones).
    virtual void processMidi(const unsigned char* message, bool checkZones);
    // Audio thread: pedal of channel (0..15) down or up; lifting it releases
    // the notes it held.
    virtual void handleSustainPedal(int channel, bool down);
    // Audio thread: controller (0..122 but 0 and 32) with value 0..127.
    virtual void processMidiCC(int channel, int controller, int value);
    // Audio thread: forgets a note of the mono memory (note: the note that
    // sounds, as the voice table holds it).
    virtual void clearMonoNoteOff(NoteC_c note);
    // Audio thread: channel pressure 0..1 as received; applied to every voice
    // of the instrument while aftertouch reception is on.
    virtual void setMIDIGlobalAftertouch(float pressure);
    // Audio thread: the staircase of the smoothed controllers over a piece
    // (one value per ControllerChunkFrames), handed to every voice in turn.
    virtual void prepareMIDICCValues(int frames);
    virtual void startMIDICCValues();
    virtual void updateMIDICCValues();
    virtual void syncMIDICCValues();
    // 0 here; the sequencing instrument answers its step position.
    virtual float getStepSeqSync(bool before, int x);
    // Audio thread: the delayed control-rate values of a voice for the
    // current piece (ModDelayRowValues in a row); null without a delay.
    virtual float* getModSamplesDelayed(int voice);
    // Any thread: reception of the modulation wheel, pitch wheel, pressure
    // and sustain pedal. Switching the wheel off zeroes its target; pressure
    // off applies 0 and on applies the pressure received; the pedal off
    // releases the held-back notes of every channel whose pedal is down.
    virtual void setFlagReceiveMW(bool on);
    virtual void setFlagReceivePW(bool on);
    virtual void setFlagReceiveAT(bool on);
    virtual void setFlagReceiveSP(bool on);
    // Any thread: transposition in semitones for the notes that start from now.
    virtual void setNoteOffs(int semitones);
    // Any thread: at most n voices at once (clamped to 0..voice count); 1 is
    // mono. The mono memory is cleared.
    virtual void setVoiceLimit(int n);
    virtual int getVoiceLimit();
    // Audio thread: written by the voice table at every voice start, true when
    // no other voice was held on the channel; read by subclasses. The channel
    // is clamped to 0..15.
    virtual bool getFirstNoteFlag(int channel)
    {
        return firstNoteFlags[std::clamp(channel, 0, NumMidiChannels - 1)];
    }
    // Audio thread: per-channel values of subclasses (-1 after a reset); i is
    // clamped to 0..15.
    virtual int getLastTriggered(int i);
    virtual void setFirstNoteFlag(int channel, bool on)
    {
        firstNoteFlags[std::clamp(channel, 0, NumMidiChannels - 1)] = on;
    }
    virtual void setLastTriggered(int i, int value);
    // Output index i and output end i + output count.
    virtual void setOutIdx(int i);
    // Any thread: the clock's step, 1 = a sixteenth note, larger values
    // longer steps; clamped to Resolution16thMin..Resolution16thMax.
    virtual void setResolution16th(double r);
    // Audio thread: starts played (transposed) with trigger handed on as the
    // note that caused it; the voice, or -1 (drum path, or no voice).
    virtual int noteOnCore(NoteC_c played, NoteC_c trigger);
    // Audio thread: releases what the key of note started, whatever the
    // transposition is now.
    virtual void noteOffCore(NoteC_c note);
    // Audio thread: the voice table is about to take voice away from this
    // instrument (note was its note); the table still shows its old state.
    virtual void noteVanishes(int voice, int note);
    // Audio thread: one stretch, under the render lock (tried; refused: the
    // block stops here) and the optional lock (tried; rendering goes on
    // without it), in pieces of at most MaxBlockSize frames.
    virtual void renderBSLC(int frames);
    // Not the audio thread: voices' control-rate values are held back by
    // steps control steps (0: no delay). The new rings are made first and
    // swapped in under the render lock. False, and nothing changed, for a
    // negative or too long delay, on the audio thread, or without memory.
    virtual bool defineModDelay(int steps);
    // Audio thread: releases the held-back notes of channel.
    virtual void unsustainNotes(int channel);
    // Audio thread: holds the note back for the pedal; false when there is no
    // room (the caller releases it at once).
    virtual bool sustainNote(NoteC_c note);
    // Audio thread: true when the pedal of the note's channel is down and
    // holds the note back; the key is then released when the pedal lifts.
    bool pedalHolds(NoteC_c note);
    // Audio thread: takes the first note held back for channel's pedal at
    // list position i or later out of the list, with i left where it stood,
    // so that a loop from i = 0 takes them all in order. False when none is
    // left.
    bool takeSustained(int channel, int& i, NoteC_c& note);
    // Audio thread: the engine releases the instrument's held voices; then a
    // channel 0..15 has its pedal lifted (its held-back notes released) and
    // its keys forgotten by the mono memory; a channel above 15 does so for
    // every channel.
    virtual void AllNotesOff(int channel);
    // Audio thread: aligns the sixteenth clock to a position in frames.
    virtual void offerSync(int pos);
    // Audio thread: called at every sixteenth-note boundary; empty here.
    virtual void next16th();
    // Buses to advance with the render position; null ends the list.
    virtual InBuffer2_c* getInBus(int i);
    virtual InBuffer2_c* getOutBuf(int i);
    // Audio thread: renderBSLC here; the sequencing instrument adds to it.
    virtual void renderBSL(int frames);
    // Audio thread: the voices of one piece, then render().
    virtual void renderAll(int frames);
    // Audio thread: after the last voice of a piece, before render(). A
    // class whose voices leave work for later finishes it here, while the
    // voices are still in the state their render left them in; nothing here.
    virtual void voicesRendered(int frames);
    // Audio thread: wheel, expression, pressure and pitch bend back to rest.
    virtual void MidiCCReset();
    // Audio thread (or while audio is stopped): every MIDI datum back to rest.
    virtual void MidiDataReset();
    // Audio thread: Sync(), then noteOnCore(note, note).
    virtual void noteOn(NoteC_c note);
    // Audio thread: held back while the channel's pedal is down, else
    // noteOffCore.
    virtual void noteOff(NoteC_c note);
    // Audio thread: frames to render before the next sixteenth boundary (at
    // least 1, at most frames); runs next16th() once when a boundary passed.
    virtual int checkFor16th(int frames);
    // Audio thread (mono): releases note (the note that sounds); when it was
    // the latest key and another key is held, that key sounds again.
    virtual void handleMonoNoteOff(NoteC_c note);
    // Audio thread (mono legato): the velocity of the lowest held note, or
    // note's own when none is held.
    virtual int getLegatoVelocity(NoteC_c note);
    // Audio thread: writes the control-rate values of a piece into the rings.
    virtual void delayModValues(int frames);

    // --- Non-virtual ------------------------------------------------------------
    // Audio thread (or while audio is stopped): forgets every held mono note.
    void clearMR();
    // Audio thread: gives a starting voice the applied channel pressure.
    void setNoteGlobalAftertouch(int voice);
    // Any thread: phase i (0..3) advances by rate per frame; others ignored.
    void setSyncStepUp(int i, double rate);

    // Phases are read by the modules that follow them; enables say which
    // phases a note-on re-aligns. Any thread; i outside 0..3 is ignored.
    double getSyncPhase(int i) const;
    void setSyncPhase(int i, double phase);
    void setSyncEnable(int i, bool on);
    // Any thread: the per-instrument "Legato" setting as applied.
    void setLegato(bool on) { legato.store(on, std::memory_order_relaxed); }
    bool getLegato() const { return legato.load(std::memory_order_relaxed); }
    bool isMono() const { return mono.load(std::memory_order_relaxed); }
    // Audio thread: whether the voice last taken away was still held.
    bool getStillHeld() const { return stillHeld; }
    int getVoiceCount() const { return voiceCount; }
    // The voice rendering inside renderAll, -1 when none.
    int getCurrentVoice() const { return currentVoice; }
    // Channel pressure as applied (0 while reception is off) and as received.
    float getAftertouch() const { return channelPressure.load(std::memory_order_relaxed); }
    float getChannelPressureReceived() const { return channelPressureReceived; }
    float getAlternateValue() const { return alternate; }
    float getLastNote() const { return lastNote; }
    bool getSustainPedal(int channel) const;
    int getSustainedCount() const { return sustainedCount; }
    double getSamplesPer16th() const { return samplesPer16th.load(std::memory_order_relaxed); }
    double getResolution16th() const { return resolution16th.load(std::memory_order_relaxed); }
    int getModDelay() const { return modDelaySteps; }
    // Audio thread: row of control-rate values (ModDelayRowValues) that
    // voice slot v (clamped to 0..NumVoices-1) fills while it renders.
    float* getModSampleRow(int voice);
    // Not while the audio thread uses the instrument. Null restores the
    // system clock.
    void setClock(Clock_t c);

    int getInstrumentIndex() const { return instrumentIndex; }
    int getEventCount() const { return eventCount.load(std::memory_order_relaxed); }
    int getOutIdx() const { return outIdx.load(std::memory_order_relaxed); }
    int getOutEnd() const { return outEnd.load(std::memory_order_relaxed); }
    int getOutputCount() const { return outputCount; }
    bool getReceiveMIDI() const { return receiveMIDI.load(); }

    // --- State, in the order the instrument keeps it ---------------------------
    // Controller values the voices bind as modulation sources: written by the
    // audio thread only. lastNote is the last note-on's note / 127.
    float lastNote = 60.0f / 127.0f;
    std::atomic<float> channelPressure{0.0f}; // applied: 0 while reception is off
    float pitchBend = 0.0f;   // smoothed, -1..1
    float modWheel = 0.0f;    // smoothed, 0..1
    float breath = 0.0f;      // CC 2, smoothed, 0..1
    float foot = 0.0f;        // CC 4, smoothed, 0..1
    float expression = 1.0f;  // CC 11, smoothed, 0..1
    float volume = 0.0f;      // CC 7, -1..0
    float pan = 0.0f;         // CC 10, -1..1 (exactly 0 at 64)
    float general[4] = {};    // CC 16..19, -1..1

    // Kept by the voice table (PolyNoteTable_c), each within 0..voice count:
    // this instrument's voices in use, its held voices, and set at every
    // voice start.
    std::atomic<int> voicesInUse{0};
    std::atomic<bool> activeFlag{true}; // voices to render
    bool keepProcessing = false;        // a subclass renders without voices or events
    std::atomic<int> heldVoices{0};
    std::atomic<bool> voiceStarted{false};

    // A holder on another thread keeps the audio thread out of the
    // instrument's rendering; the audio thread only tries it.
    Lock_c renderLock;
    // Taken by parameter writes; tried by rendering, which goes on without it.
    Lock_c optionalLock;

protected:
    struct Event
    {
        int offset;                // frames into the block
        unsigned char message[4];  // status, data 1, data 2, 0
    };
    // The smoothed controllers, in the order of their staircase rows.
    enum SmoothedCC_t : int { ccPitchBend = 0, ccModWheel, ccBreath, ccFoot, ccExpression, ccSmoothedCount };

    float& smoothedCurrent(int k);
    float smoothedTarget(int k) const;
    // The note a key starts with a transposition: folded into 0..120.
    static int transpose(int note, int semitones);
    // The note that key (of note's channel) started, or its transposition now.
    int startedNote(const NoteC_c& note) const;
    // Work left by setters on other threads; the audio thread does it here.
    void applyRequests();
    // Frees the pedal of every channel whose pedal is down, releasing its notes.
    void liftAllPedals();
    // Mono memory: the key held most recently (ties: the lower note), other
    // than except and, with skipPedal, than the keys the pedal is releasing;
    // -1 when none. *time gets its note-on time.
    int latestKey(int except, bool skipPedal, int64_t* time) const;
    // All notes off's work on one channel 0..15: the pedal lifted, the keys
    // forgotten.
    void releaseChannel(int channel);
    // S from the sample rate, the tempo and the resolution.
    void updateSamplesPer16th();
    // Walks the buses the render position moves: incOffs(n), or resetOffs
    // for n < 0.
    void moveBuses(int n);
    // Renders voice v for a piece; true when the voice has finished.
    bool renderVoice(int voice, int frames);
    // The note-offs kept aside while the queue was full. Under the event lock.
    void applyPendingNoteOffs();
    void queuePendingNoteOffs();
    int64_t now() const { return clock(); }

    std::atomic<int> eventCount{0}; // written under the event lock; read without it only to see whether a block has work
    float alternate = -1.0f;        // the "Alternate" modulation source: its sign flips at every note-on
    std::atomic<double> syncPhase[NumSyncPhases] = {};
    std::atomic<bool> syncEnable[NumSyncPhases] = {};
    int instrumentIndex = -1;
    std::atomic<bool> legato{false};
    int sustainedCount = 0;
    std::unique_ptr<NoteC_c[]> sustained; // room for SustainNotesPerVoice x voice count
    int sustainedCapacity = 0;
    int outputCount = 1;
    float ccRows[ccSmoothedCount][CCSmoothChunks] = {}; // one value per chunk of the piece
    std::atomic<bool> receiveMIDI{true};
    int position = 0; // frames of the current block rendered
    std::atomic<float> modWheelTarget{0.0f};
    std::atomic<double> samplesPer16th{11025.0}; // S: frames of one clock step
    double counter16th = 2.0;                     // c: frames since the last boundary (+2)
    std::atomic<double> resolution16th{1.0};      // r
    float channelPressureReceived = 0.0f;
    float pitchBendTarget = 0.0f;
    float breathTarget = 0.0f;
    float footTarget = 0.0f;
    float expressionTarget = 1.0f;
    bool sustainPedal[NumMidiChannels] = {};
    // Modulation delay: D control steps, ring length L = D + ModDelayRingExtra,
    // positions in the rings, frames written ahead of the piece; NumVoices
    // rings of L + ModDelayRowValues + 1 floats in one block.
    int modDelaySteps = 0;
    int modRingLength = 0;
    int modWritePos = 0;
    int modReadPos = 0;
    int modCarry = 0;
    std::unique_ptr<float[]> modRings;
    int voiceCount = 0;
    bool drum = false;
    bool firstNoteFlags[NumMidiChannels] = {};
    int lastTriggered[NumMidiChannels] = {};
    bool stillHeld = false;
    Event events[InstrumentEventCapacity] = {};

public:
    // Guards the event queue between event delivery and the audio thread.
    Lock_c eventLock;

protected:
    std::atomic<double> syncRate[NumSyncPhases] = {}; // phase per frame
    std::atomic<bool> receiveMW{true};
    std::atomic<bool> receivePW{true};
    std::atomic<bool> receiveAT{true};
    std::atomic<bool> receiveSP{true};
    std::atomic<int> transposition{0};
    int currentVoice = -1;
    std::atomic<int> voiceLimit{0};
    std::atomic<bool> mono{false};
    // The mono note memory, indexed by the note that sounds (the transposed
    // note, so a release finds its slot whatever the transposition is now):
    // note-on time in ms (-1: not held) and the note record.
    int64_t monoTime[NumMidiNotes] = {};
    NoteC_c monoNote[NumMidiNotes];
    // Keys whose note-offs the pedal is releasing right now (mono): let go
    // already, they are no key the voice may return to.
    bool pedalReleased[NumMidiNotes] = {};
    int ccChunkIndex = 0;
    int ccChunkCount = 0;
    std::atomic<int> outIdx{0};
    std::atomic<int> outEnd{1};
    bool rpnComplete = true; // the RPN number's pair (CC 101, CC 100) is complete
    int rpnNumber = -1;

    // The note each key (channel, note) started, -1 for none yet: a release
    // takes this one, so a transposition changed while the key is held (or a
    // pedal holds it) never leaves a voice hanging.
    int8_t keyNote[NumMidiChannels][NumMidiNotes];
    // Note-offs that found the queue full: bit (channel, note). Under the
    // event lock.
    uint64_t pendingNoteOffs[NumMidiChannels][NumMidiNotes / 64] = {};
    bool anyPendingNoteOff = false;
    bool stretchRefused = false; // the render lock was busy in this block
    // Control-rate values of each voice slot for the modulation delay.
    float modSampleRows[NumVoices][ModDelayRowValues] = {};
    // Requests of setters on other threads, done by the audio thread.
    std::atomic<bool> liftPedalsRequest{false};
    std::atomic<bool> clearMonoRequest{false};
    Clock_t clock;
};
