// GuiX11Window: the frame's window on the host's X display. It talks to the
// display over a connection of its own, through XCB: the host's connection
// and event loop are never touched, and an X error on our connection comes
// back to us as a reply we drop; it never reaches the process-wide Xlib
// error handler, which a GTK host answers by aborting. The window is a child
// of the host's window, made with the parent's own depth and visual (so a
// 32-bit ARGB parent works) and no background (so nothing paints it black
// before the first frame). When the host destroys its window first, we see
// our window's destruction and send nothing more to it.
// Events are read only when the frame's idle asks (pump).
// Thread: the user-interface thread.
#pragma once

#include <memory>

class CBitmap;
class CFrame;

class GuiX11Window
{
public:
    // Null when the display cannot be opened, the parent is not a window
    // that can hold ours, or its pixel format is not one of 32 bits per pixel.
    static std::unique_ptr<GuiX11Window> open(unsigned long parent, int width, int height);
    ~GuiX11Window();
    GuiX11Window(const GuiX11Window&) = delete;
    GuiX11Window& operator=(const GuiX11Window&) = delete;

    // Reads every pending event and hands mouse and keys to the frame.
    void pump(CFrame& frame);
    void present(CBitmap& backBuffer);
    void resize(int width, int height);
    // Keys reach the window only while it asks for them; otherwise they go
    // on to the host's window beneath.
    void selectKeys(bool on);
    unsigned long getWindowId() const;
    // The window was destroyed under us (with the host's) or the display
    // connection broke: nothing is drawn or sent any more.
    bool isGone() const;
    // X errors our connection received; none is expected.
    int getErrorCount() const;

private:
    struct Impl;
    explicit GuiX11Window(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl;
};
