#include "ControlTestRig.h"
#include "EditRecorder.h"
#include "GuiTestViews.h"
#include "MapTestEngine.h"
#include "TouchControls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using ControlTest::Canvas;
using ControlTest::EditRecorder;
using ControlTest::GestureEditor;
using ControlTest::sameColour;
using GuiTest::ManualClock;

namespace {

// Records the commands the instrument gets, with the clock's time.
struct CommandEngine : RegistryTest::MapTestEngine
{
    struct Sent
    {
        int64_t at;
        int command, index, value;
    };
    bool processGUICmd(int command, int index, int value, void*) override
    {
        sent.push_back({GuiClock::nowMs(), command, index, value});
        return true;
    }
    std::vector<Sent> sent;
};

constexpr CColor Released{30, 30, 30, 255};
constexpr CColor Pressed{200, 60, 60, 255};

struct TouchRig
{
    static constexpr int Tag = 500;
    ManualClock clock;
    CommandEngine engine;
    GestureEditor editor;
    EditRecorder listener;
    CFrame* frame = new CFrame(CRect(0, 0, 200, 100), nullptr, &editor);
    CBitmap* picture = ControlTest::solidPicture(40, 40, {Released, Pressed});
    CTouchAreaVx* area;
    TouchRig(bool repeat, bool withEngine = true)
        : area(new CTouchAreaVx(CRect(10, 10, 50, 30), &listener, Tag, withEngine ? &engine : nullptr, 7, 2, 11,
                                repeat, picture))
    {
        frame->addView(area);
    }
    ~TouchRig()
    {
        frame->forget();
        picture->forget();
    }
    TouchRig(const TouchRig&) = delete;
    TouchRig& operator=(const TouchRig&) = delete;
    // Runs the clock on millisecond by millisecond, firing due timers.
    void run(int ms)
    {
        for (int i = 0; i < ms; ++i) {
            clock.advance(1);
            frame->fireTimers();
        }
    }
    std::vector<int64_t> sendTimes(int64_t from) const
    {
        std::vector<int64_t> t;
        for (const auto& s : engine.sent)
            t.push_back(s.at - from);
        return t;
    }
    CColor face()
    {
        Canvas canvas(60, 40);
        canvas.draw(area);
        return canvas.at(30, 20);
    }
};

} // namespace

TEST(CTouchAreaVx, AClickSendsOnceAndShowsThePressedFaceFor500Ms)
{
    TouchRig rig(false);
    const int64_t t0 = GuiClock::nowMs();
    CPoint p(20, 20);
    EXPECT_EQ(rig.area->onMouseDown(p, kLButton), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    ASSERT_EQ(rig.engine.sent.size(), 1u);
    EXPECT_EQ(rig.engine.sent[0].command, 7);
    EXPECT_EQ(rig.engine.sent[0].index, 2);
    EXPECT_EQ(rig.engine.sent[0].value, 11);
    EXPECT_TRUE(sameColour(rig.face(), Pressed));
    EXPECT_EQ(rig.area->onMouseMoved(p, kLButton), kMouseEventNotHandled) << "no repeat: moves are not taken";
    rig.run(499);
    EXPECT_TRUE(rig.area->isPressed());
    rig.run(1);
    EXPECT_FALSE(rig.area->isPressed());
    EXPECT_TRUE(rig.area->isDirty());
    EXPECT_TRUE(sameColour(rig.face(), Released));
    rig.run(2000);
    EXPECT_EQ(rig.sendTimes(t0), std::vector<int64_t>{0});
    EXPECT_EQ(rig.editor.begins.size(), 0u) << "a command is no parameter gesture";
}

TEST(CTouchAreaVx, HeldItRepeatsAtFallingPeriodsDownTo200Ms)
{
    TouchRig rig(true);
    const int64_t t0 = GuiClock::nowMs();
    CPoint p(20, 20);
    EXPECT_EQ(rig.area->onMouseDown(p, kLButton), kMouseEventHandled);
    EXPECT_EQ(rig.area->onMouseMoved(p, kLButton), kMouseEventHandled);
    rig.run(3000);
    // Gaps 600, 560, 520, 480, 440, 400.
    EXPECT_EQ(rig.sendTimes(t0), (std::vector<int64_t>{0, 600, 1160, 1680, 2160, 2600, 3000}));
    rig.run(3000);
    // Then 360, 320, 280, 240 and 200 from there on.
    EXPECT_EQ(rig.sendTimes(t0), (std::vector<int64_t>{0, 600, 1160, 1680, 2160, 2600, 3000, 3360, 3680, 3960, 4200,
                                                        4400, 4600, 4800, 5000, 5200, 5400, 5600, 5800, 6000}));
    EXPECT_EQ(rig.area->getRepeatPeriod(), CTouchAreaVx::FastestRepeatMs);
    EXPECT_TRUE(sameColour(rig.face(), Pressed));
    rig.area->onMouseUp(p, 0);
    EXPECT_FALSE(rig.area->isPressed());
    EXPECT_FALSE(rig.area->isHeld());
    rig.run(1000);
    EXPECT_EQ(rig.engine.sent.size(), 20u) << "the release ends the repeat";

    // A new hold starts again from 600 ms.
    const int64_t t1 = GuiClock::nowMs();
    rig.area->onMouseDown(p, kLButton);
    rig.run(1200);
    rig.area->onMouseUp(p, 0);
    const auto times = rig.sendTimes(t1);
    EXPECT_EQ(std::vector<int64_t>(times.end() - 3, times.end()), (std::vector<int64_t>{0, 600, 1160}));
}

TEST(CTouchAreaVx, WithoutEngineOrPictureNothingIsSentOrDrawn)
{
    TouchRig rig(true, false);
    CPoint p(20, 20);
    rig.area->onMouseDown(p, kLButton);
    rig.run(1000);
    rig.area->onMouseUp(p, 0);
    EXPECT_TRUE(rig.engine.sent.empty());

    CTouchAreaVx bare(CRect(0, 0, 20, 20), nullptr, 1, nullptr, 1, 0, 0, false, nullptr);
    Canvas canvas(20, 20);
    canvas.draw(&bare);
    EXPECT_TRUE(sameColour(canvas.at(10, 10), CColor{0, 0, 0, 255}));
}

// ----------------------------------------------------------------- XY pad

namespace {
constexpr CColor Line{250, 250, 0, 255};
constexpr CColor Fade{0, 0, 100, 255};

// A 150 x 150 pad at (10, 10) editing parameters 20 (x) and 21 (y).
struct PadRig
{
    GestureEditor editor;
    EditRecorder listener;
    CFrame* frame = new CFrame(CRect(0, 0, 200, 200), nullptr, &editor);
    CBitmap* background = ControlTest::solidPicture(200, 200, {CColor{10, 10, 10, 255}});
    CXYVx* pad = new CXYVx(CRect(10, 10, 160, 160), &listener, 20, background, Line, Fade);
    PadRig(float x, float y)
    {
        pad->setEditIdx(1, 21);
        pad->setValue(20, x);
        pad->setValue(21, y);
        frame->addView(pad);
    }
    ~PadRig()
    {
        frame->forget();
        background->forget();
    }
    PadRig(const PadRig&) = delete;
    PadRig& operator=(const PadRig&) = delete;
    void drag(std::vector<CPoint> path, long buttons = kLButton)
    {
        pad->onMouseDown(path[0], buttons);
        for (size_t i = 1; i < path.size(); ++i)
            pad->onMouseMoved(path[i], buttons);
        pad->onMouseUp(path.back(), 0);
    }
};
} // namespace

TEST(CXYVx, DragsMoveBothParametersAt150PixelsPerRange)
{
    struct Case
    {
        const char* what;
        float x0, y0;
        CPoint by;
        float x, y; // -1: not sent
    };
    const Case cases[] = {
        {"300 px right from 0.2 reaches 1 and stays there", 0.2f, 0.5f, {300, 0}, 1.f, -1.f},
        {"up raises y", 0.5f, 0.2f, {0, -30}, -1.f, 0.2f + 30 * CXYVx::PerPixel},
        {"down and left lower both", 0.5f, 0.5f, {-15, 45}, 0.5f - 15 * CXYVx::PerPixel,
         0.5f - 45 * CXYVx::PerPixel},
        {"far down stops at 0", 0.5f, 0.1f, {0, 400}, -1.f, 0.f},
    };
    for (const Case& c : cases) {
        PadRig rig(c.x0, c.y0);
        const CPoint down(50, 80);
        const CPoint end(down.h + c.by.h, down.v + c.by.v);
        rig.drag({down, CPoint(down.h + c.by.h / 2, down.v + c.by.v / 2), end, end});
        if (c.x >= 0.f) {
            EXPECT_NEAR(rig.listener.last(20), c.x, 1e-5) << c.what;
        }
        if (c.y >= 0.f) {
            EXPECT_NEAR(rig.listener.last(21), c.y, 1e-5) << c.what;
        } else {
            EXPECT_EQ(rig.listener.last(21), -1.f) << c.what << ": y is not sent";
        }
        for (const int index : {20, 21}) {
            EXPECT_EQ(rig.editor.begins[index], 1) << c.what << " " << index;
            EXPECT_EQ(rig.editor.ends[index], 1) << c.what << " " << index;
        }
    }
}

TEST(CXYVx, SendsXBeforeYAndOpensNoGestureWithoutAPress)
{
    PadRig rig(0.5f, 0.5f);
    rig.drag({CPoint(50, 50), CPoint(80, 20)});
    ASSERT_EQ(rig.listener.changes.size(), 2u);
    EXPECT_EQ(rig.listener.changes[0].index, 20);
    EXPECT_EQ(rig.listener.changes[1].index, 21);
    EXPECT_EQ(rig.listener.notices, 2) << "one notice per changed slot";

    rig.pad->releaseMouse();
    EXPECT_EQ(rig.editor.ends[20], 1) << "a release without a press ends no gesture";
    CPoint p(60, 60);
    EXPECT_EQ(rig.pad->onMouseMoved(p, kLButton), kMouseEventNotHandled);
    EXPECT_EQ(rig.listener.notices, 2);
    EXPECT_TRUE(rig.pad->onWheel(p, 1.f, 0));
    EXPECT_EQ(rig.listener.notices, 2) << "the pad takes no wheel steps";
}

TEST(CXYVx, DrawsAFadingCrossHairAtTheValues)
{
    PadRig rig(0.5f, 0.25f);
    const CPoint c = rig.pad->crossPoint();
    EXPECT_EQ(c.h, 10 + 74);
    EXPECT_EQ(c.v, 160 - 37 - 1);
    CColor fades[4];
    rig.pad->fadeColours(fades);
    EXPECT_TRUE(sameColour(fades[0], CColor{50, 50, 80, 255})); // 0.2 line + 0.8 fade
    EXPECT_TRUE(sameColour(fades[3], CColor{200, 200, 20, 255}));
    Canvas canvas(200, 200);
    canvas.draw(rig.pad);
    struct Probe
    {
        int distance;
        CColor colour;
    };
    // Segments of half-lengths 28, 25, 22, 18 and 14, longest first, ends included.
    const Probe probes[] = {{0, Line},       {14, Line},      {15, fades[3]}, {18, fades[3]},
                            {19, fades[2]},  {22, fades[2]},  {23, fades[1]}, {25, fades[1]},
                            {26, fades[0]},  {28, fades[0]},  {29, CColor{10, 10, 10, 255}}};
    for (const Probe& p : probes) {
        EXPECT_TRUE(sameColour(canvas.at(c.h, c.v - p.distance), p.colour)) << "above by " << p.distance;
        EXPECT_TRUE(sameColour(canvas.at(c.h, c.v + p.distance), p.colour)) << "below by " << p.distance;
        EXPECT_TRUE(sameColour(canvas.at(c.h + p.distance, c.v), p.colour)) << "right by " << p.distance;
        EXPECT_TRUE(sameColour(canvas.at(c.h - p.distance, c.v), p.colour)) << "left by " << p.distance;
    }
    EXPECT_TRUE(sameColour(canvas.at(12, 12), CColor{10, 10, 10, 255})) << "the background, opaque";
}

// ---------------------------------------------------------------- 5.1 map

namespace {
// Seven rows on a 140 x 100 field at (20, 20); dots 10 x 8 (travel 130 x 92).
// Row k edits 100 + 3k (x), 101 + 3k (y), 102 + 3k (on).
struct MapRig
{
    static constexpr int Rows = 7;
    GestureEditor editor;
    EditRecorder listener;
    CFrame* frame = new CFrame(CRect(0, 0, 200, 200), nullptr, &editor);
    CBitmap* dots;
    C51Map* map;
    static CColor dotColour(int k) { return CColor{static_cast<uint8_t>(30 * (k + 1)), 200, 50, 255}; }
    MapRig()
    {
        std::vector<CColor> colours;
        for (int k = 0; k < Rows; ++k)
            colours.push_back(dotColour(k));
        dots = ControlTest::solidPicture(10, 8 * Rows, colours);
        map = new C51Map(CRect(20, 20, 160, 120), &listener, 100, dots, Rows);
        for (int slot = 1; slot < 3 * Rows; ++slot)
            map->setEditIdx(slot, 100 + slot);
        frame->addView(map);
    }
    ~MapRig()
    {
        frame->forget();
        dots->forget();
    }
    MapRig(const MapRig&) = delete;
    MapRig& operator=(const MapRig&) = delete;
    void place(int k, float x, float y, bool on = true)
    {
        map->setValue(100 + 3 * k, x);
        map->setValue(101 + 3 * k, y);
        map->setValue(102 + 3 * k, on ? 1.f : 0.f);
    }
    // The point of row k's dot's top-left corner.
    CPoint corner(float x, float y) const
    {
        return CPoint(20 + static_cast<int>(130 * x), 20 + static_cast<int>(92 * y));
    }
};
} // namespace

TEST(C51Map, CommandClickCentresTheNearestShownDot)
{
    struct Case
    {
        const char* what;
        std::vector<int> on; // rows switched on
        CPoint click;
        int centred; // -1: none
    };
    const Case cases[] = {
        {"the nearest corner wins", {0, 1, 2}, {20 + 120, 20 + 80}, 2},
        {"a switched-off row is never picked", {0, 1}, {20 + 120, 20 + 80}, 1},
        {"on a tie the lowest row wins", {3, 4}, {20 + 65, 20 + 28}, 3},
        {"with no row on nothing moves", {}, {30, 30}, -1},
    };
    for (const Case& c : cases) {
        MapRig rig;
        // Rows 3 and 4 mirror each other about the middle; no row sits at the centre.
        const float spots[MapRig::Rows][2] = {{0.f, 0.f}, {0.6f, 0.45f}, {0.9f, 0.85f}, {0.2f, 0.3f},
                                              {0.8f, 0.3f}, {0.1f, 0.9f}, {0.9f, 0.1f}};
        for (int k = 0; k < MapRig::Rows; ++k)
            rig.place(k, spots[k][0], spots[k][1],
                      std::find(c.on.begin(), c.on.end(), k) != c.on.end());
        CPoint p = c.click;
        EXPECT_EQ(rig.map->onMouseDown(p, kLButton | kControl), kMouseDownEventHandledButDontNeedMovedOrUpEvents)
            << c.what;
        EXPECT_FALSE(rig.map->isTracking()) << c.what << ": the click ends there";
        if (c.centred < 0) {
            EXPECT_TRUE(rig.listener.changes.empty()) << c.what;
            continue;
        }
        ASSERT_EQ(rig.listener.changes.size(), 2u) << c.what;
        EXPECT_EQ(rig.listener.changes[0].index, 100 + 3 * c.centred) << c.what;
        EXPECT_EQ(rig.listener.changes[1].index, 101 + 3 * c.centred) << c.what;
        EXPECT_FLOAT_EQ(rig.listener.changes[0].value, 0.5f) << c.what;
        EXPECT_FLOAT_EQ(rig.listener.changes[1].value, 0.5f) << c.what;
    }
}

TEST(C51Map, AGrabbedDotMovesWithoutAJumpInOneGesture)
{
    MapRig rig;
    rig.place(0, 0.f, 0.f);
    rig.place(1, 0.4f, 0.6f);
    rig.place(2, 0.4f, 0.6f, false);
    // Grab row 1 off its centre: 7 px right of and 1 px above its top-left corner.
    const CPoint corner = rig.corner(0.4f, 0.6f);
    CPoint grab(corner.h + 7, corner.v - 1);
    EXPECT_EQ(rig.map->onMouseDown(grab, kLButton), kMouseEventHandled);
    EXPECT_EQ(rig.map->getActiveChannel(), 1);
    EXPECT_TRUE(rig.listener.changes.empty()) << "taking the dot does not move it";
    CPoint to(grab.h + 13, grab.v - 23);
    rig.map->onMouseMoved(to, kLButton);
    ASSERT_EQ(rig.listener.changes.size(), 2u);
    EXPECT_NEAR(rig.listener.last(103), 0.4f + 13.f / 130.f, 1e-5);
    EXPECT_NEAR(rig.listener.last(104), 0.6f - 23.f / 92.f, 1e-5);
    CPoint far(500, -300);
    rig.map->onMouseMoved(far, kLButton);
    EXPECT_FLOAT_EQ(rig.listener.last(103), 1.f);
    EXPECT_FLOAT_EQ(rig.listener.last(104), 0.f);
    rig.map->onMouseUp(far, 0);
    for (const int index : {103, 104}) {
        EXPECT_EQ(rig.editor.begins[index], 1) << index;
        EXPECT_EQ(rig.editor.ends[index], 1) << index;
    }
    EXPECT_EQ(rig.editor.begins.size(), 2u) << "only the dragged row's positions";
    rig.map->releaseMouse();
    EXPECT_EQ(rig.editor.ends[103], 1) << "no stray end after the release";
}

TEST(C51Map, ADragOnAFieldWithoutShownDotsOrTheWheelMovesNothing)
{
    MapRig rig;
    rig.place(0, 0.3f, 0.3f, false);
    CPoint p(60, 50);
    rig.map->onMouseDown(p, kLButton);
    CPoint q(90, 70);
    rig.map->onMouseMoved(q, kLButton);
    rig.map->onMouseUp(q, 0);
    EXPECT_TRUE(rig.listener.changes.empty());
    EXPECT_TRUE(rig.editor.begins.empty());
    EXPECT_TRUE(rig.editor.ends.empty());

    rig.place(0, 0.3f, 0.3f);
    EXPECT_TRUE(rig.map->onWheel(CPoint(60, 50), 1.f, 0));
    EXPECT_EQ(rig.listener.notices, 0) << "the wheel moves no row";
}

TEST(C51Map, ValuesFromTheEngineSetTheUserValueOnlyWhileNotTracking)
{
    MapRig rig;
    rig.place(2, 0.3f, 0.3f);
    EXPECT_FLOAT_EQ(rig.map->getSlot(6).userValue, 0.3f);
    CPoint grab = rig.corner(0.3f, 0.3f);
    rig.map->onMouseDown(grab, kLButton);
    rig.map->setValue(106, 0.9f);
    EXPECT_FLOAT_EQ(rig.map->DispValue(6), 0.9f);
    EXPECT_FLOAT_EQ(rig.map->getSlot(6).userValue, 0.3f) << "the drag owns the user value";
    rig.map->onMouseUp(grab, 0);
    rig.map->setDirty(false);
    rig.map->setValue(106, 0.7f);
    EXPECT_FLOAT_EQ(rig.map->getSlot(6).userValue, 0.7f);
    EXPECT_TRUE(rig.map->isDirty());
}

TEST(C51Map, DrawsEachShownRowsDotAtItsPosition)
{
    MapRig rig;
    rig.place(0, 0.f, 0.f);
    rig.place(3, 1.f, 1.f);
    rig.place(5, 0.5f, 0.5f, false);
    Canvas canvas(200, 200);
    canvas.draw(rig.map);
    EXPECT_TRUE(sameColour(canvas.at(20 + 5, 20 + 4), MapRig::dotColour(0)));
    EXPECT_TRUE(sameColour(canvas.at(150 + 5, 112 + 4), MapRig::dotColour(3))) << "y 1 lies at the bottom";
    EXPECT_TRUE(sameColour(canvas.at(20 + 65 + 5, 20 + 46 + 4), CColor{0, 0, 0, 255})) << "row 5 is off";
    EXPECT_EQ(rig.map->getType(), kControlKindMulti);
}

TEST(TouchControls, DragsThroughTheFrameAcrossIdlesAreOneGestureEach)
{
    struct Case
    {
        const char* what;
        bool map;
        std::vector<int> indices;
    };
    const Case cases[] = {{"XY pad", false, {20, 21}}, {"5.1 map", true, {103, 104}}};
    for (const Case& c : cases) {
        PadRig pad(0.5f, 0.5f);
        MapRig map;
        map.place(1, 0.4f, 0.6f);
        GestureEditor& editor = c.map ? map.editor : pad.editor;
        CFrame* frame = c.map ? map.frame : pad.frame;
        const CPoint start = c.map ? map.corner(0.4f, 0.6f) : CPoint(60, 60);
        frame->platformMouseDown(start, kLButton);
        for (int step = 1; step <= 4; ++step) {
            frame->idle();
            frame->platformMouseMoved(CPoint(start.h + 6 * step, start.v - 4 * step), kLButton);
        }
        frame->idle();
        frame->platformMouseUp(CPoint(start.h + 24, start.v - 16), 0);
        frame->idle();
        EditRecorder& listener = c.map ? map.listener : pad.listener;
        for (const int index : c.indices) {
            EXPECT_EQ(editor.begins[index], 1) << c.what << " " << index;
            EXPECT_EQ(editor.ends[index], 1) << c.what << " " << index;
            EXPECT_GT(listener.last(index), 0.f) << c.what << " " << index;
        }
        EXPECT_EQ(listener.notices, c.map ? 4 : 8) << c.what << ": every move arrived";
    }
}
