// GuiX11Window: the frame's window on the host's X display. It opens its own
// display connection (so the host's connection and event loop are never
// touched), creates a child of the host's window, and shows the frame's back
// buffer in it. Events are read only when the frame's idle asks (pump).
// Thread: the user-interface thread.
#pragma once

#include <memory>

class CBitmap;
class CFrame;

class GuiX11Window
{
public:
    // Null when the display cannot be opened or the parent is not a window.
    static std::unique_ptr<GuiX11Window> open(unsigned long parent, int width, int height);
    ~GuiX11Window();
    GuiX11Window(const GuiX11Window&) = delete;
    GuiX11Window& operator=(const GuiX11Window&) = delete;

    // Reads every pending event and hands mouse and keys to the frame.
    void pump(CFrame& frame);
    void present(CBitmap& backBuffer);
    void resize(int width, int height);
    unsigned long getWindowId() const;

private:
    struct Impl;
    explicit GuiX11Window(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl;
};
