#include "DelayStereo.h"

#include "DelayLines.h"
#include "InBuffer2.h"
#include "ParaRow.h"
#include "Parameter.h"
#include "Synth.h"
#include "TempoSync.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// Seconds of line per second of sample rate: the longest free time (1.3 s)
// fits without halving.
constexpr double LineSeconds = 1.3;
// The taps stay this many samples inside the line: a time is halved until it
// is shorter than L - LineHeadroom.
constexpr int LineHeadroom = 16;
constexpr int SyncOffCode = 3; // the note-value item " Off "
constexpr float RateMin = 0.25f;
constexpr float RateMax = 4.0f;
// How hard a tap pulls toward its target: a tap trailing by exactly one
// control step runs at rate 1.
constexpr double RatePull = 0.0015;

// The note values " Off " (not synchronised) .. " 5/8 " (codes 3..22).
constexpr auto NoteItems = noteValueSubItems<SyncOffCode, 22>();

using DelayLines::flushTiny;
using DelayLines::powerOfTwoAtLeast;

} // namespace

DelayStereo_c::DelayStereo_c()
{
    active = false;
    restart = true;
}

DelayStereo_c::~DelayStereo_c()
{
    freeLines();
}

bool DelayStereo_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    const bool defined = defineParas(shared, nSets, ParaCount, {
        {.index = pOnOff, .kind = ParaKind::OnOff, .name = "OffOn", .def = 1},
        {.index = pTimeL, .name = "TimeL", .unit = "msec", .logFactor = 4.0f, .lo = 1, .hi = 1300,
         .precision = 0, .def = 125},
        {.index = pSyncL, .kind = ParaKind::Enu, .name = "SyncL", .unit = "Notes", .lo = 3, .hi = 22, .def = 13,
         .width = NoteValueItemWidth, .items = NoteItems.data()},
        {.index = pTimeR, .name = "TimeR", .unit = "msec", .logFactor = 4.0f, .lo = 1, .hi = 1300,
         .precision = 0, .def = 250},
        {.index = pSyncR, .kind = ParaKind::Enu, .name = "SyncR", .unit = "Notes", .lo = 3, .hi = 22, .def = 10,
         .width = NoteValueItemWidth, .items = NoteItems.data()},
        {.index = pFeed, .name = "Feed", .unit = "%", .lo = 0, .hi = 99, .precision = 2, .def = 40},
        {.index = pCutLo, .name = "CutLo", .unit = "Hz", .logFactor = 4.0f, .lo = 40, .hi = 22000,
         .precision = 0, .def = 22000},
        {.index = pCutHi, .name = "CutHi", .unit = "Hz", .logFactor = 4.0f, .lo = 8, .hi = 11000, .precision = 0,
         .def = 8},
        {.index = pWet, .name = "Wet", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 15},
        {.index = pStereo, .name = "Stereo", .unit = "%", .lo = -100, .hi = 100, .precision = 2, .def = 100},
        {.index = pLink, .kind = ParaKind::OnOff, .name = "Feedback Link", .def = 1},
        {.index = pCross, .kind = ParaKind::OnOff, .name = "Crossdelay", .def = 0},
        {.index = pFilterInFeedback, .kind = ParaKind::OnOff, .name = "Filters in Feedback", .def = 0},
    });
    // A part without its parameter set has nothing to make ready.
    if (!defined)
        return false;
    ReadyThenCache(crActivate);
    return true;
}

void DelayStereo_c::setSampleRate(float rate)
{
    // The render reads the rate: it changes once the render has left and
    // before the new lines make the part ready again.
    freeLines();
    VariatorInst_c::setSampleRate(rate);
    allocateBuffer();
}

void DelayStereo_c::freeLines()
{
    // A host may change the rate while the delay renders: a render that saw
    // the part ready may still be reading the lines.
    ready = false;
    waitForRenderToLeave();
    DelayLines::freeLines(lines);
}

void DelayStereo_c::allocateBuffer()
{
    const int length = powerOfTwoAtLeast(static_cast<int>(static_cast<double>(sampleRate) * LineSeconds));
    freeLines();
    lineLength = length;
    mask = length - 1;
    foldAt = 16 * length;
    foldBy = 14 * length;
    foldByD = static_cast<double>(foldBy);
    lines[0] = allocSampleMem(length);
    lines[1] = allocSampleMem(length);
    if (!lines[0] || !lines[1]) {
        freeLines();
        return;
    }
    initBuffer();
    writeCounter = 0;
    position[0] = position[1] = 0.0;
    rate[0] = rate[1] = 1.0;
    delaySamples[0] = delaySamples[1] = 0;
    ReadyThenCache(crActivate);
}

void DelayStereo_c::initBuffer()
{
    for (float* line : lines)
        DelayLines::fillGuard(line, lineLength);
    lowState[0] = lowState[1] = 0.0f;
    bandState[0] = bandState[1] = 0.0f;
}

void DelayStereo_c::resume()
{
    ReadyThenCache(crActivate);
}

void DelayStereo_c::setInactive()
{
    const bool wasActive = active;
    VariatorInst_c::setInactive();
    if (wasActive && ready)
        initBuffer();
}

void DelayStereo_c::checkSetFlagReady()
{
    // Decided before the flag goes up, so the audio thread never sees it up
    // while a condition fails.
    if (lines[0] && lines[1] && sampleRate > MinRenderRate && paraSet && lineLength >= 1)
        VariatorInst_c::checkSetFlagReady();
    else
        ready = false;
}

double DelayStereo_c::delaySeconds(const Parameter_c* p, int side) const
{
    if (!p || lineLength <= LineHeadroom)
        return 0.0;
    const double t = syncedSeconds(p, side == 0 ? pSyncL : pSyncR, side == 0 ? pTimeL : pTimeR, SyncOffCode);
    return DelayLines::fitDelay(t, sampleRate, static_cast<double>(lineLength - LineHeadroom));
}

void DelayStereo_c::cachePara(CacheReason_t reason, int set, int)
{
    const Parameter_c* p = refreshParameters(set, ready && paraSet);
    if (!p)
        return;
    for (int side = 0; side < 2; ++side)
        delaySamples[side] = DelayLines::wholeDelay(delaySeconds(p, side), sampleRate, lineLength);
    if (reason == crTempoChange)
        return;
    wet = p[pWet].fl;
    const float s = p[pStereo].fl;
    sameGain = (s + 1.0f) * 0.5f;
    crossGain = (1.0f - s) * 0.5f;
    const float feed = p[pFeed].fl;
    feedback[0] = feedback[1] = feed;
    if (p[pLink].value != 0) {
        // The shorter side passes its line more often: a feedback raised to
        // the ratio of the delays makes both lose the same per second.
        const float l = static_cast<float>(delaySamples[0]);
        const float r = static_cast<float>(delaySamples[1]);
        if (l <= r)
            feedback[0] = std::pow(feed, l / r);
        else
            feedback[1] = std::pow(feed, r / l);
    }
    lowPassCoef = std::min(1.0f, 2.0f * p[pCutLo].fl / sampleRate);
    highPassCoef = std::min(1.0f, 2.0f * p[pCutHi].fl / sampleRate);
    crossDelay = p[pCross].value != 0;
    filtersInFeedback = p[pFilterInFeedback].value != 0;
}

float DelayStereo_c::getFadeTime()
{
    const Parameter_c* p = ownParameters();
    if (!p)
        return 0.0f;
    const double g = DelayLines::passesTo80dB(p[pFeed].fl);
    const double tl = delaySeconds(p, 0) * g + 0.1;
    const double tr = delaySeconds(p, 1) * g + 0.1;
    return static_cast<float>(std::max(tl, tr));
}

void DelayStereo_c::updateTaps(float dL, float dR)
{
    const float c = static_cast<float>(writeCounter + ControlStepFrames);
    const double target[2] = {static_cast<double>(c - dL), static_cast<double>(c - dR)};
    for (int side = 0; side < 2; ++side) {
        // A tap that has left the line (a non-finite state, or a counter
        // fold it missed) starts again from its target.
        const double distance = static_cast<double>(writeCounter) - position[side];
        if (restart || !(distance >= 0.0 && distance <= static_cast<double>(lineLength - LineHeadroom)))
            position[side] = target[side] - ControlStepFrames;
        const double r = ((target[side] - position[side]) * 0.125 - 1.0) * RatePull + 1.0;
        rate[side] = std::clamp(r, static_cast<double>(RateMin), static_cast<double>(RateMax));
    }
    restart = false;
}

template <bool Cross, bool FilterInFeedback>
void DelayStereo_c::renderLines(int n, float* inL, float* inR, float* outL, float* outR)
{
    const Parameter_c* p = ownParameters();
    const float dL = static_cast<float>(delaySeconds(p, 0) * sampleRate);
    const float dR = static_cast<float>(delaySeconds(p, 1) * sampleRate);
    float* const left = lines[0];
    float* const right = lines[1];
    const float fbL = feedback[0];
    const float fbR = feedback[1];
    const float same = sameGain;
    const float cross = crossGain;
    const float w = wet;
    const float hp = highPassCoef;
    const float lp = lowPassCoef;
    for (int i = 0; i < n; ++i) {
        if (i % ControlStepFrames == 0)
            updateTaps(dL, dR);
        const float xL = inL[i];
        const float xR = inR[i];
        const float yL = left[static_cast<int32_t>(position[0]) & mask];
        const float yR = right[static_cast<int32_t>(position[1]) & mask];
        lowState[0] = flushTiny(lowState[0] + (yL - lowState[0]) * hp);
        bandState[0] = flushTiny(bandState[0] + (yL - lowState[0] - bandState[0]) * lp);
        lowState[1] = flushTiny(lowState[1] + (yR - lowState[1]) * hp);
        bandState[1] = flushTiny(bandState[1] + (yR - lowState[1] - bandState[1]) * lp);
        const float zL = bandState[0];
        const float zR = bandState[1];
        const float mL = same * zL + cross * zR;
        const float mR = same * zR + cross * zL;
        const int32_t at = writeCounter & mask;
        if constexpr (FilterInFeedback && Cross) {
            left[at] = flushTiny(fbL * mL + xL);
            right[at] = flushTiny(fbR * mR + xR);
        } else if constexpr (FilterInFeedback) {
            left[at] = flushTiny(fbL * zL + xL);
            right[at] = flushTiny(fbR * zR + xR);
        } else if constexpr (Cross) {
            left[at] = flushTiny((same * yL + cross * yR) * fbL + xL);
            right[at] = flushTiny((same * yR + cross * yL) * fbR + xR);
        } else {
            left[at] = flushTiny(fbL * yL + xL);
            right[at] = flushTiny(fbR * yR + xR);
        }
        mixSample(&outL, xL + w * mL);
        mixSample(&outR, xR + w * mR);
        ++writeCounter;
        position[0] += rate[0];
        position[1] += rate[1];
        if (writeCounter >= foldAt) {
            // Keeps the double positions precise and the int far from its
            // limit; every distance stays as it was.
            writeCounter -= foldBy;
            position[0] -= foldByD;
            position[1] -= foldByD;
        }
    }
}

void DelayStereo_c::repairState()
{
    // A non-finite sample that reached the filters has spread through the
    // lines as well: start again from silence rather than ring NaN forever.
    if (std::isfinite(lowState[0] + lowState[1] + bandState[0] + bandState[1]))
        return;
    initBuffer();
    restart = true;
}

void DelayStereo_c::render(int n)
{
    RenderingScope scope(*this);
    StereoPins_t pins;
    if (!active || !ready || !openStereoReadWrite(n, pins))
        return;
    auto [inL, inR, outL, outR] = pins;
    if (crossDelay && filtersInFeedback)
        renderLines<true, true>(n, inL, inR, outL, outR);
    else if (crossDelay)
        renderLines<true, false>(n, inL, inR, outL, outR);
    else if (filtersInFeedback)
        renderLines<false, true>(n, inL, inR, outL, outR);
    else
        renderLines<false, false>(n, inL, inR, outL, outR);
    outputBusA->doneWriteStereo();
    repairState();
}
