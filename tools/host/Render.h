// The render loop: per block, the transport position for the time
// information, the block's MIDI events, processReplacing into guarded
// buffers, the block handed on, and idle calls at the pace of the audio.
#pragma once

#include "EventScheduler.h"
#include "PluginHost.h"

#include <cstdint>
#include <functional>
#include <string>

namespace Host {

// Largest block and rate the host accepts (frames, Hz).
constexpr int kMaxBlockFrames = 16384;
constexpr int kMaxSampleRate = 768000;
// Largest number of output or input pins the host wires up.
constexpr int kMaxPins = 64;
// Idle period a host with "supplyIdle" keeps, in seconds of rendered audio.
constexpr double kIdlePeriodSeconds = 0.025;

// Counts rendered frames and says when the next idle call is due: about
// once per period of audio, at most once per block.
class IdleClock_c
{
public:
    IdleClock_c(double sampleRate, double periodSeconds);
    // Adds a block's frames; true when an idle call is due after it.
    bool advance(int frames);

private:
    int64_t period_;
    int64_t pending_ = 0;
};

struct RenderSettings
{
    double sampleRate = 48000;
    int blockFrames = 256;
    int64_t totalFrames = 0;
    bool supplyIdle = true; // call effIdle about every kIdlePeriodSeconds
};

struct RenderStats
{
    int64_t frames = 0;
    int64_t blocks = 0;
    uint64_t idleCalls = 0;
};

// Receives each rendered block: one pointer per output channel.
using BlockSink = std::function<bool(const float* const* channels, int channelCount, int frames)>;

// Renders totalFrames through an opened, resumed plug-in. False with a
// reason when the plug-in cannot render or the sink refused a block;
// guard-sample overruns are recorded as host faults and rendering goes on.
bool renderBlocks(PluginHost_c& host, EventScheduler_c& events, const RenderSettings& settings,
                  const BlockSink& sink, RenderStats& stats, std::string& error);

} // namespace Host
