#include "CBitmap.h"

#include "CDrawContext.h"

#include <cairo.h>

CBitmap::CBitmap(CCoord w, CCoord h) : width(w < 1 ? 1 : w), height(h < 1 ? 1 : h)
{
    surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
}

CBitmap::CBitmap(CCoord w, CCoord h, Painter p) : width(w < 1 ? 1 : w), height(h < 1 ? 1 : h), painter(std::move(p))
{
}

CBitmap::~CBitmap()
{
    if (cairo_surface_t* s = surface.load())
        cairo_surface_destroy(s);
}

cairo_surface_t* CBitmap::getSurface() const
{
    if (cairo_surface_t* s = surface.load(std::memory_order_acquire))
        return s;
    std::lock_guard<std::mutex> guard(paintMutex);
    if (cairo_surface_t* s = surface.load(std::memory_order_acquire))
        return s;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (painter) {
        cairo_t* cr = cairo_create(s);
        painter(cr, width, height);
        cairo_destroy(cr);
        cairo_surface_flush(s);
        painter = nullptr;
    }
    surface.store(s, std::memory_order_release);
    return s;
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
    cairo_set_source_surface(cr, getSurface(), dest.left - offset.h, dest.top - offset.v);
    if (opaque)
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_restore(cr);
}

CColor CBitmap::getPixel(CCoord x, CCoord y) const
{
    if (x < 0 || y < 0 || x >= width || y >= height)
        return CColor{0, 0, 0, 0};
    cairo_surface_t* s = getSurface();
    cairo_surface_flush(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    const uint32_t argb = *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4);
    const uint8_t a = static_cast<uint8_t>(argb >> 24);
    auto unpremultiply = [a](uint32_t c) -> uint8_t {
        c &= 0xff;
        return a ? static_cast<uint8_t>((c * 255 + a / 2) / a) : 0;
    };
    return CColor{unpremultiply(argb >> 16), unpremultiply(argb >> 8), unpremultiply(argb), a};
}
