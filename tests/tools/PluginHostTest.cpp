// The host against an in-process fake plug-in: the entry handshake, the
// answers of the host callback, canary faults naming the opcode, and the
// render loop's events, time information, idle calls and guard samples.
#include "host/PluginHost.h"
#include "host/Guards.h"
#include "host/Render.h"

#include <gtest/gtest.h>

#include <cstring>

using Host::PluginHost_c;

namespace {

struct FakePlugin
{
    AEffect effect{};
    audioMasterCallback host = nullptr;
    intptr_t hostVersionSeen = 0;
    bool returnNull = false;
    int32_t magic = kEffectMagic;

    std::string text = "Init"; // what every text opcode writes
    bool terminate = true;
    int overrunFrames = 0;     // frames written past the block

    int closeCalls = 0;
    int idleCalls = 0;
    int64_t processedFrames = 0;
    std::vector<int64_t> eventFrames; // absolute frames of the events received
    std::vector<VstTimeInfo> timeSeen; // asked once per block
};

FakePlugin* gFake = nullptr;

intptr_t fakeDispatcher(AEffect*, int32_t opcode, int32_t, intptr_t, void* ptr, float)
{
    FakePlugin& f = *gFake;
    switch (opcode) {
    case effClose:
        ++f.closeCalls;
        return 0;
    case effGetProgramName:
    case effGetProgramNameIndexed:
    case effGetParamName:
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetEffectName:
    case effGetVendorString:
        std::memcpy(ptr, f.text.data(), f.text.size());
        if (f.terminate)
            static_cast<char*>(ptr)[f.text.size()] = 0;
        return 1;
    case effIdle:
        ++f.idleCalls;
        return 1;
    case effProcessEvents: {
        const auto* list = static_cast<const VstEvents*>(ptr);
        VstEvent* const* events = list->events;
        for (int i = 0; i < list->numEvents; ++i)
            f.eventFrames.push_back(f.processedFrames + events[i]->deltaFrames);
        return 1;
    }
    default:
        return 0;
    }
}

void fakeProcess(AEffect* effect, float**, float** outputs, int32_t frames)
{
    FakePlugin& f = *gFake;
    if (auto* info = reinterpret_cast<VstTimeInfo*>(f.host(effect, audioMasterGetTime, 0, 0, nullptr, 0)))
        f.timeSeen.push_back(*info);
    for (int c = 0; c < effect->numOutputs; ++c)
        for (int i = 0; i < frames + f.overrunFrames; ++i)
            outputs[c][i] = 0.25f;
    f.processedFrames += frames;
}

AEffect* fakeMain(audioMasterCallback host)
{
    FakePlugin& f = *gFake;
    f.host = host;
    f.hostVersionSeen = host(nullptr, audioMasterVersion, 0, 0, nullptr, 0);
    if (f.returnNull)
        return nullptr;
    f.effect.magic = f.magic;
    f.effect.dispatcher = fakeDispatcher;
    f.effect.processReplacing = fakeProcess;
    f.effect.numOutputs = 2;
    f.effect.numPrograms = 1;
    f.effect.numParams = 1;
    f.effect.flags = effFlagsCanReplacing | effFlagsIsSynth;
    return &f.effect;
}

class PluginHostTest : public ::testing::Test
{
protected:
    void SetUp() override { gFake = &fake; }
    void TearDown() override { gFake = nullptr; }

    intptr_t ask(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0)
    {
        return fake.host(&fake.effect, opcode, index, value, ptr, opt);
    }

    FakePlugin fake;
};

TEST_F(PluginHostTest, EntryGetsTheVersionAndCloseHappensOnce)
{
    {
        PluginHost_c host;
        std::string error;
        ASSERT_TRUE(host.attach(fakeMain, error)) << error;
        EXPECT_EQ(fake.hostVersionSeen, 2400);
        EXPECT_EQ(host.effect(), &fake.effect);
        host.close();
        EXPECT_EQ(host.effect(), nullptr);
        EXPECT_EQ(host.dispatch(effGetVstVersion), 0) << "nothing reaches a closed plug-in";
    }
    EXPECT_EQ(fake.closeCalls, 1);
}

TEST_F(PluginHostTest, EntryFailuresAreReported)
{
    {
        fake.returnNull = true;
        PluginHost_c host;
        std::string error;
        EXPECT_FALSE(host.attach(fakeMain, error));
        EXPECT_NE(error.find("null AEffect"), std::string::npos) << error;
    }
    {
        fake.returnNull = false;
        fake.magic = vstFourCC('N', 'o', 'p', 'e');
        PluginHost_c host;
        std::string error;
        EXPECT_FALSE(host.attach(fakeMain, error));
        EXPECT_NE(error.find("bad AEffect magic"), std::string::npos) << error;
        EXPECT_EQ(host.effect(), nullptr);
    }
    EXPECT_EQ(fake.closeCalls, 0) << "a refused record is never dispatched to";
}

TEST_F(PluginHostTest, LoadingAMissingLibraryIsAnError)
{
    PluginHost_c host;
    std::string error;
    EXPECT_FALSE(host.load("/nonexistent/plugin.so", error));
    EXPECT_NE(error.find("cannot load"), std::string::npos) << error;
}

TEST_F(PluginHostTest, CallbackAnswers)
{
    for (const bool supplyIdle : {true, false}) {
        PluginHost_c host({supplyIdle, nullptr});
        std::string error;
        ASSERT_TRUE(host.attach(fakeMain, error)) << error;
        char text[64];
        const auto canDo = [&](const char* what) {
            std::strcpy(text, what);
            return ask(audioMasterCanDo, 0, 0, text);
        };
        EXPECT_EQ(ask(audioMasterVersion), 2400);
        EXPECT_EQ(canDo("supplyIdle"), supplyIdle ? 1 : 0);
        for (const char* yes : {"sendVstEvents", "receiveVstEvents", "sendVstMidiEvent", "receiveVstMidiEvent",
                                "sendVstTimeInfo"})
            EXPECT_EQ(canDo(yes), 1) << yes;
        EXPECT_EQ(canDo("sizeWindow"), 0);
        EXPECT_EQ(ask(audioMasterPinConnected, 1, 1), 0) << "0 means connected";
        EXPECT_EQ(ask(audioMasterWantMidi, 0, 1), 1);
        EXPECT_TRUE(host.wantsMidi());

        std::memset(text, 'x', sizeof text);
        EXPECT_EQ(ask(audioMasterGetVendorString, 0, 0, text), 1);
        EXPECT_STREQ(text, "Tessel");
        EXPECT_EQ(ask(audioMasterGetProductString, 0, 0, text), 1);
        EXPECT_STREQ(text, "tessel-host");

        // Null pointers are answered, not followed.
        for (VstHostOpcode opcode : {audioMasterCanDo, audioMasterGetVendorString, audioMasterGetProductString,
                                     audioMasterProcessEvents})
            EXPECT_EQ(ask(opcode), 0) << "opcode " << opcode;

        const auto* info = reinterpret_cast<const VstTimeInfo*>(ask(audioMasterGetTime, 0, 0x2402));
        ASSERT_NE(info, nullptr);
        EXPECT_DOUBLE_EQ(info->tempo, 120);
        EXPECT_TRUE(info->flags & kVstTempoValid);
        EXPECT_EQ(host.timeRequests(), 1u);

        VstMidiEvent sent[3]{};
        uint64_t words[2 + 3]{};
        const int32_t count = 3;
        std::memcpy(words, &count, sizeof count);
        for (int i = 0; i < 3; ++i) {
            VstEvent* p = reinterpret_cast<VstEvent*>(&sent[i]);
            std::memcpy(reinterpret_cast<char*>(words) + offsetof(VstEvents, events) + i * sizeof p, &p, sizeof p);
        }
        EXPECT_EQ(ask(audioMasterProcessEvents, 0, 0, words), 1);
        EXPECT_EQ(host.eventsFromPlugin(), 3u);

        ask(audioMasterAutomate, 3, 0, nullptr, 0.75f);
        ask(audioMasterBeginEdit, 3);
        ask(audioMasterEndEdit, 3);
        EXPECT_EQ(ask(audioMasterUpdateDisplay), 1);
        ASSERT_EQ(host.automation().size(), 1u);
        EXPECT_EQ(host.automation()[0].index, 3);
        EXPECT_FLOAT_EQ(host.automation()[0].value, 0.75f);
        EXPECT_EQ(host.beginEdits(), 1u);
        EXPECT_EQ(host.endEdits(), 1u);
        EXPECT_EQ(host.displayUpdates(), 1u);

        for (int32_t other : {int32_t(audioMasterCurrentId), int32_t(audioMasterIdle),
                              int32_t(audioMasterGetSampleRate), int32_t(audioMasterSizeWindow),
                              int32_t(audioMasterGetDirectory), 99, -1})
            EXPECT_EQ(ask(other, 0, 0, nullptr), 0) << "opcode " << other;
        EXPECT_TRUE(host.faults().empty());
    }
}

TEST_F(PluginHostTest, TextOverrunsAreFaultsNamingTheOpcode)
{
    const struct
    {
        const char* what;
        int32_t opcode;
        size_t cap;
        std::string text;
        bool terminate;
        const char* faultPart; // empty: no fault
    } cases[] = {
        {"program name fits", effGetProgramName, Host::kProgramNameBytes, std::string(23, 'p'), true, ""},
        {"program name one too long", effGetProgramName, Host::kProgramNameBytes, std::string(24, 'p'), true,
         "effGetProgramName (opcode 5, index 0) wrote past its 24-byte buffer"},
        {"indexed program name one too long", effGetProgramNameIndexed, Host::kProgramNameBytes,
         std::string(24, 'p'), true, "effGetProgramNameIndexed (opcode 29"},
        {"effect name one too long", effGetEffectName, Host::kEffectNameBytes, std::string(32, 'e'), true,
         "effGetEffectName (opcode 45"},
        {"vendor fits", effGetVendorString, Host::kVendorTextBytes, std::string(63, 'v'), true, ""},
        {"parameter name 64 long", effGetParamName, Host::kParameterTextBytes, std::string(64, 'n'), true,
         "effGetParamName (opcode 8"},
        {"parameter display unterminated", effGetParamDisplay, Host::kParameterTextBytes, "0.5", false,
         "effGetParamDisplay (opcode 7, index 0) left a text without a terminator"},
    };
    for (const auto& c : cases) {
        fake = FakePlugin{};
        fake.text = c.text;
        fake.terminate = c.terminate;
        PluginHost_c host;
        std::string error;
        ASSERT_TRUE(host.attach(fakeMain, error)) << error;
        host.queryText(c.opcode, 0, 0, c.cap);
        const auto faults = host.faults();
        if (*c.faultPart == 0) {
            EXPECT_TRUE(faults.empty()) << c.what << ": " << (faults.empty() ? "" : faults[0]);
        } else {
            ASSERT_EQ(faults.size(), 1u) << c.what;
            EXPECT_NE(faults[0].find(c.faultPart), std::string::npos) << c.what << ": " << faults[0];
        }
    }
}

class RenderTest : public PluginHostTest
{
protected:
    // Renders one second at 48 kHz in blocks of 256 with events on the given frames.
    bool render(bool supplyIdle, const std::vector<int64_t>& frames, std::vector<std::string>& faults)
    {
        PluginHost_c host({supplyIdle, nullptr});
        std::string error;
        EXPECT_TRUE(host.attach(fakeMain, error)) << error;
        std::vector<Host::TimedMidi> events;
        for (int64_t frame : frames) {
            Host::TimedMidi t;
            t.frame = frame;
            t.data[0] = 0x90;
            t.data[1] = 60;
            t.data[2] = 100;
            t.size = 3;
            events.push_back(t);
        }
        Host::EventScheduler_c scheduler(events);
        Host::RenderSettings settings;
        settings.sampleRate = 48000;
        settings.blockFrames = 256;
        settings.totalFrames = 48000;
        settings.supplyIdle = supplyIdle;
        sinkFrames = 0;
        const bool ok = Host::renderBlocks(
            host, scheduler, settings,
            [&](const float* const* channels, int count, int n) {
                EXPECT_EQ(count, 2);
                EXPECT_EQ(channels[1][n - 1], 0.25f);
                sinkFrames += n;
                return true;
            },
            stats, error);
        EXPECT_TRUE(ok) << error;
        faults = host.faults();
        return ok;
    }

    Host::RenderStats stats;
    int64_t sinkFrames = 0;
};

TEST_F(RenderTest, EventsArriveOnTheirFramesAndIdleFollowsTheAudio)
{
    const std::vector<int64_t> frames = {0, 100, 255, 256, 12345, 47999};
    std::vector<std::string> faults;
    ASSERT_TRUE(render(true, frames, faults));
    EXPECT_EQ(fake.eventFrames, frames);
    EXPECT_EQ(sinkFrames, 48000);
    EXPECT_EQ(stats.frames, 48000);
    EXPECT_EQ(stats.blocks, 188); // 187 full blocks and one of 128 frames
    // One idle call per 25 ms of audio: 40 in a second.
    EXPECT_EQ(fake.idleCalls, 40);
    EXPECT_EQ(stats.idleCalls, 40u);
    EXPECT_TRUE(faults.empty());
}

TEST_F(RenderTest, NoIdleMeansNoIdleCalls)
{
    std::vector<std::string> faults;
    ASSERT_TRUE(render(false, {}, faults));
    EXPECT_EQ(fake.idleCalls, 0);
    EXPECT_EQ(stats.idleCalls, 0u);
}

TEST_F(RenderTest, TimeInformationFollowsTheBlocks)
{
    std::vector<std::string> faults;
    ASSERT_TRUE(render(true, {}, faults));
    ASSERT_EQ(fake.timeSeen.size(), 188u);
    for (size_t block : {size_t(0), size_t(1), size_t(94), size_t(187)}) {
        const VstTimeInfo& info = fake.timeSeen[block];
        EXPECT_DOUBLE_EQ(info.samplePos, 256.0 * double(block)) << block;
        EXPECT_NEAR(info.ppqPos, info.samplePos / 24000.0, 1e-9) << block; // 120 bpm at 48 kHz
        EXPECT_TRUE(info.flags & kVstTransportPlaying) << block;
        EXPECT_EQ(bool(info.flags & kVstTransportChanged), block == 0) << block;
    }
}

TEST_F(RenderTest, WritingPastTheBlockIsAFault)
{
    fake.overrunFrames = 1;
    std::vector<std::string> faults;
    ASSERT_TRUE(render(true, {}, faults));
    ASSERT_FALSE(faults.empty());
    EXPECT_NE(faults[0].find("processReplacing wrote past the 256-frame block on channel 0"), std::string::npos)
        << faults[0];
}

TEST(IdleClock, AtMostOneCallPerBlock)
{
    Host::IdleClock_c clock(48000, 0.025); // every 1200 frames
    int calls = 0;
    for (int i = 0; i < 10; ++i)
        calls += clock.advance(4096) ? 1 : 0;
    EXPECT_EQ(calls, 10);
    Host::IdleClock_c small(48000, 0.025);
    EXPECT_FALSE(small.advance(1199));
    EXPECT_TRUE(small.advance(1));
    EXPECT_FALSE(small.advance(1199));
}

} // namespace
