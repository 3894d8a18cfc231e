// The format the instrument's editor pages are written in: every page, panel
// and effect frame is a table of rows, one row per control as the page's
// description lists it (its external index, its kind, its point, its size or
// picture, its label), and the editor's builders walk those tables, one
// builder per kind. The tables themselves are data files (VelaPages*.cpp);
// this header holds the row type, the frame and rule types and the walk that
// turns a table into placed views.
//
// Coordinates are pixels relative to the frame that holds the control. A
// knob's point is its centre; every other control's point is its top-left
// corner. A row may stand for several controls:
// - slots and sets: a generator panel is one table for four slots, an effect
//   frame one table for three sets, an envelope panel one table for seven
//   envelopes; the place a table is built at names the slot s, and a row's
//   index is its base + stride x s. On a lower panel (odd slots) the rows
//   that give a lower y use it;
// - repeats: a row of the modulation matrix, the mixer or the zone table is
//   written once with its count, its y step and its index step.
//
// The walk (placeRow, placedViews) gives every view a row makes, with its
// rectangle in its frame's coordinates: the control itself, and the value
// display or row label the same builder adds beside it. The builders and the
// painters of the page pictures both take their rectangles from here, so a
// moved control moves its label and its face.
// Thread: any (constant data and pure functions).
#pragma once

#include "GuiTypes.h"

#include <cstdint>
#include <span>
#include <vector>

namespace PageLayout {

// What a row builds. Each kind has one builder in the editor.
enum class Kind : uint8_t
{
    Knob,          // filmstrip knob of a knob style (CMIKnob), with a value display when offset
    ParaBar,       // parameter bar (a flat CMIKnob) and its value display
    FxBar,         // an effect row: its name, a parameter bar and its value display
    FxOnOff,       // an effect row: its name and an on/off button
    FxName,        // an effect row's name alone (its control is another row)
    OnOff,         // multi-state button (COnOffButtonVx), one picture frame per state
    Radio,         // grid of radio buttons (CRadioButtonVx)
    Menu,          // parameter menu (CMenuWithSub), drawn or an invisible click area
    SubMenu,       // parameter menu with submenus made by createMenuS (matrix destinations)
    FileList,      // file-list menu (CMenuFileList)
    Touch,         // touch area (CTouchAreaVx): a click sends a command
    FileButton,    // file button (CFileDialog4Vx): a dialog's path to the parameter
    PlusMinus,     // plus/minus display (CPlusMinusDisplay), given by its outer rectangle
    VarDisplay,    // value display (CVarDisplay)
    Filename,      // file-name display (CLabelVx)
    TextDisplay,   // library text display (CTextEdit)
    Depth,         // modulation depth display (CModDepthDisp)
    XYPad,         // XY pad (CXYVx) on index and index + 1
    EnvSlider,     // hanging slider (CDrawbarVx)
    Slider,        // horizontal bitmap slider (CSliderVx) of the mixer
    Map51,         // the 5.1 map (C51Map)
    Keyboard,      // the on-screen keyboard (CKeyboard2)
    StepGrid,      // the arpeggiator's step grid (CStepSeqVx)
    GateSteps,     // the gator's step bar (COnOffBar)
    SampleDisplay, // the loop sampler's sample display (CSampleDisplayVl_c)
    ScrollBar,     // scroll bar (CScrollbarVx)
    ZoneLabel,     // a zone's sample name (CLabelVx) in the zone table
};
// A short name of a kind for reports and test messages.
const char* kindName(Kind kind);

// The text colours of the pages: the editor's four, and black.
enum class Colour : uint8_t
{
    Default, // (210, 210, 210, 255): every menu, label and display unless named
    Bright,  // (252, 250, 240, 255)
    Dim,     // (154, 155, 151, 255)
    Olive,   // (106, 95, 35, 255)
    Black,
};
CColor colourOf(Colour colour);

// What a file button asks for. Patterns name the editor's own lists with
// "fxp" and "tun"; anything else is the pattern text itself.
struct FileSpec
{
    const char* title;
    const char* filter;
    const char* patterns;
    const char* key;
    int mode; // 0 open a file, 1 save a file
};

// The knob styles (VelaEditor_c::DialType_t): size and strip of each.
struct KnobStyle
{
    int width;
    int height;
    int frames;
    int picture;
};
constexpr int KnobStyleCount = 17;
const KnobStyle& knobStyle(int style);

constexpr int NoLowerY = -10000;

// Geometry the builders and the painters of the page pictures share.
// A plus/minus display's two buttons at its right end, each this wide.
constexpr int PlusMinusButton = 15;
// The mixer's sliders: a track of 64 pixels, 2 thick, about (x + 4, y + 4).
constexpr int MixSliderTrack = 64, MixSliderThickness = 2, MixSliderInset = 4;
// The step grid: four columns of eight steps; each column keeps 16 pixels
// at its left (the page writes the step numbers there) before the marker.
constexpr int StepGridColumns = 4, StepGridRows = 8, StepGridMargin = 16;

struct Row
{
    Kind kind = Kind::Knob;
    int index = 0;      // external index, or the base of a slot or set table
    int x = 0;          // the point (a knob's centre, else the top-left corner)
    int y = 0;
    int w = 0;          // size where the row gives one
    int h = 0;
    int picture = 0;    // resource number; 0 none
    const char* label = nullptr; // what the control is called on its page
    int yLower = NoLowerY; // the y on a lower panel, where it differs
    int stride = 1;     // index step per slot or set
    int count = 1;      // repeats of the row
    int dy = 0;         // y step between repeats
    int indexStep = 1;  // index step between repeats
    // Knobs: style and the value display's offset below the centre (0 none).
    int style = 0;
    int displayOffset = 0;
    Colour colour = Colour::Default;
    // Touch areas: command, its index and value, each with its step per
    // slot (a panel's touch areas address their own slot).
    int command = 0;
    int commandIndex = 0;
    int commandValue = 0;
    int commandStride = 0;
    int commandIndexStride = 0;
    int commandValueStride = 0;
    // Radios: columns and rows; gate steps: steps in columns.
    int columns = 1;
    int rows = 1;
    const FileSpec* file = nullptr;
    int list = 0;       // file-list menus: 0 the first list of the pair, 1 the second
    const char* const* labels = nullptr; // one label per repeat, where they differ
    bool drawn = true;  // menus: false for an invisible click area over the page picture
    bool tint = false;  // XY pads: the lower row's stronger fade colour
    bool small = false; // envelope sliders: the small form
    bool display = true; // envelope sliders: a value display above

    // Modifiers, so a table reads as the page's description: knob(...).named("Wave").lower(69).
    constexpr Row named(const char* text) const { Row r = *this; r.label = text; return r; }
    constexpr Row lower(int y2) const { Row r = *this; r.yLower = y2; return r; }
    constexpr Row times(int n, int step, int indexDelta = 1) const
    {
        Row r = *this;
        r.count = n;
        r.dy = step;
        r.indexStep = indexDelta;
        return r;
    }
    constexpr Row every(int indexStride) const { Row r = *this; r.stride = indexStride; return r; }
    constexpr Row coloured(Colour c) const { Row r = *this; r.colour = c; return r; }
    constexpr Row hidden() const { Row r = *this; r.drawn = false; return r; }
    constexpr Row tinted() const { Row r = *this; r.tint = true; return r; }
    constexpr Row withDisplay(int offset) const { Row r = *this; r.displayOffset = offset; return r; }
    constexpr Row eachNamed(const char* const* texts) const { Row r = *this; r.labels = texts; return r; }
    // Touch areas: the command, its index or its value steps by one per slot.
    constexpr Row slotCommand() const { Row r = *this; r.commandStride = 1; return r; }
    constexpr Row slotIndex() const { Row r = *this; r.commandIndexStride = 1; return r; }
    constexpr Row slotValue() const { Row r = *this; r.commandValueStride = 1; return r; }
    constexpr Row secondList() const { Row r = *this; r.list = 1; return r; }
};

// --- the rows, by kind (the arguments in the order the pages give them)
constexpr Row knob(int index, int x, int y, int style, int displayOffset = 0)
{
    return {.kind = Kind::Knob, .index = index, .x = x, .y = y, .style = style, .displayOffset = displayOffset};
}
constexpr Row onOff(int index, int x, int y, int picture)
{
    return {.kind = Kind::OnOff, .index = index, .x = x, .y = y, .picture = picture};
}
constexpr Row radio(int index, int x, int y, int columns, int rows, int picture)
{
    return {.kind = Kind::Radio, .index = index, .x = x, .y = y, .picture = picture, .columns = columns,
            .rows = rows};
}
constexpr Row menu(int index, int x, int y, int w, int h)
{
    return {.kind = Kind::Menu, .index = index, .x = x, .y = y, .w = w, .h = h};
}
// A menu that takes its picture's size and draws it as its background.
constexpr Row pictureMenu(int index, int x, int y, int picture)
{
    return {.kind = Kind::Menu, .index = index, .x = x, .y = y, .picture = picture};
}
constexpr Row subMenu(int index, int x, int y, int w, int h)
{
    return {.kind = Kind::SubMenu, .index = index, .x = x, .y = y, .w = w, .h = h};
}
constexpr Row fileList(int index, int x, int y, int w, int h)
{
    return {.kind = Kind::FileList, .index = index, .x = x, .y = y, .w = w, .h = h};
}
constexpr Row touch(int index, int x, int y, int w, int h, int command, int commandIndex, int commandValue)
{
    return {.kind = Kind::Touch, .index = index, .x = x, .y = y, .w = w, .h = h, .command = command,
            .commandIndex = commandIndex, .commandValue = commandValue};
}
constexpr Row fileButton(int index, int x, int y, int w, int h, const FileSpec& file)
{
    return {.kind = Kind::FileButton, .index = index, .x = x, .y = y, .w = w, .h = h, .file = &file};
}
// Given by its outer rectangle (left, top)-(right, bottom).
constexpr Row plusMinus(int index, int left, int top, int right, int bottom)
{
    return {.kind = Kind::PlusMinus, .index = index, .x = left, .y = top, .w = right - left, .h = bottom - top};
}
constexpr Row varDisplay(int index, int x, int y, int w, int h)
{
    return {.kind = Kind::VarDisplay, .index = index, .x = x, .y = y, .w = w, .h = h};
}
constexpr Row filename(int index, int x, int y, int w, int h)
{
    return {.kind = Kind::Filename, .index = index, .x = x, .y = y, .w = w, .h = h};
}
constexpr Row textDisplay(int index, int x, int y, int w, int h)
{
    return {.kind = Kind::TextDisplay, .index = index, .x = x, .y = y, .w = w, .h = h};
}
constexpr Row depth(int index, int x, int y, int w, int h)
{
    return {.kind = Kind::Depth, .index = index, .x = x, .y = y, .w = w, .h = h};
}
constexpr Row xyPad(int index, int x, int y, int size)
{
    return {.kind = Kind::XYPad, .index = index, .x = x, .y = y, .w = size, .h = size};
}
// The large form with its value display; .smallForm() for the other.
constexpr Row envSlider(int index, int x, int y)
{
    return {.kind = Kind::EnvSlider, .index = index, .x = x, .y = y};
}
constexpr Row smallSlider(int index, int x, int y)
{
    return {.kind = Kind::EnvSlider, .index = index, .x = x, .y = y, .small = true, .display = false};
}
// The mixer's slider: the area (x, y, w, h); the handle (hw x hh) moves
// about the centre (x + 4, y + 4) along 64 pixels.
constexpr Row mixSlider(int index, int x, int y)
{
    return {.kind = Kind::Slider, .index = index, .x = x, .y = y, .w = 72, .h = 10, .picture = 373};
}
// A control given by its rectangle (left, top)-(right, bottom).
constexpr Row area(Kind kind, int index, int left, int top, int right, int bottom, int picture = 0)
{
    return {.kind = kind, .index = index, .x = left, .y = top, .w = right - left, .h = bottom - top,
            .picture = picture};
}
constexpr Row gateSteps(int index, int x, int y, int steps, int picture)
{
    return {.kind = Kind::GateSteps, .index = index, .x = x, .y = y, .picture = picture, .columns = steps};
}
constexpr Row zoneLabel(int index, int x, int y, int w, int h)
{
    return {.kind = Kind::ZoneLabel, .index = index, .x = x, .y = y, .w = w, .h = h};
}
// Effect rows r = 0, 1, ...: the name at (12, 13r + 10), the bar at
// (70, 13r + 10), its value at (157, 13r + 16); an on/off row's button at
// (70, 13r + 9); a tempo-sync menu at (177, 13r + 10), a type or mode menu at
// (181, 13r + 10).
constexpr int fxRowY(int r)
{
    return 13 * r + 10;
}
constexpr Row paraBar(int index, int x, int y)
{
    return {.kind = Kind::ParaBar, .index = index, .x = x, .y = y, .w = 65, .h = 11, .picture = 374};
}
constexpr Row fxBar(int r, const char* name, int index)
{
    return {.kind = Kind::FxBar, .index = index, .x = 70, .y = fxRowY(r), .w = 65, .h = 11, .picture = 374,
            .label = name};
}
constexpr Row fxName(int r, const char* name)
{
    return {.kind = Kind::FxName, .index = -1, .x = 12, .y = fxRowY(r), .w = 55, .h = 11, .label = name};
}
constexpr Row fxOnOff(int r, const char* name, int index)
{
    return {.kind = Kind::FxOnOff, .index = index, .x = 70, .y = fxRowY(r) - 1, .picture = 375, .label = name};
}
constexpr Row fxSync(int r, int index)
{
    return pictureMenu(index, 177, fxRowY(r), 393).named("Sync"); // the tempo-sync menu's picture
}
constexpr Row fxMode(int r, int index, const char* name)
{
    return pictureMenu(index, 181, fxRowY(r), 394).named(name); // the mode menu's picture
}

// --- where a table is built
// A row at slot s: its index (base + stride x s + repeat x indexStep), its y
// (the lower y on a lower panel) and its command.
struct Place
{
    int slot = 0;
    bool lower = false;
};

// One view that a row makes.
enum class Part : uint8_t
{
    Control, // the control the row names
    Display, // the value display its builder adds (knobs, parameter bars, envelope sliders)
    Label,   // the effect row's name (a CLabelVx) or the zone's sample name
};

struct Placed
{
    const Row* row;
    Part part;
    int index;      // the external index the view is bound to
    int repeat;     // which repeat of the row
    CRect rect;     // in the frame's coordinates
    int picture;    // 0 none
    const char* label;
};

// The picture a row's control is sized by (its knob style's strip for a
// knob), 0 when none.
int pictureOf(const Row& row);
// The size of one frame of a picture (one state of an on/off button, one
// whole grid of a radio), as the store has it; (0, 0) for none.
CPoint pictureFrameSize(int picture);

// The views of repeat `repeat` of a row built at a place, control first.
// Knobs, bars and sliders add their value display; effect rows their name.
std::vector<Placed> placeRow(const Row& row, const Place& place, int repeat);
// Every view of a table built at a place.
std::vector<Placed> placedViews(std::span<const Row> table, const Place& place);

// The external index of repeat `repeat` of a row at a place.
constexpr int indexAt(const Row& row, const Place& place, int repeat)
{
    return row.index + row.stride * place.slot + row.indexStep * repeat;
}
constexpr int yAt(const Row& row, const Place& place, int repeat)
{
    return (place.lower && row.yLower != NoLowerY ? row.yLower : row.y) + row.dy * repeat;
}

// --- frames and rules
struct FrameDef
{
    int number;       // exchangeable frame number (87: the main edit frame)
    const char* name; // pages have names; sub-frames have the empty name
    int x;            // position in its parent
    int y;
    int picture;      // its background picture, which gives its size
    int parent;       // the frame it is shown in
};

constexpr int MaxChildren = 12;
struct RuleDef
{
    int selector;     // the external index whose value picks the child
    int parent;       // frame number
    int children[MaxChildren]; // in value order; 0 ends the list
};

// One table built into one frame at one place: what the builders do, as data.
struct Content
{
    int frame;
    std::span<const Row> rows;
    Place place;
    const char* builder; // the builder that walks it (for reports)
};

// What a painter of a page picture needs of one control: where it is, what
// kind it is and what it is called; the touch areas' command and the file
// buttons' mode tell the painter which face to give them.
struct PaintedRow
{
    CRect rect;
    Kind kind;
    const char* label;
    int index;
    int command;   // touch areas
    int fileMode;  // file buttons: 0 open, 1 save
    Part part;
    int repeat = 0;         // which repeat of its row
    int count = 1;          // how many repeats the row has
    bool drawn = true;      // menus: false for a click area the picture shows
    bool ownLabels = false; // each repeat has a label of its own
};

} // namespace PageLayout
