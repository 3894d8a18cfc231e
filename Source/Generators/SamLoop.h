// SamLoop_c ('GS03'): the loop sampler of generator slots 1 and 2.
// Placeholder until the sampler is built: it ignores what create gives it,
// renders nothing and, with no layer for any note, reports itself finished
// at every render, as the sampler does for a note outside every zone.
//
// Threads: construction and create while audio is stopped; note start,
// adjustSampleStart and render on the audio thread.
#pragma once

#include "Generator.h"

class WaveRAM2_c;

constexpr int TypeCodeSamLoop = 0x47533033; // 'GS03'

class SamLoop_c : public Generator_c
{
public:
    SamLoop_c() : Generator_c(true) {}
    ~SamLoop_c() override = default;

    using Generator_c::create;
    using Generator_c::prepProc;

    // While audio is stopped: the multisample memory, the level and pitch
    // inputs and the loop-start and loop-end modulation inputs (one float per
    // 8 output samples each).
    virtual void create(WaveRAM2_c*, float*, float*, float*, float*) {}
    int getTypeCode() const override { return TypeCodeSamLoop; }
    void prepProc(int instrument, Note_c note, bool legato) override { Generator_c::prepProc(instrument, note, legato); }
    // Moves the read start of every playing layer; there are none.
    void adjustSampleStart(float) {}
    // No layer: nothing to play, finished.
    bool renderNX(int, int) override { return true; }
    bool renderXF(int, int) override { return true; }
    bool renderXA(int, int) override { return true; }
};
