// The instrument part's effect sets: which module serves which slot, what
// selecting and the remote wet levels change, and the effect chain measured
// at the output bus (echo positions and levels of plain delays).
#include "SignalMeasure.h"
#include "VelaInstRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace VelaInstTest;
using VI = VelaInst_c;

namespace {

using SignalMeasure::peak;
using SignalMeasure::peakAround;

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

// Frames per ms at the rig's rate.
constexpr long long Ms = static_cast<long long>(Rate / 1000.0f);

} // namespace

TEST(VelaInstSets, BuildsOneModuleOfEveryTypePerSetAsChildren)
{
    VelaInst_c inst;
    std::set<const Part_c*> seen;
    for (int s = 0; s < VI::NumFxSets; ++s)
        for (int t = 0; t < VI::NumFxTypes; ++t) {
            VariatorInst_c* fx = inst.getEffect(s, t);
            ASSERT_NE(fx, nullptr) << "set " << s << " type " << t;
            EXPECT_TRUE(seen.insert(fx).second);
            EXPECT_EQ(inst.getPart(VI::childNumber(s, t)), fx);
        }
    EXPECT_EQ(inst.getChildCount(), 39);
}

// Per type: the class's four-character code, whether it follows the host
// tempo; in every set the same code and parameters (a program stores set X
// under the codes of sets 0 and 1), and the serial set stores its output
// where the send sets add it.
TEST(VelaInstSets, SlotVariantsShareTheirClassButStoreInsteadOfAdding)
{
    struct Row
    {
        int type;
        char code[5];
        bool tempo;
    };
    const Row rows[VI::NumFxTypes] = {
        {VI::fxDelay, "VD02", true},         {VI::fxStereoDelay, "VDS1", true}, {VI::fxPingPong, "VDP1", true},
        {VI::fxChorus, "VCH0", false},       {VI::fxPhaser, "VPH0", false},     {VI::fxFilter, "VGF1", false},
        {VI::fxReverb, "VR01", true},        {VI::fxFlanger, "VFL1", true},     {VI::fxGator, "VGT1", true},
        {VI::fxStereoEnhancer, "VSE1", false}, {VI::fxParamEQ, "VEQ1", false},  {VI::fxCrusher, "VCX1", false},
    };
    Rig rig;
    for (const Row& row : rows)
        for (int s = 0; s < VI::NumFxSets; ++s) {
            SCOPED_TRACE(testing::Message() << row.code << " set " << s);
            VariatorInst_c* fx = rig.inst.getEffect(s, row.type);
            EXPECT_EQ(fx->getTypeCode(), ProcTest::fourCC(row.code));
            EXPECT_EQ(fx->isBPMDependent(), row.tempo);
            EXPECT_EQ(fx->getParaSet()->getParaCount(), rig.inst.getEffect(0, row.type)->getParaSet()->getParaCount());
            float v[2] = {};
            float* p = v;
            fx->mixSample(&p, 0.25f);
            p = v;
            fx->mixSample(&p, 0.5f);
            EXPECT_FLOAT_EQ(v[0], s == VI::setSerial ? 0.5f : 0.75f);
            p = v + 1;
            fx->mixSum(&p, 0.25f, 0.5f);
            p = v + 1;
            fx->mixSum(&p, 0.125f, 0.125f);
            EXPECT_FLOAT_EQ(v[1], s == VI::setSerial ? 0.25f : 1.0f);
        }
}

TEST(VelaInstSets, PannersAndStepSequencerAreInPlace)
{
    VelaInst_c inst;
    for (int p = 0; p < VI::NumFxPanners; ++p) {
        EXPECT_EQ(inst.getPart(VI::PannerChildren[p]), inst.getPanner(p));
        EXPECT_FLOAT_EQ(inst.getPanner(p)->getScale(), VI::PannerGains[p]);
    }
    EXPECT_NE(inst.getStepSeq(0), nullptr);
    EXPECT_EQ(inst.getStepSeq(1), nullptr);
    // The build order is the registry's: delay, chorus, phaser, filter,
    // reverb, stereo delay, flanger, enhancer, EQ, gator, crusher, ping-pong.
    const int buildOrder[VI::NumFxTypes] = {VI::fxDelay,       VI::fxChorus,          VI::fxPhaser,  VI::fxFilter,
                                            VI::fxReverb,      VI::fxStereoDelay,     VI::fxFlanger, VI::fxStereoEnhancer,
                                            VI::fxParamEQ,     VI::fxGator,           VI::fxCrusher, VI::fxPingPong};
    for (int k = 0; k < VI::NumFxTypes; ++k) {
        EXPECT_EQ(VI::typeInBuildOrder(k), buildOrder[k]);
        EXPECT_EQ(inst.getEffectInBuildOrder(VI::setSend1, k), inst.getEffect(VI::setSend1, buildOrder[k]));
    }
    EXPECT_EQ(inst.getEffect(3, 0), nullptr);
    EXPECT_EQ(inst.getEffect(0, VI::NumFxTypes), nullptr);
    EXPECT_EQ(inst.getOutBuf(0), nullptr); // no bus attached yet
}

TEST(VelaInstSets, OutputBusListEndsAfterTheOutputBus)
{
    Rig rig;
    EXPECT_EQ(rig.inst.getOutBuf(0), &rig.out);
    EXPECT_EQ(rig.inst.getOutBuf(1), nullptr);
    EXPECT_EQ(rig.inst.getOutBuf(-1), nullptr);
}

TEST(VelaInstSets, NothingIsRenderedBeforeAnySelection)
{
    Rig rig;
    rig.allOn();
    for (int slot = 0; slot < VI::NumFxSlots; ++slot)
        EXPECT_EQ(rig.inst.getCurrentEffect(slot), nullptr);
    for (bool sounding : {true, false}) {
        rig.inst.activeFlag = sounding;
        const std::vector<float> out = rig.run(4 * MaxBlockSize, [](long long) { return 0.5f; });
        EXPECT_EQ(peak(out), 0.0f);
        EXPECT_EQ(rig.inst.activeFlag.load(), sounding) << "the flags keep their values";
    }
}

TEST(VelaInstSets, SelectionPointsEachSlotAtTheModuleOfItsType)
{
    Rig rig;
    rig.selectSend(0, VI::fxReverb);
    rig.selectSend(1, VI::fxCrusher);
    EXPECT_EQ(rig.inst.getCurrentEffect(VI::slotSend0), rig.inst.getEffect(VI::setSend0, VI::fxReverb));
    EXPECT_EQ(rig.inst.getCurrentEffect(VI::slotSend1), rig.inst.getEffect(VI::setSend1, VI::fxCrusher));
    // Out of range: nothing changes.
    rig.glo.getParaPtr(0, VelaGlo_c::gpEffType0)->setValue(12); // unclamped, as a damaged store might hold it
    rig.inst.selectParallel(0);
    EXPECT_EQ(rig.inst.getCurrentEffect(VI::slotSend0), rig.inst.getEffect(VI::setSend0, VI::fxReverb));
    // The module taken out of its slot is switched off, the new one on.
    rig.selectSend(0, VI::fxFlanger);
    EXPECT_FALSE(rig.inst.getEffect(VI::setSend0, VI::fxReverb)->active.load());
    EXPECT_TRUE(rig.inst.getEffect(VI::setSend0, VI::fxFlanger)->active.load());
}

// The serial types after a change of slot `changed`: no two slots share a
// module, the changed slot keeps its type, and each pointer is the set-X
// module of its slot's resulting type.
TEST(VelaInstSets, TwoSerialSlotsNeverShareAModule)
{
    struct Case
    {
        const char* what;
        int before[4];
        int changed;
        int value;
        int expected[4];
    };
    const Case cases[] = {
        {"X2 takes X0's type: X0 moves to the smallest free one", {0, 1, 2, 3}, 2, 0, {2, 1, 0, 3}},
        {"X0 and X1 both REVERB, X1 changed", {VI::fxReverb, VI::fxDelay, 2, 3}, 1, VI::fxReverb, {0, 6, 2, 3}},
        {"X1 and X0 both REVERB, X0 changed", {VI::fxDelay, VI::fxReverb, 2, 3}, 0, VI::fxReverb, {6, 0, 2, 3}},
        {"all four the same, X3 changed", {9, 9, 9, 9}, 3, 9, {0, 1, 2, 9}},
        {"already distinct", {11, 10, 9, 8}, 2, 9, {11, 10, 9, 8}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int types[4];
        std::copy(c.before, c.before + 4, types);
        types[c.changed] = c.value;
        VI::makeDistinct(types, c.changed);
        EXPECT_EQ(std::vector<int>(types, types + 4), std::vector<int>(c.expected, c.expected + 4));

        // The same through the parameters, without anyone sorting them first.
        Rig rig;
        for (int k = 0; k < 4; ++k)
            rig.global(VelaGlo_c::gpEffXType0 + 2 * k, c.before[k]);
        rig.selectSerial(c.changed, c.value, false);
        std::set<VariatorInst_c*> modules;
        for (int k = 0; k < 4; ++k) {
            VariatorInst_c* m = rig.inst.getCurrentEffect(VI::slotX0 + k);
            EXPECT_EQ(m, rig.inst.getEffect(VI::setSerial, c.expected[k])) << "slot X" << k;
            modules.insert(m);
        }
        EXPECT_EQ(modules.size(), 4u);
    }
}

// Re-selecting what already runs, or moving a module to another serial slot,
// keeps it running: a delay's echoes go on. Switching away and back restarts
// it: the echoes are gone.
TEST(VelaInstSets, ReselectingKeepsTheModuleRunning)
{
    struct Case
    {
        const char* what;
        bool serial; // the delay in serial slot X0 instead of send set 0
        std::function<void(Rig&)> change;
        bool echoesGoOn;
    };
    const Case cases[] = {
        {"send set 0 re-selects DELAY", false, [](Rig& r) { r.selectSend(0, VI::fxDelay); }, true},
        {"send set 0 away and back", false,
         [](Rig& r) {
             r.selectSend(0, VI::fxChorus);
             r.selectSend(0, VI::fxDelay);
         },
         false},
        {"X0 re-selects DELAY", true, [](Rig& r) { r.selectSerial(0, VI::fxDelay); }, true},
        {"the delay moves from X0 to X1", true,
         [](Rig& r) {
             r.serialOn(1, true);
             r.selectSerial(1, VI::fxDelay);
         },
         true},
        {"X0 away and back", true,
         [](Rig& r) {
             r.selectSerial(0, VI::fxParamEQ);
             r.selectSerial(0, VI::fxDelay);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        neutral(rig);
        if (c.serial) {
            rig.selectSerial(0, VI::fxDelay);
            rig.serialOn(0, true);
            rig.plainDelay(VI::setSerial, 10, 50, 100);
        } else {
            rig.selectSend(0, VI::fxDelay);
            rig.sendOn(0, true);
            rig.plainDelay(VI::setSend0, 10, 50, 100);
        }
        std::vector<float> out = rig.run(12 * Ms, impulseAt(0));
        const float first = peakAround(out, 10 * Ms);
        ASSERT_GT(first, 0.1f * peakAround(out, 0));
        c.change(rig);
        const std::vector<float> later = rig.run(10 * Ms, nullptr);
        out.insert(out.end(), later.begin(), later.end());
        const float second = peakAround(out, 20 * Ms);
        if (c.echoesGoOn)
            EXPECT_NEAR(second, 0.5f * first, 0.05f * first);
        else
            EXPECT_LT(second, 0.01f * first);
    }
}

TEST(VelaInstSelection, OnTheAudioThreadTheSwitchIsHandedToTheIdleSide)
{
    Rig rig;
    rig.inst.selectAll();
    rig.synth.takeIdleRecords();
    VariatorInst_c* before = rig.inst.getCurrentEffect(VI::slotSend0);
    rig.global(VelaGlo_c::gpEffType0, VI::fxReverb);
    rig.global(VelaGlo_c::gpEffXType0 + 4, VI::fxReverb);
    {
        Synth::AudioScope audio;
        rig.inst.selectParallel(0);
        rig.inst.selectSerial(2);
    }
    EXPECT_EQ(rig.inst.getCurrentEffect(VI::slotSend0), before);
    const std::string follow = std::to_string(Cmd::ParaChangeFollowUp) + " 0 ";
    EXPECT_EQ(rig.synth.takeIdleRecords(),
              (std::vector<std::string>{follow + std::to_string(VelaGlo_c::gpEffType0),
                                        follow + std::to_string(VelaGlo_c::gpEffXType0 + 4)}));
    // Taken on the idle side, the same change goes through.
    rig.inst.selectParallel(0);
    rig.inst.selectSerial(2);
    EXPECT_EQ(rig.inst.getCurrentEffect(VI::slotSend0), rig.inst.getEffect(VI::setSend0, VI::fxReverb));
    EXPECT_EQ(rig.inst.getCurrentEffect(VI::slotX2), rig.inst.getEffect(VI::setSerial, VI::fxReverb));
}

// ---------------------------------------------------------------------------
// Remote wet levels

namespace {

// Every set's effects' parameter values, in one list.
std::vector<int> allFxValues(Rig& rig, int set)
{
    std::vector<int> v;
    for (int t = 0; t < VI::NumFxTypes; ++t) {
        VariatorInst_c* fx = rig.inst.getEffect(set, t);
        for (int i = 0; i < fx->getParaSet()->getParaCount(); ++i)
            v.push_back(fx->getParaVal(0, i));
    }
    return v;
}

} // namespace

TEST(VelaInstWet, ASendSetsWetReachesAllElevenOfItsEffects)
{
    for (int slot = 0; slot < 2; ++slot) {
        SCOPED_TRACE(testing::Message() << "slot " << slot);
        Rig rig;
        rig.inst.selectAll();
        const std::vector<int> other = allFxValues(rig, 1 - slot);
        const std::vector<int> serial = allFxValues(rig, VI::setSerial);
        const float w = 0.37f;
        rig.inst.setWet(slot, w);
        int reached = 0;
        for (int t = 0; t < VI::NumFxTypes; ++t) {
            const int para = VI::wetParameter(t);
            if (para < 0)
                continue;
            ++reached;
            EXPECT_NEAR(rig.inst.getEffect(slot, t)->getPara01(0, para), w, 0.01f) << "type " << t;
        }
        EXPECT_EQ(reached, 11);
        EXPECT_EQ(allFxValues(rig, 1 - slot), other);
        EXPECT_EQ(allFxValues(rig, VI::setSerial), serial);
    }
}

TEST(VelaInstWet, ASerialSlotsWetReachesOnlyTheEffectItsSlotSelects)
{
    struct Case
    {
        const char* what;
        int slot;      // setWet's slot 2..5 (X0..X3)
        int type;      // the type of that serial slot
        bool changes;  // the set-X effect of that type takes the wet
    };
    const Case cases[] = {
        {"X0 on REVERB", 2, VI::fxReverb, true},
        {"X0 on PARAM-EQ", 2, VI::fxParamEQ, false},
        {"X3 on CRUSHER", 5, VI::fxCrusher, true},
        {"X1 on GATOR", 3, VI::fxGator, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        rig.selectSerial(c.slot - VI::slotX0, c.type);
        const std::vector<int> before = allFxValues(rig, VI::setSerial);
        const std::vector<int> sends = allFxValues(rig, VI::setSend0);
        rig.inst.setWet(c.slot, 0.6f);
        const std::vector<int> after = allFxValues(rig, VI::setSerial);
        int changed = 0;
        for (size_t i = 0; i < before.size(); ++i)
            changed += before[i] != after[i];
        EXPECT_EQ(changed, c.changes ? 1 : 0);
        if (c.changes) {
            VariatorInst_c* fx = rig.inst.getEffect(VI::setSerial, c.type);
            EXPECT_NEAR(fx->getPara01(0, VI::wetParameter(c.type)), 0.6f, 0.01f);
        }
        EXPECT_EQ(allFxValues(rig, VI::setSend0), sends);
    }
}

TEST(VelaInstWet, BeforeCreateAndOutsideTheRangesNothingHappens)
{
    VelaInst_c inst;
    for (int slot = -1; slot <= VI::NumFxSlots; ++slot)
        inst.setWet(slot, 0.5f);
    inst.setWetDetail(VelaGlo_c::gpEffXType0, 0.5f);
    inst.selectAll();
    for (int slot = 0; slot < VI::NumFxSlots; ++slot)
        EXPECT_EQ(inst.getCurrentEffect(slot), nullptr);

    Rig rig;
    const std::vector<int> serial = allFxValues(rig, VI::setSerial);
    for (int index : {-1, -1000, static_cast<int>(VelaGlo_c::ParaCount), 1 << 20})
        rig.inst.setWetDetail(index, 0.9f);
    EXPECT_EQ(allFxValues(rig, VI::setSerial), serial);
}
