// The painters of the page pictures: the main background, the nine pages and
// the panels the pages exchange. A page picture is painted from the same
// rows the builders walk (VelaPages::paintedRows), so a moved control moves
// its label and its face:
// - the ground, and the sections that group a page's controls under a title
//   (PageDecor.cpp holds them per picture);
// - the fields the controls draw over: wells behind value texts and menus,
//   the pads' and the map's fields, the step grid's lanes and step numbers,
//   the slots and grooves of sliders, the sample display's field;
// - the faces of the controls that draw nothing themselves: touch areas,
//   file buttons, the buttons of the plus/minus displays and the menus that
//   are click areas over the picture (a generator panel's type menu shows the
//   panel's type);
// - the label of every control that has one, placed beside the control where
//   it overlaps no control, no value display, no other text and no frame
//   that lies over the picture.
// The painters read nothing but their arguments and the look (EditorLook.h).
// Thread: any; a painter touches only the context it is given.
#pragma once

#include "EditorLook.h"
#include "GuiTypes.h"
#include "PageFields.h"
#include "PageLayout.h"

#include <span>
#include <vector>

typedef struct _cairo cairo_t;

namespace PagePainters {

// The ground a picture is painted on.
enum class Ground
{
    Window, // the main background: the bands of the page tabs and of the strip above the lower pages
    Page,   // an upper or lower page
    Panel,  // a panel a page shows in one of its frames
    Inset,  // a frame that lies inside a page's section, in the section's colour
};


// An area that groups controls under a title (none: no title): raised from
// the ground, or only its title where the panels of the page do the grouping.
// The title stands in the box's upper left corner, or in its lower left one
// where the group's switch is at its bottom.
struct Section
{
    CRect box;
    const char* title;
    bool raised = true;
    bool titleBelow = false;
};

// Where a label stands beside its control.
enum class Side : uint8_t
{
    Below,
    Above,
    Left,
    Right,
};

// Where along its side a label stands: centred on the control, or flush
// with the control's start (left or top) or end (right or bottom) edge.
enum class Align : uint8_t
{
    Any, // centred if there is room, else flush with either edge
    Centre,
    Start,
    End,
};

// The side the labels of the controls called `label` (or, without a label,
// of control `index` alone) take instead of their kind's order of
// preference, `offset` pixels further from the control than usual (a second
// line where neighbours' labels take the first).
struct Hint
{
    const char* label;
    Side side;
    Align align = Align::Any;
    int offset = 0;
    int index = -1;
};
// The word the face of control `index` shows.
struct Word
{
    int index;
    const char* text;
};
// One label over the columns of several repeated rows: over the first
// repeats of the rows labelled `first` to `last`, in place of their own.
struct Group
{
    const char* text;
    const char* first;
    const char* last;
};
// A glyph in place of a label where the label's words find no room.
struct Icon
{
    int index;
    Glyph glyph;
    Side side;
};

// What a picture shows besides its rows.
struct PageDecor
{
    int picture = 0;
    Ground ground = Ground::Page;
    const char* title = nullptr; // a panel's name; a generator panel's type, shown on its type menu
    std::span<const Section> sections = {};
    std::span<const Hint> hints = {};
    std::span<const Word> words = {};
    std::span<const int> unlabelled = {}; // controls whose face or picture already says what they are
    std::span<const int> labelled = {};   // faces that get a label beside them as well
    std::span<const int> titled = {};     // labels set as titles: a control that heads its group
    std::span<const Group> groups = {};
    std::span<const Icon> icons = {};
    int logo = -1; // the touch area that shows the instrument's name instead of a key
    int labelSize = Look::LabelSize; // the largest label; a crowded panel takes less
};

// The decor of a picture; a plain page or panel for pictures without one.
const PageDecor& decorOf(int picture);

// A text painted into a picture: a control's label or a section's title.
struct PaintedText
{
    CRect rect;
    const char* text; // null for an icon
    int px;
    bool bold;
    int index; // the control it names; -1 for a title or a group's label
    Glyph glyph = Glyph::None;
};

struct TextLayout
{
    std::vector<PaintedText> texts;
    std::vector<int> unplaced; // labelled controls for which no side had room
};

// Where every text of a picture goes. Obstacles are every view of the rows
// (by bodyOf) and the areas of the frames laid over the picture (covered).
// A label takes the first of its sides, in the kind's order (or the hint's),
// that has room at the decor's label size or one pixel less: inside the
// picture, over no obstacle and no text before it, and not across a raised
// section's edge; only where no side has room does it step down further, to
// Look::SmallestLabelSize. Above and below a control it stands centred, else
// flush with one of the control's edges. Rows repeated without labels of
// their own get one label, over their first repeat; the decor's groups one
// label over several such rows; its icons a glyph beside their control.
TextLayout layoutTexts(const PageDecor& decor, std::span<const PageLayout::PaintedRow> rows,
                       std::span<const CRect> covered, int w, int h);

// The whole picture.
void paintPage(cairo_t* cr, int w, int h, const PageDecor& decor, std::span<const PageLayout::PaintedRow> rows,
               std::span<const CRect> covered);

// The picture of id `picture`, painted from its rows (VelaPages) and decor.
void paintPicture(int picture, cairo_t* cr, int w, int h);

// The areas of the frames that lie over a picture: the panels of a page,
// the pages of the main background, a holder's envelope.
std::vector<CRect> coveredAreas(int picture);

// Whether two rectangles share pixels (touching edges do not).
bool overlapsRect(const CRect& a, const CRect& b);

// The rectangle a view takes on its page: its own, or for a knob the square
// its circle is painted in (a wide knob's picture is mostly empty beside it).
CRect bodyOf(const PageLayout::PaintedRow& row);

} // namespace PagePainters
