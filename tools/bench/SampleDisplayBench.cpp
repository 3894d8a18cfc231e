// The loop sampler's sample display redrawing a 10-minute stereo sample
// (44.1 kHz) offscreen, as the editor's idle pass does: at the widest zoom
// (8192 frames per column, about 2.6 million frames read per redraw) and
// while a marker is dragged there (each move sends the value, the value
// comes back, the display redraws). Each iteration is one redraw; the
// display holds the sample's lock while it reads, so this time is also how
// long a redraw keeps the loop sampler's voices from that zone.
#include "CBitmap.h"
#include "CDrawContext.h"
#include "SampleDisplay.h"
#include "WaveSample.h"
#include "XorShift.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int Rate = 44100;
constexpr int Frames = 10 * 60 * Rate;
constexpr int Width = 316;

// The sample stays for the whole run: 212 MB are made once.
WaveSample_c& tenMinutes()
{
    static std::unique_ptr<WaveSample_c> sample = [] {
        auto s = std::make_unique<WaveSample_c>();
        float* left = nullptr;
        float* right = nullptr;
        s->getBufferFor(Frames, 2, &left, &right);
        s->sampleRate = Rate;
        uint32_t state = 1;
        float sum = 0.f;
        for (int i = 0; i < Frames; ++i) {
            // Running sums of noise, as zone data is kept.
            sum += static_cast<float>(static_cast<int>(xorshift32(state) % 2001) - 1000) / 4000.f;
            left[i] = sum;
            right[i] = -sum;
        }
        return s;
    }();
    return *sample;
}

struct Listener : CControlListenerVx
{
    void valueChanged(CControl* c) override
    {
        auto* v = static_cast<CControlVx*>(c);
        int index = -1;
        float value = 0.f;
        while (v->getValue(&index, &value))
            v->setValue(index, value); // the parameter comes back at once
    }
};

struct Bench
{
    Listener listener;
    CBitmap* target = new CBitmap(Width + 20, 120);
    CBitmap* background = new CBitmap(Width + 20, 120);
    CSampleDisplayVl_c* display = new CSampleDisplayVl_c(CRect(10, 10, 10 + Width, 110), &listener, 0, background);
    WaveSample_c* slot = &tenMinutes();
    Bench(float zoom, float scroll)
    {
        for (int s = 1; s < CSampleDisplayVl_c::SlotCount; ++s)
            display->setEditIdx(s, s);
        display->create(&slot, CSampleDisplayVl_c::PlayColour, CSampleDisplayVl_c::BeforeStartColour,
                        CSampleDisplayVl_c::LoopColour);
        const float values[] = {0.1f, 0.3f, 0.7f, 0.02f, zoom, scroll};
        for (int s = 0; s < CSampleDisplayVl_c::SlotCount; ++s)
            display->setValue(s, values[s]);
        draw();
    }
    ~Bench()
    {
        display->forget();
        target->forget();
        background->forget();
    }
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;
    void draw()
    {
        CDrawContext context(target);
        display->draw(&context);
    }
};

void redrawWidest(benchmark::State& state)
{
    Bench bench(1.f, 0.5f);
    for (auto _ : state)
        bench.draw();
    state.counters["frames/redraw"] = Width * 8192.0;
}
BENCHMARK(redrawWidest)->Unit(benchmark::kMillisecond);

void dragLoopEndWidest(benchmark::State& state)
{
    Bench bench(1.f, 0.5f);
    CPoint p(10 + 220, 60);
    bench.display->onMouseDown(p, kLButton);
    int step = 0;
    for (auto _ : state) {
        CPoint to(10 + 200 + (step++ % 40), 60);
        bench.display->onMouseMoved(to, kLButton);
        bench.draw();
    }
    bench.display->onMouseUp(p, 0);
}
BENCHMARK(dragLoopEndWidest)->Unit(benchmark::kMillisecond);

void redrawClosest(benchmark::State& state)
{
    Bench bench(0.f, 0.5f);
    for (auto _ : state)
        bench.draw();
}
BENCHMARK(redrawClosest)->Unit(benchmark::kMillisecond);

} // namespace
