// The constants of the "Classic" filter's ladder that its one-voice loops
// (FilterMoogSI.cpp) and its many-voice lanes (LadderLanes.cpp) share. Both
// files must compute the same numbers to the last bit, so both take them
// from here.
#pragma once

#include "Capacities.h"

#include <cmath>

namespace LadderMath {

// The level ramps over one control step.
constexpr float ControlTake = 1.0f / ControlStepFrames;

// The soft clip s - 0.166666 s^3 of the last ladder stage rises only up to
// s = 1 / sqrt(3 x 0.166666) (about sqrt(2)); past it the curve folds back
// and, fed back, runs off to infinity. Its argument stops there.
inline const double ClipTurn = 1.0 / std::sqrt(3.0 * 0.166666);

// The ladder's DC tracker moves 0.0003 of the way to the stage input each
// sample: dc' = dc (1 - 0.0003) + 0.0003 (in / 8 - feedback x s3).
constexpr double DcRate = 0.0003;
constexpr double DcKeep = 1.0 - DcRate;
constexpr double DcIn = DcRate * 0.125;

// The loops keep the previous stage input less the DC tracker (w = xPrev -
// dc) rather than the input itself: the next sample's stage sum is then the
// new input plus w, one operation, and w follows s3 by one multiply-add
// like every other state. These two convert at a block's ends, the same in
// every form of the loop.
inline double heldLessDc(double xPrev, double dc)
{
    return xPrev - dc;
}
inline double heldInput(double w, double dc)
{
    return w + dc;
}

// w' = x' - dc' = (in / 8 - dc) - (DcKeep dc + DcIn in) - (fb - fbDc) s3,
// its part without s3 gathered as in x DcWIn - DcBoth x dc.
constexpr double DcWIn = 0.125 - DcIn;
constexpr double DcBoth = 1.0 + DcKeep;

} // namespace LadderMath
