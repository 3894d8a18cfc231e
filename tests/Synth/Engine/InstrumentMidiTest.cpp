// The instrument's parser and its note and controller state: what each kind
// of message does, transposition, the sustain pedal, mono and legato with the
// memory of held keys, the pitch-bend range by RPN, resets and the smoothing
// of the continuous controllers. The engine is a recording double, so each
// case reads as the calls the instrument makes.
#include "InstrumentTestSynth.h"

#include "SysGlo.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace InstrumentTest;

namespace {

struct InstrumentMidi : testing::Test
{
    RecordingSynth synth;
    ProbeInstrument& ins = synth.ins(0);
    // A clock the test moves by hand (ms); mono order depends on it.
    static inline int64_t nowMs = 1000;
    static int64_t testClock() { return nowMs; }
    InstrumentMidi()
    {
        nowMs = 1000;
        ins.setClock(&testClock);
    }
    ~InstrumentMidi() override { ins.setClock(nullptr); }
    void later() { nowMs += 5; }
    void mono(bool legato = false)
    {
        ins.setVoiceLimit(1);
        ins.setLegato(legato);
        ins.processAll(0); // the audio thread takes the limit's memory reset
        synth.take();
    }
};

int bendUp(RecordingSynth& s, int ins) { return s.getSynGloIns()->getParaVal(ins, SynGloInsPara::BendUp); }
int bendDown(RecordingSynth& s, int ins) { return s.getSynGloIns()->getParaVal(ins, SynGloInsPara::BendDown); }

} // namespace

TEST_F(InstrumentMidi, EachKindOfMessageDoesWhatItMeans)
{
    struct Case
    {
        const char* what;
        int status, data1, data2;
        Log calls;   // asked of the engine
        Log records; // queued for the idle side: command index value
    };
    const Case cases[] = {
        {"note on", 0x92, 60, 100, {"on 0 60/100/2"}, {}},
        {"velocity 0 is a note off", 0x92, 60, 0, {"off 0 60/0/2"}, {}},
        {"note off keeps its release velocity", 0x83, 61, 40, {"off 0 61/40/3"}, {}},
        {"data bytes are 7 bits", 0x90, 0xBC, 0xE4, {"on 0 60/100/0"}, {}},
        {"note outside the zone is dropped", 0x90, 20, 100, {}, {}},
        {"program change asks the idle side", 0xC5, 7, 0, {}, {"77 0 7"}},
        {"bank select MSB does nothing", 0xB0, 0, 5, {}, {}},
        {"bank select LSB sends the raw value", 0xB0, 32, 127, {}, {"78 0 127"}},
        {"CC 123 is all notes off", 0xB4, 123, 0, {"all off 0"}, {}},
        {"CC 127 is all notes off too", 0xB0, 127, 0, {"all off 0"}, {}},
        {"other controllers go to the engine first", 0xB0, 7, 64, {"engine cc 7 64"}, {}},
        {"modulation wheel tells the editor", 0xB1, 1, 90, {"engine cc 1 90"}, {"91 1 90"}},
        {"system exclusive goes to the engine", 0xF0, 0, 0, {"fx F0"}, {}},
        {"system reset goes to the engine", 0xFF, 0, 0, {"fx FF"}, {}},
        {"channel pressure stays here", 0xD0, 64, 0, {}, {}},
        {"a data byte is no status", 0x45, 60, 100, {}, {}},
    };
    synth.zoneLow = 21;
    for (const Case& c : cases) {
        ins.midi(c.status, c.data1, c.data2);
        EXPECT_EQ(synth.take(), c.calls) << c.what;
        EXPECT_EQ(synth.takeIdleRecords(), c.records) << c.what;
    }
}

TEST_F(InstrumentMidi, OnlyTheFirstInstrumentFeedsTheEngineItsControllers)
{
    ProbeInstrument& second = synth.ins(1);
    second.cc(7, 10);
    EXPECT_TRUE(synth.take().empty());
    EXPECT_FLOAT_EQ(second.volume, 10.0f / 127.0f - 1.0f);
}

TEST_F(InstrumentMidi, WithoutAnEngineNothingHappens)
{
    ProbeInstrument loose;
    loose.key(60, 100);
    loose.release(60);
    loose.cc(123, 0);
    EXPECT_EQ(loose.noteOnCore(NoteC_c(), NoteC_c()), -1);
    loose.noteOffCore(NoteC_c());
    loose.handleMonoNoteOff(NoteC_c());
    loose.processAll(64);
    EXPECT_TRUE(synth.take().empty());
}

TEST_F(InstrumentMidi, AZoneCheckOnlyWhenAsked)
{
    synth.zoneLow = 50;
    ins.midi(0x90, 40, 100, false);
    EXPECT_EQ(synth.take(), (Log{"on 0 40/100/0"}));
    EXPECT_FLOAT_EQ(ins.getLastNote(), 40.0f / 127.0f);
    ins.midi(0x90, 41, 100, true);
    EXPECT_TRUE(synth.take().empty());
    EXPECT_FLOAT_EQ(ins.getLastNote(), 40.0f / 127.0f) << "a dropped note is no last note";
}

TEST_F(InstrumentMidi, PitchBendReachesBothEndsAndTheCentreExactly)
{
    struct Case { int lsb, msb; float target; };
    const Case cases[] = {
        {0, 0, -1.0f}, {0, 64, 0.0f}, {127, 127, 1.0f}, {1, 64, 1.0f / 8191.0f}, {127, 63, -1.0f / 8192.0f},
    };
    for (const Case& c : cases) {
        ins.midi(0xE0, c.lsb, c.msb);
        EXPECT_EQ(ins.pitchBendTarget, c.target) << c.lsb << " " << c.msb;
    }
}

TEST_F(InstrumentMidi, DirectControllersTakeTheirRanges)
{
    struct Case { int controller, value; float Instrument_c::*member; int index; float expected; };
    const Case cases[] = {
        {10, 64, &Instrument_c::pan, 0, 0.0f},
        {10, 0, &Instrument_c::pan, 0, -1.0f},
        {10, 127, &Instrument_c::pan, 0, 1.0f},
        {7, 127, &Instrument_c::volume, 0, 0.0f},
        {7, 0, &Instrument_c::volume, 0, -1.0f},
    };
    for (const Case& c : cases) {
        ins.cc(c.controller, c.value);
        EXPECT_EQ(ins.*c.member, c.expected) << c.controller << " " << c.value;
    }
    for (int k = 0; k < 4; ++k) {
        ins.cc(16 + k, 127 * (k % 2));
        EXPECT_EQ(ins.general[k], k % 2 ? 1.0f : -1.0f) << "CC " << 16 + k;
    }
    ins.cc(2, 127);
    ins.cc(4, 127);
    ins.cc(11, 0);
    EXPECT_EQ(ins.breathTarget, 1.0f);
    EXPECT_EQ(ins.footTarget, 1.0f);
    EXPECT_EQ(ins.expressionTarget, 0.0f);
}

TEST_F(InstrumentMidi, TranspositionFoldsEveryNoteIntoTheVoicesRange)
{
    struct Case { int semitones, note, sounds; };
    const Case cases[] = {
        {12, 115, 115}, // 127 is folded down by one octave
        {-20, 5, 9},    // -15 comes up by two octaves
        {0, 60, 60},
        {0, 127, 115},  // above 120 even untransposed
        {24, 127, 115},
        {-30, 0, 6},
        {0, 120, 120},
    };
    for (const Case& c : cases) {
        ins.setNoteOffs(c.semitones);
        ins.key(c.note, 100);
        ins.release(c.note);
        // The key that played is handed on as the note's trigger.
        const std::string n = std::to_string(c.sounds);
        const std::string from = c.sounds != c.note ? " from " + std::to_string(c.note) : "";
        EXPECT_EQ(synth.take(), (Log{"on 0 " + n + "/100/0" + from, "off 0 " + n + "/0/0"}))
            << c.semitones << " " << c.note;
    }
}

TEST_F(InstrumentMidi, AReleaseEndsWhatTheKeyStartedWhateverTheTranspositionIsNow)
{
    ins.key(60, 100);
    ins.setNoteOffs(12);
    ins.key(62, 100);
    ins.release(60);
    ins.release(62);
    EXPECT_EQ(synth.take(), (Log{"on 0 60/100/0", "on 0 74/100/0 from 62", "off 0 60/0/0", "off 0 74/0/0"}));

    // The same in mono, and held back by the pedal.
    mono();
    ins.setNoteOffs(0);
    ins.key(50, 90);
    ins.setNoteOffs(-5);
    ins.release(50);
    EXPECT_EQ(synth.take(), (Log{"on 0 50/90/0", "off 0 50/0/0"}));
    ins.cc(64, 127);
    ins.key(52, 90);
    ins.setNoteOffs(7);
    ins.release(52);
    ins.cc(64, 0);
    EXPECT_EQ(synth.take(), (Log{"engine cc 64 127", "on 0 47/90/0 from 52", "engine cc 64 0", "off 0 47/0/0"}));
}

TEST_F(InstrumentMidi, ThePedalHoldsNoteOffsFrom32)
{
    struct Case { int value; bool down; };
    const Case cases[] = {{0, false}, {31, false}, {32, true}, {63, true}, {64, true}, {127, true}};
    for (const Case& c : cases) {
        ins.cc(64, c.value);
        EXPECT_EQ(ins.getSustainPedal(0), c.down) << c.value;
    }
    ins.cc(64, 0);
    synth.take();

    ins.cc(64, 32);
    ins.key(60, 100);
    ins.key(64, 100);
    ins.key(67, 100, 1); // another channel's pedal is up
    ins.release(60);
    ins.release(64);
    ins.release(67, 1);
    EXPECT_EQ(synth.take(), (Log{"engine cc 64 32", "on 0 60/100/0", "on 0 64/100/0", "on 0 67/100/1",
                                 "off 0 67/0/1"}));
    EXPECT_EQ(ins.getSustainedCount(), 2);
    ins.cc(64, 31);
    EXPECT_EQ(synth.take(), (Log{"engine cc 64 31", "off 0 60/0/0", "off 0 64/0/0"}));
    EXPECT_EQ(ins.getSustainedCount(), 0);
}

TEST_F(InstrumentMidi, AFullSustainListReleasesAtOnce)
{
    // Four voices: room for eight held-back notes.
    ins.cc(64, 127);
    for (int n = 0; n < 9; ++n)
        ins.release(40 + n);
    EXPECT_EQ(ins.getSustainedCount(), 8);
    const Log calls = synth.take();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "off 0 48/0/0");
}

TEST_F(InstrumentMidi, MonoReturnsToTheHeldKeyOnlyWhenTheSoundingOneIsReleased)
{
    mono();
    ins.key(60, 100);
    later();
    ins.key(64, 90);
    ins.release(64);
    EXPECT_EQ(synth.take(), (Log{"on 0 60/100/0", "on 0 64/90/0", "on 0 60/100/0", "off 0 64/0/0"}))
        << "releasing the latest key brings back the held one";
    ins.release(60);
    EXPECT_EQ(synth.take(), (Log{"off 0 60/0/0"}));

    ins.key(60, 100);
    later();
    ins.key(64, 90);
    ins.release(60);
    EXPECT_EQ(synth.take(), (Log{"on 0 60/100/0", "on 0 64/90/0", "off 0 60/0/0"}))
        << "releasing an older key changes nothing audible";
    ins.release(64);
    EXPECT_EQ(synth.take(), (Log{"off 0 64/0/0"})) << "nothing is held any more";
}

TEST_F(InstrumentMidi, MonoReturnPicksTheLatestHeldKey)
{
    mono();
    ins.key(60, 100);
    later();
    ins.key(55, 101);
    later();
    ins.key(64, 102);
    ins.release(64);
    EXPECT_EQ(synth.take().at(3), "on 0 55/101/0");
    // Keys struck in the same millisecond: the lower note counts as the latest.
    ins.key(70, 103);
    ins.key(72, 104);
    ins.release(55);
    ins.release(60);
    synth.take();
    ins.release(72);
    EXPECT_EQ(synth.take(), (Log{"on 0 70/103/0", "off 0 72/0/0"}));
}

TEST_F(InstrumentMidi, MonoWithThePedalNeverBringsBackAKeyNobodyHolds)
{
    mono();
    ins.cc(64, 127);
    ins.key(60, 100);
    ins.release(60); // held back by the pedal
    ins.cc(64, 0);   // released through the mono path: the memory forgets 60
    later();
    ins.key(64, 90);
    ins.release(64);
    EXPECT_EQ(synth.take(), (Log{"engine cc 64 127", "on 0 60/100/0", "engine cc 64 0", "off 0 60/0/0",
                                 "on 0 64/90/0", "off 0 64/0/0"}));

    // A later key still held when the pedal goes up: the held-back key is
    // released behind it, and the later key's release brings nothing back.
    ins.cc(64, 127);
    ins.key(60, 100);
    ins.release(60);
    later();
    ins.key(64, 90);
    ins.cc(64, 0);
    ins.release(64);
    EXPECT_EQ(synth.take(), (Log{"engine cc 64 127", "on 0 60/100/0", "on 0 64/90/0", "engine cc 64 0",
                                 "off 0 60/0/0", "off 0 64/0/0"}));

    // Keys let go under the pedal are released, in the order they were let
    // go, through the mono path: a key still down afterwards returns to none.
    ins.cc(64, 127);
    ins.key(60, 100);
    later();
    ins.key(64, 90);
    ins.release(64);
    ins.release(60);
    later();
    ins.key(67, 80);
    ins.release(67);
    ins.cc(64, 0);
    EXPECT_EQ(synth.take(), (Log{"engine cc 64 127", "on 0 60/100/0", "on 0 64/90/0", "on 0 67/80/0",
                                 "engine cc 64 0", "off 0 64/0/0", "off 0 60/0/0", "off 0 67/0/0"}));

    // The sounding key let go first, an older one after it: lifting the
    // pedal ends both; the older key, let go too, never sounds again.
    ins.cc(64, 127);
    ins.key(60, 100);
    later();
    ins.key(64, 90);
    ins.release(64);
    ins.release(60);
    ins.cc(64, 0);
    EXPECT_EQ(synth.take(), (Log{"engine cc 64 127", "on 0 60/100/0", "on 0 64/90/0", "engine cc 64 0",
                                 "off 0 64/0/0", "off 0 60/0/0"}));

    // A key held down through it all is where the voice returns, once.
    ins.key(55, 80);
    later();
    ins.cc(64, 127);
    ins.key(60, 100);
    later();
    ins.key(64, 90);
    ins.release(64);
    ins.release(60);
    ins.cc(64, 0);
    EXPECT_EQ(synth.take(), (Log{"on 0 55/80/0", "engine cc 64 127", "on 0 60/100/0", "on 0 64/90/0",
                                 "engine cc 64 0", "on 0 55/80/0", "off 0 64/0/0", "off 0 60/0/0"}));
    ins.release(55);
    EXPECT_EQ(synth.take(), (Log{"off 0 55/0/0"}));
}

TEST_F(InstrumentMidi, MonoLegatoTakesTheVelocityOfTheLowestHeldKey)
{
    mono(true);
    ins.key(64, 50);
    EXPECT_EQ(synth.take(), (Log{"on 0 64/50/0"})) << "nothing held: the key's own velocity";
    ins.release(64);
    mono(false);
    ins.key(64, 50);
    later();
    ins.key(60, 70);
    later();
    ins.setLegato(true);
    ins.key(67, 120);
    EXPECT_EQ(synth.take(), (Log{"on 0 64/50/0", "on 0 60/70/0", "on 0 67/70/0"}));
}

TEST_F(InstrumentMidi, AllNotesOffLiftsThePedalAndForgetsTheKeys)
{
    mono();
    ins.cc(64, 127, 2);
    ins.key(60, 100, 2);
    ins.release(60, 2);
    later();
    ins.key(64, 100, 2);
    synth.take();
    ins.cc(123, 0, 2);
    EXPECT_EQ(synth.take(), (Log{"all off 0", "off 0 60/0/2"}));
    EXPECT_FALSE(ins.getSustainPedal(2));
    for (int n = 0; n < NumMidiNotes; ++n)
        EXPECT_EQ(ins.monoTime[n], -1) << n;
    // A key struck afterwards and released has nothing to return to.
    later();
    ins.key(70, 100, 2);
    ins.release(70, 2);
    EXPECT_EQ(synth.take(), (Log{"on 0 70/100/2", "off 0 70/0/2"}));

    ins.cc(64, 127, 5);
    ins.cc(64, 127, 9);
    synth.take();
    ins.MidiReset();
    EXPECT_FALSE(ins.getSustainPedal(5));
    EXPECT_FALSE(ins.getSustainPedal(9));
}

TEST_F(InstrumentMidi, TheDrumPathStartsNotesThroughTheEngineDrumEntry)
{
    ProbeInstrument drums;
    drums.create(&synth, 1, 4, true);
    drums.setNoteOffs(12);
    drums.key(36, 110);
    drums.release(36);
    EXPECT_EQ(synth.take(), (Log{"drum 1 48/110/0", "off 1 48/0/0"}));
}

TEST_F(InstrumentMidi, RPNZeroSetsTheBendRangeOfTheInstrumentThatReceivedIt)
{
    ProbeInstrument& second = synth.ins(1);
    const int before = bendUp(synth, 0);
    second.cc(101, 0);
    second.cc(100, 0);
    second.key(60, 100); // a note between the pair and the data entry
    second.cc(6, 12);
    EXPECT_EQ(bendUp(synth, 1), 12);
    EXPECT_EQ(bendDown(synth, 1), -1) << "down follows up";
    EXPECT_EQ(bendUp(synth, 0), before) << "the first instrument is not touched";

    struct Case { const char* what; std::vector<std::pair<int, int>> ccs; int up; };
    const Case cases[] = {
        {"RPN 0 by MSB then LSB", {{101, 0}, {100, 0}, {6, 7}}, 7},
        {"LSB first works too", {{100, 0}, {101, 0}, {6, 5}}, 5},
        {"another RPN is ignored", {{101, 0}, {100, 1}, {6, 9}}, 5},
        {"the RPN null is ignored", {{101, 127}, {100, 127}, {6, 9}}, 5},
        {"an NRPN deselects the RPN", {{101, 0}, {100, 0}, {99, 0}, {98, 0}, {6, 9}}, 5},
        {"so does an NRPN LSB alone", {{101, 0}, {100, 0}, {98, 3}, {6, 9}}, 5},
        {"a half pair does not apply", {{101, 0}, {6, 9}}, 5},
    };
    for (const Case& c : cases) {
        for (auto [controller, value] : c.ccs)
            second.cc(controller, value);
        EXPECT_EQ(bendUp(synth, 1), c.up) << c.what;
    }
}

TEST_F(InstrumentMidi, ResetAllControllersPutsTheWheelsAndPressureAtRest)
{
    ins.cc(1, 127);
    ins.cc(11, 0);
    ins.cc(2, 100);
    ins.midi(0xE0, 0, 0);
    ins.midi(0xD0, 100);
    ins.cc(121, 0);
    EXPECT_EQ(ins.modWheelTarget.load(), 0.0f);
    EXPECT_EQ(ins.expressionTarget, 1.0f);
    EXPECT_EQ(ins.pitchBendTarget, 0.0f);
    EXPECT_EQ(ins.getAftertouch(), 0.0f);
    EXPECT_EQ(ins.getChannelPressureReceived(), 0.0f);
    EXPECT_FLOAT_EQ(ins.breathTarget, 100.0f / 127.0f) << "breath is no wheel";
}

TEST_F(InstrumentMidi, ReceptionSwitchesOfWheelPressureAndPedal)
{
    ins.midi(0xD0, 127);
    EXPECT_EQ(ins.getAftertouch(), 1.0f);
    ins.setFlagReceiveAT(false);
    EXPECT_EQ(ins.getAftertouch(), 0.0f);
    ins.midi(0xD0, 64);
    EXPECT_EQ(ins.getChannelPressureReceived(), 1.0f) << "nothing is received while off";
    ins.setFlagReceiveAT(true);
    EXPECT_EQ(ins.getAftertouch(), 1.0f) << "back on: the pressure received applies";

    ins.cc(1, 127);
    ins.setFlagReceiveMW(false);
    EXPECT_EQ(ins.modWheelTarget.load(), 0.0f);
    ins.cc(1, 100);
    EXPECT_EQ(ins.modWheelTarget.load(), 0.0f);

    ins.setFlagReceivePW(false);
    ins.midi(0xE0, 0, 0);
    EXPECT_EQ(ins.pitchBendTarget, 0.0f);
    ins.setFlagReceivePW(true);

    // Switching the pedal off from another thread: the audio thread releases
    // the held-back notes at its next block.
    ins.cc(64, 127);
    ins.key(60, 100);
    ins.release(60);
    synth.take();
    ins.setFlagReceiveSP(false);
    EXPECT_TRUE(synth.take().empty());
    ins.processAll(16);
    EXPECT_EQ(synth.take(), (Log{"off 0 60/0/0"}));
    EXPECT_FALSE(ins.getSustainPedal(0));
    ins.cc(64, 127);
    EXPECT_FALSE(ins.getSustainPedal(0)) << "the pedal is not received";
}

TEST_F(InstrumentMidi, TheVoiceLimitClampsAndSaysMono)
{
    struct Case { int n, limit; bool mono; };
    const Case cases[] = {{1, 1, true}, {0, 0, false}, {-3, 0, false}, {4, 4, false}, {9, 4, false}, {2, 2, false}};
    for (const Case& c : cases) {
        ins.setVoiceLimit(c.n);
        EXPECT_EQ(ins.getVoiceLimit(), c.limit) << c.n;
        EXPECT_EQ(ins.isMono(), c.mono) << c.n;
    }
}

TEST_F(InstrumentMidi, SmoothedControllersMoveInAStaircaseOfChunks)
{
    ins.setSampleRate(44100.0f);
    ins.cc(1, 127);
    ins.prepareMIDICCValues(100);
    EXPECT_EQ(ins.ccChunkCount, 2);
    const float c = 1400.0f / 44100.0f;
    EXPECT_FLOAT_EQ(ins.ccRows[1][0], c);
    EXPECT_FLOAT_EQ(ins.ccRows[1][1], c + c * (1.0f - c));
    ins.prepareMIDICCValues(256);
    EXPECT_EQ(ins.ccChunkCount, 4);
    ins.prepareMIDICCValues(1);
    EXPECT_EQ(ins.ccChunkCount, 1);

    // Every voice sees the same staircase; the piece ends on its last step.
    ins.prepareMIDICCValues(128);
    for (int voice = 0; voice < 2; ++voice) {
        ins.startMIDICCValues();
        ins.updateMIDICCValues();
        EXPECT_FLOAT_EQ(ins.modWheel, ins.ccRows[1][0]) << voice;
        ins.updateMIDICCValues();
        EXPECT_FLOAT_EQ(ins.modWheel, ins.ccRows[1][1]) << voice;
        ins.updateMIDICCValues(); // one call too many stays on the last step
        EXPECT_FLOAT_EQ(ins.modWheel, ins.ccRows[1][1]) << voice;
    }
    ins.syncMIDICCValues();
    EXPECT_FLOAT_EQ(ins.modWheel, ins.ccRows[1][1]);

    // Values too small to matter become 0; the rate bounds the glide.
    ins.cc(1, 0);
    ins.modWheel = 1.2e-5f;
    ins.setSampleRate(2000.0f); // 1400 / 2000 would be 0.7: held at 0.25
    ins.prepareMIDICCValues(64);
    EXPECT_EQ(ins.ccRows[1][0], 0.0f);
    ins.modWheel = 1.0f;
    ins.prepareMIDICCValues(64);
    EXPECT_FLOAT_EQ(ins.ccRows[1][0], 0.75f);
}

TEST_F(InstrumentMidi, TheFirstNoteAfterSilenceHearsTheControllersWhereTheyAre)
{
    ins.cc(1, 127);
    ins.midi(0xE0, 127, 127);
    ins.activeFlag = false;
    ins.key(60, 100);
    EXPECT_EQ(ins.modWheel, 1.0f);
    EXPECT_EQ(ins.pitchBend, 1.0f);
    EXPECT_TRUE(ins.activeFlag.load());
    ins.cc(1, 0);
    ins.key(62, 100);
    EXPECT_EQ(ins.modWheel, 1.0f) << "while playing, the wheel glides";
}

TEST_F(InstrumentMidi, AlternateFlipsAtEveryNoteOn)
{
    EXPECT_EQ(ins.getAlternateValue(), -1.0f);
    ins.key(60, 100);
    EXPECT_EQ(ins.getAlternateValue(), 1.0f);
    ins.key(61, 100);
    EXPECT_EQ(ins.getAlternateValue(), -1.0f);
    ins.release(61);
    EXPECT_EQ(ins.getAlternateValue(), -1.0f);
}

TEST_F(InstrumentMidi, DataResetBringsEveryDatumBack)
{
    ins.cc(2, 99);
    ins.cc(7, 10);
    ins.cc(18, 0);
    ins.cc(64, 127, 3);
    ins.setLastTriggered(3, 55);
    ins.setFirstNoteFlag(3, true);
    ins.key(70, 100);
    ins.MidiDataReset();
    EXPECT_EQ(ins.breathTarget, 0.0f);
    EXPECT_EQ(ins.volume, 0.0f);
    EXPECT_EQ(ins.general[2], 0.0f);
    EXPECT_FALSE(ins.getSustainPedal(3));
    EXPECT_EQ(ins.getLastTriggered(3), -1);
    EXPECT_FALSE(ins.getFirstNoteFlag(3));
    EXPECT_FLOAT_EQ(ins.getLastNote(), 60.0f / 127.0f);
    EXPECT_EQ(ins.getLastTriggered(-4), -1) << "channels are clamped";
}
