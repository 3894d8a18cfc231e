#include "Lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

namespace {
// Asks from another thread, as the audio thread would.
bool tryFromOtherThread(Lock_c& lock)
{
    return std::async(std::launch::async, [&lock] {
        if (!lock.getImmediateReadPermission())
            return false;
        lock.releaseReadPermission();
        return true;
    }).get();
}
} // namespace

TEST(LockThread, RecursiveHoldRefusesTryReadUntilFullyReleased)
{
    Lock_c lock;
    EXPECT_TRUE(tryFromOtherThread(lock));

    ASSERT_TRUE(lock.getWritePermission());
    ASSERT_TRUE(lock.getReadPermission(0, 0)) << "the holder takes it again";
    ASSERT_TRUE(lock.getImmediateReadPermission()) << "the holder's try succeeds too";
    EXPECT_FALSE(tryFromOtherThread(lock));

    lock.releaseReadPermission();
    lock.releaseReadPermission();
    EXPECT_FALSE(tryFromOtherThread(lock)) << "one hold is left";

    lock.releaseWritePermission();
    EXPECT_TRUE(tryFromOtherThread(lock));
}

// A write scope holds the lock for its lifetime, nested scopes included.
TEST(LockThread, AWriteScopeHoldsTheLockUntilItEnds)
{
    Lock_c lock;
    {
        LockWriteScope outer(lock);
        EXPECT_FALSE(tryFromOtherThread(lock));
        {
            LockWriteScope inner(lock);
            EXPECT_FALSE(tryFromOtherThread(lock));
        }
        EXPECT_FALSE(tryFromOtherThread(lock)) << "the outer scope still holds it";
    }
    EXPECT_TRUE(tryFromOtherThread(lock));
}

TEST(LockThread, ReleaseByAThreadThatHoldsNothingIsIgnored)
{
    Lock_c lock;
    ASSERT_TRUE(lock.getWritePermission());
    std::thread([&lock] { lock.releaseWritePermission(); }).join();
    EXPECT_FALSE(tryFromOtherThread(lock)) << "the holder still holds it";
    lock.releaseWritePermission();
    lock.releaseWritePermission(); // one release too many: ignored
    EXPECT_TRUE(tryFromOtherThread(lock));
    ASSERT_TRUE(lock.getWritePermission());
    EXPECT_FALSE(tryFromOtherThread(lock)) << "the extra release did not unbalance the mutex";
    lock.releaseWritePermission();
}

TEST(LockThread, TryReaderNeverSeesAHalfWrittenPair)
{
    // A writer keeps two plain values equal under the write permission; a
    // try-reader that gets in must see them equal, and one that is refused
    // simply skips, as the audio thread skips its block.
    Lock_c lock;
    long first = 0, second = 0;
    std::atomic<bool> done{false};
    std::atomic<long> refused{0}, entered{0};

    std::thread reader([&] {
        while (!done.load()) {
            if (lock.getImmediateReadPermission()) {
                EXPECT_EQ(first, second);
                lock.releaseReadPermission();
                entered.fetch_add(1);
            } else {
                refused.fetch_add(1);
            }
        }
    });
    for (int i = 0; i < 20000; ++i) {
        lock.getWritePermission();
        ++first;
        std::this_thread::yield();
        ++second;
        lock.releaseWritePermission();
    }
    done.store(true);
    reader.join();
    EXPECT_EQ(first, 20000);
    EXPECT_EQ(second, 20000);
}
