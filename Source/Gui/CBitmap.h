// CBitmap: an ARGB picture held in memory (a cairo image surface), drawn
// into views and filled by code; the layer reads no image files.
// A picture may also be made from its size and a painter: its pixels are
// painted the first time anything needs them (drawing it, reading a pixel,
// a context on it), so a store can hand out many pictures at once and pay
// only for those that are shown.
// Thread: the user-interface thread; the first use of a painted picture may
// come from any editor's thread (it is painted once, under its own mutex).
#pragma once

#include "CBaseObject.h"
#include "GuiTypes.h"

#include <atomic>
#include <functional>
#include <mutex>

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

class CDrawContext;

class CBitmap : public CBaseObject
{
public:
    // Paints the whole picture (width x height) on a fresh, transparent
    // context; it must not use the picture itself.
    using Painter = std::function<void(cairo_t* cr, CCoord width, CCoord height)>;

    // A transparent picture of the given size (at least 1 x 1).
    CBitmap(CCoord width, CCoord height);
    // A picture of that size whose pixels painter makes on first use.
    CBitmap(CCoord width, CCoord height, Painter painter);
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
    // The pixels, painted first when they are not yet.
    cairo_surface_t* getSurface() const;
    // Whether the pixels exist yet.
    bool isPainted() const { return surface.load(std::memory_order_acquire) != nullptr; }

private:
    void paint(CDrawContext* context, const CRect& dest, const CPoint& offset, bool opaque);

    CCoord width;
    CCoord height;
    mutable std::atomic<cairo_surface_t*> surface{nullptr};
    mutable std::mutex paintMutex;
    mutable Painter painter;
};
