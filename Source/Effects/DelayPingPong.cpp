#include "DelayPingPong.h"

#include "DelayLines.h"
#include "InBuffer2.h"
#include "ParaRow.h"
#include "Synth.h"
#include "TempoSync.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// Seconds of line per second of sample rate: the longest free time (1.3 s).
constexpr double LineSeconds = 1.3;
constexpr int LineHeadroom = 16; // a time is halved until it is shorter than L - 16
constexpr int SyncOffCode = 3;   // the note-value item " Off "

// The note values " Off " (not synchronised) .. " 5/8 " (codes 3..22).
constexpr auto NoteItems = noteValueSubItems<SyncOffCode, 22>();

constexpr DelayPingPong_c::Para_t TimePara[3] = {DelayPingPong_c::pTimeC, DelayPingPong_c::pTimeL,
                                                DelayPingPong_c::pTimeR};
constexpr DelayPingPong_c::Para_t SyncPara[3] = {DelayPingPong_c::pSyncC, DelayPingPong_c::pSyncL,
                                                DelayPingPong_c::pSyncR};

using DelayLines::flushTiny;

} // namespace

DelayPingPong_c::DelayPingPong_c()
{
    active = false;
}

DelayPingPong_c::~DelayPingPong_c()
{
    freeBuffer();
}

bool DelayPingPong_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    const bool defined = defineParas(shared, nSets, ParaCount, {
        {.index = pTimeC, .name = "Time Center", .unit = "msec", .logFactor = 4.0f, .lo = 1, .hi = 1300,
         .precision = 0, .def = 125},
        {.index = pSyncC, .kind = ParaKind::Enu, .name = "Sync Center", .unit = "Notes", .lo = 3, .hi = 22,
         .def = 13, .width = NoteValueItemWidth, .items = NoteItems.data()},
        {.index = pTimeL, .name = "Time Left", .unit = "msec", .logFactor = 4.0f, .lo = 1, .hi = 1300,
         .precision = 0, .def = 125},
        {.index = pSyncL, .kind = ParaKind::Enu, .name = "Sync Left", .unit = "Notes", .lo = 3, .hi = 22,
         .def = 7, .width = NoteValueItemWidth, .items = NoteItems.data()},
        {.index = pPanL, .name = "Pan Left", .lo = -100, .hi = 100, .precision = 2, .def = -100},
        {.index = pTimeR, .name = "Time Right", .unit = "msec", .logFactor = 4.0f, .lo = 1, .hi = 1300,
         .precision = 0, .def = 125},
        {.index = pSyncR, .kind = ParaKind::Enu, .name = "Sync Right", .unit = "Notes", .lo = 3, .hi = 22,
         .def = 10, .width = NoteValueItemWidth, .items = NoteItems.data()},
        {.index = pPanR, .name = "Pan Right", .lo = -100, .hi = 100, .precision = 2, .def = 100},
        {.index = pFeed, .name = "Feedback L+R", .unit = "%", .lo = 0, .hi = 99, .precision = 2, .def = 40},
        {.index = pBalance, .name = "Balance Pre/LR", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 50},
        {.index = pWet, .name = "Wet", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 15},
    });
    // A part without its parameter set has nothing to make ready.
    if (!defined)
        return false;
    ReadyThenCache(crActivate);
    return true;
}

void DelayPingPong_c::releaseLines()
{
    DelayLines::freeLines(lines);
}

void DelayPingPong_c::allocateBuffer()
{
    freeBuffer();
    lineLength = static_cast<int32_t>(static_cast<double>(sampleRate) * LineSeconds);
    for (float*& line : lines)
        line = allocSampleMem(lineLength);
    for (float* line : lines)
        if (!line) {
            freeBuffer();
            return;
        }
    initBuffer();
    for (int k = 0; k < 3; ++k) {
        index[k] = 0;
        delaySamples[k] = 0;
    }
    ReadyThenCache(crActivate);
}

void DelayPingPong_c::initBuffer()
{
    for (float* line : lines)
        DelayLines::fillGuard(line, lineLength);
}

void DelayPingPong_c::resume()
{
    ReadyThenCache(crActivate);
}

void DelayPingPong_c::checkSetFlagReady()
{
    // Decided before the flag goes up, so the audio thread never sees it up
    // while a condition fails.
    const bool linesOk = std::all_of(std::begin(lines), std::end(lines), [](const float* l) { return l; });
    if (linesOk && sampleRate > MinRenderRate && paraSet && lineLength >= 1)
        VariatorInst_c::checkSetFlagReady();
    else
        ready = false;
}

double DelayPingPong_c::delaySeconds(const Parameter_c* p, int line) const
{
    if (!p || lineLength <= LineHeadroom)
        return 0.0;
    const double t = syncedSeconds(p, SyncPara[line], TimePara[line], SyncOffCode);
    return DelayLines::fitDelay(t, sampleRate, static_cast<double>(lineLength - LineHeadroom));
}

void DelayPingPong_c::cachePara(CacheReason_t reason, int set, int)
{
    const Parameter_c* p = refreshParameters(set, ready && paraSet);
    if (!p)
        return;
    for (int k = 0; k < 3; ++k)
        delaySamples[k] = DelayLines::wholeDelay(delaySeconds(p, k), sampleRate, lineLength);
    if (reason == crTempoChange)
        return;
    const float b = p[pBalance].fl;
    preGain = 1.0f - b;
    const float pl = (p[pPanL].fl + 1.0f) * 0.5f;
    const float pr = (p[pPanR].fl + 1.0f) * 0.5f;
    gainLL = b * (1.0f - pl);
    gainLR = b * pl;
    gainRR = b * pr;
    gainRL = b * (1.0f - pr);
    wet = p[pWet].fl;
    feedback = p[pFeed].fl;
}

float DelayPingPong_c::getFadeTime()
{
    const Parameter_c* p = ownParameters();
    if (!p)
        return 0.0f;
    const double g = DelayLines::passesTo80dB(p[pFeed].fl);
    const double loop = (delaySeconds(p, lineLeft) + delaySeconds(p, lineRight)) * g + 0.1;
    return static_cast<float>(loop + delaySeconds(p, lineCentre) + 0.1);
}

void DelayPingPong_c::repairState(float probe)
{
    // A non-finite sample in the loop would circle there for good: start the
    // lines again from silence.
    if (std::isfinite(probe))
        return;
    initBuffer();
}

void DelayPingPong_c::render(int n)
{
    RenderingScope scope(*this);
    StereoPins_t pins;
    if (!active || !ready || !openStereoReadWrite(n, pins))
        return;
    auto [inL, inR, outL, outR] = pins;
    float* const centreL = lines[0];
    float* const centreR = lines[1];
    float* const loopL = lines[2];
    float* const loopR = lines[3];
    // A ring holds delay + 1 samples; the delays are kept inside the line
    // whatever was stored, so an index never leaves it.
    int32_t last[3];
    for (int k = 0; k < 3; ++k)
        last[k] = std::clamp<int32_t>(delaySamples[k], 0, lineLength - 1);
    int32_t iC = std::min(index[0], lineLength - 1);
    int32_t iL = std::min(index[1], lineLength - 1);
    int32_t iR = std::min(index[2], lineLength - 1);
    const double fb = feedback;
    const float pre = preGain;
    const float w = wet;
    float probe = 0.0f;
    for (int i = 0; i < n; ++i) {
        const float xL = inL[i];
        const float xR = inR[i];
        const float cL = centreL[iC];
        const float cR = centreR[iC];
        centreL[iC] = xL;
        centreR[iC] = xR;
        const float r = loopR[iR];
        const float l = loopL[iL];
        loopL[iL] = flushTiny(static_cast<float>(fb * r + (static_cast<double>(cL) + cR) * 0.5));
        loopR[iR] = l;
        probe += l;
        mixSum(&outL, xL, w * (cL * pre + gainLL * l + gainRL * r));
        mixSum(&outR, xR, w * (cR * pre + gainLR * l + gainRR * r));
        if (++iC > last[0])
            iC = 0;
        if (++iL > last[1])
            iL = 0;
        if (++iR > last[2])
            iR = 0;
    }
    index[0] = iC;
    index[1] = iL;
    index[2] = iR;
    outputBusA->doneWriteStereo();
    repairState(probe);
}
