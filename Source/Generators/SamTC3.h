// SamTC3_c ('GS02'): the time-stretch sampler of a generator slot.
// Placeholder until the sampler is built: it ignores what create gives it,
// renders nothing and, holding no sample, reports itself finished at every
// render, as the sampler does when its slot has no sample for the note.
//
// Threads: construction and create while audio is stopped; note start and
// render on the audio thread.
#pragma once

#include "Generator.h"

class WaveRAM_c;

constexpr int TypeCodeSamTC3 = 0x47533032; // 'GS02'

class SamTC3_c : public Generator_c
{
public:
    SamTC3_c() : Generator_c(true) {}
    ~SamTC3_c() override = default;

    using Generator_c::create;
    using Generator_c::prepProc;

    // While audio is stopped: the sample slot and the level, pitch and time
    // inputs (one float per 8 output samples each).
    virtual void create(WaveRAM_c*, float*, float*, float*) {}
    int getTypeCode() const override { return TypeCodeSamTC3; }
    void cachePara(CacheReason_t, int, int) override {}
    void prepProc(int instrument, Note_c note, bool legato) override { Generator_c::prepProc(instrument, note, legato); }
    // No sample: nothing to play, finished.
    bool renderOne(int, int) override { return true; }
};
