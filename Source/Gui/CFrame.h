// CFrame: the top view of the editor's window. It owns the back buffer that
// every view draws into, the window on the host's display when there is one
// (without one it draws offscreen only, which is how the tests see it), the
// keyboard focus, the pop-up menu overlay, the frame's own timers and the
// double-click detection. The editor's idle pass calls idle(), which reads
// the window's events, fires the frame's due timers, redraws what is dirty,
// draws an open menu last (on top of everything) and shows the result.
// Thread: the user-interface thread.
#pragma once

#include "CView.h"

#include <memory>

class AEffGUIEditor;
class GuiTimerList;
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
    // True while the frame has its window on the display; false offscreen
    // and once the host destroyed the window under it.
    bool hasWindow() const;
    // The X11 window id of the frame's own window, 0 offscreen.
    unsigned long getWindowId() const;
    // X errors the window's display connection received (none expected).
    int getWindowErrors() const;
    // The pixels as last drawn.
    CBitmap* getBackBuffer() const { return backBuffer; }
    bool writePng(const char* path) const;
    // Everything within rect (frame coordinates) is drawn again at the next
    // idle, whatever is dirty.
    void invalidRect(const CRect& rect);

    void setFocusView(CView* view);
    CView* getFocusView() const { return focusView; }
    // The host's automation gesture, through the editor.
    void beginEdit(int32_t index);
    void endEdit(int32_t index);

    // Mouse and keys as the window (or a test) delivers them, in frame
    // coordinates. A second press within the double-click interval on the
    // same view gets the kDoubleClick bit. While a menu is open it takes
    // every press, move, release and wheel step; nothing reaches the views
    // beneath it.
    CMouseEventResult platformMouseDown(CPoint where, long buttons);
    CMouseEventResult platformMouseMoved(CPoint where, long buttons);
    CMouseEventResult platformMouseUp(CPoint where, long buttons);
    bool platformWheel(CPoint where, float distance, long buttons);
    // The layer's own key handling: an open menu or a text control that is
    // editing first, then the focus view. 1 when used, -1 otherwise.
    int32_t platformKeyDown(VstKeyCode& key);
    int32_t platformKeyUp(VstKeyCode& key);
    // Only the open menu or the editing text control: 1 when it used the key.
    int32_t modalKeyDown(VstKeyCode& key);
    int32_t modalKeyUp(VstKeyCode& key);
    // Keys typed into the frame's own window: the editor's key handling (the
    // one the host reaches through effEditKeyDown), or the layer's without
    // an editor.
    int32_t windowKeyDown(VstKeyCode& key);
    int32_t windowKeyUp(VstKeyCode& key);
    // True while the window should take the keyboard: a menu is open or a
    // text control edits. Otherwise the window leaves every key to the host.
    bool wantsKeys() const;
    CPoint getLastMousePoint() const { return lastMouse; }
    void setDoubleClickInterval(int ms) { doubleClickMs = ms; }

    // The menu overlay: at most one, held by the frame above all its views
    // (it is no child). The frame takes the caller's reference. Closing
    // hands it back for release at the next idle, so a menu may close itself
    // from its own press.
    void openMenu(CView* overlay);
    void closeMenu();
    bool isMenuOpen() const { return menuOverlay != nullptr; }
    CView* getMenuOverlay() const { return menuOverlay; }

    // The frame's timers: its idle pass fires them (fireTimers).
    const std::shared_ptr<GuiTimerList>& getTimerList() const { return timers; }
    void fireTimers();

    void removeAll(bool withForget = true) override;
    bool isTypeOf(const char* name) const override;

    // Views that go while they hold the focus or the last press tell the frame.
    void forgetView(CView* view);

private:
    void releaseClosedMenus();
    void present();
    void updateKeySelection();
    CView* editingText() const;

    AEffGUIEditor* editor;
    std::unique_ptr<GuiX11Window> window;
    CBitmap* backBuffer;
    std::shared_ptr<GuiTimerList> timers;
    CView* focusView = nullptr;
    CView* menuOverlay = nullptr;
    std::vector<CView*> closedMenus;
    CRect damage;
    CPoint lastMouse;
    // Double clicks: the view and time of the last press.
    const CView* lastPressView = nullptr;
    int64_t lastPressMs = 0;
    int doubleClickMs = 400;
    bool needsPresent = true;
};
