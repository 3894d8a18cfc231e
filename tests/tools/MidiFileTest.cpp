// The host's MIDI file reader: both formats, the tempo map, running status,
// sysex skipping, and a table of damaged files that must give an error.
#include "host/DemoPhrase.h"
#include "host/EventScheduler.h"
#include "host/MidiFile.h"
#include "host/TimeMap.h"

#include "SmfBytes.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

using namespace SmfBytes;
using Host::MidiSong;

namespace {

MidiSong parseOk(const Bytes& file)
{
    MidiSong song;
    std::string error;
    EXPECT_TRUE(Host::parseMidiFile(file, song, error)) << error;
    return song;
}

std::vector<int64_t> ticksOf(const MidiSong& song)
{
    std::vector<int64_t> ticks;
    for (const auto& e : song.events)
        ticks.push_back(e.tick);
    return ticks;
}

} // namespace

TEST(MidiFile, Format0WithRunningStatusAndSysexSkipped)
{
    const Bytes body = {
        0x00, 0x90, 60, 100,             // note on
        0x60, 62, 90,                    // running status: note on, 96 ticks later
        0x00, 0xF0, 0x03, 0x7E, 0x7F, 0xF7, // sysex: skipped, cancels running status
        0x10, 0x80, 60, 0,               // note off
        0x00, 0xC1, 5,                   // program change: one data byte
        0x08, 0xE1, 0x00, 0x40,          // pitch bend
        0x00, 0xF7, 0x01, 0x42,          // sysex continuation: skipped
        0x20, 0xFF, 0x2F, 0x00,          // end of track
        0x00, 0x90, 1, 2,                // after the end: ignored
    };
    const MidiSong song = parseOk(join({header(0, 1, 96), track(body)}));

    EXPECT_EQ(song.format, 0);
    EXPECT_EQ(song.division, 96);
    ASSERT_EQ(song.events.size(), 5u);
    EXPECT_EQ(ticksOf(song), (std::vector<int64_t>{0, 96, 112, 112, 120}));
    EXPECT_EQ(song.events[1].data[0], 0x90);
    EXPECT_EQ(song.events[1].data[1], 62);
    EXPECT_EQ(song.events[1].size, 3);
    EXPECT_EQ(song.events[3].data[0], 0xC1);
    EXPECT_EQ(song.events[3].size, 2);
    EXPECT_EQ(song.lengthTicks, 152);
    // Defaults when the file gives no tempo or signature.
    ASSERT_EQ(song.tempos.size(), 1u);
    EXPECT_EQ(song.tempos[0].microsPerQuarter, 500000u);
    ASSERT_EQ(song.signatures.size(), 1u);
    EXPECT_EQ(song.signatures[0].numerator, 4);
}

TEST(MidiFile, Format1MergesTracksKeepingTrackOrderOnTies)
{
    const Bytes conductor = {0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40, // 1000000 us: 60 bpm
                             0x00, 0xFF, 0x58, 0x04, 0x03, 0x02, 0x18, 0x08, // 3/4
                             0x83, 0x60, 0xFF, 0x2F, 0x00};          // end at 480
    const Bytes first = {0x00, 0x90, 60, 100, 0x81, 0x70, 0x90, 64, 100, 0x00, 0xFF, 0x2F, 0x00}; // 0, 240
    const Bytes second = {0x81, 0x70, 0x91, 67, 100, 0x00, 0x91, 48, 90, 0x8F, 0x00, 0xFF, 0x2F, 0x00}; // 240, 240
    const MidiSong song = parseOk(join({header(1, 3, 480), track(conductor), track(first), track(second)}));

    ASSERT_EQ(song.events.size(), 4u);
    EXPECT_EQ(ticksOf(song), (std::vector<int64_t>{0, 240, 240, 240}));
    EXPECT_EQ(song.events[1].data[1], 64); // track 1 before track 2 at tick 240
    EXPECT_EQ(song.events[2].data[1], 67);
    EXPECT_EQ(song.events[3].data[1], 48); // file order within track 2
    EXPECT_EQ(song.lengthTicks, 240 + 1920);
    ASSERT_EQ(song.tempos.size(), 1u);
    EXPECT_EQ(song.tempos[0].microsPerQuarter, 1000000u);
    ASSERT_EQ(song.signatures.size(), 1u);
    EXPECT_EQ(song.signatures[0].numerator, 3);
    EXPECT_EQ(song.signatures[0].denominator, 4);
}

TEST(MidiFile, TempoChangeMidFileMovesLaterEventsToTheRightFrames)
{
    // 120 bpm from the start, 60 bpm from tick 960 (one second in), in the
    // conductor track; the notes live in the other track.
    const Bytes conductor = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,  // 500000 us
                             0x87, 0x40, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40, // +960: 1000000 us
                             0x00, 0xFF, 0x2F, 0x00};
    const Bytes notes = {0x83, 0x60, 0x90, 60, 100,  // 480: 0.5 s
                         0x83, 0x60, 0x90, 62, 100,  // 960: 1.0 s
                         0x83, 0x60, 0x90, 64, 100,  // 1440: 1.0 s + 480 ticks at 60 bpm = 2.0 s
                         0x87, 0x40, 0x80, 64, 0,    // 2400: 2.0 s + 960 ticks = 4.0 s
                         0x00, 0xFF, 0x2F, 0x00};
    const MidiSong song = parseOk(join({header(1, 2, 480), track(conductor), track(notes)}));
    const Host::TimeMap_c map(song, 48000);

    std::vector<int64_t> frames;
    for (const auto& t : Host::scheduleSong(song, map))
        frames.push_back(t.frame);
    EXPECT_EQ(frames, (std::vector<int64_t>{24000, 48000, 96000, 192000}));
    EXPECT_EQ(map.tickToFrame(song.lengthTicks), 192000);
}

TEST(MidiFile, UnknownChunksAreSkippedAndAMissingEndOfTrackIsAccepted)
{
    const Bytes body = {0x00, 0x90, 60, 100, 0x10, 0x80, 60, 0}; // no end-of-track event
    const MidiSong song = parseOk(join({header(0, 1, 96), chunk("XFIH", {1, 2, 3}), track(body)}));
    EXPECT_EQ(song.events.size(), 2u);
    EXPECT_EQ(song.lengthTicks, 16);
}

TEST(MidiFile, DamagedFilesGiveAnErrorAndLeaveTheSongAlone)
{
    const Bytes goodHeader = header(0, 1, 96);
    const struct
    {
        const char* what;
        Bytes file;
        const char* errorPart;
    } cases[] = {
        {"empty file", {}, "MThd"},
        {"garbage header", {'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96}, "MThd"},
        {"header shorter than 6", {'M', 'T', 'h', 'd', 0, 0, 0, 4, 0, 0, 0, 1}, "header length"},
        {"header length past the end", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0}, "header length"},
        {"format 2", join({header(2, 1, 96), track(kEndOfTrack)}), "format 2"},
        {"SMPTE division", join({header(0, 1, 0xE728), track(kEndOfTrack)}), "SMPTE"},
        {"division 0", join({header(0, 1, 0), track(kEndOfTrack)}), "division"},
        {"no tracks", header(1, 0, 96), "no tracks"},
        {"format 0 with two tracks", join({header(0, 2, 96), track(kEndOfTrack), track(kEndOfTrack)}), "format 0"},
        {"missing track", join({header(1, 2, 96), track(kEndOfTrack)}), "1 of 2 tracks"},
        {"track length past the end", join({goodHeader, track(kEndOfTrack, 5000)}), "runs past the end of the file"},
        {"huge track length", join({goodHeader, track(kEndOfTrack, 0xFFFFFFFF)}), "runs past the end of the file"},
        {"truncated note", join({goodHeader, track({0x00, 0x90, 60})}), "cut off"},
        {"delta time without event", join({goodHeader, track({0x00, 0x90, 60, 100, 0x10})}), "event missing"},
        {"truncated delta time", join({goodHeader, track({0x81})}), "delta time"},
        {"overlong delta time", join({goodHeader, track({0x81, 0x81, 0x81, 0x81, 0x01, 0x90, 60, 1})}), "delta time"},
        {"meta length past the end", join({goodHeader, track({0x00, 0xFF, 0x01, 0x20, 'a'})}), "meta event length"},
        {"meta length overlong", join({goodHeader, track({0x00, 0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F})}), "meta"},
        {"sysex length past the end", join({goodHeader, track({0x00, 0xF0, 0x7F, 0x01})}), "sysex length"},
        {"data byte without status", join({goodHeader, track({0x00, 60, 100})}), "running status"},
        {"running status after meta", join({goodHeader, track({0x00, 0x90, 60, 1, 0x00, 0xFF, 0x01, 0x00, 0x00, 62, 1})}),
         "running status"},
        {"data byte with high bit", join({goodHeader, track({0x00, 0x90, 60, 0x80})}), "high bit"},
        {"system common status", join({goodHeader, track({0x00, 0xF2, 0x00, 0x00})}), "0xF2"},
        {"tempo of zero", join({goodHeader, track({0x00, 0xFF, 0x51, 0x03, 0, 0, 0})}), "tempo"},
        {"short tempo", join({goodHeader, track({0x00, 0xFF, 0x51, 0x02, 0x07, 0xA1})}), "tempo"},
        {"time signature 0/4", join({goodHeader, track({0x00, 0xFF, 0x58, 0x04, 0, 2, 24, 8})}), "time signature"},
        {"time signature 4/2^40", join({goodHeader, track({0x00, 0xFF, 0x58, 0x04, 4, 40, 24, 8})}), "time signature"},
    };
    for (const auto& c : cases) {
        MidiSong song;
        song.division = 1234; // a marker: a failed parse must not touch the song
        std::string error;
        EXPECT_FALSE(Host::parseMidiFile(c.file, song, error)) << c.what;
        EXPECT_NE(error.find(c.errorPart), std::string::npos) << c.what << ": " << error;
        EXPECT_EQ(song.division, 1234) << c.what;
    }
}

TEST(MidiFile, EveryPrefixOfAGoodFileIsReadOrRefusedWithoutCrashing)
{
    // The demo file cut at every length: each prefix either parses (it may
    // end cleanly between events) or gives an error text.
    const Bytes file = Host::demoMidiFile();
    for (size_t n = 0; n < file.size(); ++n) {
        MidiSong song;
        std::string error;
        if (!Host::parseMidiFile(std::span(file.data(), n), song, error)) {
            EXPECT_FALSE(error.empty()) << "prefix " << n;
        }
    }
}

TEST(MidiFile, MutatedFilesAreReadOrRefusedAndWhatIsReadIsConsistent)
{
    // Seeded random damage to a good file: overwritten bytes (often lengths,
    // status and delta bytes), cuts and insertions. Run under ASan, this is
    // where an unchecked length shows.
    const Bytes good = Host::demoMidiFile();
    std::mt19937 random(20240611);
    for (int round = 0; round < 3000; ++round) {
        Bytes file = good;
        const int edits = 1 + int(random() % 4);
        for (int e = 0; e < edits && !file.empty(); ++e) {
            const size_t at = random() % file.size();
            switch (random() % 3) {
            case 0: file[at] = uint8_t(random()); break;
            case 1: file.resize(at); break;
            default: file.insert(file.begin() + long(at), uint8_t(random())); break;
            }
        }
        MidiSong song;
        std::string error;
        if (!Host::parseMidiFile(file, song, error)) {
            EXPECT_FALSE(error.empty()) << "round " << round;
            continue;
        }
        for (size_t i = 0; i < song.events.size(); ++i) {
            const auto& event = song.events[i];
            ASSERT_TRUE(event.size == 2 || event.size == 3) << "round " << round;
            ASSERT_GE(event.data[0], 0x80) << "round " << round;
            ASSERT_LT(event.data[0], 0xF0) << "round " << round;
            ASSERT_LE(event.tick, song.lengthTicks) << "round " << round;
            if (i > 0) {
                ASSERT_LE(song.events[i - 1].tick, event.tick) << "round " << round;
            }
        }
        ASSERT_FALSE(song.tempos.empty());
        EXPECT_EQ(song.tempos.front().tick, 0);
        ASSERT_FALSE(song.signatures.empty());
        EXPECT_EQ(song.signatures.front().tick, 0);
    }
}

TEST(MidiFile, ReadingAMissingFileIsAnError)
{
    MidiSong song;
    std::string error;
    EXPECT_FALSE(Host::readMidiFile("/nonexistent/song.mid", song, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
}

TEST(DemoPhrase, IsFourBarsOfBalancedNotesAt120InFourFour)
{
    const MidiSong song = Host::demoSong();
    EXPECT_EQ(song.format, 1);
    EXPECT_EQ(song.lengthTicks, 4 * 4 * song.division);
    ASSERT_EQ(song.tempos.size(), 1u);
    EXPECT_EQ(song.tempos[0].microsPerQuarter, 500000u);
    EXPECT_EQ(song.signatures[0].numerator, 4);

    // Every key that goes down comes up again, after it went down.
    std::map<int, int> held;
    int noteOns = 0;
    for (const auto& e : song.events) {
        ASSERT_EQ(e.data[0], 0x90);
        if (e.data[2] > 0) {
            ++held[e.data[1]];
            ++noteOns;
        } else {
            ASSERT_GT(held[e.data[1]], 0) << "key " << int(e.data[1]) << " released before it sounded";
            --held[e.data[1]];
        }
    }
    for (const auto& [key, count] : held)
        EXPECT_EQ(count, 0) << "key " << key << " hangs";
    EXPECT_GE(noteOns, 20);
}
