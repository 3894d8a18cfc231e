// LineEffect_c: the frame of the instrument effects built on delay lines whose
// times may follow the host tempo (the modulated, stereo and ping-pong delays,
// the flanger and the reverb): one parameter set unless asked for more, tempo
// changes reach them, and they read the set their route last played.
//
// SwitchedLineEffect_c is the form whose lines exist only while the effect is
// switched on above MinAllocRate: switched off, it waits for the render to
// leave and frees them; switched on, or at a new rate while on, it makes them
// afresh (allocateBuffer, the class's own).
//
// Threads: construction, setSampleRate and the destructor while audio is
// stopped; setActive, setInactive and getParaSetPtr on the user-interface
// thread.
#pragma once

#include "Parameter.h"
#include "Variator.h"

class LineEffect_c : public VariatorInst_c
{
public:
    using VariatorInst_c::render;

    bool isBPMDependent() const override { return true; }

protected:
    // A time in seconds set by a pair of parameters: the note value in
    // syncPara at the recorded tempo when its code is above syncOff, else
    // the milliseconds in timePara. Any thread.
    static double syncedSeconds(const Parameter_c* p, int syncPara, int timePara, int syncOff);
};

class SwitchedLineEffect_c : public LineEffect_c
{
public:
    static constexpr float MinAllocRate = 11000.0f; // Hz, lines exist above

    // While audio is stopped: new lines when active, then the part's own
    // handling.
    void setSampleRate(float rate) override;
    // Activation, then the lines above MinAllocRate.
    void setActive() override;
    // Not ready, waits for the render to leave, frees the lines.
    void setInactive() override;

protected:
    // Makes the lines for the current rate (the old ones go first).
    virtual void allocateBuffer() = 0;
    // Frees the lines; the render has left them.
    virtual void releaseLines() = 0;
    // Not ready, waits for the render to leave, then releaseLines.
    void freeBuffer();
};
