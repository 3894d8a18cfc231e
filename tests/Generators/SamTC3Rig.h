// The time-stretch sampler on a loaded sample slot: a sine at the Root
// note's frequency (so one root period is one cycle of it) written as a D4T
// fixture and loaded through the slot's Filename, the generator bound to the
// slot, its level, pitch and time inputs (time at rest, 0), and the slot's
// data in plain form for comparisons.
#pragma once

#include "SamTC3.h"
#include "SamplerTestRig.h"
#include "TestSupport.h"
#include "WaveRAM.h"

#include <string>
#include <vector>

namespace SamTC3Test {

struct Rig : SamplerTest::GeneratorRig<SamTC3_c>
{
    static constexpr int Frames = 20000;

    Rig()
    {
        slot.tuning = &tuning;
        sourceHz = tuning.get(60.0f);
        SamplerTest::writeSampleFile(dir.file("src.d4t"), SamplerTest::sineWave(Frames, sourceHz, rate), 44100);
        slot.setParaCharPtr(0, WaveRAM_c::wrFilename, dir.file("src.d4t").c_str());
        EXPECT_EQ(slot.getSampleCount(), 1);
        gen.create(&slot, level.data(), pitch.data(), third.data());
    }

    // The slot's data as plain samples.
    std::vector<float> plain()
    {
        const WaveSample_c& s = *slot.getSample();
        std::vector<float> v(s.left, s.left + s.frames);
        for (size_t i = v.size() - 1; i >= 1; --i)
            v[i] -= v[i - 1];
        return v;
    }

    TestSupport::TempDir dir;
    WaveRAM_c slot;
    double sourceHz = 0.0;
};

} // namespace SamTC3Test
