// A small editor bound to the instrument (RecordingVela: its own parameters,
// every engine call recorded), open offscreen, with one page of 800 x 400 (its
// background one colour) in its edit frame: where the factories' tests build
// their controls and click them as the frame routes clicks; and the helpers
// the menus' tests share.
#pragma once

#include "COptionMenu.h"
#include "ControlTestRig.h"
#include "EditorTestRig.h"
#include "RecordingVela.h"
#include "SynthEditor.h"

#include <memory>
#include <string>

namespace EditorTest {

// The test editor with the hooks a binding test watches.
struct BindingEditor : TestEditor
{
    using TestEditor::TestEditor;
    void editableTextHook(int index, const char* text) override
    {
        hookIndex = index;
        hookText = text;
    }
    void switchBack() override { ++switchBacks; }
    int hookIndex = -1;
    std::string hookText;
    int switchBacks = 0;
};

struct BindingRig
{
    std::unique_ptr<RecordingVela> owned = std::make_unique<RecordingVela>(); // 3 MB: not on the stack
    RecordingVela& engine = *owned;
    BindingEditor editor{&engine};
    CBitmap* background = ControlTest::framesPicture(800, 400, 1);
    CModulFrameVx* page = nullptr;
    BindingRig()
    {
        editor.open(nullptr);
        page = new CModulFrameVx(0, 0, 800, 400, editor.getFrame(), background, "page");
        editor.getEditFrame()->addView(page);
    }
    ~BindingRig()
    {
        editor.close();
        background->forget();
    }
    BindingRig(const BindingRig&) = delete;
    BindingRig& operator=(const BindingRig&) = delete;

    CFrame* frame() { return editor.getFrame(); }
    // A click in the editor's window, as the frame routes it.
    void click(int x, int y, long buttons = kLButton)
    {
        frame()->platformMouseDown(CPoint(x, y), buttons);
        frame()->platformMouseUp(CPoint(x, y), buttons);
    }
    SynthEditor_c::ControlRecord& record(int i) { return editor.getRecord(i); }
};

// The centre of a rectangle: where a test clicks it.
inline CPoint centre(const CRect& r)
{
    return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

// A menu's entries joined by '|'.
inline std::string entriesOf(const COptionMenu* m)
{
    std::string s;
    for (int i = 0; m && i < m->getNbEntries(); ++i)
        s += std::string(i ? "|" : "") + m->getEntry(i);
    return s;
}

} // namespace EditorTest
