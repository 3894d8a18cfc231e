// The time-stretch sampler while another thread holds its sample: the audio
// side never waits, renders a silent block and keeps the note going.
#include "SamTC3Rig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(SamTC3Thread, AHeldSampleLockGivesASilentBlockAndTheNoteGoesOn)
{
    SamTC3Test::Rig rig;
    rig.start(60);
    const std::vector<float> before = rig.render(4 * MaxBlockSize);
    ASSERT_GT(ProcTest::peak(before), 0.5f);

    std::atomic<bool> held{false}, release{false};
    std::thread editor([&] {
        rig.slot.getSample()->lock.getWritePermission();
        held = true;
        while (!release)
            std::this_thread::yield();
        rig.slot.getSample()->lock.releaseWritePermission();
    });
    while (!held)
        std::this_thread::yield();
    const std::vector<float> during = rig.render(2 * MaxBlockSize);
    release = true;
    editor.join();

    EXPECT_EQ(ProcTest::peak(during), 0.0f);
    EXPECT_EQ(rig.finishedCount, 0) << "a refused lock must not end the note";
    const std::vector<float> after = rig.render(4 * MaxBlockSize);
    EXPECT_GT(ProcTest::peak(after), 0.5f) << "the note sounds again";
    EXPECT_EQ(rig.finishedCount, 0);
}

TEST(SamTC3Thread, ReloadsWhileANotePlaysNeverReadBeyondTheData)
{
    SamTC3Test::Rig rig;
    rig.para(SamTC3_c::tcFullLoop, 1);
    const std::string longFile = rig.dir.file("src.d4t");
    const std::string shortFile = rig.dir.file("short.d4t");
    SamplerTest::writeSampleFile(shortFile, SamplerTest::sineWave(700, rig.sourceHz, rig.rate), 44100);
    rig.start(60);

    SamplerTest::renderWhileEditing(rig, [&](const std::atomic<bool>& stop) {
        for (int k = 0; k < 40 && !stop; ++k)
            rig.slot.setParaCharPtr(0, WaveRAM_c::wrFilename, (k % 2 ? longFile : shortFile).c_str());
    });
    EXPECT_EQ(rig.finishedCount, 0) << "FullLoop: the note never ends, reloads or not";
}
