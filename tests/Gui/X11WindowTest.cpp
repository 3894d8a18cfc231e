// The frame in a real X window: needs a display (CI runs it under Xvfb) and
// is skipped without one. The test plays the host with Xlib and, like a GTK
// host, an X error handler that fails the test on any error.
#include "CBitmap.h"
#include "CControl.h"
#include "CFrame.h"
#include "GuiTestViews.h"

#include <gtest/gtest.h>
// After gtest: Xlib's macros (None, Bool) would clash with its names.
#include "X11TestHost.h"
#include <X11/keysym.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

using X11Test::Host;
using X11Test::idleUntil;
using X11Test::sendButton;
using X11Test::viewable;
using X11Test::xErrors;

namespace {
struct WheelBox : GuiTest::Box
{
    using Box::Box;
    bool onWheel(const CPoint&, const float& distance, const long& buttons) override
    {
        wheel.push_back(distance);
        wheelButtons = buttons;
        return true;
    }
    std::vector<float> wheel;
    long wheelButtons = 0;
};

// A key press that propagates as a real one does: to the first window up
// from w that asks for key presses.
void sendKey(Display* d, Window w, KeySym sym)
{
    XEvent e{};
    e.xkey.type = KeyPress;
    e.xkey.window = w;
    e.xkey.root = DefaultRootWindow(d);
    e.xkey.x = e.xkey.y = 5;
    e.xkey.keycode = XKeysymToKeycode(d, sym);
    e.xkey.same_screen = True;
    XSendEvent(d, w, True, KeyPressMask, &e);
    XFlush(d);
}

long keyMaskOf(Display* d, Window w)
{
    XWindowAttributes a;
    XGetWindowAttributes(d, w, &a);
    return a.all_event_masks & (KeyPressMask | KeyReleaseMask);
}
} // namespace

TEST(GuiX11Window, OpensInTheHostsWindowAndMapsButtonsWheelAndModifiers)
{
    Host host;
    if (!host.d)
        GTEST_SKIP() << "no X display";
    const Window parent = host.plainWindow();
    CFrame* frame = new CFrame(CRect(0, 0, 200, 100), reinterpret_cast<void*>(parent), nullptr);
    ASSERT_TRUE(frame->hasWindow());
    auto* box = new WheelBox(CRect(50, 20, 150, 80), CColor{0, 0, 255, 255});
    frame->addView(box);
    frame->idle();
    const Window child = frame->getWindowId();

    sendButton(host.d, child, 60, 30, Button3, ShiftMask | ControlMask, true);
    ASSERT_TRUE(idleUntil(frame, [&] { return box->presses.size() == 1; }));
    EXPECT_EQ(box->presses[0], CPoint(60, 30));
    EXPECT_EQ(box->lastButtons, kRButton | kShift | kControl);
    sendButton(host.d, child, 70, 30, Button3, Button3Mask, false);
    ASSERT_TRUE(idleUntil(frame, [&] { return box->releases.size() == 1; }));

    sendButton(host.d, child, 60, 30, Button4, Mod1Mask, true);
    sendButton(host.d, child, 60, 30, Button5, 0, true);
    ASSERT_TRUE(idleUntil(frame, [&] { return box->wheel.size() == 2; }));
    EXPECT_EQ(box->wheel, (std::vector<float>{1.f, -1.f}));
    EXPECT_TRUE(box->presses.size() == 1) << "wheel buttons are no presses";

    // Buttons 6 to 9 (horizontal wheel, back, forward) mean nothing to the
    // editor: no press, release or wheel step reaches a view.
    for (unsigned button = 6; button <= 9; ++button) {
        sendButton(host.d, child, 60, 30, button, 0, true);
        sendButton(host.d, child, 60, 30, button, 0, false);
    }
    sendButton(host.d, child, 60, 30, Button5, 0, true); // a marker behind them
    ASSERT_TRUE(idleUntil(frame, [&] { return box->wheel.size() == 3; }));
    EXPECT_EQ(box->presses.size(), 1u);
    EXPECT_EQ(box->releases.size(), 1u);

    // The window shows the back buffer.
    EXPECT_EQ(host.pixel(parent, 100, 50) & 0xffffff, 0x0000ffu);
    EXPECT_EQ(frame->getWindowErrors(), 0);

    frame->forget();
    XSync(host.d, False);
    XDestroyWindow(host.d, parent);
}

TEST(GuiX11Window, AParentThatIsNoWindowLeavesTheFrameOffscreen)
{
    Host host;
    if (!host.d)
        GTEST_SKIP() << "no X display";
    CFrame* frame = new CFrame(CRect(0, 0, 20, 20), reinterpret_cast<void*>(uintptr_t{0x7ffffff0}), nullptr);
    EXPECT_FALSE(frame->hasWindow());
    frame->idle();
    frame->forget();
}

TEST(GuiX11Window, TheHostsWindowDestroyedBeforeCloseGivesNoXError)
{
    Host host;
    if (!host.d)
        GTEST_SKIP() << "no X display";
    struct Case
    {
        const char* what;
        bool idleBetween; // the editor idles once more after the host's window went
    };
    const Case cases[] = {{"idle after the window went, then close", true}, {"close at once", false}};
    for (const Case& c : cases) {
        const Window parent = host.plainWindow();
        CFrame* frame = new CFrame(CRect(0, 0, 200, 100), reinterpret_cast<void*>(parent), nullptr);
        auto* box = new GuiTest::Box(CRect(10, 10, 50, 50));
        frame->addView(box);
        frame->idle();
        XDestroyWindow(host.d, parent);
        XSync(host.d, False);
        if (c.idleBetween) {
            EXPECT_TRUE(idleUntil(frame, [&] { return !frame->hasWindow(); })) << c.what;
            box->setDirty(true);
            frame->idle(); // would present into the gone window
            EXPECT_EQ(frame->getWindowErrors(), 0) << c.what << ": nothing was sent to the gone window";
        }
        frame->forget();
        XSync(host.d, False);
    }
    EXPECT_EQ(xErrors, 0);
}

TEST(GuiX11Window, AnArgbParentHoldsAWindowThatDraws)
{
    Host host;
    if (!host.d)
        GTEST_SKIP() << "no X display";
    XVisualInfo info;
    if (!XMatchVisualInfo(host.d, DefaultScreen(host.d), 32, TrueColor, &info))
        GTEST_SKIP() << "no 32-bit visual";
    XSetWindowAttributes a{};
    a.colormap = XCreateColormap(host.d, DefaultRootWindow(host.d), info.visual, AllocNone);
    a.border_pixel = 0;
    a.background_pixel = 0;
    const Window parent = XCreateWindow(host.d, DefaultRootWindow(host.d), 0, 0, 200, 100, 0, 32, InputOutput,
                                        info.visual, CWColormap | CWBorderPixel | CWBackPixel, &a);
    XMapWindow(host.d, parent);
    XSync(host.d, False);

    CFrame* frame = new CFrame(CRect(0, 0, 200, 100), reinterpret_cast<void*>(parent), nullptr);
    ASSERT_TRUE(frame->hasWindow());
    frame->addView(new GuiTest::Box(CRect(0, 0, 200, 100), CColor{0, 0, 255, 255}));
    ASSERT_TRUE(idleUntil(frame, [&] { return viewable(host.d, frame->getWindowId()); }));
    frame->redrawAll();
    XSync(host.d, False);
    EXPECT_TRUE(idleUntil(frame, [&] { return (host.pixel(parent, 100, 50) & 0xffffff) == 0x0000ffu; }));
    EXPECT_EQ(host.pixel(parent, 100, 50) >> 24, 0xffu) << "the editor is opaque";
    EXPECT_EQ(frame->getWindowErrors(), 0);
    frame->forget();
    XSync(host.d, False);
    XDestroyWindow(host.d, parent);
    XFreeColormap(host.d, a.colormap);
}

TEST(GuiX11Window, NothingPaintsTheWindowBeforeTheFirstFrame)
{
    Host host;
    if (!host.d)
        GTEST_SKIP() << "no X display";
    const Window parent = host.plainWindow(WhitePixel(host.d, DefaultScreen(host.d)));
    CFrame* frame = new CFrame(CRect(0, 0, 200, 100), reinterpret_cast<void*>(parent), nullptr);
    ASSERT_TRUE(frame->hasWindow());
    for (int i = 0; i < 100 && !viewable(host.d, frame->getWindowId()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(viewable(host.d, frame->getWindowId()));
    EXPECT_EQ(host.pixel(parent, 100, 50) & 0xffffff, 0xffffffu) << "the host's pixels stay until we draw";
    frame->forget();
    XSync(host.d, False);
    XDestroyWindow(host.d, parent);
}

TEST(GuiX11Window, KeysReachTheWindowOnlyWhileATextIsEdited)
{
    Host host;
    if (!host.d)
        GTEST_SKIP() << "no X display";
    const Window parent = host.plainWindow();
    XSelectInput(host.d, parent, KeyPressMask);
    CFrame* frame = new CFrame(CRect(0, 0, 200, 100), reinterpret_cast<void*>(parent), nullptr);
    auto* edit = new CTextEdit(CRect(10, 10, 110, 30), nullptr, 1, "ab");
    frame->addView(edit);
    frame->idle();
    const Window child = frame->getWindowId();
    // Keys the host's window received (a sent event keeps the window it was
    // sent to, wherever it goes).
    int hostKeys = 0;
    const auto hostGotKey = [&] {
        XEvent e;
        while (XCheckTypedEvent(host.d, KeyPress, &e))
            ++hostKeys;
        return hostKeys > 0;
    };

    EXPECT_EQ(keyMaskOf(host.d, child), 0) << "the window asks for no keys";
    sendKey(host.d, child, XK_x);
    EXPECT_TRUE(idleUntil(frame, hostGotKey)) << "a key over the editor goes on to the host";
    EXPECT_STREQ(edit->getText(), "ab");
    hostKeys = 0;

    sendButton(host.d, child, 20, 20, Button1, 0, true);
    sendButton(host.d, child, 20, 20, Button1, Button1Mask, false);
    ASSERT_TRUE(idleUntil(frame, [&] { return edit->isEditing(); }));
    frame->idle();
    EXPECT_NE(keyMaskOf(host.d, child), 0) << "while the text is edited the window takes the keys";
    sendKey(host.d, child, XK_x);
    sendKey(host.d, child, XK_Left); // an arrow stays with the text, never reaches the host
    EXPECT_TRUE(idleUntil(frame, [&] { return std::string(edit->getText()) == "abx"; }));
    sendKey(host.d, child, XK_Return);
    EXPECT_TRUE(idleUntil(frame, [&] { return !edit->isEditing(); }));
    EXPECT_FALSE(hostGotKey());
    frame->idle();
    EXPECT_EQ(keyMaskOf(host.d, child), 0) << "the edit ended: keys go to the host again";
    EXPECT_EQ(frame->getWindowErrors(), 0);

    frame->forget();
    XSync(host.d, False);
    XDestroyWindow(host.d, parent);
}
