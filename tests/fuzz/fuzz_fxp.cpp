// Feeds arbitrary bytes as an FXP program file to a fresh engine's import,
// the way a preset chosen in a file dialog or named by a project reaches it.
// The engine has one instrument whose program memory holds the blocks of a
// module with a parameter of each kind (numbers, a menu, texts, a float
// array). Whatever the import took, the program must then survive an
// export and an import into another engine byte for byte.
#include "Instrument.h"
#include "RegMod.h"
#include "Part.h"
#include "Synth.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int32_t FourCC(char a, char b, char c, char d)
{
    return (int32_t(uint8_t(a)) << 24) | (int32_t(uint8_t(b)) << 16) | (int32_t(uint8_t(c)) << 8) | uint8_t(d);
}

const char* const ModeItems = "CircularLinear  ";

class FuzzModule : public Part_c
{
public:
    explicit FuzzModule(int32_t code) : code(code) {}
    int getTypeCode() const override { return code; }
    using Part_c::getParaSetPtr;
    bool getParaSetPtr(ParaSet_c** shared) override { return getParaSetPtr(shared, 1); }
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override
    {
        if (!createParaSet(shared, nSets, 8))
            return false;
        if (paraSet->getParaDefined())
            return true;
        Parameter_c* p = paraSet->getParaPtr(0);
        p[0].createNum("Version", "", 0, 200, 9900, 2, 200, 0);
        p[1].createNum("Level", "%", 0, 0, 10000, 2, 5000, 0);
        p[2].createEnu("Mode", "", 0, 1, 8, 0, ModeItems, nullptr);
        p[3].createCharPtr("Name", true, true, "Init");
        p[4].createFloatArray("Steps", 4);
        p[5].createString("Sample", true, true);
        p[6].createOnOff("Switch", 0);
        p[7].createNote("Key", 0, 12700, 2, 6000);
        return paraSet->spreadPara();
    }

private:
    const int32_t code;
};

intptr_t quietHost(AEffect*, int32_t opcode, int32_t, intptr_t, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}

class FuzzEngine : public Synth
{
public:
    FuzzEngine()
        : Synth(quietHost, {.programs = 8,
                            .parameterSlots = 967,
                            .hostParameters = 602,
                            .productName = "Fuzz",
                            .acceptedIds = "Tsx3,Tsy2",
                            .versionText = "1.0",
                            .codeName = "FxpFuzz"})
    {
        setUniqueID(FourCC('T', 's', 'x', '3'));
        open();
    }
    ~FuzzEngine() override
    {
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
        registerFirstModul(&row, &programPart, 0, 1, rmgInstrument);
        registerFirstModul(&row, &voicePart, 0, 1, rmgInstrument);
        // No idle work: a message about a refused block stays queued and
        // goes with the engine, and no timer thread starts per input.
        idleTimer.stopTimer();
    }
    std::vector<unsigned char> program()
    {
        void* data = nullptr;
        const int n = getChunkPreset(0, &data);
        if (n < 1 || !data)
            return {};
        const auto* p = static_cast<const unsigned char*>(data);
        return std::vector<unsigned char>(p, p + n);
    }

    Instrument_c instrument{2};
    FuzzModule programPart{FourCC('P', 'G', 'L', 'O')};
    FuzzModule voicePart{FourCC('V', 'O', 'S', 'C')};
};

// Two files of this process's own in the temporary folder.
std::string tempFile(const char* tag)
{
    const char* folder = std::getenv("TMPDIR");
    std::string name = std::string(folder && *folder ? folder : "/tmp") + "/fuzz_fxp_" + tag + "_XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        std::abort();
    ::close(fd);
    return name;
}

void writeFile(const std::string& path, const uint8_t* data, size_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        std::abort();
    size_t done = 0;
    while (done < size) {
        const ssize_t r = ::write(fd, data + done, size - done);
        if (r <= 0)
            std::abort();
        done += static_cast<size_t>(r);
    }
    ::close(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    static const std::string input = tempFile("in");
    static const std::string again = tempFile("again");
    writeFile(input, data, size);

    FuzzEngine engine;
    if (engine.importPatch(0, Tool::Disk::Path_c(input.c_str())) < 1)
        return 0;
    const std::vector<unsigned char> loaded = engine.program();
    if (loaded.empty())
        return 0;
    engine.exportPatch(0, Tool::Disk::Path_c(again.c_str()));
    FuzzEngine other;
    if (other.importPatch(0, Tool::Disk::Path_c(again.c_str())) < 1 || other.program() != loaded)
        std::abort();
    return 0;
}
