// The loop sampler. See SamLoop.h.
#include "SamLoop.h"

#include "InBuffer2.h"
#include "ParaRow.h"
#include "SafeDiv.h"
#include "Tone.h"
#include "WaveRAM2.h"
#include "WaveSample.h"

#include <algorithm>
#include <cmath>

namespace {

// Control values are taken once per ControlStepFrames samples, the loop
// points under modulation once per LoopModSteps control steps.
constexpr int LoopModSteps = 16;
// The slowest step a layer may take, frames per output sample.
constexpr double MinSpeed = 0.0001;

// Catmull-Rom read of integrated data J at position p. Positions below 0
// read 0; the caller keeps p below the last frame, so J[i + 2] is at most one
// frame past the data, inside the slack every sample buffer has.
inline double readJ(const float* J, double p)
{
    if (!(p >= 0.0))
        return 0.0;
    const int i = static_cast<int>(p);
    const double t = p - i;
    const double ym1 = i >= 1 ? J[i - 1] : 0.0;
    const double y0 = J[i], y1 = J[i + 1], y2 = J[i + 2];
    const double c1 = 0.5 * (y1 - ym1);
    const double c2 = ym1 - 2.5 * y0 + 2.0 * y1 - 0.5 * y2;
    const double c3 = 1.5 * (y0 - y1) + 0.5 * (y2 - ym1);
    return y0 + t * (c1 + t * (c2 + t * c3));
}

// The pitch factor of a pitch input value x, kept within -1..1.
inline double pitchCurve(float x)
{
    return ::pitchFactor(std::clamp(static_cast<double>(x), -1.0, 1.0));
}

} // namespace

SamLoop_c::SamLoop_c() : Generator_c(true) {}

SamLoop_c::~SamLoop_c() = default;

void SamLoop_c::create(WaveRAM2_c* m, float* level, float* pitch, float* loopStartMod, float* loopEndMod)
{
    memory = m;
    levelIn = level;
    pitchIn = pitch;
    loopStartIn = loopStartMod;
    loopEndIn = loopEndMod;
    loopModOn = loopStartMod && loopEndMod;
    ReadyThenCache(crActivate);
}

int SamLoop_c::getTypeCode() const
{
    return TypeCodeSamLoop;
}

bool SamLoop_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    return defineParas(shared, nSets, lpCount, {
        SamplerRows::onOff(lpOnOff),
        SamplerRows::octave(lpOctave),
        SamplerRows::semitone(lpSemitone),
        SamplerRows::cent(lpCent),
        SamplerRows::pitchTrack(lpPitchTrack),
        {.index = lpSmooth, .name = "Smooth", .unit = "%", .lo = 1, .hi = 999, .precision = 1, .def = 200},
        {.index = lpReleaseLoop, .kind = ParaKind::OnOff, .name = "Release Loop", .def = 0},
    });
}

void SamLoop_c::checkSetFlagReady()
{
    Generator_c::checkSetFlagReady();
    if (!levelIn || !pitchIn || !paraSet || !memory || !(sampleRate > MinSampleRate))
        ready = false;
}

void SamLoop_c::cachePara(CacheReason_t reason, int set, int)
{
    const Parameter_c* p = refreshParameters(reason, set, paraSet != nullptr);
    if (!p)
        return;
    smooth = std::clamp(p[lpSmooth].fl * 0.01f, 0.001f, 0.999f);
    releaseLoop = p[lpReleaseLoop].value != 0;
}

double SamLoop_c::getLayerPosition(int l) const
{
    return l >= 0 && l < layerCount ? layers[l].pos : -1.0;
}

// ---------------------------------------------------------------------------
// Note start

void SamLoop_c::prepProc(int instrument, Note_c n, bool legato)
{
    Generator_c::prepProc(instrument, n, legato);
    layerCount = 0;
    if (!memory || !cacheNoteStart())
        return;
    const int found = memory->prepProcWR(routeIndex, note, layerList, MaxLayers);
    const double f = getFrequency(note.note, lpPitchTrack, lpOctave, lpSemitone, lpCent);
    for (int i = 0; i < found && i < MaxLayers; ++i) {
        WaveSample_c* s = layerList[i];
        if (!s || !s->lock.getImmediateReadPermission())
            continue;
        Layer_t& l = layers[layerCount];
        l = Layer_t{};
        l.sample = s;
        l.rootPeriod = std::max(0.0, so_ddiv(s->sampleRate, s->rootFrequency));
        l.volume = s->gain;
        l.startFrame = s->start;
        l.speed = std::max(MinSpeed, so_ddiv(s->sampleRate * f / sampleRate, s->rootFrequency));
        s->lock.releaseReadPermission();
        l.pos = std::max(0, l.startFrame);
        l.prev = l.pos - l.speed;
        ++layerCount;
    }
}

void SamLoop_c::adjustSampleStart(float offset)
{
    for (int i = 0; i < layerCount; ++i) {
        Layer_t& l = layers[i];
        l.pos = std::max(0.0, l.startFrame + static_cast<double>(offset) * 10000.0);
        l.prev = l.pos - l.speed;
    }
}

// ---------------------------------------------------------------------------
// Rendering

SamLoop_c::Loop_t SamLoop_c::setupLoop(const Layer_t& layer, float a, float b, bool keepLooping) const
{
    Loop_t r;
    const WaveSample_c& s = *layer.sample;
    if (!(s.loopStart < s.loopEnd))
        return r;
    const double last = s.frames - 1;
    if (layer.fading && layer.savedLe >= 0.0) {
        r.ls = layer.savedLs;
        r.le = layer.savedLe;
        r.xs = layer.savedXs;
    } else {
        // The shortest loop: one period of the root, at most half the sample.
        // Loop points count the sample's frames, so the period does too: in
        // output samples it would lengthen a one-cycle loop, and shift its
        // pitch, whenever the host runs at another rate than the file.
        const double m = std::min(layer.rootPeriod, s.frames * 0.5);
        const double range = s.loopModRange;
        const double le0 = std::max<double>(s.loopEnd, s.loopStart + m);
        r.ls = std::max(1.0, std::min(s.loopStart + a * range, last - (m + 1.0)));
        r.le = std::max(r.ls + m, le0 + b * range);
        if (keepLooping)
            r.le = std::max(r.le, layer.pos + 1.0);
        r.le = std::min(r.le, last - 1.0);
        const double len = r.le - r.ls;
        r.xs = (1.0 - smooth) * len + r.ls;
        if (keepLooping)
            r.xs = std::max(r.xs, layer.pos);
        // The partner read xs - len is never before the data.
        r.xs = std::max(len, r.xs);
    }
    r.len = r.le - r.ls;
    // In tiny samples the clamps above can meet: without a fade zone of at
    // least one frame the fade weight would be 0/0, so such a layer plays
    // straight through.
    r.looping = r.len >= 1.0 && r.le - r.xs >= 1.0 && std::isfinite(r.le) && std::isfinite(r.xs);
    return r;
}

template <int Mode, int Channels>
bool SamLoop_c::renderLayer(Layer_t& layer, int n, float* outL, float* outR, const float* mod, bool keepLooping)
{
    const WaveSample_c& s = *layer.sample;
    const float* JL = s.left;
    const float* JR = Channels == 2 ? s.right : nullptr;
    const double last = s.frames - 1;
    const bool modulated = loopModOn;
    Loop_t lp = setupLoop(layer, modulated ? loopStartIn[0] : 0.0f, modulated ? loopEndIn[0] : 0.0f, keepLooping);

    double p = layer.pos, q = layer.prev;
    double speed = layer.speed, gain = 0.0;
    for (int i = 0; i < n; ++i) {
        if ((i & (ControlStepFrames - 1)) == 0) {
            const int k = i / ControlStepFrames;
            speed = pitchCurve(pitchIn[k]) * layer.speed;
            gain = layer.volume * levelIn[k] / speed;
            if (modulated && k > 0 && k % LoopModSteps == 0 && lp.looping && keepLooping && !layer.fading) {
                layer.pos = p;
                lp = setupLoop(layer, loopStartIn[k], loopEndIn[k], keepLooping);
            }
        }
        const double fm = Mode == rmCrossFM ? mod[i] : 1.0;
        const double am = Mode == rmCrossAM ? mod[i] : 1.0;
        const bool loopNow = lp.looping && keepLooping;
        if (loopNow && p >= lp.xs) {
            if (!layer.fading) {
                layer.fading = true;
                layer.savedLs = lp.ls;
                layer.savedLe = lp.le;
                layer.savedXs = lp.xs;
            }
            if (p >= lp.le) {
                // Back by one loop: the fade weight is 1 here, so the
                // straight read continues exactly where the partner read was.
                p -= lp.len;
                q -= lp.len;
                layer.fading = false;
                layer.savedLs = layer.savedLe = layer.savedXs = -1.0;
                if (modulated) {
                    layer.pos = p;
                    const int k = i / ControlStepFrames;
                    lp = setupLoop(layer, loopStartIn[k], loopEndIn[k], keepLooping);
                }
            }
        }
        double vL, vR = 0.0;
        if (loopNow && layer.fading) {
            const double u = (p - lp.xs) / (lp.le - lp.xs);
            const double w = 1.0 - (1.0 - u) * (1.0 - u);
            vL = (1.0 - w) * (readJ(JL, p) - readJ(JL, q)) + w * (readJ(JL, p - lp.len) - readJ(JL, q - lp.len));
            if (Channels == 2)
                vR = (1.0 - w) * (readJ(JR, p) - readJ(JR, q)) +
                     w * (readJ(JR, p - lp.len) - readJ(JR, q - lp.len));
        } else {
            vL = readJ(JL, p) - readJ(JL, q);
            if (Channels == 2)
                vR = readJ(JR, p) - readJ(JR, q);
        }
        const double g = gain * am;
        outL[i] += static_cast<float>(g * vL);
        if (Channels == 2)
            outR[i] += static_cast<float>(g * vR);
        q = p;
        p += fm * speed;
        if (!(p < last)) {
            layer.pos = p;
            layer.prev = q;
            layer.over = true;
            return false;
        }
    }
    layer.pos = p;
    layer.prev = q;
    return true;
}

template <int Channels>
bool SamLoop_c::renderLayerIn(int mode, Layer_t& layer, int n, float* outL, float* outR, const float* mod,
                              bool keepLooping)
{
    switch (mode) {
    case rmCrossFM: return renderLayer<rmCrossFM, Channels>(layer, n, outL, outR, mod, keepLooping);
    case rmCrossAM: return renderLayer<rmCrossAM, Channels>(layer, n, outL, outR, mod, keepLooping);
    default: return renderLayer<rmPlain, Channels>(layer, n, outL, outR, mod, keepLooping);
    }
}

bool SamLoop_c::renderAllSamples(int n, int mode)
{
    if (!ready || !outputBusA || n < 1 || !levelIn || !pitchIn)
        return false;
    n = std::min({n, outputBusA->getCycleLength(), MaxBlockSize});
    const float* mod = nullptr;
    if (mode != rmPlain) {
        float* m = nullptr;
        if (!inputBus || !inputBus->wantReadMono(&m, true))
            return layerCount > 0; // no modulator this block: silent, not over
        n = std::min(n, inputBus->getCycleLength());
        mod = m;
    }
    const bool keepLooping = prepared || releaseLoop;
    bool filled = false;
    for (int i = 0; i < layerCount; ++i) {
        Layer_t& l = layers[i];
        if (l.over || !l.sample)
            continue;
        WaveSample_c& s = *l.sample;
        if (!s.lock.getImmediateReadPermission()) {
            // Being edited: silent for this block, position kept, still
            // playing.
            filled = true;
            continue;
        }
        // The sample may have changed length since the last block.
        if (!s.left || s.frames < 2 || !(l.pos < s.frames - 1)) {
            l.over = true;
            s.lock.releaseReadPermission();
            continue;
        }
        if (l.fading && !(l.savedLe < s.frames - 1)) {
            l.fading = false;
            l.savedLs = l.savedLe = l.savedXs = -1.0;
        }
        const bool stereo = s.channels >= 2 && s.right;
        bool full = false;
        if (stereo && xModSourceMode == rmPlain) {
            float *outL = nullptr, *outR = nullptr;
            if (outputBusA->wantWriteStereo(&outL, &outR)) {
                full = renderLayerIn<2>(mode, l, n, outL, outR, mod, keepLooping);
                outputBusA->doneWriteStereo();
            }
        } else {
            float* out = nullptr;
            if (outputBusA->wantWriteMono(&out, false)) {
                // As a cross-modulation source a stereo layer writes both
                // channels into the one mono stream.
                if (stereo)
                    full = renderLayerIn<2>(mode, l, n, out, out, mod, keepLooping);
                else
                    full = renderLayerIn<1>(mode, l, n, out, nullptr, mod, keepLooping);
                outputBusA->doneWriteMono();
            }
        }
        s.lock.releaseReadPermission();
        filled = filled || full;
    }
    return filled;
}

bool SamLoop_c::renderNX(int n, int copy)
{
    return copy != 0 ? false : !renderAllSamples(n, rmPlain);
}

bool SamLoop_c::renderXF(int n, int copy)
{
    return copy != 0 ? false : !renderAllSamples(n, rmCrossFM);
}

bool SamLoop_c::renderXA(int n, int copy)
{
    return copy != 0 ? false : !renderAllSamples(n, rmCrossAM);
}
