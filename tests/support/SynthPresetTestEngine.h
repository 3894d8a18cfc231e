// An engine for the preset-file tests: one instrument with one program
// memory, eight programs, the identifier 'Tsx3' (accepting "Tsx3,Tsy2") and
// two instrument modules registered from row 2 on, so a program memory
// holds real parameter-set blocks:
//   'PGLO' the global program part (one set per program memory)
//   'VOSC' a voice module (two instances sharing one set)
// Preset files are really read and written. A writer can be injected that
// fails from a given write on; the host callback records the automation it
// is sent; messages queued for the user can be taken out (the engine's idle
// timer is stopped, so nothing else takes them).
#pragma once

#include "CmdBuffer.h"
#include "HoldData.h"
#include "Instrument.h"
#include "RegMod.h"
#include "RegistryTestParts.h"
#include "Synth.h"
#include "SysGlo.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace PresetTest {

using RegistryTest::fourCC;
using RegistryTest::TestModule;

constexpr int TypePGLO = fourCC('P', 'G', 'L', 'O');
constexpr int TypeVOSC = fourCC('V', 'O', 'S', 'C');
constexpr int Programs = 8;
constexpr int32_t OwnId = fourCC('T', 's', 'x', '3');

// What the host was told through the automation opcode.
struct Automation
{
    int index;
    float value;
};

class HostRecorder
{
public:
    static intptr_t callback(AEffect*, int32_t opcode, int32_t index, intptr_t, void*, float opt)
    {
        if (opcode == audioMasterVersion)
            return 2400;
        if (opcode == audioMasterAutomate) {
            std::lock_guard<std::mutex> lock(mutex());
            log().push_back({index, opt});
        }
        return 0;
    }
    static std::vector<Automation> take()
    {
        std::lock_guard<std::mutex> lock(mutex());
        std::vector<Automation> out;
        out.swap(log());
        return out;
    }

private:
    static std::mutex& mutex()
    {
        static std::mutex m;
        return m;
    }
    static std::vector<Automation>& log()
    {
        static std::vector<Automation> l;
        return l;
    }
};

struct Message
{
    std::string title;
    std::string text;
};

class PresetTestEngine : public Synth
{
public:
    // The descriptor the engine uses as the dirty marker.
    static constexpr int DirtyMarker = 601;

    PresetTestEngine()
        : Synth(HostRecorder::callback, 1, 0, Programs, 967, 602, 1024, 1, 0, 0, 1, 0, 0, "Test", "Tsx3,Tsy2",
                "1.0", "PstTest", true, true)
    {
        setUniqueID(OwnId);
        for (int i = 0; i < 2; ++i)
            osc.push_back(std::make_unique<TestModule>(TypeVOSC));
        open();
        HostRecorder::take();
    }
    ~PresetTestEngine() override
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
        instrument.create(this, 0, 0, false);
        instruments[0] = &instrument;
        int row = -1;
        registerFirstModul(&row, &globalProgram, 0, 1, rmgInstrument);
        rowPGLO = row;
        registerFirstModul(&row, osc[0].get(), 0, 2, rmgInstrument);
        registerNextModul(row, 1, osc[1].get());
        rowVOSC = row;
        setDirtyMarkerIndex(DirtyMarker);
        // The queued messages stay queued for the tests to look at: no idle
        // work of the engine's own timer shows them first.
        idleTimer.stopTimer();
    }

    // Writes fail from write number failFrom on (counting from 0): with
    // shortBy 0 they answer -1 and ENOSPC, as on a full disk; otherwise write
    // failFrom takes shortBy bytes fewer than asked and later writes take
    // nothing.
    long writePresetBytes(int fd, const void* data, size_t n) override
    {
        const int call = writes++;
        if (failFrom < 0 || call < failFrom)
            return Synth::writePresetBytes(fd, data, n);
        if (shortBy > 0 && call == failFrom && n > shortBy)
            return Synth::writePresetBytes(fd, data, n - shortBy);
        if (shortBy > 0)
            return 0;
        errno = ENOSPC;
        return -1;
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

    // The program of instrument 0 as a chunk (copied).
    std::vector<unsigned char> program()
    {
        void* data = nullptr;
        const int n = getChunkPreset(0, &data);
        if (n < 1 || !data)
            return {};
        const auto* p = static_cast<const unsigned char*>(data);
        return std::vector<unsigned char>(p, p + n);
    }

    std::string loadPath(int ins = 0) const
    {
        Tool::Disk::Path_c p;
        getSynGloIns()->getParaPath(ins, SynGloInsPara::LoadPath, &p);
        return p.getString();
    }

    // The queued user messages, oldest first; their texts are freed, other
    // records go back into the ring.
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

    TestModule globalProgram{TypePGLO};
    std::vector<std::unique_ptr<TestModule>> osc;
    Instrument_c instrument{2};
    int rowPGLO = -1;
    int rowVOSC = -1;
    int writes = 0;
    int failFrom = -1;
    size_t shortBy = 0;
};

inline std::vector<unsigned char> fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline uint32_t bigEndianAt(const std::vector<unsigned char>& b, size_t at)
{
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | uint32_t(b[at + 3]);
}

inline void putBigEndianAt(std::vector<unsigned char>& b, size_t at, uint32_t v)
{
    b[at] = static_cast<unsigned char>(v >> 24);
    b[at + 1] = static_cast<unsigned char>(v >> 16);
    b[at + 2] = static_cast<unsigned char>(v >> 8);
    b[at + 3] = static_cast<unsigned char>(v);
}

} // namespace PresetTest
