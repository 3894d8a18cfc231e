// The preset clipboard is one for the whole process, and two plug-in
// instances may copy and paste on two threads of their own at once. Each
// paste must load a whole program one of them copied, never a torn mix or
// bytes freed under it.
#include "SynthPresetTestEngine.h"

#include "ModuleManager.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace PresetTest;

namespace {

constexpr int OscPara = 3;
constexpr int GloPara = 2;
constexpr int Rounds = 150;

TEST(PresetClipboardThreads, CopiesAndPastesOfTwoInstancesNeverTear)
{
    TestSupport::TempDir dir;
    TestSupport::ScopedEnv config("XDG_CONFIG_HOME", (dir.path() + "/config").c_str());
    TestSupport::ScopedEnv data("XDG_DATA_HOME", (dir.path() + "/data").c_str());
    PresetTestEngine a;
    PresetTestEngine b;
    // Two sounds, each a pair of values that only ever travel together.
    a.setValue(a.rowVOSC, 0, OscPara, 11);
    a.setValue(a.rowPGLO, 0, GloPara, 22);
    b.setValue(b.rowVOSC, 0, OscPara, 33);
    b.setValue(b.rowPGLO, 0, GloPara, 44);

    std::atomic<int> torn{0};
    auto run = [&torn](PresetTestEngine* e) {
        char name[] = "Synth";
        for (int i = 0; i < Rounds; ++i) {
            e->handleInstFileIO(0, tpfioCopy1, name);
            e->handleInstFileIO(0, tpfioPaste1, name);
            const int osc = e->value(e->rowVOSC, 0, OscPara);
            const int glo = e->value(e->rowPGLO, 0, GloPara);
            if (!((osc == 11 && glo == 22) || (osc == 33 && glo == 44)))
                ++torn;
        }
    };
    std::thread first(run, &a);
    std::thread second(run, &b);
    first.join();
    second.join();
    EXPECT_EQ(torn.load(), 0);
}

} // namespace
