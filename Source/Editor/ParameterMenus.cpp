#include "ParameterMenus.h"

#include "CBitmap.h"
#include "CDrawContext.h"
#include "CFrame.h"
#include "EditorLook.h"
#include "Synth.h"

#include <algorithm>
#include <cstring>

namespace {
// Item widths the menus accept: an enumeration of wider items is no list of
// names any parameter of this instrument has.
constexpr int MaxItemWidth = 319;

bool sameName(const char* a, const char* b)
{
    return a && std::strcmp(a, b) == 0;
}

// The menus' values: item over range, 0 for an empty range (one item).
float ratio(int item, int range)
{
    return range == 0 ? 0.f : static_cast<float>(item) / static_cast<float>(range);
}

void clearChecks(COptionMenu* menu)
{
    for (int i = 0; i < menu->getNbEntries(); ++i)
        menu->checkEntry(i, false);
}

std::string withoutTrailingBlanks(std::string s)
{
    const size_t end = s.find_last_not_of(' ');
    s.erase(end == std::string::npos ? 0 : end + 1);
    return s;
}
} // namespace

// ---------------------------------------------------------------- CMenuBase

CMenuBase::CMenuBase(const CRect& s, CControlListenerVx* l, int t, CBitmap* background, CBitmap* second, int style)
    : COptionMenu(s, l, t, background, second, style), listenerVx(l)
{
    if (!background)
        setTransparency(true);
}

CMouseEventResult CMenuBase::onMouseDown(CPoint& where, const long& buttons)
{
    if (!(buttons & (kLButton | kRButton)))
        return kMouseEventNotHandled;
    shiftClick = (buttons & kShift) != 0;
    if (listenerVx)
        listenerVx->touched(this, shiftClick);
    return COptionMenu::onMouseDown(where, buttons);
}

void CMenuBase::choose(COptionMenu* menu, int32_t index)
{
    CFrame* f = frame;
    const int32_t index0 = getTag();
    if (f)
        f->beginEdit(index0);
    COptionMenu::choose(menu, index);
    if (f)
        f->endEdit(index0);
}

void CMenuBase::drawMenu(CDrawContext* context, const char* shown)
{
    CRect box = size;
    if (background) {
        background->draw(context, size, backOffset);
        box.right -= Look::MenuArrowZone;
    }
    box.inset(Look::Inset, 0);
    if (shown && *shown && !box.isEmpty()) {
        context->setFont(Look::fittedFont(font, box, shown), txtFace);
        context->setFontColor(fontColor);
        context->drawString(shown, box, align);
    }
}

bool CMenuBase::isTypeOf(const char* name) const
{
    return sameName(name, "CMenuBase") || COptionMenu::isTypeOf(name);
}

// -------------------------------------------------------------- CMenuSimple

CMenuSimple::CMenuSimple(const CRect& s, CControlListenerVx* l, int t, Synth* e, CColor colour, bool d,
                         CBitmap* background, CBitmap* second, int style, bool fillNow, CHoriTxtAlign a)
    : CMenuBase(s, l, t, background, second, style), engine(e), drawn(d)
{
    if (engine) {
        Synth::BusyScope busy(*engine);
        low = engine->getParaLowValue(t);
        high = engine->getParaHighValue(t);
        itemWidth = engine->getParaPrecision(t);
        if (const char* text = engine->getParaEnuValPtr(t))
            items = text;
    }
    setFont(kNormalFontSmall);
    COptionMenu::setFontColor(colour);
    COptionMenu::setHoriAlign(a);
    if (fillNow)
        CMenuSimple::fill();
}

bool CMenuSimple::hasItems() const
{
    return engine && !items.empty() && itemWidth >= 1 && itemWidth <= MaxItemWidth && high >= low;
}

std::string CMenuSimple::itemText(int item, int shift) const
{
    if (item < 0 || itemWidth < 1 || shift < 0 || shift >= itemWidth)
        return {};
    // The enumeration may be shorter than its range says: what is missing
    // reads as no text, never as memory beyond it.
    const size_t from = static_cast<size_t>(item) * static_cast<size_t>(itemWidth) + static_cast<size_t>(shift);
    if (from >= items.size())
        return {};
    std::string text = items.substr(from, static_cast<size_t>(itemWidth - shift));
    text = text.substr(0, std::strlen(text.c_str())); // a zero byte ends the item
    text = withoutTrailingBlanks(text);
    const size_t dollar = text.find('$');
    if (dollar != std::string::npos)
        text[dollar] = ' ';
    return text;
}

void CMenuSimple::clearEntries()
{
    removeAllEntry();
    setText("");
}

void CMenuSimple::addItemShift(CMenuBase* menu, int item, int entry, int shift)
{
    if (!menu || item < 0 || entry < 0 || item >= itemCount())
        return;
    menu->addEntry(itemText(item, shift).c_str(), entry);
}

void CMenuSimple::fill()
{
    if (!hasItems())
        return;
    clearEntries();
    Synth::BusyScope busy(*engine);
    const int v = engine->getParaVal(getTag());
    for (int item = 0; item < itemCount(); ++item)
        addItem(this, item, item);
    setCurrent(v - low, true);
    checkEntryAlone(v - low);
}

float CMenuSimple::getValue()
{
    return ratio(getCurrent(), high - low);
}

void CMenuSimple::setVxValue(float v)
{
    COptionMenu::setValue(static_cast<float>(high - low) * v + 0.1f);
    checkEntryAlone(getCurrent());
}

void CMenuSimple::draw(CDrawContext* context)
{
    if (drawn)
        drawMenu(context, getText());
    oldValue = value;
    dirty = false;
}

bool CMenuSimple::isTypeOf(const char* name) const
{
    return sameName(name, "CMenuSimple") || CMenuBase::isTypeOf(name);
}

// ------------------------------------------------------------- CMenuWithSub

CMenuWithSub::CMenuWithSub(const CRect& s, CControlListenerVx* l, int t, Synth* e, CColor colour, bool d,
                           CBitmap* background, CBitmap* second, int style, bool, CHoriTxtAlign a)
    : CMenuSimple(s, l, t, e, colour, d, background, second, style & ~kCheckStyle, false, a), textColour(colour),
      alignment(a)
{
    CMenuWithSub::setHoriAlign(a);
    CMenuWithSub::fill();
}

int CMenuWithSub::placedItems() const
{
    return std::min(itemCount(), MaxItems);
}

CMenuBase* CMenuWithSub::holderOf(int item) const
{
    return item >= 0 && item < placedItems() ? holder[item] : nullptr;
}

int CMenuWithSub::mainEntryOf(int item) const
{
    return item >= 0 && item < placedItems() ? mainEntry[item] : -1;
}

void CMenuWithSub::addItemShift(CMenuBase* menu, int item, int entry, int shift)
{
    if (!menu || item < 0 || entry < 0 || item >= placedItems())
        return;
    CMenuSimple::addItemShift(menu, item, entry, shift);
    holder[item] = menu;
    if (menu == this && nextMainEntry < MaxItems) {
        mainValue[nextMainEntry] = ratio(item, high - low);
        mainEntry[item] = nextMainEntry;
        ++nextMainEntry;
        ++mainItems;
    }
}

int CMenuWithSub::getSubMenuNameLen(int item) const
{
    const size_t from = static_cast<size_t>(std::max(item, 0)) * static_cast<size_t>(std::max(itemWidth, 0));
    if (item < 0 || from >= items.size())
        return 0;
    const std::string text = items.substr(from, static_cast<size_t>(itemWidth));
    const size_t dollar = text.find('$');
    return dollar == std::string::npos ? 0 : static_cast<int>(dollar);
}

std::string CMenuWithSub::getSubMenuName(int item, int len) const
{
    const size_t from = static_cast<size_t>(std::max(item, 0)) * static_cast<size_t>(std::max(itemWidth, 0));
    if (item < 0 || len <= 0 || from >= items.size())
        return {};
    return withoutTrailingBlanks(items.substr(from, static_cast<size_t>(std::min(len, itemWidth))));
}

bool CMenuWithSub::nextIsSame(int item, int count) const
{
    if (item + 1 >= count)
        return false;
    const int len = getSubMenuNameLen(item);
    if (len == 0)
        return false;
    const size_t a = static_cast<size_t>(item) * static_cast<size_t>(itemWidth);
    const size_t b = a + static_cast<size_t>(itemWidth);
    if (b + static_cast<size_t>(len) > items.size())
        return false;
    return items.compare(a, static_cast<size_t>(len), items, b, static_cast<size_t>(len)) == 0;
}

void CMenuWithSub::doSubMenu(int* item, int count, int len, bool stripPrefix)
{
    const int first = *item;
    auto* sub = new CSubMenuVx(size, this, getTag(), background, nullptr, textColour, getStyle(), first, high - low,
                               alignment);
    sub->setFont(font);
    for (;;) {
        const int i = *item;
        addItemShift(sub, i, i - first, stripPrefix ? len + 1 : 0);
        const bool more = nextIsSame(i, count);
        ++*item;
        if (!more)
            break;
    }
    sub->name = getSubMenuName(first, len);
    if (subCount < MaxSubMenus)
        subs[subCount] = sub;
    addEntry(sub, sub->name.c_str());
    ++subCount;
}

void CMenuWithSub::checkDoSubMenu(int* item, int count)
{
    while (*item < count) {
        const int len = getSubMenuNameLen(*item);
        if (*item + 1 < count && nextIsSame(*item, count)) {
            doSubMenu(item, count, len, strip);
        } else {
            // Plain items go before the group entries, in item order.
            addItem(this, *item, nextMainEntry);
            ++*item;
        }
    }
}

void CMenuWithSub::fill()
{
    if (!hasItems())
        return;
    clearEntries();
    std::fill(std::begin(subs), std::end(subs), nullptr);
    std::fill(std::begin(holder), std::end(holder), nullptr);
    std::fill(std::begin(mainValue), std::end(mainValue), -1.f);
    std::fill(std::begin(mainEntry), std::end(mainEntry), -1);
    nextMainEntry = 0;
    subCount = 0;
    mainItems = 0;
    Synth::BusyScope busy(*engine);
    const int v = engine->getParaVal(getTag());
    int item = 0;
    checkDoSubMenu(&item, placedItems());
    showItem(v - low);
}

void CMenuWithSub::showItem(int item)
{
    CMenuBase* h = holderOf(item);
    if (!h)
        return;
    currentItem = item;
    clearChecks(this);
    for (int k = 0; k < std::min(subCount, MaxSubMenus); ++k)
        clearChecks(subs[k]);
    const int entry = h == this ? mainEntry[item] : item - h->getFirstItem();
    h->setCurrent(entry, true);
    h->checkEntry(entry, true);
    setDirty(true);
}

int CMenuWithSub::itemOf(const COptionMenu* menu, int entry) const
{
    if (menu == this) {
        for (int item = 0; item < placedItems(); ++item)
            if (holder[item] == this && mainEntry[item] == entry)
                return item;
        return -1;
    }
    for (int k = 0; k < std::min(subCount, MaxSubMenus); ++k)
        if (subs[k] == menu)
            return subs[k]->getFirstItem() + entry;
    return -1;
}

float CMenuWithSub::getValue()
{
    const int entry = getCurrent();
    if (entry >= 0 && entry < MaxItems && mainValue[entry] >= 0.f)
        return mainValue[entry];
    // The current entry opens a submenu: the value of the item shown.
    return std::clamp(ratio(std::max(currentItem, 0), high - low), 0.f, 1.f);
}

void CMenuWithSub::setVxValue(float v)
{
    setDirty(true);
    if (high <= low)
        return;
    const int item = static_cast<int>(static_cast<float>(high - low) * v + 0.1f);
    if (holderOf(item))
        showItem(item);
}

void CMenuWithSub::draw(CDrawContext* context)
{
    CMenuBase* h = isDrawn() ? holderOf(currentItem) : nullptr;
    if (h == this)
        drawMenu(context, getText());
    else if (h)
        h->draw(context);
    oldValue = value;
    dirty = false;
}

bool CMenuWithSub::onWheel(const CPoint&, const float& distance, const long&)
{
    // A flat menu keeps its entry under the wheel, and the wheel opens no
    // gesture there.
    if (subCount == 0 || distance == 0.f)
        return true;
    const int last = placedItems() - 1;
    const int item = std::clamp(currentItem + (distance < 0.f ? 1 : -1), 0, last);
    CMenuBase* h = holderOf(item);
    if (item == currentItem || !h)
        return true;
    CFrame* f = frame;
    if (f)
        f->beginEdit(getTag());
    showItem(item);
    if (listener)
        listener->valueChanged(h);
    if (f)
        f->endEdit(getTag());
    return true;
}

void CMenuWithSub::choose(COptionMenu* menu, int32_t index)
{
    // The item picked is shown at once, so a wheel step right after it goes
    // on from there.
    const int item = itemOf(menu, index);
    if (item >= 0)
        showItem(item);
    CMenuBase::choose(menu, index);
}

void CMenuWithSub::setFontColor(CColor colour)
{
    textColour = colour;
    CMenuSimple::setFontColor(colour);
    for (int k = 0; k < std::min(subCount, MaxSubMenus); ++k)
        subs[k]->setFontColor(colour);
}

void CMenuWithSub::setHoriAlign(CHoriTxtAlign a)
{
    alignment = a;
    CMenuSimple::setHoriAlign(a);
    for (int k = 0; k < std::min(subCount, MaxSubMenus); ++k)
        subs[k]->setHoriAlign(a);
}

bool CMenuWithSub::isTypeOf(const char* name) const
{
    return sameName(name, "CMenuWithSub") || CMenuSimple::isTypeOf(name);
}

// --------------------------------------------------------------- CSubMenuVx

CSubMenuVx::CSubMenuVx(const CRect& s, CMenuWithSub* o, int t, CBitmap* background, CBitmap* second, CColor colour,
                       int style, int first, int n, CHoriTxtAlign align)
    : CMenuBase(s, o, t, background, second, style), owner(o), count(n)
{
    firstItem = first;
    setFont(kNormalFontSmall);
    setFontColor(colour);
    setHoriAlign(align);
}

float CSubMenuVx::getValue()
{
    return ratio(firstItem + getCurrent(), count);
}

void CSubMenuVx::draw(CDrawContext* context)
{
    drawMenu(context, getText());
    dirty = false;
}

bool CSubMenuVx::isTypeOf(const char* name) const
{
    return sameName(name, "CSubMenuVx") || CMenuBase::isTypeOf(name);
}
