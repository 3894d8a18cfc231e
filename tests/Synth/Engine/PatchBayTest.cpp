#include "PatchBay.h"

#include "Capacities.h"
#include "RegMod.h"
#include "RegistryTestParts.h"

#include <gtest/gtest.h>

#include <memory>

using RegistryTest::TestModule;

namespace {

// A registry with one module kind of two instances in row 3 (the voices of
// instruments 0 and 1) and a control module in row 5 whose parameter 1
// switches routes, one set per instrument.
class PatchBayFixture : public ::testing::Test
{
protected:
    static constexpr int ModuleRow = 3;
    static constexpr int ControlRow = 5;
    static constexpr int SwitchPara = 1;

    void SetUp() override
    {
        ASSERT_TRUE(registry[ModuleRow].open(&voice0, voice0.getTypeCode(), 0, 2, rmgInstrument));
        registry[ModuleRow].parts[1] = &voice1;
        voice0.routeIndex = 0;
        voice1.routeIndex = 1;
        ASSERT_TRUE(control.getParaSetPtr(&controlSet, 2));
        ASSERT_TRUE(registry[ControlRow].open(&control, control.getTypeCode(), 0, 1, rmgInstrument));
    }

    void setSwitch(int ins, int v) { control.getParaPtr(ins, SwitchPara)->setVal(v); }

    std::unique_ptr<RegMod_t[]> registry{new RegMod_t[RegModRows]};
    TestModule voice0, voice1;
    TestModule control{RegistryTest::fourCC('C', 'T', 'R', 'L')};
    ParaSet_c* controlSet = nullptr;
    InBuffer2_c busA, busB, busC;
};

} // namespace

TEST_F(PatchBayFixture, UnconditionalRouteFixesEveryInstanceAtOnceAndIsKeptOnce)
{
    AudioPatchBay_c bay(RouteTableCapacity, RouteTableCapacity, registry.get());
    ASSERT_TRUE(bay.isUsable());

    EXPECT_TRUE(bay.registerRoute("Voice", ModuleRow, &busA, &busB, nullptr, -1, 0));
    for (TestModule* v : {&voice0, &voice1}) {
        EXPECT_TRUE(v->outputFixed);
        EXPECT_EQ(v->outputBusA, &busA);
        EXPECT_EQ(v->outputBusB, &busB);
    }
    EXPECT_TRUE(bay.registerRoute("Voice again", ModuleRow, &busA, &busC, nullptr, -1, 0))
        << "same module, first bus and condition: already there";
    EXPECT_EQ(bay.getUnconditionalCount(), 1);
    EXPECT_EQ(bay.getConditionalCount(), 0);
    EXPECT_EQ(voice0.outputBusB, &busB) << "the refused duplicate was not applied";
}

TEST_F(PatchBayFixture, SameConditionalRouteTwiceLeavesOneRow)
{
    AudioPatchBay_c bay(RouteTableCapacity, RouteTableCapacity, registry.get());
    EXPECT_TRUE(bay.registerRoute("Gen A", ModuleRow, &busA, nullptr, &control, SwitchPara, 0));
    EXPECT_TRUE(bay.registerRoute("Gen A", ModuleRow, &busA, nullptr, &control, SwitchPara, 0));
    EXPECT_EQ(bay.getConditionalCount(), 1);
    EXPECT_EQ(voice0.outputBusA, nullptr) << "conditional routes wait for doRoute";

    // A different value, bus or instrument range is another route.
    EXPECT_TRUE(bay.registerRoute("Gen B", ModuleRow, &busA, nullptr, &control, SwitchPara, 1));
    EXPECT_TRUE(bay.registerRoute("Gen C", ModuleRow, &busB, nullptr, &control, SwitchPara, 0));
    EXPECT_TRUE(bay.registerRouteInd("Gen D", ModuleRow, 2, 3, &busA, nullptr, &control, SwitchPara, 0))
        << "range 2..3 does not overlap the all-instruments row (-1..-1)";
    EXPECT_TRUE(bay.registerRouteInd("Gen E", ModuleRow, 3, 4, &busA, nullptr, &control, SwitchPara, 0))
        << "3..4 overlaps 2..3: kept once";
    EXPECT_EQ(bay.getConditionalCount(), 4);
}

TEST_F(PatchBayFixture, RangeWithoutParameterIsConditionalForThoseInstrumentsOnly)
{
    AudioPatchBay_c bay(RouteTableCapacity, RouteTableCapacity, registry.get());
    EXPECT_TRUE(bay.registerRouteInd("Ins 1 only", ModuleRow, 1, 1, &busC, nullptr, nullptr, -1, -1));
    EXPECT_EQ(bay.getUnconditionalCount(), 0);
    ASSERT_EQ(bay.getConditionalCount(), 1);
    EXPECT_EQ(voice1.outputBusA, nullptr) << "not applied at registration";

    bay.doRoute(0);
    EXPECT_EQ(voice0.outputBusA, nullptr);
    EXPECT_EQ(voice1.outputBusA, nullptr);

    bay.doRoute(1);
    EXPECT_EQ(voice0.outputBusA, nullptr) << "instance routed for instrument 0 keeps its buses";
    EXPECT_EQ(voice1.outputBusA, &busC);
    EXPECT_FALSE(voice1.outputFixed);
}

TEST_F(PatchBayFixture, TwoConditionalRowsSwitchByParameterValue)
{
    AudioPatchBay_c bay(RouteTableCapacity, RouteTableCapacity, registry.get());
    bay.registerRoute("to A", ModuleRow, &busA, nullptr, &control, SwitchPara, 0);
    bay.registerRoute("to B", ModuleRow, &busB, &busC, &control, SwitchPara, 1);

    setSwitch(0, 0);
    setSwitch(1, 1);
    bay.doRoute(0);
    bay.doRoute(1);
    EXPECT_EQ(voice0.outputBusA, &busA);
    EXPECT_EQ(voice1.outputBusA, &busB) << "instrument 1 reads its own set of the control";
    EXPECT_EQ(voice1.outputBusB, &busC);

    setSwitch(0, 1);
    bay.doRoute(0);
    EXPECT_EQ(voice0.outputBusA, &busB);
    EXPECT_EQ(voice0.outputBusB, &busC);

    // A value no row asks for replaces nothing: the last buses stay.
    setSwitch(0, 7);
    bay.doRoute(0);
    EXPECT_EQ(voice0.outputBusA, &busB);
}

TEST_F(PatchBayFixture, SetRouteGivesOnePartTheFirstMatchingRoute)
{
    AudioPatchBay_c bay(RouteTableCapacity, RouteTableCapacity, registry.get());
    bay.registerRouteInd("ins 0 to A", ModuleRow, 0, 0, &busA, nullptr, nullptr, -1, -1);
    bay.registerRoute("when 1 to B", ModuleRow, &busB, nullptr, &control, SwitchPara, 1);
    setSwitch(0, 1);

    bay.setRoute(&voice0, 0);
    EXPECT_EQ(voice0.outputBusA, &busA) << "both hold; the first row wins";
    EXPECT_EQ(voice1.outputBusA, nullptr) << "only the part asked for";

    bay.setRoute(&control, 0);
    EXPECT_EQ(control.outputBusA, nullptr) << "the control is no instance of the routed module";
    bay.setRoute(nullptr, 0); // nothing to route, nothing happens
}

TEST_F(PatchBayFixture, TableAtCapacityIgnoresFurtherRoutes)
{
    AudioPatchBay_c bay(2, 2, registry.get());
    EXPECT_TRUE(bay.registerRoute("1", ModuleRow, &busA, nullptr, &control, SwitchPara, 0));
    EXPECT_TRUE(bay.registerRoute("2", ModuleRow, &busA, nullptr, &control, SwitchPara, 1));
    EXPECT_FALSE(bay.registerRoute("3", ModuleRow, &busA, nullptr, &control, SwitchPara, 2));
    EXPECT_EQ(bay.getConditionalCount(), 2);
    EXPECT_TRUE(bay.registerRoute("2", ModuleRow, &busA, nullptr, &control, SwitchPara, 1))
        << "a route already there is still found in a full table";

    EXPECT_TRUE(bay.registerRoute("u1", ModuleRow, &busA, nullptr, nullptr, -1, 0));
    EXPECT_TRUE(bay.registerRoute("u2", ModuleRow, &busB, nullptr, nullptr, -1, 0));
    EXPECT_FALSE(bay.registerRoute("u3", ModuleRow, &busC, nullptr, nullptr, -1, 0));
    EXPECT_EQ(bay.getUnconditionalCount(), 2);
    EXPECT_EQ(voice0.outputBusA, &busB) << "the ignored route was not applied";
}

TEST_F(PatchBayFixture, BadRoutesAndRequestsChangeNothing)
{
    AudioPatchBay_c bay(RouteTableCapacity, RouteTableCapacity, registry.get());
    struct Case
    {
        const char* what;
        int module, first, last, param, value;
    };
    const Case refused[] = {
        {"module below the registry", -1, -1, -1, SwitchPara, 0},
        {"module past the registry", RegModRows, -1, -1, SwitchPara, 0},
        {"parameter below -1", ModuleRow, -1, -1, -2, 0},
        {"value beyond 16 bits", ModuleRow, -1, -1, SwitchPara, 40000},
        {"instrument beyond 16 bits", ModuleRow, 0, 70000, -1, 0},
    };
    for (const Case& c : refused)
        EXPECT_FALSE(bay.registerRouteInd(c.what, c.module, c.first, c.last, &busA, nullptr, &control, c.param,
                                          c.value))
            << c.what;
    EXPECT_EQ(bay.getConditionalCount(), 0);

    // The table form takes only this bay's own table with its own counter.
    PatchBay_c foreign[4];
    int foreignCount = 0;
    EXPECT_FALSE(bay.registerRouteInd(foreign, &foreignCount, "x", ModuleRow, 0, 0, &busA, nullptr, nullptr, -1, 0));
    EXPECT_EQ(foreignCount, 0);

    // A route to a row nobody opened is kept but reaches no part.
    EXPECT_TRUE(bay.registerRoute("empty row", 9, &busA, nullptr, nullptr, -1, 0));

    // A negative instrument would fix every conditional route for good (an
    // invalid set reads 0, so this row's condition would hold).
    bay.registerRoute("to A", ModuleRow, &busA, nullptr, &control, SwitchPara, 0);
    voice0.routeIndex = -1;
    bay.doRoute(-1);
    EXPECT_FALSE(voice0.outputFixed);
    EXPECT_EQ(voice0.outputBusA, nullptr);

    AudioPatchBay_c unbound(RouteTableCapacity, RouteTableCapacity, nullptr);
    EXPECT_FALSE(unbound.isUsable());
    EXPECT_FALSE(unbound.registerRoute("x", ModuleRow, &busA, nullptr, nullptr, -1, 0));
    unbound.doRoute(0);
    unbound.setRoute(&voice0, 0);
}
