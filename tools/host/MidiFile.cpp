#include "MidiFile.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace Host {

namespace {

// A read cursor over a byte range that refuses to step past its end.
class Reader
{
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    size_t left() const { return bytes_.size() - pos_; }
    size_t pos() const { return pos_; }
    bool atEnd() const { return pos_ == bytes_.size(); }

    bool byte(uint8_t& out)
    {
        if (left() < 1)
            return false;
        out = bytes_[pos_++];
        return true;
    }
    bool peek(uint8_t& out) const
    {
        if (left() < 1)
            return false;
        out = bytes_[pos_];
        return true;
    }
    bool be16(uint32_t& out)
    {
        if (left() < 2)
            return false;
        out = (uint32_t(bytes_[pos_]) << 8) | bytes_[pos_ + 1];
        pos_ += 2;
        return true;
    }
    bool be32(uint32_t& out)
    {
        if (left() < 4)
            return false;
        out = (uint32_t(bytes_[pos_]) << 24) | (uint32_t(bytes_[pos_ + 1]) << 16) |
              (uint32_t(bytes_[pos_ + 2]) << 8) | bytes_[pos_ + 3];
        pos_ += 4;
        return true;
    }
    // A variable-length quantity: at most four bytes, seven bits each.
    bool varLen(uint32_t& out)
    {
        out = 0;
        for (int i = 0; i < 4; ++i) {
            uint8_t b = 0;
            if (!byte(b))
                return false;
            out = (out << 7) | (b & 0x7F);
            if ((b & 0x80) == 0)
                return true;
        }
        return false;
    }
    bool take(size_t n, std::span<const uint8_t>& out)
    {
        if (left() < n)
            return false;
        out = bytes_.subspan(pos_, n);
        pos_ += n;
        return true;
    }

private:
    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
};

std::string decimal(uint64_t v)
{
    return std::to_string(v);
}

std::string hexByte(uint8_t v)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", unsigned(v));
    return text;
}

// Data bytes of a channel message, by its status nibble.
int channelDataBytes(uint8_t status)
{
    switch (status & 0xF0) {
    case 0xC0:
    case 0xD0:
        return 1;
    default:
        return 2;
    }
}

struct TrackResult
{
    std::vector<MidiEvent> events;
    std::vector<TempoChange> tempos;
    std::vector<TimeSignature> signatures;
    int64_t endTick = 0;
};

bool parseTrack(std::span<const uint8_t> body, int trackIndex, TrackResult& out, std::string& error)
{
    Reader in(body);
    const std::string where = "track " + decimal(uint64_t(trackIndex)) + ": ";
    auto fail = [&](const std::string& what) {
        error = where + what + " at byte " + decimal(in.pos()) + " of the track";
        return false;
    };

    int64_t tick = 0;
    uint8_t running = 0; // running status; 0 = none
    while (!in.atEnd()) {
        uint32_t delta = 0;
        if (!in.varLen(delta))
            return fail("truncated or overlong delta time");
        tick += delta;

        uint8_t status = 0;
        if (!in.peek(status))
            return fail("event missing after its delta time");
        if (status & 0x80)
            in.byte(status);
        else if (running == 0)
            return fail("data byte without a running status");
        else
            status = running;

        if (status == 0xFF) {
            running = 0;
            uint8_t type = 0;
            uint32_t length = 0;
            std::span<const uint8_t> data;
            if (!in.byte(type) || !in.varLen(length))
                return fail("truncated meta event");
            if (!in.take(length, data))
                return fail("meta event length " + decimal(length) + " runs past the end of the track");
            if (type == 0x2F) { // end of track; anything after it is ignored
                out.endTick = tick;
                return true;
            }
            if (type == 0x51) {
                if (length < 3)
                    return fail("tempo event shorter than 3 bytes");
                const uint32_t micros = (uint32_t(data[0]) << 16) | (uint32_t(data[1]) << 8) | data[2];
                if (micros == 0)
                    return fail("tempo of 0 microseconds per quarter note");
                out.tempos.push_back({tick, micros});
            } else if (type == 0x58) {
                if (length < 4)
                    return fail("time signature event shorter than 4 bytes");
                if (data[0] == 0 || data[1] > 6)
                    return fail("time signature " + decimal(data[0]) + "/2^" + decimal(data[1]) +
                                " out of range");
                out.signatures.push_back({tick, int(data[0]), 1 << data[1]});
            }
        } else if (status == 0xF0 || status == 0xF7) {
            // System exclusive: skipped, only its length is trusted after checking.
            running = 0;
            uint32_t length = 0;
            std::span<const uint8_t> data;
            if (!in.varLen(length))
                return fail("truncated sysex length");
            if (!in.take(length, data))
                return fail("sysex length " + decimal(length) + " runs past the end of the track");
        } else if (status >= 0xF0) {
            return fail("status byte " + hexByte(status) + " is not allowed in a MIDI file");
        } else {
            running = status;
            MidiEvent event;
            event.tick = tick;
            event.data[0] = status;
            event.size = uint8_t(1 + channelDataBytes(status));
            for (int i = 1; i < event.size; ++i) {
                if (!in.byte(event.data[i]))
                    return fail("channel message cut off");
                if (event.data[i] & 0x80)
                    return fail("data byte with the high bit set");
            }
            out.events.push_back(event);
        }
        out.endTick = tick;
    }
    // A track that ends cleanly between events but lacks its end-of-track
    // event is accepted: the bytes are all accounted for.
    return true;
}

} // namespace

bool parseMidiFile(std::span<const uint8_t> bytes, MidiSong& song, std::string& error)
{
    Reader in(bytes);
    std::span<const uint8_t> tag;
    uint32_t headerLength = 0;
    if (!in.take(4, tag) || !std::equal(tag.begin(), tag.end(), "MThd"))
        return error = "not a MIDI file (no MThd header)", false;
    if (!in.be32(headerLength) || headerLength < 6 || headerLength > in.left())
        return error = "MIDI header length " + decimal(headerLength) + " is invalid", false;
    std::span<const uint8_t> header;
    in.take(headerLength, header);
    Reader head(header);
    uint32_t format = 0, trackCount = 0, division = 0;
    head.be16(format);
    head.be16(trackCount);
    head.be16(division);

    if (format > 1)
        return error = "MIDI file format " + decimal(format) + " is not supported (only 0 and 1)", false;
    if (division & 0x8000)
        return error = "SMPTE time division is not supported", false;
    if (division == 0)
        return error = "time division of 0 ticks per quarter note", false;
    if (trackCount == 0)
        return error = "MIDI file has no tracks", false;
    if (format == 0 && trackCount != 1)
        return error = "format 0 file declares " + decimal(trackCount) + " tracks", false;

    MidiSong result;
    result.format = int(format);
    result.division = int(division);

    uint32_t tracksRead = 0;
    while (tracksRead < trackCount) {
        uint32_t length = 0;
        std::span<const uint8_t> body;
        if (in.left() < 8)
            return error = "file ends after " + decimal(tracksRead) + " of " + decimal(trackCount) +
                           " tracks",
                   false;
        in.take(4, tag);
        in.be32(length);
        if (length > in.left())
            return error = "chunk length " + decimal(length) + " runs past the end of the file (" +
                           decimal(in.left()) + " bytes left)",
                   false;
        in.take(length, body);
        if (!std::equal(tag.begin(), tag.end(), "MTrk"))
            continue; // unknown chunks are skipped, as the format asks

        TrackResult track;
        if (!parseTrack(body, int(tracksRead), track, error))
            return false;
        result.events.insert(result.events.end(), track.events.begin(), track.events.end());
        result.tempos.insert(result.tempos.end(), track.tempos.begin(), track.tempos.end());
        result.signatures.insert(result.signatures.end(), track.signatures.begin(), track.signatures.end());
        result.lengthTicks = std::max(result.lengthTicks, track.endTick);
        ++tracksRead;
    }

    auto byTick = [](const auto& a, const auto& b) { return a.tick < b.tick; };
    std::stable_sort(result.events.begin(), result.events.end(), byTick);
    std::stable_sort(result.tempos.begin(), result.tempos.end(), byTick);
    std::stable_sort(result.signatures.begin(), result.signatures.end(), byTick);
    if (result.tempos.empty() || result.tempos.front().tick != 0)
        result.tempos.insert(result.tempos.begin(), TempoChange{});
    if (result.signatures.empty() || result.signatures.front().tick != 0)
        result.signatures.insert(result.signatures.begin(), TimeSignature{});

    song = std::move(result);
    return true;
}

bool readMidiFile(const std::string& path, MidiSong& song, std::string& error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return error = "cannot open MIDI file " + path, false;
    std::vector<uint8_t> bytes;
    char buffer[65536];
    while (file) {
        file.read(buffer, sizeof buffer);
        const auto got = size_t(file.gcount());
        if (bytes.size() + got > kMaxMidiFileBytes)
            return error = "MIDI file " + path + " is larger than " + decimal(kMaxMidiFileBytes) + " bytes",
                   false;
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    if (file.bad())
        return error = "cannot read MIDI file " + path, false;
    if (!parseMidiFile(bytes, song, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

} // namespace Host
