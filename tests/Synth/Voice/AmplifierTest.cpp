// The voice amplifier: readiness, the level ramp per control step in its
// mono, stereo and panned forms, note starts, piece continuity and the
// bounds of a piece.
#include "Amplifier.h"
#include "ProcessorTestBuses.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace ProcTest;

namespace {

constexpr int Block = MaxBlockSize;
constexpr int Steps = Block / ControlStepFrames;

struct AmpFixture : ::testing::Test
{
    void SetUp() override
    {
        makeBus(in, 2);
        makeBus(out, 2);
        amp.setInBuf(&in);
        amp.setOutBufFixed(&out, nullptr);
        amp.getParaSetPtr(&slot, 2);
        amp.setSampleRate(44100.0f);
        amp.create(level);
        std::fill(std::begin(level), std::end(level), 0.5f);
        std::fill(std::begin(pan), std::end(pan), 0.0f);
    }
    void cycle(int n = Block)
    {
        in.prepCycle(n);
        out.prepCycle(n);
    }
    // One block of mono DC input through the amplifier.
    std::vector<std::vector<float>> monoBlock(float input = 1.0f, int n = Block)
    {
        cycle(n);
        writeMono(in, n, dc(input));
        amp.render(n);
        return channels(out, n);
    }

    InBuffer2_c in;
    InBuffer2_c out;
    ParaSet_c* slot = nullptr;
    Amp_c amp;
    float level[Steps] = {};
    float pan[Steps] = {};
};

TEST_F(AmpFixture, RendersOnlyWithALevelArrayAndASignal)
{
    Amp_c bare;
    bare.setInBuf(&in);
    bare.setOutBufFixed(&out, nullptr);
    bare.setSampleRate(44100.0f);
    EXPECT_FALSE(bare.isReady());
    cycle();
    writeMono(in, Block, dc(1.0f));
    bare.render(Block);
    EXPECT_EQ(out.getWriteState(), wsUntouched);

    bare.create(level);
    EXPECT_TRUE(bare.isReady());
    bare.create(nullptr);
    EXPECT_FALSE(bare.isReady());

    // Ready, but the input holds nothing this cycle.
    cycle();
    amp.render(Block);
    EXPECT_EQ(out.getWriteState(), wsUntouched);
    EXPECT_FALSE(amp.rendering);
}

TEST_F(AmpFixture, AFreshNoteRampsUpWithinItsFirstControlStep)
{
    amp.prepProc(0, noteOf(60, 100), false);
    const auto ch = monoBlock();
    ASSERT_EQ(ch.size(), 1u); // mono in, mono out
    for (int i = 0; i < ControlStepFrames; ++i)
        EXPECT_FLOAT_EQ(ch[0][i], 0.0625f * (i + 1));
    for (int i = ControlStepFrames; i < Block; ++i)
        EXPECT_FLOAT_EQ(ch[0][i], 0.5f);
}

// Each new entry is reached linearly over the 8 samples of its step, and the
// ramp goes on from where the previous piece ended.
TEST_F(AmpFixture, LevelCarriesFromPieceToPiece)
{
    amp.prepProc(0, noteOf(60, 100), false);
    monoBlock();
    std::fill(std::begin(level), std::end(level), 0.25f);
    level[1] = 1.0f;
    const auto ch = monoBlock();
    EXPECT_FLOAT_EQ(ch[0][0], 0.5f - 0.25f / 8);
    EXPECT_FLOAT_EQ(ch[0][7], 0.25f);
    EXPECT_FLOAT_EQ(ch[0][8], 0.25f + 0.75f / 8);
    EXPECT_FLOAT_EQ(ch[0][15], 1.0f);
    EXPECT_FLOAT_EQ(ch[0][23], 0.25f);
}

TEST_F(AmpFixture, LegatoKeepsTheLevelAndAFreshNoteStartsFromSilence)
{
    amp.prepProc(0, noteOf(60, 100), false);
    monoBlock();
    amp.prepProc(0, noteOf(62, 100), true);
    EXPECT_FLOAT_EQ(monoBlock()[0][0], 0.5f);
    amp.prepProc(0, noteOf(64, 100), false);
    EXPECT_FLOAT_EQ(monoBlock()[0][0], 0.0625f);
    EXPECT_FLOAT_EQ(amp.pan, 0.0f);
}

// Stereo input keeps its channels, each scaled by the level: measured by RMS
// over the block after the first step.
TEST_F(AmpFixture, StereoInputIsScaledChannelByChannel)
{
    for (double rate : {44100.0, 48000.0, 96000.0}) {
        SCOPED_TRACE(rate);
        amp.prepProc(0, noteOf(60, 100), false);
        cycle();
        const Signal l = sine(440.0, rate, 0.8f);
        const Signal r = sine(660.0, rate, 0.4f);
        writeStereo(in, Block, l, r);
        const auto input = channels(in, Block);
        amp.render(Block);
        const auto ch = channels(out, Block);
        ASSERT_EQ(ch.size(), 2u);
        EXPECT_NEAR(rms(ch[0], ControlStepFrames), 0.5 * rms(input[0], ControlStepFrames), 1e-6);
        EXPECT_NEAR(rms(ch[1], ControlStepFrames), 0.5 * rms(input[1], ControlStepFrames), 1e-6);
        EXPECT_NEAR(peak(ch[0]), 0.5f * peak(input[0]), 1e-6);
    }
}

// With a pan array the pan starts hard left at a fresh note and moves a
// quarter of the way to its target per step: left gain level x (2 - pan),
// right level x pan.
TEST_F(AmpFixture, PanArrayGivesStereoWithASmoothedPan)
{
    amp.create(level, pan);
    std::fill(std::begin(level), std::end(level), 1.0f);
    amp.prepProc(0, noteOf(60, 100), false);
    const auto ch = monoBlock();
    ASSERT_EQ(ch.size(), 2u);
    EXPECT_FLOAT_EQ(ch[0][7], 1.75f);  // pan 0.25
    EXPECT_FLOAT_EQ(ch[1][7], 0.25f);
    EXPECT_FLOAT_EQ(ch[0][15], 1.5625f); // pan 0.4375
    EXPECT_FLOAT_EQ(ch[1][15], 0.4375f);
    EXPECT_NEAR(ch[0][Block - 1], 1.0f, 1e-3f); // centre reached
    EXPECT_NEAR(ch[1][Block - 1], 1.0f, 1e-3f);

    // A hard-right target never silences the left side.
    std::fill(std::begin(pan), std::end(pan), 1.0f);
    for (int b = 0; b < 4; ++b)
        monoBlock();
    const auto hard = monoBlock();
    EXPECT_GT(hard[0][Block - 1], 0.0f);
    EXPECT_NEAR(hard[1][Block - 1], 1.99999f, 1e-5f);
}

TEST_F(AmpFixture, OutputIsAddedAndPiecesStayInsideTheCycle)
{
    amp.prepProc(0, noteOf(60, 100), false);
    cycle();
    writeMono(out, Block, dc(0.25f)); // something already there
    writeMono(in, Block, dc(1.0f));
    amp.render(Block);
    EXPECT_FLOAT_EQ(channels(out, Block)[0][100], 0.75f);

    // A piece longer than the cycle renders the cycle only.
    for (int k = 0; k < Steps; ++k)
        level[k] = static_cast<float>(k);
    monoBlock(1.0f, 64);
    EXPECT_FLOAT_EQ(amp.target, 7.0f);
}

TEST_F(AmpFixture, AnInactiveAmplifierLeavesAtOnce)
{
    amp.setInactive();
    monoBlock();
    EXPECT_EQ(out.getWriteState(), wsUntouched);
    EXPECT_FALSE(amp.rendering);
}

TEST_F(AmpFixture, OneVersionParameterPerSetAndItsTypeCode)
{
    ASSERT_NE(amp.getParaSet(), nullptr);
    EXPECT_EQ(amp.getParaSet()->getParaCount(), 1);
    EXPECT_EQ(amp.getParaSet()->getSetCount(), 2);
    char name[ParaNameBufferBytes] = {};
    amp.getParaName(1, 0, name);
    EXPECT_STREQ(name, "Version");
    EXPECT_EQ(amp.getParaVal(1, 0), 200);
    EXPECT_EQ(amp.getTypeCode(), fourCC("VAM1"));
}

} // namespace
