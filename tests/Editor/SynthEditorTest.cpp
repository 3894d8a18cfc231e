#include "CBitmap.h"
#include "CFrame.h"
#include "EditorTestRig.h"
#include "GuiKeys.h"
#include "VstInterface.h"

#include <gtest/gtest.h>

using EditorTest::Rig;
using EditorTest::TestEditor;

TEST(SynthEditor, EveryStoreIdHasAPictureAndOthersNone)
{
    RegistryTest::MapTestEngine engine;
    TestEditor editor(&engine);
    for (int id = 0; id <= 600; ++id)
        EXPECT_NE(SynthEditor_c::loadBitmap(id), nullptr) << id;
    EXPECT_EQ(SynthEditor_c::loadBitmap(601), nullptr);
    EXPECT_EQ(SynthEditor_c::loadBitmap(-1), nullptr);
}

TEST(SynthEditor, TwoEditorsShareThePictureStore)
{
    RegistryTest::MapTestEngine engine;
    const int64_t before = SynthEditor_c::getInstanceCount();
    auto first = std::make_unique<TestEditor>(&engine);
    auto second = std::make_unique<TestEditor>(&engine);
    EXPECT_EQ(SynthEditor_c::getInstanceCount(), before + 2);
    CBitmap* main = SynthEditor_c::loadBitmap(128);
    EXPECT_EQ(main, SynthEditor_c::loadBitmap(128)) << "loaded once";
    first->open(nullptr);
    second->open(nullptr);
    first.reset();
    // The survivor still draws with the shared picture.
    second->idle();
    const CColor want = main->getPixel(30, 20);
    EXPECT_EQ(second->getFrame()->getBackBuffer()->getPixel(30, 20), want);
    second.reset();
    EXPECT_EQ(SynthEditor_c::getInstanceCount(), before);
}

TEST(SynthEditor, OpensDrawsAndClosesOffscreen)
{
    Rig rig;
    TestEditor& e = rig.editor;
    ASSERT_NE(e.getFrame(), nullptr);
    ERect* rect = nullptr;
    ASSERT_TRUE(e.getRect(&rect));
    EXPECT_EQ(rect->right - rect->left, e.getWidth());
    EXPECT_EQ(rect->bottom - rect->top, e.getHeight());
    EXPECT_TRUE(e.getFrame()->isChild(e.getEditFrame()));
    EXPECT_STREQ(e.getEditFrame()->getName(), "MainEditFrame");
    EXPECT_EQ(e.getBackFrame(), nullptr) << "no back picture, no back frame";

    e.idle();
    CBitmap* main = SynthEditor_c::loadBitmap(128);
    for (CPoint p : {CPoint(1, 1), CPoint(20, 20), CPoint(400, 300), CPoint(e.getWidth() - 1, e.getHeight() - 1)})
        EXPECT_EQ(e.getFrame()->getBackBuffer()->getPixel(p.h, p.v), main->getPixel(p.h, p.v)) << p.h << "," << p.v;

    e.close();
    EXPECT_EQ(e.getFrame(), nullptr);
    EXPECT_FALSE(e.isEditorOpen());
    e.idle(); // nothing to do, nothing to crash
    EXPECT_TRUE(e.open(nullptr)) << "the host may open again";
    EXPECT_NE(e.getFrame(), nullptr);
}

TEST(SynthEditor, BackFrameSwitchesTheWindowSize)
{
    RegistryTest::MapTestEngine engine;
    TestEditor e(&engine, 200);
    e.open(nullptr);
    ASSERT_NE(e.getBackFrame(), nullptr);
    EXPECT_FALSE(e.getFrame()->isChild(e.getBackFrame())) << "made, not shown";
    e.switchBack();
    EXPECT_TRUE(e.isBackShown());
    EXPECT_TRUE(e.getFrame()->isChild(e.getBackFrame()));
    EXPECT_FALSE(e.getFrame()->isChild(e.getEditFrame()));
    EXPECT_EQ(e.getWidth(), SynthEditor_c::loadBitmap(200)->getWidth());
    e.switchBack();
    EXPECT_FALSE(e.isBackShown());
    EXPECT_TRUE(e.getFrame()->isChild(e.getEditFrame()));
    EXPECT_EQ(e.getWidth(), SynthEditor_c::loadBitmap(128)->getWidth());
    e.switchBack();
    e.close(); // with the back frame shown
}

TEST(SynthEditor, DirtyQueueBatchesAndFallsBackToAFullRedraw)
{
    Rig rig;
    TestEditor& e = rig.editor;
    e.idle();
    e.updated.clear();

    e.setDirty(5, false);
    e.setDirty(5, false);
    e.setDirty(9, false);
    e.idle();
    EXPECT_EQ(e.updated, (std::vector<int>{9, 5})) << "once each, last queued first";
    EXPECT_EQ(e.fullPasses, 0);

    e.updated.clear();
    for (int i = 0; i < 64; ++i)
        e.setDirty(100 + i, false);
    EXPECT_FALSE(e.getFullRedraw());
    e.idle();
    EXPECT_EQ(e.updated.size(), 64u);
    EXPECT_EQ(e.fullPasses, 0);

    e.updated.clear();
    for (int i = 0; i < 65; ++i)
        e.setDirty(200 + i, false);
    EXPECT_TRUE(e.getFullRedraw()) << "the 65th index asks for a full redraw";
    e.idle();
    EXPECT_EQ(e.fullPasses, 1);
    EXPECT_TRUE(e.updated.empty());
    EXPECT_EQ(e.getDirtyCount(), 0);

    e.close();
    e.setDirty(3, false);
    e.setDirty();
    EXPECT_EQ(e.getDirtyCount(), 0) << "a closed editor queues nothing";
    EXPECT_FALSE(e.getFullRedraw());
}

TEST(SynthEditor, ControlRecordsFollowTheFontColourAndEndTheirPresses)
{
    Rig rig;
    TestEditor& e = rig.editor;
    auto* control = new CControlVx(CRect(10, 10, 50, 30), &e, 7);
    e.getEditFrame()->addView(control);
    e.getRecord(7).control = control;
    e.setFontColorRGB(10, 20, 30, 255);
    EXPECT_EQ(control->getDrawColor(), (CColor{10, 20, 30, 255}));
    CPoint p(20, 20);
    control->onMouseDown(p, kLButton);
    EXPECT_TRUE(control->isMouseDown());
    e.mouseUpAllControls();
    EXPECT_FALSE(control->isMouseDown());
}

namespace {
struct TestKeyboard : CKeyboardBase
{
    using CKeyboardBase::CKeyboardBase;
    bool getKeyVelo(int, int, Note_c*) override { return false; }
};

NoteC_c noteOf(int note, int velocity, int channel)
{
    NoteC_c n;
    n.set(note, velocity, channel);
    return n;
}
} // namespace

TEST(SynthEditor, KeyboardsShowTheNotesOfTheirChannel)
{
    RegistryTest::MapTestEngine engine;
    TestEditor e(&engine, 200);
    e.open(nullptr);
    TestKeyboard* keys[3];
    for (int k = 0; k < 3; ++k) {
        keys[k] = new TestKeyboard(CRect(0, 10 * k, 100, 10 * k + 10), &e, 900 + k);
        e.getEditFrame()->addView(keys[k]);
        e.setKeyboard(k, keys[k]);
    }
    struct Case
    {
        bool all;
        int note, velocity, channel;
        int lit[3];
        const char* what;
    };
    const Case cases[] = {
        {false, 60, 100, 1, {0, 100, 0}, "channel 1 lights keyboard 1"},
        {false, 62, 90, 3, {0, 0, 0}, "channel 3 shows on no keyboard"},
        {true, 62, 90, 3, {90, 90, 90}, "all: every keyboard"},
    };
    for (const Case& c : cases) {
        e.noteOn(c.all, noteOf(c.note, c.velocity, c.channel));
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(keys[k]->getKeyVelocity(c.note), c.lit[k]) << c.what << ", keyboard " << k;
    }
    EXPECT_EQ(e.getDirtyCount(), 3) << "each keyboard's index queued once";

    e.allNotesOff();
    EXPECT_EQ(keys[1]->getKeyVelocity(60), 0);
    keys[0]->setKey(200, 300);
    EXPECT_EQ(keys[0]->getKeyVelocity(127), 127) << "clamped";

    e.switchBack();
    e.noteOn(false, noteOf(64, 80, 0));
    EXPECT_EQ(keys[0]->getKeyVelocity(64), 0) << "not while the back frame is shown";
    EXPECT_TRUE(keys[0]->onWheel(CPoint(1, 1), 1.f, 0)) << "keyboards take no wheel steps";
}

TEST(SynthEditor, ControlsReachTheEngineThroughTheEditor)
{
    struct Knob : CControlVx
    {
        using CControlVx::CControlVx;
        float valueFromPoint(CPoint& where) override { return static_cast<float>(where.h) / 100.f; }
    };
    struct Case
    {
        const char* what;
        long buttons;      // 0: a wheel step up instead of a press
        const char* calls; // b begin, s set, p step, e end
        float value;       // of the set, or the step's direction
    };
    const Case cases[] = {
        {"a press sets the value inside one gesture", kLButton, "bse", 0.4f},
        {"a wheel step steps once, never sets", 0, "bpe", 1.f},
        {"option in the lower half steps down", kLButton | kAlt, "bpe", -1.f},
    };
    for (const Case& c : cases) {
        Rig rig;
        auto* knob = new Knob(CRect(0, 0, 100, 20), &rig.editor, 12);
        knob->setType(5);
        rig.editor.getEditFrame()->addView(knob);
        if (c.buttons) {
            rig.editor.getFrame()->platformMouseDown(CPoint(40, 15), c.buttons);
            rig.editor.getFrame()->platformMouseUp(CPoint(40, 15), c.buttons);
        } else {
            rig.editor.getFrame()->platformWheel(CPoint(40, 15), 1.f, 0);
        }
        EXPECT_EQ(rig.engine.kinds(), c.calls) << c.what;
        for (const auto& call : rig.engine.calls)
            EXPECT_EQ(call.index, 12) << c.what;
        if (rig.engine.calls.size() == 3) {
            EXPECT_FLOAT_EQ(rig.engine.calls[1].value, c.value) << c.what;
        }
    }
}

TEST(SynthEditor, ADragOnAPageOfARuleLastsAcrossIdlesAndFullRedraws)
{
    struct Knob : CControlVx
    {
        using CControlVx::CControlVx;
        float valueFromPoint(CPoint& where) override { return static_cast<float>(where.h) / 100.f; }
    };
    Rig rig;
    TestEditor& e = rig.editor;
    CBitmap* tile = SynthEditor_c::loadBitmap(300);
    for (int n : {1, 10, 11})
        e.createExchFrame(n, 0, 0, tile, "panel");
    e.getEditFrame()->addView(e.getExchFrame(1));
    e.defineDepMod(500, 1, 10, 11);
    e.values[500] = 0;
    e.updateDepMod(-1);
    auto* knob = new Knob(CRect(0, 0, 30, 10), &e, 12);
    knob->setType(5);
    e.getExchFrame(10)->addView(knob);
    e.idle();
    const int passesBefore = e.fullPasses;

    CFrame* frame = e.getFrame();
    frame->platformMouseDown(CPoint(5, 5), kLButton);
    for (CCoord x : {10, 15, 20}) {
        e.setDirty(); // a full redraw during the drag re-selects the shown page
        e.idle();
        frame->platformMouseMoved(CPoint(x, 5), kLButton);
    }
    e.idle();
    frame->platformMouseUp(CPoint(20, 5), kLButton);
    EXPECT_EQ(rig.engine.kinds(), "bsssse") << "every move arrives and the gesture closes once";
    EXPECT_FALSE(knob->isMouseDown());
    EXPECT_EQ(e.fullPasses, passesBefore + 3) << "one full pass per request";
    e.idle();
    e.idle();
    EXPECT_EQ(e.fullPasses, passesBefore + 3) << "a full pass does not ask for the next one";
    EXPECT_TRUE(e.getExchFrame(10)->isAttached(frame));
}

TEST(SynthEditor, KeysGoToAnEditedTextFirstOtherwiseToTheEngine)
{
    Rig rig;
    TestEditor& e = rig.editor;
    auto* text = new CTextEdit(CRect(10, 10, 110, 30), nullptr, 3, "ab");
    e.getEditFrame()->addView(text);
    CFrame* frame = e.getFrame();
    VstKeyCode left{0, kVKeyLeft, 0};
    VstKeyCode x{'x', 0, 0};
    VstKeyCode ret{0, kVKeyReturn, 0};

    e.onKeyDown(left);
    ASSERT_EQ(rig.engine.commands.size(), 1u) << "without an edit a key is command 5";
    EXPECT_EQ(rig.engine.commands[0].command, 5);
    EXPECT_EQ(rig.engine.commands[0].value, kVKeyLeft);
    frame->windowKeyDown(x);
    EXPECT_EQ(rig.engine.commands.size(), 2u) << "a key typed into the window takes the same way";
    EXPECT_STREQ(text->getText(), "ab");

    frame->platformMouseDown(CPoint(20, 20), kLButton);
    frame->platformMouseUp(CPoint(20, 20), kLButton);
    ASSERT_TRUE(text->isEditing());
    EXPECT_TRUE(frame->wantsKeys());
    EXPECT_TRUE(e.onKeyDown(x));
    frame->windowKeyDown(x);
    EXPECT_STREQ(text->getText(), "abxx");
    EXPECT_TRUE(e.onKeyDown(ret));
    EXPECT_FALSE(text->isEditing());
    EXPECT_EQ(rig.engine.commands.size(), 2u) << "the text took every key while it was edited";
    e.onKeyDown(left);
    EXPECT_EQ(rig.engine.commands.size(), 3u);
}
