#include "Variator.h"

#include "InBuffer2.h"
#include "LevelMeter.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// The tail every processor keeps after its input fell silent, unless it says
// otherwise (seconds).
constexpr float DefaultFadeTime = 0.1f;

// The pan position's one-pole step per control step and its bounds: 0..2 with
// 1 the centre, never quite 0 or 2, so neither side ever falls fully silent.
constexpr float PanKeep = 0.75f;
constexpr float PanTake = 0.25f;
constexpr float PanLow = 0.00001f;
constexpr float PanHigh = 1.99999f;

// The level moves by an eighth of the way to its new target at each sample
// of a control step.
constexpr float RampPerSample = 1.0f / ControlStepFrames;

} // namespace

// ---------------------------------------------------------------------------
// VariatorBase_c

VariatorBase_c::VariatorBase_c()
{
    routeOnStart = true;
}

void VariatorBase_c::render(int) {}

bool VariatorBase_c::renderII(int n)
{
    if (!inputBus)
        return false;
    RenderingScope scope(*this);
    if (!active)
        return false;
    return render(inputBus->hasContent(), n);
}

void VariatorBase_c::bypass(int n)
{
    if (!inputBus || !outputBusA || !inputBus->hasContent())
        return;
    outputBusA->add(inputBus, n, false, nullptr);
}

bool VariatorBase_c::render(bool on, int n)
{
    if (on) {
        if (!wasOn && tailSamples <= 0)
            requestRestart();
        wasOn = true;
        render(n);
        return true;
    }
    if (wasOn)
        tailSamples = tailSamplesFor(getFadeTime());
    const bool rendered = tailSamples > 0;
    if (rendered) {
        // The last piece of the tail is rendered whole, even when it is
        // longer than what remains.
        render(n);
        tailSamples -= std::max(n, 0);
    }
    wasOn = false;
    return rendered;
}

void VariatorBase_c::setOption(int value)
{
    option = value;
}

float VariatorBase_c::getFadeTime()
{
    return DefaultFadeTime;
}

void VariatorBase_c::requestRestart()
{
    restart = true;
}

int VariatorBase_c::tailSamplesFor(float seconds) const
{
    // The product in single precision, truncated (0.35 s at 44100 Hz is
    // 15435 samples, not the 15434 that double precision would truncate to);
    // bounded before it becomes an int, since an effect's tail may be hours
    // long.
    const float samples = seconds * sampleRate;
    if (!(samples > 0.0f))
        return 0;
    if (samples >= static_cast<float>(INT_MAX))
        return INT_MAX;
    return static_cast<int>(samples);
}

bool VariatorBase_c::openStereoReadWrite(int& n, StereoPins_t& pins)
{
    if (!inputBus || !outputBusA || !inputBus->wantReadStereo(&pins.inL, &pins.inR) ||
        !outputBusA->wantWriteStereo(&pins.outL, &pins.outR))
        return false;
    n = framesFor(n, inputBus, outputBusA);
    return true;
}

bool VariatorBase_c::openStereoWriteRead(int& n, StereoPins_t& pins, bool monoAsBoth)
{
    if (!outputBusA->wantWriteStereo(&pins.outL, &pins.outR))
        return false;
    float* l = nullptr;
    float* r = nullptr;
    bool input = false;
    if (!monoAsBoth || inputBus->isStereo())
        input = inputBus->wantReadStereo(&l, &r);
    else if (inputBus->wantReadMono(&l, false)) {
        r = l;
        input = true;
    }
    if (input) {
        pins.inL = l;
        pins.inR = r;
        n = framesFor(n, inputBus, outputBusA);
    }
    return true;
}

// ---------------------------------------------------------------------------
// VariatorTone_c

void VariatorTone_c::prepProc(int instrument, Note_c n, bool legato, bool flag2)
{
    // The part's handling reaches the three-argument form below, which
    // re-caches.
    VariatorBase_c::prepProc(instrument, n, legato, flag2);
}

void VariatorTone_c::prepProc(int instrument, Note_c n, bool legato)
{
    VariatorBase_c::prepProc(instrument, n, legato);
    cachePara(crVoiceStart, std::clamp(instrument, 0, NumInstrumentSlots - 1), -1);
}

void VariatorTone_c::idleVU(int) {}

float VariatorTone_c::followPan(float position, float entry)
{
    return std::clamp((entry + 1.0f) * PanTake + position * PanKeep, PanLow, PanHigh);
}

void VariatorTone_c::renderAmpPanCore(int n, float* level, float* pan, float& curLevel, float& curPan)
{
    if (!inputBus || !outputBusA || !level || !pan)
        return;
    float* in = nullptr;
    float* left = nullptr;
    float* right = nullptr;
    // A wider input is folded to mono (the average of left and right) rather
    // than lost.
    if (!inputBus->wantReadMono(&in, true))
        return;
    if (!outputBusA->wantWriteStereo(&left, &right))
        return;
    n = framesFor(n, inputBus, outputBusA);
    float step = 0.0f;
    for (int i = 0; i < n; ++i) {
        if (i % ControlStepFrames == 0) {
            const int k = i / ControlStepFrames;
            step = (level[k] - curLevel) * RampPerSample;
            curPan = followPan(curPan, pan[k]);
        }
        curLevel += step;
        const float s = in[i] * curLevel;
        mixSample(&left, s * (2.0f - curPan));
        mixSample(&right, s * curPan);
    }
    outputBusA->doneWriteStereo();
}

// ---------------------------------------------------------------------------
// VariatorInst_c

VariatorInst_c::VariatorInst_c() = default;

VariatorInst_c::~VariatorInst_c() = default;

void VariatorInst_c::idleVU(int samples)
{
    if (vuDriver)
        vuDriver->idleVU(samples);
}

void VariatorInst_c::mixSum(float** out, float a, float b)
{
    mixSample(out, a + b);
}

void VariatorInst_c::writeSum(float** out, float a, float b)
{
    writeSample(out, a + b);
}
