// The checks every sample-reader fuzz target makes on the sample a load left.
#pragma once

#include "SampleSource.h"
#include "WaveSample.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

// result: the reader's answer; size: the input's bytes; minFrameBytes: the
// fewest bytes one sample of one channel takes in the format.
inline void checkLoad(const WaveSample_c& s, int result, size_t size, int minFrameBytes)
{
    if (result < 0) {
        if (s.left || s.right || s.frames != 0)
            std::abort(); // a failed load keeps nothing
        return;
    }
    if (result != s.frames || s.channels < 1 || s.channels > 2 || !s.left || (s.channels == 2) != (s.right != nullptr))
        std::abort();
    // No more frames than the input could fill.
    if (static_cast<uint64_t>(s.frames) * s.channels * minFrameBytes > size)
        std::abort();
    if (s.sampleRate < 1 || s.sampleRate > WaveSample_c::SampleRateLimit)
        std::abort();
    for (int i = 0; i < s.frames; ++i) {
        if (!std::isfinite(s.left[i]) || (s.right && !std::isfinite(s.right[i])))
            std::abort();
    }
    // The slack after the last frame is there and zero.
    for (int i = 0; i < 17; ++i)
        if (s.left[s.frames + i] != 0.0f)
            std::abort();
}
