#include "ControlTestRig.h"
#include "GuiTestViews.h"
#include "OsLib.h"

#include <gtest/gtest.h>

using ControlTest::Rig;
using GuiTest::ManualClock;

TEST(CControlVx, PressesByModifier)
{
    struct Case
    {
        const char* what;
        long buttons;
        CCoord x, y;
        CMouseEventResult result;
        float user;
        bool up, down, right, reset;
        bool stillPressed;
    };
    const Case cases[] = {
        {"left press sets the value at the point", kLButton, 30, 10, kMouseEventHandled, 0.3f, false, false, false,
         false, true},
        {"right press marks the right button", kRButton, 70, 10, kMouseEventHandled, 0.7f, false, false, true, false,
         true},
        {"command restores the default", kLButton | kControl, 30, 10,
         kMouseDownEventHandledButDontNeedMovedOrUpEvents, 0.5f, false, false, true, true, false},
        {"option in the upper half steps up", kLButton | kAlt, 30, 9, kMouseEventHandled, 0.f, true, false, true,
         false, true},
        {"option in the lower half steps down", kLButton | kAlt, 30, 10, kMouseEventHandled, 0.f, false, true, true,
         false, true},
    };
    for (const Case& c : cases) {
        Rig rig;
        EXPECT_EQ(rig.press(c.x, c.y, c.buttons), c.result) << c.what;
        ASSERT_EQ(rig.listener.notices.size(), 1u) << c.what;
        const auto& n = rig.listener.notices[0];
        EXPECT_FLOAT_EQ(n.user, c.user) << c.what;
        EXPECT_EQ(n.up, c.up) << c.what;
        EXPECT_EQ(n.down, c.down) << c.what;
        EXPECT_EQ(n.right, c.right) << c.what;
        EXPECT_EQ(n.reset, c.reset) << c.what;
        EXPECT_EQ(rig.listener.touches, std::vector<bool>{(c.buttons & kRButton) != 0}) << c.what;
        EXPECT_EQ(rig.control->isMouseDown(), c.stillPressed) << c.what;
        EXPECT_EQ(rig.frame->getFocusView(), rig.control) << c.what;
        rig.release(c.x, c.y);
        EXPECT_EQ(rig.begins(), 1) << c.what;
        EXPECT_EQ(rig.ends(), 1) << c.what;
    }
}

TEST(CControlVx, DragFollowsThePointFinelyWithShiftAndReportsOnlyChanges)
{
    Rig rig;
    rig.press(20, 5, kLButton);
    rig.move(40, 5, kLButton | kShift);
    EXPECT_TRUE(rig.control->lastFine);
    rig.move(40, 15, kLButton); // same value: nothing to report
    rig.move(250, 5, kLButton);  // clamped to 1
    rig.move(60, 5, 0);          // no button: ignored
    ASSERT_EQ(rig.listener.notices.size(), 3u);
    EXPECT_FLOAT_EQ(rig.listener.notices[1].user, 0.4f);
    EXPECT_FLOAT_EQ(rig.listener.notices[2].user, 1.f);
    EXPECT_EQ(rig.release(60, 5), kMouseEventHandled);
    EXPECT_EQ(rig.release(60, 5), kMouseEventNotHandled) << "no press in progress";
    EXPECT_EQ(rig.move(60, 5, kLButton), kMouseEventNotHandled);
    EXPECT_EQ(rig.ends(), 1);
}

TEST(CControlVx, InvertedControlShowsAndStepsTheOtherWay)
{
    Rig rig;
    rig.control->setInverted(true);
    rig.control->setValue(0.25f);
    EXPECT_FLOAT_EQ(rig.control->DispValue(), 0.75f);
    rig.press(30, 10, kLButton);
    EXPECT_FLOAT_EQ(rig.listener.notices.back().user, 0.7f) << "drawing direction 0.3 is parameter value 0.7";
    rig.release(30, 10);
}

TEST(CControlVx, WheelStepsOnceByDirectionAndKind)
{
    struct Case
    {
        const char* what;
        tControlType kind;
        bool inverted;
        float distance;
        bool notified, up, down;
    };
    const Case cases[] = {
        {"up", 5, false, 3.f, true, true, false},
        {"down", 5, false, -1.f, true, false, true},
        {"inverted up steps down", 5, true, 1.f, true, false, true},
        {"no kind ignores the wheel", 0, false, 1.f, false, false, false},
        {"pad ignores the wheel", kControlKindPad, false, 1.f, false, false, false},
        {"keyboard ignores the wheel", kControlKindKeyboard, false, 1.f, false, false, false},
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.control->setType(c.kind);
        rig.control->setInverted(c.inverted);
        EXPECT_TRUE(rig.control->onWheel(CPoint(5, 5), c.distance, 0)) << c.what;
        ASSERT_EQ(rig.listener.notices.size(), c.notified ? 1u : 0u) << c.what;
        if (!c.notified)
            continue;
        EXPECT_EQ(rig.listener.notices[0].up, c.up) << c.what;
        EXPECT_EQ(rig.listener.notices[0].down, c.down) << c.what;
        EXPECT_EQ(rig.begins(), 1) << c.what;
        EXPECT_EQ(rig.ends(), 1) << c.what;
    }
}

TEST(CControlVx, OptionClickRepeatsEvery200MsUntilRelease)
{
    ManualClock clock;
    Rig rig;
    rig.press(30, 15, kLButton | kAlt);
    EXPECT_EQ(rig.listener.notices.size(), 1u);
    rig.move(80, 15, kLButton); // ignored while repeating
    clock.advance(199);
    rig.frame->fireTimers();
    EXPECT_EQ(rig.listener.notices.size(), 1u);
    clock.advance(1);
    rig.frame->fireTimers();
    clock.advance(200);
    rig.frame->fireTimers();
    ASSERT_EQ(rig.listener.notices.size(), 3u);
    for (const auto& n : rig.listener.notices)
        EXPECT_TRUE(n.down && !n.up);
    rig.release(30, 15);
    clock.advance(1000);
    rig.frame->fireTimers();
    EXPECT_EQ(rig.listener.notices.size(), 3u);
    EXPECT_EQ(rig.ends(), 1);
}

TEST(CControlVx, DoubleClicksOnAnInjectedClock)
{
    ManualClock clock;
    const int interval = OsLib_c::getDoubleClickTreshold();

    {
        SCOPED_TRACE("a single click waits out the interval, then acts at the stored point");
        Rig rig;
        rig.control->setDoubleClickEnable(true);
        EXPECT_EQ(rig.press(30, 5, kLButton), kMouseEventHandled);
        rig.release(30, 5);
        EXPECT_TRUE(rig.listener.notices.empty());
        EXPECT_EQ(rig.begins(), 1);
        EXPECT_EQ(rig.ends(), 0) << "the gesture stays open while the timer waits";
        clock.advance(interval + 1);
        rig.frame->fireTimers();
        ASSERT_EQ(rig.listener.notices.size(), 1u);
        EXPECT_FLOAT_EQ(rig.listener.notices[0].user, 0.3f);
        EXPECT_EQ(rig.ends(), 1) << "the release during the timer closes the host's gesture exactly once";
        EXPECT_FALSE(rig.control->isMouseDown());
        clock.advance(interval + 1);
        rig.frame->fireTimers();
        EXPECT_EQ(rig.ends(), 1);
        EXPECT_EQ(rig.control->doubleClicks, 0);
    }
    {
        SCOPED_TRACE("a press held past the interval goes on as a drag");
        Rig rig;
        rig.control->setDoubleClickEnable(true);
        rig.press(30, 5, kLButton);
        clock.advance(interval + 1);
        rig.frame->fireTimers();
        EXPECT_TRUE(rig.control->isMouseDown());
        rig.move(50, 5, kLButton);
        rig.release(50, 5);
        ASSERT_EQ(rig.listener.notices.size(), 2u);
        EXPECT_FLOAT_EQ(rig.listener.notices[1].user, 0.5f);
        EXPECT_EQ(rig.begins(), 1);
        EXPECT_EQ(rig.ends(), 1);
    }
    {
        SCOPED_TRACE("a drag within the interval starts at the stored press");
        Rig rig;
        rig.control->setDoubleClickEnable(true);
        rig.press(30, 5, kLButton);
        clock.advance(50);
        rig.move(60, 5, kLButton);
        ASSERT_EQ(rig.listener.notices.size(), 2u);
        EXPECT_FLOAT_EQ(rig.listener.notices[0].user, 0.3f);
        EXPECT_FLOAT_EQ(rig.listener.notices[1].user, 0.6f);
        rig.release(60, 5);
        EXPECT_EQ(rig.ends(), 1);
    }
    {
        SCOPED_TRACE("a second press within the interval is a double click, never a drag");
        Rig rig;
        rig.control->setDoubleClickEnable(true);
        rig.press(30, 5, kLButton);
        rig.release(30, 5);
        clock.advance(interval / 2);
        EXPECT_EQ(rig.press(80, 5, kLButton), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
        EXPECT_EQ(rig.control->doubleClicks, 1);
        ASSERT_EQ(rig.listener.notices.size(), 1u);
        EXPECT_TRUE(rig.listener.notices[0].right);
        EXPECT_FLOAT_EQ(rig.listener.notices[0].user, 0.f) << "the double click moves no value";
        rig.release(80, 5);
        clock.advance(interval + 1);
        rig.frame->fireTimers();
        EXPECT_EQ(rig.listener.notices.size(), 1u);
        EXPECT_EQ(rig.begins(), 1) << "one gesture for both presses";
        EXPECT_EQ(rig.ends(), 1);
    }
}

TEST(CControlVx, EditSlots)
{
    ControlTest::RecordingListener listener;
    ControlTest::ProbeControl multi(CRect(0, 0, 10, 10), &listener, 10, 3);
    EXPECT_EQ(multi.getType(), kControlKindMulti);
    multi.setEditIdx(1, 11);
    multi.setEditIdx(2, 12);
    multi.setEditIdx(3, 99); // no such slot: ignored
    EXPECT_EQ(multi.getEditIdx(2), 12);
    EXPECT_EQ(multi.getEditIdx(7), 12) << "slot numbers are clamped";

    int index = -1;
    float v = -1.f;
    EXPECT_FALSE(multi.getValue(&index, &v)) << "nothing changed yet";
    multi.setUserValue(11, 0.4f);
    multi.setUserValue(12, 0.6f);
    EXPECT_TRUE(multi.getValue(&index, &v));
    EXPECT_EQ(index, 11);
    EXPECT_FLOAT_EQ(v, 0.4f);
    EXPECT_TRUE(multi.getValue(&index, &v));
    EXPECT_EQ(index, 12);
    EXPECT_FALSE(multi.getValue(&index, &v)) << "each change is taken once";

    multi.setValue(12, 1.5f);
    EXPECT_FLOAT_EQ(multi.DispValue(2), 1.f) << "clamped";
    multi.setValue(55, 0.3f);
    EXPECT_FLOAT_EQ(multi.DispValue(0), 0.f) << "an index no slot holds changes nothing";
    multi.setDefault(11, 2.f);
    EXPECT_FLOAT_EQ(multi.getSlot(1).defaultValue, 1.f);

    // Texts only in text mode or on text-showing controls.
    multi.setText(Vdx::String_c(std::string("abc")));
    EXPECT_TRUE(multi.getDisplayText().empty());
    multi.setShowsText(true);
    multi.setText(Vdx::String_c(std::string("abc")));
    EXPECT_EQ(multi.getDisplayText(), "abc");

    // The copy owns its own slots.
    std::unique_ptr<CView> copy(multi.newCopy());
    auto* copied = static_cast<CControlVx*>(copy.get());
    copied->setEditIdx(1, 77);
    EXPECT_EQ(multi.getEditIdx(1), 11);
    copy.release()->forget();
}

TEST(CControlVx, APressMovesOnlyTheSlotItDrags)
{
    // A control of three slots whose others show values: dragging slot 0
    // must leave their parameters alone, not report the values they held.
    ControlTest::RecordingListener listener;
    auto* multi = new ControlTest::ProbeControl(CRect(0, 0, 100, 20), &listener, 10, 3);
    multi->setEditIdx(1, 11);
    multi->setEditIdx(2, 12);
    multi->setValue(11, 0.7f);
    multi->setValue(12, 0.2f);
    ControlTest::GestureEditor editor;
    CFrame* frame = new CFrame(CRect(0, 0, 200, 100), nullptr, &editor);
    frame->addView(multi);
    CPoint p(30, 5);
    multi->onMouseDown(p, kLButton);
    multi->onMouseUp(p, 0);
    int index = -1;
    float v = 0.f;
    std::vector<int> reported;
    while (multi->getValue(&index, &v))
        reported.push_back(index);
    EXPECT_TRUE(reported.empty() || reported == std::vector<int>{10}) << "only slot 0 may report";
    frame->forget();
}
