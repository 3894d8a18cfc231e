// SamWT_c ('GWT0'): the wavetable generator ("Quintaro") of a generator
// slot. Placeholder until the generator is built: it ignores what createSamWT
// gives it and renders nothing; like the real generator it never reports
// itself finished.
//
// Threads: construction and createSamWT while audio is stopped; note start
// and render on the audio thread.
#pragma once

#include "Generator.h"

class WaveTable_c;

constexpr int TypeCodeSamWT = 0x47575430; // 'GWT0'

class SamWT_c : public Generator_c
{
public:
    SamWT_c() : Generator_c(false) {}
    ~SamWT_c() override = default;

    using Generator_c::prepProc;

    // While audio is stopped: the wavetable store, the level, pitch and
    // position inputs (one float per 8 output samples each) and the block of
    // ones that stands for absent cross-modulation.
    virtual void createSamWT(WaveTable_c*, float*, float*, float*, float*) {}
    int getTypeCode() const override { return TypeCodeSamWT; }
    void cachePara(CacheReason_t, int, int) override {}
    void prepProc(int instrument, Note_c note, bool legato) override { Generator_c::prepProc(instrument, note, legato); }
    bool renderOne(int, int) override { return false; }
};
