// Test rig for the sample generators (the time-stretch sampler and the
// wavetable generator) and their stores: fixture files written from
// generated signals, the panel hook that records messages, and a renderer
// that plays a generator in pieces the way a voice does, with the three
// control-rate inputs and the input bus of the cross modes.
#pragma once

#include "ProcessorTestBuses.h"

#include "Capacities.h"
#include "InBuffer2.h"
#include "NoteFreqTable.h"
#include "OsLib.h"
#include "TestSupport.h"
#include "WaveSample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

namespace SamplerTest {

constexpr int StepsPerPiece = MaxBlockSize / ControlStepFrames;

// A control-rate value per control step of the whole render (step index).
using ControlSignal = std::function<float(long long)>;

// Writes data as a sample file; the extension chooses the format (D4T,
// D4U as the data's running sum, WAV or AIFF as 24-bit).
inline void writeSampleFile(const std::string& path, const std::vector<float>& data, int rate)
{
    WaveSample_c s;
    float *l = nullptr, *r = nullptr;
    ASSERT_TRUE(s.getBufferFor(static_cast<int>(data.size()), 1, &l, &r));
    std::copy(data.begin(), data.end(), l);
    s.sampleRate = rate;
    const Tool::Disk::Path_c p(path.c_str());
    const std::string ext = p.getExt();
    int written = 0;
    if (ext == "d4u" || ext == "D4U") {
        s.setJForm(true);
        written = s.saveD4TSample(p);
    } else if (ext == "d4t" || ext == "D4T") {
        written = s.saveD4TSample(p);
    } else if (ext == "wav" || ext == "WAV") {
        written = s.saveWAVSample(p);
    } else {
        written = s.savePlatformSample(p);
    }
    ASSERT_EQ(written, static_cast<int>(data.size())) << path;
}

inline std::vector<float> sineWave(size_t n, double hz, double rate, float amplitude = 0.8f)
{
    std::vector<float> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * i / rate));
    return v;
}

// A rising sawtooth from -amplitude to +amplitude.
inline std::vector<float> sawWave(size_t n, double hz, double rate, float amplitude = 0.8f)
{
    std::vector<float> v(n);
    for (size_t i = 0; i < n; ++i) {
        const double ph = std::fmod(hz * i / rate, 1.0);
        v[i] = amplitude * static_cast<float>(2.0 * ph - 1.0);
    }
    return v;
}

// Records every panel instead of showing it; askUser gets `answer`.
struct PanelRecorder
{
    explicit PanelRecorder(bool answer = false)
    {
        OsLib_c::setPanelHook([this, answer](const std::string& title, const std::string& message, bool ask) {
            panels.push_back({title, message, ask});
            return answer;
        });
    }
    ~PanelRecorder() { OsLib_c::setPanelHook({}); }
    PanelRecorder(const PanelRecorder&) = delete;
    PanelRecorder& operator=(const PanelRecorder&) = delete;

    struct Panel
    {
        std::string title, message;
        bool ask;
    };
    std::vector<Panel> panels;
};

// Rising zero crossings per second over x[from..to).
inline double zeroCrossingHz(const std::vector<float>& x, size_t from, size_t to, double rate)
{
    double first = -1.0, last = -1.0;
    int count = 0;
    for (size_t i = std::max<size_t>(from, 1); i < to && i < x.size(); ++i) {
        if (x[i - 1] < 0.0f && x[i] >= 0.0f) {
            const double t = (i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (first < 0.0)
                first = t;
            last = t;
            ++count;
        }
    }
    return count > 1 ? (count - 1) * rate / (last - first) : 0.0;
}

// A generator with its buses and control inputs, played in pieces. G needs
// the Part_c parameter calls, render and prepProc.
template <typename G>
struct GeneratorRig
{
    explicit GeneratorRig(float rate = 44100.0f) : rate(rate)
    {
        EXPECT_TRUE(tuning.getParaSetPtr(&tuningSlot));
        EXPECT_TRUE(gen.getParaSetPtr(&set, 1));
        gen.tuning = &tuning;
        gen.setSampleRate(rate);
        ProcTest::makeBus(out, 1);
        ProcTest::makeBus(in, 1);
        gen.setOutBufFixed(&out, nullptr);
        gen.setInBuf(&in);
    }

    void para(int idx, int value)
    {
        gen.setParaVal(0, idx, value);
        gen.cachePara(crParaChange, 0, idx);
    }
    void start(int key, int velocity = 100) { gen.prepProc(0, ProcTest::noteOf(key, velocity), false); }

    // Renders frames samples in pieces of at most piece; stops early (with
    // the result shorter) after the first finished piece when stopAtEnd.
    std::vector<float> render(long long frames, int piece = MaxBlockSize, bool stopAtEnd = false)
    {
        std::vector<float> result;
        result.reserve(static_cast<size_t>(frames));
        long long done = 0;
        while (done < frames) {
            const int n = static_cast<int>(std::min<long long>(piece, frames - done));
            const long long step0 = done / ControlStepFrames;
            for (int k = 0; k < StepsPerPiece; ++k) {
                level[k] = levelSignal ? levelSignal(step0 + k) : 1.0f;
                pitch[k] = pitchSignal ? pitchSignal(step0 + k) : 0.0f;
                third[k] = thirdSignal ? thirdSignal(step0 + k) : thirdDefault;
            }
            out.prepCycle(n);
            in.prepCycle(n);
            if (modSignal)
                ProcTest::writeMono(in, n, [&](int i) { return modSignal(done + i); });
            const bool finished = gen.render(n);
            ProcTest::appendFirstChannel(result, out, n);
            done += n;
            if (finished) {
                ++finishedCount;
                if (finishedAt < 0)
                    finishedAt = done;
                if (stopAtEnd)
                    break;
            }
        }
        return result;
    }

    float rate;
    ParaSet_c* tuningSlot = nullptr;
    NoteFreqTable_c tuning;
    ParaSet_c* set = nullptr;
    G gen;
    InBuffer2_c out;
    InBuffer2_c in;
    std::vector<float> level = std::vector<float>(StepsPerPiece, 1.0f);
    std::vector<float> pitch = std::vector<float>(StepsPerPiece, 0.0f);
    std::vector<float> third = std::vector<float>(StepsPerPiece, 0.0f);
    std::vector<float> ones = std::vector<float>(MaxBlockSize, 1.0f);
    float thirdDefault = 0.0f;
    ControlSignal levelSignal;
    ControlSignal pitchSignal;
    ControlSignal thirdSignal;
    std::function<float(long long)> modSignal;
    int finishedCount = 0;
    long long finishedAt = -1;
};

// Renders blocks on this thread while `edit` changes the generator's store
// on another, until the edits are done and at least 8 blocks have run; every
// sample rendered meanwhile must be finite. `edit` gets a flag that turns
// true once the audio side is done early.
template <class Rig, class Edit> void renderWhileEditing(Rig& rig, Edit edit)
{
    std::atomic<bool> stop{false};
    std::thread editor([&] {
        edit(stop);
        stop = true;
    });
    bool finite = true;
    for (int blocks = 0; !stop || blocks < 8; ++blocks)
        for (float v : rig.render(MaxBlockSize))
            finite = finite && std::isfinite(v);
    editor.join();
    EXPECT_TRUE(finite) << "a block rendered during the edits was not finite";
}

} // namespace SamplerTest
