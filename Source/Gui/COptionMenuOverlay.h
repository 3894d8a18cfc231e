// COptionMenuOverlay: the open list of a COptionMenu, drawn by the frame
// above every view (CFrame::openMenu) in frame coordinates. Each level is
// one menu: level 0 the pressed menu, each further level a submenu opened
// beside its entry in the level before.
//
// Layout: rows of one height; a menu's entries fill columns top to bottom,
// as many rows per column as the menu asks (setNbItemsPerColumn) or as the
// window allows, and as many columns as that takes, each as wide as its
// widest text. A list whose columns would not fit the window's width
// becomes one scrolling column instead, with arrow rows at its top and
// bottom. Every level stays inside the window: level 0 opens below its menu
// (above it when there is no room below), a submenu to the right of its
// entry (to the left when there is no room on the right).
//
// Mouse: the entry under the pointer is highlighted and a submenu entry
// opens its submenu. A release over an entry picks it: after a press-drag
// from the menu, or after a click once the list is open. A press outside
// every level closes the list without a choice. The wheel scrolls a
// scrolling level; keys: Escape closes the innermost level, Up/Down/Home/
// End/Page Up/Page Down move the highlight, Right opens and Left closes a
// submenu, Return picks. The overlay takes every key and wheel step while
// it is open.
// Thread: the user-interface thread.
#pragma once

#include "CView.h"

#include <vector>

class COptionMenu;

class COptionMenuOverlay : public CView
{
public:
    static constexpr CCoord RowHeight = 16;

    // anchor: the pressed menu's rectangle in frame coordinates.
    COptionMenuOverlay(CFrame* frame, COptionMenu* top, const CRect& anchor);
    ~COptionMenuOverlay() override;
    COptionMenuOverlay(const COptionMenuOverlay&) = delete;
    COptionMenuOverlay& operator=(const COptionMenuOverlay&) = delete;

    int getLevelCount() const { return static_cast<int>(levels.size()); }
    COptionMenu* getLevelMenu(int level) const;
    CRect getLevelBox(int level) const;
    // Entry index of level in frame coordinates; empty while it is scrolled
    // out of view or outside the level.
    CRect getEntryRect(int level, int index) const;
    // The highlighted entry of level, -1 for none.
    int getHighlight(int level) const;
    int getColumnCount(int level) const;
    bool isScrolling(int level) const;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const long& buttons) override;
    int32_t onKeyDown(VstKeyCode& key) override;
    int32_t onKeyUp(VstKeyCode& key) override;
    bool isTypeOf(const char* name) const override;

private:
    struct Level
    {
        COptionMenu* menu = nullptr;
        CRect box;
        int perColumn = 1;     // rows of a column (while scrolling: the rows shown)
        int columns = 1;
        std::vector<CCoord> columnLeft; // from the box's left edge
        std::vector<CCoord> columnWidth;
        bool scrolling = false; // one column with arrow rows
        int first = 0;          // first entry shown while scrolling
        int highlight = -1;
        int openSub = -1; // entry whose submenu is the next level
    };
    // Where a point lies: a level and an entry, or an arrow row (-2 up, -3 down).
    struct Hit
    {
        int level = -1;
        int index = -1;
    };

    void openLevel(COptionMenu* menu, const CRect& anchor, bool beside);
    void closeLevelsFrom(int level);
    Hit hitAt(const CPoint& where) const;
    void highlight(int level, int index);
    void scrollTo(Level& level, int index);
    void scrollBy(Level& level, int rows);
    bool pickable(const Level& level, int index) const;
    void pick(int level, int index);
    void close();
    void updateSize();
    void drawLevel(CDrawContext* context, const Level& level) const;

    COptionMenu* top;
    std::vector<Level> levels;
    CPoint pressPoint;
    bool openingPress = true; // the press that opened the list is still down
    bool dragged = false;     // that press moved away from where it began
};
