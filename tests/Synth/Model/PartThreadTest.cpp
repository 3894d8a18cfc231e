#include "Part.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// A module whose render follows the protocol: rendering up, then a look at
// active, the work, rendering down.
class RenderingPart : public Part_c
{
public:
    void render()
    {
        rendering = true;
        if (active) {
            ++work; // plain data: a render that outlived setInactive races here
            if (switchedOff)
                ++lateRenders;
        }
        rendering = false;
    }

    int work = 0;
    std::atomic<bool> switchedOff{false};
    std::atomic<int> lateRenders{0};
};

} // namespace

TEST(PartThread, SetInactiveReturnsOnlyOnceNoRenderIsRunning)
{
    RenderingPart part;
    std::atomic<bool> stop{false};
    std::atomic<long> rounds{0};
    std::thread audio([&] {
        while (!stop) {
            part.render();
            ++rounds;
        }
    });
    while (rounds < 1000)
        std::this_thread::yield();

    part.setInactive();
    part.switchedOff = true;
    const int seen = part.work; // no render may touch it any more
    const long after = rounds;
    while (rounds < after + 1000)
        std::this_thread::yield();
    stop = true;
    audio.join();

    EXPECT_EQ(part.lateRenders, 0);
    EXPECT_EQ(part.work, seen);
    EXPECT_FALSE(part.rendering);
}
