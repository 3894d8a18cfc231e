// The controller-assignment table under concurrency: readers (the audio
// thread) go through published snapshots while other threads learn, clear
// and reset the table. The ThreadSanitizer build runs these; each also checks
// that no reader ever sees a half-edited table.
#include "ECS2.h"
#include "EPAS.h"
#include "EngineTestHost.h"
#include "Synth.h"
#include "SysGlo.h"
#include "TestSupport.h"
#include "Vela.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// Every assignment the writers make binds controller c to edit index
// c + EditOffset, and its controller range is either the default one or
// c .. 127 - c: a reader that finds a slot breaking this saw a torn table.
constexpr int EditOffset = 1000;

CCAss_c recordFor(int c)
{
    CCAss_c a;
    a.controller = c;
    a.editIndex = c + EditOffset;
    a.instrument = 0;
    a.mode = 1;
    a.minCC = c;
    a.maxCC = 127 - c;
    return a;
}

} // namespace

TEST(ECS2Thread, ReadersSeeWholeTablesWhileOthersLearnAndClear)
{
    ECS2_c ecs(nullptr, nullptr);
    ecs.setParaVal(0, ecsParaOnOff, 1); // clearing needs learning on
    std::atomic<bool> stop{false};
    std::atomic<long> torn{0};
    std::atomic<long> hits{0};

    std::thread reader([&] {
        int rounds = 0;
        while (!stop.load() || rounds < 1000) {
            ++rounds;
            ECS2_c::View view(ecs);
            for (int k = 0; k < ECSSlotCount; ++k) {
                const CCAss_c& a = view.at(k);
                if (!a.isUsed())
                    continue;
                const bool defaultRange = a.minCC == 0 && a.maxCC == 127;
                const bool ownRange = a.minCC == a.controller && a.maxCC == 127 - a.controller;
                if (a.editIndex != a.controller + EditOffset || !(defaultRange || ownRange))
                    torn.fetch_add(1);
            }
            int slot = -1, ins = 0, edit = 0;
            ECSCtrlUse_t use = ecsUseNone;
            float speed = 0.0f;
            bool negative = false;
            while (view.requestCC(0, rounds % 64, 64, &slot, &ins, &edit, &use, &speed, &negative)) {
                hits.fetch_add(1);
                if (edit != view.at(slot).controller + EditOffset)
                    torn.fetch_add(1);
                (void)view.requestCCVal(slot, view.requestFl01(slot, 64));
            }
            if (rounds > 200000)
                break;
        }
    });
    std::thread learner([&] {
        for (int i = 0; i < 3000; ++i) {
            const int c = i % 64;
            const int slot = ecs.assignCC(0, c, 0, c + EditOffset, false, 0);
            if (slot < ECSSlotCount)
                ecs.Cache2Para(slot, recordFor(c));
            if (i % 3 == 0)
                ecs.clearAssignment(0, (i * 7) % 64 + EditOffset);
        }
    });
    std::thread resetter([&] {
        for (int i = 0; i < 200; ++i) {
            if (i % 50 == 0)
                ecs.init();
            ecs.setParaVal(0, ecsParaOnOff, 1);
            ecs.setParaVal(0, ecsParaActiveGroup, 1 + i % 5);
            std::this_thread::yield();
        }
    });
    learner.join();
    resetter.join();
    stop = true;
    reader.join();
    EXPECT_EQ(torn.load(), 0);
}

namespace {

std::atomic<int> controllersSent{0};

intptr_t countingHost(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt)
{
    if (opcode == audioMasterProcessEvents) {
        controllersSent.fetch_add(1);
        return 1;
    }
    return EngineTestHost::callback(effect, opcode, index, value, ptr, opt);
}

constexpr int WheelIndex = 40; // "MIDI Mod Wheel" of the instrument settings

// Every block feeds the controllers a parser would hand the engine, and
// automates the learned parameter as a host does from its audio thread.
class BusyVela : public Vela_c
{
public:
    BusyVela() : Vela_c(&countingHost, false) {}
    void fillParameterMap() override
    {
        Vela_c::fillParameterMap();
        getEPAS(WheelIndex)->set(WheelIndex, "Wheel", true, 0, 0, getSynGloIns(), SynGloInsPara::ModWheel, false, -1, nullptr);
    }
    void processAll(float** out, int32_t frames) override
    {
        const int v = int(++blocks % 128);
        if (getECS()->isLearning())
            getECS()->processCC(0, 21, v);
        CCsetParameter(0, 21, v);
        CCsetParameter(0, 96, 21);
        setParameter(WheelIndex, float(v) / 127.0f);
        Synth::processAll(out, frames);
    }
    std::atomic<long> blocks{0};
};

} // namespace

TEST(ECS2Thread, TheAudioThreadUsesAssignmentsWhileTheEditorLearnsAndClears)
{
    TestSupport::TempDir dir;
    TestSupport::ScopedEnv config("XDG_CONFIG_HOME", dir.file("config").c_str());
    EngineTestHost host;
    BusyVela vela;
    vela.resume();
    std::atomic<bool> stop{false};

    std::thread audio([&] {
        float left[64] = {};
        float right[64] = {};
        float* outs[2] = {left, right};
        for (int i = 0; i < 20000 && !stop.load(); ++i)
            vela.processReplacing(nullptr, outs, 64);
    });
    std::thread editor([&] {
        ECS2_c& ecs = *vela.getECS();
        for (int i = 0; i < 150; ++i) {
            ecs.setParaVal(0, ecsParaMode, ecsModeLearn);
            vela.touchedParameter(WheelIndex, true);
            std::this_thread::yield();
            vela.fxIdle(); // enters what the audio thread learned
            if (i % 2 == 0)
                vela.processGUICmd(62, -1, 0, nullptr); // clears the touched control
            if (i % 5 == 0) {
                ecs.setParaVal(0, ecsParaMode, ecsModeClear);
                vela.touchedParameter(WheelIndex, true);
            }
            if (i % 25 == 0)
                ecs.setParaVal(0, ecsParaMode, ecsModeOff); // stores
        }
    });
    editor.join();
    stop = true;
    audio.join();
    EXPECT_GT(vela.blocks.load(), 0);
}
