// Messages and questions never hold up the host. A panel program that keeps
// its panel up for seconds stands in for a user who takes their time (a
// "zenity" of the test's own, first on the PATH): while it is up, another
// host thread asks for the program and its name and gets them at once, the
// idle call that raised the panel has long returned, and closing the plug-in
// closes the panel instead of waiting for it. A question's answer acts in a
// later idle round.
#include "Vela.h"

#include "EngineTestHost.h"
#include "TestSupport.h"
#include "VelaSampleNames.h"
#include "WaveRAM.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int SlowPanelSeconds = 3;
// What a host call may take while the panel is up; far below the panel's
// seconds even under a sanitizer.
constexpr double PromptSeconds = 1.0;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A panel program that logs its arguments, keeps its panel up for a while
// and answers Yes (OK), on the PATH and with a display to show on.
class SlowPanels
{
public:
    SlowPanels()
        : path("PATH", (dir.path() + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "")).c_str()),
          display("DISPLAY", ":97"), wayland("WAYLAND_DISPLAY", nullptr)
    {
        const std::string zenity = dir.file("zenity");
        std::ofstream(zenity) << "#!/bin/sh\necho \"$@\" >> '" << log() << "'\nsleep " << SlowPanelSeconds
                              << "\nexit 0\n";
        ::chmod(zenity.c_str(), 0755);
    }
    std::string log() const { return dir.file("panels.log"); }
    // The panels that came up so far, one line each.
    std::vector<std::string> shown() const
    {
        std::vector<std::string> lines;
        std::ifstream in(log());
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    bool waitFor(size_t count) const
    {
        const auto start = Clock::now();
        while (shown().size() < count) {
            if (secondsSince(start) > 10.0)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

private:
    TestSupport::TempDir dir;
    TestSupport::ScopedEnv path;
    TestSupport::ScopedEnv display;
    TestSupport::ScopedEnv wayland;
};

intptr_t call(AEffect* e, int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0)
{
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

// Another host thread asks for the program and its name over and over while
// the panel is up; the slowest answer.
double slowestProgramAnswer(AEffect* e, double seconds)
{
    double slowest = 0.0;
    const auto start = Clock::now();
    while (secondsSince(start) < seconds) {
        const auto asked = Clock::now();
        char name[ProgramNameAnswerSize] = {};
        call(e, effGetProgram);
        call(e, effGetProgramName, 0, 0, name);
        slowest = std::max(slowest, secondsSince(asked));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return slowest;
}

} // namespace

TEST(VelaPanelThread, ABankLoadErrorUpDoesNotHoldUpTheHostsOtherThread)
{
    SlowPanels panels;
    EngineTestHost host;
    auto vela = std::make_unique<Vela_c>(EngineTestHost::callback, false);
    AEffect* e = vela->getAeffect();
    call(e, effOpen);
    call(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    call(e, effMainsChanged, 0, 1);

    // A project with a block this build does not know: the load keeps what
    // comes before it and tells the user with "Bank Load Error".
    void* data = nullptr;
    const intptr_t n = call(e, effGetChunk, 0, 0, &data);
    ASSERT_GT(n, 0);
    std::string bank(static_cast<const char*>(data), static_cast<size_t>(n));
    const int32_t unknown[3] = {0x5A5A5A39, 12, 0}; // 'ZZZ9', 12 bytes, order 0
    bank.append(reinterpret_cast<const char*>(unknown), sizeof unknown);

    auto start = Clock::now();
    EXPECT_EQ(call(e, effSetChunk, 0, static_cast<intptr_t>(bank.size()), bank.data()),
              static_cast<intptr_t>(bank.size()));
    EXPECT_LT(secondsSince(start), PromptSeconds) << "the load returned";
    // The host's UI thread gives its idle call, which brings the message up;
    // meanwhile another host thread asks for the program.
    double idleSeconds = 0.0;
    std::thread idle([&] {
        const auto called = Clock::now();
        call(e, effIdle);
        idleSeconds = secondsSince(called);
    });
    ASSERT_TRUE(panels.waitFor(1));
    EXPECT_NE(panels.shown()[0].find("Bank Load Error"), std::string::npos) << panels.shown()[0];
    const double slowest = slowestProgramAnswer(e, 1.5);
    idle.join();
    EXPECT_LT(slowest, PromptSeconds) << "effGetProgram waited on the panel";
    EXPECT_LT(idleSeconds, PromptSeconds) << "the idle call waited on the panel";

    // Closing with the panel still up closes the panel: the host is not
    // kept waiting for the user.
    start = Clock::now();
    call(e, effMainsChanged, 0, 0);
    vela.release(); // the close deletes the plug-in, as a host's does
    call(e, effClose);
    EXPECT_LT(secondsSince(start), PromptSeconds);
}

TEST(VelaPanelThread, AQuestionWaitsOnItsOwnThreadAndItsAnswerActsInAnIdleRound)
{
    if (!std::filesystem::exists("/usr/share/sounds/alsa/Front_Center.wav"))
        GTEST_SKIP() << "no ALSA sample files";
    SlowPanels panels;
    EngineTestHost host;
    auto vela = std::make_unique<Vela_c>(EngineTestHost::callback, false);
    AEffect* e = vela->getAeffect();
    call(e, effOpen);
    call(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    vela->getUserSample(0)->setParaCharPtr(0, WaveRAM_c::wrFilename, "/usr/share/sounds/alsa/Front_Center.wav");
    ASSERT_EQ(vela->getUserSample(0)->getSampleCount(), 1);

    // The editor's "clear sample" asks first; the command returns at once.
    const auto start = Clock::now();
    EXPECT_TRUE(vela->processGUICmd(Vela_c::CmdClearSample, 0, 0, nullptr));
    EXPECT_LT(secondsSince(start), PromptSeconds);
    ASSERT_TRUE(panels.waitFor(1));
    EXPECT_NE(panels.shown()[0].find("--question"), std::string::npos);

    double slowest = 0.0;
    std::thread other([&] { slowest = slowestProgramAnswer(e, 1.0); });
    // Idle rounds go on meanwhile; the sample stays until the answer.
    call(e, effIdle);
    EXPECT_EQ(vela->getUserSample(0)->getSampleCount(), 1);
    other.join();
    EXPECT_LT(slowest, PromptSeconds);

    // The panel answers Yes; the next idle round after that clears.
    ASSERT_TRUE(vela->getPanels().waitShown(10000));
    call(e, effIdle);
    EXPECT_EQ(VelaSampleNames::userFile(*vela, 0), "");
    EXPECT_EQ(vela->getUserSample(0)->getSampleCount(), 0);
    vela.release();
    call(e, effClose);
}
