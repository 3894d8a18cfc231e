// Vela_c's parameter side effects: what a change of one value sets off so the
// instrument stays consistent (docs/external-table.md, "Side effects").
//
// The change hook runs its rules in a fixed order after the engine's own
// handling, one named step each (ParaChangeSteps). Each rule fires for its
// (part, parameter) pair and, unless it says otherwise, for a whole-set
// change (index -1), which the engine reports after a program load with no
// part. The rules write further values through the parts' own setters,
// which re-cache their modules but do not come back here; the one write
// that does come back (sortXFx) is guarded.
//
// Threads: the hook runs on whatever thread changed the value, the audio
// thread included (automation and controllers). Nothing here allocates or
// touches files on that thread: redraws and host display updates are
// deferred by the engine, effect selection hands itself to the idle side,
// and the settings store defers its write.
#include "Vela.h"

#include "ECS2.h"
#include "FilterFree.h"
#include "FilterMoogSI.h"
#include "Flanger2.h"
#include "InstrumentWithSeq.h"
#include "LFO.h"
#include "NoteFreqTable.h"
#include "Parameter.h"
#include "SysGlo.h"
#include "VelaExtTable.h"
#include "WaveRAM.h"
#include "WaveRAM2.h"
#include "WaveSample.h"

#include <algorithm>

using namespace VelaExt;

namespace {

using G = VelaGlo_c;

// The default controller assignments: controller -> external parameter.
struct DefaultAssignment
{
    int controller;
    int entry;
};
constexpr DefaultAssignment DefaultAssignments[] = {
    // The generator volumes.
    {20, GenVolumeEntry0}, {28, GenVolumeEntry0 + 1}, {52, GenVolumeEntry0 + 2}, {60, GenVolumeEntry0 + 3},
    // Path 1: envelope depth and envelope, cutoff, resonance.
    {74, FilterEnvDepthEntry0},
    {75, envelopeEntry(runFilter1, ewAttack)}, {76, envelopeEntry(runFilter1, ewDecay)},
    {77, envelopeEntry(runFilter1, ewSustain)}, {78, envelopeEntry(runFilter1, ewFade)},
    {79, envelopeEntry(runFilter1, ewRelease)},
    {80, FilterCutoffEntry0}, {81, FilterResonanceEntry0},
    // Path 2 likewise.
    {82, FilterEnvDepthEntry0 + 1},
    {83, envelopeEntry(runFilter2, ewAttack)}, {84, envelopeEntry(runFilter2, ewDecay)},
    {85, envelopeEntry(runFilter2, ewSustain)}, {86, envelopeEntry(runFilter2, ewFade)},
    {87, envelopeEntry(runFilter2, ewRelease)},
    {88, FilterCutoffEntry0 + 1}, {89, FilterResonanceEntry0 + 1},
    // The main volume and the Amp envelope.
    {90, MainVolumeEntry},
    {91, envelopeEntry(runAmp, ewAttack)}, {92, envelopeEntry(runAmp, ewDecay)},
    {93, envelopeEntry(runAmp, ewSustain)}, {94, envelopeEntry(runAmp, ewFade)},
    {95, envelopeEntry(runAmp, ewRelease)},
    // The morphing filters' types.
    {102, MorphTypeEntry0}, {103, MorphTypeEntry0 + 1},
};

// The matrix rows whose switch a program load turns on (with amount 0):
// older programs stored rows switched off with an amount that sounds once on.
constexpr int ModRowsSwitchedOn = G::ModRowsUsed;

// Zones of a multisample store; zone z's parameter k is WaveRAM2_c::zonePara(z, k).
constexpr int Zones = WaveRAM2_c::NumZones;
constexpr int ZoneStride = WaveRAM2_c::ZoneParaCount;
constexpr int ZoneFilename = WaveRAM2_c::zonePara(0, WaveRAM2_c::zpFilename);
constexpr int ZoneLoadFilename = WaveRAM2_c::zonePara(0, WaveRAM2_c::zpCmdLoadFilename);
constexpr int ZoneReverse = WaveRAM2_c::zonePara(0, WaveRAM2_c::zpReverse);

// The user-sample slots' load command and what it redraws.
constexpr int SlotLoadFilename = WaveRAM_c::wrCmdLoadFilename;
constexpr int SlotRedraws[] = {WaveRAM_c::wrFilename, WaveRAM_c::wrMLEnable, WaveRAM_c::wrRoot};

// "Cir/Lin Knob Movement": 1 moves knobs linearly.
constexpr int KnobsLinear = 1;

// A zone of Z frames is drawn at 317 frames per pixel column step.
constexpr int ZoomFramesPerStep = 317;
constexpr int ZoomSmallSample = 634;

// The envelope defaults set for every instrument once the plug-in opens
// (normalised values).
constexpr float FilterEnvDecay = 0.1064f;
constexpr float FilterEnvSustain = 0.5f;
constexpr float GenEnvRelease = 1.0f;

// Ladder -> morphing filter parameters of the same path, in the order the
// links run.
struct FilterLink
{
    int ladder;
    int morph;
};
constexpr FilterLink FilterLinks[] = {{FilterMoogSI_c::pCutoff, FilterFree_c::pCutoff},
                                      {FilterMoogSI_c::pResonance, FilterFree_c::pResonance},
                                      {FilterMoogSI_c::pCutKeyF, FilterFree_c::pCutKeyF}};

// The serial slots' type parameters.
constexpr int SerialTypePara[VelaInst_c::NumSerialSlots] = {G::effXType(0), G::effXType(1), G::effXType(2),
                                                            G::effXType(3)};
// The serial slot that keeps its type when a whole program changes.
constexpr int LastSerialSlot = VelaInst_c::NumSerialSlots - 1;

// Depth of sortXFx on this thread: its writes re-enter the hook, which must
// neither sort again nor select the serial effects from half-written types.
thread_local int sortDepth = 0;

// Writes v when it differs from the value there: a link written only on a
// change does not re-cache 32 voices for nothing.
bool writeIfChanged(Part_c* part, int set, int para, int v)
{
    const Parameter_c* p = part ? part->getParaPtr(set, para) : nullptr;
    if (!p || p->value == v)
        return false;
    part->setParaVal(set, para, v);
    return true;
}

int valueOf(const Part_c* part, int set, int para)
{
    const Parameter_c* p = part ? part->getParaPtr(set, para) : nullptr;
    return p ? static_cast<int>(p->value) : 0;
}

} // namespace

int Vela_c::zoomForFrames(int frames)
{
    if (frames < ZoomSmallSample)
        return 0;
    const int columns = frames / ZoomFramesPerStep;
    int n = 2;
    int exponent = 1;
    while (n < columns) {
        n *= 2;
        ++exponent;
    }
    return exponent;
}

template <class Change>
void Vela_c::withAudioKeptOut(Change change)
{
    if (onAudioThread()) {
        change();
        return;
    }
    instrument.renderLock.getWritePermission();
    change();
    instrument.renderLock.releaseWritePermission();
}

// The change hook's steps, each one rule of the instrument. A step fires for
// its own (part, parameter) pair and, unless it says otherwise, for a
// whole-set change (`all`: index -1), which the engine reports after a
// program load with no part.
struct Vela_c::ParaChangeSteps
{
    Vela_c& v;
    const int set;
    Part_c* const part;
    const int index;
    const bool all = index == -1;
    Part_c* const glo = &v.globalPart;

    // A global parameter's own change, or a whole-set change.
    bool globalChanged(int para) const { return all || (part == glo && index == para); }
    // A module parameter's own change, or a whole-set change.
    bool changed(const Part_c* p, int para) const { return all || (p && part == p && index == para); }

    void switchOnSilentMatrixRows();
    void convertPredecessorProgram();
    void trimSampleExports();
    void zoomToLoadedZone();
    void redrawReversedZones();
    void keepKnobsLinear();
    void linkFilterPaths();
    void sendRemoteWetLevels();
    void pairFlangerInversions();
    void followGeneratorRouting();
    void selectSendEffects();
    void sortSerialEffects();
    void followSharedLFOPhases();
    void limitVoices();
    void redrawLoadedSlotSample();
    void redrawLoadedZoneName();
    void showEditedZone();
    void fitDisplayZoom();
    void importSoundFonts();
};

void Vela_c::postprocessParaChange(int set, Part_c* part, int index)
{
    Synth::postprocessParaChange(set, part, index);
    // The rules in the order they run: a later rule may read what an
    // earlier one wrote.
    ParaChangeSteps step{*this, set, part, index};
    step.switchOnSilentMatrixRows();
    step.convertPredecessorProgram();
    step.trimSampleExports();
    step.zoomToLoadedZone();
    step.redrawReversedZones();
    step.keepKnobsLinear();
    step.linkFilterPaths();
    step.sendRemoteWetLevels();
    step.pairFlangerInversions();
    step.followGeneratorRouting();
    step.selectSendEffects();
    step.sortSerialEffects();
    step.followSharedLFOPhases();
    step.limitVoices();
    step.redrawLoadedSlotSample();
    step.redrawLoadedZoneName();
    step.showEditedZone();
    step.fitDisplayZoom();
    step.importSoundFonts();
    // The file-menu rule: module and sample files of the editor's menus.
    postprocessFileIO(set, part, index);
}

// The matrix rule. A program was loaded (the engine reports it with no
// part): matrix rows that an older program stored switched off are switched
// on with amount 0. A module paste or reset reports its own part, the
// global part included, and leaves the matrix as the user made it.
void Vela_c::ParaChangeSteps::switchOnSilentMatrixRows()
{
    if (!all || part != nullptr)
        return;
    for (int k = 0; k < ModRowsSwitchedOn; ++k)
        if (!glo->getParaOn(set, G::gpModActive + k)) {
            glo->setParaOn(set, G::gpModActive + k, true);
            glo->setParaVal(set, G::gpModAmount + k, 0);
        }
}

// The predecessor rule: programs of the predecessor format carry a
// "Detune" of 0 or more, and convert.
void Vela_c::ParaChangeSteps::convertPredecessorProgram()
{
    if (globalChanged(G::gpDetune) && valueOf(glo, set, G::gpDetune) >= 0)
        v.postprocessC2load(set);
}

// The export rule: a sample export path was set (never on a whole-set
// change: a load must not trim).
void Vela_c::ParaChangeSteps::trimSampleExports()
{
    if (all || part != glo)
        return;
    if (index >= G::gpExportSample0 && index < G::gpExportSample0 + Slots)
        v.trim(set, index);
    if (index >= G::gpExportWTG0 && index < G::gpExportWTG0 + Slots)
        v.trimWT(set, index);
}

// The zoom-on-load rule: a zone's sample was loaded, and the display zooms
// to fit it. With no sample in the zone, or an empty one (a failed load),
// the zoom stays as it is.
void Vela_c::ParaChangeSteps::zoomToLoadedZone()
{
    for (int m = 0; m < LoopSamplers && !all; ++m) {
        if (part != &v.multiSamples[m] || index < ZoneLoadFilename || (index - ZoneLoadFilename) % ZoneStride != 0)
            continue;
        const int zone = (index - ZoneLoadFilename) / ZoneStride;
        if (zone >= Zones)
            continue;
        const WaveSample_c* sample = v.multiSamples[m].getSample(set, zone);
        if (sample && sample->frames > 0) {
            glo->setParaVal(set, G::gpSDZoom0 + m, zoomForFrames(sample->frames));
            v.updateEditor();
            v.updateHostDisplay();
        }
    }
}

// The reverse rule: a zone's "Reverse" (or everything) changed, and the
// display redraws.
void Vela_c::ParaChangeSteps::redrawReversedZones()
{
    bool reversed = all;
    for (int m = 0; m < LoopSamplers; ++m)
        reversed = reversed ||
                   (part == &v.multiSamples[m] && index >= ZoneReverse && (index - ZoneReverse) % ZoneStride == 0);
    if (reversed) {
        v.updateEditor();
        v.updateHostDisplay();
    }
}

// The knob rule: knobs move linearly, whatever the settings say.
void Vela_c::ParaChangeSteps::keepKnobsLinear()
{
    if (SysGlo_c* sys = v.getSysGlo())
        if (valueOf(sys, 0, SysGloPara::KnobMovement) != KnobsLinear)
            sys->setParaVal(0, SysGloPara::KnobMovement, KnobsLinear);
}

// The filter-link rule: the path's global type goes to its ladder filter,
// and the morphing filter takes cutoff, resonance and key follow from it.
void Vela_c::ParaChangeSteps::linkFilterPaths()
{
    Part_c* ladder[Paths] = {v.getModule(ModLadder1), v.getModule(ModLadder1 + 1)};
    Part_c* morph[Paths] = {v.getModule(ModMorph1), v.getModule(ModMorph1 + 1)};
    constexpr int PathType[Paths] = {G::gpFilterType0, G::gpFilterType1};
    for (int path = 0; path < Paths; ++path)
        if (globalChanged(PathType[path]))
            writeIfChanged(ladder[path], set, FilterMoogSI_c::pType, valueOf(glo, set, PathType[path]));
    for (const FilterLink& l : FilterLinks)
        for (int path = 0; path < Paths; ++path)
            if (changed(ladder[path], l.ladder) && morph[path]) {
                writeIfChanged(morph[path], set, l.morph, valueOf(ladder[path], set, l.ladder));
                v.cachePara(crParaChange, set, morph[path], l.morph);
            }
}

// The remote-wet rule: each effect slot's wet level goes to the effect the
// slot runs.
void Vela_c::ParaChangeSteps::sendRemoteWetLevels()
{
    for (int k = 0; k < VelaInst_c::NumFxSlots; ++k)
        if (globalChanged(G::gpFxWet0 + k))
            v.instrument.setWet(k, glo->getPara01(set, G::gpFxWet0 + k));
}

// The flanger rule: the flangers' two "InvertFeedback" parameters move
// together.
void Vela_c::ParaChangeSteps::pairFlangerInversions()
{
    for (const int base : {ModSet0, ModSet1, ModSetX}) {
        Part_c* flanger = v.getModule(base + SetFlanger);
        if (changed(flanger, Flanger2_c::pInvertFeedback))
            writeIfChanged(flanger, set, Flanger2_c::pInvertWet, valueOf(flanger, set, Flanger2_c::pInvertFeedback));
    }
}

// The routing rule: the conditional routes follow the generator routing.
// Routes (set again by every voice start) and the effect modules in the
// chain are what the audio thread renders from: off the audio thread it is
// kept out of the instrument (it skips the block) while they change.
void Vela_c::ParaChangeSteps::followGeneratorRouting()
{
    if (all || (part == glo && (index == G::gpGen0Routing || index == G::gpGen2Routing)))
        v.withAudioKeptOut([&] { v.doRoute(set); });
}

// The send-effect rule: a send slot's type selects its effect.
void Vela_c::ParaChangeSteps::selectSendEffects()
{
    if (globalChanged(G::gpEffType0))
        v.withAudioKeptOut([&] { v.instrument.selectParallel(VelaInst_c::setSend0); });
    if (globalChanged(G::gpEffType1))
        v.withAudioKeptOut([&] { v.instrument.selectParallel(VelaInst_c::setSend1); });
}

// The serial-effect rule: the changed slot keeps its type, the others give
// way; a whole-set change keeps the last slot's.
void Vela_c::ParaChangeSteps::sortSerialEffects()
{
    if (sortDepth != 0)
        return;
    int keep = all ? LastSerialSlot : -1;
    for (int k = 0; k < VelaInst_c::NumSerialSlots && !all; ++k)
        if (part == glo && index == SerialTypePara[k])
            keep = k;
    if (keep < 0)
        return;
    v.sortXFx(set, keep);
    v.withAudioKeptOut([&] {
        v.instrument.selectSerial(keep);
        // A slot's remote wet belongs to the effect the slot now runs:
        // without this a program would sound with the old effect's wet
        // until it is saved and loaded again.
        for (int slot = VelaInst_c::slotX0; slot < VelaInst_c::NumFxSlots; ++slot)
            v.instrument.setWet(slot, glo->getPara01(set, G::gpFxWet0 + slot));
    });
}

// The shared-phase rule: an LFO set to run on the instrument's phase (or
// whose speed changed while it does) takes the shared phase step.
void Vela_c::ParaChangeSteps::followSharedLFOPhases()
{
    for (int k = 0; k < LFOs; ++k) {
        Part_c* lfo = v.getModule(ModLFO1 + k);
        if (globalChanged(G::gpLFOPerm0 + k))
            v.postprocessLFOMono(set, G::gpLFOPerm0 + k, k, true);
        else if (lfo && part == lfo && (index == AdvLFO_c::pFrequency || index == AdvLFO_c::pNotes))
            v.postprocessLFOMono(set, G::gpLFOPerm0 + k, k, false);
    }
}

// The voice rule: "Voices" limits the voices; "all" (the parameter's
// infinite end) is every voice.
void Vela_c::ParaChangeSteps::limitVoices()
{
    if (!globalChanged(G::gpVoices))
        return;
    if (const Parameter_c* p = glo->getParaPtr(set, G::gpVoices))
        v.instrument.setVoiceLimit(p->getInfinite() ? NumVoices : static_cast<int>(p->value));
}

// The slot-load rule: a user-sample slot loaded a file, and its file name,
// loop switch and root redraw.
void Vela_c::ParaChangeSteps::redrawLoadedSlotSample()
{
    for (int s = 0; s < Slots; ++s)
        if (changed(&v.userSamples[s], SlotLoadFilename))
            for (const int para : SlotRedraws)
                v.updateEditor(&v.userSamples[s], para, set, false);
}

// The zone-load rule: a multisample store loaded zone 0, and its file name
// redraws.
void Vela_c::ParaChangeSteps::redrawLoadedZoneName()
{
    for (int m = 0; m < LoopSamplers; ++m)
        if (changed(&v.multiSamples[m], ZoneLoadFilename))
            v.updateEditor(&v.multiSamples[m], ZoneFilename, set, false);
}

// The shown-zone rule: a loop sampler's editor shows the zone edited on
// the scrolled page.
void Vela_c::ParaChangeSteps::showEditedZone()
{
    for (int m = 0; m < LoopSamplers; ++m) {
        if (!globalChanged(G::sampleScrolling(m)) && !(part == glo && index == G::sampleEditing(m)))
            continue;
        const int zone = ZonesPerPage * v.getParaVal(ScrollingEntry0 + m) + v.getParaVal(EditingEntry0 + m);
        const int shown = std::clamp(zone, 0, Zones - 1);
        v.shownZone[m] = shown;
        v.setSliderSize(set, m);
        v.shownSample[m] = v.multiSamples[m].getSample(set, shown);
        v.updateEditor();
        v.setParaVal(ShownEntry0 + m, zone);
        v.updateEditor();
    }
}

// The display-zoom rule: a zoom (or everything) changed, and the sample
// displays' scroll bars follow; a tuning file loaded redraws.
void Vela_c::ParaChangeSteps::fitDisplayZoom()
{
    if (all) {
        for (int m = 0; m < LoopSamplers; ++m)
            v.setSliderSize(set, m);
        v.updateEditor();
    } else if (part == glo && index >= G::gpSDZoom0 && index < G::gpSDZoom0 + LoopSamplers) {
        v.setSliderSize(set, index - G::gpSDZoom0);
        v.updateEditor();
    } else if (part && part == v.getTuningTable() && index == NoteFreqTable_c::tpLoadCommand) {
        v.updateEditor();
    }
}

// The SoundFont rule: an import path was set, and the SoundFont imports
// (never on a whole-set change).
void Vela_c::ParaChangeSteps::importSoundFonts()
{
    if (all || part != glo || index < G::gpSF2Path0 || index >= G::gpSF2Path0 + LoopSamplers)
        return;
    Tool::Disk::Path_c path;
    glo->getParaPath(set, index, &path);
    v.importSF2(set, index - G::gpSF2Path0, path);
}

void Vela_c::sortXFx(int set, int keep)
{
    if (sortDepth > 0)
        return;
    ++sortDepth;
    Part_c* glo = &globalPart;
    constexpr int Serial = VelaInst_c::NumSerialSlots;
    int types[Serial];
    for (int j = 0; j < Serial; ++j)
        types[j] = valueOf(glo, set, SerialTypePara[j]);
    int before[Serial];
    std::copy(types, types + Serial, before);
    VelaInst_c::makeDistinct(types, keep);
    // Only the values that changed are written, each through the hook (the
    // guard keeps it from sorting again); the others stay untouched.
    for (int j = 0; j < Serial; ++j)
        if (types[j] != before[j])
            glo->setParaVal(set, SerialTypePara[j], types[j]);
    for (int j = 0; j < Serial; ++j)
        if (types[j] != before[j]) {
            postprocessParaChange(set, glo, SerialTypePara[j]);
            updateEditor(glo, SerialTypePara[j], set, false);
        }
    --sortDepth;
}

void Vela_c::postprocessLFOMono(int set, int parameter, int lfo, bool reset)
{
    if (lfo < 0 || lfo >= LFOs || !instruments || !instruments[0])
        return;
    if (reset)
        instrument.setSyncPhase(lfo, 0.0);

    double step = 0.0;
    if (globalPart.getParaOn(set, parameter))
        if (const auto* segment = dynamic_cast<const LFOSimp_c*>(getModule(ModLFOSimp1 + lfo)))
            step = segment->getSyncStepUp(set) / ControlStepFrames;
    instrument.setSyncStepUp(lfo, step);
}

void Vela_c::tweakParameter(int first, int end)
{
    Synth::tweakParameter(first, end);
    Part_c* filterEnv[2] = {getModule(ModEnvFilter1), getModule(ModEnvFilter2)};
    Part_c* genEnv[2] = {getModule(ModEnvGen1), getModule(ModEnvGen2)};
    for (int i = std::max(first, 0); i < end && i < getNumInstruments(); ++i) {
        for (Part_c* env : filterEnv)
            if (env) {
                env->setPara01(i, EnvADSFR_c::pDTime, FilterEnvDecay);
                env->setPara01(i, EnvADSFR_c::pSLevel, FilterEnvSustain);
            }
        for (Part_c* env : genEnv)
            if (env)
                env->setPara01(i, EnvADSFR_c::pRTime, GenEnvRelease);
    }
}

void Vela_c::setEditIns(int ins)
{
    Synth::setEditIns(ins);
}

void Vela_c::initECS()
{
    ECS2_c* table = getECS();
    if (!table)
        return;
    // Offered at every resume: a control that has a controller already
    // keeps it, so each default goes in once and learned slots stay free.
    for (const DefaultAssignment& a : DefaultAssignments)
        table->assignCC(0, a.controller, 0, a.entry, true, 0);
}

