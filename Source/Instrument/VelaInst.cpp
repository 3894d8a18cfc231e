#include "VelaInst.h"

#include "CmdBuffer.h"
#include "CommandLetters.h"
#include "InBuffer2.h"
#include "Synth.h"
#include "VelaGlo.h"
#include "VelaTone.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// Builds the plain module (sets 0 and 1) or the serial variant (set X) of an
// effect class; null when memory ran out.
template <class Plain, class Serial, auto... Args>
VariatorInst_c* makeEffect(bool serial)
{
    if (serial)
        return new (std::nothrow) Serial(Args...);
    return new (std::nothrow) Plain(Args...);
}

// One row per effect type, in build order: the order of the modules inside
// a set, which is also the order in which the engine registers them. The
// child number is set 0's; set 1's module is the next child, set X's the one
// after.
struct FxTypeRow
{
    int type;    // the value of the effect-type parameters
    int child;   // set 0's child number
    int wet;     // the wet parameter in the effect's own set, -1 for none
    VariatorInst_c* (*make)(bool serial);
};

using VI = VelaInst_c;
constexpr FxTypeRow FxTypes[VI::NumFxTypes] = {
    {VI::fxDelay, 0, Delay2_c::pWet, makeEffect<Delay2_c, Delay2R_c>},
    {VI::fxChorus, 3, Chorus1_c::pWet, makeEffect<Chorus1_c, Chorus1R_c>},
    {VI::fxPhaser, 6, Phaser1S_c::pWet, makeEffect<Phaser1S_c, Phaser1SR_c>},
    {VI::fxFilter, 9, GloFil_c::pWet, makeEffect<GloFil_c, GloFilR_c>},
    {VI::fxReverb, 12, Reverb2_c::pWet, makeEffect<Reverb2_c, Reverb2R_c>},
    {VI::fxStereoDelay, 15, DelayStereo_c::pWet, makeEffect<DelayStereo_c, DelayStereoR_c>},
    {VI::fxFlanger, 18, Flanger2_c::pWet, makeEffect<Flanger2_c, Flanger2R_c>},
    {VI::fxStereoEnhancer, 24, StereoEnh1_c::pWet, makeEffect<StereoEnh1_c, StereoEnh1R_c>},
    {VI::fxParamEQ, 27, -1, makeEffect<EQ2_c, EQ2R_c, VI::EqGainRangeDb>},
    {VI::fxGator, 21, Gator_c::pWet, makeEffect<Gator_c, GatorR_c>},
    {VI::fxCrusher, 30, CrushX_c::pWet, makeEffect<CrushX_c, CrushXR_c>},
    {VI::fxPingPong, 36, DelayPingPong_c::pWet, makeEffect<DelayPingPong_c, DelayPingPongR_c>},
};

// The row of a type; null outside 0..NumFxTypes-1.
const FxTypeRow* rowOfType(int type)
{
    for (const FxTypeRow& row : FxTypes)
        if (row.type == type)
            return &row;
    return nullptr;
}

// Children up to this one are defined before the gates are attached to the
// instrument, the others after.
constexpr int ChildrenBeforeGates = 24;
constexpr int NumChildren = VI::NumFxSets * VI::NumFxTypes + VI::NumFxPanners;

// The note every module starts once when the instrument is created.
constexpr int BindNote = 60;
constexpr int BindVelocity = 100;

// The global program parameters of the chain.
constexpr int TypeParameter[VI::NumFxSlots] = {VelaGlo_c::gpEffType0, VelaGlo_c::gpEffType1,
                                               VelaGlo_c::gpEffXType0,     VelaGlo_c::gpEffXType0 + 2,
                                               VelaGlo_c::gpEffXType0 + 4, VelaGlo_c::gpEffXType0 + 6};
constexpr int OnParameter[VI::NumFxSlots] = {VelaGlo_c::gpEffOn0,     VelaGlo_c::gpEffOn1,
                                             VelaGlo_c::gpEffXOn0,     VelaGlo_c::gpEffXOn0 + 2,
                                             VelaGlo_c::gpEffXOn0 + 4, VelaGlo_c::gpEffXOn0 + 6};
// "Pow 51 4 ", "Pow 51 5 ", "Pow 51 6 ": the switches of FX0, FX3, FX5.
constexpr int PannerOnParameter[VI::NumFxPanners] = {VelaGlo_c::gpPow51First + 4, VelaGlo_c::gpPow51First + 5,
                                                     VelaGlo_c::gpPow51First + 6};

} // namespace

VelaInst_c::VelaInst_c(int outputs) : InstrumentWithSeq_c(outputs)
{
    for (int s = 0; s < NumFxSets; ++s)
        for (int k = 0; k < NumFxTypes; ++k) {
            modules[s][k].reset(FxTypes[k].make(s == setSerial));
            byType[s][FxTypes[k].type] = modules[s][k].get();
        }

    makeStepSeq(0, StepSeqDefaultLevel);
    InstrumentWithSeq_c::create();

    Part_c* children[NumChildren] = {};
    for (int k = 0; k < NumFxTypes; ++k)
        for (int s = 0; s < NumFxSets; ++s)
            children[FxTypes[k].child + s] = modules[s][k].get();
    for (int p = 0; p < NumFxPanners; ++p)
        children[PannerChildren[p]] = &panners[p];
    for (int c = 0; c < ChildrenBeforeGates; ++c)
        definePart(c, children[c]);
    for (int s = 0; s < NumFxSets; ++s)
        if (Gator_c* gate = getEffectAs<Gator_c>(s, fxGator))
            gate->create(this, nullptr);
    for (int c = ChildrenBeforeGates; c < NumChildren; ++c)
        definePart(c, children[c]);
}

VelaInst_c::~VelaInst_c() = default;

void VelaInst_c::create(Synth* s, int instrument, VelaGlo_c* glo)
{
    InstrumentWithSeq_c::create(s, instrument, NumVoices, false);
    globalPart = glo;
    globalParameters.store(glo ? glo->getRenderParaPtr(std::max(instrument, 0)) : nullptr);
    if (s && (!effBuf0 || !effBuf1 || !effBufX || !outBuf)) {
        InBuffer2_c** slots[] = {&effBuf0, &effBuf1, &effBufX, &outBuf};
        const char* names[] = {"EffBuf0", "EffBuf1", "EffBufX", "OutBuf"};
        for (int i = 0; i < s->getRegBufCount(); ++i) {
            InBuffer2_c* bus = s->getRegBuf(i);
            for (int j = 0; j < 4; ++j)
                if (bus && !*slots[j] && bus->getName() && std::strcmp(bus->getName(), names[j]) == 0)
                    *slots[j] = bus;
        }
    }
    if (!globalParameters.load())
        return;
    Note_c note;
    note.set(BindNote, BindVelocity);
    for (int c = 0; c < getChildCount(); ++c)
        if (Part_c* child = getPart(c))
            child->prepProc(instrument, note, false);
}

void VelaInst_c::attachBuses(InBuffer2_c* eff0, InBuffer2_c* eff1, InBuffer2_c* effX, InBuffer2_c* out)
{
    effBuf0 = eff0;
    effBuf1 = eff1;
    effBufX = effX;
    outBuf = out;
}

InBuffer2_c* VelaInst_c::getOutBuf(int i)
{
    return i == 0 ? outBuf : nullptr;
}

// ---------------------------------------------------------------------------
// The chain

bool VelaInst_c::renderParallel(VariatorInst_c* fx, int onParameter, InBuffer2_c* dry, bool active, int frames)
{
    if (globalOn(onParameter))
        return fx->render(active, frames);
    // A switched-off send set lets its dry path through to the chain.
    if (active && dry && effBufX)
        effBufX->add(dry, frames, false, nullptr);
    return active;
}

bool VelaInst_c::renderSerial(VariatorInst_c* fx, int onParameter, bool on, int frames)
{
    // A switched-off slot is not called: its tail stops at once and the bus
    // passes unchanged.
    return globalOn(onParameter) ? fx->render(on, frames) : on;
}

void VelaInst_c::renderPanner(int panner, int frames)
{
    if (globalOn(PannerOnParameter[panner]))
        panners[panner].render(frames);
}

void VelaInst_c::render(int frames)
{
    // One look at the pointers per piece: a selection on another thread
    // changes what the next piece renders.
    VariatorInst_c* fx[NumFxSlots];
    for (int slot = 0; slot < NumFxSlots; ++slot)
        if (!(fx[slot] = current[slot].load()))
            return; // nothing selected yet: the chain stays out, the flags as they are
    // Active while voices are in use, in the piece in which the last one
    // ended, and whenever a voice started since the last piece.
    const bool active = voicesInUse.load(std::memory_order_relaxed) > 0 || voiceStarted.load(std::memory_order_relaxed);

    bool r = renderParallel(fx[slotSend0], OnParameter[slotSend0], effBuf0, active, frames);
    renderPanner(pannerFX0, frames);
    r = renderParallel(fx[slotSend1], OnParameter[slotSend1], effBuf1, active, frames) || r;
    for (int slot = slotX0; slot <= slotX3; ++slot) {
        r = renderSerial(fx[slot], OnParameter[slot], r, frames);
        if (slot == slotX1)
            renderPanner(pannerFX3, frames);
    }
    renderPanner(pannerFX5, frames);

    // The instrument keeps rendering while anything in the chain still
    // sounds; a note start wakes it again.
    activeFlag.store(r, std::memory_order_relaxed);
    voiceStarted.store(voicesInUse.load(std::memory_order_relaxed) > 0, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------
// Ladders of several voices in one loop

namespace {
std::atomic<bool> LadderBatchingAllowed{true};
} // namespace

void VelaInst_c::allowLadderBatching(bool allow)
{
    LadderBatchingAllowed.store(allow);
}

LadderLanes_c* VelaInst_c::ladderLanesFor(const VelaTone_c& voice)
{
    if (!LadderBatchingAllowed.load(std::memory_order_relaxed) || LadderLanes_c::width() == 0 ||
        getCurrentVoice() < 0 || voice.getInstrument() != this)
        return nullptr;
    return &ladderLanes;
}

void VelaInst_c::addHeldVoice(VelaTone_c& voice, int first, int frames)
{
    // Each voice holds two filters of at least one lane each, and the lanes
    // run once full: the list never overflows.
    heldVoices[heldVoiceCount++] = {&voice, first};
    heldFrames = frames;
}

void VelaInst_c::runHeldVoices()
{
    ladderLanes.run();
    for (int k = 0; k < heldVoiceCount; ++k)
        heldVoices[k].voice->finishHeldLadders(ladderLanes, heldVoices[k].first, heldFrames);
    ladderLanes.flushSends();
    lanedVoices.fetch_add(static_cast<uint64_t>(heldVoiceCount), std::memory_order_relaxed);
    ladderLanes.clear();
    heldVoiceCount = 0;
}

void VelaInst_c::voicesRendered(int)
{
    if (heldVoiceCount > 0 || !ladderLanes.empty())
        runHeldVoices();
}

// ---------------------------------------------------------------------------
// Selection

int VelaInst_c::globalValue(int index) const
{
    const Parameter_c* p = globalParameters.load();
    if (!p || index < 0 || index >= VelaGlo_c::ParaCount)
        return 0;
    return p[index].value;
}

bool VelaInst_c::deferredToIdle(int index)
{
    if (!Synth::onAudioThread())
        return false;
    // Switching modules waits for the render and allocates: the idle side
    // runs this change again, where both are allowed.
    if (synth)
        synth->holdCmdtoGUI(Cmd::ParaChangeFollowUp, instrumentIndex, index, globalPart, nullptr, hdAppend);
    return true;
}

void VelaInst_c::selectParallel(int set)
{
    if (set != setSend0 && set != setSend1)
        return;
    if (!globalParameters.load() || deferredToIdle(TypeParameter[set]))
        return;
    const int type = globalValue(TypeParameter[set]);
    if (type < 0 || type >= NumFxTypes || !byType[set][type])
        return;
    std::lock_guard<std::mutex> hold(selectionLock);
    VariatorInst_c* chosen = byType[set][type];
    VariatorInst_c* previous = current[set].load();
    if (chosen == previous)
        return;
    if (previous)
        previous->setInactive();
    current[set].store(chosen);
    chosen->setActive();
}

bool VelaInst_c::makeDistinct(int types[NumSerialSlots], int keep)
{
    bool changed = false;
    for (int j = 0; j < NumSerialSlots; ++j) {
        if (j == keep)
            continue;
        const auto heldByOther = [&](int v) {
            for (int o = 0; o < NumSerialSlots; ++o)
                if (o != j && types[o] == v)
                    return true;
            return false;
        };
        if (!heldByOther(types[j]))
            continue;
        int v = 0;
        while (heldByOther(v))
            ++v;
        types[j] = v;
        changed = true;
    }
    return changed;
}

void VelaInst_c::selectSerial(int keep)
{
    keep = std::clamp(keep, 0, NumSerialSlots - 1);
    if (!globalParameters.load() || deferredToIdle(TypeParameter[slotX0 + keep]))
        return;
    int types[NumSerialSlots];
    for (int k = 0; k < NumSerialSlots; ++k)
        types[k] = std::clamp(globalValue(TypeParameter[slotX0 + k]), 0, NumFxTypes - 1);
    makeDistinct(types, keep);

    std::lock_guard<std::mutex> hold(selectionLock);
    VariatorInst_c* previous[NumSerialSlots];
    VariatorInst_c* next[NumSerialSlots];
    for (int k = 0; k < NumSerialSlots; ++k) {
        previous[k] = current[slotX0 + k].load();
        next[k] = byType[setSerial][types[k]];
    }
    const auto among = [](VariatorInst_c* m, VariatorInst_c* const* list, int count) {
        return std::find(list, list + count, m) != list + count;
    };
    // Each module is switched once, however many slots named it before.
    for (int k = 0; k < NumSerialSlots; ++k)
        if (previous[k] && !among(previous[k], next, NumSerialSlots) && !among(previous[k], previous, k))
            previous[k]->setInactive();
    for (int k = 0; k < NumSerialSlots; ++k)
        current[slotX0 + k].store(next[k]);
    for (int k = 0; k < NumSerialSlots; ++k)
        if (next[k] && !among(next[k], previous, NumSerialSlots) && !among(next[k], next, k))
            next[k]->setActive();
}

void VelaInst_c::selectAll()
{
    selectParallel(setSend0);
    selectParallel(setSend1);
    selectSerial(NumSerialSlots - 1);
}

// ---------------------------------------------------------------------------
// Wet levels

void VelaInst_c::setWet(int slot, float wet)
{
    if (slot == slotSend0 || slot == slotSend1) {
        for (int type = 0; type < NumFxTypes; ++type) {
            const int para = wetParameter(type);
            if (para >= 0 && byType[slot][type])
                byType[slot][type]->setPara01(instrumentIndex, para, wet);
        }
        return;
    }
    if (slot >= slotX0 && slot < NumFxSlots)
        setWetDetail(TypeParameter[slot], wet);
}

void VelaInst_c::setWetDetail(int typeParameter, float wet)
{
    if (!globalParameters.load() || typeParameter < 0 || typeParameter >= VelaGlo_c::ParaCount)
        return;
    const int type = globalValue(typeParameter);
    const int para = wetParameter(type);
    if (type < 0 || type >= NumFxTypes || para < 0 || !byType[setSerial][type])
        return;
    byType[setSerial][type]->setPara01(instrumentIndex, para, wet);
}

// ---------------------------------------------------------------------------
// Modules

VariatorInst_c* VelaInst_c::getEffect(int set, int type) const
{
    if (set < 0 || set >= NumFxSets || type < 0 || type >= NumFxTypes)
        return nullptr;
    return byType[set][type];
}

VariatorInst_c* VelaInst_c::getEffectInBuildOrder(int set, int k) const
{
    if (set < 0 || set >= NumFxSets || k < 0 || k >= NumFxTypes)
        return nullptr;
    return modules[set][k].get();
}

int VelaInst_c::typeInBuildOrder(int k)
{
    return k >= 0 && k < NumFxTypes ? FxTypes[k].type : -1;
}

Pan51_c* VelaInst_c::getPanner(int k)
{
    return k >= 0 && k < NumFxPanners ? &panners[k] : nullptr;
}

VariatorInst_c* VelaInst_c::getCurrentEffect(int slot) const
{
    return slot >= 0 && slot < NumFxSlots ? current[slot].load() : nullptr;
}

int VelaInst_c::childNumber(int set, int type)
{
    const FxTypeRow* row = rowOfType(type);
    if (!row || set < 0 || set >= NumFxSets)
        return -1;
    return row->child + set;
}

int VelaInst_c::wetParameter(int type)
{
    const FxTypeRow* row = rowOfType(type);
    return row ? row->wet : -1;
}
