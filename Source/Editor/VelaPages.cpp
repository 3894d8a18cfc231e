// The frames of the instrument's editor, the rules that show one child of a
// frame by a selector's value, and which table is built into which frame.
#include "VelaPages.h"

#include "EditorPictures.h"
#include "VelaExtTable.h"

#include <algorithm>
#include <array>

namespace VelaPages {
namespace {
using namespace PageLayout;
namespace Pic = EditorPictures;

constexpr int Main = MainEditFrame;

// The frames by number, 1..86, then the main edit frame. Pages sit in the
// main edit frame, panels in their pages; the set-X effect frames get their
// place in an insert rectangle when shown, so their own position is (0, 0).
constexpr std::array<FrameDef, FrameCount - 1> makeFrames()
{
    std::array<FrameDef, FrameCount - 1> f{};
    constexpr const char* PageNames[] = {"main", "gen01", "gen23", "filter", "fx", "modulation", "setup"};
    for (int p = 0; p < 7; ++p)
        f[p] = {MainPage + p, PageNames[p], 0, 37, Pic::PageMain + p, Main};
    f[7] = {PartsPage, "parts", 0, 348, Pic::PageParts, Main};
    f[8] = {KeysPage, "keys", 0, 348, Pic::PageKeys, Main};
    for (int s = 0; s < 2; ++s) {
        const int y = s == 0 ? 11 : 149;
        f[LadderFrame0 + s - 1] = {LadderFrame0 + s, "", 276, y, Pic::LadderPanel, FilterPage};
        f[MorphFrame0 + s - 1] = {MorphFrame0 + s, "", 276, y, Pic::MorphPanel, FilterPage};
    }
    // Generator panels: slots 0, 1 on "gen01", 2, 3 on "gen23"; even slots
    // on the upper panel.
    for (int s = 0; s < 4; ++s) {
        const int page = s < 2 ? Gen01Page : Gen23Page;
        const int y = s % 2 == 0 ? 0 : 145;
        const int lower = s % 2;
        f[OscFrame0 + s - 1] = {OscFrame0 + s, "", 126, y, Pic::OscPanelUpper + lower, page};
        f[SamFrame0 + s - 1] = {SamFrame0 + s, "", 126, y, Pic::SamplerPanelUpper + lower, page};
        f[WTFrame0 + s - 1] = {WTFrame0 + s, "", 126, y, Pic::TablePanelUpper + lower, page};
    }
    for (int s = 0; s < 2; ++s)
        f[LoopFrame0 + s - 1] = {LoopFrame0 + s, "", 126, s == 0 ? 0 : 145, Pic::LoopPanelUpper + s, Gen01Page};
    for (int k = 0; k < EffectTypes; ++k) {
        f[fxFrame(k, 0) - 1] = {fxFrame(k, 0), "", 20, 31, Pic::EffectPanel, FxPage};
        f[fxFrame(k, 1) - 1] = {fxFrame(k, 1), "", 20, 149, Pic::EffectPanel, FxPage};
        f[fxFrame(k, SetX) - 1] = {fxFrame(k, SetX), "", 0, 0, Pic::EffectPanel, FxPage};
    }
    for (int l = 0; l < 4; ++l)
        f[LfoFrame0 + l - 1] = {LfoFrame0 + l, "", 388, 41, Pic::LfoPanel, ModulationPage};
    f[FilterEnvFrame0 - 1] = {FilterEnvFrame0, "", 497, 12, Pic::FilterEnvelope1, FilterPage};
    f[FilterEnvFrame0] = {FilterEnvFrame0 + 1, "", 497, 150, Pic::FilterEnvelope2, FilterPage};
    f[FilterEnvEmpty0 - 1] = {FilterEnvEmpty0, "", 497, 12, Pic::EmptyPanel, FilterPage};
    f[FilterEnvEmpty0] = {FilterEnvEmpty0 + 1, "", 497, 150, Pic::EmptyPanel, FilterPage};
    for (int e = 0; e < 5; ++e) {
        f[EnvHolder0 + e - 1] = {EnvHolder0 + e, "", 116, 11, Pic::EnvelopeHolder, ModulationPage};
        f[EnvFrame0 + e - 1] = {EnvFrame0 + e, "", 42, 1, Pic::EnvelopePanel, EnvHolder0 + e};
        f[EnvEmpty0 + e - 1] = {EnvEmpty0 + e, "", 42, 1, Pic::EmptyPanel, EnvHolder0 + e};
    }
    f[Main - 1] = {Main, "MainEditFrame", 0, 0, Pic::MainBackground, 0};
    return f;
}
constexpr std::array<FrameDef, FrameCount - 1> Frames = makeFrames();

// The dependent-frame rules in the order the editor defines them.
constexpr RuleDef Rules[] = {
    {603, Main, {1, 2, 3, 4, 5, 6, 7}},
    {604, Main, {8, 9}},
    {769, Gen01Page, {14, 18, 22, 26}},
    {770, Gen01Page, {15, 19, 23, 27}},
    {777, Gen23Page, {16, 20, 24}},
    {778, Gen23Page, {17, 21, 25}},
    {213, FxPage, {28, 31, 34, 37, 40, 43, 46, 49, 52, 55, 58, 61}},
    {214, FxPage, {29, 32, 35, 38, 41, 44, 47, 50, 53, 56, 59, 62}},
    {783, FilterPage, {10, 12}},
    {784, FilterPage, {11, 13}},
    {606, ModulationPage, {64, 65, 66, 67}},
    {796, FilterPage, {68, 70}},
    {797, FilterPage, {69, 71}},
    {605, ModulationPage, {72, 73, 74, 75, 76}},
    {798, 72, {77, 82}},
    {799, 73, {78, 83}},
    {800, 74, {79, 84}},
    {801, 75, {80, 85}},
    {802, 76, {81, 86}},
};

// The envelopes of frames 77 to 81, as the external table orders them.
constexpr int EnvelopeOfFrame[5] = {VelaExt::runGen1, VelaExt::runGen2, VelaExt::runMod1, VelaExt::runMod2,
                                    VelaExt::runAmp};

constexpr const char* EffectBuilders[EffectTypes] = {
    "createDelEdits",    "createStDelEdits", "createPPDelEdits",     "createChoEdits",
    "createPhaEdits",    "createGFiEdits",   "createRevEdits",       "createFlangerEdits",
    "createGatorEdits",  "createStereoEnhEdits", "createEQEdits",    "createCrushEdits",
};

std::vector<Content> makeContents()
{
    std::vector<Content> c;
    c.push_back({Main, editFrameRows(), {}, "createAllEdits"});
    c.push_back({Main, mainVolumeRows(), {}, "createMain"});
    c.push_back({MainPage, mainPageRows(), {}, "createMain"});
    c.push_back({MainPage, fileEditRows(), {}, "createFileEdits"});
    for (int g : {0, 2}) {
        const int page = g == 0 ? Gen01Page : Gen23Page;
        c.push_back({page, genPageRows(), {g}, "createExchangeables"});
        c.push_back({page, routingRows(), {g / 2}, "createAllEdits"});
    }
    for (const TypeMenu& t : typeMenus())
        c.push_back({t.frame, std::span<const Row>(&t.row, 1), {}, "createExchangeables"});
    for (int s = 0; s < 4; ++s) {
        const Place place{s, s % 2 == 1};
        c.push_back({OscFrame0 + s, oscRows(), place, "createOscEdits"});
        c.push_back({SamFrame0 + s, samRows(), place, "createSamEdits"});
        c.push_back({WTFrame0 + s, wtgRows(), place, "createWTGEdits"});
    }
    for (int s = 0; s < 2; ++s) {
        const Place place{s, s == 1};
        c.push_back({LoopFrame0 + s, lopRows(), place, "createLopEdits"});
        c.push_back({LoopFrame0 + s, zoneRows(), place, "createGenSamTable"});
    }
    for (int s = 0; s < 2; ++s) {
        c.push_back({LadderFrame0 + s, ladderRows(), {s}, "createExchangeables"});
        c.push_back({MorphFrame0 + s, morphRows(), {s}, "createExchangeables"});
        c.push_back({FilterEnvFrame0 + s, envelopeRows(), {VelaExt::runFilter1 + s}, "createExchangeables"});
    }
    c.push_back({FilterPage, filterPageRows(), {}, "createFilEdits"});
    c.push_back({FilterPage, filterEnvMenuRows(), {}, "createExchangeables"});
    c.push_back({FxPage, fxPageRows(), {}, "createEffFrame"});
    for (int set = 0; set < EffectSets; ++set)
        for (int k = 0; k < EffectTypes; ++k)
            c.push_back({fxFrame(k, set), effectRows(k), {set}, EffectBuilders[k]});
    c.push_back({ModulationPage, modulationRows(), {}, "createExchangeables"});
    for (int l = 0; l < 4; ++l)
        c.push_back({LfoFrame0 + l, lfoRows(), {l}, "createLFOEdits"});
    for (int e = 0; e < 5; ++e) {
        c.push_back({EnvHolder0 + e, envHolderRows(), {e}, "createExchangeables"});
        c.push_back({EnvFrame0 + e, envelopeRows(), {EnvelopeOfFrame[e]}, "createExchangeables"});
    }
    c.push_back({ModulationPage, arpRows(), {}, "createArpEdits"});
    c.push_back({SetupPage, settingsRows(), {}, "createSettings"});
    c.push_back({ModulationPage, matrixRows(), {}, "createMatrixEdits"});
    c.push_back({KeysPage, keysRows(), {}, "createKeyboard"});
    c.push_back({PartsPage, mixerRows(), {}, "create51MixEdits"});
    return c;
}
} // namespace

std::span<const FrameDef> frames()
{
    return Frames;
}

const FrameDef* frame(int number)
{
    return number >= 1 && number < FrameCount ? &Frames[number - 1] : nullptr;
}

std::span<const RuleDef> rules()
{
    return Rules;
}

std::span<const Content> contents()
{
    static const std::vector<Content> all = makeContents();
    return all;
}

std::vector<Placed> placedViewsOf(int frameNumber)
{
    std::vector<Placed> views;
    for (const Content& c : contents())
        if (c.frame == frameNumber) {
            std::vector<Placed> more = placedViews(c.rows, c.place);
            views.insert(views.end(), more.begin(), more.end());
        }
    return views;
}

const char* labelOf(const Placed& view)
{
    if (view.label)
        return view.label;
    const auto& table = velaExtTable();
    if (view.index < 0 || view.index >= static_cast<int>(table.size()))
        return nullptr;
    const std::string& name = table[static_cast<size_t>(view.index)].name;
    return name.empty() || name == "-" ? nullptr : name.c_str();
}

std::vector<PaintedRow> paintedRows(int picture)
{
    const auto wearer = std::find_if(Frames.begin(), Frames.end(), [&](const FrameDef& f) { return f.picture == picture; });
    if (wearer == Frames.end() || picture == Pic::EffectPanel)
        return {};
    std::vector<PaintedRow> rows;
    for (const Placed& v : placedViewsOf(wearer->number)) {
        const Row& r = *v.row;
        rows.push_back({v.rect, r.kind, labelOf(v), v.index, r.command, r.file ? r.file->mode : -1, v.part, v.repeat,
                        r.count, r.drawn, r.labels != nullptr});
    }
    return rows;
}

} // namespace VelaPages
