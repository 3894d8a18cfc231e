// The level meter driver: stepped meter values, the command 28 records it
// posts toward the idle side and what they do there, hold, decay and the
// send interval, and the effect base forwarding its idle calls.
#include "CmdBuffer.h"
#include "EngineFigures.h"
#include "EngineTestHost.h"
#include "HoldData.h"
#include "LevelMeter.h"
#include "Synth.h"
#include "Variator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

// The part a meter reports for: records the values the idle side sets.
class MeterPart : public Part_c
{
public:
    void setPara01(int set, int idx, float x) override { values.push_back({set, idx, x}); }
    struct Value
    {
        int set;
        int idx;
        float x;
    };
    std::vector<Value> values;
};

// An engine with a known sample rate whose idle queue the test reads.
class MeterEngine : public Synth
{
public:
    explicit MeterEngine(double rate)
        : Synth(&EngineTestHost::callback, EngineTest::smallFigures("Meter", "Met0"))
    {
        engineSampleRate = rate;
    }
    // The records waiting on the idle side, taken.
    std::vector<HoldData_c> take()
    {
        std::vector<HoldData_c> out;
        HoldData_c r;
        while (cmdQueues.toGUI->unholdEvent(&r))
            if (r.command != 0)
                out.push_back(r);
        return out;
    }
    void updateEditor(Part_c*, int para, int set, bool full) override { redraws.push_back({para, set, full}); }
    struct Redraw
    {
        int para;
        int set;
        bool full;
    };
    std::vector<Redraw> redraws;
};

constexpr int Block = 256;

TEST(VUDriver, MeterValuesStepByThreshold)
{
    struct Case
    {
        int segments;
        float peak;
        double value;
    };
    for (const Case c : {
             Case{8, 0.6f, 6.0 / 8},       // 0.5 is the first threshold reached
             Case{8, 1.0f, 1.0},           //
             Case{8, 1.5f, 1.0},           // above full scale
             Case{8, 0.71f, 7.0 / 8},      //
             Case{8, 0.015625f, 1.0 / 8},  // the lowest threshold
             Case{8, 0.0156f, 0.0},        // below every threshold
             Case{8, 0.0f, 0.0},           //
             Case{4, 0.3f, 1.0 / 4},       // four segments: 1, 0.71, 0.5, 0.25
             Case{4, 0.2f, 0.0},           // the fifth threshold is not used
             Case{1, 0.9f, 0.0},           // one segment lights only at full scale
             Case{1, 1.0f, 1.0},           //
             Case{12, 0.6f, 10.0 / 12},    // more segments than thresholds
             Case{12, 0.01f, 0.0},         //
             Case{0, 1.0f, 0.0},           // no segments
             Case{-3, 1.0f, 0.0},          //
         }) {
        SCOPED_TRACE(std::to_string(c.segments) + " segments, peak " + std::to_string(c.peak));
        VUDriver_c vu(nullptr, nullptr, 0, c.segments);
        EXPECT_DOUBLE_EQ(vu.getMaxAudioTransmit(c.peak), c.value);
    }
}

// A rise is sent at once as command 28 (set, display parameter, the part and
// the value); taken on the idle side it sets the display parameter and
// redraws it.
TEST(VUDriver, ARisePostsCommand28WhichTheIdleSideApplies)
{
    MeterEngine engine(44100.0);
    MeterPart part;
    VUDriver_c vu(&engine, &part, 7, 8);
    vu.updateVU(0.6f, Block);
    EXPECT_DOUBLE_EQ(vu.getSentValue(), 0.75);

    const std::vector<HoldData_c> records = engine.take();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].command, 28);
    EXPECT_EQ(records[0].index, 0); // the instrument of a part that has not played
    EXPECT_EQ(records[0].value, 7);
    EXPECT_EQ(records[0].ptr1, &part);
    ASSERT_NE(records[0].ptr2, nullptr);
    EXPECT_DOUBLE_EQ(*static_cast<const double*>(records[0].ptr2), 0.75);

    engine.processGuiHoldBufferCmd(records[0]);
    ASSERT_EQ(part.values.size(), 1u);
    EXPECT_EQ(part.values[0].set, 0);
    EXPECT_EQ(part.values[0].idx, 7);
    EXPECT_FLOAT_EQ(part.values[0].x, 0.75f);
    ASSERT_EQ(engine.redraws.size(), 1u);
    EXPECT_EQ(engine.redraws[0].para, 7);
    EXPECT_FALSE(engine.redraws[0].full);
}

// The value a record points at stays what it was when the record was posted,
// whatever the meter sends afterwards: the idle side may take it late.
TEST(VUDriver, AQueuedValueIsNotRewrittenByLaterSends)
{
    MeterEngine engine(0.0); // rate unknown: every call sends
    MeterPart part;
    VUDriver_c vu(&engine, &part, 3, 8);
    vu.updateVU(1.0f, Block);
    vu.updateVU(0.0f, Block); // decays: 0.9 -> 0.71 threshold
    for (int i = 0; i < 40; ++i)
        vu.idleVU(Block);
    const std::vector<HoldData_c> records = engine.take();
    ASSERT_GE(records.size(), 2u);
    EXPECT_DOUBLE_EQ(*static_cast<const double*>(records[0].ptr2), 1.0);
    EXPECT_DOUBLE_EQ(*static_cast<const double*>(records[1].ptr2), 7.0 / 8);
    EXPECT_DOUBLE_EQ(*static_cast<const double*>(records.back().ptr2), vu.getSentValue());
}

// A constant peak is re-sent every 0.2 s of samples and starts to decay
// 0.2 s (8820 samples at 44.1 kHz) after its last rise; rates 48 and 96 kHz
// scale both.
TEST(VUDriver, ConstantPeakIsResentAndDecaysAfterTheHold)
{
    for (double rate : {44100.0, 48000.0, 96000.0}) {
        SCOPED_TRACE(rate);
        MeterEngine engine(rate);
        MeterPart part;
        VUDriver_c vu(&engine, &part, 1, 8);
        // Calls of one block that make up 0.2 s, rounded up.
        const int period = (static_cast<int>(rate * 0.2) + Block - 1) / Block;
        std::vector<int> sends;
        std::vector<int> decays;
        for (int call = 0; call < 4 * period; ++call) {
            vu.updateVU(0.6f, Block);
            if (!engine.take().empty())
                sends.push_back(call);
            if (vu.getPeak() < 0.6f) {
                decays.push_back(call);
                EXPECT_FLOAT_EQ(vu.getPeak(), 0.6f * 0.9f);
            }
        }
        // The hold runs out in the call whose samples complete 0.2 s; the
        // next update is a rise again and is sent at once.
        ASSERT_EQ(sends.size(), 4u);
        ASSERT_EQ(decays.size(), 4u);
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(sends[k], k * period);
            EXPECT_EQ(decays[k], k * period + period - 1);
        }
    }
}

TEST(VUDriver, SilenceAfterAPeakDecaysTheValueStepByStep)
{
    MeterEngine engine(44100.0);
    MeterPart part;
    VUDriver_c vu(&engine, &part, 1, 8);
    vu.updateVU(1.0f, Block);
    double last = 2.0;
    for (int call = 0; call < 2000; ++call) {
        vu.idleVU(Block);
        for (const HoldData_c& r : engine.take()) {
            const double v = *static_cast<const double*>(r.ptr2);
            EXPECT_LE(v, last);
            last = v;
        }
    }
    EXPECT_DOUBLE_EQ(last, 0.0);
    EXPECT_LT(vu.getPeak(), 0.015625f);
}

TEST(VUDriver, WithoutEngineOrPartNothingIsSentAndBadPeaksAreIgnored)
{
    MeterEngine engine(44100.0);
    MeterPart part;
    VUDriver_c noEngine(nullptr, &part, 1, 8);
    noEngine.updateVU(0.6f, Block);
    EXPECT_DOUBLE_EQ(noEngine.getSentValue(), 0.75);
    VUDriver_c noPart(&engine, nullptr, 1, 8);
    noPart.updateVU(0.6f, Block);
    EXPECT_TRUE(engine.take().empty());

    VUDriver_c vu(&engine, &part, 1, 8);
    vu.updateVU(0.3f, Block);
    vu.updateVU(std::numeric_limits<float>::infinity(), Block);
    vu.updateVU(std::numeric_limits<float>::quiet_NaN(), Block);
    EXPECT_FLOAT_EQ(vu.getPeak(), 0.3f);
    // A negative sample count counts nothing.
    vu.idleVU(-1000000);
    vu.updateVU(0.3f, Block);
    EXPECT_FLOAT_EQ(vu.getPeak(), 0.3f);
}

// An effect that shows a meter hands its idle calls to it.
class MeteredEffect : public VariatorInst_c
{
public:
    MeteredEffect(Synth* engine, int paramIndex) { vuDriver.reset(new VUDriver_c(engine, this, paramIndex, 8)); }
};

TEST(VUDriver, TheEffectBaseForwardsItsIdleCalls)
{
    MeterEngine engine(44100.0);
    MeteredEffect effect(&engine, 9);
    ASSERT_NE(effect.getVUDriver(), nullptr);
    effect.getVUDriver()->updateVU(0.3f, Block);
    engine.take();
    for (int i = 0; i < 40; ++i)
        effect.idleVU(Block);
    const std::vector<HoldData_c> records = engine.take();
    ASSERT_EQ(records.size(), 1u); // one interval of 0.2 s went by
    EXPECT_EQ(records[0].ptr1, &effect);
    EXPECT_EQ(records[0].value, 9);
}

} // namespace
