// DelayStereo_c ("VDS1"): the stereo delay effect. Two delay lines, left and
// right, each with its own free or tempo-synchronised time; one feedback,
// which "Feedback Link" adjusts on the shorter side so both sides lose the
// same level per second; an optional cross-feed of the two lines; a width
// control (1 straight, 0 mono, -1 swapped) and a low-cut / high-cut pair that
// acts on the wet signal only or inside the feedback.
//
// The read taps glide toward new delay times at 0.25..4 times real time (a
// time change is a short pitch bend, not a jump); after a restart (the effect
// comes on after its tail ran out) they jump to their targets.
//
// The lines are allocated at every sample-rate change and live until the next
// one or the destructor; switching the effect off only clears them.
//
// DelayStereoR_c is the serial-slot form: it stores its output instead of
// adding it, so it replaces the bus it reads.
//
// Threads: construction and the destructor while audio is stopped;
// setSampleRate on any thread but the audio thread (it waits until render is
// left before it replaces the lines); getParaSetPtr, cachePara (parameter
// changes, activation), setInactive and resume on the user-interface
// thread; render and the tempo refresh on the audio thread. The render runs
// under the part's rendering flag and only while ready, and setInactive waits
// for that flag before it touches the lines.
#pragma once

#include "LineEffect.h"
#include "Parameter.h"
#include "SerialVariant.h"

#include <cstdint>

constexpr int TypeCodeDelayStereo = 0x56445331; // 'VDS1'

class DelayStereo_c : public LineEffect_c
{
public:
    enum Para_t : int {
        pVersion = 0,
        pOnOff = 1,
        pTimeL = 2, // ms, free left time
        pSyncL = 3, // note value, 3 (" Off ") .. 22
        pTimeR = 4,
        pSyncR = 5,
        pFeed = 6,   // 0.00..0.99
        pCutLo = 7,  // Hz, corner of the wet low-pass
        pCutHi = 8,  // Hz, corner of the wet high-pass
        pWet = 9,    // 0.00..1.00
        pStereo = 10, // -1.00..1.00
        pLink = 11,
        pCross = 12,
        pFilterInFeedback = 13,
        ParaCount = 14
    };
    // Lowest rate at which the delay renders (Hz, exclusive).
    static constexpr float MinRenderRate = 22000.0f;

    DelayStereo_c();
    ~DelayStereo_c() override;

    using LineEffect_c::getParaSetPtr;
    using LineEffect_c::render;

    // While audio is stopped: new lines for the rate, then the part's own
    // handling (which refreshes).
    void setSampleRate(float rate) override;
    // Refresh with the activation reason.
    void resume() override;
    // Defines the 14 parameters on first use; always ends with a refresh.
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    // Both lines back to the +-1e-7 pattern, filter states 0.
    void initBuffer() override;
    int getTypeCode() const override { return TypeCodeDelayStereo; }
    // Whole-sample delays for every reason (the tempo change included); the
    // gains, feedbacks, filter coefficients and flags for every other reason.
    void cachePara(CacheReason_t reason, int set, int idx) override;
    // Waits for the render to leave, then clears the lines when the part had
    // been active and is ready: switched on again, it starts from silence.
    void setInactive() override;
    // Ready with both lines, above MinRenderRate and with a parameter set.
    void checkSetFlagReady() override;
    // Audio thread: stereo in, stereo out.
    void render(int n) override;
    // The longer side's ring-out at the feedback, plus 0.1 s.
    float getFadeTime() override;

    // The delay of one side in seconds, free or synchronised, halved until it
    // fits the line (0 without lines). side 0 left, 1 right.
    double delaySeconds(const Parameter_c* p, int side) const;
    // Distance of a tap behind the write counter in samples (for tests and
    // the bounds check): what the next read takes.
    double tapDistance(int side) const { return static_cast<double>(writeCounter) - position[side]; }
    int getLineLength() const { return lineLength; }

    // Cached coefficients (written by the refreshing thread, read per block).
    RelaxedAtomic_t<int32_t> delaySamples[2] = {0, 0}; // whole samples, 1..L-1
    RelaxedAtomic_t<float> wet = 0.0f;
    RelaxedAtomic_t<float> sameGain = 1.0f;  // wet of a side's own line
    RelaxedAtomic_t<float> crossGain = 0.0f; // wet of the other side's line
    RelaxedAtomic_t<float> feedback[2] = {0.0f, 0.0f};
    RelaxedAtomic_t<float> highPassCoef = 0.0f; // the "CutHi" corner
    RelaxedAtomic_t<float> lowPassCoef = 1.0f;  // the "CutLo" corner
    RelaxedAtomic_t<bool> crossDelay = false;
    RelaxedAtomic_t<bool> filtersInFeedback = false;

protected:
    void allocateBuffer();
    void freeLines();

private:
    template <bool Cross, bool FilterInFeedback>
    void renderLines(int n, float* inL, float* inR, float* outL, float* outR);
    // Tap update before every 8th sample: targets from the delay times and
    // the write counter, rates toward them.
    void updateTaps(float dL, float dR);
    void repairState();

    float* lines[2] = {nullptr, nullptr};
    int32_t lineLength = 0; // L, a power of two
    int32_t mask = 0;
    int32_t writeCounter = 0;
    int32_t foldAt = 0;     // 16 L
    int32_t foldBy = 0;     // 14 L
    double foldByD = 0.0;
    double position[2] = {0.0, 0.0};
    double rate[2] = {1.0, 1.0};
    float lowState[2] = {0.0f, 0.0f};  // one-pole low-pass at "CutHi"
    float bandState[2] = {0.0f, 0.0f}; // one-pole low-pass at "CutLo" of what lies above "CutHi"
};

using DelayStereoR_c = SerialVariant_c<DelayStereo_c>;
