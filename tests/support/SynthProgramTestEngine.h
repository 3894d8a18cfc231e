// An engine for the program, bank and chunk tests: one or two instruments,
// one program memory per instrument, four programs, and a small module
// graph of test modules registered as a product would:
//   row 2  'PGLO' the global program part (group 0, one per program memory)
//   row 3  'VOSC' a voice module (group 0, two instances)
//   row 4  'GFX0' a global module (group 2)
// Preset files are not read: importPatch records the path it was asked for
// and answers importResult. Messages queued for the user can be taken out
// and looked at; the engine records how the voice stop and the settling
// after a load happened.
#pragma once

#include "CmdBuffer.h"
#include "EPAS.h"
#include "EngineTestHost.h"
#include "HoldData.h"
#include "Instrument.h"
#include "MemC.h"
#include "OsLib.h"
#include "RegMod.h"
#include "RegistryTestParts.h"
#include "Synth.h"
#include "SysGlo.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace ProgramTest {

using RegistryTest::fourCC;
using RegistryTest::TestModule;

constexpr int TypePGLO = fourCC('P', 'G', 'L', 'O');
constexpr int TypeVOSC = fourCC('V', 'O', 'S', 'C');
constexpr int TypeGFX0 = fourCC('G', 'F', 'X', '0');
constexpr int Programs = 4;
constexpr int Stride = 1024;

// Rows of the instrument settings the tests look at.

struct Message
{
    std::string title;
    std::string text;
};

class ProgramTestEngine : public Synth
{
public:
    // Without keepIdleTimer the engine's idle timer is stopped once open, so
    // the test is the only one that takes records from the idle queue.
    explicit ProgramTestEngine(int instrumentCount = 1, bool keepIdleTimer = false)
        : Synth(EngineTestHost::callback, instrumentCount, 0, Programs, 967, 602, Stride, instrumentCount, 0, 0, 1,
                0, 0, "Test", "Tsx3,Tsy2", "1.0", "PrgTest", true, true),
          count(instrumentCount), keepTimer(keepIdleTimer)
    {
        for (int i = 0; i < instrumentCount; ++i)
            own.push_back(std::make_unique<Instrument_c>(2));
        for (int i = 0; i < 2; ++i)
            osc.push_back(std::make_unique<TestModule>(TypeVOSC));
    }
    ~ProgramTestEngine() override
    {
        takeMessages();
        if (isOpen())
            closeShutdown();
    }

    void open() override
    {
        if (isOpen())
            return;
        Synth::open();
        if (!isOpen())
            return;
        if (!keepTimer)
            idleTimer.stopTimer();
        for (int i = 0; i < count; ++i) {
            own[static_cast<size_t>(i)]->create(this, i, 0, false);
            instruments[i] = own[static_cast<size_t>(i)].get();
        }
        int row = -1;
        registerFirstModul(&row, &globalProgram, 0, 1, rmgInstrument);
        rowPGLO = row;
        registerFirstModul(&row, osc[0].get(), 0, 2, rmgInstrument);
        registerNextModul(row, 1, osc[1].get());
        rowVOSC = row;
        registerFirstModul(&row, &globalFx, 0, 1, rmgGlobal);
        rowGFX0 = row;
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

    // The queued user messages, oldest first; their texts are freed.
    std::vector<Message> takeMessages()
    {
        std::vector<Message> out;
        CmdBuffer_c* ring = cmdQueues.toGUI;
        HoldData_c r;
        std::vector<HoldData_c> others;
        while (ring && ring->unholdEvent(&r)) {
            if (r.command == 'P') {
                out.push_back({r.ptr2 ? static_cast<const char*>(r.ptr2) : "",
                               r.ptr1 ? static_cast<const char*>(r.ptr1) : ""});
                std::free(r.ptr1);
            } else if (r.command != 0) {
                others.push_back(r);
            }
        }
        for (HoldData_c& o : others)
            ring->holdEvent(&o, hdAppend);
        return out;
    }
    // Runs the records queued toward the idle side (messages are kept).
    void runIdleQueue()
    {
        std::vector<Message> kept = takeMessages();
        drainGUICmds();
        for (const Message& m : kept)
            holdUserMessage(m.title.c_str(), m.text.c_str());
    }

    // The live value of parameter para of a module row's set.
    int value(int row, int set, int para) const
    {
        const RegMod_t* r = getRegMod(row);
        return r && r->paraSet ? r->paraSet->getParaVal(set, para) : -12345;
    }
    void setValue(int row, int set, int para, int v)
    {
        const RegMod_t* r = getRegMod(row);
        if (r && r->paraSet)
            r->paraSet->setParaVal(set, para, v);
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
    Instrument_c* instrument(int i) { return own[static_cast<size_t>(i)].get(); }

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
    TestModule globalProgram{TypePGLO};
    std::vector<std::unique_ptr<TestModule>> osc;
    TestModule globalFx{TypeGFX0};
    std::vector<std::unique_ptr<Instrument_c>> own;
    int rowPGLO = -1;
    int rowVOSC = -1;
    int rowGFX0 = -1;
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
