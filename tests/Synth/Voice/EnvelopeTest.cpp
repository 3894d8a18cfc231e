#include "Envelope.h"
#include "ModulatorRig.h"
#include "Synth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace modtest;

namespace {

using E = EnvADSFR_c;

struct AdsrRig : Rig<EnvADSFR_c>
{
    using Rig::Rig;
    // Times in ms, level in thousandths, fall in hundredths of its -10..10.
    void adsr(int a, int d, int s, int f, int r)
    {
        para(E::pATime, a);
        para(E::pDTime, d);
        para(E::pSLevel, s);
        para(E::pFTime, f);
        para(E::pRTime, r);
    }
    void release() { mod.NoteOff(0, note(60)); }
};

TEST(EnvADSFR, PhaseLengthsInControlSteps)
{
    TempoGuard tempo;
    tempo.set(120.0);
    struct Case
    {
        const char* what;
        float rate;
        int para;
        int value;
        int phase;
        int steps;
    };
    const Case cases[] = {
        {"attack 0.001 s at 44.1 kHz (40 samples)", 44100.0f, E::pATime, 1, E::phAttack, 5},
        {"attack 0.001 s at 48 kHz", 48000.0f, E::pATime, 1, E::phAttack, 6},
        {"attack 0.001 s at 96 kHz", 96000.0f, E::pATime, 1, E::phAttack, 12},
        {"attack 1 s", 44100.0f, E::pATime, 1000, E::phAttack, 5512},
        {"attack 0.01 s at 48 kHz", 48000.0f, E::pATime, 10, E::phAttack, 60},
        {"decay 0.5 s", 44100.0f, E::pDTime, 500, E::phDecay, 2756},
        {"release 10 s at 96 kHz", 96000.0f, E::pRTime, 10000, E::phRelease, 120000},
        {"fall +10: 0.01 s", 44100.0f, E::pFTime, 1000, E::phSustain, 55},
        {"fall -0.01: 10 s", 44100.0f, E::pFTime, -1, E::phSustain, 55125},
        // Steps come from single-precision products, like the parameters.
        {"no fall: 99999 s", 96000.0f, E::pFTime, 0, E::phSustain, static_cast<int>(99999.0f * 12000.0f)},
        {"no fall at 192 kHz: more steps than an int holds", 192000.0f, E::pFTime, 0, E::phSustain, ModHoldSteps},
        {"finished", 44100.0f, E::pATime, 1, E::phFinished, ModHoldSteps},
        {"no such phase", 44100.0f, E::pATime, 1, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AdsrRig e(c.rate);
        e.para(c.para, c.value);
        e.start();
        EXPECT_EQ(e.mod.getPhaseLength(c.phase), c.steps);
    }
}

TEST(EnvADSFR, SyncedTimesFollowTheTempo)
{
    TempoGuard tempo;
    struct Case
    {
        double bpm;
        float rate;
        int para;
        int value; // sixteenths x 100
        int phase;
        int steps;
    };
    // Sixteenths x 30 / BPM seconds: "ASync" 1.00 at 120 BPM lasts 0.25 s.
    const Case cases[] = {
        {120.0, 44100.0f, E::pASync, 100, E::phAttack, 1378}, {120.0, 48000.0f, E::pASync, 100, E::phAttack, 1500},
        {60.0, 96000.0f, E::pASync, 100, E::phAttack, 6000},  {120.0, 44100.0f, E::pFSync, -200, E::phSustain, 2756},
        {120.0, 44100.0f, E::pRSync, 0, E::phRelease, 1},     {240.0, 48000.0f, E::pDSync, 400, E::phDecay, 3000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.steps);
        tempo.set(c.bpm);
        AdsrRig e(c.rate);
        e.para(E::pSync, 1);
        e.para(c.para, c.value);
        e.start();
        EXPECT_EQ(e.mod.getPhaseLength(c.phase), c.steps);
    }
}

TEST(EnvADSFR, KeyVelocityAndModulationScaleTheTimes)
{
    AdsrRig e;
    e.adsr(1000, 1000, 500, 0, 1000);
    e.para(E::pPitchScal, 100);
    e.start(72); // an octave up halves the times: 2^(12/96 x -1 x 8)
    EXPECT_EQ(e.mod.getPhaseLength(E::phAttack), 2756);
    EXPECT_EQ(e.mod.getPhaseLength(E::phRelease), 2756);

    AdsrRig v;
    v.adsr(1000, 1000, 500, 0, 1000);
    v.para(E::pVelocScal, 100);
    v.start(60, 127);
    const float g = v.mod.scale2; // the velocity curve at 127, near 4
    EXPECT_GT(g, 3.0f);
    EXPECT_EQ(v.mod.getPhaseLength(E::phAttack), static_cast<int>(1.0f / g * 5512.5f));
    // "Velocity Attack" on: the decay and what follows are not scaled.
    EXPECT_EQ(v.mod.getPhaseLength(E::phDecay), 5512);
    EXPECT_EQ(v.mod.getPhaseLength(E::phRelease), 5512);

    AdsrRig m;
    m.adsr(1000, 1000, 500, 0, 1000);
    m.start();
    *m.mod.getModVectorAdr(0) = 2.0f;  // attack about 16 times shorter
    *m.mod.getModVectorAdr(2) = -2.0f; // release about 16 times longer
    EXPECT_NEAR(m.mod.getPhaseLength(E::phAttack), 5512 / 16.0, 5512 / 16.0 * 0.02);
    EXPECT_NEAR(m.mod.getPhaseLength(E::phRelease), 5512 * 16.0, 5512 * 16.0 * 0.02);
    *m.mod.getModVectorAdr(0) = 50.0f; // clamped: no longer than +2
    EXPECT_NEAR(m.mod.getPhaseLength(E::phAttack), 5512 / 16.0, 5512 / 16.0 * 0.02);
    // A time shorter than one step is one step.
    m.para(E::pATime, 1);
    EXPECT_EQ(m.mod.getPhaseLength(E::phAttack), 1);
    // A modulation that is not a number is no modulation.
    m.para(E::pATime, 1000);
    *m.mod.getModVectorAdr(0) = std::nanf("");
    EXPECT_EQ(m.mod.getPhaseLength(E::phAttack), 5512);
}

// The linear envelope as a golden trace: attack 10 ms, decay 20 ms to 0.5,
// sustain, release 10 ms; the same shape at every rate.
TEST(EnvADSFR, LinearTraceAtEveryRate)
{
    for (float rate : Rates) {
        SCOPED_TRACE(rate);
        const float cr = rate / 8.0f;
        const int na = static_cast<int>(0.01f * cr);
        const int nd = static_cast<int>(0.02f * cr);
        const int nr = static_cast<int>(0.01f * cr);
        AdsrRig e(rate);
        e.adsr(10, 20, 500, 0, 10);
        e.start();
        EXPECT_FALSE(e.mod.isFinished());
        const std::vector<float> t = e.owner.trace(na + nd + 50);
        for (int k = 0; k < na; ++k)
            ASSERT_NEAR(t[k], static_cast<float>(k) / na, 1e-4f) << k;
        for (int k = 0; k < nd; ++k)
            ASSERT_NEAR(t[na + k], 1.0f - 0.5f * k / nd, 1e-4f) << k;
        for (int k = na + nd; k < na + nd + 50; ++k)
            ASSERT_NEAR(t[k], 0.5f, 1e-4f) << k;
        EXPECT_EQ(e.mod.stage, E::phSustain);

        e.release();
        EXPECT_EQ(e.owner.remaining, nr);
        const std::vector<float> r = e.owner.trace(nr);
        for (int k = 0; k < nr; ++k)
            ASSERT_NEAR(r[k], 0.5f - 0.5f * k / nr, 1e-4f) << k;
        EXPECT_TRUE(e.mod.isFinished());
        EXPECT_EQ(e.owner.value, 0.0f);
        EXPECT_EQ(e.owner.remaining, ModHoldSteps);
    }
}

TEST(EnvADSFR, ReleaseFromTheAttackKeepsItsSlope)
{
    for (float rate : Rates) {
        SCOPED_TRACE(rate);
        const int full = static_cast<int>(rate / 8.0f); // 1 s in steps
        AdsrRig e(rate);
        e.adsr(1000, 1000, 800, 0, 1000);
        e.start();
        e.owner.run(full / 2);
        ASSERT_NEAR(e.owner.value, 0.5f, 1e-3f);
        e.release();
        EXPECT_TRUE(e.mod.releaseFromAttack);
        // No jump, the slope of a full 1-to-0 release, and half its length.
        EXPECT_NEAR(e.owner.value, 0.5f, 1e-3f);
        EXPECT_NEAR(e.owner.increment, -1.0f / full, 1e-7f);
        EXPECT_NEAR(e.owner.remaining, full / 2, 1);
        e.owner.run(e.owner.remaining);
        EXPECT_TRUE(e.mod.isFinished());
    }
}

TEST(EnvADSFR, CurvedReleaseFromTheAttackEntersTheCurveAtTheLevel)
{
    AdsrRig e;
    e.adsr(1000, 1000, 800, 0, 1000);
    e.para(E::pLogDecay, 1);
    e.start();
    while (e.owner.value < 0.5f)
        e.owner.step();
    const float level = e.owner.value;
    e.release();
    EXPECT_FLOAT_EQ(e.owner.value, level);
    float last = e.owner.value;
    long long steps = 0;
    while (!e.mod.isFinished() && steps < 10000) {
        e.owner.step();
        ++steps;
        // Falling all the way; the shortened entry piece may overshoot the
        // curve by part of a step, which the finish then sets back to 0.
        if (!e.mod.isFinished()) {
            ASSERT_LE(e.owner.value, last + 1e-6f);
        }
        ASSERT_GT(e.owner.value, -1e-3f);
        last = e.owner.value;
    }
    EXPECT_TRUE(e.mod.isFinished());
    // Shorter than a full release: it entered part-way.
    EXPECT_LT(steps, 5512);
}

TEST(EnvADSFR, SustainAndFall)
{
    struct Case
    {
        const char* what;
        int sustain;
        int fall;
        long long steps; // of the sustain phase (0: it finishes as it begins)
        float end;
        bool finished;
    };
    const Case cases[] = {
        {"rises to 1 in 0.01 s", 300, 1000, 55, 1.0f, false},
        {"falls to 0 in 10 s, then finishes", 300, -1, 55125, 0.0f, true},
        {"no fall holds the sustain level", 300, 0, static_cast<long long>(99999.0f * 5512.5f), 0.3f, false},
        {"sustain 0 without fall finishes as the sustain begins", 0, 0, 0, 0.0f, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AdsrRig e;
        e.adsr(1, 1, c.sustain, c.fall, 10);
        e.start();
        e.owner.run(5 + 5); // attack and decay, 5 steps each
        if (c.steps == 0) {
            EXPECT_TRUE(e.mod.isFinished());
            EXPECT_EQ(e.mod.stage, E::phFinished);
            EXPECT_EQ(e.owner.value, 0.0f);
            EXPECT_EQ(e.owner.remaining, ModHoldSteps);
            continue;
        }
        ASSERT_EQ(e.mod.stage, E::phSustain);
        EXPECT_EQ(e.owner.remaining, c.steps);
        if (c.steps < 1000000)
            e.owner.run(c.steps);
        else
            e.owner.run(1000);
        EXPECT_NEAR(e.owner.value, c.end, 1e-4f);
        EXPECT_EQ(e.mod.isFinished(), c.finished);
    }
}

// A long ramp down to 0 must end on 0 and finish, whatever its length and
// the rate: a value summed from float increments ends some 1e-4..1e-3 away
// from its target and would otherwise hold the voice for as long as the key
// is down. Every phase also starts exactly where the one before it aimed.
TEST(EnvADSFR, LongRampsEndOnTheirTargetAndFinish)
{
    struct Case
    {
        const char* what;
        int decayMs;
        int sustain; // thousandths
        int fall;    // hundredths
    };
    std::vector<Case> cases;
    for (int sustain = 100; sustain <= 1000; sustain += 100)
        for (int fall : {-1, -250, -500, -999})
            cases.push_back({"fall to 0", 1, sustain, fall});
    for (int decayMs : {3000, 7000, 10000})
        cases.push_back({"linear decay to a sustain of 0", decayMs, 0, 0});

    for (float rate : Rates) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.what << " rate " << rate << " decay " << c.decayMs
                                            << " ms sustain " << c.sustain << " fall " << c.fall);
            AdsrRig e(rate);
            e.adsr(1, c.decayMs, c.sustain, c.fall, 10);
            e.start();
            e.owner.runSegment(); // attack
            EXPECT_EQ(e.owner.value, 1.0f);
            e.owner.runSegment(); // decay
            if (c.fall != 0) {
                ASSERT_EQ(e.mod.stage, E::phSustain);
                EXPECT_EQ(e.owner.value, e.mod.getParaFl(0, E::pSLevel));
                e.owner.runSegment(); // the fall
            }
            EXPECT_TRUE(e.mod.isFinished());
            EXPECT_EQ(e.owner.value, 0.0f);
        }
    }
}

TEST(EnvADSFR, SyncedRiseFromSustainZeroIsNotCutOff)
{
    TempoGuard tempo;
    tempo.set(120.0);
    AdsrRig e;
    e.adsr(1, 1, 0, 0, 10);
    e.para(E::pSync, 1);
    e.para(E::pASync, 0); // one step each
    e.para(E::pDSync, 0);
    e.para(E::pFSync, 100); // rises to 1 in a sixteenth
    e.start();
    e.owner.run(2);
    ASSERT_EQ(e.mod.stage, E::phSustain);
    EXPECT_FALSE(e.mod.isFinished());
    e.owner.run(e.owner.remaining);
    EXPECT_NEAR(e.owner.value, 1.0f, 1e-4f);
}

TEST(EnvADSFR, CurvedPhasesFollowThePowerCurve)
{
    for (float rate : Rates) {
        SCOPED_TRACE(rate);
        AdsrRig e(rate);
        e.adsr(100, 100, 500, 0, 10);
        e.para(E::pLogDecay, 1);
        e.start();
        const int steps = static_cast<int>(0.1f * (rate / 8.0f));
        const int unit = static_cast<int>(rate / 8.0f * 0.0125);
        const int n = std::clamp(static_cast<int>(static_cast<double>(steps) / unit + 0.5), 1, EnvMaxSubPhases);
        ASSERT_EQ(e.mod.subPhaseCount, n);
        // Golden trace: at the end of each piece the value lies on the curve
        // f(t) = 1 - (1 - t)^(1 / 0.71) ("A c" 0.71: fast start, slow end).
        double t = 0.0;
        int total = 0;
        for (int k = 0; k < n; ++k) {
            total += e.owner.runSegment();
            t = (k + 1) * (0.999999 / n);
            ASSERT_NEAR(e.owner.value, 1.0 - std::pow(1.0 - t, 1.0 / 0.71), 1e-4) << k;
        }
        EXPECT_EQ(total, steps);
        EXPECT_EQ(e.mod.stage, E::phDecay);
    }
}

TEST(EnvADSFR, CurvedPhaseWithASmallDifferenceIsOneSegment)
{
    AdsrRig e;
    e.adsr(100, 500, 990, 0, 10);
    e.para(E::pLogDecay, 1);
    e.start();
    e.owner.run(e.owner.remaining);
    while (e.mod.stage == E::phAttack)
        e.owner.step();
    ASSERT_EQ(e.mod.stage, E::phDecay);
    EXPECT_EQ(e.mod.subPhaseCount, 1);
    EXPECT_EQ(e.owner.remaining, 2756);
}

TEST(EnvADSFR, EntryIntoACurveOutsideItsRange)
{
    AdsrRig e;
    e.adsr(100, 100, 500, 0, 100);
    e.para(E::pLogDecay, 1);
    e.start();
    while (e.mod.stage == E::phAttack)
        e.owner.step();
    // The decay curve runs 1 -> 0.5; a level below it is held there for one
    // step, and then what follows the curve comes.
    e.mod.gotoPosInSubPhases(1.0f, 0.2f);
    EXPECT_FLOAT_EQ(e.owner.value, 0.2f);
    EXPECT_EQ(e.owner.remaining, 1);
    EXPECT_EQ(e.owner.increment, 0.0f);
    e.owner.step();
    EXPECT_EQ(e.mod.stage, E::phSustain);
}

TEST(EnvADSFR, QuickFadeOutEndsTheEnvelope)
{
    struct Case
    {
        const char* what;
        int attackMs;
        int curved;
    };
    // A fade in the middle of a curved attack must not go on with the
    // attack's remaining pieces when it ends.
    for (const Case c : {Case{"linear, in the sustain", 10, 0}, Case{"curved, in the attack", 1000, 1}}) {
        SCOPED_TRACE(c.what);
        AdsrRig e;
        e.adsr(c.attackMs, 10, 800, 0, 1000);
        e.para(E::pLogDecay, c.curved);
        e.start();
        e.owner.run(100);
        if (c.curved) {
            ASSERT_EQ(e.mod.stage, E::phAttack);
            ASSERT_GT(e.mod.subPhaseCount, 1);
        }
        e.mod.quickFadeOut();
        EXPECT_EQ(e.owner.remaining, 28);
        e.owner.run(28);
        EXPECT_TRUE(e.mod.isFinished());
        EXPECT_EQ(e.owner.value, 0.0f);
        e.owner.run(1000);
        EXPECT_EQ(e.owner.value, 0.0f) << "and stays silent";
        // A note-off on a finished envelope only keeps it holding.
        e.release();
        EXPECT_EQ(e.owner.remaining, ModHoldSteps);
        EXPECT_TRUE(e.mod.isFinished());
    }
}

TEST(EnvADSFR, LegatoAndKeepContinue)
{
    AdsrRig e;
    e.adsr(10, 10, 800, 0, 1000);
    e.start();
    e.owner.run(200);
    ASSERT_EQ(e.mod.stage, E::phSustain);
    e.start(64, 100, true, true); // keep and legato: nothing restarts
    EXPECT_EQ(e.mod.stage, E::phSustain);
    EXPECT_NEAR(e.owner.value, 0.8f, 1e-4f);
    e.start(64, 100, true, false); // keep: the attack starts from the level
    EXPECT_EQ(e.mod.stage, E::phAttack);
    EXPECT_NEAR(e.owner.value, 0.8f, 1e-4f);
    EXPECT_NEAR(e.owner.increment * e.owner.remaining, 0.2f, 1e-4f);
}

TEST(EnvADSFR, NothingRunsWithoutSlotsOrParameters)
{
    EnvADSFR_c bare;
    bare.prepProc(0, note(60), false, false);
    bare.gotoPhase(1);
    bare.goNextPhase();
    bare.NoteOff(0, note(60));
    bare.finishEnvADSFR();
    EXPECT_EQ(bare.getPhaseLength(0), 0);

    // Slots without parameters: the envelope can only finish.
    EnvADSFR_c noPara;
    noPara.setSampleRate(44100.0f);
    SlotOwner o;
    o.bind(noPara);
    noPara.gotoPhase(0);
    EXPECT_TRUE(noPara.isFinished());
    EXPECT_EQ(o.remaining, ModHoldSteps);

    // Slots and parameters before a sample rate is known: every phase still
    // takes a step and the value stays a number.
    ParaSet_c* set = nullptr;
    EnvADSFR_c noRate;
    ASSERT_TRUE(noRate.getParaSetPtr(&set, 1));
    SlotOwner r;
    r.bind(noRate);
    noRate.prepProc(0, note(60), false, false);
    r.run(10);
    EXPECT_TRUE(std::isfinite(r.value));
    EXPECT_TRUE(std::isfinite(r.increment));
    EXPECT_GE(r.shortestSegment, 1);
}

// ---------------------------------------------------------------------------
// EnvDAD_c

TEST(EnvDAD, DelayAttackDecayTrace)
{
    for (float rate : Rates) {
        SCOPED_TRACE(rate);
        const float cr = rate / 8.0f;
        const int nDelay = static_cast<int>(cr * 0.01f);
        const int nAttack = static_cast<int>(cr * 0.02f);
        const int nDecay = static_cast<int>(cr * 0.04f);
        Rig<EnvDAD_c> e(rate);
        e.para(EnvDAD_c::pDelayTime, 10);
        e.para(EnvDAD_c::pAttackTime, 20);
        e.para(EnvDAD_c::pDecayTime, 40);
        e.start();
        const std::vector<float> t = e.owner.trace(nDelay + nAttack + nDecay);
        for (int k = 0; k < nDelay; ++k)
            ASSERT_EQ(t[k], 0.0f) << k;
        for (int k = 0; k < nAttack; ++k)
            ASSERT_NEAR(t[nDelay + k], static_cast<float>(k) / nAttack, 1e-4f) << k;
        for (int k = 0; k < nDecay; ++k)
            ASSERT_NEAR(t[nDelay + nAttack + k], 1.0f - static_cast<float>(k) / nDecay, 1e-4f) << k;
        EXPECT_TRUE(e.mod.isFinished());
        EXPECT_EQ(e.owner.value, 0.0f);
        EXPECT_EQ(e.owner.remaining, ModHoldSteps);
    }
}

TEST(EnvDAD, InfiniteDecayHoldsAtTheTop)
{
    Rig<EnvDAD_c> e;
    // Defaults: no delay, no attack, infinite decay.
    e.start();
    EXPECT_EQ(e.owner.remaining, 1); // a delay of 0 s is one step
    e.owner.step();
    EXPECT_EQ(e.mod.stage, EnvDAD_c::phAttack);
    EXPECT_EQ(e.owner.remaining, 1);
    e.owner.step();
    EXPECT_EQ(e.mod.stage, EnvDAD_c::phDecay);
    EXPECT_FLOAT_EQ(e.owner.value, 1.0f);
    EXPECT_EQ(e.owner.remaining, ModHoldSteps);
    e.owner.run(100000);
    EXPECT_NEAR(e.owner.value, 1.0f, 1e-4f);
    EXPECT_FALSE(e.mod.isFinished());
}

// Every segment any envelope writes lasts at least one step, however short
// the times and however low the rate, so an owner always moves on.
TEST(Envelopes, EverySegmentMakesProgress)
{
    for (float rate : {8.0f, 400.0f, 44100.0f, 192000.0f}) {
        for (int curved : {0, 1}) {
            SCOPED_TRACE(rate);
            AdsrRig e(rate);
            e.adsr(1, 1, 0, -1000, 1);
            e.para(E::pLogDecay, curved);
            e.start();
            e.owner.run(1000);
            e.release();
            e.owner.run(1000);
            EXPECT_TRUE(e.mod.isFinished());
            EXPECT_GE(e.owner.shortestSegment, 1);

            Rig<EnvDAD_c> d(rate);
            d.para(EnvDAD_c::pDecayTime, 1);
            d.start();
            d.owner.run(1000);
            EXPECT_TRUE(d.mod.isFinished());
            EXPECT_GE(d.owner.shortestSegment, 1);
        }
    }
}

TEST(Envelopes, ParametersAsDefined)
{
    AdsrRig e;
    char name[ParaNameBufferBytes];
    const char* names[] = {"Version", "A Time", "D Time", "S Level", "F Time",     "R Time", "Pitch Scal",
                           "Veloc.Scal", "Velocity Attack", "Log Decay", "A c", "D c", "F c", "R c",
                           "Sync", "ASync", "DSync", "FSync", "RSync"};
    for (int i = 0; i < E::ParaCount; ++i) {
        e.mod.getParaName(0, i, name);
        EXPECT_STREQ(name, names[i]) << i;
    }
    EXPECT_FLOAT_EQ(e.mod.getParaFl(0, E::pACurve), 0.71f);
    EXPECT_FLOAT_EQ(e.mod.getParaFl(0, E::pSLevel), 1.0f);
    EXPECT_TRUE(e.mod.getParaOn(0, E::pVelocityAttack));
    EXPECT_EQ(e.mod.getTypeCode(), 'M' << 24 | 'E' << 16 | '0' << 8 | '3');

    Rig<EnvDAD_c> d;
    EXPECT_EQ(d.mod.getParaVal(0, EnvDAD_c::pDecayTime), 10001);
    EXPECT_TRUE(d.mod.getParaPtr(0, EnvDAD_c::pDecayTime)->getInfinite());
    EXPECT_EQ(d.mod.getTypeCode(), 'M' << 24 | 'E' << 16 | '0' << 8 | '6');
}

} // namespace
