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

    void drawLine(const CPoint& from, const CPoint& to);
    void drawRect(const CRect& rect, CDrawStyle style = kDrawStroked);
    void drawEllipse(const CRect& rect, CDrawStyle style = kDrawStroked);
    // The text in the rectangle, vertically centred, aligned horizontally.
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
