#include "Amplifier.h"

#include "InBuffer2.h"

namespace {

constexpr int AmpTypeCode = ('V' << 24) | ('A' << 16) | ('M' << 8) | '1';
constexpr int AmpParaCount = 1;
constexpr float RampPerSample = 1.0f / ControlStepFrames;

} // namespace

void Amp_c::create(float* levelArr)
{
    create(levelArr, nullptr);
}

void Amp_c::create(float* levelArr, float* panArr)
{
    levelArray = levelArr;
    panArray = panArr;
    checkSetFlagReady();
}

void Amp_c::checkSetFlagReady()
{
    if (levelArray)
        VariatorTone_c::checkSetFlagReady();
    else
        ready = false;
}

int Amp_c::getTypeCode() const
{
    return AmpTypeCode;
}

bool Amp_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    // Nothing after "Version".
    return defineParas(shared, nSets, AmpParaCount, nullptr, 0);
}

void Amp_c::initBuffer()
{
    level = 0.0f;
    target = 0.0f;
    step = 0.0f;
    pan = 0.0f;
}

void Amp_c::prepProc(int instrument, Note_c n, bool legato)
{
    VariatorTone_c::prepProc(instrument, n, legato);
    if (!legato)
        initBuffer();
}

void Amp_c::render(int n)
{
    RenderingScope scope(*this);
    if (!active || !ready || !levelArray || !inputBus || !outputBusA || !inputBus->hasContent())
        return;
    if (panArray)
        renderStereoPan(n);
    else if (inputBus->isMono())
        renderMono(n);
    else if (inputBus->isStereo())
        renderStereo(n);
}

void Amp_c::takeLevel(int i)
{
    target = levelArray[i / ControlStepFrames];
    step = (target - level) * RampPerSample;
}

void Amp_c::renderMono(int n)
{
    float* in = nullptr;
    float* out = nullptr;
    if (!inputBus->wantReadMono(&in, false) || !outputBusA->wantWriteMono(&out, false))
        return;
    n = framesFor(n, inputBus, outputBusA);
    for (int i = 0; i < n; ++i) {
        if (i % ControlStepFrames == 0)
            takeLevel(i);
        level += step;
        mixSample(&out, in[i] * level);
    }
    outputBusA->doneWriteMono();
}

void Amp_c::renderStereo(int n)
{
    StereoPins_t pins;
    if (!openStereoReadWrite(n, pins))
        return;
    auto [inL, inR, outL, outR] = pins;
    for (int i = 0; i < n; ++i) {
        if (i % ControlStepFrames == 0)
            takeLevel(i);
        level += step;
        mixSample(&outL, inL[i] * level);
        mixSample(&outR, inR[i] * level);
    }
    outputBusA->doneWriteStereo();
}

void Amp_c::renderStereoPan(int n)
{
    StereoPins_t pins;
    if (!openStereoReadWrite(n, pins))
        return;
    auto [inL, inR, outL, outR] = pins;
    for (int i = 0; i < n; ++i) {
        if (i % ControlStepFrames == 0) {
            takeLevel(i);
            pan = followPan(pan, panArray[i / ControlStepFrames]);
        }
        level += step;
        mixSample(&outL, inL[i] * level * (2.0f - pan));
        mixSample(&outR, inR[i] * level * pan);
    }
    outputBusA->doneWriteStereo();
}
