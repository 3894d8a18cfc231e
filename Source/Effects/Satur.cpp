#include "Satur.h"

#include "InBuffer2.h"
#include "ParaRow.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int SaturTypeCode = ('V' << 24) | ('D' << 16) | ('0' << 8) | '1';

// The set a part reads outside a note: the one it last played, else 0.
int currentSet(const Part_c& part)
{
    return std::max<int>(part.getRouteIndex(), 0);
}

} // namespace

namespace SaturParas {

void define(Parameter_c* p, const char* modeName)
{
    createParas(p, {
        {.index = pOnOff, .kind = ParaKind::OnOff, .name = "S0 On/Off", .def = 1},
        {.index = pIntense, .name = "Intense", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 0},
        {.index = pMode, .kind = ParaKind::Enu, .name = modeName, .lo = 0, .hi = 2, .def = 0, .width = 6,
         .items = "Hard  Soft  Modula"},
    });
}

float intense(const Part_c& part)
{
    const Parameter_c* p = part.getRenderParaPtr(currentSet(part));
    return p ? static_cast<float>(p[pIntense].fl) : 0.0f;
}

} // namespace SaturParas

Satur_c::~Satur_c() = default;

bool Satur_c::getParaSetPtr(ParaSet_c** shared)
{
    return getParaSetPtr(shared, 1);
}

bool Satur_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    bool defined = false;
    Parameter_c* p = beginParaDefinition(shared, nSets, SaturParas::ParaCount, &defined);
    if (!p)
        return defined;
    SaturParas::define(p, "Unused");
    return paraSet->spreadPara();
}

int Satur_c::getTypeCode() const
{
    return SaturTypeCode;
}

float Satur_c::getModSampleDefault(int input) const
{
    return input == 0 ? SaturParas::intense(*this) : 0.0f;
}

void Satur_c::cachePara(CacheReason_t reason, int set, int)
{
    if (reason == crTempoChange || !paraSet)
        return;
    const Parameter_c* p = getRenderParaPtr(set < 0 ? std::max<int>(routeIndex, 0) : set);
    if (!p)
        return;
    const float intense = std::clamp(static_cast<float>(p[SaturParas::pIntense].fl), 0.0f, 1.0f);
    a = std::sqrt(intense);
    b = 1.001f - a;
}

void Satur_c::render(int n)
{
    RenderingScope scope(*this);
    if (!active || !paraSet || !inputBus || !outputBusA)
        return;
    if (inputBus->isMono())
        renderMono(n);
    else if (inputBus->isStereo())
        renderStereo(n);
}

void Satur_c::renderMono(int n)
{
    float* out = nullptr;
    float* in = nullptr;
    if (!outputBusA->wantWriteMono(&out, false))
        return;
    if (inputBus->wantReadMono(&in, false)) {
        n = framesFor(n, inputBus, outputBusA);
        const float ca = a;
        const float cb = b;
        if (ca == 0.0f) {
            // "Intense" 0: the curve is the straight line x b, and a float
            // product of two floats is what the double path rounds to, so
            // this is the same result without a division per sample.
            if (in == out) {
                for (int i = 0; i < n; ++i)
                    out[i] *= cb;
            } else {
                for (int i = 0; i < n; ++i)
                    out[i] += in[i] * cb;
            }
        } else if (in == out) {
            for (int i = 0; i < n; ++i)
                out[i] = shape(out[i], ca, cb);
        } else {
            for (int i = 0; i < n; ++i)
                mixSample(&out, shape(in[i], ca, cb));
        }
    }
    outputBusA->doneWriteMono();
}

void Satur_c::renderStereo(int n)
{
    StereoPins_t pins;
    if (!openStereoWriteRead(pins, false))
        return;
    auto [inL, inR, outL, outR] = pins;
    if (inL) {
        n = framesFor(n, inputBus, outputBusA);
        const float ca = a;
        const float cb = b;
        if (ca == 0.0f && inL == outL && inR == outR) {
            // "Intense" 0: the straight line x b (see renderMono).
            for (int i = 0; i < n; ++i) {
                outL[i] *= cb;
                outR[i] *= cb;
            }
        } else if (inL == outL && inR == outR) {
            for (int i = 0; i < n; ++i) {
                outL[i] = shape(outL[i], ca, cb);
                outR[i] = shape(outR[i], ca, cb);
            }
        } else {
            for (int i = 0; i < n; ++i) {
                mixSample(&outL, shape(inL[i], ca, cb));
                mixSample(&outR, shape(inR[i], ca, cb));
            }
        }
    }
    outputBusA->doneWriteStereo();
}
