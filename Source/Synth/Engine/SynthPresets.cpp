// Synth: preset files and folders.
//
// An instrument's program is saved to and loaded from an FXP program file:
// the VST 2.4 program-file layout with an opaque chunk, which here is the
// instrument's program memory (SynthChunk.cpp gives its blocks;
// docs/formats.md shows the bytes). Preset files live in bank folders under a
// bank root; the engine remembers the preset last loaded per instrument
// ("Preset Load Path" of the instrument settings), a default preset (the
// system setting "Default Preset Path") and a folder per file dialog in the
// preferences. When the host restored no chunk, a start-up preset is loaded
// per instrument.
//
// A preset file is outside data: the reader trusts nothing in it before it
// has checked it against the file's real size, and the writer never puts the
// old file at risk: it writes a temporary file beside it and renames that
// over the old one only once every byte has been written and the file
// closed. A failed save is reported and changes nothing else.
//
// Threads: the user-interface thread or the idle side, never the audio
// thread (files). The loads started here go through setChunkPreset,
// which keeps the audio thread away from the instrument's voices.
#include "Synth.h"

#include "Capacities.h"
#include "Disk.h"
#include "FileDialog.h"
#include "FileList.h"
#include "ModuleManager.h"
#include "OsLib.h"
#include "SysGlo.h"
#include "ThreadCheck.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The program file. Every header word is big-endian; the chunk follows the
// 60-byte header.
constexpr size_t FxpMagicAt = 0;        // "CcnK"
constexpr size_t FxpByteCountAt = 4;    // written 0
constexpr size_t FxpKindAt = 8;         // "FPCh": a program with an opaque chunk
constexpr size_t FxpFormatAt = 12;      // format version, written 1
constexpr size_t FxpIdAt = 16;          // the plug-in's identifier
constexpr size_t FxpVersionAt = 20;     // plug-in version, written 1
constexpr size_t FxpParaCountAt = 24;   // number of parameters, written 1
constexpr size_t FxpNameAt = 28;        // program name, zero-padded
constexpr size_t FxpNameBytes = 28;
constexpr size_t FxpSizeAt = 56;        // chunk size n
constexpr size_t FxpHeaderBytes = 60;   // the chunk starts here
// The program name comes from getProgramName into a zeroed buffer this large.
constexpr size_t ProgramNameBufferBytes = 128;

// The literal the settings hold for a default preset that was never set.
constexpr const char* UnsetDefaultPreset = "empty";

void putBigEndian(unsigned char* at, uint32_t v)
{
    at[0] = static_cast<unsigned char>(v >> 24);
    at[1] = static_cast<unsigned char>(v >> 16);
    at[2] = static_cast<unsigned char>(v >> 8);
    at[3] = static_cast<unsigned char>(v);
}

uint32_t getBigEndian(const unsigned char* at)
{
    return (uint32_t(at[0]) << 24) | (uint32_t(at[1]) << 16) | (uint32_t(at[2]) << 8) | uint32_t(at[3]);
}

// A path whose text holds a NUL byte would name another file than the one
// the path names; such a path never reaches the file system.
bool usablePath(const Tool::Disk::Path_c& path)
{
    const std::string& text = path.getString();
    return !text.empty() && text.find('\0') == std::string::npos;
}

// pread until n bytes or the end of the file; the bytes read.
size_t readAt(int fd, unsigned char* into, size_t n, off_t offset)
{
    size_t got = 0;
    while (got < n) {
        const ssize_t r = ::pread(fd, into + got, n - got, offset + static_cast<off_t>(got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        got += static_cast<size_t>(r);
    }
    return got;
}

// The process-wide preset clipboard (Synth::CopyPtr, Synth::CopySize) is
// shared by every plug-in instance, and instances may run on different
// threads; they take turns here.
std::mutex& presetClipboardMutex()
{
    static std::mutex m;
    return m;
}

// Holds a lock for a scope: the preset folders' own, or the engine lock,
// which the program lists and numbers belong to (the host may read the
// lists on its own thread while the idle side steps through them).
using LockScope = LockWriteScope;

// The preset a start-up load takes from folder through list (which is read
// from the folder anew): the default preset when keep holds it, else the
// folder's first file. Empty when there is neither.
Tool::Disk::Path_c startupPreset(Synth& synth, FileList_c& list, const Tool::Disk::Path_c& folder, bool keep)
{
    list.refreshFromDir(folder, false);
    // An empty folder offers no first file (not the list's placeholder).
    const Tool::Disk::Path_c first = list.getCount() > 0 ? list.getFilename(0, true) : Tool::Disk::Path_c();
    return synth.getDefPreset(first, keep);
}

// The program one step forward or back from current in a list of count
// files (count above 0), held at the list's ends.
int stepWithin(int current, unsigned count, bool forward)
{
    const int last = static_cast<int>(count) - 1;
    return std::clamp(current + (forward ? 1 : -1), 0, last);
}

} // namespace

unsigned char* Synth::CopyPtr = nullptr;
int Synth::CopySize = 0;

// ---------------------------------------------------------------------------
// The program file

std::unique_ptr<unsigned char[]> Synth::readPresetFile(const Tool::Disk::Path_c& path, int* size)
{
    *size = 0;
    if (!usablePath(path))
        return nullptr;
    // Not blocking: a FIFO given as a preset must not hang the thread; it is
    // refused below as no regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return nullptr;
    std::unique_ptr<unsigned char[]> chunk;
    struct stat info {};
    unsigned char header[FxpHeaderBytes] = {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= static_cast<off_t>(FxpHeaderBytes) &&
        readAt(fd, header, FxpHeaderBytes, 0) == FxpHeaderBytes) {
        // The identifier as stored, in the machine's order: ChunkIdValid
        // takes it in either byte order.
        int32_t id = 0;
        std::memcpy(&id, header + FxpIdAt, sizeof id);
        // The size word is checked against the bytes the file really has
        // after the header, and against the cap, before anything is
        // allocated (the cap lies far below 2^31, so a word that would be
        // negative as an int is refused with it).
        const uint32_t word = getBigEndian(header + FxpSizeAt);
        const size_t n = word;
        const size_t present = static_cast<size_t>(info.st_size) - FxpHeaderBytes;
        const bool sizeFits = word >= 1 && n <= static_cast<size_t>(FxpChunkMaxBytes) && n <= present;
        if (ChunkIdValid(id) && sizeFits) {
            chunk.reset(new (std::nothrow) unsigned char[n + 1]);
            if (chunk && readAt(fd, chunk.get(), n, static_cast<off_t>(FxpHeaderBytes)) == n) {
                chunk[n] = 0;
                *size = static_cast<int>(n);
            } else {
                chunk.reset();
            }
        }
    }
    ::close(fd);
    return chunk;
}

long Synth::writePresetBytes(int fd, const void* data, size_t n)
{
    return static_cast<long>(::write(fd, data, n));
}

bool Synth::writeAllPresetBytes(int fd, const void* data, size_t n)
{
    const auto* at = static_cast<const unsigned char*>(data);
    while (n > 0) {
        const long r = writePresetBytes(fd, at, n);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        at += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

bool Synth::writePresetFile(const Tool::Disk::Path_c& path, const void* chunk, size_t n)
{
    if (!usablePath(path) || !chunk || n < 1 || n > static_cast<size_t>(FxpChunkMaxBytes))
        return false;

    unsigned char header[FxpHeaderBytes] = {};
    std::memcpy(header + FxpMagicAt, "CcnK", 4);
    putBigEndian(header + FxpByteCountAt, 0);
    std::memcpy(header + FxpKindAt, "FPCh", 4);
    putBigEndian(header + FxpFormatAt, 1);
    putBigEndian(header + FxpIdAt, static_cast<uint32_t>(cEffect.uniqueID));
    putBigEndian(header + FxpVersionAt, 1);
    putBigEndian(header + FxpParaCountAt, 1);
    char name[ProgramNameBufferBytes] = {};
    getProgramName(name);
    name[FxpNameBytes - 1] = 0; // at most 27 characters, then a zero
    std::memcpy(header + FxpNameAt, name, FxpNameBytes);
    putBigEndian(header + FxpSizeAt, static_cast<uint32_t>(n));

    const std::string target = path.getString();
    std::string temporary;
    const int fd = Tool::Disk::createTemporaryBeside(target, temporary);
    if (fd < 0)
        return false;
    bool ok = writeAllPresetBytes(fd, header, FxpHeaderBytes) && writeAllPresetBytes(fd, chunk, n);
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && std::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok)
        ::unlink(temporary.c_str());
    return ok;
}

void Synth::markProjectChanged(float second)
{
    // The dirty marker is never written; the host only sees a change of
    // the project and marks it unsaved.
    const int marker = getDirtyMarkerIndex();
    if (marker < 0 || marker >= numHostParas)
        return;
    AudioEffect::setParameterAutomated(marker, 1.0f);
    AudioEffect::setParameterAutomated(marker, second);
}

void Synth::exportPatch(int ins, const Tool::Disk::Path_c& path)
{
    TESSEL_ASSERT_NOT_AUDIO_THREAD();
    // Release builds refuse instead.
    if (onAudioThread())
        return;
    void* data = nullptr;
    const int n = getChunkPreset(ins, &data);
    if (!data || n < 1 || path.empty())
        return;
    if (!writePresetFile(path, data, static_cast<size_t>(n))) {
        // The old preset is still there; nothing counts as saved.
        holdUserMessage("File Error - Save failed", path.c_str());
        return;
    }
    presetSavedOrLoaded = true;
    SysGlo_c* sys = getSysGlo();
    if (sys && sys->getParaVal(0, SysGloPara::JumpToSaveDir) != 0) {
        refreshPrgList(ins, path);
        if (SynGloIns_c* settings = getSynGloIns())
            settings->setParaPath(getEditIns(), SynGloInsPara::LoadPath, path);
    }
    markProjectChanged(static_cast<float>(::random() * 0x1p-31));
}

int Synth::importPatch(int ins, const Tool::Disk::Path_c& path)
{
    TESSEL_ASSERT_NOT_AUDIO_THREAD();
    if (path.empty() || onAudioThread())
        return 0;
    int n = 0;
    std::unique_ptr<unsigned char[]> chunk = readPresetFile(path, &n);
    if (!chunk)
        return 0;
    const int r = setChunkPreset(ins, chunk.get(), n);
    chunk.reset();
    if (r < 1)
        return r;

    presetSavedOrLoaded = true;
    if (multiLoadInProgress) {
        if (SynGlo_c* glo = getSynGlo())
            glo->setParaPath(0, SynGloPara::MultiLoad, path);
        refreshMultiPrgList(path);
    } else {
        ins = std::clamp(ins, 0, std::max(numInstruments - 1, 0));
        if (SynGloIns_c* settings = getSynGloIns())
            settings->setParaPath(ins, SynGloInsPara::LoadPath, path);
        refreshPrgList(ins, path);
    }
    markProjectChanged(static_cast<float>(::random() * 0x1p-31 * 0.9));
    return r;
}

int Synth::importMultiPatch(const Tool::Disk::Path_c& path)
{
    SynGlo_c* glo = getSynGlo();
    if (!glo)
        return 0;
    multiLoadInProgress = true;
    setHostDisplayFlag(false);
    const int tune = glo->getParaVal(0, SynGloPara::GloTune);
    const int program = glo->getParaVal(0, SynGloPara::MultiProgram);
    const int bank = glo->getParaVal(0, SynGloPara::MultiBank);
    resetPara();
    glo->setParaVal(0, SynGloPara::MultiProgram, program);
    glo->setParaVal(0, SynGloPara::MultiBank, bank);
    const int r = importPatch(0, path);
    glo->setParaVal(0, SynGloPara::GloTune, tune);
    postprocessParaChange(0, glo, SynGloPara::GloTune);
    multiLoadInProgress = false;
    setHostDisplayFlag(true);
    setEditIns(0);
    return r;
}

// ---------------------------------------------------------------------------
// Stepping through the program list

void Synth::nextPatchFile(int ins, bool forward)
{
    LockScope engineScope(engineLock);
    FileList_c* list = getPrgList(ins);
    SynGloIns_c* settings = getSynGloIns();
    if (!list || !settings || list->getCount() == 0)
        return;
    ins = std::clamp(ins, 0, std::max(numInstruments - 1, 0));
    const int current = settings->getParaVal(ins, SynGloInsPara::Program);
    const int next = stepWithin(current, list->getCount(), forward);
    if (next != current)
        setInsPrg(ins, next);
}

void Synth::nextMultiFile(bool forward)
{
    LockScope engineScope(engineLock);
    FileList_c* list = getMultiPrgList();
    SynGlo_c* glo = getSynGlo();
    if (!hasMultiLists() || !list || !glo || list->getCount() == 0)
        return;
    const int current = glo->getParaVal(0, SynGloPara::MultiProgram);
    const int next = stepWithin(current, list->getCount(), forward);
    if (next != current)
        setMultiPrg(next);
}

// ---------------------------------------------------------------------------
// The file menu of an instrument: load, save, copy and paste a program

void Synth::handleInstFileIO(int ins, int mode, char* name)
{
    if (!name)
        return;
    if (mode == tpfioLoad || mode == tpfioSave) {
        if (!fileDialog)
            return;
        const std::string key = std::string(codeName) + "_FXP_" + name;
        const std::string title = std::string(name) + " Parameters";
        fileDialog->setRegKey(key.c_str());
        fileDialog->setExtensions("*.fxp");
        fileDialog->mode = mode == tpfioLoad ? FileDialog_c::ModeOpen : FileDialog_c::ModeSave;
        fileDialog->title = title.c_str();
        checkRegForModPath(name);
        setEditIns(ins);
        // The dialog waits on the panel thread; the file is read or written
        // in a later idle round, so neither this call nor a lock waits for
        // the user.
        const bool load = mode == tpfioLoad;
        chooseFileLater(fileDialog->snapshot(), [this, ins, load](const Tool::Disk::Path_c& chosen) {
            if (chosen.empty())
                return;
            if (load)
                importPatch(ins, chosen);
            else
                exportPatch(ins, chosen);
        });
        // The title text goes with this call.
        fileDialog->title = "File Dialog";
        return;
    }
    if (mode == tpfioCopy1) {
        setEditIns(ins);
        void* data = nullptr;
        const int size = getChunkPreset(getEditIns(), &data);
        std::lock_guard<std::mutex> lock(presetClipboardMutex());
        std::free(CopyPtr);
        CopyPtr = nullptr;
        CopySize = 0;
        if (size >= 1 && data) {
            CopyPtr = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(size) + 1));
            if (CopyPtr) {
                std::memcpy(CopyPtr, data, static_cast<size_t>(size));
                CopyPtr[size] = 0;
                CopySize = size;
            }
        }
        return;
    }
    if (mode == tpfioPaste1) {
        setEditIns(ins);
        // Taken out under the lock, so a copy in another instance cannot
        // free it while this one loads it.
        std::unique_ptr<unsigned char[]> copy;
        int size = 0;
        {
            std::lock_guard<std::mutex> lock(presetClipboardMutex());
            if (CopyPtr && CopySize >= 1) {
                copy.reset(new (std::nothrow) unsigned char[static_cast<size_t>(CopySize)]);
                if (copy) {
                    std::memcpy(copy.get(), CopyPtr, static_cast<size_t>(CopySize));
                    size = CopySize;
                }
            }
        }
        if (copy)
            setChunkPreset(getEditIns(), copy.get(), size);
        updateEditor();
        return;
    }
    if (mode == tpfioReset)
        updateEditor();
}

// ---------------------------------------------------------------------------
// Default, last loaded and bank folders

void Synth::setDefPreset(const Tool::Disk::Path_c& path)
{
    if (SysGlo_c* sys = getSysGlo())
        sys->setParaPath(0, SysGloPara::DefaultPresetPath, path);
    LockScope guard(presetFolderLock);
    if (!path.empty())
        bankRoot = path.getParent().getParent();
}

Tool::Disk::Path_c Synth::getDefPreset(const Tool::Disk::Path_c& fallback, bool keep)
{
    Tool::Disk::Path_c def;
    {
        LockScope guard(presetFolderLock);
        if (!defPresetKnown) {
            if (SysGlo_c* sys = getSysGlo())
                sys->getParaPath(0, SysGloPara::DefaultPresetPath, &defPreset);
            defPresetKnown = true;
        }
        def = defPreset;
    }
    if (def.empty() || def.getString() == UnsetDefaultPreset || !keep) {
        setDefPreset(fallback);
        def = fallback;
    }
    LockScope guard(presetFolderLock);
    defPreset = def;
    bankRoot = def.getParent().getParent();
    return def;
}

Tool::Disk::Path_c Synth::getBankRoot()
{
    LockScope guard(presetFolderLock);
    return bankRoot;
}

void Synth::ForceBankPath(Tool::Disk::Path_c& path)
{
    const Tool::Disk::Path_c root = getBankRoot();
    if (path.empty() || root.empty())
        return;
    path = root / path.getParent().getLeaf() / path.getLeaf();
}

void Synth::setLastLoadedPreset(int ins, const Tool::Disk::Path_c& path)
{
    if (path.empty())
        return;
    if (SynGloIns_c* settings = getSynGloIns())
        settings->setParaPath(std::clamp(ins, 0, std::max(numInstruments - 1, 0)), SynGloInsPara::LoadPath, path);
}

void Synth::setLastLoadedMulti(const Tool::Disk::Path_c& path)
{
    if (path.empty())
        return;
    if (SynGlo_c* glo = getSynGlo())
        glo->setParaPath(0, SynGloPara::MultiLoad, path);
}

const Tool::Disk::Path_c& Synth::getLastLoadedPreset(int ins)
{
    // One per thread: the reference stays valid until this thread asks again.
    static thread_local Tool::Disk::Path_c last;
    last = Tool::Disk::Path_c();
    if (SynGloIns_c* settings = getSynGloIns())
        settings->getParaPath(std::clamp(ins, 0, std::max(numInstruments - 1, 0)), SynGloInsPara::LoadPath, &last);
    return last;
}

const Tool::Disk::Path_c& Synth::getLastLoadedMulti()
{
    static thread_local Tool::Disk::Path_c last;
    last = Tool::Disk::Path_c();
    if (SynGlo_c* glo = getSynGlo())
        glo->getParaPath(0, SynGloPara::MultiLoad, &last);
    return last;
}

Tool::Disk::Path_c Synth::getMyPath()
{
    LockScope guard(presetFolderLock);
    if (!myPathKnown && disk) {
        myPath = disk->getPlugDir(this);
        myPathKnown = true;
    }
    return myPath;
}

void Synth::checkRegDefPath(const char* key, const Tool::Disk::Path_c& folder)
{
    if (!key || !*key)
        return;
    Vdx::String_c stored;
    if (OsLib_c::recallStringCore(key, &stored))
        return;
    OsLib_c::remindStringCore(key, folder.getString());
}

// ---------------------------------------------------------------------------
// Start-up presets

void Synth::loadStartupPatches()
{
    setChunkLoaded(true);
}

void Synth::recallSettingsOnce()
{
    SysGlo_c* sys = getSysGlo();
    if (sys && !sys->isRecalled())
        sys->recall();
}

void Synth::loadStartupPatchesFrom(const Tool::Disk::Path_c& folder, bool keep)
{
    recallSettingsOnce();
    Tool::Disk::Path_c where = folder;
    if (!where.isAbsolute()) {
        const Tool::Disk::Path_c mine = getMyPath();
        if (mine.empty())
            return;
        where = mine / folder;
    }
    if (hasMultiLists())
        loadStartupPatchesMulti(where, keep);
    else
        loadStartupPatchesPerInst(where, keep);
    setChunkLoaded(true);
}

void Synth::loadStartupPatchesPerInst(const Tool::Disk::Path_c& folder, bool keep)
{
    LockScope engineScope(engineLock);
    setProgramCore(0);
    for (int i = 0; i < numInstruments; ++i) {
        FileList_c* list = getPrgList(i);
        if (!list)
            return;
        const Tool::Disk::Path_c def = startupPreset(*this, *list, folder, keep);
        if (def.empty())
            return;
        multiLoadInProgress = false;
        importPatch(i, def);
    }
}

void Synth::loadStartupPatchesMulti(const Tool::Disk::Path_c& folder, bool keep)
{
    LockScope engineScope(engineLock);
    FileList_c* list = getMultiPrgList();
    if (!hasMultiLists() || !list)
        return;
    recallSettingsOnce();
    const Tool::Disk::Path_c def = startupPreset(*this, *list, folder, keep);
    if (def.empty())
        return;
    multiLoadInProgress = true;
    importPatch(0, def);
    multiLoadInProgress = false;
}

void Synth::loadStartupKitFrom(const Tool::Disk::Path_c& folder)
{
    recallSettingsOnce();
    const Tool::Disk::Path_c mine = getMyPath();
    if (!mine.empty() && disk) {
        Tool::Disk::Path_c kitFolder = folder.isAbsolute() ? folder : mine / folder;
        Tool::Disk::Path_c first;
        disk->getFirstKit(kitFolder, first, StartupKitListMax);
        loadStartupKit(getDefPreset(first, true));
    }
    setChunkLoaded(true);
}

void Synth::loadStartupKit(const Tool::Disk::Path_c&)
{
    // The product loads its kit here; the engine has none.
}
