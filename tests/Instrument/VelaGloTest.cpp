#include "VelaGlo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A global part bound to a set of its own, released with it.
struct BoundGlo
{
    explicit BoundGlo(int sets = 1) { ok = glo.getParaSetPtr(&slot, sets); }
    VelaGlo_c glo;
    ParaSet_c* slot = nullptr;
    bool ok = false;

    Parameter_c& para(int i, int set = 0) { return *glo.getParaPtr(set, i); }
    std::string display(int i, int value)
    {
        Parameter_c& p = para(i);
        const int kept = p.value;
        p.setVal(value);
        Vdx::String_c text;
        p.getDisplay(text);
        p.setValue(kept);
        return text;
    }
};

// One row per parameter or run of like parameters: the name, the type, the
// unit, and the display of the default, the lowest and the highest value.
struct ParaRow
{
    int first;
    int count;
    const char* name;
    ParaType_t type;
    const char* unit;
    const char* atDefault;
    const char* atLow;
    const char* atHigh;
};

const ParaRow Table[] = {
    {1, 1, "PrgName", ptCharPtr, "", "", "", ""},
    {2, 1, "Main Vol.", ptVolume, "dB", "-6.0", "-oo", "0.0"},
    {3, 1, "Scal.Centr", ptNote, "", "C3", "C0", "C7"},
    {4, 1, "Detune", ptNumber, "cent", "-0.1", "-0.1", "50.0"},
    {5, 1, "FilterType", ptEnu, "", "LP24", "LP12", " HP "},
    {6, 1, "EnvDepth", ptNumber, "", "1.00", "0.00", "1.00"},
    {7, 1, "EnvInv", ptOnOff, "", "Off", "Off", "On "},
    {8, 24, "Mod.Source", ptEnu, "", "    - - -   ", "    - - -   ", "Constant    "},
    {32, 24, "Mod.Amount", ptNumber, "", "0.000", "-1.000", "1.000"},
    {56, 24, "Mod.Dest.", ptEnu, "", "      - - -     ", "      - - -     ", "Mod2-Env$Release"},
    {80, 1, "DMVol", ptOnOff, "", "On ", "Off", "On "},
    {81, 1, "DMVel", ptOnOff, "", "On ", "Off", "On "},
    {82, 1, "DMWh ", ptOnOff, "", "On ", "Off", "On "},
    {83, 1, "Unusued Spread", ptNumber, "cent", "0.00", "0.00", "20.00"},
    {84, 1, "Unusued GenMix", ptNumber, "% Gen2", "0.500", "0.000", "1.000"},
    {85, 2, "Unused", ptCharPtr, "", "", "", ""},
    {87, 1, "Gen0 Routing", ptEnu, "", "Mix", "Mix", "FM "},
    {88, 2, "Unused", ptOnOff, "", "Off", "Off", "On "},
    {90, 1, "Gen 0 Type", ptEnu, "", "Oscillator  ", "Oscillator  ", "Loop Sampler"},
    {91, 1, "Gen 1 Type", ptEnu, "", "Time Sampler", "Oscillator  ", "Loop Sampler"},
    {92, 1, "Gen 0 OnOff", ptOnOff, "", "On ", "Off", "On "},
    {93, 1, "Gen 1 OnOff", ptOnOff, "", "On ", "Off", "On "},
    {94, 2, "Unused", ptEnu, "", "Settings", "Settings", "Looppnts"},
    {96, 1, "Voices", ptEnu, "", "oo", "mono", "oo"},
    {97, 1, "Eff 0 Type", ptEnu, "", "DELAY     ", "DELAY     ", "CRUSHER   "},
    {98, 1, "Eff 0 On", ptOnOff, "", "On ", "Off", "On "},
    {99, 1, "Eff 0 Type", ptEnu, "", "DELAY     ", "DELAY     ", "CRUSHER   "},
    {100, 1, "Eff 1 On", ptOnOff, "", "On ", "Off", "On "},
    {101, 1, "Gen2 Routing", ptEnu, "", "Mix", "Mix", "FM "},
    {102, 1, "Gen 2 Type", ptEnu, "", "Oscillator  ", "Oscillator  ", "Quintaro    "},
    {103, 1, "Gen 3 Type", ptEnu, "", "Oscillator  ", "Oscillator  ", "Quintaro    "},
    {104, 1, "Gen 2 OnOff", ptOnOff, "", "Off", "Off", "On "},
    {105, 1, "Gen 3 OnOff", ptOnOff, "", "Off", "Off", "On "},
    {106, 1, "Var 0 Type", ptEnu, "", "Classic ", "Classic ", "Alltype "},
    {107, 1, "Var 1 Type", ptEnu, "", "Classic ", "Classic ", "Alltype "},
    {108, 1, "Eff X0 Type", ptEnu, "", "DELAY     ", "DELAY     ", "CRUSHER   "},
    {109, 1, "Eff X0 On", ptOnOff, "", "Off", "Off", "On "},
    {110, 1, "Eff X1 Type", ptEnu, "", "DELAY     ", "DELAY     ", "CRUSHER   "},
    {111, 1, "Eff X1 On", ptOnOff, "", "Off", "Off", "On "},
    {112, 1, "Eff X2 Type", ptEnu, "", "DELAY     ", "DELAY     ", "CRUSHER   "},
    {113, 1, "Eff X2 On", ptOnOff, "", "Off", "Off", "On "},
    {114, 1, "Eff X3 Type", ptEnu, "", "DELAY     ", "DELAY     ", "CRUSHER   "},
    {115, 1, "Eff X3 On", ptOnOff, "", "Off", "Off", "On "},
    {116, 1, "Var 0 On", ptOnOff, "", "On ", "Off", "On "},
    {117, 1, "Var 1 On", ptOnOff, "", "On ", "Off", "On "},
    {118, 2, "F0 Cut KeyF ", ptNumber, "", "0.00", "0.00", "1.00"},
    {120, 1, "FilterType", ptEnu, "", "LP24", "LP12", " HP "},
    {121, 1, "EnvDepth", ptNumber, "", "1.00", "0.00", "1.00"},
    {122, 1, "EnvInv", ptOnOff, "", "Off", "Off", "On "},
    {123, 1, "Import Sampler 0 SF2 Path", ptCharPtr, "", "", "", ""},
    {124, 1, "Import Sampler 1 SF2 Path", ptCharPtr, "", "", "", ""},
    {125, 24, "Mod.Active", ptOnOff, "", "On ", "Off", "On "},
    {149, 1, "LFO0 Perm", ptOnOff, "", "Off", "Off", "On "},
    {152, 1, "LFO3 Perm", ptOnOff, "", "Off", "Off", "On "},
    {153, 1, "Env Sel", ptEnu, "", "A ", "M1", "A "},
    {154, 1, "LFO Sel", ptEnu, "", "1", "1", "4"},
    {155, 1, "Sample 0 Scrolling", ptNumber, "", "0", "0", "7"},
    {156, 1, "Sample 0 Editing", ptNumber, "", "0", "0", "7"},
    {157, 1, "Sample 0 Shown", ptNumber, "", "0", "0", "63"},
    {158, 1, "Sample 1 Scrolling", ptNumber, "", "0", "0", "7"},
    {159, 1, "Sample 1 Editing", ptNumber, "", "0", "0", "7"},
    {160, 1, "Sample 1 Shown", ptNumber, "", "0", "0", "63"},
    {161, 1, "SD Zoom 0", ptEnu, "", "  64", "   1", "8192"},
    {162, 1, "SD Zoom 1", ptEnu, "", "  64", "   1", "8192"},
    {163, 1, "SD Slider 0", ptNumber, "pm", "0.000", "0.000", "1.000"},
    {164, 1, "SD Slider 1", ptNumber, "pm", "0.000", "0.000", "1.000"},
    {165, 1, "SD Slider Size 0", ptNumber, "pm", "1.000", "0.010", "1.000"},
    {166, 1, "SD Slider Size 1", ptNumber, "pm", "1.000", "0.010", "1.000"},
    {167, 1, "Var 0 Env", ptEnu, "", "ADSFR ", "ADSFR ", "EnhEnv"},
    {169, 1, "Mod 0 Env", ptEnu, "", "ADSFR ", "ADSFR ", "EnhEnv"},
    {173, 1, "Amp Env", ptEnu, "", "ADSFR ", "ADSFR ", "EnhEnv"},
    {174, 1, "Vel->Vol", ptNumber, "%", "66", "0", "100"},
    {175, 1, "Vel->F1Cut", ptNumber, "%", "15", "0", "100"},
    {176, 1, "Vel->F2Cut", ptNumber, "%", "15", "0", "100"},
    {177, 4, "G3 Cent", ptNumber, "cent", "0", "-100", "100"},
    {181, 1, "Gen0 Vol.", ptVolume, "dB", "-3.0", "-oo", "0.0"},
    {184, 1, "Gen3 Vol.", ptVolume, "dB", "-3.0", "-oo", "0.0"},
    {185, 1, "Keys", ptOnOff, "", "On ", "Off", "On "},
    {186, 1, "Fx0 Wet", ptNumber, "%", "0.100", "0.000", "1.000"},
    {191, 1, "Fx5 Wet", ptNumber, "%", "0.100", "0.000", "1.000"},
    {192, 1, "Pow 51 0 ", ptOnOff, "", "Off", "Off", "On "},
    {197, 1, "Pow 51 5 ", ptOnOff, "", "Off", "Off", "On "},
    {198, 1, "Pow 51 6 ", ptOnOff, "", "On ", "Off", "On "},
    {199, 1, "Var0Pan", ptNumber, "", "0.00", "-1.00", "1.00"},
    {200, 1, "Var1Pan", ptNumber, "", "0.00", "-1.00", "1.00"},
    {201, 1, "Exactness", ptNumber, "%", "100", "85", "100"},
    {202, 1, "File IO Env", ptEnu, "", "Copy ", "Copy ", "Init "},
    {205, 1, "File IO LFO", ptEnu, "", "Copy ", "Copy ", "Init "},
    {206, 2, "Gen0 Vol.", ptVolume, "dB", "-3.0", "-oo", "0.0"},
    {208, 1, "File IO Gn0", ptEnu, "", "Copy ", "Load ", "Init "},
    {211, 1, "File IO Gn3", ptEnu, "", "Copy ", "Load ", "Init "},
    {212, 1, "Export Sample 0", ptCharPtr, "", "", "", ""},
    {215, 1, "Export Sample 3", ptCharPtr, "", "", "", ""},
    {216, 1, "ExpWTG Sample 0", ptCharPtr, "", "", "", ""},
    {219, 1, "ExpWTG Sample 3", ptCharPtr, "", "", "", ""},
    {220, 1, "New Analog Osc", ptOnOff, "", "On ", "Off", "On "},
};

} // namespace

TEST(VelaGlo, EveryParameterAsTheProgramFormatHasIt)
{
    BoundGlo g;
    ASSERT_TRUE(g.ok);
    EXPECT_EQ(g.glo.getTypeCode(), 0x53594732); // 'SYG2', the tag of its block in program chunks
    EXPECT_EQ(g.slot->getParaCount(), 221);
    EXPECT_EQ(g.para(0).getType(), ptUndefined);
    for (const ParaRow& row : Table)
        for (int i = row.first; i < row.first + row.count; ++i) {
            SCOPED_TRACE(testing::Message() << "parameter " << i);
            Parameter_c& p = g.para(i);
            // The name as stored (the engine's name answers are cut to 23 characters).
            ASSERT_NE(p.getParaSpecPtr(), nullptr);
            EXPECT_STREQ(p.getParaSpecPtr()->name, row.name);
            EXPECT_EQ(p.getType(), row.type);
            char unit[ParaNameBufferBytes] = {};
            p.getUnit(unit, sizeof(unit));
            EXPECT_STREQ(unit, row.unit);
            Vdx::String_c shown;
            p.getDisplay(shown);
            EXPECT_EQ(shown, row.atDefault);
            EXPECT_EQ(g.display(i, p.getLowValue()), row.atLow);
            EXPECT_EQ(g.display(i, p.getHighValue()), row.atHigh);
        }
}

TEST(VelaGlo, FixedValuesTheReadersRelyOn)
{
    BoundGlo g;
    ASSERT_TRUE(g.ok);
    struct Case { int para; int value; const char* shown; };
    const Case cases[] = {
        {VelaGlo_c::gpVoices, 1, "mono"},     {VelaGlo_c::gpVoices, 2, "  2 "},
        {VelaGlo_c::gpVoices, 12, " 12 "},    {VelaGlo_c::gpFilterType0, -1, "LP12"},
        {VelaGlo_c::gpFilterType0, 1, " BP "}, {VelaGlo_c::gpModSource, 4, "Pitch Wheel "},
        {VelaGlo_c::gpModDest, 0, "Gen 1   $Ampl   "}, {VelaGlo_c::gpModDest, 31, "Main    $Pitch  "},
        {VelaGlo_c::gpModDest, 38, "Loop 1  $Start  "}, {VelaGlo_c::gpSDZoom0, 10, "1024"},
        {VelaGlo_c::gpEffType0, 2, "PING PONG "},   {VelaGlo_c::gpEffType0, 9, "ST-ENHANC "},
        {VelaGlo_c::gpModAmount, 5000, "0.500"}, {VelaGlo_c::gpGenVol0, -36 * 5, "-36"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(g.display(c.para, c.value), c.shown) << c.para << " = " << c.value;

    // The two send types share a name but not a value.
    g.para(VelaGlo_c::gpEffType0).setVal(3);
    EXPECT_EQ(g.para(VelaGlo_c::gpEffType1).value, 0);
}

TEST(VelaGlo, TextsOfOlderProgramsFindTheirValues)
{
    BoundGlo g;
    ASSERT_TRUE(g.ok);
    struct Case { int para; const char* text; int value; };
    const Case cases[] = {
        {VelaGlo_c::gpModSource, "PitchWhl", 4},
        {VelaGlo_c::gpModSource + 23, "Key Lin", 1},
        {VelaGlo_c::gpModSource, "MonATch", 3},
        {VelaGlo_c::gpModSource, "Aftert(mono)", 3},
        {VelaGlo_c::gpModSource, "Contrl19", 12},
        {VelaGlo_c::gpModSource, "Mod-Envelope", 19},
        {VelaGlo_c::gpModDest, " Ampl Gen 1     ", 0},
        {VelaGlo_c::gpModDest, " Ampl Osc 1     ", 0},
        {VelaGlo_c::gpModDest, " Pitch Gen 2    ", 6},
        {VelaGlo_c::gpModDest, "Balance 4", 17},
        {VelaGlo_c::gpModDest, " S-Start Gen 2", 9},
        {VelaGlo_c::gpModDest + 5, "Filter 2$Resonan", 25},
        {VelaGlo_c::gpVoices, "all ", 13},
        {VelaGlo_c::gpVoices, " 8  ", 8},
        {VelaGlo_c::gpEffType0, "Chorus    ", 3},
        {VelaGlo_c::gpGenType0, "LoopSamp", 3},
        {VelaGlo_c::gpFilterType1, "LP24", 0},
    };
    for (const Case& c : cases) {
        Parameter_c& p = g.para(c.para);
        p.setVal(p.getHighValue());
        p.setEnuVal(c.text);
        EXPECT_EQ(p.value, c.value) << c.para << " \"" << c.text << '"';
    }
}

TEST(VelaGlo, DestinationTableWithItsOlderColumns)
{
    BoundGlo g;
    ASSERT_TRUE(g.ok);
    const CodedEnuData_c& dest = g.glo.getModDestData();
    EXPECT_EQ(dest.getAmount(), 58);
    EXPECT_EQ(dest.getWidth(), 16);
    const char* const* old = dest.getCompatib();
    ASSERT_NE(old, nullptr);
    int columns = 0;
    while (old[columns])
        ++columns;
    ASSERT_EQ(columns, 6);
    const char* const valueZero[6] = {" Ampl Gen 1     ", "Ampl 1          ", "Ampl 1          ",
                                      " Ampl Osc 1     ", " Ampl Osc 1     ", " Ampl Osc 1     "};
    for (int c = 0; c < columns; ++c) {
        // Row 0 is "none", row 1 the value 0.
        EXPECT_EQ(std::string(old[c] + 16, 16), valueZero[c]) << "column " << c;
        EXPECT_EQ(std::strlen(old[c]), 58u * 16u) << "column " << c;
    }
    // A destination older versions did not have.
    EXPECT_EQ(std::string(old[5] + 16 * (1 + 34), 16), "xxxxxxxxxxxx    ");
    // The labels are the items of every matrix row.
    EXPECT_EQ(g.para(VelaGlo_c::gpModDest + 23).getEnuValPtr(), dest.getLabels());
}

TEST(VelaGlo, OneSetSharedByEveryInstanceAndSpreadOverItsSets)
{
    BoundGlo first(3);
    ASSERT_TRUE(first.ok);
    VelaGlo_c second;
    EXPECT_TRUE(second.getParaSetPtr(&first.slot, 3));
    EXPECT_EQ(second.getParaPtr(0, 1), first.glo.getParaPtr(0, 1)); // bound, not made again
    for (int set = 1; set < 3; ++set) {
        EXPECT_EQ(first.glo.getParaVal(set, VelaGlo_c::gpGenType0 + 1), 1) << set;
        EXPECT_EQ(first.glo.getParaVal(set, VelaGlo_c::gpMainVol), -30) << set;
    }
}
