// ParaSpec_c: what a parameter is (type, name, unit, range, default, decimals,
// item texts, display flags). All sets of a module class share one
// definition per parameter index; a parameter that needs its own range or
// default points to a private copy (copiedFrom names the one it came from).
//
// Threads: definitions are made and changed on the user-interface
// thread (or before audio runs); the audio code reads only the derived forms
// that Parameter_c keeps.
#pragma once

#include "Flags.h"

#include <cstdint>

// The eleven parameter types; stored in chunks only through the entry layout
// that each type selects, so the codes must never change.
enum ParaType_t : int {
    ptUndefined = 0,  // not defined yet
    ptNumber = 1,     // integer in lo..hi shown with `precision` decimals
    ptEnu = 2,        // item index into a packed fixed-width item text
    ptChannel = 3,    // 0..15 = MIDI channels 1..16, 16 = all
    ptNote = 4,       // note number, or note * 100 + cents with two decimals
    ptVolume = 5,     // level in steps of 0.2 dB
    ptOnOff = 6,      // 0 or 1, items "OffOn "
    ptCharPtr = 7,    // heap text payload; the value stays 0
    ptFloatArray = 8, // heap float array payload; the value stays 0
    ptPan = 9,        // -100..100, two decimals
    ptSel = 10,       // integer in lo..hi; never stored in chunks
    ptString = 11,    // Vdx::String_c payload; the value stays 0
};

// Display flags of a definition (ParaSpec_c::flags).
enum ParaFlag_t : int {
    pfInfiniteLo = 1,     // the low bound shows as "-oo" (a volume's floor is silence)
    pfInfiniteHi = 2,     // the high bound shows as "oo"
    pfNoteNames = 4,      // notes show as names ("C3") instead of numbers
    pfPathLeaf = 8,       // a text shows only the leaf of the path it holds
    pfStripExtension = 16 // a text shows without its extension
};

class ParaSpec_c
{
public:
    // Every field zero, divisor 1, a shared definition (no copiedFrom).
    ParaSpec_c() = default;
    // A private copy of src (fields type .. flags); copiedFrom = src.
    explicit ParaSpec_c(const ParaSpec_c* src);

    // Sets exactly these seven fields and nothing else.
    void def(const char* name, const char* unit, ParaType_t type, int lo, int hi, int defValue, int precision);
    // Clamps precision to 0..8 and sets divisor = round(10^precision).
    void setPrecisionDivisors();

    // True when this is a parameter's own copy rather than the shared one.
    bool isPrivate() const { return copiedFrom != nullptr; }

    ParaType_t type = ptUndefined;
    const char* name = nullptr; // not owned (static text)
    const char* unit = nullptr; // not owned; "dB" for volumes
    int32_t lo = 0;
    int32_t hi = 0;
    int32_t defValue = 0;
    // k of the normalised warp; the warp applies only when |k| > 0.01.
    float logFactor = 0.0f;
    // Enumerations: the packed item text, every item `precision` characters
    // wide. Text parameters: the default text or null. Not owned.
    const char* items = nullptr;
    // Enumerations: null-terminated list of further packed item texts of the
    // same width, used only to recognise stored texts. Not owned.
    const char* const* altLists = nullptr;
    // Numbers, notes, pans: decimals 0..8. Enumerations and on/off: the item
    // width. Float arrays: the element count.
    int16_t precision = 0;
    int16_t cut = 0;     // display cut width for numbers (0 = none)
    int32_t divisor = 1; // round(10^precision)
    Flags_c flags;
    const ParaSpec_c* copiedFrom = nullptr;
};
