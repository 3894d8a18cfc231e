// A new sample rate while the audio thread renders: every effect type that
// sizes memory by the rate (lines, work blocks) replaces it only after the
// render has left it, so the audio thread never reads freed memory
// (AddressSanitizer) and every hand-over has an order (ThreadSanitizer). The
// other types only recompute coefficients; for them, as for every module,
// the engine holds audio while the rate changes (the plug-in's own
// sample-rate thread test).
#include "FxKinds.h"
#include "FxMeasure1.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace fxtest;

namespace {

class SampleRateThread : public testing::TestWithParam<int>
{
};

TEST_P(SampleRateThread, RateChangesWhileTheAudioThreadRenders)
{
    const FxKind& kind = effectKind(GetParam());
    auto rig = makeRig(kind, 48000.0f);
    std::atomic<bool> stop{false};
    std::atomic<bool> finite{true};
    std::atomic<int> blocks{0};
    std::thread audio([&] {
        const Signal l = sine(220.0, 48000.0, 0.5f);
        const Signal r = sine(330.0, 48000.0, 0.5f);
        while (!stop) {
            rig->run(MaxBlockSize, l, r);
            if (!allFinite(rig->outL) || !allFinite(rig->outR))
                finite = false;
            ++blocks;
        }
    });
    const float rates[] = {44100.0f, 96000.0f, 192000.0f, 22050.0f, 48000.0f};
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    for (int round = 0; std::chrono::steady_clock::now() < until || round < 10; ++round) {
        rig->fx->setSampleRate(rates[round % 5]);
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    rig->fx->setSampleRate(48000.0f);
    const int before = blocks;
    while (blocks < before + 4)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stop = true;
    audio.join();
    EXPECT_TRUE(finite);
    EXPECT_TRUE(rig->fx->isReady());
}

// Delay, stereo delay, ping-pong, chorus, reverb, flanger, stereo enhancer,
// crusher.
INSTANTIATE_TEST_SUITE_P(TypesWithMemory, SampleRateThread, testing::Values(0, 1, 2, 3, 6, 7, 9, 11),
                         [](const testing::TestParamInfo<int>& info) { return effectKindName(info.param); });

} // namespace
