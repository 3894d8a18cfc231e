// The painters of the controls' pictures. Each is a plain function that
// paints one frame of the given size for the given value or state onto a
// cairo context whose origin is the frame's top-left corner. Knobs, bars and
// handles leave their corners transparent for the page beneath (their
// controls draw them transparently); buttons and grids, which may be drawn
// opaque, fill theirs with the page's ground. Painters never
// read controls or the engine; colours, fonts and spacing come from the look
// (EditorLook.h). The picture store (EditorPictures) calls them once per
// frame to fill a filmstrip, and the tests call them offscreen.
// Thread: any; a painter touches only the context it is given.
#pragma once

#include "GuiTypes.h"

typedef struct _cairo cairo_t;

namespace Painters {

// A rotary knob centred in w x h: a value ring over the knob's travel
// (Look::KnobTravelDegrees, 0 at the lower left, 1 at the lower right) and a
// pointer at v. An endless knob has no ring ends, only the pointer and a
// ring of ticks.
struct KnobLook
{
    CColor accent;
    bool endless = false;
};
void knob(cairo_t* cr, int w, int h, double v, const KnobLook& look);

// The angle of value v on a knob, in radians, as cairo counts them (0 to the
// right, growing clockwise); v = 0 lies 150 degrees left of straight up.
double knobAngle(double v);

// A horizontal value bar: a recessed track filled from the left up to v.
void valueBar(cairo_t* cr, int w, int h, double v);

// A button of `states` states showing `state`. Without labels it is a
// rounded key with an LED (off for state 0, lit in the accent otherwise);
// with labels (one per state) the state's label is written on it, lit for
// states above 0.
void toggle(cairo_t* cr, int w, int h, int state, int states, const char* const* labels, CColor accent);

// An on/off switch: a track with a thumb that sits left and grey when off,
// right and lit when on.
void powerSwitch(cairo_t* cr, int w, int h, bool on);

// One whole grid of columns x rows radio cells in w x h, all off or all on.
// Labels (columns * rows, row by row) are written into the cells; without
// labels a cell shows an LED. Icons, when given, replace the labels.
enum class RadioIcon
{
    None,
    Sine,
    Triangle,
    Saw,
    Square,
    Noise,
    SampleHold,
};
void radioGrid(cairo_t* cr, int w, int h, int columns, int rows, bool on, const char* const* labels,
               const RadioIcon* icons);

// The handle of a horizontal bitmap slider.
void sliderHandle(cairo_t* cr, int w, int h);

// A hanging bar: a rod from the top edge down to a handle of handleHeight
// pixels at the bottom edge.
void hangingBar(cairo_t* cr, int w, int h, int handleHeight);

// One strip of the on-screen keyboard: half of a white key with, in the
// two-key frames, the part of the black key beside it. The left half
// carries the gap to the key on its left and the black part on its left;
// the right half carries its black part on its right. Frames: 0 white up,
// 1 white down, 2 both up, 3 black down, 4 white down, 5 both down.
enum class KeyHalf
{
    Left,
    Right,
};
void keyStrip(cairo_t* cr, int w, int h, KeyHalf half, int frame, int blackPart, int blackHeight);

// The background of a pop-up menu: a recessed well the menu writes its value
// into, and at its right, in a strip arrowZone pixels wide, a separator and
// an arrow pointing down in the arrow colour.
void menuBox(cairo_t* cr, int w, int h, int arrowZone, CColor arrow);

// The step grid's marker of a step: a slot with an LED, lit for the step
// being played.
void stepMarker(cairo_t* cr, int w, int h, bool playing);

// One step of a gate pattern: a pad, dark while the gate is closed, lit
// while it is open.
void gateStep(cairo_t* cr, int w, int h, bool open);

// A dot of the 5.1 map: a disc in the mixer row's colour with the row's
// short name; transparent around the disc, so the field shows.
void mapDot(cairo_t* cr, int w, int h, CColor colour, const char* name);

// Text in a box, centred, in the look's font of px pixels.
void label(cairo_t* cr, const CRect& box, const char* text, int px, CColor colour, bool bold);

// Pieces the painters of controls and of pages share.
void setColour(cairo_t* cr, CColor c);
// A vertical gradient between two colours over y0..y1 as the source.
void setGradient(cairo_t* cr, double y0, double y1, CColor top, CColor bottom);
// A rounded rectangle as the current path.
void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r);
// A key or cell face: raised and dark when off, lit when on.
void face(cairo_t* cr, double x, double y, double w, double h, bool on);

} // namespace Painters
