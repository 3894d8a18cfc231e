// Feeds arbitrary bytes to the AIFF/AIFC reader. Whatever the bytes, the
// reader must return a frame count or a negative code, never read outside its
// buffers or hang, and never hold more frames than the input could fill (one
// byte per frame at the least); a failed load keeps nothing.
#include "SampleFuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    WaveSample_c s;
    SampleMemorySource_c in(data, size);
    checkLoad(s, s.loadAIFSample(in), size, 1);
    return 0;
}
