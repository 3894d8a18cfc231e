#include "SafeDiv.h"

#include <gtest/gtest.h>

#include <climits>

TEST(SafeDiv, FloatForms)
{
    struct Case { float a, b, def; float expect; const char* what; };
    const Case cases[] = {
        {1, 0, 0, 1e9f, "fdiv by zero"},
        {-1, 0, 0, 1e9f, "the stand-in does not take the dividend's sign"},
        {1, -0.0f, 0, 1e9f, "negative zero is zero"},
        {3, 2, 0, 1.5f, "plain quotient"},
        {1, 0, 4, 0.25f, "fdivdef falls back to the default divisor"},
        {1, 0, 0, 1e9f, "fdivdef with both divisors zero"},
        {6, 3, 4, 2.0f, "fdivdef ignores the default when b is not zero"},
    };
    for (const Case& c : cases) {
        EXPECT_FLOAT_EQ(so_fdivdef(c.a, c.b, c.def), c.expect) << c.what;
        if (c.def == 0) {
            EXPECT_FLOAT_EQ(so_fdiv(c.a, c.b), c.expect) << c.what;
        }
    }
    EXPECT_DOUBLE_EQ(so_ddiv(1, 0), 999999999.9);
    EXPECT_DOUBLE_EQ(so_ddiv(1, 4), 0.25);
}

TEST(SafeDiv, IntegerForms)
{
    struct Case { int a, b; int expect; const char* what; };
    const Case cases[] = {
        {-7, 2, -3, "truncates toward zero"},
        {7, -2, -3, "truncates toward zero with a negative divisor"},
        {7, 0, 999999999, "zero divisor"},
        {0, 0, 999999999, "zero by zero"},
        {INT_MIN, -1, INT_MAX, "the one overflowing quotient saturates"},
        {INT_MIN, 1, INT_MIN, "smallest int by one"},
        {INT_MAX, -1, -INT_MAX, "largest int by minus one"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(so_idiv(c.a, c.b), c.expect) << c.what;
        EXPECT_EQ(so_ldiv(c.a, c.b), c.expect) << c.what;
    }

    struct DefCase { int a, b, def; int expect; const char* what; };
    const DefCase defCases[] = {
        {7, 0, 0, 999999999, "both divisors zero"},
        {7, 0, 2, 3, "default divisor"},
        {7, 2, 0, 3, "default unused"},
        {INT_MIN, 0, -1, INT_MAX, "default divisor that overflows saturates"},
        {INT_MIN, -1, 5, INT_MAX, "overflowing divisor saturates"},
    };
    for (const DefCase& c : defCases)
        EXPECT_EQ(so_ldivdef(c.a, c.b, c.def), c.expect) << c.what;
}
