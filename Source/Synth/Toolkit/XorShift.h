// The engine's small random generator: xorshift32, cheap, allocation-free and
// lock-free, so every voice, LFO and sequencer can own one on the audio
// thread. A state of 0 stays 0: seed it with anything else.
#pragma once

#include <cstdint>

// Steps state and returns the new value.
inline uint32_t xorshift32(uint32_t& state)
{
    uint32_t x = state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    state = x;
    return x;
}
