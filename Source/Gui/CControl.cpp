#include "CControl.h"

#include "CBitmap.h"
#include "CDrawContext.h"
#include "GuiKeys.h"
#include "VstInterface.h"

#include <cstring>

namespace {
bool sameName(const char* a, const char* b)
{
    return a && std::strcmp(a, b) == 0;
}
} // namespace

CControl::CControl(const CRect& s, CControlListener* l, int32_t t, CBitmap* bitmap) : CView(s), listener(l), tag(t)
{
    setBackground(bitmap);
}

void CControl::bounceValue()
{
    if (value > vmax)
        value = vmax;
    else if (value < vmin)
        value = vmin;
}

bool CControl::isTypeOf(const char* name) const
{
    return sameName(name, "CControl") || CView::isTypeOf(name);
}

// ---------------------------------------------------------------------------

CParamDisplay::CParamDisplay(const CRect& s, CBitmap* bitmap, int32_t st)
    : CControl(s, nullptr, 0, bitmap), font(kNormalFontSmall), style(st)
{
}

void CParamDisplay::setText(const char* t)
{
    const std::string next = t ? t : "";
    if (next == text)
        return;
    text = next;
    setDirty(true);
}

void CParamDisplay::drawBox(CDrawContext* context)
{
    if (background)
        background->draw(context, size, backOffset);
    else if (!transparent && !(style & kNoDrawStyle)) {
        context->setFillColor(backColor);
        context->drawRect(size, kDrawFilled);
    }
    if (!transparent && !(style & kNoFrame)) {
        context->setFrameColor(frameColor);
        context->drawRect(size, kDrawStroked);
    }
}

void CParamDisplay::drawText(CDrawContext* context, const char* shown)
{
    context->setFont(font, txtFace);
    context->setFontColor(fontColor);
    CRect inner = size;
    inner.inset(1, 0);
    context->drawString(shown, inner, align);
}

void CParamDisplay::draw(CDrawContext* context)
{
    drawBox(context);
    drawText(context, text.c_str());
    dirty = false;
}

bool CParamDisplay::isTypeOf(const char* name) const
{
    return sameName(name, "CParamDisplay") || CControl::isTypeOf(name);
}

// ---------------------------------------------------------------------------

CTextEdit::CTextEdit(const CRect& s, CControlListener* l, int32_t t, const char* txt, CBitmap* bitmap, int32_t st)
    : CParamDisplay(s, bitmap, st)
{
    listener = l;
    tag = t;
    setText(txt);
}

void CTextEdit::draw(CDrawContext* context)
{
    drawBox(context);
    if (editing) {
        // A caret after the text shows that typing goes here.
        const std::string shown = text + "|";
        drawText(context, shown.c_str());
    } else {
        drawText(context, text.c_str());
    }
    dirty = false;
}

CMouseEventResult CTextEdit::onMouseDown(CPoint&, const long& buttons)
{
    if (!(buttons & kLButton))
        return kMouseEventNotHandled;
    editing = true;
    setDirty(true);
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

void CTextEdit::looseFocus()
{
    if (!editing)
        return;
    editing = false;
    setDirty(true);
    if (listener)
        listener->valueChanged(this);
}

int32_t CTextEdit::onKeyDown(VstKeyCode& key)
{
    if (!editing)
        return -1;
    switch (key.virt) {
    case kVKeyReturn:
    case kVKeyEnter:
        looseFocus();
        return 1;
    case kVKeyEscape:
        editing = false;
        setDirty(true);
        return 1;
    case kVKeyBack:
        if (!text.empty())
            text.pop_back();
        setDirty(true);
        return 1;
    default:
        break;
    }
    if (key.character >= 32 && key.character < 127) {
        text.push_back(static_cast<char>(key.character));
        setDirty(true);
        return 1;
    }
    return -1;
}

bool CTextEdit::isTypeOf(const char* name) const
{
    return sameName(name, "CTextEdit") || CParamDisplay::isTypeOf(name);
}
