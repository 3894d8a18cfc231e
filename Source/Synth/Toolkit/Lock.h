// Lock_c: the system's only mutex. Readers and writers share one recursive
// mutex (a reader excludes other readers too); the audio thread never waits
// on it and only tries it with getImmediateReadPermission.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>

class Lock_c
{
public:
    Lock_c() = default;
    virtual ~Lock_c() = default;
    Lock_c(const Lock_c&) = delete;
    Lock_c& operator=(const Lock_c&) = delete;

    // Any thread but the audio thread: blocks until the mutex is held.
    // Always true. The two ints are accepted for callers that pass a timeout
    // and a reason; they change nothing.
    bool getReadPermission();
    bool getWritePermission();
    bool getReadPermission(int, int) { return getReadPermission(); }
    bool getWritePermission(int, int) { return getWritePermission(); }

    // Any thread, the audio thread included: takes the mutex only when that
    // needs no waiting. True when taken; a refused caller skips its work.
    bool getImmediateReadPermission();

    // Releases one hold. The same thread may take the lock several times and
    // needs one release per take. A release by a thread that holds nothing is
    // ignored instead of corrupting the mutex.
    void releaseReadPermission() { release(); }
    void releaseWritePermission() { release(); }

private:
    void acquired();
    void release();

    std::recursive_mutex mutex_;
    // Holder and depth let a stray release be recognised; depth is only
    // touched by the holding thread.
    std::atomic<std::thread::id> owner_{};
    int depth_ = 0;
};

// Holds a lock's write permission from construction to the end of the scope.
// Not for the audio thread, which never waits.
class LockWriteScope
{
public:
    explicit LockWriteScope(Lock_c& l) : lock(l) { lock.getWritePermission(); }
    ~LockWriteScope() { lock.releaseWritePermission(); }
    LockWriteScope(const LockWriteScope&) = delete;
    LockWriteScope& operator=(const LockWriteScope&) = delete;

private:
    Lock_c& lock;
};
