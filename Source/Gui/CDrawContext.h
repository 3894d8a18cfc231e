// CDrawContext: the drawing calls of the views, over a cairo context. It
// draws into a picture (a CBitmap: offscreen, no display needed) or into a
// cairo context the caller owns (the frame's back buffer). Coordinates are
// those of the view being drawn; containers move the origin for their
// children with setOrigin.
// Thread: the user-interface thread.
#pragma once

#include "GuiTypes.h"

#include <string>

typedef struct _cairo cairo_t;
class CBitmap;

class CDrawContext
{
public:
    explicit CDrawContext(CBitmap* target);
    explicit CDrawContext(cairo_t* borrowed);
    ~CDrawContext();
    CDrawContext(const CDrawContext&) = delete;
    CDrawContext& operator=(const CDrawContext&) = delete;

    void setFrameColor(CColor c) { frameColor = c; }
    void setFillColor(CColor c) { fillColor = c; }
    void setFontColor(CColor c) { fontColor = c; }
    CColor getFrameColor() const { return frameColor; }
    CColor getFillColor() const { return fillColor; }
    CColor getFontColor() const { return fontColor; }
    void setFont(CFontRef font, int style = kNormalFace);
    void setLineWidth(CCoord width) { lineWidth = width < 1 ? 1 : width; }

    // A line of the frame colour from one point to the other, both ends
    // included. At width 1 it is pixel-exact: exactly the pixels of the
    // stepped (Bresenham) line, each fully covered, so a vertical or
    // horizontal line is one pixel wide and a zero-length line is one point.
    // Wider lines are stroked around the same pixel centres.
    void drawLine(const CPoint& from, const CPoint& to);
    // One pixel in the given colour.
    void drawPoint(const CPoint& where, CColor colour);
    void drawRect(const CRect& rect, CDrawStyle style = kDrawStroked);
    void drawEllipse(const CRect& rect, CDrawStyle style = kDrawStroked);
    // The closed polygon through the points: filled in the fill colour,
    // stroked in the frame colour around the pixel centres.
    void drawPolygon(const CPoint* points, int count, CDrawStyle style = kDrawStroked);
    // The text in the rectangle, vertically centred, aligned horizontally.
    // Texts are UTF-8; one that is not (a Latin-1 file or program name) is
    // read as ISO Latin-1, so no text can break the drawing that follows.
    void drawString(const char* text, const CRect& rect, CHoriTxtAlign align = kCenterText);
    CCoord getStringWidth(const char* text);

    // Moves the drawing origin (relative); push and pop keep clip and origin.
    void push();
    void pop();
    void translate(CCoord dx, CCoord dy);
    void clip(const CRect& rect);

    cairo_t* getCairo() const { return cr; }

private:
    void setSource(CColor c);

    cairo_t* cr;
    bool owned;
    CColor frameColor = kBlackCColor;
    CColor fillColor = kWhiteCColor;
    CColor fontColor = kBlackCColor;
    CFontRef font;
    int fontStyle = kNormalFace;
    CCoord lineWidth = 1;
};
