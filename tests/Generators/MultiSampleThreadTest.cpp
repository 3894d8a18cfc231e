// The multisample memory under load: the user-interface thread loads one file
// into several zones (so they share it), reverses the master (the borrowers
// take copies), frees and reloads, while the audio thread starts notes on
// those zones and renders them through the loop sampler. A voice must never
// read data being handed over or freed; ThreadSanitizer reports any access
// made without the zone's lock.
#include "MultiSampleRig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace MultiTest;

TEST(MultiSampleThread, LoadShareAndFreeWhileVoicesPlay)
{
    TestSupport::TempDir dir;
    const std::string file = dir.file("shared.wav");
    writeWav(file, sineWave(3000, 441.0, 44100.0), 44100, 500, 2500);
    const Tool::Disk::Path_c path(file.c_str());

    LoopRig rig;
    std::atomic<bool> stop{false};
    std::atomic<long> blocks{0};
    std::atomic<bool> badOutput{false};

    std::thread audio([&] {
        int key = 40;
        while (!stop.load()) {
            rig.noteOn(key);
            for (int b = 0; b < 8 && !stop.load(); ++b) {
                const auto out = rig.render(MaxBlockSize);
                for (float v : out)
                    if (!std::isfinite(v) || std::fabs(v) > 100.0f)
                        badOutput = true;
                blocks.fetch_add(1);
            }
            rig.noteOff(key);
            key = key == 80 ? 40 : key + 1;
        }
    });

    // At least 60 rounds, and on until the voices have played through many
    // of them, so the two threads overlap on a slow machine too.
    for (int round = 0; round < 60 || blocks.load() < 400; ++round) {
        for (int z = 0; z < 4; ++z)
            rig.memory.setSampleCore(0, z, path);
        rig.memory.setParaVal(0, WaveRAM2_c::zonePara(0, WaveRAM2_c::zpReverse), 1);
        rig.memory.setParaVal(0, WaveRAM2_c::zonePara(1, WaveRAM2_c::zpReverse), 1);
        rig.memory.setParaVal(0, WaveRAM2_c::zonePara(2, WaveRAM2_c::zpAlterne), round & 1);
        rig.memory.setParaVal(0, WaveRAM2_c::zonePara(1, WaveRAM2_c::zpLoopEnd), 1000 + round % 100 * 10);
        // Overlapping velocity layers: note starts crossfade the gains that
        // volume changes write.
        rig.memory.setParaVal(0, WaveRAM2_c::zonePara(0, WaveRAM2_c::zpVeloHi), 100 + round % 20);
        rig.memory.setParaVal(0, WaveRAM2_c::zonePara(1, WaveRAM2_c::zpVeloLo), 60);
        rig.memory.setParaVal(0, WaveRAM2_c::zonePara(1, WaveRAM2_c::zpVolume), -(round % 50));
        rig.memory.freeSample(0, 0);
        rig.memory.setParaVal(0, WaveRAM2_c::zonePara(0, WaveRAM2_c::zpReverse), 0);
        rig.memory.setParaVal(0, WaveRAM2_c::zonePara(1, WaveRAM2_c::zpReverse), 0);
        if (round % 10 == 9)
            rig.memory.freeAllSamples(0);
    }
    stop = true;
    audio.join();
    EXPECT_FALSE(badOutput.load());
}
