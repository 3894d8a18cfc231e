// The analog oscillator, measured by its sound: pitch against the tuning
// table at three rates, the alias floor of the edge correction against an
// uncorrected oscillator, the shape of its edges, width folding, pitch
// modulation, cross-FM and cross-AM, unison, FreeRun and readiness.
#include "OscTestRig.h"

#include "ParaDefinition.h"
#include "Tone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

using namespace OscTest;
using Osc = OscAnalog4_c;

namespace {

// Frames that hold at least `periods` cycles of f0 and at least `seconds`.
long long framesFor(double f0, double rate, double periods, double seconds)
{
    return static_cast<long long>(std::max(rate * seconds, periods * rate / f0));
}

// Indices i where the signal jumps up (x[i] - x[i-1] > 0.75) or down.
std::vector<size_t> jumps(const std::vector<float>& x, bool up)
{
    std::vector<size_t> at;
    for (size_t i = 1; i < x.size(); ++i) {
        const float d = x[i] - x[i - 1];
        if (up ? d > 0.75f : d < -0.75f)
            at.push_back(i);
    }
    return at;
}

// Mean over whole cycles of f0 from sample `from` on.
double cycleMean(const std::vector<float>& x, size_t from, double f0, double rate)
{
    const double period = rate / f0;
    const size_t cycles = static_cast<size_t>((static_cast<double>(x.size() - from)) / period);
    const size_t end = from + static_cast<size_t>(std::lround(static_cast<double>(cycles) * period));
    double sum = 0.0;
    for (size_t i = from; i < end; ++i)
        sum += x[i];
    return sum / static_cast<double>(end - from);
}

} // namespace

// ---------------------------------------------------------------------------
// The parameter set and the correction table

TEST(OscAnalog4Set, ParametersAsProgramsStoreThem)
{
    OscRig rig;
    EXPECT_EQ(rig.osc.getTypeCode(), ProcTest::fourCC("GO02"));
    ASSERT_EQ(rig.set->getParaCount(), Osc::opCount);

    struct Row
    {
        int idx;
        const char* name;
        ParaType_t type;
        int lo, hi, def, precision;
    };
    const Row rows[] = {
        {Osc::opVersion, "Version", ptNumber, 200, 9900, 200, 2},
        {Osc::opOffOn, "OffOn", ptOnOff, 0, 1, 1, 0},
        {Osc::opWaveform, "Waveform", ptNumber, 0, 100, 50, 2},
        {Osc::opPulseWidth, "PulseWidth", ptNumber, 5, 100, 100, 2},
        {Osc::opXA, "", ptEnu, 0, 2, 2, 0},
        {Osc::opOctave, "Octave", ptNumber, -2, 7, 0, 0},
        {Osc::opSemitone, "Semitone", ptNumber, -11, 11, 0, 0},
        {Osc::opTrack, "Track", ptOnOff, 0, 1, 1, 0},
        {Osc::opCent, "Cent", ptNumber, -99, 99, 0, 0},
        {Osc::opUnused10, "", ptNumber, 50, 150, 100, 2},
        {Osc::opUnused11, "", ptNumber, 1, 3, 2, 0},
        {Osc::opSpread, "Spread", ptNumber, 0, 5000, 0, 2},
        {Osc::opFreeRun, "FreeRun", ptOnOff, 0, 1, 0, 0},
        {Osc::opSubOscVol, "SubOsc Vol", ptNumber, 0, 100, 0, 2},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.idx);
        Parameter_c* p = rig.osc.getParaPtr(0, r.idx);
        ASSERT_NE(p, nullptr);
        char name[ParaNameBufferBytes] = {};
        p->getName(name, sizeof name);
        EXPECT_STREQ(name, r.name);
        EXPECT_EQ(p->getType(), r.type);
        EXPECT_EQ(p->getLowValue(), r.lo);
        EXPECT_EQ(p->getHighValue(), r.hi);
        EXPECT_EQ(p->getDefValue(), r.def);
        if (r.type == ptNumber) {
            EXPECT_EQ(p->getPrecision(), r.precision);
        }
    }
    EXPECT_EQ(rig.osc.getParaPtr(0, 9)->getType(), ptUndefined) << "index 9 stays undefined";
    EXPECT_FLOAT_EQ(rig.osc.getParaPtr(0, Osc::opSpread)->getLogFactor(), 4.0f);
    char unit[ParaNameBufferBytes] = {};
    rig.osc.getParaUnit(0, Osc::opSpread, unit);
    EXPECT_STREQ(unit, "cent");
}

TEST(OscAnalog4Set, CorrectionTableFallsSmoothlyFromPlusToMinus)
{
    OscRig rig;
    const float* t = rig.osc.getEdgeTable();
    ASSERT_NE(t, nullptr);
    EXPECT_FLOAT_EQ(t[63], 0.05f);
    EXPECT_FLOAT_EQ(t[64], -0.05f);
    const float end = static_cast<float>(1.0 - std::pow(0.95, 64));
    EXPECT_NEAR(t[0], end, 1e-5f);
    EXPECT_NEAR(t[127], -end, 1e-5f);
    for (int k = 0; k < OscEdgeTableEntries / 2; ++k) {
        EXPECT_EQ(t[k], -t[OscEdgeTableEntries - 1 - k]) << k;
        EXPECT_GT(t[k], t[k + 1]) << k;
    }
    // Steepest in the middle: each step toward the middle is larger.
    for (int k = 1; k < 63; ++k)
        EXPECT_GT(t[k] - t[k + 1], t[k - 1] - t[k]) << k;
}

// ---------------------------------------------------------------------------
// Pitch

TEST(OscAnalog4Pitch, FollowsTheTuningTableAcrossTheKeyboardAtEveryRate)
{
    for (float rate : {44100.0f, 48000.0f, 96000.0f}) {
        for (int key : {0, 21, 45, 60, 69, 93, 108, 127}) {
            OscRig rig(rate);
            rig.start(key);
            const double f0 = rig.tuning.get(static_cast<float>(key));
            const auto x = rig.render(framesFor(f0, rate, 24, 0.5));
            EXPECT_NEAR(cents(peakFrequency(x, rate), f0), 0.0, 0.1) << "rate " << rate << " key " << key;
        }
    }
}

TEST(OscAnalog4Pitch, WithoutATuningTableEveryNoteIs440Hz)
{
    struct Row
    {
        int key, octave, semitone;
    };
    const Row rows[] = {{0, 0, 0}, {60, 0, 0}, {127, 0, 0}, {30, 3, -7}, {100, -2, 11}};
    NoteFreqTable_c unbuilt; // a table object whose set was never made
    for (bool objectWithoutTable : {false, true}) {
        for (const Row& r : rows) {
            OscRig rig(44100.0f, false);
            if (objectWithoutTable)
                rig.osc.tuning = &unbuilt;
            rig.para(Osc::opOctave, r.octave);
            rig.para(Osc::opSemitone, r.semitone);
            rig.start(r.key);
            EXPECT_FLOAT_EQ(static_cast<float>(rig.osc.getNoteFrequency()), 440.0f);
            const auto x = rig.render(22050);
            EXPECT_NEAR(cents(peakFrequency(x, 44100.0), 440.0), 0.0, 0.1)
                << "key " << r.key << (objectWithoutTable ? " (table not built)" : "");
        }
    }
}

TEST(OscAnalog4Pitch, KeyOffsetsTrackingAndCents)
{
    struct Row
    {
        const char* what;
        int key, track, octave, semitone, cent;
        float plays; // the (fractional) note whose table frequency sounds
    };
    const Row rows[] = {
        {"note 120 with +2 octaves clamps to 127", 120, 1, 2, 0, 0, 127.0f},
        {"three octaves up", 60, 1, 3, 0, 0, 96.0f},
        {"Track off plays note 24 whatever the key", 10, 0, 0, 0, 0, 24.0f},
        {"Track off plays note 24 plus the offsets", 90, 0, 1, 3, 0, 39.0f},
        {"fifty cents up", 69, 1, 0, 0, 50, 69.5f},
        {"semitones and cents down", 69, 1, 0, -11, -99, 57.01f},
        {"below the keyboard clamps to note 0", 30, 1, -2, -11, 0, 0.0f},
    };
    const float rate = 96000.0f;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        OscRig rig(rate);
        rig.para(Osc::opTrack, r.track);
        rig.para(Osc::opOctave, r.octave);
        rig.para(Osc::opSemitone, r.semitone);
        rig.para(Osc::opCent, r.cent);
        rig.start(r.key);
        const double expected = rig.tuning.get(r.plays);
        EXPECT_FLOAT_EQ(static_cast<float>(rig.osc.getNoteFrequency()), static_cast<float>(expected));
        const auto x = rig.render(framesFor(expected, rate, 24, 0.25));
        EXPECT_NEAR(cents(peakFrequency(x, rate), expected), 0.0, 0.1);
    }
}

TEST(OscAnalog4Pitch, AnOctaveIsTheTuningsOwnOctave)
{
    // 24 steps to the octave: Octave +1 moves 24 table entries, one octave.
    OscRig rig(48000.0f);
    Parameter_c* table = rig.tuning.getParaPtr(0, NoteFreqTable_c::tpFrequencies);
    ASSERT_NE(table, nullptr);
    for (int n = 0; n < NumTuningNotes; ++n)
        table->setFloatArray(n, static_cast<float>(NoteFreqTable_c::BaseFrequency * std::exp2(n / 24.0)));
    rig.tuning.determineSemiScale();
    ASSERT_EQ(rig.tuning.getSemiPerOct(), 24);

    rig.start(60);
    const double base = rig.osc.getNoteFrequency();
    rig.para(Osc::opOctave, 1);
    rig.start(60);
    EXPECT_NEAR(rig.osc.getNoteFrequency() / base, 2.0, 1e-5);
    EXPECT_FLOAT_EQ(static_cast<float>(rig.osc.getNoteFrequency()), rig.tuning.get(84.0f));
}

TEST(OscAnalog4Pitch, PitchInputIsTheVoicesPitchFactorAndHighIncrementsFallByOctaves)
{
    struct Row
    {
        const char* what;
        float rate;
        int key;
        float pitchInput;
        int halvings; // octaves the increment falls to stay at or below 0.9
    };
    const Row rows[] = {
        {"+1 is four octaves up", 44100.0f, 21, 1.0f, 0},
        {"-1 is four octaves down", 44100.0f, 93, -1.0f, 0},
        {"+0.25 is an octave up", 48000.0f, 69, 0.25f, 0},
        {"note 127 unmodulated stays below 0.9", 44100.0f, 127, 0.0f, 0},
        {"an octave above 0.9 falls back one octave", 44100.0f, 124, 0.25f, 1},
        {"+1 on a high note falls back two octaves", 44100.0f, 100, 1.0f, 2},
        {"+1 on the top note falls back four octaves", 44100.0f, 127, 1.0f, 4},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        OscRig rig(r.rate);
        rig.pitchSignal = [&](long long) { return r.pitchInput; };
        rig.start(r.key);
        const double f0 = rig.tuning.get(static_cast<float>(r.key));
        const double expected = f0 * pitchFactor(r.pitchInput) / std::exp2(r.halvings);
        // The row's halvings are the fewest that bring the increment to 0.9.
        const double inc = 2.0 * expected / r.rate;
        ASSERT_LE(inc, Osc::MaxIncrement);
        if (r.halvings > 0) {
            ASSERT_GT(2.0 * inc, Osc::MaxIncrement);
        }
        const auto x = rig.render(framesFor(expected, r.rate, 24, 0.5));
        EXPECT_NEAR(cents(peakFrequency(x, r.rate), expected), 0.0, 0.1);
    }
}

// ---------------------------------------------------------------------------
// Band limitation

// The strongest partial that folds back from above the Nyquist frequency, in
// dB below the fundamental, for the oscillator and for the same two-segment
// wave sampled without correction, at 44.1 kHz. The bounds sit 3 dB above
// what the oscillator measured (corrected saw: -43.0, -36.9, -31.7, -24.8,
// -19.5 dB; naive: -38.8, -32.3, -26.7, -20.4, -15.8 dB; corrected narrow
// pulse: -28.6, -24.5, -22.5, -21.4, -20.3 dB; naive: -22.9, -17.2, -13.2,
// -13.1, -12.9 dB, from C4 to C8), so a regression of the correction shows.
TEST(OscAnalog4Alias, EdgeCorrectionLowersTheAliasFloorBelowAnUncorrectedOscillator)
{
    struct Row
    {
        const char* wave;
        int key;
        int waveform, pulseWidth; // stored values
        double boundDb;           // the corrected floor must be at or below this
        double gainDb;            // and at least this much below the naive floor
    };
    const Row rows[] = {
        {"saw", 60, 0, 100, -40.0, 3.0},   {"saw", 72, 0, 100, -34.0, 3.0},
        {"saw", 84, 0, 100, -28.5, 3.0},   {"saw", 96, 0, 100, -21.5, 3.0},
        {"saw", 108, 0, 100, -16.5, 2.5},  {"pulse", 60, 100, 10, -25.5, 4.5},
        {"pulse", 72, 100, 10, -21.5, 5.0}, {"pulse", 84, 100, 10, -19.5, 6.0},
        {"pulse", 96, 100, 10, -18.5, 6.0}, {"pulse", 108, 100, 10, -17.0, 5.0},
    };
    const double rate = 44100.0;
    const size_t skip = 1024;
    const size_t frames = 65536;
    for (const Row& r : rows) {
        OscRig rig(static_cast<float>(rate));
        rig.para(Osc::opWaveform, r.waveform);
        rig.para(Osc::opPulseWidth, r.pulseWidth);
        rig.start(r.key);
        auto x = rig.render(static_cast<long long>(skip + frames));
        x.erase(x.begin(), x.begin() + static_cast<long>(skip));

        const double f0 = rig.tuning.get(static_cast<float>(r.key));
        const double inc = 2.0 * f0 / rate;
        const double a = r.waveform / 100.0;
        // The same width the oscillator plays: never below two samples.
        const double w = std::max(r.pulseWidth / 100.0, std::clamp(2.0 * inc, 0.05, 1.0));
        EXPECT_NEAR(rig.osc.getPlainState().w, w, 1e-6);
        const auto naive = naiveTwoSegment(f0, rate, a, w, frames, skip);

        const double corrected = aliasFloorDb(x, f0, rate);
        const double uncorrected = aliasFloorDb(naive, f0, rate);
        const std::string what = std::string(r.wave) + " key " + std::to_string(r.key) +
                                 ": corrected " + std::to_string(corrected) + " dB, naive " +
                                 std::to_string(uncorrected) + " dB";
        RecordProperty(std::string(r.wave) + "_" + std::to_string(r.key), what);
        EXPECT_LE(corrected, r.boundDb) << what;
        EXPECT_LE(corrected, uncorrected - r.gainDb) << what;
    }
}

// ---------------------------------------------------------------------------
// Shape

TEST(OscAnalog4Shape, SawResetIsSoftenedOverFourSamples)
{
    OscRig rig;
    rig.para(Osc::opWaveform, 0);
    rig.para(Osc::opPulseWidth, 100);
    rig.start(45); // 110 Hz, about 401 samples a cycle
    const auto x = rig.render(4000);
    EXPECT_FLOAT_EQ(x[0], 1.0f) << "the plain render starts at +1 without a correction";
    const auto resets = jumps(x, true);
    ASSERT_GE(resets.size(), 8u);
    for (size_t r : resets) {
        if (r + 6 >= x.size())
            break;
        SCOPED_TRACE(r);
        EXPECT_LT(x[r - 1], -0.99f) << "the ramp reached -1";
        // Four corrected samples rise toward the ramp, which then falls on.
        for (size_t k = r; k < r + 4; ++k) {
            EXPECT_GT(x[k], x[k - 1]);
            EXPECT_LT(x[k], x[k + 1]);
        }
        EXPECT_GT(x[r + 4], 0.97f);
        EXPECT_LT(x[r + 5], x[r + 4]);
    }
    // Every jump up is a reset; no other sample moves by more than a step.
    EXPECT_TRUE(jumps(x, false).empty());
}

TEST(OscAnalog4Shape, PulseFallingEdgeIsSoftenedAndItsRisingEdgeIsNot)
{
    OscRig rig;
    rig.para(Osc::opWaveform, 100);
    rig.para(Osc::opPulseWidth, 50); // high for a quarter of the cycle
    rig.start(45);
    const auto x = rig.render(20000);
    size_t falls = 0;
    size_t rises = 0;
    for (size_t i = 1; i + 5 < x.size(); ++i) {
        if (x[i - 1] == 1.0f && x[i] < 1.0f) {
            ++falls;
            SCOPED_TRACE(i);
            // Four samples strictly between, falling, then the low level.
            for (size_t k = i; k < i + 4; ++k) {
                EXPECT_LT(x[k], x[k - 1]);
                EXPECT_GT(x[k], -1.0f);
            }
            EXPECT_EQ(x[i + 4], -1.0f);
        }
        if (x[i - 1] == -1.0f && x[i] > -1.0f) {
            ++rises;
            EXPECT_EQ(x[i], 1.0f) << "straight from -1 to +1 at " << i;
        }
    }
    EXPECT_GE(falls, 8u);
    EXPECT_GE(rises, 8u);
    // Low for three quarters of the cycle.
    EXPECT_NEAR(cycleMean(x, 1000, rig.tuning.get(45.0f), 44100.0), -0.5, 0.02);
}

TEST(OscAnalog4Shape, WidthFoldsBackAndKeepsTwoSamplesOfFirstSegment)
{
    struct Row
    {
        const char* what;
        int pulseWidth;  // stored: 5..100 is 0.05..1.00
        float shape;     // the shape input, which adds 0.95 x its value
        int key;
        double width;    // the width played; -1: two samples' worth
        bool measureMean; // low enough that the mean shows the width
    };
    const Row rows[] = {
        {"a raw width of 1.3 folds to 0.7", 100, 0.3f / 0.95f, 33, 0.7, true},
        {"a raw width of 0.03 folds to 0.07", 5, -0.02f / 0.95f, 33, 0.07, true},
        {"a raw width of 2.5 folds to 0.6", 100, 1.5f / 0.95f, 33, 0.6, true},
        {"the shape input narrows the width", 60, -0.2f, 33, 0.41, true},
        {"at a high note the width stays at two increments", 5, 0.0f, 117, -1.0, false},
        {"above 0.5 increments the width is full", 5, 0.0f, 127, 1.0, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        OscRig rig;
        rig.para(Osc::opWaveform, 100);
        rig.para(Osc::opPulseWidth, r.pulseWidth);
        rig.shapeSignal = [&](long long) { return r.shape; };
        rig.start(r.key);
        const auto x = rig.render(20000);
        const double f0 = rig.tuning.get(static_cast<float>(r.key));
        const double inc = 2.0 * f0 / 44100.0;
        const double expected = r.width < 0.0 ? 2.0 * inc : r.width;
        EXPECT_NEAR(rig.osc.getPlainState().w, expected, 1e-6);
        // The first segment lasts w / inc samples: never fewer than two
        // while two samples fit into the cycle's half (inc up to 0.5).
        EXPECT_GE(rig.osc.getPlainState().w / inc, std::min(2.0, 1.0 / inc) - 1e-9);
        if (r.measureMean) { // high for w / 2 of the cycle
            EXPECT_NEAR(cycleMean(x, 2048, f0, 44100.0), expected - 1.0, 0.02);
        }
    }
}

// Shape and pitch inputs that move during the note, and come back to values
// they had: the cycle that starts after the last move plays the width and
// segment increments of the inputs it starts with, never those of an
// earlier cycle.
TEST(OscAnalog4Shape, MovedInputsTakeHoldAtTheNextCycle)
{
    struct Row
    {
        const char* what;
        float shape[3]; // the shape input over three stretches of the note
        float pitch[3]; // the pitch input over the same stretches
    };
    const Row rows[] = {
        {"the width moves and comes back", {0.0f, 0.3f, 0.0f}, {0.0f, 0.0f, 0.0f}},
        {"the width moves twice with the pitch held", {0.0f, 0.3f, -0.25f}, {0.0f, 0.0f, 0.0f}},
        {"the pitch moves and comes back", {0.0f, 0.0f, 0.0f}, {0.0f, 0.1f, 0.0f}},
        {"the pitch moves with the width held", {0.2f, 0.2f, 0.2f}, {0.0f, -0.05f, 0.08f}},
        {"both move", {-0.3f, 0.1f, 0.4f}, {0.02f, -0.1f, 0.05f}},
    };
    constexpr long long Stretch = 500; // control steps
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        OscRig rig;
        rig.para(Osc::opWaveform, 100);
        rig.para(Osc::opPulseWidth, 60);
        rig.shapeSignal = [&](long long step) { return r.shape[std::min<long long>(step / Stretch, 2)]; };
        rig.pitchSignal = [&](long long step) { return r.pitch[std::min<long long>(step / Stretch, 2)]; };
        rig.start(45);
        rig.render(3 * Stretch * ControlStepFrames + 4096);
        const Osc::Copy_t& st = rig.osc.getPlainState();
        // The width of a cycle: folded back into 0.05..1, never below two
        // increments.
        double w = st.rawWidth;
        if (w > 1.0)
            w = 2.0 - w;
        if (w < 0.05)
            w = 0.1 - w;
        const double least = std::clamp(2.0 * st.inc, 0.05, 1.0);
        w = least > w ? least : std::min(w, 1.0);
        EXPECT_EQ(st.w, w);
        EXPECT_EQ(st.incA, st.inc / w);
        EXPECT_EQ(st.incB, 0.5 * st.inc / (1.0 - 0.5 * w));
    }
}

// ---------------------------------------------------------------------------
// Cross-FM and cross-AM (the oscillator as the carrier of a pair)

TEST(OscAnalog4CrossMod, FMAdvancesByThePositivePartOfTheInput)
{
    const float rate = 44100.0f;
    const int key = 57; // 220 Hz
    OscRig plain(rate);
    plain.start(key);
    const auto reference = plain.render(22050);
    const double f0 = plain.tuning.get(static_cast<float>(key));

    struct Row
    {
        const char* what;
        AudioSignal input;
        double frequencyFactor; // 0: the phase stands still
        double toleranceCents;
    };
    // At a segment switch the step's overshoot carries into the new segment
    // at the segment's own increment, not at the modulated one, so a steady
    // factor other than 1 plays a few cents off at this pitch (+4.8 cents
    // at 0.5, -7.6 at 2): that is the oscillator's cross-FM as designed.
    const Row rows[] = {
        {"an input of +1 plays as the plain oscillator", [](long long) { return 1.0f; }, 1.0, 0.0},
        {"negative samples stop the phase for their sample",
         [](long long i) { return (i & 1) ? -1.0f : 1.0f; }, 0.5, 0.1},
        {"an input of 0.5 plays about half as fast", [](long long) { return 0.5f; }, 0.5, 10.0},
        {"an input of 2 plays about twice as fast", [](long long) { return 2.0f; }, 2.0, 10.0},
        {"a negative input holds the phase", [](long long) { return -0.5f; }, 0.0, 0.0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        OscRig rig(rate);
        rig.osc.setRenderMode(Generator_c::rmCrossFM);
        rig.modSignal = r.input;
        rig.start(key);
        const auto x = rig.render(22050);
        EXPECT_FALSE(rig.finishedSeen);
        if (r.frequencyFactor == 1.0) {
            for (size_t i = 0; i < x.size(); ++i)
                ASSERT_FLOAT_EQ(x[i], reference[i]) << i;
        } else if (r.frequencyFactor == 0.0) {
            for (size_t i = 0; i < x.size(); ++i)
                ASSERT_EQ(x[i], 1.0f) << i;
        } else {
            EXPECT_NEAR(cents(peakFrequency(x, rate), f0 * r.frequencyFactor), 0.0, r.toleranceCents);
        }
    }
}

TEST(OscAnalog4CrossMod, AMMultipliesTheOutputByTheInput)
{
    OscRig plain;
    plain.start(57);
    const auto reference = plain.render(5000);

    OscRig rig;
    rig.osc.setRenderMode(Generator_c::rmCrossAM);
    const auto input = ProcTest::sine(313.0, 44100.0, 0.8f);
    rig.modSignal = [&](long long i) { return input(static_cast<int>(i)); };
    rig.start(57);
    const auto x = rig.render(5000);
    for (size_t i = 0; i < x.size(); ++i)
        ASSERT_NEAR(x[i], reference[i] * input(static_cast<int>(i)), 1e-6f) << i;
}

TEST(OscAnalog4CrossMod, AModeOutsideTheThreeRendersNothing)
{
    for (int mode : {-1, 3, 7}) {
        OscRig rig;
        rig.osc.setRenderMode(mode);
        rig.start(60);
        const auto x = rig.render(1024);
        EXPECT_EQ(ProcTest::peak(x), 0.0f) << mode;
        EXPECT_FALSE(rig.out.hasContent()) << mode;
    }
}

// ---------------------------------------------------------------------------
// Unison

TEST(OscAnalog4Unison, SpreadAboveATenthOfAThousandthPlaysFiveCopiesAtFullLevel)
{
    struct Row
    {
        int spread; // stored: hundredths of a cent
        float d;
        float peakAtLeast, peakAtMost;
    };
    // Spread 0.00 plays one copy; 0.01 is above the 0.001 threshold and plays
    // five, in phase at the start, added without scaling.
    const Row rows[] = {{0, 0.0f, 0.99f, 1.0f}, {1, 0.01f, 4.9f, 5.0f}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.spread);
        OscRig rig;
        rig.para(Osc::opSpread, r.spread);
        EXPECT_FLOAT_EQ(rig.osc.unisonAmount, r.d);
        rig.start(45);
        const auto x = rig.render(2048);
        EXPECT_GE(ProcTest::peak(x), r.peakAtLeast);
        EXPECT_LE(ProcTest::peak(x), r.peakAtMost + 1e-5f);
        EXPECT_FALSE(rig.finishedSeen) << "an oscillator never finishes";
    }
}

TEST(OscAnalog4Unison, EachCopyPlaysAtItsOwnDetuning)
{
    const float rate = 44100.0f;
    OscRig rig(rate);
    rig.para(Osc::opSpread, 5000); // d = 50
    rig.start(69);
    const auto x = rig.render(88200);
    const double factors[NumUnisonCopies] = {1.0, 1.055, 1.028, 0.97, 0.9415};
    double level[NumUnisonCopies] = {};
    for (int k = 0; k < NumUnisonCopies; ++k) {
        SCOPED_TRACE(k);
        const double expected = 440.0 * factors[k];
        EXPECT_NEAR(rig.osc.getNominalIncrement(k), 2.0 * expected / rate, 1e-9);
        const double measured = peakFrequencyIn(x, rate, expected - 5.0, expected + 5.0);
        EXPECT_NEAR(cents(measured, expected), 0.0, 0.1);
        level[k] = windowedMagnitudeAt(x, measured, rate);
    }
    for (int k = 1; k < NumUnisonCopies; ++k)
        EXPECT_NEAR(20.0 * std::log10(level[k] / level[0]), 0.0, 1.0) << "copy " << k << " at full level";
    EXPECT_FALSE(rig.finishedSeen);
}

TEST(OscAnalog4Unison, CopiesBeginWithAFourSampleRiseThePlainRenderDoesNot)
{
    OscRig rig;
    rig.para(Osc::opSpread, 1);
    rig.start(45);
    const auto x = rig.render(8);
    // Five copies at phase 0, each rising from about -1 to +1 over four samples.
    EXPECT_LT(x[0], -4.0f);
    for (int k = 1; k < 5; ++k)
        EXPECT_GT(x[k], x[k - 1]);
    EXPECT_GT(x[4], 4.9f);
}

TEST(OscAnalog4Unison, CopiesRenderedTogetherAddUpAsCopyByCopy)
{
    // Into mono output the copies render side by side; into stereo content
    // they go one by one through the scratch, whose left channel then gets
    // the same additions in the same order. Both must agree to the bit, over
    // switches at every sub-sample position, corrections running across
    // pieces of odd lengths, and pitch and width moving between steps.
    struct Row
    {
        const char* what;
        int mode;
        int key;
        int piece;
        int waveform; // percent
        int width;    // hundredths of a percent
        bool freeRun;
        ControlSignal pitch;
        ControlSignal shape;
        AudioSignal mod;
    };
    const auto still = [](long long) { return 0.0f; };
    const auto wobble = [](long long step) { return 0.3f * static_cast<float>(std::sin(0.05 * step)); };
    const auto fold = [](long long step) { return static_cast<float>(step % 40) * -0.03f; };
    const auto fmInput = [](long long i) { return 1.5f * static_cast<float>(std::sin(0.013 * i)) + 0.4f; };
    const auto amInput = [](long long i) { return static_cast<float>(std::cos(0.021 * i)); };
    const Row rows[] = {
        {"plain, whole blocks", Generator_c::rmPlain, 60, MaxBlockSize, 50, 10000, false, still, still, nullptr},
        {"plain, high and pulse, odd pieces", Generator_c::rmPlain, 100, 37, 100, 3000, true, still, still, nullptr},
        {"plain, pitch and width moving", Generator_c::rmPlain, 72, 13, 20, 6000, true, wobble, fold, nullptr},
        {"plain, one sample at a time", Generator_c::rmPlain, 88, 1, 70, 5000, false, wobble, still, nullptr},
        {"cross-FM with stalls", Generator_c::rmCrossFM, 67, 29, 40, 8000, true, wobble, fold, fmInput},
        {"cross-AM", Generator_c::rmCrossAM, 79, 64, 10, 4000, false, still, fold, amInput},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        std::vector<float> played[2];
        Osc::Copy_t last[2][NumUnisonCopies];
        for (int stereo = 0; stereo < 2; ++stereo) {
            OscRig rig;
            if (stereo) {
                ProcTest::makeBus(rig.out, 2);
                rig.stereoOut = true;
            }
            rig.osc.setRenderMode(r.mode);
            rig.para(Osc::opSpread, 3000);
            rig.para(Osc::opWaveform, r.waveform);
            rig.para(Osc::opPulseWidth, r.width);
            rig.para(Osc::opFreeRun, r.freeRun ? 1 : 0);
            rig.pitchSignal = r.pitch;
            rig.shapeSignal = r.shape;
            rig.modSignal = r.mod;
            rig.start(r.key);
            played[stereo] = rig.render(3000, r.piece);
            // A legato note with FreeRun off lines the running copies up
            // anew in the middle of their cycles.
            rig.start(r.key + 5, true, true);
            const auto more = rig.render(2000, r.piece);
            played[stereo].insert(played[stereo].end(), more.begin(), more.end());
            for (int k = 0; k < NumUnisonCopies; ++k)
                last[stereo][k] = rig.osc.getCopyState(k);
        }
        ASSERT_EQ(played[0].size(), played[1].size());
        for (size_t i = 0; i < played[0].size(); ++i)
            ASSERT_EQ(played[0][i], played[1][i]) << i;
        EXPECT_GT(ProcTest::peak(played[0]), 1.0f) << "the copies play";
        for (int k = 0; k < NumUnisonCopies; ++k) {
            SCOPED_TRACE(k);
            EXPECT_EQ(last[0][k].phase, last[1][k].phase);
            EXPECT_EQ(last[0][k].second, last[1][k].second);
            EXPECT_EQ(last[0][k].y, last[1][k].y);
            EXPECT_EQ(last[0][k].i, last[1][k].i);
            EXPECT_EQ(last[0][k].lastStep, last[1][k].lastStep);
            EXPECT_EQ(last[0][k].m, last[1][k].m);
            EXPECT_EQ(last[0][k].rawWidth, last[1][k].rawWidth);
        }
    }
}

// ---------------------------------------------------------------------------
// Start phases

TEST(OscAnalog4FreeRun, OffStartsEveryCopyAtPhaseZero)
{
    OscRig rig;
    rig.para(Osc::opSpread, 100);
    rig.start(60);
    for (int k = 0; k < NumUnisonCopies; ++k)
        EXPECT_EQ(rig.osc.getCopyState(k).phase, 0.0) << k;
    EXPECT_EQ(rig.osc.getPlainState().phase, 0.0);
}

TEST(OscAnalog4FreeRun, OnDrawsPhasesFromTheOscillatorsOwnGenerator)
{
    const auto phases = [](uint32_t seed, unsigned libcSeed) {
        OscRig rig;
        rig.para(Osc::opFreeRun, 1);
        rig.osc.seedRandom(seed);
        // The C library's generator is not what FreeRun draws from.
        ::srandom(libcSeed);
        rig.start(60);
        std::vector<double> p;
        for (int k = 0; k < NumUnisonCopies; ++k)
            p.push_back(rig.osc.getCopyState(k).phase);
        p.push_back(rig.osc.getPlainState().phase);
        return p;
    };
    const auto a = phases(7, 1);
    EXPECT_EQ(a, phases(7, 2)) << "the same seed repeats, whatever random() does";
    EXPECT_NE(a, phases(8, 1)) << "another seed differs";
    for (int k = 0; k < NumUnisonCopies; ++k) {
        EXPECT_GE(a[k], 0.0);
        EXPECT_LT(a[k], 1.98);
    }
    EXPECT_EQ(a[NumUnisonCopies], a[0]) << "the plain render starts where copy 0 does";
    EXPECT_NE(a[0], a[1]);

    // A phase of 1 or more starts in the second segment.
    OscRig rig;
    rig.para(Osc::opFreeRun, 1);
    for (uint32_t seed = 1; seed < 50; ++seed) {
        rig.osc.seedRandom(seed);
        rig.start(60);
        const double start = rig.osc.getPlainState().phase;
        rig.render(1);
        EXPECT_EQ(rig.osc.getPlainState().second, start >= 1.0) << seed;
    }

    // Two oscillators made one after the other start differently.
    OscAnalog4_c first;
    OscAnalog4_c second;
    ParaSet_c* set = nullptr;
    first.getParaSetPtr(&set, 1);
    second.getParaSetPtr(&set, 1);
    first.setParaVal(0, Osc::opFreeRun, 1);
    first.prepProc(0, ProcTest::noteOf(60, 100), false, false);
    second.prepProc(0, ProcTest::noteOf(60, 100), false, false);
    EXPECT_NE(first.getCopyState(0).phase, second.getCopyState(0).phase);
}

TEST(OscAnalog4FreeRun, ALegatoRestartLinesTheCopiesUpWithCopyZeroOrLeavesThemRunning)
{
    for (bool freeRun : {false, true}) {
        SCOPED_TRACE(freeRun);
        OscRig rig;
        rig.para(Osc::opFreeRun, freeRun ? 1 : 0);
        rig.para(Osc::opSpread, 5000);
        rig.para(Osc::opWaveform, 30);
        rig.start(60);
        rig.render(20003); // the copies drift apart by several cycles
        Osc::Copy_t before[NumUnisonCopies];
        for (int k = 0; k < NumUnisonCopies; ++k)
            before[k] = rig.osc.getCopyState(k);
        rig.start(62, true, true);
        for (int k = 0; k < NumUnisonCopies; ++k) {
            SCOPED_TRACE(k);
            const Osc::Copy_t& c = rig.osc.getCopyState(k);
            if (freeRun || k == 0) {
                EXPECT_EQ(c.phase, before[k].phase);
                EXPECT_EQ(c.second, before[k].second);
                EXPECT_EQ(c.y, before[k].y);
            } else {
                // Copy 0's place in the cycle, the value on the copy's own line.
                EXPECT_EQ(c.phase, before[0].phase);
                EXPECT_EQ(c.second, before[0].second);
                const float from = c.second ? -0.3f : 1.0f;
                const float to = c.second ? -1.0f : 0.3f;
                EXPECT_NEAR(c.y, from + (to - from) * c.phase, 1e-5);
            }
        }
        // No copy's value runs past its segment's end (beyond one step).
        float largest = 0.0f;
        for (int i = 0; i < 4000; i += ControlStepFrames) {
            rig.render(ControlStepFrames, ControlStepFrames);
            for (int k = 0; k < NumUnisonCopies; ++k)
                largest = std::max(largest, std::fabs(rig.osc.getCopyState(k).y));
        }
        EXPECT_LE(largest, 1.01f);
        // Only one flag: a fresh start.
        rig.start(64, true, false);
        EXPECT_EQ(rig.osc.getCopyState(1).i, OscEdgeTableEntries);
    }
}

// ---------------------------------------------------------------------------
// Readiness

TEST(OscAnalog4Ready, NeedsItsInputsItsParametersAndARateAbove22000Hz)
{
    struct Row
    {
        const char* what;
        float rate;
        bool inputs;
        bool ready;
    };
    const Row rows[] = {
        {"22000 Hz is too low", 22000.0f, true, false},
        {"22050 Hz is enough", 22050.0f, true, true},
        {"without the inputs", 44100.0f, false, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        OscRig rig(r.rate);
        if (!r.inputs)
            rig.osc.create(nullptr, nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(rig.osc.ready.load(), r.ready);
        rig.start(60);
        const auto x = rig.render(512);
        EXPECT_EQ(ProcTest::peak(x) > 0.0f, r.ready);
    }
    OscAnalog4_c bare;
    float in[4] = {};
    bare.create(nullptr, in, in, in, nullptr);
    EXPECT_FALSE(bare.ready.load()) << "no parameter set";
}
