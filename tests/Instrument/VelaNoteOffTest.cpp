// Every note-on meets its note-off: after a phrase whose keys were all let go
// (and whose sustain pedals are up) no voice of the plug-in is still held,
// whatever path the notes took: the same key on two channels, a key struck
// again while down, voices taken by later keys, mono glides, the chord
// memory, the arpeggiator, the sustain pedal, and settings changed while keys
// are down. A held voice is a stuck note; a released voice that still sounds
// is a release, which ends: the cases tell the two apart by the voice table's
// state and by the output falling silent.
//
// The table runs twice: with the voice table's clock following the rendered
// time, and with one frozen millisecond for the whole phrase, as in a render
// faster than real time, where every key of a chord (and many a release)
// falls into the same millisecond.
#include "VelaPlayer.h"

#include "ChordMem.h"
#include "Envelope.h"
#include "PolyNoteTable.h"
#include "StepSeq.h"
#include "VelaExtTable.h"
#include "VelaGlo.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace VelaExt;

constexpr int Ch1 = 0; // MIDI channel 1
constexpr int Ch6 = 5; // MIDI channel 6

// The clock of the voice table and the mono memory: milliseconds of the
// rendered time, or one millisecond that never moves.
int64_t testMilliseconds = 1;
bool clockFrozen = false;
int64_t testClock()
{
    return testMilliseconds;
}

// The plug-in with the test clock, a short release and every effect off, so
// a released voice ends within a few blocks and silence means no voice.
class Rig
{
public:
    static constexpr int ReleaseMs = 30;

    Rig()
    {
        testMilliseconds = 1;
        p.plugin().getPolyNoteTable()->setClock(&testClock);
        p.plugin().getInstPtr(0)->setClock(&testClock);
        p.set(ModEnvAmp, EnvADSFR_c::pRTime, ReleaseMs);
        p.setGlobal(VelaGlo_c::gpEffOn0, 0);
        p.setGlobal(VelaGlo_c::gpEffOn1, 0);
        for (int k = 0; k < 4; ++k)
            p.setGlobal(VelaGlo_c::gpEffXOn0 + 2 * k, 0);
    }

    void on(int key, int channel = Ch1, int velocity = 100) { p.midi(0x90 | channel, key, velocity, offset()); }
    void off(int key, int channel = Ch1) { p.midi(0x80 | channel, key, 64, offset()); }
    void pedal(bool down, int channel = Ch1) { p.midi(0xB0 | channel, 64, down ? 127 : 0, offset()); }
    // Renders n blocks; the messages sent so far take effect in the first.
    void blocks(int n = 1)
    {
        for (int i = 0; i < n; ++i) {
            clearOut();
            p.render(static_cast<double>(VelaPlayer::Block) / VelaPlayer::Rate, out);
            if (!clockFrozen)
                testMilliseconds += 1000 * VelaPlayer::Block / static_cast<int>(VelaPlayer::Rate);
            next = 0;
        }
    }
    // Seconds of audio; the peak magnitude of both outputs over them.
    float renderPeak(double seconds)
    {
        clearOut();
        p.render(seconds, out);
        float peak = 0.0f;
        for (const auto& channel : out)
            for (float x : channel)
                peak = std::max(peak, std::fabs(x));
        return peak;
    }

    // Voices whose key is still down for the voice table.
    std::vector<std::string> heldVoices()
    {
        std::vector<std::string> held;
        const PolyNoteTable_c* table = p.plugin().getPolyNoteTable();
        for (int v = 0; v < table->getVoiceCount(); ++v) {
            const PolyNote_t* e = table->get(v);
            if (e->state == NoteStateOn)
                held.push_back("note " + std::to_string(e->note) + " channel " + std::to_string(e->channel + 1));
        }
        return held;
    }
    int voicesInUse() { return p.plugin().getPolyNoteTable()->getInUse(); }

    VelaPlayer p;

private:
    // Messages of one block go at rising frames, as a host sends them.
    int offset()
    {
        next = std::min(next + 16, VelaPlayer::Block - 1);
        return next;
    }
    void clearOut()
    {
        for (auto& channel : out)
            channel.clear();
    }

    std::array<std::vector<float>, 2> out;
    int next = 0;
};

// The chord memory learns the keys as a musician teaches it (each played and
// let go in "Learn"), then plays the chord.
void playChord(Rig& r, const std::vector<int>& keys)
{
    r.p.set(ModChordMem, ChordMem_c::pOpMode, ChordMem_c::mLearn);
    for (int key : keys) {
        r.on(key);
        r.off(key);
    }
    r.blocks();
    r.p.set(ModChordMem, ChordMem_c::pOpMode, ChordMem_c::mPlay);
}

struct Case
{
    const char* what;
    std::function<void(Rig&)> phrase; // settings and messages; every key let go at the end
};

const Case Cases[] = {
    {"the same key on two channels, released in order",
     [](Rig& r) {
         r.on(60, Ch1);
         r.on(60, Ch6);
         r.blocks();
         r.off(60, Ch1);
         r.off(60, Ch6);
     }},
    {"the same key on two channels, released the other way round",
     [](Rig& r) {
         r.on(60, Ch1);
         r.on(60, Ch6);
         r.blocks();
         r.off(60, Ch6);
         r.blocks();
         r.off(60, Ch1);
     }},
    {"a key struck again while down",
     [](Rig& r) {
         r.on(60);
         r.blocks();
         r.on(60);
         r.blocks();
         r.off(60);
         r.off(60);
     }},
    {"two voices for four keys: later keys take the voices",
     [](Rig& r) {
         r.p.setGlobal(VelaGlo_c::gpVoices, 2);
         for (int key : {60, 62, 64, 65})
             r.on(key);
         r.blocks();
         for (int key : {62, 60, 65, 64})
             r.off(key);
     }},
    {"mono: a later key on another channel takes the voice",
     [](Rig& r) {
         r.p.setGlobal(VelaGlo_c::gpVoices, 1);
         r.on(60, Ch1);
         r.blocks();
         r.on(64, Ch6);
         r.blocks();
         r.off(64, Ch6);
         r.blocks();
         r.off(60, Ch1);
     }},
    {"mono legato: keys struck again and released in any order",
     [](Rig& r) {
         r.p.setGlobal(VelaGlo_c::gpVoices, 1);
         r.p.setInstrumentSetting(SynGloInsPara::Legato, 1);
         r.on(55);
         r.blocks();
         r.on(57);
         r.blocks();
         r.p.setInstrumentSetting(SynGloInsPara::NoteFade, -3);
         r.on(55);
         r.blocks();
         r.off(55);
         r.blocks();
         r.off(55);
         r.off(57);
     }},
    {"a chord memory chord that holds a note twice",
     [](Rig& r) {
         playChord(r, {60, 64, 67, 60});
         r.on(50);
         r.blocks();
         r.off(50);
     }},
    {"a chord memory key struck again after the chord changed",
     [](Rig& r) {
         playChord(r, {60, 64, 67});
         r.on(50);
         r.blocks();
         playChord(r, {60, 63, 66});
         r.on(50);
         r.blocks();
         r.off(50);
         r.blocks();
         r.off(50);
     }},
    {"a chord memory key on two channels",
     [](Rig& r) {
         playChord(r, {60, 64, 67});
         r.on(50, Ch1);
         r.on(50, Ch6);
         r.blocks();
         r.off(50, Ch1);
         r.off(50, Ch6);
     }},
    {"the arpeggiator's notes after the keys are let go",
     [](Rig& r) {
         r.p.set(ModStepSeq, StepSeq_c::pOpMode, StepSeq_c::mUp);
         r.on(60);
         r.on(64);
         r.on(67);
         r.blocks(40);
         r.off(64);
         r.off(60);
         r.off(67);
     }},
    {"mono keys held while the arpeggiator is switched on",
     [](Rig& r) {
         r.p.setGlobal(VelaGlo_c::gpVoices, 1);
         r.on(57);
         r.blocks();
         r.on(58);
         r.blocks();
         r.p.set(ModStepSeq, StepSeq_c::pOpMode, StepSeq_c::mAsPlayed);
         r.blocks();
         r.off(57);
         r.blocks();
         r.on(58);
         r.blocks(20);
         r.off(58);
         r.off(58);
     }},
    {"the sustain pedal holding a key struck twice",
     [](Rig& r) {
         r.pedal(true);
         r.on(60);
         r.blocks();
         r.off(60);
         r.on(60);
         r.blocks();
         r.off(60);
         r.blocks();
         r.pedal(false);
     }},
    {"the sustain pedal of one channel and the same key on another",
     [](Rig& r) {
         r.pedal(true, Ch1);
         r.on(60, Ch1);
         r.on(60, Ch6);
         r.blocks();
         r.off(60, Ch6);
         r.off(60, Ch1);
         r.blocks();
         r.pedal(false, Ch1);
     }},
    {"the instrument's channel changed while a key is down",
     [](Rig& r) {
         r.on(60, Ch6);
         r.blocks();
         r.p.setInstrumentSetting(SynGloInsPara::InsChIdx, Ch1);
         r.off(60, Ch6);
     }},
    {"the instrument's channel changed while the pedal holds a key",
     [](Rig& r) {
         r.pedal(true, Ch6);
         r.on(60, Ch6);
         r.blocks();
         r.off(60, Ch6);
         r.blocks();
         r.p.setInstrumentSetting(SynGloInsPara::InsChIdx, Ch1);
         r.pedal(false, Ch6);
     }},
};

} // namespace

TEST(VelaNoteOff, AfterEveryKeyIsLetGoNoVoiceStaysHeldAndTheOutputFallsSilent)
{
    for (const bool frozen : {false, true}) {
        clockFrozen = frozen;
        for (const Case& c : Cases) {
            SCOPED_TRACE(std::string(c.what) + (frozen ? ", in one millisecond" : ", in real time"));
            Rig r;
            c.phrase(r);
            r.blocks();
            EXPECT_EQ(r.heldVoices(), std::vector<std::string>{}) << "stuck notes";
            // Released voices end with their release: a stuck one would still
            // be in use and sound.
            r.blocks(3 * Rig::ReleaseMs * static_cast<int>(VelaPlayer::Rate) / 1000 / VelaPlayer::Block + 4);
            EXPECT_EQ(r.voicesInUse(), 0);
            EXPECT_LT(r.renderPeak(0.05), 1e-4f) << "the output is silent (below -80 dBFS)";
        }
    }
    clockFrozen = false;
}

TEST(VelaNoteOff, ALongReleaseIsReleasedAndFallsWhileAStuckNoteWouldHold)
{
    // The phrase with a release of 3 s: right after the note-offs
    // both voices are released, not held, and their level keeps falling, where
    // a held voice would sit at its sustain level.
    Rig r;
    r.p.set(ModEnvAmp, EnvADSFR_c::pRTime, 3000);
    r.on(60, Ch1);
    r.on(60, Ch6);
    r.blocks(100);
    const float sustained = r.renderPeak(0.1);
    r.off(60, Ch1);
    r.off(60, Ch6);
    r.blocks();
    EXPECT_EQ(r.heldVoices(), std::vector<std::string>{});
    EXPECT_EQ(r.voicesInUse(), 2) << "both still sound their release";
    const float early = r.renderPeak(0.3);
    r.renderPeak(1.0);
    const float late = r.renderPeak(0.3);
    EXPECT_GT(sustained, 0.01f);
    EXPECT_LT(late, 0.5f * early) << "the release falls";
    EXPECT_LT(early, sustained);
}
