// The editor's close against an idle pass on another thread (the engine's
// substitute timer stands in for a host that gives no idle): one editor
// mutex keeps the frame alive for the pass and no pass starts once close
// has begun.
#include "CFrame.h"
#include "EditorTestRig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

TEST(EditorThreads, CloseWhileAnIdlePassRunsOnAnotherThread)
{
    RegistryTest::MapTestEngine engine;
    EditorTest::TestEditor editor(&engine);
    editor.open(nullptr);
    std::atomic<bool> stop{false};
    std::atomic<int> passes{0};
    std::thread idler([&] {
        while (!stop.load()) {
            editor.setDirty(passes.load() % 100, false);
            editor.setDirty();
            editor.idle();
            ++passes;
        }
    });
    // Open and close until the idle thread has run through many of them.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int cycles = 0;
    while ((cycles < 50 || passes.load() < 50) && std::chrono::steady_clock::now() < deadline) {
        editor.close();
        EXPECT_EQ(editor.getFrame(), nullptr);
        EXPECT_TRUE(editor.open(nullptr));
        ++cycles;
    }
    stop = true;
    idler.join();
    editor.close();
    EXPECT_GE(cycles, 50);
    EXPECT_GT(passes.load(), 0);
}
