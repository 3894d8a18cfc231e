#include "BenchPlugin.h"

#include "Capacities.h"
#include "EPAS.h"
#include "Vela.h"
#include "VelaGlo.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

namespace Bench {

intptr_t benchHost(AEffect*, int32_t opcode, int32_t, intptr_t, void* ptr, float)
{
    switch (opcode) {
    case audioMasterVersion:
        return 2400;
    case audioMasterCanDo:
        return ptr && std::strcmp(static_cast<const char*>(ptr), "supplyIdle") == 0 ? 1 : 0;
    default:
        return 0; // every pin connected, no time information
    }
}

namespace {

// Global parameter para of the engine's own plug-in object to an integer
// value through its external entry, so the change hook runs as for a host or
// the editor. False when no entry reaches it.
bool setGlobal(Vela_c& vela, int para, int value)
{
    Part_c* glo = vela.getModule(0);
    if (!glo)
        return false;
    const int before = glo->getParaVal(0, para);
    glo->setParaVal(0, para, value);
    const float x = glo->getPara01(0, para);
    glo->setParaVal(0, para, before);
    for (int i = 0; i < NumParameterSlots; ++i) {
        const EPAS_c* d = vela.getEPAS(i);
        if (d && d->target == glo && d->parameter == para && d->selector == 0 && !d->readOnly) {
            vela.setParameterAutomated(i, x);
            return glo->getParaVal(0, para) == value;
        }
    }
    return false;
}

std::vector<uint8_t> makeHeaviestPatch()
{
    // effClose deletes the object, as for any plug-in a host closes.
    Vela_c* vela = new Vela_c(benchHost, false);
    AEffect* e = vela->getAeffect();
    auto call = [e](int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f) {
        return e->dispatcher(e, opcode, index, value, ptr, opt);
    };
    call(effOpen);
    call(effSetSampleRate, 0, 0, nullptr, Rate);
    call(effSetBlockSize, 0, MaxBlockSize);
    bool ok = true;
    // Every slot an oscillator, and on.
    for (int k = 0; k < 2; ++k) {
        ok &= setGlobal(*vela, VelaGlo_c::gpGenType0 + k, Vela_c::GenOscillator);
        ok &= setGlobal(*vela, VelaGlo_c::gpGenOn0 + k, 1);
        ok &= setGlobal(*vela, VelaGlo_c::gpGenType2 + k, Vela_c::GenOscillator);
        ok &= setGlobal(*vela, VelaGlo_c::gpGenOn2 + k, 1);
    }
    // Both filter paths on, each with its ladder filter.
    for (int k = 0; k < 2; ++k) {
        ok &= setGlobal(*vela, VelaGlo_c::gpVarType0 + k, 0);
        ok &= setGlobal(*vela, VelaGlo_c::gpVarOn0 + k, 1);
    }
    // Both send slots a reverb; the serial slots four other effects.
    constexpr int Reverb = 6, Chorus = 3, Phaser = 4, Flanger = 7, PingPong = 2;
    ok &= setGlobal(*vela, VelaGlo_c::gpEffType0, Reverb);
    ok &= setGlobal(*vela, VelaGlo_c::gpEffType1, Reverb);
    ok &= setGlobal(*vela, VelaGlo_c::gpEffOn0, 1);
    ok &= setGlobal(*vela, VelaGlo_c::gpEffOn1, 1);
    constexpr int Serial[4] = {Chorus, Phaser, Flanger, PingPong};
    for (int k = 0; k < 4; ++k) {
        ok &= setGlobal(*vela, VelaGlo_c::gpEffXType0 + 2 * k, Serial[k]);
        ok &= setGlobal(*vela, VelaGlo_c::gpEffXOn0 + 2 * k, 1);
    }
    // The four oscillators' unison spread: host parameters "Osc k Spread"
    // (36..39), halfway.
    for (int k = 0; k < 4; ++k)
        vela->setParameterAutomated(36 + k, 0.5f);
    std::vector<uint8_t> chunk;
    void* data = nullptr;
    const intptr_t size = ok ? call(effGetChunk, 1, 0, &data) : 0;
    if (size > 0 && data)
        chunk.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
    call(effClose);
    return chunk;
}

} // namespace

const char* buildName(Build build)
{
    return build == Build::Stereo ? "Stereo" : "51";
}

std::string pluginPath(Build build, const std::string& dir)
{
    std::string folder = dir;
    if (folder.empty()) {
        const char* chosen = std::getenv("TESSEL_BENCH_PLUGIN_DIR");
        folder = chosen && *chosen ? chosen : TESSEL_BENCH_PLUGIN_DIR;
    }
    return folder + "/Tessel3-" + buildName(build) + ".so";
}

const char* patchName(Patch patch)
{
    switch (patch) {
    case Patch::Default:
        return "DefaultProgram";
    case Patch::Heaviest:
        return "HeaviestPatch";
    case Patch::Panned:
        return "PannedProgram";
    }
    return "";
}

LoadedPlugin::LoadedPlugin(const std::string& path, int blockFrames) : frames(blockFrames)
{
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
    call(effSetBlockSize, 0, frames);
    call(effMainsChanged, 0, 1);
    buffers.assign(static_cast<size_t>(effect->numOutputs), std::vector<float>(static_cast<size_t>(frames), 0.0f));
    for (auto& channel : buffers)
        outputs.push_back(channel.data());
    block(); // the outputs are checked before the first notes come
}

LoadedPlugin::~LoadedPlugin()
{
    if (effect) {
        call(effMainsChanged, 0, 0);
        call(effClose);
    }
    if (library)
        dlclose(library);
}

bool LoadedPlugin::loadProgram(const std::vector<uint8_t>& chunk)
{
    if (chunk.empty())
        return false;
    std::vector<uint8_t> copy = chunk; // the host's memory, not ours
    return call(effSetChunk, 1, static_cast<intptr_t>(copy.size()), copy.data()) > 0;
}

float LoadedPlugin::parameter(int index)
{
    return effect->getParameter(effect, index);
}

void LoadedPlugin::setParameter(int index, float value)
{
    effect->setParameter(effect, index, value);
}

void LoadedPlugin::chord(int first, int step, int count, int velocity, int offset)
{
    for (int k = 0; k < count; ++k) {
        VstMidiEvent m{};
        m.type = kVstMidiType;
        m.byteSize = sizeof(VstMidiEvent);
        m.deltaFrames = offset;
        m.midiData[0] = static_cast<char>(velocity > 0 ? 0x90 : 0x80);
        m.midiData[1] = static_cast<char>(first + step * k);
        m.midiData[2] = static_cast<char>(velocity);
        pending.push_back(m);
    }
}

void LoadedPlugin::block()
{
    if (!pending.empty()) {
        // VstEvents declares two pointers; hosts size the record for more.
        eventList.assign(2 + pending.size(), nullptr);
        auto* events = reinterpret_cast<VstEvents*>(eventList.data());
        events->numEvents = static_cast<int32_t>(pending.size());
        for (size_t k = 0; k < pending.size(); ++k)
            events->events[k] = reinterpret_cast<VstEvent*>(&pending[k]);
        call(effProcessEvents, 0, 0, events);
    }
    effect->processReplacing(effect, nullptr, outputs.data(), frames);
    pending.clear();
}

intptr_t LoadedPlugin::call(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt)
{
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

const std::vector<uint8_t>& heaviestPatchChunk()
{
    static const std::vector<uint8_t> chunk = makeHeaviestPatch();
    return chunk;
}

bool loadPatch(LoadedPlugin& plugin, Patch patch)
{
    switch (patch) {
    case Patch::Default:
        return true;
    case Patch::Heaviest:
        return loadHeaviestPatch(plugin);
    case Patch::Panned:
        // Host parameters 510..516 ("51 1 OnOff"): the 5.1 panners of slots
        // 1 and 2, of both paths and of the three effect taps.
        for (int index = 510; index <= 516; ++index)
            plugin.setParameter(index, 1.0f);
        return plugin.parameter(512) > 0.5f;
    }
    return false;
}

bool loadHeaviestPatch(LoadedPlugin& plugin)
{
    // Host parameters 3 ("Osc 4 Operation") and 224 ("Effect 6 Operation")
    // are off in the default program.
    return plugin.loadProgram(heaviestPatchChunk()) && plugin.parameter(3) > 0.5f && plugin.parameter(224) > 0.5f;
}

ChordPlayer::ChordPlayer(Build build, Patch patch, int blockFrames, const std::string& dir, bool strikeAgain)
    : plugin(pluginPath(build, dir), blockFrames), restrike(strikeAgain)
{
    blocksPerSecond = (SecondFrames + blockFrames - 1) / blockFrames;
    if (!error.empty())
        return;
    if (!loadPatch(plugin, patch)) {
        error = std::string("the plug-in did not take ") + patchName(patch);
        return;
    }
    plugin.chord(36, 2, HeldNotes, 100);
    // Past the attacks: the steady cost of 32 sounding voices.
    for (int b = 0; b < blocksPerSecond / 2; ++b)
        plugin.block();
}

float ChordPlayer::second()
{
    // A player striking the chord again: each key's release and new start.
    if (restrike) {
        plugin.chord(36, 2, HeldNotes, 0);
        plugin.chord(36, 2, HeldNotes, 100);
    }
    float last = 0.0f;
    for (int b = 0; b < blocksPerSecond; ++b) {
        plugin.block();
        last += plugin.output(0)[plugin.blockFrames() - 1];
    }
    return last;
}

} // namespace Bench
