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

// Special entries.
constexpr int DirtyEntry = 601;
constexpr int LearnExcludedA = 611;
constexpr int LearnExcludedB = 610;
constexpr int ActiveStepEntry = 648;
constexpr int ScrollingEntry0 = 937; // "Sample k Scrolling", k = 0, 1: 937 + k
constexpr int EditingEntry0 = 939;   // 939 + k
constexpr int ShownEntry0 = 941;     // 941 + k

struct Selector
{
    int number;
    int entry;
    int stride;
};
constexpr Selector Selectors[] = {{1, 937, 160}, {2, 938, 160}, {3, 941, 20}, {4, 942, 20}};

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
constexpr int CopyGroupSlot1[] = {484, 28, 64, 88, 831};
constexpr int CopyGroupSlot2[] = {485, 29, 65, 89, 832};
constexpr int CopyGroupSlot3[] = {486, 30, 66, 90};
constexpr int CopyGroupSlot4[] = {487, 31, 67, 91};

} // namespace VelaExt

// The 967 rows in index order (row i is entry i).
const std::vector<ExtRow>& velaExtTable();
// The redraw links in the order they are added.
const std::vector<VelaExt::RedrawLink>& velaRedrawLinks();
// The value-copy pairs (a, b) in the order they are added; each is defined
// both ways.
const std::vector<std::pair<int, int>>& velaValueCopyPairs();
