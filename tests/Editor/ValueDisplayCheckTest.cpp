#include "ButtonsAndDisplays.h"
#include "CFrame.h"
#include "EditorLook.h"
#include "Parameter.h"
#include "EngineTestHost.h"
#include "ValueDisplayCheck.h"
#include "Vela.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <vector>

using ValueDisplayCheck::Row;
using ValueDisplayCheck::Texts;

namespace {
// The value displays of the pages as their layout fixes them: the knobs'
// 36 x 8 labels, the parameter bars' 40 x 11 displays, the envelope
// sliders' 34 x 8 labels, the zone table's 20 x 10 displays, the sampler
// panels' displays, the +/- displays' value areas (their outer width less
// two 15-pixel buttons) and the matrix's depth displays.
std::vector<Row> pageDisplays()
{
    std::vector<Row> rows;
    const auto add = [&](std::initializer_list<int> indices, int w, int h, CFontRef font, const char* where,
                         Texts texts = Texts::Parameter) {
        for (int i : indices)
            rows.push_back({i, w, h, font, texts, where});
    };
    const auto range = [](int first, int count) {
        std::vector<int> v;
        for (int k = 0; k < count; ++k)
            v.push_back(first + k);
        return v;
    };
    const auto addRange = [&](int first, int count, int w, int h, CFontRef font, const char* where,
                              Texts texts = Texts::Parameter) {
        for (int i : range(first, count))
            rows.push_back({i, w, h, font, texts, where});
    };
    // Knob labels (small font, 36 x 8).
    for (int first : {44, 96, 76, 72, 104, 100, 193, 197, 201, 177, 181, 185})
        addRange(first, 4, 36, 8, kNormalFontSmall, "knob label 36x8");
    add({114, 115, 116, 117, 120, 121}, 36, 8, kNormalFontSmall, "knob label 36x8");
    // Parameter bars of the effect frames (set 0) and the main volume (40 x 11).
    add({134, 225, 228, 231, 234, 237, 339, 342, 345, 351, 348, 363, 372, 378, 384, 369, 387, 390, 246, 252, 249,
         255, 264, 267, 270, 273, 279, 276, 285, 288, 294, 300, 303, 309, 306, 312, 318, 324, 321, 330, 456, 459,
         468, 474, 477, 417, 393, 396, 399, 402, 405, 408, 411, 414, 432, 444, 447, 435},
        40, 11, kNormalFontSmall, "parameter bar 40x11");
    // Envelope sliders (34 x 8).
    for (int first : {141, 147, 153, 159, 165, 171, 135})
        addRange(first, 5, 34, 8, kNormalFontSmall, "envelope slider 34x8");
    // The zone tables (20 x 10, very small font).
    for (int s = 0; s < 2; ++s)
        for (int column : {849, 857, 865, 873, 881})
            addRange(column + 48 * s, 8, 20, 10, kNormalFontVerySmall, "zone table 20x10");
    addRange(726, 8, 55, 12, kNormalFontSmall, "sampler display 55x12");
    addRange(758, 8, 45, 12, kNormalFontSmall, "wavetable display 45x12");
    addRange(953, 8, 40, 12, kNormalFontSmall, "loop display 40x12");
    // +/- displays: 56 wide (26 for the value) and 71 wide (41).
    for (int first : {20, 24, 28, 56, 60, 64, 706, 80, 84, 88, 734})
        addRange(first, 4, 26, 15, kNormalFontSmall, "+/- display 56x15");
    add({827, 828, 829, 830, 831, 832, 837, 838}, 26, 15, kNormalFontSmall, "+/- display 56x15");
    add({482, 961, 614, 943, 944}, 26, 15, kNormalFontSmall, "+/- display 56x15");
    add({634, 637, 638}, 41, 15, kNormalFontSmall, "+/- display 71x15");
    addRange(680, 10, 40, 11, kNormalFontSmall, "depth display 40x11", Texts::Depth);
    return rows;
}

struct OpenVela
{
    EngineTestHost host;
    std::unique_ptr<Vela_c> owned = std::make_unique<Vela_c>(&EngineTestHost::callback, false); // 3 MB
    Vela_c& vela = *owned;
    OpenVela() { vela.dispatcher(effOpen, 0, 0, nullptr, 0); }
};
} // namespace

// The report the pages are built against: every display whose widest text
// is wider than its box at its font, and the size it is drawn in instead.
// None may be cut, and every display shows its default value at its own font.
TEST(ValueDisplayCheck, ThePagesDisplaysShowEveryValueAndTheirDefaultsAtTheirOwnFont)
{
    OpenVela o;
    const std::vector<Row> rows = pageDisplays();
    for (const auto& f : ValueDisplayCheck::check(o.vela, rows)) {
        std::printf("overflow: %d (%s) '%s' %d px in %d, drawn at %d px%s\n", f.row.index, f.row.where,
                    f.text.c_str(), f.textWidth, f.row.width, f.fittedSize, f.cut ? ", cut" : "");
        EXPECT_FALSE(f.cut) << f.row.index << " " << f.row.where << ": '" << f.text << "'";
    }
    for (const Row& row : rows) {
        const Parameter_c* p = o.vela.getParaPtr(row.index);
        if (row.texts != Texts::Parameter || !p)
            continue;
        const Vdx::String_c text = ValueDisplayCheck::textAt(o.vela, row.index, p->getDefValue());
        EXPECT_LE(Look::textWidth(text.c_str(), Look::textFont(row.role, row.height)), row.width)
            << row.index << " " << row.where << ": default '" << text << "'";
    }
}

TEST(ValueDisplayCheck, ReportsADisplayTooNarrowForItsWidestText)
{
    OpenVela o;
    struct Case
    {
        const char* what;
        int width;
        bool listed, cut;
    };
    // The main volume shows "-oo", "-18", "-0.2", "0.0" and the like.
    const Case cases[] = {
        {"wide enough", 40, false, false},
        {"drawn smaller to fit", 17, true, false},
        {"cut even at the smallest size", 10, true, true},
    };
    for (const Case& c : cases) {
        const Row row{134, c.width, 11, kNormalFontSmall};
        const auto found = ValueDisplayCheck::check(o.vela, std::span<const Row>(&row, 1));
        ASSERT_EQ(found.size(), c.listed ? 1u : 0u) << c.what;
        if (!c.listed)
            continue;
        EXPECT_EQ(found[0].cut, c.cut) << c.what;
        EXPECT_GT(found[0].textWidth, c.width) << c.what;
        EXPECT_EQ(found[0].text.substr(0, 1), "-") << c.what << ": the widest is a negative level";
    }
    // Texts leave the engine's parameter as it was.
    const int before = o.vela.getParaVal(134);
    ValueDisplayCheck::textAt(o.vela, 134, -100);
    EXPECT_EQ(o.vela.getParaVal(134), before);
}
