#include "TouchControls.h"

#include "CBitmap.h"
#include "CDrawContext.h"
#include "CVSTGUITimer.h"
#include "Synth.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr long AnyButton = kLButton | kRButton;

float clamp01(float v)
{
    return v < 0.f ? 0.f : (v > 1.f ? 1.f : v);
}

bool isTimer(const char* message)
{
    return message && std::strcmp(message, kMsgTimer) == 0;
}
} // namespace

// ------------------------------------------------------------- touch area

CTouchAreaVx::CTouchAreaVx(const CRect& s, CControlListenerVx* l, int tag, Synth* synth, int cmd, int idx, int val,
                           bool repeats, CBitmap* picture)
    : CControlVx(s, l, tag), engine(synth), bitmap(picture), command(cmd), index(idx), value(val),
      releaseTimer(new CVSTGUITimer(this, ReleaseMs)), repeat(repeats)
{
}

CTouchAreaVx::~CTouchAreaVx()
{
    dropTimer(releaseTimer);
}

void CTouchAreaVx::send()
{
    if (engine)
        engine->processGUICmd(command, index, value, nullptr);
}

CMouseEventResult CTouchAreaVx::onMouseDown(CPoint&, const long&)
{
    mouseHeld = true;
    send();
    pressed = true;
    setDirty(true);
    if (repeat) {
        period = FirstRepeatMs;
        dropTimer(repeatTimer);
        repeatTimer = new CVSTGUITimer(this, period);
        repeatTimer->start();
        return kMouseEventHandled;
    }
    releaseTimer->start();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

CMessageResult CTouchAreaVx::notify(CBaseObject* sender, const char* message)
{
    if (!isTimer(message))
        return kMessageUnknown;
    if (repeatTimer) {
        if (sender != repeatTimer)
            return kMessageUnknown;
        send();
        // The layer's timer takes a new period by being started anew: the
        // next repeat comes one new period after this one.
        period = std::max(period - RepeatStepMs, FastestRepeatMs);
        dropTimer(repeatTimer);
        repeatTimer = new CVSTGUITimer(this, period);
        repeatTimer->start();
        return kMessageNotified;
    }
    if (sender != releaseTimer)
        return kMessageUnknown;
    releaseTimer->stop();
    pressed = false;
    setDirty(true);
    return kMessageNotified;
}

CMouseEventResult CTouchAreaVx::onMouseMoved(CPoint&, const long&)
{
    return repeatTimer ? kMouseEventHandled : kMouseEventNotHandled;
}

CMouseEventResult CTouchAreaVx::onMouseUp(CPoint&, const long&)
{
    mouseHeld = false;
    dropTimer(repeatTimer);
    pressed = false;
    setDirty(true);
    return kMouseEventHandled;
}

void CTouchAreaVx::draw(CDrawContext* context)
{
    CControlVx::draw(context);
    if (bitmap)
        bitmap->draw(context, size, CPoint(0, pressed ? size.height() : 0));
}

// ----------------------------------------------------------------- XY pad

CXYVx::CXYVx(const CRect& s, CControlListenerVx* l, int tag, CBitmap* back, CColor line, CColor fade)
    : CControlVx(s, l, tag, 2), background(back), usableHeight(static_cast<float>(s.height()) * 0.9999f),
      usableWidth(static_cast<float>(s.width()) * 0.9999f), lineColour(line), fadeColour(fade)
{
    controlKind = kControlKindPad;
}

void CXYVx::editBoth(bool begin)
{
    for (int slot = 0; slot < 2; ++slot) {
        const int idx = getEditIdx(slot);
        if (idx < 0)
            continue; // an unbound slot has no gesture
        if (begin)
            beginEdit(idx);
        else
            endEdit(idx);
    }
}

CMouseEventResult CXYVx::onMouseDown(CPoint& where, const long& buttons)
{
    if (mouseDown) {
        CPoint p = lastPoint;
        onMouseUp(p, 0);
    }
    mouseDown = true;
    initOldUserValue();
    stepUp = stepDown = false;
    editBoth(true);
    downPoint = lastPoint = where;
    slots[0].userValue = startX = slots[0].dispValue;
    slots[1].userValue = startY = slots[1].dispValue;
    return onMouseMoved(where, buttons);
}

CMouseEventResult CXYVx::onMouseMoved(CPoint& where, const long& buttons)
{
    if (!mouseDown)
        return kMouseEventNotHandled;
    if (!(buttons & AnyButton))
        return kMouseEventHandled;
    // Right raises x, up raises y.
    const float x = clamp01(startX + static_cast<float>(where.h - downPoint.h) * PerPixel);
    const float y = clamp01(startY + static_cast<float>(downPoint.v - where.v) * PerPixel);
    rightButton = (buttons & kRButton) != 0;
    lastPoint = where;
    if (slots[0].userValue != x)
        newUserVal01(0, x);
    if (slots[1].userValue != y)
        newUserVal01(1, y);
    redrawIfDirty();
    return kMouseEventHandled;
}

CMouseEventResult CXYVx::onMouseUp(CPoint&, const long&)
{
    if (!mouseDown)
        return kMouseEventNotHandled;
    mouseDown = false;
    editBoth(false);
    return kMouseEventHandled;
}

CPoint CXYVx::crossPoint() const
{
    return CPoint(size.left + static_cast<int>(slots[0].dispValue * usableWidth),
                  size.bottom - static_cast<int>(slots[1].dispValue * usableHeight) - 1);
}

void CXYVx::fadeColours(CColor (&out)[4]) const
{
    // Shares of the line colour and of the fade colour, faintest first.
    const float line[4] = {0.2f, 0.4f, 0.6f, 0.8f};
    const float fade[4] = {0.8f, 0.6f, 0.4f, 0.2f};
    auto mix = [&](uint8_t c, uint8_t f, int i) {
        return static_cast<uint8_t>(line[i] * static_cast<float>(c) + fade[i] * static_cast<float>(f));
    };
    for (int i = 0; i < 4; ++i)
        out[i] = CColor{mix(lineColour.red, fadeColour.red, i), mix(lineColour.green, fadeColour.green, i),
                        mix(lineColour.blue, fadeColour.blue, i), 255};
}

void CXYVx::lineCore(CDrawContext* context, int x1, int x2, int y1, int y2, CColor colour)
{
    x1 = std::clamp(x1, size.left, size.right);
    x2 = std::clamp(x2, size.left, size.right);
    y1 = std::clamp(y1, size.top, size.bottom);
    y2 = std::clamp(y2, size.top, size.bottom);
    context->setFrameColor(colour);
    context->drawLine(CPoint(x1, y1), CPoint(x2, y2));
}

void CXYVx::drawLine(CDrawContext* context, int x, int y, bool vertical)
{
    CColor fades[4];
    fadeColours(fades);
    const int halves[5] = {28, 25, 22, 18, 14};
    for (int i = 0; i < 5; ++i) {
        const CColor c = i < 4 ? fades[i] : lineColour;
        const int h = halves[i];
        if (vertical)
            lineCore(context, x, x, y - h, y + h, c);
        else
            lineCore(context, x - h, x + h, y, y, c);
    }
}

void CXYVx::draw(CDrawContext* context)
{
    CControlVx::draw(context);
    if (!background)
        return;
    background->drawOpaque(context, size, size.getTopLeft());
    context->setLineWidth(1);
    const CPoint p = crossPoint();
    drawLine(context, p.h, p.v, true);
    drawLine(context, p.h, p.v, false);
}

// ---------------------------------------------------------------- 5.1 map

C51Map::C51Map(const CRect& s, CControlListenerVx* l, int tag, CBitmap* picture, int count)
    : CControlVx(s, l, tag, 3 * std::max(1, count)), dots(picture), channels(std::max(1, count))
{
    if (!picture)
        return;
    dotWidth = picture->getWidth();
    dotHeight = picture->getHeight() / channels;
    xTravel = s.width() - dotWidth;
    yTravel = s.height() - dotHeight;
    // A field no larger than a dot has no travel: the dot stays put.
    xReciprocal = xTravel > 0 ? 1.f / static_cast<float>(xTravel) : 0.f;
    yReciprocal = yTravel > 0 ? 1.f / static_cast<float>(yTravel) : 0.f;
}

bool C51Map::anyOn() const
{
    for (int k = 0; k < channels; ++k)
        if (isOn(k))
            return true;
    return false;
}

CRect C51Map::dotRect(int k) const
{
    const int x = size.left + static_cast<int>(static_cast<float>(xTravel) * DispValue(xSlot(k)));
    const int y = size.top + static_cast<int>(static_cast<float>(yTravel) * DispValue(ySlot(k)));
    return CRect(x, y, x + dotWidth, y + dotHeight);
}

void C51Map::detectChannel(CPoint& where, int* channel)
{
    const double px = where.h - size.left;
    const double py = where.v - size.top;
    double best = 99999.9;
    for (int k = 0; k < channels; ++k) {
        if (!isOn(k))
            continue;
        const double dx = px - static_cast<double>(xTravel) * DispValue(xSlot(k));
        const double dy = py - static_cast<double>(yTravel) * DispValue(ySlot(k));
        const double d = std::sqrt(dx * dx + dy * dy);
        if (d < best) {
            best = d;
            *channel = k;
        }
    }
    *channel = clampChannel(*channel);
}

bool C51Map::trackMouse(CPoint& where, int channel)
{
    const int k = clampChannel(channel);
    const float x = clamp01(static_cast<float>(where.h - dotWidth / 2 - size.left) * xReciprocal + grabX);
    const float y = clamp01(static_cast<float>(where.v - dotHeight / 2 - size.top) * yReciprocal + grabY);
    slots[xSlot(k)].userValue = x;
    slots[ySlot(k)].userValue = y;
    return std::fabs(x - DispValue(xSlot(k))) > 0.001f || std::fabs(y - DispValue(ySlot(k))) > 0.001f;
}

void C51Map::editPosition(int k, bool begin)
{
    for (const int slot : {xSlot(k), ySlot(k)}) {
        const int idx = getEditIdx(slot);
        if (idx < 0)
            continue;
        if (begin)
            beginEdit(idx);
        else
            endEdit(idx);
    }
}

CMouseEventResult C51Map::onMouseDown(CPoint& where, const long& buttons)
{
    if (tracking) {
        CPoint p = lastPoint;
        onMouseUp(p, 0);
    }
    tracking = true;
    initOldUserValue();
    stepUp = stepDown = false;
    active = -1;
    lastPoint = where;
    if (buttons & kControl) {
        // Command-click centres the nearest dot; the press needs no release,
        // so it ends here (the map must not stay tracking).
        if (anyOn()) {
            int k = -1;
            detectChannel(where, &k);
            slots[xSlot(k)].userValue = 0.5f;
            slots[ySlot(k)].userValue = 0.5f;
            if (listener)
                listener->valueChanged(this);
            redrawIfDirty();
        }
        tracking = false;
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    onMouseMoved(where, buttons);
    return kMouseEventHandled;
}

CMouseEventResult C51Map::onMouseMoved(CPoint& where, const long& buttons)
{
    if (!tracking)
        return kMouseEventNotHandled;
    if (!(buttons & AnyButton))
        return kMouseEventHandled;
    lastPoint = where;
    if (active < 0) {
        // Only a dot that is shown can be taken; on an empty field the drag
        // moves nothing.
        if (!anyOn())
            return kMouseEventHandled;
        detectChannel(where, &active);
        editPosition(active, true);
        // Keep the grab point under the mouse: the dot does not jump.
        grabX = DispValue(xSlot(active)) - static_cast<float>(where.h - dotWidth / 2 - size.left) * xReciprocal;
        grabY = DispValue(ySlot(active)) - static_cast<float>(where.v - dotHeight / 2 - size.top) * yReciprocal;
    }
    rightButton = (buttons & kRButton) != 0;
    if (trackMouse(where, active)) {
        if (listener)
            listener->valueChanged(this);
        redrawIfDirty();
    }
    return kMouseEventHandled;
}

CMouseEventResult C51Map::onMouseUp(CPoint&, const long&)
{
    if (!tracking)
        return kMouseEventNotHandled;
    if (active >= 0)
        editPosition(active, false);
    active = -1;
    tracking = false;
    return kMouseEventHandled;
}

void C51Map::setValue(int editIndex, float v)
{
    CControlVx::setValue(editIndex, v);
    if (!tracking)
        setUserValue(editIndex, clamp01(v));
    setDirty(true);
}

bool C51Map::onWheel(const CPoint&, const float&, const long&)
{
    return true;
}

void C51Map::draw(CDrawContext* context)
{
    if (dots)
        for (int k = 0; k < channels; ++k)
            if (isOn(k))
                dots->draw(context, dotRect(k), CPoint(0, k * dotHeight));
    CControlVx::draw(context);
}
