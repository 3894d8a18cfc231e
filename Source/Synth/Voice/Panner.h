// The voice's panners.
//
// Pan_c ("VP02") splits its input between its two output buses by a position
// that the voice writes once per control step (-1 all to the first bus, +1
// all to the second): a linear crossfade, taken anew at every control step
// without smoothing, that never sends quite all of the signal to one side.
//
// Pan51_c ("VP51") spreads a mono or stereo input over the six channels of a
// 5.1 bus (L, R, C, Lfe, Ls, Rs) with gains derived from its parameters: a
// left/right and a front/rear position for the four corners (square-root
// law, 0.98 each at the centre with the overall level at 0 dB), and levels of
// their own for centre and LFE. The input is scaled by the factor it was
// built with (1.0 in a voice; the instrument's effect buses use more).
//
// Both add into their output buses, never replacing what is there.
//
// Threads: create and construction before audio runs; cachePara on the
// user-interface thread (parameter changes) or the audio thread (note
// start), render on the audio thread. The 5.1 gains cross between the two.
#pragma once

#include "Parameter.h"
#include "Variator.h"

#include <atomic>

class Pan_c : public VariatorTone_c
{
public:
    using VariatorTone_c::create;
    using VariatorTone_c::getParaSetPtr;
    using VariatorTone_c::prepProc;
    using VariatorTone_c::render;

    enum Para_t : int { pVersion = 0, pOnOff = 1, pPan = 2 };

    // Binds the voice's position array (-1..1, one float per control step);
    // a null pointer keeps the one bound before.
    void create(float* position);

    // Needs a started note (render parameters), a position array and an
    // input with mono or stereo content; each output bus that exists gets its
    // share in the input's form. Entry i / 8 serves sample i of the piece.
    void render(int n) override;
    // Both gains back to 1.
    void initBuffer() override;
    // "Version", "S0 On/Off", "Pan" per set.
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    int getTypeCode() const override;
    // The voice processor's note start; a fresh note (not legato) also
    // initBuffer.
    void prepProc(int instrument, Note_c note, bool legato) override;

    float* getPositionArray() const { return positionArray; }

    float gainFirst = 1.0f;  // share of the first output bus
    float gainSecond = 1.0f; // share of the second output bus

private:
    // render for mono and for stereo input.
    void renderMono(int n);
    void renderStereo(int n);
    // Adds in x the first gain into first and in x the second into second,
    // n frames, the gains taken anew at each control step and left at the
    // last step's. The three arrays do not overlap.
    void splitMono(float* first, float* second, const float* in, int n);
    // One bus's share alone (the second's or the first's) of n frames,
    // added into out; the gains left at the last step's as splitMono leaves
    // them.
    void shareMono(float* out, const float* in, int n, bool second);

    float* positionArray = nullptr;
};

class Pan51_c : public VariatorTone_c
{
public:
    using VariatorTone_c::getParaSetPtr;
    using VariatorTone_c::prepProc;
    using VariatorTone_c::render;

    // The parameters of the panner, by index.
    enum Para_t : int {
        paraVersion = 0,
        paraLeftRight = 1, // -1 left .. 1 right
        paraFrontRear = 2, // -1 front .. 1 rear
        paraCenter = 3,    // level of the centre channel
        paraLFE = 4,       // level of the low-frequency channel
        paraOverall = 5,   // level of the four corners
        paraCount = 6,
    };

    // scale multiplies every input sample.
    explicit Pan51_c(float scale);

    // The six gains from the parameters of `set` (for -1: the set the panner
    // last played, or set 0); every reason but a tempo change. Nothing for a
    // set that does not exist.
    void cachePara(CacheReason_t reason, int set, int idx) override;
    // Adds the mono or stereo input into the output bus as 5.1; nothing for
    // an input without content or a 5.1 input, or an output that cannot take
    // 5.1.
    void render(int n) override;
    // The panner keeps no signal state.
    void initBuffer() override;
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    int getTypeCode() const override;
    // The voice processor's note start (which re-reads the gains); a fresh
    // note (not legato) also initBuffer.
    void prepProc(int instrument, Note_c note, bool legato) override;

    float getScale() const { return scale; }
    // Fold to stereo: the panner adds into the two front channels only, each
    // side taking the power of its front and rear corner and half the
    // centre's (LFE is dropped), so a voice keeps its left-right place and
    // its level when the host has fewer than six outputs. Thread: any (the
    // output check runs on the audio thread).
    void setForceStereo(bool on) { foldStereo.store(on); }
    bool getForceStereo() const { return foldStereo.load(); }

    // The six gains, in the order front left, front right, rear left, rear
    // right, centre, low-frequency.
    enum Gain_t : int { gainFL = 0, gainFR, gainRL, gainRR, gainC, gainLfe, gainCount };
    RelaxedAtomic_t<float> gains[gainCount] = {};

private:
    float scale;
    std::atomic<bool> foldStereo{false};
};
