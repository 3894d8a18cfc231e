// Every per-voice filter at the extremes of cutoff, resonance and type, at
// 44.1, 48 and 96 kHz: fed a +-16 square wave and then white noise of the
// same peak for 10 s each, it stays finite and bounded; 30 s of silence
// after that leave no subnormal number in its state. A state or an input
// that is no longer finite costs at most the block it arrives in, never the
// voice; broken modulation values never reach the output.
#include "FilterTestRig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

using namespace FilterTest;
using namespace SignalMeasure;
using M = FilterMoogSI_c;
using F = FilterFree_c;

namespace {

constexpr float Loud = 16.0f;

// The subnormal numbers in every state of a filter, rings included.
size_t subnormalState(const M& m)
{
    size_t n = countSubnormal(&m.level, 1) + countSubnormal(&m.levelStep, 1) + countSubnormal(&m.f, 1);
    for (int c = 0; c < 2; ++c) {
        n += countSubnormal(m.ladder[c].s, 4) + countSubnormal(m.ladder[c].prev, 3);
        n += countSubnormal(&m.ladder[c].xPrev, 1) + countSubnormal(&m.ladder[c].dc, 1);
        n += countSubnormal(m.band[c].low, 4) + countSubnormal(m.band[c].high, 3) + countSubnormal(&m.band[c].last, 1);
        n += countSubnormal(&m.high[c].hp1, 1) + countSubnormal(&m.high[c].hp2, 1);
        n += countSubnormal(m.ring[c], M::RingFrames);
    }
    return n;
}

size_t subnormalState(const F& f)
{
    size_t n = countSubnormal(&f.level, 1) + countSubnormal(&f.levelStep, 1) + countSubnormal(&f.f, 1) +
               countSubnormal(&f.g, 1);
    for (int c = 0; c < 2; ++c) {
        for (const F::Stage_t* s : {&f.first[c], &f.second[c]})
            n += countSubnormal(&s->low, 1) + countSubnormal(&s->high, 1) + countSubnormal(&s->band, 1);
        n += countSubnormal(&f.last[c], 1) + countSubnormal(&f.dc[c], 1);
    }
    return n;
}

// The loud signals and the test itself for one filter setting. A filter
// that self-oscillates (the ladder at full resonance and a low cutoff, or
// "HP 12" through its delay line) goes on sounding in silence: only a filter
// that cannot must decay.
template <typename Filt>
void stress(Rig<Filt>& r, float bound, bool mustDecay)
{
    FlushToZeroScope ftz;
    const auto seconds = [&](double s) { return static_cast<size_t>(s * r.rate); };
    r.start();
    float loudest = 0.0f;
    for (const Signal& loud : {square(seconds(10.0), 101, Loud), noise(seconds(10.0), Loud, 7)}) {
        const auto o = r.run(loud);
        ASSERT_TRUE(allFinite(o.first) && allFinite(o.second));
        loudest = std::max({loudest, peak(o.first), peak(o.second)});
    }
    EXPECT_LE(loudest, bound);
    for (int s = 0; s < 30; ++s) {
        const auto o = r.run(Signal(seconds(1.0), 0.0f));
        ASSERT_TRUE(allFinite(o.first) && allFinite(o.second));
        if (s == 29) {
            EXPECT_EQ(countSubnormal(o.first.data(), o.first.size()), 0u);
            if (mustDecay) {
                EXPECT_LT(peak(o.first), 1e-3f) << "silence decays";
            }
        }
    }
    EXPECT_EQ(subnormalState(r.filter), 0u);
}

TEST(FilterStability, LadderAtItsExtremes)
{
    // Bounds of the output at level 1 (x 8 inside) and a centred balance.
    struct Type
    {
        int type;
        float bound;
    };
    const Type types[] = {{M::rLP12, 64.0f}, {M::rLP24, 8.0f}, {M::rBP24, 64.0f}, {M::rHP12, 64.0f}};
    for (float rate : Rates)
        for (const Type& t : types)
            for (float cutoff : {0.0f, 1.0f})
                for (float resonance : {0.0f, 1.0f}) {
                    SCOPED_TRACE(testing::Message() << rate << " Hz, type " << t.type << ", cutoff " << cutoff
                                                    << ", resonance " << resonance);
                    Rig<M> r(rate);
                    r.filter.setParaVal(0, M::pType, t.type);
                    r.set(cutoff, resonance);
                    stress(r, t.bound, resonance == 0.0f);
                }
}

TEST(FilterStability, MorphingFilterAtItsExtremes)
{
    for (float rate : Rates)
        for (int slope : {1, 2})
            for (float type : {-1.0f, -0.5f, 0.0f, 0.5f})
                for (float cutoff : {0.0f, 1.0f})
                    for (float resonance : {0.0f, 1.0f}) {
                        SCOPED_TRACE(testing::Message() << rate << " Hz, slope " << slope << ", type " << type
                                                        << ", cutoff " << cutoff << ", resonance " << resonance);
                        Rig<F> r(rate);
                        r.filter.setParaVal(0, F::pSlope, slope);
                        r.filter.cachePara(crParaChange, 0, -1);
                        r.set(cutoff, resonance, type);
                        // The square's edges overshoot several times over near
                        // the top of the range; full resonance raises the band
                        // by up to 1 / (1 - 0.99) on top.
                        stress(r, (resonance > 0.0f ? 100.0f : 1.0f) * 16.0f * Loud, true);
                    }
}

// The ways a filter can meet a value that is not finite.
enum Fault_t { NoFault, BadState, BadInput, BadModulation };

const char* faultName(Fault_t f)
{
    return f == BadState ? "state" : f == BadInput ? "input" : "modulation";
}

void poison(M& m)
{
    m.ladder[0].s[3] = std::numeric_limits<double>::quiet_NaN();
    m.band[0].low[2] = std::numeric_limits<float>::infinity();
    m.high[0].hp1 = std::numeric_limits<float>::quiet_NaN();
    m.ring[0][(m.writeIndex + M::RingFrames - 4) & (M::RingFrames - 1)] = std::numeric_limits<float>::quiet_NaN();
}

void poison(F& f)
{
    f.first[0].band = std::numeric_limits<double>::quiet_NaN();
    f.second[0].high = std::numeric_limits<double>::infinity();
}

// The tone a filter plays half a second after a block with the fault,
// without a new note.
template <typename Filt>
double toneAfter(Rig<Filt>& r, Fault_t fault)
{
    const double hz = 300.0;
    r.start();
    r.run(noise(4096, 1.0f));
    Signal block = noise(Block, 1.0f, 3);
    float saved[5][Steps];
    float* mods[5] = {r.mod.cutoff, r.mod.resonance, r.mod.level, r.mod.balance, r.mod.type};
    switch (fault) {
    case BadState:
        poison(r.filter);
        break;
    case BadInput:
        block[17] = std::numeric_limits<float>::quiet_NaN();
        block[40] = std::numeric_limits<float>::infinity();
        break;
    case NoFault:
        break;
    case BadModulation:
        for (int i = 0; i < 5; ++i) {
            std::copy_n(mods[i], Steps, saved[i]);
            for (int k = 0; k < Steps; ++k)
                mods[i][k] = k % 3 == 0   ? std::numeric_limits<float>::quiet_NaN()
                             : k % 3 == 1 ? std::numeric_limits<float>::infinity()
                                          : -std::numeric_limits<float>::infinity();
        }
        break;
    }
    const auto hit = r.run(block);
    if (fault == BadModulation) {
        EXPECT_TRUE(allFinite(hit.first) && allFinite(hit.second)) << "broken modulation reaches no output";
        for (int i = 0; i < 5; ++i)
            std::copy_n(saved[i], Steps, mods[i]);
    }
    const auto after = r.run(sine(static_cast<size_t>(r.rate / 2), hz, r.rate, 0.5f));
    EXPECT_TRUE(allFinite(after.first) && allFinite(after.second));
    return toneAmplitude(after.first, after.first.size() / 2, hz, r.rate);
}

// The filter plays on as it would have without the fault.
template <typename Filt>
void recovers(const std::function<void(Rig<Filt>&)>& setup, float rate, Fault_t fault)
{
    Rig<Filt> clean(rate);
    setup(clean);
    const double reference = toneAfter(clean, NoFault);
    ASSERT_GT(reference, 1e-4);
    Rig<Filt> r(rate);
    setup(r);
    EXPECT_NEAR(dB(toneAfter(r, fault) / reference), 0.0, 0.1);
}

TEST(FilterStability, RecoversFromNonFiniteValues)
{
    for (Fault_t fault : {BadState, BadInput, BadModulation}) {
        for (float rate : Rates) {
            for (int type = M::rLP12; type <= M::rHP12; ++type) {
                SCOPED_TRACE(testing::Message() << "ladder type " << type << ", " << rate << " Hz, bad "
                                                << faultName(fault));
                recovers<M>(
                    [type](Rig<M>& r) {
                        r.filter.setParaVal(0, M::pType, type);
                        r.set(type == M::rBP24 ? 0.3f : 0.7f, 0.5f);
                    },
                    rate, fault);
            }
            for (int slope : {1, 2}) {
                SCOPED_TRACE(testing::Message() << "morphing slope " << slope << ", " << rate << " Hz, bad "
                                                << faultName(fault));
                recovers<F>(
                    [slope](Rig<F>& r) {
                        r.filter.setParaVal(0, F::pSlope, slope);
                        r.filter.cachePara(crParaChange, 0, -1);
                        r.set(0.7f, 0.5f, -0.8f);
                    },
                    rate, fault);
            }
        }
    }
}

} // namespace
