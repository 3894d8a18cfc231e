#include "PicturePainters.h"

#include "EditorLook.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

namespace Painters {
namespace {
constexpr double Pi = 3.14159265358979323846;

// A lit LED of radius r at (x, y): a soft halo, the lens and a small glint.
void led(cairo_t* cr, double x, double y, double r, bool lit, CColor a = Look::Accent)
{
    if (lit) {
        cairo_pattern_t* halo = cairo_pattern_create_radial(x, y, r * 0.4, x, y, r * 1.6);
        cairo_pattern_add_color_stop_rgba(halo, 0, a.red / 255.0, a.green / 255.0, a.blue / 255.0, 0.55);
        cairo_pattern_add_color_stop_rgba(halo, 1, a.red / 255.0, a.green / 255.0, a.blue / 255.0, 0.0);
        cairo_set_source(cr, halo);
        cairo_arc(cr, x, y, r * 1.6, 0, 2 * Pi);
        cairo_fill(cr);
        cairo_pattern_destroy(halo);
    }
    setColour(cr, lit ? a : Look::LedOff);
    cairo_arc(cr, x, y, r, 0, 2 * Pi);
    cairo_fill_preserve(cr);
    setColour(cr, Look::Well);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    if (r >= 2.5) {
        cairo_set_source_rgba(cr, 1, 1, 1, lit ? 0.45 : 0.12);
        cairo_arc(cr, x - r * 0.3, y - r * 0.3, r * 0.3, 0, 2 * Pi);
        cairo_fill(cr);
    }
}

void icon(cairo_t* cr, const CRect& box, RadioIcon which, CColor colour)
{
    const double x0 = box.left + box.width() * 0.2;
    const double x1 = box.right - box.width() * 0.2;
    const double yc = box.top + box.height() / 2.0;
    const double a = std::max(2.0, box.height() * 0.28); // amplitude
    const double w = x1 - x0;
    setColour(cr, colour);
    cairo_set_line_width(cr, 1.2);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    switch (which) {
    case RadioIcon::Sine:
        cairo_move_to(cr, x0, yc);
        for (int i = 1; i <= 24; ++i)
            cairo_line_to(cr, x0 + w * i / 24.0, yc - a * std::sin(2 * Pi * i / 24.0));
        break;
    case RadioIcon::Triangle:
        cairo_move_to(cr, x0, yc);
        cairo_line_to(cr, x0 + w / 4, yc - a);
        cairo_line_to(cr, x0 + 3 * w / 4, yc + a);
        cairo_line_to(cr, x1, yc);
        break;
    case RadioIcon::Saw:
        cairo_move_to(cr, x0, yc + a);
        cairo_line_to(cr, x0 + w / 2, yc - a);
        cairo_line_to(cr, x0 + w / 2, yc + a);
        cairo_line_to(cr, x1, yc - a);
        break;
    case RadioIcon::Square:
        cairo_move_to(cr, x0, yc + a);
        cairo_line_to(cr, x0, yc - a);
        cairo_line_to(cr, x0 + w / 2, yc - a);
        cairo_line_to(cr, x0 + w / 2, yc + a);
        cairo_line_to(cr, x1, yc + a);
        cairo_line_to(cr, x1, yc - a);
        break;
    case RadioIcon::Noise: {
        // A fixed scribble: the same picture on every paint.
        const double ys[] = {0.1, -0.8, 0.5, -0.3, 0.9, -0.6, 0.2, -1.0, 0.7, -0.2, 0.4};
        cairo_move_to(cr, x0, yc);
        for (int i = 0; i < 11; ++i)
            cairo_line_to(cr, x0 + w * (i + 1) / 11.0, yc + a * ys[i]);
        break;
    }
    case RadioIcon::SampleHold: {
        const double ys[] = {-0.5, 0.7, -1.0, 0.3, 0.9};
        cairo_move_to(cr, x0, yc + a * ys[0]);
        for (int i = 0; i < 5; ++i) {
            cairo_line_to(cr, x0 + w * (i + 1) / 5.0, yc + a * ys[i]);
            if (i < 4)
                cairo_line_to(cr, x0 + w * (i + 1) / 5.0, yc + a * ys[i + 1]);
        }
        break;
    }
    case RadioIcon::None:
        return;
    }
    cairo_stroke(cr);
}
// Buttons and grids may be drawn opaque (replacing the page beneath), so
// they carry the page's ground in their corners instead of holes.
void ground(cairo_t* cr, int w, int h)
{
    setColour(cr, Look::Ground);
    cairo_rectangle(cr, 0, 0, w, h);
    cairo_fill(cr);
}
} // namespace

void setColour(cairo_t* cr, CColor c)
{
    cairo_set_source_rgba(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0, c.alpha / 255.0);
}

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r)
{
    r = std::min({r, w / 2, h / 2});
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -Pi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, Pi / 2);
    cairo_arc(cr, x + r, y + h - r, r, Pi / 2, Pi);
    cairo_arc(cr, x + r, y + r, r, Pi, 3 * Pi / 2);
    cairo_close_path(cr);
}

// A vertical gradient between two colours over y0..y1 as the source.
void setGradient(cairo_t* cr, double y0, double y1, CColor top, CColor bottom)
{
    cairo_pattern_t* p = cairo_pattern_create_linear(0, y0, 0, y1);
    cairo_pattern_add_color_stop_rgba(p, 0, top.red / 255.0, top.green / 255.0, top.blue / 255.0, top.alpha / 255.0);
    cairo_pattern_add_color_stop_rgba(p, 1, bottom.red / 255.0, bottom.green / 255.0, bottom.blue / 255.0,
                                      bottom.alpha / 255.0);
    cairo_set_source(cr, p);
    cairo_pattern_destroy(p);
}

void face(cairo_t* cr, double x, double y, double w, double h, bool on)
{
    roundedRect(cr, x + 0.5, y + 0.5, w - 1, h - 1, Look::Corner);
    if (on)
        setGradient(cr, y, y + h, Look::Accent, Look::AccentDim);
    else
        setGradient(cr, y, y + h, Look::Panel, Look::Ground);
    cairo_fill_preserve(cr);
    setColour(cr, on ? Look::AccentDim : Look::Edge);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

double knobAngle(double v)
{
    const double degrees = -90.0 - Look::KnobTravelDegrees / 2 + Look::KnobTravelDegrees * v;
    return degrees * Pi / 180.0;
}

void label(cairo_t* cr, const CRect& box, const char* text, int px, CColor colour, bool bold)
{
    if (!text || !*text || box.isEmpty())
        return;
    cairo_save(cr);
    cairo_rectangle(cr, box.left, box.top, box.width(), box.height());
    cairo_clip(cr);
    cairo_select_font_face(cr, Look::FontFamily, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, px);
    cairo_text_extents_t ext;
    cairo_text_extents(cr, text, &ext);
    cairo_font_extents_t fext;
    cairo_font_extents(cr, &fext);
    const double x = box.left + (box.width() - ext.x_advance) / 2.0;
    const double y = box.top + (box.height() + fext.ascent - fext.descent) / 2.0;
    setColour(cr, colour);
    cairo_move_to(cr, std::round(x), std::round(y));
    cairo_show_text(cr, text);
    cairo_restore(cr);
}

void knob(cairo_t* cr, int w, int h, double v, const KnobLook& look)
{
    v = std::clamp(v, 0.0, 1.0);
    const double cx = w / 2.0;
    const double cy = h / 2.0;
    const double r = std::min(w, h) / 2.0 - Look::Inset;
    if (r < 3)
        return;
    const double ringWidth = std::max(2.0, r * Look::RingShare);
    const double ringR = r - ringWidth / 2;
    const double bodyR = r - ringWidth - Look::RingGap;
    cairo_save(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    cairo_set_line_width(cr, ringWidth);
    if (look.endless) {
        // An endless knob has no ends: a dim ring with ticks every 30 degrees.
        setColour(cr, Look::Well);
        cairo_arc(cr, cx, cy, ringR, 0, 2 * Pi);
        cairo_stroke(cr);
        setColour(cr, Look::AccentDim);
        for (int t = 0; t < 12; ++t) {
            const double a = t * Pi / 6;
            cairo_arc(cr, cx, cy, ringR, a - 0.05, a + 0.05);
            cairo_stroke(cr);
        }
        setColour(cr, look.accent);
        cairo_arc(cr, cx, cy, ringR, knobAngle(v) - 0.18, knobAngle(v) + 0.18);
        cairo_stroke(cr);
    } else {
        setColour(cr, Look::Well);
        cairo_arc(cr, cx, cy, ringR, knobAngle(0), knobAngle(1));
        cairo_stroke(cr);
        if (v > 0.0005) {
            setColour(cr, look.accent);
            cairo_arc(cr, cx, cy, ringR, knobAngle(0), knobAngle(v));
            cairo_stroke(cr);
        }
    }
    // The body, lit from above, with a fine rim.
    cairo_arc(cr, cx, cy, bodyR, 0, 2 * Pi);
    setGradient(cr, cy - bodyR, cy + bodyR, Look::BodyTop, Look::BodyBottom);
    cairo_fill_preserve(cr);
    setColour(cr, Look::Well);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    if (bodyR > 10) {
        cairo_arc(cr, cx, cy, bodyR * 0.62, 0, 2 * Pi);
        setGradient(cr, cy - bodyR, cy + bodyR, Look::BodyBottom, Look::Cap);
        cairo_fill(cr);
    }
    // The pointer.
    const double a = knobAngle(v);
    const double inner = bodyR > 10 ? bodyR * 0.35 : bodyR * 0.15;
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, std::max(1.5, bodyR * 0.12));
    setColour(cr, Look::Pointer);
    cairo_move_to(cr, cx + inner * std::cos(a), cy + inner * std::sin(a));
    cairo_line_to(cr, cx + (bodyR - 1.5) * std::cos(a), cy + (bodyR - 1.5) * std::sin(a));
    cairo_stroke(cr);
    cairo_restore(cr);
}

void valueBar(cairo_t* cr, int w, int h, double v)
{
    v = std::clamp(v, 0.0, 1.0);
    cairo_save(cr);
    roundedRect(cr, 0, 0, w, h, Look::Corner);
    setColour(cr, Look::Well);
    cairo_fill(cr);
    const double fill = (w - 2) * v;
    if (fill > 0.01) {
        roundedRect(cr, 1, 1, fill, h - 2, Look::Corner - 1);
        setGradient(cr, 1, h - 1, Look::Accent, Look::AccentDim);
        cairo_fill(cr);
        // The bar's front edge, a bright line where the value stands.
        setColour(cr, Look::TextBright);
        cairo_rectangle(cr, std::max(1.0, 1 + fill - 1), 1, 1, h - 2);
        cairo_fill(cr);
    }
    roundedRect(cr, 0.5, 0.5, w - 1, h - 1, Look::Corner);
    setColour(cr, Look::Edge);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    cairo_restore(cr);
}

void toggle(cairo_t* cr, int w, int h, int state, int states, const char* const* labels, CColor accent)
{
    state = std::clamp(state, 0, std::max(0, states - 1));
    cairo_save(cr);
    ground(cr, w, h);
    const bool lit = state > 0;
    if (labels) {
        face(cr, 0, 0, w, h, lit);
        label(cr, CRect(0, 0, w, h), labels[state], std::max(7, h - 4), lit ? Look::TextOnAccent : Look::Text, lit);
    } else {
        face(cr, 0, 0, w, h, false);
        led(cr, w / 2.0, h / 2.0, std::max(1.5, std::min(w, h) / 2.0 - 3.5), lit, accent);
    }
    cairo_restore(cr);
}

void powerSwitch(cairo_t* cr, int w, int h, bool on)
{
    cairo_save(cr);
    ground(cr, w, h);
    const double r = h / 2.0 - 1;
    roundedRect(cr, 0.5, 0.5, w - 1, h - 1, h / 2.0);
    setColour(cr, on ? Look::AccentDim : Look::Well);
    cairo_fill_preserve(cr);
    setColour(cr, Look::Edge);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    const double x = on ? w - 1 - r : 1 + r;
    cairo_arc(cr, x, h / 2.0, r - 1, 0, 2 * Pi);
    if (on)
        setGradient(cr, 0, h, Look::TextBright, Look::Accent);
    else
        setGradient(cr, 0, h, Look::EdgeLight, Look::Edge);
    cairo_fill(cr);
    cairo_restore(cr);
}

void radioGrid(cairo_t* cr, int w, int h, int columns, int rows, bool on, const char* const* labels,
               const RadioIcon* icons)
{
    columns = std::max(1, columns);
    rows = std::max(1, rows);
    const int cw = w / columns;
    const int ch = h / rows;
    cairo_save(cr);
    ground(cr, w, h);
    for (int row = 0; row < rows; ++row) {
        for (int col = 0; col < columns; ++col) {
            const int i = row * columns + col;
            const CRect cell(col * cw, row * ch, col * cw + cw, row * ch + ch);
            face(cr, cell.left, cell.top, cw, ch, on);
            const CColor ink = on ? Look::TextOnAccent : Look::Text;
            if (icons && icons[i] != RadioIcon::None)
                icon(cr, cell, icons[i], ink);
            else if (labels)
                label(cr, cell, labels[i], std::max(7, std::min(ch - 3, 12)), ink, on);
            else
                led(cr, cell.left + cw / 2.0, cell.top + ch / 2.0, std::max(1.5, std::min(cw, ch) / 2.0 - 3), on);
        }
    }
    cairo_restore(cr);
}

void sliderHandle(cairo_t* cr, int w, int h)
{
    cairo_save(cr);
    roundedRect(cr, 0.5, 0.5, w - 1, h - 1, Look::Corner);
    setGradient(cr, 0, h, Look::BodyTop, Look::BodyBottom);
    cairo_fill_preserve(cr);
    setColour(cr, Look::Well);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    setColour(cr, Look::Pointer);
    cairo_rectangle(cr, w / 2, 2, 1, h - 4);
    cairo_fill(cr);
    cairo_restore(cr);
}

void hangingBar(cairo_t* cr, int w, int h, int handleHeight)
{
    handleHeight = std::clamp(handleHeight, 1, h);
    cairo_save(cr);
    // The rod, as wide as a third of the bar, lit on its left.
    const int rodWidth = std::max(3, w / 3);
    const int rodLeft = (w - rodWidth) / 2;
    const int rodBottom = h - handleHeight;
    setColour(cr, Look::Edge);
    cairo_rectangle(cr, rodLeft, 0, rodWidth, rodBottom);
    cairo_fill(cr);
    setColour(cr, Look::EdgeLight);
    cairo_rectangle(cr, rodLeft, 0, 1, rodBottom);
    cairo_fill(cr);
    setColour(cr, Look::Well);
    cairo_rectangle(cr, rodLeft + rodWidth - 1, 0, 1, rodBottom);
    cairo_fill(cr);
    // The handle with an accent grip line.
    roundedRect(cr, 0.5, rodBottom + 0.5, w - 1, handleHeight - 1, Look::Corner);
    setGradient(cr, rodBottom, h, Look::BodyTop, Look::BodyBottom);
    cairo_fill_preserve(cr);
    setColour(cr, Look::Well);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    setColour(cr, Look::Accent);
    cairo_rectangle(cr, 2, rodBottom + handleHeight / 2, w - 4, 1);
    cairo_fill(cr);
    cairo_restore(cr);
}

void keyStrip(cairo_t* cr, int w, int h, KeyHalf half, int frame, int blackPart, int blackHeight)
{
    const bool whiteDown = frame == 1 || frame == 4 || frame == 5;
    const bool withBlack = frame >= 2;
    const bool blackDown = frame == 3 || frame == 5;
    const bool left = half == KeyHalf::Left;
    cairo_save(cr);
    // The white key: lit from the top, its front edge at the bottom (lower
    // when pressed).
    setGradient(cr, 0, h, whiteDown ? Look::WhiteKeyDown : Look::WhiteKey,
                whiteDown ? Look::AccentDim : Look::WhiteKeyShade);
    cairo_rectangle(cr, 0, 0, w, h);
    cairo_fill(cr);
    const int front = whiteDown ? 2 : 4;
    setColour(cr, whiteDown ? Look::AccentDim : Look::WhiteKeyShade);
    cairo_rectangle(cr, 0, h - front, w, front);
    cairo_fill(cr);
    // The gap to the left neighbour, and a soft shade on the right side.
    const int sideTop = withBlack ? blackHeight : 0;
    setColour(cr, left ? Look::KeyGap : Look::WhiteKeyShade);
    cairo_rectangle(cr, left ? 0 : w - 1, sideTop, 1, h - sideTop);
    cairo_fill(cr);
    if (withBlack) {
        const int x = left ? 0 : w - blackPart;
        setColour(cr, blackDown ? Look::BlackKeyDown : Look::BlackKey);
        cairo_rectangle(cr, x, 0, blackPart, blackHeight);
        cairo_fill(cr);
        // The black key's lit front face, shorter when pressed.
        const int face = blackDown ? 3 : 6;
        setColour(cr, blackDown ? Look::Accent : Look::BlackKeyLight);
        cairo_rectangle(cr, left ? x : x + 1, blackHeight - face, blackPart - 1, face - 1);
        cairo_fill(cr);
        // Its outer edge, dark against the white key.
        setColour(cr, Look::KeyGap);
        cairo_rectangle(cr, left ? x + blackPart - 1 : x, 0, 1, blackHeight);
        cairo_fill(cr);
    }
    // The panel's shadow on the keys' upper end.
    cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
    cairo_rectangle(cr, 0, 0, w, 2);
    cairo_fill(cr);
    cairo_restore(cr);
}

void menuBox(cairo_t* cr, int w, int h, int arrowZone, CColor arrow)
{
    arrowZone = std::clamp(arrowZone, 0, w);
    cairo_save(cr);
    roundedRect(cr, 0, 0, w, h, Look::Corner);
    setColour(cr, Look::Well);
    cairo_fill(cr);
    roundedRect(cr, 0.5, 0.5, w - 1, h - 1, Look::Corner);
    setColour(cr, Look::Edge);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    if (arrowZone > 4) {
        const int x = w - arrowZone;
        setColour(cr, Look::Edge);
        cairo_rectangle(cr, x, 2, 1, h - 4);
        cairo_fill(cr);
        // A small arrow pointing down: the list opens below.
        const double cx = x + (arrowZone + 1) / 2.0;
        const double cy = h / 2.0;
        const double half = std::min(2.5, (arrowZone - 3) / 2.0);
        cairo_move_to(cr, cx - half, cy - half * 0.6);
        cairo_line_to(cr, cx + half, cy - half * 0.6);
        cairo_line_to(cr, cx, cy + half * 0.8);
        cairo_close_path(cr);
        setColour(cr, arrow);
        cairo_fill(cr);
    }
    cairo_restore(cr);
}

void stepMarker(cairo_t* cr, int w, int h, bool playing)
{
    // Drawn opaque into the grid: it carries its own ground.
    cairo_save(cr);
    ground(cr, w, h);
    roundedRect(cr, 1.5, 1.5, w - 3, h - 3, Look::Corner);
    setColour(cr, Look::Well);
    cairo_fill(cr);
    led(cr, w / 2.0, h / 2.0, std::max(1.5, std::min(w, h) / 2.0 - 1.5), playing);
    cairo_restore(cr);
}

void gateStep(cairo_t* cr, int w, int h, bool open)
{
    cairo_save(cr);
    ground(cr, w, h);
    face(cr, 1, 1, w - 2, h - 2, open);
    cairo_restore(cr);
}

void mapDot(cairo_t* cr, int w, int h, CColor colour, const char* name)
{
    cairo_save(cr);
    const double r = std::min(w, h) / 2.0 - 0.5;
    cairo_arc(cr, w / 2.0, h / 2.0, r, 0, 2 * Pi);
    setColour(cr, colour);
    cairo_fill_preserve(cr);
    setColour(cr, Look::Well);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    label(cr, CRect(0, 0, w, h), name, std::max(6, h / 2), Look::TextOnAccent, true);
    cairo_restore(cr);
}

} // namespace Painters
