// Buses and measurements for the processor tests: buses that clear to exact
// zeros, input signals written in a chosen form, the output read back per
// channel, and RMS and peak levels.
#pragma once

#include "Capacities.h"
#include "InBuffer2.h"
#include "Note.h"

#include "SignalMeasure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

namespace ProcTest {

// The default block of the test buses: exact silence, so levels read back
// are the processor's alone.
inline float* zeroBlock()
{
    static float block[MaxBlockSize] = {};
    return block;
}

// A four-character type code, most significant byte first.
constexpr int fourCC(const char (&c)[5])
{
    return (c[0] << 24) | (c[1] << 16) | (c[2] << 8) | c[3];
}

inline Note_c noteOf(int note, int velocity)
{
    Note_c n;
    n.set(note, velocity);
    return n;
}

// A bus of its own buffers with 1, 2 or 6 channels.
inline void makeBus(InBuffer2_c& bus, int channels, int size = MaxBlockSize)
{
    ASSERT_TRUE(bus.create("test", size, channels, zeroBlock(), false, false));
}

using Signal = std::function<float(int)>;

// A constant, and a sine of the given frequency at the given rate.
inline Signal dc(float v)
{
    return [v](int) { return v; };
}
inline Signal sine(double hz, double rate, float amplitude = 1.0f)
{
    return [=](int i) {
        return amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * i / rate));
    };
}

// Writes n frames of mono content into a bus whose cycle has started.
inline void writeMono(InBuffer2_c& bus, int n, const Signal& s)
{
    float* out = nullptr;
    ASSERT_TRUE(bus.wantWriteMono(&out, false));
    for (int i = 0; i < n; ++i)
        out[i] = s(i);
    bus.doneWriteMono();
}

inline void writeStereo(InBuffer2_c& bus, int n, const Signal& l, const Signal& r)
{
    float* left = nullptr;
    float* right = nullptr;
    ASSERT_TRUE(bus.wantWriteStereo(&left, &right));
    for (int i = 0; i < n; ++i) {
        left[i] = l(i);
        right[i] = r(i);
    }
    bus.doneWriteStereo();
}

// The bus's content, one vector per channel of its form (mono 1, stereo 2
// as left and right, 5.1 six as L, R, C, Lfe, Ls, Rs); empty without content.
inline std::vector<std::vector<float>> channels(InBuffer2_c& bus, int n)
{
    std::vector<float*> ptrs;
    float* p[6] = {};
    if (bus.isMono() && bus.wantReadMono(&p[0], false))
        ptrs.assign(p, p + 1);
    else if (bus.isStereo() && bus.wantReadStereo(&p[0], &p[1]))
        ptrs.assign(p, p + 2);
    else if (bus.is51() && bus.wantRead51(p))
        ptrs.assign(p, p + 6);
    std::vector<std::vector<float>> out;
    for (float* c : ptrs)
        out.emplace_back(c, c + n);
    return out;
}

// Appends the bus's first channel for n frames to `to`, or n zeros when the
// bus holds nothing this cycle.
inline void appendFirstChannel(std::vector<float>& to, InBuffer2_c& bus, int n)
{
    const auto ch = channels(bus, n);
    if (ch.empty())
        to.insert(to.end(), static_cast<size_t>(n), 0.0f);
    else
        to.insert(to.end(), ch[0].begin(), ch[0].end());
}

inline double rms(const std::vector<float>& v, size_t from = 0)
{
    double sum = 0.0;
    for (size_t i = from; i < v.size(); ++i)
        sum += static_cast<double>(v[i]) * v[i];
    return v.size() > from ? std::sqrt(sum / static_cast<double>(v.size() - from)) : 0.0;
}

using SignalMeasure::peak;

} // namespace ProcTest
