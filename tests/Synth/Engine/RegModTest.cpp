#include "RegMod.h"

#include "MapTestEngine.h"
#include "RegistryTestParts.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using RegistryTest::fourCC;
using RegistryTest::MapTestEngine;
using RegistryTest::TestModule;

namespace {

constexpr int TypeOSC = fourCC('O', 'S', 'C', '0');
constexpr int TypeFLT = fourCC('F', 'L', 'T', '0');

class RegModFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        engine.open();
        ASSERT_TRUE(engine.isOpen());
        // The engine's own settings rows come first.
        base = engine.getRegModCount();
    }

    // count modules of one class (one shared set slot).
    std::vector<std::unique_ptr<TestModule>> makeModules(int count, int code)
    {
        std::vector<std::unique_ptr<TestModule>> v;
        for (int i = 0; i < count; ++i)
            v.push_back(std::make_unique<TestModule>(code));
        return v;
    }

    MapTestEngine engine;
    int base = 0;
};

} // namespace

TEST(RMI, EntriesStartUnsetAndStayInsideTheTable)
{
    RMI_c table(4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(table.Val(i), -1);
    ASSERT_NE(table.Adr(3), nullptr);
    *table.Adr(3) = 17;
    EXPECT_EQ(table.Val(3), 17);
    for (int outside : {-1, 4, 1000}) {
        EXPECT_EQ(table.Adr(outside), nullptr) << outside;
        EXPECT_EQ(table.Val(outside), 0) << outside;
    }
    RMI_c none(0);
    EXPECT_EQ(none.Adr(0), nullptr);
    EXPECT_EQ(none.Val(0), 0);
}

TEST_F(RegModFixture, SingleInstanceRowIsInitialisedAtOnce)
{
    TestModule osc(TypeOSC);
    int row = -1;
    ASSERT_TRUE(engine.registerFirstModul(&row, &osc, 3, 1, rmgGlobal));
    EXPECT_EQ(row, base);
    EXPECT_EQ(engine.getRegModCount(), base + 1);

    const RegMod_t* r = engine.getRegMod(row);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->typeCode, static_cast<uint32_t>(TypeOSC));
    EXPECT_EQ(r->order, 3);
    EXPECT_EQ(r->count, 1);
    EXPECT_EQ(r->group, rmgGlobal);
    EXPECT_EQ(r->reserved, 0u);
    EXPECT_EQ(r->instance(0), &osc);

    EXPECT_EQ(osc.setRequests, 1);
    EXPECT_EQ(osc.creates, 1);
    EXPECT_EQ(osc.synth, &engine);
    EXPECT_EQ(osc.tuning, engine.getTuningTable());
    ASSERT_NE(r->paraSet, nullptr);
    EXPECT_EQ(osc.getParaSet(), r->paraSet);
    EXPECT_EQ(r->paraSet->getSetCount(), 1) << "a global module has one set";
    EXPECT_EQ(r->paraSet->getOrder(), 3);
}

TEST_F(RegModFixture, ManyInstanceRowWaitsForItsLastInstance)
{
    constexpr int Voices = 32;
    auto voices = makeModules(Voices, TypeFLT);
    int row = -1;
    ASSERT_TRUE(engine.registerFirstModul(&row, voices[0].get(), 0, Voices, rmgInstrument));
    EXPECT_EQ(voices[0]->creates, 0) << "not initialised before instance 31";

    // Out of order: the last instance arrives before some others.
    for (int k = 2; k < Voices - 1; ++k)
        ASSERT_TRUE(engine.registerNextModul(row, k, voices[static_cast<size_t>(k)].get()));
    EXPECT_EQ(voices[0]->creates, 0);
    ASSERT_TRUE(engine.registerNextModul(row, Voices - 1, voices.back().get()));
    for (int k = 0; k < Voices; ++k)
        EXPECT_EQ(voices[static_cast<size_t>(k)]->creates, k == 1 ? 0 : 1) << "instance " << k;

    const RegMod_t* r = engine.getRegMod(row);
    ASSERT_NE(r->paraSet, nullptr);
    EXPECT_EQ(r->paraSet->getSetCount(), 2) << "one set per instrument program memory";
    EXPECT_EQ(voices[5]->getParaSet(), r->paraSet) << "every instance shares the row's set";

    // The straggler is stored; the row is not initialised a second time
    // unless the last instance is stored again.
    ASSERT_TRUE(engine.registerNextModul(row, 1, voices[1].get()));
    EXPECT_EQ(voices[1]->creates, 0);
}

TEST_F(RegModFixture, RefusedRegistrationsLeaveTheRegistryAlone)
{
    TestModule osc(TypeOSC);
    int row = 99;
    EXPECT_FALSE(engine.registerFirstModul(&row, nullptr, 0, 1, rmgInstrument));
    EXPECT_FALSE(engine.registerFirstModul(&row, &osc, 0, 0, rmgInstrument));
    EXPECT_FALSE(engine.registerFirstModul(&row, &osc, 0, 1, 3)) << "group outside 0..2";
    EXPECT_FALSE(engine.registerFirstModul(nullptr, &osc, 0, 1, rmgInstrument));
    EXPECT_FALSE(engine.registerModul(&row, &osc, 0, 0, 1, rmgInstrument)) << "object size 0";
    EXPECT_EQ(row, 99);
    EXPECT_EQ(engine.getRegModCount(), base);

    auto pair = makeModules(2, TypeFLT);
    ASSERT_TRUE(engine.registerFirstModul(&row, pair[0].get(), 0, 2, rmgInstrument));
    struct Case
    {
        const char* what;
        int row, k;
        Part_c* part;
    };
    const Case refused[] = {
        {"row not in use", row + 1, 1, pair[1].get()},
        {"negative row", -1, 1, pair[1].get()},
        {"instance past the count", row, 2, pair[1].get()},
        {"negative instance", row, -1, pair[1].get()},
        {"null part", row, 1, nullptr},
    };
    for (const Case& c : refused)
        EXPECT_FALSE(engine.registerNextModul(c.row, c.k, c.part)) << c.what;
    EXPECT_EQ(engine.getRegMod(row)->instance(1), nullptr);
}

TEST_F(RegModFixture, FullRegistryRefusesTheNextRow)
{
    TestModule osc(TypeOSC);
    int row = -1;
    for (int i = base; i < RegModRows; ++i)
        ASSERT_TRUE(engine.registerFirstModul(&row, &osc, i, 2, rmgInstrument)) << i;
    EXPECT_EQ(row, RegModRows - 1);
    int untouched = -5;
    EXPECT_FALSE(engine.registerFirstModul(&untouched, &osc, 0, 1, rmgInstrument));
    EXPECT_FALSE(engine.registerModul(&untouched, &osc, sizeof(TestModule), 0, 1, rmgInstrument));
    EXPECT_EQ(untouched, -5);
    EXPECT_EQ(engine.getRegModCount(), RegModRows);
}

TEST_F(RegModFixture, ArrayOfModulesIsRegisteredByObjectSize)
{
    // A module class whose Part_c is not at the start of the object.
    struct Padded
    {
        long long head[3] = {};
        TestModule module{TypeOSC};
    };
    std::unique_ptr<Padded[]> array(new Padded[4]);
    int row = -1;
    ASSERT_TRUE(engine.registerModul(&row, &array[0].module, sizeof(Padded), 2, 4, rmgInstrument));
    const RegMod_t* r = engine.getRegMod(row);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(r->instance(k), &array[static_cast<size_t>(k)].module) << k;
        EXPECT_EQ(array[static_cast<size_t>(k)].module.creates, 1) << "initialised at once";
    }
    EXPECT_EQ(r->instance(4), nullptr);
}

TEST_F(RegModFixture, RegisterModulXOpensWithInstanceZeroAndAddsTheOthers)
{
    auto voices = makeModules(3, TypeFLT);
    int row = -1;
    for (int k = 0; k < 3; ++k)
        ASSERT_TRUE(engine.registerModulX(row, k, voices[static_cast<size_t>(k)].get(), 1, 3, rmgInstrument));
    EXPECT_EQ(engine.getRegModCount(), base + 1);
    EXPECT_EQ(engine.getRegMod(row)->instance(2), voices[2].get());
    EXPECT_EQ(voices[2]->creates, 1);
}

TEST_F(RegModFixture, LookupsByTypeCodeOrderPartAndSet)
{
    TestModule glo(fourCC('S', 'Y', 'G', '2'));
    auto oscA = makeModules(2, TypeOSC);
    auto oscB = makeModules(2, TypeOSC);
    int rowGlo = -1, rowA = -1, rowB = -1;
    ASSERT_TRUE(engine.registerFirstModul(&rowGlo, &glo, 0, 1, rmgGlobal));
    // Two rows of one type code (the second oscillator has its own class set
    // slot, as two oscillator slots of a voice have), told apart by order.
    ASSERT_TRUE(engine.registerFirstModul(&rowA, oscA[0].get(), 0, 2, rmgInstrument));
    ASSERT_TRUE(engine.registerNextModul(rowA, 1, oscA[1].get()));
    ASSERT_TRUE(engine.registerFirstModul(&rowB, oscB[0].get(), 1, 2, rmgInstrument));
    ASSERT_TRUE(engine.registerNextModul(rowB, 1, oscB[1].get()));

    EXPECT_EQ(engine.findRegMod(TypeOSC, 0), rowA);
    EXPECT_EQ(engine.findRegMod(TypeOSC, 1), rowB);
    EXPECT_EQ(engine.findRegMod(TypeOSC, 2), -1);
    EXPECT_EQ(engine.findRegMod(TypeFLT, 0), -1);

    EXPECT_EQ(engine.getModIdx(oscB[1].get()), rowB);
    EXPECT_EQ(engine.getModIdx(oscA[0].get()), rowA);
    TestModule stranger;
    EXPECT_EQ(engine.getModIdx(&stranger), -1);
    EXPECT_EQ(engine.getModIdx(nullptr), -1);

    EXPECT_EQ(engine.getRegModGroup(glo.getParaSet()), rmgGlobal);
    EXPECT_EQ(engine.getRegModGroup(oscB[0]->getParaSet()), rmgInstrument);
    ParaSet_c* unknown = nullptr;
    ASSERT_TRUE(stranger.getParaSetPtr(&unknown, 1));
    EXPECT_EQ(engine.getRegModGroup(unknown), 0);
    EXPECT_EQ(engine.getRegModGroup(nullptr), 0);

    EXPECT_EQ(engine.getRegMod(-1), nullptr);
    EXPECT_EQ(engine.getRegMod(engine.getRegModCount()), nullptr);
}

TEST_F(RegModFixture, AssociatedPartsAreTheInstancesOfTheInstrument)
{
    auto voices = makeModules(4, TypeFLT);
    int row = -1;
    ASSERT_TRUE(engine.registerFirstModul(&row, voices[0].get(), 0, 4, rmgInstrument));
    for (int k = 1; k < 4; ++k)
        ASSERT_TRUE(engine.registerNextModul(row, k, voices[static_cast<size_t>(k)].get()));
    voices[0]->routeIndex = 1;
    voices[1]->routeIndex = 0;
    voices[2]->routeIndex = 1;
    voices[3]->routeIndex = -1; // not started: takes every instrument's changes

    auto collect = [](auto next) {
        std::vector<Part_c*> got;
        Part_c* p = nullptr;
        while (next(&p))
            got.push_back(p);
        return got;
    };
    const std::vector<Part_c*> ofIns1 = {voices[0].get(), voices[2].get(), voices[3].get()};

    bool first = true;
    int cursor = 0;
    EXPECT_EQ(collect([&](Part_c** p) { return engine.getAssociatedPart(&first, 1, p, row, &cursor); }), ofIns1);

    first = true;
    cursor = 0;
    int foundRow = -1;
    EXPECT_EQ(collect([&](Part_c** p) {
                  return engine.getAssociatedPart(&first, 1, voices[2].get(), p, &foundRow, &cursor);
              }),
              ofIns1);
    EXPECT_EQ(foundRow, row);
    EXPECT_FALSE(first);

    ASSERT_TRUE(engine.describe(40, "Filter", 0, voices[1].get(), 2));
    first = true;
    cursor = 0;
    foundRow = -1;
    EXPECT_EQ(collect([&](Part_c** p) { return engine.getAssociatedPart(&first, 0, 40, p, &foundRow, &cursor); }),
              (std::vector<Part_c*>{voices[1].get(), voices[3].get()}));

    // A descriptor that is not set, an instrument that does not exist.
    first = true;
    cursor = 0;
    Part_c* p = nullptr;
    EXPECT_FALSE(engine.getAssociatedPart(&first, 0, 41, &p, &foundRow, &cursor));
    first = true;
    EXPECT_FALSE(engine.getAssociatedPart(&first, 2, voices[0].get(), &p, &foundRow, &cursor));
    first = true;
    EXPECT_FALSE(engine.getAssociatedPart(&first, -1, voices[0].get(), &p, &foundRow, &cursor));
}

TEST_F(RegModFixture, AssociatedWalkStopsAtAMissingInstance)
{
    auto voices = makeModules(3, TypeFLT);
    int row = -1;
    ASSERT_TRUE(engine.registerFirstModul(&row, voices[0].get(), 0, 3, rmgInstrument));
    ASSERT_TRUE(engine.registerNextModul(row, 2, voices[2].get()));
    bool first = true;
    int cursor = 0;
    Part_c* p = nullptr;
    EXPECT_TRUE(engine.getAssociatedPart(&first, 0, &p, row, &cursor));
    EXPECT_EQ(p, voices[0].get());
    EXPECT_FALSE(engine.getAssociatedPart(&first, 0, &p, row, &cursor)) << "instance 1 is missing";
}

TEST_F(RegModFixture, BusesAreListedOnceAndHandedToTheRow)
{
    auto voices = makeModules(3, TypeFLT);
    int row = -1;
    ASSERT_TRUE(engine.registerFirstModul(&row, voices[0].get(), 0, 3, rmgInstrument));
    ASSERT_TRUE(engine.registerNextModul(row, 2, voices[2].get())); // instance 1 stays missing

    InBuffer2_c main, alt, other;
    engine.registerBuffer(row, &main, false, -1);
    EXPECT_EQ(voices[0]->inputBus, &main);
    EXPECT_EQ(voices[2]->inputBus, &main);
    engine.registerBuffer(row, &alt, true, 2);
    EXPECT_EQ(voices[2]->alternativeInputBus, &alt);
    EXPECT_EQ(voices[0]->alternativeInputBus, nullptr) << "only the instance asked for";
    engine.registerBuffer(row, &main, true, 0);
    EXPECT_EQ(voices[0]->alternativeInputBus, &main);
    engine.registerBuffer(-1, &other, false, -1);
    EXPECT_EQ(voices[0]->inputBus, &main) << "row -1 only lists the bus";
    engine.registerBuffer(-2, &other, false, -1);
    engine.registerBuffer(row, nullptr, false, -1);

    ASSERT_EQ(engine.getRegBufCount(), 3);
    EXPECT_EQ(engine.getRegBuf(0), &main);
    EXPECT_EQ(engine.getRegBuf(1), &alt);
    EXPECT_EQ(engine.getRegBuf(2), &other);
    EXPECT_EQ(engine.getRegBuf(3), nullptr);

    // The list holds RegModBusCapacity buses; a new bus beyond that is
    // ignored entirely, a listed one still reaches its modules.
    std::vector<std::unique_ptr<InBuffer2_c>> many;
    while (engine.getRegBufCount() < RegModBusCapacity) {
        many.push_back(std::make_unique<InBuffer2_c>());
        engine.registerBuffer(-1, many.back().get(), false, -1);
    }
    InBuffer2_c late;
    engine.registerBuffer(row, &late, false, -1);
    EXPECT_EQ(engine.getRegBufCount(), RegModBusCapacity);
    EXPECT_EQ(voices[0]->inputBus, &main);
    engine.registerBuffer(row, &other, false, -1);
    EXPECT_EQ(voices[0]->inputBus, &other);
}

TEST_F(RegModFixture, RatesReachEveryInstanceAndClosingEmptiesTheRows)
{
    auto voices = makeModules(2, TypeFLT);
    int row = -1;
    ASSERT_TRUE(engine.registerFirstModul(&row, voices[0].get(), 0, 2, rmgInstrument));
    ASSERT_TRUE(engine.registerNextModul(row, 1, voices[1].get()));
    engine.setSampleRateRegMod(48000.0f);
    EXPECT_EQ(voices[0]->lastRate, 48000.0f);
    EXPECT_EQ(voices[1]->lastRate, 48000.0f);

    // The row keeps the set alive after its modules are gone.
    ParaSet_c* set = engine.getRegMod(row)->paraSet;
    voices.clear();
    EXPECT_EQ(set->getParaCount(), 8);

    engine.closeParameterMap();
    EXPECT_EQ(engine.getRegModCount(), 0);
    EXPECT_EQ(engine.getRegMod(0), nullptr);
    EXPECT_FALSE(engine.hasParameterMap());
}
