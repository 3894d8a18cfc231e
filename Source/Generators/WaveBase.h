// WaveBase_c: the base of every sample store (the sample slot, the
// multisample memory, the wavetable store) and of WaveSample_c itself. It adds
// to Part_c the in-place waveform tools that the stores run over a loaded
// sample, and the hooks through which a sample asks its store for leave
// before it changes data that other samples may share.
//
// J form: a signal held as its running sum (J[0] = x[0], J[i] = J[i-1] +
// x[i]). Generators read two positions of it and divide the difference by the
// step, which averages the signal over the step.
//
// Threads: the tools work only on the caller's buffer and may run on any
// thread that owns it; the stores call them on the user-interface thread
// under the sample's write permission.
#pragma once

#include "Part.h"

class SampleInfo_c;

class WaveBase_c : public Part_c
{
public:
    WaveBase_c() = default;
    ~WaveBase_c() override = default;

    // Removes the offset of the whole buffer (its sum, added in double
    // precision from the last sample to the first).
    virtual void makeSym(float* buf, int n);
    // The offset removal proper: the offset sum / (n - m) fades in over the
    // first m samples, is removed in the middle and fades out over the last
    // m, so exactly sum is taken away; the result is then scaled by
    // 1 / (|offset| + 1). Nothing for a null buffer or n < 41.
    virtual void makeSym(float* buf, int n, double sum);
    // Plain samples to their running sum and back, in place; nothing for a
    // null buffer or n < 2.
    virtual void changeToJ(float* buf, int n);
    virtual void changeFromJ(float* buf, int n);
    // Scales the buffer down so that it stays within -1..1; unchanged when it
    // already does.
    virtual void limit0dBPeak(float* buf, int n);
    // Scales the peak to 1, unless the gain lies within 0.99..1.01.
    virtual void norm0dBPeak(float* buf, int n);
    // One gain for both channels from their joint peak, always applied.
    virtual void norm0dBPeak(float* left, float* right, int n);
    // Moves the buffer from the first sample louder than dB (re full scale)
    // to the front; the number of samples removed (0: nothing moved).
    virtual int trimStart(float* buf, int n, float dB);
    // A sample calls this on itself before it changes its data.
    virtual void prepareDestructiveOperation();
    // Called on the owning store with the identity of the sample about to
    // change; the store gives a virtual sample its own copy and hands a
    // master's role on.
    virtual void prepareDestructiveOperation(SampleInfo_c& info);
    virtual void prepareDestructiveMaster(SampleInfo_c& info);
    virtual void prepareDestructiveVirtual(SampleInfo_c& info);
};
