#include "Parameter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <functional>
#include <limits>
#include <string>

namespace {

// A parameter with a shared definition of its own, as set 0 of a set
// holds it. The definition is declared first so that it outlives the
// parameter.
struct OneParam
{
    ParaSpec_c paraSpec;
    Parameter_c p;
    OneParam() { p.setParaSpecPtr(&paraSpec); }
};

std::string textOf(const Parameter_c& p)
{
    Vdx::String_c out;
    p.getString(&out);
    return out;
}

std::string display(Parameter_c& p)
{
    Vdx::String_c out;
    p.getDisplay(out);
    return out;
}

using Define = std::function<void(Parameter_c&)>;

// Two items of width 8.
const char* const CircLin = "CircularLinear  ";

} // namespace

// ---------------------------------------------------------------------------
// Conversions: value, fl, norm and gain for every type, the warp and the gain
// formula, and setFl01's rounding rule.

TEST(Parameter, ConversionTable)
{
    struct Case {
        const char* what;
        Define define;
        std::function<void(Parameter_c&)> act;
        int value;
        float fl;
        float norm;
        float gain;
    };
    const auto setFl = [](float x) { return [x](Parameter_c& p) { p.setFl01(x); }; };
    const auto setV = [](int v) { return [v](Parameter_c& p) { p.setValue(v); }; };
    const Case cases[] = {
        {"number half", [](Parameter_c& p) { p.createNum("N", "", 0.0f, 0, 100, 0, 0, 0); }, setFl(0.5f), 50, 50.0f,
         0.5f, 0.0f},
        {"number top gets 0.1 before truncation", [](Parameter_c& p) { p.createNum("N", "", 0.0f, 0, 100, 0, 0, 0); },
         setFl(1.0f), 100, 100.0f, 1.0f, 0.0f},
        {"negative range bottom", [](Parameter_c& p) { p.createNum("N", "", 0.0f, -10, 10, 0, 0, 0); }, setFl(0.0f),
         -10, -10.0f, 0.0f, 0.0f},
        {"two decimals", [](Parameter_c& p) { p.createNum("N", "", 0.0f, 200, 9900, 2, 200, 0); }, setV(250), 250, 2.5f,
         50.0f / 9700.0f, 0.0f},
        {"log warp k=3", [](Parameter_c& p) { p.createNum("N", "", 3.0f, 0, 100, 0, 0, 0); }, setV(50), 50, 50.0f,
         0.7851467f, 0.0f},
        {"log warp k=3 inverse", [](Parameter_c& p) { p.createNum("N", "", 3.0f, 0, 100, 0, 0, 0); },
         setFl(0.5843040f), 25, 25.0f, 0.5843040f, 0.0f},
        {"log warp k=-3", [](Parameter_c& p) { p.createNum("N", "", -3.0f, 0, 100, 0, 0, 0); }, setV(25), 25, 25.0f,
         0.0904075f, 0.0f},
        {"warp ignored at |k| <= 0.01", [](Parameter_c& p) { p.createNum("N", "", 0.01f, 0, 100, 0, 0, 0); }, setV(25),
         25, 25.0f, 0.25f, 0.0f},
        {"empty range", [](Parameter_c& p) { p.createNum("N", "", 0.0f, 7, 7, 0, 7, 0); }, setFl(0.9f), 7, 7.0f, 0.0f,
         0.0f},
        {"enumeration", [](Parameter_c& p) { p.createEnu("E", "", 0, 1, 8, 0, CircLin, nullptr); }, setFl(1.0f), 1,
         1.0f, 1.0f, 0.0f},
        {"channel all", [](Parameter_c& p) { p.createChannel("C", 0, 16, 0); }, setFl(1.0f), 16, 16.0f, 1.0f, 0.0f},
        {"note with cents", [](Parameter_c& p) { p.createNote("K", 0, 12700, 2, 6000); }, setV(6050), 6050, 60.5f,
         6050.0f / 12700.0f, 0.0f},
        {"volume 0 dB", [](Parameter_c& p) { p.createVolume("V", -24, 6, 0, true); }, setV(0), 0, 0.0f, 121.0f / 151.0f,
         1.0f},
        {"volume +6 dB doubles", [](Parameter_c& p) { p.createVolume("V", -24, 6, 0, true); }, setV(30), 30, 30.0f, 1.0f,
         1.9999971f},
        {"volume -24 dB", [](Parameter_c& p) { p.createVolume("V", -24, 6, 0, true); }, setV(-120), -120, -120.0f,
         1.0f / 151.0f, 0.0625004f},
        {"volume floor is silence", [](Parameter_c& p) { p.createVolume("V", -24, 6, 0, true); }, setFl(0.0f), -121,
         -121.0f, 0.0f, 0.0f},
        {"volume floor without minus infinity sounds", [](Parameter_c& p) { p.createVolume("V", -24, 6, 0, false); },
         setFl(0.0f), -120, -120.0f, 0.0f, 0.0625004f},
        {"on/off", [](Parameter_c& p) { p.createOnOff("O", 0); }, [](Parameter_c& p) { p.setSwOn(true); }, 1, 1.0f, 1.0f,
         0.0f},
        {"text keeps value 0", [](Parameter_c& p) { p.createCharPtr("T", false, false, "x"); }, setFl(1.0f), 0, 0.0f,
         0.0f, 0.0f},
        {"float array keeps value 0", [](Parameter_c& p) { p.createFloatArray("F", 4); }, setFl(1.0f), 0, 0.0f, 0.0f,
         0.0f},
        {"pan centre", [](Parameter_c& p) { p.createPan("P"); }, setFl(0.5f), 0, 0.0f, 0.5f, 0.0f},
        {"pan right", [](Parameter_c& p) { p.createPan("P"); }, setV(50), 50, 0.5f, 0.75f, 0.0f},
        {"selector", [](Parameter_c& p) { p.createSel("S", 0, 5, 0); }, setFl(1.0f), 5, 5.0f, 1.0f, 0.0f},
        {"string keeps value 0", [](Parameter_c& p) { p.createString("S", true, true); }, setFl(1.0f), 0, 0.0f, 0.0f,
         0.0f},
    };
    for (const Case& c : cases) {
        OneParam one;
        c.define(one.p);
        c.act(one.p);
        EXPECT_EQ(one.p.value, c.value) << c.what;
        EXPECT_FLOAT_EQ(one.p.fl, c.fl) << c.what;
        EXPECT_NEAR(one.p.norm, c.norm, 2e-7) << c.what;
        EXPECT_NEAR(one.p.gain, c.gain, 2e-7) << c.what;
    }
}

TEST(Parameter, EveryCreateSetsItsType)
{
    const std::pair<Define, ParaType_t> cases[] = {
        {[](Parameter_c& p) { p.createNum("N", "", 0, 0, 1, 0, 0, 0); }, ptNumber},
        {[](Parameter_c& p) { p.createEnu("E", "", 0, 1, 8, 0, CircLin, nullptr); }, ptEnu},
        {[](Parameter_c& p) { p.createZoom("Z"); }, ptEnu},
        {[](Parameter_c& p) { p.createChannel("C", 0, 16, 0); }, ptChannel},
        {[](Parameter_c& p) { p.createNote("K", 0, 127, 0, 60); }, ptNote},
        {[](Parameter_c& p) { p.createVolume("V", -24, 6, 0, true); }, ptVolume},
        {[](Parameter_c& p) { p.createOnOff("O", 1); }, ptOnOff},
        {[](Parameter_c& p) { p.createCharPtr("T", false, false, nullptr); }, ptCharPtr},
        {[](Parameter_c& p) { p.createFloatArray("F", 2); }, ptFloatArray},
        {[](Parameter_c& p) { p.createPan("P"); }, ptPan},
        {[](Parameter_c& p) { p.createSel("S", 0, 3, 1); }, ptSel},
        {[](Parameter_c& p) { p.createString("S", false, false); }, ptString},
    };
    for (const auto& [define, type] : cases) {
        OneParam one;
        define(one.p);
        EXPECT_EQ(one.p.getType(), type);
    }
}

TEST(Parameter, DefinitionDetails)
{
    OneParam vol;
    vol.p.createVolume("V", -24, 6, 0, true);
    EXPECT_EQ(vol.p.getLowValue(), -121);
    EXPECT_EQ(vol.p.getHighValue(), 30);
    EXPECT_EQ(vol.p.value, 0);
    char unit[8] = "?";
    vol.p.getUnit(unit, sizeof unit);
    EXPECT_STREQ(unit, "dB");

    OneParam clamped;
    clamped.p.createNum("N", "", 0, 0, 10, 0, 99, 0); // the default is clamped
    EXPECT_EQ(clamped.p.getDefValue(), 10);
    EXPECT_EQ(clamped.p.value, 10);

    OneParam zoom;
    zoom.p.createZoom("Zoom");
    zoom.p.setValue(10);
    EXPECT_EQ(display(zoom.p), "1024");
    zoom.p.setValue(7);
    EXPECT_EQ(display(zoom.p), " 128");

    OneParam precision;
    precision.p.createNum("N", "", 0, 0, 10, 12, 0, 0); // more than 8 decimals are cut to 8
    EXPECT_EQ(precision.p.getPrecision(), 8);
    EXPECT_EQ(precision.paraSpec.divisor, 100000000);

    // Without a definition nothing happens and getters give their neutral answers.
    Parameter_c bare;
    bare.createNum("N", "", 0, 0, 10, 0, 5, 0);
    bare.setValue(3);
    EXPECT_EQ(bare.value, 0);
    EXPECT_EQ(bare.getVol(), 1.0f);
    EXPECT_EQ(bare.getDef(), 0.5f);
    EXPECT_EQ(bare.getStepChangeFl(1), 0.0f);
    EXPECT_EQ(display(bare), "Error!");
    char name[4] = "abc";
    bare.getName(name, sizeof name);
    EXPECT_STREQ(name, "");
}

TEST(Parameter, SetFl01NeverLeavesTheRange)
{
    struct Case { const char* what; int lo; int hi; float k; float x; int expect; };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const int maxInt = std::numeric_limits<int>::max();
    const int minInt = std::numeric_limits<int>::min();
    const Case cases[] = {
        {"NaN is the bottom", 0, 100, 0.0f, nan, 0},
        {"NaN with warp", -50, 50, 4.0f, nan, -50},
        {"above 1", 0, 100, 0.0f, 7.0f, 100},
        {"infinity", 0, 100, 0.0f, inf, 100},
        {"below 0", -10, 10, 0.0f, -3.0f, -10},
        {"float rounding past the top of a wide range", 0, maxInt, 0.0f, 1.0f, maxInt},
        {"float rounding past the bottom of a wide range", minInt, maxInt, 0.0f, 0.0f, minInt},
        {"warped top of a wide range", 0, maxInt, -5.0f, 1.0f, maxInt},
        {"lo above hi gives lo", 5, 3, 0.0f, 0.7f, 5},
    };
    for (const Case& c : cases) {
        OneParam one;
        one.p.createNum("N", "", c.k, c.lo, std::max(c.lo, c.hi), 0, c.lo, 0);
        one.paraSpec.hi = c.hi; // also an inverted range as a private copy could hold
        one.p.setFl01(c.x);
        EXPECT_EQ(one.p.value, c.expect) << c.what;
        EXPECT_TRUE(std::isfinite(one.p.norm)) << c.what;
    }
}

TEST(Parameter, DefaultAndStepChange)
{
    OneParam empty;
    empty.p.createNum("N", "", 0, 4, 4, 0, 4, 0);
    EXPECT_EQ(empty.p.norm, 0.0f);
    EXPECT_EQ(empty.p.getDef(), 0.5f);

    OneParam warped;
    warped.p.createNum("N", "", 3.0f, 0, 100, 0, 50, 0);
    EXPECT_NEAR(warped.p.getDef(), 0.7851467f, 1e-6);

    OneParam num;
    num.p.createNum("N", "", 0, 0, 100, 0, 40, 0);
    // The step is computed aside: a const parameter cannot be written, which
    // is what the audio thread reading it needs.
    const Parameter_c& live = num.p;
    EXPECT_NEAR(live.getStepChangeFl(1), 0.01f * 1.001f, 1e-8);
    EXPECT_NEAR(live.getStepChangeFl(0), -0.01f * 1.001f, 1e-8);
    EXPECT_NEAR(live.getStepChangeFl(-1), -0.01f * 1.001f, 1e-8);
    EXPECT_EQ(live.value, 40);
    EXPECT_FLOAT_EQ(live.norm, 0.4f);
}

// ---------------------------------------------------------------------------
// Display texts

TEST(Parameter, DisplayTable)
{
    struct Case { const char* what; Define define; int value; const char* expect; };
    const auto num = [](int lo, int hi, int precision, const char* unit, int cut) {
        return [=](Parameter_c& p) { p.createNum("N", unit, 0, lo, hi, precision, lo, cut); };
    };
    const auto note0 = [](Parameter_c& p) { p.createNote("K", 0, 128, 0, 60); };
    const auto vol = [](Parameter_c& p) { p.createVolume("V", -24, 6, 0, true); };
    const auto pan = [](Parameter_c& p) { p.createPan("P"); };
    const Case cases[] = {
        {"note 60 is C3", note0, 60, "C3"},
        {"note 0", note0, 0, "C-2"},
        {"note 61", note0, 61, "C#3"},
        {"note 127", note0, 127, "G8"},
        {"note 128 is any note", note0, 128, "all"},
        {"note number without names", [](Parameter_c& p) { p.createNote("K", 0, 127, 0, 60); p.setFlagDisplayNote(false); },
         64, "64"},
        {"note with cents", [](Parameter_c& p) { p.createNote("K", 0, 12700, 2, 0); }, 6905, "A3 05c"},
        {"note with one decimal", [](Parameter_c& p) { p.createNote("K", 0, 1270, 1, 0); }, 600, "Error!"},
        {"volume floor", vol, -121, "-oo"},
        {"volume -24 dB", vol, -120, "-24"},
        {"volume -10 dB whole", vol, -50, "-10"},
        {"volume -9.8 dB", vol, -49, "-9.8"},
        {"volume -0.2 dB", vol, -1, "-0.2"},
        {"volume 0 dB", vol, 0, "0.0"},
        {"volume 0.6 dB", vol, 3, "0.6"},
        {"volume +6 dB", vol, 30, "6.0"},
        {"volume floor without minus infinity", [](Parameter_c& p) { p.createVolume("V", -24, 6, 0, false); }, -120,
         "-24"},
        {"pan left", pan, -50, "L 0.50"},
        {"pan hard left", pan, -100, "L 1.00"},
        {"pan right", pan, 7, "  0.07 R"},
        {"pan centre", pan, 0, "  < C >  "},
        {"channel 1", [](Parameter_c& p) { p.createChannel("C", 0, 16, 0); }, 0, "01"},
        {"channel 16", [](Parameter_c& p) { p.createChannel("C", 0, 16, 0); }, 15, "16"},
        {"channel all", [](Parameter_c& p) { p.createChannel("C", 0, 16, 0); }, 16, "all"},
        {"integer", num(-100, 100, 0, "", 0), -42, "-42"},
        {"two decimals", num(-1000, 1000, 2, "", 0), 150, "1.50"},
        {"two decimals below -1", num(-1000, 1000, 2, "", 0), -150, "-1.50"},
        {"negative fraction keeps its sign", num(-1000, 1000, 2, "", 0), -50, "-0.50"},
        {"small fraction zero-filled", num(-1000, 1000, 2, "", 0), 5, "0.05"},
        {"percent shows the value", num(0, 10000, 2, "%", 0), 5000, "5000"},
        {"version number", num(200, 9900, 2, "", 0), 365, "3.65"},
        {"cut", num(-99999, 99999, 3, "", 4), 12345, "12.3"},
        {"cut keeps the sign", num(-99999, 99999, 3, "", 4), -12345, "-12.3"},
        {"selector", [](Parameter_c& p) { p.createSel("S", 0, 9, 0); }, 3, "3"},
        {"enumeration item", [](Parameter_c& p) { p.createEnu("E", "", 0, 1, 8, 0, CircLin, nullptr); }, 1, "Linear  "},
        {"enumeration from -1", [](Parameter_c& p) { p.createEnu("E", "", -1, 1, 4, 0, "linkoff on  ", nullptr); }, -1,
         "link"},
        {"enumeration out of range is clamped", [](Parameter_c& p) { p.createEnu("E", "", 0, 1, 8, 0, CircLin, nullptr); },
         9, "Linear  "},
        {"on/off", [](Parameter_c& p) { p.createOnOff("O", 0); }, 1, "On "},
        {"infinite high", [](Parameter_c& p) { p.createNum("N", "", 0, 0, 10, 0, 0, 0); p.setInfiniteHi(true); }, 10,
         "oo"},
        {"infinite low", [](Parameter_c& p) { p.createNum("N", "", 0, 0, 10, 0, 0, 0); p.setInfiniteLo(true); }, 0,
         "-oo"},
        {"enumeration infinite high", [](Parameter_c& p) {
             p.createEnu("E", "", 0, 1, 8, 0, CircLin, nullptr);
             p.setInfiniteHi(true);
         }, 1, "oo"},
    };
    for (const Case& c : cases) {
        OneParam one;
        c.define(one.p);
        one.p.setValue(c.value);
        EXPECT_EQ(display(one.p), c.expect) << c.what;
    }
}

TEST(Parameter, DisplayOfTexts)
{
    struct Case { bool leaf; bool strip; const char* text; const char* expect; };
    const Case cases[] = {
        {false, false, "/Samples/kick.wav", "/Samples/kick.wav"},
        {true, false, "/Samples/kick.wav", "kick.wav"},
        {true, true, "/Samples/kick.wav", "kick"},
        {false, true, "/Samples/kick.wav", "/Samples/kick"},
        {true, true, "", ""},
    };
    for (const Case& c : cases) {
        OneParam one;
        one.p.createCharPtr("T", c.leaf, c.strip, nullptr);
        one.p.setCharPtr(c.text);
        EXPECT_EQ(display(one.p), c.expect) << c.text;
        char buf[ParaTextBufferBytes];
        one.p.printString(buf);
        EXPECT_STREQ(buf, c.expect);
    }
}

TEST(Parameter, DisplayIgnoresTheLocale)
{
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no locale with a decimal comma installed";
    OneParam pan, version, vol;
    pan.p.createPan("P");
    pan.p.setValue(-25);
    version.p.createNum("Version", "", 0, 200, 9900, 2, 365, 0);
    vol.p.createVolume("V", -24, 6, -49, true);
    const std::string texts[] = {display(pan.p), display(version.p), display(vol.p)};
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(texts[0], "L 0.25");
    EXPECT_EQ(texts[1], "3.65");
    EXPECT_EQ(texts[2], "-9.8");
}

// ---------------------------------------------------------------------------
// Enumerations

TEST(Parameter, SetEnuValRules)
{
    const char* const alternatives[] = {"Circ    Lin     ", "Round   Straight", nullptr};
    const char* const noAlternatives[] = {nullptr};
    struct Case { const char* what; const char* const* alt; int before; const char* text; int expect; };
    const Case cases[] = {
        {"exact item", nullptr, 0, "Linear  ", 1},
        {"prefix of an item", nullptr, 1, "Circ", 0},
        {"empty text is the first item", nullptr, 1, "", 0},
        {"unaligned match falls back to the default", nullptr, 0, "inear", 1},
        {"no match falls back to the default", nullptr, 0, "Square", 1},
        {"empty list of alternatives counts as none", noAlternatives, 0, "Square", 1},
        {"first alternative list", alternatives, 0, "Lin", 1},
        {"second alternative list", alternatives, 1, "Round", 0},
        {"no alternative matches: unchanged", alternatives, 0, "Square", 0},
        {"unaligned in the alternatives: unchanged", alternatives, 0, "ircular", 0},
    };
    for (const Case& c : cases) {
        OneParam one;
        one.p.createEnu("E", "", 0, 1, 8, 1, CircLin, c.alt);
        one.p.setValue(c.before);
        one.p.setEnuVal(c.text);
        EXPECT_EQ(one.p.value, c.expect) << c.what;
    }

    // Only the first occurrence counts, even when a later one is aligned.
    OneParam first;
    first.p.createEnu("E", "", 0, 1, 4, 0, "xab ab  ", nullptr);
    first.p.setValue(1);
    first.p.setEnuVal("ab");
    EXPECT_EQ(first.p.value, 0);
    EXPECT_EQ(first.p.getEnuIdx("ab"), 0);

    // An item beyond hi is clamped to hi.
    OneParam clamped;
    clamped.p.createEnu("E", "", 0, 1, 2, 0, "a b c ", nullptr);
    clamped.p.setEnuVal("c ");
    EXPECT_EQ(clamped.p.value, 1);
    EXPECT_EQ(clamped.p.getEnuIdx("c "), 2);

    // Through setCharPtr too; getEnuVal gives the item back.
    OneParam via;
    via.p.createEnu("E", "", 10, 11, 8, 10, CircLin, nullptr);
    via.p.setCharPtr("Linear  ");
    EXPECT_EQ(via.p.value, 11);
    char item[9];
    via.p.getEnuVal(item);
    EXPECT_STREQ(item, "Linear  ");
}

TEST(Parameter, CreateRefusesImpossibleShapes)
{
    struct Case { const char* what; Define define; };
    const Case cases[] = {
        {"item width 0", [](Parameter_c& p) { p.createEnu("E", "", 0, 1, 0, 0, CircLin, nullptr); }},
        {"item width 32", [](Parameter_c& p) { p.createEnu("E", "", 0, 1, 32, 0, CircLin, nullptr); }},
        {"no items", [](Parameter_c& p) { p.createEnu("E", "", 0, 1, 8, 0, nullptr, nullptr); }},
        {"float array of 0", [](Parameter_c& p) { p.createFloatArray("F", 0); }},
        {"float array of -3", [](Parameter_c& p) { p.createFloatArray("F", -3); }},
        {"float array too long", [](Parameter_c& p) { p.createFloatArray("F", 40000); }},
    };
    for (const Case& c : cases) {
        OneParam one;
        c.define(one.p);
        EXPECT_EQ(one.p.getType(), ptUndefined) << c.what;
        EXPECT_EQ(one.p.payload, nullptr) << c.what;
        one.p.setEnuVal("Linear  ");
        EXPECT_EQ(one.p.getFloatArray(0), 0.0f);
    }
}

TEST(Parameter, FloatArrays)
{
    OneParam one;
    one.p.createFloatArray("F", 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(one.p.getFloatArray(i), 0.0f) << "new arrays are zero-filled";
    one.p.setFloatArray(2, 0.5f);
    one.p.setFloatArray(9, 3.0f);  // lands on the last element
    one.p.setFloatArray(-1, 1.0f); // lands on the first
    EXPECT_EQ(one.p.getFloatArray(0), 1.0f);
    EXPECT_EQ(one.p.getFloatArray(2), 0.5f);
    EXPECT_EQ(one.p.getFloatArray(3), 3.0f);
    EXPECT_EQ(one.p.getFloatArray(100), 3.0f);
    one.p.reset();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(one.p.getFloatArray(i), 0.0f);
}

// ---------------------------------------------------------------------------
// Copy on write

// Two parameters of different sets sharing one definition.
class SharedSpec : public testing::Test
{
protected:
    SharedSpec()
    {
        a.setParaSpecPtr(&shared);
        b.setParaSpecPtr(&shared);
    }
    ParaSpec_c shared;
    Parameter_c a, b;
};

TEST_F(SharedSpec, RangeChangesAreCopyOnWrite)
{
    a.createEnu("E", "", 0, 3, 2, 0, "a b c d ", nullptr);
    b.setValue(0);

    a.setValue(3);
    a.setLoVal(2);
    EXPECT_NE(a.paraSpec, &shared);
    EXPECT_EQ(a.paraSpec->copiedFrom, &shared);
    EXPECT_EQ(b.paraSpec, &shared);
    EXPECT_EQ(shared.lo, 0);
    EXPECT_EQ(std::string(shared.items), "a b c d ");
    EXPECT_EQ(a.getLowValue(), 2);
    EXPECT_EQ(display(a), "d ") << "value 3 still shows its item";
    a.setValue(2);
    EXPECT_EQ(display(a), "c ");
    EXPECT_EQ(a.getDefValue(), 2);

    // The private copy is changed in place from now on.
    ParaSpec_c* own = a.paraSpec;
    a.setHiVal(2);
    EXPECT_EQ(a.paraSpec, own);
    EXPECT_EQ(a.getHighValue(), 2);
    EXPECT_EQ(shared.hi, 3);

    // Refused: lowering an enumeration, a bound beyond the other one, no change.
    a.setLoVal(0);
    EXPECT_EQ(a.getLowValue(), 2);
    b.setLoVal(4);
    b.setHiVal(-1);
    b.setLoVal(0);
    EXPECT_EQ(b.paraSpec, &shared);

    // Flags and the warp change the definition a parameter points to.
    b.setInfiniteHi(true);
    EXPECT_TRUE(shared.flags.isSet(pfInfiniteHi));
}

TEST_F(SharedSpec, NumberBoundsMoveTheValue)
{
    a.createNum("N", "", 0, 0, 100, 0, 50, 0);
    b.setValue(50);

    a.setLoVal(-20); // numbers may widen downwards
    EXPECT_EQ(a.getLowValue(), -20);
    EXPECT_EQ(a.value, 50);
    a.setLoVal(60);
    EXPECT_EQ(a.value, 60);
    EXPECT_EQ(a.getDefValue(), 60);
    a.setHiVal(70);
    a.setValue(70);
    a.setHiVal(65);
    EXPECT_EQ(a.value, 65);
    a.setDefVal(99); // outside the range: refused
    EXPECT_EQ(a.getDefValue(), 60);
    a.setDefVal(62);
    EXPECT_EQ(a.getDefValue(), 62);

    b.setDefVal(10); // copies too
    EXPECT_EQ(shared.defValue, 50);
    EXPECT_EQ(b.getDefValue(), 10);
    EXPECT_EQ(b.value, 50);
}

TEST(Parameter, RedefineEnu)
{
    OneParam one;
    one.p.createEnu("E", "", 0, 1, 8, 1, CircLin, nullptr);
    one.p.setValue(0);
    one.p.redefineEnu(5, "One     Two     Three   ");
    EXPECT_TRUE(one.p.paraSpec->isPrivate());
    EXPECT_EQ(one.p.getLowValue(), 5);
    EXPECT_EQ(one.p.getHighValue(), 7);
    EXPECT_EQ(one.p.value, 5);
    EXPECT_EQ(one.p.getDefValue(), 5);
    EXPECT_EQ(display(one.p), "One     ");
    one.p.redefineEnu(5, "Short"); // shorter than one item: refused
    EXPECT_EQ(one.p.getHighValue(), 7);
}

// ---------------------------------------------------------------------------
// Texts, strings and deep copies

TEST(Parameter, TextPayloads)
{
    OneParam withDefault;
    withDefault.p.createCharPtr("T", false, false, "Init");
    char buf[ParaTextBufferBytes];
    withDefault.p.getCharPtr(buf);
    EXPECT_STREQ(buf, "Init");
    withDefault.p.setCharPtr("Pad");
    withDefault.p.reset();
    withDefault.p.getCharPtr(buf);
    EXPECT_STREQ(buf, "Init");
    withDefault.p.setCharPtr(static_cast<const char*>(withDefault.p.payload) + 1); // its own tail
    withDefault.p.getCharPtr(buf);
    EXPECT_STREQ(buf, "nit");
    withDefault.p.setCharPtr("");
    EXPECT_EQ(withDefault.p.payload, nullptr);
    withDefault.p.getCharPtr(buf);
    EXPECT_STREQ(buf, "");
    withDefault.p.reset(); // an empty text stays empty
    EXPECT_EQ(withDefault.p.payload, nullptr);

    OneParam plain;
    plain.p.createCharPtr("T", false, false, nullptr);
    plain.p.setCharPtr("abc");
    plain.p.reset(); // emptied in place, allocation kept
    ASSERT_NE(plain.p.payload, nullptr);
    plain.p.getCharPtr(buf);
    EXPECT_STREQ(buf, "");

    // A text longer than a caller's buffer is cut there; getString gives all.
    const std::string longText(400, 'x');
    plain.p.setCharPtr(longText.c_str());
    plain.p.getCharPtr(buf);
    EXPECT_EQ(std::string(buf), longText.substr(0, ParaTextBufferBytes - 1));
    EXPECT_EQ(textOf(plain.p), longText);
}

TEST(Parameter, StringsAndPaths)
{
    OneParam str;
    str.p.createString("S", true, true);
    str.p.setString(Vdx::String_c("/a/b/song.wav"));
    EXPECT_EQ(textOf(str.p), "/a/b/song.wav");
    str.p.setRealString(*static_cast<Vdx::String_c*>(str.p.payload)); // from itself
    EXPECT_EQ(textOf(str.p), "/a/b/song.wav");
    Tool::Disk::Path_c path;
    str.p.getPath(&path);
    EXPECT_TRUE(path.isAbsolute());
    EXPECT_EQ(path.getString(), "/a/b/song.wav");

    OneParam text;
    text.p.createCharPtr("T", false, false, nullptr);
    text.p.setPath(Tool::Disk::Path_c("C:\\x?.wav"));
    EXPECT_EQ(textOf(text.p), "C/x_.wav");
    text.p.setRealString(Vdx::String_c("ignored")); // only string parameters hold a String_c
    EXPECT_EQ(textOf(text.p), "C/x_.wav");
}

TEST(Parameter, CopyDeepSharesNothingItFrees)
{
    ParaSpec_c shared[3];
    Parameter_c src[3];
    Parameter_c dst[3];
    for (int i = 0; i < 3; ++i)
        src[i].setParaSpecPtr(&shared[i]);
    src[0].createCharPtr("T", false, false, nullptr);
    src[0].setCharPtr("text");
    src[1].createFloatArray("F", 3);
    src[1].setFloatArray(1, 0.25f);
    src[2].createString("S", false, false);
    src[2].setString(Vdx::String_c("str"));
    src[2].setHiVal(5); // private definition
    for (int i = 0; i < 3; ++i) {
        dst[i].copyDeep(src[i]);
        EXPECT_NE(dst[i].payload, src[i].payload);
    }
    EXPECT_NE(dst[2].paraSpec, src[2].paraSpec);
    EXPECT_EQ(dst[2].paraSpec->copiedFrom, &shared[2]);
    EXPECT_EQ(dst[2].getHighValue(), 5);
    EXPECT_EQ(dst[1].getFloatArray(1), 0.25f);
    EXPECT_EQ(textOf(dst[0]), "text");
    EXPECT_EQ(textOf(dst[2]), "str");
    // Both sides are destroyed here; a shared payload would be freed twice.
}

TEST(Parameter, EveryWriteOfTheValuesRaisesTheWriteCount)
{
    // The audio code keeps results worked out from parameter values while
    // the count stands still: a write that leaves it still would never
    // reach the sound.
    struct Case {
        const char* what;
        std::function<void(Parameter_c&)> act;
        bool writes;
    };
    const Case cases[] = {
        {"setValue", [](Parameter_c& p) { p.setValue(30); }, true},
        {"setVal", [](Parameter_c& p) { p.setVal(40); }, true},
        {"setFl01", [](Parameter_c& p) { p.setFl01(0.25f); }, true},
        {"setSwOn", [](Parameter_c& p) { p.setSwOn(true); }, true},
        {"reset", [](Parameter_c& p) { p.reset(); }, true},
        {"range moving the value", [](Parameter_c& p) { p.setLoVal(60); }, true},
        {"definition", [](Parameter_c& p) { p.createNum("M", "", 0.0f, 0, 10, 0, 5, 0); }, true},
        {"value copy",
         [](Parameter_c& p) {
             Parameter_c from;
             from.copyDeep(p);
             from.setValue(12);
             const uint32_t before = Parameter_c::writeCount();
             p.copyDeep(from);
             EXPECT_NE(Parameter_c::writeCount(), before) << "the copy itself";
         },
         true},
        {"made and destroyed", [](Parameter_c&) { Parameter_c other; }, true},
        {"reading and displaying",
         [](Parameter_c& p) {
             Vdx::String_c out;
             p.getDisplay(out);
             (void)p.getVol();
             (void)p.getSwOn();
         },
         false},
    };
    for (const Case& c : cases) {
        OneParam o;
        o.p.createNum("N", "", 0.0f, 0, 100, 0, 50, 0);
        const uint32_t before = Parameter_c::writeCount();
        c.act(o.p);
        EXPECT_EQ(Parameter_c::writeCount() != before, c.writes) << c.what;
    }
}
