// Synth: programs and banks.
//
// A program of an instrument is one preset file in the instrument's current
// bank folder; a bank is one folder among the bank folders. The host's
// program list is the list of preset files of the edited instrument's bank
// folder. Selecting a program loads its file into the instrument's live
// parameters (the preset-file work reads it and hands the bytes to
// setChunkPreset).
//
// Beside the files, every instrument has one program memory (MemC_c): the
// parameter-set blocks of its modules back to back (docs/formats.md). Preset
// files and the project chunk are made from these memories and read into
// them; setParaFromPrgUni puts a memory into the live parameters.
//
// Threads. Program and bank changes from the host, from MIDI and from the
// settings travel as command records ('I', 'J', 'K', 'M', 'N', 'E', 'F') and
// run on the idle side; the host's list calls run on its user-interface
// thread. Both join the engine lock, so a program load never overlaps the
// idle work or a chunk. Reading a memory into the live parameters holds the
// instrument's render lock, and setChunkPreset stops the instrument's MIDI
// and voices (through hardNoteOff, which keeps the audio thread out) around
// the load. Nothing here runs on the audio thread.
#include "Synth.h"

#include "CmdBuffer.h"
#include "CommandLetters.h"
#include "EPAS.h"
#include "FileList.h"
#include "HostFamily.h"
#include "Instrument.h"
#include "MemC.h"
#include "OsLib.h"
#include "PatchBay.h"
#include "RegMod.h"
#include "SysGlo.h"
#include "ThreadCheck.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// The registry row of the first module the product registers: it carries
// the program name as its parameter 1 and is the product's global program
// part. Program memories hold the rows from here on.
constexpr int FirstModuleRow = 2;
constexpr int ProgramNamePara = 1;

// Host ids with their own program behaviour.

// A host setProgram this soon after a chunk load (or, in Fruity, after
// opening) is the host replaying its own old program choice over the chunk.
constexpr uint32_t ProgramAfterChunkMs = 1000;
constexpr uint32_t ProgramAfterOpenFruityMs = 1500;

uint32_t nowMs()
{
    return static_cast<uint32_t>(OsLib_c::getMilliseconds());
}

// Holds the engine lock for a scope. The lists, the program numbers and the
// memories are changed by the idle side (which runs under this lock) and read
// by the host's list calls on its own thread.
using EngineLockScope = LockWriteScope;

// Restores the host-display flag when a list call or load ends.
class HostDisplayPause
{
public:
    explicit HostDisplayPause(Synth& s) : synth(s), was(s.getHostDisplayFlag()) { synth.setHostDisplayFlag(false); }
    ~HostDisplayPause() { synth.setHostDisplayFlag(was); }
    HostDisplayPause(const HostDisplayPause&) = delete;
    HostDisplayPause& operator=(const HostDisplayPause&) = delete;
    bool wasOn() const { return was; }

private:
    Synth& synth;
    bool was;
};

} // namespace

// ---------------------------------------------------------------------------
// Lists

Synth::ProgramListsOwner::~ProgramListsOwner()
{
    delete[] prg;
    delete[] bnk;
}

void Synth::createProgramLists()
{
    if (programLists.prg || numInstruments < 1)
        return;
    programLists.prg = new (std::nothrow) FileList_c[static_cast<size_t>(numInstruments)];
    programLists.bnk = new (std::nothrow) FileList_c[static_cast<size_t>(numInstruments)];
    // Patterns are extensions; folders are listed whatever their name.
    const Tool::Disk::Extension_c presetFiles("fxp");
    const Tool::Disk::Extension_c folders("");
    for (int i = 0; i < numInstruments; ++i) {
        if (programLists.prg)
            programLists.prg[i].create("empty", presetFiles, numProgramsFig, false);
        if (programLists.bnk)
            programLists.bnk[i].create("empty", folders, numProgramsFig, false);
    }
}

FileList_c* Synth::getPrgList(int ins)
{
    if (!programLists.prg || numInstruments < 1)
        return nullptr;
    return &programLists.prg[std::clamp(ins, 0, numInstruments - 1)];
}

FileList_c* Synth::getBnkList(int ins)
{
    if (!programLists.bnk || numInstruments < 1)
        return nullptr;
    return &programLists.bnk[std::clamp(ins, 0, numInstruments - 1)];
}

void Synth::refreshPrgList(int ins, const Tool::Disk::Path_c& path)
{
    if (numInstruments < 1 || path.empty())
        return;
    EngineLockScope engineLockScope(engineLock);
    ins = std::clamp(ins, 0, numInstruments - 1);
    FileList_c* banks = getBnkList(ins);
    FileList_c* files = getPrgList(ins);
    SynGloIns_c* settings = getSynGloIns();
    if (!banks || !files || !settings)
        return;
    const int bank = banks->refresh(path, true);
    const int file = files->refresh(path, false);
    settings->setParaVal(ins, SynGloInsPara::Bank, std::max(bank, 0));
    settings->setParaVal(ins, SynGloInsPara::Program, std::max(file, 0));
    if (ins == getEditIns() && !hasMultiLists())
        curProgram = settings->getParaVal(ins, SynGloInsPara::Program);
    if (hostDisplayFlag) {
        updateEditor();
        updateHostDisplay();
    }
}

void Synth::refreshMultiPrgList(const Tool::Disk::Path_c& path)
{
    if (!hasMultiLists() || path.empty())
        return;
    EngineLockScope engineLockScope(engineLock);
    const int bank = multiBnkList->refresh(path, true);
    const int file = multiPrgList->refresh(path, false);
    curProgram = std::max(file, 0);
    if (SynGlo_c* glo = getSynGlo()) {
        glo->setParaVal(0, SynGloPara::MultiBank, std::max(bank, 0));
        glo->setParaVal(0, SynGloPara::MultiProgram, std::max(file, 0));
    }
    SynGloIns_c* settings = getSynGloIns();
    for (int i = 0; i < numInstruments; ++i) {
        if (FileList_c* list = getPrgList(i))
            *list = FileList_c();
        if (FileList_c* list = getBnkList(i))
            *list = FileList_c();
        if (settings) {
            settings->setParaVal(i, SynGloInsPara::Bank, 0);
            settings->setParaVal(i, SynGloInsPara::Program, 0);
        }
    }
    if (hostDisplayFlag) {
        updateEditor();
        updateHostDisplay();
    }
}

// ---------------------------------------------------------------------------
// Host program entries

void Synth::setProgram(int32_t program)
{
    // Only the newest request stays queued (any two 'I' records count as the same).
    holdCmdtoGUI(Cmd::HostProgram, 0, program, nullptr, nullptr, hdReplaceSame);
}

void Synth::setProgramCore(int program)
{
    EngineLockScope engineLockScope(engineLock);
    const uint32_t now = nowMs();
    const bool afterChunk = chunkLoadTimed.load() && now - chunkLoadTime.load() < ProgramAfterChunkMs;
    const bool fruityOpening = hostId == HostFamily::Fruity && now - openTimeStamp.load() < ProgramAfterOpenFruityMs;
    if (afterChunk || fruityOpening) {
        // The host re-reads what we have instead; its display update may
        // come straight back here, which must not update again.
        if (!ignoredProgramUpdate.exchange(true)) {
            updateHostDisplay();
            ignoredProgramUpdate = false;
        }
        return;
    }
    if (!isOpen())
        return;
    if (program == getCurProgramIdx(hasMultiLists()))
        return;
    if (hasMultiLists())
        setMultiPrg(program);
    else
        setInsPrg(getEditIns(), program);
}

void Synth::setInsPrg(int ins, int program)
{
    EngineLockScope engineLockScope(engineLock);
    SynGloIns_c* settings = getSynGloIns();
    FileList_c* files = getPrgList(ins);
    if (!settings || !files || ins != getEditIns())
        return;
    if (program < 0 || program >= numProgramsFig || program >= static_cast<int>(files->getCount()))
        return;
    bool wasOn = false;
    {
        HostDisplayPause pause(*this);
        wasOn = pause.wasOn();
        // A file of the list that does not load (damaged, or gone since the
        // list was read) leaves the program as it was: the instrument keeps
        // playing it, so the host must go on seeing it too, not the name of
        // the file that failed.
        const int formerProgram = settings->getParaVal(ins, SynGloInsPara::Program);
        const int formerCurrent = curProgram;
        Tool::Disk::Path_c formerPath;
        settings->getParaPath(ins, SynGloInsPara::LoadPath, &formerPath);
        settings->setParaVal(ins, SynGloInsPara::Program, program);
        const Tool::Disk::Path_c path = files->getFilename(static_cast<unsigned>(program), true);
        settings->setParaPath(ins, SynGloInsPara::LoadPath, path);
        if (!hasMultiLists())
            curProgram = settings->getParaVal(ins, SynGloInsPara::Program);
        // The load path's change handling reads the file.
        presetPathImport = PresetImportPending;
        postprocessParaChange(ins, settings, SynGloInsPara::LoadPath);
        if (presetPathImport != PresetImportPending && presetPathImport < 1) {
            settings->setParaVal(ins, SynGloInsPara::Program, formerProgram);
            settings->setParaPath(ins, SynGloInsPara::LoadPath, formerPath);
            curProgram = formerCurrent;
        }
    }
    if (wasOn && hostId != HostFamily::Reaper)
        updateHostDisplay();
}

void Synth::setInsBnk(int ins, int bank)
{
    EngineLockScope engineLockScope(engineLock);
    SynGloIns_c* settings = getSynGloIns();
    FileList_c* banks = getBnkList(ins);
    FileList_c* files = getPrgList(ins);
    // Bank -1 (a step below the first bank) names no folder.
    if (!settings || !banks || !files || ins != getEditIns() || bank < 0 ||
        bank >= static_cast<int>(banks->getCount()))
        return;
    settings->setParaVal(ins, SynGloInsPara::Bank, bank);
    settings->setParaVal(ins, SynGloInsPara::Program, 0);
    const Tool::Disk::Path_c folder = banks->getFilename(static_cast<unsigned>(bank), true);
    files->refreshFromDir(folder, false);
    if (files->getCount() > 0 && !files->getFilename(0, true).empty()) {
        settings->setParaPath(ins, SynGloInsPara::LoadPath, files->getFilename(0, true));
        postprocessParaChange(ins, settings, SynGloInsPara::LoadPath);
        settings->setParaVal(getEditIns(), SynGloInsPara::Program, 0);
        curProgram = 0;
    } else {
        // An empty bank folder loads nothing.
        updateEditor();
    }
    if (ins == getEditIns())
        curBank = bank;
}

void Synth::setMultiPrg(int program)
{
    EngineLockScope engineLockScope(engineLock);
    // This engine never makes the multi lists; the branch is kept for a
    // product that does.
    if (!hasMultiLists() || program < 0 || program >= numProgramsFig ||
        program >= static_cast<int>(multiPrgList->getCount()))
        return;
    const Tool::Disk::Path_c path = multiPrgList->getFilename(static_cast<unsigned>(program), true);
    if (!path.empty()) {
        if (SynGlo_c* glo = getSynGlo())
            glo->setParaVal(0, SynGloPara::MultiProgram, program);
        curProgram = program;
        importMultiPatch(path);
    }
    updateHostDisplay();
}

void Synth::setMultiBnk(int bank)
{
    EngineLockScope engineLockScope(engineLock);
    if (!hasMultiLists() || bank < 0 || bank >= static_cast<int>(multiBnkList->getCount()))
        return;
    SynGlo_c* glo = getSynGlo();
    if (glo) {
        glo->setParaVal(0, SynGloPara::MultiBank, bank);
        glo->setParaVal(0, SynGloPara::MultiProgram, 0);
    }
    const Tool::Disk::Path_c folder = multiBnkList->getFilename(static_cast<unsigned>(bank), true);
    if (!folder.empty()) {
        multiPrgList->refreshFromDir(folder, false);
        if (multiPrgList->getCount() > 0 && !multiPrgList->getFilename(0, true).empty()) {
            importMultiPatch(multiPrgList->getFilename(0, true));
            if (glo)
                glo->setParaVal(0, SynGloPara::MultiProgram, 0);
            curProgram = 0;
        } else {
            updateEditor();
        }
    }
    curBank = bank;
}

void Synth::getProgramName(char* name)
{
    if (!name)
        return;
    name[0] = 0;
    if (!isOpen())
        return;
    BusyScope busyScope(*this);
    EngineLockScope engineLockScope(engineLock);
    if (hostId == HostFamily::Kore)
        SynthIdle();
    getProgramNameIndexed(0, curProgram, name);
}

bool Synth::getProgramNameIndexed(int32_t, int32_t index, char* text)
{
    if (!text || index < 0 || index >= numProgramsFig)
        return false;
    text[0] = 0;
    EngineLockScope engineLockScope(engineLock);
    if (!isOpen())
        open();
    if (!isOpen())
        return false;
    if (!chunkLoaded) {
        // The start-up programs come first, without a host display update
        // in the middle of the host's own list call.
        HostDisplayPause pause(*this);
        loadStartupPatches();
    }
    FileList_c* list = hasMultiLists() ? multiPrgList : getPrgList(getEditIns());
    Vdx::String_c name;
    if (list)
        name = list->getFilenameDisplay(static_cast<unsigned>(index));
    const std::string shown = name.empty() ? std::string("unknown") : static_cast<const std::string&>(name);
    const size_t n = std::min(shown.size(), static_cast<size_t>(ProgramNameChars));
    std::memcpy(text, shown.data(), n);
    text[n] = 0;
    return true;
}

void Synth::setProgramName(char* name)
{
    BusyScope busyScope(*this);
    setInsPrgName(getEditIns(), name);
}

void Synth::setInsPrgName(int ins, const char* name)
{
    const RegMod_t* row = getRegMod(FirstModuleRow);
    Part_c* part = row ? row->instance(0) : nullptr;
    if (!part || !name)
        return;
    part->setParaCharPtr(ins, ProgramNamePara, name);
    updateEditor(part, ProgramNamePara, ins, false);
}

int Synth::getCurPrgIdx(int ins)
{
    const SynGloIns_c* settings = getSynGloIns();
    return settings && numInstruments > 0
               ? settings->getParaVal(std::clamp(ins, 0, numInstruments - 1), SynGloInsPara::Program)
               : 0;
}

int Synth::getCurBnkIdx(int ins)
{
    const SynGloIns_c* settings = getSynGloIns();
    return settings && numInstruments > 0 ? settings->getParaVal(std::clamp(ins, 0, numInstruments - 1), SynGloInsPara::Bank)
                                          : 0;
}

int Synth::getCurProgramIdx(bool multi)
{
    if (multi) {
        const SynGlo_c* glo = getSynGlo();
        return glo ? glo->getParaVal(0, SynGloPara::MultiProgram) : 0;
    }
    return getCurPrgIdx(getEditIns());
}

void Synth::setCurProgramIdx(int program, bool multi)
{
    if (multi) {
        if (SynGlo_c* glo = getSynGlo())
            glo->setParaVal(0, SynGloPara::MultiProgram, program);
    } else if (SynGloIns_c* settings = getSynGloIns()) {
        settings->setParaVal(getEditIns(), SynGloInsPara::Program, program);
    }
    curProgram = program;
}

void Synth::setInsOutIdx(int ins)
{
    if (numInstruments < 1 || !getSynGloIns())
        return;
    applyOutputSelection(std::clamp(ins, 0, numInstruments - 1));
}

// ---------------------------------------------------------------------------
// Program memories

int Synth::memoryCount(MemC_c** mems) const
{
    if (!mems)
        return 0;
    if (mems == insPrgMems)
        return numInsPrgMem;
    if (mems == fxsPrgMems)
        return numFxsPrgMem;
    return 0;
}

MemC_c* Synth::getInsPrgMem(int i) const
{
    return insPrgMems && i >= 0 && i < numInsPrgMem ? insPrgMems[i] : nullptr;
}

MemC_c* Synth::getFxsPrgMem(int i) const
{
    return fxsPrgMems && i >= 0 && i < numFxsPrgMem ? fxsPrgMems[i] : nullptr;
}

void Synth::releaseProgramMemories()
{
    for (MemC_c** mems : {insPrgMems, fxsPrgMems}) {
        const int n = memoryCount(mems);
        for (int i = 0; i < n; ++i) {
            delete mems[i];
            mems[i] = nullptr;
        }
    }
}

void Synth::setPrgFromParaUni(int prog, MemC_c** mems, int group)
{
    if (prog < 0 || prog >= memoryCount(mems))
        return;
    delete mems[prog];
    mems[prog] = nullptr;
    if (group == rmgInstrument && !mayStoreProgram(prog))
        return;
    long long total = 0;
    for (int r = FirstModuleRow; r < getRegModCount(); ++r) {
        const RegMod_t* row = getRegMod(r);
        if (row && row->group == group && row->paraSet)
            total += row->paraSet->getChunkSize(prog);
    }
    // A program without parameters stays empty: there is nothing to keep.
    if (total < 1 || total > INT32_MAX - 1)
        return;
    MemC_c* mem = new (std::nothrow) MemC_c(static_cast<int>(total), nullptr);
    if (!mem || !mem->getChunkPtr()) {
        delete mem;
        return;
    }
    unsigned char* base = static_cast<unsigned char*>(mem->getChunkPtr());
    long long offset = 0;
    for (int r = FirstModuleRow; r < getRegModCount() && offset < total; ++r) {
        const RegMod_t* row = getRegMod(r);
        if (!row || row->group != group || !row->paraSet)
            continue;
        // Sized and written in one pass of the same sets: a size that no
        // longer fits (it cannot change in between) ends the memory there.
        const int bytes = row->paraSet->getChunkSize(prog);
        if (bytes > total - offset)
            break;
        const int written = row->paraSet->getChunk(reinterpret_cast<int*>(base + offset), prog);
        if (group == rmgInstrument)
            storeMadeSure(prog, row->paraSet, base + offset, written);
        offset += written & ~3;
    }
    mems[prog] = mem;
}

void Synth::setPrgFromPara(int i)
{
    if (numInsPrgMem > 0)
        setPrgFromParaUni(std::clamp(i, 0, numInsPrgMem - 1), insPrgMems, rmgInstrument);
}

void Synth::setPrgFromParaFxs(int i)
{
    if (numFxsPrgMem > 0)
        setPrgFromParaUni(std::clamp(i, 0, numFxsPrgMem - 1), fxsPrgMems, rmgEffect);
}

bool Synth::loadableBlocks(const void* data, long long size)
{
    long long bad = 0;
    if (data && blocksWellFramed(data, size, &bad))
        return true;
    reportBadBlock("Load Error", data, size, bad, false);
    return false;
}

bool Synth::setParaFromPrgUni(int prog, MemC_c** mems, int group)
{
    if (prog < 0 || prog >= memoryCount(mems) || !mems[prog])
        return false;
    const MemC_c* mem = mems[prog];
    const unsigned char* data = static_cast<const unsigned char*>(mem->getChunkPtr());
    const long long size = mem->getChunkSize();
    if (!loadableBlocks(data, size))
        return false;
    chunkLoadCount.fetch_add(1);
    for (int r = FirstModuleRow; r < getRegModCount(); ++r) {
        const RegMod_t* row = getRegMod(r);
        if (row && row->group == group && row->paraSet && row->paraSet->isValidSet(static_cast<short>(prog)))
            row->paraSet->reset(prog);
    }
    for (long long offset = 0; offset < size;) {
        ParaChunkHeader_t h;
        ParaSet_c::readChunkHeader(data + offset, size - offset, &h); // checked above
        void* block = const_cast<unsigned char*>(data + offset);
        const int r = findRegModOfGroup(h.typeCode, h.order, group);
        if (r >= 0) {
            getRegMod(r)->paraSet->setChunk(block, h.size, prog);
        } else if (!handleUnknownChunk(block, h.size, prog, group)) {
            // The rest of this program stays at its reset values.
            reportBadBlock("Load Error", data, size, offset, false);
            break;
        }
        offset += h.size;
    }
    chunkLoadCount.fetch_sub(1);
    return true;
}

int Synth::findRegModOfGroup(int typeCode, int order, int group) const
{
    for (int r = FirstModuleRow; r < getRegModCount(); ++r) {
        const RegMod_t* row = getRegMod(r);
        if (row && row->inUse() && row->group == group && static_cast<int>(row->typeCode) == typeCode &&
            row->order == order && row->paraSet)
            return r;
    }
    return -1;
}

void Synth::setParaFromPrg(int i)
{
    Instrument_c* instrument = instruments && i >= 0 && i < numInstruments ? instruments[i] : nullptr;
    if (!instrument)
        return;
    // The audio thread only tries this lock and renders nothing of the
    // instrument meanwhile.
    instrument->renderLock.getWritePermission();
    setParaFromPrgUni(i, insPrgMems, rmgInstrument);
    instrument->renderLock.releaseWritePermission();
}

void Synth::setParaFromPrgFxs(int i)
{
    if (!fxUnits || i < 0 || i >= numFxUnits || !fxUnits[i])
        return;
    setParaFromPrgUni(i, fxsPrgMems, rmgEffect);
}

bool Synth::handleUnknownChunk(const void*, int, int, int)
{
    return false;
}

bool Synth::mayStoreProgram(int)
{
    return true;
}

void Synth::storeMadeSure(int, const ParaSet_c*, unsigned char*, int) {}

void Synth::initPresetUni(int prog, MemC_c** mems, int group)
{
    if (prog < 0 || prog >= memoryCount(mems))
        return;
    delete mems[prog];
    mems[prog] = nullptr;
    for (int r = FirstModuleRow; r < getRegModCount(); ++r) {
        const RegMod_t* row = getRegMod(r);
        if (row && row->group == group && row->paraSet && row->paraSet->isValidSet(static_cast<short>(prog)))
            row->paraSet->reset(prog);
    }
    if (group == rmgEffect)
        makeSureFxs(prog);
    else
        makeSure(prog);
}

int Synth::getChunkPresetUni(int prog, MemC_c** mems, int count, int group, void** out)
{
    if (prog < 0 || prog >= count || !mems)
        return -1;
    if (!out)
        return -2;
    *out = nullptr;
    engineLock.getWritePermission();
    setPrgFromParaUni(prog, mems, group);
    const MemC_c* mem = mems[prog];
    int size = 0;
    if (mem && mem->getChunkSize() > 0) {
        *out = mem->getChunkPtr();
        size = mem->getChunkSize();
    }
    engineLock.releaseWritePermission();
    return size;
}

int Synth::getChunkPreset(int ins, void** out)
{
    return getChunkPresetUni(ins, insPrgMems, numInsPrgMem, rmgInstrument, out);
}

int Synth::getChunkPresetFxs(int i, void** out)
{
    return getChunkPresetUni(i, fxsPrgMems, numFxsPrgMem, rmgEffect, out);
}

int Synth::setChunkPreset(int ins, void* data, int size)
{
    TESSEL_ASSERT_NOT_AUDIO_THREAD();
    if (!data || size < 1)
        return -1;
    Instrument_c* instrument = instruments && ins >= 0 && ins < numInstruments ? instruments[ins] : nullptr;
    if (!insPrgMems || ins < 0 || ins >= numInsPrgMem || !instrument)
        return 0;
    // A bad chunk is refused before the instrument is silenced.
    if (!loadableBlocks(data, size))
        return 0;
    engineLock.getWritePermission();
    // ReceiveMIDI(false) empties the queue and stops the voices through
    // hardNoteOff, which keeps the audio thread out while it frees them.
    instrument->ReceiveMIDI(false);
    hardNoteOff(ins);
    const int result = setChunkPresetUni(ins, insPrgMems, rmgInstrument, data, size);
    instrument->ReceiveMIDI(true);
    engineLock.releaseWritePermission();
    return result;
}

int Synth::setChunkPresetFxs(int i, void* data, int size)
{
    if (!data || size < 1)
        return -1;
    if (!fxsPrgMems || i < 0 || i >= numFxsPrgMem || !fxUnits || i >= numFxUnits || !fxUnits[i])
        return 0;
    if (!loadableBlocks(data, size))
        return 0;
    engineLock.getWritePermission();
    // Effect units are plain parts here: no MIDI reception or MIDI state of
    // their own to stop or reset around the load.
    const int result = setChunkPresetUni(i, fxsPrgMems, rmgEffect, data, size);
    engineLock.releaseWritePermission();
    return result;
}

int Synth::setChunkPresetUni(int prog, MemC_c** mems, int group, void* data, int size)
{
    if (!data || size < 1)
        return -1;
    if (prog < 0 || prog >= memoryCount(mems))
        return 0;
    if (!loadableBlocks(data, size))
        return 0;
    MemC_c* copy = new (std::nothrow) MemC_c(size, nullptr);
    if (!copy || !copy->getChunkPtr() || !copy->set(data, size)) {
        delete copy;
        return 0;
    }
    delete mems[prog];
    mems[prog] = copy;
    if (group == rmgEffect) {
        setParaFromPrgFxs(prog);
        handlePrgChangedFxs(prog);
        makeSureFxs(prog);
    } else {
        setParaFromPrg(prog);
        handlePrgChanged(prog);
        makeSure(prog);
    }
    if (hostDisplayFlag) {
        updateEditor();
        if (hostId != HostFamily::Cubase)
            updateHostDisplay();
    }
    checkSetFlagReady();
    return size;
}

// ---------------------------------------------------------------------------
// After a program change

void Synth::handlePrgChanged(int i)
{
    if (numInstruments < 1)
        return;
    i = std::clamp(i, 0, numInstruments - 1);
    postprocessParaChange(i, nullptr, -1);
    if (SynGlo_c* glo = getSynGlo())
        glo->Part_c::postprocessParaChange(i, -1);
    if (SynGloIns_c* settings = getSynGloIns())
        settings->Part_c::postprocessParaChange(i, -1);
    // The product's global program part is the first module it registers;
    // without it there is no program to follow up.
    const RegMod_t* first = getRegMod(FirstModuleRow);
    Part_c* globalProgram = first ? first->instance(0) : nullptr;
    if (!globalProgram)
        return;
    globalProgram->postprocessParaChange(i, -1);
    handlePrgChangedUni(i, rmgInstrument);
    // (This engine has no MIDI players whose first slot would follow.)
    Instrument_c* instrument = instruments ? instruments[i] : nullptr;
    if (!instrument)
        return;
    instrument->postprocessParaChangeGroup(i);
    doRoute(i);
    updateEditor();
}

void Synth::handlePrgChangedFxs(int i)
{
    postprocessParaChangeFxs(i, nullptr, -1);
    handlePrgChangedUni(i, rmgEffect);
    if (fxUnits && i >= 0 && i < numFxUnits && fxUnits[i])
        fxUnits[i]->postprocessParaChangeGroup(i);
    updateEditor();
}

void Synth::handlePrgChangedUni(int i, int group)
{
    doValueCopy(-1, 0.0f);
    // The host hears every controller-assigned value again.
    if (getSampleCounter() != 0)
        holdCmdtoRT(Cmd::ControllerSend, -1, -1, nullptr, nullptr, hdReplaceSame);
    for (int r = 0; r < getRegModCount(); ++r) {
        const RegMod_t* row = getRegMod(r);
        Part_c* first = row && row->group == group ? row->instance(0) : nullptr;
        if (!first)
            continue;
        first->handlePrgChanged();
        first->postprocessParaChange(i, -1);
        bool start = true;
        int cursor = 0;
        Part_c* instance = nullptr;
        while (getAssociatedPart(&start, i, &instance, r, &cursor))
            if (instance->isReady())
                instance->cachePara(crProgramChange, i, -1);
    }
}

void Synth::resetPara()
{
    chunkLoadCount.fetch_add(1);
    for (int r = 0; r < getRegModCount(); ++r) {
        const RegMod_t* row = getRegMod(r);
        Part_c* first = row ? row->instance(0) : nullptr;
        if (first && row->paraSet)
            first->Part_c::resetPara();
    }
    chunkLoadCount.fetch_sub(1);
    tweakParameter(0, numInstruments);
    tweakParameterFxs(0, numFxUnits);
}

void Synth::createSound(int ins, const int* indexes)
{
    const SynGlo_c* glo = getSynGlo();
    const float range = glo ? glo->getParaVal(0, SynGloPara::GenerationRange) * 0.01f : 0.0f;
    for (const int* index = indexes; index && *index >= 0; ++index) {
        Part_c* part = nullptr;
        int para = -1;
        int owner = -1;
        const bool mapped = getPartParaIdx(*index % stride, &part, &para, &owner);
        Parameter_c* p = mapped && owner == ins && part ? part->getParaPtr(owner, para) : nullptr;
        // A foreign or unmapped index ends the list; what was changed so far
        // still gets the program-changed work below.
        if (!p)
            break;
        const float u = static_cast<float>(std::rand()) / (static_cast<float>(RAND_MAX) + 1.0f);
        if (range * 0.666f > u) {
            p->setFl01(static_cast<float>(std::rand()) / (static_cast<float>(RAND_MAX) + 1.0f));
        } else {
            const float x = p->norm;
            const float v = static_cast<float>(std::rand()) / (static_cast<float>(RAND_MAX) + 1.0f);
            const float y = v < 0.5f ? x - (0.5f - v) * 2.0f * range * x : x + (v - 0.5f) * 2.0f * range * (1.0f - x);
            // Written back only when it moved: a warped value need not come
            // back to the same step from its own 0..1 form.
            if (y != x)
                p->setFl01(y);
        }
        part->postprocessParaChange(ins, para);
    }
    handlePrgChanged(ins);
}
