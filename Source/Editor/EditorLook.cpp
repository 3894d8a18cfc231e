#include "EditorLook.h"

#include <cairo.h>

#include <algorithm>

namespace Look {
namespace {
constexpr int SmallestFont = 6;
constexpr int LargestFont = 24;
// A digit stands about two pixels lower than the font's pixel size, so a
// font two pixels above the box still shows whole numbers.
constexpr int DigitHeadroom = 2;

const CFontDesc fonts[LargestFont - SmallestFont + 1] = {
    {FontFamily, 6},  {FontFamily, 7},  {FontFamily, 8},  {FontFamily, 9},  {FontFamily, 10},
    {FontFamily, 11}, {FontFamily, 12}, {FontFamily, 13}, {FontFamily, 14}, {FontFamily, 15},
    {FontFamily, 16}, {FontFamily, 17}, {FontFamily, 18}, {FontFamily, 19}, {FontFamily, 20},
    {FontFamily, 21}, {FontFamily, 22}, {FontFamily, 23}, {FontFamily, 24},
};
} // namespace

CFontRef fontOfHeight(int px)
{
    return &fonts[std::clamp(px, SmallestFont, LargestFont) - SmallestFont];
}

CFontRef textFont(CFontRef role, int boxHeight)
{
    const int size = role ? role->size : 12;
    return fontOfHeight(std::min(size, boxHeight + DigitHeadroom));
}

double textAdvance(const char* text, const char* family, int px, bool bold)
{
    if (!text || !*text || !family)
        return 0.0;
    // A context on a tiny picture measures as the drawing will; each thread
    // keeps its own.
    struct Measure
    {
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
        cairo_t* cr = cairo_create(surface);
        ~Measure()
        {
            cairo_destroy(cr);
            cairo_surface_destroy(surface);
        }
    };
    thread_local Measure m;
    cairo_select_font_face(m.cr, family, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(m.cr, px);
    cairo_text_extents_t ext;
    cairo_text_extents(m.cr, text, &ext);
    return ext.x_advance;
}

int textWidth(const char* text, CFontRef font)
{
    if (!font)
        return 0;
    return static_cast<int>(textAdvance(text, font->family, font->size, false) + 0.5);
}

CFontRef fittedFont(CFontRef role, const CRect& box, const char* text)
{
    CFontRef font = textFont(role, box.height());
    while (font->size > SmallestTextSize && textWidth(text, font) > box.width())
        font = fontOfHeight(font->size - 1);
    return font;
}

} // namespace Look
