// Vela_c::initProcess: the module graph of the instrument. It registers
// every module under its logical number, shapes the twelve buses and hands
// them to the modules that read them, enters the 83 routes that say which
// bus each module writes, and creates the instrument part.
//
// Everything here is data: the tables below are the graph, and initProcess
// only walks them. The (type code, order) pair of each registry row tags the
// module's block in program chunks, FXP files and module files, so the
// orders are a stored format: never renumber them. docs/module-graph.md
// draws the graph and explains the choices.
#include "Vela.h"

#include "Chorus1.h"
#include "ChordMem.h"
#include "GloFil.h"
#include "LFO.h"
#include "PatchBay.h"
#include "Phaser1S.h"
#include "RegMod.h"
#include "StepSeq.h"

#include <algorithm>
#include <iterator>
#include <new>

namespace {

// ---------------------------------------------------------------------------
// Global modules (one instance each), numbers 0..10.

enum class GlobalKind { Program, UserSample, WaveTable, MultiSample };

struct GlobalRow
{
    int number;
    GlobalKind kind;
    int index; // which store of its kind
    int order;
};

// User-sample slots 1 and 2 are stored under orders 1 and 0: programs of the
// earlier builds carry them so.
constexpr GlobalRow GlobalRows[] = {
    {0, GlobalKind::Program, 0, 0},
    {1, GlobalKind::UserSample, 0, 1},  {2, GlobalKind::UserSample, 1, 0},
    {3, GlobalKind::UserSample, 2, 2},  {4, GlobalKind::UserSample, 3, 3},
    {5, GlobalKind::WaveTable, 0, 0},   {6, GlobalKind::WaveTable, 1, 1},
    {7, GlobalKind::WaveTable, 2, 2},   {8, GlobalKind::WaveTable, 3, 3},
    {9, GlobalKind::MultiSample, 0, 0}, {10, GlobalKind::MultiSample, 1, 1},
};

// ---------------------------------------------------------------------------
// Voice modules (32 instances, one per voice), numbers 40..90. A module is
// the voice's child of that number; the segment LFO and the envelope inside
// each of the four LFOs are reached through the LFO child.

enum class Inner { None, LFO, Envelope };

struct VoiceRow
{
    int number;
    int child; // the voice's child number, in the order VelaTone_c builds its children
    Inner inner;
    int order;
};

constexpr VoiceRow VoiceRows[] = {
    // LFOs 1..4
    {40, 0, Inner::None, 0}, {41, 1, Inner::None, 1}, {42, 2, Inner::None, 2}, {43, 3, Inner::None, 3},
    // envelopes Gen 1, Gen 2, Mod 1, Mod 2, Filter 1, Filter 2, Amp
    {44, 4, Inner::None, 4}, {45, 5, Inner::None, 5}, {46, 6, Inner::None, 2}, {47, 7, Inner::None, 3},
    {48, 8, Inner::None, 1}, {49, 9, Inner::None, 6}, {50, 10, Inner::None, 0},
    // glide
    {51, 11, Inner::None, 0},
    // analog oscillators of slots 1..4
    {52, 12, Inner::None, 0}, {53, 13, Inner::None, 1}, {54, 14, Inner::None, 2}, {55, 15, Inner::None, 3},
    // time samplers of slots 1..4: slots 1 and 2 stored under orders 1 and 0
    {56, 16, Inner::None, 1}, {57, 17, Inner::None, 0}, {58, 18, Inner::None, 2}, {59, 19, Inner::None, 3},
    // wavetable generators of slots 1..4
    {60, 20, Inner::None, 0}, {61, 21, Inner::None, 1}, {62, 22, Inner::None, 2}, {63, 23, Inner::None, 3},
    // loop samplers of slots 1 and 2
    {64, 24, Inner::None, 0}, {65, 25, Inner::None, 1},
    // ladder filters, morphing filters and saturators of paths 1 and 2
    {66, 32, Inner::None, 0}, {67, 33, Inner::None, 1},
    {68, 34, Inner::None, 0}, {69, 35, Inner::None, 1},
    {70, 30, Inner::None, 0}, {71, 31, Inner::None, 1},
    // the segment LFO and the envelope inside LFOs 1..4
    {72, 0, Inner::LFO, 20}, {73, 1, Inner::LFO, 21}, {74, 2, Inner::LFO, 22}, {75, 3, Inner::LFO, 23},
    {76, 0, Inner::Envelope, 0}, {77, 1, Inner::Envelope, 1}, {78, 2, Inner::Envelope, 2},
    {79, 3, Inner::Envelope, 3},
    // slot panners, 5.1 panners of G0, G1, F0, F1
    {80, 26, Inner::None, 0}, {81, 27, Inner::None, 1}, {82, 28, Inner::None, 2}, {83, 29, Inner::None, 3},
    {84, 37, Inner::None, 0}, {85, 38, Inner::None, 1}, {86, 39, Inner::None, 2}, {87, 40, Inner::None, 3},
    // distortion (parameters only), amplifiers of paths 1 and 2
    {88, 36, Inner::None, 2},
    {89, 41, Inner::None, 0}, {90, 42, Inner::None, 1},
};

// ---------------------------------------------------------------------------
// Instrument modules (one instance), numbers 100..164. The three effect sets
// share one layout from their base number (set 0 at 100, set 1 at 120, set X
// at 140). The instrument's children come in blocks of three (set 0, set 1,
// set X) per effect class, the panners FX0, FX3, FX5 being block 11.

enum class EffectPart { Effect, ChorusLFO, PhaserLFO, FilterLFO };

struct EffectRow
{
    int k;        // number - set base
    int block;    // the instrument's child block of the class
    EffectPart part;
    int lfo;      // which chorus LFO (0..2)
    int order[3]; // in set 0, set 1, set X
};

constexpr int EffectSetBase[3] = {100, 120, 140};

constexpr EffectRow EffectRows[] = {
    {0, 0, EffectPart::Effect, 0, {1, 2, 0}},      // delay
    {1, 1, EffectPart::Effect, 0, {1, 2, 0}},      // chorus
    {2, 1, EffectPart::ChorusLFO, 0, {8, 16, 4}},  // the chorus's LFOs (its fourth is not registered)
    {3, 1, EffectPart::ChorusLFO, 1, {9, 17, 5}},
    {4, 1, EffectPart::ChorusLFO, 2, {10, 18, 6}},
    {5, 2, EffectPart::Effect, 0, {1, 2, 0}},      // phaser
    {6, 2, EffectPart::PhaserLFO, 0, {13, 19, 12}},
    {7, 3, EffectPart::Effect, 0, {1, 2, 0}},      // filter effect
    {8, 3, EffectPart::FilterLFO, 0, {15, 24, 14}},
    {9, 4, EffectPart::Effect, 0, {1, 2, 0}},      // reverb
    {10, 5, EffectPart::Effect, 0, {1, 2, 0}},     // stereo delay
    {11, 6, EffectPart::Effect, 0, {1, 2, 0}},     // flanger
    {12, 8, EffectPart::Effect, 0, {1, 2, 0}},     // stereo enhancer
    {13, 9, EffectPart::Effect, 0, {1, 2, 0}},     // parametric EQ
    {14, 7, EffectPart::Effect, 0, {1, 2, 0}},     // gator
    {15, 10, EffectPart::Effect, 0, {1, 2, 0}},    // crusher
    {16, 12, EffectPart::Effect, 0, {1, 2, 0}},    // ping-pong delay
};
constexpr int EffectBlockPanners = 11;

// The effects of a set (not their LFOs) read the set's bus and are routed.
constexpr int EffectKs[] = {0, 1, 5, 7, 9, 10, 11, 12, 13, 14, 15, 16};

enum InstrumentExtra : int { StepSeqNumber = 160, ChordMemNumber = 161, FxPannerNumber = 162 };
constexpr int FxPannerOrders[3] = {4, 5, 6};

// ---------------------------------------------------------------------------
// Buses.

enum Bus : int {
    XMod0, XMod1, Pan0, Pan1, Pan2, Pan3, Fil0, Fil1, Eff0, Eff1, EffX, Out, Path0, Path1, BusNone = -1
};

struct BusShape
{
    Bus bus;
    const char* name;
    int channels;
    bool ones;     // reads as a block of ones when nothing was written
    bool perVoice; // prepared before each voice
    bool perPiece; // prepared once per piece
    bool hostFed;
};

constexpr BusShape BusShapes[] = {
    {XMod0, "XModBuf0", 1, true, true, false, false}, {XMod1, "XModBuf1", 1, true, true, false, false},
    {Pan0, "PanBuf0", 2, false, true, false, false},  {Pan1, "PanBuf1", 2, false, true, false, false},
    {Pan2, "PanBuf2", 2, false, true, false, false},  {Pan3, "PanBuf3", 2, false, true, false, false},
    {Fil0, "FilBuf0", 2, false, true, false, false},  {Fil1, "FilBuf1", 2, false, true, false, false},
    {Eff0, "EffBuf0", 2, false, false, true, false},  {Eff1, "EffBuf1", 2, false, false, true, false},
    {EffX, "EffBufX", 6, false, false, true, false},  {Out, "OutBuf", 6, false, false, true, true},
    // One voice's filter paths on their way into EffBuf0/EffBuf1 (sendPath).
    {Path0, "PathBuf0", 2, false, true, false, false}, {Path1, "PathBuf1", 2, false, true, false, false},
};

// Which module reads which bus, in the order the buses are handed out.
struct BusInput
{
    Bus bus;
    int number;
};

constexpr BusInput BusInputs[] = {
    // slot 2 and slot 4 generators read the cross-modulation of slots 1 and 3
    {XMod0, 53}, {XMod1, 55}, {XMod0, 57}, {XMod1, 59}, {XMod0, 61}, {XMod1, 63}, {XMod0, 65},
    // slot panners, and the 5.1 panners of the generator groups
    {Pan0, 80}, {Pan1, 81}, {Pan2, 82}, {Pan3, 83}, {Pan0, 84}, {Pan1, 85},
    // saturators, filters and amplifiers of the two paths
    {Fil0, 70}, {Fil1, 71}, {Fil0, 66}, {Fil1, 67}, {Fil0, 68}, {Fil1, 69}, {Fil0, 89}, {Fil1, 90},
    // the 5.1 panners of the paths read the voice's own path, not the effect
    // bus: that one already holds every voice rendered before in the piece
    {Path0, 86}, {Path1, 87},
};

// ---------------------------------------------------------------------------
// Routes, in registration order. Conditional routes switch with "Gen0
// Routing" (87) or "Gen2 Routing" (101): 0 Mix, 1 AM, 2 FM.

struct RouteRow
{
    const char* name;
    int source;
    Bus out1;
    Bus out2;
    int conditionPara; // -1: always
    int value;
};

constexpr int R0 = VelaGlo_c::gpGen0Routing;
constexpr int R2 = VelaGlo_c::gpGen2Routing;

constexpr RouteRow RouteRows[] = {
    {"Osc A 0", 52, Pan0, BusNone, R0, 0},   {"Osc A 0", 52, XMod0, BusNone, R0, 1},
    {"Osc A 0", 52, XMod0, BusNone, R0, 2},  {"Osc A 1", 53, Pan1, BusNone, -1, 0},
    {"Osc A 2", 54, Pan2, BusNone, R2, 0},   {"Osc A 2", 54, XMod1, BusNone, R2, 1},
    {"Osc A 2", 54, XMod1, BusNone, R2, 2},  {"Osc A 3", 55, Pan3, BusNone, -1, 0},
    {"Tim 0", 56, Pan0, BusNone, R0, 0},     {"Tim 0", 56, XMod0, BusNone, R0, 1},
    {"Tim 0", 56, XMod0, BusNone, R0, 2},    {"Tim 1", 57, Pan1, BusNone, -1, 0},
    {"Tim 2", 58, Pan2, BusNone, R2, 0},     {"Tim 2", 58, XMod1, BusNone, R2, 1},
    {"Tim 2", 58, XMod1, BusNone, R2, 2},    {"Tim 3", 59, Pan3, BusNone, -1, 0},
    {"SamWT 0", 60, Pan0, BusNone, R0, 0},   {"SamWT 0", 60, XMod0, BusNone, R0, 1},
    {"SamWT 0", 60, XMod0, BusNone, R0, 2},  {"SamWT 1", 61, Pan1, BusNone, -1, 0},
    // the names of the slot 3 and 4 rows repeat those of slots 1 and 2
    {"SamWT 0", 62, Pan2, BusNone, R2, 0},   {"SamWT 0", 62, XMod1, BusNone, R2, 1},
    {"SamWT 0", 62, XMod1, BusNone, R2, 2},  {"SamWT 1", 63, Pan3, BusNone, -1, 0},
    {"SamLoop0", 64, Pan0, BusNone, R0, 0},  {"SamLoop0", 64, XMod0, BusNone, R0, 1},
    {"SamLoop0", 64, XMod0, BusNone, R0, 2}, {"SamLoop1", 65, Pan1, BusNone, -1, 0},
    {"Panner0", 80, Fil0, Fil1, -1, 0},      {"Panner1", 81, Fil0, Fil1, -1, 0},
    {"Panner2", 82, Fil0, Fil1, -1, 0},      {"Panner3", 83, Fil0, Fil1, -1, 0},
    {"Sat Filter 0", 70, Fil0, BusNone, -1, 0},   {"Sat Filter 1", 71, Fil1, BusNone, -1, 0},
    // A path ends on its voice bus; sendPath adds it onto EffBuf0/EffBuf1.
    {"Filter Moog 0", 66, Path0, BusNone, -1, 0}, {"Filter Moog 1", 67, Path1, BusNone, -1, 0},
    {"Filter Free 0", 68, Path0, BusNone, -1, 0}, {"Filter Free 1", 69, Path1, BusNone, -1, 0},
    {"Amp 0", 89, Path0, BusNone, -1, 0},         {"Amp 1", 90, Path1, BusNone, -1, 0},
    {"Effect 0 Delay ", 100, EffX, BusNone, -1, 0}, {"Effect 0 Chorus", 101, EffX, BusNone, -1, 0},
    {"Effect 0 Phaser", 105, EffX, BusNone, -1, 0}, {"Effect 0 Filter", 107, EffX, BusNone, -1, 0},
    {"Effect 0 Reverb", 109, EffX, BusNone, -1, 0}, {"Effect 0 StDely", 110, EffX, BusNone, -1, 0},
    {"Effect 0 Flangr", 111, EffX, BusNone, -1, 0}, {"Effect 0 StEnh ", 112, EffX, BusNone, -1, 0},
    {"Effect 0 EQ    ", 113, EffX, BusNone, -1, 0}, {"Effect 0 Gator ", 114, EffX, BusNone, -1, 0},
    {"Effect 0 Crush ", 115, EffX, BusNone, -1, 0}, {"Effect 0 PingPo", 116, EffX, BusNone, -1, 0},
    {"Effect 1 Delay ", 120, EffX, BusNone, -1, 0}, {"Effect 1 Chorus", 121, EffX, BusNone, -1, 0},
    {"Effect 1 Phaser", 125, EffX, BusNone, -1, 0}, {"Effect 1 Filter", 127, EffX, BusNone, -1, 0},
    {"Effect 1 Reverb", 129, EffX, BusNone, -1, 0}, {"Effect 1 StDely", 130, EffX, BusNone, -1, 0},
    {"Effect 1 Flangr", 131, EffX, BusNone, -1, 0}, {"Effect 1 StEnh ", 132, EffX, BusNone, -1, 0},
    {"Effect 1 EQ    ", 133, EffX, BusNone, -1, 0}, {"Effect 1 Gator ", 134, EffX, BusNone, -1, 0},
    {"Effect 1 Crush ", 135, EffX, BusNone, -1, 0}, {"Effect 1 PingPo", 136, EffX, BusNone, -1, 0},
    {"Effect X Delay ", 140, EffX, BusNone, -1, 0}, {"Effect X Chorus", 141, EffX, BusNone, -1, 0},
    {"Effect X Phaser", 145, EffX, BusNone, -1, 0}, {"Effect X Filter", 147, EffX, BusNone, -1, 0},
    {"Effect X Reverb", 149, EffX, BusNone, -1, 0}, {"Effect X StDely", 150, EffX, BusNone, -1, 0},
    {"Effect X Flangr", 151, EffX, BusNone, -1, 0}, {"Effect X StEnh ", 152, EffX, BusNone, -1, 0},
    {"Effect X EQ    ", 153, EffX, BusNone, -1, 0}, {"Effect X Gator ", 154, EffX, BusNone, -1, 0},
    {"Effect X Crush ", 155, EffX, BusNone, -1, 0}, {"Effect X PingPo", 156, EffX, BusNone, -1, 0},
    {"Panner 51 G0", 84, Out, BusNone, -1, 0},  {"Panner 51 G1", 85, Out, BusNone, -1, 0},
    {"Panner 51 F0", 86, Out, BusNone, -1, 0},  {"Panner 51 F1", 87, Out, BusNone, -1, 0},
    {"Panner 51 FX0", 162, Out, BusNone, -1, 0}, {"Panner 51 FX3", 163, Out, BusNone, -1, 0},
    {"Panner 51 FX5", 164, Out, BusNone, -1, 0},
};
static_assert(std::size(RouteRows) == 83);

// The part of an instrument effect row in set s, or null.
Part_c* effectPart(PartGroup_c& instrument, const EffectRow& row, int s)
{
    Part_c* effect = instrument.getPart(row.block * 3 + s);
    switch (row.part) {
    case EffectPart::Effect:
        return effect;
    case EffectPart::ChorusLFO:
        if (auto* chorus = dynamic_cast<Chorus1_c*>(effect))
            return &chorus->getLFO(row.lfo);
        return nullptr;
    case EffectPart::PhaserLFO:
        if (auto* phaser = dynamic_cast<Phaser1S_c*>(effect))
            return &phaser->lfo;
        return nullptr;
    case EffectPart::FilterLFO:
        if (auto* filter = dynamic_cast<GloFil_c*>(effect))
            return &filter->lfo;
        return nullptr;
    }
    return nullptr;
}

// The part of a voice row in one voice, or null.
Part_c* voicePart(PartGroup_c& voice, const VoiceRow& row)
{
    Part_c* child = voice.getPart(row.child);
    if (row.inner == Inner::None)
        return child;
    auto* lfo = dynamic_cast<AdvLFO_c*>(child);
    if (!lfo)
        return nullptr;
    return row.inner == Inner::LFO ? static_cast<Part_c*>(&lfo->lfo) : static_cast<Part_c*>(&lfo->env);
}

} // namespace

InBuffer2_c* Vela_c::graphBus(int bus)
{
    InBuffer2_c* const buses[] = {&XModBuf0, &XModBuf1, &PanBuf0, &PanBuf1, &PanBuf2, &PanBuf3, &FilBuf0,
                                  &FilBuf1,  &EffBuf0,  &EffBuf1, &EffBufX, &OutBuf,  &PathBuf0, &PathBuf1};
    return bus >= 0 && bus < static_cast<int>(std::size(buses)) ? buses[bus] : nullptr;
}

int Vela_c::getModuleRow(int number) const
{
    return number >= 0 && number < NumModuleNumbers ? moduleRows.Val(number) : -1;
}

Part_c* Vela_c::globalModule(int kind, int index)
{
    switch (static_cast<GlobalKind>(kind)) {
    case GlobalKind::Program:
        return &globalPart;
    case GlobalKind::UserSample:
        return &userSamples[index];
    case GlobalKind::WaveTable:
        return &waveTables[index];
    case GlobalKind::MultiSample:
        return &multiSamples[index];
    }
    return nullptr;
}

void Vela_c::registerGraphModule(int number, Part_c* part, int order, int count)
{
    int* slot = moduleRows.Adr(number);
    if (slot && part)
        registerFirstModul(slot, part, order, count, rmgInstrument);
}

void Vela_c::sendPath(int path, int frames)
{
    InBuffer2_c* from = path == 0 ? &PathBuf0 : path == 1 ? &PathBuf1 : nullptr;
    InBuffer2_c* to = path == 0 ? &EffBuf0 : &EffBuf1;
    if (from && from->hasContent())
        to->add(from, frames, false, nullptr);
}

InBuffer2_c* Vela_c::getPathSend(int path)
{
    return path == 0 ? &EffBuf0 : path == 1 ? &EffBuf1 : nullptr;
}

void Vela_c::startPathCycle(int frames)
{
    PathBuf0.prepCycle(frames);
    PathBuf1.prepCycle(frames);
}

void Vela_c::initProcess()
{
    // 1. The voices, all on the same control-rate buffers. No generator
    // reads sync rows, so the voices get none.
    float* tables[NumControlTables];
    for (int k = 0; k < NumControlTables; ++k)
        tables[k] = controlTables[k];
    for (int v = 0; v < NumVoices; ++v) {
        tones[v].setControlBuffers(tables, VelaTone_c::ControlBufferCount);
        tones[v].create(this, &globalPart, nullptr, v);
        voices[v] = &tones[v];
    }

    // 2, 3. Global modules, one instance each.
    for (const GlobalRow& row : GlobalRows)
        registerGraphModule(row.number, globalModule(static_cast<int>(row.kind), row.index), row.order, 1);
    globalPartRow = getModuleRow(0);

    // 4. The instrument's modules: the three effect sets, the step
    // sequencer, the chord memory and the effect 5.1 panners.
    for (int s = 0; s < 3; ++s)
        for (const EffectRow& row : EffectRows)
            registerGraphModule(EffectSetBase[s] + row.k, effectPart(instrument, row, s), row.order[s], 1);
    registerGraphModule(StepSeqNumber, instrument.getStepSeq(0), 0, 1);
    registerGraphModule(ChordMemNumber, instrument.getChordMem(), 0, 1);
    for (int p = 0; p < 3; ++p)
        registerGraphModule(FxPannerNumber + p, instrument.getPart(EffectBlockPanners * 3 + p), FxPannerOrders[p],
                            1);

    // 5. The voice modules: voice 0 opens every row, the other voices add
    // their instances in the same order; a row is complete (and its
    // instances created) with voice 31's.
    for (const VoiceRow& row : VoiceRows)
        registerGraphModule(row.number, voicePart(tones[0], row), row.order, NumVoices);
    for (int v = 1; v < NumVoices; ++v)
        for (const VoiceRow& row : VoiceRows)
            if (Part_c* part = voicePart(tones[v], row); part && getModuleRow(row.number) >= 0)
                registerNextModul(getModuleRow(row.number), v, part);
    // The LFOs' inner parts now have the sets of their own rows (which the
    // chunks store); they take the values of their LFO's set again.
    for (int lfo = 0; lfo < 4; ++lfo)
        if (Part_c* part = tones[0].getPart(lfo))
            for (int set = 0; set < getNumInstruments(); ++set)
                part->postprocessParaChange(set, -1);

    // 6. The buses.
    for (const BusShape& shape : BusShapes) {
        InBuffer2_c* bus = graphBus(shape.bus);
        float* zero = shape.ones ? OneBuffer : NullBuffer;
        if (shape.hostFed) {
            const int frames = std::max(getBlockSizeCopy(), HostOutBusFrames);
            bus->create(shape.name, frames, shape.channels, zero);
            outSink.reset(new (std::nothrow) float[static_cast<size_t>(frames)]());
        } else {
            bus->create(shape.name, MaxBlockSize, shape.channels, zero, shape.perVoice, shape.perPiece);
        }
    }
    for (const BusInput& input : BusInputs)
        registerBuffer(getModuleRow(input.number), graphBus(input.bus), false, -1);
    for (int s = 0; s < 3; ++s)
        for (int k : EffectKs)
            registerBuffer(getModuleRow(EffectSetBase[s] + k), graphBus(s == 0 ? Eff0 : s == 1 ? Eff1 : EffX), false,
                           -1);
    for (int p = 0; p < 3; ++p)
        registerBuffer(getModuleRow(FxPannerNumber + p), &EffBufX, false, -1);
    // The output bus is read by nobody; listing it lets every piece start it afresh.
    registerBuffer(-1, &OutBuf, false, -1);

    // 7. The routes.
    for (const RouteRow& route : RouteRows) {
        const int row = getModuleRow(route.source);
        if (row < 0)
            continue;
        Part_c* control = route.conditionPara >= 0 ? &globalPart : nullptr;
        registerRoute(route.name, row, graphBus(route.out1), graphBus(route.out2), control, route.conditionPara,
                      route.conditionPara >= 0 ? route.value : 0);
        // A module with switched routes asks for its buses at every note
        // start: before its first note a program change's doRoute passes it
        // by (it belongs to no instrument yet), and a routing changed since
        // reaches it at its next note.
        if (const RegMod_t* mod = getRegMod(row); mod && control)
            for (int k = 0; k < mod->count; ++k)
                if (Part_c* part = mod->instance(k))
                    part->routeOnStart = true;
    }

    // 8. The instrument.
    instrument.attachBuses(&EffBuf0, &EffBuf1, &EffBufX, &OutBuf);
    instrument.create(this, 0, &globalPart);
    if (getEngineSampleRate() > 0.0)
        instrument.setSampleRate(static_cast<float>(getEngineSampleRate()));
    instrument.setOutIdx(0);
    instruments[0] = &instrument;
    setInsPrg(0, 0);
}
