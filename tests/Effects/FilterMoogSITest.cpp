// The ladder filter: its parameters and rest values, the cutoff polynomial
// and rate factor, the responses of its four types measured on sines, the
// tuned delay of "HP 12", the level ramp and balance, and when a type change
// takes effect.
#include "FilterTestRig.h"
#include "LadderLanes.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

using namespace FilterTest;
using namespace SignalMeasure;
using M = FilterMoogSI_c;

namespace {

TEST(FilterMoogSI, ParametersAndRestValues)
{
    Rig<M> r(44100.0f);
    const char* names[] = {"Version", "OffOn", "Type ", "Cutoff", "Resonance", "RoutBal", "Cut KeyF"};
    for (int i = 0; i < M::ParaCount; ++i)
        EXPECT_EQ(paraName(r.filter, i), names[i]) << i;
    EXPECT_EQ(r.filter.getTypeCode(), fourCC("VF01"));
    EXPECT_EQ(r.filter.getParaVal(0, M::pType), M::rBP24);
    const char* items[] = {"LP 12", "LP 24", "BP 24", "HP 12"};
    for (int t = M::rLP12; t <= M::rHP12; ++t) {
        r.filter.setParaVal(0, M::pType, t);
        EXPECT_EQ(display(r.filter, M::pType).substr(0, 5), items[t + 1]);
    }

    // The cutoff rest value is in the cutoff unit and follows every change
    // of "Cutoff" and "Cut KeyF" at once; the resonance rests at 0..1.
    struct Case
    {
        int hz;
        int keyFollow; // hundredths
        int key;
        float rest;
    };
    const Case cases[] = {
        {20000, 0, 60, 1.0f},
        {5000, 0, 60, 0.75f},
        {40, 0, 60, static_cast<float>(1.0 + std::log2(0.002) / 8.0)},
        {5000, 100, 72, 0.875f}, // one octave up, followed fully
        {5000, 50, 48, 0.6875f}, // one octave down, half followed
    };
    for (const Case& c : cases) {
        r.filter.prepProc(0, noteOf(c.key), false);
        r.filter.setParaVal(0, M::pCutoff, c.hz);
        r.filter.setParaVal(0, M::pCutKeyF, c.keyFollow);
        EXPECT_NEAR(r.filter.getModSampleDefault(0), c.rest, 1e-5f) << c.hz << " Hz, key " << c.key;
    }
    r.filter.setParaVal(0, M::pResonance, 40);
    EXPECT_FLOAT_EQ(r.filter.getModSampleDefault(1), 0.4f);
    EXPECT_EQ(r.filter.getModSampleDefault(2), 0.0f);
}

// The coefficient a render takes from the cutoff input: the fourth power of
// a cubic in 2m - 1, scaled by 44100 / rate (0.1 at most down), clamped.
TEST(FilterMoogSI, CutoffPolynomialAndRateFactor)
{
    struct Case
    {
        float rate;
        float m;
        float f;
    };
    const Case cases[] = {
        {44100.0f, 0.0f, 0.0038822f},  // clamped to 1e-6
        {44100.0f, 1.0f, 0.99385f},
        {44100.0f, 7.0f, 0.99385f},    // clamped to 1
        {44100.0f, 0.5f, 0.0625f},
        {48000.0f, 1.0f, 0.99385f * 44100.0f / 48000.0f},
        {96000.0f, 1.0f, 0.99385f * 0.459375f},
        {96000.0f, 0.5f, 0.0625f * 0.459375f},
        {441000.0f, 1.0f, 0.099385f},  // the factor stops at 0.1
        {882000.0f, 0.0f, 0.0004f},    // the coefficient stops at 0.0004
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, m " << c.m);
        Rig<M> r(c.rate);
        r.filter.setParaVal(0, M::pType, M::rLP24);
        r.set(c.m, 0.0f);
        r.start();
        r.run(Signal(ControlStepFrames, 0.0f));
        EXPECT_NEAR(r.filter.f, c.f, c.f * 2e-4f);
    }
}

// Slopes between two and three octaves above the cutoff (where the bilinear
// zeros at the Nyquist frequency do not yet steepen them), and the pass band
// three octaves below, measured at 1 kHz at every rate.
TEST(FilterMoogSI, LowPassSlopes)
{
    struct Case
    {
        int type;
        double slope; // dB per octave
        double tolerance;
    };
    const Case cases[] = {{M::rLP24, 24.0, 3.0}, {M::rLP12, 12.0, 2.0}};
    const double fc = 1000.0;
    for (float rate : Rates) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, type " << c.type);
            Rig<M> r(rate);
            r.filter.setParaVal(0, M::pType, c.type);
            r.set(cutoffUnit(fc), 0.0f);
            EXPECT_NEAR(r.gainDb(fc / 8), 0.0, 0.5);
            const double fourth = r.gainDb(fc * 4);
            const double eighth = r.gainDb(fc * 8);
            EXPECT_NEAR(fourth - eighth, c.slope, c.tolerance);
        }
    }
}

// Resonance raises the response at the cutoff; the last stage's clip keeps
// even full resonance at a loud input from running away.
TEST(FilterMoogSI, ResonancePeaksAtTheCutoff)
{
    for (float rate : Rates) {
        SCOPED_TRACE(rate);
        Rig<M> r(rate);
        r.filter.setParaVal(0, M::pType, M::rLP24);
        r.set(cutoffUnit(1000.0), 0.0f);
        const double flat = r.gainDb(1000.0);
        r.set(cutoffUnit(1000.0), 0.7f);
        EXPECT_GT(r.gainDb(1000.0, 0.5, 0.01f), flat + 6.0);
    }
}

// "BP 24": a band whose peak the gain compensation keeps near unity at every
// cutoff, which falls on both sides, and whose frequencies scale with the
// sample rate (its coefficient ignores the rate).
TEST(FilterMoogSI, BandPassPeakAndRateScaling)
{
    for (double fc : {250.0, 1000.0, 4000.0}) {
        double peakAt48[2] = {};
        for (float rate : {48000.0f, 96000.0f}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, cutoff " << fc);
            Rig<M> r(rate);
            r.filter.setParaVal(0, M::pType, M::rBP24);
            r.set(cutoffUnit(fc), 0.0f);
            // Quarter-octave steps around the peak.
            double best = -1e9;
            double bestHz = 0.0;
            for (int k = -16; k <= 4; ++k) {
                const double hz = fc * std::pow(2.0, k / 4.0) * rate / 48000.0;
                const double g = r.gainDb(hz, 0.25);
                if (g > best) {
                    best = g;
                    bestHz = hz;
                }
            }
            EXPECT_NEAR(best, 0.0, 1.5);
            EXPECT_LT(r.gainDb(bestHz * 4), best - 20.0);
            EXPECT_LT(r.gainDb(bestHz / 4), best - 12.0);
            if (rate == 48000.0f) {
                peakAt48[0] = bestHz;
                peakAt48[1] = best;
            } else {
                EXPECT_NEAR(bestHz, 2.0 * peakAt48[0], 1e-6 * bestHz);
                EXPECT_NEAR(best, peakAt48[1], 0.5);
            }
        }
    }
}

// "HP 12": the low end falls 12 dB per octave well below the high-pass
// corner, and the pass band sits at the gain compensation of 0.5 (-6 dB).
TEST(FilterMoogSI, HighPassSlopeAndGain)
{
    for (float rate : Rates) {
        SCOPED_TRACE(rate);
        Rig<M> r(rate);
        r.filter.setParaVal(0, M::pType, M::rHP12);
        r.set(0.5f, 0.0f);
        r.start();
        r.run(Signal(ControlStepFrames, 0.0f));
        // The corner of the two one-pole stages.
        const double corner = r.filter.f * rate / (2.0 * std::numbers::pi);
        EXPECT_NEAR(r.gainDb(corner * 16, 0.25), dB(0.5), 0.5);
        const double low = r.gainDb(corner / 16, 1.0);
        const double lower = r.gainDb(corner / 32, 2.0);
        EXPECT_NEAR(low - lower, 12.0, 1.0);
    }
}

// "HP 12" resonates through a delay line of scale / f + 1.55 samples (scale
// 1.25e-5 x rate), halved until it fits the 2047 samples of its ring: an
// impulse comes back after that many samples.
TEST(FilterMoogSI, HighPassDelayLine)
{
    struct Case
    {
        float rate;
        float m;
        const char* what;
    };
    const Case cases[] = {
        {44100.0f, 0.7f, "a short delay"},
        {48000.0f, 0.45f, "a longer one"},
        {96000.0f, 0.3f, "longer still at 96 kHz"},
        {441000.0f, 0.0f, "2758 samples folded to 1379"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig<M> r(c.rate);
        r.filter.setParaVal(0, M::pType, M::rHP12);
        r.set(c.m, 1.0f);
        r.start();
        r.run(Signal(ControlStepFrames, 0.0f));
        const float f = r.filter.f;
        float delay = 1.25e-5f * c.rate / f + 1.55f;
        while (delay > 2047.0f)
            delay *= 0.5f;
        ASSERT_LT(delay, 2047.0f);

        // An impulse after the level ramp (the output gain is then 0.5). The
        // echo is the first sample after the impulse's own short response
        // that carries a good part of it again; the high-passes' tail stays
        // below f / 2.
        const int at = 64;
        Signal x(static_cast<size_t>(at + 2100), 0.0f);
        x[at] = 1.0f;
        r.start();
        const auto o = r.run(x);
        size_t echo = 0;
        for (size_t i = at + 2; i < o.first.size() && echo == 0; ++i)
            if (std::fabs(o.first[i]) > 0.15f)
                echo = i;
        EXPECT_NEAR(static_cast<double>(echo - at), delay, 1.0) << "f " << f;
        if (c.rate == 441000.0f) {
            EXPECT_NEAR(delay, 1379.0f, 1.0f);
        }
    }
}

// The level reaches a new control value in exactly one control step; level
// 0 is silence; silence in gives exact silence out; the balance shares the
// output between left and right.
TEST(FilterMoogSI, LevelRampBalanceAndSilence)
{
    Rig<M> r(44100.0f);
    r.filter.setParaVal(0, M::pType, M::rLP24);
    r.start();
    // Level input x 8 (the ladder's input is scaled by 1/8).
    for (float target : {1.0f, 0.25f, 0.0f, 0.5f}) {
        ModBuffers::fill(r.mod.level, target);
        const float before = r.filter.level;
        r.run(Signal(ControlStepFrames / 2, 0.0f), nullptr, ControlStepFrames / 2);
        EXPECT_NEAR(r.filter.level, (before + 8.0f * target) / 2.0f, 1e-5f) << "halfway";
        r.run(Signal(ControlStepFrames, 0.0f), nullptr, ControlStepFrames);
        EXPECT_FLOAT_EQ(r.filter.level, 8.0f * target);
    }

    for (int type = M::rLP12; type <= M::rHP12; ++type) {
        SCOPED_TRACE(type);
        Rig<M> s(44100.0f);
        s.filter.setParaVal(0, M::pType, type);
        s.set(0.6f, 0.5f);
        s.start();
        const auto quiet = s.run(Signal(4096, 0.0f));
        EXPECT_EQ(peak(quiet.first), 0.0f);
        EXPECT_EQ(peak(quiet.second), 0.0f);

        ModBuffers::fill(s.mod.level, 0.0f);
        s.start();
        const auto off = s.run(noise(4096, 1.0f));
        EXPECT_EQ(peak(off.first), 0.0f);

        ModBuffers::fill(s.mod.level, 1.0f);
        ModBuffers::fill(s.mod.balance, -1.0f);
        s.start();
        const auto left = s.run(noise(8192, 0.5f));
        EXPECT_LT(rms(left.second, 4096), 1e-3 * rms(left.first, 4096));
        ModBuffers::fill(s.mod.balance, 0.0f);
        s.start();
        const auto centre = s.run(noise(8192, 0.5f));
        EXPECT_NEAR(rms(left.first, 4096) / rms(centre.first, 4096), 2.0, 0.01);
        EXPECT_NEAR(rms(centre.first, 4096), rms(centre.second, 4096), 1e-6);
    }
}

// A stereo input is filtered channel by channel with separate states.
TEST(FilterMoogSI, StereoChannelsAreIndependent)
{
    for (int type = M::rLP12; type <= M::rHP12; ++type) {
        SCOPED_TRACE(type);
        Rig<M> r(48000.0f, 2);
        r.filter.setParaVal(0, M::pType, type);
        r.set(0.6f, 0.3f);
        r.start();
        const Signal tone = sine(4096, 700.0, 48000.0, 0.5f);
        const Signal silence(4096, 0.0f);
        const auto o = r.run(tone, &silence);
        EXPECT_GT(rms(o.first, 2048), 0.01);
        EXPECT_EQ(peak(o.second), 0.0f);
    }
}

// A voice renders its two ladder filters as a pair: each must sound exactly
// as if rendered alone, with its own state, gains and modulation, also for
// pieces that end inside a control step and for pairs that cannot share a
// loop (different responses).
TEST(FilterMoogSI, PairRendersLikeTwoSingles)
{
    struct Case
    {
        int typeA;
        int typeB;
        int channels;
        const char* what;
    };
    const Case cases[] = {
        {M::rLP24, M::rLP24, 1, "LP 24 pair, mono"},
        {M::rLP12, M::rLP12, 2, "LP 12 pair, stereo"},
        {M::rLP24, M::rHP12, 1, "different responses, one after the other"},
    };
    const int pieces[] = {100, 37, 256, 1, 8, 13};
    constexpr float Rate = 48000.0f;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // [0], [1]: rendered alone; [2], [3]: the same two as a pair.
        std::unique_ptr<Rig<M>> rigs[4];
        for (int k = 0; k < 4; ++k) {
            const int which = k % 2;
            rigs[k] = std::make_unique<Rig<M>>(Rate, c.channels);
            rigs[k]->filter.setParaVal(0, M::pType, which == 0 ? c.typeA : c.typeB);
            rigs[k]->set(which == 0 ? 0.55f : 0.8f, which == 0 ? 0.9f : 0.5f);
            ModBuffers::fill(rigs[k]->mod.level, which == 0 ? 1.0f : 0.6f);
            ModBuffers::fill(rigs[k]->mod.balance, which == 0 ? -0.5f : 0.3f);
            rigs[k]->start();
        }
        // Loud noise, different for each filter and channel.
        Signal input[2][2];
        for (int w = 0; w < 2; ++w)
            for (int ch = 0; ch < 2; ++ch)
                input[w][ch] = noise(4096, 2.0f, static_cast<uint32_t>(1 + w * 2 + ch));
        Signal heard[4][2];
        size_t pos = 0;
        for (int piece = 0; pos < input[0][0].size(); ++piece) {
            const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(pieces[piece % std::size(pieces)]),
                                                            input[0][0].size() - pos));
            for (int k = 0; k < 4; ++k) {
                Rig<M>& r = *rigs[k];
                r.in.prepCycle(n);
                r.out.prepCycle(n);
                float* dst[2] = {};
                if (c.channels == 2)
                    ASSERT_TRUE(r.in.wantWriteStereo(&dst[0], &dst[1]));
                else
                    ASSERT_TRUE(r.in.wantWriteMono(&dst[0], false));
                for (int ch = 0; ch < c.channels; ++ch)
                    std::copy_n(input[k % 2][ch].begin() + static_cast<long>(pos), n, dst[ch]);
                if (c.channels == 2)
                    r.in.doneWriteStereo();
                else
                    r.in.doneWriteMono();
            }
            rigs[0]->filter.render(n);
            rigs[1]->filter.render(n);
            M::renderPair(rigs[2]->filter, rigs[3]->filter, n);
            for (int k = 0; k < 4; ++k) {
                float* l = nullptr;
                float* r = nullptr;
                ASSERT_TRUE(rigs[k]->out.wantReadStereo(&l, &r));
                heard[k][0].insert(heard[k][0].end(), l, l + n);
                heard[k][1].insert(heard[k][1].end(), r, r + n);
            }
            pos += static_cast<size_t>(n);
        }
        for (int w = 0; w < 2; ++w)
            for (int ch = 0; ch < 2; ++ch) {
                SCOPED_TRACE(testing::Message() << "filter " << w << " channel " << ch);
                const Signal& alone = heard[w][ch];
                const Signal& paired = heard[w + 2][ch];
                EXPECT_GT(rms(alone, 0), 0.01);
                double worst = 0.0;
                for (size_t i = 0; i < alone.size(); ++i)
                    worst = std::max(worst, static_cast<double>(std::fabs(alone[i] - paired[i])));
                EXPECT_LE(worst, 1e-6 * peak(alone));
            }
    }
}

// Several voices' ladder pairs filtered together in the lanes must sound
// exactly as each pair rendered alone, bit for bit: mono and stereo pairs
// side by side, both ladder responses, a lane left empty, pieces that end
// inside a control step. Between holding and running, the shared input
// and control buffers are overwritten (the next voice's), so the lanes must
// run on the copies they took. The lanes also settle the states after each
// block as a filter does: inputs that fall to a whisper (states below the
// flush become 0) and a NaN or an infinity in one filter's input (that
// filter starts afresh, its neighbours in the lanes play on).
TEST(FilterMoogSI, LanesRenderLikePairs)
{
    if (LadderLanes_c::width() < LadderLanes_c::MaxLanes)
        GTEST_SKIP() << "this processor runs no wide lanes";
    struct Scene
    {
        int type;
        std::vector<int> channels; // per pair
        const char* what;
        bool spoiled = false; // inputs fall to a whisper, one gets a NaN, one an infinity
    };
    const Scene scenes[] = {
        {M::rLP24, {1, 1, 1, 1}, "four mono pairs, LP 24"},
        {M::rLP12, {1, 2, 1}, "mono, stereo, mono pairs, LP 12"},
        {M::rLP24, {2}, "one stereo pair, lanes left empty"},
        {M::rLP24, {1, 1, 1, 1, 1, 1, 1, 1}, "eight mono pairs, every lane"},
        {M::rLP12, {1, 1, 1, 2, 2, 1}, "a stereo pair across the two halves of the lanes"},
        {M::rLP24, {2, 1, 2}, "the second half partly filled"},
        {M::rLP24, {1, 2, 1, 1}, "a whisper, a NaN and an infinity", true},
    };
    const int pieces[] = {100, 37, 256, 1, 8, 13, 7};
    constexpr float Rate = 48000.0f;
    constexpr size_t Length = 3000;
    // One AVX-512 vector per eight lanes where the processor has one, and
    // two AVX2 vectors of four.
    struct OneVector
    {
        explicit OneVector(bool allow) { LadderLanes_c::allowOneVector(allow); }
        ~OneVector() { LadderLanes_c::allowOneVector(true); }
    };
    for (size_t run = 0; run < 2 * std::size(scenes); ++run) {
        const Scene& scene = scenes[run % std::size(scenes)];
        const bool oneVector = run < std::size(scenes);
        const OneVector vectors(oneVector);
        SCOPED_TRACE(testing::Message() << scene.what << (oneVector ? ", one vector" : ", two vectors"));
        const size_t pairs = scene.channels.size();
        // rigs[0][...]: rendered pair by pair; rigs[1][...]: through the lanes.
        std::vector<std::unique_ptr<Rig<M>>> rigs[2];
        std::vector<std::array<Signal, 2>> input;
        for (size_t f = 0; f < 2 * pairs; ++f) {
            const int channels = scene.channels[f / 2];
            for (auto& way : rigs) {
                auto r = std::make_unique<Rig<M>>(Rate, channels);
                r->filter.setParaVal(0, M::pType, scene.type);
                // Each filter its own cutoff sweep, resonance, level and balance.
                for (int k = 0; k < Steps; ++k) {
                    r->mod.cutoff[k] = 0.5f + 0.015f * static_cast<float>((k + 5 * f) % Steps);
                    r->mod.resonance[k] = f % 2 == 0 ? 0.95f : 0.4f;
                    r->mod.level[k] = 0.4f + 0.02f * static_cast<float>(k);
                    r->mod.balance[k] = -0.8f + 0.05f * static_cast<float>(k + f);
                }
                r->start();
                way.push_back(std::move(r));
            }
            input.push_back({noise(Length, 2.0f, static_cast<uint32_t>(11 + 2 * f)),
                             noise(Length, 2.0f, static_cast<uint32_t>(12 + 2 * f))});
            if (scene.spoiled) {
                // After a short burst (the later filters' later) a whisper
                // far below the flush, whose states every block settles to
                // 0; then a NaN into filter 1 and an infinity into filter
                // 2's right channel.
                for (Signal& ch : input.back())
                    for (size_t i = 300 + 100 * f; i < Length; ++i)
                        ch[i] *= 1e-22f;
                if (f == 1)
                    input.back()[0][1500] = std::numeric_limits<float>::quiet_NaN();
                if (f == 2)
                    input.back()[1][2200] = std::numeric_limits<float>::infinity();
            }
        }
        LadderLanes_c lanes;
        std::vector<std::array<Signal, 2>> heard[2];
        heard[0].resize(2 * pairs);
        heard[1].resize(2 * pairs);
        const auto feed = [&](Rig<M>& r, const std::array<Signal, 2>& from, size_t pos, int n) {
            r.in.prepCycle(n);
            r.out.prepCycle(n);
            float* dst[2] = {};
            const int channels = r.in.getChannels();
            if (channels == 2)
                ASSERT_TRUE(r.in.wantWriteStereo(&dst[0], &dst[1]));
            else
                ASSERT_TRUE(r.in.wantWriteMono(&dst[0], false));
            for (int ch = 0; ch < channels; ++ch)
                std::copy_n(from[static_cast<size_t>(ch)].begin() + static_cast<long>(pos), n, dst[ch]);
            channels == 2 ? r.in.doneWriteStereo() : r.in.doneWriteMono();
        };
        const auto keep = [&](int way, size_t f, int n) {
            float* l = nullptr;
            float* r = nullptr;
            ASSERT_TRUE(rigs[way][f]->out.wantReadStereo(&l, &r));
            heard[way][f][0].insert(heard[way][f][0].end(), l, l + n);
            heard[way][f][1].insert(heard[way][f][1].end(), r, r + n);
        };
        size_t pos = 0;
        for (int piece = 0; pos < Length; ++piece) {
            const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(pieces[piece % std::size(pieces)]),
                                                            Length - pos));
            for (size_t p = 0; p < pairs; ++p) {
                for (int way = 0; way < 2; ++way)
                    for (size_t f = 2 * p; f < 2 * p + 2; ++f)
                        feed(*rigs[way][f], input[f], pos, n);
                M::renderPair(rigs[0][2 * p]->filter, rigs[0][2 * p + 1]->filter, n);
                ASSERT_TRUE(lanes.hasRoom(rigs[1][2 * p]->filter, rigs[1][2 * p + 1]->filter, n));
                ASSERT_TRUE(M::renderPair(rigs[1][2 * p]->filter, rigs[1][2 * p + 1]->filter, n, &lanes));
            }
            // What the next voices would leave in the shared buffers.
            std::vector<ModBuffers> kept;
            for (auto& r : rigs[1]) {
                kept.push_back(r->mod);
                ModBuffers::fill(r->mod.cutoff, 0.2f);
                ModBuffers::fill(r->mod.level, 3.0f);
                ModBuffers::fill(r->mod.balance, 0.9f);
                feed(*r, input[0], 0, n);
            }
            lanes.run();
            for (size_t f = 0; f < 2 * pairs; ++f) {
                rigs[1][f]->mod = kept[f];
                rigs[1][f]->out.prepCycle(n);
                lanes.mixOut(static_cast<int>(f));
                keep(0, f, n);
                keep(1, f, n);
            }
            lanes.clear();
            pos += static_cast<size_t>(n);
        }
        for (size_t f = 0; f < 2 * pairs; ++f)
            for (size_t ch = 0; ch < 2; ++ch) {
                SCOPED_TRACE(testing::Message() << "filter " << f << " channel " << ch);
                const Signal& alone = heard[0][f][ch];
                const Signal& laned = heard[1][f][ch];
                ASSERT_EQ(alone.size(), laned.size());
                EXPECT_GT(rms(Signal(alone.begin(), alone.begin() + 300), 0), 0.01);
                // A NaN the filter let out counts as the same as a NaN.
                const auto same = [](float a, float b) { return a == b || (std::isnan(a) && std::isnan(b)); };
                size_t differ = 0;
                for (size_t i = 0; i < alone.size(); ++i)
                    differ += same(alone[i], laned[i]) ? 0 : 1;
                EXPECT_EQ(differ, 0u);
                if (scene.spoiled) {
                    EXPECT_TRUE(std::isfinite(alone.back())) << "the filter came back from the NaN or the infinity";
                }
            }
    }
}

// Sending held ladders straight onto an effect bus (sendOut) adds what
// mixOut into the output bus and a plain add of that bus would: the output
// bus's silence plus the stash, to the bit; the output bus is left alone.
// Queued sends (queueSend, then flushSends) leave the bus exactly as
// sendOut does, also on a bus holding 5.1 content (written through its
// scratch channels). While held, a filter's rendering flag stays up, and
// clear() lowers it.
TEST(FilterMoogSI, LanesSendOutAddsWhatTheOutputBusWouldPassOn)
{
    if (LadderLanes_c::width() < LadderLanes_c::MaxLanes)
        GTEST_SKIP() << "this processor runs no wide lanes";
    // Output buses whose silence is not zero (as the engine's is not).
    static float silence[MaxBlockSize];
    for (int i = 0; i < MaxBlockSize; ++i)
        silence[i] = 0.001f * static_cast<float>(i % 7 - 3);
    constexpr float Rate = 48000.0f;
    for (const bool surround : {false, true}) {
        for (const int n : {32, 100, 256}) {
            SCOPED_TRACE(testing::Message() << n << " frames" << (surround ? ", 5.1 target" : ""));
            // ways[0]: mixOut, then the output bus added into the target (a
            // stereo target only); ways[1]: sendOut into the target; ways[2]:
            // queueSend, then flushSends.
            constexpr int Ways = 3;
            std::array<std::array<std::unique_ptr<Rig<M>>, 2>, Ways> ways;
            std::array<InBuffer2_c, Ways> target;
            std::array<LadderLanes_c, Ways> lanes;
            const std::vector<float> input[2] = {noise(static_cast<size_t>(n), 1.0f, 5),
                                                 noise(static_cast<size_t>(n), 1.0f, 6)};
            const std::vector<float> before = noise(static_cast<size_t>(n), 0.5f, 7);
            for (int way = 0; way < Ways; ++way) {
                for (int f = 0; f < 2; ++f) {
                    auto& r = ways[way][f] = std::make_unique<Rig<M>>(Rate);
                    ASSERT_TRUE(r->out.create("out", Block, 2, silence, false, false));
                    r->filter.setParaVal(0, M::pType, M::rLP24);
                    r->set(0.6f, f == 0 ? 0.9f : 0.3f);
                    r->start();
                    r->in.prepCycle(n);
                    r->out.prepCycle(n);
                    float* in = nullptr;
                    ASSERT_TRUE(r->in.wantWriteMono(&in, false));
                    std::copy(input[f].begin(), input[f].end(), in);
                    r->in.doneWriteMono();
                }
                // The target already holds what other voices sent.
                ASSERT_TRUE(target[way].create("target", Block, surround ? 6 : 2, silence, false, false));
                target[way].prepCycle(n);
                if (surround) {
                    float* six[6] = {};
                    ASSERT_TRUE(target[way].wantWrite51(six));
                    for (int c = 0; c < 6; ++c)
                        for (int i = 0; i < n; ++i)
                            six[c][i] = static_cast<float>(c + 1) * before[static_cast<size_t>(i)];
                    target[way].doneWrite51();
                } else {
                    float* l = nullptr;
                    float* r = nullptr;
                    ASSERT_TRUE(target[way].wantWriteStereo(&l, &r));
                    for (int i = 0; i < n; ++i) {
                        l[i] = before[static_cast<size_t>(i)];
                        r[i] = -before[static_cast<size_t>(i)];
                    }
                    target[way].doneWriteStereo();
                }
                ASSERT_TRUE(M::renderPair(ways[way][0]->filter, ways[way][1]->filter, n, &lanes[way]));
                EXPECT_TRUE(ways[way][0]->filter.rendering.load()) << "held: the flag stays up";
                EXPECT_TRUE(ways[way][1]->filter.rendering.load());
                lanes[way].run();
            }
            for (int f = 0; f < 2; ++f) {
                if (!surround) {
                    lanes[0].mixOut(f);
                    ASSERT_TRUE(target[0].add(&ways[0][f]->out, n, false, nullptr));
                }
                lanes[1].sendOut(f, target[1]);
                lanes[2].queueSend(f, target[2]);
                for (int way = 1; way < Ways; ++way)
                    EXPECT_FALSE(ways[way][f]->out.hasContent()) << "the output bus is left alone";
            }
            lanes[2].flushSends();
            // Every channel of the target, as sendOut left it and as the other
            // way did.
            const int channels = surround ? 6 : 2;
            float* reference[6] = {};
            float* got[6] = {};
            if (surround) {
                ASSERT_TRUE(target[1].wantRead51(reference));
                ASSERT_TRUE(target[2].wantRead51(got));
            } else {
                ASSERT_TRUE(target[1].wantReadStereo(&reference[0], &reference[1]));
                ASSERT_TRUE(target[2].wantReadStereo(&got[0], &got[1]));
                float* expected[2] = {};
                ASSERT_TRUE(target[0].wantReadStereo(&expected[0], &expected[1]));
                for (int c = 0; c < 2; ++c)
                    for (int i = 0; i < n; ++i)
                        ASSERT_EQ(reference[c][i], expected[c][i]) << "sendOut, channel " << c << " frame " << i;
            }
            for (int c = 0; c < channels; ++c)
                for (int i = 0; i < n; ++i)
                    ASSERT_EQ(got[c][i], reference[c][i]) << "queued, channel " << c << " frame " << i;
            for (auto& l : lanes)
                l.clear();
            for (auto& way : ways)
                for (auto& r : way)
                    EXPECT_FALSE(r->filter.rendering.load()) << "cleared: the flag is down again";
        }
    }
}

// The low-pass loops with and without fused multiply-add (the processor
// decides which one plays) differ only by rounding: loud noise into high
// resonance, mono and stereo.
TEST(FilterMoogSI, PlainAndFusedLoopsAgree)
{
    for (const int channels : {1, 2}) {
        for (const int type : {M::rLP12, M::rLP24}) {
            SCOPED_TRACE(testing::Message() << channels << " channels, type " << type);
            const Signal left = noise(8192, 2.0f, 5);
            const Signal right = noise(8192, 2.0f, 6);
            Rig<M>::Output heard[2];
            for (int fused = 0; fused < 2; ++fused) {
                M::allowFusedMultiplyAdd(fused == 1);
                Rig<M> r(48000.0f, channels);
                r.filter.setParaVal(0, M::pType, type);
                r.set(0.6f, 0.95f);
                r.start();
                heard[fused] = r.run(left, channels == 2 ? &right : nullptr, 100);
            }
            M::allowFusedMultiplyAdd(true);
            const float top = std::max(peak(heard[0].first), peak(heard[0].second));
            EXPECT_GT(top, 0.01f);
            double worst = 0.0;
            for (size_t i = 0; i < left.size(); ++i) {
                worst = std::max(worst, static_cast<double>(std::fabs(heard[0].first[i] - heard[1].first[i])));
                worst = std::max(worst, static_cast<double>(std::fabs(heard[0].second[i] - heard[1].second[i])));
            }
            EXPECT_LE(worst, 1e-5 * top);
        }
    }
}

// The response type is fixed at a note start that is not legato.
TEST(FilterMoogSI, TypeChangesAtTheNextFreshNote)
{
    Rig<M> r(44100.0f);
    r.filter.setParaVal(0, M::pType, M::rLP24);
    r.start();
    EXPECT_EQ(r.filter.responseType, M::rLP24);
    r.filter.setParaVal(0, M::pType, M::rHP12);
    r.run(Signal(256, 0.0f));
    EXPECT_EQ(r.filter.responseType, M::rLP24);
    r.start(true);
    EXPECT_EQ(r.filter.responseType, M::rLP24);
    r.start(false);
    EXPECT_EQ(r.filter.responseType, M::rHP12);
}

// Without all inputs or at 22000 Hz and below the filter stays silent; the
// output's write is still completed.
TEST(FilterMoogSI, ReadinessAndSilenceWhenNotReady)
{
    Rig<M> low(22000.0f);
    EXPECT_FALSE(low.filter.isReady());
    low.start();
    const auto o = low.run(noise(1024, 1.0f));
    EXPECT_EQ(peak(o.first), 0.0f);
    EXPECT_EQ(low.out.getWriteState(), 4);

    M bare;
    ParaSet_c* slot = nullptr;
    bare.getParaSetPtr(&slot, 1);
    bare.setSampleRate(44100.0f);
    float buf[Steps] = {};
    EXPECT_FALSE(bare.create(buf, buf, buf, nullptr));
    EXPECT_TRUE(bare.create(buf, buf, buf, buf));
    bare.setSampleRate(-1.0f); // ignored
    EXPECT_TRUE(bare.isReady());
}

} // namespace
