// A rig for the base control's tests: an offscreen frame whose editor counts
// the host's automation gestures, a control whose value is its x position in
// hundredths, and a listener that records every notification.
#pragma once

#include "AEffGUIEditor.h"
#include "CControlVx.h"
#include "CFrame.h"
#include "CVSTGUITimer.h"

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

} // namespace ControlTest
