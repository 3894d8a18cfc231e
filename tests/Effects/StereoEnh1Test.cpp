// The stereo enhancer: parameters, the lines' length at each rate (room for
// the longest delay), the side and mid gains, the echo pattern of each side,
// and mono input. The checks every effect type passes are in AllEffectsTest.
#include "FxKinds.h"
#include "FxMeasure1.h"
#include "StereoEnh1.h"

#include <gtest/gtest.h>

using namespace fxtest;

namespace {

TEST(StereoEnh1, ParametersAndClassAnswers)
{
    auto rig = makeRig(enhancerKind(), 44100.0f);
    const Part_c& fx = *rig->fx;
    struct Row
    {
        int idx;
        const char* name;
        int def;
    };
    for (const Row& r : {Row{0, "Version", 200}, Row{1, "Wet", 50}, Row{2, "Roomsize", 50}, Row{3, "Factor", 20}}) {
        SCOPED_TRACE(r.name);
        char name[ParaNameBufferBytes] = {};
        fx.getParaName(0, r.idx, name);
        EXPECT_STREQ(name, r.name);
        EXPECT_EQ(fx.getParaVal(0, r.idx), r.def);
    }
    EXPECT_EQ(fx.getTypeCode(), fourCC("VSE1"));
    EXPECT_FALSE(fx.isBPMDependent());
    EXPECT_EQ(StereoEnh1R_c().getTypeCode(), fourCC("VSE1"));
    rig->para(StereoEnh1_c::pRoomsize, 100);
    EXPECT_NEAR(rig->fx->getFadeTime(), 0.2329f, 1e-6f);
}

// The lines hold the longest delay (10 ms) with room to spare: at 51200 Hz
// that delay is 512 samples, which a 512-sample line would fold onto 0.
TEST(StereoEnh1, LinesHaveRoomForTheLongestDelay)
{
    struct Row
    {
        float rate;
        int length;
        int delay; // at 10.0 ms
    };
    for (const Row& r : {Row{44100.0f, 512, 441}, Row{48000.0f, 512, 480}, Row{51200.0f, 1024, 512},
                         Row{96000.0f, 1024, 960}}) {
        SCOPED_TRACE(r.rate);
        auto rig = makeRig(enhancerKind(), r.rate);
        auto& fx = static_cast<StereoEnh1_c&>(*rig->fx);
        EXPECT_EQ(fx.getLineLength(), r.length);
        rig->para(StereoEnh1_c::pWet, 100);
        rig->para(StereoEnh1_c::pFactor, 10);
        rig->para(StereoEnh1_c::pRoomsize, 100);
        EXPECT_EQ(fx.delay, r.delay);
        // The echo of an impulse comes after the delay, not at once.
        rig->run(2048, impulse(1.0f), silence());
        EXPECT_NEAR(rig->outL[0], 0.64f, 1e-6f);
        EXPECT_NEAR(rig->outL[static_cast<size_t>(r.delay)], 0.45f, 1e-6f);
    }
}

// Wet 1 and Factor 4: a = 0.45, direct gain 0.64, side gain 3.0925, mid gain
// 1 / 3.0925. Before the first echo arrives the output is the direct signal
// through the mid and side gains.
TEST(StereoEnh1, SideRaisedAndMidLowered)
{
    auto rig = makeRig(enhancerKind(), 44100.0f);
    auto& fx = static_cast<StereoEnh1_c&>(*rig->fx);
    rig->para(StereoEnh1_c::pWet, 100);
    rig->para(StereoEnh1_c::pFactor, 40);
    EXPECT_FLOAT_EQ(fx.cross, 0.45f);
    EXPECT_FLOAT_EQ(fx.direct, 0.64f);
    EXPECT_NEAR(fx.sideGain, 3.0925f, 1e-5f);
    EXPECT_NEAR(fx.midGain, 0.3234f, 1e-4f);
    rig->run(64, dc(1.0f), dc(0.0f));
    const float mid = 0.64f * 0.5f * 0.3233629f;
    const float side = 0.64f * 0.5f * 3.0925f;
    EXPECT_NEAR(rig->outL[10], mid + side, 1e-4f);
    EXPECT_NEAR(rig->outR[10], mid - side, 1e-4f);
}

// Factor 1 leaves mid and side alone; an impulse on each side then shows
// that side's comb: the left echoes alternate in sign (negative feedback),
// the right ones keep theirs (positive feedback, subtracted).
TEST(StereoEnh1, EchoPatternOfEachSide)
{
    auto rig = makeRig(enhancerKind(), 44100.0f);
    auto& fx = static_cast<StereoEnh1_c&>(*rig->fx);
    rig->para(StereoEnh1_c::pWet, 100);
    rig->para(StereoEnh1_c::pFactor, 10);
    rig->para(StereoEnh1_c::pRoomsize, 10);
    ASSERT_EQ(fx.delay, 44);
    rig->run(512, impulse(1.0f), impulse(1.0f));
    struct Row
    {
        size_t at;
        float left;
        float right;
    };
    for (const Row& r : {Row{0, 0.64f, 0.64f}, Row{44, 0.45f, -0.45f}, Row{88, -0.225f, -0.225f},
                         Row{132, 0.1125f, -0.1125f}, Row{176, -0.05625f, -0.05625f}, Row{20, 0.0f, 0.0f}}) {
        SCOPED_TRACE(r.at);
        EXPECT_NEAR(rig->outL[r.at], r.left, 1e-6f);
        EXPECT_NEAR(rig->outR[r.at], r.right, 1e-6f);
    }
}

// A mono input comes out different on the two sides.
TEST(StereoEnh1, MonoInputComesOutWide)
{
    auto rig = makeRig(enhancerKind(), 48000.0f);
    rig->run(4800, noise(0.5f, 5));
    EXPECT_GT(rms(rig->outL), 0.1);
    std::vector<float> diff(rig->outL.size());
    for (size_t i = 0; i < diff.size(); ++i)
        diff[i] = rig->outL[i] - rig->outR[i];
    EXPECT_GT(rms(diff), 0.05);
}

TEST(StereoEnh1, NotReadyWithoutRate)
{
    auto rig = makeRig(enhancerKind(), 22000.0f);
    EXPECT_FALSE(rig->fx->isReady());
    rig->run(256, dc(0.5f), dc(0.5f));
    EXPECT_EQ(peak(rig->outL), 0.0f);
}

} // namespace
