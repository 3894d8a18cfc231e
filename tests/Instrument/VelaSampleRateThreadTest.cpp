// A host that changes the sample rate while its audio thread keeps
// processing: the engine holds audio while the modules take the new rate, so
// no effect renders with a line or work block that is being replaced
// (AddressSanitizer) and every module's rate fields change with an order
// (ThreadSanitizer).
#include "SignalMeasure.h"
#include "VelaGlo.h"
#include "VelaPlayer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

TEST(VelaSampleRateThread, RateChangesWhileTheHostProcesses)
{
    VelaPlayer p;
    // Line and work-block effects in every slot: chorus and crusher in the
    // sets, stereo delay, reverb, flanger and ping-pong delay in series.
    p.setGlobal(VelaGlo_c::gpEffType0, 3);
    p.setGlobal(VelaGlo_c::gpEffType1, 11);
    const int serial[4] = {1, 6, 7, 2};
    for (int k = 0; k < 4; ++k) {
        p.setGlobal(VelaGlo_c::gpEffXType0 + 2 * k, serial[k]);
        p.setGlobal(VelaGlo_c::gpEffXOn0 + 2 * k, 1);
    }
    p.noteOn(57);
    std::atomic<bool> stop{false};
    std::atomic<bool> finite{true};
    std::atomic<int> blocks{0};
    std::thread audio([&] {
        std::array<std::vector<float>, 2> out;
        while (!stop) {
            out[0].clear();
            out[1].clear();
            p.render(0.001, out);
            if (!SignalMeasure::allFinite(out[0]) || !SignalMeasure::allFinite(out[1]))
                finite = false;
            ++blocks;
        }
    });
    const float rates[] = {44100.0f, 96000.0f, 192000.0f, 48000.0f};
    for (int round = 0; round < 12; ++round) {
        p.call(effSetSampleRate, 0, 0, nullptr, rates[round % 4]);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const int before = blocks;
    while (blocks < before + 8)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stop = true;
    audio.join();
    EXPECT_TRUE(finite);
    EXPECT_TRUE(p.instrument()->getCurrentEffect(0)->isReady());
}
