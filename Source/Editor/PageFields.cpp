#include "PageFields.h"

#include "EditorLook.h"
#include "PicturePainters.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace PagePainters {
namespace {
using Painters::roundedRect;
using Painters::setColour;

constexpr double Pi = 3.14159265358979323846;

} // namespace

CPoint textBox(const char* text, int px, bool bold)
{
    return {static_cast<CCoord>(std::ceil(Look::textAdvance(text, Look::FontFamily, px, bold))) + 2, px + 1};
}

void glyph(cairo_t* cr, const CRect& box, Glyph g, CColor ink)
{
    const double cx = box.left + box.width() / 2.0;
    const double cy = box.top + box.height() / 2.0;
    // Half the glyph's size; a loudspeaker fills its box.
    const double s = std::max(2.0, std::min(box.width(), box.height()) * (g == Glyph::Speaker ? 0.45 : 0.28));
    cairo_save(cr);
    setColour(cr, ink);
    cairo_set_line_width(cr, 1.2);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    switch (g) {
    case Glyph::Previous:
    case Glyph::Next: {
        const double d = g == Glyph::Next ? 1 : -1;
        cairo_move_to(cr, cx + d * s * 0.8, cy);
        cairo_line_to(cr, cx - d * s * 0.6, cy - s);
        cairo_line_to(cr, cx - d * s * 0.6, cy + s);
        cairo_close_path(cr);
        cairo_fill(cr);
        break;
    }
    case Glyph::Clear:
        cairo_move_to(cr, cx - s * 0.75, cy - s * 0.75);
        cairo_line_to(cr, cx + s * 0.75, cy + s * 0.75);
        cairo_move_to(cr, cx + s * 0.75, cy - s * 0.75);
        cairo_line_to(cr, cx - s * 0.75, cy + s * 0.75);
        cairo_stroke(cr);
        break;
    case Glyph::Open: {
        // A folder: its tab on the upper left, the body below.
        const double fw = s * 2.2;
        const double fh = s * 1.6;
        const double x = std::round(cx - fw / 2) + 0.5;
        const double y = std::round(cy - fh / 2) + 0.5;
        cairo_move_to(cr, x, y + fh);
        cairo_line_to(cr, x, y);
        cairo_line_to(cr, x + fw * 0.4, y);
        cairo_line_to(cr, x + fw * 0.5, y + fh * 0.25);
        cairo_line_to(cr, x + fw, y + fh * 0.25);
        cairo_line_to(cr, x + fw, y + fh);
        cairo_close_path(cr);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        break;
    }
    case Glyph::Save: {
        // An arrow down onto a tray.
        cairo_move_to(cr, cx, cy - s);
        cairo_line_to(cr, cx, cy + s * 0.3);
        cairo_stroke(cr);
        cairo_move_to(cr, cx - s * 0.6, cy - s * 0.2);
        cairo_line_to(cr, cx, cy + s * 0.5);
        cairo_line_to(cr, cx + s * 0.6, cy - s * 0.2);
        cairo_stroke(cr);
        cairo_move_to(cr, cx - s, cy + s);
        cairo_line_to(cr, cx + s, cy + s);
        cairo_stroke(cr);
        break;
    }
    case Glyph::Swap:
        for (int k : {-1, 1}) {
            const double y = cy + k * s * 0.5;
            const double d = k; // the upper arrow points left, the lower right
            cairo_move_to(cr, cx - s, y);
            cairo_line_to(cr, cx + s, y);
            cairo_stroke(cr);
            const double tip = cx + d * s;
            cairo_move_to(cr, tip - d * s * 0.45, y - s * 0.4);
            cairo_line_to(cr, tip, y);
            cairo_line_to(cr, tip - d * s * 0.45, y + s * 0.4);
            cairo_stroke(cr);
        }
        break;
    case Glyph::Go:
        cairo_move_to(cr, cx - s * 0.35, cy - s * 0.7);
        cairo_line_to(cr, cx + s * 0.35, cy);
        cairo_line_to(cr, cx - s * 0.35, cy + s * 0.7);
        cairo_set_line_width(cr, 1.5);
        cairo_stroke(cr);
        break;
    case Glyph::Menu: {
        const double half = std::min(3.0, s);
        cairo_move_to(cr, cx - half, cy - half * 0.5);
        cairo_line_to(cr, cx + half, cy - half * 0.5);
        cairo_line_to(cr, cx, cy + half * 0.6);
        cairo_close_path(cr);
        cairo_fill(cr);
        break;
    }
    case Glyph::Speaker: {
        // The box and the cone, then two arcs of sound.
        const double x = cx - s * 0.9;
        cairo_move_to(cr, x, cy - s * 0.3);
        cairo_line_to(cr, x + s * 0.4, cy - s * 0.3);
        cairo_line_to(cr, x + s * 0.9, cy - s * 0.8);
        cairo_line_to(cr, x + s * 0.9, cy + s * 0.8);
        cairo_line_to(cr, x + s * 0.4, cy + s * 0.3);
        cairo_line_to(cr, x, cy + s * 0.3);
        cairo_close_path(cr);
        cairo_fill(cr);
        cairo_set_line_width(cr, 1);
        for (double r : {s * 0.5, s * 0.95}) {
            cairo_arc(cr, x + s * 0.9, cy, r, -0.9, 0.9);
            cairo_stroke(cr);
        }
        break;
    }
    case Glyph::None:
        break;
    }
    cairo_restore(cr);
}

void buttonFace(cairo_t* cr, const CRect& r, Glyph g, const char* word, const CRect& free)
{
    cairo_save(cr);
    Painters::face(cr, r.left, r.top, r.width(), r.height(), false);
    if (word && *word) {
        // The word in the part of the face no other control covers.
        const CRect box = free.isEmpty() ? r : free;
        int px = std::clamp(static_cast<int>(r.height()) - 4, Look::SmallestLabelSize, Look::LabelSize);
        while (px > Look::SmallestLabelSize && textBox(word, px, false).h > box.width())
            --px;
        Painters::label(cr, box, word, px, Look::Text, false);
    } else {
        glyph(cr, r, g, Look::Text);
    }
    cairo_restore(cr);
}

void menuFace(cairo_t* cr, const CRect& r, const char* word)
{
    cairo_save(cr);
    Painters::face(cr, r.left, r.top, r.width(), r.height(), false);
    const int arrow = std::min<int>(9, static_cast<int>(r.height()));
    const CRect text(r.left + 2, r.top, r.right - arrow, r.bottom);
    if (word && *word) {
        int px = std::clamp(static_cast<int>(r.height()) - 5, Look::SmallestLabelSize, Look::LabelSize + 1);
        while (px > Look::SmallestLabelSize && textBox(word, px, true).h > text.width())
            --px;
        Painters::label(cr, text, word, px, Look::TextBright, true);
    }
    glyph(cr, CRect(r.right - arrow - 1, r.top, r.right - 1, r.bottom), Glyph::Menu, Look::Accent);
    cairo_restore(cr);
}

void well(cairo_t* cr, const CRect& r, bool screen)
{
    cairo_save(cr);
    roundedRect(cr, r.left, r.top, r.width(), r.height(), 2);
    setColour(cr, screen ? Look::Screen : Look::Well);
    cairo_fill(cr);
    // Its lower edge catches the light, the upper lies in shadow.
    setColour(cr, Look::SectionEdge);
    cairo_rectangle(cr, r.left + 2, r.bottom - 1, r.width() - 4, 1);
    cairo_fill(cr);
    cairo_restore(cr);
}

void plusMinus(cairo_t* cr, const CRect& outer, int button)
{
    const CRect text(outer.left, outer.top - 1, outer.right - 2 * button, outer.bottom);
    well(cr, text);
    // The signs as crisp strokes on the pixel grid: minus on the left key,
    // plus on the right.
    for (int k = 0; k < 2; ++k) {
        const CRect key(outer.right - (2 - k) * button, outer.top, outer.right - (1 - k) * button, outer.bottom);
        Painters::face(cr, key.left, key.top, key.width(), key.height(), false);
        const int half = std::max(2, static_cast<int>(std::min(key.width(), key.height())) / 2 - 4);
        const int cx = static_cast<int>(key.left + key.width() / 2);
        const int cy = static_cast<int>(key.top + key.height() / 2);
        setColour(cr, Look::Text);
        cairo_rectangle(cr, cx - half, cy, 2 * half + 1, 1);
        if (k == 1)
            cairo_rectangle(cr, cx, cy - half, 1, 2 * half + 1);
        cairo_fill(cr);
    }
}

void padField(cairo_t* cr, const CRect& r)
{
    cairo_save(cr);
    well(cr, r);
    cairo_set_line_width(cr, 1);
    for (int k = 1; k < 4; ++k) {
        const double x = std::round(r.left + r.width() * k / 4.0) + 0.5;
        const double y = std::round(r.top + r.height() * k / 4.0) + 0.5;
        cairo_set_source_rgba(cr, 1, 1, 1, k == 2 ? 0.10 : 0.04);
        cairo_move_to(cr, x, r.top + 1);
        cairo_line_to(cr, x, r.bottom - 1);
        cairo_move_to(cr, r.left + 1, y);
        cairo_line_to(cr, r.right - 1, y);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

void stepField(cairo_t* cr, const CRect& r, int columns, int rows, int margin, int markerWidth)
{
    columns = std::max(1, columns);
    rows = std::max(1, rows);
    const int cw = static_cast<int>(r.width()) / columns;
    const int ch = static_cast<int>(r.height()) / rows;
    const int lane = cw - 5 - margin - markerWidth;
    cairo_save(cr);
    for (int c = 0; c < columns; ++c)
        for (int k = 0; k < rows; ++k) {
            const int x = static_cast<int>(r.left) + c * cw;
            const int y = static_cast<int>(r.top) + k * ch;
            char number[12];
            std::snprintf(number, sizeof number, "%d", c * rows + k + 1);
            Painters::label(cr, CRect(x, y, x + margin - 1, y + ch), number, std::min(Look::SmallestLabelSize, ch),
                            Look::Label, false);
            if (lane > 2)
                well(cr, CRect(x + margin + markerWidth, y + 1, x + margin + markerWidth + lane, y + ch - 1));
        }
    cairo_restore(cr);
}

void roomField(cairo_t* cr, const CRect& r, int dot)
{
    cairo_save(cr);
    well(cr, r);
    // The dots' centres span the room less half a dot at each side; the
    // speakers stand where a dot at the room's corners and front centre
    // would, the listener in the middle.
    const double l = r.left + dot / 2.0, t = r.top + dot / 2.0;
    const double rr = r.right - dot / 2.0, b = r.bottom - dot / 2.0;
    const double cx = (l + rr) / 2, cy = (t + b) / 2;
    cairo_set_line_width(cr, 1);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.06);
    cairo_move_to(cr, std::round(cx) + 0.5, r.top + 2);
    cairo_line_to(cr, std::round(cx) + 0.5, r.bottom - 2);
    cairo_move_to(cr, r.left + 2, std::round(cy) + 0.5);
    cairo_line_to(cr, r.right - 2, std::round(cy) + 0.5);
    cairo_stroke(cr);
    cairo_arc(cr, cx, cy, std::min(r.width(), r.height()) * 0.3, 0, 2 * Pi);
    cairo_stroke(cr);
    struct Speaker
    {
        double x, y;
        const char* name;
    };
    const Speaker speakers[] = {{l, t, "L"}, {cx, t, "C"}, {rr, t, "R"}, {l, b, "Ls"}, {rr, b, "Rs"}};
    for (const Speaker& s : speakers) {
        roundedRect(cr, s.x - 5, s.y - 5, 10, 10, 2);
        setColour(cr, Look::SectionEdge);
        cairo_fill(cr);
        Painters::label(cr, CRect(s.x - 6, s.y - 5, s.x + 6, s.y + 5), s.name, 7, Look::Label, false);
    }
    setColour(cr, Look::SectionEdge);
    cairo_arc(cr, cx, cy, 3, 0, 2 * Pi);
    cairo_fill(cr);
    cairo_restore(cr);
}

void sampleField(cairo_t* cr, const CRect& r)
{
    cairo_save(cr);
    well(cr, r);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.08);
    cairo_rectangle(cr, r.left + 2, std::round(r.top + r.height() / 2.0), r.width() - 4, 1);
    cairo_fill(cr);
    cairo_restore(cr);
}

void groove(cairo_t* cr, int x, int y, int track, int thick)
{
    cairo_save(cr);
    setColour(cr, Look::Well);
    cairo_rectangle(cr, x, y, track, std::max(1, thick));
    cairo_fill(cr);
    setColour(cr, Look::SectionEdge);
    for (double tx : {double(x), x + track / 2.0, double(x + track - 1)}) {
        cairo_rectangle(cr, std::round(tx), y - 3, 1, 2);
        cairo_rectangle(cr, std::round(tx), y + thick + 1, 1, 2);
    }
    cairo_fill(cr);
    cairo_restore(cr);
}

void slot(cairo_t* cr, const CRect& r)
{
    cairo_save(cr);
    const double x = std::round(r.left + r.width() / 2.0) - 1;
    roundedRect(cr, x, r.top, 3, r.height(), 1.5);
    setColour(cr, Look::Well);
    cairo_fill(cr);
    cairo_restore(cr);
}

void keyBed(cairo_t* cr, const CRect& r)
{
    cairo_save(cr);
    roundedRect(cr, r.left - 3, r.top - 3, r.width() + 6, r.height() + 5, 3);
    setColour(cr, Look::Well);
    cairo_fill(cr);
    // The felt strip above the keys.
    setColour(cr, Look::AccentDim);
    cairo_rectangle(cr, r.left - 1, r.top - 2, r.width() + 2, 1);
    cairo_fill(cr);
    cairo_restore(cr);
}

} // namespace PagePainters
