#include "ButtonsAndDisplays.h"
#include "ControlTestRig.h"
#include "RecordingVela.h"

#include <gtest/gtest.h>

#include <memory>

using ControlTest::Canvas;
using ControlTest::frameColour;
using ControlTest::framesPicture;
using ControlTest::Stage;

namespace {
constexpr int Tag = 36; // Osc 1 Spread: 0 .. 5000, two decimals
constexpr CColor Ground{1, 2, 3, 255};
constexpr CColor Ink{250, 240, 10, 255};

// Whether a pixel close to colour c (text is smoothed at its edges) lies in r.
bool anyPixel(const Canvas& canvas, const CRect& r, CColor c)
{
    const auto near = [](int a, int b) { return a - b < 60 && b - a < 60; };
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            const CColor p = canvas.at(x, y);
            if (near(p.red, c.red) && near(p.green, c.green) && near(p.blue, c.blue))
                return true;
        }
    return false;
}
} // namespace

TEST(CRadioButtonVx, PointsToButtonsAndDrawsTheLitCell)
{
    struct Case
    {
        const char* what;
        bool rowMajor;
        CPoint point;
        float value;
    };
    // A 4 x 2 grid of 20 x 10 cells; the grid shows button 1 before the click.
    const Case cases[] = {
        {"second row, third column, along the rows", true, CPoint(45, 15), 6.f / 7.f},
        {"the same cell counted down the columns", false, CPoint(45, 15), 5.f / 7.f},
        {"the first pixel is the first button", true, CPoint(0, 0), 0.f},
        {"the last pixel the last", true, CPoint(79, 19), 1.f},
        {"outside the grid the value stays", true, CPoint(90, 5), 1.f / 7.f},
    };
    for (const Case& c : cases) {
        Stage<CRadioButtonVx> s([&](CControlListenerVx* l) {
            return new CRadioButtonVx(CRect(0, 0, 80, 20), l, Tag, 4, 2, c.rowMajor, nullptr);
        });
        s.control->setValue(1.f / 7.f);
        EXPECT_EQ(s.control->getType(), kControlKindRadio);
        s.press(c.point.h, c.point.v);
        EXPECT_NEAR(s.control->UserValue(), c.value, 1e-6) << c.what;
        s.release(c.point.h, c.point.v);
    }
    // 3 x 1 at 1.0 lights cell 2 (truncate(2.97)); the picture's top half is
    // the grid off (colour 0), the lower half on (colour 1).
    CBitmap* picture = framesPicture(60, 10, 2);
    Stage<CRadioButtonVx> s([&](CControlListenerVx* l) {
        return new CRadioButtonVx(CRect(10, 10, 70, 20), l, Tag, 3, 1, true, picture);
    });
    s.control->setValue(1.f);
    EXPECT_EQ(s.control->litIndex(), 2);
    Canvas canvas(100, 40, Ground);
    canvas.draw(s.control);
    EXPECT_EQ(canvas.at(15, 15), frameColour(0)) << "cell 0 off";
    EXPECT_EQ(canvas.at(35, 15), frameColour(0)) << "cell 1 off";
    EXPECT_EQ(canvas.at(55, 15), frameColour(1)) << "cell 2 on";
    picture->forget();
}

TEST(COnOffButtonVx, StepsThroughItsStatesAndWraps)
{
    struct Case
    {
        const char* what;
        int states;
        float shown;
        long buttons;
        float value;
    };
    const Case cases[] = {
        {"3 states at 1.0, left: wraps to 0", 3, 1.f, kLButton, 0.f},
        {"3 states at 0.0, right: wraps to 1", 3, 0.f, kRButton, 1.f},
        {"3 states at 0.5, left: 1", 3, 0.5f, kLButton, 1.f},
        {"2 states at 0, left: on", 2, 0.f, kLButton, 1.f},
        {"2 states at 1, left: off", 2, 1.f, kLButton, 0.f},
        {"4 states at 1/3, right: 0", 4, 1.f / 3.f, kRButton, 0.f},
    };
    for (const Case& c : cases) {
        Stage<COnOffButtonVx> s([&](CControlListenerVx* l) {
            CRect size(0, 0, 20, 10);
            return new COnOffButtonVx(size, l, Tag, nullptr, c.states);
        });
        s.control->setValue(c.shown);
        EXPECT_EQ(s.press(5, 5, c.buttons), kMouseDownEventHandledButDontNeedMovedOrUpEvents) << c.what;
        ASSERT_EQ(s.listener.notices.size(), 1u) << c.what;
        EXPECT_NEAR(s.listener.notices[0].user, c.value, 1e-6) << c.what;
        EXPECT_EQ(s.listener.notices[0].right, c.buttons == kRButton) << c.what;
        EXPECT_EQ(s.begins(Tag), 1) << c.what;
        EXPECT_EQ(s.ends(Tag), 1) << c.what;
    }
    Stage<COnOffButtonVx> single([](CControlListenerVx* l) {
        CRect size(0, 0, 20, 10);
        return new COnOffButtonVx(size, l, Tag, nullptr, 1);
    });
    EXPECT_EQ(single.press(5, 5), kMouseEventNotHandled) << "a one-state button ignores clicks";
    EXPECT_TRUE(single.listener.notices.empty());
    EXPECT_EQ(single.begins(Tag), 0);

    // Each state its own frame, stacked: 4 states at 2/3 show frame 2.
    CBitmap* picture = framesPicture(20, 10, 4);
    Stage<COnOffButtonVx> s([&](CControlListenerVx* l) {
        CRect size(30, 5, 50, 15);
        return new COnOffButtonVx(size, l, Tag, picture, 4);
    });
    s.control->setValue(2.f / 3.f);
    Canvas canvas(100, 40, Ground);
    canvas.draw(s.control);
    EXPECT_EQ(canvas.at(40, 10), frameColour(2));
    EXPECT_EQ(canvas.at(29, 10), Ground);
    picture->forget();
}

TEST(CLabelVx, ShowsItsTextAndNeverTakesTheMouse)
{
    Stage<CLabelVx> s([](CControlListenerVx* l) {
        return new CLabelVx(CRect(0, 0, 60, 12), l, Tag, nullptr, kNormalFontSmall, Ink, kCenterText);
    });
    s.control->setText("Time");
    EXPECT_EQ(s.control->getDisplayText(), "Time");
    EXPECT_FALSE(s.control->getMouseEnabled());
    EXPECT_EQ(s.press(10, 5), kMouseEventNotHandled);
    EXPECT_FALSE(s.control->onWheel(CPoint(10, 5), 1.f, 0));
    EXPECT_TRUE(s.listener.notices.empty());
    Canvas canvas(60, 12, Ground);
    canvas.draw(s.control);
    EXPECT_TRUE(anyPixel(canvas, CRect(0, 0, 60, 12), Ink)) << "the text in its colour";
}

TEST(CVarDisplay, WorksOutItsTextFromTheRangeAndDragsRelatively)
{
    auto owned = std::make_unique<EditorTest::RecordingVela>();
    EditorTest::RecordingVela& engine = *owned;
    struct Case
    {
        const char* what;
        int index;
        float value;
        const char* text;
    };
    const Case cases[] = {
        {"a level at its lowest is silence", 134, 0.f, "-oo"},
        {"a level in whole dB", 134, 0.5f, "-15"},
        {"a level at its top", 134, 1.f, "0"},
        {"a number with two decimals", 36, 0.5f, "25.00"},
        {"a number at its low end", 36, 0.f, "0.00"},
    };
    for (const Case& c : cases) {
        Stage<CVarDisplay> s([&](CControlListenerVx* l) {
            CRect size(0, 0, 40, 12);
            return new CVarDisplay(size, l, c.index, &engine, nullptr);
        });
        s.control->setValue(c.value);
        EXPECT_EQ(s.control->shownText(), c.text) << c.what;
        EXPECT_EQ(s.control->getType(), kControlKindVarDisplay);
    }
    Stage<CVarDisplay> s([&](CControlListenerVx* l) {
        CRect size(0, 0, 40, 12);
        return new CVarDisplay(size, l, Tag, &engine, nullptr);
    });
    s.control->setText("12.34");
    EXPECT_EQ(s.control->shownText(), "12.34") << "the engine's text wins";
    s.control->setValue(0.2f);
    EXPECT_NEAR(s.drag(20, 6, 20, -94), 0.6f, 1e-5) << "100 pixels up: +0.4";
    s.control->setValue(0.2f);
    EXPECT_NEAR(s.drag(20, 6, 20, -94, kLButton | kShift), 0.24f, 1e-5) << "fine: +0.04";
}

TEST(CModDepthDisp, ShowsDepthOrSemitonesAndDragsFromItsCentre)
{
    auto owned = std::make_unique<EditorTest::RecordingVela>();
    EditorTest::RecordingVela& engine = *owned;
    const auto make = [&](CControlListenerVx* l) {
        CRect size(0, 0, 40, 11);
        return new CModDepthDisp(size, l, 680, &engine, nullptr);
    };
    struct Text
    {
        int semitones;
        float value;
        const char* text;
    };
    const Text texts[] = {
        {0, 0.5f, "0.0000"},  {0, 1.f, "1.0000"},      {0, 0.f, "-1.0000"},     {0, 0.25f, "-0.5000"},
        {48, 0.5f, "0:00"},   {48, 1.f, "48:00"},      {48, 0.25f, "-24:00"},   {48, 0.484375f, "-1:50"},
        {48, 0.515625f, "1:50"}, {12, 0.75f, "6:00"},
    };
    for (const Text& t : texts) {
        Stage<CModDepthDisp> s(make);
        s.control->setSemitoneMode(t.semitones);
        s.control->setValue(t.value);
        EXPECT_EQ(s.control->shownText(), t.text) << t.semitones << " at " << t.value;
    }
    struct Drag
    {
        const char* what;
        int semitones;
        int dy; // from the centre (y 5), down positive
        float value;
    };
    const Drag drags[] = {
        {"100 pixels up in normal mode: +(6 x 100 - 360) / 3000", 0, -100, 0.58f},
        {"30 pixels down: -30 / 3000", 0, 30, 0.49f},
        {"one pixel down in semitone mode is one cent down", 48, 1, 0.5f - 1.f / 9600.f},
        {"130 pixels up: 16 x 130 - 1470 cents", 48, -130, 0.5f + 610.f / 9600.f},
    };
    for (const Drag& d : drags) {
        Stage<CModDepthDisp> s(make);
        s.control->setSemitoneMode(d.semitones);
        s.control->setValue(0.5f);
        EXPECT_NEAR(s.drag(20, 5, 20, 5 + d.dy), d.value, 1e-5) << d.what;
    }
    // Double clicks keep the depth and restore it, unless the parameter
    // changed in between.
    Stage<CModDepthDisp> s(make);
    const auto doubleClick = [&] {
        s.press(20, 5);
        s.release(20, 5);
        s.press(20, 5, kLButton | kDoubleClick);
        s.release(20, 5);
        return s.listener.notices.back().user;
    };
    s.control->setValue(0.7f);
    EXPECT_FLOAT_EQ(doubleClick(), 0.5f) << "zero depth";
    s.control->setValue(0.5f); // the engine shows what it was sent
    EXPECT_FLOAT_EQ(doubleClick(), 0.7f) << "the kept depth again";
    s.control->setValue(0.7f);
    EXPECT_FLOAT_EQ(doubleClick(), 0.5f);
    s.control->setValue(0.6f); // changed elsewhere meanwhile
    EXPECT_FLOAT_EQ(doubleClick(), 0.5f) << "the change forgot the kept depth";
    s.control->setValue(680, 0.3f); // the editor's update names the edit index
    EXPECT_FLOAT_EQ(doubleClick(), 0.5f) << "so does a change the editor shows";

    Stage<CModDepthDisp> inert([](CControlListenerVx* l) {
        CRect size(0, 0, 40, 11);
        return new CModDepthDisp(size, l, 680, nullptr, nullptr);
    });
    EXPECT_EQ(inert.control->getType(), kControlKindNone) << "without an engine the display is inert";
}

TEST(CPlusMinusDisplay, StepsOnItsButtonsAndDragsOnItsText)
{
    const auto make = [](CControlListenerVx* l) {
        return new CPlusMinusDisplay(CRect(0, 0, 56, 15), l, Tag, CRect(0, -1, 26, 15), CRect(26, 0, 41, 15),
                                     CRect(41, 0, 56, 15), nullptr, kNormalFontSmall, Ink);
    };
    Stage<CPlusMinusDisplay> s(make);
    s.control->setValue(0.5f);
    s.press(30, 7);
    s.move(31, 7);
    s.move(30, 8);
    s.release(30, 8);
    ASSERT_EQ(s.listener.notices.size(), 3u) << "one step per mouse event on the button";
    for (const auto& n : s.listener.notices) {
        EXPECT_TRUE(n.up);
        EXPECT_FALSE(n.down);
        EXPECT_FLOAT_EQ(n.user, 0.5f) << "the value itself stays";
    }
    s.listener.notices.clear();
    s.press(50, 15); // the edges belong to the button
    EXPECT_TRUE(s.listener.notices.back().down);
    s.release(50, 15);
    s.control->setValue(0.2f);
    EXPECT_NEAR(s.drag(10, 7, 10, -18), 0.3f, 1e-5) << "25 pixels up on the text: +0.1";

    s.control->setViewSize(CRect(100, 50, 156, 65));
    EXPECT_EQ(s.control->getTextRect(), CRect(100, 49, 126, 65));
    EXPECT_EQ(s.control->getUpRect(), CRect(126, 50, 141, 65));
    EXPECT_EQ(s.control->getDownRect(), CRect(141, 50, 156, 65));
    s.control->setText("-11");
    Canvas canvas(200, 100, Ground);
    canvas.draw(s.control);
    EXPECT_TRUE(anyPixel(canvas, s.control->getTextRect(), Ink)) << "the text in its area";
    EXPECT_FALSE(anyPixel(canvas, s.control->getDownRect(), Ink)) << "and not on the buttons";
}
