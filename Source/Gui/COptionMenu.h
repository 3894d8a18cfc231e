// COptionMenu: a pop-up menu of texts with submenus. A press opens it as an
// overlay inside the editor's own window (no window of its own, so it works
// offscreen and needs no grab); choosing an entry sets the menu's current
// entry (or, in a submenu, the last chosen submenu and entry) and tells the
// listener of the top menu. An entry titled "-" is a separator.
// Thread: the user-interface thread.
#pragma once

#include "CControl.h"

#include <string>
#include <vector>

class COptionMenu : public CParamDisplay
{
public:
    COptionMenu(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background = nullptr,
                CBitmap* bgWhenClick = nullptr, int32_t style = 0);
    ~COptionMenu() override;
    COptionMenu(const COptionMenu&) = delete;
    COptionMenu& operator=(const COptionMenu&) = delete;

    // index -1 appends; returns whether the entry was added.
    bool addEntry(const char* title, int32_t index = -1);
    // The menu takes the caller's reference to the submenu.
    bool addEntry(COptionMenu* submenu, const char* title);
    bool removeEntry(int32_t index);
    bool removeAllEntry();
    int32_t getNbEntries() const { return static_cast<int32_t>(entries.size()); }
    // The entry's title; null past the end.
    const char* getEntry(int32_t index) const;
    COptionMenu* getSubMenu(int32_t index) const;
    bool checkEntry(int32_t index, bool checked);
    bool isCheckEntry(int32_t index) const;
    bool setCurrent(int32_t index);
    int32_t getCurrent() const { return current; }
    void setValue(float v) override;
    // The menu (this or a submenu) and the entry chosen last; null before.
    COptionMenu* getLastItemMenu(int32_t& index) const;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    bool isTypeOf(const char* name) const override;

    // Called by the overlay when the user picked entry index of menu.
    void choose(COptionMenu* menu, int32_t index);

private:
    struct Entry
    {
        std::string title;
        COptionMenu* submenu = nullptr;
        bool checked = false;
    };
    std::vector<Entry> entries;
    int32_t current = -1;
    COptionMenu* lastMenu = nullptr;
    int32_t lastIndex = -1;
    CBitmap* bgWhenClick;
};
