// Delay2_c: the instrument's mono delay ("DELAY", type code 'VD02'). One
// delay line, fed from a mono or stereo input, is read by two modulated taps:
// tap A feeds the left output and lengthens while tap B, feeding the right,
// shortens. A one-pole low-pass or high-pass sits in the feedback path; the
// delay time and the modulation rate may follow the host tempo.
//
// Delay2R_c is the serial form used in the insert chain: it reads the effect
// bus and replaces it with its result instead of adding to it.
//
// Line length: L is the smallest power of two holding 0.68 s; a delay time
// is halved until it is shorter than L. With full modulation tap A reads up
// to (1 + 0.99) times the delay behind the writer, so the line itself holds
// 2 L samples; L stays the limit of the delay time.
//
// Threads: construction, setSampleRate, resume, setActive, setInactive and
// parameter changes run on the user-interface thread (or while audio is
// stopped); render and the tempo-change refresh run on the audio thread.
// Cached coefficients are relaxed atomics; the line is freed only after the
// audio thread has left render (see waitUntilNotRendering).
#pragma once

#include "LineEffect.h"
#include "SerialVariant.h"

#include <cstdint>
#include <memory>

constexpr int TypeCodeDelay2 = 0x56443032; // 'VD02'

class Delay2_c : public LineEffect_c
{
public:
    enum Para_t : int {
        pVersion = 0,
        pOffOn = 1,
        pTime = 2,     // free delay time, 1.0..680.0 ms
        pFeed = 3,     // feedback 0.00..0.99
        pFilOld = 4,   // the former filter setting (opposite sign), converted on load
        pWet = 5,      // wet level 0.00..1.00
        pModRate = 6,  // free modulation rate, 0.01..2.00 Hz
        pModDepth = 7, // modulation depth 0.000..0.990
        pSync = 8,     // the former sync switch, converted on load
        pNotes = 9,    // delay note value, 3 (" Off ") .. 17
        pFil = 10,     // feedback filter: < 0 low-pass, > 0 high-pass, 0 none
        pModNotes = 11, // modulation note value, -13 (" Off ") .. 26
        ParaCount = 12
    };

    // Sample rates at or below this leave the delay without a line: silent.
    static constexpr float MinSampleRate = 11000.0f;
    // Entries of the modulation sine table (one cycle).
    static constexpr int SineEntries = 512;

    Delay2_c();
    // Frees the line and the sine table.
    ~Delay2_c() override;

    // While audio is stopped: a new line for the new rate while active, then
    // the part's handling (which refreshes the coefficients).
    void setSampleRate(float rate) override;
    // While audio is stopped: clears the filter states and the modulation
    // phase and has the taps jump onto their targets at the next update.
    void resume() override;
    // User-interface thread: binds (and on first use defines) the class's
    // parameter set; one set without a count.
    using LineEffect_c::getParaSetPtr;
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    // While the line is not rendered (allocation, suspend): taps at rest,
    // writer 1.5 L into the line, the line filled with +1e-7 and -1e-7
    // alternately.
    void initBuffer() override;
    int getTypeCode() const override { return TypeCodeDelay2; }
    // Converts a stored set of the former form (sync switch, filter setting of
    // the opposite sign) before the part's own handling, so the refresh that
    // follows already sees the converted values.
    void postprocessParaChange(int set, int idx) override;
    // Any thread that changes parameters; the tempo-change reason also on the
    // audio thread, where it recomputes only the delay length.
    void cachePara(CacheReason_t reason, int set, int idx) override;
    // User-interface thread: on, then a line above MinSampleRate.
    void setActive() override;
    // User-interface thread: off, waits until the audio thread has left
    // render, then frees the line.
    void setInactive() override;
    // Ready only with the line, the sine table, a set and a rate above
    // MinSampleRate.
    void checkSetFlagReady() override;
    // Audio thread: one block from the input bus into the output bus.
    void render(int n) override;
    using VariatorBase_c::render;
    // Any thread (the effect base asks on the audio thread): seconds of tail,
    // (-4 / log10(Feed + 0.0001)) x delay time + 0.1; 0 without a set.
    float getFadeTime() override;

    // User-interface thread (or audio stopped): a line for `rate` and the
    // sine table; on success the part is made ready and refreshed. Left not
    // ready when an allocation fails.
    void allocateBuffer(float rate);
    // User-interface thread: not ready, waits for render to be left, frees.
    void freeBuffer();

    // Audio thread, inside render: the block renderers, 12 for a mono input,
    // 22 for a stereo input; the filter forms take the feedback filter's
    // coefficient.
    void renderDry12(int n, const float* in, float* outL, float* outR);
    void renderDry22(int n, const float* inL, const float* inR, float* outL, float* outR);
    void renderLP12(int n, float c, const float* in, float* outL, float* outR);
    void renderLP22(int n, float c, const float* inL, const float* inR, float* outL, float* outR);
    void renderHP12(int n, float c, const float* in, float* outL, float* outR);
    void renderHP22(int n, float c, const float* inL, const float* inR, float* outL, float* outR);

    // Read-only views for measurement: any thread for the coefficients, the
    // line and tap state only while audio is stopped.
    int getLineLength() const { return lineLength; }     // L, the limit of the delay time
    int getPhysicalLength() const { return physicalLength; }
    float getDelaySamples() const { return delaySamples; }
    float getFilterCoefficient() const { return filterCoef; }
    bool hasFilter() const { return !noFilter; }
    bool isLowPass() const { return lowPass; }
    float getModPhase() const { return modPhase; }
    float getPhaseIncrement() const { return phaseIncrement; }
    int64_t getWriteCounter() const { return writeCounter; }
    double getReadPosition(int tap) const { return tap == 0 ? posA : posB; }

protected:
    // The delay time in seconds from the parameters: the note value at the
    // host tempo when synchronised, else Time; halved until it fits L (no
    // halving without a line).
    double delaySeconds(const Parameter_c* p, float rate) const;

private:
    enum class Filter { Dry, LowPass, HighPass };
    // How the block reaches the output: added (the plain form), stored (the
    // serial form) or through mixSum sample by sample (a subclass of its
    // own).
    enum class Output { Add, Store, EachSample };
    Output outputForm() const;
    template <Filter F, bool Stereo>
    void renderBlock(int n, float c, const float* inL, const float* inR, float* outL, float* outR);
    void updateTaps(int remaining);
    void releaseMemory();
    void waitUntilNotRendering();

    // The line: physicalLength floats (2 L), masked by mask.
    float* line = nullptr;
    std::unique_ptr<float[]> sine;
    RelaxedAtomic_t<int32_t> lineLength{0};
    int32_t physicalLength = 0;
    int32_t mask = 0;
    int64_t writeCounter = 0;

    // Taps A and B: read positions and per-sample rates.
    double posA = 0.0;
    double posB = 0.0;
    double rateA = 0.0;
    double rateB = 0.0;

    float modPhase = 0.0f;  // in sine-table entries, 0 up to SineEntries
    int32_t missing = 0;    // samples missing from groups of 8 cut short by a block end

    float lpState = 0.0f;   // low-pass state
    float second = 0.0f;    // the low-pass form's DC tracker, the high-pass form's integrator

    // Coefficients (written by cachePara, read by render).
    RelaxedAtomic_t<float> filterCoef{0.0f};
    RelaxedAtomic_t<float> delaySamples{0.0f};
    RelaxedAtomic_t<float> modRateHz{0.0f};
    RelaxedAtomic_t<float> phaseIncrement{0.0f}; // sine-table entries per 8 samples
    RelaxedAtomic_t<float> depth{0.0f};
    RelaxedAtomic_t<float> feedPerTap{0.0f};
    RelaxedAtomic_t<float> wet{0.0f};
    RelaxedAtomic_t<bool> noFilter{true};
    RelaxedAtomic_t<bool> lowPass{false};

    // The block's delay length, depth and increment, taken once per render.
    float blockDelay = 0.0f;
    float blockDepth = 0.0f;
    float blockIncrement = 0.0f;
};

// The serial form for the insert chain: stores where the plain form adds.
using Delay2R_c = SerialVariant_c<Delay2_c>;
