// The ladder filter ("LP 24") rendering one second of noise at 48 kHz in
// pieces of MaxBlockSize frames, as a voice plays it: alone, and as the
// voice's two paths rendered as a pair. The "rtf" counter is the real-time
// factor of one voice's filtering (both paths in the pair case).
#include "Capacities.h"
#include "FilterMoogSI.h"
#include "InBuffer2.h"
#include "Note.h"
#include "ParaSet.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

constexpr float Rate = 48000.0f;
constexpr int SecondFrames = 48000;
constexpr int Steps = MaxBlockSize / ControlStepFrames;

// One filter with its own buses and control-rate inputs, held at a
// resonant cutoff.
struct LadderPath
{
    explicit LadderPath(uint32_t seed)
    {
        in.create("in", MaxBlockSize, 1, silence.data(), false, false);
        out.create("out", MaxBlockSize, 2, silence.data(), false, false);
        filter.setInBuf(&in);
        filter.setOutBufFixed(&out, nullptr);
        filter.getParaSetPtr(&slot, 1);
        filter.setSampleRate(Rate);
        filter.create(cutoff.data(), resonance.data(), level.data(), balance.data());
        filter.setParaVal(0, FilterMoogSI_c::pType, FilterMoogSI_c::rLP24);
        Note_c n;
        n.set(57, 100);
        filter.prepProc(0, n, false);
        // xorshift noise, the same for a seed.
        uint32_t s = seed;
        for (float& v : noise) {
            s ^= s << 13;
            s ^= s >> 17;
            s ^= s << 5;
            v = static_cast<float>(s) / 4294967296.0f - 0.5f;
        }
    }

    void prepare(int n)
    {
        in.prepCycle(n);
        out.prepCycle(n);
        float* m = nullptr;
        if (in.wantWriteMono(&m, false)) {
            std::copy_n(noise.begin(), n, m);
            in.doneWriteMono();
        }
    }
    float last(int n)
    {
        float* l = nullptr;
        float* r = nullptr;
        return out.wantReadStereo(&l, &r) ? l[n - 1] : 0.0f;
    }

    std::vector<float> silence = std::vector<float>(MaxBlockSize, 0.0f);
    std::vector<float> noise = std::vector<float>(MaxBlockSize);
    std::vector<float> cutoff = std::vector<float>(Steps, 0.6f);
    std::vector<float> resonance = std::vector<float>(Steps, 0.7f);
    std::vector<float> level = std::vector<float>(Steps, 0.1f);
    std::vector<float> balance = std::vector<float>(Steps, 0.0f);
    InBuffer2_c in;
    InBuffer2_c out;
    ParaSet_c* slot = nullptr;
    FilterMoogSI_c filter;
};

void reportRate(benchmark::State& state)
{
    state.counters["rtf"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void LadderOnePath(benchmark::State& state)
{
    auto path = std::make_unique<LadderPath>(1);
    for (auto _ : state) {
        float sum = 0.0f;
        for (int done = 0; done < SecondFrames; done += MaxBlockSize) {
            const int n = std::min(MaxBlockSize, SecondFrames - done);
            path->prepare(n);
            path->filter.render(n);
            sum += path->last(n);
        }
        benchmark::DoNotOptimize(sum);
    }
    reportRate(state);
}

void LadderVoicePair(benchmark::State& state)
{
    auto a = std::make_unique<LadderPath>(1);
    auto b = std::make_unique<LadderPath>(2);
    for (auto _ : state) {
        float sum = 0.0f;
        for (int done = 0; done < SecondFrames; done += MaxBlockSize) {
            const int n = std::min(MaxBlockSize, SecondFrames - done);
            a->prepare(n);
            b->prepare(n);
            FilterMoogSI_c::renderPair(a->filter, b->filter, n);
            sum += a->last(n) + b->last(n);
        }
        benchmark::DoNotOptimize(sum);
    }
    reportRate(state);
}

} // namespace

BENCHMARK(LadderOnePath)->Unit(benchmark::kMicrosecond);
BENCHMARK(LadderVoicePair)->Unit(benchmark::kMicrosecond);
