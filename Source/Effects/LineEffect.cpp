#include "LineEffect.h"

#include "Synth.h"
#include "TempoSync.h"

#include <algorithm>

double LineEffect_c::syncedSeconds(const Parameter_c* p, int syncPara, int timePara, int syncOff)
{
    const int sync = p[syncPara].value;
    return sync > syncOff ? FractToQuarterMultiple::periodSeconds(sync, RecBpm.load()) : p[timePara].fl * 0.001;
}

void SwitchedLineEffect_c::setSampleRate(float rate)
{
    if (active) {
        sampleRate = rate;
        allocateBuffer();
    }
    VariatorInst_c::setSampleRate(rate);
}

void SwitchedLineEffect_c::setActive()
{
    VariatorInst_c::setActive();
    if (sampleRate > MinAllocRate)
        allocateBuffer();
}

void SwitchedLineEffect_c::setInactive()
{
    ready = false;
    VariatorInst_c::setInactive();
    freeBuffer();
}

void SwitchedLineEffect_c::freeBuffer()
{
    ready = false;
    // A render that saw the part ready before may still be reading the lines.
    waitForRenderToLeave();
    releaseLines();
}
