// The engine's side of MIDI with four instruments, the voice table and voices
// that end a few blocks after their release: routing by channel, key and
// velocity zones, choke modes, NRPN program and bank stepping, the system
// reset, mute and solo, and the zone-overlap queries.
#include "InstrumentTestSynth.h"

#include "PolyNoteTable.h"
#include "SysGlo.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

using namespace InstrumentTest;

namespace {

constexpr int Instruments = 4;
constexpr int Voices = 8;

class FourInstruments : public Synth
{
public:
    explicit FourInstruments(bool drum = false, int count = Instruments)
        : Synth(nullptr, {.insProgramMemories = count,
                          .programs = 4,
                          .parameterSlots = 16,
                          .hostParameters = 8,
                          .instruments = count,
                          .voices = Voices,
                          .productName = "Four",
                          .versionText = "1.0",
                          .codeName = "FourIns"})
    {
        Synth::open();
        // The tests take the idle side's records themselves: the engine's own
        // idle timer would drain them first on a machine slowed past its
        // one-second takeover.
        idleTimer.stopTimer();
        for (int i = 0; i < count; ++i) {
            own[i].create(this, i, Voices, drum);
            if (instruments)
                instruments[i] = &own[i];
        }
        for (int v = 0; voices && v < Voices; ++v)
            voices[v] = &voice[v];
    }
    ~FourInstruments() override
    {
        if (isOpen())
            closeShutdown();
    }

    void set(int ins, int row, int value) { getSynGloIns()->setParaVal(ins, row, value); }
    int get(int ins, int row) { return getSynGloIns()->getParaVal(ins, row); }
    // A message delivered by the engine at offset 0, then one block of every
    // instrument, on the audio thread as the host runs it.
    void send(int status, int data1, int data2)
    {
        const unsigned char m[3] = {static_cast<unsigned char>(status), static_cast<unsigned char>(data1),
                                    static_cast<unsigned char>(data2)};
        remindEvent(0, m);
        block();
    }
    void block()
    {
        AudioScope scope;
        for (int i = 0; i < numInstruments; ++i)
            own[i].processAll(64);
    }
    // Voice-table entries of instrument ins in state.
    int entries(int ins, int state)
    {
        const PolyNoteTable_c* table = getPolyNoteTable();
        int n = 0;
        for (int v = 0; v < table->getVoiceCount(); ++v)
            n += table->get(v)->state == state && table->get(v)->instrument == ins;
        return n;
    }
    int sounding(int ins) { return entries(ins, NoteStateOn) + entries(ins, NoteStateOff) + entries(ins, NoteStateFading); }
    // The records queued for the idle side, taken, as "command index value".
    std::vector<std::string> takeIdleRecords()
    {
        std::vector<std::string> out;
        HoldData_c r;
        while (cmdQueues.toGUI && cmdQueues.toGUI->unholdEvent(&r))
            if (r.command != 0) // a record emptied in place by a later equal one
                out.push_back(std::string(1, static_cast<char>(r.command)) + " " + std::to_string(r.index) +
                              " " + std::to_string(r.value));
        return out;
    }

    ProbeInstrument own[Instruments];
    FinishingVoice voice[Voices];
};

using Counts = std::array<int, Instruments>;

Counts soundingPerInstrument(FourInstruments& e)
{
    Counts c{};
    for (int i = 0; i < Instruments; ++i)
        c[static_cast<size_t>(i)] = e.sounding(i);
    return c;
}

} // namespace

TEST(EngineMidi, NotesReachTheInstrumentsListeningOnTheirChannel)
{
    struct Case
    {
        const char* what;
        int channel;
        Counts voices;
    };
    // Instruments listen on channels 3, all, 0 and 3.
    const Case cases[] = {
        {"channel 3", 3, {1, 1, 0, 1}},
        {"channel 0", 0, {0, 1, 1, 0}},
        {"channel 15", 15, {0, 1, 0, 0}},
    };
    for (const Case& c : cases) {
        FourInstruments e;
        const int listens[Instruments] = {3, 16, 0, 3};
        for (int i = 0; i < Instruments; ++i)
            e.set(i, SynGloInsPara::InsChIdx, listens[i]);
        e.send(0x90 | c.channel, 60, 100);
        EXPECT_EQ(soundingPerInstrument(e), c.voices) << c.what;
        e.send(0x80 | c.channel, 60, 0);
        for (int i = 0; i < Instruments; ++i)
            EXPECT_EQ(e.entries(i, NoteStateOn), 0) << c.what << ": instrument " << i << " released its note";
    }
}

TEST(EngineMidi, SystemMessagesGoToTheFirstInstrumentWhateverItsChannel)
{
    FourInstruments e;
    e.set(0, SynGloInsPara::InsChIdx, 5);
    e.send(0xF0, 0, 0);
    EXPECT_TRUE(e.isSysExclusive());
    e.send(0xF7, 0, 0);
    EXPECT_FALSE(e.isSysExclusive());
}

TEST(EngineMidi, ZoneBoundsAreInsideTheZone)
{
    struct Case
    {
        int note, velocity;
        bool plays;
    };
    const Case cases[] = {
        {40, 64, true},  {50, 64, true},   {39, 64, false}, {51, 64, false},
        {45, 20, true},  {45, 100, true},  {45, 19, false}, {45, 101, false},
    };
    for (const Case& c : cases) {
        FourInstruments e;
        e.set(0, SynGloInsPara::NoteLo, 40);
        e.set(0, SynGloInsPara::NoteHi, 50);
        e.set(0, SynGloInsPara::VeloLo, 20);
        e.set(0, SynGloInsPara::VeloHi, 100);
        for (int i = 1; i < Instruments; ++i)
            e.set(i, SynGloInsPara::InsChIdx, 1);
        e.send(0x90, c.note, c.velocity);
        EXPECT_EQ(e.sounding(0), c.plays ? 1 : 0) << c.note << "/" << c.velocity;
    }
}

TEST(EngineMidi, ChokeModesFadeTheirTargets)
{
    struct Case
    {
        const char* what;
        int chooser;          // the instrument that plays the choking note
        int choke[Instruments];
        Counts held;          // held voices afterwards
        Counts fading;        // voices fading out afterwards
    };
    const Case cases[] = {
        {"none", 0, {0, 0, 0, 0}, {2, 1, 1, 1}, {0, 0, 0, 0}},
        {"me: the instrument's own voices, then the note", 0, {1, 0, 0, 0}, {1, 1, 1, 1}, {1, 0, 0, 0}},
        {"previous wraps round to the last", 0, {2, 0, 0, 0}, {2, 1, 1, 0}, {0, 0, 0, 1}},
        {"next", 1, {0, 3, 0, 0}, {1, 2, 0, 1}, {0, 0, 1, 0}},
        {"group 2: every other instrument of the group", 0, {5, 6, 5, 5}, {2, 1, 0, 0}, {0, 0, 1, 1}},
        {"groups 6 to 9 choke nothing", 0, {9, 0, 9, 0}, {2, 1, 1, 1}, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        FourInstruments e(true);
        for (int i = 0; i < Instruments; ++i)
            e.set(i, SynGloInsPara::InsChIdx, i); // instrument i listens on channel i
        for (int i = 0; i < Instruments; ++i)
            e.send(0x90 | i, 40 + i, 100); // every instrument holds a note
        for (int i = 0; i < Instruments; ++i)
            e.set(i, SynGloInsPara::Choke, c.choke[i]);
        e.send(0x90 | c.chooser, 70, 100);
        for (int i = 0; i < Instruments; ++i) {
            EXPECT_EQ(e.entries(i, NoteStateOn), c.held[static_cast<size_t>(i)]) << c.what << ", instrument " << i;
            EXPECT_EQ(e.entries(i, NoteStateFading), c.fading[static_cast<size_t>(i)])
                << c.what << ", instrument " << i;
        }
    }
}

TEST(EngineMidi, NextWithASingleInstrumentFadesTheNewNoteToo)
{
    FourInstruments e(true, 1);
    e.set(0, SynGloInsPara::Choke, 3);
    e.send(0x90, 40, 100);
    e.send(0x90, 41, 100);
    EXPECT_EQ(e.entries(0, NoteStateOn), 0);
    EXPECT_EQ(e.entries(0, NoteStateFading), 2);
    for (int i = 0; i < FinishingVoice::TailBlocks + 2; ++i)
        e.block();
    EXPECT_EQ(e.getPolyNoteTable()->getInUse(), 0);
}

TEST(EngineMidi, NrpnDataEntriesStepTheEditedInstrumentsProgramAndBank)
{
    struct Case
    {
        const char* what;
        int number, data;
        std::vector<std::string> queued;
    };
    // The edited instrument (0) is at program 2 of bank 0.
    const Case cases[] = {
        {"program up", 1025, 64, {"M 0 3"}},
        {"value 63 does nothing", 1025, 63, {}},
        {"program down", 1024, 127, {"M 0 1"}},
        {"bank up", 1027, 64, {"N 0 1"}},
        {"bank down from bank 0 is no bank", 1026, 64, {}},
        {"another number", 1100, 127, {}},
    };
    for (const Case& c : cases) {
        FourInstruments e;
        e.set(0, SynGloInsPara::Program, 2);
        e.set(0, SynGloInsPara::Bank, 0);
        e.takeIdleRecords();
        e.send(0xB0, 99, c.number / 128);
        e.send(0xB0, 98, c.number % 128);
        e.send(0xB0, 6, c.data);
        EXPECT_EQ(e.takeIdleRecords(), c.queued) << c.what;
    }
    FourInstruments e;
    e.set(0, SynGloInsPara::Program, 2);
    e.takeIdleRecords();
    e.send(0xB0, 99, 8);
    e.send(0xB0, 98, 1);
    e.send(0xB0, 6, 64);
    e.send(0xB0, 6, 64);
    EXPECT_EQ(e.takeIdleRecords(), std::vector<std::string>{"M 0 3"}) << "an equal request still queued is replaced";
}

TEST(EngineMidi, ASystemResetStopsEveryNoteAndClearsControllersAndTheTable)
{
    FourInstruments e;
    e.send(0xB1, 64, 127); // pedal down on channel 1
    e.send(0x90, 60, 100);
    e.send(0x91, 61, 100);
    e.send(0x81, 61, 0); // held back by the pedal
    e.send(0xB0, 1, 127);
    e.send(0xE0, 0, 127);
    e.send(0xB0, 7, 0);
    ASSERT_GT(e.getPolyNoteTable()->getInUse(), 0);
    ASSERT_GT(e.own[1].getSustainedCount(), 0);
    e.send(0xFF, 0, 0);
    EXPECT_EQ(e.getPolyNoteTable()->getInUse(), 0) << "the table is empty";
    for (int i = 0; i < Instruments; ++i) {
        ProbeInstrument& ins = e.own[i];
        EXPECT_EQ(ins.voicesInUse.load(), 0) << i;
        EXPECT_EQ(ins.getSustainedCount(), 0) << i;
        EXPECT_FALSE(ins.getSustainPedal(1)) << i;
        EXPECT_EQ(ins.modWheelTarget.load(), 0.0f) << i;
        EXPECT_EQ(ins.pitchBendTarget, 0.0f) << i;
        EXPECT_EQ(ins.volume, 0.0f) << i;
    }
    // Releases after the reset find nothing to release, and new notes play.
    e.send(0x80, 60, 0);
    e.send(0x90, 62, 100);
    EXPECT_EQ(e.sounding(0), 1);
}

TEST(EngineMidi, SoloAndMuteStayConsistent)
{
    FourInstruments e;
    auto change = [&](int ins, int row, int value) {
        e.set(ins, row, value);
        e.postprocessParaChange(ins, e.getSynGloIns(), row);
    };
    auto mutes = [&] {
        Counts m{};
        for (int i = 0; i < Instruments; ++i)
            m[static_cast<size_t>(i)] = e.get(i, SynGloInsPara::Mute);
        return m;
    };
    change(2, SynGloInsPara::Mute, 1);
    ASSERT_EQ(mutes(), (Counts{0, 0, 1, 0}));
    change(1, SynGloInsPara::Solo, 1);
    EXPECT_EQ(mutes(), (Counts{1, 0, 1, 1})) << "soloing 1 mutes the others";
    change(3, SynGloInsPara::Solo, 1);
    EXPECT_EQ(mutes(), (Counts{1, 0, 1, 0})) << "a second solo plays too";
    change(2, SynGloInsPara::Mute, 0);
    EXPECT_EQ(e.get(2, SynGloInsPara::Solo), 1) << "unmuting while others are soloed joins the solo";
    EXPECT_EQ(mutes(), (Counts{1, 0, 0, 0}));
    change(0, SynGloInsPara::Mute, 1);
    EXPECT_EQ(e.get(0, SynGloInsPara::Solo), 0);
    for (int i : {1, 2, 3})
        change(i, SynGloInsPara::Solo, 0);
    EXPECT_EQ(mutes(), (Counts{0, 0, 1, 0})) << "the mutes from before the first solo come back";
    EXPECT_EQ(e.getSoloCount(false), 0);

    // A muted instrument starts no note.
    NoteC_c n;
    n.set(60, 100, 0);
    EXPECT_EQ(e.noteOn(2, n, n), -1);
    EXPECT_GE(e.noteOn(0, n, n), 0);
}

TEST(EngineMidi, ZoneOverlapsWithTheOtherInstruments)
{
    FourInstruments e;
    // Instrument 0 covers everything (no neighbour), 1 notes 40..60 and
    // velocities 1..80, 2 notes 55..80 and velocities 60..127, 3 is muted.
    const int zones[Instruments][4] = {{0, 127, 1, 127}, {40, 60, 1, 80}, {55, 80, 60, 127}, {70, 90, 1, 50}};
    for (int i = 0; i < Instruments; ++i) {
        e.set(i, SynGloInsPara::NoteLo, zones[i][0]);
        e.set(i, SynGloInsPara::NoteHi, zones[i][1]);
        e.set(i, SynGloInsPara::VeloLo, zones[i][2]);
        e.set(i, SynGloInsPara::VeloHi, zones[i][3]);
    }
    e.set(3, SynGloInsPara::Mute, 1);
    struct Case
    {
        const char* what;
        int (Synth::*query)(int, int);
        int ins, value, expect;
    };
    const Case cases[] = {
        {"note lo: highest upper bound of zones reaching down past it", &Synth::getOverlapNoteLo, 0, 58, 80},
        {"note lo: its own zone does not count", &Synth::getOverlapNoteLo, 1, 58, 80},
        {"note lo: a zone's lower bound is not below itself", &Synth::getOverlapNoteLo, 1, 55, 54},
        {"note lo: none", &Synth::getOverlapNoteLo, 2, 30, 29},
        {"note hi: lowest lower bound of zones reaching up past it", &Synth::getOverlapNoteHi, 0, 58, 40},
        {"note hi: the upper bound is not above itself", &Synth::getOverlapNoteHi, 2, 60, 61},
        {"note hi: a muted zone does not count", &Synth::getOverlapNoteHi, 1, 85, 86},
        {"velocity lo", &Synth::getOverlapVeloLo, 0, 70, 127},
        {"velocity hi", &Synth::getOverlapVeloHi, 2, 70, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ((e.*c.query)(c.ins, c.value), c.expect) << c.what;
}

TEST(EngineMidi, HostEventsReachTheInstrumentsOnlyAsMidiAndWhileAccepted)
{
    FourInstruments e;
    e.setSampleRate(44100.0f);
    e.validateOutputs();
    e.checkSetFlagReady();
    ASSERT_TRUE(e.isReady());
    VstMidiEvent on = {};
    on.type = kVstMidiType;
    on.byteSize = sizeof(VstMidiEvent);
    on.deltaFrames = 10;
    on.midiData[0] = static_cast<char>(0x90);
    on.midiData[1] = 60;
    on.midiData[2] = 100;
    VstMidiEvent other = on;
    other.type = kVstMidiType + 5; // not a MIDI event: ignored
    other.midiData[1] = 61;
    VstEvents list = {};
    list.numEvents = 2;
    list.events[0] = reinterpret_cast<VstEvent*>(&other);
    list.events[1] = reinterpret_cast<VstEvent*>(&on);

    e.setAcceptMIDI(false);
    EXPECT_EQ(e.processEvents(&list), 1);
    e.block();
    EXPECT_EQ(e.getPolyNoteTable()->getInUse(), 0) << "nothing while MIDI is not accepted";

    e.setAcceptMIDI(true);
    EXPECT_EQ(e.processEvents(&list), 1);
    e.block();
    // Every instrument listens on every channel: one voice each, all of note 60.
    EXPECT_EQ(soundingPerInstrument(e), (Counts{1, 1, 1, 1}));
    EXPECT_EQ(e.getPolyNoteTable()->findPolyNoteEntry(0, 61, PolyNoteTable_c::AnyChannel), -1);
}
