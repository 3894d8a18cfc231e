// StereoEnh1_c ("VSE1"), the instrument effect "ST-ENHANC": widens the stereo
// image. Each channel gets a short feedback echo of itself (negative feedback
// on the left, positive on the right, so even a mono input comes out
// different on the two sides); then the side signal is raised and the mid
// signal lowered by "Factor".
//
// The two echo lines are power-of-two rings with room for the longest delay
// (10 ms) at the running sample rate, made anew at every rate change and
// filled with alternating +-1e-7 so they never hold denormal numbers.
//
// StereoEnh1R_c is the serial variant: it stores its output instead of adding
// it, so it replaces the bus it reads.
//
// Threads: construction and destruction while audio is stopped;
// setSampleRate on any thread but the audio thread (it waits until render is
// left before it replaces the lines); cachePara on the parameter thread;
// setInactive on the user-interface thread (it waits for render to leave
// before it clears the lines); render on the audio thread.
#pragma once

#include "Parameter.h"
#include "SerialVariant.h"
#include "Variator.h"

#include <cstdint>

constexpr int TypeCodeStereoEnh1 = 0x56534531; // 'VSE1'

class StereoEnh1_c : public VariatorInst_c
{
public:
    enum Para_t : int {
        pVersion = 0,
        pWet = 1,      // 0..1; the instrument's remote wet level writes it
        pRoomsize = 2, // echo delay, ms (0.5..10.0)
        pFactor = 3,   // side gain at full wet (1.0..4.0)
        ParaCount = 4
    };

    StereoEnh1_c();
    // Frees both lines.
    ~StereoEnh1_c() override;

    using VariatorInst_c::render;
    using VariatorInst_c::getParaSetPtr;

    // Audio stopped: the lines are made for the new rate, then the part's
    // handling.
    void setSampleRate(float rate) override;
    // Defines the four parameters, then in every case ReadyThenCache(crActivate).
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    // Both lines back to alternating +-1e-7; the write index to 0.
    void initBuffer() override;
    int getTypeCode() const override { return TypeCodeStereoEnh1; }
    // Every reason but a tempo change, when ready.
    void cachePara(CacheReason_t reason, int set, int idx) override;
    // The part's switch-off (which waits for render to leave), then the lines
    // are cleared when the effect had been on and is ready.
    void setInactive() override;
    // Needs both lines, a rate above 22000 Hz and the parameter values.
    void checkSetFlagReady() override;
    // Audio thread.
    void render(int n) override;
    // 0.01329 x room size (ms) + 0.1 seconds.
    float getFadeTime() override;

    int getLineLength() const { return length; }
    // The echo line of a channel (0 left, 1 right); null before a rate.
    const float* getLine(int channel) const { return channel ? lineR : lineL; }

    // Cached by cachePara.
    RelaxedAtomic_t<float> cross{0.0f};  // a = wet x 0.45, the echo's gain
    RelaxedAtomic_t<float> direct{1.0f}; // 1 - 0.8 a
    RelaxedAtomic_t<float> roomSize{0.0f}; // ms
    RelaxedAtomic_t<int32_t> delay{0};     // samples, below the line length
    RelaxedAtomic_t<float> sideGain{0.0f};
    RelaxedAtomic_t<float> midGain{0.0f};

protected:
    // Makes both lines for the current rate; ready again when both exist.
    void allocateBuffer();
    void freeLines();

    float* lineL = nullptr;
    float* lineR = nullptr;
    int length = 0; // power of two
    int mask = 0;
    int writeIndex = 0;
};

// The serial variant: stores where the plain class adds.
using StereoEnh1R_c = SerialVariant_c<StereoEnh1_c>;
