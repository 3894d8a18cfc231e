#include "VelaGlo.h"

#include "ParaRow.h"
#include "Tone.h"

#include <array>
#include <string>

namespace {

// --- Items of the enumerations ------------------------------------------------

// Filter path type, values -1..2.
constexpr char FilterTypeItems[] = "LP12LP24 BP  HP ";
constexpr const char* FilterTypeOld[] = {"LP12LP24HP12BP24", nullptr};

// Older programs name the matrix sources differently; every list keeps the
// current order from "none" (-1) on and ends where that version's list ended.
// Older versions had poly and mono aftertouch as separate sources at value 3
// and one modulation envelope, now the first of the two.
#define OLD_SOURCE_HEAD "   --       Key Log     Key Lin       Velocity  "
#define OLD_SOURCE_TAIL                                                                                   \
    "PitchWhl    ModWhl      BreathC     FootC       ExpressC    Contrl16    Contrl17    Contrl18    "  \
    "Contrl19       LFO 1       LFO 2       LFO 3       LFO 4    GenEnvelope1GenEnvelope2"
constexpr const char* ModSourceOld[] = {
    OLD_SOURCE_HEAD "PolATch     " OLD_SOURCE_TAIL "   Mod-Env  ",
    OLD_SOURCE_HEAD "MonATch     " OLD_SOURCE_TAIL "   Mod-Env  ",
    OLD_SOURCE_HEAD "AfterT(poly)" OLD_SOURCE_TAIL "Mod-Envelope",
    OLD_SOURCE_HEAD "Aftert(poly)" OLD_SOURCE_TAIL "Mod-Envelope",
    OLD_SOURCE_HEAD "AfterT(mono)" OLD_SOURCE_TAIL "Mod-Envelope",
    OLD_SOURCE_HEAD "Aftert(mono)" OLD_SOURCE_TAIL "Mod-Envelope",
    nullptr,
};
#undef OLD_SOURCE_HEAD
#undef OLD_SOURCE_TAIL

constexpr char RoutingItems[] = "MixAM FM ";
constexpr char GenTypeItems[] = "Oscillator  Time SamplerQuintaro    Loop Sampler";
constexpr char GenTypeItems3[] = "Oscillator  Time SamplerQuintaro    ";
constexpr const char* GenTypeOld[] = {"Analogue    TimeSamp    Quintaro    LoopSamp    ", nullptr};
constexpr char SettingsItems[] = "SettingsLooppnts";
constexpr char VoicesItems[] = "mono  2   3   4   5   6   7   8   9  10  11  12  all";
constexpr const char* VoicesOld[] = {" 1   2   3   4   5   6   7   8  xxxxxxxxxxxxxxxxall ", nullptr};
constexpr char EffTypeItems[] = "DELAY     ST-DELAY  PING PONG CHORUS    PHASER    FILTER    REVERB    FLANGER   "
                                "GATOR     ST-ENHANC PARAM-EQ  CRUSHER   ";
constexpr const char* EffTypeOld[] = {"Delay     StDelay   xxxxxxxxxxChorus    Phaser    Filter    Reverb    ",
                                      nullptr};
constexpr char VarTypeItems[] = "Classic Alltype ";
constexpr char EnvSelItems[] = "M1M2M3M4A ";
constexpr char LFOSelItems[] = "1234";
constexpr char ZoomItems[] = "   1   2   4   8  16  32  64 128 256 51210242048409681928192";
constexpr char EnvKindItems[] = "ADSFR EnhEnv";
constexpr char FileIOModuleItems[] = "Copy PasteInit "; // values 2..4
constexpr char FileIOGenItems[] = "Load Save Copy PasteInit ";

// --- The modulation destination table -----------------------------------------

// Labels of "Mod.Dest." for the values -1..56: a group word of 8 characters,
// "$" (where the editor's two-level menu splits), an item word of 7.
constexpr const char* DestLabels[VelaGlo_c::ModDestCount + 1] = {
    "      - - -     ",
    "Gen 1   $Ampl   ", "Gen 1   $Pitch  ", "Gen 1   $Aux Mod", "Gen 1   $Balance", "Gen 1   $S-Start",
    "Gen 2   $Ampl   ", "Gen 2   $Pitch  ", "Gen 2   $Aux Mod", "Gen 2   $Balance", "Gen 2   $S-Start",
    "Gen 3   $Ampl   ", "Gen 3   $Pitch  ", "Gen 3   $Aux Mod", "Gen 3   $Balance",
    "Gen 4   $Ampl   ", "Gen 4   $Pitch  ", "Gen 4   $Aux Mod", "Gen 4   $Balance",
    "Filter 1$Cutoff ", "Filter 1$Resonan", "Filter 1$EnvDpth", "Filter 1$Aux Mod", "Filter 1$Pan    ",
    "Filter 1$Ampl   ",
    "Filter 2$Cutoff ", "Filter 2$Resonan", "Filter 2$EnvDpth", "Filter 2$Aux Mod", "Filter 2$Pan    ",
    "Filter 2$Ampl   ",
    "Main    $Ampl   ", "Main    $Pitch  ",
    "Matrix  $Depth 1", "Matrix  $Depth 2", "Matrix  $Depth 3", "Matrix  $Depth 4",
    "LFOSpeed$LFO 1  ", "LFOSpeed$LFO 2  ",
    "Loop 1  $Start  ", "Loop 1  $End    ", "Loop 2  $Start  ", "Loop 2  $End    ",
    "Amp-Env $Attack ", "Amp-Env $Decay  ", "Amp-Env $Release",
    "Fil1-Env$Attack ", "Fil1-Env$Decay  ", "Fil1-Env$Release",
    "Fil2-Env$Attack ", "Fil2-Env$Decay  ", "Fil2-Env$Release",
    "Mod1-Env$Attack ", "Mod1-Env$Decay  ", "Mod1-Env$Release",
    "Mod2-Env$Attack ", "Mod2-Env$Decay  ", "Mod2-Env$Release",
};

constexpr int DestCompatColumns = 6;
constexpr int DestRowEntries = DestCompatColumns + 2; // label, its older names, null
constexpr int DestRows = VelaGlo_c::ModDestCount + 1;
constexpr char DestMissing[] = "xxxxxxxxxxxx    "; // a destination that version did not have

std::string trimmed(const std::string& s)
{
    const size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos)
        return {};
    return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

std::string padded(std::string s)
{
    s.resize(VelaGlo_c::ModDestWidth, ' ');
    return s;
}

// The row table CodedEnuData_c takes, made once for the process. Only the
// generator destinations had other names before: the oldest version wrote
// " item group" (" Ampl Gen 1"), the next two "item n" ("Ampl 1"), and the
// last three called the generators oscillators (" Ampl Osc 1"). Those three
// had none of the destinations beyond generators, filters and main, nor the
// sample start.
struct DestTable
{
    std::array<std::string, DestRows * DestCompatColumns> names;
    std::array<const char*, DestRows * DestRowEntries + 1> rows{};

    DestTable()
    {
        for (int r = 0; r < DestRows; ++r) {
            const std::string label = DestLabels[r];
            std::array<std::string, DestCompatColumns> old;
            old.fill(label);
            const size_t split = label.find('$');
            if (split != std::string::npos) {
                const std::string group = trimmed(label.substr(0, split));
                const std::string item = trimmed(label.substr(split + 1));
                const bool generator = group.rfind("Gen ", 0) == 0;
                const bool known = (generator && item != "S-Start") || group.rfind("Filter ", 0) == 0 ||
                                   group == "Main";
                if (generator) {
                    const std::string number = group.substr(4);
                    old[0] = padded(" " + item + " " + group);
                    old[1] = old[2] = padded(item + " " + number);
                    old[3] = old[4] = old[5] = padded(" " + item + " Osc " + number);
                }
                if (!known)
                    old[3] = old[4] = old[5] = DestMissing;
            }
            for (int c = 0; c < DestCompatColumns; ++c)
                names[static_cast<size_t>(r * DestCompatColumns + c)] = old[static_cast<size_t>(c)];
        }
        size_t k = 0;
        for (int r = 0; r < DestRows; ++r) {
            rows[k++] = DestLabels[r];
            for (int c = 0; c < DestCompatColumns; ++c)
                rows[k++] = names[static_cast<size_t>(r * DestCompatColumns + c)].c_str();
            rows[k++] = nullptr;
        }
        rows[k] = nullptr; // no further label: the table ends
    }
};

const char* const* destRowTable()
{
    static const DestTable table;
    return table.rows.data();
}

// Names of the runs of like parameters. A definition keeps the name's
// address, so they live for the process.
constexpr const char* EffXTypeNames[] = {"Eff X0 Type", "Eff X1 Type", "Eff X2 Type", "Eff X3 Type"};
constexpr const char* EffXOnNames[] = {"Eff X0 On", "Eff X1 On", "Eff X2 On", "Eff X3 On"};
constexpr const char* LFOPermNames[] = {"LFO0 Perm", "LFO1 Perm", "LFO2 Perm", "LFO3 Perm"};
constexpr const char* SampleScrollingNames[] = {"Sample 0 Scrolling", "Sample 1 Scrolling"};
constexpr const char* SampleEditingNames[] = {"Sample 0 Editing", "Sample 1 Editing"};
constexpr const char* SampleShownNames[] = {"Sample 0 Shown", "Sample 1 Shown"};
constexpr const char* SDZoomNames[] = {"SD Zoom 0", "SD Zoom 1"};
constexpr const char* SDSliderNames[] = {"SD Slider 0", "SD Slider 1"};
constexpr const char* SDSliderSizeNames[] = {"SD Slider Size 0", "SD Slider Size 1"};
constexpr const char* EnvNames[] = {"Var 0 Env", "Var 1 Env", "Mod 0 Env", "Mod 1 Env",
                                    "Mod 2 Env", "Mod 3 Env", "Amp Env"};
constexpr const char* GenVolNames[] = {"Gen0 Vol.", "Gen1 Vol.", "Gen2 Vol.", "Gen3 Vol."};
constexpr const char* FxWetNames[] = {"Fx0 Wet", "Fx1 Wet", "Fx2 Wet", "Fx3 Wet", "Fx4 Wet", "Fx5 Wet"};
constexpr const char* Pow51Names[] = {"Pow 51 0 ", "Pow 51 1 ", "Pow 51 2 ", "Pow 51 3 ",
                                      "Pow 51 4 ", "Pow 51 5 ", "Pow 51 6 "};
constexpr const char* FileIOModuleNames[] = {"File IO Env", "File IO EF0", "File IO EF1", "File IO LFO"};
constexpr const char* FileIOGenNames[] = {"File IO Gn0", "File IO Gn1", "File IO Gn2", "File IO Gn3"};
constexpr const char* ExportSampleNames[] = {"Export Sample 0", "Export Sample 1", "Export Sample 2",
                                             "Export Sample 3"};
constexpr const char* ExportWTGNames[] = {"ExpWTG Sample 0", "ExpWTG Sample 1", "ExpWTG Sample 2",
                                          "ExpWTG Sample 3"};

// Volumes are stored in fifths of a decibel.
constexpr int dB(double value)
{
    return static_cast<int>(value * 5.0 + (value < 0 ? -0.5 : 0.5));
}

} // namespace

bool VelaGlo_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    bool defined = false;
    Parameter_c* p = beginUnversionedParaDefinition(shared, nSets, ParaCount, &defined);
    if (!p)
        return defined;

    createParas(p, {
        {.index = gpPrgName, .kind = ParaKind::CharPtr, .name = "PrgName"},
        {.index = gpMainVol, .kind = ParaKind::Volume, .name = "Main Vol.", .lo = -30, .hi = 0, .def = dB(-6.0),
         .minusInfinity = true},
        {.index = gpScaleCentre, .kind = ParaKind::Note, .name = "Scal.Centr", .lo = 24, .hi = 108, .precision = 0,
         .def = 60},
        {.index = gpDetune, .name = "Detune", .unit = "cent", .logFactor = 4.0f, .lo = -1, .hi = 500, .precision = 1,
         .def = -1},
        {.index = gpFilterType0, .kind = ParaKind::Enu, .name = "FilterType", .lo = -1, .hi = 2, .def = 0,
         .width = 4, .items = FilterTypeItems, .altLists = FilterTypeOld},
        {.index = gpEnvDepth0, .name = "EnvDepth", .lo = 0, .hi = 100, .precision = 2, .def = 100},
        {.index = gpEnvInv0, .kind = ParaKind::OnOff, .name = "EnvInv", .def = 0},
    });

    modDest.set(destRowTable());
    for (int r = 0; r < ModRows; ++r)
        p[gpModSource + r].createEnu("Mod.Source", "", -1, ModSourcesUsed - 1, ModSourceItemWidth, -1,
                                     ModSourceItems, ModSourceOld);
    for (int r = 0; r < ModRows; ++r)
        p[gpModAmount + r].createNum("Mod.Amount", "", 0.0f, -10000, 10000, 4, 0, 5);
    for (int r = 0; r < ModRows; ++r)
        p[gpModDest + r].createEnu("Mod.Dest.", "", -1, ModDestCount - 1, ModDestWidth, -1, modDest.getLabels(),
                                   modDest.getCompatib());

    createParas(p, {
        {.index = gpMidiVolume, .kind = ParaKind::OnOff, .name = "DMVol", .def = 1},
        {.index = gpMidiVelocity, .kind = ParaKind::OnOff, .name = "DMVel", .def = 1},
        {.index = gpMidiWheel, .kind = ParaKind::OnOff, .name = "DMWh ", .def = 1},
        {.index = gpUnusedSpread, .name = "Unusued Spread", .unit = "cent", .logFactor = 4.0f, .lo = 0, .hi = 2000,
         .precision = 2, .def = 0},
        {.index = gpUnusedGenMix, .name = "Unusued GenMix", .unit = "% Gen2", .lo = 0, .hi = 1000, .precision = 3,
         .def = 500},
        {.index = gpUnusedText0, .kind = ParaKind::CharPtr, .name = "Unused", .pathLeaf = true},
        {.index = gpUnusedText0 + 1, .kind = ParaKind::CharPtr, .name = "Unused", .pathLeaf = true},
        {.index = gpGen0Routing, .kind = ParaKind::Enu, .name = "Gen0 Routing", .lo = 0, .hi = 2, .def = 0,
         .width = 3, .items = RoutingItems},
        {.index = 88, .kind = ParaKind::OnOff, .name = "Unused", .def = 0},
        {.index = 89, .kind = ParaKind::OnOff, .name = "Unused", .def = 0},
        {.index = gpGenType0, .kind = ParaKind::Enu, .name = "Gen 0 Type", .lo = 0, .hi = 3, .def = 0, .width = 12,
         .items = GenTypeItems, .altLists = GenTypeOld},
        {.index = gpGenType0 + 1, .kind = ParaKind::Enu, .name = "Gen 1 Type", .lo = 0, .hi = 3, .def = 1,
         .width = 12, .items = GenTypeItems, .altLists = GenTypeOld},
        {.index = gpGenOn0, .kind = ParaKind::OnOff, .name = "Gen 0 OnOff", .def = 1},
        {.index = gpGenOn0 + 1, .kind = ParaKind::OnOff, .name = "Gen 1 OnOff", .def = 1},
        {.index = 94, .kind = ParaKind::Enu, .name = "Unused", .lo = 0, .hi = 1, .def = 0, .width = 8,
         .items = SettingsItems},
        {.index = 95, .kind = ParaKind::Enu, .name = "Unused", .lo = 0, .hi = 1, .def = 0, .width = 8,
         .items = SettingsItems},
        {.index = gpVoices, .kind = ParaKind::Enu, .name = "Voices", .lo = 1, .hi = 13, .def = 13, .width = 4,
         .items = VoicesItems, .altLists = VoicesOld, .infiniteHi = true},
        {.index = gpEffType0, .kind = ParaKind::Enu, .name = "Eff 0 Type", .lo = 0, .hi = 11, .def = 0, .width = 10,
         .items = EffTypeItems, .altLists = EffTypeOld},
        {.index = gpEffOn0, .kind = ParaKind::OnOff, .name = "Eff 0 On", .def = 1},
        // The second send slot's type has carried the first one's name since
        // the beginning; hosts and stored automation know it by it.
        {.index = gpEffType1, .kind = ParaKind::Enu, .name = "Eff 0 Type", .lo = 0, .hi = 11, .def = 0, .width = 10,
         .items = EffTypeItems, .altLists = EffTypeOld},
        {.index = gpEffOn1, .kind = ParaKind::OnOff, .name = "Eff 1 On", .def = 1},
        {.index = gpGen2Routing, .kind = ParaKind::Enu, .name = "Gen2 Routing", .lo = 0, .hi = 2, .def = 0,
         .width = 3, .items = RoutingItems},
        {.index = gpGenType2, .kind = ParaKind::Enu, .name = "Gen 2 Type", .lo = 0, .hi = 2, .def = 0, .width = 12,
         .items = GenTypeItems3, .altLists = GenTypeOld},
        {.index = gpGenType2 + 1, .kind = ParaKind::Enu, .name = "Gen 3 Type", .lo = 0, .hi = 2, .def = 0,
         .width = 12, .items = GenTypeItems3, .altLists = GenTypeOld},
        {.index = gpGenOn2, .kind = ParaKind::OnOff, .name = "Gen 2 OnOff", .def = 0},
        {.index = gpGenOn2 + 1, .kind = ParaKind::OnOff, .name = "Gen 3 OnOff", .def = 0},
        {.index = gpVarType0, .kind = ParaKind::Enu, .name = "Var 0 Type", .lo = 0, .hi = 1, .def = 0, .width = 8,
         .items = VarTypeItems},
        {.index = gpVarType0 + 1, .kind = ParaKind::Enu, .name = "Var 1 Type", .lo = 0, .hi = 1, .def = 0,
         .width = 8, .items = VarTypeItems},
    });
    for (int k = 0; k < 4; ++k) {
        p[gpEffXType0 + 2 * k].createEnu(EffXTypeNames[k], "", 0, 11, 10, 0, EffTypeItems, EffTypeOld);
        p[gpEffXOn0 + 2 * k].createOnOff(EffXOnNames[k], 0);
    }
    createParas(p, {
        {.index = gpVarOn0, .kind = ParaKind::OnOff, .name = "Var 0 On", .def = 1},
        {.index = gpVarOn0 + 1, .kind = ParaKind::OnOff, .name = "Var 1 On", .def = 1},
        {.index = gpCutKeyF0, .name = "F0 Cut KeyF ", .lo = 0, .hi = 100, .precision = 2, .def = 0},
        {.index = gpCutKeyF0 + 1, .name = "F0 Cut KeyF ", .lo = 0, .hi = 100, .precision = 2, .def = 0},
        {.index = gpFilterType1, .kind = ParaKind::Enu, .name = "FilterType", .lo = -1, .hi = 2, .def = 0,
         .width = 4, .items = FilterTypeItems, .altLists = FilterTypeOld},
        {.index = gpEnvDepth1, .name = "EnvDepth", .lo = 0, .hi = 100, .precision = 2, .def = 100},
        {.index = gpEnvInv1, .kind = ParaKind::OnOff, .name = "EnvInv", .def = 0},
        {.index = gpSF2Path0, .kind = ParaKind::CharPtr, .name = "Import Sampler 0 SF2 Path"},
        {.index = gpSF2Path0 + 1, .kind = ParaKind::CharPtr, .name = "Import Sampler 1 SF2 Path"},
    });
    for (int r = 0; r < ModRows; ++r)
        p[gpModActive + r].createOnOff("Mod.Active", 1);
    for (int k = 0; k < 4; ++k)
        p[gpLFOPerm0 + k].createOnOff(LFOPermNames[k], 0);
    p[gpEnvSel].createEnu("Env Sel", "", 0, 4, 2, 4, EnvSelItems, nullptr);
    p[gpLFOSel].createEnu("LFO Sel", "", 0, 3, 1, 0, LFOSelItems, nullptr);
    for (int k = 0; k < 2; ++k) {
        createParas(p, {
            {.index = gpSampleScrolling0 + 3 * k, .name = SampleScrollingNames[k], .lo = 0, .hi = 7, .precision = 0,
             .def = 0},
            {.index = gpSampleScrolling0 + 3 * k + 1, .name = SampleEditingNames[k], .lo = 0, .hi = 7,
             .precision = 0, .def = 0},
            {.index = gpSampleScrolling0 + 3 * k + 2, .name = SampleShownNames[k], .lo = 0, .hi = 63, .precision = 0,
             .def = 0},
        });
    }
    for (int k = 0; k < 2; ++k) {
        createParas(p, {
            {.index = gpSDZoom0 + k, .kind = ParaKind::Enu, .name = SDZoomNames[k], .lo = 0, .hi = 13, .def = 6,
             .width = 4, .items = ZoomItems},
            {.index = gpSDSlider0 + k, .name = SDSliderNames[k], .unit = "pm", .lo = 0, .hi = 1000, .precision = 3,
             .def = 0},
            {.index = gpSDSliderSize0 + k, .name = SDSliderSizeNames[k], .unit = "pm", .lo = 10, .hi = 1000,
             .precision = 3, .def = 1000},
        });
    }
    for (int k = 0; k < 7; ++k)
        p[gpVar0Env + k].createEnu(EnvNames[k], "", 0, 1, 6, 0, EnvKindItems, nullptr);
    createParas(p, {
        {.index = gpVelVol, .name = "Vel->Vol", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 66},
        {.index = gpVelF1Cut, .name = "Vel->F1Cut", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 15},
        {.index = gpVelF2Cut, .name = "Vel->F2Cut", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 15},
    });
    for (int k = 0; k < 4; ++k)
        p[gpGenCent0 + k].createNum("G3 Cent", "cent", 0.0f, -100, 100, 0, 0, 0);
    for (int k = 0; k < 4; ++k)
        p[gpGenVol0 + k].createVolume(GenVolNames[k], -36, 0, dB(-3.0), true);
    p[gpKeys].createOnOff("Keys", 1);
    for (int k = 0; k < 6; ++k)
        p[gpFxWet0 + k].createNum(FxWetNames[k], "%", 4.0f, 0, 1000, 3, 100, 0);
    // Only the last effect panner (after the fourth insert slot) starts on.
    for (int k = 0; k < 7; ++k)
        p[gpPow51First + k].createOnOff(Pow51Names[k], k == 6 ? 1 : 0);
    createParas(p, {
        {.index = gpVar0Pan, .name = "Var0Pan", .lo = -100, .hi = 100, .precision = 2, .def = 0},
        {.index = gpVar1Pan, .name = "Var1Pan", .lo = -100, .hi = 100, .precision = 2, .def = 0},
        {.index = gpExactness, .name = "Exactness", .unit = "%", .lo = 85, .hi = 100, .precision = 2, .def = 100},
    });
    for (int k = 0; k < 4; ++k)
        p[gpFileIOEnv + k].createEnu(FileIOModuleNames[k], "", 2, 4, 5, 2, FileIOModuleItems, nullptr);
    // The two filter paths' output levels have carried the first slot
    // volume's name since they were added.
    p[gpVarVol0].createVolume("Gen0 Vol.", -24, 0, dB(-3.0), true);
    p[gpVarVol0 + 1].createVolume("Gen0 Vol.", -24, 0, dB(-3.0), true);
    for (int k = 0; k < 4; ++k) {
        createParas(p, {
            {.index = gpFileIOGen0 + k, .kind = ParaKind::Enu, .name = FileIOGenNames[k], .lo = 0, .hi = 4, .def = 2,
             .width = 5, .items = FileIOGenItems},
            {.index = gpExportSample0 + k, .kind = ParaKind::CharPtr, .name = ExportSampleNames[k]},
            {.index = gpExportWTG0 + k, .kind = ParaKind::CharPtr, .name = ExportWTGNames[k]},
        });
    }
    p[gpNewAnalogOsc].createOnOff("New Analog Osc", 1);
    return paraSet->spreadPara();
}
