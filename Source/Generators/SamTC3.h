// SamTC3_c ('GS02'): the time-stretch sampler of a generator slot. It plays
// the sample of one user sample slot (WaveRAM_c) with pitch and playing time
// set apart.
//
// Two read heads, A and B, run one root period L apart (L = frames per period
// of the slot's Root note) and cross-fade into each other with the weight x:
// the output is x of head A plus (1 - x) of head B. Both heads read at the
// pitch speed; x moves at (speed - time speed) / L per sample, so the
// weighted position advances at the time speed. When x passes 1 the output
// lies wholly on head A, and both heads step back one period (B then stands
// where A stood); when x falls below 0 they step forward. The first period of
// every pass is played by head A alone, with B waiting one period ahead.
//
// The slot holds the sample as its running sum J. A head's output is
// (J(now) - J(before)) / (now - before): the mean of the signal over the
// step, a filter that follows the speed, so fast playback does not alias.
//
// Speeds: base speed = (sample rate / engine rate) x the key's ratio to the
// Root (with PitchTrack) x the Octave, Semitone and Cent offsets; the pitch
// input y scales it by P(y)^4 (pitchFactor in Tone.h), y kept within -1..1.
// Time rate = (sample rate / engine rate) x ratio^TimeTrk / Time; the time
// speed is (1 + time input) x time rate. The time input is the voice's aux
// value of the slot, which rests at 0 and moves with the modulation matrix:
// a voice without time modulation plays the material through at the time
// rate, +1 plays it twice as fast, -1 holds it.
//
// Threads: construction, create and getParaSetPtr while audio is stopped;
// cachePara on the thread of a parameter change or, at a note start, the
// audio thread; prepProc and the renders on the audio thread. The audio
// thread only tries the sample's lock: a block in which another thread holds
// it is silent and the note goes on. Whatever it reads of the sample (rate,
// play range, root period) it takes while holding the lock, and again after
// the slot's data changed, so a reload or trim under a held note restarts
// its heads on the new data instead of reading beyond it.
#pragma once

#include "Capacities.h"
#include "Generator.h"

#include <cstdint>

class WaveRAM_c;
class WaveSample_c;

constexpr int TypeCodeSamTC3 = 0x47533032; // 'GS02'

class SamTC3_c final : public Generator_c
{
public:
    enum Para_t : int {
        tcVersion = 0,
        tcOnOff = 1,      // the voice's switch; the sampler does not read it
        tcOctave = 2,
        tcSemitone = 3,
        tcCent = 4,
        tcTime = 5,       // time divisor 0.25..32.00
        tcPitchTrack = 6,
        tcTimeTrack = 7,  // key tracking of time, -1.00..1.00
        tcFullLoop = 8,
        tcSpread = 9,     // unison amount d, 0.00..50.00
        tcCount = 10,
    };

    // The running state of one unison copy.
    struct Copy_t
    {
        double a = 0.0, b = 0.0;         // head positions, frames
        double prevA = -1.0, prevB = -1.0;
        double x = 0.0;                  // cross-fade weight of head A
        double start = 0.0, end = 0.0;   // play range, frames
        bool firstPeriod = true;         // head A plays the first period alone
    };

    // The cross-fade starts here, not at 0, so head B carries the sound.
    static constexpr double StartFade = 1e-6;
    // The slowest speed, frames per sample; a pitch input that would stop or
    // reverse the heads plays at this.
    static constexpr double LeastSpeed = 0.0001;
    // The carrier's factor on a head step in cross-FM.
    static constexpr float FMLeast = 0.0001f;
    static constexpr float FMMost = 2.0f;

    SamTC3_c();
    ~SamTC3_c() override;

    using Generator_c::create;
    using Generator_c::getParaSetPtr;
    using Generator_c::prepProc;

    // While audio is stopped: keeps the slot and the three control-rate
    // inputs (level, pitch, time; one value per 8 output samples each; the
    // time input rests at 0).
    virtual void create(WaveRAM_c* slot, float* level, float* pitch, float* time);

    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    int getTypeCode() const override;
    // Every reason but a tempo change: Spread and FullLoop.
    void cachePara(CacheReason_t reason, int set, int idx) override;
    // Audio thread: note start. Asks the slot for the note's sample and works
    // out the note's pitch and time ratios; the heads are placed at the first
    // render that holds the sample's lock.
    void prepProc(int instrument, Note_c note, bool legato) override;
    // Audio thread: one copy in the current mode, added into the output bus.
    // True when the copy has reached the end (without FullLoop) or there is
    // no sample; false while it plays, for a sample it cannot play, and for
    // a silent block while another thread holds the sample.
    bool renderOne(int n, int copy) override;

    // Inspection.
    WaveRAM_c* getSlot() const { return slot; }
    WaveSample_c* getPlayingSample() const { return playing; }
    const Copy_t& getCopyState(int copy) const;
    double getBaseSpeed() const { return baseSpeed; }
    double getTimeRate() const { return timeRate; }
    double getRootPeriod() const { return rootPeriod; }
    bool getFullLoop() const { return fullLoop; }

private:
    struct Run_t;

    // Places every copy at the start of the sample's play range and works out
    // the speeds. The caller holds the sample's read permission.
    void setUp();
    void restartCopy(Copy_t& c) const;
    // Control values of the next 8 samples.
    void readControls(Run_t& r) const;
    double step(Run_t& r) const;
    float carrier(const Run_t& r) const;
    // Adds one output sample of the heads' value (at the current level, and
    // times the carrier in cross-AM) and returns the heads' step to the next.
    double emit(Run_t& r, double value) const;
    bool oneHead(Run_t& r, Copy_t& c, double target) const;
    bool twoHeads(Run_t& r, Copy_t& c, double e) const;
    bool headLoop(Run_t& r, Copy_t& c, double e) const;

    WaveRAM_c* slot = nullptr;
    float* levelIn = nullptr;
    float* pitchIn = nullptr;
    float* timeIn = nullptr;

    // From cachePara (any thread).
    RelaxedAtomic_t<bool> fullLoop{false};

    // Audio thread only.
    WaveSample_c* playing = nullptr;
    bool needsSetUp = false;
    uint32_t seenGeneration = 0;
    float rootHz = 440.0f;       // the slot's Root, at the note start
    double notePitch = 1.0;      // key ratio (PitchTrack) x offsets
    double noteTime = 1.0;       // key ratio^TimeTrk / Time
    double baseSpeed = 1.0;      // frames of the sample per output sample
    double timeRate = 1.0;       // frames per output sample the material advances
    double rootPeriod = 0.0;     // L, frames
    int sampleRateOfSample = 0;
    Copy_t copies[NumUnisonCopies];
};
