// The delay: its line and readiness per sample rate, the echoes of an
// impulse, the modulated taps, the feedback filter's coefficients and
// response, tempo sync and the halving of long times, the tail length, the
// conversion of stored sets, block sizes that are not multiples of 8, the
// taps' reach inside the line, the serial form and the guards against
// loud, broken and dying signals.
#include "Delay2.h"
#include "DelayMeasure.h"
#include "TempoSync.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <random>
#include <utility>

using namespace DelayTest;

namespace {

constexpr float Rates[] = {44100.0f, 48000.0f, 96000.0f};

TEST(Delay2, LineAndReadinessFollowTheSampleRate)
{
    struct Case
    {
        float rate;
        bool ready;
        int line; // L, the limit of the delay time; the line holds 2 L
    };
    const Case cases[] = {
        {8000.0f, false, 0},  {11000.0f, false, 0}, {11025.0f, true, 8192},  {44100.0f, true, 32768},
        {48000.0f, true, 32768}, {88200.0f, true, 65536}, {96000.0f, true, 65536},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        DelayRig rig(c.rate);
        EXPECT_EQ(rig.fx->isReady(), c.ready);
        EXPECT_EQ(rig.fx->getLineLength(), c.line);
        EXPECT_EQ(rig.fx->getPhysicalLength(), 2 * c.line);
        // Without a line nothing reaches the output, not even the dry input.
        const Stereo o = rig.run(std::vector<float>(64, 0.5f));
        EXPECT_EQ(o.l[10] != 0.0f, c.ready);
    }

    DelayRig rig(44100.0f);
    rig.fx->setSampleRate(96000.0f);
    EXPECT_TRUE(rig.fx->isReady());
    EXPECT_EQ(rig.fx->getLineLength(), 65536);
    rig.fx->setInactive();
    EXPECT_FALSE(rig.fx->isReady());
    EXPECT_EQ(rig.fx->getPhysicalLength(), 0);
    EXPECT_EQ(rig.run(std::vector<float>(64, 0.5f)).l[10], 0.0f);

    // A fresh delay: inactive, no line, the tempo query answered.
    Delay2_c bare;
    EXPECT_FALSE(bare.active);
    EXPECT_FALSE(bare.isReady());
    EXPECT_TRUE(bare.isBPMDependent());
    EXPECT_EQ(bare.getTypeCode(), TypeCodeDelay2);
    EXPECT_EQ(bare.getFadeTime(), 0.0f); // no parameter set
}

// The parameter table as stored in programs and shown to the user; names
// repeat and are told apart by index.
TEST(Delay2, ParameterDefinitions)
{
    struct Case
    {
        const char* name;
        const char* unit;
        ParaType_t type;
        int lo, hi, def, precision; // precision: decimals, or the item width
        float logFactor;
    };
    const Case cases[Delay2_c::ParaCount] = {
        {"Version", "", ptNumber, 200, 9900, 200, 2, 0.0f},
        {"OffOn", "", ptOnOff, 0, 1, 1, 3, 0.0f},
        {"Time", "msec", ptNumber, 10, 6800, 1000, 1, 4.0f},
        {"Feed", "%", ptNumber, 0, 99, 40, 2, 0.0f},
        {"Fil ", "", ptNumber, -100, 100, 0, 2, 0.0f},
        {"Wet", "%", ptNumber, 0, 100, 40, 2, 0.0f},
        {"ModRate", "Hz", ptNumber, 1, 200, 100, 2, 4.0f},
        {"ModDept", "", ptNumber, 0, 990, 0, 3, 4.0f},
        {"Sync", "", ptOnOff, 0, 1, 0, 3, 0.0f},
        {"Frequency", "Notes", ptEnu, 3, 17, 13, 5, 0.0f},
        {"Fil ", "", ptNumber, -100, 100, 0, 2, 0.0f},
        {"Frequency", "Notes", ptEnu, -13, 26, -13, 5, 0.0f},
    };
    Delay2_c fx;
    ParaSet_c* slot = nullptr;
    ASSERT_TRUE(fx.getParaSetPtr(&slot, 2));
    for (int i = 0; i < Delay2_c::ParaCount; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(i);
        const Parameter_c* p = fx.getRenderParaPtr(1);
        char name[ParaNameBufferBytes] = {};
        char unit[ParaNameBufferBytes] = {};
        p[i].getName(name, sizeof name);
        p[i].getUnit(unit, sizeof unit);
        EXPECT_STREQ(name, c.name);
        EXPECT_STREQ(unit, c.unit);
        EXPECT_EQ(p[i].getType(), c.type);
        EXPECT_EQ(p[i].getLowValue(), c.lo);
        EXPECT_EQ(p[i].getHighValue(), c.hi);
        EXPECT_EQ(p[i].getDefValue(), c.def);
        EXPECT_EQ(p[i].value, c.def);
        EXPECT_EQ(p[i].getPrecision(), c.precision);
        EXPECT_EQ(p[i].getLogFactor(), c.logFactor);
    }
    // The delay note value: " Off " and then the codes 4..17.
    Parameter_c* notes = fx.getRenderParaPtr(0) + Delay2_c::pNotes;
    char item[8] = {};
    for (auto [code, label] : {std::pair{3, " Off "}, {4, " 1/2 "}, {8, " 1/4T"}, {13, "1/16 "}, {17, "1/32T"}}) {
        notes->setVal(code);
        notes->getEnuVal(item);
        EXPECT_STREQ(item, label);
    }
}

// The k-th echo of an impulse is wet x Feed^(k-1), at k x d on both sides
// when the taps are not modulated.
TEST(Delay2, ImpulseEchoesDecayByTheFeedback)
{
    constexpr float Wet = 0.8f;
    constexpr float Feed = 0.5f;
    for (float rate : Rates) {
        SCOPED_TRACE(rate);
        DelayRig rig(rate);
        rig.set(Delay2_c::pTime, 1000); // 100.0 ms
        rig.set(Delay2_c::pFeed, 50);
        rig.set(Delay2_c::pWet, 80);
        const size_t d = static_cast<size_t>(std::lround(rate * 0.1));
        const std::vector<float> x = impulse(5 * d);
        const Stereo o = rig.run(x);
        const std::vector<float> l = wetPart(o.l, x, 1.0f);
        const std::vector<float> r = wetPart(o.r, x, 1.0f);
        for (int k = 1; k <= 4; ++k) {
            SCOPED_TRACE(k);
            const size_t at = static_cast<size_t>(k) * d;
            double sum = 0.0;
            for (size_t i = at - 1; i <= at + 1; ++i)
                sum += l[i];
            EXPECT_NEAR(sum, Wet * std::pow(Feed, k - 1), 1e-4);
            EXPECT_NEAR(l[at], r[at], 1e-6);
            // Nothing between the echoes but the line's 1e-7 guard.
            float between = 0.0f;
            for (size_t i = at - d + 3; i + 2 < at; ++i)
                between = std::max(between, std::fabs(l[i]));
            EXPECT_LT(between, 1e-5f);
        }
    }

    // A stereo input feeds the line with the average of its sides; each
    // side's dry signal stays on its own output.
    DelayRig rig(44100.0f);
    rig.set(Delay2_c::pTime, 1000);
    rig.set(Delay2_c::pFeed, 0);
    rig.set(Delay2_c::pWet, 100);
    const std::vector<float> left = impulse(5000);
    const std::vector<float> right(5000, 0.0f);
    const Stereo o = rig.run(left, &right);
    EXPECT_NEAR(o.l[0], 1.0f, 1e-6f);
    EXPECT_NEAR(o.r[0], 0.0f, 1e-6f);
    EXPECT_NEAR(o.l[4410], 0.5f, 1e-5f);
    EXPECT_NEAR(o.r[4410], 0.5f, 1e-5f);
}

// Tap A lengthens while tap B shortens: with the sine rising, the left echo
// comes later than d and the right one earlier.
TEST(Delay2, ModulationMovesTheTapsApart)
{
    constexpr float Rate = 44100.0f;
    DelayRig rig(Rate);
    rig.set(Delay2_c::pTime, 1000);
    rig.set(Delay2_c::pFeed, 0);
    rig.set(Delay2_c::pWet, 100);
    rig.set(Delay2_c::pModDepth, 500);
    rig.set(Delay2_c::pModRate, 200);
    const size_t d = 4410;
    // The impulse comes once the taps have moved from their resting place.
    std::vector<float> x(3 * d + 44100 / 8, 0.0f);
    const size_t start = 44100 / 8;
    x[start] = 1.0f;
    const Stereo o = rig.run(x);
    auto peakAt = [&](const std::vector<float>& v) {
        size_t best = start + 1;
        for (size_t i = start + 1; i < v.size(); ++i)
            if (std::fabs(v[i]) > std::fabs(v[best]))
                best = i;
        return best - start;
    };
    EXPECT_GT(peakAt(o.l), d + 50);
    EXPECT_LT(peakAt(o.r), d - 50);
}

TEST(Delay2, FeedbackFilterCoefficients)
{
    struct Case
    {
        int fil;        // stored value, shown / 100
        float at44100;  // the coefficient at 44.1 kHz
        bool lowPass;
    };
    const Case cases[] = {
        {-100, 0.04f, true},
        {-50, 0.538f, true},
        {50, 0.031625f, false},
        {100, 0.125f, false},
    };
    for (float rate : Rates) {
        DelayRig rig(rate);
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, Fil " << c.fil);
            rig.set(Delay2_c::pFil, c.fil);
            EXPECT_TRUE(rig.fx->hasFilter());
            EXPECT_EQ(rig.fx->isLowPass(), c.lowPass);
            EXPECT_NEAR(rig.fx->getFilterCoefficient(), std::min(1.0f, c.at44100 * 44100.0f / rate), 1e-6f);
        }
        rig.set(Delay2_c::pFil, 0);
        EXPECT_FALSE(rig.fx->hasFilter());
    }
}

// The single echo (Feed 0) of a sine carries the filter's response:
// low-pass c / (1 - (1-c) z^-1) behind the DC tracker, high-pass
// (1 - z^-1) / (1 - (1-c) z^-1).
TEST(Delay2, FeedbackFilterResponse)
{
    auto onePole = [](double c, double w, bool highPass) {
        const std::complex<double> z1 = std::polar(1.0, -w);
        const std::complex<double> den = 1.0 - (1.0 - c) * z1;
        if (highPass)
            return std::abs((1.0 - z1) / den);
        const double track = std::abs((1.0 - z1) / (1.0 - (1.0 - 0.0001) * z1));
        return std::abs(c / den) * track;
    };
    for (float rate : Rates) {
        for (int fil : {-100, 100}) {
            for (double hz : {200.0, 5000.0}) {
                SCOPED_TRACE(testing::Message() << rate << " Hz, Fil " << fil << ", " << hz << " Hz");
                DelayRig rig(rate);
                rig.set(Delay2_c::pTime, 100); // 10.0 ms
                rig.set(Delay2_c::pFeed, 0);
                rig.set(Delay2_c::pWet, 100);
                rig.set(Delay2_c::pFil, fil);
                const size_t n = static_cast<size_t>(rate);
                const std::vector<float> x = sine(hz, rate, n, 0.25f);
                const std::vector<float> echo = wetPart(rig.run(x).l, x, 1.0f);
                const double measured = rms(echo, n / 2, n) / (0.25 / std::sqrt(2.0));
                const double c = rig.fx->getFilterCoefficient();
                const double expected = onePole(c, 2.0 * std::numbers::pi * hz / rate, fil > 0);
                EXPECT_NEAR(20.0 * std::log10(measured), 20.0 * std::log10(expected), 0.2);
            }
        }
    }
}

// Without a filter nothing clamps the line: an echo of 4.0 stays 4.0 (the
// high-pass form clamps what it writes to -1..1).
TEST(Delay2, OnlyTheHighPassClampsTheLine)
{
    for (int fil : {0, 100}) {
        SCOPED_TRACE(fil);
        DelayRig rig(44100.0f);
        rig.set(Delay2_c::pTime, 100);
        rig.set(Delay2_c::pFeed, 0);
        rig.set(Delay2_c::pWet, 100);
        rig.set(Delay2_c::pFil, fil);
        std::vector<float> x(1000, 0.0f);
        x[0] = 4.0f;
        const std::vector<float> echo = wetPart(rig.run(x).l, x, 1.0f);
        EXPECT_NEAR(echo[441], fil == 0 ? 4.0f : 1.0f, 1e-5f);
    }
}

// Synchronised times at the host tempo, halved until they fit L; the tail
// (Feed 0) is the time plus 0.1 s.
TEST(Delay2, SyncedTimesFollowTheTempoAndFitTheLine)
{
    TempoGuard tempo;
    struct Case
    {
        float rate;
        double bpm;
        int code; // delay note value; 3 is " Off "
        double seconds;
    };
    const Case cases[] = {
        {44100.0f, 60.0, 4, 0.5},      // " 1/2 ": 2 s, halved twice (L = 32768)
        {96000.0f, 60.0, 4, 0.5},      // 2 s, halved twice (L = 65536)
        {44100.0f, 120.0, 13, 0.125},  // "1/16 "
        {44100.0f, 120.0, 7, 0.5},     // " 1/4 "
        {44100.0f, 60.0, 5, 1.3333f * 60.0f / 60.0 / 2.0}, // " 1/2T": 1.3333 s, halved once
        {44100.0f, 60.0, 3, 0.1},      // " Off ": the free 100 ms
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.bpm << " BPM, code " << c.code);
        tempo.set(c.bpm);
        DelayRig rig(c.rate);
        rig.set(Delay2_c::pTime, 1000);
        rig.set(Delay2_c::pFeed, 0);
        rig.set(Delay2_c::pNotes, c.code);
        EXPECT_NEAR(rig.fx->getDelaySamples(), c.seconds * c.rate, 0.01);
        EXPECT_NEAR(rig.fx->getFadeTime(), c.seconds + 0.1, 1e-6);
    }

    // A tempo change re-derives the delay length alone.
    tempo.set(60.0);
    DelayRig rig(44100.0f);
    rig.set(Delay2_c::pNotes, 4);
    tempo.set(90.0); // 1.3333 s, halved once
    rig.fx->cachePara(crTempoChange, -1, -1);
    EXPECT_NEAR(rig.fx->getDelaySamples(), 2.0 * 60.0 / 90.0 / 2.0 * 44100.0, 0.01);
}

// The modulation rate: free ModRate while its note value is " Off ", else
// the note value at the tempo; the phase moves rate x 512 / sample rate
// entries per 8 samples. A tempo change leaves a synchronised rate alone
// until the next full refresh.
TEST(Delay2, ModulationRateFreeOrSynced)
{
    TempoGuard tempo;
    struct Case
    {
        double bpm;
        int code;    // modulation note value; -13 is " Off "
        int modRate; // hundredths of a Hz
        double hz;
    };
    const Case cases[] = {
        {120.0, -13, 100, 1.0},
        {120.0, -13, 1, 0.01},
        {120.0, 7, 100, 2.0},                       // " 1/4 "
        {60.0, 13, 100, 4.0},                       // "1/16 "
        {90.0, -10, 5, 90.0 / (42.6666f * 60.0f)}, // "16/1T", its truncated length
    };
    for (float rate : {44100.0f, 96000.0f}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, code " << c.code << ", " << c.bpm << " BPM");
            tempo.set(c.bpm);
            DelayRig rig(rate);
            rig.set(Delay2_c::pModRate, c.modRate);
            rig.set(Delay2_c::pModNotes, c.code);
            const double perStep = c.hz * 512.0 / rate * 8.0;
            EXPECT_NEAR(rig.fx->getPhaseIncrement(), perStep, perStep * 1e-5);
            tempo.set(c.bpm * 2.0);
            rig.fx->cachePara(crTempoChange, -1, -1);
            EXPECT_NEAR(rig.fx->getPhaseIncrement(), perStep, perStep * 1e-5);
        }
    }
}

// Without a line (at or below 11 kHz) a tempo change must not try to fit the
// time into a line of length 0.
TEST(Delay2, TempoChangeWithoutALineEnds)
{
    TempoGuard tempo;
    tempo.set(60.0);
    DelayRig rig(8000.0f);
    rig.set(Delay2_c::pNotes, 4);
    tempo.set(30.0);
    rig.fx->cachePara(crTempoChange, -1, -1);
    EXPECT_NEAR(rig.fx->getDelaySamples(), 4.0 * 8000.0, 0.01);
    EXPECT_NEAR(rig.fx->getFadeTime(), 4.1 + 4.0 * (-4.0 / std::log10(0.4001) - 1.0), 1e-4);
}

TEST(Delay2, FadeTimeFromFeedbackAndTime)
{
    struct Case
    {
        int feed; // hundredths
        int time; // tenths of a ms
    };
    const Case cases[] = {{0, 1000}, {0, 6800}, {40, 2500}, {99, 10}, {99, 6800}};
    DelayRig rig(44100.0f);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "Feed " << c.feed << ", Time " << c.time);
        rig.set(Delay2_c::pFeed, c.feed);
        rig.set(Delay2_c::pTime, c.time);
        const double t = c.time * 0.0001;
        const double f = c.feed * 0.01;
        EXPECT_NEAR(rig.fx->getFadeTime(), -4.0 / std::log10(f + 0.0001) * t + 0.1, 1e-3);
    }
    EXPECT_NEAR(rig.fx->getFadeTime(), 629.0, 1.0); // Feed 0.99 over 680 ms rings for minutes
}

// With ModDept 0 both taps read exactly d behind: the wet parts of both
// outputs are the same, for a mono and for a stereo input.
TEST(Delay2, WithoutModulationBothSidesCarryTheSameEcho)
{
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    std::vector<float> a(20000), b(20000);
    for (size_t i = 0; i < a.size(); ++i) {
        a[i] = noise(gen);
        b[i] = noise(gen);
    }
    for (int fil : {0, -60, 60}) {
        SCOPED_TRACE(fil);
        DelayRig rig(48000.0f);
        rig.set(Delay2_c::pTime, 137);
        rig.set(Delay2_c::pFeed, 70);
        rig.set(Delay2_c::pFil, fil);
        const Stereo mono = rig.run(a);
        EXPECT_EQ(mono.l, mono.r);
        DelayRig rig2(48000.0f);
        rig2.set(Delay2_c::pTime, 137);
        rig2.set(Delay2_c::pFeed, 70);
        rig2.set(Delay2_c::pFil, fil);
        const Stereo st = rig2.run(a, &b);
        for (size_t i = 0; i < a.size(); ++i)
            ASSERT_NEAR(st.l[i] - a[i], st.r[i] - b[i], 1e-6f) << i;
    }
}

// Renders in blocks of 1, 7, 9 and 256 keep the modulation in step with the
// sample count: the phase stays within a step of the one in blocks of 8, and
// the output agrees.
TEST(Delay2, BlockSizesKeepTheModulationInStep)
{
    constexpr float Rate = 44100.0f;
    const std::vector<float> x = sine(110.0, Rate, 2 * 44100 + 13, 0.5f);
    auto render = [&](int block, float* phase) {
        DelayRig rig(Rate);
        rig.set(Delay2_c::pTime, 500);
        rig.set(Delay2_c::pFeed, 50);
        rig.set(Delay2_c::pModDepth, 700);
        rig.set(Delay2_c::pModRate, 200);
        Stereo o = rig.run(x, nullptr, block);
        *phase = rig.fx->getModPhase();
        return o;
    };
    float refPhase = 0.0f;
    const Stereo ref = render(8, &refPhase);
    // 2 Hz: 512 x 2 / 44100 x 8 entries per step.
    const float step = 512.0f * 2.0f / Rate * 8.0f;
    for (int block : {1, 7, 9, 256}) {
        SCOPED_TRACE(block);
        float phase = 0.0f;
        const Stereo o = render(block, &phase);
        float diff = std::fabs(phase - refPhase);
        diff = std::min(diff, 512.0f - diff);
        EXPECT_LE(diff, 1.01f * step);
        float worst = 0.0f;
        for (size_t i = 0; i < x.size(); ++i)
            worst = std::max({worst, std::fabs(o.l[i] - ref.l[i]), std::fabs(o.r[i] - ref.r[i])});
        EXPECT_LT(worst, 0.02f);
    }
}

// Ten minutes at the longest times with full modulation: every tap stays at
// least one sample behind the writer and less than the line behind it. The
// reads are masked, so a tap reaching past the line would read the wrong
// place without any sanitizer noticing; the distance itself is asserted.
TEST(Delay2, TapsStayInsideTheLineOverTenMinutes)
{
    TempoGuard tempo;
    struct Case
    {
        double bpm;
        int code; // 3 " Off ": the free 680 ms
    };
    // " 1/2 " at 162.2 BPM is 0.7398 s: 32624 samples, just under L.
    const Case cases[] = {{120.0, 3}, {162.2, 4}};
    constexpr float Rate = 44100.0f;
    constexpr int Block = 8;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        tempo.set(c.bpm);
        DelayRig rig(Rate);
        rig.set(Delay2_c::pTime, 6800);
        rig.set(Delay2_c::pFeed, 99);
        rig.set(Delay2_c::pModDepth, 990);
        rig.set(Delay2_c::pModRate, 200);
        rig.set(Delay2_c::pNotes, c.code);
        Delay2_c& fx = *rig.fx;
        const double physical = fx.getPhysicalLength();
        double farthest = 0.0;
        double nearest = std::numeric_limits<double>::max();
        for (int64_t done = 0; done < static_cast<int64_t>(Rate) * 600; done += Block) {
            rig.in.prepCycle(Block);
            rig.out.prepCycle(Block);
            fx.render(Block);
            // Between updates the distances move linearly: the block ends
            // bound every read in between.
            for (int tap = 0; tap < 2; ++tap) {
                const double dist = static_cast<double>(fx.getWriteCounter()) - fx.getReadPosition(tap);
                farthest = std::max(farthest, dist);
                nearest = std::min(nearest, dist);
            }
        }
        EXPECT_GT(farthest, fx.getLineLength()); // beyond L: a line of L would have wrapped
        EXPECT_LT(farthest + 1.0, physical);
        EXPECT_GE(nearest, 1.0);
    }
}

// Tap B comes within half a sample of the writer (Time 1.0 ms, depth 0.99):
// it must still read the newest samples, never the slot about to be
// overwritten, which holds the oldest. A rising ramp shows the difference.
TEST(Delay2, TapBNeverReadsTheSlotBeingWritten)
{
    constexpr float Rate = 44100.0f;
    DelayRig rig(Rate);
    rig.set(Delay2_c::pTime, 10);
    rig.set(Delay2_c::pFeed, 0);
    rig.set(Delay2_c::pWet, 100);
    rig.set(Delay2_c::pModDepth, 990);
    rig.set(Delay2_c::pModRate, 10); // 0.1 Hz: the taps follow their targets closely
    const size_t n = static_cast<size_t>(3.5 * Rate);
    std::vector<float> x(n);
    for (size_t i = 0; i < n; ++i)
        x[i] = 1e-5f * static_cast<float>(i);
    const Stereo o = rig.run(x, nullptr, 8);
    const std::vector<float> b = wetPart(o.r, x, 1.0f);
    double closest = 1e9;
    for (size_t i = 200; i < n; ++i) {
        // The newest sample a tap may read is x[i-1]; anything older than
        // the modulated delay plus the taps' lag is wrong.
        ASSERT_LE(b[i], x[i - 1] + 1e-6f) << i;
        ASSERT_GE(b[i], x[i - 200] - 1e-6f) << i;
        closest = std::min(closest, static_cast<double>(x[i] - b[i]) / 1e-5);
    }
    EXPECT_LT(closest, 1.5); // the tap did come up to the writer
}

// Sets stored in the former form: the sync switch and the filter setting of
// the opposite sign are converted when the set is loaded (or that parameter
// changes); "Sync" stays on and parameter 4 stays 0 afterwards.
TEST(Delay2, StoredSetsOfTheFormerFormAreConverted)
{
    struct Case
    {
        int sync, filOld, notes, fil; // as stored
        int idx;                      // the change announced
        int wantNotes, wantFil;
    };
    const Case cases[] = {
        {0, -30, 10, 0, -1, 3, 30},     // both converted on a load
        {1, 0, 10, -50, -1, 10, -50},   // current form: untouched
        {1, 45, 10, 0, -1, 10, -45},
        {0, 0, 12, 20, Delay2_c::pSync, 3, 20},
        {1, -70, 12, 20, Delay2_c::pFilOld, 12, 70},
        {0, -70, 12, 20, Delay2_c::pWet, 12, 20}, // another parameter: nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "sync " << c.sync << ", old Fil " << c.filOld << ", idx " << c.idx);
        DelayRig rig(44100.0f);
        Parameter_c* p = rig.fx->getRenderParaPtr(0);
        p[Delay2_c::pSync].setVal(c.sync);
        p[Delay2_c::pFilOld].setVal(c.filOld);
        p[Delay2_c::pNotes].setVal(c.notes);
        p[Delay2_c::pFil].setVal(c.fil);
        rig.fx->postprocessParaChange(0, c.idx);
        EXPECT_EQ(p[Delay2_c::pNotes].value, c.wantNotes);
        EXPECT_EQ(p[Delay2_c::pFil].value, c.wantFil);
        if (c.idx != Delay2_c::pWet) {
            EXPECT_EQ(p[Delay2_c::pSync].value, 1);
            EXPECT_EQ(p[Delay2_c::pFilOld].value, 0);
        }
    }
}

// The conversion runs before the engine re-reads the coefficients, so a
// loaded set of the former form sounds with its filter at once.
TEST(Delay2, ConvertedSetIsHeardAtOnce)
{
    Synth engine(nullptr, {.programs = 4,
                           .parameterSlots = NumParameterSlots,
                           .hostParameters = NumHostParameters,
                           .stride = HostParameterStride,
                           .productName = "Test",
                           .versionText = "1.0",
                           .codeName = "DelayTest"});
    DelayRig rig(44100.0f);
    rig.fx->setSynth(&engine);
    Parameter_c* p = rig.fx->getRenderParaPtr(0);
    p[Delay2_c::pSync].setVal(1);
    p[Delay2_c::pFilOld].setVal(-30);
    p[Delay2_c::pFil].setVal(0);
    rig.fx->postprocessParaChange(0, -1);
    EXPECT_TRUE(rig.fx->hasFilter());
    EXPECT_FALSE(rig.fx->isLowPass());
    EXPECT_NEAR(rig.fx->getFilterCoefficient(), (0.996f * 0.09f + 0.004f) * 0.125f, 1e-6f);
    rig.fx->setSynth(nullptr);
}

// The serial form replaces the bus it reads with its result; the plain form
// adds its result to what its output bus holds, so two parallel delays sum.
// The reference is a plain delay writing into an empty bus.
TEST(Delay2, SerialFormReplacesWhereThePlainFormAdds)
{
    constexpr float Rate = 44100.0f;
    constexpr int N = 96; // the echo of 1.0 ms lies inside the block
    auto configure = [](DelayRig& rig) {
        rig.set(Delay2_c::pTime, 10);
        rig.set(Delay2_c::pFeed, 50);
        rig.set(Delay2_c::pWet, 50);
    };
    auto fill = [](InBuffer2_c& bus, float level, float impulse) {
        float* l = nullptr;
        float* r = nullptr;
        ASSERT_TRUE(bus.wantWriteStereo(&l, &r));
        for (int i = 0; i < N; ++i)
            l[i] = r[i] = level + (i == 0 ? impulse : 0.0f);
        bus.doneWriteStereo();
    };
    auto read = [](InBuffer2_c& bus) {
        float* l = nullptr;
        float* r = nullptr;
        EXPECT_TRUE(bus.wantReadStereo(&l, &r));
        return Stereo{std::vector<float>(l, l + N), std::vector<float>(r, r + N)};
    };

    DelayRig ref(Rate);
    configure(ref);
    ref.in.prepCycle(N);
    ref.out.prepCycle(N);
    fill(ref.in, 0.25f, 1.0f);
    ref.fx->render(N);
    const Stereo alone = read(ref.out);
    ASSERT_GT(std::fabs(alone.l[45] - 0.25f), 0.1f); // the echo is there

    // Serial: one bus, input and output; afterwards it holds the result only.
    DelayRig serial(Rate, std::make_unique<Delay2R_c>());
    configure(serial);
    serial.fx->setInBuf(&serial.out);
    serial.out.prepCycle(N);
    fill(serial.out, 0.25f, 1.0f);
    serial.fx->render(N);
    const Stereo replaced = read(serial.out);
    EXPECT_EQ(replaced.l, alone.l);
    EXPECT_EQ(replaced.r, alone.r);
    EXPECT_EQ(serial.fx->getTypeCode(), TypeCodeDelay2);
    EXPECT_EQ(serial.fx->getParaSet()->getParaCount(), Delay2_c::ParaCount);

    // Parallel: two delays from their own buses add onto a bus holding 0.5.
    DelayRig a(Rate);
    DelayRig b(Rate);
    configure(a);
    configure(b);
    b.fx->setOutBufFixed(&a.out, nullptr);
    a.in.prepCycle(N);
    b.in.prepCycle(N);
    a.out.prepCycle(N);
    fill(a.in, 0.25f, 1.0f);
    fill(b.in, 0.25f, 1.0f);
    fill(a.out, 0.5f, 0.0f);
    a.fx->render(N);
    b.fx->render(N);
    const Stereo summed = read(a.out);
    for (int i = 0; i < N; ++i) {
        ASSERT_NEAR(summed.l[i], 0.5f + 2.0f * alone.l[i], 1e-6f) << i;
        ASSERT_NEAR(summed.r[i], 0.5f + 2.0f * alone.r[i], 1e-6f) << i;
    }
}

// The plain form sends a group of samples out at once; a subclass with a
// mixSample of its own still gets every sample through it, left before
// right. Both must give the same output, for every block size, both
// feedback filters, mono and stereo input and a moving modulation.
TEST(Delay2, OutputsOfTheirOwnGetEverySampleThroughMixSample)
{
    struct Counting : Delay2_c
    {
        void mixSample(float** p, float v) override
        {
            ++calls;
            Delay2_c::mixSample(p, v);
        }
        long calls = 0;
    };
    std::mt19937 random(5);
    std::uniform_real_distribution<float> signal(-1.0f, 1.0f);
    std::vector<float> left(3000);
    std::vector<float> right(left.size());
    for (size_t i = 0; i < left.size(); ++i) {
        left[i] = signal(random);
        right[i] = signal(random);
    }
    for (int filter : {0, -60, 60}) {
        for (bool stereo : {false, true}) {
            for (int block : {1, 5, 8, 13, 100, MaxBlockSize}) {
                SCOPED_TRACE(testing::Message() << "filter " << filter << (stereo ? ", stereo" : ", mono")
                                                << ", block " << block);
                auto counting = std::make_unique<Counting>();
                Counting* own = counting.get();
                DelayRig plain(44100.0f);
                DelayRig each(44100.0f, std::move(counting));
                for (DelayRig* rig : {&plain, &each}) {
                    rig->set(Delay2_c::pTime, 20);
                    rig->set(Delay2_c::pFeed, 70);
                    rig->set(Delay2_c::pModDepth, 500);
                    rig->set(Delay2_c::pModRate, 200);
                    rig->set(Delay2_c::pFil, filter);
                }
                const Stereo a = plain.run(left, stereo ? &right : nullptr, block);
                const Stereo b = each.run(left, stereo ? &right : nullptr, block);
                EXPECT_EQ(own->calls, 2 * static_cast<long>(left.size()));
                ASSERT_EQ(a.l, b.l);
                ASSERT_EQ(a.r, b.r);
            }
        }
    }
}

// At the extremes (Feed 0.99, full depth) with loud input, NaN and infinity
// in the input, and a long silence afterwards: the output stays finite and
// bounded, recovers, and the dying echo leaves no subnormal numbers.
TEST(Delay2, StaysFiniteRecoversAndLeavesNoSubnormals)
{
    constexpr float Rate = 44100.0f;
    for (int fil : {0, -100, 100}) {
        SCOPED_TRACE(fil);
        DelayRig rig(Rate);
        rig.set(Delay2_c::pTime, 10);
        rig.set(Delay2_c::pFeed, 99);
        rig.set(Delay2_c::pWet, 100);
        rig.set(Delay2_c::pModDepth, 990);
        rig.set(Delay2_c::pModRate, 200);
        rig.set(Delay2_c::pFil, fil);

        std::mt19937 gen(3);
        std::uniform_real_distribution<float> loud(-1e6f, 1e6f);
        std::vector<float> x(22050);
        for (float& v : x)
            v = loud(gen);
        const Stereo o = rig.run(x);
        ASSERT_TRUE(allFinite(o.l) && allFinite(o.r));
        for (size_t i = 0; i < x.size(); ++i)
            ASSERT_LT(std::fabs(o.l[i] - x[i]), 1e6f * 200.0f) << i;

        std::vector<float> bad(512, 0.0f);
        bad[3] = std::numeric_limits<float>::quiet_NaN();
        bad[100] = std::numeric_limits<float>::infinity();
        bad[101] = -std::numeric_limits<float>::infinity();
        rig.run(bad);

        // 25 s of silence: from 1e8 down past the smallest normal float.
        const Stereo tail = rig.run(std::vector<float>(static_cast<size_t>(25 * Rate), 0.0f));
        EXPECT_TRUE(allFinite(tail.l) && allFinite(tail.r));
        EXPECT_EQ(countSubnormal(tail.l), 0u);
        EXPECT_EQ(countSubnormal(tail.r), 0u);
        EXPECT_LT(std::fabs(tail.l.back()), 1e-6f);
    }
}

} // namespace
