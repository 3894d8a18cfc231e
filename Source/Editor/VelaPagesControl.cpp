// The tables of the pages that play and control the sound: "modulation"
// (LFOs, envelopes, the modulation matrix, the arpeggiator), "setup", the
// 5.1 mixer "parts" and the keyboard page "keys".
#include "EditorPictures.h"
#include "VelaPages.h"

namespace VelaPages {
namespace {
using namespace PageLayout;
namespace Pic = EditorPictures;

constexpr FileSpec StartupPreset{"Set Startup Preset", "FXP format", "fxp", "Tessel 3 Preset", 0};
constexpr FileSpec TuningFile{"Load Microtuning Definition", "TUN format", "tun", "NoteFreqTables", 0};

// --- "modulation" (frame 6)
constexpr Row Modulation[] = {
    radio(606, 396, 18, 4, 1, Pic::LfoSelect).named("LFO"),
    menu(642, 680, 7, 60, 16).hidden().named("LFO Module"),
    radio(605, 40, 31, 1, 5, Pic::EnvelopeSelect).named("Envelope"),
    menu(639, 24, 7, 105, 16).hidden().named("Envelope Module"),
};

// In each envelope's holder, left of the envelope: the envelope's kind
// (its panel or an empty one), envelope e = 0..4 editing 798 + e.
constexpr Row EnvHolder[] = {
    menu(798, 0, 20, 40, 12).named("Envelope"),
};

// LFO l = 0..3.
constexpr Row Lfo[] = {
    knob(193, 100, 34, 0, -25).named("Frequency"),
    knob(197, 141, 34, 0, -25).named("Symmetry"),
    knob(201, 182, 34, 0, -25).named("Phase"),
    knob(177, 235, 34, 0, -25).named("Delay"),
    knob(181, 276, 34, 0, -25).named("Attack"),
    knob(185, 317, 34, 0, -25).named("Decay"),
    menu(205, 30, 25, 31, 12).named("Sync"),
    radio(189, 17, 70, 6, 1, Pic::LfoWave).named("Wave"),
    onOff(209, 258, 70, Pic::LfoMono).named("Mono"),
};

// The modulation matrix: ten rows of source, depth and destination.
constexpr Row Matrix[] = {
    onOff(617, 488, 262, Pic::MidiWheelSwitch).named("Wheel"),
    onOff(615, 531, 262, Pic::MidiVolumeSwitch).named("Volume"),
    knob(962, 422, 166, 0).named("Vel > Vol"),
    knob(963, 422, 208, 0).named("Vel > Cut 1"),
    knob(964, 422, 250, 0).named("Vel > Cut 2"),
    menu(660, 466, 150, 100, 10).times(10, 11).named("Source"),
    depth(680, 582, 149, 40, 11).times(10, 11).named("Amount"),
    subMenu(670, 638, 150, 100, 10).times(10, 11).named("Destination"),
};

// The arpeggiator and step sequencer.
constexpr Row Arp[] = {
    menu(647, 24, 265, 109, 16).hidden().named("Arp Module"),
    area(Kind::StepGrid, 648, 67, 151, 291, 255, Pic::StepMarker).named("Steps"),
    menu(649, 178, 260, 54, 12).named("Mode"),
    menu(650, 263, 260, 31, 12).named("Resolution"),
    onOff(656, 303, 260, Pic::ArpSwitch).named("Restart"),
    knob(652, 316, 177, 0).named("Gate"),
    knob(654, 360, 177, 0).named("Swing"),
    knob(655, 316, 224, 0).named("Velocity"),
    knob(651, 360, 224, 0).named("Length"),
    radio(653, 45, 174, 1, 4, Pic::ArpSteps).named("Octaves"),
};

// --- "setup" (frame 7)
constexpr Row Settings[] = {
    textDisplay(766, 89, 43, 150, 12).coloured(Colour::Black).named("Version"),
    filename(965, 66, 118, 116, 13).named("Startup Preset"),
    fileButton(966, 189, 116, 36, 17, StartupPreset).named("Set"),
    plusMinus(634, 279, 25, 350, 40).named("Tune"),
    plusMinus(637, 279, 52, 350, 67).named("Bend Up"),
    plusMinus(638, 279, 79, 350, 94).named("Bend Down"),
    filename(700, 325, 118, 120, 14).named("Tuning"),
    fileButton(701, 440, 117, 38, 16, TuningFile).named("Load"),
    onOff(658, 465, 101, Pic::JumpToSaveDir).named("Jump To Save Dir"),
    knob(609, 415, 57, 0).named("Velocity Curve"),
};

// --- "parts" (frame 8): seven rows for the sources generator 1, 2, filter
// 1, 2 and effects 1, 4 and 6, each with its switch and five sliders, and
// the 5.1 map of all seven.
constexpr const char* MixerSources[] = {"Gen 1", "Gen 2", "Filter 1", "Filter 2", "Fx 1", "Fx 4", "Fx 6"};
constexpr int MixerRows = 7;
constexpr int MixerRowStep = 15;
constexpr Row Mixer[] = {
    onOff(510, 97, 23, Pic::SmallSwitch).times(MixerRows, MixerRowStep).eachNamed(MixerSources),
    mixSlider(523, 117, 20).times(MixerRows, MixerRowStep).named("Volume"),
    mixSlider(530, 196, 20).times(MixerRows, MixerRowStep).named("Left-Right"),
    mixSlider(537, 275, 20).times(MixerRows, MixerRowStep).named("Front-Rear"),
    mixSlider(544, 354, 20).times(MixerRows, MixerRowStep).named("Centre"),
    mixSlider(551, 433, 20).times(MixerRows, MixerRowStep).named("LFE"),
    area(Kind::Map51, 558, 510, 21, 662, 128, Pic::MixMapDots).named("5.1"),
};

// --- "keys" (frame 9), only with picture 321.
constexpr Row Keys[] = {
    area(Kind::Keyboard, 608, 58, 34, 706, 129, Pic::KeysFirst).named("Keyboard"),
    onOff(613, 82, 13, Pic::ChordSwitch).named("Chord"),
    menu(612, 98, 13, 31, 19).hidden().named("Chord Mode"),
    onOff(611, 143, 13, Pic::ControllerSwitch).named("Learn"),
    menu(610, 159, 13, 31, 16).hidden().named("Learn Mode"),
};
} // namespace

std::span<const Row> modulationRows() { return Modulation; }
std::span<const Row> envHolderRows() { return EnvHolder; }
std::span<const Row> lfoRows() { return Lfo; }
std::span<const Row> matrixRows() { return Matrix; }
std::span<const Row> arpRows() { return Arp; }
std::span<const Row> settingsRows() { return Settings; }
std::span<const Row> mixerRows() { return Mixer; }
std::span<const Row> keysRows() { return Keys; }

} // namespace VelaPages
