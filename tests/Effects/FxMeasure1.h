// Test rig and measurements for the instrument effects: an effect bound to
// buses of its own (or, for a serial variant, to one bus it reads and
// replaces), its parameter set and, when it has one, its LFO's set, as the
// module graph would bind them; signals, levels (RMS, peak, Goertzel), a
// subnormal check, and the checks every effect type must pass.
#pragma once

#include "Capacities.h"
#include "InBuffer2.h"
#include "LFO.h"
#include "Note.h"
#include "ParaSet.h"
#include "Synth.h"
#include "Variator.h"

#include "SignalMeasure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace fxtest {

inline constexpr float Rates[] = {44100.0f, 48000.0f, 96000.0f};

// A four-character type code, most significant byte first.
constexpr int fourCC(const char (&c)[5])
{
    return (c[0] << 24) | (c[1] << 16) | (c[2] << 8) | c[3];
}

using Signal = std::function<float(long long)>;

inline Signal silence()
{
    return [](long long) { return 0.0f; };
}
inline Signal dc(float v)
{
    return [v](long long) { return v; };
}
inline Signal sine(double hz, double rate, float amplitude)
{
    return [=](long long i) {
        return amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate));
    };
}
// A square of +-amplitude, starting high.
inline Signal square(double hz, double rate, float amplitude)
{
    return [=](long long i) {
        const double phase = std::fmod(hz * static_cast<double>(i) / rate, 1.0);
        return phase < 0.5 ? amplitude : -amplitude;
    };
}
// Uniform white noise in -amplitude..amplitude; the same seed gives the same
// noise.
inline Signal noise(float amplitude, unsigned seed = 1)
{
    auto gen = std::make_shared<std::mt19937>(seed);
    return [=](long long) { return std::uniform_real_distribution<float>(-amplitude, amplitude)(*gen); };
}
inline Signal impulse(float amplitude = 1.0f, long long at = 0)
{
    return [=](long long i) { return i == at ? amplitude : 0.0f; };
}

inline double rms(const std::vector<float>& v, size_t from = 0, size_t to = std::numeric_limits<size_t>::max())
{
    to = std::min(to, v.size());
    double sum = 0.0;
    for (size_t i = from; i < to; ++i)
        sum += static_cast<double>(v[i]) * v[i];
    return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
}

using SignalMeasure::peak;

// Amplitude of the component at hz (Goertzel over [from, to)); a sine of
// amplitude a over whole periods gives a.
inline double amplitudeAt(const std::vector<float>& v, double hz, double rate, size_t from, size_t to)
{
    to = std::min(to, v.size());
    const double w = 2.0 * std::numbers::pi * hz / rate;
    double re = 0.0;
    double im = 0.0;
    for (size_t i = from; i < to; ++i) {
        re += v[i] * std::cos(w * static_cast<double>(i));
        im -= v[i] * std::sin(w * static_cast<double>(i));
    }
    return 2.0 * std::hypot(re, im) / static_cast<double>(to - from);
}

inline double toDb(double ratio)
{
    return 20.0 * std::log10(std::max(ratio, 1e-30));
}

inline bool isSubnormal(double x)
{
    return std::fpclassify(x) == FP_SUBNORMAL;
}

inline int countSubnormals(const std::vector<float>& v)
{
    return static_cast<int>(std::count_if(v.begin(), v.end(), [](float x) { return isSubnormal(x); }));
}

inline bool allFinite(const std::vector<float>& v)
{
    return std::all_of(v.begin(), v.end(), [](float x) { return std::isfinite(x); });
}

// An effect at a sample rate, bound as the module graph binds it: a
// parameter set of one set (and the LFO's, when it has one), input and output
// buses (one shared bus for a serial variant), a note start on set 0, the
// LFO restarted by resume, and switched on.
class FxRig
{
public:
    FxRig(std::unique_ptr<VariatorInst_c> effect, float rate, bool serial = false,
          const std::vector<LFOSimp_c*>& lfos = {})
        : fx(std::move(effect)), rate(rate), serial(serial)
    {
        static float zeros[MaxBlockSize] = {};
        EXPECT_TRUE(in.create("fx in", MaxBlockSize, 2, zeros, false, false));
        EXPECT_TRUE(out.create("fx out", MaxBlockSize, 6, zeros, false, false));
        fx->setInBuf(serial ? &out : &in);
        fx->setOutBufFixed(&out, nullptr);
        EXPECT_TRUE(fx->getParaSetPtr(&slot, 1));
        for (LFOSimp_c* lfo : lfos) {
            ParaSet_c* lfoSlot = nullptr;
            EXPECT_TRUE(lfo->getParaSetPtr(&lfoSlot, 1));
            lfo->setSampleRate(rate);
        }
        fx->setSampleRate(rate);
        Note_c n;
        n.set(60, 100);
        fx->prepProc(0, n, false);
        fx->postprocessParaChange(0, -1);
        fx->resume();
        fx->setActive();
    }
    ~FxRig()
    {
        fx.reset();
    }

    // Sets parameter idx of set 0 and re-caches, as the engine does after a
    // change.
    void para(int idx, int value)
    {
        fx->setParaVal(0, idx, value);
        fx->cachePara(crParaChange, 0, idx);
    }
    int paraValue(int idx) const { return fx->getParaVal(0, idx); }

    // Renders total samples in blocks of `block`, under the audio thread's
    // flush-to-zero mode, feeding stereo input (mono when right is null).
    // `before` (optional) is added to the output bus before the effect runs;
    // the output bus's content is returned per channel (left, right; for mono
    // output both the same).
    void run(long long total, const Signal& left, const Signal* right = nullptr, int block = MaxBlockSize,
             const Signal* before = nullptr)
    {
        Synth::AudioScope scope;
        outL.clear();
        outR.clear();
        outL.reserve(static_cast<size_t>(total));
        outR.reserve(static_cast<size_t>(total));
        for (long long done = 0; done < total;) {
            const int n = static_cast<int>(std::min<long long>(block, total - done));
            InBuffer2_c& source = serial ? out : in;
            in.prepCycle(n);
            out.prepCycle(n);
            if (before && !serial)
                write(out, n, done, *before, before);
            write(source, n, done, left, right);
            fx->renderII(n);
            read(n);
            clock += n;
            done += n;
        }
    }
    void run(long long total, const Signal& left, const Signal& right, int block = MaxBlockSize)
    {
        run(total, left, &right, block);
    }

    std::unique_ptr<VariatorInst_c> fx;
    float rate;
    bool serial;
    ParaSet_c* slot = nullptr;
    InBuffer2_c in;
    InBuffer2_c out;
    std::vector<float> outL;
    std::vector<float> outR;
    long long clock = 0; // samples rendered so far; signals are indexed by it

private:
    void write(InBuffer2_c& bus, int n, long long start, const Signal& left, const Signal* right)
    {
        float* l = nullptr;
        float* r = nullptr;
        if (right) {
            ASSERT_TRUE(bus.wantWriteStereo(&l, &r));
            for (int i = 0; i < n; ++i) {
                l[i] += left(clock + i);
                r[i] += (*right)(clock + i);
            }
            bus.doneWriteStereo();
        } else {
            ASSERT_TRUE(bus.wantWriteMono(&l, false));
            for (int i = 0; i < n; ++i)
                l[i] += left(clock + i);
            bus.doneWriteMono();
        }
        (void)start;
    }
    void read(int n)
    {
        float* l = nullptr;
        float* r = nullptr;
        if (out.isStereo() && out.wantReadStereo(&l, &r)) {
        } else if (out.isMono() && out.wantReadMono(&l, false)) {
            r = l;
        } else {
            outL.insert(outL.end(), static_cast<size_t>(n), 0.0f);
            outR.insert(outR.end(), static_cast<size_t>(n), 0.0f);
            return;
        }
        outL.insert(outL.end(), l, l + n);
        outR.insert(outR.end(), r, r + n);
    }
};

using Lfos = std::vector<LFOSimp_c*>;

// What the checks shared by every effect type need to know of one type.
struct FxKind
{
    const char* name;
    std::function<std::unique_ptr<VariatorInst_c>(bool serial)> make;
    // The LFOs the effect owns and the module graph gives parameter sets,
    // or null for none.
    std::function<Lfos(VariatorInst_c&)> lfosOf;
    int wetPara;           // -1: none
    long long wetSettle;   // samples before the wet-0 output equals the input
    // Parameter settings (index, value) at the ends of the ranges, one list
    // per case.
    std::vector<std::vector<std::pair<int, int>>> extremes;
    // Every float or double of the effect's signal state, for the subnormal
    // and finiteness checks; null when only the output can be seen.
    std::function<std::vector<double>(VariatorInst_c&)> state;
    // The output's peak stays below this at every extreme with +-16 input.
    float bound;
    // The echoes of a 0.99 feedback take longer than the run to build up
    // to their full level: only the end of the run shows no growth.
    bool longRing = false;
};

inline std::unique_ptr<FxRig> makeRig(const FxKind& k, float rate, bool serial = false)
{
    std::unique_ptr<VariatorInst_c> e = k.make(serial);
    const Lfos lfos = k.lfosOf ? k.lfosOf(*e) : Lfos{};
    return std::make_unique<FxRig>(std::move(e), rate, serial, lfos);
}

// Wet 0 passes the input within 2e-6 (after the type's settling time), for
// signals up to half of full scale: a smoothed float gain may settle a few
// millionths below 1.
inline void checkWetZeroPasses(const FxKind& k)
{
    for (float rate : Rates) {
        SCOPED_TRACE(rate);
        auto rig = makeRig(k, rate);
        if (k.wetPara >= 0)
            rig->para(k.wetPara, 0);
        const Signal l = sine(441.0, rate, 0.5f);
        const Signal r = noise(0.5f, 7);
        const long long total = k.wetSettle + 4096;
        std::vector<float> inL(static_cast<size_t>(total));
        std::vector<float> inR(static_cast<size_t>(total));
        const Signal r2 = noise(0.5f, 7);
        for (long long i = 0; i < total; ++i) {
            inL[static_cast<size_t>(i)] = l(i);
            inR[static_cast<size_t>(i)] = r2(i);
        }
        rig->run(total, l, r);
        float worst = 0.0f;
        for (long long i = k.wetSettle; i < total; ++i) {
            worst = std::max(worst, std::fabs(rig->outL[static_cast<size_t>(i)] - inL[static_cast<size_t>(i)]));
            worst = std::max(worst, std::fabs(rig->outR[static_cast<size_t>(i)] - inR[static_cast<size_t>(i)]));
        }
        EXPECT_LE(worst, 2e-6f);
    }
}

// At every extreme setting and rate, 10 s of a +-16 square and of white noise
// stay finite and below the type's bound, and the last second is no louder
// than the second one (nothing builds up) - or, for a long ring, than the
// one before it.
inline void checkExtremesStayBounded(const FxKind& k)
{
    const float bound = k.bound;
    for (const auto& setting : k.extremes) {
        for (float rate : Rates) {
            for (int signal = 0; signal < 2; ++signal) {
                SCOPED_TRACE(std::string(k.name) + " rate " + std::to_string(rate) + " setting " +
                             std::to_string(&setting - k.extremes.data()) + (signal ? " noise" : " square"));
                auto rig = makeRig(k, rate);
                for (auto [idx, value] : setting)
                    rig->para(idx, value);
                const long long total = static_cast<long long>(rate) * 10;
                const Signal l = signal ? noise(16.0f, 3) : square(110.0, rate, 16.0f);
                const Signal r = signal ? noise(16.0f, 4) : square(173.0, rate, 16.0f);
                rig->run(total, l, r);
                ASSERT_TRUE(allFinite(rig->outL) && allFinite(rig->outR));
                const size_t second = static_cast<size_t>(rate);
                for (const std::vector<float>* v : {&rig->outL, &rig->outR}) {
                    EXPECT_LE(peak(*v), bound);
                    const size_t early = k.longRing ? v->size() - 2 * second : second;
                    EXPECT_LE(peak(*v, v->size() - second), 1.5f * peak(*v, early, early + second) + 1e-3f);
                }
            }
        }
    }
}

// A block of NaN and a block of infinities do not silence the effect: after
// them (and the type's own tail of bad output, at most a second) the output
// is finite again and the state is clean.
inline void checkRecoversFromNonFinite(const FxKind& k)
{
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        SCOPED_TRACE(bad);
        auto rig = makeRig(k, 44100.0f);
        rig->run(4096, sine(300.0, 44100.0, 0.5f), sine(500.0, 44100.0, 0.5f));
        rig->run(MaxBlockSize, dc(bad), dc(bad));
        rig->run(44100, sine(300.0, 44100.0, 0.5f), sine(500.0, 44100.0, 0.5f));
        const size_t tail = 4096;
        const std::vector<float> lastL(rig->outL.end() - tail, rig->outL.end());
        const std::vector<float> lastR(rig->outR.end() - tail, rig->outR.end());
        EXPECT_TRUE(allFinite(lastL) && allFinite(lastR));
        EXPECT_GT(rms(lastL) + rms(lastR), 1e-3);
        if (k.state) {
            for (double s : k.state(*rig->fx))
                EXPECT_TRUE(std::isfinite(s));
        }
    }
}

// A loud impulse and 30 s of silence leave no subnormal number in the output
// or the state, at the defaults and at every extreme.
inline void checkSilenceLeavesNoSubnormals(const FxKind& k)
{
    std::vector<std::vector<std::pair<int, int>>> settings = {{}};
    settings.insert(settings.end(), k.extremes.begin(), k.extremes.end());
    for (const auto& setting : settings) {
        for (float rate : {44100.0f, 96000.0f}) {
            SCOPED_TRACE(testing::Message() << rate << (setting.empty() ? " defaults" : " extreme"));
            auto rig = makeRig(k, rate);
            for (auto [idx, value] : setting)
                rig->para(idx, value);
            rig->run(static_cast<long long>(rate) * 30, impulse(16.0f), impulse(-16.0f));
            EXPECT_EQ(countSubnormals(rig->outL) + countSubnormals(rig->outR), 0);
            if (k.state) {
                for (double s : k.state(*rig->fx))
                    EXPECT_FALSE(isSubnormal(s)) << s;
            }
        }
    }
}

// The plain class adds its output to what the bus holds; the serial variant,
// reading and writing one bus, leaves only its output there. Both give the
// same output for the same input.
inline void checkSerialReplacesPlainAdds(const FxKind& k)
{
    const float rate = 44100.0f;
    auto plain = makeRig(k, rate, false);
    auto serial = makeRig(k, rate, true);
    const Signal l = sine(330.0, rate, 0.6f);
    const Signal r = sine(550.0, rate, 0.4f);
    const Signal before = dc(0.25f);
    const long long total = 4096;
    plain->run(total, l, &r, MaxBlockSize, &before);
    serial->run(total, l, r);
    float worst = 0.0f;
    for (size_t i = 0; i < static_cast<size_t>(total); ++i) {
        worst = std::max(worst, std::fabs(plain->outL[i] - 0.25f - serial->outL[i]));
        worst = std::max(worst, std::fabs(plain->outR[i] - 0.25f - serial->outR[i]));
    }
    EXPECT_LE(worst, 1e-5f);
    EXPECT_GT(rms(serial->outL) + rms(serial->outR), 0.05);
}

} // namespace fxtest
