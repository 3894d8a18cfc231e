// The loop sampler, measured: pitch, the seamless loop wrap, Release Loop,
// a layer refused by its lock, tiny samples and the end of a note.
#include "MultiSampleRig.h"

#include "SignalMeasure.h"
#include "WaveSample.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <atomic>
#include <random>
#include <thread>

using namespace MultiTest;
using SignalMeasure::allFinite;

namespace {

// The largest step between neighbouring output samples in x[from..to).
float largestStep(const std::vector<float>& x, size_t from, size_t to)
{
    float m = 0.0f;
    for (size_t i = from + 1; i < to && i < x.size(); ++i)
        m = std::max(m, std::fabs(x[i] - x[i - 1]));
    return m;
}

// The one-cycle loops below: a 480 Hz sine at the sample's rate, looped
// over exactly one period after two periods of lead-in, then noise, so a
// loop that runs on past its end no longer repeats one cycle. The root, B4
// (493.9 Hz), is a little above the loop's pitch: one root period is shorter
// than the loop, which is then played as it is.
constexpr double LoopHz = 480.0;
constexpr int LoopRoot = 71;

std::vector<float> oneCycleThenNoise(int rate)
{
    const int period = static_cast<int>(rate / LoopHz);
    std::vector<float> x = sineWave(3 * period, LoopHz, rate);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> noise(-0.9f, 0.9f);
    for (int i = 0; i < 4 * period; ++i)
        x.push_back(noise(rng));
    return x;
}

// Cents of the held note's pitch from LoopHz, measured after the lead-in.
double loopCents(LoopRig& rig, double engineRate)
{
    rig.noteOn(LoopRoot);
    const auto out = rig.render(static_cast<long long>(engineRate * 0.5));
    const double hz = zeroCrossingHz(out, static_cast<size_t>(engineRate * 0.05), out.size(), engineRate);
    return 1200.0 * std::log2(hz / LoopHz);
}

} // namespace

TEST(SamLoop, ParametersAndReadiness)
{
    LoopRig rig;
    char name[ParaNameBufferBytes];
    rig.gen.getParaName(0, SamLoop_c::lpSmooth, name);
    EXPECT_STREQ(name, "Smooth");
    rig.gen.getParaName(0, SamLoop_c::lpReleaseLoop, name);
    EXPECT_STREQ(name, "Release Loop");
    EXPECT_EQ(rig.gen.getParaVal(0, SamLoop_c::lpSmooth), 200);
    EXPECT_TRUE(rig.gen.isReady());
    EXPECT_TRUE(rig.gen.getLoopModulation());
    SamLoop_c without;
    without.create(&rig.memory, rig.level.data(), rig.pitch.data(), rig.loopStart.data(), nullptr);
    EXPECT_FALSE(without.getLoopModulation());
}

TEST(SamLoop, ANoteOutsideEveryZoneIsSilentAndFinished)
{
    LoopRig rig;
    rig.zone(0, sineWave(4000, 440.0, 44100.0), 69, 60, 72);
    rig.noteOn(40);
    EXPECT_EQ(rig.gen.getLayerCount(), 0);
    const auto out = rig.render(512);
    EXPECT_TRUE(rig.finished);
    EXPECT_LT(ProcTest::peak(out), 1e-6f);
}

TEST(SamLoop, PlaysAtThePitchOfTheKeyAgainstTheRoot)
{
    struct Case
    {
        int key;
        double rate;
    } cases[] = {{69, 44100.0}, {81, 44100.0}, {57, 48000.0}, {64, 96000.0}};
    for (const Case& c : cases) {
        LoopRig rig(static_cast<float>(c.rate));
        // A sine at 440 Hz recorded at 44.1 kHz, root A4.
        rig.zone(0, sineWave(44100, 440.0, 44100.0), 69);
        rig.noteOn(c.key);
        const auto out = rig.render(static_cast<long long>(c.rate * 0.4));
        const double hz = zeroCrossingHz(out, 200, out.size(), c.rate);
        EXPECT_NEAR(hz, noteHz(c.key), noteHz(c.key) * 0.002) << "key " << c.key << " at " << c.rate;
        // The level follows the sample: a 0.9 sine normalised to full scale.
        EXPECT_NEAR(ProcTest::peak(out), 1.0f, 0.03f) << "key " << c.key;
    }
}

TEST(SamLoop, TheLoopWrapsWithoutAJump)
{
    // A loop that spans a fractional number of periods: a plain jump back
    // would leave a step of about the whole amplitude.
    const double hz = 68.5;
    LoopRig rig;
    rig.zone(0, sineWave(20000, hz, 44100.0), 69, 0, 127, 5003, 15517);
    rig.noteOn(69);
    const auto out = rig.render(44100 * 2);
    EXPECT_FALSE(rig.finished); // held, looping: still playing after the sample's length
    const float inLoop = largestStep(out, 100, 5000);
    const float overall = largestStep(out, 100, out.size());
    EXPECT_LE(overall, inLoop * 1.05f) << "in the loop " << inLoop;
    EXPECT_GT(ProcTest::rms(std::vector<float>(out.end() - 20000, out.end())), 0.5);
    EXPECT_TRUE(allFinite(out));
}

TEST(SamLoop, NoteOffLeavesTheLoopUnlessReleaseLoopIsOn)
{
    for (int releaseLoop : {0, 1}) {
        LoopRig rig;
        rig.para(SamLoop_c::lpReleaseLoop, releaseLoop);
        rig.zone(0, sineWave(8000, 441.0, 44100.0), 69, 0, 127, 2000, 6000);
        rig.noteOn(69);
        rig.render(4410);
        rig.noteOff(69);
        const auto after = rig.render(44100);
        if (releaseLoop) {
            EXPECT_FALSE(rig.finished);
            EXPECT_GT(ProcTest::rms(std::vector<float>(after.end() - 4410, after.end())), 0.3);
        } else {
            EXPECT_TRUE(rig.finished);
            EXPECT_LT(ProcTest::peak(std::vector<float>(after.begin() + 10000, after.end())), 1e-6f);
        }
    }
}

TEST(SamLoop, EqualLoopPointsPlayStraightToTheEnd)
{
    LoopRig rig;
    rig.zone(0, sineWave(8000, 441.0, 44100.0), 69, 0, 127, 4000, 4000);
    rig.noteOn(69);
    const auto out = rig.render(8192);
    EXPECT_TRUE(rig.finished);
    EXPECT_GT(ProcTest::peak(std::vector<float>(out.begin() + 7000, out.begin() + 7900)), 0.5f);
    EXPECT_LT(ProcTest::peak(std::vector<float>(out.begin() + 8000, out.end())), 1e-6f);
}

TEST(SamLoop, ALayerRefusedByItsLockIsSilentAndResumesWhereItWas)
{
    LoopRig rig;
    rig.zone(0, sineWave(44100, 441.0, 44100.0), 69);
    rig.noteOn(69);
    rig.render(1024);
    const double before = rig.gen.getLayerPosition(0);

    WaveSample_c* s = rig.memory.getSample(0, 0);
    std::atomic<bool> held{false}, done{false};
    std::thread editor([&] {
        s->lock.getWritePermission();
        held = true;
        while (!done)
            std::this_thread::yield();
        s->lock.releaseWritePermission();
    });
    while (!held)
        std::this_thread::yield();
    const auto silent = rig.render(512);
    EXPECT_FALSE(rig.finished); // a held note survives the edit
    EXPECT_LT(ProcTest::peak(silent), 1e-6f);
    EXPECT_EQ(rig.gen.getLayerPosition(0), before);
    done = true;
    editor.join();

    const auto resumed = rig.render(512);
    EXPECT_GT(ProcTest::peak(resumed), 0.5f);
    EXPECT_NEAR(rig.gen.getLayerPosition(0), before + 512.0, 1e-6);
}

TEST(SamLoop, ALayerWhoseSampleShrankEndsInsteadOfReadingPastIt)
{
    LoopRig rig;
    rig.zone(0, sineWave(44100, 441.0, 44100.0), 69, 0, 127, 1000, 40000);
    rig.noteOn(69);
    rig.render(20000);
    // The zone now holds a much shorter sample.
    rig.zone(0, sineWave(500, 441.0, 44100.0), 69);
    const auto out = rig.render(1024);
    EXPECT_TRUE(rig.finished);
    EXPECT_TRUE(allFinite(out));
}

TEST(SamLoop, TinySamplesRenderFiniteOutput)
{
    // Loops in samples shorter than the shortest loop (one root period):
    // the clamps meet and no fade zone is left.
    for (int frames : {2, 3, 4, 5, 8, 13, 40, 101}) {
        for (int smooth : {1, 500, 999}) {
            LoopRig rig;
            rig.para(SamLoop_c::lpSmooth, smooth);
            std::vector<float> x(static_cast<size_t>(frames));
            for (int i = 0; i < frames; ++i)
                x[static_cast<size_t>(i)] = (i % 2) ? 0.8f : -0.8f;
            rig.zone(0, x, 30, 0, 127, 0, frames - 1);
            rig.loopStartSignal = [](long long k) { return (k % 7) * 0.3f - 1.0f; };
            rig.loopEndSignal = [](long long k) { return (k % 5) * 0.5f - 1.0f; };
            rig.noteOn(90);
            const auto out = rig.render(4096);
            EXPECT_TRUE(allFinite(out)) << frames << " frames, smooth " << smooth;
            EXPECT_LT(ProcTest::peak(out), 100.0f) << frames << " frames, smooth " << smooth;
        }
    }
}

TEST(SamLoop, LoopModulationMovesTheLoopAndStaysFinite)
{
    LoopRig rig;
    rig.zone(0, sineWave(30000, 441.0, 44100.0), 69, 0, 127, 5000, 20000);
    rig.memoryPara(0, WaveRAM2_c::zpLoopModRange, 4000);
    rig.loopStartSignal = [](long long k) { return static_cast<float>(std::sin(k * 0.01)); };
    rig.loopEndSignal = [](long long k) { return static_cast<float>(std::cos(k * 0.013)); };
    rig.noteOn(81);
    const auto out = rig.render(44100 * 3);
    EXPECT_FALSE(rig.finished);
    EXPECT_TRUE(allFinite(out));
    EXPECT_GT(ProcTest::rms(std::vector<float>(out.end() - 4410, out.end())), 0.3);
}

TEST(SamLoop, SampleStartModulationOffsetsEveryLayer)
{
    LoopRig rig;
    rig.zone(0, sineWave(44100, 441.0, 44100.0), 69);
    rig.noteOn(69);
    rig.gen.adjustSampleStart(0.5f);
    EXPECT_DOUBLE_EQ(rig.gen.getLayerPosition(0), 5000.0);
    rig.gen.adjustSampleStart(-1.0f);
    EXPECT_DOUBLE_EQ(rig.gen.getLayerPosition(0), 0.0);
}

TEST(SamLoop, AHalfFMStreamHalvesTheStepAndTheLevel)
{
    // Plain, then as the carrier of a cross-FM pair whose modulator holds
    // 0.5: half the pitch, and half the level (the difference of two reads
    // half as far apart, divided by the same nominal step).
    double hz[2] = {}, level[2] = {};
    for (int fm = 0; fm < 2; ++fm) {
        LoopRig rig;
        InBuffer2_c modulator;
        ProcTest::makeBus(modulator, 1);
        rig.gen.setInBuf(&modulator);
        rig.zone(0, sineWave(44100, 880.0, 44100.0), 81);
        rig.noteOn(81);
        rig.gen.setRenderMode(fm ? Generator_c::rmCrossFM : Generator_c::rmPlain);
        std::vector<float> out;
        for (int b = 0; b < 100; ++b) {
            modulator.prepCycle(MaxBlockSize);
            ProcTest::writeMono(modulator, MaxBlockSize, ProcTest::dc(0.5f));
            const auto piece = rig.render(MaxBlockSize);
            out.insert(out.end(), piece.begin(), piece.end());
        }
        hz[fm] = zeroCrossingHz(out, 256, out.size(), 44100.0);
        level[fm] = ProcTest::rms(std::vector<float>(out.begin() + 256, out.end()));
    }
    EXPECT_NEAR(hz[1] / hz[0], 0.5, 0.002);
    EXPECT_NEAR(level[1] / level[0], 0.5, 0.01);
}

// The shortest loop is one root period in the sample's own frames, as the
// loop points are: a loop's pitch does not depend on the host's rate.
TEST(SamLoop, AOneCycleLoopPlaysAtItsPitchAtEveryEngineRate)
{
    const struct
    {
        int sampleRate;
        double engineRate;
    } cases[] = {{24000, 48000.0}, {48000, 48000.0}, {48000, 96000.0}};
    for (const auto& c : cases) {
        LoopRig rig(static_cast<float>(c.engineRate));
        const int period = static_cast<int>(c.sampleRate / LoopHz);
        rig.zone(0, oneCycleThenNoise(c.sampleRate), LoopRoot, 0, 127, 2 * period, 3 * period, c.sampleRate);
        EXPECT_NEAR(loopCents(rig, c.engineRate), 0.0, 1.0) << c.sampleRate << " Hz sample at " << c.engineRate;
    }
}

// A WAV sampler chunk names the last frame its loop plays: a one-cycle loop
// of 100 frames, written as libsndfile (and the samplers that write such
// chunks) writes it, loops 100 frames and plays at its pitch, not 17 cents
// sharp.
TEST(SamLoop, AWavLoopWrittenTheUsualWayPlaysAtItsPitch)
{
    constexpr int Rate = 48000;
    const std::vector<float> x = oneCycleThenNoise(Rate);
    TestSupport::TempDir dir;
    const std::string path = dir.file("cycle.wav");
    SF_INFO info{};
    info.samplerate = Rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    SF_INSTRUMENT instrument{};
    instrument.basenote = LoopRoot;
    instrument.key_hi = instrument.velocity_hi = 127;
    instrument.loop_count = 1;
    instrument.loops[0].mode = SF_LOOP_FORWARD;
    instrument.loops[0].start = 200; // libsndfile's end is the frame after the loop
    instrument.loops[0].end = 300;
    ASSERT_EQ(sf_command(f, SFC_SET_INSTRUMENT, &instrument, sizeof instrument), SF_TRUE);
    ASSERT_EQ(sf_writef_float(f, x.data(), static_cast<sf_count_t>(x.size())), static_cast<sf_count_t>(x.size()));
    sf_close(f);

    LoopRig rig(static_cast<float>(Rate));
    rig.memory.setParaPath(0, WaveRAM2_c::zonePara(0, WaveRAM2_c::zpFilename), Tool::Disk::Path_c(path.c_str()));
    rig.memoryPara(0, WaveRAM2_c::zpRoot, LoopRoot);
    EXPECT_EQ(rig.memory.getParaVal(0, WaveRAM2_c::zonePara(0, WaveRAM2_c::zpLoopStart)), 200);
    EXPECT_EQ(rig.memory.getParaVal(0, WaveRAM2_c::zonePara(0, WaveRAM2_c::zpLoopEnd)), 300);
    EXPECT_NEAR(loopCents(rig, Rate), 0.0, 1.0);
}
