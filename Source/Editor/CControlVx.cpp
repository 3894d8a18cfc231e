#include "CControlVx.h"

#include "CFrame.h"
#include "CVSTGUITimer.h"
#include "OsLib.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr int RepeatMs = 200; // option-click step repeat
constexpr long AnyButton = kLButton | kRButton;

float clamp01(float v)
{
    return v < 0.f ? 0.f : (v > 1.f ? 1.f : v);
}
} // namespace

CControlVx::CControlVx(const CRect& s, CControlListenerVx* l, int tag)
    : CControl(s, l, tag), listenerVx(l)
{
    init(1);
    slots[0].editIdx = tag;
}

CControlVx::CControlVx(const CRect& s, CControlListenerVx* l, int tag, int count)
    : CControl(s, l, tag), listenerVx(l)
{
    init(count);
    slots[0].editIdx = tag;
    controlKind = kControlKindMulti;
}

CControlVx::CControlVx(const CControlVx& o)
    : CControl(o), stepDown(o.stepDown), stepUp(o.stepUp), textMode(o.textMode), textDrag(o.textDrag),
      showsText(o.showsText), derivedFlag(o.derivedFlag), optionFlag(o.optionFlag), inverted(o.inverted),
      rightButton(o.rightButton), resetToDefault(o.resetToDefault), circularMode(o.circularMode),
      modeLocked(o.modeLocked), doubleClickEnabled(o.doubleClickEnabled), valueAtPress(o.valueAtPress),
      userText(o.userText), displayText(o.displayText), drawColor(o.drawColor),
      slots(new EditSlot[static_cast<size_t>(o.slotCount)]), listenerVx(o.listenerVx), pressPoint(o.pressPoint),
      lastPoint(o.lastPoint), storedPoint(o.storedPoint), storedButtons(o.storedButtons), slotCount(o.slotCount),
      controlKind(o.controlKind)
{
    // The copy has its own slots and no running timer or press.
    std::copy(o.slots.get(), o.slots.get() + slotCount, slots.get());
}

CControlVx::~CControlVx()
{
    dropTimer(repeatTimer);
    dropTimer(doubleClickTimer);
}

void CControlVx::init(int count)
{
    slotCount = std::max(1, count);
    slots.reset(new EditSlot[static_cast<size_t>(slotCount)]);
}

void CControlVx::dropTimer(CVSTGUITimer*& timer)
{
    if (!timer)
        return;
    CVSTGUITimer* t = timer;
    timer = nullptr;
    t->stop();
    t->forget();
}

bool CControlVx::isTypeOf(const char* name) const
{
    return (name && (std::strcmp(name, "CControlVx") == 0)) || CControl::isTypeOf(name);
}

// ----------------------------------------------------------------- values

void CControlVx::setValue(float v)
{
    EditSlot& s = slots[0];
    s.dispValue = inverted ? 1.f - v : v;
    if (s.dispValue != s.oldDispValue)
        setDirty(true);
}

float CControlVx::getValue()
{
    slots[0].oldUserValue = slots[0].userValue;
    return slots[0].userValue;
}

void CControlVx::setDefaultValue(float v)
{
    slots[0].defaultValue = clamp01(v);
}

void CControlVx::setCircularLinearMode(bool circular)
{
    if (!modeLocked)
        circularMode = circular;
}

void CControlVx::setEditIdx(int slot, int editIndex)
{
    if (slot < 0 || slot >= slotCount)
        return;
    slots[slot].editIdx = editIndex;
    if (slot == 0)
        tag = editIndex;
}

void CControlVx::setValue(int editIndex, float v)
{
    v = clamp01(v);
    if (inverted)
        v = 1.f - v;
    for (int i = 0; i < slotCount; ++i) {
        if (slots[i].editIdx != editIndex)
            continue;
        slots[i].dispValue = v;
        if (v != slots[i].oldDispValue)
            setDirty(true);
        return;
    }
}

bool CControlVx::getValue(int* editIndex, float* v)
{
    for (int i = 0; i < slotCount; ++i) {
        EditSlot& s = slots[i];
        if (s.userValue == s.oldUserValue)
            continue;
        if (editIndex)
            *editIndex = s.editIdx;
        if (v)
            *v = s.userValue;
        s.oldUserValue = s.userValue;
        return true;
    }
    return false;
}

void CControlVx::setDefault(int editIndex, float v)
{
    for (int i = 0; i < slotCount; ++i)
        if (slots[i].editIdx == editIndex) {
            slots[i].defaultValue = clamp01(v);
            return;
        }
}

void CControlVx::setText(const Vdx::String_c& text)
{
    if (!textMode && !showsText)
        return;
    if (text == displayText)
        return;
    displayText = text;
    setDirty(true);
}

void CControlVx::setDrawColor(CColor colour)
{
    if (colour != drawColor)
        setDirty(true);
    drawColor = colour;
}

void CControlVx::setUserValue(int editIndex, float v)
{
    for (int i = 0; i < slotCount; ++i)
        if (slots[i].editIdx == editIndex)
            slots[i].userValue = v;
}

void CControlVx::newUserVal01(int slot, float v)
{
    slots[clampSlot(slot)].userValue = v;
    if (listener)
        listener->valueChanged(this);
}

void CControlVx::initOldUserValue()
{
    for (int i = 0; i < slotCount; ++i)
        slots[i].oldUserValue = slots[i].dispValue;
}

void CControlVx::draw(CDrawContext*)
{
    for (int i = 0; i < slotCount; ++i)
        slots[i].oldDispValue = slots[i].dispValue;
    dirty = false;
}

// -------------------------------------------------------------- gestures

void CControlVx::beginEdit(int index)
{
    if (!frame)
        return;
    frame->setFocusView(this);
    frame->beginEdit(index);
}

void CControlVx::endEdit(int index)
{
    if (frame)
        frame->endEdit(index);
}

void CControlVx::openGesture()
{
    if (gestureOpen)
        return; // a double click's second press stays in the first's gesture
    gestureOpen = true;
    beginEdit(getTag());
}

void CControlVx::closeGesture()
{
    if (!gestureOpen)
        return;
    gestureOpen = false;
    endEdit(getTag());
}

bool CControlVx::PointInRect(int x, int y, int left, int top, int right, int bottom)
{
    return x >= left && x <= right && y >= top && y <= bottom;
}

void CControlVx::xSleep(int ms)
{
    OsLib_c::xSleep(ms);
}

// ------------------------------------------------------------------ mouse

CMouseEventResult CControlVx::finishPress()
{
    redrawIfDirty();
    if (!textMode)
        closeGesture();
    mouseDown = false;
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

CMouseEventResult CControlVx::onMouseDown(CPoint& where, const long& buttons)
{
    if (mouseDown) {
        CPoint p = lastPoint;
        onMouseUp(p, 0);
    }
    mouseDown = true;
    if (listenerVx)
        listenerVx->touched(this, (buttons & kRButton) != 0);

    // Every slot starts the press unchanged: its user value is what it shows
    // (in parameter direction), so a slot the press does not move reports
    // nothing, rather than the value it held before.
    for (int i = 0; i < slotCount; ++i)
        slots[i].userValue = slots[i].oldUserValue = toParameterDirection(slots[i].dispValue);
    const float atPress = toParameterDirection(slots[0].dispValue);
    slots[0].userValue = slots[0].oldUserValue = atPress;
    valueAtPress = atPress;
    stepUp = stepDown = resetToDefault = rightButton = false;
    pressPoint = lastPoint = where;

    if (!textMode)
        openGesture();

    bool isDoubleClick = false;
    if (doubleClickEnabled && !(buttons & (kControl | kAlt)) && (buttons & AnyButton)) {
        if (!(buttons & kDoubleClick) && !doubleClickTimer) {
            storedPoint = where;
            storedButtons = buttons;
            releasedDuringTimer = false;
            doubleClickTimer = new CVSTGUITimer(this, OsLib_c::getDoubleClickTreshold());
            doubleClickTimer->start();
            return kMouseEventHandled;
        }
        dropTimer(doubleClickTimer);
        releasedDuringTimer = false;
        isDoubleClick = true;
    }

    if (textMode && textDrag) {
        if (buttons & AnyButton)
            return onMouseMoved(where, buttons);
    } else if (textMode) {
        if (TextFromPoint(where)) {
            rightButton = (buttons & kRButton) != 0;
            if (listener)
                listener->valueChanged(this);
        }
    } else if (buttons & kControl) {
        slots[0].userValue = slots[0].defaultValue;
        resetToDefault = true;
        rightButton = true;
        if (listener)
            listener->valueChanged(this);
    } else if ((buttons & kAlt) && (buttons & AnyButton)) {
        if (where.v < (size.top + size.bottom) / 2)
            stepUp = true;
        else
            stepDown = true;
        rightButton = true;
        if (listener)
            listener->valueChanged(this);
        dropTimer(repeatTimer);
        repeatTimer = new CVSTGUITimer(this, RepeatMs);
        repeatTimer->start();
        redrawIfDirty();
        return kMouseEventHandled;
    } else if (isDoubleClick) {
        handleDoubleClick();
        rightButton = true;
        if (listener)
            listener->valueChanged(this);
    } else if (buttons & AnyButton) {
        return onMouseMoved(where, buttons);
    }
    return finishPress();
}

CMouseEventResult CControlVx::onMouseMoved(CPoint& where, const long& buttons)
{
    if (!mouseDown)
        return kMouseEventNotHandled;
    if (doubleClickTimer) {
        // A drag within the double-click interval begins at the stored press.
        dropTimer(doubleClickTimer);
        CPoint p = storedPoint;
        onMouseMoved(p, storedButtons);
    }
    if (!textMode) {
        if (repeatTimer) {
            if (buttons & AnyButton)
                return kMouseEventHandled;
        } else if (buttons & AnyButton) {
            float v = clamp01(valueFromPoint(where, (buttons & kShift) != 0));
            if (inverted)
                v = 1.f - v;
            slots[0].userValue = v;
            rightButton = (buttons & kRButton) != 0;
            if ((slots[0].userValue != slots[0].oldUserValue || stepUp || stepDown) && listener)
                listener->valueChanged(this);
            lastPoint = where;
        }
    } else if (textDrag && (buttons & AnyButton)) {
        TextFromPoint(where);
        rightButton = (buttons & kRButton) != 0;
        if (listener)
            listener->valueChanged(this);
    }
    redrawIfDirty();
    return kMouseEventHandled;
}

CMouseEventResult CControlVx::onMouseUp(CPoint&, const long&)
{
    if (!mouseDown)
        return kMouseEventNotHandled;
    if (!doubleClickTimer) {
        dropTimer(repeatTimer);
        if (!textMode)
            closeGesture();
    } else {
        releasedDuringTimer = true;
    }
    mouseDown = false;
    return kMouseEventHandled;
}

void CControlVx::releaseMouse()
{
    CPoint origin(0, 0);
    onMouseUp(origin, 0);
}

CMessageResult CControlVx::notify(CBaseObject* sender, const char* message)
{
    if (!message || std::strcmp(message, kMsgTimer) != 0)
        return kMessageUnknown;
    if (sender && sender == doubleClickTimer) {
        // The interval passed without a second press: a single click, acting
        // as a press at the stored point.
        dropTimer(doubleClickTimer);
        mouseDown = true;
        CPoint p = storedPoint;
        onMouseMoved(p, storedButtons);
        if (releasedDuringTimer) {
            // The button went up meanwhile: the press is complete now.
            releasedDuringTimer = false;
            dropTimer(repeatTimer);
            if (!textMode)
                closeGesture();
            mouseDown = false;
        }
        return kMessageNotified;
    }
    if (sender && sender == repeatTimer) {
        if (listener)
            listener->valueChanged(this);
        redrawIfDirty();
        return kMessageNotified;
    }
    return kMessageUnknown;
}

bool CControlVx::onWheel(const CPoint&, const float& distance, const long&)
{
    // Pads and keyboards, and controls of no kind, take no wheel steps.
    if (controlKind == kControlKindNone || controlKind == kControlKindPad || controlKind == kControlKindKeyboard)
        return true;
    stepUp = distance > 0;
    stepDown = distance < 0;
    if (inverted)
        std::swap(stepUp, stepDown);
    if (frame) {
        frame->setFocusView(this);
        frame->beginEdit(getTag());
    }
    if (listener)
        listener->valueChanged(this);
    redrawIfDirty();
    if (frame)
        frame->endEdit(getTag());
    return true;
}
