// The parametric EQ: parameters and presets, gains measured at the centre
// frequency, band activity, band 1 flat again at 0 dB, mono and stereo
// paths and a cross-check against sox's equalizer. The checks every effect
// type passes are in AllEffectsTest.
#include "EQ2.h"
#include "FxKinds.h"
#include "FxMeasure1.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

using namespace fxtest;

namespace {

TEST(EQ2, ParametersPresetsAndClassAnswers)
{
    EQ2_c fresh(18);
    EXPECT_DOUBLE_EQ(fresh.band[0].a1, -1.9960713291220666);
    EXPECT_DOUBLE_EQ(fresh.band[1].g, 0.9696272401619127);
    EXPECT_FALSE(fresh.bandActive[0]);
    EXPECT_FLOAT_EQ(fresh.getFadeTime(), 0.001f);

    auto rig = makeRig(eqKind(), 44100.0f);
    const Part_c& fx = *rig->fx;
    const char* names[] = {"Version", "Freq", "Gain", "Q", "Freq", "Gain", "Q"};
    const int defaults[] = {200, 440, 0, 100, 440, 0, 100};
    for (int i = 0; i < EQ2_c::ParaCount; ++i) {
        SCOPED_TRACE(i);
        char name[ParaNameBufferBytes] = {};
        fx.getParaName(0, i, name);
        EXPECT_STREQ(name, names[i]);
        EXPECT_EQ(fx.getParaVal(0, i), defaults[i]);
    }
    EXPECT_EQ(fx.getParaPtr(0, EQ2_c::pGain2)->getLowValue(), -180);
    EXPECT_EQ(fx.getParaPtr(0, EQ2_c::pGain2)->getHighValue(), 180);
    EXPECT_EQ(fx.getTypeCode(), fourCC("VEQ1"));
    EXPECT_FALSE(fx.isBPMDependent());
    EXPECT_EQ(EQ2R_c(18).getTypeCode(), fourCC("VEQ1"));
    // The cache at 44100 Hz computes the preset's numbers itself.
    const auto& b = static_cast<const EQ2_c&>(fx).band[0];
    EXPECT_NEAR(b.w0, 0.06268937514981852, 1e-9);
    EXPECT_NEAR(b.g, 0.9696272401619127, 1e-9);
}

// The gain at the centre frequency is the band's gain, for a table of
// frequencies, gains and Qs at three rates.
TEST(EQ2, GainAtTheCentreFrequency)
{
    struct Row
    {
        int freq;
        int gainTenths;
        int q; // hundredths
    };
    const Row rows[] = {{1000, 60, 100}, {100, -120, 33}, {5000, 180, 1200}, {440, -180, 200}, {11000, 90, 400}};
    for (float rate : Rates) {
        for (const Row& r : rows) {
            SCOPED_TRACE(testing::Message() << rate << ": " << r.freq << " Hz " << r.gainTenths << " Q" << r.q);
            auto rig = makeRig(eqKind(), rate);
            rig->para(EQ2_c::pFreq1, r.freq);
            rig->para(EQ2_c::pGain1, r.gainTenths);
            rig->para(EQ2_c::pQ1, r.q);
            const long long total = static_cast<long long>(rate / 2);
            rig->run(total, sine(r.freq, rate, 0.1f), sine(r.freq, rate, 0.1f));
            const double db =
                toDb(amplitudeAt(rig->outR, r.freq, rate, static_cast<size_t>(total / 2), static_cast<size_t>(total)) /
                     0.1);
            EXPECT_NEAR(db, r.gainTenths * 0.1, 0.05);
        }
    }
}

// Within +-0.1 dB a band counts as off; band 2 then leaves the chain.
TEST(EQ2, BandActivity)
{
    auto rig = makeRig(eqKind(), 44100.0f);
    auto& eq = static_cast<EQ2_c&>(*rig->fx);
    for (auto [tenths, on] : {std::pair{1, false}, std::pair{-1, false}, std::pair{2, true}, std::pair{-2, true},
                              std::pair{0, false}}) {
        SCOPED_TRACE(tenths);
        rig->para(EQ2_c::pGain1, tenths);
        rig->para(EQ2_c::pGain2, tenths);
        EXPECT_EQ(eq.bandActive[0], on);
        EXPECT_EQ(eq.bandActive[1], on);
    }
    // At 44100 Hz, 11000 Hz is r = 0.2494, w0 = 1.567.
    rig->para(EQ2_c::pFreq1, 11000);
    EXPECT_NEAR(eq.band[0].w0, 2.0 * std::numbers::pi * 11000.0 / 44100.0, 1e-6);
}

// A band taken from +6 dB back to 0 dB is flat again (it used to keep its
// last boost, since it stays in the chain but was only renewed while its gain
// was beyond +-0.1 dB).
TEST(EQ2, BandOneFlatAgainAtZeroDb)
{
    auto rig = makeRig(eqKind(), 44100.0f);
    rig->para(EQ2_c::pFreq1, 1000);
    rig->para(EQ2_c::pGain1, 60);
    rig->run(4410, sine(1000.0, 44100.0, 0.5f), sine(1000.0, 44100.0, 0.5f));
    EXPECT_NEAR(peak(rig->outL, 2205), 1.0f, 0.01f);
    rig->para(EQ2_c::pGain1, 0);
    const long long total = 44100;
    rig->run(total, sine(1000.0, 44100.0, 0.5f), sine(1000.0, 44100.0, 0.5f));
    const Signal in = sine(1000.0, 44100.0, 0.5f);
    float worst = 0.0f;
    for (long long i = total / 2; i < total; ++i)
        worst = std::max(worst, std::fabs(rig->outL[static_cast<size_t>(i)] - in(rig->clock - total + i)));
    EXPECT_LE(worst, 2e-6f);
}

// Mono content gives mono output; a bus without content is left alone.
TEST(EQ2, MonoPathAndEmptyInput)
{
    auto rig = makeRig(eqKind(), 48000.0f);
    rig->para(EQ2_c::pGain1, 120);
    rig->para(EQ2_c::pFreq1, 2000);
    rig->run(4800, sine(2000.0, 48000.0, 0.1f));
    EXPECT_TRUE(rig->out.isMono());
    EXPECT_NEAR(amplitudeAt(rig->outL, 2000.0, 48000.0, 2400, 4800), 0.1 * std::pow(10.0, 0.6), 0.002);

    rig->in.prepCycle(MaxBlockSize);
    rig->out.prepCycle(MaxBlockSize);
    rig->fx->render(MaxBlockSize);
    EXPECT_FALSE(rig->out.hasContent());
    EXPECT_EQ(rig->out.getWriteState(), 0);
}

// Mono 32-bit float WAV files for the comparison with sox.
void writeWav(const std::string& path, const std::vector<float>& samples, int rate)
{
    std::ofstream f(path, std::ios::binary);
    const auto u32 = [&f](uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
    const auto u16 = [&f](uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
    const uint32_t bytes = static_cast<uint32_t>(samples.size() * 4);
    f.write("RIFF", 4);
    u32(36 + bytes);
    f.write("WAVEfmt ", 8);
    u32(16);
    u16(3); // IEEE float
    u16(1);
    u32(static_cast<uint32_t>(rate));
    u32(static_cast<uint32_t>(rate) * 4);
    u16(4);
    u16(32);
    f.write("data", 4);
    u32(bytes);
    f.write(reinterpret_cast<const char*>(samples.data()), bytes);
}

std::vector<float> readWavData(const std::string& path)
{
    const std::string bytes = TestSupport::readFile(path);
    std::vector<float> out;
    // Walk the chunks to "data".
    for (size_t at = 12; at + 8 <= bytes.size();) {
        uint32_t size = 0;
        std::memcpy(&size, bytes.data() + at + 4, 4);
        if (bytes.compare(at, 4, "data") == 0) {
            const size_t n = std::min<size_t>(size, bytes.size() - at - 8) / 4;
            out.resize(n);
            std::memcpy(out.data(), bytes.data() + at + 8, n * 4);
            break;
        }
        at += 8 + size + (size & 1);
    }
    return out;
}

// The same noise through this EQ and through sox's equalizer (the same
// cookbook section): the difference stays below -80 dB of the signal.
TEST(EQ2, MatchesSoxEqualizer)
{
    if (std::system("sox --version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "sox is not installed";
    TestSupport::TempDir dir;
    struct Row
    {
        int rate;
        int freq;
        int gainTenths;
        int q;
    };
    for (const Row& r : {Row{44100, 1000, 60, 150}, Row{48000, 250, -90, 70}, Row{96000, 8000, 120, 400}}) {
        SCOPED_TRACE(testing::Message() << r.rate << " " << r.freq);
        const long long total = r.rate;
        std::vector<float> input(static_cast<size_t>(total));
        const Signal n = noise(0.1f, 21);
        for (float& x : input)
            x = n(0);
        writeWav(dir.file("in.wav"), input, r.rate);
        char command[512];
        std::snprintf(command, sizeof command,
                      "sox -V1 -D '%s' -e floating-point -b 32 '%s' equalizer %d %.2fq %.1f > /dev/null 2>&1",
                      dir.file("in.wav").c_str(), dir.file("out.wav").c_str(), r.freq, r.q * 0.01, r.gainTenths * 0.1);
        ASSERT_EQ(std::system(command), 0);
        const std::vector<float> sox = readWavData(dir.file("out.wav"));
        ASSERT_EQ(sox.size(), input.size());

        auto rig = makeRig(eqKind(), static_cast<float>(r.rate));
        rig->para(EQ2_c::pFreq1, r.freq);
        rig->para(EQ2_c::pGain1, r.gainTenths);
        rig->para(EQ2_c::pQ1, r.q);
        rig->run(total, [&input](long long i) { return input[static_cast<size_t>(i)]; });
        std::vector<float> diff(input.size());
        for (size_t i = 0; i < diff.size(); ++i)
            diff[i] = rig->outL[i] - sox[i];
        EXPECT_LT(toDb(rms(diff) / rms(sox)), -80.0);
    }
}

TEST(EQ2, NotReadyAtLowRates)
{
    auto rig = makeRig(eqKind(), 22000.0f);
    EXPECT_FALSE(rig->fx->isReady());
    rig->run(256, dc(0.5f), dc(0.5f));
    EXPECT_EQ(peak(rig->outL), 0.0f);
}

} // namespace
