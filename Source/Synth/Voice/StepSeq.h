// StepSeq_c ('SEQ1'): an arpeggiator and step sequencer. It holds the keys
// that are down (sorted by pitch) and steps through a pattern of up to
// StepSeqMaxSteps steps at a tempo-synced note value. Each step has a value
// and a level: level 0 is a rest, StepSeq_c::TieLevel keeps the previous
// note sounding into the step, 1..127 play (and level / 127 is the step's
// modulation value, which every sequencer publishes through its instrument).
//
// Only the sequencer with index 0 starts and ends notes and renders the
// instrument's voices; the others keep time and publish their levels.
//
// A step lasts one note value of "Resolution" at the host tempo, longer on
// even and shorter on odd steps by "Swing"; its gate ("Note Length") sounds
// the note, the rest of the step is silent. The rounding of each step to
// whole samples is carried into the next, so a long pattern keeps to the
// host's beat instead of drifting half a sample per step.
//
// The pattern text "StepData" holds StepDataChars bytes: the current step
// + 1, the pattern length + 1, then per step its value + 1 and level + 1.
// The bytes are read unsigned (levels reach 129, above any signed char).
//
// Threads: getParaSetPtr and create while audio is stopped; cachePara,
// postprocessParaChange, resetPara and initStepInit on the user-interface
// thread; the note entries, renderBSL, offerSync, getSync and AllNotesOff on
// the audio thread only. The settings the user-interface side derives reach
// the audio thread as atomics; a reset it asks for is a request the audio
// thread carries out at its next entry. The held and sounding notes, the
// step timer and the octave walk are the audio thread's alone.
#pragma once

#include "Capacities.h"
#include "Note.h"
#include "Part.h"

#include <atomic>
#include <cstdint>

class InstrumentWithSeq_c;

constexpr int TypeCodeStepSeq = 0x53455131; // 'SEQ1'

class StepSeq_c : public Part_c
{
public:
    enum Para_t : int {
        pVersion = 0,
        pOnOff = 1,
        pOpMode = 2,
        pResolution = 3, // note-value code 1..18 (" 1/1 " .. " 1/64")
        pLength = 4,     // steps, 2..maximum pattern length
        pOctaves = 5,
        pSwing = 6,       // %
        pPlayedVeloc = 7, // %: how much of the key's velocity a step note takes
        pFixNote = 8,
        pFixVelo = 9,
        pStepData = 10,
        pNoteLength = 11, // %: the gate's part of the step
        pFileIO = 12,     // a menu: "Load ", "Save ", "Copy ", "Paste", "Init "
        pRestart = 13,    // on: the first key restarts the pattern at step 0
        ParaCount = 14
    };
    enum Mode_t : int {
        mOff = 0,
        mModOnly,
        mUp,
        mDown,
        mUpDown,
        mUpDownPlus,
        mDownUp,
        mDownUpPlus,
        mRandom,
        mChord,
        mAsPlayed,
        ModeCount
    };
    static constexpr int TieLevel = 128;

    // level: the level + 1 of every step of the default text.
    explicit StepSeq_c(int level = 100);
    ~StepSeq_c() override;

    int getTypeCode() const override { return TypeCodeStepSeq; }
    using Part_c::getParaSetPtr;
    // Only while audio is stopped; after create (the "Length" range is the
    // pattern length limit given there). The set's default pattern text is
    // this sequencer's buffer, so the sequencer outlives the set's users.
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;

    // Only while audio is stopped: index 0..3 (0 plays notes), the owning
    // instrument (its index is the set the sequencer plays from) and the
    // pattern length limit (clamped to 2..StepSeqMaxSteps).
    void create(int index, InstrumentWithSeq_c* owner, int maxSteps);
    using Part_c::create;

    // Audio thread: note starts key's note (the chord memory may have moved
    // it); key is the key that was played.
    void noteOn(NoteC_c note, NoteC_c key);
    // Audio thread: the release of a note noteOn was given.
    void noteOff(NoteC_c note);
    // Audio thread: the voice of note ended ("Mod-Only" lets the held note go).
    void noteVanishes(int note);
    // Audio thread: n samples of the instrument's rendering, cut at the step
    // and gate ends (sequencer 0 renders the instrument, the others only
    // keep time).
    void renderBSL(int n);
    // Audio thread: the pattern's next start is aligned to a position in
    // samples (the bar position of the first key).
    void offerSync(int position);
    // Audio thread: every sounding note off (sequencer 0), held and sounding
    // notes forgotten, stopped; firstStep also goes back to step 0.
    void fullReset(bool firstStep);
    // Audio stopped: full reset to the first step.
    void suspend() override;
    // Audio thread: full reset, to the first step only with the restart
    // switch on.
    void AllNotesOff();
    void handlePrgChanged() override;
    // Any thread: byte 0 (the step) or 1 (the length) of the pattern text
    // shows value + 1.
    void updatePreSteps(int byte, int value);
    // User-interface thread: the default text's steps get level (their
    // level + 1 is the byte).
    void initStepInit(int level);
    // Any thread but the audio thread: asks the audio thread for a full
    // reset at its next entry.
    void requestFullReset(bool firstStep);
    // Audio thread: the sync answer for another instrument (see
    // InstrumentWithSeq_c::getStepSeqSync).
    float getSync(bool previous, int code);

    // User-interface thread (or while audio is stopped).
    void cachePara(CacheReason_t reason, int set, int idx) override;
    void postprocessParaChange(int set, int idx) override;
    void resetPara(int first, int end) override;
    using Part_c::resetPara;
    // User-interface thread: the pattern text with the step and length the
    // audio thread shows in its first two bytes.
    void getParaCharPtr(int set, int idx, char* dst) const override;

    // --- Observers (any thread for the atomics, audio thread otherwise) ---
    int getIndex() const { return index; }
    int getMode() const { return mode.load(std::memory_order_relaxed); }
    int getLength() const { return length.load(std::memory_order_relaxed); }
    int getStep() const { return step; }
    int getPosition() const { return position; }
    bool isRunning() const { return position >= 0; }
    int getHeldCount() const { return heldCount; }
    int getSoundingCount() const { return soundingCount; }
    int getOctave() const { return octave; }
    int getStepValue(int k) const;
    int getStepLevel(int k) const;
    int getGateSamples() const { return gate; }
    int getRestSamples() const { return rest; }
    // The length of one step of note value code in samples at the tempo
    // now; 0 at a sample rate of 0.
    double noteValueSamples(int code) const;

private:
    struct Held_t
    {
        NoteC_c note; // the note to play
        NoteC_c key;  // the key that was played
        int stamp = 0;
    };
    struct Sounding_t
    {
        int note;
        int channel;
    };

    int para(int idx) const;
    void applyRequests();
    void addHeld(NoteC_c note, NoteC_c key);
    void removeHeld(int note, int channel);
    void startPattern();
    void startStep();
    void startStepNote(const Held_t& h, int level);
    void arpStepOff();
    void arpNextStep();
    void stop();
    void allSoundingOff();
    bool findNextNote();
    const Held_t* heldWithNote(int note) const;
    int lowestAbove(int note) const;  // index in held, -1 when none
    int highestBelow(int note) const; // index in held, -1 when none
    void setNext(int heldIndex);
    void decode(const char* text);
    void writeDefaultText(int valueByte, int levelByte);
    uint32_t random();
    void render(int n);
    int playSet() const;

    int index = 0;
    InstrumentWithSeq_c* owner = nullptr;
    int maxSteps = StepSeqInstrumentSteps;

    // Decoded pattern and cached settings: written by the user-interface
    // side, read by the audio thread.
    std::atomic<int8_t> stepValue[StepSeqMaxSteps];
    std::atomic<int8_t> stepLevel[StepSeqMaxSteps];
    std::atomic<int> mode{mOff};
    std::atomic<int> length{16};
    std::atomic<float> gateFraction{0.5f};
    std::atomic<float> swing{0.0f};
    std::atomic<int> octaves{1};
    std::atomic<bool> restart{true};
    std::atomic<bool> resetRequest{false};
    std::atomic<bool> resetToFirstStep{false};
    std::atomic<bool> stepSounding{false}; // a step's notes sound (for the mode switch)
    std::atomic<int> shownStep{0};          // byte 0 - 1
    std::atomic<int> shownLength{16};       // byte 1 - 1

    // Audio thread only.
    Held_t held[StepSeqHeldNotes];
    int heldCount = 0;
    int stampCounter = 0;
    Sounding_t sounding[StepSeqSoundingNotes] = {};
    int soundingCount = 0;
    Held_t next;         // the note the next playing step starts
    bool hasNext = false;
    int step = 0;
    int position = -1; // samples into the step; -1 stopped
    int previousPosition = -1;
    bool stepPending = false; // the step at position 0 has not started yet
    int gate = 0;
    int rest = 0;
    double carry = 0.0; // the rounding of the last step, in samples
    int octave = 0;
    bool goingUp = true;
    double syncOffset = 0.0;
    bool resync = false;
    bool restartPending = false;
    uint32_t seed;

    // The default "StepData" text (and its terminator): the set's
    // definition points at it.
    char defaultText[StepDataChars + 1] = {};
};
