#include "SampleForge.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <numbers>

namespace Bank {

namespace {

constexpr double Pi = std::numbers::pi;
constexpr double TwoPi = 2.0 * std::numbers::pi;
constexpr double Rate = SampleRate;
// Partials above this frequency are left out (the files are band-limited).
constexpr double TopHz = 0.45 * Rate;

// The bank's own noise: xorshift32 with a fixed seed per sample, uniform in
// -1..1.
class Noise
{
public:
    explicit Noise(uint32_t seed) : state(seed ? seed : 0x9E3779B9u) {}
    double next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<double>(state) / 2147483648.0 - 1.0;
    }

private:
    uint32_t state;
};

// A two-pole resonator (constant peak gain), for noises with a colour.
class Resonator
{
public:
    Resonator(double hz, double bandwidthHz)
    {
        const double r = std::exp(-Pi * bandwidthHz / Rate);
        a1 = 2.0 * r * std::cos(TwoPi * hz / Rate);
        a2 = -r * r;
        gain = (1.0 - r * r) * 0.5;
    }
    double operator()(double x)
    {
        const double y = gain * (x - x2) + a1 * y1 + a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }

private:
    double a1 = 0, a2 = 0, gain = 1, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
};

// One-pole high-pass at hz.
class HighPass
{
public:
    explicit HighPass(double hz) : a(std::exp(-TwoPi * hz / Rate)) {}
    double operator()(double x)
    {
        const double y = a * (yPrev + x - xPrev);
        xPrev = x;
        yPrev = y;
        return y;
    }

private:
    double a, xPrev = 0, yPrev = 0;
};

size_t framesOf(double seconds)
{
    return static_cast<size_t>(std::llround(seconds * Rate));
}

// A raised-cosine rise over the first `attack` seconds and a fall over the
// last `release` seconds, so no file starts or ends with a click.
void shapeEnds(std::vector<float>& x, double attack, double release)
{
    const size_t rise = std::min(x.size(), framesOf(attack));
    const size_t fall = std::min(x.size(), framesOf(release));
    for (size_t i = 0; i < rise; ++i)
        x[i] *= static_cast<float>(0.5 - 0.5 * std::cos(Pi * static_cast<double>(i) / static_cast<double>(rise)));
    for (size_t i = 0; i < fall; ++i)
        x[x.size() - 1 - i] *= static_cast<float>(0.5 - 0.5 * std::cos(Pi * static_cast<double>(i) / static_cast<double>(fall)));
}

// Peak to -1 dBFS; silence stays silence.
void normalise(std::vector<float>& x)
{
    float peak = 0.0f;
    for (float v : x)
        peak = std::max(peak, std::fabs(v));
    if (peak <= 0.0f)
        return;
    const float gain = static_cast<float>(std::pow(10.0, -1.0 / 20.0)) / peak;
    for (float& v : x)
        v *= gain;
}

// The last touch of every sample: clean ends, peak at -1 dBFS.
std::vector<float> finish(std::vector<float> x, double attack, double release)
{
    shapeEnds(x, attack, release);
    normalise(x);
    return x;
}

// ---------------------------------------------------------------------------
// Voices: harmonics shaped by formants, the way a vowel is a pitched source
// heard through the resonances of a vocal tract.

struct Formants
{
    std::array<double, 4> hz;
    std::array<double, 4> bandwidth;
};

constexpr Formants VowelA{{730, 1090, 2440, 3400}, {90, 110, 140, 200}};
constexpr Formants VowelE{{530, 1840, 2480, 3400}, {70, 110, 140, 200}};
constexpr Formants VowelI{{290, 2250, 3010, 3500}, {60, 110, 150, 200}};
constexpr Formants VowelO{{570, 840, 2410, 3400}, {80, 90, 140, 200}};
constexpr Formants VowelU{{320, 870, 2240, 3400}, {60, 90, 140, 200}};
// Each formant 6 dB under the one before.
constexpr std::array<double, 4> FormantGain{1.0, 0.5, 0.25, 0.125};

Formants blend(const Formants& a, const Formants& b, double t)
{
    Formants f{};
    for (size_t k = 0; k < 4; ++k) {
        f.hz[k] = a.hz[k] + (b.hz[k] - a.hz[k]) * t;
        f.bandwidth[k] = a.bandwidth[k] + (b.bandwidth[k] - a.bandwidth[k]) * t;
    }
    return f;
}

double formantResponse(const Formants& f, double hz)
{
    double sum = 0.02; // the source between the resonances
    for (size_t k = 0; k < 4; ++k) {
        const double d = (hz - f.hz[k]) / (0.5 * f.bandwidth[k]);
        sum += FormantGain[k] / (1.0 + d * d);
    }
    return sum;
}

// A sung vowel at f0: harmonics falling 6 dB an octave through the formants
// the function gives for time t, a vibrato that sets in after 0.35 s, and a
// little breath in the upper formants.
std::vector<float> voice(double f0, double seconds, const std::function<Formants(double)>& formantsAt, uint32_t seed)
{
    std::vector<float> x(framesOf(seconds));
    const int harmonics = static_cast<int>(std::min(80.0, 9000.0 / f0));
    std::vector<double> phase(static_cast<size_t>(harmonics) + 1, 0.0);
    std::vector<double> amp(static_cast<size_t>(harmonics) + 1, 0.0);
    Noise noise(seed);
    for (double& p : phase)
        p = Pi * (1.0 + noise.next());
    Resonator breath1(formantsAt(0).hz[1], 300.0);
    Resonator breath2(formantsAt(0).hz[2], 400.0);
    constexpr size_t Step = 64; // frames between formant updates
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / Rate;
        if (i % Step == 0) {
            const Formants f = formantsAt(t);
            for (int h = 1; h <= harmonics; ++h)
                amp[h] = formantResponse(f, h * f0) / h;
        }
        const double depth = 0.006 * std::clamp((t - 0.35) / 0.4, 0.0, 1.0);
        const double f = f0 * (1.0 + depth * std::sin(TwoPi * 5.3 * t));
        double s = 0.0;
        for (int h = 1; h <= harmonics; ++h) {
            phase[h] += TwoPi * h * f / Rate;
            if (phase[h] > TwoPi)
                phase[h] -= TwoPi;
            s += amp[h] * std::sin(phase[h]);
        }
        const double n = noise.next();
        s += 0.02 * (breath1(n) + breath2(n));
        x[i] = static_cast<float>(s);
    }
    return finish(std::move(x), 0.08, 0.15);
}

// ---------------------------------------------------------------------------
// Additive tones: partials with their own level, decay and detune.

struct Partial
{
    double ratio; // of the fundamental
    double level;
    double decay; // seconds to fall by 1/e; 0 holds
};

// The partials start at phases of their own (from the seed): partials all
// starting at 0 would stack into one sharp spike at the onset, far louder
// than the tone itself, and chords of such notes would peak there.
std::vector<float> additive(double f0, double seconds, const std::vector<Partial>& partials, uint32_t seed)
{
    std::vector<float> x(framesOf(seconds));
    Noise phases(seed);
    for (const Partial& p : partials) {
        const double hz = f0 * p.ratio;
        const double start = Pi * phases.next();
        if (hz >= TopHz)
            continue;
        const double w = TwoPi * hz / Rate;
        const double fall = p.decay > 0.0 ? std::exp(-1.0 / (p.decay * Rate)) : 1.0;
        double g = p.level;
        // A rotating phasor instead of a sine per frame, renormalised now
        // and then so it keeps its length.
        double c = std::cos(start), s = std::sin(start);
        const double cw = std::cos(w), sw = std::sin(w);
        for (size_t i = 0; i < x.size(); ++i) {
            x[i] += static_cast<float>(g * s);
            const double nc = c * cw - s * sw;
            s = s * cw + c * sw;
            c = nc;
            g *= fall;
            if ((i & 1023) == 0) {
                const double len = std::sqrt(c * c + s * s);
                c /= len;
                s /= len;
            }
        }
    }
    return x;
}

// A plucked string: the pluck near the bridge sets the harmonics' levels,
// higher ones die sooner, and the string is a little stiff.
std::vector<float> pluck(double f0, double seconds, uint32_t seed)
{
    std::vector<Partial> partials;
    const double sustain = 1.6 * std::pow(110.0 / f0, 0.35);
    for (int h = 1; h <= 64; ++h) {
        const double stretch = std::sqrt(1.0 + 0.00008 * h * h);
        const double level = std::fabs(std::sin(Pi * h * 0.17)) / h;
        partials.push_back({h * stretch, level, sustain / (1.0 + 0.11 * (h - 1))});
    }
    std::vector<float> x = additive(f0, seconds, partials, seed + 1000);
    // The pick: a few milliseconds of bright noise.
    Noise noise(seed);
    HighPass hp(1500.0);
    const size_t click = framesOf(0.006);
    for (size_t i = 0; i < click && i < x.size(); ++i)
        x[i] += static_cast<float>(0.15 * hp(noise.next()) * (1.0 - static_cast<double>(i) / click));
    return finish(std::move(x), 0.001, 0.05);
}

// A bowed section: three detuned sawtooth-like voices with a soft top, a
// slow attack and a vibrato, made to be looped on its sustain.
std::vector<float> ensemble(double f0, double seconds, uint32_t seed)
{
    std::vector<float> x(framesOf(seconds));
    Noise start(seed);
    const std::array<double, 3> detuneCents{-7.0, 0.0, 6.0};
    const std::array<double, 3> vibratoPhase{0.0, 2.1, 4.2};
    for (size_t v = 0; v < detuneCents.size(); ++v) {
        const double fv = f0 * std::pow(2.0, detuneCents[v] / 1200.0);
        const int harmonics = static_cast<int>(std::min(60.0, 7000.0 / fv));
        std::vector<double> phase(static_cast<size_t>(harmonics) + 1, 0.0);
        std::vector<double> amp(static_cast<size_t>(harmonics) + 1, 0.0);
        for (double& p : phase)
            p = Pi * (1.0 + start.next());
        for (int h = 1; h <= harmonics; ++h) {
            const double hz = h * fv;
            amp[h] = 1.0 / (h * (1.0 + (hz / 2500.0) * (hz / 2500.0)));
        }
        for (size_t i = 0; i < x.size(); ++i) {
            const double t = static_cast<double>(i) / Rate;
            const double f = fv * (1.0 + 0.003 * std::sin(TwoPi * 5.1 * t + vibratoPhase[v]));
            double s = 0.0;
            for (int h = 1; h <= harmonics; ++h) {
                phase[h] += TwoPi * h * f / Rate;
                if (phase[h] > TwoPi)
                    phase[h] -= TwoPi;
                s += amp[h] * std::sin(phase[h]);
            }
            x[i] += static_cast<float>(s);
        }
    }
    return finish(std::move(x), 0.25, 0.05);
}

// A sine whose harmonics come in one by one: a dark start and a bright end,
// so a wavetable built along it moves from one to the other.
std::vector<float> harmonicSweep(double f0, double seconds)
{
    std::vector<float> x(framesOf(seconds));
    const int harmonics = static_cast<int>(std::min(48.0, TopHz / f0));
    std::vector<double> phase(static_cast<size_t>(harmonics) + 1, 0.0);
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / static_cast<double>(x.size());
        const double top = 1.0 + (harmonics - 1) * std::pow(t, 1.6);
        double s = 0.0;
        for (int h = 1; h <= harmonics; ++h) {
            phase[h] += TwoPi * h * f0 / Rate;
            if (phase[h] > TwoPi)
                phase[h] -= TwoPi;
            const double open = std::clamp(top - h + 1.0, 0.0, 1.0);
            // Odd harmonics first: square-like in the middle, saw-like at the end.
            const double even = (h % 2 == 0) ? std::clamp(2.0 * t - 0.6, 0.0, 1.0) : 1.0;
            s += open * even * std::sin(phase[h]) / h;
        }
        x[i] = static_cast<float>(s);
    }
    return finish(std::move(x), 0.01, 0.02);
}

// A tine piano: a two-operator phase modulation whose brightness falls
// faster than its level, and a short metallic strike.
std::vector<float> tine(double f0, double seconds)
{
    std::vector<float> x(framesOf(seconds));
    const double sustain = 2.2 * std::pow(130.0 / f0, 0.3);
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / Rate;
        const double index = 0.25 + 1.6 * std::exp(-t / 0.35);
        const double body = std::sin(TwoPi * f0 * t + index * std::sin(TwoPi * f0 * t)) * std::exp(-t / sustain);
        const double strike = 0.3 * std::sin(TwoPi * f0 * 13.0 * t) * std::exp(-t / 0.012);
        x[i] = static_cast<float>(body + (f0 * 13.0 < TopHz ? strike : 0.0));
    }
    return finish(std::move(x), 0.002, 0.08);
}

// Breath: noise through two wide resonances, swelling slowly, looped.
std::vector<float> breath(double seconds, uint32_t seed)
{
    std::vector<float> x(framesOf(seconds));
    Noise noise(seed);
    Resonator low(900.0, 700.0), high(2800.0, 1400.0);
    HighPass hp(200.0);
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / Rate;
        const double n = hp(noise.next());
        const double swell = 0.8 + 0.2 * std::sin(TwoPi * 0.7 * t);
        x[i] = static_cast<float>(swell * (low(n) + 0.6 * high(n)));
    }
    return finish(std::move(x), 0.3, 0.05);
}

// ---------------------------------------------------------------------------
// The drum kit.

std::vector<float> kick(double seconds, uint32_t seed)
{
    std::vector<float> x(framesOf(seconds));
    Noise noise(seed);
    double phase = 0.0;
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / Rate;
        const double hz = 45.0 + 115.0 * std::exp(-t / 0.035);
        phase += TwoPi * hz / Rate;
        const double body = std::sin(phase) * std::exp(-t / 0.32);
        const double click = t < 0.003 ? 0.4 * noise.next() * (1.0 - t / 0.003) : 0.0;
        x[i] = static_cast<float>(body + click);
    }
    return finish(std::move(x), 0.0005, 0.05);
}

std::vector<float> snare(double seconds, uint32_t seed)
{
    std::vector<float> x = additive(1.0, seconds, {{185.0, 0.6, 0.07}, {330.0, 0.35, 0.05}}, seed + 1000);
    Noise noise(seed);
    HighPass hp(1200.0);
    Resonator ring(4200.0, 3000.0);
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / Rate;
        const double n = hp(noise.next());
        x[i] += static_cast<float>((0.7 * n + 0.6 * ring(n)) * std::exp(-t / 0.16));
    }
    return finish(std::move(x), 0.0005, 0.05);
}

// Metal: six detuned square waves (an inharmonic cluster) through a
// high-pass, with some noise; decay sets closed or open.
std::vector<float> hat(double seconds, double decay, uint32_t seed)
{
    std::vector<float> x(framesOf(seconds));
    constexpr std::array<double, 6> Hz{205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
    std::array<double, 6> phase{};
    Noise noise(seed);
    HighPass hp1(7000.0), hp2(7000.0);
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / Rate;
        double metal = 0.0;
        for (size_t k = 0; k < Hz.size(); ++k) {
            phase[k] += Hz[k] * 1.7 / Rate;
            phase[k] -= std::floor(phase[k]);
            metal += phase[k] < 0.5 ? 1.0 : -1.0;
        }
        const double s = hp2(hp1(0.5 * metal / Hz.size() + 0.5 * noise.next()));
        x[i] = static_cast<float>(s * std::exp(-t / decay));
    }
    return finish(std::move(x), 0.0003, 0.03);
}

std::vector<float> clap(double seconds, uint32_t seed)
{
    std::vector<float> x(framesOf(seconds));
    Noise noise(seed);
    Resonator body(1200.0, 900.0);
    HighPass hp(500.0);
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / Rate;
        // Three hands close together, then the room.
        double env = 0.0;
        for (double at : {0.0, 0.011, 0.023})
            if (t >= at)
                env = std::max(env, std::exp(-(t - at) / 0.006));
        if (t >= 0.03)
            env = std::max(env, 0.6 * std::exp(-(t - 0.03) / 0.12));
        x[i] = static_cast<float>(env * body(hp(noise.next())));
    }
    return finish(std::move(x), 0.0003, 0.04);
}

std::vector<float> tom(double seconds)
{
    std::vector<float> x(framesOf(seconds));
    double phase = 0.0;
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / Rate;
        phase += TwoPi * (95.0 + 30.0 * std::exp(-t / 0.05)) / Rate;
        x[i] = static_cast<float>((std::sin(phase) + 0.2 * std::sin(2.0 * phase)) * std::exp(-t / 0.28));
    }
    return finish(std::move(x), 0.0005, 0.05);
}

std::vector<float> rim(double seconds)
{
    std::vector<float> x = additive(1.0, seconds, {{1720.0, 0.8, 0.018}, {510.0, 0.6, 0.03}, {3300.0, 0.3, 0.01}}, 37);
    return finish(std::move(x), 0.0002, 0.02);
}

// ---------------------------------------------------------------------------
// The catalogue.

// Loops whole periods of the root where the material is periodic, so the
// loop sampler's crossfade has little to hide.
SampleLoop periodLoop(int key, double fromSeconds, double toSeconds)
{
    const double period = Rate / noteHz(key);
    const double start = std::round(fromSeconds * Rate);
    const double periods = std::floor((toSeconds - fromSeconds) * Rate / period);
    return SampleLoop{static_cast<int64_t>(start), static_cast<int64_t>(start + std::round(periods * period))};
}

struct Recipe
{
    const char* file;
    int rootKey;
    std::function<std::vector<float>()> render;
    bool looped = false;
    double loopFrom = 0.0, loopTo = 0.0; // seconds
};

// MIDI keys of the roots, named as the instrument names them (middle C,
// key 60, is C3), and so are the files.
constexpr int C1 = 36, C2 = 48, C3 = 60, C4 = 72;

std::vector<Recipe> recipes()
{
    auto vowelAt = [](const Formants& f) { return [f](double) { return f; }; };
    // A through E, I, O to U, each held a moment and then blended on.
    auto morph = [](double t) {
        static const std::array<Formants, 5> order{VowelA, VowelE, VowelI, VowelO, VowelU};
        const double pos = std::clamp(t / 3.0, 0.0, 1.0) * (order.size() - 1);
        const size_t k = std::min(static_cast<size_t>(pos), order.size() - 2);
        const double frac = std::clamp((pos - k - 0.25) / 0.5, 0.0, 1.0);
        return blend(order[k], order[k + 1], frac);
    };
    std::vector<Recipe> list = {
        {"Vowel Ah C2.wav", C2, [=] { return voice(noteHz(C2), 2.5, vowelAt(VowelA), 11); }, true, 0.9, 2.2},
        {"Vowel Oo C3.wav", C3, [=] { return voice(noteHz(C3), 2.5, vowelAt(VowelU), 12); }, true, 0.9, 2.2},
        {"Vowel Morph C2.wav", C2, [=] { return voice(noteHz(C2), 3.2, morph, 13); }},
        {"Harmonic Sweep C3.wav", C3, [] { return harmonicSweep(noteHz(C3), 2.0); }},
        {"Bell C3.wav", C3,
         [] {
             std::vector<float> x = additive(noteHz(C3), 3.0,
                                             {{0.5, 0.5, 2.4},
                                              {1.0, 1.0, 1.8},
                                              {1.183, 0.6, 1.2},
                                              {1.506, 0.45, 1.0},
                                              {2.0, 0.5, 0.9},
                                              {2.514, 0.3, 0.6},
                                              {2.662, 0.3, 0.55},
                                              {3.011, 0.2, 0.4},
                                              {4.166, 0.15, 0.25},
                                              {5.433, 0.1, 0.15}},
                                             14);
             return finish(std::move(x), 0.001, 0.1);
         }},
        {"Breath Noise.wav", C3, [] { return breath(2.5, 21); }, true, 0.6, 2.3},
        {"Tine Piano C2.wav", C2, [] { return tine(noteHz(C2), 2.2); }},
        {"Tine Piano C4.wav", C4, [] { return tine(noteHz(C4), 1.6); }},
        {"Drum Kick.wav", C1, [] { return kick(0.6, 31); }},
        {"Drum Snare.wav", C1 + 2, [] { return snare(0.45, 32); }},
        {"Drum Clap.wav", C1 + 3, [] { return clap(0.5, 33); }},
        {"Drum Hat Closed.wav", C1 + 6, [] { return hat(0.25, 0.045, 34); }},
        {"Drum Tom.wav", C1 + 7, [] { return tom(0.6); }},
        {"Drum Hat Open.wav", C1 + 10, [] { return hat(0.8, 0.3, 35); }},
        {"Drum Rim.wav", C1 + 1, [] { return rim(0.15); }},
    };
    for (int key : {C1, C2, C3, C4}) {
        static const char* const PluckNames[] = {"Pluck C1.wav", "Pluck C2.wav", "Pluck C3.wav", "Pluck C4.wav"};
        static const char* const StringNames[] = {"Strings C1.wav", "Strings C2.wav", "Strings C3.wav",
                                                  "Strings C4.wav"};
        const size_t k = static_cast<size_t>((key - C1) / 12);
        list.push_back({PluckNames[k], key, [key] { return pluck(noteHz(key), 1.5, 40 + key); }});
        list.push_back({StringNames[k], key, [key] { return ensemble(noteHz(key), 2.4, 50 + key); }, true, 0.8, 2.25});
    }
    return list;
}

void putU16(std::vector<uint8_t>& b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

void putU32(std::vector<uint8_t>& b, uint32_t v)
{
    putU16(b, v & 0xFFFF);
    putU16(b, v >> 16);
}

void putId(std::vector<uint8_t>& b, const char* id)
{
    b.insert(b.end(), id, id + 4);
}

} // namespace

double noteHz(int key)
{
    return 440.0 * std::pow(2.0, (key - 69) / 12.0);
}

std::vector<GeneratedSample> renderSampleCatalogue(const std::vector<std::string>& only)
{
    std::vector<GeneratedSample> out;
    for (const Recipe& r : recipes()) {
        if (!only.empty() && std::find(only.begin(), only.end(), r.file) == only.end())
            continue;
        GeneratedSample s;
        s.file = r.file;
        s.rootKey = r.rootKey;
        s.frames = r.render();
        s.looped = r.looped;
        if (r.looped)
            s.loop = periodLoop(r.rootKey, r.loopFrom, r.loopTo);
        out.push_back(std::move(s));
    }
    return out;
}

std::vector<std::string> sampleCatalogueNames()
{
    std::vector<std::string> names;
    for (const Recipe& r : recipes())
        names.push_back(r.file);
    return names;
}

bool writeWav24(const std::string& path, const GeneratedSample& sample, std::string& error)
{
    const auto frames = static_cast<uint32_t>(sample.frames.size());
    std::vector<uint8_t> b;
    const uint32_t dataBytes = frames * 3;
    // Only a held tone gets a 'smpl' chunk: the reader takes any such chunk
    // as the file's loop, and a one-shot has none.
    const uint32_t smplBytes = sample.looped ? 36 + 24 : 0;
    putId(b, "RIFF");
    putU32(b, 4 + (8 + 16) + (smplBytes ? 8 + smplBytes : 0) + (8 + dataBytes + (dataBytes & 1)));
    putId(b, "WAVE");
    putId(b, "fmt ");
    putU32(b, 16);
    putU16(b, 1); // PCM
    putU16(b, 1); // mono
    putU32(b, SampleRate);
    putU32(b, SampleRate * 3);
    putU16(b, 3);
    putU16(b, 24);
    if (sample.looped) {
        putId(b, "smpl");
        putU32(b, smplBytes);
        putU32(b, 0);                                                // manufacturer
        putU32(b, 0);                                                // product
        putU32(b, static_cast<uint32_t>(1000000000.0 / SampleRate)); // sample period, ns
        putU32(b, static_cast<uint32_t>(sample.rootKey));
        putU32(b, 0); // pitch fraction
        putU32(b, 0); // SMPTE format
        putU32(b, 0); // SMPTE offset
        putU32(b, 1); // one loop
        putU32(b, 0); // sampler data
        putU32(b, 0); // cue point id
        putU32(b, 0); // forward loop
        putU32(b, static_cast<uint32_t>(sample.loop.start));
        putU32(b, static_cast<uint32_t>(sample.loop.end));
        putU32(b, 0); // fraction
        putU32(b, 0); // endless
    }
    putId(b, "data");
    putU32(b, dataBytes);
    for (float v : sample.frames) {
        const double clamped = std::clamp(static_cast<double>(v), -1.0, 1.0);
        const auto code = static_cast<int32_t>(std::lrint(clamped * 8388607.0));
        const auto u = static_cast<uint32_t>(code);
        b.push_back(static_cast<uint8_t>(u));
        b.push_back(static_cast<uint8_t>(u >> 8));
        b.push_back(static_cast<uint8_t>(u >> 16));
    }
    if (dataBytes & 1)
        b.push_back(0);

    const std::string temp = path + ".part";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f)
        return error = "cannot create " + temp, false;
    const bool written = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return error = "cannot write " + path, false;
    }
    return true;
}

bool writeSampleCatalogue(const std::string& folder, std::string& error)
{
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!std::filesystem::is_directory(folder))
        return error = "cannot create the folder " + folder, false;
    for (const GeneratedSample& s : renderSampleCatalogue())
        if (!writeWav24((std::filesystem::path(folder) / s.file).string(), s, error))
            return false;
    return true;
}

} // namespace Bank
