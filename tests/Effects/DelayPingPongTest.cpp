// The ping-pong delay: the echo schedule of the defaults at 120 BPM, the
// balance between centre and loop echoes, ring lengths, the fade time, and
// recovery and serial form at its own settings (the checks every type passes
// are in AllEffectsTest).
#include "DelayPingPong.h"
#include "FxKinds.h"
#include "FxMeasure2.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace fx2;

namespace {

using P = DelayPingPong_c;

TEST(DelayPingPong, DefaultsAt120BpmEchoCentreThenLeftThenRight)
{
    TempoScope tempo(120.0);
    auto rig = makeRig<P>(44100.0f, false, nullptr, {{P::pWet, 100}});
    // Centre 0.125 s (5513), left 0.5 s (22050), right 0.25 s (11025); each
    // ring holds delay + 1 samples.
    EXPECT_EQ(rig->fx.getDelaySamples(P::lineCentre), 5513);
    EXPECT_EQ(rig->fx.getDelaySamples(P::lineLeft), 22050);
    EXPECT_EQ(rig->fx.getDelaySamples(P::lineRight), 11025);
    const Stereo o = rig->run(80000, impulse());
    struct Echo
    {
        size_t at;
        bool left;
        float level;
    };
    // Balance 0.5: centre echoes at 0.5 on both sides; the loop gets the
    // centre's mean (1), each line is heard fully on its own side at 0.5,
    // the third pass has been through the feedback (0.4) once.
    const Echo schedule[] = {
        {5514, true, 0.5f},
        {5514, false, 0.5f},
        {5514 + 22051, true, 0.5f},
        {5514 + 22051 + 11026, false, 0.5f},
        {5514 + 22051 + 11026 + 22051, true, 0.5f * 0.4f},
    };
    for (const Echo& e : schedule) {
        SCOPED_TRACE(testing::Message() << e.at << (e.left ? " left" : " right"));
        const std::vector<float>& v = e.left ? o.l : o.r;
        EXPECT_NEAR(v[e.at], e.level, 1e-4);
        // Nothing else in the 5000 samples before it (after the dry impulse).
        EXPECT_LT(peak(v, std::max<size_t>(1, e.at - 5000), e.at), 1e-5f);
    }
    // The other side stays silent at a loop echo.
    EXPECT_LT(std::fabs(o.r[5514 + 22051]), 1e-5f);
    EXPECT_LT(std::fabs(o.l[5514 + 22051 + 11026]), 1e-5f);
}

TEST(DelayPingPong, BalanceChoosesCentreOrLoopEchoes)
{
    struct Case
    {
        int balance;
        float centre; // level of the centre echo
        float loop;   // level of the first loop echo
    };
    const Case cases[] = {{0, 1.0f, 0.0f}, {100, 0.0f, 1.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.balance);
        const Settings s = {{P::pWet, 100}, {P::pBalance, c.balance}, {P::pSyncC, 3}, {P::pSyncL, 3},
                            {P::pSyncR, 3}, {P::pTimeC, 1}, {P::pTimeL, 2}, {P::pTimeR, 3}};
        auto rig = makeRig<P>(44100.0f, false, nullptr, s);
        // 1 ms at 44.1 kHz is 44 samples, a ring of 45.
        EXPECT_EQ(rig->fx.getDelaySamples(P::lineCentre), 44);
        const Stereo o = rig->run(1000, impulse(), silence());
        // An impulse on the left only: its centre echo stays left, the loop
        // gets half of it.
        EXPECT_NEAR(o.l[45], c.centre, 1e-5);
        EXPECT_NEAR(o.r[45], 0.0, 1e-5);
        EXPECT_NEAR(o.l[45 + 89], 0.5f * c.loop, 1e-5);
    }
}

TEST(DelayPingPong, FadeTimeCoversCentreAndLoop)
{
    TempoScope tempo(120.0);
    auto rig = makeRig<P>(44100.0f, false, nullptr, {});
    const double g = -4.0 / std::log10(0.4001);
    EXPECT_NEAR(rig->fx.getFadeTime(), (0.5 + 0.25) * g + 0.1 + 0.125 + 0.1, 1e-4);
}

TEST(DelayPingPong, LinesExistOnlyWhileActive)
{
    Rig<P> rig(44100.0f);
    EXPECT_FALSE(rig.fx.isReady());
    rig.fx.setActive();
    EXPECT_TRUE(rig.fx.isReady());
    EXPECT_EQ(rig.fx.getLineLength(), 57330);
    rig.fx.setInactive();
    EXPECT_FALSE(rig.fx.isReady());
    // At 22 kHz the lines exist but it never renders.
    Rig<P> low(22000.0f);
    low.fx.setActive();
    EXPECT_FALSE(low.fx.isReady());
}

TEST(DelayPingPong, RecoversFromANonFiniteInput)
{
    checkRecoversFromNonFinite<P>({{P::pFeed, 99}, {P::pWet, 100}}, nullptr, 2.0);
}

TEST(DelayPingPong, SerialFormReplacesWhatThePlainFormAdds)
{
    checkSerialReplaces<P, DelayPingPongR_c>({{P::pWet, 100}, {P::pSyncC, 3}, {P::pTimeC, 2}}, nullptr, nullptr);
}

} // namespace
