// CFrame: the top view of the editor's window. It owns the back buffer that
// every view draws into, the window on the host's display when there is one
// (without one it draws offscreen only, which is how the tests see it), the
// keyboard focus, the pop-up menu overlay and the double-click detection.
// The editor's idle pass calls idle(), which reads the window's events,
// fires the due timers, redraws what is dirty and shows the result.
// Thread: the user-interface thread.
#pragma once

#include "CView.h"

#include <memory>

class AEffGUIEditor;
class GuiX11Window;

class CFrame : public CViewContainer
{
public:
    // parentWindow: the host's X11 window id (as a pointer), or null for an
    // offscreen frame. An unreachable display also leaves it offscreen.
    CFrame(const CRect& size, void* parentWindow, AEffGUIEditor* editor);
    ~CFrame() override;

    // One pass: events, timers, drawing of dirty views, presentation.
    void idle();
    // Redraws everything now (and shows it).
    void redrawAll();
    bool setSize(CCoord width, CCoord height);
    AEffGUIEditor* getEditor() const { return editor; }
    bool hasWindow() const { return window != nullptr; }
    // The X11 window id of the frame's own window, 0 offscreen.
    unsigned long getWindowId() const;
    // The pixels as last drawn.
    CBitmap* getBackBuffer() const { return backBuffer; }
    bool writePng(const char* path) const;

    void setFocusView(CView* view);
    CView* getFocusView() const { return focusView; }
    // The host's automation gesture, through the editor.
    void beginEdit(int32_t index);
    void endEdit(int32_t index);

    // Mouse and keys as the window (or a test) delivers them, in frame
    // coordinates. A second press within the double-click interval on the
    // same view gets the kDoubleClick bit.
    CMouseEventResult platformMouseDown(CPoint where, long buttons);
    CMouseEventResult platformMouseMoved(CPoint where, long buttons);
    CMouseEventResult platformMouseUp(CPoint where, long buttons);
    bool platformWheel(CPoint where, float distance, long buttons);
    // The focus view first; 1 when used, -1 otherwise.
    int32_t platformKeyDown(VstKeyCode& key);
    int32_t platformKeyUp(VstKeyCode& key);
    CPoint getLastMousePoint() const { return lastMouse; }
    void setDoubleClickInterval(int ms) { doubleClickMs = ms; }

    // The menu overlay: at most one; closing hands it back for release at
    // the next idle, so a menu may close itself from its own press.
    void openMenu(CView* overlay);
    void closeMenu();
    bool isMenuOpen() const { return menuOverlay != nullptr; }

    void removeView(CView* view, bool withForget = true) override;
    void removeAll(bool withForget = true) override;
    bool isTypeOf(const char* name) const override;

    // Views that go while they hold the focus or the last press tell the frame.
    void forgetView(CView* view);

private:
    void releaseClosedMenus();
    void present();

    AEffGUIEditor* editor;
    std::unique_ptr<GuiX11Window> window;
    CBitmap* backBuffer;
    CView* focusView = nullptr;
    CView* menuOverlay = nullptr;
    std::vector<CView*> closedMenus;
    CPoint lastMouse;
    // Double clicks: the view and time of the last press.
    const CView* lastPressView = nullptr;
    int64_t lastPressMs = 0;
    int doubleClickMs = 400;
    bool needsPresent = true;
};
