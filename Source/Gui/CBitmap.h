// CBitmap: an ARGB picture held in memory (a cairo image surface), drawn
// into views and filled by code; the layer reads no image files.
// Thread: the user-interface thread.
#pragma once

#include "CBaseObject.h"
#include "GuiTypes.h"

typedef struct _cairo_surface cairo_surface_t;

class CDrawContext;

class CBitmap : public CBaseObject
{
public:
    // A transparent picture of the given size (at least 1 x 1).
    CBitmap(CCoord width, CCoord height);
    ~CBitmap() override;
    CBitmap(const CBitmap&) = delete;
    CBitmap& operator=(const CBitmap&) = delete;

    CCoord getWidth() const { return width; }
    CCoord getHeight() const { return height; }
    // Draws the part of the picture that starts at offset into dest over
    // what is there, by the picture's alpha ("transparently").
    void draw(CDrawContext* context, const CRect& dest, const CPoint& offset = CPoint());
    // The same part replacing the pixels beneath, alpha included ("opaque").
    // Only where the picture has pixels: the rest of dest stays as it was.
    void drawOpaque(CDrawContext* context, const CRect& dest, const CPoint& offset = CPoint());
    // Reads one pixel (straight, not premultiplied); outside gives transparent black.
    CColor getPixel(CCoord x, CCoord y) const;
    cairo_surface_t* getSurface() const { return surface; }

private:
    void paint(CDrawContext* context, const CRect& dest, const CPoint& offset, bool opaque);

    CCoord width;
    CCoord height;
    cairo_surface_t* surface;
};
