#include "RecordingEffect.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// What the plug-in last asked the host, and what the host answers.
struct HostCall
{
    int calls = 0;
    AEffect* effect = nullptr;
    int32_t opcode = -1;
    int32_t index = 0;
    intptr_t value = 0;
    void* ptr = nullptr;
    float opt = 0;
    intptr_t answer = 0;
};
HostCall host;

intptr_t recordingHost(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt)
{
    ++host.calls;
    host.effect = effect;
    host.opcode = opcode;
    host.index = index;
    host.value = value;
    host.ptr = ptr;
    host.opt = opt;
    return host.answer;
}

struct Row
{
    const char* wrapper;
    int32_t opcode;
    int32_t index;
    intptr_t value;
    bool passesPtr; // the wrapper's pointer argument is `arg`
    float opt;
    intptr_t answer;
    intptr_t result;
    intptr_t resultWithoutHost;
    std::function<intptr_t(RecordingEffect&, void* arg)> call;
};

template <typename T>
intptr_t asInt(T* p)
{
    return reinterpret_cast<intptr_t>(p);
}

std::vector<Row> rows(void* arg)
{
    auto* task = static_cast<VstOfflineTask*>(arg);
    auto* file = static_cast<VstAudioFile*>(arg);
    auto* text = static_cast<char*>(arg);
    const intptr_t p = reinterpret_cast<intptr_t>(arg);
    return {
        {"setParameterAutomated", 0, 3, 0, false, 0.25f, 0, 0, 0,
         [](RecordingEffect& fx, void*) { fx.setParameterAutomated(3, 0.25f); return intptr_t(0); }},
        {"getMasterVersion", 1, 0, 0, false, 0, 2400, 2400, 1,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.getMasterVersion()); }},
        {"getMasterVersion, host answers 0", 1, 0, 0, false, 0, 0, 1, 1,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.getMasterVersion()); }},
        {"getCurrentUniqueId", 2, 0, 0, false, 0, 77, 77, 0,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.getCurrentUniqueId()); }},
        {"masterIdle", 3, 0, 0, false, 0, 0, 0, 0,
         [](RecordingEffect& fx, void*) { fx.masterIdle(); return intptr_t(0); }},
        {"isInputConnected, connected", 4, 1, 0, false, 0, 0, 1, 1,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.isInputConnected(1)); }},
        {"isInputConnected, not connected", 4, 1, 0, false, 0, 1, 0, 1,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.isInputConnected(1)); }},
        {"isOutputConnected", 4, 5, 1, false, 0, 0, 1, 1,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.isOutputConnected(5)); }},
        {"wantEvents", 6, 0, 1, false, 0, 0, 0, 0,
         [](RecordingEffect& fx, void*) { fx.wantEvents(); return intptr_t(0); }},
        {"getTimeInfo", 7, 0, 0x2402, false, 0, p, p, 0,
         [](RecordingEffect& fx, void*) { return asInt(fx.getTimeInfo(0x2402)); }},
        {"sendVstEventsToHost", 8, 0, 0, true, 0, 1, 1, 0,
         [](RecordingEffect& fx, void* a) { return intptr_t(fx.sendVstEventsToHost(static_cast<VstEvents*>(a))); }},
        {"sendVstEventsToHost, refused", 8, 0, 0, true, 0, 0, 0, 0,
         [](RecordingEffect& fx, void* a) { return intptr_t(fx.sendVstEventsToHost(static_cast<VstEvents*>(a))); }},
        {"tempoAt", 10, 0, 4410, false, 0, 1200000, 1200000, 0,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.tempoAt(4410)); }},
        {"getNumAutomatableParameters", 11, 0, 0, false, 0, 8, 8, 0,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.getNumAutomatableParameters()); }},
        {"getParameterQuantization", 12, 0, 0, false, 0, 100, 100, 0,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.getParameterQuantization()); }},
        {"ioChanged", 13, 0, 0, false, 0, 1, 1, 0,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.ioChanged()); }},
        {"needIdle", 14, 0, 0, false, 0, 1, 1, 0,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.needIdle()); }},
        {"sizeWindow", 15, 640, 480, false, 0, 1, 1, 0,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.sizeWindow(640, 480)); }},
        {"updateSampleRate", 16, 0, 0, false, 0, 48000, 48000, 0,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.updateSampleRate()); }},
        {"updateSampleRate, no answer keeps the rate", 16, 0, 0, false, 0, 0, 44100, 0,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.updateSampleRate()); }},
        {"updateBlockSize", 17, 0, 0, false, 0, 512, 512, 0,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.updateBlockSize()); }},
        {"getInputLatency", 18, 0, 0, false, 0, 64, 64, 0,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.getInputLatency()); }},
        {"getOutputLatency", 19, 0, 0, false, 0, 128, 128, 0,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.getOutputLatency()); }},
        {"getPreviousPlug", 20, 2, 0, false, 0, p, p, 0,
         [](RecordingEffect& fx, void*) { return asInt(fx.getPreviousPlug(2)); }},
        {"getNextPlug", 21, 3, 0, false, 0, p, p, 0,
         [](RecordingEffect& fx, void*) { return asInt(fx.getNextPlug(3)); }},
        {"willProcessReplacing", 22, 0, 0, false, 0, 1, 1, 0,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.willProcessReplacing()); }},
        {"getCurrentProcessLevel", 23, 0, 0, false, 0, 2, 2, 0,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.getCurrentProcessLevel()); }},
        {"getAutomationState", 24, 0, 0, false, 0, 3, 3, 0,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.getAutomationState()); }},
        {"offlineStart", 25, 2, 5, true, 0, 1, 1, 0,
         [file](RecordingEffect& fx, void*) { return intptr_t(fx.offlineStart(file, 5, 2)); }},
        {"offlineRead", 26, 1, 4, true, 0, 1, 1, 0,
         [task](RecordingEffect& fx, void*) { return intptr_t(fx.offlineRead(task, 4, true)); }},
        {"offlineWrite", 27, 0, 4, true, 0, 1, 1, 0,
         [task](RecordingEffect& fx, void*) { return intptr_t(fx.offlineWrite(task, 4)); }},
        {"offlineGetCurrentPass", 28, 0, 0, false, 0, 1, 1, 0,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.offlineGetCurrentPass()); }},
        {"offlineGetCurrentMetaPass", 29, 0, 0, false, 0, 1, 1, 0,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.offlineGetCurrentMetaPass()); }},
        {"setOutputSamplerate", 30, 0, 0, false, 96000.0f, 0, 0, 0,
         [](RecordingEffect& fx, void*) { fx.setOutputSamplerate(96000.0f); return intptr_t(0); }},
        {"getOutputSpeakerArrangement", 31, 0, 0, false, 0, p, p, 0,
         [](RecordingEffect& fx, void*) { return asInt(fx.getOutputSpeakerArrangement()); }},
        {"getHostVendorString", 32, 0, 0, true, 0, 1, 1, 0,
         [text](RecordingEffect& fx, void*) { return intptr_t(fx.getHostVendorString(text)); }},
        {"getHostProductString", 33, 0, 0, true, 0, 1, 1, 0,
         [text](RecordingEffect& fx, void*) { return intptr_t(fx.getHostProductString(text)); }},
        {"getHostVendorVersion", 34, 0, 0, false, 0, 1000, 1000, 0,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.getHostVendorVersion()); }},
        {"hostVendorSpecific", 35, 1, 2, true, 0.5f, 9, 9, 0,
         [](RecordingEffect& fx, void* a) { return fx.hostVendorSpecific(1, 2, a, 0.5f); }},
        {"canHostDo", 37, 0, 0, true, 0, -1, -1, 0,
         [text](RecordingEffect& fx, void*) { return intptr_t(fx.canHostDo(text)); }},
        {"getHostLanguage", 38, 0, 0, false, 0, 1, 1, 0,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.getHostLanguage()); }},
        {"openWindow", 39, 0, 0, true, 0, p, p, 0,
         [](RecordingEffect& fx, void* a) { return asInt(fx.openWindow(static_cast<VstWindow*>(a))); }},
        {"closeWindow", 40, 0, 0, true, 0, 1, 1, 0,
         [](RecordingEffect& fx, void* a) { return intptr_t(fx.closeWindow(static_cast<VstWindow*>(a))); }},
        {"getDirectory", 41, 0, 0, false, 0, p, p, 0,
         [](RecordingEffect& fx, void*) { return asInt(fx.getDirectory()); }},
        {"updateDisplay", 42, 0, 0, false, 0, 1, 1, 0,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.updateDisplay()); }},
        {"beginEdit", 43, 7, 0, false, 0, 1, 1, 0,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.beginEdit(7)); }},
        {"endEdit", 44, 7, 0, false, 0, 1, 1, 0,
         [](RecordingEffect& fx, void*) { return intptr_t(fx.endEdit(7)); }},
        {"openFileSelector", 45, 0, 0, true, 0, 1, 1, 0,
         [](RecordingEffect& fx, void* a) { return intptr_t(fx.openFileSelector(static_cast<VstFileSelect*>(a))); }},
        {"closeFileSelector", 46, 0, 0, true, 0, 1, 1, 0,
         [](RecordingEffect& fx, void* a) { return intptr_t(fx.closeFileSelector(static_cast<VstFileSelect*>(a))); }},
        {"getChunkFile", 48, 0, 0, true, 0, 1, 1, 0,
         [](RecordingEffect& fx, void* a) { return intptr_t(fx.getChunkFile(a)); }},
        {"getInputSpeakerArrangement", 49, 0, 0, false, 0, p, p, 0,
         [](RecordingEffect& fx, void*) { return asInt(fx.getInputSpeakerArrangement()); }},
    };
}

} // namespace

TEST(HostWrappers, PassTheirArgumentsAndReadTheAnswer)
{
    char arg[64] = "supplyIdle";
    for (const Row& r : rows(arg)) {
        RecordingEffect fx(recordingHost);
        host = HostCall{};
        host.answer = r.answer;
        EXPECT_EQ(r.call(fx, arg), r.result) << r.wrapper;
        EXPECT_EQ(host.calls, 1) << r.wrapper;
        EXPECT_EQ(host.effect, fx.getAeffect()) << r.wrapper;
        EXPECT_EQ(host.opcode, r.opcode) << r.wrapper;
        EXPECT_EQ(host.index, r.index) << r.wrapper;
        EXPECT_EQ(host.value, r.value) << r.wrapper;
        EXPECT_EQ(host.ptr, r.passesPtr ? static_cast<void*>(arg) : nullptr) << r.wrapper;
        EXPECT_EQ(host.opt, r.opt) << r.wrapper;
    }
}

TEST(HostWrappers, AnswerDefaultsWithoutAHost)
{
    char arg[64] = "supplyIdle";
    for (const Row& r : rows(arg)) {
        RecordingEffect fx(nullptr);
        EXPECT_EQ(r.call(fx, arg), r.resultWithoutHost) << r.wrapper;
    }
}

TEST(HostWrappers, SideEffectsOnTheFrame)
{
    RecordingEffect fx(recordingHost);
    host = HostCall{};
    host.answer = 48000;
    fx.updateSampleRate();
    EXPECT_EQ(fx.getSampleRate(), 48000.0f);
    host.answer = -5; // a nonsense block size is not taken
    EXPECT_EQ(fx.updateBlockSize(), 1024);

    // The automated value reaches the plug-in before the host hears of it.
    fx.log.clear();
    struct : RecordingEffect
    {
        using RecordingEffect::RecordingEffect;
        std::string seen;
        void setParameter(int32_t index, float value) override
        {
            seen = std::to_string(index) + "=" + num(value) + " host calls before: " + std::to_string(host.calls);
        }
    } automated(recordingHost);
    host = HostCall{};
    automated.setParameterAutomated(2, 0.75f);
    EXPECT_EQ(automated.seen, "2=0.75 host calls before: 0");
    EXPECT_EQ(host.calls, 1);

    // Text queries start from an empty text and refuse a null one.
    char vendor[8] = "junk";
    host = HostCall{};
    EXPECT_FALSE(fx.getHostVendorString(vendor));
    EXPECT_STREQ(vendor, "");
    EXPECT_FALSE(fx.getHostProductString(nullptr));
    EXPECT_EQ(fx.canHostDo(nullptr), 0);
    EXPECT_EQ(host.calls, 1);
}

TEST(HostWrappers, ResumeAsksForMidi)
{
    struct Case { bool synth; const char* canDoAnswer; int wantMidiCalls; };
    const Case cases[] = {{true, "no", 1}, {false, "receiveVstMidiEvent", 1}, {false, "no", 0}};
    for (const Case& c : cases) {
        struct : AudioEffectX
        {
            using AudioEffectX::AudioEffectX;
            std::string yes;
            void processReplacing(float**, float**, int32_t) override {}
            int32_t canDo(char* text) override { return yes == text ? 1 : -1; }
        } fx(recordingHost, 1, 1);
        fx.yes = c.canDoAnswer;
        fx.isSynth(c.synth);
        host = HostCall{};
        fx.resume();
        EXPECT_EQ(host.calls, c.wantMidiCalls) << c.synth << " " << c.canDoAnswer;
        if (c.wantMidiCalls) {
            EXPECT_EQ(host.opcode, audioMasterWantMidi);
            EXPECT_EQ(host.value, 1);
        }
        EXPECT_EQ(fx.getPlugCategory(), c.synth ? 2 : 0);
    }
}
