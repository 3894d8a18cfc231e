#include "SamWT.h"
#include "SamplerTestRig.h"
#include "WaveTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using SamplerTest::zeroCrossingHz;

namespace {

struct Rig : SamplerTest::GeneratorRig<SamWT_c>
{
    Rig()
    {
        EXPECT_TRUE(store.getParaSetPtr(&storeSet, 1));
        gen.createSamWT(&store, level.data(), pitch.data(), third.data(), ones.data());
    }
    // Every frame constant: frame f holds values[f] (0 where not given).
    void constantFrames(const std::vector<std::pair<int, float>>& values)
    {
        for (int i = 0; i < WaveTable_c::WTTableSize; ++i)
            WaveTable_c::storeTableValue(store.getTable(), i, 0.0f);
        for (auto [f, v] : values)
            for (int k = 0; k < WaveTable_c::WTFrameSize; ++k)
                WaveTable_c::storeTableValue(store.getTable(), f * WaveTable_c::WTFrameSize + k, v);
    }
    ParaSet_c* storeSet = nullptr;
    WaveTable_c store;
};

double cents(double measured, double expected)
{
    return 1200.0 * std::log2(measured / expected);
}

} // namespace

TEST(SamWT, ParametersAndDefaults)
{
    Rig rig;
    EXPECT_EQ(rig.gen.getTypeCode(), ProcTest::fourCC("GWT0"));
    EXPECT_FALSE(rig.gen.finishes);
    char name[ParaNameBufferBytes];
    rig.gen.getParaName(0, SamWT_c::wgWaveRide, name);
    EXPECT_STREQ(name, "WaveRide");
    EXPECT_FLOAT_EQ(rig.gen.getParaFl(0, SamWT_c::wgWaveRide), 1.0f);
}

TEST(SamWT, FramesBlendByPosition)
{
    // WaveRide 0 holds the frame at the position input; a low, untracked
    // pitch keeps the phase inside the frames' constant part.
    struct Row
    {
        float position; // 0..1 of the 64 frames
        float expected;
        const char* what;
    } rows[] = {
        {0.0f, 0.5f, "frame 0"},
        {63.5f / 64.0f, 0.75f, "frames 63 and 0 in equal parts"},
        {0.5f, 0.2f, "frame 32"},
        {32.5f / 64.0f, 0.4f, "frames 32 and 33 in equal parts"},
        {32.25f / 64.0f, 0.3f, "a quarter of the way to 33"},
        {1.0f + 32.5f / 64.0f, 0.4f, "positions wrap"},
    };
    for (const Row& r : rows) {
        Rig rig;
        rig.constantFrames({{0, 0.5f}, {32, 0.2f}, {33, 0.6f}, {63, 1.0f}});
        rig.para(SamWT_c::wgWaveRide, 0);
        rig.para(SamWT_c::wgPitchTrack, 0);
        rig.thirdDefault = r.position;
        rig.start(60);
        const std::vector<float> out = rig.render(MaxBlockSize);
        for (int s = 0; s < MaxBlockSize; s += 17)
            EXPECT_NEAR(out[s], r.expected, 1e-5) << r.what << " at " << s;
    }
}

TEST(SamWT, WaveRidePassesTheFramesInTheStoresDuration)
{
    Rig rig; // the sine table: D = 1 s
    rig.start(60);
    rig.render(44104); // 5513 control steps
    EXPECT_NEAR(rig.gen.getCopyState(0).framePosition, 64.0 * 5513 * 8 / 44100, 1e-6);

    Rig still;
    still.para(SamWT_c::wgWaveRide, 0);
    still.start(60);
    still.render(4 * MaxBlockSize);
    EXPECT_EQ(still.gen.getCopyState(0).framePosition, 0.0);
}

TEST(SamWT, PitchFollowsTheTuningTable)
{
    struct Row
    {
        int key, octave, semitone, cent;
    } rows[] = {
        {69, 0, 0, 0}, {33, 0, 0, 0}, {93, 0, 0, 0}, {60, 1, -3, 37}, {45, -2, 5, -80},
    };
    for (const Row& r : rows) {
        Rig rig;
        rig.para(SamWT_c::wgOctave, r.octave);
        rig.para(SamWT_c::wgSemitone, r.semitone);
        rig.para(SamWT_c::wgCent, r.cent);
        rig.start(r.key);
        const std::vector<float> out = rig.render(2 * 44100);
        const double expected =
            rig.tuning.get(static_cast<float>(r.key)) * std::exp2(r.octave + r.semitone / 12.0 + r.cent / 1200.0);
        EXPECT_NEAR(cents(zeroCrossingHz(out, 0, out.size(), rig.rate), expected), 0.0, 0.1) << r.key;
    }
}

TEST(SamWT, PitchTrackOffPlaysC1ForEveryKey)
{
    for (int key : {20, 60, 110}) {
        Rig rig;
        rig.para(SamWT_c::wgPitchTrack, 0);
        rig.start(key);
        const std::vector<float> out = rig.render(4 * 44100);
        EXPECT_NEAR(cents(zeroCrossingHz(out, 0, out.size(), rig.rate), SamWT_c::UntrackedHz), 0.0, 0.1) << key;
    }
}

TEST(SamWT, ThePhaseWrapsAtAnyStep)
{
    // Key 127 three octaves up: more than 128 table points per sample.
    Rig rig;
    rig.para(SamWT_c::wgOctave, 3);
    rig.start(127);
    ASSERT_GT(rig.gen.getBaseIncrement(), 128.0);
    for (int k = 0; k < 16; ++k) {
        const std::vector<float> out = rig.render(MaxBlockSize - k);
        const double phase = rig.gen.getCopyState(0).phase;
        EXPECT_GE(phase, 0.0);
        EXPECT_LT(phase, 128.0);
        for (float v : out)
            ASSERT_TRUE(std::isfinite(v));
    }
}

TEST(SamWT, CrossModesUseTheCarrier)
{
    struct Row
    {
        int mode;
        float carrier;
        double phaseFactor; // phase advance against the plain render
        double levelFactor;
    } rows[] = {
        {Generator_c::rmCrossFM, 0.0f, 0.0001, 1.0},
        {Generator_c::rmCrossFM, 5.0f, 2.0, 1.0},
        {Generator_c::rmCrossFM, 1.5f, 1.5, 1.0},
        {Generator_c::rmCrossAM, 0.0f, 1.0, 0.0},
        {Generator_c::rmCrossAM, -0.5f, 1.0, 0.5},
    };
    for (const Row& r : rows) {
        Rig rig;
        rig.para(SamWT_c::wgPitchTrack, 0);
        rig.gen.setRenderMode(r.mode);
        rig.modSignal = [&](long long) { return r.carrier; };
        rig.start(60);
        const std::vector<float> out = rig.render(64);
        const double plainStep = rig.gen.getBaseIncrement();
        EXPECT_NEAR(rig.gen.getCopyState(0).phase, 64 * plainStep * r.phaseFactor, 1e-9) << r.mode << " " << r.carrier;

        Rig plain;
        plain.para(SamWT_c::wgPitchTrack, 0);
        plain.start(60);
        const std::vector<float> ref = plain.render(64);
        if (r.mode == Generator_c::rmCrossAM) {
            EXPECT_NEAR(ProcTest::rms(out), ProcTest::rms(ref) * r.levelFactor, 1e-6) << r.carrier;
        }
    }
}

TEST(SamWT, NeverFinishesEvenInUnison)
{
    Rig rig;
    rig.para(SamWT_c::wgSpread, 500);
    rig.start(60);
    const std::vector<float> out = rig.render(8 * MaxBlockSize);
    EXPECT_EQ(rig.finishedCount, 0);
    // Five copies at full level.
    EXPECT_GT(ProcTest::peak(out), 4.0f);
    EXPECT_GT(rig.gen.getCopyState(4).phase, 0.0);
}
