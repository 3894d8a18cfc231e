// The sample display reads a sample that its store loads, frees and swaps on
// another thread (an idle pass may come from the engine's timer thread while
// the user loads samples): every read happens under the sample's lock, so
// ThreadSanitizer sees no race and AddressSanitizer no freed memory.
#include "GuiTestViews.h"
#include "SampleDisplayRig.h"

#include <gtest/gtest.h>

#include <thread>

using ControlTest::Canvas;
using ControlTest::DisplayRig;
using ControlTest::fillSample;

TEST(SampleDisplayThread, DrawsWhileTheStoreReloadsFreesAndSwapsItsSamples)
{
    GuiTest::ManualClock clock; // the retry timers need no real time
    DisplayRig rig;
    WaveSample_c zones[2];
    fillSample(zones[0], std::vector<float>(30000, 0.1f), 44100);
    fillSample(zones[1], std::vector<float>(5000, 0.2f), 48000);
    rig.slot = &zones[0];
    rig.setAll(0.1f, 0.3f, 0.7f, 0.05f, 0.3f, 0.4f);

    std::atomic<bool> stop{false};
    std::atomic<int> rounds{0};
    std::thread store([&] {
        for (int round = 0; !stop.load(); round = ++rounds) {
            WaveSample_c& z = zones[round % 2];
            switch (round % 3) {
            case 0:
                fillSample(z, std::vector<float>(static_cast<size_t>(1000 + (round * 977) % 40000), 0.3f),
                           22050 + round % 3000);
                break;
            case 1: {
                SampleWriteHold hold(z);
                z.freeSample();
                break;
            }
            default:
                rig.slot = &zones[(round / 3) % 2];
                break;
            }
        }
    });
    Canvas canvas(400, 200);
    // Both sides run many times over, interleaved.
    for (int i = 0; i < 400 || rounds.load() < 300; ++i) {
        rig.display->setDirty(true);
        canvas.draw(rig.display);
        clock.advance(CSampleDisplayVl_c::RetryMs);
        rig.frame->fireTimers();
    }
    stop = true;
    store.join();
    // Whatever state the store left, the display's columns are in range.
    canvas.draw(rig.display);
    for (int j = 0; j < DisplayRig::Width; ++j) {
        ASSERT_LE(rig.display->getMaxima()[j], 1.f);
        ASSERT_GE(rig.display->getMinima()[j], -1.f);
    }
}
