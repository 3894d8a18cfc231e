#include "EditorLook.h"

#include <algorithm>

namespace Look {
namespace {
constexpr int SmallestFont = 6;
constexpr int LargestFont = 24;
// A digit stands about two pixels lower than the font's pixel size, so a
// font two pixels above the box still shows whole numbers.
constexpr int DigitHeadroom = 2;

const CFontDesc fonts[LargestFont - SmallestFont + 1] = {
    {FontFamily, 6},  {FontFamily, 7},  {FontFamily, 8},  {FontFamily, 9},  {FontFamily, 10},
    {FontFamily, 11}, {FontFamily, 12}, {FontFamily, 13}, {FontFamily, 14}, {FontFamily, 15},
    {FontFamily, 16}, {FontFamily, 17}, {FontFamily, 18}, {FontFamily, 19}, {FontFamily, 20},
    {FontFamily, 21}, {FontFamily, 22}, {FontFamily, 23}, {FontFamily, 24},
};
} // namespace

CFontRef fontOfHeight(int px)
{
    return &fonts[std::clamp(px, SmallestFont, LargestFont) - SmallestFont];
}

CFontRef textFont(CFontRef role, int boxHeight)
{
    const int size = role ? role->size : 12;
    return fontOfHeight(std::min(size, boxHeight + DigitHeadroom));
}

} // namespace Look
