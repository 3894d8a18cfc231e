#include "CodedEnuData.h"
#include "EPAS.h"
#include "Parameter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

Part_c* const SomePart = reinterpret_cast<Part_c*>(static_cast<uintptr_t>(0x1000));

std::string labelsOf(const CodedEnuData_c& e)
{
    return e.getLabels() ? e.getLabels() : "<null>";
}

// An enumeration parameter over the table's labels and compatibility lists,
// with a definition of its own.
struct EnuParam
{
    ParaSpec_c paraSpec;
    Parameter_c p;
    explicit EnuParam(const CodedEnuData_c& e)
    {
        p.setParaSpecPtr(&paraSpec);
        p.createEnu("E", "", 0, e.getAmount() - 1, e.getWidth(), 0, e.getLabels(), e.getCompatib());
    }
};

} // namespace

// ---------------------------------------------------------------------------
// EPAS_c

TEST(EPAS, StartsEmpty)
{
    EPAS_c d;
    EXPECT_EQ(d.index, 0);
    EXPECT_EQ(d.name, nullptr);
    EXPECT_FALSE(d.flag);
    EXPECT_EQ(d.group, -1);
    EXPECT_EQ(d.target, nullptr);
    EXPECT_EQ(d.callback, nullptr);
}

TEST(EPAS, InstrumentCodeIsKeptModulo1000WithItsRange)
{
    struct Case {
        int code;
        int instrument;
        bool below1000;
    };
    const Case cases[] = {
        {-1, -1, true},     // the edited instrument stays -1
        {0, 0, true},
        {999, 999, true},
        {1000, 0, false},
        {1003, 3, false},
        {-1001, -1, true},  // truncation toward zero
    };
    for (const Case& c : cases) {
        EPAS_c d;
        d.set(7, "Cutoff", true, c.code, 2, SomePart, 11, true, 4, nullptr);
        EXPECT_EQ(d.instrument, c.instrument) << c.code;
        EXPECT_EQ(d.instrumentBelow1000, c.below1000) << c.code;
    }
}

TEST(EPAS, SetStoresEveryFieldAndCopiesTheName)
{
    char name[] = "Cutoff";
    EPAS_c d;
    d.set(7, name, true, 1003, 2, SomePart, 11, true, 4, nullptr);
    name[0] = 'X'; // the descriptor holds its own copy
    ASSERT_NE(d.name, nullptr);
    EXPECT_STREQ(d.name, "Cutoff");
    EXPECT_EQ(d.index, 7);
    EXPECT_TRUE(d.flag);
    EXPECT_EQ(d.selector, 2);
    EXPECT_EQ(d.target, SomePart);
    EXPECT_EQ(d.parameter, 11);
    EXPECT_TRUE(d.readOnly);
    EXPECT_EQ(d.group, 4);

    d.updatePartPtr(nullptr);
    EXPECT_EQ(d.target, nullptr);
}

TEST(EPAS, NullAndEmptyNames)
{
    EPAS_c d;
    d.set(5, nullptr, true, 3, 1, SomePart, 9, true, 2, nullptr);
    EXPECT_EQ(d.index, 0) << "a null name changes nothing";
    EXPECT_EQ(d.target, nullptr);

    d.set(5, "", true, 3, 1, SomePart, 9, true, 2, nullptr);
    EXPECT_EQ(d.name, nullptr) << "an empty name leaves none";
    EXPECT_EQ(d.index, 5);
    EXPECT_EQ(d.parameter, 9);
}

TEST(EPAS, SecondSetReplacesTheName)
{
    // Under LeakSanitizer a first copy that was not released fails the run.
    EPAS_c d;
    d.set(1, "First", false, 0, 0, nullptr, 0, false, -1, nullptr);
    d.set(1, "Second", false, 0, 0, nullptr, 0, false, -1, nullptr);
    EXPECT_STREQ(d.name, "Second");
    d.set(1, "", false, 0, 0, nullptr, 0, false, -1, nullptr);
    EXPECT_EQ(d.name, nullptr);
}

// ---------------------------------------------------------------------------
// CodedEnuData_c

TEST(CodedEnuData, TwoRowsWithOneCompatibilityText)
{
    const char* const rows[] = {"Sine", "sin ", nullptr, "Saw ", "saw ", nullptr, nullptr};
    CodedEnuData_c e(rows);
    EXPECT_EQ(e.getWidth(), 4);
    EXPECT_EQ(e.getCompatibilityCount(), 1);
    EXPECT_EQ(e.getAmount(), 2);
    EXPECT_EQ(labelsOf(e), "SineSaw ");
    const char* const* compat = e.getCompatib();
    ASSERT_NE(compat, nullptr);
    EXPECT_STREQ(compat[0], "sin saw ");
    EXPECT_EQ(compat[1], nullptr);
}

TEST(CodedEnuData, LabelsOnlyHaveNoCompatibilityList)
{
    const char* const rows[] = {"Off", nullptr, "On ", nullptr, "Any", nullptr, nullptr};
    CodedEnuData_c e(rows);
    EXPECT_EQ(e.getCompatibilityCount(), 0);
    EXPECT_EQ(e.getAmount(), 3);
    EXPECT_EQ(labelsOf(e), "OffOn Any");
    EXPECT_EQ(e.getCompatib(), nullptr);
}

TEST(CodedEnuData, TablesThatBuildNothing)
{
    const char* const empty[] = {nullptr};
    const char* const emptyLabel[] = {"", nullptr, nullptr};
    struct Case {
        const char* what;
        const char* const* rows;
    };
    const Case cases[] = {{"null table", nullptr}, {"no rows", empty}, {"empty first label", emptyLabel}};
    for (const Case& c : cases) {
        CodedEnuData_c e(c.rows);
        EXPECT_EQ(e.getLabels(), nullptr) << c.what;
        EXPECT_EQ(e.getAmount(), 0) << c.what;
        EXPECT_EQ(e.getCompatib(), nullptr) << c.what;
    }
}

TEST(CodedEnuData, ShortLabelsArePaddedSoLaterItemsStayReachable)
{
    // A zero byte after "x" would end the packed text there, and "Last"
    // could never be found again.
    const char* const rows[] = {"Wide", "wide", nullptr, "x", "y", nullptr, "Last", "last", nullptr, nullptr};
    CodedEnuData_c e(rows);
    ASSERT_EQ(e.getAmount(), 3);
    EXPECT_EQ(std::strlen(e.getLabels()), 12u);
    EXPECT_EQ(labelsOf(e), "Widex   Last");
    EXPECT_STREQ(e.getCompatib()[0], "widey   last");

    EnuParam p(e);
    p.p.setEnuVal("Last");
    EXPECT_EQ(p.p.value, 2);
    p.p.setEnuVal("last"); // an older stored text
    EXPECT_EQ(p.p.value, 2);
    p.p.setEnuVal("x"); // a text stored before padding was added
    EXPECT_EQ(p.p.value, 1);
}

TEST(CodedEnuData, LongLabelsAreCutAndNullCompatibilityTextsCountEmpty)
{
    const char* const rows[] = {"Ab", "ab", nullptr, "Cdef", nullptr, nullptr, nullptr};
    CodedEnuData_c e(rows);
    ASSERT_EQ(e.getAmount(), 2);
    EXPECT_EQ(labelsOf(e), "AbCd");
    ASSERT_NE(e.getCompatib(), nullptr);
    EXPECT_STREQ(e.getCompatib()[0], "ab  ");
}

TEST(CodedEnuData, CountsAreCapped)
{
    // 300 rows of one label each: the table holds at most EnuMaxElements.
    std::vector<const char*> rows;
    for (int r = 0; r < 300; ++r) {
        rows.push_back("L");
        rows.push_back(nullptr);
    }
    rows.push_back(nullptr);
    CodedEnuData_c e(rows.data());
    EXPECT_EQ(e.getAmount(), EnuMaxElements);
    EXPECT_EQ(std::strlen(e.getLabels()), static_cast<size_t>(EnuMaxElements));

    const char* const many[] = {"A", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", nullptr, nullptr};
    EXPECT_EQ(e.getAmountCompatib(many), EnuMaxCompatLists);
}

TEST(CodedEnuData, SetAgainReplacesTheTexts)
{
    const char* const first[] = {"One", "one", nullptr, nullptr};
    const char* const second[] = {"Up", nullptr, "Dn", nullptr, nullptr};
    CodedEnuData_c e(first);
    e.set(second);
    EXPECT_EQ(labelsOf(e), "UpDn");
    EXPECT_EQ(e.getCompatib(), nullptr);
    EXPECT_EQ(e.getCompatibilityCount(), 0);
}
