#include "PagePainters.h"

#include "CommandLetters.h"
#include "EditorLook.h"
#include "EditorPictures.h"
#include "PicturePainters.h"
#include "Vela.h"
#include "VelaPages.h"

#include <cairo.h>

#include <algorithm>
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

bool contains(const CRect& outer, const CRect& inner)
{
    return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
           inner.bottom <= outer.bottom;
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
// What a touch area's command does, as its glyph says it.
Glyph touchGlyph(int command)
{
    switch (command) {
    case Vela_c::CmdPreviousSample:
    case Cmd::PreviousPatch:
    case Vela_c::CmdPreviousWaveTable:
        return Glyph::Previous;
    case Vela_c::CmdNextSample:
    case Cmd::NextPatch:
    case Vela_c::CmdNextWaveTable:
        return Glyph::Next;
    case Vela_c::CmdClearSample:
    case Vela_c::CmdClearWaveTable:
        return Glyph::Clear;
    case Vela_c::CmdVarType0:
    case Vela_c::CmdVarType1:
        return Glyph::Swap;
    case Vela_c::CmdEditPage:
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
    case Ground::Inset:
        setColour(cr, Look::Section);
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
    setColour(cr, Look::Section);
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

// The part of a face that no other control (but a knob, whose corners are
// clear) covers across its height: where its word can be read.
CRect freePart(const PaintedRow& face, std::span<const PaintedRow> rows)
{
    CRect free = face.rect;
    for (const PaintedRow& other : rows) {
        if (&other == &face || other.kind == Kind::Knob || !overlapsRect(other.rect, free))
            continue;
        const CCoord covered = std::min(other.rect.bottom, free.bottom) - std::max(other.rect.top, free.top);
        if (covered * 3 < free.height() * 2)
            continue;
        if (other.rect.left > free.left)
            free.right = std::min(free.right, other.rect.left);
        else if (other.rect.right < free.right)
            free.left = std::max(free.left, other.rect.right);
    }
    return free.width() > 0 ? free : face.rect;
}

// The faces of the controls that draw nothing themselves, painted over the
// fields (a face may lie over another control's well).
void paintFace(cairo_t* cr, const PaintedRow& row, const PageDecor& decor, std::span<const PaintedRow> rows)
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
            buttonFace(cr, r, touchGlyph(row.command), word, freePart(row, rows));
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
    case Kind::ScrollBar:
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
        const Hint* hint = findIn(decor.hints, [&](const Hint& x) {
            return x.label ? std::strcmp(x.label, row.label) == 0 : x.index == row.index;
        });
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
        // The side matters more than a pixel of size: every side is tried
        // at the full size and one less before any takes the smallest.
        bool placed = false;
        const int large = std::max(Look::SmallestLabelSize, decor.labelSize - 1);
        const auto tryTier = [&](int from, int to) {
            for (const Spot& spot : spots)
                for (int px = from; px >= to && !placed; --px) {
                    const CRect r = besides(body, spot.side, textBox(row.label, px, title), spot.align);
                    if (fits(r)) {
                        out.texts.push_back({r, row.label, px, title, row.index});
                        placed = true;
                    }
                }
        };
        tryTier(decor.labelSize, large);
        if (!placed)
            tryTier(large - 1, Look::SmallestLabelSize);
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
        paintFace(cr, row, decor, rows);
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

} // namespace PagePainters
