// Test rig for the per-voice filters: a filter bound to an input bus (mono
// or stereo), a stereo output bus and control-rate modulation buffers held
// at chosen values, driven block by block the way a voice drives it, with
// the output read back per channel.
#pragma once

#include "Capacities.h"
#include "FilterFree.h"
#include "FilterMoogSI.h"
#include "InBuffer2.h"
#include "Note.h"
#include "ParaSet.h"
#include "SignalMeasure.h"
#include "VdxString.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace FilterTest {

using Signal = std::vector<float>;

inline constexpr float Rates[] = {44100.0f, 48000.0f, 96000.0f};
constexpr int Block = MaxBlockSize;
constexpr int Steps = Block / ControlStepFrames;

// Exact silence as the buses' default, so what is read back is the filter's.
inline float* zeroBlock()
{
    static float block[MaxBlockSize] = {};
    return block;
}

// The cutoff unit of a frequency: 1 + log2(hz / 20000) / 8.
inline float cutoffUnit(double hz)
{
    return static_cast<float>(1.0 + std::log2(hz / 20000.0) / 8.0);
}

// A four-character type code, most significant byte first.
constexpr int fourCC(const char (&c)[5])
{
    return (c[0] << 24) | (c[1] << 16) | (c[2] << 8) | c[3];
}

inline std::string paraName(const Part_c& part, int idx)
{
    char name[ParaNameBufferBytes] = {};
    part.getParaName(0, idx, name);
    return name;
}

inline std::string display(Part_c& part, int idx)
{
    Vdx::String_c out;
    part.getDisplay(0, idx, out);
    return out;
}

inline Note_c noteOf(int key, int velocity = 100)
{
    Note_c n;
    n.set(key, velocity);
    return n;
}

// The voice's control-rate buffers, one value per control step of a block.
struct ModBuffers
{
    float cutoff[Steps] = {};
    float resonance[Steps] = {};
    float level[Steps] = {};
    float balance[Steps] = {};
    float type[Steps] = {};

    static void fill(float* buf, float v) { std::fill(buf, buf + Steps, v); }
};

inline bool bind(FilterMoogSI_c& f, ModBuffers& m)
{
    return f.create(m.cutoff, m.resonance, m.level, m.balance);
}
inline bool bind(FilterFree_c& f, ModBuffers& m)
{
    return f.create(m.cutoff, m.resonance, m.level, m.balance, m.type);
}

template <typename F>
struct Rig
{
    using Output = std::pair<Signal, Signal>;

    explicit Rig(float sampleRate, int inChannels = 1) : rate(sampleRate)
    {
        EXPECT_TRUE(in.create("in", Block, inChannels, zeroBlock(), false, false));
        EXPECT_TRUE(out.create("out", Block, 2, zeroBlock(), false, false));
        filter.setInBuf(&in);
        filter.setOutBufFixed(&out, nullptr);
        EXPECT_TRUE(filter.getParaSetPtr(&slot, 1));
        filter.setSampleRate(rate);
        // The defaults: open cutoff, no resonance, unity level, centred,
        // low-pass.
        set(1.0f, 0.0f);
        ModBuffers::fill(mod.level, 1.0f);
        bind(filter, mod);
    }
    void set(float cutoff, float resonance, float type = -1.0f)
    {
        ModBuffers::fill(mod.cutoff, cutoff);
        ModBuffers::fill(mod.resonance, resonance);
        ModBuffers::fill(mod.type, type);
    }
    void start(bool legato = false) { filter.prepProc(0, noteOf(60), legato); }

    // The signal through the filter in blocks of `block` frames (right only
    // for a stereo input bus); beforeBlock(k) runs before block k.
    Output run(const Signal& left, const Signal* right = nullptr, int block = Block,
               const std::function<void(size_t)>& beforeBlock = {})
    {
        Output o;
        o.first.reserve(left.size());
        o.second.reserve(left.size());
        size_t k = 0;
        for (size_t pos = 0; pos < left.size(); pos += static_cast<size_t>(block), ++k) {
            const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(block), left.size() - pos));
            in.prepCycle(n);
            out.prepCycle(n);
            if (beforeBlock)
                beforeBlock(k);
            if (right) {
                float* l = nullptr;
                float* r = nullptr;
                EXPECT_TRUE(in.wantWriteStereo(&l, &r));
                std::copy_n(left.begin() + static_cast<long>(pos), n, l);
                std::copy_n(right->begin() + static_cast<long>(pos), n, r);
                in.doneWriteStereo();
            } else {
                float* m = nullptr;
                EXPECT_TRUE(in.wantWriteMono(&m, false));
                std::copy_n(left.begin() + static_cast<long>(pos), n, m);
                in.doneWriteMono();
            }
            filter.render(n);
            float* l = nullptr;
            float* r = nullptr;
            if (out.isStereo() && out.wantReadStereo(&l, &r)) {
                o.first.insert(o.first.end(), l, l + n);
                o.second.insert(o.second.end(), r, r + n);
            } else {
                o.first.insert(o.first.end(), static_cast<size_t>(n), 0.0f);
                o.second.insert(o.second.end(), static_cast<size_t>(n), 0.0f);
            }
        }
        return o;
    }

    // The gain at hz in dB: a note starts, a sine of the given amplitude
    // runs for `seconds` and the tone is measured on the left output over
    // the second half.
    double gainDb(double hz, double seconds = 0.5, float amplitude = 0.1f)
    {
        start();
        const auto n = static_cast<size_t>(seconds * rate);
        const Output o = run(SignalMeasure::sine(n, hz, rate, amplitude));
        return SignalMeasure::dB(SignalMeasure::toneAmplitude(o.first, n / 2, hz, rate) / amplitude);
    }

    float rate;
    InBuffer2_c in;
    InBuffer2_c out;
    ParaSet_c* slot = nullptr; // the class slot; the filter is the set's user
    ModBuffers mod;
    F filter;
};

} // namespace FilterTest
