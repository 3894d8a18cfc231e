// A host's sample-rate call, to the same rate or another, in a plug-in whose
// two multisample memories hold a real SoundFont's zones and looped WAV
// files: start and loop points count the samples' own frames, so no zone
// parameter moves and a save afterwards gives the same bytes as before.
#include "InterSF2.h"
#include "SampleFileBytes.h"
#include "TestSupport.h"
#include "VelaGlo.h"
#include "VelaPlayer.h"
#include "WaveRAM2.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr const char* RealSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
constexpr int LoopSamplerType = 3; // generator type of slots 1 and 2

// A 16-bit WAV file of a 441 Hz sine at 44.1 kHz whose sampler chunk loops
// frames ls..le.
void writeLoopedWav(const std::string& path, uint32_t ls, uint32_t le)
{
    using namespace SampleBytes;
    std::string pcm;
    for (int i = 0; i < 6000; ++i)
        pcm += le16(static_cast<uint16_t>(std::lround(29000.0 * std::sin(2.0 * std::numbers::pi * i / 100.0))));
    TestSupport::writeFile(path, wavFile(riffChunk("fmt ", fmtBody(1, 1, 44100, 16)) + riffChunk("smpl", smplBody(1, ls, le))
                                         + riffChunk("data", pcm)));
}

// Every frame parameter of every zone of both memories, and what each zone's
// sample plays from them.
std::vector<int> framePoints(Vela_c& vela)
{
    std::vector<int> points;
    for (int m = 0; m < 2; ++m) {
        WaveRAM2_c* memory = vela.getMultiSample(m);
        for (int z = 0; z < WaveRAM2_c::NumZones; ++z) {
            for (int k : {WaveRAM2_c::zpStartFrame, WaveRAM2_c::zpEndFrame, WaveRAM2_c::zpLoopStart,
                          WaveRAM2_c::zpLoopEnd, WaveRAM2_c::zpLoopModRange})
                points.push_back(memory->getParaVal(0, WaveRAM2_c::zonePara(z, k)));
            const WaveSample_c* s = memory->getSample(0, z);
            points.insert(points.end(), {s->start, s->end, s->loopStart, s->loopEnd, s->loopModRange});
        }
    }
    return points;
}

// The bank (index 0) and program (index 1) chunks a host would save.
std::vector<std::string> saved(VelaPlayer& p)
{
    std::vector<std::string> chunks;
    for (int32_t index : {0, 1}) {
        void* data = nullptr;
        const intptr_t size = p.call(effGetChunk, index, 0, &data);
        EXPECT_GT(size, 0);
        chunks.emplace_back(static_cast<const char*>(data), size > 0 ? static_cast<size_t>(size) : 0);
    }
    return chunks;
}

} // namespace

TEST(VelaSampleRate, RateCallsNeverMoveStoredStartAndLoopPoints)
{
    if (Tool::Disk::exists(Tool::Disk::Path_c(RealSoundFont)) != 1)
        GTEST_SKIP() << RealSoundFont << " is not installed (package timgm6mb-soundfont)";
    VelaPlayer p;
    Vela_c& vela = p.plugin();
    p.setGlobal(VelaGlo_c::gpGenType0, LoopSamplerType);
    p.setGlobal(VelaGlo_c::gpGenType0 + 1, LoopSamplerType);

    WaveRAM2_c* fonts = vela.getMultiSample(0);
    fonts->freeAllSamples(0);
    InterSF2_c(&vela, fonts, 0).interpret(Tool::Disk::Path_c(RealSoundFont));
    ASSERT_GE(fonts->InsSamples(0, false), 32);

    // WAV zones whose file loops lie off every zero crossing, so a snap
    // would move them.
    TestSupport::TempDir dir;
    WaveRAM2_c* files = vela.getMultiSample(1);
    for (int z = 0; z < 3; ++z) {
        const std::string path = dir.file("take" + std::to_string(z) + ".wav");
        writeLoopedWav(path, 1037 + 11 * z, 4061 + 7 * z);
        files->setParaPath(0, WaveRAM2_c::zonePara(z, WaveRAM2_c::zpFilename), Tool::Disk::Path_c(path.c_str()));
        ASSERT_EQ(files->getParaVal(0, WaveRAM2_c::zonePara(z, WaveRAM2_c::zpLoopStart)), 1037 + 11 * z);
    }

    const std::vector<int> points = framePoints(vela);
    const std::vector<std::string> chunks = saved(p);
    for (float rate : {VelaPlayer::Rate, VelaPlayer::Rate, 96000.0f, 44100.0f}) {
        p.call(effSetSampleRate, 0, 0, nullptr, rate);
        EXPECT_EQ(framePoints(vela), points) << "after a call for " << rate << " Hz";
        EXPECT_TRUE(saved(p) == chunks) << "saved after a call for " << rate << " Hz";
    }
}
