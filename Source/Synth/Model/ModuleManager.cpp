#include "ModuleManager.h"

#include "Capacities.h"
#include "Instrument.h"
#include "OsLib.h"
#include "ParaSet.h"
#include "Part.h"
#include "Synth.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int ChunkHeaderBytes = 12;

// Every plug-in instance of the process shares the clipboards; this lock
// keeps a copy and a paste from meeting inside one.
std::mutex& clipboardLock()
{
    static std::mutex lock;
    return lock;
}

// Word-aligned scratch of at least n bytes, zero-filled (chunks are read and
// written through int pointers).
std::unique_ptr<int[]> wordBuffer(long long n)
{
    if (n < 0)
        return nullptr;
    return std::unique_ptr<int[]>(new (std::nothrow) int[static_cast<size_t>(n / 4 + 1)]());
}

// The part's set when it has set number `set`.
ParaSet_c* setOf(Part_c* part, int set)
{
    ParaSet_c* paraSet = part ? part->getParaSet() : nullptr;
    return paraSet && paraSet->getParaPtr(set) ? paraSet : nullptr;
}

// Writes the part's chunk for the set into a new buffer; its length in *n
// (0 on failure).
std::unique_ptr<int[]> chunkOf(Part_c* part, int set, int* n)
{
    *n = 0;
    const int size = part->getChunkSize(set);
    if (size < 1)
        return nullptr;
    auto buffer = wordBuffer(size);
    if (buffer)
        *n = part->getChunk(buffer.get(), set);
    return buffer;
}

} // namespace

ModuleManager_c::ModuleManager_c(Synth* s, void*, unsigned char* clip1, unsigned char* clip2)
    : fileDialog(s), synth(s), clipboard1(clip1), clipboard2(clip2)
{
}

ModuleManager_c::~ModuleManager_c() = default;

// ---------------------------------------------------------------------------
// Menu actions

bool ModuleManager_c::prepareDialog(const char* name, const char* patterns)
{
    if (!synth->getProductString(productString))
        return false;
    const std::string key = std::string(productString) + "_MOD_" + name;
    fileDialog.setRegKey(key.c_str());
    dialogTitle = std::string(name) + " Module Parameters";
    fileDialog.title = dialogTitle.c_str();
    fileDialog.setExtensions(patterns);
    return true;
}

FileDialog_c::Show_t ModuleManager_c::dialogFor(int mode, const char* name)
{
    fileDialog.mode = mode;
    std::string nameCopy(name); // the engine takes a writable text
    synth->checkRegForModPath(nameCopy.data());
    return fileDialog.snapshot();
}

void ModuleManager_c::loadOrSave(tpfioMode mode, const char* name, std::function<void(Tool::Disk::Path_c&)> load,
                                  std::function<bool(Tool::Disk::Path_c&)> save, std::function<void()> loaded)
{
    Synth* engine = synth;
    if (mode == tpfioLoad) {
        engine->chooseFileLater(dialogFor(FileDialog_c::ModeOpen, name),
                                [engine, load = std::move(load), loaded = std::move(loaded)](const Tool::Disk::Path_c& chosen) {
                                    Tool::Disk::Path_c path = chosen;
                                    load(path);
                                    engine->updateEditor();
                                    if (loaded)
                                        loaded();
                                });
    } else if (mode == tpfioSave) {
        engine->chooseFileLater(dialogFor(FileDialog_c::ModeSave, name),
                                [engine, save = std::move(save)](const Tool::Disk::Path_c& chosen) {
                                    Tool::Disk::Path_c path = chosen;
                                    // Through the engine's queue: the panel
                                    // thread shows it, nothing here waits.
                                    if (!path.empty() && !save(path))
                                        engine->holdUserMessage("File Error - Save failed", path.c_str());
                                });
    }
}

void ModuleManager_c::handlePartFileIO(Part_c* part, int set, tpfioMode mode, const char* name,
                                        std::function<void()> loaded)
{
    if (!synth || !part || !name || !prepareDialog(name, "*.MOD"))
        return;
    switch (mode) {
    case tpfioLoad:
    case tpfioSave:
        // The manager and the part live as long as the engine, whose panel
        // queue is stopped (its answers dropped) before either goes.
        loadOrSave(mode, name, [this, part, set](Tool::Disk::Path_c& path) { importModule(part, path, set); },
                   [this, part, set](Tool::Disk::Path_c& path) { return exportModule(part, path, set); },
                   std::move(loaded));
        break;
    case tpfioCopy1:
        copyModule(part, set);
        break;
    case tpfioCopy2:
        copyModule2(part, set);
        break;
    case tpfioPaste1:
        pasteModule(part, set);
        synth->updateEditor();
        break;
    case tpfioPaste2:
        pasteModule2(part, set);
        synth->updateEditor();
        break;
    case tpfioReset:
        part->resetPara(set, set + 1);
        synth->updateEditor();
        break;
    default:
        break;
    }
}

void ModuleManager_c::handleGroupFileIO(Part_c** parts, int set, tpfioMode mode, const char* name)
{
    if (!synth || !parts || !name || !prepareDialog(name, "*.MGP"))
        return;
    switch (mode) {
    case tpfioLoad:
    case tpfioSave: {
        // The caller's list may be gone by the time the user chose.
        auto list = std::make_shared<std::vector<Part_c*>>();
        for (Part_c** p = parts; *p; ++p)
            list->push_back(*p);
        list->push_back(nullptr);
        loadOrSave(mode, name, [this, list, set](Tool::Disk::Path_c& path) { importGroup(list->data(), path, set); },
                   [this, list, set](Tool::Disk::Path_c& path) { return exportGroup(list->data(), path, set); }, {});
        break;
    }
    case tpfioCopy1:
        copyGroup(parts, set);
        break;
    case tpfioPaste1:
        pasteGroup(parts, set);
        synth->updateEditor();
        break;
    case tpfioReset:
        resetGroup(parts, set);
        synth->updateEditor();
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------
// Files

std::unique_ptr<int[]> ModuleManager_c::readChunk(Part_c* part, long long bytesLeft, int* size)
{
    *size = 0;
    int header[3] = {};
    if (bytesLeft < ChunkHeaderBytes || disk.readBuffer(header, ChunkHeaderBytes) != ChunkHeaderBytes)
        return nullptr;
    // The size word must cover at least the header and no more than the
    // file has left, so a hostile word never makes us allocate or read more.
    ParaChunkHeader_t h;
    if (!ParaSet_c::readChunkHeader(header, bytesLeft, &h) || h.typeCode != part->getTypeCode())
        return nullptr;
    auto buffer = wordBuffer(h.size);
    if (!buffer)
        return nullptr;
    std::memcpy(buffer.get(), header, ChunkHeaderBytes);
    const int rest = h.size - ChunkHeaderBytes;
    if (rest > 0 && disk.readBuffer(buffer.get() + 3, rest) != rest)
        return nullptr;
    *size = h.size;
    return buffer;
}

void ModuleManager_c::applyChunk(Part_c* part, int set, int* chunk, int size)
{
    synth->hardNoteOff(set);
    part->getParaSet()->setChunk(chunk, size, set);
    part->postprocessParaChange(set, -1);
    synth->doValueCopy(-1, 0.0f);
    synth->makeSure(set);
}

Instrument_c* ModuleManager_c::instrumentOf(int set)
{
    // The engine clamps the index it is given; only a set that is an
    // instrument's own counts.
    if (!synth || set < 0 || set >= synth->getNumInstruments())
        return nullptr;
    return synth->getInstPtr(set);
}

bool ModuleManager_c::importModule(Part_c* part, Tool::Disk::Path_c& path, int set)
{
    Instrument_c* instrument = instrumentOf(set);
    if (!part || !instrument || !synth->getProductString(productString) || path.empty())
        return false;
    const long long fileBytes = Tool::Disk::getSize(path);
    if (fileBytes < ChunkHeaderBytes || !disk.open(path, true, true))
        return false;
    // The whole file is checked before anything is silenced or changed.
    int size = 0;
    const auto chunk = readChunk(part, fileBytes, &size);
    disk.close();
    if (!chunk || !setOf(part, set))
        return false;
    instrument->ReceiveMIDI(false);
    applyChunk(part, set, chunk.get(), size);
    instrument->ReceiveMIDI(true);
    return true;
}

bool ModuleManager_c::importGroup(Part_c** parts, Tool::Disk::Path_c& path, int set)
{
    Instrument_c* instrument = instrumentOf(set);
    if (!parts || !parts[0] || !instrument || !synth->getProductString(productString) || path.empty())
        return false;
    const long long fileBytes = Tool::Disk::getSize(path);
    if (fileBytes < ChunkHeaderBytes || !disk.open(path, true, true))
        return false;
    instrument->ReceiveMIDI(false);
    long long position = 0;
    bool ok = true;
    for (Part_c** p = parts; ok && *p; ++p) {
        int size = 0;
        const auto chunk = readChunk(*p, fileBytes - position, &size);
        ok = chunk && setOf(*p, set);
        if (ok)
            applyChunk(*p, set, chunk.get(), size);
        position += size;
    }
    instrument->ReceiveMIDI(true);
    disk.close();
    return ok;
}

size_t ModuleManager_c::writeBytes(std::FILE* file, const void* data, size_t n)
{
    return std::fwrite(data, 1, n, file);
}

bool ModuleManager_c::saveFile(const Tool::Disk::Path_c& path, const void* data, size_t n)
{
    if (path.empty())
        return false;
    const std::string target = path.getString();
    std::string temporary;
    const int fd = Tool::Disk::createTemporaryBeside(target, temporary);
    if (fd < 0)
        return false;
    std::FILE* file = ::fdopen(fd, "wb");
    if (!file) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return false;
    }
    bool ok = writeBytes(file, data, n) == n;
    ok = std::fflush(file) == 0 && ok;
    ok = ::fsync(::fileno(file)) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    ok = ok && std::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok)
        ::unlink(temporary.c_str());
    return ok;
}

bool ModuleManager_c::exportModule(Part_c* part, Tool::Disk::Path_c& path, int set)
{
    if (!part || path.empty() || !setOf(part, set))
        return false;
    // A buffer of its own: the engine's chunk buffer may be in the host's
    // hands (getChunk) at this moment.
    int n = 0;
    const auto chunk = chunkOf(part, set, &n);
    return n >= 1 && saveFile(path, chunk.get(), static_cast<size_t>(n));
}

bool ModuleManager_c::exportGroup(Part_c** parts, Tool::Disk::Path_c& path, int set)
{
    if (!parts || !parts[0] || path.empty())
        return false;
    std::vector<unsigned char> bytes;
    for (Part_c** p = parts; *p; ++p) {
        if (!setOf(*p, set))
            return false;
        int n = 0;
        const auto chunk = chunkOf(*p, set, &n);
        if (n < 1)
            return false;
        const auto* first = reinterpret_cast<const unsigned char*>(chunk.get());
        bytes.insert(bytes.end(), first, first + n);
    }
    return saveFile(path, bytes.data(), bytes.size());
}

// ---------------------------------------------------------------------------
// Clipboards

bool ModuleManager_c::copyTo(Part_c* part, int set, unsigned char* clipboard)
{
    if (!part || !clipboard || !setOf(part, set) || part->getChunkSize(set) > CopyBufferBytes - 1)
        return false;
    int n = 0;
    const auto chunk = chunkOf(part, set, &n);
    if (n < 1)
        return false;
    std::lock_guard<std::mutex> lock(clipboardLock());
    std::memcpy(clipboard, chunk.get(), static_cast<size_t>(n));
    return true;
}

bool ModuleManager_c::pasteFrom(Part_c* part, int set, unsigned char* clipboard)
{
    ParaSet_c* paraSet = setOf(part, set);
    if (!paraSet || !clipboard)
        return false;
    // Taken out under the lock, so a copy in another instance cannot change
    // it half-way; the chunk must lie inside the clipboard.
    std::unique_ptr<int[]> chunk;
    ParaChunkHeader_t h;
    {
        std::lock_guard<std::mutex> lock(clipboardLock());
        if (!ParaSet_c::readChunkHeader(clipboard, CopyBufferBytes, &h) || h.typeCode != part->getTypeCode())
            return false;
        chunk = wordBuffer(h.size);
        if (!chunk)
            return false;
        std::memcpy(chunk.get(), clipboard, static_cast<size_t>(h.size));
    }
    paraSet->setChunk(chunk.get(), h.size, set);
    // The module re-derives what it computes from its parameters, as after
    // a load.
    part->postprocessParaChange(set, -1);
    synth->makeSure(set);
    return true;
}

bool ModuleManager_c::copyModule(Part_c* part, int set)
{
    return copyTo(part, set, clipboard1);
}

bool ModuleManager_c::copyModule2(Part_c* part, int set)
{
    return copyTo(part, set, clipboard2);
}

bool ModuleManager_c::pasteModule(Part_c* part, int set)
{
    return synth && pasteFrom(part, set, clipboard1);
}

bool ModuleManager_c::pasteModule2(Part_c* part, int set)
{
    return synth && pasteFrom(part, set, clipboard2);
}

bool ModuleManager_c::copyModuleCore(Part_c* part, int set, unsigned char* buffer)
{
    return copyTo(part, set, buffer);
}

bool ModuleManager_c::pasteModuleCore(Part_c* part, int set, unsigned char* buffer)
{
    return synth && pasteFrom(part, set, buffer);
}

bool ModuleManager_c::copyGroup(Part_c** parts, int set)
{
    if (!clipboard1)
        return false;
    {
        std::lock_guard<std::mutex> lock(clipboardLock());
        std::memset(clipboard1, 0, CopyBufferBytes);
    }
    if (!parts)
        return false;
    long long total = 0;
    for (Part_c** p = parts; *p; ++p) {
        if (!setOf(*p, set))
            return false;
        total += (*p)->getChunkSize(set);
    }
    if (total <= 0 || total > ModuleGroupCopyLimit)
        return false;
    std::vector<unsigned char> bytes;
    for (Part_c** p = parts; *p; ++p) {
        int n = 0;
        const auto chunk = chunkOf(*p, set, &n);
        const auto* first = reinterpret_cast<const unsigned char*>(chunk.get());
        if (first)
            bytes.insert(bytes.end(), first, first + n);
    }
    std::lock_guard<std::mutex> lock(clipboardLock());
    std::memcpy(clipboard1, bytes.data(), std::min(bytes.size(), static_cast<size_t>(CopyBufferBytes)));
    return true;
}

bool ModuleManager_c::pasteGroup(Part_c** parts, int set)
{
    if (!synth || !parts || !clipboard1)
        return false;
    auto copy = wordBuffer(CopyBufferBytes);
    if (!copy)
        return false;
    {
        std::lock_guard<std::mutex> lock(clipboardLock());
        std::memcpy(copy.get(), clipboard1, CopyBufferBytes);
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(copy.get());
    long long offset = 0;
    for (Part_c** p = parts; *p; ++p) {
        ParaSet_c* paraSet = setOf(*p, set);
        if (!paraSet)
            return false;
        // Each chunk must lie inside what is left of the clipboard.
        ParaChunkHeader_t h;
        if (!ParaSet_c::readChunkHeader(bytes + offset, CopyBufferBytes - offset, &h) ||
            h.typeCode != (*p)->getTypeCode())
            return false;
        auto chunk = wordBuffer(h.size);
        if (!chunk)
            return false;
        std::memcpy(chunk.get(), bytes + offset, static_cast<size_t>(h.size));
        paraSet->setChunk(chunk.get(), h.size, set);
        (*p)->postprocessParaChange(set, -1);
        synth->makeSure(set);
        offset += h.size;
    }
    return true;
}

bool ModuleManager_c::resetGroup(Part_c** parts, int set)
{
    if (!parts)
        return false;
    for (Part_c** p = parts; *p; ++p) {
        ParaSet_c* paraSet = setOf(*p, set);
        if (!paraSet)
            return false;
        paraSet->reset(set);
        (*p)->postprocessParaChange(set, -1);
    }
    return true;
}
