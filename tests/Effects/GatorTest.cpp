// The gator: parameters, step lengths on the host tempo, the patterns
// gating each channel, the link modes, alignment to the host's bar, an hour
// of free running and readiness. The checks every effect type passes are in
// AllEffectsTest.
#include "FxKinds.h"
#include "FxMeasure1.h"
#include "Gator.h"
#include "Instrument.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace fxtest;

namespace {

// An instrument whose host bar position the test sets.
class HostBar : public Instrument_c
{
public:
    HostBar() : Instrument_c(2) {}
    bool getPosInBar(int* samplesPerBar, int* pos) override
    {
        if (!playing)
            return false;
        *samplesPerBar = barLength;
        *pos = position;
        return true;
    }
    bool playing = true;
    int barLength = 88200; // a 4/4 bar at 120 BPM and 44100 Hz
    int position = 0;
};

std::string text(const Part_c& p, int idx)
{
    char buf[ParaTextBufferBytes] = {};
    p.getParaCharPtr(0, idx, buf);
    return buf;
}

TEST(Gator, ParametersAndClassAnswers)
{
    auto rig = makeRig(gatorKind(), 44100.0f);
    auto& fx = static_cast<Gator_c&>(*rig->fx);
    EXPECT_EQ(text(fx, Gator_c::pPatternA), "1010101010101010");
    EXPECT_EQ(text(fx, Gator_c::pPatternB), "0101010101010101");
    char name[ParaNameBufferBytes] = {};
    fx.getParaName(0, Gator_c::pPatternB, name);
    EXPECT_STREQ(name, "Step On/Off");
    EXPECT_EQ(fx.getParaVal(0, Gator_c::pNotes), 13);
    EXPECT_EQ(fx.getParaVal(0, Gator_c::pSmooth), 5);
    EXPECT_EQ(fx.getParaVal(0, Gator_c::pWet), 100);
    EXPECT_EQ(fx.getTypeCode(), fourCC("VGT1"));
    EXPECT_TRUE(fx.isBPMDependent());
    EXPECT_FLOAT_EQ(fx.getFadeTime(), 0.1f);
    EXPECT_FLOAT_EQ(fx.getModSampleDefault(0), 1.0f);
    EXPECT_FLOAT_EQ(fx.getModSampleDefault(1), 0.0f);
    EXPECT_EQ(GatorR_c().getTypeCode(), fourCC("VGT1"));

    HostBar host;
    Gator_c unbound;
    EXPECT_FALSE(unbound.create(static_cast<Instrument_c*>(nullptr), nullptr));
    EXPECT_TRUE(unbound.create(&host, nullptr));
    EXPECT_EQ(unbound.getInstrument(), &host);
}

// Step length = quarters x 60 / BPM x rate; steps per bar = 4 / quarters +
// 0.1, truncated. A tempo change re-caches the timing only.
TEST(Gator, StepLengthFollowsNoteValueTempoAndRate)
{
    struct Row
    {
        int code;
        double bpm;
        float rate;
        float length;
        int perBar;
    };
    const Row rows[] = {
        {13, 120.0, 44100.0f, 5512.5f, 16}, // 1/16
        {14, 120.0, 44100.0f, 3674.853f, 24}, // 1/16T (0.16666 quarters)
        {9, 120.0, 44100.0f, 16537.5f, 5},  // 1/8*
        {1, 120.0, 44100.0f, 88200.0f, 1},  // 1/1
        {2, 120.0, 44100.0f, 58798.53f, 1}, // 1/1T
        {3, 120.0, 44100.0f, 66150.0f, 1},  // 1/2*
        {13, 120.0, 48000.0f, 6000.0f, 16},
        {13, 90.0, 96000.0f, 16000.0f, 16},
    };
    const double savedBpm = Bpm.load();
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.code << " at " << r.bpm << " BPM, " << r.rate);
        Bpm = r.bpm;
        RecBpm = 1.0 / r.bpm;
        auto rig = makeRig(gatorKind(), r.rate);
        auto& fx = static_cast<Gator_c&>(*rig->fx);
        rig->para(Gator_c::pNotes, r.code);
        EXPECT_NEAR(fx.stepLength, r.length, r.length * 1e-6);
        EXPECT_EQ(fx.stepsPerBar, r.perBar);
    }
    // The tempo doubles: a tempo-change re-cache halves the step.
    auto rig = makeRig(gatorKind(), 44100.0f);
    auto& fx = static_cast<Gator_c&>(*rig->fx);
    Bpm = 240.0;
    RecBpm = 1.0 / 240.0;
    fx.cachePara(crTempoChange, -1, -1);
    EXPECT_FLOAT_EQ(fx.stepLength, 2756.25f);
    Bpm = savedBpm;
    RecBpm = 1.0 / savedBpm;
}

// Each channel follows its own pattern: open steps pass, closed ones keep
// (1 - wet)^2 + 1e-7 of the signal.
TEST(Gator, PatternsGateEachChannel)
{
    struct Row
    {
        int wet;
        float closed;
    };
    for (const Row& r : {Row{100, 1e-7f}, Row{50, 0.25f}, Row{0, 1.0f}}) {
        SCOPED_TRACE(r.wet);
        auto rig = makeRig(gatorKind(), 44100.0f);
        auto& fx = static_cast<Gator_c&>(*rig->fx);
        fx.setParaCharPtr(0, Gator_c::pPatternA, "1111000011110000");
        fx.setParaCharPtr(0, Gator_c::pPatternB, "0000111100001111");
        rig->para(Gator_c::pSmooth, 0);
        rig->para(Gator_c::pWet, r.wet);
        // The targets of the current step were taken when it began; a fresh
        // start takes step 0's from the new settings.
        fx.resume();
        const double step = 5512.5;
        rig->run(static_cast<long long>(step * 16), dc(1.0f), dc(1.0f));
        for (int s = 0; s < 16; ++s) {
            SCOPED_TRACE(s);
            // Late in each step, when the gain has settled (the gate moves
            // on a tenth of a step early).
            const size_t at = static_cast<size_t>(step * (s + 0.8));
            const bool leftOpen = (s / 4) % 2 == 0;
            EXPECT_NEAR(rig->outL[at], leftOpen ? 1.0f : r.closed, 1e-4f);
            EXPECT_NEAR(rig->outR[at], leftOpen ? r.closed : 1.0f, 1e-4f);
        }
    }
}

// "link" copies the changed pattern into the other, "xlink" its inverse;
// a whole-set change applies A's rule first, and so does switching the link
// on (B follows A at once, as it would at the next program load).
TEST(Gator, LinkModesRewriteTheOtherPattern)
{
    struct Row
    {
        int mode;
        int changed; // index, or -1 for the whole set
        const char* a;
        const char* b;
        const char* wantA;
        const char* wantB;
    };
    const Row rows[] = {
        {Gator_c::linkInverse, Gator_c::pPatternA, "1100110011001100", "", "1100110011001100", "0011001100110011"},
        {Gator_c::linkInverse, Gator_c::pPatternB, "", "1000000000000001", "0111111111111110", "1000000000000001"},
        {Gator_c::linkSame, Gator_c::pPatternA, "1110000000000000", "", "1110000000000000", "1110000000000000"},
        {Gator_c::linkSame, Gator_c::pPatternB, "", "0000000000000111", "0000000000000111", "0000000000000111"},
        {Gator_c::linkOff, Gator_c::pPatternA, "1111111111111111", "", "1111111111111111", "0101010101010101"},
        {Gator_c::linkInverse, -1, "1100", "1111", "1100", "0011"},
        {Gator_c::linkSame, -1, "1100", "1111", "1100", "1100"},
        {Gator_c::linkInverse, Gator_c::pLink, "1100", "1111", "1100", "0011"},
        {Gator_c::linkSame, Gator_c::pLink, "1100", "1111", "1100", "1100"},
        {Gator_c::linkOff, Gator_c::pLink, "1100", "1111", "1100", "1111"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.mode << " " << r.changed << " " << r.a << "/" << r.b);
        auto rig = makeRig(gatorKind(), 44100.0f);
        auto& fx = static_cast<Gator_c&>(*rig->fx);
        if (r.changed == -1) {
            fx.getParaPtr(0, Gator_c::pPatternA)->setCharPtr(r.a);
            fx.getParaPtr(0, Gator_c::pPatternB)->setCharPtr(r.b);
            fx.getParaPtr(0, Gator_c::pLink)->setVal(r.mode);
            fx.postprocessParaChange(0, -1);
        } else if (r.changed == Gator_c::pLink) {
            fx.getParaPtr(0, Gator_c::pPatternA)->setCharPtr(r.a);
            fx.getParaPtr(0, Gator_c::pPatternB)->setCharPtr(r.b);
            rig->para(Gator_c::pLink, r.mode);
        } else {
            rig->para(Gator_c::pLink, r.mode);
            fx.setParaCharPtr(0, r.changed, r.changed == Gator_c::pPatternA ? r.a : r.b);
        }
        EXPECT_EQ(text(fx, Gator_c::pPatternA), r.wantA);
        EXPECT_EQ(text(fx, Gator_c::pPatternB), r.wantB);
    }
    Gator_c g;
    char t[] = "10x1";
    g.invert(t);
    EXPECT_STREQ(t, "0110");
    g.invert(nullptr);
    EXPECT_EQ(Gator_c::patternMask("1000000000000000111"), 1u);
    EXPECT_EQ(Gator_c::patternMask("01"), 2u);
}

// At every block the gate moves to the host's step and offset in the bar;
// with steps longer than a sixteenth the pattern spans bars, and the host's
// step lands in the bar the gate is in.
TEST(Gator, AlignsToTheHostBar)
{
    struct Row
    {
        const char* what;
        int code;
        bool playing;
        float gatePosition;
        int hostPosition;
        float wantPosition; // before the block's samples are added, modulo the pattern
        int wantStep;
    };
    const Row rows[] = {
        {"host in step 0 pulls back", 13, true, 5 * 5512.5f + 37.25f, 100, 100.25f, 0},
        {"host step 3 behind gate step 5 of 1/8", 10, true, 5 * 11025.0f + 10.0f, 3 * 11025 + 500,
         11 * 11025.0f + 500.0f, 11},
        {"host step 3 moved past gate step 12 of 1/8", 10, true, 12 * 11025.0f + 10.0f, 3 * 11025 + 500,
         3 * 11025.0f + 500.0f, 3},
        {"host ahead of the gate", 13, true, 2 * 5512.5f, 9 * 5512 + 9, 9 * 5512.5f + 4.0f, 9},
        {"host not playing: free run", 13, false, 7 * 5512.5f + 1.0f, 100, 7 * 5512.5f + 1.0f, 7},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        auto rig = makeRig(gatorKind(), 44100.0f);
        auto& fx = static_cast<Gator_c&>(*rig->fx);
        HostBar host;
        host.playing = r.playing;
        host.position = r.hostPosition;
        ASSERT_TRUE(fx.create(&host, nullptr));
        rig->para(Gator_c::pNotes, r.code);
        fx.position = r.gatePosition;
        rig->run(64, dc(1.0f), dc(1.0f));
        EXPECT_NEAR(fx.position, r.wantPosition + 64.0f, 0.01f);
        EXPECT_EQ(fx.currentStep, r.wantStep);
    }
    // Without a step length there is nothing to align to: no step and a
    // position that stays a number.
    auto rig = makeRig(gatorKind(), 44100.0f);
    auto& fx = static_cast<Gator_c&>(*rig->fx);
    HostBar host;
    host.position = 1234;
    ASSERT_TRUE(fx.create(&host, nullptr));
    fx.stepLength = 0.0f;
    fx.position = 10.0f;
    const int before = fx.currentStep;
    rig->run(64, dc(1.0f), dc(1.0f));
    EXPECT_FLOAT_EQ(fx.position, 74.0f);
    EXPECT_EQ(fx.currentStep, before);
}

// An hour of free running in blocks that are not a multiple of anything
// convenient: the position stays the sample count modulo one pattern, to a
// hundredth of a sample, so every step still starts on its sample.
TEST(Gator, AnHourOfFreeRunningKeepsTheSteps)
{
    auto rig = makeRig(gatorKind(), 44100.0f);
    auto& fx = static_cast<Gator_c&>(*rig->fx);
    InBuffer2_c& in = rig->in;
    InBuffer2_c& out = rig->out;
    const int block = 250;
    const long long total = 44100LL * 3600 + 7 * block;
    {
        Synth::AudioScope scope;
        for (long long done = 0; done < total; done += block) {
            in.prepCycle(block);
            out.prepCycle(block);
            fx.render(block);
        }
    }
    const double step = 5512.5;
    const double expected = std::fmod(static_cast<double>(total), step * 16);
    EXPECT_NEAR(fx.position, expected, 0.01);
    // The next step is taken at the first control step from which the
    // position is within a tenth of a step of it (the step index leads by
    // 0.1): exactly where the sample count puts it.
    const double lead = std::ceil(step * (std::floor(expected / step) + 0.9) - 1.0 - expected);
    const long long quiet = (static_cast<long long>(lead) + ControlStepFrames - 1) / ControlStepFrames * ControlStepFrames;
    const int stepBefore = fx.currentStep;
    rig->run(quiet, dc(1.0f), dc(1.0f), ControlStepFrames);
    EXPECT_EQ(fx.currentStep, stepBefore);
    rig->run(ControlStepFrames, dc(1.0f), dc(1.0f), ControlStepFrames);
    EXPECT_EQ(fx.currentStep, (stepBefore + 1) % 16);
}

// At a rate of 22000 Hz or below (0 included) the gate is not ready and
// writes nothing: the smoothing would diverge and the step arithmetic divide
// by zero.
TEST(Gator, RendersOnlyAbove22kHz)
{
    for (float rate : {0.0f, 3000.0f, 22000.0f}) {
        SCOPED_TRACE(rate);
        auto rig = makeRig(gatorKind(), rate);
        HostBar host;
        ASSERT_TRUE(static_cast<Gator_c&>(*rig->fx).create(&host, nullptr));
        EXPECT_FALSE(rig->fx->isReady());
        rig->run(512, dc(1.0f), dc(1.0f));
        EXPECT_EQ(peak(rig->outL), 0.0f);
        EXPECT_TRUE(std::isfinite(static_cast<Gator_c&>(*rig->fx).position));
    }
}

} // namespace
