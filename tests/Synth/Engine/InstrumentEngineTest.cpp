// The instrument with the real engine: its events go through the engine's
// voice table to voices that report themselves finished a few blocks after
// their release, so every note that is let go must end with a free entry.
#include "InstrumentTestSynth.h"

#include "PolyNoteTable.h"
#include "Tone.h"

#include <gtest/gtest.h>

using namespace InstrumentTest;

namespace {

using TestVoice = FinishingVoice;

class VoicedSynth : public Synth
{
public:
    VoicedSynth()
        : Synth(nullptr, {.programs = 4,
                          .parameterSlots = 16,
                          .hostParameters = 8,
                          .voices = NumVoices,
                          .productName = "Voiced",
                          .versionText = "1.0",
                          .codeName = "InsVoiced"})
    {
        Synth::open();
        ins.create(this, 0, NumVoices, false);
        if (instruments)
            instruments[0] = &ins;
        for (int v = 0; voices && v < NumVoices; ++v)
            voices[v] = &voice[v];
    }
    ~VoicedSynth() override
    {
        if (isOpen())
            closeShutdown();
    }
    ProbeInstrument ins;
    TestVoice voice[NumVoices];
};

struct InstrumentEngine : testing::Test
{
    VoicedSynth synth;
    ProbeInstrument& ins = synth.ins;
    PolyNoteTable_c& table = *synth.getPolyNoteTable();

    void send(int offset, int status, int data1, int data2)
    {
        const unsigned char m[3] = {static_cast<unsigned char>(status), static_cast<unsigned char>(data1),
                                    static_cast<unsigned char>(data2)};
        ins.remindEvent(offset, m);
    }
    void blocks(int n)
    {
        for (int i = 0; i < n; ++i)
            ins.processAll(128);
    }
    int heldEntries() const
    {
        int n = 0;
        for (int v = 0; v < table.getVoiceCount(); ++v)
            n += table.get(v)->state == NoteStateOn;
        return n;
    }
    void expectAllFree()
    {
        for (int v = 0; v < table.getVoiceCount(); ++v)
            EXPECT_EQ(table.get(v)->state, NoteStateFree) << "voice " << v;
        EXPECT_EQ(table.getInUse(), 0);
        EXPECT_EQ(ins.voicesInUse.load(), 0);
        EXPECT_EQ(ins.heldVoices.load(), 0);
    }
};

} // namespace

TEST_F(InstrumentEngine, OverlappingNotesUnderThePedalAllEnd)
{
    // 64 notes, each let go while the next sounds, under a pedal that is
    // lifted and pressed again now and then; more notes than voices.
    send(0, 0xB0, 64, 127);
    for (int i = 0; i < 64; ++i) {
        send(10, 0x90 | (i % 3), 30 + i, 100);
        if (i > 0)
            send(20, 0x80 | ((i - 1) % 3), 30 + i - 1, 0);
        if (i % 16 == 15) {
            for (int c = 0; c < 3; ++c) {
                send(30, 0xB0 | c, 64, 0);
                send(40, 0xB0 | c, 64, 127);
            }
        }
        blocks(1);
    }
    send(0, 0x80 | (63 % 3), 93, 0);
    for (int c = 0; c < 3; ++c)
        send(10, 0xB0 | c, 64, 0);
    blocks(TestVoice::TailBlocks + 2);
    expectAllFree();
    EXPECT_EQ(ins.getSustainedCount(), 0);
}

TEST_F(InstrumentEngine, AllNotesOffReachesEveryHeldVoice)
{
    for (int n = 0; n < 8; ++n)
        send(n, 0x90, 60 + n, 100);
    blocks(1);
    ASSERT_EQ(heldEntries(), 8);
    // A free entry among the held ones.
    send(0, 0x80, 62, 0);
    blocks(TestVoice::TailBlocks + 2);
    ASSERT_EQ(table.get(2)->state, NoteStateFree);
    ASSERT_EQ(heldEntries(), 7);
    send(5, 0xB0, 123, 0);
    blocks(1);
    EXPECT_EQ(heldEntries(), 0) << "every held voice is released";
    blocks(TestVoice::TailBlocks + 2);
    expectAllFree();
}

TEST_F(InstrumentEngine, MonoReturnsToTheHeldKeyOnTheSameVoice)
{
    ins.setVoiceLimit(1);
    send(0, 0x90, 60, 100);
    blocks(1);
    send(0, 0x90, 64, 100);
    blocks(1);
    ASSERT_EQ(heldEntries(), 1);
    const int voice = table.findPolyNoteEntry(0, 64, 0);
    ASSERT_GE(voice, 0);
    send(0, 0x80, 64, 0);
    blocks(1);
    EXPECT_EQ(table.findPolyNoteEntry(0, 60, 0), voice) << "the voice plays the held key again";
    EXPECT_EQ(heldEntries(), 1);
    send(0, 0x80, 60, 0);
    blocks(TestVoice::TailBlocks + 2);
    expectAllFree();
}

TEST_F(InstrumentEngine, ATranspositionChangedWhileKeysAreHeldLeavesNoVoiceBehind)
{
    send(0, 0x90, 60, 100);
    send(0, 0x90, 119, 100);
    blocks(1);
    ins.setNoteOffs(7); // 119 would now fold to 114, 60 become 67
    send(0, 0x80, 60, 0);
    send(0, 0x80, 119, 0);
    blocks(TestVoice::TailBlocks + 2);
    expectAllFree();
}
