// Sharing under load: while a voice thread plays the zones that borrow a
// master's data, the user-interface thread edits the master and the heir, so
// the master role and the data pointers move between zones. Each zone's
// pointers may change only under that zone's lock, which the voice tries
// before it reads; ThreadSanitizer reports any change made without it.
#include "SampleTestStore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(WaveSampleThread, HandOverWhileVoicesRead)
{
    float data[256];
    for (int i = 0; i < 256; ++i)
        data[i] = float(i % 17) * 0.01f;
    SampleTestStore<3> store;
    std::atomic<bool> stop{false};
    std::atomic<long> reads{0};
    double checksum = 0.0;

    std::thread voice([&] {
        while (!stop.load()) {
            for (int z = 0; z < 3; ++z) {
                WaveSample_c& s = store.zones[z];
                if (!s.lock.getImmediateReadPermission())
                    continue; // the audio thread never waits: skip the block
                for (int i = 0; i < s.frames; ++i)
                    checksum += s.left[i];
                s.lock.releaseReadPermission();
                reads.fetch_add(1);
            }
        }
    });

    for (int round = 0; round < 200; ++round) {
        for (int z = 0; z < 3; ++z)
            store.load(z, "/samples/loop.aif", data, 256);
        store.reverse(0, true); // the master edits: zone 1 inherits, zone 2 follows it
        store.reverse(1, true); // the heir edits: zone 2 takes its own copy
        for (int z = 0; z < 3; ++z) {
            store.zones[z].lock.getWritePermission();
            store.zones[z].freeSample();
            store.zones[z].lock.releaseWritePermission();
        }
    }
    while (reads.load() < 100)
        std::this_thread::yield();
    stop.store(true);
    voice.join();
    EXPECT_GE(checksum, 0.0);
}
