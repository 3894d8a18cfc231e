// The external parameter table of Tessel3: what every external index (host
// parameter, editor control, controller target) addresses. Indices 0..601 are
// the host's parameters, 602..966 the editor's controls and state. The rows
// are data: Vela_c::open turns them into the engine's EPAS_c descriptors,
// resolving each module number to the part that holds the value.
//
// Module numbers are the instrument's logical numbers (0 the global program
// part, 1..10 the sample stores, 40..90 the modules of voice 0, which stand
// for all 32 voices, 100..164 the instrument's modules); the engine's own
// settings parts are targets of their own kind. docs/external-table.md tells
// the story.
//
// Threads: built once, on first use, by whichever thread opens a plug-in
// first (a function-local static); read-only afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

enum class ExtTarget : uint8_t {
    None,      // carries an editor control only: no value behind it
    Module,    // a module of the instrument by its logical number
    SynGlo,    // the synth settings
    SynGloIns, // the per-instrument settings
    SysGlo,    // the system settings
    Ecs,       // the controller assignment table
    Tuning,    // the tuning table
};

struct ExtRow
{
    std::string name;      // empty: no name (the zone rows)
    ExtTarget target = ExtTarget::None;
    int module = -1;       // logical number, for ExtTarget::Module
    int para = -1;         // parameter number in the target; -1 without one
    bool display = false;  // shown on the editor's value display when touched
    bool readOnly = false; // the host cannot write it
    int instrument = -1;   // -1 the edited instrument, 0 instrument 0
    int selector = 0;      // 0 none, 1..4 paged by a selector
};

namespace VelaExt {

constexpr int EntryCount = 967;
constexpr int HostEntries = 602;

// Logical module numbers the table and the change hook name.
constexpr int ModGlobal = 0;
constexpr int ModUserSample1 = 1;  // 1..4
constexpr int ModWaveTable1 = 5;   // 5..8
constexpr int ModMulti1 = 9;       // 9, 10
constexpr int ModLFO1 = 40;        // 40..43
constexpr int ModEnvGen1 = 44;
constexpr int ModEnvGen2 = 45;
constexpr int ModEnvMod1 = 46;
constexpr int ModEnvMod2 = 47;
constexpr int ModEnvFilter1 = 48;
constexpr int ModEnvFilter2 = 49;
constexpr int ModEnvAmp = 50;
constexpr int ModGlide = 51;
constexpr int ModOsc1 = 52;        // 52..55
constexpr int ModTimeSampler1 = 56; // 56..59
constexpr int ModSamWT1 = 60;      // 60..63
constexpr int ModSamLoop1 = 64;    // 64, 65
constexpr int ModLadder1 = 66;     // 66, 67
constexpr int ModMorph1 = 68;      // 68, 69
constexpr int ModSatur1 = 70;      // 70, 71
constexpr int ModLFOSimp1 = 72;    // 72..75, the segment LFO inside each LFO
constexpr int ModEnvDAD1 = 76;     // 76..79
constexpr int ModPan1 = 80;        // 80..83
constexpr int ModPan51Gen1 = 84;   // 84..87: slots 1, 2, paths 1, 2
constexpr int ModDist = 88;
constexpr int ModAmp1 = 89;        // 89, 90
constexpr int ModSet0 = 100;       // effect set bases: 100, 120, 140
constexpr int ModSet1 = 120;
constexpr int ModSetX = 140;
constexpr int ModStepSeq = 160;
constexpr int ModChordMem = 161;
constexpr int ModPan51Fx0 = 162;   // 162..164

// Offsets of the effect modules inside a set (base + k).
constexpr int SetDelay = 0, SetChorus = 1, SetPhaser = 5, SetFilter = 7, SetReverb = 9, SetStDelay = 10,
              SetFlanger = 11, SetStEnh = 12, SetEQ = 13, SetGator = 14, SetCrusher = 15, SetPingPong = 16;
// The set offset of effect type t (0..11, the values of the type parameters).
constexpr int SetOffsetOfType[12] = {SetDelay,   SetStDelay, SetPingPong, SetChorus, SetPhaser,  SetFilter,
                                     SetReverb,  SetFlanger, SetGator,    SetStEnh,  SetEQ,      SetCrusher};

// The table's layout: how many of each thing its runs repeat over.
constexpr int Slots = 4;         // generator slots
constexpr int Paths = 2;         // filter paths
constexpr int LFOs = 4;
constexpr int EffectSlots = 6;   // send 1, send 2, serial X0..X3
constexpr int EffectSets = 3;    // set 0, set 1, set X
constexpr int Pan51Panners = 7;  // slots 1, 2, paths 1, 2, effect panners 1..3
constexpr int LoopSamplers = 2;  // and multisample stores
constexpr int ZonesPerPage = 8;  // zone rows of a sample editor's page

// Entries by run. A run's first entry; the k-th slot, path, set or panner
// of a run of single rows is first + k, and a run that repeats words over
// slots holds word w of slot s at first + Slots x w + s.
// Host entries 0..601:
constexpr int GenOperationEntry0 = 0;
constexpr int GenVolumeEntry0 = 4;
constexpr int GenBalanceEntry0 = 8;
constexpr int OscEntry0 = 12;           // the oscillator words
constexpr int TimTimescaleEntry0 = 44;
constexpr int TimReverseEntry0 = 48;
constexpr int TimEntry0 = 52;           // the time sampler words
constexpr int WTEntry0 = 80;            // the wavetable generator words
constexpr int RoutingEntry0 = 108;      // slot 1 into 2, slot 3 into 4
constexpr int SaturationEntry0 = 110;
constexpr int FilterOnEntry0 = 112;
constexpr int FilterCutoffEntry0 = 114;
constexpr int FilterResonanceEntry0 = 116;
constexpr int FilterTypeEntry0 = 118;
constexpr int FilterTrackEntry0 = 120;
constexpr int FilterEnvInverseEntry0 = 122;
constexpr int FilterEnvDepthEntry0 = 124;
constexpr int MorphTypeEntry0 = 126;
constexpr int MorphSlopeEntry0 = 128;
constexpr int PathPanEntry0 = 130;
constexpr int PathLevelEntry0 = 132;    // under the pan names
constexpr int MainVolumeEntry = 134;
constexpr int EnvelopeEntry0 = 135;     // six rows per envelope, envelopeEntry
constexpr int LFOEntry0 = 177;          // the LFO words
constexpr int LFOMonoEntry0 = 209;
constexpr int EffectTypeEntry0 = 213;
constexpr int EffectOnEntry0 = 219;
constexpr int EffectParaEntry0 = 225;   // every effect's words, three sets each
constexpr int GlideEntry0 = 480;
constexpr int GenDetuneEntry0 = 484;
constexpr int FilCutoffEntry0 = 488;
constexpr int FilResonanceEntry0 = 490;
constexpr int FxWetEntry0 = 492;        // and again from FxWetTwinEntry0
constexpr int FxWetTwinEntry0 = 498;
constexpr int GenOnOffEntry0 = 504;
constexpr int FilOnOffEntry0 = 508;
constexpr int Pan51OnOffEntry0 = 510;
constexpr int FxOnOffEntry0 = 517;
constexpr int Pan51Entry0 = 523;        // seven rows per panner word
constexpr int Pan51OnOffTwinEntry0 = 572; // read-only
constexpr int EffectTypeTwinEntry0 = 579;
constexpr int GenBalanceVolumeEntry0 = 585; // balance and volume of each slot in turn
constexpr int PathFilterEntry0 = 593;   // cutoff and resonance of each path in turn, twice
constexpr int DirtyEntry = 601;
// Editor entries 602..966 that other entries or code name:
constexpr int LearnExcludedB = 610;     // the learn table's mode
constexpr int LearnExcludedA = 611;     // the learn table's switch
constexpr int ChordModeEntry = 612;
constexpr int ChordOnEntry = 613;
constexpr int StepSeqMenuEntry = 647;
constexpr int ActiveStepEntry = 648;
constexpr int StepLengthEntry = 651;
constexpr int MatrixSourceEntry0 = 660;
constexpr int SlotFilenameEntry0 = 702; // the user-sample slots
constexpr int SlotLoadEntry0 = 714;
constexpr int TableFileTwinEntry0 = 738; // the wavetable stores, read-only
constexpr int TableFileEntry0 = 746;
constexpr int GenTypeEntry0 = 769;
constexpr int ZoneStartEntry0 = 815;    // the shown zone of store 1, store 2
constexpr int LoopStartEntry0 = 817;
constexpr int LoopEndEntry0 = 819;
constexpr int LoopEntry0 = 827;         // the loop sampler words, two rows each
constexpr int ZoneModRangeEntry0 = 835;
constexpr int ZoneRowsEntry0 = 841;     // the paged zone rows of the sample editors
constexpr int ScrollingEntry0 = 937;    // "Sample k Scrolling", k = 0, 1: 937 + k
constexpr int EditingEntry0 = 939;      // 939 + k
constexpr int ShownEntry0 = 941;        // 941 + k
constexpr int SDZoomEntry0 = 943;
constexpr int SDScrollEntry0 = 945;
constexpr int SDZoomTwinEntry0 = 949;   // read-only
constexpr int SDScrollTwinEntry0 = 951; // read-only
constexpr int ZoneStartTwinEntry0 = 953;
constexpr int LoopStartTwinEntry0 = 955;
constexpr int LoopEndTwinEntry0 = 957;
constexpr int ZoneModRangeTwinEntry0 = 959;
constexpr int VoicesEntry = 961;
constexpr int DefaultPathTwinEntry = 965; // read-only
constexpr int DefaultPathEntry = 966;

// The envelope rows: six per envelope, in the order of EnvelopeWord_t, the
// envelopes in the order of EnvelopeRun_t (not module order).
enum EnvelopeWord_t : int { ewAttack = 0, ewDecay, ewSustain, ewFade, ewRelease, ewLogLin };
enum EnvelopeRun_t : int { runAmp = 0, runFilter1, runFilter2, runGen1, runGen2, runMod1, runMod2 };
constexpr int EnvelopeWords = ewLogLin + 1;
constexpr int EnvelopeRuns = runMod2 + 1;
constexpr int envelopeEntry(EnvelopeRun_t envelope, int word)
{
    return EnvelopeEntry0 + EnvelopeWords * envelope + word;
}

// Where "Cent" sits among the words of each generator kind's run.
constexpr int OscCentWord = 4;
constexpr int TimCentWord = 3;
constexpr int WTCentWord = 2;
constexpr int LoopCentWord = 2;
constexpr int OscCentEntry0 = OscEntry0 + Slots * OscCentWord;
constexpr int TimCentEntry0 = TimEntry0 + Slots * TimCentWord;
constexpr int WTCentEntry0 = WTEntry0 + Slots * WTCentWord;
constexpr int LoopCentEntry0 = LoopEntry0 + LoopSamplers * LoopCentWord;

struct Selector
{
    int number;
    int entry;
    int stride;
};
// Selectors 1 and 2 page the zone rows of store 1 and 2 by eight zones of
// 20 parameters, selectors 3 and 4 by single zones (the shown zone).
constexpr int ZoneParaStride = 20;
constexpr int PageSelector0 = 1;
constexpr int ShownZoneSelector0 = 3;
constexpr Selector Selectors[] = {{PageSelector0, ScrollingEntry0, ZonesPerPage * ZoneParaStride},
                                  {PageSelector0 + 1, ScrollingEntry0 + 1, ZonesPerPage * ZoneParaStride},
                                  {ShownZoneSelector0, ShownEntry0, ZoneParaStride},
                                  {ShownZoneSelector0 + 1, ShownEntry0 + 1, ZoneParaStride}};

// A redraw link: redrawing `from` redraws `to` as well; both ways when set.
struct RedrawLink
{
    int from;
    int to;
    bool both;
};

// The value-copy groups: a write of any entry gives every other entry of its
// group the same cents (clamped to each one's range); after a load the first
// entry, the slot's detune, gives its cents to the rest.
// Slots 1 and 2 can also hold a loop sampler; slots 3 and 4 cannot.
constexpr int CopyGroupSlot1[] = {GenDetuneEntry0, OscCentEntry0, TimCentEntry0, WTCentEntry0, LoopCentEntry0};
constexpr int CopyGroupSlot2[] = {GenDetuneEntry0 + 1, OscCentEntry0 + 1, TimCentEntry0 + 1, WTCentEntry0 + 1,
                                  LoopCentEntry0 + 1};
constexpr int CopyGroupSlot3[] = {GenDetuneEntry0 + 2, OscCentEntry0 + 2, TimCentEntry0 + 2, WTCentEntry0 + 2};
constexpr int CopyGroupSlot4[] = {GenDetuneEntry0 + 3, OscCentEntry0 + 3, TimCentEntry0 + 3, WTCentEntry0 + 3};

} // namespace VelaExt

// The 967 rows in index order (row i is entry i).
const std::vector<ExtRow>& velaExtTable();
// The redraw links in the order they are added.
const std::vector<VelaExt::RedrawLink>& velaRedrawLinks();
// The value-copy pairs (a, b) in the order they are added; each is defined
// both ways.
const std::vector<std::pair<int, int>>& velaValueCopyPairs();
