// No host call and no holder of the engine lock waits on a file dialog. A
// dialog that stays up until the test releases it stands in for a user who
// takes their time: while it is up, the call that opened it has returned and
// another host thread gets the program at once; after the answer and an idle
// round the chosen file was read or written, and a cancel changes nothing.
#include "ECS2.h"
#include "EditorBindingRig.h"
#include "FileMenus.h"
#include "InstrumentWithSeq.h"
#include "ModuleManager.h"
#include "StepSeq.h"
#include "TestSupport.h"
#include "VelaGlo.h"
#include "VelaInst.h"
#include "VstInterface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using EditorTest::BindingRig;

// What a host call may take while the dialog is up: far below the time the
// dialog stays up, even under a sanitizer.
constexpr double PromptSeconds = 1.0;
constexpr int ExportProgram = 619;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Every file dialog stays up until release() (or ten seconds, so that a call
// that does wait on it fails the test instead of hanging it).
class HeldDialog
{
public:
    explicit HeldDialog(FileDialog_c::PanelAnswer a) : answer(std::move(a))
    {
        FileDialog_c::setPanelRunner([this](const std::vector<std::string>&) {
            std::unique_lock<std::mutex> lock(mutex);
            ++shown;
            up = true;
            changed.notify_all();
            changed.wait_for(lock, std::chrono::seconds(10), [this] { return released; });
            up = false;
            return answer;
        });
    }
    ~HeldDialog()
    {
        release();
        FileDialog_c::setPanelRunner({});
    }
    HeldDialog(const HeldDialog&) = delete;
    HeldDialog& operator=(const HeldDialog&) = delete;

    bool waitUp()
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), [this] { return up; });
    }
    void release()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            released = true;
        }
        changed.notify_all();
    }
    int count()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return shown;
    }

private:
    FileDialog_c::PanelAnswer answer;
    std::mutex mutex;
    std::condition_variable changed;
    bool up = false;
    bool released = false;
    int shown = 0;
};

// Another host thread asks for the program for a while; the slowest answer.
double slowestProgramAnswer(Synth& engine, double seconds)
{
    double slowest = 0.0;
    std::thread host([&] {
        const auto start = Clock::now();
        while (secondsSince(start) < seconds) {
            const auto asked = Clock::now();
            engine.dispatcher(effGetProgram, 0, 0, nullptr, 0.f);
            slowest = std::max(slowest, secondsSince(asked));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    host.join();
    return slowest;
}

StepSeq_c* arpeggiator(BindingRig& rig)
{
    return rig.engine.getInstrument()->getStepSeq(0);
}

// One place that opens a dialog: what it needs first, the call that opens
// it (a host call or a click), and whether the chosen file was read or
// written.
struct Site
{
    const char* what;
    std::function<void(BindingRig&, const std::string& file)> prepare;
    std::function<void(BindingRig&)> open;
    std::function<bool(BindingRig&, const std::string& file)> done;
};

constexpr int Marked = 37; // the arpeggiator's swing in the file loaded
constexpr int Unmarked = 5;

void setSwing(BindingRig& rig, int value)
{
    arpeggiator(rig)->getParaSet()->setParaVal(0, StepSeq_c::pSwing, value);
}

// A save dialog gives the name its allowed type when it has another.
bool fileThere(BindingRig&, const std::string& file)
{
    return std::filesystem::exists(file) || std::filesystem::exists(file + ".MOD");
}

bool swingLoaded(BindingRig& rig, const std::string&)
{
    return arpeggiator(rig)->getParaVal(0, StepSeq_c::pSwing) == Marked;
}

// The controller the learned table in the file binds, and whether the
// engine's table holds it with learning off (the load's after-steps).
constexpr int LearnedController = 77;

bool learnedTableLoaded(BindingRig& rig, const std::string&)
{
    ECS2_c* ecs = rig.engine.getECS();
    if (ecs->getParaVal(0, ecsParaOnOff) != 0)
        return false;
    for (int k = 0; k < ECSSlotCount; ++k) {
        CCAss_c slot;
        ecs->Para2Cache(k, &slot);
        if (slot.isUsed() && slot.controller == LearnedController)
            return true;
    }
    return false;
}

void instrumentFileIO(BindingRig& rig, int mode)
{
    // As a host call does it: under the engine lock.
    Synth::HostCallScope call(rig.engine);
    char name[] = "Synth";
    rig.engine.handleInstFileIO(0, mode, name);
}

} // namespace

TEST(FileDialogSitesThread, NoHostCallWaitsOnAFileDialogAndTheAnswerActsInAnIdleRound)
{
    const Site sites[] = {
        {"the editor's file button",
         [](BindingRig& rig, const std::string&) {
             ASSERT_NE(rig.editor.createFileControl(rig.page, ExportProgram, "Export Sound Program",
                                                    "Standard FXP format", rig.editor.getFxpPatterns(),
                                                    "TesselPresets", FileDialog_c::ModeSave, 135, 230, 38, 15),
                       nullptr);
         },
         [](BindingRig& rig) { rig.click(150, 235); },
         [](BindingRig& rig, const std::string& file) {
             return rig.engine.edits() == "x" && rig.engine.strings.back() == file;
         }},
        {"an instrument's save", [](BindingRig&, const std::string&) {},
         [](BindingRig& rig) { instrumentFileIO(rig, tpfioSave); }, fileThere},
        {"an instrument's load",
         [](BindingRig& rig, const std::string& file) {
             setSwing(rig, Marked);
             rig.engine.exportPatch(0, Tool::Disk::Path_c(file.c_str()));
             setSwing(rig, Unmarked);
         },
         [](BindingRig& rig) { instrumentFileIO(rig, tpfioLoad); }, swingLoaded},
        {"a module's save from the generator's file menu", [](BindingRig&, const std::string&) {},
         [](BindingRig& rig) {
             Synth::HostCallScope call(rig.engine);
             VelaGlo_c* glo = rig.engine.getGlobalPart();
             glo->setParaVal(0, VelaGlo_c::gpFileIOGen0, 1); // Save
             rig.engine.postprocessParaChange(0, glo, VelaGlo_c::gpFileIOGen0);
         },
         fileThere},
        {"the arpeggiator's load from its file menu",
         [](BindingRig& rig, const std::string& file) {
             setSwing(rig, Marked);
             Tool::Disk::Path_c path(file.c_str());
             ASSERT_TRUE(rig.engine.getModuleManager()->exportModule(arpeggiator(rig), path, 0));
             setSwing(rig, Unmarked);
         },
         [](BindingRig& rig) {
             // As the host's setParameter brings the menu's choice: under
             // the engine lock.
             Synth::HostCallScope call(rig.engine);
             arpeggiator(rig)->getParaSet()->setParaVal(0, StepSeq_c::pFileIO, 0); // Load
             arpeggiator(rig)->postprocessParaChange(0, StepSeq_c::pFileIO);
         },
         swingLoaded},
        {"the controller table's load from its learn menu",
         [](BindingRig& rig, const std::string& file) {
             ECS2_c* ecs = rig.engine.getECS();
             ASSERT_LT(ecs->assignCC(0, LearnedController, 0, 4, false, 0), ECSSlotCount);
             Tool::Disk::Path_c path(file.c_str());
             ASSERT_TRUE(rig.engine.getModuleManager()->exportModule(ecs, path, 0));
             ecs->init();
         },
         [](BindingRig& rig) {
             Synth::HostCallScope call(rig.engine);
             ECS2_c* ecs = rig.engine.getECS();
             ecs->getParaSet()->setParaVal(0, ecsParaOnOff, 1); // learning, which the load ends
             ecs->getParaSet()->setParaVal(0, ecsParaMode, ecsModeLoad);
             ecs->postprocessParaChange(0, ecsParaMode);
         },
         learnedTableLoaded},
    };
    for (const Site& site : sites) {
        for (bool chosen : {true, false}) {
            SCOPED_TRACE(std::string(site.what) + (chosen ? ", a file chosen" : ", cancelled"));
            TestSupport::TempDir dir;
            TestSupport::ScopedEnv config{"XDG_CONFIG_HOME", dir.file("config").c_str()};
            const std::string file = dir.file("Chosen.fxp");
            BindingRig rig;
            site.prepare(rig, file);
            const bool before = site.done(rig, file);
            HeldDialog dialog({chosen, file});
            rig.engine.calls.clear();

            const auto start = Clock::now();
            site.open(rig);
            EXPECT_LT(secondsSince(start), PromptSeconds) << "the call that opened the dialog returned";
            ASSERT_TRUE(dialog.waitUp());
            EXPECT_LT(slowestProgramAnswer(rig.engine, 0.3), PromptSeconds) << "effGetProgram waited on the dialog";
            rig.editor.idle();
            EXPECT_EQ(site.done(rig, file), before) << "nothing happens before the answer";

            dialog.release();
            ASSERT_TRUE(rig.engine.getPanels().waitShown(5000));
            rig.editor.idle(); // an idle round: the engine's, then the editor's
            EXPECT_EQ(site.done(rig, file), chosen);
            EXPECT_EQ(dialog.count(), 1);
        }
    }
}
