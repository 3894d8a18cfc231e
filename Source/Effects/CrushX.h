// CrushX_c ("VCX1"), the instrument effect "CRUSHER": a bit-depth reducer
// (optional error-feedback dither, optional automatic volume compensation
// that normalises the signal before it is quantised), a 12 dB state-variable
// filter with four responses and a sample-rate divider with three hold
// modes; the filter runs before or after the divider, and the result is mixed
// with the dry input.
//
// The filter's resonance stops short of a lossless resonator (r at most
// 0.99), which would grow without bound on a tone at its frequency.
//
// CrushXR_c is the serial variant: it stores its mixed output instead of
// adding it, so it replaces the bus it reads.
//
// Threads: construction and destruction while audio is stopped;
// setSampleRate on any thread but the audio thread (it waits until render is
// left before it touches the work block); cachePara on the parameter thread;
// prepProc and render on the audio thread.
#pragma once

#include "Parameter.h"
#include "SerialVariant.h"
#include "Variator.h"

#include <cstdint>
#include <memory>

constexpr int TypeCodeCrushX = 0x56435831; // 'VCX1'

class CrushX_c : public VariatorInst_c
{
public:
    enum Para_t : int {
        pVersion = 0,
        pOnOff = 1,
        pResolution = 2, // bits, 1.00..16.01 (the top shown as infinite)
        pDither = 3,
        pDivider = 4,    // samples, 1..32
        pDividerMode = 5, // Mode_t
        pFilterType = 6, // FilterType_t
        pCutoff = 7,     // Hz
        pResonance = 8,  // 0..100
        pPostDivider = 9,
        pAutoVolume = 10,
        pWet = 11,       // 0..1; the instrument's remote wet level writes it
        ParaCount = 12
    };
    enum Mode_t : int { modeAverage = 1, modeStep = 2, modeSlide = 3 };
    enum FilterType_t : int { fLP12 = 1, fHP12 = 2, fBP12 = 3, fBR12 = 4 };

    // The state of one channel.
    struct Channel_t
    {
        float ditherError = 0.0f;
        double low = 0.0;
        double high = 0.0;
        double band = 0.0;
        float hold = 0.0f;
        float slide = 0.0f;
        int countdown = 0;
        double dc = 0.0;
    };

    CrushX_c();
    ~CrushX_c() override;

    using VariatorInst_c::render;
    using VariatorInst_c::getParaSetPtr;
    using VariatorInst_c::prepProc;

    // Rates <= 0 are ignored. Audio stopped.
    void setSampleRate(float rate) override;
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    int getTypeCode() const override { return TypeCodeCrushX; }
    // Every reason but a tempo change, with a parameter set.
    void cachePara(CacheReason_t reason, int set, int idx) override;
    // The part's note start; without keepState both channels start afresh.
    void prepProc(int instrument, Note_c note, bool keepState) override;
    // Needs a rate above 11000 Hz and the work block.
    void checkSetFlagReady() override;
    // Audio thread.
    void render(int n) override;

    // Quantiser, then filter and divider (in the order "FilterPostDiv"
    // chooses) from in into work, for one channel. n <= MaxBlockSize.
    void renderCore(int n, const float* in, float* work, Channel_t& ch);

    Channel_t channel[2];
    float envelope = 0.01f;        // auto-volume follower, shared by both channels
    float outputOffset = 1e-6f;    // alternates sign every output sample
    float cutoffRateFactor = 1.0f; // min(1, max(0.1, 44100 / rate)): the cutoff follows the rate
    float releaseFactor = 0.1f;    // the follower halves in 25 ms

    // Cached by cachePara.
    RelaxedAtomic_t<float> levels{0.0f}; // half the quantiser's level count
    RelaxedAtomic_t<float> step{0.0f};
    RelaxedAtomic_t<float> cutoffNorm{1.0f};
    RelaxedAtomic_t<double> coefficient{0.0};
    RelaxedAtomic_t<double> resonance{0.0};
    RelaxedAtomic_t<bool> filterActive{false};
    RelaxedAtomic_t<bool> dither{false};
    RelaxedAtomic_t<int32_t> divider{1};
    RelaxedAtomic_t<float> dividerInverse{1.0f};
    RelaxedAtomic_t<float> dividerKeep{0.0f};
    RelaxedAtomic_t<bool> dividerActive{false};
    RelaxedAtomic_t<int32_t> dividerMode{modeSlide};
    RelaxedAtomic_t<int32_t> filterType{fLP12};
    RelaxedAtomic_t<bool> postDivider{false};
    RelaxedAtomic_t<bool> autoVolume{false};
    RelaxedAtomic_t<float> wet{0.0f};

protected:
    void quantise(int n, const float* in, float* work, Channel_t& ch);
    void filter(int n, float* work, Channel_t& ch);
    void divide(int n, float* work, Channel_t& ch);
    void resetChannels();

    std::unique_ptr<float[]> workBuffer;
};

// The serial variant: stores where the plain class adds.
using CrushXR_c = SerialVariant_c<CrushX_c>;
