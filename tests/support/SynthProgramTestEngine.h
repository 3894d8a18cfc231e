// An engine for the program, bank and chunk tests: the configurable test
// engine with one or two instruments, one program memory per instrument,
// four programs, and its modules on rows 2 ('PGLO'), 3 ('VOSC') and 4
// ('GFX0'). Preset files are not read: importPatch records the path it was
// asked for and answers importResult. The engine records how the voice stop
// and the settling after a load happened.
#pragma once

#include "ConfigurableTestEngine.h"
#include "EPAS.h"
#include "MemC.h"
#include "OsLib.h"
#include "SysGlo.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace ProgramTest {

using EngineTest::Message;
using EngineTest::TypeGFX0;
using EngineTest::TypePGLO;
using EngineTest::TypeVOSC;
using RegistryTest::fourCC;
using RegistryTest::TestModule;

constexpr int Programs = 4;
constexpr int Stride = 1024;

class ProgramTestEngine : public EngineTest::ConfigurableTestEngine
{
public:
    // Without keepIdleTimer the engine's idle timer is stopped once open, so
    // the test is the only one that takes records from the idle queue.
    explicit ProgramTestEngine(int instrumentCount = 1, bool keepIdleTimer = false)
        : ConfigurableTestEngine({.figures = {.insProgramMemories = instrumentCount,
                                              .programs = Programs,
                                              .parameterSlots = 967,
                                              .hostParameters = 602,
                                              .stride = Stride,
                                              .instruments = instrumentCount,
                                              .productName = "Test",
                                              .acceptedIds = "Tsx3,Tsy2",
                                              .versionText = "1.0",
                                              .codeName = "PrgTest"},
                                  .globalEffect = true,
                                  .keepIdleTimer = keepIdleTimer}),
          count(instrumentCount), keepTimer(keepIdleTimer)
    {
    }
    // The idle timer calls virtual members from its own thread: it stops
    // before any base destructor rewrites the object's dynamic type.
    ~ProgramTestEngine() override
    {
        if (isOpen())
            closeShutdown();
    }

    int importPatch(int ins, const Tool::Disk::Path_c& path) override
    {
        imports.push_back({ins, path.getString()});
        return importResult;
    }

    void makeSure(int ins) override
    {
        Instrument_c* instrument = getInstPtr(ins);
        settled.push_back({ins, instrument ? instrument->getReceiveMIDI() : true});
    }

    void hardNoteOffCore(int ins) override
    {
        // Guarded: on the audio thread, or with the audio thread held out.
        voiceStops.push_back({ins, onAudioThread() || isResetting()});
        Synth::hardNoteOffCore(ins);
    }

    // Runs the records queued toward the idle side (messages are kept).
    void runIdleQueue()
    {
        std::vector<Message> kept = takeMessages();
        drainGUICmds();
        for (const Message& m : kept)
            holdUserMessage(m.title.c_str(), m.text.c_str());
    }

    // A copy of the bank chunk (empty when none was given).
    std::vector<unsigned char> bank()
    {
        void* data = nullptr;
        const int n = getChunk(&data, false);
        if (n < 1 || !data)
            return {};
        const unsigned char* p = static_cast<const unsigned char*>(data);
        return std::vector<unsigned char>(p, p + n);
    }
    int32_t loadBank(std::vector<unsigned char> bytes)
    {
        return setChunk(bytes.empty() ? nullptr : bytes.data(), static_cast<int32_t>(bytes.size()), false);
    }

    // Fills descriptor i (host index i of instrument insCode) for the
    // random sound generation.
    void describe(int i, int insCode, Part_c* target, int para)
    {
        if (EPAS_c* d = getEPAS(i))
            d->set(i, "d", true, insCode, 0, target, para, false, -1, nullptr);
    }

    // Pretends the last chunk load was this long ago (ms).
    void chunkLoadedAgo(uint32_t ms)
    {
        chunkLoadTime = static_cast<uint32_t>(OsLib_c::getMilliseconds()) - ms;
        chunkLoadTimed = true;
    }
    void openedAgo(uint32_t ms) { openTimeStamp = static_cast<uint32_t>(OsLib_c::getMilliseconds()) - ms; }
    void setHostId(int id) { hostId = id; }
    void setProgramsLoaded(bool on) { programsLoaded = on; }
    int currentProgram() const { return curProgram; }
    MemC_c** insMems() { return insPrgMems; }

    struct Import
    {
        int ins;
        std::string path;
    };
    struct Settle
    {
        int ins;
        bool receivingMIDI;
    };
    struct VoiceStop
    {
        int ins;
        bool guarded;
    };

    const int count;
    const bool keepTimer;
    int importResult = 1;
    std::vector<Import> imports;
    std::vector<Settle> settled;
    std::vector<VoiceStop> voiceStops;
};

// Words of a chunk in native order.
inline int32_t wordAt(const std::vector<unsigned char>& bytes, size_t byteOffset)
{
    int32_t w = 0;
    if (byteOffset + 4 <= bytes.size())
        std::memcpy(&w, bytes.data() + byteOffset, 4);
    return w;
}
inline void putWord(std::vector<unsigned char>& bytes, size_t byteOffset, int32_t w)
{
    unsigned char b[4];
    std::memcpy(b, &w, 4);
    if (byteOffset + 4 <= bytes.size())
        std::copy(b, b + 4, bytes.begin() + static_cast<std::ptrdiff_t>(byteOffset));
}
inline void appendWords(std::vector<unsigned char>& bytes, std::initializer_list<int32_t> words)
{
    for (int32_t w : words) {
        unsigned char b[4];
        std::memcpy(b, &w, 4);
        bytes.insert(bytes.end(), b, b + 4);
    }
}

// One block of a chunk as the reader frames it.
struct Block
{
    int32_t tag;
    int32_t size;
    int32_t order;
    size_t offset;
};
// The plain blocks of a chunk, in order (stops at the first block that does
// not frame).
inline std::vector<Block> blocksOf(const std::vector<unsigned char>& bytes)
{
    std::vector<Block> out;
    size_t at = 0;
    while (at + 12 <= bytes.size()) {
        Block b{wordAt(bytes, at), wordAt(bytes, at + 4), wordAt(bytes, at + 8), at};
        if (b.size < 12 || b.size % 4 != 0 || at + static_cast<size_t>(b.size) > bytes.size())
            break;
        out.push_back(b);
        at += static_cast<size_t>(b.size);
    }
    return out;
}

} // namespace ProgramTest
