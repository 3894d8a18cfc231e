#include "Phaser1S.h"

#include "InBuffer2.h"
#include "ParaRow.h"
#include "TempoSync.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// Only above this rate (Hz) does the phaser render.
constexpr float MinSampleRate = 22000.0f;

// The input enters the chain at 1/20 of its level, and the output gain
// (2 - wet) x 10 brings it back, so at wet 0 the output is the input.
constexpr float InputScale = 0.05f;
constexpr float OutputScale = 10.0f;

// The feedback clip y - y^3 / 6 turns back at y = sqrt(2). Past that point
// it folds over and a loud input at high feedback runs away to infinity, so
// the argument is held at the turning point; below it nothing changes.
constexpr float ClipSixth = 0.16666667f;
constexpr float ClipTurn = 1.41421356f;

constexpr float FeedbackSign = 0.998f;

// Tails (seconds): 0.1, or 0.0002 t^2 + 0.1 with t = -4 / log10(f) above
// 0.9 feedback.
constexpr double TailGrowAbove = 0.9;
constexpr double TailScale = 0.0002;
constexpr float TailShort = 0.1f;

// The note values the phaser offers: " Off " .. " 1/8T" (codes -13..11).
constexpr int NotesHigh = 11;
constexpr auto NoteItems = noteValueSubItems<NoteValueCodeOff, NotesHigh>();

// N stages for both channels, sample by sample; one loop per stage count so
// the stage loop holds no count test.
template <int N>
void runStages(Phaser1S_c& fx, int n, const float* inL, const float* inR, float* outL, float* outR)
{
    const float fb = fx.feedback;
    const float wetNow = fx.wet;
    const float gainNow = fx.outputGain;
    const float signNow = fx.feedbackSign;
    for (int i = 0; i < n; ++i) {
        if (i % ControlStepFrames == 0)
            fx.controlStep(n - i);
        // Both inputs first: in place on a mono bus they are the same samples.
        const float x[2] = {inL[i] * InputScale, inR[i] * InputScale};
        float* out[2] = {outL + i, outR + i};
        for (int c = 0; c < 2; ++c) {
            float u = fb * fx.z[c] + x[c];
            float a = 0.0f;
            float* s = fx.stage[c];
            const float kc = fx.k[c];
            for (int j = 0; j < N; ++j) {
                a = u - s[j];
                s[j] += kc * a;
                u = s[j] - a;
            }
            fx.outputSample(c, &out[c], u, x[c], wetNow, gainNow, signNow);
        }
    }
}

using StageLoop = void (*)(Phaser1S_c&, int, const float*, const float*, float*, float*);
constexpr StageLoop StageLoops[PhaserMaxStages] = {runStages<1>, runStages<2>, runStages<3>, runStages<4>, runStages<5>,
                                                   runStages<6>, runStages<7>, runStages<8>, runStages<9>};

} // namespace

Phaser1S_c::~Phaser1S_c() = default;

bool Phaser1S_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    return defineParas(shared, nSets, ParaCount, {
        {.index = pOnOff, .kind = ParaKind::OnOff, .name = "OffOn", .def = 1},
        {.index = pWet, .name = "Phaser Wet", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 60},
        {.index = pSpeed, .name = "Phaser Speed", .unit = "Hz", .logFactor = 2.0f, .lo = 40, .hi = 1000,
         .precision = 3, .def = 400},
        {.index = pCenter, .name = "Phaser Center", .unit = "Hz", .lo = 100, .hi = 10000, .precision = 0, .def = 1760},
        {.index = pDepth, .name = "Phaser Depth", .unit = "%", .lo = 1, .hi = 99, .precision = 2, .def = 60},
        {.index = pFeedback, .name = "Phaser Feedb", .unit = "%", .lo = 0, .hi = 99, .precision = 2, .def = 50},
        {.index = pFBInvert, .kind = ParaKind::OnOff, .name = "Phaser FBInv", .def = 1},
        {.index = pStages, .name = "Phaser Stages", .lo = 1, .hi = PhaserMaxStages, .precision = 0, .def = 5},
        {.index = pStereo, .name = "Phaser Stereo", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 0},
        {.index = pNotes, .kind = ParaKind::Enu, .name = "Frequency", .unit = "Notes", .lo = NoteValueCodeOff,
         .hi = NotesHigh, .def = NoteValueCodeOff, .width = NoteValueItemWidth, .items = NoteItems.data()},
    });
}

void Phaser1S_c::resume()
{
    SweptEffect_c::resume();
    initBuffer();
}

void Phaser1S_c::initBuffer()
{
    for (int c = 0; c < 2; ++c) {
        z[c] = 0.0f;
        std::fill(std::begin(stage[c]), std::end(stage[c]), 0.0f);
    }
}

void Phaser1S_c::postprocessParaChange(int set, int idx)
{
    VariatorInst_c::postprocessParaChange(set, idx);
    // Thousandths of a hertz to whole hundredths: 0.455 Hz reaches the LFO
    // as 0.45 Hz.
    followSweepParas(set, idx, pSpeed, 10, pNotes);
}

void Phaser1S_c::cachePara(CacheReason_t reason, int set, int)
{
    const Parameter_c* p = refreshParameters(reason, set, ready);
    if (!p)
        return;
    stages = p[pStages].value;
    stereo = p[pStereo].fl;
    const float w = p[pWet].fl;
    wet = w;
    outputGain = (2.0f - w) * OutputScale;
    depth = p[pDepth].fl;
    centre = p[pCenter].fl;
    const double fb = p[pFeedback].fl;
    feedback = static_cast<float>(1.0 - (1.0 - fb) * (1.0 - fb));
    feedbackSign = p[pFBInvert].value != 0 ? -FeedbackSign : FeedbackSign;
}

void Phaser1S_c::checkSetFlagReady()
{
    VariatorInst_c::checkSetFlagReady();
    if (!(sampleRate > MinSampleRate))
        ready = false;
}

float Phaser1S_c::getFadeTime()
{
    const Parameter_c* p = ownParameters();
    if (!p)
        return 0.0f;
    const double fb = p[pFeedback].fl;
    if (fb > TailGrowAbove) {
        const double t = -4.0 / std::log10(fb);
        return static_cast<float>(TailScale * t * t) + TailShort;
    }
    return TailShort;
}

void Phaser1S_c::controlStep(int remainingInBlock)
{
    stepSweep(remainingInBlock);
    const float v = lfoValue;
    const float d = depth;
    const float scale = centre * twoSamplePeriods;
    k[0] = (d * v + 1.0f) * scale;
    // The triangle's phase (0..1) rebuilt from its value and direction, moved
    // on by the stereo offset, and turned back into a triangle value.
    float p = lfoIncrement < 0.0f ? 0.5f - 0.25f * v : 1.0f + 0.25f * v;
    p += stereo * 0.5f;
    if (p > 1.0f)
        p -= 1.0f;
    float w = 4.0f * p;
    if (w > 3.0f)
        w -= 4.0f;
    else if (w > 1.0f)
        w = 2.0f - w;
    k[1] = (d * w + 1.0f) * scale;
}

void Phaser1S_c::outputSample(int channel, float** out, float chainOut, float x, float wetNow, float gainNow,
                              float signNow)
{
    const float y = std::clamp(chainOut * signNow, -ClipTurn, ClipTurn);
    const float clipped = y - y * y * y * ClipSixth;
    z[channel] = clipped;
    mixSample(out, (clipped * wetNow + x) * gainNow);
}

void Phaser1S_c::render(int n)
{
    RenderingScope scope(*this);
    if (!active || !ready || !inputBus || !outputBusA)
        return;
    float* outL = nullptr;
    float* outR = nullptr;
    float* inL = nullptr;
    float* inR = nullptr;
    if (!outputBusA->wantWriteStereo(&outL, &outR))
        return;
    const int count = stages;
    if (count >= 1 && count <= PhaserMaxStages && inputBus->wantReadStereo(&inL, &inR))
        StageLoops[count - 1](*this, framesFor(n, inputBus, outputBusA), inL, inR, outL, outR);
    outputBusA->doneWriteStereo();
    // A state that is no longer finite (one bad block) starts again from
    // silence instead of silencing the effect for good.
    bool finite = std::isfinite(lfoValue);
    for (int c = 0; c < 2; ++c) {
        finite = finite && std::isfinite(z[c]);
        for (float s : stage[c])
            finite = finite && std::isfinite(s);
    }
    if (!finite) {
        initBuffer();
        repairSweep();
    }
}
