#include "LevelMeter.h"

#include "CmdBuffer.h"
#include "CommandLetters.h"
#include "Part.h"
#include "SafeDiv.h"
#include "Synth.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// Hold time of a new peak and interval between sends (seconds).
constexpr double MeterInterval = 0.2;
// Decay of the stored peak per idle call once the hold has run out.
constexpr float PeakDecay = 0.9f;

} // namespace

VUDriver_c::VUDriver_c(Synth* synth, Part_c* part, int paramIndex, int segments)
    : synth(synth), part(part), paramIndex(paramIndex), segments(segments),
      inverseSegments(so_ddiv(1.0, static_cast<double>(segments)))
{
    for (int i = 0; i < VUMeterSegments; ++i)
        stepValues[i] = static_cast<double>(segments - i) * inverseSegments;
    stepValues[VUMeterSegments] = 0.0;
}

int VUDriver_c::stepOf(float level) const
{
    const int lit = std::min(segments, VUMeterSegments);
    for (int i = 0; i < lit; ++i)
        if (level >= Thresholds[i])
            return i;
    return VUMeterSegments;
}

double VUDriver_c::getMaxAudioTransmit(float level) const
{
    return stepValues[stepOf(level)];
}

int VUDriver_c::countdownSamples() const
{
    const double rate = synth ? synth->getEngineSampleRate() : 0.0;
    const double samples = rate * MeterInterval;
    if (!(samples > 0.0))
        return 0;
    return samples >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(samples);
}

void VUDriver_c::updateVU(float level, int samples)
{
    // A peak that is not a finite number would stick in the meter for good.
    if (std::isfinite(level) && level > peak) {
        peak = level;
        holdCountdown = countdownSamples();
        idleCountdown = 0;
    }
    idleVU(samples);
}

void VUDriver_c::idleVU(int samples)
{
    if (idleCountdown <= 0) {
        const int step = stepOf(peak);
        sentValue = stepValues[step];
        // The set is the instrument the effect serves (0 before it has one).
        // Rule "replace the same": a queued record of the same value is
        // superseded rather than repeated while the idle side is slow.
        if (synth && part)
            synth->holdCmdtoGUI(Cmd::MeterValue, std::max(part->getRouteIndex(), 0), paramIndex, part,
                                &stepValues[step], hdReplaceSame);
        idleCountdown = countdownSamples();
    }
    // Countdowns stop once they have run out, so they never wrap however
    // long the effect runs; a negative count counts as none.
    samples = std::max(samples, 0);
    if (idleCountdown > 0)
        idleCountdown -= samples;
    if (holdCountdown > 0)
        holdCountdown -= samples;
    if (holdCountdown <= 0)
        peak *= PeakDecay;
}
