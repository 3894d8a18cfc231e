// The plug-in driven through its entry point the way hosts drive it: three
// threads at once, (1) render and MIDI, (2) parameters, displays and idle,
// (3) programs, chunks and suspend/resume. Run under ThreadSanitizer, every
// piece of engine state two of them can reach must have an owner.
#include "Capacities.h"
#include "VstInterface.h"
#include "VstMain.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <iterator>
#include <thread>
#include <vector>

namespace {

std::atomic<int> displayUpdates{0};

intptr_t threadSafeHost(AEffect*, int32_t opcode, int32_t, intptr_t, void* ptr, float)
{
    switch (opcode) {
    case audioMasterVersion:
        return 2400;
    case audioMasterGetProductString:
        std::strcpy(static_cast<char*>(ptr), "Three Thread Host");
        return 1;
    case audioMasterGetVendorString:
        std::strcpy(static_cast<char*>(ptr), "Tessel Tests");
        return 1;
    case audioMasterCanDo:
        return std::strcmp(static_cast<const char*>(ptr), "supplyIdle") == 0 ? 1 : 0;
    case audioMasterUpdateDisplay:
        ++displayUpdates;
        return 1;
    default:
        return 0; // pins connected, no time information
    }
}

intptr_t call(AEffect* e, int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
              float opt = 0.0f)
{
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

// Host parameters whose side effects reach what the audio thread renders:
// the send effect of set 0 and the serial slot X0 (effect switching, with the
// serial types kept distinct), the routing of slot 1 (the routes), "LFO 1
// Mono" (the shared phase) and the remote wet of set 0.
constexpr int SideEffectParameters[] = {213, 215, 108, 209, 492};
constexpr int NumSideEffectParameters = static_cast<int>(std::size(SideEffectParameters));

} // namespace

TEST(VelaHostThreads, ThreeHostThreadsAtOnce)
{
    AEffect* e = VSTPluginMain(threadSafeHost);
    ASSERT_NE(e, nullptr);
    call(e, effOpen);
    call(e, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    call(e, effSetBlockSize, 0, 512);
    call(e, effMainsChanged, 0, 1);
    const int outputs = e->numOutputs;

    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::atomic<int> parameterRounds{0};
    std::atomic<int> programRounds{0};

    std::thread audio([&] {
        std::vector<std::vector<float>> buffers(static_cast<size_t>(outputs), std::vector<float>(512));
        std::vector<float*> pointers(static_cast<size_t>(outputs));
        // Two events a block (the room VstEvents has), taking turns:
        // notes, channel pressure and the modulation wheel.
        VstMidiEvent midi[2] = {};
        VstEvents events{};
        events.numEvents = 2;
        for (int i = 0; i < 2; ++i)
            events.events[i] = reinterpret_cast<VstEvent*>(&midi[i]);
        int n = 0;
        while (!stop) {
            const int frames = 16 + (n * 53) % 496;
            const unsigned char key = static_cast<unsigned char>(36 + n % 48);
            const unsigned char level = static_cast<unsigned char>(n % 128);
            const unsigned char messages[4][3] = {
                {0x90, key, 100},
                {0xD0, level, 0}, // channel pressure
                {0xB0, 1, level}, // modulation wheel
                {0x80, static_cast<unsigned char>(36 + (n + 47) % 48), 0},
            };
            for (int i = 0; i < 2; ++i) {
                midi[i].type = kVstMidiType;
                midi[i].byteSize = sizeof(VstMidiEvent);
                midi[i].deltaFrames = (n * 11 + i * 5) % frames;
                std::memcpy(midi[i].midiData, messages[(n % 2) * 2 + i], 3);
            }
            call(e, effProcessEvents, 0, 0, &events);
            for (int i = 0; i < outputs; ++i)
                pointers[static_cast<size_t>(i)] = buffers[static_cast<size_t>(i)].data();
            e->processReplacing(e, nullptr, pointers.data(), frames);
            ++blocks;
            ++n;
        }
    });

    std::thread parameters([&] {
        char text[256];
        int n = 0;
        while (!stop) {
            const int index = n % 2 == 0 ? SideEffectParameters[(n / 2) % NumSideEffectParameters]
                                         : (n * 7919) % NumHostParameters;
            e->setParameter(e, index, static_cast<float>(n % 101) / 100.0f);
            (void)e->getParameter(e, index);
            call(e, effGetParamName, index, 0, text);
            call(e, effGetParamLabel, index, 0, text);
            call(e, effGetParamDisplay, index, 0, text);
            if (n % 8 == 0)
                call(e, effIdle);
            if (n % 8 == 4)
                call(e, effEditIdle);
            ++parameterRounds;
            ++n;
            std::this_thread::yield();
        }
    });

    std::thread programs([&] {
        char name[256];
        std::vector<unsigned char> bank;
        std::vector<unsigned char> preset;
        int n = 0;
        while (!stop) {
            call(e, effGetProgramName, 0, 0, name);
            call(e, effGetProgramNameIndexed, n % NumPrograms, 0, name);
            (void)call(e, effGetProgram);
            if (n % 3 == 0)
                call(e, effSetProgram, 0, n % NumPrograms);
            void* data = nullptr;
            const bool isPreset = n % 2 == 0;
            const intptr_t size = call(e, effGetChunk, isPreset ? 1 : 0, 0, &data);
            if (size > 0 && data) {
                std::vector<unsigned char>& copy = isPreset ? preset : bank;
                copy.assign(static_cast<const unsigned char*>(data), static_cast<const unsigned char*>(data) + size);
                call(e, effSetChunk, isPreset ? 1 : 0, size, copy.data());
            }
            if (n % 5 == 4) {
                call(e, effMainsChanged, 0, 0);
                call(e, effMainsChanged, 0, 1);
            }
            ++programRounds;
            ++n;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });

    // At least 2.5 s of contention, and on until every thread has had its
    // share: a loaded machine (sanitizers, two cores) slows the rounds down
    // but must not fail the test for it.
    const auto start = std::chrono::steady_clock::now();
    const auto elapsed = [&] { return std::chrono::steady_clock::now() - start; };
    while (elapsed() < std::chrono::milliseconds(2500) ||
           ((blocks.load() <= 50 || parameterRounds.load() <= 50 || programRounds.load() <= 10) &&
            elapsed() < std::chrono::seconds(60)))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    stop = true;
    audio.join();
    parameters.join();
    programs.join();

    // Each thread got a real share of the time (a bank load waits for the
    // audio thread to leave its block, so those rounds are the slowest).
    EXPECT_GT(blocks.load(), 50);
    EXPECT_GT(parameterRounds.load(), 50);
    EXPECT_GT(programRounds.load(), 10);
    call(e, effMainsChanged, 0, 0);
    EXPECT_EQ(call(e, effClose), 1);
}
