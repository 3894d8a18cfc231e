#include "CView.h"

#include "CBitmap.h"
#include "CDrawContext.h"
#include "CFrame.h"

#include <algorithm>
#include <cstring>

CView::CView(const CRect& s) : size(s) {}

CView::CView(const CView& other)
    : CBaseObject(other), size(other.size), dirty(true), mouseEnabled(other.mouseEnabled),
      background(other.background)
{
    if (background)
        background->remember();
}

CView::~CView()
{
    // The frame may hold this view as its focus; the frame itself is past
    // its own destructor body when this runs for it.
    if (frame && static_cast<const CView*>(frame) != this)
        frame->forgetView(this);
    if (background)
        background->forget();
}

void CView::draw(CDrawContext* context)
{
    if (background)
        background->draw(context, size);
    dirty = false;
}

CMouseEventResult CView::onMouseDown(CPoint&, const long&)
{
    return kMouseEventNotImplemented;
}

CMouseEventResult CView::onMouseUp(CPoint&, const long&)
{
    return kMouseEventNotImplemented;
}

CMouseEventResult CView::onMouseMoved(CPoint&, const long&)
{
    return kMouseEventNotImplemented;
}

bool CView::onWheel(const CPoint&, const float&, const long&)
{
    return false;
}

int32_t CView::onKeyDown(VstKeyCode&)
{
    return -1;
}

int32_t CView::onKeyUp(VstKeyCode&)
{
    return -1;
}

void CView::setDirty(bool state)
{
    dirty = state;
}

void CView::setBackground(CBitmap* bitmap)
{
    if (bitmap == background)
        return;
    if (bitmap)
        bitmap->remember();
    if (background)
        background->forget();
    background = bitmap;
    setDirty(true);
}

void CView::setViewSize(const CRect& newSize)
{
    size = newSize;
    setDirty(true);
}

CPoint& CView::localToFrame(CPoint& where) const
{
    for (const CView* c = parent; c; c = c->parent)
        where.offset(c->size.left, c->size.top);
    return where;
}

CPoint& CView::frameToLocal(CPoint& where) const
{
    for (const CView* c = parent; c; c = c->parent)
        where.offset(-c->size.left, -c->size.top);
    return where;
}

bool CView::isTypeOf(const char* name) const
{
    return name && std::strcmp(name, "CView") == 0;
}

void CView::attached(CViewContainer* newParent, CFrame* newFrame)
{
    parent = newParent;
    frame = newFrame;
    setDirty(true);
}

void CView::removed(CViewContainer*)
{
    parent = nullptr;
}

// ---------------------------------------------------------------------------

CViewContainer::CViewContainer(const CRect& s, CFrame* f, CBitmap* bitmap) : CView(s)
{
    frame = f;
    setBackground(bitmap);
}

CViewContainer::~CViewContainer()
{
    removeAll(true);
}

void CViewContainer::addView(CView* view)
{
    if (!view || isChild(view))
        return;
    // A view lives in one container at a time: taking it over takes it out
    // of the one that held it (without releasing it).
    if (CViewContainer* previous = view->getParentView())
        previous->removeView(view, false);
    children.push_back(view);
    view->attached(this, frame);
}

void CViewContainer::removeView(CView* view, bool withForget)
{
    auto it = std::find(children.begin(), children.end(), view);
    if (it == children.end())
        return;
    children.erase(it);
    if (mouseDownView == view)
        mouseDownView = nullptr;
    view->removed(this);
    // What the child covered must be painted again.
    setDirty(true);
    if (withForget)
        view->forget();
}

void CViewContainer::removeAll(bool withForget)
{
    mouseDownView = nullptr;
    std::vector<CView*> old;
    old.swap(children);
    for (CView* v : old) {
        v->removed(this);
        if (withForget)
            v->forget();
    }
    dirty = true;
}

void CViewContainer::raiseView(CView* view)
{
    auto it = std::find(children.begin(), children.end(), view);
    if (it == children.end() || it + 1 == children.end())
        return;
    children.erase(it);
    children.push_back(view);
    view->setDirty(true); // it now covers the siblings it went past
}

bool CViewContainer::isChild(const CView* view) const
{
    return view && std::find(children.begin(), children.end(), view) != children.end();
}

CView* CViewContainer::getView(int index) const
{
    return index >= 0 && index < getNbViews() ? children[static_cast<size_t>(index)] : nullptr;
}

CView* CViewContainer::getViewAt(const CPoint& where, bool deep) const
{
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        CView* v = *it;
        if (!v->hitTest(where))
            continue;
        if (deep && v->isContainer()) {
            CPoint local = where;
            local.offset(-v->getViewSize().left, -v->getViewSize().top);
            if (CView* inner = static_cast<CViewContainer*>(v)->getViewAt(local, true))
                return inner;
        }
        return v;
    }
    return nullptr;
}

void CViewContainer::drawBackgroundRect(CDrawContext* context, const CRect& rect)
{
    // rect is in this container's own coordinates.
    if (backColor.alpha) {
        context->setFillColor(backColor);
        context->drawRect(rect, kDrawFilled);
    }
    if (background)
        background->draw(context, rect, rect.getTopLeft());
}

void CViewContainer::drawChild(CDrawContext* context, CView* child, bool onlyDirty)
{
    context->push();
    context->clip(child->getViewSize());
    if (onlyDirty && child->isContainer())
        static_cast<CViewContainer*>(child)->drawDirty(context);
    else
        child->draw(context);
    context->pop();
    child->setDirty(false);
}

void CViewContainer::draw(CDrawContext* context)
{
    context->push();
    context->translate(size.left, size.top);
    context->clip(CRect(0, 0, size.width(), size.height()));
    drawBackgroundRect(context, CRect(0, 0, size.width(), size.height()));
    for (CView* v : children)
        drawChild(context, v, false);
    context->pop();
    dirty = false;
}

void CViewContainer::drawDirty(CDrawContext* context)
{
    if (dirty) {
        draw(context);
        return;
    }
    context->push();
    context->translate(size.left, size.top);
    context->clip(CRect(0, 0, size.width(), size.height()));
    for (size_t i = 0; i < children.size(); ++i) {
        CView* v = children[i];
        if (!v->isDirty())
            continue;
        if (!v->isContainer()) {
            // A control may be transparent: paint what lies beneath it first,
            // then the children below it that overlap it.
            const CRect area = v->getViewSize();
            context->push();
            context->clip(area);
            drawBackgroundRect(context, area);
            for (size_t k = 0; k < i; ++k)
                if (children[k]->getViewSize().rectOverlap(area))
                    children[k]->draw(context);
            context->pop();
        }
        drawChild(context, v, true);
        // Siblings above it stay on top, over a redrawn control as over a
        // panel whose controls were redrawn.
        const CRect area = v->getViewSize();
        for (size_t k = i + 1; k < children.size(); ++k) {
            CView* above = children[k];
            if (above->isDirty() || !above->getViewSize().rectOverlap(area))
                continue;
            context->push();
            context->clip(area);
            above->draw(context);
            context->pop();
        }
    }
    context->pop();
}

void CViewContainer::setDirty(bool state)
{
    dirty = state;
    if (!state)
        for (CView* v : children)
            v->setDirty(false);
}

bool CViewContainer::isDirty() const
{
    if (dirty)
        return true;
    for (CView* v : children)
        if (v->isDirty())
            return true;
    return false;
}

CMouseEventResult CViewContainer::onMouseDown(CPoint& where, const long& buttons)
{
    CPoint local = where;
    local.offset(-size.left, -size.top);
    mouseDownView = nullptr;
    // Iterate over a copy: a press may add or remove views.
    const std::vector<CView*> snapshot(children.rbegin(), children.rend());
    for (CView* v : snapshot) {
        if (!isChild(v) || !v->getMouseEnabled() || !v->hitTest(local))
            continue;
        CPoint p = local;
        const CMouseEventResult r = v->onMouseDown(p, buttons);
        if (r == kMouseEventNotHandled || r == kMouseEventNotImplemented)
            continue;
        if (r == kMouseEventHandled && isChild(v))
            mouseDownView = v;
        return r;
    }
    return kMouseEventNotHandled;
}

CMouseEventResult CViewContainer::onMouseUp(CPoint& where, const long& buttons)
{
    CView* v = mouseDownView;
    if (!v)
        return kMouseEventNotHandled;
    mouseDownView = nullptr;
    CPoint local = where;
    local.offset(-size.left, -size.top);
    return v->onMouseUp(local, buttons);
}

CMouseEventResult CViewContainer::onMouseMoved(CPoint& where, const long& buttons)
{
    if (!mouseDownView)
        return kMouseEventNotHandled;
    CPoint local = where;
    local.offset(-size.left, -size.top);
    return mouseDownView->onMouseMoved(local, buttons);
}

bool CViewContainer::onWheel(const CPoint& where, const float& distance, const long& buttons)
{
    CPoint local = where;
    local.offset(-size.left, -size.top);
    const std::vector<CView*> snapshot(children.rbegin(), children.rend());
    for (CView* v : snapshot)
        if (isChild(v) && v->getMouseEnabled() && v->hitTest(local) && v->onWheel(local, distance, buttons))
            return true;
    return false;
}

bool CViewContainer::isTypeOf(const char* name) const
{
    return (name && std::strcmp(name, "CViewContainer") == 0) || CView::isTypeOf(name);
}

void CViewContainer::attached(CViewContainer* newParent, CFrame* newFrame)
{
    CView::attached(newParent, newFrame);
    for (CView* v : children)
        v->attached(this, newFrame);
}
