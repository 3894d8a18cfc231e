// The filter effect: parameters, the LFO's carry over short blocks, the
// release tail, the responses measured on stepped sines, the soft clip held
// at its turning point. The checks every effect type passes are in
// AllEffectsTest.
#include "FxKinds.h"
#include "FxMeasure1.h"
#include "GloFil.h"

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

TEST(GloFil, ParametersAndClassAnswers)
{
    auto rig = makeRig(gloFilKind(), 44100.0f);
    const Part_c& fx = *rig->fx;
    struct Row
    {
        int idx;
        const char* name;
        int def;
    };
    for (const Row& r : {Row{0, "Version", 200}, Row{1, "S0 On/Off", 1}, Row{2, "Filter Wet", 100},
                         Row{3, "Type ", 0}, Row{4, "Filter Sat", 20}, Row{5, "Cutoff", 10000},
                         Row{6, "Resonance", 0}, Row{7, "Filter Mod Speed", 100}, Row{8, "Filter Mod Depth", 50},
                         Row{9, "Level (D+W)", 0}, Row{10, "Frequency", -13}}) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(paraName(fx, r.idx), r.name);
        EXPECT_EQ(fx.getParaVal(0, r.idx), r.def);
    }
    EXPECT_EQ(fx.getParaPtr(0, GloFil_c::pLevel)->getLowValue(), -91);
    EXPECT_EQ(fx.getTypeCode(), fourCC("VGF1"));
    EXPECT_FALSE(fx.isBPMDependent());
    GloFilR_c serial;
    EXPECT_EQ(serial.getTypeCode(), fourCC("VGF1"));
}

// The LFO's speed and note value follow the effect's, and resume makes it a
// triangle.
TEST(GloFil, LFOFollowsSpeedAndNoteValue)
{
    auto rigOwner = makeRig(gloFilKind(), 44100.0f);
    FxRig& rig = *rigOwner;
    auto& fx = static_cast<GloFil_c&>(*rig.fx);
    rig.para(GloFil_c::pModSpeed, 237);
    rig.para(GloFil_c::pNotes, 13);
    EXPECT_EQ(fx.lfo.getParaVal(0, LFOSimp_c::pFrequency), 237);
    EXPECT_EQ(fx.lfo.getParaVal(0, LFOSimp_c::pNotes), 13);
    EXPECT_EQ(fx.lfo.getParaVal(0, LFOSimp_c::pWaveform), LFOSimp_c::wfTriangle);
}

// Blocks of 5 samples: one control step each, the carry grows by 3 and
// every third step is taken back, so 9 blocks advance the LFO 6 times.
TEST(GloFil, CarryKeepsTheLFOInStepOverShortBlocks)
{
    auto rigOwner = makeRig(gloFilKind(), 44100.0f);
    FxRig& rig = *rigOwner;
    auto& fx = static_cast<GloFil_c&>(*rig.fx);
    fx.lfoValue = 0.0f;
    fx.lfoIncrement = 1.0f / 1024.0f;
    fx.lfoRemaining = 1000;
    fx.carry = 0;
    rig.run(45, dc(0.1f), dc(0.1f), 5);
    EXPECT_FLOAT_EQ(fx.lfoValue, 6.0f / 1024.0f);
    EXPECT_EQ(fx.lfoRemaining, 994);
    // Whole control steps carry nothing.
    rig.run(64, dc(0.1f), dc(0.1f), 16);
    EXPECT_FLOAT_EQ(fx.lfoValue, 14.0f / 1024.0f);
}

TEST(GloFil, FadeTimeFollowsResonance)
{
    GloFil_c unbound;
    EXPECT_EQ(unbound.getFadeTime(), 0.0f);
    auto rigOwner = makeRig(gloFilKind(), 44100.0f);
    FxRig& rig = *rigOwner;
    struct Row
    {
        int resonance;
        float seconds;
    };
    for (const Row& r : {Row{0, 0.1f}, Row{95, 0.1f}, Row{96, 4.1f}, Row{99, 25.1f}, Row{100, 3600.0f}}) {
        SCOPED_TRACE(r.resonance);
        rig.para(GloFil_c::pResonance, r.resonance);
        EXPECT_NEAR(rig.fx->getFadeTime(), r.seconds, r.seconds * 1e-4);
    }
}

// The response of the linear filter (clean input stage, small signal): with
// damping d = 1 - R and coefficient f the states give
//   LP f^2 z^2 / D, BP f z (z - 1) / D, HP (z - 1)^2 / D, BR LP + HP,
//   D = (z - 1)(z - 1 + f d) + f^2 z.
double theoryDb(int type, double f, double d, double hz, double rate)
{
    const std::complex<double> z = std::polar(1.0, 2.0 * std::numbers::pi * hz / rate);
    const std::complex<double> one(1.0, 0.0);
    const std::complex<double> den = (z - one) * (z - one + f * d) + f * f * z;
    const std::complex<double> lp = f * f * z * z / den;
    const std::complex<double> hp = (z - one) * (z - one) / den;
    const std::complex<double> bp = f * z * (z - one) / den;
    const std::complex<double> h[] = {lp, hp, bp, lp + hp};
    return toDb(std::abs(h[type]));
}

// With the sweep off the coefficient stays at 2 x cutoff / rate; stepped
// sines through each response match the filter's transfer function within
// 0.3 dB (away from the band-reject notch, where only the depth counts) at
// three rates, with and without resonance.
TEST(GloFil, ResponsesOnSteppedSines)
{
    struct Row
    {
        int type;
        int cutoff;
        int resonance;
    };
    // Small enough that the band state's soft clip stays out of the way even
    // on a 28 dB resonance peak.
    constexpr float Level = 0.0005f;
    const Row rows[] = {{GloFil_c::tLP12, 500, 0},  {GloFil_c::tLP12, 4000, 50}, {GloFil_c::tHP12, 1000, 0},
                        {GloFil_c::tBP12, 2000, 80}, {GloFil_c::tBR12, 3000, 0}};
    for (float rate : Rates) {
        for (const Row& r : rows) {
            auto rig = makeRig(gloFilKind(), rate);
            rig->para(GloFil_c::pType, r.type);
            rig->para(GloFil_c::pCutoff, r.cutoff);
            rig->para(GloFil_c::pResonance, r.resonance);
            rig->para(GloFil_c::pModDepth, 0);
            rig->para(GloFil_c::pSaturation, 0);
            const double f = 2.0 * r.cutoff / rate;
            const double res = r.resonance * 0.01;
            const double d = 1.0 - (2.0 - res) * res;
            // The filter's own corner: f = 2 sin(pi fc / rate).
            const double corner = rate / std::numbers::pi * std::asin(f / 2.0);
            for (double ratio : {0.125, 0.5, 1.0, 2.0, 8.0}) {
                const double hz = corner * ratio;
                if (hz > rate * 0.45)
                    continue;
                SCOPED_TRACE(testing::Message() << rate << " type " << r.type << " cutoff " << r.cutoff << " res "
                                                << r.resonance << " at " << hz);
                const long long total = static_cast<long long>(rate / 2);
                rig->run(total, sine(hz, rate, Level), sine(hz, rate, Level));
                const double db =
                    toDb(amplitudeAt(rig->outL, hz, rate, static_cast<size_t>(total / 2), static_cast<size_t>(total)) /
                         Level);
                const double expected = theoryDb(r.type, f, d, hz, rate);
                if (expected < -40.0)
                    EXPECT_LT(db, -35.0);
                else
                    EXPECT_NEAR(db, expected, expected < -20.0 ? 1.0 : 0.3);
            }
        }
    }
    // The theory itself: LP12 at an eighth of the corner passes, eight times
    // above it is about 36 dB down (12 dB per octave).
    EXPECT_NEAR(theoryDb(GloFil_c::tLP12, 0.05, 1.0, 44100.0 / std::numbers::pi * std::asin(0.025) / 8.0, 44100.0),
                0.0, 0.3);
    EXPECT_NEAR(theoryDb(GloFil_c::tLP12, 0.05, 1.0, 44100.0 / std::numbers::pi * std::asin(0.025) * 8.0, 44100.0),
                -36.0, 1.5);
}

// A host that stops and starts its engine (suspend, resume) clears the
// filter's state, not its settings: a resonant band-pass passes its corner
// as loud afterwards as before.
TEST(GloFil, AStopAndStartOfTheHostKeepsTheResonance)
{
    constexpr float Rate = 48000.0f;
    constexpr float Level = 0.0005f;
    auto rigOwner = makeRig(gloFilKind(), Rate);
    FxRig& rig = *rigOwner;
    rig.para(GloFil_c::pType, GloFil_c::tBP12);
    rig.para(GloFil_c::pCutoff, 2000);
    rig.para(GloFil_c::pResonance, 80);
    rig.para(GloFil_c::pModDepth, 0);
    rig.para(GloFil_c::pSaturation, 0);
    const double corner = Rate / std::numbers::pi * std::asin(2.0 * 2000 / Rate / 2.0);
    const long long total = static_cast<long long>(Rate / 2);
    auto cornerDb = [&] {
        rig.run(total, sine(corner, Rate, Level), sine(corner, Rate, Level));
        return toDb(amplitudeAt(rig.outL, corner, Rate, static_cast<size_t>(total / 2), static_cast<size_t>(total)) / Level);
    };
    const double before = cornerDb();
    ASSERT_GT(before, 10.0) << "the resonance lifts the corner";
    rig.fx->suspend();
    rig.fx->resume();
    EXPECT_NEAR(cornerDb(), before, 0.3);
}

// The lowest "Level (D+W)" step silences dry and wet; "Filter Wet" 0 at
// -30 steps passes the input at that level.
TEST(GloFil, LevelScalesDryAndWet)
{
    auto rigOwner = makeRig(gloFilKind(), 44100.0f);
    FxRig& rig = *rigOwner;
    rig.para(GloFil_c::pLevel, -91);
    rig.run(2048, sine(440.0, 44100.0, 0.5f), sine(440.0, 44100.0, 0.5f));
    EXPECT_EQ(peak(rig.outL), 0.0f);
    rig.para(GloFil_c::pLevel, -30);
    rig.para(GloFil_c::pWet, 0);
    rig.run(2048, dc(0.5f), dc(0.5f));
    // 30 steps of the volume halve the level.
    EXPECT_NEAR(rig.outL.back(), 0.25, 1e-4);
}

// At the top coefficient (cutoff 20000 Hz at 40 kHz) with no damping, a +-16
// square used to throw the band state past the soft clip's turning point,
// where the clip folds back and the filter ran away to infinity. Held at the
// turning point it stays bounded.
TEST(GloFil, LoudInputAtTheTopCoefficientStaysBounded)
{
    auto rigOwner = makeRig(gloFilKind(), 40000.0f);
    FxRig& rig = *rigOwner;
    auto& fx = static_cast<GloFil_c&>(*rig.fx);
    rig.para(GloFil_c::pCutoff, 20000);
    rig.para(GloFil_c::pResonance, 100);
    rig.para(GloFil_c::pModDepth, 0);
    rig.para(GloFil_c::pSaturation, 0);
    for (int type : {GloFil_c::tLP12, GloFil_c::tBP12}) {
        SCOPED_TRACE(type);
        rig.para(GloFil_c::pType, type);
        rig.run(40000, square(50.0, 40000.0, 16.0f), square(1000.0, 40000.0, 8.0f));
        EXPECT_NEAR(fx.f, 1.0, 1e-6);
        EXPECT_TRUE(allFinite(rig.outL) && allFinite(rig.outR));
        EXPECT_LT(peak(rig.outL), 100.0f);
        EXPECT_LT(peak(rig.outR), 100.0f);
    }
}

TEST(GloFil, NotReadyRendersNothing)
{
    auto rigOwner = makeRig(gloFilKind(), 1000.0f);
    FxRig& rig = *rigOwner;
    EXPECT_FALSE(rig.fx->isReady());
    rig.run(512, dc(0.5f), dc(0.5f));
    EXPECT_EQ(peak(rig.outL), 0.0f);
}

} // namespace
