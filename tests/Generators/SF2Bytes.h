// A builder of SoundFont 2 files for the import tests: instrument zones with
// their generators, sample headers and the sample points, laid out as the
// standard orders them, with switches for the irregular files the importer
// must survive.
#pragma once

#include "SampleFileBytes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace SF2Bytes {

using SampleBytes::le16;
using SampleBytes::le32;

// Generator operators used by the tests.
enum : uint16_t {
    KeyRange = 43,
    VelRange = 44,
    InitialAttenuation = 48,
    CoarseTune = 51,
    FineTune = 52,
    SampleId = 53,
    SampleModes = 54,
    SustainVolEnv = 37,
    AttackVolEnv = 34,
    OverridingRootKey = 58,
    Pan = 17,
};

struct Gen
{
    uint16_t op;
    int16_t amount;
};
inline Gen range(uint16_t op, int lo, int hi)
{
    return {op, static_cast<int16_t>(static_cast<uint16_t>(lo | (hi << 8)))};
}

struct Header
{
    std::string name;
    uint32_t start, end, loopStart, loopEnd, rate;
    uint8_t key = 60;
    int8_t correction = 0;
};

struct Options
{
    bool reversedIds = false;    // pdta sub-chunk identifiers stored byte-reversed
    bool igenBeforeIbag = false; // generators ahead of the zones
    std::string form = "sfbk";
    // The first zone of each instrument, in order; empty: the instrument
    // headers are zero-filled, naming no zone.
    std::vector<uint16_t> instruments;
};

inline std::string chunk(const char* id, const std::string& body, bool reversed = false)
{
    std::string name(id, 4);
    if (reversed)
        name = std::string(name.rbegin(), name.rend());
    return SampleBytes::riffChunk(name.c_str(), body);
}

inline std::string list(const char* type, const std::string& body)
{
    return SampleBytes::riffChunk("LIST", std::string(type, 4) + body);
}

inline std::string headerRecord(const Header& h)
{
    std::string name = h.name.substr(0, 20);
    name.resize(20, '\0');
    return name + le32(h.start) + le32(h.end) + le32(h.loopStart) + le32(h.loopEnd) + le32(h.rate) +
           std::string(1, static_cast<char>(h.key)) + std::string(1, static_cast<char>(h.correction)) + le16(0) +
           le16(1);
}

// zones: the generators of each instrument zone, in file order; samples:
// 16-bit points of the "smpl" chunk.
inline std::string file(const std::vector<std::vector<Gen>>& zones, const std::vector<Header>& headers,
                        const std::string& samples, const Options& o = {})
{
    std::string ibag, igen;
    uint16_t genIndex = 0;
    for (const auto& z : zones) {
        ibag += le16(genIndex) + le16(0);
        for (const Gen& g : z) {
            igen += le16(g.op) + le16(static_cast<uint16_t>(g.amount));
            ++genIndex;
        }
    }
    ibag += le16(genIndex) + le16(0); // terminal
    igen += le16(0) + le16(0);
    std::string shdr;
    for (const Header& h : headers)
        shdr += headerRecord(h);
    shdr += headerRecord({"EOS", 0, 0, 0, 0, 0});

    const bool r = o.reversedIds;
    std::string inst(44, '\0');
    if (!o.instruments.empty()) {
        inst.clear();
        for (uint16_t first : o.instruments)
            inst += std::string(20, 'I') + le16(first);
        inst += std::string(20, '\0') + le16(static_cast<uint16_t>(zones.size())); // terminal
    }
    std::string pdta = chunk("phdr", std::string(38 * 2, '\0'), r) + chunk("pbag", std::string(8, '\0'), r) +
                       chunk("pmod", std::string(10, '\0'), r) + chunk("pgen", std::string(4, '\0'), r) +
                       chunk("inst", inst, r);
    if (o.igenBeforeIbag)
        pdta += chunk("igen", igen, r) + chunk("ibag", ibag, r);
    else
        pdta += chunk("ibag", ibag, r) + chunk("imod", std::string(10, '\0'), r) + chunk("igen", igen, r);
    pdta += chunk("shdr", shdr, r);

    const std::string body = o.form + list("INFO", chunk("ifil", le16(2) + le16(1)) + chunk("INAM", "Test\0", false)) +
                             list("sdta", chunk("smpl", samples)) + list("pdta", pdta);
    return "RIFF" + le32(static_cast<uint32_t>(body.size())) + body;
}

// n points of a ramp, distinct enough to tell which sample a zone got.
inline std::string ramp(int n, int from, int step)
{
    std::string b;
    for (int i = 0; i < n; ++i)
        b += le16(static_cast<uint16_t>(static_cast<int16_t>(from + step * i)));
    return b;
}

} // namespace SF2Bytes
