#include "Flanger2.h"

#include "DelayLines.h"
#include "InBuffer2.h"
#include "ParaRow.h"
#include "Parameter.h"
#include "SafeDiv.h"
#include "Synth.h"
#include "TempoSync.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// The longest delay a tap can be asked for: the longest time (85 ms) swept
// to (1 + depth) with the depth below 1, so under twice the time.
constexpr double MaxTimeSeconds = 0.085;
constexpr double MaxSweepFactor = 2.0;
// Beyond it the line holds the control step a tap trails its target by and
// the interpolation's second sample.
constexpr int LineHeadroom = 16;
// A tap is restarted when its distance leaves this band (a non-finite state
// or a missed fold); in steady work it lies between 8 and the longest delay
// + 8.
constexpr double TapNear = 2.0;
constexpr int TapFarMargin = 4;
constexpr float DegreesToPhase = 0.0027777778f; // 1 / 360
constexpr float FeedbackScale = 0.975f;
// The counter folds back by whole lines long before an int could overflow.
constexpr int FoldLines = 16;
constexpr int FoldByLines = 14;
using DelayLines::powerOfTwoAtLeast;

// Clamped to -1..1; NaN becomes -1, so the line never holds a non-finite
// value and the feedback cannot keep one alive.
inline float lineValue(float v)
{
    const float c = std::fmin(std::fmax(v, -1.0f), 1.0f);
    return DelayLines::flushTiny(c);
}

} // namespace

Flanger2_c::Flanger2_c()
{
    active = false;
}

Flanger2_c::~Flanger2_c()
{
    DelayLines::freeLines(lines);
}

bool Flanger2_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    return defineParas(shared, nSets, ParaCount, {
        {.index = pOnOff, .kind = ParaKind::OnOff, .name = "OffOn", .def = 1},
        {.index = pWet, .name = "Wet", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 0},
        {.index = pInvertWet, .kind = ParaKind::OnOff, .name = "InvertFeedback", .def = 0},
        {.index = pTime, .name = "Time", .unit = "msec", .logFactor = 4.0f, .lo = 1, .hi = 8500, .precision = 2,
         .def = 200},
        {.index = pFeed, .name = "Feed", .unit = "%", .lo = 0, .hi = 999, .precision = 3, .def = 100},
        {.index = pInvertFeedback, .kind = ParaKind::OnOff, .name = "InvertFeedback", .def = 0},
        {.index = pPhase, .name = "Phase", .unit = "deg", .logFactor = 4.0f, .lo = 0, .hi = 180, .precision = 0,
         .def = 5},
        {.index = pModRate, .name = "ModRate", .unit = "Hz", .logFactor = 4.0f, .lo = 1, .hi = 5000, .precision = 3,
         .def = 400},
        {.index = pSync, .kind = ParaKind::Enu, .name = "Frequency", .unit = "Notes", .lo = NoteValueCodeOff,
         .hi = NoteValueCodeLast, .def = 7, .width = NoteValueItemWidth, .items = NoteValueItems},
        {.index = pTimeDepth, .name = "Time Depth", .logFactor = 4.0f, .lo = 0, .hi = 999, .precision = 3, .def = 250},
        {.index = pPanDepth, .name = "Pan Depth", .logFactor = 4.0f, .lo = 0, .hi = 999, .precision = 3, .def = 0},
    });
}

void Flanger2_c::releaseLines()
{
    DelayLines::freeLines(lines);
}

void Flanger2_c::allocateBuffer()
{
    const double longest = MaxSweepFactor * MaxTimeSeconds * sampleRate;
    const int length = powerOfTwoAtLeast(static_cast<int>(std::ceil(longest)) + LineHeadroom);
    float* fresh[2] = {allocSampleMem(length), allocSampleMem(length)};
    if (!fresh[0] || !fresh[1]) {
        // The previous lines stay.
        std::free(fresh[0]);
        std::free(fresh[1]);
        return;
    }
    ready = false;
    waitForRenderToLeave();
    for (int side = 0; side < 2; ++side) {
        std::free(lines[side]);
        lines[side] = fresh[side];
    }
    lineLength = length;
    mask = length - 1;
    initBuffer();
    resume();
    ReadyThenCache(crActivate);
}

void Flanger2_c::initBuffer()
{
    if (!lines[0] || !lines[1])
        return;
    DelayLines::fillGuard(lines[0], lineLength);
    DelayLines::fillGuard(lines[1], lineLength, -DelayLines::Guard);
}

void Flanger2_c::resume()
{
    position[0] = position[1] = 0.0;
    writeCounter = lineLength / 2;
}

void Flanger2_c::checkSetFlagReady()
{
    // Decided before the flag goes up, so the audio thread never sees it up
    // while a condition fails.
    if (lines[0] && lines[1])
        VariatorInst_c::checkSetFlagReady();
    else
        ready = false;
}

void Flanger2_c::cachePara(CacheReason_t reason, int set, int)
{
    const Parameter_c* p = refreshParameters(set, ready && paraSet);
    if (!p)
        return;
    const int sync = p[pSync].value;
    const double hz = sync > NoteValueCodeOff ? FractToQuarterMultiple::rateHz(sync, Bpm.load())
                                              : static_cast<double>(p[pModRate].fl);
    phaseIncrement = static_cast<float>(hz / sampleRate * ControlStepFrames);
    if (reason == crTempoChange)
        return;
    wet = p[pWet].fl * (p[pInvertWet].value != 0 ? -1.0f : 1.0f);
    delayTime = p[pTime].fl * 0.001f;
    delayLength = delayTime * sampleRate;
    feedback = p[pInvertFeedback].value != 0 ? -p[pFeed].fl : p[pFeed].fl * FeedbackScale;
    phaseOffset = p[pPhase].fl;
    timeDepth = p[pTimeDepth].fl;
    panDepth = p[pPanDepth].fl;
}

float Flanger2_c::getFadeTime()
{
    const Parameter_c* p = ownParameters();
    if (!p)
        return 0.0f;
    const double t = static_cast<double>(p[pTime].fl) * 0.001;
    const double g = so_ddiv(-5.0, std::log10(static_cast<double>(p[pFeed].fl) + 0.0001));
    return static_cast<float>(t * g + 0.1);
}

float Flanger2_c::triangle(float phase)
{
    return 4.0f * (phase < 0.5f ? phase : 1.0f - phase) - 1.0f;
}

void Flanger2_c::updateSweep()
{
    float right = phase + phaseOffset * DegreesToPhase;
    if (right > 1.0f)
        right -= 1.0f;
    sweepLeft = triangle(phase);
    sweepRight = triangle(right);
    phase += phaseIncrement;
    if (phase > 1.0f)
        phase -= 1.0f;
    // A phase that is no longer a number (or ran away) starts the sweep over.
    if (!(phase >= 0.0f && phase <= 1.0f))
        phase = 0.0f;
    const double c = static_cast<double>(writeCounter);
    const double d = delayLength;
    const double target[2] = {c - (1.0 + sweepLeft * timeDepth) * d, c - (1.0 + sweepRight * timeDepth) * d};
    const double far = static_cast<double>(lineLength - TapFarMargin);
    for (int side = 0; side < 2; ++side) {
        const double distance = c - position[side];
        if (!(distance >= TapNear && distance <= far))
            position[side] = target[side] - ControlStepFrames;
        rate[side] = (target[side] - position[side]) * 0.125;
    }
}

void Flanger2_c::render(int n)
{
    RenderingScope scope(*this);
    StereoPins_t pins;
    if (!active || !ready || !openStereoReadWrite(n, pins))
        return;
    auto [inL, inR, outL, outR] = pins;
    float* const left = lines[0];
    float* const right = lines[1];
    const float fb = feedback;
    const float w = wet;
    const float pan = panDepth;
    for (int i = 0; i < n; ++i) {
        if (i % ControlStepFrames == 0)
            updateSweep();
        const float xL = inL[i];
        const float xR = inR[i];
        const float yL = DelayLines::readLinear(left, mask, position[0]);
        const float yR = DelayLines::readLinear(right, mask, position[1]);
        mixSum(&outL, xL, (1.0f + sweepLeft * pan) * w * yL);
        mixSum(&outR, xR, (1.0f - sweepLeft * pan) * w * yR);
        const int32_t at = writeCounter & mask;
        left[at] = lineValue(yL * fb + xL);
        right[at] = lineValue(yR * fb + xR);
        ++writeCounter;
        position[0] += rate[0];
        position[1] += rate[1];
    }
    if (writeCounter >= FoldLines * lineLength) {
        // Whole lines: every index and distance stays as it was.
        const int32_t by = FoldByLines * lineLength;
        writeCounter -= by;
        position[0] -= by;
        position[1] -= by;
    }
    outputBusA->doneWriteStereo();
}
