#include "EditorPictures.h"

#include "CBitmap.h"
#include "CDrawContext.h"
#include "EditorLook.h"
#include "PagePainters.h"
#include "PicturePainters.h"
#include "VendorMessages.h"

#include <cairo.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace EditorPictures {
namespace {
using Painters::RadioIcon;

// Labels of the buttons and grids whose states have names.
const char* const PageNames[] = {"MAIN", "GEN 1+2", "GEN 3+4", "FILTER", "FX", "MOD", "SETUP"};
const char* const LowerPageNames[] = {"MIXER", "KEYS"};
const char* const RoutingNames[] = {"Mix", "AM", "FM"};
const char* const LfoNames[] = {"LFO 1", "LFO 2", "LFO 3", "LFO 4"};
const char* const EnvelopeNames[] = {"Gen 1", "Gen 2", "Mod 1", "Mod 2", "Amp"};
const char* const Numbers[] = {"1", "2", "3", "4", "5", "6", "7", "8"};
const char* const LadderNames[] = {"LP12", "LP24", "BP", "HP"};
const char* const SlopeNames[] = {"12 dB", "24 dB"};
const char* const ShapeNames[] = {"Log", "Lin"};
const char* const InverseNames[] = {"+", "\xE2\x88\x92"}; // plus, minus sign
const char* const GlideModeNames[] = {"Off", "Held", "On", "Bend"};
const char* const GlideTimeNames[] = {"Time", "Rate"};
// The 5.1 mixer's rows: generators 1 and 2, filters 1 and 2, effects 1, 4, 6.
const char* const MixRowNames[MixRows] = {"G1", "G2", "F1", "F2", "E1", "E4", "E6"};
constexpr CColor MixRowColours[MixRows] = {Look::Generator[0], Look::Generator[1], Look::Filter[0], Look::Filter[1],
                                           Look::Effect[0],    Look::Effect[1],    Look::Effect[2]};
const int WaveIcons[] = {int(RadioIcon::Sine),  int(RadioIcon::Triangle), int(RadioIcon::Saw),
                         int(RadioIcon::Square), int(RadioIcon::Noise),   int(RadioIcon::SampleHold)};

constexpr int LedSize = 12;

constexpr Picture led(int id, const char* name, CColor accent = Look::Accent, int size = LedSize)
{
    return {.id = id, .name = name, .kind = Kind::Led, .frameWidth = size, .frameHeight = size, .frames = 2,
            .accent = accent};
}

constexpr Picture knob(int id, const char* name, int w, int h, int frames, CColor accent = Look::Accent)
{
    return {.id = id, .name = name, .kind = Kind::Knob, .frameWidth = w, .frameHeight = h, .frames = frames,
            .accent = accent};
}

constexpr Picture radio(int id, const char* name, int columns, int rows, int cellWidth, int cellHeight,
                        const char* const* labels, const int* icons = nullptr)
{
    return {.id = id, .name = name, .kind = Kind::Radio, .frameWidth = columns * cellWidth,
            .frameHeight = rows * cellHeight, .frames = 2, .columns = columns, .rows = rows, .labels = labels,
            .icons = icons};
}

constexpr Picture labelled(int id, const char* name, int w, int h, int states, const char* const* labels)
{
    return {.id = id, .name = name, .kind = Kind::LabelledToggle, .frameWidth = w, .frameHeight = h,
            .frames = states, .labels = labels};
}

// Sizes: knob strips as the knob styles of the pages take them, one frame
// the size of the knob; on/off pictures one frame per state of their
// parameter; radio pictures one whole grid off above one on; the hanging
// bars as large as their sliders, the handle at the bottom; keyboard strips
// six frames of half a white key.
const Picture Table[] = {
    radio(LfoWave, "lfo-wave", 6, 1, 22, 14, nullptr, WaveIcons),
    led(LoopSnap, "loop-snap"),
    led(SamplerLoopRelease, "sampler-loop-release"),
    led(OscFreerun, "osc-freerun"),
    led(LfoMono, "lfo-mono"),
    led(JumpToSaveDir, "jump-to-save-dir"),
    led(ArpSwitch, "arp-switch"),
    radio(ZonePage, "zone-page", 1, 8, 14, 12, Numbers),
    {.id = StepMarker, .name = "step-marker", .kind = Kind::StepMarker, .frameWidth = StepMarkerWidth,
     .frameHeight = StepMarkerHeight, .frames = 2},
    radio(ArpSteps, "arp-steps", 1, 4, 16, 14, Numbers),
    radio(PageTabs, "page-tabs", 7, 1, 72, 22, PageNames),
    radio(LadderType, "ladder-type", 1, 4, 34, 14, LadderNames),
    radio(LfoSelect, "lfo-select", 4, 1, 36, 14, LfoNames),
    radio(EnvelopeSelect, "envelope-select", 1, 5, 30, 14, EnvelopeNames),
    led(LoopRelease, "loop-release"),
    led(LoopTrack, "loop-track"),
    radio(ZoneSelect, "zone-select", 1, 8, 10, 12, nullptr),
    {.id = Operation, .name = "operation", .kind = Kind::Power, .frameWidth = 24, .frameHeight = 12, .frames = 2},
    led(LoopReverse, "loop-reverse"),
    labelled(GlideTimeRate, "glide-time-rate", 34, 14, 2, GlideTimeNames),
    led(MidiWheelSwitch, "midi-wheel-switch"),
    led(MidiVolumeSwitch, "midi-volume-switch"),
    radio(EnvelopeShape, "envelope-shape", 1, 2, 26, 13, ShapeNames),
    radio(EnvelopeInverse, "envelope-inverse", 1, 2, 20, 13, InverseNames),
    led(SamplerReverse, "sampler-reverse"),
    radio(MorphSlope, "morph-slope", 1, 2, 40, 14, SlopeNames),
    led(GeneratorSwitch1, "generator-1-switch", Look::Generator[0]),
    led(GeneratorSwitch1 + 1, "generator-2-switch", Look::Generator[1]),
    led(GeneratorSwitch1 + 2, "generator-3-switch", Look::Generator[2]),
    led(GeneratorSwitch1 + 3, "generator-4-switch", Look::Generator[3]),
    led(FilterSwitch1, "filter-1-switch", Look::Filter[0]),
    led(FilterSwitch2, "filter-2-switch", Look::Filter[1]),
    led(InsertSwitch, "insert-switch"),
    led(PitchTrack, "pitch-track"),
    led(OscTrack, "osc-track"),
    knob(KnobSmall, "knob-small", 33, 33, 71),
    knob(KnobWide2, "knob-wide-2", 73, 36, 51),
    knob(KnobWide1, "knob-wide-1", 78, 38, 53),
    knob(KnobLarge, "knob-large", 114, 114, 83),
    knob(KnobResonance, "knob-resonance", 120, 57, 41),
    knob(KnobCutoff, "knob-cutoff", 120, 57, 41),
    {.id = KnobEndless, .name = "knob-endless", .kind = Kind::EndlessKnob, .frameWidth = 107, .frameHeight = 107,
     .frames = 80},
    knob(KnobGenerator1, "knob-generator-1", 58, 57, 42, Look::Generator[0]),
    knob(KnobGenerator1 + 1, "knob-generator-2", 58, 57, 42, Look::Generator[1]),
    knob(KnobGenerator1 + 2, "knob-generator-3", 58, 57, 42, Look::Generator[2]),
    knob(KnobGenerator1 + 3, "knob-generator-4", 58, 57, 42, Look::Generator[3]),
    knob(KnobFilter1Cutoff, "knob-filter-1-cutoff", 58, 57, 42, Look::Filter[0]),
    knob(KnobFilter1Resonance, "knob-filter-1-resonance", 58, 57, 42, Look::Filter[0]),
    knob(KnobFilter2Cutoff, "knob-filter-2-cutoff", 58, 57, 42, Look::Filter[1]),
    knob(KnobFilter2Resonance, "knob-filter-2-resonance", 58, 57, 42, Look::Filter[1]),
    led(PhaserInverse, "phaser-inverse"),
    {.id = GateSteps, .name = "gate-steps", .kind = Kind::GateStep, .frameWidth = GateStepSize,
     .frameHeight = GateStepSize, .frames = 2},
    labelled(GlideMode, "glide-mode", 36, 14, 4, GlideModeNames),
    radio(LowerPageTabs, "lower-page-tabs", 2, 1, 52, 18, LowerPageNames),
    {.id = SliderHandle, .name = "slider-handle", .kind = Kind::SliderHandle, .frameWidth = 8, .frameHeight = 10,
     .frames = 1},
    {.id = ParameterBar, .name = "parameter-bar", .kind = Kind::ValueBar, .frameWidth = 65, .frameHeight = 11,
     .frames = 33},
    led(EffectRowSwitch, "effect-row-switch"),
    {.id = EnvelopeBar, .name = "envelope-bar", .kind = Kind::HangingBar, .frameWidth = 19, .frameHeight = 86,
     .frames = 1, .handleHeight = 10},
    {.id = EnvelopeBarSmall, .name = "envelope-bar-small", .kind = Kind::HangingBar, .frameWidth = 10,
     .frameHeight = 73, .frames = 1, .handleHeight = 8},
    led(ControllerSwitch, "controller-switch"),
    led(ChordSwitch, "chord-switch"),
    radio(OscRouting, "osc-routing", 1, 3, 30, 13, RoutingNames),
    led(SmallSwitch, "small-switch", Look::Accent, 11),
    {.id = KeysFirst, .name = "keys-first", .kind = Kind::KeysLeft, .frameWidth = KeyStripWidth,
     .frameHeight = KeyHeight, .frames = KeyStripFrames},
    {.id = KeysSecond, .name = "keys-second", .kind = Kind::KeysRight, .frameWidth = KeyStripWidth,
     .frameHeight = KeyHeight, .frames = KeyStripFrames},
    // Menu backgrounds: a row of an effect frame is 11 high, 13 apart; the
    // tempo-sync menus stand at x 177 and the mode menus at 181, so both
    // end at 217, inside the frame. The widths hold a note value ("16/1T")
    // or a mode ("xlink", "LP12") in the menus' small font beside the arrow.
    {.id = TempoSyncMenu, .name = "tempo-sync-menu", .kind = Kind::MenuBox, .frameWidth = 40, .frameHeight = 11,
     .frames = 1},
    {.id = ModeMenu, .name = "mode-menu", .kind = Kind::MenuBox, .frameWidth = 36, .frameHeight = 11, .frames = 1,
     .accent = Look::TextDim},
    {.id = MixMapDots, .name = "mix-map-dots", .kind = Kind::MapDots, .frameWidth = MapDotSize,
     .frameHeight = MapDotSize, .frames = MixRows, .labels = MixRowNames},
};

// The page backgrounds and panels. Upper pages span the window's width
// between the page tabs and the strip of the lower page tabs (y 37 to 327),
// lower pages the rest from y 348; panels fit between their neighbours on
// their pages (effect frames beside the wet sliders, envelopes left of the
// filter's module menus).
constexpr PageSize Pages[] = {
    {200, "page-main", 800, 290},
    {201, "page-gen01", 800, 290},
    {202, "page-gen23", 800, 290},
    {203, "page-filter", 800, 290},
    {204, "page-fx", 800, 290},
    {205, "page-modulation", 800, 290},
    {206, "page-setup", 800, 290},
    {220, "panel-osc-upper", 660, 145},
    {221, "panel-osc-lower", 660, 145},
    {222, "panel-sampler-upper", 660, 145},
    {223, "panel-sampler-lower", 660, 145},
    {224, "panel-table-upper", 660, 145},
    {225, "panel-table-lower", 660, 145},
    {226, "panel-loop-upper", 660, 145},
    {227, "panel-loop-lower", 660, 145},
    {229, "panel-effect", 224, 115},
    {239, "panel-filter-envelope-2", 198, 130},
    {240, "page-parts", 800, 132},
    {241, "page-keys", 800, 132},
    {242, "panel-ladder", 130, 130},
    {243, "panel-morph", 130, 130},
    {244, "panel-lfo", 340, 90},
    {245, "panel-envelope", 198, 130},
    {246, "panel-empty", 198, 130},
    {247, "panel-envelope-holder", 242, 134},
    {251, "panel-filter-envelope-1", 198, 130},
    {321, "panel-keys", 648, 95},
    // Loaded with the others, shown by no page: small tiles in the look.
    {219, "spare-219", 32, 32},
    {252, "spare-252", 32, 32},
    {327, "spare-327", 32, 32},
    {332, "spare-332", 32, 32},
};

std::atomic<bool> failing[MaxId + 1];

// A neutral tile for an id no painter claims yet: a grey that differs a
// little per id, so neighbouring tiles can be told apart.
void paintTile(cairo_t* cr, CCoord w, CCoord h, int id)
{
    CDrawContext c(cr);
    const uint8_t g = static_cast<uint8_t>(70 + (id * 37) % 90);
    c.setFillColor(CColor{g, g, static_cast<uint8_t>(g + 10), 255});
    c.setFrameColor(Look::Edge);
    c.drawRect(CRect(0, 0, w, h), kDrawFilledAndStroked);
}
} // namespace

std::span<const Picture> pictures()
{
    return Table;
}

const Picture* find(int id)
{
    const auto it = std::find_if(std::begin(Table), std::end(Table), [id](const Picture& p) { return p.id == id; });
    return it == std::end(Table) ? nullptr : &*it;
}

std::span<const PageSize> pages()
{
    return Pages;
}

const PageSize* findPage(int id)
{
    const auto it = std::find_if(std::begin(Pages), std::end(Pages), [id](const PageSize& p) { return p.id == id; });
    return it == std::end(Pages) ? nullptr : &*it;
}

void paintFrame(const Picture& p, cairo_t* cr, int frame)
{
    const int w = p.frameWidth;
    const int h = p.frameHeight;
    const double v = p.frames > 1 ? double(frame) / (p.frames - 1) : 0.0;
    switch (p.kind) {
    case Kind::Knob:
    case Kind::EndlessKnob:
        Painters::knob(cr, w, h, v, {.accent = p.accent, .endless = p.kind == Kind::EndlessKnob});
        break;
    case Kind::ValueBar:
        Painters::valueBar(cr, w, h, v);
        break;
    case Kind::Led:
    case Kind::LabelledToggle:
        Painters::toggle(cr, w, h, frame, p.frames, p.labels, p.accent);
        break;
    case Kind::Power:
        Painters::powerSwitch(cr, w, h, frame > 0);
        break;
    case Kind::Radio:
        Painters::radioGrid(cr, w, h, p.columns, p.rows, frame > 0, p.labels,
                            reinterpret_cast<const Painters::RadioIcon*>(p.icons));
        break;
    case Kind::SliderHandle:
        Painters::sliderHandle(cr, w, h);
        break;
    case Kind::HangingBar:
        Painters::hangingBar(cr, w, h, p.handleHeight);
        break;
    case Kind::KeysLeft:
    case Kind::KeysRight:
        Painters::keyStrip(cr, w, h, p.kind == Kind::KeysLeft ? Painters::KeyHalf::Left : Painters::KeyHalf::Right,
                           frame, BlackKeyPart, BlackKeyHeight);
        break;
    case Kind::MenuBox:
        Painters::menuBox(cr, w, h, Look::MenuArrowZone, p.accent);
        break;
    case Kind::StepMarker:
        Painters::stepMarker(cr, w, h, frame == 0);
        break;
    case Kind::GateStep:
        Painters::gateStep(cr, w, h, frame > 0);
        break;
    case Kind::MapDots: {
        const int row = std::clamp(frame, 0, MixRows - 1);
        Painters::mapDot(cr, w, h, MixRowColours[row], p.labels ? p.labels[row] : nullptr);
        break;
    }
    }
}

CBitmap* make(int id)
{
    if (id < 0 || id > MaxId || failing[id].load())
        return nullptr;
    if (id == MainBackground || findPage(id)) {
        const PageSize* page = findPage(id);
        return new CBitmap(page ? page->width : MainWidth, page ? page->height : MainHeight,
                           [id](cairo_t* cr, CCoord w, CCoord h) {
                               PagePainters::paintPicture(id, cr, static_cast<int>(w), static_cast<int>(h));
                           });
    }
    if (const Picture* p = find(id)) {
        return new CBitmap(p->width(), p->height(), [p](cairo_t* cr, CCoord, CCoord) {
            // Each frame paints in its own cell, so none spills into the next.
            for (int f = 0; f < p->frames; ++f) {
                const int x = p->across() ? f * p->frameWidth : 0;
                const int y = p->across() ? 0 : f * p->frameHeight;
                cairo_save(cr);
                cairo_rectangle(cr, x, y, p->frameWidth, p->frameHeight);
                cairo_clip(cr);
                cairo_translate(cr, x, y);
                paintFrame(*p, cr, f);
                cairo_restore(cr);
            }
        });
    }
    return new CBitmap(32, 32, [id](cairo_t* cr, CCoord w, CCoord h) { paintTile(cr, w, h, id); });
}

bool describe(int id, VendorPictureRequest* request)
{
    if (!request)
        return false;
    const Picture* p = find(id);
    const PageSize* page = findPage(id);
    if (!p && !page && id != MainBackground)
        return false;
    request->width = p ? p->width() : page ? page->width : MainWidth;
    request->height = p ? p->height() : page ? page->height : MainHeight;
    request->frames = p ? p->frames : 1;
    std::strncpy(request->name, p ? p->name : page ? page->name : "main-background", sizeof request->name - 1);
    request->name[sizeof request->name - 1] = 0;
    if (!request->pixels || request->capacity < int64_t{request->width} * request->height)
        return true;
    CBitmap* picture = make(id);
    if (!picture)
        return false;
    cairo_surface_t* s = picture->getSurface();
    cairo_surface_flush(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < request->height; ++y)
        std::memcpy(request->pixels + int64_t{y} * request->width, data + int64_t{y} * stride,
                    size_t(request->width) * 4);
    picture->forget();
    return true;
}

void setLoadFailure(int id, bool fails)
{
    if (id >= 0 && id <= MaxId)
        failing[id] = fails;
}

void draw(CBitmap* picture, CDrawContext* context, const CRect& dest, const CPoint& from, bool transparent)
{
    if (!picture)
        return;
    if (transparent)
        picture->draw(context, dest, from);
    else
        picture->drawOpaque(context, dest, from);
}

} // namespace EditorPictures
