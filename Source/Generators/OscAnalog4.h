// OscAnalog4_c ('GO02'): the analog-style oscillator of a generator slot.
//
// One cycle is two straight segments. The first runs from +1 to a, the
// second from -a to -1, with a the Waveform (0..1): a = 0 is one falling
// ramp (a falling sawtooth at full width), a = 1 a pulse whose first segment
// is high. The first segment takes w / 2 of the period, w the width: the
// PulseWidth parameter plus the shape input, folded back into 0.05..1 and
// never below two samples' worth (2 x increment), so the first segment
// always lasts at least two samples.
//
// Phase runs 0..1 within a segment, with increment incA = inc / w in the
// first and incB = inc / (2 - w) in the second, so a whole cycle takes
// 2 / inc samples: inc = 2 f / rate. Width and segment increments change
// only at the start of a cycle.
//
// Every segment switch runs a four-sample correction read from a table of
// OscEdgeTableEntries entries (32 per sample), entered at the switch's
// sub-sample position so that the edge moves smoothly between samples. It
// blends from the value the waveform leaves toward the new segment's end, and
// a switch from a plain stretch counts the value left as +1: so a pulse's
// falling edge (+1 to -1) is softened whole, its rising edge (from -1, taken
// as +1 toward +1) not at all, and a sawtooth's reset half (the correction
// runs from a up to +1, the jump from -1 up to a stays). That is the sound
// of this oscillator; the alias tests record what it buys.
//
// Modes: plain, cross-FM (the carrier's phase and slope advance by
// max(0, input) per sample: a negative modulator sample stops the phase) and
// cross-AM (the output times the input). Unison plays five copies of the
// oscillator, each with its own state and a pitch factor of its own, at full
// level. FreeRun starts the copies at spread phases drawn from the
// oscillator's own random generator, so no note start touches shared state.
//
// The modulation inputs (level, pitch, shape) hold one value per 8 output
// samples; each copy reads the same values. A pitch value y scales the
// increment by P(y)^4 (pitchFactor in Tone.h), y kept within -1..1; an
// increment above 0.9 is halved until it is not, so the highest notes fall by
// octaves instead of aliasing wildly.
//
// Threads: construction, create, getParaSetPtr and setSampleRate while audio
// is stopped; cachePara on the thread of a parameter change or, at a voice
// start, the audio thread; prepProc and the renders on the audio thread. What
// cachePara derives is read by the audio thread and kept in relaxed atomics.
#pragma once

#include "Capacities.h"
#include "Generator.h"

#include <cstdint>
#include <limits>
#include <memory>

constexpr int TypeCodeOscAnalog4 = 0x474F3032; // 'GO02'

class OscAnalog4_c final : public Generator_c
{
public:
    // The 'GO02' parameters (index 9 is not defined).
    enum Para_t : int {
        opVersion = 0,
        opOffOn = 1,      // the voice's switch; the oscillator does not read it
        opWaveform = 2,   // a, 0.00..1.00
        opPulseWidth = 3, // width base, 0.05..1.00
        opXA = 4,         // kept in the set; not read here
        opOctave = 5,
        opSemitone = 6,
        opTrack = 7,
        opCent = 8,
        opUnused10 = 10,  // kept in the set; not read here
        opUnused11 = 11,  // kept in the set; not read here
        opSpread = 12,    // unison amount d, 0.00..50.00
        opFreeRun = 13,
        opSubOscVol = 14, // kept in the set; no effect on the sound
        opCount = 15,
    };

    // The running state of one copy (the plain render has one more).
    struct Copy_t
    {
        double phase = 0.0;     // 0..1 within the current segment
        bool second = false;    // in the second segment
        double v = 0.0;         // increment of the current segment, per sample
        double incA = 0.0;      // first-segment increment
        double incB = 0.0;      // second-segment increment
        double w = 1.0;         // width of the current cycle
        double inc = 0.0;       // pitch-modulated increment (2 f / rate x P^4)
        float rawWidth = 1.0f;  // shape input x 0.95 + width base, before folding
        float m = 1.0f;         // FM factor of the last sample
        double lastStep = 0.0;  // the phase step of the last sample (m x v)
        float y = 0.0f;         // value of the straight segment
        float s = 0.0f;         // slope per sample
        int32_t i = 0;          // correction index: >= 32 while a correction runs
        float h = 1.0f;         // correction half-span
        float c = 0.0f;         // correction centre
        // The pitch input and nominal increment that gave inc (a NaN pitch
        // matches nothing): a held pitch skips the exponential each step.
        float pitchSeen = std::numeric_limits<float>::quiet_NaN();
        double nominalSeen = 0.0;
        // The raw width and increment the last cycle start worked with, and
        // what they gave: a cycle that starts with the same two takes width
        // and segment increments without the divisions.
        float cycleRaw = std::numeric_limits<float>::quiet_NaN();
        double cycleInc = 0.0;
        double cycleW = 1.0;
        double cycleIncA = 0.0;
        double cycleIncB = 0.0;
    };

    // Unison detuning of the oscillator's copies: factor 1 + OscDetune[k] x d
    // (its own table, not the base's).
    static constexpr double OscDetune[NumUnisonCopies] = {0.0, 0.0011, 0.00056, -0.0006, -0.00117};
    // Increments above this are halved until they are not.
    static constexpr double MaxIncrement = 0.9;
    // The oscillator needs a rate above this (Hz) to be ready.
    static constexpr float MinSampleRate = 22000.0f;

    OscAnalog4_c();
    ~OscAnalog4_c() override;

    using Generator_c::create;
    using Generator_c::getParaSetPtr;
    using Generator_c::prepProc;

    // While audio is stopped: the base's create, the three modulation inputs
    // (one float per 8 output samples each, written by the voice) and the
    // correction table.
    virtual void create(Synth* s, float* level, float* pitch, float* shape, unsigned int** syncRows);

    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    int getTypeCode() const override;
    // Every reason but a tempo change: width base, a and Spread from the set
    // (-1: the set the oscillator plays). The copies' increments follow at
    // the next render.
    void cachePara(CacheReason_t reason, int set, int idx) override;
    // Audio thread: note start. The frequency through the tuning table and,
    // unless both flags are set, fresh copies: phase 0 (FreeRun off) or a
    // random phase in 0..1.98 (FreeRun on), the unison copies beginning with
    // a four-sample rise, the plain render without one. Both flags set keeps
    // the running copies; with FreeRun off, copies 1 to 4 line up with copy
    // 0 (its phase and segment, their value on their own segment's line).
    void prepProc(int instrument, Note_c note, bool legato, bool flag2) override;
    // Audio thread: the five copies, each with its own state; false.
    bool renderUnisono(int n, float d) override;
    // Audio thread: one copy in the current mode, added into the output bus;
    // false. Nothing for a mode outside 0..2, when not ready, without an
    // output bus, or without an input bus in the cross modes.
    bool renderOne(int n, int copy) override;
    // Ready: the three inputs, a rate above MinSampleRate, the parameters
    // and the correction table.
    void checkSetFlagReady() override;

    // While audio is stopped: restarts the random generator that FreeRun
    // draws its start phases from. Each oscillator is seeded differently at
    // construction.
    void seedRandom(uint32_t seed);

    // Inspection.
    double getNoteFrequency() const { return frequency; }
    // Audio thread (or any, for inspection): 2 f / rate times the copy's
    // detuning factor, from the note's frequency and the current Spread.
    // Worked out where it is used, so a parameter change on another thread
    // can never leave the increments of an earlier note behind.
    double getNominalIncrement(int copy) const;
    const Copy_t& getPlainState() const { return cur; }
    const Copy_t& getCopyState(int copy) const;
    const float* getEdgeTable() const { return edgeTable.get(); }
    float* getLevelInput() const { return levelIn; }
    float* getPitchInput() const { return pitchIn; }
    float* getShapeInput() const { return shapeIn; }

private:
    // The inputs of one render: read once per 8 samples.
    struct Inputs_t
    {
        const float* level;
        const float* pitch;
        const float* shape;
        float levelValue;
    };

    // inc from a pitch input value and the copy's nominal increment.
    static double pitchedIncrement(float pitch, double nominal);
    // Width of the cycle that starts now, from the state's raw width and inc.
    static double foldWidth(float raw, double inc);
    // The first render of the state st after its note start.
    void startCopy(Copy_t& st, const Inputs_t& in, double nominal);
    // The segment switch of the state st, leaving the value x0.
    void switchSegment(Copy_t& st, float x0);
    // getNominalIncrement for the renders: the division by the rate only
    // when the note's frequency or the rate has changed since the last.
    double renderNominal(int copy);
    // r in 0..1 from the oscillator's own generator.
    double nextRandom();
    // The samples of one render in mode Mode: plain and correction stretches,
    // added into out; mod is the input bus (cross modes).
    template <int Mode>
    void runSamples(int n, Inputs_t& in, double nominal, float* out, const float* mod);
    // The five unison copies side by side, one output sample at a time: what
    // renderOne gives copy by copy, with every sample's additions into out
    // in copy order. For an output that the copies write in place.
    // False when it rendered nothing and left everything as it was.
    bool renderCopiesTogether(int n);
    // One copy's samples into out, its state in cur (renderOne past the bus
    // checks).
    void playCopy(int mode, int n, int copy, float* out, const float* mod);
    template <int Mode>
    void runCopies(int n, const double* nominal, float* out, const float* mod);

    float* levelIn = nullptr;
    float* pitchIn = nullptr;
    float* shapeIn = nullptr;
    std::unique_ptr<float[]> edgeTable;

    // From cachePara (any thread) and the note start (audio thread).
    RelaxedAtomic_t<float> widthBase{1.0f};
    RelaxedAtomic_t<float> shapeA{0.5f};
    RelaxedAtomic_t<float> oneMinusA{0.5f};
    RelaxedAtomic_t<float> subOscGain{0.0f}; // the squared SubOsc Vol; kept, not played
    RelaxedAtomic_t<double> frequency{440.0}; // Hz of the note, from the tuning table

    // Audio thread only.
    // The frequency and rate (their bits) that gave nominalBase = 2 f / rate.
    uint64_t nominalFrequencyBits = 0;
    uint32_t nominalRateBits = 0;
    double nominalBase = 0.0;
    bool nominalKnown = false;
    Copy_t cur;                      // the working state: the plain render's, or the copy being rendered
    Copy_t copies[NumUnisonCopies];  // the unison copies, rendered in place side by side or loaded into cur one by one
    bool needsStart[NumUnisonCopies] = {};
    uint32_t randomState = 0;
};
