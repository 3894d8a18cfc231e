// The editor's one look: a dark, calm panel style. Every painter and every
// control takes its colours, fonts and spacing from here, so the pages read
// as one instrument and a colour changes in one place.
//
// Fonts go by pixel height. A control keeps the font role its factory gave it
// (the library's small, very small and normal fonts); when its box is too low
// for that size, the text steps down to a size that fits the box, and every
// value text is set in the condensed face, so the numbers of the narrow value
// displays fit their boxes. A text still wider than its box steps down
// further, to SmallestTextSize at the least, rather than being cut.
// Thread: any (constants and pure functions).
#pragma once

#include "GuiTypes.h"

namespace Look {

// ---------------------------------------------------------------- colours
// The ground of the pages and the raised panels on it.
constexpr CColor Ground{30, 33, 38, 255};
constexpr CColor Panel{42, 46, 53, 255};
// Recesses: tracks, wells, the gaps between keys.
constexpr CColor Well{19, 21, 24, 255};
// Outlines: the plain one and the one that catches the light.
constexpr CColor Edge{62, 68, 78, 255};
constexpr CColor EdgeLight{96, 104, 116, 255};
// A knob's body from its lit top to its shaded bottom, and its cap.
constexpr CColor BodyTop{82, 88, 98, 255};
constexpr CColor BodyBottom{44, 48, 55, 255};
constexpr CColor Cap{34, 37, 42, 255};
// The pointer of knobs, the grip of handles.
constexpr CColor Pointer{232, 230, 223, 255};
// Values and lit things: arcs, bar fills, LEDs; a calm teal.
constexpr CColor Accent{95, 196, 180, 255};
constexpr CColor AccentDim{47, 94, 87, 255};
constexpr CColor LedOff{52, 57, 64, 255};
// Texts: the pages' default control text colour, the bright, the dim and the
// olive one the pages name.
constexpr CColor Text{210, 210, 210, 255};
constexpr CColor TextBright{252, 250, 240, 255};
constexpr CColor TextDim{154, 155, 151, 255};
constexpr CColor TextOlive{106, 95, 35, 255};
// Label text on a lit (accent) button.
constexpr CColor TextOnAccent{16, 30, 28, 255};
// The on-screen keyboard.
constexpr CColor WhiteKey{217, 214, 206, 255};
constexpr CColor WhiteKeyShade{176, 173, 166, 255};
constexpr CColor WhiteKeyDown{150, 210, 200, 255};
constexpr CColor BlackKey{26, 28, 32, 255};
constexpr CColor BlackKeyLight{70, 74, 82, 255};
constexpr CColor BlackKeyDown{62, 143, 132, 255};
constexpr CColor KeyGap{14, 15, 17, 255};
// The accents of the generators 1-4 and the filters 1 and 2, as their knobs
// on the overview page wear them.
constexpr CColor Generator[4] = {{224, 160, 80, 255}, {208, 122, 90, 255}, {127, 176, 224, 255},
                                 {165, 143, 216, 255}};
constexpr CColor Filter[2] = {{111, 195, 138, 255}, {200, 196, 104, 255}};
// The accents of the effect rows of the 5.1 mixer (effects 1, 4 and 6).
constexpr CColor Effect[3] = {{95, 196, 180, 255}, {214, 118, 160, 255}, {170, 170, 178, 255}};

// The page pictures: the ground's lit top, the raised sections on it and the
// text painted into them (control names, section titles).
constexpr CColor GroundTop{36, 40, 46, 255};
constexpr CColor Section{38, 42, 49, 255};
constexpr CColor SectionEdge{52, 57, 66, 255};
constexpr CColor Label{160, 162, 158, 255};
constexpr CColor Title{128, 186, 176, 255};
// The lit field behind the one display that writes in black (the version).
constexpr CColor Screen{176, 196, 186, 255};

// ---------------------------------------------------------------- spacing
// Pixels between a picture's edge and what it draws.
constexpr int Inset = 2;
// Width of a knob's value ring, as a share of its radius (at least 2 pixels).
constexpr double RingShare = 0.16;
// Gap between a knob's ring and its body, in pixels.
constexpr int RingGap = 2;
// Corner radius of buttons, handles and bars.
constexpr double Corner = 2.5;
// Width of a knob's travel in degrees, as every knob of the pages turns.
constexpr double KnobTravelDegrees = 300.0;
// The strip at the right of a menu's picture that holds its arrow; the
// menu's text keeps clear of it.
constexpr int MenuArrowZone = 9;

// Page pictures: pixels between a control and its label, the padding of a
// section around its controls and its corner radius.
constexpr int LabelGap = 1;
constexpr int SectionPad = 4;
constexpr double SectionCorner = 4.0;

// ------------------------------------------------------------------ fonts
// The family of every text the editor sets; the condensed face keeps numbers
// narrow.
constexpr const char* FontFamily = "DejaVu Sans Condensed";
// The font of that family at px pixels (clamped to 6..24).
CFontRef fontOfHeight(int px);
// The font a text of the given role uses in a box boxHeight pixels high: the
// role's size, or less where the box is lower, so digits stay whole.
CFontRef textFont(CFontRef role, int boxHeight);
// Value texts never get smaller than this to fit their box.
constexpr int SmallestTextSize = 8;
// The labels painted into the pages: their size, the least they step down
// to where room is short, and the bold titles of sections and panels.
constexpr int LabelSize = 10;
constexpr int SmallestLabelSize = 8;
constexpr int TitleSize = 10;
// The width in pixels of text set in font.
int textWidth(const char* text, CFontRef font);
// The advance of text set in family at px pixels, normal or bold, as cairo
// measures it (fractions of a pixel kept).
double textAdvance(const char* text, const char* family, int px, bool bold);
// The font text is drawn in within a box: textFont of the role, stepped down
// while the text is wider than the box, to SmallestTextSize at the least.
CFontRef fittedFont(CFontRef role, const CRect& box, const char* text);

} // namespace Look
