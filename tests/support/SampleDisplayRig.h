// A loop sampler's sample display for tests: 316 x 100 at (10, 20) over a
// plain background, its six slots bound to edit indices 600..605, reading
// the sample slot `slot` (a pointer another thread may swap), and samples
// made from plain values.
#pragma once

#include "CFrame.h"
#include "ControlTestRig.h"
#include "EditRecorder.h"
#include "SampleDisplay.h"
#include "WaveSample.h"

#include <atomic>
#include <vector>

namespace ControlTest {

// Fills a sample with the values (mono) at the rate, under its write hold.
inline void fillSample(WaveSample_c& s, const std::vector<float>& values, int rate)
{
    SampleWriteHold hold(s);
    float* left = nullptr;
    float* right = nullptr;
    s.getBufferFor(static_cast<int>(values.size()), 1, &left, &right);
    std::copy(values.begin(), values.end(), left);
    s.sampleRate = rate;
}

// The running sum of a signal: the form zone data is kept in.
inline std::vector<float> runningSum(const std::vector<float>& signal)
{
    std::vector<float> sum(signal.size());
    double acc = 0.0;
    for (size_t i = 0; i < signal.size(); ++i) {
        acc += signal[i];
        sum[i] = static_cast<float>(acc);
    }
    return sum;
}

struct DisplayRig
{
    static constexpr int Left = 10, Top = 20, Width = 316, Height = 100;
    static constexpr int FirstIndex = 600;
    static constexpr CColor Back{20, 20, 30, 255};
    GestureEditor editor;
    EditRecorder listener;
    CFrame* frame = new CFrame(CRect(0, 0, 400, 200), nullptr, &editor);
    CBitmap* background = solidPicture(400, 200, {Back});
    CSampleDisplayVl_c* display =
        new CSampleDisplayVl_c(CRect(Left, Top, Left + Width, Top + Height), &listener, FirstIndex, background);
    std::atomic<WaveSample_c*> slot{nullptr};

    DisplayRig()
    {
        for (int s = 1; s < CSampleDisplayVl_c::SlotCount; ++s)
            display->setEditIdx(s, FirstIndex + s);
        display->create(&slot, CSampleDisplayVl_c::PlayColour, CSampleDisplayVl_c::BeforeStartColour,
                        CSampleDisplayVl_c::LoopColour);
        frame->addView(display);
    }
    ~DisplayRig()
    {
        frame->forget();
        background->forget();
    }
    DisplayRig(const DisplayRig&) = delete;
    DisplayRig& operator=(const DisplayRig&) = delete;

    void set(int slotNumber, float v) { display->setValue(FirstIndex + slotNumber, v); }
    // Start point, loop start, loop end, crossfade, zoom, scroll.
    void setAll(float start, float loopStart, float loopEnd, float fade, float zoom, float scroll)
    {
        const float v[] = {start, loopStart, loopEnd, fade, zoom, scroll};
        for (int i = 0; i < 6; ++i)
            set(i, v[i]);
    }
};

} // namespace ControlTest
