// The rows of the external parameter table, written as runs: most of the
// table repeats one parameter word over four generator slots, three effect
// sets or seven 5.1 panners, so each run lists its words once and the
// builder spreads them. Names are stored exactly as hosts and projects know
// them, misspellings and trailing blanks included: a host finds automation by
// index, but users find it by these names.
#include "VelaExtTable.h"

#include "ChordMem.h"
#include "Chorus1.h"
#include "CrushX.h"
#include "Delay2.h"
#include "DelayPingPong.h"
#include "DelayStereo.h"
#include "ECS2.h"
#include "EQ2.h"
#include "Envelope.h"
#include "FilterFree.h"
#include "FilterMoogSI.h"
#include "Flanger2.h"
#include "Gator.h"
#include "GloFil.h"
#include "LFO.h"
#include "NoteFreqTable.h"
#include "OscAnalog4.h"
#include "Panner.h"
#include "Phaser1S.h"
#include "RampGlide.h"
#include "Reverb2.h"
#include "SamLoop.h"
#include "SamTC3.h"
#include "SamWT.h"
#include "Satur.h"
#include "StepSeq.h"
#include "StereoEnh1.h"
#include "SysGlo.h"
#include "VelaGlo.h"
#include "VelaInst.h"
#include "WaveRAM.h"
#include "WaveRAM2.h"
#include "WaveTable.h"

#include <array>
#include <cassert>
#include <string>

using namespace VelaExt;

namespace {

using G = VelaGlo_c;

// A parameter word and its parameter number in the target module.
struct Word
{
    const char* word;
    int para;
    bool display = true;
};

class Builder
{
public:
    Builder() { rows.reserve(EntryCount); }

    // The next row. The runs below check their end against the index the
    // table gives, so a miscounted run shows in debug builds (and the tests).
    ExtRow& add(std::string name)
    {
        rows.emplace_back();
        rows.back().name = std::move(name);
        return rows.back();
    }
    int next() const { return static_cast<int>(rows.size()); }

    void module(std::string name, int number, int para, bool display)
    {
        ExtRow& r = add(std::move(name));
        r.target = ExtTarget::Module;
        r.module = number;
        r.para = para;
        r.display = display;
    }
    void global(std::string name, int para, bool display) { module(std::move(name), ModGlobal, para, display); }
    void settings(std::string name, ExtTarget target, int para, int instrument, bool readOnly = false)
    {
        ExtRow& r = add(std::move(name));
        r.target = target;
        r.para = para;
        r.instrument = instrument;
        r.readOnly = readOnly;
    }
    void none(int count, bool readOnly, const char* name = "-")
    {
        for (int i = 0; i < count; ++i)
            add(name).readOnly = readOnly;
    }
    // One row per slot for each word: "<stem> <slot> <word>" on modules
    // first .. first + slots - 1.
    void perSlot(const char* stem, int first, int slots, const Word* words, int count)
    {
        for (int w = 0; w < count; ++w)
            for (int s = 0; s < slots; ++s)
                module(std::string(stem) + " " + std::to_string(s + 1) + " " + words[w].word, first + s,
                       words[w].para, words[w].display);
    }
    // A zone parameter of the multisample memories, paged by the shown zone:
    // memory 1 then memory 2.
    void zonePair(const char* name, int para, bool display)
    {
        for (int m = 0; m < LoopSamplers; ++m) {
            module(name, ModMulti1 + m, para, display);
            rows.back().selector = ShownZoneSelector0 + m;
        }
    }

    std::vector<ExtRow> rows;
};

template <size_t N>
constexpr int count(const Word (&)[N])
{
    return static_cast<int>(N);
}

// --- Generator slots ----------------------------------------------------------

constexpr Word OscWords[] = {{"Wave", OscAnalog4_c::opWaveform}, {"Symm", OscAnalog4_c::opPulseWidth},
                             {"Oct", OscAnalog4_c::opOctave},    {"Semi", OscAnalog4_c::opSemitone},
                             {"Cent", OscAnalog4_c::opCent},     {"Track", OscAnalog4_c::opTrack},
                             {"Spread", OscAnalog4_c::opSpread}, {"Freerun", OscAnalog4_c::opFreeRun}};
constexpr Word TimWords[] = {{"Looprse", SamTC3_c::tcFullLoop},       {"Octave", SamTC3_c::tcOctave},
                             {"Semitone", SamTC3_c::tcSemitone},      {"Cent", SamTC3_c::tcCent},
                             {"Pitch-Track", SamTC3_c::tcPitchTrack}, {"Time-Track", SamTC3_c::tcTimeTrack},
                             {"Spread", SamTC3_c::tcSpread}};
constexpr Word WTWords[] = {{"Ocatve", SamWT_c::wgOctave},     {"Semitone", SamWT_c::wgSemitone},
                            {"Cent", SamWT_c::wgCent},         {"Track", SamWT_c::wgPitchTrack},
                            {"Ride", SamWT_c::wgWaveRide},     {"Ride-Track", SamWT_c::wgRideTrack},
                            {"Spread", SamWT_c::wgSpread}};
// The loop samplers' words ("Loop 0 Oct ", "Loop 1 Oct ", ...), trailing
// blanks included.
constexpr Word LoopWords[] = {{"Oct ", SamLoop_c::lpOctave},
                              {"Semi ", SamLoop_c::lpSemitone},
                              {"Cent ", SamLoop_c::lpCent},
                              {"Track ", SamLoop_c::lpPitchTrack}};
static_assert(OscWords[OscCentWord].para == OscAnalog4_c::opCent && TimWords[TimCentWord].para == SamTC3_c::tcCent &&
              WTWords[WTCentWord].para == SamWT_c::wgCent && LoopWords[LoopCentWord].para == SamLoop_c::lpCent);
// The four generator slots' global switches (on/off), in slot order.
constexpr int GenOnPara[Slots] = {G::gpGenOn0, G::gpGenOn0 + 1, G::gpGenOn2, G::gpGenOn2 + 1};
// The generator types of slots 1 and 2 (the loop sampler among them) and of
// slots 3 and 4.
constexpr int GenTypePara[Slots] = {G::gpGenType0, G::gpGenType0 + 1, G::gpGenType2, G::gpGenType2 + 1};

// --- Filter paths -------------------------------------------------------------

// Per path: the global type, envelope switch and depth of the ladder filter.
constexpr int PathFilterTypePara[Paths] = {G::gpFilterType0, G::gpFilterType1};
constexpr int PathEnvInvPara[Paths] = {G::gpEnvInv0, G::gpEnvInv1};
constexpr int PathEnvDepthPara[Paths] = {G::gpEnvDepth0, G::gpEnvDepth1};
constexpr int PathPanPara[Paths] = {G::gpVar0Pan, G::gpVar1Pan};

// --- Envelopes and LFOs -------------------------------------------------------

// In the order of EnvelopeRun_t, which is not module order.
struct Envelope
{
    const char* stem;
    int module;
};
constexpr Envelope EnvelopeStems[EnvelopeRuns] = {
    {"Amp", ModEnvAmp},     {"Filter 1", ModEnvFilter1}, {"Filter 2", ModEnvFilter2}, {"Gen 1", ModEnvGen1},
    {"Gen 2", ModEnvGen2},  {"Mod 1", ModEnvMod1},       {"Mod 2", ModEnvMod2}};
// In the order of EnvelopeWord_t.
constexpr Word EnvWords[EnvelopeWords] = {{"Attack", EnvADSFR_c::pATime},  {"Decay", EnvADSFR_c::pDTime},
                                          {"Sustain", EnvADSFR_c::pSLevel}, {"Fade", EnvADSFR_c::pFTime},
                                          {"Release", EnvADSFR_c::pRTime},  {"Env-Log/Lin", EnvADSFR_c::pLogDecay}};
constexpr Word LFOWords[] = {{"Delay", AdvLFO_c::pDelay, false},          {"Atack", AdvLFO_c::pAttack, false},
                             {"Decay", AdvLFO_c::pDecay, false},          {"Wave", AdvLFO_c::pWaveform, false},
                             {"Frequency", AdvLFO_c::pFrequency, false},  {"Symmetry", AdvLFO_c::pSymmetry, false},
                             {"Phase", AdvLFO_c::pPhase, false},          {"Sync", AdvLFO_c::pNotes, false}};

// --- Effects ------------------------------------------------------------------

// Effect types, slots and their global switches, in slot order: set 0, set 1,
// serial slots X0..X3.
constexpr int EffTypePara[EffectSlots] = {G::gpEffType0,   G::gpEffType1,   G::effXType(0),
                                          G::effXType(1), G::effXType(2), G::effXType(3)};
constexpr int EffOnPara[EffectSlots] = {G::gpEffOn0, G::gpEffOn1, G::effXOn(0), G::effXOn(1), G::effXOn(2), G::effXOn(3)};
static_assert(EffectSlots == VelaInst_c::NumFxSlots && EffectSets == VelaInst_c::NumFxSets);
constexpr int SetBases[EffectSets] = {ModSet0, ModSet1, ModSetX};
constexpr const char* SetLabels[EffectSets] = {"1", "2", "X"};

struct Effect
{
    const char* word;  // "Delay", ...; null for the ping-pong form
    int offset;        // the module's offset in its set
    const Word* words;
    int count;
};
constexpr Word DelayWords[] = {{"Time", Delay2_c::pTime},     {"Feedback", Delay2_c::pFeed},
                               {"Filter", Delay2_c::pFil},    {"Rate", Delay2_c::pModRate},
                               {"Depth", Delay2_c::pModDepth}, {"Sync", Delay2_c::pNotes},
                               {"ModSync", Delay2_c::pModNotes}};
constexpr Word ChorusWords[] = {{"Time", Chorus1_c::pTime},          {"Time Spread", Chorus1_c::pTimeSpread},
                                {"Rate", Chorus1_c::pSpeed},         {"Rate Spread", Chorus1_c::pSpeedSpread},
                                {"Spread On/Off", Chorus1_c::pMode}, {"Inverse", Chorus1_c::pInvert},
                                {"Dry", Chorus1_c::pDry},            {"Stereo", Chorus1_c::pStereo}};
constexpr Word PhaserWords[] = {{"Rate", Phaser1S_c::pSpeed},       {"Depth", Phaser1S_c::pDepth},
                                {"Center", Phaser1S_c::pCenter},    {"Feedback", Phaser1S_c::pFeedback},
                                {"Inverse", Phaser1S_c::pFBInvert}, {"Stages", Phaser1S_c::pStages},
                                {"Stereo", Phaser1S_c::pStereo},    {"Sync", Phaser1S_c::pNotes}};
constexpr Word FilterWords[] = {{"Saturation", GloFil_c::pSaturation}, {"Type", GloFil_c::pType},
                                {"Cutoff", GloFil_c::pCutoff},         {"Resonance", GloFil_c::pResonance},
                                {"Mod Rate", GloFil_c::pModSpeed},     {"Mod Depth", GloFil_c::pModDepth},
                                {"Level", GloFil_c::pLevel},           {"Sync", GloFil_c::pNotes}};
constexpr Word ReverbWords[] = {{"Room", Reverb2_c::pRevTime},       {"Damp", Reverb2_c::pDamping},
                                {"Pre-Delay", Reverb2_c::pPredelay}, {"Sync", Reverb2_c::pSync},
                                {"Mod", Reverb2_c::pModFreq},        {"Mod Op", Reverb2_c::pModOn}};
constexpr Word StDelayWords[] = {{"Stereo", DelayStereo_c::pStereo},   {"Time Left", DelayStereo_c::pTimeL},
                                 {"Time Right", DelayStereo_c::pTimeR}, {"Feedback", DelayStereo_c::pFeed},
                                 {"Filter LP", DelayStereo_c::pCutLo},  {"Filter HP", DelayStereo_c::pCutHi},
                                 {"Sync L", DelayStereo_c::pSyncL},     {"Sync R", DelayStereo_c::pSyncR},
                                 {"Link", DelayStereo_c::pLink}};
// The ping-pong names carry the set label before a trailing blank.
constexpr Word PingPongWords[] = {
    {"PingPong Time Cen", DelayPingPong_c::pTimeC},   {"PingPong Sync Cen", DelayPingPong_c::pSyncC},
    {"PingPong Balance", DelayPingPong_c::pBalance},  {"PingPong Time Left", DelayPingPong_c::pTimeL},
    {"PingPong Sync Left", DelayPingPong_c::pSyncL},  {"PingPong Time Right", DelayPingPong_c::pTimeR},
    {"PingPong Sync Right", DelayPingPong_c::pSyncR}, {"PingPong Feedback", DelayPingPong_c::pFeed},
    {"PingPong Pan Left", DelayPingPong_c::pPanL},    {"PingPong Pan Right", DelayPingPong_c::pPanR}};
constexpr Word StEnhWords[] = {{"Room", StereoEnh1_c::pRoomsize}, {"Width", StereoEnh1_c::pFactor}};
constexpr Word EQWords[] = {{"Freq 1", EQ2_c::pFreq1}, {"Gain 1", EQ2_c::pGain1}, {"Q 1", EQ2_c::pQ1},
                            {"Freq 2", EQ2_c::pFreq2}, {"Gain 2", EQ2_c::pGain2}, {"Q 2", EQ2_c::pQ2}};
constexpr Word GatorWords[] = {{"Smooth", Gator_c::pSmooth},
                               {"Left", Gator_c::pPatternA, false},
                               {"Right", Gator_c::pPatternB, false},
                               {"Sync", Gator_c::pNotes, false},
                               {"Link", Gator_c::pLink, false}};
constexpr Word CrushWords[] = {{"Bits", CrushX_c::pResolution},         {"Divider", CrushX_c::pDivider},
                               {"Mode", CrushX_c::pDividerMode, false}, {"Filter", CrushX_c::pFilterType, false},
                               {"Cutoff", CrushX_c::pCutoff},           {"Reso", CrushX_c::pResonance},
                               {"Fil.Post", CrushX_c::pPostDivider, false},
                               {"Fil.Auto", CrushX_c::pAutoVolume, false}};
constexpr Word FlangerWords[] = {{"Time", Flanger2_c::pTime},           {"Feedback", Flanger2_c::pFeed},
                                 {"Inv. FB", Flanger2_c::pInvertFeedback}, {"Stereo", Flanger2_c::pPhase},
                                 {"Rate", Flanger2_c::pModRate},        {"Sync", Flanger2_c::pSync},
                                 {"Depth", Flanger2_c::pTimeDepth},     {"Depth", Flanger2_c::pPanDepth}};

constexpr Effect Effects[] = {
    {"Delay", SetDelay, DelayWords, count(DelayWords)},
    {"Chorus", SetChorus, ChorusWords, count(ChorusWords)},
    {"Phaser", SetPhaser, PhaserWords, count(PhaserWords)},
    {"Filter", SetFilter, FilterWords, count(FilterWords)},
    {"Reverb", SetReverb, ReverbWords, count(ReverbWords)},
    {"StDelay", SetStDelay, StDelayWords, count(StDelayWords)},
    {nullptr, SetPingPong, PingPongWords, count(PingPongWords)},
    {"St-Enhancer", SetStEnh, StEnhWords, count(StEnhWords)},
    {"EQ", SetEQ, EQWords, count(EQWords)},
    {"Gator", SetGator, GatorWords, count(GatorWords)},
    {"Crush", SetCrusher, CrushWords, count(CrushWords)},
    {"Flanger", SetFlanger, FlangerWords, count(FlangerWords)},
};

// The entry of an effect's parameter `para` in effect set `set`: the effect
// rows run effect by effect, word by word, one row per set.
constexpr int effectEntry(int offset, int para, int set)
{
    int entry = EffectParaEntry0;
    for (const Effect& e : Effects) {
        for (int w = 0; w < e.count; ++w) {
            if (e.offset == offset && e.words[w].para == para)
                return entry + set;
            entry += EffectSets;
        }
    }
    return -1;
}

// --- 5.1 panners ----------------------------------------------------------------

constexpr int Pan51Modules[Pan51Panners] = {ModPan51Gen1,     ModPan51Gen1 + 1, ModPan51Gen1 + 2, ModPan51Gen1 + 3,
                                            ModPan51Fx0,      ModPan51Fx0 + 1,  ModPan51Fx0 + 2};
constexpr const char* Pan51Endings[Pan51Panners] = {"Gen 1", "Gen 2", "Fil 1", "Fil 2", "Fx 1", "Fx 4", "Fx 6"};
constexpr Word Pan51Words[] = {{"51Vol", Pan51_c::paraOverall},  {"51 LR", Pan51_c::paraLeftRight},
                               {"51 FR", Pan51_c::paraFrontRear}, {"51 Cen", Pan51_c::paraCenter},
                               {"51 LFE", Pan51_c::paraLFE},      {"51 LR", Pan51_c::paraLeftRight},
                               {"51 FR", Pan51_c::paraFrontRear}};
// The LFE row of the second effect panner has always been called "Fx 3";
// its neighbours say "Fx 4".
constexpr int Pan51LFEWord = 4;
constexpr int Pan51OddPanner = 5;

// --- Sample stores ----------------------------------------------------------------

// A parameter of the shown zone, zone parameter k of zone 0 (a selector adds
// the zone).
constexpr int zone(int k)
{
    return WaveRAM2_c::zonePara(0, k);
}
static_assert(ZoneParaStride == WaveRAM2_c::ZoneParaCount);
// The zone parameters of the paged zone rows (eight zones of a page each).
constexpr int PagedZoneParas[] = {WaveRAM2_c::zpFilename, WaveRAM2_c::zpZoneLo, WaveRAM2_c::zpZoneHi,
                                  WaveRAM2_c::zpVeloLo,   WaveRAM2_c::zpVeloHi, WaveRAM2_c::zpVolume};

void hostEntries(Builder& b)
{
    const auto slotName = [](const char* stem, int s, const char* word) {
        return std::string(stem) + " " + std::to_string(s + 1) + " " + word;
    };
    for (int s = 0; s < Slots; ++s)
        b.global("Osc " + std::to_string(s + 1) + " Operation", GenOnPara[s], true);
    for (int s = 0; s < Slots; ++s)
        b.global("Gen " + std::to_string(s + 1) + " Volume", G::gpGenVol0 + s, false);
    for (int s = 0; s < Slots; ++s)
        b.module("Gen " + std::to_string(s + 1) + " Balance", ModPan1 + s, Pan_c::pPan, false);
    b.perSlot("Osc", ModOsc1, Slots, OscWords, count(OscWords));
    assert(b.next() == TimTimescaleEntry0);
    for (int s = 0; s < Slots; ++s)
        b.module(slotName("Gen-Tim", s, "Timescale"), ModTimeSampler1 + s, SamTC3_c::tcTime, true);
    for (int s = 0; s < Slots; ++s)
        b.module(slotName("Gen-Tim", s, "Reverse"), ModUserSample1 + s, WaveRAM_c::wrReverse, true);
    b.perSlot("Gen-Tim", ModTimeSampler1, Slots, TimWords, count(TimWords));
    assert(b.next() == WTEntry0);
    b.perSlot("Gen-WT", ModSamWT1, Slots, WTWords, count(WTWords));
    assert(b.next() == RoutingEntry0);

    b.global("Osc 1 Routing", G::gpGen0Routing, true);
    b.global("Osc 3 Routing", G::gpGen2Routing, true);
    for (int path = 0; path < Paths; ++path)
        b.module("Saturation " + std::to_string(path + 1), ModSatur1 + path, SaturParas::pIntense, false);
    for (int path = 0; path < Paths; ++path)
        b.global("Filter " + std::to_string(path) + " On/Off", G::gpVarOn0 + path, true);
    for (int path = 0; path < Paths; ++path)
        b.module("Filter Cutoff", ModLadder1 + path, FilterMoogSI_c::pCutoff, true);
    for (int path = 0; path < Paths; ++path)
        b.module("Filter Resonance", ModLadder1 + path, FilterMoogSI_c::pResonance, true);
    for (int path = 0; path < Paths; ++path)
        b.global("Filter Type", PathFilterTypePara[path], true);
    for (int path = 0; path < Paths; ++path)
        b.module("Filter Track", ModLadder1 + path, FilterMoogSI_c::pCutKeyF, true);
    for (int path = 0; path < Paths; ++path)
        b.global("Filter Env Inverse", PathEnvInvPara[path], false);
    for (int path = 0; path < Paths; ++path)
        b.global("Filter Env-Depth", PathEnvDepthPara[path], true);
    for (int path = 0; path < Paths; ++path)
        b.module("Filter Type", ModMorph1 + path, FilterFree_c::pType, true);
    for (int path = 0; path < Paths; ++path)
        b.module("Filter Slope", ModMorph1 + path, FilterFree_c::pSlope, true);
    for (int path = 0; path < Paths; ++path)
        b.global("Filter " + std::to_string(path + 1) + " Pan", PathPanPara[path], false);
    // The path levels, under the pan names.
    for (int path = 0; path < Paths; ++path)
        b.global("Filter " + std::to_string(path + 1) + " Pan", G::gpVarVol0 + path, false);
    b.global("Main Volume", G::gpMainVol, true);
    assert(b.next() == EnvelopeEntry0);

    for (const Envelope& e : EnvelopeStems)
        for (const Word& w : EnvWords)
            b.module(std::string(e.stem) + " " + w.word, e.module, w.para, true);
    b.perSlot("LFO", ModLFO1, LFOs, LFOWords, count(LFOWords));
    assert(b.next() == LFOMonoEntry0);
    for (int k = 0; k < LFOs; ++k)
        b.global("LFO " + std::to_string(k + 1) + " Mono", G::gpLFOPerm0 + k, false);
    for (int k = 0; k < EffectSlots; ++k)
        b.global("Effect " + std::to_string(k + 1) + " Type", EffTypePara[k], false);
    for (int k = 0; k < EffectSlots; ++k)
        b.global("Effect " + std::to_string(k + 1) + " Operation", EffOnPara[k], true);
    assert(b.next() == EffectParaEntry0);

    for (const Effect& e : Effects)
        for (int w = 0; w < e.count; ++w)
            for (int s = 0; s < EffectSets; ++s) {
                const Word& word = e.words[w];
                const std::string name = e.word ? std::string(e.word) + " " + SetLabels[s] + " " + word.word
                                                : std::string(word.word) + " " + SetLabels[s] + " ";
                b.module(name, SetBases[s] + e.offset, word.para, word.display);
            }
    assert(b.next() == GlideEntry0);

    b.module("Glide Time", ModGlide, RampGlide_c::pTime, true);
    b.module("Glide Mode", ModGlide, RampGlide_c::pGlideMode, true);
    b.module("Glide Bend", ModGlide, RampGlide_c::pBend, true);
    b.module("Glide Time/Rate", ModGlide, RampGlide_c::pConst, true);
    for (int s = 0; s < Slots; ++s)
        b.global("Gen " + std::to_string(s + 1) + " Detune", G::gpGenCent0 + s, true);
    for (int path = 0; path < Paths; ++path)
        b.module("Fil " + std::to_string(path + 1) + " Cutoff", ModLadder1 + path, FilterMoogSI_c::pCutoff, true);
    for (int path = 0; path < Paths; ++path)
        b.module("Fil " + std::to_string(path + 1) + " Reson.", ModLadder1 + path, FilterMoogSI_c::pResonance, true);
    for (int twice = 0; twice < 2; ++twice)
        for (int k = 0; k < EffectSlots; ++k)
            b.global("Fx " + std::to_string(k + 1) + " Wet", G::gpFxWet0 + k, true);
    assert(b.next() == GenOnOffEntry0);
    for (int s = 0; s < Slots; ++s)
        b.global("Gen " + std::to_string(s + 1) + " OnOff", GenOnPara[s], false);
    for (int path = 0; path < Paths; ++path)
        b.global("Fil " + std::to_string(path + 1) + " OnOff", G::gpVarOn0 + path, false);
    for (int k = 0; k < Pan51Panners; ++k)
        b.global("51 1 OnOff", G::gpPow51First + k, false);
    for (int k = 0; k < EffectSlots; ++k)
        b.global("Fx " + std::to_string(k + 1) + " OnOff", EffOnPara[k], true);
    assert(b.next() == Pan51Entry0);

    for (int w = 0; w < count(Pan51Words); ++w)
        for (int p = 0; p < Pan51Panners; ++p) {
            const char* ending = (w == Pan51LFEWord && p == Pan51OddPanner) ? "Fx 3" : Pan51Endings[p];
            b.module(std::string(Pan51Words[w].word) + " " + ending, Pan51Modules[p], Pan51Words[w].para, true);
        }
    assert(b.next() == Pan51OnOffTwinEntry0);
    // Read-only twins of the seven 5.1 switches: the host shows them, only
    // the editor changes them.
    for (int k = 0; k < Pan51Panners; ++k) {
        b.global("51 1 OnOff", G::gpPow51First + k, true);
        b.rows.back().readOnly = true;
    }
    for (int k = 0; k < EffectSlots; ++k)
        b.global("Effect " + std::to_string(k + 1) + " Type", EffTypePara[k], true);
    for (int s = 0; s < Slots; ++s) {
        b.module("Gen " + std::to_string(s + 1) + " Balance", ModPan1 + s, Pan_c::pPan, false);
        b.global("Gen " + std::to_string(s + 1) + " Volume", G::gpGenVol0 + s, false);
    }
    assert(b.next() == PathFilterEntry0);
    for (int twice = 0; twice < 2; ++twice)
        for (int path = 0; path < Paths; ++path) {
            const std::string stem = "Filter " + std::to_string(path + 1);
            b.module(stem + " Cutoff", ModLadder1 + path, FilterMoogSI_c::pCutoff, true);
            b.module(stem + " Resonance", ModLadder1 + path, FilterMoogSI_c::pResonance, true);
        }
    // The dirty entry: automated with a random value so the host marks its
    // project changed; never written by the host.
    assert(b.next() == DirtyEntry);
    b.settings("-", ExtTarget::SynGlo, SynGloPara::SavedOrLoaded, 0);
    assert(b.next() == HostEntries);
}

// A run of global program parameters under the name "-".
void globals(Builder& b, int first, int n, int instrument = -1)
{
    for (int i = 0; i < n; ++i) {
        b.global("-", first + i, false);
        b.rows.back().instrument = instrument;
    }
}

void editorEntries(Builder& b)
{
    b.none(1, false);                                           // 602
    b.settings("-", ExtTarget::SynGlo, SynGloPara::EditPage, 0);            // 603
    b.global("-", G::gpKeys, true);                             // 604
    globals(b, G::gpEnvSel, 2);                                 // 605, 606 "Env Sel", "LFO Sel"
    b.none(1, false);                                           // 607
    b.settings("-", ExtTarget::SynGlo, SynGloPara::Keyboard, -1);           // 608
    b.settings("-", ExtTarget::SynGlo, SynGloPara::VelCurve, 0);            // 609
    assert(b.next() == LearnExcludedB);
    b.settings("-", ExtTarget::Ecs, ecsParaMode, 0);            // 610
    b.settings("-", ExtTarget::Ecs, ecsParaOnOff, 0);           // 611
    assert(b.next() == ChordModeEntry);
    b.module("-", ModChordMem, ChordMem_c::pOpMode, false);     // 612
    b.module("-", ModChordMem, ChordMem_c::pOnOff, false);      // 613
    b.global("Precision", G::gpExactness, false);               // 614
    globals(b, G::gpMidiVolume, 3);                             // 615..617 volume, velocity, wheel
    globals(b, G::gpPrgName, 1);                                // 618
    b.settings("-", ExtTarget::SynGloIns, SynGloInsPara::SavePath, -1); // 619
    b.settings("-", ExtTarget::SynGloIns, SynGloInsPara::LoadPath, -1); // 620
    b.none(2, true);                                            // 621, 622
    globals(b, G::gpExportSample0, 2 * Slots);                  // 623..630 export paths, then those of the tables
    b.none(1, true);                                            // 631
    b.none(2, false);                                           // 632, 633
    b.settings("-", ExtTarget::SynGlo, SynGloPara::GloTune, 0);             // 634
    for (int para : {SynGloInsPara::Bank, SynGloInsPara::Program, SynGloInsPara::BendUp,
                     SynGloInsPara::BendDown})                  // 635..638
        b.settings("-", ExtTarget::SynGloIns, para, -1);
    globals(b, G::gpFileIOEnv, 4, 0);                           // 639..642 module menus
    globals(b, G::gpFileIOGen0, Slots, 0);                      // 643..646 slot menus
    assert(b.next() == StepSeqMenuEntry);
    b.module("-", ModStepSeq, StepSeq_c::pFileIO, false);       // 647
    b.rows.back().instrument = 0;
    assert(b.next() == ActiveStepEntry);
    for (int para : {StepSeq_c::pStepData, StepSeq_c::pOpMode, StepSeq_c::pResolution, StepSeq_c::pLength,
                     StepSeq_c::pNoteLength, StepSeq_c::pOctaves, StepSeq_c::pSwing, StepSeq_c::pPlayedVeloc,
                     StepSeq_c::pRestart})                      // 648..656
        b.module("-", ModStepSeq, para, false);
    b.settings("-", ExtTarget::SysGlo, SysGloPara::KnobMovement, 0);  // 657
    b.settings("-", ExtTarget::SysGlo, SysGloPara::JumpToSaveDir, 0); // 658
    globals(b, G::gpNewAnalogOsc, 1, 0);                        // 659
    assert(b.next() == MatrixSourceEntry0);
    // The ten rows of the matrix the editor shows.
    constexpr int MatrixRows = 10;
    globals(b, G::gpModSource, MatrixRows);                     // 660..669
    globals(b, G::gpModDest, MatrixRows);                       // 670..679
    for (int r = 0; r < MatrixRows; ++r)                        // 680..689
        b.global(r < 9 ? "Mod Amount " + std::to_string(r + 1) : std::string("Mod Amount10"), G::gpModAmount + r, true);
    globals(b, G::gpModActive, MatrixRows);                     // 690..699 row switches
    b.settings("-", ExtTarget::Tuning, NoteFreqTable_c::tpFilePath, 0, true); // 700
    b.settings("-", ExtTarget::Tuning, NoteFreqTable_c::tpLoadCommand, 0);    // 701
    assert(b.next() == SlotFilenameEntry0);

    for (int s = 0; s < Slots; ++s)                             // 702..705
        b.module("-", ModUserSample1 + s, WaveRAM_c::wrFilename, false);
    for (int s = 0; s < Slots; ++s)                             // 706..709
        b.module("Root Note", ModUserSample1 + s, WaveRAM_c::wrRoot, false);
    b.none(4, true);                                            // 710..713
    assert(b.next() == SlotLoadEntry0);
    for (int s = 0; s < Slots; ++s)                             // 714..717
        b.module("-", ModUserSample1 + s, WaveRAM_c::wrCmdLoadFilename, false);
    b.none(8, true);                                            // 718..725
    for (int para : {WaveRAM_c::wrStartFrame, WaveRAM_c::wrEndFrame}) // 726..733
        for (int s = 0; s < Slots; ++s)
            b.module("-", ModUserSample1 + s, para, false);
    for (int s = 0; s < Slots; ++s)                             // 734..737
        b.module("Root Note", ModWaveTable1 + s, WaveTable_c::wtRoot, false);
    assert(b.next() == TableFileTwinEntry0);
    for (int s = 0; s < Slots; ++s) {                           // 738..741
        b.module("-", ModWaveTable1 + s, WaveTable_c::wtFilename, false);
        b.rows.back().readOnly = true;
    }
    b.none(4, false);                                           // 742..745
    assert(b.next() == TableFileEntry0);
    for (int s = 0; s < Slots; ++s)                             // 746..749
        b.module("-", ModWaveTable1 + s, WaveTable_c::wtFilename, false);
    b.none(8, false);                                           // 750..757
    for (int para : {WaveTable_c::wtStartFrame, WaveTable_c::wtEndFrame}) // 758..765
        for (int s = 0; s < Slots; ++s)
            b.module("-", ModWaveTable1 + s, para, false);
    b.settings("-", ExtTarget::SysGlo, SysGloPara::VersionString, 0, true); // 766
    // 767 and 768 have never addressed anything: they stay plain "-" slots.
    b.none(2, false);                                           // 767, 768
    assert(b.next() == GenTypeEntry0);
    // The types of the slots that can hold a loop sampler (one per loop
    // sampler), four times, then those of the others, three times.
    for (int twice = 0; twice < 4; ++twice)                     // 769..776
        for (int s = 0; s < LoopSamplers; ++s)
            b.global("Gen " + std::to_string(s) + " Type", GenTypePara[s], false);
    for (int thrice = 0; thrice < 3; ++thrice)                  // 777..782
        for (int s = LoopSamplers; s < Slots; ++s)
            b.global("Gen " + std::to_string(s) + " Type", GenTypePara[s], false);
    for (int path = 0; path < Paths; ++path)                    // 783, 784
        b.global("Fil " + std::to_string(path) + " Type", G::gpVarType0 + path, false);
    b.none(11, true);                                           // 785..795
    globals(b, G::gpVar0Env, 7);                                // 796..802 the envelope kinds
    b.zonePair("-", zone(WaveRAM2_c::zpFilename), false);       // 803, 804
    b.none(2, true);                                            // 805, 806
    b.zonePair("-", zone(WaveRAM2_c::zpCmdLoadFilename), false); // 807, 808
    b.none(4, true);                                            // 809..812
    globals(b, G::gpSF2Path0, LoopSamplers);                    // 813, 814 SoundFont import paths
    assert(b.next() == ZoneStartEntry0);
    b.zonePair("-", zone(WaveRAM2_c::zpStartFrame), false);     // 815, 816
    b.zonePair("Loop Start", zone(WaveRAM2_c::zpLoopStart), true); // 817, 818
    b.zonePair("Loop End", zone(WaveRAM2_c::zpLoopEnd), true);  // 819, 820
    b.zonePair("Reverse", zone(WaveRAM2_c::zpReverse), true);   // 821, 822
    b.zonePair("Snap", zone(WaveRAM2_c::zpSuppressXCross), true); // 823, 824
    b.zonePair("Root Note", zone(WaveRAM2_c::zpRoot), true);    // 825, 826
    assert(b.next() == LoopEntry0);
    for (const Word& w : LoopWords)                             // 827..834
        for (int l = 0; l < LoopSamplers; ++l)
            b.module("Loop " + std::to_string(l) + " " + w.word, ModSamLoop1 + l, w.para, true);
    b.zonePair("-", zone(WaveRAM2_c::zpLoopModRange), false);   // 835, 836
    for (int l = 0; l < LoopSamplers; ++l)                      // 837, 838
        b.module("Loop Smooth", ModSamLoop1 + l, SamLoop_c::lpSmooth, true);
    for (int l = 0; l < LoopSamplers; ++l)                      // 839, 840
        b.module("Release Loop", ModSamLoop1 + l, SamLoop_c::lpReleaseLoop, false);
    assert(b.next() == ZoneRowsEntry0);

    // The zone rows of the sample editors: eight zones of the scrolled page
    // (selectors 1 and 2 add page x 160) for six zone parameters.
    for (int m = 0; m < LoopSamplers; ++m)                      // 841..936
        for (int para : PagedZoneParas)
            for (int k = 0; k < ZonesPerPage; ++k) {
                b.module("", ModMulti1 + m, WaveRAM2_c::zonePara(k, para), false);
                b.rows.back().selector = PageSelector0 + m;
            }
    assert(b.next() == ScrollingEntry0);
    for (int m = 0; m < LoopSamplers; ++m)                      // 937, 938
        b.global("", G::sampleScrolling(m), false);
    for (int m = 0; m < LoopSamplers; ++m)                      // 939, 940
        b.global("", G::sampleEditing(m), false);
    for (int m = 0; m < LoopSamplers; ++m)                      // 941, 942
        b.global("", G::sampleShown(m), false);
    assert(b.next() == SDZoomEntry0);
    for (int m = 0; m < LoopSamplers; ++m)                      // 943, 944
        b.global("SD Zoom", G::gpSDZoom0 + m, false);
    for (int m = 0; m < LoopSamplers; ++m)                      // 945, 946
        b.global("SD Scroll", G::gpSDSlider0 + m, false);
    for (int m = 0; m < LoopSamplers; ++m) {                    // 947, 948
        b.global("Scrollbar Size", G::gpSDSliderSize0 + m, false);
        b.rows.back().readOnly = true;
    }
    assert(b.next() == SDZoomTwinEntry0);
    for (const int para : std::array<int, 4>{G::gpSDZoom0, G::gpSDZoom0 + 1, G::gpSDSlider0, G::gpSDSlider0 + 1}) {
        // 949..952
        b.global(para < G::gpSDSlider0 ? "SD Zoom" : "SD Scroll", para, false);
        b.rows.back().readOnly = true;
    }
    assert(b.next() == ZoneStartTwinEntry0);
    b.zonePair("-", zone(WaveRAM2_c::zpStartFrame), false);     // 953, 954
    b.zonePair("-", zone(WaveRAM2_c::zpLoopStart), true);       // 955, 956
    b.zonePair("-", zone(WaveRAM2_c::zpLoopEnd), true);         // 957, 958
    b.zonePair("-", zone(WaveRAM2_c::zpLoopModRange), false);   // 959, 960
    assert(b.next() == VoicesEntry);
    b.global("Voices", G::gpVoices, false);                     // 961
    globals(b, G::gpVelVol, 3);                                 // 962..964 velocity amounts
    assert(b.next() == DefaultPathTwinEntry);
    b.settings("-", ExtTarget::SysGlo, SysGloPara::DefaultPresetPath, 0, true); // 965
    b.settings("-", ExtTarget::SysGlo, SysGloPara::DefaultPresetPath, 0);       // 966
    assert(b.next() == EntryCount);
}

std::vector<ExtRow> build()
{
    Builder b;
    hostEntries(b);
    editorEntries(b);
    return std::move(b.rows);
}

std::vector<RedrawLink> buildLinks()
{
    std::vector<RedrawLink> links;
    // The zoom and scroll of the sample displays redraw their read-only
    // twins.
    for (int m = 0; m < LoopSamplers; ++m)
        links.push_back({SDZoomEntry0 + m, SDZoomTwinEntry0 + m, false});
    for (int m = 0; m < LoopSamplers; ++m)
        links.push_back({SDScrollEntry0 + m, SDScrollTwinEntry0 + m, false});
    links.push_back({LearnExcludedA, LearnExcludedB, true});
    links.push_back({ChordOnEntry, ChordModeEntry, true});
    // A slot's load command redraws its file name; a wavetable store's file
    // its read-only twin.
    for (int s = 0; s < Slots; ++s)
        links.push_back({SlotLoadEntry0 + s, SlotFilenameEntry0 + s, false});
    for (int s = 0; s < Slots; ++s)
        links.push_back({TableFileEntry0 + s, TableFileTwinEntry0 + s, false});
    // The shown zone's points and their twins, store 1 then store 2.
    for (const auto& [a, c] : {std::pair{ZoneStartEntry0, ZoneStartTwinEntry0}, std::pair{LoopStartEntry0, LoopStartTwinEntry0},
                               std::pair{LoopEndEntry0, LoopEndTwinEntry0}})
        for (int m = 0; m < LoopSamplers; ++m)
            links.push_back({a + m, c + m, true});
    for (int m = 0; m < LoopSamplers; ++m)
        links.push_back({ZoneModRangeEntry0 + m, ZoneModRangeTwinEntry0 + m, true});
    links.push_back({StepLengthEntry, ActiveStepEntry, false});
    links.push_back({DefaultPathEntry, DefaultPathTwinEntry, false});
    for (int path = 0; path < Paths; ++path)
        links.push_back({MorphTypeEntry0 + path, MorphSlopeEntry0 + path, false});
    // The cutoff and resonance knobs of each path and their second rows
    // (cutoff and resonance of path 1, then of path 2, twice from
    // PathFilterEntry0).
    constexpr int PathFilterTwinEntry0 = PathFilterEntry0 + 2 * Paths;
    for (const auto& [a, c] : {std::pair{FilterCutoffEntry0, PathFilterTwinEntry0},
                               std::pair{FilterResonanceEntry0, PathFilterTwinEntry0 + 1},
                               std::pair{FilterCutoffEntry0 + 1, PathFilterTwinEntry0 + 2},
                               std::pair{FilterResonanceEntry0 + 1, PathFilterTwinEntry0 + 3},
                               std::pair{FilCutoffEntry0, PathFilterEntry0},
                               std::pair{FilResonanceEntry0, PathFilterEntry0 + 1},
                               std::pair{FilCutoffEntry0 + 1, PathFilterEntry0 + 2},
                               std::pair{FilResonanceEntry0 + 1, PathFilterEntry0 + 3}})
        links.push_back({a, c, true});
    // The gators' two patterns.
    for (int s = 0; s < EffectSets; ++s)
        links.push_back({effectEntry(SetGator, Gator_c::pPatternB, s), effectEntry(SetGator, Gator_c::pPatternA, s), true});
    return links;
}

template <size_t N>
void addGroup(std::vector<std::pair<int, int>>& pairs, const int (&group)[N])
{
    for (size_t i = 0; i < N; ++i)
        for (size_t j = i + 1; j < N; ++j)
            pairs.emplace_back(group[i], group[j]);
}

std::vector<std::pair<int, int>> buildCopies()
{
    std::vector<std::pair<int, int>> pairs;
    addGroup(pairs, CopyGroupSlot1);
    addGroup(pairs, CopyGroupSlot2);
    addGroup(pairs, CopyGroupSlot3);
    addGroup(pairs, CopyGroupSlot4);
    return pairs;
}

} // namespace

const std::vector<ExtRow>& velaExtTable()
{
    static const std::vector<ExtRow> rows = build();
    return rows;
}

const std::vector<RedrawLink>& velaRedrawLinks()
{
    static const std::vector<RedrawLink> links = buildLinks();
    return links;
}

const std::vector<std::pair<int, int>>& velaValueCopyPairs()
{
    static const std::vector<std::pair<int, int>> pairs = buildCopies();
    return pairs;
}
