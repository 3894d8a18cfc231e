#include "CDrawContext.h"

#include "CBitmap.h"

#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

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
    setSource(frameColor);
    if (lineWidth > 1) {
        cairo_set_line_width(cr, lineWidth);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
        cairo_move_to(cr, from.h + 0.5, from.v + 0.5);
        cairo_line_to(cr, to.h + 0.5, to.v + 0.5);
        cairo_stroke(cr);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
        return;
    }
    // The stepped line as runs of whole pixels along its major axis: each
    // run is one filled rectangle, so no pixel is half covered.
    const CCoord dx = std::abs(to.h - from.h);
    const CCoord dy = std::abs(to.v - from.v);
    const CCoord sx = to.h >= from.h ? 1 : -1;
    const CCoord sy = to.v >= from.v ? 1 : -1;
    CCoord x = from.h;
    CCoord y = from.v;
    CCoord runStart = dx >= dy ? x : y;
    CCoord err = dx - dy;
    for (;;) {
        const bool last = x == to.h && y == to.v;
        CCoord e2 = 2 * err;
        const bool stepX = !last && e2 > -dy;
        const bool stepY = !last && e2 < dx;
        // A run ends where the minor coordinate changes, or at the last pixel.
        if (dx >= dy ? (stepY || last) : (stepX || last)) {
            if (dx >= dy)
                cairo_rectangle(cr, std::min(runStart, x), y, std::abs(x - runStart) + 1, 1);
            else
                cairo_rectangle(cr, x, std::min(runStart, y), 1, std::abs(y - runStart) + 1);
        }
        if (last)
            break;
        if (stepX) {
            err -= dy;
            x += sx;
        }
        if (stepY) {
            err += dx;
            y += sy;
        }
        if (dx >= dy ? stepY : stepX)
            runStart = dx >= dy ? x : y;
    }
    cairo_fill(cr);
}

void CDrawContext::drawPoint(const CPoint& where, CColor colour)
{
    setSource(colour);
    cairo_rectangle(cr, where.h, where.v, 1, 1);
    cairo_fill(cr);
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

void CDrawContext::drawPolygon(const CPoint* points, int count, CDrawStyle style)
{
    if (!points || count < 2)
        return;
    if (style != kDrawStroked) {
        // Filled over whole pixels: a point is a pixel's top-left corner.
        cairo_move_to(cr, points[0].h, points[0].v);
        for (int i = 1; i < count; ++i)
            cairo_line_to(cr, points[i].h, points[i].v);
        cairo_close_path(cr);
        setSource(fillColor);
        cairo_fill(cr);
    }
    if (style != kDrawFilled) {
        cairo_move_to(cr, points[0].h + 0.5, points[0].v + 0.5);
        for (int i = 1; i < count; ++i)
            cairo_line_to(cr, points[i].h + 0.5, points[i].v + 0.5);
        cairo_close_path(cr);
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

// True when cairo takes the text as it is: well-formed UTF-8 (shortest
// forms, no surrogates, nothing past U+10FFFF) without the noncharacters
// U+FDD0..U+FDEF and U+xxFFFE/U+xxFFFF, which cairo refuses as well. Cairo
// puts a context that is handed anything else into an error state for good,
// which would blank every later view of the pass.
bool cairoTakes(const unsigned char* s)
{
    while (*s) {
        const unsigned char lead = *s;
        int more = 0;
        uint32_t cp = 0;
        uint32_t least = 0;
        if (lead < 0x80) {
            ++s;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            more = 1, cp = lead & 0x1F, least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            more = 2, cp = lead & 0x0F, least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            more = 3, cp = lead & 0x07, least = 0x10000;
        } else {
            return false;
        }
        ++s;
        for (int i = 0; i < more; ++i, ++s) {
            if ((*s & 0xC0) != 0x80)
                return false; // also stops at the terminating zero
            cp = (cp << 6) | (*s & 0x3F);
        }
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) || (cp >= 0xFDD0 && cp <= 0xFDEF) ||
            (cp & 0xFFFE) == 0xFFFE)
            return false;
    }
    return true;
}

// The text as cairo may draw it: valid UTF-8 unchanged, anything else read
// as ISO Latin-1 (the rule the toolkit applies to names from files).
const char* drawable(const char* text, std::string& scratch)
{
    if (cairoTakes(reinterpret_cast<const unsigned char*>(text)))
        return text;
    scratch.clear();
    for (const unsigned char* s = reinterpret_cast<const unsigned char*>(text); *s; ++s) {
        if (*s < 0x80) {
            scratch += static_cast<char>(*s);
        } else {
            scratch += static_cast<char>(0xC0 | (*s >> 6));
            scratch += static_cast<char>(0x80 | (*s & 0x3F));
        }
    }
    return scratch.c_str();
}
} // namespace

void CDrawContext::drawString(const char* text, const CRect& r, CHoriTxtAlign align)
{
    if (!text || !*text || r.isEmpty())
        return;
    std::string scratch;
    text = drawable(text, scratch);
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
    if (!text || !*text)
        return 0;
    std::string scratch;
    text = drawable(text, scratch);
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
