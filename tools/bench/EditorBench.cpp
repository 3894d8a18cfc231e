// The instrument's editor, offscreen, beside a running audio thread:
// opening it (every frame and about a thousand controls, then closing it
// again), opening it and drawing its first whole frame, and one idle pass
// with nothing to redraw. While they run, an audio thread renders blocks of
// the same plug-in with a held chord, as a host's would; the counters say
// how often that thread allocated memory and how often it found the
// instrument's render lock taken (both must stay 0: the editor never makes
// the audio wait or allocate).
#include "BenchPlugin.h"
#include "CFrame.h"
#include "Vela.h"
#include "VelaEditor.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

namespace {
thread_local bool onBenchAudioThread = false;
std::atomic<long> audioAllocations{0};

void* allocate(std::size_t n)
{
    if (onBenchAudioThread)
        ++audioAllocations;
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
} // namespace

// Every allocation of the process passes here, so the audio thread's are counted.
void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    if (onBenchAudioThread)
        ++audioAllocations;
    return std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {
constexpr float Rate = 48000.0f;
constexpr int Block = 256;

// The plug-in playing a chord on its own audio thread, and its editor.
class PlayingPlugin
{
public:
    PlayingPlugin()
    {
        vela.dispatcher(effOpen, 0, 0, nullptr, 0);
        vela.dispatcher(effSetSampleRate, 0, 0, nullptr, Rate);
        vela.dispatcher(effSetBlockSize, 0, Block, nullptr, 0);
        vela.dispatcher(effMainsChanged, 0, 1, nullptr, 0);
        for (int key : {48, 55, 60, 64, 67, 72}) {
            VstMidiEvent m{};
            m.type = kVstMidiType;
            m.byteSize = sizeof m;
            m.midiData[0] = static_cast<char>(0x90);
            m.midiData[1] = static_cast<char>(key);
            m.midiData[2] = 100;
            VstEvents list{};
            list.numEvents = 1;
            list.events[0] = reinterpret_cast<VstEvent*>(&m);
            vela.dispatcher(effProcessEvents, 0, 0, &list, 0);
        }
        audio = std::thread([this] { render(); });
    }
    ~PlayingPlugin()
    {
        running = false;
        audio.join();
        vela.dispatcher(effMainsChanged, 0, 0, nullptr, 0);
    }
    PlayingPlugin(const PlayingPlugin&) = delete;
    PlayingPlugin& operator=(const PlayingPlugin&) = delete;

    void report(benchmark::State& state)
    {
        state.counters["audioAllocations"] = double(audioAllocations.load());
        state.counters["renderLockTaken"] = double(renderLockTaken.load());
        state.counters["audioBlocks"] = double(blocks.load());
    }

    Vela_c vela{Bench::benchHost, false};
    VelaEditor_c editor{&vela};

private:
    void render()
    {
        std::vector<float> buffers(size_t(2) * Block);
        onBenchAudioThread = true;
        float* outs[2] = {buffers.data(), buffers.data() + Block};
        AEffect* e = vela.getAeffect();
        Instrument_c* instrument = vela.getInstPtr(0);
        while (running) {
            // Whoever holds the render lock now keeps the instrument silent.
            if (instrument && !instrument->renderLock.getImmediateReadPermission())
                ++renderLockTaken;
            else if (instrument)
                instrument->renderLock.releaseReadPermission();
            e->processReplacing(e, nullptr, outs, Block);
            ++blocks;
        }
    }

    std::atomic<bool> running{true};
    std::atomic<long> renderLockTaken{0};
    std::atomic<long> blocks{0};
    std::thread audio;
};

void openEditor(benchmark::State& state)
{
    PlayingPlugin p;
    audioAllocations = 0;
    int opened = 0;
    for (auto _ : state) {
        opened += p.editor.open(nullptr);
        p.editor.close();
    }
    state.counters["opened"] = benchmark::Counter(opened, benchmark::Counter::kAvgIterations);
    p.report(state);
}
BENCHMARK(openEditor)->Unit(benchmark::kMillisecond);

void openAndDrawEditor(benchmark::State& state)
{
    PlayingPlugin p;
    audioAllocations = 0;
    for (auto _ : state) {
        p.editor.open(nullptr);
        p.editor.idle(); // the first pass draws the whole window
        p.editor.close();
    }
    p.report(state);
}
BENCHMARK(openAndDrawEditor)->Unit(benchmark::kMillisecond);

void idleNothingDirty(benchmark::State& state)
{
    PlayingPlugin p;
    p.editor.open(nullptr);
    for (int i = 0; i < 5; ++i)
        p.editor.idle();
    audioAllocations = 0;
    for (auto _ : state)
        p.editor.idle();
    state.counters["open"] = p.editor.isEditorOpen() ? 1 : 0;
    state.counters["fullRedraw"] = p.editor.getFullRedraw() ? 1 : 0;
    p.report(state);
    p.editor.close();
}
BENCHMARK(idleNothingDirty)->Unit(benchmark::kMicrosecond);

} // namespace
