#include "LFO.h"
#include "ModulatorRig.h"
#include "Synth.h"
#include "TempoSync.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace modtest;

namespace {

using L = LFOSimp_c;

struct LfoRig : Rig<LFOSimp_c>
{
    // A free-running LFO (no tempo sync) of the waveform at hz.
    LfoRig(int waveform, int centiHz, float rate = 44100.0f) : Rig(rate)
    {
        para(L::pWaveform, waveform);
        para(L::pFrequency, centiHz);
    }
    // Steps through segments until the segment index comes back to 0; the
    // cycle's length in control steps.
    int cycle()
    {
        int steps = 0;
        do
            steps += owner.runSegment();
        while (mod.stage != 0);
        return steps;
    }
};

float byteLevel(uint8_t b)
{
    return static_cast<float>(b) / 255.0f * 2.0f - 1.0f;
}

TEST(LFOSimp, SineCycleAt1Hz)
{
    struct Case
    {
        float rate;
        int firstSegment;
        int pair; // two cycles
    };
    // 10 % of 5512.5 steps is 551.25: the carry makes each cycle 5512 or
    // 5513 steps and two of them exactly 11025.
    const Case cases[] = {{44100.0f, 551, 11025}, {48000.0f, 600, 12000}, {96000.0f, 1200, 24000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        LfoRig l(L::wfSine, 100, c.rate);
        l.start();
        EXPECT_EQ(l.owner.remaining, c.firstSegment);
        EXPECT_EQ(l.owner.value, 0.0f);
        const int a = l.cycle();
        const int b = l.cycle();
        EXPECT_EQ(a + b, c.pair);
        EXPECT_LE(std::abs(a - b), 1);
    }
}

TEST(LFOSimp, SineTraceMeetsItsSegmentLevels)
{
    for (float rate : Rates) {
        SCOPED_TRACE(rate);
        LfoRig l(L::wfSine, 100, rate);
        l.start();
        for (int k = 0; k < L::segmentCounts[L::wfSine]; ++k) {
            l.owner.runSegment();
            ASSERT_NEAR(l.owner.value, L::waveforms[L::wfSine][k].level * 0.02f, 1e-4f) << k;
        }
    }
}

TEST(LFOSimp, SymmetryQuarterSqueezesTheFirstHalf)
{
    LfoRig l(L::wfTriangle, 100);
    l.para(L::pSymmetry, 25);
    l.start();
    std::vector<int> lengths;
    std::vector<float> levels;
    for (int k = 0; k < 4; ++k) {
        lengths.push_back(l.owner.runSegment());
        levels.push_back(l.owner.value);
    }
    EXPECT_NEAR(lengths[0] + lengths[1], 0.25 * 5512.5, 1.0);
    EXPECT_NEAR(lengths[2] + lengths[3], 0.75 * 5512.5, 1.0);
    const float expected[] = {1.0f, 0.0f, -1.0f, 0.0f};
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(levels[k], expected[k], 1e-4f) << k;
}

TEST(LFOSimp, SquareHoldsAndSawtoothFalls)
{
    LfoRig sq(L::wfSquare, 100, 48000.0f);
    sq.start();
    const std::vector<float> t = sq.owner.trace(6000);
    for (int k = 0; k < 3000; ++k)
        ASSERT_EQ(t[k], 1.0f) << k;
    for (int k = 3000; k < 6000; ++k)
        ASSERT_EQ(t[k], -1.0f) << k;
    EXPECT_EQ(sq.owner.value, 1.0f); // the next cycle jumps up again

    LfoRig saw(L::wfSawtooth, 100, 48000.0f);
    saw.start();
    const std::vector<float> s = saw.owner.trace(6000);
    for (int k = 0; k < 6000; k += 500)
        ASSERT_NEAR(s[k], 1.0f - k / 3000.0f, 1e-4f) << k;
}

TEST(LFOSimp, RateFromTheTempoOrInHz)
{
    TempoGuard tempo;
    struct Case
    {
        const char* what;
        double bpm;
        int notes;
        double hz;
    };
    const Case cases[] = {
        {"off: the Hz", 120.0, NoteValueCodeOff, 1.0},
        {"1/4 at 120 BPM", 120.0, 7, 2.0},
        {"1/16 at 120 BPM", 120.0, 13, 8.0},
        {"1/1T at 60 BPM", 60.0, 2, 1.0 / (2.6666f * 60.0f / 60.0)},
        {"a host at 5 BPM is not followed", 5.0, 7, 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tempo.set(c.bpm);
        LfoRig l(L::wfTriangle, 100);
        l.para(L::pNotes, c.notes);
        EXPECT_NEAR(l.mod.getFrequency(l.mod.getRenderParaPtr(0)), c.hz, 1e-9);
        EXPECT_NEAR(l.mod.getSyncStepUp(0), c.hz / 5512.5, 1e-12);
    }
    // A stored code outside the table counts as one quarter note.
    tempo.set(120.0);
    LfoRig l(L::wfTriangle, 100);
    l.mod.getParaPtr(0, L::pNotes)->setValue(40);
    EXPECT_DOUBLE_EQ(l.mod.getFrequency(l.mod.getRenderParaPtr(0)), 2.0);
    // Noise and S&H: a whole phase is the 256-value table, 8 values a cycle.
    l.para(L::pNotes, NoteValueCodeOff);
    l.para(L::pWaveform, L::wfNoise);
    EXPECT_DOUBLE_EQ(l.mod.getSyncStepUp(0), 1.0 / 5512.5 * 8.0 / 256.0);
    EXPECT_EQ(l.mod.getSyncStepUp(3), 0.0); // no such set
}

TEST(LFOSimp, SyncPhaseOnATriangle)
{
    struct Case
    {
        double phase;
        int stage;
        float value;
        int remaining;
    };
    // Phase 0.5 lands at the end of the second segment: value 0, one step
    // left, and the falling third segment follows.
    const Case cases[] = {{0.5, 1, 0.0f, 1}, {0.25, 0, 1.0f, 1}, {0.1, 0, 0.4f, 826}, {-3.0, 0, 0.0f, 1378},
                          {7.0, 3, 0.0f, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.phase);
        LfoRig l(L::wfTriangle, 100);
        l.start();
        l.mod.carry = 0.0f;
        l.mod.setSyncPhase(c.phase);
        EXPECT_EQ(l.mod.stage, c.stage);
        EXPECT_NEAR(l.owner.value, c.value, 1e-5f);
        EXPECT_EQ(l.owner.remaining, c.remaining);
        const float end = L::waveforms[L::wfTriangle][c.stage].level * 0.02f;
        EXPECT_NEAR(l.owner.value + l.owner.increment * l.owner.remaining, end, 1e-4f);
    }
    LfoRig l(L::wfTriangle, 100);
    l.start();
    l.mod.setSyncPhase(0.5);
    l.owner.step();
    EXPECT_EQ(l.mod.stage, 2);
    EXPECT_LT(l.owner.increment, 0.0f);
}

TEST(LFOSimp, NoiseAndSampleHoldRepeatWithASeed)
{
    for (int wf : {L::wfNoise, L::wfSampleHold}) {
        SCOPED_TRACE(wf);
        LfoRig a(wf, 100), b(wf, 100), c(wf, 100);
        a.mod.setRandomSeed(1234);
        b.mod.setRandomSeed(1234);
        c.mod.setRandomSeed(99);
        a.start();
        b.start();
        c.start();
        const std::vector<float> ta = a.owner.trace(689 * 20);
        EXPECT_EQ(ta, b.owner.trace(689 * 20));
        EXPECT_NE(ta, c.owner.trace(689 * 20));
        for (float v : ta)
            ASSERT_TRUE(v >= -1.0001f && v <= 1.0001f) << v;
        // Eight values per cycle: every 689 steps at 1 Hz, 44.1 kHz, each
        // the next one of the table. Noise has reached value k - 1 at step
        // k x 689; sample-and-hold has just jumped to value k. 20 values have
        // started, so the current index is that of value 20.
        const int sh = wf == L::wfSampleHold ? 1 : 0;
        for (int k = 1; k < 20; ++k) {
            const int idx = (a.mod.stage - 21 + k + sh + 256) & 255;
            EXPECT_NEAR(ta[static_cast<size_t>(k) * 689], byteLevel(a.mod.getRandomByte(idx)), 2e-4f) << k;
        }
        if (wf == L::wfSampleHold) {
            for (int k = 0; k < 689; ++k)
                ASSERT_EQ(ta[689 + static_cast<size_t>(k)], ta[689]) << k;
        }
    }
}

TEST(LFOSimp, NoiseStaysInsideItsTable)
{
    for (int wf : {L::wfNoise, L::wfSampleHold}) {
        SCOPED_TRACE(wf);
        LfoRig l(wf, 100);
        l.mod.setRandomSeed(7);
        l.start();
        // Phase 1.0: the value after the last one is the first one.
        l.mod.setSyncPhase(1.0);
        EXPECT_EQ(l.mod.stage, 0);
        EXPECT_NEAR(l.owner.value, byteLevel(l.mod.getRandomByte(0)), 1e-6f);
        EXPECT_EQ(l.owner.remaining, 1);
        // Whatever index was left behind (a quick fade-out leaves 99), the
        // next value comes from inside the table.
        for (int left : {255, 300, -7, 99, 1 << 30}) {
            l.mod.stage = left;
            l.mod.goNextPhase();
            EXPECT_GE(l.mod.stage, 0);
            EXPECT_LT(l.mod.stage, LFONoiseTableSize);
            EXPECT_EQ(l.mod.subStage, byteLevel(l.mod.getRandomByte(l.mod.stage)));
        }
    }
}

TEST(LFOSimp, UpdateSpeedKeepsTheSegmentEnd)
{
    LfoRig l(L::wfTriangle, 100);
    l.start();
    l.owner.run(378);
    ASSERT_EQ(l.owner.remaining, 1000);
    const float end = l.owner.value + l.owner.increment * l.owner.remaining;
    l.mod.updateSpeed(0.5f); // twice as fast
    EXPECT_EQ(l.owner.remaining, 500);
    EXPECT_NEAR(l.owner.value + l.owner.increment * l.owner.remaining, end, 1e-5f);
    l.mod.updateSpeed(0.5f); // unchanged: nothing moves
    EXPECT_EQ(l.owner.remaining, 500);
    l.owner.runSegment();
    EXPECT_NEAR(l.owner.remaining, 0.25 * 5512.5 / 2, 1.0);
    l.mod.updateSpeed(std::nanf("")); // refused
    EXPECT_EQ(l.mod.speedOffset, 0.5f);
}

TEST(LFOSimp, ExtremeSpeedsStillMakeProgress)
{
    for (int wf = 0; wf < LFOWaveformCount; ++wf) {
        SCOPED_TRACE(wf);
        // So fast that no segment gets a step: the cycle waits and looks
        // again instead of spinning.
        LfoRig fast(wf, 3200, 8000.0f);
        fast.mod.speedOffset = 12.0f;
        fast.start();
        fast.owner.run(1000);
        EXPECT_GE(fast.owner.shortestSegment, 1);
        // So slow that a segment is longer than an int holds: the hold count.
        LfoRig slow(wf, 1, 192000.0f);
        slow.mod.speedOffset = -20.0f;
        slow.start();
        EXPECT_GE(slow.owner.remaining, 1);
        EXPECT_LE(slow.owner.remaining, ModHoldSteps);
    }
    LfoRig held(L::wfSine, 3200, 8000.0f);
    held.mod.speedOffset = 12.0f;
    held.start();
    EXPECT_EQ(held.owner.remaining, 8);
    EXPECT_EQ(held.owner.increment, 0.0f);
}

TEST(LFOSimp, SwitchingSyncOffTurnsTempoSyncOff)
{
    LfoRig l(L::wfTriangle, 100);
    l.para(L::pNotes, 7);
    l.mod.setParaOn(0, L::pSync, false);
    EXPECT_EQ(l.mod.getParaVal(0, L::pNotes), NoteValueCodeOff);
    EXPECT_TRUE(l.mod.getParaOn(0, L::pSync));
    // Sets that do not exist are left alone.
    l.mod.postprocessParaChange(5, -1);
}

TEST(LFOSimp, NothingRunsWithoutSlotsOrParameters)
{
    LFOSimp_c bare;
    bare.prepProc(0, note(60), false, false);
    bare.goNextPhase();
    bare.setSyncPhase(0.3);
    bare.updateSpeed(1.0f);
    EXPECT_EQ(bare.getSyncStepUp(0), 0.0);

    LFOSimp_c noPara;
    noPara.setSampleRate(44100.0f);
    SlotOwner o;
    o.bind(noPara);
    noPara.goNextPhase();
    EXPECT_EQ(o.remaining, ModHoldSteps);
}

TEST(LFOSimp, ParametersAsDefined)
{
    LfoRig l(L::wfTriangle, 100);
    char text[ParaTextBufferBytes];
    l.mod.getParaCharPtr(0, L::pNotes, text);
    Parameter_c* notes = l.mod.getParaPtr(0, L::pNotes);
    char item[8];
    notes->getEnuVal(item);
    EXPECT_STREQ(item, "Off  ");
    notes->setVal(7);
    notes->getEnuVal(item);
    EXPECT_STREQ(item, " 1/4 ");
    notes->setVal(26);
    notes->getEnuVal(item);
    EXPECT_STREQ(item, "15/16");
    EXPECT_EQ(l.mod.getEnuIdx(0, L::pWaveform, "Sam&Ho"), 5);
    EXPECT_FLOAT_EQ(l.mod.getParaFl(0, L::pSymmetry), 0.5f);
    EXPECT_EQ(l.mod.getTypeCode(), 'M' << 24 | 'L' << 16 | '0' << 8 | '2');
}

// ---------------------------------------------------------------------------
// AdvLFO_c

struct AdvRig : Rig<AdvLFO_c>
{
    explicit AdvRig(float rate = 44100.0f) : Rig(rate)
    {
        para(AdvLFO_c::pNotes, NoteValueCodeOff);
        para(AdvLFO_c::pFrequency, 100);
    }
};

TEST(AdvLFO, WithoutDelayAndAttackItIsTheLFO)
{
    for (float rate : Rates) {
        SCOPED_TRACE(rate);
        AdvRig adv(rate);
        LfoRig ref(L::wfTriangle, 100, rate);
        adv.start();
        ref.start();
        ref.mod.setSyncPhase(0.0); // as the note start of AdvLFO_c does
        const std::vector<float> a = adv.owner.trace(20000);
        const std::vector<float> r = ref.owner.trace(20000);
        // Delay and attack take one step each; from the third step on the
        // envelope holds at 1.
        EXPECT_EQ(a[0], 0.0f);
        for (size_t k = 2; k < a.size(); ++k)
            ASSERT_NEAR(a[k], r[k], 1e-4f) << k;
        EXPECT_GE(adv.owner.shortestSegment, 1);
    }
}

// A quick fade-out writes a segment of its own; when it ends the LFO has run
// on by the fade's steps, not by the length of the segment the fade cut.
TEST(AdvLFO, AfterAQuickFadeOutTheLFOHasRunOnByTheFadesSteps)
{
    for (int before : {300, 1500}) {
        SCOPED_TRACE(before);
        AdvRig adv;
        LfoRig ref(L::wfTriangle, 100);
        adv.start();
        ref.start();
        ref.mod.setSyncPhase(0.0); // as the note start of AdvLFO_c does
        adv.owner.run(before);
        ref.owner.run(before);
        adv.mod.quickFadeOut();
        const int n = adv.owner.remaining;
        ASSERT_EQ(n, 28);
        adv.owner.run(n);
        ref.owner.run(n);
        EXPECT_NEAR(adv.owner.value, ref.owner.value, 1e-4f);
        EXPECT_NEAR(adv.mod.lfoValue, ref.owner.value, 1e-4f);
    }
}

TEST(AdvLFO, DelayAndAttackShapeTheLFO)
{
    AdvRig adv;
    adv.para(AdvLFO_c::pWaveform, L::wfSquare);
    adv.para(AdvLFO_c::pDelay, 100);  // 551 steps
    adv.para(AdvLFO_c::pAttack, 100); // 551 steps
    adv.start();
    const std::vector<float> t = adv.owner.trace(1500);
    for (int k = 0; k < 551; ++k)
        ASSERT_EQ(t[k], 0.0f) << k;
    for (int k = 551; k < 1102; k += 50)
        ASSERT_NEAR(t[k], (k - 551) / 551.0f, 2e-3f) << k;
    for (int k = 1102; k < 1500; ++k)
        ASSERT_NEAR(t[k], 1.0f, 1e-4f) << k;
}

TEST(AdvLFO, ParametersReachTheEmbeddedPartsOfEveryInstance)
{
    ParaSet_c* set = nullptr;
    AdvLFO_c a, b;
    ASSERT_TRUE(a.getParaSetPtr(&set, 2));
    ASSERT_TRUE(b.getParaSetPtr(&set, 2));
    EXPECT_EQ(a.lfo.getParaSet(), b.lfo.getParaSet());
    EXPECT_EQ(a.env.getParaSet(), b.env.getParaSet());
    EXPECT_NE(a.lfo.getParaSet(), nullptr);
    // From the start the embedded sets show the outer values.
    for (int s = 0; s < 2; ++s) {
        EXPECT_EQ(a.lfo.getParaVal(s, L::pNotes), 7);
        EXPECT_EQ(a.env.getParaVal(s, EnvDAD_c::pDecayTime), 10001);
    }
    a.setParaVal(1, AdvLFO_c::pFrequency, 250);
    a.setParaVal(1, AdvLFO_c::pWaveform, L::wfSquare);
    a.setParaVal(1, AdvLFO_c::pSymmetry, 30);
    a.setParaVal(1, AdvLFO_c::pAttack, 1500);
    EXPECT_EQ(b.lfo.getParaVal(1, L::pFrequency), 250);
    EXPECT_EQ(b.lfo.getParaVal(1, L::pWaveform), L::wfSquare);
    EXPECT_EQ(b.lfo.getParaVal(1, L::pSymmetry), 30);
    EXPECT_EQ(b.env.getParaVal(1, EnvDAD_c::pAttackTime), 1500);
    EXPECT_EQ(b.lfo.getParaVal(0, L::pFrequency), 100); // the other set kept its value
    // "Sync" off: tempo sync off, in the embedded LFO too.
    a.setParaOn(1, AdvLFO_c::pSync, false);
    EXPECT_EQ(a.getParaVal(1, AdvLFO_c::pNotes), NoteValueCodeOff);
    EXPECT_EQ(b.lfo.getParaVal(1, L::pNotes), NoteValueCodeOff);
    EXPECT_TRUE(b.lfo.getParaOn(1, L::pSync));

    // A slot holding a set this class did not build is refused.
    ParaSet_c* foreign = new ParaSet_c(TypeCodeAdvLFO, 1, AdvLFO_c::ParaCount);
    AdvLFO_c c;
    EXPECT_FALSE(c.getParaSetPtr(&foreign, 1));
    delete foreign;
}

TEST(AdvLFO, SharedPhaseHoldsTheEnvelopeOpen)
{
    AdvRig adv;
    adv.para(AdvLFO_c::pDelay, 1000);
    adv.start();
    EXPECT_EQ(adv.owner.value, 0.0f);
    adv.mod.setSyncPhase(0.25);
    EXPECT_FLOAT_EQ(adv.mod.envValue, 1.0f);
    EXPECT_EQ(adv.mod.envRemaining, ModHoldSteps);
    EXPECT_NEAR(adv.owner.value, 1.0f, 1e-5f); // the triangle's top
}

TEST(AdvLFO, PhaseAndSpeed)
{
    AdvRig adv;
    adv.para(AdvLFO_c::pPhase, 50); // start half-way
    adv.start();
    EXPECT_EQ(adv.mod.lfo.stage, 1);
    adv.owner.run(10);
    adv.mod.updateSpeed(0.5f);
    EXPECT_EQ(adv.mod.speedOffset, 0.5f);
    EXPECT_EQ(adv.mod.lfo.speedOffset, 0.5f);
    // The voice stores a new speed before a segment ends; the LFO takes it.
    adv.mod.speedOffset = -0.5f;
    adv.owner.run(20000);
    EXPECT_EQ(adv.mod.lfo.speedOffset, -0.5f);
    EXPECT_GE(adv.owner.shortestSegment, 1);

    adv.mod.quickFadeOut();
    const int n = adv.owner.remaining;
    EXPECT_EQ(n, 28);
    adv.owner.run(n - 1);
    EXPECT_NEAR(adv.owner.value, 0.0f, 0.05f);
}

} // namespace
