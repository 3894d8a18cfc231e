// Small pieces the delay-line effects (stereo, ping-pong and modulated
// delays, flanger, chorus, reverb) share: the silence threshold of their
// recursive states, the power-of-two line length, the denormal guard a line
// starts with, the fractional read, and letting lines go.
//
// Threads: the fills and frees run while audio is stopped or after the part
// has waited for its render to leave; flushTiny runs on the audio thread.
#pragma once

#include "SafeDiv.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace DelayLines {

// Recursive states below this magnitude are taken as silence and set to 0, so
// a dying echo never leaves subnormal numbers behind (they cost hundreds of
// cycles each on x86); far below anything audible.
constexpr float TinyState = 1e-20f;
// The guard value a fresh line holds, alternating in sign so that a line read
// back is never exact silence and never subnormal.
constexpr float Guard = 1e-7f;

inline float flushTiny(float x)
{
    return std::fabs(x) < TinyState ? 0.0f : x;
}

// The smallest power of two not below n, at most 2^30 (1 for n <= 1).
inline int powerOfTwoAtLeast(int n)
{
    int l = 1;
    while (l < n && l < (1 << 30))
        l <<= 1;
    return l;
}

// line[i] = +guard at even i, -guard at odd i (a negative guard flips the
// pattern). Nothing for a null line.
inline void fillGuard(float* line, int length, float guard = Guard)
{
    if (!line)
        return;
    for (int i = 0; i < length; ++i)
        line[i] = (i & 1) ? -guard : guard;
}

// Frees every line and leaves it null.
template <std::size_t N>
inline void freeLines(float* (&lines)[N])
{
    for (float*& line : lines) {
        std::free(line);
        line = nullptr;
    }
}

// A delay time (s) halved until it is shorter than limit samples at rate (a
// tempo of a few BPM can ask for minutes); 0 for a time that is not positive.
inline double fitDelay(double seconds, double rate, double limit)
{
    while (seconds * rate >= limit)
        seconds *= 0.5;
    return seconds > 0.0 ? seconds : 0.0;
}

// A delay time (s) in whole samples at rate, rounded, within 1..length - 1.
inline int32_t wholeDelay(double seconds, double rate, int32_t length)
{
    const double d = std::trunc(seconds * rate + 0.5);
    return static_cast<int32_t>(std::clamp(d, 1.0, static_cast<double>(length - 1)));
}

// The line read at the fractional position p (samples), linearly between
// its two neighbours; mask is the line's length - 1, a power of two less one.
inline float readLinear(const float* line, int32_t mask, double p)
{
    const double whole = std::floor(p);
    const float frac = static_cast<float>(p - whole);
    const int32_t i = static_cast<int32_t>(whole);
    return (1.0f - frac) * line[i & mask] + frac * line[(i + 1) & mask];
}

// How many passes through the loop an echo takes to fall by 80 dB at the
// feedback gain feed (0..1).
inline double passesTo80dB(float feed)
{
    return so_ddiv(-4.0, std::log10(feed + 0.0001));
}

} // namespace DelayLines
