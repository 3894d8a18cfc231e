// Part_c: the base of every module of the sound engine (voice processors,
// modulators, generators, filters, effects) and of every settings object.
// PartGroup_c, its base, is a composite that forwards the lifecycle calls to
// up to NumPartChildren child parts it does not own.
//
// A part shares the parameter set of its class, keeps the audio buses it
// reads and writes, the note it plays with the keyboard and velocity scaling
// derived from it, a vector of per-note modulation inputs, an optional morph
// list, and the flags that tell the engine whether it may render.
//
// Threads: parameter setters, setActive/setInactive, morph operations and
// the definition of sets run on the user-interface thread (or while audio is
// stopped); prepProc, NoteOff, render and cache requests with the voice-start
// reason run on the audio thread. The flags that cross threads (ready,
// prepared, active, rendering) and the route index are atomics.
//
// Parameter-set ownership: every part bound to a set is one of its users
// (ParaSet_c::retain/release); the last part to let go deletes it, so parts
// of a class may be destroyed in any order. The slot through which a class
// shares its set (the `shared` argument of createParaSet, usually a row of the
// engine's module registry) is not a user: whoever keeps reading that slot
// after the parts are gone must retain the set itself.
#pragma once

#include "Capacities.h"
#include "Note.h"
#include "ParaRow.h"
#include "ParaSet.h"
#include "Path.h"
#include "VdxString.h"

#include <atomic>
#include <cstdint>
#include <memory>

class Synth;
class InBuffer2_c;
class NoteFreqTable_c;
class Part_c;

// Why a module must refresh the values it derives from its parameters in
// cachePara. The numbers travel in commands and must not change.
enum CacheReason_t : int {
    crParaChange = 1,    // a parameter changed; the index argument names it (-1: all)
    crProgramChange = 2, // a program was loaded
    crActivate = 3,      // the module was switched on
    crVoiceStart = 4,    // a voice starts; the set argument is the voice
    crTempoChange = 5,   // the host tempo changed
    crSampleRate = 6,    // the sample rate changed
};

class PartGroup_c
{
public:
    PartGroup_c() = default;
    // Children are not deleted: they belong to whoever built the group.
    virtual ~PartGroup_c() = default;
    PartGroup_c(const PartGroup_c&) = delete;
    PartGroup_c& operator=(const PartGroup_c&) = delete;

    // Each forwards to every child slot 0 .. childCount-1 that is not null.
    // Only while audio is stopped.
    virtual void setSampleRate(float rate);
    virtual void suspend();
    virtual void resume();
    virtual void resetPara();
    // postprocessParaChange(set, -1) on every child.
    virtual void postprocessParaChangeGroup(int set);
    // Audio thread. Only children whose active flag is set.
    virtual void prepProc(int instrument, Note_c note, bool legato, bool flag2);
    virtual void NoteOff(int instrument, Note_c note);
    virtual void quickFadeOut();

    // Slot i is clamped to 0..NumPartChildren-1; the child count becomes at
    // least i + 1.
    void definePart(int i, Part_c* part);
    // The child of the clamped slot (null when empty).
    Part_c* getPart(int i) const;
    // Clears the clamped slot; a higher child count drops to i, so children
    // above i are out of reach until defined again.
    void undefinePart(int i);
    int getChildCount() const { return childCount; }

    Synth* synth = nullptr;         // the owning engine; null until create or setSynth
    float sampleRate = -1.0f;        // Hz; -1 until set
    float inverseSampleRate = -1.0f; // seconds per sample; -1 until set

protected:
    Part_c* children[NumPartChildren] = {};
    int32_t childCount = 0; // one more than the highest slot defined
};

class Part_c : public PartGroup_c
{
public:
    Part_c() = default;
    // Lets go of the parameter set (the last user deletes it) and frees the
    // type-code text, the morph list and the held morph values.
    ~Part_c() override;

    // --- Lifecycle (overrides of PartGroup_c) ---------------------------------
    // The group's forwarding, then 2/rate and min(1, 44100/rate), then
    // ReadyThenCache(crSampleRate). Only while audio is stopped.
    void setSampleRate(float rate) override;
    // The children, then initBuffer() when ready.
    void suspend() override;
    // Every set back to its defaults, without notification; nothing without
    // a set. (The children are not reset.)
    void resetPara() override;
    // Audio thread: the children, then the three-argument note start.
    void prepProc(int instrument, Note_c note, bool legato, bool flag2) override;
    // Audio thread: the children, then prepared = false.
    void NoteOff(int instrument, Note_c note) override;

    // --- Engine, tuning and parameter set ------------------------------------
    virtual void setSynth(Synth* s);
    // Nothing for a null synth; else stores synth and tuning and rebuilds the
    // type-code text from getTypeCode(), most significant byte first.
    virtual void create(Synth* s, NoteFreqTable_c* tuningTable);
    // Binds the class's set in *shared, creating it there (type code, nSets,
    // nParas) when *shared is null; ownsSet then tells that this part created
    // it. Returns the bound set; null (nothing changed) for a null slot or a
    // failed allocation.
    virtual ParaSet_c* createParaSet(ParaSet_c** shared, int nSets, int nParas);
    // As createParaSet, but a new set is the scrambled-chunk variant
    // (ParaSetMCFACT_c) and ownsSet is left alone. True when it created the
    // set.
    virtual bool allocPara(ParaSet_c** shared, int nSets, int nParas);
    // Children reset fully, sets first .. end-1 to their defaults (resetSE),
    // then postprocessParaChange(s, -1) for each valid set s in that range.
    // Nothing without a set.
    virtual void resetPara(int first, int end);
    // Classes define their parameters here: beginParaDefinition, then the
    // rest of set 0, then spreadPara. The result is the set's completion
    // result; false here. Without a set count, the table for one set:
    // getParaSetPtr(shared, 1), unless a class defines its own.
    virtual bool getParaSetPtr(ParaSet_c** shared);
    virtual bool getParaSetPtr(ParaSet_c** shared, int nSets);
    // Modules clear delay lines and state here.
    virtual void initBuffer();

    // --- Parameter access (forwards to the set; 0, 0.0, false or nothing
    // without one). Setters marked "notifies" then call
    // postprocessParaChange(set, idx).
    virtual int getChunkSize(int set) const;
    virtual int getChunk(int* buf, int set) const;
    // Parameter idx of the set; null without a set, for an invalid set or an
    // idx outside the set.
    virtual Parameter_c* getParaPtr(int set, int idx) const;
    virtual void setPara01(int set, int idx, float x); // notifies
    virtual float getPara01(int set, int idx) const;
    virtual void setParaVal(int set, int idx, int v); // notifies
    virtual void setParaHiVal(int set, int idx, int v);
    virtual void setParaLoVal(int set, int idx, int v);
    virtual float getParaFl(int set, int idx) const;
    virtual int getParaVal(int set, int idx) const;
    virtual bool getParaOn(int set, int idx) const;
    virtual void setParaOn(int set, int idx, bool on); // notifies
    virtual float getParaDef(int set, int idx) const;
    virtual int getEnuIdx(int set, int idx, const char* text) const;
    virtual float getParaVol(int set, int idx) const;
    virtual void setParaCharPtr(int set, int idx, const char* text); // notifies
    virtual void setParaString(int set, int idx, Vdx::String_c s);   // notifies
    virtual void setParaPath(int set, int idx, Tool::Disk::Path_c p); // notifies
    // dst holds ParaTextBufferBytes; emptied when there is no set.
    virtual void getParaCharPtr(int set, int idx, char* dst) const;
    virtual void getParaString(int set, int idx, Vdx::String_c* s) const;
    virtual void getParaPath(int set, int idx, Tool::Disk::Path_c* p) const;
    // dst holds ParaNameBufferBytes; emptied when there is no set.
    virtual void getParaUnit(int set, int idx, char* dst) const;
    virtual void getDisplay(int set, int idx, Vdx::String_c& out);
    virtual void getParaName(int set, int idx, char* dst) const;
    virtual float getParaStepChangeFl(int idx, int dir) const;
    // Copies the normalised value of srcIdx to dstIdx of target, unless there
    // is no target or changedIdx and srcIdx are both given (not -1) and
    // differ: a link that only follows its own source.
    virtual void dupPara(int set, int changedIdx, int srcIdx, Part_c* target, int dstIdx);

    // --- What the class is ---------------------------------------------------
    // The four-character code, most significant byte first ('SYPS'); 0 here.
    virtual int getTypeCode() const;
    virtual void lockPara(bool locked);
    // The value a modulation input has while nothing drives it.
    virtual float getModSampleDefault(int input) const;
    // Tempo-synced modules answer true.
    virtual bool isBPMDependent() const;
    virtual bool isReady() const;
    virtual void handlePrgChanged();

    // --- Change handling -----------------------------------------------------
    // idx -1 (all) first forwards to the children (postprocessParaChangeGroup);
    // then, when ready and attached to an engine, the engine re-caches every
    // part that shares the set (Synth::cachePara with crParaChange).
    virtual void postprocessParaChange(int set, int idx);
    // Modules re-derive coefficients from their parameters here.
    //
    // Threads of cachePara and notifyBPMChange: both run on the user-interface
    // thread (parameter edits, program loads, setActive; crSampleRate only
    // while audio is stopped) and on the audio thread (crVoiceStart at every
    // note start, crTempoChange when processReplacing reads a new host tempo,
    // crParaChange for controller and automation changes made there). So an
    // override never allocates, blocks or touches files, and derives each
    // value from the parameters alone, writing it with one plain store: the
    // render may read the derived fields while another thread rewrites them,
    // and then mixes old and new values for at most one block, never
    // anything worse.
    virtual void cachePara(CacheReason_t reason, int set, int idx);

    // --- Morphing: idx in the list stands for the pair A = idx, B = idx + 1.
    // None of these notifies. The part keeps its own copy of the list,
    // terminator (a negative value) included; a null list removes it.
    virtual void defineMorphParaList(const int* list);
    // b true copies A to B, false B to A, for every listed pair.
    virtual void copyMorphPara(int set, bool b);
    // Keeps the B (b true) or A values of the set's listed pairs.
    virtual void holdMorphPara(int set, bool b);
    // Puts the kept values back into B (b true) or A.
    virtual void unholdMorphPara(int set, bool b);

    // Audio thread: a note starts with the set and route of `instrument`
    // (clamped to 0..NumInstrumentSlots-1).
    virtual void prepProc(int instrument, Note_c note, bool legato);

    // --- Activation ----------------------------------------------------------
    // User-interface thread: active = true, then cachePara(crActivate).
    virtual void setActive();
    // User-interface thread: active = false, then waits in 5 ms steps until
    // the audio thread has left the module's render (rendering is down).
    // Renderers raise rendering first, then look at active (and leave at once
    // when it is clear), and lower rendering before they return: so the wait
    // ends, and no render runs on after it.
    virtual void setInactive();
    // When active and ready: cachePara(crTempoChange).
    virtual void notifyBPMChange();

    // --- Keyboard and velocity scaling ---------------------------------------
    // centreKey = k clamped to 24..96.
    virtual void setCenterKey(int k);
    // *v *= 2^(keyTrack * amount * 8): amount 1 doubles per octave above the
    // centre key.
    virtual void applyKeyboardScaling(float* v, float amount) const;
    // amount > 0 multiplies by (velocityGain - 1) * amount + 1, otherwise
    // divides by 1 - (velocityGain - 1) * amount; the result is kept in
    // 0..1e9 (NaN gives 0).
    virtual void applyVelocityScaling(float* v, float amount) const;

    // --- Buses (not owned) ---------------------------------------------------
    virtual void setInBuf(InBuffer2_c* bus);
    virtual void setInAlt(InBuffer2_c* bus);
    // Fixes both outputs: later routes leave them alone.
    virtual void setOutBufFixed(InBuffer2_c* a, InBuffer2_c* b);
    // Only when route is the part's route index.
    virtual void setOutBuf(int route, InBuffer2_c* a, InBuffer2_c* b);
    virtual InBuffer2_c* getInBuf(bool main) const;
    virtual InBuffer2_c* getOutBuf(bool first) const;
    virtual InBuffer2_c* getInBuf() const;

    virtual void findMirror(float* data, float value);
    // Adds v to the float at *p (mixSample) or stores it there (writeSample),
    // then advances *p by one float.
    virtual void mixSample(float** p, float v);
    virtual void writeSample(float** p, float v);
    // ready = true. Modules derive their cached data first and call it, and
    // may clear ready again for a condition of their own that fails.
    virtual void checkSetFlagReady();
    // checkSetFlagReady(); when ready then, cachePara(reason, -1, -1).
    virtual void ReadyThenCache(CacheReason_t reason);

    // --- Non-virtual ---------------------------------------------------------
    // The first parameter of the set: the array the audio code indexes.
    Parameter_c* getRenderParaPtr(int set) const { return paraSet ? paraSet->getParaPtr(set) : nullptr; }
    // Address of modulation input i; null outside 0..NumModInputs-1.
    float* getModVectorAdr(int i);
    // Hz of a fractional note through the tuning table; 440 without one.
    float MidiFrequency(float note) const;
    // Note number of a frequency through the tuning table; 60 without one.
    int FrequencyNote(float hz) const;
    // The four characters and a zero; null before create.
    const char* getTypeCodeText() const { return typeCodeText.get(); }
    ParaSet_c* getParaSet() const { return paraSet; }
    int getRouteIndex() const { return routeIndex; }

    // --- State ---------------------------------------------------------------
    InBuffer2_c* inputBus = nullptr;
    InBuffer2_c* alternativeInputBus = nullptr;
    InBuffer2_c* outputBusA = nullptr;
    InBuffer2_c* outputBusB = nullptr;
    // The first parameter of the set chosen at the last note start.
    Parameter_c* renderParameters = nullptr;
    // The instrument whose set and route the module uses; -1 before a note.
    // Written by the audio thread, read by the engine's instance lookups.
    RelaxedAtomic_t<int32_t> routeIndex{-1};
    Note_c note;
    float twoSamplePeriods = -1.0f; // 2 / sampleRate
    float rateFactor = 1.0f;        // min(1, 44100 / sampleRate)
    // Written at the note start on the audio thread, read by coefficient
    // refreshes on the thread that changed a parameter.
    RelaxedAtomic_t<float> keyTrack{1.0f};     // (note - centreKey) / 96 at note start
    RelaxedAtomic_t<float> velocityGain{1.0f}; // velocity curve at note start, 0.25..4
    int32_t centreKey = 60;         // 24..96
    std::atomic<bool> ready{false};     // cached data derived; may render
    std::atomic<bool> prepared{false};  // a note has started and not ended
    bool ownsSet = false;               // this part created paraSet
    bool outputFixed = false;           // outputs set by setOutBufFixed
    bool routeOnStart = false;          // a note start applies the route
    std::atomic<bool> rendering{false}; // raised by render for a block
    NoteFreqTable_c* tuning = nullptr;
    float modulation[NumModInputs] = {}; // per-note inputs, cleared at note start
    std::atomic<bool> active{true};      // inactive modules get no note calls

protected:
    // The common opening of every getParaSetPtr: binds (or creates) the
    // class's set of nSets x nParas, gives it order when order is not
    // negative, and, when its parameters are still to be defined, defines
    // parameter 0 "Version" and returns the parameters of set 0 for the rest.
    // Otherwise null, with *result what getParaSetPtr answers: true when
    // another instance has defined the set already. User-interface thread or
    // audio stopped.
    Parameter_c* beginParaDefinition(ParaSet_c** shared, int nSets, int nParas, bool* result, int order = -1);
    // The whole getParaSetPtr of a module whose parameters after "Version"
    // are one table: the opening above, the rows, then spreadPara.
    bool defineParas(ParaSet_c** shared, int nSets, int nParas, const ParaRow_s* rows, int nRows);
    template <int N> bool defineParas(ParaSet_c** shared, int nSets, int nParas, const ParaRow_s (&rows)[N])
    {
        return defineParas(shared, nSets, nParas, rows, N);
    }
    // The same opening for the few sets whose parameter 0 is not "Version"
    // (the instrument's global part stores the program name there): set 0 is
    // returned with nothing defined yet.
    Parameter_c* beginUnversionedParaDefinition(ParaSet_c** shared, int nSets, int nParas, bool* result,
                                                int order = -1);

    // The parameters of set for a refresh; a negative set first becomes the
    // set the part last played (0 before any). Null without them. Any thread.
    const Parameter_c* refreshParameters(int& set) const;
    // The same for a cachePara override: null while the part is not usable
    // (its own readiness test), so the override only reads "if (!p) return;".
    const Parameter_c* refreshParameters(int& set, bool usable) const;
    // And for an override with no tempo-bound values: also null on a tempo
    // change.
    const Parameter_c* refreshParameters(CacheReason_t reason, int& set, bool usable) const;
    // The parameters of the set the part last played (0 before any), for
    // render and readiness checks. Null without them. Any thread.
    const Parameter_c* ownParameters() const;

    // Waits in 5 ms steps until rendering is down. A part that has lowered
    // active or ready first knows no render uses its memory afterwards.
    // Never the audio thread.
    void waitForRenderToLeave() const;

    // Makes set the part's set, as one more of its users; the previous set
    // is let go. Null unbinds.
    void bindParaSet(ParaSet_c* set);

    std::unique_ptr<char[]> typeCodeText;
    ParaSet_c* paraSet = nullptr;
    std::unique_ptr<int[]> morphList;       // terminated by a negative value
    std::unique_ptr<int[]> heldMorphValues; // one per list entry
    int32_t heldMorphCount = 0;

private:
    template <typename SetT>
    ParaSet_c* bindShared(ParaSet_c** shared, int nSets, int nParas, bool* created);
    // The body of every notifying setter: change(*paraSet), then
    // postprocessParaChange(set, idx); nothing without a set.
    template <typename Change> void changeThenNotify(int set, int idx, Change change);
    // The body of the text getters: read(*paraSet) fills dst; without a set
    // dst (when given) becomes empty.
    template <typename Read> void readTextOrEmpty(char* dst, Read read) const;
};

// A zeroed heap block for n floats with slack after the last one: the size is
// (4n rounded down to a multiple of 16) + 80 bytes with 16 or-ed in, so at
// least 68 bytes follow the last frame. Null for n < 0, n above
// SampleMemMaxFrames or a failed allocation. Freed with free().
float* allocSampleMem(int n);
