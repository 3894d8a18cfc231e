#include "DemoPhrase.h"

#include <algorithm>
#include <string>

namespace Host {

namespace {

constexpr int kDivision = 480; // ticks per quarter note
constexpr int kQuarter = kDivision;
constexpr int kEighth = kQuarter / 2;
constexpr int kHalf = kQuarter * 2;
constexpr int kBar = kQuarter * 4;

struct Note
{
    int tick;
    int length;
    uint8_t key;
    uint8_t velocity;
};

// Melody, bass and the closing chord, all on MIDI channel 1.
constexpr Note kNotes[] = {
    // bar 1: melody E G C' B A over C - G
    {0, kQuarter, 64, 96}, {kQuarter, kQuarter, 67, 92}, {kHalf, kQuarter, 72, 100},
    {kHalf + kQuarter, kEighth, 71, 88}, {kHalf + kQuarter + kEighth, kEighth, 69, 84},
    {0, kHalf, 48, 80}, {kHalf, kHalf, 43, 76},
    // bar 2: G (dotted) F E D over F - G
    {kBar, kQuarter + kEighth, 67, 94}, {kBar + kQuarter + kEighth, kEighth, 65, 84},
    {kBar + kHalf, kQuarter, 64, 90}, {kBar + kHalf + kQuarter, kQuarter, 62, 86},
    {kBar, kHalf, 41, 80}, {kBar + kHalf, kHalf, 43, 76},
    // bar 3: E F G A B rising over A - G
    {2 * kBar, kEighth, 64, 86}, {2 * kBar + kEighth, kEighth, 65, 88},
    {2 * kBar + kQuarter, kQuarter, 67, 92}, {2 * kBar + kHalf, kQuarter, 69, 96},
    {2 * kBar + kHalf + kQuarter, kQuarter, 71, 100},
    {2 * kBar, kHalf, 45, 80}, {2 * kBar + kHalf, kHalf, 43, 78},
    // bar 4: C major, held for the whole bar
    {3 * kBar, kBar, 48, 84}, {3 * kBar, kBar, 55, 80}, {3 * kBar, kBar, 60, 84},
    {3 * kBar, kBar, 64, 88}, {3 * kBar, kBar, 67, 88}, {3 * kBar, kBar, 72, 100},
};

struct RawEvent
{
    int tick;
    std::vector<uint8_t> bytes;
};

void putVarLen(std::vector<uint8_t>& out, uint32_t v)
{
    uint8_t groups[4];
    int n = 0;
    do {
        groups[n++] = uint8_t(v & 0x7F);
        v >>= 7;
    } while (v && n < 4);
    while (n-- > 0)
        out.push_back(uint8_t(groups[n] | (n > 0 ? 0x80 : 0)));
}

void putBe32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(uint8_t(v >> shift));
}

// A track chunk from events sorted by tick. Channel messages repeat their
// status through running status, as most sequencers write them.
void putTrack(std::vector<uint8_t>& file, std::vector<RawEvent> events, int endTick)
{
    std::stable_sort(events.begin(), events.end(), [](const RawEvent& a, const RawEvent& b) { return a.tick < b.tick; });
    std::vector<uint8_t> body;
    int last = 0;
    uint8_t running = 0;
    for (const RawEvent& e : events) {
        putVarLen(body, uint32_t(e.tick - last));
        last = e.tick;
        const bool channelMessage = e.bytes[0] < 0xF0;
        const bool skipStatus = channelMessage && e.bytes[0] == running;
        body.insert(body.end(), e.bytes.begin() + (skipStatus ? 1 : 0), e.bytes.end());
        running = channelMessage ? e.bytes[0] : 0;
    }
    putVarLen(body, uint32_t(endTick - last));
    body.insert(body.end(), {0xFF, 0x2F, 0x00});

    file.insert(file.end(), {'M', 'T', 'r', 'k'});
    putBe32(file, uint32_t(body.size()));
    file.insert(file.end(), body.begin(), body.end());
}

} // namespace

std::vector<uint8_t> demoMidiFile()
{
    constexpr int kEnd = 4 * kBar;
    std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, uint8_t(kDivision >> 8),
                                 uint8_t(kDivision & 0xFF)};

    const std::string name = "Tessel3 demo";
    std::vector<RawEvent> conductor;
    RawEvent title{0, {0xFF, 0x03, uint8_t(name.size())}};
    title.bytes.insert(title.bytes.end(), name.begin(), name.end());
    conductor.push_back(title);
    conductor.push_back({0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}});       // 500000 us a quarter: 120 bpm
    conductor.push_back({0, {0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08}}); // 4/4
    putTrack(file, conductor, kEnd);

    // Note-offs as note-ons of velocity 0 keep one status byte for the
    // whole track. A note releases a little before its full length.
    std::vector<RawEvent> notes;
    for (const Note& n : kNotes) {
        const int release = n.tick + n.length - std::min(n.length / 16, 30);
        notes.push_back({release, {0x90, n.key, 0}});
    }
    for (const Note& n : kNotes)
        notes.push_back({n.tick, {0x90, n.key, n.velocity}});
    putTrack(file, notes, kEnd);
    return file;
}

MidiSong demoSong()
{
    MidiSong song;
    std::string error;
    parseMidiFile(demoMidiFile(), song, error);
    return song;
}

} // namespace Host
