#include "CBitmap.h"
#include "CFrame.h"
#include "EngineTestHost.h"
#include "Vela.h"
#include "VelaEditor.h"

#include <gtest/gtest.h>

namespace {
// Registers the plug-in's editor factory for one test, as the plug-in does at load.
struct EditorFactoryScope
{
    EditorFactoryScope() { Vela_c::setEditorFactory(&VelaEditor_c::create); }
    ~EditorFactoryScope() { Vela_c::setEditorFactory(nullptr); }
    EditorFactoryScope(const EditorFactoryScope&) = delete;
    EditorFactoryScope& operator=(const EditorFactoryScope&) = delete;
};
} // namespace

TEST(VelaEditor, WithoutAFactoryThePlugInOffersNoEditorWindow)
{
    EngineTestHost host;
    Vela_c vela(&EngineTestHost::callback, false);
    EXPECT_FALSE(vela.getAeffect()->flags & effFlagsHasEditor);
    EXPECT_EQ(dynamic_cast<VelaEditor_c*>(vela.getEditor()), nullptr);
    int window = 0;
    EXPECT_EQ(vela.dispatcher(effEditOpen, 0, 0, &window, 0), 0) << "the stand-in declines to open";
}

TEST(VelaEditor, TheHostOpensDrawsAndClosesThePlugInsEditor)
{
    EditorFactoryScope factory;
    EngineTestHost host;
    for (bool is51 : {false, true}) {
        Vela_c vela(&EngineTestHost::callback, is51);
        ASSERT_TRUE(vela.getAeffect()->flags & effFlagsHasEditor);
        auto* editor = dynamic_cast<VelaEditor_c*>(vela.getEditor());
        ASSERT_NE(editor, nullptr);

        ERect* rect = nullptr;
        ASSERT_EQ(vela.dispatcher(effEditGetRect, 0, 0, &rect, 0), 1);
        ASSERT_NE(rect, nullptr);
        EXPECT_EQ(rect->right - rect->left, editor->getWidth());
        EXPECT_EQ(rect->bottom - rect->top, editor->getHeight());

        // Before the plug-in is opened the editor has nothing to show.
        void* noWindow = reinterpret_cast<void*>(uintptr_t{0x7fffffff});
        EXPECT_EQ(vela.dispatcher(effEditOpen, 0, 0, noWindow, 0), 0);
        EXPECT_FALSE(editor->isEditorOpen());
        EXPECT_EQ(editor->getFrame(), nullptr);
        vela.dispatcher(effOpen, 0, 0, nullptr, 0);
        // A parent id that names no window leaves the editor offscreen, never
        // ends the host.
        ASSERT_EQ(vela.dispatcher(effEditOpen, 0, 0, noWindow, 0), 1);
        ASSERT_TRUE(editor->isEditorOpen());
        ASSERT_NE(editor->getFrame(), nullptr);
        EXPECT_FALSE(editor->getFrame()->hasWindow());
        vela.dispatcher(effEditIdle, 0, 0, nullptr, 0);
        // The main background shows where no page lies: right of the page
        // tabs and in the strip above the lower page.
        CBitmap* main = SynthEditor_c::loadBitmap(128);
        for (CPoint p : {CPoint(600, 10), CPoint(790, 30), CPoint(10, 330)})
            EXPECT_EQ(editor->getFrame()->getBackBuffer()->getPixel(p.h, p.v), main->getPixel(p.h, p.v));
        vela.dispatcher(effEditClose, 0, 0, nullptr, 0);
        EXPECT_EQ(editor->getFrame(), nullptr);
        EXPECT_FALSE(editor->isEditorOpen());
        vela.dispatcher(effEditIdle, 0, 0, nullptr, 0);
        vela.dispatcher(effClose, 0, 0, nullptr, 0);
    }
}
