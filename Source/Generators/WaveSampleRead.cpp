// Reading sample files into a WaveSample_c: WAV (RIFF), AIFF and AIFC, and
// the raw-float D4T/D4U layout. Every size, count and offset a file gives is
// checked against the bytes really present before it is used, so a hostile
// file can neither make the reader allocate more than the file could fill,
// nor read past a buffer, nor walk its chunks in a circle.
//
// Result codes: the frames read, or a negative code naming the step that
// failed (see the comment on each step; SampleCode in WaveSample.h for the
// codes shared with the writers).
#include "WaveSample.h"

#include "Capacities.h"
#include "Part.h"
#include "SampleSource.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint16_t be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint32_t le32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint32_t be32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// An unsigned 16- or 32-bit number in the given byte order; false on a short
// read.
template <class T>
bool readUInt(SampleSource_c& in, T& v, bool bigEndian)
{
    uint8_t b[sizeof(T)];
    if (!in.readAll(b, static_cast<int>(sizeof(T))))
        return false;
    if constexpr (sizeof(T) == 2)
        v = bigEndian ? be16(b) : le16(b);
    else
        v = bigEndian ? be32(b) : le32(b);
    return true;
}
bool readU16(SampleSource_c& in, uint16_t& v, bool bigEndian) { return readUInt(in, v, bigEndian); }
bool readU32(SampleSource_c& in, uint32_t& v, bool bigEndian) { return readUInt(in, v, bigEndian); }

bool skip(SampleSource_c& in, int64_t n)
{
    return in.seek(in.tell() + n);
}

bool isId(const char* id, const char* what)
{
    return std::memcmp(id, what, 4) == 0;
}

// How the samples of a file are stored.
struct Encoding
{
    int width = 2;          // bytes per sample: 1, 2, 3, 4 or 8
    bool isFloat = false;   // IEEE float of 4 or 8 bytes
    bool little = true;     // byte order of integers and floats
    bool unsigned8 = false; // 8-bit WAV data: 128 is zero
};

float decodeOne(const uint8_t* p, const Encoding& e)
{
    if (e.isFloat) {
        float f = 0.0f;
        if (e.width == 4) {
            const uint32_t bits = e.little ? le32(p) : be32(p);
            std::memcpy(&f, &bits, 4);
        } else {
            const uint64_t hi = e.little ? le32(p + 4) : be32(p);
            const uint64_t lo = e.little ? le32(p) : be32(p + 4);
            const uint64_t bits = (hi << 32) | lo;
            double d = 0.0;
            std::memcpy(&d, &bits, 8);
            f = static_cast<float>(d);
        }
        // A NaN or an infinity would poison every filter it reaches.
        return std::isfinite(f) ? f : 0.0f;
    }
    if (e.unsigned8)
        return (static_cast<int>(p[0]) - 128) / 128.0f;
    uint64_t u = 0;
    for (int i = 0; i < e.width; ++i) {
        const uint8_t b = e.little ? p[e.width - 1 - i] : p[i];
        u = (u << 8) | b;
    }
    // Sign-extend from the sample's width.
    const int shift = 64 - 8 * e.width;
    const int64_t v = static_cast<int64_t>(u << shift) >> shift;
    return static_cast<float>(std::ldexp(static_cast<double>(v), -(8 * e.width - 1)));
}

// Reads frames interleaved frames into the planar buffers (right null in
// mono) a block at a time. False on a short read.
bool readFrames(SampleSource_c& in, const Encoding& e, int channels, int64_t frames, float* left, float* right)
{
    const int frameBytes = e.width * channels;
    const int64_t perBlock = std::max<int64_t>(1, 65536 / frameBytes);
    std::vector<uint8_t> block(static_cast<size_t>(perBlock * frameBytes));
    for (int64_t done = 0; done < frames;) {
        const int n = static_cast<int>(std::min(frames - done, perBlock));
        if (!in.readAll(block.data(), n * frameBytes))
            return false;
        for (int i = 0; i < n; ++i) {
            const uint8_t* p = block.data() + static_cast<size_t>(i) * frameBytes;
            left[done + i] = decodeOne(p, e);
            if (right)
                right[done + i] = decodeOne(p + e.width, e);
        }
        done += n;
    }
    return true;
}

// Bytes per sample of a resolution in bits; 0 for one no reader knows.
int sampleWidth(int resolution)
{
    switch (resolution) {
    case 8: return 1;
    case 16: return 2;
    case 24: return 3;
    case 32: return 4;
    case 64: return 8;
    default: return 0;
    }
}

// The rest of the sound once s.left holds n frames: the right channel's
// buffer of a stereo sample, then the frames from where in stands. 0, -164
// when memory fails, shortCode on a short read.
int readSound(SampleSource_c& in, const Encoding& e, WaveSample_c& s, int64_t n, int shortCode)
{
    if (s.channels == 2 && !(s.right = allocSampleMem(static_cast<int>(n))))
        return -164;
    if (!readFrames(in, e, s.channels, n, s.left, s.right))
        return shortCode;
    s.frames = static_cast<int32_t>(n);
    return 0;
}

bool rateAllowed(int64_t rate)
{
    return rate >= 1 && rate <= WaveSample_c::SampleRateLimit;
}

// RIFF chunk identifiers are letters, digits and spaces (the odd writer uses
// '_'); a position that starts with anything else is not a chunk.
bool plausibleChunkAt(SampleSource_c& in, int64_t pos)
{
    if (pos < 0 || pos + 8 > in.size() || !in.seek(pos))
        return false;
    uint8_t id[4];
    if (!in.readAll(id, 4))
        return false;
    if (id[0] == ' ')
        return false;
    for (const uint8_t c : id)
        if (!std::isalnum(c) && c != ' ' && c != '_')
            return false;
    return true;
}

// RIFF chunks of odd size are followed by a pad byte. Files written without
// it exist too, so where the padded position holds no plausible chunk but the
// unpadded one does, the walk goes on from the unpadded one.
int64_t nextRiffChunk(SampleSource_c& in, int64_t unpadded, uint32_t size)
{
    if ((size & 1) == 0)
        return unpadded;
    const int64_t padded = unpadded + 1;
    if (!plausibleChunkAt(in, padded) && plausibleChunkAt(in, unpadded))
        return unpadded;
    return padded;
}

// The tail of the GUID of a WAVE_FORMAT_EXTENSIBLE sub-format whose first two
// bytes are a plain format tag.
constexpr uint8_t ExtensibleGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                            0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr uint16_t TagPCM = 1;
constexpr uint16_t TagFloat = 3;
constexpr uint16_t TagExtensible = 0xFFFE;

// --- Optional WAV chunks: loops and cue points --------------------------------
// A damaged optional chunk (too short for its own header, or with a count
// its bytes cannot hold) is skipped as a whole and gives no loop; it never
// costs the sound. Each reads only within the chunk's bytes that the file
// really holds.

// The bytes of the chunk body at body that the file holds, at most its
// declared size.
int64_t bodyBytes(SampleSource_c& in, int64_t body, uint32_t size)
{
    return std::clamp<int64_t>(in.size() - body, 0, size);
}

// A frame number read from a file as a stored int32 value.
int32_t clampToFrame(uint64_t v)
{
    return static_cast<int32_t>(std::min<uint64_t>(v, INT32_MAX));
}

struct SamplerLoop_t
{
    uint32_t count = 0;          // loops the chunk lists
    uint32_t start = 0, end = 0; // the first loop's frames, its end inclusive
};

// "smpl": 36 header bytes (the loop count at 28), then 24 bytes per loop
// (start at 8, end at 12). False when the chunk is damaged.
bool readSamplerChunk(SampleSource_c& in, int64_t bytes, SamplerLoop_t& loop)
{
    constexpr int Header = 36, PerLoop = 24;
    uint8_t h[Header];
    if (bytes < Header || !in.readAll(h, Header))
        return false;
    loop.count = le32(h + 28);
    if (loop.count > (bytes - Header) / PerLoop)
        return false;
    if (loop.count == 0)
        return true;
    uint8_t l[PerLoop];
    if (!in.readAll(l, PerLoop))
        return false;
    loop.start = le32(l + 8);
    loop.end = le32(l + 12);
    return true;
}

// "cue ": a count, then 24 bytes per point (id at 0, sample offset at 20).
// The first points up to the table's size go to points; their number, 0 when
// the chunk is damaged.
int readCueChunk(SampleSource_c& in, int64_t bytes, WaveSample_c::CuePoint_t* points)
{
    constexpr int PerPoint = 24;
    uint32_t count = 0;
    if (bytes < 4 || !readU32(in, count, false) || count > (bytes - 4) / PerPoint)
        return 0;
    const int n = static_cast<int>(std::min<uint32_t>(count, WaveSample_c::CueTableSize));
    for (int i = 0; i < n; ++i) {
        uint8_t p[PerPoint];
        if (!in.readAll(p, PerPoint))
            return 0;
        points[i] = {static_cast<int32_t>(le32(p)), static_cast<int32_t>(le32(p + 20))};
    }
    return n;
}

// "plst": a count, then 12 bytes per segment (cue id, length, plays). The
// first segment's cue id and length; false when there is none or the chunk
// is damaged.
bool readPlaylistChunk(SampleSource_c& in, int64_t bytes, uint32_t& cueId, uint32_t& length)
{
    constexpr int PerSegment = 12;
    uint32_t count = 0;
    uint8_t seg[PerSegment];
    if (bytes < 4 || !readU32(in, count, false) || count < 1 || count > (bytes - 4) / PerSegment
        || !in.readAll(seg, PerSegment))
        return false;
    cueId = le32(seg);
    length = le32(seg + 4);
    return true;
}

// Opens path for one of the source loaders (load). A file that does not open
// leaves no sample and no loop behind: -5.
template <class Load>
int loadFromPath(WaveSample_c& sample, const Tool::Disk::Path_c& path, Load load)
{
    SampleFileSource_c file;
    if (!file.open(path)) {
        sample.freeSample();
        sample.loopStart = sample.loopEnd = 0;
        return -5;
    }
    return load(file);
}

} // namespace

void WaveSample_c::beginLoad(uint8_t bigEndian)
{
    freeSample();
    // No loop of a previous file may survive into this one.
    loopStart = loopEnd = 0;
    bigEndianFlag = bigEndian;
}

int WaveSample_c::failLoad(int code)
{
    dropData();
    return code;
}

// --- WAV ---------------------------------------------------------------------

int WaveSample_c::loadWAVSample(const Tool::Disk::Path_c& path)
{
    return loadFromPath(*this, path, [this](SampleSource_c& in) { return loadWAVSample(in); });
}

int WaveSample_c::loadWAVSample(SampleSource_c& in)
{
    if (!cueTable)
        cueTable = new CuePoint_t[CueTableSize];
    for (int i = 0; i < CueTableSize; ++i)
        cueTable[i] = CuePoint_t{};
    cueCount = 0;
    beginLoad(0);
    const auto fail = [this](int code) { return failLoad(code); };

    char id[4];
    uint32_t size = 0;
    if (!in.readAll(id, 4))
        return fail(-10);
    if (!isId(id, "RIFF"))
        return fail(-20);
    if (!readU32(in, size, false))
        return fail(-30);
    if (!in.readAll(id, 4))
        return fail(-40);
    if (!isId(id, "WAVE"))
        return fail(-50);

    bool formatSeen = false, dataSeen = false;
    // A sampler chunk's loop end names the last frame the loop plays (as its
    // writers store it); smplLast keeps it until the frame count is known.
    bool smplEnd = false;
    uint32_t smplLast = 0;
    const auto finish = [&]() {
        if (!formatSeen || !dataSeen)
            return fail(-60);
        if (smplEnd) {
            // The loop sampler's end is the frame after the loop: one past
            // the last frame played, but never past the last frame of the
            // sound, which is also the largest loop end a zone stores.
            loopEnd = clampToFrame(std::min<uint64_t>(uint64_t(smplLast) + 1, uint64_t(std::max(frames - 1, 0))));
        }
        return frames;
    };
    Encoding enc;
    int64_t pos = 12;
    for (;;) {
        // The walk ends at the end of the file; a chunk that claims more
        // than is left ends it too.
        if (!in.seek(pos))
            return formatSeen && dataSeen ? finish() : fail(-180);
        if (!in.readAll(id, 4))
            break;
        if (!readU32(in, size, false))
            return fail(-70);
        const int64_t body = pos + 8;
        // Sizes are unsigned: every step moves forward by at least the header.
        const int64_t next = nextRiffChunk(in, body + size, size);
        if (!in.seek(body))
            return formatSeen && dataSeen ? finish() : fail(-180);

        if (isId(id, "fmt ") && !dataSeen) {
            // (A format after the data would describe buffers it did not
            // make; it is passed over.)
            // Every field lies inside the chunk: a format cut short is a
            // damaged file, never the start of the next chunk read as rate
            // or resolution.
            const int64_t fmtBytes = bodyBytes(in, body, size);
            uint16_t tag = 0, ch = 0, align = 0, bits = 0;
            uint32_t rate = 0, byteRate = 0;
            if (fmtBytes < 2 || !readU16(in, tag, false))
                return fail(-80);
            if (tag != TagPCM && tag != TagFloat && tag != TagExtensible)
                return fail(-90);
            if (fmtBytes < 4 || !readU16(in, ch, false))
                return fail(-100);
            if (ch < 1 || ch > 2)
                return fail(-105);
            if (fmtBytes < 8 || !readU32(in, rate, false))
                return fail(-110);
            if (!rateAllowed(rate))
                return fail(SampleCode::BadRate);
            if (fmtBytes < 12 || !readU32(in, byteRate, false))
                return fail(-120);
            if (fmtBytes < 14 || !readU16(in, align, false))
                return fail(-130);
            if (fmtBytes < 16 || !readU16(in, bits, false))
                return fail(-140);
            if (tag == TagExtensible) {
                // The header of current 24-bit and float exports: read like
                // tags 1 and 3 when the sub-format is one of them.
                uint8_t ext[24];
                if (fmtBytes < 40 || !in.readAll(ext, 24))
                    return fail(-90);
                const uint16_t sub = le16(ext + 8);
                if ((sub != TagPCM && sub != TagFloat) || std::memcmp(ext + 10, ExtensibleGuidTail, 14) != 0)
                    return fail(-90);
                tag = sub;
            }
            floatFlag = tag == TagFloat;
            channels = ch;
            sampleRate = static_cast<int32_t>(rate);
            blockAlign = align;
            resolution = bits;
            formatSeen = true;
        } else if (isId(id, "data")) {
            // Data before any format would be decoded with a format that is
            // not this file's.
            if (!formatSeen)
                return fail(-60);
            // Only the first data chunk is audio.
            if (!dataSeen) {
                enc.width = sampleWidth(resolution);
                if (enc.width == 0)
                    return fail(-150);
                if (enc.width == 8 && !floatFlag)
                    return fail(-151);
                if (floatFlag && enc.width != 4 && enc.width != 8)
                    return fail(-150);
                enc.isFloat = floatFlag;
                enc.little = true;
                enc.unsigned8 = !floatFlag && enc.width == 1;
                const int shortCode = channels == 2 ? -171 : -170;
                // Checked before anything is allocated: the file must hold
                // every byte the chunk claims.
                if (static_cast<int64_t>(size) > in.size() - body)
                    return fail(shortCode);
                const int64_t n = static_cast<int64_t>(size) / (channels * enc.width);
                if (n > SampleMemMaxFrames)
                    return fail(-162);
                left = allocSampleMem(static_cast<int>(n));
                if (!left)
                    return fail(-162);
                if (const int code = readSound(in, enc, *this, n, shortCode))
                    return fail(code);
                dataBytes = static_cast<int32_t>(size);
                dataSeen = true;
            }
        } else if (isId(id, "smpl")) {
            // Damaged optional chunks are skipped: the sound still loads.
            SamplerLoop_t loop;
            if (readSamplerChunk(in, bodyBytes(in, body, size), loop)) {
                // Without loops the flag alone is set: the loop points stay.
                hasLoop = 1;
                if (loop.count >= 1) {
                    smplEnd = true;
                    smplLast = loop.end;
                    loopStart = clampToFrame(loop.start);
                }
            }
        } else if (isId(id, "cue ")) {
            CuePoint_t points[CueTableSize];
            const int n = readCueChunk(in, bodyBytes(in, body, size), points);
            for (int i = 0; i < n; ++i)
                storeCuePoint(points[i].id, points[i].position);
        } else if (isId(id, "plst")) {
            uint32_t cueId = 0, length = 0;
            if (readPlaylistChunk(in, bodyBytes(in, body, size), cueId, length) && !hasLoop) {
                // A playlist segment plays length frames from its cue point
                // (from 0 without one): an end one past the last frame played.
                const int64_t at = getCuePointStart(static_cast<int32_t>(cueId));
                loopStart = clampToFrame(static_cast<uint32_t>(at));
                loopEnd = clampToFrame(static_cast<uint64_t>(static_cast<uint32_t>(at)) + length);
                hasLoop = 1;
            }
        }
        pos = next;
    }
    return finish();
}

// --- AIFF and AIFC -------------------------------------------------------------

int WaveSample_c::loadAIFSample(const Tool::Disk::Path_c& path)
{
    return loadFromPath(*this, path, [this](SampleSource_c& in) { return loadAIFSample(in); });
}

int WaveSample_c::loadAIFSample(SampleSource_c& in)
{
    beginLoad(1);
    aifcFlag = 0;
    floatFlag = 0;
    const auto fail = [this](int code) { return failLoad(code); };

    struct Found
    {
        int64_t body = 0;
        uint32_t size = 0;
        bool found = false;
    } comm, ssnd, inst, mark;

    int64_t pos = 0;
    char id[4];
    uint32_t size = 0;
    while (pos < in.size()) {
        if (!in.seek(pos))
            return fail(-60);
        // A few stray bytes at the end of the file are no chunk.
        if (!in.readAll(id, 4))
            break;
        if (!readU32(in, size, true))
            return fail(-70);
        if (isId(id, "FORM")) {
            char form[4];
            if (!in.readAll(form, 4))
                return fail(-75);
            if (isId(form, "AIFC"))
                aifcFlag = 1;
            else if (!isId(form, "AIFF"))
                return fail(-80);
            // The walk goes on inside the form.
            pos += 12;
            continue;
        }
        Found* f = isId(id, "COMM") ? &comm : isId(id, "SSND") ? &ssnd : isId(id, "INST") ? &inst
                 : isId(id, "MARK") ? &mark : nullptr;
        if (f)
            *f = {pos + 8, size, true};
        // Unsigned size plus the header and the pad byte of an odd size:
        // always a step forward.
        pos += 8 + static_cast<int64_t>(size) + (size & 1);
    }

    if (!comm.found || !ssnd.found || comm.size == 0 || ssnd.size == 0)
        return fail(-6);
    if (comm.size < 18)
        return fail(-90);
    if (aifcFlag && comm.size == 18)
        aifcFlag = 0;
    else if (!aifcFlag && comm.size >= 23)
        aifcFlag = 1;

    if (!in.seek(comm.body))
        return fail(-91);
    uint16_t ch = 0, bits = 0, exponent = 0;
    uint32_t n = 0, mantissa = 0;
    if (!readU16(in, ch, true))
        return fail(-100);
    if (ch < 1 || ch > 2)
        return fail(-105);
    if (!readU32(in, n, true))
        return fail(-107);
    if (!readU16(in, bits, true))
        return fail(-110);
    if (!readU16(in, exponent, true))
        return fail(-310);
    if (!readU32(in, mantissa, true))
        return fail(-320);
    // The 80-bit rate from its exponent and the upper 32 mantissa bits:
    // rate = mantissa * 2^(exponent - 16383 - 31). A set sign, the
    // all-ones exponent of infinities and NaNs, and rates outside the
    // accepted range are refused.
    {
        const int e = static_cast<int>(exponent & 0x7FFF) - 16383 - 31;
        if ((exponent & 0x8000) || (exponent & 0x7FFF) == 0x7FFF || e > 0)
            return fail(SampleCode::BadRate);
        const double rate = e < -63 ? 0.0 : std::floor(std::ldexp(static_cast<double>(mantissa), e));
        if (!rateAllowed(static_cast<int64_t>(rate)))
            return fail(SampleCode::BadRate);
        sampleRate = static_cast<int32_t>(rate);
    }
    channels = ch;
    resolution = bits;
    Encoding enc;
    enc.little = false;
    if (aifcFlag) {
        char type[4];
        if (!skip(in, 4))
            return fail(-330);
        if (!in.readAll(type, 4))
            return fail(-335);
        if (isId(type, "NONE") || isId(type, "twos")) {
        } else if (isId(type, "sowt")) {
            enc.little = true;
        } else if (isId(type, "in24")) {
            resolution = 24;
        } else if (isId(type, "in32")) {
            resolution = 32;
        } else if (isId(type, "23ni")) {
            resolution = 32;
            enc.little = true;
        } else if (isId(type, "fl32")) {
            resolution = 32;
            enc.isFloat = true;
        } else if (isId(type, "fl64")) {
            resolution = 64;
            enc.isFloat = true;
        } else {
            return fail(-340);
        }
    }
    floatFlag = enc.isFloat;
    bigEndianFlag = !enc.little;

    if (!in.seek(ssnd.body))
        return fail(-92);
    uint32_t offset = 0, blockSize = 0;
    if (!readU32(in, offset, true))
        return fail(-210);
    if (!readU32(in, blockSize, true))
        return fail(-220);
    enc.width = sampleWidth(resolution);
    if (enc.width == 0)
        return fail(-150);
    const int shortCode = channels == 2 ? -171 : -170;
    const int64_t bytes = static_cast<int64_t>(channels) * n * enc.width;
    // The sound lies inside the SSND chunk, after its offset; the frame count
    // is checked against what the chunk and the file really hold before
    // anything is allocated.
    const int64_t dataStart = ssnd.body + 8 + offset;
    const int64_t chunkEnd = std::min<int64_t>(ssnd.body + ssnd.size, in.size());
    if (dataStart > in.size())
        return fail(-165);
    if (bytes > chunkEnd - dataStart)
        return fail(shortCode);
    if (n > static_cast<uint32_t>(SampleMemMaxFrames))
        return fail(-162);
    left = allocSampleMem(static_cast<int>(n));
    if (!left)
        return fail(-162);
    if (!in.seek(dataStart))
        return fail(-165);
    if (const int code = readSound(in, enc, *this, n, shortCode))
        return fail(code);
    dataBytes = static_cast<int32_t>(bytes);

    // The sustain loop: INST names two markers, MARK gives their positions.
    // Both are optional: a damaged one gives no loop and the sound stays.
    if (inst.found && inst.size == 20 && mark.found)
        readSustainLoop(in, inst.body, mark.body, bodyBytes(in, mark.body, mark.size));
    return frames;
}

void WaveSample_c::readSustainLoop(SampleSource_c& in, int64_t instBody, int64_t markBody, int64_t markBytes)
{
    uint8_t instrument[20];
    if (!in.seek(instBody) || !in.readAll(instrument, 20))
        return;
    const uint16_t playMode = be16(instrument + 8);
    if (playMode != 1 && playMode != 2)
        return;
    const int beginId = be16(instrument + 10);
    const int endId = be16(instrument + 12);
    // The markers are read whole from the chunk's own bytes: a count they
    // cannot hold marks the chunk as damaged.
    // (65535 markers of the longest name fill at most MaxMarkBytes.)
    constexpr int64_t MaxMarkBytes = 2 + 65535 * (6 + 256);
    markBytes = std::min(markBytes, MaxMarkBytes);
    std::vector<uint8_t> m(static_cast<size_t>(std::max<int64_t>(markBytes, 0)));
    if (markBytes < 2 || !in.seek(markBody) || !in.readAll(m.data(), static_cast<int>(markBytes)))
        return;
    const int count = be16(m.data());
    if (count < 2)
        return;
    int32_t begin = -1, end = -1;
    size_t at = 2;
    for (int i = 0; i < count; ++i) {
        // id, position, then a name of one length byte plus text, padded to
        // an even total.
        if (at + 7 > m.size())
            return;
        const int markerId = be16(&m[at]);
        const int32_t position = static_cast<int32_t>(be32(&m[at + 2]));
        const size_t nameBytes = m[at + 6] + 1u;
        at += 6 + nameBytes + (nameBytes & 1);
        if (at > m.size())
            return;
        if (position >= 0 && markerId == beginId)
            begin = position;
        if (position >= 0 && markerId == endId)
            end = position;
    }
    if (begin >= 0 && end >= 0) {
        loopStart = begin;
        loopEnd = end;
        hasLoop = 1;
    }
}

// --- D4T and D4U ---------------------------------------------------------------

int WaveSample_c::loadD4TSample(const Tool::Disk::Path_c& path)
{
    return loadFromPath(*this, path, [this](SampleSource_c& in) { return loadD4TSample(in); });
}

int WaveSample_c::loadD4TSample(SampleSource_c& in)
{
    beginLoad(0);
    const auto fail = [this](int code) { return failLoad(code); };
    uint8_t h[D4THeaderBytes];
    // A header cut short gives the code of a failed first read.
    if (!in.readAll(h, D4THeaderBytes))
        return fail(-10);
    const int ch = h[12];
    if (ch < 1 || ch > 2)
        return fail(-105);
    const int64_t payload = h[8] * int64_t(1000000) + h[9] * 10000 + h[10] * 100 + h[11];
    const int64_t rate = h[13] * int64_t(10000) + h[14] * 100 + h[15];
    if (!rateAllowed(rate))
        return fail(SampleCode::BadRate);
    const int64_t n = payload / (ch * 4);
    const int shortCode = ch == 2 ? -171 : -170;
    if (n * ch * 4 > in.size() - D4THeaderBytes)
        return fail(shortCode);
    channels = static_cast<uint16_t>(ch);
    resolution = 24;
    sampleRate = static_cast<int32_t>(rate);
    left = allocSampleMem(static_cast<int>(n));
    if (!left)
        return fail(-162);
    if (ch == 2 && !(right = allocSampleMem(static_cast<int>(n))))
        return fail(-164);
    Encoding enc;
    enc.width = 4;
    enc.isFloat = true;
    // Planar: all of the left channel, then all of the right one.
    if (!readFrames(in, enc, 1, n, left, nullptr) || (right && !readFrames(in, enc, 1, n, right, nullptr)))
        return fail(shortCode);
    frames = static_cast<int32_t>(n);
    dataBytes = static_cast<int32_t>(n * ch * 4);
    return frames;
}

// --- By extension ------------------------------------------------------------

bool WaveSample_c::setSample(const Tool::Disk::Path_c& path)
{
    return loadSampleFile(path) >= 1;
}

int WaveSample_c::loadSampleFile(const Tool::Disk::Path_c& path)
{
    freeSample();
    const Vdx::String_c ext = path.getExt();
    int result = 0;
    if (ext.compare(Vdx::String_c("WAV"), false) == 0) {
        result = loadWAVSample(path);
        delete[] cueTable;
        cueTable = nullptr;
        cueCount = 0;
    } else if (ext.compare(Vdx::String_c("D4T"), false) == 0) {
        result = loadD4TSample(path);
    } else if (ext.compare(Vdx::String_c("D4U"), false) == 0) {
        result = loadD4TSample(path);
        jFlag = 1;
    } else {
        result = loadAIFSample(path);
    }
    reversedFlag = 0;
    if (result < 1) {
        // Nothing of a failed or empty load stays; a D4U file still tells
        // that its data would have been in J form.
        const uint8_t j = jFlag;
        dropData();
        jFlag = j;
        return result;
    }
    info.setFilename(path);
    return result;
}
