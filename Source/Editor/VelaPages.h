// The instrument's editor pages as data (the format is PageLayout.h): the
// 87 exchangeable frames, the dependent-frame rules in the order the editor
// defines them, and one table per page, panel and effect type. VelaEditor_c's
// builders walk these tables; the page pictures' painters and the tests walk
// them through contents(), which says which table is built into which frame
// at which slot.
// Thread: any (constant data; the tables built on first use are read-only).
#pragma once

#include "PageLayout.h"

#include <span>
#include <vector>

namespace VelaPages {

using PageLayout::Row;

// Frame numbers.
constexpr int MainPage = 1, Gen01Page = 2, Gen23Page = 3, FilterPage = 4, FxPage = 5, ModulationPage = 6,
              SetupPage = 7, PartsPage = 8, KeysPage = 9;
constexpr int LadderFrame0 = 10, MorphFrame0 = 12; // filter 1, filter 2 = + 1
constexpr int OscFrame0 = 14, SamFrame0 = 18, WTFrame0 = 22, LoopFrame0 = 26; // + slot
constexpr int FxFrame0 = 28; // effect type k in set s: 28 + 3k + s
constexpr int LfoFrame0 = 64;
constexpr int FilterEnvFrame0 = 68, FilterEnvEmpty0 = 70;
constexpr int EnvHolder0 = 72, EnvFrame0 = 77, EnvEmpty0 = 82;
constexpr int MainEditFrame = 87;
// The frames 1..86 and the main edit frame: one past the last, as the
// editor's RemoveFrames takes it.
constexpr int FrameCount = 88;
constexpr int EffectTypes = 12;
constexpr int EffectSets = 3;
constexpr int SetX = 2;

constexpr int fxFrame(int type, int set)
{
    return FxFrame0 + 3 * type + set;
}

// The four insert rectangles of the "fx" page (effects 3 to 6), top-left.
constexpr int InsertSlots = 4;
constexpr int InsertX[InsertSlots] = {265, 265, 505, 505};
constexpr int InsertY[InsertSlots] = {31, 149, 31, 149};
// The types of effects 3 to 6.
constexpr int InsertTypeEntry0 = 215;

// Every exchangeable frame and the main edit frame, by number.
std::span<const PageLayout::FrameDef> frames();
const PageLayout::FrameDef* frame(int number);
// The rules in the order the editor defines them.
std::span<const PageLayout::RuleDef> rules();
// Every table built into every frame, in build order within a frame.
std::span<const PageLayout::Content> contents();
// Every view of one frame, as the builders place them.
std::vector<PageLayout::Placed> placedViewsOf(int frameNumber);

// The label a view shows or a painter writes: the row's own, else the
// external table's name of its index, else none.
const char* labelOf(const PageLayout::Placed& view);

// What a painter of picture `picture` paints into it: the controls of the
// frame that wears it, each with its rectangle, kind and label. A picture
// several frames wear (a generator panel's, for its slots) gets the rows of
// the first; the effect frames' common picture gets none, as their row
// names are views of their own. Empty for pictures no frame wears.
std::vector<PageLayout::PaintedRow> paintedRows(int picture);

// --- the tables the builders walk
// The main edit frame: the page selectors and the touch areas beside them;
// the main volume, which "main" places there so it stays on every page.
std::span<const Row> editFrameRows();
std::span<const Row> mainVolumeRows();
std::span<const Row> mainPageRows();  // "main" without its file controls
std::span<const Row> fileEditRows();  // "main": programs and banks
std::span<const Row> genPageRows();   // "gen01" / "gen23", slot g = 0 / 2
std::span<const Row> routingRows();   // the routing radios of "gen01" and "gen23" (slot 0 / 1)
std::span<const Row> oscRows();       // oscillator panel, slot s
std::span<const Row> samRows();       // time-sampler panel
std::span<const Row> wtgRows();       // wavetable panel
std::span<const Row> lopRows();       // loop-sampler panel, slot 0 / 1
std::span<const Row> zoneRows();      // its zone table
// The generator type menu each panel carries.
struct TypeMenu
{
    int frame;
    Row row;
};
std::span<const TypeMenu> typeMenus();
std::span<const Row> filterPageRows();
std::span<const Row> filterEnvMenuRows();
std::span<const Row> ladderRows();    // filter s
std::span<const Row> morphRows();
std::span<const Row> envelopeRows();  // envelope run s (VelaExt::EnvelopeRun_t)
std::span<const Row> fxPageRows();
std::span<const Row> effectRows(int type); // set s
std::span<const Row> modulationRows(); // LFO and envelope selectors and module menus
std::span<const Row> envHolderRows(); // envelope e's panel choice in its holder
std::span<const Row> lfoRows();       // LFO l
std::span<const Row> matrixRows();
std::span<const Row> arpRows();
std::span<const Row> settingsRows();
std::span<const Row> mixerRows();
std::span<const Row> keysRows();

} // namespace VelaPages
