#include "SysGlo.h"

#include "OsLib.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// The thread that plays the audio thread marks itself here.
thread_local bool onFakeAudioThread = false;

struct AudioAwareSysGlo : SysGlo_c
{
    using SysGlo_c::SysGlo_c;
    bool mustDeferStore() const override { return onFakeAudioThread; }
};

} // namespace

// Changes made on the audio side while the idle path stores: every change
// ends up stored, and the audio side never stores itself.
TEST(SysGloThread, AudioSideChangesAreAllStoredByTheIdlePath)
{
    TestSupport::TempDir dir;
    TestSupport::ScopedEnv config("XDG_CONFIG_HOME", dir.path().c_str());
    ParaSet_c* slot = nullptr;
    AudioAwareSysGlo part("Test");
    part.getParaSetPtr(&slot);
    part.recall();

    constexpr int Rounds = 200;
    std::atomic<bool> audioDone{false};
    std::thread audio([&] {
        onFakeAudioThread = true;
        // "unused" (0..9) and "Pad Velocity" change by turns; the last
        // values are 9 and 1.
        for (int i = 0; i < Rounds; ++i) {
            part.setParaVal(0, 10, i % 10);
            part.setParaVal(0, 4, i % 2);
        }
        audioDone = true;
    });
    while (!audioDone.load())
        part.storePending();
    audio.join();
    part.storePending();
    EXPECT_FALSE(part.isStorePending());

    SysGlo_c check("Test");
    ParaSet_c* checkSlot = nullptr;
    check.getParaSetPtr(&checkSlot);
    ASSERT_TRUE(check.recall());
    EXPECT_EQ(check.getParaVal(0, 10), (Rounds - 1) % 10);
    EXPECT_EQ(check.getParaVal(0, 4), (Rounds - 1) % 2);
}
