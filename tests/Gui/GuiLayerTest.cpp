#include "CBitmap.h"
#include "CControl.h"
#include "CFrame.h"
#include "CVSTGUITimer.h"
#include "GuiKeys.h"
#include "GuiTestViews.h"
#include "VstInterface.h"

#include <gtest/gtest.h>

#include <string>

using GuiTest::Box;
using GuiTest::ManualClock;

namespace {
constexpr CColor Blue{0, 0, 255, 255};
constexpr CColor Green{0, 255, 0, 255};
constexpr CColor Grey{100, 100, 100, 255};

// An offscreen frame of 200 x 100 with a grey back colour.
struct OffscreenFrame
{
    CFrame* frame = new CFrame(CRect(0, 0, 200, 100), nullptr, nullptr);
    OffscreenFrame() { frame->setBackgroundColor(Grey); }
    ~OffscreenFrame() { frame->forget(); }
    OffscreenFrame(const OffscreenFrame&) = delete;
    OffscreenFrame& operator=(const OffscreenFrame&) = delete;
    CColor pixel(int x, int y) const { return frame->getBackBuffer()->getPixel(x, y); }
};

struct Listener : CControlListener
{
    void valueChanged(CControl* c) override
    {
        ++changes;
        last = c;
    }
    int changes = 0;
    CControl* last = nullptr;
};
} // namespace

TEST(GuiRect, Arithmetic)
{
    const CRect r(10, 20, 50, 60);
    struct Case
    {
        const char* what;
        CRect got;
        CRect want;
    };
    const Case cases[] = {
        {"offset moves both corners", CRect(r).offset(5, -5), CRect(15, 15, 55, 55)},
        {"moveTo keeps the size", CRect(r).moveTo(0, 0), CRect(0, 0, 40, 40)},
        {"inset shrinks both sides", CRect(r).inset(5, 10), CRect(15, 30, 45, 50)},
        {"bound is the overlap", CRect(r).bound(CRect(40, 0, 100, 30)), CRect(40, 20, 50, 30)},
        {"bound without overlap is empty", CRect(r).bound(CRect(50, 60, 70, 80)), CRect()},
        {"unite covers both", CRect(r).unite(CRect(0, 0, 5, 5)), CRect(0, 0, 50, 60)},
        {"unite ignores an empty side", CRect(r).unite(CRect()), r},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.got, c.want) << c.what;
    EXPECT_EQ(r.width(), 40);
    EXPECT_EQ(r.height(), 40);
    // Left and top edges are inside, right and bottom edges are not.
    EXPECT_TRUE(r.pointInside(CPoint(10, 20)));
    EXPECT_FALSE(r.pointInside(CPoint(50, 30)));
    EXPECT_FALSE(r.pointInside(CPoint(30, 60)));
    EXPECT_FALSE(r.rectOverlap(CRect(50, 20, 60, 30))) << "touching rectangles do not overlap";
}

TEST(GuiContainer, HitTestingTakesTheLastAddedFirstAndPassesLocalPoints)
{
    OffscreenFrame f;
    auto* panel = new CViewContainer(CRect(50, 10, 150, 90), f.frame);
    auto* under = new Box(CRect(0, 0, 60, 60));
    auto* over = new Box(CRect(20, 20, 80, 80));
    panel->addView(under);
    panel->addView(over);
    f.frame->addView(panel);

    EXPECT_EQ(f.frame->getViewAt(CPoint(80, 40), true), over) << "overlap: the later child wins";
    EXPECT_EQ(f.frame->getViewAt(CPoint(55, 15), true), under);
    EXPECT_EQ(f.frame->getViewAt(CPoint(80, 40), false), panel);
    EXPECT_EQ(f.frame->getViewAt(CPoint(10, 10), true), nullptr);

    // The press reaches the child in its parent's coordinates, and the drag
    // and release follow the view that took the press even outside it.
    f.frame->platformMouseDown(CPoint(80, 40), kLButton);
    ASSERT_EQ(over->presses.size(), 1u);
    EXPECT_EQ(over->presses[0], CPoint(30, 30));
    EXPECT_TRUE(under->presses.empty());
    f.frame->platformMouseMoved(CPoint(5, 5), kLButton);
    f.frame->platformMouseUp(CPoint(6, 6), kLButton);
    ASSERT_EQ(over->moves.size(), 1u);
    EXPECT_EQ(over->moves[0], CPoint(-45, -5));
    ASSERT_EQ(over->releases.size(), 1u);

    CPoint p(30, 30);
    over->localToFrame(p);
    EXPECT_EQ(p, CPoint(80, 40));
    over->frameToLocal(p);
    EXPECT_EQ(p, CPoint(30, 30));

    // A child that declines the press lets the one beneath take it.
    over->takesPress = false;
    f.frame->platformMouseDown(CPoint(80, 40), kLButton);
    EXPECT_EQ(under->presses.size(), 1u);
    f.frame->platformMouseUp(CPoint(80, 40), kLButton);
}

TEST(GuiContainer, ReAddingAViewMovesItAndRemovingWithoutReleaseKeepsIt)
{
    OffscreenFrame f;
    auto* a = new CViewContainer(CRect(0, 0, 50, 50), f.frame);
    auto* b = new CViewContainer(CRect(50, 0, 100, 50), f.frame);
    f.frame->addView(a);
    f.frame->addView(b);
    auto* box = new Box(CRect(0, 0, 10, 10));
    a->addView(box);
    b->addView(box);
    EXPECT_FALSE(a->isChild(box));
    EXPECT_TRUE(b->isChild(box));
    EXPECT_EQ(box->getParentView(), b);
    box->remember();
    b->removeView(box, true);
    EXPECT_EQ(box->getNbReference(), 1);
    EXPECT_EQ(box->getParentView(), nullptr);
    box->forget();
}

TEST(GuiDrawing, OffscreenPixelsAndDirtyPropagation)
{
    OffscreenFrame f;
    auto* panel = new CViewContainer(CRect(100, 0, 200, 100), f.frame);
    panel->setBackgroundColor(Green);
    auto* box = new Box(CRect(10, 10, 30, 30), Blue);
    auto* other = new Box(CRect(50, 50, 60, 60), kRedCColor);
    panel->addView(box);
    panel->addView(other);
    f.frame->addView(panel);

    f.frame->idle();
    struct Probe
    {
        int x, y;
        CColor want;
        const char* what;
    };
    const Probe probes[] = {
        {5, 5, Grey, "frame background"},
        {99, 50, Grey, "last column before the panel"},
        {100, 50, Green, "panel's first column"},
        {110, 10, Blue, "box's top-left corner, moved by the panel"},
        {129, 29, Blue, "box's last pixel"},
        {130, 30, Green, "just past the box"},
        {155, 55, kRedCColor, "second box"},
    };
    for (const Probe& p : probes)
        EXPECT_EQ(f.pixel(p.x, p.y), p.want) << p.what;
    EXPECT_FALSE(f.frame->isDirty());

    // One dirty child makes its containers dirty; the idle pass redraws that
    // child alone and leaves everything clean.
    const int otherDraws = other->draws;
    box->colour = kWhiteCColor;
    box->setDirty(true);
    EXPECT_TRUE(panel->isDirty());
    EXPECT_TRUE(f.frame->isDirty());
    f.frame->idle();
    EXPECT_EQ(f.pixel(115, 15), kWhiteCColor);
    EXPECT_EQ(other->draws, otherDraws) << "a clean sibling elsewhere is not redrawn";
    EXPECT_FALSE(f.frame->isDirty());

    // A sibling above a redrawn view stays on top.
    auto* cover = new Box(CRect(20, 20, 40, 40), kBlackCColor);
    panel->addView(cover);
    f.frame->idle();
    box->setDirty(true);
    f.frame->idle();
    EXPECT_EQ(f.pixel(125, 25), kBlackCColor) << "the cover over the redrawn box";
    EXPECT_EQ(f.pixel(115, 15), kWhiteCColor);
    panel->removeView(cover);

    // Removing a view repaints what it covered.
    panel->removeView(box);
    f.frame->idle();
    EXPECT_EQ(f.pixel(115, 15), Green);
}

TEST(GuiDrawing, ParamDisplayDrawsItsTextInItsColours)
{
    OffscreenFrame f;
    auto* display = new CParamDisplay(CRect(10, 10, 190, 90));
    display->setBackColor(kBlackCColor);
    display->setFontColor(kWhiteCColor);
    display->setFont(kNormalFontVeryBig);
    display->setText("MMMM");
    f.frame->addView(display);
    f.frame->idle();
    EXPECT_EQ(f.pixel(12, 12), kBlackCColor) << "the box's corner is back colour";
    // The text is centred: some pixel near the middle row is bright.
    int bright = 0;
    for (int x = 60; x < 140; ++x)
        bright += f.pixel(x, 50).red > 200 ? 1 : 0;
    EXPECT_GT(bright, 5);
}

namespace {
struct SelfDeletingListener : CBaseObject
{
    CVSTGUITimer* timer = nullptr;
    int fired = 0;
    CMessageResult notify(CBaseObject* sender, const char* message) override
    {
        if (sender == timer && std::string(message) == kMsgTimer) {
            ++fired;
            timer->forget(); // deleted inside its own notification
            timer = nullptr;
        }
        return kMessageNotified;
    }
};

struct CountingListener : CBaseObject
{
    int fired = 0;
    CMessageResult notify(CBaseObject*, const char*) override
    {
        ++fired;
        return kMessageNotified;
    }
};
} // namespace

TEST(GuiTimer, FiresByPeriodAndSurvivesDeletionInsideItsOwnNotify)
{
    ManualClock clock;
    OffscreenFrame f;
    SelfDeletingListener selfDeleting;
    CountingListener counting;
    selfDeleting.timer = new CVSTGUITimer(&selfDeleting, 50, f.frame);
    auto* steady = new CVSTGUITimer(&counting, 100, f.frame);
    EXPECT_TRUE(selfDeleting.timer->start());
    EXPECT_TRUE(steady->start());

    f.frame->fireTimers();
    EXPECT_EQ(selfDeleting.fired, 0) << "nothing is due before its period";
    clock.advance(100);
    f.frame->fireTimers();
    EXPECT_EQ(selfDeleting.fired, 1);
    EXPECT_EQ(counting.fired, 1) << "a timer after the deleted one still fires";
    clock.advance(100);
    f.frame->idle(); // the idle pass fires them too
    EXPECT_EQ(selfDeleting.fired, 1);
    EXPECT_EQ(counting.fired, 2);
    steady->stop();
    clock.advance(100);
    f.frame->fireTimers();
    EXPECT_EQ(counting.fired, 2) << "a stopped timer is quiet";
    steady->forget();
}

namespace {
// A view whose timer is made without a frame, as controls make theirs.
struct TimedBox : Box
{
    using Box::Box;
    CMessageResult notify(CBaseObject*, const char*) override
    {
        ++fired;
        return kMessageNotified;
    }
    int fired = 0;
};
} // namespace

TEST(GuiTimer, EachFrameFiresOnlyItsOwnTimers)
{
    ManualClock clock;
    OffscreenFrame a, b;
    CountingListener ofA, ofB;
    auto* timerA = new CVSTGUITimer(&ofA, 10, a.frame);
    auto* timerB = new CVSTGUITimer(&ofB, 10, b.frame);
    auto* box = new TimedBox(CRect(0, 0, 10, 10));
    b.frame->addView(box);
    auto* viewTimer = new CVSTGUITimer(box, 10);
    timerA->start();
    timerB->start();
    EXPECT_TRUE(viewTimer->start()) << "the listener's frame is the timer's";
    clock.advance(10);
    a.frame->idle();
    EXPECT_EQ(ofA.fired, 1);
    EXPECT_EQ(ofB.fired, 0) << "another editor's timer waits for its own idle pass";
    EXPECT_EQ(box->fired, 0);
    b.frame->idle();
    EXPECT_EQ(ofB.fired, 1);
    EXPECT_EQ(box->fired, 1);

    // A timer without a frame of its own or of its listener never runs.
    CountingListener lost;
    auto* orphan = new CVSTGUITimer(&lost, 10);
    EXPECT_FALSE(orphan->start());
    EXPECT_FALSE(orphan->isRunning());
    for (CVSTGUITimer* t : {timerA, timerB, viewTimer, orphan})
        t->forget();
}

TEST(GuiFrame, SecondPressOnTheSameViewWithinTheIntervalIsADoubleClick)
{
    ManualClock clock;
    OffscreenFrame f;
    f.frame->setDoubleClickInterval(400);
    auto* a = new Box(CRect(0, 0, 50, 50));
    auto* b = new Box(CRect(50, 0, 100, 50));
    f.frame->addView(a);
    f.frame->addView(b);
    struct Step
    {
        Box* view;
        int64_t after;
        bool doubleClick;
        const char* what;
    };
    const Step steps[] = {
        {a, 0, false, "first press"},
        {a, 300, true, "second within 400 ms"},
        {a, 100, false, "a third press starts anew"},
        {a, 500, false, "too late"},
        {b, 100, false, "another view"},
    };
    for (const Step& s : steps) {
        clock.advance(s.after);
        CPoint where = s.view->getViewSize().getTopLeft();
        where.offset(5, 5);
        f.frame->platformMouseDown(where, kLButton);
        f.frame->platformMouseUp(where, kLButton);
        EXPECT_EQ((s.view->lastButtons & kDoubleClick) != 0, s.doubleClick) << s.what;
    }
}

TEST(GuiTextEdit, TypingEditsAndReturnReports)
{
    OffscreenFrame f;
    Listener listener;
    auto* edit = new CTextEdit(CRect(10, 10, 110, 30), &listener, 3, "ab");
    f.frame->addView(edit);
    f.frame->platformMouseDown(CPoint(20, 20), kLButton);
    ASSERT_EQ(f.frame->getFocusView(), edit);
    VstKeyCode keys[] = {{'c', 0, 0}, {0, kVKeyBack, 0}, {0, kVKeyBack, 0}, {'x', 0, 0}, {0, kVKeyReturn, 0}};
    for (VstKeyCode& k : keys)
        EXPECT_EQ(f.frame->platformKeyDown(k), 1);
    EXPECT_STREQ(edit->getText(), "ax");
    EXPECT_EQ(listener.changes, 1);
    EXPECT_FALSE(edit->isEditing());
}
