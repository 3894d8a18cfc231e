#include "ButtonsAndDisplays.h"

#include "CBitmap.h"
#include "CDrawContext.h"
#include "EditorLook.h"
#include "EditorPictures.h"
#include "ParaDefinition.h"
#include "SafeDiv.h"
#include "Synth.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {
// Value and depth drags per pixel, normal and fine (250 and 2500 pixels for
// the whole range).
constexpr float DragStep = 0.004f;
constexpr float DragStepFine = 0.0004f;
// A double click's kept depth and the zero depth it sets.
constexpr float ZeroDepth = 0.5f;
// The depth display's normal range is 1500 shaped pixels either way; in
// semitone mode one pixel near the centre is one cent.
constexpr float DepthPixels = 1500.f;
constexpr int CentsPerSemitone = 100;

float clamp01(float v)
{
    return std::clamp(v, 0.f, 1.f);
}

// Numbers in text never depend on the host's locale.
Vdx::String_c fixedText(double v, int decimals)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, std::max(0, decimals));
    return Vdx::String_c(std::string(buf, r.ec == std::errc() ? r.ptr : buf));
}

Vdx::String_c intText(long long v)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return Vdx::String_c(std::string(buf, r.ptr));
}

// Draws a display's text in its look: the font of its role, fitted to the
// box, in the given colour; the context's font colour comes back.
void drawText(CDrawContext* context, const Vdx::String_c& text, const CRect& box, CFontRef role, CColor colour,
              CHoriTxtAlign align)
{
    const CColor saved = context->getFontColor();
    context->setFontColor(colour);
    context->setFont(Look::fittedFont(role, box, text.c_str()));
    context->drawString(text.c_str(), box, align);
    context->setFontColor(saved);
}

// The depth display's shaping: further from the centre, faster. Each row is
// a distance from which on the slope and offset hold.
struct Shape
{
    int from;
    int slope;
    int offset;
};
constexpr Shape NormalShape[] = {{121, 9, -720}, {91, 6, -360}, {61, 3, -90}, {31, 2, -30}, {0, 1, 0}};
constexpr Shape SemitoneShape[] = {{121, 16, -1470}, {91, 8, -510}, {61, 4, -150}, {31, 2, -30}, {0, 1, 0}};

template <size_t N>
int shaped(int a, const Shape (&table)[N])
{
    for (const Shape& s : table)
        if (a >= s.from)
            return s.slope * a + s.offset;
    return a;
}
} // namespace

// ------------------------------------------------------------- radio grid

CRadioButtonVx::CRadioButtonVx(CRect s, CControlListenerVx* l, int tag, int c, int r, bool rm, CBitmap* b)
    : CControlVx(s, l, tag), bitmap(b), columns(std::max(1, c)), rows(std::max(1, r)), rowMajor(rm),
      cellWidth(s.width() / columns), cellHeight(s.height() / rows)
{
    setType(kControlKindRadio);
}

float CRadioButtonVx::valueFromPoint(CPoint& where)
{
    if (!PointInRect(where.h, where.v, size.left, size.top, size.right - 1, size.bottom - 1) || cellWidth < 1 ||
        cellHeight < 1)
        return toParameterDirection(slots[0].userValue);
    const int row = (where.v - 1 - size.top) / cellHeight;
    const int column = (where.h - 1 - size.left) / cellWidth;
    const int index = rowMajor ? row * columns + column : column * rows + row;
    return clamp01(so_fdiv(static_cast<float>(index), static_cast<float>(columns * rows - 1)));
}

int CRadioButtonVx::litIndex() const
{
    return static_cast<int>(columns * rows * slots[0].dispValue * 0.99f);
}

void CRadioButtonVx::draw(CDrawContext* context)
{
    CControlVx::draw(context);
    if (!bitmap)
        return;
    EditorPictures::draw(bitmap, context, size, CPoint(0, 0), false);
    const int index = litIndex();
    const int row = rowMajor ? index / columns : index % rows;
    const int column = rowMajor ? index % columns : index / rows;
    const CRect cell(size.left + column * cellWidth, size.top + row * cellHeight,
                     size.left + (column + 1) * cellWidth, size.top + (row + 1) * cellHeight);
    EditorPictures::draw(bitmap, context, cell, CPoint(column * cellWidth, size.height() + row * cellHeight), false);
}

// ------------------------------------------------------ multi-state button

COnOffButtonVx::COnOffButtonVx(CRect& s, CControlListenerVx* l, int tag, CBitmap* b, int n)
    : CControlVx(s, l, tag), bitmap(b), states(n)
{
    setType(kControlKindOnOff);
}

CMouseEventResult COnOffButtonVx::onMouseDown(CPoint&, const long& buttons)
{
    initOldUserValue();
    stepUp = stepDown = false;
    if (states < 2)
        return kMouseEventNotHandled;
    rightButton = (buttons & kRButton) != 0;
    beginEdit(getTag());
    const float step = 1.f / static_cast<float>(states - 1);
    float v = slots[0].dispValue;
    if (buttons & kLButton) {
        v += step;
        if (v > step + 0.99f)
            v = 0.f;
    } else {
        v -= step;
        if (v < 0.01f - step)
            v = 1.f;
    }
    slots[0].userValue = v;
    if (listener)
        listener->valueChanged(this);
    redrawIfDirty();
    endEdit(getTag());
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

int COnOffButtonVx::frameIndex() const
{
    return std::clamp(static_cast<int>((states - 1) * slots[0].dispValue + 0.001f), 0, std::max(0, states - 1));
}

void COnOffButtonVx::draw(CDrawContext* context)
{
    CControlVx::draw(context);
    if (bitmap)
        EditorPictures::draw(bitmap, context, size, CPoint(0, frameIndex() * size.height()), optionFlag);
}

// ------------------------------------------------------------------ label

CLabelVx::CLabelVx(CRect s, CControlListenerVx* l, int tag, CBitmap* bg, CFontRef f, CColor text, CHoriTxtAlign a)
    : CControlVx(s, l, tag), backgroundBitmap(bg), font(f), align(a), backgroundPoint(s.getTopLeft())
{
    drawColor = text;
    showsText = true;
    setMouseEnabled(false);
}

void CLabelVx::draw(CDrawContext* context)
{
    if (backgroundBitmap)
        EditorPictures::draw(backgroundBitmap, context, size, backgroundPoint, false);
    drawText(context, displayText, size, font, drawColor, align);
    CControlVx::draw(context);
}

// ---------------------------------------------------------- depth display

CModDepthDisp::CModDepthDisp(CRect& s, CControlListenerVx* l, int tag, Synth* engine, CBitmap* bg)
    : CControlVx(s, l, tag)
{
    if (!engine)
        return;
    backgroundBitmap = bg;
    backgroundPoint = s.getTopLeft();
    drawColor = kBlackCColor;
    stepUp = stepDown = false;
    doubleClickEnabled = true;
    setType(kControlKindDepth);
}

void CModDepthDisp::setFont(CFontRef f)
{
    font = f;
    setDirty(true);
}

void CModDepthDisp::setHoriAlign(CHoriTxtAlign a)
{
    align = a;
    setDirty(true);
}

void CModDepthDisp::setSemitoneMode(int s)
{
    if (s == semitones)
        return;
    semitones = s;
    setDirty(true);
}

float CModDepthDisp::valueFromPoint(CPoint& where)
{
    kept = NoneKept;
    const int centre = size.top + size.height() / 2;
    const float start = valueAtPress;
    if (semitones == 0) {
        const int d = centre - where.v; // up is positive
        const float sign = d >= 0 ? 1.f : -1.f;
        const int a = shaped(std::abs(d), NormalShape);
        return start - 0.5f + (sign * static_cast<float>(a) / DepthPixels + 1.f) * 0.5f;
    }
    const int d = where.v - centre;
    const float sign = d > 0 ? 1.f : (d < 0 ? -1.f : 0.f);
    const int a = shaped(std::abs(d), SemitoneShape);
    return start - 0.5f +
           (-sign * static_cast<float>(a) / static_cast<float>(semitones * CentsPerSemitone) + 1.f) * 0.5f;
}

void CModDepthDisp::handleDoubleClick()
{
    if (kept == NoneKept) {
        kept = slots[0].userValue;
        slots[0].userValue = ZeroDepth;
    } else {
        slots[0].userValue = kept;
        kept = NoneKept;
    }
}

void CModDepthDisp::setValue(float v)
{
    if (v != slots[0].userValue)
        kept = NoneKept;
    CControlVx::setValue(v);
}

void CModDepthDisp::setValue(int editIndex, float v)
{
    if (editIndex == slots[0].editIdx && clamp01(v) != slots[0].userValue)
        kept = NoneKept;
    CControlVx::setValue(editIndex, v);
}

Vdx::String_c CModDepthDisp::shownText() const
{
    const float v = slots[0].dispValue;
    if (semitones == 0)
        return fixedText(2.0 * v - 1.0, 4);
    // Cents, rounded half away from zero.
    const double exact = -semitones * CentsPerSemitone + 2.0 * semitones * CentsPerSemitone * v;
    const long long cents = static_cast<long long>(v < 0.5f ? exact - 0.5 : exact + 0.5);
    const long long whole = std::llabs(cents) / CentsPerSemitone;
    const long long rest = std::llabs(cents) % CentsPerSemitone;
    Vdx::String_c text = cents < 0 ? "-" : "";
    text += intText(whole);
    text += rest < 10 ? ":0" : ":";
    text += intText(rest);
    return text;
}

void CModDepthDisp::draw(CDrawContext* context)
{
    if (backgroundBitmap)
        EditorPictures::draw(backgroundBitmap, context, size, backgroundPoint, false);
    drawText(context, shownText(), size, font, drawColor, align);
    CControlVx::draw(context);
}

// ---------------------------------------------------------- value display

CVarDisplay::CVarDisplay(CRect& s, CControlListenerVx* l, int tag, Synth* engine, CBitmap* bg)
    : CControlVx(s, l, tag), backgroundBitmap(bg), backgroundPoint(s.getTopLeft())
{
    if (engine) {
        paraType = engine->getParaType(tag);
        low = engine->getParaLowValue(tag);
        high = engine->getParaHighValue(tag);
        precision = engine->getParaPrecision(tag);
    }
    drawColor = kBlackCColor;
    showsText = true;
    stepUp = stepDown = false;
    setType(kControlKindVarDisplay);
}

void CVarDisplay::setFont(CFontRef f)
{
    font = f;
    setDirty(true);
}

void CVarDisplay::setHoriAlign(CHoriTxtAlign a)
{
    align = a;
    setDirty(true);
}

float CVarDisplay::valueFromPoint(CPoint& where, bool fine)
{
    const float k = fine ? DragStepFine : DragStep;
    return clamp01(toParameterDirection(slots[0].userValue) + static_cast<float>(lastPoint.v - where.v) * k);
}

Vdx::String_c CVarDisplay::shownText() const
{
    if (!displayText.empty())
        return displayText;
    const int range = high - low;
    const float v = slots[0].dispValue;
    if (paraType == ptVolume) {
        // Levels count in 0.2 dB steps; the floor is silence.
        const int n = static_cast<int>(range * v);
        return n == 0 ? Vdx::String_c("-oo") : intText((n + low) / 5);
    }
    const double scale = std::pow(10.0, precision);
    return fixedText(low / scale + range / scale * v, precision);
}

void CVarDisplay::draw(CDrawContext* context)
{
    if (backgroundBitmap)
        EditorPictures::draw(backgroundBitmap, context, size, backgroundPoint, false);
    drawText(context, shownText(), size, font, drawColor, align);
    CControlVx::draw(context);
}

// ------------------------------------------------------ plus/minus display

CPlusMinusDisplay::CPlusMinusDisplay(CRect s, CControlListenerVx* l, int tag, CRect text, CRect up, CRect down,
                                     CBitmap* bg, CFontRef f, CColor textColour)
    : CControlVx(s, l, tag), textSource(text), textRect(text), upRect(up), downRect(down), backgroundBitmap(bg),
      font(f)
{
    drawColor = textColour;
    showsText = true;
    setType(kControlKindPlusMinus);
}

float CPlusMinusDisplay::valueFromPoint(CPoint& where, bool fine)
{
    stepUp = stepDown = false;
    const auto inside = [&](const CRect& r) {
        return PointInRect(where.h, where.v, r.left, r.top, r.right, r.bottom);
    };
    if (inside(upRect)) {
        stepUp = true;
        return slots[0].dispValue;
    }
    if (inside(downRect)) {
        stepDown = true;
        return slots[0].dispValue;
    }
    const float k = fine ? DragStepFine : DragStep;
    return clamp01(toParameterDirection(slots[0].userValue) + static_cast<float>(lastPoint.v - where.v) * k);
}

void CPlusMinusDisplay::setViewSize(const CRect& r)
{
    const int dx = r.left - size.left;
    const int dy = r.top - size.top;
    textRect.offset(dx, dy);
    upRect.offset(dx, dy);
    downRect.offset(dx, dy);
    CControlVx::setViewSize(r);
    setDirty(true);
}

void CPlusMinusDisplay::draw(CDrawContext* context)
{
    if (backgroundBitmap)
        EditorPictures::draw(backgroundBitmap, context, textRect, textSource.getTopLeft(), false);
    drawText(context, displayText, textRect, font, drawColor, kCenterText);
    CControlVx::draw(context);
}
