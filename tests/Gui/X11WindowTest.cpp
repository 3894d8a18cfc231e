// The frame in a real X window: needs a display (CI runs it under Xvfb) and
// is skipped without one.
#include "CBitmap.h"
#include "CFrame.h"
#include "GuiTestViews.h"

#include <gtest/gtest.h>
// After gtest: Xlib's macros (None, Bool) would clash with its names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <thread>

namespace {
struct Display_
{
    Display* d = XOpenDisplay(nullptr);
    ~Display_()
    {
        if (d)
            XCloseDisplay(d);
    }
    Display_() = default;
    Display_(const Display_&) = delete;
    Display_& operator=(const Display_&) = delete;
};

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

void sendButton(Display* d, Window w, int x, int y, unsigned button, unsigned state, bool press)
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

// Idles the frame until cond holds or a second has passed.
template <typename Cond>
bool idleUntil(CFrame* frame, Cond cond)
{
    for (int i = 0; i < 100 && !cond(); ++i) {
        frame->idle();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return cond();
}
} // namespace

TEST(GuiX11Window, OpensInTheHostsWindowAndMapsButtonsWheelAndModifiers)
{
    Display_ host;
    if (!host.d)
        GTEST_SKIP() << "no X display";
    const Window parent = XCreateSimpleWindow(host.d, DefaultRootWindow(host.d), 0, 0, 200, 100, 0, 0, 0);
    XMapWindow(host.d, parent);
    XSync(host.d, False);

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

    // The window shows the back buffer.
    XImage* image = XGetImage(host.d, parent, 100, 50, 1, 1, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(XGetPixel(image, 0, 0) & 0xffffff, 0x0000ffu);
    XDestroyImage(image);

    frame->forget();
    XSync(host.d, False);
    XDestroyWindow(host.d, parent);
    XSync(host.d, False);
}

TEST(GuiX11Window, AParentThatIsNoWindowLeavesTheFrameOffscreen)
{
    Display_ host;
    if (!host.d)
        GTEST_SKIP() << "no X display";
    CFrame* frame = new CFrame(CRect(0, 0, 20, 20), reinterpret_cast<void*>(uintptr_t{0x7ffffff0}), nullptr);
    EXPECT_FALSE(frame->hasWindow());
    frame->idle();
    frame->forget();
}
