#include "X11Window.h"

#include "CBitmap.h"
#include "CFrame.h"
#include "GuiKeys.h"
#include "VstInterface.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>
#include <cairo.h>

struct GuiX11Window::Impl
{
    Display* display = nullptr;
    Window window = 0;
    cairo_surface_t* surface = nullptr;
    int width = 0;
    int height = 0;
    long buttonsHeld = 0; // mouse buttons down, in the layer's bits

    ~Impl()
    {
        if (surface)
            cairo_surface_destroy(surface);
        if (display) {
            if (window) {
                XUnmapWindow(display, window);
                XDestroyWindow(display, window);
            }
            XSync(display, False);
            XCloseDisplay(display);
        }
    }
};

namespace {
bool parentError = false;
int noteParentError(Display*, XErrorEvent*)
{
    parentError = true;
    return 0;
}

// An X state mask and the layer's bit for it.
struct StateBit
{
    unsigned int mask;
    long bit;
};
constexpr StateBit ModifierBits[] = {{ShiftMask, kShift}, {ControlMask, kControl}, {Mod1Mask, kAlt}};
constexpr StateBit ButtonBits[] = {{Button1Mask, kLButton}, {Button2Mask, kMButton}, {Button3Mask, kRButton}};

// The layer's bits for the masks of table set in an X event's state.
template <size_t N>
long bitsOf(unsigned int state, const StateBit (&table)[N])
{
    long bits = 0;
    for (const StateBit& b : table)
        if (state & b.mask)
            bits |= b.bit;
    return bits;
}

long modifiersOf(unsigned int state)
{
    return bitsOf(state, ModifierBits);
}

long buttonsOf(unsigned int state)
{
    return bitsOf(state, ButtonBits);
}

long buttonBit(unsigned int button)
{
    switch (button) {
    case Button1: return kLButton;
    case Button2: return kMButton;
    case Button3: return kRButton;
    default: return 0;
    }
}

VstKeyCode keyCodeOf(XKeyEvent& event)
{
    VstKeyCode code{0, 0, 0};
    char text[8] = {};
    KeySym sym = NoSymbol;
    const int n = XLookupString(&event, text, sizeof text, &sym, nullptr);
    switch (sym) {
    case XK_BackSpace: code.virt = kVKeyBack; break;
    case XK_Tab: code.virt = kVKeyTab; break;
    case XK_Return: code.virt = kVKeyReturn; break;
    case XK_KP_Enter: code.virt = kVKeyEnter; break;
    case XK_Escape: code.virt = kVKeyEscape; break;
    case XK_space: code.virt = kVKeySpace; break;
    case XK_End: code.virt = kVKeyEnd; break;
    case XK_Home: code.virt = kVKeyHome; break;
    case XK_Left: code.virt = kVKeyLeft; break;
    case XK_Up: code.virt = kVKeyUp; break;
    case XK_Right: code.virt = kVKeyRight; break;
    case XK_Down: code.virt = kVKeyDown; break;
    case XK_Page_Up: code.virt = kVKeyPageUp; break;
    case XK_Page_Down: code.virt = kVKeyPageDown; break;
    case XK_Delete: code.virt = kVKeyDelete; break;
    default:
        if (sym >= XK_F1 && sym <= XK_F12)
            code.virt = static_cast<uint8_t>(kVKeyF1 + (sym - XK_F1));
        break;
    }
    if (n == 1 && static_cast<unsigned char>(text[0]) >= 32 && static_cast<unsigned char>(text[0]) < 127)
        code.character = static_cast<unsigned char>(text[0]);
    if (event.state & ShiftMask)
        code.modifier |= kKeyModShift;
    if (event.state & Mod1Mask)
        code.modifier |= kKeyModAlternate;
    if (event.state & ControlMask)
        code.modifier |= kKeyModControl;
    return code;
}
} // namespace

GuiX11Window::GuiX11Window(std::unique_ptr<Impl> i) : impl(std::move(i)) {}

GuiX11Window::~GuiX11Window() = default;

std::unique_ptr<GuiX11Window> GuiX11Window::open(unsigned long parent, int width, int height)
{
    auto impl = std::make_unique<Impl>();
    impl->display = XOpenDisplay(nullptr);
    if (!impl->display)
        return nullptr;
    Display* d = impl->display;
    // A parent id that names no window must not end the host: X reports it
    // as an error, which the default handler answers by exiting. Our own
    // handler is in place only for this one check.
    XSync(d, False);
    parentError = false;
    XErrorHandler previous = XSetErrorHandler(noteParentError);
    XWindowAttributes parentAttributes;
    const Status found = XGetWindowAttributes(d, parent, &parentAttributes);
    XSync(d, False);
    XSetErrorHandler(previous);
    if (!found || parentError)
        return nullptr;
    impl->width = width;
    impl->height = height;
    const int screen = DefaultScreen(d);
    impl->window = XCreateSimpleWindow(d, parent, 0, 0, static_cast<unsigned>(width),
                                       static_cast<unsigned>(height), 0, BlackPixel(d, screen),
                                       BlackPixel(d, screen));
    XSelectInput(d, impl->window,
                 ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                     KeyReleaseMask | StructureNotifyMask);
    XMapWindow(d, impl->window);
    impl->surface = cairo_xlib_surface_create(d, impl->window, DefaultVisual(d, screen), width, height);
    XFlush(d);
    return std::unique_ptr<GuiX11Window>(new GuiX11Window(std::move(impl)));
}

unsigned long GuiX11Window::getWindowId() const
{
    return impl->window;
}

void GuiX11Window::pump(CFrame& frame)
{
    Display* d = impl->display;
    bool exposed = false;
    while (XPending(d)) {
        XEvent e;
        XNextEvent(d, &e);
        switch (e.type) {
        case Expose:
            exposed = true;
            break;
        case ButtonPress: {
            const CPoint where(e.xbutton.x, e.xbutton.y);
            // Buttons 4 and 5 are the wheel, one step each.
            if (e.xbutton.button == Button4 || e.xbutton.button == Button5) {
                frame.platformWheel(where, e.xbutton.button == Button4 ? 1.f : -1.f,
                                    modifiersOf(e.xbutton.state));
                break;
            }
            impl->buttonsHeld |= buttonBit(e.xbutton.button);
            frame.platformMouseDown(where, impl->buttonsHeld | modifiersOf(e.xbutton.state));
            break;
        }
        case ButtonRelease: {
            if (e.xbutton.button == Button4 || e.xbutton.button == Button5)
                break;
            // X grabs the pointer for the pressed window until the last
            // button goes up, so the release reaches us even outside it.
            const long released = buttonBit(e.xbutton.button);
            impl->buttonsHeld &= ~released;
            frame.platformMouseUp(CPoint(e.xbutton.x, e.xbutton.y), released | modifiersOf(e.xbutton.state));
            break;
        }
        case MotionNotify:
            frame.platformMouseMoved(CPoint(e.xmotion.x, e.xmotion.y),
                                     buttonsOf(e.xmotion.state) | modifiersOf(e.xmotion.state));
            break;
        case KeyPress: {
            VstKeyCode code = keyCodeOf(e.xkey);
            frame.platformKeyDown(code);
            break;
        }
        case KeyRelease: {
            VstKeyCode code = keyCodeOf(e.xkey);
            frame.platformKeyUp(code);
            break;
        }
        default:
            break;
        }
    }
    if (exposed)
        present(*frame.getBackBuffer());
}

void GuiX11Window::present(CBitmap& backBuffer)
{
    cairo_t* cr = cairo_create(impl->surface);
    cairo_set_source_surface(cr, backBuffer.getSurface(), 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(impl->surface);
    XFlush(impl->display);
}

void GuiX11Window::resize(int width, int height)
{
    impl->width = width;
    impl->height = height;
    XResizeWindow(impl->display, impl->window, static_cast<unsigned>(width), static_cast<unsigned>(height));
    cairo_xlib_surface_set_size(impl->surface, width, height);
    XFlush(impl->display);
}
