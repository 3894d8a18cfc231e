// Which value displays cannot show their parameter's longest text at their
// font. A row names a display: the parameter it shows, its box and its font
// role; the check walks the parameter's values, sets each value's display
// text in the font the display uses (Look::textFont of the role and the
// box's height) and reports the displays whose widest text is wider than
// the box: such a text is drawn smaller (Look::fittedFont), and where even
// the smallest text size is too wide it is cut.
// The rows come from a built editor (every value display it registered or
// bound) or from a table of the pages' displays.
// Thread: the user-interface thread (it reads the engine's parameters).
#pragma once

#include "GuiTypes.h"
#include "VdxString.h"

#include <span>
#include <vector>

class Synth;
class SynthEditor_c;

namespace ValueDisplayCheck {

enum class Texts
{
    Parameter, // the parameter's display texts over its range
    Depth,     // a modulation depth display: "-1.0000", "-48:00"
};

struct Row
{
    int index;
    int width;
    int height;
    CFontRef role;
    Texts texts = Texts::Parameter;
    const char* where = "";
};

struct Overflow
{
    Row row;
    Vdx::String_c text; // the widest text
    int textWidth;      // its width in pixels at the display's font
    int fittedSize;     // the font size it is drawn in instead
    bool cut;           // too wide even at the smallest text size
};
// The display text of parameter index at the integer value v, without
// changing the parameter; the current text for texts and unmapped indices.
Vdx::String_c textAt(Synth& engine, int index, int v);
// The widest display text of the row's parameter (all values of a range up
// to a few thousand, evenly spread samples and both ends beyond that);
// width receives its width in the row's font.
Vdx::String_c widestText(Synth& engine, const Row& row, int* width);
// The rows whose widest text is wider than their box.
std::vector<Overflow> check(Synth& engine, std::span<const Row> rows);
// The value displays a built editor registered (value, plus/minus and depth
// displays) or bound beneath a control (the binders' labels).
std::vector<Row> rowsOf(SynthEditor_c& editor);

} // namespace ValueDisplayCheck
