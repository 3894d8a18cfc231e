// The parameter menus on the instrument's own parameters: the groups that
// become submenus, picks through the open list, the editor showing the
// parameter back, the wheel, the drawing and the factories; and, under
// Xvfb, a menu in a real window.
#include "CFrame.h"
#include "COptionMenuOverlay.h"
#include "ControlTestRig.h"
#include "EditorBindingRig.h"
#include "EditorLook.h"
#include "EditorPictures.h"
#include "Parameter.h"
#include "ParameterMenus.h"

#include <gtest/gtest.h>
// After gtest: Xlib's macros would clash with its names.
#include "X11TestHost.h"

#include <string>
#include <utility>
#include <vector>

using EditorTest::BindingRig;
using EditorTest::centre;
using EditorTest::entriesOf;
using EditorTest::RecordingVela;

namespace {
// The modulation destinations of matrix rows 1 and 2: items of 16
// characters (a group word of 8, '$', an item word), values -1..56.
constexpr int Dest = 670;
constexpr int Dest2 = 671;
constexpr int DestValues = 58;
constexpr CColor Ink{210, 210, 210, 255};

// Enumerations the tests give Dest, in its item width.
constexpr char ThreeItems[] = "Osc     $Saw    Osc     $Square Noise           ";
constexpr char LoneGroups[] = "Osc     $Saw    Filter  $Low    Noise           ";
constexpr char OneItem[] = "Only            ";
const char* thirteenItems()
{
    static const std::string items = [] {
        std::string s;
        for (int i = 0; i <= 12; ++i) {
            std::string item = "Step " + std::to_string(i);
            item.resize(16, ' ');
            s += item;
        }
        return s;
    }();
    return items.c_str();
}

// A menu of 120 x 16 at (100, 50) on Dest in the small editor.
struct MenuRig : BindingRig
{
    // Gives Dest the items (none: its own) from low on, sets it to value and
    // makes its menu.
    CMenuWithSub* make(const char* items, int low, int value, bool drawn = true)
    {
        if (items)
            engine.getParaPtr(Dest)->redefineEnu(low, items);
        engine.setParaVal(Dest, value);
        menu = editor.createMenu(page, Ink, Dest, 100, 50, 120, 16, false, drawn, kCenterText);
        return menu;
    }
    COptionMenuOverlay* overlay()
    {
        CView* v = frame()->getMenuOverlay();
        return v && v->isTypeOf("COptionMenuOverlay") ? static_cast<COptionMenuOverlay*>(v) : nullptr;
    }
    // Opens the menu with a click (holding `buttons`) and clicks the given
    // entries, one per level: a group entry opens its submenu, an item picks.
    void pick(const std::vector<int>& entries, long buttons = kLButton)
    {
        click(110, 58, buttons);
        ASSERT_NE(overlay(), nullptr) << "the click opens the list";
        for (size_t level = 0; level < entries.size(); ++level) {
            ASSERT_NE(overlay(), nullptr) << "level " << level;
            const CRect r = overlay()->getEntryRect(static_cast<int>(level), entries[level]);
            ASSERT_FALSE(r.isEmpty()) << "level " << level << " entry " << entries[level];
            click(centre(r).h, centre(r).v);
        }
        EXPECT_EQ(overlay(), nullptr) << "a pick closes the list";
    }
    // The main menu's entries, a submenu entry as ">name".
    std::string mainEntries() const
    {
        std::string s;
        for (int i = 0; i < menu->getNbEntries(); ++i)
            s += std::string(i ? "|" : "") + (menu->getSubMenu(i) ? ">" : "") + menu->getEntry(i);
        return s;
    }
    CMenuWithSub* menu = nullptr;
};
} // namespace

TEST(ParameterMenus, GroupsBecomeSubmenusAfterThePlainItems)
{
    struct Case
    {
        const char* what;
        const char* items;
        int low;
        int value;
        const char* main;    // the main menu's entries, ">" a submenu (leading blanks stay)
        const char* sub;     // the first submenu's entries
        const char* shown;   // the text of the entry that shows the value
        bool shownInSub;
    };
    const Case cases[] = {
        {"two items of one group and a plain one", ThreeItems, 0, 1, "Noise|>Osc", "Osc      Saw|Osc      Square",
         "Osc      Square", true},
        {"a '$' item whose neighbour has another group stays plain", LoneGroups, 0, 2,
         "Osc      Saw|Filter   Low|Noise", "", "Noise", false},
        {"low = high: one entry", OneItem, 0, 0, "Only", "", "Only", false},
        {"the destinations: the empty one, then one submenu per group", nullptr, -1, -1,
         "      - - -|>Gen 1|>Gen 2|>Gen 3|>Gen 4|>Filter 1|>Filter 2|>Main|>Matrix|>LFOSpeed|>Loop 1|>Loop 2|>Amp-Env|"
         ">Fil1-Env|>Fil2-Env|>Mod1-Env|>Mod2-Env",
         "Gen 1    Ampl|Gen 1    Pitch|Gen 1    Aux Mod|Gen 1    Balance|Gen 1    S-Start", "      - - -", false},
    };
    for (const Case& c : cases) {
        MenuRig rig;
        CMenuWithSub* menu = rig.make(c.items, c.low, c.value);
        ASSERT_NE(menu, nullptr) << c.what;
        EXPECT_EQ(rig.mainEntries(), c.main) << c.what;
        const CSubMenuVx* sub = menu->getRecordedSubMenu(0);
        EXPECT_EQ(entriesOf(sub), c.sub) << c.what;
        // The value's entry is current and the only one checked, in the
        // menu that holds it.
        const CMenuBase* holder = menu->holderOf(c.value - c.low);
        ASSERT_NE(holder, nullptr) << c.what;
        EXPECT_EQ(holder != menu, c.shownInSub) << c.what;
        EXPECT_STREQ(holder->getText(), c.shown) << c.what;
        EXPECT_TRUE(holder->isCheckEntry(holder->getCurrent())) << c.what;
        int checks = 0;
        for (const COptionMenu* m : {static_cast<const COptionMenu*>(menu), static_cast<const COptionMenu*>(sub)})
            for (int i = 0; m && i < m->getNbEntries(); ++i)
                checks += m->isCheckEntry(i);
        EXPECT_EQ(checks, 1) << c.what;
    }
    // One item: its value is 0 whatever the (empty) range.
    MenuRig one;
    EXPECT_FLOAT_EQ(one.make(OneItem, 0, 0)->getValue(), 0.f);
    // A range longer than its enumeration: the items beyond it read as
    // empty, never as what lies past the text's end.
    MenuRig longer;
    longer.engine.getParaPtr(Dest)->redefineEnu(0, ThreeItems);
    longer.engine.getParaPtr(Dest)->setHiVal(4);
    longer.make(nullptr, 0, 4);
    EXPECT_EQ(longer.mainEntries(), "Noise|||>Osc");
    EXPECT_EQ(longer.menu->getCurrentItem(), 4);
    // The destinations' 16 groups, each its own submenu.
    MenuRig dest;
    EXPECT_EQ(dest.make(nullptr, -1, -1)->getSubMenuCount(), 16);
}

TEST(ParameterMenus, APickSetsItsItemsValueInOneGesture)
{
    struct Case
    {
        const char* what;
        std::vector<int> entries; // clicked, level by level
        long buttons;             // of the click that opens the list
        int item;                 // the item whose value the parameter gets (low + item)
        const char* kinds;        // t touched, b begin, s set, g group, e end
    };
    const Case cases[] = {
        {"the submenu's second item", {1, 1}, kLButton, 1, "tbse"},
        {"the submenu's first item", {1, 0}, kLButton, 0, "tbse"},
        {"the plain entry", {0}, kLButton, 2, "tbse"},
        {"a pick after a Shift-click goes to the group too", {0}, kLButton | kShift, 2, "tbsge"},
    };
    for (const Case& c : cases) {
        MenuRig rig;
        rig.make(ThreeItems, 5, 5);
        rig.engine.calls.clear();
        rig.pick(c.entries, c.buttons);
        EXPECT_EQ(rig.engine.kinds(), c.kinds) << c.what;
        for (const RecordingVela::Call& call : rig.engine.calls) {
            EXPECT_EQ(call.index, Dest) << c.what << ", call " << call.kind;
            EXPECT_TRUE(call.busy) << c.what << ", call " << call.kind;
        }
        EXPECT_EQ(rig.engine.getParaVal(Dest), 5 + c.item) << c.what;
        EXPECT_FLOAT_EQ(rig.engine.calls[0].value, (c.buttons & kShift) ? 1.f : 0.f) << c.what << ": touched, Shift";
        // The pick is shown at once, and again when the editor updates.
        EXPECT_EQ(rig.menu->getCurrentItem(), c.item) << c.what;
        rig.editor.updateEdit(Dest, false);
        EXPECT_EQ(rig.menu->getCurrentItem(), c.item) << c.what;
    }
}

TEST(ParameterMenus, TheEditorShowsTheParameterThroughSetVxValue)
{
    struct Case
    {
        const char* what;
        const char* items;
        int low;
        float v;
        int item; // shown
    };
    const Case cases[] = {
        {"1.0 on 0..12 selects 12 (12 x 1.0 + 0.1, truncated)", thirteenItems(), 0, 1.f, 12},
        {"0.5 on 0..12 selects 6", thirteenItems(), 0, 0.5f, 6},
        {"just below a step stays below it", thirteenItems(), 0, 5.85f / 12.f, 5},
        {"a step missed by rounding still lands", thirteenItems(), 0, 7.f / 12.f - 0.0001f, 7},
        {"an item in a submenu", ThreeItems, 0, 0.5f, 1},
        {"a value beyond the range keeps the item shown", ThreeItems, 0, 2.f, 0},
        {"low = high keeps its one item", OneItem, 0, 1.f, 0},
    };
    for (const Case& c : cases) {
        MenuRig rig;
        CMenuWithSub* menu = rig.make(c.items, c.low, c.low);
        menu->setVxValue(c.v);
        EXPECT_EQ(menu->getCurrentItem(), c.item) << c.what;
        const CMenuBase* holder = menu->holderOf(c.item);
        ASSERT_NE(holder, nullptr) << c.what;
        const int entry = holder == menu ? menu->mainEntryOf(c.item) : c.item - holder->getFirstItem();
        EXPECT_EQ(holder->getCurrent(), entry) << c.what;
        EXPECT_TRUE(holder->isCheckEntry(entry)) << c.what;
    }
    // A flat menu lists every item in item order, groups or not.
    {
        MenuRig flat;
        flat.engine.getParaPtr(Dest)->redefineEnu(0, ThreeItems);
        flat.engine.setParaVal(Dest, 0);
        auto* simple = new CMenuSimple(CRect(0, 0, 50, 12), &flat.editor, Dest, &flat.engine, Ink, true, nullptr,
                                       nullptr, 0, true, kCenterText);
        EXPECT_EQ(entriesOf(simple), "Osc      Saw|Osc      Square|Noise");
        EXPECT_TRUE(simple->isCheckEntry(0));
        simple->setVxValue(1.f);
        EXPECT_EQ(simple->getCurrent(), 2);
        EXPECT_TRUE(simple->isCheckEntry(2) && !simple->isCheckEntry(0));
        EXPECT_FLOAT_EQ(simple->getValue(), 1.f);
        simple->forget();
    }
    // The path from the engine: a change there reaches the menu at the
    // editor's update.
    MenuRig rig;
    CMenuWithSub* menu = rig.make(nullptr, -1, -1);
    rig.engine.setParameterAutomated(Dest, 20.f / 57.f);
    rig.editor.updateEdit(Dest, false);
    EXPECT_EQ(menu->getCurrentItem(), 20);
    EXPECT_STREQ(menu->holderOf(20)->getText(), "Filter 1 Resonan");
}

TEST(ParameterMenus, TheWheelWalksTheItemsAcrossTheSubmenus)
{
    // A menu without submenus takes the wheel and changes nothing.
    {
        MenuRig rig;
        CMenuWithSub* menu = rig.make(LoneGroups, 0, 1);
        rig.engine.calls.clear();
        EXPECT_TRUE(rig.frame()->platformWheel(CPoint(110, 58), -1.f, 0));
        EXPECT_TRUE(rig.frame()->platformWheel(CPoint(110, 58), 1.f, 0));
        EXPECT_EQ(rig.engine.kinds(), "") << "no value and no gesture";
        EXPECT_EQ(menu->getCurrentItem(), 1);
        EXPECT_STREQ(menu->getText(), "Filter   Low");
    }
    // The destinations: every step down reaches the next item, whichever
    // menu holds it, as one gesture; at the end the wheel stops.
    MenuRig rig;
    CMenuWithSub* menu = rig.make(nullptr, -1, -1);
    for (int step = 1; step < DestValues; ++step) {
        rig.engine.calls.clear();
        rig.frame()->platformWheel(CPoint(110, 58), -1.f, 0);
        ASSERT_EQ(rig.engine.kinds(), "bse") << "step " << step;
        EXPECT_NEAR(rig.engine.calls[1].value, step / 57.f, 1e-6) << "step " << step;
        EXPECT_EQ(rig.engine.getParaVal(Dest), step - 1) << "step " << step;
        EXPECT_EQ(menu->getCurrentItem(), step);
    }
    rig.engine.calls.clear();
    rig.frame()->platformWheel(CPoint(110, 58), -1.f, 0);
    EXPECT_EQ(rig.engine.kinds(), "") << "past the last item";
    rig.frame()->platformWheel(CPoint(110, 58), 1.f, 0);
    EXPECT_EQ(rig.engine.getParaVal(Dest), 55) << "up: the item before";
    EXPECT_STREQ(menu->holderOf(menu->getCurrentItem())->getText(), "Mod2-Env Decay");
}

TEST(ParameterMenus, TheClosedMenuDrawsItsPictureAndTheShownItemOrNothing)
{
    MenuRig rig;
    CBitmap* box = SynthEditor_c::loadBitmap(EditorPictures::TempoSyncMenu);
    // A tempo-sync menu of an effect frame: its picture's size, at (177, 10).
    rig.engine.setParaVal(Dest2, 20);
    CMenuWithSub* sync = rig.editor.createMenu(rig.page, Ink, box, Dest2, 177, 10, false, true, kCenterText);
    ASSERT_NE(sync, nullptr);
    EXPECT_EQ(sync->getViewSize(), CRect(177, 10, 217, 21));
    CMenuWithSub* invisible = rig.make(ThreeItems, 0, 1, false);

    const CColor ground{1, 2, 3, 255};
    ControlTest::Canvas drawn(300, 100, ground);
    drawn.draw(sync);
    // The arrow's strip is the picture's (its separator line shows); the
    // text stands left of it.
    EXPECT_EQ(drawn.at(217 - Look::MenuArrowZone, 15), Look::Edge);
    int ink = 0;
    for (int x = 177; x < 217 - Look::MenuArrowZone; ++x)
        for (int y = 10; y < 21; ++y)
            ink += drawn.at(x, y).red > 150;
    EXPECT_GT(ink, 5) << "the shown item's text";
    // The item shown lies in a submenu: the closed menu shows that entry's
    // text, as the submenu draws it.
    ControlTest::Canvas direct(300, 100, ground);
    direct.draw(sync->holderOf(sync->getCurrentItem()));
    for (int x = 177; x < 217; ++x)
        ASSERT_EQ(drawn.at(x, 15), direct.at(x, 15)) << x;
    EXPECT_FALSE(sync->isDirty());

    ControlTest::Canvas none(300, 100, ground);
    none.draw(invisible);
    for (int x = 100; x < 220; x += 3)
        for (int y = 50; y < 66; y += 3)
            ASSERT_EQ(none.at(x, y), ground) << "an invisible menu leaves the page alone";
    EXPECT_FALSE(invisible->isDirty());
}

TEST(ParameterMenus, TheFactoriesBuildRegisterAndShowTheirMenus)
{
    MenuRig rig;
    SynthEditor_c& e = rig.editor;
    CModulFrameVx* page = rig.page;
    rig.engine.setParaVal(Dest, 19);

    // createMenuS: every argument in its place.
    CMenuWithSub* s = e.createMenuS(page, CColor{154, 155, 151, 255}, Dest, nullptr, 24, 7, 105, 16, kLeftText, true,
                                    true, false);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->getViewSize(), CRect(24, 7, 129, 23));
    EXPECT_EQ(s->getTag(), Dest);
    EXPECT_EQ(rig.record(Dest).kind, kRecordMenu);
    EXPECT_EQ(rig.record(Dest).secondView, s);
    EXPECT_EQ(rig.record(Dest).control, nullptr);
    EXPECT_FLOAT_EQ(s->getDefaultValue(), rig.engine.getParaDef(Dest));
    EXPECT_FALSE(s->isDrawn());
    EXPECT_EQ(s->getStyle() & COptionMenu::kCheckStyle, 0) << "menus with submenus check the chosen item instead";
    EXPECT_EQ(s->getCurrentItem(), 20) << "the first update shows the value";
    EXPECT_EQ(s->getFontColor(), (CColor{154, 155, 151, 255}));
    EXPECT_EQ(s->getRecordedSubMenu(4)->getFontColor(), (CColor{154, 155, 151, 255})) << "the submenus' too";

    // createMenu, by size and by picture.
    CMenuWithSub* sized = e.createMenu(page, Ink, 213, 111, 12, 126, 12, false, true, kCenterText);
    ASSERT_NE(sized, nullptr);
    EXPECT_EQ(sized->getViewSize(), CRect(111, 12, 237, 24));
    EXPECT_TRUE(sized->isDrawn());
    EXPECT_STREQ(sized->getText(), "DELAY");
    CMenuWithSub* pictured =
        e.createMenu(page, Ink, SynthEditor_c::loadBitmap(EditorPictures::ModeMenu), 297, 181, 23, false, true,
                     kCenterText);
    ASSERT_NE(pictured, nullptr);
    EXPECT_EQ(pictured->getViewSize(), CRect(181, 23, 217, 34)) << "the mode menu's picture gives its size";
    EXPECT_EQ(e.createMenu(page, Ink, static_cast<CBitmap*>(nullptr), 297, 181, 23, false, true, kCenterText), nullptr);
    EXPECT_EQ(e.createMenu(nullptr, Ink, 213, 0, 0, 10, 10, false, true, kCenterText), nullptr);

    // The editor's font colour reaches a menu and every submenu.
    e.setFontColorRGB(10, 20, 30, 255);
    EXPECT_EQ(s->getFontColor(), (CColor{10, 20, 30, 255}));
    EXPECT_EQ(s->getRecordedSubMenu(15)->getFontColor(), (CColor{10, 20, 30, 255}));
    EXPECT_EQ(rig.engine.edits(), "") << "building sends nothing";
}

// ------------------------------------------------------ in a real window

TEST(ParameterMenuWindow, AClickOpensTheMenuAndAPickChangesOnlyItsParameter)
{
    X11Test::Host host;
    if (!host.d)
        GTEST_SKIP() << "no X display";
    const Window parent = host.plainWindow(0, 800, 600);
    auto owned = std::make_unique<RecordingVela>();
    RecordingVela& engine = *owned;
    {
        EditorTest::BindingEditor editor(&engine);
        ASSERT_TRUE(editor.open(reinterpret_cast<void*>(parent)));
        CFrame* frame = editor.getFrame();
        ASSERT_TRUE(frame->hasWindow());
        CBitmap* background = ControlTest::framesPicture(800, 400, 1);
        auto* page = new CModulFrameVx(0, 0, 800, 400, frame, background, "page");
        editor.getEditFrame()->addView(page);
        engine.setParaVal(Dest, -1);
        editor.createMenu(page, Ink, Dest, 100, 50, 120, 16, false, true, kCenterText);
        editor.createMenu(page, Ink, Dest2, 300, 50, 120, 16, false, true, kCenterText);
        const int otherBefore = engine.getParaVal(Dest2);
        const auto idle = [&] { editor.idle(); };
        ASSERT_TRUE(X11Test::idleWhile(idle, [&] { return X11Test::viewable(host.d, frame->getWindowId()); }));
        engine.calls.clear();

        const auto overlay = [&] {
            CView* v = frame->getMenuOverlay();
            return v ? static_cast<COptionMenuOverlay*>(v) : nullptr;
        };
        const auto clickAt = [&](CPoint p) {
            X11Test::sendButton(host.d, frame->getWindowId(), p.h, p.v, Button1, 0, true);
            X11Test::sendButton(host.d, frame->getWindowId(), p.h, p.v, Button1, Button1Mask, false);
        };
        clickAt(CPoint(110, 58));
        ASSERT_TRUE(X11Test::idleWhile(idle, [&] { return overlay() != nullptr; })) << "the click opens the list";
        // "Filter 1" (the fifth group after the empty entry), then its second item.
        clickAt(centre(overlay()->getEntryRect(0, 5)));
        ASSERT_TRUE(X11Test::idleWhile(idle, [&] { return overlay() && overlay()->getLevelCount() == 2; }));
        clickAt(centre(overlay()->getEntryRect(1, 1)));
        ASSERT_TRUE(X11Test::idleWhile(idle, [&] { return engine.last('s') != nullptr; }));
        EXPECT_EQ(overlay(), nullptr);

        EXPECT_EQ(engine.edits(), "bse") << "one balanced gesture";
        EXPECT_EQ(engine.last('s')->index, Dest);
        EXPECT_EQ(engine.getParaVal(Dest), 19) << "Filter 1 Resonance";
        EXPECT_EQ(engine.getParaVal(Dest2), otherBefore) << "the other menu's parameter stays";
        EXPECT_EQ(frame->getWindowErrors(), 0);
        editor.close();
        background->forget();
    }
    XSync(host.d, False);
    XDestroyWindow(host.d, parent);
    EXPECT_EQ(X11Test::xErrors, 0);
}
