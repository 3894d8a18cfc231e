#include "CBitmap.h"
#include "EditorLook.h"
#include "EditorPictures.h"
#include "PaintedPicture.h"
#include "PicturePainters.h"
#include "RecordingVela.h"
#include "VelaEditor.h"
#include "VendorMessages.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <memory>

#include <cmath>
#include <vector>

namespace {
using Frame = TestPictures::Painted;

int brightness(CColor c)
{
    return c.red + c.green + c.blue;
}

bool isAccent(CColor c)
{
    return std::abs(c.red - Look::Accent.red) < 40 && std::abs(c.green - Look::Accent.green) < 40 &&
           std::abs(c.blue - Look::Accent.blue) < 40 && c.alpha > 200;
}
} // namespace

TEST(EditorPictures, EveryControlPictureHasItsFramesSizeAndIsPaintedOnlyWhenUsed)
{
    for (const EditorPictures::Picture& p : EditorPictures::pictures()) {
        CBitmap* b = EditorPictures::make(p.id);
        ASSERT_NE(b, nullptr) << p.id;
        const int w = p.across() ? p.frameWidth * p.frames : p.frameWidth;
        const int h = p.across() ? p.frameHeight : p.frameHeight * p.frames;
        EXPECT_EQ(b->getWidth(), w) << p.id << " " << p.name;
        EXPECT_EQ(b->getHeight(), h) << p.id << " " << p.name;
        EXPECT_FALSE(b->isPainted()) << p.id << ": no pixels before they are needed";
        // Every frame paints something of its own.
        for (int f = 0; f < p.frames; f += std::max(1, p.frames / 4)) {
            const int x0 = p.across() ? f * p.frameWidth : 0;
            const int y0 = p.across() ? 0 : f * p.frameHeight;
            int opaque = 0;
            for (int y = 0; y < p.frameHeight; y += 2)
                for (int x = 0; x < p.frameWidth; x += 2)
                    opaque += b->getPixel(x0 + x, y0 + y).alpha > 0;
            EXPECT_GT(opaque, 0) << p.id << " " << p.name << " frame " << f;
        }
        EXPECT_TRUE(b->isPainted());
        b->forget();
    }
    // The knob strips carry the frame counts the knob styles name.
    struct Strip
    {
        int id, w, h, frames;
    };
    for (const Strip& s : {Strip{350, 33, 33, 71}, Strip{352, 73, 36, 51}, Strip{353, 78, 38, 53},
                           Strip{354, 114, 114, 83}, Strip{355, 120, 57, 41}, Strip{356, 120, 57, 41},
                           Strip{357, 107, 107, 80}, Strip{360, 58, 57, 42}, Strip{367, 58, 57, 42},
                           Strip{374, 65, 11, 33}}) {
        const EditorPictures::Picture* p = EditorPictures::find(s.id);
        ASSERT_NE(p, nullptr) << s.id;
        EXPECT_EQ(p->frameWidth, s.w) << s.id;
        EXPECT_EQ(p->frameHeight, s.h) << s.id;
        EXPECT_EQ(p->frames, s.frames) << s.id;
    }
    EXPECT_EQ(EditorPictures::find(351), nullptr) << "no page loads 351";
    CBitmap* main = EditorPictures::make(EditorPictures::MainBackground);
    EXPECT_EQ(main->getWidth(), EditorPictures::MainWidth);
    main->forget();
    EXPECT_EQ(EditorPictures::make(601), nullptr);
}

TEST(EditorPictures, KnobsShowTheirValueOnTheRingAndThePointer)
{
    const int size = 58;
    const double c = size / 2.0;
    const double r = size / 2.0 - Look::Inset;
    const double ring = r - std::max(2.0, r * Look::RingShare) / 2;
    const auto onRing = [&](double v) {
        const double a = Painters::knobAngle(v);
        return CPoint(static_cast<int>(c + ring * std::cos(a)), static_cast<int>(c + ring * std::sin(a)));
    };
    struct Case
    {
        double value;
        double probe; // a place on the ring
        bool lit;
    };
    for (const Case& k : {Case{1.0, 0.75, true}, Case{0.5, 0.75, false}, Case{0.5, 0.25, true}, Case{0.0, 0.1, false}}) {
        Frame f(size, size, [&](cairo_t* cr) { Painters::knob(cr, size, size, k.value, {.accent = Look::Accent}); });
        const CPoint p = onRing(k.probe);
        EXPECT_EQ(isAccent(f.at(p.h, p.v)), k.lit) << "value " << k.value << ", ring at " << k.probe;
    }
    // The pointer: bright along the value's angle, inside the body.
    Frame f(size, size, [&](cairo_t* cr) { Painters::knob(cr, size, size, 0.5, {.accent = Look::Accent}); });
    EXPECT_GT(brightness(f.at(29, 12)), 600) << "straight up at 0.5";
    EXPECT_LT(brightness(f.at(29, 46)), 300) << "not below the centre";
    EXPECT_EQ(f.at(0, 0).alpha, 0) << "the corners stay transparent for the page beneath";
    // The angle's ends: 0 lies 150 degrees left of straight up, 1 as far right.
    EXPECT_NEAR(Painters::knobAngle(0.0), -240.0 * 3.14159265 / 180.0, 1e-6);
    EXPECT_NEAR(Painters::knobAngle(1.0), 60.0 * 3.14159265 / 180.0, 1e-6);
}

TEST(EditorPictures, ButtonsBarsAndGridsLightWhereTheirValueSays)
{
    // The parameter bar fills from the left up to its value.
    Frame bar(65, 11, [](cairo_t* cr) { Painters::valueBar(cr, 65, 11, 0.5); });
    EXPECT_TRUE(isAccent(bar.at(10, 5)) || brightness(bar.at(10, 5)) > 250) << "filled left of the value";
    EXPECT_EQ(bar.at(50, 5), Look::Well) << "empty right of it";

    // An LED button, off and lit in its accent.
    for (int state : {0, 1}) {
        Frame led(12, 12, [&](cairo_t* cr) { Painters::toggle(cr, 12, 12, state, 2, nullptr, Look::Generator[0]); });
        const CColor centre = led.at(6, 7);
        EXPECT_EQ(centre.red > 200 && centre.green > 130, state == 1) << "state " << state;
    }
    // A labelled button writes its state's name, dark on the lit face.
    const char* const names[] = {"Off", "Held", "On", "Bend"};
    Frame held(36, 14, [&](cairo_t* cr) { Painters::toggle(cr, 36, 14, 1, 4, names, Look::Accent); });
    int ink = 0;
    for (int x = 0; x < 36; ++x)
        ink += brightness(held.at(x, 7)) < 150;
    EXPECT_GT(ink, 3) << "the label's strokes";
    EXPECT_TRUE(isAccent(held.at(2, 3))) << "the lit face";

    // Radio grids: the off grid is darker than the on grid, cell by cell.
    Frame off(120, 14, [](cairo_t* cr) { Painters::radioGrid(cr, 120, 14, 4, 1, false, nullptr, nullptr); });
    Frame on(120, 14, [](cairo_t* cr) { Painters::radioGrid(cr, 120, 14, 4, 1, true, nullptr, nullptr); });
    for (int cell = 0; cell < 4; ++cell)
        EXPECT_GT(brightness(on.at(cell * 30 + 4, 4)), brightness(off.at(cell * 30 + 4, 4))) << "cell " << cell;

    // The hanging bar: a rod from the top, the handle at the bottom.
    Frame hang(19, 86, [](cairo_t* cr) { Painters::hangingBar(cr, 19, 86, 10); });
    EXPECT_EQ(hang.at(9, 5), Look::Edge) << "the rod";
    EXPECT_EQ(hang.at(1, 5).alpha, 0) << "beside the rod the page shows";
    EXPECT_GT(hang.at(1, 80).alpha, 0) << "the handle spans the width";
    EXPECT_TRUE(isAccent(hang.at(9, 81))) << "its grip line";
}

TEST(EditorPictures, MenuBackgroundsLeaveTheTextItsWellAndShowTheArrow)
{
    // Both menu pictures of the effect frames end at x 217: the tempo-sync
    // menus stand at 177, the mode menus at 181; a row is 11 high.
    struct Box
    {
        int id, x, w;
        CColor arrow;
    };
    for (const Box& b : {Box{EditorPictures::TempoSyncMenu, 177, 40, Look::Accent},
                         Box{EditorPictures::ModeMenu, 181, 36, Look::TextDim}}) {
        const EditorPictures::Picture* p = EditorPictures::find(b.id);
        ASSERT_NE(p, nullptr) << b.id;
        EXPECT_EQ(p->frameWidth, b.w) << b.id;
        EXPECT_EQ(p->frameHeight, 11) << b.id;
        EXPECT_EQ(b.x + p->frameWidth, 217) << b.id;
        Frame f(b.w, 11, [&](cairo_t* cr) { Painters::menuBox(cr, b.w, 11, Look::MenuArrowZone, b.arrow); });
        EXPECT_EQ(f.at(8, 5), Look::Well) << b.id << ": the text's well";
        EXPECT_EQ(f.at(b.w - Look::MenuArrowZone, 5), Look::Edge) << b.id << ": the arrow's strip begins";
        const CColor tip = f.at(b.w - Look::MenuArrowZone / 2 - 1, 5);
        EXPECT_NEAR(tip.green, b.arrow.green, 40) << b.id << ": the arrow";
        EXPECT_LT(f.at(0, 0).alpha, 128) << b.id << ": round corners show the page";
    }
}

TEST(EditorPictures, PatternAndMapPicturesShowTheirStates)
{
    using namespace EditorPictures;
    // The step marker: its LED lit for the playing step (frame 0) only, on a
    // ground of its own, as it is drawn opaque into the grid.
    CBitmap* marker = make(StepMarker);
    ASSERT_NE(marker, nullptr);
    EXPECT_EQ(marker->getWidth(), StepMarkerWidth);
    EXPECT_EQ(marker->getHeight(), 2 * StepMarkerHeight);
    const int cx = StepMarkerWidth / 2, cy = StepMarkerHeight / 2;
    EXPECT_TRUE(isAccent(marker->getPixel(cx, cy))) << "the playing step";
    EXPECT_FALSE(isAccent(marker->getPixel(cx, StepMarkerHeight + cy))) << "any other step";
    for (const int y : {0, StepMarkerHeight - 1, StepMarkerHeight, 2 * StepMarkerHeight - 1})
        EXPECT_EQ(marker->getPixel(0, y).alpha, 255) << "no hole at row " << y;
    marker->forget();

    // Gate steps: closed above open, each filling its cell.
    CBitmap* gate = make(GateSteps);
    ASSERT_NE(gate, nullptr);
    EXPECT_EQ(gate->getHeight(), 2 * GateStepSize);
    const int g = GateStepSize / 2;
    EXPECT_FALSE(isAccent(gate->getPixel(g, g))) << "closed";
    EXPECT_TRUE(isAccent(gate->getPixel(g, GateStepSize + 3))) << "open: the lit pad";
    EXPECT_GT(brightness(gate->getPixel(g, GateStepSize + g)), brightness(gate->getPixel(g, g)));
    gate->forget();

    // The map's dots: one per mixer row, each in its row's colour, and
    // transparent around the disc so the field shows.
    CBitmap* dots = make(MixMapDots);
    ASSERT_NE(dots, nullptr);
    EXPECT_EQ(dots->getWidth(), MapDotSize);
    EXPECT_EQ(dots->getHeight(), MixRows * MapDotSize);
    const CColor rows[MixRows] = {Look::Generator[0], Look::Generator[1], Look::Filter[0], Look::Filter[1],
                                  Look::Effect[0],    Look::Effect[1],    Look::Effect[2]};
    for (int k = 0; k < MixRows; ++k) {
        const int top = k * MapDotSize;
        EXPECT_EQ(dots->getPixel(0, top).alpha, 0) << "row " << k << ": corner";
        EXPECT_EQ(dots->getPixel(MapDotSize - 1, top + MapDotSize - 1).alpha, 0) << "row " << k << ": corner";
        EXPECT_EQ(dots->getPixel(MapDotSize / 2, top + 2), rows[k]) << "row " << k << ": its colour";
        int ink = 0;
        for (int x = 0; x < MapDotSize; ++x)
            ink += brightness(dots->getPixel(x, top + MapDotSize / 2)) < 150;
        EXPECT_GT(ink, 1) << "row " << k << ": its name";
    }
    dots->forget();
}

TEST(EditorPictures, APictureThatFailsToLoadLeavesItsPageWithout)
{
    auto owned = std::make_unique<EditorTest::RecordingVela>();
    EditorTest::RecordingVela& engine = *owned;
    EditorPictures::setLoadFailure(321, true);
    {
        auto editor = std::make_unique<VelaEditor_c>(&engine);
        EXPECT_EQ(editor->getPicture(321), nullptr) << "the keyboard page's picture is missing";
        EXPECT_NE(editor->getPicture(320), nullptr);
        EXPECT_NE(editor->getPicture(EditorPictures::KeysFirst), nullptr);
        EXPECT_EQ(editor->getPicture(351), nullptr) << "no page loads it";
        EXPECT_EQ(SynthEditor_c::loadBitmap(321), nullptr);
    }
    EditorPictures::setLoadFailure(321, false);
    auto editor = std::make_unique<VelaEditor_c>(&engine);
    EXPECT_NE(editor->getPicture(321), nullptr);
}

TEST(EditorPictures, ReviewToolsGetEachPictureThroughTheVendorMessage)
{
    auto owned = std::make_unique<EditorTest::RecordingVela>();
    EditorTest::RecordingVela& engine = *owned;
    auto owner = std::make_unique<VelaEditor_c>(&engine);
    VelaEditor_c& editor = *owner;
    VendorPictureRequest r;
    ASSERT_EQ(editor.vendorSpecific(kVendorPictureMessage, EditorPictures::KnobSmall, &r, 0.f), 1);
    EXPECT_EQ(r.width, 33);
    EXPECT_EQ(r.height, 33 * 71);
    EXPECT_EQ(r.frames, 71);
    EXPECT_STREQ(r.name, "knob-small");

    std::vector<uint32_t> pixels(size_t(r.width) * r.height - 1, 0xdeadbeef);
    r.pixels = pixels.data();
    r.capacity = int64_t(pixels.size());
    ASSERT_EQ(editor.vendorSpecific(kVendorPictureMessage, EditorPictures::KnobSmall, &r, 0.f), 1);
    EXPECT_EQ(pixels[0], 0xdeadbeefu) << "too little room: no pixels";

    pixels.assign(size_t(r.width) * r.height, 0);
    r.pixels = pixels.data();
    r.capacity = int64_t(pixels.size());
    ASSERT_EQ(editor.vendorSpecific(kVendorPictureMessage, EditorPictures::KnobSmall, &r, 0.f), 1);
    CBitmap* same = EditorPictures::make(EditorPictures::KnobSmall);
    const CColor centre = same->getPixel(16, 16 + 33 * 35);
    const uint32_t word = pixels[size_t(16 + 33 * 35) * 33 + 16];
    EXPECT_EQ(word >> 24, centre.alpha);
    same->forget();

    VendorPictureRequest page;
    ASSERT_EQ(editor.vendorSpecific(kVendorPictureMessage, EditorPictures::PageMain, &page, 0.f), 1);
    EXPECT_EQ(page.width, 800);
    EXPECT_EQ(page.height, 290);
    EXPECT_STREQ(page.name, "page-main");
    EXPECT_EQ(editor.vendorSpecific(kVendorPictureMessage, 228, &r, 0.f), 0) << "no page loads 228";
    EXPECT_EQ(editor.vendorSpecific(kVendorPictureMessage, 350, nullptr, 0.f), 0);
    EXPECT_EQ(editor.vendorSpecific(0x12345678, 350, &r, 0.f), 0) << "an unknown message";
    // Through the plug-in's dispatcher, as a host sends it.
    VendorPictureRequest viaHost;
    EXPECT_EQ(engine.dispatcher(effVendorSpecific, kVendorPictureMessage, EditorPictures::PageTabs, &viaHost, 0.f), 0)
        << "the instrument without its editor factory has no pictures";
}
