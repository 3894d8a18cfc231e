#include "ModuleManager.h"

#include "ModuleManagerDoubles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

using namespace ModuleTest;

// Two plug-in instances, each with a user-interface thread of its own, use
// the process's clipboard at once: one copies two different modules by
// turns, the other pastes. Every paste gives one of the two modules whole,
// never a mix of both.
TEST(ModuleManagerThread, CopyAndPasteInTwoInstancesNeverMix)
{
    std::memset(Synth::CopyBuffer0, 0, sizeof Synth::CopyBuffer0);
    Instance copier;
    Instance paster;
    const std::string shortName = "short";
    const std::string longName(3000, 'L');
    copier.moduleA.setState(0, 10, shortName);
    copier.moduleA.setState(1, 90, longName);
    ASSERT_TRUE(copier.manager.copyModule(&copier.moduleA, 0));

    constexpr int Rounds = 300;
    std::atomic<bool> done{false};
    std::thread copying([&] {
        for (int i = 0; i < Rounds; ++i)
            copier.manager.copyModule(&copier.moduleA, i % 2);
        done = true;
    });
    int pastes = 0;
    int mixed = 0;
    while (!done.load() || pastes < Rounds) {
        if (!paster.manager.pasteModule(&paster.moduleA, 0))
            continue;
        ++pastes;
        const int level = paster.moduleA.level(0);
        const std::string name = paster.moduleA.name(0);
        if (!((level == 10 && name == shortName) || (level == 90 && name == longName)))
            ++mixed;
    }
    copying.join();
    EXPECT_EQ(mixed, 0);
}
