// Writing a WaveSample_c as a 24-bit AIFF file, in the raw-float D4T layout,
// or as a 24-bit WAV file. Every writer builds the file under a temporary
// name beside the target, checks each write and the close, and only then
// renames it over the target: a full disk or a failed write is reported and
// never leaves the old file destroyed or a half-written one behind.
#include "WaveSample.h"

#include "Disk.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A file written under a temporary name and put in place by commit().
// Anything not committed is removed again.
class SafeFile
{
public:
    ~SafeFile()
    {
        if (file_)
            std::fclose(file_);
        if (!temp_.empty())
            ::unlink(temp_.c_str());
    }

    bool create(const Tool::Disk::Path_c& target)
    {
        if (target.empty())
            return false;
        target_ = target.c_str();
        std::string name;
        const int fd = Tool::Disk::createTemporaryBeside(target_, name, ".tmp-XXXXXX");
        if (fd < 0)
            return false;
        temp_ = name;
        file_ = ::fdopen(fd, "wb");
        if (!file_) {
            ::close(fd);
            return false;
        }
        return true;
    }

    bool put(const void* data, size_t n)
    {
        return n == 0 || std::fwrite(data, 1, n, file_) == n;
    }
    bool put32be(uint32_t v)
    {
        const uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
        return put(b, 4);
    }
    bool put16be(uint16_t v)
    {
        const uint8_t b[2] = {uint8_t(v >> 8), uint8_t(v)};
        return put(b, 2);
    }
    bool put32le(uint32_t v)
    {
        const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        return put(b, 4);
    }
    bool put16le(uint16_t v)
    {
        const uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
        return put(b, 2);
    }

    // Flushes, syncs and closes the file and renames it over the target.
    bool commit()
    {
        FILE* f = file_;
        file_ = nullptr;
        bool ok = std::fflush(f) == 0;
        ok = ::fsync(fileno(f)) == 0 && ok;
        ok = std::fclose(f) == 0 && ok;
        if (!ok || std::rename(temp_.c_str(), target_.c_str()) != 0)
            return false;
        temp_.clear();
        return true;
    }

private:
    FILE* file_ = nullptr;
    std::string target_;
    std::string temp_;
};

// Writes frames of 24-bit samples, interleaved when right is given, most
// significant byte first (AIFF) or last (WAV).
bool put24(SafeFile& out, const float* left, const float* right, int frames, bool bigEndian)
{
    constexpr int BlockFrames = 4096;
    const int channels = right ? 2 : 1;
    std::vector<uint8_t> block(static_cast<size_t>(BlockFrames) * channels * 3);
    for (int done = 0; done < frames;) {
        const int n = std::min(frames - done, BlockFrames);
        uint8_t* p = block.data();
        for (int i = 0; i < n; ++i) {
            for (int c = 0; c < channels; ++c) {
                const uint32_t v = static_cast<uint32_t>(WaveSample_c::encode24((c ? right : left)[done + i]));
                const uint8_t hi = uint8_t(v >> 16), mid = uint8_t(v >> 8), lo = uint8_t(v);
                *p++ = bigEndian ? hi : lo;
                *p++ = mid;
                *p++ = bigEndian ? lo : hi;
            }
        }
        if (!out.put(block.data(), static_cast<size_t>(p - block.data())))
            return false;
        done += n;
    }
    return true;
}

// Runs save with the data in file order: a sample reversed in memory is
// turned back for the write and reversed again afterwards, on every path,
// failures included.
template <class Save>
int inFileOrder(WaveSample_c& sample, Save save)
{
    const bool wasReversed = sample.reversedFlag != 0;
    const bool j = sample.jFlag != 0;
    if (wasReversed)
        sample.setReversed(false, j);
    const int result = save();
    if (wasReversed)
        sample.setReversed(true, j);
    return result;
}

// Why the sample cannot go out as 24-bit PCM (AIFF or WAV), as the writers
// answer it; 0 when it can.
int pcm24Refusal(const WaveSample_c& s)
{
    if (!s.left || (s.channels == 2 && !s.right))
        return -400;
    if (s.channels != 1 && s.channels != 2)
        return -490;
    if (s.sampleRate <= 0)
        return SampleCode::NoRate;
    return 0;
}

// The bytes of the sample as 24-bit PCM.
uint32_t pcm24Bytes(const WaveSample_c& s)
{
    return static_cast<uint32_t>(s.channels) * static_cast<uint32_t>(s.frames) * 3u;
}

} // namespace

int32_t WaveSample_c::encode24(float x)
{
    // Values beyond full scale are clamped first: 1.0001 would otherwise
    // wrap to the most negative code.
    double v = std::isnan(x) ? 0.0 : std::clamp(static_cast<double>(x), -1.0, 1.0);
    const int64_t code = v >= 0.0 ? static_cast<int64_t>(v * 8388607.0 + 0.01)
                                  : static_cast<int64_t>((v + 2.0) * 8388607.0 + 1.01);
    return static_cast<int32_t>(code & 0xFFFFFF);
}

int WaveSample_c::saveSampleFile(const Tool::Disk::Path_c& path)
{
    const Vdx::String_c ext = path.getExt();
    if (ext.compare(Vdx::String_c("WAV"), false) == 0) {
        setJForm(false);
        return saveWAVSample(path);
    }
    const bool d4t = ext.compare(Vdx::String_c("D4T"), false) == 0;
    const bool d4u = ext.compare(Vdx::String_c("D4U"), false) == 0;
    if (d4t || d4u) {
        // A .d4u file is read as running sums and a .d4t file as plain data.
        setJForm(d4u);
        return saveD4TSample(path);
    }
    setJForm(false);
    return savePlatformSample(path);
}

// --- AIFF --------------------------------------------------------------------

int WaveSample_c::savePlatformSample(const Tool::Disk::Path_c& path)
{
    return inFileOrder(*this, [&] { return saveAIFSample(path); });
}

int WaveSample_c::saveAIFSample(const Tool::Disk::Path_c& path)
{
    // A rate of 0 has no highest bit to normalise on.
    if (const int refused = pcm24Refusal(*this))
        return refused;
    const uint32_t dataLength = pcm24Bytes(*this);
    const uint32_t pad = dataLength & 1;
    // The 80-bit rate: the integer rate shifted up until its highest bit is
    // bit 31 of the upper mantissa, and the exponent that undoes the shift.
    const uint32_t rate = static_cast<uint32_t>(sampleRate);
    const int s = std::countl_zero(rate);
    const uint16_t exponent = static_cast<uint16_t>(16383 + 31 - s);
    const uint32_t mantissa = rate << s;

    SafeFile out;
    if (!out.create(path))
        return -5;
    if (!out.put("FORM", 4))
        return -10;
    if (!out.put32be(46 + dataLength + pad))
        return -30;
    if (!out.put("AIFF", 4))
        return -40;
    if (!out.put("COMM", 4))
        return -60;
    if (!out.put32be(18))
        return -70;
    if (!out.put16be(channels))
        return -310;
    if (!out.put32be(static_cast<uint32_t>(frames)))
        return -320;
    if (!out.put16be(24))
        return -330;
    if (!out.put16be(exponent))
        return -340;
    if (!out.put32be(mantissa))
        return -350;
    if (!out.put32be(0))
        return -360;
    if (!out.put("SSND", 4))
        return -110;
    if (!out.put32be(dataLength + 8))
        return -120;
    if (!out.put32be(0) || !out.put32be(0))
        return -410;
    if (!put24(out, left, channels == 2 ? right : nullptr, frames, true))
        return channels == 2 ? -420 : -410;
    if (pad && !out.put("", 1))
        return -430;
    if (!out.commit())
        return SampleCode::NotCompleted;
    return frames;
}

// --- D4T and D4U -----------------------------------------------------------------

int WaveSample_c::saveD4TSample(const Tool::Disk::Path_c& path)
{
    return inFileOrder(*this, [&] { return saveD4TSampleCore(path); });
}

int WaveSample_c::saveD4TSampleCore(const Tool::Disk::Path_c& path)
{
    if (!left)
        return -162;
    if (channels == 2 && !right)
        return -164;
    if (sampleRate <= 0)
        return SampleCode::NoRate;
    const int64_t payload = static_cast<int64_t>(channels) * frames * 4;
    if (payload >= D4TMaxPayload)
        return SampleCode::D4TTooLarge;
    if (sampleRate >= D4TMaxRate)
        return SampleCode::D4TRateTooHigh;

    // Base-100 digits, most significant first: the header has no byte order.
    uint8_t h[D4THeaderBytes] = {};
    h[8] = static_cast<uint8_t>(payload / 1000000);
    h[9] = static_cast<uint8_t>(payload % 1000000 / 10000);
    h[10] = static_cast<uint8_t>(payload % 10000 / 100);
    h[11] = static_cast<uint8_t>(payload % 100);
    h[12] = static_cast<uint8_t>(channels & 0xFF);
    h[13] = static_cast<uint8_t>(sampleRate / 10000);
    h[14] = static_cast<uint8_t>(sampleRate % 10000 / 100);
    h[15] = static_cast<uint8_t>(sampleRate % 100);

    SafeFile out;
    if (!out.create(path))
        return -5;
    if (!out.put(h, sizeof h))
        return SampleCode::NotWritten;
    // The floats go out in the machine's little-endian order; any other
    // channel count than 1 or 2 writes the header alone.
    static_assert(std::endian::native == std::endian::little);
    const size_t bytes = sizeof(float) * static_cast<size_t>(frames);
    if (channels == 1 || channels == 2) {
        if (!out.put(left, bytes) || (channels == 2 && !out.put(right, bytes)))
            return SampleCode::NotWritten;
    }
    if (!out.commit())
        return SampleCode::NotCompleted;
    return frames;
}

// --- WAV -----------------------------------------------------------------------

int WaveSample_c::saveWAVSample(const Tool::Disk::Path_c& path)
{
    if (const int refused = pcm24Refusal(*this))
        return refused;
    const uint32_t dataLength = pcm24Bytes(*this);
    SafeFile out;
    if (!out.create(path))
        return -5;
    if (!out.put("RIFF", 4))
        return -10;
    if (!out.put32le(dataLength + 36))
        return -30;
    if (!out.put("WAVE", 4))
        return -50;
    if (!out.put("fmt ", 4))
        return -60;
    if (!out.put32le(16))
        return -70;
    const uint32_t rate = static_cast<uint32_t>(sampleRate);
    if (!out.put16le(1) || !out.put16le(channels) || !out.put32le(rate) || !out.put32le(channels * rate * 3u)
        || !out.put16le(static_cast<uint16_t>(channels * 3)) || !out.put16le(24))
        return -100;
    if (!out.put("data", 4))
        return -160;
    if (!out.put32le(dataLength))
        return -170;
    if (!put24(out, left, channels == 2 ? right : nullptr, frames, false))
        return -200;
    if (!out.commit())
        return SampleCode::NotCompleted;
    return frames;
}
