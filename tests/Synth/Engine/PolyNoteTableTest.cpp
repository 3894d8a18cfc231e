#include "PolyNoteTable.h"

#include "Instrument.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// The table's clock in these tests: whatever the test sets.
int64_t fakeNow = 0;
int64_t fakeClock() { return fakeNow; }

// An instrument that records what the table tells it. noteVanishes notes
// whether the voice was still held at the moment it was taken away, which is
// what the real instrument asks the table.
class RecordingInstrument : public Instrument_c
{
public:
    explicit RecordingInstrument(const PolyNoteTable_c* t) : Instrument_c(1), table(t) {}

    void noteVanishes(int voice, int note) override
    {
        Instrument_c::noteVanishes(voice, note);
        vanished.push_back({voice, note, table->isOn(voice, nullptr, nullptr)});
    }

    struct Vanish { int voice, note; bool wasHeld; };
    const PolyNoteTable_c* table;
    std::vector<Vanish> vanished;
};

NoteC_c noteOf(int note, int velocity, int channel)
{
    NoteC_c n;
    n.note = note;
    n.velocity = velocity;
    n.channel = channel;
    return n;
}

class VoiceTable : public ::testing::Test
{
protected:
    explicit VoiceTable(int voices = 4) : table(voices) {}

    void SetUp() override
    {
        fakeNow = 1000;
        table.setClock(&fakeClock);
    }

    RecordingInstrument& ins(int i) { return i == 0 ? ins0 : ins1; }

    // Plays a note at a time; the voice or -1.
    int on(int i, int note, int channel, int64_t at, int limit = 32, bool* reused = nullptr)
    {
        fakeNow = at;
        bool r = false;
        const int v = table.noteOn(i, &ins(i), limit, noteOf(note, 100, channel), &r, false);
        if (reused)
            *reused = r;
        return v;
    }
    int off(int i, int note, int channel, int64_t at)
    {
        fakeNow = at;
        return table.noteOff(i, noteOf(note, 40, channel));
    }

    // The table's counts equal what its entries say, and each instrument's
    // counts equal its own entries.
    void expectCountsConsistent(const std::string& where)
    {
        int used = 0, held = 0, used0 = 0, held0 = 0, used1 = 0, held1 = 0;
        for (int v = 0; v < table.getVoiceCount(); ++v) {
            const PolyNote_t* e = table.get(v);
            const bool u = e->state != NoteStateFree, h = e->state == NoteStateOn;
            used += u;
            held += h;
            (e->ins == &ins0 ? used0 : used1) += u;
            (e->ins == &ins0 ? held0 : held1) += h;
        }
        EXPECT_EQ(table.getInUse(), used) << where;
        EXPECT_EQ(table.getHeld(), held) << where;
        EXPECT_EQ(ins0.voicesInUse.load(), used0) << where;
        EXPECT_EQ(ins0.heldVoices.load(), held0) << where;
        EXPECT_EQ(ins1.voicesInUse.load(), used1) << where;
        EXPECT_EQ(ins1.heldVoices.load(), held1) << where;
    }

    PolyNoteTable_c table;
    RecordingInstrument ins0{&table};
    RecordingInstrument ins1{&table};
};

class VoiceTable8 : public VoiceTable
{
protected:
    VoiceTable8() : VoiceTable(8) {}
};

class VoiceTable32 : public VoiceTable
{
protected:
    VoiceTable32() : VoiceTable(32) {}
};

// One step of a scenario: 'n' note-on, 'f' note-off, 'q' quick fade-out of
// the voice given as note.
struct Step
{
    char op;
    int ins, note, channel;
    int64_t at;
};

} // namespace

// A full table of four voices is prepared step by step, then one more note
// comes; the row names the voice that must be taken.
TEST_F(VoiceTable, StealsInTheOrderOfTheRules)
{
    struct Case
    {
        const char* what;
        std::vector<Step> steps;
        Step extra;
        int expect;
    };
    const int64_t T = 1000;
    const std::vector<Case> cases = {
        {"a released voice goes before an older held one of the same rank",
         {{'n', 0, 60, 0, T}, {'n', 0, 61, 0, T + 1}, {'n', 0, 62, 0, T + 2}, {'n', 0, 63, 0, T + 3},
          {'f', 0, 62, 0, T + 10}},
         {'n', 0, 70, 0, T + 20}, 2},
        {"a held voice with the same note and channel beats an older held one",
         {{'n', 0, 60, 0, T}, {'n', 0, 61, 0, T + 1}, {'n', 0, 64, 0, T + 2}, {'n', 0, 63, 0, T + 3}},
         {'n', 0, 64, 0, T + 20}, 2},
        {"the same note on another channel counts only as the same channel or not at all",
         {{'n', 0, 64, 1, T}, {'n', 0, 61, 0, T + 1}, {'n', 0, 62, 0, T + 2}, {'n', 0, 63, 0, T + 3}},
         {'n', 0, 64, 0, T + 20}, 1},
        {"a released voice with the same note beats an older released one on the channel",
         {{'n', 0, 60, 0, T}, {'n', 0, 61, 0, T + 1}, {'n', 0, 62, 0, T + 2}, {'n', 0, 63, 0, T + 3},
          {'f', 0, 60, 0, T + 5}, {'f', 0, 63, 0, T + 6}},
         {'n', 0, 63, 0, T + 20}, 3},
        {"two voices released in the same millisecond: the lower index goes",
         {{'n', 0, 60, 0, T}, {'n', 0, 61, 0, T + 1}, {'n', 0, 62, 0, T + 2}, {'n', 0, 63, 0, T + 3},
          {'f', 0, 63, 0, T + 7}, {'f', 0, 61, 0, T + 7}},
         {'n', 0, 70, 0, T + 20}, 1},
        {"two voices started in the same millisecond: the lower index goes",
         {{'n', 0, 60, 0, T + 4}, {'n', 0, 61, 0, T + 2}, {'n', 0, 62, 0, T + 2}, {'n', 0, 63, 0, T + 3}},
         {'n', 0, 70, 0, T + 20}, 1},
        {"a held voice of the same instrument and channel beats a released one of another instrument",
         {{'n', 1, 60, 0, T}, {'n', 0, 61, 0, T + 1}, {'n', 0, 62, 0, T + 2}, {'n', 1, 63, 0, T + 3},
          {'f', 1, 60, 0, T + 4}},
         {'n', 0, 70, 0, T + 20}, 1},
        {"nothing of the instrument on the channel: the oldest released voice of anyone",
         {{'n', 1, 60, 0, T}, {'n', 0, 61, 5, T + 1}, {'n', 1, 62, 0, T + 2}, {'n', 1, 63, 0, T + 3},
          {'f', 1, 63, 0, T + 5}, {'f', 1, 62, 0, T + 6}},
         {'n', 0, 70, 0, T + 20}, 3},
        {"nothing released anywhere: the oldest held voice of anyone",
         {{'n', 1, 60, 0, T + 3}, {'n', 0, 61, 5, T + 1}, {'n', 1, 62, 0, T + 2}, {'n', 1, 63, 0, T + 4}},
         {'n', 0, 70, 0, T + 20}, 1},
        {"fading voices are never stolen",
         {{'n', 0, 60, 0, T}, {'n', 0, 61, 0, T + 1}, {'n', 0, 62, 0, T + 2}, {'n', 0, 63, 0, T + 3},
          {'q', 0, 0, 0, T + 4}, {'q', 0, 1, 0, T + 4}},
         {'n', 0, 70, 0, T + 20}, 2},
        {"every voice fading: the note is not played",
         {{'n', 0, 60, 0, T}, {'n', 0, 61, 0, T + 1}, {'n', 0, 62, 0, T + 2}, {'n', 0, 63, 0, T + 3},
          {'q', 0, 0, 0, T + 4}, {'q', 0, 1, 0, T + 4}, {'q', 0, 2, 0, T + 4}, {'q', 0, 3, 0, T + 4}},
         {'n', 0, 70, 0, T + 20}, -1},
    };
    for (const Case& c : cases) {
        table.reset();
        ins0.vanished.clear();
        for (const Step& s : c.steps) {
            if (s.op == 'n')
                ASSERT_GE(on(s.ins, s.note, s.channel, s.at), 0) << c.what;
            else if (s.op == 'f')
                ASSERT_GE(off(s.ins, s.note, s.channel, s.at), 0) << c.what;
            else
                table.quickFadeOut(s.note);
        }
        const PolyNote_t before = *table.get(c.expect < 0 ? 0 : c.expect);
        bool reused = false;
        EXPECT_EQ(on(c.extra.ins, c.extra.note, c.extra.channel, c.extra.at, 32, &reused), c.expect) << c.what;
        expectCountsConsistent(c.what);
        if (c.expect < 0) {
            EXPECT_TRUE(ins0.vanished.empty()) << c.what;
            continue;
        }
        EXPECT_TRUE(reused) << c.what;
        ASSERT_EQ(ins0.vanished.size(), 1u) << c.what;
        EXPECT_EQ(ins0.vanished[0].voice, c.expect) << c.what;
        EXPECT_EQ(ins0.vanished[0].note, before.note) << c.what << ": told the note it loses";
        EXPECT_EQ(ins0.vanished[0].wasHeld, before.state == NoteStateOn) << c.what;
        EXPECT_EQ(table.get(c.expect)->note, c.extra.note) << c.what;
        EXPECT_EQ(table.get(c.expect)->instrument, c.extra.ins) << c.what;
    }
}

// 32 voices held by one instrument; a 33rd note takes the oldest held voice
// with its note and channel, else the oldest held one on its channel.
TEST_F(VoiceTable32, TheThirtyThirdNoteStealsByNoteThenChannel)
{
    for (int v = 0; v < 32; ++v)
        ASSERT_EQ(on(0, 30 + v, v < 16 ? 0 : 1, 1000 + v), v);
    EXPECT_EQ(table.findFreePolyNote(), -1);
    EXPECT_EQ(on(0, 40, 0, 2000), 10) << "the held voice with the same note and channel";
    EXPECT_EQ(on(0, 90, 1, 2001), 16) << "the oldest held voice on channel 1";
    EXPECT_EQ(on(0, 91, 2, 2002), 0) << "nothing on channel 2: the oldest held voice";
    expectCountsConsistent("after three steals");
}

TEST_F(VoiceTable8, LoweringTheLimitFreesTheExcessReleasedFirst)
{
    for (int v = 0; v < 8; ++v)
        ASSERT_EQ(on(0, 60 + v, 0, 1000 + v, 8), v);
    // Released in this order: voice 6 first, then 1, then 4.
    off(0, 66, 0, 1100);
    off(0, 61, 0, 1101);
    off(0, 64, 0, 1102);
    ins0.vanished.clear();

    bool reused = false;
    const int voice = on(0, 80, 0, 1200, 2, &reused);
    // Six go: the three released (6, 1, 4), then the three oldest held
    // (0, 2, 3). Voices 5 and 7 remain; the new note steals the older, 5.
    EXPECT_EQ(voice, 5);
    EXPECT_TRUE(reused);
    for (int v : {0, 1, 2, 3, 4, 6})
        EXPECT_EQ(table.get(v)->state, NoteStateFree) << v;
    EXPECT_EQ(table.get(7)->state, NoteStateOn);
    EXPECT_EQ(ins0.voicesInUse.load(), 2);
    EXPECT_EQ(ins0.heldVoices.load(), 2);
    expectCountsConsistent("limit 2");
    ASSERT_EQ(ins0.vanished.size(), 2u);
    EXPECT_EQ(ins0.vanished[0].voice, 3) << "told about the last voice freed";
    EXPECT_EQ(ins0.vanished[1].voice, 5) << "and about the stolen one";

    EXPECT_EQ(table.shutdownPolyNote(0, 0), -1);
    EXPECT_EQ(table.shutdownPolyNote(0, 5), 5) << "frees what there is (7, then 5), answers the last";
    EXPECT_EQ(ins0.voicesInUse.load(), 0);
}

TEST_F(VoiceTable, ALimitOfOneHandsEachNoteTheHeldVoiceOfThePrevious)
{
    for (int limit : {1, 0}) {  // 0 counts as 1
        table.reset();
        ins0.vanished.clear();
        bool reused = true;
        ASSERT_EQ(on(0, 60, 0, 1000, limit, &reused), 0);
        EXPECT_FALSE(reused) << "a free voice";
        EXPECT_EQ(on(0, 64, 0, 1100, limit, &reused), 0);
        EXPECT_TRUE(reused);
        ASSERT_EQ(ins0.vanished.size(), 1u);
        EXPECT_TRUE(ins0.vanished[0].wasHeld) << "the instrument sees a still-held voice: legato glide";
        EXPECT_EQ(ins0.vanished[0].note, 60);
        off(0, 64, 0, 1200);
        EXPECT_EQ(on(0, 67, 0, 1300, limit, &reused), 0);
        EXPECT_FALSE(ins0.vanished.back().wasHeld) << "a released voice taken over";
        EXPECT_EQ(ins0.voicesInUse.load(), 1);
        expectCountsConsistent("mono");
    }
}

TEST_F(VoiceTable, LegatoNeedsMoreThanThirtyMillisecondsOfHeldNote)
{
    struct Case { int64_t gap; int channel; int instrument; bool legato; };
    const Case cases[] = {
        {30, 0, 0, false},
        {31, 0, 0, true},
        {500, 1, 0, false},  // the held note is on another channel
        {500, 0, 1, false},  // and of another instrument
    };
    for (const Case& c : cases) {
        table.reset();
        ASSERT_EQ(on(0, 60, 0, 5000), 0);
        const int v = on(c.instrument, 64, c.channel, 5000 + c.gap);
        ASSERT_EQ(v, 1);
        EXPECT_EQ(table.get(v)->legato, c.legato) << "gap " << c.gap << " ch " << c.channel << " ins " << c.instrument;
    }
    // The earliest held note counts, and a released one does not.
    table.reset();
    on(0, 60, 0, 5000);
    on(0, 62, 0, 5020);
    EXPECT_TRUE(table.get(on(0, 64, 0, 5040))->legato) << "40 ms after the earliest";
    off(0, 60, 0, 5041);
    EXPECT_FALSE(table.get(on(0, 65, 0, 5050))->legato) << "30 ms after the earliest still held";
}

// The system clock counts from boot: a machine up for 25 days has passed
// 2^31 ms. Stealing and legato must work on both sides of that.
TEST_F(VoiceTable, TimesAroundTwoToTheThirtyFirstMilliseconds)
{
    const int64_t wrap = int64_t{1} << 31;
    for (int64_t base : {wrap - 20, wrap * 2 - 20, int64_t{1} << 40}) {
        table.reset();
        on(0, 60, 0, base + 15);
        on(0, 61, 0, base + 10);  // the oldest
        on(0, 62, 0, base + 25);
        on(0, 63, 0, base + 41);
        EXPECT_EQ(table.get(3)->onTime, base + 41);
        EXPECT_TRUE(table.get(3)->legato) << "31 ms after the earliest held note across the boundary";
        EXPECT_FALSE(table.get(2)->legato);
        EXPECT_EQ(on(0, 70, 0, base + 50), 1) << "base " << base;
        off(0, 62, 0, base + 60);
        off(0, 60, 0, base + 60);
        EXPECT_EQ(table.get(0)->offTime, base + 60);
        EXPECT_EQ(on(0, 71, 0, base + 70), 0) << "released in the same ms: lower index; base " << base;
    }
}

TEST_F(VoiceTable, StateChangesKeepEveryCountAndTheFirstNoteFlags)
{
    on(0, 60, 3, 1000);
    EXPECT_TRUE(ins0.getFirstNoteFlag(3)) << "nothing else held on channel 3";
    EXPECT_TRUE(ins0.voiceStarted.load());
    on(0, 62, 3, 1001);
    EXPECT_FALSE(ins0.getFirstNoteFlag(3));
    ins0.voiceStarted.store(false);
    on(1, 64, 4, 1002);
    EXPECT_TRUE(ins1.getFirstNoteFlag(4));
    EXPECT_FALSE(ins0.voiceStarted.load());
    expectCountsConsistent("three held");

    off(0, 60, 3, 1010);
    expectCountsConsistent("one released");
    table.quickFadeOut(1);
    expectCountsConsistent("one fading");
    EXPECT_EQ(ins0.voicesInUse.load(), 2);
    EXPECT_EQ(ins0.heldVoices.load(), 0);

    // A free voice cannot turn released or fading: it would be in use
    // without ever having been counted.
    table.unusedNote(0);
    table.switchState(0, NoteStateOff, nullptr);
    table.quickFadeOut(0);
    table.setStateNoteOff(0, 10);
    EXPECT_EQ(table.get(0)->state, NoteStateFree);
    expectCountsConsistent("refused changes");
    // A change to on needs its new owner.
    table.switchState(0, NoteStateOn, nullptr);
    EXPECT_EQ(table.get(0)->state, NoteStateFree);

    // Released, fading and held voices all come back free.
    for (int v = 0; v < 4; ++v)
        table.unusedNote(v);
    expectCountsConsistent("all free");
    EXPECT_EQ(table.getInUse(), 0);

    // A steal across instruments moves the counts to the new owner, whose
    // flag says whether the stolen voice is the only one held on its channel.
    struct Case { int otherChannel; bool first; };
    for (const Case c : {Case{5, true}, Case{4, false}}) {
        table.reset();
        on(1, 60, 4, 2000);
        for (int n = 61; n < 64; ++n)
            on(1, n, c.otherChannel, 2001);
        EXPECT_EQ(on(0, 70, 4, 2010), 0);
        EXPECT_EQ(ins0.getFirstNoteFlag(4), c.first) << c.otherChannel;
        EXPECT_EQ(table.get(0)->ins, &ins0);
        EXPECT_EQ(ins1.voicesInUse.load(), 3);
        expectCountsConsistent("steal across instruments");
    }
}

TEST_F(VoiceTable, CountsStayWithinZeroAndTheVoiceCount)
{
    on(0, 60, 0, 1000);
    on(0, 61, 0, 1001);
    // Someone else reset the instrument's counts behind the table's back.
    ins0.voicesInUse.store(0);
    ins0.heldVoices.store(0);
    table.unusedNote(0);
    EXPECT_EQ(ins0.voicesInUse.load(), 0);
    EXPECT_EQ(ins0.heldVoices.load(), 0);
    ins0.voicesInUse.store(4);
    ins0.heldVoices.store(4);
    on(0, 62, 0, 1002);
    EXPECT_EQ(ins0.voicesInUse.load(), 4);
    EXPECT_EQ(ins0.heldVoices.load(), 4);
}

TEST_F(VoiceTable, ResetFreesEverythingAndZeroesTheOwners)
{
    on(0, 60, 0, 1000);
    on(1, 61, 0, 1001);
    off(1, 61, 0, 1002);
    table.reset();
    for (int v = 0; v < 4; ++v) {
        const PolyNote_t* e = table.get(v);
        EXPECT_EQ(e->state, NoteStateFree);
        EXPECT_EQ(e->instrument, -1);
        EXPECT_EQ(e->ins, nullptr);
        EXPECT_EQ(e->note, -1);
        EXPECT_EQ(e->velocity, -1);
        EXPECT_EQ(e->onTime, -1);
        EXPECT_EQ(e->offTime, -1);
        EXPECT_FALSE(e->legato);
    }
    EXPECT_EQ(table.getInUse(), 0);
    EXPECT_EQ(table.getHeld(), 0);
    EXPECT_EQ(ins0.voicesInUse.load(), 0);
    EXPECT_EQ(ins1.voicesInUse.load(), 0);
    EXPECT_EQ(ins0.heldVoices.load(), 0);
    int note = 7;
    EXPECT_EQ(table.getFirstActiveNote(0, &note), -3);
}

TEST_F(VoiceTable, LookupsTakeChannelSixteenAndNote128AsAny)
{
    on(0, 60, 2, 1000);           // 0: held
    on(0, 60, 5, 1001);           // 1: released below
    on(0, 62, 5, 1002);           // 2: fading below
    on(1, 60, 2, 1003);           // 3: other instrument
    off(0, 60, 5, 1004);
    table.quickFadeOut(2);

    struct Case { const char* what; int got, expect; };
    const Case cases[] = {
        {"entry: note and channel", table.findPolyNoteEntry(0, 60, 5), 1},
        {"entry: any channel", table.findPolyNoteEntry(0, 60, 16), 0},
        {"entry: any note", table.findPolyNoteEntry(0, 128, 5), 1},
        {"entry: fading is not found", table.findPolyNoteEntry(0, 62, 5), -1},
        {"entry: other instrument", table.findPolyNoteEntry(1, 128, 16), 3},
        {"entry: nothing", table.findPolyNoteEntry(0, 61, 16), -1},
        {"used: fading counts", table.findUsedPolyNote(0, 62, 16), 2},
        {"used: exact channel", table.findUsedPolyNote(0, 60, 5), 1},
        {"used: note is not a wildcard", table.findUsedPolyNote(0, 128, 16), -1},
        {"notes on, channel 2", table.getAmountNotesOn(2), 2},
        {"notes on, channel 5", table.getAmountNotesOn(5), 0},
        {"notes on, all channels", table.getAmountNotesOn(16), 2},
        {"note off, any channel", off(1, 60, 16, 1005), 3},
        {"note off, nothing held", off(1, 60, 16, 1006), -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.got, c.expect) << c.what;

    int instrument = 9, note = 9;
    EXPECT_TRUE(table.isOn(0, &instrument, &note));
    EXPECT_EQ(instrument, 0);
    EXPECT_EQ(note, 60);
    EXPECT_FALSE(table.isOn(1, &instrument, &note));
    EXPECT_EQ(instrument, -1);
    EXPECT_EQ(note, -1);
    EXPECT_TRUE(table.isActive(2, 0, &note));
    EXPECT_EQ(note, 62);
    EXPECT_FALSE(table.isActive(3, 0, &note));
    EXPECT_EQ(table.get(1)->velocity, 40) << "the release velocity replaces the note-on velocity";
}

TEST_F(VoiceTable, IndicesAreClampedEverywhereIncludingGetNote)
{
    on(0, 60, 2, 1000);
    on(0, 61, 3, 1001);
    on(0, 62, 4, 1002);
    on(0, 63, 5, 1003);
    NoteC_c n;
    EXPECT_TRUE(table.getNote(-7, &n));
    EXPECT_EQ(n.note, 60);
    EXPECT_EQ(n.channel, 2);
    EXPECT_EQ(n.velocity, 100);
    EXPECT_TRUE(table.getNote(99, &n));
    EXPECT_EQ(n.note, 63);
    EXPECT_FALSE(table.getNote(0, nullptr));
    EXPECT_EQ(table.get(99), table.get(3));
    EXPECT_EQ(table.get(-1), table.get(0));
    int note = 0;
    EXPECT_TRUE(table.isActive(1000, 0, &note));
    EXPECT_EQ(note, 63);
    EXPECT_EQ(table.unusedNote(-3), table.get(0));
    EXPECT_EQ(table.get(0)->state, NoteStateFree);

    // A channel outside 0..15 is stored clamped.
    table.reset();
    fakeNow = 2000;
    table.noteOn(0, &ins0, 4, noteOf(60, 100, 40), nullptr, false);
    EXPECT_EQ(table.get(0)->channel, 15);
}

TEST_F(VoiceTable, WalkingTheVoicesOfAnInstrument)
{
    int note = -9;
    EXPECT_EQ(table.getFirstActiveNote(0, &note), -3) << "nothing in use";
    EXPECT_EQ(table.getNextActiveNote(0, &note), -1) << "no walk running";

    on(1, 50, 0, 1000);  // 0
    on(0, 60, 0, 1001);  // 1
    on(1, 51, 0, 1002);  // 2
    on(0, 61, 0, 1003);  // 3
    off(0, 61, 0, 1004);

    std::vector<int> walked;
    for (int v = table.getFirstActiveNote(0, &note); v >= 0; v = table.getNextActiveNote(0, &note)) {
        walked.push_back(v * 1000 + note);
        table.unusedNote(v);  // freeing during the walk does not disturb it
    }
    EXPECT_EQ(walked, (std::vector<int>{1060, 3061}));
    EXPECT_EQ(table.getNextActiveNote(0, &note), -1);
    EXPECT_EQ(table.getFirstActiveNote(0, &note), -2) << "others are in use, none of this instrument";

    // An entry in use without a note ends the walk.
    table.get(2)->note = -1;
    EXPECT_EQ(table.getFirstActiveNote(1, &note), 0);
    EXPECT_EQ(table.getNextActiveNote(1, &note), -2);

    // A walk given up half-way is not continued after everything was freed.
    table.get(2)->note = 51;
    EXPECT_EQ(table.getFirstActiveNote(1, &note), 0);
    table.unusedNote(0);
    table.unusedNote(2);
    EXPECT_EQ(table.getFirstActiveNote(1, &note), -3);
    EXPECT_EQ(table.getNextActiveNote(1, &note), -1);
}

TEST_F(VoiceTable, NoteOnOptionsAndRefusals)
{
    bool reused = true;
    EXPECT_EQ(table.noteOn(0, nullptr, 4, noteOf(60, 100, 0), &reused, false), -1) << "no instrument object";
    EXPECT_EQ(table.getInUse(), 0);

    // Reusing the released voice of the same note first.
    on(0, 60, 0, 1000);
    on(0, 61, 0, 1001);
    off(0, 61, 0, 1002);
    fakeNow = 1010;
    EXPECT_EQ(table.noteOn(0, &ins0, 4, noteOf(61, 90, 0), &reused, true), 1);
    EXPECT_TRUE(reused);
    EXPECT_EQ(table.noteOn(0, &ins0, 4, noteOf(62, 90, 0), &reused, true), 2);
    EXPECT_FALSE(reused) << "no released voice of that note: a free one";
    expectCountsConsistent("reuse released first");
    EXPECT_EQ(table.noteOn(0, &ins0, 4, noteOf(63, 90, 0), nullptr, false), 3) << "a null reused pointer is fine";

    // An empty table refuses everything quietly.
    PolyNoteTable_c empty(0);
    NoteC_c n;
    EXPECT_FALSE(empty.isInitialized());
    EXPECT_EQ(empty.noteOn(0, &ins0, 4, noteOf(60, 100, 0), &reused, false), -1);
    EXPECT_EQ(empty.noteOff(0, noteOf(60, 0, 0)), -1);
    EXPECT_EQ(empty.get(0), nullptr);
    EXPECT_EQ(empty.unusedNote(0), nullptr);
    EXPECT_EQ(empty.quickFadeOut(0), nullptr);
    EXPECT_FALSE(empty.getNote(0, &n));
    EXPECT_FALSE(empty.isOn(0, nullptr, nullptr));
    EXPECT_EQ(empty.findFreePolyNote(), -1);
    EXPECT_EQ(empty.reusePolyNote(0, 60, 0), -1);
    EXPECT_EQ(empty.getFirstActiveNote(0, nullptr), -3);
    empty.reset();
    empty.setStateNoteOn(0, &ins0, 0, noteOf(60, 100, 0));
    empty.switchState(0, NoteStateOn, &ins0);
}
