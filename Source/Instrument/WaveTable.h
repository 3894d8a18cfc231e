// WaveTable_c: the wavetable store of one wavetable generator slot (a global
// module of the instrument). Stand-in until the sample stores are built: it
// holds no table, defines no parameters and has nothing to give a generator.
#pragma once

#include "Part.h"

class WaveTable_c : public Part_c
{
public:
    WaveTable_c() = default;
    ~WaveTable_c() override = default;
    // No table is held yet.
    bool hasTable() const { return false; }
};
