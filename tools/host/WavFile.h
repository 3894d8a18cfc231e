// WAV output and a small level report, through libsndfile. The writer
// renders into a temporary file beside the target and renames it at the
// end, so a failed render never leaves a truncated WAV under the real name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct sf_private_tag;

namespace Host {

class WavWriter_c
{
public:
    WavWriter_c() = default;
    ~WavWriter_c(); // abandons an unfinished file
    WavWriter_c(const WavWriter_c&) = delete;
    WavWriter_c& operator=(const WavWriter_c&) = delete;

    // 32-bit float samples, one channel per plug-in output.
    bool open(const std::string& path, int channels, int sampleRate, std::string& error);
    // One block, one pointer per channel.
    bool write(const float* const* channels, int frames);
    // Closes, checks, and moves the file to its name.
    bool finish(std::string& error);

private:
    void abandon();

    sf_private_tag* file_ = nullptr;
    std::string path_;
    std::string tempPath_;
    int channels_ = 0;
    std::vector<float> interleaved_;
    bool failed_ = false;
};

struct ChannelLevel
{
    double peak = 0; // largest absolute sample
    double rms = 0;
};

struct WavStats
{
    int64_t frames = 0;
    int channels = 0;
    int sampleRate = 0;
    ChannelLevel all;                  // over every channel
    std::vector<ChannelLevel> perChannel;
};

bool readWavStats(const std::string& path, WavStats& stats, std::string& error);

} // namespace Host
