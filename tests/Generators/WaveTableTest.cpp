#include "SamplerTestRig.h"
#include "TestSupport.h"
#include "WaveTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <string>
#include <vector>

using SamplerTest::PanelRecorder;
using SamplerTest::writeSampleFile;
using TestSupport::TempDir;
using Tool::Disk::Path_c;

namespace {

constexpr int FrameSize = WaveTable_c::WTFrameSize;
constexpr double RootHz60 = 261.6255653005986; // note 60 from 8.1758 Hz

std::vector<float> tableCopy(const WaveTable_c& t)
{
    return std::vector<float>(t.getTable(), t.getTable() + WaveTable_c::WTTableSize);
}

// |DFT| of frame f at bin k.
double binOf(const std::vector<float>& table, int f, int k)
{
    std::complex<double> sum = 0.0;
    for (int i = 0; i < FrameSize; ++i)
        sum += static_cast<double>(table[f * FrameSize + i]) * std::polar(1.0, -2.0 * std::numbers::pi * k * i / FrameSize);
    return std::abs(sum);
}

struct Store
{
    Store() { EXPECT_TRUE(store.getParaSetPtr(&set, 1)); }
    void load(const std::string& file) { store.setParaCharPtr(0, WaveTable_c::wtFilename, file.c_str()); }
    ParaSet_c* set = nullptr;
    WaveTable_c store;
};

struct SawStore : ::testing::Test
{
    void SetUp() override
    {
        saw = SamplerTest::sawWave(Frames, RootHz60, 44100.0);
        file = dir.file("saw.d4t");
        writeSampleFile(file, saw, 44100);
        s.load(file);
        ASSERT_NE(s.store.getSample()->left, nullptr);
    }
    static constexpr int Frames = 44100;
    TempDir dir;
    std::vector<float> saw;
    std::string file;
    Store s;
};

} // namespace

TEST(WaveTable, StartsAsSineFrames)
{
    Store s;
    EXPECT_EQ(s.store.getTypeCode(), ProcTest::fourCC("WWT0"));
    const std::vector<float> t = tableCopy(s.store);
    for (int f : {0, 17, 63})
        for (int k = 0; k < FrameSize; k += 8)
            EXPECT_NEAR(t[f * FrameSize + k], std::sin(2.0 * std::numbers::pi * k / FrameSize), 1e-6) << f << " " << k;
    EXPECT_FLOAT_EQ(s.store.getDuration(), 1.0f);
    // The generator reads one point past the last frame: zeros.
    EXPECT_EQ(s.store.getTable()[WaveTable_c::WTTableSize], 0.0f);
}

TEST_F(SawStore, ASawtoothGivesOnePeriodPerFrame)
{
    const std::vector<float> t = tableCopy(s.store);
    for (int f = 0; f < WaveTable_c::WTFrames; ++f) {
        EXPECT_EQ(t[f * FrameSize], 0.0f) << "frame " << f << " starts at 0";
        const double fundamental = binOf(t, f, 1);
        for (int k = 2; k <= 8; ++k)
            EXPECT_LT(binOf(t, f, k), fundamental) << "frame " << f << " bin " << k;
        // A sawtooth's second harmonic is half its fundamental.
        EXPECT_NEAR(binOf(t, f, 2) / fundamental, 0.5, 0.1) << "frame " << f;
        float peak = 0.0f;
        for (int i = 0; i < FrameSize; ++i)
            peak = std::max(peak, std::fabs(t[f * FrameSize + i]));
        EXPECT_NEAR(peak, 1.0f, 0.011f) << "frame " << f << " at full scale";
    }
    EXPECT_NEAR(s.store.getDuration(), 1.0f, 1e-6f) << "the whole sample's length";
}

TEST_F(SawStore, AD4USourceBuildsTheSameTableAsItsD4TTwin)
{
    const std::string twin = dir.file("saw.d4u");
    writeSampleFile(twin, saw, 44100);
    Store j;
    j.load(twin);
    ASSERT_NE(j.store.getSample()->left, nullptr);
    EXPECT_FALSE(j.store.getSample()->jFlag) << "the source is held as plain samples";
    const std::vector<float> a = tableCopy(s.store), b = tableCopy(j.store);
    double worst = 0.0;
    for (size_t i = 0; i < a.size(); ++i)
        worst = std::max(worst, static_cast<double>(std::fabs(a[i] - b[i])));
    EXPECT_LT(worst, 1e-3);
}

TEST(WaveTable, ShortSourcesAndBadRatesLeaveTheTable)
{
    TempDir dir;
    Store s;
    const std::vector<float> sine = tableCopy(s.store);
    writeSampleFile(dir.file("short.d4t"), SamplerTest::sawWave(500, 441.0, 44100.0), 44100);
    s.load(dir.file("short.d4t"));
    ASSERT_EQ(s.store.getSample()->frames, 500);
    EXPECT_EQ(tableCopy(s.store), sine) << "500 frames build nothing";

    // A sample rate of 0 has no period to cut.
    WaveSample_c& src = *s.store.getSample();
    float *l = nullptr, *r = nullptr;
    ASSERT_TRUE(src.getBufferFor(4000, 1, &l, &r));
    for (int i = 0; i < 4000; ++i)
        l[i] = std::sin(0.1f * i);
    src.sampleRate = 0;
    s.store.forceSample2Table(0, 60, 0, 3999);
    EXPECT_EQ(tableCopy(s.store), sine);
}

TEST_F(SawStore, ANarrowRegionIsWidenedTo1024Frames)
{
    const std::vector<float> before = tableCopy(s.store);
    s.store.setParaVal(0, WaveTable_c::wtStartFrame, 995);
    EXPECT_FLOAT_EQ(s.store.getParaFl(0, WaveTable_c::wtStartFrame), 99.0f) << "End Frame - 1.0 %";
    const std::vector<float> after = tableCopy(s.store);
    EXPECT_NE(after, before) << "rebuilt from the last 1024 frames";
    for (int f = 0; f < WaveTable_c::WTFrames; f += 9)
        EXPECT_GT(binOf(after, f, 1), binOf(after, f, 3));

    s.store.setParaVal(0, WaveTable_c::wtStartFrame, 600);
    s.store.setParaVal(0, WaveTable_c::wtEndFrame, 500);
    EXPECT_FLOAT_EQ(s.store.getParaFl(0, WaveTable_c::wtEndFrame), 61.0f);
}

TEST_F(SawStore, ARootPeriodLongerThanTheRegionRepeatsOnePeriod)
{
    // Root 0: a period of 5394 frames, longer than a 1024-frame region.
    s.store.forceSample2Table(0, 0, 1000, 2023);
    const std::vector<float> t = tableCopy(s.store);
    for (int f = 1; f < WaveTable_c::WTFrames; ++f)
        for (int i = 0; i < FrameSize; ++i)
            ASSERT_EQ(t[f * FrameSize + i], t[i]) << f << " " << i;
}

TEST_F(SawStore, ClearingReturnsToSines)
{
    s.store.setParaCharPtr(0, WaveTable_c::wtFilename, "");
    Store fresh;
    EXPECT_EQ(tableCopy(s.store), tableCopy(fresh.store));
    EXPECT_FLOAT_EQ(s.store.getDuration(), 1.0f);
    EXPECT_EQ(s.store.getSample()->left, nullptr);
}

TEST_F(SawStore, TrimReturnsTheLengthFactor)
{
    s.store.setParaVal(0, WaveTable_c::wtStartFrame, 250);
    s.store.setParaVal(0, WaveTable_c::wtEndFrame, 750);
    const int start = static_cast<int>(std::floor((Frames - 1) * 0.25 + 0.25));
    const int end = static_cast<int>(std::floor((Frames - 1) * 0.75 + 0.25));
    const std::string target = dir.file("cut.aif");
    const float f = s.store.trimTo(0, Path_c(target.c_str()), false);
    EXPECT_FLOAT_EQ(f, static_cast<float>(end - start + 1) / Frames);
    EXPECT_EQ(s.store.getSample()->frames, end - start + 1);
    EXPECT_FLOAT_EQ(s.store.getParaFl(0, WaveTable_c::wtStartFrame), 0.0f);
    EXPECT_FLOAT_EQ(s.store.getParaFl(0, WaveTable_c::wtEndFrame), 100.0f);
    EXPECT_NEAR(s.store.getDuration(), (end - start + 1) / 44100.0f, 1e-6f);
}

TEST_F(SawStore, AFailedTrimChangesNothing)
{
    PanelRecorder panels;
    s.store.setParaVal(0, WaveTable_c::wtStartFrame, 250);
    const std::vector<float> table = tableCopy(s.store);
    const std::string target = dir.file("missing-folder/cut.aif");
    EXPECT_EQ(s.store.trimTo(0, Path_c(target.c_str()), false), 1.0f);
    EXPECT_EQ(s.store.getSample()->frames, Frames);
    EXPECT_EQ(tableCopy(s.store), table);
    ASSERT_EQ(panels.panels.size(), 1u);
    EXPECT_EQ(panels.panels[0].title, "File Error - Save failed");
}

TEST(WaveTable, FailedLoadKeepsTheTableAndTells)
{
    PanelRecorder panels;
    TempDir dir;
    Store s;
    const std::vector<float> before = tableCopy(s.store);
    s.load(dir.file("nothing.wav"));
    EXPECT_EQ(tableCopy(s.store), before);
    ASSERT_EQ(panels.panels.size(), 1u);
    EXPECT_EQ(panels.panels[0].title, "File Error - Load failed");
}

TEST(WaveTable, MixingTwoPeriods)
{
    const float ramp[11] = {0, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 1.0f};
    const float one[11] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    float dst[6] = {};
    WaveTable_c::mixToWTWave(ramp, 11, 0.5f, one, 11, 0.5f, dst, 6);
    // Points every (11 - 1) x 0.9999 / 5 frames.
    for (int k = 0; k < 6; ++k)
        EXPECT_NEAR(dst[k], 0.5 * (k * 10 * 0.9999 / 5) * 0.1 + 0.5, 1e-6) << k;
    WaveTable_c::mixToWTWave(one, 11, 2.0f, one, 11, 2.0f, dst, 6);
    for (float v : dst)
        EXPECT_EQ(v, 1.0f) << "clamped";
    float untouched[2] = {7.0f, 7.0f};
    WaveTable_c::mixToWTWave(one, 0, 1.0f, one, 11, 1.0f, untouched, 2);
    EXPECT_EQ(untouched[0], 7.0f);
}
