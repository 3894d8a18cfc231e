#include "Reverb2.h"

#include "DelayLines.h"
#include "InBuffer2.h"
#include "ParaRow.h"
#include "Parameter.h"
#include "Synth.h"
#include "TempoSync.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr float BaseRate = 44100.0f; // the rate the base lengths are given at
constexpr int CombBase[2][Reverb2_c::NumCombs] = {{1116, 1211, 1277, 1379, 1422, 1514, 1557, 1641},
                                                 {1139, 1188, 1300, 1356, 1445, 1491, 1580, 1617}};
constexpr int AllpassBase[2][Reverb2_c::NumAllpasses] = {{556, 467, 341, 246, 193, 316},
                                                         {579, 441, 364, 225, 216, 293}};
constexpr int PreDelayBase = 5515;
constexpr float SweepFactor[2][Reverb2_c::NumCombs] = {{2.62f, 2.55f, 2.49f, 2.37f, 2.29f, 2.12f, 2.07f, 1.98f},
                                                      {2.61f, 2.52f, 2.46f, 2.38f, 2.25f, 2.14f, 2.01f, 1.99f}};
constexpr float SweepBase = 1.79f;  // Hz, times 0.4 and the comb's factor
constexpr float SweepScale = 0.4f;
constexpr int LineSlack = 10;       // floats allocated beyond a line's length
constexpr double MaxPredelay = 0.125; // s; longer ones are halved
constexpr int SyncOffCode = 9;      // the note-value item " Off "

// The note values " Off " (not synchronised) .. "15/16" (codes 9..26).
constexpr auto NoteItems = noteValueSubItems<SyncOffCode, NoteValueCodeLast>();

using DelayLines::flushTiny;

// Index i - j wrapped into 0..a-1 (a floor modulo: i - j may be negative).
inline int wrapBack(int i, int j, int a)
{
    const int r = (i - j) % a;
    return r < 0 ? r + a : r;
}

float sweepIncrement(int depth, float frequency, float rate)
{
    return 2.0f * static_cast<float>(depth) * frequency / rate;
}

// Allocates a line for the rate: length from the base, the index kept when it
// still lies inside, length + slack floats of which the first length are 0.
void allocateLine(Reverb2_c::Line_t& line, float rate)
{
    line.sampleRate = rate;
    std::free(line.buffer);
    line.buffer = nullptr;
    line.length = static_cast<int32_t>(rate / BaseRate * static_cast<float>(line.base) + 0.5f);
    if (line.index >= line.length)
        line.index = 0;
    line.buffer = static_cast<float*>(std::calloc(static_cast<size_t>(line.length) + LineSlack, sizeof(float)));
}

void freeLine(Reverb2_c::Line_t& line)
{
    std::free(line.buffer);
    line.buffer = nullptr;
}

void zeroLine(Reverb2_c::Line_t& line)
{
    if (line.buffer && line.length > 0)
        std::memset(line.buffer, 0, static_cast<size_t>(line.length) * sizeof(float));
}

inline float combPlain(Reverb2_c::Comb_t& c, float p)
{
    const float a = c.buffer[c.index];
    c.state = flushTiny(c.damping * c.state + (1.0f - c.damping) * a);
    c.buffer[c.index] = flushTiny(c.state * c.feedback + p);
    if (++c.index >= c.length)
        c.index = 0;
    return a;
}

inline void sweepWrap(Reverb2_c::Comb_t& c)
{
    if (c.fraction >= 1.0f) {
        c.fraction -= 1.0f;
        ++c.offset;
    }
    if (c.fraction < 0.0f) {
        c.fraction += 1.0f;
        --c.offset;
    }
}

inline float combSwept(Reverb2_c::Comb_t& c, float p)
{
    int r = c.index + c.offset;
    if (r >= c.length)
        r -= c.length;
    int r1 = r + 1;
    if (r1 >= c.length)
        r1 -= c.length;
    const float a = (1.0f - c.fraction) * c.buffer[r] + c.fraction * c.buffer[r1];
    c.fraction += c.increment;
    sweepWrap(c);
    if (c.offset > c.depth || c.offset < 0) {
        c.fraction -= c.increment;
        c.increment = -c.increment;
        sweepWrap(c);
        // A depth lowered below where the sweep stood would leave it turning
        // back and forth outside its range for good: it re-enters at the
        // edge instead.
        c.offset = std::clamp(c.offset, 0, c.depth);
    }
    c.state = flushTiny(c.damping * c.state + (1.0f - c.damping) * a);
    c.buffer[c.index] = flushTiny(c.state * c.feedback + p);
    if (++c.index >= c.length)
        c.index = 0;
    return a;
}

inline float allpass(Reverb2_c::Allpass_t& ap, float s)
{
    const float b = ap.buffer[ap.index];
    ap.buffer[ap.index] = flushTiny(ap.feedback * b + s);
    if (++ap.index >= ap.length)
        ap.index = 0;
    return b - s;
}

} // namespace

void Reverb2_c::PreDelay_t::setMaxIdx(int m)
{
    if (m < 0 || m >= length || !buffer)
        return;
    if (active >= length) {
        active = m;
        zeroLine(*this);
        return;
    }
    // Whether the fragments are taken and written back is one decision, made
    // before the active length changes.
    const bool crossfade = std::min(active, m) > CrossfadeLength;
    if (crossfade) {
        for (int j = 0; j < CrossfadeLength; ++j) {
            const float k = static_cast<float>(j) / CrossfadeLength;
            fadeOut[j] = (1.0f - k) * buffer[(index + j) % active];
            fadeIn[j] = k * buffer[wrapBack(index, j, active)];
        }
    }
    active = m;
    zeroLine(*this);
    if (crossfade) {
        for (int j = 0; j < CrossfadeLength; ++j) {
            buffer[j] = fadeOut[j];
            buffer[active - CrossfadeLength + j] = fadeIn[j];
        }
    }
    index = 0;
}

Reverb2_c::Reverb2_c()
{
    active = false;
    for (int side = 0; side < 2; ++side) {
        for (int k = 0; k < NumCombs; ++k)
            combs[side][k].base = CombBase[side][k];
        for (int k = 0; k < NumAllpasses; ++k)
            allpasses[side][k].base = AllpassBase[side][k];
    }
    predelay.base = PreDelayBase;
    setFreq(SweepBase);
    sampleRate = BaseRate;
}

Reverb2_c::~Reverb2_c()
{
    freeBuffer();
}

bool Reverb2_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    return defineParas(shared, nSets, ParaCount, {
        {.index = pOnOff, .kind = ParaKind::OnOff, .name = "OffOn", .def = 1},
        {.index = pWetOld, .name = "WetOld", .unit = "%", .lo = -1, .hi = 100, .precision = 2, .def = -1},
        {.index = pRevTime, .name = "RevTime", .unit = "s", .logFactor = 2.0f, .lo = 1, .hi = 100, .precision = 1,
         .def = 20},
        {.index = pDamping, .name = "Damping ", .unit = "%", .lo = 0, .hi = 90, .precision = 2, .def = 20},
        {.index = pPredelay, .name = "Predelay", .unit = "ms", .lo = 0, .hi = 125, .precision = 0, .def = 25},
        {.index = pWet, .name = "Wet", .unit = "%", .logFactor = 4.0f, .lo = 0, .hi = 1000, .precision = 3, .def = 80},
        {.index = pSync, .kind = ParaKind::Enu, .name = "Frequency", .unit = "Notes", .lo = 9, .hi = 26, .def = 9,
         .width = NoteValueItemWidth, .items = NoteItems.data()},
        {.index = pModOn, .kind = ParaKind::OnOff, .name = "Modulation On/Off", .def = 0},
        {.index = pDiffusors, .name = "Diffusors", .lo = 2, .hi = 6, .precision = 0, .def = 4},
        {.index = pModFreq, .name = "Mod Freq", .unit = "Hz", .lo = 3, .hi = 20, .precision = 0, .def = 10},
    });
}

void Reverb2_c::setFreq(float f)
{
    for (int side = 0; side < 2; ++side)
        for (int k = 0; k < NumCombs; ++k) {
            Comb_t& c = combs[side][k];
            c.frequency = f * SweepScale * SweepFactor[side][k];
            c.increment = sweepIncrement(c.depth, c.frequency, c.sampleRate);
        }
}

void Reverb2_c::setDepth(int d)
{
    for (int side = 0; side < 2; ++side)
        for (int k = 0; k < NumCombs; ++k) {
            Comb_t& c = combs[side][k];
            c.depth = d + NumCombs - 1 - k;
            // The sweep keeps its direction; only its speed follows the depth.
            const float step = sweepIncrement(c.depth, c.frequency, c.sampleRate);
            c.increment = c.increment < 0.0f ? -step : step;
        }
}

bool Reverb2_c::buffersOk() const
{
    if (!predelay.buffer)
        return false;
    for (int side = 0; side < 2; ++side) {
        for (const Comb_t& c : combs[side])
            if (!c.buffer)
                return false;
        for (const Allpass_t& a : allpasses[side])
            if (!a.buffer)
                return false;
    }
    return true;
}

void Reverb2_c::mute()
{
    if (!buffersOk())
        return;
    for (int side = 0; side < 2; ++side) {
        for (Comb_t& c : combs[side]) {
            zeroLine(c);
            c.state = 0.0f;
        }
        for (Allpass_t& a : allpasses[side])
            zeroLine(a);
    }
    zeroLine(predelay);
}

void Reverb2_c::resume()
{
    mute();
}

void Reverb2_c::initBuffer()
{
    mute();
}

void Reverb2_c::releaseLines()
{
    for (int side = 0; side < 2; ++side) {
        for (Comb_t& c : combs[side])
            freeLine(c);
        for (Allpass_t& a : allpasses[side])
            freeLine(a);
    }
    freeLine(predelay);
}

void Reverb2_c::allocateBuffer()
{
    if (!(sampleRate > MinAllocRate))
        return;
    freeBuffer();
    for (int side = 0; side < 2; ++side) {
        for (Comb_t& c : combs[side]) {
            allocateLine(c, sampleRate);
            c.increment = sweepIncrement(c.depth, c.frequency, c.sampleRate);
            c.offset = std::clamp(c.offset, 0, c.depth);
        }
        for (Allpass_t& a : allpasses[side])
            allocateLine(a, sampleRate);
    }
    allocateLine(predelay, sampleRate);
    // Silent before the part can be ready: the audio thread may render as
    // soon as it is.
    if (buffersOk())
        mute();
    ReadyThenCache(crActivate);
}

void Reverb2_c::checkSetFlagReady()
{
    // Decided before the flag goes up, so the audio thread never sees it up
    // while a condition fails.
    if (sampleRate > MinRenderRate && paraSet && buffersOk())
        VariatorInst_c::checkSetFlagReady();
    else
        ready = false;
}

double Reverb2_c::predelaySeconds(const Parameter_c* p) const
{
    if (!p)
        return 0.0;
    double t = syncedSeconds(p, pSync, pPredelay, SyncOffCode);
    while (t > MaxPredelay)
        t *= 0.5;
    return t > 0.0 ? t : 0.0;
}

void Reverb2_c::postprocessParaChange(int set, int idx)
{
    VariatorInst_c::postprocessParaChange(set, idx);
    if (idx != -1 && idx != pWetOld)
        return;
    const Parameter_c* p = getRenderParaPtr(set);
    if (!p || p[pWetOld].value == -1)
        return;
    // The former wet level had two decimals, "Wet" has three.
    setParaVal(set, pWet, p[pWetOld].value * 10);
    setParaVal(set, pWetOld, -1);
}

void Reverb2_c::cachePara(CacheReason_t reason, int set, int idx)
{
    const Parameter_c* p = refreshParameters(set, ready && paraSet);
    if (!p)
        return;
    const bool all = idx == -1;
    const bool predelayChanged = all || idx == pPredelay || idx == pSync;
    if (reason != crTempoChange) {
        if (all || idx == pWet)
            wetGain = 2.0f * p[pWet].fl;
        if (all || idx == pRevTime) {
            const float fb = static_cast<float>(std::pow(0.001, 0.029 / static_cast<double>(p[pRevTime].fl)));
            for (auto& side : combs)
                for (Comb_t& c : side)
                    c.feedback = fb;
        }
        if (all || idx == pDamping)
            for (auto& side : combs)
                for (Comb_t& c : side)
                    c.damping = p[pDamping].fl;
        sweepOn = p[pModOn].value != 0;
        diffusers = std::clamp<int32_t>(p[pDiffusors].value, 2, NumAllpasses);
        inputGain = 0.07f - 0.01f * static_cast<float>(diffusers);
        if (all || idx == pModFreq)
            pendingDepth = p[pModFreq].value;
    }
    if (predelayChanged)
        pendingMaxIdx = static_cast<int32_t>(predelaySeconds(p) * sampleRate + 0.5);
}

float Reverb2_c::getFadeTime()
{
    const Parameter_c* p = ownParameters();
    if (!p)
        return 0.0f;
    return static_cast<float>((p[pRevTime].fl + predelaySeconds(p)) * 1.4);
}

void Reverb2_c::takePending()
{
    const int32_t depth = pendingDepth.exchange(-1);
    if (depth >= 0)
        setDepth(depth);
    const int32_t m = pendingMaxIdx.exchange(-1);
    if (m >= 0)
        predelay.setMaxIdx(m);
}

template <bool Stereo>
void Reverb2_c::renderChannels(int n, float* inL, float* inR, float* outL, float* outR)
{
    // The active length never exceeds the line, whatever a reallocation left.
    const int32_t a = std::min(predelay.active, predelay.length);
    int32_t i = predelay.index < a ? predelay.index : 0;
    float* const pre = predelay.buffer;
    const float gain = inputGain;
    const float w = wetGain;
    const int stages = std::clamp<int32_t>(diffusers, 0, NumAllpasses);
    const bool swept = sweepOn;
    for (int s = 0; s < n; ++s) {
        const float xL = inL[s];
        const float xR = Stereo ? inR[s] : xL;
        float p = pre[i];
        pre[i] = Stereo ? (xL + xR) * 0.5f : xL;
        if (++i >= a)
            i = 0;
        p *= gain;
        float sL = 0.0f;
        float sR = 0.0f;
        if (swept)
            for (int k = 0; k < NumCombs; ++k) {
                sL += combSwept(combs[0][k], p);
                sR += combSwept(combs[1][k], p);
            }
        else
            for (int k = 0; k < NumCombs; ++k) {
                sL += combPlain(combs[0][k], p);
                sR += combPlain(combs[1][k], p);
            }
        for (int k = 0; k < stages; ++k) {
            sL = allpass(allpasses[0][k], sL);
            sR = allpass(allpasses[1][k], sR);
        }
        mixSum(&outL, xL, w * sL);
        mixSum(&outR, xR, w * sR);
    }
    predelay.index = i;
}

void Reverb2_c::repairState()
{
    // A non-finite sample that reached the combs would circle there for
    // good: start again from silence.
    float probe = 0.0f;
    for (const auto& side : combs)
        for (const Comb_t& c : side)
            probe += c.state;
    if (std::isfinite(probe))
        return;
    mute();
}

void Reverb2_c::render(int n)
{
    RenderingScope scope(*this);
    if (!active || !ready || !inputBus || !outputBusA || !buffersOk())
        return;
    takePending();
    float* inL = nullptr;
    float* inR = nullptr;
    float* outL = nullptr;
    float* outR = nullptr;
    const bool mono = inputBus != outputBusA && inputBus->isMono();
    if (mono ? !inputBus->wantReadMono(&inL, false) : !inputBus->wantReadStereo(&inL, &inR))
        return;
    if (!outputBusA->wantWriteStereo(&outL, &outR))
        return;
    n = framesFor(n, inputBus, outputBusA);
    if (mono)
        renderChannels<false>(n, inL, nullptr, outL, outR);
    else
        renderChannels<true>(n, inL, inR, outL, outR);
    outputBusA->doneWriteStereo();
    repairState();
}
