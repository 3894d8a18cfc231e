#include "StereoEnh1.h"

#include "DelayLines.h"
#include "InBuffer2.h"
#include "ParaRow.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr float MinSampleRate = 22000.0f;

// The longest echo: "Roomsize" 10.0 ms is 0.01 x rate samples.
constexpr float LongestDelaySeconds = 0.01f;
constexpr float MsToSeconds = 0.001f;

// a = wet x 0.45; the direct signal keeps 1 - 0.8 a.
constexpr float CrossScale = 0.45f;
constexpr float DirectLoss = 0.8f;
// The echo feeds back half of itself: negative on the left, positive on the
// right.
constexpr float EchoFeedback = 0.5f;

// Release tail: 0.01329 s per ms of room plus 0.1 s.
constexpr float TailPerMs = 0.01329f;
constexpr float TailBase = 0.1f;

} // namespace

StereoEnh1_c::StereoEnh1_c() = default;

StereoEnh1_c::~StereoEnh1_c()
{
    freeLines();
}

void StereoEnh1_c::freeLines()
{
    std::free(lineL);
    std::free(lineR);
    lineL = nullptr;
    lineR = nullptr;
}

void StereoEnh1_c::setSampleRate(float rate)
{
    const float previous = sampleRate;
    sampleRate = rate;
    allocateBuffer();
    sampleRate = previous;
    VariatorInst_c::setSampleRate(rate);
}

void StereoEnh1_c::allocateBuffer()
{
    // A host may change the rate while the enhancer renders: the lines, their
    // length and mask change only after the audio thread has left render,
    // and ready (lowered first) keeps the next render out until they fit.
    ready = false;
    waitForRenderToLeave();
    // Room for the longest delay itself: a line exactly as long as the delay
    // (0.01 x 51200 Hz is 512) would fold that delay onto 0.
    const float longest = LongestDelaySeconds * sampleRate;
    const int needed = longest >= 1.0f && longest < 1e8f ? static_cast<int>(longest) + 1 : 1;
    int n = 1;
    while (n < needed)
        n *= 2;
    length = n;
    mask = n - 1;
    freeLines();
    lineL = allocSampleMem(n);
    lineR = allocSampleMem(n);
    if (lineL && lineR) {
        initBuffer();
        ReadyThenCache(crActivate);
    }
}

bool StereoEnh1_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    const bool result = defineParas(shared, nSets, ParaCount, {
        {.index = pWet, .name = "Wet", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 50},
        {.index = pRoomsize, .name = "Roomsize", .unit = "msec", .lo = 5, .hi = 100, .precision = 1, .def = 50},
        {.index = pFactor, .name = "Factor", .unit = "n", .lo = 10, .hi = 40, .precision = 1, .def = 20},
    });
    ReadyThenCache(crActivate);
    return result;
}

void StereoEnh1_c::initBuffer()
{
    if (lineL && lineR) {
        DelayLines::fillGuard(lineL, length);
        DelayLines::fillGuard(lineR, length);
    }
    writeIndex = 0;
}

void StereoEnh1_c::setInactive()
{
    const bool wasActive = active;
    VariatorInst_c::setInactive();
    if (wasActive && ready)
        initBuffer();
}

void StereoEnh1_c::checkSetFlagReady()
{
    VariatorInst_c::checkSetFlagReady();
    if (!lineL || !lineR || !(sampleRate > MinSampleRate) || !ownParameters() || length < 1)
        ready = false;
}

void StereoEnh1_c::cachePara(CacheReason_t reason, int set, int)
{
    const Parameter_c* p = refreshParameters(reason, set, ready);
    if (!p)
        return;
    const float a = p[pWet].fl * CrossScale;
    cross = a;
    direct = 1.0f - DirectLoss * a;
    const float room = p[pRoomsize].fl;
    roomSize = room;
    delay = std::clamp(static_cast<int>(sampleRate * MsToSeconds * room), 0, mask);
    const float side = (p[pFactor].fl - 1.0f) * (1.0f - (1.0f - a) * (1.0f - a)) + 1.0f;
    sideGain = side;
    if (side >= 1.0f)
        midGain = 1.0f / side;
}

float StereoEnh1_c::getFadeTime()
{
    return TailPerMs * roomSize + TailBase;
}

void StereoEnh1_c::render(int n)
{
    RenderingScope scope(*this);
    if (!active || !ready || !inputBus || !outputBusA)
        return;
    StereoPins_t pins;
    if (!openStereoWriteRead(n, pins))
        return;
    auto [inL, inR, outL, outR] = pins;
    if (inL) {
        const float a = cross;
        const float d0 = direct;
        const float mid = midGain * 0.5f;
        const float side = sideGain * 0.5f;
        const int d = std::clamp<int>(delay, 0, mask);
        int w = writeIndex;
        // The sum of everything read from the lines: not finite when a
        // non-finite value has got into them.
        float readSum = 0.0f;
        for (int i = 0; i < n; ++i) {
            const float l = inL[i];
            const float r = inR[i];
            const int at = (w + d) & mask;
            lineL[at] += l - EchoFeedback * lineL[w];
            lineR[at] += r + EchoFeedback * lineR[w];
            readSum += lineL[w] + lineR[w];
            const float eL = a * lineL[w];
            const float eR = a * lineR[w];
            lineL[w] = 0.0f;
            lineR[w] = 0.0f;
            w = (w + 1) & mask;
            const float outLeft = d0 * l + eL;
            const float outRight = d0 * r - eR;
            const float m = (outLeft + outRight) * mid;
            const float s = (outLeft - outRight) * side;
            mixSample(&outL, m + s);
            mixSample(&outR, m - s);
        }
        writeIndex = w;
        // A line that holds a non-finite value (one bad block) is cleared
        // rather than feeding it back for ever.
        if (!std::isfinite(readSum))
            initBuffer();
    }
    outputBusA->doneWriteStereo();
}
