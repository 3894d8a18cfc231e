// Feeds arbitrary bytes to a fresh engine's setChunk, as a host restoring a
// song would: first as a bank, then as a program. The engine has a small
// module graph (two instrument program modules and a global module, with a
// parameter of each type) besides its settings and tuning.
// What must hold:
// - a refused chunk (answer 0) leaves the state exactly as it was: the bank
//   chunk written before and after is the same, byte for byte;
// - an accepted chunk gives a state whose chunk reads back to itself.
#include "Instrument.h"
#include "Part.h"
#include "RegMod.h"
#include "Synth.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

int fourCC(char a, char b, char c, char d)
{
    return (a << 24) | (b << 16) | (c << 8) | d;
}

// A host that supplies idle calls, so the engine's timer leaves the idle
// work to it (and the fuzzer's thread is the only one in the engine).
intptr_t host(AEffect*, int32_t opcode, int32_t, intptr_t, void* ptr, float)
{
    if (opcode == audioMasterVersion)
        return 2400;
    if (opcode == audioMasterCanDo && ptr && std::strcmp(static_cast<const char*>(ptr), "supplyIdle") == 0)
        return 1;
    return 0;
}

const char* const ModeItems = "CircularLinear  ";

class FuzzModule : public Part_c
{
public:
    explicit FuzzModule(int code) : code(code) {}
    int getTypeCode() const override { return code; }
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override
    {
        if (!createParaSet(shared, nSets, 8))
            return false;
        if (paraSet->getParaDefined())
            return true;
        Parameter_c* p = paraSet->getParaPtr(0);
        p[0].createNum("Version", "", 0, 200, 9900, 2, 200, 0);
        p[1].createCharPtr("Name", false, false, "Init");
        p[2].createEnu("Mode", "", 0, 1, 8, 0, ModeItems, nullptr);
        p[3].createFloatArray("Steps", 4);
        p[4].createString("Sample", true, true);
        p[5].createNum("Rate", "Hz", 3.0f, 0, 10000, 0, 100, 0);
        p[6].createOnOff("Switch", 0);
        p[7].createSel("Page", 0, 5, 0);
        return paraSet->spreadPara();
    }
    bool getParaSetPtr(ParaSet_c** shared) override { return getParaSetPtr(shared, 1); }

private:
    const int code;
};

class FuzzEngine : public Synth
{
public:
    FuzzEngine()
        : Synth(&host, {.programs = 4,
                        .parameterSlots = 16,
                        .hostParameters = 8,
                        .productName = "Fuzz",
                        .acceptedIds = "Tsx3,Tsy2",
                        .versionText = "1.0",
                        .codeName = "ChunkFuzz"})
    {
        open();
    }
    ~FuzzEngine() override
    {
        if (isOpen())
            closeShutdown();
    }
    void open() override
    {
        Synth::open();
        if (!isOpen())
            return;
        instrument.create(this, 0, 0, false);
        instruments[0] = &instrument;
        int row = -1;
        registerFirstModul(&row, &program, 0, 1, rmgInstrument);
        registerFirstModul(&row, &voice, 0, 1, rmgInstrument);
        registerFirstModul(&row, &global, 0, 1, rmgGlobal);
    }
    std::vector<unsigned char> bank()
    {
        void* data = nullptr;
        const int n = getChunk(&data, false);
        if (n < 1 || !data)
            std::abort(); // the state always has a chunk
        const unsigned char* p = static_cast<const unsigned char*>(data);
        return std::vector<unsigned char>(p, p + n);
    }

    Instrument_c instrument{2};
    FuzzModule program{fourCC('P', 'G', 'L', 'O')};
    FuzzModule voice{fourCC('V', 'O', 'S', 'C')};
    FuzzModule global{fourCC('G', 'F', 'X', '0')};
};

void check(FuzzEngine& engine, std::vector<unsigned char> input, bool isPreset)
{
    const std::vector<unsigned char> before = engine.bank();
    const int32_t result = engine.setChunk(input.empty() ? nullptr : input.data(),
                                           static_cast<int32_t>(input.size()), isPreset);
    const std::vector<unsigned char> after = engine.bank();
    if (result == 0) {
        if (after != before)
            std::abort(); // a refused chunk changed the state
        return;
    }
    std::vector<unsigned char> again = after;
    if (engine.setChunk(again.data(), static_cast<int32_t>(again.size()), false) != static_cast<int32_t>(again.size()))
        std::abort(); // our own chunk was refused
    if (engine.bank() != after)
        std::abort(); // the round trip changed something
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    const std::vector<unsigned char> input(data, data + size);
    FuzzEngine engine;
    check(engine, input, false);
    check(engine, input, true);
    return 0;
}
