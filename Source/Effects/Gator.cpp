#include "Gator.h"

#include "InBuffer2.h"
#include "Instrument.h"
#include "ParaRow.h"
#include "SafeDiv.h"
#include "Synth.h"
#include "TempoSync.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace {

// Only above this rate (Hz) does the gate render: the smoothing coefficient
// grows as the rate falls and diverges below about 3.5 kHz.
constexpr float MinSampleRate = 22000.0f;

constexpr char DefaultPatternA[] = "1010101010101010";
constexpr char DefaultPatternB[] = "0101010101010101";
constexpr char LinkItems[] = " off link xlink";
constexpr int LinkItemWidth = 5;

// The step note values: codes 1 (" 1/1 ") to 17 ("1/32T"), default "1/16 ".
constexpr int NotesLow = 1;
constexpr int NotesHigh = 17;
constexpr int NotesDefault = 13;
constexpr auto NoteItems = noteValueSlice<NotesLow, NotesHigh>();

// A closed step keeps (1 - wet)^2 of the signal and a little more, so the
// gain never settles on an exact zero.
constexpr float ClosedFloor = 1e-7f;
// Smoothing coefficient (1 - 0.8 smooth)^3 x 1000 / rate, and the one-pole
// step of the increment toward its target.
constexpr float SmoothRange = 0.8f;
constexpr float SmoothPerSecond = 1000.0f;
constexpr double IncrementTake = 0.2;
constexpr double IncrementKeep = 0.8;
// The step index is taken a tenth of a step early, so a step that starts on
// a control step is not missed by rounding.
constexpr double StepLead = 0.1;
// Steps per bar: 4 / quarters + 0.1, truncated.
constexpr float StepsPerBarLead = 0.1f;

bool isOpen(uint32_t mask, int step)
{
    return ((mask >> step) & 1u) != 0;
}

} // namespace

Gator_c::Gator_c() = default;

Gator_c::~Gator_c() = default;

bool Gator_c::create(Instrument_c* inst, float* extraPointer)
{
    if (!inst)
        return false;
    instrument = inst;
    extra = extraPointer;
    return true;
}

bool Gator_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    return defineParas(shared, nSets, ParaCount, {
        {.index = pPatternA, .kind = ParaKind::CharPtr, .name = "Step On/Off", .text = DefaultPatternA},
        {.index = pPatternB, .kind = ParaKind::CharPtr, .name = "Step On/Off", .text = DefaultPatternB},
        {.index = pNotes, .kind = ParaKind::Enu, .name = "Frequency", .unit = "Notes", .lo = NotesLow,
         .hi = NotesHigh, .def = NotesDefault, .width = NoteValueItemWidth, .items = NoteItems.data()},
        {.index = pSmooth, .name = "Smooth", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 5},
        {.index = pLink, .kind = ParaKind::Enu, .name = "Link", .unit = "Mode", .lo = linkOff, .hi = linkInverse,
         .def = linkOff, .width = LinkItemWidth, .items = LinkItems},
        {.index = pWet, .name = "Wet", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 100},
    });
}

void Gator_c::setTargets(int step)
{
    const float w = wet;
    const float closed = (1.0f - w) * (1.0f - w) + ClosedFloor;
    const uint32_t masks[2] = {maskA, maskB};
    for (int c = 0; c < 2; ++c)
        gainTarget[c] = isOpen(masks[c], step) ? 1.0f : closed;
}

void Gator_c::resume()
{
    VariatorInst_c::resume();
    currentStep = 0;
    position = 0.0f;
    gain[0] = 0.0f;
    increment[0] = 0.0f;
    // Step 0 is current now, so the step change that sets the targets does
    // not come for it: without this the first step would keep whatever
    // targets were left (silence after construction) even where it is open.
    setTargets(0);
}

float Gator_c::getModSampleDefault(int input) const
{
    const Parameter_c* p = ownParameters();
    if (!p || input != 0)
        return 0.0f;
    return p[pWet].norm;
}

void Gator_c::invert(char* text)
{
    if (!text)
        return;
    for (char* c = text; *c; ++c)
        *c = *c == '1' ? '0' : '1';
}

uint32_t Gator_c::patternMask(const char* text)
{
    uint32_t mask = 0;
    for (int i = 0; text && i < GatorSteps && text[i]; ++i)
        if (text[i] == '1')
            mask |= 1u << i;
    return mask;
}

void Gator_c::postprocessParaChange(int set, int idx)
{
    VariatorInst_c::postprocessParaChange(set, idx);
    const Parameter_c* p = getRenderParaPtr(set);
    // The rewrite of the other pattern comes back here as its own change;
    // that one must not rewrite anything again.
    if (!p || linking)
        return;
    const int mode = p[pLink].value;
    if (mode != linkSame && mode != linkInverse)
        return;
    linking = true;
    char text[ParaTextBufferBytes];
    // Pattern `to` becomes pattern `from` (inverted for "xlink"), unless it
    // is that already.
    const auto follow = [&](int from, int to) {
        getParaCharPtr(set, from, text);
        if (mode == linkInverse)
            invert(text);
        char current[ParaTextBufferBytes];
        getParaCharPtr(set, to, current);
        if (std::strcmp(text, current) != 0)
            setParaCharPtr(set, to, text);
    };
    // Switching the link on makes the right pattern follow at once, as a
    // program load would: what is stored is what comes back.
    if (idx == pPatternA || idx == -1 || idx == pLink)
        follow(pPatternA, pPatternB);
    if (idx == pPatternB || idx == -1)
        follow(pPatternB, pPatternA);
    linking = false;
}

void Gator_c::cachePara(CacheReason_t reason, int set, int)
{
    // The set is resolved once, so the values and both pattern texts come
    // from the same set.
    const Parameter_c* p = refreshParameters(set);
    if (!p || !ready)
        return;
    if (reason != crTempoChange) {
        wet = p[pWet].fl;
        char text[ParaTextBufferBytes];
        getParaCharPtr(set, pPatternA, text);
        maskA = patternMask(text);
        getParaCharPtr(set, pPatternB, text);
        maskB = patternMask(text);
        linkMode = p[pLink].value;
        const float s = 1.0f - SmoothRange * p[pSmooth].fl;
        smoothing = s * s * s * SmoothPerSecond / sampleRate;
    }
    const float q = FractToQuarterMultiple::quarters(p[pNotes].value);
    const double recBpm = RecBpm.load(std::memory_order_relaxed);
    stepLength = static_cast<float>(FractToQuarterMultiple::quartersTimes60(p[pNotes].value) * recBpm) * sampleRate;
    stepsPerBar = std::max(1, static_cast<int>(4.0f / q + StepsPerBarLead));
}

void Gator_c::checkSetFlagReady()
{
    VariatorInst_c::checkSetFlagReady();
    if (!(sampleRate > MinSampleRate))
        ready = false;
}

void Gator_c::alignToHost(float length)
{
    int samplesPerBar = 0;
    int posInBar = 0;
    if (!instrument || !instrument->getPosInBar(&samplesPerBar, &posInBar) || samplesPerBar < 1)
        return;
    const int perBar = std::max<int>(stepsPerBar, 1);
    const int g = static_cast<int>(so_fdiv(position, length));
    const int o = static_cast<int>(std::fmod(position, length));
    int h = static_cast<int>(static_cast<float>(perBar) *
                             (static_cast<float>(posInBar) / static_cast<float>(samplesPerBar))) %
            GatorSteps;
    const int p = static_cast<int>(std::fmod(static_cast<float>(posInBar), length));
    // Patterns longer than a bar: the host's step is moved on by whole bars
    // until it is no longer behind the gate's.
    if (GatorSteps / perBar >= 2 && h > 0)
        while (h < g)
            h += perBar;
    if (h != g) {
        position += static_cast<float>(h - g) * length;
        if (position < 0.0f)
            position += GatorSteps * length;
    }
    if (p != o)
        position += static_cast<float>(p - o);
}

void Gator_c::render(int n)
{
    RenderingScope scope(*this);
    if (!active || !ready || !inputBus || !outputBusA)
        return;
    const float length = stepLength;
    // No alignment (and no step decisions) without a step length: the
    // position divided by it would be meaningless.
    if (length > 0.0f)
        alignToHost(length);
    StereoPins_t pins;
    if (!openStereoWriteRead(n, pins))
        return;
    auto [inL, inR, outL, outR] = pins;
    if (inL) {
        const float smooth = smoothing;
        for (int i = 0; i < n; ++i) {
            if (i % ControlStepFrames == 0) {
                if (length > 0.0f) {
                    const int step =
                        static_cast<int>((static_cast<double>(i) + 1.0 + position) / length + StepLead) % GatorSteps;
                    if (step != currentStep) {
                        currentStep = step;
                        setTargets(step);
                    }
                }
                for (int c = 0; c < 2; ++c)
                    incrementTarget[c] = (gainTarget[c] - gain[c]) * smooth;
            }
            const float xl = inL[i];
            const float xr = inR[i];
            mixSample(&outL, gain[0] * xl);
            mixSample(&outR, xr * gain[1]);
            for (int c = 0; c < 2; ++c) {
                gain[c] += increment[c];
                increment[c] = static_cast<float>(IncrementTake * incrementTarget[c] + IncrementKeep * increment[c]);
            }
        }
    }
    outputBusA->doneWriteStereo();
    if (n > 0)
        position += static_cast<float>(n);
    // The position runs modulo one pattern: a float that kept growing would
    // lose its fractions after some minutes and the steps would drift.
    if (length > 0.0f) {
        const double pattern = static_cast<double>(length) * GatorSteps;
        double wrapped = std::fmod(static_cast<double>(position), pattern);
        if (wrapped < 0.0)
            wrapped += pattern;
        position = static_cast<float>(wrapped);
    }
    // One bad block must not silence the gate for good.
    for (int c = 0; c < 2; ++c)
        if (!std::isfinite(gain[c]) || !std::isfinite(increment[c])) {
            gain[c] = increment[c] = incrementTarget[c] = 0.0f;
            gainTarget[c] = 1.0f;
        }
    if (!std::isfinite(position))
        position = 0.0f;
}
