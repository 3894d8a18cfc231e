// Small numeric helpers the per-voice filters share: input clamps that turn
// NaN into a usable value, and the flush that keeps silent state free of
// subnormal numbers.
#pragma once

#include <cmath>

namespace FilterMath {

// v within lo..hi; NaN gives lo, so a broken modulation value can never
// reach a coefficient.
template <typename T>
inline T clampIn(T v, T lo, T hi)
{
    if (!(v >= lo))
        return lo;
    return v > hi ? hi : v;
}

// v, or 0 when it is not finite.
inline float finiteOr0(float v)
{
    return std::isfinite(v) ? v : 0.0f;
}

// State below this magnitude is inaudible (far below 24-bit resolution) and
// is set to 0, before it can decay into subnormal numbers.
constexpr double FlushBelow = 1e-20;

// Flushes v and reports whether it is finite.
template <typename T>
inline bool settle(T& v)
{
    if (!std::isfinite(v))
        return false;
    if (std::fabs(v) < static_cast<T>(FlushBelow))
        v = 0;
    return true;
}

// The fourth power of a cubic in x, the shape several coefficients follow.
inline double cubicPow4(double x, double c1, double c2, double c3)
{
    const double p = 1.0 + c1 * x + c2 * x * x + c3 * x * x * x;
    const double p2 = p * p;
    return p2 * p2;
}

} // namespace FilterMath
