// VelaInst_c: the Tessel3 instrument part, one per plug-in (instrument 0).
// MIDI, notes, voices, the step sequencer and the chord memory come from the
// sequencing instrument it derives from; this class adds the effect section:
//
// - three sets of effect modules, one module of each of the twelve effect
//   types per set: the parallel (send) sets 0 and 1 read their own bus
//   (EffBuf0, EffBuf1) and add into the effect bus EffBufX; the serial set X
//   holds the serial variants, which read EffBufX and replace it in place;
// - six current-effect pointers naming the module that serves each slot
//   (set 0, set 1, serial slots X0..X3), all null until the first selection;
// - three 5.1 effect panners (FX0, FX3, FX5) that copy EffBufX into the
//   output bus at three points of the chain;
// - the remote wet levels of the global program part, handed to the effects.
//
// After the voices of every piece, render() runs the chain
//   set 0 -> FX0 -> set 1 -> X0 -> X1 -> FX3 -> X2 -> X3 -> FX5
// and keeps the instrument sounding while any effect tail still rings.
// docs/effect-sets.md tells the whole story.
//
// Adding an effect type is one row in the type table in VelaInst.cpp.
//
// Threads:
// - construction, create, attachBuses and destruction: audio stopped;
// - render: audio thread;
// - selection (selectParallel, selectSerial, selectAll) and setWet: the
//   thread that changed the parameter. Selection switches a module off only
//   after the audio thread has left its render, sleeping in 5 ms steps; on
//   the audio thread it never waits: it hands the change to the idle side.
#pragma once

#include "Chorus1.h"
#include "CrushX.h"
#include "Delay2.h"
#include "DelayPingPong.h"
#include "DelayStereo.h"
#include "EQ2.h"
#include "FilterMoogSI.h"
#include "Flanger2.h"
#include "Gator.h"
#include "GloFil.h"
#include "InstrumentWithSeq.h"
#include "LadderLanes.h"
#include "Panner.h"
#include "Phaser1S.h"
#include "Reverb2.h"
#include "StereoEnh1.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

class InBuffer2_c;
class VelaGlo_c;
class VelaTone_c;

class VelaInst_c : public InstrumentWithSeq_c
{
public:
    // The effect types: the values of the effect-type parameters of the
    // global program part ("DELAY" .. "CRUSHER").
    enum FxType_t : int {
        fxDelay = 0,
        fxStereoDelay = 1,
        fxPingPong = 2,
        fxChorus = 3,
        fxPhaser = 4,
        fxFilter = 5,
        fxReverb = 6,
        fxFlanger = 7,
        fxGator = 8,
        fxStereoEnhancer = 9,
        fxParamEQ = 10,
        fxCrusher = 11,
    };
    static constexpr int NumFxTypes = 12;
    // The three effect sets.
    enum FxSet_t : int { setSend0 = 0, setSend1 = 1, setSerial = 2 };
    static constexpr int NumFxSets = 3;
    // The six effect slots: the two send sets and the four serial slots.
    enum FxSlot_t : int { slotSend0 = 0, slotSend1 = 1, slotX0 = 2, slotX1, slotX2, slotX3 };
    static constexpr int NumFxSlots = 6;
    // The three effect panners: FX0 after set 0, FX3 after X1, FX5 after X3.
    enum FxPanner_t : int { pannerFX0 = 0, pannerFX3 = 1, pannerFX5 = 2 };
    static constexpr int NumFxPanners = 3;
    static constexpr int NumSerialSlots = 4;
    // Gain range of the equalisers: -18 .. +18 dB.
    static constexpr int EqGainRangeDb = 18;
    // Input gains of FX0, FX3 and FX5: the further down the chain, the more
    // the bus has been attenuated by the effects before it.
    static constexpr float PannerGains[NumFxPanners] = {2.2f, 2.5f, 2.8f};
    // Child numbers of the panners FX0, FX3, FX5 (their registry order
    // numbers are 4, 5, 6).
    static constexpr int PannerChildren[NumFxPanners] = {33, 34, 35};
    // The level of the step sequencer's default steps.
    static constexpr int StepSeqDefaultLevel = 100;

    // Builds the three sets (set 0, set 1, set X, each in build order), the
    // panners and the step sequencer, and makes the modules the part's
    // children. outputs: the instrument's output channels (six for the
    // plug-in; a test may ask for fewer). Audio stopped.
    explicit VelaInst_c(int outputs = 6);
    // Destroys, in this order, FX5, FX3, FX0, set X, set 1, set 0 (each set
    // from the ping-pong delay back to the delay), then the sequencing
    // instrument with its step sequencer.
    ~VelaInst_c() override;

    using InstrumentWithSeq_c::create;
    // Binds the instrument to the engine (32 voices, not a drum instrument)
    // and to glo's render parameters of set `instrument`, then starts a note
    // on every child so each module binds to its parameters and route.
    // Without glo's parameters it stops after the binding to the engine.
    // Audio stopped.
    void create(Synth* synth, int instrument, VelaGlo_c* glo);
    // The buses the chain reads and writes: the two filter paths, the effect
    // bus and the output bus. Any may be null. create() looks up the buses
    // the engine registered under the names "EffBuf0", "EffBuf1", "EffBufX"
    // and "OutBuf" for those not attached before. Audio stopped.
    void attachBuses(InBuffer2_c* effBuf0, InBuffer2_c* effBuf1, InBuffer2_c* effBufX, InBuffer2_c* outBuf);

    // Audio thread: the effect chain of one piece (after its voices).
    void render(int frames) override;
    // Audio thread: the voices whose ladders still wait in the lanes finish.
    void voicesRendered(int frames) override;

    // --- Ladders of several voices in one loop (LadderLanes_c) --------------
    // While audio is stopped (tests): lets the voices' ladders be filtered
    // together where the processor can (the default), or not.
    static void allowLadderBatching(bool allow);
    // Audio thread: the lanes a voice of this instrument may leave its pair
    // of ladders in; null unless batching is on and the voice renders inside
    // this instrument's voice loop (which finishes every held voice before
    // the effects).
    LadderLanes_c* ladderLanesFor(const VelaTone_c& voice);
    // Audio thread: voice's pair of ladders went into the lanes as held
    // filters first and first + 1; its paths' back end waits until they run.
    void addHeldVoice(VelaTone_c& voice, int first, int frames);
    // Audio thread: runs the held ladders and finishes their voices, in the
    // order they came.
    void runHeldVoices();
    // How many voices' ladders have run in the lanes so far (any thread).
    uint64_t getLanedVoiceCount() const { return lanedVoices.load(std::memory_order_relaxed); }
    using Part_c::getOutBuf;
    // The output bus for i = 0, null otherwise.
    InBuffer2_c* getOutBuf(int i) override;

    // --- Effect selection (the parameter side effects call these) -----------
    // Set 0 or 1 takes the module of the type its type parameter ("Eff 0
    // Type", 99) holds; the same type keeps running untouched, a type outside
    // 0..11 changes nothing.
    void selectParallel(int set);
    // The serial slots take the set-X modules of their types ("Eff X0 Type"
    // .. "Eff X3 Type"). Should two slots still name one type, the slot
    // `keep` (0..3) keeps it and the others take free types (makeDistinct),
    // so no module ever serves two slots. A module that stays in the chain,
    // even in another slot, is neither stopped nor restarted.
    void selectSerial(int keep);
    // Everything at once (a program load): set 0, set 1, the serial slots
    // with slot 3 kept.
    void selectAll();
    // Makes the four serial types distinct: for each slot j but keep (keep
    // -1: none kept), in order, a type that another slot holds becomes the
    // smallest value >= 0 that no other slot holds. True when a value changed.
    static bool makeDistinct(int types[NumSerialSlots], int keep);

    // Any thread: wet 0..1 to the effects of slot 0..5. Slots 0 and 1 reach
    // every effect of their set that has a wet level (selected or not), slots
    // 2..5 the set-X effect their slot's type names; others nothing.
    void setWet(int slot, float wet);
    // Any thread: wet to the set-X effect of the type held by global program
    // parameter typeParameter; nothing for "PARAM-EQ" (no wet level), a type
    // outside 0..11, or before create.
    void setWetDetail(int typeParameter, float wet);

    // --- Modules ---------------------------------------------------------------
    // The module of `type` in `set`; null outside the ranges.
    VariatorInst_c* getEffect(int set, int type) const;
    // The modules in build order k = 0..11 (delay, chorus, phaser, filter,
    // reverb, stereo delay, flanger, stereo enhancer, EQ, gator, crusher,
    // ping-pong delay): the order in which the engine registers them.
    VariatorInst_c* getEffectInBuildOrder(int set, int k) const;
    // The type of the module at build position k; -1 outside 0..11.
    static int typeInBuildOrder(int k);
    // The effect of `type` in `set` as its class (null outside the ranges):
    // getEffectAs<Chorus1_c>(set, fxChorus).getLFO(k) and the like.
    template <class E>
    E* getEffectAs(int set, int type) const
    {
        return static_cast<E*>(getEffect(set, type));
    }
    Chorus1_c* getChorus(int set) const { return getEffectAs<Chorus1_c>(set, fxChorus); }
    Phaser1S_c* getPhaser(int set) const { return getEffectAs<Phaser1S_c>(set, fxPhaser); }
    GloFil_c* getFilterEffect(int set) const { return getEffectAs<GloFil_c>(set, fxFilter); }
    // FX0, FX3, FX5 for 0, 1, 2; null otherwise.
    Pan51_c* getPanner(int k);
    // The module serving slot 0..5 now (null before the first selection).
    VariatorInst_c* getCurrentEffect(int slot) const;
    // The child number of the module of `type` in `set`; -1 outside.
    static int childNumber(int set, int type);
    // The wet parameter of `type` within the effect's own set; -1 for none.
    static int wetParameter(int type);
    // The render parameters of the global program part; null before create.
    const Parameter_c* getGlobalParameters() const { return globalParameters.load(); }

private:
    // The global program parameter's value (0 without parameters).
    int globalValue(int index) const;
    bool globalOn(int index) const { return globalValue(index) != 0; }
    // On the audio thread a selection is handed to the idle side as the
    // change of global parameter `index`, which brings it back here there.
    bool deferredToIdle(int index);
    // Set 0's or set 1's effect with on/off and tail, or its dry bus added
    // into the effect bus when the set is switched off.
    bool renderParallel(VariatorInst_c* fx, int onParameter, InBuffer2_c* dry, bool active, int frames);
    // A serial slot's effect, when the slot is on; `on` is what came down
    // the chain.
    bool renderSerial(VariatorInst_c* fx, int onParameter, bool on, int frames);
    // FX0, FX3 or FX5, when its switch is on.
    void renderPanner(int panner, int frames);

    // Set s, build position k; owned. Destroyed in reverse: set X first,
    // each set from its last module back.
    std::unique_ptr<VariatorInst_c> modules[NumFxSets][NumFxTypes];
    // Set s, type t: the same modules by type.
    VariatorInst_c* byType[NumFxSets][NumFxTypes] = {};
    Pan51_c panners[NumFxPanners] = {Pan51_c(PannerGains[0]), Pan51_c(PannerGains[1]), Pan51_c(PannerGains[2])};
    // Set 0, set 1, X0..X3. Written by the selecting thread, read by the
    // audio thread.
    std::atomic<VariatorInst_c*> current[NumFxSlots] = {};
    std::atomic<const Parameter_c*> globalParameters{nullptr};
    // Selections on different non-audio threads (host automation and the
    // editor) take turns, so the off/store/on steps of one never interleave
    // with another's. Never taken on the audio thread.
    std::mutex selectionLock;
    VelaGlo_c* globalPart = nullptr;
    InBuffer2_c* effBuf0 = nullptr;
    InBuffer2_c* effBuf1 = nullptr;
    InBuffer2_c* effBufX = nullptr;
    InBuffer2_c* outBuf = nullptr;
    // The voices waiting for their ladders, with their first held filter.
    struct HeldVoice_t
    {
        VelaTone_c* voice = nullptr;
        int first = 0;
    };
    LadderLanes_c ladderLanes;
    static_assert(LadderLanes_c::MaxLanes % 2 == 0);
    HeldVoice_t heldVoices[LadderLanes_c::MaxLanes / 2];
    int heldVoiceCount = 0;
    int heldFrames = 0;
    std::atomic<uint64_t> lanedVoices{0};
};
