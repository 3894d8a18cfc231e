#include "PageLayout.h"

#include "EditorLook.h"
#include "EditorPictures.h"

namespace PageLayout {
namespace {
// The knob styles: width, height, frames and strip of each. Styles 7 to 14
// are the overview page's coloured knobs; 15 and 16 are the envelope
// sliders' bars, which no page builds as knobs.
constexpr KnobStyle Styles[KnobStyleCount] = {
    {33, 33, 71, 350},   {78, 38, 53, 353},   {73, 36, 51, 352},   {114, 114, 83, 354}, {120, 57, 41, 356},
    {120, 57, 41, 355},  {107, 107, 80, 357}, {58, 57, 42, 360},   {58, 57, 42, 361},   {58, 57, 42, 362},
    {58, 57, 42, 363},   {58, 57, 42, 364},   {58, 57, 42, 365},   {58, 57, 42, 366},   {58, 57, 42, 367},
    {15, 92, 83, 376},   {15, 76, 68, 377},
};

// Sizes of the views the builders add beside a control.
constexpr int KnobDisplayWidth = 36, KnobDisplayHeight = 8;
constexpr int BarDisplayWidth = 40, BarDisplayHeight = 11;
constexpr int BarDisplayDx = 87, BarDisplayDy = 6; // the value's centre from the bar's corner
constexpr int EnvDisplayWidth = 34, EnvDisplayHeight = 8;
constexpr int EnvDisplayDx = 6, EnvDisplayDy = -12; // the value's centre from the slider's point
constexpr int FxNameLeft = 12, FxNameRight = 67, FxNameHeight = 11;

// A value display centred on (x, y), halves by integer division (an odd
// size loses its last pixel, as the displays are made).
CRect centred(int x, int y, int w, int h)
{
    return CRect(x - w / 2, y - h / 2, x + w / 2, y + h / 2);
}
} // namespace

const char* kindName(Kind kind)
{
    switch (kind) {
    case Kind::Knob: return "knob";
    case Kind::ParaBar: return "parameter bar";
    case Kind::FxBar: return "effect bar";
    case Kind::FxOnOff: return "effect on/off";
    case Kind::FxName: return "effect row name";
    case Kind::OnOff: return "on/off";
    case Kind::Radio: return "radio";
    case Kind::Menu: return "menu";
    case Kind::SubMenu: return "submenu menu";
    case Kind::FileList: return "file-list menu";
    case Kind::Touch: return "touch area";
    case Kind::FileButton: return "file button";
    case Kind::PlusMinus: return "plus/minus display";
    case Kind::VarDisplay: return "value display";
    case Kind::Filename: return "file-name display";
    case Kind::TextDisplay: return "text display";
    case Kind::Depth: return "depth display";
    case Kind::XYPad: return "XY pad";
    case Kind::EnvSlider: return "envelope slider";
    case Kind::Slider: return "slider";
    case Kind::Map51: return "5.1 map";
    case Kind::Keyboard: return "keyboard";
    case Kind::StepGrid: return "step grid";
    case Kind::GateSteps: return "gate steps";
    case Kind::SampleDisplay: return "sample display";
    case Kind::ScrollBar: return "scroll bar";
    case Kind::ZoneLabel: return "zone label";
    }
    return "?";
}

CColor colourOf(Colour colour)
{
    switch (colour) {
    case Colour::Default: return Look::Text;
    case Colour::Bright: return Look::TextBright;
    case Colour::Dim: return Look::TextDim;
    case Colour::Olive: return Look::TextOlive;
    case Colour::Black: return CColor{0, 0, 0, 255};
    }
    return Look::Text;
}

const KnobStyle& knobStyle(int style)
{
    return Styles[style >= 0 && style < KnobStyleCount ? style : 0];
}

int pictureOf(const Row& row)
{
    return row.kind == Kind::Knob ? knobStyle(row.style).picture : row.picture;
}

CPoint pictureFrameSize(int picture)
{
    if (picture <= 0)
        return {};
    if (picture == EditorPictures::MainBackground)
        return {EditorPictures::MainWidth, EditorPictures::MainHeight};
    if (const EditorPictures::Picture* p = EditorPictures::find(picture))
        return {p->frameWidth, p->frameHeight};
    if (const EditorPictures::PageSize* p = EditorPictures::findPage(picture))
        return {p->width, p->height};
    return {};
}

std::vector<Placed> placeRow(const Row& row, const Place& place, int repeat)
{
    const int index = indexAt(row, place, repeat);
    const int x = row.x;
    const int y = yAt(row, place, repeat);
    const char* label = row.labels ? row.labels[repeat] : row.label;
    const int picture = pictureOf(row);
    const CPoint frameSize = pictureFrameSize(picture);
    std::vector<Placed> views;
    auto add = [&](Part part, CRect rect, int pic, const char* text, int at = -2) {
        views.push_back({&row, part, at == -2 ? index : at, repeat, rect, pic, text});
    };
    auto sized = [&](int w, int h) { return CRect(x, y, x + w, y + h); };
    switch (row.kind) {
    case Kind::Knob: {
        // The whole strip frame, its corner at half its size up and left
        // of the centre.
        const KnobStyle& s = knobStyle(row.style);
        add(Part::Control, CRect(x - s.width / 2, y - s.height / 2, x - s.width / 2 + s.width, y - s.height / 2 + s.height),
            picture, label);
        if (row.displayOffset != 0)
            add(Part::Display, centred(x, y + row.displayOffset, KnobDisplayWidth, KnobDisplayHeight), 0, nullptr);
        break;
    }
    case Kind::FxBar:
        add(Part::Label, CRect(FxNameLeft, y, FxNameRight, y + FxNameHeight), 0, label, -1);
        [[fallthrough]];
    case Kind::ParaBar:
        add(Part::Control, sized(row.w, row.h), picture, label);
        add(Part::Display, centred(x + BarDisplayDx, y + BarDisplayDy, BarDisplayWidth, BarDisplayHeight), 0,
            nullptr);
        break;
    case Kind::FxOnOff:
        add(Part::Label, CRect(FxNameLeft, y + 1, FxNameRight, y + 1 + FxNameHeight), 0, label, -1);
        add(Part::Control, sized(frameSize.h, frameSize.v), picture, label);
        break;
    case Kind::FxName:
        add(Part::Label, sized(row.w, row.h), 0, label, -1);
        break;
    case Kind::OnOff:
    case Kind::Radio:
        add(Part::Control, sized(frameSize.h, frameSize.v), picture, label);
        break;
    case Kind::Menu:
        if (picture > 0)
            add(Part::Control, sized(frameSize.h, frameSize.v), picture, label);
        else
            add(Part::Control, sized(row.w, row.h), 0, label);
        break;
    case Kind::FileList:
        // The list is one pixel taller than the row gives it.
        add(Part::Control, sized(row.w, row.h + 1), 0, label);
        break;
    case Kind::EnvSlider:
        if (row.small) {
            add(Part::Control, CRect(x, y, x + 10, y + 73), EditorPictures::EnvelopeBarSmall, label);
        } else {
            add(Part::Control, CRect(x - 4, y, x + 15, y + 86), EditorPictures::EnvelopeBar, label);
        }
        if (row.display)
            add(Part::Display, centred(x + EnvDisplayDx, y + EnvDisplayDy, EnvDisplayWidth, EnvDisplayHeight), 0,
                nullptr);
        break;
    case Kind::GateSteps:
        add(Part::Control, sized(frameSize.h * row.columns, frameSize.v), picture, label);
        break;
    default:
        add(Part::Control, sized(row.w, row.h), picture, label);
        break;
    }
    return views;
}

std::vector<Placed> placedViews(std::span<const Row> table, const Place& place)
{
    std::vector<Placed> all;
    for (const Row& row : table)
        for (int k = 0; k < row.count; ++k) {
            std::vector<Placed> views = placeRow(row, place, k);
            all.insert(all.end(), views.begin(), views.end());
        }
    return all;
}

} // namespace PageLayout
