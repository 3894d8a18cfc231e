// WaveRAM2_c: the zones and samples of one loop sampler (a global module of
// the instrument). Stand-in until the sample stores are built: every zone is
// empty and it defines no parameters.
#pragma once

#include "Part.h"

class WaveSample_c;

class WaveRAM2_c : public Part_c
{
public:
    WaveRAM2_c() = default;
    ~WaveRAM2_c() override = default;
    // The sample of a zone: none is held yet. Thread: any.
    WaveSample_c* getSample(int /*instrument*/, int /*zone*/) const { return nullptr; }
};
