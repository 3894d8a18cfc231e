// tessel-host editor: opens a plug-in's editor in a top-level window of the
// host's own on the X display (Xvfb in CI), runs the editor's idle for a
// while, clicks into it with synthetic X events, then applies the command
// line's entry settings and shows the page asked for (through the plug-in's
// tooling channel, as the editor's page selector does), saves the window's
// pixels as PNG and closes everything. X errors of the whole process (the
// plug-in's connection included) are counted; any makes the command fail.
#include "Commands.h"
#include "PluginHost.h"
#include "Render.h"
#include "ToolingClient.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo.h>

#include <atomic>
#include <chrono>
#include <ostream>
#include <set>
#include <thread>

namespace Host {
namespace {
std::atomic<int> xErrors{0};

int countXError(Display*, XErrorEvent*)
{
    ++xErrors;
    return 0;
}

// Where a colour component sits in a visual's pixel, as 0..255.
uint8_t component(unsigned long pixel, unsigned long mask)
{
    if (!mask)
        return 0;
    int shift = 0;
    while (!((mask >> shift) & 1))
        ++shift;
    const unsigned long max = mask >> shift;
    return static_cast<uint8_t>(((pixel & mask) >> shift) * 255 / max);
}

void sendButton(Display* d, Window w, int x, int y, unsigned int button, bool press)
{
    XEvent e{};
    e.xbutton.type = press ? ButtonPress : ButtonRelease;
    e.xbutton.display = d;
    e.xbutton.window = w;
    e.xbutton.root = DefaultRootWindow(d);
    e.xbutton.x = x;
    e.xbutton.y = y;
    e.xbutton.button = button;
    e.xbutton.state = press ? 0 : (button == Button1 ? Button1Mask : 0);
    e.xbutton.same_screen = True;
    XSendEvent(d, w, True, press ? ButtonPressMask : ButtonReleaseMask, &e);
}

void sendMotion(Display* d, Window w, int x, int y)
{
    XEvent e{};
    e.xmotion.type = MotionNotify;
    e.xmotion.display = d;
    e.xmotion.window = w;
    e.xmotion.root = DefaultRootWindow(d);
    e.xmotion.x = x;
    e.xmotion.y = y;
    e.xmotion.state = Button1Mask;
    e.xmotion.same_screen = True;
    XSendEvent(d, w, True, PointerMotionMask, &e);
}

// The window's pixels as a PNG; the number of distinct colours, -1 on failure.
int savePng(Display* d, Window w, int width, int height, const std::string& path)
{
    XImage* image = XGetImage(d, w, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), AllPlanes,
                              ZPixmap);
    if (!image)
        return -1;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    std::set<uint32_t> colours;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            const uint32_t rgb = (uint32_t(component(p, image->red_mask)) << 16) |
                                 (uint32_t(component(p, image->green_mask)) << 8) | component(p, image->blue_mask);
            *reinterpret_cast<uint32_t*>(data + y * stride + x * 4) = rgb;
            colours.insert(rgb);
        }
    }
    cairo_surface_mark_dirty(surface);
    const bool written = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    XDestroyImage(image);
    return written ? static_cast<int>(colours.size()) : -1;
}
} // namespace

int runEditor(const HostOptions& o, std::ostream& out, std::ostream& err)
{
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        err << "tessel-host: no X display (run it under Xvfb, for example with xvfb-run)\n";
        return 1;
    }
    xErrors = 0;
    XErrorHandler previousHandler = XSetErrorHandler(countXError);
    int status = 1;
    Window parent = 0;
    {
        PluginHost_c host({o.idle, &err});
        host.setTimeline(MidiSong{}, o.sampleRate);
        std::string error;
        ERect* rect = nullptr;
        if (!host.load(o.plugin, error)) {
            err << "tessel-host: " << error << "\n";
        } else if (!(host.effect()->flags & effFlagsHasEditor)) {
            err << "tessel-host: " << o.plugin << " has no editor\n";
        } else if (host.dispatch(effOpen), host.dispatch(effSetSampleRate, 0, 0, nullptr, float(o.sampleRate)),
                   host.dispatch(effEditGetRect, 0, 0, &rect), !rect || rect->right <= rect->left ||
                                                                   rect->bottom <= rect->top) {
            err << "tessel-host: the editor gives no size\n";
        } else {
            const int width = rect->right - rect->left;
            const int height = rect->bottom - rect->top;
            const int screen = DefaultScreen(d);
            parent = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, static_cast<unsigned>(width),
                                         static_cast<unsigned>(height), 0, BlackPixel(d, screen),
                                         BlackPixel(d, screen));
            XMapWindow(d, parent);
            XSync(d, False);
            out << "editor: " << width << "x" << height << "\n";
            // The host's user-interface loop: editor idle every 20 ms.
            auto runIdle = [&](int ms) {
                for (int t = 0; t < ms; t += 20) {
                    host.dispatch(effEditIdle);
                    if (o.idle)
                        host.dispatch(effIdle);
                    while (XPending(d)) {
                        XEvent e;
                        XNextEvent(d, &e);
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
            };
            if (!host.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent))) {
                err << "tessel-host: the editor did not open\n";
            } else {
                const int totalMs = static_cast<int>((o.seconds ? *o.seconds : 1.0) * 1000);
                runIdle(totalMs / 2);
                Window root = 0, parentOfParent = 0, *children = nullptr;
                unsigned int count = 0;
                XQueryTree(d, parent, &root, &parentOfParent, &children, &count);
                const Window target = count ? children[count - 1] : parent;
                if (children)
                    XFree(children);
                const int points[][2] = {{width / 4, height / 4}, {width / 2, height / 2},
                                         {3 * width / 4, 3 * height / 4}};
                for (const auto& p : points) {
                    sendButton(d, target, p[0], p[1], Button1, true);
                    sendMotion(d, target, p[0] + 5, p[1] + 3);
                    sendButton(d, target, p[0] + 5, p[1] + 3, Button1, false);
                    XFlush(d);
                    runIdle(60);
                }
                sendButton(d, target, width / 2, height / 2, Button4, true); // one wheel step
                XFlush(d);
                runIdle(totalMs / 4);
                // What the picture should show: the settings, then the page.
                ToolingClient_c tooling(host);
                std::string error;
                bool shown = applyEntrySettings(host, tooling, o.settings, out, error);
                if (shown && o.page) {
                    shown = tooling.selectPage(*o.page, error);
                    if (shown)
                        out << "page: " << *o.page << "\n";
                }
                if (!shown)
                    err << "tessel-host: " << error << "\n";
                runIdle(totalMs / 4);
                XSync(d, False);
                const int colours = savePng(d, parent, width, height, o.out);
                out << "clicks: " << std::size(points) << "\n";
                host.dispatch(effEditClose);
                host.dispatch(effEditIdle); // an idle after close must do nothing
                XSync(d, False);
                if (!shown) {
                    status = 1;
                } else if (colours < 0) {
                    err << "tessel-host: could not save " << o.out << "\n";
                } else {
                    out << "png: " << o.out << "\n" << "distinctColours: " << colours << "\n";
                    // A blank window means the editor drew nothing.
                    status = colours >= 2 ? 0 : 1;
                    if (status)
                        err << "tessel-host: the editor's window is blank\n";
                }
            }
        }
        host.close();
    }
    if (parent)
        XDestroyWindow(d, parent);
    XSync(d, False);
    out << "xErrors: " << xErrors.load() << "\n";
    if (xErrors.load())
        status = 1;
    XSetErrorHandler(previousHandler);
    XCloseDisplay(d);
    return status;
}

} // namespace Host
