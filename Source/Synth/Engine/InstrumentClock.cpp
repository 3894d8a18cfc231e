#include "Instrument.h"

#include "Synth.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

// The sixteenth clock, the sync phases and the modulation delay.

namespace {

// The clock's resolution bounds (1 = sixteenth notes).
constexpr double Resolution16thMin = 0.0833;
constexpr double Resolution16thMax = 16.01;

// x reduced into 0..1 by whole cycles (1 stays 1); non-finite values give 0.
double wrapPhase(double x)
{
    if (!std::isfinite(x))
        return 0.0;
    if (x > 1.0)
        x -= std::ceil(x - 1.0);
    if (x < 0.0)
        x -= std::floor(x);
    return std::clamp(x, 0.0, 1.0);
}

// x mod 1 into 0..1 (a negative x wraps upwards).
double mod1(double x)
{
    return x - std::floor(x);
}

} // namespace

// ---------------------------------------------------------------------------
// The sixteenth clock

void Instrument_c::setResolution16th(double r)
{
    if (!std::isfinite(r))
        return;
    resolution16th.store(std::clamp(r, Resolution16thMin, Resolution16thMax), std::memory_order_relaxed);
    updateSamplesPer16th();
}

void Instrument_c::offerSync(int pos)
{
    const double s = samplesPer16th.load(std::memory_order_relaxed);
    double r = std::fmod(static_cast<double>(pos), s);
    if (r < 0.0)
        r += s;
    counter16th = r + 2.0;
}

void Instrument_c::next16th() {}

int Instrument_c::checkFor16th(int frames)
{
    if (frames < 1)
        return 0;
    const double s = samplesPer16th.load(std::memory_order_relaxed);
    if (counter16th >= s) {
        next16th();
        counter16th -= s;
        // After a jump to a faster tempo the counter can lie several steps
        // ahead: the boundaries it skipped are not made up in a burst.
        if (counter16th >= s)
            counter16th = std::fmod(counter16th, s);
    }
    int m = frames;
    if (frames + counter16th > s)
        m = std::clamp(static_cast<int>(std::floor(s - counter16th)) + 1, 1, std::max(frames, 1));
    counter16th += m;
    return m;
}

// ---------------------------------------------------------------------------
// Sync phases

void Instrument_c::renderSyncPhase(int frames)
{
    for (int i = 0; i < NumSyncPhases; ++i) {
        const double rate = syncRate[i].load(std::memory_order_relaxed);
        if (rate == 0.0)
            continue;
        syncPhase[i].store(wrapPhase(syncPhase[i].load(std::memory_order_relaxed) + rate * frames),
                           std::memory_order_relaxed);
    }
}

bool Instrument_c::getPosInBar(int* barLength, int* pos)
{
    int b = 0;
    int p = 0;
    if (!synth || !synth->getPosInBar(&b, &p))
        return false;
    if (barLength)
        *barLength = b;
    if (pos)
        *pos = p + position;
    return true;
}

bool Instrument_c::Sync()
{
    int bar = 0;
    int pos = 0;
    // A bar of no length has no position to align to.
    if (!getPosInBar(&bar, &pos) || bar < 1)
        return false;
    for (int i = 0; i < NumSyncPhases; ++i) {
        const double x = syncRate[i].load(std::memory_order_relaxed);
        if (!syncEnable[i].load(std::memory_order_relaxed) || !(x > 0.0) || !std::isfinite(x))
            continue;
        const double phase = syncPhase[i].load(std::memory_order_relaxed);
        const double cyclesPerBar = bar * x;
        double p = static_cast<double>(pos) * x;
        if (p > 1.0)
            p -= std::ceil(p - 1.0);
        // How far each bar drifts against the phase, in cycles.
        const double f = mod1(cyclesPerBar);
        const double d = std::min(f, 1.0 - f);
        if (d > 0.01) {
            // The phase may have run whole bars earlier or later than the
            // position tells: the closest such alignment wins.
            const int n = static_cast<int>(1.0 / d) + 1;
            double best = p;
            double bestDistance = std::fabs(p - phase);
            auto consider = [&](double candidate) {
                const double distance = std::fabs(candidate - phase);
                if (distance < bestDistance) {
                    best = candidate;
                    bestDistance = distance;
                }
            };
            for (int k = 1; k <= n; ++k) {
                const double up = mod1(p + k * f);
                const double down = mod1(p - k * f);
                consider(up);
                consider(up + 1.0);
                consider(down);
                consider(down + 1.0);
            }
            p = best;
        } else if (cyclesPerBar > 0.0 && std::fabs(p - phase) > cyclesPerBar / 2.0) {
            // Whole cycles per bar: move by whole bars toward the phase.
            p += std::round((phase - p) / cyclesPerBar) * cyclesPerBar;
        }
        syncPhase[i].store(wrapPhase(p), std::memory_order_relaxed);
    }
    return true;
}

void Instrument_c::setSyncStepUp(int i, double rate)
{
    if (i >= 0 && i < NumSyncPhases)
        syncRate[i].store(std::isfinite(rate) ? rate : 0.0, std::memory_order_relaxed);
}

double Instrument_c::getSyncPhase(int i) const
{
    return i >= 0 && i < NumSyncPhases ? syncPhase[i].load(std::memory_order_relaxed) : 0.0;
}

void Instrument_c::setSyncPhase(int i, double phase)
{
    if (i >= 0 && i < NumSyncPhases)
        syncPhase[i].store(wrapPhase(phase), std::memory_order_relaxed);
}

void Instrument_c::setSyncEnable(int i, bool on)
{
    if (i >= 0 && i < NumSyncPhases)
        syncEnable[i].store(on, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------
// Modulation delay

float* Instrument_c::getModSampleRow(int voice)
{
    return modSampleRows[std::clamp(voice, 0, NumVoices - 1)];
}

bool Instrument_c::defineModDelay(int steps)
{
    if (steps < 0 || steps > ModDelayMaxSteps || Synth::onAudioThread())
        return false;
    const int length = steps + ModDelayRingExtra;
    const size_t ring = static_cast<size_t>(length) + ModDelayRowValues + 1;
    std::unique_ptr<float[]> rings;
    if (steps > 0) {
        rings.reset(new (std::nothrow) float[ring * NumVoices]());
        if (!rings)
            return false;
    }
    // The audio thread reads the rings only inside a stretch, under the
    // render lock: swapped here, they are never changed under it.
    renderLock.getWritePermission();
    modRings.swap(rings);
    modDelaySteps = steps;
    modRingLength = length;
    modWritePos = steps;
    modReadPos = 0;
    modCarry = 0;
    renderLock.releaseWritePermission();
    return true; // the old rings go with `rings`, off the audio thread
}

void Instrument_c::delayModValues(int frames)
{
    if (!modRings || modDelaySteps < 1 || frames < 1)
        return;
    const int length = modRingLength;
    const size_t ring = static_cast<size_t>(length) + ModDelayRowValues + 1;
    const int steps = std::min((frames + ControlStepFrames - 1) / ControlStepFrames, ModDelayRowValues);
    const int skip = modCarry / ControlStepFrames;
    modCarry %= ControlStepFrames;
    if (skip < steps) {
        for (int v = 0; v < NumVoices; ++v) {
            float* r = &modRings[ring * static_cast<size_t>(v)];
            for (int k = skip; k < steps; ++k)
                r[(modWritePos + k - skip) % length] = modSampleRows[v][k];
            // The first values again behind the end, so a reader always finds
            // ModDelayRowValues in a row.
            std::memcpy(r + length, r, sizeof(float) * ModDelayRowValues);
        }
    }
    modReadPos = ((modWritePos - modDelaySteps) % length + length) % length;
    modCarry = steps * ControlStepFrames - frames + modCarry;
    modWritePos = length + (steps - skip + modWritePos) % length;
}

float* Instrument_c::getModSamplesDelayed(int voice)
{
    if (!modRings || modDelaySteps < 1)
        return nullptr;
    const size_t ring = static_cast<size_t>(modRingLength) + ModDelayRowValues + 1;
    return &modRings[ring * static_cast<size_t>(std::clamp(voice, 0, NumVoices - 1)) + modReadPos];
}
