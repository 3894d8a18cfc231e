// DelayPingPong_c ("VDP1"): the ping-pong delay effect. A centre delay on
// each input channel feeds a loop of two lines, left and right, that hand the
// signal to each other; each line has its own free or tempo-synchronised time
// and pan, the loop one feedback (applied once per pass through both lines),
// and "Balance Pre/LR" mixes the centre echoes against the loop echoes. Its
// parameter set has no "OffOn".
//
// Every line is a ring whose length is set by wrapping its index at the
// delay: a ring holds delay + 1 samples, so each echo stage is delay + 1
// samples long, and a changed delay takes effect without moving a sample.
//
// DelayPingPongR_c is the serial-slot form: it stores its output instead of
// adding it.
//
// Threads: construction, setSampleRate and the destructor while audio is
// stopped; getParaSetPtr, cachePara, setActive, setInactive and resume on the
// user-interface thread; render and the tempo refresh on the audio thread.
// The ring delays cross threads as relaxed atomics; the render reads them
// once per block. setInactive waits for the render to leave before it frees
// the lines.
#pragma once

#include "LineEffect.h"
#include "Parameter.h"
#include "SerialVariant.h"

#include <cstdint>

constexpr int TypeCodeDelayPingPong = 0x56445031; // 'VDP1'

class DelayPingPong_c : public SwitchedLineEffect_c
{
public:
    enum Para_t : int {
        pVersion = 0,
        pTimeC = 1, // ms
        pSyncC = 2, // note value, 3 (" Off ") .. 22
        pTimeL = 3,
        pSyncL = 4,
        pPanL = 5, // -1.00..1.00
        pTimeR = 6,
        pSyncR = 7,
        pPanR = 8,
        pFeed = 9,     // 0.00..0.99
        pBalance = 10, // 0 centre echoes only .. 1 loop echoes only
        pWet = 11,
        ParaCount = 12
    };
    enum Line_t : int { lineCentre = 0, lineLeft = 1, lineRight = 2 };
    static constexpr float MinRenderRate = 22000.0f; // Hz, renders above

    DelayPingPong_c();
    ~DelayPingPong_c() override;

    using LineEffect_c::getParaSetPtr;
    using LineEffect_c::render;

    void resume() override;
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    // Every line back to the +-1e-7 pattern.
    void initBuffer() override;
    int getTypeCode() const override { return TypeCodeDelayPingPong; }
    // The three delays for every reason; gains, wet and feedback for every
    // reason but the tempo change.
    void cachePara(CacheReason_t reason, int set, int idx) override;
    void checkSetFlagReady() override;
    // Audio thread.
    void render(int n) override;
    // (left + right) rings out at the feedback, plus the centre and 0.2 s.
    float getFadeTime() override;

    // Seconds of line k, free or synchronised, halved until it fits.
    double delaySeconds(const Parameter_c* p, int line) const;
    int getLineLength() const { return lineLength; }
    int getDelaySamples(int line) const { return delaySamples[line]; }

    // Cached (written by the refreshing thread, read per block).
    RelaxedAtomic_t<float> preGain = 0.5f; // 1 - balance
    RelaxedAtomic_t<float> gainLL = 0.0f;  // left line to the left output
    RelaxedAtomic_t<float> gainLR = 0.0f;  // left line to the right output
    RelaxedAtomic_t<float> gainRR = 0.0f;  // right line to the right output
    RelaxedAtomic_t<float> gainRL = 0.0f;  // right line to the left output
    RelaxedAtomic_t<float> wet = 0.0f;
    RelaxedAtomic_t<float> feedback = 0.0f;

protected:
    void allocateBuffer() override;
    void releaseLines() override;

private:
    void repairState(float probe);

    // Centre left, centre right, the left loop line, the right loop line.
    float* lines[4] = {};
    int32_t lineLength = 0; // L samples (not a power of two)
    int32_t index[3] = {0, 0, 0};
    RelaxedAtomic_t<int32_t> delaySamples[3] = {0, 0, 0};
};

using DelayPingPongR_c = SerialVariant_c<DelayPingPong_c>;
