// The value types of the GUI layer: points, rectangles, colours, mouse and
// modifier bits, fonts and text alignment. Coordinates are whole pixels; a
// rectangle holds its left and top edge and stops before its right and
// bottom edge, so its width is right - left.
#pragma once

#include <algorithm>
#include <cstdint>

using CCoord = int32_t;

struct CPoint
{
    CCoord h = 0; // x
    CCoord v = 0; // y
    CPoint() = default;
    CPoint(CCoord x, CCoord y) : h(x), v(y) {}
    CPoint& offset(CCoord dx, CCoord dy)
    {
        h += dx;
        v += dy;
        return *this;
    }
    bool operator==(const CPoint& o) const { return h == o.h && v == o.v; }
    bool operator!=(const CPoint& o) const { return !(*this == o); }
    // Layout code reads more plainly with x and y.
    CCoord x() const { return h; }
    CCoord y() const { return v; }
};

struct CRect
{
    CCoord left = 0, top = 0, right = 0, bottom = 0;
    CRect() = default;
    CRect(CCoord l, CCoord t, CCoord r, CCoord b) : left(l), top(t), right(r), bottom(b) {}
    CRect(const CPoint& origin, const CPoint& extent)
        : left(origin.h), top(origin.v), right(origin.h + extent.h), bottom(origin.v + extent.v) {}

    CCoord width() const { return right - left; }
    CCoord height() const { return bottom - top; }
    CCoord getWidth() const { return width(); }
    CCoord getHeight() const { return height(); }
    CPoint getTopLeft() const { return {left, top}; }
    bool isEmpty() const { return right <= left || bottom <= top; }

    CRect& offset(CCoord dx, CCoord dy)
    {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
        return *this;
    }
    CRect& moveTo(CCoord x, CCoord y) { return offset(x - left, y - top); }
    CRect& inset(CCoord dx, CCoord dy)
    {
        left += dx;
        right -= dx;
        top += dy;
        bottom -= dy;
        return *this;
    }
    CRect& setWidth(CCoord w)
    {
        right = left + w;
        return *this;
    }
    CRect& setHeight(CCoord h)
    {
        bottom = top + h;
        return *this;
    }
    bool pointInside(const CPoint& p) const { return p.h >= left && p.h < right && p.v >= top && p.v < bottom; }
    bool rectOverlap(const CRect& r) const
    {
        return !isEmpty() && !r.isEmpty() && r.left < right && r.right > left && r.top < bottom && r.bottom > top;
    }
    // Intersection with r; empty (all zero) when they do not overlap.
    CRect& bound(const CRect& r)
    {
        if (!rectOverlap(r))
            return *this = CRect();
        left = std::max(left, r.left);
        top = std::max(top, r.top);
        right = std::min(right, r.right);
        bottom = std::min(bottom, r.bottom);
        return *this;
    }
    // Smallest rectangle holding both; an empty side does not count.
    CRect& unite(const CRect& r)
    {
        if (r.isEmpty())
            return *this;
        if (isEmpty())
            return *this = r;
        left = std::min(left, r.left);
        top = std::min(top, r.top);
        right = std::max(right, r.right);
        bottom = std::max(bottom, r.bottom);
        return *this;
    }
    bool operator==(const CRect& o) const
    {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
    bool operator!=(const CRect& o) const { return !(*this == o); }
};

struct CColor
{
    uint8_t red = 0, green = 0, blue = 0, alpha = 255;
    bool operator==(const CColor& o) const
    {
        return red == o.red && green == o.green && blue == o.blue && alpha == o.alpha;
    }
    bool operator!=(const CColor& o) const { return !(*this == o); }
};

constexpr CColor kBlackCColor{0, 0, 0, 255};
constexpr CColor kWhiteCColor{255, 255, 255, 255};
constexpr CColor kGreyCColor{127, 127, 127, 255};
constexpr CColor kRedCColor{255, 0, 0, 255};
constexpr CColor kTransparentCColor{255, 255, 255, 0};

// Mouse buttons and modifiers as one bit set. The editor's controls rely on
// these exact values (command = the Ctrl key, option = the Alt key here).
enum CButtonState : int32_t
{
    kLButton = 1 << 1,
    kMButton = 1 << 2,
    kRButton = 1 << 3,
    kShift = 1 << 4,
    kControl = 1 << 5, // "command"
    kAlt = 1 << 6,     // "option"
    kDoubleClick = 1 << 10,
};

enum CMouseEventResult
{
    kMouseEventNotHandled = 0,
    kMouseEventHandled,
    kMouseEventNotImplemented,
    kMouseDownEventHandledButDontNeedMovedOrUpEvents,
};

enum CHoriTxtAlign
{
    kLeftText = 0,
    kCenterText,
    kRightText,
};

enum CTxtFace
{
    kNormalFace = 0,
    kBoldFace = 1 << 1,
    kItalicFace = 1 << 2,
};

enum CDrawStyle
{
    kDrawStroked = 0,
    kDrawFilled,
    kDrawFilledAndStroked,
};

// A font: the family (always DejaVu Sans here) and the pixel size.
struct CFontDesc
{
    const char* family;
    int size;
};
using CFontRef = const CFontDesc*;

extern const CFontRef kNormalFontVeryBig;
extern const CFontRef kNormalFontBig;
extern const CFontRef kNormalFont;
extern const CFontRef kNormalFontSmall;
extern const CFontRef kNormalFontSmaller;
extern const CFontRef kNormalFontVerySmall;
