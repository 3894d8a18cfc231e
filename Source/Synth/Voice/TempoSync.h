// Tempo-sync note values: every module that follows the host tempo (LFOs,
// step sequencer, delays, flanger, reverb predelay, sweeps, gate) expresses a
// synchronised time as one signed note-value code, -13..26. Code -13 is
// "Off"; -12..26 index FractToQuarterMultiple::fractions (code + 12), the
// length of the note value in quarter notes. Any other code counts as one
// quarter note, so a bad stored code still gives a usable time.
//
// The product quarters x 60 is formed in single precision and only then
// combined with the double-precision tempo, which is what keeps the triplet
// times at their truncated table values (" 1/1T" at 60 BPM is 2.6666 s).
//
// Threads: constant data and pure functions; any thread.
#pragma once

#include "Capacities.h"

#include <array>
#include <cstddef>

// The labels of the codes -13..26, each exactly NoteValueItemWidth characters,
// packed in code order (" Off " first). Modules whose note-value parameter
// covers a sub-range take the slice they need.
constexpr int NoteValueItemWidth = 5;
constexpr int NoteValueCodeOff = -13; // " Off ": not synchronised
constexpr int NoteValueCodeFirst = -12;
constexpr int NoteValueCodeLast = 26;
inline constexpr char NoteValueItems[] = " Off 16/1*16/1 16/1T 8/1* 8/1  8/1T 4/1* 4/1  4/1T 2/1* 2/1  2/1T"
                                         " 1/1* 1/1  1/1T 1/2* 1/2  1/2T 1/4* 1/4  1/4T 1/8* 1/8  1/8T"
                                         "1/16*1/16 1/16T1/32*1/32 1/32T 1/64 5/16 7/16 9/16 5/8 11/1613/16 7/8 15/16";
static_assert(sizeof(NoteValueItems) - 1 == (NoteValueCodeLast - NoteValueCodeOff + 1) * NoteValueItemWidth,
              "one item of NoteValueItemWidth characters per code");

// The unit text of every note-value parameter.
inline constexpr char NoteValueUnit[] = "Notes";

// The slice of NoteValueItems for the codes Lo..Hi, zero-terminated: the
// items of a note-value parameter that is always synchronised.
template <int Lo, int Hi>
constexpr auto noteValueSlice()
{
    static_assert(NoteValueCodeOff <= Lo && Lo < Hi && Hi <= NoteValueCodeLast);
    constexpr size_t width = NoteValueItemWidth;
    constexpr size_t count = static_cast<size_t>(Hi - Lo + 1);
    std::array<char, count * width + 1> items{};
    const size_t from = static_cast<size_t>(Lo - NoteValueCodeOff) * width;
    for (size_t i = 0; i < count * width; ++i)
        items[i] = NoteValueItems[from + i];
    return items;
}

// The items of a note-value parameter over the codes Lo..Hi: the slice with
// the item of Lo written " Off ", since such a parameter's low bound means
// "not synchronised" (sync is on when the code is above the low bound).
template <int Lo, int Hi>
constexpr auto noteValueSubItems()
{
    auto items = noteValueSlice<Lo, Hi>();
    for (size_t i = 0; i < static_cast<size_t>(NoteValueItemWidth); ++i)
        items[i] = NoteValueItems[i];
    return items;
}

struct FractToQuarterMultiple
{
    // Quarter notes per code + 12. Triplet entries hold the truncated
    // decimals (42.6666, 0.083333) rounded to float, not exact thirds.
    static const float fractions[TempoSyncFractionCount];

    // fractions[code + 12] for codes -12..26, else 1.0 (one quarter note).
    static float quarters(int code);
    // quarters(code) x 60 in single precision: seconds per note value at 1 BPM.
    static float quartersTimes60(int code);
    // Seconds of the note value: quarters x 60 x recBpm (recBpm = 1 / BPM).
    static double periodSeconds(int code, double recBpm);
    // Hz of the note value: bpm / (quarters x 60).
    static double rateHz(int code, double bpm);
};
