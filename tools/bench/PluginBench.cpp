// The whole stereo plug-in as a host runs it: loaded from its shared object
// through VSTPluginMain, opened at 48 kHz, 32 notes of the default program
// held, and audio pulled through processReplacing in blocks of 256 frames.
// Each iteration renders one second; "rtf" is the real-time factor (seconds
// of audio per second of CPU time), on the one thread that renders.
//
// The plug-in is the one built beside this tool; TESSEL_BENCH_PLUGIN names
// another.
#include "VstInterface.h"

#include <benchmark/benchmark.h>

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr float Rate = 48000.0f;
constexpr int Block = 256;
constexpr int SecondBlocks = 48000 / Block; // 187.5: the iteration renders 188 blocks
constexpr int HeldNotes = 32;

intptr_t benchHost(AEffect*, int32_t opcode, int32_t, intptr_t, void* ptr, float)
{
    switch (opcode) {
    case audioMasterVersion:
        return 2400;
    case audioMasterCanDo:
        return std::strcmp(static_cast<const char*>(ptr), "supplyIdle") == 0 ? 1 : 0;
    default:
        return 0; // every pin connected, no time information
    }
}

std::string pluginPath()
{
    if (const char* path = std::getenv("TESSEL_BENCH_PLUGIN"))
        return path;
    return std::string(TESSEL_BENCH_PLUGIN_DIR) + "/Tessel3-Stereo.so";
}

class HeldChord
{
public:
    HeldChord()
    {
        const std::string path = pluginPath();
        library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            error = "cannot load " + path + ": " + dlerror();
            return;
        }
        auto entry = reinterpret_cast<AEffect* (*)(audioMasterCallback)>(dlsym(library, "VSTPluginMain"));
        effect = entry ? entry(benchHost) : nullptr;
        if (!effect) {
            error = path + " gave no plug-in";
            return;
        }
        call(effOpen);
        call(effSetSampleRate, 0, 0, nullptr, Rate);
        call(effSetBlockSize, 0, Block);
        call(effMainsChanged, 0, 1);
        for (auto& channel : buffers)
            channel.assign(Block, 0.0f);
        outputs = {buffers[0].data(), buffers[1].data()};
        block(); // the outputs are checked before the notes come
        // 32 keys a whole tone apart from C2, all at once.
        std::vector<VstMidiEvent> notes(HeldNotes);
        for (int k = 0; k < HeldNotes; ++k) {
            notes[static_cast<size_t>(k)] = {};
            notes[static_cast<size_t>(k)].type = kVstMidiType;
            notes[static_cast<size_t>(k)].byteSize = sizeof(VstMidiEvent);
            notes[static_cast<size_t>(k)].midiData[0] = static_cast<char>(0x90);
            notes[static_cast<size_t>(k)].midiData[1] = static_cast<char>(36 + 2 * k);
            notes[static_cast<size_t>(k)].midiData[2] = 100;
        }
        // VstEvents declares two pointers; hosts size the record for more.
        std::vector<void*> list(2 + HeldNotes);
        auto* events = reinterpret_cast<VstEvents*>(list.data());
        events->numEvents = HeldNotes;
        for (int k = 0; k < HeldNotes; ++k)
            events->events[k] = reinterpret_cast<VstEvent*>(&notes[static_cast<size_t>(k)]);
        call(effProcessEvents, 0, 0, events);
        // Past the attacks: the steady cost of 32 sounding voices.
        for (int b = 0; b < SecondBlocks / 2; ++b)
            block();
    }
    ~HeldChord()
    {
        if (effect) {
            call(effMainsChanged, 0, 0);
            call(effClose);
        }
        if (library)
            dlclose(library);
    }

    float block()
    {
        effect->processReplacing(effect, nullptr, outputs.data(), Block);
        return buffers[0][Block - 1];
    }
    float second()
    {
        float last = 0.0f;
        for (int b = 0; b <= SecondBlocks; ++b)
            last += block();
        return last;
    }

    std::string error;

private:
    intptr_t call(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f)
    {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }

    void* library = nullptr;
    AEffect* effect = nullptr;
    std::vector<float> buffers[2];
    std::vector<float*> outputs;
};

void StereoPluginThirtyTwoNotes(benchmark::State& state)
{
    HeldChord chord;
    if (!chord.error.empty()) {
        state.SkipWithError(chord.error.c_str());
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(chord.second());
    // Each iteration is (SecondBlocks + 1) blocks of audio.
    const double seconds = (SecondBlocks + 1) * Block / static_cast<double>(Rate);
    state.counters["rtf"] =
        benchmark::Counter(seconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(StereoPluginThirtyTwoNotes)->Unit(benchmark::kMillisecond)->MinTime(2.0);
