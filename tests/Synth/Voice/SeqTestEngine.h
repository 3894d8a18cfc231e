// A small engine for the sequencing instrument's tests: one
// InstrumentWithSeq_c with its four sequencers and chord memory, parameter
// sets of their own, and an engine that records every note the instrument
// starts and releases with the sample it happens on, instead of playing
// voices. Blocks are run as the audio thread would (processAll), with MIDI
// queued at frame offsets; the host's bar position is whatever the test says.
#pragma once

#include "CmdBuffer.h"
#include "HoldData.h"
#include "InstrumentWithSeq.h"
#include "Synth.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace SeqTest {

struct NoteEvent
{
    long frame;
    bool on;
    int note;
    int velocity;
    int channel;
};

inline void setTempo(double bpm)
{
    Bpm = bpm;
    RecBpm = 1.0 / bpm;
}

class SeqEngine;

struct SeqInstrument : InstrumentWithSeq_c
{
    SeqInstrument() : InstrumentWithSeq_c(2) {}
    bool getPosInBar(int* bar, int* pos) override
    {
        if (!playing)
            return false;
        *bar = barLength;
        *pos = barPosition + position;
        return true;
    }
    long now() const { return frame + position; }
    using Instrument_c::position;
    long frame = 0;
    bool playing = false;
    int barLength = 96000;
    int barPosition = 0;
};

class SeqEngine : public Synth
{
public:
    explicit SeqEngine(float rate = 48000.0f)
        : Synth(nullptr, {.programs = 4,
                          .parameterSlots = 16,
                          .hostParameters = 8,
                          .voices = 4,
                          .productName = "Seq",
                          .versionText = "1.0",
                          .codeName = "SeqTest"})
    {
        setTempo(120.0);
        Synth::open();
        for (int i = 0; i < NumStepSeqs; ++i)
            ins.makeStepSeq(i, 100);
        ins.create();
        for (int i = 0; i < NumStepSeqs; ++i)
            ins.getStepSeq(i)->getParaSetPtr(&seqSets[i], 1);
        ins.getChordMem()->getParaSetPtr(&chordSet, 1);
        ins.create(this, 0, 8, false);
        if (instruments)
            instruments[0] = &ins;
        ins.setSampleRate(rate);
        for (int i = 0; i < NumStepSeqs; ++i)
            ins.getStepSeq(i)->postprocessParaChange(0, -1);
    }
    ~SeqEngine() override
    {
        if (instruments)
            instruments[0] = nullptr;
        if (isOpen())
            closeShutdown();
        setTempo(120.0);
    }

    int noteOn(int, NoteC_c note, NoteC_c) override
    {
        events.push_back({ins.now(), true, note.note, note.velocity, note.channel});
        return -1;
    }
    void noteOff(int, NoteC_c note) override
    {
        events.push_back({ins.now(), false, note.note, note.velocity, note.channel});
    }

    StepSeq_c& seq(int i = 0) { return *ins.getStepSeq(i); }
    // A parameter of sequencer i changed as the user would change it.
    void set(int idx, int value, int i = 0) { seq(i).setParaVal(0, idx, value); }
    void setText(const std::string& text, int i = 0) { seq(i).setParaCharPtr(0, StepSeq_c::pStepData, text.c_str()); }
    void chord(int idx, int value) { ins.getChordMem()->setParaVal(0, idx, value); }

    void midi(int offset, int status, int data1, int data2)
    {
        const unsigned char m[3] = {static_cast<unsigned char>(status), static_cast<unsigned char>(data1),
                                    static_cast<unsigned char>(data2)};
        ins.remindEvent(offset, m);
    }
    void key(int note, int velocity = 100, int offset = 0, int channel = 0)
    {
        midi(offset, 0x90 | channel, note, velocity);
    }
    void release(int note, int offset = 0, int channel = 0) { midi(offset, 0x80 | channel, note, 0); }

    // Blocks of `block` frames until at least `frames` more have passed.
    void run(long frames, int block = 256)
    {
        for (long done = 0; done < frames; done += block) {
            ins.processAll(block);
            ins.frame += block;
        }
    }

    // The commands queued for the audio thread, taken, as "letter index".
    std::vector<std::string> takeAudioCommands()
    {
        std::vector<std::string> out;
        HoldData_c r;
        while (cmdQueues.toRT && cmdQueues.toRT->unholdEvent(&r))
            out.push_back(std::string(1, static_cast<char>(r.command)) + " " + std::to_string(r.index));
        return out;
    }

    std::vector<NoteEvent> ons() const
    {
        std::vector<NoteEvent> out;
        for (const NoteEvent& e : events)
            if (e.on)
                out.push_back(e);
        return out;
    }
    std::vector<int> onNotes() const
    {
        std::vector<int> out;
        for (const NoteEvent& e : events)
            if (e.on)
                out.push_back(e.note);
        return out;
    }
    // Notes started and not released yet, by (note, channel).
    std::vector<std::string> hanging() const
    {
        std::vector<std::string> open;
        for (const NoteEvent& e : events) {
            const std::string id = std::to_string(e.note) + "/" + std::to_string(e.channel);
            if (e.on) {
                open.push_back(id);
            } else {
                for (auto it = open.begin(); it != open.end(); ++it)
                    if (*it == id) {
                        open.erase(it);
                        break;
                    }
            }
        }
        return open;
    }

    SeqInstrument ins;
    std::vector<NoteEvent> events;

private:
    ParaSet_c* seqSets[NumStepSeqs] = {};
    ParaSet_c* chordSet = nullptr;
};

} // namespace SeqTest
