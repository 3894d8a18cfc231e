// Feeds arbitrary bytes to the D4T/D4U reader. Whatever the header claims, the
// reader holds at most the floats the input really carries (four bytes each,
// per channel) and keeps nothing when it fails.
#include "SampleFuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    WaveSample_c s;
    SampleMemorySource_c in(data, size);
    checkLoad(s, s.loadD4TSample(in), size, 4);
    return 0;
}
