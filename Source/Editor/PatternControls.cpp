#include "PatternControls.h"

#include "CBitmap.h"
#include "CDrawContext.h"
#include "CVSTGUITimer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {
constexpr long AnyButton = kLButton | kRButton;
constexpr int OptionRepeatMs = 200;
constexpr int CommandClickLevel = 100;
} // namespace

void StepSeqText::levelText(int level, char (&out)[8])
{
    if (level == LevelRest)
        std::snprintf(out, sizeof out, "Off");
    else if (level == LevelTie)
        std::snprintf(out, sizeof out, "Tie");
    else
        std::snprintf(out, sizeof out, "%03d", std::clamp(level, 0, 999));
}

// ------------------------------------------------------------- step grid

CStepSeqVx::CStepSeqVx(const CRect& s, CControlListenerVx* l, int tag, CBitmap* background, CBitmap* marker,
                       CColor text, int cols, int rowCount, int leftMargin, int frames)
    : CControlVx(s, l, tag), font(kNormalFontSmall), markerFrames(std::max(1, frames)),
      columns(std::max(1, cols)), rows(std::max(1, rowCount)), margin(leftMargin),
      backgroundBitmap(background), markerBitmap(marker)
{
    textMode = true;
    setColours(text);
    // A cell of at least one pixel keeps the point-to-step division defined.
    cellWidth = std::max(1, s.width() / columns);
    cellHeight = std::max(1, s.height() / rows);
    if (marker) {
        hasMarker = true;
        markerWidth = marker->getWidth();
        markerFrameHeight = marker->getHeight() / markerFrames;
    }
    laneWidth = cellWidth - 5 - margin - markerWidth;
}

void CStepSeqVx::setColours(CColor text)
{
    textColour = text;
    dimmedColour = CColor{static_cast<uint8_t>(text.red / 2), static_cast<uint8_t>(text.green / 2),
                          static_cast<uint8_t>(text.blue / 2), 255};
}

void CStepSeqVx::setDrawColor(CColor colour)
{
    CControlVx::setDrawColor(colour);
    if (colour != textColour)
        setDirty(true);
    setColours(colour);
}

void CStepSeqVx::setText(const Vdx::String_c& text)
{
    // Only a whole pattern is taken; a text of another length is never cut
    // or padded into one.
    if (text.size() != static_cast<size_t>(StepSeqText::Length))
        return;
    if (std::memcmp(text.data(), shown.data(), StepSeqText::Length) != 0) {
        std::memcpy(shown.data(), text.data(), StepSeqText::Length);
        shown[StepSeqText::Length] = 0;
        setDirty(true);
    }
    displayText = Vdx::String_c(shown.data());
}

int CStepSeqVx::levelOf(const Pattern& p, int step)
{
    step = std::clamp(step, 0, StepSeqText::Steps - 1);
    return static_cast<unsigned char>(p[static_cast<size_t>(StepSeqText::levelAt(step))]) - 1;
}

void CStepSeqVx::setLevel(int step, int level)
{
    working = shown;
    level = std::clamp(level, StepSeqText::LevelRest, StepSeqText::LevelTie);
    step = std::clamp(step, 0, StepSeqText::Steps - 1);
    working[static_cast<size_t>(StepSeqText::levelAt(step))] = static_cast<char>(level + 1);
    userText = Vdx::String_c(working.data());
    if (userText.size() == static_cast<size_t>(StepSeqText::Length) && listener)
        listener->valueChanged(this);
}

int CStepSeqVx::stepAt(const CPoint& p) const
{
    return ((p.h - size.left) / cellWidth) * rows + (p.v - size.top) / cellHeight;
}

int CStepSeqVx::cellCentreY(int step) const
{
    return size.top + (step % rows) * cellHeight + cellHeight / 2;
}

void CStepSeqVx::optionStep()
{
    setLevel(editStep, lastPoint.v <= centreY ? startLevel + 1 : startLevel - 1);
}

CMouseEventResult CStepSeqVx::onMouseDown(CPoint& where, const long& buttons)
{
    if (mouseDown) {
        CPoint p = lastPoint;
        onMouseUp(p, 0);
    }
    mouseDown = true;
    initOldUserValue();
    editStep = stepAt(where);
    startLevel = levelOf(shown, editStep);
    centreY = cellCentreY(editStep);
    lastPoint = where;

    if (buttons & kControl) {
        setLevel(editStep, CommandClickLevel);
        redrawIfDirty();
        mouseDown = false;
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    if (buttons & kAlt) {
        if (!(buttons & AnyButton)) {
            redrawIfDirty();
            mouseDown = false;
            return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
        }
        // One step at once, then the same step again every 200 ms while held.
        optionStep();
        dropTimer(repeatTimer);
        repeatTimer = new CVSTGUITimer(this, OptionRepeatMs);
        repeatTimer->start();
        redrawIfDirty();
        return kMouseEventHandled;
    }
    return onMouseMoved(where, buttons);
}

CMouseEventResult CStepSeqVx::onMouseMoved(CPoint& where, const long& buttons)
{
    if (!mouseDown || !(buttons & AnyButton))
        return kMouseEventNotHandled;
    if (repeatTimer) {
        lastPoint = where;
        return kMouseEventHandled;
    }
    // Two pixels per level, measured from the centre of the pressed cell.
    setLevel(editStep, startLevel + (centreY - where.v) / 2);
    lastPoint = where;
    redrawIfDirty();
    return kMouseEventHandled;
}

CMouseEventResult CStepSeqVx::onMouseUp(CPoint&, const long&)
{
    dropTimer(repeatTimer);
    if (!mouseDown)
        return kMouseEventNotHandled;
    mouseDown = false;
    return kMouseEventHandled;
}

CMessageResult CStepSeqVx::notify(CBaseObject* sender, const char* message)
{
    if (message && std::strcmp(message, kMsgTimer) == 0 && repeatTimer && sender == repeatTimer) {
        optionStep();
        redrawIfDirty();
        return kMessageNotified;
    }
    return CControlVx::notify(sender, message);
}

bool CStepSeqVx::onWheel(const CPoint& where, const float& distance, const long&)
{
    const int step = stepAt(where);
    const int level = levelOf(shown, step);
    setLevel(step, distance > 0 ? level + 1 : level - 1);
    redrawIfDirty();
    return true;
}

void CStepSeqVx::draw(CDrawContext* context)
{
    CControlVx::draw(context);
    if (!backgroundBitmap || std::strlen(shown.data()) != static_cast<size_t>(StepSeqText::Length))
        return;
    const int active = static_cast<unsigned char>(shown[StepSeqText::ActiveAt]) - 1;
    const int length = static_cast<unsigned char>(shown[StepSeqText::StepCountAt]) - 1;
    context->setFont(font);
    for (int c = 0; c < columns; ++c) {
        for (int r = 0; r < rows; ++r) {
            const int step = c * rows + r;
            if (step >= StepSeqText::Steps)
                return;
            int x = size.left + margin + c * cellWidth;
            const int y = size.top + r * cellHeight;
            if (hasMarker && markerBitmap) {
                markerBitmap->drawOpaque(context, CRect(x, y, x + markerWidth, y + markerFrameHeight),
                                         CPoint(0, step == active ? 0 : markerFrameHeight));
                x += markerWidth;
            }
            char text[8];
            StepSeqText::levelText(levelOf(shown, step), text);
            context->setFontColor(step < length ? textColour : dimmedColour);
            context->drawString(text, CRect(x, y, x + laneWidth, y + cellHeight), kCenterText);
        }
    }
}

// --------------------------------------------------------------- step bar

COnOffBar::COnOffBar(const CRect& s, CControlListenerVx* l, int tag, CBitmap* picture, int stepCount)
    : CControlVx(s, l, tag), bitmap(picture), steps(std::max(1, stepCount)),
      stepWidth(std::max(1, s.width() / std::max(1, stepCount))),
      buffer(new char[static_cast<size_t>(steps) + 2]())
{
    controlKind = Kind;
    textMode = true;
}

int COnOffBar::stepAt(const CPoint& where) const
{
    return std::clamp((where.h - size.left) / stepWidth, 0, steps - 1);
}

CMouseEventResult COnOffBar::onMouseDown(CPoint& where, const long&)
{
    initOldUserValue();
    stepUp = stepDown = false;
    Vdx::String_c text = displayText;
    text.truncateLength(steps);
    // A text that does not hold one character per step is not shown, so a
    // click on it changes nothing rather than editing a pattern unseen.
    if (text.size() != static_cast<size_t>(steps))
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    const int i = stepAt(where);
    beginEdit(getTag());
    std::memcpy(buffer.get(), text.data(), static_cast<size_t>(steps));
    buffer[static_cast<size_t>(steps)] = 0;
    buffer[static_cast<size_t>(i)] = buffer[static_cast<size_t>(i)] == '0' ? '1' : '0';
    userText = Vdx::String_c(buffer.get());
    if (listener)
        listener->valueChanged(this);
    redrawIfDirty();
    endEdit(getTag());
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

void COnOffBar::draw(CDrawContext* context)
{
    CControlVx::draw(context);
    if (!bitmap || displayText.size() != static_cast<size_t>(steps))
        return;
    const int h = size.height();
    for (int i = 0; i < steps; ++i) {
        const bool on = displayText[static_cast<size_t>(i)] - '0' >= 1;
        const CRect cell(size.left + i * stepWidth, size.top, size.left + (i + 1) * stepWidth, size.bottom);
        if (optionFlag)
            bitmap->draw(context, cell, CPoint(0, on ? h : 0));
        else
            bitmap->drawOpaque(context, cell, CPoint(0, on ? h : 0));
    }
}
