// Synth: what a parameter change sets off beyond the value itself.
//
// Every write through the host parameter map (host, editor, MIDI learn, value
// copies) ends in postprocessParaChange, which carries out the engine's side
// effects of its three settings parts: the edited instrument, the master
// tune, controller sending, the audition note, mute and solo, the output
// bus, program and bank changes, preset files and the instrument's MIDI
// reception. The product class overrides it and calls this one first.
// Besides: the hand-off of a change to every instance of a module
// (cachePara), stepping a parameter and the global displays.
//
// Threads. A change runs on whatever thread wrote the parameter, the audio
// thread included (hosts that automate there), inside the writer's optional
// lock of the instrument. What must happen on another thread goes there as a
// command record: program, bank and edited-instrument changes to the idle
// side, notes off and controller sending to the audio thread. Preset files
// are never read or written on the audio thread: a file change that arrives
// there is handed to the idle side ('L') and carried out there.
#include "Synth.h"

#include "CmdBuffer.h"
#include "CommandLetters.h"
#include "EPAS.h"
#include "Instrument.h"
#include "SysGlo.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>

namespace {

// The master tune's reference: "Glo Tune" holds A in tenths of a Hz.
constexpr double GloTuneReference = 4400.0;
// A quarter of 1 / ln 2: the tune offset is a quarter of log2 of the ratio.
constexpr double QuarterOverLn2 = 0.36067376022224085;
// An audition note value at or above this starts nothing.
constexpr int AuditionLimit = 200000;
// Global display formats (the display's extra word).
constexpr int DisplayValueUnit = 2;     // "value unit"
constexpr int DisplayNameValueUnit = 3; // "name value unit"
// A failed preset path this long or longer is shown shortened.
constexpr size_t LongPathChars = 49;
constexpr size_t LongPathHead = 16;
constexpr size_t LongPathTail = 29;

int typeCodeOf(const Part_c* part)
{
    return part ? part->getTypeCode() : 0;
}

} // namespace

// ---------------------------------------------------------------------------
// Cache hand-off

template <typename RowOf> void Synth::cacheRowInstances(CacheReason_t reason, int ins, RowOf rowOf, int para)
{
    bool first = true;
    int row = -1;
    int cursor = 0;
    Part_c* instance = nullptr;
    while (getAssociatedPart(&first, ins, rowOf, &instance, &row, &cursor))
        instance->cachePara(reason, ins, para);
}

void Synth::cachePara(CacheReason_t reason, int ins, Part_c* part, int para)
{
    if (!part)
        return;
    // A part outside the registry has no other instances to tell.
    if (getModIdx(part) < 0) {
        part->cachePara(reason, ins, para);
        return;
    }
    cacheRowInstances(reason, ins, part, para);
}

void Synth::cachePara(CacheReason_t reason, int ins, int hostIndex, int para)
{
    cacheRowInstances(reason, ins, hostIndex, para);
}

// ---------------------------------------------------------------------------
// The engine's side effects

void Synth::postprocessParaChange(int ins, Part_c* part, int para)
{
    const int code = typeCodeOf(part);
    const bool all = para == -1;
    const bool synth = code == TypeCodeSynGlo;
    const bool insSettings = code == TypeCodeSynGloIns;
    SynGlo_c* glo = getSynGlo();
    SynGloIns_c* gloIns = getSynGloIns();
    const bool insValid = ins >= 0 && ins < numInstruments;

    if (synth && para == SynGloPara::EditIns && glo) {
        const int v = glo->getParaVal(0, SynGloPara::EditIns);
        // Inside a host call or while opening the caller expects the change
        // done when it returns; otherwise the idle side makes it.
        if (busy.load() == 0 && !isOpening())
            holdCmdtoGUI(Cmd::EditIns, v, 0, nullptr, nullptr, hdAppend);
        else
            setEditIns(v);
    }
    if ((all || (synth && para == SynGloPara::GloTune)) && glo)
        applyGloTune(glo->getParaVal(0, SynGloPara::GloTune));
    if ((all || (synth && para == SynGloPara::CCMode)) && glo) {
        const int mode = glo->getParaVal(0, SynGloPara::CCMode);
        const int before = ccModeSeen.exchange(mode);
        // Switched to receive+send: the host learns every assigned value.
        if (mode == before + 1 && getSampleCounter() != 0)
            holdCmdtoRT(Cmd::ControllerSend, -1, -1, nullptr, nullptr, hdReplaceSame);
    }
    if (synth && para == SynGloPara::Keyboard && glo)
        auditionNote(ins, glo->getParaVal(0, SynGloPara::Keyboard));

    if (insSettings && para == SynGloInsPara::Solo)
        consistentMuteSolo(ins, true, 0, numInstruments - 1, false);
    if (insSettings && para == SynGloInsPara::Mute)
        consistentMuteSolo(ins, false, 0, numInstruments - 1, false);
    if (insSettings && para == SynGloInsPara::OutputSelection && gloIns && insValid)
        applyOutputSelection(ins);
    if (insSettings && para == SynGloInsPara::Bank && gloIns)
        holdCmdtoGUI(Cmd::InsBank, ins, gloIns->getParaVal(ins, SynGloInsPara::Bank), nullptr, nullptr, hdAppend);
    if (insSettings && para == SynGloInsPara::Program && gloIns) {
        curProgram = gloIns->getParaVal(getEditIns(), SynGloInsPara::Program);
        holdCmdtoGUI(Cmd::InsProgram, ins, gloIns->getParaVal(ins, SynGloInsPara::Program), nullptr, nullptr, hdAppend);
    }
    if (synth && para == SynGloPara::MultiBank && glo)
        holdCmdtoGUI(Cmd::MultiBank, 0, glo->getParaVal(0, SynGloPara::MultiBank), nullptr, nullptr, hdAppend);
    if (synth && para == SynGloPara::MultiProgram && glo) {
        curProgram = glo->getParaVal(0, SynGloPara::MultiProgram);
        holdCmdtoGUI(Cmd::MultiProgram, 0, curProgram, nullptr, nullptr, hdAppend);
    }
    if (insSettings && (para == SynGloInsPara::SavePath || para == SynGloInsPara::LoadPath) && gloIns)
        presetPathChanged(ins, part, para);

    if (insValid && (all || insSettings)) {
        // After a program change every reception switch is applied anew, in
        // this order, whatever part changed.
        for (const int p : {SynGloInsPara::ReceiveMW, SynGloInsPara::ReceiveAT, SynGloInsPara::ReceiveSP, SynGloInsPara::NoteFade})
            if (all || para == p)
                applyReception(ins, p);
    }
    if (all)
        runDescriptorCallbacks();
}

void Synth::postprocessParaChangeFxs(int, Part_c*, int) {}

void Synth::applyGloTune(int tenthsHz)
{
    const double offset = std::log(tenthsHz / GloTuneReference) * QuarterOverLn2;
    masterTuneLog.store(static_cast<float>(offset));
    masterTuneFactor.store(static_cast<float>(std::exp2(4.0 * offset)));
}

void Synth::auditionNote(int ins, int value)
{
    if (value >= AuditionLimit)
        return;
    // The remainder goes with the quotient as computed, before the note is
    // clamped: 128500 is note 127 with velocity 127 (remainder 500).
    const int quotient = value / 1000;
    const int note = value < -999 ? 0 : (value >= 128000 ? 127 : quotient);
    const int remainder = value - quotient * 1000;
    const int velocity = remainder < 0 ? 0 : std::min(remainder, 127);
    NoteC_c n;
    n.note = note;
    n.velocity = velocity;
    n.channel = 0;
    holdProcNoteOn(ins, n, true);
}

void Synth::applyOutputSelection(int ins)
{
    SynGloIns_c* gloIns = getSynGloIns();
    int sel = gloIns->getParaVal(ins, SynGloInsPara::OutputSelection);
    if (sel >= numStereo + numMono) {
        gloIns->setParaVal(ins, SynGloInsPara::OutputSelection, 0);
        sel = 0;
    }
    if (Instrument_c* instrument = instruments ? instruments[ins] : nullptr)
        instrument->setOutIdx(sel < numStereo ? 2 * sel : sel + numStereo);
}

void Synth::applyReception(int ins, int para)
{
    SynGloIns_c* gloIns = getSynGloIns();
    Instrument_c* instrument = instruments ? instruments[ins] : nullptr;
    if (!gloIns || !instrument)
        return;
    const int v = gloIns->getParaVal(ins, para);
    switch (para) {
    case SynGloInsPara::ReceiveMW:
        instrument->setFlagReceiveMW(v != 0);
        return;
    case SynGloInsPara::ReceiveAT:
        instrument->setFlagReceiveAT(v != 0);
        return;
    case SynGloInsPara::ReceiveSP:
        instrument->setFlagReceiveSP(v != 0);
        return;
    case SynGloInsPara::NoteFade:
        // Held notes end first: their note-offs would reach other keys
        // under the new transposition.
        holdCmdtoRT(Cmd::NotesOff, ins, 0, nullptr, nullptr, hdKeepFirst);
        instrument->setNoteOffs(v);
        return;
    default:
        return;
    }
}

void Synth::presetPathChanged(int ins, Part_c* part, int para)
{
    // Files are read and written on the idle side, never on the audio thread.
    if (onAudioThread()) {
        holdCmdtoGUI(Cmd::ParaChangeFollowUp, ins, para, part, nullptr, hdAppend);
        return;
    }
    Tool::Disk::Path_c path;
    part->getParaPath(ins, para, &path);
    if (para == SynGloInsPara::SavePath) {
        exportPatch(ins, path);
        return;
    }
    presetPathImport = path.empty() ? 0 : importPatch(ins, path);
    if (path.empty() || presetPathImport > 0)
        return;
    std::string shown = path.getString();
    if (shown.size() >= LongPathChars)
        shown = shown.substr(0, LongPathHead) + "..." + shown.substr(shown.size() - LongPathTail);
    holdUserMessage("Vendrax Load Error", ("This preset could not be loaded!\n" + shown).c_str());
}

void Synth::runDescriptorCallbacks()
{
    for (int i = 0; i < numParaSlots; ++i) {
        const EPAS_c* d = getEPAS(i);
        if (!d || d->index != i)
            continue;
        const EPAS_c::Callback_t hook = d->callback;
        if (!hook)
            continue;
        Part_c* target = nullptr;
        int para = -1;
        int ins = -1;
        // A descriptor that maps nowhere has nothing its hook could work on.
        if (getPartParaIdx(i, &target, &para, &ins))
            (this->*hook)(i, target, para);
    }
}

// ---------------------------------------------------------------------------
// Stepping

void Synth::stepParameterAutomated(int index, int direction)
{
    const float v = getParameterEdited(index);
    const float step = getParaStepChangeValue(index, direction);
    setParameterAutomated(index, std::clamp(v + step, 0.0f, 1.0f));
}

// ---------------------------------------------------------------------------
// Global displays

void Synth::gloDispSingle(int display, int hostIndex)
{
    const auto [part, para, ins] = globalDisplayTarget(display, hostIndex);
    if (!part)
        return;
    const GlobalDisplay_t& d = globalDisplay[display];
    writeGlobalDisplay(display, hostIndex, part, para, ins);
    updateEditor(d.index, busy.load() != 0);
}

void Synth::gloDispMulti(int display, int hostIndex)
{
    const auto [part, para, ins] = globalDisplayTarget(display, hostIndex);
    if (!part)
        return;
    const GlobalDisplay_t& d = globalDisplay[display];
    for (int k = std::max(d.low, 0); k < std::min(d.high, numInstruments); ++k) {
        writeGlobalDisplay(display, hostIndex, part, para, k);
        updateEditor();
    }
}

Synth::ParaTarget_t Synth::globalDisplayTarget(int display, int hostIndex)
{
    if (display < 0 || display >= static_cast<int>(std::size(globalDisplay)))
        return {};
    ParaTarget_t t;
    bool flag = false;
    if (getPartParaIdxDis(hostIndex, &t.part, &t.para, &t.ins, &flag) && flag && t.part && t.para >= 0)
        return t;
    return {};
}

void Synth::writeGlobalDisplay(int display, int hostIndex, Part_c* part, int para, int ins)
{
    const GlobalDisplay_t& d = globalDisplay[display];
    SynGloIns_c* gloIns = getSynGloIns();
    if (!gloIns || ins < 0 || ins >= numInstruments)
        return;
    Vdx::String_c shown;
    part->getDisplay(ins, para, shown);
    const std::string value = shown;
    char unit[ParaNameBufferBytes] = {};
    part->getParaUnit(ins, para, unit);
    std::string text;
    if (d.extra == DisplayValueUnit) {
        text = value + " " + unit;
    } else if (d.extra == DisplayNameValueUnit) {
        char name[ParameterTextAnswerSize] = {};
        getParameterName(hostIndex, name);
        text = std::string(name) + " " + value + " " + unit;
    } else {
        text = value;
    }
    if (text.size() >= static_cast<size_t>(ParaTextBufferBytes))
        text.resize(ParaTextBufferBytes - 1);
    gloIns->setParaString(ins, SynGloInsPara::GlobalDisplay, Vdx::String_c(text));
}
