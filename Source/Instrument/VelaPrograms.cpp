// Vela_c's programs and their samples. A program names the samples its
// generators play; it does not hold them. So before a program is stored the
// names of stores it does not play are left out, an exported preset takes its
// samples along into its folder, and an imported one finds them again
// relative to its own folder, loading them only once every value is in.
// Programs of the predecessor format are converted when they arrive.
//
// Threads: all of it runs on the user interface thread (the conversion also
// where the change hook runs); the audio thread is kept out of a program
// being replaced by the first instrument's write lock.
#include "Vela.h"

#include "Disk.h"
#include "OsLib.h"
#include "Parameter.h"
#include "SysGlo.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using G = VelaGlo_c;

// The gain of a predecessor's generator mix, in the volume parameter's steps;
// a silent side (log of 0) gives a value far below any volume's floor, which
// the parameter then clamps to its floor.
int mixLevel(double gain)
{
    const double level = gain > 0.0 ? 100.0 * std::log10(gain) + 0.5 : -1.0e6;
    return static_cast<int>(std::trunc(std::clamp(level, -1.0e6, 1.0e6)));
}

} // namespace

void Vela_c::postprocessC2load(int)
{
    // Always set 0: the predecessor had one program part.
    constexpr int set = 0;
    G* glo = &globalPart;
    // Every write goes through the change hook, so routes, effect slots and
    // displays follow the converted values.
    auto write = [&](Part_c* p, int parameter, int value) {
        if (!p)
            return;
        p->setParaVal(set, parameter, value);
        postprocessParaChange(set, p, parameter);
    };
    auto write01 = [&](Part_c* p, int parameter, float value) {
        if (!p)
            return;
        p->setPara01(set, parameter, value);
        postprocessParaChange(set, p, parameter);
    };
    auto module = [&](int number, int parameter, int value) { write(getModule(number), parameter, value); };
    auto module01 = [&](int number, int parameter, float value) { write01(getModule(number), parameter, value); };
    const int d = glo->getParaVal(set, G::gpDetune);
    if (d < 0)
        return; // already converted
    const double m = glo->getPara01(set, G::gpUnusedGenMix);
    const int s = glo->getParaVal(set, G::gpUnusedSpread);

    // 1. The old detune spreads the four slots' cents.
    const int c = (d >= 1 && d <= 19) ? 1 : d / 10;
    for (int k = 0; k < 4; ++k)
        write(glo, G::gpGenCent0 + k, (k & 1) ? -c : c);
    // 2. Mark the program converted; the second path and send are off.
    write(glo, G::gpDetune, -1);
    write(glo, G::gpVarOn0 + 1, 0);
    write(glo, G::gpEffOn1, 0);
    module01(70, 2, 0.0f);
    // 3. The old spread goes to the generators that mixed.
    const bool mix = glo->getParaVal(set, G::gpGen0Routing) == 0;
    if (mix) {
        module(52, 12, s);
        module(56, 9, s);
        module(60, 8, s);
    }
    module(53, 12, s);
    module(57, 9, s);
    module(61, 8, s);
    // 4. The old mix as two volumes.
    write(glo, G::gpGenVol0, mixLevel(1.0 - 0.999 * m));
    write(glo, G::gpGenVol0 + 1, mix ? mixLevel(0.999 * m) : 0);
    // 5. The first path follows its ladder filter's switch.
    if (Part_c* ladder = getModule(66))
        write(glo, G::gpVarOn0, ladder->getParaVal(set, 1));
    // 6. The old send effect moves into the serial chain.
    write(glo, G::gpEffXType0, glo->getParaVal(set, G::gpEffType0));
    sortXFx(set, 0);
    write(glo, G::gpEffXOn0, glo->getParaVal(set, G::gpEffOn0));
    write(glo, G::gpEffType0, 5);
    // 7. The old distortion's drive becomes the filter effect's.
    const int g = getModule(88) ? getModule(88)->getParaVal(set, 2) : 0;
    module(107, 4, g);
    write01(glo, G::gpFxWet0, 1.0f);
    if (g >= 1) {
        write(glo, G::gpEffOn0, 1);
        module01(107, 5, 1.0f);
        module01(107, 6, 0.0f);
        module01(107, 8, 0.0f);
    } else {
        write(glo, G::gpEffOn0, 0);
    }
    // 8, 9. Centred generator panners, long generator envelope releases.
    module01(80, 2, 0.0f);
    module01(81, 2, 0.0f);
    module01(44, 5, 1.0f);
    module01(45, 5, 1.0f);
    // 10. Velocity to volume as the old "DMVol" said.
    write01(glo, G::gpVelVol, glo->getParaOn(set, G::gpMidiVolume) ? 1.0f : 0.0f);
    write01(glo, G::gpVelF1Cut, 0.0f);
    write01(glo, G::gpVelF2Cut, 0.0f);
}

int Vela_c::codeD4T()
{
    // The folder listing is taken once and walked by position: a preset that
    // fails to load is skipped (and reported) instead of being overwritten
    // with the live program or holding the walk on itself.
    const Tool::Disk::Path_c first = getLastLoadedPreset(0);
    if (first.empty())
        return 0;
    std::vector<Tool::Disk::Path_c> files;
    Tool::Disk::listFilesWithExt(first.getParent(), Tool::Disk::Extension_c("fxp"), files, MaxResaveFiles);
    auto start = std::find_if(files.begin(), files.end(),
                              [&](const Tool::Disk::Path_c& p) { return std::string(p.c_str()) == first.c_str(); });
    if (start == files.end()) {
        files.assign(1, first);
        start = files.begin();
    }
    std::string failed;
    int failures = 0;
    for (auto it = start; it != files.end(); ++it) {
        const Tool::Disk::Path_c file = *it;
        if (importPatch(0, file) > 0) {
            exportPatch(0, file);
        } else {
            ++failures;
            failed += std::string(file.c_str()) + "\n";
        }
    }
    if (failures > 0)
        tellUserSafe("Re-save", ("These presets did not load and were left as they were:\n" + failed).c_str());
    return failures;
}

// ---------------------------------------------------------------------------
// Sample names around a stored program

// The text parameters holding the names of the sample stores a program does
// not play. They are blanked only while the program is serialised and put
// back at once: the live stores keep their samples and names, so a slot
// switched back to its former generator after a save still has its sample.
class Vela_c::UnusedSampleNames
{
public:
    void add(Part_c* part, int set, int parameter)
    {
        Parameter_c* p = part ? part->getParaPtr(set, parameter) : nullptr;
        if (!p)
            return;
        Vdx::String_c text;
        part->getParaString(set, parameter, &text);
        if (text.empty())
            return;
        held.push_back({p, text});
        p->setCharPtr("");
    }
    ~UnusedSampleNames()
    {
        for (const Held& h : held)
            h.parameter->setString(h.text);
    }

private:
    struct Held
    {
        Parameter_c* parameter;
        Vdx::String_c text;
    };
    std::vector<Held> held;
};

void Vela_c::clearSamplesForSave(UnusedSampleNames& names)
{
    const int set = getEditIns();
    for (int slot = 0; slot < 4; ++slot) {
        const int type = slotType(set, slot);
        if (type != GenTimeSampler)
            names.add(&userSamples[slot], set, WaveRAM_c::wrFilename);
        if (type != GenWaveTable)
            names.add(&waveTables[slot], set, WaveTable_c::wtFilename);
        if (slot < 2 && type != GenLoopSampler)
            for (int z = 0; z < WaveRAM2_c::NumZones; ++z)
                names.add(&multiSamples[slot], set, WaveRAM2_c::zonePara(z, WaveRAM2_c::zpFilename));
    }
}

int Vela_c::slotType(int set, int slot) const
{
    const int parameter = slot < 2 ? G::gpGenType0 + slot : G::gpGenType2 + slot - 2;
    const int type = globalPart.getParaVal(set, parameter);
    return slot >= 2 && type == GenLoopSampler ? GenOscillator : type;
}

int Vela_c::getChunkPreset(int instrumentIndex, void** data)
{
    UnusedSampleNames names;
    clearSamplesForSave(names);
    return Synth::getChunkPreset(instrumentIndex, data);
}

void Vela_c::exportPatch(int instrumentIndex, const Tool::Disk::Path_c& path)
{
    if (path.empty())
        return;
    // The samples the program plays go next to the preset first, so the
    // stored program names them there.
    const Tool::Disk::Path_c folder = path.getParent();
    const int set = std::max(0, instrumentIndex);
    for (int slot = 0; slot < 4; ++slot) {
        switch (slotType(set, slot)) {
        case GenLoopSampler: multiSamples[slot].dumpToPath(0, 0, true, folder); break;
        case GenWaveTable: waveTables[slot].dumpToPath(folder, true); break;
        case GenTimeSampler: userSamples[slot].dumpToPath(folder, true); break;
        default: break;
        }
    }
    Synth::exportPatch(instrumentIndex, path);
}

int Vela_c::importPatch(int instrumentIndex, const Tool::Disk::Path_c& path)
{
    if (path.empty())
        return 0;
    setAcceptMIDI(false);
    importFolder = path.getParent();
    setAllLoadsEnabled(false);
    // Frame values of the preset must not be cut to the length of a sample
    // that is not loaded yet.
    for (WaveRAM2_c& store : multiSamples)
        for (int k : {WaveRAM2_c::zpStartFrame, WaveRAM2_c::zpLoopStart, WaveRAM2_c::zpLoopEnd,
                      WaveRAM2_c::zpLoopModRange})
            store.setParaHiVal(0, WaveRAM2_c::zonePara(0, k), 9999999);
    importing = true;
    const int result = Synth::importPatch(instrumentIndex, path);
    // Blocks until held: the program must not be applied under a rendering
    // audio thread.
    Instrument_c* first = getInstPtr(0);
    if (first)
        first->renderLock.getWritePermission();
    if (result > 0) {
        continueSetChunkPreset(instrumentIndex, true);
    } else {
        // A file that did not load leaves the live program and its samples
        // as they are: no values from program memory, and its folder must
        // not become theirs.
        for (WaveRAM2_c& store : multiSamples)
            store.clearAllSampleLimits(instrumentIndex);
        setAllLoadsEnabled(true);
        instrument.ReceiveMIDI(true);
    }
    if (first)
        first->renderLock.releaseWritePermission();
    importing = false;
    setAcceptMIDI(true);
    return result;
}

void Vela_c::setAllLoadsEnabled(bool on)
{
    for (auto& s : userSamples)
        s.setFlagLoadEnabled(on);
    for (auto& s : waveTables)
        s.setFlagLoadEnabled(on);
    for (auto& s : multiSamples)
        s.setFlagLoadEnabled(on);
}

void Vela_c::setParaFromPrg(int instrumentIndex)
{
    for (WaveRAM2_c& store : multiSamples)
        store.clearAllSampleLimits(instrumentIndex);
    Synth::setParaFromPrg(instrumentIndex);
}

void Vela_c::continueSetChunkPreset(int instrumentIndex, bool rebase)
{
    setParaFromPrg(instrumentIndex); // the zones' frame limits lifted first
    if (importing && rebase) {
        for (auto& s : userSamples)
            s.swapDirectory(importFolder);
        for (auto& s : waveTables)
            s.swapDirectory(importFolder);
        // The preset's loop points win over those in the sample files.
        for (WaveRAM2_c& store : multiSamples) {
            store.setFlagTakeFileLoops(false);
            store.swapDirectory(importFolder, 0, 0);
            store.setFlagTakeFileLoops(true);
        }
    }
    setAllLoadsEnabled(true);
    handlePrgChanged(instrumentIndex);
    makeSure(0, getNumInstruments());
    updateEditor();
    if (getHostId() != 0)
        updateHostDisplay();
    instrument.ReceiveMIDI(true);
}

void Vela_c::idleOutsideLocks()
{
    // One zone's search at a time: the next starts once the user is done
    // with the last (whose folder may now find it without a question).
    if (missingSearchRunning.load())
        return;
    for (WaveRAM2_c& store : multiSamples) {
        uint64_t missing = store.takeMissingZones();
        for (int z = 0; z < WaveRAM2_c::NumZones && missing; ++z) {
            const uint64_t bit = uint64_t(1) << z;
            if (!(missing & bit))
                continue;
            missing &= ~bit;
            if (searchMissingSample(store, z)) {
                store.markMissingZones(missing);
                return;
            }
        }
    }
}

bool Vela_c::searchMissingSample(WaveRAM2_c& store, int z)
{
    Tool::Disk::Path_c missing;
    {
        LockWriteScope engine(engineLock);
        if (!zoneStillMissing(store, z, nullptr, &missing))
            return false;
    }
    // The questions and the dialog wait on the panel thread; each load
    // takes the engine lock, and a zone that another load has meanwhile
    // given a new file or data counts as done, so nothing is asked for it
    // again. The store and this engine outlive the answers (the panel queue
    // is stopped before the tables go).
    missingSearchRunning = true;
    store.handleMissingSample(
        0, z, missing,
        [this, &store, z, missing](const Tool::Disk::Path_c& file) {
            LockWriteScope engine(engineLock);
            if (!zoneStillMissing(store, z, &missing, nullptr))
                return true;
            const bool loaded = store.setSampleCore(0, z, file);
            if (loaded)
                updateEditor();
            return loaded;
        },
        [this] { missingSearchRunning = false; });
    updateEditor();
    // Still running: its end (in an idle round) lets the next zone start.
    return missingSearchRunning.load();
}

bool Vela_c::zoneStillMissing(WaveRAM2_c& store, int z, const Tool::Disk::Path_c* expected, Tool::Disk::Path_c* named)
{
    Tool::Disk::Path_c now;
    store.getParaPath(0, WaveRAM2_c::zonePara(z, WaveRAM2_c::zpFilename), &now);
    if (named)
        *named = now;
    const bool same = !expected || now.isIdenticalPath(*expected);
    return same && !now.empty() && !store.waveSampleHasData(0, z);
}

namespace {

// The values every program has once loaded, whatever it stored: module
// number, parameter, value.
struct MadeSure_t
{
    int module;
    int parameter;
    int value;
};
constexpr MadeSure_t MadeSureValues[] = {
    {50, 6, 0}, {50, 7, 0}, // the envelopes' "Pitch Scal" and "Veloc.Scal"
    {48, 6, 0}, {48, 7, 0}, {49, 6, 0}, {49, 7, 0}, {44, 6, 0}, {44, 7, 0},
    {45, 6, 0}, {45, 7, 0}, {46, 6, 0}, {46, 7, 0}, {47, 6, 0}, {47, 7, 0},
    {52, 1, 1},  {57, 1, 1},
    {101, 7, 1}, {121, 7, 1}, {141, 7, 1}, // each chorus's "Chorus Mode": four voices
};

} // namespace

void Vela_c::makeSure(int set)
{
    Synth::makeSure(set);
    for (const MadeSure_t& m : MadeSureValues)
        if (Part_c* p = getModule(m.module))
            p->setParaVal(set, m.parameter, m.value);
    sortXFx(set, -1);
}

void Vela_c::storeMadeSure(int prog, const ParaSet_c* set, unsigned char* block, int bytes)
{
    // Live values stay as they are (a host may have moved one since the
    // last load); only the stored program holds what a load makes of it.
    for (const MadeSure_t& m : MadeSureValues) {
        const Part_c* p = getModule(m.module);
        if (!p || p->getParaSet() != set)
            continue;
        const int at = set->getEntryOffset(prog, m.parameter);
        if (at >= 0 && at + 4 <= bytes)
            std::memcpy(block + at, &m.value, sizeof m.value);
    }
}

void Vela_c::makeSure(int first, int end)
{
    Synth::makeSure(first, end);
    if (SynGlo_c* settings = getSynGlo()) {
        settings->setParaHiVal(0, SynGloPara::EditIns, 0);
        settings->setParaHiVal(0, SynGloPara::EditPage, 6);
    }
}

Tool::Disk::Path_c Vela_c::startupFolder()
{
    Vdx::String_c data;
    OsLib_c::recallStringCore(Vdx::String_c(CodeName) + "Data", &data);
    Tool::Disk::Path_c base(data);
    if (base.empty()) {
        // Without the preference the data folder is the system's own one,
        // never a folder relative to wherever the host runs.
        Disk_c disk;
        base = disk.getPlugDir(this);
    }
    if (base.empty())
        return Tool::Disk::Path_c();
    return base / Tool::Disk::Path_c("Tessel 3 Banks") / Tool::Disk::Path_c("Ambient Sounds");
}

void Vela_c::loadStartupPatches()
{
    const Tool::Disk::Path_c folder = startupFolder();
    if (folder.empty())
        Synth::loadStartupPatches();
    else
        loadStartupPatchesFrom(folder, true);
    // Once: a later resume (a host stopping and starting its engine, or
    // changing its block size) must not put the start-up program back over
    // the one the musician chose.
    programsLoaded = true;
}

void Vela_c::updateVersionInfo()
{
    char text[64];
    std::snprintf(text, sizeof(text), "%s - %s", VersionText, getNumOutputs() == 6 ? "5.1 Surround" : "Stereo");
    if (SysGlo_c* sys = getSysGlo())
        sys->setParaCharPtr(0, SysGloPara::VersionString, text);
}
