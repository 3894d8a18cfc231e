#include "SamTC3Rig.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <vector>

using SamplerTest::zeroCrossingHz;
using SamTC3Test::Rig;

TEST(SamTC3, ParametersAndDefaults)
{
    Rig rig;
    EXPECT_EQ(rig.gen.getTypeCode(), ProcTest::fourCC("GS02"));
    char name[ParaNameBufferBytes];
    rig.gen.getParaName(0, SamTC3_c::tcTime, name);
    EXPECT_STREQ(name, "Time    ");
    EXPECT_FLOAT_EQ(rig.gen.getParaFl(0, SamTC3_c::tcTime), 1.0f);
    EXPECT_TRUE(rig.gen.finishes);
}

TEST(SamTC3, TimeOnePlaysTheSourceBack)
{
    Rig rig;
    rig.start(60);
    const std::vector<float> out = rig.render(Rig::Frames);
    // The first period comes from head A alone, frame by frame; then head B,
    // which waits at start + L, carries on. L is not a whole number of
    // frames, so from there on the output is the source's mean over one frame
    // ending at i - (ceil(L) - L).
    const float* j = rig.slot.getSample()->left;
    const auto readJ = [j](double p) {
        const int i = static_cast<int>(std::floor(p));
        const double f = p - i;
        return (i < 0 ? 0.0 : j[i]) * (1.0 - f) + (i + 1 < 0 ? 0.0 : j[i + 1]) * f;
    };
    const double L = rig.gen.getRootPeriod();
    const double shift = std::ceil(L) - L;
    const int upTo = Rig::Frames - 2 * static_cast<int>(L);
    double worst = 0.0;
    for (int i = 0; i < upTo; ++i) {
        const double p = i < L ? i : i - shift;
        const double expected = readJ(p) - readJ(p - 1.0);
        worst = std::max(worst, std::fabs(out[i] - expected));
    }
    EXPECT_LT(worst, 1e-4);
    EXPECT_NEAR(rig.gen.getCopyState(0).x, SamTC3_c::StartFade, 1e-9) << "the cross-fade never moved";
}

TEST(SamTC3, TimeAndPitchAreSetApart)
{
    // Time 2.00 doubles the length at the same pitch; a key an octave up
    // doubles the pitch at the same length; the time input moves the time
    // speed around its rest.
    struct Row
    {
        int key, time;   // time stored x100
        float timeInput; // at rest: 0
        double lengthFactor, pitchFactor;
    } rows[] = {
        {60, 100, 0.0f, 1.0, 1.0},
        {60, 200, 0.0f, 2.0, 1.0},
        {60, 50, 0.0f, 0.5, 1.0},
        {72, 100, 0.0f, 1.0, 2.0},
        {48, 200, 0.0f, 2.0, 0.5},
        {60, 100, 1.0f, 0.5, 1.0},
        {60, 100, -0.5f, 2.0, 1.0},
    };
    for (const Row& r : rows) {
        Rig rig;
        rig.para(SamTC3_c::tcTime, r.time);
        rig.thirdDefault = r.timeInput;
        rig.start(r.key);
        const std::vector<float> out = rig.render(4 * Rig::Frames, MaxBlockSize, true);
        ASSERT_GT(rig.finishedAt, 0) << r.key << " " << r.time;
        const double length = static_cast<double>(rig.finishedAt);
        // The end is reached within a block, and head A alone finishes the
        // last period.
        const double slack = MaxBlockSize + 2.0 * rig.gen.getRootPeriod() / r.pitchFactor;
        EXPECT_NEAR(length, Rig::Frames * r.lengthFactor, slack) << r.key << " " << r.time << " " << r.timeInput;
        const size_t from = out.size() / 5, to = out.size() * 3 / 5;
        const double hz = zeroCrossingHz(out, from, to, rig.rate);
        EXPECT_NEAR(hz / (rig.sourceHz * r.pitchFactor), 1.0, 0.01) << r.key << " " << r.time;
    }
}

TEST(SamTC3, FullLoopRestartsInsteadOfFinishing)
{
    Rig rig;
    rig.para(SamTC3_c::tcFullLoop, 1);
    rig.start(60);
    const std::vector<float> out = rig.render(3 * Rig::Frames);
    EXPECT_EQ(rig.finishedCount, 0);
    // Still sounding in the third pass, and every pass starts over at the
    // start frame with head A alone.
    EXPECT_GT(ProcTest::rms(std::vector<float>(out.end() - Rig::Frames / 2, out.end())), 0.3);
    EXPECT_LT(rig.gen.getCopyState(0).b, Rig::Frames);

    Rig once;
    once.start(60);
    once.render(3 * Rig::Frames);
    EXPECT_GT(once.finishedCount, 0);
}

TEST(SamTC3, ExtremeInputsRenderInBoundedTime)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Row
    {
        float pitch, time;
    } rows[] = {
        {1e6f, 1.0f}, {-1e6f, 1.0f}, {nan, 1.0f}, {inf, 1.0f},   {0.0f, 1e30f},
        {0.0f, -1e30f}, {0.0f, nan}, {1e6f, -1e30f}, {-1e6f, 1e30f},
    };
    for (bool loop : {false, true}) {
        for (const Row& r : rows) {
            Rig rig;
            rig.para(SamTC3_c::tcFullLoop, loop ? 1 : 0);
            rig.pitchSignal = [&](long long) { return r.pitch; };
            rig.thirdSignal = [&](long long) { return r.time; };
            rig.start(60);
            const auto t0 = std::chrono::steady_clock::now();
            const std::vector<float> out = rig.render(64 * MaxBlockSize);
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            EXPECT_LT(seconds, 2.0) << r.pitch << " " << r.time << " " << loop;
            for (float v : out)
                ASSERT_TRUE(std::isfinite(v)) << r.pitch << " " << r.time << " " << loop;
        }
    }
}

TEST(SamTC3, NothingToPlayReportsFinished)
{
    {
        Rig rig;
        rig.slot.setParaCharPtr(0, WaveRAM_c::wrFilename, "");
        rig.start(60);
        EXPECT_EQ(rig.gen.getPlayingSample(), nullptr);
        rig.render(MaxBlockSize);
        EXPECT_EQ(rig.finishedAt, MaxBlockSize);
    }
    {
        Rig rig;
        rig.slot.setParaVal(0, WaveRAM_c::wrZoneHigh, 50);
        rig.start(60);
        rig.render(MaxBlockSize);
        EXPECT_EQ(rig.finishedAt, MaxBlockSize) << "a key outside the zone gets no sample";
    }
    {
        Rig rig;
        rig.slot.getSample()->end = rig.slot.getSample()->start;
        rig.start(60);
        const std::vector<float> out = rig.render(MaxBlockSize);
        EXPECT_EQ(rig.finishedAt, MaxBlockSize) << "end at the start";
        EXPECT_EQ(ProcTest::peak(out), 0.0f);
    }
}

TEST(SamTC3, CrossModesUseTheCarrier)
{
    Rig plain;
    plain.start(60);
    const std::vector<float> ref = plain.render(Rig::Frames / 2);

    Rig am;
    am.gen.setRenderMode(Generator_c::rmCrossAM);
    am.modSignal = [](long long) { return 0.5f; };
    am.start(60);
    const std::vector<float> halved = am.render(Rig::Frames / 2);
    EXPECT_NEAR(ProcTest::rms(halved) / ProcTest::rms(ref), 0.5, 1e-3);

    Rig fm;
    fm.gen.setRenderMode(Generator_c::rmCrossFM);
    fm.modSignal = [](long long) { return 2.0f; };
    fm.start(60);
    const std::vector<float> doubled = fm.render(Rig::Frames / 4);
    const double hz = zeroCrossingHz(doubled, 0, doubled.size(), fm.rate);
    EXPECT_NEAR(hz / (2.0 * fm.sourceHz), 1.0, 0.01);
}

TEST(SamTC3, AReloadUnderAHeldNoteRestartsOnTheNewData)
{
    Rig rig;
    rig.para(SamTC3_c::tcFullLoop, 1);
    rig.start(60);
    rig.render(Rig::Frames * 3 / 4);
    ASSERT_GT(rig.gen.getCopyState(0).b, 600.0);
    // A much shorter sample replaces the playing one.
    const std::string shortFile = rig.dir.file("short.d4t");
    SamplerTest::writeSampleFile(shortFile, SamplerTest::sineWave(500, rig.sourceHz, rig.rate), 44100);
    rig.slot.setParaCharPtr(0, WaveRAM_c::wrFilename, shortFile.c_str());
    ASSERT_EQ(rig.slot.getSample()->frames, 500);
    for (int k = 0; k < 8; ++k) {
        rig.render(MaxBlockSize);
        const SamTC3_c::Copy_t& c = rig.gen.getCopyState(0);
        EXPECT_LT(c.a, 500.0) << k;
        EXPECT_LT(c.b, 500.0 + rig.gen.getRootPeriod()) << k;
    }
}

TEST(SamTC3, UnisonPlaysFiveCopies)
{
    Rig rig;
    rig.para(SamTC3_c::tcSpread, 1000); // 10 cent
    rig.start(60);
    const std::vector<float> out = rig.render(4 * Rig::Frames, MaxBlockSize, true);
    ASSERT_GT(rig.finishedAt, 0);
    // Five copies at full level add up to about five times the level.
    EXPECT_GT(ProcTest::peak(out), 3.0f);
}
