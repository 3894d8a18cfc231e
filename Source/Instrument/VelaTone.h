// VelaTone_c: one voice of the instrument. The plug-in owns NumVoices of
// them; the voice table hands a free one to each note. A voice owns every
// per-voice module, as its children in this order (the child number is the
// slot in the part group):
//
//    0..3   LFO 1..4                      AdvLFO_c
//    4..10  envelopes Gen 1, Gen 2, Mod 1, Mod 2, Filter 1, Filter 2, Amp
//   11      glide                          RampGlide_c
//   12..15  oscillator of slots 1..4       OscAnalog4_c
//   16..19  time sampler of slots 1..4     SamTC3_c
//   20..23  wavetable generator, slots 1..4 SamWT_c
//   24, 25  loop sampler of slots 1, 2     SamLoop_c
//   26..29  balance of slots 1..4 between the filter paths   Pan_c
//   30, 31  saturator of paths 1, 2        Satur_c
//   32, 33  ladder filter of paths 1, 2    FilterMoogSI_c
//   34, 35  morphing filter of paths 1, 2  FilterFree_c
//   36      distortion (parameters only; never rendered)     DistSimp2_c
//   37, 38  5.1 panners of slots 1, 2 (input gain 1.0)       Pan51_c
//   39, 40  5.1 panners of paths 1, 2 (input gain 2.0)       Pan51_c
//   41, 42  amplifier of paths 1, 2 (used when a path is off) Amp_c
//
// The twelve modulators write into one control record (value, increment
// and remaining steps per entry: the seven envelopes, the glide, the four
// LFOs). The matrix reads 28 sources and writes 57 destinations; most
// destinations are floats of the modulated block (BlockFloats), the rest the
// first four row amounts and the envelopes' time inputs. Destination 38 is
// the same float as 2 and 40 the same as 7.
//
// The voice fills ControlBufferCount control-rate buffers (one float per
// 8-sample step) per block and its modules read them in the same call. The
// buffers belong to the plug-in: every voice gets the same ones
// (setControlBuffers) before create, because voices render one after another.
// docs/voice-assembly.md tells the whole story.
//
// Threads: construction, setControlBuffers, create, setDriftSeed and
// setForceStereo while audio is stopped (setForceStereo also from the
// output check on the audio thread); prepProc, render and modulateOTO on the
// audio thread only.
#pragma once

#include "LFO.h"
#include "Amplifier.h"
#include "DistSimp2.h"
#include "Envelope.h"
#include "FilterFree.h"
#include "FilterMoogSI.h"
#include "OscAnalog4.h"
#include "Panner.h"
#include "RampGlide.h"
#include "SamLoop.h"
#include "SamTC3.h"
#include "SamWT.h"
#include "Satur.h"
#include "Tone.h"

#include <atomic>
#include <cstdint>

class Vela_c;
class VelaGlo_c;
class Generator_c;

class VelaTone_c : public Tone_c
{
public:
    // Child numbers (PartGroup_c slots). Runs give their first.
    enum Child_t : int {
        chLFO1 = 0,       // 0..3
        chEnvGen1 = 4,    // 4..10: the envelopes in Envelope_t order
        chGlide = 11,
        chOsc1 = 12,      // 12..15
        chTimeSampler1 = 16, // 16..19
        chWavetable1 = 20,   // 20..23
        chLoopSampler1 = 24, // 24, 25
        chBalance1 = 26,     // 26..29
        chSaturator1 = 30,   // 30, 31
        chLadder1 = 32,      // 32, 33
        chMorph1 = 34,       // 34, 35
        chDistortion = 36,
        chPan51Slot1 = 37, // 37, 38
        chPan51Path1 = 39, // 39, 40
        chAmp1 = 41,       // 41, 42
        ChildCount = 43
    };
    // The seven envelopes, in child order and in control record order.
    enum Envelope_t : int { evGen1 = 0, evGen2, evMod1, evMod2, evFilter1, evFilter2, evAmp, EnvelopeCount };
    // Entries of the control record.
    static constexpr int meEnvelope1 = 0; // 0..6, in Envelope_t order
    static constexpr int meGlide = 7;
    static constexpr int meLFO1 = 8; // 8..11
    static constexpr int ModEntryCount = 12;

    // The modulated block: the floats the matrix modulates and the block
    // setup rewrites every block (Tone_c saves and restores it around the
    // per-step rows).
    enum Block_t : int {
        bkSlotAmp1 = 0,      // 0..3, multiplicative
        bkSlotPitch1 = 4,    // 4..7, units of 48 semitones
        bkSlotAux1 = 8,      // 8..11
        bkSlotBalance1 = 12, // 12..15, -1 path 1 .. +1 path 2
        bkCutoff1 = 16,      // 16, 17: cutoff unit
        bkResonance1 = 18,   // 18, 19
        bkEnvDepth1 = 20,    // 20, 21
        bkPathAux1 = 22,     // 22, 23
        bkPathLevel1 = 24,   // 24, 25
        bkPathPan1 = 26,     // 26, 27
        bkMainLevel = 28,
        bkMainPitch = 29,
        bkLFOSpeed1 = 30, // 30..33: speed offsets of LFO 1..4
        bkSpare1 = 34,    // 34, 35: cleared by the block setup, read by nobody
        bkLoopEnd1 = 36,  // 36, 37
        bkStartOffset1 = 38, // 38, 39: loop sampler start, applied at note start
        BlockFloats = 40
    };
    // Row amounts that destinations 32..35 modulate.
    static constexpr int ModulatedRowAmounts = 4;
    static constexpr int DestRowAmountFirst = 32;
    // Matrix destinations of the voice (0..56) and sources (0..27).
    static constexpr int DestCount = 57;
    static constexpr int SourceCount = 28;

    // The control-rate buffers, one float per 8-sample step.
    enum ControlBuffer_t : int {
        cbSlot1 = 0,        // slot k (0..3): amplitude 3k, pitch 3k + 1, aux 3k + 2
        cbLoopEnd1 = 12,    // 12, 13
        cbPath1 = 14,       // path p (0, 1): cutoff 14 + 5p, resonance +1, level +2, pan +3, aux +4
        cbBalance1 = 24,    // 24..27
        ControlBufferCount = 28
    };
    enum SlotBuffer_t : int { sbAmp = 0, sbPitch, sbAux, SlotBufferCount };
    enum PathBuffer_t : int { pbCutoff = 0, pbResonance, pbLevel, pbPan, pbAux, PathBufferCount };
    // Values per buffer: one per step of the largest block, and a little more.
    static constexpr int ControlBufferValues = 34;
    static constexpr int slotBuffer(int slot, int kind) { return cbSlot1 + SlotBufferCount * slot + kind; }
    static constexpr int pathBuffer(int path, int kind) { return cbPath1 + PathBufferCount * path + kind; }

    // The analog drift of a note (all 0 and gain factors 1 at "Exactness" 100).
    struct Drift_t
    {
        float slotGain[4] = {1.0f, 1.0f, 1.0f, 1.0f};
        float slotPitch[4] = {};
        float slotAux[4] = {};
        float slotBalance[4] = {};
        float cutoff[2] = {};
        float resonance[2] = {};
        float filterAux = 0.0f;
        float filterPan = 0.0f;
        float lfoSpeed[2] = {}; // A (LFO 1 and 3), B (LFO 2 and 4)
    };

    // Builds the children in child order, registers them, defines the
    // sources and destinations and binds the modulators to the control
    // record. Thread: while audio is stopped.
    VelaTone_c();
    ~VelaTone_c() override;

    using Tone_c::create;
    using Tone_c::prepProc;

    // Before create: the plug-in's ControlBufferCount buffers of at least
    // ControlBufferValues floats each (count pointers, the rest stay as they
    // were). Thread: while audio is stopped.
    void setControlBuffers(float* const* buffers, int count);
    // Binds the voice to the plug-in, the global program part and the sync
    // rows, and binds every module to its buffers and stores. Nothing for a
    // null plug-in. Thread: while audio is stopped.
    void create(Vela_c* plugin, VelaGlo_c* global, unsigned int** syncRows, int voice);
    // Audio thread: a note starts. Nothing when the plug-in has no
    // instrument of that number. second: legato (the running envelopes go on).
    void prepProc(int instrument, NoteC_c note, bool first, bool second) override;
    // Audio thread: n (1..MaxBlockSize) samples into the voice's buses; true
    // when the voice has finished (its generators have, or the Amp envelope).
    bool render(int n) override;
    // Audio thread: the row amounts and the note-start rows (multiplicative,
    // then additive), once per note.
    void modulateOTO();

    // Audio thread, from VelaInst_c: the ladders this voice left in `lanes`
    // (held filters first, first + 1) have run; their output goes onto the
    // path buses, then the paths' back end runs.
    void finishHeldLadders(LadderLanes_c& lanes, int first, int n);

    // Restarts the drift generator. Each voice is seeded by its index at
    // create; tests make a note repeatable with it.
    void setDriftSeed(uint32_t seed) { driftState = seed ? seed : 0x9E3779B9u; }
    // Fold the voice's 5.1 panners into the front pair. Thread: opening, or
    // the audio thread through the output check.
    void setForceStereo(bool on) { forceStereo.store(on); }
    bool getForceStereo() const { return forceStereo.load(); }

    // --- Inspection -------------------------------------------------------------
    Vela_c* getPlugin() const { return plugin; }
    VelaGlo_c* getGlobal() const { return global; }
    float* getControlBuffer(int k) const { return k >= 0 && k < ControlBufferCount ? control[k] : nullptr; }
    Generator_c* getSelectedGenerator(int slot) const { return slot >= 0 && slot < 4 ? selectedGen[slot] : nullptr; }
    VariatorTone_c* getSelectedFilter(int path) const { return path >= 0 && path < 2 ? selectedFilter[path] : nullptr; }
    int getXModCode(int pair) const { return pair == 0 ? xModA : xModB; }
    const Drift_t& getDrift() const { return drift; }
    int getPhaseRemainder() const { return phaseRemainder; }

    // --- Children, in child order -------------------------------------------------
    AdvLFO_c lfo[4];
    EnvADSFR_c env[EnvelopeCount];
    RampGlide_c glide;
    OscAnalog4_c osc[4];
    SamTC3_c timeSampler[4];
    SamWT_c wavetable[4];
    SamLoop_c loopSampler[2];
    Pan_c balance[4];
    Satur_c saturator[2];
    FilterMoogSI_c ladder[2];
    FilterFree_c morph[2];
    DistSimp2_c distortion;
    Pan51_c slotPan51[2]{Pan51_c(1.0f), Pan51_c(1.0f)};
    Pan51_c pathPan51[2]{Pan51_c(2.0f), Pan51_c(2.0f)};
    Amp_c amp[2];

    // --- Voice state ------------------------------------------------------------
    // The control record.
    float modValue[ModEntryCount] = {};
    float modIncrement[ModEntryCount] = {};
    int32_t modRemaining[ModEntryCount] = {};
    // The modulated block and its saved copy.
    float block[BlockFloats] = {};
    float blockSaved[BlockFloats] = {};

private:
    void defineSources();
    void defineDests();
    // r in [0, 1) from the voice's own generator.
    float nextRandom();
    void drawDrift(float exactness);
    void selectModules();
    // The switches a block renders with, read once for the whole block.
    struct Switches_t
    {
        bool slotOn[4] = {};
        bool pathOn[2] = {};
    };
    // Fills sw in place: a six-byte record handed back by value goes
    // through the stack in pieces that the caller then reads whole, and
    // waits for them.
    void takeSwitches(Switches_t& sw) const;
    // The control buffers (one bit each) that the modules a block renders
    // with these switches read; the control loop fills only those.
    uint32_t readBuffers(const Switches_t& sw) const;
    // switches: sw as a bit pattern (slots in bits 0..3, paths in 4, 5).
    void setupBlock(const Switches_t& sw, uint32_t switches);
    struct SetupKey_t;
    // The block floats and row amounts from the parameters, the note and
    // the per-block inputs in key; reuseSetup: those kept from last time.
    void computeSetup(const Switches_t& sw, const SetupKey_t& key);
    void reuseSetup(uint32_t switches);
    // Path q's resonance and aux floats from its filter's rest values.
    void filterRests(int q);
    void controlLoop(int n, const Switches_t& sw);
    void stepLoop(int steps, int& writeIndex, uint32_t read);
    // One control step of every entry of the control record: value +=
    // increment.
    void stepModulators();
    // The smallest count left in the control record.
    int nearestSegmentEnd() const;
    // Every count goes down by steps; the entries (one bit each) whose
    // count fell below 1.
    uint32_t countDown(int steps);
    // Every control buffer's value at the current step (the cutoffs from
    // the given rest-value cutoffs and envelope amounts).
    void controlValues(float* v, const float* cutoff, const float* envAmount) const;
    // The buffers (one bit each) that hold one value over a run of steps.
    uint32_t stillBuffers() const;
    // postRows and postMoved from the lists just sorted.
    void takePostRows();
    // Every control buffer is bound.
    bool controlReady() const;
    bool renderAudio(int n, const Switches_t& sw);
    // The ladder pair of both paths: rendered now (false), or left in the
    // instrument's lanes (true: the paths' back end runs when they do).
    bool renderLadders(int n);
    // The paths' 5.1 panners or amplifiers and the send onto the effect buses.
    void renderPathBack(int n, const bool pathOn[2]);
    // The global part's parameters of the voice's instrument, taken at note
    // start and at every block (the set may be rebuilt between them).
    const Parameter_c* takeGlobals();
    // Scaled value, integer value, gain and switch of global parameter i
    // (0 without a global part).
    float glo(int i) const { return globals ? globals[i].fl.load() : 0.0f; }
    int gloVal(int i) const { return globals ? globals[i].value.load() : 0; }
    float gloGain(int i) const { return globals ? globals[i].gain.load() : 0.0f; }
    bool gloOn(int i) const { return gloVal(i) != 0; }
    // Integer value of parameter i of one of the voice's modules, in the
    // set the voice plays (0 without one).
    int paraValue(const Part_c& module, int i) const;
    Modulator_c* modulator(int entry);

    Vela_c* plugin = nullptr;
    VelaGlo_c* global = nullptr;
    const Parameter_c* globals = nullptr;
    float* control[ControlBufferCount] = {};
    Generator_c* selectedGen[4] = {};
    VariatorTone_c* selectedFilter[2] = {};
    int32_t xModA = 0; // slots 1 -> 2: 0 plain, 1 FM, 2 AM
    int32_t xModB = 0; // slots 3 -> 4
    Drift_t drift;
    // Each LFO's speed offset as the control loop last left it (only the
    // control loop changes it): compared here, the loop does not have to
    // reach into four LFOs every block to find the speeds unchanged.
    float lfoSpeedSeen[4] = {};
    float cutoffDefault[2] = {}; // smoothed rest values of the path filters
    float envDepth[2] = {};
    bool envInverse[2] = {};
    float bend = 0.0f;
    int32_t phaseRemainder = 0; // samples the control steps ran ahead of the audio
    bool controlBound = false;  // every control buffer is bound
    bool postRows = false;      // the note has per-step rows
    uint32_t rowStill = 0;      // the buffers (one bit each) whose block floats no per-step row writes
    // readBuffers for the switches (slots in bits 0..3, paths in 4, 5) it
    // was last asked about, with the modules the note selected; NoSwitches
    // (no switch pattern) until it is asked again.
    static constexpr uint32_t NoSwitches = ~0u;
    uint32_t readSwitches = NoSwitches;
    uint32_t readCached = 0;
    // What the block setup last worked out from the parameters, the note's
    // own values and the per-block inputs, before the pre rows: the block
    // floats it writes and the row amounts. Taken again as they are while
    // none of those inputs moved (the key); the note start makes it stale.
    struct SetupKey_t
    {
        uint32_t paraWrites = 0; // Parameter_c::writeCount
        uint32_t switches = 0;
        const Parameter_c* globals = nullptr;
        uint32_t pan = 0; // the floats' bits: -0 and 0 give different levels
        uint32_t volume = 0;
        uint32_t fade = 0;
        uint32_t tune = 0;
        bool operator==(const SetupKey_t&) const = default;
    };
    bool setupKnown = false;
    SetupKey_t setupKey;
    float setupBlockFloats[BlockFloats] = {};
    float setupRowAmounts[NumModRows] = {};
    uint32_t driftState = 0x9E3779B9u;
    float noArpeggiator = 0.0f; // source 25 of an instrument without a sequencer
    std::atomic<bool> forceStereo{false};
};
