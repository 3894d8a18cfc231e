// Amp_c ("VAM1"): the voice's amplifier. It multiplies the input bus by a
// level that the voice computes once per control step (8 samples), ramping
// linearly from one step's level to the next, and adds the result into the
// output bus; with a pan array as well it writes stereo with a smoothed pan.
// Mono input gives mono output, stereo input stereo output; it never replaces
// what the output bus already holds.
//
// Threads: create before audio runs (or while it is stopped); note start and
// render on the audio thread.
#pragma once

#include "Variator.h"

class Amp_c : public VariatorTone_c
{
public:
    using VariatorTone_c::create;
    using VariatorTone_c::getParaSetPtr;
    using VariatorTone_c::prepProc;
    using VariatorTone_c::render;

    // Binds the voice's level array (one float per control step) and,
    // optionally, its pan array (-1..1 per control step; null: no pan). The
    // amplifier is ready only while it has a level array.
    void create(float* level);
    void create(float* level, float* pan);

    // Needs to be ready and an input bus with a signal: pan array -> stereo
    // with pan, mono input -> mono, stereo input -> stereo. Entry i / 8 of
    // the arrays serves sample i of the piece.
    void render(int n) override;
    // Back to silence: level, target, step and pan 0.
    void initBuffer() override;
    // One "Version" parameter per set.
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    int getTypeCode() const override;
    // A fresh note (not legato) starts from silence: it ramps up within its
    // first control step, and its pan comes from hard left toward the target.
    void prepProc(int instrument, Note_c note, bool legato) override;
    // Ready only with a level array.
    void checkSetFlagReady() override;

    float* getLevelArray() const { return levelArray; }
    float* getPanArray() const { return panArray; }

    float level = 0.0f;  // current gain
    float target = 0.0f; // level of the current control step
    float step = 0.0f;   // gain change per sample toward the target
    float pan = 0.0f;    // 0..2, 1 the centre

private:
    void renderMono(int n);
    void renderStereo(int n);
    void renderStereoPan(int n);
    // At the first sample of each control step: the next target and the
    // step toward it.
    void takeLevel(int i);

    float* levelArray = nullptr;
    float* panArray = nullptr;
};
