// Phaser1S_c ("VPH0"), the instrument effect "PHASER": per channel a chain of
// 1 to 9 first-order all-pass stages swept by a triangle LFO (free in hertz
// or on a note value of the host tempo), with feedback through a soft clip;
// the right channel's sweep may run up to half a period behind the left's.
//
// The sweep LFO and its stepping are SweptEffect_c's.
//
// Phaser1SR_c is the serial variant: it stores its output instead of adding
// it, so it replaces the bus it reads.
//
// Threads: as GloFil_c: construction, getParaSetPtr and resume while audio
// is stopped; postprocessParaChange, cachePara and getFadeTime on the
// thread that changed a parameter; render on the audio thread. The cached
// values are relaxed atomics read once per block.
#pragma once

#include "Parameter.h"
#include "SerialVariant.h"
#include "SweptEffect.h"

#include <cstdint>

constexpr int TypeCodePhaser1S = 0x56504830; // 'VPH0'
constexpr int PhaserMaxStages = 9;

class Phaser1S_c : public SweptEffect_c
{
public:
    enum Para_t : int {
        pVersion = 0,
        pOnOff = 1,
        pWet = 2,      // 0..1; the instrument's remote wet level writes it
        pSpeed = 3,    // Hz, thousandths
        pCenter = 4,   // Hz
        pDepth = 5,
        pFeedback = 6,
        pFBInvert = 7, // on: negative feedback
        pStages = 8,   // 1..9
        pStereo = 9,   // phase offset of the right sweep, 1.00 = half a period
        pNotes = 10,   // tempo-sync note value, -13 " Off " .. 11 " 1/8T"
        ParaCount = 11
    };

    ~Phaser1S_c() override;

    // Host's thread, audio stopped: the sweep's restart, then the stages are
    // cleared.
    void resume() override;
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    // Clears both feedback samples and all stage states.
    void initBuffer() override;
    int getTypeCode() const override { return TypeCodePhaser1S; }
    // After the part's handling, the LFO's speed (in whole hundredths of a
    // hertz) and note value follow "Phaser Speed" and "Frequency" (index -1,
    // 3 or 10).
    void postprocessParaChange(int set, int idx) override;
    // Every reason but a tempo change, when ready.
    void cachePara(CacheReason_t reason, int set, int idx) override;
    // Needs a sample rate above 22000 Hz.
    void checkSetFlagReady() override;
    // Audio thread.
    void render(int n) override;
    // 0.1 s, or with feedback f above 0.9: 0.0002 t^2 + 0.1 s, t = -4 / log10 f.
    float getFadeTime() override;

    // Audio thread state, public for the tests.
    float k[2] = {};  // all-pass coefficient per channel (left, right)
    float z[2] = {};  // clipped output, fed back
    float stage[2][PhaserMaxStages] = {};

    // Cached by cachePara.
    RelaxedAtomic_t<int32_t> stages{5};
    RelaxedAtomic_t<float> stereo{0.0f};
    RelaxedAtomic_t<float> wet{0.6f};
    RelaxedAtomic_t<float> outputGain{14.0f}; // (2 - wet) x 10
    RelaxedAtomic_t<float> depth{0.6f};
    RelaxedAtomic_t<float> centre{1760.0f}; // Hz
    RelaxedAtomic_t<float> feedback{0.75f};
    RelaxedAtomic_t<float> feedbackSign{-0.998f};

    // One control step: the LFO ramp moves on (with the carry rule) and both
    // coefficients follow it.
    void controlStep(int remainingInBlock);
    // The output stage of one channel: clip the last stage's output, keep it
    // for the feedback, mix it with the scaled input and hand it on.
    void outputSample(int channel, float** out, float chainOut, float x, float wetNow, float gainNow,
                      float signNow);
};

// The serial variant: stores where the plain class adds.
using Phaser1SR_c = SerialVariant_c<Phaser1S_c>;
