// Chorus1_c ("VCH0"): the chorus effect. Two or four modulated taps on one
// mono delay line, swept by triangle LFOs, with separate dry, wet and width
// controls and an optional polarity inversion of the wet signal. It does not
// follow the host tempo.
//
// The LFOs: three segment LFOs (LFOSimp_c) that the chorus builds and owns
// and that write their output ramps into the chorus's LFO inputs (value,
// increment per control step, control steps left). They are modules of the
// instrument's module graph in their own right: the graph registers them
// (getLFO) and gives them their parameter sets; the chorus only writes their
// rate, note value and waveform and starts them. Whatever drives an LFO
// input - one of these LFOs, or a test - the chorus steps it once per control
// step and asks the LFO for its next segment when the input's steps run out.
//
// Every tap stays inside the line: the line is sized from the longest delay
// any tap can reach (the third voice at the largest time, spread and sweep),
// the shorter spread delay is kept at 1 sample or more so no tap reads ahead
// of the writer, and a tap found outside its reach (a non-finite state)
// starts again behind its target.
//
// Chorus1R_c is the serial-slot form: it stores its output instead of adding
// it.
//
// Threads: construction and the destructor while audio is stopped;
// setSampleRate on any thread but the audio thread (it waits until render is
// left before it replaces the line); getParaSetPtr, cachePara and resume on the user-interface thread;
// render on the audio thread, under the part's rendering flag.
#pragma once

#include "LFO.h"
#include "Parameter.h"
#include "SerialVariant.h"
#include "Variator.h"

#include <atomic>
#include <cstdint>

constexpr int TypeCodeChorus1 = 0x56434830; // 'VCH0'

class Chorus1_c : public VariatorInst_c
{
public:
    enum Para_t : int {
        pVersion = 0,
        pOnOff = 1,
        pTime = 2,        // ms, base delay 0.01..6.00
        pTimeSpread = 3,  // 0.00..0.90
        pSpeed = 4,       // Hz, 0.020..4.000
        pSpeedSpread = 5, // 0.00..0.90
        pWet = 6,
        pMode = 7, // 0 two voices, 1 four voices
        pInvert = 8,
        pDry = 9,
        pStereo = 10,
        ParaCount = 11
    };
    static constexpr int NumLFOs = 3;
    static constexpr int NumTaps = 4;
    static constexpr float MinRenderRate = 22000.0f; // Hz, renders above

    // One LFO input: what an LFO writes through Modulator_c::setPtr.
    struct LFOInput_t
    {
        float value = 0.0f;
        float increment = 0.0f; // per control step
        int remaining = ModHoldSteps;
    };

    // Builds the three LFOs and binds each to its input.
    Chorus1_c();
    ~Chorus1_c() override;

    using VariatorInst_c::render;
    using Part_c::getParaSetPtr;

    // While audio is stopped: a new line for the rate (nothing more when that
    // fails), then the LFOs' and the part's own handling.
    void setSampleRate(float rate) override;
    // When ready: every LFO to "Triang" and started (note 60, velocity 100)
    // in the chorus's set.
    void resume() override;
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    // Write counter 100, every tap at 0, the line zeroed.
    void initBuffer() override;
    int getTypeCode() const override;
    // Nothing for a tempo change. The LFO rates (idx -1, 4, 5), the extra
    // voices joining voice 1 (idx 7, a program change), then always the
    // delays and gains.
    void cachePara(CacheReason_t reason, int set, int idx) override;
    // Ready above MinRenderRate with a line.
    void checkSetFlagReady() override;
    // Audio thread.
    void render(int n) override;
    // 0.01 s.
    float getFadeTime() override;

    // The LFO k (0..2) for the module graph's registration.
    LFOSimp_c& getLFO(int k) { return lfo[k]; }
    // The input LFO k writes into; a driver of its own may write it directly
    // (audio stopped).
    LFOInput_t& getLFOInput(int k) { return lfoInput[k]; }
    int getLineLength() const { return lineLength; }
    // Distance of voice k's tap behind the newest sample the next read sees:
    // inside 1 .. L-1 whenever the chorus renders.
    double tapDistance(int k) const { return static_cast<double>(writeCounter) - position[k]; }
    // The longest delay in samples any tap can be asked for at a rate.
    static double maxTapDelay(float rate);

    // Cached (written by the refreshing thread, read per block).
    RelaxedAtomic_t<float> baseDelay = 0.0f;    // samples
    RelaxedAtomic_t<float> longerDelay = 0.0f;  // samples, voice 3
    RelaxedAtomic_t<float> shorterDelay = 1.0f; // samples, voice 4; 1 or more
    RelaxedAtomic_t<float> sameGain = 0.0f;
    RelaxedAtomic_t<float> otherGain = 0.0f;
    RelaxedAtomic_t<float> dryGain = 1.0f;

private:
    template <bool Stereo, bool Four>
    void renderVoices(int n, float* inL, float* inR, float* outL, float* outR);
    void updateModulation(bool four);
    // Steps LFO input k by one control step and returns its value.
    float stepLFO(int k);
    void foldCounter();

    LFOSimp_c lfo[NumLFOs];
    LFOInput_t lfoInput[NumLFOs];
    float* line = nullptr;
    int32_t lineLength = 0; // L, a power of two
    int32_t mask = 0;
    int32_t writeCounter = 0;
    double position[NumTaps] = {};
    double rate[NumTaps] = {1.0, 1.0, 1.0, 1.0};
    // Set by the refreshing thread: voices 3 and 4 join voice 1 at the next
    // modulation update (the audio thread owns the positions).
    std::atomic<bool> joinExtraVoices{false};
};

using Chorus1R_c = SerialVariant_c<Chorus1_c>;
