// Synth: the engine. It is the one object the host talks to and the owner of
// everything the plug-in has: settings parts, command queues, voice table,
// module registry, host parameter map, routes, instruments and voices. The
// product's plug-in class derives from it and fixes the sizes.
//
// Threads (docs/threads.md tells the whole story):
// - audio: processReplacing, process, processEvents and what they call. It
//   never allocates, blocks, touches files or the display; it only tries locks.
// - user interface: the other dispatcher opcodes, the editor, host idle.
// - idle timer: the engine's own 25 ms Timer_c thread, doing the idle work
//   when the host gives none.
// Every flag or counter read across threads is a std::atomic.
//
// Where the sections below are implemented:
//   lifecycle, identity, state others read     Synth.cpp
//   audio callback, idle, keeping audio out    SynthAudio.cpp
//   module registry                            SynthRegistry.cpp
//   host parameter map                         SynthParams.cpp (tables in SynthParameterMap.h)
//   MIDI input and notes                       SynthMidi.cpp
//   parameter changes                          SynthParamChange.cpp
//   command queues                             SynthCommands.cpp
//   controller assignments                     SynthControllers.cpp
//   programs, banks                            SynthPrograms.cpp
//   the project chunk                          SynthChunk.cpp
//   preset files and folders                   SynthPresets.cpp
//   routes                                     SynthRoutes.cpp
//   the tooling channel                        SynthTooling.cpp
//   voices of the instruments, voice table     SynthVoices.cpp
#pragma once

#include "AudioEffectX.h"
#include "Capacities.h"
#include "Lock.h"
#include "Note.h"
#include "PanelQueue.h"
#include "ParkedEvents.h"
#include "Timer.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <cstdint>
#include <memory>
#include <thread>

#include "Part.h"

class AEffEditor;
class EditorLink_i;
class Instrument_c;
class NoteFreqTable_c;
class SysGlo_c;
class SynGlo_c;
class SynGloIns_c;
class Tone_c;
class ParaSet_c;
class InBuffer2_c;
class FileList_c;
class PSUData_i;
class FileDialog_c;
class Disk_c;
class ModuleManager_c;
namespace Tooling {
struct Request;
}

// The process-wide working block: buses, clearing and piecewise rendering work
// in pieces of at most MaxBlockSize frames.
// NullBuffer: MaxBlockSize floats alternating -1e-7, +1e-7 (first -1e-7), so
// cleared outputs are never exact zeros. OneBuffer: MaxBlockSize floats of 1.0.
extern float NullBuffer[MaxBlockSize];
extern float OneBuffer[MaxBlockSize];
// Host tempo in beats per minute (120 at start) and its reciprocal. Written by
// the audio thread at a tempo change, read by tempo-synced modules anywhere.
extern std::atomic<double> Bpm;
extern std::atomic<double> RecBpm;

// The figures an engine is built with, named where it is built:
//   Synth(host, {.programs = 8, .parameterSlots = 16, .hostParameters = 8,
//                .voices = 4, .productName = "Plain", .codeName = "Plain"})
// Negative counts are taken as 0 (the stride as 1); null texts as empty.
struct SynthFigures
{
    int insProgramMemories = 1; // program memories per instrument
    int fxsProgramMemories = 0;
    int programs = 1;           // programs the host is told of
    int parameterSlots = 0;     // external descriptors the engine keeps
    int hostParameters = 0;     // of them, what one instrument shows the host
    int stride = 1024;          // host indices per instrument beyond the first
    int instruments = 1;
    int voices = 0;
    int effectUnits = 0;
    int stereoPairs = 1;        // output pins: pairs, then single ones
    int monoOutputs = 0;
    int inputs = 0;
    const char* productName = "";
    const char* acceptedIds = ""; // identifiers whose programs it reads, comma-separated
    const char* versionText = "";
    const char* codeName = "";    // names the engine's own settings
    bool automation = true;       // parameters are offered to the host
    bool isSynth = true;          // an instrument rather than an effect
};

class Synth : public AudioEffectX
{
public:
    // hostParameters > parameterSlots or more than MaxInstruments instruments
    // make a failed object: every member is still in a defined state,
    // isConstructed() answers false, it never opens, and the entry point
    // hands the host no plug-in.
    Synth(audioMasterCallback audioMaster, const SynthFigures& figures);
    ~Synth() override;

    // False when the size check of the constructor failed.
    bool isConstructed() const { return constructed; }

    // ---------------------------------------------------------------- lifecycle
    // Thread: user interface (never while the audio thread runs the callback).
    void open() override;
    void close() override;
    void suspend() override;
    void resume() override;
    // Thread: any but the audio thread; holds audio while the modules take
    // the new rate.
    void setSampleRate(float rate) override;
    void setBlockSize(int32_t frames) override;

    // Thread: user interface.
    virtual void closeShutdown();
    // True when every table open allocates exists.
    virtual bool getFlagInitialized();
    // Any thread. ready := not resetting, valid sample rate, outputs validated
    // and every instrument and effect unit present.
    virtual void checkSetFlagReady();
    // Thread: user interface.
    virtual void reset();
    // Reads the host's product and vendor strings and picks the host id.
    // Thread: user interface.
    virtual void detectHost();
    // Fills NullBuffer and OneBuffer (once per process; later calls find them
    // filled, so a second instance opening never writes what another renders from).
    virtual void initAudioCopyBuffers();
    // Thread: user interface (or the audio thread through validateOutputs, which
    // never grows the counts and so never allocates).
    virtual void initOutputConfiguration(int stereo, int mono, int inputs);
    // Probes the host's pins and sets the output configuration; ends with
    // outputs-validated set. Thread: any, the audio thread included.
    virtual void validateOutputs();

    // ----------------------------------------------------------------- identity
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    int32_t getVendorVersion() override;
    int32_t canDo(char* text) override;
    int32_t getPlugCategory() override;
    bool beginEdit(int32_t index) override;
    bool endEdit(int32_t index) override;
    intptr_t vendorSpecific(int32_t index, intptr_t value, void* ptr, float opt) override;
    bool getOutputProperties(int32_t index, VstPinProperties* properties) override;
    virtual int getHostId() { return hostId; }
    virtual int getBlockSizeCopy() { return blockSizeCopy; }

    // The version number of a version text: its digits read as one number
    // (reading stops once it reaches 1000), then times 10 while below 1000.
    // A text without digits gives 0.
    static int32_t versionNumber(const char* versionText);
    // The host id of a product and vendor string (20 for an unknown host).
    static int hostIdOf(const char* product, const char* vendor);

    // ------------------------------------------------ host calls on several threads
    // Hosts call from three threads at once: audio (render and MIDI), the
    // parameter, display and idle calls, and the program, chunk and
    // suspend/resume calls. Everything the last two reach of the engine's
    // state (program numbers, texts of parameters, controller state of the
    // instruments, settings) has one owner: every dispatcher call (but close
    // and the event delivery) and every setParameter/getParameter off the
    // host's audio thread runs under engineLock. The host's audio thread is
    // the one that last entered the audio callback; it never waits for the
    // lock and keeps its lock-free paths.
    intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) override;
    // True on the thread that last called processReplacing or process.
    bool onHostAudioThread() const { return hostAudioThread.load() == std::this_thread::get_id(); }
    // Inside the audio callback, or on the thread the host renders on (which
    // may automate between blocks): what runs here must not wait.
    bool mustNotWait() const { return onAudioThread() || onHostAudioThread(); }
    class HostCallScope
    {
    public:
        explicit HostCallScope(Synth& synth);
        ~HostCallScope();
        HostCallScope(const HostCallScope&) = delete;
        HostCallScope& operator=(const HostCallScope&) = delete;

    private:
        Synth& synth;
        bool held;
    };

    // ------------------------------------------------------------ audio callback
    // Thread: audio.
    void processReplacing(float** inputs, float** outputs, int32_t sampleFrames) override;
    void process(float** inputs, float** outputs, int32_t sampleFrames) override;
    virtual void captureInputs(float** inputs, int32_t frames);
    virtual void clearOut(float** outputs, int32_t frames);
    virtual void makeOptOut(float** outputs);
    virtual void processAll(float** out, int32_t frames);
    // Host events: every MIDI event goes with its frame offset to
    // remindEvent; always 1. Thread: audio (usually).
    int32_t processEvents(VstEvents* events) override;
    // Queues a message at every instrument listening on its channel (system
    // messages at the first). Thread: the event thread.
    virtual void remindEvent(int offset, const unsigned char* message);
    // True when instrument ins listens on channel.
    virtual bool InsOnCh(int channel, int ins);
    // Rebinds the output bus to the stored host output pointers; the product
    // class gives the body. Thread: audio.
    virtual void updateOutBuf() {}

    // Host time. Thread: audio.
    void getHostTempoInfo();
    // Any thread: the host's time information with the time signature asked
    // for (kept in the engine's copy only on the audio thread).
    VstTimeInfo* getHostTimeInfo(int32_t filter);
    virtual void notifyBPMChange();
    // Bar length and position in frames; true while the host plays. Thread: audio.
    bool getPosInBar(int* samplesPerBar, int* posInBar);
    // The same arithmetic on a given time record (null: none) and sample rate.
    static bool posInBar(const VstTimeInfo* info, double rate, int* samplesPerBar, int* posInBar);
    virtual void PlaybackStarted();
    virtual void PlaybackStopped();
    virtual void syncMIDIPlayers(int except, bool flag);

    // Peak tracking for a volume adjustment. start/stop: any thread; memorize: audio.
    void startAdjustVolume();
    float stopAdjustVolume();
    void memorizeMaxAudio(const float* a, const float* b, int frames);

    // The cross-fade factor of a note in an instrument's key and velocity zone.
    virtual float getFadeVolume(int ins, NoteC_c note);
    virtual float getFadeVolumeD(int ins, NoteC_c note, int keyLo, int keyHi, int velLo, int velHi);
    // Zone overlaps with the other instruments that are not muted and whose
    // zone is not every note and velocity. NoteLo: the highest upper note of
    // the zones with lower < note <= upper, else note - 1; NoteHi: the lowest
    // lower note of the zones with lower <= note < upper, else note + 1; the
    // Velo forms the same over "Velo Lo" and "Velo Hi". Thread: any.
    virtual int getOverlapNoteLo(int ins, int note);
    virtual int getOverlapNoteHi(int ins, int note);
    virtual int getOverlapVeloLo(int ins, int velo);
    virtual int getOverlapVeloHi(int ins, int velo);
    virtual float getOtherSeqSync(int ins, int x);

    // ---------------------------------------------------------------------- idle
    // Host idle (opcode 53). Thread: user interface.
    int32_t fxIdle() override;
    // The idle work: drains the queue toward the idle side and runs what the
    // audio thread deferred (redraws, host display update). Serialised by a
    // try-lock: a caller that finds it running skips this round.
    virtual void SynthIdle();
    // The idle timer's entry; context is the engine. Thread: idle timer.
    static void idleTimerCallback(void* context);
    // Idle work that may wait for the user (the missing-sample search, with
    // its questions and dialog) and so must hold no lock while it runs. The
    // product gives the body; runIdleOutsideLocks calls it after the host's
    // idle call has left the engine lock and after each idle round of the
    // timer, never inside another host call or a load, and on one thread at
    // a time. Thread: user interface or idle timer.
    virtual void idleOutsideLocks() {}
    void runIdleOutsideLocks();

    // ------------------------------------------------- keeping the audio thread out
    // While an AudioHold lives, the audio callback renders nothing: it sets
    // resetting, clears ready and waits in 30 ms steps until the audio thread
    // has left the callback; its end lifts resetting and checks ready again.
    // Holds on other threads wait for each other (they nest on one thread).
    // Thread: any but the audio thread inside the callback (there it does nothing).
    class AudioHold
    {
    public:
        explicit AudioHold(Synth& synth);
        ~AudioHold();
        AudioHold(const AudioHold&) = delete;
        AudioHold& operator=(const AudioHold&) = delete;

    private:
        Synth& synth;
        bool held;
    };
    // True on the audio thread while it is inside the audio or event callback.
    static bool onAudioThread();
    // Opened by the audio and event callbacks for their run: onAudioThread
    // answers true meanwhile, and flush-to-zero and denormals-are-zero are
    // set, the host's own state coming back at the end.
    class AudioScope
    {
    public:
        AudioScope();
        ~AudioScope();
        AudioScope(const AudioScope&) = delete;
        AudioScope& operator=(const AudioScope&) = delete;

    private:
        unsigned int savedCsr = 0;
    };

    // --------------------------------------------------- engine services for parts
    // A part's parameter changed (or program, activation, voice start, tempo,
    // rate): the parts concerned refresh their coefficients. Thread: any.
    virtual void cachePara(CacheReason_t reason, int set, Part_c* part, int idx);
    // Applies the audio route of a module for instrument ins. (The route
    // table's file gives the body.)
    virtual void setRoute(Part_c* part, int ins);
    // Copies paired host parameters after a change of index: each partner
    // takes the source's value in its own steps, clamped to its own range
    // (value, the normalised form, is not used: two ranges round a
    // normalised value differently, so a copy of it would drift). Index < 0
    // (after a program or module load): every pair runs in the direction it
    // was defined, never the returning half of a pair defined both ways, so
    // no value makes a round trip. (The parameter map's file gives the body.)
    virtual void doValueCopy(int index, float value);
    // Per-instrument consistency after a program change or chunk load. The
    // engine's bodies (Synth.cpp) do nothing; the product class
    // overrides them.
    virtual void makeSure(int ins);
    virtual void makeSure(int first, int last);
    virtual void makeSureFxs(int ins);
    virtual void makeSureFxs(int first, int last);
    // Editor redraw requests; nothing while no editor is attached. From the
    // audio thread they travel through the idle ring. Thread: any.
    virtual void updateEditor(int index, bool full);
    virtual void updateEditor();
    virtual void updateEditor(Part_c* part, int para, int set, bool full);
    // Host display refresh (opcode 42) once programs are loaded. Thread: not audio.
    virtual void updateHostDisplay();
    // The product's version text for the settings, which may name the output
    // configuration: after opening and whenever the outputs were checked.
    // Nothing here. Thread: not audio.
    virtual void updateVersionInfo() {}
    // Instrument i, clamped to the instruments there are; null before open.
    Instrument_c* getInstPtr(int i);
    int getNumInstruments() const { return numInstruments; }
    // Remembers a dialog folder for a module name. Thread: user interface.
    virtual void checkRegForModPath(char* name);
    // Stops every voice of instrument ins at once, from any thread: on the
    // audio thread inside the callback directly, elsewhere inside an
    // AudioHold and under the instrument's render lock held for writing, so a
    // voice is never stopped while the audio thread touches it. Chunk and
    // preset loads, module imports and ReceiveMIDI(false) all come through here.
    virtual void hardNoteOff(int ins);

    // The clipboards of module copy and paste, shared by every instance in the process.
    static unsigned char CopyBuffer0[CopyBufferBytes];
    static unsigned char CopyBuffer1[CopyBufferBytes];
    // Module copy, paste and module files; null only when construction failed.
    ModuleManager_c* getModuleManager() { return moduleManager.get(); }

    // ---------------------------------------------------- state others read
    // Host entries that touch the engine from a non-audio thread hold this.
    std::atomic<int64_t> busy{0};
    struct BusyScope
    {
        explicit BusyScope(Synth& s) : synth(s) { synth.busy.fetch_add(1, std::memory_order_seq_cst); }
        ~BusyScope() { synth.busy.fetch_sub(1, std::memory_order_seq_cst); }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;
        Synth& synth;
    };
    bool isOpen() const { return flagOpen.load(); }
    bool isReady() const { return ready.load(); }
    bool isOpening() const { return opening.load(); }
    bool isResetting() const { return resetting.load() > 0; }
    bool isInCallback() const { return inCallback.load() > 0; }
    bool getAcceptMIDI() const { return acceptMIDI.load(); }
    void setAcceptMIDI(bool on) { acceptMIDI.store(on); }
    uint32_t getSampleCounter() const { return sampleCounter.load(std::memory_order_relaxed); }
    bool getHostSuppliesIdle() const { return hostSuppliesIdle.load(); }
    bool isIdleTimerRunning() const { return idleTimer.isRunning(); }
    int getNumStereo() const { return numStereo; }
    int getNumMono() const { return numMono; }
    int getNumOutputs() const { return numOutputs; }
    double getEngineSampleRate() const { return engineSampleRate.load(); }
    const char* getCodeName() const { return codeName; }
    const char* getHostProduct() const { return hostProduct; }
    const char* getHostVendor() const { return hostVendor; }
    // The settings parts and the tuning table: made with the engine, alive
    // until it is destroyed (null only in an engine whose construction failed).
    SysGlo_c* getSysGlo() const { return sysGlo.get(); }
    SynGlo_c* getSynGlo() const { return synGlo.get(); }
    SynGloIns_c* getSynGloIns() const { return synGloIns.get(); }
    NoteFreqTable_c* getTuningTable() const { return noteFreqTable.get(); }

    // --- module registry and host parameter map
    // The module registry (RegMod.h: one row per kind of module), the route
    // table bound to it (PatchBay.h) and the host parameter map: one EPAS_c
    // descriptor per external parameter, through which host, editor and MIDI
    // learn reach a module's parameters. Rows, routes, descriptors, links,
    // value-copy pairs and selectors are filled while the plug-in opens and
    // only read afterwards. A host index is instrument x stride + local index.

    // Allocates the descriptor array (one per parameter slot) and its link
    // table (every slot empty) and clears the value-copy pairs; false when an
    // allocation fails. A second call keeps what exists. open calls it.
    // Thread: user interface, while opening.
    bool openParameterMap();
    // Frees the descriptor array and the link table and empties every
    // registry row. closeShutdown calls it. Thread: user interface, audio held.
    void closeParameterMap();
    // Both the descriptor array and the link table exist.
    bool hasParameterMap() const;
    // setSampleRate(rate) of every instance of every row; setSampleRate calls
    // it. Thread: user interface, audio held.
    void setSampleRateRegMod(float rate);

    // Registry. group is a t_RMG: 0 instrument, 1 effect, 2 global. The
    // register operations answer whether the row or instance was taken.
    // Thread: opening, before audio runs.
    virtual bool registerFirstModul(int* row, Part_c* part, int order, int count, int group);
    virtual bool registerNextModul(int row, int k, Part_c* part);
    virtual bool registerModulX(int& row, int k, Part_c* part, int order, int count, int group);
    virtual bool registerModul(int* row, Part_c* first, int objectSize, int order, int count, int group);
    // Attaches every instance to the engine, binds the row's parameter set,
    // creates the instances and gives them the sample rate when known.
    virtual void initRegModParts(int row);
    // The group of the row whose parameter set is set; 0 when none.
    virtual int getRegModGroup(ParaSet_c* set);
    // The row part is an instance of; -1 when none.
    int getModIdx(Part_c* part);
    // The row of the module with that type code and order; -1 when none.
    int findRegMod(int typeCode, int order);
    // Row i, null outside the rows in use.
    const struct RegMod_t* getRegMod(int row) const;
    int getRegModCount() const;
    // Iterators over the instances of one row that belong to instrument ins
    // (an instance belongs to the instrument of its route index, or to every
    // instrument while it has none yet). Start with *first true and *cursor
    // 0; each call gives the next instance in *out and answers false at the
    // end of the row. The row is given, found from a part, or found from the
    // target of descriptor hostIndex. Thread: any.
    bool getAssociatedPart(bool* first, int ins, Part_c** out, int row, int* cursor);
    bool getAssociatedPart(bool* first, int ins, Part_c* part, Part_c** out, int* row, int* cursor);
    bool getAssociatedPart(bool* first, int ins, int hostIndex, Part_c** out, int* row, int* cursor);
    // Lists the bus (at most RegModBusCapacity distinct buses) and hands it
    // to the instances of row (all when instance < 0) as input, or as
    // alternative input. Row -1 only lists it. Thread: opening.
    void registerBuffer(int row, InBuffer2_c* bus, bool alternative, int instance);
    int getRegBufCount() const;
    InBuffer2_c* getRegBuf(int i) const;
    // For each instrument k in first .. last-1: "Program" := k and "Edited" :=
    // (k == 0) in the instrument settings, then makeSure(first, last).
    virtual void tweakParameter(int first, int last);
    virtual void tweakParameterFxs(int first, int last);

    // Route table (forwards to the patch bay). Thread: registration while
    // opening; doRoute on the idle side; setRoute (declared above) on the
    // audio thread at voice start.
    virtual bool registerRoute(const char* name, int module, InBuffer2_c* out1, InBuffer2_c* out2,
                               Part_c* control, int param, int value);
    virtual bool registerRouteInd(const char* name, int module, int first, int last, InBuffer2_c* out1,
                                  InBuffer2_c* out2, Part_c* control, int param, int value);
    virtual void doRoute(int ins);
    class AudioPatchBay_c* getPatchBay();

    // Host parameter map: filling (Thread: opening).
    // Empties every link slot.
    void initEPASAdd();
    // Descriptor i (0 .. parameter slots - 1); null outside or before open.
    class EPAS_c* getEPAS(int i);
    // Links index to every other descriptor addressing (part, set, para).
    virtual void storeInEPASAdd(Part_c* part, int set, int para, int index);
    // Puts b into the first empty link slot of a.
    virtual void storeInEPASAdd(int a, int b);
    // Link slot `slot` of descriptor i; -1 when empty or outside.
    int getEPASLink(int i, int slot) const;
    // Appends the pair (a, b), and with both the returning pair (b, a),
    // which runs after writes of b only (doValueCopy); at most
    // ValueCopyPairCapacity pairs.
    virtual void defineValCopy(int a, int b, bool both);
    int getValueCopyCount() const;
    // Selector s (1..SelectorCount): descriptor index holds the page number,
    // and a descriptor with selector s addresses parameter + page x selStride.
    void defineSelector(int s, int index, int selStride);
    // The descriptor that only tells the host "changed" and is never written.
    void setDirtyMarkerIndex(int index);
    int getDirtyMarkerIndex() const;

    // Host parameter map: lookups. Thread: any.
    // Part, parameter and instrument of descriptor local (instrument code -1:
    // the edited instrument; a selector shifts the parameter). False, with
    // part null, para -1 and ins -1, for anything unmapped.
    bool getPartParaIdx(int local, Part_c** part, int* para, int* ins);
    // The same lookup as one value, for a structured binding:
    // auto [part, para, ins] = getParaTarget(local); part is null when unmapped.
    struct ParaTarget_t
    {
        Part_c* part = nullptr;
        int para = -1;
        int ins = -1;
    };
    ParaTarget_t getParaTarget(int local);
    bool getPartParaIdxDis(int local, Part_c** part, int* para, int* ins, bool* flag);
    virtual int getGroupType(int local);
    virtual bool isParameterReadOnly(int local);

    // Host parameter entries (a negative index is never mapped).
    // Thread: any host thread, the audio thread included.
    void setParameter(int32_t index, float value) override;
    float getParameter(int32_t index) override;
    // The editor's and MIDI learn's write: tells the host for host-visible
    // parameters. Thread: user interface.
    void setParameterAutomated(int32_t index, float value) override;
    // The same write by the parameter's own whole number (clamped to its
    // range) instead of 0..1, exact where a float cannot step through the
    // range (frame numbers). Thread: user interface.
    void setParameterValueAutomated(int32_t index, int value);
    void getParameterName(int32_t index, char* text) override;
    void getParameterLabel(int32_t index, char* label) override;
    void getParameterDisplay(int32_t index, char* text) override;
    // 0..1 of descriptor local; code -1 reads instrument 0 for the host and
    // the edited instrument otherwise.
    float getParameterCore(int local, bool forHost);
    virtual float getParameterEdited(int index);
    // Writes host index `index` (instrument x stride + local): the value,
    // the caches of the module's instances, the change side effects, the
    // editor, the descriptor's callback, controller sending and value copies.
    virtual void setParameterIntern(int index, float v);
    // What a write sets: a normalised value (host, editor, controllers), or
    // a value in the parameter's own steps, clamped to its range (value
    // copies).
    struct ParaWrite_t
    {
        float norm = 0.0f;
        int steps = 0;
        bool inSteps = false;
    };
    // setParameterIntern with a value in the parameter's own steps.
    void setParameterSteps(int index, int steps);
    // Where a write of host index `index` (instrument x stride + local)
    // lands; part null for an index no write may touch (unmapped, read-only,
    // the dirty entry).
    struct HostWrite_t
    {
        int local = -1;
        Part_c* part = nullptr;
        int para = -1;
        int ins = -1;
    };
    HostWrite_t resolveHostWrite(int index);
    // The parameter a write of index would set; null as resolveHostWrite.
    const Parameter_c* writtenParameter(int index);
    // setParameterIntern's body, for either form of value.
    // False when nothing was written.
    bool writeParameter(int index, const ParaWrite_t& value);
    // The write itself under the instrument's optional lock (taken once per
    // outermost write of a thread; only tried on the audio thread).
    void setParameterCore(int local, Part_c* part, int ins, int para, float v, bool notify);
    void setParameterCore(int local, Part_c* part, int ins, int para, const ParaWrite_t& w, bool notify);
    virtual void getParaDispStr(int index, Vdx::String_c& s);
    float getParaFl(int index);
    int getParaVal(int index);
    void setParaVal(int index, int v);
    Parameter_c* getParaPtr(int index);
    ParaType_t getParaType(int index);
    const char* getParaEnuValPtr(int index);
    int getParaPrecision(int index);
    float getParaLogFactor(int index);
    int getParaDefValue(int index);
    float getParaDef(int index);
    int getParaLowValue(int index);
    int getParaHighValue(int index);
    float getParaStepChangeValue(int index, int dir);
    virtual void getParaString(int index, Vdx::String_c* s);
    virtual void setParaString(int index, const Vdx::String_c& s);
    virtual void getParaPath(int index, Tool::Disk::Path_c* p);
    virtual void setParaPath(int index, const Tool::Disk::Path_c& p);

    // Change handling hooks of a parameter write. The engine's own side
    // effects and the follow-up of text values come with the parameter-change
    // work; the product class adds its own.
    virtual void postprocessParaChange(int ins, Part_c* part, int para);
    virtual void postprocessParaChangeFxs(int ins, Part_c* part, int para);
    virtual void setStringParaPost(int local, int index, Part_c* part, int para, int ins);
    // Whether a write of (ins, local) is sent back to the host as a MIDI
    // controller: an audio block has run, "MIDI CC Mode" is receive+send and
    // the parameter has a controller assigned. Thread: any.
    bool wantsParameterCC(int ins, int local);
    // Whether a controller is assigned to host parameter (ins, local); the
    // controller-assignment table answers it.
    virtual bool isParameterCCAssigned(int ins, int local);
    // The edited instrument (clamped to the instruments there are): the
    // synth settings' "Edit Ins", the current program and every instrument's
    // "Edited" follow it. Nothing when it is edited already. Thread: user
    // interface.
    virtual void setEditIns(int ins);
    virtual int getEditIns() { return curEditIns; }

    // --- the tooling channel (SynthTooling.cpp, docs/tooling-channel.md)
    // Tools reach what the editor reaches through one vendor-specific call
    // (ToolingChannel.h): entries by value or text, commands, the page.
    // Carries out one request: Tooling::Done, or Tooling::Refused with the
    // request's status and message saying why (a record of another size or
    // version is refused untouched). Thread: user interface, never audio;
    // holds the busy counter.
    intptr_t toolingRequest(int32_t operation, Tooling::Request& request);
    // The external entry of the editor's upper-page selector; -1 when the
    // product has none.
    virtual int getEditPageEntry() const { return -1; }

    struct ParameterMap_t;

protected:
    // getPartParaIdx at selector depth `depth`.
    enum Lookup_t { LookupMapped, LookupUnmapped, LookupTooDeep };
    Lookup_t lookupParameter(int local, Part_c** part, int* para, int* ins, int depth);
    // Queues the 'Y' record that sends (ins, local) to the host as a MIDI
    // controller from the audio thread.
    void queueParameterCC(int ins, int local);
    // Descriptor local asks to edit its instrument: setEditIns(code) when its
    // code is an instrument given below 1000 other than the edited one and
    // part is no synth-wide settings part.
    void followEditedInstrument(int local, Part_c* part);
    static ParameterMap_t* newParameterMap();
    static void deleteParameterMap(ParameterMap_t* map);
    // Registry, route table and host parameter map in one block, made with
    // the engine.
    std::unique_ptr<ParameterMap_t, void (*)(ParameterMap_t*)> paraMap{newParameterMap(), &deleteParameterMap};

public:
    // --- MIDI input and notes
    // The host's MIDI goes to every instrument listening on its channel
    // (processEvents, remindEvent, InsOnCh above); the instruments apply it
    // at its frame and come back here to start, release and cut voices
    // through the voice table (SynthMidi.cpp). Event delivery never waits:
    // events for an instrument whose event lock is busy are parked in arrival
    // order (ParkedEvents.h) and handed on at the next delivery or block.
    // Thread: audio, unless said otherwise.

    // True when instrument ins (clamped) listens on the note's channel and
    // the note lies in its key and velocity zone, bounds included. Thread: any.
    virtual bool InstrumentWants(int ins, NoteC_c note);
    // Starts a voice for the note at instrument ins (clamped): the voice, or
    // -1 for a muted instrument or when no voice can be had. trigger (the
    // key that caused the note) goes to the voice's start.
    virtual int noteOn(int ins, NoteC_c note, NoteC_c trigger);
    // Releases the instrument's held voice of the note; its release starts.
    virtual void noteOff(int ins, NoteC_c note);
    // noteOn for an instrument built with the drum flag, with its choke mode
    // ("Choke": me, previous, next, groups 1 to 5).
    virtual void DrumNoteOn(int ins, NoteC_c note, NoteC_c trigger);
    // Starts voice `voice` with its note as the voice table holds it; legato
    // when the voice was taken from a still-held note of a mono instrument
    // with legato on.
    virtual void prepProc(int ins, int voice, bool reused, NoteC_c trigger);
    // The first instrument's system messages: 0xFF resets MIDI, 0xF0 and
    // 0xF7 open and close a system-exclusive message.
    virtual void processMidiFx(const unsigned char* message);
    // The first instrument's controllers (all but 0, 32 and 123..127): a
    // completed NRPN data entry steps the edited instrument's program or
    // bank; anything else goes to learning and the controller assignments.
    virtual void processMidiCC(const unsigned char* message);
    // Hands parked events to their instruments, oldest first, as far as each
    // instrument takes them now. processEvents and every block call it.
    // Thread: audio or the event thread; never waits.
    void deliverParkedEvents();
    int getParkedEventCount() const { return parkedEvents.count(); }
    // Between 0xF0 and 0xF7. Thread: any.
    bool isSysExclusive() const { return sysExclusive.load(); }

    // Mute and solo of instruments ("Mute" and "Solo" of the instrument
    // settings); with group true they go to the group forms, which hold
    // nothing in this engine. Thread: wherever the parameter change happens.
    virtual int getItemMute(int item, bool group);
    virtual int getItemSolo(int item, bool group);
    virtual void setItemMute(int item, bool group, int on);
    virtual void setItemSolo(int item, bool group, int on);
    virtual int getGrpMute(int group);
    virtual int getGrpSolo(int group);
    virtual void setGrpMute(int group, int on);
    virtual void setGrpSolo(int group, int on);
    // After a "Mute" or "Solo" change of item (first <= item <= last): while
    // anything is soloed, exactly the soloed items play; the mutes from
    // before the first solo come back when the last solo goes.
    virtual void consistentMuteSolo(int item, bool soloChanged, int first, int last, bool group);
    // Soloed instruments (group false) or groups as last counted; a chunk
    // load sets it from the settings it read.
    int getSoloCount(bool group) const { return soloCount[group ? 1 : 0].load(); }
    void setSoloCount(bool group, int count) { soloCount[group ? 1 : 0].store(count); }
    void setMuteSoloEnabled(bool on) { muteSoloEnabled.store(on); }

protected:
    // Gives the event to instrument ins now when nothing is parked and its
    // event lock is free, else parks it.
    void deliverEvent(int ins, int offset, const unsigned char* message);
    // The instrument's remindEvent under a try of its event lock; false when
    // the lock is busy.
    bool handEvent(int ins, int offset, const unsigned char* message);
    // Drops every parked event (MIDI reset).
    void clearParkedEvents();
    // "NotesOn" and the activity display of instrument ins follow its voices.
    void showVoicesInUse(int ins);
    // The editor's keyboard shows the note's key down (velocity above 0) or
    // up; from the audio thread through the idle ring.
    void showKey(NoteC_c note);
    // Releases the held voices of instrument ins (-1: of every instrument).
    void releaseHeldVoices(int ins);
    // Audio thread: the mono key memory of instrument ins (every instrument
    // for -1) is emptied.
    void forgetMonoKeys(int ins);
    // Whether instrument other's zone counts for the overlaps of self.
    bool zoneOverlaps(int self, int other);
    int overlapBelow(int self, int value, int loRow, int hiRow);
    int overlapAbove(int self, int value, int loRow, int hiRow);

    ParkedEvents_c parkedEvents;
    std::atomic<bool> sysExclusive{false};
    std::atomic<bool> muteSoloEnabled{true};
    std::atomic<int> soloCount[2] = {}; // instruments, groups
    // One mute/solo pass at a time (the audio thread only tries it).
    Lock_c muteSoloLock;

public:
    // --- parameter changes
    // What a parameter write sets off beyond the value (SynthParamChange.cpp):
    // the engine's side effects of its settings parts (postprocessParaChange,
    // declared with the parameter map), the re-caching of a module's
    // instances, stepping a parameter and the global display texts. Thread:
    // whichever wrote the parameter, the audio thread included; work for
    // another thread goes there as a command record.

    // cachePara with the row of descriptor hostIndex's target: every instance
    // of it that belongs to instrument ins refreshes. Thread: any.
    virtual void cachePara(CacheReason_t reason, int ins, int hostIndex, int para);
    // Moves descriptor index by one step of its parameter in direction
    // (> 0 up), through setParameterAutomated. Thread: user interface.
    virtual void stepParameterAutomated(int index, int direction);
    // The master tune from "Glo Tune": the frequency factor (1.0 at 440 Hz)
    // and a quarter of its log2. Thread: any.
    float getMasterTuneFactor() const { return masterTuneFactor.load(); }
    float getMasterTuneLog() const { return masterTuneLog.load(); }
    // Preset files (bodies in SynthPresets.cpp): importPatch answers
    // above 0 when the file was loaded into instrument ins, 0 when not.
    // Thread: user interface or idle side, never audio.
    virtual int importPatch(int ins, const Tool::Disk::Path_c& path);
    virtual void exportPatch(int ins, const Tool::Disk::Path_c& path);

protected:
    void applyGloTune(int tenthsHz);
    // "keyboard" = note x 1000 + velocity: queues that note (zones checked).
    void auditionNote(int ins, int value);
    void applyOutputSelection(int ins);
    // One of the reception settings ("Receive Mod Wheel", "Receive
    // Aftertouch", "Receive SustainPed", "Note Fade") reaches the instrument.
    void applyReception(int ins, int para);
    // "Preset Save Path" or "Preset Load Path" changed: the file is written
    // or read (on the idle side when the change came on the audio thread).
    // A read leaves its import's result in presetPathImport.
    void presetPathChanged(int ins, Part_c* part, int para);
    // Every descriptor callback with its mapped part and parameter.
    void runDescriptorCallbacks();
    // The target global display `display` shows for descriptor hostIndex
    // when that feeds the global displays; part null otherwise, and for a
    // display that does not exist.
    ParaTarget_t globalDisplayTarget(int display, int hostIndex);
    // Writes display's text for the parameter into instrument ins's "Global Display".
    void writeGlobalDisplay(int display, int hostIndex, Part_c* part, int para, int ins);
    // The body of both cachePara forms: every instance of the row that rowOf
    // (a part or a descriptor index, as getAssociatedPart takes them) leads
    // to and that belongs to instrument ins refreshes.
    template <typename RowOf> void cacheRowInstances(CacheReason_t reason, int ins, RowOf rowOf, int para);

    std::atomic<int> ccModeSeen{1}; // "MIDI CC Mode" as last seen

public:

    // --- command queues
    // Work that must happen on another thread travels as a command record
    // (HoldData.h) through one of two rings (CmdBuffer.h): toward the audio
    // thread, drained at the start of every block, and toward the idle side,
    // drained by SynthIdle. Any thread may post; a full ring drops the record
    // and the post answers false. SynthCommands.cpp holds the complete table
    // of commands and what each one does when taken.

    // Posts a record (command 1..255, 16-bit index and value, two pointers)
    // toward the audio thread, toward the idle side, or toward the audio
    // thread when toRT is set, under duplicate rule `rule` (a
    // tHD_RemoveDouble: 0 replace the same, 1 keep the first, 2 append).
    // False when dropped: a 'Y' before the first audio block, a command or
    // argument out of range, a full ring. A 'P' message always goes to the
    // idle side (only there is it shown); its text (p1, malloc'ed) belongs to
    // the queue from now on and is freed when the record cannot be queued.
    // Thread: any; never waits, never allocates.
    bool holdCmdtoRT(int command, int index, int value, void* p1 = nullptr, void* p2 = nullptr, int rule = 2);
    bool holdCmdtoGUI(int command, int index, int value, void* p1 = nullptr, void* p2 = nullptr, int rule = 2);
    bool holdCmdX(bool toRT, int command, int index, int value, void* p1 = nullptr, void* p2 = nullptr,
                  int rule = 2);
    // Queues a note from another thread (the editor, a sequencer) for the
    // audio thread: 'Q' with the instrument's key and velocity zones checked,
    // 'X' without. Note and velocity are clamped to 0..127, the channel to
    // 0..15 (16, any channel, counts as 0); unless the system setting "Pad
    // Velocity" is on, a velocity above 0 becomes 127. True when queued.
    // Thread: any.
    virtual bool holdProcNoteOn(int ins, NoteC_c note, bool checkZones);
    // Queues the message for the user as a 'P' record on the idle side, which
    // hands it to the panel thread: the text is copied, the title must
    // outlive the record (a literal). When the ring is full the message
    // goes to the panel thread at once instead, except on the host's
    // rendering thread (dropped there). True when the message was handed
    // on. Thread: any but the audio thread (it
    // allocates).
    bool holdUserMessage(const char* title, const char* text);
    // Asks the user on the panel thread and returns at once; answered(yes)
    // runs in a later idle round (SynthIdle, under the engine lock), never
    // after the plug-in closed. No host call and no lock holder waits for the
    // user. Thread: any but the audio thread.
    void askUserLater(const char* question, const char* title, std::function<void(bool)> answered);
    // Shows a file dialog (FileDialog_c::snapshot) on the panel thread and
    // returns at once; chosen(path) runs in a later idle round as answers
    // do (the empty path: cancelled or not shown). False when it could not
    // be queued: chosen never runs. Thread: any but the audio thread.
    bool chooseFileLater(PanelQueue_c::ShowFile_t show, std::function<void(const Tool::Disk::Path_c&)> chosen)
    {
        return panels.choose(std::move(show), std::move(chosen));
    }
    // The panels of this plug-in (tests watch them). Thread: any.
    PanelQueue_c& getPanels() { return panels; }

    // Takes and executes the records queued toward the audio thread when it
    // starts; records posted while it drains (by the records it executes or
    // by other threads) wait for the next block, so a drain always ends.
    // Thread: audio, in processAll.
    void drainRTCmds();
    // The same for the ring toward the idle side. Thread: the idle side,
    // inside SynthIdle's lock (one taker at a time).
    void drainGUICmds();
    // The two dispatchers: what a record does when taken on the audio thread
    // (notes, MIDI reset, all notes off, controller sending; every other
    // command is passed on to the idle side) and on the idle side (meter
    // values, program and bank changes, edited instrument, messages; numbered
    // commands go to processGUICmd).
    virtual void processRTCmd(const class HoldData_c& record);
    virtual void processGuiHoldBufferCmd(const class HoldData_c& record);
    // The engine's entry for the editor's and the idle queue's numbered
    // commands; index -1 means the edited instrument. True when handled. The
    // product class handles its own numbers first. Holds the busy counter.
    // Thread: user interface or idle side.
    virtual bool processGUICmd(int command, int index, int value, void* ptr);
    // A key typed in the editor: 13 next preset, 11 previous preset. True
    // when the key was used. Thread: user interface.
    virtual bool handleKey(int key);

    // A panel with title and message, shown on the panel thread; the caller
    // goes on at once. Thread: user interface or idle side, never audio.
    virtual void tellUserSafe(const char* title, const char* message);
    // Editor-facing calls; nothing while no editor is attached.
    // Redraws the step display of step 0..3 (clamped), when the product
    // defined one. Thread: any.
    virtual void updateActiveStep(int step);
    // Redraws activity display i when the product defined the activity
    // displays (this product does not). Thread: any.
    virtual void showActivity(int i);
    // Ends every control's mouse tracking. Thread: user interface.
    virtual void mouseUpAllControls();
    // The editor attached to the plug-in, as the engine reaches it; null
    // while none is attached.
    EditorLink_i* editorLink() const;
    // Global displays: up to two displays that follow the parameter last
    // touched, each for the instruments low <= ins < high, in mode 0 (single)
    // or above (multi). defineGlobalDisplay fills the next undefined one.
    // Thread: user interface.
    virtual void defineGlobalDisplay(int index, int low, int high, int mode, int extra);
    virtual void setGlobalDisplayTo(int hostIndex);
    virtual void setGlobalDisplayTo(int display, int hostIndex);

    // Targets of the commands that later work completes. Each body says which.
    // Programs and banks (the program work).
    virtual void setProgramCore(int program);
    virtual void setInsPrg(int ins, int program);
    virtual void setInsBnk(int ins, int bank);
    virtual void setMultiPrg(int program);
    virtual void setMultiBnk(int bank);
    virtual void nextPatchFile(int ins, bool forward);
    virtual const Tool::Disk::Path_c& getLastLoadedPreset(int ins);
    // MIDI handling and controller sending: complete, in SynthMidi.cpp and
    // SynthControllers.cpp.
    virtual void MidiReset();
    virtual void AllNotesOff();
    virtual void AllNotesOff(int ins);
    virtual void sendParameterCC();
    virtual void sendParameterCC(int ins, int index);
    virtual void clearLearnAssignment(int ins, int target);
    // Global display updates: complete, in SynthParamChange.cpp.
    virtual void gloDispSingle(int display, int hostIndex);
    virtual void gloDispMulti(int display, int hostIndex);
    // The editor's page switch and mode hook (the editor work).
    virtual void editorSwitchBack();
    virtual void editorModeHook(bool on);
    // Plays (velocity above 0) or releases an audition note; the product
    // class gives the body. Thread: user interface.
    virtual void triggerNote(int ins, Note_c note);

    // The two rings (CmdBufferSize slots each), made with the engine; the
    // texts of messages still queued when the engine goes are freed.
    struct CommandQueues
    {
        CommandQueues();
        ~CommandQueues();
        CommandQueues(const CommandQueues&) = delete;
        CommandQueues& operator=(const CommandQueues&) = delete;
        class CmdBuffer_c* toRT = nullptr;  // toward the audio thread
        class CmdBuffer_c* toGUI = nullptr; // toward the idle side
    };
    CommandQueues cmdQueues;

    struct GlobalDisplay_t
    {
        int index = -1; // host index shown; -1 = not defined
        int low = 0;    // instruments low <= ins < high
        int high = 0;
        int mode = 0;   // below 1 single, else multi
        int extra = 3;
    };
    GlobalDisplay_t globalDisplay[2];
    int globalDisplayCount = 0;

    // --- controller assignments
    // MIDI controllers reach host parameters through the table of learned
    // controller assignments (ECS2.h); NRPN data entries step programs and
    // banks (NRPN.h). The engine owns one of each from construction (null
    // only when construction failed). SynthControllers.cpp holds these and
    // the controller sending declared with the commands above
    // (sendParameterCC, clearLearnAssignment) and with the parameter map
    // (isParameterCCAssigned).
    class ECS2_c* getECS() const { return ecs.get(); }
    class NRPN_c* getNRPN() const { return nrpn.get(); }
    // Applies an incoming controller to every assignment it matches, all
    // through one snapshot of the table. Thread: audio (or any thread, one
    // at a time, when no audio runs).
    virtual void CCsetParameter(int channel, int controller, int value);
    // Sets host parameter index (local) to value for instrument ins without
    // notification, runs its descriptor callback and the value copies whose
    // source it is. negative is not used. Thread: as CCsetParameter.
    virtual void CCsetParameterCore(int index, Part_c* part, int ins, int para, float value, bool negative);
    // The lookup of an assignment's target (getPartParaIdx). Thread: any.
    virtual bool getECSPartParaIdx(int index, Part_c** part, int* para, int* ins);
    // Value-copy pair i (source and destination host index); false outside
    // the pairs defined. Thread: any.
    bool getValueCopyPair(int i, int* source, int* destination) const;
    // A control of descriptor index was touched in the editor: it becomes
    // the learn target, and while learning is on the table's (or, in clear
    // mode, loses its assignments), unless it is learn-excluded.
    // Thread: user interface.
    virtual void touchedParameter(int index, bool flag);
    // The group operation: a change made on parameter index (delta: new -
    // old) or a payload for the owners it concerns. No part of this system
    // forms groups, so it does nothing. Thread: user interface.
    virtual void groupOperation(int index, PSUData_i* data, float delta);
    // The two descriptors that are never learned (the product names them
    // while opening; -1 none).
    void setLearnExcluded(int first, int second);
    // The product's default assignments (ECS2_c::assignCC with onlyFree);
    // resume offers them before it recalls the stored table. None here.
    // Thread: user interface.
    virtual void initECS() {}
    // Sends one control change (0xB0 + channel, controller, value) to the
    // host, while open and "MIDI CC Mode" is receive+send. Thread: audio.
    virtual void sendParameterCCCore(int channel, int controller, int value);
    // The controller-output inversion hook: true sends 127 - value. False here.
    virtual bool invertsParameterCC() { return false; }
    // The idle side's part of the table: learns the audio thread completed
    // and stores it asked for. SynthIdle calls it. Not the audio thread.
    void idleControllers();

protected:
    std::unique_ptr<class ECS2_c> ecs;
    std::unique_ptr<class NRPN_c> nrpn;
    int learnExcluded[2] = {-1, -1};

public:
    // --- programs, banks and the project chunk
    // A program of an instrument is a preset file in its current bank folder,
    // a bank one folder among the bank folders (SynthPrograms.cpp). Beside the
    // files, each instrument (and effect unit) has one program memory: the
    // parameter-set blocks of its modules back to back, the form FXP files
    // and the project chunk carry (SynthChunk.cpp, docs/formats.md). The
    // host's program and bank changes, MIDI program changes and stepping
    // arrive as command records and run on the idle side.

    // Host program entries. setProgram queues 'I' (the idle side runs
    // setProgramCore); the others hold the busy counter. Thread: user interface.
    void setProgram(int32_t program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    // The display name of file index of the program list (the multi list
    // when there is one, else the edited instrument's), at most
    // ProgramNameChars characters; "unknown" for an empty name. Loads the
    // start-up programs first when no chunk was loaded yet.
    bool getProgramNameIndexed(int32_t category, int32_t index, char* text) override;
    // Parameter 1 (the program name) of the module in registry row 2 for
    // instrument ins, then its control is redrawn. Thread: user interface.
    virtual void setInsPrgName(int ins, const char* name);

    // "Program" of instrument ins's settings (clamped; 0 without settings).
    virtual int getCurPrgIdx(int ins);
    // "Bank" of instrument ins's settings.
    virtual int getCurBnkIdx(int ins);
    // multi: the synth settings' multi program; else "Program" of the edited
    // instrument.
    virtual int getCurProgramIdx(bool multi);
    // Writes that parameter and the program number reported to the host.
    virtual void setCurProgramIdx(int program, bool multi);
    // The bank number reported to the host.
    int getCurBank() const { return curBank.load(); }
    // Applies instrument ins's "Output Selection" to its output index.
    virtual void setInsOutIdx(int ins);

    // The program-file and bank-folder lists of instrument ins (clamped);
    // null before construction finished. The multi lists are null: this
    // engine never makes them, so every multi operation returns at once.
    // Thread: user interface or idle side (one at a time).
    FileList_c* getPrgList(int ins);
    FileList_c* getBnkList(int ins);
    FileList_c* getMultiPrgList() { return multiPrgList; }
    FileList_c* getMultiBnkList() { return multiBnkList; }
    bool hasMultiLists() const { return multiPrgList && multiBnkList; }
    // Re-reads instrument ins's (clamped) bank folders beside path's folder
    // and its program files in path's folder; "Bank" and "Program" become
    // path's indices (0 when not listed). Nothing for an empty path.
    virtual void refreshPrgList(int ins, const Tool::Disk::Path_c& path);
    virtual void refreshMultiPrgList(const Tool::Disk::Path_c& path);
    // The host-display flag: while cleared (a list call or a program load
    // inside another host request runs) no host display update is asked for.
    bool getHostDisplayFlag() const { return hostDisplayFlag.load(); }
    void setHostDisplayFlag(bool on) { hostDisplayFlag.store(on); }

    // Program memory i of the instruments (of the effect units); null when
    // empty or outside.
    class MemC_c* getInsPrgMem(int i) const;
    class MemC_c* getFxsPrgMem(int i) const;
    // Stores the live parameters of program prog into its memory (the sets
    // `prog` of every registry row from row 2 on of group); a program without
    // any parameters leaves the memory empty. Thread: user interface.
    virtual void setPrgFromParaUni(int prog, class MemC_c** mems, int group);
    virtual void setPrgFromPara(int i);
    virtual void setPrgFromParaFxs(int i);
    // Reads memory prog into the live parameters: the rows' sets prog are
    // reset, then every block goes to the row of group with its type code
    // and order. A block that no row takes (and handleUnknownChunk declines)
    // is reported as a queued "Load Error" and ends the reading. False when
    // nothing could be read (no memory, bad framing).
    virtual bool setParaFromPrgUni(int prog, class MemC_c** mems, int group);
    // setParaFromPrgUni under the instrument's (effect unit's) render lock.
    virtual void setParaFromPrg(int i);
    virtual void setParaFromPrgFxs(int i);
    // An unregistered block of a program memory; true when taken. False here.
    virtual bool handleUnknownChunk(const void* block, int size, int prog, int group);
    // The program-store gate: false keeps setPrgFromParaUni from storing
    // instrument programs. True here.
    virtual bool mayStoreProgram(int prog);
    // The block of `set` just written for instrument program prog (bytes
    // long, laid out as set->getChunk writes it), before it is kept: the
    // product writes in the values makeSure gives every loaded program, so a
    // stored program holds what loading it produces. Nothing here.
    virtual void storeMadeSure(int prog, const ParaSet_c* set, unsigned char* block, int bytes);
    // Memory prog released, every row's set prog reset, then makeSure(prog)
    // (makeSureFxs for group 1).
    virtual void initPresetUni(int prog, class MemC_c** mems, int group);

    // The program of instrument i as a chunk: the live parameters are stored
    // into its memory and *out points at the memory's bytes (valid until the
    // next store). The size; 0 for an empty program, -1 for a bad
    // instrument, -2 for a null out. Thread: user interface or idle side.
    virtual int getChunkPreset(int ins, void** out);
    virtual int getChunkPresetFxs(int i, void** out);
    // Both forms: memory prog of mems (count of them) for group.
    int getChunkPresetUni(int prog, class MemC_c** mems, int count, int group, void** out);
    // Loads a program chunk into instrument ins: the instrument stops taking
    // MIDI and its voices are stopped (hardNoteOff keeps the audio thread
    // out), the chunk replaces its memory and is read into the live
    // parameters, then MIDI comes back. The framing of every block is checked
    // first: a chunk that does not hold well-formed blocks is refused whole
    // (reported, nothing changed). Result: size when loaded, 0 when refused
    // or for a missing instrument, -1 for null data or size < 1.
    // Thread: user interface or idle side, never audio.
    virtual int setChunkPreset(int ins, void* data, int size);
    virtual int setChunkPresetFxs(int i, void* data, int size);
    // The memory step of setChunkPreset: memory prog := a copy of data, read
    // into the live parameters and the program-changed work done. size, -1
    // for null data or size < 1, 0 when the framing is bad (nothing changed).
    virtual int setChunkPresetUni(int prog, class MemC_c** mems, int group, void* data, int size);

    // After a program was put into the live parameters: every part's change
    // handling for instrument i (clamped), caches, routes and the editor.
    virtual void handlePrgChanged(int i);
    virtual void handlePrgChangedFxs(int i);
    virtual void handlePrgChangedUni(int i, int group);
    // Every registry row's set back to its defaults (counted as a chunk load
    // in progress), then tweakParameter over the instruments.
    virtual void resetPara();
    // Randomises the listed host indexes (ended by a negative entry) of
    // instrument ins within "Generation Range", then handlePrgChanged(ins).
    virtual void createSound(int ins, const int* indexes);

    // The project chunk (bank) or the edited instrument's program (preset).
    // getChunk hands the host the engine's chunk buffer, valid until the next
    // getChunk; the buffer grows to hold the whole state, and a chunk that
    // cannot be made answers 0 with "Bank Save Error" queued for the user.
    // Both hold the busy counter and the engine lock. Thread: user interface.
    int32_t getChunk(void** data, bool isPreset) override;
    int32_t setChunk(void* data, int32_t size, bool isPreset) override;
    // The writer: programs prgFirst..prgLast and effect programs
    // fxFirst..fxLast with the settings, the global modules and the tuning.
    // The byte count, 0 on failure (then the user has been told).
    virtual int getBlockChunk(void** out, int prgFirst, int prgLast, int fxFirst, int fxLast, bool globals,
                              bool typedGlobals, bool tuning);
    // The reader. Every block is checked before anything changes: framing (12
    // <= size <= bytes left, a multiple of 4; the scrambled form decoded
    // first), an order within the sets or memories it names. A chunk with a
    // bad block is refused whole with a queued "Bank Load Error" and 0. A
    // well-framed block whose tag no part takes ends the reading there: the
    // blocks before it stay applied, "Bank Load Error" names it, the answer
    // is size.
    virtual int setChunkBank(void* data, int size, int prgOffset, int fxOffset, bool skipGlobals);
    // True when id is one of the accepted plug-in identifiers, read as a
    // big-endian or a little-endian int.
    virtual bool ChunkIdValid(int id);
    // A chunk (or the start-up programs) has been loaded.
    bool isChunkLoaded() const { return chunkLoaded.load(); }
    void setChunkLoaded(bool on) { chunkLoaded.store(on); }
    // A chunk load is in progress (bank or program memory reading).
    bool isChunkLoadInProgress() const { return chunkLoadCount.load() > 0; }
    // Milliseconds (low 32 bits) of the last chunk load; 0 before any.
    uint32_t getChunkLoadTime() const { return chunkLoadTime.load(); }

protected:
    // Checks that data holds nothing but well-framed blocks (program memory
    // blocks: the same rules as the bank's). False with *bad set to the
    // first bad block's offset.
    static bool blocksWellFramed(const void* data, long long size, long long* bad);
    // Queues the "format mismatch" message of a refused block.
    void reportBadBlock(const char* title, const void* data, long long size, long long offset, bool withSize);
    // True when data holds whole blocks; otherwise tells the user ("Load
    // Error") where the framing breaks. Null data never holds any.
    bool loadableBlocks(const void* data, long long size);
    // Releases every program memory (closeShutdown calls it).
    void releaseProgramMemories();
    // How many memories the array holds (the instruments' or the effect
    // units'); 0 for any other pointer.
    int memoryCount(class MemC_c** mems) const;
    // The row from the first module row on with the group, type code and
    // order; -1 when none.
    int findRegModOfGroup(int typeCode, int order, int group) const;
    // The bank form of setChunk: checked whole, then the settings reset and
    // the chunk read, the program lists refreshed and the tuning repaired.
    int setBankChunk(void* data, int size);
    // Every block of a bank chunk checked as setChunkBank will read it; false
    // (reported as "Bank Load Error") at the first bad one.
    bool bankChunkValid(const void* data, int size, int prgOffset, int fxOffset, bool skipGlobals);
    // Any registry row with that type code and order; -1 when none.
    int findAnyRegMod(int typeCode, int order) const;
    // The chunk buffer holds at least bytes; false when it could not grow.
    bool growChunkBuffer(size_t bytes);

    // Makes the program-file and bank-folder lists of every instrument; the
    // constructor calls it.
    void createProgramLists();
    // Owns the per-instrument lists, so the engine's destructor frees them.
    struct ProgramListsOwner
    {
        ProgramListsOwner() = default;
        ~ProgramListsOwner();
        ProgramListsOwner(const ProgramListsOwner&) = delete;
        ProgramListsOwner& operator=(const ProgramListsOwner&) = delete;
        FileList_c* prg = nullptr; // one per instrument
        FileList_c* bnk = nullptr;
    };
    ProgramListsOwner programLists;
    FileList_c* multiPrgList = nullptr; // never made in this engine
    FileList_c* multiBnkList = nullptr;
    std::atomic<int> curBank{0};
    std::atomic<bool> hostDisplayFlag{true};
    std::atomic<bool> chunkLoaded{false};
    std::atomic<bool> bankLoading{false};
    std::atomic<int> chunkLoadCount{0};
    std::atomic<uint32_t> chunkLoadTime{0};
    std::atomic<bool> chunkLoadTimed{false}; // chunkLoadTime holds a load
    std::atomic<bool> ignoredProgramUpdate{false}; // guards the one display update of an ignored setProgram
    // The bank chunk handed to the host (getChunk); grows as needed.
    std::unique_ptr<unsigned char[]> chunkBuffer;
    size_t chunkBufferBytes = 0;

public:
    // --- preset files and folders
    // An instrument's program is saved to and loaded from an FXP program file
    // (docs/formats.md): a 60-byte header of big-endian words ("CcnK", 0,
    // "FPCh", 1, the plug-in's identifier, 1, 1, a 28-byte name, the chunk
    // size n) and n bytes of the instrument's program memory. Preset files
    // live in bank folders under a bank root. The engine remembers the preset
    // last loaded per instrument ("Preset Load Path" of its settings), a
    // default preset (the system setting "Default Preset Path") and a folder
    // per file dialog. importPatch and exportPatch (declared with the
    // parameter changes) and getLastLoadedPreset and nextPatchFile (declared
    // with the command targets) live with these in SynthPresets.cpp.
    // A file is read only after its size word has been checked against the
    // bytes the file really has and FxpChunkMaxBytes; a save writes a
    // temporary file beside the old one and renames it over only when every
    // write and the close succeeded, else it reports "File Error - Save
    // failed" and changes nothing.
    // Thread: user interface or idle side, never audio (files).

    // Loads a multi preset into instrument 0 over freshly reset settings,
    // keeping the tuning and the multi program and bank. The import's result.
    virtual int importMultiPatch(const Tool::Disk::Path_c& path);
    // The multi program list's next or previous file (setMultiPrg); nothing
    // at either end. This engine has no multi lists.
    virtual void nextMultiFile(bool forward);
    // An instrument's file menu; mode is a tpfioMode (ModuleManager.h): load
    // or save through the dialog keyed "<code name>_FXP_<name>", copy the
    // edited instrument's program to the process-wide preset clipboard,
    // paste it, or redraw (reset). Nothing for a null name.
    virtual void handleInstFileIO(int ins, int mode, char* name);
    // The default preset: "Default Preset Path" := path; the bank root
    // becomes the folder above path's folder.
    virtual void setDefPreset(const Tool::Disk::Path_c& path);
    // The default preset, kept when keep is set and one is stored (neither
    // empty nor "empty"); otherwise fallback becomes the default and is
    // stored. The bank root follows it.
    virtual Tool::Disk::Path_c getDefPreset(const Tool::Disk::Path_c& fallback, bool keep);
    // The folder holding the bank folders; empty until a default is known.
    Tool::Disk::Path_c getBankRoot();
    // path := bank root / (name of path's folder) / (path's file name), when
    // path and the bank root are known: a project made on another machine
    // finds its bank under this machine's root.
    virtual void ForceBankPath(Tool::Disk::Path_c& path);
    // The preset last loaded, per instrument and of the multi list (nothing
    // for an empty path). getLastLoadedMulti's path is the calling thread's
    // own, valid until its next call (as getLastLoadedPreset's).
    virtual void setLastLoadedPreset(int ins, const Tool::Disk::Path_c& path);
    virtual void setLastLoadedMulti(const Tool::Disk::Path_c& path);
    virtual const Tool::Disk::Path_c& getLastLoadedMulti();
    // The plug-in's data folder, found once; empty when it cannot be had.
    virtual Tool::Disk::Path_c getMyPath();
    // Stores folder under key unless the preferences hold a text there.
    virtual void checkRegDefPath(const char* key, const Tool::Disk::Path_c& folder);
    // Start-up presets, loaded when the host restored no chunk. The engine's
    // loadStartupPatches only marks a chunk as loaded; the product chooses
    // its folder and calls loadStartupPatchesFrom (a relative folder lies in
    // the data folder), which loads the default preset (else the folder's
    // first file) into every instrument.
    virtual void loadStartupPatches();
    virtual void loadStartupPatchesFrom(const Tool::Disk::Path_c& folder, bool keep);
    virtual void loadStartupPatchesPerInst(const Tool::Disk::Path_c& folder, bool keep);
    virtual void loadStartupPatchesMulti(const Tool::Disk::Path_c& folder, bool keep);
    virtual void loadStartupKitFrom(const Tool::Disk::Path_c& folder);
    // The product's kit loading; nothing here.
    virtual void loadStartupKit(const Tool::Disk::Path_c& preset);
    // A preset was saved or loaded since the plug-in was made.
    bool isPresetSavedOrLoaded() const { return presetSavedOrLoaded.load(); }
    bool isMultiLoadInProgress() const { return multiLoadInProgress.load(); }

    // The process-wide preset clipboard: the bytes of the program last copied
    // (CopySize of them; null when empty), shared by every instance and
    // guarded inside SynthPresets.cpp.
    static unsigned char* CopyPtr;
    static int CopySize;

protected:
    // The chunk of an FXP file whose identifier passes ChunkIdValid and
    // whose size word n (1 <= n <= FxpChunkMaxBytes) fits in the file after
    // the header; null (and *size 0) for anything else, a file that is not a
    // regular file included.
    std::unique_ptr<unsigned char[]> readPresetFile(const Tool::Disk::Path_c& path, int* size);
    // Writes header and chunk to a temporary file beside path and renames it
    // over path; false (path untouched, no temporary left) when anything
    // failed.
    bool writePresetFile(const Tool::Disk::Path_c& path, const void* chunk, size_t n);
    // Every write of a preset file goes through here: write(2) on fd; the
    // bytes written, or -1 with errno set.
    virtual long writePresetBytes(int fd, const void* data, size_t n);
    // All n bytes through writePresetBytes; false at the first failure.
    bool writeAllPresetBytes(int fd, const void* data, size_t n);
    // Tells the host the project changed: the dirty marker automated to 1,
    // then to second.
    void markProjectChanged(float second);
    // The stored settings are read first when no one has read them yet.
    void recallSettingsOnce();

    std::atomic<bool> presetSavedOrLoaded{false};
    std::atomic<bool> multiLoadInProgress{false};
    // The result of the last import a "Preset Load Path" change ran (0 for an
    // empty path); PresetImportPending while none has run since it was set.
    static constexpr int PresetImportPending = -1000000;
    int presetPathImport = PresetImportPending;
    // Guards the folders below (several threads may ask for them).
    Lock_c presetFolderLock;
    Tool::Disk::Path_c bankRoot;
    Tool::Disk::Path_c defPreset;     // read once from "Default Preset Path"
    bool defPresetKnown = false;
    Tool::Disk::Path_c myPath;        // the data folder, found once
    bool myPathKnown = false;

public:
    // --- voices of the instruments
    // Voice v (0 .. voices - 1), for the instrument that renders it and gives
    // it pressure; null outside that range, before open or where the product
    // made none. Thread: audio.
    Tone_c* getVoice(int v) const { return voices && v >= 0 && v < numVoices ? voices[v] : nullptr; }

    // --- voice table
    // Frees every voice of instrument ins that is not free. Thread: audio, or
    // any thread while hardNoteOff keeps the audio thread out; everyone else
    // calls hardNoteOff. (The voice table's file gives the body.)
    virtual void hardNoteOffCore(int ins);
    // The voice has finished (its release or quick fade-out ended): its entry
    // becomes free and its instrument is told. Thread: audio (an instrument
    // rendering its voices), or hardNoteOffCore.
    virtual void finishVoice(int voice);
    // Starts a quick fade-out of the voice; the voice reports itself finished
    // once silent. Thread: audio.
    virtual void quickFadeOutVoice(int voice);
    // Quick fade-out of every held or released voice of instrument ins.
    // Thread: audio.
    virtual void quickFadeOutIns(int ins);
    // The engine's voice table (null until createVoiceTable). Thread: audio,
    // or a thread that keeps the audio thread out as hardNoteOff does.
    class PolyNoteTable_c* getPolyNoteTable() { return voiceTable.table; }
    // Makes the voice table for the engine's voices; the constructor calls it
    // after the command queues. A second call changes nothing.
    void createVoiceTable();
    // Owns the voice table, so the engine's destructor frees it.
    struct VoiceTableOwner
    {
        VoiceTableOwner() = default;
        ~VoiceTableOwner();
        VoiceTableOwner(const VoiceTableOwner&) = delete;
        VoiceTableOwner& operator=(const VoiceTableOwner&) = delete;
        PolyNoteTable_c* table = nullptr;
    };

protected:
    VoiceTableOwner voiceTable;

    // Frees the raw blocks and objects the engine owns (destructor, and a
    // constructor interrupted by a throwing host callback).
    void releaseOwnedMemory();
    // Output probing, step by step, over a pin answer (the host's by default).
    void probeOutputs(int* stereo, int* mono);
    // After a reconfiguration: each instrument's output index follows its
    // output-bus setting (bus 0 when that bus is gone); the rest is deferred
    // work when on the audio thread.
    void checkOutputBuses();
    // Runs off the audio thread (at once, or from the idle work when the
    // audio side asked): resets output-bus settings that point past the
    // buses, redraws the editor and updates the host's display.
    void runDeferredDisplayWork();
    // Both drains: the records ring holds as the drain starts, each handed to
    // execute.
    void drainRing(class CmdBuffer_c* ring, void (Synth::*execute)(const class HoldData_c&));
    // The instrument forms of getItemMute/Solo and setItemMute/Solo: para is
    // SynGloInsPara::Mute or ::Solo of instrument item.
    int getInsMuteSolo(int item, int para) const;
    void setInsMuteSolo(int item, int para, int on);
    // Both host entries: remembers the audio thread, captures the inputs and
    // renders the block, over cleared outputs when replacing (processReplacing)
    // or added to the host's (process). Thread: audio.
    void processHostBlock(float** inputs, float** outputs, int32_t frames, bool replacing);
    // The block after clearing: null host outputs get the scratch block, and
    // a block longer than it goes in scratch-sized pieces. Thread: audio.
    void renderBlock(float** outputs, int32_t frames);

    // Construction figures.
    const bool constructed;
    int numInsPrgMem = 0;
    int numFxsPrgMem = 0;
    int numProgramsFig = 0;
    int numParaSlots = 0;   // external parameter descriptors
    int numHostParas = 0;   // of them shown to the host
    int stride = 0;         // host-index distance between instruments
    int numInstruments = 0;
    int numVoices = 0;
    int numFxUnits = 0;
    bool automation = false;
    int blockSizeCopy = MaxBlockSize; // working block size (frames)
    const char* productName = "";
    const char* acceptedIds = "";
    const char* versionText = "";
    char codeName[CodeNameBytes] = {};

    // Flags and counters shared between threads.
    std::atomic<bool> opening{true};
    std::atomic<bool> flagOpen{false};
    std::atomic<bool> sampleRateValid{false};
    std::atomic<int> inCallback{0}; // audio and event callbacks inside the engine (they may overlap)
    std::atomic<int> resetting{0}; // depth: resume, bank loads and AudioHolds nest
    // Holders of an AudioHold on different threads take turns: each works on
    // the voices and tables as if it were the audio thread, so two at once
    // would meet there. Taken after engineLock, never before it.
    std::recursive_mutex holdMutex;
    std::atomic<bool> ready{false};
    std::atomic<bool> outputsValidated{false};
    std::atomic<bool> programsLoaded{false};
    std::atomic<bool> hostSuppliesIdle{true};
    std::atomic<bool> acceptMIDI{true};
    std::atomic<bool> adjustVolume{false};
    std::atomic<float> peakLevel{0.0f};
    std::atomic<uint32_t> sampleCounter{0};   // frames rendered, wrapping
    std::atomic<uint64_t> audioCounter{0};    // entries into the audio and event callbacks
    std::atomic<uint32_t> idleTimeStamp{0};   // ms, last idle work done
    std::atomic<uint32_t> hostIdleStamp{0};   // ms, last idle call of the host
    // The editor's window as the host left it: open between a successful
    // effEditOpen and effEditClose, and when the host last gave it an idle
    // call (or opened it). The timer stands in for a host that gives none.
    std::atomic<bool> editorWindowOpen{false};
    std::atomic<uint32_t> editorIdleStamp{0}; // ms
    std::atomic<uint32_t> openTimeStamp{0};   // ms
    std::atomic<bool> deferredDisplayWork{false}; // redraw + host display update asked by the audio side
    std::atomic<bool> idleOutsideRunning{false};  // an idleOutsideLocks pass is under way
    std::atomic<std::thread::id> hostAudioThread{}; // the thread that last entered the audio callback

    // Audio-thread state.
    bool playing = false;
    bool tempoKnown = false;
    VstTimeInfo timeInfo = {};
    float* inputCopy[2] = {nullptr, nullptr};  // block's two input pointers
    float* inputOwn[2] = {nullptr, nullptr};   // engine's own input buffers (block size + 17)

    // Output configuration. The arrays are made for the largest count the
    // engine is ever configured with, so the audio thread can reconfigure
    // (only ever downwards) without allocating.
    int numStereo = 0;
    int numMono = 0;
    int numInputsCfg = 0;
    int numOutputs = 0;
    int numBuses = 0;
    int outputCapacity = 0;
    float** outPtrs = nullptr;          // host buffers as last bound
    unsigned char* outSame = nullptr;   // 1 when this block's pointer equals the stored one
    float** outCall = nullptr;          // this block's pointers, null ones replaced by scratch
    float* scratchOut = nullptr;        // stands in for a null host output
    int scratchFrames = 0;
    std::atomic<int> hostOutputs{0};    // how many buffers the host passes (what it was told)

    std::atomic<double> engineSampleRate{-1.0}; // Hz; -1 until set
    std::atomic<double> recSampleRate{0.0};

    // Host detection.
    int hostId = 20;
    char hostProduct[HostTextBytes] = {};
    char hostVendor[HostTextBytes] = {};

    // Owned through open.
    Instrument_c** instruments = nullptr;  // instruments + 1, filled by the product class
    Tone_c** voices = nullptr;             // voices + 1
    Part_c** fxUnits = nullptr;            // effect units, when any
    MemC_c** insPrgMems = nullptr;         // instrument program memories + 1 (null: empty)
    MemC_c** fxsPrgMems = nullptr;         // effect program memories + 1
    unsigned char* scratchBlocks[5] = {};  // five blocks of 36 bytes
    int* muteSoloScratch = nullptr;        // one int per instrument

    // Owned members, made in this order by the constructor (and destroyed in
    // the reverse order). The controller assignments and the NRPN decoder
    // join them with the controller work; the command rings are cmdQueues,
    // the voice table is voiceTable, the route table lives in the parameter
    // map.
    std::unique_ptr<SysGlo_c> sysGlo;
    std::unique_ptr<SynGlo_c> synGlo;
    std::unique_ptr<SynGloIns_c> synGloIns;
    std::unique_ptr<NoteFreqTable_c> noteFreqTable;
    std::unique_ptr<ModuleManager_c> moduleManager; // module copy, paste and files
    // The slots through which the system settings and the tuning table share
    // their parameter sets (not users of the sets).
    ParaSet_c* sysGloSet = nullptr;
    ParaSet_c* tuningSet = nullptr;
    FileDialog_c* fileDialog = nullptr;
    Lock_c engineLock;
    Timer_c idleTimer;
    // Messages and questions, shown on a thread of their own.
    PanelQueue_c panels;
    Disk_c* disk = nullptr;

    // Step display parameters and the activity display.
    int stepDisplayIndex[4] = {-1, -1, -1, -1};
    int activityBase = -1;
    int activityStride = -1;

    std::atomic<float> masterTuneFactor{1.0f}; // "Glo Tune" / 440 Hz
    std::atomic<float> masterTuneLog{0.0f};    // a quarter of log2 of the factor
    // Read by parameter lookups on any thread.
    std::atomic<int> curEditIns{0};
    std::atomic<int> learnTarget{-1}; // descriptor touched last (the editor's clear command); -1 none
    const char* unmappedDisplay = "-";
    void* midiPlayers[8] = {};
};
