// Feeds arbitrary bytes to the SoundFont 2 importer, as a file chosen by the
// user reaches it. Whatever the bytes, the import must end (no walk in
// circles), read nothing outside the image, and either fill the memory's
// zones with sane values or, when it refuses the image, leave the zones the
// memory held before exactly as they were.
#include "InterSF2.h"
#include "WaveRAM2.h"
#include "WaveSample.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

// A sentinel zone the memory holds before every import.
int16_t sentinel[500];

void preload(WaveRAM2_c& m)
{
    for (int i = 0; i < 500; ++i)
        sentinel[i] = static_cast<int16_t>((i * 97) % 2000 - 1000);
    m.setSample(0, 0, sentinel, 500, 44100);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static WaveRAM2_c memory;
    static bool ready = false;
    if (!ready) {
        memory.setSampleRate(44100.0f);
        ready = true;
    }
    preload(memory);
    const WaveSample_c* zone0 = memory.getSample(0, 0);
    const float* before = zone0->left;

    InterSF2_c reader(nullptr, &memory, 0);
    const bool accepted = reader.interpretMemory(data, size);
    if (!accepted && (zone0->left != before || zone0->frames != 500))
        std::abort(); // a refused file changed the memory

    for (int z = 0; z < WaveRAM2_c::NumZones; ++z) {
        const WaveSample_c* s = memory.getSample(0, z);
        if (!s->left)
            continue;
        if (s->frames < 1 || s->sampleRate < 1 || s->sampleRate > WaveSample_c::SampleRateLimit)
            std::abort();
        if (s->loopStart < 0 || s->loopStart > s->loopEnd || (s->loopEnd > 0 && s->loopEnd >= s->frames))
            std::abort();
        if (!std::isfinite(s->left[s->frames - 1]))
            std::abort();
        const int root = memory.getParaVal(0, WaveRAM2_c::zonePara(z, WaveRAM2_c::zpRoot));
        if (root < 0 || root > 127)
            std::abort();
    }
    return 0;
}
