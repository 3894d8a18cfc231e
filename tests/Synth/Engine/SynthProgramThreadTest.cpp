// Programs and chunks loaded while the audio thread renders and plays
// notes: the host's user-interface thread saves and restores banks and
// programs, changes programs and runs idle, a third thread posts program and
// bank commands and MIDI program changes, and the engine's idle timer runs
// beside them. Under ThreadSanitizer no report may come; in every build
// every load must succeed and the state must still round-trip at the end.
#include "SynthProgramTestEngine.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

using namespace ProgramTest;

TEST(ProgramThread, LoadsWhileTheAudioThreadRendersAndMidiArrives)
{
    EngineTestHost host;
    host.suppliesIdle = false; // the engine's timer does idle work too
    TestSupport::TempDir root;
    for (const char* f : {"A/a.fxp", "A/b.fxp", "B/c.fxp"}) {
        std::filesystem::create_directories(std::filesystem::path(root.file(f)).parent_path());
        TestSupport::writeFile(root.file(f), "x");
    }

    ProgramTestEngine engine(1, true);
    AEffect* e = engine.getAeffect();
    e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    e->dispatcher(e, effSetBlockSize, 0, 256, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    engine.refreshPrgList(0, Tool::Disk::Path_c(root.file("A/a.fxp")));

    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::thread audio([&] {
        std::vector<float> left(256), right(256);
        float* outs[2] = {left.data(), right.data()};
        VstMidiEvent midi[2] = {};
        VstEvents events{};
        events.numEvents = 2;
        for (int i = 0; i < 2; ++i)
            events.events[i] = reinterpret_cast<VstEvent*>(&midi[i]);
        for (int n = 0; !stop; ++n) {
            // A note on or off, and a program change.
            const unsigned char note = static_cast<unsigned char>(40 + (n / 2) % 40);
            const unsigned char messages[2][3] = {{static_cast<unsigned char>(n % 2 ? 0x80 : 0x90), note, 100},
                                                  {0xC0, static_cast<unsigned char>(n % 3), 0}};
            for (int i = 0; i < 2; ++i) {
                midi[i].type = kVstMidiType;
                midi[i].byteSize = sizeof(VstMidiEvent);
                midi[i].deltaFrames = (n * 7 + i * 50) % 256;
                for (int b = 0; b < 3; ++b)
                    midi[i].midiData[b] = static_cast<char>(messages[i][b]);
            }
            e->dispatcher(e, effProcessEvents, 0, 0, &events, 0.0f);
            e->processReplacing(e, nullptr, outs, 256);
            ++blocks;
        }
    });
    std::thread commands([&] {
        for (int n = 0; !stop; ++n) {
            engine.holdCmdtoGUI(n % 2 ? 'J' : 'K', 0, n % 3);
            std::this_thread::yield();
        }
    });

    // The host's user-interface thread.
    int failures = 0;
    for (int round = 0; round < 60; ++round) {
        engine.setValue(engine.rowVOSC, 0, 3, round % 100);
        void* data = nullptr;
        const int32_t n = static_cast<int32_t>(e->dispatcher(e, effGetChunk, 0, 0, &data, 0.0f));
        std::vector<unsigned char> bank(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + n);
        if (e->dispatcher(e, effSetChunk, 0, n, bank.data(), 0.0f) != n)
            ++failures;
        const int32_t p = static_cast<int32_t>(e->dispatcher(e, effGetChunk, 1, 0, &data, 0.0f));
        std::vector<unsigned char> program(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + p);
        if (e->dispatcher(e, effSetChunk, 1, p, program.data(), 0.0f) != p)
            ++failures;
        e->dispatcher(e, effSetProgram, 0, round % 3, nullptr, 0.0f);
        char name[64] = {};
        e->dispatcher(e, effGetProgramName, 0, 0, name, 0.0f);
        e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.0f);
        e->dispatcher(e, effIdle, 0, 0, nullptr, 0.0f);
    }
    while (blocks < 20)
        std::this_thread::yield();
    stop = true;
    audio.join();
    commands.join();

    EXPECT_EQ(failures, 0);
    const std::vector<unsigned char> last = engine.bank();
    ASSERT_FALSE(last.empty());
    EXPECT_EQ(engine.loadBank(last), static_cast<int32_t>(last.size()));
    EXPECT_EQ(engine.bank(), last);
    e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
}
