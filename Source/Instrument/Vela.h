// Vela_c: the Tessel3 plug-in object, the engine built from the product's
// construction figures. It owns everything that makes the sound (sample
// stores, the instrument part, the 32 voices, the program's global part) and
// the twelve audio buses between them, and fixes the outputs of the two
// builds: six (L, R, C, Lfe, Ls, Rs) in the 5.1 build, two in the stereo
// build. docs/outputs.md tells how the outputs are chosen.
//
// Members that later work fills in (sample stores, voices, editor) are still
// stand-ins that hold and render nothing; until the module graph exists the
// instrument renders the silent ±1e-7 block.
#pragma once

#include "InBuffer2.h"
#include "Note.h"
#include "Path.h"
#include "RegMod.h"
#include "Synth.h"
#include "VelaGlo.h"
#include "VelaInst.h"
#include "VelaTone.h"
#include "WaveRAM.h"
#include "WaveRAM2.h"
#include "WaveTable.h"

#include <atomic>
#include <cstdint>
#include <memory>

class WaveSample_c;

class Vela_c : public Synth
{
public:
    // is51Build: the 5.1 build (six outputs) instead of the stereo build.
    // Thread: the host's thread that creates the plug-in.
    Vela_c(audioMasterCallback audioMaster, bool is51Build);
    // The editor goes first (it reads the members), then the engine's tables
    // (closeShutdown), then the members in reverse order.
    ~Vela_c() override;

    // The editor lives above the instrument: the plug-in registers the
    // factory that makes it (at load, before any plug-in object exists).
    // Without a factory the plug-in offers no editor window. Thread: any.
    using EditorFactory_t = AEffEditor* (*)(AudioEffect* effect);
    static void setEditorFactory(EditorFactory_t factory);

    // Thread: user interface. Nothing when already open.
    void open() override;
    // Cuts the outputs once, before the first block and after a host chunk
    // load: all six pins of the 5.1 build connected keep six outputs, fewer
    // leave two with every 5.1 panner folding into them; the stereo build
    // always ends with two. The redraw and host display refresh it asks for
    // run on the idle side. Thread: audio (inside the callback) or any
    // thread while audio is stopped.
    void validateOutputs() override;
    // Pin names and flags (Cubase-family hosts see every pin as part of the
    // 5.1 arrangement). Thread: user interface.
    bool getOutputProperties(int32_t index, VstPinProperties* properties) override;
    // True only for this build's own output arrangement (5.1 with six
    // channels, or stereo with two); changes nothing. Thread: user interface.
    bool setSpeakerArrangement(VstSpeakerArrangement* input, VstSpeakerArrangement* output) override;
    // Points at the process-wide records of this build's arrangement (no
    // inputs; 5.1 or stereo outputs); true. Thread: user interface.
    bool getSpeakerArrangement(VstSpeakerArrangement** input, VstSpeakerArrangement** output) override;
    // Binds the output bus to the host's output buffers of this block.
    // Thread: audio.
    void updateOutBuf() override;
    // Folds every 5.1 panner (four per voice, three effect panners of the
    // instrument) into the front pair. Thread: constructor, validateOutputs.
    void setForceStereo(bool on);

    // The module graph (VelaGraph.cpp): creates the voices, registers every
    // module under its logical number, shapes and attaches the buses, enters
    // the routes and creates the instrument. Thread: user interface, once,
    // from open.
    virtual void initProcess();
    // The registry row of logical module number n (0..255); -1 when none.
    // Thread: any, after open.
    int getModuleRow(int number) const;
    // Adds the voice's own signal of filter path `path` (0, 1), as its
    // filter or amplifier left it on the path's voice bus, onto the path's
    // effect bus EffBuf0/EffBuf1, which gathers every voice of the piece.
    // The path's 5.1 panner reads the voice bus, so it pans this voice
    // alone. Thread: audio, from the voice's render.
    void sendPath(int path, int frames);
    // The effect bus that path `path` (0, 1) joins, EffBuf0 or EffBuf1; null
    // for another number. Thread: audio.
    InBuffer2_c* getPathSend(int path);
    // Starts a fresh cycle of both path buses, as before each voice: a voice
    // whose ladders ran later than its own render writes them then.
    // Thread: audio.
    void startPathCycle(int frames);
    // The external parameter table: the 967 descriptors, then the redraw
    // links, the value copies, the special entries and the four selectors
    // (VelaExtTable.h holds the rows). Thread: opening.
    virtual void fillParameterMap();
    // The part behind a logical module number (0..10 global, 40..90 voice
    // 0's modules, 100..164 the instrument's); null for a number that names
    // nothing or a module not built. Thread: any (the parts live as long as
    // the plug-in).
    Part_c* getModule(int number);

    // --- Parameter side effects (VelaSideEffects.cpp) ---------------------
    // The change hook: the engine's own handling, then the instrument's
    // rules in their fixed order; index -1 is a whole-set change (part null
    // after a program load). Thread: whichever changed the value.
    void postprocessParaChange(int set, Part_c* part, int index) override;
    // Keeps the four serial slots on four different effect types; slot
    // `keep` (0..3, -1 none) keeps its value. Writes only values that change
    // and does nothing when called again from inside its own writes.
    void sortXFx(int set, int keep);
    // The shared phase step of LFO k from global parameter `parameter` ("LFO
    // k Perm"); reset puts the running phase back to 0.
    void postprocessLFOMono(int set, int parameter, int lfo, bool reset);
    // The engine's defaults, then the envelope defaults of this instrument.
    // Thread: opening, or while audio is held.
    void tweakParameter(int first, int end) override;
    void setEditIns(int instrument) override;
    // The product's default controller assignments (channel 0, instrument
    // 0), each only where its control has none. Thread: user interface
    // (resume).
    void initECS() override;
    // The display zoom (0..) of a sample of `frames` frames: the exponent of
    // the smallest power of two from 2 that is not below frames / 317, 0 for
    // fewer than 634 frames.
    static int zoomForFrames(int frames);
    // The zone the editor shows for loop sampler k (0, 1), and its sample.
    int getShownZone(int k) const { return shownZone[k & 1].load(); }
    WaveSample_c* getShownSample(int k) const { return shownSample[k & 1].load(); }
    // The pointer itself, which the editor's sample display reads at every
    // draw (the change hook swaps it when another zone is shown).
    const std::atomic<WaveSample_c*>* getShownSampleSlot(int k) const { return &shownSample[k & 1]; }

    // --- Commands (VelaCommands.cpp) ---------------------------------------
    // The editor's numbered commands for the sample stores and pages; every
    // other number goes to the engine. Sample slot numbers (2..4): 0..3 the
    // user-sample slots, 10 and 11 the loop samplers' shown zones; any other
    // slot is not handled. Holds the busy counter. Thread: user interface.
    bool processGUICmd(int command, int index, int value, void* pointer) override;
    static constexpr int CmdNextSample = 2, CmdPreviousSample = 3, CmdClearSample = 4;
    static constexpr int CmdNextWaveTable = 41, CmdPreviousWaveTable = 42, CmdClearWaveTable = 43;
    static constexpr int CmdVarType0 = 92, CmdVarType1 = 93, CmdEditPage = 94, CmdResaveFolder = 95;
    // The upper-page selector of the editor (the synth setting "Edit Page").
    static constexpr int EditPageEntry = 603;
    int getEditPageEntry() const override { return EditPageEntry; }
    // Auditions a note (clamped to 0..127) on instrument 0 through the
    // engine's queue. Thread: any but audio.
    void triggerNote(int instrument, Note_c note) override;
    // Loop sampler display s: the slider's size for the shown zone's sample
    // at the current zoom.
    virtual void setSliderSize(int set, int sampler);
    // "Export Sample k" (index 212..215): cut user-sample slot k to its
    // start and end and save it at the path held there.
    virtual void trim(int set, int index);
    // "ExpWTG Sample k" (216..219): the same for wavetable store k; the
    // slot's wavetable generator keeps its ride on the same place.
    virtual void trimWT(int set, int index);
    // trunc(ride x factor + 0.25); the ride itself for a factor that is not
    // finite or a result out of int's range.
    static int scaledRide(int ride, float factor);
    // The "File IO" menus of the generator, LFO and envelope pages: load,
    // save, copy, paste or reset the module the page shows.
    virtual void postprocessFileIO(int set, Part_c* part, int index);
    // Imports a SoundFont into loop sampler `sampler`'s store; a file that
    // does not parse leaves the store as it was.
    virtual void importSF2(int set, int sampler, const Tool::Disk::Path_c& path);
    // The SoundFont's volume envelope (attack ms, decay ms, sustain x 1000,
    // release ms) into the "Amp" envelope, clamped, without notification.
    virtual void setSF2Mod(int set, int* values);

    // --- Programs (VelaPrograms.cpp) ---------------------------------------
    // Converts a program of the predecessor format (on set 0); a program
    // whose "Detune" is -1 is converted already.
    virtual void postprocessC2load(int set);
    // Re-saves, in place and with their samples, the presets of the folder of
    // the preset last loaded into instrument 0, from that one on in the
    // folder's order. A preset that does not load is left untouched and
    // reported; the answer is how many were. Thread: user interface.
    int codeD4T();
    static constexpr int MaxResaveFiles = 512;
    // A host save: the program as serialised names only the sample stores
    // its generators play; the live stores keep theirs. Thread: user interface.
    int getChunkPreset(int instrument, void** data) override;
    // Writes the samples the program plays into the preset's folder (the
    // program then names them there), then the preset. Nothing for an empty
    // path.
    void exportPatch(int instrument, const Tool::Disk::Path_c& path) override;
    // Reads a preset; its sample paths are re-based onto its folder and the
    // samples load once every value is in. A file that does not load leaves
    // the program and its samples as they were. Above 0 when loaded.
    int importPatch(int instrument, const Tool::Disk::Path_c& path) override;
    // Every program read into the live values (host chunks, presets, program
    // changes): the zones' frame points first lose the limits of the samples
    // they replace, so a program's loop points are not cut to the lengths of
    // the samples loaded before it; its own samples set them again.
    void setParaFromPrg(int instrument) override;
    // The rest of a program change: sample limits, values, re-based paths
    // (rebase, and only while importing), sample loads, consistency.
    void continueSetChunkPreset(int instrument, bool rebase);
    // Values every program keeps whatever it stored.
    void makeSure(int set) override;
    // The same values written into a program as it is stored.
    void storeMadeSure(int prog, const ParaSet_c* set, unsigned char* block, int bytes) override;
    void makeSure(int first, int end) override;
    // Start-up programs from "Tessel 3 Banks/Ambient Sounds" of the data
    // folder the preference "VelaData" names, else of the system's own.
    void loadStartupPatches() override;
    Tool::Disk::Path_c startupFolder();
    // "3.6.5 - 5.1 Surround" with six outputs, "3.6.5 - Stereo" otherwise.
    void updateVersionInfo() override;
    // The missing-sample search for the zones a program or project load
    // could not fill: under the folders where missing samples were found
    // before, then by asking the user (headless: answered like a cancelled
    // dialog, the message naming the file). Runs from the engine's idle pass
    // outside every lock; the questions and the dialog wait on the panel
    // thread, one zone's at a time. Each load it makes holds the engine lock
    // and only happens while the zone still names the file it was searched
    // for.
    // Thread: user interface or idle timer.
    void idleOutsideLocks() override;
    // Generator slot types.
    static constexpr int GenOscillator = 0, GenTimeSampler = 1, GenWaveTable = 2, GenLoopSampler = 3;

    bool is51Build() const { return build51; }
    // True while the 5.1 build renders six channels (no fold to stereo).
    bool renders51() const { return build51 && !forceStereo.load(); }
    bool getForceStereo() const { return forceStereo.load(); }
    VelaInst_c* getInstrument() { return &instrument; }
    VelaGlo_c* getGlobalPart() { return &globalPart; }
    VelaTone_c* getTone(int v) { return v >= 0 && v < NumVoices ? &tones[v] : nullptr; }
    // The sample stores the voices' generators play: time-sampler slot k
    // (0..3), wavetable store k (0..3), multisample memory k (0, 1); null
    // outside.
    WaveRAM_c* getUserSample(int k) { return k >= 0 && k < 4 ? &userSamples[k] : nullptr; }
    WaveTable_c* getWaveTable(int k) { return k >= 0 && k < 4 ? &waveTables[k] : nullptr; }
    WaveRAM2_c* getMultiSample(int k) { return k >= 0 && k < 2 ? &multiSamples[k] : nullptr; }
    // The registry row of the global part; -1 before open.
    int getGlobalPartRow() const { return globalPartRow; }
    bool isImporting() const { return importing.load(); }

    static constexpr const char* ProductName = "Tessel3";
    static constexpr const char* VendorName = "Vendrax";
    static constexpr const char* VersionText = "3.6.5";
    static constexpr const char* CodeName = "Vela";
    // Identifiers whose program files and chunks are accepted: the two
    // builds' own, then those of the earlier builds of the instrument.
    static constexpr const char* AcceptedIds = "Tsx3,Tsy2,Tsx2,Tsy1,Tsx1,Tsz3,Tsz2";
    // The version "3.6.5" as the host reads it.
    static constexpr int32_t VendorVersion = 3650;
    // Hosts find a plug-in again by these; they must never change.
    static constexpr int32_t UniqueId51 = vstFourCC('T', 's', 'x', '3');
    static constexpr int32_t UniqueIdStereo = vstFourCC('T', 's', 'y', '2');
    // Logical module numbers of the graph: 0..10 global, 40..90 per voice,
    // 100..164 per instrument.
    static constexpr int NumModuleNumbers = 256;
    // Frames the output bus spans at least: the host's buffers are its
    // channels, and a host may hand blocks far above the engine's pieces.
    static constexpr int HostOutBusFrames = 16384;

private:
    // Members in construction order; destroyed in reverse.
    WaveRAM_c userSamples[4];  // time-stretch sampler slots 1..4
    WaveTable_c waveTables[4]; // wavetable generator slots 1..4
    WaveRAM2_c multiSamples[2]; // loop samplers 1 and 2
    // A missing sample's search is waiting on the user's answers.
    std::atomic<bool> missingSearchRunning{false};
    VelaInst_c instrument;
    VelaTone_c tones[NumVoices];
    Tool::Disk::Path_c importFolder; // folder of the FXP file being imported
    VelaGlo_c globalPart;
    InBuffer2_c XModBuf0, XModBuf1, PanBuf0, PanBuf1, PanBuf2, PanBuf3;
    std::atomic<bool> importing{false};
    std::atomic<int32_t> shownZone[2] = {0, 0};                   // per loop sampler, the zone the editor shows
    std::atomic<WaveSample_c*> shownSample[2] = {nullptr, nullptr}; // its sample, or null
    InBuffer2_c FilBuf0, FilBuf1, EffBuf0, EffBuf1, EffBufX, OutBuf;

    const bool build51;
    static std::atomic<EditorFactory_t> editorFactory;
    // Once set (a host connecting fewer than six outputs, or the stereo
    // build) it stays set.
    std::atomic<bool> forceStereo{false};
    int globalPartRow = -1;
    // Runs change with the audio thread kept out of the instrument (it skips
    // its block meanwhile); on the audio thread itself, at once.
    template <class Change>
    void withAudioKeptOut(Change change);
    // The export commands of stores 0..3: save gets the store that index
    // names in the row starting at first and the path held there, then the
    // editor redraws. An index outside the row does nothing.
    template <class Save>
    void exportStore(int set, int index, int first, Save save);
    // Logical module number -> registry row, filled by initProcess.
    RMI_c moduleRows{NumModuleNumbers};
    // Each voice's two filter paths before they join the effect buses.
    InBuffer2_c PathBuf0, PathBuf1;
    // Stands in for the output channels the host gives no buffer (the bus's
    // size in frames); written, never read.
    std::unique_ptr<float[]> outSink;
    // The control-rate buffers every voice fills and its modules read (one
    // float per 8-sample step); voices render one after another, so they
    // share them.
    static constexpr int NumControlTables = 32;
    float controlTables[NumControlTables][VelaTone_c::ControlBufferValues] = {};

    // Starts the search for one zone; true while it waits on the user (its
    // end clears missingSearchRunning).
    bool searchMissingSample(WaveRAM2_c& store, int zone);
    // True when the zone names a file (expected, when given) and holds no
    // data; named gets what it names. Under the engine lock.
    bool zoneStillMissing(WaveRAM2_c& store, int z, const Tool::Disk::Path_c* expected, Tool::Disk::Path_c* named);
    class UnusedSampleNames;
    void clearSamplesForSave(UnusedSampleNames& names);
    // The change hook's rules, one named step each (VelaSideEffects.cpp).
    struct ParaChangeSteps;
    int slotType(int set, int slot) const;
    void setAllLoadsEnabled(bool on);

    // Commands 2..4 on sample slot `slot`; false for a slot no store has.
    bool sampleCommand(int command, int slot);
    static constexpr int WaveTableGenerator0 = 60; // modules 60..63
    static constexpr int WaveRideParameter = 6;
    static constexpr int AmpEnvelope = 50;

    // Graph helpers (VelaGraph.cpp). bus: the graph's bus number, in the
    // order of the members above.
    InBuffer2_c* graphBus(int bus);
    Part_c* globalModule(int kind, int index);
    void registerGraphModule(int number, Part_c* part, int order, int count);
};
