#include "MapTestEngine.h"
#include "RegistryTestParts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

using RegistryTest::fourCC;
using RegistryTest::MapTestEngine;
using RegistryTest::TestModule;

namespace {

// Counts its cache requests without a container, so writers on several
// threads can share it. Each request gives up the processor once, which
// widens the time a write is under way and so the chances that writes of
// two threads meet.
class CountingModule : public TestModule
{
public:
    CountingModule() : TestModule(fourCC('C', 'N', 'T', '0'), 16) {}
    void cachePara(CacheReason_t, int, int) override
    {
        caches.fetch_add(1, std::memory_order_relaxed);
        std::this_thread::yield();
    }
    std::atomic<int> caches{0};
};

// An instrument that writes a host parameter from inside its render, as a
// host that automates on the audio thread does.
class AutomatingInstrument : public Instrument_c
{
public:
    explicit AutomatingInstrument(Synth* engine) : Instrument_c(2), engine(engine)
    {
        keepProcessing = true;
    }
    // Stays active without voices, so every block comes here.
    // A block can arrive in pieces (cut at clock boundaries), so the frames
    // rendered are counted as well as the calls.
    void render(int frames) override
    {
        const int index = writeIndex.load();
        if (index >= 0) {
            engine->setParameter(index, value.load());
            blocksWritten.fetch_add(1);
            framesWritten.fetch_add(frames);
        }
    }
    Synth* const engine;
    std::atomic<int> writeIndex{-1};
    std::atomic<float> value{0.5f};
    std::atomic<int> blocksWritten{0};
    std::atomic<int> framesWritten{0};
};

// True when a thread other than the caller can take the lock at once.
bool freeForOthers(Lock_c& lock)
{
    return std::async(std::launch::async, [&lock] {
        if (!lock.getImmediateReadPermission())
            return false;
        lock.releaseReadPermission();
        return true;
    }).get();
}

constexpr auto Patience = std::chrono::seconds(30);

class HostMapThreads : public ::testing::Test
{
protected:
    void SetUp() override
    {
        engine.open();
        ASSERT_TRUE(engine.isOpen());
        int row = -1;
        ASSERT_TRUE(engine.registerFirstModul(&row, &module, 0, 1, rmgInstrument));
        for (int i = 0; i < 8; ++i)
            ASSERT_TRUE(engine.describe(i, "Writer", i % 2 == 0 ? 0 : -1, &module, 1 + i));
        // Copies both ways make every write nest a second one.
        engine.defineValCopy(0, 1, true);
        engine.defineValCopy(2, 3, true);
        instrument.create(&engine, 0, 0, false);
        engine.setInstrument(0, &instrument);
    }

    float** outputs()
    {
        for (int c = 0; c < 2; ++c)
            channel[c].assign(64, 0.0f);
        pointers[0] = channel[0].data();
        pointers[1] = channel[1].data();
        return pointers;
    }

    MapTestEngine engine;
    CountingModule module;
    AutomatingInstrument instrument{&engine};
    std::vector<float> channel[2];
    float* pointers[2] = {};
};

} // namespace

TEST_F(HostMapThreads, ConcurrentWritersNeverLeaveTheOptionalLockHeld)
{
    Lock_c& optional = engine.instrument(0)->optionalLock;
    constexpr int Writes = 2000;
    std::atomic<bool> go{false};
    auto writer = [&](int first) {
        while (!go.load())
            std::this_thread::yield();
        for (int i = 0; i < Writes; ++i)
            engine.setParameterIntern(first + (i % 4), static_cast<float>(i % 100) / 100.0f);
    };
    // The render side only tries the lock, as the audio thread does.
    std::atomic<bool> stop{false};
    std::thread render([&] {
        while (!stop.load()) {
            if (optional.getImmediateReadPermission())
                optional.releaseReadPermission();
            std::this_thread::yield();
        }
    });
    auto a = std::async(std::launch::async, writer, 0);
    auto b = std::async(std::launch::async, writer, 4);
    go = true;
    const bool finished = a.wait_for(Patience) == std::future_status::ready &&
                          b.wait_for(Patience) == std::future_status::ready;
    stop = true;
    render.join();
    ASSERT_TRUE(finished) << "a writer is stuck on the optional lock";
    a.get();
    b.get();

    EXPECT_TRUE(freeForOthers(optional)) << "a write left the lock held";
    // The next writer, on yet another thread, gets through.
    auto next = std::async(std::launch::async, [&] { engine.setParameterIntern(0, 0.25f); });
    ASSERT_EQ(next.wait_for(Patience), std::future_status::ready);
    EXPECT_EQ(module.getParaVal(0, 1), 25);
    EXPECT_EQ(module.getParaVal(0, 2), 25) << "and its copy";
    EXPECT_GE(module.caches.load(), 2 * Writes);
}

TEST_F(HostMapThreads, WriterHoldsTheLockForItsWholeWrite)
{
    // A module that, while being re-cached inside a write, asks another
    // thread whether the lock is free.
    class Probe : public TestModule
    {
    public:
        explicit Probe(Lock_c& lock) : TestModule(fourCC('P', 'R', 'B', '0'), 4), lock(lock) {}
        void cachePara(CacheReason_t reason, int, int) override
        {
            if (reason == crParaChange)
                freeDuringWrite = freeForOthers(lock) ? 1 : 0;
        }
        Lock_c& lock;
        int freeDuringWrite = -1;
    } probe(engine.instrument(0)->optionalLock);
    int row = -1;
    ASSERT_TRUE(engine.registerFirstModul(&row, &probe, 0, 1, rmgInstrument));
    ASSERT_TRUE(engine.describe(9, "Probe", 0, &probe, 1));
    engine.setParameterIntern(9, 0.5f);
    EXPECT_EQ(probe.freeDuringWrite, 0);
    EXPECT_TRUE(freeForOthers(engine.instrument(0)->optionalLock));
}

TEST_F(HostMapThreads, AudioThreadWriteOnlyTriesTheLockAndStillWrites)
{
    engine.setSampleRate(44100.0f);
    instrument.writeIndex = 0;

    // Another thread holds the instrument's optional lock meanwhile.
    std::promise<void> held;
    std::promise<void> release;
    std::thread holder([&] {
        Lock_c& lock = instrument.optionalLock;
        lock.getWritePermission();
        held.set_value();
        release.get_future().wait();
        lock.releaseWritePermission();
    });
    held.get_future().wait();

    auto block = std::async(std::launch::async, [&] { engine.processReplacing(nullptr, outputs(), 64); });
    const bool returned = block.wait_for(Patience) == std::future_status::ready;
    release.set_value();
    holder.join();
    block.get();
    ASSERT_TRUE(returned) << "the audio thread waited for the lock";
    ASSERT_EQ(instrument.blocksWritten.load(), 1) << "the block did not render";
    EXPECT_EQ(module.getParaVal(0, 1), 50);
    EXPECT_EQ(module.getParaVal(0, 2), 50) << "the copy is written too";
}

TEST_F(HostMapThreads, HostLikeTraffic)
{
    // Blocks with automation on the audio thread, two other threads writing
    // the same parameters and their copies, for a bounded number of rounds.
    engine.setSampleRate(44100.0f);
    instrument.writeIndex = 2;
    constexpr int Rounds = 400;
    std::atomic<bool> go{false};
    auto audio = std::async(std::launch::async, [&] {
        while (!go.load())
            std::this_thread::yield();
        for (int i = 0; i < Rounds; ++i) {
            instrument.value = static_cast<float>(i % 10) / 10.0f;
            engine.processReplacing(nullptr, outputs(), 64);
        }
    });
    auto writer = [&](int first) {
        while (!go.load())
            std::this_thread::yield();
        for (int i = 0; i < Rounds; ++i) {
            engine.setParameterIntern(first + (i % 4), 0.5f);
            engine.getParameter(first);
            char text[ParameterTextAnswerSize];
            engine.getParameterDisplay(first, text);
        }
    };
    auto a = std::async(std::launch::async, writer, 0);
    auto b = std::async(std::launch::async, writer, 2);
    go = true;
    for (auto* f : {&audio, &a, &b})
        ASSERT_EQ(f->wait_for(Patience), std::future_status::ready);
    EXPECT_EQ(instrument.framesWritten.load(), Rounds * 64) << "a block was not rendered whole";
    EXPECT_TRUE(freeForOthers(instrument.optionalLock));
}
