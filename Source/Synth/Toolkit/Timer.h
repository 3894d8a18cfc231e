// Timer_c: a periodic callback, the engine's substitute for the host's idle
// call. The callback runs on a thread of the timer's own, so callers must not
// assume it runs on the user-interface thread, nor that it is the only caller
// of whatever it drives.
#pragma once

#include <memory>
#include <mutex>
#include <thread>

class Timer_c
{
public:
    using Callback = void (*)(void*);

    // The period until startTimer gives one, in milliseconds.
    static constexpr int DefaultPeriodMs = 50;

    Timer_c() = default;
    // Safe while running and from inside the callback: the timer stops, and
    // the callback is never called again once the destructor has returned.
    virtual ~Timer_c();
    Timer_c(const Timer_c&) = delete;
    Timer_c& operator=(const Timer_c&) = delete;

    // Any thread. Stores the callback, the period (ms) and the context and
    // starts firing: the first call at once, then every period. A period of 0
    // or less fires once. On a running timer the new callback, period and
    // context replace the old ones and no second timer is made. True when the
    // timer runs.
    bool startTimer(Callback callback, int ms, void* context);

    // Any thread, the callback included. After it returns (called from any
    // other thread) no callback runs or will run; called from inside the
    // callback, the current call finishes and no further one follows.
    void stopTimer();

    // Calls the callback with the context, when a callback is set.
    void timerTick();

    bool isRunning() const;
    int getPeriod() const;

private:
    struct Worker;

    mutable std::mutex mutex_;
    int period_ = DefaultPeriodMs;
    void* context_ = nullptr;
    Callback callback_ = nullptr;
    bool running_ = false;
    std::shared_ptr<Worker> worker_;  // the current run
    std::shared_ptr<Worker> stopped_; // the last run asked to stop
};
