#include "Timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// Waits (without judging speed) until the predicate holds; the generous
// deadline only keeps a broken timer from hanging the run.
template <class Pred> bool eventually(Pred pred)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

struct Counter
{
    std::atomic<int> calls{0};
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    Timer_c* timer = nullptr;
    int stopAt = -1;    // stopTimer from inside the callback at this call
    int deleteAt = -1;  // delete the timer from inside the callback at this call

    static void tick(void* context)
    {
        auto* c = static_cast<Counter*>(context);
        if (c->inside.fetch_add(1) != 0)
            c->overlapped = true;
        const int n = c->calls.fetch_add(1) + 1;
        if (n == c->stopAt)
            c->timer->stopTimer();
        if (n == c->deleteAt)
            delete c->timer;
        c->inside.fetch_sub(1);
    }
};

} // namespace

TEST(TimerThread, DefaultsAndTick)
{
    Timer_c timer;
    EXPECT_FALSE(timer.isRunning());
    EXPECT_EQ(timer.getPeriod(), 50);
    timer.timerTick(); // no callback: nothing happens
    timer.stopTimer(); // stopping a stopped timer is harmless
    Counter c;
    ASSERT_TRUE(timer.startTimer(&Counter::tick, 100000, &c));
    EXPECT_TRUE(timer.isRunning());
    EXPECT_EQ(timer.getPeriod(), 100000);
    ASSERT_TRUE(eventually([&] { return c.calls.load() == 1; })) << "the first firing is due at once";
    timer.stopTimer();
    timer.timerTick();
    EXPECT_EQ(c.calls.load(), 2) << "timerTick calls the stored callback";
}

TEST(TimerThread, FiresRepeatedlyAndStaysQuietAfterStop)
{
    Counter c;
    Timer_c timer;
    ASSERT_TRUE(timer.startTimer(&Counter::tick, 1, &c));
    ASSERT_TRUE(eventually([&] { return c.calls.load() >= 5; }));
    timer.stopTimer();
    EXPECT_FALSE(timer.isRunning());
    EXPECT_EQ(c.inside.load(), 0) << "no callback runs once stopTimer has returned";
    const int after = c.calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(c.calls.load(), after);
    EXPECT_FALSE(c.overlapped.load()) << "callbacks never overlap";
}

TEST(TimerThread, StartingTwiceKeepsOneTimer)
{
    Counter first, second;
    Timer_c timer;
    ASSERT_TRUE(timer.startTimer(&Counter::tick, 1, &first));
    ASSERT_TRUE(eventually([&] { return first.calls.load() >= 1; }));
    ASSERT_TRUE(timer.startTimer(&Counter::tick, 1, &second));
    ASSERT_TRUE(eventually([&] { return second.calls.load() >= 3; }));
    const int firstCalls = first.calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(first.calls.load(), firstCalls) << "the old context is no longer called";
    timer.stopTimer();
    EXPECT_FALSE(second.overlapped.load()) << "a second start made no second thread";
}

TEST(TimerThread, StopFromInsideTheCallback)
{
    Counter c;
    Timer_c timer;
    c.timer = &timer;
    c.stopAt = 3;
    ASSERT_TRUE(timer.startTimer(&Counter::tick, 1, &c));
    ASSERT_TRUE(eventually([&] { return !timer.isRunning(); }));
    ASSERT_TRUE(eventually([&] { return c.inside.load() == 0; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(c.calls.load(), 3) << "no call after the one that stopped the timer";

    // The timer starts again after stopping itself, and stops from outside.
    c.stopAt = -1;
    ASSERT_TRUE(timer.startTimer(&Counter::tick, 1, &c));
    ASSERT_TRUE(eventually([&] { return c.calls.load() >= 6; }));
    timer.stopTimer();
}

TEST(TimerThread, DestroyedWhileRunning)
{
    for (int round = 0; round < 50; ++round) {
        Counter c;
        {
            Timer_c timer;
            ASSERT_TRUE(timer.startTimer(&Counter::tick, 1, &c));
            if (round % 2) {
                ASSERT_TRUE(eventually([&] { return c.calls.load() >= 1; }));
            }
        }
        EXPECT_EQ(c.inside.load(), 0) << "no callback outlives the timer";
        const int after = c.calls.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        EXPECT_EQ(c.calls.load(), after);
    }
}

TEST(TimerThread, DestroyedFromInsideTheCallback)
{
    Counter c;
    c.timer = new Timer_c;
    c.deleteAt = 2;
    ASSERT_TRUE(c.timer->startTimer(&Counter::tick, 1, &c));
    ASSERT_TRUE(eventually([&] { return c.calls.load() >= 2 && c.inside.load() == 0; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(c.calls.load(), 2);
}

TEST(TimerThread, StoppedFromSeveralThreadsAtOnce)
{
    Counter c;
    Timer_c timer;
    ASSERT_TRUE(timer.startTimer(&Counter::tick, 1, &c));
    ASSERT_TRUE(eventually([&] { return c.calls.load() >= 1; }));
    std::thread a([&] { timer.stopTimer(); EXPECT_EQ(c.inside.load(), 0); });
    std::thread b([&] { timer.stopTimer(); EXPECT_EQ(c.inside.load(), 0); });
    timer.stopTimer();
    EXPECT_EQ(c.inside.load(), 0);
    a.join();
    b.join();
}
