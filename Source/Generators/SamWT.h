// SamWT_c ('GWT0', "Quintaro" in the generator menus): the wavetable
// generator of a generator slot. It plays the WaveTable_c::WTFrames frames
// of its wavetable store, moving through the frames on its own (WaveRide),
// so the sequence of the source sample is replayed as a sequence of cycles
// at any pitch; the position input offsets the frame. Samples are read with
// bilinear interpolation: two neighbouring points of a frame, two
// neighbouring frames, the last frame blending into the first.
//
// Pitch: f = the key's frequency through the tuning table with PitchTrack
// (else UntrackedHz), times the Octave, Semitone and Cent offsets; the phase
// advances 128 f / rate table points per sample, scaled by P(y)^4 of the
// pitch input y (pitchFactor in Tone.h). Frame speed: WaveRide x 64 frames
// per D seconds (D, the store's duration), times (f / 262.96 Hz)^RideTrack.
//
// Threads: construction, createSamWT and getParaSetPtr while audio is
// stopped; cachePara on the thread of a parameter change or, at a note
// start, the audio thread; prepProc and the renders on the audio thread. The
// store may rebuild the table while a note plays; the table stays where it
// is and its values are read as relaxed atomics.
#pragma once

#include "Capacities.h"
#include "Generator.h"

class WaveTable_c;

constexpr int TypeCodeSamWT = 0x47575430; // 'GWT0'

class SamWT_c final : public Generator_c
{
public:
    enum Para_t : int {
        wgVersion = 0,
        wgOnOff = 1,      // the voice's switch; the generator does not read it
        wgOctave = 2,
        wgSemitone = 3,
        wgCent = 4,
        wgPitchTrack = 5,
        wgWaveRide = 6,   // frame speed 0.00..32.00
        wgRideTrack = 7,  // key tracking of the frame speed, -1.00..1.00
        wgSpread = 8,     // unison amount d, 0.00..50.00
        wgCount = 9,
    };

    struct Copy_t
    {
        double phase = 0.0;         // 0..128, table points
        double framePosition = 0.0; // frames; not wrapped (only the read position is)
    };

    // Every key plays this with PitchTrack off (C1), Hz.
    static constexpr double UntrackedHz = 32.70319566257483;
    // RideTrack's reference: f x RideTrackScale is 1 at about 263 Hz.
    static constexpr double RideTrackScale = 0.003802825042667697;
    // The carrier's factor on the phase step in cross-FM.
    static constexpr float FMLeast = 0.0001f;
    static constexpr float FMMost = 2.0f;

    SamWT_c();
    ~SamWT_c() override;

    using Generator_c::getParaSetPtr;
    using Generator_c::prepProc;

    // While audio is stopped: keeps the store, the three control-rate inputs
    // (level, pitch, position; one value per 8 output samples) and ones, a
    // block of 1.0 per output sample that stands in for absent cross
    // modulation.
    virtual void createSamWT(WaveTable_c* store, float* level, float* pitch, float* position, float* ones);

    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    int getTypeCode() const override;
    // Every reason but a tempo change: Spread.
    void cachePara(CacheReason_t reason, int set, int idx) override;
    // Audio thread: note start. Takes the store's table and duration, resets
    // every copy and works out the increments.
    void prepProc(int instrument, Note_c note, bool legato) override;
    // Audio thread: one copy in the current mode, added into the output bus;
    // always false (the generator never ends a voice).
    bool renderOne(int n, int copy) override;

    // Inspection.
    WaveTable_c* getStore() const { return store; }
    double getBaseIncrement() const { return baseIncrement; }
    double getFrameRate() const { return frameRate; }
    const Copy_t& getCopyState(int copy) const;
    float* getTable() const { return table; }

private:
    WaveTable_c* store = nullptr;
    float* levelIn = nullptr;
    float* pitchIn = nullptr;
    float* positionIn = nullptr;
    float* onesIn = nullptr;

    // Audio thread only.
    float* table = nullptr;
    float duration = 1.0f;       // D, seconds
    double baseIncrement = 0.0;  // table points per output sample
    double frameRate = 0.0;      // frames per control step
    Copy_t copies[NumUnisonCopies];
};
