#include "Measure.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <sstream>

namespace Bank {

namespace {

constexpr double FloorDb = -200.0;
// Prints compare what is heard: bands and frames more than 40 dB under the
// loudest count as silent.
constexpr double RelativeFloorDb = -40.0;
constexpr size_t FftSize = 8192;
constexpr double EnvelopeFrameSeconds = 0.05;

double powerToDb(double power)
{
    return power > 1e-20 ? 10.0 * std::log10(power) : FloorDb;
}

// In-place radix-2 FFT; n is a power of two.
void fft(std::vector<std::complex<double>>& x)
{
    const size_t n = x.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(x[i], x[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2.0 * std::numbers::pi / static_cast<double>(len);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1.0, 0.0);
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = x[i + k];
                const std::complex<double> v = x[i + k + len / 2] * w;
                x[i + k] = u + v;
                x[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

// The power spectrum of one channel, averaged over Hann windows that step by
// half their length through the whole signal.
std::vector<double> powerSpectrum(const std::vector<float>& x)
{
    std::vector<double> sum(FftSize / 2 + 1, 0.0);
    if (x.size() < FftSize)
        return sum;
    std::vector<std::complex<double>> buffer(FftSize);
    for (size_t start = 0; start + FftSize <= x.size(); start += FftSize / 2) {
        for (size_t i = 0; i < FftSize; ++i) {
            const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / FftSize);
            buffer[i] = {w * x[start + i], 0.0};
        }
        fft(buffer);
        for (size_t k = 0; k < sum.size(); ++k)
            sum[k] += std::norm(buffer[k]);
    }
    return sum;
}

std::vector<double> relativeDb(const std::vector<double>& power)
{
    std::vector<double> db(power.size());
    double top = FloorDb;
    for (size_t i = 0; i < power.size(); ++i) {
        db[i] = powerToDb(power[i]);
        top = std::max(top, db[i]);
    }
    for (double& v : db)
        v = std::max(v - top, RelativeFloorDb);
    return db;
}

double meanAbsDifference(const std::vector<double>& a, const std::vector<double>& b)
{
    const size_t n = std::min(a.size(), b.size());
    if (n == 0)
        return 0.0;
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i)
        sum += std::fabs(a[i] - b[i]);
    return sum / static_cast<double>(n);
}

} // namespace

double toDb(double linear)
{
    return linear > 1e-10 ? 20.0 * std::log10(linear) : FloorDb;
}

Audio stereoFold(const Audio& a)
{
    if (a.channels.size() < 6)
        return a;
    constexpr size_t L = 0, R = 1, C = 2, Ls = 4, Rs = 5;
    Audio pair;
    pair.rate = a.rate;
    pair.channels.assign(2, std::vector<float>(a.frames()));
    const float half = static_cast<float>(std::sqrt(0.5));
    for (size_t i = 0; i < a.frames(); ++i) {
        pair.channels[0][i] = a.channels[L][i] + a.channels[Ls][i] + half * a.channels[C][i];
        pair.channels[1][i] = a.channels[R][i] + a.channels[Rs][i] + half * a.channels[C][i];
    }
    return pair;
}

double peakDb(const Audio& a)
{
    float peak = 0.0f;
    for (const auto& c : a.channels)
        for (float v : c)
            peak = std::max(peak, std::fabs(v));
    return toDb(peak);
}

double peakSeconds(const Audio& a)
{
    float peak = 0.0f;
    size_t at = 0;
    for (const auto& c : a.channels)
        for (size_t i = 0; i < c.size(); ++i)
            if (std::fabs(c[i]) > peak) {
                peak = std::fabs(c[i]);
                at = i;
            }
    return static_cast<double>(at) / a.rate;
}

double loudestWindowDb(const Audio& a, double seconds)
{
    if (a.channels.size() < 2 || a.frames() == 0)
        return FloorDb;
    // The power a listener of the main pair hears: left and right, and in
    // the six-output build the rear pair and the centre too, as the fold to
    // stereo adds them by power (so the two builds measure alike).
    std::vector<size_t> heard{0, 1};
    if (a.channels.size() >= 6)
        heard = {0, 1, 2, 4, 5};
    const size_t frames = a.frames();
    const size_t window = std::max<size_t>(1, static_cast<size_t>(seconds * a.rate));
    const size_t step = std::max<size_t>(1, window / 10);
    std::vector<double> cumulative(frames + 1, 0.0);
    for (size_t i = 0; i < frames; ++i) {
        double power = 0.0;
        for (size_t c : heard)
            power += double(a.channels[c][i]) * a.channels[c][i];
        cumulative[i + 1] = cumulative[i] + 0.5 * power;
    }
    double best = 0.0;
    const size_t last = frames > window ? frames - window : 0;
    for (size_t start = 0; start <= last; start += step) {
        const size_t end = std::min(frames, start + window);
        best = std::max(best, (cumulative[end] - cumulative[start]) / static_cast<double>(end - start));
    }
    return powerToDb(best);
}

double sideToMidDb(const Audio& whole)
{
    const Audio a = stereoFold(whole);
    if (a.channels.size() < 2)
        return FloorDb;
    double mid = 0.0, side = 0.0;
    for (size_t i = 0; i < a.frames(); ++i) {
        const double m = 0.5 * (double(a.channels[0][i]) + a.channels[1][i]);
        const double s = 0.5 * (double(a.channels[0][i]) - a.channels[1][i]);
        mid += m * m;
        side += s * s;
    }
    if (mid <= 1e-20)
        return side > 1e-20 ? 0.0 : FloorDb;
    return powerToDb(side / mid);
}

double surroundShareDb(const Audio& a)
{
    double all = 0.0, rest = 0.0;
    for (size_t c = 0; c < a.channels.size(); ++c)
        for (float v : a.channels[c]) {
            all += double(v) * v;
            if (c >= 2)
                rest += double(v) * v;
        }
    return all > 1e-20 ? powerToDb(rest / all) : FloorDb;
}

namespace {

// The power spectrum of the main pair, both sides added.
std::vector<double> pairSpectrum(const Audio& whole)
{
    const Audio a = stereoFold(whole);
    if (a.channels.size() < 2)
        return {};
    std::vector<double> power = powerSpectrum(a.channels[0]);
    const std::vector<double> right = powerSpectrum(a.channels[1]);
    for (size_t k = 0; k < power.size(); ++k)
        power[k] += right[k];
    return power;
}

} // namespace

double spectralCentroidHz(const Audio& a)
{
    const std::vector<double> power = pairSpectrum(a);
    double weighted = 0.0, total = 0.0;
    for (size_t k = 0; k < power.size(); ++k) {
        weighted += power[k] * static_cast<double>(k) * a.rate / FftSize;
        total += power[k];
    }
    return total > 0.0 ? weighted / total : 0.0;
}

double strongestHz(const Audio& a)
{
    const std::vector<double> power = pairSpectrum(a);
    size_t best = 0;
    for (size_t k = 1; k < power.size(); ++k)
        if (power[k] > power[best])
            best = k;
    return static_cast<double>(best) * a.rate / FftSize;
}

bool allFinite(const Audio& a)
{
    for (const auto& c : a.channels)
        for (float v : c)
            if (!std::isfinite(v))
                return false;
    return true;
}

SoundPrint soundPrint(const Audio& whole)
{
    const Audio a = stereoFold(whole);
    SoundPrint p;
    p.levelDb = loudestWindowDb(whole, LoudestWindowSeconds);
    p.widthDb = sideToMidDb(a);
    if (a.channels.size() < 2)
        return p;
    // Spectrum of both channels together, in third-octave bands.
    const std::vector<double> power = pairSpectrum(whole);
    std::vector<double> bands;
    const double binHz = a.rate / static_cast<double>(FftSize);
    for (double centre = 50.0; centre < 16500.0; centre *= std::pow(2.0, 1.0 / 3.0)) {
        const double lo = centre * std::pow(2.0, -1.0 / 6.0);
        const double hi = centre * std::pow(2.0, 1.0 / 6.0);
        double sum = 0.0;
        for (size_t k = static_cast<size_t>(std::ceil(lo / binHz)); k < power.size() && k * binHz < hi; ++k)
            sum += power[k];
        bands.push_back(sum);
    }
    p.spectrumDb = relativeDb(bands);
    // The time envelope, of each side: a gate that opens left while it
    // closes right keeps the sum steady but is heard at once.
    const size_t frame = static_cast<size_t>(EnvelopeFrameSeconds * a.rate);
    std::vector<double> frames;
    for (const auto& side : a.channels)
        for (size_t start = 0; start + frame <= a.frames(); start += frame) {
            double sum = 0.0;
            for (size_t i = start; i < start + frame; ++i)
                sum += double(side[i]) * side[i];
            frames.push_back(sum / static_cast<double>(frame));
        }
    p.envelopeDb = relativeDb(frames);
    return p;
}

PrintDistance distance(const SoundPrint& a, const SoundPrint& b)
{
    PrintDistance d;
    d.levelDb = std::fabs(a.levelDb - b.levelDb);
    d.spectrumDb = meanAbsDifference(a.spectrumDb, b.spectrumDb);
    // Width only counts between signals that have some: below -40 dB the
    // sides are inaudible whatever their exact level.
    d.widthDb = std::fabs(std::max(a.widthDb, -40.0) - std::max(b.widthDb, -40.0));
    d.envelopeDb = meanAbsDifference(a.envelopeDb, b.envelopeDb);
    return d;
}

bool PrintDistance::audible() const
{
    return levelDb >= 3.0 || spectrumDb >= 3.0 || widthDb >= 6.0 || envelopeDb >= 6.0;
}

std::string PrintDistance::describe() const
{
    std::ostringstream s;
    s.precision(3);
    s << "level " << levelDb << " dB, spectrum " << spectrumDb << " dB, width " << widthDb << " dB, envelope "
      << envelopeDb << " dB";
    return s.str();
}

} // namespace Bank
