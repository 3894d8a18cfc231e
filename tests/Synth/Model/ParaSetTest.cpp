#include "ParaSet.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int32_t TypeSYPS = 0x53595053; // "SYPS"
const char* const CircLin = "CircularLinear  "; // two items of width 8

using Words = std::vector<int32_t>;

// One parameter of each type, index i holding type i + 1.
enum AllTypesIndex { iNum, iEnu, iChannel, iNote, iVolume, iOnOff, iText, iFloats, iPan, iSel, iString, AllTypesCount };

void defineAllTypes(ParaSet_c& set)
{
    Parameter_c* p = set.getParaPtr(0);
    p[iNum].createNum("Version", "", 0, 200, 9900, 2, 200, 0);
    p[iEnu].createEnu("Mode", "", 0, 1, 8, 0, CircLin, nullptr);
    p[iChannel].createChannel("Channel", 0, 16, 16);
    p[iNote].createNote("Key", 0, 127, 0, 60);
    p[iVolume].createVolume("Level", -24, 6, 0, true);
    p[iOnOff].createOnOff("Switch", 0);
    p[iText].createCharPtr("Name", false, false, "Init");
    p[iFloats].createFloatArray("Steps", 4);
    p[iPan].createPan("Pan");
    p[iSel].createSel("Page", 0, 5, 0);
    p[iString].createString("Sample", true, true);
    set.spreadPara();
}

// Values unlike the defaults; `variant` makes two such fillings differ.
void fillAllTypes(ParaSet_c& set, int s, int variant, const std::string& text, const std::string& str)
{
    Parameter_c* p = set.getParaPtr(s);
    p[iNum].setVal(300 + variant);
    p[iEnu].setEnuVal(variant % 2 ? "Circular" : "Linear  ");
    p[iChannel].setVal(3 + variant);
    p[iNote].setVal(70 + variant);
    p[iVolume].setVal(-121 + variant);
    p[iOnOff].setSwOn(variant % 2 == 0);
    p[iText].setCharPtr(text.c_str());
    for (int e = 0; e < 4; ++e)
        p[iFloats].setFloatArray(e, 0.5f * e + variant);
    p[iPan].setVal(-40 + variant);
    p[iSel].setVal(4 - variant % 2);
    p[iString].setString(Vdx::String_c(str));
}

std::string textOf(const Parameter_c& p)
{
    Vdx::String_c out;
    p.getString(&out);
    return out;
}

// Everything a parameter holds that a chunk carries or a reset changes.
std::string snapshot(const Parameter_c& p)
{
    std::string out = std::to_string(p.getType()) + ":" + std::to_string(static_cast<int>(p.value));
    out += "|" + textOf(p);
    if (p.getType() == ptFloatArray)
        for (int e = 0; e < p.getPrecision(); ++e)
            out += "|" + std::to_string(p.getFloatArray(e));
    return out;
}

std::vector<std::string> snapshotSet(const ParaSet_c& set, int s)
{
    std::vector<std::string> out;
    const Parameter_c* p = set.getParaPtr(s);
    for (int i = 0; i < set.getParaCount(); ++i)
        out.push_back(snapshot(p[i]));
    return out;
}

// The chunk of a set, in a buffer of exactly getChunkSize bytes so that the
// address sanitizer sees any write past it.
std::vector<unsigned char> chunkOf(const ParaSet_c& set, int s)
{
    const int size = set.getChunkSize(s);
    std::vector<unsigned char> bytes(static_cast<size_t>(size));
    const int written = set.getChunk(reinterpret_cast<int*>(bytes.data()), s);
    EXPECT_EQ(written, size);
    return bytes;
}

int32_t wordAt(const std::vector<unsigned char>& bytes, size_t i)
{
    int32_t w;
    std::memcpy(&w, bytes.data() + 4 * i, 4);
    return w;
}

// Words of a hand-made chunk: the header, then the given entry words.
std::vector<unsigned char> makeChunk(int32_t type, const Words& entries)
{
    Words all = {type, static_cast<int32_t>(12 + 4 * entries.size()), 0};
    all.insert(all.end(), entries.begin(), entries.end());
    std::vector<unsigned char> bytes(all.size() * 4);
    std::memcpy(bytes.data(), all.data(), bytes.size());
    return bytes;
}

int32_t textWord(const char (&four)[5])
{
    int32_t w;
    std::memcpy(&w, four, 4);
    return w;
}

int32_t wordOfFloat(float f)
{
    int32_t w;
    std::memcpy(&w, &f, 4);
    return w;
}

} // namespace

// ---------------------------------------------------------------------------
// Writing

TEST(ParaSet, WritesTheDocumentedLayout)
{
    ParaSet_c numbers(TypeSYPS, 1, 3);
    Parameter_c* p = numbers.getParaPtr(0);
    for (int i = 0; i < 3; ++i)
        p[i].createNum("N", "", 0, -1000, 1000, 0, 0, 0);
    p[0].setVal(5);
    p[1].setVal(-7);
    p[2].setVal(100);
    const auto bytes = chunkOf(numbers, 0);
    ASSERT_EQ(bytes.size(), 24u);
    const Words expect = {TypeSYPS, 24, 0, 5, -7, 100}; // order -1 is written as 0
    for (size_t i = 0; i < expect.size(); ++i)
        EXPECT_EQ(wordAt(bytes, i), expect[i]) << "word " << i;
    numbers.setOrder(7);
    EXPECT_EQ(wordAt(chunkOf(numbers, 0), 2), 7);

    // On/off is a value word; an enumeration is its item text.
    ParaSet_c mixed(TypeSYPS, 1, 3);
    p = mixed.getParaPtr(0);
    p[0].createOnOff("O", 1);
    p[1].createEnu("Law", "", 0, 1, 5, 1, "LinerEqPow", nullptr);
    p[2].createNum("N", "", 0, 0, 10, 0, 9, 0);
    const auto mixedBytes = chunkOf(mixed, 0);
    ASSERT_EQ(mixedBytes.size(), 12u + 4 + 12 + 4);
    EXPECT_EQ(wordAt(mixedBytes, 3), 1);
    EXPECT_EQ(wordAt(mixedBytes, 4), 8);
    EXPECT_EQ(std::memcmp(mixedBytes.data() + 20, "EqPow\0\0\0", 8), 0);
    EXPECT_EQ(wordAt(mixedBytes, 7), 9);
}

TEST(ParaSet, ScrambledFormDecodes)
{
    for (int32_t v : {0, 1, 12, 24, 16380, 0x7FFFFFFF, -1, static_cast<int32_t>(0x80000000), 0x12345678})
        EXPECT_EQ(decodeInt32(encodeInt32(v)), v) << v;
    EXPECT_NE(encodeInt32(24), 24);

    ParaSetMCFACT_c scrambled(TypeSYPS, 1, AllTypesCount);
    defineAllTypes(scrambled);
    scrambled.setOrder(3);
    fillAllTypes(scrambled, 0, 1, "scrambled", "s");
    const auto bytes = chunkOf(scrambled, 0);
    EXPECT_LT(wordAt(bytes, 2), 0);
    ParaChunkHeader_t h;
    ASSERT_TRUE(ParaSet_c::readChunkHeader(bytes.data(), static_cast<long long>(bytes.size()), &h));
    EXPECT_TRUE(h.scrambled);
    EXPECT_EQ(h.size, static_cast<int32_t>(bytes.size()));
    EXPECT_EQ(h.order, 3);

    ParaSet_c plain(TypeSYPS, 1, AllTypesCount);
    defineAllTypes(plain);
    auto copy = bytes;
    plain.setChunk(copy.data(), h.size, 0);
    auto expect = snapshotSet(scrambled, 0);
    expect[iSel] = snapshot(plain.getParaPtr(0)[iSel]); // selectors are not stored
    EXPECT_EQ(snapshotSet(plain, 0), expect);
}

// ---------------------------------------------------------------------------
// Round trip

TEST(ParaSet, RoundTripOfEveryTypeAndTextLength)
{
    for (size_t length : {0, 1, 2, 3, 4, 5, 100, 318, 319, 320, 321, 400}) {
        SCOPED_TRACE(length);
        ParaSet_c src(TypeSYPS, 2, AllTypesCount);
        defineAllTypes(src);
        std::string str(length, 's');
        if (length > 2) {
            str[1] = '\0'; // strings carry every byte
            str[2] = static_cast<char>(0xE9);
        }
        fillAllTypes(src, 1, 0, std::string(length, 't'), str);
        const auto bytes = chunkOf(src, 1);
        EXPECT_EQ(wordAt(bytes, 1), static_cast<int32_t>(bytes.size()));

        ParaSet_c dst(TypeSYPS, 2, AllTypesCount);
        defineAllTypes(dst);
        fillAllTypes(dst, 0, 1, "other", "other");
        fillAllTypes(dst, 1, 1, "other", "other");
        const auto untouched = snapshotSet(dst, 1);
        auto copy = bytes;
        EXPECT_EQ(dst.setChunk(copy.data(), static_cast<int>(copy.size()), 0), static_cast<int>(copy.size()));

        auto expect = snapshotSet(src, 1);
        const Parameter_c* got = dst.getParaPtr(0);
        EXPECT_EQ(got[iSel].value, 0) << "a selector is reset, not stored";
        expect[iSel] = snapshot(got[iSel]);
        EXPECT_EQ(snapshotSet(dst, 0), expect);
        EXPECT_EQ(snapshotSet(dst, 1), untouched) << "only the chosen set is read";
    }
}

// ---------------------------------------------------------------------------
// Reading what the Part describes

TEST(ParaSet, ShortAndPartialChunks)
{
    ParaSet_c set(TypeSYPS, 1, 5);
    Parameter_c* p = set.getParaPtr(0);
    for (int i = 0; i < 5; ++i) {
        p[i].createNum("N", "", 0, 0, 127, 0, 1, 0);
        p[i].setVal(50 + i);
    }
    auto twelve = makeChunk(TypeSYPS, {});
    auto fifteen = makeChunk(TypeSYPS, {9});
    EXPECT_EQ(set.setChunk(twelve.data(), 12, 0), 12);
    EXPECT_EQ(set.setChunk(fifteen.data(), 15, 0), 15);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(p[i].value, 50 + i) << "fewer than 16 bytes change nothing";

    auto two = makeChunk(TypeSYPS, {1000, -3});
    EXPECT_EQ(set.setChunk(two.data(), static_cast<int>(two.size()), 0), static_cast<int>(two.size()));
    EXPECT_EQ(p[0].value, 127) << "clamped to the range";
    EXPECT_EQ(p[1].value, 0);
    for (int i = 2; i < 5; ++i)
        EXPECT_EQ(p[i].value, 50 + i) << "parameters after the end keep their values";

    set.lockPara(true);
    auto five = makeChunk(TypeSYPS, {1, 2, 3, 4, 5});
    EXPECT_EQ(set.setChunk(five.data(), static_cast<int>(five.size()), 0), static_cast<int>(five.size()));
    EXPECT_EQ(p[0].value, 127) << "a locked set ignores every chunk";
    set.reset(0);
    EXPECT_EQ(p[0].value, 127) << "and every reset";
}

TEST(ParaSet, StringEntryForms)
{
    ParaSet_c set(TypeSYPS, 1, 3);
    Parameter_c* p = set.getParaPtr(0);
    p[0].createString("S", false, false);
    p[1].createString("S", false, false);
    p[2].createNum("N", "", 0, 0, 100, 0, 0, 0);
    auto chunk = makeChunk(TypeSYPS, {1000000 + 3, 'a', 'b', 'c', 8, textWord("abc\0"), 0, 77});
    set.setChunk(chunk.data(), static_cast<int>(chunk.size()), 0);
    EXPECT_EQ(textOf(p[0]), "abc");
    EXPECT_EQ(textOf(p[1]), "abc");
    EXPECT_EQ(p[2].value, 77) << "the older form consumed three words";

    // The writer uses the current form.
    const auto bytes = chunkOf(set, 0);
    EXPECT_EQ(wordAt(bytes, 3), 1000000 + 3);
    EXPECT_EQ(wordAt(bytes, 4), 'a');
}

// ---------------------------------------------------------------------------
// Hostile chunks

TEST(ParaSet, TruncatedAtEveryLength)
{
    ParaSet_c src(TypeSYPS, 1, AllTypesCount);
    defineAllTypes(src);
    fillAllTypes(src, 0, 0, "a text of some length", "a string");
    const auto full = chunkOf(src, 0);

    // Where each entry ends, in bytes, as the writer laid them out.
    std::vector<size_t> entryEnd;
    {
        size_t pos = 12;
        for (int i = 0; i < AllTypesCount; ++i) {
            ParaSet_c one(TypeSYPS, 1, 1);
            // The entry size of parameter i alone is its share of the chunk.
            Parameter_c& q = one.getParaPtr(0)[0];
            q.copyDeep(src.getParaPtr(0)[i]);
            pos += static_cast<size_t>(one.getChunkSize(0)) - 12;
            entryEnd.push_back(pos);
        }
        ASSERT_EQ(pos, full.size());
    }

    for (size_t length = 0; length < full.size(); ++length) {
        SCOPED_TRACE(length);
        ParaSet_c dst(TypeSYPS, 1, AllTypesCount);
        defineAllTypes(dst);
        fillAllTypes(dst, 0, 1, "before", "before");
        const auto before = snapshotSet(dst, 0);
        ParaSet_c defaults(TypeSYPS, 1, AllTypesCount);
        defineAllTypes(defaults);

        // The exact length, in a buffer of that size.
        std::vector<unsigned char> cut(full.begin(), full.begin() + static_cast<long>(length));
        EXPECT_EQ(dst.setChunk(cut.data(), static_cast<int>(length), 0), static_cast<int>(length));

        const auto after = snapshotSet(dst, 0);
        const auto source = snapshotSet(src, 0);
        const size_t limit = length / 4 * 4;
        bool reading = length >= 16;
        size_t start = 12;
        for (int i = 0; i < AllTypesCount; ++i) {
            reading = reading && start < limit && entryEnd[i] <= limit;
            if (!reading)
                EXPECT_EQ(after[i], before[i]) << "parameter " << i << " was not read";
            else if (i == iSel)
                EXPECT_EQ(after[i], snapshotSet(defaults, 0)[i]) << "a read selector is reset";
            else
                EXPECT_EQ(after[i], source[i]) << "parameter " << i << " was read";
            start = entryEnd[i];
        }
    }
}

TEST(ParaSet, HostileEntries)
{
    // text (default "def"), float array of 2, string, number
    const auto define = [](ParaSet_c& set) {
        Parameter_c* p = set.getParaPtr(0);
        p[0].createCharPtr("T", false, false, "def");
        p[1].createFloatArray("F", 2);
        p[2].createString("S", false, false);
        p[3].createNum("N", "", 0, 0, 100, 0, 0, 0);
    };
    const int32_t one = wordOfFloat(1.0f), two = wordOfFloat(2.0f), three = wordOfFloat(3.0f);
    struct Case {
        const char* what;
        Words entries;
        const char* text;
        float f0, f1;
        const char* str;
        int number;
    };
    const Case cases[] = {
        {"valid", {4, textWord("ab\0\0"), 2, one, two, 1000000 + 1, 'z', 9}, "ab", 1, 2, "z", 9},
        {"huge text length", {0x7FFFFFFF, textWord("ab\0\0"), 2, one, two}, "keep", 7, 7, "keep", 42},
        {"text length past the end", {8, textWord("ab\0\0")}, "keep", 7, 7, "keep", 42},
        {"text without its terminator", {4, textWord("abcd"), 2, one, two}, "keep", 7, 7, "keep", 42},
        {"terminator only after the declared length", {4, textWord("abcd"), 0, 2, one, two}, "keep", 7, 7, "keep", 42},
        {"no text keeps the default", {-4, 2, one, two, 1000000, 5}, "def", 1, 2, "", 5},
        {"zero text length keeps the default", {0, 2, one, two, 1000000, 5}, "def", 1, 2, "", 5},
        {"float count above the array lands on the last", {0, 3, one, two, three, 1000000, 5}, "def", 1, 3, "", 5},
        {"float count past the end", {0, 1000, one, two, three}, "def", 7, 7, "keep", 42},
        {"huge float count", {0, 0x7FFFFFFF, one}, "def", 7, 7, "keep", 42},
        {"negative float count reads nothing", {0, -5, 1000000, 5}, "def", 0, 0, "", 5},
        {"string count past the end", {0, 0, 1000000 + 50, 'a', 'b'}, "def", 0, 0, "keep", 42},
        {"huge string count", {0, 0, 0x7FFFFFFF, 'a'}, "def", 0, 0, "keep", 42},
        {"older string form", {0, 0, 8, textWord("xyz\0"), 0, 12}, "def", 0, 0, "xyz", 12},
        {"older string without terminator", {0, 0, 4, textWord("wxyz"), 12}, "def", 0, 0, "keep", 42},
        {"older string of negative length", {0, 0, -8, 12}, "def", 0, 0, "keep", 42},
        {"older string of zero length", {0, 0, 0, 12}, "def", 0, 0, "keep", 42},
        {"older string length past the end", {0, 0, 400, textWord("xyz\0")}, "def", 0, 0, "keep", 42},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ParaSet_c set(TypeSYPS, 1, 4);
        define(set);
        Parameter_c* p = set.getParaPtr(0);
        p[0].setCharPtr("keep");
        p[1].setFloatArray(0, 7);
        p[1].setFloatArray(1, 7);
        p[2].setString(Vdx::String_c("keep"));
        p[3].setVal(42);
        auto chunk = makeChunk(TypeSYPS, c.entries);
        const int size = static_cast<int>(chunk.size());
        EXPECT_EQ(set.setChunk(chunk.data(), size, 0), size);
        EXPECT_EQ(textOf(p[0]), c.text);
        EXPECT_EQ(p[1].getFloatArray(0), c.f0);
        EXPECT_EQ(p[1].getFloatArray(1), c.f1);
        EXPECT_EQ(textOf(p[2]), c.str);
        EXPECT_EQ(p[3].value, c.number);
    }
}

TEST(ParaSet, HeaderChecks)
{
    ParaSet_c other(TypeSYPS, 1, AllTypesCount);
    defineAllTypes(other);
    const auto valid = chunkOf(other, 0);
    const int32_t n = static_cast<int32_t>(valid.size());

    struct Case { const char* what; int32_t tag; int32_t size; int32_t order; long long present; bool ok; };
    const Case cases[] = {
        {"valid", TypeSYPS, n, 0, n, true},
        {"size 0", TypeSYPS, 0, 0, n, false},
        {"size 11", TypeSYPS, 11, 0, n, false},
        {"size not a multiple of 4", TypeSYPS, n - 2, 0, n, false},
        {"size past the end", TypeSYPS, n + 4, 0, n, false},
        {"negative size", TypeSYPS, -n, 0, n, false},
        {"fewer than 12 bytes present", TypeSYPS, n, 0, 11, false},
        {"bad tag", 0x56463031, n, 0, n, false},
        {"scrambled", TypeSYPS, encodeInt32(n), ~5, n, true},
        {"scrambled size past the end", TypeSYPS, encodeInt32(n + 8), ~5, n, false},
        {"negative order with a plain size", TypeSYPS, n, -1, n, decodeInt32(n) >= 12 && decodeInt32(n) <= n &&
                                                                    decodeInt32(n) % 4 == 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ParaSet_c set(TypeSYPS, 1, AllTypesCount);
        defineAllTypes(set);
        fillAllTypes(set, 0, 1, "kept", "kept");
        const auto before = snapshotSet(set, 0);
        auto bytes = valid;
        std::memcpy(bytes.data(), &c.tag, 4);
        std::memcpy(bytes.data() + 4, &c.size, 4);
        std::memcpy(bytes.data() + 8, &c.order, 4);
        ParaChunkHeader_t h;
        const bool ok = set.matchesChunk(bytes.data(), c.present, &h);
        EXPECT_EQ(ok, c.ok);
        if (ok)
            set.setChunk(bytes.data(), h.size, 0);
        if (!c.ok) {
            EXPECT_EQ(snapshotSet(set, 0), before);
        }
    }
    EXPECT_FALSE(ParaSet_c::readChunkHeader(nullptr, 100, nullptr));
}

// ---------------------------------------------------------------------------
// Sets

TEST(ParaSet, ResetRanges)
{
    ParaSet_c set(TypeSYPS, 4, 1);
    set.getParaPtr(0)[0].createNum("N", "", 0, 0, 100, 0, 10, 0);
    set.spreadPara();
    const auto fill = [&] {
        for (int s = 0; s < 4; ++s)
            set.getParaPtr(s)[0].setVal(50 + s);
    };
    struct Case { int first; int end; std::vector<int> expect; };
    const Case cases[] = {
        {3, 1, {10, 51, 52, 53}},  // start = min(0, 3): set 0 only
        {0, 0, {10, 51, 52, 53}},  // never set -1
        {-5, -5, {10, 51, 52, 53}},
        {1, 3, {50, 10, 10, 53}},
        {2, 99, {50, 51, 10, 10}},
        {7, 9, {50, 51, 52, 53}}, // past the last set: nothing
    };
    for (const Case& c : cases) {
        fill();
        set.resetSE(c.first, c.end);
        for (int s = 0; s < 4; ++s)
            EXPECT_EQ(set.getParaVal(s, 0), c.expect[s]) << c.first << ".." << c.end << " set " << s;
    }
    fill();
    set.resetAll();
    for (int s = 0; s < 4; ++s)
        EXPECT_EQ(set.getParaVal(s, 0), 10);

    EXPECT_FALSE(set.isValidSet(-1));
    EXPECT_TRUE(set.isValidSet(3));
    EXPECT_FALSE(set.isValidSet(4));
    EXPECT_EQ(set.getParaPtr(-1), nullptr);
    EXPECT_EQ(set.getParaPtr(4), nullptr);
}

TEST(ParaSet, AccessorsClampAndGuard)
{
    ParaSet_c set(TypeSYPS, 2, 2);
    Parameter_c* p = set.getParaPtr(0);
    p[0].createNum("A name that is longer than 23 characters", "units too long for the box", 0, 0, 100, 0, 0, 0);
    p[1].createCharPtr("T", false, false, "text");
    set.spreadPara();
    EXPECT_TRUE(set.getParaDefined());

    set.setParaVal(1, 99, 5); // idx clamps to the last parameter, a text
    set.setParaVal(1, -4, 33);
    EXPECT_EQ(set.getParaVal(1, 0), 33);
    EXPECT_EQ(set.getParaVal(0, 0), 0);
    set.setParaVal(5, 0, 44); // no such set: nothing
    EXPECT_EQ(set.getParaVal(5, 0), 0);

    char name[ParaNameBufferBytes + 8];
    std::memset(name, 'x', sizeof name);
    set.getParaName(0, 0, name);
    EXPECT_EQ(std::strlen(name), 23u);
    set.getParaUnit(0, 0, name);
    EXPECT_EQ(std::strlen(name), 23u);

    char text[ParaTextBufferBytes] = "stale";
    set.getParaCharPtr(9, 1, text);
    EXPECT_STREQ(text, "") << "the buffer is emptied first";
    set.getParaCharPtr(1, 1, text);
    EXPECT_STREQ(text, "text");

    EXPECT_NEAR(set.getParaStepChangeFl(0, 1), 0.01f * 1.001f, 1e-8);
    ParaSet_c empty(TypeSYPS, 0, 3);
    EXPECT_EQ(empty.getParaStepChangeFl(0, 1), 0.0f);
    EXPECT_EQ(empty.getChunkSize(0), 0);
    EXPECT_EQ(empty.setChunk(text, 100, 0), 0);
    ParaSet_c noParas(TypeSYPS, 1, 0);
    EXPECT_EQ(noParas.getChunkSize(0), 12);
    EXPECT_EQ(noParas.setChunk(text, 100, 0), 100);
}

TEST(ParaSet, SpreadCopiesDeeply)
{
    ParaSet_c set(TypeSYPS, 3, 4);
    Parameter_c* p = set.getParaPtr(0);
    p[0].createCharPtr("T", false, false, "init");
    p[1].createFloatArray("F", 3);
    p[1].setFloatArray(2, 0.75f);
    p[2].createString("S", false, false);
    p[2].setString(Vdx::String_c("path"));
    p[3].createNum("N", "", 0, 0, 100, 0, 5, 0);
    p[3].setHiVal(50); // a private definition in set 0
    ASSERT_TRUE(set.spreadPara());

    for (int s = 1; s < 3; ++s) {
        Parameter_c* q = set.getParaPtr(s);
        for (int i = 0; i < 3; ++i)
            EXPECT_NE(q[i].payload, p[i].payload);
        EXPECT_NE(q[3].paraSpec, p[3].paraSpec);
        EXPECT_EQ(q[3].getHighValue(), 50);
        EXPECT_EQ(q[1].getFloatArray(2), 0.75f);
    }
    set.setParaCharPtr(1, 0, "changed");
    set.getParaPtr(1)[1].setFloatArray(2, 0.0f);
    set.setParaString(1, 2, Vdx::String_c("other"));
    set.setParaHiVal(1, 3, 20);
    Vdx::String_c s;
    set.getParaString(0, 0, &s);
    EXPECT_EQ(s, "init");
    set.getParaString(2, 2, &s);
    EXPECT_EQ(s, "path");
    EXPECT_EQ(p[1].getFloatArray(2), 0.75f);
    EXPECT_EQ(set.getParaPtr(2)[3].getHighValue(), 50);
    // The set is destroyed here: shared payloads or definitions would be
    // freed twice.
}

namespace {

struct CountedSet : ParaSet_c
{
    CountedSet(bool* gone) : ParaSet_c(TypeSYPS, 1, 1), gone_(gone) {}
    ~CountedSet() override { *gone_ = true; }
    bool* gone_;
};

} // namespace

TEST(ParaSet, LastUserDeletesTheSet)
{
    for (bool creatorFirst : {true, false}) {
        bool gone = false;
        ParaSet_c* shared = new CountedSet(&gone);
        ParaSet_c* creator = shared;
        creator->retain();
        ParaSet_c* second = shared;
        second->retain();
        EXPECT_EQ(shared->getUserCount(), 2);
        ParaSet_c::release(creatorFirst ? creator : second);
        EXPECT_FALSE(gone);
        // The other user still reads its set.
        EXPECT_NE((creatorFirst ? second : creator)->getParaPtr(0), nullptr);
        ParaSet_c::release(creatorFirst ? second : creator);
        EXPECT_TRUE(gone);
    }
    ParaSet_c::release(nullptr);
}
