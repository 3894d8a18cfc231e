// Vela_c's parameter side effects: what a change of one value sets off so the
// instrument stays consistent (docs/external-table.md, "Side effects").
//
// The change hook runs its rules in a fixed order after the engine's own
// handling. Each rule fires for its (part, parameter) pair and, unless it
// says otherwise, for a whole-set change (index -1), which the engine
// reports after a program load with no part. The rules write further values
// through the parts' own setters, which re-cache their modules but do not
// come back here; the one write that does come back (sortXFx) is guarded.
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
    {20, 4},    {28, 5},    {52, 6},    {60, 7},                                  // generator volumes
    {74, 124},  {75, 141},  {76, 142},  {77, 143},  {78, 144},  {79, 145},        // path 1 envelope
    {80, 114},  {81, 116},                                                        // path 1 cutoff, resonance
    {82, 125},  {83, 147},  {84, 148},  {85, 149},  {86, 150},  {87, 151},        // path 2 envelope
    {88, 115},  {89, 117},                                                        // path 2 cutoff, resonance
    {90, 134},  {91, 135},  {92, 136},  {93, 137},  {94, 138},  {95, 139},        // main volume, Amp envelope
    {102, 126}, {103, 127},                                                       // filter models
};

// The matrix rows whose switch a program load turns on (with amount 0):
// older programs stored rows switched off with an amount that sounds once on.
constexpr int ModRowsSwitchedOn = 10;

// Zones of a multisample store, and the parameters of zone z at p + 20 z.
constexpr int Zones = 64;
constexpr int ZoneStride = 20;
constexpr int ZoneLoadFilename = 24; // "Cmd Load Filename" of zone 0
constexpr int ZoneReverse = 19;
constexpr int ZonesPerPage = 8;

// The user-sample slots' load command and what it redraws.
constexpr int SlotLoadFilename = 14;
constexpr int SlotRedraws[] = {3, 12, 6}; // "Filename", "MLEnable", "Root"

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
constexpr int SerialTypePara[4] = {G::gpEffXType0, G::gpEffXType0 + 2, G::gpEffXType0 + 4, G::gpEffXType0 + 6};

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

void Vela_c::postprocessParaChange(int set, Part_c* part, int index)
{
    Synth::postprocessParaChange(set, part, index);
    const bool all = index == -1;
    Part_c* glo = &globalPart;
    // A rule's own pair, or a whole-set change.
    auto globalChanged = [&](int para) { return all || (part == glo && index == para); };
    auto changed = [&](Part_c* p, int para) { return all || (p && part == p && index == para); };

    // 1. A program was loaded (the engine reports it with no part): matrix
    // rows that an older program stored switched off are switched on with
    // amount 0. A module paste or reset reports its own part, the global
    // part included, and leaves the matrix as the user made it.
    if (all && part == nullptr) {
        for (int k = 0; k < ModRowsSwitchedOn; ++k)
            if (!glo->getParaOn(set, G::gpModActive + k)) {
                glo->setParaOn(set, G::gpModActive + k, true);
                glo->setParaVal(set, G::gpModAmount + k, 0);
            }
    }
    // 2. Programs of the predecessor format carry a "Detune" of 0 or more.
    if (globalChanged(G::gpDetune) && valueOf(glo, set, G::gpDetune) >= 0)
        postprocessC2load(set);
    // 3. Sample exports (never on a whole-set change: a load must not trim).
    if (!all && part == glo) {
        if (index >= G::gpExportSample0 && index < G::gpExportSample0 + 4)
            trim(set, index);
        if (index >= G::gpExportWTG0 && index < G::gpExportWTG0 + 4)
            trimWT(set, index);
    }
    // 4. A zone's sample was loaded: the display zooms to fit it. With no
    // sample in the zone, or an empty one (a failed load), the zoom stays as
    // it is.
    for (int m = 0; m < 2 && !all; ++m) {
        if (part != &multiSamples[m] || index < ZoneLoadFilename || (index - ZoneLoadFilename) % ZoneStride != 0)
            continue;
        const int zone = (index - ZoneLoadFilename) / ZoneStride;
        if (zone >= Zones)
            continue;
        const WaveSample_c* sample = multiSamples[m].getSample(set, zone);
        if (sample && sample->frames > 0) {
            glo->setParaVal(set, G::gpSDZoom0 + m, zoomForFrames(sample->frames));
            updateEditor();
            updateHostDisplay();
        }
    }
    // 5. A zone's "Reverse" (or everything) changed: the display redraws.
    bool reversed = all;
    for (int m = 0; m < 2; ++m)
        reversed = reversed || (part == &multiSamples[m] && index >= ZoneReverse && (index - ZoneReverse) % ZoneStride == 0);
    if (reversed) {
        updateEditor();
        updateHostDisplay();
    }
    // 6. Knobs move linearly.
    if (SysGlo_c* sys = getSysGlo())
        if (valueOf(sys, 0, SysGloPara::KnobMovement) != 1)
            sys->setParaVal(0, SysGloPara::KnobMovement, 1);
    // 7. Filter links: the path's global type goes to its ladder filter, and
    // the morphing filter takes cutoff, resonance and key follow from it.
    Part_c* ladder[2] = {getModule(ModLadder1), getModule(ModLadder1 + 1)};
    Part_c* morph[2] = {getModule(ModMorph1), getModule(ModMorph1 + 1)};
    if (globalChanged(G::gpFilterType0))
        writeIfChanged(ladder[0], set, FilterMoogSI_c::pType, valueOf(glo, set, G::gpFilterType0));
    if (globalChanged(G::gpFilterType1))
        writeIfChanged(ladder[1], set, FilterMoogSI_c::pType, valueOf(glo, set, G::gpFilterType1));
    for (const FilterLink& l : FilterLinks)
        for (int path = 0; path < 2; ++path)
            if (changed(ladder[path], l.ladder) && morph[path]) {
                writeIfChanged(morph[path], set, l.morph, valueOf(ladder[path], set, l.ladder));
                cachePara(crParaChange, set, morph[path], l.morph);
            }
    // 8. Remote wet levels.
    for (int k = 0; k < 6; ++k)
        if (globalChanged(G::gpFxWet0 + k))
            instrument.setWet(k, glo->getPara01(set, G::gpFxWet0 + k));
    // 9. The flangers' two "InvertFeedback" parameters move together.
    for (const int base : {ModSet0, ModSet1, ModSetX}) {
        Part_c* flanger = getModule(base + SetFlanger);
        if (changed(flanger, Flanger2_c::pInvertFeedback))
            writeIfChanged(flanger, set, Flanger2_c::pInvertWet, valueOf(flanger, set, Flanger2_c::pInvertFeedback));
    }
    // 10. Generator routing: the conditional routes follow.
    // Routes (set again by every voice start) and the effect modules in the
    // chain are what the audio thread renders from: off the audio thread it
    // is kept out of the instrument (it skips the block) while they change.
    if (all || (part == glo && (index == G::gpGen0Routing || index == G::gpGen2Routing)))
        withAudioKeptOut([&] { doRoute(set); });
    // 11. Send effects.
    if (globalChanged(G::gpEffType0))
        withAudioKeptOut([&] { instrument.selectParallel(VelaInst_c::setSend0); });
    if (globalChanged(G::gpEffType1))
        withAudioKeptOut([&] { instrument.selectParallel(VelaInst_c::setSend1); });
    // 12. Serial effects: the changed slot keeps its type, the others give
    // way; a whole-set change keeps slot X3's.
    if (sortDepth == 0) {
        int keep = all ? 3 : -1;
        for (int k = 0; k < 4 && !all; ++k)
            if (part == glo && index == SerialTypePara[k])
                keep = k;
        if (keep >= 0) {
            sortXFx(set, keep);
            withAudioKeptOut([&] {
                instrument.selectSerial(keep);
                // A slot's remote wet belongs to the effect the slot now
                // runs: without this a program would sound with the old
                // effect's wet until it is saved and loaded again.
                for (int slot = VelaInst_c::slotX0; slot < VelaInst_c::NumFxSlots; ++slot)
                    instrument.setWet(slot, glo->getPara01(set, G::gpFxWet0 + slot));
            });
        }
    }
    // 13. Shared LFO phases.
    for (int k = 0; k < 4; ++k) {
        Part_c* lfo = getModule(ModLFO1 + k);
        if (globalChanged(G::gpLFOPerm0 + k))
            postprocessLFOMono(set, G::gpLFOPerm0 + k, k, true);
        else if (lfo && part == lfo && (index == AdvLFO_c::pFrequency || index == AdvLFO_c::pNotes))
            postprocessLFOMono(set, G::gpLFOPerm0 + k, k, false);
    }
    // 14. Voices: "all" (the parameter's infinite end) is every voice.
    if (globalChanged(G::gpVoices)) {
        const Parameter_c* p = glo->getParaPtr(set, G::gpVoices);
        if (p)
            instrument.setVoiceLimit(p->getInfinite() ? NumVoices : static_cast<int>(p->value));
    }
    // 15. A user-sample slot loaded a file: its file name, loop switch and
    // root redraw.
    for (int s = 0; s < 4; ++s)
        if (changed(&userSamples[s], SlotLoadFilename))
            for (const int para : SlotRedraws)
                updateEditor(&userSamples[s], para, set, false);
    // 16. A multisample store loaded zone 0: its file name redraws.
    for (int m = 0; m < 2; ++m)
        if (changed(&multiSamples[m], ZoneLoadFilename))
            updateEditor(&multiSamples[m], 9, set, false);
    // 17, 18. The zone a loop sampler's editor shows.
    for (int m = 0; m < 2; ++m) {
        if (!globalChanged(G::gpSampleScrolling0 + 3 * m) && !(part == glo && index == G::gpSampleScrolling0 + 3 * m + 1))
            continue;
        const int zone = ZonesPerPage * getParaVal(ScrollingEntry0 + m) + getParaVal(EditingEntry0 + m);
        const int shown = std::clamp(zone, 0, Zones - 1);
        shownZone[m] = shown;
        setSliderSize(set, m);
        shownSample[m] = multiSamples[m].getSample(set, shown);
        updateEditor();
        setParaVal(ShownEntry0 + m, zone);
        updateEditor();
    }
    // 19. Display zoom.
    if (all) {
        setSliderSize(set, 0);
        setSliderSize(set, 1);
        updateEditor();
    } else if (part == glo && (index == G::gpSDZoom0 || index == G::gpSDZoom0 + 1)) {
        setSliderSize(set, index - G::gpSDZoom0);
        updateEditor();
    } else if (part && part == getTuningTable() && index == 4) {
        updateEditor();
    }
    // 20. SoundFont imports (never on a whole-set change).
    if (!all && part == glo && (index == G::gpSF2Path0 || index == G::gpSF2Path0 + 1)) {
        Tool::Disk::Path_c path;
        glo->getParaPath(set, index, &path);
        importSF2(set, index - G::gpSF2Path0, path);
    }
    // 21. Module and sample files of the editor's file menus.
    postprocessFileIO(set, part, index);
}

void Vela_c::sortXFx(int set, int keep)
{
    if (sortDepth > 0)
        return;
    ++sortDepth;
    Part_c* glo = &globalPart;
    int types[4];
    for (int j = 0; j < 4; ++j)
        types[j] = valueOf(glo, set, SerialTypePara[j]);
    int before[4];
    std::copy(types, types + 4, before);
    VelaInst_c::makeDistinct(types, keep);
    // Only the values that changed are written, each through the hook (the
    // guard keeps it from sorting again); the others stay untouched.
    for (int j = 0; j < 4; ++j)
        if (types[j] != before[j])
            glo->setParaVal(set, SerialTypePara[j], types[j]);
    for (int j = 0; j < 4; ++j)
        if (types[j] != before[j]) {
            postprocessParaChange(set, glo, SerialTypePara[j]);
            updateEditor(glo, SerialTypePara[j], set, false);
        }
    --sortDepth;
}

void Vela_c::postprocessLFOMono(int set, int parameter, int lfo, bool reset)
{
    if (lfo < 0 || lfo > 3 || !instruments || !instruments[0])
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

