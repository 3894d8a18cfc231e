// ECS2_c: the table of ECSSlotCount learned MIDI controller assignments,
// through which incoming controllers (or NRPN numbers) set host parameters
// and parameter changes go back to the host as controllers. CCAss_c is one
// assignment as a record.
//
// Storage: the table is a Part_c (type code "ECS2") whose parameter set is
// the storage: 7 global parameters, then ECSSlotParaCount per slot. It lives
// in the preferences as a chunk under the engine's code name followed by
// "ECS2", and can be saved and loaded as a module file. Used slots stay at
// the front: learning fills the first unused slot and clearing moves the
// later slots up.
//
// Threads. The parameter set is the user-interface side's: every edit
// (learning completed, clearing, defaults, recall, module files, the
// editor's changes of a slot) runs off the audio thread, one at a time, and
// ends by publishing a new snapshot of the table. The audio thread (and any
// other reader) only reads published snapshots: a snapshot is never edited
// while a reader holds it, and the swap to a new one is one atomic store.
// The snapshots come from a pool made with the table, so neither side
// allocates; a writer reuses a snapshot only once no reader holds it.
// A learn that the audio thread completes (processCC) is handed to the idle
// side, which enters it into the table (idle()); so are stores asked for on
// the audio thread: the preferences are never written there. Code that
// writes the set directly (a project chunk's block) calls
// postprocessParaChange(0, -1) afterwards, which publishes what it wrote.
#pragma once

#include "Capacities.h"
#include "Part.h"
#include "VdxString.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

constexpr int TypeCodeECS2 = 0x45435332; // 'ECS2'

// What an incoming controller does to the assignments it matches.
enum ECSCtrlUse_t : int {
    ecsUseNone = 0,      // an NRPN number is being selected
    ecsUseAbsolute = 1,  // a controller value
    ecsUseIncrement = 2, // data increment (controller 96)
    ecsUseDecrement = 3, // data decrement (controller 97)
};

// Items of the table's "Mode" parameter (what the learn menu asks for).
enum ECSMode_t : int {
    ecsModeOff = 0,
    ecsModeLearn = 1,
    ecsModeClear = 2,
    ecsModeClearAll = 3,
    ecsModeLoad = 4,
    ecsModeSave = 5,
    ecsModeRestoreFactory = 6,
};

// Parameter indices of the set: the globals, then slot k's parameter j at
// ECSParaSlotBase + ECSSlotParaCount * k + j.
enum ECSPara_t : int {
    ecsParaVersion = 0,
    ecsParaOnOff = 1,       // learning and stepping active
    ecsParaMode = 2,        // an ECSMode_t
    ecsParaActiveGroup = 3, // 1..5
    ecsParaSlotBase = 7,
    // Offsets inside a slot.
    ecsSlotCCIdx = 0,   // controller 0..127 or NRPN number
    ecsSlotEditIdx = 1, // host parameter index; stored negative: the negative flag
    ecsSlotMinPar = 2,  // 0..1000, the normalised value is used
    ecsSlotMaxPar = 3,
    ecsSlotInsIdx = 4,
    ecsSlotMidiCh = 5,
    ecsSlotCurve = 6,
    ecsSlotMode = 7,    // 0 unused, 1 normal, 2..4 relative A..C
    ecsSlotMinCC = 8,
    ecsSlotMaxCC = 9,   // holds 127 minus the maximum (0 means 127)
    ecsSlotGroup = 10,
};

// One assignment.
class CCAss_c
{
public:
    int32_t controller = 0;  // controller 0..127, or an NRPN number up to 16383
    int32_t editIndex = 0;   // host parameter index (below 0: stored negative)
    float minPar = 0.0f;     // 0..1 of the parameter's range
    float maxPar = 1.0f;
    int32_t minCC = 0;       // 0..127
    int32_t maxCC = 127;     // 0..127; below minCC the direction is reversed
    int32_t instrument = -1;
    int32_t channel = 0;     // 0..15
    int32_t curve = 0;       // -9..9, carried but not applied
    int32_t mode = 0;        // 0 unused, 1 normal, 2..4 relative (not told apart from normal)
    int32_t group = 0;       // 0..5; 0 = every group

    bool isUsed() const { return mode != 0; }
};

class ECS2_c : public Part_c
{
    struct Table_t;

public:
    // Both caches (factory and snapshots) hold default records and the set
    // is defined. With a name, the preference key is name + "ECS2" (at most
    // ECSKeyBytes - 1 bytes); without one nothing is stored or recalled.
    // synth may be null (a table on its own, as in tests).
    ECS2_c(Synth* synth, const char* name);
    ~ECS2_c() override;

    bool getParaSetPtr(ParaSet_c** shared) override;
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    int getTypeCode() const override { return TypeCodeECS2; }
    // After a change of the set: "On/Off" and "Mode" do what the learn menu
    // asks; any other change publishes the table anew. Not the audio thread.
    void postprocessParaChange(int set, int idx) override;

    // --- Editing. Not the audio thread (there they do nothing and answer
    // as for a full table); any other threads take turns.

    // Every slot := the default record; speed-up memory, clear-pending,
    // learning and NRPN state cleared; no learn target.
    void init();
    // Binds (channel, controller) to (instrument, editIndex). onlyFree is the
    // form of the product's default assignments: it takes the first unused
    // slot, and adds nothing for a target that has an assignment already,
    // so the defaults go in once however often they are offered. Otherwise
    // the first slot that is unused or bound to the same target is taken
    // (relearning moves the controller). With clear-pending the target's
    // assignments are cleared instead. Returns the slot, ECSSlotCount when
    // the table is full.
    int assignCC(int channel, int controller, int instrument, int editIndex, bool onlyFree, int group);
    // Removes every assignment of (instrument, |editIndex|); later slots move
    // up. Only while "On/Off" is on.
    void clearAssignment(int instrument, int editIndex);
    // A control was touched while learning: with clear-pending its
    // assignments are cleared, otherwise it becomes the learn target. Both
    // arguments >= 0.
    void setEditIdx(int instrument, int editIndex);
    // Copies between slot k's parameters and a record (k clamped to the
    // slots); "Max CC" is turned into the maximum and back.
    void Para2Cache(int slot, CCAss_c* out) const;
    void Cache2Para(int slot, CCAss_c record);
    void setMinCC(int slot, int value); // clamped 0..127
    void setMaxCC(int slot, int value);
    void setMinPar(int slot, float value); // clamped 0..1
    void setMaxPar(int slot, float value);
    void storeFactory();   // factory cache := every slot
    void restoreFactory(); // every slot := the factory cache

    // --- Preferences. Not the audio thread (store only marks itself
    // pending there; idle() writes it).
    void store();
    // Reads the stored table; a chunk is used only when its type code is the
    // set's and its size word is the number of bytes stored. Then "On/Off"
    // and "Mode" go to 0. True when a table was read (a missing or unusable
    // entry leaves the table as it is).
    bool recall();
    bool wasRecalled() const { return recalled.load(); }

    // --- Learning input. Thread: audio (the engine's controller handling);
    // any other thread completes the learn at once.
    // While a learn target waits: 98 and 99 only assemble the NRPN number,
    // 96 and 97 take it, any other controller is the number; the binding is
    // then made (on the audio thread, by the next idle()) and the target is
    // used up. Channel 0..15.
    void processCC(int channel, int controller, int value);

    // The idle side's round: enters a learn the audio thread completed and
    // writes a store it asked for; skipped while another thread edits the
    // table (the next round does it). Not the audio thread.
    void idle();

    // True while learning is on ("On/Off"). Any thread.
    bool isLearning() const { return learning.load(); }
    bool isClearPending() const { return clearPending.load(); }

    // --- Reading. Any thread; the audio thread included.

    // A pinned snapshot: the table as published when the view was made,
    // unchanged for the view's life. Use one view for a series of calls
    // that must see the same table (a lookup and the mapping of its slot).
    class View
    {
    public:
        explicit View(const ECS2_c& ecs);
        ~View();
        View(const View&) = delete;
        View& operator=(const View&) = delete;

        // From the slot after *slot (start with -1): the next used slot whose
        // controller or NRPN number, channel and group match. On a hit *slot,
        // *instrument, *editIndex (its absolute value), *use, *speed (0..1
        // for increments and decrements, else 0) and *negative are set.
        bool requestCC(int channel, int controller, int value, int* slot, int* instrument, int* editIndex,
                       ECSCtrlUse_t* use, float* speed, bool* negative) const;
        // The parameter value (0..1) of a controller value through the slot's
        // ranges.
        float requestFl01(int slot, int controllerValue) const;
        // "Min Par" + clamp(x, 0, 1) x ("Max Par" - "Min Par").
        float requestFl01(int slot, float x) const;
        // The controller value of a parameter value (0..1): the inverse of
        // requestFl01, so a value received goes back unchanged.
        int requestCCVal(int slot, float parameterValue) const;
        bool getByIdx(int slot, int* channel, int* controller, int* instrument, int* editIndex) const;
        // The n-th (from 0) used slot bound to (instrument, |editIndex|).
        bool getByEdit(int instrument, int editIndex, int n, int* channel, int* controller, int* slot) const;
        // Slot 0 is unused.
        bool isEmpty() const;
        // The record of slot k (clamped).
        const CCAss_c& at(int slot) const;

    private:
        const ECS2_c& ecs;
        const Table_t* table;
    };

    // Each of these reads one snapshot (see View).
    bool requestCC(int channel, int controller, int value, int* slot, int* instrument, int* editIndex,
                   ECSCtrlUse_t* use, float* speed, bool* negative) const;
    float requestFl01(int slot, int controllerValue) const;
    float requestFl01(int slot, float x) const;
    int requestCCVal(int slot, float parameterValue) const;
    bool getByIdx(int slot, int* channel, int* controller, int* instrument, int* editIndex) const;
    bool getByEdit(int instrument, int editIndex, int n, int* channel, int* controller, int* slot) const;
    bool isEmpty() const;

    // The number an incoming message stands for (controller, or NRPN number
    // for 96 and 97 once an NRPN was selected) and its use; 98 and 99
    // assemble the NRPN number (use none), 100 and 101 (an RPN) end the
    // NRPN mode. Thread: the audio thread (the reader of controllers).
    int getCCIdx(int channel, int controller, int value, ECSCtrlUse_t* use) const;
    // The speed of an increment or decrement of target (editIndex,
    // instrument): 0..1, 1 for steps 25 ms apart or closer, 0 for 500 ms or
    // more or another target than last time. Remembers the target and time.
    void handleSpeedUp(int* editIndex, int* instrument, ECSCtrlUse_t* use, float* speed) const;

    // The millisecond clock of the speed-up (OsLib_c::getMilliseconds by
    // default); tests give their own. Set it before the table is used.
    void setClock(int64_t (*clock)());

    const Vdx::String_c& getKey() const { return key; }

private:
    struct Table_t
    {
        CCAss_c slots[ECSSlotCount];
        int32_t activeGroup = 1;
        mutable std::atomic<int> readers{0};
    };

    // Pins the published snapshot (see the file comment) and lets it go.
    const Table_t* pin() const;
    static void unpin(const Table_t* table);
    // Builds a snapshot of the set in a snapshot no reader holds and makes
    // it the published one. Caller holds editMutex.
    void publish();
    // The frame of every edit: nothing on the audio thread, else edit()
    // under editMutex, then publish.
    template <typename Edit> void editAndPublish(Edit edit);
    // The edits without taking editMutex or publishing.
    int assignCCCore(int channel, int controller, int instrument, int editIndex, bool onlyFree, int group);
    void clearAssignmentCore(int instrument, int editIndex);
    void clearAllCore();
    // Asks the user (question, then title, as OsLib_c::askUser takes them)
    // and runs onYes when the answer is yes.
    void askThen(const char* question, const char* title, std::function<void()> onYes);
    void writeRecord(int slot, const CCAss_c& record);
    void writeStore();
    static int paraIndex(int slot, int offset);
    static int clampSlot(int slot);
    Parameter_c* para(int idx) const;
    void setValue(int idx, int v);
    // The slot setters' edit: off the audio thread, field offset of slot
    // (clamped) becomes value under editMutex, then publish.
    void editSlotValue(int slot, int offset, int value);

    Synth* engine = nullptr;
    ParaSet_c* ownSet = nullptr; // the slot the set is made in (one table per engine)
    Vdx::String_c key;
    std::atomic<bool> recalled{false};
    std::atomic<bool> learning{false};
    std::atomic<bool> clearPending{false};
    std::atomic<bool> storePendingFlag{false};
    // The learn target: instrument << 32 | edit index; -1 none.
    std::atomic<int64_t> pendingTarget{-1};
    // A learn the audio thread completed, for idle(): 0 none, else the
    // packed channel, number and target (see ECS2.cpp).
    std::atomic<uint64_t> learnRequest{0};
    // Speed-up memory and the NRPN number of the controller reader.
    mutable std::atomic<int32_t> lastEditIdx{0};
    mutable std::atomic<int32_t> lastInstrument{0};
    mutable std::atomic<int64_t> lastTime{0};
    mutable std::atomic<bool> nrpnMode{false};
    mutable std::atomic<int32_t> nrpnNumber{0};
    int64_t (*clockFn)() = nullptr;

    CCAss_c factory[ECSSlotCount];
    Table_t tables[ECSTablePoolSize];
    std::atomic<const Table_t*> live{nullptr};
    // Edits take turns (the user-interface thread, the idle timer).
    mutable std::recursive_mutex editMutex;
};
