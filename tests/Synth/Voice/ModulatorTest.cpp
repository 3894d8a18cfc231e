#include "Modulator.h"
#include "ModulatorRig.h"
#include "RampGlide.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace modtest;

namespace {

// A modulator with nothing of its own: the base's slots, rate and fade.
class PlainModulator : public Modulator_c
{
};

TEST(Modulator, SetPtrNeedsAllThreeSlots)
{
    PlainModulator m;
    float v = 5.0f, i = 5.0f;
    int r = 5;
    m.setPtr(&v, &i, nullptr);
    EXPECT_FALSE(m.isSlotsReady());
    EXPECT_EQ(v, 5.0f);
    m.quickFadeOut(); // not ready: leaves the slots alone
    EXPECT_EQ(i, 5.0f);
    EXPECT_EQ(r, 5);

    m.setPtr(&v, &i, &r);
    EXPECT_TRUE(m.isSlotsReady());
    EXPECT_EQ(v, 0.0f);
    EXPECT_EQ(i, 0.0f);
    EXPECT_EQ(r, ModHoldSteps);
}

TEST(Modulator, RunsAtTheControlRate)
{
    for (float rate : Rates) {
        PlainModulator m;
        m.setSampleRate(rate);
        EXPECT_EQ(m.getControlRate(), rate / 8.0f);
    }
}

TEST(Modulator, QuickFadeOutReachesZeroIn5ms)
{
    struct Case
    {
        float rate;
        int steps;
    };
    // 5 ms at the control rate, rounded; a control rate under 100 Hz would
    // round to 0 steps and still gets one.
    const Case cases[] = {{44100.0f, 28}, {48000.0f, 30}, {96000.0f, 60}, {192000.0f, 120}, {400.0f, 1}, {8.0f, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        PlainModulator m;
        m.setSampleRate(c.rate);
        SlotOwner o;
        o.bind(m);
        o.value = 0.8f;
        m.quickFadeOut();
        EXPECT_EQ(m.stage, Modulator_c::QuickFadeStage);
        EXPECT_EQ(o.remaining, c.steps);
        ASSERT_TRUE(std::isfinite(o.increment));
        for (int k = 0; k < c.steps; ++k)
            o.value += o.increment;
        EXPECT_NEAR(o.value, 0.0f, 1e-6f);
    }
}

TEST(Modulator, StepCountsAreClampedBeforeTheyBecomeInts)
{
    // A 99999 s sustain at 192 kHz is 2.4e9 control steps.
    EXPECT_EQ(toControlSteps(99999.0 * 24000.0), ModHoldSteps);
    EXPECT_EQ(toControlSteps(1e300), ModHoldSteps);
    EXPECT_EQ(toControlSteps(std::numeric_limits<double>::infinity()), ModHoldSteps);
    EXPECT_EQ(toControlSteps(std::numeric_limits<double>::quiet_NaN()), 1);
    EXPECT_EQ(toControlSteps(-5.0), 1);
    EXPECT_EQ(toControlSteps(0.4), 1);
    EXPECT_EQ(toControlSteps(0.4, 0), 0);
    EXPECT_EQ(toControlSteps(5.9), 5);
}

// ---------------------------------------------------------------------------
// RampGlide_c

struct GlideRig : Rig<RampGlide_c>
{
    using Rig::Rig;
    // Mode, const (0 Time, 1 Rate), time in ms.
    void setup(int mode, int constMode, int timeMs)
    {
        para(RampGlide_c::pGlideMode, mode);
        para(RampGlide_c::pConst, constMode);
        para(RampGlide_c::pTime, timeMs);
    }
    void glide(int previous, int key, bool legato = true, bool add = false)
    {
        mod.preprepProc(0, previous, legato);
        mod.prepProc(0, note(key), false, add);
    }
};

TEST(RampGlide, FromAnOctaveAboveRampsToZeroInTheGlideTime)
{
    for (float rate : Rates) {
        SCOPED_TRACE(rate);
        const double controlRate = rate / 8.0;
        struct Case
        {
            int constMode;
            double seconds; // how long the glide 72 -> 60 lasts
        };
        // "Time": the time itself; "Rate": the time per 48 semitones, so a
        // 12-semitone glide takes a quarter of it.
        for (const Case& c : {Case{0, 0.030}, Case{1, 0.030 * 0.25}}) {
            GlideRig g(rate);
            g.setup(RampGlide_c::gmOn, c.constMode, 30);
            g.glide(72, 60);
            EXPECT_FLOAT_EQ(g.owner.value, 0.25f);
            const int steps = static_cast<int>(c.seconds * controlRate + 0.5);
            EXPECT_EQ(g.owner.remaining, steps);
            // Golden trace: a straight line from 0.25 to 0.
            for (int k = 0; k < steps; ++k) {
                ASSERT_NEAR(g.owner.value, 0.25 * (1.0 - static_cast<double>(k) / steps), 1e-5) << k;
                g.owner.step();
            }
            EXPECT_NEAR(g.owner.value, 0.0f, 1e-5f);
            // Then it stays there.
            EXPECT_EQ(g.owner.increment, 0.0f);
            EXPECT_EQ(g.owner.remaining, ModHoldSteps);
        }
    }
}

TEST(RampGlide, ModesDecideTheStartValue)
{
    struct Case
    {
        const char* what;
        int mode;
        int bend;
        int previous;
        bool legato;
        bool add;
        float before; // the value before the note start (add mode adds to it)
        float start;
    };
    const Case cases[] = {
        {"off", RampGlide_c::gmOff, 0, 72, true, false, 0.0f, 0.0f},
        {"held, legato", RampGlide_c::gmHeld, 0, 72, true, false, 0.0f, 0.25f},
        {"held without legato: no glide", RampGlide_c::gmHeld, 0, 72, false, false, 0.0f, 0.0f},
        {"on, from below", RampGlide_c::gmOn, 0, 48, false, false, 0.0f, -0.25f},
        {"on, no previous note", RampGlide_c::gmOn, 0, -1, true, false, 0.0f, 0.0f},
        {"on, added to a running glide", RampGlide_c::gmOn, 0, 72, true, true, 0.1f, 0.35f},
        {"bend ignores the previous note", RampGlide_c::gmBend, 12, 30, true, false, 0.0f, 0.25f},
        {"bend down", RampGlide_c::gmBend, -48, 72, true, false, 0.0f, -1.0f},
        {"clamped to one unit", RampGlide_c::gmOn, 0, 127, true, false, 0.0f, 1.0f},
        {"added, clamped", RampGlide_c::gmOn, 0, 108, true, true, 0.5f, 1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GlideRig g;
        g.setup(c.mode, 0, 30);
        g.para(RampGlide_c::pBend, c.bend);
        g.owner.value = c.before;
        g.glide(c.previous, 60, c.legato, c.add);
        EXPECT_FLOAT_EQ(g.owner.value, c.start);
        EXPECT_FALSE(g.mod.idle);
        g.owner.run(g.owner.remaining);
        EXPECT_NEAR(g.owner.value, 0.0f, 1e-5f);
    }
}

TEST(RampGlide, AGlideShorterThanHalfAStepStillTakesOne)
{
    // "Rate" with 1 ms per 48 semitones: one semitone is 0.6 of a step.
    GlideRig g;
    g.setup(RampGlide_c::gmOn, 1, 1);
    g.glide(61, 60);
    EXPECT_EQ(g.owner.remaining, 1);
    g.owner.step();
    EXPECT_NEAR(g.owner.value, 0.0f, 1e-7f);
    // The same with the previous note equal to the key: no interval, no
    // division by zero.
    g.glide(60, 60);
    EXPECT_EQ(g.owner.value, 0.0f);
    EXPECT_EQ(g.owner.remaining, 1);
    EXPECT_TRUE(std::isfinite(g.owner.increment));
}

TEST(RampGlide, PreviousNotesAreKeptPerSet)
{
    ParaSet_c* set = nullptr;
    RampGlide_c g;
    ASSERT_TRUE(g.getParaSetPtr(&set, 3));
    EXPECT_EQ(g.getSetCount(), 3);
    EXPECT_EQ(g.getPreviousNote(1), -1);
    g.preprepProc(1, 64, true);
    g.preprepProc(7, 50, false); // clamped to the last set
    g.preprepProc(-4, 40, true); // clamped to set 0
    EXPECT_EQ(g.getPreviousNote(0), 40);
    EXPECT_EQ(g.getPreviousNote(1), 64);
    EXPECT_EQ(g.getPreviousNote(2), 50);
    EXPECT_TRUE(g.getLegato(1));
    EXPECT_FALSE(g.getLegato(2));

    // A second instance shares the set and keeps its own notes.
    RampGlide_c other;
    ASSERT_TRUE(other.getParaSetPtr(&set, 3));
    EXPECT_EQ(other.getParaSet(), g.getParaSet());
    EXPECT_EQ(other.getPreviousNote(1), -1);
}

TEST(RampGlide, NothingHappensWithoutSlotsOrParameters)
{
    RampGlide_c bare; // no set, no slots
    bare.preprepProc(0, 72, true);
    bare.prepProc(0, note(60), false, false);
    bare.goNextPhase();
    bare.quickFadeOut();
    EXPECT_TRUE(bare.idle);

    // Slots but no parameters: the slots keep what setPtr wrote.
    RampGlide_c noPara;
    noPara.setSampleRate(44100.0f);
    SlotOwner o;
    o.bind(noPara);
    noPara.prepProc(0, note(60), false, false);
    EXPECT_EQ(o.value, 0.0f);
    EXPECT_EQ(o.remaining, ModHoldSteps);
}

TEST(RampGlide, ParametersAsDefined)
{
    GlideRig g;
    char name[ParaNameBufferBytes];
    const char* names[] = {"Version", "Glide Mode", "Bend", "Time", "Const"};
    for (int i = 0; i < RampGlide_c::ParaCount; ++i) {
        g.mod.getParaName(0, i, name);
        EXPECT_STREQ(name, names[i]);
    }
    EXPECT_EQ(g.mod.getParaVal(0, RampGlide_c::pTime), 30);
    EXPECT_FLOAT_EQ(g.mod.getParaFl(0, RampGlide_c::pTime), 0.030f);
    EXPECT_EQ(g.mod.getEnuIdx(0, RampGlide_c::pGlideMode, "Bend"), 3);
    EXPECT_EQ(g.mod.getEnuIdx(0, RampGlide_c::pConst, "Rate"), 1);
    EXPECT_EQ(g.mod.getTypeCode(), 'M' << 24 | 'R' << 16 | 'G' << 8 | '0');
}

} // namespace
