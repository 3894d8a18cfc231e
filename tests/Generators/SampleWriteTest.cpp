#include "TestSupport.h"
#include "WaveSample.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/resource.h>
#include <vector>

using Tool::Disk::Path_c;
using TestSupport::readFile;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

Path_c path(const std::string& s)
{
    return Path_c(s.c_str());
}

uint32_t be32(const std::string& b, size_t at)
{
    return (uint32_t(uint8_t(b[at])) << 24) | (uint32_t(uint8_t(b[at + 1])) << 16) | (uint32_t(uint8_t(b[at + 2])) << 8)
         | uint8_t(b[at + 3]);
}

void makeSample(WaveSample_c& s, int frames, int channels, int rate)
{
    float *l = nullptr, *r = nullptr;
    ASSERT_TRUE(s.getBufferFor(frames, channels, &l, &r));
    for (int i = 0; i < frames; ++i) {
        l[i] = std::sin(0.05f * i) * 0.9f;
        if (r)
            r[i] = -0.5f + float(i % 100) / 100.0f;
    }
    s.sampleRate = rate;
}

std::vector<std::string> folderNames(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (const dirent* e = readdir(d))
            if (e->d_name[0] != '.')
                names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

} // namespace

TEST(SampleWrite, Codes24Bit)
{
    const struct { float x; int32_t code; } cases[] = {
        {1.0f, 0x7FFFFF}, {-1.0f, 0x800000}, {0.0f, 0x000000}, {0.5f, 0x3FFFFF},
        {-0.5f, 0xBFFFFF}, {1.0001f, 0x7FFFFF}, {-3.0f, 0x800000}, {NAN, 0}, {INFINITY, 0x7FFFFF},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WaveSample_c::encode24(c.x), c.code) << c.x;
}

// A mono AIFF of 3 frames: 9 data bytes, an SSND size of 17, one pad byte,
// 64 bytes in all with a FORM size of 56, and the 44.1 kHz rate in 80 bits.
TEST(SampleWrite, ThreeFrameAiff)
{
    TempDir dir;
    WaveSample_c s;
    makeSample(s, 3, 1, 44100);
    s.left[0] = 1.0f;
    s.left[1] = -1.0f;
    s.left[2] = 0.0f;
    ASSERT_EQ(s.savePlatformSample(path(dir.file("t.aif"))), 3);
    const std::string b = readFile(dir.file("t.aif"));
    ASSERT_EQ(b.size(), 64u);
    EXPECT_EQ(b.substr(0, 4), "FORM");
    EXPECT_EQ(be32(b, 4), 56u);
    EXPECT_EQ(b.substr(8, 8), "AIFFCOMM");
    EXPECT_EQ(be32(b, 16), 18u);
    EXPECT_EQ(be32(b, 22), 3u);
    EXPECT_EQ(b.substr(28, 6), std::string("\x40\x0E\xAC\x44\x00\x00", 6));
    EXPECT_EQ(b.substr(38, 4), "SSND");
    EXPECT_EQ(be32(b, 42), 17u);
    EXPECT_EQ(b.substr(54, 10), std::string("\x7F\xFF\xFF\x80\x00\x00\x00\x00\x00\x00", 10));
    WaveSample_c back;
    ASSERT_TRUE(back.setSample(path(dir.file("t.aif"))));
    EXPECT_EQ(back.sampleRate, 44100);
    EXPECT_EQ(back.left[1], -1.0f);
}

// AIFF and WAV files read back, by our reader and by libsndfile, within two
// 24-bit steps (the code truncates, and it scales by 2^23 - 1 where readers
// divide by 2^23); rates across the exponent's range survive too.
TEST(SampleWrite, RoundTripThroughReaders)
{
    TempDir dir;
    const double lsb = 2.0 / 8388608.0;
    for (const int rate : {8000, 44100, 96000, 192000}) {
        for (const char* name : {"s.aif", "s.wav"}) {
            SCOPED_TRACE(std::string(name) + " at " + std::to_string(rate));
            WaveSample_c s;
            makeSample(s, 1001, 2, rate);
            const std::string file = dir.file(name);
            const bool aiff = name[2] == 'a';
            ASSERT_EQ(aiff ? s.savePlatformSample(path(file)) : s.saveWAVSample(path(file)), 1001);

            SF_INFO info{};
            SNDFILE* f = sf_open(file.c_str(), SFM_READ, &info);
            ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
            std::vector<float> ref(size_t(info.frames * info.channels));
            sf_readf_float(f, ref.data(), info.frames);
            sf_close(f);
            ASSERT_EQ(info.frames, 1001);
            ASSERT_EQ(info.channels, 2);
            EXPECT_EQ(info.samplerate, rate);

            WaveSample_c back;
            ASSERT_TRUE(back.setSample(path(file)));
            EXPECT_EQ(back.sampleRate, rate);
            EXPECT_EQ(back.resolution, 24);
            for (int i = 0; i < 1001; ++i) {
                ASSERT_NEAR(back.left[i], s.left[i], lsb) << i;
                ASSERT_NEAR(back.right[i], s.right[i], lsb) << i;
                ASSERT_NEAR(ref[size_t(2 * i)], s.left[i], lsb) << i;
            }
        }
    }
}

TEST(SampleWrite, Refusals)
{
    TempDir dir;
    const std::string file = dir.file("r.aif");
    WaveSample_c empty;
    EXPECT_EQ(empty.savePlatformSample(path(file)), -400);
    EXPECT_EQ(empty.saveWAVSample(path(file)), -400);
    EXPECT_EQ(empty.saveD4TSample(path(file)), -162);

    WaveSample_c noRate;
    makeSample(noRate, 10, 1, 0);
    EXPECT_EQ(noRate.savePlatformSample(path(file)), SampleCode::NoRate);
    EXPECT_EQ(noRate.saveWAVSample(path(file)), SampleCode::NoRate);
    EXPECT_EQ(noRate.saveD4TSample(path(file)), SampleCode::NoRate);

    WaveSample_c fast;
    makeSample(fast, 10, 1, WaveSample_c::D4TMaxRate);
    EXPECT_EQ(fast.saveD4TSample(path(file)), SampleCode::D4TRateTooHigh);
    fast.sampleRate = WaveSample_c::D4TMaxRate - 1;
    EXPECT_EQ(fast.saveD4TSample(path(file)), 10);

    // The size test comes before any data is touched, so a short buffer with
    // a large frame count shows it without a gigabyte of memory.
    WaveSample_c big;
    makeSample(big, 10, 1, 44100);
    big.frames = int32_t(WaveSample_c::D4TMaxPayload / 4);
    EXPECT_EQ(big.saveD4TSample(path(file)), SampleCode::D4TTooLarge);
    big.frames = 10;

    WaveSample_c three;
    makeSample(three, 10, 2, 44100);
    three.channels = 3;
    EXPECT_EQ(three.savePlatformSample(path(file)), -490);
    three.channels = 2;

    EXPECT_EQ(three.savePlatformSample(path(dir.file("missing/r.aif"))), -5);
    EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>{"r.aif"}); // only the good D4T save
}

// A reversed sample is written in file order and stays reversed in memory,
// also when the save fails.
TEST(SampleWrite, ReversedSampleSavedInFileOrder)
{
    TempDir dir;
    for (const bool j : {false, true}) {
        SCOPED_TRACE(j ? "J data" : "plain data");
        WaveSample_c s;
        makeSample(s, 50, 1, 44100);
        const std::vector<float> fileOrder(s.left, s.left + 50);
        s.jFlag = j;
        s.setReversed(true, j);
        const std::vector<float> reversed(s.left, s.left + 50);

        ASSERT_EQ(s.saveD4TSample(path(dir.file("r.d4t"))), 50);
        EXPECT_EQ(s.savePlatformSample(path(dir.file("nowhere/r.aif"))), -5);
        EXPECT_EQ(s.reversedFlag, 1);
        for (int i = 0; i < 50; ++i)
            ASSERT_NEAR(s.left[i], reversed[size_t(i)], 1e-5f) << i;

        WaveSample_c back;
        ASSERT_TRUE(back.setSample(path(dir.file("r.d4t"))));
        for (int i = 0; i < 50; ++i)
            ASSERT_NEAR(back.left[i], fileOrder[size_t(i)], 1e-5f) << i;
    }
}

// A save that runs out of room reports the failure and leaves the file it
// was to replace as it was, with no temporary file left behind. The room is
// taken by a file-size limit, which binds every user, root included.
TEST(SampleWrite, FailedSaveKeepsOldFile)
{
    TempDir dir;
    const std::string old = "old file contents";
    WaveSample_c s;
    makeSample(s, 100000, 2, 44100);

    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &previous);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const struct { const char* name; int (WaveSample_c::*save)(const Path_c&); } writers[] = {
        {"s.aif", &WaveSample_c::savePlatformSample},
        {"s.wav", &WaveSample_c::saveWAVSample},
        {"s.d4t", &WaveSample_c::saveD4TSample},
    };
    for (const auto& w : writers) {
        SCOPED_TRACE(w.name);
        const std::string file = dir.file(w.name);
        writeFile(file, old);
        rlimit small = saved;
        small.rlim_cur = 64 * 1024;
        setrlimit(RLIMIT_FSIZE, &small);
        const int r = (s.*w.save)(path(file));
        setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_LT(r, 0);
        EXPECT_EQ(readFile(file), old);
    }
    sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_EQ(folderNames(dir.path()).size(), 3u);
}
