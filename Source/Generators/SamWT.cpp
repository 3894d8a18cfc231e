// The wavetable generator. See SamWT.h.
#include "SamWT.h"

#include "InBuffer2.h"
#include "ParaRow.h"
#include "SafeDiv.h"
#include "Tone.h"
#include "WaveTable.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int FrameSize = WaveTable_c::WTFrameSize;
constexpr double Frames = WaveTable_c::WTFrames;
constexpr double Points = WaveTable_c::WTFrameSize;

// x taken into 0..m; anything not finite becomes 0.
inline double wrap(double x, double m)
{
    if (!std::isfinite(x))
        return 0.0;
    x = std::fmod(x, m);
    if (x < 0.0)
        x += m;
    return x < m ? x : 0.0;
}

} // namespace

SamWT_c::SamWT_c() : Generator_c(false) {}

SamWT_c::~SamWT_c() = default;

// While audio is stopped.
void SamWT_c::createSamWT(WaveTable_c* s, float* level, float* pitch, float* position, float* ones)
{
    store = s;
    levelIn = level;
    pitchIn = pitch;
    positionIn = position;
    onesIn = ones;
}

int SamWT_c::getTypeCode() const
{
    return TypeCodeSamWT;
}

bool SamWT_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    return defineParas(shared, nSets, wgCount, {
        SamplerRows::onOff(wgOnOff),
        SamplerRows::octave(wgOctave),
        SamplerRows::semitone(wgSemitone),
        SamplerRows::cent(wgCent),
        SamplerRows::pitchTrack(wgPitchTrack),
        {.index = wgWaveRide, .name = "WaveRide", .logFactor = 4.0f, .lo = 0, .hi = 3200, .precision = 2, .def = 100},
        {.index = wgRideTrack, .name = "RideTrack", .lo = -100, .hi = 100, .precision = 2, .def = 0},
        {.index = wgSpread, .name = "Spread", .unit = "cent", .logFactor = 4.0f, .lo = 0, .hi = 5000, .precision = 2,
         .def = 0},
    });
}

void SamWT_c::cachePara(CacheReason_t reason, int set, int)
{
    const Parameter_c* p = refreshParameters(reason, set, paraSet != nullptr);
    if (!p)
        return;
    unisonAmount = p[wgSpread].fl;
}

const SamWT_c::Copy_t& SamWT_c::getCopyState(int copy) const
{
    return copies[copySlot(copy)];
}

void SamWT_c::prepProc(int instrument, Note_c n, bool legato)
{
    Generator_c::prepProc(instrument, n, legato);
    if (!cacheNoteStart())
        return;
    const Parameter_c* p = renderParameters;
    if (!p || !store)
        return;
    float* t = nullptr;
    float d = 1.0f;
    store->prepProcWT(instrument, note, &t, &d);
    table = t;
    if (!table)
        return;
    duration = d;
    for (Copy_t& c : copies)
        c = Copy_t{};
    const double f = p[wgPitchTrack].value != 0 ? static_cast<double>(MidiFrequency(static_cast<float>(note.note)))
                                                : UntrackedHz;
    const double f2 = f * offsetRatio(p, wgOctave, wgSemitone, wgCent);
    baseIncrement = so_ddiv(Points * f2, sampleRate);
    // WaveRide 1 and RideTrack 0 pass the frames in D seconds.
    frameRate = so_ddiv(std::pow(f2 * RideTrackScale, static_cast<double>(p[wgRideTrack].fl)) * Frames *
                            p[wgWaveRide].fl,
                        sampleRate * static_cast<double>(duration) * 0.125);
    if (!std::isfinite(frameRate))
        frameRate = 0.0;
}

bool SamWT_c::renderOne(int n, int copy)
{
    if (n < 1 || !table || !levelIn || !pitchIn || !positionIn || !onesIn || !outputBusA)
        return false;
    const float* am = onesIn;
    const float* fm = onesIn;
    if (renderMode == rmCrossAM || renderMode == rmCrossFM) {
        float* mod = nullptr;
        if (!inputBus || !inputBus->wantReadMono(&mod, true) || !mod)
            return false;
        (renderMode == rmCrossAM ? am : fm) = mod;
    } else if (renderMode != rmPlain) {
        return false;
    }
    float* out = nullptr;
    if (!outputBusA->wantWriteMono(&out, false) || !out)
        return false;

    Copy_t& c = copies[copySlot(copy)];
    double phase = c.phase;
    double framePos = c.framePosition;
    const double base = baseIncrement * pitchFactor;
    float level = 0.0f;
    double speed = 0.0;
    const float* f0 = table;
    const float* f1 = table;
    float* t = table;
    int w0 = 0, w1 = 0;
    double g = 0.0;
    for (int s = 0; s < n; ++s) {
        if (s % ControlStepFrames == 0) {
            const int k = s / ControlStepFrames;
            level = levelIn[k];
            speed = ::pitchFactor(pitchIn[k]) * base;
            framePos += frameRate;
            const double p = wrap(positionIn[k] * Frames + framePos, Frames);
            w0 = std::clamp(static_cast<int>(p), 0, static_cast<int>(Frames) - 1);
            w1 = (w0 + 1) % static_cast<int>(Frames);
            g = p - w0;
            f0 = table + w0 * FrameSize;
            f1 = table + w1 * FrameSize;
        }
        const int i = static_cast<int>(phase);
        const double h = phase - i;
        const int i0 = static_cast<int>(f0 - t) + i;
        const int i1 = static_cast<int>(f1 - t) + i;
        const double a = WaveTable_c::tableValue(t, i0) * (1.0 - h) + WaveTable_c::tableValue(t, i0 + 1) * h;
        const double b = WaveTable_c::tableValue(t, i1) * (1.0 - h) + WaveTable_c::tableValue(t, i1 + 1) * h;
        const double v = g * b + (1.0 - g) * a;
        out[s] += static_cast<float>(am[s] * v * level);
        phase = wrap(phase + std::clamp(fm[s], FMLeast, FMMost) * speed, Points);
    }
    c.phase = phase;
    c.framePosition = framePos;
    outputBusA->doneWriteMono();
    return false;
}
