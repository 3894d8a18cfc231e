// The instrument's effect chain measured at the output bus: where each 5.1
// tap sits in the chain, how the send sets add and the serial slots replace,
// and how effect tails keep the instrument sounding after the last voice.
// Plain delays (no modulation or filter) make the chain readable: an
// impulse comes out as the impulse plus echoes at known places.
#include "SignalMeasure.h"
#include "VelaInstRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace VelaInstTest;
using VI = VelaInst_c;

namespace {

constexpr long long Ms = static_cast<long long>(Rate / 1000.0f); // frames per ms

using SignalMeasure::peak;
using SignalMeasure::peakAround;

float maxDifference(const std::vector<float>& a, const std::vector<float>& b)
{
    float m = 0.0f;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        m = std::max(m, std::fabs(a[i] - b[i]));
    return m;
}

// Every slot selected with the program's default types, both send sets and
// every serial slot off, FX5 the only panner: the chain passes the filter
// paths through unchanged.
void neutral(Rig& rig)
{
    rig.inst.selectAll();
    rig.allOn();
    for (int set = 0; set < 2; ++set)
        rig.sendOn(set, false);
    for (int slot = 0; slot < VI::NumSerialSlots; ++slot)
        rig.serialOn(slot, false);
}

// The stereo delay as a plain echo of `ms` on both sides.
void plainStereoDelay(Rig& rig, int ms)
{
    const int set = VI::setSerial;
    rig.fxPara(set, VI::fxStereoDelay, DelayStereo_c::pSyncL, 3); // " Off ": free times
    rig.fxPara(set, VI::fxStereoDelay, DelayStereo_c::pSyncR, 3);
    rig.fxPara(set, VI::fxStereoDelay, DelayStereo_c::pTimeL, ms);
    rig.fxPara(set, VI::fxStereoDelay, DelayStereo_c::pTimeR, ms);
    rig.fxPara(set, VI::fxStereoDelay, DelayStereo_c::pFeed, 0);
    rig.fxPara(set, VI::fxStereoDelay, DelayStereo_c::pWet, 100);
}

} // namespace

// Path 1 carries an impulse at 0, path 2 one at 100 (both send sets off, so
// their dry paths reach the chain); X0 is a 5 ms delay, X2 a 10 ms stereo
// delay. Each tap shows the bus at its place:
// set 0 -> FX0 -> set 1 -> X0 -> X1 -> FX3 -> X2 -> X3 -> FX5.
TEST(VelaInstChain, EachTapHearsTheBusAtItsPlaceInTheChain)
{
    const long long a = 0, b = 100, x0 = 5 * Ms, x2 = 10 * Ms;
    struct Case
    {
        const char* what;
        int panner;
        std::vector<long long> present;
        std::vector<long long> absent;
    };
    const Case cases[] = {
        {"FX0: set 0 only", VI::pannerFX0, {a}, {b, a + x0, b + x0, a + x2}},
        {"FX3: both paths and X0, not yet X2", VI::pannerFX3, {a, b, a + x0, b + x0}, {a + x2, b + x2, a + x0 + x2}},
        {"FX5: the whole chain", VI::pannerFX5, {a, b, a + x0, b + x0, a + x2, b + x2, a + x0 + x2, b + x0 + x2}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        neutral(rig);
        rig.selectSerial(0, VI::fxDelay);
        rig.selectSerial(2, VI::fxStereoDelay);
        rig.serialOn(0, true);
        rig.serialOn(2, true);
        rig.plainDelay(VI::setSerial, 5, 0, 100);
        plainStereoDelay(rig, 10);
        for (int k = 0; k < VI::NumFxPanners; ++k)
            rig.pannerOn(k, k == c.panner);
        const std::vector<float> out = rig.run(20 * Ms, impulseAt(a), impulseAt(b));
        const float top = peak(out);
        ASSERT_GT(top, 0.0f);
        for (long long at : c.present)
            EXPECT_GT(peakAround(out, at), 0.2f * top) << "at " << at;
        for (long long at : c.absent)
            EXPECT_LT(peakAround(out, at), 0.01f * top) << "at " << at;
    }
}

// With both taps FX0 and FX5 on, set 0's output reaches the outputs twice
// (each tap adds what the bus holds at its place), set 1's once.
TEST(VelaInstChain, TwoTapsAddTheBusTwice)
{
    float level[2][2] = {}; // [FX0 on][path]
    for (int fx0 = 0; fx0 < 2; ++fx0)
        for (int path = 0; path < 2; ++path) {
            Rig rig;
            neutral(rig);
            rig.pannerOn(VI::pannerFX0, fx0 == 1);
            const std::vector<float> out =
                rig.run(MaxBlockSize, path == 0 ? impulseAt(10) : nullptr, path == 1 ? impulseAt(10) : nullptr);
            level[fx0][path] = peakAround(out, 10);
        }
    ASSERT_GT(level[0][0], 0.0f);
    // FX0 adds set 0 once more (with its own input gain); set 1 is unchanged.
    EXPECT_NEAR(level[1][0], level[0][0] * (1.0f + VI::PannerGains[0] / VI::PannerGains[2]), 1e-3f * level[0][0]);
    EXPECT_NEAR(level[1][1], level[0][1], 1e-6f);
    EXPECT_NEAR(level[0][1], level[0][0], 1e-6f);
}

// The send sets add onto the effect bus; a serial slot replaces the bus
// with its output, so a delay in X0 fed by the dry path gives exactly what
// the same delay in send set 0 adds onto an empty bus.
TEST(VelaInstChain, SendSetsAddAndSerialSlotsReplace)
{
    const auto sends = [](bool path0, bool path1) {
        Rig rig;
        neutral(rig);
        rig.selectSend(0, VI::fxDelay);
        rig.selectSend(1, VI::fxDelay);
        rig.sendOn(0, true);
        rig.sendOn(1, true);
        rig.plainDelay(VI::setSend0, 5, 50, 70);
        rig.plainDelay(VI::setSend1, 7, 30, 90);
        return rig.run(30 * Ms, path0 ? impulseAt(0) : nullptr, path1 ? impulseAt(50) : nullptr);
    };
    const std::vector<float> only0 = sends(true, false);
    const std::vector<float> only1 = sends(false, true);
    const std::vector<float> both = sends(true, true);
    std::vector<float> sum(both.size());
    for (size_t i = 0; i < sum.size(); ++i)
        sum[i] = only0[i] + only1[i];
    ASSERT_GT(peakAround(both, 5 * Ms), 0.1f);
    ASSERT_GT(peakAround(both, 50 + 7 * Ms), 0.1f);
    EXPECT_LT(maxDifference(both, sum), 1e-4f);

    const auto delayIn = [](bool serial) {
        Rig rig;
        neutral(rig);
        if (serial) {
            rig.selectSerial(0, VI::fxDelay);
            rig.serialOn(0, true);
        } else {
            rig.selectSend(0, VI::fxDelay);
            rig.sendOn(0, true);
        }
        rig.plainDelay(serial ? VI::setSerial : VI::setSend0, 5, 50, 70);
        return rig.run(30 * Ms, impulseAt(0));
    };
    const std::vector<float> parallel = delayIn(false);
    const std::vector<float> serial = delayIn(true);
    ASSERT_GT(peakAround(parallel, 5 * Ms), 0.1f * peakAround(parallel, 0));
    EXPECT_LT(maxDifference(parallel, serial), 1e-4f * peak(parallel));
}

// With both send sets off and voices sounding, the bus gets both filter
// paths and the serial slots are told that their input is on.
TEST(VelaInstChain, SendSetsOffPassBothPathsAndKeepTheChainOn)
{
    Rig rig;
    neutral(rig);
    const std::vector<float> only0 = rig.run(MaxBlockSize, [](long long) { return 0.25f; });
    const std::vector<float> both = rig.run(MaxBlockSize, [](long long) { return 0.25f; }, [](long long) { return 0.5f; });
    ASSERT_GT(only0[10], 0.0f);
    EXPECT_NEAR(both[10], 3.0f * only0[10], 1e-5f);
    EXPECT_TRUE(rig.inst.activeFlag.load());
}

// ---------------------------------------------------------------------------
// Activity and tails

namespace {

// Renders pieces without voices until the sounding flag clears (at most
// `limit` pieces); the count of pieces rendered.
int piecesUntilSilent(Rig& rig, int limit, std::vector<float>* out)
{
    rig.inst.voicesInUse.store(0);
    for (int k = 1; k <= limit; ++k) {
        rig.piece(MaxBlockSize, nullptr, nullptr, out);
        if (!rig.inst.activeFlag.load())
            return k;
    }
    return limit + 1;
}

} // namespace

TEST(VelaInstTails, WithNoNotePlayedTheFirstPieceStopsTheInstrument)
{
    Rig rig;
    rig.inst.selectAll();
    rig.allOn();
    ASSERT_TRUE(rig.inst.activeFlag.load()); // set when the instrument is made
    EXPECT_EQ(piecesUntilSilent(rig, 4, nullptr), 1);
    // A note start wakes it; it sounds while the voice is in use.
    rig.inst.activeFlag = true;
    rig.inst.voiceStarted = true;
    rig.run(4 * MaxBlockSize, impulseAt(rig.clock));
    EXPECT_TRUE(rig.inst.activeFlag.load());
}

// A ringing send effect keeps the instrument sounding after the last voice
// for the longest tail of the two send sets (both on), then the sounding
// flag clears.
TEST(VelaInstTails, ASendTailKeepsTheInstrumentSoundingUntilItRunsOut)
{
    for (int type : {VI::fxDelay, VI::fxReverb}) {
        SCOPED_TRACE(testing::Message() << "type " << type);
        Rig rig;
        neutral(rig);
        rig.selectSend(0, type);
        rig.sendOn(0, true);
        rig.sendOn(1, true);
        if (type == VI::fxDelay)
            rig.plainDelay(VI::setSend0, 100, 50, 100);
        std::vector<float> out = rig.run(MaxBlockSize, impulseAt(0));
        int tailSamples = 0;
        for (int slot : {VI::slotSend0, VI::slotSend1}) {
            VariatorInst_c* fx = rig.inst.getCurrentEffect(slot);
            tailSamples = std::max(tailSamples, fx->tailSamplesFor(fx->getFadeTime()));
        }
        ASSERT_GT(tailSamples, 20 * MaxBlockSize);
        const int tailPieces = (tailSamples + MaxBlockSize - 1) / MaxBlockSize;
        // One piece for the voice that just ended, the tail, then the piece
        // that finds it over.
        EXPECT_EQ(piecesUntilSilent(rig, 2 * tailPieces, &out), 1 + tailPieces + 1);
        if (type != VI::fxDelay)
            continue;
        // (-4 / log10(0.5001)) x 0.1 s + 0.1 s
        EXPECT_NEAR(rig.inst.getEffect(VI::setSend0, VI::fxDelay)->getFadeTime(), 1.429f, 0.01f);
        // The echoes went on meanwhile, halving.
        for (int k = 1; k <= 8; ++k)
            EXPECT_NEAR(peakAround(out, 100 * Ms * k), peakAround(out, 0) * std::pow(0.5f, static_cast<float>(k - 1)),
                        0.02f * peakAround(out, 0))
                << "echo " << k;
    }
}

// Turning a serial slot off cuts its tail at once: the bus passes it by, and
// with nothing else sounding the instrument stops.
TEST(VelaInstTails, SwitchingASlotOffCutsItsTail)
{
    Rig rig;
    neutral(rig);
    rig.selectSerial(1, VI::fxDelay);
    rig.serialOn(1, true);
    rig.plainDelay(VI::setSerial, 10, 90, 100);
    std::vector<float> out = rig.run(15 * Ms, impulseAt(0));
    ASSERT_GT(peakAround(out, 10 * Ms), 0.5f * peakAround(out, 0));
    rig.serialOn(1, false);
    std::vector<float> after;
    // The piece in which the last voice ended, then silence.
    EXPECT_EQ(piecesUntilSilent(rig, 4, &after), 2);
    EXPECT_EQ(peak(after), 0.0f);
}
