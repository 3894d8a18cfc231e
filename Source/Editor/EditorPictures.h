// The editor's pictures, drawn in code. Every resource id 0..600 yields a
// picture with its size known at once; its pixels are painted the first time
// it is drawn (CBitmap's painter), so building an editor, which loads every
// picture its pages use, stays cheap, and a host's scan of the plug-in
// paints nothing.
//
// The pictures the controls use are rows of one table: per id its name, the
// size of one frame, the frame count and how its frames lie (stacked in one
// column, side by side for the keyboard strips), and the painter that draws
// a frame (PicturePainters.h). Id 128 (the main background) and the pages
// and panels (pages()) are painted from the pages' rows (PagePainters.h);
// ids without a row give a small neutral tile, which no page asks for.
//
// A test can make chosen ids fail to load (setLoadFailure), as a picture
// that is missing would.
// Thread: make and describe run on any editor's thread (the shared store
// calls make under SynthEditor_c::sSharedLock); the failure seam is atomic.
#pragma once

#include "EditorLook.h"
#include "GuiTypes.h"

#include <span>

class CBitmap;
class CDrawContext;
struct VendorPictureRequest;
typedef struct _cairo cairo_t;

namespace EditorPictures {

constexpr int MaxId = 600;
constexpr int MainBackground = 128;
constexpr int MainWidth = 800;
constexpr int MainHeight = 480;

// The pictures the controls use and the pages, by resource number.
enum PictureId : int
{
    // Page backgrounds and the panels that pages exchange.
    PageMain = 200, // 200-206: the upper pages main, gen01, gen23, filter, fx, modulation, setup
    PageSetup = 206,
    OscPanelUpper = 220, // 220, 221: upper and lower panel
    SamplerPanelUpper = 222,
    TablePanelUpper = 224,
    LoopPanelUpper = 226,
    EffectPanel = 229,
    FilterEnvelope2 = 239,
    PageParts = 240,
    PageKeys = 241,
    LadderPanel = 242,
    MorphPanel = 243,
    LfoPanel = 244,
    EnvelopePanel = 245,
    EmptyPanel = 246,
    EnvelopeHolder = 247,
    FilterEnvelope1 = 251,
    KeysPanel = 321, // without it the keys page has no keyboard
    // Radio grids: the off grid above the on grid.
    LfoWave = 248,
    PageTabs = 320,
    LadderType = 322,
    LfoSelect = 323,
    EnvelopeSelect = 324,
    ZonePage = 305,
    ArpSteps = 307,
    ZoneSelect = 328,
    EnvelopeShape = 337,
    EnvelopeInverse = 338,
    MorphSlope = 340,
    LowerPageTabs = 372,
    OscRouting = 380,
    // Multi-state buttons: one frame per state, stacked.
    LoopSnap = 249,
    SamplerLoopRelease = 250,
    OscFreerun = 300,
    LfoMono = 301,
    JumpToSaveDir = 302,
    ArpSwitch = 303,
    LoopRelease = 325,
    LoopTrack = 326,
    Operation = 330,
    LoopReverse = 331,
    GlideTimeRate = 333,
    MidiWheelSwitch = 334,
    MidiVolumeSwitch = 335,
    SamplerReverse = 339,
    GeneratorSwitch1 = 341, // 341-344: generators 1-4 on the overview page
    FilterSwitch1 = 345,
    FilterSwitch2 = 346,
    InsertSwitch = 347,
    PitchTrack = 348,
    OscTrack = 349,
    PhaserInverse = 368,
    GlideMode = 371,
    EffectRowSwitch = 375,
    ControllerSwitch = 378,
    ChordSwitch = 379,
    SmallSwitch = 381,
    // Filmstrip knobs: one frame per position, stacked.
    KnobSmall = 350,
    KnobWide2 = 352,
    KnobWide1 = 353,
    KnobLarge = 354,
    KnobResonance = 355,
    KnobCutoff = 356,
    KnobEndless = 357,
    KnobGenerator1 = 360, // 360-363: the detune knobs of generators 1-4
    KnobFilter1Cutoff = 364,
    KnobFilter1Resonance = 365,
    KnobFilter2Cutoff = 366,
    KnobFilter2Resonance = 367,
    // Sliders.
    SliderHandle = 373,
    ParameterBar = 374,
    EnvelopeBar = 376,
    EnvelopeBarSmall = 377,
    // The on-screen keyboard's strips: six frames side by side.
    KeysFirst = 382,
    KeysSecond = 383,
    // Menu backgrounds of the effect frames: the tempo-sync menus and the
    // type and mode menus (the menus write their value over them).
    TempoSyncMenu = 393,
    ModeMenu = 394,
    // Pattern controls: the step grid's marker (the playing step above the
    // others) and the gate's steps (closed above open).
    StepMarker = 306,
    GateSteps = 369,
    // The 5.1 map's dots, one per mixer row, stacked.
    MixMapDots = 396,
};

// The 5.1 mixer's rows, whose dots the map shows.
constexpr int MixRows = 7;
// The step grid's cells are 13 pixels high; its marker sits in each cell.
constexpr int StepMarkerWidth = 8;
constexpr int StepMarkerHeight = 13;
// A gate step, the picture of one cell of a gate bar.
constexpr int GateStepSize = 12;
constexpr int MapDotSize = 16;

// The keyboard strips' geometry: a strip is half a white key (18 pixels), a
// black key (10 wide, 60 high) shows half of itself in each of two strips.
constexpr int KeyStripWidth = 9;
constexpr int KeyHeight = 95;
constexpr int BlackKeyPart = 5;
constexpr int BlackKeyHeight = 60;
constexpr int KeyStripFrames = 6;

enum class Kind
{
    Knob,
    EndlessKnob,
    ValueBar,
    Led,
    LabelledToggle,
    Power,
    Radio,
    SliderHandle,
    HangingBar,
    KeysLeft,
    KeysRight,
    MenuBox,
    StepMarker,
    GateStep,
    MapDots,
};

struct Picture
{
    int id;
    const char* name; // a short name for files and reports
    Kind kind;
    int frameWidth;
    int frameHeight;
    int frames; // filmstrip frames, button states; 2 (off, on) for radio grids
    CColor accent = Look::Accent;
    int columns = 1; // radio grids
    int rows = 1;
    const char* const* labels = nullptr; // per state or per cell
    const int* icons = nullptr;          // Painters::RadioIcon per cell
    int handleHeight = 0;                // hanging bars

    // Frames lie side by side (the keyboard strips) rather than stacked.
    bool across() const { return kind == Kind::KeysLeft || kind == Kind::KeysRight; }
    int width() const { return across() ? frameWidth * frames : frameWidth; }
    int height() const { return across() ? frameHeight : frameHeight * frames; }
};

// The table's rows in id order.
std::span<const Picture> pictures();
// The row of an id; null for ids the table does not paint.
const Picture* find(int id);

// The page backgrounds and panels: one picture of one frame each, as large
// as the page's or panel's frame (the controls placed on it decide).
struct PageSize
{
    int id;
    const char* name;
    int width;
    int height;
};
std::span<const PageSize> pages();
// Null for ids that are no page or panel picture.
const PageSize* findPage(int id);
// Paints frame `frame` of a picture onto cr, whose origin is the frame's
// top-left corner.
void paintFrame(const Picture& picture, cairo_t* cr, int frame);

// A new picture (one reference, the caller's) for id 0..MaxId, its pixels
// painted on first use; null for other ids and for ids made to fail.
CBitmap* make(int id);

// Answers a review tool's request for a picture the editor paints itself
// (the table's and the main background): size, frames and name, and the
// pixels when the request holds room for them. False for other ids.
bool describe(int id, VendorPictureRequest* request);

// Test seam: while set, make(id) fails as a missing picture would.
void setLoadFailure(int id, bool fails);

// Draws the part of picture that starts at `from` into dest: by its alpha
// when transparent, replacing the pixels beneath otherwise (opaque), in
// both cases only where the picture has pixels.
void draw(CBitmap* picture, CDrawContext* context, const CRect& dest, const CPoint& from, bool transparent);

} // namespace EditorPictures
