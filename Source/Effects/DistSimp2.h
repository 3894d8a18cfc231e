// DistSimp2_c ("VD01"): a per-voice distortion that every voice builds and
// lists among its parts, so that its parameter set exists and travels with
// the program. It never processes audio: its cachePara and render are the
// empty ones of its bases.
//
// Threads: construction, create and parameter definition while audio is
// stopped.
#pragma once

#include "Variator.h"

class DistSimp2_c : public VariatorInst_c
{
public:
    using VariatorInst_c::create;
    using VariatorInst_c::getParaSetPtr;

    DistSimp2_c() = default;
    ~DistSimp2_c() override;

    // Binds the two external modulation inputs; always true.
    bool create(float* modA, float* modB);
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    int getTypeCode() const override;
    // Input 0 rests at the scaled "Intense"; all others at 0.
    float getModSampleDefault(int input) const override;

    float* modInputA = nullptr;
    float* modInputB = nullptr;
    int32_t state = 0;
};
