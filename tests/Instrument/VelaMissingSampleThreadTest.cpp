// The missing-sample search on the plug-in's own timer thread while the host
// renders on its audio thread and restores its project on a third: the
// search asks outside every load and lock, loads each zone it finds under the
// engine lock, and nothing it touches races with the render or the restores
// (ThreadSanitizer).
#include "SoundFontPluginRig.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

using namespace SoundFontRig;

TEST(VelaMissingSampleThread, TheTimersSearchRunsBesideRenderingAndRestores)
{
    TestSupport::TempDir dir;
    TestSupport::ScopedEnv config{"XDG_CONFIG_HOME", dir.file("config").c_str()};
    std::filesystem::create_directories(dir.file("old"));
    std::filesystem::create_directories(dir.file("new"));
    const std::string sf2 = dir.file("old/two.sf2");
    TestSupport::writeFile(sf2, handBuiltSoundFont());
    std::vector<unsigned char> chunk;
    {
        Plugin a;
        a.importSoundFont(sf2);
        chunk = a.bank();
    }
    const std::string moved = dir.file("new/two.sf2");
    std::filesystem::rename(sf2, moved);

    // A host without idle calls: the plug-in's timer does the idle work.
    Plugin b(false);
    Questions q(*b.vela);
    q.answerYes = true;
    q.chosen = moved;
    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::thread audio([&] {
        std::vector<std::vector<float>> out(NumOutputs51, std::vector<float>(Block));
        float* pointers[NumOutputs51];
        for (size_t c = 0; c < out.size(); ++c)
            pointers[c] = out[c].data();
        VstMidiEvent m{};
        m.type = kVstMidiType;
        m.byteSize = sizeof(VstMidiEvent);
        m.midiData[0] = static_cast<char>(0x90);
        m.midiData[1] = 72;
        m.midiData[2] = 100;
        VstEvents list{};
        list.numEvents = 1;
        list.events[0] = reinterpret_cast<VstEvent*>(&m);
        while (!stop) {
            if (blocks % 64 == 0)
                b.e->dispatcher(b.e, effProcessEvents, 0, 0, &list, 0.0f);
            b.e->processReplacing(b.e, nullptr, pointers, Block);
            ++blocks;
        }
    });
    int restored = 0;
    for (int round = 0; round < 6; ++round) {
        ASSERT_EQ(b.restore(chunk), intptr_t(chunk.size()));
        for (int wait = 0; wait < 500 && b.zonesWithData() < 2; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        restored += b.zonesWithData() == 2 ? 1 : 0;
    }
    stop = true;
    audio.join();
    EXPECT_EQ(restored, 6);
    EXPECT_EQ(q.dialogCount(), 1) << "the folder found by hand is searched after that";
    EXPECT_TRUE(q.allOutsideLoadsAndLocks());
    EXPECT_GT(blocks.load(), 0);
}
