#include "COptionMenu.h"

#include "CBitmap.h"
#include "CDrawContext.h"
#include "CFrame.h"

#include <cstring>

namespace {
constexpr CCoord kRowHeight = 16;
constexpr CCoord kMenuWidth = 150;

// The open menu levels over the whole frame. Level 0 is the menu that was
// pressed; each further level is a submenu opened from the level before.
class MenuOverlay : public CView
{
public:
    MenuOverlay(const CRect& frameSize, COptionMenu* top, CPoint at) : CView(frameSize), top(top)
    {
        top->remember();
        open(top, at);
    }
    ~MenuOverlay() override { top->forget(); }

    void draw(CDrawContext* context) override
    {
        for (const Level& level : levels) {
            context->setFillColor(CColor{235, 235, 240, 255});
            context->setFrameColor(CColor{60, 60, 70, 255});
            context->drawRect(level.box, kDrawFilledAndStroked);
            context->setFont(kNormalFontSmall);
            for (int32_t i = 0; i < level.menu->getNbEntries(); ++i) {
                const CRect row = rowRect(level, i);
                const char* title = level.menu->getEntry(i);
                if (std::strcmp(title, "-") == 0) {
                    const CCoord y = (row.top + row.bottom) / 2;
                    context->drawLine(CPoint(row.left + 2, y), CPoint(row.right - 3, y));
                    continue;
                }
                if (i == level.open) {
                    context->setFillColor(CColor{120, 140, 200, 255});
                    context->drawRect(row, kDrawFilled);
                }
                context->setFontColor(kBlackCColor);
                std::string shown = (level.menu->isCheckEntry(i) ? "* " : "  ") + std::string(title);
                if (level.menu->getSubMenu(i))
                    shown += "  >";
                context->drawString(shown.c_str(), row, kLeftText);
            }
        }
        dirty = false;
    }

    CMouseEventResult onMouseDown(CPoint& where, const long&) override
    {
        for (size_t l = levels.size(); l-- > 0;) {
            Level& level = levels[l];
            if (!level.box.pointInside(where))
                continue;
            const int32_t i = (where.v - level.box.top - 1) / kRowHeight;
            if (i < 0 || i >= level.menu->getNbEntries() || std::strcmp(level.menu->getEntry(i), "-") == 0)
                return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
            levels.resize(l + 1);
            if (COptionMenu* sub = levels[l].menu->getSubMenu(i)) {
                levels[l].open = i;
                const CRect row = rowRect(levels[l], i);
                open(sub, CPoint(row.right, row.top));
                setDirty(true);
                return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
            }
            COptionMenu* chosenMenu = levels[l].menu;
            COptionMenu* keep = top;
            keep->remember();
            if (CFrame* f = getFrame())
                f->closeMenu(); // releases this overlay
            keep->choose(chosenMenu, i);
            keep->forget();
            return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
        }
        // A press outside every level closes the menu without a choice.
        if (CFrame* f = getFrame())
            f->closeMenu();
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }

private:
    struct Level
    {
        COptionMenu* menu;
        CRect box;
        int32_t open = -1; // entry whose submenu is the next level
    };

    CRect rowRect(const Level& level, int32_t i) const
    {
        return CRect(level.box.left + 1, level.box.top + 1 + i * kRowHeight, level.box.right - 1,
                     level.box.top + 1 + (i + 1) * kRowHeight);
    }

    void open(COptionMenu* menu, CPoint at)
    {
        const CCoord h = menu->getNbEntries() * kRowHeight + 2;
        CRect box(at.h, at.v, at.h + kMenuWidth, at.v + h);
        // Keep the list inside the window where it fits.
        if (box.right > size.right)
            box.offset(size.right - box.right, 0);
        if (box.bottom > size.bottom)
            box.offset(0, size.bottom - box.bottom);
        if (box.left < 0)
            box.offset(-box.left, 0);
        if (box.top < 0)
            box.offset(0, -box.top);
        levels.push_back(Level{menu, box});
    }

    COptionMenu* top;
    std::vector<Level> levels;
};
} // namespace

COptionMenu::COptionMenu(const CRect& s, CControlListener* l, int32_t t, CBitmap* bitmap, CBitmap* click,
                         int32_t st)
    : CParamDisplay(s, bitmap, st), bgWhenClick(click)
{
    listener = l;
    tag = t;
    if (bgWhenClick)
        bgWhenClick->remember();
}

COptionMenu::~COptionMenu()
{
    removeAllEntry();
    if (bgWhenClick)
        bgWhenClick->forget();
}

bool COptionMenu::addEntry(const char* title, int32_t index)
{
    Entry e;
    e.title = title ? title : "";
    if (index < 0 || index >= getNbEntries())
        entries.push_back(e);
    else
        entries.insert(entries.begin() + index, e);
    return true;
}

bool COptionMenu::addEntry(COptionMenu* submenu, const char* title)
{
    if (!submenu)
        return false;
    Entry e;
    e.title = title ? title : "";
    e.submenu = submenu;
    entries.push_back(e);
    return true;
}

bool COptionMenu::removeEntry(int32_t index)
{
    if (index < 0 || index >= getNbEntries())
        return false;
    if (entries[static_cast<size_t>(index)].submenu)
        entries[static_cast<size_t>(index)].submenu->forget();
    entries.erase(entries.begin() + index);
    if (current >= getNbEntries())
        current = getNbEntries() - 1;
    return true;
}

bool COptionMenu::removeAllEntry()
{
    for (Entry& e : entries)
        if (e.submenu)
            e.submenu->forget();
    entries.clear();
    current = -1;
    lastMenu = nullptr;
    lastIndex = -1;
    return true;
}

const char* COptionMenu::getEntry(int32_t index) const
{
    return index >= 0 && index < getNbEntries() ? entries[static_cast<size_t>(index)].title.c_str() : nullptr;
}

COptionMenu* COptionMenu::getSubMenu(int32_t index) const
{
    return index >= 0 && index < getNbEntries() ? entries[static_cast<size_t>(index)].submenu : nullptr;
}

bool COptionMenu::checkEntry(int32_t index, bool checked)
{
    if (index < 0 || index >= getNbEntries())
        return false;
    entries[static_cast<size_t>(index)].checked = checked;
    return true;
}

bool COptionMenu::isCheckEntry(int32_t index) const
{
    return index >= 0 && index < getNbEntries() && entries[static_cast<size_t>(index)].checked;
}

bool COptionMenu::setCurrent(int32_t index)
{
    if (index < 0 || index >= getNbEntries())
        return false;
    current = index;
    value = static_cast<float>(index);
    setText(entries[static_cast<size_t>(index)].title.c_str());
    return true;
}

void COptionMenu::setValue(float v)
{
    const int32_t i = static_cast<int32_t>(v + 0.5f);
    if (!setCurrent(i))
        value = v;
}

COptionMenu* COptionMenu::getLastItemMenu(int32_t& index) const
{
    index = lastIndex;
    return lastMenu;
}

void COptionMenu::choose(COptionMenu* menu, int32_t index)
{
    lastMenu = menu;
    lastIndex = index;
    if (menu == this)
        setCurrent(index);
    if (listener)
        listener->valueChanged(this);
}

void COptionMenu::draw(CDrawContext* context)
{
    CParamDisplay::draw(context);
}

CMouseEventResult COptionMenu::onMouseDown(CPoint& where, const long& buttons)
{
    if (!(buttons & (kLButton | kRButton)) || !frame || entries.empty())
        return kMouseEventNotHandled;
    CPoint at(size.left, size.bottom);
    localToFrame(at);
    (void)where;
    frame->openMenu(new MenuOverlay(frame->getViewSize(), this, at));
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

bool COptionMenu::isTypeOf(const char* name) const
{
    return (name && std::strcmp(name, "COptionMenu") == 0) || CParamDisplay::isTypeOf(name);
}
