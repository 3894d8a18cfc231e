// Sample rates a host should never send: a rate that is not finite, not
// positive, or outside 22.05 kHz..768 kHz is refused, the plug-in keeps playing at
// the last good rate and the user is told which range is accepted; the two
// ends of the range play with finite output and bounded memory.
#include "VelaPlayer.h"

#include "OsLib.h"
#include "SignalMeasure.h"
#include "VelaGlo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Resident memory of this process in bytes.
double residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    double total = 0.0;
    double resident = 0.0;
    statm >> total >> resident;
    return resident * static_cast<double>(::sysconf(_SC_PAGESIZE));
}

// Every line and work block effect in a slot, so whatever is sized by the
// rate is sized, and a held note through them.
void everyRateSizedEffect(VelaPlayer& p)
{
    p.setGlobal(VelaGlo_c::gpEffType0, 3);  // stereo delay
    p.setGlobal(VelaGlo_c::gpEffType1, 11); // crusher
    const int serial[4] = {1, 6, 7, 2};     // chorus, reverb, flanger, ping-pong
    for (int k = 0; k < 4; ++k) {
        p.setGlobal(VelaGlo_c::gpEffXType0 + 2 * k, serial[k]);
        p.setGlobal(VelaGlo_c::gpEffXOn0 + 2 * k, 1);
    }
    p.noteOn(57);
}

// Renders `seconds`; true when every sample is finite and some are not 0.
bool playsFinite(VelaPlayer& p, double seconds)
{
    std::array<std::vector<float>, 2> out;
    p.render(seconds, out);
    return SignalMeasure::allFinite(out[0]) && SignalMeasure::allFinite(out[1]) && SignalMeasure::rms(out[0]) > 1e-4;
}

} // namespace

TEST(VelaHostRate, ImpossibleRatesAreRefusedAndTheLastGoodRateStays)
{
    std::vector<std::string> told;
    OsLib_c::setPanelHook([&](const std::string& title, const std::string& message, bool) {
        told.push_back(title + ": " + message);
        return false;
    });
    VelaPlayer p;
    everyRateSizedEffect(p);
    ASSERT_TRUE(playsFinite(p, 0.1));
    const double before = residentBytes();
    const float refused[] = {std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::quiet_NaN(), 0.0f, -48000.0f, 1.0f, 768001.0f,
                             1e9f, std::numeric_limits<float>::max(), 8000.0f, 22049.0f};
    for (const float rate : refused) {
        SCOPED_TRACE(rate);
        told.clear();
        p.call(effSetSampleRate, 0, 0, nullptr, rate);
        EXPECT_EQ(p.plugin().getSampleRate(), VelaPlayer::Rate);
        EXPECT_TRUE(playsFinite(p, 0.05));
        p.call(effIdle);
        ASSERT_TRUE(p.plugin().getPanels().waitShown(5000));
        ASSERT_EQ(told.size(), 1u);
        EXPECT_EQ(told[0].rfind("Sample Rate Error: ", 0), 0u) << told[0];
        EXPECT_NE(told[0].find("22050 to 768000 Hz and stays at 48000 Hz"), std::string::npos) << told[0];
    }
    // The same through the call that sets the block size and the rate.
    p.call(effSetBlockSizeAndSampleRate, 0, VelaPlayer::Block, nullptr, 1e9f);
    EXPECT_EQ(p.plugin().getSampleRate(), VelaPlayer::Rate);
    EXPECT_LT(residentBytes() - before, 64.0 * 1024 * 1024) << "nothing was sized by a refused rate";
    OsLib_c::setPanelHook({});
}

TEST(VelaHostRate, TheEndsOfTheRangePlayFiniteInBoundedMemory)
{
    OsLib_c::setPanelHook([](const std::string&, const std::string&, bool) { return false; });
    VelaPlayer p;
    everyRateSizedEffect(p);
    const double before = residentBytes();
    double most = 0.0;
    for (const float rate : {22050.0f, 768000.0f, 48000.0f}) {
        SCOPED_TRACE(rate);
        p.call(effSetSampleRate, 0, 0, nullptr, rate);
        EXPECT_EQ(p.plugin().getSampleRate(), rate);
        EXPECT_TRUE(playsFinite(p, 0.2));
        most = std::max(most, residentBytes() - before);
    }
    // Everything the highest rate sized for the effects, voices and
    // instrument stays well within reach of a host.
    EXPECT_LT(most, 512.0 * 1024 * 1024);
    OsLib_c::setPanelHook({});
}
