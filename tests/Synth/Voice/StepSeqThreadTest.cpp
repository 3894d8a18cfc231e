// The sequencer's settings change on the user-interface thread while the
// audio thread plays: what crosses is atomics and reset requests, so the
// ThreadSanitizer run sees no race, and no note is left sounding at the end.
#include "SeqTestEngine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

using namespace SeqTest;

TEST(StepSeqThreads, SettingsChangeWhileTheAudioThreadPlays)
{
    SeqEngine e;
    e.set(StepSeq_c::pOpMode, StepSeq_c::mUp);
    std::atomic<bool> done{false};
    std::thread ui([&] {
        std::string text(static_cast<size_t>(StepDataChars), '=');
        text[0] = 1;
        text[1] = 17;
        for (int i = 0; !done.load(); ++i) {
            e.set(StepSeq_c::pOpMode, StepSeq_c::mUp + i % (StepSeq_c::ModeCount - StepSeq_c::mUp));
            e.set(StepSeq_c::pLength, 2 + i % 30);
            e.set(StepSeq_c::pSwing, i % 101);
            e.set(StepSeq_c::pOctaves, 1 + i % 4);
            text[3 + 2 * (i % StepSeqMaxSteps)] = static_cast<char>(1 + i % 129);
            e.setText(text);
            e.chord(ChordMem_c::pOpMode, i % 3);
            std::this_thread::yield();
        }
    });
    for (int round = 0; round < 200; ++round) {
        e.key(48 + round % 24, 100, round % 64);
        e.key(60 + round % 12, 90, 7);
        e.run(512, 128);
        e.release(48 + round % 24, 3);
        e.release(60 + round % 12, 9);
        e.run(512, 128);
    }
    done.store(true);
    ui.join();
    e.set(StepSeq_c::pOpMode, StepSeq_c::mOff);
    e.midi(0, 0xB0, 123, 0);
    e.run(1024);
    EXPECT_TRUE(e.hanging().empty()) << e.hanging().size() << " left";
}
