// The pages as data: one walk over every row of every table (index, frame,
// rectangle, picture), where controls may overlap, the frames and rules,
// the pages' own edge cases and what a painter of a page picture gets.
#include "EditorPictures.h"
#include "VelaExtTable.h"
#include "VelaPages.h"

#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <tuple>

using namespace PageLayout;

// Rectangles and points in failure messages.
inline void PrintTo(const CRect& r, std::ostream* os)
{
    *os << "[" << r.left << "," << r.top << "," << r.right << "," << r.bottom << "]";
}
inline void PrintTo(const CPoint& p, std::ostream* os)
{
    *os << "(" << p.h << "," << p.v << ")";
}

namespace {
bool intersects(const CRect& a, const CRect& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool inside(const CRect& r, CPoint size)
{
    return r.left >= 0 && r.top >= 0 && r.right <= size.h && r.bottom <= size.v && !r.isEmpty();
}

std::string where(int frame, const Placed& v)
{
    return "frame " + std::to_string(frame) + ": " + kindName(v.row->kind) + " " + std::to_string(v.index) + " [" +
           std::to_string(v.rect.left) + "," + std::to_string(v.rect.top) + "," + std::to_string(v.rect.right) + "," +
           std::to_string(v.rect.bottom) + "]";
}

// The views of a frame, with a predicate.
template <typename F>
const Placed* findView(int frame, F f)
{
    static std::map<int, std::vector<Placed>> cache;
    auto& views = cache.try_emplace(frame, VelaPages::placedViewsOf(frame)).first->second;
    const auto it = std::find_if(views.begin(), views.end(), f);
    return it == views.end() ? nullptr : &*it;
}

const Placed* controlOf(int frame, int index)
{
    return findView(frame, [&](const Placed& v) { return v.part == Part::Control && v.index == index; });
}
} // namespace

TEST(VelaPages, EveryRowIsBoundPlacedInsideItsFrameAndPictured)
{
    std::map<int, std::string> boundBy; // external index -> first view
    for (const Content& c : VelaPages::contents()) {
        const FrameDef* f = VelaPages::frame(c.frame);
        ASSERT_NE(f, nullptr) << c.builder << " builds into frame " << c.frame;
        const CPoint frameSize = pictureFrameSize(f->picture);
        ASSERT_GT(frameSize.h, 0) << "frame " << c.frame << " has picture " << f->picture;
        for (const Placed& v : placedViews(c.rows, c.place)) {
            const std::string at = where(c.frame, v);
            EXPECT_TRUE(inside(v.rect, frameSize)) << at << " in a frame of " << frameSize.h << "x" << frameSize.v;
            if (v.part == Part::Label && v.row->kind != Kind::ZoneLabel) {
                EXPECT_EQ(v.index, -1) << at;
                EXPECT_NE(v.label, nullptr) << at;
                continue;
            }
            EXPECT_GE(v.index, 0) << at;
            EXPECT_LT(v.index, VelaExt::EntryCount) << at;
            if (v.part != Part::Control)
                continue;
            EXPECT_NE(VelaPages::labelOf(v), nullptr) << at << " has no name for the painters";
            // One control per parameter: a second would fight the first for
            // the editor's record of that index.
            const auto [first, fresh] = boundBy.try_emplace(v.index, at);
            EXPECT_TRUE(fresh) << at << " binds an index " << first->second << " binds already";
            if (!v.picture)
                continue;
            const EditorPictures::Picture* p = EditorPictures::find(v.picture);
            ASSERT_NE(p, nullptr) << at << " wants picture " << v.picture;
            switch (v.row->kind) {
            case Kind::Knob: {
                const KnobStyle& s = knobStyle(v.row->style);
                EXPECT_EQ(p->frameWidth, s.width) << at;
                EXPECT_EQ(p->frameHeight, s.height) << at;
                EXPECT_EQ(p->frames, s.frames) << at;
                break;
            }
            case Kind::Radio:
                EXPECT_EQ(p->frames, 2) << at << ": the grid off above the grid on";
                EXPECT_EQ(p->frameWidth % v.row->columns, 0) << at;
                EXPECT_EQ(p->frameHeight % v.row->rows, 0) << at;
                break;
            case Kind::ParaBar:
            case Kind::FxBar:
                EXPECT_EQ(p->frames, 33) << at;
                EXPECT_EQ(CPoint(p->frameWidth, p->frameHeight), CPoint(v.rect.width(), v.rect.height())) << at;
                break;
            case Kind::GateSteps:
                EXPECT_EQ(p->frames, 2) << at << ": a step off above a step on";
                break;
            default:
                EXPECT_GT(p->frameWidth, 0) << at;
                break;
            }
        }
    }
}

TEST(VelaPages, ControlsOverlapOnlyWhereThePagesPlaceThem)
{
    // Pairs of indices (or -1 for an effect row's name) that share pixels
    // on purpose, by frame.
    using Pair = std::tuple<int, int, int>;
    std::set<Pair> allowed = {
        // On/off buttons inside their knobs on "main", and the touch areas
        // that open the pages laid over knobs and buttons.
        {1, 484, 504}, {1, 485, 505}, {1, 486, 506}, {1, 487, 507}, {1, 488, 508}, {1, 489, 509}, {1, 498, 517},
        {1, 499, 518}, {1, 484, 791}, {1, 485, 791}, {1, 486, 792}, {1, 487, 792}, {1, 507, 792}, {1, 488, 793},
        {1, 489, 793}, {1, 490, 793}, {1, 491, 793}, {1, 509, 793}, {1, 498, 794}, {1, 499, 794}, {1, 518, 794},
        {1, 501, 795}, {1, 502, 795},
        // The tuning file's name runs under its load button.
        {7, 700, 701},
        // The morphing filter's slope buttons and type touch area on its
        // endless knob.
        {12, 126, 785}, {12, 126, 128}, {13, 127, 786}, {13, 127, 129},
        // A wavetable's name runs under its clear button.
        {22, 738, 754}, {23, 739, 755}, {24, 740, 756}, {25, 741, 757},
        // The loop sampler's crossfade display touches the zoom display; in
        // the lower panel the previous-sample button touches the zone selector.
        {26, 943, 959}, {27, 944, 960}, {27, 806, 940},
        // The reverb's modulation switch against its value; the gator's
        // channel names under their gate steps.
        {46, 330, 333}, {47, 331, 334}, {48, 332, 335},
        {52, -1, 420}, {52, -1, 423}, {53, -1, 421}, {53, -1, 424}, {54, -1, 422}, {54, -1, 425},
    };
    std::set<Pair> seen;
    for (const FrameDef& f : VelaPages::frames()) {
        const std::vector<Placed> views = VelaPages::placedViewsOf(f.number);
        for (size_t i = 0; i < views.size(); ++i)
            for (size_t j = i + 1; j < views.size(); ++j) {
                const Placed& a = views[i];
                const Placed& b = views[j];
                // A control and its own value or name.
                if (a.row == b.row && a.repeat == b.repeat)
                    continue;
                if (!intersects(a.rect, b.rect))
                    continue;
                const Pair p{f.number, std::min(a.index, b.index), std::max(a.index, b.index)};
                seen.insert(p);
                EXPECT_TRUE(allowed.count(p)) << where(f.number, a) << " overlaps " << where(f.number, b);
            }
    }
    for (const Pair& p : allowed)
        EXPECT_TRUE(seen.count(p)) << "frame " << std::get<0>(p) << ": " << std::get<1>(p) << " and "
                                   << std::get<2>(p) << " no longer overlap";
}

TEST(VelaPages, FramesAndRulesStandInTheirParents)
{
    int count = 0;
    for (const FrameDef& f : VelaPages::frames()) {
        ++count;
        EXPECT_EQ(VelaPages::frame(f.number), &f);
        if (f.number == VelaPages::MainEditFrame) {
            EXPECT_STREQ(f.name, "MainEditFrame");
            continue;
        }
        const FrameDef* parent = VelaPages::frame(f.parent);
        ASSERT_NE(parent, nullptr) << f.number;
        const CRect in(f.x, f.y, f.x + pictureFrameSize(f.picture).h, f.y + pictureFrameSize(f.picture).v);
        EXPECT_TRUE(inside(in, pictureFrameSize(parent->picture))) << "frame " << f.number << " in " << f.parent;
    }
    EXPECT_EQ(count, 87);
    EXPECT_STREQ(VelaPages::frame(5)->name, "fx");
    EXPECT_STREQ(VelaPages::frame(9)->name, "keys");

    std::set<int> ruled;
    int previousSelector = 0;
    for (const RuleDef& r : VelaPages::rules()) {
        EXPECT_NE(r.selector, previousSelector);
        previousSelector = r.selector;
        for (int k = 0; k < MaxChildren && r.children[k] > 0; ++k) {
            ASSERT_NE(VelaPages::frame(r.children[k]), nullptr);
            EXPECT_EQ(VelaPages::frame(r.children[k])->parent, r.parent) << "rule " << r.selector;
            ruled.insert(r.children[k]);
        }
    }
    EXPECT_EQ(VelaPages::rules()[0].selector, 603) << "the page rules come first";
    // The set-X effect frames follow the insert slots, not a rule.
    for (int k = 0; k < VelaPages::EffectTypes; ++k) {
        EXPECT_EQ(ruled.count(VelaPages::fxFrame(k, 0)), 1u);
        EXPECT_EQ(ruled.count(VelaPages::fxFrame(k, 1)), 1u);
        EXPECT_EQ(ruled.count(VelaPages::fxFrame(k, VelaPages::SetX)), 0u);
    }
}

TEST(VelaPages, GeneratorsThreeAndFourOfferThreePanelsOneAndTwoFour)
{
    auto children = [](int selector) {
        for (const RuleDef& r : VelaPages::rules())
            if (r.selector == selector)
                return int(std::count_if(std::begin(r.children), std::end(r.children), [](int c) { return c > 0; }));
        return -1;
    };
    EXPECT_EQ(children(769), 4);
    EXPECT_EQ(children(770), 4);
    EXPECT_EQ(children(777), 3);
    EXPECT_EQ(children(778), 3);
    EXPECT_EQ(children(213), 12);
    EXPECT_EQ(children(214), 12);
}

TEST(VelaPages, SlotAndSetTablesAddressTheirOwnParameters)
{
    // The second loop sampler's zone table: names 889..896, page and zone
    // selectors 938 and 940.
    for (int r = 0; r < 8; ++r) {
        const Placed* name = controlOf(27, 889 + r);
        ASSERT_NE(name, nullptr) << r;
        EXPECT_EQ(name->row->kind, Kind::ZoneLabel);
        EXPECT_EQ(name->rect.top, 16 + 12 * r);
    }
    ASSERT_NE(controlOf(27, 938), nullptr);
    EXPECT_EQ(controlOf(27, 938)->row->kind, Kind::Radio);
    EXPECT_EQ(controlOf(27, 940)->rect.getTopLeft(), CPoint(291, 15));
    EXPECT_EQ(controlOf(26, 939)->rect.getTopLeft(), CPoint(291, 47));

    // The time sampler's timescale knob: (438, 77) on the upper panel of
    // generator 1, (438, 70) on the lower of generator 2.
    auto centre = [](const Placed* v) { return CPoint((v->rect.left + v->rect.right) / 2, (v->rect.top + v->rect.bottom) / 2); };
    EXPECT_EQ(centre(controlOf(VelaPages::SamFrame0, 44)), CPoint(438, 77));
    EXPECT_EQ(centre(controlOf(VelaPages::SamFrame0 + 1, 45)), CPoint(438, 70));

    // The delay frame of set 1 edits the set-1 entries.
    std::vector<int> delay1;
    for (const Placed& v : VelaPages::placedViewsOf(VelaPages::fxFrame(0, 1)))
        if (v.part == Part::Control)
            delay1.push_back(v.index);
    std::sort(delay1.begin(), delay1.end());
    EXPECT_EQ(delay1, (std::vector<int>{226, 229, 232, 235, 238, 241, 244}));

    // The panels' touch areas address their own slot: the second time
    // sampler's previous-sample button, the fourth wavetable's clear button,
    // the second loop sampler's store and the second filter's type.
    struct Touch
    {
        int frame, index, command, commandIndex, commandValue;
    };
    for (const Touch& t : {Touch{19, 711, 3, 1, 0}, Touch{25, 757, 43, -1, 3}, Touch{27, 810, 2, 11, 0},
                           Touch{11, 788, 93, 0, 1}, Touch{13, 786, 93, 0, 0}}) {
        const Content* content = nullptr;
        for (const Content& c : VelaPages::contents())
            for (const Placed& v : placedViews(c.rows, c.place))
                if (c.frame == t.frame && v.index == t.index)
                    content = &c;
        ASSERT_NE(content, nullptr) << t.index;
        const Placed* v = controlOf(t.frame, t.index);
        const Row& r = *v->row;
        EXPECT_EQ(r.command + r.commandStride * content->place.slot, t.command) << t.index;
        EXPECT_EQ(r.commandIndex + r.commandIndexStride * content->place.slot, t.commandIndex) << t.index;
        EXPECT_EQ(r.commandValue + r.commandValueStride * content->place.slot, t.commandValue) << t.index;
    }
}

TEST(VelaPages, TheMixerRowsAreGeneratorsFiltersAndEffectsOneFourAndSix)
{
    const auto& names = velaExtTable();
    std::vector<std::string> sources;
    for (int i = 0; i < 7; ++i) {
        const Placed* volume = controlOf(VelaPages::PartsPage, 523 + i);
        ASSERT_NE(volume, nullptr) << i;
        EXPECT_EQ(volume->rect.top, 20 + 15 * i);
        sources.push_back(names[size_t(523 + i)].name);
    }
    EXPECT_EQ(sources, (std::vector<std::string>{"51Vol Gen 1", "51Vol Gen 2", "51Vol Fil 1", "51Vol Fil 2",
                                                 "51Vol Fx 1", "51Vol Fx 4", "51Vol Fx 6"}));
    EXPECT_STREQ(controlOf(VelaPages::PartsPage, 515)->label, "Fx 4");
}

TEST(VelaPages, PaintersGetEachControlOfTheFrameThatWearsThePicture)
{
    // The upper oscillator panel: the rows of generator 1's panel, named as
    // the panel names them, so the picture serves generator 3 alike.
    const std::vector<PaintedRow> osc = VelaPages::paintedRows(EditorPictures::OscPanelUpper);
    ASSERT_FALSE(osc.empty());
    auto named = [](const std::vector<PaintedRow>& rows, const char* label) {
        return std::find_if(rows.begin(), rows.end(), [&](const PaintedRow& r) {
            return r.label && std::string(r.label) == label && r.part == Part::Control;
        });
    };
    const auto wave = named(osc, "Wave");
    ASSERT_NE(wave, osc.end());
    EXPECT_EQ(wave->rect, CRect(149, 19, 263, 133));
    EXPECT_EQ(wave->kind, Kind::Knob);
    // Touch areas and file buttons draw nothing: their faces come with
    // their command and mode.
    const std::vector<PaintedRow> sampler = VelaPages::paintedRows(EditorPictures::SamplerPanelUpper + 1);
    const auto previous = named(sampler, "Previous Sample");
    ASSERT_NE(previous, sampler.end());
    EXPECT_EQ(previous->kind, Kind::Touch);
    EXPECT_EQ(previous->command, 3);
    EXPECT_EQ(previous->rect, CRect(57, 57, 72, 76));
    const auto trim = named(sampler, "Trim Sample");
    ASSERT_NE(trim, sampler.end());
    EXPECT_EQ(trim->fileMode, 1);
    // The main background carries the page tabs and the main volume.
    const std::vector<PaintedRow> main = VelaPages::paintedRows(EditorPictures::MainBackground);
    EXPECT_NE(named(main, "Main Volume"), main.end());
    EXPECT_NE(named(main, "Page"), main.end());
    // The effect frames name their rows with views of their own; a picture
    // no frame wears has nothing to paint.
    EXPECT_TRUE(VelaPages::paintedRows(EditorPictures::EffectPanel).empty());
    EXPECT_TRUE(VelaPages::paintedRows(219).empty());
}
