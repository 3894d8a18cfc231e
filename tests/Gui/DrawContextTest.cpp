// Pixel-exact drawing: one-pixel lines and points, opaque and blended
// pictures, and texts that are not valid UTF-8.
#include "CBitmap.h"
#include "CDrawContext.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

namespace {
using Pixels = std::set<std::pair<int, int>>;

// Every pixel of the picture that is not fully transparent; fails when a
// touched pixel is only partly covered.
Pixels touched(const CBitmap& b, CColor colour)
{
    Pixels out;
    for (int y = 0; y < b.getHeight(); ++y)
        for (int x = 0; x < b.getWidth(); ++x) {
            const CColor c = b.getPixel(x, y);
            if (c.alpha == 0)
                continue;
            EXPECT_EQ(c, colour) << "pixel " << x << "," << y << " is not fully covered";
            out.insert({x, y});
        }
    return out;
}
} // namespace

TEST(GuiDrawContext, OnePixelLinesArePixelExact)
{
    struct Case
    {
        const char* what;
        CPoint from, to;
        Pixels want;
    };
    const Case cases[] = {
        {"horizontal, both ends included", {2, 3}, {6, 3}, {{2, 3}, {3, 3}, {4, 3}, {5, 3}, {6, 3}}},
        {"vertical, drawn upwards", {4, 7}, {4, 4}, {{4, 4}, {4, 5}, {4, 6}, {4, 7}}},
        {"zero length is one point", {5, 5}, {5, 5}, {{5, 5}}},
        {"diagonal", {1, 1}, {4, 4}, {{1, 1}, {2, 2}, {3, 3}, {4, 4}}},
        {"anti-diagonal", {4, 1}, {1, 4}, {{4, 1}, {3, 2}, {2, 3}, {1, 4}}},
        {"shallow: one pixel per column", {0, 0}, {4, 2}, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}}},
        {"steep: one pixel per row", {0, 0}, {2, 4}, {{0, 0}, {0, 1}, {1, 2}, {1, 3}, {2, 4}}},
    };
    for (const Case& c : cases) {
        CBitmap target(10, 10);
        {
            CDrawContext context(&target);
            context.setFrameColor(kRedCColor);
            context.drawLine(c.from, c.to);
        }
        EXPECT_EQ(touched(target, kRedCColor), c.want) << c.what;
    }
}

TEST(GuiDrawContext, LinesAndPointsFollowTheOriginAndTheClip)
{
    CBitmap target(20, 20);
    {
        CDrawContext context(&target);
        context.translate(10, 5);
        context.clip(CRect(0, 0, 3, 10));
        context.setFrameColor(kRedCColor);
        context.drawLine(CPoint(-2, 0), CPoint(5, 0)); // cut by the clip to x 0..2
        context.drawPoint(CPoint(1, 2), kRedCColor);
        context.drawPoint(CPoint(4, 2), kRedCColor); // outside the clip
    }
    EXPECT_EQ(touched(target, kRedCColor), (Pixels{{10, 5}, {11, 5}, {12, 5}, {11, 7}}));
}

TEST(GuiDrawContext, OpaquePicturesReplacePixelsAndOthersBlend)
{
    // A picture of 4 x 4: a half-transparent white left half, a transparent right half.
    CBitmap picture(4, 4);
    {
        CDrawContext context(&picture);
        context.setFillColor(CColor{255, 255, 255, 128});
        context.drawRect(CRect(0, 0, 2, 4), kDrawFilled);
    }
    struct Case
    {
        const char* what;
        bool opaque;
        CColor left, right;
    };
    const Case cases[] = {
        {"opaque copies alpha and all", true, CColor{255, 255, 255, 128}, CColor{0, 0, 0, 0}},
        {"blended leaves the red showing through", false, CColor{255, 127, 127, 255}, kRedCColor},
    };
    for (const Case& c : cases) {
        CBitmap target(10, 10);
        CDrawContext context(&target);
        context.setFillColor(kRedCColor);
        context.drawRect(CRect(0, 0, 10, 10), kDrawFilled);
        // dest reaches past the picture's right and bottom edge: there the
        // target stays as it was.
        if (c.opaque)
            picture.drawOpaque(&context, CRect(2, 2, 9, 9), CPoint(0, 0));
        else
            picture.draw(&context, CRect(2, 2, 9, 9), CPoint(0, 0));
        const CColor left = target.getPixel(3, 3);
        EXPECT_EQ(left.alpha, c.left.alpha) << c.what;
        EXPECT_NEAR(left.red, c.left.red, 1) << c.what;
        EXPECT_NEAR(left.green, c.left.green, 1) << c.what;
        EXPECT_EQ(target.getPixel(5, 3), c.right) << c.what;
        EXPECT_EQ(target.getPixel(7, 7), kRedCColor) << c.what << ": past the picture";
        EXPECT_EQ(target.getPixel(1, 1), kRedCColor) << c.what << ": outside dest";
    }
    // An offset picks the part of the picture (filmstrip frames, stacked states).
    CBitmap target(4, 4);
    CDrawContext context(&target);
    picture.drawOpaque(&context, CRect(0, 0, 2, 4), CPoint(2, 0));
    EXPECT_EQ(target.getPixel(0, 0).alpha, 0) << "the right half is transparent";
}

TEST(GuiDrawContext, TextsThatAreNotUtf8NeverBlankWhatIsDrawnAfterThem)
{
    struct Case
    {
        const char* what;
        const char* text;
    };
    const Case cases[] = {
        {"a Latin-1 program name", "Caf\xe9 Cr\xe8me"},
        {"a stray continuation byte", "a\x80z"},
        {"a cut sequence at the end", "ab\xc3"},
        {"an overlong form", "\xc0\xafx"},
        {"a surrogate", "\xed\xa0\x80x"},
        {"a noncharacter cairo refuses", "x\xef\xbf\xbfy"},
        {"valid UTF-8 stays as it is", "Caf\xc3\xa9"},
    };
    for (const Case& c : cases) {
        CBitmap target(120, 40);
        CDrawContext context(&target);
        context.setFont(kNormalFont);
        context.setFontColor(kWhiteCColor);
        context.drawString(c.text, CRect(0, 0, 120, 20), kLeftText);
        EXPECT_GT(context.getStringWidth(c.text), 0) << c.what;
        // Drawing goes on after the text.
        context.setFillColor(kRedCColor);
        context.drawRect(CRect(0, 30, 10, 40), kDrawFilled);
        EXPECT_EQ(target.getPixel(5, 35), kRedCColor) << c.what;
        int lit = 0;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 120; ++x)
                lit += target.getPixel(x, y).alpha > 0 ? 1 : 0;
        EXPECT_GT(lit, 20) << c.what << ": the text itself is drawn";
    }
}
