// Two editors idling on two threads (a host may run each plug-in's editor on
// a thread of its own): each frame fires only its own timers, so a timer's
// notification runs on its editor's thread, inside that editor's pass.
#include "CFrame.h"
#include "CVSTGUITimer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {
struct ThreadProbe : CBaseObject
{
    std::atomic<std::thread::id> owner{};
    std::atomic<int> fired{0};
    std::atomic<int> foreign{0}; // notifications on another editor's thread
    CMessageResult notify(CBaseObject*, const char*) override
    {
        if (std::this_thread::get_id() != owner.load())
            ++foreign;
        ++fired;
        return kMessageNotified;
    }
};
} // namespace

TEST(GuiTimerThreads, EachEditorsTimersFireOnlyInItsOwnIdlePass)
{
    std::atomic<bool> stop{false};
    ThreadProbe probes[2];
    const auto editor = [&](ThreadProbe& probe) {
        probe.owner = std::this_thread::get_id();
        CFrame* frame = new CFrame(CRect(0, 0, 50, 50), nullptr, nullptr);
        auto* timer = new CVSTGUITimer(&probe, 1, frame);
        timer->start();
        while (!stop.load()) {
            frame->idle();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        timer->forget();
        frame->forget();
    };
    std::thread a(editor, std::ref(probes[0]));
    std::thread b(editor, std::ref(probes[1]));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((probes[0].fired < 50 || probes[1].fired < 50) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stop = true;
    a.join();
    b.join();
    for (const ThreadProbe& p : probes) {
        EXPECT_GE(p.fired.load(), 50);
        EXPECT_EQ(p.foreign.load(), 0);
    }
}
