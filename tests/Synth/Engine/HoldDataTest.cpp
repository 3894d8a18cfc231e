#include "HoldData.h"

#include <gtest/gtest.h>

namespace {
int a, b; // addresses to tell pointers apart

HoldData_c full(uint8_t command)
{
    HoldData_c r(command, 3, -7, &a, &b);
    r.midi[0] = 0x90;
    r.midi[1] = 60;
    r.midi[2] = 100;
    return r;
}
} // namespace

TEST(HoldData, NewRecordIsEmptyAndSetCopiesEverything)
{
    HoldData_c r;
    EXPECT_EQ(r.command, 0);
    EXPECT_EQ(r.index, 0);
    EXPECT_EQ(r.value, 0);
    EXPECT_EQ(r.spare, 0);
    EXPECT_EQ(r.ptr1, nullptr);
    EXPECT_EQ(r.ptr2, nullptr);
    for (uint8_t m : r.midi)
        EXPECT_EQ(m, 0);

    HoldData_c copy;
    copy.set(full('Q'));
    EXPECT_TRUE(copy.isSame(full('Q')));
    EXPECT_EQ(copy.value, -7);
    EXPECT_EQ(copy.midi[2], 100);
    copy.clear();
    EXPECT_TRUE(copy.isSame(HoldData_c()));
}

TEST(HoldData, SameMeansEveryFieldExceptForProgramRequests)
{
    // Each row changes one field of a full 'Q' record; every change makes it
    // a different record.
    struct Case { const char* what; void (*change)(HoldData_c&); };
    const Case cases[] = {
        {"command", [](HoldData_c& r) { r.command = 'X'; }},
        {"index", [](HoldData_c& r) { r.index = 4; }},
        {"value", [](HoldData_c& r) { r.value = 7; }},
        {"spare", [](HoldData_c& r) { r.spare = 1; }},
        {"first pointer", [](HoldData_c& r) { r.ptr1 = nullptr; }},
        {"second pointer", [](HoldData_c& r) { r.ptr2 = &a; }},
        {"status", [](HoldData_c& r) { r.midi[0] = 0x80; }},
        {"key", [](HoldData_c& r) { r.midi[1] = 61; }},
        {"velocity", [](HoldData_c& r) { r.midi[2] = 0; }},
        {"fourth byte", [](HoldData_c& r) { r.midi[3] = 1; }},
    };
    for (const Case& c : cases) {
        HoldData_c other = full('Q');
        c.change(other);
        EXPECT_FALSE(full('Q').isSame(other)) << c.what;
        EXPECT_FALSE(other.isSame(full('Q'))) << c.what;
    }
    EXPECT_TRUE(full('Q').isSame(full('Q')));

    // Any two program requests are the same, whatever they carry.
    HoldData_c p1('I', 0, 5), p2('I', 2, 90, &a, &b);
    EXPECT_TRUE(p1.isSame(p2));
    EXPECT_TRUE(p2.isSame(p1));
    EXPECT_FALSE(p1.isSame(HoldData_c('J', 0, 5))) << "only when both are 'I'";
    EXPECT_FALSE(HoldData_c('J', 0, 5).isSame(p1));
}
