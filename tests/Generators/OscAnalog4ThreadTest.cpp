// The oscillator plays on the audio thread while another thread turns its
// knobs: what cachePara derives crosses threads without a lock, so the
// ThreadSanitizer build must see no race, and the sound must stay finite
// and within the level five copies can reach.
#include "OscTestRig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

using namespace OscTest;
using Osc = OscAnalog4_c;

TEST(OscAnalog4Thread, ParameterChangesWhileNotesPlay)
{
    OscRig rig;
    rig.pitchSignal = [](long long step) { return static_cast<float>(step % 64) / 64.0f - 0.5f; };
    rig.shapeSignal = [](long long step) { return static_cast<float>(step % 40) / 20.0f - 1.0f; };
    std::atomic<bool> done{false};

    std::thread knobs([&] {
        int k = 0;
        while (!done.load()) {
            rig.osc.setParaVal(0, Osc::opSpread, (k * 37) % 5001);
            rig.osc.cachePara(crParaChange, 0, Osc::opSpread);
            rig.osc.setParaVal(0, Osc::opWaveform, k % 101);
            rig.osc.cachePara(crParaChange, 0, Osc::opWaveform);
            rig.osc.setParaVal(0, Osc::opPulseWidth, 5 + k % 96);
            rig.osc.cachePara(crParaChange, 0, Osc::opPulseWidth);
            ++k;
        }
    });

    rig.modSignal = [](long long i) { return std::sin(static_cast<float>(i) * 0.05f); };
    float peak = 0.0f;
    bool finite = true;
    for (int note = 0; note < 96; ++note) {
        rig.osc.setRenderMode(note % 3);
        rig.start(30 + note, note % 4 == 3, note % 4 == 3);
        const auto x = rig.render(4096, 96);
        for (float v : x) {
            finite = finite && std::isfinite(v);
            peak = std::max(peak, std::fabs(v));
        }
    }
    done = true;
    knobs.join();
    EXPECT_TRUE(finite);
    EXPECT_LE(peak, static_cast<float>(NumUnisonCopies) + 1e-4f);
}
