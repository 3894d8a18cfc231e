#include "CFrame.h"

#include "AEffGUIEditor.h"
#include "CBitmap.h"
#include "CControl.h"
#include "CDrawContext.h"
#include "CVSTGUITimer.h"
#include "X11Window.h"

#include <cairo.h>
#include <cstring>

CFrame::CFrame(const CRect& s, void* parentWindow, AEffGUIEditor* ed)
    : CViewContainer(s, nullptr, nullptr), editor(ed), backBuffer(new CBitmap(s.width(), s.height())),
      timers(std::make_shared<GuiTimerList>())
{
    frame = this;
    if (parentWindow)
        window = GuiX11Window::open(reinterpret_cast<unsigned long>(parentWindow), backBuffer->getWidth(),
                                    backBuffer->getHeight());
}

CFrame::~CFrame()
{
    removeAll(true);
    releaseClosedMenus();
    timers->close();
    window.reset();
    backBuffer->forget();
}

bool CFrame::hasWindow() const
{
    return window && !window->isGone();
}

unsigned long CFrame::getWindowId() const
{
    return window ? window->getWindowId() : 0;
}

int CFrame::getWindowErrors() const
{
    return window ? window->getErrorCount() : 0;
}

void CFrame::fireTimers()
{
    timers->fireDue();
}

void CFrame::idle()
{
    if (window)
        window->pump(*this);
    fireTimers();
    releaseClosedMenus();
    updateKeySelection();
    const bool menuDirty = menuOverlay && menuOverlay->isDirty();
    if (isDirty() || !damage.isEmpty() || menuDirty) {
        CDrawContext context(backBuffer);
        drawDirty(&context);
        if (!damage.isEmpty()) {
            // What an overlay uncovered: everything beneath, in that area.
            context.push();
            context.clip(damage);
            draw(&context);
            context.pop();
            damage = CRect();
        }
        // The open menu is drawn last, over whatever was drawn beneath it.
        if (menuOverlay)
            menuOverlay->draw(&context);
        needsPresent = true;
    }
    present();
}

void CFrame::redrawAll()
{
    {
        CDrawContext context(backBuffer);
        draw(&context);
        if (menuOverlay)
            menuOverlay->draw(&context);
    }
    damage = CRect();
    needsPresent = true;
    present();
}

void CFrame::invalidRect(const CRect& rect)
{
    CRect r = rect;
    r.bound(CRect(0, 0, size.width(), size.height()));
    damage.unite(r);
}

void CFrame::present()
{
    if (!needsPresent)
        return;
    needsPresent = false;
    if (window)
        window->present(*backBuffer);
}

bool CFrame::setSize(CCoord width, CCoord height)
{
    if (width < 1 || height < 1)
        return false;
    closeMenu();
    size = CRect(0, 0, width, height);
    backBuffer->forget();
    backBuffer = new CBitmap(width, height);
    if (window)
        window->resize(width, height);
    setDirty(true);
    return true;
}

bool CFrame::writePng(const char* path) const
{
    return path && cairo_surface_write_to_png(backBuffer->getSurface(), path) == CAIRO_STATUS_SUCCESS;
}

void CFrame::setFocusView(CView* view)
{
    focusView = view;
}

void CFrame::beginEdit(int32_t index)
{
    if (editor)
        editor->beginEdit(index);
}

void CFrame::endEdit(int32_t index)
{
    if (editor)
        editor->endEdit(index);
}

CView* CFrame::editingText() const
{
    if (focusView && focusView->isTypeOf("CTextEdit") && static_cast<const CTextEdit*>(focusView)->isEditing())
        return focusView;
    return nullptr;
}

bool CFrame::wantsKeys() const
{
    return menuOverlay || editingText();
}

void CFrame::updateKeySelection()
{
    if (window)
        window->selectKeys(wantsKeys());
}

CMouseEventResult CFrame::platformMouseDown(CPoint where, long buttons)
{
    lastMouse = where;
    if (menuOverlay) {
        CView* overlay = menuOverlay;
        overlay->remember(); // the press may close it
        const CMouseEventResult r = overlay->onMouseDown(where, buttons);
        overlay->forget();
        updateKeySelection();
        return r;
    }
    const CView* target = getViewAt(where, true);
    const int64_t now = GuiClock::nowMs();
    if (target && target == lastPressView && now - lastPressMs <= doubleClickMs) {
        buttons |= kDoubleClick;
        lastPressView = nullptr; // a third press starts anew
    } else {
        lastPressView = target;
    }
    lastPressMs = now;
    // A press elsewhere ends a text edit in progress.
    if (focusView && focusView != target && focusView->isTypeOf("CTextEdit")) {
        CView* previous = focusView;
        focusView = nullptr;
        static_cast<CTextEdit*>(previous)->looseFocus();
    }
    CMouseEventResult r = onMouseDown(where, buttons);
    if (target && target->isTypeOf("CTextEdit") && static_cast<const CTextEdit*>(target)->isEditing())
        focusView = const_cast<CView*>(target);
    updateKeySelection();
    return r;
}

CMouseEventResult CFrame::platformMouseMoved(CPoint where, long buttons)
{
    lastMouse = where;
    if (menuOverlay) {
        CView* overlay = menuOverlay;
        overlay->remember();
        const CMouseEventResult r = overlay->onMouseMoved(where, buttons);
        overlay->forget();
        return r;
    }
    return onMouseMoved(where, buttons);
}

CMouseEventResult CFrame::platformMouseUp(CPoint where, long buttons)
{
    lastMouse = where;
    if (menuOverlay) {
        CView* overlay = menuOverlay;
        overlay->remember();
        const CMouseEventResult r = overlay->onMouseUp(where, buttons);
        overlay->forget();
        // A press that opened the menu leaves its view waiting for this release.
        onMouseUp(where, buttons);
        updateKeySelection();
        return r;
    }
    return onMouseUp(where, buttons);
}

bool CFrame::platformWheel(CPoint where, float distance, long buttons)
{
    lastMouse = where;
    if (menuOverlay) {
        // The open menu takes the wheel, wherever the pointer is.
        CView* overlay = menuOverlay;
        overlay->remember();
        overlay->onWheel(where, distance, buttons);
        overlay->forget();
        return true;
    }
    return onWheel(where, distance, buttons);
}

int32_t CFrame::modalKeyDown(VstKeyCode& key)
{
    int32_t r = -1;
    if (menuOverlay) {
        CView* overlay = menuOverlay;
        overlay->remember();
        r = overlay->onKeyDown(key);
        overlay->forget();
    } else if (CView* text = editingText()) {
        r = text->onKeyDown(key);
    }
    updateKeySelection();
    return r == 1 ? 1 : -1;
}

int32_t CFrame::modalKeyUp(VstKeyCode& key)
{
    int32_t r = -1;
    if (menuOverlay)
        r = menuOverlay->onKeyUp(key);
    else if (CView* text = editingText())
        r = text->onKeyUp(key);
    return r == 1 ? 1 : -1;
}

int32_t CFrame::platformKeyDown(VstKeyCode& key)
{
    const bool modal = menuOverlay || editingText();
    if (modalKeyDown(key) == 1)
        return 1;
    if (modal || !focusView)
        return -1;
    return focusView->onKeyDown(key) == 1 ? 1 : -1;
}

int32_t CFrame::platformKeyUp(VstKeyCode& key)
{
    const bool modal = menuOverlay || editingText();
    if (modalKeyUp(key) == 1)
        return 1;
    if (modal || !focusView)
        return -1;
    return focusView->onKeyUp(key) == 1 ? 1 : -1;
}

int32_t CFrame::windowKeyDown(VstKeyCode& key)
{
    if (editor)
        return editor->onKeyDown(key) ? 1 : -1;
    return platformKeyDown(key);
}

int32_t CFrame::windowKeyUp(VstKeyCode& key)
{
    if (editor)
        return editor->onKeyUp(key) ? 1 : -1;
    return platformKeyUp(key);
}

void CFrame::openMenu(CView* overlay)
{
    if (!overlay)
        return;
    closeMenu();
    menuOverlay = overlay;
    overlay->attached(nullptr, this);
    overlay->setDirty(true);
    updateKeySelection();
}

void CFrame::closeMenu()
{
    if (!menuOverlay)
        return;
    CView* overlay = menuOverlay;
    menuOverlay = nullptr;
    // What the menu covered is drawn again.
    invalidRect(overlay->getViewSize());
    overlay->removed(nullptr);
    closedMenus.push_back(overlay);
    updateKeySelection();
}

void CFrame::releaseClosedMenus()
{
    std::vector<CView*> old;
    old.swap(closedMenus);
    for (CView* v : old)
        v->forget();
}

void CFrame::forgetView(CView* view)
{
    if (focusView == view)
        focusView = nullptr;
    if (lastPressView == view)
        lastPressView = nullptr;
}

void CFrame::removeAll(bool withForget)
{
    closeMenu();
    CViewContainer::removeAll(withForget);
}

bool CFrame::isTypeOf(const char* name) const
{
    return (name && std::strcmp(name, "CFrame") == 0) || CViewContainer::isTypeOf(name);
}
