// The instrument's editor built on the instrument's own parameters,
// offscreen: every row of every table stands as the control its kind names,
// where the row places it, in its frame, bound to its parameter; and how the
// editor follows the parameters (insert slots, semitone modes, redraws).
#include "ButtonsAndDisplays.h"
#include "CFrame.h"
#include "COptionMenu.h"
#include "KeyboardBase.h"
#include "KnobsAndSliders.h"
#include "PatternControls.h"
#include "RecordingVela.h"
#include "SampleDisplay.h"
#include "TouchControls.h"
#include "VelaEditor.h"
#include "VelaPages.h"

#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>
#include <array>
#include <memory>
#include <string>

using namespace PageLayout;

// Rectangles and points in failure messages.
inline void PrintTo(const CRect& r, std::ostream* os)
{
    *os << "[" << r.left << "," << r.top << "," << r.right << "," << r.bottom << "]";
}
inline void PrintTo(const CPoint& p, std::ostream* os)
{
    *os << "(" << p.h << "," << p.v << ")";
}
using EditorTest::RecordingVela;

namespace {
// The instrument, its editor and the editor opened offscreen.
struct OpenEditor
{
    std::unique_ptr<RecordingVela> vela = std::make_unique<RecordingVela>();
    std::unique_ptr<VelaEditor_c> editor = std::make_unique<VelaEditor_c>(vela.get());
    bool opened = editor->open(nullptr);
    ~OpenEditor() { editor->close(); }
};

// Whether a view is the control a kind of row makes.
bool isKind(CView* v, Kind kind)
{
    switch (kind) {
    case Kind::Knob:
    case Kind::ParaBar:
    case Kind::FxBar: return dynamic_cast<CMIKnob*>(v);
    case Kind::OnOff:
    case Kind::FxOnOff: return dynamic_cast<COnOffButtonVx*>(v);
    case Kind::Radio: return dynamic_cast<CRadioButtonVx*>(v);
    case Kind::Menu:
    case Kind::SubMenu:
    case Kind::FileList: return dynamic_cast<COptionMenu*>(v);
    case Kind::Touch: return dynamic_cast<CTouchAreaVx*>(v);
    case Kind::FileButton: return v && v->isTypeOf("CControlVx");
    case Kind::PlusMinus: return dynamic_cast<CPlusMinusDisplay*>(v);
    case Kind::VarDisplay: return dynamic_cast<CVarDisplay*>(v);
    case Kind::Filename:
    case Kind::ZoneLabel:
    case Kind::FxName: return dynamic_cast<CLabelVx*>(v);
    case Kind::TextDisplay: return dynamic_cast<CTextEdit*>(v);
    case Kind::Depth: return dynamic_cast<CModDepthDisp*>(v);
    case Kind::XYPad: return dynamic_cast<CXYVx*>(v);
    case Kind::EnvSlider: return dynamic_cast<CDrawbarVx*>(v);
    case Kind::Slider: return dynamic_cast<CSliderVx*>(v);
    case Kind::Map51: return dynamic_cast<C51Map*>(v);
    case Kind::Keyboard: return dynamic_cast<CKeyboard2*>(v);
    case Kind::StepGrid: return dynamic_cast<CStepSeqVx*>(v);
    case Kind::GateSteps: return dynamic_cast<COnOffBar*>(v);
    case Kind::SampleDisplay: return dynamic_cast<CSampleDisplayVl_c*>(v);
    case Kind::ScrollBar: return dynamic_cast<CScrollbarVx*>(v);
    }
    return false;
}

// The view the editor made for a placed view.
CView* builtView(VelaEditor_c& e, CModulFrameVx* frame, const Placed& v)
{
    if (v.part == Part::Display)
        return e.getEdit(v.index).display;
    if (v.part == Part::Label) {
        for (int i = 0; i < frame->getNbViews(); ++i)
            if (CView* child = frame->getView(i); dynamic_cast<CLabelVx*>(child) && child->getViewSize() == v.rect)
                return child;
        return nullptr;
    }
    switch (v.row->kind) {
    case Kind::Knob:
    case Kind::ParaBar:
    case Kind::FxBar:
    case Kind::EnvSlider: return e.getEdit(v.index).mainControl;
    case Kind::Menu:
    case Kind::SubMenu:
    case Kind::FileList:
    case Kind::TextDisplay: return e.getRecord(v.index).secondView;
    default: return e.getRecord(v.index).control;
    }
}

// Where a built view lies: the slider's area is its back rectangle (its
// own size is the handle's travel).
CRect placeOf(CView* v)
{
    if (auto* slider = dynamic_cast<CSliderVx*>(v))
        return slider->getBackRect();
    return v->getViewSize();
}

std::string where(int frame, const Placed& v)
{
    return "frame " + std::to_string(frame) + ": " + kindName(v.row->kind) + " " + std::to_string(v.index) + " part " +
           std::to_string(int(v.part));
}

CModulFrameVx* frameOf(VelaEditor_c& e, int number)
{
    return e.getExchFrame(number);
}
} // namespace

TEST(VelaEditorPages, EveryRowStandsAsItsKindWhereItsRowPlacesItBoundToItsParameter)
{
    OpenEditor o;
    ASSERT_TRUE(o.opened);
    VelaEditor_c& e = *o.editor;
    int checked = 0;
    for (const Content& c : VelaPages::contents()) {
        CModulFrameVx* frame = frameOf(e, c.frame);
        ASSERT_NE(frame, nullptr) << c.frame;
        for (const Placed& v : placedViews(c.rows, c.place)) {
            const std::string at = where(c.frame, v);
            CView* built = builtView(e, frame, v);
            ASSERT_NE(built, nullptr) << at << " was not built";
            EXPECT_TRUE(isKind(built, v.part == Part::Label ? Kind::FxName : v.part == Part::Display ? Kind::Filename
                                                                                                       : v.row->kind))
                << at;
            EXPECT_EQ(placeOf(built), v.rect) << at;
            EXPECT_EQ(built->getParentView(), frame) << at << " stands in another frame";
            if (auto* control = dynamic_cast<CControlVx*>(built); control && v.part == Part::Control) {
                EXPECT_EQ(control->getTag(), v.index) << at;
            }
            // A button shows one picture frame per state of its parameter.
            if (v.part == Part::Control && (v.row->kind == Kind::OnOff || v.row->kind == Kind::FxOnOff)) {
                const int states = o.vela->getParaHighValue(v.index) - o.vela->getParaLowValue(v.index) + 1;
                ASSERT_NE(EditorPictures::find(v.picture), nullptr) << at;
                EXPECT_EQ(EditorPictures::find(v.picture)->frames, states) << at;
            }
            ++checked;
        }
    }
    EXPECT_GT(checked, 0);
}

TEST(VelaEditorPages, OpeningBeforeTheEngineIsInitialisedBuildsNothing)
{
    EngineTestHost host;
    Vela_c vela(&EngineTestHost::callback, false);
    VelaEditor_c editor(&vela);
    EXPECT_FALSE(editor.open(nullptr));
    EXPECT_FALSE(editor.isEditorOpen());
    EXPECT_EQ(editor.getFrame(), nullptr);
    EXPECT_EQ(editor.getExchFrame(VelaPages::MainPage), nullptr);
    EXPECT_EQ(editor.getRecord(603).control, nullptr);
    EXPECT_EQ(editor.getDepModCount(), 0);
    editor.close();
}

TEST(VelaEditorPages, ClosingTwiceIsHarmlessAndReopeningBuildsAnew)
{
    OpenEditor o;
    ASSERT_TRUE(o.opened);
    VelaEditor_c& e = *o.editor;
    EXPECT_EQ(e.getDepModCount(), int(VelaPages::rules().size()));
    e.close();
    EXPECT_FALSE(e.isEditorOpen());
    EXPECT_EQ(e.getFrame(), nullptr);
    EXPECT_EQ(e.getRecord(4).control, nullptr);
    EXPECT_EQ(e.getEdit(4).mainControl, nullptr);
    e.close();
    EXPECT_EQ(e.getFrame(), nullptr);
    ASSERT_TRUE(e.open(nullptr));
    EXPECT_NE(e.getEdit(4).mainControl, nullptr);
    EXPECT_EQ(e.getDepModCount(), int(VelaPages::rules().size())) << "each opening defines its rules once";
}

TEST(VelaEditorPages, ThePagesTheSelectorsPickStandInTheMainEditFrame)
{
    OpenEditor o;
    ASSERT_TRUE(o.opened);
    VelaEditor_c& e = *o.editor;
    CModulFrameVx* edit = e.getEditFrame();
    for (int page = 0; page < 7; ++page) {
        o.vela->setParaVal(VelaEditor_c::EditPageIndex, page);
        e.updateEdit(VelaEditor_c::EditPageIndex, true);
        for (int other = 1; other <= 7; ++other)
            EXPECT_EQ(edit->isChild(e.getExchFrame(other)), other == page + 1) << page << " " << other;
    }
    for (int lower = 0; lower < 2; ++lower) {
        o.vela->setParaVal(604, lower);
        e.updateEdit(604, true);
        EXPECT_EQ(edit->isChild(e.getExchFrame(VelaPages::PartsPage)), lower == 0);
        EXPECT_EQ(edit->isChild(e.getExchFrame(VelaPages::KeysPage)), lower == 1);
    }
}

TEST(VelaEditorPages, SwitchBackShowsNoUpperPageAndTheHostsKnobModeChangesNothing)
{
    OpenEditor o;
    ASSERT_TRUE(o.opened);
    VelaEditor_c& e = *o.editor;
    o.vela->setParaVal(VelaEditor_c::EditPageIndex, 2);
    e.switchBack();
    EXPECT_EQ(o.vela->getParaVal(VelaEditor_c::EditPageIndex),
              std::min(7, o.vela->getParaHighValue(VelaEditor_c::EditPageIndex)))
        << "7, one past the last page, as far as the setting's range goes";
    e.idle();
    EXPECT_FALSE(e.getEditFrame()->isChild(e.getExchFrame(VelaPages::Gen23Page))) << "the page shown before leaves";
    const float mode = o.vela->getParameterEdited(VelaEditor_c::KnobModeIndex);
    for (int hostMode : {0, 1, 2})
        EXPECT_TRUE(e.setKnobMode(hostMode));
    EXPECT_EQ(o.vela->getParameterEdited(VelaEditor_c::KnobModeIndex), mode);
}

TEST(VelaEditorPages, DepthDisplaysOfPitchDestinationsShowSemitones)
{
    OpenEditor o;
    ASSERT_TRUE(o.opened);
    VelaEditor_c& e = *o.editor;
    struct Case
    {
        int destinations[10];
        int modes[10];
        const char* what;
    };
    const Case cases[] = {
        {{1, 6, 11, 15, 31, 0, 2, 30, 36, -1}, {48, 48, 48, 48, 48, 0, 0, 0, 0, 0}, "plain destinations"},
        // Rows 5..8 refer to rows 0..3 (32..35): row 5 takes row 0's pitch,
        // row 6 row 1's plain destination.
        {{6, 2, 0, 0, 0, 32, 33, 0, 0, 0}, {48, 0, 0, 0, 0, 48, 0, 0, 0, 0}, "references"},
        // Row 1 takes the mode of row 1's destination through row 9 (33).
        {{0, 11, 0, 0, 0, 0, 0, 0, 0, 33}, {0, 48, 0, 0, 0, 0, 0, 0, 0, 48}, "a row referring to row 1"},
        // Rows 0 and 1 refer to each other: five look-ups, then mode 0.
        {{33, 32, 0, 0, 0, 0, 0, 0, 32, 0}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "a circle"},
    };
    for (const Case& c : cases) {
        for (int r = 0; r < 10; ++r)
            o.vela->setParaVal(670 + r, c.destinations[r]);
        e.updateEdit(670, true);
        for (int r = 0; r < 10; ++r) {
            auto* depth = dynamic_cast<CModDepthDisp*>(e.getRecord(680 + r).control);
            ASSERT_NE(depth, nullptr);
            EXPECT_EQ(depth->getSemitoneMode(), c.modes[r]) << c.what << ", row " << r;
        }
    }
}

TEST(VelaEditorPages, AChangeRedrawsWhatLiesWithItOrEverything)
{
    OpenEditor o;
    ASSERT_TRUE(o.opened);
    VelaEditor_c& e = *o.editor;
    e.idle();
    e.idle();
    ASSERT_FALSE(e.getFullRedraw());
    // The on/off inside the detune knob of generator 1 redraws with it.
    CControlVx* button = e.getRecord(504).control;
    ASSERT_NE(button, nullptr);
    button->setDirty(false);
    e.updateEdit(484, true);
    EXPECT_TRUE(button->isDirty());
    button->setDirty(false);
    e.updateEdit(490, true);
    EXPECT_TRUE(e.getRecord(508).control->isDirty()) << "resonance 1 shares its button with cutoff 1";
    // A 5.1 row's switch, the 5.1 sliders and the generator type menus
    // redraw everything.
    for (int index : {510, 516, 523, 578, 769, 782}) {
        e.idle();
        ASSERT_FALSE(e.getFullRedraw());
        e.updateEdit(index, true);
        EXPECT_TRUE(e.getFullRedraw()) << index;
    }
    e.idle();
    e.updateEdit(509, true);
    EXPECT_FALSE(e.getFullRedraw()) << "509 is an ordinary button";
}

TEST(VelaEditorPages, InsertSlotsShowTheirTypesFramesEachOnce)
{
    OpenEditor o;
    ASSERT_TRUE(o.opened);
    VelaEditor_c& e = *o.editor;
    CModulFrameVx* fx = e.getExchFrame(VelaPages::FxPage);
    auto setTypes = [&](std::array<int, 4> types) {
        for (int j = 0; j < 4; ++j)
            o.vela->setParaVal(215 + j, types[j]);
        e.updateEdit(215, true);
    };
    auto shown = [&](int type) { return e.getExchFrame(VelaPages::fxFrame(type, VelaPages::SetX)); };
    auto inSlot = [&](int type, int j) {
        CModulFrameVx* f = shown(type);
        return fx->isChild(f) && f->getViewSize().getTopLeft() == CPoint(VelaPages::InsertX[j], VelaPages::InsertY[j]);
    };
    auto childrenOfSetX = [&] {
        int n = 0;
        for (int i = 0; i < fx->getNbViews(); ++i)
            for (int k = 0; k < VelaPages::EffectTypes; ++k)
                n += fx->getView(i) == shown(k);
        return n;
    };
    setTypes({5, 0, 6, 7});
    EXPECT_TRUE(inSlot(0, 1));
    // Effect 4 from delay to chorus: the delay's frame leaves the second
    // rectangle and the chorus's takes it.
    setTypes({5, 3, 6, 7});
    EXPECT_FALSE(fx->isChild(shown(0)));
    EXPECT_TRUE(inSlot(3, 1));
    EXPECT_EQ(shown(3)->getViewSize().getWidth(), e.getExchFrame(VelaPages::fxFrame(0, 1))->getViewSize().getWidth());
    EXPECT_EQ(childrenOfSetX(), 4);
    // Two slots of one type: the frame stands once, in the first of them.
    setTypes({4, 4, 6, 7});
    EXPECT_TRUE(inSlot(4, 0));
    EXPECT_EQ(childrenOfSetX(), 3);
    EXPECT_EQ(e.getInsertType(1), 4);
    // The first leaves the type: the frame moves to the second; then that
    // one leaves it too and the frame goes, once.
    setTypes({8, 4, 6, 7});
    EXPECT_TRUE(inSlot(8, 0));
    EXPECT_TRUE(inSlot(4, 1));
    setTypes({8, 9, 6, 7});
    EXPECT_FALSE(fx->isChild(shown(4)));
    EXPECT_TRUE(inSlot(9, 1));
    EXPECT_EQ(childrenOfSetX(), 4);
}

TEST(VelaEditorPages, WithoutItsPictureTheKeysPageHasNoKeyboard)
{
    EditorPictures::setLoadFailure(EditorPictures::KeysPanel, true);
    {
        OpenEditor o;
        ASSERT_TRUE(o.opened);
        for (int index : {608, 613, 611})
            EXPECT_EQ(o.editor->getRecord(index).control, nullptr) << index;
        for (int index : {612, 610})
            EXPECT_EQ(o.editor->getRecord(index).secondView, nullptr) << index;
        EXPECT_EQ(o.editor->getKeyboard(0), nullptr);
        EXPECT_NE(o.editor->getExchFrame(VelaPages::KeysPage), nullptr) << "the page itself stands";
    }
    EditorPictures::setLoadFailure(EditorPictures::KeysPanel, false);
    OpenEditor o;
    ASSERT_TRUE(o.opened);
    EXPECT_EQ(o.editor->getKeyboard(0), o.editor->getRecord(608).control);
    EXPECT_NE(o.editor->getKeyboard(0), nullptr);
}
