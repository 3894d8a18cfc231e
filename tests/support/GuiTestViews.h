// Small views for the GUI layer's tests: a filled box that records the mouse
// and a manual clock.
#pragma once

#include "CBaseObject.h"
#include "CDrawContext.h"
#include "CView.h"

#include <vector>

namespace GuiTest {

// A view that fills itself with one colour and records what reaches it.
struct Box : CView
{
    explicit Box(const CRect& r, CColor c = kRedCColor, bool takesPress = true)
        : CView(r), colour(c), takesPress(takesPress) {}
    void draw(CDrawContext* context) override
    {
        context->setFillColor(colour);
        context->drawRect(size, kDrawFilled);
        ++draws;
        dirty = false;
    }
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override
    {
        presses.push_back(where);
        lastButtons = buttons;
        return takesPress ? kMouseEventHandled : kMouseEventNotHandled;
    }
    CMouseEventResult onMouseMoved(CPoint& where, const long&) override
    {
        moves.push_back(where);
        return kMouseEventHandled;
    }
    CMouseEventResult onMouseUp(CPoint& where, const long&) override
    {
        releases.push_back(where);
        return kMouseEventHandled;
    }
    CColor colour;
    bool takesPress;
    int draws = 0;
    long lastButtons = 0;
    std::vector<CPoint> presses, moves, releases;
};

// The layer's clock, moved by hand.
struct ManualClock
{
    static inline int64_t now = 1000;
    ManualClock() { GuiClock::setSource([] { return now; }); }
    ~ManualClock() { GuiClock::setSource(nullptr); }
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;
    void advance(int64_t ms) { now += ms; }
};

} // namespace GuiTest
