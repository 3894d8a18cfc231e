// The morphing filter: parameters and rest values, the four shapes on the
// morph cycle measured on sines at both slopes and every rate, the way the
// morph moves round the cycle, the coefficient smoothing, equal outputs, and
// readiness.
#include "FilterTestRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace FilterTest;
using namespace SignalMeasure;
using F = FilterFree_c;

namespace {

TEST(FilterFree, ParametersAndRestValues)
{
    Rig<F> r(44100.0f);
    EXPECT_EQ(r.filter.getTypeCode(), fourCC("VFF1"));
    const std::pair<int, const char*> names[] = {{0, "Version"},   {2, "Cutoff"},    {3, "Resonance"},
                                                 {4, "Type     "}, {5, "Slope    "}, {6, "Cut KeyF "}};
    for (const auto& [i, name] : names)
        EXPECT_EQ(paraName(r.filter, i), name) << i;
    EXPECT_EQ(r.filter.getParaVal(0, F::pSlope), 1);
    EXPECT_EQ(display(r.filter, F::pSlope).substr(0, 5), "12 dB");

    struct Case
    {
        int hz;
        int resonance;
        int type; // hundredths
        int keyFollow;
        int key;
        float cutoff, res, typeRest;
    };
    const Case cases[] = {
        {20000, 0, 0, 0, 60, 1.0f, 0.0f, -1.0f},
        {5000, 50, 25, 0, 60, 0.75f, 0.5f, -0.5f},
        {5000, 100, 100, 100, 72, 0.875f, 1.0f, 1.0f},
        {40, 0, 75, 100, 12, static_cast<float>(1.0 + std::log2(0.002 / 16.0) / 8.0), 0.0f, 0.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hz);
        r.filter.prepProc(0, noteOf(c.key), false);
        r.filter.setParaVal(0, F::pCutoff, c.hz);
        r.filter.setParaVal(0, F::pResonance, c.resonance);
        r.filter.setParaVal(0, F::pType, c.type);
        r.filter.setParaVal(0, F::pCutKeyF, c.keyFollow);
        // What the instrument does after it changed the parameters.
        r.filter.cachePara(crParaChange, 0, -1);
        EXPECT_NEAR(r.filter.getModSampleDefault(0), c.cutoff, 1e-5f);
        EXPECT_NEAR(r.filter.getModSampleDefault(1), c.res, 1e-6f);
        EXPECT_NEAR(r.filter.getModSampleDefault(2), c.typeRest, 1e-6f);
    }
    r.filter.setParaVal(0, F::pSlope, 2);
    r.filter.cachePara(crParaChange, 0, -1);
    EXPECT_TRUE(r.filter.slope24);
}

// Type 0, 0.25, 0.5 and 0.75 (type inputs -1, -0.5, 0, 0.5) are low-pass,
// band-pass, high-pass and notch. The centre frequency comes from the
// filter's own coefficient, fc = rate x asin(g / 2) / pi (the centre of a
// state-variable filter of that coefficient); responses are read two
// octaves either side of it and within a semitone of it.
TEST(FilterFree, ShapesAroundTheCycle)
{
    struct Case
    {
        const char* shape;
        float type;
        bool slope24;
        double below, at, above; // dB: expected, or a bound
    };
    // (12 dB: -24 dB two octaves out; 24 dB: twice that.)
    for (float rate : Rates) {
        for (bool slope24 : {false, true}) {
            const double k = slope24 ? 2.0 : 1.0;
            const Case cases[] = {
                {"low-pass", -1.0f, slope24, 0.0, 0.0, -20.0 * k},
                {"band-pass", -0.5f, slope24, -10.0 * k, 0.0, -10.0 * k},
                {"high-pass", 0.0f, slope24, -20.0 * k, 0.0, 0.0},
                // (The stage's notch output, new low-pass plus high-pass,
                // has its zero just inside the unit circle: about -19 dB.)
                {"notch", 0.5f, slope24, 0.0, -15.0 * k, 0.0},
            };
            for (const Case& c : cases) {
                SCOPED_TRACE(testing::Message() << c.shape << (slope24 ? " 24 dB " : " 12 dB ") << rate);
                Rig<F> r(rate);
                r.filter.setParaVal(0, F::pSlope, slope24 ? 2 : 1);
                r.set(0.6f, 0.0f, c.type);
                r.start();
                r.run(Signal(static_cast<size_t>(rate), 0.0f)); // the morph settles
                ASSERT_NEAR(r.filter.position, 2.0f * (c.type + 1.0f), 1e-3f);
                const double fc = rate * std::asin(r.filter.g / 2.0) / std::numbers::pi;
                const double below = r.gainDb(fc / 4);
                const double above = r.gainDb(fc * 4);
                // The centre within a semitone either way: the peak of a
                // pass band, the floor of the notch.
                double at = c.at == 0.0 ? -1e9 : 1e9;
                for (int semitone = -1; semitone <= 1; ++semitone) {
                    const double g = r.gainDb(fc * std::pow(2.0, semitone / 12.0), 0.25);
                    at = c.at == 0.0 ? std::max(at, g) : std::min(at, g);
                }
                // Pass bands within 3 dB (the 24 dB slope's second stage
                // has a little peak of its own), stop bands below the bound.
                auto check = [](double got, double want, const char* where) {
                    if (want == 0.0)
                        EXPECT_NEAR(got, 0.0, 3.0) << where;
                    else
                        EXPECT_LT(got, want) << where;
                };
                check(below, c.below, "two octaves below");
                check(at, c.at, "at the centre");
                check(above, c.above, "two octaves above");
            }
        }
    }
}

// The morph moves straight toward its target, and through the wrap between
// notch and low-pass only when the target lies below 1 and the position
// above 3 (or the other way round).
TEST(FilterFree, MorphDirection)
{
    struct Case
    {
        const char* what;
        float from, to; // type inputs
        float lo, hi;   // the positions the way may pass
        bool wraps;
    };
    const Case cases[] = {
        {"0.9 to -0.9 goes forward through the wrap", 0.9f, -0.9f, 0.0f, 4.0f, true},
        {"3.9 to 1.2 goes down through notch and high-pass", 0.95f, -0.4f, 1.2f, 3.9f, false},
        {"0.2 to 3.8 goes backward through the wrap", -0.9f, 0.9f, 0.0f, 4.0f, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        F f;
        // From wherever the morph is, settle on the first target.
        for (int i = 0; i < 5000; ++i)
            f.morphStep(c.from);
        float prev = f.position;
        bool wrapped = false;
        for (int i = 0; i < 5000; ++i) {
            f.morphStep(c.to);
            EXPECT_GE(f.position, c.lo - 1e-4f);
            EXPECT_LE(f.position, c.hi + 1e-4f);
            // A wrap is a jump of nearly a whole cycle.
            if (std::fabs(f.position - prev) > 2.0f)
                wrapped = true;
            // A way through the wrap never visits band-pass to notch.
            if (c.wraps) {
                EXPECT_TRUE(f.position < 1.0f || f.position > 3.0f) << f.position;
            }
            prev = f.position;
            EXPECT_NEAR(f.wLow + f.wBand + f.wHigh + f.wNotch, 1.0f, 1e-5f);
        }
        EXPECT_EQ(wrapped, c.wraps);
        EXPECT_NEAR(f.position, std::fmod(2.0f * c.to + 10.0f, 4.0f), 1e-3f);
    }
}

// A type input of any size lands on the cycle (a floor modulo, never a
// negative remainder), and NaN leaves the position where it was.
TEST(FilterFree, TypeInputsOutsideTheirRange)
{
    struct Case
    {
        float type;
        float target;
    };
    const Case cases[] = {{-6.0f, 2.0f}, {-5.5f, 3.0f}, {-1000.25f, 1.5f}, {7.5f, 1.0f}, {1e7f, 2.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        F f;
        for (int i = 0; i < 5000; ++i) {
            f.morphStep(c.type);
            ASSERT_GE(f.position, 0.0f);
            ASSERT_LT(f.position, 4.0f);
        }
        EXPECT_NEAR(f.position, c.target, 1e-3f);
        EXPECT_NEAR(f.wLow + f.wBand + f.wHigh + f.wNotch, 1.0f, 1e-5f);
        const float before = f.position;
        f.morphStep(std::nanf(""));
        EXPECT_EQ(f.position, before);
    }
}

// A step of the cutoff input reaches 90 % of the new coefficient after about
// 22 control steps; the first block after a note start takes it at once.
TEST(FilterFree, CoefficientSmoothing)
{
    Rig<F> r(44100.0f);
    r.set(0.2f, 0.0f);
    r.start();
    r.run(Signal(ControlStepFrames, 0.0f));
    const float from = r.filter.f;
    EXPECT_NEAR(from, F::cutoffPower(0.2f) * 0.03125 * 40000.0 / 44100.0, 1e-6);
    r.set(0.8f, 0.0f);
    const float to = static_cast<float>(F::cutoffPower(0.8f) * 0.03125) * (40000.0f / 44100.0f);
    int steps = 0;
    while (r.filter.f < from + 0.9f * (to - from) && steps < 100) {
        r.run(Signal(ControlStepFrames, 0.0f));
        ++steps;
    }
    EXPECT_NEAR(steps, 22, 1);

    // Resonance 1 is held at 0.9: q = (2 - 0.9) x 0.9.
    r.set(0.8f, 1.0f);
    r.run(Signal(ControlStepFrames, 0.0f));
    EXPECT_FLOAT_EQ(r.filter.q, 0.99f);
}

// In 24 dB mode the second stage's low-pass state is held within -1..1,
// however loud the first stage gets at full resonance.
TEST(FilterFree, SecondStageLowPassStaysWithinOne)
{
    for (float type : {-1.0f, -0.5f, 0.5f}) {
        SCOPED_TRACE(type);
        Rig<F> r(44100.0f);
        r.filter.setParaVal(0, F::pSlope, 2);
        r.filter.cachePara(crParaChange, 0, -1);
        r.set(0.5f, 1.0f, type);
        r.start();
        double widest = 0.0;
        r.run(noise(44100, 16.0f), nullptr, Block, [&](size_t) {
            for (int c = 0; c < 2; ++c)
                widest = std::max(widest, std::fabs(r.filter.second[c].low));
        });
        EXPECT_LE(widest, 1.0);
        EXPECT_GT(widest, 0.5) << "the clamp is reached";
    }
}

// Both outputs carry the same signal, for a mono input and whatever the
// balance input holds; a stereo input is filtered per channel.
TEST(FilterFree, EqualOutputsAndStereo)
{
    for (bool slope24 : {false, true}) {
        for (float balance : {-1.0f, 0.0f, 0.7f}) {
            SCOPED_TRACE(testing::Message() << slope24 << " balance " << balance);
            Rig<F> r(48000.0f);
            r.filter.setParaVal(0, F::pSlope, slope24 ? 2 : 1);
            r.set(0.6f, 0.8f, -0.3f);
            ModBuffers::fill(r.mod.balance, balance);
            r.start();
            const auto o = r.run(noise(8192, 0.5f));
            EXPECT_GT(rms(o.first), 0.01);
            EXPECT_EQ(o.first, o.second);
        }
    }
    Rig<F> s(48000.0f, 2);
    s.start();
    const Signal tone = sine(4096, 700.0, 48000.0, 0.5f);
    const Signal silence(4096, 0.0f);
    const auto o = s.run(tone, &silence);
    EXPECT_GT(rms(o.first, 2048), 0.1);
    EXPECT_EQ(peak(o.second), 0.0f);
}

// Ready only with every input and above 22000 Hz; the rate factor is
// 40000 / rate within 0.1..1.
TEST(FilterFree, ReadinessAndRateFactor)
{
    Rig<F> low(20000.0f);
    EXPECT_FALSE(low.filter.isReady());
    low.start();
    EXPECT_EQ(peak(low.run(noise(1024, 1.0f)).first), 0.0f);

    Rig<F> r(44100.0f);
    EXPECT_TRUE(r.filter.isReady());
    EXPECT_FLOAT_EQ(r.filter.rateScale, 40000.0f / 44100.0f);
    r.filter.setSampleRate(500000.0f);
    EXPECT_FLOAT_EQ(r.filter.rateScale, 0.1f);
    r.filter.setSampleRate(0.0f); // ignored
    EXPECT_FLOAT_EQ(r.filter.rateScale, 0.1f);
    float buf[Steps] = {};
    EXPECT_FALSE(r.filter.create(buf, buf, buf, buf, nullptr));
}

} // namespace
