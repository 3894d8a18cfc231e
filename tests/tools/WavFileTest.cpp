// The host's WAV writer and level report.
#include "host/WavFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

TEST(WavFile, WritesEveryChannelAndReportsItsLevels)
{
    TestSupport::TempDir dir;
    const std::string path = dir.file("out.wav");
    Host::WavWriter_c wav;
    std::string error;
    ASSERT_TRUE(wav.open(path, 3, 44100, error)) << error;
    std::vector<float> a(100, 0.5f), b(100, -0.25f), c(100, 0.0f);
    c[7] = -1.0f;
    const float* block[] = {a.data(), b.data(), c.data()};
    ASSERT_TRUE(wav.write(block, 100));
    ASSERT_TRUE(wav.write(block, 60));
    EXPECT_FALSE(std::filesystem::exists(path)) << "the name appears only when the file is complete";
    ASSERT_TRUE(wav.finish(error)) << error;
    EXPECT_FALSE(std::filesystem::exists(path + ".part"));

    Host::WavStats stats;
    ASSERT_TRUE(Host::readWavStats(path, stats, error)) << error;
    EXPECT_EQ(stats.frames, 160);
    EXPECT_EQ(stats.channels, 3);
    EXPECT_EQ(stats.sampleRate, 44100);
    ASSERT_EQ(stats.perChannel.size(), 3u);
    EXPECT_DOUBLE_EQ(stats.perChannel[0].peak, 0.5);
    EXPECT_NEAR(stats.perChannel[0].rms, 0.5, 1e-9);
    EXPECT_NEAR(stats.perChannel[1].rms, 0.25, 1e-9);
    EXPECT_DOUBLE_EQ(stats.perChannel[2].peak, 1.0);
    EXPECT_NEAR(stats.perChannel[2].rms, std::sqrt(2.0 / 160.0), 1e-9); // sample 7 in both blocks
    EXPECT_DOUBLE_EQ(stats.all.peak, 1.0);
}

TEST(WavFile, FailuresLeaveNoFileBehind)
{
    TestSupport::TempDir dir;
    std::string error;
    {
        Host::WavWriter_c wav;
        EXPECT_FALSE(wav.open(dir.file("missing/out.wav"), 2, 48000, error));
        EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
        EXPECT_FALSE(wav.open(dir.file("out.wav"), 0, 48000, error)) << "a plug-in without outputs";
    }
    {
        Host::WavWriter_c wav;
        ASSERT_TRUE(wav.open(dir.file("abandoned.wav"), 1, 48000, error)) << error;
        const float silence[4] = {};
        const float* block[] = {silence};
        ASSERT_TRUE(wav.write(block, 4));
    } // destroyed unfinished
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

    Host::WavStats stats;
    TestSupport::writeFile(dir.file("not.wav"), "RIFF but not really");
    EXPECT_FALSE(Host::readWavStats(dir.file("not.wav"), stats, error));
}
