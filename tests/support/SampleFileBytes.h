// Builders for sample-file fixtures: RIFF/WAVE and AIFF/AIFC files put
// together chunk by chunk, so a test states exactly the bytes it feeds the
// readers (odd sizes with or without their pad byte, chunks in any order,
// sizes that lie).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace SampleBytes {

inline std::string le16(uint16_t v) { return {char(v & 0xFF), char(v >> 8)}; }
inline std::string le32(uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
inline std::string be16(uint16_t v) { return {char(v >> 8), char(v & 0xFF)}; }
inline std::string be32(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

// A RIFF chunk: identifier, little-endian size (the body's, unless given),
// body, and the pad byte of an odd body when pad is set.
inline std::string riffChunk(const char* id, const std::string& body, bool pad = true, int64_t size = -1)
{
    std::string c(id, 4);
    c += le32(size < 0 ? uint32_t(body.size()) : uint32_t(size));
    c += body;
    if (pad && (body.size() & 1))
        c += '\0';
    return c;
}

inline std::string wavFile(const std::string& chunks)
{
    return "RIFF" + le32(uint32_t(4 + chunks.size())) + "WAVE" + chunks;
}

// The body of a plain "fmt " chunk.
inline std::string fmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits)
{
    const uint16_t align = uint16_t(channels * ((bits + 7) / 8));
    return le16(tag) + le16(channels) + le32(rate) + le32(rate * align) + le16(align) + le16(bits);
}

// The body of a WAVE_FORMAT_EXTENSIBLE "fmt " chunk with sub-format tag sub.
inline std::string fmtExtensibleBody(uint16_t sub, uint16_t channels, uint32_t rate, uint16_t bits)
{
    static const char tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, char(0x80),
                                  0x00, 0x00, char(0xAA), 0x00, 0x38, char(0x9B), 0x71};
    return fmtBody(0xFFFE, channels, rate, bits) + le16(22) + le16(bits) + le32(channels == 2 ? 3 : 4) + le16(sub)
         + std::string(tail, 14);
}

// A sampler chunk with the given loops (start, end each).
inline std::string smplBody(uint32_t loops, uint32_t start, uint32_t end)
{
    std::string b(28, '\0');
    b += le32(loops) + le32(0);
    for (uint32_t i = 0; i < loops; ++i)
        b += le32(i) + le32(0) + le32(start) + le32(end) + le32(0) + le32(0);
    return b;
}

inline std::string cueBody(uint32_t id, uint32_t offset)
{
    return le32(1) + le32(id) + le32(0) + "data" + le32(0) + le32(0) + le32(offset);
}

inline std::string plstBody(uint32_t id, uint32_t length)
{
    return le32(1) + le32(id) + le32(length) + le32(1);
}

// An AIFF chunk: identifier, big-endian size, body, pad byte for odd bodies.
inline std::string aiffChunk(const char* id, const std::string& body, int64_t size = -1)
{
    std::string c(id, 4);
    c += be32(size < 0 ? uint32_t(body.size()) : uint32_t(size));
    c += body;
    if (body.size() & 1)
        c += '\0';
    return c;
}

inline std::string formFile(const char* type, const std::string& chunks)
{
    return "FORM" + be32(uint32_t(4 + chunks.size())) + std::string(type, 4) + chunks;
}

// 80-bit extended form of an integer rate: exponent and upper mantissa.
inline std::string rate80(uint32_t rate)
{
    int s = 0;
    while (s < 31 && !(rate & (0x80000000u >> s)))
        ++s;
    return be16(uint16_t(16383 + 31 - s)) + be32(rate << s) + be32(0);
}

// COMM body; AIFC when compression is given (type and an empty name).
inline std::string commBody(uint16_t channels, uint32_t frames, uint16_t bits, uint32_t rate,
                            const char* compression = nullptr)
{
    std::string b = be16(channels) + be32(frames) + be16(bits) + rate80(rate);
    if (compression)
        b += std::string(compression, 4) + std::string(2, '\0');
    return b;
}

inline std::string ssndBody(const std::string& data)
{
    return be32(0) + be32(0) + data;
}

} // namespace SampleBytes
