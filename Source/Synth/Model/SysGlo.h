// The settings parts: the settings that belong to no sound module.
//
// SysGlo_c ('SYPS')    system settings of the user, kept in the preferences
//                      store from one run of the host to the next and shared
//                      by every plug-in instance (SysGloBase_c gives the
//                      persistence);
// SynGlo_c ('SYG0')    synth-wide state of one plug-in instance;
// SynGloIns_c ('SYG1') per-program instrument settings, one set per program.
// 'SYG0' and 'SYG1' travel in the project chunk, never in the preferences.
//
// Stored settings. The 'SYPS' chunk lives in the preferences under the
// engine's code name followed by "SysGlo" and is rewritten after every
// change. Several instances (in this process or in other hosts) write the
// same entry, so a store never writes this instance's whole set over what is
// stored: it re-reads the stored chunk and replaces only the parameters this
// instance changed since its last store. A change made before the stored
// settings were read is applied on top of them, not overwritten by them.
//
// Threads: parameter changes come from the user-interface thread, and
// through MIDI learn also from the audio thread. The audio thread never
// touches the preferences: there a change only marks the store pending, and
// the idle path writes it with storePending(). Everything else here runs on
// the user-interface thread or the idle path, never on the audio thread.
#pragma once

#include "Part.h"
#include "VdxString.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

// Four-character type codes of the settings parts.
constexpr int TypeCodeSysGlo = 0x53595053;    // 'SYPS'
constexpr int TypeCodeSynGlo = 0x53594730;    // 'SYG0'
constexpr int TypeCodeSynGloIns = 0x53594731; // 'SYG1'

// Parameter indices of the settings parts, one enumeration per part, named
// after what each parameter holds. Readers and tests use these names, never
// the numbers; a stored chunk keeps the parameters in this order, so an index
// never changes once released. Gaps are indices the part leaves undefined.
// Every other fixed table of parameters follows the same form.
namespace SysGloPara {
enum : int {
    Version = 0,
    KnobMovement = 2, // "Cir/Lin Knob Movement"
    NoteDisplayType = 3,
    PadVelocity = 4, // 1 keeps note velocities of the pads
    PanMode = 5,
    JumpToSaveDir = 6, // after a save, the program list shows its folder
    FontColor = 7,
    DefaultPresetPath = 8,
    Unused10 = 10,
    DataPath = 11,
    VersionString = 12,
    EditInsFollowsMorph = 14,
    EcsFollowsEditIns = 15,
};
} // namespace SysGloPara

namespace SynGloPara {
enum : int {
    Version = 0,
    EditIns = 1,
    UndoRedo = 2,
    GloTune = 3, // 4153..4662, tenths of a Hz for A
    CCAssignActive = 4,
    SavedOrLoaded = 5,
    CpuLoad = 6,
    SRFactor = 7,
    VelCurve = 8, // 0..9
    Automatik1 = 9,
    Keyboard = 10, // an audition note, note x 1000 + velocity
    StereoOuts = 11,
    MonoOuts = 12,
    WheelTarget = 13,
    KnobMovement = 14,
    Unnamed15 = 15,
    GenerationRange = 16, // 0..100 %
    EcsSavePath = 17,
    EcsLoadPath = 18,
    VersionString = 19,
    SystemErrorCode = 20,
    SynthEdited = 21,
    Choke = 22,
    SampleDisplay = 23,
    KitNameDisplay = 24,
    EditPage = 25,
    MultiProgram = 26, // "Program" of the multi list
    MultiBank = 27,    // "Bank" of the multi list
    MasterVol = 28,
    MultiSave = 29,
    MultiLoad = 30, // the multi preset last loaded
    BendUp = 31,    // semitones
    BendDown = 32,  // semitones, -1 follows the up amount
    CCMode = 33,    // 0 receive only, 1 receive+send
};
} // namespace SynGloPara

namespace SynGloInsPara {
enum : int {
    Version = 0,
    Program = 1,
    Unused2 = 2,
    Unused3 = 3,
    Mute = 4,
    Solo = 5,
    NotesOn = 6, // display of the voices in use
    Choke = 7,
    InsChIdx = 8, // MIDI channel 0..15, or all channels
    Unnamed9 = 9,
    Edited = 10,
    Legato = 11,
    BendUp = 12, // semitones
    Unused13 = 13,
    LoadPath = 14, // "Preset Load Path": the preset last loaded
    SavePath = 15, // "Preset Save Path"
    GlobalDisplay = 16,
    Trigger = 17,
    Bank = 18,
    NoteLo = 19,
    NoteHi = 20,
    VeloLo = 21,
    VeloHi = 22,
    NoteFade = 23, // transposition in semitones
    VeloFade = 24,
    BendDown = 25, // semitones, -1 follows the up amount
    ReceiveMW = 26,
    ReceivePW = 27,
    ReceiveAT = 28,
    ReceiveSP = 29,
    MasterVol = 30,
    OutputSelection = 31, // the instrument's output bus
    ModWheel = 32,
};
} // namespace SynGloInsPara

class SysGloBase_c : public Part_c
{
public:
    // The preference key is name followed by suffix; it stays empty (nothing
    // is ever stored or recalled) when either is null.
    SysGloBase_c(const char* name, const char* suffix);
    ~SysGloBase_c() override;

    // Reads the chunk stored under the key into set 0. A stored chunk is used
    // only when its type code is this set's and its size word is exactly the
    // number of bytes stored; anything else leaves the set as it is. True
    // once the stored settings have been read. Not the audio thread.
    virtual bool recall();
    virtual bool isRecalled();

    // After a change of set 0: recall first when that has not happened yet
    // (keeping the change), the part's change handling, then the store. On
    // the audio thread the store is only marked pending (see storePending).
    void postprocessParaChange(int set, int idx) override;

    // True while a change waits to be stored. Any thread.
    bool isStorePending() const { return storePendingFlag.load(); }
    // Stores the changes that wait (made on the audio thread, or left over
    // from a failed store). The idle path calls it every round; nothing
    // happens when nothing waits. True when nothing waits afterwards. Not the
    // audio thread, and not while another thread changes this part's
    // parameters.
    bool storePending();

    const Vdx::String_c& getKey() const { return key; }

protected:
    // Whether a change may not be stored now because the caller is the audio
    // thread (which never touches files).
    virtual bool mustDeferStore() const;

    Vdx::String_c key;
    std::atomic<bool> recalled{false};

private:
    // Marks parameter idx (-1: all) as changed since the last store.
    void markChanged(int idx);
    // recall() under storeMutex, keeping the parameters marked changed.
    bool recallKeepingChanges();
    // Writes the changed parameters into the stored chunk. Caller holds
    // storeMutex.
    bool storeChanges();

    // Parameters changed since the last successful store: bit i for
    // parameter i < 64, allChanged for -1 or a higher index.
    std::atomic<uint64_t> changedMask{0};
    std::atomic<bool> allChanged{false};
    std::atomic<bool> storePendingFlag{false};
    // A store may come from the user-interface thread and from the engine's
    // idle timer; they take turns.
    std::mutex storeMutex;
};

class SysGlo_c : public SysGloBase_c
{
public:
    // The key is name followed by "SysGlo".
    explicit SysGlo_c(const char* name);

    // One set, order 0.
    bool getParaSetPtr(ParaSet_c** shared) override;
    using Part_c::getParaSetPtr;
    void postprocessParaChange(int set, int idx) override;
    int getTypeCode() const override { return TypeCodeSysGlo; }
};

class SynGlo_c : public Part_c
{
public:
    // outputCount bounds "Stereo Outs" and "Mono Outs".
    explicit SynGlo_c(int outputCount);

    // One set. The several-set form defines the same single set.
    bool getParaSetPtr(ParaSet_c** shared) override;
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    int getTypeCode() const override { return TypeCodeSynGlo; }

    int32_t outputCount;
};

class SynGloIns_c : public Part_c
{
public:
    SynGloIns_c(int programs, int stereoOutputs, int monoOutputs);
    ~SynGloIns_c() override;

    // nSets sets, one per program.
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    using Part_c::getParaSetPtr;
    int getTypeCode() const override { return TypeCodeSynGloIns; }

    // The packed item text of "Output Selection", three characters per
    // output: S01, S02, ... for the stereo outputs, then M01, M02, ... for the
    // mono outputs. Built at the first call and kept (the outputs of a part
    // never change), so the pointer stays valid for the part's life.
    const char* getOutSelStr();

    int32_t programCount;
    int32_t outputCount;
    int32_t stereoOutputs;
    int32_t monoOutputs;

private:
    std::unique_ptr<char[]> outputSelectionText;
};
