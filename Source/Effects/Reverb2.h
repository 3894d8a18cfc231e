// Reverb2_c ("VR01"): the stereo reverb effect. A mono predelay feeds eight
// parallel damped feedback combs per channel, whose read positions can be
// swept by a triangle, and then up to six allpass diffusers per channel in
// series. All delay lengths are given at 44100 Hz and scaled to the running
// rate. The predelay follows the host tempo when its note value is set.
//
// "Mod Freq" sets the depth of the comb sweeps in samples (the sweep rates
// are fixed). A depth lowered below where a sweep stands brings that sweep
// back into its range, so no sweep ever stops.
//
// The predelay's active length changes only on the audio thread: a refresh
// hands the new length over, and the next render applies it (crossfading 32
// samples of the old line out and 32 recent samples in).
//
// Reverb2R_c is the serial-slot form: it stores its output instead of adding
// it.
//
// Threads: construction, setSampleRate and the destructor while audio is
// stopped; getParaSetPtr, cachePara, postprocessParaChange, setActive,
// setInactive and resume on the user-interface thread; render and the tempo
// refresh on the audio thread. setInactive waits for the render to leave
// before it frees the buffers.
#pragma once

#include "LineEffect.h"
#include "Parameter.h"
#include "SerialVariant.h"

#include <atomic>
#include <cstdint>

constexpr int TypeCodeReverb2 = 0x56523031; // 'VR01'

class Reverb2_c : public SwitchedLineEffect_c
{
public:
    enum Para_t : int {
        pVersion = 0,
        pOnOff = 1,
        pWetOld = 2,   // former wet level, -1 when converted
        pRevTime = 3,  // s, 0.1..10.0
        pDamping = 4,  // 0.00..0.90
        pPredelay = 5, // ms
        pWet = 6,      // 0.000..1.000
        pSync = 7,     // note value, 9 (" Off ") .. 26
        pModOn = 8,
        pDiffusors = 9, // 2..6
        pModFreq = 10,  // sweep depth base in samples, 3..20
        ParaCount = 11
    };
    static constexpr int NumCombs = 8;
    static constexpr int NumAllpasses = 6;
    static constexpr float MinRenderRate = 22000.0f; // Hz, renders above
    static constexpr int CrossfadeLength = 32;       // samples of each predelay fragment

    // A line with its length at 44100 Hz and at the running rate.
    struct Line_t
    {
        float* buffer = nullptr;
        int32_t length = -1; // samples; -1 before allocation
        int32_t base = 0;    // samples at 44100 Hz
        int32_t index = 0;
        float sampleRate = 44100.0f;
    };
    // A damped feedback comb whose read position can sweep as a triangle
    // between 0 and depth samples ahead of the write position.
    struct Comb_t : Line_t
    {
        RelaxedAtomic_t<float> feedback = 0.0f; // written by the refreshing thread
        float state = 0.0f;   // the damping low-pass
        RelaxedAtomic_t<float> damping = 0.0f; // written by the refreshing thread
        int32_t offset = 0;   // whole samples of the sweep
        float fraction = 0.0f; // 0..1
        float frequency = 2.5f; // Hz
        float increment = 0.0018140589818358421f; // samples per sample, signed
        int32_t depth = 16;   // samples
    };
    struct Allpass_t : Line_t
    {
        float feedback = 0.5f;
    };
    struct PreDelay_t : Line_t
    {
        int32_t active = 100; // samples in use (A)
        float fadeOut[CrossfadeLength] = {};
        float fadeIn[CrossfadeLength] = {};
        // A new active length m: the old line's next 32 samples fade out at
        // the start, the 32 latest fade in at the end, then silence between
        // and the input written since. Nothing for m at or above the
        // allocated length (or a negative m).
        void setMaxIdx(int m);
    };

    Reverb2_c();
    ~Reverb2_c() override;

    using LineEffect_c::getParaSetPtr;
    using LineEffect_c::render;

    // Mutes.
    void resume() override;
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    // Mutes.
    void initBuffer() override;
    int getTypeCode() const override { return TypeCodeReverb2; }
    // After the part's handling: a stored former wet level moves to "Wet"
    // (idx -1 or 2).
    void postprocessParaChange(int set, int idx) override;
    void cachePara(CacheReason_t reason, int set, int idx) override;
    void checkSetFlagReady() override;
    // Audio thread.
    void render(int n) override;
    // (reverb time + predelay) x 1.4 s; 0 without a parameter set.
    float getFadeTime() override;

    // Every buffer exists.
    bool buffersOk() const;
    // Every buffer zeroed over its length, comb states 0.
    void mute();
    // Sweep rates of the combs: f x 0.4 x the comb's factor.
    void setFreq(float f);
    // Sweep depths: comb k (1..8) gets d + 8 - k samples. Only while the
    // combs are not rendering (construction); refreshes hand the depth over.
    void setDepth(int d);

    // The predelay in seconds, free or synchronised, halved to 0.125 s or
    // less.
    double predelaySeconds(const Parameter_c* p) const;

    const Comb_t& getComb(int side, int k) const { return combs[side][k]; }
    const Allpass_t& getAllpass(int side, int k) const { return allpasses[side][k]; }
    const PreDelay_t& getPreDelay() const { return predelay; }

    // Cached (written by the refreshing thread, read per block).
    RelaxedAtomic_t<float> wetGain = 1.0f;
    RelaxedAtomic_t<bool> sweepOn = false;
    RelaxedAtomic_t<int32_t> diffusers = 4;
    RelaxedAtomic_t<float> inputGain = 0.03f;

protected:
    void allocateBuffer() override;
    void releaseLines() override;

private:
    template <bool Stereo>
    void renderChannels(int n, float* inL, float* inR, float* outL, float* outR);
    // Hand-overs from the refreshing thread, applied at the next render.
    void takePending();
    void repairState();

    Comb_t combs[2][NumCombs];
    Allpass_t allpasses[2][NumAllpasses];
    PreDelay_t predelay;
    std::atomic<int32_t> pendingMaxIdx{-1};
    std::atomic<int32_t> pendingDepth{-1};
};

using Reverb2R_c = SerialVariant_c<Reverb2_c>;
