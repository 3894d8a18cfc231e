#include "KnobsAndSliders.h"

#include "CBitmap.h"
#include "CDrawContext.h"
#include "EditorPictures.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double TwoPi = 6.283185307179586;
// Where a knob's travel starts, before its offset: 150 degrees left of
// straight up, as the single-precision constant widened.
constexpr float StartBase = 2.618f;
// Beyond this change in one move a knob keeps its value, so a circular drag
// through the dead zone at its bottom does not jump across it.
constexpr float JumpGuard = 0.7f;
// An angle of this many degrees or more makes the knob endless.
constexpr float WrapAngle = 359.99f;
// Slider travel per pixel, normal and fine (about 167 pixels for the range).
constexpr float SliderStep = 0.006f;
constexpr float SliderStepFine = 0.0006f;
// A scroll bar's thumb is never shorter than this.
constexpr int MinThumb = 8;

float clamp01(float v)
{
    return std::clamp(v, 0.f, 1.f);
}
} // namespace

// ------------------------------------------------------------------ knob

CMIKnob::CMIKnob(CRect s, CControlListenerVx* l, int tag, CBitmap* bg, CBitmap* st, int count, float a, float offset)
    : CControlVx(s, l, tag), backgroundBitmap(bg), strip(st), wrap(a >= WrapAngle), frames(count), angle(a)
{
    angleScale = static_cast<float>(360.0 / (static_cast<double>(angle) * TwoPi));
    double start = offset / 360.0 * TwoPi + static_cast<double>(StartBase);
    while (start < 0)
        start += TwoPi;
    while (start > TwoPi)
        start -= TwoPi;
    startAngle = static_cast<float>(start);
    setType(kControlKindKnob);
}

float CMIKnob::valueFromPoint(CPoint& where, bool fine)
{
    return circularMode ? valueFromPointCir(where) : valueFromPointLin(where, fine);
}

float CMIKnob::valueFromPointLin(CPoint& where, bool fine)
{
    const float start = toParameterDirection(slots[0].userValue);
    const float divisor = way * (fine ? 10.f : 1.f);
    float v = static_cast<float>(lastPoint.v - where.v) / divisor * 0.5f + start;
    if (wrap) {
        while (v > 1.f)
            v -= 1.f;
        while (v < 0.f)
            v += 1.f;
        return v;
    }
    return clamp01(v);
}

float CMIKnob::valueFromPointCir(CPoint& where)
{
    const int dx = where.h - (size.left + size.width() / 2);
    const int dy = where.v - (size.top + size.height() / 2);
    // At the very centre the angle means nothing: the value stays.
    if (dx == 0 && dy == 0)
        return toParameterDirection(slots[0].userValue);
    const double a = std::atan2(static_cast<double>(dx), static_cast<double>(-dy));
    const float v = clamp01(static_cast<float>((a + startAngle) * angleScale));
    if (wrap)
        return v;
    const float shown = slots[0].dispValue;
    return std::fabs(v - shown) > JumpGuard ? shown : v;
}

int CMIKnob::frameIndex() const
{
    const int index = static_cast<int>((frames - 1) * slots[0].dispValue + 0.001f);
    return std::clamp(index, 0, std::max(0, frames - 1));
}

void CMIKnob::draw(CDrawContext* context)
{
    CControlVx::draw(context);
    if (!strip)
        return;
    EditorPictures::draw(strip, context, size, CPoint(0, frameIndex() * size.height()), optionFlag);
}

// ---------------------------------------------------------------- slider

CSliderVx::CSliderVx(CRect& back, CRect& s, CControlListenerVx* l, int tag, CBitmap* h, CBitmap* bg)
    : CControlVx(s, l, tag), handle(h), backgroundBitmap(bg), horizontal(s.width() > s.height())
{
    if (!handle || !backgroundBitmap)
        return;
    backSource = back;
    backRect = back;
    handleWidth = handle->getWidth();
    handleHeight = handle->getHeight();
    setType(kControlKindSlider);
}

float CSliderVx::valueFromPoint(CPoint& where, bool fine)
{
    const float k = fine ? SliderStepFine : SliderStep;
    const float start = toParameterDirection(slots[0].userValue);
    const float moved = horizontal ? static_cast<float>(where.h - lastPoint.h) : static_cast<float>(lastPoint.v - where.v);
    return clamp01(start + moved * k);
}

void CSliderVx::setViewSize(const CRect& r)
{
    backRect.offset(r.left - size.left, r.top - size.top);
    CControlVx::setViewSize(r);
    setDirty(true);
}

void CSliderVx::draw(CDrawContext* context)
{
    if (backgroundBitmap)
        EditorPictures::draw(backgroundBitmap, context, backRect, backSource.getTopLeft(), false);
    if (handle) {
        const float v = slots[0].dispValue;
        int x = size.left;
        int y = size.top;
        if (horizontal)
            x = size.left + static_cast<int>((size.width() - handleWidth) * v);
        else
            y = size.bottom - handleHeight - static_cast<int>((size.height() - handleHeight) * v);
        EditorPictures::draw(handle, context, CRect(x, y, x + handleWidth, y + handleHeight), CPoint(0, 0), true);
    }
    CControlVx::draw(context);
}

// ------------------------------------------------------------- drawbar

CDrawbarVx::CDrawbarVx(CRect& s, int hh, CControlListenerVx* l, int tag, CBitmap* b, CBitmap* bg)
    : CControlVx(s, l, tag), bar(b), backgroundBitmap(bg), handleHeight(hh)
{
    if (!bar || !backgroundBitmap)
        return;
    backgroundRect = s;
    travel = CRect(s.left, s.top + handleHeight / 2, s.right, s.bottom - handleHeight / 2);
    setType(kControlKindSlider);
}

float CDrawbarVx::valueFromPoint(CPoint& where)
{
    const int length = travel.bottom - travel.top;
    if (length == 0)
        return 0.f;
    return static_cast<float>(where.v - travel.top) / static_cast<float>(length);
}

bool CDrawbarVx::onWheel(const CPoint& where, const float& distance, const long& buttons)
{
    const float turned = -distance;
    return CControlVx::onWheel(where, turned, buttons);
}

void CDrawbarVx::draw(CDrawContext* context)
{
    if (backgroundBitmap)
        EditorPictures::draw(backgroundBitmap, context, backgroundRect, size.getTopLeft(), false);
    if (bar) {
        const int length = travel.bottom - travel.top;
        const int shown = static_cast<int>(length * slots[0].dispValue);
        EditorPictures::draw(bar, context,
                             CRect(travel.left, size.top, travel.right, size.top + handleHeight + shown),
                             CPoint(0, length - shown), optionFlag);
    }
    CControlVx::draw(context);
}

// ----------------------------------------------------------- scroll bar

CScrollbarVx::CScrollbarVx(CRect& s, CControlListenerVx* l, int tag, CBitmap* bg, int m, CColor thumb)
    : CControlVx(s, l, tag, 2), backgroundBitmap(bg), horizontal(s.width() > s.height())
{
    if (!backgroundBitmap)
        return;
    backSource = s;
    barRect = s;
    thumbColour = thumb;
    margin = m;
}

int CScrollbarVx::trackLength() const
{
    return (horizontal ? barRect.width() : barRect.height()) - 2 * margin;
}

int CScrollbarVx::thumbLength() const
{
    const int track = trackLength();
    const int thumb = static_cast<int>(slots[1].dispValue * track);
    return std::min(std::max(thumb, MinThumb), track);
}

float CScrollbarVx::valueFromPoint(CPoint& where)
{
    stepUp = stepDown = false;
    const int track = trackLength();
    const int thumb = thumbLength();
    const int freeTravel = track - thumb;
    if (freeTravel < 1)
        return 0.f;
    const int p = horizontal ? where.h : where.v;
    const int o = horizontal ? size.left : size.top;
    const int atPosition = static_cast<int>(freeTravel * slots[0].dispValue + 0.499f);
    int n;
    if (p >= o && p < o + margin) {
        if (!arrowStepDue())
            return slots[0].dispValue;
        n = atPosition - margin / 8;
    } else if (p < o + track + margin) {
        // The track, and anything before the bar: the thumb's centre follows.
        n = p - o - thumb / 2 - margin;
    } else {
        if (!arrowStepDue())
            return slots[0].dispValue;
        n = margin / 8 + atPosition;
    }
    n = std::clamp(n, 0, freeTravel);
    return static_cast<float>(n) / static_cast<float>(freeTravel);
}

bool CScrollbarVx::arrowStepDue()
{
    const int64_t now = GuiClock::nowMs();
    if (now - lastArrowStepMs < ArrowPauseMs)
        return false;
    lastArrowStepMs = now;
    return true;
}

CRect CScrollbarVx::thumbRect() const
{
    const int thumb = thumbLength();
    const int pos = static_cast<int>(slots[0].dispValue * (trackLength() - thumb) + 0.499f) + margin;
    if (horizontal)
        return CRect(size.left + pos, size.top, size.left + pos + thumb, size.bottom - 1);
    return CRect(size.left, size.top + pos, size.right, size.top + pos + thumb);
}

void CScrollbarVx::setViewSize(const CRect& r)
{
    barRect.offset(r.left - size.left, r.top - size.top);
    CControlVx::setViewSize(r);
    setDirty(true);
}

void CScrollbarVx::draw(CDrawContext* context)
{
    if (backgroundBitmap) {
        EditorPictures::draw(backgroundBitmap, context, barRect, backSource.getTopLeft(), false);
        context->setFillColor(thumbColour);
        context->setFrameColor(thumbColour);
        context->drawRect(thumbRect(), kDrawFilledAndStroked);
    }
    CControlVx::draw(context);
}
