#include "WavFile.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace Host {

WavWriter_c::~WavWriter_c()
{
    abandon();
}

void WavWriter_c::abandon()
{
    if (file_) {
        sf_close(file_);
        file_ = nullptr;
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

bool WavWriter_c::open(const std::string& path, int channels, int sampleRate, std::string& error)
{
    abandon();
    if (channels < 1)
        return error = "the plug-in has no outputs to write", false;
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    path_ = path;
    tempPath_ = path + ".part";
    file_ = sf_open(tempPath_.c_str(), SFM_WRITE, &info);
    if (!file_) {
        error = "cannot write " + tempPath_ + ": " + sf_strerror(nullptr);
        tempPath_.clear();
        return false;
    }
    channels_ = channels;
    failed_ = false;
    return true;
}

bool WavWriter_c::write(const float* const* channels, int frames)
{
    if (!file_ || failed_)
        return false;
    interleaved_.resize(size_t(frames) * size_t(channels_));
    for (int f = 0; f < frames; ++f)
        for (int c = 0; c < channels_; ++c)
            interleaved_[size_t(f) * size_t(channels_) + size_t(c)] = channels[c][f];
    if (sf_writef_float(file_, interleaved_.data(), frames) != frames)
        failed_ = true;
    return !failed_;
}

bool WavWriter_c::finish(std::string& error)
{
    if (!file_)
        return error = "no WAV file is open", false;
    const bool writeFailed = failed_;
    const int closed = sf_close(file_);
    file_ = nullptr;
    if (writeFailed || closed != 0) {
        error = "writing " + tempPath_ + " failed";
        abandon();
        return false;
    }
    if (std::rename(tempPath_.c_str(), path_.c_str()) != 0) {
        error = "cannot move " + tempPath_ + " to " + path_;
        abandon();
        return false;
    }
    tempPath_.clear();
    return true;
}

bool readWavStats(const std::string& path, WavStats& stats, std::string& error)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        return error = "cannot read " + path + ": " + sf_strerror(nullptr), false;
    WavStats result;
    result.channels = info.channels;
    result.sampleRate = info.samplerate;
    result.perChannel.resize(size_t(info.channels));
    std::vector<double> sums(size_t(info.channels), 0.0);
    std::vector<float> block(size_t(4096) * size_t(info.channels));
    for (;;) {
        const sf_count_t got = sf_readf_float(file, block.data(), 4096);
        if (got <= 0)
            break;
        for (sf_count_t f = 0; f < got; ++f)
            for (int c = 0; c < info.channels; ++c) {
                const double v = block[size_t(f) * size_t(info.channels) + size_t(c)];
                ChannelLevel& level = result.perChannel[size_t(c)];
                level.peak = std::max(level.peak, std::fabs(v));
                sums[size_t(c)] += v * v;
            }
        result.frames += got;
    }
    const int readError = sf_error(file);
    sf_close(file);
    if (readError != SF_ERR_NO_ERROR)
        return error = "reading " + path + " failed", false;

    double total = 0;
    for (int c = 0; c < info.channels; ++c) {
        ChannelLevel& level = result.perChannel[size_t(c)];
        if (result.frames > 0)
            level.rms = std::sqrt(sums[size_t(c)] / double(result.frames));
        result.all.peak = std::max(result.all.peak, level.peak);
        total += sums[size_t(c)];
    }
    if (result.frames > 0 && info.channels > 0)
        result.all.rms = std::sqrt(total / (double(result.frames) * info.channels));
    stats = std::move(result);
    return true;
}

} // namespace Host
