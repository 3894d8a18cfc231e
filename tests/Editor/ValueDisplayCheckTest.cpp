#include "ButtonsAndDisplays.h"
#include "CFrame.h"
#include "EditorLook.h"
#include "Parameter.h"
#include "EngineTestHost.h"
#include "ValueDisplayCheck.h"
#include "Vela.h"
#include "VelaEditor.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <vector>

using ValueDisplayCheck::Row;
using ValueDisplayCheck::Texts;

namespace {
struct OpenVela
{
    EngineTestHost host;
    std::unique_ptr<Vela_c> owned = std::make_unique<Vela_c>(&EngineTestHost::callback, false); // 3 MB
    Vela_c& vela = *owned;
    OpenVela() { vela.dispatcher(effOpen, 0, 0, nullptr, 0); }
};
} // namespace

// The report the pages are built against: every value display of the built
// pages (value, plus/minus and depth displays, and the labels beneath knobs,
// bars and sliders) whose widest text is wider than its box at its font,
// and the size it is drawn in instead. None may be cut, and every display
// shows its default value at its own font.
TEST(ValueDisplayCheck, ThePagesDisplaysShowEveryValueAndTheirDefaultsAtTheirOwnFont)
{
    OpenVela o;
    auto editor = std::make_unique<VelaEditor_c>(&o.vela);
    ASSERT_TRUE(editor->open(nullptr));
    const std::vector<Row> rows = ValueDisplayCheck::rowsOf(*editor);
    editor->close();
    // Knob and bar labels, envelope sliders, the zone tables, the sampler
    // and loop displays, the +/- displays and the matrix's depths.
    EXPECT_GT(rows.size(), 400u);
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
