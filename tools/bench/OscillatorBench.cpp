// The analog oscillator rendering one second of audio at 44.1 kHz, as one
// voice plays it: pieces of MaxBlockSize frames, control inputs at one value
// per 8 samples. The "rtf" counter is the real-time factor: seconds of audio
// rendered per second of CPU time.
#include "Capacities.h"
#include "InBuffer2.h"
#include "NoteFreqTable.h"
#include "OscAnalog4.h"

#include <benchmark/benchmark.h>

#include <algorithm>

#include <vector>

namespace {

constexpr float Rate = 44100.0f;
constexpr int SecondFrames = 44100;

// One oscillator with its own parameter set, tuning and buses.
struct OscBench
{
    explicit OscBench(int spread)
    {
        tuning.getParaSetPtr(&tuningSlot);
        osc.getParaSetPtr(&set, 1);
        osc.create(nullptr, level.data(), pitch.data(), shape.data(), nullptr);
        osc.tuning = &tuning;
        osc.setSampleRate(Rate);
        out.create("bench", MaxBlockSize, 1, silence.data(), false, false);
        osc.setOutBufFixed(&out, nullptr);
        osc.setParaVal(0, OscAnalog4_c::opSpread, spread);
        osc.setParaVal(0, OscAnalog4_c::opWaveform, 30);
        osc.setParaVal(0, OscAnalog4_c::opPulseWidth, 70);
        Note_c n;
        n.set(57, 100);
        osc.prepProc(0, n, false, false);
    }

    // One second of audio; a slow pitch wobble keeps the input path honest.
    float renderSecond()
    {
        float sum = 0.0f;
        for (int done = 0; done < SecondFrames; done += MaxBlockSize) {
            const int n = std::min(MaxBlockSize, SecondFrames - done);
            wobble = wobble > 0.01f ? -0.01f : wobble + 0.0001f;
            for (float& p : pitch)
                p = wobble;
            out.prepCycle(n);
            osc.render(n);
            float* o = nullptr;
            if (out.wantReadMono(&o, false))
                sum += o[n - 1];
        }
        return sum;
    }

    ParaSet_c* tuningSlot = nullptr;
    NoteFreqTable_c tuning;
    ParaSet_c* set = nullptr;
    OscAnalog4_c osc;
    InBuffer2_c out;
    std::vector<float> silence = std::vector<float>(MaxBlockSize, 0.0f);
    std::vector<float> level = std::vector<float>(MaxBlockSize / ControlStepFrames, 1.0f);
    std::vector<float> pitch = std::vector<float>(MaxBlockSize / ControlStepFrames, 0.0f);
    std::vector<float> shape = std::vector<float>(MaxBlockSize / ControlStepFrames, 0.1f);
    float wobble = 0.0f;
};

void renderSeconds(benchmark::State& state, int spread)
{
    OscBench bench(spread);
    for (auto _ : state)
        benchmark::DoNotOptimize(bench.renderSecond());
    state.counters["rtf"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Spread 0: one copy. Spread 10.00 cents: the five-copy unison.
void OscillatorOneVoice(benchmark::State& state)
{
    renderSeconds(state, 0);
}
void OscillatorUnisonFiveCopies(benchmark::State& state)
{
    renderSeconds(state, 1000);
}

} // namespace

BENCHMARK(OscillatorOneVoice)->Unit(benchmark::kMicrosecond);
BENCHMARK(OscillatorUnisonFiveCopies)->Unit(benchmark::kMicrosecond);
