// The musical position the host reports at a frame, across a tempo change
// and a time-signature change, and the time-information record built on it.
#include "host/TimeMap.h"

#include <gtest/gtest.h>

using Host::MidiSong;
using Host::TimeMap_c;

namespace {

// 3/4 at 120 bpm; at tick 1440 (the second bar, 1.5 s) the tempo halves to
// 60 bpm; at tick 2880 (the third bar, 4.5 s) the meter becomes 4/4.
MidiSong changingSong()
{
    MidiSong song;
    song.division = 480;
    song.tempos = {{0, 500000}, {1440, 1000000}};
    song.signatures = {{0, 3, 4}, {2880, 4, 4}};
    song.lengthTicks = 4800;
    return song;
}

} // namespace

TEST(TimeMap, PositionFollowsTempoAndMeterChanges)
{
    const TimeMap_c map(changingSong(), 48000);
    const struct
    {
        int64_t frame;
        double ppq, tempo, barStart;
        int numerator;
    } rows[] = {
        {0, 0, 120, 0, 3},
        {48000, 2, 120, 0, 3},      // 1 s at 120 bpm
        {71999, 2.99995833, 120, 0, 3}, // one frame before the change
        {72000, 3, 60, 3, 3},       // second bar and the new tempo begin together
        {120000, 4, 60, 3, 3},      // 2.5 s: one quarter at 60 bpm later
        {216000, 6, 60, 6, 4},      // 4.5 s: the third bar, now in 4/4
        {312000, 8, 60, 6, 4},
        {408000, 10, 60, 10, 4},    // a 4/4 bar lasts four quarters
    };
    for (const auto& r : rows) {
        const TimeMap_c::Position p = map.positionAt(r.frame);
        EXPECT_NEAR(p.ppq, r.ppq, 1e-6) << "frame " << r.frame;
        EXPECT_DOUBLE_EQ(p.tempo, r.tempo) << "frame " << r.frame;
        EXPECT_NEAR(p.barStartPpq, r.barStart, 1e-9) << "frame " << r.frame;
        EXPECT_EQ(p.numerator, r.numerator) << "frame " << r.frame;
        EXPECT_EQ(p.denominator, 4) << "frame " << r.frame;
    }
    EXPECT_EQ(map.tickToFrame(1440), 72000);
    EXPECT_EQ(map.tickToFrame(2880), 216000);
    EXPECT_EQ(map.tickToFrame(4800), 408000);
}

TEST(TimeMap, TimeInfoCarriesThePositionAndTheValidFlags)
{
    const TimeMap_c map(changingSong(), 44100);
    const VstTimeInfo playing = Host::makeTimeInfo(map, 66150, true, false); // 1.5 s
    EXPECT_DOUBLE_EQ(playing.samplePos, 66150);
    EXPECT_DOUBLE_EQ(playing.sampleRate, 44100);
    EXPECT_NEAR(playing.ppqPos, 3, 1e-9);
    EXPECT_DOUBLE_EQ(playing.tempo, 60);
    EXPECT_NEAR(playing.barStartPos, 3, 1e-9);
    EXPECT_EQ(playing.timeSigNumerator, 3);
    EXPECT_EQ(playing.timeSigDenominator, 4);
    const int32_t valid = kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid;
    EXPECT_EQ(playing.flags & valid, valid);
    EXPECT_TRUE(playing.flags & kVstTransportPlaying);
    EXPECT_FALSE(playing.flags & kVstTransportChanged);

    const VstTimeInfo started = Host::makeTimeInfo(map, 0, true, true);
    EXPECT_TRUE(started.flags & kVstTransportChanged);
    const VstTimeInfo stopped = Host::makeTimeInfo(map, 0, false, false);
    EXPECT_FALSE(stopped.flags & kVstTransportPlaying);
    EXPECT_EQ(stopped.flags & valid, valid);
}

TEST(TimeMap, DefaultsTo120In44WithoutTempoOrMeter)
{
    const TimeMap_c map(MidiSong{}, 48000);
    const TimeMap_c::Position p = map.positionAt(5 * 24000); // 2.5 s = 5 quarters
    EXPECT_DOUBLE_EQ(p.tempo, 120);
    EXPECT_NEAR(p.ppq, 5, 1e-9);
    EXPECT_NEAR(p.barStartPpq, 4, 1e-9);
    EXPECT_EQ(p.numerator, 4);
}
