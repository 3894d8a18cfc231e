// Canaries around every buffer the host lends a plug-in. A plug-in that
// writes past the size hosts conventionally allocate, or leaves a text
// without its terminator, gets away with it in most hosts until one of them
// allocates exactly that size; this host notices on the first call.
#pragma once

#include "Capacities.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Host {

// What hosts conventionally allocate for each text a plug-in writes, in bytes
// including the terminator: the limits our plug-ins promise, and the ones the
// host holds every plug-in to.
constexpr size_t kProgramNameBytes = ProgramNameAnswerSize;     // effGetProgramName(Indexed)
constexpr size_t kEffectNameBytes = EffectNameAnswerSize;       // effGetEffectName
constexpr size_t kVendorTextBytes = VendorAnswerSize;           // effGetVendorString
constexpr size_t kProductTextBytes = ProductAnswerSize;         // effGetProductString
constexpr size_t kParameterTextBytes = ParameterTextAnswerSize; // effGetParamName, Label, Display
constexpr size_t kPinLabelBytes = PinLabelAnswerSize;           // VstPinProperties::label
constexpr size_t kPinShortLabelBytes = PinShortLabelAnswerSize; // VstPinProperties::shortLabel

// Bytes this host really allocates for a text: far more than any plug-in may
// use, so an overrun lands in the canary instead of in other memory.
constexpr size_t kGuardedTextBytes = 256;

// A buffer of usable bytes followed by canary bytes up to its full size.
class GuardedBuffer_c
{
public:
    GuardedBuffer_c(size_t usable, size_t total);

    // Prepares for a text answer: an empty text (first byte 0), the rest of
    // the usable bytes non-zero (so a missing terminator shows), canaries after.
    void armForText();
    // Prepares for a record answer: usable bytes zeroed, canaries after.
    void armForRecord();

    char* data() { return bytes_.data(); }
    const char* data() const { return bytes_.data(); }
    size_t usable() const { return usable_; }

    // Empty when the canaries are intact; otherwise says where the first
    // overwritten byte is.
    std::string checkCanary() const;
    // Empty when a terminator lies within [offset, offset + cap).
    std::string checkTerminated(size_t offset, size_t cap) const;
    // The text at offset, up to its terminator or cap bytes.
    std::string textAt(size_t offset, size_t cap) const;

private:
    size_t usable_;
    std::vector<char> bytes_;
};

// A text buffer of kGuardedTextBytes with canaries from cap on.
class TextGuard_c : public GuardedBuffer_c
{
public:
    explicit TextGuard_c(size_t cap) : GuardedBuffer_c(cap, kGuardedTextBytes) {}
    // Both checks; empty when the plug-in behaved.
    std::string check() const;
    std::string text() const { return textAt(0, usable()); }
};

// Per-channel audio buffers with guard samples after the block, so a
// plug-in that renders more frames than asked for is caught.
class GuardedAudio_c
{
public:
    static constexpr int kGuardSamples = 32;

    GuardedAudio_c(int channels, int blockFrames);

    // Zeroes the first frames of each channel and arms the guard samples
    // right after them (frames <= the block size).
    void arm(int frames);
    float** channels() { return pointers_.data(); }
    const float* channel(int c) const { return buffers_[size_t(c)].data(); }
    int channelCount() const { return int(buffers_.size()); }
    // Empty when every guard sample after the armed frames is intact;
    // otherwise names the channel and frame.
    std::string check() const;

private:
    int blockFrames_;
    int armedFrames_;
    std::vector<std::vector<float>> buffers_;
    std::vector<float*> pointers_;
};

} // namespace Host
