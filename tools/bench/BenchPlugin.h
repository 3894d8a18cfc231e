// What the whole-plug-in benchmarks and the render comparison share: a built
// plug-in loaded from its shared object as a host loads it, the chord they
// play, and the heaviest patch.
//
// Thread: everything here runs on the benchmark's one thread, which is both
// the plug-in's user-interface thread and its audio thread.
#pragma once

#include "VstInterface.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Bench {

constexpr float Rate = 48000.0f;
constexpr int SecondFrames = 48000;
constexpr int HeldNotes = 32;
// The block sizes of the table: what live hosts run (32..128), the usual 256
// and a large block that the engine cuts into pieces.
constexpr int TableBlocks[] = {32, 64, 128, 256, 1024};

// The host the benchmarks play: VST 2.4, it supplies idle calls, every pin
// connected, no time information.
intptr_t benchHost(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);

enum class Build { Stereo, Surround };
const char* buildName(Build build);
// The plug-in of that build in folder dir; without one, in the folder the
// environment variable TESSEL_BENCH_PLUGIN_DIR names, else the one built
// beside this tool.
std::string pluginPath(Build build, const std::string& dir = {});

// The patch a voice plays.
enum class Patch {
    Default,  // the program the plug-in opens with
    Heaviest, // four unison oscillators, both filter paths, six effects with two reverbs
    Panned    // the default program with all seven 5.1 panners switched on
};
const char* patchName(Patch patch);

// One plug-in object loaded from its file, opened at 48 kHz in blocks of a
// fixed size, switched on and given every output pin. error says why not.
class LoadedPlugin
{
public:
    LoadedPlugin(const std::string& path, int blockFrames);
    ~LoadedPlugin();
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    // Loads a program chunk into the edited instrument, as a host restores a
    // preset; false when the plug-in refused it.
    bool loadProgram(const std::vector<uint8_t>& chunk);
    // The host parameter's value, 0..1, and a host's change of it.
    float parameter(int index);
    void setParameter(int index, float value);
    // Note-on (velocity > 0) or note-off of keys first, first + step, ...
    // count of them, all at frame `offset` of the next block.
    void chord(int first, int step, int count, int velocity, int offset = 0);
    // One block through processReplacing; the outputs hold it afterwards.
    void block();

    int outputCount() const { return static_cast<int>(outputs.size()); }
    int blockFrames() const { return frames; }
    const float* output(int channel) const { return buffers[static_cast<size_t>(channel)].data(); }

    std::string error;

private:
    intptr_t call(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f);

    void* library = nullptr;
    AEffect* effect = nullptr;
    int frames = 0;
    std::vector<std::vector<float>> buffers;
    std::vector<float*> outputs;
    std::vector<VstMidiEvent> pending;
    std::vector<void*> eventList;
};

// The heaviest patch as a program chunk, made once by an engine of this
// tool's own (the plug-in's host parameters do not reach the generator and
// types): all four slots play oscillators with unison spread, both filter
// paths play their ladders, and all six effect slots run: both send slots a
// reverb, the four serial slots a chorus, a phaser, a flanger and the
// ping-pong delay. Empty when the engine could not make it.
const std::vector<uint8_t>& heaviestPatchChunk();
// Loads it into plugin; false when the plug-in did not take it.
bool loadHeaviestPatch(LoadedPlugin& plugin);
// Loads patch into plugin (the default program needs nothing); false when
// the plug-in did not take it.
bool loadPatch(LoadedPlugin& plugin, Patch patch);

// A plug-in of that build and block size playing patch with 32 notes held
// (keys a whole tone apart from C2), past their attacks. Each call of
// second() re-strikes the chord at the start of the second (unless restrike
// is false: the notes are only held), then renders ceil(48000 / block)
// blocks; secondFrames() says how many frames that was.
class ChordPlayer
{
public:
    ChordPlayer(Build build, Patch patch, int blockFrames, const std::string& dir = {}, bool restrike = true);
    float second();
    int secondFrames() const { return blocksPerSecond * plugin.blockFrames(); }
    LoadedPlugin plugin;
    std::string& error = plugin.error;

private:
    int blocksPerSecond = 0;
    bool restrike = true;
};

} // namespace Bench
