#include "EditorPictures.h"

#include "CBitmap.h"
#include "CDrawContext.h"

namespace EditorPictures {
namespace {
// Colours of the main background (red, green, blue, alpha).
constexpr CColor Panel{38, 42, 48, 255};
constexpr CColor PanelLight{58, 64, 72, 255};
constexpr CColor Accent{120, 244, 125, 255};
constexpr CColor Title{210, 210, 210, 255};

void drawMain(CBitmap* b)
{
    CDrawContext c(b);
    const CRect all(0, 0, b->getWidth(), b->getHeight());
    c.setFillColor(Panel);
    c.drawRect(all, kDrawFilled);
    // A header band and a grid of panel outlines give the empty editor a face.
    c.setFillColor(PanelLight);
    c.drawRect(CRect(0, 0, all.right, 40), kDrawFilled);
    c.setFrameColor(Accent);
    c.drawLine(CPoint(0, 40), CPoint(all.right - 1, 40));
    c.setFontColor(Title);
    c.setFont(kNormalFontVeryBig, kBoldFace);
    c.drawString("Tessel3", CRect(16, 0, 300, 40), kLeftText);
    c.setFrameColor(PanelLight);
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 3; ++row)
            c.drawRect(CRect(16 + col * 196, 56 + row * 178, 16 + col * 196 + 180, 56 + row * 178 + 162));
}

void drawTile(CBitmap* b, int id)
{
    CDrawContext c(b);
    // A grey that differs a little per id, so neighbouring tiles can be told apart.
    const uint8_t g = static_cast<uint8_t>(70 + (id * 37) % 90);
    c.setFillColor(CColor{g, g, static_cast<uint8_t>(g + 10), 255});
    c.setFrameColor(PanelLight);
    c.drawRect(CRect(0, 0, b->getWidth(), b->getHeight()), kDrawFilledAndStroked);
}
} // namespace

CBitmap* make(int id)
{
    if (id < 0 || id > MaxId)
        return nullptr;
    if (id == MainBackground) {
        auto* b = new CBitmap(MainWidth, MainHeight);
        drawMain(b);
        return b;
    }
    auto* b = new CBitmap(32, 32);
    drawTile(b, id);
    return b;
}
} // namespace EditorPictures
