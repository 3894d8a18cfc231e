// An engine for the preset-file tests: the configurable test engine with one
// instrument, eight programs, the identifier 'Tsx3' (accepting "Tsx3,Tsy2")
// and its two instrument modules from row 2 on, so a program memory holds
// real parameter-set blocks. Preset files are really read and written. A
// writer can be injected that fails from a given write on; the host callback
// records the automation it is sent.
#pragma once

#include "ConfigurableTestEngine.h"
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

using EngineTest::Message;
using EngineTest::TypePGLO;
using EngineTest::TypeVOSC;
using RegistryTest::fourCC;
using RegistryTest::TestModule;

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

class PresetTestEngine : public EngineTest::ConfigurableTestEngine
{
public:
    // The descriptor the engine uses as the dirty marker.
    static constexpr int DirtyMarker = 601;

    PresetTestEngine()
        : ConfigurableTestEngine({.figures = {.programs = Programs,
                                              .parameterSlots = 967,
                                              .hostParameters = 602,
                                              .productName = "Test",
                                              .acceptedIds = "Tsx3,Tsy2",
                                              .versionText = "1.0",
                                              .codeName = "PstTest"},
                                  .host = HostRecorder::callback,
                                  .dirtyMarker = DirtyMarker})
    {
        setUniqueID(OwnId);
        open();
        HostRecorder::take();
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
