// Golden output of the line and sweep effects: a fixed stereo input (noise
// left, a sine right) through each effect at its defaults, in blocks of 100
// samples so the control-step carries are exercised, compared with what the
// effect gave when these values were recorded. Sharing code between the
// effects must not move their output.
//
// TESSEL_PRINT_FINGERPRINTS=1 prints the current values as table rows.
#include "Chorus1.h"
#include "CrushX.h"
#include "Delay2.h"
#include "DelayPingPong.h"
#include "DelayStereo.h"
#include "EQ2.h"
#include "Flanger2.h"
#include "Gator.h"
#include "FxMeasure1.h"
#include "GloFil.h"
#include "Phaser1S.h"
#include "Reverb2.h"
#include "StereoEnh1.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace fxtest;

namespace {

constexpr long long Frames = 24000;
constexpr int Block = 100;
constexpr float Rate = 48000.0f;
constexpr size_t Probes = 6; // samples looked at one by one, spread over the run

struct Fingerprint
{
    double rmsL;
    double rmsR;
    float probes[Probes];
    uint64_t bits = 0;
};

struct GoldenCase
{
    const char* name;
    std::function<std::unique_ptr<VariatorInst_c>()> make;
    std::function<LFOSimp_c*(VariatorInst_c&)> lfoOf;
    std::vector<std::pair<int, int>> settings; // (index, stored value) beyond the defaults
    Fingerprint expected;
};

template <class E>
std::function<std::unique_ptr<VariatorInst_c>()> maker()
{
    return [] { return std::make_unique<E>(); };
}

size_t probeAt(size_t k)
{
    return static_cast<size_t>(Frames) / 2 + k * 1999;
}

Fingerprint fingerprintOf(const GoldenCase& c)
{
    std::unique_ptr<VariatorInst_c> fx = c.make();
    std::vector<LFOSimp_c*> lfos;
    if (c.lfoOf)
        lfos.push_back(c.lfoOf(*fx));
    FxRig rig(std::move(fx), Rate, false, lfos);
    for (const auto& [idx, value] : c.settings)
        rig.para(idx, value);
    rig.run(Frames, noise(0.5f, 7), sine(441.0, Rate, 0.4f), Block);
    Fingerprint f{rms(rig.outL), rms(rig.outR), {}, 14695981039346656037ull};
    // Every output bit, for comparing two builds exactly (printed only: the
    // last bits may differ between compilers).
    for (const std::vector<float>* side : {&rig.outL, &rig.outR})
        for (float v : *side) {
            uint32_t bits = 0;
            std::memcpy(&bits, &v, 4);
            f.bits = (f.bits ^ bits) * 1099511628211ull;
        }
    for (size_t k = 0; k < Probes; ++k)
        f.probes[k] = (k & 1) ? rig.outR[probeAt(k)] : rig.outL[probeAt(k)];
    return f;
}

// The cases' outputs as recorded: defaults, but for the settings a row names.
const std::vector<GoldenCase>& cases()
{
    static const std::vector<GoldenCase> table = {
        {"DELAY", maker<Delay2_c>(), nullptr, {},
         {0.30198410963639327, 0.33059306398225702,
          {-0.338785291f, -0.31030637f, -0.495467812f, 0.511633277f, 0.0347470343f, 0.100467883f}}},
        {"DELAY_STEREO", maker<DelayStereo_c>(), nullptr, {},
         {0.29143496348723436, 0.28446955944097652,
          {-0.415627241f, -0.221464157f, -0.418266654f, 0.361798286f, 0.0932515413f, 0.13790679f}}},
        {"DELAY_PINGPONG", maker<DelayPingPong_c>(), nullptr, {},
         {0.289355580315935, 0.29381959854070172,
          {-0.426736236f, -0.262597114f, -0.382442653f, 0.356553972f, 0.0709161386f, 0.180449098f}}},
        {"FLANGER", maker<Flanger2_c>(), nullptr, {{Flanger2_c::pWet, 60}},
         {0.32295265394296335, 0.42011458769676158,
          {-0.625598431f, -0.328056365f, -0.544295788f, 0.42673862f, 0.154243767f, 0.402113706f}}},
        {"REVERB", maker<Reverb2_c>(), nullptr, {},
         {0.29037980453098272, 0.29716218490570462,
          {-0.454737633f, -0.28236872f, -0.402596682f, 0.360675007f, 0.0924503058f, 0.219378546f}}},
        {"CHORUS", maker<Chorus1_c>(), nullptr, {},
         {0.19678166706438119, 0.23539553008377792,
          {-0.258882999f, -0.298770964f, -0.15684247f, 0.305113405f, -0.010335207f, 0.106352724f}}},
        {"STEREO_ENH", maker<StereoEnh1_c>(), nullptr, {},
         {0.27624041587617526, 0.28181109709091912,
          {-0.471037745f, -0.326197922f, -0.230656981f, 0.196276084f, 0.23639591f, 0.364169657f}}},
        {"FILTER", maker<GloFil_c>(),
         [](VariatorInst_c& e) { return &static_cast<GloFil_c&>(e).lfo; }, {},
         {0.16185272544014276, 0.21792349730366484,
          {-0.304968983f, -0.207211912f, -0.286196887f, 0.256350011f, -0.0665205345f, 0.135543421f}}},
        {"PHASER", maker<Phaser1S_c>(),
         [](VariatorInst_c& e) { return &static_cast<Phaser1S_c&>(e).lfo; }, {},
         {0.32456858883359724, 0.14222583437168063,
          {-0.386046141f, -0.0828808248f, -0.166101068f, 0.205729499f, 0.123585872f, 0.00844185241f}}},
        {"GATOR", maker<Gator_c>(), nullptr, {},
         {0.20278125412983972, 0.19925440856583382,
          {-0.400774926f, -2.66053419e-08f, -0.395995557f, 0.327349782f, 5.30606625e-09f, 0.190633193f}}},
        {"EQ", [] { return std::make_unique<EQ2_c>(18); }, nullptr, {{EQ2_c::pGain1, 60}, {EQ2_c::pGain2, -90}},
         {0.28616241502349066, 0.20035879300143017,
          {-0.408670872f, -0.188716277f, -0.374394804f, 0.231468424f, 0.0402093157f, 0.13538748f}}},
        {"CRUSH", maker<CrushX_c>(), nullptr, {},
         {0.289592382613166, 0.28548712687399869,
          {-0.398913056f, -0.272753417f, -0.425691694f, 0.337341011f, 0.0322620161f, 0.211915404f}}},
    };
    return table;
}

} // namespace

TEST(EffectGolden, OutputsMatchTheRecordedOnes)
{
    const bool print = std::getenv("TESSEL_PRINT_FINGERPRINTS") != nullptr;
    for (const GoldenCase& c : cases()) {
        SCOPED_TRACE(c.name);
        const Fingerprint f = fingerprintOf(c);
        if (print) {
            std::printf("%s %.17g %.17g", c.name, f.rmsL, f.rmsR);
            for (float p : f.probes)
                std::printf(" %.9g", static_cast<double>(p));
            std::printf(" bits %016" PRIx64 "\n", f.bits);
        }
        // Real input must come through: a silent effect would match a
        // silent record.
        EXPECT_GT(f.rmsL + f.rmsR, 1e-3);
        EXPECT_NEAR(f.rmsL, c.expected.rmsL, 1e-9 + 1e-6 * c.expected.rmsL);
        EXPECT_NEAR(f.rmsR, c.expected.rmsR, 1e-9 + 1e-6 * c.expected.rmsR);
        for (size_t k = 0; k < Probes; ++k)
            EXPECT_NEAR(f.probes[k], c.expected.probes[k], 1e-6f) << "probe " << k;
    }
}
