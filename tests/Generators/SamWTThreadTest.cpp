// The wavetable generator while the store rebuilds its table on another
// thread: the note goes on reading the table in place, value by value.
#include "SamWT.h"
#include "SamplerTestRig.h"
#include "TestSupport.h"
#include "WaveTable.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

TEST(SamWTThread, RebuildingTheTableWhileANotePlays)
{
    SamplerTest::GeneratorRig<SamWT_c> rig;
    ParaSet_c* storeSet = nullptr;
    WaveTable_c store;
    ASSERT_TRUE(store.getParaSetPtr(&storeSet, 1));
    rig.gen.createSamWT(&store, rig.level.data(), rig.pitch.data(), rig.third.data(), rig.ones.data());
    TestSupport::TempDir dir;
    SamplerTest::writeSampleFile(dir.file("saw.d4t"), SamplerTest::sawWave(20000, 220.0, 44100.0), 44100);
    rig.start(60);

    SamplerTest::renderWhileEditing(rig, [&](const std::atomic<bool>& stop) {
        store.setParaCharPtr(0, WaveTable_c::wtFilename, dir.file("saw.d4t").c_str());
        for (int root = 40; root < 70 && !stop; ++root)
            store.setParaVal(0, WaveTable_c::wtRoot, root);
        store.clear(0);
    });
    EXPECT_EQ(rig.finishedCount, 0);
}
