#include "Lock.h"

bool Lock_c::getReadPermission()
{
    mutex_.lock();
    acquired();
    return true;
}

bool Lock_c::getWritePermission()
{
    return getReadPermission();
}

bool Lock_c::getImmediateReadPermission()
{
    if (!mutex_.try_lock())
        return false;
    acquired();
    return true;
}

void Lock_c::acquired()
{
    if (depth_++ == 0)
        owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
}

void Lock_c::release()
{
    // Only the holder can see its own id here: another thread's id is never
    // stored while this thread holds the mutex, and vice versa.
    if (owner_.load(std::memory_order_relaxed) != std::this_thread::get_id() || depth_ <= 0)
        return;
    if (--depth_ == 0)
        owner_.store(std::thread::id(), std::memory_order_relaxed);
    mutex_.unlock();
}
