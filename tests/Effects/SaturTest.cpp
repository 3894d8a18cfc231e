// The saturation stage and the never-rendered distortion: the soft clip's
// values, its in-place and adding forms, what it leaves alone, and the
// parameter tables both carry.
#include "DistSimp2.h"
#include "FilterTestRig.h"
#include "Satur.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace FilterTest;
using namespace SignalMeasure;

namespace {

struct SaturRig
{
    explicit SaturRig(int channels)
    {
        EXPECT_TRUE(bus.create("path", Block, channels, zeroBlock(), false, false));
        EXPECT_TRUE(other.create("other", Block, channels, zeroBlock(), false, false));
        EXPECT_TRUE(stage.getParaSetPtr(&slot, 1));
        stage.setSampleRate(44100.0f);
    }
    // Intense in hundredths, re-cached as a parameter change does.
    void intense(int v)
    {
        stage.setParaVal(0, SaturParas::pIntense, v);
        stage.cachePara(crParaChange, 0, -1);
    }

    // Opens the input bus, and the output bus unless the stage works in
    // place, for writing the test's signal.
    bool openForWriting(int channels, bool inPlace, float* (&in)[2], float* (&out)[2])
    {
        if (channels == 1)
            return bus.wantWriteMono(&in[0], false) && (inPlace || other.wantWriteMono(&out[0], false));
        return bus.wantWriteStereo(&in[0], &in[1]) && (inPlace || other.wantWriteStereo(&out[0], &out[1]));
    }

    InBuffer2_c bus;
    InBuffer2_c other;
    ParaSet_c* slot = nullptr;
    Satur_c stage;
};

// In place on the filter path's bus, as the voice runs it.
TEST(Satur, SoftClipValues)
{
    struct Case
    {
        int intense;
        float in;
        float out;
        float tolerance;
    };
    const Case cases[] = {
        {0, 0.5f, 0.5005f, 1e-7f},
        {0, -3.0f, -3.003f, 1e-6f},
        {100, 1.0f, 1.000001f, 1e-7f},
        {100, 100.0f, 1.0999f, 1e-4f},
        {100, -100.0f, -1.0999f, 1e-4f},
        {100, 0.0f, 0.0f, 0.0f},
        {25, 1.0f, 0.5f / 1.501f + 0.501f, 1e-6f},
    };
    for (int channels : {1, 2}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << channels << " channels, intense " << c.intense << ", in " << c.in);
            SaturRig r(channels);
            r.stage.setInBuf(&r.bus);
            r.stage.setOutBufFixed(&r.bus, nullptr);
            r.intense(c.intense);
            r.bus.prepCycle(16);
            float* p[2] = {};
            if (channels == 1) {
                ASSERT_TRUE(r.bus.wantWriteMono(&p[0], false));
                std::fill_n(p[0], 16, c.in);
                r.bus.doneWriteMono();
            } else {
                ASSERT_TRUE(r.bus.wantWriteStereo(&p[0], &p[1]));
                std::fill_n(p[0], 16, c.in);
                std::fill_n(p[1], 16, -c.in);
                r.bus.doneWriteStereo();
            }
            r.stage.render(16);
            EXPECT_NEAR(p[0][15], c.out, c.tolerance);
            if (channels == 2) {
                EXPECT_NEAR(p[1][15], -c.out, c.tolerance) << "odd symmetry";
            }
        }
    }
}

// At "Intense" 0 the stage takes a shortcut past the curve's division: its
// results must be the curve's to the last bit, in place and added into
// another bus, mono and stereo, for ordinary, huge, tiny and broken values.
TEST(Satur, IntenseZeroIsTheCurveExactly)
{
    const float inputs[8] = {0.5f, -3.0f, 1e30f, -1.5e-30f, 7.25f, -0.0f, std::nanf(""), 0.333333f};
    const float b = 1.001f;
    const auto same = [](float got, float want) { return std::isnan(want) ? std::isnan(got) : got == want; };
    for (int channels : {1, 2}) {
        for (bool inPlace : {true, false}) {
            SCOPED_TRACE(testing::Message() << channels << " channels, " << (inPlace ? "in place" : "adding"));
            SaturRig r(channels);
            r.stage.setInBuf(&r.bus);
            r.stage.setOutBufFixed(inPlace ? &r.bus : &r.other, nullptr);
            r.intense(0);
            r.bus.prepCycle(8);
            r.other.prepCycle(8);
            float* in[2] = {};
            float* out[2] = {};
            ASSERT_TRUE(r.openForWriting(channels, inPlace, in, out));
            for (int c = 0; c < channels; ++c) {
                std::copy_n(inputs, 8, in[c]);
                if (!inPlace)
                    std::fill_n(out[c], 8, 0.25f);
                else
                    out[c] = in[c];
            }
            for (InBuffer2_c* bus : {&r.bus, &r.other}) {
                if (bus == &r.other && inPlace)
                    continue;
                if (channels == 1)
                    bus->doneWriteMono();
                else
                    bus->doneWriteStereo();
            }
            r.stage.render(8);
            for (int c = 0; c < channels; ++c)
                for (int i = 0; i < 8; ++i) {
                    const float curve = Satur_c::shape(inputs[i], 0.0f, b);
                    const float want = inPlace ? curve : 0.25f + curve;
                    EXPECT_TRUE(same(out[c][i], want)) << "channel " << c << ", in " << inputs[i] << ": " << out[c][i]
                                                       << " for " << want;
                }
        }
    }
}

// The block form against the curve taken sample by sample: every length of
// a block, pieces starting off the buffers' alignment, in place and added,
// mono and stereo, on and off the shortcut. Equal to the bit.
TEST(Satur, EveryLengthAndOffsetMatchesTheCurve)
{
    float inputs[Block + 1]; // the right channel starts one further in
    uint32_t seed = 7;
    for (float& x : inputs) {
        seed = seed * 1664525u + 1013904223u;
        x = (static_cast<float>(seed >> 8) * (1.0f / 16777216.0f) - 0.5f) * ((seed & 7u) == 0 ? 400.0f : 3.0f);
    }
    for (int intense : {0, 37, 100}) {
        for (int channels : {1, 2}) {
            for (bool inPlace : {true, false}) {
                SaturRig r(channels);
                r.stage.setInBuf(&r.bus);
                r.stage.setOutBufFixed(inPlace ? &r.bus : &r.other, nullptr);
                r.intense(intense);
                const float a = r.stage.a;
                const float b = r.stage.b;
                for (int offset : {0, 1, 2, 3}) {
                    for (int n = 1; n + offset <= Block; ++n) {
                        SCOPED_TRACE(testing::Message() << "intense " << intense << ", " << channels << " channels, "
                                                        << (inPlace ? "in place" : "adding") << ", offset " << offset
                                                        << ", n " << n);
                        r.bus.prepCycle(n);
                        r.other.prepCycle(n);
                        r.bus.incOffs(offset);
                        r.other.incOffs(offset);
                        float* in[2] = {};
                        float* out[2] = {};
                        ASSERT_TRUE(r.openForWriting(channels, inPlace, in, out));
                        for (int c = 0; c < channels; ++c) {
                            std::copy_n(inputs + c, n, in[c]);
                            if (inPlace)
                                out[c] = in[c];
                            else
                                std::fill_n(out[c], n, 0.5f);
                        }
                        r.bus.doneWriteMono();
                        r.bus.doneWriteStereo();
                        if (!inPlace) {
                            r.other.doneWriteMono();
                            r.other.doneWriteStereo();
                        }
                        r.stage.render(n);
                        for (int c = 0; c < channels; ++c)
                            for (int i = 0; i < n; ++i) {
                                const float curve = Satur_c::shape(inputs[c + i], a, b);
                                ASSERT_EQ(out[c][i], inPlace ? curve : 0.5f + curve) << "channel " << c << ", " << i;
                            }
                    }
                }
            }
        }
    }
}

// The curve is odd and never falls, over the whole range at every setting.
TEST(Satur, CurveIsOddAndMonotonic)
{
    for (int intense : {0, 1, 50, 99, 100}) {
        SCOPED_TRACE(intense);
        const float a = std::sqrt(intense * 0.01f);
        const float b = 1.001f - a;
        float prev = -1e9f;
        for (float x = -200.0f; x <= 200.0f; x += 0.01f) {
            const float y = Satur_c::shape(x, a, b);
            EXPECT_EQ(Satur_c::shape(-x, a, b), -y);
            ASSERT_GE(y, prev) << x;
            prev = y;
        }
    }
}

// Into another bus the results are added to what it holds, left before
// right; a bus without content is left alone; the parameters that take no
// part in the sound change nothing.
TEST(Satur, AddsIntoAnotherBusAndLeavesSilenceAlone)
{
    SaturRig r(2);
    r.stage.setInBuf(&r.bus);
    r.stage.setOutBufFixed(&r.other, nullptr);
    r.intense(100);
    r.bus.prepCycle(8);
    r.other.prepCycle(8);
    float* in[2] = {};
    float* out[2] = {};
    ASSERT_TRUE(r.other.wantWriteStereo(&out[0], &out[1]));
    std::fill_n(out[0], 8, 1.0f);
    std::fill_n(out[1], 8, 2.0f);
    r.other.doneWriteStereo();
    ASSERT_TRUE(r.bus.wantWriteStereo(&in[0], &in[1]));
    std::fill_n(in[0], 8, 1.0f);
    std::fill_n(in[1], 8, -100.0f);
    r.bus.doneWriteStereo();
    r.stage.setParaVal(0, SaturParas::pMode, 2);
    r.stage.setParaVal(0, SaturParas::pOnOff, 0);
    r.stage.render(8);
    EXPECT_NEAR(out[0][7], 1.0f + 1.000001f, 1e-6f);
    EXPECT_NEAR(out[1][7], 2.0f - 1.0999f, 1e-4f);
    EXPECT_EQ(in[1][7], -100.0f) << "the input is not touched";

    r.bus.prepCycle(8);
    r.other.prepCycle(8);
    r.stage.render(8);
    EXPECT_FALSE(r.other.hasContent());
    EXPECT_EQ(r.other.getWriteState(), 0);
}

TEST(Satur, ParametersAndRestValues)
{
    SaturRig r(1);
    ParaSet_c* slot = nullptr;
    DistSimp2_c dist;
    ASSERT_TRUE(dist.getParaSetPtr(&slot, 1));
    const char* names[] = {"Version", "S0 On/Off", "Intense", "Unused"};
    for (int i = 0; i < SaturParas::ParaCount; ++i) {
        EXPECT_EQ(paraName(r.stage, i), names[i]);
        EXPECT_EQ(paraName(dist, i), i == 3 ? "Type " : names[i]);
    }
    const char* items[] = {"Hard", "Soft", "Modula"};
    for (int v = 0; v < 3; ++v) {
        r.stage.setParaVal(0, SaturParas::pMode, v);
        EXPECT_EQ(display(r.stage, SaturParas::pMode).substr(0, std::strlen(items[v])), items[v]);
    }
    EXPECT_EQ(r.stage.getTypeCode(), fourCC("VD01"));
    EXPECT_EQ(dist.getTypeCode(), fourCC("VD01"));
    EXPECT_TRUE(r.stage.getParaOn(0, SaturParas::pOnOff));

    r.intense(64);
    dist.setParaVal(0, SaturParas::pIntense, 36);
    EXPECT_FLOAT_EQ(r.stage.getModSampleDefault(0), 0.64f);
    EXPECT_FLOAT_EQ(dist.getModSampleDefault(0), 0.36f);
    EXPECT_EQ(r.stage.getModSampleDefault(1), 0.0f);
    EXPECT_FLOAT_EQ(r.stage.a, 0.8f);
    EXPECT_FLOAT_EQ(r.stage.b, 0.201f);
    // A tempo change does not re-cache.
    r.stage.setParaVal(0, SaturParas::pIntense, 0);
    r.stage.cachePara(crTempoChange, 0, -1);
    EXPECT_FLOAT_EQ(r.stage.a, 0.8f);

    float x = 0.0f;
    EXPECT_TRUE(dist.create(&x, &x));
    Satur_c bare;
    EXPECT_EQ(bare.getModSampleDefault(0), 0.0f);
    EXPECT_EQ(bare.a, 0.0f);
    EXPECT_EQ(bare.b, 1.0f);
}

} // namespace
