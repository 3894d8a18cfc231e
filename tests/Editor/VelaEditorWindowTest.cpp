// The instrument's editor through the plug-in in a real X window: needs a
// display (CI runs it under Xvfb) and is skipped without one. The test plays
// the host with Xlib: its window, X button and motion events sent to the
// editor's window, the editor's idle between them, and a handler that fails
// the test on any X error.
#include "CFrame.h"
#include "COptionMenuOverlay.h"
#include "EPAS.h"
#include "KeyboardBase.h"
#include "SignalMeasure.h"
#include "VelaEditor.h"
#include "VelaExtTable.h"
#include "VelaPages.h"
#include "VelaPlayer.h"

#include <gtest/gtest.h>
// After gtest: Xlib's macros (None, Bool) would clash with its names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>

namespace {
int xErrors = 0;
int countXError(Display*, XErrorEvent* e)
{
    ++xErrors;
    ADD_FAILURE() << "X error " << int(e->error_code) << " on request " << int(e->request_code);
    return 0;
}

Display* sharedDisplay()
{
    static Display* display = [] {
        Display* opened = XOpenDisplay(nullptr);
        for (int i = 0; !opened && std::getenv("DISPLAY") && i < 40; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            opened = XOpenDisplay(nullptr);
        }
        return opened;
    }();
    return display;
}

// The host: its window, the plug-in with its editor open in it.
struct WindowHost
{
    struct Factory
    {
        Factory() { Vela_c::setEditorFactory(&VelaEditor_c::create); }
        ~Factory() { Vela_c::setEditorFactory(nullptr); }
    } factory;
    Display* d = sharedDisplay();
    XErrorHandler previous = nullptr;
    Window parent = 0;
    Window child = 0;
    std::unique_ptr<VelaPlayer> player;
    VelaEditor_c* editor = nullptr;

    WindowHost()
    {
        if (!d)
            return;
        previous = XSetErrorHandler(countXError);
        xErrors = 0;
        player = std::make_unique<VelaPlayer>();
        editor = dynamic_cast<VelaEditor_c*>(player->plugin().getEditor());
        parent = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 800, 480, 0, 0, 0);
        XMapWindow(d, parent);
        XSync(d, False);
        if (player->call(effEditOpen, 0, 0, reinterpret_cast<void*>(parent)) && editor && editor->getFrame())
            child = editor->getFrame()->getWindowId();
        idle(5);
    }
    ~WindowHost()
    {
        if (!d)
            return;
        player->call(effEditClose);
        player.reset();
        XSync(d, False);
        XDestroyWindow(d, parent);
        XSync(d, False);
        EXPECT_EQ(xErrors, 0);
        XSetErrorHandler(previous);
    }
    WindowHost(const WindowHost&) = delete;
    WindowHost& operator=(const WindowHost&) = delete;

    Vela_c& vela() { return player->plugin(); }
    void idle(int rounds = 3)
    {
        for (int i = 0; i < rounds; ++i) {
            XSync(d, False);
            player->call(effEditIdle);
            player->call(effIdle);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    void button(int x, int y, bool press, unsigned state = 0)
    {
        XEvent e{};
        e.xbutton.type = press ? ButtonPress : ButtonRelease;
        e.xbutton.window = child;
        e.xbutton.root = DefaultRootWindow(d);
        e.xbutton.x = x;
        e.xbutton.y = y;
        e.xbutton.button = Button1;
        e.xbutton.state = press ? state : state | Button1Mask;
        e.xbutton.same_screen = True;
        XSendEvent(d, child, True, press ? ButtonPressMask : ButtonReleaseMask, &e);
        XFlush(d);
    }
    void motion(int x, int y)
    {
        XEvent e{};
        e.xmotion.type = MotionNotify;
        e.xmotion.window = child;
        e.xmotion.root = DefaultRootWindow(d);
        e.xmotion.x = x;
        e.xmotion.y = y;
        e.xmotion.state = Button1Mask;
        e.xmotion.same_screen = True;
        XSendEvent(d, child, True, PointerMotionMask | ButtonMotionMask, &e);
        XFlush(d);
    }
    // A press, a drag in steps across idles and a release.
    void drag(CPoint from, CPoint to)
    {
        button(from.h, from.v, true);
        idle(2);
        for (int k = 1; k <= 4; ++k) {
            motion(from.h + (to.h - from.h) * k / 4, from.v + (to.v - from.v) * k / 4);
            idle(1);
        }
        button(to.h, to.v, false);
        idle(3);
    }
    void click(CPoint at) { drag(at, at); }
    // The window's pixels of a rectangle, as 0xRRGGBB words.
    std::vector<unsigned long> pixels(CRect r)
    {
        std::vector<unsigned long> out;
        XImage* image = XGetImage(d, parent, r.left, r.top, unsigned(r.width()), unsigned(r.height()), AllPlanes,
                                  ZPixmap);
        if (!image)
            return out;
        for (int y = 0; y < r.height(); ++y)
            for (int x = 0; x < r.width(); ++x)
                out.push_back(XGetPixel(image, x, y) & 0xffffff);
        XDestroyImage(image);
        return out;
    }
    // Shows upper page p and lower page q as the selectors would.
    void show(int upper, int lower)
    {
        vela().setParaVal(VelaEditor_c::EditPageIndex, upper);
        vela().setParaVal(604, lower);
        editor->setDirty(VelaEditor_c::EditPageIndex, false);
        editor->setDirty(604, false);
        idle();
    }
};

// The external entries that address the same parameter as entry i.
std::set<int> sameParameter(Vela_c& vela, int i)
{
    std::set<int> same{i};
    const EPAS_c* a = vela.getEPAS(i);
    if (!a || !a->target)
        return same;
    for (int k = 0; k < VelaEditor_c::NumEdits; ++k)
        if (const EPAS_c* b = vela.getEPAS(k); b && b->target == a->target && b->parameter == a->parameter &&
                                                b->instrument == a->instrument && b->selector == a->selector)
            same.insert(k);
    return same;
}

std::vector<float> values(Vela_c& vela)
{
    std::vector<float> v;
    for (int i = 0; i < VelaEditor_c::NumEdits; ++i)
        v.push_back(vela.getParameterEdited(i));
    return v;
}
} // namespace

TEST(VelaEditorWindow, EachPageSelectorAndPageTouchAreaShowsItsPage)
{
    WindowHost h;
    if (!h.d)
        GTEST_SKIP() << "no X display";
    ASSERT_NE(h.child, 0u);
    CModulFrameVx* edit = h.editor->getEditFrame();
    // The page tabs: seven cells of 72 x 22 at the window's top left.
    for (int page : {3, 0, 6, 1, 5, 2, 4}) {
        h.click(CPoint(72 * page + 36, 11));
        EXPECT_EQ(h.vela().getParaVal(VelaEditor_c::EditPageIndex), page);
        for (int other = 1; other <= 7; ++other)
            EXPECT_EQ(edit->isChild(h.editor->getExchFrame(other)), other == page + 1) << page << " " << other;
    }
    // The lower page tabs: two cells of 52 x 18 at (613, 327).
    for (int lower : {1, 0}) {
        h.click(CPoint(613 + 52 * lower + 26, 336));
        EXPECT_EQ(h.vela().getParaVal(604), lower);
        EXPECT_EQ(edit->isChild(h.editor->getExchFrame(VelaPages::KeysPage)), lower == 1);
    }
    // The touch areas of "main" open the pages they show (the filter's at
    // (406, 74) of the page), the ones beside the tabs the settings.
    h.show(0, 0);
    h.click(CPoint(406 + 15, 37 + 74 + 15));
    EXPECT_EQ(h.vela().getParaVal(VelaEditor_c::EditPageIndex), 3);
    EXPECT_TRUE(edit->isChild(h.editor->getExchFrame(VelaPages::FilterPage)));
    h.click(CPoint(300 + 80, 327 + 11));
    EXPECT_EQ(h.vela().getParaVal(VelaEditor_c::EditPageIndex), 6);
}

TEST(VelaEditorWindow, ADragOnAControlOfEachKindChangesExactlyItsParameterInOneGesture)
{
    WindowHost h;
    if (!h.d)
        GTEST_SKIP() << "no X display";
    ASSERT_NE(h.child, 0u);
    AEffect* e = h.player->effect();
    e->setParameter(e, 213, 0.f);        // effect 1: the delay
    e->setParameter(e, 510, 1.f);        // the first 5.1 row on
    struct Case
    {
        const char* kind;
        int upper, lower; // the pages shown
        int index;        // the parameter (a pad: and index + 1)
        CPoint from, to;  // in the window
        int also = -1;
    };
    const Case cases[] = {
        {"knob", 1, 0, 4, {50, 135}, {62, 160}},
        {"effect bar", 4, 0, 225, {100, 83}, {125, 70}},
        {"envelope slider", 3, 0, 141, {514, 100}, {514, 125}},
        {"XY pad", 0, 0, 585, {60, 90}, {72, 80}, 586},
        {"on/off", 0, 0, 504, {148, 98}, {148, 98}},
        {"radio", 5, 0, 606, {396 + 36 * 2 + 18, 62}, {396 + 36 * 2 + 18, 62}},
        {"plus/minus", 0, 0, 482, {653, 293}, {653, 293}},
        {"depth display", 5, 0, 680, {600, 191}, {600, 171}},
        {"mixer slider", 0, 0, 523, {150, 373}, {175, 373}},
    };
    for (const Case& c : cases) {
        h.show(c.upper, c.lower);
        h.player->testHost().takeParameterCalls();
        const std::vector<float> before = values(h.vela());
        h.drag(c.from, c.to);
        const std::vector<float> after = values(h.vela());
        std::set<int> allowed = sameParameter(h.vela(), c.index);
        if (c.also >= 0)
            for (int k : sameParameter(h.vela(), c.also))
                allowed.insert(k);
        EXPECT_NE(before[size_t(c.index)], after[size_t(c.index)]) << c.kind << " " << c.index << " did not change";
        for (int i = 0; i < VelaEditor_c::NumEdits; ++i) {
            if (before[size_t(i)] != after[size_t(i)]) {
                EXPECT_TRUE(allowed.count(i)) << c.kind << " " << c.index << " changed " << i;
            }
        }
        // One gesture per host parameter edited, begun before and ended after
        // its automation.
        std::vector<std::pair<int, int>> gestures;
        for (const auto& call : h.player->testHost().takeParameterCalls()) {
            if (call.opcode == audioMasterAutomate) {
                EXPECT_TRUE(allowed.count(call.index)) << c.kind << " automated " << call.index;
                continue;
            }
            gestures.push_back({call.opcode, call.index});
        }
        std::vector<std::pair<int, int>> expected;
        if (c.index < VelaExt::HostEntries) {
            if (c.also >= 0)
                expected = {{audioMasterBeginEdit, c.index}, {audioMasterBeginEdit, c.also},
                            {audioMasterEndEdit, c.index}, {audioMasterEndEdit, c.also}};
            else
                expected = {{audioMasterBeginEdit, c.index}, {audioMasterEndEdit, c.index}};
        }
        EXPECT_EQ(gestures, expected) << c.kind << " " << c.index;
    }
}

TEST(VelaEditorWindow, AMenuOfAPageOpensAndItsPickChangesExactlyItsParameter)
{
    WindowHost h;
    if (!h.d)
        GTEST_SKIP() << "no X display";
    ASSERT_NE(h.child, 0u);
    h.show(0, 0);
    // The first effect's type menu on "main", at (654, 14) of the page.
    const int index = 579;
    AEffect* e = h.player->effect();
    e->setParameter(e, index, 0.f);
    h.idle();
    h.player->testHost().takeParameterCalls();
    const std::vector<float> before = values(h.vela());
    h.click(CPoint(654 + 32, 37 + 14 + 5));
    auto* overlay = static_cast<COptionMenuOverlay*>(h.editor->getFrame()->getMenuOverlay());
    ASSERT_NE(overlay, nullptr) << "the click opens the list";
    const CRect chorus = overlay->getEntryRect(0, 3);
    h.click(CPoint((chorus.left + chorus.right) / 2, (chorus.top + chorus.bottom) / 2));
    EXPECT_EQ(h.editor->getFrame()->getMenuOverlay(), nullptr);
    EXPECT_EQ(h.vela().getParaVal(index), 3) << "the chorus";
    const std::vector<float> after = values(h.vela());
    const std::set<int> allowed = sameParameter(h.vela(), index);
    EXPECT_TRUE(allowed.count(213)) << "the fx page's menu shows the same type";
    for (int i = 0; i < VelaEditor_c::NumEdits; ++i) {
        if (before[size_t(i)] != after[size_t(i)]) {
            EXPECT_TRUE(allowed.count(i)) << "changed " << i;
        }
    }
    int begins = 0, ends = 0;
    for (const auto& call : h.player->testHost().takeParameterCalls()) {
        begins += call.opcode == audioMasterBeginEdit;
        ends += call.opcode == audioMasterEndEdit;
        EXPECT_TRUE(allowed.count(call.index)) << "told the host of " << call.index;
    }
    EXPECT_EQ(begins, ends) << "balanced gestures";
}

TEST(VelaEditorWindow, AHostsChangeRedrawsItsControlInTheWindow)
{
    WindowHost h;
    if (!h.d)
        GTEST_SKIP() << "no X display";
    ASSERT_NE(h.child, 0u);
    h.show(1, 0);
    AEffect* e = h.player->effect();
    // Generator 1's volume knob at (50, 108) of "gen01".
    const CRect knob(50 - 16, 37 + 108 - 16, 50 + 17, 37 + 108 + 17);
    e->setParameter(e, 4, 0.f);
    h.idle();
    const std::vector<unsigned long> low = h.pixels(knob);
    e->setParameter(e, 4, 1.f);
    h.idle();
    const std::vector<unsigned long> high = h.pixels(knob);
    ASSERT_FALSE(low.empty());
    EXPECT_NE(low, high);
    e->setParameter(e, 4, 0.f);
    h.idle();
    EXPECT_EQ(h.pixels(knob), low);
}

TEST(VelaEditorWindow, AClickOnTheOnScreenKeyboardSounds)
{
    WindowHost h;
    if (!h.d)
        GTEST_SKIP() << "no X display";
    ASSERT_NE(h.child, 0u);
    h.show(0, 1);
    // Middle C, low on its key: the keyboard at (58, 34) of the lower page.
    const CPoint middleC(58 + 2 * 7 * 18 + 5, 348 + 34 + 80);
    h.button(middleC.h, middleC.v, true);
    h.idle();
    std::array<std::vector<float>, 2> out;
    h.player->render(0.1, out);
    EXPECT_GT(SignalMeasure::rms(out[0]), 1e-3);
    h.idle();
    EXPECT_GT(h.editor->getKeyboard(0)->getKeyVelocity(60), 0) << "the key lights as the engine plays it";
    h.button(middleC.h, middleC.v, false);
    h.idle();
    h.player->render(1.5, out);
    h.idle();
    EXPECT_EQ(h.editor->getKeyboard(0)->getKeyVelocity(60), 0);
}

TEST(VelaEditorWindow, WithoutIdleFromTheHostTheWindowStillAnswersAClick)
{
    WindowHost h;
    if (!h.d)
        GTEST_SKIP() << "no X display";
    ASSERT_NE(h.child, 0u);
    ASSERT_NE(h.vela().getParaVal(VelaEditor_c::EditPageIndex), 3);
    // A click on the filter page's tab, and from now on no idle call of any
    // kind: the engine's timer takes the window's events after a second.
    h.button(72 * 3 + 36, 11, true);
    h.button(72 * 3 + 36, 11, false);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (h.vela().getParaVal(VelaEditor_c::EditPageIndex) != 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(h.vela().getParaVal(VelaEditor_c::EditPageIndex), 3);
    // The host idles again: its calls carry the window from here.
    h.click(CPoint(72 * 0 + 36, 11));
    EXPECT_EQ(h.vela().getParaVal(VelaEditor_c::EditPageIndex), 0);
}
