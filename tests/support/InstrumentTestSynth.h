// An engine for the instrument tests that records what the instrument asks
// of it (notes started and released, drum notes, zone questions, system
// messages, controllers, all notes off) instead of playing voices, and an
// instrument that lets a test look at its protected state. The engine is
// opened, so its settings parts have their sets and its command rings run.
#pragma once

#include "CmdBuffer.h"
#include "HoldData.h"
#include "Instrument.h"
#include "Synth.h"
#include "Tone.h"

#include <string>
#include <vector>

namespace InstrumentTest {

// The instrument with its protected state in reach of the tests.
struct ProbeInstrument : Instrument_c
{
    explicit ProbeInstrument(int outputs = 2) : Instrument_c(outputs) {}
    using Instrument_c::breathTarget;
    using Instrument_c::ccChunkCount;
    using Instrument_c::ccRows;
    using Instrument_c::expressionTarget;
    using Instrument_c::footTarget;
    using Instrument_c::modWheelTarget;
    using Instrument_c::monoNote;
    using Instrument_c::monoTime;
    using Instrument_c::pitchBendTarget;
    using Instrument_c::position;
    using Instrument_c::counter16th;
    using Instrument_c::receiveAT;
    using Instrument_c::receiveMW;
    using Instrument_c::receiveSP;
    using Instrument_c::transposition;

    // A message of up to three bytes applied as the audio thread would.
    void midi(int status, int data1 = 0, int data2 = 0, bool checkZones = true)
    {
        const unsigned char m[3] = {static_cast<unsigned char>(status), static_cast<unsigned char>(data1),
                                    static_cast<unsigned char>(data2)};
        processMidi(m, checkZones);
    }
    void key(int note, int velocity, int channel = 0) { midi(0x90 | channel, note, velocity); }
    void release(int note, int channel = 0) { midi(0x80 | channel, note, 0); }
    void cc(int controller, int value, int channel = 0) { midi(0xB0 | channel, controller, value); }
};

// A voice that sounds until a few blocks after its release or quick fade,
// then reports itself finished (the real voice is built elsewhere).
struct FinishingVoice : Tone_c
{
    static constexpr int TailBlocks = 3;
    FinishingVoice() : Tone_c(false) {}
    void prepProc(int, NoteC_c n, bool, bool) override
    {
        note = n;
        tail = -1;
    }
    void NoteOff(int, Note_c) override
    {
        if (tail < 0)
            tail = TailBlocks;
    }
    void quickFadeOut() override { NoteOff(0, Note_c()); }
    bool render(int) override { return tail >= 0 && tail-- == 0; }
    int tail = -1; // blocks left after the release, -1 while held
};

class RecordingSynth : public Synth
{
public:
    explicit RecordingSynth(int instrumentCount = 2, audioMasterCallback host = nullptr)
        : Synth(host, {.insProgramMemories = instrumentCount,
                       .programs = 4,
                       .parameterSlots = 16,
                       .hostParameters = 8,
                       .instruments = instrumentCount,
                       .voices = 4,
                       .productName = "Rec",
                       .versionText = "1.0",
                       .codeName = "InsTest"})
    {
        Synth::open();
        // The test takes the idle side's records itself: the engine's own
        // idle timer would drain them first on a machine slowed past its
        // one-second takeover.
        idleTimer.stopTimer();
        for (int i = 0; i < instrumentCount && i < 4; ++i) {
            own[i].create(this, i, 4, false);
            if (instruments)
                instruments[i] = &own[i];
        }
    }
    ~RecordingSynth() override
    {
        if (isOpen())
            closeShutdown();
    }

    ProbeInstrument& ins(int i = 0) { return own[i]; }

    int noteOn(int ins, NoteC_c note, NoteC_c trigger) override
    {
        log.push_back("on " + std::to_string(ins) + " " + text(note) +
                      (trigger.note != note.note ? " from " + std::to_string(trigger.note) : ""));
        return nextVoice;
    }
    void noteOff(int ins, NoteC_c note) override { log.push_back("off " + std::to_string(ins) + " " + text(note)); }
    void DrumNoteOn(int ins, NoteC_c note, NoteC_c) override
    {
        log.push_back("drum " + std::to_string(ins) + " " + text(note));
    }
    bool InstrumentWants(int, NoteC_c note) override { return note.note >= zoneLow && note.note <= zoneHigh; }
    void processMidiFx(const unsigned char* m) override { log.push_back("fx " + hex(m[0])); }
    void processMidiCC(const unsigned char* m) override
    {
        log.push_back("engine cc " + std::to_string(m[1] & 0x7F) + " " + std::to_string(m[2] & 0x7F));
    }
    void AllNotesOff(int ins) override { log.push_back("all off " + std::to_string(ins)); }

    // The records queued for the idle side, taken, as "command index value".
    std::vector<std::string> takeIdleRecords()
    {
        std::vector<std::string> out;
        HoldData_c r;
        while (cmdQueues.toGUI && cmdQueues.toGUI->unholdEvent(&r))
            out.push_back(std::to_string(r.command) + " " + std::to_string(r.index) + " " + std::to_string(r.value));
        return out;
    }
    std::vector<std::string> take()
    {
        std::vector<std::string> out;
        out.swap(log);
        return out;
    }

    static std::string text(const NoteC_c& n)
    {
        return std::to_string(n.note) + "/" + std::to_string(n.velocity) + "/" + std::to_string(n.channel);
    }
    static std::string hex(int b)
    {
        static const char* digits = "0123456789ABCDEF";
        return std::string{digits[(b >> 4) & 15], digits[b & 15]};
    }

    std::vector<std::string> log;
    int zoneLow = 0;
    int zoneHigh = 127;
    int nextVoice = 0;

private:
    ProbeInstrument own[4];
};

using Log = std::vector<std::string>;

} // namespace InstrumentTest
