// Effect switching across threads: while the audio thread renders the chain
// with a ringing delay, another thread switches effect types in every slot,
// turns slots and taps on and off and moves the remote wet levels. A module
// taken out of its slot is switched off (and its lines freed) only after the
// audio thread has left its render; the ThreadSanitizer and AddressSanitizer
// runs check the hand-overs and that no freed line is read.
#include "VelaInstRig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

using namespace VelaInstTest;
using VI = VelaInst_c;

TEST(VelaInstThread, SwitchingTypesAndWetWhileTheChainRenders)
{
    Rig rig;
    rig.inst.selectAll();
    rig.allOn();
    rig.pannerOn(VI::pannerFX0, true);
    rig.pannerOn(VI::pannerFX3, true);
    rig.selectSend(0, VI::fxDelay);
    rig.plainDelay(VI::setSend0, 50, 95, 100);
    rig.plainDelay(VI::setSend1, 30, 90, 100);
    rig.plainDelay(VI::setSerial, 20, 90, 100);

    std::atomic<bool> stop{false};
    std::atomic<bool> finite{true};
    std::atomic<long long> pieces{0};
    std::thread audio([&] {
        std::vector<float> out;
        const Signal tone = [](long long i) { return 0.5f * std::sin(0.05f * static_cast<float>(i % 100000)); };
        rig.inst.voicesInUse.store(1);
        while (!stop) {
            out.clear();
            rig.piece(MaxBlockSize, tone, tone, &out);
            for (float v : out)
                if (!std::isfinite(v))
                    finite = false;
            ++pieces;
        }
    });

    std::mt19937 random(7);
    const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    // At least half a second, 200 pieces and 100 changes, however busy the
    // machine (a change of type waits for the render to leave the module).
    int rounds = 0;
    while (std::chrono::steady_clock::now() < until || pieces.load() < 200 || rounds < 100) {
        switch (pick(5)) {
        case 0:
            rig.selectSend(pick(2), pick(VI::NumFxTypes));
            break;
        case 1:
            rig.selectSerial(pick(VI::NumSerialSlots), pick(VI::NumFxTypes));
            break;
        case 2:
            rig.inst.setWet(pick(VI::NumFxSlots), static_cast<float>(pick(101)) / 100.0f);
            break;
        case 3:
            if (pick(2))
                rig.sendOn(pick(2), pick(4) != 0);
            else
                rig.serialOn(pick(VI::NumSerialSlots), pick(2) != 0);
            break;
        default:
            rig.pannerOn(pick(VI::NumFxPanners), pick(2) != 0);
            break;
        }
        ++rounds;
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    stop = true;
    audio.join();
    EXPECT_TRUE(finite.load());

    // No two serial slots ended on one module, and each slot's module is on.
    for (int a = VI::slotX0; a <= VI::slotX3; ++a)
        for (int b = a + 1; b <= VI::slotX3; ++b)
            EXPECT_NE(rig.inst.getCurrentEffect(a), rig.inst.getCurrentEffect(b));
    for (int slot = 0; slot < VI::NumFxSlots; ++slot)
        EXPECT_TRUE(rig.inst.getCurrentEffect(slot)->active.load()) << "slot " << slot;
}
