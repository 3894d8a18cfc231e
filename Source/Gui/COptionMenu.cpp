#include "COptionMenu.h"

#include "CBitmap.h"
#include "CDrawContext.h"
#include "CFrame.h"
#include "COptionMenuOverlay.h"

#include <cstring>

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
    if (!submenu || submenu == this)
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

bool COptionMenu::isSeparator(int32_t index) const
{
    return index >= 0 && index < getNbEntries() && !entries[static_cast<size_t>(index)].submenu &&
           entries[static_cast<size_t>(index)].title == "-";
}

bool COptionMenu::checkEntry(int32_t index, bool checked)
{
    if (index < 0 || index >= getNbEntries())
        return false;
    entries[static_cast<size_t>(index)].checked = checked;
    return true;
}

bool COptionMenu::checkEntryAlone(int32_t index)
{
    if (index < 0 || index >= getNbEntries())
        return false;
    for (Entry& e : entries)
        e.checked = false;
    entries[static_cast<size_t>(index)].checked = true;
    return true;
}

bool COptionMenu::isCheckEntry(int32_t index) const
{
    return index >= 0 && index < getNbEntries() && entries[static_cast<size_t>(index)].checked;
}

bool COptionMenu::setCurrent(int32_t index, bool countSeparator)
{
    if (!countSeparator) {
        // The index-th entry that is no separator.
        int32_t seen = -1;
        int32_t found = -1;
        for (int32_t i = 0; i < getNbEntries() && found < 0; ++i)
            if (!isSeparator(i) && ++seen == index)
                found = i;
        index = found;
    }
    if (index < 0 || index >= getNbEntries())
        return false;
    current = index;
    value = static_cast<float>(index);
    setText(entries[static_cast<size_t>(index)].title.c_str());
    setDirty(true);
    return true;
}

int32_t COptionMenu::getCurrent(bool countSeparator) const
{
    if (countSeparator || current < 0)
        return current;
    int32_t n = 0;
    for (int32_t i = 0; i < current; ++i)
        if (!isSeparator(i))
            ++n;
    return n;
}

void COptionMenu::setValue(float v)
{
    // Truncated, as callers add 0.1 to a scaled value to land on an entry.
    if (!(v >= 0.f && v < static_cast<float>(getNbEntries()) && setCurrent(static_cast<int32_t>(v))))
        value = v;
}

COptionMenu* COptionMenu::getLastItemMenu(int32_t& index) const
{
    index = lastIndex;
    return lastMenu;
}

void COptionMenu::choose(COptionMenu* menu, int32_t index)
{
    if (!menu)
        return;
    lastMenu = menu;
    lastIndex = index;
    menu->setCurrent(index);
    if (listener)
        listener->valueChanged(menu);
}

bool COptionMenu::popup()
{
    if (!frame || entries.empty())
        return false;
    CPoint topLeft(size.left, size.top);
    localToFrame(topLeft);
    const CRect anchor(topLeft, CPoint(size.width(), size.height()));
    frame->openMenu(new COptionMenuOverlay(frame, this, anchor));
    setDirty(true);
    return true;
}

bool COptionMenu::isPopupOpen() const
{
    if (!frame || !frame->getMenuOverlay() || !frame->getMenuOverlay()->isTypeOf("COptionMenuOverlay"))
        return false;
    return static_cast<const COptionMenuOverlay*>(frame->getMenuOverlay())->getLevelMenu(0) == this;
}

void COptionMenu::draw(CDrawContext* context)
{
    if (bgWhenClick && isPopupOpen()) {
        // The pressed look while the list is open.
        bgWhenClick->draw(context, size);
        drawText(context, text.c_str());
        dirty = false;
        return;
    }
    CParamDisplay::draw(context);
}

CMouseEventResult COptionMenu::onMouseDown(CPoint&, const long& buttons)
{
    if (!(buttons & (kLButton | kRButton)))
        return kMouseEventNotHandled;
    return popup() ? kMouseDownEventHandledButDontNeedMovedOrUpEvents : kMouseEventNotHandled;
}

bool COptionMenu::isTypeOf(const char* name) const
{
    return (name && std::strcmp(name, "COptionMenu") == 0) || CParamDisplay::isTypeOf(name);
}
