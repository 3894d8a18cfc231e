#include "ControlTestRig.h"
#include "GuiTestViews.h"
#include "KnobsAndSliders.h"

#include <gtest/gtest.h>

#include <cmath>

using ControlTest::Canvas;
using ControlTest::frameColour;
using ControlTest::framesPicture;
using ControlTest::Stage;

namespace {
constexpr int Tag = 77;
constexpr CColor Ground{1, 2, 3, 255};

// A 33 x 33 knob at (100, 100) on a strip of `frames` frames; its centre is
// (116, 116). The stage owns the knob, the test the strip.
struct KnobStage
{
    CBitmap* strip;
    Stage<CMIKnob> stage;
    KnobStage(int frames, float angle, float shown)
        : strip(framesPicture(33, 33, frames)), stage([&](CControlListenerVx* l) {
              return new CMIKnob(CRect(100, 100, 133, 133), l, Tag, nullptr, strip, frames, angle, 0.f);
          })
    {
        stage.control->setValue(shown);
    }
    ~KnobStage() { strip->forget(); }
    KnobStage(const KnobStage&) = delete;
    KnobStage& operator=(const KnobStage&) = delete;
};

// The point at `degrees` from straight up (clockwise) and `radius` pixels
// from the knob's centre.
CPoint onCircle(double degrees, double radius)
{
    const double a = degrees * 3.14159265358979 / 180.0;
    return CPoint(116 + static_cast<int>(std::lround(radius * std::sin(a))),
                  116 - static_cast<int>(std::lround(radius * std::cos(a))));
}
} // namespace

TEST(CMIKnob, ShowsTheFrameOfItsValue)
{
    struct Case
    {
        int frames;
        float value;
        int frame;
    };
    const Case cases[] = {{33, 1.f, 32}, {33, 0.5f, 16}, {33, 0.f, 0}, {71, 0.5f, 35}, {41, 0.3f, 12}};
    for (const Case& c : cases) {
        KnobStage k(c.frames, 300.f, c.value);
        EXPECT_EQ(k.stage.control->frameIndex(), c.frame) << c.frames << " frames at " << c.value;
        Canvas canvas(200, 200, Ground);
        canvas.draw(k.stage.control);
        EXPECT_EQ(canvas.at(116, 116), frameColour(c.frame)) << c.frames << " frames at " << c.value;
        EXPECT_EQ(canvas.at(99, 116), Ground) << "nothing outside the knob";
    }
}

TEST(CMIKnob, CircularDragFollowsTheAngleAndGuardsAgainstJumps)
{
    struct Case
    {
        const char* what;
        float angle;  // 300: a plain knob, 360: endless
        float shown;  // before the press
        CPoint point; // the press
        float value;  // the user value after it
    };
    const Case cases[] = {
        {"straight up is the middle", 300.f, 0.4f, onCircle(0, 14), 0.5f},
        {"150 degrees left of up is the start", 300.f, 0.2f, onCircle(-150, 14), 0.f},
        {"150 degrees right of up is the end", 300.f, 0.8f, onCircle(150, 14), 1.f},
        {"a click at the very centre keeps the value", 300.f, 0.3f, CPoint(116, 116), 0.3f},
        {"a jump of more than 0.7 keeps the shown value", 300.f, 0.9f, onCircle(-140, 14), 0.9f},
        {"an endless knob takes any jump (its travel is 360 degrees)", 360.f, 0.9f, onCircle(-140, 14), 0.026f},
    };
    for (const Case& c : cases) {
        KnobStage k(33, c.angle, c.shown);
        k.stage.press(c.point.h, c.point.v);
        EXPECT_NEAR(k.stage.control->UserValue(), c.value, 0.012) << c.what;
        k.stage.release(c.point.h, c.point.v);
        EXPECT_EQ(k.stage.begins(Tag), 1) << c.what;
        EXPECT_EQ(k.stage.ends(Tag), 1) << c.what;
    }
}

TEST(CMIKnob, LinearDragMovesHalfTheRangePer120Pixels)
{
    struct Case
    {
        const char* what;
        float angle;
        float shown;
        int up;     // pixels moved up
        long extra; // modifier held during the drag
        float value;
    };
    const Case cases[] = {
        {"48 pixels up add 0.2", 300.f, 0.2f, 48, 0, 0.4f},
        {"with Shift a tenth", 300.f, 0.2f, 48, kShift, 0.22f},
        {"down past the start stops at 0", 300.f, 0.2f, -120, 0, 0.f},
        {"up past the end stops at 1", 300.f, 0.9f, 48, 0, 1.f},
        {"an endless knob passes 1 to 0", 360.f, 0.9f, 48, 0, 0.1f},
        {"and 0 to 1", 360.f, 0.1f, -48, 0, 0.9f},
    };
    for (const Case& c : cases) {
        KnobStage k(33, c.angle, c.shown);
        k.stage.control->setCircularLinearMode(false);
        EXPECT_NEAR(k.stage.drag(116, 120, 116, 120 - c.up, kLButton | c.extra), c.value, 1e-5) << c.what;
    }
}

TEST(CSliderVx, DragsRelativelyAndDrawsItsHandleAlongTheTrack)
{
    CBitmap* handle = framesPicture(8, 10, 1);
    CBitmap* background = framesPicture(400, 300, 1);
    struct Case
    {
        const char* what;
        bool horizontal;
        float shown;
        int dx, dy;
        long extra;
        float value;
    };
    const Case cases[] = {
        {"100 pixels right add 0.6", true, 0.2f, 100, 0, 0, 0.8f},
        {"with Shift 0.06", true, 0.2f, 100, 0, kShift, 0.26f},
        {"never beyond 1", true, 0.6f, 100, 0, 0, 1.f},
        {"a vertical slider rises upwards", false, 0.2f, 0, -100, 0, 0.8f},
    };
    for (const Case& c : cases) {
        CRect back(10, 20, 82, 30);
        CRect travel = c.horizontal ? CRect(11, 20, 81, 30) : CRect(11, 20, 19, 90);
        Stage<CSliderVx> s([&](CControlListenerVx* l) { return new CSliderVx(back, travel, l, Tag, handle, background); });
        s.control->setValue(c.shown);
        EXPECT_EQ(s.control->getType(), kControlKindSlider) << c.what;
        EXPECT_NEAR(s.drag(40, 25, 40 + c.dx, 25 + c.dy, kLButton | c.extra), c.value, 1e-5) << c.what;
    }
    // Drawing: the handle stands at left + (width - handle width) x value.
    CRect back(10, 20, 82, 30);
    CRect travel(11, 20, 81, 30);
    Stage<CSliderVx> s([&](CControlListenerVx* l) { return new CSliderVx(back, travel, l, Tag, handle, background); });
    s.control->setValue(0.5f);
    Canvas canvas(200, 100, Ground);
    canvas.draw(s.control);
    const int x = 11 + (70 - 8) / 2;
    EXPECT_EQ(canvas.at(x, 25), frameColour(0)) << "the handle";
    EXPECT_EQ(canvas.at(x + 8, 25), frameColour(0)) << "the page background beneath, as one picture here";
    EXPECT_EQ(canvas.at(9, 25), Ground) << "nothing outside the back area";
    // Moving the view moves the area whose background is redrawn.
    s.control->setViewSize(CRect(21, 40, 91, 50));
    EXPECT_EQ(s.control->getBackRect(), CRect(20, 40, 92, 50));
    handle->forget();
    background->forget();
}

TEST(CDrawbarVx, HangsFromTheTopAndTurnsTheWheelForItsInvertedValue)
{
    // The bar picture: rod rows 0..75 in frame colour 0, handle rows 76..85 in 1.
    CBitmap* bar = framesPicture(19, 43, 2);
    auto* handleBar = new CBitmap(19, 86);
    {
        CDrawContext c(handleBar);
        c.setFillColor(frameColour(0));
        c.drawRect(CRect(0, 0, 19, 76), kDrawFilled);
        c.setFillColor(frameColour(1));
        c.drawRect(CRect(0, 76, 19, 86), kDrawFilled);
    }
    CBitmap* background = framesPicture(400, 300, 1, false);
    const auto make = [&](CControlListenerVx* l) {
        CRect size(10, 10, 29, 96);
        auto* d = new CDrawbarVx(size, 10, l, Tag, handleBar, background);
        d->setInverted(true);
        d->setOptionFlag(true);
        return d;
    };
    {
        Stage<CDrawbarVx> s(make);
        EXPECT_EQ(s.control->getTravel(), CRect(10, 15, 29, 91));
        struct Case
        {
            int y;
            float user; // parameter direction: the top is the maximum
        };
        for (const Case& c : {Case{15, 1.f}, Case{91, 0.f}, Case{53, 0.5f}, Case{200, 0.f}}) {
            s.press(20, c.y);
            s.release(20, c.y);
            EXPECT_NEAR(s.control->UserValue(), c.user, 1e-5) << "y " << c.y;
        }
        s.control->setType(kControlKindSlider);
        s.control->onWheel(CPoint(20, 50), 1.f, 0);
        ASSERT_FALSE(s.listener.notices.empty());
        EXPECT_TRUE(s.listener.notices.back().up) << "a turn up raises the parameter";
        EXPECT_FALSE(s.listener.notices.back().down);
    }
    {
        Stage<CDrawbarVx> s(make);
        s.control->setValue(0.5f); // shown 0.5: 38 of 76 pixels
        Canvas canvas(100, 120, Ground);
        canvas.draw(s.control);
        EXPECT_EQ(canvas.at(15, 12), frameColour(0)) << "the rod from the top";
        EXPECT_EQ(canvas.at(15, 50), frameColour(1)) << "the handle at 10 + 38";
        EXPECT_EQ(canvas.at(15, 57), frameColour(1));
        EXPECT_EQ(canvas.at(15, 60), frameColour(0)) << "below the handle: the page background";
    }
    // Without one of its pictures it is inert and draws nothing.
    Stage<CDrawbarVx> bare([&](CControlListenerVx* l) {
        CRect size(10, 10, 29, 96);
        return new CDrawbarVx(size, 10, l, Tag, nullptr, background);
    });
    EXPECT_EQ(bare.control->getType(), kControlKindNone);
    Canvas canvas(100, 120, Ground);
    canvas.draw(bare.control);
    EXPECT_EQ(canvas.at(15, 50), Ground);
    bar->forget();
    handleBar->forget();
    background->forget();
}

TEST(CScrollbarVx, TrackArrowsAndThumb)
{
    GuiTest::ManualClock clock;
    CBitmap* background = framesPicture(400, 300, 1);
    constexpr CColor Thumb{164, 164, 164, 255};
    const auto make = [&](CControlListenerVx* l) {
        CRect size(0, 0, 254, 7);
        auto* bar = new CScrollbarVx(size, l, Tag, background, 12, Thumb);
        bar->setEditIdx(1, Tag + 2);
        return bar;
    };
    struct Case
    {
        const char* what;
        float fraction, position;
        int x;
        int thumb;
        float value;
    };
    // Track 254 - 2 x 12 = 230; with fraction 0.5 the thumb is 115, the free travel 115.
    const Case cases[] = {
        {"a thumb filling the track always gives 0", 1.f, 0.5f, 100, 230, 0.f},
        {"fraction 0 shows the 8-pixel thumb", 0.f, 0.f, 12 + 4 + 111, 8, 111.f / 222.f},
        {"the thumb's centre follows the mouse", 0.5f, 0.f, 12 + 57 + 50, 115, 50.f / 115.f},
        {"the start arrow steps back margin / 8", 0.5f, 0.5f, 5, 115, 56.f / 115.f},
        {"the end arrow steps on", 0.5f, 0.5f, 250, 115, 58.f / 115.f},
    };
    for (const Case& c : cases) {
        Stage<CScrollbarVx> s(make);
        s.control->setValue(Tag, c.position);
        s.control->setValue(Tag + 2, c.fraction);
        EXPECT_EQ(s.control->thumbLength(), c.thumb) << c.what;
        clock.advance(1000);
        s.press(c.x, 3);
        EXPECT_NEAR(s.control->UserValue(), c.value, 1e-5) << c.what;
        int index = -1;
        float v = 0.f;
        while (s.control->getValue(&index, &v))
            EXPECT_EQ(index, Tag) << c.what << ": dragging writes only the position";
    }
    // Holding on an arrow steps at most once per 125 ms.
    Stage<CScrollbarVx> s(make);
    s.control->setValue(Tag + 2, 0.5f);
    s.control->setValue(Tag, 0.5f);
    clock.advance(1000);
    s.press(250, 3);
    const float first = s.control->UserValue();
    s.control->setValue(Tag, first);
    s.move(251, 3);
    EXPECT_FLOAT_EQ(s.control->UserValue(), first) << "no second step within the pause";
    clock.advance(CScrollbarVx::ArrowPauseMs);
    s.move(250, 3);
    EXPECT_GT(s.control->UserValue(), first) << "the next step after it";
    s.release(250, 3);

    // The thumb drawn at the margin, filled in its colour.
    Stage<CScrollbarVx> d(make);
    d.control->setValue(Tag + 2, 0.5f);
    d.control->setValue(Tag, 0.f);
    EXPECT_EQ(d.control->thumbRect(), CRect(12, 0, 127, 6));
    Canvas canvas(300, 20, Ground);
    canvas.draw(d.control);
    EXPECT_EQ(canvas.at(20, 3), Thumb);
    EXPECT_EQ(canvas.at(140, 3), frameColour(0)) << "the background beside the thumb";
    background->forget();
}
