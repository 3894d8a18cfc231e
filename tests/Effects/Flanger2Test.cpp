// The flanger: the right sweep's phase offset, the tempo-synced sweep rate,
// feedback and fade time, taps inside the line at every rate, a sine as
// clean after half an hour as at the start, and recovery and serial form at
// its own settings (the checks every type passes are in AllEffectsTest).
#include "FxKinds.h"
#include "FxMeasure2.h"
#include "Flanger2.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace fx2;

namespace {

using F = Flanger2_c;

TEST(Flanger2, Phase180PutsTheRightSweepInOppositePhase)
{
    auto rig = makeRig<F>(44100.0f, false, nullptr, {{F::pPhase, 180}, {F::pSync, -13}, {F::pModRate, 3000}});
    float seen = 0.0f;
    for (int step = 0; step < 2000; ++step) {
        rig->run(ControlStepFrames, silence(), ControlStepFrames, false);
        EXPECT_NEAR(rig->fx.getSweepRight(), -rig->fx.getSweepLeft(), 1e-5) << step;
        seen = std::max(seen, rig->fx.getSweepLeft());
    }
    EXPECT_GT(seen, 0.99f);
}

TEST(Flanger2, DefaultSweepFollowsTheTempo)
{
    // " 1/4 " at 120 BPM: 2 Hz, one cycle per quarter note.
    TempoScope tempo(120.0);
    for (float rate : Rates) {
        SCOPED_TRACE(rate);
        auto rig = makeRig<F>(rate, false, nullptr, {});
        std::vector<size_t> up;
        float last = rig->fx.getSweepLeft();
        const int steps = static_cast<int>(rate * 3.0f / ControlStepFrames);
        for (int s = 0; s < steps; ++s) {
            rig->run(ControlStepFrames, silence(), ControlStepFrames, false);
            const float now = rig->fx.getSweepLeft();
            if (last < 0.0f && now >= 0.0f)
                up.push_back(static_cast<size_t>(s));
            last = now;
        }
        ASSERT_GE(up.size(), 5u);
        const double period = (up.back() - up.front()) * ControlStepFrames / (up.size() - 1.0) / rate;
        EXPECT_NEAR(period, 0.5, 0.002);
    }
}

TEST(Flanger2, FeedbackAndFadeTime)
{
    struct Case
    {
        Settings settings;
        float feedback;
        float fade; // s
    };
    const Case cases[] = {
        // The default time is 2 ms.
        {{{F::pFeed, 999}}, 0.999f * 0.975f, 0.002f * static_cast<float>(-5.0 / std::log10(0.9991)) + 0.1f},
        {{{F::pFeed, 999}, {F::pInvertFeedback, 1}}, -0.999f,
         0.002f * static_cast<float>(-5.0 / std::log10(0.9991)) + 0.1f},
        // Feed 0: -5 / log10(0.0001) = 1.25 times the delay time (20 ms).
        {{{F::pFeed, 0}, {F::pTime, 2000}}, 0.0f, 0.125f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fade);
        auto rig = makeRig<F>(44100.0f, false, nullptr, c.settings);
        EXPECT_NEAR(rig->fx.feedback, c.feedback, 1e-5);
        EXPECT_NEAR(rig->fx.getFadeTime(), c.fade, 1e-3);
    }
    F bare;
    EXPECT_EQ(bare.getFadeTime(), 0.0f);
}

TEST(Flanger2, TapsStayInsideTheLineAtEveryRate)
{
    struct Case
    {
        float rate;
        int length;
    };
    // Twice the longest time (85 ms) and the step a tap trails by.
    const Case cases[] = {{44100.0f, 8192}, {48000.0f, 8192}, {96000.0f, 16384}, {192000.0f, 32768}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        auto rig = makeRig<F>(c.rate, false, nullptr,
                              {{F::pTime, 8500}, {F::pTimeDepth, 999}, {F::pSync, -13}, {F::pModRate, 5000},
                               {F::pFeed, 999}, {F::pWet, 100}});
        EXPECT_EQ(rig->fx.getLineLength(), c.length);
        double lo = 1e9;
        double hi = -1e9;
        for (int s = 0; s < static_cast<int>(c.rate / 8 / 2); ++s) {
            // Time jumps between its ends now and then.
            if (s % 4000 == 2000)
                rig->set(F::pTime, rig->para()[F::pTime].value == 1 ? 8500 : 1);
            rig->run(ControlStepFrames, noise(1.0f), ControlStepFrames, false);
            for (int side = 0; side < 2; ++side) {
                lo = std::min(lo, rig->fx.tapDistance(side));
                hi = std::max(hi, rig->fx.tapDistance(side));
            }
        }
        EXPECT_GE(lo, 1.0);
        EXPECT_LT(hi, c.length);
    }
}

// Fundamental and what is left besides it, in dB, over one second.
struct Tone
{
    double fundamental;
    double rest;
};

Tone measure(Rig<F>& rig, float rate, double hz, int block)
{
    const Stereo o = rig.run(static_cast<long long>(rate), sine(hz, rate, 0.5f), block);
    const size_t from = static_cast<size_t>(rate / 2);
    const size_t to = o.l.size();
    const double a = toneAmplitude(o.l, hz, rate, from, to);
    const double total = rms(o.l, from, to);
    const double restPower = std::max(total * total - a * a / 2.0, 1e-30);
    return {20.0 * std::log10(a), 10.0 * std::log10(restPower)};
}

TEST(Flanger2, ASineIsAsCleanAfterHalfAnHourAsAtTheStart)
{
    // A fixed delay with feedback: a clean comb filter, nothing but the tone.
    // Hosts hand blocks of any length, so the control steps fall anywhere on
    // the write counter (blocks of 100 samples here).
    const float rate = 44100.0f;
    const double hz = 1000.0;
    const int block = 100;
    auto rig = makeRig<F>(rate, false, nullptr,
                          {{F::pTime, 113}, {F::pTimeDepth, 0}, {F::pFeed, 500}, {F::pWet, 100}});
    const Tone start = measure(*rig, rate, hz, block);
    rig->run(static_cast<long long>(rate) * 60 * 29, silence(), block, false);
    const Tone later = measure(*rig, rate, hz, block);
    EXPECT_NEAR(later.fundamental, start.fundamental, 1.0);
    EXPECT_LT(later.rest, start.fundamental - 60.0);
}

TEST(Flanger2, RecoversFromANonFiniteInput)
{
    checkRecoversFromNonFinite<F>(settingsOf(fxtest::flangerKind().extremes[0]), nullptr, 0.5);
}

TEST(Flanger2, SerialFormReplacesWhatThePlainFormAdds)
{
    checkSerialReplaces<F, Flanger2R_c>({{F::pWet, 100}}, nullptr, nullptr);
    EXPECT_EQ(Flanger2R_c().getTypeCode(), TypeCodeFlanger2);
}

} // namespace
