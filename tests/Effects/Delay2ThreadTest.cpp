// The delay rings on the audio thread while another thread switches it off
// and on (which frees and makes its line) and turns its knobs: the line must
// never be freed or replaced while a render uses it (AddressSanitizer), the
// flags and coefficients cross threads without a race (ThreadSanitizer), and
// the sound stays finite.
#include "Delay2.h"
#include "DelayMeasure.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

using namespace DelayTest;

TEST(Delay2Thread, SwitchingAndKnobsWhileItRings)
{
    DelayRig rig(44100.0f);
    rig.set(Delay2_c::pTime, 400);
    rig.set(Delay2_c::pFeed, 95);
    rig.set(Delay2_c::pModDepth, 500);
    Delay2_c& fx = *rig.fx;
    std::atomic<bool> done{false};
    std::atomic<int> rounds{0};

    std::thread control([&] {
        int k = 0;
        while (!done.load()) {
            switch (k % 4) {
            case 0:
                fx.setInactive();
                break;
            case 1:
                fx.setActive();
                break;
            case 2:
                // Switched on again while on: the line is replaced.
                fx.setActive();
                break;
            default:
                break;
            }
            fx.setParaVal(0, Delay2_c::pTime, 10 + (k * 37) % 6791);
            fx.cachePara(crParaChange, 0, Delay2_c::pTime);
            fx.setParaVal(0, Delay2_c::pFil, (k * 13) % 201 - 100);
            fx.cachePara(crParaChange, 0, Delay2_c::pFil);
            fx.setParaVal(0, Delay2_c::pNotes, 3 + k % 15);
            fx.cachePara(crParaChange, 0, Delay2_c::pNotes);
            (void)fx.getFadeTime();
            ++k;
            rounds = k;
        }
    });

    TempoGuard tempo;
    constexpr int Block = 64;
    bool finite = true;
    int rendered = 0;
    // Until the other side has switched the delay many times while it rang,
    // or at most a minute.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (int b = 0; (rounds.load() < 400 || rendered < 400) && std::chrono::steady_clock::now() < until; ++b) {
        rig.in.prepCycle(Block);
        rig.out.prepCycle(Block);
        float* x = nullptr;
        ASSERT_TRUE(rig.in.wantWriteMono(&x, false));
        for (int i = 0; i < Block; ++i)
            x[i] = (b % 50 == 0 && i == 0) ? 1.0f : 0.0f;
        rig.in.doneWriteMono();
        if (b % 100 == 0) {
            tempo.set(60.0 + b % 700);
            fx.notifyBPMChange();
        }
        // As the effect chain drives it: on while notes sound, then its tail.
        fx.render(b % 300 < 200, Block);
        float* l = nullptr;
        float* r = nullptr;
        if (rig.out.isStereo() && rig.out.wantReadStereo(&l, &r) && ++rendered)
            for (int i = 0; i < Block; ++i)
                finite = finite && std::isfinite(l[i]) && std::isfinite(r[i]);
    }
    done = true;
    control.join();
    EXPECT_TRUE(finite);
    EXPECT_GE(rounds.load(), 400);
    EXPECT_GE(rendered, 400);
}
