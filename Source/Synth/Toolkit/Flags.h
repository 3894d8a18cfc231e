// Flags_c: 32 bits changed and tested by mask. Flags128_c: 128 bits, one per
// MIDI note; bit i is bit i mod 32 of word i / 32.
#pragma once

#include <cstdint>

class Flags_c
{
public:
    Flags_c() = default;

    void set(int mask) { bits_ |= static_cast<uint32_t>(mask); }
    void clear(int mask) { bits_ &= ~static_cast<uint32_t>(mask); }
    // True when any bit of the mask is set.
    bool isSet(int mask) const { return (bits_ & static_cast<uint32_t>(mask)) != 0; }

private:
    uint32_t bits_ = 0;
};

class Flags128_c
{
public:
    static constexpr int Bits = 128;

    Flags128_c() = default;

    void clearAll();
    // Bits outside 0..127 are ignored: set and clear change nothing, isSet
    // answers false.
    void set(int i);
    void clear(int i);
    bool isSet(int i) const;

    // Word w (0..3) as stored; 0 outside.
    uint32_t getWord(int w) const { return (w >= 0 && w < Words) ? words_[w] : 0u; }

private:
    static constexpr int Words = Bits / 32;
    static bool inRange(int i) { return i >= 0 && i < Bits; }

    uint32_t words_[Words] = {0, 0, 0, 0};
};
