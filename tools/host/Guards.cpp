#include "Guards.h"

#include <algorithm>
#include <cstring>

namespace Host {

namespace {

// Canary pattern: varies with the position so a plug-in copying a constant
// byte run cannot match it by accident.
char canaryByte(size_t i)
{
    return char(0xA5 ^ (i * 29));
}

// Filler for the usable part of a text buffer: printable and non-zero.
constexpr char kTextFiller = '#';

// A signalling-NaN bit pattern no plug-in renders by chance.
constexpr uint32_t kGuardSampleBits = 0x7FA5C3E1u;

float guardSample()
{
    float f;
    std::memcpy(&f, &kGuardSampleBits, sizeof f);
    return f;
}

bool isGuardSample(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits == kGuardSampleBits;
}

} // namespace

GuardedBuffer_c::GuardedBuffer_c(size_t usable, size_t total)
    : usable_(usable), bytes_(total > usable ? total : usable + 1)
{
    armForRecord();
}

void GuardedBuffer_c::armForText()
{
    for (size_t i = 0; i < bytes_.size(); ++i)
        bytes_[i] = i < usable_ ? kTextFiller : canaryByte(i);
    if (usable_ > 0)
        bytes_[0] = 0;
}

void GuardedBuffer_c::armForRecord()
{
    for (size_t i = 0; i < bytes_.size(); ++i)
        bytes_[i] = i < usable_ ? 0 : canaryByte(i);
}

std::string GuardedBuffer_c::checkCanary() const
{
    for (size_t i = usable_; i < bytes_.size(); ++i)
        if (bytes_[i] != canaryByte(i))
            return "wrote past its " + std::to_string(usable_) + "-byte buffer (byte " + std::to_string(i) +
                   " overwritten)";
    return {};
}

std::string GuardedBuffer_c::checkTerminated(size_t offset, size_t cap) const
{
    if (offset + cap > usable_ || std::memchr(bytes_.data() + offset, 0, cap) == nullptr)
        return "left a text without a terminator within " + std::to_string(cap) + " bytes";
    return {};
}

std::string GuardedBuffer_c::textAt(size_t offset, size_t cap) const
{
    if (offset >= usable_)
        return {};
    const size_t limit = std::min(cap, usable_ - offset);
    const char* start = bytes_.data() + offset;
    const void* end = std::memchr(start, 0, limit);
    return std::string(start, end ? static_cast<const char*>(end) - start : limit);
}

std::string TextGuard_c::check() const
{
    std::string problem = checkCanary();
    if (problem.empty())
        problem = checkTerminated(0, usable());
    return problem;
}

GuardedAudio_c::GuardedAudio_c(int channels, int blockFrames)
    : blockFrames_(blockFrames), armedFrames_(blockFrames),
      buffers_(size_t(channels > 0 ? channels : 0), std::vector<float>(size_t(blockFrames + kGuardSamples)))
{
    for (auto& b : buffers_)
        pointers_.push_back(b.data());
    // The host always passes a valid array, even to a plug-in with no pins.
    if (pointers_.empty())
        pointers_.push_back(nullptr);
    arm(blockFrames);
}

void GuardedAudio_c::arm(int frames)
{
    armedFrames_ = std::clamp(frames, 0, blockFrames_);
    for (auto& b : buffers_) {
        std::fill(b.begin(), b.begin() + armedFrames_, 0.0f);
        std::fill(b.begin() + armedFrames_, b.begin() + armedFrames_ + kGuardSamples, guardSample());
    }
}

std::string GuardedAudio_c::check() const
{
    for (size_t c = 0; c < buffers_.size(); ++c)
        for (size_t i = size_t(armedFrames_); i < size_t(armedFrames_ + kGuardSamples); ++i)
            if (!isGuardSample(buffers_[c][i]))
                return "wrote past the " + std::to_string(armedFrames_) + "-frame block on channel " +
                       std::to_string(c) + " (frame " + std::to_string(i) + ")";
    return {};
}

} // namespace Host
