#include "VdxString.h"

#include <gtest/gtest.h>

using Vdx::String_c;

TEST(VdxString, ReplaceDoesNotRescanInsertedText)
{
    struct Case { const char* text; const char* what; const char* with; int start; const char* expect; };
    const Case cases[] = {
        {"aaaa", "aa", "a", 0, "aa"},        // each replacement is not searched again
        {"a:b:c", ":", "", 0, "abc"},        // empty replacement deletes
        {"x", "x", "xx", 0, "xx"},           // replacement containing the pattern
        {"abab", "ab", "c", 1, "abc"},       // search starts at index 1
        {"abc", "", "z", 0, "abc"},          // empty pattern changes nothing
        {"abc", "b", "B", 10, "abc"},        // start past the end
    };
    for (const Case& c : cases) {
        String_c s(c.text);
        s.replace(c.what, c.with, c.start);
        EXPECT_EQ(s, c.expect) << c.text << " / " << c.what;
    }
    String_c chars("a\\b\\c");
    chars.replace('\\', '/', 2);
    EXPECT_EQ(chars, "a\\b/c");
}

TEST(VdxString, TruncatePadAndBytes)
{
    String_c five("abcde");
    EXPECT_TRUE(five.truncateLength(4));
    EXPECT_EQ(five, "abc");
    String_c four("abcd");
    EXPECT_FALSE(four.truncateLength(4));
    EXPECT_EQ(four, "abcd");
    EXPECT_FALSE(four.truncateLength(0));

    String_c p("ab");
    p.padRight(5, '.').appendIntRep(0x1C8);
    EXPECT_EQ(p, String_c("ab...") + static_cast<char>(0xC8));
    EXPECT_EQ(p.getIntRep(5), -56);
    EXPECT_EQ(p.getIntRep(0), 'a');
    EXPECT_EQ(p.getIntRep(6), 0);      // past the end reads nothing
    EXPECT_EQ(p.getIntRep(1000000), 0);
}

TEST(VdxString, LeftRightTrim)
{
    EXPECT_EQ(String_c("abc").right(0), "");
    EXPECT_EQ(String_c("abc").left(10), "abc");
    EXPECT_EQ(String_c("abcdef").left(2), "ab");
    EXPECT_EQ(String_c("abcdef").right(2), "ef");
    EXPECT_EQ(String_c("   ").trim(), "");
    EXPECT_EQ(String_c(" x ").trim(), "x");
    EXPECT_EQ(String_c("\t x\n ").trim(), "\t x\n"); // only the space character
}

TEST(VdxString, Tokenize)
{
    std::vector<String_c> parts{String_c("stale")};
    String_c("  *.wav   *.aif ").tokenize(parts, ' ');
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0], "*.wav");
    EXPECT_EQ(parts[1], "*.aif");
    String_c().tokenize(parts, ' ');
    EXPECT_TRUE(parts.empty());
    String_c(";;;").tokenize(parts, ';');
    EXPECT_TRUE(parts.empty());
}

TEST(VdxString, CaseOperations)
{
    EXPECT_EQ(String_c("AbC\xC4").toLower(), "abc\xC4");
    EXPECT_EQ(String_c("AbC").toUpper(), "ABC");
    const String_c a("Kick.WAV");
    EXPECT_NE(a.compare(String_c("kick.wav"), true), 0);
    EXPECT_EQ(a.compare(String_c("kick.wav"), false), 0);
    EXPECT_LT(String_c("a").compare(String_c("B"), false), 0);
    EXPECT_GT(String_c("a").compare(String_c("B"), true), 0);
    EXPECT_EQ(a, "Kick.WAV"); // operands stay unchanged
    EXPECT_TRUE(a.contains(String_c(".wav"), false));
    EXPECT_FALSE(a.contains(String_c(".wav"), true));
    EXPECT_TRUE(a.containsAny(String_c("xyzw"), false));
    EXPECT_FALSE(a.containsAny(String_c("xyzw"), true));
    EXPECT_FALSE(a.containsAny(String_c(""), false));
}

TEST(VdxString, Utf8Compliance)
{
    struct Case { std::string bytes; bool ok; };
    const Case cases[] = {
        {"abc", true},
        {"\xC3\xA9", true},
        {"", true},
        {"\xC3", false},          // cut inside a character
        {"\xC3\x41", false},      // lead byte followed by a plain byte
        {"\x80" "a", true},       // stray continuation byte is accepted
        {"\xE2\x82\xAC", true},   // three-byte character
        {"\xE2\x82", false},
        {"\xF8\x80\x80\x80\x80", true}, // five ones announce four continuations
    };
    for (const Case& c : cases)
        EXPECT_EQ(String_c(c.bytes).isUTF8Compliant(), c.ok) << testing::PrintToString(c.bytes);
}

TEST(VdxString, Latin1ToUtf8)
{
    struct Case { std::string latin1; std::string utf8; };
    const Case cases[] = {
        {"", ""},
        {"abc/Samples", "abc/Samples"},     // plain ASCII passes unchanged
        {"caf\xE9", "caf\xC3\xA9"},         // e acute
        {"\x80\xFF", "\xC2\x80\xC3\xBF"},   // both ends of the upper half
    };
    for (const Case& c : cases) {
        const String_c out = String_c(c.latin1).latin1ToUtf8();
        EXPECT_EQ(out, c.utf8) << testing::PrintToString(c.latin1);
        EXPECT_TRUE(out.isUTF8Compliant());
    }
}

TEST(VdxString, Concatenation)
{
    const String_c a("ab");
    EXPECT_EQ(a + 'c', "abc");
    EXPECT_EQ(a + String_c("cd"), "abcd");
    EXPECT_EQ(a + "cd", "abcd");
    EXPECT_TRUE(String_c::EmptyString.empty());
}
