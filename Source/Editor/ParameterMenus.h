// The parameter menus: every enumerated parameter (generator, filter and
// effect types, tempo-sync values, modulation sources and destinations,
// modes) is edited with a pop-up menu built from the parameter's own
// enumeration text, a run of fixed-width item names.
// - CMenuBase: what the family shares over the library's option menu: the
//   Shift flag of the last click, the touch at a press, the host's gesture
//   around a pick, and the drawing of the closed menu;
// - CMenuSimple: one flat list of the parameter's items;
// - CMenuWithSub: the list with submenus. Neighbouring items that share the
//   text before a '$' form a group, which becomes a submenu titled with that
//   text; the main menu lists the plain items first, in item order, and the
//   group entries after them. Every menu the editor's factories make is one;
// - CSubMenuVx: one submenu of a CMenuWithSub, holding the items from its
//   first item on.
// A menu tells its listener (the editor, record kind 9) the chosen value
// through getValue(); the editor shows the parameter's value back through
// setVxValue(). The menus read the parameter's range and texts from the
// engine when they are made and filled, under its busy counter.
// Thread: the user-interface thread.
#pragma once

#include "CControlVx.h"
#include "COptionMenu.h"

#include <string>

class Synth;

class CMenuBase : public COptionMenu
{
public:
    // Without a background picture the menu is transparent: only its text
    // shows over the page.
    CMenuBase(const CRect& size, CControlListenerVx* listener, int tag, CBitmap* background, CBitmap* second,
              int style);

    // The value sent from the parameter (0..1) to the menu.
    virtual void setVxValue(float) {}
    // Adds item (0 = the parameter's low value) to menu as entry number
    // entry, its text taken from the enumeration from character shift on.
    virtual void addItemShift(CMenuBase*, int, int, int) {}
    void addItem(CMenuBase* menu, int item, int entry) { addItemShift(menu, item, entry, 0); }
    // Builds the entries anew from the parameter.
    virtual void fill() {}
    // True when the click that opened the list held Shift (the editor then
    // also tells the engine's group operation); a submenu answers for the
    // menu it belongs to.
    virtual bool isShiftClick() const { return shiftClick; }
    int getFirstItem() const { return firstItem; }

    // A press remembers Shift, makes the parameter the target of controller
    // learning (the listener's touched, with Shift as its flag) and opens
    // the list.
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    // A pick is one gesture of the host's automation: begin, the change, end.
    void choose(COptionMenu* menu, int32_t index) override;
    bool isTypeOf(const char* name) const override;

protected:
    // The closed menu: its background, then text in the menu's font (smaller
    // when the text would not fit), colour and alignment. With a background
    // picture the text keeps clear of the picture's arrow at the right.
    void drawMenu(CDrawContext* context, const char* shown);

    int firstItem = 0;
    bool shiftClick = false;
    CControlListenerVx* listenerVx;
};

class CMenuSimple : public CMenuBase
{
public:
    // tag: the external parameter index. drawn false: an invisible click
    // area over a page picture that shows the value itself. fillNow: the
    // items are added at once.
    CMenuSimple(const CRect& size, CControlListenerVx* listener, int tag, Synth* engine, CColor colour, bool drawn,
                CBitmap* background, CBitmap* second, int style, bool fillNow, CHoriTxtAlign align);

    // Entry current / (high - low); 0 when high equals low.
    float getValue() override;
    // The entry of (high - low) * v, rounded down after adding 0.1, becomes
    // current and the only one checked.
    void setVxValue(float v) override;
    void addItemShift(CMenuBase* menu, int item, int entry, int shift) override;
    void fill() override;
    void draw(CDrawContext* context) override;
    bool isTypeOf(const char* name) const override;

    int getLow() const { return low; }
    int getHigh() const { return high; }
    int getItemWidth() const { return itemWidth; }
    bool isDrawn() const { return drawn; }
    // The number of items: high - low + 1.
    int itemCount() const { return high - low + 1; }

protected:
    // Item's text from the enumeration, from character shift on: at most
    // width - shift characters, trailing blanks dropped, the first '$' a
    // blank. Never reads past the enumeration's end.
    std::string itemText(int item, int shift) const;
    // Whether the parameter has an enumeration the menu can show.
    bool hasItems() const;
    // Removes every entry and what the closed menu showed.
    void clearEntries();

    Synth* engine;
    bool drawn;
    int low = 0;
    int high = 0;
    int itemWidth = 0;
    std::string items; // the parameter's enumeration text, a copy
};

class CSubMenuVx;

class CMenuWithSub : public CMenuSimple, public CControlListenerVx
{
public:
    static constexpr int MaxSubMenus = 32;
    static constexpr int MaxItems = 256;

    // As CMenuSimple, but never with the check style (the chosen item is
    // checked in the menu that holds it) and always filled.
    CMenuWithSub(const CRect& size, CControlListenerVx* listener, int tag, Synth* engine, CColor colour, bool drawn,
                 CBitmap* background, CBitmap* second, int style, bool fillNow, CHoriTxtAlign align);

    // The value of the current main-menu entry.
    float getValue() override;
    // The item of (high - low) * v + 0.1 becomes current and the menu that
    // holds it shows it: a submenu its entry, the main menu the item's entry.
    void setVxValue(float v) override;
    void addItemShift(CMenuBase* menu, int item, int entry, int shift) override;
    void fill() override;
    void draw(CDrawContext* context) override;
    // Wheel down: the next item, up: the one before, in item order across
    // the submenus. A menu without submenus takes no wheel steps.
    bool onWheel(const CPoint& where, const float& distance, const long& buttons) override;
    void choose(COptionMenu* menu, int32_t index) override;
    void setFontColor(CColor colour) override;
    void setHoriAlign(CHoriTxtAlign align) override;
    bool isTypeOf(const char* name) const override;

    // The submenus tell nobody: a pick reaches the editor through the main
    // menu's choose.
    void valueChanged(CControl*) override {}

    // The group steps, in the order fill takes them.
    // Where item's first '$' stands: the length of its group's name; 0 when
    // it has none.
    int getSubMenuNameLen(int item) const;
    // The first len characters of item's text, trailing blanks dropped.
    std::string getSubMenuName(int item, int len) const;
    // Whether item and the next one (below count) share item's group name.
    bool nextIsSame(int item, int count) const;
    // Makes the submenu of the group that starts at *item, adds it to the
    // main menu and moves *item past the group.
    void doSubMenu(int* item, int count, int len, bool strip);
    // Places every item: groups into submenus, the rest into the main menu.
    void checkDoSubMenu(int* item, int count);

    int getCurrentItem() const { return currentItem; }
    int getSubMenuCount() const { return subCount; }
    CSubMenuVx* getRecordedSubMenu(int k) const { return k >= 0 && k < subCount ? subs[k] : nullptr; }
    // The menu that holds item (this or a submenu); null outside the items.
    CMenuBase* holderOf(int item) const;
    // Item's entry in the main menu; -1 when a submenu holds it.
    int mainEntryOf(int item) const;

private:
    // Makes item current in the menu that holds it and the only checked
    // entry of all the menus.
    void showItem(int item);
    // The item an entry of menu stands for; -1 for none.
    int itemOf(const COptionMenu* menu, int entry) const;
    int placedItems() const;

    CSubMenuVx* subs[MaxSubMenus] = {};
    CMenuBase* holder[MaxItems] = {};
    float mainValue[MaxItems] = {}; // by main-menu entry; -1 for none
    int mainEntry[MaxItems] = {};   // by item; -1 for none
    int nextMainEntry = 0;
    int subCount = 0;
    int mainItems = 0;
    bool strip = false;
    int currentItem = -1;
    CColor textColour;
    CHoriTxtAlign alignment;
};

class CSubMenuVx : public CMenuBase
{
public:
    // owner: the CMenuWithSub it belongs to (also its listener); first: its
    // first item; count: the owner's high - low.
    CSubMenuVx(const CRect& size, CMenuWithSub* owner, int tag, CBitmap* background, CBitmap* second, CColor colour,
               int style, int first, int count, CHoriTxtAlign align);

    // (first item + current entry) / count; 0 when the count is 0.
    float getValue() override;
    bool isShiftClick() const override { return owner && owner->isShiftClick(); }
    void draw(CDrawContext* context) override;
    bool isTypeOf(const char* name) const override;

    // The group's name, as the main menu's entry shows it.
    std::string name;

private:
    CMenuWithSub* owner;
    int count;
};
