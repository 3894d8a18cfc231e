#include "TimeMap.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace Host {

namespace {
// Positions computed in floating point land a hair below a bar line now and
// then; this much of a quarter note still counts as being on it.
constexpr double kPpqTolerance = 1e-9;
} // namespace

TimeMap_c::TimeMap_c(const MidiSong& song, double sampleRate)
    : sampleRate_(sampleRate), division_(song.division > 0 ? song.division : 480)
{
    double seconds = 0;
    int64_t lastTick = 0;
    double secondsPerTick = 0.5 / division_;
    for (const TempoChange& change : song.tempos) {
        seconds += double(change.tick - lastTick) * secondsPerTick;
        lastTick = change.tick;
        secondsPerTick = change.microsPerQuarter / 1e6 / division_;
        const TempoSegment segment{change.tick, seconds, double(change.tick) / division_, secondsPerTick,
                                   60e6 / change.microsPerQuarter};
        if (!tempos_.empty() && tempos_.back().tick == change.tick)
            tempos_.back() = segment; // the later of two changes at one tick wins
        else
            tempos_.push_back(segment);
    }
    if (tempos_.empty())
        tempos_.push_back({0, 0, 0, 0.5 / division_, 120});

    for (const TimeSignature& sig : song.signatures) {
        const MeterSegment segment{double(sig.tick) / division_, sig.numerator * 4.0 / sig.denominator,
                                   sig.numerator, sig.denominator};
        if (!meters_.empty() && meters_.back().startPpq == segment.startPpq)
            meters_.back() = segment;
        else
            meters_.push_back(segment);
    }
    if (meters_.empty())
        meters_.push_back({0, 4, 4, 4});
}

int64_t TimeMap_c::tickToFrame(int64_t tick) const
{
    const TempoSegment* segment = &tempos_.front();
    for (const TempoSegment& s : tempos_) {
        if (s.tick > tick)
            break;
        segment = &s;
    }
    const double seconds = segment->startSeconds + double(tick - segment->tick) * segment->secondsPerTick;
    return std::llround(seconds * sampleRate_);
}

TimeMap_c::Position TimeMap_c::positionAt(int64_t frame) const
{
    const double seconds = double(frame) / sampleRate_;
    const TempoSegment* tempo = &tempos_.front();
    for (const TempoSegment& s : tempos_) {
        if (s.startSeconds > seconds)
            break;
        tempo = &s;
    }
    Position position;
    position.tempo = tempo->tempo;
    position.ppq = tempo->startPpq + (seconds - tempo->startSeconds) * tempo->tempo / 60.0;

    const MeterSegment* meter = &meters_.front();
    for (const MeterSegment& m : meters_) {
        if (m.startPpq > position.ppq + kPpqTolerance)
            break;
        meter = &m;
    }
    position.numerator = meter->numerator;
    position.denominator = meter->denominator;
    const double bars = std::floor((position.ppq - meter->startPpq) / meter->barPpq + kPpqTolerance);
    position.barStartPpq = meter->startPpq + std::max(0.0, bars) * meter->barPpq;
    return position;
}

VstTimeInfo makeTimeInfo(const TimeMap_c& map, int64_t frame, bool playing, bool changed)
{
    const TimeMap_c::Position position = map.positionAt(frame);
    VstTimeInfo info{};
    info.samplePos = double(frame);
    info.sampleRate = map.sampleRate();
    info.nanoSeconds = double(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                  std::chrono::steady_clock::now().time_since_epoch())
                                  .count());
    info.ppqPos = position.ppq;
    info.tempo = position.tempo;
    info.barStartPos = position.barStartPpq;
    info.timeSigNumerator = position.numerator;
    info.timeSigDenominator = position.denominator;
    info.flags = kVstNanosValid | kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid;
    if (playing)
        info.flags |= kVstTransportPlaying;
    if (changed)
        info.flags |= kVstTransportChanged;
    return info;
}

} // namespace Host
