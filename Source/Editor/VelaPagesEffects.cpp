// The tables of the "fx" page and of the twelve effect frames. An effect
// frame is one table for its three sets: a row's index is the set-0 index,
// and set s edits index + s (set 2 is the set that serves the insert slots).
// Rows r = 0, 1, ... lie 13 pixels apart (PageLayout::fxRowY).
#include "EditorPictures.h"
#include "VelaPages.h"

namespace VelaPages {
namespace {
using namespace PageLayout;
namespace Pic = EditorPictures;

// --- "fx" (frame 5): the types, switches and wet levels of effects 1 to 6.
constexpr Row FxPageRows[] = {
    menu(213, 111, 12, 126, 12).coloured(Colour::Dim).named("Type"),
    menu(214, 111, 264, 126, 12).coloured(Colour::Dim).named("Type"),
    menu(215, 352, 12, 126, 12).coloured(Colour::Dim).named("Type"),
    menu(216, 352, 264, 126, 12).coloured(Colour::Dim).named("Type"),
    menu(217, 594, 12, 126, 12).coloured(Colour::Dim).named("Type"),
    menu(218, 594, 264, 126, 12).coloured(Colour::Dim).named("Type"),
    onOff(219, 59, 7, Pic::Operation).named("Fx 1"),
    onOff(220, 59, 265, Pic::Operation).named("Fx 2"),
    onOff(221, 300, 7, Pic::Operation).named("Fx 3"),
    onOff(222, 300, 265, Pic::Operation).named("Fx 4"),
    onOff(223, 542, 7, Pic::Operation).named("Fx 5"),
    onOff(224, 542, 265, Pic::Operation).named("Fx 6"),
    smallSlider(492, 246, 45).named("Wet"),
    smallSlider(493, 246, 163).named("Wet"),
    smallSlider(494, 489, 45).named("Wet"),
    smallSlider(495, 489, 163).named("Wet"),
    smallSlider(496, 731, 45).named("Wet"),
    smallSlider(497, 731, 163).named("Wet"),
};

constexpr Row Delay[] = {
    fxBar(0, "Time", 225), fxSync(0, 240),
    fxBar(1, "Feedback", 228),
    fxBar(2, "Filter", 231),
    fxBar(3, "Mod Rate", 234), fxSync(3, 243),
    fxBar(4, "Mod Depth", 237),
};

constexpr Row StereoDelay[] = {
    fxBar(0, "Time Left", 339), fxSync(0, 354),
    fxBar(1, "Time Right", 342), fxSync(1, 357),
    fxBar(2, "Feedback", 345),
    fxBar(3, "Highpass", 351),
    fxBar(4, "Lowpass", 348),
    fxOnOff(5, "Link L+R", 360),
};

constexpr Row PingPong[] = {
    fxBar(0, "Time Cen", 363), fxSync(0, 366),
    fxBar(1, "Time Left", 372), fxSync(1, 375),
    fxBar(2, "Time Right", 378), fxSync(2, 381),
    fxBar(3, "Feedback", 384),
    fxBar(4, "Bal Cen/LR", 369),
    fxBar(5, "Pan Left", 387),
    fxBar(6, "Pan Right", 390),
};

constexpr Row Chorus[] = {
    fxBar(0, "Time", 246),
    fxBar(1, "Rate", 252),
    fxBar(2, "Time Spr", 249),
    fxBar(3, "Rate Spr", 255),
    fxBar(4, "Dry", 264),
    fxBar(5, "Stereo", 267),
};

constexpr Row Phaser[] = {
    fxBar(0, "Rate", 270), fxSync(0, 291),
    fxBar(1, "Depth", 273),
    fxBar(2, "Feedback", 279), onOff(282, 177, 36, Pic::PhaserInverse).named("Inverse"),
    fxBar(3, "Center", 276),
    fxBar(4, "Stages", 285),
    fxBar(5, "Stereo", 288),
};

constexpr Row FilterFx[] = {
    fxBar(0, "Drive", 294),
    fxBar(1, "Cutoff", 300), fxMode(1, 297, "Type"),
    fxBar(2, "Resonance", 303),
    fxBar(3, "Mod Depth", 309),
    fxBar(4, "Mod Rate", 306), fxSync(4, 315),
    fxBar(5, "Level", 312),
};

constexpr Row Reverb[] = {
    fxBar(0, "Roomsize", 318),
    fxBar(1, "Predelay", 324), fxSync(1, 327),
    fxBar(2, "Damp", 321),
    fxBar(3, "Modulation", 330), onOff(333, 175, 49, Pic::SmallSwitch).named("Modulation On"),
};

constexpr Row Flanger[] = {
    fxBar(0, "Time", 456),
    fxBar(1, "Feedback", 459),
    fxOnOff(2, "Invert", 462),
    fxBar(3, "Mod Rate", 468), fxSync(3, 471),
    fxBar(4, "Mod Depth", 474),
    fxBar(5, "Pan Depth", 477),
};

// The gate steps of both channels, 16 each, lie across their rows from x 25.
constexpr int GateStepCount = 16;
constexpr Row Gator[] = {
    fxBar(0, "Smooth", 417),
    fxName(1, "L"), gateSteps(420, 25, 23, GateStepCount, Pic::GateSteps).named("L"),
    fxName(2, "R"), gateSteps(423, 25, 36, GateStepCount, Pic::GateSteps).named("R"),
    fxName(3, "Link L+R"), pictureMenu(429, 74, 49, Pic::ModeMenu).named("Link L+R"),
    fxName(4, "Sync"), pictureMenu(426, 74, 62, Pic::ModeMenu).named("Sync"),
};

constexpr Row StereoEnhancer[] = {
    fxBar(0, "Room", 393),
    fxBar(1, "Width", 396),
};

// Row 3 stays empty between the two bands.
constexpr Row ParametricEQ[] = {
    fxBar(0, "Freq 1", 399),
    fxBar(1, "Gain 1", 402),
    fxBar(2, "Q 1", 405),
    fxBar(4, "Freq 2", 408),
    fxBar(5, "Gain 2", 411),
    fxBar(6, "Q 2", 414),
};

constexpr Row Crusher[] = {
    fxBar(0, "Bits", 432),
    fxBar(1, "Cutoff", 444), fxMode(1, 441, "Filter"),
    fxBar(2, "Resonance", 447),
    fxBar(3, "Divider", 435), fxMode(3, 438, "Mode"),
    fxOnOff(4, "Fil Post Div", 450),
    fxOnOff(5, "Smoother", 453),
};

// In the order of the effect types' values.
constexpr std::span<const Row> Effects[EffectTypes] = {
    Delay, StereoDelay, PingPong, Chorus, Phaser, FilterFx, Reverb, Flanger, Gator, StereoEnhancer, ParametricEQ,
    Crusher,
};
} // namespace

std::span<const Row> fxPageRows() { return FxPageRows; }
std::span<const Row> effectRows(int type) { return type >= 0 && type < EffectTypes ? Effects[type] : std::span<const Row>(); }

} // namespace VelaPages
