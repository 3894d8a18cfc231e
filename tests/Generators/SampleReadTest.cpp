#include "SampleFileBytes.h"
#include "SampleSource.h"
#include "TestSupport.h"
#include "WaveSample.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

using namespace SampleBytes;
using Tool::Disk::Path_c;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

struct Decoded
{
    int channels = 0;
    int rate = 0;
    std::vector<float> left, right;
};

// libsndfile's reading of a file, as the reference.
bool referenceDecode(const std::string& path, Decoded& d)
{
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f)
        return false;
    std::vector<float> all(static_cast<size_t>(info.frames * info.channels));
    const sf_count_t got = sf_readf_float(f, all.data(), info.frames);
    sf_close(f);
    d.channels = info.channels;
    d.rate = info.samplerate;
    for (sf_count_t i = 0; i < got; ++i) {
        d.left.push_back(all[size_t(i * info.channels)]);
        if (info.channels == 2)
            d.right.push_back(all[size_t(i * info.channels + 1)]);
    }
    return true;
}

enum class Box { Wav, WavExtensible, Aiff, Aifc };

struct Encoding
{
    const char* what;
    Box box;
    uint16_t tagOrBits; // WAV tag (sub-format for extensible); unused for AIFF
    const char* compression; // AIFC only
    uint16_t bits;
    bool isFloat;
    bool little;
};

// Raw sample bytes for frames * channels samples: random codes for integer
// encodings (every code is legal), values within -1..1 for floats.
std::string rawSamples(const Encoding& e, int samples, std::mt19937& rng)
{
    const int width = e.bits / 8;
    std::string raw;
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int i = 0; i < samples; ++i) {
        uint8_t b[8] = {};
        if (e.isFloat) {
            const double v = i == 0 ? 1.0 : i == 1 ? -1.0 : unit(rng);
            if (width == 4) {
                const float f = static_cast<float>(v);
                std::memcpy(b, &f, 4);
            } else {
                std::memcpy(b, &v, 8);
            }
            if (!e.little) // the machine is little-endian
                std::reverse(b, b + width);
        } else {
            for (int k = 0; k < width; ++k)
                b[k] = static_cast<uint8_t>(rng());
        }
        raw.append(reinterpret_cast<char*>(b), static_cast<size_t>(width));
    }
    return raw;
}

std::string buildFile(const Encoding& e, int channels, int frames, uint32_t rate, const std::string& raw)
{
    switch (e.box) {
    case Box::Wav:
        return wavFile(riffChunk("fmt ", fmtBody(e.tagOrBits, uint16_t(channels), rate, e.bits)) + riffChunk("data", raw));
    case Box::WavExtensible:
        return wavFile(riffChunk("fmt ", fmtExtensibleBody(e.tagOrBits, uint16_t(channels), rate, e.bits))
                       + riffChunk("data", raw));
    case Box::Aiff:
        return formFile("AIFF", aiffChunk("COMM", commBody(uint16_t(channels), uint32_t(frames), e.bits, rate))
                                    + aiffChunk("SSND", ssndBody(raw)));
    case Box::Aifc:
        return formFile("AIFC", aiffChunk("FVER", be32(0xA2805140))
                                    + aiffChunk("COMM", commBody(uint16_t(channels), uint32_t(frames), e.bits, rate,
                                                                 e.compression))
                                    + aiffChunk("SSND", ssndBody(raw)));
    }
    return {};
}

} // namespace

// Every encoding the readers take, mono and stereo, decoded sample for sample
// as libsndfile decodes the same file: within half an LSB for integer data up
// to 24 bits, within float rounding for 32-bit integers and floats.
TEST(SampleRead, EncodingsMatchReference)
{
    const Encoding encodings[] = {
        {"WAV 8-bit unsigned", Box::Wav, 1, nullptr, 8, false, true},
        {"WAV 16-bit", Box::Wav, 1, nullptr, 16, false, true},
        {"WAV 24-bit", Box::Wav, 1, nullptr, 24, false, true},
        {"WAV 32-bit", Box::Wav, 1, nullptr, 32, false, true},
        {"WAV float 32", Box::Wav, 3, nullptr, 32, true, true},
        {"WAV float 64", Box::Wav, 3, nullptr, 64, true, true},
        {"WAV extensible 24-bit", Box::WavExtensible, 1, nullptr, 24, false, true},
        {"WAV extensible float", Box::WavExtensible, 3, nullptr, 32, true, true},
        {"AIFF 8-bit", Box::Aiff, 0, nullptr, 8, false, false},
        {"AIFF 16-bit", Box::Aiff, 0, nullptr, 16, false, false},
        {"AIFF 24-bit", Box::Aiff, 0, nullptr, 24, false, false},
        {"AIFF 32-bit", Box::Aiff, 0, nullptr, 32, false, false},
        {"AIFC NONE", Box::Aifc, 0, "NONE", 16, false, false},
        {"AIFC twos", Box::Aifc, 0, "twos", 16, false, false},
        {"AIFC sowt", Box::Aifc, 0, "sowt", 16, false, true},
        {"AIFC in24", Box::Aifc, 0, "in24", 24, false, false},
        {"AIFC in32", Box::Aifc, 0, "in32", 32, false, false},
        {"AIFC 23ni", Box::Aifc, 0, "23ni", 32, false, true},
        {"AIFC fl32", Box::Aifc, 0, "fl32", 32, true, false},
        {"AIFC fl64", Box::Aifc, 0, "fl64", 64, true, false},
    };
    TempDir dir;
    std::mt19937 rng(1234);
    constexpr int Frames = 257; // odd, so 8- and 24-bit mono data needs its pad byte
    for (const Encoding& e : encodings) {
        for (int channels : {1, 2}) {
            SCOPED_TRACE(std::string(e.what) + (channels == 2 ? " stereo" : " mono"));
            const std::string raw = rawSamples(e, Frames * channels, rng);
            const bool wav = e.box == Box::Wav || e.box == Box::WavExtensible;
            const std::string path = dir.file(wav ? "take.wav" : "take.aif");
            writeFile(path, buildFile(e, channels, Frames, 48000, raw));

            Decoded ref;
            ASSERT_TRUE(referenceDecode(path, ref));
            ASSERT_EQ(ref.left.size(), size_t(Frames));

            WaveSample_c s;
            ASSERT_TRUE(s.setSample(Path_c(path.c_str())));
            EXPECT_EQ(s.frames, Frames);
            EXPECT_EQ(s.channels, channels);
            EXPECT_EQ(s.sampleRate, 48000);
            EXPECT_EQ(s.resolution, e.bits);
            EXPECT_EQ(s.floatFlag != 0, e.isFloat);
            ASSERT_EQ(s.right != nullptr, channels == 2);
            const float tolerance = !e.isFloat && e.bits <= 24 ? std::ldexp(1.0f, -e.bits) : 1e-6f;
            for (int i = 0; i < Frames; ++i) {
                ASSERT_NEAR(s.left[i], ref.left[size_t(i)], tolerance) << "left frame " << i;
                if (channels == 2) {
                    ASSERT_NEAR(s.right[i], ref.right[size_t(i)], tolerance) << "right frame " << i;
                }
            }
        }
    }
}

namespace {

struct WalkCase
{
    const char* what;
    std::string bytes;
    int result;            // frames or code
    int hasLoop = 0;
    int loopStart = 0, loopEnd = 0;
};

const std::string Mono16(20, '\x10'); // 10 frames of 16-bit mono
const std::string Fmt16 = riffChunk("fmt ", fmtBody(1, 1, 44100, 16));
const std::string Data16 = riffChunk("data", Mono16);

// first, when given, is the value the sound's first frame must decode to.
void checkWalk(const WalkCase& c, bool aiff, float first = NAN)
{
    SCOPED_TRACE(c.what);
    WaveSample_c s;
    // A loop left over from an earlier file must not survive any load.
    s.loopStart = 77;
    s.loopEnd = 99;
    SampleMemorySource_c in(c.bytes.data(), c.bytes.size());
    const int r = aiff ? s.loadAIFSample(in) : s.loadWAVSample(in);
    EXPECT_EQ(r, c.result);
    EXPECT_EQ(s.hasLoop, c.hasLoop);
    EXPECT_EQ(s.loopStart, c.loopStart);
    EXPECT_EQ(s.loopEnd, c.loopEnd);
    if (r < 0) {
        // Nothing of a failed load stays allocated.
        EXPECT_EQ(s.left, nullptr);
        EXPECT_EQ(s.right, nullptr);
        EXPECT_EQ(s.frames, 0);
    } else {
        EXPECT_EQ(s.frames, r);
        if (!std::isnan(first) && s.left) {
            EXPECT_NEAR(s.left[0], first, 1e-7f);
        }
    }
}

} // namespace

TEST(SampleRead, WavChunkWalk)
{
    const std::string oddList = riffChunk("LIST", std::string(13, 'x'));
    const std::string oddListUnpadded = riffChunk("LIST", std::string(13, 'x'), false);
    // Frames 2..6 loop: the stored end names the last frame played.
    const std::string loop = riffChunk("smpl", smplBody(1, 2, 6));
    const WalkCase cases[] = {
        {"plain file, no loop", wavFile(Fmt16 + Data16), 10},
        {"sampler loop after an odd chunk with its pad byte", wavFile(Fmt16 + Data16 + oddList + loop), 10, 1, 2, 7},
        {"sampler loop after an odd chunk written without pad byte", wavFile(Fmt16 + Data16 + oddListUnpadded + loop), 10, 1, 2, 7},
        {"sampler chunk without loops sets the flag, the playlist is ignored",
         wavFile(Fmt16 + Data16 + riffChunk("smpl", smplBody(0, 0, 0)) + riffChunk("cue ", cueBody(7, 3))
                 + riffChunk("plst", plstBody(7, 5))), 10, 1, 0, 0},
        {"cue point and playlist", wavFile(Fmt16 + Data16 + riffChunk("cue ", cueBody(7, 1000)) + riffChunk("plst", plstBody(7, 500))),
         10, 1, 1000, 1500},
        {"playlist naming no cue point", wavFile(Fmt16 + Data16 + riffChunk("cue ", cueBody(3, 1000)) + riffChunk("plst", plstBody(7, 500))),
         10, 1, 0, 500},
        {"extensible with a PCM sub-format", wavFile(riffChunk("fmt ", fmtExtensibleBody(1, 1, 44100, 16)) + Data16), 10},
        {"extensible with a mu-law sub-format", wavFile(riffChunk("fmt ", fmtExtensibleBody(7, 1, 44100, 16)) + Data16), -90},
        {"format tag 7 (mu-law)", wavFile(riffChunk("fmt ", fmtBody(7, 1, 44100, 8)) + Data16), -90},
        {"three channels", wavFile(riffChunk("fmt ", fmtBody(1, 3, 44100, 16)) + Data16), -105},
        {"12-bit resolution", wavFile(riffChunk("fmt ", fmtBody(1, 1, 44100, 12)) + Data16), -150},
        {"64-bit integers", wavFile(riffChunk("fmt ", fmtBody(1, 1, 44100, 64)) + Data16), -151},
        {"sample rate 0", wavFile(riffChunk("fmt ", fmtBody(1, 1, 0, 16)) + Data16), SampleCode::BadRate},
        {"sample rate above 1 MHz", wavFile(riffChunk("fmt ", fmtBody(1, 1, 1000001, 16)) + Data16), SampleCode::BadRate},
        {"data before fmt", wavFile(Data16 + Fmt16), -60},
        {"no data chunk", wavFile(Fmt16), -60},
        {"not RIFF", "RIFX" + wavFile(Fmt16 + Data16).substr(4), -20},
        {"not WAVE", wavFile(Fmt16).replace(8, 4, "AVI "), -50},
        {"size word 0xFFFFFFF8 after the data", wavFile(Fmt16 + Data16 + riffChunk("junk", "abcd", true, 0xFFFFFFF8)), 10},
        {"size word 0xFFFFFFF8 before the data", wavFile(Fmt16 + riffChunk("junk", "abcd", true, 0xFFFFFFF8) + Data16), -180},
        {"mono data larger than the file", wavFile(Fmt16 + riffChunk("data", Mono16, true, 0x7FFFFFF0)), -170},
        {"stereo data larger than the file",
         wavFile(riffChunk("fmt ", fmtBody(1, 2, 44100, 16)) + riffChunk("data", Mono16, true, 0x7FFFFFF0)), -171},
        {"data cut short by one byte", wavFile(Fmt16 + riffChunk("data", Mono16, true, 21)), -170},
        {"chunk size cut off", wavFile(Fmt16 + Data16 + "smpl" + "\x01\x00"), -70},
    };
    for (const WalkCase& c : cases)
        checkWalk(c, false);
}

// Loops, cue points and markers are optional: a damaged one (too short for
// its own header, or with a count its bytes cannot hold) is skipped and gives
// no loop, and the sound loads. Damaged format and sound chunks are still
// refused (these tables and the walk tables above).
TEST(SampleRead, DamagedOptionalChunksAreSkipped)
{
    const auto withCount = [](std::string body, uint32_t count, size_t at) { return body.replace(at, 4, le32(count)); };
    const std::string cue = riffChunk("cue ", cueBody(7, 3));
    const std::string plst = riffChunk("plst", plstBody(7, 5));
    const WalkCase wavCases[] = {
        {"sampler chunk shorter than its header", wavFile(Fmt16 + Data16 + riffChunk("smpl", std::string(20, '\0'))), 10},
        {"sampler chunk before the data, shorter than its header",
         wavFile(Fmt16 + riffChunk("smpl", std::string(20, '\0')) + Data16), 10},
        {"sampler loop count beyond the chunk",
         wavFile(Fmt16 + Data16 + riffChunk("smpl", withCount(smplBody(1, 2, 6), 3, 28))), 10},
        {"sampler chunk cut off by the end of the file", wavFile(Fmt16 + Data16 + "smpl" + le32(60) + std::string(30, '\0')), 10},
        {"cue chunk shorter than its count, then a playlist",
         wavFile(Fmt16 + Data16 + riffChunk("cue ", std::string(2, '\1')) + plst), 10, 1, 0, 5},
        {"cue count beyond the chunk, then a playlist",
         wavFile(Fmt16 + Data16 + riffChunk("cue ", withCount(cueBody(7, 3), 1000, 0)) + plst), 10, 1, 0, 5},
        {"cue point and a playlist whose count is beyond the chunk",
         wavFile(Fmt16 + Data16 + cue + riffChunk("plst", withCount(plstBody(7, 5), 9, 0))), 10},
        {"cue point and playlist intact", wavFile(Fmt16 + cue + plst + Data16), 10, 1, 3, 8},
        {"sampler loop ending at the last frame: clamped to it", wavFile(Fmt16 + Data16 + riffChunk("smpl", smplBody(1, 2, 9))), 10, 1, 2, 9},
        {"format chunk cut short (required: refused)", wavFile(riffChunk("fmt ", fmtBody(1, 1, 44100, 16).substr(0, 12)) + Data16), -130},
    };
    for (const WalkCase& c : wavCases)
        checkWalk(c, false, 0x1010 / 32768.0f);

    const std::string comm = aiffChunk("COMM", commBody(1, 10, 16, 44100));
    const std::string ssnd = aiffChunk("SSND", ssndBody(std::string(20, '\x20')));
    const std::string inst = aiffChunk("INST", std::string(8, '\0') + be16(1) + be16(1) + be16(2) + std::string(6, '\0'));
    const std::string markers = be16(1) + be32(2) + "\x03" "beg" + be16(2) + be32(9) + "\x02" "en" + '\0';
    const WalkCase aiffCases[] = {
        {"markers and sustain loop intact", formFile("AIFF", comm + inst + aiffChunk("MARK", be16(2) + markers) + ssnd), 10, 1, 2, 9},
        {"INST cut off by the end of the file",
         formFile("AIFF", comm + aiffChunk("MARK", be16(2) + markers) + ssnd + "INST" + be32(20) + std::string(10, '\0')), 10},
        {"marker count beyond the MARK chunk", formFile("AIFF", comm + inst + aiffChunk("MARK", be16(5) + markers) + ssnd), 10},
        {"MARK shorter than its count", formFile("AIFF", comm + inst + aiffChunk("MARK", "\x01") + ssnd), 10},
        {"SSND cut short (required: refused)", formFile("AIFF", comm + aiffChunk("SSND", ssndBody(std::string(12, '\x20')))), -170},
    };
    for (const WalkCase& c : aiffCases)
        checkWalk(c, true, 0x2020 / 32768.0f);
}

TEST(SampleRead, WavSpecialValues)
{
    // NaN and infinities become silence; a later chunk is never audio.
    const float values[4] = {0.5f, NAN, INFINITY, -INFINITY};
    std::string raw(reinterpret_cast<const char*>(values), sizeof values);
    const std::string bytes = wavFile(riffChunk("fmt ", fmtBody(3, 1, 44100, 32)) + riffChunk("data", raw)
                                      + riffChunk("LIST", std::string(64, '\x7f')));
    WaveSample_c s;
    SampleMemorySource_c in(bytes.data(), bytes.size());
    ASSERT_EQ(s.loadWAVSample(in), 4);
    EXPECT_EQ(s.left[0], 0.5f);
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(s.left[i], 0.0f) << i;
    // The slack after the data is zero, not the following chunk.
    EXPECT_EQ(s.left[4], 0.0f);
}

TEST(SampleRead, AiffChunkWalk)
{
    const std::string raw(20, '\x20');
    const std::string comm = aiffChunk("COMM", commBody(1, 10, 16, 44100));
    const std::string ssnd = aiffChunk("SSND", ssndBody(raw));
    const auto inst = [](uint16_t mode, uint16_t begin, uint16_t end) {
        std::string b(8, '\0');
        b += be16(mode) + be16(begin) + be16(end) + std::string(6, '\0');
        return aiffChunk("INST", b);
    };
    // Markers 1 at 2 and 2 at 9, names of odd and even length.
    const std::string mark = aiffChunk("MARK", be16(2) + be16(1) + be32(2) + "\x03" "beg" + be16(2) + be32(9) + "\x02" "en" + '\0');
    std::string badRate = formFile("AIFF", comm + ssnd);
    badRate[8 + 4 + 8 + 8] = '\x7F'; // exponent 0x7FFF...: an infinite rate
    badRate[8 + 4 + 8 + 9] = '\xFF';
    const WalkCase cases[] = {
        {"plain AIFF", formFile("AIFF", comm + ssnd), 10},
        {"odd-sized chunk before SSND (pad byte honoured)", formFile("AIFF", comm + aiffChunk("ANNO", "odd") + ssnd), 10},
        {"sustain loop from INST and MARK", formFile("AIFF", comm + inst(1, 1, 2) + mark + ssnd), 10, 1, 2, 9},
        {"INST without a loop play mode", formFile("AIFF", comm + inst(0, 1, 2) + mark + ssnd), 10},
        {"AIFC mu-law", formFile("AIFC", aiffChunk("COMM", commBody(1, 10, 16, 44100, "ulaw")) + ssnd), -340},
        {"AIFC with an 18-byte COMM reads as AIFF", formFile("AIFC", comm + ssnd), 10},
        {"frame count larger than the file", formFile("AIFF", aiffChunk("COMM", commBody(1, 0x7FFFFFF0, 16, 44100)) + ssnd), -170},
        {"stereo frame count beyond the SSND chunk",
         formFile("AIFF", aiffChunk("COMM", commBody(2, 6, 16, 44100)) + ssnd + aiffChunk("APPL", std::string(64, 'x'))), -171},
        {"infinite sample rate", badRate, SampleCode::BadRate},
        {"no SSND", formFile("AIFF", comm), -6},
        {"COMM of 16 bytes", formFile("AIFF", aiffChunk("COMM", std::string(16, '\0')) + ssnd), -90},
        {"form type neither AIFF nor AIFC", formFile("WAVE", comm + ssnd), -80},
        {"size word 0xFFFFFFF8", formFile("AIFF", comm + ssnd + aiffChunk("junk", "abcd", 0xFFFFFFF8)), 10},
        {"channels 0", formFile("AIFF", aiffChunk("COMM", commBody(0, 10, 16, 44100)) + ssnd), -105},
        {"20 bits", formFile("AIFF", aiffChunk("COMM", commBody(1, 10, 20, 44100)) + ssnd), -150},
    };
    for (const WalkCase& c : cases)
        checkWalk(c, true);

    // The rate of a common file: exponent 0x400E, mantissa 0xAC44000000000000.
    WaveSample_c s;
    const std::string plain = formFile("AIFF", comm + ssnd);
    SampleMemorySource_c in(plain.data(), plain.size());
    ASSERT_EQ(s.loadAIFSample(in), 10);
    EXPECT_EQ(s.sampleRate, 44100);
    EXPECT_NEAR(s.left[0], 0x2020 / 32768.0f, 1e-7f);
}

TEST(SampleRead, D4TRoundTripAndHeader)
{
    TempDir dir;
    WaveSample_c s;
    float *l = nullptr, *r = nullptr;
    ASSERT_TRUE(s.getBufferFor(100, 2, &l, &r));
    for (int i = 0; i < 100; ++i) {
        l[i] = std::sin(i * 0.1f);
        r[i] = -0.5f + i * 0.01f;
    }
    s.sampleRate = 44100;
    const std::string path = dir.file("x.d4t");
    ASSERT_EQ(s.saveD4TSample(Path_c(path.c_str())), 100);

    const std::string bytes = TestSupport::readFile(path);
    ASSERT_EQ(bytes.size(), 40u + 800u);
    const uint8_t expected[8] = {0, 0, 8, 0, 2, 4, 41, 0};
    EXPECT_EQ(std::memcmp(bytes.data() + 8, expected, 8), 0);
    EXPECT_EQ(bytes.substr(0, 8), std::string(8, '\0'));
    EXPECT_EQ(bytes.substr(16, 24), std::string(24, '\0'));

    WaveSample_c back;
    ASSERT_TRUE(back.setSample(Path_c(path.c_str())));
    EXPECT_EQ(back.frames, 100);
    EXPECT_EQ(back.channels, 2);
    EXPECT_EQ(back.sampleRate, 44100);
    EXPECT_EQ(back.resolution, 24);
    EXPECT_EQ(back.jFlag, 0);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(back.left[i], l[i]);
        EXPECT_EQ(back.right[i], r[i]);
    }

    // The same bytes under D4U are taken as J data.
    const std::string upath = dir.file("x.D4U");
    writeFile(upath, bytes);
    WaveSample_c j;
    ASSERT_TRUE(j.setSample(Path_c(upath.c_str())));
    EXPECT_EQ(j.jFlag, 1);
}

TEST(SampleRead, D4TRefusals)
{
    const auto header = [](int payload, int channels, int rate) {
        std::string h(40, '\0');
        h[8] = char(payload / 1000000);
        h[9] = char(payload % 1000000 / 10000);
        h[10] = char(payload % 10000 / 100);
        h[11] = char(payload % 100);
        h[12] = char(channels);
        h[13] = char(rate / 10000);
        h[14] = char(rate % 10000 / 100);
        h[15] = char(rate % 100);
        return h;
    };
    const WalkCase cases[] = {
        {"800 bytes of stereo", header(800, 2, 44100) + std::string(800, '\0'), 100},
        {"channel byte 0", header(800, 0, 44100) + std::string(800, '\0'), -105},
        {"channel byte 3", header(800, 3, 44100) + std::string(800, '\0'), -105},
        {"header cut short", header(800, 1, 44100).substr(0, 30), -10},
        {"mono payload beyond the file", header(99999999, 1, 44100) + std::string(800, '\0'), -170},
        {"stereo payload beyond the file", header(808, 2, 44100) + std::string(800, '\0'), -171},
        {"rate 0", header(800, 1, 0) + std::string(800, '\0'), SampleCode::BadRate},
    };
    for (const WalkCase& c : cases) {
        SCOPED_TRACE(c.what);
        WaveSample_c s;
        SampleMemorySource_c in(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(s.loadD4TSample(in), c.result);
        if (c.result < 0) {
            EXPECT_EQ(s.left, nullptr);
        }
    }

    // A D4U file whose read fails still says its data would be J data.
    TempDir dir;
    const std::string path = dir.file("bad.d4u");
    writeFile(path, header(800, 3, 44100));
    WaveSample_c s;
    EXPECT_FALSE(s.setSample(Path_c(path.c_str())));
    EXPECT_EQ(s.jFlag, 1);
    EXPECT_EQ(s.left, nullptr);
}

// The extension picks the reader, ignoring case; anything else is AIFF. A
// load resets the loop of the previous file and names the file on success.
TEST(SampleRead, ReaderByExtension)
{
    TempDir dir;
    const std::string wav = wavFile(Fmt16 + Data16);
    const std::string looped = wavFile(Fmt16 + Data16 + riffChunk("smpl", smplBody(1, 2, 7)));
    const struct { const char* name; bool loads; } cases[] = {
        {"take.WAV", true}, {"take.wav", true}, {"take.Wav", true},
        {"take.aif", false}, {"take.snd", false}, {"take", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(c.name);
        writeFile(path, wav);
        writeFile(dir.file("looped.wav"), looped);
        WaveSample_c s;
        ASSERT_TRUE(s.setSample(Path_c(dir.file("looped.wav").c_str())));
        EXPECT_EQ(s.loopEnd, 8);
        s.reversedFlag = 1;
        EXPECT_EQ(s.setSample(Path_c(path.c_str())), c.loads);
        EXPECT_EQ(s.hasLoop, 0);
        EXPECT_EQ(s.loopStart, 0);
        EXPECT_EQ(s.loopEnd, 0);
        EXPECT_EQ(s.reversedFlag, 0);
        EXPECT_EQ(s.cueTable, nullptr);
        EXPECT_EQ(s.info.getFilename().getString(), c.loads ? path : std::string());
        EXPECT_EQ(s.frames, c.loads ? 10 : 0);
    }
    WaveSample_c s;
    EXPECT_FALSE(s.setSample(Path_c(dir.file("missing.wav").c_str())));
    EXPECT_EQ(s.loadWAVSample(Path_c(dir.file("missing.wav").c_str())), -5);
    EXPECT_EQ(s.loadAIFSample(Path_c(dir.path().c_str())), -5); // a folder is no file
}

TEST(SampleRead, ANamedPipeOrDeviceIsRefusedWithoutWaiting)
{
    // Every reader, chosen by extension or called directly, answers "cannot
    // be opened" at once: a pipe without a writer never holds it up.
    TempDir dir;
    const std::string fifo = dir.file("pipe.wav");
    ASSERT_TRUE(TestSupport::makeFifo(fifo));
    const bool returned = TestSupport::returnsWithoutWaitingOn(fifo, [&] {
        for (const std::string& name : {fifo, std::string("/dev/zero")}) {
            SCOPED_TRACE(name);
            const Path_c path(name.c_str());
            WaveSample_c s;
            EXPECT_FALSE(s.setSample(path));
            EXPECT_EQ(s.loadWAVSample(path), -5);
            EXPECT_EQ(s.loadAIFSample(path), -5);
            EXPECT_EQ(s.loadD4TSample(path), -5);
            EXPECT_EQ(s.left, nullptr);
            SampleFileSource_c source;
            EXPECT_FALSE(source.open(path));
        }
    });
    EXPECT_TRUE(returned) << "a sample reader waited on the pipe";
}
