#include "VelaEditor.h"

#include "CBitmap.h"
#include "CFrame.h"
#include "EditorPictures.h"
#include "Synth.h"
#include "VelaExtTable.h"
#include "VelaPages.h"

#include <algorithm>

using PageLayout::Place;
using PageLayout::Row;
using namespace VelaPages;

namespace {
// The pictures of the pages, by resource number: page backgrounds and
// panels, buttons, knob strips, sliders, keyboard strips and menus.
struct IdRange
{
    int first;
    int last;
};
constexpr IdRange PagePictures[] = {
    {200, 206}, {219, 227}, {229, 229}, {239, 252}, {300, 303}, {305, 307}, {320, 328}, {330, 335},
    {337, 350}, {352, 357}, {360, 369}, {371, 383}, {393, 394}, {396, 396},
};
} // namespace

VelaEditor_c::VelaEditor_c(AudioEffect* effect)
    : SynthEditor_c(effect, NumEdits, EditorPictures::MainBackground, -1)
{
    setKnobModeIndex(KnobModeIndex);
    textColours[kTextDefault] = PageLayout::colourOf(PageLayout::Colour::Default);
    textColours[kTextBright] = PageLayout::colourOf(PageLayout::Colour::Bright);
    textColours[kTextDim] = PageLayout::colourOf(PageLayout::Colour::Dim);
    textColours[kTextOlive] = PageLayout::colourOf(PageLayout::Colour::Olive);
    for (const IdRange& r : PagePictures)
        for (int id = r.first; id <= r.last; ++id)
            pictures[id] = loadBitmap(id);
}

VelaEditor_c::~VelaEditor_c() = default;

AEffEditor* VelaEditor_c::create(AudioEffect* effect)
{
    return new VelaEditor_c(effect);
}

CBitmap* VelaEditor_c::getPicture(int id) const
{
    return id >= 0 && id <= EditorPictures::MaxId ? pictures[id] : nullptr;
}

CColor VelaEditor_c::getTextColour(int which) const
{
    return textColours[std::clamp(which, 0, kTextColours - 1)];
}

int VelaEditor_c::getInsertType(int slot) const
{
    return slot >= 0 && slot < InsertSlots ? insertTypes[slot] : -1;
}

// ------------------------------------------------------------ open, close

bool VelaEditor_c::open(void* parent)
{
    std::lock_guard<std::recursive_mutex> guard(editorMutex);
    // Before the engine has built its parts there is nothing to show.
    if (!engine || !engine->getFlagInitialized())
        return false;
    if (!SynthEditor_c::open(parent))
        return false;
    Synth::BusyScope busy(*engine);
    backShown = false;
    std::fill(std::begin(insertTypes), std::end(insertTypes), -1);
    createAllEdits();
    openFlag = true;
    updateCircularLinearMode();
    semitoneRule();
    setDirty(EditPageIndex, false);
    setDirty(EditPageIndex + 1, false);
    setDirty();
    updateEdit(766, true); // the version text of "setup"
    updateAllEdits();
    return true;
}

void VelaEditor_c::close()
{
    std::lock_guard<std::recursive_mutex> guard(editorMutex);
    // A frame without the open flag is an opening that stopped half-way;
    // it goes as well.
    if (!openFlag && !frame)
        return;
    openFlag = false;
    RemoveFrames(FrameCount);
    SynthEditor_c::close();
}

bool VelaEditor_c::setKnobMode(int32_t)
{
    return true;
}

void VelaEditor_c::switchBack()
{
    if (!engine)
        return;
    Synth::BusyScope busy(*engine);
    engine->setParaVal(EditPageIndex, NoUpperPage);
    // The page rule follows at the next idle.
    setDirty(EditPageIndex, false);
}

// --------------------------------------------------------------- building

void VelaEditor_c::createFrame(int number)
{
    const PageLayout::FrameDef* f = VelaPages::frame(number);
    if (f)
        createExchFrame(number, f->x, f->y, getPicture(f->picture), f->name);
}

void VelaEditor_c::createAllEdits()
{
    CModulFrameVx* edit = getEditFrame();
    // The page selectors and the touch areas that open the settings.
    buildRows(edit, editFrameRows());
    createExchangeables();
    createSettings(getExchFrame(SetupPage));
    createMatrixEdits(getExchFrame(ModulationPage));
    buildRows(getExchFrame(Gen01Page), routingRows(), Place{0});
    buildRows(getExchFrame(Gen23Page), routingRows(), Place{1});
    createKeyboard(getExchFrame(KeysPage));
    create51MixEdits(getExchFrame(PartsPage));
    createMain(getExchFrame(MainPage));
    defineRules();
}

void VelaEditor_c::defineRules()
{
    for (const PageLayout::RuleDef& r : rules()) {
        const int* c = r.children;
        auto child = [&](int i) { return c[i] > 0 ? c[i] : -1; };
        defineDepMod(r.selector, r.parent, child(0), child(1), child(2), child(3), child(4), child(5), child(6),
                     child(7), child(8), child(9), child(10), child(11));
    }
}

void VelaEditor_c::createExchangeables()
{
    // The main edit frame is the parent the page rules name.
    exchFrames[MainEditFrame] = getEditFrame();
    for (int page : {PartsPage, KeysPage, MainPage, SetupPage, Gen01Page, Gen23Page, FilterPage, FxPage,
                     ModulationPage})
        createFrame(page);
    for (int n = OscFrame0; n < LoopFrame0 + 2; ++n)
        createFrame(n);
    for (const TypeMenu& t : typeMenus())
        buildRows(getExchFrame(t.frame), std::span<const Row>(&t.row, 1));
    buildRows(getExchFrame(Gen01Page), genPageRows(), Place{0});
    buildRows(getExchFrame(Gen23Page), genPageRows(), Place{2});
    for (int s = 0; s < 4; ++s)
        createOscEdits(getExchFrame(OscFrame0 + s), s);
    for (int s = 0; s < 4; ++s)
        createSamEdits(getExchFrame(SamFrame0 + s), s);
    for (int s = 0; s < 4; ++s)
        createWTGEdits(getExchFrame(WTFrame0 + s), s);
    for (int s = 0; s < 2; ++s)
        createLopEdits(getExchFrame(LoopFrame0 + s), s);

    // The filters' sub-frames and envelopes.
    for (int n = LadderFrame0; n < MorphFrame0 + 2; ++n)
        createFrame(n);
    for (int n = FilterEnvFrame0; n < FilterEnvEmpty0 + 2; ++n)
        createFrame(n);
    for (int s = 0; s < 2; ++s) {
        buildRows(getExchFrame(LadderFrame0 + s), ladderRows(), Place{s});
        buildRows(getExchFrame(MorphFrame0 + s), morphRows(), Place{s});
        buildRows(getExchFrame(FilterEnvFrame0 + s), envelopeRows(), Place{VelaExt::runFilter1 + s});
    }
    createFilEdits(getExchFrame(FilterPage));
    buildRows(getExchFrame(FilterPage), filterEnvMenuRows());

    // The effect frames: set 0 of every type, then set 1, then set X.
    for (int set = 0; set < EffectSets; ++set)
        for (int k = 0; k < EffectTypes; ++k)
            createFrame(fxFrame(k, set));
    createEffFrame(getExchFrame(FxPage));
    for (int k = 0; k < EffectTypes; ++k)
        for (int set = 0; set < EffectSets; ++set)
            createEffectEdits(k, getExchFrame(fxFrame(k, set)), set);

    // "modulation": the LFOs, the envelopes in their holders, the arpeggiator.
    CModulFrameVx* modulation = getExchFrame(ModulationPage);
    buildRows(modulation, modulationRows());
    for (int l = 0; l < 4; ++l) {
        createFrame(LfoFrame0 + l);
        createLFOEdits(getExchFrame(LfoFrame0 + l), l);
    }
    constexpr int EnvelopeOfFrame[5] = {VelaExt::runGen1, VelaExt::runGen2, VelaExt::runMod1, VelaExt::runMod2,
                                        VelaExt::runAmp};
    for (int e = 0; e < 5; ++e) {
        createFrame(EnvHolder0 + e);
        createFrame(EnvFrame0 + e);
        createFrame(EnvEmpty0 + e);
    }
    for (int e = 0; e < 5; ++e) {
        buildRows(getExchFrame(EnvFrame0 + e), envelopeRows(), Place{EnvelopeOfFrame[e]});
        buildRows(getExchFrame(EnvHolder0 + e), envHolderRows(), Place{e});
    }
    createArpEdits(modulation);

    updateDepMod(-1);
    updateXFx(-1);
}

// Each page's builder walks its table.
void VelaEditor_c::createMain(CModulFrameVx* frame)
{
    createFileEdits(frame);
    buildRows(getEditFrame(), mainVolumeRows());
    buildRows(frame, mainPageRows());
}

void VelaEditor_c::createFileEdits(CModulFrameVx* frame)
{
    buildRows(frame, fileEditRows());
}

void VelaEditor_c::createSettings(CModulFrameVx* frame)
{
    buildRows(frame, settingsRows());
    // The version text is only read.
    setMouseEnabled(766, false);
}

void VelaEditor_c::createMatrixEdits(CModulFrameVx* frame)
{
    buildRows(frame, matrixRows());
}

void VelaEditor_c::createLFOEdits(CModulFrameVx* frame, int lfo)
{
    buildRows(frame, lfoRows(), Place{lfo});
}

void VelaEditor_c::createArpEdits(CModulFrameVx* frame)
{
    buildRows(frame, arpRows());
}

void VelaEditor_c::createKeyboard(CModulFrameVx* frame)
{
    // The keyboard page stands on its picture: without it, no keyboard and
    // none of its switches.
    if (!getPicture(EditorPictures::KeysPanel))
        return;
    buildRows(frame, keysRows());
}

void VelaEditor_c::create51MixEdits(CModulFrameVx* frame)
{
    buildRows(frame, mixerRows());
}

void VelaEditor_c::createFilEdits(CModulFrameVx* frame)
{
    buildRows(frame, filterPageRows());
}

void VelaEditor_c::createEffFrame(CModulFrameVx* frame)
{
    buildRows(frame, fxPageRows());
}

void VelaEditor_c::createOscEdits(CModulFrameVx* frame, int slot)
{
    buildRows(frame, oscRows(), Place{slot, slot % 2 == 1});
}

void VelaEditor_c::createSamEdits(CModulFrameVx* frame, int slot)
{
    buildRows(frame, samRows(), Place{slot, slot % 2 == 1});
}

void VelaEditor_c::createWTGEdits(CModulFrameVx* frame, int slot)
{
    buildRows(frame, wtgRows(), Place{slot, slot % 2 == 1});
}

void VelaEditor_c::createLopEdits(CModulFrameVx* frame, int slot)
{
    buildRows(frame, lopRows(), Place{slot, slot == 1});
    createGenSamTable(frame, slot);
}

void VelaEditor_c::createGenSamTable(CModulFrameVx* frame, int slot)
{
    buildRows(frame, zoneRows(), Place{slot, slot == 1});
}

void VelaEditor_c::createEffectEdits(int type, CModulFrameVx* frame, int set)
{
    switch (type) {
    case 0: createDelEdits(frame, set); return;
    case 1: createStDelEdits(frame, set); return;
    case 2: createPPDelEdits(frame, set); return;
    case 3: createChoEdits(frame, set); return;
    case 4: createPhaEdits(frame, set); return;
    case 5: createGFiEdits(frame, set); return;
    case 6: createRevEdits(frame, set); return;
    case 7: createFlangerEdits(frame, set); return;
    case 8: createGatorEdits(frame, set); return;
    case 9: createStereoEnhEdits(frame, set); return;
    case 10: createEQEdits(frame, set); return;
    case 11: createCrushEdits(frame, set); return;
    default: return;
    }
}

void VelaEditor_c::createDelEdits(CModulFrameVx* frame, int set) { buildRows(frame, effectRows(0), Place{set}); }
void VelaEditor_c::createStDelEdits(CModulFrameVx* frame, int set) { buildRows(frame, effectRows(1), Place{set}); }
void VelaEditor_c::createPPDelEdits(CModulFrameVx* frame, int set) { buildRows(frame, effectRows(2), Place{set}); }
void VelaEditor_c::createChoEdits(CModulFrameVx* frame, int set) { buildRows(frame, effectRows(3), Place{set}); }
void VelaEditor_c::createPhaEdits(CModulFrameVx* frame, int set) { buildRows(frame, effectRows(4), Place{set}); }
void VelaEditor_c::createGFiEdits(CModulFrameVx* frame, int set) { buildRows(frame, effectRows(5), Place{set}); }
void VelaEditor_c::createRevEdits(CModulFrameVx* frame, int set) { buildRows(frame, effectRows(6), Place{set}); }
void VelaEditor_c::createFlangerEdits(CModulFrameVx* frame, int set) { buildRows(frame, effectRows(7), Place{set}); }
void VelaEditor_c::createGatorEdits(CModulFrameVx* frame, int set) { buildRows(frame, effectRows(8), Place{set}); }
void VelaEditor_c::createStereoEnhEdits(CModulFrameVx* frame, int set) { buildRows(frame, effectRows(9), Place{set}); }
void VelaEditor_c::createEQEdits(CModulFrameVx* frame, int set) { buildRows(frame, effectRows(10), Place{set}); }
void VelaEditor_c::createCrushEdits(CModulFrameVx* frame, int set) { buildRows(frame, effectRows(11), Place{set}); }
