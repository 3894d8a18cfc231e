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
    : CViewContainer(s, nullptr, nullptr), editor(ed), backBuffer(new CBitmap(s.width(), s.height()))
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
    window.reset();
    backBuffer->forget();
}

unsigned long CFrame::getWindowId() const
{
    return window ? window->getWindowId() : 0;
}

void CFrame::idle()
{
    if (window)
        window->pump(*this);
    CVSTGUITimer::fireDue();
    releaseClosedMenus();
    if (isDirty()) {
        CDrawContext context(backBuffer);
        drawDirty(&context);
        needsPresent = true;
    }
    present();
}

void CFrame::redrawAll()
{
    {
        CDrawContext context(backBuffer);
        draw(&context);
    }
    needsPresent = true;
    present();
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

CMouseEventResult CFrame::platformMouseDown(CPoint where, long buttons)
{
    lastMouse = where;
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
    return r;
}

CMouseEventResult CFrame::platformMouseMoved(CPoint where, long buttons)
{
    lastMouse = where;
    return onMouseMoved(where, buttons);
}

CMouseEventResult CFrame::platformMouseUp(CPoint where, long buttons)
{
    lastMouse = where;
    return onMouseUp(where, buttons);
}

bool CFrame::platformWheel(CPoint where, float distance, long buttons)
{
    lastMouse = where;
    return onWheel(where, distance, buttons);
}

int32_t CFrame::platformKeyDown(VstKeyCode& key)
{
    return focusView ? focusView->onKeyDown(key) : -1;
}

int32_t CFrame::platformKeyUp(VstKeyCode& key)
{
    return focusView ? focusView->onKeyUp(key) : -1;
}

void CFrame::openMenu(CView* overlay)
{
    if (!overlay)
        return;
    closeMenu();
    menuOverlay = overlay;
    addView(overlay);
}

void CFrame::closeMenu()
{
    if (!menuOverlay)
        return;
    CView* overlay = menuOverlay;
    menuOverlay = nullptr;
    CViewContainer::removeView(overlay, false);
    closedMenus.push_back(overlay);
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

void CFrame::removeView(CView* view, bool withForget)
{
    if (view == menuOverlay)
        menuOverlay = nullptr;
    CViewContainer::removeView(view, withForget);
}

void CFrame::removeAll(bool withForget)
{
    if (menuOverlay) {
        closedMenus.push_back(menuOverlay);
        CViewContainer::removeView(menuOverlay, false);
        menuOverlay = nullptr;
    }
    CViewContainer::removeAll(withForget);
}

bool CFrame::isTypeOf(const char* name) const
{
    return (name && std::strcmp(name, "CFrame") == 0) || CViewContainer::isTypeOf(name);
}
