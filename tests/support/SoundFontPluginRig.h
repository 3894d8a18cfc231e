// The rig of the SoundFont tests at plug-in level: a small hand-built
// SoundFont, the stereo plug-in opened as a host opens it (with its engine
// lock in reach), imports through the tooling channel, bank chunks, a
// two-note phrase, and panels and dialogs answered by the test while it
// records whether each came outside every load and lock.
#pragma once

#include "Vela.h"

#include "../Generators/MultiSampleRig.h"
#include "../Generators/SF2Bytes.h"
#include "EngineTestHost.h"
#include "FileDialog.h"
#include "OsLib.h"
#include "ToolingChannel.h"
#include "WaveRAM2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace SoundFontRig {

using namespace SF2Bytes;
using MultiTest::pcm16;
using MultiTest::sineWave;

constexpr int GenType0Entry = 769;
constexpr int SF2Path0Entry = 813;
constexpr int Block = 256;
inline constexpr const char* RealSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// A small SoundFont: a low and a high looped sine, split at key 60.
inline std::string handBuiltSoundFont()
{
    const std::vector<Header> headers = {{"Low", 0, 4410, 100, 4300, 44100, 57, 0},
                                         {"High", 4410, 8820, 4510, 8710, 44100, 69, 0}};
    const std::string samples = pcm16(sineWave(4410, 220.0, 44100.0)) + pcm16(sineWave(4410, 440.0, 44100.0));
    return file({{range(KeyRange, 0, 59), {FineTune, 30}, {SampleModes, 1}, {SampleId, 0}},
                 {range(KeyRange, 60, 127), {SampleModes, 1}, {SampleId, 1}}},
                headers, samples);
}

// The plug-in with its engine lock in reach of the tests.
struct ProbedVela : Vela_c
{
    ProbedVela() : Vela_c(EngineTestHost::callback, false) {}
    using Synth::engineLock;
};

struct Plugin
{
    // hostIdle false: a host that gives no idle calls, so the plug-in's own
    // timer does the idle work.
    explicit Plugin(bool hostIdle = true)
    {
        host.suppliesIdle = hostIdle;
        vela = std::make_unique<ProbedVela>();
        e = vela->getAeffect();
        call(effOpen);
        call(effSetSampleRate, 0, 0, nullptr, 48000.0f);
        call(effSetBlockSize, 0, Block);
        call(effMainsChanged, 0, 1);
    }
    ~Plugin() { call(effMainsChanged, 0, 0); }

    intptr_t call(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f)
    {
        return e->dispatcher(e, opcode, index, value, ptr, opt);
    }
    void tool(Tooling::Operation op, int entry, int value, const std::string& text = "")
    {
        Tooling::Request r;
        r.entry = entry;
        r.value = value;
        std::strncpy(r.text, text.c_str(), sizeof r.text - 1);
        ASSERT_EQ(call(effVendorSpecific, Tooling::ChannelId, op, &r), Tooling::Done) << r.message;
    }
    // Slot 1 plays the loop sampler with the SoundFont at path, imported as
    // the editor imports one.
    void importSoundFont(const std::string& path)
    {
        tool(Tooling::opSetValue, GenType0Entry, Vela_c::GenLoopSampler);
        tool(Tooling::opSetText, SF2Path0Entry, 0, path);
    }
    std::vector<unsigned char> bank()
    {
        void* data = nullptr;
        const intptr_t size = call(effGetChunk, 0, 0, &data);
        EXPECT_GT(size, 0);
        return std::vector<unsigned char>(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
    }
    intptr_t restore(std::vector<unsigned char>& chunk)
    {
        return call(effSetChunk, 0, intptr_t(chunk.size()), chunk.data());
    }
    // Two notes, one per zone, held for a second: the left output.
    std::vector<float> play()
    {
        std::vector<float> left;
        auto midi = [&](int status, int key, int velocity) {
            VstMidiEvent m{};
            m.type = kVstMidiType;
            m.byteSize = sizeof(VstMidiEvent);
            m.midiData[0] = static_cast<char>(status);
            m.midiData[1] = static_cast<char>(key);
            m.midiData[2] = static_cast<char>(velocity);
            VstEvents list{};
            list.numEvents = 1;
            list.events[0] = reinterpret_cast<VstEvent*>(&m);
            call(effProcessEvents, 0, 0, &list);
        };
        std::vector<std::vector<float>> out(NumOutputs51, std::vector<float>(Block));
        float* pointers[NumOutputs51];
        for (size_t c = 0; c < out.size(); ++c)
            pointers[c] = out[c].data();
        for (int key : {48, 72}) {
            midi(0x90, key, 100);
            for (int b = 0; b < 48000 / Block; ++b) {
                e->processReplacing(e, nullptr, pointers, Block);
                left.insert(left.end(), out[0].begin(), out[0].end());
            }
            midi(0x80, key, 0);
        }
        return left;
    }
    WaveRAM2_c& store() { return *vela->getMultiSample(0); }
    // Asked as the host's user-interface thread asks: under the engine lock,
    // which the idle search holds around each of its loads.
    int zonesWithData()
    {
        LockWriteScope engine(vela->engineLock);
        return store().InsSamples(0, false);
    }
    int zoneValue(int z, int k) { return store().getParaVal(0, WaveRAM2_c::zonePara(z, k)); }

    EngineTestHost host;
    std::unique_ptr<ProbedVela> vela;
    AEffect* e = nullptr;
};

inline double largestDifference(const std::vector<float>& a, const std::vector<float>& b)
{
    double d = a.size() == b.size() ? 0.0 : 1e9;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        d = std::max(d, std::fabs(double(a[i]) - b[i]));
    return d;
}

// Panels and file dialogs answered by the test, each recorded with whether,
// at that moment, a load was under way or another thread could not have
// taken the plug-in's engine lock. They may come from the plug-in's timer
// thread.
struct Questions
{
    explicit Questions(ProbedVela& v) : vela(v)
    {
        OsLib_c::setPanelHook([this](const std::string& title, const std::string& message, bool) {
            const bool free = outsideEveryLoadAndLock();
            std::lock_guard<std::mutex> lock(mutex);
            asked.push_back(title + ": " + message);
            locksFree.push_back(free);
            return answerYes;
        });
        FileDialog_c::setPanelRunner([this](const std::vector<std::string>&) {
            const bool free = outsideEveryLoadAndLock();
            std::lock_guard<std::mutex> lock(mutex);
            ++dialogs;
            locksFree.push_back(free);
            return chosen.empty() ? FileDialog_c::PanelAnswer() : FileDialog_c::PanelAnswer{true, chosen};
        });
    }
    ~Questions()
    {
        OsLib_c::setPanelHook({});
        FileDialog_c::setPanelRunner({});
    }
    std::vector<std::string> questions()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return asked;
    }
    int dialogCount()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return dialogs;
    }
    bool allOutsideLoadsAndLocks()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return std::all_of(locksFree.begin(), locksFree.end(), [](bool b) { return b; });
    }
    bool outsideEveryLoadAndLock()
    {
        if (vela.isChunkLoadInProgress() || vela.isImporting())
            return false;
        // The engine lock, which every host call and load holds, taken from
        // another thread: refused while anyone holds it, this thread too. A
        // rendering host's audio thread holds it for a block at a time, so
        // the other thread tries for a while: only a lock held by the asker,
        // who waits for this answer, refuses every try.
        return std::async(std::launch::async, [this] {
                   for (int attempt = 0; attempt < 200; ++attempt) {
                       if (vela.engineLock.getImmediateReadPermission()) {
                           vela.engineLock.releaseReadPermission();
                           return true;
                       }
                       std::this_thread::sleep_for(std::chrono::milliseconds(1));
                   }
                   return false;
               }).get();
    }

    ProbedVela& vela;
    bool answerYes = false;
    std::string chosen;
    std::mutex mutex;
    int dialogs = 0;
    std::vector<std::string> asked;
    std::vector<bool> locksFree;
};

} // namespace SoundFontRig
