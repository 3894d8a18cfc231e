// The pop-up menu and its overlay, offscreen: layout in columns, scrolling,
// placement inside the window, picking by drag and by click, submenus,
// keys and the wheel, and the open list drawn above everything.
#include "CBitmap.h"
#include "CFrame.h"
#include "COptionMenu.h"
#include "COptionMenuOverlay.h"
#include "GuiKeys.h"
#include "GuiTestViews.h"
#include "VstInterface.h"

#include <gtest/gtest.h>

#include <string>

namespace {
struct Listener : CControlListener
{
    void valueChanged(CControl* c) override
    {
        ++changes;
        last = c;
    }
    int changes = 0;
    CControl* last = nullptr;
};

struct MenuRig
{
    Listener listener;
    CFrame* frame;
    COptionMenu* menu;
    MenuRig(CCoord width, CCoord height, const CRect& at)
        : frame(new CFrame(CRect(0, 0, width, height), nullptr, nullptr)),
          menu(new COptionMenu(at, &listener, 7))
    {
        frame->setBackgroundColor(CColor{100, 100, 100, 255});
        frame->addView(menu);
    }
    ~MenuRig() { frame->forget(); }
    MenuRig(const MenuRig&) = delete;
    MenuRig& operator=(const MenuRig&) = delete;

    void fill(int count, const char* prefix = "Item ")
    {
        for (int i = 0; i < count; ++i)
            menu->addEntry((prefix + std::to_string(i)).c_str());
    }
    COptionMenuOverlay* overlay() const
    {
        CView* v = frame->getMenuOverlay();
        return v && v->isTypeOf("COptionMenuOverlay") ? static_cast<COptionMenuOverlay*>(v) : nullptr;
    }
    CPoint menuPoint() const
    {
        const CRect& r = menu->getViewSize();
        return CPoint(r.left + 3, r.top + 3);
    }
    // Opens the list with a click on the menu.
    void open()
    {
        click(menuPoint());
        ASSERT_NE(overlay(), nullptr);
    }
    void click(CPoint p)
    {
        frame->platformMouseDown(p, kLButton);
        frame->platformMouseUp(p, kLButton);
    }
    static CPoint centre(const CRect& r) { return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2); }
    bool inside(const CRect& box) const
    {
        return box.left >= 0 && box.top >= 0 && box.right <= frame->getWidth() && box.bottom <= frame->getHeight();
    }
    void key(uint8_t virt)
    {
        VstKeyCode k{0, virt, 0};
        frame->platformKeyDown(k);
    }
};
} // namespace

TEST(GuiOptionMenu, ColumnsOfTheAskedHeightSizedByTheirTexts)
{
    MenuRig rig(800, 600, CRect(10, 10, 110, 26));
    rig.fill(60);
    rig.menu->addEntry("A much longer entry text than the others", 55);
    rig.menu->setNbItemsPerColumn(26);
    rig.open();
    COptionMenuOverlay* o = rig.overlay();
    EXPECT_EQ(o->getColumnCount(0), 3) << "61 entries at 26 per column";
    EXPECT_FALSE(o->isScrolling(0));
    const CRect first = o->getEntryRect(0, 0);
    const CRect top2 = o->getEntryRect(0, 26);
    const CRect top3 = o->getEntryRect(0, 52);
    EXPECT_EQ(top2.top, first.top) << "entry 26 heads the second column";
    EXPECT_EQ(top2.left, first.right);
    EXPECT_EQ(o->getEntryRect(0, 25).top, first.top + 25 * COptionMenuOverlay::RowHeight);
    EXPECT_GT(top3.width(), top2.width() + 100) << "the column with the long text is wider";
    EXPECT_EQ(o->getLevelBox(0).top, 26) << "the list opens below the menu";
    EXPECT_TRUE(rig.inside(o->getLevelBox(0)));

    // Entries added while the list is open lie outside its layout: they
    // are neither drawn nor hit until it opens again.
    rig.fill(100, "Late ");
    EXPECT_TRUE(o->getEntryRect(0, 150).isEmpty());
    rig.frame->platformMouseMoved(CPoint(o->getLevelBox(0).right - 2, 40), 0);
    rig.frame->idle();
    EXPECT_EQ(rig.overlay(), o);
}

TEST(GuiOptionMenu, ThreeHundredEntriesAreReachableToTheLast)
{
    struct Case
    {
        const char* what;
        CCoord width, height;
        bool scrolling;
    };
    const Case cases[] = {
        {"a large window shows them in columns", 800, 600, false},
        {"a small window scrolls one column", 300, 200, true},
    };
    for (const Case& c : cases) {
        MenuRig rig(c.width, c.height, CRect(10, 10, 110, 26));
        rig.fill(300);
        rig.open();
        COptionMenuOverlay* o = rig.overlay();
        EXPECT_EQ(o->isScrolling(0), c.scrolling) << c.what;
        EXPECT_TRUE(rig.inside(o->getLevelBox(0))) << c.what;
        // The wheel goes on until the last entry shows.
        for (int i = 0; i < 200 && o->getEntryRect(0, 299).isEmpty(); ++i)
            rig.frame->platformWheel(MenuRig::centre(o->getLevelBox(0)), -1.f, 0);
        const CRect last = o->getEntryRect(0, 299);
        ASSERT_FALSE(last.isEmpty()) << c.what;
        EXPECT_TRUE(rig.inside(last)) << c.what;
        rig.click(MenuRig::centre(last));
        EXPECT_EQ(rig.overlay(), nullptr) << c.what;
        EXPECT_EQ(rig.menu->getCurrent(), 299) << c.what;
        EXPECT_STREQ(rig.menu->getText(), "Item 299") << c.what;
    }
}

TEST(GuiOptionMenu, AScrollingListIsWalkedByItsArrowRowsAndByKeys)
{
    MenuRig rig(300, 200, CRect(10, 10, 110, 26));
    rig.fill(300);
    rig.open();
    COptionMenuOverlay* o = rig.overlay();
    ASSERT_TRUE(o->isScrolling(0));
    const CRect box = o->getLevelBox(0);
    const CPoint downArrow(MenuRig::centre(box).h, box.bottom - 4);
    const CPoint upArrow(MenuRig::centre(box).h, box.top + 4);
    EXPECT_TRUE(o->getEntryRect(0, 299).isEmpty());
    for (int i = 0; i < 100 && o->getEntryRect(0, 299).isEmpty(); ++i)
        rig.click(downArrow);
    EXPECT_FALSE(o->getEntryRect(0, 299).isEmpty()) << "the down arrow pages to the end";
    EXPECT_EQ(rig.overlay(), o) << "arrow rows choose nothing";
    rig.click(upArrow);
    EXPECT_TRUE(o->getEntryRect(0, 299).isEmpty());

    rig.key(kVKeyEnd);
    EXPECT_EQ(o->getHighlight(0), 299);
    EXPECT_FALSE(o->getEntryRect(0, 299).isEmpty()) << "the highlight scrolls into view";
    rig.key(kVKeyUp);
    rig.key(kVKeyReturn);
    EXPECT_EQ(rig.overlay(), nullptr);
    EXPECT_EQ(rig.menu->getCurrent(), 298);
}

TEST(GuiOptionMenu, ListsAndSubmenusStayInsideTheWindowNearItsEdges)
{
    MenuRig rig(400, 300, CRect(330, 270, 390, 286)); // near the right and bottom edges
    rig.fill(5);
    auto* sub = new COptionMenu(CRect(), nullptr, 7);
    sub->addEntry("A rather long submenu entry");
    sub->addEntry("Another");
    rig.menu->addEntry(sub, "More");
    rig.open();
    COptionMenuOverlay* o = rig.overlay();
    const CRect box0 = o->getLevelBox(0);
    EXPECT_TRUE(rig.inside(box0));
    EXPECT_EQ(box0.bottom, 270) << "no room below: the list opens above the menu";

    rig.frame->platformMouseMoved(MenuRig::centre(o->getEntryRect(0, 5)), 0);
    ASSERT_EQ(o->getLevelCount(), 2) << "hovering a submenu entry opens it";
    const CRect box1 = o->getLevelBox(1);
    EXPECT_TRUE(rig.inside(box1));
    EXPECT_LE(box1.right, box0.left + 1) << "no room on the right: the submenu opens on the left";
    EXPECT_EQ(box1.top, o->getEntryRect(0, 5).top - 1) << "beside its entry";

    // Far from the edges a submenu opens on the right of its entry.
    MenuRig wide(400, 300, CRect(10, 10, 70, 26));
    auto* sub2 = new COptionMenu(CRect(), nullptr, 7);
    sub2->addEntry("x");
    wide.menu->addEntry("plain");
    wide.menu->addEntry(sub2, "More");
    wide.open();
    wide.frame->platformMouseMoved(MenuRig::centre(wide.overlay()->getEntryRect(0, 1)), 0);
    ASSERT_EQ(wide.overlay()->getLevelCount(), 2);
    EXPECT_EQ(wide.overlay()->getLevelBox(1).left, wide.overlay()->getLevelBox(0).right - 1);
}

TEST(GuiOptionMenu, PicksOnReleaseAfterADragAndOnAClickOnceOpen)
{
    struct Case
    {
        const char* what;
        bool drag; // press on the menu, drag to the entry, release there
    };
    for (const Case& c : {Case{"press-drag-release", true}, Case{"click, then click the entry", false}}) {
        MenuRig rig(400, 300, CRect(10, 10, 110, 26));
        rig.fill(4);
        if (c.drag) {
            rig.frame->platformMouseDown(rig.menuPoint(), kLButton);
            COptionMenuOverlay* o = rig.overlay();
            ASSERT_NE(o, nullptr) << c.what;
            const CPoint target = MenuRig::centre(o->getEntryRect(0, 2));
            rig.frame->platformMouseMoved(target, kLButton);
            EXPECT_EQ(o->getHighlight(0), 2) << c.what << ": the entry under the pointer lights";
            rig.frame->platformMouseUp(target, kLButton);
        } else {
            rig.open();
            EXPECT_NE(rig.overlay(), nullptr) << c.what << ": the opening click leaves it open";
            const CPoint target = MenuRig::centre(rig.overlay()->getEntryRect(0, 2));
            rig.frame->platformMouseMoved(target, 0);
            EXPECT_EQ(rig.overlay()->getHighlight(0), 2) << c.what;
            rig.click(target);
        }
        EXPECT_EQ(rig.overlay(), nullptr) << c.what;
        EXPECT_EQ(rig.menu->getCurrent(), 2) << c.what;
        EXPECT_EQ(rig.listener.changes, 1) << c.what;
        EXPECT_EQ(rig.listener.last, rig.menu) << c.what;
    }
}

TEST(GuiOptionMenu, SeparatorsSubmenusAndPressesOutside)
{
    MenuRig rig(400, 300, CRect(10, 10, 110, 26));
    rig.menu->addEntry("Saw");
    rig.menu->addSeparator();
    rig.menu->addEntry("Square");
    auto* sub = new COptionMenu(CRect(), nullptr, 7);
    sub->addEntry("Noise A");
    sub->addEntry("Noise B");
    rig.menu->addEntry(sub, "More");
    rig.open();
    COptionMenuOverlay* o = rig.overlay();
    const CPoint separator = MenuRig::centre(o->getEntryRect(0, 1));
    rig.frame->platformMouseMoved(separator, 0);
    EXPECT_EQ(o->getHighlight(0), -1) << "a separator never lights";
    rig.click(separator);
    EXPECT_EQ(rig.overlay(), o) << "nor is it chosen";

    rig.frame->platformMouseMoved(MenuRig::centre(o->getEntryRect(0, 3)), 0);
    ASSERT_EQ(o->getLevelCount(), 2);
    rig.click(MenuRig::centre(o->getEntryRect(0, 3)));
    EXPECT_EQ(rig.overlay(), o) << "a submenu entry only opens its submenu";
    rig.click(MenuRig::centre(o->getEntryRect(1, 1)));
    EXPECT_EQ(rig.overlay(), nullptr);
    int32_t index = -1;
    EXPECT_EQ(rig.menu->getLastItemMenu(index), sub);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(rig.listener.last, sub) << "the listener hears of the menu that holds the entry";
    EXPECT_EQ(sub->getCurrent(), 1);
    EXPECT_EQ(rig.menu->getCurrent(), -1) << "the top menu's entry stays";

    rig.open();
    rig.click(CPoint(390, 290));
    EXPECT_EQ(rig.overlay(), nullptr) << "a press outside closes without a choice";
    EXPECT_EQ(rig.listener.changes, 1);
}

TEST(GuiOptionMenu, CurrentAndCheckedEntries)
{
    MenuRig rig(400, 300, CRect(10, 10, 110, 26));
    rig.menu->addEntry("Zero");
    rig.menu->addSeparator();
    rig.menu->addEntry("Two");
    rig.menu->addEntry("Three");
    struct Case
    {
        const char* what;
        int32_t index;
        bool countSeparator;
        bool ok;
        int32_t current;
        const char* shown;
    };
    const Case cases[] = {
        {"an entry", 3, true, true, 3, "Three"},
        {"counted without separators", 1, false, true, 2, "Two"},
        {"past the end changes nothing", 4, true, false, 2, "Two"},
        {"a negative index changes nothing", -1, true, false, 2, "Two"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rig.menu->setCurrent(c.index, c.countSeparator), c.ok) << c.what;
        EXPECT_EQ(rig.menu->getCurrent(), c.current) << c.what;
        EXPECT_STREQ(rig.menu->getText(), c.shown) << c.what;
    }
    EXPECT_EQ(rig.menu->getCurrent(false), 1) << "entry 2 is the second that is no separator";
    rig.menu->setValue(3.9f);
    EXPECT_EQ(rig.menu->getCurrent(), 3) << "a value is truncated to its entry";

    rig.menu->checkEntry(0, true);
    rig.menu->checkEntry(2, true);
    EXPECT_TRUE(rig.menu->checkEntryAlone(3));
    EXPECT_FALSE(rig.menu->isCheckEntry(0));
    EXPECT_FALSE(rig.menu->isCheckEntry(2));
    EXPECT_TRUE(rig.menu->isCheckEntry(3));

    rig.open();
    EXPECT_EQ(rig.overlay()->getHighlight(0), 3) << "the list opens on the current entry";
    // The check mark is drawn in the checked row's left margin.
    rig.frame->idle();
    const CRect row = rig.overlay()->getEntryRect(0, 3);
    const CRect plain = rig.overlay()->getEntryRect(0, 2);
    const auto brightIn = [&](const CRect& r) {
        int n = 0;
        for (CCoord y = r.top; y < r.bottom; ++y)
            for (CCoord x = r.left + 2; x < r.left + 16; ++x)
                n += rig.frame->getBackBuffer()->getPixel(x, y).red > 200 ? 1 : 0;
        return n;
    };
    EXPECT_GT(brightIn(row), 5);
    EXPECT_EQ(brightIn(plain), 0);
}

TEST(GuiOptionMenu, TheOpenListIsDrawnAboveEverythingAndTakesTheWheelAndEscape)
{
    MenuRig rig(400, 300, CRect(10, 10, 110, 26));
    rig.fill(8);
    // A panel with a control under where the list opens.
    auto* panel = new CViewContainer(CRect(10, 30, 200, 120), rig.frame);
    auto* beneath = new GuiTest::Box(CRect(0, 0, 190, 90), CColor{0, 200, 0, 255});
    panel->addView(beneath);
    struct WheelCounter : GuiTest::Box
    {
        using Box::Box;
        bool onWheel(const CPoint&, const float&, const long&) override
        {
            ++steps;
            return true;
        }
        int steps = 0;
    };
    auto* wheelBox = new WheelCounter(CRect(0, 0, 400, 300), CColor{0, 0, 0, 0}, false);
    rig.frame->addView(wheelBox);
    rig.frame->addView(panel);
    rig.frame->raiseView(rig.menu);
    rig.open();
    COptionMenuOverlay* o = rig.overlay();
    // A point of the list's own colour: the left margin of an entry.
    const CPoint inList(o->getEntryRect(0, 3).left + 2, o->getEntryRect(0, 3).top + 2);
    ASSERT_TRUE(panel->getViewSize().pointInside(inList));
    rig.frame->idle();
    const CColor listColour = rig.frame->getBackBuffer()->getPixel(inList.h, inList.v);
    EXPECT_NE(listColour, beneath->colour);

    // A dirty control in a panel under the open list is drawn beneath it.
    beneath->setDirty(true);
    rig.frame->idle();
    EXPECT_EQ(rig.frame->getBackBuffer()->getPixel(inList.h, inList.v), listColour);

    EXPECT_TRUE(rig.frame->platformWheel(inList, 1.f, 0));
    EXPECT_TRUE(rig.frame->platformWheel(CPoint(390, 290), 1.f, 0));
    EXPECT_EQ(wheelBox->steps, 0) << "the wheel never passes through an open list";
    EXPECT_TRUE(rig.frame->wantsKeys()) << "the window takes the keys while a list is open";

    VstKeyCode escape{0, kVKeyEscape, 0};
    EXPECT_EQ(rig.frame->platformKeyDown(escape), 1);
    EXPECT_EQ(rig.overlay(), nullptr);
    EXPECT_FALSE(rig.frame->wantsKeys());
    EXPECT_EQ(rig.listener.changes, 0);
    rig.frame->idle();
    EXPECT_EQ(rig.frame->getBackBuffer()->getPixel(inList.h, inList.v), beneath->colour)
        << "what the list covered is drawn again";
    rig.frame->platformWheel(CPoint(390, 290), 1.f, 0);
    EXPECT_EQ(wheelBox->steps, 1);
}

TEST(GuiOptionMenu, EscapeClosesTheInnermostLevelFirstAndArrowsWalkSubmenus)
{
    MenuRig rig(400, 300, CRect(10, 10, 110, 26));
    rig.menu->addEntry("plain");
    auto* sub = new COptionMenu(CRect(), nullptr, 7);
    sub->addEntry("-");
    sub->addEntry("inner");
    rig.menu->addEntry(sub, "More");
    rig.open();
    COptionMenuOverlay* o = rig.overlay();
    rig.key(kVKeyDown);
    rig.key(kVKeyDown);
    EXPECT_EQ(o->getHighlight(0), 1);
    rig.key(kVKeyRight);
    ASSERT_EQ(o->getLevelCount(), 2);
    EXPECT_EQ(o->getHighlight(1), 1) << "the first entry that is no separator";
    rig.key(kVKeyEscape);
    EXPECT_EQ(o->getLevelCount(), 1);
    EXPECT_EQ(rig.overlay(), o);
    rig.key(kVKeyRight);
    rig.key(kVKeyReturn);
    EXPECT_EQ(rig.overlay(), nullptr);
    EXPECT_EQ(rig.listener.last, sub);
    EXPECT_EQ(sub->getCurrent(), 1);
}
