// Test rig and measurements for the line-based effects: an effect bound to
// stereo buses that clear to exact silence (or to one bus it reads and
// replaces, as in the serial slots), input signals by sample index, the
// output collected per channel, and level, tone and number checks.
#pragma once

#include "Capacities.h"
#include "InBuffer2.h"
#include "ParaSet.h"
#include "Parameter.h"
#include "Synth.h"
#include "Variator.h"

#include "SignalMeasure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <vector>

namespace fx2 {

inline constexpr float Rates[] = {44100.0f, 48000.0f, 96000.0f};

// The default block of the test buses: exact silence, so what is read back
// is the effect's alone.
inline float* zeroBlock()
{
    static float block[MaxBlockSize] = {};
    return block;
}

using Signal = std::function<float(long long)>;

inline Signal silence()
{
    return [](long long) { return 0.0f; };
}
inline Signal impulse(float height = 1.0f, long long at = 0)
{
    return [=](long long i) { return i == at ? height : 0.0f; };
}
inline Signal sine(double hz, double rate, float amplitude = 1.0f)
{
    return [=](long long i) {
        return amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate));
    };
}
// A square of the given period in samples, +-amplitude.
inline Signal square(int period, float amplitude)
{
    return [=](long long i) { return (i % period) < period / 2 ? amplitude : -amplitude; };
}
// Uniform noise in -amplitude..amplitude from a fixed seed.
inline Signal noise(float amplitude, unsigned seed = 12345u)
{
    auto state = std::make_shared<unsigned>(seed);
    return [=](long long) {
        *state = *state * 1664525u + 1013904223u;
        return amplitude * (static_cast<float>(*state >> 8) / 8388608.0f - 1.0f);
    };
}

struct Stereo
{
    std::vector<float> l;
    std::vector<float> r;
};

// Sets the host tempo for a scope and puts the old one back.
struct TempoScope
{
    explicit TempoScope(double bpm)
    {
        Bpm = bpm;
        RecBpm = 1.0 / bpm;
    }
    ~TempoScope()
    {
        Bpm = savedBpm;
        RecBpm = savedRec;
    }
    double savedBpm = Bpm.load();
    double savedRec = RecBpm.load();
};

// An effect of class E with a parameter set of its own on stereo buses.
// serial: the effect reads and writes one bus, as in the serial slots.
template <class E>
struct Rig
{
    explicit Rig(float rate, bool serial = false) : serial(serial)
    {
        EXPECT_TRUE(in.create("in", MaxBlockSize, 2, zeroBlock(), false, false));
        EXPECT_TRUE(out.create("out", MaxBlockSize, 2, zeroBlock(), false, false));
        fx.setInBuf(&in);
        fx.setOutBufFixed(serial ? &in : &out, nullptr);
        fx.getParaSetPtr(&slot, 1);
        fx.setSampleRate(rate);
    }
    // Sets a parameter by its stored integer value and refreshes as the
    // engine does after a change.
    void set(int idx, int value)
    {
        fx.setParaVal(0, idx, value);
        fx.cachePara(crParaChange, 0, idx);
    }
    const Parameter_c* para() const { return fx.getRenderParaPtr(0); }

    // Runs frames of input through the effect in blocks (the effect base's
    // on/off render with the input on), from input index `from`. With keep
    // false nothing is collected (long runs).
    Stereo run(long long frames, const Signal& l, const Signal& r, int block = MaxBlockSize, bool keep = true)
    {
        return runOnto(frames, l, r, 0.0f, block, keep);
    }
    // As run, with a parallel slot's output bus already holding `onBus` on
    // both sides (what other effects put there before).
    Stereo runOnto(long long frames, const Signal& l, const Signal& r, float onBus, int block = MaxBlockSize,
                   bool keep = true)
    {
        Stereo o;
        if (keep) {
            o.l.reserve(static_cast<size_t>(frames));
            o.r.reserve(static_cast<size_t>(frames));
        }
        for (long long done = 0; done < frames;) {
            const int n = static_cast<int>(std::min<long long>(block, frames - done));
            in.prepCycle(n);
            if (!serial)
                out.prepCycle(n);
            float* a = nullptr;
            float* b = nullptr;
            EXPECT_TRUE(in.wantWriteStereo(&a, &b));
            for (int i = 0; i < n; ++i) {
                a[i] = l(clock + i);
                b[i] = r(clock + i);
            }
            in.doneWriteStereo();
            if (!serial && onBus != 0.0f) {
                EXPECT_TRUE(out.wantWriteStereo(&a, &b));
                std::fill(a, a + n, onBus);
                std::fill(b, b + n, onBus);
                out.doneWriteStereo();
            }
            fx.render(true, n);
            if (keep) {
                InBuffer2_c& o2 = serial ? in : out;
                float* ol = nullptr;
                float* orr = nullptr;
                if (o2.hasContent() && o2.wantReadStereo(&ol, &orr)) {
                    o.l.insert(o.l.end(), ol, ol + n);
                    o.r.insert(o.r.end(), orr, orr + n);
                } else {
                    o.l.insert(o.l.end(), static_cast<size_t>(n), 0.0f);
                    o.r.insert(o.r.end(), static_cast<size_t>(n), 0.0f);
                }
            }
            clock += n;
            done += n;
        }
        return o;
    }
    Stereo run(long long frames, const Signal& both, int block = MaxBlockSize, bool keep = true)
    {
        return run(frames, both, both, block, keep);
    }

    bool serial;
    long long clock = 0; // input index of the next sample
    InBuffer2_c in;
    InBuffer2_c out;
    ParaSet_c* slot = nullptr;
    E fx;
};

using SignalMeasure::peak;

inline double rms(const std::vector<float>& v, size_t from = 0, size_t to = SIZE_MAX)
{
    to = std::min(to, v.size());
    double sum = 0.0;
    for (size_t i = from; i < to; ++i)
        sum += static_cast<double>(v[i]) * v[i];
    return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
}

// Amplitude of the component at hz (Goertzel over the span).
inline double toneAmplitude(const std::vector<float>& v, double hz, double rate, size_t from, size_t to)
{
    const double w = 2.0 * std::numbers::pi * hz / rate;
    double re = 0.0;
    double im = 0.0;
    for (size_t i = from; i < to; ++i) {
        re += v[i] * std::cos(w * static_cast<double>(i - from));
        im += v[i] * std::sin(w * static_cast<double>(i - from));
    }
    return 2.0 * std::hypot(re, im) / static_cast<double>(to - from);
}

inline bool allFinite(const std::vector<float>& v)
{
    return std::all_of(v.begin(), v.end(), [](float x) { return std::isfinite(x); });
}

inline bool isSubnormal(float x)
{
    return std::fpclassify(x) == FP_SUBNORMAL;
}

inline bool anySubnormal(const std::vector<float>& v)
{
    return std::any_of(v.begin(), v.end(), isSubnormal);
}

// Indices where |v| exceeds the threshold and is the largest within +-guard
// samples: the echoes of an impulse.
inline std::vector<size_t> echoes(const std::vector<float>& v, float threshold, size_t guard = 16)
{
    std::vector<size_t> at;
    for (size_t i = 0; i < v.size(); ++i) {
        if (std::fabs(v[i]) <= threshold)
            continue;
        bool top = true;
        for (size_t j = (i > guard ? i - guard : 0); j < std::min(v.size(), i + guard + 1) && top; ++j)
            if (std::fabs(v[j]) > std::fabs(v[i]) || (std::fabs(v[j]) == std::fabs(v[i]) && j < i))
                top = false;
        if (top)
            at.push_back(i);
    }
    return at;
}


// A parameter setting: stored integer value of parameter idx.
struct Setting
{
    int idx;
    int value;
};
using Settings = std::vector<Setting>;

template <class E>
using Prepare = std::function<void(Rig<E>&)>;

// A rig at the rate, active, prepared and set.
template <class E>
std::unique_ptr<Rig<E>> makeRig(float rate, bool serial, const Prepare<E>& prepare, const Settings& settings)
{
    auto rig = std::make_unique<Rig<E>>(rate, serial);
    rig->fx.setActive();
    if (prepare)
        prepare(*rig);
    for (const Setting& s : settings)
        rig->set(s.idx, s.value);
    return rig;
}

// A block of NaN and one of infinities, then a sine: within `settle` seconds
// the output is finite again and stays so.
template <class E>
void checkRecoversFromNonFinite(const Settings& settings, const Prepare<E>& prepare, double settle)
{
    const float rate = 48000.0f;
    auto rig = makeRig<E>(rate, false, prepare, settings);
    rig->run(4800, sine(440.0, rate, 0.5f));
    rig->run(MaxBlockSize, [](long long) { return std::nanf(""); });
    rig->run(MaxBlockSize, [](long long) { return INFINITY; });
    rig->run(static_cast<long long>(settle * rate), sine(440.0, rate, 0.5f), MaxBlockSize, false);
    const Stereo o = rig->run(static_cast<long long>(rate), sine(440.0, rate, 0.5f));
    EXPECT_TRUE(allFinite(o.l));
    EXPECT_TRUE(allFinite(o.r));
    EXPECT_GT(rms(o.l), 0.05);
}

// The serial form stores what the plain form adds: on a bus that already
// holds 0.25, the plain effect leaves 0.25 + y, the serial one y alone,
// with y the same for both.
template <class E, class ER>
void checkSerialReplaces(const Settings& settings, const Prepare<E>& prepare, const Prepare<ER>& prepareR)
{
    const float rate = 44100.0f;
    auto plain = makeRig<E>(rate, false, prepare, settings);
    auto serial = makeRig<ER>(rate, true, prepareR, settings);
    const Signal l = sine(330.0, rate, 0.5f);
    const Signal r = sine(550.0, rate, 0.3f);
    const Stereo a = plain->runOnto(rate / 2, l, r, 0.25f);
    const Stereo b = serial->run(rate / 2, l, r);
    ASSERT_EQ(a.l.size(), b.l.size());
    double diff = 0.0;
    double wetLeft = 0.0;
    for (size_t i = 0; i < a.l.size(); ++i) {
        diff = std::max({diff, std::fabs(a.l[i] - 0.25 - b.l[i]), std::fabs(a.r[i] - 0.25 - b.r[i])});
        wetLeft = std::max(wetLeft, std::fabs(static_cast<double>(b.l[i]) - l(static_cast<long long>(i))));
    }
    EXPECT_LT(diff, 1e-5);
    // The effect did something: its output is not just the input.
    EXPECT_GT(wetLeft, 0.01);
}

} // namespace fx2
