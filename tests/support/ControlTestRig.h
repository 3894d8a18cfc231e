// A rig for the controls' tests: an offscreen frame whose editor counts the
// host's automation gestures, a listener that records every notification,
// and a control in the frame: the base control's probe (its value is its x
// position in hundredths) in Rig, any control in Stage.
#pragma once

#include "AEffGUIEditor.h"
#include "CBitmap.h"
#include "CControlVx.h"
#include "CDrawContext.h"
#include "CFrame.h"
#include "CVSTGUITimer.h"

#include <functional>
#include <map>
#include <vector>

namespace ControlTest {

struct GestureEditor : AEffGUIEditor
{
    GestureEditor() : AEffGUIEditor(nullptr) {}
    void beginEdit(int32_t index) override { ++begins[index]; }
    void endEdit(int32_t index) override { ++ends[index]; }
    std::map<int, int> begins, ends;
};

struct ProbeControl : CControlVx
{
    using CControlVx::CControlVx;
    float valueFromPoint(CPoint& where, bool fine) override
    {
        lastFine = fine;
        return static_cast<float>(where.h) / 100.f;
    }
    void handleDoubleClick() override { ++doubleClicks; }
    bool lastFine = false;
    int doubleClicks = 0;
};

struct Notice
{
    float user;
    bool up, down, right, reset;
};

struct RecordingListener : CControlListenerVx
{
    void valueChanged(CControl* c) override
    {
        auto* v = static_cast<CControlVx*>(c);
        notices.push_back({v->UserValue(), v->getStepUp(), v->getStepDown(), v->getRightButton(),
                           v->getResetToDefault()});
        v->getValue(); // the listener takes the change, as the editor does
    }
    void touched(CControl*, bool right) override { touches.push_back(right); }
    std::vector<Notice> notices;
    std::vector<bool> touches;
};

// A control of 100 x 20 at the frame's top-left, edit index Tag.
struct Rig
{
    static constexpr int Tag = 42;
    GestureEditor editor;
    RecordingListener listener;
    CFrame* frame = new CFrame(CRect(0, 0, 200, 100), nullptr, &editor);
    ProbeControl* control = new ProbeControl(CRect(0, 0, 100, 20), &listener, Tag);
    Rig()
    {
        control->setType(5);
        frame->addView(control);
    }
    ~Rig() { frame->forget(); }
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    CMouseEventResult press(CCoord x, CCoord y, long buttons)
    {
        CPoint p(x, y);
        return control->onMouseDown(p, buttons);
    }
    CMouseEventResult move(CCoord x, CCoord y, long buttons)
    {
        CPoint p(x, y);
        return control->onMouseMoved(p, buttons);
    }
    CMouseEventResult release(CCoord x, CCoord y, long buttons = 0)
    {
        CPoint p(x, y);
        return control->onMouseUp(p, buttons);
    }
    int begins() { return editor.begins[Tag]; }
    int ends() { return editor.ends[Tag]; }
};

// Any control in an offscreen frame of 400 x 300, made by a function of the
// recording listener; mouse helpers as the frame would route them.
template <class T>
struct Stage
{
    GestureEditor editor;
    RecordingListener listener;
    CFrame* frame = new CFrame(CRect(0, 0, 400, 300), nullptr, &editor);
    T* control;
    explicit Stage(const std::function<T*(CControlListenerVx*)>& make) : control(make(&listener))
    {
        frame->addView(control);
    }
    ~Stage() { frame->forget(); }
    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;

    CMouseEventResult press(CCoord x, CCoord y, long buttons = kLButton)
    {
        CPoint p(x, y);
        return control->onMouseDown(p, buttons);
    }
    CMouseEventResult move(CCoord x, CCoord y, long buttons = kLButton)
    {
        CPoint p(x, y);
        return control->onMouseMoved(p, buttons);
    }
    CMouseEventResult release(CCoord x, CCoord y, long buttons = 0)
    {
        CPoint p(x, y);
        return control->onMouseUp(p, buttons);
    }
    // Press at (x, y0), move to (x1, y1) in one step, release there: the
    // user value the listener saw last.
    float drag(CCoord x0, CCoord y0, CCoord x1, CCoord y1, long buttons = kLButton)
    {
        press(x0, y0, buttons);
        move(x1, y1, buttons);
        release(x1, y1);
        return control->UserValue();
    }
    int begins(int tag) { return editor.begins[tag]; }
    int ends(int tag) { return editor.ends[tag]; }
};

// A canvas to draw one view on, offscreen, and read its pixels.
struct Canvas
{
    CBitmap* bitmap;
    Canvas(int w, int h, CColor ground = kBlackCColor) : bitmap(new CBitmap(w, h))
    {
        CDrawContext c(bitmap);
        c.setFillColor(ground);
        c.drawRect(CRect(0, 0, w, h), kDrawFilled);
    }
    ~Canvas() { bitmap->forget(); }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    void draw(CView* view)
    {
        CDrawContext c(bitmap);
        view->draw(&c);
    }
    CColor at(int x, int y) const { return bitmap->getPixel(x, y); }
};

// The colour a test picture paints frame (or cell) k in: each its own.
inline CColor frameColour(int k)
{
    return CColor{static_cast<uint8_t>(10 + 5 * k), static_cast<uint8_t>(200 - 3 * k), 77, 255};
}

// A picture of `frames` frames of w x h, stacked (or side by side), each
// filled with its own frameColour; the caller holds its one reference.
inline CBitmap* framesPicture(int w, int h, int frames, bool across = false)
{
    auto* b = new CBitmap(across ? w * frames : w, across ? h : h * frames);
    CDrawContext c(b);
    for (int k = 0; k < frames; ++k) {
        c.setFillColor(frameColour(k));
        c.drawRect(across ? CRect(k * w, 0, k * w + w, h) : CRect(0, k * h, w, k * h + h), kDrawFilled);
    }
    return b;
}

} // namespace ControlTest
