#include "CBitmap.h"

#include "CDrawContext.h"

#include <cairo.h>

CBitmap::CBitmap(CCoord w, CCoord h)
    : width(w < 1 ? 1 : w), height(h < 1 ? 1 : h),
      surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height))
{
}

CBitmap::~CBitmap()
{
    cairo_surface_destroy(surface);
}

void CBitmap::draw(CDrawContext* context, const CRect& dest, const CPoint& offset)
{
    paint(context, dest, offset, false);
}

void CBitmap::drawOpaque(CDrawContext* context, const CRect& dest, const CPoint& offset)
{
    paint(context, dest, offset, true);
}

void CBitmap::paint(CDrawContext* context, const CRect& dest, const CPoint& offset, bool opaque)
{
    if (!context)
        return;
    // Where the whole picture lands: outside it a copy would clear pixels.
    CRect area = dest;
    area.bound(CRect(dest.left - offset.h, dest.top - offset.v, dest.left - offset.h + width,
                     dest.top - offset.v + height));
    if (area.isEmpty())
        return;
    cairo_t* cr = context->getCairo();
    cairo_save(cr);
    cairo_rectangle(cr, area.left, area.top, area.width(), area.height());
    cairo_clip(cr);
    cairo_set_source_surface(cr, surface, dest.left - offset.h, dest.top - offset.v);
    if (opaque)
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_restore(cr);
}

CColor CBitmap::getPixel(CCoord x, CCoord y) const
{
    if (x < 0 || y < 0 || x >= width || y >= height)
        return CColor{0, 0, 0, 0};
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const uint32_t argb = *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4);
    const uint8_t a = static_cast<uint8_t>(argb >> 24);
    auto unpremultiply = [a](uint32_t c) -> uint8_t {
        c &= 0xff;
        return a ? static_cast<uint8_t>((c * 255 + a / 2) / a) : 0;
    };
    return CColor{unpremultiply(argb >> 16), unpremultiply(argb >> 8), unpremultiply(argb), a};
}
