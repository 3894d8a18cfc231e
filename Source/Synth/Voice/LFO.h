// LFOs: modulators (Modulator.h) that run through a cycle.
//
// LFOSimp_c ('ML02') is the segment-table LFO. Each waveform is a short list
// of linear segments (length in percent of the cycle, level, first or second
// half), so a new segment is computed only a few times per cycle; noise and
// sample-and-hold step through a table of LFONoiseTableSize random bytes,
// eight values per cycle. The rate is "Frequency" in Hz, or a tempo-sync
// note value at the host tempo. Effects embed one; the voice's AdvLFO_c does.
// The owner may align it to an instrument's sync phase (setSyncPhase) and
// asks it how fast such a phase runs (getSyncStepUp).
//
// AdvLFO_c ('ML01') is the per-voice LFO: an LFOSimp_c multiplied by an
// EnvDAD_c delay / attack / decay envelope. Both run on slots of its own; it
// writes the product as one segment to its owner, as long as the shorter of
// the two segments.
//
// Random numbers come from a per-object generator (never the process's
// random(), which locks and is shared with the host), seeded differently for
// each object in construction order; setRandomSeed makes a run repeatable.
//
// Threads: getParaSetPtr, postprocessParaChange, setSampleRate and
// setRandomSeed while audio is stopped or on the user-interface thread (the
// latter two only while the LFO does not run); the rest on the audio thread.
#pragma once

#include "Capacities.h"
#include "Envelope.h"
#include "Modulator.h"

#include <cstdint>

constexpr int TypeCodeLFOSimp = 0x4D4C3032; // 'ML02'
constexpr int TypeCodeAdvLFO = 0x4D4C3031;  // 'ML01'

class LFOSimp_c : public Modulator_c
{
public:
    enum Para_t : int {
        pVersion = 0,
        pOnOff = 1,
        pWaveform = 2,  // Waveform_t
        pFrequency = 3, // Hz x 100, 0.01..32 Hz
        pSync = 4,      // switching it off turns tempo sync off (postprocessParaChange)
        pNotes = 5,     // tempo-sync note value, -13 ("Off") .. 26
        pUnused6 = 6,
        pReserve7 = 7,
        pReserve8 = 8,
        pUnused9 = 9,
        pSymmetry = 10, // share of the first half x 100, 0.04..0.96
        ParaCount = 11
    };
    enum Waveform_t : int { wfSine = 0, wfTriangle = 1, wfSawtooth = 2, wfSquare = 3, wfNoise = 4, wfSampleHold = 5 };

    // One segment: ramps linearly from the previous segment's level to its own.
    struct Segment_t
    {
        int32_t length;     // percent of the cycle; 0 is a jump
        int32_t level;      // -50..50; x 0.02 gives -1..1
        int32_t secondHalf; // 1: stretched by 1 - symmetry, 0: by symmetry
    };
    static const Segment_t waveforms[LFOWaveformCount][LFOMaxSegments];
    static const int32_t segmentCounts[LFOWaveformCount];

    LFOSimp_c();
    ~LFOSimp_c() override;

    int getTypeCode() const override { return TypeCodeLFOSimp; }
    using Modulator_c::getParaSetPtr;
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    // After the part's handling: "Sync" switched off sets the note value to
    // "Off" and "Sync" back on (index 4 or -1).
    void postprocessParaChange(int set, int idx) override;

    using Part_c::prepProc;
    // Audio thread: the cycle starts (at 0; noise and S&H at a random table
    // position). With keep the owner's slots are left as they are; with
    // legato the running cycle goes on.
    void prepProc(int instrument, Note_c note, bool keep, bool legato) override;
    // Audio thread: the next segment (or noise value).
    void goNextPhase() override;

    // Audio thread: jumps to a position in the cycle (0..1; for noise and
    // S&H a position in the table) and writes the segment from there.
    void setSyncPhase(double phase);
    // Audio thread: a new speed offset; the running segment keeps its end
    // level and is stretched or squeezed by 2^(2 x (old - new)).
    void updateSpeed(float offset);
    // The same on the local copies, without touching the owner's slots.
    void updateSpeedLoc(float offset);
    // Phase advance per control step of parameter set `set` (f / control
    // rate; for noise and S&H f x 8/256 / control rate, a whole phase being
    // the table). 0 without the set or before a sample rate. Owners that
    // advance a phase per frame multiply by 1 / ControlStepFrames.
    double getSyncStepUp(int set) const;

    // Rate in Hz of the given parameters: "Frequency", or the note value's
    // rate at the host tempo when the note value is above "Off" and the tempo
    // is at least 6 BPM.
    double getFrequency(const Parameter_c* para) const;
    // Control steps of segment k of the current waveform, with the fractional
    // carry of the earlier segments added (0 for a jump).
    int getSegmentLength(int k);

    // Refills the random table and restarts the generator: the same seed
    // gives the same noise.
    void setRandomSeed(uint32_t seed);
    uint8_t getRandomByte(int i) const { return noiseTable[i & (LFONoiseTableSize - 1)]; }

    // Local copies of the owner's three values while a segment is prepared.
    int32_t locRemaining = 0;
    float locValue = 0.0f;
    float locIncrement = 0.0f;
    // Fraction of a step carried from one segment length to the next, so a
    // cycle keeps its length on average.
    float carry = 0.0f;

private:
    int waveform(const Parameter_c* para) const;
    double segmentShare(const Parameter_c* para, int wf, int k) const;
    bool prepareLFOvelope(int k);
    bool prepareNoise();
    bool prepareSH();
    bool stepNoise(bool hold);
    void setSyncPhaseWave(double phase);
    void setSyncPhaseNoise(double phase, bool interpolate);
    void readSlots();
    void writeSlots();
    uint32_t nextRandom();
    static float byteLevel(uint8_t b);

    uint8_t noiseTable[LFONoiseTableSize] = {};
    uint32_t randomState = 1;
};

class AdvLFO_c : public Modulator_c
{
public:
    enum Para_t : int {
        pVersion = 0,
        pOnOff = 1,
        pWaveform = 2,
        pFrequency = 3,
        pSync = 4,
        pNotes = 5, // " Off " .. 26, default " 1/4 "
        pDelay = 6,  // seconds x 1000
        pAttack = 7, // seconds x 1000
        pDecay = 8,  // seconds x 1000; the top value 10001 is infinite
        // 9 is not defined
        pSymmetry = 10,
        pPhase = 11,    // start position in the cycle x 100, 0..0.99
        pKeyTrack = 12, // percent; the owner maps it to the speed offset
        ParaCount = 13
    };

    // Binds the embedded LFO's and envelope's slots to its own locals.
    AdvLFO_c();
    ~AdvLFO_c() override;

    int getTypeCode() const override { return TypeCodeAdvLFO; }
    // Also builds (or shares) the embedded parts' sets: every AdvLFO_c bound
    // to one set shares one LFO set and one envelope set, so a parameter
    // copied into them reaches every voice. The slot must be empty or hold
    // a set an AdvLFO_c built.
    using Modulator_c::getParaSetPtr;
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    // The "Sync" rule, then copies the changed parameter into the embedded
    // parts (2, 3, 4, 5, 10 to the LFO's same indices; 6, 7, 8 to the
    // envelope's 1, 2, 3).
    void postprocessParaChange(int set, int idx) override;
    // Only while audio is stopped; the embedded parts too.
    void setSampleRate(float rate) override;
    void setPtr(float* value, float* increment, int* remaining) override;

    using Part_c::prepProc;
    // Audio thread: starts the LFO and the envelope with the same flags;
    // except for noise and S&H the cycle starts at "Phase".
    void prepProc(int instrument, Note_c note, bool keep, bool legato) override;
    // Audio thread: whichever embedded segment has ended moves on.
    void goNextPhase() override;
    void quickFadeOut() override;

    // Audio thread: the LFO jumps to the phase; the envelope holds at 1 (an
    // LFO that follows a shared phase has no delay or attack).
    void setSyncPhase(double phase);
    // Audio thread: stores the offset and stretches the running LFO segment.
    void updateSpeed(float offset);

    LFOSimp_c lfo;
    EnvDAD_c env;
    int32_t lfoRemaining = 0;
    float lfoValue = 0.0f;
    float lfoIncrement = 0.0f;
    int32_t envRemaining = 0;
    float envValue = 0.0f;
    float envIncrement = 0.0f;
    // The segment length last written to the owner: what the owner has
    // counted down since tells how far the embedded parts have run.
    int32_t lastWritten = 0;

private:
    void catchUp();
    void writeProduct();
    void copyToEmbedded(int set, int idx);
};
