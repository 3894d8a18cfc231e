// SamLoop_c ('GS03'): the loop sampler of generator slots 1 and 2. At note
// start the multisample memory (WaveRAM2_c) hands it up to MaxLayers layer
// samples whose zones hold the note; they sound together (two velocity
// layers cross-faded, for example).
//
// Each layer is read from its integrated data (J form, the running sum) with
// Catmull-Rom interpolation, and the difference of two reads divided by the
// nominal step is the output, so resampling averages the signal over each
// step. A layer with a loop plays its loop with a cross-fade zone before the
// loop end: from the fade start xs to the loop end le the read blends toward
// the partner position one loop length earlier, with the weight
// a = 1 - (1 - u)^2, u = (p - xs) / (le - xs); at le the position moves back
// by the loop length, where a is 1, so the output goes on seamlessly from the
// partner read. Loop start and end follow two modulation inputs, by up to
// the zone's Loop Mod Range in frames.
//
// After note-off a looping layer leaves its loop at the next pass and plays
// to its end, unless Release Loop is on. The generator reports itself
// finished when no layer filled the block.
//
// Threads: construction and create while audio is stopped; cachePara on the
// thread of a parameter change; prepProc, adjustSampleStart and the renders
// on the audio thread. Each layer's sample is read only under its tried read
// permission: a refused layer renders a silent block, keeps its position and
// counts as still playing (a note held through an edit of its sample goes
// on), and after the lock is granted the layer checks its position and loop
// points against the sample's current length before it reads.
#pragma once

#include "Generator.h"

#include <cstdint>

class WaveRAM2_c;
class WaveSample_c;

constexpr int TypeCodeSamLoop = 0x47533033; // 'GS03'

class SamLoop_c final : public Generator_c
{
public:
    enum Para_t : int {
        lpVersion = 0,
        lpOnOff = 1, // the voice's switch; not read here
        lpOctave = 2,
        lpSemitone = 3,
        lpCent = 4,
        lpPitchTrack = 5,
        lpSmooth = 6, // cross-fade share of the loop, 0.1..99.9 %
        lpReleaseLoop = 7,
        lpCount = 8,
    };

    // Layer samples played at once.
    static constexpr int MaxLayers = 8;
    // The sampler needs a rate above this (Hz) to be ready.
    static constexpr float MinSampleRate = 22000.0f;

    SamLoop_c();
    ~SamLoop_c() override;

    using Generator_c::create;
    using Generator_c::getParaSetPtr;
    using Generator_c::prepProc;

    // While audio is stopped: the memory and the control-rate inputs (one
    // value per 8 output samples). Loop modulation is on only when both loop
    // inputs are given.
    virtual void create(WaveRAM2_c* memory, float* level, float* pitch, float* loopStartMod, float* loopEndMod);

    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    int getTypeCode() const override;
    void cachePara(CacheReason_t reason, int set, int idx) override;
    void checkSetFlagReady() override;

    // Audio thread: note start: the layers from the memory, their speeds and
    // start positions.
    void prepProc(int instrument, Note_c note, bool legato) override;
    // Audio thread, after the note start: every layer starts offset * 10000
    // frames after its start frame.
    void adjustSampleStart(float offset);
    // Audio thread: plain, cross-FM and cross-AM render of copy 0 (the loop
    // sampler has no unison); true when no layer is left playing.
    bool renderNX(int n, int copy) override;
    bool renderXF(int n, int copy) override;
    bool renderXA(int n, int copy) override;

    // Inspection.
    WaveRAM2_c* getMemory() const { return memory; }
    int getLayerCount() const { return layerCount; }
    double getLayerPosition(int l) const;
    bool getLoopModulation() const { return loopModOn; }

private:
    struct Layer_t
    {
        WaveSample_c* sample = nullptr;
        double pos = 0.0;
        double prev = 0.0;
        double speed = 0.0;     // base step per output sample, frames
        float volume = 1.0f;    // the zone's gain at note start (velocity cross-fade included)
        // One period of the root in the sample's own frames (its rate over
        // the root frequency): the shortest loop the layer plays.
        double rootPeriod = 100.0;
        int32_t startFrame = 0; // at note start
        bool fading = false;
        bool over = false;      // played to its end
        double savedLs = -1.0, savedLe = -1.0, savedXs = -1.0;
    };
    // The loop of one layer for the current block.
    struct Loop_t
    {
        bool looping = false;
        double ls = 0.0, le = 0.0, len = 0.0, xs = 0.0;
    };

    bool renderAllSamples(int n, int mode);
    // Layer setup step: the loop points from the sample and the loop inputs
    // a and b (-1..1 of the Loop Mod Range).
    Loop_t setupLoop(const Layer_t& layer, float a, float b, bool keepLooping) const;
    template <int Mode, int Channels>
    bool renderLayer(Layer_t& layer, int n, float* outL, float* outR, const float* mod, bool keepLooping);
    // renderLayer for the render mode mode (cross-FM, cross-AM, else plain).
    template <int Channels>
    bool renderLayerIn(int mode, Layer_t& layer, int n, float* outL, float* outR, const float* mod, bool keepLooping);

    WaveRAM2_c* memory = nullptr;
    float* levelIn = nullptr;
    float* pitchIn = nullptr;
    float* loopStartIn = nullptr;
    float* loopEndIn = nullptr;
    bool loopModOn = false;

    RelaxedAtomic_t<float> smooth{0.2f};      // share of the loop, 0.001..0.999
    RelaxedAtomic_t<bool> releaseLoop{false};

    // Audio thread only.
    Layer_t layers[MaxLayers];
    WaveSample_c* layerList[MaxLayers + 1] = {};
    int layerCount = 0;
};
