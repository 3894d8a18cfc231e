#include "Chorus1.h"

#include "DelayLines.h"
#include "InBuffer2.h"
#include "ParaRow.h"
#include "Parameter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// The parameter extremes that set the longest delay a tap can reach: voice 3
// at the largest sweep reads (1 + 0.75) x (1 + 1.23 x spread) x base.
constexpr double MaxTimeSeconds = 0.006;
constexpr double MaxTimeSpread = 0.9;
constexpr double LongerSpread = 1.23;
constexpr double ExtraSweep = 0.75;     // sweep of voices 3 and 4
constexpr float MainSweep = 0.66666f;   // sweep of voices 1 and 2
// Beyond the longest delay the line holds the control step a tap trails its
// target by, the interpolation's second sample and the drift of a clamped
// rate over one step.
constexpr int LineHeadroom = 16;
// A tap is restarted when its distance leaves this band; in steady work it
// lies between 8 and the longest delay + 8.
constexpr double TapNear = 3.0;
constexpr int TapFarMargin = 4;
constexpr float RateMin = 0.7937f; // a quarter tone down and up
constexpr float RateMax = 1.26f;
constexpr int StartCounter = 100;
constexpr int FoldAbove = 1000000; // keeps the float counter exact
constexpr int LFOSpeedPara = 3;    // hundredths of a hertz
constexpr int LFONotePara = 5;
constexpr int LFOWaveformPara = 2;

float clampUnit(float x)
{
    // NaN counts as the lower end, so a broken input cannot move a tap out of
    // the line.
    if (!(x > -1.0f))
        return -1.0f;
    return x < 1.0f ? x : 1.0f;
}

using DelayLines::powerOfTwoAtLeast;

} // namespace

Chorus1_c::Chorus1_c()
{
    for (int k = 0; k < NumLFOs; ++k)
        lfo[k].setPtr(&lfoInput[k].value, &lfoInput[k].increment, &lfoInput[k].remaining);
}

Chorus1_c::~Chorus1_c()
{
    std::free(line);
}

int Chorus1_c::getTypeCode() const
{
    return TypeCodeChorus1;
}

float Chorus1_c::getFadeTime()
{
    return 0.01f;
}

bool Chorus1_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    return defineParas(shared, nSets, ParaCount, {
        {.index = pOnOff, .kind = ParaKind::OnOff, .name = "OffOn", .def = 1},
        {.index = pTime, .name = "Chorus Time", .unit = "ms", .logFactor = 4.0f, .lo = 1, .hi = 600, .precision = 2,
         .def = 200},
        {.index = pTimeSpread, .name = "Chorus TimeSpread", .unit = "%", .lo = 0, .hi = 90, .precision = 2, .def = 30},
        {.index = pSpeed, .name = "Chorus Speed", .unit = "Hz", .logFactor = 4.0f, .lo = 20, .hi = 4000,
         .precision = 3, .def = 500},
        {.index = pSpeedSpread, .name = "Chorus SpeedSpread", .unit = "%", .lo = 0, .hi = 90, .precision = 2,
         .def = 30},
        {.index = pWet, .name = "Chorus Wet", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 60},
        {.index = pMode, .name = "Chorus Mode", .lo = 0, .hi = 1, .precision = 0, .def = 0},
        {.index = pInvert, .kind = ParaKind::OnOff, .name = "Invert Signal", .def = 0},
        {.index = pDry, .name = "Chorus Dry", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 100},
        {.index = pStereo, .name = "Chorus Stereo", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 100},
    });
}

double Chorus1_c::maxTapDelay(float rate)
{
    return (1.0 + ExtraSweep) * (1.0 + LongerSpread * MaxTimeSpread) * MaxTimeSeconds * rate;
}

void Chorus1_c::setSampleRate(float rate)
{
    const int length = powerOfTwoAtLeast(static_cast<int>(std::ceil(maxTapDelay(rate))) + LineHeadroom);
    // A host may change the rate while the chorus renders: the old line is
    // freed only after the audio thread has left render, and ready (lowered
    // first) keeps the next render out until the new line is in place.
    ready = false;
    waitForRenderToLeave();
    std::free(line);
    line = allocSampleMem(length);
    if (!line) {
        lineLength = 0;
        return;
    }
    lineLength = length;
    mask = length - 1;
    initBuffer();
    for (LFOSimp_c& l : lfo)
        l.setSampleRate(rate);
    VariatorInst_c::setSampleRate(rate);
}

void Chorus1_c::initBuffer()
{
    writeCounter = StartCounter;
    for (double& p : position)
        p = 0.0;
    if (line)
        std::fill(line, line + lineLength, 0.0f);
}

void Chorus1_c::checkSetFlagReady()
{
    // Decided before the flag goes up, so the audio thread never sees it up
    // while a condition fails.
    if (sampleRate > MinRenderRate && line)
        VariatorInst_c::checkSetFlagReady();
    else
        ready = false;
}

void Chorus1_c::resume()
{
    if (!ready)
        return;
    const int set = std::max<int>(routeIndex, 0);
    Note_c n;
    n.set(60, 100);
    for (LFOSimp_c& l : lfo) {
        l.setParaCharPtr(set, LFOWaveformPara, "Triang");
        l.prepProc(set, n, false, false);
    }
}

void Chorus1_c::cachePara(CacheReason_t reason, int set, int idx)
{
    const Parameter_c* p = refreshParameters(reason, set, paraSet && ready);
    if (!p)
        return;
    if (idx == -1 || idx == pSpeed || idx == pSpeedSpread) {
        const float s = p[pSpeed].fl;
        const float spread = p[pSpeedSpread].fl;
        const float speeds[NumLFOs] = {s, (1.0f - spread) * s, (1.0f + spread) * s};
        for (int k = 0; k < NumLFOs; ++k) {
            lfo[k].setParaVal(set, LFOSpeedPara, static_cast<int>(speeds[k] * 100.0f));
            lfo[k].setParaVal(set, LFONotePara, -13);
        }
    }
    if (idx == pMode || reason == crProgramChange)
        joinExtraVoices = true;
    const float b = sampleRate * 0.001f * p[pTime].fl;
    const float t = p[pTimeSpread].fl;
    baseDelay = b;
    longerDelay = (1.0f + 1.23f * t) * b;
    // (1 - 1.44 t) turns negative above t = 0.694: a tap would read ahead of
    // the writer. One sample is the shortest delay that reads written data.
    shorterDelay = std::max(1.0f, (1.0f - 1.44f * t) * b);
    const float w = p[pWet].fl * (p[pInvert].value != 0 ? -1.0f : 1.0f);
    const float width = p[pStereo].fl;
    const float g = 1.0f - 0.43f * std::fabs(w) - 0.19f * width * std::fabs(w);
    sameGain = (0.5f + 0.5f * width) * w * g;
    otherGain = (0.5f - 0.5f * width) * w * g;
    dryGain = p[pDry].fl * g;
}

float Chorus1_c::stepLFO(int k)
{
    LFOInput_t& in = lfoInput[k];
    in.value += in.increment;
    if (--in.remaining < 1)
        lfo[k].goNextPhase();
    return clampUnit(in.value);
}

void Chorus1_c::updateModulation(bool four)
{
    if (joinExtraVoices.exchange(false))
        position[2] = position[3] = position[0];
    const double c = static_cast<double>(static_cast<float>(writeCounter));
    const float m1 = stepLFO(0);
    double target[NumTaps];
    target[0] = c - (1.0f + MainSweep * m1) * baseDelay;
    target[1] = c - (1.0f - MainSweep * m1) * baseDelay;
    int taps = 2;
    if (four) {
        const float m2 = stepLFO(1);
        const float m3 = stepLFO(2);
        target[2] = c - (1.0f - static_cast<float>(ExtraSweep) * m2) * longerDelay;
        target[3] = c - (1.0f + static_cast<float>(ExtraSweep) * m3) * shorterDelay;
        taps = 4;
    }
    const double far = static_cast<double>(lineLength - TapFarMargin);
    for (int k = 0; k < taps; ++k) {
        const double distance = static_cast<double>(writeCounter) - position[k];
        if (!(distance >= TapNear && distance <= far))
            position[k] = target[k] - ControlStepFrames;
        rate[k] = std::clamp((target[k] - position[k]) * 0.125, static_cast<double>(RateMin),
                             static_cast<double>(RateMax));
    }
}

template <bool Stereo, bool Four>
void Chorus1_c::renderVoices(int n, float* inL, float* inR, float* outL, float* outR)
{
    const float same = sameGain;
    const float other = otherGain;
    const float dry = dryGain;
    const auto tap = [this](int k) { return DelayLines::readLinear(line, mask, position[k]); };
    for (int i = 0; i < n; ++i) {
        if (i % ControlStepFrames == 0)
            updateModulation(Four);
        const float xL = inL[i];
        const float xR = Stereo ? inR[i] : xL;
        line[writeCounter & mask] = Stereo ? (xL + xR) * 0.5f : xL;
        ++writeCounter;
        float a = tap(0);
        float b = tap(1);
        if constexpr (Four) {
            a += tap(2);
            b += tap(3);
        }
        mixSample(&outL, dry * xL + same * a + other * b);
        mixSample(&outR, dry * xR + same * b + other * a);
        for (int k = 0; k < (Four ? 4 : 2); ++k)
            position[k] += rate[k];
    }
}

void Chorus1_c::foldCounter()
{
    if (writeCounter <= FoldAbove)
        return;
    // Every tap keeps its distance to the writer.
    const int32_t folded = (writeCounter & mask) + lineLength;
    const double shift = static_cast<double>(writeCounter - folded);
    writeCounter = folded;
    for (double& p : position)
        p -= shift;
}

void Chorus1_c::render(int n)
{
    if (!paraSet)
        return;
    RenderingScope scope(*this);
    if (!active || !ready || !line || !inputBus || !outputBusA)
        return;
    const Parameter_c* p = ownParameters();
    const bool four = p && p[pMode].value == 1;
    float* inL = nullptr;
    float* inR = nullptr;
    float* outL = nullptr;
    float* outR = nullptr;
    const bool stereo = inputBus->isStereo();
    if (stereo ? !inputBus->wantReadStereo(&inL, &inR) : !inputBus->wantReadMono(&inL, false))
        return;
    if (!outputBusA->wantWriteStereo(&outL, &outR))
        return;
    n = framesFor(n, inputBus, outputBusA);
    if (stereo)
        four ? renderVoices<true, true>(n, inL, inR, outL, outR) : renderVoices<true, false>(n, inL, inR, outL, outR);
    else
        four ? renderVoices<false, true>(n, inL, nullptr, outL, outR)
             : renderVoices<false, false>(n, inL, nullptr, outL, outR);
    outputBusA->doneWriteStereo();
    foldCounter();
}
