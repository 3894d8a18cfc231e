#include "CmdBuffer.h"

#include "Capacities.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {
constexpr int Producers = 4;
constexpr int PerProducer = 20000; // fits the 16-bit value field

// Posts until the ring takes the record, as a producer that must not lose it
// would (the engine's producers drop instead; the test wants every record).
void post(CmdBuffer_c& ring, const HoldData_c& r, tHD_RemoveDouble rule = hdAppend)
{
    while (!ring.holdEvent(&r, rule))
        std::this_thread::yield();
}
} // namespace

TEST(CmdBufferThread, EveryRecordOnceInEachProducersOrder)
{
    CmdBuffer_c ring(CmdBufferSize);
    std::vector<std::thread> producers;
    for (int p = 0; p < Producers; p++)
        producers.emplace_back([&ring, p] {
            for (int i = 0; i < PerProducer; i++) {
                HoldData_c r('Y', int16_t(p), int16_t(i), &ring, nullptr);
                r.midi[0] = uint8_t(i);
                post(ring, r);
            }
        });

    std::vector<int> next(Producers, 0);
    int taken = 0, bad = 0;
    HoldData_c r;
    while (taken < Producers * PerProducer) {
        if (!ring.unholdEvent(&r)) {
            std::this_thread::yield();
            continue;
        }
        taken++;
        // Each record is whole (no field from another record) and the next
        // one of its producer.
        if (r.command != 'Y' || r.index < 0 || r.index >= Producers || r.ptr1 != &ring
            || r.midi[0] != uint8_t(r.value) || r.value != next[size_t(r.index)])
            bad++;
        else
            next[size_t(r.index)]++;
    }
    for (std::thread& t : producers)
        t.join();
    EXPECT_EQ(bad, 0);
    for (int p = 0; p < Producers; p++)
        EXPECT_EQ(next[size_t(p)], PerProducer) << p;
    EXPECT_FALSE(ring.unholdEvent(&r)) << "nothing delivered twice";
}

TEST(CmdBufferThread, EmptyingWhileTheConsumerDrainsLosesNothing)
{
    // Two producers post 'A' (even values, never removed) and 'B' (odd
    // values); a third thread keeps emptying the 'B' records and posts
    // program requests under rule 0. Every record posted must be taken
    // exactly once: as itself, or (only a 'B' or an older 'I') as command 0.
    CmdBuffer_c ring(64);
    std::atomic<bool> producing{true};
    std::vector<std::thread> producers;
    for (int p = 0; p < 2; p++)
        producers.emplace_back([&ring, p] {
            for (int i = 0; i < PerProducer; i++)
                post(ring, HoldData_c(i % 2 ? 'B' : 'A', int16_t(p), int16_t(i)));
        });
    constexpr int Programs = 3000;
    std::thread remover([&ring, &producing] {
        for (int i = 0; i < Programs; i++) {
            ring.clearCmd('B');
            post(ring, HoldData_c('I', 9, int16_t(i)), hdReplaceSame);
        }
        while (producing.load())
            ring.clearCmd('B');
    });

    std::vector<int> nextA(2, 0), lastB(2, -1);
    int taken = 0, bad = 0, emptied = 0, lastProgram = -1, programs = 0;
    const int total = 2 * PerProducer + Programs;
    HoldData_c r;
    while (taken < total) {
        if (!ring.unholdEvent(&r)) {
            std::this_thread::yield();
            continue;
        }
        taken++;
        if (r.command == 0) {
            emptied++;
            bool fromB = r.index >= 0 && r.index < 2 && r.value % 2 == 1;
            bool fromI = r.index == 9;
            if (!fromB && !fromI)
                bad++; // an 'A' record must never be emptied
        } else if (r.command == 'A') {
            if (r.value != nextA[size_t(r.index)])
                bad++;
            nextA[size_t(r.index)] += 2;
        } else if (r.command == 'B') {
            if (r.value <= lastB[size_t(r.index)])
                bad++;
            lastB[size_t(r.index)] = r.value;
        } else if (r.command == 'I') {
            if (r.value <= lastProgram)
                bad++;
            lastProgram = r.value;
            programs++;
        } else {
            bad++;
        }
    }
    producing.store(false);
    for (std::thread& t : producers)
        t.join();
    remover.join();
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(nextA[0], PerProducer);
    EXPECT_EQ(nextA[1], PerProducer);
    EXPECT_EQ(lastProgram, Programs - 1) << "the newest program request is never emptied";
    EXPECT_GT(programs, 0);
    EXPECT_FALSE(ring.unholdEvent(&r));
}
