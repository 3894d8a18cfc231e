#include "PagePainters.h"

#include "EditorLook.h"
#include "EditorPictures.h"
#include "PicturePainters.h"
#include "VelaPages.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <tuple>

namespace PagePainters {
namespace {
using PageLayout::Kind;
using PageLayout::PaintedRow;
using PageLayout::Part;
using Painters::roundedRect;
using Painters::setColour;

constexpr double Pi = 3.14159265358979323846;

// Commands of the touch areas, as the instrument numbers them.
constexpr int CmdNextSample = 2, CmdPreviousSample = 3, CmdClearSample = 4;
constexpr int CmdNextProgram = 15, CmdPreviousProgram = 16;
constexpr int CmdNextTable = 41, CmdPreviousTable = 42, CmdClearTable = 43;
constexpr int CmdFilterType1 = 92, CmdFilterType2 = 93;
constexpr int CmdEditPage = 94;


bool contains(const CRect& outer, const CRect& inner)
{
    return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
           inner.bottom <= outer.bottom;
}

// Text width in pixels in the look's face at px, as the label painter sets it.
double measure(const char* text, int px, bool bold)
{
    struct Measure
    {
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
        cairo_t* cr = cairo_create(surface);
        ~Measure()
        {
            cairo_destroy(cr);
            cairo_surface_destroy(surface);
        }
    };
    thread_local Measure m;
    cairo_select_font_face(m.cr, Look::FontFamily, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(m.cr, px);
    cairo_text_extents_t ext;
    cairo_text_extents(m.cr, text, &ext);
    return ext.x_advance;
}

// The box a text of px pixels takes: its width plus a pixel each side, and
// the font's size and a pixel (the labels have few descenders).
CPoint textBox(const char* text, int px, bool bold)
{
    return {static_cast<CCoord>(std::ceil(measure(text, px, bold))) + 2, px + 1};
}

template <class T, class Pred>
const T* findIn(std::span<const T> list, Pred pred)
{
    const auto it = std::find_if(list.begin(), list.end(), pred);
    return it == list.end() ? nullptr : &*it;
}

bool listed(std::span<const int> list, int index)
{
    return std::find(list.begin(), list.end(), index) != list.end();
}

const char* wordOf(const PageDecor& decor, int index)
{
    const Word* w = findIn(decor.words, [index](const Word& x) { return x.index == index; });
    return w ? w->text : nullptr;
}

// Kinds whose controls show what they are without a label: the keyboard,
// the sample display and its scroll bar, the gate steps, the effect rows
// (their names are views of their own), and the faces painted here.
bool labelledByDefault(const PaintedRow& row)
{
    switch (row.kind) {
    case Kind::Keyboard:
    case Kind::SampleDisplay:
    case Kind::ScrollBar:
    case Kind::GateSteps:
    case Kind::FxBar:
    case Kind::FxOnOff:
    case Kind::FxName:
    case Kind::Touch:
    case Kind::FileButton:
    case Kind::StepGrid:
        return false;
    case Kind::Menu:
        return row.drawn;
    default:
        return true;
    }
}

std::initializer_list<Side> sidesOf(const PaintedRow& row, bool header)
{
    static constexpr std::initializer_list<Side> AboveFirst = {Side::Above, Side::Left, Side::Below, Side::Right};
    static constexpr std::initializer_list<Side> BelowFirst = {Side::Below, Side::Above, Side::Right, Side::Left};
    static constexpr std::initializer_list<Side> RightFirst = {Side::Right, Side::Left, Side::Above, Side::Below};
    static constexpr std::initializer_list<Side> LeftFirst = {Side::Left, Side::Above, Side::Below, Side::Right};
    if (header)
        return AboveFirst;
    switch (row.kind) {
    case Kind::Knob:
    case Kind::EnvSlider:
        return BelowFirst;
    case Kind::OnOff:
    case Kind::Touch:
    case Kind::FileButton:
        return RightFirst;
    case Kind::Radio:
    case Kind::PlusMinus:
    case Kind::XYPad:
    case Kind::Map51:
    case Kind::StepGrid:
        return AboveFirst;
    default:
        return LeftFirst;
    }
}

// The box of a label of size `box` on `side` of a control.
CRect besides(const CRect& c, Side side, CPoint box, Align align)
{
    CCoord cx = c.left + (c.width() - box.h) / 2;
    if (align == Align::Start)
        cx = c.left;
    else if (align == Align::End)
        cx = c.right - box.h;
    const CCoord cy = c.top + (c.height() - box.v) / 2;
    const int gap = Look::LabelGap;
    switch (side) {
    case Side::Below:
        return CRect(cx, c.bottom + gap, cx + box.h, c.bottom + gap + box.v);
    case Side::Above:
        return CRect(cx, c.top - gap - box.v, cx + box.h, c.top - gap);
    case Side::Left:
        return CRect(c.left - gap - box.h, cy, c.left - gap, cy + box.v);
    case Side::Right:
        return CRect(c.right + gap, cy, c.right + gap + box.h, cy + box.v);
    }
    return c;
}

// A section's title sits in its upper (or lower) left corner.
CRect titleRect(const Section& s)
{
    const CPoint box = textBox(s.title, Look::TitleSize, true);
    const CCoord x = s.box.left + Look::SectionPad + 1;
    const CCoord y = s.titleBelow ? s.box.bottom - 2 - box.v : s.box.top + 2;
    return CRect(x, y, x + box.h, y + box.v);
}

// ------------------------------------------------------------ faces
Glyph touchGlyph(int command)
{
    switch (command) {
    case CmdPreviousSample:
    case CmdPreviousProgram:
    case CmdPreviousTable:
        return Glyph::Previous;
    case CmdNextSample:
    case CmdNextProgram:
    case CmdNextTable:
        return Glyph::Next;
    case CmdClearSample:
    case CmdClearTable:
        return Glyph::Clear;
    case CmdFilterType1:
    case CmdFilterType2:
        return Glyph::Swap;
    case CmdEditPage:
        return Glyph::Go;
    default:
        return Glyph::None;
    }
}

// A file button says its word when the word fits, its glyph otherwise.
const char* fittingWord(const char* word, const CRect& r)
{
    if (!word)
        return nullptr;
    return textBox(word, Look::SmallestLabelSize + 1, false).h <= r.width() - 2 ? word : nullptr;
}

void paintGround(cairo_t* cr, int w, int h, Ground ground)
{
    switch (ground) {
    case Ground::Window: {
        setColour(cr, Look::Ground);
        cairo_rectangle(cr, 0, 0, w, h);
        cairo_fill(cr);
        // The band of the page tabs and the strip between upper and lower
        // pages, lit from above, each with a line that catches the light.
        const int bands[2][2] = {{0, 37}, {327, 348}};
        for (const auto& b : bands) {
            Painters::setGradient(cr, b[0], b[1], Look::Panel, Look::Ground);
            cairo_rectangle(cr, 0, b[0], w, b[1] - b[0]);
            cairo_fill(cr);
            setColour(cr, Look::Well);
            cairo_rectangle(cr, 0, b[1] - 1, w, 1);
            cairo_fill(cr);
            setColour(cr, Look::SectionEdge);
            cairo_rectangle(cr, 0, b[0], w, 1);
            cairo_fill(cr);
        }
        break;
    }
    case Ground::Page:
        Painters::setGradient(cr, 0, h, Look::GroundTop, Look::Ground);
        cairo_rectangle(cr, 0, 0, w, h);
        cairo_fill(cr);
        break;
    case Ground::Panel:
        setColour(cr, Look::Ground);
        cairo_rectangle(cr, 0, 0, w, h);
        cairo_fill(cr);
        roundedRect(cr, 1.5, 1.5, w - 3, h - 3, Look::SectionCorner);
        Painters::setGradient(cr, 0, h, Look::Panel, Look::Section);
        cairo_fill_preserve(cr);
        setColour(cr, Look::SectionEdge);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        break;
    }
}

void paintSection(cairo_t* cr, const Section& s)
{
    const CRect& b = s.box;
    if (!s.raised)
        return;
    roundedRect(cr, b.left + 0.5, b.top + 0.5, b.width() - 1, b.height() - 1, Look::SectionCorner);
    Painters::setGradient(cr, b.top, b.bottom, Look::Panel, Look::Section);
    cairo_fill_preserve(cr);
    setColour(cr, Look::SectionEdge);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    if (!s.title)
        return;
    // A fine rule from the title to the section's right edge.
    const CRect t = titleRect(s);
    setColour(cr, Look::SectionEdge);
    cairo_rectangle(cr, t.right + 3, t.top + t.height() / 2, b.right - Look::SectionPad - 1 - (t.right + 3), 1);
    cairo_fill(cr);
}

// The wordmark a touch area may show instead of a key.
void logo(cairo_t* cr, const CRect& r, const char* word)
{
    if (!word)
        return;
    cairo_save(cr);
    setColour(cr, Look::Accent);
    cairo_rectangle(cr, r.left + 4, r.bottom - 4, r.width() - 8, 1);
    cairo_fill(cr);
    const int px = std::min(Look::TitleSize + 4, static_cast<int>(r.height()) - 6);
    Painters::label(cr, CRect(r.left, r.top, r.right, r.bottom - 3), word, px, Look::TextBright, true);
    cairo_restore(cr);
}

// The faces of the controls that draw nothing themselves, painted over the
// fields (a face may lie over another control's well).
void paintFace(cairo_t* cr, const PaintedRow& row, const PageDecor& decor)
{
    if (row.part != Part::Control)
        return;
    const CRect& r = row.rect;
    const char* word = wordOf(decor, row.index);
    switch (row.kind) {
    case Kind::Menu:
        if (!row.drawn)
            menuFace(cr, r, word ? word : decor.title ? decor.title : row.label);
        break;
    case Kind::PlusMinus:
        plusMinus(cr, r, PageLayout::PlusMinusButton);
        break;
    case Kind::Touch:
        if (row.index == decor.logo)
            logo(cr, r, word);
        else
            buttonFace(cr, r, touchGlyph(row.command), word);
        break;
    case Kind::FileButton:
        buttonFace(cr, r, row.fileMode == 1 ? Glyph::Save : Glyph::Open, word ? word : fittingWord(row.label, r));
        break;
    default:
        break;
    }
}

void paintField(cairo_t* cr, const PaintedRow& row)
{
    const CRect& r = row.rect;
    if (row.part == Part::Display) {
        well(cr, r);
        return;
    }
    if (row.part != Part::Control)
        return;
    switch (row.kind) {
    case Kind::VarDisplay:
    case Kind::Depth:
    case Kind::Filename:
    case Kind::ZoneLabel:
    case Kind::FileList:
    case Kind::SubMenu:
        well(cr, r);
        break;
    case Kind::TextDisplay:
        well(cr, r, true);
        break;
    case Kind::Menu:
        if (row.drawn)
            well(cr, r);
        break;
    case Kind::XYPad:
        padField(cr, r);
        break;
    case Kind::StepGrid:
        stepField(cr, r, PageLayout::StepGridColumns, PageLayout::StepGridRows, PageLayout::StepGridMargin,
                  EditorPictures::StepMarkerWidth);
        break;
    case Kind::Map51:
        roomField(cr, r, EditorPictures::MapDotSize);
        break;
    case Kind::SampleDisplay:
        sampleField(cr, r);
        break;
    case Kind::ScrollBar:
        well(cr, r);
        break;
    case Kind::Slider:
        groove(cr, static_cast<int>(r.left) + PageLayout::MixSliderInset,
               static_cast<int>(r.top) + PageLayout::MixSliderInset, PageLayout::MixSliderTrack,
               PageLayout::MixSliderThickness);
        break;
    case Kind::EnvSlider:
        slot(cr, r);
        break;
    case Kind::Keyboard:
        keyBed(cr, r);
        break;
    default:
        break;
    }
}
} // namespace

// ------------------------------------------------------------ layout
TextLayout layoutTexts(const PageDecor& decor, std::span<const PaintedRow> rows, std::span<const CRect> covered,
                       int w, int h)
{
    TextLayout out;
    std::vector<CRect> obstacles(covered.begin(), covered.end());
    for (const PaintedRow& r : rows)
        obstacles.push_back(bodyOf(r));
    for (const Section& s : decor.sections)
        if (s.title)
            out.texts.push_back({titleRect(s), s.title, Look::TitleSize, true, -1});

    const CRect picture(1, 1, w - 1, h - 1);
    auto fits = [&](const CRect& r) {
        if (!contains(picture, r))
            return false;
        for (const CRect& o : obstacles)
            if (overlapsRect(r, o))
                return false;
        for (const PaintedText& t : out.texts)
            if (overlapsRect(r, t.rect))
                return false;
        // Inside a raised section or outside it, never across its edge.
        for (const Section& s : decor.sections)
            if (s.raised && overlapsRect(r, s.box) && !contains(s.box, r))
                return false;
        return true;
    };

    const auto labelled = [&](const PaintedRow& row, const char* label) {
        return row.part == Part::Control && row.repeat == 0 && row.label && std::strcmp(row.label, label) == 0;
    };
    const auto grouped = [&](const PaintedRow& row) {
        for (const Group& g : decor.groups)
            if (labelled(row, g.first) || labelled(row, g.last))
                return true;
        return false;
    };
    // A group's label over the columns it joins: centred above them, else below.
    for (const Group& g : decor.groups) {
        CRect span;
        bool any = false;
        for (const PaintedRow& row : rows)
            if (labelled(row, g.first) || labelled(row, g.last)) {
                const CRect b = bodyOf(row);
                span = any ? CRect(std::min(span.left, b.left), std::min(span.top, b.top),
                                   std::max(span.right, b.right), std::max(span.bottom, b.bottom))
                           : b;
                any = true;
            }
        bool placed = false;
        for (int px = decor.labelSize; any && px >= Look::SmallestLabelSize && !placed; --px)
            for (Side side : {Side::Above, Side::Below}) {
                const CRect r = besides(span, side, textBox(g.text, px, false), Align::Centre);
                if (fits(r)) {
                    out.texts.push_back({r, g.text, px, false, -1});
                    placed = true;
                    break;
                }
            }
        if (!placed)
            out.unplaced.push_back(-1);
    }

    for (const PaintedRow& row : rows) {
        if (row.part != Part::Control || !row.label || !*row.label)
            continue;
        const bool wanted = (labelledByDefault(row) || listed(decor.labelled, row.index)) &&
                            !listed(decor.unlabelled, row.index) && !grouped(row);
        if (!wanted)
            continue;
        const bool header = row.count > 1 && !row.ownLabels;
        if (header && row.repeat > 0)
            continue;
        // A glyph in place of the words.
        if (const Icon* icon = findIn(decor.icons, [&](const Icon& i) { return i.index == row.index; })) {
            const int size = Look::LabelSize + 1;
            const CRect r = besides(bodyOf(row), icon->side, CPoint(size, size), Align::Centre);
            if (fits(r))
                out.texts.push_back({r, nullptr, size, false, row.index, icon->glyph});
            else
                out.unplaced.push_back(row.index);
            continue;
        }
        const Hint* hint =
            findIn(decor.hints, [&](const Hint& x) { return x.label && std::strcmp(x.label, row.label) == 0; });
        struct Spot
        {
            Side side;
            Align align;
        };
        std::vector<Spot> spots;
        const auto addSide = [&](Side side, Align align) {
            if (align != Align::Any) {
                spots.push_back({side, align});
                return;
            }
            spots.push_back({side, Align::Centre});
            if (side == Side::Above || side == Side::Below) {
                spots.push_back({side, Align::Start});
                spots.push_back({side, Align::End});
            }
        };
        if (hint)
            addSide(hint->side, hint->align);
        else
            for (Side side : sidesOf(row, header))
                addSide(side, Align::Any);
        const bool title = listed(decor.titled, row.index);
        // Further away by the hint's offset: the body grown on that side.
        CRect body = bodyOf(row);
        if (hint && hint->offset) {
            switch (hint->side) {
            case Side::Below: body.bottom += hint->offset; break;
            case Side::Above: body.top -= hint->offset; break;
            case Side::Left: body.left -= hint->offset; break;
            case Side::Right: body.right += hint->offset; break;
            }
        }
        bool placed = false;
        for (int px = decor.labelSize; px >= Look::SmallestLabelSize && !placed; --px) {
            const CPoint box = textBox(row.label, px, title);
            for (const Spot& spot : spots) {
                const CRect r = besides(body, spot.side, box, spot.align);
                if (fits(r)) {
                    out.texts.push_back({r, row.label, px, title, row.index});
                    placed = true;
                    break;
                }
            }
        }
        if (!placed)
            out.unplaced.push_back(row.index);
    }
    return out;
}

void paintPage(cairo_t* cr, int w, int h, const PageDecor& decor, std::span<const PaintedRow> rows,
               std::span<const CRect> covered)
{
    cairo_save(cr);
    paintGround(cr, w, h, decor.ground);
    for (const Section& s : decor.sections)
        paintSection(cr, s);
    for (const PaintedRow& row : rows)
        paintField(cr, row);
    for (const PaintedRow& row : rows)
        paintFace(cr, row, decor);
    for (const PaintedText& t : layoutTexts(decor, rows, covered, w, h).texts) {
        if (t.text)
            Painters::label(cr, t.rect, t.text, t.px, t.bold ? Look::Title : Look::Label, t.bold);
        else
            glyph(cr, t.rect, t.glyph, Look::Label);
    }
    cairo_restore(cr);
}

bool overlapsRect(const CRect& a, const CRect& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

CRect bodyOf(const PaintedRow& row)
{
    if (row.kind != Kind::Knob || row.part != Part::Control)
        return row.rect;
    // The knob painter keeps its circle Look::Inset pixels inside the
    // picture; one of them is the circle's soft rim.
    const CCoord d = std::min(row.rect.width(), row.rect.height()) - 2 * (Look::Inset - 1);
    const CCoord x = row.rect.left + (row.rect.width() - d) / 2;
    const CCoord y = row.rect.top + (row.rect.height() - d) / 2;
    return CRect(x, y, x + d, y + d);
}

std::vector<CRect> coveredAreas(int picture)
{
    const auto all = VelaPages::frames();
    const auto wearer =
        std::find_if(all.begin(), all.end(), [&](const PageLayout::FrameDef& f) { return f.picture == picture; });
    std::vector<CRect> areas;
    if (wearer == all.end())
        return areas;
    auto add = [&](int x, int y, int pic) {
        const CPoint size = PageLayout::pictureFrameSize(pic);
        areas.push_back(CRect(x, y, x + size.h, y + size.v));
    };
    for (const PageLayout::FrameDef& f : all) {
        if (f.parent != wearer->number || f.number == wearer->number)
            continue;
        const bool setX = f.number >= VelaPages::FxFrame0 &&
                          f.number < VelaPages::fxFrame(VelaPages::EffectTypes, 0) &&
                          (f.number - VelaPages::FxFrame0) % VelaPages::EffectSets == VelaPages::SetX;
        if (!setX)
            add(f.x, f.y, f.picture);
    }
    // The insert slots' frames take their place when shown.
    if (wearer->number == VelaPages::FxPage)
        for (int i = 0; i < VelaPages::InsertSlots; ++i)
            add(VelaPages::InsertX[i], VelaPages::InsertY[i], EditorPictures::EffectPanel);
    // Repeated frames (the same panel for several values) count once.
    std::sort(areas.begin(), areas.end(), [](const CRect& a, const CRect& b) {
        return std::tie(a.top, a.left, a.bottom, a.right) < std::tie(b.top, b.left, b.bottom, b.right);
    });
    areas.erase(std::unique(areas.begin(), areas.end()), areas.end());
    return areas;
}

void paintPicture(int picture, cairo_t* cr, int w, int h)
{
    const std::vector<PaintedRow> rows = VelaPages::paintedRows(picture);
    const std::vector<CRect> covered = coveredAreas(picture);
    paintPage(cr, w, h, decorOf(picture), rows, covered);
}

// ------------------------------------------------------------ pieces
void glyph(cairo_t* cr, const CRect& box, Glyph g, CColor ink)
{
    const double cx = box.left + box.width() / 2.0;
    const double cy = box.top + box.height() / 2.0;
    const double s = std::max(2.0, std::min(box.width(), box.height()) * 0.28); // half size
    cairo_save(cr);
    setColour(cr, ink);
    cairo_set_line_width(cr, 1.2);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    switch (g) {
    case Glyph::Previous:
    case Glyph::Next: {
        const double d = g == Glyph::Next ? 1 : -1;
        cairo_move_to(cr, cx + d * s * 0.8, cy);
        cairo_line_to(cr, cx - d * s * 0.6, cy - s);
        cairo_line_to(cr, cx - d * s * 0.6, cy + s);
        cairo_close_path(cr);
        cairo_fill(cr);
        break;
    }
    case Glyph::Clear:
        cairo_move_to(cr, cx - s * 0.75, cy - s * 0.75);
        cairo_line_to(cr, cx + s * 0.75, cy + s * 0.75);
        cairo_move_to(cr, cx + s * 0.75, cy - s * 0.75);
        cairo_line_to(cr, cx - s * 0.75, cy + s * 0.75);
        cairo_stroke(cr);
        break;
    case Glyph::Open: {
        // A folder: its tab on the upper left, the body below.
        const double fw = s * 2.2;
        const double fh = s * 1.6;
        const double x = std::round(cx - fw / 2) + 0.5;
        const double y = std::round(cy - fh / 2) + 0.5;
        cairo_move_to(cr, x, y + fh);
        cairo_line_to(cr, x, y);
        cairo_line_to(cr, x + fw * 0.4, y);
        cairo_line_to(cr, x + fw * 0.5, y + fh * 0.25);
        cairo_line_to(cr, x + fw, y + fh * 0.25);
        cairo_line_to(cr, x + fw, y + fh);
        cairo_close_path(cr);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        break;
    }
    case Glyph::Save: {
        // An arrow down onto a tray.
        cairo_move_to(cr, cx, cy - s);
        cairo_line_to(cr, cx, cy + s * 0.3);
        cairo_stroke(cr);
        cairo_move_to(cr, cx - s * 0.6, cy - s * 0.2);
        cairo_line_to(cr, cx, cy + s * 0.5);
        cairo_line_to(cr, cx + s * 0.6, cy - s * 0.2);
        cairo_stroke(cr);
        cairo_move_to(cr, cx - s, cy + s);
        cairo_line_to(cr, cx + s, cy + s);
        cairo_stroke(cr);
        break;
    }
    case Glyph::Swap:
        for (int k : {-1, 1}) {
            const double y = cy + k * s * 0.5;
            const double d = k; // the upper arrow points left, the lower right
            cairo_move_to(cr, cx - s, y);
            cairo_line_to(cr, cx + s, y);
            cairo_stroke(cr);
            const double tip = cx + d * s;
            cairo_move_to(cr, tip - d * s * 0.45, y - s * 0.4);
            cairo_line_to(cr, tip, y);
            cairo_line_to(cr, tip - d * s * 0.45, y + s * 0.4);
            cairo_stroke(cr);
        }
        break;
    case Glyph::Go:
        cairo_move_to(cr, cx - s * 0.35, cy - s * 0.7);
        cairo_line_to(cr, cx + s * 0.35, cy);
        cairo_line_to(cr, cx - s * 0.35, cy + s * 0.7);
        cairo_set_line_width(cr, 1.5);
        cairo_stroke(cr);
        break;
    case Glyph::Menu: {
        const double half = std::min(3.0, s);
        cairo_move_to(cr, cx - half, cy - half * 0.5);
        cairo_line_to(cr, cx + half, cy - half * 0.5);
        cairo_line_to(cr, cx, cy + half * 0.6);
        cairo_close_path(cr);
        cairo_fill(cr);
        break;
    }
    case Glyph::Speaker: {
        // The box and the cone, then two arcs of sound.
        const double x = cx - s * 0.9;
        cairo_move_to(cr, x, cy - s * 0.3);
        cairo_line_to(cr, x + s * 0.4, cy - s * 0.3);
        cairo_line_to(cr, x + s * 0.9, cy - s * 0.8);
        cairo_line_to(cr, x + s * 0.9, cy + s * 0.8);
        cairo_line_to(cr, x + s * 0.4, cy + s * 0.3);
        cairo_line_to(cr, x, cy + s * 0.3);
        cairo_close_path(cr);
        cairo_fill(cr);
        cairo_set_line_width(cr, 1);
        for (double r : {s * 0.5, s * 0.95}) {
            cairo_arc(cr, x + s * 0.9, cy, r, -0.9, 0.9);
            cairo_stroke(cr);
        }
        break;
    }
    case Glyph::None:
        break;
    }
    cairo_restore(cr);
}

void buttonFace(cairo_t* cr, const CRect& r, Glyph g, const char* word)
{
    cairo_save(cr);
    Painters::face(cr, r.left, r.top, r.width(), r.height(), false);
    if (word && *word) {
        const int px = std::clamp(static_cast<int>(r.height()) - 4, Look::SmallestLabelSize, Look::LabelSize);
        Painters::label(cr, r, word, px, Look::Text, false);
    } else {
        glyph(cr, r, g, Look::Text);
    }
    cairo_restore(cr);
}

void menuFace(cairo_t* cr, const CRect& r, const char* word)
{
    cairo_save(cr);
    Painters::face(cr, r.left, r.top, r.width(), r.height(), false);
    const int arrow = std::min<int>(9, static_cast<int>(r.height()));
    const CRect text(r.left + 2, r.top, r.right - arrow, r.bottom);
    if (word && *word) {
        int px = std::clamp(static_cast<int>(r.height()) - 5, Look::SmallestLabelSize, Look::LabelSize + 1);
        while (px > Look::SmallestLabelSize && textBox(word, px, true).h > text.width())
            --px;
        Painters::label(cr, text, word, px, Look::TextBright, true);
    }
    glyph(cr, CRect(r.right - arrow - 1, r.top, r.right - 1, r.bottom), Glyph::Menu, Look::Accent);
    cairo_restore(cr);
}

void well(cairo_t* cr, const CRect& r, bool screen)
{
    cairo_save(cr);
    roundedRect(cr, r.left, r.top, r.width(), r.height(), 2);
    setColour(cr, screen ? Look::Screen : Look::Well);
    cairo_fill(cr);
    // Its lower edge catches the light, the upper lies in shadow.
    setColour(cr, Look::SectionEdge);
    cairo_rectangle(cr, r.left + 2, r.bottom - 1, r.width() - 4, 1);
    cairo_fill(cr);
    cairo_restore(cr);
}

void plusMinus(cairo_t* cr, const CRect& outer, int button)
{
    const CRect text(outer.left, outer.top - 1, outer.right - 2 * button, outer.bottom);
    well(cr, text);
    // The signs as crisp strokes on the pixel grid: minus on the left key,
    // plus on the right.
    for (int k = 0; k < 2; ++k) {
        const CRect key(outer.right - (2 - k) * button, outer.top, outer.right - (1 - k) * button, outer.bottom);
        Painters::face(cr, key.left, key.top, key.width(), key.height(), false);
        const int half = std::max(2, static_cast<int>(std::min(key.width(), key.height())) / 2 - 4);
        const int cx = static_cast<int>(key.left + key.width() / 2);
        const int cy = static_cast<int>(key.top + key.height() / 2);
        setColour(cr, Look::Text);
        cairo_rectangle(cr, cx - half, cy, 2 * half + 1, 1);
        if (k == 1)
            cairo_rectangle(cr, cx, cy - half, 1, 2 * half + 1);
        cairo_fill(cr);
    }
}

void padField(cairo_t* cr, const CRect& r)
{
    cairo_save(cr);
    well(cr, r);
    cairo_set_line_width(cr, 1);
    for (int k = 1; k < 4; ++k) {
        const double x = std::round(r.left + r.width() * k / 4.0) + 0.5;
        const double y = std::round(r.top + r.height() * k / 4.0) + 0.5;
        cairo_set_source_rgba(cr, 1, 1, 1, k == 2 ? 0.10 : 0.04);
        cairo_move_to(cr, x, r.top + 1);
        cairo_line_to(cr, x, r.bottom - 1);
        cairo_move_to(cr, r.left + 1, y);
        cairo_line_to(cr, r.right - 1, y);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

void stepField(cairo_t* cr, const CRect& r, int columns, int rows, int margin, int markerWidth)
{
    columns = std::max(1, columns);
    rows = std::max(1, rows);
    const int cw = static_cast<int>(r.width()) / columns;
    const int ch = static_cast<int>(r.height()) / rows;
    const int lane = cw - 5 - margin - markerWidth;
    cairo_save(cr);
    for (int c = 0; c < columns; ++c)
        for (int k = 0; k < rows; ++k) {
            const int x = static_cast<int>(r.left) + c * cw;
            const int y = static_cast<int>(r.top) + k * ch;
            char number[12];
            std::snprintf(number, sizeof number, "%d", c * rows + k + 1);
            Painters::label(cr, CRect(x, y, x + margin - 1, y + ch), number, std::min(Look::SmallestLabelSize, ch),
                            Look::Label, false);
            if (lane > 2)
                well(cr, CRect(x + margin + markerWidth, y + 1, x + margin + markerWidth + lane, y + ch - 1));
        }
    cairo_restore(cr);
}

void roomField(cairo_t* cr, const CRect& r, int dot)
{
    cairo_save(cr);
    well(cr, r);
    // The dots' centres span the room less half a dot at each side; the
    // speakers stand where a dot at the room's corners and front centre
    // would, the listener in the middle.
    const double l = r.left + dot / 2.0, t = r.top + dot / 2.0;
    const double rr = r.right - dot / 2.0, b = r.bottom - dot / 2.0;
    const double cx = (l + rr) / 2, cy = (t + b) / 2;
    cairo_set_line_width(cr, 1);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.06);
    cairo_move_to(cr, std::round(cx) + 0.5, r.top + 2);
    cairo_line_to(cr, std::round(cx) + 0.5, r.bottom - 2);
    cairo_move_to(cr, r.left + 2, std::round(cy) + 0.5);
    cairo_line_to(cr, r.right - 2, std::round(cy) + 0.5);
    cairo_stroke(cr);
    cairo_arc(cr, cx, cy, std::min(r.width(), r.height()) * 0.3, 0, 2 * Pi);
    cairo_stroke(cr);
    struct Speaker
    {
        double x, y;
        const char* name;
    };
    const Speaker speakers[] = {{l, t, "L"}, {cx, t, "C"}, {rr, t, "R"}, {l, b, "Ls"}, {rr, b, "Rs"}};
    for (const Speaker& s : speakers) {
        roundedRect(cr, s.x - 5, s.y - 5, 10, 10, 2);
        setColour(cr, Look::SectionEdge);
        cairo_fill(cr);
        Painters::label(cr, CRect(s.x - 6, s.y - 5, s.x + 6, s.y + 5), s.name, 7, Look::Label, false);
    }
    setColour(cr, Look::SectionEdge);
    cairo_arc(cr, cx, cy, 3, 0, 2 * Pi);
    cairo_fill(cr);
    cairo_restore(cr);
}

void sampleField(cairo_t* cr, const CRect& r)
{
    cairo_save(cr);
    well(cr, r);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.08);
    cairo_rectangle(cr, r.left + 2, std::round(r.top + r.height() / 2.0), r.width() - 4, 1);
    cairo_fill(cr);
    cairo_restore(cr);
}

void groove(cairo_t* cr, int x, int y, int track, int thick)
{
    cairo_save(cr);
    setColour(cr, Look::Well);
    cairo_rectangle(cr, x, y, track, std::max(1, thick));
    cairo_fill(cr);
    setColour(cr, Look::SectionEdge);
    for (double tx : {double(x), x + track / 2.0, double(x + track - 1)}) {
        cairo_rectangle(cr, std::round(tx), y - 3, 1, 2);
        cairo_rectangle(cr, std::round(tx), y + thick + 1, 1, 2);
    }
    cairo_fill(cr);
    cairo_restore(cr);
}

void slot(cairo_t* cr, const CRect& r)
{
    cairo_save(cr);
    const double x = std::round(r.left + r.width() / 2.0) - 1;
    roundedRect(cr, x, r.top, 3, r.height(), 1.5);
    setColour(cr, Look::Well);
    cairo_fill(cr);
    cairo_restore(cr);
}

void keyBed(cairo_t* cr, const CRect& r)
{
    cairo_save(cr);
    roundedRect(cr, r.left - 3, r.top - 3, r.width() + 6, r.height() + 5, 3);
    setColour(cr, Look::Well);
    cairo_fill(cr);
    // The felt strip above the keys.
    setColour(cr, Look::AccentDim);
    cairo_rectangle(cr, r.left - 1, r.top - 2, r.width() + 2, 1);
    cairo_fill(cr);
    cairo_restore(cr);
}

} // namespace PagePainters
