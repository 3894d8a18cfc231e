// The stereo delay: echo positions and levels on an impulse, equal decay per
// second with "Feedback Link", the width control, delay times that fit the
// line at every rate, the lines cleared by switching off, and recovery and
// serial form at its own settings (the checks every type passes are in
// AllEffectsTest).
#include "DelayStereo.h"
#include "FxKinds.h"
#include "FxMeasure2.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace fx2;

namespace {

using D = DelayStereo_c;
using Rig_t = Rig<D>;

// Free times (sync off), full wet, no filtering worth the name.
const Settings FreeTimes = {{D::pSyncL, 3}, {D::pSyncR, 3}, {D::pWet, 100}};

// Echo heights in dB at the echo positions of one output.
std::vector<double> echoLevels(const std::vector<float>& v, const std::vector<size_t>& at)
{
    std::vector<double> db;
    for (size_t i : at)
        db.push_back(20.0 * std::log10(std::fabs(v[i])));
    return db;
}

TEST(DelayStereo, EchoesOfAnImpulseDecayAtTheSameRatePerSecondWithLink)
{
    for (float rate : Rates) {
        SCOPED_TRACE(rate);
        auto rig = makeRig<D>(rate, false, nullptr, FreeTimes);
        const Stereo o = rig->run(static_cast<long long>(rate * 1.2), impulse());
        const double dL = 0.125 * rate;
        const double dR = 0.250 * rate;
        std::vector<size_t> l = echoes(o.l, 0.01f);
        std::vector<size_t> r = echoes(o.r, 0.01f);
        // The dry impulse, then the echoes.
        ASSERT_GE(l.size(), 5u);
        ASSERT_GE(r.size(), 4u);
        EXPECT_EQ(l[0], 0u);
        for (size_t k = 1; k < 5; ++k)
            EXPECT_NEAR(static_cast<double>(l[k]), k * dL, 1.0 + k) << "left echo " << k;
        for (size_t k = 1; k < 4; ++k)
            EXPECT_NEAR(static_cast<double>(r[k]), k * dR, 1.0 + k) << "right echo " << k;
        // 0.4 per 250 ms on the right; the left side passes its line twice
        // as often at 0.4^0.5 = 0.632, so both lose 31.8 dB per second.
        const std::vector<double> dbL = echoLevels(o.l, {l.begin() + 1, l.begin() + 5});
        const std::vector<double> dbR = echoLevels(o.r, {r.begin() + 1, r.begin() + 4});
        const double slopeL = (dbL[3] - dbL[0]) / (3 * 0.125);
        const double slopeR = (dbR[2] - dbR[0]) / (2 * 0.250);
        EXPECT_NEAR(slopeL, 20.0 * std::log10(0.4) / 0.25, 0.5);
        EXPECT_NEAR(slopeL, slopeR, 0.5);
        EXPECT_NEAR(rig->fx.feedback[0], std::sqrt(0.4), 1e-3);
        EXPECT_FLOAT_EQ(rig->fx.feedback[1], 0.4f);
        // The first echo is the impulse at full wet level, through the
        // one-pole low-pass at "CutLo" (open at 44.1 kHz, 0.46 at 96 kHz).
        EXPECT_NEAR(dbL[0], 20.0 * std::log10(rig->fx.lowPassCoef), 0.1);
    }
}

TEST(DelayStereo, StereoSetsWhereEachLineIsHeard)
{
    struct Case
    {
        int stereo;
        float leftGain;  // of the left line's first echo on the left output
        float rightGain; // ... on the right output
    };
    const Case cases[] = {{100, 1.0f, 0.0f}, {-100, 0.0f, 1.0f}, {0, 0.5f, 0.5f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stereo);
        Settings s = FreeTimes;
        s.push_back({D::pStereo, c.stereo});
        auto rig = makeRig<D>(44100.0f, false, nullptr, s);
        // An impulse on the left input only.
        const Stereo o = rig->run(8000, impulse(), silence());
        const size_t at = 5513; // 125 ms
        EXPECT_NEAR(peak(o.l, at - 2, at + 3), c.leftGain, 0.01);
        EXPECT_NEAR(peak(o.r, at - 2, at + 3), c.rightGain, 0.01);
        // Nothing of the left line reaches the wrong side early.
        EXPECT_LT(peak(o.r, 1, at - 2), 1e-6);
    }
}

TEST(DelayStereo, DelayTimesFitTheLineAtEveryRate)
{
    TempoScope tempo(60.0);
    struct Case
    {
        float rate;
        Settings settings;
        int32_t left; // samples
    };
    const Case cases[] = {
        // 1300 ms fits below L - 16 = 65520 unhalved.
        {44100.0f, {{D::pSyncL, 3}, {D::pTimeL, 1300}}, 57330},
        // " 1/2 " at 60 BPM is 2 s, halved once.
        {44100.0f, {{D::pSyncL, 4}}, 44100},
        {48000.0f, {{D::pSyncL, 3}, {D::pTimeL, 1300}}, 62400},
        {96000.0f, {{D::pSyncL, 4}}, 96000},
        {192000.0f, {{D::pSyncL, 3}, {D::pTimeL, 1300}}, 249600},
        {192000.0f, {{D::pSyncL, 4}}, 192000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        auto rig = makeRig<D>(c.rate, false, nullptr, c.settings);
        EXPECT_EQ(rig->fx.delaySamples[0], c.left);
        EXPECT_LE(c.left, rig->fx.getLineLength() - 16);
    }
}

TEST(DelayStereo, TapsStayInsideTheLineWhileTimesJump)
{
    // The taps glide between the shortest and the longest time; each read
    // lies between the writer and the oldest sample of the line.
    for (float rate : {44100.0f, 96000.0f, 192000.0f}) {
        SCOPED_TRACE(rate);
        auto rig = makeRig<D>(rate, false, nullptr, FreeTimes);
        const int L = rig->fx.getLineLength();
        double lo = 1e9;
        double hi = -1e9;
        for (int round = 0; round < 6; ++round) {
            rig->set(D::pTimeL, round % 2 ? 1 : 1300);
            rig->set(D::pTimeR, round % 2 ? 1300 : 1);
            for (int block = 0; block < static_cast<int>(rate / 8 / 8); ++block) {
                rig->run(8, noise(1.0f), 8, false);
                for (int side = 0; side < 2; ++side) {
                    lo = std::min(lo, rig->fx.tapDistance(side));
                    hi = std::max(hi, rig->fx.tapDistance(side));
                }
            }
        }
        EXPECT_GE(lo, 0.0);
        EXPECT_LT(hi, L);
    }
}

TEST(DelayStereo, SwitchingOffClearsTheLines)
{
    auto rig = makeRig<D>(44100.0f, false, nullptr, FreeTimes);
    rig->run(2000, noise(1.0f));
    rig->fx.setInactive();
    rig->fx.setActive();
    const Stereo o = rig->run(30000, silence());
    EXPECT_LT(peak(o.l), 1e-6f);
    EXPECT_LT(peak(o.r), 1e-6f);
}

TEST(DelayStereo, FadeTimeFollowsTheLongerSide)
{
    auto rig = makeRig<D>(44100.0f, false, nullptr, FreeTimes);
    // Feed 0.40: -4 / log10(0.4001) = 10.05; the right side's 0.25 s.
    EXPECT_NEAR(rig->fx.getFadeTime(), 0.25 * (-4.0 / std::log10(0.4001)) + 0.1, 1e-4);
    rig->set(D::pFeed, 0);
    EXPECT_NEAR(rig->fx.getFadeTime(), 0.25 + 0.1, 1e-4);
}

TEST(DelayStereo, RecoversFromANonFiniteInput)
{
    checkRecoversFromNonFinite<D>({{D::pFeed, 99}, {D::pWet, 100}}, nullptr, 2.0);
}

TEST(DelayStereo, SerialFormReplacesWhatThePlainFormAdds)
{
    checkSerialReplaces<D, DelayStereoR_c>({{D::pWet, 100}, {D::pTimeL, 3}, {D::pSyncL, 3}}, nullptr, nullptr);
    EXPECT_EQ(DelayStereoR_c().getTypeCode(), TypeCodeDelayStereo);
    EXPECT_TRUE(DelayStereoR_c().isBPMDependent());
}

} // namespace
