// The processor bases: on/off and tail protocol, restart only after the tail,
// the bypass, the amplitude-and-pan core, the voice-start re-cache, the
// single-set form of the voice processors and the output sums of the effect
// base.
#include "Amplifier.h"
#include "LevelMeter.h"
#include "Panner.h"
#include "ProcessorTestBuses.h"
#include "Variator.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

using namespace ProcTest;

namespace {

// Records what the protocol asks of a processor.
class Probe : public VariatorTone_c
{
public:
    using VariatorTone_c::render;
    void render(int n) override
    {
        renders.push_back(n);
        renderingSeen = rendering;
    }
    void requestRestart() override
    {
        ++restarts;
        VariatorTone_c::requestRestart();
    }
    float getFadeTime() override { return fadeTime ? *fadeTime : VariatorTone_c::getFadeTime(); }
    void cachePara(CacheReason_t reason, int set, int idx) override
    {
        if (reason == crVoiceStart)
            voiceStarts.push_back({set, idx});
    }

    std::vector<int> renders;
    int restarts = 0;
    bool renderingSeen = false;
    std::optional<float> fadeTime;
    struct Cache
    {
        int set;
        int idx;
    };
    std::vector<Cache> voiceStarts;
};

constexpr int Block = MaxBlockSize;

// A processor between a mono input bus and a stereo output bus.
struct ProcessorFixture : ::testing::Test
{
    void SetUp() override
    {
        makeBus(in, 1);
        makeBus(out, 2);
        p.setInBuf(&in);
        p.setOutBufFixed(&out, nullptr);
        p.setSampleRate(44100.0f);
    }
    // Starts a cycle of n frames on both buses; with a signal the input holds
    // it as mono content.
    void cycle(int n, const Signal* s = nullptr)
    {
        in.prepCycle(n);
        out.prepCycle(n);
        if (s)
            writeMono(in, n, *s);
    }
    // Silent blocks after the input fell silent that are still rendered.
    int silentBlocksRendered()
    {
        int blocks = 0;
        while (p.render(false, Block)) {
            ++blocks;
            if (blocks > 100000)
                break;
        }
        return blocks;
    }

    InBuffer2_c in;
    InBuffer2_c out;
    Probe p;
};

TEST_F(ProcessorFixture, WithoutAnInputBusNothingRendersAndNothingIsReported)
{
    p.setInBuf(nullptr);
    EXPECT_FALSE(p.renderII(Block));
    EXPECT_TRUE(p.renders.empty());
    EXPECT_EQ(p.restarts, 0);
}

TEST_F(ProcessorFixture, RenderIIFollowsTheInputSignalAndHoldsTheRenderingFlag)
{
    const Signal s = dc(0.5f);
    cycle(Block, &s);
    EXPECT_TRUE(p.renderII(Block));
    EXPECT_TRUE(p.wasOn);
    EXPECT_TRUE(p.renderingSeen);
    EXPECT_FALSE(p.rendering);

    cycle(Block); // silent: the tail starts
    EXPECT_TRUE(p.renderII(Block));
    EXPECT_FALSE(p.wasOn);
    EXPECT_EQ(p.tailSamples, 4410 - Block);
}

TEST_F(ProcessorFixture, AnInactiveProcessorLeavesAtOnce)
{
    const Signal s = dc(0.5f);
    cycle(Block, &s);
    p.setInactive();
    EXPECT_FALSE(p.renderII(Block));
    EXPECT_TRUE(p.renders.empty());
    EXPECT_FALSE(p.rendering);
}

// A voice raises its modules' flags together for a block: the renders inside
// find them up and leave them so, the scope lowers exactly those it raised
// (a flag already up before stays up), and an inactive module still leaves
// at once.
TEST_F(ProcessorFixture, FlagsRaisedTogetherHoldThroughTheRendersAndDropAfterwards)
{
    const Signal s = dc(0.5f);
    Probe other;
    Probe alreadyUp;
    alreadyUp.rendering = true;
    {
        RenderingFlags flags;
        flags.add(p);
        flags.add(other);
        flags.add(alreadyUp);
        flags.publish();
        cycle(Block, &s);
        EXPECT_TRUE(p.renderII(Block));
        EXPECT_TRUE(p.renderingSeen);
        EXPECT_TRUE(p.rendering) << "a render inside the scope leaves the flag up";
        p.active = false;
        EXPECT_FALSE(p.renderII(Block));
        EXPECT_EQ(p.renders.size(), 1u) << "an inactive module leaves at once under a raised flag too";
    }
    EXPECT_FALSE(p.rendering);
    EXPECT_FALSE(other.rendering);
    EXPECT_TRUE(alreadyUp.rendering) << "a flag raised before the scope is not the scope's to lower";
}

// The tail is the fade time at the sample rate, truncated; the silent blocks
// keep rendering until it is used up, the last one whole.
TEST_F(ProcessorFixture, TailLastsTheFadeTimeAtEachSampleRate)
{
    struct Case
    {
        float rate;
        int tail;
    };
    for (const Case c : {Case{44100.0f, 4410}, Case{48000.0f, 4800}, Case{96000.0f, 9600}}) {
        SCOPED_TRACE(c.rate);
        Probe q;
        q.setSampleRate(c.rate);
        ASSERT_TRUE(q.render(true, Block));
        ASSERT_TRUE(q.render(false, Block));
        EXPECT_EQ(q.tailSamples + Block, c.tail);
        int blocks = 1;
        while (q.render(false, Block))
            ++blocks;
        EXPECT_EQ(blocks, (c.tail + Block - 1) / Block);
        // Every block of the tail was rendered whole, the last one too.
        ASSERT_EQ(q.renders.size(), static_cast<size_t>(blocks) + 1);
        for (int n : q.renders)
            EXPECT_EQ(n, Block);
        EXPECT_LE(q.tailSamples, 0);
        // Staying silent renders nothing more.
        EXPECT_FALSE(q.render(false, Block));
        EXPECT_EQ(q.renders.size(), static_cast<size_t>(blocks) + 1);
    }
}

TEST_F(ProcessorFixture, RestartsOnlyWhenTheInputReturnsAfterTheTail)
{
    ASSERT_TRUE(p.render(true, Block));
    EXPECT_EQ(p.restarts, 1); // the first signal after construction
    EXPECT_TRUE(p.restart);
    p.restart = false;        // the processor took the request

    for (int i = 0; i < 5; ++i) // silent, but within the tail
        ASSERT_TRUE(p.render(false, Block));
    ASSERT_TRUE(p.render(true, Block));
    EXPECT_EQ(p.restarts, 1);
    EXPECT_FALSE(p.restart);

    EXPECT_GT(silentBlocksRendered(), 0); // the tail runs out
    ASSERT_TRUE(p.render(true, Block));
    EXPECT_EQ(p.restarts, 2);
    EXPECT_TRUE(p.restart);

    // Back on within a tail that began after a long signal: still no restart.
    ASSERT_TRUE(p.render(true, Block));
    ASSERT_TRUE(p.render(false, Block));
    ASSERT_TRUE(p.render(true, Block));
    EXPECT_EQ(p.restarts, 2);
}

// The tail length in samples never overflows an int, whatever a processor
// answers for its fade time.
TEST(VariatorTail, FadeTimesBecomeBoundedSampleCounts)
{
    struct Case
    {
        float seconds;
        float rate;
        int samples;
    };
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const Case c : {Case{0.1f, 44100.0f, 4410}, Case{0.35f, 44100.0f, 15435}, Case{3600.0f, 192000.0f, 691200000},
                         Case{99999.0f, 192000.0f, INT_MAX}, Case{inf, 44100.0f, INT_MAX}, Case{nan, 44100.0f, 0},
                         Case{-1.0f, 44100.0f, 0}, Case{0.0f, 44100.0f, 0}}) {
        SCOPED_TRACE(c.seconds);
        Probe q;
        q.setSampleRate(c.rate);
        EXPECT_EQ(q.tailSamplesFor(c.seconds), c.samples);
    }
    Probe unknownRate;
    EXPECT_EQ(unknownRate.tailSamplesFor(0.1f), 0);
}

TEST(VariatorTail, AnHourLongTailCountsDownWithoutWrapping)
{
    Probe q;
    q.setSampleRate(192000.0f);
    q.fadeTime = 1e9f;
    ASSERT_TRUE(q.render(true, Block));
    ASSERT_TRUE(q.render(false, Block));
    EXPECT_EQ(q.tailSamples, INT_MAX - Block);

    Probe none;
    none.setSampleRate(44100.0f);
    none.fadeTime = 0.0f;
    ASSERT_TRUE(none.render(true, Block));
    EXPECT_FALSE(none.render(false, Block)); // no tail at all
    EXPECT_EQ(none.renders.size(), 1u);
}

TEST_F(ProcessorFixture, BypassAddsTheInputOnlyWhenItHoldsASignal)
{
    cycle(Block);
    p.bypass(Block);
    EXPECT_EQ(out.getWriteState(), wsUntouched);
    EXPECT_FALSE(out.hasContent());

    const Signal s = dc(0.25f);
    cycle(Block, &s);
    p.bypass(Block);
    const auto ch = channels(out, Block);
    ASSERT_EQ(ch.size(), 1u);
    EXPECT_FLOAT_EQ(peak(ch[0]), 0.25f);
    EXPECT_FLOAT_EQ(static_cast<float>(rms(ch[0])), 0.25f);
}

TEST_F(ProcessorFixture, ProcessorsAskForTheirRouteAndStoreTheirOption)
{
    EXPECT_TRUE(p.routeOnStart);
    p.setOption(7);
    EXPECT_EQ(p.option, 7);
    VariatorInst_c effect;
    EXPECT_TRUE(effect.routeOnStart);
    EXPECT_FLOAT_EQ(effect.getFadeTime(), 0.1f);
}

// Both note-start forms re-cache once with the voice-start reason and the set
// the voice now plays.
TEST(VariatorTone, VoiceStartRecachesOnceWithTheClampedSet)
{
    struct Case
    {
        int instrument;
        bool fourArgs;
        int set;
    };
    for (const Case c : {Case{2, true, 2}, Case{2, false, 2}, Case{500, true, NumInstrumentSlots - 1},
                         Case{-3, false, 0}}) {
        SCOPED_TRACE(c.instrument);
        Probe q;
        if (c.fourArgs)
            q.prepProc(c.instrument, noteOf(60, 100), false, false);
        else
            q.prepProc(c.instrument, noteOf(60, 100), false);
        ASSERT_EQ(q.voiceStarts.size(), 1u);
        EXPECT_EQ(q.voiceStarts[0].set, c.set);
        EXPECT_EQ(q.voiceStarts[0].idx, -1);
    }
}

// The single-argument form defines one set for every voice processor, each
// with its own parameters.
TEST(VariatorTone, TheSingleSetFormDefinesOneSet)
{
    Amp_c amp;
    Pan_c pan;
    Pan51_c pan51(1.0f);
    struct Case
    {
        const char* name;
        VariatorTone_c* part;
        int paras;
    };
    for (const Case c : {Case{"amplifier", &amp, 1}, Case{"panner", &pan, 3},
                         Case{"5.1 panner", &pan51, Pan51_c::paraCount}}) {
        SCOPED_TRACE(c.name);
        ParaSet_c* slot = nullptr;
        EXPECT_TRUE(c.part->getParaSetPtr(&slot));
        ASSERT_NE(slot, nullptr);
        EXPECT_EQ(slot->getSetCount(), 1);
        EXPECT_EQ(slot->getParaCount(), c.paras);
        EXPECT_EQ(c.part->getParaSet(), slot);
    }
}

// --- amplitude-and-pan core

struct AmpPanCoreFixture : ProcessorFixture
{
    // Runs the core over one block of DC input with constant level and pan
    // entries; returns left and right.
    std::vector<std::vector<float>> run(float levelEntry, float panEntry, int n = Block)
    {
        const Signal s = dc(1.0f);
        cycle(n, &s);
        std::fill(std::begin(level), std::end(level), levelEntry);
        std::fill(std::begin(pan), std::end(pan), panEntry);
        p.renderAmpPanCore(n, level, pan, curLevel, curPan);
        return channels(out, n);
    }
    float level[Block / ControlStepFrames] = {};
    float pan[Block / ControlStepFrames] = {};
    float curLevel = 0.0f;
    float curPan = 1.0f;
};

TEST_F(AmpPanCoreFixture, LevelRampsOverEachControlStepAndTheCentreSplitsEvenly)
{
    const auto ch = run(1.0f, 0.0f);
    ASSERT_EQ(ch.size(), 2u);
    for (int i = 0; i < ControlStepFrames; ++i) {
        EXPECT_FLOAT_EQ(ch[0][i], 0.125f * (i + 1));
        EXPECT_FLOAT_EQ(ch[1][i], 0.125f * (i + 1));
    }
    for (int i = ControlStepFrames; i < Block; ++i) {
        EXPECT_FLOAT_EQ(ch[0][i], 1.0f);
        EXPECT_FLOAT_EQ(ch[1][i], 1.0f);
    }
    EXPECT_FLOAT_EQ(curLevel, 1.0f);
    EXPECT_FLOAT_EQ(curPan, 1.0f);
}

// At the hard ends the far side keeps at least 0.00001 of the level.
TEST_F(AmpPanCoreFixture, HardPanNeverSilencesTheFarSide)
{
    struct Case
    {
        float entry;
        int farSide;
    };
    for (const Case c : {Case{-1.0f, 1}, Case{1.0f, 0}}) {
        SCOPED_TRACE(c.entry);
        curLevel = 0.5f;
        curPan = 1.0f;
        std::vector<std::vector<float>> ch;
        for (int b = 0; b < 8; ++b) // long enough to reach the bound
            ch = run(0.5f, c.entry);
        ASSERT_EQ(ch.size(), 2u);
        for (float x : ch[c.farSide]) {
            EXPECT_GT(x, 0.0f);
            EXPECT_GE(x, 0.5f * 0.00001f * 0.999f);
        }
        // 2 - 1.99999 in single precision is 1.0014e-5.
        EXPECT_NEAR(ch[c.farSide][Block - 1], 0.5f * 0.00001f, 0.5f * 0.00001f * 0.002f);
        EXPECT_NEAR(ch[1 - c.farSide][Block - 1], 0.5f * 1.99999f, 1e-6f);
    }
}

TEST_F(AmpPanCoreFixture, PanFollowsItsTargetByAQuarterPerStep)
{
    curLevel = 1.0f;
    curPan = 1.0f;
    const auto ch = run(1.0f, -1.0f, 2 * ControlStepFrames);
    // Step 1: pan 0.75, step 2: 0.5625 (gains 2 - pan and pan).
    EXPECT_FLOAT_EQ(ch[1][0], 0.75f);
    EXPECT_FLOAT_EQ(ch[0][0], 1.25f);
    EXPECT_FLOAT_EQ(ch[1][ControlStepFrames], 0.5625f);
    EXPECT_FLOAT_EQ(ch[0][ControlStepFrames], 1.4375f);
}

TEST_F(AmpPanCoreFixture, StereoInputIsFoldedToItsAverage)
{
    InBuffer2_c stereoIn;
    makeBus(stereoIn, 2);
    p.setInBuf(&stereoIn);
    cycle(Block);
    stereoIn.prepCycle(Block);
    writeStereo(stereoIn, Block, dc(1.0f), dc(0.0f));
    curLevel = 1.0f;
    std::fill(std::begin(level), std::end(level), 1.0f);
    p.renderAmpPanCore(Block, level, pan, curLevel, curPan);
    const auto ch = channels(out, Block);
    ASSERT_EQ(ch.size(), 2u);
    EXPECT_FLOAT_EQ(ch[0][100], 0.5f);
    EXPECT_FLOAT_EQ(ch[1][100], 0.5f);
}

TEST_F(AmpPanCoreFixture, EmptyPiecesStillCloseTheOutputAndMissingArraysWriteNothing)
{
    const Signal s = dc(1.0f);
    cycle(Block, &s);
    p.renderAmpPanCore(0, level, pan, curLevel, curPan);
    EXPECT_EQ(out.getWriteState(), wsDone);

    cycle(Block, &s);
    p.renderAmpPanCore(Block, nullptr, pan, curLevel, curPan);
    p.renderAmpPanCore(Block, level, nullptr, curLevel, curPan);
    EXPECT_EQ(out.getWriteState(), wsUntouched);
}

// A piece longer than the buses' cycle is cut to the cycle.
TEST_F(AmpPanCoreFixture, PiecesStayInsideTheCycle)
{
    const int n = 64;
    const Signal s = dc(1.0f);
    cycle(n, &s);
    for (int k = 0; k < Block / ControlStepFrames; ++k)
        level[k] = static_cast<float>(k + 1);
    p.renderAmpPanCore(Block, level, pan, curLevel, curPan);
    EXPECT_FLOAT_EQ(curLevel, static_cast<float>(n / ControlStepFrames));
}

// --- effect base

class SerialEffect : public VariatorInst_c
{
public:
    void mixSample(float** p, float v) override { writeSample(p, v); }
};

TEST(VariatorInst, SumsAddOrStoreAndFollowASerialVariant)
{
    VariatorInst_c effect;
    float buf[2] = {1.0f, 1.0f};
    float* cur = buf;
    effect.mixSum(&cur, 2.0f, 3.0f);
    EXPECT_FLOAT_EQ(buf[0], 6.0f);
    effect.writeSum(&cur, 2.0f, 3.0f);
    EXPECT_FLOAT_EQ(buf[1], 5.0f);
    EXPECT_EQ(cur, buf + 2);

    SerialEffect serial;
    float one = 1.0f;
    float* c2 = &one;
    serial.mixSum(&c2, 2.0f, 3.0f);
    EXPECT_FLOAT_EQ(one, 5.0f);
    EXPECT_EQ(serial.getVUDriver(), nullptr);
    serial.idleVU(Block); // without a meter: nothing
}

} // namespace
