// The pieces of the page pictures: the fields the controls draw over (wells
// behind value texts and menus, the pads' and the map's fields, the step
// grid's lanes and step numbers, the slots and grooves of sliders, the
// sample display's field) and the faces of the controls that draw nothing
// themselves (touch areas, file buttons, the keys of the plus/minus
// displays, the menus that are click areas over the picture). Each paints
// at a rectangle of the picture, from its arguments and the look alone.
// Thread: any; a painter touches only the context it is given.
#pragma once

#include "GuiTypes.h"

#include <cstdint>

typedef struct _cairo cairo_t;

namespace PagePainters {

// The small drawings on faces.
enum class Glyph : uint8_t
{
    None,
    Previous, // a triangle to the left
    Next,     // a triangle to the right
    Clear,    // a cross
    Open,     // a folder
    Save,     // an arrow down onto a tray
    Swap,     // two arrows, left and right
    Go,       // a chevron: opens another page
    Menu,     // a small triangle down: a list opens
    Speaker,  // a loudspeaker: a level
};

// The box a text of px pixels takes in the look's face: its width plus a
// pixel each side, and the font's size and a pixel (labels have few
// descenders).
CPoint textBox(const char* text, int px, bool bold);

// A glyph centred in box.
void glyph(cairo_t* cr, const CRect& box, Glyph g, CColor ink);

// A key face with a glyph or, when given, a word, set in `free` (the part
// of the face no other control covers; empty: the whole face).
void buttonFace(cairo_t* cr, const CRect& r, Glyph g, const char* word, const CRect& free = CRect());
// A key face that opens a list: its word on the left, a small triangle on
// the right.
void menuFace(cairo_t* cr, const CRect& r, const char* word);
// A recessed well that a value text, a list's name or a file name is
// written into; `screen` lights it for dark text.
void well(cairo_t* cr, const CRect& r, bool screen = false);
// A plus/minus display's outer rectangle: the value's well and its two
// keys of `button` pixels at the right end, minus on the left, plus on the
// right.
void plusMinus(cairo_t* cr, const CRect& outer, int button);
// An XY pad's field: a well with a fine grid and its centre lines.
void padField(cairo_t* cr, const CRect& r);
// The step grid's field: columns x rows cells, in each the step's number in
// the left margin and the lane its level is written into.
void stepField(cairo_t* cr, const CRect& r, int columns, int rows, int margin, int markerWidth);
// The 5.1 map's room: a field with the five speakers and the listener.
void roomField(cairo_t* cr, const CRect& r, int dot);
// The sample display's field: a well with its zero line.
void sampleField(cairo_t* cr, const CRect& r);
// The groove of a horizontal slider: its track of `track` pixels from
// (x, y), `thick` pixels thick, with ticks at both ends and the middle.
void groove(cairo_t* cr, int x, int y, int track, int thick);
// The slot a hanging bar moves in: a thin recess down the rectangle's middle.
void slot(cairo_t* cr, const CRect& r);
// The bed the on-screen keyboard lies in.
void keyBed(cairo_t* cr, const CRect& r);

} // namespace PagePainters
