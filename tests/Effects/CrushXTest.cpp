// The crusher: parameters, the quantiser's grid, the filter's bypass and its
// resonance held short of a lossless resonator, the divider modes, the rate
// factor. The checks every effect type passes are in AllEffectsTest.
#include "CrushX.h"
#include "FxKinds.h"
#include "FxMeasure1.h"

#include <gtest/gtest.h>

using namespace fxtest;

namespace {

TEST(CrushX, ParametersAndClassAnswers)
{
    auto rig = makeRig(crusherKind(), 44100.0f);
    const Part_c& fx = *rig->fx;
    struct Row
    {
        int idx;
        const char* name;
        int def;
    };
    for (const Row& r :
         {Row{0, "Version", 200}, Row{1, "On/Off", 1}, Row{2, "Resolution", 400}, Row{3, "Dither On/Off", 0},
          Row{4, "Divider", 1}, Row{5, "Divider Mode", 3}, Row{6, "Filter Type ", 1}, Row{7, "Cutoff", 20000},
          Row{8, "Resonance", 0}, Row{9, "FilterPostDiv On/Off", 0}, Row{10, "Auto Volume compensation", 1},
          Row{11, "Wet", 100}}) {
        SCOPED_TRACE(r.name);
        // The whole name: it is longer than a name answer holds.
        EXPECT_STREQ(fx.getParaPtr(0, r.idx)->getParaSpecPtr()->name, r.name);
        EXPECT_EQ(fx.getParaVal(0, r.idx), r.def);
    }
    EXPECT_TRUE(fx.getParaPtr(0, CrushX_c::pResolution)->getInfinite() == false);
    EXPECT_EQ(fx.getTypeCode(), fourCC("VCX1"));
    EXPECT_FALSE(fx.isBPMDependent());
    EXPECT_FLOAT_EQ(rig->fx->getFadeTime(), 0.1f);
    EXPECT_EQ(CrushXR_c().getTypeCode(), fourCC("VCX1"));
    rig->para(CrushX_c::pResolution, 1601);
    EXPECT_TRUE(fx.getParaPtr(0, CrushX_c::pResolution)->getInfinite());
}

// The quantiser's grid: 4 bits give 7.5 levels a side in steps of 0.1332;
// one bit puts every sample on -0.998 or +1.0 (before the DC tracker has
// moved).
TEST(CrushX, QuantiserGrid)
{
    auto rig = makeRig(crusherKind(), 44100.0f);
    auto& fx = static_cast<CrushX_c&>(*rig->fx);
    EXPECT_FLOAT_EQ(fx.levels, 7.5f);
    EXPECT_NEAR(fx.step, 0.1332f, 1e-6f);
    rig->para(CrushX_c::pAutoVolume, 0);
    rig->para(CrushX_c::pResolution, 100);
    EXPECT_FLOAT_EQ(fx.levels, 0.5f);
    EXPECT_FLOAT_EQ(fx.step, 1.998f);
    rig->run(64, sine(1000.0, 44100.0, 0.5f), sine(1000.0, 44100.0, -0.5f));
    const Signal in = sine(1000.0, 44100.0, 0.5f);
    for (size_t i = 1; i < 64; ++i) {
        SCOPED_TRACE(i);
        // The output offset of 1e-6 alternates; the tracker has moved by at
        // most 64 x 5e-5 of a level.
        const float want = in(static_cast<long long>(i)) >= -0.0001f ? 1.0f : -0.998f;
        EXPECT_NEAR(rig->outL[i], want, 0.01f);
    }
}

// Cutoff 20000 with little resonance bypasses the low-pass; any other type
// or more resonance keeps the filter. The rate factor measures the cutoff
// against the running rate, clamped to 0.1..1.
TEST(CrushX, FilterBypassAndRateFactor)
{
    struct Row
    {
        int cutoff;
        int resonance;
        int type;
        bool active;
    };
    auto rig = makeRig(crusherKind(), 44100.0f);
    auto& fx = static_cast<CrushX_c&>(*rig->fx);
    for (const Row& r : {Row{20000, 0, CrushX_c::fLP12, false}, Row{19999, 10, CrushX_c::fLP12, false},
                         Row{19998, 0, CrushX_c::fLP12, true}, Row{20000, 11, CrushX_c::fLP12, true},
                         Row{20000, 0, CrushX_c::fHP12, true}, Row{20000, 0, CrushX_c::fBR12, true}}) {
        SCOPED_TRACE(testing::Message() << r.cutoff << " " << r.resonance << " " << r.type);
        rig->para(CrushX_c::pFilterType, r.type);
        rig->para(CrushX_c::pResonance, r.resonance);
        rig->para(CrushX_c::pCutoff, r.cutoff);
        EXPECT_EQ(fx.filterActive, r.active);
    }
    for (auto [rate, factor] : {std::pair{96000.0f, 0.459375f}, std::pair{22050.0f, 1.0f}, std::pair{44100.0f, 1.0f}}) {
        SCOPED_TRACE(rate);
        auto r = makeRig(crusherKind(), rate);
        EXPECT_FLOAT_EQ(static_cast<CrushX_c&>(*r->fx).cutoffRateFactor, factor);
    }
}

// Resonance 100 used to make the filter lossless: a 0.5 tone at its
// frequency grew to about 494 after 1 s and 4944 after 10 s. Held at 0.99
// the peak settles and stays.
TEST(CrushX, FullResonanceStaysBounded)
{
    for (float rate : Rates) {
        SCOPED_TRACE(rate);
        auto rig = makeRig(crusherKind(), rate);
        auto& fx = static_cast<CrushX_c&>(*rig->fx);
        rig->para(CrushX_c::pResolution, 1601);
        rig->para(CrushX_c::pAutoVolume, 0);
        rig->para(CrushX_c::pFilterType, CrushX_c::fBP12);
        rig->para(CrushX_c::pCutoff, 1000);
        rig->para(CrushX_c::pResonance, 100);
        EXPECT_DOUBLE_EQ(fx.resonance, 0.99);
        // The filter rings where 2 sin(pi f / rate) equals its coefficient.
        const double hz = rate / std::numbers::pi * std::asin(fx.coefficient / 2.0);
        const long long total = static_cast<long long>(rate) * 10;
        rig->run(total, sine(hz, rate, 0.5f), sine(hz, rate, 0.5f));
        const size_t second = static_cast<size_t>(rate);
        EXPECT_LT(peak(rig->outL), 60.0f);
        EXPECT_LE(peak(rig->outL, 9 * second), peak(rig->outL, second, 2 * second) * 1.01f);
        EXPECT_GT(peak(rig->outL, 9 * second), 10.0f); // it does resonate
    }
}

// A fresh start of both channels, with the DC tracker already on the grid's
// offset at 0 (it would take some 20000 samples to get there).
void restart(CrushX_c& fx)
{
    Note_c n;
    n.set(60, 100);
    fx.prepProc(0, n, false);
    const double levels = fx.levels;
    fx.channel[0].dc = std::trunc(1.0001 * levels + 0.5) * static_cast<double>(fx.step) - 0.998;
}

// The divider modes with N = 4 on a ramp, through the core at 16.01 bits
// (a grid too fine to matter): AVG averages, STP holds every fourth sample,
// SLD slides to each fourth sample over the next four. N = 1 bypasses.
TEST(CrushX, DividerModes)
{
    auto rig = makeRig(crusherKind(), 44100.0f);
    auto& fx = static_cast<CrushX_c&>(*rig->fx);
    rig->para(CrushX_c::pResolution, 1601);
    rig->para(CrushX_c::pAutoVolume, 0);
    constexpr int N = 16;
    float in[N];
    for (int i = 0; i < N; ++i)
        in[i] = 0.01f * static_cast<float>(i + 1);
    struct Row
    {
        int mode;
        int divider;
        float want[N];
    };
    const Row rows[] = {
        {CrushX_c::modeStep, 4, {0, 0, 0, 0.04f, 0.04f, 0.04f, 0.04f, 0.08f, 0.08f, 0.08f, 0.08f, 0.12f, 0.12f, 0.12f, 0.12f, 0.16f}},
        {CrushX_c::modeSlide, 4, {0, 0, 0, 0.01f, 0.02f, 0.03f, 0.04f, 0.05f, 0.06f, 0.07f, 0.08f, 0.09f, 0.10f, 0.11f, 0.12f, 0.13f}},
        {CrushX_c::modeAverage, 1, {0.01f, 0.02f, 0.03f, 0.04f, 0.05f, 0.06f, 0.07f, 0.08f, 0.09f, 0.10f, 0.11f, 0.12f, 0.13f, 0.14f, 0.15f, 0.16f}},
        {CrushX_c::modeStep, 1, {0.01f, 0.02f, 0.03f, 0.04f, 0.05f, 0.06f, 0.07f, 0.08f, 0.09f, 0.10f, 0.11f, 0.12f, 0.13f, 0.14f, 0.15f, 0.16f}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "mode " << r.mode << " N " << r.divider);
        rig->para(CrushX_c::pDividerMode, r.mode);
        rig->para(CrushX_c::pDivider, r.divider);
        restart(fx);
        float work[N] = {};
        fx.renderCore(N, in, work, fx.channel[0]);
        for (int i = 0; i < N; ++i)
            EXPECT_NEAR(work[i], r.want[i], 2.5e-4f) << i;
    }
    // AVG: h = 0.75 h + 0.25 x.
    rig->para(CrushX_c::pDividerMode, CrushX_c::modeAverage);
    rig->para(CrushX_c::pDivider, 4);
    restart(fx);
    float work[N] = {};
    fx.renderCore(N, in, work, fx.channel[0]);
    float h = 0.0f;
    for (int i = 0; i < N; ++i) {
        h = 0.75f * h + 0.25f * in[i];
        EXPECT_NEAR(work[i], h, 2.5e-4f) << i;
    }
}

// Mono content gives mono output; at 11000 Hz and below the crusher is not
// ready and writes nothing.
TEST(CrushX, MonoPathAndReadiness)
{
    auto rig = makeRig(crusherKind(), 44100.0f);
    rig->run(512, sine(200.0, 44100.0, 0.5f));
    EXPECT_TRUE(rig->out.isMono());
    EXPECT_GT(rms(rig->outL), 0.2);
    auto slow = makeRig(crusherKind(), 11000.0f);
    EXPECT_FALSE(slow->fx->isReady());
    slow->run(512, dc(0.5f), dc(0.5f));
    EXPECT_EQ(peak(slow->outL), 0.0f);
    CrushX_c c;
    c.setSampleRate(-1.0f);
    EXPECT_FALSE(c.isReady());
}

} // namespace
