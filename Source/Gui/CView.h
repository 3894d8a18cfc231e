// CView and CViewContainer: the tree of things drawn in the editor's window.
// A view's size is given in the coordinates of its parent container, and a
// view receives mouse points in those same coordinates; a container moves
// the origin to its own top-left corner for its children. A view that
// changes marks itself dirty; the frame's idle pass redraws what is dirty.
// Thread: the user-interface thread.
#pragma once

#include "CBaseObject.h"
#include "GuiTypes.h"

#include <vector>

struct VstKeyCode;
class CBitmap;
class CDrawContext;
class CFrame;
class CViewContainer;

class CView : public CBaseObject
{
public:
    explicit CView(const CRect& size);
    CView(const CView& other);
    ~CView() override;

    virtual void draw(CDrawContext* context);
    virtual CMouseEventResult onMouseDown(CPoint& where, const long& buttons);
    virtual CMouseEventResult onMouseUp(CPoint& where, const long& buttons);
    virtual CMouseEventResult onMouseMoved(CPoint& where, const long& buttons);
    // distance: +1 per step up, -1 per step down. True when used.
    virtual bool onWheel(const CPoint& where, const float& distance, const long& buttons);
    // 1 when the key was used, -1 otherwise.
    virtual int32_t onKeyDown(VstKeyCode& keyCode);
    virtual int32_t onKeyUp(VstKeyCode& keyCode);

    virtual void setDirty(bool state = true);
    virtual bool isDirty() const { return dirty; }
    // Marks the view dirty (the frame redraws it at its next idle).
    void invalid() { setDirty(true); }

    virtual void setMouseEnabled(bool enabled) { mouseEnabled = enabled; }
    bool getMouseEnabled() const { return mouseEnabled; }
    virtual void setBackground(CBitmap* bitmap);
    virtual CBitmap* getBackground() const { return background; }

    const CRect& getViewSize() const { return size; }
    void getViewSize(CRect& out) const { out = size; }
    virtual void setViewSize(const CRect& newSize);
    CCoord getWidth() const { return size.width(); }
    CCoord getHeight() const { return size.height(); }
    virtual bool hitTest(const CPoint& where) const { return size.pointInside(where); }

    CViewContainer* getParentView() const { return parent; }
    CFrame* getFrame() const { return frame; }
    // Converts a point in this view's parent's coordinates to the frame's.
    CPoint& localToFrame(CPoint& where) const;
    CPoint& frameToLocal(CPoint& where) const;

    virtual bool isTypeOf(const char* name) const;
    // A copy of the view, for controls that can be duplicated; none by default.
    virtual CView* newCopy() const { return nullptr; }

    // Called by containers as the view enters and leaves them.
    virtual void attached(CViewContainer* newParent, CFrame* newFrame);
    virtual void removed(CViewContainer* oldParent);
    virtual bool isContainer() const { return false; }

protected:
    CRect size;
    bool dirty = true;
    bool mouseEnabled = true;
    CBitmap* background = nullptr; // remembered while held
    CViewContainer* parent = nullptr;
    CFrame* frame = nullptr;
};

class CViewContainer : public CView
{
public:
    CViewContainer(const CRect& size, CFrame* frame, CBitmap* background = nullptr);
    ~CViewContainer() override;
    CViewContainer(const CViewContainer&) = delete;
    CViewContainer& operator=(const CViewContainer&) = delete;

    // Adds on top of the others; the container takes the caller's reference.
    virtual void addView(CView* view);
    // withForget: the container's reference is dropped (the view may go).
    virtual void removeView(CView* view, bool withForget = true);
    virtual void removeAll(bool withForget = true);
    // Moves a child on top of its siblings without taking it out: a press
    // it holds and its state stay.
    void raiseView(CView* view);
    bool isChild(const CView* view) const;
    int getNbViews() const { return static_cast<int>(children.size()); }
    CView* getView(int index) const;
    // The topmost child (the last added first) under a point in this
    // container's own coordinates; deep: descends into child containers.
    CView* getViewAt(const CPoint& where, bool deep = false) const;

    void draw(CDrawContext* context) override;
    // Draws only what is dirty: the whole container when it is itself dirty,
    // otherwise each dirty child over the background beneath it.
    virtual void drawDirty(CDrawContext* context);
    void setDirty(bool state = true) override;
    bool isDirty() const override;

    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const long& buttons) override;

    void setBackgroundColor(CColor c) { backColor = c; }
    bool isTypeOf(const char* name) const override;
    void attached(CViewContainer* newParent, CFrame* newFrame) override;
    bool isContainer() const override { return true; }
    // The child that took the press and gets the moves and the release.
    CView* getMouseDownView() const { return mouseDownView; }

protected:
    void drawBackgroundRect(CDrawContext* context, const CRect& rect);
    void drawChild(CDrawContext* context, CView* child, bool onlyDirty);

    std::vector<CView*> children;
    CView* mouseDownView = nullptr;
    CColor backColor = kTransparentCColor;
};
