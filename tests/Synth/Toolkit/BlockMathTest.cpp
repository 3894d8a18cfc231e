// The block kernels against the plain loops they stand for: every length up
// to a block and one more step, every misalignment of destination and
// source, and the in-place form. They must agree to the bit.
#include "BlockMath.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace {

// Deterministic values of both signs, a few of them large.
std::vector<float> noise(size_t count, uint32_t seed)
{
    std::vector<float> v(count);
    for (float& x : v) {
        seed = seed * 1664525u + 1013904223u;
        x = (static_cast<float>(seed >> 8) * (1.0f / 16777216.0f) - 0.5f) * ((seed & 7u) == 0 ? 300.0f : 2.0f);
    }
    return v;
}

struct Kernel
{
    const char* name;
    // (d, s, gains, n) through the kernel and through the plain loop.
    std::function<void(float*, const float*, const float*, int)> fast;
    std::function<void(float*, const float*, const float*, int)> plain;
};

const Kernel Kernels[] = {
    {"copy", [](float* d, const float* s, const float*, int n) { BlockMath::copy(d, s, n); },
     [](float* d, const float* s, const float*, int n) {
         for (int i = 0; i < n; ++i)
             d[i] = s[i];
     }},
    {"fill", [](float* d, const float*, const float* g, int n) { BlockMath::fill(d, g[2], n); },
     [](float* d, const float*, const float* g, int n) {
         for (int i = 0; i < n; ++i)
             d[i] = g[2];
     }},
    {"add", [](float* d, const float* s, const float*, int n) { BlockMath::add(d, s, n); },
     [](float* d, const float* s, const float*, int n) {
         for (int i = 0; i < n; ++i)
             d[i] += s[i];
     }},
    {"addScaled", [](float* d, const float* s, const float* g, int n) { BlockMath::addScaled(d, s, g[0], n); },
     [](float* d, const float* s, const float* g, int n) {
         for (int i = 0; i < n; ++i)
             d[i] += s[i] * g[0];
     }},
    {"scale", [](float* d, const float*, const float* g, int n) { BlockMath::scale(d, g[1], n); },
     [](float* d, const float*, const float* g, int n) {
         for (int i = 0; i < n; ++i)
             d[i] *= g[1];
     }},
    {"addStepScaled", [](float* d, const float* s, const float* g, int n) { BlockMath::addStepScaled(d, s, g, n); },
     [](float* d, const float* s, const float* g, int n) {
         for (int i = 0; i < n; ++i)
             d[i] += s[i] * g[i / ControlStepFrames];
     }},
    {"storeStepScaled",
     [](float* d, const float* s, const float* g, int n) { BlockMath::storeStepScaled(d, s, g, n); },
     [](float* d, const float* s, const float* g, int n) {
         for (int i = 0; i < n; ++i)
             d[i] = s[i] * g[i / ControlStepFrames];
     }},
};

constexpr int Longest = MaxBlockSize + ControlStepFrames + 3;
constexpr int Pad = 8; // floats around the span that must stay untouched

TEST(BlockMath, KernelsMatchThePlainLoops)
{
    const std::vector<float> source = noise(Longest + 2 * Pad, 1);
    const std::vector<float> start = noise(Longest + 2 * Pad, 2);
    const std::vector<float> gains = noise(Longest / ControlStepFrames + 2, 3);
    for (const Kernel& k : Kernels) {
        for (int n = 0; n <= Longest; ++n) {
            for (int dOff = 0; dOff < 4; ++dOff) {
                for (int sOff = 0; sOff < 4; ++sOff) {
                    SCOPED_TRACE(std::string(k.name) + " n=" + std::to_string(n) + " d+" + std::to_string(dOff) +
                                 " s+" + std::to_string(sOff));
                    std::vector<float> fast = start;
                    std::vector<float> plain = start;
                    k.fast(fast.data() + Pad + dOff, source.data() + Pad + sOff, gains.data(), n);
                    k.plain(plain.data() + Pad + dOff, source.data() + Pad + sOff, gains.data(), n);
                    // Equal everywhere, the pad around the span included.
                    ASSERT_EQ(fast, plain);
                }
            }
        }
    }
}

TEST(BlockMath, InPlaceMatchesThePlainLoops)
{
    const std::vector<float> start = noise(Longest + Pad, 4);
    const std::vector<float> gains = noise(Longest / ControlStepFrames + 2, 5);
    for (const Kernel& k : Kernels) {
        for (int n = 0; n <= Longest; ++n) {
            for (int off = 0; off < 4; ++off) {
                SCOPED_TRACE(std::string(k.name) + " n=" + std::to_string(n) + " +" + std::to_string(off));
                std::vector<float> fast = start;
                std::vector<float> plain = start;
                k.fast(fast.data() + off, fast.data() + off, gains.data(), n);
                k.plain(plain.data() + off, plain.data() + off, gains.data(), n);
                ASSERT_EQ(fast, plain);
            }
        }
    }
}

} // namespace
