#include "Timer.h"

#include <chrono>
#include <condition_variable>

// The state one run of the timer shares with its thread. The thread holds its
// own reference, so a timer stopped (or destroyed) from inside its callback
// leaves the thread a valid state to finish with; the thread never touches
// the Timer_c itself.
struct Timer_c::Worker
{
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;     // asked to end
    bool finished = false; // the loop has ended; no callback follows
    Callback callback = nullptr;
    void* context = nullptr;
    int periodMs = 0;
    std::thread thread;
    std::thread::id threadId;

    static void run(std::shared_ptr<Worker> self);
};

void Timer_c::Worker::run(std::shared_ptr<Worker> self)
{
    using Clock = std::chrono::steady_clock;
    std::unique_lock<std::mutex> lock(self->mutex);
    Clock::time_point due = Clock::now();
    while (!self->stop) {
        if (Clock::now() >= due) {
            Callback callback = self->callback;
            void* context = self->context;
            const int periodMs = self->periodMs;
            lock.unlock();
            if (callback)
                callback(context);
            lock.lock();
            if (periodMs <= 0)
                break;
            // Firings missed while the callback ran late are skipped, not
            // caught up in a burst.
            const auto period = std::chrono::milliseconds(periodMs);
            due += period;
            const Clock::time_point now = Clock::now();
            if (due <= now)
                due += ((now - due) / period + 1) * period;
            continue;
        }
        self->wake.wait_until(lock, due);
    }
    self->finished = true;
    self->wake.notify_all();
}

Timer_c::~Timer_c()
{
    stopTimer();
    std::lock_guard<std::mutex> lock(mutex_);
    callback_ = nullptr;
}

bool Timer_c::startTimer(Callback callback, int ms, void* context)
{
    std::lock_guard<std::mutex> lock(mutex_);
    callback_ = callback;
    period_ = ms;
    context_ = context;
    if (running_ && worker_) {
        std::lock_guard<std::mutex> workerLock(worker_->mutex);
        worker_->callback = callback;
        worker_->context = context;
        worker_->periodMs = ms;
        worker_->wake.notify_all();
        return true;
    }
    auto worker = std::make_shared<Worker>();
    worker->callback = callback;
    worker->context = context;
    worker->periodMs = ms;
    try {
        // The new thread waits for this lock before its first look at the
        // state, so threadId is in place before any callback can stop it.
        std::lock_guard<std::mutex> workerLock(worker->mutex);
        worker->thread = std::thread(&Worker::run, worker);
        worker->threadId = worker->thread.get_id();
    } catch (...) {
        running_ = false;
        return false;
    }
    worker_ = std::move(worker);
    running_ = true;
    return true;
}

void Timer_c::stopTimer()
{
    std::shared_ptr<Worker> worker;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        running_ = false;
        if (worker_)
            stopped_ = std::move(worker_);
        // A second stopper waits for the same run as the first one.
        worker = stopped_;
    }
    if (!worker)
        return;
    std::thread thread;
    std::unique_lock<std::mutex> lock(worker->mutex);
    worker->stop = true;
    thread = std::move(worker->thread);
    worker->wake.notify_all();
    const bool inCallback = worker->threadId == std::this_thread::get_id();
    if (thread.joinable()) {
        lock.unlock();
        if (inCallback)
            thread.detach(); // the thread ends on its own once the callback returns
        else
            thread.join();
        return;
    }
    if (!inCallback)
        worker->wake.wait(lock, [&] { return worker->finished; });
}

void Timer_c::timerTick()
{
    Callback callback;
    void* context;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        callback = callback_;
        context = context_;
    }
    if (callback)
        callback(context);
}

bool Timer_c::isRunning() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return running_;
}

int Timer_c::getPeriod() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return period_;
}
