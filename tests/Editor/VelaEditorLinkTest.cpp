// The editor and the engine of the plug-in, as a host drives them: host
// changes of a parameter reach its control, the keys the engine plays light
// on the keyboard page (host MIDI included), and a click on the on-screen
// keyboard sounds. Offscreen: the window tests do the same in a real window.
#include "CFrame.h"
#include "KeyboardBase.h"
#include "KnobsAndSliders.h"
#include "SignalMeasure.h"
#include "VelaEditor.h"
#include "VelaPages.h"
#include "VelaPlayer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

namespace {
// The plug-in with its editor (the factory registered as the plug-in does
// when it is loaded), opened and switched on, the editor open offscreen.
struct PluginWithEditor
{
    struct Factory
    {
        Factory() { Vela_c::setEditorFactory(&VelaEditor_c::create); }
        ~Factory() { Vela_c::setEditorFactory(nullptr); }
    } factory;
    VelaPlayer player;
    VelaEditor_c* editor = dynamic_cast<VelaEditor_c*>(player.plugin().getEditor());

    PluginWithEditor()
    {
        void* noWindow = reinterpret_cast<void*>(uintptr_t{0x7fffffff});
        if (editor)
            player.call(effEditOpen, 0, 0, noWindow);
        idle();
    }
    ~PluginWithEditor() { player.call(effEditClose); }
    // The host's user-interface loop: the editor's idle and the plug-in's.
    void idle()
    {
        player.call(effEditIdle);
        player.call(effIdle);
    }
    void render(double seconds)
    {
        std::array<std::vector<float>, 2> out;
        player.render(seconds, out);
        rendered = out;
    }
    std::array<std::vector<float>, 2> rendered;
};
} // namespace

TEST(VelaEditorLink, AHostsChangeOfAParameterRedrawsItsControl)
{
    PluginWithEditor p;
    ASSERT_NE(p.editor, nullptr);
    ASSERT_TRUE(p.editor->isEditorOpen());
    AEffect* e = p.player.effect();
    CControlVx* volume = p.editor->getEdit(4).mainControl; // generator 1's volume knob
    ASSERT_NE(volume, nullptr);
    for (float v : {0.25f, 0.8f}) {
        e->setParameter(e, 4, v);
        p.idle();
        EXPECT_NEAR(volume->DispValue(), p.player.plugin().getParameterEdited(4), 1e-6f);
        EXPECT_NEAR(volume->DispValue(), v, 0.02f);
    }
    // A host that automates on its rendering thread: the request waits in
    // the idle ring and the control follows at the next idle.
    std::thread audio([&] {
        std::array<std::vector<float>, 2> out;
        p.player.render(0.01, out);
        e->setParameter(e, 4, 0.5f);
    });
    audio.join();
    p.idle();
    EXPECT_NEAR(volume->DispValue(), p.player.plugin().getParameterEdited(4), 1e-6f);
    EXPECT_NEAR(volume->DispValue(), 0.5f, 0.02f);
}

TEST(VelaEditorLink, TheKeysPageLightsTheKeysTheEnginePlaysFromHostMidi)
{
    PluginWithEditor p;
    ASSERT_NE(p.editor, nullptr);
    CKeyboardBase* keys = p.editor->getKeyboard(0);
    ASSERT_NE(keys, nullptr);
    p.player.noteOn(60);
    p.render(0.02);
    EXPECT_EQ(keys->getKeyVelocity(60), 0) << "the key lights from the idle side";
    p.idle();
    EXPECT_EQ(keys->getKeyVelocity(60), 100);
    p.player.noteOff(60);
    p.render(0.02);
    p.idle();
    EXPECT_EQ(keys->getKeyVelocity(60), 0);
}

TEST(VelaEditorLink, AClickOnTheOnScreenKeyboardSounds)
{
    PluginWithEditor p;
    ASSERT_NE(p.editor, nullptr);
    // The keys page, where the keyboard stands at (58, 34) of the lower page
    // at y 348: a press on middle C (note 60, the fourth octave's first
    // white key) low on the key.
    p.player.plugin().setParaVal(604, 1);
    p.editor->setDirty(604, false);
    p.idle();
    CKeyboardBase* keys = p.editor->getKeyboard(0);
    ASSERT_NE(keys, nullptr);
    const CRect r = keys->getViewSize();
    const CPoint middleC(VelaPages::frame(VelaPages::KeysPage)->x + r.left + 7 * 18 * 2 + 5,
                         VelaPages::frame(VelaPages::KeysPage)->y + r.top + 80);
    CFrame* frame = p.editor->getFrame();
    ASSERT_NE(frame, nullptr);
    frame->platformMouseDown(middleC, kLButton);
    p.render(0.1);
    const double held = SignalMeasure::rms(p.rendered[0]);
    EXPECT_GT(held, 1e-3) << "the note sounds while the key is held";
    p.idle();
    EXPECT_GT(keys->getKeyVelocity(60), 0) << "and lights once the engine plays it";
    frame->platformMouseUp(middleC, 0);
    p.render(1.5);
    p.idle();
    EXPECT_EQ(keys->getKeyVelocity(60), 0);
}
