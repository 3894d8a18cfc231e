// EQ2_c ("VEQ1"), the instrument effect "PARAM-EQ": two peaking bands in
// series, each a second-order section in double precision with the
// peaking-equaliser formulas of the Audio EQ Cookbook. The gain range (dB)
// is fixed when the effect is built (the instrument uses 18). It has no wet
// control.
//
// Band 1 is always in the chain and its coefficients are renewed at every
// cache, so setting its gain back to 0 dB makes it flat again. Band 2 leaves
// the chain while its gain is within +-0.1 dB and keeps its histories as they
// were.
//
// EQ2R_c is the serial variant: it stores its output instead of adding it, so
// it replaces the bus it reads.
//
// Threads: construction and setSampleRate while audio is stopped; cachePara
// on the parameter thread (it rewrites a band's coefficients one after the
// other; the audio thread reads them once per block); render on the audio
// thread.
#pragma once

#include "Parameter.h"
#include "SerialVariant.h"
#include "Variator.h"

#include <cstdint>

constexpr int TypeCodeEQ2 = 0x56455131; // 'VEQ1'

class EQ2_c : public VariatorInst_c
{
public:
    enum Para_t : int {
        pVersion = 0,
        pFreq1 = 1, // Hz
        pGain1 = 2, // dB, tenths
        pQ1 = 3,
        pFreq2 = 4,
        pGain2 = 5,
        pQ2 = 6,
        ParaCount = 7
    };

    // The coefficients of one band; a0 kept for reference, g = 1 / a0.
    struct Band_t
    {
        RelaxedAtomic_t<double> A{1.0};
        RelaxedAtomic_t<double> w0{0.0};
        RelaxedAtomic_t<double> cosW0{1.0};
        RelaxedAtomic_t<double> sinW0{0.0};
        RelaxedAtomic_t<double> alpha{0.0};
        RelaxedAtomic_t<double> a0{1.0};
        RelaxedAtomic_t<double> a1{0.0};
        RelaxedAtomic_t<double> a2{0.0};
        RelaxedAtomic_t<double> b0{1.0};
        RelaxedAtomic_t<double> b1{0.0};
        RelaxedAtomic_t<double> b2{0.0};
        RelaxedAtomic_t<double> g{1.0};
    };
    // Previous inputs and outputs of one band on one channel.
    struct History_t
    {
        double x1 = 0.0;
        double x2 = 0.0;
        double y1 = 0.0;
        double y2 = 0.0;
    };

    // Both bands start as the flat filter of the defaults at 44100 Hz.
    explicit EQ2_c(int gainRangeDb);
    ~EQ2_c() override;

    using VariatorInst_c::render;
    using VariatorInst_c::getParaSetPtr;

    void setSampleRate(float rate) override;
    // Defines the seven parameters (gains -10R..10R tenths of a dB), then in
    // every case ReadyThenCache(crActivate).
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    // Clears every history.
    void initBuffer() override;
    int getTypeCode() const override { return TypeCodeEQ2; }
    // Every reason but a tempo change, when ready: band 1 always, band 2
    // only while its gain is beyond +-0.1 dB.
    void cachePara(CacheReason_t reason, int set, int idx) override;
    // Needs a rate above 22000 Hz and the parameter set.
    void checkSetFlagReady() override;
    // Audio thread.
    void render(int n) override;
    // A millisecond.
    float getFadeTime() override;

    // The coefficients of band 1 / band 2 from a frequency (Hz), gain (dB),
    // Q and 1 / rate.
    void calc0Coeff(float freq, float gain, float q, float reciprocalRate);
    void calc1Coeff(float freq, float gain, float q, float reciprocalRate);

    int getGainRange() const { return gainRange; }

    Band_t band[2];
    RelaxedAtomic_t<bool> bandActive[2] = {false, false};
    History_t history[2][2] = {}; // [band][channel]

protected:
    static void calcCoeff(Band_t& b, float freq, float gain, float q, float reciprocalRate);

    int gainRange;
};

// The serial variant: stores where the plain class adds.
using EQ2R_c = SerialVariant_c<EQ2_c>;
