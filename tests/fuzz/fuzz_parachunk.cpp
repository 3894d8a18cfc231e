// Feeds arbitrary bytes to the parameter-set chunk reader, the way project
// chunks, FXP and module files and the stored settings reach it, on a set with
// one parameter of each type. Whatever was read must then write back a chunk
// of exactly getChunkSize bytes, and that chunk must read back to itself.
#include "ParaSet.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const char* const ModeItems = "CircularLinear  ";
const char* const AltModes[] = {"Circ    Lin     ", nullptr};

void define(ParaSet_c& set)
{
    Parameter_c* p = set.getParaPtr(0);
    p[0].createNum("Version", "", 0, 200, 9900, 2, 200, 0);
    p[1].createEnu("Mode", "", 0, 1, 8, 0, ModeItems, AltModes);
    p[2].createChannel("Channel", 0, 16, 16);
    p[3].createNote("Key", 0, 12700, 2, 6000);
    p[4].createVolume("Level", -24, 6, 0, true);
    p[5].createOnOff("Switch", 0);
    p[6].createCharPtr("Name", true, true, "Init");
    p[7].createFloatArray("Steps", 4);
    p[8].createPan("Pan");
    p[9].createSel("Page", 0, 5, 0);
    p[10].createString("Sample", true, true);
    p[11].createNum("Rate", "Hz", 3.0f, 0, 10000, 0, 100, 0);
    set.spreadPara();
}

std::vector<unsigned char> write(const ParaSet_c& set, int s)
{
    const int size = set.getChunkSize(s);
    std::vector<unsigned char> out(static_cast<size_t>(size));
    if (set.getChunk(reinterpret_cast<int*>(out.data()), s) != size)
        std::abort();
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    ParaSet_c set(0x53595053, 2, 12);
    define(set);

    std::vector<unsigned char> chunk(data, data + size);
    ParaChunkHeader_t header;
    if (set.matchesChunk(chunk.data(), static_cast<long long>(chunk.size()), &header) && header.size > 0)
        set.setChunk(chunk.data(), header.size, 1);
    if (set.setChunk(chunk.data(), static_cast<int>(chunk.size()), 0) != static_cast<int>(chunk.size()))
        std::abort();

    Vdx::String_c text;
    for (int i = 0; i < set.getParaCount(); ++i)
        set.getDisplay(0, i, text);

    const std::vector<unsigned char> first = write(set, 0);
    std::vector<unsigned char> again = first;
    set.setChunk(again.data(), static_cast<int>(again.size()), 1);
    if (write(set, 1) != first)
        std::abort();
    return 0;
}
