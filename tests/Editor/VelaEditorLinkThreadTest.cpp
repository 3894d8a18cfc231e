// The plug-in's editor open while the plug-in plays: the host's rendering
// thread delivers notes and automates parameters (their redraws and keys
// travel through the idle ring), the engine's own idle timer drains that
// ring (a host that gives no idle) and hands the requests to the editor, a
// host thread of its own sets parameters (their redraws reach the editor at
// once), and the user-interface thread idles the editor, changes effect
// types and opens and closes it. ThreadSanitizer runs it.
#include "EngineTestHost.h"
#include "Vela.h"
#include "VelaEditor.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {
struct Factory
{
    Factory() { Vela_c::setEditorFactory(&VelaEditor_c::create); }
    ~Factory() { Vela_c::setEditorFactory(nullptr); }
};

void midi(AEffect* e, int status, int key, int velocity)
{
    VstMidiEvent m{};
    m.type = kVstMidiType;
    m.byteSize = sizeof m;
    m.midiData[0] = static_cast<char>(status);
    m.midiData[1] = static_cast<char>(key);
    m.midiData[2] = static_cast<char>(velocity);
    VstEvents list{};
    list.numEvents = 1;
    list.events[0] = reinterpret_cast<VstEvent*>(&m);
    e->dispatcher(e, effProcessEvents, 0, 0, &list, 0);
}
} // namespace

TEST(EditorThreads, TheEditorFollowsAPlayingPlugInFromTheIdleSide)
{
    Factory factory;
    EngineTestHost host;
    host.suppliesIdle = false; // the engine's timer does the idle work
    auto vela = std::make_unique<Vela_c>(&EngineTestHost::callback, false);
    AEffect* e = vela->getAeffect();
    e->dispatcher(e, effOpen, 0, 0, nullptr, 0);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 48000.f);
    e->dispatcher(e, effSetBlockSize, 0, 256, nullptr, 0);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0);
    auto* editor = dynamic_cast<VelaEditor_c*>(vela->getEditor());
    ASSERT_NE(editor, nullptr);
    void* noWindow = reinterpret_cast<void*>(uintptr_t{0x7fffffff});
    ASSERT_EQ(e->dispatcher(e, effEditOpen, 0, 0, noWindow, 0), 1);

    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::thread audio([&] {
        std::array<float, 256> left{}, right{};
        float* outs[2] = {left.data(), right.data()};
        for (int n = 0; !stop.load(); ++n) {
            const int key = 48 + n % 24;
            midi(e, 0x90, key, 100);
            e->processReplacing(e, nullptr, outs, 256);
            // Automation on the rendering thread, between blocks.
            e->setParameter(e, 4 + n % 4, float(n % 10) / 10.f);
            midi(e, 0x80, key, 0);
            e->processReplacing(e, nullptr, outs, 256);
            ++blocks;
        }
    });

    std::thread parameters([&] {
        for (int n = 0; !stop.load(); ++n) {
            e->setParameter(e, 523 + n % 7, float(n % 5) / 4.f); // the mixer: a full redraw each
            e->setParameter(e, 114, float(n % 9) / 8.f);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int rounds = 0;
    while (std::chrono::steady_clock::now() < deadline || blocks.load() < 50) {
        e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0);
        e->setParameter(e, 213, float(rounds % 12) / 11.f);
        e->setParameter(e, 215, float(rounds % 12) / 11.f);
        if (++rounds % 40 == 0) {
            e->dispatcher(e, effEditClose, 0, 0, nullptr, 0);
            e->dispatcher(e, effEditOpen, 0, 0, noWindow, 0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (rounds > 5000)
            break;
    }
    stop = true;
    audio.join();
    parameters.join();
    e->dispatcher(e, effEditClose, 0, 0, nullptr, 0);
    e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0);
    EXPECT_GT(blocks.load(), 0);
    EXPECT_GT(rounds, 40);
}

TEST(EditorThreads, AnEditorWhoseHostGivesNoIdleIsIdledByTheEngineTimer)
{
    Factory factory;
    EngineTestHost host;
    auto vela = std::make_unique<Vela_c>(&EngineTestHost::callback, false);
    AEffect* e = vela->getAeffect();
    e->dispatcher(e, effOpen, 0, 0, nullptr, 0);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 48000.f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0);
    auto* editor = dynamic_cast<VelaEditor_c*>(vela->getEditor());
    ASSERT_NE(editor, nullptr);
    void* noWindow = reinterpret_cast<void*>(uintptr_t{0x7fffffff});
    ASSERT_EQ(e->dispatcher(e, effEditOpen, 0, 0, noWindow, 0), 1);
    CControlVx* volume = editor->getEdit(4).mainControl; // generator 1's volume knob
    ASSERT_NE(volume, nullptr);

    // The host changes a parameter and then gives no idle of any kind.
    e->setParameter(e, 4, 0.8f);
    const int64_t before = editor->getIdlePasses();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (editor->getIdlePasses() < before + 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_GE(editor->getIdlePasses(), before + 2) << "no idle pass came from the timer";
    // The passes ran after the change: the knob shows it.
    EXPECT_NEAR(volume->DispValue(), 0.8f, 0.02f);

    e->dispatcher(e, effEditClose, 0, 0, nullptr, 0);
    const int64_t closed = editor->getIdlePasses();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(editor->getIdlePasses(), closed) << "a closed editor gets no idle";
    e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0);
}
