// The line effects switched on and off and refreshed from the user-interface
// thread while the audio thread renders them: lines appear, are cleared and
// freed only while no render can read them, and the coefficients cross
// without a lock. The ThreadSanitizer run checks the hand-overs.
#include "Chorus1.h"
#include "DelayPingPong.h"
#include "DelayStereo.h"
#include "Flanger2.h"
#include "FxMeasure2.h"
#include "Reverb2.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace fx2;

namespace {

// Renders on a thread of its own while the caller switches and refreshes.
template <class E>
void switchWhileRendering(int idx, int lo, int hi)
{
    Rig<E> rig(48000.0f);
    rig.fx.setActive();
    std::atomic<bool> stop{false};
    std::atomic<bool> finite{true};
    std::thread audio([&] {
        const Signal in = sine(220.0, 48000.0, 0.5f);
        while (!stop) {
            const Stereo o = rig.run(MaxBlockSize, in);
            if (!allFinite(o.l) || !allFinite(o.r))
                finite = false;
        }
    });
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    for (int round = 0; std::chrono::steady_clock::now() < until; ++round) {
        rig.set(idx, round % 2 ? lo : hi);
        if (round % 3 == 0) {
            rig.fx.setInactive();
            rig.fx.setActive();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    stop = true;
    audio.join();
    EXPECT_TRUE(finite);
    EXPECT_TRUE(rig.fx.isReady());
}

TEST(LineEffectsThread, SwitchingAndRefreshingWhileRendering)
{
    switchWhileRendering<DelayStereo_c>(DelayStereo_c::pTimeL, 1, 1300);
    switchWhileRendering<DelayPingPong_c>(DelayPingPong_c::pTimeL, 1, 1300);
    switchWhileRendering<Chorus1_c>(Chorus1_c::pMode, 0, 1);
    switchWhileRendering<Flanger2_c>(Flanger2_c::pTime, 1, 8500);
    switchWhileRendering<Reverb2_c>(Reverb2_c::pPredelay, 0, 125);
}

} // namespace
