#include "SweptEffect.h"

#include <algorithm>
#include <cmath>

namespace {

// The LFO is restarted on this note.
constexpr int LFONote = 60;
constexpr int LFOVelocity = 100;

} // namespace

SweptEffect_c::SweptEffect_c()
{
    lfo.setPtr(&lfoValue, &lfoIncrement, &lfoRemaining);
}

void SweptEffect_c::resume()
{
    VariatorInst_c::resume();
    const int set = std::max<int>(routeIndex, 0);
    lfo.setParaCharPtr(set, LFOSimp_c::pWaveform, "Triang");
    Note_c n;
    n.set(LFONote, LFOVelocity);
    lfo.prepProc(set, n, false, false);
}

void SweptEffect_c::followSweepParas(int set, int idx, int speedPara, int speedDivisor, int notesPara)
{
    if (idx != -1 && idx != speedPara && idx != notesPara)
        return;
    const Parameter_c* p = getRenderParaPtr(set);
    if (!p)
        return;
    lfo.setParaVal(set, LFOSimp_c::pFrequency, p[speedPara].value / speedDivisor);
    lfo.setParaVal(set, LFOSimp_c::pNotes, p[notesPara].value);
}

void SweptEffect_c::stepSweep(int remainingInBlock)
{
    lfoValue += lfoIncrement;
    lfoRemaining -= 1;
    if (remainingInBlock < ControlStepFrames) {
        carry += ControlStepFrames - remainingInBlock;
        if (carry > ControlStepFrames) {
            lfoValue -= lfoIncrement;
            lfoRemaining += 1;
            carry -= ControlStepFrames;
        }
    }
    if (lfoRemaining < 1)
        lfo.goNextPhase();
}

void SweptEffect_c::repairSweep()
{
    if (!std::isfinite(lfoValue)) {
        lfoValue = 0.0f;
        lfoIncrement = 0.0f;
    }
}
