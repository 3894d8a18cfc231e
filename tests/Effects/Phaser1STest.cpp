// The phaser: parameters, the all-pass chain's energy and notch, the sweep
// of the two channels, the release tail and loud input at high feedback. The
// checks every effect type passes are in AllEffectsTest.
#include "FxKinds.h"
#include "FxMeasure1.h"
#include "Phaser1S.h"

#include <gtest/gtest.h>

#include <complex>

using namespace fxtest;

namespace {

std::string paraName(const Part_c& part, int idx)
{
    char name[ParaNameBufferBytes] = {};
    part.getParaName(0, idx, name);
    return name;
}

TEST(Phaser1S, ParametersAndClassAnswers)
{
    auto rig = makeRig(phaserKind(), 44100.0f);
    const Part_c& fx = *rig->fx;
    struct Row
    {
        int idx;
        const char* name;
        int def;
    };
    for (const Row& r : {Row{0, "Version", 200}, Row{1, "OffOn", 1}, Row{2, "Phaser Wet", 60},
                         Row{3, "Phaser Speed", 400}, Row{4, "Phaser Center", 1760}, Row{5, "Phaser Depth", 60},
                         Row{6, "Phaser Feedb", 50}, Row{7, "Phaser FBInv", 1}, Row{8, "Phaser Stages", 5},
                         Row{9, "Phaser Stereo", 0}, Row{10, "Frequency", -13}}) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(paraName(fx, r.idx), r.name);
        EXPECT_EQ(fx.getParaVal(0, r.idx), r.def);
    }
    EXPECT_EQ(fx.getParaPtr(0, Phaser1S_c::pNotes)->getHighValue(), 11);
    EXPECT_EQ(fx.getTypeCode(), fourCC("VPH0"));
    EXPECT_FALSE(fx.isBPMDependent());
    EXPECT_EQ(Phaser1SR_c().getTypeCode(), fourCC("VPH0"));
}

// Cached values: the feedback amount, its sign, the output gain; the LFO
// gets the speed cut to whole hundredths of a hertz.
TEST(Phaser1S, CachedValuesAndTheLFOSpeed)
{
    auto rig = makeRig(phaserKind(), 44100.0f);
    auto& fx = static_cast<Phaser1S_c&>(*rig->fx);
    rig->para(Phaser1S_c::pFeedback, 99);
    EXPECT_NEAR(fx.feedback, 0.9999f, 1e-6f);
    EXPECT_FLOAT_EQ(fx.feedbackSign, -0.998f);
    rig->para(Phaser1S_c::pFBInvert, 0);
    EXPECT_FLOAT_EQ(fx.feedbackSign, 0.998f);
    rig->para(Phaser1S_c::pWet, 100);
    EXPECT_FLOAT_EQ(fx.outputGain, 10.0f);
    rig->para(Phaser1S_c::pSpeed, 455);
    EXPECT_EQ(fx.lfo.getParaVal(0, LFOSimp_c::pFrequency), 45);
    rig->para(Phaser1S_c::pNotes, 9);
    EXPECT_EQ(fx.lfo.getParaVal(0, LFOSimp_c::pNotes), 9);
    EXPECT_EQ(fx.lfo.getParaVal(0, LFOSimp_c::pWaveform), LFOSimp_c::wfTriangle);
}

// The coefficients follow the triangle: k = (depth v + 1) centre 2 / rate on
// the left; the right rebuilds the phase from value and direction, so with
// "Phaser Stereo" 0 it equals the left and with 1.00 it is half a period away
// (the triangle's value mirrored).
TEST(Phaser1S, SweepOfBothChannels)
{
    auto rig = makeRig(phaserKind(), 44100.0f);
    auto& fx = static_cast<Phaser1S_c&>(*rig->fx);
    rig->para(Phaser1S_c::pDepth, 99);
    const float scale = 1760.0f * 2.0f / 44100.0f;
    struct Row
    {
        int stereo;
        float value;
        float increment;
        float rightValue;
    };
    for (const Row& r : {Row{0, 0.5f, 0.001f, 0.5f}, Row{0, -0.5f, -0.001f, -0.5f}, Row{100, 0.5f, 0.001f, -0.5f},
                         Row{100, -0.25f, -0.001f, 0.25f}, Row{50, 0.0f, 0.001f, 1.0f}}) {
        SCOPED_TRACE(testing::Message() << r.stereo << " " << r.value);
        rig->para(Phaser1S_c::pStereo, r.stereo);
        fx.lfoValue = r.value - r.increment;
        fx.lfoIncrement = r.increment;
        fx.lfoRemaining = 1000;
        fx.carry = 0;
        fx.controlStep(ControlStepFrames);
        EXPECT_NEAR(fx.k[0], (0.99f * r.value + 1.0f) * scale, 1e-6f);
        EXPECT_NEAR(fx.k[1], (0.99f * r.rightValue + 1.0f) * scale, 1e-5f);
    }
}

// Feedback 0: the chain is all-pass, so with wet 1 the output less half the
// input (0.5 x in) carries 0.998 x 0.05 x 10 of the input's energy, at every
// stage count.
TEST(Phaser1S, ChainKeepsTheInputEnergy)
{
    for (int stages : {1, 4, 9}) {
        SCOPED_TRACE(stages);
        auto rig = makeRig(phaserKind(), 44100.0f);
        rig->para(Phaser1S_c::pFeedback, 0);
        rig->para(Phaser1S_c::pWet, 100);
        rig->para(Phaser1S_c::pStages, stages);
        rig->para(Phaser1S_c::pFBInvert, 0);
        const long long total = 44100;
        rig->run(total, noise(0.2f, 11), noise(0.2f, 12));
        const Signal in = noise(0.2f, 11);
        std::vector<float> chain(static_cast<size_t>(total));
        std::vector<float> input(static_cast<size_t>(total));
        for (long long i = 0; i < total; ++i) {
            input[static_cast<size_t>(i)] = in(i);
            chain[static_cast<size_t>(i)] = rig->outL[static_cast<size_t>(i)] - 0.5f * input[static_cast<size_t>(i)];
        }
        EXPECT_NEAR(rms(chain) / rms(input), 0.998 * 0.05 * 10.0, 0.005);
    }
}

// Two stages with the sweep nearly stopped: one notch, where each stage
// turns the phase by a quarter turn: cos w = 2c / (1 + c^2), c = 1 - k.
TEST(Phaser1S, TwoStagesGiveOneNotchWhereTheCoefficientPutsIt)
{
    for (float rate : Rates) {
        for (int centre : {500, 1760, 4000}) {
            SCOPED_TRACE(testing::Message() << rate << " centre " << centre);
            auto rig = makeRig(phaserKind(), rate);
            auto& fx = static_cast<Phaser1S_c&>(*rig->fx);
            rig->para(Phaser1S_c::pFeedback, 0);
            rig->para(Phaser1S_c::pWet, 100);
            rig->para(Phaser1S_c::pStages, 2);
            rig->para(Phaser1S_c::pFBInvert, 0);
            rig->para(Phaser1S_c::pDepth, 1);
            rig->para(Phaser1S_c::pSpeed, 40);
            rig->para(Phaser1S_c::pCenter, centre);
            const long long total = 16384;
            rig->run(total, impulse(1.0f), impulse(1.0f));
            const double c = 1.0 - fx.k[0];
            const double notch = std::acos(2.0 * c / (1.0 + c * c)) * rate / (2.0 * std::numbers::pi);
            // The magnitude response over a fine grid: one minimum, deep, at
            // the predicted frequency.
            double best = 1e9;
            double bestHz = 0.0;
            int deepRuns = 0;
            bool inDeep = false;
            for (double hz = 50.0; hz < rate * 0.45; hz *= 1.005) {
                std::complex<double> h(0.0, 0.0);
                const double w = 2.0 * std::numbers::pi * hz / rate;
                for (size_t i = 0; i < 4096; ++i)
                    h += static_cast<double>(rig->outL[i]) * std::polar(1.0, -w * static_cast<double>(i));
                const double db = toDb(std::abs(h));
                if (db < best) {
                    best = db;
                    bestHz = hz;
                }
                const bool deep = db < -20.0;
                if (deep && !inDeep)
                    ++deepRuns;
                inDeep = deep;
            }
            EXPECT_EQ(deepRuns, 1);
            EXPECT_LT(best, -30.0);
            EXPECT_NEAR(bestHz, notch, notch * 0.01);
        }
    }
}

TEST(Phaser1S, FadeTimeFollowsFeedback)
{
    Phaser1S_c unbound;
    EXPECT_EQ(unbound.getFadeTime(), 0.0f);
    auto rig = makeRig(phaserKind(), 44100.0f);
    struct Row
    {
        int feedback;
        float seconds;
        float tolerance;
    };
    for (const Row& r : {Row{0, 0.1f, 1e-6f}, Row{90, 0.1f, 1e-6f}, Row{91, 2.0f, 0.02f}, Row{95, 6.5f, 0.1f},
                         Row{99, 168.0f, 0.5f}}) {
        SCOPED_TRACE(r.feedback);
        rig->para(Phaser1S_c::pFeedback, r.feedback);
        EXPECT_NEAR(rig->fx->getFadeTime(), r.seconds, r.tolerance);
    }
}

// At 0.99 feedback a +-32 square used to drive the clip past its turning
// point, where it folds back and the feedback ran away to infinity. Held at
// the turning point, the clipped sample stays within +-sqrt(2) x 2/3, so the
// output is bounded by (0.943 wet + 0.05 |in|) x gain.
TEST(Phaser1S, LoudInputAtHighFeedbackStaysBounded)
{
    for (int invert : {0, 1}) {
        SCOPED_TRACE(invert);
        auto rig = makeRig(phaserKind(), 44100.0f);
        rig->para(Phaser1S_c::pFeedback, 99);
        rig->para(Phaser1S_c::pFBInvert, invert);
        rig->para(Phaser1S_c::pWet, 100);
        rig->para(Phaser1S_c::pStages, 9);
        rig->run(44100 * 2, square(60.0, 44100.0, 32.0f), square(3000.0, 44100.0, 32.0f));
        ASSERT_TRUE(allFinite(rig->outL) && allFinite(rig->outR));
        const float bound = (std::sqrt(2.0f) * 2.0f / 3.0f + 0.05f * 32.0f) * 10.0f * 1.001f;
        EXPECT_LE(peak(rig->outL), bound);
        EXPECT_LE(peak(rig->outR), bound);
    }
}

// A stage count outside 1..9 renders nothing but still completes the write;
// 22000 Hz and below the phaser is not ready.
TEST(Phaser1S, RendersNothingWithoutStagesOrRate)
{
    auto rig = makeRig(phaserKind(), 44100.0f);
    static_cast<Phaser1S_c&>(*rig->fx).stages = 0;
    rig->run(512, dc(0.5f), dc(0.5f));
    EXPECT_EQ(peak(rig->outL), 0.0f);
    EXPECT_EQ(rig->out.getWriteState(), 4);
    auto slow = makeRig(phaserKind(), 22000.0f);
    EXPECT_FALSE(slow->fx->isReady());
}

} // namespace
