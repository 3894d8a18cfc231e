// The host's side of the display for the tests that need a real X window
// (CI runs them under Xvfb; without a display they are skipped): one Xlib
// connection for the whole process with an X error handler that, like a GTK
// host's, fails the test on any error, and helpers that send the editor's
// window button events and idle it until something happened.
// Include after gtest: Xlib's macros (None, Bool) would clash with its names.
#pragma once

#include "CFrame.h"

#include <gtest/gtest.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace X11Test {

inline int xErrors = 0;
inline int countXError(Display*, XErrorEvent* e)
{
    ++xErrors;
    ADD_FAILURE() << "X error " << int(e->error_code) << " on request " << int(e->request_code);
    return 0;
}

// The host's display connection with a handler that fails on every X error.
// One connection serves every test of the process: with no client left
// between two tests the server would reset, and a connection attempt during
// the reset fails.
struct Host
{
    Display* d = shared();
    XErrorHandler previous = nullptr;
    Host()
    {
        if (d)
            previous = XSetErrorHandler(countXError);
        xErrors = 0;
    }
    ~Host()
    {
        if (!d)
            return;
        XSync(d, False);
        XSetErrorHandler(previous);
    }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    static Display* shared()
    {
        static Display* display = [] {
            Display* opened = XOpenDisplay(nullptr);
            // A server that resets after the last test process left takes a
            // moment before it accepts again.
            for (int i = 0; !opened && std::getenv("DISPLAY") && *std::getenv("DISPLAY") && i < 40; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                opened = XOpenDisplay(nullptr);
            }
            return opened;
        }();
        return display;
    }
    Window plainWindow(unsigned long background = 0, unsigned width = 200, unsigned height = 100)
    {
        const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, width, height, 0, 0, background);
        XMapWindow(d, w);
        XSync(d, False);
        return w;
    }
    unsigned long pixel(Window w, int x, int y)
    {
        XImage* image = XGetImage(d, w, x, y, 1, 1, AllPlanes, ZPixmap);
        if (!image)
            return ~0ul;
        const unsigned long p = XGetPixel(image, 0, 0);
        XDestroyImage(image);
        return p;
    }
};

inline void sendButton(Display* d, Window w, int x, int y, unsigned button, unsigned state, bool press)
{
    XEvent e{};
    e.xbutton.type = press ? ButtonPress : ButtonRelease;
    e.xbutton.window = w;
    e.xbutton.root = DefaultRootWindow(d);
    e.xbutton.x = x;
    e.xbutton.y = y;
    e.xbutton.button = button;
    e.xbutton.state = state;
    e.xbutton.same_screen = True;
    XSendEvent(d, w, True, press ? ButtonPressMask : ButtonReleaseMask, &e);
    XFlush(d);
}

// Runs idle until cond holds or a second has passed.
template <typename Idle, typename Cond>
bool idleWhile(Idle idle, Cond cond)
{
    for (int i = 0; i < 100 && !cond(); ++i) {
        idle();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return cond();
}

// Idles the frame until cond holds or a second has passed.
template <typename Cond>
bool idleUntil(CFrame* frame, Cond cond)
{
    return idleWhile([frame] { frame->idle(); }, cond);
}

inline bool viewable(Display* d, Window w)
{
    XWindowAttributes a;
    return XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable;
}

} // namespace X11Test
