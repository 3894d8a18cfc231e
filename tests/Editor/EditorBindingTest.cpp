#include "ButtonsAndDisplays.h"
#include "CFrame.h"
#include "COptionMenu.h"
#include "ControlTestRig.h"
#include "EditorBindingRig.h"
#include "EditorPictures.h"
#include "Gator.h"
#include "KnobsAndSliders.h"
#include "PatternControls.h"
#include "RecordingVela.h"
#include "TouchControls.h"
#include "ValueDisplayCheck.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using ControlTest::framesPicture;
using EditorTest::BindingEditor;
using EditorTest::BindingRig;
using EditorTest::RecordingVela;

namespace {
constexpr CColor Ink{210, 210, 210, 255};

CBitmap* picture(int id)
{
    return SynthEditor_c::loadBitmap(id);
}
} // namespace

TEST(EditorBinding, EveryFactoryBuildsRegistersAndShowsItsControl)
{
    BindingRig rig;
    SynthEditor_c& e = rig.editor;
    RecordingVela& engine = rig.engine;
    CModulFrameVx* page = rig.page;

    // A slider of the 5.1 mixer: area 72 x 10, a 64 x 2 track around (121, 24).
    CSliderVx* slider = e.createSlider(523, 117, 20, 72, 10, 121, 24, 64, 2, rig.background,
                                       picture(EditorPictures::SliderHandle), page);
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->getViewSize(), CRect(118, 20, 188, 30)) << "the track widened by the handle's size";
    EXPECT_EQ(slider->getBackRect(), CRect(117, 20, 189, 30));
    EXPECT_EQ(rig.record(523).control, slider);
    EXPECT_EQ(slider->getType(), kControlKindSlider);
    EXPECT_FLOAT_EQ(slider->getSlot(0).defaultValue, engine.getParaDef(523));
    EXPECT_FLOAT_EQ(slider->DispValue(), engine.getParameterEdited(523));

    CLabelVx* name = e.createFilename(page, 702, 102, 66, 188, 15, Ink);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->getViewSize(), CRect(102, 66, 290, 81));
    EXPECT_EQ(name->getFont(), kNormalFontSmall);
    EXPECT_FALSE(name->getMouseEnabled());
    EXPECT_EQ(e.createFilename(page, 803, 342, 11, 98, 10, Ink)->getFont(), kNormalFontVerySmall) << "below 11 high";

    CTextEdit* version = e.createCharDisp(page, 766, 89, 43, 150, 12, kBlackCColor, kNormalFace, kLeftText, false, false);
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(rig.record(766).secondView, version);
    EXPECT_EQ(rig.record(766).control, nullptr);
    EXPECT_EQ(rig.record(766).kind, kRecordText);
    EXPECT_STREQ(version->getText(), "3.6.5 - Stereo");
    EXPECT_EQ(version->getFontColor(), kBlackCColor);
    e.createCharDisp(page, 965, 66, 118, 116, 13, Ink, kNormalFace, kLeftText, true, true);
    EXPECT_EQ(rig.record(965).kind, kRecordEditableText);

    // Glide mode has four states: its picture holds four frames.
    COnOffButtonVx* glide = e.createOnOff(page, 481, 612, 216, picture(EditorPictures::GlideMode), true);
    ASSERT_NE(glide, nullptr);
    EXPECT_EQ(glide->getStates(), 4);
    EXPECT_EQ(glide->getViewSize(), CRect(612, 216, 648, 230));
    EXPECT_EQ(glide->getType(), kControlKindOnOff);
    EXPECT_EQ(rig.record(481).kind, kRecordOnOff);

    CRadioButtonVx* pages = e.createRadio(page, 603, 0, 0, 7, 1, picture(EditorPictures::PageTabs), true);
    ASSERT_NE(pages, nullptr);
    EXPECT_EQ(pages->getViewSize(), CRect(0, 0, 504, 22)) << "one grid: half the picture";
    EXPECT_EQ(pages->getColumns(), 7);
    EXPECT_EQ(rig.record(603).kind, kRecordRadio);
    CBitmap* tall = framesPicture(40, 80, 1);
    EXPECT_EQ(e.createRadio(page, 604, 600, 300, 2, -2, tall, true)->getViewSize(), CRect(600, 300, 640, 320))
        << "a negative layout divides by count x -m";
    EXPECT_EQ(e.createRadio(page, 604, 600, 300, 2, 0, tall, true), nullptr) << "layout 0 builds nothing";
    tall->forget();

    CPlusMinusDisplay* octave = e.createPMDisplay(page, 20, CRect(533, 43, 589, 58), CRect(533, 42, 559, 58),
                                                  CRect(559, 43, 574, 58), CRect(574, 43, 589, 58), Ink);
    ASSERT_NE(octave, nullptr);
    EXPECT_EQ(octave->getTextRect(), CRect(533, 42, 559, 58));
    EXPECT_EQ(octave->getUpRect(), CRect(574, 43, 589, 58)) << "the fourth rectangle steps up";
    EXPECT_EQ(octave->getDownRect(), CRect(559, 43, 574, 58)) << "the third steps down";
    EXPECT_EQ(octave->getDisplayText(), "0");
    EXPECT_EQ(rig.record(20).kind, kRecordPlusMinus);

    CModDepthDisp* depth = e.createDepth(page, 680, 582, 149, 40, 11);
    ASSERT_NE(depth, nullptr);
    EXPECT_EQ(depth->getDrawColor(), e.getFontColor());
    EXPECT_EQ(depth->getFont(), kNormalFontSmall);
    EXPECT_EQ(rig.record(680).kind, kRecordDepth);

    struct Font
    {
        int h;
        CFontRef font;
    };
    for (const Font& f : {Font{12, kNormalFontSmall}, Font{10, kNormalFontVerySmall}, Font{8, kNormalFont}}) {
        CVarDisplay* display = e.createVarDisplay(page, 726, 104, 87, 55, f.h, Ink);
        ASSERT_NE(display, nullptr);
        EXPECT_EQ(display->getFont(), f.font) << f.h << " high";
        EXPECT_EQ(rig.record(726).kind, kRecordVarDisplay);
    }

    auto* knob = new CMIKnob(CRect(34, 92, 67, 125), &e, 4, rig.background, picture(EditorPictures::KnobSmall), 71,
                             300.f, 0.f);
    e.createGeneralVx(knob, 4, page);
    EXPECT_EQ(rig.record(4).control, knob);
    EXPECT_FLOAT_EQ(knob->getSlot(0).defaultValue, engine.getParaDef(4));

    CRect barSize(302, 120, 556, 127);
    auto* scroll = new CScrollbarVx(barSize, &e, 945, rig.background, 12, CColor{164, 164, 164, 255});
    int slots[] = {945, 947};
    e.createGeneralVxCore(scroll, slots, 2, page);
    EXPECT_EQ(scroll->getEditIdx(1), 947);
    EXPECT_EQ(rig.record(945).control, scroll);
    EXPECT_EQ(rig.record(947).control, scroll);
    EXPECT_FLOAT_EQ(scroll->DispValue(1), engine.getParameterEdited(947));

    auto* menu = new COptionMenu(CRect(695, 15, 730, 31), &e, 640);
    e.createGeneralVSTGUI(menu, 640, page);
    EXPECT_EQ(rig.record(640).secondView, menu);
    EXPECT_EQ(rig.record(640).control, nullptr);

    // Every value display the factories made is one row of the check.
    const auto rows = ValueDisplayCheck::rowsOf(e);
    int displays = 0;
    for (const auto& row : rows)
        displays += row.index == 726 || row.index == 20 || row.index == 680;
    EXPECT_EQ(displays, 3);

    // Without the engine's attention nothing else happened: building sends nothing.
    EXPECT_EQ(engine.edits(), "");
    // Indices beyond the edits are clamped.
    EXPECT_EQ(e.createVarDisplay(page, 5000, 0, 0, 20, 10, Ink)->getTag(), e.getEditCount() - 1);
}

TEST(EditorBinding, TouchAreasAndGateStepsFromTheirFactories)
{
    BindingRig rig;
    SynthEditor_c& e = rig.editor;
    RecordingVela& engine = rig.engine;

    // The loop sampler's page buttons send their command to the instrument:
    // command 94 opens the upper page given as the value.
    CTouchAreaVx* touch = e.createTouchControl(rig.page, 805, Vela_c::CmdEditPage, 10, 3, 300, 11, 14, 11, false,
                                               nullptr);
    ASSERT_NE(touch, nullptr);
    EXPECT_EQ(touch->getViewSize(), CRect(300, 11, 314, 22));
    EXPECT_EQ(rig.record(805).control, touch);
    EXPECT_NE(engine.getParaVal(Vela_c::EditPageEntry), 3);
    rig.click(305, 15);
    EXPECT_EQ(engine.getParaVal(Vela_c::EditPageEntry), 3);
    EXPECT_TRUE(touch->isPressed()) << "the pressed face shows for a moment";

    // The gate's left pattern: 16 steps as wide as the picture, half as high.
    int left = -1;
    for (int i = 0; i < e.getEditCount() && left < 0; ++i) {
        char name[64] = {};
        engine.getParameterName(i, name);
        if (std::string(name) == "Gator 1 Left")
            left = i;
    }
    ASSERT_GE(left, 0);
    CBitmap* steps = framesPicture(12, 11, 2);
    COnOffBar* bar = e.createGatorSteps(rig.page, left, 16, 25, 23, steps, true);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->getViewSize(), CRect(25, 23, 25 + 16 * 12, 34));
    EXPECT_EQ(rig.record(left).control, bar);
    Vdx::String_c pattern;
    engine.getParaDispStr(left, pattern);
    EXPECT_EQ(pattern.size(), 16u);
    EXPECT_EQ(bar->getDisplayText(), pattern);
    const Vdx::String_c before = pattern;
    rig.click(25 + 3 * 12 + 5, 28);
    engine.getParaDispStr(left, pattern);
    EXPECT_EQ(pattern.substr(4), before.substr(4));
    EXPECT_NE(pattern[3], before[3]) << "step 3 toggled in the parameter";
    e.updateEdit(left, false);
    EXPECT_EQ(bar->getDisplayText(), pattern) << "the new pattern comes back";
    EXPECT_EQ(engine.edits(), "bxe") << "one gesture around the new pattern";
    EXPECT_EQ(e.createGatorSteps(rig.page, left, 16, 25, 23, nullptr, true), nullptr) << "no picture, no bar";
    EXPECT_EQ(e.createGatorSteps(rig.page, left, 40, 25, 36, steps, false)->getSteps(), GatorSteps);
    steps->forget();
}

TEST(EditorBinding, ControlsReachTheEngineOnceUnderTheBusyCounter)
{
    // The knob edits Osc 1 Wave (0..100, default 50), set to 0.8 before;
    // its centre is (50, 108), and (57, 96) lies 30 degrees right of up: 0.6.
    struct Case
    {
        const char* what;
        int index;
        std::function<void(BindingRig&)> act;
        const char* kinds; // t touched, b begin, s set, p step, g group, e end
        float value;       // of the set or the step
        int payload;       // of the group step: 1 with, 0 without, -1 none made
    };
    const Case cases[] = {
        {"a wheel step on a knob steps once, never sets", 12,
         [](BindingRig& r) { r.frame()->platformWheel(CPoint(50, 108), 1.f, 0); }, "bpe", 1.f, -1},
        {"a click on a four-state button sets the next state", 481, [](BindingRig& r) { r.click(620, 220); }, "bse",
         1.f / 3.f, -1},
        {"a click on the fourth page tab selects it", 603, [](BindingRig& r) { r.click(3 * 72 + 30, 10); }, "tbse",
         0.5f, -1},
        {"a click on a plus button steps up", 20, [](BindingRig& r) { r.click(580, 50); }, "tbpe", 1.f, -1},
        {"a right click on a knob tells the group its change", 12, [](BindingRig& r) { r.click(57, 96, kRButton); },
         "tbsge", 0.6f, 1},
        {"command-click restores the default, the group without payload", 12,
         [](BindingRig& r) { r.click(57, 96, kLButton | kControl); }, "tbsge", 0.5f, 0},
    };
    for (const Case& c : cases) {
        BindingRig rig;
        SynthEditor_c& e = rig.editor;
        rig.engine.setParameterAutomated(12, 0.8f);
        e.createGeneralVx(new CMIKnob(CRect(34, 92, 67, 125), &e, 12, rig.background,
                                      picture(EditorPictures::KnobSmall), 71, 300.f, 0.f),
                          12, rig.page);
        e.createOnOff(rig.page, 481, 612, 216, picture(EditorPictures::GlideMode), true);
        e.createRadio(rig.page, 603, 0, 0, 7, 1, picture(EditorPictures::PageTabs), true);
        e.createPMDisplay(rig.page, 20, CRect(533, 43, 589, 58), CRect(533, 42, 559, 58), CRect(559, 43, 574, 58),
                          CRect(574, 43, 589, 58), Ink);
        rig.engine.calls.clear();
        c.act(rig);
        EXPECT_EQ(rig.engine.kinds(), c.kinds) << c.what;
        for (const auto& call : rig.engine.calls) {
            EXPECT_EQ(call.index, c.index) << c.what << ", call " << call.kind;
            EXPECT_TRUE(call.busy) << c.what << ", call " << call.kind;
        }
        const RecordingVela::Call* sent = rig.engine.last('s') ? rig.engine.last('s') : rig.engine.last('p');
        ASSERT_NE(sent, nullptr) << c.what;
        EXPECT_NEAR(sent->value, c.value, 0.005) << c.what;
        if (c.payload >= 0) {
            const RecordingVela::Call* g = rig.engine.last('g');
            ASSERT_NE(g, nullptr) << c.what;
            EXPECT_EQ(g->payload, c.payload == 1) << c.what;
            EXPECT_NEAR(g->value, rig.engine.getParameterEdited(12) - 0.8f, 0.005) << c.what << ": new - old";
        }
    }
}

TEST(EditorBinding, TheRecordKindsTakeTheirOwnPaths)
{
    BindingRig rig;
    BindingEditor& e = rig.editor;
    RecordingVela& engine = rig.engine;

    // A menu's value is the parameter's.
    auto* menu = new COptionMenu(CRect(0, 0, 30, 12), &e, 640);
    e.createGeneralVSTGUI(menu, 640, rig.page);
    rig.record(640).kind = kRecordMenu;
    menu->setValue(0.5f);
    engine.calls.clear();
    e.valueChanged(menu);
    ASSERT_EQ(engine.edits(), "s");
    EXPECT_FLOAT_EQ(engine.calls[0].value, menu->getValue());

    // A file list: the item over the parameter's range; nothing for a list
    // of one entry or a parameter of one value.
    struct List
    {
        const char* what;
        int index;
        int entries;
        const char* edits;
    };
    for (const List& l : {List{"three programs", 635, 3, "s"}, List{"one entry", 635, 1, ""},
                          List{"a parameter of one value", 607, 3, ""}}) {
        auto* list = new COptionMenu(CRect(0, 20, 30, 32), &e, l.index);
        for (int k = 0; k < l.entries; ++k)
            list->addEntry("P");
        e.createGeneralVSTGUI(list, l.index, rig.page);
        rig.record(l.index).kind = kRecordFileList;
        list->setCurrent(l.entries - 1);
        engine.calls.clear();
        e.valueChanged(list);
        EXPECT_EQ(engine.edits(), l.edits) << l.what;
        if (*l.edits) {
            EXPECT_FLOAT_EQ(engine.calls[0].value, 2.f / 207.f) << l.what;
        }
    }

    // Text displays: the text goes to the parameter, or to the hook.
    CTextEdit* text = e.createCharDisp(rig.page, 700, 325, 118, 120, 14, Ink, kNormalFace, kLeftText, false, false);
    text->setText("Pythagorean");
    engine.calls.clear();
    e.valueChanged(text);
    EXPECT_EQ(engine.edits(), "x");
    EXPECT_EQ(engine.strings.back(), "Pythagorean");
    CTextEdit* editable = e.createCharDisp(rig.page, 965, 66, 118, 116, 13, Ink, kNormalFace, kLeftText, true, false);
    editable->setText("start.fxp");
    e.valueChanged(editable);
    EXPECT_EQ(e.hookIndex, 965);
    EXPECT_EQ(e.hookText, "start.fxp");

    // By the control's own type: switch back, or leave a menu alone.
    auto* knob = new CMIKnob(CRect(0, 40, 33, 73), &e, 609, nullptr, nullptr, 71, 300.f, 0.f);
    e.createGeneralVx(knob, 609, rig.page);
    knob->setType(kControlKindSwitchBack);
    engine.calls.clear();
    e.valueChanged(knob);
    EXPECT_EQ(e.switchBacks, 1);
    knob->setType(kControlKindMenu);
    e.valueChanged(knob);
    EXPECT_EQ(engine.edits(), "") << "neither sends a value";
}

TEST(EditorBinding, EngineChangesReachTheControlsAndTheirTexts)
{
    BindingRig rig;
    SynthEditor_c& e = rig.editor;
    RecordingVela& engine = rig.engine;
    CVarDisplay* display = e.createVarDisplay(rig.page, 726, 104, 87, 55, 12, Ink);
    engine.setParameterAutomated(726, 0.5f);
    e.updateEdit(726, false);
    Vdx::String_c text;
    engine.getParaDispStr(726, text);
    EXPECT_EQ(display->getDisplayText(), text);
    EXPECT_FLOAT_EQ(display->DispValue(), engine.getParameterEdited(726));

    // A text display takes at most 318 characters.
    engine.setParaString(766, Vdx::String_c(std::string(400, 'v')));
    CTextEdit* version = e.createCharDisp(rig.page, 766, 0, 0, 100, 12, Ink, kNormalFace, kLeftText, false, false);
    engine.getParaDispStr(766, text);
    ASSERT_GT(text.size(), 318u);
    EXPECT_EQ(std::string(version->getText()).size(), 318u);

    CModDepthDisp* depth = e.createDepth(rig.page, 680, 582, 149, 40, 11);
    e.setSemitoneMode(680, 48);
    EXPECT_EQ(depth->getSemitoneMode(), 48);
    EXPECT_TRUE(depth->isDirty());
    e.setSemitoneMode(726, 48); // a value display has no semitones: nothing happens
}

TEST(EditorBinding, ABinderTiesAParameterToItsControlAndLabel)
{
    BindingRig rig;
    RecordingVela& engine = rig.engine;
    Edit& binder = rig.editor.getEdit(4);
    auto* knob = new CMIKnob(CRect(34, 92, 67, 125), &binder, 4, rig.background,
                             picture(EditorPictures::KnobSmall), 71, 300.f, 0.f);
    knob->setType(kControlKindKnob);
    binder.createGeneral(knob, 4, &engine, rig.page);
    CLabelVx* label = binder.addDisplay(rig.page, 50, 120, 36, 8, Ink);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->getViewSize(), CRect(32, 116, 68, 124)) << "centred on the point";
    EXPECT_FALSE(label->getMouseEnabled());
    Vdx::String_c text;
    engine.getParaDispStr(4, text);
    EXPECT_EQ(label->getDisplayText(), text);
    EXPECT_FLOAT_EQ(knob->DispValue(), engine.getParameterEdited(4));
    EXPECT_FLOAT_EQ(knob->getSlot(0).defaultValue, engine.getParaDef(4));

    engine.calls.clear();
    rig.frame()->platformWheel(CPoint(50, 108), -1.f, 0);
    EXPECT_EQ(engine.edits(), "bpe") << "one step down through the binder";
    EXPECT_FLOAT_EQ(engine.last('p')->value, -1.f);
    for (const auto& call : engine.calls)
        EXPECT_TRUE(call.busy) << call.kind;

    engine.calls.clear();
    const float old = engine.getParameterEdited(4);
    rig.frame()->platformMouseDown(CPoint(50, 94), kRButton);
    rig.frame()->platformMouseUp(CPoint(50, 94), kRButton);
    EXPECT_EQ(engine.kinds(), "tbsge") << "touched, then the set and its group step";
    EXPECT_TRUE(engine.last('g')->payload);
    EXPECT_NEAR(engine.last('g')->value, engine.getParameterEdited(4) - old, 1e-6);

    // The engine's change reaches the binder's control and label.
    engine.setParameterAutomated(4, 1.f);
    rig.editor.updateEdit(4, false);
    EXPECT_FLOAT_EQ(knob->DispValue(), 1.f);
    engine.getParaDispStr(4, text);
    EXPECT_EQ(label->getDisplayText(), text);

    // An unbound binder shows nothing known.
    Edit loose;
    loose.engine = &engine;
    auto* other = new CMIKnob(CRect(0, 0, 33, 33), &loose, -1, nullptr, nullptr, 71, 300.f, 0.f);
    other->setShowsText(true);
    loose.mainControl = other;
    other->setValue(0.7f);
    loose.Update(0.7f);
    EXPECT_FLOAT_EQ(other->DispValue(), 0.f);
    EXPECT_EQ(other->getDisplayText(), "- - -");
    other->forget();
}
