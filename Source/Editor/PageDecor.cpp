// What the page pictures show besides their controls' rows: the sections
// that group a page's controls under a title, the sides some labels take,
// the words some faces show, and which controls need no label. One entry per
// picture; the rows themselves come from the pages' tables (VelaPages).
#include "EditorLook.h"
#include "EditorPictures.h"
#include "PagePainters.h"

#include <algorithm>
#include <iterator>

namespace PagePainters {
namespace {
namespace Pic = EditorPictures;

// --- the main background: the page tabs, the strip above the lower pages
// with the name (a click opens the setup page) and the main volume.
constexpr int WindowUnlabelled[] = {603, 604};
constexpr Word WindowWords[] = {{789, "TESSEL 3"}, {790, "setup  \xC2\xB7  tuning  \xC2\xB7  about"}};
// The main volume sits between the strip's touch area and its value: a
// loudspeaker says what it is.
constexpr Icon WindowIcons[] = {{134, Glyph::Speaker, Side::Left}};

// --- "main": generators, filters and the send effects above; programs,
// the insert effects and glide below.
const Section MainSections[] = {
    {CRect(36, 4, 318, 166), "GENERATORS"},
    {CRect(350, 4, 562, 166), "FILTERS"},
    {CRect(594, 4, 734, 170), "FX 1+2"},
    {CRect(8, 176, 208, 284), "PROGRAM"},
    {CRect(212, 176, 548, 284), "FX 3-6"},
    {CRect(552, 176, 790, 284), "GLIDE"},
};
// The type menus show their type; the switches inside the generators',
// filters' and sends' knobs wear those knobs' colours.
constexpr int MainUnlabelled[] = {579, 580, 581, 582, 583, 584, 504, 505, 506, 507, 508, 509, 517, 518};
// The sends' wet knobs have their type menus above and below and the touch
// area to their page beneath: their labels stand at their right.
constexpr Hint MainHints[] = {{"Bank", Side::Right},
                              {"Program", Side::Right},
                              {nullptr, Side::Right, Align::Any, 0, 498},
                              {nullptr, Side::Right, Align::Any, 0, 499}};
constexpr Word MainWords[] = {{791, "1+2"}, {792, "3+4"}};

// --- "gen01" and "gen23": each generator's switch, volume, balance and
// routing left of its panel.
// Each generator's switch stands beside its title: at the top for the upper
// generator, at the bottom for the lower one.
const Section Gen01Sections[] = {{CRect(4, 3, 123, 143), "GEN 1"},
                                 {CRect(4, 147, 123, 287), "GEN 2", true, true}};
const Section Gen23Sections[] = {{CRect(4, 3, 123, 143), "GEN 3"},
                                 {CRect(4, 147, 123, 287), "GEN 4", true, true}};
constexpr int Gen01Unlabelled[] = {0, 1};
constexpr int Gen23Unlabelled[] = {2, 3};

// --- "filter": the two filter paths.
// The filter's panels group its controls; the titles name the paths, each
// beside the path's switch.
const Section FilterSections[] = {{CRect(4, 0, 796, 145), "FILTER 1", false},
                                  {CRect(4, 145, 796, 290), "FILTER 2", false, true}};
constexpr int FilterUnlabelled[] = {112, 113};
// The cutoff and resonance knobs stand one above the other with the pad at
// their left: their names stand between them and the pad.
constexpr Hint FilterHints[] = {{"Cutoff", Side::Left}, {"Resonance", Side::Left}, {"Env Inverse", Side::Right}};
constexpr Word FilterWords[] = {{640, "Filter"}, {641, "Filter"}};

// --- "fx": each effect's switch heads its slot; the type menus show their type.
constexpr int FxUnlabelled[] = {213, 214, 215, 216, 217, 218};
constexpr int FxTitled[] = {219, 220, 221, 222, 223, 224};

// --- "modulation": envelopes and LFOs above (their module menus head
// them), the arpeggiator and the matrix below.
const Section ModulationSections[] = {
    {CRect(18, 2, 364, 148), nullptr},
    {CRect(384, 2, 746, 134), nullptr},
    {CRect(18, 151, 394, 287), nullptr},
    {CRect(398, 137, 796, 287), nullptr},
};
constexpr int ModulationUnlabelled[] = {605, 606};
constexpr Hint ModulationHints[] = {{"Octaves", Side::Above}};
constexpr Word ModulationWords[] = {{639, "Envelope"}, {642, "LFO"}, {647, "Arpeggiator"}};

// --- "setup"
const Section SetupSections[] = {{CRect(8, 6, 580, 146), "SETTINGS"}};
constexpr Hint SetupHints[] = {{"Version", Side::Left}, {"Tune", Side::Left}, {"Bend Up", Side::Left},
                               {"Bend Down", Side::Left}, {"Tuning", Side::Left}};

// --- "parts": the 5.1 mixer.
const Section PartsSections[] = {{CRect(40, 3, 668, 130), "5.1 MIXER"}};

// --- "keys"
constexpr Word KeysWords[] = {{612, "Mode"}, {610, "Mode"}};

// --- panels
// The LFO's six knobs stand 41 pixels apart: their names fit at 8 pixels.
constexpr int LfoLabelSize = 8;
// The time sampler's and the wavetable's start and end below their values;
// the sampler's three switches share the lines below them.
constexpr Hint SamplerHints[] = {{"Timescale", Side::Above},
                                 {"Start", Side::Below},
                                 {"End", Side::Below},
                                 {"Reverse", Side::Below},
                                 {"Loop", Side::Below, Align::Centre, Look::LabelSize + 1},
                                 {"Pitch-Track", Side::Right}};
constexpr Hint TableHints[] = {{"Ride", Side::Above}, {"Start", Side::Below}, {"End", Side::Below}};
// The large knobs of every generator panel name themselves above.
constexpr Hint OscHints[] = {{"Wave", Side::Above}, {"Symm", Side::Above}};
// The loop sampler's zone table: its key and velocity columns, 20 pixels
// each, share one label per pair; the zone selectors show their numbers and
// the sample's name shows itself beside its buttons.
constexpr Group ZoneGroups[] = {{"Key", "Key Lo", "Key Hi"}, {"Velocity", "Vel Lo", "Vel Hi"}};
constexpr int LoopUpperUnlabelled[] = {803, 937, 939};
// The values under the sample display name themselves from the left; the
// whole panel is dense, its labels a pixel smaller.
constexpr Hint LoopHints[] = {{"Start", Side::Left}, {"Loop Start", Side::Left}, {"Loop End", Side::Left},
                              {"X-Fade", Side::Left}};
constexpr int LoopLabelSize = 9;
constexpr int LoopLowerUnlabelled[] = {804, 938, 940};
constexpr int Envelope1Unlabelled[] = {146};
constexpr int Envelope2Unlabelled[] = {152};
constexpr int EnvelopeUnlabelled[] = {158};
// The touch area that turns a ladder path into a morphing one says so; the
// morphing filter's slope buttons, inside its knob, name their slopes.
constexpr int LadderLabelled[] = {787};
constexpr int MorphUnlabelled[] = {128};

const PageDecor Decors[] = {
    {.picture = Pic::MainBackground, .ground = Ground::Window, .words = WindowWords, .unlabelled = WindowUnlabelled,
     .icons = WindowIcons, .logo = 789},
    {.picture = Pic::PageMain, .sections = MainSections, .hints = MainHints, .words = MainWords,
     .unlabelled = MainUnlabelled},
    {.picture = Pic::PageMain + 1, .sections = Gen01Sections, .unlabelled = Gen01Unlabelled},
    {.picture = Pic::PageMain + 2, .sections = Gen23Sections, .unlabelled = Gen23Unlabelled},
    {.picture = Pic::PageMain + 3, .sections = FilterSections, .hints = FilterHints, .words = FilterWords,
     .unlabelled = FilterUnlabelled},
    {.picture = Pic::PageMain + 4, .unlabelled = FxUnlabelled, .titled = FxTitled},
    {.picture = Pic::PageMain + 5, .sections = ModulationSections, .hints = ModulationHints,
     .words = ModulationWords, .unlabelled = ModulationUnlabelled},
    {.picture = Pic::PageSetup, .sections = SetupSections, .hints = SetupHints},
    {.picture = Pic::PageParts, .sections = PartsSections},
    {.picture = Pic::PageKeys, .words = KeysWords},
    {.picture = Pic::OscPanelUpper, .ground = Ground::Panel, .title = "OSCILLATOR", .hints = OscHints},
    {.picture = Pic::OscPanelUpper + 1, .ground = Ground::Panel, .title = "OSCILLATOR", .hints = OscHints},
    {.picture = Pic::SamplerPanelUpper, .ground = Ground::Panel, .title = "TIME SAMPLER", .hints = SamplerHints},
    {.picture = Pic::SamplerPanelUpper + 1, .ground = Ground::Panel, .title = "TIME SAMPLER", .hints = SamplerHints},
    {.picture = Pic::TablePanelUpper, .ground = Ground::Panel, .title = "WAVETABLE", .hints = TableHints},
    {.picture = Pic::TablePanelUpper + 1, .ground = Ground::Panel, .title = "WAVETABLE", .hints = TableHints},
    {.picture = Pic::LoopPanelUpper, .ground = Ground::Panel, .title = "LOOP SAMPLER", .hints = LoopHints,
     .unlabelled = LoopUpperUnlabelled, .groups = ZoneGroups, .labelSize = LoopLabelSize},
    {.picture = Pic::LoopPanelUpper + 1, .ground = Ground::Panel, .title = "LOOP SAMPLER", .hints = LoopHints,
     .unlabelled = LoopLowerUnlabelled, .groups = ZoneGroups, .labelSize = LoopLabelSize},
    {.picture = Pic::EffectPanel, .ground = Ground::Panel},
    {.picture = Pic::FilterEnvelope2, .ground = Ground::Panel, .unlabelled = Envelope2Unlabelled},
    {.picture = Pic::LadderPanel, .ground = Ground::Panel, .labelled = LadderLabelled},
    {.picture = Pic::MorphPanel, .ground = Ground::Panel, .unlabelled = MorphUnlabelled},
    {.picture = Pic::LfoPanel, .ground = Ground::Panel, .labelSize = LfoLabelSize},
    {.picture = Pic::EnvelopePanel, .ground = Ground::Panel, .unlabelled = EnvelopeUnlabelled},
    {.picture = Pic::EmptyPanel, .ground = Ground::Panel},
    {.picture = Pic::EnvelopeHolder, .ground = Ground::Inset},
    {.picture = Pic::FilterEnvelope1, .ground = Ground::Panel, .unlabelled = Envelope1Unlabelled},
    {.picture = Pic::KeysPanel, .ground = Ground::Panel},
};

const PageDecor PlainPage{};
} // namespace

const PageDecor& decorOf(int picture)
{
    const auto it = std::find_if(std::begin(Decors), std::end(Decors),
                                 [picture](const PageDecor& d) { return d.picture == picture; });
    return it == std::end(Decors) ? PlainPage : *it;
}

} // namespace PagePainters
