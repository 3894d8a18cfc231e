#include "Render.h"

#include "Guards.h"

#include <algorithm>
#include <cmath>

namespace Host {

IdleClock_c::IdleClock_c(double sampleRate, double periodSeconds)
    : period_(std::max<int64_t>(1, std::llround(sampleRate * periodSeconds)))
{
}

bool IdleClock_c::advance(int frames)
{
    pending_ += frames;
    if (pending_ < period_)
        return false;
    pending_ %= period_;
    return true;
}

bool renderBlocks(PluginHost_c& host, EventScheduler_c& events, const RenderSettings& settings,
                  const BlockSink& sink, RenderStats& stats, std::string& error)
{
    AEffect* effect = host.effect();
    if (!effect)
        return error = "no plug-in is open", false;
    if (!effect->processReplacing)
        return error = "the plug-in has no processReplacing", false;
    if (effect->numOutputs < 0 || effect->numOutputs > kMaxPins || effect->numInputs < 0 ||
        effect->numInputs > kMaxPins)
        return error = "the plug-in reports " + std::to_string(effect->numInputs) + " inputs and " +
                       std::to_string(effect->numOutputs) + " outputs (0 to " + std::to_string(kMaxPins) +
                       " accepted)",
               false;
    if (settings.blockFrames < 1 || settings.blockFrames > kMaxBlockFrames)
        return error = "block size out of range", false;

    const int outputs = effect->numOutputs;
    GuardedAudio_c in(effect->numInputs, settings.blockFrames);
    GuardedAudio_c out(outputs, settings.blockFrames);
    IdleClock_c idle(settings.sampleRate, kIdlePeriodSeconds);

    stats = {};
    for (int64_t start = 0; start < settings.totalFrames; start += settings.blockFrames) {
        const int frames = int(std::min<int64_t>(settings.blockFrames, settings.totalFrames - start));
        host.setTransport(start, true, start == 0);

        VstEvents* list = events.eventsForBlock(start, frames);
        if (list->numEvents > 0)
            host.dispatch(effProcessEvents, 0, 0, list);

        in.arm(frames);
        out.arm(frames);
        // Read the pointer each block: nothing forbids a plug-in to swap it.
        effect = host.effect();
        effect->processReplacing(effect, in.channels(), out.channels(), frames);
        if (std::string problem = out.check(); !problem.empty())
            host.fault("processReplacing " + problem);
        if (std::string problem = in.check(); !problem.empty())
            host.fault("processReplacing (input buffers) " + problem);

        ++stats.blocks;
        stats.frames += frames;
        if (!sink(out.channels(), outputs, frames))
            return error = "writing the rendered audio failed", false;

        if (settings.supplyIdle && idle.advance(frames)) {
            host.dispatch(effIdle);
            ++stats.idleCalls;
        }
    }
    host.setTransport(settings.totalFrames, false, true);
    return true;
}

} // namespace Host
