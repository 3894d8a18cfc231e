#include "EQ2.h"

#include "InBuffer2.h"
#include "ParaRow.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr float MinSampleRate = 22000.0f;

// A band whose gain is within this many dB of 0 counts as off.
constexpr float ActiveAboveDb = 0.1f;

// The input of band 1 carries an alternating +-1e-7, so the recursion never
// decays into denormal numbers.
constexpr double Dither = 1e-7;

constexpr float FadeTime = 0.001f;

// A = 10^(gain / 40).
constexpr double GainToA = 0.025;

// The flat filter of the defaults (440 Hz, Q 1.00, 0 dB) at 44100 Hz.
constexpr double FlatW0 = 0.06268937514981852;
constexpr double FlatCos = 0.9980356645610333;
constexpr double FlatSin = 0.06264832211812771;
constexpr double FlatAlpha = 0.031324161059063854;
constexpr double FlatA0 = 1.0313241610590638;
constexpr double FlatA1 = -1.9960713291220666;
constexpr double FlatA2 = 0.9686758389409361;
constexpr double FlatG = 0.9696272401619127;

// The coefficients of a band as plain values for one block.
struct Coeffs_t
{
    double b0, b1, b2, a1, a2, g;
    explicit Coeffs_t(const EQ2_c::Band_t& b) : b0(b.b0), b1(b.b1), b2(b.b2), a1(b.a1), a2(b.a2), g(b.g) {}
};

inline double biquad(const Coeffs_t& c, EQ2_c::History_t& h, double x)
{
    const double y = (c.b0 * x + c.b1 * h.x1 + c.b2 * h.x2 - c.a1 * h.y1 - c.a2 * h.y2) * c.g;
    h.x2 = h.x1;
    h.x1 = x;
    h.y2 = h.y1;
    h.y1 = y;
    return y;
}

// One channel of a block, band 2 in the chain or not; the dither restarts
// with +1e-7 at the first sample of the block.
template <bool Band2>
void runChannel(EQ2_c& eq, int channel, int n, const float* in, float* out)
{
    const Coeffs_t c1(eq.band[0]);
    const Coeffs_t c2(eq.band[1]);
    EQ2_c::History_t& h1 = eq.history[0][channel];
    EQ2_c::History_t& h2 = eq.history[1][channel];
    double dither = Dither;
    for (int i = 0; i < n; ++i) {
        double y = biquad(c1, h1, static_cast<double>(in[i]) - dither);
        dither = -dither;
        if constexpr (Band2)
            y = biquad(c2, h2, y);
        eq.mixSample(&out, static_cast<float>(y));
    }
}

void runChannel(EQ2_c& eq, bool band2, int channel, int n, const float* in, float* out)
{
    if (band2)
        runChannel<true>(eq, channel, n, in, out);
    else
        runChannel<false>(eq, channel, n, in, out);
}

bool finite(const EQ2_c::History_t& h)
{
    return std::isfinite(h.x1) && std::isfinite(h.x2) && std::isfinite(h.y1) && std::isfinite(h.y2);
}

} // namespace

EQ2_c::EQ2_c(int gainRangeDb) : gainRange(gainRangeDb)
{
    for (Band_t& b : band) {
        b.A = 1.0;
        b.w0 = FlatW0;
        b.cosW0 = FlatCos;
        b.sinW0 = FlatSin;
        b.alpha = FlatAlpha;
        b.a0 = FlatA0;
        b.b0 = FlatA0;
        b.a1 = FlatA1;
        b.b1 = FlatA1;
        b.a2 = FlatA2;
        b.b2 = FlatA2;
        b.g = FlatG;
    }
}

EQ2_c::~EQ2_c() = default;

void EQ2_c::setSampleRate(float rate)
{
    VariatorInst_c::setSampleRate(rate);
}

bool EQ2_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    bool result = false;
    if (Parameter_c* p = beginParaDefinition(shared, nSets, ParaCount, &result)) {
        const int range = gainRange * 10;
        for (int b = 0; b < 2; ++b) {
            const int base = b == 0 ? pFreq1 : pFreq2;
            createParas(p, {
                {.index = base, .name = "Freq", .unit = "Hz", .logFactor = 4.0f, .lo = 20, .hi = 11000,
                 .precision = 0, .def = 440},
                {.index = base + 1, .name = "Gain", .unit = "dB", .lo = -range, .hi = range, .precision = 1, .def = 0},
                {.index = base + 2, .name = "Q", .unit = "Q", .logFactor = 4.0f, .lo = 33, .hi = 1200,
                 .precision = 2, .def = 100},
            });
        }
        result = paraSet->spreadPara();
    }
    ReadyThenCache(crActivate);
    return result;
}

void EQ2_c::initBuffer()
{
    for (auto& perBand : history)
        for (History_t& h : perBand)
            h = History_t{};
}

void EQ2_c::checkSetFlagReady()
{
    VariatorInst_c::checkSetFlagReady();
    if (!(sampleRate > MinSampleRate) || !paraSet)
        ready = false;
}

float EQ2_c::getFadeTime()
{
    return FadeTime;
}

void EQ2_c::calcCoeff(Band_t& b, float freq, float gain, float q, float reciprocalRate)
{
    const double A = std::pow(10.0, static_cast<double>(gain) * GainToA);
    const float r = freq * reciprocalRate;
    const double w0 = r > 1.0f ? 2.0 * std::numbers::pi : 2.0 * std::numbers::pi * static_cast<double>(r);
    const double cosW0 = std::cos(w0);
    const double sinW0 = std::sin(w0);
    const double alpha = sinW0 / (2.0 * static_cast<double>(q));
    b.A = A;
    b.w0 = w0;
    b.cosW0 = cosW0;
    b.sinW0 = sinW0;
    b.alpha = alpha;
    b.b0 = 1.0 + alpha * A;
    b.b1 = -2.0 * cosW0;
    b.b2 = 1.0 - alpha * A;
    b.a0 = 1.0 + alpha / A;
    b.a1 = -2.0 * cosW0;
    b.a2 = 1.0 - alpha / A;
    b.g = 1.0 / (1.0 + alpha / A);
}

void EQ2_c::calc0Coeff(float freq, float gain, float q, float reciprocalRate)
{
    calcCoeff(band[0], freq, gain, q, reciprocalRate);
}

void EQ2_c::calc1Coeff(float freq, float gain, float q, float reciprocalRate)
{
    calcCoeff(band[1], freq, gain, q, reciprocalRate);
}

void EQ2_c::cachePara(CacheReason_t reason, int set, int)
{
    const Parameter_c* p = refreshParameters(reason, set, ready);
    if (!p)
        return;
    for (int b = 0; b < 2; ++b) {
        const int base = b == 0 ? pFreq1 : pFreq2;
        const float gain = p[base + 1].fl;
        const bool on = std::fabs(gain) > ActiveAboveDb;
        bandActive[b] = on;
        // Band 1 stays in the chain whatever its gain, so it is renewed
        // whatever its gain: a band set back to 0 dB must become flat again,
        // not keep its last boost.
        if (on || b == 0)
            calcCoeff(band[b], p[base].fl, gain, p[base + 2].fl, inverseSampleRate);
    }
}

void EQ2_c::render(int n)
{
    RenderingScope scope(*this);
    if (!active || !ready || !inputBus || !outputBusA)
        return;
    const bool band2 = bandActive[1];
    if (inputBus->isMono()) {
        float* in = nullptr;
        float* out = nullptr;
        if (!inputBus->wantReadMono(&in, false) || !outputBusA->wantWriteMono(&out, false))
            return;
        runChannel(*this, band2, 0, framesFor(n, inputBus, outputBusA), in, out);
        outputBusA->doneWriteMono();
    } else if (inputBus->isStereo()) {
        StereoPins_t pins;
        if (!openStereoReadWrite(n, pins))
            return;
        runChannel(*this, band2, 0, n, pins.inL, pins.outL);
        runChannel(*this, band2, 1, n, pins.inR, pins.outR);
        outputBusA->doneWriteStereo();
    }
    // A history that is no longer finite (one bad block) starts again from
    // silence.
    for (auto& perBand : history)
        for (History_t& h : perBand)
            if (!finite(h))
                h = History_t{};
}
