// Gator_c ("VGT1"), the instrument effect "GATOR": a 16-step stereo gate on
// the host tempo. Each channel follows its own on/off pattern (left pattern
// A, right pattern B); a closed step lowers the channel's gain by an amount
// set by "Wet", and every gain change is smoothed. The gate counts samples
// in steps of a note value and, while the host plays, re-aligns itself to the
// host's position in the bar at every block.
//
// The running position is kept modulo one pattern (16 steps), so hours of
// free running keep every step on its sample.
//
// GatorR_c is the serial variant: it stores its output instead of adding it,
// so it replaces the bus it reads.
//
// Threads: construction, create and resume while audio is stopped;
// postprocessParaChange and cachePara on the thread that changed a parameter
// (cachePara with the tempo reason on whichever thread reports the tempo);
// render on the audio thread. What crosses threads is held in relaxed
// atomics: the two patterns as bit masks (bit i: step i open).
#pragma once

#include "Parameter.h"
#include "SerialVariant.h"
#include "Variator.h"

#include <cstdint>

class Instrument_c;

constexpr int TypeCodeGator = 0x56475431; // 'VGT1'
constexpr int GatorSteps = 16;            // steps of a pattern

class Gator_c : public VariatorInst_c
{
public:
    enum Para_t : int {
        pVersion = 0,
        pPatternA = 1, // text, '1' opens a step: left channel
        pPatternB = 2, // right channel
        pNotes = 3,    // step note value, codes 1 (" 1/1 ") .. 17 ("1/32T")
        pSmooth = 4,
        pLink = 5,     // Link_t
        pWet = 6,      // 0..1; the instrument's remote wet level writes it
        ParaCount = 7
    };
    enum Link_t : int { linkOff = 0, linkSame = 1, linkInverse = 2 };

    Gator_c();
    ~Gator_c() override;

    using VariatorInst_c::render;
    using VariatorInst_c::getParaSetPtr;
    using VariatorInst_c::create;

    // Binds the instrument whose bar position the gate follows; the float
    // pointer is kept and not used. False, nothing changed, for a null
    // instrument. Audio stopped.
    bool create(Instrument_c* instrument, float* extra);
    // Audio stopped: the pattern starts again at step 0, with that step's
    // gain targets; the left gain and its increment go to 0.
    void resume() override;
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    int getTypeCode() const override { return TypeCodeGator; }
    // Input 0: the normalised "Wet"; others 0.
    float getModSampleDefault(int input) const override;
    bool isBPMDependent() const override { return true; }
    // After the part's handling: with "link" the other pattern becomes a copy
    // of the changed one, with "xlink" its inverse (for -1 both rules run,
    // A first; a change of the link mode itself makes B follow A). Parameter
    // thread.
    void postprocessParaChange(int set, int idx) override;
    // Every reason: step length and steps per bar from the note value and the
    // tempo; every reason but a tempo change also the wet level, patterns,
    // link mode and smoothing. Only when ready.
    void cachePara(CacheReason_t reason, int set, int idx) override;
    // Needs a sample rate above 22000 Hz: below it the smoothing diverges.
    void checkSetFlagReady() override;
    // Audio thread.
    void render(int n) override;
    // '1' becomes '0', every other character '1'. Null or empty: nothing.
    virtual void invert(char* text);

    // The mask of a pattern text: bit i set when character i (0..15) is '1';
    // characters past 16 count for nothing, missing ones are closed steps.
    static uint32_t patternMask(const char* text);

    Instrument_c* getInstrument() const { return instrument; }

    // Audio thread state, public for the tests.
    int currentStep = -1;
    float position = 0.0f; // samples since the pattern's start, 0 .. 16 steps
    float gain[2] = {};
    float increment[2] = {};
    float incrementTarget[2] = {};
    float gainTarget[2] = {};

    // Cached by cachePara.
    RelaxedAtomic_t<float> stepLength{0.0f}; // samples
    RelaxedAtomic_t<int32_t> stepsPerBar{16};
    RelaxedAtomic_t<float> wet{1.0f};
    RelaxedAtomic_t<uint32_t> maskA{0};
    RelaxedAtomic_t<uint32_t> maskB{0};
    RelaxedAtomic_t<int32_t> linkMode{linkOff};
    RelaxedAtomic_t<float> smoothing{0.025f};

protected:
    // Each channel's gain target for a step: 1 where its pattern opens the
    // step, (1 - wet)^2 + 1e-7 where it closes it.
    void setTargets(int step);
    // Moves the position to the host's step and offset in the bar.
    void alignToHost(float length);

    Instrument_c* instrument = nullptr;
    float* extra = nullptr;
    bool linking = false; // a pattern is being rewritten by the link rule
};

// The serial variant: stores where the plain class adds.
using GatorR_c = SerialVariant_c<Gator_c>;
