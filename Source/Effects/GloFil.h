// GloFil_c ("VGF1"), the instrument effect "FILTER": a stereo 12 dB
// state-variable filter (low-pass, high-pass, band-pass or band-reject) after
// a saturating input stage, its cutoff swept by a triangle LFO that runs free
// in hertz or follows a note value of the host tempo.
//
// The sweep LFO and its stepping are SweptEffect_c's.
//
// GloFilR_c is the serial variant: it stores its output instead of adding it,
// so it replaces the bus it reads (the serial effect slots).
//
// Threads: construction and getParaSetPtr while audio is stopped; resume on
// the host's thread while audio is stopped; postprocessParaChange, cachePara,
// checkSetFlagReady and getFadeTime on the thread that changed a parameter
// (or while audio is stopped); render on the audio thread. The cached values
// that cross from the parameter thread to the audio thread are relaxed
// atomics, read once per block.
#pragma once

#include "Parameter.h"
#include "SerialVariant.h"
#include "SweptEffect.h"

#include <cstdint>

constexpr int TypeCodeGloFil = 0x56474631; // 'VGF1'

class GloFil_c : public SweptEffect_c
{
public:
    enum Para_t : int {
        pVersion = 0,
        pOnOff = 1,
        pWet = 2,       // 0..1; the instrument's remote wet level writes it
        pType = 3,      // Type_t
        pSaturation = 4,
        pCutoff = 5,    // Hz
        pResonance = 6, // 0..1
        pModSpeed = 7,  // LFO rate, hundredths of a hertz
        pModDepth = 8,
        pLevel = 9,     // gain of dry and wet together
        pNotes = 10,    // tempo-sync note value, -13 " Off " .. 26
        ParaCount = 11
    };
    enum Type_t : int { tLP12 = 0, tHP12 = 1, tBP12 = 2, tBR12 = 3 };

    ~GloFil_c() override;

    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    // Clears the filter and its coefficient; the resonance term comes back
    // with the next cachePara.
    void initBuffer() override;
    int getTypeCode() const override { return TypeCodeGloFil; }
    // After the part's handling, the LFO's speed and note value follow
    // "Filter Mod Speed" and "Frequency" (index -1, 7 or 10).
    void postprocessParaChange(int set, int idx) override;
    // Every reason but a tempo change (the LFO follows the tempo itself),
    // when ready.
    void cachePara(CacheReason_t reason, int set, int idx) override;
    // Needs the parameter values and a sample rate above 1000 Hz.
    void checkSetFlagReady() override;
    // Audio thread.
    void render(int n) override;
    // The release tail grows with the resonance: 0.1 s up to 0.955, then
    // (r - 0.94)^2 x 10000 + 0.1 s, and an hour above 0.995.
    float getFadeTime() override;

    // Audio thread state, public for the tests.
    double f = 0.0;            // coefficient of the current control step, 0.001..1
    double low[2] = {};        // per channel (left, right)
    double high[2] = {};
    double band[2] = {};

    // Cached by cachePara.
    RelaxedAtomic_t<double> resonanceTerm{0.0}; // R = (2 - r) x r
    RelaxedAtomic_t<float> wetGain{0.0f};
    RelaxedAtomic_t<float> dryGain{1.0f};
    RelaxedAtomic_t<float> saturation{0.2f};
    RelaxedAtomic_t<float> cutoff{10000.0f}; // Hz
    RelaxedAtomic_t<float> depth{0.5f};
    RelaxedAtomic_t<int32_t> type{tLP12};

    // One control step before sample i of a block of n: the LFO ramp moves on
    // (with the carry rule) and the coefficient follows it.
    void controlStep(int remainingInBlock);
};

// The serial variant: stores where the plain class adds.
using GloFilR_c = SerialVariant_c<GloFil_c>;
