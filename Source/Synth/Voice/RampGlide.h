// RampGlide_c: the glide ramp of a voice, the modulation source "Glide
// Curve". Its output is a pitch offset in units of 48 semitones that starts
// at the interval from the previous note (or at a fixed bend) and ramps
// linearly to 0 in the glide time, then stays there.
//
// The voice tells it the previous note and whether the new note is played
// legato (preprepProc) before the note start; both are kept per parameter set,
// that is per instrument.
//
// Threads: getParaSetPtr while audio is stopped; preprepProc, prepProc and
// goNextPhase on the audio thread.
#pragma once

#include "Modulator.h"

#include <cstdint>
#include <memory>

constexpr int TypeCodeRampGlide = 0x4D524730; // 'MRG0'

class RampGlide_c : public Modulator_c
{
public:
    // Parameter indices.
    enum Para_t : int {
        pVersion = 0,
        pGlideMode = 1, // "Off", "Held" (legato only), "On", "Bend"
        pBend = 2,      // semitones, -48..48
        pTime = 3,      // seconds x 1000 (0.001..1.2 s)
        pConst = 4,     // "Time": the glide lasts Time; "Rate": Time per 48 semitones
        ParaCount = 5
    };
    enum GlideMode_t : int { gmOff = 0, gmHeld = 1, gmOn = 2, gmBend = 3 };

    RampGlide_c() = default;
    ~RampGlide_c() override;

    int getTypeCode() const override { return TypeCodeRampGlide; }
    // One set per instrument. Also (re)allocates this instance's previous
    // note and legato arrays, one entry per set of the bound set.
    using Modulator_c::getParaSetPtr;
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;

    // Audio thread, before the voice's note start: remembers the previous
    // note (-1 = none) and the legato state for the set (clamped to the
    // valid sets).
    virtual void preprepProc(int set, int previousNote, bool legato);

    using Part_c::prepProc;
    // Audio thread: the glide start; with `add` the interval is added to the
    // current value instead of replacing it.
    void prepProc(int instrument, Note_c note, bool legato, bool add) override;
    // Audio thread: the ramp has ended; hold at its end value.
    void goNextPhase() override;

    int getSetCount() const { return setCount; }
    int getPreviousNote(int set) const;
    bool getLegato(int set) const;

private:
    int clampSet(int set) const;

    int32_t setCount = 0;
    std::unique_ptr<int32_t[]> previousNotes; // per set, -1 = none
    std::unique_ptr<bool[]> legatoFlags;      // per set
};
