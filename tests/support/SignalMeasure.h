// Measurements of rendered sound for the filter and effect tests: the level
// of one tone in a signal, RMS, peak and dB, scans for non-finite and
// subnormal numbers, the test signals that drive filters hard, and a scope
// that sets flush-to-zero the way the engine's render call does for a host.
// Header-only and self-contained.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <vector>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define SIGNAL_MEASURE_HAVE_MXCSR 1
#endif

namespace SignalMeasure {

// The amplitude of the tone at hz in x[from..], by correlation with a sine
// and a cosine over the largest whole number of its periods that fits (so
// the tone does not leak into its own measurement). 0 when not even one
// period fits.
inline double toneAmplitude(const std::vector<float>& x, size_t from, double hz, double rate)
{
    if (from >= x.size() || !(hz > 0.0))
        return 0.0;
    const double period = rate / hz;
    const double periods = std::floor(static_cast<double>(x.size() - from) / period);
    const size_t len = static_cast<size_t>(std::floor(periods * period));
    if (periods < 1.0 || len == 0)
        return 0.0;
    const double w = 2.0 * std::numbers::pi * hz / rate;
    double re = 0.0;
    double im = 0.0;
    for (size_t i = 0; i < len; ++i) {
        const double v = x[from + i];
        re += v * std::cos(w * static_cast<double>(i));
        im += v * std::sin(w * static_cast<double>(i));
    }
    return 2.0 * std::sqrt(re * re + im * im) / static_cast<double>(len);
}

inline double rms(const std::vector<float>& x, size_t from = 0)
{
    if (from >= x.size())
        return 0.0;
    double sum = 0.0;
    for (size_t i = from; i < x.size(); ++i)
        sum += static_cast<double>(x[i]) * x[i];
    return std::sqrt(sum / static_cast<double>(x.size() - from));
}

// The largest magnitude in [from, to), to cut at the signal's end.
inline float peak(const std::vector<float>& x, size_t from = 0, size_t to = SIZE_MAX)
{
    float m = 0.0f;
    for (size_t i = from; i < x.size() && i < to; ++i)
        m = std::fabs(x[i]) > m ? std::fabs(x[i]) : m;
    return m;
}

// The largest magnitude in [at - 2, at + 3): an echo read between two
// samples spreads over its neighbours.
inline float peakAround(const std::vector<float>& x, long long at)
{
    const long long from = at > 2 ? at - 2 : 0;
    return at + 3 > 0 ? peak(x, static_cast<size_t>(from), static_cast<size_t>(at + 3)) : 0.0f;
}

inline double dB(double ratio)
{
    return 20.0 * std::log10(ratio > 1e-30 ? ratio : 1e-30);
}

// Whether every value is finite.
template <typename T>
bool allFinite(const T* v, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (!std::isfinite(v[i]))
            return false;
    return true;
}
inline bool allFinite(const std::vector<float>& v)
{
    return allFinite(v.data(), v.size());
}

// How many of the values are subnormal.
template <typename T>
size_t countSubnormal(const T* v, size_t n)
{
    size_t count = 0;
    for (size_t i = 0; i < n; ++i)
        if (std::fpclassify(v[i]) == FP_SUBNORMAL)
            ++count;
    return count;
}

// A square wave of +-amplitude and the given period in samples.
inline std::vector<float> square(size_t n, int period, float amplitude)
{
    std::vector<float> out(n);
    for (size_t i = 0; i < n; ++i)
        out[i] = (i % static_cast<size_t>(period)) < static_cast<size_t>(period / 2) ? amplitude : -amplitude;
    return out;
}

// White noise, uniform in -amplitude..amplitude, the same for a given seed.
inline std::vector<float> noise(size_t n, float amplitude, uint32_t seed = 1)
{
    std::vector<float> out(n);
    uint32_t s = seed ? seed : 1;
    for (size_t i = 0; i < n; ++i) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        out[i] = amplitude * (static_cast<float>(s) / 2147483648.0f - 1.0f);
    }
    return out;
}

inline std::vector<float> sine(size_t n, double hz, double rate, float amplitude)
{
    std::vector<float> out(n);
    for (size_t i = 0; i < n; ++i)
        out[i] = amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate));
    return out;
}

// Flush-to-zero and denormals-are-zero for the scope, as a host's audio
// thread runs the engine; the previous state comes back afterwards.
class FlushToZeroScope
{
public:
    FlushToZeroScope()
    {
#ifdef SIGNAL_MEASURE_HAVE_MXCSR
        saved_ = _mm_getcsr();
        _mm_setcsr(saved_ | 0x8040u);
#endif
    }
    ~FlushToZeroScope()
    {
#ifdef SIGNAL_MEASURE_HAVE_MXCSR
        _mm_setcsr(saved_);
#endif
    }
    FlushToZeroScope(const FlushToZeroScope&) = delete;
    FlushToZeroScope& operator=(const FlushToZeroScope&) = delete;

private:
    unsigned saved_ = 0;
};

} // namespace SignalMeasure
