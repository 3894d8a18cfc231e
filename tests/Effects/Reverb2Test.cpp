// The reverb: decay time measured from an impulse, comb feedbacks, the
// predelay's length and crossfade, sweeps that keep moving whatever "Mod
// Freq" does, the former wet level, the silent low rates, and recovery and
// serial form at its own settings (the checks every type passes are in
// AllEffectsTest).
#include "FxKinds.h"
#include "FxMeasure2.h"
#include "Reverb2.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

using namespace fx2;

namespace {

using R = Reverb2_c;

// RT60 from the Schroeder decay curve of a response: twice the time from
// -5 dB to -35 dB.
double reverbTime(const std::vector<float>& v, float rate, size_t from)
{
    std::vector<double> energy(v.size() - from + 1, 0.0);
    for (size_t i = v.size(); i-- > from;)
        energy[i - from] = energy[i - from + 1] + static_cast<double>(v[i]) * v[i];
    const double total = energy[0];
    size_t t5 = 0;
    size_t t35 = 0;
    for (size_t i = 0; i < energy.size(); ++i) {
        const double db = 10.0 * std::log10(energy[i] / total + 1e-300);
        if (!t5 && db <= -5.0)
            t5 = i;
        if (!t35 && db <= -35.0)
            t35 = i;
    }
    return 2.0 * static_cast<double>(t35 - t5) / rate;
}

TEST(Reverb2, ImpulseDecaysInAboutTheReverbTime)
{
    // The combs' loop lengths spread from 1116 to 1641 samples at 44.1 kHz:
    // each decays by 60 dB in 0.87 .. 1.28 times the reverb time.
    for (float rate : Rates)
        for (int revTime : {10, 30}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, " << revTime / 10.0 << " s");
            auto rig = makeRig<R>(rate, false, nullptr,
                                  {{R::pDamping, 0}, {R::pRevTime, revTime}, {R::pPredelay, 0}, {R::pWet, 500}});
            const Stereo o = rig->run(static_cast<long long>(rate * revTime / 10.0 * 2.0), impulse());
            for (const std::vector<float>* side : {&o.l, &o.r}) {
                const double rt = reverbTime(*side, rate, 1);
                EXPECT_GE(rt, 0.87 * revTime / 10.0);
                EXPECT_LE(rt, 1.28 * revTime / 10.0);
            }
        }
}

TEST(Reverb2, CombFeedbackFromTheReverbTime)
{
    struct Case
    {
        int revTime; // tenths of a second
        float feedback;
    };
    const Case cases[] = {{20, 0.90469f}, {1, 0.13490f}, {100, 0.98017f}};
    for (const Case& c : cases) {
        auto rig = makeRig<R>(44100.0f, false, nullptr, {{R::pRevTime, c.revTime}});
        for (int side = 0; side < 2; ++side)
            for (int k = 0; k < R::NumCombs; ++k)
                EXPECT_NEAR(rig->fx.getComb(side, k).feedback, c.feedback, 1e-5);
    }
}

TEST(Reverb2, FirstWetSampleFollowsPredelayAndShortestComb)
{
    // The predelay's line gives A samples of delay (1 for A = 0, the read
    // coming before the write), then the first left comb 1116 samples.
    struct Case
    {
        Settings settings;
        int active;
        size_t first;
    };
    TempoScope tempo(120.0);
    const Case cases[] = {
        {{{R::pPredelay, 0}}, 0, 1 + 1116},
        {{{R::pPredelay, 125}}, 5513, 5513 + 1116},
        // 1/8 at 120 BPM is 0.25 s, halved to 0.125 s.
        {{{R::pSync, 10}}, 5513, 5513 + 1116},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.active);
        auto rig = makeRig<R>(44100.0f, false, nullptr, c.settings);
        const Stereo o = rig->run(8000, impulse(), silence());
        EXPECT_EQ(rig->fx.getPreDelay().active, c.active);
        size_t first = 1;
        while (first < o.l.size() && std::fabs(o.l[first]) < 1e-9f)
            ++first;
        EXPECT_EQ(first, c.first);
    }
}

// A predelay line of its own for the crossfade cases.
struct PreDelayLine
{
    explicit PreDelayLine(int length, int active, int index) : data(length + 10, 0.0f)
    {
        line.buffer = data.data();
        line.length = length;
        line.active = active;
        line.index = index;
        for (int i = 0; i < length; ++i)
            data[i] = static_cast<float>(i + 1);
    }
    std::vector<float> data;
    R::PreDelay_t line;
};

TEST(Reverb2, PredelayLengthChangeCrossfades)
{
    // Both lengths at least 33: the next 32 samples to be read fade out at
    // the start, the 32 latest fade in at the end, zeros between.
    {
        PreDelayLine p(200, 100, 10);
        p.line.setMaxIdx(150);
        EXPECT_EQ(p.line.active, 150);
        EXPECT_EQ(p.line.index, 0);
        for (int j = 0; j < 32; ++j) {
            EXPECT_FLOAT_EQ(p.data[j], (32 - j) / 32.0f * static_cast<float>(10 + j + 1));
            // Sample written j samples ago: index 10 - j, wrapped below 0 by
            // a floor modulo into the active 100.
            const int written = (10 - j + 100) % 100;
            EXPECT_FLOAT_EQ(p.data[150 - 32 + j], j / 32.0f * static_cast<float>(written + 1));
        }
        for (int i = 32; i < 150 - 32; ++i)
            EXPECT_EQ(p.data[i], 0.0f);
    }
    // Growing from a length below 33: nothing to carry, and nothing left
    // over from an earlier change comes back.
    {
        PreDelayLine p(200, 100, 10);
        p.line.setMaxIdx(150); // fills the fragments
        p.line.setMaxIdx(20);
        std::fill(p.data.begin(), p.data.end(), 0.0f);
        p.line.setMaxIdx(120);
        EXPECT_EQ(p.line.active, 120);
        for (int i = 0; i < 200; ++i)
            EXPECT_EQ(p.data[i], 0.0f) << i;
    }
    // A length the line cannot hold changes nothing.
    {
        PreDelayLine p(200, 100, 10);
        p.line.setMaxIdx(200);
        EXPECT_EQ(p.line.active, 100);
        EXPECT_EQ(p.line.index, 10);
        EXPECT_EQ(p.data[0], 1.0f);
    }
}

TEST(Reverb2, SweepsKeepMovingWhenModFreqGoesDownAndUp)
{
    auto rig = makeRig<R>(44100.0f, false, nullptr, {{R::pModOn, 1}, {R::pModFreq, 20}});
    const Signal in = noise(0.1f);
    // Offsets seen per comb over one second, after each setting.
    for (int modFreq : {20, 3, 20, 3}) {
        SCOPED_TRACE(modFreq);
        rig->set(R::pModFreq, modFreq);
        rig->run(44100 / 4, in, MaxBlockSize, false);
        std::vector<std::vector<int>> seen(2 * R::NumCombs);
        for (int b = 0; b < 44100 / MaxBlockSize; ++b) {
            rig->run(MaxBlockSize, in, MaxBlockSize, false);
            for (int side = 0; side < 2; ++side)
                for (int k = 0; k < R::NumCombs; ++k)
                    seen[side * R::NumCombs + k].push_back(rig->fx.getComb(side, k).offset);
        }
        for (int side = 0; side < 2; ++side)
            for (int k = 0; k < R::NumCombs; ++k) {
                const R::Comb_t& c = rig->fx.getComb(side, k);
                EXPECT_EQ(c.depth, modFreq + 7 - k);
                const std::vector<int>& s = seen[side * R::NumCombs + k];
                const auto [lo, hi] = std::minmax_element(s.begin(), s.end());
                // The whole range 0 .. depth is swept, nothing outside it.
                EXPECT_EQ(*lo, 0) << side << " " << k;
                EXPECT_EQ(*hi, c.depth) << side << " " << k;
            }
    }
}

TEST(Reverb2, FormerWetLevelMovesToWet)
{
    Rig<R> rig(44100.0f);
    rig.fx.setParaVal(0, R::pWetOld, 45);
    EXPECT_EQ(rig.fx.getParaVal(0, R::pWet), 450);
    EXPECT_EQ(rig.fx.getParaVal(0, R::pWetOld), -1);
}

TEST(Reverb2, SilentAtAndBelow22kHz)
{
    auto rig = makeRig<R>(22000.0f, false, nullptr, {});
    EXPECT_TRUE(rig->fx.buffersOk());
    EXPECT_FALSE(rig->fx.isReady());
    const Stereo o = rig->run(1000, noise(1.0f));
    EXPECT_EQ(peak(o.l), 0.0f);
}

TEST(Reverb2, FadeTimeIsReverbTimeAndPredelay)
{
    auto rig = makeRig<R>(44100.0f, false, nullptr, {{R::pRevTime, 20}, {R::pPredelay, 100}});
    EXPECT_NEAR(rig->fx.getFadeTime(), (2.0 + 0.1) * 1.4, 1e-5);
}

TEST(Reverb2, RecoversFromANonFiniteInput)
{
    checkRecoversFromNonFinite<R>(settingsOf(fxtest::reverbKind().extremes[0]), nullptr, 0.5);
}

TEST(Reverb2, SerialFormReplacesWhatThePlainFormAdds)
{
    checkSerialReplaces<R, Reverb2R_c>({{R::pWet, 500}, {R::pPredelay, 0}}, nullptr, nullptr);
}

} // namespace
