// A picture made by one painter call on a transparent picture of its size,
// read back pixel by pixel: how the tests check painters offscreen.
#pragma once

#include "CBitmap.h"

#include <cairo.h>

namespace TestPictures {

struct Painted
{
    CBitmap* bitmap;
    template <class Paint>
    Painted(int w, int h, Paint paint)
        : bitmap(new CBitmap(w, h, [paint](cairo_t* cr, CCoord, CCoord) { paint(cr); }))
    {
    }
    ~Painted() { bitmap->forget(); }
    Painted(const Painted&) = delete;
    Painted& operator=(const Painted&) = delete;
    CColor at(int x, int y) const { return bitmap->getPixel(x, y); }
};

} // namespace TestPictures
