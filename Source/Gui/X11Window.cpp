#include "X11Window.h"

#include "CBitmap.h"
#include "CFrame.h"
#include "GuiKeys.h"
#include "VstInterface.h"

#include <cairo.h>
#include <xcb/xcb.h>

#define XK_MISCELLANY
#define XK_LATIN1
#include <X11/keysymdef.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
// Replies and events of XCB are malloc'ed; this frees them on every path.
template <typename T>
struct Reply
{
    T* p;
    explicit Reply(T* reply) : p(reply) {}
    ~Reply() { std::free(p); }
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

constexpr uint32_t BaseEventMask = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_BUTTON_PRESS |
                                   XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION |
                                   XCB_EVENT_MASK_STRUCTURE_NOTIFY;
constexpr uint32_t KeyEventMask = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE;

// An X state mask and the layer's bit for it.
struct StateBit
{
    unsigned int mask;
    long bit;
};
constexpr StateBit ModifierBits[] = {
    {XCB_MOD_MASK_SHIFT, kShift}, {XCB_MOD_MASK_CONTROL, kControl}, {XCB_MOD_MASK_1, kAlt}};
constexpr StateBit ButtonBits[] = {
    {XCB_BUTTON_MASK_1, kLButton}, {XCB_BUTTON_MASK_2, kMButton}, {XCB_BUTTON_MASK_3, kRButton}};

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

// Buttons 1-3 are the mouse's; 4 and 5 the wheel; 6-9 (horizontal wheel,
// back and forward) mean nothing to the editor and are dropped.
long buttonBit(unsigned int button)
{
    switch (button) {
    case 1: return kLButton;
    case 2: return kMButton;
    case 3: return kRButton;
    default: return 0;
    }
}

struct SpecialKey
{
    uint32_t keysym;
    uint8_t virt;
};
constexpr SpecialKey SpecialKeys[] = {
    {XK_BackSpace, kVKeyBack}, {XK_Tab, kVKeyTab},     {XK_Return, kVKeyReturn},     {XK_KP_Enter, kVKeyEnter},
    {XK_Escape, kVKeyEscape},  {XK_space, kVKeySpace}, {XK_End, kVKeyEnd},           {XK_Home, kVKeyHome},
    {XK_Left, kVKeyLeft},      {XK_Up, kVKeyUp},       {XK_Right, kVKeyRight},       {XK_Down, kVKeyDown},
    {XK_Page_Up, kVKeyPageUp}, {XK_Page_Down, kVKeyPageDown}, {XK_Delete, kVKeyDelete},
};
} // namespace

struct GuiX11Window::Impl
{
    xcb_connection_t* connection = nullptr;
    xcb_window_t window = 0;
    xcb_gcontext_t gc = 0;
    xcb_colormap_t colormap = 0;
    uint8_t depth = 24;
    bool swapBytes = false; // the server wants its pixels big-endian
    int width = 0;
    int height = 0;
    long buttonsHeld = 0; // mouse buttons down, in the layer's bits
    bool keysSelected = false;
    bool gone = false;
    int errors = 0;
    std::vector<uint8_t> scratch; // one request's pixels
    // The keyboard map: keysymsPerCode keysyms for each code from minCode.
    std::vector<uint32_t> keysyms;
    int keysymsPerCode = 0;
    int minCode = 8;

    ~Impl()
    {
        if (!connection)
            return;
        // Should the host's window (and ours with it) be gone already without
        // our knowing, these requests fail on our connection alone, quietly.
        if (window && !gone && !xcb_connection_has_error(connection))
            xcb_destroy_window(connection, window);
        xcb_disconnect(connection);
    }

    bool dead()
    {
        if (!gone && xcb_connection_has_error(connection))
            gone = true;
        return gone;
    }

    void loadKeyboardMap()
    {
        const xcb_setup_t* setup = xcb_get_setup(connection);
        minCode = setup->min_keycode;
        const int count = setup->max_keycode - setup->min_keycode + 1;
        Reply<xcb_get_keyboard_mapping_reply_t> map(xcb_get_keyboard_mapping_reply(
            connection, xcb_get_keyboard_mapping(connection, setup->min_keycode, static_cast<uint8_t>(count)),
            nullptr));
        keysyms.clear();
        keysymsPerCode = 0;
        if (!map)
            return;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.p);
        const int n = xcb_get_keyboard_mapping_keysyms_length(map.p);
        keysyms.assign(syms, syms + n);
        keysymsPerCode = map->keysyms_per_keycode;
    }

    // The keysym of a key with its Shift and Caps Lock state, as the core
    // protocol's first group reads it.
    uint32_t keysymOf(uint8_t code, uint16_t state) const
    {
        const int row = code - minCode;
        if (keysymsPerCode < 1 || row < 0 || (row + 1) * keysymsPerCode > static_cast<int>(keysyms.size()))
            return 0;
        const uint32_t* syms = &keysyms[static_cast<size_t>(row * keysymsPerCode)];
        uint32_t lower = syms[0];
        uint32_t upper = keysymsPerCode > 1 && syms[1] ? syms[1] : lower;
        if (lower >= 'A' && lower <= 'Z' && upper == lower)
            lower += 'a' - 'A';
        if (upper >= 'a' && upper <= 'z')
            upper -= 'a' - 'A';
        const bool letter = lower >= 'a' && lower <= 'z';
        bool shifted = (state & XCB_MOD_MASK_SHIFT) != 0;
        if (letter && (state & XCB_MOD_MASK_LOCK))
            shifted = !shifted;
        return shifted ? upper : lower;
    }

    VstKeyCode keyCodeOf(uint8_t code, uint16_t state) const
    {
        VstKeyCode key{0, 0, 0};
        const uint32_t sym = keysymOf(code, state);
        for (const SpecialKey& s : SpecialKeys)
            if (s.keysym == sym)
                key.virt = s.virt;
        if (sym >= XK_F1 && sym <= XK_F12)
            key.virt = static_cast<uint8_t>(kVKeyF1 + (sym - XK_F1));
        if (sym >= 0x20 && sym < 0x7f)
            key.character = static_cast<int32_t>(sym);
        if (state & XCB_MOD_MASK_SHIFT)
            key.modifier |= kKeyModShift;
        if (state & XCB_MOD_MASK_1)
            key.modifier |= kKeyModAlternate;
        if (state & XCB_MOD_MASK_CONTROL)
            key.modifier |= kKeyModControl;
        return key;
    }
};

namespace {
// The screen whose root is root.
const xcb_screen_t* screenOf(xcb_connection_t* c, xcb_window_t root)
{
    for (xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem; xcb_screen_next(&it))
        if (it.data->root == root)
            return it.data;
    return nullptr;
}

// True when visual draws 8-bit red, green and blue at 32 bits per pixel in
// the order of cairo's ARGB32 words.
bool takesArgbWords(xcb_connection_t* c, const xcb_screen_t* screen, xcb_visualid_t visual, uint8_t depth)
{
    bool wordPixels = false;
    for (xcb_format_iterator_t f = xcb_setup_pixmap_formats_iterator(xcb_get_setup(c)); f.rem; xcb_format_next(&f))
        if (f.data->depth == depth)
            wordPixels = f.data->bits_per_pixel == 32;
    if (!wordPixels)
        return false;
    for (xcb_depth_iterator_t d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d)) {
        if (d.data->depth != depth)
            continue;
        for (xcb_visualtype_iterator_t v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
            if (v.data->visual_id == visual)
                return v.data->red_mask == 0xff0000 && v.data->green_mask == 0xff00 && v.data->blue_mask == 0xff;
    }
    return false;
}
} // namespace

GuiX11Window::GuiX11Window(std::unique_ptr<Impl> i) : impl(std::move(i)) {}

GuiX11Window::~GuiX11Window() = default;

std::unique_ptr<GuiX11Window> GuiX11Window::open(unsigned long parentId, int width, int height)
{
    auto impl = std::make_unique<Impl>();
    impl->connection = xcb_connect(nullptr, nullptr);
    xcb_connection_t* c = impl->connection;
    if (xcb_connection_has_error(c))
        return nullptr;
    // A parent id that names no window is answered with an error reply on
    // our connection: nothing more happens and the frame stays offscreen.
    const auto parent = static_cast<xcb_window_t>(parentId);
    const xcb_get_window_attributes_cookie_t attrCookie = xcb_get_window_attributes(c, parent);
    const xcb_get_geometry_cookie_t geoCookie = xcb_get_geometry(c, parent);
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(c, attrCookie, &error));
    std::free(error);
    error = nullptr;
    Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geoCookie, &error));
    std::free(error);
    if (!attributes || !geometry || attributes->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT)
        return nullptr;
    const xcb_screen_t* screen = screenOf(c, geometry->root);
    const xcb_visualid_t visual = attributes->visual;
    impl->depth = geometry->depth;
    if (!screen || !takesArgbWords(c, screen, visual, impl->depth))
        return nullptr;
    impl->swapBytes = xcb_get_setup(c)->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    impl->width = width;
    impl->height = height;

    // Our own colormap and border pixel: a window whose visual is not the
    // screen's default needs both, or X refuses it (BadMatch).
    impl->colormap = xcb_generate_id(c);
    xcb_create_colormap(c, XCB_COLORMAP_ALLOC_NONE, impl->colormap, geometry->root, visual);
    impl->window = xcb_generate_id(c);
    const uint32_t values[] = {XCB_BACK_PIXMAP_NONE, 0, BaseEventMask, impl->colormap};
    const xcb_void_cookie_t made = xcb_create_window_checked(
        c, impl->depth, impl->window, parent, 0, 0, static_cast<uint16_t>(std::max(width, 1)),
        static_cast<uint16_t>(std::max(height, 1)), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, visual,
        XCB_CW_BACK_PIXMAP | XCB_CW_BORDER_PIXEL | XCB_CW_EVENT_MASK | XCB_CW_COLORMAP, values);
    if (xcb_generic_error_t* refused = xcb_request_check(c, made)) {
        std::free(refused);
        impl->window = 0;
        return nullptr;
    }
    impl->gc = xcb_generate_id(c);
    xcb_create_gc(c, impl->gc, impl->window, 0, nullptr);
    impl->loadKeyboardMap();
    xcb_map_window(c, impl->window);
    xcb_flush(c);
    return std::unique_ptr<GuiX11Window>(new GuiX11Window(std::move(impl)));
}

unsigned long GuiX11Window::getWindowId() const
{
    return impl->window;
}

bool GuiX11Window::isGone() const
{
    return impl->dead();
}

int GuiX11Window::getErrorCount() const
{
    return impl->errors;
}

void GuiX11Window::pump(CFrame& frame)
{
    xcb_connection_t* c = impl->connection;
    bool exposed = false;
    while (!impl->dead()) {
        Reply<xcb_generic_event_t> event(xcb_poll_for_event(c));
        if (!event)
            break;
        switch (event->response_type & 0x7f) {
        case 0: // an error reply to one of our requests
            ++impl->errors;
            break;
        case XCB_EXPOSE:
            exposed = true;
            break;
        case XCB_DESTROY_NOTIFY: {
            const auto* e = reinterpret_cast<const xcb_destroy_notify_event_t*>(event.p);
            if (e->window == impl->window)
                impl->gone = true;
            break;
        }
        case XCB_MAPPING_NOTIFY: {
            const auto* e = reinterpret_cast<const xcb_mapping_notify_event_t*>(event.p);
            if (e->request == XCB_MAPPING_KEYBOARD)
                impl->loadKeyboardMap();
            break;
        }
        case XCB_BUTTON_PRESS: {
            const auto* e = reinterpret_cast<const xcb_button_press_event_t*>(event.p);
            const CPoint where(e->event_x, e->event_y);
            if (e->detail == 4 || e->detail == 5) { // the wheel, one step each
                frame.platformWheel(where, e->detail == 4 ? 1.f : -1.f, modifiersOf(e->state));
                break;
            }
            const long bit = buttonBit(e->detail);
            if (!bit)
                break;
            impl->buttonsHeld |= bit;
            frame.platformMouseDown(where, impl->buttonsHeld | modifiersOf(e->state));
            break;
        }
        case XCB_BUTTON_RELEASE: {
            const auto* e = reinterpret_cast<const xcb_button_release_event_t*>(event.p);
            // X grabs the pointer for the pressed window until the last
            // button goes up, so the release reaches us even outside it.
            const long released = buttonBit(e->detail);
            if (!released)
                break;
            impl->buttonsHeld &= ~released;
            frame.platformMouseUp(CPoint(e->event_x, e->event_y), released | modifiersOf(e->state));
            break;
        }
        case XCB_MOTION_NOTIFY: {
            const auto* e = reinterpret_cast<const xcb_motion_notify_event_t*>(event.p);
            frame.platformMouseMoved(CPoint(e->event_x, e->event_y), buttonsOf(e->state) | modifiersOf(e->state));
            break;
        }
        case XCB_KEY_PRESS: {
            const auto* e = reinterpret_cast<const xcb_key_press_event_t*>(event.p);
            VstKeyCode key = impl->keyCodeOf(e->detail, e->state);
            frame.windowKeyDown(key);
            break;
        }
        case XCB_KEY_RELEASE: {
            const auto* e = reinterpret_cast<const xcb_key_release_event_t*>(event.p);
            VstKeyCode key = impl->keyCodeOf(e->detail, e->state);
            frame.windowKeyUp(key);
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
    if (impl->dead())
        return;
    xcb_connection_t* c = impl->connection;
    cairo_surface_t* surface = backBuffer.getSurface();
    cairo_surface_flush(surface);
    const uint8_t* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const int w = std::min(impl->width, backBuffer.getWidth());
    const int h = std::min(impl->height, backBuffer.getHeight());
    if (!data || w < 1 || h < 1)
        return;
    // Whole rows per request, within the largest request the server takes
    // (in 4-byte units; a put-image request has a 24-byte head).
    const size_t maxBytes = static_cast<size_t>(xcb_get_maximum_request_length(c)) * 4 - 24;
    const size_t rowBytes = static_cast<size_t>(w) * 4;
    const int rowsPerRequest = std::max(1, static_cast<int>(std::min<size_t>(maxBytes / rowBytes, 1 << 15)));
    // A 32-bit window would show what lies behind it through transparent
    // pixels: the editor is opaque.
    const uint32_t opaque = impl->depth == 32 ? 0xff000000u : 0u;
    for (int top = 0; top < h; top += rowsPerRequest) {
        const int rows = std::min(rowsPerRequest, h - top);
        impl->scratch.resize(rowBytes * static_cast<size_t>(rows));
        for (int y = 0; y < rows; ++y) {
            const auto* src = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(top + y) * stride);
            auto* dst = reinterpret_cast<uint32_t*>(impl->scratch.data() + rowBytes * static_cast<size_t>(y));
            for (int x = 0; x < w; ++x) {
                const uint32_t p = src[x] | opaque;
                dst[x] = impl->swapBytes ? __builtin_bswap32(p) : p;
            }
        }
        xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, impl->window, impl->gc, static_cast<uint16_t>(w),
                      static_cast<uint16_t>(rows), 0, static_cast<int16_t>(top), 0, impl->depth,
                      static_cast<uint32_t>(impl->scratch.size()), impl->scratch.data());
    }
    xcb_flush(c);
}

void GuiX11Window::resize(int width, int height)
{
    impl->width = width;
    impl->height = height;
    if (impl->dead())
        return;
    const uint32_t values[] = {static_cast<uint32_t>(std::max(width, 1)), static_cast<uint32_t>(std::max(height, 1))};
    xcb_configure_window(impl->connection, impl->window, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, values);
    xcb_flush(impl->connection);
}

void GuiX11Window::selectKeys(bool on)
{
    if (on == impl->keysSelected || impl->dead())
        return;
    impl->keysSelected = on;
    const uint32_t mask = BaseEventMask | (on ? KeyEventMask : 0u);
    xcb_change_window_attributes(impl->connection, impl->window, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(impl->connection);
}
