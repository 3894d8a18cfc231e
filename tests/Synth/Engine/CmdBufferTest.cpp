#include "CmdBuffer.h"

#include "Capacities.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
HoldData_c rec(uint8_t command, int index = 0, int value = 0)
{
    return HoldData_c(command, int16_t(index), int16_t(value));
}

// Takes every queued record, oldest first.
std::vector<HoldData_c> drain(CmdBuffer_c& ring)
{
    std::vector<HoldData_c> out;
    HoldData_c r;
    while (ring.unholdEvent(&r))
        out.push_back(r);
    return out;
}

// Commands and values of the records, e.g. "S1 Y2 03" (0 for an emptied one).
std::string describe(const std::vector<HoldData_c>& records)
{
    std::string s;
    for (const HoldData_c& r : records) {
        if (!s.empty())
            s += ' ';
        s += r.command ? char(r.command) : '0';
        s += std::to_string(r.value);
    }
    return s;
}
} // namespace

TEST(CmdBuffer, HoldsOneRecordFewerThanItsSlots)
{
    CmdBuffer_c ring(CmdBufferSize);
    ASSERT_EQ(ring.getSize(), 640);
    for (int i = 0; i < CmdBufferSize - 1; i++) {
        HoldData_c r = rec('S', 0, i);
        ASSERT_TRUE(ring.holdEvent(&r, hdAppend)) << i;
    }
    HoldData_c extra = rec('T', 1, 1);
    EXPECT_FALSE(ring.holdEvent(&extra, hdAppend)) << "the 640th record is refused";
    EXPECT_FALSE(ring.holdEvent(&extra, hdReplaceSame));
    EXPECT_FALSE(ring.holdEvent(&extra, hdKeepFirst));
    EXPECT_FALSE(ring.isThere(&extra)) << "a refused record changes nothing";
    EXPECT_EQ(ring.getCount(), 639);

    std::vector<HoldData_c> out = drain(ring);
    ASSERT_EQ(out.size(), 639u);
    for (int i = 0; i < 639; i++)
        ASSERT_EQ(out[size_t(i)].value, i) << "oldest first";
    EXPECT_TRUE(ring.holdEvent(&extra, hdAppend)) << "room again once drained";
}

TEST(CmdBuffer, WrapsAroundManyTimesInOrder)
{
    // A small ring filled and drained unevenly, so the positions pass the end
    // of the slots many times with records on both sides of it.
    CmdBuffer_c ring(5);
    int next = 0, expect = 0;
    for (int round = 0; round < 50; round++) {
        int put = 1 + round % 3;
        for (int i = 0; i < put; i++) {
            HoldData_c r = rec('Y', 0, next++);
            ASSERT_TRUE(ring.holdEvent(&r, hdAppend)) << "round " << round;
        }
        bool room = next - expect < 4; // four records fill five slots
        HoldData_c more = rec('Y', 0, next);
        EXPECT_EQ(ring.holdEvent(&more, hdAppend), room) << "round " << round;
        if (room)
            next++;
        // Leave one record queued across the round every other round.
        int keep = round % 2;
        HoldData_c out;
        while (next - expect > keep) {
            ASSERT_TRUE(ring.unholdEvent(&out));
            ASSERT_EQ(out.value, expect++) << "round " << round;
        }
    }
    std::vector<HoldData_c> rest = drain(ring);
    for (const HoldData_c& o : rest)
        EXPECT_EQ(o.value, expect++);
    EXPECT_EQ(expect, next);
}

TEST(CmdBuffer, RefusesWhatItCannotQueue)
{
    CmdBuffer_c ring(8);
    HoldData_c empty;
    HoldData_c ok = rec('S', 1);
    struct Case { const char* what; const HoldData_c* record; int rule; };
    const Case cases[] = {
        {"null record", nullptr, hdAppend},
        {"command 0", &empty, hdAppend},
        {"command 0 under rule 0", &empty, hdReplaceSame},
        {"rule -1", &ok, -1},
        {"rule 3", &ok, 3},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(ring.holdEvent(c.record, tHD_RemoveDouble(c.rule))) << c.what;
    HoldData_c out;
    EXPECT_FALSE(ring.unholdEvent(&out)) << "nothing was queued";
    EXPECT_FALSE(ring.unholdEvent(nullptr));
    EXPECT_FALSE(ring.isThere(nullptr));

    for (int size : {-1, 0, 1}) {
        CmdBuffer_c none(size);
        EXPECT_EQ(none.getSize(), 0) << size;
        EXPECT_FALSE(none.holdEvent(&ok, hdAppend)) << size;
        EXPECT_FALSE(none.unholdEvent(&out)) << size;
        EXPECT_FALSE(none.isThere(&ok)) << size;
        none.clearCmd('S'); // harmless without storage
        none.remove(&ok);
    }
}

TEST(CmdBuffer, DuplicateRules)
{
    // Each row queues the records of "before" (rule 2), then posts the new
    // record under the rule, and tells what the consumer then takes.
    struct Case {
        const char* what;
        std::vector<HoldData_c> before;
        HoldData_c post;
        int rule;
        bool result;
        const char* taken;
    };
    const Case cases[] = {
        {"rule 0 empties every earlier same record", {rec('S', 1, 1), rec('Y', 0, 2), rec('S', 1, 1)}, rec('S', 1, 1),
         hdReplaceSame, true, "01 Y2 01 S1"},
        {"rule 0 keeps records that differ in one argument", {rec('S', 2, 1)}, rec('S', 1, 1), hdReplaceSame, true,
         "S1 S1"},
        {"rule 0: any two 'I' records are the same", {rec('I', 0, 5), rec('J', 0, 6), rec('I', 0, 9)}, rec('I', 0, 7),
         hdReplaceSame, true, "05 J6 09 I7"},
        {"rule 0 on an empty ring appends", {}, rec('I', 0, 7), hdReplaceSame, true, "I7"},
        {"rule 1 with a same record queued succeeds and queues nothing", {rec('S', 1, 3), rec('Y', 0, 4)},
         rec('S', 1, 3), hdKeepFirst, true, "S3 Y4"},
        {"rule 1 keeps the first 'I' request", {rec('I', 0, 3)}, rec('I', 0, 8), hdKeepFirst, true, "I3"},
        {"rule 1 with no same record appends", {rec('S', 1, 3)}, rec('S', 2, 3), hdKeepFirst, true, "S3 S3"},
        {"rule 1 on an empty ring appends", {}, rec('S', 1, 3), hdKeepFirst, true, "S3"},
        {"rule 2 appends a copy", {rec('S', 1, 3)}, rec('S', 1, 3), hdAppend, true, "S3 S3"},
    };
    for (const Case& c : cases) {
        CmdBuffer_c ring(8);
        for (const HoldData_c& r : c.before)
            ASSERT_TRUE(ring.holdEvent(&r, hdAppend)) << c.what;
        EXPECT_EQ(ring.holdEvent(&c.post, tHD_RemoveDouble(c.rule)), c.result) << c.what;
        EXPECT_EQ(describe(drain(ring)), c.taken) << c.what;
    }
}

TEST(CmdBuffer, IsThereSeesOnlyQueuedRecords)
{
    CmdBuffer_c ring(4);
    HoldData_c s = rec('S', 1, 2), y = rec('Y', 0, 2);
    EXPECT_FALSE(ring.isThere(&s)) << "empty ring";
    ASSERT_TRUE(ring.holdEvent(&s, hdAppend));
    ASSERT_TRUE(ring.holdEvent(&y, hdAppend));
    EXPECT_TRUE(ring.isThere(&s));
    EXPECT_TRUE(ring.isThere(&y)) << "the newest counts";
    HoldData_c out;
    ASSERT_TRUE(ring.unholdEvent(&out));
    EXPECT_FALSE(ring.isThere(&s)) << "a taken record is no longer queued";
    EXPECT_TRUE(ring.isThere(&y));
    // Pass the end of the slots: the search must follow the wrap.
    for (int i = 0; i < 2; i++) {
        HoldData_c r = rec('Q', 0, i);
        ASSERT_TRUE(ring.holdEvent(&r, hdAppend));
    }
    HoldData_c last = rec('Q', 0, 1);
    EXPECT_TRUE(ring.isThere(&last));
}

TEST(CmdBuffer, ClearingLeavesEmptyRecordsInPlace)
{
    CmdBuffer_c ring(8);
    const HoldData_c queued[] = {rec('S', 255, 1), rec('Q', 0, 2), rec('S', 0, 3), rec('X', 0, 4), rec('Q', 0, 5)};
    for (const HoldData_c& r : queued)
        ASSERT_TRUE(ring.holdEvent(&r, hdAppend));

    ring.clearCmd('S');
    HoldData_c s3 = rec('S', 0, 3);
    EXPECT_FALSE(ring.isThere(&s3));
    ring.resetMIDI(); // the queued notes of the zone-checked kind
    ring.clearCmd(0);
    ring.clearCmd(256 + 'Y');
    ring.clearCmd(-1);

    std::vector<HoldData_c> out = drain(ring);
    EXPECT_EQ(describe(out), "01 02 03 X4 05") << "emptied records stay queued, in place";
    EXPECT_EQ(out[0].index, 255) << "only the command is emptied";

    // An emptied record still holds its slot until taken.
    CmdBuffer_c small(3);
    HoldData_c a = rec('S', 0, 1), b = rec('S', 0, 2);
    ASSERT_TRUE(small.holdEvent(&a, hdAppend));
    ASSERT_TRUE(small.holdEvent(&b, hdAppend));
    small.remove(&a);
    EXPECT_FALSE(small.holdEvent(&a, hdAppend)) << "full: the emptied record is still queued";
    HoldData_c taken;
    ASSERT_TRUE(small.unholdEvent(&taken));
    EXPECT_EQ(taken.command, 0);
    EXPECT_TRUE(small.holdEvent(&a, hdAppend));
}
