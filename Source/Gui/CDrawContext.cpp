#include "CDrawContext.h"

#include "CBitmap.h"

#include <cairo.h>

namespace {
const CFontDesc fontVeryBig{"DejaVu Sans", 18};
const CFontDesc fontBig{"DejaVu Sans", 14};
const CFontDesc fontNormal{"DejaVu Sans", 12};
const CFontDesc fontSmall{"DejaVu Sans", 11};
const CFontDesc fontSmaller{"DejaVu Sans", 10};
const CFontDesc fontVerySmall{"DejaVu Sans", 9};
} // namespace

const CFontRef kNormalFontVeryBig = &fontVeryBig;
const CFontRef kNormalFontBig = &fontBig;
const CFontRef kNormalFont = &fontNormal;
const CFontRef kNormalFontSmall = &fontSmall;
const CFontRef kNormalFontSmaller = &fontSmaller;
const CFontRef kNormalFontVerySmall = &fontVerySmall;

CDrawContext::CDrawContext(CBitmap* target)
    : cr(cairo_create(target->getSurface())), owned(true), font(kNormalFont)
{
}

// The caller's context: we hold a reference of our own while we draw.
CDrawContext::CDrawContext(cairo_t* borrowed) : cr(cairo_reference(borrowed)), owned(true), font(kNormalFont) {}

CDrawContext::~CDrawContext()
{
    if (owned)
        cairo_destroy(cr);
}

void CDrawContext::setSource(CColor c)
{
    cairo_set_source_rgba(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0, c.alpha / 255.0);
}

void CDrawContext::setFont(CFontRef f, int style)
{
    font = f ? f : kNormalFont;
    fontStyle = style;
}

void CDrawContext::drawLine(const CPoint& from, const CPoint& to)
{
    // Half-pixel centres give crisp one-pixel lines.
    setSource(frameColor);
    cairo_set_line_width(cr, lineWidth);
    cairo_move_to(cr, from.h + 0.5, from.v + 0.5);
    cairo_line_to(cr, to.h + 0.5, to.v + 0.5);
    cairo_stroke(cr);
}

void CDrawContext::drawRect(const CRect& r, CDrawStyle style)
{
    if (r.isEmpty())
        return;
    if (style != kDrawStroked) {
        setSource(fillColor);
        cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
        cairo_fill(cr);
    }
    if (style != kDrawFilled) {
        setSource(frameColor);
        cairo_set_line_width(cr, lineWidth);
        cairo_rectangle(cr, r.left + 0.5, r.top + 0.5, r.width() - 1, r.height() - 1);
        cairo_stroke(cr);
    }
}

void CDrawContext::drawEllipse(const CRect& r, CDrawStyle style)
{
    if (r.isEmpty())
        return;
    cairo_save(cr);
    cairo_translate(cr, r.left + r.width() / 2.0, r.top + r.height() / 2.0);
    cairo_scale(cr, r.width() / 2.0, r.height() / 2.0);
    cairo_arc(cr, 0, 0, 1, 0, 6.283185307179586);
    cairo_restore(cr);
    if (style != kDrawStroked) {
        setSource(fillColor);
        if (style == kDrawFilled)
            cairo_fill(cr);
        else
            cairo_fill_preserve(cr);
    }
    if (style != kDrawFilled) {
        setSource(frameColor);
        cairo_set_line_width(cr, lineWidth);
        cairo_stroke(cr);
    }
}

namespace {
void selectFont(cairo_t* cr, CFontRef font, int style)
{
    cairo_select_font_face(cr, font->family,
                           (style & kItalicFace) ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                           (style & kBoldFace) ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, font->size);
}
} // namespace

void CDrawContext::drawString(const char* text, const CRect& r, CHoriTxtAlign align)
{
    if (!text || !*text || r.isEmpty())
        return;
    cairo_save(cr);
    cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
    cairo_clip(cr);
    selectFont(cr, font, fontStyle);
    cairo_text_extents_t ext;
    cairo_text_extents(cr, text, &ext);
    cairo_font_extents_t fext;
    cairo_font_extents(cr, &fext);
    double x = r.left + 1;
    if (align == kCenterText)
        x = r.left + (r.width() - ext.x_advance) / 2.0;
    else if (align == kRightText)
        x = r.right - 1 - ext.x_advance;
    const double y = r.top + (r.height() + fext.ascent - fext.descent) / 2.0;
    setSource(fontColor);
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, text);
    cairo_restore(cr);
}

CCoord CDrawContext::getStringWidth(const char* text)
{
    if (!text)
        return 0;
    cairo_save(cr);
    selectFont(cr, font, fontStyle);
    cairo_text_extents_t ext;
    cairo_text_extents(cr, text, &ext);
    cairo_restore(cr);
    return static_cast<CCoord>(ext.x_advance + 0.5);
}

void CDrawContext::push()
{
    cairo_save(cr);
}

void CDrawContext::pop()
{
    cairo_restore(cr);
}

void CDrawContext::translate(CCoord dx, CCoord dy)
{
    cairo_translate(cr, dx, dy);
}

void CDrawContext::clip(const CRect& r)
{
    cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
    cairo_clip(cr);
}
