#include "OsLib.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using Vdx::String_c;

TEST(OsLibThread, InstancesInOneProcessLoseNoKeys)
{
    TestSupport::TempDir dir;
    TestSupport::ScopedEnv config("XDG_CONFIG_HOME", dir.path().c_str());
    ASSERT_TRUE(OsLib_c::remindStringCore("steady", "always there"));

    constexpr int Writers = 4;
    constexpr int KeysEach = 40;
    std::atomic<bool> writing{true};
    std::atomic<int> failures{0};

    // A reader keeps looking at a key nobody changes: the file is replaced
    // whole, so it never sees it missing or half-written.
    std::thread reader([&] {
        while (writing.load()) {
            String_c text;
            if (!OsLib_c::recallStringCore("steady", &text) || text != "always there")
                failures.fetch_add(1);
            int v;
            OsLib_c::recallLong("w0-0", &v);
            (void)OsLib_c::getMilliseconds();
        }
    });
    std::vector<std::thread> writers;
    for (int w = 0; w < Writers; ++w) {
        writers.emplace_back([&, w] {
            for (int i = 0; i < KeysEach; ++i) {
                const std::string key = "w" + std::to_string(w) + "-" + std::to_string(i);
                if (!OsLib_c::remindLong(key, w * 100 + i))
                    failures.fetch_add(1);
            }
        });
    }
    for (std::thread& t : writers)
        t.join();
    writing.store(false);
    reader.join();

    EXPECT_EQ(failures.load(), 0);
    for (int w = 0; w < Writers; ++w) {
        for (int i = 0; i < KeysEach; ++i) {
            const std::string key = "w" + std::to_string(w) + "-" + std::to_string(i);
            int v = -1;
            EXPECT_TRUE(OsLib_c::recallLong(key, &v)) << key;
            EXPECT_EQ(v, w * 100 + i) << key;
        }
    }
}

TEST(OsLibThread, PanelHookSwappedWhilePanelsRun)
{
    // Every panel reaches exactly one of the hooks while another thread keeps
    // replacing them.
    std::atomic<int> hooked{0};
    auto hook = [&](const std::string&, const std::string&, bool) {
        hooked.fetch_add(1);
        return true;
    };
    OsLib_c::setPanelHook(hook);
    std::atomic<bool> running{true};
    std::thread swapper([&] {
        while (running.load())
            OsLib_c::setPanelHook(hook);
    });
    constexpr int Panels = 200;
    int yes = 0;
    for (int i = 0; i < Panels; ++i)
        yes += OsLib_c::tellUser("t", "m") ? 1 : 0;
    running.store(false);
    swapper.join();
    OsLib_c::setPanelHook(nullptr);
    EXPECT_EQ(yes, Panels);
    EXPECT_EQ(hooked.load(), Panels);
}
