// Drawing a part of a picture into a control: opaque (the picture's pixels
// replace what lies beneath, transparency included) or transparent (blended
// over it). offset: the picture's point drawn at dest's top-left.
// Thread: the user-interface thread.
#pragma once

#include "GuiTypes.h"

class CBitmap;
class CDrawContext;

namespace PictureDraw {
void opaque(CDrawContext* context, CBitmap* picture, const CRect& dest, const CPoint& offset);
void transparent(CDrawContext* context, CBitmap* picture, const CRect& dest, const CPoint& offset);
inline void draw(CDrawContext* context, CBitmap* picture, const CRect& dest, const CPoint& offset, bool isOpaque)
{
    if (isOpaque)
        opaque(context, picture, dest, offset);
    else
        transparent(context, picture, dest, offset);
}
} // namespace PictureDraw
