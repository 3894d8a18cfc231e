// Vela_c's commands: what the editor's buttons and file menus ask of the
// sample stores and pages (processGUICmd), and the work the change hook
// starts for them: sample trims, the sample display's slider size, module
// files, SoundFont imports and their envelope, and auditioning a note.
//
// Threads: processGUICmd and everything that touches files run on the user
// interface thread; triggerNote only queues a record for the audio thread.
// The stores lock their own samples while they load, trim or clear them.
#include "Vela.h"

#include "Disk.h"
#include "InterSF2.h"
#include "ModuleManager.h"
#include "NoteFreqTable.h"
#include "Parameter.h"
#include "WaveSample.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using G = VelaGlo_c;

// External parameters the commands write or redraw.
constexpr int UserSampleEntry0 = 702; // + user-sample slot
constexpr int WaveTableEntry0 = 738;  // + wavetable store
constexpr int VarTypeEntry0 = 783;    // "Fil 0 Type", "Fil 1 Type"

constexpr const char* ClearTitle = "Clear Sample";
constexpr const char* ClearQuestion = "Do you want to unload the sample ?";

// The sample display is 317 pixels wide.
constexpr double DisplayPixels = 317.0;

// The items of a "File IO" menu (Load, Save, Copy, Paste, Init) as module
// file modes: "Init" is the reset, not the second clipboard.
constexpr tpfioMode FileIOModes[] = {tpfioLoad, tpfioSave, tpfioCopy1, tpfioPaste1, tpfioReset};

// A SoundFont reader that leaves the store alone until the file has parsed,
// and hands the file's volume envelope to the plug-in.
class VelaSF2Reader_c : public InterSF2_c
{
public:
    VelaSF2Reader_c(Vela_c* v, WaveRAM2_c* m) : InterSF2_c(v, m, 0), vela(v), store(m) {}

    void processData() override
    {
        std::vector<uint8_t> image;
        if (!readImage(image))
            return;
        SF2Rep_c rep;
        if (!parse(image.data(), image.size(), rep))
            return; // a bad file keeps every zone the store has
        store->freeAllSamples(0);
        imported = interpretMemory(image.data(), image.size());
    }

    bool imported = false;

protected:
    void handOverEnvelope(int, int* values) override { vela->setSF2Mod(0, values); }

private:
    Vela_c* vela;
    WaveRAM2_c* store;
};

} // namespace

bool Vela_c::processGUICmd(int command, int index, int value, void* pointer)
{
    BusyScope busyScope(*this);
    switch (command) {
    case CmdNextSample:
    case CmdPreviousSample:
    case CmdClearSample:
        return sampleCommand(command, index);
    case CmdNextWaveTable:
    case CmdPreviousWaveTable:
    case CmdClearWaveTable: {
        const int k = std::clamp(value, 0, 3);
        const int set = index < 0 || index >= getNumInstruments() ? getEditIns() : index;
        if (command == CmdClearWaveTable) {
            // The answer comes in a later idle round: nothing waits for it.
            askUserLater(ClearQuestion, ClearTitle, [this, k, set](bool yes) {
                if (!yes)
                    return;
                waveTables[k].clear(set);
                updateEditor(WaveTableEntry0 + k, false);
            });
        } else {
            waveTables[k].nextFile(command == CmdNextWaveTable, set);
        }
        updateEditor(WaveTableEntry0 + k, false);
        return true;
    }
    case CmdVarType0:
    case CmdVarType1:
        setParaVal(VarTypeEntry0 + command - CmdVarType0, value);
        updateEditor();
        return true;
    case CmdEditPage:
        setParaVal(EditPageEntry, value);
        updateEditor();
        return true;
    case CmdResaveFolder:
        codeD4T();
        return true;
    default:
        return Synth::processGUICmd(command, index, value, pointer);
    }
}

bool Vela_c::sampleCommand(int command, int slot)
{
    const bool userSlot = slot >= 0 && slot < 4;
    const bool loopSlot = slot == 10 || slot == 11;
    if (!userSlot && !loopSlot)
        return false; // no store answers to this number
    if (userSlot) {
        WaveRAM_c& store = userSamples[slot];
        if (command == CmdClearSample) {
            askUserLater(ClearQuestion, ClearTitle, [this, slot](bool yes) {
                if (!yes)
                    return;
                userSamples[slot].setParaCharPtr(0, WaveRAM_c::wrFilename, "");
                updateEditor(UserSampleEntry0 + slot, false);
            });
            return true;
        } else {
            store.nextSample(command == CmdNextSample, 0);
        }
        updateEditor(UserSampleEntry0 + slot, false);
        return true;
    }
    const int m = slot - 10;
    const int zone = getShownZone(m);
    WaveRAM2_c& store = multiSamples[m];
    if (command == CmdClearSample) {
        // The zone shown when the user asked is the one cleared.
        askUserLater(ClearQuestion, ClearTitle, [this, m, zone](bool yes) {
            if (!yes)
                return;
            WaveRAM2_c& cleared = multiSamples[m];
            cleared.setParaCharPtr(0, WaveRAM2_c::zonePara(zone, WaveRAM2_c::zpFilename), "");
            cleared.setParaVal(0, WaveRAM2_c::zonePara(zone, WaveRAM2_c::zpStartFrame), 0);
            cleared.setParaVal(0, WaveRAM2_c::zonePara(zone, WaveRAM2_c::zpLoopStart), 0);
            cleared.setParaVal(0, WaveRAM2_c::zonePara(zone, WaveRAM2_c::zpLoopEnd), 0);
            updateEditor();
        });
        return true;
    } else {
        store.nextSample(command == CmdNextSample, 0, zone);
    }
    updateEditor();
    return true;
}

void Vela_c::triggerNote(int, Note_c note)
{
    const NoteC_c record = NoteC_c::of(std::clamp(note.note, 0, 127), std::clamp(note.velocity, 0, 127), 0);
    holdProcNoteOn(0, record, true);
    // The first instrument renders its next block even with no voice yet.
    if (Instrument_c* first = getInstPtr(0))
        first->activeFlag.store(true, std::memory_order_relaxed);
}

void Vela_c::setSliderSize(int set, int sampler)
{
    const int s = std::clamp(sampler, 0, 1);
    const double zoom = std::exp2(13.0 * globalPart.getPara01(set, G::gpSDZoom0 + s));
    const WaveSample_c* sample = multiSamples[s].getSample(set, getShownZone(s));
    if (!sample || sample->frames < 1)
        return;
    const double size = std::clamp(zoom * DisplayPixels / sample->frames, 0.0, 1.0);
    globalPart.setPara01(set, G::gpSDSliderSize0 + s, static_cast<float>(size));
    updateEditor();
}

template <class Save>
void Vela_c::exportStore(int set, int index, int first, Save save)
{
    const int k = index - first;
    if (k < 0 || k > 3)
        return;
    Tool::Disk::Path_c path;
    globalPart.getParaPath(set, index, &path);
    save(k, path);
    updateEditor();
}

void Vela_c::trim(int set, int index)
{
    exportStore(set, index, G::gpExportSample0,
                [&](int k, const Tool::Disk::Path_c& path) { userSamples[k].trimTo(set, path); });
}

void Vela_c::trimWT(int set, int index)
{
    exportStore(set, index, G::gpExportWTG0, [&](int k, const Tool::Disk::Path_c& path) {
        const float factor = waveTables[k].trimTo(set, path, false);
        // The ride keeps pointing at the same place in the cut table.
        if (Part_c* generator = getModule(WaveTableGenerator0 + k))
            generator->setParaVal(set, WaveRideParameter,
                                  scaledRide(generator->getParaVal(set, WaveRideParameter), factor));
    });
}

int Vela_c::scaledRide(int ride, float factor)
{
    // A factor that is not a finite number, or one that would carry the
    // ride past what an int holds, leaves the ride where it is.
    const double scaled = ride * double(factor) + 0.25;
    if (!std::isfinite(scaled) || std::fabs(scaled) >= 2.0e9)
        return ride;
    return static_cast<int>(std::trunc(scaled));
}

void Vela_c::postprocessFileIO(int set, Part_c* part, int index)
{
    if (part != &globalPart)
        return;
    Part_c* module = nullptr;
    const char* name = nullptr;
    auto choose = [&](int number, const char* text) {
        module = getModule(number);
        name = text;
    };
    if (index >= G::gpFileIOGen0 && index < G::gpFileIOGen0 + 4) {
        const int slot = index - G::gpFileIOGen0;
        const int typeParameter = slot < 2 ? G::gpGenType0 + slot : G::gpGenType2 + slot - 2;
        switch (globalPart.getParaVal(set, typeParameter)) {
        case 0: choose(52 + slot, "Oscillator"); break;
        case 1: choose(56 + slot, "TimeSampler"); break;
        case 2: choose(60 + slot, "Quintaro   "); break;
        case 3:
            // The whole multisample store goes to and from the file.
            if (slot < 2)
                choose(9 + slot, "LoopSampler");
            break;
        default: break;
        }
    } else if (index == G::gpFileIOEnv + 3) { // "File IO LFO"
        const int k = globalPart.getParaVal(set, G::gpLFOSel);
        if (k >= 0 && k <= 3)
            choose(40 + k, "LFO");
    } else if (index == G::gpFileIOEnv) {
        constexpr int Envelopes[] = {44, 45, 46, 47, 50};
        const int k = globalPart.getParaVal(set, G::gpEnvSel);
        if (k >= 0 && k <= 4)
            choose(Envelopes[k], "Envelope");
    } else if (index == G::gpFileIOEnv + 1 || index == G::gpFileIOEnv + 2) {
        choose(48 + index - (G::gpFileIOEnv + 1), "Envelope");
    }
    const int item = globalPart.getParaVal(set, index);
    if (!module || !name || item < 0 || item > 4 || !getModuleManager())
        return;
    getModuleManager()->handlePartFileIO(module, set, FileIOModes[item], name);
}

void Vela_c::importSF2(int set, int sampler, const Tool::Disk::Path_c& path)
{
    (void)set;
    if (Tool::Disk::isSpecialFile(path)) {
        holdUserMessage("File Error - Load failed", WaveBase_c::loadFailedText(path).c_str());
        return;
    }
    VelaSF2Reader_c reader(this, &multiSamples[std::clamp(sampler, 0, 1)]);
    reader.interpret(path);
    updateEditor();
    updateHostDisplay();
}

void Vela_c::setSF2Mod(int set, int* values)
{
    Part_c* amp = getModule(AmpEnvelope);
    if (!values || !amp || !amp->getParaSet())
        return;
    constexpr int Targets[] = {1, 2, 3, 5}; // A Time, D Time, S Level, R Time
    for (int i = 0; i < 4; ++i)
        if (Parameter_c* p = amp->getParaPtr(set, Targets[i]))
            p->setVal(values[i]);
}
