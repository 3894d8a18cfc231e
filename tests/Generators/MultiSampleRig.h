// Test rig for the multisample memory and the loop sampler: a memory with a
// parameter set of its own, zones filled from 16-bit memory or WAV files, and
// a loop sampler on an equal-tempered tuning table that renders in pieces the
// way a voice does, with its held state switched by note-on and note-off.
#pragma once

#include "ProcessorTestBuses.h"
#include "SampleFileBytes.h"
#include "TestSupport.h"

#include "Capacities.h"
#include "InBuffer2.h"
#include "NoteFreqTable.h"
#include "SamLoop.h"
#include "WaveRAM2.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

namespace MultiTest {

constexpr int StepsPerPiece = MaxBlockSize / ControlStepFrames;

// 16-bit little-endian points of a signal in -1..1.
inline std::string pcm16(const std::vector<float>& x)
{
    std::string b;
    b.reserve(x.size() * 2);
    for (float v : x) {
        const int s = static_cast<int>(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f));
        b += SampleBytes::le16(static_cast<uint16_t>(static_cast<int16_t>(s)));
    }
    return b;
}

inline std::vector<float> sineWave(int frames, double hz, double rate, float amplitude = 0.9f)
{
    std::vector<float> x(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i)
        x[static_cast<size_t>(i)] = amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * i / rate));
    return x;
}

// A mono 16-bit WAV file; with loopEnd > loopStart it carries a sampler
// chunk that loops frames loopStart..loopEnd - 1 (the chunk names the last
// frame played, as its writers store it).
inline void writeWav(const std::string& path, const std::vector<float>& x, int rate = 44100, uint32_t loopStart = 0,
                     uint32_t loopEnd = 0)
{
    using namespace SampleBytes;
    std::string chunks = riffChunk("fmt ", fmtBody(1, 1, static_cast<uint32_t>(rate), 16));
    if (loopEnd > loopStart)
        chunks += riffChunk("smpl", smplBody(1, loopStart, loopEnd - 1));
    chunks += riffChunk("data", pcm16(x));
    TestSupport::writeFile(path, wavFile(chunks));
}

// The Hz of MIDI note k in equal temperament.
inline double noteHz(int k)
{
    return 440.0 * std::pow(2.0, (k - 69) / 12.0);
}

struct LoopRig
{
    explicit LoopRig(float rate = 44100.0f)
    {
        EXPECT_TRUE(tuning.getParaSetPtr(&tuningSlot));
        EXPECT_TRUE(gen.getParaSetPtr(&set, 1));
        memory.setSampleRate(rate);
        gen.create(&memory, level.data(), pitch.data(), loopStart.data(), loopEnd.data());
        gen.tuning = &tuning;
        gen.setSampleRate(rate);
        ProcTest::makeBus(out, 2);
        gen.setOutBufFixed(&out, nullptr);
    }

    // Zone z from a signal at rate Hz: root key, key range and loop (frames
    // of the signal; no loop when le <= ls).
    void zone(int z, const std::vector<float>& x, int root, int keyLo = 0, int keyHi = 127, int ls = 0, int le = 0,
              int rate = 44100)
    {
        const std::string bytes = pcm16(x);
        ASSERT_TRUE(memory.setSample(0, z, bytes.data(), static_cast<int>(x.size()), rate));
        memoryPara(z, WaveRAM2_c::zpRoot, root);
        memoryPara(z, WaveRAM2_c::zpZoneLo, keyLo);
        memoryPara(z, WaveRAM2_c::zpZoneHi, keyHi);
        memory.setZoneLoop(0, z, ls, le);
    }
    void memoryPara(int z, int k, int v) { memory.setParaVal(0, WaveRAM2_c::zonePara(z, k), v); }
    void para(int idx, int value)
    {
        gen.setParaVal(0, idx, value);
        gen.cachePara(crParaChange, 0, idx);
    }
    void noteOn(int key, int velocity = 100) { gen.prepProc(0, ProcTest::noteOf(key, velocity), false, false); }
    void noteOff(int key) { gen.NoteOff(0, ProcTest::noteOf(key, 0)); }

    // Renders frames samples in pieces; finished tells whether the last
    // piece answered "finished".
    std::vector<float> render(long long frames, int piece = MaxBlockSize)
    {
        std::vector<float> result;
        result.reserve(static_cast<size_t>(frames));
        long long done = 0;
        while (done < frames) {
            const int n = static_cast<int>(std::min<long long>(piece, frames - done));
            const long long step0 = done / ControlStepFrames;
            for (int k = 0; k < StepsPerPiece; ++k) {
                pitch[k] = pitchSignal ? pitchSignal(step0 + k) : 0.0f;
                loopStart[k] = loopStartSignal ? loopStartSignal(step0 + k) : 0.0f;
                loopEnd[k] = loopEndSignal ? loopEndSignal(step0 + k) : 0.0f;
            }
            out.prepCycle(n);
            finished = gen.render(n);
            ProcTest::appendFirstChannel(result, out, n);
            done += n;
        }
        return result;
    }

    ParaSet_c* tuningSlot = nullptr;
    NoteFreqTable_c tuning;
    WaveRAM2_c memory;
    ParaSet_c* set = nullptr;
    SamLoop_c gen;
    InBuffer2_c out;
    std::vector<float> level = std::vector<float>(StepsPerPiece, 1.0f);
    std::vector<float> pitch = std::vector<float>(StepsPerPiece, 0.0f);
    std::vector<float> loopStart = std::vector<float>(StepsPerPiece, 0.0f);
    std::vector<float> loopEnd = std::vector<float>(StepsPerPiece, 0.0f);
    std::function<float(long long)> pitchSignal, loopStartSignal, loopEndSignal;
    bool finished = false;
};

// Frequency from the rising zero crossings of x[from..to), interpolated.
inline double zeroCrossingHz(const std::vector<float>& x, size_t from, size_t to, double rate)
{
    double first = -1.0, last = -1.0;
    int count = 0;
    for (size_t i = from + 1; i < to && i < x.size(); ++i) {
        if (x[i - 1] < 0.0f && x[i] >= 0.0f) {
            const double t = static_cast<double>(i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (first < 0.0)
                first = t;
            else
                ++count;
            last = t;
        }
    }
    return count > 0 ? rate * count / (last - first) : 0.0;
}

} // namespace MultiTest
