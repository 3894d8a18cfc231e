// COptionMenu: a pop-up menu of texts with submenus. A press opens its list
// as an overlay inside the editor's own window (COptionMenuOverlay: no
// window of its own, so it works offscreen and needs no grab). Choosing an
// entry makes it the current entry of the menu that holds it (the top menu
// or a submenu) and tells the top menu's listener, with that menu as the
// control. An entry titled "-" is a separator: it is drawn as a line and
// cannot be chosen.
// Thread: the user-interface thread.
#pragma once

#include "CControl.h"

#include <string>
#include <vector>

class COptionMenu : public CParamDisplay
{
public:
    // Style bit: the current entry carries a check mark in the list, besides
    // the entries checked by checkEntry.
    static constexpr int32_t kCheckStyle = 1 << 10;

    COptionMenu(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background = nullptr,
                CBitmap* bgWhenClick = nullptr, int32_t style = 0);
    ~COptionMenu() override;
    COptionMenu(const COptionMenu&) = delete;
    COptionMenu& operator=(const COptionMenu&) = delete;

    // index -1 (or past the end) appends; returns whether the entry was added.
    bool addEntry(const char* title, int32_t index = -1);
    // An entry that opens submenu; the menu takes the caller's reference.
    bool addEntry(COptionMenu* submenu, const char* title);
    bool addSeparator() { return addEntry("-"); }
    bool removeEntry(int32_t index);
    bool removeAllEntry();
    int32_t getNbEntries() const { return static_cast<int32_t>(entries.size()); }
    // The entry's title; null past the end.
    const char* getEntry(int32_t index) const;
    COptionMenu* getSubMenu(int32_t index) const;
    bool isSeparator(int32_t index) const;
    bool checkEntry(int32_t index, bool checked);
    // Checks index and clears every other check of this menu.
    bool checkEntryAlone(int32_t index);
    bool isCheckEntry(int32_t index) const;
    // Makes index the current entry (the one the closed menu shows). With
    // countSeparator false the index counts only entries that are no
    // separators. False (and nothing changes) outside the entries.
    bool setCurrent(int32_t index, bool countSeparator = true);
    // The current entry, -1 before any; with countSeparator false counted
    // among the entries that are no separators.
    int32_t getCurrent(bool countSeparator = true) const;
    // Rows per column of the list; 0 (the default) fills columns as high as
    // the window allows.
    void setNbItemsPerColumn(int32_t rows) { itemsPerColumn = rows < 0 ? 0 : rows; }
    int32_t getNbItemsPerColumn() const { return itemsPerColumn; }
    // The whole part of v (v >= 0) becomes the current entry when there is
    // one; otherwise only the value is kept.
    void setValue(float v) override;
    // The menu (this or a submenu) and the entry chosen last; null before.
    COptionMenu* getLastItemMenu(int32_t& index) const;

    // Opens the list below the menu as its frame's overlay, as a press
    // does; false without a frame or without entries.
    bool popup();
    // True while this menu's list is open.
    bool isPopupOpen() const;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    bool isTypeOf(const char* name) const override;

    // Called by the overlay when the user picked entry index of menu (this
    // menu or one of its submenus, at any depth).
    virtual void choose(COptionMenu* menu, int32_t index);

private:
    struct Entry
    {
        std::string title;
        COptionMenu* submenu = nullptr;
        bool checked = false;
    };
    std::vector<Entry> entries;
    int32_t current = -1;
    int32_t itemsPerColumn = 0;
    COptionMenu* lastMenu = nullptr;
    int32_t lastIndex = -1;
    CBitmap* bgWhenClick;
};
