// The bank's generated samples: every file reads back through the
// instrument's own sample reader with its frames, rate and loop; tones sound
// at the pitch their names promise; a rebuild writes the same bytes.
#include "SampleForge.h"

#include "TestSupport.h"
#include "WaveSample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

using namespace Bank;

namespace {

std::vector<char> bytesOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The fundamental by autocorrelation over 100 ms from `at` seconds: the lag
// of the strongest peak between 40 Hz and 2 kHz, refined between samples.
double fundamentalHz(const std::vector<float>& x, double at)
{
    const size_t start = static_cast<size_t>(at * SampleRate);
    const size_t n = static_cast<size_t>(0.1 * SampleRate);
    if (start + n + SampleRate / 40 >= x.size())
        return 0.0;
    auto r = [&](size_t lag) {
        double sum = 0.0;
        for (size_t i = 0; i < n; ++i)
            sum += static_cast<double>(x[start + i]) * x[start + i + lag];
        return sum;
    };
    size_t best = 0;
    double bestValue = 0.0;
    for (size_t lag = SampleRate / 2000; lag <= SampleRate / 40; ++lag) {
        const double v = r(lag);
        // The first lag that comes within 2 % of the largest is the period
        // (its multiples correlate as well).
        if (v > bestValue * 1.02) {
            bestValue = v;
            best = lag;
        }
    }
    if (best < 2)
        return 0.0;
    const double a = r(best - 1), b = r(best), c = r(best + 1);
    const double shift = 0.5 * (a - c) / (a - 2.0 * b + c);
    return SampleRate / (static_cast<double>(best) + shift);
}

} // namespace

TEST(SampleForge, EveryFileReadsBackThroughTheInstrumentsOwnReader)
{
    TestSupport::TempDir dir;
    const std::vector<GeneratedSample> catalogue = renderSampleCatalogue();
    ASSERT_EQ(catalogue.size(), sampleCatalogueNames().size());
    for (const GeneratedSample& s : catalogue) {
        std::string error;
        ASSERT_TRUE(writeWav24(dir.file(s.file), s, error)) << error;
        WaveSample_c read;
        const int frames = read.loadSampleFile(Tool::Disk::Path_c(dir.file(s.file)));
        ASSERT_EQ(frames, static_cast<int>(s.frames.size())) << s.file;
        EXPECT_EQ(read.channels, 1) << s.file;
        EXPECT_EQ(read.resolution, 24) << s.file;
        EXPECT_EQ(read.sampleRate, SampleRate) << s.file;
        EXPECT_EQ(read.hasLoop != 0, s.looped) << s.file;
        if (s.looped) {
            EXPECT_EQ(read.loopStart, s.loop.start) << s.file;
            EXPECT_LT(s.loop.start, s.loop.end) << s.file;
            EXPECT_LT(s.loop.end, static_cast<int64_t>(s.frames.size())) << s.file;
        }
        float peak = 0.0f;
        for (int i = 0; i < read.frames; ++i)
            peak = std::max(peak, std::fabs(read.left[i]));
        EXPECT_NEAR(20.0 * std::log10(peak), -1.0, 0.05) << s.file << " peaks at -1 dBFS";
        EXPECT_LT(std::fabs(read.left[0]), 0.01f) << s.file << " starts without a click";
        EXPECT_LT(std::fabs(read.left[read.frames - 1]), 0.01f) << s.file << " ends without a click";
    }
}

TEST(SampleForge, TonesSoundAtThePitchTheirNamesGive)
{
    // The names count octaves as the instrument does: middle C (key 60) is
    // C3. Looped tones hold their pitch through the loop.
    const std::map<std::string, int> keys{
        {"Vowel Ah C2.wav", 48},    {"Vowel Oo C3.wav", 60},   {"Harmonic Sweep C3.wav", 60},
        {"Pluck C1.wav", 36},       {"Pluck C4.wav", 72},      {"Strings C2.wav", 48},
        {"Strings C4.wav", 72},     {"Tine Piano C2.wav", 48}, {"Tine Piano C4.wav", 72},
    };
    std::vector<std::string> names;
    for (const auto& [name, key] : keys)
        names.push_back(name);
    size_t checked = 0;
    for (const GeneratedSample& s : renderSampleCatalogue(names)) {
        const auto it = keys.find(s.file);
        ASSERT_NE(it, keys.end()) << s.file;
        ++checked;
        EXPECT_EQ(s.rootKey, it->second) << s.file;
        const double want = noteHz(it->second);
        const double at = s.looped ? static_cast<double>(s.loop.start) / SampleRate + 0.05 : 0.3;
        const double got = fundamentalHz(s.frames, at);
        EXPECT_NEAR(1200.0 * std::log2(got / want), 0.0, 15.0) << s.file << ": " << got << " Hz for " << want;
    }
    EXPECT_EQ(checked, keys.size());
}

TEST(SampleForge, ARebuildWritesTheSameBytes)
{
    // The samples with noise and random phases in them, rendered and written
    // twice.
    const std::vector<std::string> names{"Breath Noise.wav", "Drum Snare.wav", "Pluck C2.wav", "Vowel Ah C2.wav"};
    const std::vector<GeneratedSample> first = renderSampleCatalogue(names);
    const std::vector<GeneratedSample> second = renderSampleCatalogue(names);
    ASSERT_EQ(first.size(), names.size());
    ASSERT_EQ(second.size(), names.size());
    TestSupport::TempDir dir;
    for (size_t k = 0; k < names.size(); ++k) {
        std::string error;
        ASSERT_TRUE(writeWav24(dir.file("a.wav"), first[k], error)) << error;
        ASSERT_TRUE(writeWav24(dir.file("b.wav"), second[k], error)) << error;
        EXPECT_EQ(bytesOf(dir.file("a.wav")), bytesOf(dir.file("b.wav"))) << names[k];
    }
}
