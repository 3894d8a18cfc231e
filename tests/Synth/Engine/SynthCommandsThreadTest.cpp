// The engine's queues under several producer threads: controller requests
// from three threads reach the audio side once each in each thread's order,
// and messages reach the idle side's panel once each while both sides drain.
#include "EngineFigures.h"
#include "EngineTestHost.h"
#include "OsLib.h"
#include "Synth.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int Producers = 3;
constexpr int PerProducer = 5000;
constexpr int Messages = 300;

class QueueEngine : public Synth
{
public:
    QueueEngine()
        : Synth(&EngineTestHost::callback, EngineTest::smallFigures("Q", "Qqq0"))
    {
        sampleCounter = 1; // a block has run: controller requests are accepted
    }
    // Runs on the draining "audio" thread only.
    void sendParameterCC(int ins, int index) override
    {
        if (ins < 0 || ins >= Producers || index != next[ins])
            bad++;
        else
            next[ins]++;
        taken++;
    }
    int next[Producers] = {};
    int bad = 0;
    std::atomic<int> taken{0};
};

} // namespace

TEST(SynthCommandsThread, ProducersOnThreadsBothSidesDraining)
{
    EngineTestHost host;
    std::atomic<int> shown{0};
    OsLib_c::setPanelHook([&shown](const std::string& title, const std::string&, bool) {
        if (title == "Load Error")
            shown++;
        return true;
    });
    {
        QueueEngine e;
        std::atomic<bool> done{false};
        std::vector<std::thread> threads;
        for (int p = 0; p < Producers; p++)
            threads.emplace_back([&e, p] {
                for (int i = 0; i < PerProducer; i++)
                    while (!e.holdCmdtoRT('Y', p, i))
                        std::this_thread::yield();
            });
        threads.emplace_back([&e] {
            for (int i = 0; i < Messages; i++)
                while (!e.holdUserMessage("Load Error", "message"))
                    std::this_thread::yield();
        });
        std::thread audio([&e] {
            while (e.taken.load() < Producers * PerProducer) {
                e.drainRTCmds();
                std::this_thread::yield();
            }
        });
        std::thread idle([&e, &shown, &done] {
            for (;;) {
                // Once the producers are done, one more round takes the rest.
                const bool last = done.load();
                e.drainGUICmds();
                if (last || shown.load() >= Messages)
                    break;
                std::this_thread::yield();
            }
        });
        for (std::thread& t : threads)
            t.join();
        audio.join();
        done = true;
        idle.join();
        // The panel thread shows them one after another.
        EXPECT_TRUE(e.getPanels().waitShown(10000));
        EXPECT_EQ(e.bad, 0);
        for (int p = 0; p < Producers; p++)
            EXPECT_EQ(e.next[p], PerProducer) << p;
    }
    OsLib_c::setPanelHook({});
    EXPECT_EQ(shown.load(), Messages);
}
