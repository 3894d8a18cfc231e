// The binders, the editor's registration of controls and its factories, and
// the two paths between controls and the engine: a control change to the
// engine (valueChanged, handleUserInput, the group step) and an engine
// change to the controls (updateEdit, updateAllEdits).
#include "EditorBinding.h"

#include "ButtonsAndDisplays.h"
#include "CBitmap.h"
#include "CControl.h"
#include "COptionMenu.h"
#include "FileList.h"
#include "FileMenus.h"
#include "Gator.h"
#include "KnobsAndSliders.h"
#include "ModulFrame.h"
#include "ParameterMenus.h"
#include "PatternControls.h"
#include "SafeDiv.h"
#include "Synth.h"
#include "SynthEditor.h"
#include "TouchControls.h"

#include <algorithm>

namespace {
// The longest text a library text display takes.
constexpr size_t MaxDisplayText = 318;
// What a binder shows while it knows no text.
constexpr const char* NoText = "- - -";
// Text displays pick their back colour against their text colour: a dark
// text (red + green + blue below this) gets a light back.
constexpr int DarkTextSum = 334;
constexpr CColor LightBack{240, 240, 255, 255};
constexpr CColor DarkBack{20, 20, 40, 255};

float clamp01(float v)
{
    return std::clamp(v, 0.f, 1.f);
}

Vdx::String_c capped(const Vdx::String_c& text)
{
    return text.size() > MaxDisplayText ? Vdx::String_c(text.substr(0, MaxDisplayText)) : text;
}

CBitmap* backgroundOf(CModulFrameVx* frame)
{
    return frame ? frame->getBackground() : nullptr;
}
} // namespace

void groupStep(Synth* engine, const CControlVx* control, int p, float old)
{
    if (!engine || !control)
        return;
    const float now = engine->getParameterEdited(p);
    if (!control->getRightButton())
        return;
    if (control->getResetToDefault()) {
        engine->groupOperation(p, nullptr, now - old);
        return;
    }
    GroupDeltaValue_c delta(now - old);
    engine->groupOperation(p, &delta, now - old);
}

// ------------------------------------------------------------------ Edit

void Edit::createGeneral(CControlVx* control, int parameter, Synth* e, CModulFrameVx* frame)
{
    if (!control || !e)
        return;
    paraIndex = parameter;
    engine = e;
    addMain(frame, control);
}

void Edit::addMain(CModulFrameVx* frame, CControlVx* control)
{
    if (!control)
        return;
    if (!frame || !engine) {
        control->forget();
        return;
    }
    Synth::BusyScope busy(*engine);
    mainControl = control;
    control->setDefaultValue(engine->getParaDef(paraIndex));
    Update(engine->getParameterEdited(paraIndex));
    frame->addView(control);
}

CLabelVx* Edit::addDisplay(CModulFrameVx* frame, int x, int y, int w, int h, CColor colour)
{
    CBitmap* background = backgroundOf(frame);
    if (!engine || !background)
        return nullptr;
    Synth::BusyScope busy(*engine);
    auto* label = new CLabelVx(CRect(x - w / 2, y - h / 2, x + w / 2, y + h / 2), this, 0, background,
                               kNormalFontSmall, colour, kCenterText);
    Vdx::String_c text;
    engine->getParaDispStr(paraIndex, text);
    label->setText(text);
    label->setMouseEnabled(false);
    frame->addView(label);
    display = label;
    return label;
}

void Edit::Update(float value)
{
    if (!engine)
        return;
    Vdx::String_c text = NoText;
    if (paraIndex >= 0) {
        Synth::BusyScope busy(*engine);
        engine->getParaDispStr(paraIndex, text);
    } else {
        value = 0.f;
    }
    if (display) {
        display->setText(text);
        display->setDirty(true);
    }
    if (mainControl) {
        mainControl->setValue(value);
        mainControl->setText(text);
        mainControl->setDirty(true);
    }
}

void Edit::handleUserInput(float value)
{
    if (!engine || paraIndex < 0)
        return;
    Synth::BusyScope busy(*engine);
    const float old = engine->getParameterEdited(paraIndex);
    if (mainControl && mainControl->getStepUp())
        engine->stepParameterAutomated(paraIndex, +1);
    else if (mainControl && mainControl->getStepDown())
        engine->stepParameterAutomated(paraIndex, -1);
    else
        engine->setParameterAutomated(paraIndex, clamp01(value));
    groupStep(engine, mainControl, paraIndex, old);
}

void Edit::valueChanged(CControl* control)
{
    if (!control)
        return;
    handleUserInput(control->getValue());
    if (display)
        display->setDirty(true);
    if (mainControl)
        mainControl->setDirty(true);
}

void Edit::touched(CControl*, bool right)
{
    if (!engine || paraIndex < 0)
        return;
    Synth::BusyScope busy(*engine);
    engine->touchedParameter(paraIndex, right);
}

// ------------------------------------------------- control to engine

void SynthEditor_c::valueChanged(CControl* control)
{
    if (!engine || !control)
        return;
    Synth::BusyScope busy(*engine);
    const int i = clampEdit(control->getTag());
    switch (records[i].kind) {
    case kRecordMenu: {
        const float old = engine->getParameterEdited(i);
        engine->setParameterAutomated(i, control->getValue());
        // A pick after a Shift-click goes to the group as well.
        if (auto* menu = dynamic_cast<CMenuBase*>(control); menu && menu->isShiftClick()) {
            const float delta = engine->getParameterEdited(i) - old;
            GroupDeltaValue_c payload(delta);
            engine->groupOperation(i, &payload, delta);
        }
        return;
    }
    case kRecordFileList: {
        if (!control->isTypeOf("COptionMenu"))
            return;
        auto* menu = static_cast<COptionMenu*>(control);
        const int low = engine->getParaLowValue(i);
        const int high = engine->getParaHighValue(i);
        // A list of one entry, or a parameter of one value, chooses nothing.
        if (menu->getNbEntries() >= 2 && high > low)
            engine->setParameterAutomated(i, so_fdiv(static_cast<float>(menu->getCurrent()),
                                                     static_cast<float>(high - low)));
        return;
    }
    case kRecordText:
    case kRecordEditableText: {
        Vdx::String_c text;
        if (control->isTypeOf("CParamDisplay"))
            text = static_cast<CParamDisplay*>(control)->getText();
        else if (control->isTypeOf("CControlVx"))
            text = static_cast<CControlVx*>(control)->getUserText();
        if (records[i].kind == kRecordText)
            engine->setParaString(i, text);
        else
            editableTextHook(i, text.c_str());
        return;
    }
    default:
        break;
    }
    if (control->isTypeOf("CControlVx")) {
        auto* vx = static_cast<CControlVx*>(control);
        if (vx->getType() == kControlKindSwitchBack)
            switchBack();
        else if (vx->getType() != kControlKindMenu)
            handleUserInput(vx);
    }
    control->setDirty(true);
}

void SynthEditor_c::handleUserInput(CControlVx* control)
{
    const int i = clampEdit(control->getTag());
    if (control->getStepUp() || control->getStepDown() || control->getTextMode()) {
        const float old = engine->getParameterEdited(i);
        if (control->getStepUp())
            engine->stepParameterAutomated(i, +1);
        else if (control->getStepDown())
            engine->stepParameterAutomated(i, -1);
        else
            engine->setParaString(i, control->getUserText());
        groupStep(engine, control, i, old);
        return;
    }
    int index = -1;
    float v = 0.f;
    while (control->getValue(&index, &v)) {
        // A slot that edits nothing has nothing to send.
        if (index < 0)
            continue;
        const int p = clampEdit(index);
        const float old = engine->getParameterEdited(p);
        engine->setParameterAutomated(p, clamp01(v));
        groupStep(engine, control, p, old);
    }
}

void SynthEditor_c::touched(CControl* control, bool right)
{
    if (!engine || !control)
        return;
    Synth::BusyScope busy(*engine);
    engine->touchedParameter(clampEdit(control->getTag()), right);
}

// ------------------------------------------------- engine to controls

void SynthEditor_c::updateEdit(int index, bool withDependents)
{
    if (!engine)
        return;
    Synth::BusyScope busy(*engine);
    if (withDependents)
        updateDepMod(index);
    const int i = clampEdit(index);
    Edit& binder = edits[i];
    if (binder.paraIndex >= 0) {
        binder.Update(engine->getParameterEdited(binder.paraIndex));
        return;
    }
    ControlRecord& r = records[i];
    if (!r.control && !r.secondView)
        return;
    Vdx::String_c text;
    engine->getParaDispStr(i, text);
    const float v = engine->getParameterEdited(i);
    if (r.secondView) {
        if (r.kind == kRecordText || r.kind == kRecordEditableText) {
            // A text the user is typing stays until the edit ends.
            auto* display = static_cast<CParamDisplay*>(r.secondView);
            const bool editing = r.secondView->isTypeOf("CTextEdit") && static_cast<CTextEdit*>(display)->isEditing();
            if (!editing)
                display->setText(capped(text).c_str());
            display->setValue(v);
        } else if (auto* menu = dynamic_cast<CMenuBase*>(r.secondView); menu && r.kind == kRecordMenu) {
            menu->setVxValue(v);
        } else if (auto* list = dynamic_cast<CMenuFileList*>(r.secondView); list && r.kind == kRecordFileList) {
            list->fill(engine->getParaVal(i));
        } else if (r.secondView->isTypeOf("CControl")) {
            static_cast<CControl*>(r.secondView)->setValue(v);
        }
    }
    if (r.control) {
        r.control->setText(text);
        r.control->setValue(i, v);
    }
}

void SynthEditor_c::updateAllEdits()
{
    for (int i = 0; i < editCount; ++i)
        updateEdit(i, false);
    updateDepMod(-1);
    if (knobModeIndex >= 0)
        updateCircularLinearMode();
}

void SynthEditor_c::setSemitoneMode(int index, int mode)
{
    if (auto* depth = dynamic_cast<CModDepthDisp*>(records[clampEdit(index)].control)) {
        depth->setSemitoneMode(mode);
        depth->setDirty(true);
    }
}

// --------------------------------------------------------- registration

bool SynthEditor_c::placeable(CControl* control, CModulFrameVx* frame)
{
    if (!control)
        return false;
    if (!engine || !frame) {
        control->forget();
        return false;
    }
    return true;
}

void SynthEditor_c::createGeneralVx(CControlVx* control, int index, CModulFrameVx* frame)
{
    if (!placeable(control, frame))
        return;
    Synth::BusyScope busy(*engine);
    const int i = clampEdit(index);
    records[i].control = control;
    control->setDefaultValue(engine->getParaDef(i));
    updateEdit(i, false);
    frame->addView(control);
}

void SynthEditor_c::createGeneralVxCore(CControlVx* control, int* indices, int count, CModulFrameVx* frame)
{
    if (!indices && control) {
        control->forget();
        return;
    }
    if (!placeable(control, frame))
        return;
    Synth::BusyScope busy(*engine);
    count = std::min(count, control->getSlotCount());
    for (int k = 0; k < count; ++k) {
        const int i = clampEdit(indices[k]);
        control->setEditIdx(k, i);
        records[i].control = control;
        control->setDefault(i, engine->getParaDef(i));
        updateEdit(i, false);
    }
    frame->addView(control);
}

void SynthEditor_c::createGeneralVSTGUI(CControl* control, int index, CModulFrameVx* frame)
{
    if (!placeable(control, frame))
        return;
    Synth::BusyScope busy(*engine);
    const int i = clampEdit(index);
    records[i].control = nullptr;
    records[i].secondView = control;
    control->setDefaultValue(engine->getParaDef(i));
    updateEdit(i, false);
    frame->addView(control);
}

// ------------------------------------------------------------- factories

CSliderVx* SynthEditor_c::createSlider(int index, int x, int y, int w, int h, int cx, int cy, int hw, int hh,
                                       CBitmap* first, CBitmap* second, CModulFrameVx* frame)
{
    if (!engine || !frame)
        return nullptr;
    Synth::BusyScope busy(*engine);
    const int i = clampEdit(index);
    const int bw = second ? second->getWidth() : 0;
    const int bh = second ? second->getHeight() : 0;
    // The handle travels a little beyond the track at both ends, by the
    // handle picture's size less the track's thickness.
    const bool vertical = w <= h;
    const int a = vertical ? bw - hw : bw - 2;
    const int b = vertical ? bh - 2 : bh - hh;
    CRect area(x, y, x + w, y + h);
    CRect travel(cx - a / 2, cy - b / 2, cx + hw + a / 2, cy + hh + b / 2);
    auto* slider = new CSliderVx(area, travel, this, i, second, first);
    createGeneralVx(slider, i, frame);
    return slider;
}

CLabelVx* SynthEditor_c::createFilename(CModulFrameVx* frame, int index, int x, int y, int w, int h, CColor colour)
{
    CBitmap* background = backgroundOf(frame);
    if (!engine || !background || h < 1)
        return nullptr;
    Synth::BusyScope busy(*engine);
    const int i = clampEdit(index);
    auto* label = new CLabelVx(CRect(x, y, x + w, y + h), this, i, background,
                               h < 11 ? kNormalFontVerySmall : kNormalFontSmall, colour, kLeftText);
    Vdx::String_c text;
    engine->getParaDispStr(i, text);
    label->setText(text);
    label->setMouseEnabled(false);
    createGeneralVx(label, i, frame);
    return label;
}

CTextEdit* SynthEditor_c::createCharDisp(CModulFrameVx* frame, int index, int x, int y, int w, int h, CColor colour,
                                         CTxtFace style, CHoriTxtAlign align, bool editable, bool transparent)
{
    if (!engine || !frame || h < 1)
        return nullptr;
    Synth::BusyScope busy(*engine);
    const int i = clampEdit(index);
    auto* text = new CTextEdit(CRect(x, y, x + w, y + h), this, i, nullptr,
                               transparent ? nullptr : backgroundOf(frame));
    if (transparent)
        text->setTransparency(true);
    records[i].control = nullptr;
    records[i].secondView = text;
    records[i].kind = editable ? kRecordEditableText : kRecordText;
    updateEdit(i, false);
    frame->addView(text);
    text->setTxtFace(style);
    text->setHoriAlign(align);
    text->setFontColor(colour);
    text->setBackColor(colour.red + colour.green + colour.blue < DarkTextSum ? LightBack : DarkBack);
    text->setFont(h <= 10 ? kNormalFontVerySmall : h <= 13 ? kNormalFontSmall : h <= 15 ? kNormalFont : kNormalFontBig);
    text->setBackOffset(CPoint(x, y));
    Vdx::String_c shown;
    engine->getParaDispStr(i, shown);
    text->setText(capped(shown).c_str());
    return text;
}

COnOffButtonVx* SynthEditor_c::createOnOff(CModulFrameVx* frame, int index, int x, int y, CBitmap* bitmap,
                                           bool option)
{
    if (!engine || !frame || !bitmap)
        return nullptr;
    Synth::BusyScope busy(*engine);
    const int i = clampEdit(index);
    const int states = std::max(1, engine->getParaHighValue(i) - engine->getParaLowValue(i) + 1);
    CRect size(x, y, x + bitmap->getWidth(), y + bitmap->getHeight() / states);
    auto* button = new COnOffButtonVx(size, this, i, bitmap, states);
    createGeneralVx(button, i, frame);
    button->setType(kControlKindOnOff);
    button->setOptionFlag(option);
    records[i].kind = kRecordOnOff;
    return button;
}

CRadioButtonVx* SynthEditor_c::createRadio(CModulFrameVx* frame, int index, int x, int y, int count, int m,
                                           CBitmap* bitmap, bool rowMajor)
{
    if (!engine || !frame || !bitmap || count < 1 || m == 0)
        return nullptr;
    Synth::BusyScope busy(*engine);
    const int i = clampEdit(index);
    const int h = m < 0 ? bitmap->getHeight() / (count * -m) : bitmap->getHeight() / 2;
    auto* radio = new CRadioButtonVx(CRect(x, y, x + bitmap->getWidth(), y + h), this, i, count, m, rowMajor, bitmap);
    createGeneralVx(radio, i, frame);
    records[i].kind = kRecordRadio;
    return radio;
}

CPlusMinusDisplay* SynthEditor_c::createPMDisplay(CModulFrameVx* frame, int index, CRect size, CRect text,
                                                  CRect down, CRect up, CColor colour)
{
    if (!engine || !frame)
        return nullptr;
    Synth::BusyScope busy(*engine);
    const int i = clampEdit(index);
    auto* display = new CPlusMinusDisplay(size, this, i, text, up, down, backgroundOf(frame), kNormalFontSmall, colour);
    createGeneralVx(display, i, frame);
    records[i].kind = kRecordPlusMinus;
    return display;
}

CModDepthDisp* SynthEditor_c::createDepth(CModulFrameVx* frame, int index, int x, int y, int w, int h)
{
    if (!engine || !frame)
        return nullptr;
    Synth::BusyScope busy(*engine);
    const int i = clampEdit(index);
    CRect size(x, y, x + w, y + h);
    auto* depth = new CModDepthDisp(size, this, i, engine, backgroundOf(frame));
    createGeneralVx(depth, i, frame);
    depth->setFont(kNormalFontSmall);
    depth->setDrawColor(fontColor);
    depth->setHoriAlign(kCenterText);
    records[i].kind = kRecordDepth;
    return depth;
}

CVarDisplay* SynthEditor_c::createVarDisplay(CModulFrameVx* frame, int index, int x, int y, int w, int h,
                                             CColor colour)
{
    if (!engine || !frame || h < 1)
        return nullptr;
    Synth::BusyScope busy(*engine);
    const int i = clampEdit(index);
    CRect size(x, y, x + w, y + h);
    auto* display = new CVarDisplay(size, this, i, engine, backgroundOf(frame));
    createGeneralVx(display, i, frame);
    display->setFont(h >= 11 && h <= 13 ? kNormalFontSmall : h == 10 ? kNormalFontVerySmall : kNormalFont);
    display->setDrawColor(colour);
    display->setHoriAlign(kCenterText);
    records[i].kind = kRecordVarDisplay;
    return display;
}

CTouchAreaVx* SynthEditor_c::createTouchControl(CModulFrameVx* frame, int index, int command, int commandIndex,
                                                int value, int x, int y, int w, int h, bool repeat, CBitmap* bitmap)
{
    if (!engine || !frame)
        return nullptr;
    Synth::BusyScope busy(*engine);
    const int i = clampEdit(index);
    auto* area =
        new CTouchAreaVx(CRect(x, y, x + w, y + h), this, i, engine, command, commandIndex, value, repeat, bitmap);
    createGeneralVx(area, i, frame);
    return area;
}

COnOffBar* SynthEditor_c::createGatorSteps(CModulFrameVx* frame, int index, int steps, int x, int y, CBitmap* bitmap,
                                           bool option)
{
    if (!engine || !frame || !bitmap)
        return nullptr;
    Synth::BusyScope busy(*engine);
    const int i = clampEdit(index);
    steps = std::clamp(steps, 1, GatorSteps);
    const CRect size(x, y, x + bitmap->getWidth() * steps, y + bitmap->getHeight() / 2);
    auto* bar = new COnOffBar(size, this, i, bitmap, steps);
    bar->setOptionFlag(option);
    Vdx::String_c text;
    engine->getParaDispStr(i, text);
    bar->setText(text);
    createGeneralVx(bar, i, frame);
    return bar;
}

// ------------------------------------------- menus and file buttons

CMenuWithSub* SynthEditor_c::createMenuS(CModulFrameVx* frame, CColor colour, int index, CBitmap* bitmap, int x,
                                         int y, int w, int h, CHoriTxtAlign align, bool fillNow, bool checkStyle,
                                         bool drawn)
{
    if (!engine || !frame)
        return nullptr;
    Synth::BusyScope busy(*engine);
    const int i = clampEdit(index);
    auto* menu = new CMenuWithSub(CRect(x, y, x + w, y + h), this, i, engine, colour, drawn, bitmap, nullptr,
                                  checkStyle ? COptionMenu::kCheckStyle : 0, fillNow, kCenterText);
    menu->setHoriAlign(align);
    // The kind first: the first update shows the value through setVxValue.
    records[i].kind = kRecordMenu;
    createGeneralVSTGUI(menu, i, frame);
    return menu;
}

CMenuWithSub* SynthEditor_c::createMenu(CModulFrameVx* frame, CColor colour, int index, int x, int y, int w, int h,
                                        bool checkStyle, bool drawn, CHoriTxtAlign align)
{
    return createMenuS(frame, colour, index, nullptr, x, y, w, h, align, false, checkStyle, drawn);
}

CMenuWithSub* SynthEditor_c::createMenu(CModulFrameVx* frame, CColor colour, CBitmap* bitmap, int index, int x, int y,
                                        bool checkStyle, bool drawn, CHoriTxtAlign align)
{
    if (!bitmap)
        return nullptr;
    return createMenuS(frame, colour, index, bitmap, x, y, bitmap->getWidth(), bitmap->getHeight(), align, false,
                       checkStyle, drawn);
}

CMenuFileList* SynthEditor_c::createMenuFileList(CModulFrameVx* frame, int index, int list, CBitmap* bitmap, int x,
                                                 int y, int w, int h, bool first, bool multi, const char* emptyText)
{
    if (!engine || !frame)
        return nullptr;
    Synth::BusyScope busy(*engine);
    const int i = clampEdit(index);
    if (multi)
        list = 0;
    // With list -1 the menu gets the whole per-instrument run and shows the
    // edited instrument's listing.
    const int ins = std::max(list, 0);
    FileList_c* listings = multi ? (first ? engine->getMultiBnkList() : engine->getMultiPrgList())
                                 : (first ? engine->getBnkList(ins) : engine->getPrgList(ins));
    auto* menu = new CMenuFileList(CRect(x, y, x + w, y + h + 1), this, i, bitmap, listings, multi ? 0 : list, engine,
                                   emptyText);
    menu->setFont(kNormalFont);
    menu->setFontColor(fontColor);
    records[i].kind = kRecordFileList;
    createGeneralVSTGUI(menu, i, frame);
    return menu;
}

CMenuFileList* SynthEditor_c::createMenuFileList(CModulFrameVx* frame, int index, int list, int x, int y, int w,
                                                 int h, bool first, bool multi, const char* emptyText)
{
    return createMenuFileList(frame, index, list, nullptr, x, y, w, h, first, multi, emptyText);
}

CFileDialog4Vx* SynthEditor_c::createFileControl(CModulFrameVx* frame, int index, const char* title,
                                                 const char* filter, Tool::Disk::Extension_c& patterns,
                                                 const char* key, tOpenMode mode, int x, int y, int w, int h)
{
    if (!engine || !frame)
        return nullptr;
    Synth::BusyScope busy(*engine);
    const int i = clampEdit(index);
    auto* button = new CFileDialog4Vx(CRect(x, y, x + w, y + h), this, i, engine, nullptr);
    button->setTextMode(true);
    button->setShowsText(true);
    button->setTitle(title);
    button->setFilterText(filter);
    button->setPatterns(patterns);
    button->setRegKey(key);
    button->setMode(mode);
    createGeneralVx(button, i, frame);
    return button;
}
