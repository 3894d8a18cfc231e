// The tables of the pages that shape the sound: the main edit frame, the
// "main" overview, the generator pages with their four kinds of panel, and
// the filter page with its sub-frames and envelopes. Each table lists the
// controls in the order the page describes them; a row's index is the
// external parameter it edits (for slot tables the index of slot 0).
#include "EditorPictures.h"
#include "VelaPages.h"

namespace VelaPages {
namespace {
using namespace PageLayout;
namespace Pic = EditorPictures;

// Commands of the touch areas (the instrument's command table).
constexpr int CmdNextSample = 2, CmdPreviousSample = 3, CmdClearSample = 4;
constexpr int CmdNextProgram = 15, CmdPreviousProgram = 16;
constexpr int CmdNextTable = 41, CmdPreviousTable = 42, CmdClearTable = 43;
constexpr int CmdFilterType0 = 92; // 93 for filter 2
constexpr int CmdEditPage = 94;

constexpr FileSpec ImportProgram{"Import Sound Program", "Standard FXP format", "fxp", "TesselPresets", 0};
constexpr FileSpec ExportProgram{"Export Sound Program", "Standard FXP format", "fxp", "TesselPresets", 1};
constexpr FileSpec LoadSample{"Load Sample", "WAV, AIF, D4T or D4U format", "*.wav *.aif *.aiff *.d4t *.d4u",
                              "VelaSamples", 0};
constexpr FileSpec LoadTable{"Load Sample", "WAV, AIF or D4T format", "*.wav *.aif *.aiff *.d4t", "VelaTables", 0};
constexpr FileSpec TrimSample{"Trim Sample", "Standard Sample format", "*.wav", "TesselExportSamples", 1};

// --- the main edit frame: page selectors, the two touch areas that open
// the settings, and the main volume, which stays visible on every page.
constexpr Row EditFrame[] = {
    radio(603, 0, 0, 7, 1, Pic::PageTabs).named("Page"),
    radio(604, 613, 327, 2, 1, Pic::LowerPageTabs).named("Lower Page"),
    touch(789, 75, 327, 150, 22, CmdEditPage, -1, 6).named("Setup"),
    touch(790, 300, 327, 160, 22, CmdEditPage, -1, 6).named("Setup"),
};
constexpr Row MainVolume[] = {
    paraBar(134, 503, 333).named("Main Volume"),
};

// --- "main" (frame 1)
constexpr Row FileEdits[] = {
    fileList(635, 27, 191, 138, 14).named("Bank"),
    fileList(636, 27, 207, 138, 14).secondList().named("Program"),
    touch(621, 21, 230, 38, 15, CmdPreviousProgram, -1, 0).named("Previous Program"),
    fileButton(620, 59, 230, 38, 15, ImportProgram).named("Import"),
    touch(622, 97, 230, 38, 15, CmdNextProgram, -1, 0).named("Next Program"),
    fileButton(619, 135, 230, 38, 15, ExportProgram).named("Export"),
};

constexpr Row Main[] = {
    // Glide.
    knob(480, 692, 226, 0).named("Glide"),
    onOff(481, 612, 216, Pic::GlideMode).named("Glide Mode"),
    plusMinus(482, 605, 249, 661, 264).named("Bend"),
    onOff(483, 673, 248, Pic::GlideTimeRate).named("Time/Rate"),
    plusMinus(961, 30, 257, 86, 272).named("Voices"),
    plusMinus(614, 109, 257, 165, 272).named("Precision"),
    // Generator detune, filter cutoff and resonance, wet of effects 1 and 2.
    knob(484, 144, 57, 7).named("Detune"),
    knob(485, 206, 57, 8).named("Detune"),
    knob(486, 144, 119, 9).named("Detune"),
    knob(487, 206, 119, 10).named("Detune"),
    knob(488, 389, 57, 11).named("Cutoff"),
    knob(489, 389, 119, 13).named("Cutoff"),
    knob(490, 451, 57, 12).named("Resonance"),
    knob(491, 451, 119, 14).named("Resonance"),
    knob(498, 663, 57, 4).named("Wet"),
    knob(499, 663, 119, 5).named("Wet"),
    // Wet of the insert effects 3 to 6.
    knob(500, 250, 247, 2).named("Wet"),
    knob(501, 336, 247, 2).named("Wet"),
    knob(502, 422, 247, 2).named("Wet"),
    knob(503, 508, 247, 2).named("Wet"),
    // On/off of generators, filters and effects; those of generators,
    // filters and effects 1, 2 lie inside their knobs.
    onOff(504, 143, 56, Pic::GeneratorSwitch1).named("Gen 1"),
    onOff(505, 176, 56, Pic::GeneratorSwitch1 + 1).named("Gen 2"),
    onOff(506, 143, 89, Pic::GeneratorSwitch1 + 2).named("Gen 3"),
    onOff(507, 176, 89, Pic::GeneratorSwitch1 + 3).named("Gen 4"),
    onOff(508, 398, 56, Pic::FilterSwitch1).named("Filter 1"),
    onOff(509, 398, 100, Pic::FilterSwitch2).named("Filter 2"),
    onOff(517, 641, 56, Pic::FilterSwitch1).named("Fx 1"),
    onOff(518, 641, 100, Pic::FilterSwitch2).named("Fx 2"),
    onOff(519, 226, 194, Pic::InsertSwitch).named("Fx 3"),
    onOff(520, 312, 194, Pic::InsertSwitch).named("Fx 4"),
    onOff(521, 398, 194, Pic::InsertSwitch).named("Fx 5"),
    onOff(522, 484, 194, Pic::InsertSwitch).named("Fx 6"),
    // Touch areas that open the generator, filter and effect pages.
    touch(791, 161, 74, 29, 14, CmdEditPage, -1, 1).named("Gen 1+2"),
    touch(792, 161, 89, 29, 14, CmdEditPage, -1, 2).named("Gen 3+4"),
    touch(793, 406, 74, 30, 30, CmdEditPage, -1, 3).named("Filter"),
    touch(794, 649, 74, 30, 30, CmdEditPage, -1, 4).named("FX"),
    touch(795, 363, 252, 32, 18, CmdEditPage, -1, 4).named("FX"),
    // Effect types 1 to 6.
    menu(579, 654, 14, 64, 11).coloured(Colour::Bright).named("Type"),
    menu(580, 654, 153, 64, 11).coloured(Colour::Bright).named("Type"),
    menu(581, 219, 217, 64, 11).coloured(Colour::Bright).named("Type"),
    menu(582, 305, 217, 64, 11).coloured(Colour::Bright).named("Type"),
    menu(583, 391, 217, 64, 11).coloured(Colour::Bright).named("Type"),
    menu(584, 477, 217, 64, 11).coloured(Colour::Bright).named("Type"),
    // Balance and volume of generators 1 to 4, cutoff and resonance of
    // filters 1 and 2; the lower row tinted.
    xyPad(585, 46, 35, 40).named("Gen 1"),
    xyPad(587, 266, 35, 40).named("Gen 2"),
    xyPad(589, 46, 102, 40).tinted().named("Gen 3"),
    xyPad(591, 266, 102, 40).tinted().named("Gen 4"),
    xyPad(593, 511, 35, 40).named("Filter 1"),
    xyPad(595, 511, 102, 40).tinted().named("Filter 2"),
};

// --- "gen01" and "gen23" (frames 2, 3), slot g = 0 / 2
constexpr Row GenPage[] = {
    onOff(0, 90, 7, Pic::Operation).named("Operation"),
    onOff(1, 90, 265, Pic::Operation).named("Operation"),
    knob(4, 50, 108, 0).named("Volume"),
    knob(5, 72, 223, 0).named("Volume"),
    knob(8, 70, 56, 1).named("Balance"),
    knob(9, 70, 171, 1).named("Balance"),
};
// Slot 0 on "gen01", 1 on "gen23".
constexpr Row Routing[] = {
    radio(108, 82, 86, 1, 3, Pic::OscRouting).named("Routing"),
};

// The type menu of each generator panel: invisible click areas over the
// panel picture, which names its type.
constexpr TypeMenu TypeMenus[] = {
    {14, menu(769, 9, 10, 120, 19).hidden().named("Type")},
    {15, menu(770, 9, 116, 120, 19).hidden().named("Type")},
    {16, menu(777, 9, 10, 120, 19).hidden().named("Type")},
    {17, menu(778, 9, 116, 120, 19).hidden().named("Type")},
    {18, menu(771, 9, 10, 120, 19).hidden().named("Type")},
    {19, menu(772, 9, 116, 120, 19).hidden().named("Type")},
    {20, menu(779, 9, 10, 120, 19).hidden().named("Type")},
    {21, menu(780, 9, 116, 120, 19).hidden().named("Type")},
    {22, menu(773, 9, 10, 120, 19).hidden().named("Type")},
    {23, menu(774, 9, 116, 120, 19).hidden().named("Type")},
    {24, menu(781, 9, 10, 120, 19).hidden().named("Type")},
    {25, menu(782, 9, 120, 120, 19).hidden().named("Type")},
    {26, menu(775, 9, 10, 120, 19).hidden().named("Type")},
    {27, menu(776, 9, 116, 120, 19).hidden().named("Type")},
};

// --- generator panels, slot s; y a / b for the upper and the lower panel
constexpr Row Osc[] = {
    onOff(32, 437, 109, Pic::OscTrack).lower(102).named("Track"),
    onOff(40, 429, 84, Pic::OscFreerun).lower(77).named("Freerun"),
    knob(12, 206, 76, 3).lower(69).named("Wave"),
    knob(16, 344, 76, 3).lower(69).named("Symm"),
    knob(36, 464, 44, 1).lower(37).named("Spread"),
    plusMinus(20, 533, 43, 589, 58).lower(35).named("Octave"),
    plusMinus(24, 533, 70, 589, 85).lower(62).named("Semitone"),
    plusMinus(28, 533, 97, 589, 112).lower(89).named("Cent"),
};

constexpr Row Sam[] = {
    knob(44, 438, 77, 3, 15).lower(70).named("Timescale"),
    onOff(48, 224, 86, Pic::SamplerReverse).lower(79).named("Reverse"),
    onOff(52, 244, 86, Pic::SamplerLoopRelease).lower(79).named("Loop"),
    onOff(68, 264, 86, Pic::PitchTrack).lower(79).named("Pitch-Track"),
    knob(76, 341, 49, 0, -25).lower(42).named("Spread"),
    knob(72, 341, 109, 0, -25).lower(102).named("Time-Track"),
    plusMinus(56, 516, 30, 572, 45).lower(23).named("Octave"),
    plusMinus(60, 516, 57, 572, 72).lower(50).named("Semitone"),
    plusMinus(64, 516, 84, 572, 99).lower(77).named("Cent"),
    plusMinus(706, 516, 111, 572, 126).lower(104).named("Root Note"),
    touch(710, 57, 64, 15, 19, CmdPreviousSample, 0, 0).lower(57).slotIndex().named("Previous Sample"),
    fileButton(714, 72, 64, 15, 19, LoadSample).lower(57).named("Load Sample"),
    touch(718, 87, 64, 15, 19, CmdNextSample, 0, 0).lower(57).slotIndex().named("Next Sample"),
    filename(702, 102, 66, 188, 15).lower(59).named("Sample"),
    touch(722, 290, 64, 15, 19, CmdClearSample, 0, 0).lower(57).slotIndex().named("Clear Sample"),
    varDisplay(726, 104, 87, 55, 12).lower(80).named("Start"),
    varDisplay(730, 165, 87, 55, 12).lower(80).named("End"),
    fileButton(623, 158, 104, 10, 10, TrimSample).lower(97).named("Trim Sample"),
};

constexpr Row WTG[] = {
    knob(96, 438, 77, 3, 14).lower(70).named("Ride"),
    knob(104, 341, 49, 0, -25).lower(42).named("Spread"),
    knob(100, 341, 109, 0, -25).lower(102).named("Ride-Track"),
    onOff(92, 264, 86, Pic::PitchTrack).lower(79).named("Track"),
    plusMinus(80, 516, 30, 572, 45).lower(23).named("Octave"),
    plusMinus(84, 516, 57, 572, 72).lower(50).named("Semitone"),
    plusMinus(88, 516, 84, 572, 99).lower(77).named("Cent"),
    plusMinus(734, 516, 111, 572, 126).lower(104).named("Root Note"),
    touch(742, 57, 64, 15, 19, CmdPreviousTable, -1, 0).lower(57).slotValue().named("Previous Table"),
    fileButton(746, 72, 64, 15, 19, LoadTable).lower(57).named("Load Table"),
    touch(750, 87, 64, 15, 19, CmdNextTable, -1, 0).lower(57).slotValue().named("Next Table"),
    touch(754, 290, 64, 15, 19, CmdClearTable, -1, 0).lower(57).slotValue().named("Clear Table"),
    filename(738, 102, 66, 200, 15).lower(59).named("Table"),
    varDisplay(758, 132, 87, 45, 12).lower(80).named("Start"),
    varDisplay(762, 193, 87, 45, 12).lower(80).named("End"),
    fileButton(627, 186, 104, 10, 10, TrimSample).lower(97).named("Trim Sample"),
};

// The loop sampler of slot 0 (upper panel) or 1 (lower); its touch areas
// address the multisample memory of the slot (index s + 10).
constexpr Row Lop[] = {
    plusMinus(827, 5, 42, 61, 57).lower(14).named("Octave"),
    plusMinus(829, 5, 69, 61, 84).lower(41).named("Semitone"),
    plusMinus(831, 5, 96, 61, 111).lower(68).named("Cent"),
    plusMinus(837, 5, 123, 61, 138).lower(95).named("Loop Smooth"),
    onOff(839, 186, 10, Pic::LoopRelease).lower(115).named("Release Loop"),
    onOff(833, 134, 10, Pic::LoopTrack).lower(115).named("Track"),
    filename(803, 342, 11, 98, 10).lower(5).named("Sample"),
    fileButton(807, 314, 11, 14, 11, LoadSample).lower(5).named("Load Sample"),
    touch(805, 300, 11, 14, 11, CmdPreviousSample, 10, 0).lower(5).slotIndex().named("Previous Sample"),
    touch(809, 328, 11, 14, 11, CmdNextSample, 10, 0).lower(5).slotIndex().named("Next Sample"),
    touch(811, 441, 11, 14, 11, CmdClearSample, 10, 0).lower(5).slotIndex().named("Clear Sample"),
    onOff(823, 457, 9, Pic::LoopSnap).lower(3).named("Snap"),
    onOff(821, 494, 9, Pic::LoopReverse).lower(3).named("Reverse"),
    varDisplay(825, 586, 11, 36, 10).lower(5).named("Root Note"),
    varDisplay(953, 334, 130, 40, 12).lower(124).named("Start"),
    varDisplay(955, 414, 130, 40, 12).lower(124).named("Loop Start"),
    varDisplay(957, 493, 130, 40, 12).lower(124).named("Loop End"),
    varDisplay(959, 575, 130, 40, 12).lower(124).named("X-Fade"),
    area(Kind::SampleDisplay, 815, 303, 24, 619, 116).lower(18).named("Sample"),
    plusMinus(943, 566, 116, 622, 131).lower(110).named("SD Zoom"),
    area(Kind::ScrollBar, 945, 302, 120, 556, 127).lower(114).named("SD Scroll"),
};

// The zone table of loop sampler s: eight rows of a zone's sample name, its
// key and velocity ranges and volume, the page of eight zones and the zone
// shown.
constexpr Row Zones[] = {
    zoneLabel(841, 81, 48, 92, 10).lower(16).every(48).times(8, 12).named("Sample"),
    varDisplay(849, 179, 48, 20, 10).lower(16).every(48).times(8, 12).named("Key Lo"),
    varDisplay(857, 200, 48, 20, 10).lower(16).every(48).times(8, 12).named("Key Hi"),
    varDisplay(865, 222, 48, 20, 10).lower(16).every(48).times(8, 12).named("Vel Lo"),
    varDisplay(873, 244, 48, 20, 10).lower(16).every(48).times(8, 12).named("Vel Hi"),
    varDisplay(881, 269, 48, 20, 10).lower(16).every(48).times(8, 12).named("Volume"),
    radio(937, 66, 31, 1, 8, Pic::ZonePage).lower(0).named("Zone Page"),
    radio(939, 291, 47, 1, 8, Pic::ZoneSelect).lower(15).named("Zone"),
};

// --- "filter" (frame 4)
constexpr Row Filter[] = {
    onOff(112, 92, 7, Pic::Operation).named("Operation"),
    onOff(113, 92, 265, Pic::Operation).named("Operation"),
    knob(110, 36, 83, 0).named("Saturation"),
    knob(111, 36, 221, 0).named("Saturation"),
    xyPad(597, 67, 45, 60).named("Cutoff/Resonance"),
    xyPad(599, 67, 183, 60).tinted().named("Cutoff/Resonance"),
    knob(114, 205, 44, 4, 17).named("Cutoff"),
    knob(115, 205, 182, 4, 17).named("Cutoff"),
    knob(116, 205, 106, 5, -16).named("Resonance"),
    knob(117, 205, 244, 5, -16).named("Resonance"),
    knob(120, 449, 31, 1, 5).named("Key Track"),
    knob(121, 449, 169, 1, 5).named("Key Track"),
    knob(124, 449, 73, 2).named("Env Depth"),
    knob(125, 449, 211, 2).named("Env Depth"),
    radio(122, 409, 102, 1, 2, Pic::EnvelopeInverse).named("Env Inverse"),
    radio(123, 409, 238, 1, 2, Pic::EnvelopeInverse).named("Env Inverse"),
    knob(130, 725, 63, 0).named("Pan"),
    knob(131, 727, 201, 0).named("Pan"),
    knob(132, 727, 113, 0).named("Pan"),
    knob(133, 724, 251, 0).named("Pan"),
    menu(640, 695, 15, 35, 16).hidden().named("Module"),
    menu(641, 695, 153, 35, 16).hidden().named("Module"),
};

// The kind of each filter path's envelope (its panel or an empty one),
// beside the filter's module menu.
constexpr Row FilterEnvMenus[] = {
    menu(796, 735, 15, 60, 16).named("Envelope"),
    menu(797, 735, 153, 60, 16).named("Envelope"),
};

// Sub-frames of filter s: the ladder filter and the morphing filter. Each
// has a touch area that turns the path to the other kind (command 92 + s).
constexpr Row Ladder[] = {
    radio(118, 45, 29, 1, 4, Pic::LadderType).named("Type"),
    touch(787, 101, 105, 23, 19, CmdFilterType0, 0, 1).slotCommand().named("Morph"),
};
constexpr Row Morph[] = {
    knob(126, 63, 63, 6).named("Type"),
    touch(785, 100, 4, 23, 19, CmdFilterType0, 0, 0).slotCommand().named("Ladder"),
    radio(128, 45, 49, 1, 2, Pic::MorphSlope).named("Filter Slope"),
};

// An envelope: five sliders and its shape, for envelope run s (six entries
// per envelope, VelaExt::envelopeEntry).
constexpr Row Envelope[] = {
    envSlider(135, 12, 26).every(6).named("Attack"),
    envSlider(136, 47, 26).every(6).named("Decay"),
    envSlider(137, 82, 26).every(6).named("Sustain"),
    envSlider(138, 117, 26).every(6).named("Fade"),
    envSlider(139, 152, 26).every(6).named("Release"),
    radio(140, 171, 58, 1, 2, Pic::EnvelopeShape).every(6).named("Log/Lin"),
};
} // namespace

std::span<const Row> editFrameRows() { return EditFrame; }
std::span<const Row> mainVolumeRows() { return MainVolume; }
std::span<const Row> mainPageRows() { return Main; }
std::span<const Row> fileEditRows() { return FileEdits; }
std::span<const Row> genPageRows() { return GenPage; }
std::span<const Row> routingRows() { return Routing; }
std::span<const TypeMenu> typeMenus() { return TypeMenus; }
std::span<const Row> oscRows() { return Osc; }
std::span<const Row> samRows() { return Sam; }
std::span<const Row> wtgRows() { return WTG; }
std::span<const Row> lopRows() { return Lop; }
std::span<const Row> zoneRows() { return Zones; }
std::span<const Row> filterPageRows() { return Filter; }
std::span<const Row> filterEnvMenuRows() { return FilterEnvMenus; }
std::span<const Row> ladderRows() { return Ladder; }
std::span<const Row> morphRows() { return Morph; }
std::span<const Row> envelopeRows() { return Envelope; }

} // namespace VelaPages
