// One builder per kind of row, and the layout functions every page shares.
// A row's rectangle comes from the same arithmetic the table walk uses
// (PageLayout::placeRow), but each builder makes it the way the page
// describes the control (a knob by its centre, a button by its picture),
// so a test that compares the two catches a table and a builder that
// disagree.
#include "VelaEditor.h"

#include "ButtonsAndDisplays.h"
#include "CBitmap.h"
#include "FileMenus.h"
#include "ParameterMenus.h"
#include "KeyboardBase.h"
#include "KnobsAndSliders.h"
#include "PatternControls.h"
#include "SampleDisplay.h"
#include "TouchControls.h"
#include "Vela.h"
#include "Synth.h"
#include "VelaExtTable.h"

#include <string_view>

using PageLayout::Kind;
using PageLayout::Place;
using PageLayout::Row;

namespace {
// Every knob and bar of the pages turns through 300 degrees from 0.
constexpr float KnobAngle = 300.f;
constexpr float KnobOffset = 0.f;
// The knob's value display, the bar's and the envelope slider's.
constexpr int KnobDisplayWidth = 36, KnobDisplayHeight = 8;
constexpr int BarWidth = 65, BarHeight = 11, BarFrames = 33;
constexpr int BarDisplayWidth = 40, BarDisplayHeight = 11, BarDisplayDx = 87, BarDisplayDy = 6;
constexpr int EnvDisplayWidth = 34, EnvDisplayHeight = 8;
// The plus/minus displays' two buttons at their right end.
constexpr int PlusMinusButton = PageLayout::PlusMinusButton;
// The mixer's sliders: a track of 64 pixels, 2 thick, about (x + 4, y + 4).
constexpr int MixSliderTrack = PageLayout::MixSliderTrack, MixSliderThickness = PageLayout::MixSliderThickness,
              MixSliderInset = PageLayout::MixSliderInset;
// The sample display's scroll bar: its arrow zones and its thumb.
constexpr int ScrollMargin = 12;
// "Scrollbar Size", the visible fraction, two entries after "SD Scroll".
constexpr int ScrollbarSizeOffset = 2;
constexpr CColor ScrollThumb{164, 164, 164, 255};
// The keyboard: white keys 18 x 95, black keys 10 x 60 at 13 pixels.
constexpr int WhiteKeyWidth = 18, WhiteKeyHeight = 95, BlackKeyWidth = 10, BlackKeyHeight = 60,
              BlackKeyOffset = 13;
constexpr int KeyboardChannel = 0;
constexpr int FxNameLeft = 12, FxNameRight = 67, FxNameHeight = 11;
// The file lists of "main" list the edited instrument's bank folders and
// program files; an empty folder shows this.
constexpr int EditedInstrument = -1;
constexpr const char* EmptyList = "- - -";
// The XY pads: the cross-hair in the default text colour fading into the
// pad's own colour, stronger on the tinted (lower) pads.
constexpr CColor PadFade{35, 50, 45, 255};
constexpr CColor PadFadeTinted{60, 80, 75, 255};
// The step grid: four columns of eight steps, 16 pixels left of each column
// for the marker, whose picture holds two frames.
constexpr int GridColumns = PageLayout::StepGridColumns, GridRows = PageLayout::StepGridRows,
              GridMargin = PageLayout::StepGridMargin, GridMarkerFrames = 2;
// The 5.1 map: seven rows (generators 1, 2, filters 1, 2, effects 1, 4, 6),
// each with its left-right, front-rear and on/off copies.
constexpr int MapRows = 7;
constexpr int MapFrontRearOffset = 7, MapOnOffset = 14;
// The sample display's colours: before the start point, played, looped.
constexpr CColor SamplePlayed{240, 240, 245, 255};
constexpr CColor SampleBeforeStart{100, 100, 100, 255};
constexpr CColor SampleLooped{120, 244, 125, 255};
constexpr int FxBarX = 70;

int fxRowOf(int y)
{
    return (y - PageLayout::fxRowY(0)) / 13;
}
} // namespace

// -------------------------------------------------------- layout functions

CMIKnob* VelaEditor_c::createKnob(int style, CModulFrameVx* frame, int index, int x, int y, int displayOffset,
                                  CColor colour)
{
    const PageLayout::KnobStyle& s = PageLayout::knobStyle(style);
    CBitmap* strip = getPicture(s.picture);
    if (!engine || !frame || !strip)
        return nullptr;
    Synth::BusyScope busy(*engine);
    Edit& binder = getEdit(index);
    const int left = x - s.width / 2;
    const int top = y - s.height / 2;
    auto* knob = new CMIKnob(CRect(left, top, left + s.width, top + s.height), &binder, clampEdit(index),
                             frame->getBackground(), strip, s.frames, KnobAngle, KnobOffset);
    knob->setOptionFlag(true);
    if (style == kDialEndless)
        knob->setWrap(true);
    binder.createGeneral(knob, clampEdit(index), engine, frame);
    if (displayOffset != 0)
        binder.addDisplay(frame, x, y + displayOffset, KnobDisplayWidth, KnobDisplayHeight, colour);
    return knob;
}

CMIKnob* VelaEditor_c::createParaBar(CModulFrameVx* frame, int index, int x, int y)
{
    CBitmap* strip = getPicture(EditorPictures::ParameterBar);
    if (!engine || !frame || !strip)
        return nullptr;
    Synth::BusyScope busy(*engine);
    Edit& binder = getEdit(index);
    auto* bar = new CMIKnob(CRect(x, y, x + BarWidth, y + BarHeight), &binder, clampEdit(index),
                            frame->getBackground(), strip, BarFrames, KnobAngle, KnobOffset);
    bar->setOptionFlag(true);
    binder.createGeneral(bar, clampEdit(index), engine, frame);
    binder.addDisplay(frame, x + BarDisplayDx, y + BarDisplayDy, BarDisplayWidth, BarDisplayHeight,
                      getTextColour(kTextDefault));
    return bar;
}

CLabelVx* VelaEditor_c::createFxName(CModulFrameVx* frame, int r, const char* text)
{
    if (!frame || !text)
        return nullptr;
    const int y = PageLayout::fxRowY(r);
    auto* label = new CLabelVx(CRect(FxNameLeft, y, FxNameRight, y + FxNameHeight), nullptr, 0, frame->getBackground(),
                               kNormalFontSmall, getTextColour(kTextDefault), kLeftText);
    label->setText(text);
    frame->addView(label);
    return label;
}

CMIKnob* VelaEditor_c::createFxKnob(CModulFrameVx* frame, int r, const char* text, int index)
{
    createFxName(frame, r, text);
    return createParaBar(frame, index, FxBarX, PageLayout::fxRowY(r));
}

COnOffButtonVx* VelaEditor_c::createFxOnOff(CModulFrameVx* frame, int r, const char* text, int index)
{
    createFxName(frame, r, text);
    return createOnOff(frame, index, FxBarX, PageLayout::fxRowY(r) - 1, getPicture(EditorPictures::EffectRowSwitch),
                       true);
}

CDrawbarVx* VelaEditor_c::createEnvSlider(CModulFrameVx* frame, int index, int x, int y, bool small,
                                          bool withDisplay)
{
    CBitmap* bar = getPicture(small ? EditorPictures::EnvelopeBarSmall : EditorPictures::EnvelopeBar);
    if (!engine || !frame || !bar)
        return nullptr;
    Synth::BusyScope busy(*engine);
    Edit& binder = getEdit(index);
    CRect size = small ? CRect(x, y, x + 10, y + 73) : CRect(x - 4, y, x + 15, y + 86);
    auto* slider = new CDrawbarVx(size, small ? 8 : 10, &binder, clampEdit(index), bar, frame->getBackground());
    slider->setOptionFlag(true);
    slider->setInverted(true);
    binder.createGeneral(slider, clampEdit(index), engine, frame);
    if (withDisplay)
        binder.addDisplay(frame, x + 6, y - 12, EnvDisplayWidth, EnvDisplayHeight, getTextColour(kTextDefault));
    return slider;
}

CXYVx* VelaEditor_c::createXY(CModulFrameVx* frame, int index, int x, int y, int size, bool tint)
{
    if (!engine || !frame)
        return nullptr;
    Synth::BusyScope busy(*engine);
    auto* pad = new CXYVx(CRect(x, y, x + size, y + size), this, clampEdit(index), frame->getBackground(),
                          getTextColour(kTextDefault), tint ? PadFadeTinted : PadFade);
    int indices[2] = {index, index + 1};
    createGeneralVxCore(pad, indices, 2, frame);
    getRecord(index).kind = kRecordPad;
    getRecord(index + 1).kind = kRecordPad;
    return pad;
}

// ----------------------------------------------------------------- the walk

void VelaEditor_c::buildRows(CModulFrameVx* frame, std::span<const Row> rows, const Place& place)
{
    if (!frame)
        return;
    for (const Row& row : rows)
        for (int k = 0; k < row.count; ++k)
            buildRow(frame, row, place, k);
}

void VelaEditor_c::buildRow(CModulFrameVx* frame, const Row& row, const Place& place, int repeat)
{
    const int index = PageLayout::indexAt(row, place, repeat);
    const int x = row.x;
    const int y = PageLayout::yAt(row, place, repeat);
    const CColor colour = PageLayout::colourOf(row.colour);
    switch (row.kind) {
    case Kind::Knob:
        createKnob(row.style, frame, index, x, y, row.displayOffset, colour);
        return;
    case Kind::ParaBar:
        createParaBar(frame, index, x, y);
        return;
    case Kind::FxBar:
        createFxKnob(frame, fxRowOf(y), row.label, index);
        return;
    case Kind::FxOnOff:
        createFxOnOff(frame, fxRowOf(y + 1), row.label, index);
        return;
    case Kind::FxName:
        createFxName(frame, fxRowOf(y), row.label);
        return;
    case Kind::OnOff:
        createOnOff(frame, index, x, y, getPicture(row.picture), true);
        return;
    case Kind::Radio:
        createRadio(frame, index, x, y, row.columns, row.rows, getPicture(row.picture), false);
        return;
    case Kind::PlusMinus: {
        const CRect outer(x, y, x + row.w, y + row.h);
        const CRect text(outer.left, outer.top - 1, outer.right - 2 * PlusMinusButton, outer.bottom);
        const CRect left(outer.right - 2 * PlusMinusButton, outer.top, outer.right - PlusMinusButton, outer.bottom);
        const CRect right(outer.right - PlusMinusButton, outer.top, outer.right, outer.bottom);
        createPMDisplay(frame, index, outer, text, left, right, colour);
        return;
    }
    case Kind::VarDisplay:
        createVarDisplay(frame, index, x, y, row.w, row.h, colour);
        return;
    case Kind::Filename:
    case Kind::ZoneLabel:
        createFilename(frame, index, x, y, row.w, row.h, colour);
        return;
    case Kind::TextDisplay:
        createCharDisp(frame, index, x, y, row.w, row.h, colour, kNormalFace, kLeftText, false, false);
        return;
    case Kind::Depth:
        createDepth(frame, index, x, y, row.w, row.h);
        return;
    case Kind::EnvSlider:
        createEnvSlider(frame, index, x, y, row.small, row.display);
        return;
    case Kind::Slider:
        createSlider(index, x, y, row.w, row.h, x + MixSliderInset, y + MixSliderInset, MixSliderTrack,
                     MixSliderThickness, frame->getBackground(), getPicture(row.picture), frame);
        return;
    case Kind::ScrollBar: {
        if (!engine)
            return;
        CRect size(x, y, x + row.w, y + row.h);
        auto* bar = new CScrollbarVx(size, this, clampEdit(index), frame->getBackground(), ScrollMargin, ScrollThumb);
        // Slot 1, the thumb's share of the track, follows the sample
        // display's visible fraction.
        int indices[2] = {index, index + ScrollbarSizeOffset};
        createGeneralVxCore(bar, indices, 2, frame);
        return;
    }
    case Kind::Keyboard: {
        CBitmap* first = getPicture(EditorPictures::KeysFirst);
        CBitmap* second = getPicture(EditorPictures::KeysSecond);
        if (!engine || !first || !second)
            return;
        CRect size(x, y, x + row.w, y + row.h);
        auto* keys = new CKeyboard2(size, this, clampEdit(index), first, second, engine, WhiteKeyWidth, WhiteKeyHeight,
                                    BlackKeyWidth, BlackKeyHeight, BlackKeyOffset);
        createGeneralVx(keys, index, frame);
        setKeyboard(KeyboardChannel, keys);
        return;
    }
    case Kind::XYPad:
        createXY(frame, index, x, y, row.w, row.tint);
        return;
    case Kind::Touch:
        createTouchControl(frame, index, row.command + row.commandStride * place.slot,
                           row.commandIndex + row.commandIndexStride * place.slot,
                           row.commandValue + row.commandValueStride * place.slot, x, y, row.w, row.h, false,
                           nullptr);
        return;
    case Kind::GateSteps:
        createGatorSteps(frame, index, row.columns, x, y, getPicture(row.picture), false);
        return;
    case Kind::StepGrid: {
        if (!engine)
            return;
        CRect size(x, y, x + row.w, y + row.h);
        auto* grid = new CStepSeqVx(size, this, clampEdit(index), frame->getBackground(), getPicture(row.picture),
                                    colour, GridColumns, GridRows, GridMargin, GridMarkerFrames);
        createGeneralVx(grid, index, frame);
        return;
    }
    case Kind::Map51: {
        if (!engine)
            return;
        CRect size(x, y, x + row.w, y + row.h);
        auto* map = new C51Map(size, this, clampEdit(index), getPicture(row.picture), MapRows);
        int indices[3 * MapRows];
        for (int k = 0; k < MapRows; ++k) {
            indices[C51Map::xSlot(k)] = index + k;
            indices[C51Map::ySlot(k)] = index + MapFrontRearOffset + k;
            indices[C51Map::onSlot(k)] = index + MapOnOffset + k;
        }
        createGeneralVxCore(map, indices, 3 * MapRows, frame);
        getRecord(index).kind = kRecordPad;
        return;
    }
    case Kind::SampleDisplay: {
        if (!engine)
            return;
        CRect size(x, y, x + row.w, y + row.h);
        auto* display = new CSampleDisplayVl_c(size, this, clampEdit(index), frame->getBackground());
        // Start point, loop start, loop end, crossfade, zoom and scroll of
        // loop sampler s, the last two as the read-only twins the page shows.
        int indices[CSampleDisplayVl_c::SlotCount] = {
            index, VelaExt::LoopStartEntry0 + place.slot, VelaExt::LoopEndEntry0 + place.slot,
            VelaExt::ZoneModRangeEntry0 + place.slot, VelaExt::SDZoomTwinEntry0 + place.slot,
            VelaExt::SDScrollTwinEntry0 + place.slot};
        if (auto* vela = dynamic_cast<Vela_c*>(engine))
            display->create(vela->getShownSampleSlot(place.slot), SamplePlayed, SampleBeforeStart, SampleLooped);
        createGeneralVxCore(display, indices, CSampleDisplayVl_c::SlotCount, frame);
        return;
    }
    case Kind::Menu:
        // Centred; a menu with a picture takes its size and draws it.
        if (row.picture > 0)
            createMenu(frame, colour, getPicture(row.picture), index, x, y, false, row.drawn, kCenterText);
        else
            createMenu(frame, colour, index, x, y, row.w, row.h, false, row.drawn, kCenterText);
        return;
    case Kind::SubMenu:
        createMenuS(frame, colour, index, nullptr, x, y, row.w, row.h, kCenterText, false, false, row.drawn);
        return;
    case Kind::FileList:
        createMenuFileList(frame, index, EditedInstrument, x, y, row.w, row.h, row.list == 0, false, EmptyList);
        return;
    case Kind::FileButton: {
        const PageLayout::FileSpec& f = *row.file;
        const std::string_view patterns = f.patterns;
        Tool::Disk::Extension_c own(f.patterns);
        Tool::Disk::Extension_c& offered = patterns == "fxp"   ? getFxpPatterns()
                                           : patterns == "tun" ? getTunPatterns()
                                                               : own;
        createFileControl(frame, index, f.title, f.filter, offered, f.key, f.mode, x, y, row.w, row.h);
        return;
    }
    }
}
