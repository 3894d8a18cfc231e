// Synth: the project chunk, the opaque bytes the host keeps in its song file
// (getChunk / setChunk), and the framing of program memories. The byte layout
// is told in docs/formats.md; in short, a chunk is a sequence of blocks
//   word 0 tag, word 1 size in bytes (header included), word 2 order,
//   then size - 12 bytes of payload,
// and a negative order word marks the scrambled form (order = ~word 2, size =
// decodeInt32(word 1)).
//
// Reading never trusts a size. Before anything changes, every block of the
// chunk (and of every program memory inside it) is checked: 12 <= size <=
// bytes left, a multiple of 4, an order that names a set or memory that
// exists, a part that takes the tag. A chunk that fails is refused whole: the
// user is told through the idle queue ("Bank Load Error") and the state is
// what it was before. Writing never hands the host less than the whole
// state: the buffer grows to what the state needs, and a chunk that cannot be
// made is reported to the user instead of being returned empty.
//
// Threads: getChunk and setChunk run on the host's user-interface thread
// inside the busy counter and the engine lock; a bank load keeps the audio
// thread out while it switches the edited instrument.
#include "Synth.h"

#include "ECS2.h"
#include "HostFamily.h"
#include "Instrument.h"
#include "MemC.h"
#include "NoteFreqTable.h"
#include "OsLib.h"
#include "RegMod.h"
#include "SysGlo.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr int32_t TagOf(char a, char b, char c, char d)
{
    return static_cast<int32_t>((static_cast<uint32_t>(static_cast<unsigned char>(a)) << 24) |
                                (static_cast<uint32_t>(static_cast<unsigned char>(b)) << 16) |
                                (static_cast<uint32_t>(static_cast<unsigned char>(c)) << 8) |
                                static_cast<uint32_t>(static_cast<unsigned char>(d)));
}

constexpr int32_t TagSYG1 = TagOf('S', 'Y', 'G', '1');
constexpr int32_t TagTUN0 = TagOf('T', 'U', 'N', '0');
constexpr int32_t TagECS1 = TagOf('E', 'C', 'S', '1');
constexpr int32_t TagPROG = TagOf('P', 'R', 'O', 'G');
constexpr int32_t TagFXPG = TagOf('F', 'X', 'P', 'G');
constexpr int32_t TagMID1 = TagOf('M', 'I', 'D', '1');

constexpr int BlockHeaderBytes = 12;
constexpr int FirstModuleRow = 2;

int32_t loadWord(const unsigned char* p)
{
    int32_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

void storeWord(unsigned char* p, int32_t w)
{
    std::memcpy(p, &w, sizeof w);
}

uint32_t nowMs()
{
    return static_cast<uint32_t>(OsLib_c::getMilliseconds());
}

// The four characters of a tag for a message; anything unprintable shows as '?'.
void tagText(int32_t tag, char out[5])
{
    for (int i = 0; i < 4; ++i) {
        const unsigned char c = static_cast<unsigned char>(static_cast<uint32_t>(tag) >> (24 - 8 * i));
        out[i] = c >= 32 && c < 127 ? static_cast<char>(c) : '?';
    }
    out[4] = 0;
}

} // namespace

// ---------------------------------------------------------------------------
// Framing

bool Synth::blocksWellFramed(const void* data, long long size, long long* bad)
{
    const unsigned char* p = static_cast<const unsigned char*>(data);
    long long offset = 0;
    while (offset < size) {
        ParaChunkHeader_t h;
        if (!p || !ParaSet_c::readChunkHeader(p + offset, size - offset, &h)) {
            if (bad)
                *bad = offset;
            return false;
        }
        offset += h.size;
    }
    return size >= 0;
}

void Synth::reportBadBlock(const char* title, const void* data, long long size, long long offset, bool withSize)
{
    const unsigned char* p = static_cast<const unsigned char*>(data);
    int32_t tag = 0;
    int32_t blockSize = 0;
    int32_t order = 0;
    const long long left = p ? size - offset : 0;
    if (left >= 4)
        tag = loadWord(p + offset);
    if (left >= 8)
        blockSize = loadWord(p + offset + 4);
    if (left >= 12) {
        order = loadWord(p + offset + 8);
        if (order < 0) {
            order = ~order;
            blockSize = decodeInt32(blockSize);
        }
    }
    char name[5];
    tagText(tag, name);
    char text[ChunkMessageBytes];
    if (withSize)
        std::snprintf(text, sizeof text, "format mismatch %s Order %d Size %d", name, static_cast<int>(order),
                      static_cast<int>(blockSize));
    else
        std::snprintf(text, sizeof text, "format mismatch %s Order %d", name, static_cast<int>(order));
    holdUserMessage(title, text);
}

bool Synth::ChunkIdValid(int id)
{
    const char* list = acceptedIds ? acceptedIds : "";
    for (;;) {
        const size_t left = std::strlen(list);
        if (left < 4)
            return false;
        const int32_t big = TagOf(list[0], list[1], list[2], list[3]);
        const int32_t little = TagOf(list[3], list[2], list[1], list[0]);
        if (id == big || id == little)
            return true;
        if (left < 5)
            return false;
        list += 5; // four characters and one separator
    }
}

// ---------------------------------------------------------------------------
// Host entries

int32_t Synth::getChunk(void** data, bool isPreset)
{
    if (!data)
        return 0;
    *data = nullptr;
    if (!isOpen())
        return 0;
    BusyScope busyScope(*this);
    if (hostId == HostFamily::Kore)
        SynthIdle();
    engineLock.getWritePermission();
    int size = 0;
    if (isPreset) {
        // The host reads the bytes after this returns, while a queued program
        // change may already replace the memory: it gets a copy in the
        // chunk buffer, which only its own next getChunk replaces.
        void* memory = nullptr;
        const int n = getChunkPreset(getEditIns(), &memory);
        if (n > 0 && memory && growChunkBuffer(static_cast<size_t>(n))) {
            std::memcpy(chunkBuffer.get(), memory, static_cast<size_t>(n));
            *data = chunkBuffer.get();
            size = n;
        } else if (n > 0) {
            holdUserMessage("Bank Save Error", "The program is too large to be saved: no chunk was written.");
        }
    } else
        size = getBlockChunk(data, 0, numInsPrgMem - 1, 0, numFxsPrgMem - 1, true, true, true);
    engineLock.releaseWritePermission();
    return size;
}

int32_t Synth::setChunk(void* data, int32_t size, bool isPreset)
{
    if (!isOpen())
        return 0;
    BusyScope busyScope(*this);
    SynthIdle();
    engineLock.getWritePermission();
    int result = 0;
    if (isPreset) {
        const int edited = getEditIns();
        result = setChunkPreset(edited, data, size);
        // A refused program chunk changes nothing, not even the displays.
        if (result > 0) {
            if (SynGloIns_c* settings = getSynGloIns())
                settings->setParaVal(edited, SynGloInsPara::NotesOn, 0);
            makeSure(edited);
            chunkLoadTime = nowMs();
            chunkLoadTimed = true;
        }
    } else {
        result = setBankChunk(data, size);
    }
    engineLock.releaseWritePermission();
    return result > 0 ? result : 0;
}

int Synth::setBankChunk(void* data, int size)
{
    // Checked whole before the reset below: a refused chunk changes nothing.
    if (!data || size < 1 || !bankChunkValid(data, size, 0, 0, false))
        return 0;
    bankLoading = true;
    chunkLoadCount.fetch_add(1);
    resetPara();
    const int result = setChunkBank(data, size, 0, 0, false);
    chunkLoadCount.fetch_sub(1);
    SynGloIns_c* settings = getSynGloIns();
    for (int i = 0; i < numInstruments; ++i) {
        if (settings)
            settings->setParaVal(i, SynGloInsPara::NotesOn, 0);
        // The preset last loaded, found under this machine's bank root.
        Tool::Disk::Path_c last = getLastLoadedPreset(i);
        ForceBankPath(last);
        refreshPrgList(i, last);
    }
    // The start-up programs are not loaded over it at resume.
    chunkLoaded = true;
    programsLoaded = true;
    makeSure(0, numInsPrgMem);
    makeSureFxs(0, numFxsPrgMem);
    if (NoteFreqTable_c* tuning = getTuningTable())
        tuning->fixSongLoad();
    bankLoading = false;
    chunkLoadTime = nowMs();
    chunkLoadTimed = true;
    return result;
}

// ---------------------------------------------------------------------------
// Writer

int Synth::getBlockChunk(void** out, int prgFirst, int prgLast, int fxFirst, int fxLast, bool globals,
                         bool typedGlobals, bool tuning)
{
    if (!out)
        return 0;
    *out = nullptr;
    prgFirst = std::max(prgFirst, 0);
    prgLast = std::min(prgLast, numInsPrgMem - 1);
    fxFirst = std::max(fxFirst, 0);
    fxLast = std::min(fxLast, numFxsPrgMem - 1);
    for (int p = prgFirst; p <= prgLast; ++p)
        setPrgFromPara(p);
    for (int p = fxFirst; p <= fxLast; ++p)
        setPrgFromParaFxs(p);

    SynGlo_c* glo = getSynGlo();
    SynGloIns_c* gloIns = getSynGloIns();
    ParaSet_c* gloSet = glo ? glo->getParaSet() : nullptr;
    ParaSet_c* gloInsSet = gloIns ? gloIns->getParaSet() : nullptr;
    ParaSet_c* tuneSet = tuning && getTuningTable() ? getTuningTable()->getParaSet() : nullptr;
    if ((globals && !gloSet) || (prgFirst <= prgLast && !gloInsSet)) {
        holdUserMessage("Bank Save Error", "The settings are missing: no project chunk was written.");
        return 0;
    }

    // The size, counted wide: a state of any size is handed over whole.
    long long total = 0;
    if (globals)
        total += gloSet->getChunkSize(0);
    for (int p = prgFirst; p <= prgLast; ++p)
        total += gloInsSet->getChunkSize(p);
    for (int r = FirstModuleRow; typedGlobals && r < getRegModCount(); ++r) {
        const RegMod_t* row = getRegMod(r);
        if (row && row->group == rmgGlobal && row->paraSet)
            total += row->paraSet->getChunkSize(0);
    }
    if (tuneSet)
        total += tuneSet->getChunkSize(0);
    for (int p = prgFirst; p <= prgLast; ++p)
        if (const MemC_c* mem = getInsPrgMem(p))
            total += mem->getChunkSize() + BlockHeaderBytes;
    for (int p = fxFirst; p <= fxLast; ++p)
        if (const MemC_c* mem = getFxsPrgMem(p))
            total += mem->getChunkSize() + BlockHeaderBytes;

    if (total > INT32_MAX - 1 || !growChunkBuffer(static_cast<size_t>(total))) {
        holdUserMessage("Bank Save Error", "The project is too large to be saved: no project chunk was written.");
        return 0;
    }
    unsigned char* base = chunkBuffer.get();
    std::memset(base, 0, static_cast<size_t>(total));
    long long offset = 0;
    bool ok = true;
    // Writes one set's chunk where it was counted; false when it wrote
    // another length than it said it would.
    auto putSet = [&](const ParaSet_c* set, int which) {
        const int expected = set->getChunkSize(which);
        if (expected > total - offset)
            return false;
        const int written = set->getChunk(reinterpret_cast<int*>(base + offset), which);
        if (written != expected)
            return false;
        offset += written;
        return true;
    };
    auto putMemory = [&](int32_t tag, int order, const MemC_c* mem) {
        const int bytes = mem->getChunkSize();
        storeWord(base + offset, tag);
        storeWord(base + offset + 4, bytes + BlockHeaderBytes);
        storeWord(base + offset + 8, order);
        std::memcpy(base + offset + BlockHeaderBytes, mem->getChunkPtr(), static_cast<size_t>(bytes));
        offset += bytes + BlockHeaderBytes;
        return true;
    };

    if (globals)
        ok = putSet(gloSet, 0);
    // "NotesOn" shows the voices sounding now: the chunk carries 0 for it, as
    // a load leaves it, so a chunk taken while notes sound reads back the same.
    const int notesOnAt = gloInsSet ? gloInsSet->getEntryOffset(0, SynGloInsPara::NotesOn) : -1;
    for (int p = prgFirst; ok && p <= prgLast; ++p) {
        const long long at = offset;
        ok = putSet(gloInsSet, p);
        if (ok) {
            storeWord(base + at + 8, p - prgFirst);
            if (notesOnAt >= 0 && at + notesOnAt + 4 <= offset)
                storeWord(base + at + notesOnAt, 0);
        }
    }
    for (int r = FirstModuleRow; ok && typedGlobals && r < getRegModCount(); ++r) {
        const RegMod_t* row = getRegMod(r);
        if (row && row->group == rmgGlobal && row->paraSet)
            ok = putSet(row->paraSet, 0);
    }
    if (ok && tuneSet) {
        const long long at = offset;
        ok = putSet(tuneSet, 0);
        if (ok)
            storeWord(base + at + 8, 0);
    }
    for (int p = prgFirst; ok && p <= prgLast; ++p)
        if (const MemC_c* mem = getInsPrgMem(p))
            ok = putMemory(TagPROG, p - prgFirst, mem);
    for (int p = fxFirst; ok && p <= fxLast; ++p)
        if (const MemC_c* mem = getFxsPrgMem(p))
            ok = putMemory(TagFXPG, p - fxFirst, mem);

    if (!ok || offset != total) {
        holdUserMessage("Bank Save Error", "The project chunk could not be written.");
        return 0;
    }
    *out = base;
    return static_cast<int>(total);
}

bool Synth::growChunkBuffer(size_t bytes)
{
    if (bytes <= chunkBufferBytes && chunkBuffer)
        return true;
    // The host may still hold the previous chunk until this call returns;
    // it gets the new one from now on.
    std::unique_ptr<unsigned char[]> grown(new (std::nothrow) unsigned char[std::max<size_t>(bytes, 1)]);
    if (!grown)
        return false;
    chunkBuffer = std::move(grown);
    chunkBufferBytes = std::max<size_t>(bytes, 1);
    return true;
}

// ---------------------------------------------------------------------------
// Reader

bool Synth::bankChunkValid(const void* data, int size, int prgOffset, int fxOffset, bool skipGlobals)
{
    const unsigned char* p = static_cast<const unsigned char*>(data);
    if (!p || size < 1) {
        reportBadBlock("Bank Load Error", data, 0, 0, true);
        return false;
    }
    SynGloIns_c* gloIns = getSynGloIns();
    const ParaSet_c* gloInsSet = gloIns ? gloIns->getParaSet() : nullptr;
    const NoteFreqTable_c* tuning = getTuningTable();
    const ECS2_c* table = getECS();
    long long offset = 0;
    while (offset < size) {
        ParaChunkHeader_t h;
        bool ok = ParaSet_c::readChunkHeader(p + offset, size - offset, &h);
        if (ok) {
            const long long payload = h.size - BlockHeaderBytes;
            const unsigned char* body = p + offset + BlockHeaderBytes;
            const long long target = static_cast<long long>(h.order);
            switch (h.typeCode) {
            case TagECS1:
                ok = table && table->getParaSet();
                break;
            case TagTUN0:
                ok = tuning && tuning->getParaSet();
                (void)skipGlobals;
                break;
            case TagPROG:
                ok = target + prgOffset >= 0 && target + prgOffset < numInsPrgMem && instruments &&
                     instruments[target + prgOffset] && blocksWellFramed(body, payload, nullptr);
                break;
            case TagFXPG:
                ok = target + fxOffset >= 0 && target + fxOffset < numFxsPrgMem && fxUnits &&
                     target + fxOffset < numFxUnits && fxUnits[target + fxOffset] &&
                     blocksWellFramed(body, payload, nullptr);
                break;
            case TagSYG1:
                ok = gloInsSet && target + prgOffset >= 0 && target + prgOffset < gloInsSet->getSetCount();
                break;
            case TagMID1:
                break;
            default:
                // A well-framed block no row takes (a chunk of a newer or
                // different build) does not refuse the chunk: the reader
                // applies what comes before it and stops there.
                break;
            }
        }
        if (!ok) {
            reportBadBlock("Bank Load Error", data, size, offset, true);
            return false;
        }
        offset += h.size;
    }
    return true;
}

int Synth::findAnyRegMod(int typeCode, int order) const
{
    for (int r = 0; r < getRegModCount(); ++r) {
        const RegMod_t* row = getRegMod(r);
        if (row && row->inUse() && static_cast<int>(row->typeCode) == typeCode && row->order == order &&
            row->paraSet)
            return r;
    }
    return -1;
}

int Synth::setChunkBank(void* data, int size, int prgOffset, int fxOffset, bool skipGlobals)
{
    if (!bankChunkValid(data, size, prgOffset, fxOffset, skipGlobals)) {
        checkSetFlagReady();
        return 0;
    }
    unsigned char* p = static_cast<unsigned char*>(data);
    SynGloIns_c* gloIns = getSynGloIns();
    bool mismatch = false;
    for (long long offset = 0; offset < size && !mismatch;) {
        ParaChunkHeader_t h;
        ParaSet_c::readChunkHeader(p + offset, size - offset, &h); // checked above
        unsigned char* block = p + offset;
        const int payload = h.size - BlockHeaderBytes;
        switch (h.typeCode) {
        case TagECS1:
            if (!skipGlobals) {
                ECS2_c* table = getECS();
                table->getParaSet()->setChunk(block, h.size, h.order);
                // Publishes the table it now holds.
                table->postprocessParaChange(0, -1);
            }
            break;
        case TagTUN0:
            if (!skipGlobals)
                getTuningTable()->getParaSet()->setChunk(block, h.size, h.order);
            break;
        case TagPROG:
            if (payload > 0)
                setChunkPreset(h.order + prgOffset, block + BlockHeaderBytes, payload);
            break;
        case TagFXPG:
            if (payload > 0)
                setChunkPresetFxs(h.order + fxOffset, block + BlockHeaderBytes, payload);
            break;
        case TagSYG1:
            gloIns->getParaSet()->setChunk(block, h.size, h.order + prgOffset);
            break;
        case TagMID1:
            break;
        default:
            if (findAnyRegMod(h.typeCode, h.order) < 0) {
                // What this build understands has been read; the user
                // learns which block was left out.
                reportBadBlock("Bank Load Error", data, size, offset, true);
                mismatch = true;
                break;
            }
            for (int r = 0; r < getRegModCount(); ++r) {
                const RegMod_t* row = getRegMod(r);
                if (row && row->inUse() && static_cast<int>(row->typeCode) == h.typeCode &&
                    row->order == h.order && row->paraSet)
                    row->paraSet->setChunk(block, h.size, 0);
            }
            break;
        }
        offset += h.size;
    }

    if (!mismatch) {
        // The edited instrument changes with the audio thread kept out.
        AudioHold hold(*this);
        if (const SynGlo_c* glo = getSynGlo())
            setEditIns(glo->getParaVal(0, SynGloPara::EditIns));
        if (gloIns) {
            curProgram = gloIns->getParaVal(getEditIns(), SynGloInsPara::Program);
            int solo = 0;
            for (int i = 0; i < numInstruments; ++i)
                solo += gloIns->getParaVal(i, SynGloInsPara::Solo);
            setSoloCount(false, solo);
        }
    }
    checkSetFlagReady();
    return size;
}
