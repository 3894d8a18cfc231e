// FilterMoogSI_c ("VF01"): the "Classic" filter of a voice's filter path, a
// four-pole ladder with resonance and a soft-clipped last stage, with four
// responses chosen per note: "LP 12", "LP 24", "BP 24" (a chain of one-pole
// stages with gain compensation) and "HP 12" (two one-pole high-passes with
// resonance through a tuned delay line). It always writes stereo, shared
// between left and right by a balance input, and adds into its output bus.
//
// The sound follows four modulation buffers the voice fills at control rate
// (one value per 8 samples): cutoff in the cutoff unit 1 + log2(Hz / 20000)
// / 8, resonance 0..1, level, and balance -1..1. The filter publishes the
// rest values of cutoff and resonance (getModSampleDefault).
//
// Robustness: whatever the inputs, the last stage's soft clip never folds
// back, every state is checked once per block and the filter starts afresh
// from silence when one is no longer finite, and state too small to matter
// is flushed to 0 so that silence never leaves subnormal numbers behind.
//
// Threads: create, setSampleRate and parameter definition while audio is
// stopped; note start and render on the audio thread; cachePara also on the
// thread that changed a parameter (it writes the cutoff rest value only).
#pragma once

#include "Capacities.h"
#include "Variator.h"

#include <atomic>
#include <limits>

class LadderLanes_c;

class FilterMoogSI_c : public VariatorTone_c
{
public:
    using VariatorTone_c::create;
    using VariatorTone_c::getParaSetPtr;
    using VariatorTone_c::prepProc;
    using VariatorTone_c::render;

    enum Para_t : int { pVersion = 0, pOnOff = 1, pType = 2, pCutoff = 3, pResonance = 4, pRoutBal = 5, pCutKeyF = 6 };
    static constexpr int ParaCount = 7;
    // Values of "Type ".
    enum Response_t : int { rLP12 = -1, rLP24 = 0, rBP24 = 1, rHP12 = 2 };
    // Frames of each "HP 12" delay ring (a power of two: indices wrap by mask).
    static constexpr int RingFrames = 2048;

    FilterMoogSI_c();
    ~FilterMoogSI_c() override;

    // While audio is stopped: binds the four control-rate inputs (cutoff,
    // resonance, level, balance), then becomes ready when it can. Returns
    // whether it is ready.
    bool create(float* cutoff, float* resonance, float* level, float* balance);
    // While audio is stopped. Ignored unless sr > 0.
    void setSampleRate(float sr) override;
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    int getTypeCode() const override;
    // 0: the cutoff rest value; 1: "Resonance" x 0.01; others 0.
    float getModSampleDefault(int input) const override;
    // A change of "Cutoff" or "Cut KeyF" (or the whole set) of the playing
    // set re-caches the cutoff rest value at once.
    void postprocessParaChange(int set, int idx) override;
    // Cutoff rest value = 1 + log2(Hz / 20000 x key scaling) / 8. Tempo
    // changes are ignored.
    void cachePara(CacheReason_t reason, int set, int idx) override;
    // Audio thread. Not legato: the response type is taken from "Type " and
    // the filter starts from silence. Legato keeps type and state.
    void prepProc(int instrument, Note_c note, bool legato) override;
    // Ready with all four inputs and a sample rate above 22000.
    void checkSetFlagReady() override;
    // Audio thread: n samples of the input bus (mono or stereo) filtered and
    // added into the output bus as stereo.
    void render(int n) override;
    // Audio thread: a.render(n) then b.render(n), for two filters whose
    // buses are all different. When both play the same ladder response on
    // input of the same form, their sample loops run interleaved: each
    // ladder is one long chain of dependent arithmetic, and two chains side
    // by side keep the processor busy where one leaves it waiting.
    static void renderPair(FilterMoogSI_c& a, FilterMoogSI_c& b, int n);
    // Audio thread: as renderPair, except that when a and b play the same
    // ladder response and `lanes` can take them, their ladders wait in
    // `lanes` instead (true): their output buses stay as they were, and the
    // sound comes with lanes.run and lanes.mixOut. Null lanes: renderPair.
    static bool renderPair(FilterMoogSI_c& a, FilterMoogSI_c& b, int n, LadderLanes_c* lanes);
    // The lanes this filter's ladder takes in a LadderLanes_c (LadderLanes.h;
    // one per input channel).
    int lanesWanted() const { return inputBus && inputBus->isStereo() ? 2 : 1; }
    // While audio is stopped (tests): lets the "LP" loops use fused
    // multiply-add where the processor has it (the default), or not.
    static void allowFusedMultiplyAdd(bool allow);
    // Clears every filter state and both rings; level 0, balance centred.
    void initBuffer() override;

    // The ladder's cutoff coefficient for a cutoff input m (clamped to
    // 1e-6..1) and a rate scale: 0.0038822 at m = 0 and 0.99385 at m = 1
    // at 44.1 kHz (scale 1).
    static float ladderCoefficient(float m, float rateScale);
    // The coefficient of "BP 24" (no rate scale) and of "HP 12".
    static float bandCoefficient(float m);
    static float highCoefficient(float m, float rateScale);
    // The "HP 12" delay in samples for a coefficient f: delayScale / f +
    // 1.55, halved until it fits the ring.
    static float highDelay(float f, float delayScale);

    struct Ladder_t
    {
        double s[4] = {};    // stage outputs (s[3] soft-clipped)
        double prev[3] = {}; // previous sample's outputs of stages 1..3
        double xPrev = 0.0;  // previous stage input
        double dc = 0.0;     // DC tracker
    };
    struct Band_t
    {
        float low[4] = {};
        float high[3] = {};
        float last = 0.0f;
    };
    struct High_t
    {
        float hp1 = 0.0f;
        float hp2 = 0.0f;
    };

    // Working state, public for the tests that inspect it.
    int responseType = rLP24;
    float f = 0.0f;              // cutoff coefficient of the current control step
    float r = 0.0f;              // resonance
    float level = 0.0f;          // output gain, ramped per sample
    float levelTarget = 0.0f;
    float levelStep = 0.0f;
    float balance = 1.0f;        // 0..2, 1 the centre
    float rateScale = 1.0f;      // 44100 / rate within 0.1..1
    float delayScale = 0.55125f; // 1.25e-5 x rate
    float gainComp = 1.0f;
    RelaxedAtomic_t<float> cutoffRest{0.0f}; // refreshed on a parameter's thread, read by the voice
    double k1 = 0.0;
    double k2 = 0.0;
    double feedback = 0.0;
    // The ladder's coefficients of the last cutoff input and rate scale
    // (a NaN cutoff matches nothing, so the first step computes them).
    struct LadderMemo_t
    {
        float cutoff = std::numeric_limits<float>::quiet_NaN();
        float rateScale = 0.0f;
        float f = 0.0f;
        double k1 = 0.0;
        double k2 = 0.0;
        double feedbackScale = 0.0; // 0.75 - log10(f^2)
    };
    LadderMemo_t ladderMemo;
    Ladder_t ladder[2];
    Band_t band[2];
    High_t high[2];
    int writeIndex = 0;
    int readA = 0;
    int readB = 0;
    float fraction = 0.0f;
    float ring[2][RingFrames] = {};

private:
    friend class LadderLanes_c;
    // Whether the fused loops may run (allowFusedMultiplyAdd); the lanes,
    // made of fused operations, run only while they may.
    static bool fusedMultiplyAddAllowed() { return fusedAllowed.load(std::memory_order_relaxed); }
    // Tests turn the fused loops off to check the plain ones on any
    // processor. (In line: every voice asks, several times a block.)
    static std::atomic<bool> fusedAllowed;
    // The four control inputs of one control step.
    struct ControlIn_t
    {
        float cutoff;
        float resonance;
        float level;
        float balance;
    };
    ControlIn_t controlAt(int k) const { return {cutoffIn[k], resonanceIn[k], levelIn[k], balanceIn[k]}; }
    // One control step of each response, k the control step in the block.
    void ladderControl(int k) { ladderControl(controlAt(k)); }
    void ladderControl(const ControlIn_t& in);
    // ladderControl's body, inlined where the lanes take many filters' steps
    // in a row; the memo's refresh stays out of line.
    [[gnu::always_inline]] inline void ladderStep(const ControlIn_t& in);
    void refreshLadderMemo(float m);
    void bandControl(int k);
    void highControl(int k);
    void followBalance(float in);
    void takeLevel(float target);
    template <int Channels, typename Control, typename Sample, typename Advance>
    void runForm(int n, float* const* in, float* outL, float* outR, Control control, Sample sample,
                 Advance advance);
    // The buses of one render: the output pair, the input channels (0: no
    // input to filter) and the frames to render.
    struct Open_t
    {
        float* outL = nullptr;
        float* outR = nullptr;
        float* in[2] = {};
        int channels = 0;
        int n = 0;
    };
    // Opens the output (false: nothing to render into) and the input.
    bool openBuses(int n, Open_t& o);
    // The input alone (false: no output to render into, as openBuses).
    bool openInput(int n, Open_t& o);
    // Filters the opened input into the opened output.
    void renderOpen(const Open_t& o);
    // The "LP 12" and "LP 24" loop over one or two filters of the same form
    // (channels, frames and response alike), their states in registers.
    template <int Filters>
    static void runLadderForm(FilterMoogSI_c* const* filters, const Open_t* open);
    template <int Filters, int Channels, bool FourPoles>
    static void runLadderChoice(FilterMoogSI_c* const* filters, const Open_t* open, int n);
    // The loop itself, with plain or fused multiply-adds; the fused one is
    // compiled for processors with FMA and chosen only where it runs.
    template <int Filters, int Channels, bool FourPoles, bool Fused>
    [[gnu::always_inline]] static inline void runLadders(FilterMoogSI_c* const* filters, const Open_t* open, int n);
    template <int Filters, int Channels, bool FourPoles>
    [[gnu::target("fma")]] static void runLaddersFused(FilterMoogSI_c* const* filters, const Open_t* open, int n);
    // Two chains side by side in the two lanes of a vector (two mono
    // filters, or the two channels of one), with fused multiply-adds.
    template <int Filters, bool FourPoles>
    [[gnu::target("fma")]] static void runLadderLanes(FilterMoogSI_c* const* filters, const Open_t* open, int n);
    float bandSample(Band_t& st, float input) const;
    float highSample(int channel, float input);
    // The per-block check: a non-finite state starts the filter afresh, and
    // values too small to hear become 0.
    void checkState();
    // checkState for what a ladder's render changes (its gains, coefficients
    // and the state of its first `channels` ladders).
    void checkLadderState(int channels);
    // Settles the gains, coefficients and first `channels` ladders; whether
    // all were finite.
    bool settleLadders(int channels);
    // The gains and coefficients part of settleLadders (the lanes settle
    // the ladders' states as they store them).
    bool settleLadderControl();

    float* cutoffIn = nullptr;
    float* resonanceIn = nullptr;
    float* levelIn = nullptr;
    float* balanceIn = nullptr;
};
