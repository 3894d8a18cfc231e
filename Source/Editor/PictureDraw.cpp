#include "PictureDraw.h"

#include "CBitmap.h"
#include "CDrawContext.h"

#include <cairo.h>

namespace PictureDraw {

void opaque(CDrawContext* context, CBitmap* picture, const CRect& dest, const CPoint& offset)
{
    if (!context || !picture || dest.isEmpty())
        return;
    cairo_t* cr = context->getCairo();
    cairo_save(cr);
    cairo_rectangle(cr, dest.left, dest.top, dest.width(), dest.height());
    cairo_clip(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, picture->getSurface(), dest.left - offset.h, dest.top - offset.v);
    cairo_paint(cr);
    cairo_restore(cr);
}

void transparent(CDrawContext* context, CBitmap* picture, const CRect& dest, const CPoint& offset)
{
    if (picture)
        picture->draw(context, dest, offset);
}

} // namespace PictureDraw
