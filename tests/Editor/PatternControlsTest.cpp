#include "ControlTestRig.h"
#include "EditRecorder.h"
#include "GuiTestViews.h"
#include "PatternControls.h"

#include <gtest/gtest.h>

#include <string>

using ControlTest::Canvas;
using ControlTest::EditRecorder;
using ControlTest::GestureEditor;
using GuiTest::ManualClock;

namespace {

// A step pattern: every level given by the function, first values 5.
template <typename LevelOf>
std::string pattern(int active, int steps, LevelOf level)
{
    std::string p(StepSeqText::Length, '\0');
    p[0] = static_cast<char>(active + 1);
    p[1] = static_cast<char>(steps + 1);
    for (int i = 0; i < StepSeqText::Steps; ++i) {
        p[static_cast<size_t>(2 + 2 * i)] = 6;
        p[static_cast<size_t>(StepSeqText::levelAt(i))] = static_cast<char>(level(i) + 1);
    }
    return p;
}
std::string plainPattern(int level = 64)
{
    return pattern(0, 16, [level](int) { return level; });
}
int levelIn(const std::string& p, int step)
{
    return static_cast<unsigned char>(p[static_cast<size_t>(StepSeqText::levelAt(step))]) - 1;
}

constexpr CColor TextColour{250, 250, 250, 255};
constexpr CColor MarkerActive{255, 0, 0, 255};
constexpr CColor MarkerOther{0, 0, 255, 255};

// The product's one grid: 4 columns of 8 rows, 16 px margin, 2-frame marker;
// cells of 80 x 20 at (10, 10).
struct GridRig
{
    static constexpr int Tag = 300;
    GestureEditor editor;
    EditRecorder listener;
    CFrame* frame = new CFrame(CRect(0, 0, 400, 200), nullptr, &editor);
    CBitmap* background = new CBitmap(320, 160);
    CBitmap* marker = ControlTest::solidPicture(8, 20, {MarkerActive, MarkerOther});
    CStepSeqVx* grid;
    explicit GridRig(bool withBackground = true)
        : grid(new CStepSeqVx(CRect(10, 10, 330, 170), &listener, Tag, withBackground ? background : nullptr, marker,
                              TextColour, 4, 8, 16, 2))
    {
        frame->addView(grid);
    }
    ~GridRig()
    {
        frame->forget();
        background->forget();
        marker->forget();
    }
    GridRig(const GridRig&) = delete;
    GridRig& operator=(const GridRig&) = delete;
    // The centre of a step's cell, moved by dy.
    CPoint at(int step, int dy = 0) const
    {
        return CPoint(10 + (step / 8) * 80 + 40, grid->cellCentreY(step) + dy);
    }
    CMouseEventResult press(CPoint p, long buttons) { return grid->onMouseDown(p, buttons); }
    CMouseEventResult move(CPoint p, long buttons) { return grid->onMouseMoved(p, buttons); }
    CMouseEventResult release(CPoint p) { return grid->onMouseUp(p, 0); }
};

} // namespace

TEST(CStepSeqVx, TakesOnlyWholePatterns)
{
    struct Case
    {
        const char* what;
        size_t length;
        bool taken;
    };
    const Case cases[] = {
        {"the pattern's own length", StepSeqText::Length, true},
        {"one short", StepSeqText::Length - 1, false},
        {"one long", StepSeqText::Length + 1, false},
        {"empty", 0, false},
    };
    for (const Case& c : cases) {
        GridRig rig;
        const std::string first = plainPattern(10);
        rig.grid->setText(first);
        std::string other = plainPattern(90);
        other.resize(c.length, 7);
        rig.grid->setDirty(false);
        rig.grid->setText(other);
        EXPECT_EQ(std::string(rig.grid->getShownPattern()), c.taken ? other : first) << c.what;
        EXPECT_EQ(rig.grid->isDirty(), c.taken) << c.what;
        EXPECT_EQ(rig.grid->getDisplayText(), c.taken ? other : first) << c.what;
    }
}

TEST(CStepSeqVx, EditsSetOneLevelClampedAndSendTheWholePattern)
{
    struct Case
    {
        const char* what;
        int step;
        int before;
        long buttons; // 0: the wheel
        int dy;       // from the cell's centre; the wheel: its distance
        int after;
    };
    const Case cases[] = {
        {"a plain click 9 px above the centre raises by 4 at once", 5, 60, kLButton, -9, 64},
        {"a plain click 9 px below lowers by 4 (toward zero)", 5, 60, kLButton, 9, 56},
        {"a command-click sets 100", 12, 3, kLButton | kControl, 7, 100},
        {"a command-click on a rest sets 100", 31, 0, kLButton | kControl, 0, 100},
        {"option above or on the centre steps up", 9, 40, kLButton | kAlt, 0, 41},
        {"option below steps down", 9, 40, kLButton | kAlt, 1, 39},
        {"above the tie stays a tie", 3, 128, 0, 1, 128},
        {"below a rest stays a rest", 3, 0, 0, -1, 0},
        {"the wheel up", 20, 127, 0, 1, 128},
        {"a click on the cell's top edge raises by 5", 0, 120, kLButton, -10, 125},
    };
    for (const Case& c : cases) {
        GridRig rig;
        const std::string shown = pattern(0, 32, [&](int i) { return i == c.step ? c.before : 64; });
        rig.grid->setText(shown);
        if (c.buttons == 0) {
            rig.grid->onWheel(rig.at(c.step), static_cast<float>(c.dy), 0);
        } else {
            rig.press(rig.at(c.step, c.dy), c.buttons);
            rig.release(rig.at(c.step, c.dy));
        }
        ASSERT_EQ(rig.listener.texts.size(), 1u) << c.what;
        const std::string& sent = rig.listener.texts[0];
        ASSERT_EQ(sent.size(), shown.size()) << c.what;
        EXPECT_EQ(levelIn(sent, c.step), c.after) << c.what;
        std::string expected = shown;
        expected[static_cast<size_t>(StepSeqText::levelAt(c.step))] = static_cast<char>(c.after + 1);
        EXPECT_EQ(sent, expected) << c.what << ": only that level changes";
        EXPECT_EQ(std::string(rig.grid->getShownPattern()), shown)
            << c.what << ": the shown pattern waits for the parameter";
        EXPECT_EQ(rig.editor.begins.size(), 0u) << c.what << ": the grid opens no gesture";
    }
}

TEST(CStepSeqVx, StepsRunDownEachColumnThenAcross)
{
    GridRig rig;
    rig.grid->setText(plainPattern());
    struct Case
    {
        CPoint where;
        int step;
    };
    const Case cases[] = {{{11, 11}, 0}, {{89, 169}, 7}, {{90, 11}, 8}, {{200, 75}, 19}, {{329, 169}, 31}};
    for (const Case& c : cases)
        EXPECT_EQ(rig.grid->stepAt(c.where), c.step) << c.where.h << "," << c.where.v;
}

TEST(CStepSeqVx, DragMovesTwoPixelsPerLevelFromThePressedCell)
{
    GridRig rig;
    rig.grid->setText(plainPattern(50));
    const CPoint centre = rig.at(10);
    rig.press(centre, kLButton);
    rig.move(CPoint(centre.h + 200, centre.v - 30), kLButton); // another column: still step 10
    rig.move(CPoint(centre.h, centre.v + 41), kLButton);
    rig.move(CPoint(centre.h, centre.v - 5), 0); // no button: not handled, nothing sent
    rig.release(centre);
    ASSERT_EQ(rig.listener.texts.size(), 3u);
    EXPECT_EQ(levelIn(rig.listener.texts[0], 10), 50);
    EXPECT_EQ(levelIn(rig.listener.texts[1], 10), 65);
    EXPECT_EQ(levelIn(rig.listener.texts[2], 10), 30);
}

TEST(CStepSeqVx, OptionClickRepeatsTheSameStepEvery200Ms)
{
    ManualClock clock;
    GridRig rig;
    rig.grid->setText(plainPattern(70));
    const CPoint centre = rig.at(4);
    EXPECT_EQ(rig.press(CPoint(centre.h, centre.v - 3), kLButton | kAlt), kMouseEventHandled);
    EXPECT_TRUE(rig.grid->isRepeating());
    clock.advance(199);
    rig.frame->fireTimers();
    EXPECT_EQ(rig.listener.texts.size(), 1u);
    clock.advance(1);
    rig.frame->fireTimers();
    // The mouse crosses the centre: the next tick steps down from the start.
    rig.move(CPoint(centre.h, centre.v + 4), kLButton);
    clock.advance(200);
    rig.frame->fireTimers();
    ASSERT_EQ(rig.listener.texts.size(), 3u);
    EXPECT_EQ(levelIn(rig.listener.texts[0], 4), 71);
    EXPECT_EQ(levelIn(rig.listener.texts[1], 4), 71) << "each tick sets the same one-step change";
    EXPECT_EQ(levelIn(rig.listener.texts[2], 4), 69);
    rig.release(centre);
    EXPECT_FALSE(rig.grid->isRepeating());
    clock.advance(1000);
    rig.frame->fireTimers();
    EXPECT_EQ(rig.listener.texts.size(), 3u);
}

TEST(CStepSeqVx, SendsNothingBeforeItHasAPattern)
{
    GridRig rig;
    rig.press(rig.at(2), kLButton);
    rig.release(rig.at(2));
    rig.grid->onWheel(rig.at(2), 1.f, 0);
    EXPECT_EQ(rig.listener.notices, 0);
}

TEST(CStepSeqVx, DrawsLevelsBrightWithinTheStepCountAndMarksThePlayingStep)
{
    // Character 1 = 17: steps 0..15 in the text colour, 16..31 dimmed.
    GridRig rig;
    rig.grid->setText(pattern(5, 16, [](int i) { return i % 3 == 0 ? 0 : (i % 3 == 1 ? 128 : 7 + i); }));
    Canvas canvas(340, 180);
    canvas.draw(rig.grid);
    EXPECT_FALSE(rig.grid->isDirty());
    for (int step = 0; step < 32; ++step) {
        const int x0 = 10 + (step / 8) * 80 + 16 + 8; // after margin and marker
        const int y0 = 10 + (step % 8) * 20;
        int brightest = 0;
        for (int y = y0; y < y0 + 20; ++y)
            for (int x = x0; x < x0 + 80 - 16 - 8 - 5; ++x)
                brightest = std::max(brightest, int(canvas.at(x, y).red));
        if (step < 16)
            EXPECT_GT(brightest, 180) << "step " << step << " in the text colour";
        else
            EXPECT_TRUE(brightest > 40 && brightest <= 125) << "step " << step << " dimmed: " << brightest;
        const CColor m = canvas.at(10 + (step / 8) * 80 + 16 + 3, y0 + 5);
        EXPECT_TRUE(ControlTest::sameColour(m, step == 5 ? MarkerActive : MarkerOther)) << "marker of step " << step;
    }
    EXPECT_TRUE(ControlTest::sameColour(rig.grid->getDimmedColor(), CColor{125, 125, 125, 255}));
}

TEST(CStepSeqVx, LevelTexts)
{
    struct Case
    {
        int level;
        const char* text;
    };
    const Case cases[] = {{0, "Off"}, {128, "Tie"}, {1, "001"}, {42, "042"}, {127, "127"}};
    for (const Case& c : cases) {
        char text[8];
        StepSeqText::levelText(c.level, text);
        EXPECT_STREQ(text, c.text);
    }
}

TEST(CStepSeqVx, DrawsNothingWithoutBackgroundOrPattern)
{
    for (const bool withBackground : {false, true}) {
        GridRig rig(withBackground);
        if (!withBackground)
            rig.grid->setText(plainPattern());
        Canvas canvas(340, 180);
        canvas.draw(rig.grid);
        for (int y = 0; y < 180; y += 3)
            for (int x = 0; x < 340; x += 3)
                ASSERT_TRUE(ControlTest::sameColour(canvas.at(x, y), CColor{0, 0, 0, 255}))
                    << (withBackground ? "no pattern" : "no background") << " at " << x << "," << y;
    }
}

// ------------------------------------------------------------- step bar

namespace {
constexpr CColor Off{40, 40, 40, 255};
constexpr CColor On{255, 200, 0, 255};

// Two bars of 16 steps as the gate page has them: each step 10 x 12.
struct BarRig
{
    static constexpr int Tag = 369;
    GestureEditor editor;
    EditRecorder listener;
    CFrame* frame = new CFrame(CRect(0, 0, 300, 100), nullptr, &editor);
    CBitmap* picture = ControlTest::solidPicture(10, 24, {Off, On});
    COnOffBar* bar = new COnOffBar(CRect(20, 30, 180, 42), &listener, Tag, picture, 16);
    BarRig() { frame->addView(bar); }
    ~BarRig()
    {
        frame->forget();
        picture->forget();
    }
    BarRig(const BarRig&) = delete;
    BarRig& operator=(const BarRig&) = delete;
    CMouseEventResult click(int x)
    {
        CPoint p(x, 35);
        return bar->onMouseDown(p, kLButton);
    }
};
} // namespace

TEST(COnOffBar, AClickTogglesOneStepInOneGesture)
{
    struct Case
    {
        const char* what;
        std::string text;
        int x;
        const char* sent; // null: nothing sent
    };
    const Case cases[] = {
        {"step 3 of the alternating pattern", "1010101010101010", 20 + 35, "1011101010101010"},
        {"an on step goes off", "1010101010101010", 20 + 5, "0010101010101010"},
        {"left of the bar: step 0", "0000000000000000", 0, "1000000000000000"},
        {"right of the bar: the last step", "0000000000000000", 250, "0000000000000001"},
        {"a text one short is not shown and not edited", "101010101010101", 55, nullptr},
        {"a text one long is not shown and not edited", "10101010101010101", 55, nullptr},
    };
    for (const Case& c : cases) {
        BarRig rig;
        rig.bar->setText(c.text);
        EXPECT_EQ(rig.click(c.x), kMouseDownEventHandledButDontNeedMovedOrUpEvents) << c.what;
        if (!c.sent) {
            EXPECT_EQ(rig.listener.notices, 0) << c.what;
            EXPECT_EQ(rig.editor.begins[BarRig::Tag], 0) << c.what;
            continue;
        }
        ASSERT_EQ(rig.listener.texts.size(), 1u) << c.what;
        EXPECT_EQ(rig.listener.texts[0], c.sent) << c.what;
        EXPECT_EQ(rig.bar->getDisplayText(), c.text) << c.what << ": shown until the parameter comes back";
        EXPECT_EQ(rig.editor.begins[BarRig::Tag], 1) << c.what;
        EXPECT_EQ(rig.editor.ends[BarRig::Tag], 1) << c.what;
    }
}

TEST(COnOffBar, DrawsOffAndOnPicturesPerStepOnlyForAWholeText)
{
    BarRig rig;
    EXPECT_EQ(rig.bar->getType(), COnOffBar::Kind);
    rig.bar->setText(std::string("1100000000000001"));
    Canvas canvas(200, 60);
    canvas.draw(rig.bar);
    for (int i = 0; i < 16; ++i) {
        const bool on = i < 2 || i == 15;
        EXPECT_TRUE(ControlTest::sameColour(canvas.at(20 + i * 10 + 5, 36), on ? On : Off)) << "step " << i;
    }
    BarRig wrong;
    wrong.bar->setText(std::string("11"));
    Canvas blank(200, 60);
    blank.draw(wrong.bar);
    EXPECT_TRUE(ControlTest::sameColour(blank.at(25, 36), CColor{0, 0, 0, 255}));
}

TEST(PatternControls, GeometrySmallerThanItsCellsStaysDefined)
{
    EditRecorder listener;
    CBitmap* background = new CBitmap(4, 4);
    CStepSeqVx grid(CRect(0, 0, 3, 3), &listener, 1, background, nullptr, TextColour, 4, 8, 16, 2);
    grid.setText(plainPattern(10));
    CPoint p(2, 2);
    grid.onMouseDown(p, kLButton);
    grid.onMouseUp(p, 0);
    EXPECT_EQ(grid.stepAt(p), 2 * 8 + 2) << "cells of one pixel";
    COnOffBar bar(CRect(0, 0, 5, 4), &listener, 2, nullptr, 16);
    bar.setText(std::string(16, '0'));
    bar.onMouseDown(p, kLButton);
    EXPECT_EQ(listener.texts.back(), "0010000000000000");
    Canvas canvas(8, 8);
    canvas.draw(&grid);
    canvas.draw(&bar);
    background->forget();
}
