#include "Satur.h"

#include "BlockMath.h"
#include "InBuffer2.h"
#include "ParaRow.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr int SaturTypeCode = ('V' << 24) | ('D' << 16) | ('0' << 8) | '1';

// The set a part reads outside a note: the one it last played, else 0.
int currentSet(const Part_c& part)
{
    return std::max<int>(part.getRouteIndex(), 0);
}

// The soft clip over n samples, two at a time in double as Satur_c::shape
// computes one, so every result is the float shape() gives. In place when
// in == out; added into out otherwise (the bus mix).
template <bool Add>
void shapeRun(float* out, const float* in, int n, float a, float b)
{
    const __m128d a2 = _mm_set1_pd(a);
    const __m128d b2 = _mm_set1_pd(b);
    const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffLL));
    const auto curve = [&](__m128d x) { return _mm_mul_pd(x, _mm_add_pd(_mm_div_pd(a2, _mm_add_pd(_mm_and_pd(x, magnitude), b2)), b2)); };
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 x = _mm_loadu_ps(in + i);
        const __m128 lo = _mm_cvtpd_ps(curve(_mm_cvtps_pd(x)));
        const __m128 hi = _mm_cvtpd_ps(curve(_mm_cvtps_pd(_mm_movehl_ps(x, x))));
        const __m128 y = _mm_movelh_ps(lo, hi);
        _mm_storeu_ps(out + i, Add ? _mm_add_ps(_mm_loadu_ps(out + i), y) : y);
    }
    for (; i < n; ++i) {
        const float y = Satur_c::shape(in[i], a, b);
        out[i] = Add ? out[i] + y : y;
    }
}

// d[i] *= g, a control step of floats per turn (BlockMath takes four): the
// straight line runs over both paths' samples of every voice.
void scaleInPlace(float* d, float g, int n)
{
    const __m128 g4 = _mm_set1_ps(g);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        _mm_storeu_ps(d + i, _mm_mul_ps(_mm_loadu_ps(d + i), g4));
        _mm_storeu_ps(d + i + 4, _mm_mul_ps(_mm_loadu_ps(d + i + 4), g4));
    }
    BlockMath::scale(d + i, g, n - i);
}

// One channel: the straight line x b at "Intense" 0 (a float product of two
// floats is what the double path rounds to, so the same result without a
// division per sample), the curve otherwise. In line: at "Intense" 0 (the
// default) the call cost as much as a short block's samples.
inline void shapeChannel(float* out, const float* in, int n, float a, float b)
{
    if (a == 0.0f) {
        if (in == out)
            scaleInPlace(out, b, n);
        else
            BlockMath::addScaled(out, in, b, n);
    } else if (in == out) {
        shapeRun<false>(out, in, n, a, b);
    } else {
        shapeRun<true>(out, in, n, a, b);
    }
}

} // namespace

namespace SaturParas {

std::array<ParaRow_s, 3> rows(const char* modeName)
{
    return {{
        {.index = pOnOff, .kind = ParaKind::OnOff, .name = "S0 On/Off", .def = 1},
        {.index = pIntense, .name = "Intense", .unit = "%", .lo = 0, .hi = 100, .precision = 2, .def = 0},
        {.index = pMode, .kind = ParaKind::Enu, .name = modeName, .lo = 0, .hi = 2, .def = 0, .width = 6,
         .items = "Hard  Soft  Modula"},
    }};
}

float intense(const Part_c& part)
{
    const Parameter_c* p = part.getRenderParaPtr(currentSet(part));
    return p ? static_cast<float>(p[pIntense].fl) : 0.0f;
}

} // namespace SaturParas

Satur_c::~Satur_c() = default;

bool Satur_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    const auto rows = SaturParas::rows("Unused");
    return defineParas(shared, nSets, SaturParas::ParaCount, rows.data(), static_cast<int>(rows.size()));
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
    const Parameter_c* p = refreshParameters(reason, set, paraSet != nullptr);
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
        shapeChannel(out, in, n, a, b);
    }
    outputBusA->doneWriteMono();
}

void Satur_c::renderStereo(int n)
{
    StereoPins_t pins;
    if (!openStereoWriteRead(n, pins, false))
        return;
    auto [inL, inR, outL, outR] = pins;
    if (inL) {
        // Both channels with the same coefficients, even when cachePara
        // changes them meanwhile.
        const float ca = a;
        const float cb = b;
        shapeChannel(outL, inL, n, ca, cb);
        shapeChannel(outR, inR, n, ca, cb);
    }
    outputBusA->doneWriteStereo();
}
