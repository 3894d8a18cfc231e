// Canary detection on the buffers the host lends a plug-in.
#include "host/Guards.h"

#include <gtest/gtest.h>

#include "VstInterface.h"

#include <cstddef>
#include <cstring>

using Host::GuardedAudio_c;
using Host::TextGuard_c;

TEST(Guards, TextCanaryAndTerminatorChecks)
{
    const std::string fits(23, 'a'); // 23 characters + terminator = 24 bytes
    const std::string full(24, 'b'); // needs 25 bytes
    const struct
    {
        const char* what;
        std::string written; // bytes the "plug-in" writes, terminator included when wanted
        bool ok;
        const char* problemPart;
    } cases[] = {
        {"nothing written", "", true, ""},
        {"short text", std::string("Init\0", 5), true, ""},
        {"text filling the buffer", fits + std::string(1, '\0'), true, ""},
        {"terminator one past the buffer", full + std::string(1, '\0'), false, "byte 24 overwritten"},
        {"unterminated text within the buffer", "abc", false, "without a terminator"},
        {"unterminated text filling the buffer", full.substr(0, 24), false, "without a terminator"},
        {"long overrun", std::string(200, 'c') + std::string(1, '\0'), false, "wrote past its 24-byte buffer"},
    };
    for (const auto& c : cases) {
        TextGuard_c guard(24);
        guard.armForText();
        std::memcpy(guard.data(), c.written.data(), c.written.size());
        const std::string problem = guard.check();
        EXPECT_EQ(problem.empty(), c.ok) << c.what << ": " << problem;
        EXPECT_NE(problem.find(c.problemPart), std::string::npos) << c.what << ": " << problem;
    }
}

TEST(Guards, TextIsCutAtTheTerminatorOrTheCap)
{
    TextGuard_c guard(8);
    guard.armForText();
    EXPECT_EQ(guard.text(), "");
    std::memcpy(guard.data(), "Pad\0xyz", 7);
    EXPECT_EQ(guard.text(), "Pad");
    std::memcpy(guard.data(), "12345678", 8);
    EXPECT_EQ(guard.text(), "12345678");
}

TEST(Guards, RecordChecksEachTextField)
{
    Host::GuardedBuffer_c guard(sizeof(VstPinProperties), sizeof(VstPinProperties) + 64);
    guard.armForRecord();
    auto* pin = reinterpret_cast<VstPinProperties*>(guard.data());
    std::memset(pin->shortLabel, 'x', sizeof pin->shortLabel); // 8 bytes, no terminator
    EXPECT_TRUE(guard.checkCanary().empty());
    EXPECT_TRUE(guard.checkTerminated(offsetof(VstPinProperties, label), 64).empty());
    EXPECT_FALSE(guard.checkTerminated(offsetof(VstPinProperties, shortLabel), 8).empty());
    guard.data()[sizeof(VstPinProperties)] = 0; // one byte past the record
    EXPECT_FALSE(guard.checkCanary().empty());
}

TEST(Guards, AudioGuardSamplesFollowTheArmedFrames)
{
    GuardedAudio_c audio(2, 64);
    for (int frames : {64, 17}) {
        audio.arm(frames);
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < frames; ++i)
                audio.channels()[c][i] = 0.5f;
        EXPECT_EQ(audio.check(), "") << frames;

        audio.channels()[1][frames] = 0.0f; // one frame too many on the second channel
        const std::string problem = audio.check();
        EXPECT_NE(problem.find("channel 1"), std::string::npos) << problem;
        EXPECT_NE(problem.find("frame " + std::to_string(frames)), std::string::npos) << problem;
    }
    audio.arm(8);
    EXPECT_EQ(audio.channel(0)[0], 0.0f) << "arming clears the block";
}
