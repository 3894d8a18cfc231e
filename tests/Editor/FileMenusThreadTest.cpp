// A file dialog may be asked for from the editor's idle pass (a click the
// frame's event pass delivers): while it is open, the audio thread must go on
// rendering, so nothing the audio thread waits for is held while the user
// looks at it, the instrument's render lock least of all.
#include "CFrame.h"
#include "CVSTGUITimer.h"
#include "EditorBindingRig.h"
#include "FileMenus.h"
#include "Instrument.h"
#include "VstInterface.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace {
// Clicks a point of the frame when its timer fires: inside the frame's idle
// pass, and so inside the editor's.
struct Clicker : CBaseObject
{
    CFrame* frame = nullptr;
    CPoint where;
    CMessageResult notify(CBaseObject*, const char* message) override
    {
        if (!message || std::strcmp(message, kMsgTimer) != 0 || !frame)
            return kMessageUnknown;
        CFrame* f = frame;
        frame = nullptr; // once
        f->platformMouseDown(where, kLButton);
        f->platformMouseUp(where, kLButton);
        return kMessageNotified;
    }
};
} // namespace

TEST(FileButtonThreads, SoundGoesOnWhileADialogFromTheIdlePassIsOpen)
{
    EditorTest::BindingRig rig;
    rig.engine.dispatcher(effSetSampleRate, 0, 0, nullptr, 44100.f);
    rig.engine.dispatcher(effSetBlockSize, 0, 256, nullptr, 0.f);
    rig.engine.dispatcher(effMainsChanged, 0, 1, nullptr, 0.f);
    SynthEditor_c& e = rig.editor;
    ASSERT_NE(e.createFileControl(rig.page, 620, "Import Sound Program", "Standard FXP format", e.getFxpPatterns(),
                                  "TesselPresets", FileDialog_c::ModeOpen, 59, 230, 38, 15),
              nullptr);

    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    const int outputs = rig.engine.getAeffect()->numOutputs;
    std::thread audio([&] {
        std::vector<std::vector<float>> buffers(static_cast<size_t>(outputs), std::vector<float>(256));
        std::vector<float*> pointers;
        for (auto& b : buffers)
            pointers.push_back(b.data());
        while (!stop.load()) {
            rig.engine.processReplacing(nullptr, pointers.data(), 256);
            ++blocks;
        }
    });

    // Written by the thread that shows the dialog.
    std::atomic<int> dialogs{0};
    std::atomic<int> blocksDuring{0};
    std::atomic<bool> renderLockFree{false};
    FileDialog_c::setPanelRunner([&](const std::vector<std::string>&) {
        ++dialogs;
        // The user thinks for a while; the audio thread renders meanwhile.
        const int before = blocks.load();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (blocks.load() < before + 20 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        blocksDuring = blocks.load() - before;
        std::thread probe([&] {
            Lock_c& lock = rig.engine.getInstPtr(0)->renderLock;
            const bool free = lock.getImmediateReadPermission();
            if (free)
                lock.releaseReadPermission();
            renderLockFree = free;
        });
        probe.join();
        return FileDialog_c::PanelAnswer{};
    });

    Clicker clicker;
    clicker.frame = rig.frame();
    clicker.where = CPoint(70, 235);
    CVSTGUITimer timer(&clicker, 1, rig.frame());
    timer.start();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (dialogs.load() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        e.idle();
    }
    timer.stop();
    // The cancel comes back through a later idle pass.
    ASSERT_TRUE(rig.engine.getPanels().waitShown(15000));
    e.idle();
    stop = true;
    audio.join();
    FileDialog_c::setPanelRunner({});

    EXPECT_EQ(dialogs.load(), 1);
    EXPECT_GE(blocksDuring.load(), 20) << "the audio thread rendered while the dialog was open";
    EXPECT_TRUE(renderLockFree.load());
    EXPECT_EQ(rig.engine.last('x'), nullptr) << "cancelled: nothing sent";
}
