// Test rig for the generators: an oscillator with a parameter set of its own,
// an equal-tempered tuning table, output and input buses that clear to exact
// zeros, the three control-rate inputs, and a renderer that plays it in
// pieces the way a voice does. Plus the measurements the sound tests share:
// an FFT, a windowed spectrum, a precise peak frequency and the strongest
// partial that is not a harmonic.
#pragma once

#include "ProcessorTestBuses.h"

#include "Capacities.h"
#include "InBuffer2.h"
#include "NoteFreqTable.h"
#include "OscAnalog4.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <vector>

namespace OscTest {

constexpr int StepsPerPiece = MaxBlockSize / ControlStepFrames;

// A control-rate value per control step of the whole render (step index).
using ControlSignal = std::function<float(long long)>;
// An input-bus value per sample of the whole render (sample index).
using AudioSignal = std::function<float(long long)>;

struct OscRig
{
    explicit OscRig(float rate = 44100.0f, bool withTuning = true)
    {
        EXPECT_TRUE(tuning.getParaSetPtr(&tuningSlot));
        EXPECT_TRUE(osc.getParaSetPtr(&set, 1));
        osc.create(nullptr, level.data(), pitch.data(), shape.data(), nullptr);
        if (withTuning)
            osc.tuning = &tuning;
        osc.setSampleRate(rate);
        ProcTest::makeBus(out, 1);
        ProcTest::makeBus(in, 1);
        osc.setOutBufFixed(&out, nullptr);
        osc.setInBuf(&in);
        osc.seedRandom(1);
    }

    // Sets a parameter of set 0 and lets the oscillator re-read it (an engine
    // would; the rig has none).
    void para(int idx, int value)
    {
        osc.setParaVal(0, idx, value);
        osc.cachePara(crParaChange, 0, idx);
    }
    void start(int key, bool legato = false, bool flag2 = false)
    {
        osc.prepProc(0, ProcTest::noteOf(key, 100), legato, flag2);
    }

    // Renders frames samples in pieces of at most MaxBlockSize, filling the
    // control inputs per piece and, in the cross modes, the input bus.
    std::vector<float> render(long long frames, int piece = MaxBlockSize)
    {
        std::vector<float> result;
        result.reserve(static_cast<size_t>(frames));
        long long done = 0;
        while (done < frames) {
            const int n = static_cast<int>(std::min<long long>(piece, frames - done));
            const long long step0 = done / ControlStepFrames;
            for (int k = 0; k < StepsPerPiece; ++k) {
                level[k] = levelSignal ? levelSignal(step0 + k) : 1.0f;
                pitch[k] = pitchSignal ? pitchSignal(step0 + k) : 0.0f;
                shape[k] = shapeSignal ? shapeSignal(step0 + k) : 0.0f;
            }
            out.prepCycle(n);
            in.prepCycle(n);
            if (stereoOut)
                ProcTest::writeStereo(out, n, ProcTest::dc(0.0f), ProcTest::dc(0.0f));
            if (modSignal)
                ProcTest::writeMono(in, n, [&](int i) { return modSignal(done + i); });
            if (osc.render(n))
                finishedSeen = true;
            ProcTest::appendFirstChannel(result, out, n);
            done += n;
        }
        return result;
    }

    ParaSet_c* tuningSlot = nullptr;
    NoteFreqTable_c tuning;
    ParaSet_c* set = nullptr;
    OscAnalog4_c osc;
    InBuffer2_c out;
    InBuffer2_c in;
    std::vector<float> level = std::vector<float>(StepsPerPiece, 1.0f);
    std::vector<float> pitch = std::vector<float>(StepsPerPiece, 0.0f);
    std::vector<float> shape = std::vector<float>(StepsPerPiece, 0.0f);
    ControlSignal levelSignal;
    ControlSignal pitchSignal;
    ControlSignal shapeSignal;
    AudioSignal modSignal;
    // Whether any render answered "finished".
    bool finishedSeen = false;
    // Stereo silence in the output before each render (the bus needs two
    // channels): a mono writer then goes through the scratch, and unison
    // copies one by one.
    bool stereoOut = false;
};

// ---------------------------------------------------------------------------
// Measurements

// In-place radix-2 FFT; the size must be a power of two.
inline void fft(std::vector<std::complex<double>>& a)
{
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2.0 * std::numbers::pi / static_cast<double>(len);
        const std::complex<double> wl(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1.0);
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k];
                const std::complex<double> v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= wl;
            }
        }
    }
}

// Four-term Blackman-Harris window (side lobes below -92 dB).
inline double blackmanHarris(size_t i, size_t n)
{
    const double x = 2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n - 1);
    return 0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x);
}

// Magnitudes of bins 0..size/2 of the windowed signal, zero-padded to the
// next power of two.
inline std::vector<double> magnitudes(const std::vector<float>& x)
{
    size_t size = 1;
    while (size < x.size())
        size <<= 1;
    std::vector<std::complex<double>> a(size);
    for (size_t i = 0; i < x.size(); ++i)
        a[i] = x[i] * blackmanHarris(i, x.size());
    fft(a);
    std::vector<double> m(size / 2 + 1);
    for (size_t k = 0; k < m.size(); ++k)
        m[k] = std::abs(a[k]);
    return m;
}

// The signal times the window, computed once for many DTFT evaluations.
inline std::vector<double> windowed(const std::vector<float>& x)
{
    std::vector<double> w(x.size());
    for (size_t i = 0; i < x.size(); ++i)
        w[i] = x[i] * blackmanHarris(i, x.size());
    return w;
}

// |DTFT| of a windowed signal at hz.
inline double magnitudeAt(const std::vector<double>& xw, double hz, double rate)
{
    const double angle = -2.0 * std::numbers::pi * hz / rate;
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    double re = 1.0;
    double im = 0.0;
    double sumRe = 0.0;
    double sumIm = 0.0;
    for (size_t i = 0; i < xw.size(); ++i) {
        sumRe += re * xw[i];
        sumIm += im * xw[i];
        const double r = re * c - im * s;
        im = re * s + im * c;
        re = r;
        if ((i & 1023) == 1023) { // keep the rotation on the unit circle
            const double norm = std::sqrt(re * re + im * im);
            re /= norm;
            im /= norm;
        }
    }
    return std::sqrt(sumRe * sumRe + sumIm * sumIm);
}

inline double windowedMagnitudeAt(const std::vector<float>& x, double hz, double rate)
{
    return magnitudeAt(windowed(x), hz, rate);
}

// The frequency of the strongest partial between lo and hi (Hz): the best of
// a grid of the windowed DTFT, then a golden-section search within one grid
// step of it.
inline double peakFrequencyIn(const std::vector<float>& x, double rate, double lo, double hi, int grid = 48)
{
    const std::vector<double> xw = windowed(x);
    const double step = (hi - lo) / grid;
    double bestHz = lo;
    double best = -1.0;
    for (int k = 0; k <= grid; ++k) {
        const double hz = lo + step * k;
        const double m = magnitudeAt(xw, hz, rate);
        if (m > best) {
            best = m;
            bestHz = hz;
        }
    }
    lo = bestHz - step;
    hi = bestHz + step;
    const double g = (std::sqrt(5.0) - 1.0) / 2.0;
    double a = hi - g * (hi - lo);
    double b = lo + g * (hi - lo);
    double fa = magnitudeAt(xw, a, rate);
    double fb = magnitudeAt(xw, b, rate);
    for (int it = 0; it < 40; ++it) {
        if (fa > fb) {
            hi = b;
            b = a;
            fb = fa;
            a = hi - g * (hi - lo);
            fa = magnitudeAt(xw, a, rate);
        } else {
            lo = a;
            a = b;
            fa = fb;
            b = lo + g * (hi - lo);
            fb = magnitudeAt(xw, b, rate);
        }
    }
    return 0.5 * (lo + hi);
}

// The frequency of the strongest partial above minHz: the largest FFT bin,
// refined within one bin of it.
inline double peakFrequency(const std::vector<float>& x, double rate, double minHz = 4.0)
{
    const std::vector<double> m = magnitudes(x);
    const double binHz = rate / (2.0 * static_cast<double>(m.size() - 1));
    const size_t first = static_cast<size_t>(minHz / binHz) + 1;
    size_t best = first;
    for (size_t k = first; k + 1 < m.size(); ++k)
        if (m[k] > m[best])
            best = k;
    const double centre = static_cast<double>(best) * binHz;
    return peakFrequencyIn(x, rate, centre - binHz, centre + binHz, 8);
}

inline double cents(double measured, double expected)
{
    return 1200.0 * std::log2(measured / expected);
}

// How far (dB, negative) the strongest spectral line that is not a harmonic
// of f0 lies below the fundamental: everything within guardBins of DC or of a
// harmonic below the Nyquist frequency is left out, so what remains is the
// partials folded back from above it.
inline double aliasFloorDb(const std::vector<float>& x, double f0, double rate, int guardBins = 8)
{
    const std::vector<double> m = magnitudes(x);
    const double binHz = rate / (2.0 * static_cast<double>(m.size() - 1));
    std::vector<bool> masked(m.size(), false);
    const auto mask = [&](double hz) {
        const long centre = std::lround(hz / binHz);
        for (long k = centre - guardBins; k <= centre + guardBins; ++k)
            if (k >= 0 && k < static_cast<long>(m.size()))
                masked[static_cast<size_t>(k)] = true;
    };
    mask(0.0);
    for (double h = f0; h < rate / 2.0; h += f0)
        mask(h);
    const long f0Bin = std::lround(f0 / binHz);
    double fundamental = 0.0;
    for (long k = f0Bin - guardBins; k <= f0Bin + guardBins; ++k)
        fundamental = std::max(fundamental, m[static_cast<size_t>(k)]);
    double alias = 1e-300;
    for (size_t k = 0; k < m.size(); ++k)
        if (!masked[k])
            alias = std::max(alias, m[k]);
    return 20.0 * std::log10(alias / fundamental);
}

// The two-segment wave sampled directly, without any edge correction: the
// first segment from +1 to a over width w / 2 of the period, the second from
// -a to -1.
inline std::vector<float> naiveTwoSegment(double f0, double rate, double a, double w, size_t frames,
                                          size_t skip)
{
    std::vector<float> x(frames);
    const double duty = w / 2.0;
    for (size_t i = 0; i < frames; ++i) {
        double p = f0 * static_cast<double>(i + skip) / rate;
        p -= std::floor(p);
        const double v = p < duty ? 1.0 + (a - 1.0) * (p / duty) : -a + (a - 1.0) * ((p - duty) / (1.0 - duty));
        x[i] = static_cast<float>(v);
    }
    return x;
}

} // namespace OscTest
