// Hand-made Standard MIDI File images for the host's tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace SmfBytes {

using Bytes = std::vector<uint8_t>;

inline Bytes header(int format, int tracks, int division)
{
    return {'M', 'T', 'h', 'd', 0, 0, 0, 6, uint8_t(format >> 8), uint8_t(format), uint8_t(tracks >> 8),
            uint8_t(tracks), uint8_t(division >> 8), uint8_t(division)};
}

// A chunk with the given tag; length is the body's size unless forced.
inline Bytes chunk(const char* tag, const Bytes& body, int64_t forcedLength = -1)
{
    const uint32_t n = forcedLength >= 0 ? uint32_t(forcedLength) : uint32_t(body.size());
    Bytes out = {uint8_t(tag[0]), uint8_t(tag[1]), uint8_t(tag[2]), uint8_t(tag[3]),
                 uint8_t(n >> 24),    uint8_t(n >> 16),    uint8_t(n >> 8),     uint8_t(n)};
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

inline Bytes track(const Bytes& body, int64_t forcedLength = -1)
{
    return chunk("MTrk", body, forcedLength);
}

inline Bytes join(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline const Bytes kEndOfTrack = {0x00, 0xFF, 0x2F, 0x00};

} // namespace SmfBytes
