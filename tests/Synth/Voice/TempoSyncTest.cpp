#include "TempoSync.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

std::string item(int code)
{
    return std::string(NoteValueItems + (code - NoteValueCodeOff) * NoteValueItemWidth, NoteValueItemWidth);
}

TEST(TempoSync, QuarterNotesPerCode)
{
    struct Case
    {
        int code;
        float quarters;
        const char* label;
    };
    const Case cases[] = {
        {-12, 96.0f, "16/1*"},    {-10, 42.6666f, "16/1T"}, {-1, 5.3333f, " 2/1T"}, {0, 6.0f, " 1/1*"},
        {2, 2.6666f, " 1/1T"},    {7, 1.0f, " 1/4 "},       {8, 0.6666f, " 1/4T"},  {13, 0.25f, "1/16 "},
        {17, 0.083333f, "1/32T"}, {18, 0.0625f, " 1/64"},   {19, 1.25f, " 5/16"},   {22, 2.5f, " 5/8 "},
        {26, 3.75f, "15/16"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        // Exactly the stored float: triplets keep their truncated decimals.
        EXPECT_EQ(FractToQuarterMultiple::quarters(c.code), c.quarters);
        EXPECT_EQ(FractToQuarterMultiple::fractions[c.code + 12], c.quarters);
        EXPECT_EQ(item(c.code), c.label);
    }
    EXPECT_NE(FractToQuarterMultiple::quarters(-10), 128.0f / 3.0f);
    EXPECT_EQ(item(NoteValueCodeOff), " Off ");
}

TEST(TempoSync, CodesOutsideTheTableCountAsOneQuarter)
{
    for (int code : {NoteValueCodeOff, 27, 40, -14, -1000, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(FractToQuarterMultiple::quarters(code), 1.0f);
        EXPECT_EQ(FractToQuarterMultiple::quartersTimes60(code), 60.0f);
        EXPECT_DOUBLE_EQ(FractToQuarterMultiple::rateHz(code, 120.0), 2.0);
    }
}

TEST(TempoSync, SecondsAndHertzAtTheTempo)
{
    EXPECT_DOUBLE_EQ(FractToQuarterMultiple::periodSeconds(13, 1.0 / 120.0), 0.125);
    EXPECT_DOUBLE_EQ(FractToQuarterMultiple::periodSeconds(7, 1.0 / 120.0), 0.5);
    EXPECT_DOUBLE_EQ(FractToQuarterMultiple::rateHz(7, 120.0), 2.0);
    // quarters x 60 is formed in single precision: " 1/1T" at 60 BPM stays
    // 2.6666 s and does not round up to 2.6667.
    const double t = FractToQuarterMultiple::periodSeconds(2, 1.0 / 60.0);
    EXPECT_NEAR(t, 2.6666, 2e-6);
    EXPECT_LT(t, 2.66665);
}

TEST(TempoSync, LabelListHasOneItemPerCode)
{
    EXPECT_EQ(std::strlen(NoteValueItems),
              static_cast<size_t>((NoteValueCodeLast - NoteValueCodeOff + 1) * NoteValueItemWidth));
    // Every item that is not " Off " names a fraction.
    for (int code = NoteValueCodeFirst; code <= NoteValueCodeLast; ++code)
        EXPECT_NE(item(code).find('/'), std::string::npos) << code;
}

// A sub-range takes the slice of the list for its codes, its low bound
// written " Off ".
TEST(TempoSync, SubRangeItems)
{
    constexpr auto delayItems = noteValueSubItems<3, 17>();
    EXPECT_STREQ(delayItems.data(), " Off  1/2  1/2T 1/4* 1/4  1/4T 1/8* 1/8  1/8T1/16*1/16 1/16T1/32*1/32 1/32T");
    constexpr auto gateItems = noteValueSubItems<9, 26>();
    EXPECT_EQ(std::string(gateItems.data(), 10), " Off  1/8 ");
    EXPECT_EQ(std::string(gateItems.data() + 17 * NoteValueItemWidth), "15/16");
    constexpr auto fullItems = noteValueSubItems<NoteValueCodeOff, NoteValueCodeLast>();
    EXPECT_STREQ(fullItems.data(), NoteValueItems);
}

// A parameter that is always synchronised takes the plain slice: its low
// bound keeps its own label.
TEST(TempoSync, PlainSliceKeepsTheFirstLabel)
{
    constexpr auto stepItems = noteValueSlice<1, 17>();
    EXPECT_EQ(std::string(stepItems.data(), 10), " 1/1  1/1T");
    EXPECT_EQ(std::strlen(stepItems.data()), static_cast<size_t>(17 * NoteValueItemWidth));
    EXPECT_EQ(std::string(stepItems.data() + 16 * NoteValueItemWidth), "1/32T");
    // From " Off " on, the slice and the parameter items agree.
    constexpr auto offSlice = noteValueSlice<NoteValueCodeOff, 11>();
    constexpr auto offItems = noteValueSubItems<NoteValueCodeOff, 11>();
    EXPECT_STREQ(offSlice.data(), offItems.data());
}

} // namespace
