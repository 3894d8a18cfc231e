// Measurement helpers of the delay tests: a rig that runs a delay between two
// buses in blocks of a chosen size, the host tempo set for a test and put
// back, and level, tone and subnormal measurements.
#pragma once

#include "Capacities.h"
#include "Delay2.h"
#include "InBuffer2.h"
#include "Synth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

namespace DelayTest {

inline float* zeroBlock()
{
    static float block[MaxBlockSize] = {};
    return block;
}

// Sets the host tempo that synced modules read, and puts it back.
struct TempoGuard
{
    double saved = Bpm.load();
    ~TempoGuard() { set(saved); }
    void set(double bpm)
    {
        Bpm = bpm;
        RecBpm = 1.0 / bpm;
    }
};

struct Stereo
{
    std::vector<float> l, r;
};

// A delay reading `in` and writing `out` (2 channels each), with its own
// parameter set, switched on at the given rate. Parameters are set through
// the part and re-cached at once, as the engine would.
struct DelayRig
{
    explicit DelayRig(float rate, std::unique_ptr<Delay2_c> effect = std::make_unique<Delay2_c>())
        : fx(std::move(effect))
    {
        EXPECT_TRUE(in.create("in", MaxBlockSize, 2, zeroBlock(), false, false));
        EXPECT_TRUE(out.create("out", MaxBlockSize, 2, zeroBlock(), false, false));
        fx->getParaSetPtr(&slot);
        fx->setInBuf(&in);
        fx->setOutBufFixed(&out, nullptr);
        fx->setSampleRate(rate);
        // Free time unless a test synchronises it.
        set(Delay2_c::pNotes, 3);
        fx->setActive();
    }

    void set(int idx, int value)
    {
        fx->setParaVal(0, idx, value);
        fx->cachePara(crParaChange, 0, idx);
    }

    // Runs the input (right null: a mono input) through the delay in blocks
    // of `block` samples and returns both outputs.
    Stereo run(const std::vector<float>& left, const std::vector<float>* right = nullptr, int block = MaxBlockSize)
    {
        Stereo o;
        o.l.reserve(left.size());
        o.r.reserve(left.size());
        for (size_t at = 0; at < left.size(); at += static_cast<size_t>(block)) {
            const int n = static_cast<int>(std::min(left.size() - at, static_cast<size_t>(block)));
            in.prepCycle(n);
            out.prepCycle(n);
            float* a = nullptr;
            float* b = nullptr;
            if (right) {
                EXPECT_TRUE(in.wantWriteStereo(&a, &b));
                std::copy_n(left.data() + at, n, a);
                std::copy_n(right->data() + at, n, b);
                in.doneWriteStereo();
            } else {
                EXPECT_TRUE(in.wantWriteMono(&a, false));
                std::copy_n(left.data() + at, n, a);
                in.doneWriteMono();
            }
            fx->render(n);
            float* l = nullptr;
            float* r = nullptr;
            if (out.isStereo() && out.wantReadStereo(&l, &r)) {
                o.l.insert(o.l.end(), l, l + n);
                o.r.insert(o.r.end(), r, r + n);
            } else {
                o.l.insert(o.l.end(), static_cast<size_t>(n), 0.0f);
                o.r.insert(o.r.end(), static_cast<size_t>(n), 0.0f);
            }
        }
        return o;
    }

    InBuffer2_c in;
    InBuffer2_c out;
    ParaSet_c* slot = nullptr;
    std::unique_ptr<Delay2_c> fx;
};

inline std::vector<float> sine(double hz, double rate, size_t n, float amplitude)
{
    std::vector<float> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate));
    return v;
}

inline std::vector<float> impulse(size_t n)
{
    std::vector<float> v(n, 0.0f);
    v[0] = 1.0f;
    return v;
}

inline double rms(const std::vector<float>& v, size_t from, size_t to)
{
    double sum = 0.0;
    for (size_t i = from; i < to; ++i)
        sum += static_cast<double>(v[i]) * v[i];
    return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
}

// The wet part of an output: (output - dry input) / wet.
inline std::vector<float> wetPart(const std::vector<float>& out, const std::vector<float>& dry, float wet)
{
    std::vector<float> w(out.size());
    for (size_t i = 0; i < out.size(); ++i)
        w[i] = (out[i] - dry[i]) / wet;
    return w;
}

inline bool isSubnormal(float x)
{
    return std::fpclassify(x) == FP_SUBNORMAL;
}

inline size_t countSubnormal(const std::vector<float>& v)
{
    return static_cast<size_t>(std::count_if(v.begin(), v.end(), isSubnormal));
}

inline bool allFinite(const std::vector<float>& v)
{
    return std::all_of(v.begin(), v.end(), [](float x) { return std::isfinite(x); });
}

} // namespace DelayTest
