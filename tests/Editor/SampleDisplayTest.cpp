#include "GuiTestViews.h"
#include "SampleDisplayRig.h"
#include "XorShift.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

using ControlTest::Canvas;
using ControlTest::DisplayRig;
using ControlTest::fillSample;
using ControlTest::runningSum;
using ControlTest::sameColour;
using D = CSampleDisplayVl_c;

namespace {

constexpr int Rate = 44100;
constexpr int L = DisplayRig::Left, T = DisplayRig::Top, W = DisplayRig::Width, H = DisplayRig::Height;

// A signal of n frames in -0.6..0.6 with a few spikes beyond the full range.
std::vector<float> noise(int n, uint32_t seed)
{
    uint32_t state = seed;
    std::vector<float> s(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        s[static_cast<size_t>(i)] = (static_cast<float>(xorshift32(state) % 12001) - 6000.f) / 10000.f;
    for (int i = 97; i < n; i += 4099)
        s[static_cast<size_t>(i)] = i % 2 ? 1.7f : -1.4f;
    return s;
}

// Column extremes straight from the signal whose running sum is stored:
// the differences of the sums are the signal's own frames.
struct Column
{
    float mx, mn;
};
std::vector<Column> directColumns(const std::vector<float>& signal, double start, double duration, int width)
{
    const int last = static_cast<int>(signal.size()) - 1;
    const double step = Rate * duration / width;
    std::vector<Column> out;
    for (int j = 0; j < width; ++j) {
        const double from = Rate * start + j * step;
        if (!(from < last)) {
            out.push_back({0.f, 0.f});
            continue;
        }
        const int a = static_cast<int>(std::floor(from + 0.5));
        const int b = std::min(last, std::max(a + 1, static_cast<int>(std::floor(std::min<double>(last, from + step) + 0.5))));
        if (b <= a) {
            out.push_back({0.f, 0.f});
            continue;
        }
        const auto [lo, hi] = std::minmax_element(signal.begin() + a + 1, signal.begin() + b + 1);
        out.push_back({std::clamp(*hi, -1.f, 1.f), std::clamp(*lo, -1.f, 1.f)});
    }
    return out;
}

struct SampleRig : DisplayRig
{
    WaveSample_c sample;
    SampleRig(const std::vector<float>& values, int rate = Rate)
    {
        fillSample(sample, values, rate);
        slot = &sample;
    }
    void draw(Canvas& canvas) { canvas.draw(display); }
    CMouseEventResult press(int dx, int dy, long buttons = kLButton)
    {
        CPoint p(L + dx, T + dy);
        return display->onMouseDown(p, buttons);
    }
    CMouseEventResult drag(int dx, int dy)
    {
        CPoint p(L + dx, T + dy);
        return display->onMouseMoved(p, kLButton);
    }
    void release()
    {
        CPoint p(0, 0);
        display->onMouseUp(p, 0);
    }
};

// Every pixel of two canvases alike.
bool samePixels(const Canvas& a, const Canvas& b, int w, int h)
{
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (!sameColour(a.at(x, y), b.at(x, y)))
                return false;
    return true;
}

bool anyPixelOf(const Canvas& c, CColor colour, int x0, int y0, int x1, int y1)
{
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (sameColour(c.at(x, y), colour))
                return true;
    return false;
}

} // namespace

TEST(SampleView, ZoomRunsFromOneTo8192FramesPerColumn)
{
    struct Case
    {
        float zoom;
        float frames;
    };
    const Case cases[] = {{0.f, 1.f}, {1.f, 8192.f}, {0.5f, std::exp2(6.5f)}, {-1.f, 0.9999f}, {2.f, 8192.1f}};
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(SampleView::framesPerColumn(c.zoom), c.frames) << c.zoom;

    // 300 000 frames: zoom 0 shows 316 of them, zoom 1 every one.
    const double length = 300000.0 / Rate;
    struct View
    {
        float zoom, scroll;
        double start, end;
    };
    const View views[] = {
        {0.f, 0.f, 0.0, 316.0 / Rate},
        {0.f, 1.f, length - 316.0 / Rate, length},
        {0.f, 0.5f, (length - 316.0 / Rate) / 2, (length + 316.0 / Rate) / 2},
        {1.f, 0.7f, 0.0, 316.0 * 8192 / Rate},
    };
    for (const View& v : views) {
        const auto r = SampleView::visible(v.zoom, v.scroll, W, 300000, Rate);
        EXPECT_NEAR(r.start, v.start, 1e-6) << v.zoom << "/" << v.scroll;
        EXPECT_NEAR(r.end, v.end, 1e-6) << v.zoom << "/" << v.scroll;
    }
}

TEST(SampleView, AColumnIsExactlyTheExtremeDifferenceOverItsFrames)
{
    // Every span length around the four-at-a-time steps, with values that
    // break ordering (NaN, infinities, signed zeros) among plain ones.
    std::vector<float> data = noise(64, 17);
    data[9] = std::nanf("");
    data[20] = std::numeric_limits<float>::infinity();
    data[33] = -0.f;
    data[34] = 0.f;
    data[50] = -std::numeric_limits<float>::infinity();
    for (int first = 0; first < 12; ++first) {
        for (int span = 0; span < 40; ++span) {
            float mx = -1.f, mn = 1.f;
            const int end = std::min(63, std::max(first + 1, first + span));
            for (int i = first + 1; i <= end; ++i) {
                const float d = data[static_cast<size_t>(i)] - data[static_cast<size_t>(i - 1)];
                if (d > mx)
                    mx = d;
                if (d < mn)
                    mn = d;
            }
            float gotMax = 0.f, gotMin = 0.f;
            SampleView::columnMaxMin(data.data(), 64, first, first + span, &gotMax, &gotMin);
            ASSERT_EQ(gotMax, std::min(mx, 1.f)) << first << "+" << span;
            ASSERT_EQ(gotMin, std::max(mn, -1.f)) << first << "+" << span;
        }
    }
    float mx = 5.f, mn = 5.f;
    SampleView::columnMaxMin(data.data(), 64, 63.2, 63.4, &mx, &mn);
    EXPECT_TRUE(mx == 0.f && mn == 0.f) << "no difference left before the end: flat";
}

TEST(CSampleDisplayVl_c, ColumnsAreTheExtremesOfConsecutiveDifferences)
{
    const std::vector<float> signal = noise(400000, 7);
    SampleRig rig(runningSum(signal));
    struct View
    {
        float zoom, scroll;
    };
    const View views[] = {{0.f, 0.f}, {0.f, 0.37f}, {0.3f, 0.5f}, {0.55f, 1.f}, {0.8f, 0.2f}, {1.f, 0.f}};
    for (const View& v : views) {
        rig.setAll(0.1f, 0.4f, 0.8f, 0.05f, v.zoom, v.scroll);
        Canvas canvas(400, 200);
        rig.draw(canvas);
        float start = 0.f, end = 0.f;
        rig.display->getStartEndDisplayed(&start, &end);
        const auto r = SampleView::visible(v.zoom, v.scroll, W, 400000, Rate);
        const auto expected = directColumns(signal, r.start, r.end - r.start, W);
        int checked = 0;
        for (int j = 0; j < W; ++j) {
            // Running sums in float lose a little; the extremes stay within it.
            ASSERT_NEAR(rig.display->getMaxima()[j], expected[static_cast<size_t>(j)].mx, 2e-3)
                << "zoom " << v.zoom << " scroll " << v.scroll << " column " << j;
            ASSERT_NEAR(rig.display->getMinima()[j], expected[static_cast<size_t>(j)].mn, 2e-3)
                << "zoom " << v.zoom << " scroll " << v.scroll << " column " << j;
            ++checked;
        }
        EXPECT_EQ(checked, W);
        // The bar of a column away from the markers reaches exactly its
        // joined extremes: coloured at both ends, background beyond.
        // Each bar reaches the far end of the bar before it (the first one,
        // unscrolled, the centre line).
        const double yc = T + (H - 1) * 0.5, h = (H - 1) * 0.5 - 1;
        const float* mx = rig.display->getMaxima();
        const float* mn = rig.display->getMinima();
        std::vector<float> tops(W), bottoms(W);
        float prevTop = v.scroll > 0.f ? mx[0] : 0.f, prevBottom = v.scroll > 0.f ? mn[0] : 0.f;
        for (size_t j = 0; j < static_cast<size_t>(W); ++j) {
            tops[j] = std::clamp(std::max(mx[j], prevBottom), -1.f, 1.f);
            bottoms[j] = std::clamp(std::min(mn[j], prevTop), -1.f, 1.f);
            prevTop = tops[j];
            prevBottom = bottoms[j];
        }
        for (const int j : {40, 41, 200, 201}) {
            const int yTop = static_cast<int>(yc - tops[static_cast<size_t>(j)] * h);
            const int yBottom = static_cast<int>(yc - bottoms[static_cast<size_t>(j)] * h);
            EXPECT_FALSE(sameColour(canvas.at(L + j, yTop), DisplayRig::Back)) << j;
            EXPECT_FALSE(sameColour(canvas.at(L + j, yBottom), DisplayRig::Back)) << j;
            if (yTop > T + 8) {
                EXPECT_TRUE(sameColour(canvas.at(L + j, yTop - 1), DisplayRig::Back)) << j;
            }
            if (yBottom < T + H - 1) {
                EXPECT_TRUE(sameColour(canvas.at(L + j, yBottom + 1), DisplayRig::Back)) << j;
            }
        }
    }
}

TEST(CSampleDisplayVl_c, ColumnsTakeTheColourOfTheirPartOfTheSample)
{
    // One frame per column from the beginning: column j is frame j.
    std::vector<float> signal(3000);
    for (size_t i = 0; i < signal.size(); ++i)
        signal[i] = i % 2 ? 0.3f : -0.3f;
    SampleRig rig(runningSum(signal));
    rig.setAll(0.02f, 0.05f, 0.08f, 0.f, 0.f, 0.f);
    Canvas canvas(400, 200);
    rig.draw(canvas);
    const int y = T + 40; // inside every bar (0.3 down to 0.3 up)
    struct Probe
    {
        int column;
        CColor colour;
    };
    // Start point at frame 60, loop start at 150, loop end at 240.
    const Probe probes[] = {{30, D::BeforeStartColour}, {100, D::PlayColour}, {200, D::LoopColour},
                            {280, D::PlayColour}};
    for (const Probe& p : probes)
        EXPECT_TRUE(sameColour(canvas.at(L + p.column, y), p.colour)) << p.column;
    // Each marker line from 3 below the top to the bottom row.
    const struct
    {
        int column;
        CColor colour;
    } markers[] = {{59, D::StartMarker}, {149, D::LoopStartMarker}, {239, D::LoopEndMarker}};
    for (const auto& m : markers) {
        EXPECT_TRUE(sameColour(canvas.at(L + m.column, T + 3), m.colour)) << m.column;
        EXPECT_TRUE(sameColour(canvas.at(L + m.column, T + H - 1), m.colour)) << m.column;
        EXPECT_FALSE(sameColour(canvas.at(L + m.column, T + 2), m.colour)) << m.column;
    }
}

TEST(CSampleDisplayVl_c, EdgeCasesOfTheView)
{
    SCOPED_TRACE("a sample shorter than the view shows from its beginning, flat after its end");
    {
        std::vector<float> signal(100, 0.f);
        signal[10] = 0.5f;
        SampleRig rig(runningSum(signal));
        for (const float scroll : {0.f, 0.8f}) {
            rig.setAll(0.f, 0.f, 1.f, 0.f, 0.5f, scroll);
            Canvas canvas(400, 200);
            rig.draw(canvas);
            float start = -1.f;
            rig.display->getStartEndDisplayed(&start, nullptr);
            EXPECT_EQ(start, 0.f) << scroll;
            EXPECT_FLOAT_EQ(rig.display->getMaxima()[0], 0.5f) << "frame 10 lies in column 0";
            for (int j = 2; j < W; ++j)
                ASSERT_EQ(rig.display->getMaxima()[j], 0.f) << j;
            const int yc = static_cast<int>(T + (H - 1) * 0.5);
            EXPECT_FALSE(sameColour(canvas.at(L + 100, yc), DisplayRig::Back)) << "the centre line";
            EXPECT_TRUE(sameColour(canvas.at(L + 100, yc - 2), DisplayRig::Back));
        }
    }
    SCOPED_TRACE("a rate of 1000 Hz or less draws neither waveform nor markers");
    {
        struct Case
        {
            int rate;
            bool drawn;
        };
        for (const Case c : {Case{1000, false}, Case{500, false}, Case{1001, true}}) {
            SampleRig rig(runningSum(noise(5000, 3)), c.rate);
            rig.setAll(0.1f, 0.2f, 0.3f, 0.1f, 0.f, 0.f);
            Canvas shown(400, 200);
            rig.draw(shown);
            DisplayRig empty;
            Canvas background(400, 200);
            background.draw(empty.display);
            EXPECT_EQ(!samePixels(shown, background, 400, 200), c.drawn) << c.rate;
        }
    }
    SCOPED_TRACE("a loop start outside the view draws no line, but its crossfade box where it reaches in");
    {
        // 1264 frames at one per column: the view shows the first quarter.
        SampleRig rig(runningSum(std::vector<float>(1264, 0.f)));
        rig.setAll(0.f, 0.3f, 0.9f, 0.1f, 0.f, 0.f);
        Canvas canvas(400, 200);
        rig.draw(canvas);
        // Box from 0.2 of the length (pixel 252) to the view's end (315).
        EXPECT_TRUE(sameColour(canvas.at(L + 252, T + 5), D::LoopStartMarker));
        EXPECT_TRUE(sameColour(canvas.at(L + 315, T + 5), D::LoopStartMarker));
        EXPECT_TRUE(sameColour(canvas.at(L + 280, T + 3), D::LoopStartMarker));
        EXPECT_TRUE(sameColour(canvas.at(L + 280, T + 7), D::LoopStartMarker));
        EXPECT_FALSE(sameColour(canvas.at(L + 280, T + 5), D::LoopStartMarker)) << "an outline only";
        EXPECT_FALSE(anyPixelOf(canvas, D::LoopStartMarker, L, T + 8, L + W, T + H)) << "no loop start line";
        EXPECT_FALSE(anyPixelOf(canvas, D::LoopEndMarker, L, T, L + W, T + H)) << "the loop end lies beyond";
        EXPECT_TRUE(sameColour(canvas.at(L, T + 50), D::StartMarker));
    }
}

TEST(CSampleDisplayVl_c, MarkersDragToTheirOwnParameters)
{
    // 316 frames, one per column over the whole width: a click at column x
    // means x / 316 of the length.
    struct Case
    {
        const char* what;
        float start, loopStart, loopEnd, fade;
        int x, y;  // the press
        int toX;   // the drag
        int slot;  // the slot dragged
        float sent; // the value sent at toX
    };
    const Case cases[] = {
        {"near the start point", 0.2f, 0.5f, 0.8f, 0.f, 70, 50, 79, D::StartPoint, 0.25f},
        {"near the loop start", 0.2f, 0.5f, 0.8f, 0.f, 150, 50, 237, D::LoopStart, 0.75f},
        {"near the loop end", 0.2f, 0.5f, 0.8f, 0.f, 250, 13, 300, D::LoopEnd, 300.f / 316.f},
        {"halfway between two: the later one", 0.125f, 0.375f, 0.8f, 0.f, 79, 50, 79, D::LoopStart, 0.25f},
        {"start on the loop start, left of them: the start point", 0.5f, 0.5f, 0.9f, 0.f, 100, 50, 50,
         D::StartPoint, 50.f / 316.f},
        {"start on the loop start, right of them: the loop start", 0.5f, 0.5f, 0.9f, 0.f, 170, 50, 200,
         D::LoopStart, 200.f / 316.f},
        {"12 px below the top: the crossfade, measured from the loop start", 0.2f, 0.25f, 0.8f, 0.f, 158, 12, 237,
         D::Crossfade, 0.5f},
        {"a crossfade before the loop start is 0", 0.2f, 0.5f, 0.8f, 0.1f, 158, 0, 79, D::Crossfade, 0.f},
        {"dragged past the end: 1", 0.2f, 0.5f, 0.8f, 0.f, 250, 50, 900, D::LoopEnd, 1.f},
    };
    for (const Case& c : cases) {
        SampleRig rig(runningSum(std::vector<float>(316, 0.1f)));
        rig.setAll(c.start, c.loopStart, c.loopEnd, c.fade, 0.f, 0.f);
        Canvas canvas(400, 200);
        rig.draw(canvas);
        EXPECT_EQ(rig.press(c.x, c.y), kMouseEventHandled) << c.what;
        EXPECT_EQ(rig.display->getActiveSlot(), c.slot) << c.what;
        rig.set(D::Zoom, 1.f); // a zoom change during the drag waits for the next press
        rig.drag(c.toX, c.y + 30);
        rig.release();
        EXPECT_FALSE(rig.display->isDragging()) << c.what;
        for (const auto& change : rig.listener.changes)
            EXPECT_EQ(change.index, DisplayRig::FirstIndex + c.slot) << c.what << ": only the dragged slot";
        EXPECT_NEAR(rig.listener.last(DisplayRig::FirstIndex + c.slot), c.sent, 1e-5) << c.what;
        EXPECT_TRUE(rig.editor.begins.empty() && rig.editor.ends.empty()) << c.what;
    }
}

TEST(CSampleDisplayVl_c, ValuesFromTheEngineFollowTheUserValueOnlyWhileNotDragging)
{
    SampleRig rig(runningSum(std::vector<float>(316, 0.1f)));
    Canvas canvas(400, 200);
    rig.draw(canvas);
    rig.display->setDirty(false);
    rig.set(D::LoopEnd, 0.6f);
    EXPECT_TRUE(rig.display->isDirty());
    EXPECT_FLOAT_EQ(rig.display->getSlot(D::LoopEnd).userValue, 0.6f);
    rig.press(190, 50);
    rig.set(D::LoopEnd, 0.9f);
    EXPECT_FLOAT_EQ(rig.display->DispValue(D::LoopEnd), 0.9f);
    EXPECT_NEAR(rig.display->getSlot(D::LoopEnd).userValue, 190.f / 316.f, 1e-6) << "the drag's value stays";
    rig.release();
}

TEST(CSampleDisplayVl_c, ASampleSwappedOrEmptiedWhileShownLeavesNothingStale)
{
    DisplayRig empty;
    Canvas background(400, 200);
    background.draw(empty.display);

    SampleRig rig(runningSum(noise(20000, 11)));
    rig.setAll(0.1f, 0.3f, 0.6f, 0.02f, 0.4f, 0.f);
    Canvas first(400, 200);
    rig.draw(first);
    EXPECT_FALSE(samePixels(first, background, 400, 200));

    SCOPED_TRACE("swapped for a silent sample: flat columns");
    WaveSample_c silent;
    fillSample(silent, std::vector<float>(20000, 0.25f), Rate);
    rig.slot = &silent;
    Canvas second(400, 200);
    rig.draw(second);
    for (int j = 0; j < W; ++j)
        ASSERT_EQ(rig.display->getMaxima()[j], 0.f) << j;

    SCOPED_TRACE("emptied: the background only, and clicks send nothing");
    {
        SampleWriteHold hold(silent);
        silent.freeSample();
    }
    Canvas third(400, 200);
    rig.draw(third);
    EXPECT_TRUE(samePixels(third, background, 400, 200));
    EXPECT_EQ(rig.display->getFrames(), 0);
    rig.press(100, 50);
    rig.drag(150, 50);
    rig.release();
    EXPECT_EQ(rig.listener.notices, 0);

    SCOPED_TRACE("reloaded shorter: drawn again from the new data");
    fillSample(silent, runningSum(noise(700, 5)), Rate);
    Canvas fourth(400, 200);
    rig.draw(fourth);
    EXPECT_EQ(rig.display->getFrames(), 700);
    EXPECT_FALSE(samePixels(fourth, background, 400, 200));

    SCOPED_TRACE("no sample in the slot: the background only");
    rig.slot = nullptr;
    Canvas fifth(400, 200);
    rig.draw(fifth);
    EXPECT_TRUE(samePixels(fifth, background, 400, 200));
}

TEST(CSampleDisplayVl_c, ASampleLockedElsewhereIsDrawnWhenItIsFree)
{
    GuiTest::ManualClock clock;
    SampleRig rig(runningSum(noise(20000, 13)));
    rig.setAll(0.1f, 0.3f, 0.6f, 0.f, 0.2f, 0.f);
    DisplayRig empty;
    Canvas background(400, 200);
    background.draw(empty.display);

    std::atomic<int> stage{0};
    std::thread holder([&] {
        SampleWriteHold hold(rig.sample);
        stage = 1;
        while (stage.load() != 2)
            std::this_thread::yield();
    });
    while (stage.load() != 1)
        std::this_thread::yield();
    Canvas refused(400, 200);
    rig.draw(refused);
    EXPECT_TRUE(samePixels(refused, background, 400, 200)) << "the draw never waits for the lock";
    EXPECT_TRUE(rig.display->waitsForRetry());
    stage = 2;
    holder.join();

    rig.display->setDirty(false);
    clock.advance(D::RetryMs);
    rig.frame->fireTimers();
    EXPECT_TRUE(rig.display->isDirty()) << "asks for the redraw itself";
    EXPECT_FALSE(rig.display->waitsForRetry());
    Canvas drawn(400, 200);
    rig.draw(drawn);
    EXPECT_FALSE(samePixels(drawn, background, 400, 200));
}

TEST(CSampleDisplayVl_c, WithoutCreateOrSampleOnlyTheBackground)
{
    GuiTest::ManualClock clock;
    ControlTest::EditRecorder listener;
    CBitmap* back = ControlTest::solidPicture(400, 200, {DisplayRig::Back});
    CSampleDisplayVl_c bare(CRect(L, T, L + W, T + H), &listener, 1, back);
    Canvas canvas(400, 200);
    canvas.draw(&bare);
    EXPECT_TRUE(sameColour(canvas.at(L + 5, T + 5), DisplayRig::Back));
    EXPECT_TRUE(sameColour(canvas.at(L - 1, T - 1), CColor{0, 0, 0, 255})) << "inside its own rectangle only";
    CPoint p(L + 5, T + 50);
    bare.onMouseDown(p, kLButton);
    bare.onMouseUp(p, 0);
    EXPECT_EQ(listener.notices, 0);
    back->forget();
}
