#include "SampleInfo.h"
#include "SampleTestStore.h"
#include "WaveBase.h"
#include "WaveSample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

TEST(SampleInfo, CodeFields)
{
    SampleInfo_c i;
    i.set(3, 17, SampleInfo_c::kindVirtual);
    EXPECT_EQ(i.getCode(), (3 * 1000 + 17) * 4 + 2);
    EXPECT_EQ(i.getInsIdx(), 3);
    EXPECT_EQ(i.getSampleIdx(), 17);
    EXPECT_TRUE(i.isVirtual());
    int master = 0;
    i.setVirtual(&master);
    EXPECT_EQ(i.getMasterPtr(), &master);
    i.setMaster();
    EXPECT_TRUE(i.isMaster());
    EXPECT_TRUE(i.isSpecial());
    EXPECT_EQ(i.getMasterPtr(), nullptr);
    EXPECT_EQ(i.getSampleIdx(), 17);
    i.setNormal();
    EXPECT_EQ(i.getCode(), (3 * 1000 + 17) * 4);
}

// The offset removal leaves buffers under 41 samples alone; from 41 on, the
// ramps are a quarter of the buffer long and the whole offset goes.
TEST(WaveBase, MakeSymLengths)
{
    WaveBase_c tools;
    const struct { int n; int ramp; } cases[] = {{40, 0}, {41, 10}, {200, 40}, {2000, 100}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        std::vector<float> buf(size_t(c.n), 0.3f);
        tools.makeSym(buf.data(), c.n);
        if (c.ramp == 0) {
            EXPECT_EQ(buf, std::vector<float>(size_t(c.n), 0.3f));
            continue;
        }
        const double sum = std::accumulate(buf.begin(), buf.end(), 0.0);
        EXPECT_NEAR(sum, 0.0, 1e-4);
        const double d = 0.3 * c.n / (c.n - c.ramp);
        const double g = 1.0 / (d + 1.0);
        EXPECT_NEAR(buf[0], 0.3 * g, 1e-6);               // the offset fades in
        EXPECT_NEAR(buf[size_t(c.ramp)], (0.3 - d) * g, 1e-6); // full offset from the ramp's end
        EXPECT_NEAR(buf[size_t(c.n - c.ramp)], (0.3 - d) * g, 1e-6);
    }
}

TEST(WaveBase, LevelTools)
{
    WaveBase_c tools;
    std::vector<float> mono = {0.1f, -0.995f, 0.5f};
    tools.norm0dBPeak(mono.data(), 3);
    EXPECT_EQ(mono[1], -0.995f); // within the 1 % window: unchanged
    std::vector<float> l = {0.1f, -0.995f}, r = {0.2f, 0.3f};
    tools.norm0dBPeak(l.data(), r.data(), 2);
    EXPECT_FLOAT_EQ(l[1], -1.0f); // the stereo form always scales
    EXPECT_FLOAT_EQ(r[1], 0.3f / 0.995f);

    std::vector<float> loud = {2.0f, -4.0f, 1.0f};
    tools.limit0dBPeak(loud.data(), 3);
    EXPECT_FLOAT_EQ(loud[1], -1.0f);
    EXPECT_FLOAT_EQ(loud[0], 0.5f);

    std::vector<float> t = {0.0f, 0.001f, 0.5f, 0.25f};
    EXPECT_EQ(tools.trimStart(t.data(), 4, 0.0f), 0); // nothing above 0 dB
    EXPECT_EQ(t[2], 0.5f);
    EXPECT_EQ(tools.trimStart(t.data(), 4, -20.0f), 2);
    EXPECT_EQ(t[0], 0.5f);
    EXPECT_EQ(t[1], 0.25f);

    std::vector<float> x = {1, 2, 3, 4};
    tools.changeToJ(x.data(), 4);
    EXPECT_EQ(x, (std::vector<float>{1, 3, 6, 10}));
    tools.changeFromJ(x.data(), 4);
    EXPECT_EQ(x, (std::vector<float>{1, 2, 3, 4}));
}

namespace {

void fill(WaveSample_c& s, int frames, int channels)
{
    float *l = nullptr, *r = nullptr;
    ASSERT_TRUE(s.getBufferFor(frames, channels, &l, &r));
    for (int i = 0; i < frames; ++i) {
        l[i] = float(i);
        if (r)
            r[i] = float(100 + i);
    }
}

} // namespace

TEST(WaveSample, Reversals)
{
    WaveSample_c s;
    fill(s, 6, 2);
    // J data reversed twice is the data it started from, and reversed once
    // it is the running sum of the reversed plain signal.
    const std::vector<float> plain = {0.5f, -0.25f, 1.0f, 0.0f, -1.0f, 0.75f};
    std::copy(plain.begin(), plain.end(), s.left);
    WaveBase_c tools;
    tools.changeToJ(s.left, 6);
    const std::vector<float> j(s.left, s.left + 6);
    s.setReversed(true, true);
    std::vector<float> reversedPlain(plain.rbegin(), plain.rend());
    tools.changeToJ(reversedPlain.data(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_NEAR(s.left[i], reversedPlain[size_t(i)], 1e-6f) << i;
    s.setReversed(false, true);
    for (int i = 0; i < 6; ++i)
        EXPECT_NEAR(s.left[i], j[size_t(i)], 1e-6f) << i;

    s.setReversed(true, false);
    EXPECT_EQ(s.right[0], 105.0f);
    s.setReversed(true, false); // already reversed: nothing
    EXPECT_EQ(s.right[0], 105.0f);
    EXPECT_EQ(s.reversedFlag, 1);
}

TEST(WaveSample, TrimMonoAndLevels)
{
    WaveSample_c s;
    fill(s, 10, 2);
    s.trim(2, 5);
    EXPECT_EQ(s.frames, 4);
    EXPECT_EQ(s.start, 0);
    EXPECT_EQ(s.end, 3);
    EXPECT_EQ(s.dataBytes, 16); // 40 bytes for 10 frames, so 4 per frame
    EXPECT_EQ(s.left[0], 2.0f);
    EXPECT_EQ(s.right[3], 105.0f);
    s.trim(3, 4); // beyond the frames: nothing
    EXPECT_EQ(s.frames, 4);
    s.forceMono();
    EXPECT_EQ(s.channels, 1);
    EXPECT_EQ(s.right, nullptr);
    EXPECT_EQ(s.left[0], 52.0f);
    EXPECT_EQ(s.getMaxLevel(s.left, 0, 3), 55.0f);
    EXPECT_EQ(s.getMaxLevel(s.left, 3, 0), 0.0f);
    EXPECT_EQ(s.getSymLevel(s.left, 0, 3), 27.5f); // min starts at 0

    const uint8_t pcm[] = {0xFF, 0x7F, 0x00, 0x80, 0x00, 0x00};
    ASSERT_TRUE(s.setSample(pcm, 3));
    EXPECT_EQ(s.left[0], 1.0f);
    EXPECT_EQ(s.left[1], -1.0f);
    EXPECT_EQ(s.channels, 1);
    EXPECT_EQ(s.dataBytes, 6);
}

TEST(WaveSample, ZeroCrossings)
{
    WaveSample_c s;
    float *l = nullptr, *r = nullptr;
    ASSERT_TRUE(s.getBufferFor(10, 1, &l, &r));
    const float wave[10] = {0.5f, 0.4f, 0.2f, -0.1f, -0.3f, -0.2f, 0.1f, 0.3f, 0.2f, 0.1f};
    std::copy(wave, wave + 10, l);
    EXPECT_TRUE(s.ZeroCrossAt(false, false, l, 0));
    EXPECT_FALSE(s.ZeroCrossAt(false, false, l, 9));  // the last index never is
    EXPECT_TRUE(s.ZeroCrossAt(false, false, l, 6));   // rising
    EXPECT_FALSE(s.ZeroCrossAt(false, false, l, 3));  // falling, only with both
    EXPECT_TRUE(s.ZeroCrossAt(false, true, l, 3));
    EXPECT_TRUE(s.ZeroCrossAt(true, false, l, 4));    // local minimum
    EXPECT_FALSE(s.ZeroCrossAt(true, false, l, 7));   // maximum, only with both
    EXPECT_TRUE(s.ZeroCrossAt(true, true, l, 7));
    int pos = 5;
    EXPECT_TRUE(s.matchClosestZeroCrossLM(false, false, &pos));
    EXPECT_EQ(pos, 6);
    pos = 4;
    EXPECT_TRUE(s.matchClosestZeroCrossLM(false, true, &pos));
    EXPECT_EQ(pos, 3); // pos - d comes before pos + d
    pos = 5;
    EXPECT_FALSE(s.matchClosestZeroCrossR(false, false, &pos)); // no right channel
    EXPECT_EQ(pos, 5);
}

// One file in three zones holds one copy. Editing the master leaves the
// editor its data, makes the second zone master with a copy and the third
// virtual on it; editing the second then gives the third its own copy.
TEST(WaveSample, SharingHandOver)
{
    const float data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    SampleTestStore<3> store;
    for (int z = 0; z < 3; ++z)
        store.load(z, "/samples/kick.wav", data, 8);
    WaveSample_c &a = store.zones[0], &b = store.zones[1], &c = store.zones[2];
    EXPECT_TRUE(a.info.isMaster());
    EXPECT_TRUE(b.info.isVirtual());
    EXPECT_EQ(b.left, a.left);
    EXPECT_EQ(c.info.getMasterPtr(), &a);
    EXPECT_EQ(c.frames, 8);

    float* const aData = a.left;
    store.reverse(0, true);
    EXPECT_TRUE(a.info.isNormal());
    EXPECT_EQ(a.left, aData);
    EXPECT_EQ(a.left[0], 8.0f);
    EXPECT_TRUE(b.info.isMaster());
    EXPECT_NE(b.left, aData);
    EXPECT_EQ(b.left[0], 1.0f); // a copy in file order
    EXPECT_TRUE(c.info.isVirtual());
    EXPECT_EQ(c.info.getMasterPtr(), &b);
    EXPECT_EQ(c.left, b.left);

    store.reverse(1, true);
    EXPECT_TRUE(b.info.isNormal());
    EXPECT_TRUE(c.info.isNormal());
    EXPECT_NE(c.left, b.left);
    EXPECT_EQ(c.left[0], 1.0f);
    EXPECT_EQ(b.left[0], 8.0f);

    // Freeing a master hands its role on too: the borrower keeps sounding.
    SampleTestStore<2> two;
    two.load(0, "/samples/snare.wav", data, 8);
    two.load(1, "/samples/snare.wav", data, 8);
    two.zones[0].freeSample();
    EXPECT_EQ(two.zones[0].left, nullptr);
    EXPECT_TRUE(two.zones[1].info.isNormal());
    EXPECT_EQ(two.zones[1].left[7], 8.0f);
}
