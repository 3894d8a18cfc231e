// WaveRAM_c: the sample store of one time-stretch sampler slot (a global
// module of the instrument). Stand-in until the sample stores are built: it
// holds no sample, defines no parameters and has nothing to give a sampler.
#pragma once

#include "Part.h"

class WaveRAM_c : public Part_c
{
public:
    WaveRAM_c() = default;
    ~WaveRAM_c() override = default;
    // No sample is held yet.
    bool hasSample() const { return false; }
};
