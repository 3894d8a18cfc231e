// The engine driven the way a host drives it, from three threads at once for a
// bounded time: one renders blocks and delivers MIDI events, one sets
// parameters, changes programs, asks for parameter texts, calls idle and
// switches an instrument's reception, one suspends and resumes. The engine's
// own idle timer runs beside them. Under ThreadSanitizer no report may come;
// in every build each rendered block must be finite and of sane level.
#include "EngineTestHost.h"
#include "Instrument.h"
#include "Vela.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

namespace {

// What the voices play, whatever the parameters come to: finite, and far
// below anything that would mean a runaway (every level at its top adds up
// to about +25 dB).
bool sane(const std::vector<float>& out, int frames)
{
    for (int f = 0; f < frames; ++f)
        if (!std::isfinite(out[f]) || std::fabs(out[f]) > 64.0f)
            return false;
    return true;
}

void driveLikeAHost(bool is51, std::chrono::milliseconds duration)
{
    EngineTestHost host;
    host.giveTime = true;
    host.time.tempo = 128.0;
    host.time.sampleRate = 48000.0;
    host.time.timeSigNumerator = 6;
    host.time.timeSigDenominator = 8;
    host.time.flags = kVstTempoValid | kVstTimeSigValid | kVstTransportPlaying | kVstPpqPosValid;
    host.suppliesIdle = false; // the engine's timer does idle work beside the host's calls

    // On the heap: closing through the dispatcher deletes the plug-in, as a host's close does.
    Vela_c& vela = *new Vela_c(&EngineTestHost::callback, is51);
    AEffect* e = vela.getAeffect();
    e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    e->dispatcher(e, effSetBlockSize, 0, 512, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);

    const int outputs = e->numOutputs;
    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::atomic<int> wildBlocks{0};

    std::thread audio([&] {
        std::vector<std::vector<float>> buffers(outputs, std::vector<float>(512));
        std::vector<float*> pointers(outputs);
        VstMidiEvent notes[2] = {};
        VstEvents events{};
        events.numEvents = 2;
        events.events[0] = reinterpret_cast<VstEvent*>(&notes[0]);
        events.events[1] = reinterpret_cast<VstEvent*>(&notes[1]);
        int n = 0;
        while (!stop) {
            const int frames = 32 + (n * 37) % 480;
            for (int i = 0; i < 2; ++i) {
                notes[i].type = kVstMidiType;
                notes[i].byteSize = sizeof(VstMidiEvent);
                notes[i].deltaFrames = (n * 13 + i * 7) % frames;
                notes[i].midiData[0] = char(i == 0 ? 0x90 : 0x80);
                notes[i].midiData[1] = char(36 + n % 48);
                notes[i].midiData[2] = char(i == 0 ? 100 : 0);
            }
            e->dispatcher(e, effProcessEvents, 0, 0, &events, 0.0f);
            for (int i = 0; i < outputs; ++i)
                pointers[i] = buffers[i].data();
            if (n % 17 == 5 && outputs > 1)
                pointers[1] = nullptr; // now and then a host leaves an output out
            e->processReplacing(e, nullptr, pointers.data(), frames);
            host.time.ppqPos = 0; // read by the engine on this thread only
            if (!sane(buffers[0], frames))
                ++wildBlocks;
            ++blocks;
            ++n;
        }
    });

    std::thread ui([&] {
        char text[256];
        int n = 0;
        while (!stop) {
            const int index = (n * 7919) % NumHostParameters;
            e->setParameter(e, index, float(n % 100) / 100.0f);
            e->dispatcher(e, effGetParamName, index, 0, text, 0.0f);
            e->dispatcher(e, effGetParamDisplay, index, 0, text, 0.0f);
            if (n % 50 == 0)
                e->dispatcher(e, effSetProgram, 0, n % NumPrograms, nullptr, 0.0f);
            if (n % 5 == 0)
                e->dispatcher(e, effIdle, 0, 0, nullptr, 0.0f);
            if (n % 200 == 100) {
                // Reception off stops every voice of the instrument from this thread.
                vela.getInstPtr(0)->ReceiveMIDI(false);
                vela.getInstPtr(0)->ReceiveMIDI(true);
            }
            if (n % 300 == 150)
                vela.hardNoteOff(0);
            ++n;
            std::this_thread::yield();
        }
    });

    std::thread lifecycle([&] {
        while (!stop) {
            e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
            e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
            std::this_thread::sleep_for(std::chrono::milliseconds(7));
        }
    });

    std::this_thread::sleep_for(duration);
    stop = true;
    audio.join();
    ui.join();
    lifecycle.join();

    EXPECT_GT(blocks.load(), 0);
    EXPECT_EQ(wildBlocks.load(), 0);
    EXPECT_TRUE(vela.getInstPtr(0)->getReceiveMIDI());
    e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
    vela.close();
    EXPECT_FALSE(vela.isIdleTimerRunning());
    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1);
}

} // namespace

TEST(EngineThread, HostLikeStressOfThe51Build)
{
    driveLikeAHost(true, std::chrono::milliseconds(1200));
}

TEST(EngineThread, HostLikeStressOfTheStereoBuild)
{
    driveLikeAHost(false, std::chrono::milliseconds(1200));
}
