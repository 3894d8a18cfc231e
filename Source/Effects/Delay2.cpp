#include "Delay2.h"

#include "DelayLines.h"
#include "InBuffer2.h"
#include "ParaRow.h"
#include "SafeDiv.h"
#include "Synth.h"
#include "TempoSync.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <typeinfo>

namespace {

// The delay note value offers the codes 3..17 (" 1/2*" written " Off ").
constexpr int NotesLo = 3;
constexpr int NotesHi = 17;
constexpr auto DelayNoteItems = noteValueSubItems<NotesLo, NotesHi>();

// Seconds of delay time L must hold.
constexpr double LineSeconds = 0.68;
// The low-pass form's DC tracker moves this share of the way per sample.
constexpr float DcTrack = 0.0001f;
// Filter coefficients are tuned at this rate and scaled to others.
constexpr double TuningRate = 44100.0;
// The write counter is folded back by FoldBack x L once it reaches FoldAt x L,
// so the double read positions keep their precision. Both are multiples of 2,
// so the fold keeps every index in place on the 2 L line.
constexpr int64_t FoldAt = 32;
constexpr int64_t FoldBack = 30;
// How hard a tap's rate chases its target, and the rate's bounds.
constexpr double ChaseGain = 0.0015;
constexpr double MinTapRate = 0.25;
constexpr double MaxTapRate = 4.0;
// Feedback values beyond this (or not finite) are dropped, so one bad input
// sample cannot poison the line for ever.
constexpr float HugeLevel = 1e30f;

using DelayLines::flushTiny;

// The line at read position pos, with `written` the next slot to write. A
// tap never reads the slot about to be written (it holds the oldest sample,
// not the newest) nor beyond the line's far end (2 L = length), whatever the
// modulation asks for.
inline float tapAt(const float* line, int32_t mask, int32_t length, double pos, int64_t written)
{
    const double nearest = static_cast<double>(written) - 1.0;
    const double farthest = static_cast<double>(written - length + 2);
    pos = std::clamp(pos, farthest, nearest);
    const double whole = std::floor(pos);
    const float frac = static_cast<float>(pos - whole);
    const int64_t i = static_cast<int64_t>(whole);
    const float a = line[i & mask];
    const float b = line[(i + 1) & mask];
    return (1.0f - frac) * a + frac * b;
}

} // namespace

Delay2_c::Delay2_c()
{
    restart = true;
    active = false;
}

Delay2_c::~Delay2_c()
{
    freeBuffer();
}

// ---------------------------------------------------------------------------
// Parameters

bool Delay2_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    return defineParas(shared, nSets, ParaCount, {
        {.index = pOffOn, .kind = ParaKind::OnOff, .name = "OffOn", .def = 1},
        {.index = pTime, .name = "Time", .unit = "msec", .logFactor = 4.0f, .lo = 10, .hi = 6800, .precision = 1,
         .def = 1000},
        {.index = pFeed, .name = "Feed", .unit = "%", .lo = 0, .hi = 99, .precision = 2, .def = 40},
        {.index = pFilOld, .name = "Fil ", .lo = -100, .hi = 100, .precision = 2, .def = 0},
        {.index = pWet, .name = "Wet", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 40},
        {.index = pModRate, .name = "ModRate", .unit = "Hz", .logFactor = 4.0f, .lo = 1, .hi = 200, .precision = 2,
         .def = 100},
        {.index = pModDepth, .name = "ModDept", .logFactor = 4.0f, .lo = 0, .hi = 990, .precision = 3, .def = 0},
        {.index = pSync, .kind = ParaKind::OnOff, .name = "Sync", .def = 0},
        {.index = pNotes, .kind = ParaKind::Enu, .name = "Frequency", .unit = NoteValueUnit, .lo = NotesLo,
         .hi = NotesHi, .def = 13, .width = NoteValueItemWidth, .items = DelayNoteItems.data()},
        {.index = pFil, .name = "Fil ", .lo = -100, .hi = 100, .precision = 2, .def = 0},
        {.index = pModNotes, .kind = ParaKind::Enu, .name = "Frequency", .unit = NoteValueUnit,
         .lo = NoteValueCodeOff, .hi = NoteValueCodeLast, .def = NoteValueCodeOff, .width = NoteValueItemWidth,
         .items = NoteValueItems},
    });
}

void Delay2_c::postprocessParaChange(int set, int idx)
{
    if (Parameter_c* p = getRenderParaPtr(set)) {
        // A set stored with the sync switch off means "free time".
        if ((idx == -1 || idx == pSync) && p[pSync].value == 0) {
            p[pNotes].setVal(p[pNotes].getLowValue());
            p[pSync].setVal(1);
        }
        // The former filter setting ran the other way round.
        if ((idx == -1 || idx == pFilOld) && p[pFilOld].value != 0) {
            p[pFil].setVal(-p[pFilOld].value);
            p[pFilOld].setVal(0);
        }
    }
    VariatorInst_c::postprocessParaChange(set, idx);
}

double Delay2_c::delaySeconds(const Parameter_c* p, float rate) const
{
    const int code = p[pNotes].value;
    double t = p[pTime].fl * 0.001;
    if (code > p[pNotes].getLowValue()) {
        const double synced = FractToQuarterMultiple::periodSeconds(code, RecBpm.load());
        if (std::isfinite(synced) && synced > 0.0)
            t = synced;
    }
    // Without a line (L = 0) there is nothing to fit into: halving would
    // never end.
    const double limit = lineLength;
    if (limit >= 1.0 && rate > 0.0f)
        while (rate * t >= limit)
            t *= 0.5;
    return t;
}

void Delay2_c::cachePara(CacheReason_t reason, int set, int)
{
    const Parameter_c* p = refreshParameters(set, paraSet != nullptr);
    if (!p)
        return;
    const float rate = sampleRate;
    const double d = rate > 0.0f ? delaySeconds(p, rate) * rate : 0.0;
    delaySamples = static_cast<float>(d);
    if (reason == crTempoChange || !ready)
        return;

    noFilter = p[pFil].value == 0;
    const double f = p[pFil].fl;
    const double c = f < 0.0 ? (f + 1.0) * 0.996 + 0.04 : (0.996 * f * f + 0.004) * 0.125;
    filterCoef = static_cast<float>(std::min(1.0, c * TuningRate / rate));
    lowPass = f < 0.0;

    double hz = p[pModRate].fl;
    if (p[pModNotes].value > p[pModNotes].getLowValue())
        hz = FractToQuarterMultiple::rateHz(p[pModNotes].value, Bpm.load());
    modRateHz = static_cast<float>(hz);
    phaseIncrement = static_cast<float>(hz * SineEntries / rate * ControlStepFrames);

    depth = p[pModDepth].fl;
    feedPerTap = p[pFeed].fl * 0.5f;
    wet = p[pWet].fl;
}

float Delay2_c::getFadeTime()
{
    const Parameter_c* p = ownParameters();
    if (!p)
        return 0.0f;
    const double t = delaySeconds(p, sampleRate);
    const double feed = p[pFeed].fl;
    return static_cast<float>(so_ddiv(-4.0, std::log10(feed + 0.0001)) * t + 0.1);
}

// ---------------------------------------------------------------------------
// Lifecycle and memory

void Delay2_c::setSampleRate(float rate)
{
    if (active) {
        if (rate > MinSampleRate)
            allocateBuffer(rate);
        else
            freeBuffer();
    }
    VariatorInst_c::setSampleRate(rate);
}

void Delay2_c::resume()
{
    VariatorInst_c::resume();
    lpState = 0.0f;
    second = 0.0f;
    modPhase = 0.0f;
    missing = 0;
    restart = true;
}

void Delay2_c::setActive()
{
    VariatorInst_c::setActive();
    if (sampleRate > MinSampleRate)
        allocateBuffer(sampleRate);
}

void Delay2_c::setInactive()
{
    ready = false;
    VariatorInst_c::setInactive();
    ready = false;
    releaseMemory();
}

void Delay2_c::freeBuffer()
{
    ready = false;
    waitUntilNotRendering();
    releaseMemory();
}

void Delay2_c::waitUntilNotRendering()
{
    // ready is already down, and render looks at it only after raising
    // rendering (both sequentially consistent): once rendering is seen down,
    // no render uses the line any more.
    waitForRenderToLeave();
}

void Delay2_c::releaseMemory()
{
    std::free(line);
    line = nullptr;
    sine.reset();
    lineLength = 0;
    physicalLength = 0;
    mask = 0;
}

void Delay2_c::allocateBuffer(float rate)
{
    // A line may be replaced while the module is selected (a second
    // activation, a new rate): let the audio thread leave it first.
    freeBuffer();
    const double need = std::trunc(static_cast<double>(rate) * LineSeconds);
    int32_t length = 1;
    while (length < need && length < SampleMemMaxFrames / 2)
        length <<= 1;
    line = allocSampleMem(2 * length);
    if (!line)
        return;
    sine.reset(new (std::nothrow) float[SineEntries]);
    if (!sine) {
        releaseMemory();
        return;
    }
    lineLength = length;
    physicalLength = 2 * length;
    mask = physicalLength - 1;
    initBuffer();
    for (int i = 0; i < SineEntries; ++i)
        sine[i] = static_cast<float>(std::sin(i * 0.01227184630308513));
    ReadyThenCache(crActivate);
}

void Delay2_c::initBuffer()
{
    if (!line)
        return;
    posA = posB = 0.0;
    rateA = rateB = 0.0;
    const int32_t length = lineLength;
    writeCounter = length + length / 2;
    DelayLines::fillGuard(line, physicalLength);
}

void Delay2_c::checkSetFlagReady()
{
    // Decided before it is stored: the audio thread must never see ready
    // raised for a moment while the line is missing.
    ready = line && sine && sampleRate > MinSampleRate && paraSet && lineLength >= 1;
}

// ---------------------------------------------------------------------------
// Rendering

void Delay2_c::render(int n)
{
    RenderingScope scope(*this);
    if (!ready || !line || !inputBus || !outputBusA)
        return;
    n = framesFor(n, inputBus, outputBusA);
    if (n <= 0)
        return;
    const int64_t length = lineLength;
    if (writeCounter >= FoldAt * length) {
        writeCounter -= FoldBack * length;
        posA -= static_cast<double>(FoldBack * length);
        posB -= static_cast<double>(FoldBack * length);
    }
    // The input is read before the output is opened: in the insert chain both
    // are the same bus, and every position is read before it is written.
    const bool stereo = inputBus->isStereo();
    float* inL = nullptr;
    float* inR = nullptr;
    if (stereo ? !inputBus->wantReadStereo(&inL, &inR) : !inputBus->wantReadMono(&inL, false))
        return;
    float* outL = nullptr;
    float* outR = nullptr;
    if (!outputBusA->wantWriteStereo(&outL, &outR))
        return;
    blockDelay = delaySamples;
    blockDepth = depth;
    blockIncrement = phaseIncrement;
    const float c = filterCoef;
    if (noFilter) {
        if (stereo)
            renderDry22(n, inL, inR, outL, outR);
        else
            renderDry12(n, inL, outL, outR);
    } else if (lowPass) {
        if (stereo)
            renderLP22(n, c, inL, inR, outL, outR);
        else
            renderLP12(n, c, inL, outL, outR);
    } else {
        if (stereo)
            renderHP22(n, c, inL, inR, outL, outR);
        else
            renderHP12(n, c, inL, outL, outR);
    }
    outputBusA->doneWriteStereo();
}

void Delay2_c::renderDry12(int n, const float* in, float* outL, float* outR)
{
    renderBlock<Filter::Dry, false>(n, 0.0f, in, in, outL, outR);
}

void Delay2_c::renderDry22(int n, const float* inL, const float* inR, float* outL, float* outR)
{
    renderBlock<Filter::Dry, true>(n, 0.0f, inL, inR, outL, outR);
}

void Delay2_c::renderLP12(int n, float c, const float* in, float* outL, float* outR)
{
    renderBlock<Filter::LowPass, false>(n, c, in, in, outL, outR);
}

void Delay2_c::renderLP22(int n, float c, const float* inL, const float* inR, float* outL, float* outR)
{
    renderBlock<Filter::LowPass, true>(n, c, inL, inR, outL, outR);
}

void Delay2_c::renderHP12(int n, float c, const float* in, float* outL, float* outR)
{
    renderBlock<Filter::HighPass, false>(n, c, in, in, outL, outR);
}

void Delay2_c::renderHP22(int n, float c, const float* inL, const float* inR, float* outL, float* outR)
{
    renderBlock<Filter::HighPass, true>(n, c, inL, inR, outL, outR);
}

void Delay2_c::updateTaps(int remaining)
{
    const int i0 = static_cast<int>(modPhase);
    const float fr = modPhase - static_cast<float>(i0);
    const float s0 = sine[i0];
    const float s1 = sine[(i0 + 1) & (SineEntries - 1)];
    const double m = blockDepth * (s0 + (s1 - s0) * fr);
    const double w = static_cast<float>(writeCounter + ControlStepFrames);
    const double d = blockDelay;
    const double targetA = w - (1.0 + m) * d;
    const double targetB = w - (1.0 - m) * d;
    if (restart || !std::isfinite(posA) || !std::isfinite(posB)) {
        posA = targetA - ControlStepFrames;
        posB = targetB - ControlStepFrames;
        restart = false;
    }
    // A tap trailing its target by exactly one control step runs at rate 1.
    rateA = std::clamp(((targetA - posA) * 0.125 - 1.0) * ChaseGain + 1.0, MinTapRate, MaxTapRate);
    rateB = std::clamp(((targetB - posB) * 0.125 - 1.0) * ChaseGain + 1.0, MinTapRate, MaxTapRate);

    // The phase moves once per update; a group cut short by the block end
    // leaves samples missing, and once more than a group's worth is missing
    // one step is taken back.
    modPhase += blockIncrement;
    if (remaining < ControlStepFrames - 1)
        missing += ControlStepFrames - 1 - remaining;
    if (missing > ControlStepFrames) {
        modPhase -= blockIncrement;
        missing -= ControlStepFrames;
    }
    if (modPhase >= static_cast<float>(SineEntries))
        modPhase -= static_cast<float>(SineEntries);
    if (!(modPhase >= 0.0f && modPhase < static_cast<float>(SineEntries))) {
        const float wrapped = std::fmod(modPhase, static_cast<float>(SineEntries));
        modPhase = wrapped >= 0.0f ? wrapped : (std::isfinite(wrapped) ? wrapped + SineEntries : 0.0f);
        if (!(modPhase >= 0.0f && modPhase < static_cast<float>(SineEntries)))
            modPhase = 0.0f;
    }

    lpState = flushTiny(lpState);
    second = flushTiny(second);
}

Delay2_c::Output Delay2_c::outputForm() const
{
    // The two forms this file knows add and store; any other subclass keeps
    // its own mixSum sample by sample.
    if (typeid(*this) == typeid(Delay2_c))
        return Output::Add;
    if (typeid(*this) == typeid(Delay2R_c))
        return Output::Store;
    return Output::EachSample;
}

template <Delay2_c::Filter F, bool Stereo>
void Delay2_c::renderBlock(int n, float c, const float* inL, const float* inR, float* outL, float* outR)
{
    const float wetLevel = wet;
    const float feed = feedPerTap;
    const Output form = outputForm();
    // Group by group of 8 samples (the taps' rates hold for a group): the
    // running state in locals, the outputs gathered and sent out at the end
    // of the group. Every input sample of the group is read before its
    // output is written, as the serial form on the same bus needs.
    for (int from = 0; from < n; from += ControlStepFrames) {
        updateTaps(n - 1 - from);
        const int count = std::min(ControlStepFrames, n - from);
        float dry[2][ControlStepFrames];
        float wetOut[2][ControlStepFrames];
        double a = posA;
        double b = posB;
        const double ra = rateA;
        const double rb = rateB;
        int64_t written = writeCounter;
        float* const buffer = line;
        const int32_t wrap = mask;
        const int32_t length = physicalLength;
        float lp = lpState;
        float dc = second;
        for (int j = 0; j < count; ++j) {
            const float ta = tapAt(buffer, wrap, length, a, written);
            const float tb = tapAt(buffer, wrap, length, b, written);
            const float xL = inL[from + j];
            const float xR = Stereo ? inR[from + j] : xL;
            dry[0][j] = xL;
            dry[1][j] = xR;
            wetOut[0][j] = wetLevel * ta;
            wetOut[1][j] = wetLevel * tb;
            const float x = Stereo ? (xL + xR) * 0.5f : xL;
            float v = (ta + tb) * feed + x;
            if (!(std::fabs(v) <= HugeLevel))
                v = 0.0f;
            float into = v;
            if constexpr (F == Filter::LowPass) {
                const float vp = v - dc;
                dc += vp * DcTrack;
                lp += (vp - lp) * c;
                into = lp;
            } else if constexpr (F == Filter::HighPass) {
                const float h = v - dc;
                dc += h * c;
                into = std::clamp(h, -1.0f, 1.0f);
            }
            buffer[written & wrap] = flushTiny(into);
            ++written;
            a += ra;
            b += rb;
        }
        posA = a;
        posB = b;
        writeCounter = written;
        lpState = lp;
        second = dc;
        float* out[2] = {outL + from, outR + from};
        for (int ch = 0; ch < 2; ++ch) {
            switch (form) {
            case Output::Add:
                for (int j = 0; j < count; ++j)
                    out[ch][j] += dry[ch][j] + wetOut[ch][j];
                break;
            case Output::Store:
                for (int j = 0; j < count; ++j)
                    out[ch][j] = dry[ch][j] + wetOut[ch][j];
                break;
            case Output::EachSample:
                break;
            }
        }
        if (form == Output::EachSample) {
            for (int j = 0; j < count; ++j) {
                mixSum(&out[0], dry[0][j], wetOut[0][j]);
                mixSum(&out[1], dry[1][j], wetOut[1][j]);
            }
        }
    }
}
