#include "COptionMenuOverlay.h"

#include "CBitmap.h"
#include "CDrawContext.h"
#include "CFrame.h"
#include "COptionMenu.h"
#include "GuiKeys.h"
#include "VstInterface.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {
constexpr CCoord RowHeight = COptionMenuOverlay::RowHeight;
constexpr CCoord TextLeft = 18;  // room for the check mark
constexpr CCoord TextRight = 8;
constexpr CCoord SubArrow = 12;  // room for a submenu's arrow
constexpr CCoord MinColumn = 48;
constexpr int WheelRows = 3;     // rows one wheel step scrolls
constexpr CCoord DragSlop = 3;   // pixels a press moves before it counts as a drag
const CFontRef ListFont = kNormalFontSmall;

// The list's look: a dark, calm panel.
constexpr CColor Back{38, 40, 46, 255};
constexpr CColor Border{104, 108, 120, 255};
constexpr CColor Text{218, 220, 226, 255};
constexpr CColor HighlightBack{64, 96, 146, 255};
constexpr CColor HighlightText{255, 255, 255, 255};
constexpr CColor Separator{84, 88, 98, 255};
constexpr CColor Arrow{170, 174, 186, 255};
constexpr CColor ArrowDim{72, 76, 86, 255};

void drawTriangle(CDrawContext* context, CPoint a, CPoint b, CPoint c, CColor colour)
{
    const CPoint points[] = {a, b, c};
    context->setFillColor(colour);
    context->drawPolygon(points, 3, kDrawFilled);
}

void drawCheck(CDrawContext* context, const CRect& row, CColor colour)
{
    const CCoord x = row.left + 5;
    const CCoord y = row.top + RowHeight / 2 - 2;
    context->setFrameColor(colour);
    for (CCoord d = 0; d < 2; ++d) { // two pixels thick
        context->drawLine(CPoint(x, y + 1 + d), CPoint(x + 2, y + 3 + d));
        context->drawLine(CPoint(x + 2, y + 3 + d), CPoint(x + 7, y - 2 + d));
    }
}
} // namespace

COptionMenuOverlay::COptionMenuOverlay(CFrame* f, COptionMenu* t, const CRect& anchor)
    : CView(f ? f->getViewSize() : CRect()), top(t)
{
    frame = f;
    top->remember();
    pressPoint = f ? f->getLastMousePoint() : CPoint();
    openLevel(top, anchor, false);
    if (!levels.empty()) {
        Level& first = levels.front();
        const int current = top->getCurrent();
        if (pickable(first, current)) {
            first.highlight = current;
            scrollTo(first, current);
        }
    }
    updateSize();
}

COptionMenuOverlay::~COptionMenuOverlay()
{
    for (Level& l : levels)
        l.menu->forget();
    top->forget();
}

COptionMenu* COptionMenuOverlay::getLevelMenu(int level) const
{
    return level >= 0 && level < getLevelCount() ? levels[static_cast<size_t>(level)].menu : nullptr;
}

CRect COptionMenuOverlay::getLevelBox(int level) const
{
    return level >= 0 && level < getLevelCount() ? levels[static_cast<size_t>(level)].box : CRect();
}

int COptionMenuOverlay::getHighlight(int level) const
{
    return level >= 0 && level < getLevelCount() ? levels[static_cast<size_t>(level)].highlight : -1;
}

int COptionMenuOverlay::getColumnCount(int level) const
{
    return level >= 0 && level < getLevelCount() ? levels[static_cast<size_t>(level)].columns : 0;
}

bool COptionMenuOverlay::isScrolling(int level) const
{
    return level >= 0 && level < getLevelCount() && levels[static_cast<size_t>(level)].scrolling;
}

CRect COptionMenuOverlay::getEntryRect(int level, int index) const
{
    if (level < 0 || level >= getLevelCount())
        return CRect();
    const Level& l = levels[static_cast<size_t>(level)];
    if (index < 0 || index >= l.menu->getNbEntries())
        return CRect();
    if (l.scrolling) {
        if (index < l.first || index >= l.first + l.perColumn)
            return CRect();
        const CCoord y = l.box.top + 1 + RowHeight * (1 + index - l.first); // below the up-arrow row
        return CRect(l.box.left + 1, y, l.box.right - 1, y + RowHeight);
    }
    const int column = index / l.perColumn;
    const int row = index % l.perColumn;
    if (column >= l.columns) // entries added while the list was open
        return CRect();
    const CCoord x = l.box.left + 1 + l.columnLeft[static_cast<size_t>(column)];
    const CCoord y = l.box.top + 1 + row * RowHeight;
    CRect r(x, y, x + l.columnWidth[static_cast<size_t>(column)], y + RowHeight);
    r.right = std::min(r.right, l.box.right - 1);
    return r;
}

bool COptionMenuOverlay::pickable(const Level& l, int index) const
{
    return index >= 0 && index < l.menu->getNbEntries() && !l.menu->isSeparator(index) && !l.menu->getSubMenu(index);
}

void COptionMenuOverlay::openLevel(COptionMenu* menu, const CRect& anchor, bool beside)
{
    const int n = menu->getNbEntries();
    if (n <= 0 || !frame)
        return;
    const CRect area(0, 0, frame->getWidth(), frame->getHeight());
    Level l;
    l.menu = menu;

    // Widths of the texts, in the list's font.
    CBitmap scratch(1, 1);
    CDrawContext measure(&scratch);
    measure.setFont(ListFont);
    std::vector<CCoord> widths(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const bool separator = menu->isSeparator(i);
        widths[static_cast<size_t>(i)] =
            separator ? MinColumn
                      : TextLeft + measure.getStringWidth(menu->getEntry(i)) + TextRight +
                            (menu->getSubMenu(i) ? SubArrow : 0);
    }
    const auto widestOf = [&](int from, int to) {
        CCoord w = MinColumn;
        for (int i = from; i < to; ++i)
            w = std::max(w, widths[static_cast<size_t>(i)]);
        return w;
    };

    const int maxRows = std::max(3, static_cast<int>((area.height() - 2) / RowHeight));
    const int asked = menu->getNbItemsPerColumn();
    l.perColumn = asked > 0 ? std::min(asked, maxRows) : std::min(n, maxRows);
    l.columns = (n + l.perColumn - 1) / l.perColumn;
    CCoord total = 2;
    for (int c = 0; c < l.columns; ++c) {
        l.columnLeft.push_back(total - 2);
        l.columnWidth.push_back(widestOf(c * l.perColumn, std::min(n, (c + 1) * l.perColumn)));
        total += l.columnWidth.back();
    }
    CCoord h = l.perColumn * RowHeight + 2;
    if (total > area.width() && l.columns > 1) {
        // Too many columns for the window: one column that scrolls, with an
        // arrow row above and below the visible entries.
        l.scrolling = true;
        l.columns = 1;
        l.perColumn = std::max(1, maxRows - 2);
        l.columnLeft.assign(1, 0);
        l.columnWidth.assign(1, widestOf(0, n));
        total = l.columnWidth[0] + 2;
        h = (l.perColumn + 2) * RowHeight + 2;
    }
    const CCoord w = std::min(total, area.width());
    h = std::min(h, area.height());

    CCoord left = anchor.left;
    CCoord topEdge = anchor.bottom;
    if (!beside) {
        // Below the menu; above it when only that fits.
        if (topEdge + h > area.bottom && anchor.top - h >= area.top)
            topEdge = anchor.top - h;
    } else {
        // Beside the entry: to the right of its level, else to the left.
        const CRect& parentBox = levels.back().box;
        left = parentBox.right - 1;
        topEdge = anchor.top - 1;
        if (left + w > area.right)
            left = parentBox.left - w + 1;
    }
    left = std::clamp(left, area.left, area.right - w);
    topEdge = std::clamp(topEdge, area.top, area.bottom - h);
    l.box = CRect(left, topEdge, left + w, topEdge + h);
    menu->remember();
    levels.push_back(std::move(l));
    updateSize();
    setDirty(true);
}

void COptionMenuOverlay::closeLevelsFrom(int level)
{
    while (getLevelCount() > std::max(level, 1)) {
        Level& l = levels.back();
        if (frame)
            frame->invalidRect(l.box);
        l.menu->forget();
        levels.pop_back();
    }
    if (level >= 1 && level <= getLevelCount())
        levels[static_cast<size_t>(level - 1)].openSub = -1;
    updateSize();
    setDirty(true);
}

void COptionMenuOverlay::updateSize()
{
    CRect all;
    for (const Level& l : levels)
        all.unite(l.box);
    size = all;
}

COptionMenuOverlay::Hit COptionMenuOverlay::hitAt(const CPoint& where) const
{
    for (int li = getLevelCount() - 1; li >= 0; --li) {
        const Level& l = levels[static_cast<size_t>(li)];
        if (!l.box.pointInside(where))
            continue;
        Hit h;
        h.level = li;
        const CCoord row = (where.v - l.box.top - 1) / RowHeight;
        if (l.scrolling) {
            if (row <= 0)
                h.index = -2;
            else if (row > l.perColumn)
                h.index = -3;
            else if (l.first + row - 1 < l.menu->getNbEntries())
                h.index = l.first + static_cast<int>(row) - 1;
            return h;
        }
        if (row < 0 || row >= l.perColumn)
            return h;
        for (int c = 0; c < l.columns; ++c) {
            const CCoord x = l.box.left + 1 + l.columnLeft[static_cast<size_t>(c)];
            if (where.h >= x && where.h < x + l.columnWidth[static_cast<size_t>(c)]) {
                const int index = c * l.perColumn + static_cast<int>(row);
                if (index < l.menu->getNbEntries())
                    h.index = index;
                break;
            }
        }
        return h;
    }
    return Hit();
}

void COptionMenuOverlay::highlight(int level, int index)
{
    Level* l = &levels[static_cast<size_t>(level)];
    if (l->menu->isSeparator(index))
        index = -1;
    if (l->openSub != index && getLevelCount() > level + 1)
        closeLevelsFrom(level + 1);
    l = &levels[static_cast<size_t>(level)];
    if (l->highlight != index)
        setDirty(true);
    l->highlight = index;
    if (index < 0)
        return;
    scrollTo(*l, index);
    COptionMenu* sub = l->menu->getSubMenu(index);
    if (sub && l->openSub != index && level == getLevelCount() - 1) {
        l->openSub = index;
        const CRect entry = getEntryRect(level, index);
        openLevel(sub, entry, true);
    }
}

void COptionMenuOverlay::scrollTo(Level& l, int index)
{
    if (!l.scrolling || index < 0)
        return;
    if (index < l.first)
        scrollBy(l, index - l.first);
    else if (index >= l.first + l.perColumn)
        scrollBy(l, index - (l.first + l.perColumn - 1));
}

void COptionMenuOverlay::scrollBy(Level& l, int rows)
{
    const int last = std::max(0, l.menu->getNbEntries() - l.perColumn);
    const int first = std::clamp(l.first + rows, 0, last);
    if (first == l.first)
        return;
    l.first = first;
    // A submenu beside an entry that moved goes.
    const int level = static_cast<int>(&l - levels.data());
    if (getLevelCount() > level + 1)
        closeLevelsFrom(level + 1);
    setDirty(true);
}

void COptionMenuOverlay::pick(int level, int index)
{
    COptionMenu* t = top;
    COptionMenu* menu = levels[static_cast<size_t>(level)].menu;
    t->remember();
    menu->remember();
    close();
    t->choose(menu, index);
    menu->forget();
    t->forget();
}

void COptionMenuOverlay::close()
{
    top->setDirty(true); // its pressed look goes
    if (frame)
        frame->closeMenu();
}

CMouseEventResult COptionMenuOverlay::onMouseDown(CPoint& where, const long&)
{
    openingPress = false;
    dragged = false;
    pressPoint = where;
    const Hit h = hitAt(where);
    if (h.level < 0) {
        // Outside every level: the list closes without a choice.
        close();
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    Level& l = levels[static_cast<size_t>(h.level)];
    if (h.index == -2)
        scrollBy(l, -std::max(1, l.perColumn - 1));
    else if (h.index == -3)
        scrollBy(l, std::max(1, l.perColumn - 1));
    else if (h.index >= 0)
        highlight(h.level, h.index);
    return kMouseEventHandled;
}

CMouseEventResult COptionMenuOverlay::onMouseMoved(CPoint& where, const long& buttons)
{
    if (openingPress && (buttons & (kLButton | kRButton)) &&
        (std::abs(where.h - pressPoint.h) > DragSlop || std::abs(where.v - pressPoint.v) > DragSlop))
        dragged = true;
    const Hit h = hitAt(where);
    if (h.level < 0) {
        Level& deepest = levels.back();
        if (deepest.highlight >= 0 && deepest.openSub != deepest.highlight) {
            deepest.highlight = -1;
            setDirty(true);
        }
        return kMouseEventHandled;
    }
    if (h.index >= 0)
        highlight(h.level, h.index);
    return kMouseEventHandled;
}

CMouseEventResult COptionMenuOverlay::onMouseUp(CPoint& where, const long&)
{
    const bool openingClick = openingPress && !dragged;
    openingPress = false;
    if (openingClick)
        return kMouseEventHandled; // the click that opened the list: it stays open
    const Hit h = hitAt(where);
    if (h.level >= 0 && pickable(levels[static_cast<size_t>(h.level)], h.index))
        pick(h.level, h.index);
    return kMouseEventHandled;
}

bool COptionMenuOverlay::onWheel(const CPoint& where, const float& distance, const long&)
{
    const Hit h = hitAt(where);
    Level& l = h.level >= 0 ? levels[static_cast<size_t>(h.level)] : levels.back();
    if (l.scrolling && distance != 0.f)
        scrollBy(l, distance > 0 ? -WheelRows : WheelRows);
    return true;
}

int32_t COptionMenuOverlay::onKeyDown(VstKeyCode& key)
{
    const int li = getLevelCount() - 1;
    Level& l = levels.back();
    const int n = l.menu->getNbEntries();
    // The next entry from index in direction step that can be highlighted.
    const auto next = [&](int index, int step) {
        for (int i = index + step; i >= 0 && i < n; i += step)
            if (!l.menu->isSeparator(i))
                return i;
        return index;
    };
    const auto moveTo = [&](int index) {
        if (index >= 0 && index < n && !l.menu->isSeparator(index)) {
            l.highlight = index;
            scrollTo(l, index);
            setDirty(true);
        }
    };
    const auto enterSubmenu = [&]() {
        COptionMenu* sub = l.menu->getSubMenu(l.highlight);
        if (!sub || l.openSub == l.highlight)
            return;
        l.openSub = l.highlight;
        const CRect entry = getEntryRect(li, l.highlight);
        openLevel(sub, entry, true); // l is no longer to be used: the levels grew
        if (getLevelCount() > li + 1) {
            Level& inner = levels.back();
            for (int i = 0; i < inner.menu->getNbEntries(); ++i)
                if (!inner.menu->isSeparator(i)) {
                    inner.highlight = i;
                    break;
                }
        }
    };
    const int page = std::max(1, (l.scrolling ? l.perColumn : n) - 1);
    switch (key.virt) {
    case kVKeyEscape:
        if (li > 0)
            closeLevelsFrom(li);
        else
            close();
        break;
    case kVKeyUp: moveTo(l.highlight < 0 ? next(n, -1) : next(l.highlight, -1)); break;
    case kVKeyDown: moveTo(next(l.highlight, +1)); break;
    case kVKeyHome: moveTo(next(-1, +1)); break;
    case kVKeyEnd: moveTo(next(n, -1)); break;
    case kVKeyPageUp: moveTo(next(std::max(0, l.highlight - page) + 1, -1)); break;
    case kVKeyPageDown: moveTo(next(std::min(n - 1, l.highlight + page) - 1, +1)); break;
    case kVKeyRight: enterSubmenu(); break;
    case kVKeyLeft:
        if (li > 0)
            closeLevelsFrom(li);
        break;
    case kVKeyReturn:
    case kVKeyEnter:
    case kVKeySpace:
        if (pickable(l, l.highlight))
            pick(li, l.highlight);
        else
            enterSubmenu();
        break;
    default:
        break;
    }
    return 1; // an open list takes every key
}

int32_t COptionMenuOverlay::onKeyUp(VstKeyCode&)
{
    return 1;
}

bool COptionMenuOverlay::isTypeOf(const char* name) const
{
    return (name && std::strcmp(name, "COptionMenuOverlay") == 0) || CView::isTypeOf(name);
}

void COptionMenuOverlay::drawLevel(CDrawContext* context, const Level& l) const
{
    const int li = static_cast<int>(&l - levels.data());
    context->push();
    context->clip(l.box);
    context->setFillColor(Back);
    context->setFrameColor(Border);
    context->drawRect(l.box, kDrawFilledAndStroked);
    context->setFont(ListFont);
    COptionMenu* menu = l.menu;
    const bool checkCurrent = (menu->getStyle() & COptionMenu::kCheckStyle) != 0;
    for (int i = 0; i < menu->getNbEntries(); ++i) {
        const CRect row = getEntryRect(li, i);
        if (row.isEmpty())
            continue;
        if (menu->isSeparator(i)) {
            const CCoord y = (row.top + row.bottom) / 2;
            context->setFrameColor(Separator);
            context->drawLine(CPoint(row.left + 4, y), CPoint(row.right - 5, y));
            continue;
        }
        const bool lit = i == l.highlight;
        if (lit) {
            context->setFillColor(HighlightBack);
            context->drawRect(row, kDrawFilled);
        }
        const CColor ink = lit ? HighlightText : Text;
        if (menu->isCheckEntry(i) || (checkCurrent && i == menu->getCurrent()))
            drawCheck(context, row, ink);
        const bool sub = menu->getSubMenu(i) != nullptr;
        context->setFontColor(ink);
        context->drawString(menu->getEntry(i), CRect(row.left + TextLeft, row.top, row.right - (sub ? SubArrow : 0), row.bottom),
                            kLeftText);
        if (sub) {
            const CCoord x = row.right - 9;
            const CCoord y = (row.top + row.bottom) / 2;
            drawTriangle(context, CPoint(x, y - 4), CPoint(x + 4, y), CPoint(x, y + 4), ink);
        }
    }
    if (l.scrolling) {
        const CCoord cx = (l.box.left + l.box.right) / 2;
        const CCoord upY = l.box.top + 1 + RowHeight / 2;
        const CCoord downY = l.box.bottom - 1 - RowHeight / 2;
        const bool more = l.first + l.perColumn < menu->getNbEntries();
        drawTriangle(context, CPoint(cx - 5, upY + 2), CPoint(cx, upY - 3), CPoint(cx + 5, upY + 2),
                     l.first > 0 ? Arrow : ArrowDim);
        drawTriangle(context, CPoint(cx - 5, downY - 2), CPoint(cx, downY + 3), CPoint(cx + 5, downY - 2),
                     more ? Arrow : ArrowDim);
    }
    context->pop();
}

void COptionMenuOverlay::draw(CDrawContext* context)
{
    for (const Level& l : levels)
        drawLevel(context, l);
    dirty = false;
}
