// The instrument across threads: events delivered from one thread while the
// audio thread renders and a load holds the render lock now and then; the
// modulation delay redefined while voices read it; settings changed from
// another thread while notes play. Bounded rounds, no timing assertions; the
// ThreadSanitizer build checks the sharing.
#include "InstrumentTestSynth.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

using namespace InstrumentTest;

namespace {

constexpr auto Patience = std::chrono::seconds(60);

// Keeps track of the keys the applied messages hold; renders as if voices
// were playing.
struct CountingInstrument : ProbeInstrument
{
    CountingInstrument() { keepProcessing = true; }
    void processMidi(const unsigned char* message, bool) override
    {
        const bool off = (message[0] & 0xF0) == 0x80 || ((message[0] & 0xF0) == 0x90 && message[2] == 0);
        held[message[0] & 0x0F][message[1] & 0x7F] = !off;
        (off ? noteOffs : noteOns)++;
    }
    void render(int) override
    {
        // A voice reading its delayed values, as the real voices do.
        if (const float* delayed = getModSamplesDelayed(0))
            for (int k = 0; k < ModDelayRowValues; ++k)
                sink += delayed[k];
    }
    int hanging() const
    {
        int n = 0;
        for (const auto& channel : held)
            for (bool h : channel)
                n += h;
        return n;
    }
    bool held[NumMidiChannels][NumMidiNotes] = {};
    int noteOffs = 0;
    int noteOns = 0;
    float sink = 0.0f;
};

} // namespace

TEST(InstrumentThreads, NoNoteIsLeftHangingWhileALoadHoldsTheRenderLock)
{
    RecordingSynth synth(1);
    CountingInstrument ins;
    ins.create(&synth, 0, 4, false);
    constexpr int Chord = 500; // keys struck and let go while the load lasts
    constexpr int Rounds = 2000; // keys Chord..Rounds-1 never repeat one of the chord
    std::atomic<int> delivered{0};
    std::atomic<bool> loadHolds{false};
    std::atomic<bool> sawFull{false};
    auto message = [](int status, int key, int velocity) {
        return std::array<unsigned char, 3>{static_cast<unsigned char>(status | (key / 128 % 16)),
                                            static_cast<unsigned char>(key % 128),
                                            static_cast<unsigned char>(velocity)};
    };

    auto load = std::async(std::launch::async, [&] {
        // A long load: the lock is held while the keys are struck and let
        // go, then now and then for a block or two more.
        ins.renderLock.getWritePermission();
        loadHolds = true;
        while (delivered < Chord)
            std::this_thread::yield();
        ins.renderLock.releaseWritePermission();
        for (int i = 0; i < 20 && delivered < Rounds; ++i) {
            ins.renderLock.getWritePermission();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ins.renderLock.releaseWritePermission();
            std::this_thread::yield();
        }
    });
    while (!loadHolds)
        std::this_thread::yield();
    auto events = std::async(std::launch::async, [&] {
        // Every key of the chord down, then every key up (half of them as
        // note-ons with velocity 0): more than the queue holds.
        for (int k = 0; k < Chord; ++k)
            ins.remindEvent(k % 64, message(0x90, k, 100).data());
        for (int k = 0; k < Chord; ++k) {
            ins.remindEvent(k % 64, message(k % 2 ? 0x80 : 0x90, k, 0).data());
            sawFull = sawFull || ins.getEventCount() == InstrumentEventCapacity;
            delivered++;
        }
        // Then keys struck and let go while the audio thread runs.
        for (int i = Chord; i < Rounds; ++i) {
            ins.remindEvent(i % 64, message(0x90, i, 100).data());
            ins.remindEvent(i % 64 + 1, message(0x80, i, 0).data());
            delivered++;
        }
    });
    auto audio = std::async(std::launch::async, [&] {
        while (delivered < Rounds)
            ins.processAll(64);
        // The load is over: what waits is taken in a few blocks.
        for (int i = 0; i < 100 && ins.getEventCount() > 0; ++i)
            ins.processAll(64);
    });
    ASSERT_EQ(events.wait_for(Patience), std::future_status::ready);
    ASSERT_EQ(load.wait_for(Patience), std::future_status::ready);
    ASSERT_EQ(audio.wait_for(Patience), std::future_status::ready);
    ins.processAll(64);
    EXPECT_TRUE(sawFull.load()) << "the queue filled up while the load held the lock";
    EXPECT_EQ(ins.getEventCount(), 0);
    EXPECT_EQ(ins.hanging(), 0) << "every key let go was released";
    EXPECT_GT(ins.noteOffs, 0);
}

TEST(InstrumentThreads, TheModulationDelayIsReplacedOnlyOutsideTheAudioThreadsReading)
{
    RecordingSynth synth(1);
    CountingInstrument ins;
    ins.create(&synth, 0, 4, false);
    std::atomic<bool> running{true};
    auto audio = std::async(std::launch::async, [&] {
        while (running) {
            float* row = ins.getModSampleRow(0);
            for (int k = 0; k < ModDelayRowValues; ++k)
                row[k] = 0.5f;
            ins.processAll(200);
        }
    });
    for (int i = 0; i < 300; ++i)
        EXPECT_TRUE(ins.defineModDelay(i % 41));
    running = false;
    ASSERT_EQ(audio.wait_for(Patience), std::future_status::ready);
    EXPECT_GE(ins.sink, 0.0f);
}

TEST(InstrumentThreads, SettingsChangeWhileNotesPlay)
{
    RecordingSynth synth(1);
    ProbeInstrument& ins = synth.ins(0);
    ins.keepProcessing = true;
    std::atomic<bool> running{true};
    auto audio = std::async(std::launch::async, [&] {
        for (int i = 0; running; ++i) {
            const unsigned char pedal[3] = {0xB0, 64, static_cast<unsigned char>(i % 3 ? 127 : 0)};
            const unsigned char on[3] = {0x90, static_cast<unsigned char>(40 + i % 30), 90};
            const unsigned char off[3] = {0x80, static_cast<unsigned char>(40 + (i + 7) % 30), 0};
            ins.remindEvent(0, pedal);
            ins.remindEvent(3, on);
            ins.remindEvent(9, off);
            ins.processAll(64);
            synth.take();
        }
    });
    for (int i = 0; i < 2000; ++i) {
        ins.setVoiceLimit(i % 3);
        ins.setLegato(i % 2 == 0);
        ins.setNoteOffs(i % 25 - 12);
        ins.setFlagReceiveSP(i % 4 != 0);
        ins.setFlagReceiveAT(i % 5 != 0);
        ins.setFlagReceiveMW(i % 6 != 0);
        ins.setResolution16th(1.0 + i % 4);
        ins.setSyncStepUp(i % 4, 0.0001 * (i % 7));
        ins.setSyncEnable(i % 4, true);
        ins.setSyncPhase((i + 1) % 4, 0.0);
        ins.setOutIdx(i % 2 * 2);
    }
    running = false;
    ASSERT_EQ(audio.wait_for(Patience), std::future_status::ready);
    ins.setFlagReceiveSP(false);
    ins.processAll(64);
    EXPECT_EQ(ins.getSustainedCount(), 0) << "the audio thread took the pedal request";
}
