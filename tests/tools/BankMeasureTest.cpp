// What the bank checks measure, on signals whose answers are known: levels
// in dB, the loudest window, the stereo sides, the six-output fold, and when
// two prints count as different.
#include "Measure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace Bank;

namespace {

constexpr double Rate = 48000.0;

// A sine of amplitude a at hz on each given output, `seconds` long.
Audio sine(int outputs, double hz, double seconds, std::vector<double> amplitude)
{
    Audio a;
    a.rate = Rate;
    const size_t n = static_cast<size_t>(seconds * Rate);
    a.channels.assign(static_cast<size_t>(outputs), std::vector<float>(n, 0.0f));
    for (size_t c = 0; c < amplitude.size() && c < a.channels.size(); ++c)
        for (size_t i = 0; i < n; ++i)
            a.channels[c][i] =
                static_cast<float>(amplitude[c] * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / Rate));
    return a;
}

} // namespace

TEST(BankMeasure, LevelsOfKnownSignals)
{
    struct Case
    {
        const char* what;
        Audio audio;
        double peak, loudest; // dB
    };
    // A full-scale sine is 0 dBFS at its peak and -3 dB RMS.
    const Case cases[] = {
        {"full sine in both", sine(2, 440, 1.0, {1.0, 1.0}), 0.0, -3.01},
        {"half sine in both", sine(2, 440, 1.0, {0.5, 0.5}), -6.02, -9.03},
        {"full sine left only: half the power of the pair", sine(2, 440, 1.0, {1.0, 0.0}), 0.0, -6.02},
        {"six outputs, the front pair", sine(6, 440, 1.0, {1.0, 1.0}), 0.0, -3.01},
        {"six outputs, the rear pair counts as the fold does", sine(6, 440, 1.0, {0, 0, 0, 0, 1.0, 1.0}), 0.0, -3.01},
        {"six outputs, the low-frequency channel does not", sine(6, 60, 1.0, {0, 0, 0, 1.0}), 0.0, -200.0},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(peakDb(c.audio), c.peak, 0.01) << c.what;
        EXPECT_NEAR(loudestWindowDb(c.audio, LoudestWindowSeconds), c.loudest, 0.05) << c.what;
    }
}

TEST(BankMeasure, TheLoudestWindowFindsAShortBurst)
{
    // 300 ms of a half-scale sine inside two seconds of silence: the window
    // finds it whole.
    Audio a = sine(2, 500, 2.0, {0.5, 0.5});
    for (auto& c : a.channels)
        for (size_t i = 0; i < c.size(); ++i)
            if (i < static_cast<size_t>(0.8 * Rate) || i >= static_cast<size_t>(1.1 * Rate))
                c[i] = 0.0f;
    EXPECT_NEAR(loudestWindowDb(a, 0.3), -9.03, 0.3);
    EXPECT_NEAR(peakSeconds(a), 0.8, 0.31);
}

TEST(BankMeasure, StereoSidesAndTheSurroundShare)
{
    EXPECT_LE(sideToMidDb(sine(2, 440, 0.5, {0.5, 0.5})), -100.0) << "the same in both: mono";
    EXPECT_NEAR(sideToMidDb(sine(2, 440, 0.5, {0.5, 0.0})), 0.0, 0.01) << "one side only: sides as loud as the middle";
    EXPECT_NEAR(sideToMidDb(sine(2, 440, 0.5, {0.6, 0.4})), 20.0 * std::log10(0.1 / 0.5), 0.01);
    EXPECT_NEAR(surroundShareDb(sine(6, 440, 0.5, {1, 1, 0, 0, 1, 1})), -3.01, 0.01);
    EXPECT_LE(surroundShareDb(sine(2, 440, 0.5, {1, 1})), -100.0);
}

TEST(BankMeasure, PrintsTellDifferentSoundsApartAndTheSameSoundNot)
{
    const SoundPrint a4 = soundPrint(sine(2, 440, 2.5, {0.3, 0.3}));
    struct Case
    {
        const char* what;
        Audio other;
        bool audible;
    };
    Audio decaying = sine(2, 440, 2.5, {0.3, 0.3});
    for (auto& c : decaying.channels)
        for (size_t i = 0; i < c.size(); ++i)
            c[i] *= static_cast<float>(std::exp(-static_cast<double>(i) / (0.2 * Rate)));
    const Case cases[] = {
        {"the same", sine(2, 440, 2.5, {0.3, 0.3}), false},
        {"1 dB softer", sine(2, 440, 2.5, {0.267, 0.267}), false},
        {"6 dB softer", sine(2, 440, 2.5, {0.15, 0.15}), true},
        {"two octaves up", sine(2, 1760, 2.5, {0.3, 0.3}), true},
        {"panned to one side", sine(2, 440, 2.5, {0.42, 0.0}), true},
        {"dying away", decaying, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(distance(a4, soundPrint(c.other)).audible(), c.audible)
            << c.what << ": " << distance(a4, soundPrint(c.other)).describe();
}

TEST(BankMeasure, TheFoldAddsTheRearAndHalfTheCentreToEachSide)
{
    const Audio folded = stereoFold(sine(6, 440, 0.1, {0.1, 0.2, 0.4, 0.8, 0.3, 0.5}));
    ASSERT_EQ(folded.channels.size(), 2u);
    const size_t quarter = static_cast<size_t>(Rate / 440 / 4); // a crest of the sine
    EXPECT_NEAR(folded.channels[0][quarter], 0.1 + 0.3 + 0.4 * std::sqrt(0.5), 1e-3);
    EXPECT_NEAR(folded.channels[1][quarter], 0.2 + 0.5 + 0.4 * std::sqrt(0.5), 1e-3);
    EXPECT_EQ(stereoFold(sine(2, 440, 0.1, {0.1, 0.2})).channels[1][quarter],
              sine(2, 440, 0.1, {0.1, 0.2}).channels[1][quarter]);
}
