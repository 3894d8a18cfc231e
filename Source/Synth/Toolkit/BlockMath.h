// BlockMath: the small float loops of the audio path (mixing a bus into
// another, scaling by a gain or by a control-rate gain), four samples per
// instruction. The compiler leaves such loops scalar unless it can rule out
// overlap and knows the trip count, and they run for every voice and bus in
// every block.
//
// Every kernel gives exactly the floats of the plain loop it replaces: one
// float product and one float sum per sample, in the same order, no fused
// multiply-add. Destination and source are either the same array or do not
// overlap. Pointers need no alignment; n < 1 does nothing.
//
// Threads: any (pure functions on the caller's arrays).
#pragma once

#include "Capacities.h"

#include <xmmintrin.h>

namespace BlockMath {

// d[i] = s[i]. For a few dozen floats that are read one by one right
// after: the library's copy stores in pieces so wide that single-float loads
// which follow cannot take their value from the pending stores and wait.
inline void copy(float* d, const float* s, int n)
{
    int i = 0;
    for (; i + 4 <= n; i += 4)
        _mm_storeu_ps(d + i, _mm_loadu_ps(s + i));
    for (; i < n; ++i)
        d[i] = s[i];
}

// d[i] = v.
inline void fill(float* d, float v, int n)
{
    const __m128 v4 = _mm_set1_ps(v);
    int i = 0;
    for (; i + 4 <= n; i += 4)
        _mm_storeu_ps(d + i, v4);
    for (; i < n; ++i)
        d[i] = v;
}

// d[i] += s[i].
inline void add(float* d, const float* s, int n)
{
    int i = 0;
    for (; i + 4 <= n; i += 4)
        _mm_storeu_ps(d + i, _mm_add_ps(_mm_loadu_ps(d + i), _mm_loadu_ps(s + i)));
    for (; i < n; ++i)
        d[i] += s[i];
}

// d[i] += s[i] * g.
inline void addScaled(float* d, const float* s, float g, int n)
{
    const __m128 g4 = _mm_set1_ps(g);
    int i = 0;
    for (; i + 4 <= n; i += 4)
        _mm_storeu_ps(d + i, _mm_add_ps(_mm_loadu_ps(d + i), _mm_mul_ps(_mm_loadu_ps(s + i), g4)));
    for (; i < n; ++i)
        d[i] += s[i] * g;
}

// d[i] *= g.
inline void scale(float* d, float g, int n)
{
    const __m128 g4 = _mm_set1_ps(g);
    int i = 0;
    for (; i + 4 <= n; i += 4)
        _mm_storeu_ps(d + i, _mm_mul_ps(_mm_loadu_ps(d + i), g4));
    for (; i < n; ++i)
        d[i] *= g;
}

// d[i] += s[i] * g[i / ControlStepFrames]: a gain that holds for a control
// step of 8 samples.
inline void addStepScaled(float* d, const float* s, const float* g, int n)
{
    static_assert(ControlStepFrames == 8, "a step is two groups of four");
    int i = 0;
    for (; i + ControlStepFrames <= n; i += ControlStepFrames) {
        const __m128 g4 = _mm_set1_ps(g[i / ControlStepFrames]);
        _mm_storeu_ps(d + i, _mm_add_ps(_mm_loadu_ps(d + i), _mm_mul_ps(_mm_loadu_ps(s + i), g4)));
        _mm_storeu_ps(d + i + 4, _mm_add_ps(_mm_loadu_ps(d + i + 4), _mm_mul_ps(_mm_loadu_ps(s + i + 4), g4)));
    }
    if (i < n)
        addScaled(d + i, s + i, g[i / ControlStepFrames], n - i);
}

// d[i] = s[i] * g[i / ControlStepFrames].
inline void storeStepScaled(float* d, const float* s, const float* g, int n)
{
    static_assert(ControlStepFrames == 8, "a step is two groups of four");
    int i = 0;
    for (; i + ControlStepFrames <= n; i += ControlStepFrames) {
        const __m128 g4 = _mm_set1_ps(g[i / ControlStepFrames]);
        _mm_storeu_ps(d + i, _mm_mul_ps(_mm_loadu_ps(s + i), g4));
        _mm_storeu_ps(d + i + 4, _mm_mul_ps(_mm_loadu_ps(s + i + 4), g4));
    }
    for (; i < n; ++i)
        d[i] = s[i] * g[i / ControlStepFrames];
}

} // namespace BlockMath
