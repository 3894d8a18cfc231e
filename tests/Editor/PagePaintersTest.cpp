#include "CBitmap.h"
#include "EditorLook.h"
#include "EditorPictures.h"
#include "PageLayout.h"
#include "PagePainters.h"
#include "PaintedPicture.h"
#include "RecordingVela.h"
#include "VelaEditor.h"
#include "VelaPages.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {
using PageLayout::Kind;
using PageLayout::PaintedRow;
using PageLayout::Part;
using PagePainters::overlapsRect;

std::string text(const CRect& r)
{
    return "(" + std::to_string(int(r.left)) + ", " + std::to_string(int(r.top)) + ")-(" +
           std::to_string(int(r.right)) + ", " + std::to_string(int(r.bottom)) + ")";
}

bool inside(const CRect& outer, const CRect& inner)
{
    return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
           inner.bottom <= outer.bottom;
}

// Every picture the pages paint from their rows: the main background and
// every page and panel.
std::vector<int> pagePictures()
{
    std::vector<int> ids{EditorPictures::MainBackground};
    for (const EditorPictures::PageSize& p : EditorPictures::pages())
        ids.push_back(p.id);
    return ids;
}

CPoint sizeOf(int id)
{
    return PageLayout::pictureFrameSize(id);
}

using Canvas = TestPictures::Painted;

int brightness(CColor c)
{
    return c.red + c.green + c.blue;
}

PaintedRow row(Kind kind, int index, CRect rect, const char* label)
{
    return {rect, kind, label, index, 0, -1, Part::Control};
}
} // namespace

// The walk over every page picture: each text the painter writes stands
// inside its picture, over no view of its frame (controls, their value
// displays, the effect rows' names), over no frame laid on the picture and
// over no other text; every control that has a label gets it.
TEST(PagePainters, EveryLabelStandsInItsPictureClearOfEveryViewAndText)
{
    for (int id : pagePictures()) {
        const CPoint size = sizeOf(id);
        const std::vector<PaintedRow> rows = VelaPages::paintedRows(id);
        const std::vector<CRect> covered = PagePainters::coveredAreas(id);
        const PagePainters::PageDecor& decor = PagePainters::decorOf(id);
        const PagePainters::TextLayout layout =
            PagePainters::layoutTexts(decor, rows, covered, static_cast<int>(size.h), static_cast<int>(size.v));
        const CRect picture(0, 0, size.h, size.v);
        for (int index : layout.unplaced)
            ADD_FAILURE() << "picture " << id << ": no room for the label of " << index;
        for (size_t i = 0; i < layout.texts.size(); ++i) {
            const PagePainters::PaintedText& t = layout.texts[i];
            const std::string what = "picture " + std::to_string(id) + ", \"" + (t.text ? t.text : "(icon)") +
                                     "\" at " + text(t.rect);
            EXPECT_TRUE(inside(picture, t.rect)) << what;
            EXPECT_GE(t.px, Look::SmallestLabelSize) << what;
            for (const PaintedRow& r : rows)
                EXPECT_FALSE(overlapsRect(t.rect, PagePainters::bodyOf(r)))
                    << what << " lies over " << PageLayout::kindName(r.kind) << " " << r.index << " at "
                    << text(PagePainters::bodyOf(r));
            for (const CRect& c : covered)
                EXPECT_FALSE(overlapsRect(t.rect, c)) << what << " lies under the frame at " << text(c);
            for (size_t k = i + 1; k < layout.texts.size(); ++k)
                EXPECT_FALSE(overlapsRect(t.rect, layout.texts[k].rect))
                    << what << " meets the text at " << text(layout.texts[k].rect);
        }
        // Sections lie in the picture, apart from each other, and no control
        // straddles the edge of a raised one.
        for (size_t i = 0; i < decor.sections.size(); ++i) {
            const PagePainters::Section& s = decor.sections[i];
            EXPECT_TRUE(inside(picture, s.box)) << "picture " << id << " section " << text(s.box);
            for (size_t k = i + 1; k < decor.sections.size(); ++k)
                EXPECT_FALSE(s.raised && decor.sections[k].raised && overlapsRect(s.box, decor.sections[k].box))
                    << "picture " << id << " sections " << text(s.box) << " and " << text(decor.sections[k].box);
            if (!s.raised)
                continue;
            for (const PaintedRow& r : rows) {
                const CRect b = PagePainters::bodyOf(r);
                EXPECT_TRUE(!overlapsRect(b, s.box) || inside(s.box, b))
                    << "picture " << id << ": " << PageLayout::kindName(r.kind) << " " << r.index << " at " << text(b)
                    << " crosses the edge of section " << text(s.box);
            }
        }
    }
}

// What the layout decides is what the picture shows: each label's box holds
// the label's strokes, lighter than the ground around it.
TEST(PagePainters, EachPictureShowsItsLabels)
{
    for (int id : pagePictures()) {
        const CPoint size = sizeOf(id);
        const int w = static_cast<int>(size.h), h = static_cast<int>(size.v);
        Canvas page(w, h, [&](cairo_t* cr) { PagePainters::paintPicture(id, cr, w, h); });
        const PagePainters::TextLayout layout = PagePainters::layoutTexts(
            PagePainters::decorOf(id), VelaPages::paintedRows(id), PagePainters::coveredAreas(id), w, h);
        for (const PagePainters::PaintedText& t : layout.texts) {
            int ink = 0;
            for (int y = static_cast<int>(t.rect.top); y < t.rect.bottom; ++y)
                for (int x = static_cast<int>(t.rect.left); x < t.rect.right; ++x)
                    ink += brightness(page.at(x, y)) > 300;
            EXPECT_GT(ink, 3) << "picture " << id << ": \"" << (t.text ? t.text : "(icon)") << "\" at " << text(t.rect);
        }
    }
}

// Every picture the instrument's editor loads is painted by a row of the
// store's table or by the page painters; none is left a neutral tile.
TEST(PagePainters, EveryPictureTheEditorLoadsHasItsPainter)
{
    auto engine = std::make_unique<EditorTest::RecordingVela>();
    auto editor = std::make_unique<VelaEditor_c>(engine.get());
    int loaded = 0;
    for (int id = 0; id <= EditorPictures::MaxId; ++id) {
        if (!editor->getPicture(id))
            continue;
        ++loaded;
        EXPECT_TRUE(EditorPictures::find(id) || EditorPictures::findPage(id)) << id << " would be a neutral tile";
    }
    EXPECT_GT(loaded, 50) << "the editor loads its pages' pictures";
}

// The faces the controls rely on: every hidden menu has a word (a generator
// panel's type menu the panel's type), every touch area and file button a
// glyph or a word, so no click area is blank.
TEST(PagePainters, EveryClickAreaOverThePictureHasAFace)
{
    std::vector<std::string> typeNames;
    for (int id : pagePictures()) {
        const PagePainters::PageDecor& decor = PagePainters::decorOf(id);
        const CPoint size = sizeOf(id);
        const int w = static_cast<int>(size.h), h = static_cast<int>(size.v);
        Canvas page(w, h, [&](cairo_t* cr) { PagePainters::paintPicture(id, cr, w, h); });
        for (const PaintedRow& r : VelaPages::paintedRows(id)) {
            const bool click =
                (r.kind == Kind::Menu && !r.drawn) || r.kind == Kind::Touch || r.kind == Kind::FileButton;
            if (r.part != Part::Control || !click)
                continue;
            // The face differs from the ground at its middle: a key, a glyph or a word.
            const CColor ground = page.at(static_cast<int>(r.rect.left) - 1, static_cast<int>(r.rect.top) - 1);
            int differing = 0;
            for (int y = static_cast<int>(r.rect.top) + 1; y < r.rect.bottom - 1; ++y)
                for (int x = static_cast<int>(r.rect.left) + 1; x < r.rect.right - 1; ++x)
                    differing += std::abs(brightness(page.at(x, y)) - brightness(ground)) > 60;
            EXPECT_GT(differing, 3) << "picture " << id << ": the face of " << PageLayout::kindName(r.kind) << " "
                                    << r.index;
        }
        if (decor.title && decor.ground == PagePainters::Ground::Panel)
            typeNames.push_back(decor.title);
    }
    // Each kind of generator panel names its own type.
    for (int upper : {EditorPictures::OscPanelUpper, EditorPictures::SamplerPanelUpper,
                      EditorPictures::TablePanelUpper, EditorPictures::LoopPanelUpper}) {
        const char* title = PagePainters::decorOf(upper).title;
        ASSERT_NE(title, nullptr) << upper;
        EXPECT_STREQ(PagePainters::decorOf(upper + 1).title, title) << "the lower panel names the same type";
        EXPECT_EQ(std::count(typeNames.begin(), typeNames.end(), std::string(title)), 2) << title;
    }
}

// A moved control moves its label; a blocked side gives way to the next; a
// row repeated without labels of its own gets one label over its first
// repeat; a control whose label has no room anywhere is reported.
TEST(PagePainters, LabelsFollowTheirControls)
{
    const PagePainters::PageDecor plain{};
    const auto labelOf = [](const PagePainters::TextLayout& l, int index) {
        const auto it = std::find_if(l.texts.begin(), l.texts.end(), [&](const auto& t) { return t.index == index; });
        return it == l.texts.end() ? CRect() : it->rect;
    };
    const std::vector<PaintedRow> knob{row(Kind::Knob, 1, CRect(40, 20, 73, 53), "Cutoff")};
    const CRect body = PagePainters::bodyOf(knob[0]);
    const CRect below = labelOf(PagePainters::layoutTexts(plain, knob, {}, 200, 120), 1);
    EXPECT_EQ(below.top, body.bottom + Look::LabelGap) << "a knob's label stands below it";
    EXPECT_NEAR((below.left + below.right) / 2.0, 56.5, 1.0) << "centred";

    std::vector<PaintedRow> moved = knob;
    moved[0].rect.offset(30, 17);
    CRect after = labelOf(PagePainters::layoutTexts(plain, moved, {}, 200, 120), 1);
    after.offset(-30, -17);
    EXPECT_EQ(after, below) << "the label moves with its knob";

    // A frame over the picture below the knob sends its label above.
    const std::vector<CRect> cover{CRect(0, 56, 200, 120)};
    const CRect above = labelOf(PagePainters::layoutTexts(plain, knob, cover, 200, 120), 1);
    EXPECT_EQ(above.bottom, body.top - Look::LabelGap);

    // Ten menus of one row repeated: one header, over the first.
    PaintedRow menu = row(Kind::Menu, 660, CRect(50, 30, 150, 40), "Source");
    menu.count = 10;
    std::vector<PaintedRow> matrix;
    for (int k = 0; k < 10; ++k) {
        PaintedRow r = menu;
        r.repeat = k;
        r.index = 660 + k;
        r.rect.offset(0, 11 * k);
        matrix.push_back(r);
    }
    const PagePainters::TextLayout headers = PagePainters::layoutTexts(plain, matrix, {}, 200, 160);
    ASSERT_EQ(headers.texts.size(), 1u);
    EXPECT_EQ(headers.texts[0].rect.bottom, 30 - Look::LabelGap);

    // Hemmed in on every side: reported, not painted over its neighbours.
    const std::vector<PaintedRow> tight{row(Kind::Knob, 5, CRect(2, 2, 35, 35), "Resonance")};
    const PagePainters::TextLayout none = PagePainters::layoutTexts(plain, tight, {}, 37, 37);
    EXPECT_TRUE(none.texts.empty());
    EXPECT_EQ(none.unplaced, std::vector<int>{5});
}

// The pieces at chosen pixels.
TEST(PagePainters, FacesFieldsAndGlyphsPaintWhereTheyShould)
{
    // A well is recessed: darker than the ground at its middle.
    Canvas well(40, 12, [](cairo_t* cr) { PagePainters::well(cr, CRect(0, 0, 40, 12)); });
    EXPECT_EQ(well.at(20, 5), Look::Well);
    Canvas screen(40, 12, [](cairo_t* cr) { PagePainters::well(cr, CRect(0, 0, 40, 12), true); });
    EXPECT_GT(brightness(screen.at(20, 5)), 450) << "a lit field for dark text";

    // A plus/minus display: the value's well, then the minus and plus keys,
    // each with its sign across its middle.
    Canvas pm(56, 15, [](cairo_t* cr) { PagePainters::plusMinus(cr, CRect(0, 1, 56, 16), 15); });
    EXPECT_EQ(pm.at(10, 8), Look::Well);
    for (int key : {26, 41}) {
        int ink = 0;
        for (int x = key + 3; x < key + 12; ++x)
            ink += brightness(pm.at(x, 8)) > 400;
        EXPECT_GT(ink, 2) << "the sign on the key at " << key;
    }
    // The plus has a stroke above its middle, the minus none.
    int plusStem = 0, minusStem = 0;
    for (int y = 3; y < 6; ++y) {
        plusStem += brightness(pm.at(48, y)) > 400;
        minusStem += brightness(pm.at(33, y)) > 400;
    }
    EXPECT_GT(plusStem, 0);
    EXPECT_EQ(minusStem, 0);

    // Glyphs: previous points left (ink at the left tip's row, middle), next right.
    struct GlyphCase
    {
        PagePainters::Glyph glyph;
        CPoint ink;   // a pixel the glyph covers
        CPoint clear; // one it leaves alone
    };
    using G = PagePainters::Glyph;
    for (const GlyphCase& g : {GlyphCase{G::Next, CPoint(24, 20), CPoint(10, 20)},
                               GlyphCase{G::Previous, CPoint(16, 20), CPoint(30, 20)},
                               GlyphCase{G::Clear, CPoint(15, 15), CPoint(20, 12)},
                               GlyphCase{G::Menu, CPoint(20, 19), CPoint(20, 24)}}) {
        Canvas c(40, 40, [&](cairo_t* cr) { PagePainters::glyph(cr, CRect(0, 0, 40, 40), g.glyph, Look::TextBright); });
        EXPECT_GT(c.at(g.ink.h, g.ink.v).alpha, 128) << int(g.glyph);
        EXPECT_EQ(c.at(g.clear.h, g.clear.v).alpha, 0) << int(g.glyph);
    }

    // A menu face: its word on the key, its triangle in the accent at the right.
    Canvas menu(105, 16, [](cairo_t* cr) { PagePainters::menuFace(cr, CRect(0, 0, 105, 16), "Envelope"); });
    bool accent = false;
    for (int x = 95; x < 104; ++x)
        accent = accent || (menu.at(x, 7).green > 150 && menu.at(x, 7).red < 140);
    EXPECT_TRUE(accent) << "the list's triangle";
    int word = 0;
    for (int x = 2; x < 80; ++x)
        word += brightness(menu.at(x, 8)) > 500;
    EXPECT_GT(word, 5) << "the word's strokes";

    // The mixer's groove: dark along its track, the ground beside it.
    Canvas groove(80, 12, [](cairo_t* cr) { PagePainters::groove(cr, 4, 4, 64, 2); });
    EXPECT_EQ(groove.at(30, 4), Look::Well);
    EXPECT_EQ(groove.at(70, 4).alpha, 0) << "past the track's end";

    // The step grid: a lane well right of each step's marker.
    Canvas steps(224, 104, [](cairo_t* cr) { PagePainters::stepField(cr, CRect(0, 0, 224, 104), 4, 8, 16, 8); });
    EXPECT_EQ(steps.at(16 + 8 + 10, 6), Look::Well) << "the first lane";
    EXPECT_EQ(steps.at(56 + 16 + 8 + 10, 13 * 7 + 6), Look::Well) << "the lane of step 16";
    EXPECT_EQ(steps.at(16 + 4, 6).alpha, 0) << "the marker's place is left to the marker";
}

// The main background: the tab band and the strip above the lower pages
// are lit, the pages' places plain ground; the instrument's name sits in
// the strip where the touch area that opens the setup page lies.
TEST(PagePainters, TheMainBackgroundCarriesTheBandsAndTheName)
{
    CBitmap* main = EditorPictures::make(EditorPictures::MainBackground);
    ASSERT_NE(main, nullptr);
    EXPECT_GT(brightness(main->getPixel(700, 3)), brightness(main->getPixel(700, 200)));
    EXPECT_EQ(main->getPixel(700, 200), Look::Ground);
    int name = 0;
    for (int x = 75; x < 225; ++x)
        name += brightness(main->getPixel(x, 337)) > 600;
    EXPECT_GT(name, 8) << "the name's strokes";
    main->forget();
    // The pictures the editor loads but no page shows are tiles in the look,
    // not the neutral tiles of pictures nobody paints.
    for (int id : {219, 252, 327, 332}) {
        CBitmap* spare = EditorPictures::make(id);
        ASSERT_NE(spare, nullptr) << id;
        EXPECT_NE(EditorPictures::findPage(id), nullptr) << id;
        spare->forget();
    }
}
