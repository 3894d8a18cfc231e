// The chorus: its gains, the line sized for the farthest tap at every rate,
// every tap inside the line at the rate and depth extremes with an LFO driven
// from the test, the LFOs it owns sweeping the taps at "Chorus Speed", and
// recovery and serial form at its own settings (the checks every type passes
// are in AllEffectsTest).
#include "Chorus1.h"
#include "FxKinds.h"
#include "FxMeasure2.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace fx2;

namespace {

using C = Chorus1_c;

// The module graph's part: each LFO gets a parameter set of its own; then
// the chorus starts them.
template <class E>
void withLFOs(Rig<E>& rig)
{
    for (int k = 0; k < C::NumLFOs; ++k) {
        ParaSet_c* slot = nullptr;
        rig.fx.getLFO(k).getParaSetPtr(&slot, 1);
    }
    rig.fx.cachePara(crParaChange, 0, -1);
    rig.fx.resume();
}

// A test-driven LFO input: holds value v for the coming control steps.
void drive(C& chorus, int k, float v)
{
    C::LFOInput_t& in = chorus.getLFOInput(k);
    in.value = v;
    in.increment = 0.0f;
    in.remaining = ModHoldSteps;
}

TEST(Chorus1, GainsFollowWetWidthAndInversion)
{
    struct Case
    {
        Settings settings;
        float same;
        float other;
        float dry;
    };
    // g = 1 - 0.43 |w| - 0.19 s |w|.
    const Case cases[] = {
        {{{C::pWet, 100}, {C::pStereo, 100}, {C::pDry, 100}}, 0.38f, 0.0f, 0.38f},
        {{{C::pWet, 100}, {C::pStereo, 100}, {C::pDry, 50}}, 0.38f, 0.0f, 0.19f},
        {{{C::pWet, 100}, {C::pStereo, 0}, {C::pDry, 100}}, 0.285f, 0.285f, 0.57f},
        {{{C::pWet, 100}, {C::pStereo, 100}, {C::pInvert, 1}}, -0.38f, 0.0f, 0.38f},
        {{{C::pWet, 0}, {C::pDry, 100}}, 0.0f, 0.0f, 1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dry);
        auto rig = makeRig<C>(44100.0f, false, withLFOs<C>, c.settings);
        EXPECT_NEAR(rig->fx.sameGain, c.same, 1e-5);
        EXPECT_NEAR(rig->fx.otherGain, c.other, 1e-5);
        EXPECT_NEAR(rig->fx.dryGain, c.dry, 1e-5);
        // A steady input of 1: at first only the dry part (the line starts
        // silent), once the taps read it dry + same + other on each side.
        const Stereo o = rig->run(4000, [](long long) { return 1.0f; });
        EXPECT_NEAR(o.l[0], c.dry, 1e-5);
        EXPECT_NEAR(o.l[3999], c.dry + c.same + c.other, 1e-4);
        EXPECT_NEAR(o.r[3999], c.dry + c.same + c.other, 1e-4);
    }
}

TEST(Chorus1, LineHoldsTheFarthestTapAtEveryRate)
{
    struct Case
    {
        float rate;
        int length;
    };
    // The third voice reaches 1.75 x 2.107 x 6 ms = 0.0221 s: 975.6 samples
    // at 44.1 kHz, 1062 at 48 kHz.
    const Case cases[] = {{44100.0f, 1024}, {48000.0f, 2048}, {96000.0f, 4096}, {192000.0f, 8192}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        Rig<C> rig(c.rate);
        EXPECT_EQ(rig.fx.getLineLength(), c.length);
        EXPECT_NEAR(C::maxTapDelay(c.rate), 0.0221268 * c.rate, 0.01 * c.rate * 0.001);
    }
}

TEST(Chorus1, EveryTapStaysInsideTheLineAtTheExtremes)
{
    // Time, spread and speed at their ends, four voices, and every LFO held
    // at either end of its swing or swept across it by the test.
    const Settings extremes[] = {
        {{C::pTime, 600}, {C::pTimeSpread, 90}, {C::pSpeed, 4000}, {C::pSpeedSpread, 90}, {C::pMode, 1}},
        {{C::pTime, 600}, {C::pTimeSpread, 0}, {C::pSpeed, 20}, {C::pSpeedSpread, 0}, {C::pMode, 1}},
        {{C::pTime, 1}, {C::pTimeSpread, 90}, {C::pSpeed, 4000}, {C::pSpeedSpread, 90}, {C::pMode, 1}},
        {{C::pTime, 1}, {C::pTimeSpread, 0}, {C::pSpeed, 20}, {C::pSpeedSpread, 0}, {C::pMode, 0}},
    };
    const float levels[] = {-1.0f, 1.0f, 0.0f};
    for (float rate : {44100.0f, 48000.0f, 96000.0f, 192000.0f})
        for (size_t e = 0; e < std::size(extremes); ++e) {
            SCOPED_TRACE(testing::Message() << "rate " << rate << " extreme " << e);
            auto rig = makeRig<C>(rate, false, nullptr, extremes[e]);
            const double L = rig->fx.getLineLength();
            double lo = 1e9;
            double hi = -1e9;
            const int steps = static_cast<int>(rate / 8 / 4); // a quarter second per phase
            for (float held : levels)
                for (int s = 0; s < 2 * steps; ++s) {
                    // Held at the level, then swept from -1 to 1 and back
                    // (LFO 3 against the others).
                    float v = held;
                    if (s >= steps) {
                        const float t = static_cast<float>(s - steps) / steps;
                        v = t < 0.5f ? 4.0f * t - 1.0f : 3.0f - 4.0f * t;
                    }
                    drive(rig->fx, 0, v);
                    drive(rig->fx, 1, v);
                    drive(rig->fx, 2, -v);
                    rig->run(ControlStepFrames, sine(500.0, rate), ControlStepFrames, false);
                    for (int k = 0; k < (e < 3 ? 4 : 2); ++k) {
                        lo = std::min(lo, rig->fx.tapDistance(k));
                        hi = std::max(hi, rig->fx.tapDistance(k));
                    }
                }
            EXPECT_GE(lo, 1.0);
            EXPECT_LT(hi, L);
        }
}

TEST(Chorus1, ItsLFOsSweepTheTapsAtChorusSpeed)
{
    // Defaults: 2 ms (88.2 samples at 44.1 kHz), 0.5 Hz. Voice 1 trails the
    // writer by 8 + (1 + 0.66666 m) x 88.2 samples as the triangle m runs.
    auto rig = makeRig<C>(44100.0f, false, withLFOs<C>, {});
    const ParaSet_c* lfoSet = rig->fx.getLFO(1).getParaSet();
    ASSERT_NE(lfoSet, nullptr);
    EXPECT_EQ(rig->fx.getLFO(0).getParaVal(0, LFOSimp_c::pFrequency), 50);
    EXPECT_EQ(rig->fx.getLFO(1).getParaVal(0, LFOSimp_c::pFrequency), 35);
    EXPECT_EQ(rig->fx.getLFO(2).getParaVal(0, LFOSimp_c::pFrequency), 65);
    EXPECT_EQ(rig->fx.getLFO(0).getParaVal(0, LFOSimp_c::pWaveform), LFOSimp_c::wfTriangle);
    std::vector<double> d;
    for (int s = 0; s < 44100 * 5 / 8; ++s) {
        rig->run(8, silence(), 8, false);
        d.push_back(rig->fx.tapDistance(0));
    }
    const auto [lo, hi] = std::minmax_element(d.begin() + 1000, d.end());
    EXPECT_NEAR(*lo, 8.0 + (1.0 - 0.66666) * 88.2, 2.0);
    EXPECT_NEAR(*hi, 8.0 + (1.0 + 0.66666) * 88.2, 2.0);
    // Upward crossings of the middle, one per cycle of 2 s.
    const double mid = (*lo + *hi) / 2.0;
    std::vector<size_t> up;
    for (size_t i = 1; i < d.size(); ++i)
        if (d[i - 1] < mid && d[i] >= mid)
            up.push_back(i);
    ASSERT_GE(up.size(), 2u);
    EXPECT_NEAR((up.back() - up.front()) * 8.0 / (up.size() - 1), 88200.0, 900.0);
}

TEST(Chorus1, FadeTimeIsTenMilliseconds)
{
    Chorus1_c c;
    EXPECT_FLOAT_EQ(c.getFadeTime(), 0.01f);
    EXPECT_FALSE(c.isBPMDependent());
}

TEST(Chorus1, RecoversFromANonFiniteInput)
{
    checkRecoversFromNonFinite<C>(settingsOf(fxtest::chorusKind().extremes[0]), withLFOs<C>, 0.1);
}

TEST(Chorus1, SerialFormReplacesWhatThePlainFormAdds)
{
    checkSerialReplaces<C, Chorus1R_c>({{C::pWet, 100}}, withLFOs<C>, withLFOs<Chorus1R_c>);
}

} // namespace
