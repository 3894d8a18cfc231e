// FilterFree_c ("VFF1"): the "Alltype" filter of a voice's filter path, a
// state-variable filter whose response morphs around the cycle low-pass,
// band-pass, high-pass, notch and back to low-pass, with a 12 dB or a 24 dB
// slope. Both outputs carry the same signal; the result is added into the
// output bus.
//
// The sound follows five modulation buffers the voice fills at control rate
// (one value per 8 samples): cutoff in the cutoff unit, resonance 0..1,
// level, balance (bound but not read: left and right stay equal) and type
// -1..1 (the rest value 2 x ("Type" - 0.5)). The coefficient and the morph
// position are smoothed and carry over from note to note.
//
// Robustness: every state is checked once per block and the filter starts
// afresh from silence when one is no longer finite; state too small to
// matter is flushed to 0; a type input of any size (or NaN) keeps the morph
// position within its cycle.
//
// Threads: create, setSampleRate and parameter definition while audio is
// stopped; note start and render on the audio thread; cachePara also on the
// thread of the instrument's parameter handling (it writes the cached
// values only).
#pragma once

#include "Variator.h"

class FilterFree_c : public VariatorTone_c
{
public:
    using VariatorTone_c::create;
    using VariatorTone_c::getParaSetPtr;
    using VariatorTone_c::prepProc;
    using VariatorTone_c::render;

    enum Para_t : int { pVersion = 0, pCutoff = 2, pResonance = 3, pType = 4, pSlope = 5, pCutKeyF = 6 };
    static constexpr int ParaCount = 7;

    FilterFree_c();
    ~FilterFree_c() override;

    // While audio is stopped: binds the five control-rate inputs, then
    // becomes ready when it can. Returns whether it is ready.
    bool create(float* cutoff, float* resonance, float* level, float* balance, float* type);
    // While audio is stopped. Ignored unless sr > 0.
    void setSampleRate(float sr) override;
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    int getTypeCode() const override;
    // 0: the cutoff rest value; 1: the resonance 0..1; 2: 2 x (type - 0.5).
    float getModSampleDefault(int input) const override;
    // Slope, cutoff rest value, resonance and type from the parameters.
    // Tempo changes are ignored.
    void cachePara(CacheReason_t reason, int set, int idx) override;
    // Audio thread. Not legato: the filter state and the level start from
    // silence; coefficient and morph position carry over.
    void prepProc(int instrument, Note_c note, bool legato) override;
    // Ready with all five inputs and a sample rate above 22000.
    void checkSetFlagReady() override;
    // Audio thread: n samples of the input bus (mono or stereo) filtered and
    // added into the output bus as stereo.
    void render(int n) override;
    // Clears the filter state; level 0, balance centred.
    void initBuffer() override;

    // (1 + 0.1745 x + 0.01577 x^2 + 0.000823 x^3)^4 with x = 10 m - 5
    // (m clamped to 0..1, NaN as 0): about 2^(10 m - 5).
    static double cutoffPower(float m);
    // One step of the morph toward the type value t (-1..1 spans the
    // cycle): moves position and recomputes the weights.
    void morphStep(float t);

    struct Stage_t
    {
        double low = 0.0;
        double high = 0.0;
        double band = 0.0;
    };

    // Working state, public for the tests that inspect it.
    float rateScale = 1.0f; // 40000 / rate within 0.1..1
    float levelStep = 0.0f;
    float f = 0.0f; // smoothed frequency coefficient
    float q = 0.0f; // resonance term
    float level = 0.0f;
    float balance = 0.0f;
    float position = 0.0f; // morph position 0..4
    float wLow = 0.0f;
    float wHigh = 0.0f;
    float wBand = 0.0f;
    float wNotch = 0.0f;
    double g = 0.0;
    Stage_t first[2];
    Stage_t second[2];
    float last[2] = {};
    float dc[2] = {};
    bool firstBlock = false;
    // Refreshed on the thread that changed a parameter, read by the voice.
    RelaxedAtomic_t<bool> slope24{false};
    RelaxedAtomic_t<float> cutoffU{0.5f};
    RelaxedAtomic_t<float> cutoffRest{0.0f};
    RelaxedAtomic_t<float> resonance{0.0f};
    RelaxedAtomic_t<float> type{0.0f};

private:
    void controlStep(int k);
    template <int Channels, bool Slope24>
    void runForm(int n, float* const* in, float* outL, float* outR);
    template <bool Slope24>
    double filterSample(int c, float input);
    void checkState();

    float* cutoffIn = nullptr;
    float* resonanceIn = nullptr;
    float* levelIn = nullptr;
    float* balanceIn = nullptr;
    float* typeIn = nullptr;
};
