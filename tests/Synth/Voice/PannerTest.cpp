// The panners: Pan_c's crossfade between its two output buses, Pan51_c's six
// gains over the position map and its 5.1 rendering of mono and stereo
// input, and the parameters of both.
#include "Panner.h"
#include "ProcessorTestBuses.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace ProcTest;

namespace {

constexpr int Block = MaxBlockSize;
constexpr int Steps = Block / ControlStepFrames;

std::string paraName(const Part_c& part, int idx)
{
    char name[ParaNameBufferBytes] = {};
    part.getParaName(0, idx, name);
    return name;
}

// --- Pan_c

struct PanFixture : ::testing::Test
{
    void SetUp() override
    {
        makeBus(in, 2);
        makeBus(outA, 2);
        makeBus(outB, 2);
        pan.setInBuf(&in);
        pan.setOutBufFixed(&outA, &outB);
        pan.getParaSetPtr(&slot, 1);
        pan.setSampleRate(44100.0f);
        pan.create(position);
        pan.prepProc(0, noteOf(60, 100), false);
    }
    void cycle()
    {
        for (InBuffer2_c* b : {&in, &outA, &outB})
            b->prepCycle(Block);
    }
    void renderMono(float input = 1.0f)
    {
        cycle();
        writeMono(in, Block, dc(input));
        pan.render(Block);
    }

    InBuffer2_c in;
    InBuffer2_c outA;
    InBuffer2_c outB;
    ParaSet_c* slot = nullptr;
    Pan_c pan;
    float position[Steps] = {};
};

// The position -1..1 becomes the second bus's share, kept within
// 0.00001..0.99999.
TEST_F(PanFixture, PositionSplitsTheSignalLinearly)
{
    struct Case
    {
        float position;
        float first;
        float second;
    };
    for (const Case c : {Case{-1.0f, 0.99999f, 0.00001f}, Case{1.0f, 1.0f - 0.99999f, 0.99999f},
                         Case{0.0f, 0.5f, 0.5f}, Case{0.5f, 0.25f, 0.75f}, Case{-3.0f, 0.99999f, 0.00001f}}) {
        SCOPED_TRACE(c.position);
        std::fill(std::begin(position), std::end(position), c.position);
        renderMono();
        const auto a = channels(outA, Block);
        const auto b = channels(outB, Block);
        ASSERT_EQ(a.size(), 1u); // mono in, mono out
        ASSERT_EQ(b.size(), 1u);
        EXPECT_FLOAT_EQ(a[0][Block - 1], c.first);
        EXPECT_FLOAT_EQ(b[0][Block - 1], c.second);
        EXPECT_FLOAT_EQ(static_cast<float>(rms(a[0])), c.first);
        EXPECT_FLOAT_EQ(static_cast<float>(rms(b[0])), c.second);
    }
}

TEST_F(PanFixture, StereoInputIsSplitChannelByChannelWithoutSmoothing)
{
    position[0] = 0.5f;
    position[1] = -1.0f;
    cycle();
    writeStereo(in, Block, dc(1.0f), dc(0.5f));
    pan.render(Block);
    const auto a = channels(outA, Block);
    const auto b = channels(outB, Block);
    ASSERT_EQ(a.size(), 2u);
    ASSERT_EQ(b.size(), 2u);
    EXPECT_FLOAT_EQ(a[0][0], 0.25f);
    EXPECT_FLOAT_EQ(a[1][0], 0.125f);
    EXPECT_FLOAT_EQ(b[0][0], 0.75f);
    EXPECT_FLOAT_EQ(b[1][0], 0.375f);
    // The next step's position holds from its first sample.
    EXPECT_FLOAT_EQ(a[0][ControlStepFrames], 0.99999f);
    EXPECT_FLOAT_EQ(b[1][ControlStepFrames], 0.5f * 0.00001f);
}

// Every piece length, mono and stereo, against the crossfade worked out
// sample by sample, with a position that moves at every step; the shares
// left behind are the last step's.
TEST_F(PanFixture, EveryLengthMatchesThePlainCrossfade)
{
    for (int k = 0; k < Steps; ++k)
        position[k] = std::sin(0.37f * static_cast<float>(k)) * 1.2f;
    const Signal left = [](int i) { return std::cos(0.11f * static_cast<float>(i)) * 3.0f; };
    const Signal right = [](int i) { return static_cast<float>(i % 7) - 2.5f; };
    for (bool stereo : {false, true}) {
        for (int n = 1; n <= Block; ++n) {
            SCOPED_TRACE(testing::Message() << (stereo ? "stereo" : "mono") << ", n " << n);
            for (InBuffer2_c* b : {&in, &outA, &outB})
                b->prepCycle(n);
            if (stereo)
                writeStereo(in, n, left, right);
            else
                writeMono(in, n, left);
            pan.render(n);
            const auto a = channels(outA, n);
            const auto b = channels(outB, n);
            ASSERT_EQ(a.size(), stereo ? 2u : 1u);
            ASSERT_EQ(b.size(), a.size());
            float p = 0.0f;
            for (int i = 0; i < n; ++i) {
                p = std::clamp((position[i / ControlStepFrames] + 1.0f) * 0.5f, 0.00001f, 0.99999f);
                for (size_t c = 0; c < a.size(); ++c) {
                    const float x = (c == 0 ? left : right)(i);
                    ASSERT_EQ(a[c][static_cast<size_t>(i)], 0.0f + x * (1.0f - p)) << "first bus, " << i;
                    ASSERT_EQ(b[c][static_cast<size_t>(i)], 0.0f + x * p) << "second bus, " << i;
                }
            }
            EXPECT_EQ(pan.gainFirst, 1.0f - p);
            EXPECT_EQ(pan.gainSecond, p);
        }
    }
}

TEST_F(PanFixture, NeedsANoteAPositionArrayAndASignal)
{
    Pan_c fresh;
    fresh.setInBuf(&in);
    fresh.setOutBufFixed(&outA, &outB);
    fresh.getParaSetPtr(&slot, 1);
    fresh.create(position);
    cycle();
    writeMono(in, Block, dc(1.0f));
    fresh.render(Block); // no note started: no render parameters
    EXPECT_EQ(outA.getWriteState(), wsUntouched);

    Pan_c noArray;
    noArray.setInBuf(&in);
    noArray.setOutBufFixed(&outA, &outB);
    noArray.getParaSetPtr(&slot, 1);
    noArray.prepProc(0, noteOf(60, 100), false);
    noArray.create(nullptr);
    EXPECT_EQ(noArray.getPositionArray(), nullptr);
    noArray.render(Block);
    EXPECT_EQ(outA.getWriteState(), wsUntouched);

    cycle(); // silent input
    pan.render(Block);
    EXPECT_EQ(outA.getWriteState(), wsUntouched);
    EXPECT_EQ(outB.getWriteState(), wsUntouched);

    pan.create(nullptr); // keeps the array bound before
    EXPECT_EQ(pan.getPositionArray(), position);
}

TEST_F(PanFixture, AMissingSecondBusLeavesTheFirstItsShare)
{
    pan.setOutBufFixed(&outA, nullptr);
    std::fill(std::begin(position), std::end(position), 0.5f);
    renderMono();
    EXPECT_FLOAT_EQ(channels(outA, Block)[0][10], 0.25f);
    EXPECT_EQ(outB.getWriteState(), wsUntouched);
}

// Both shares into one bus (a route that sends both paths to one bus): the
// first share is added, then the second onto it, sample by sample, and the
// gains end at the last step's, at every length.
TEST_F(PanFixture, BothSharesIntoOneBusAddOneAfterTheOther)
{
    pan.setOutBufFixed(&outA, &outA);
    for (int k = 0; k < Steps; ++k)
        position[k] = std::sin(0.29f * static_cast<float>(k));
    const Signal x = [](int i) { return std::cos(0.13f * static_cast<float>(i)) * 2.0f; };
    for (int n = 1; n <= Block; ++n) {
        SCOPED_TRACE(testing::Message() << "n " << n);
        for (InBuffer2_c* b : {&in, &outA})
            b->prepCycle(n);
        writeMono(in, n, x);
        pan.render(n);
        const auto a = channels(outA, n);
        ASSERT_EQ(a.size(), 1u);
        float p = 0.0f;
        for (int i = 0; i < n; ++i) {
            p = std::clamp((position[i / ControlStepFrames] + 1.0f) * 0.5f, 0.00001f, 0.99999f);
            ASSERT_EQ(a[0][static_cast<size_t>(i)], (0.0f + x(i) * (1.0f - p)) + x(i) * p) << i;
        }
        EXPECT_EQ(pan.gainFirst, 1.0f - p);
        EXPECT_EQ(pan.gainSecond, p);
    }
}

TEST_F(PanFixture, ParametersAndTypeCode)
{
    ASSERT_NE(pan.getParaSet(), nullptr);
    EXPECT_EQ(pan.getParaSet()->getParaCount(), 3);
    EXPECT_EQ(paraName(pan, 0), "Version");
    EXPECT_EQ(paraName(pan, 1), "S0 On/Off");
    EXPECT_EQ(paraName(pan, 2), "Pan");
    EXPECT_TRUE(pan.getParaOn(0, 1));
    EXPECT_EQ(pan.getParaVal(0, 2), 0);
    EXPECT_EQ(pan.getParaPtr(0, 2)->getLowValue(), -100);
    EXPECT_EQ(pan.getParaPtr(0, 2)->getHighValue(), 100);
    EXPECT_EQ(pan.getTypeCode(), fourCC("VP02"));
}

// --- Pan51_c

struct Pan51Fixture : ::testing::Test
{
    void SetUp() override
    {
        makeBus(in, 6);
        makeBus(out, 6);
        p.setInBuf(&in);
        p.setOutBufFixed(&out, nullptr);
        p.getParaSetPtr(&slot, 2);
        p.setSampleRate(44100.0f);
    }
    // Sets the parameters of a set (pan values -100..100, levels in 0.2 dB
    // steps) and re-reads them.
    void set(int leftRight, int frontRear, int overall, int centre = 0, int lfe = 0, int s = 0)
    {
        p.setParaVal(s, Pan51_c::paraLeftRight, leftRight);
        p.setParaVal(s, Pan51_c::paraFrontRear, frontRear);
        p.setParaVal(s, Pan51_c::paraOverall, overall);
        p.setParaVal(s, Pan51_c::paraCenter, centre);
        p.setParaVal(s, Pan51_c::paraLFE, lfe);
        p.cachePara(crParaChange, s, -1);
    }
    float gain(int g) const { return p.gains[g]; }
    void cycle()
    {
        in.prepCycle(Block);
        out.prepCycle(Block);
    }

    InBuffer2_c in;
    InBuffer2_c out;
    ParaSet_c* slot = nullptr;
    Pan51_c p{1.0f};
};

// The corner gains sqrt(x) x 1.4 x V per axis: 0.98 each at the centre at
// 0 dB, 1.96 V^2 at each corner of the map and nothing elsewhere; the overall
// level enters squared.
TEST_F(Pan51Fixture, CornerGainsOverThePositionMap)
{
    const float v6 = std::pow(1.0233738f, -30.0f); // -6 dB
    struct Case
    {
        const char* what;
        int leftRight;
        int frontRear;
        int overall;
        float fl, fr, rl, rr;
    };
    const float m = 0.98f;
    const float c = 1.96f;
    for (const Case k : {
             Case{"centre", 0, 0, 0, m, m, m, m},
             Case{"front left", -100, -100, 0, c, 0, 0, 0},
             Case{"front right", 100, -100, 0, 0, c, 0, 0},
             Case{"rear left", -100, 100, 0, 0, 0, c, 0},
             Case{"rear right", 100, 100, 0, 0, 0, 0, c},
             Case{"centre at -6 dB", 0, 0, -30, m * v6 * v6, m * v6 * v6, m * v6 * v6, m * v6 * v6},
             Case{"front right at -6 dB", 100, -100, -30, 0, c * v6 * v6, 0, 0},
             Case{"half right", 50, 0, 0, c * std::sqrt(0.125f), c * std::sqrt(0.375f), c * std::sqrt(0.125f),
                  c * std::sqrt(0.375f)},
             Case{"overall silent", 0, 0, -151, 0, 0, 0, 0},
         }) {
        SCOPED_TRACE(k.what);
        set(k.leftRight, k.frontRear, k.overall);
        EXPECT_NEAR(gain(Pan51_c::gainFL), k.fl, 1e-5f);
        EXPECT_NEAR(gain(Pan51_c::gainFR), k.fr, 1e-5f);
        EXPECT_NEAR(gain(Pan51_c::gainRL), k.rl, 1e-5f);
        EXPECT_NEAR(gain(Pan51_c::gainRR), k.rr, 1e-5f);
    }
}

// A corner gain below 0.00001 is silence, not a tiny leak.
TEST_F(Pan51Fixture, TinyCornerGainsBecomeSilence)
{
    set(99, 99, -150); // near the rear right corner at -30 dB
    EXPECT_EQ(gain(Pan51_c::gainFL), 0.0f);
    EXPECT_GT(gain(Pan51_c::gainFR), 0.0f);
    EXPECT_GT(gain(Pan51_c::gainRL), 0.0f);
    EXPECT_GT(gain(Pan51_c::gainRR), gain(Pan51_c::gainFR));
}

TEST_F(Pan51Fixture, CentreAndLfeFollowTheirLevels)
{
    set(0, 0, 0, 0, -301);
    EXPECT_FLOAT_EQ(gain(Pan51_c::gainC), 1.0f);
    EXPECT_EQ(gain(Pan51_c::gainLfe), 0.0f); // one step below -60 dB: silence
    set(0, 0, 0, -30, -300);
    EXPECT_NEAR(gain(Pan51_c::gainC), 0.5f, 0.01f);
    EXPECT_NEAR(gain(Pan51_c::gainLfe), 0.001f, 0.0001f);
}

TEST_F(Pan51Fixture, MonoInputReachesAllSixChannelsTimesTheScale)
{
    Pan51_c scaled(2.5f);
    scaled.setInBuf(&in);
    scaled.setOutBufFixed(&out, nullptr);
    scaled.getParaSetPtr(&slot, 2);
    scaled.setParaVal(0, Pan51_c::paraOverall, 0);
    scaled.setParaVal(0, Pan51_c::paraCenter, 0);
    scaled.cachePara(crParaChange, 0, -1);
    cycle();
    writeMono(in, Block, dc(0.4f));
    scaled.render(Block);
    const auto ch = channels(out, Block);
    ASSERT_EQ(ch.size(), 6u);
    const float s = 0.4f * 2.5f;
    const float expected[6] = {0.98f * s, 0.98f * s, s, scaled.gains[Pan51_c::gainLfe] * s, 0.98f * s, 0.98f * s};
    for (int c = 0; c < 6; ++c) {
        SCOPED_TRACE(c);
        EXPECT_NEAR(rms(ch[c]), expected[c], 1e-5);
    }
}

// Every piece length, mono and stereo input, into six channels and folded
// into the front pair, against the gains applied sample by sample on top of
// what the output bus already held.
TEST_F(Pan51Fixture, EveryLengthMatchesThePlainSpreadAndFold)
{
    Pan51_c scaled(1.5f);
    scaled.setInBuf(&in);
    scaled.setOutBufFixed(&out, nullptr);
    scaled.getParaSetPtr(&slot, 2);
    scaled.setParaVal(0, Pan51_c::paraLeftRight, -30);
    scaled.setParaVal(0, Pan51_c::paraFrontRear, 60);
    scaled.setParaVal(0, Pan51_c::paraOverall, -10);
    scaled.setParaVal(0, Pan51_c::paraCenter, -40);
    scaled.setParaVal(0, Pan51_c::paraLFE, -80);
    scaled.cachePara(crParaChange, 0, -1);
    float g[Pan51_c::gainCount];
    for (int k = 0; k < Pan51_c::gainCount; ++k)
        g[k] = scaled.gains[k];
    const Signal left = [](int i) { return std::sin(0.3f * static_cast<float>(i)) * 2.0f; };
    const Signal right = [](int i) { return static_cast<float>(i % 5) * 0.5f - 1.0f; };
    const Signal held = [](int i) { return 0.125f * static_cast<float>(i % 3); };
    for (bool fold : {false, true}) {
        scaled.setForceStereo(fold);
        for (bool stereo : {false, true}) {
            for (int n = 1; n <= Block; ++n) {
                SCOPED_TRACE(testing::Message() << (fold ? "folded" : "5.1") << ", "
                                                << (stereo ? "stereo" : "mono") << ", n " << n);
                in.prepCycle(n);
                out.prepCycle(n);
                if (stereo)
                    writeStereo(in, n, left, right);
                else
                    writeMono(in, n, left);
                writeStereo(out, n, held, held);
                scaled.render(n);
                const auto ch = channels(out, n);
                ASSERT_EQ(ch.size(), fold ? 2u : 6u);
                const float sideL = std::sqrt(g[0] * g[0] + g[2] * g[2] + 0.5f * g[4] * g[4]);
                const float sideR = std::sqrt(g[1] * g[1] + g[3] * g[3] + 0.5f * g[4] * g[4]);
                for (int i = 0; i < n; ++i) {
                    const float l = left(i) * 1.5f;
                    const float r = stereo ? right(i) * 1.5f : l;
                    const float mid = stereo ? 0.5f * (l + r) : l;
                    const float h = held(i);
                    const auto at = static_cast<size_t>(i);
                    if (fold) {
                        ASSERT_EQ(ch[0][at], h + sideL * 1.5f * left(i)) << i;
                        ASSERT_EQ(ch[1][at], h + sideR * 1.5f * (stereo ? right(i) : left(i))) << i;
                        continue;
                    }
                    // Stereo content spread over 5.1 reaches the surround
                    // pair too; centre and LFE start from silence.
                    const float want[6] = {h + g[0] * l,   h + g[1] * r,  0.0f + g[4] * mid,
                                           0.0f + g[5] * mid, h + g[2] * l, h + g[3] * r};
                    for (int c = 0; c < 6; ++c)
                        ASSERT_EQ(ch[static_cast<size_t>(c)][at], want[c]) << "channel " << c << ", " << i;
                }
            }
        }
    }
}

TEST_F(Pan51Fixture, StereoInputKeepsItsSidesAndFeedsCentreTheAverage)
{
    set(100, -100, 0, 0, 0); // front right, centre and LFE at 0 dB
    cycle();
    writeStereo(in, Block, dc(1.0f), dc(0.5f));
    p.render(Block);
    const auto ch = channels(out, Block);
    ASSERT_EQ(ch.size(), 6u);
    EXPECT_EQ(peak(ch[0]), 0.0f);                 // L
    EXPECT_NEAR(ch[1][5], 1.96f * 0.5f, 1e-5f);   // R
    EXPECT_NEAR(ch[2][5], 0.75f, 1e-6f);          // C
    EXPECT_NEAR(ch[3][5], 0.75f, 1e-6f);          // Lfe
    EXPECT_EQ(peak(ch[4]), 0.0f);                 // Ls
    EXPECT_EQ(peak(ch[5]), 0.0f);                 // Rs
}

TEST_F(Pan51Fixture, OnlyMonoOrStereoIntoA51Bus)
{
    set(0, 0, 0);
    // 5.1 input: nothing.
    cycle();
    float* six[6] = {};
    ASSERT_TRUE(in.wantWrite51(six));
    in.doneWrite51();
    p.render(Block);
    EXPECT_EQ(out.getWriteState(), wsUntouched);

    // A stereo output bus cannot take 5.1: nothing, and nothing breaks.
    InBuffer2_c stereoOut;
    makeBus(stereoOut, 2);
    p.setOutBufFixed(&stereoOut, nullptr);
    cycle();
    stereoOut.prepCycle(Block);
    writeMono(in, Block, dc(1.0f));
    p.render(Block);
    EXPECT_FALSE(stereoOut.hasContent());
}

TEST_F(Pan51Fixture, GainsFollowTheSetOfTheNoteButNotATempoChange)
{
    set(-100, -100, 0, 0, 0, 1); // set 1: front left
    set(0, 0, 0);                // set 0: centre
    p.setParaVal(0, Pan51_c::paraLeftRight, 100);
    p.cachePara(crTempoChange, 0, Pan51_c::paraLeftRight);
    EXPECT_NEAR(gain(Pan51_c::gainFL), 0.98f, 1e-5f);

    p.prepProc(1, noteOf(60, 100), false);
    EXPECT_NEAR(gain(Pan51_c::gainFL), 1.96f, 1e-5f);
    EXPECT_EQ(gain(Pan51_c::gainFR), 0.0f);
    // A set the module does not have changes nothing.
    p.cachePara(crParaChange, 7, -1);
    EXPECT_NEAR(gain(Pan51_c::gainFL), 1.96f, 1e-5f);
    // Without a set: the set last played.
    p.cachePara(crActivate, -1, -1);
    EXPECT_NEAR(gain(Pan51_c::gainFL), 1.96f, 1e-5f);
}

TEST_F(Pan51Fixture, ParametersAndTypeCode)
{
    ASSERT_NE(p.getParaSet(), nullptr);
    EXPECT_EQ(p.getParaSet()->getParaCount(), 6);
    const char* names[6] = {"Version", "LeftRight", "FrontRear", "Center Vol.", "LFE Vol.", "Overall Vol."};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(paraName(p, i), names[i]);
    struct Range
    {
        int idx, lo, hi, def;
    };
    for (const Range r : {Range{1, -100, 100, 0}, Range{2, -100, 100, 0}, Range{3, -301, 0, -300},
                          Range{4, -301, 0, -300}, Range{5, -151, 0, -30}}) {
        SCOPED_TRACE(r.idx);
        const Parameter_c* q = p.getParaPtr(1, r.idx);
        ASSERT_NE(q, nullptr);
        EXPECT_EQ(q->getLowValue(), r.lo);
        EXPECT_EQ(q->getHighValue(), r.hi);
        EXPECT_EQ(q->getDefValue(), r.def);
        EXPECT_EQ(q->value, r.def);
    }
    EXPECT_EQ(p.getTypeCode(), fourCC("VP51"));
    EXPECT_FLOAT_EQ(p.getScale(), 1.0f);
}

} // namespace
