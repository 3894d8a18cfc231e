// The controller-assignment table on its own: the controller mapping and its
// inverse, learning, clearing, the default form, the controller reader with
// NRPN numbers and groups, the speed-up, the learn menu and the preferences.
#include "ECS2.h"
#include "OsLib.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using TestSupport::ScopedEnv;
using TestSupport::TempDir;

CCAss_c ranged(int minCC, int maxCC, float minPar, float maxPar)
{
    CCAss_c a;
    a.controller = 7;
    a.editIndex = 40;
    a.instrument = 0;
    a.mode = 1;
    a.minCC = minCC;
    a.maxCC = maxCC;
    a.minPar = minPar;
    a.maxPar = maxPar;
    return a;
}

// Slot k used, bound to (0, edit) with controller cc on channel 0.
void bind(ECS2_c& ecs, int cc, int edit)
{
    ecs.assignCC(0, cc, 0, edit, false, 0);
}

std::vector<int> editIndices(const ECS2_c& ecs)
{
    std::vector<int> out;
    for (int k = 0; k < ECSSlotCount; ++k) {
        int edit = 0;
        if (ecs.getByIdx(k, nullptr, nullptr, nullptr, &edit))
            out.push_back(edit);
    }
    return out;
}

// A controllable clock for the speed-up.
int64_t fakeNow = 0;
int64_t fakeClock()
{
    return fakeNow;
}

} // namespace

// ---------------------------------------------------------------------------
// The mapping

TEST(ECS2Mapping, ControllerValueToParameterValue)
{
    struct Case
    {
        const char* what;
        int minCC, maxCC;
        float minPar, maxPar;
        int value;
        float expect;
    };
    const Case cases[] = {
        {"full range, bottom", 0, 127, 0.0f, 1.0f, 0, 0.0f},
        {"full range, 64 is the exact middle", 0, 127, 0.0f, 1.0f, 64, 0.5f},
        {"full range, top", 0, 127, 0.0f, 1.0f, 127, 1.0f},
        {"full range, just below the middle", 0, 127, 0.0f, 1.0f, 63, 63.0f / 128.0f},
        {"parameter range", 0, 127, 0.2f, 0.6f, 127, 0.6f},
        {"parameter range, middle", 0, 127, 0.2f, 0.6f, 64, 0.4f},
        {"reversed: Min CC gives Min Par", 100, 20, 0.0f, 1.0f, 100, 0.0f},
        {"reversed: the maximum gives Max Par", 100, 20, 0.0f, 1.0f, 20, 1.0f},
        {"reversed, odd count, middle", 100, 20, 0.0f, 1.0f, 60, 0.5f},
        {"two values: the lower end", 0, 1, 0.0f, 1.0f, 0, 0.0f},
        {"two values: the upper end reaches 1", 0, 1, 0.0f, 1.0f, 1, 1.0f},
        {"two values reversed: Min CC", 1, 0, 0.0f, 1.0f, 1, 0.0f},
        {"two values reversed: the maximum", 1, 0, 0.0f, 1.0f, 0, 1.0f},
        {"four values: the centre is 0.5", 0, 3, 0.0f, 1.0f, 2, 0.5f},
        {"four values: below the centre", 0, 3, 0.0f, 1.0f, 1, 0.25f},
        {"four values: the top", 0, 3, 0.0f, 1.0f, 3, 1.0f},
        {"one value: the middle", 5, 5, 0.0f, 1.0f, 90, 0.5f},
        {"below the range clamps", 10, 20, 0.0f, 1.0f, 3, 0.0f},
        {"above the range clamps", 10, 20, 0.0f, 1.0f, 99, 1.0f},
    };
    ECS2_c ecs(nullptr, nullptr);
    for (const Case& c : cases) {
        ecs.Cache2Para(0, ranged(c.minCC, c.maxCC, c.minPar, c.maxPar));
        EXPECT_NEAR(ecs.requestFl01(0, c.value), c.expect, 1e-6f) << c.what;
    }
}

TEST(ECS2Mapping, FloatFormScalesIntoTheParameterRange)
{
    ECS2_c ecs(nullptr, nullptr);
    ecs.Cache2Para(0, ranged(0, 127, 0.25f, 0.75f));
    EXPECT_FLOAT_EQ(ecs.requestFl01(0, 0.5f), 0.5f);
    EXPECT_FLOAT_EQ(ecs.requestFl01(0, -1.0f), 0.25f);
    EXPECT_FLOAT_EQ(ecs.requestFl01(0, 2.0f), 0.75f);
}

// Every controller value of every range comes back unchanged through the
// reverse mapping: what the engine sends back is what it received.
TEST(ECS2Mapping, ReverseMappingRoundTripsEveryValueOfEveryRange)
{
    struct Range
    {
        int minCC, maxCC;
        float minPar, maxPar;
    };
    const Range ranges[] = {
        {0, 127, 0.0f, 1.0f},   {0, 127, 0.3f, 0.7f},   {0, 127, 0.9f, 0.1f},   {0, 127, 0.5f, 0.501f},
        {100, 20, 0.0f, 1.0f},  {100, 21, 0.0f, 1.0f},  {127, 0, 0.2f, 0.4f},   {0, 1, 0.0f, 1.0f},
        {1, 0, 0.0f, 1.0f},     {0, 3, 0.0f, 1.0f},     {10, 13, 0.6f, 0.2f},   {0, 126, 0.0f, 1.0f},
        {5, 6, 0.4f, 0.6f},     {64, 127, 0.0f, 0.5f},  {30, 31, 1.0f, 0.0f},   {3, 100, 0.0f, 0.001f},
    };
    ECS2_c ecs(nullptr, nullptr);
    for (const Range& r : ranges) {
        ecs.Cache2Para(0, ranged(r.minCC, r.maxCC, r.minPar, r.maxPar));
        const int lo = std::min(r.minCC, r.maxCC);
        const int hi = std::max(r.minCC, r.maxCC);
        for (int v = lo; v <= hi; ++v)
            ASSERT_EQ(ecs.requestCCVal(0, ecs.requestFl01(0, v)), v)
                << "range " << r.minCC << ".." << r.maxCC << " par " << r.minPar << ".." << r.maxPar;
    }
}

TEST(ECS2Mapping, ReverseMappingOfValuesOutsideTheParameterRange)
{
    ECS2_c ecs(nullptr, nullptr);
    ecs.Cache2Para(0, ranged(10, 20, 0.4f, 0.6f));
    EXPECT_EQ(ecs.requestCCVal(0, 0.0f), 10);
    EXPECT_EQ(ecs.requestCCVal(0, 1.0f), 20);
    EXPECT_EQ(ecs.requestCCVal(0, std::nanf("")), 10);
    // A parameter range of one value sends the maximum.
    ecs.Cache2Para(0, ranged(10, 20, 0.5f, 0.5f));
    EXPECT_EQ(ecs.requestCCVal(0, 0.5f), 20);
}

TEST(ECS2Mapping, RecordsTravelThroughTheParameters)
{
    ECS2_c ecs(nullptr, nullptr);
    CCAss_c a = ranged(12, 99, 0.125f, 0.875f);
    a.channel = 9;
    a.curve = -3;
    a.group = 4;
    a.editIndex = -77;
    ecs.Cache2Para(5, a);
    CCAss_c b;
    ecs.Para2Cache(5, &b);
    EXPECT_EQ(b.minCC, 12);
    EXPECT_EQ(b.maxCC, 99);
    EXPECT_FLOAT_EQ(b.minPar, 0.125f);
    EXPECT_FLOAT_EQ(b.maxPar, 0.875f);
    EXPECT_EQ(b.channel, 9);
    EXPECT_EQ(b.curve, -3);
    EXPECT_EQ(b.group, 4);
    EXPECT_EQ(b.editIndex, -77);
    // "Max CC" is stored as 127 minus the maximum.
    EXPECT_EQ(ecs.getParaVal(0, ecsParaSlotBase + 5 * ECSSlotParaCount + ecsSlotMaxCC), 127 - 99);
    // The setters clamp.
    ecs.setMinCC(5, 300);
    ecs.setMaxPar(5, -2.0f);
    ecs.Para2Cache(5, &b);
    EXPECT_EQ(b.minCC, 127);
    EXPECT_FLOAT_EQ(b.maxPar, 0.0f);
}

// A parameter range that is not a number is stored as 0, whether it comes
// through a slot setter or a whole record.
TEST(ECS2Mapping, ANaNParameterRangeIsStoredAsZero)
{
    ECS2_c ecs(nullptr, nullptr);
    CCAss_c b;
    ecs.Cache2Para(2, ranged(0, 127, std::nanf(""), std::nanf("")));
    ecs.Para2Cache(2, &b);
    EXPECT_EQ(b.minPar, 0.0f);
    EXPECT_EQ(b.maxPar, 0.0f);
    ecs.Cache2Para(3, ranged(0, 127, 0.25f, 0.75f));
    ecs.setMinPar(3, std::nanf(""));
    ecs.setMaxPar(3, std::nanf(""));
    ecs.Para2Cache(3, &b);
    EXPECT_EQ(b.minPar, 0.0f);
    EXPECT_EQ(b.maxPar, 0.0f);
}

// ---------------------------------------------------------------------------
// Learning and clearing

TEST(ECS2Learn, RelearningAControlMovesItsController)
{
    ECS2_c ecs(nullptr, nullptr);
    EXPECT_EQ(ecs.assignCC(0, 20, 0, 100, false, 0), 0);
    EXPECT_EQ(ecs.assignCC(0, 21, 0, 101, false, 0), 1);
    EXPECT_EQ(ecs.assignCC(3, 22, 0, 100, false, 0), 0);
    int channel = -1;
    int controller = -1;
    ASSERT_TRUE(ecs.getByEdit(0, 100, 0, &channel, &controller, nullptr));
    EXPECT_EQ(channel, 3);
    EXPECT_EQ(controller, 22);
    EXPECT_FALSE(ecs.getByEdit(0, 100, 1, nullptr, nullptr, nullptr));
    EXPECT_EQ(editIndices(ecs), (std::vector<int>{100, 101}));
}

TEST(ECS2Learn, AFullTableTakesNoMore)
{
    ECS2_c ecs(nullptr, nullptr);
    for (int k = 0; k < ECSSlotCount; ++k)
        ASSERT_EQ(ecs.assignCC(0, k, 0, 1000 + k, false, 0), k);
    EXPECT_EQ(ecs.assignCC(0, 5, 0, 5000, false, 0), ECSSlotCount);
    EXPECT_EQ(ecs.assignCC(0, 5, 0, 5000, true, 0), ECSSlotCount);
    // Relearning a control that is in the table still works.
    EXPECT_EQ(ecs.assignCC(0, 99, 0, 1003, false, 0), 3);
}

TEST(ECS2Learn, TheDefaultFormAddsEachAssignmentOnce)
{
    ECS2_c ecs(nullptr, nullptr);
    for (int round = 0; round < 3; ++round) {
        ecs.assignCC(0, 20, 0, 4, true, 0);
        ecs.assignCC(0, 28, 0, 5, true, 0);
    }
    EXPECT_EQ(editIndices(ecs), (std::vector<int>{4, 5}));
    // A control that has another controller keeps it.
    ecs.assignCC(0, 50, 0, 6, false, 0);
    EXPECT_EQ(ecs.assignCC(0, 52, 0, 6, true, 0), 2);
    int controller = -1;
    ASSERT_TRUE(ecs.getByEdit(0, 6, 0, nullptr, &controller, nullptr));
    EXPECT_EQ(controller, 50);
    EXPECT_EQ(editIndices(ecs).size(), 3u);
}

TEST(ECS2Learn, ClearingSlot3MovesTheLaterSlotsUp)
{
    ECS2_c ecs(nullptr, nullptr);
    for (int k = 0; k < ECSSlotCount; ++k)
        bind(ecs, k % 100, 1000 + k);
    ecs.setParaVal(0, ecsParaOnOff, 1);
    ecs.clearAssignment(0, 1003);
    const std::vector<int> edits = editIndices(ecs);
    ASSERT_EQ(edits.size(), size_t(ECSSlotCount - 1));
    for (int k = 0; k < ECSSlotCount - 1; ++k)
        EXPECT_EQ(edits[size_t(k)], 1000 + (k < 3 ? k : k + 1));
    CCAss_c last;
    ecs.Para2Cache(ECSSlotCount - 1, &last);
    EXPECT_FALSE(last.isUsed());
    EXPECT_EQ(last.maxCC, 127);
}

TEST(ECS2Learn, ClearingRemovesNeighbouringAssignmentsOfTheSameControl)
{
    // Two controllers on one control sit next to each other (the same target
    // learned on two channels through the default form and a learn).
    ECS2_c ecs(nullptr, nullptr);
    bind(ecs, 10, 1);
    ecs.Cache2Para(1, ranged(0, 127, 0.0f, 1.0f)); // slot 1: edit 40
    ecs.Cache2Para(2, ranged(0, 127, 0.0f, 1.0f)); // slot 2: edit 40
    bind(ecs, 13, 2);
    ecs.setParaVal(0, ecsParaOnOff, 1);
    ecs.clearAssignment(0, 40);
    EXPECT_EQ(editIndices(ecs), (std::vector<int>{1, 2}));
}

TEST(ECS2Learn, ClearingNeedsLearningOnAndAStoredNegativeIndexCounts)
{
    ECS2_c ecs(nullptr, nullptr);
    CCAss_c a = ranged(0, 127, 0.0f, 1.0f);
    a.editIndex = -40;
    ecs.Cache2Para(0, a);
    ecs.clearAssignment(0, 40);
    EXPECT_FALSE(ecs.isEmpty());
    ecs.setParaVal(0, ecsParaOnOff, 1);
    ecs.clearAssignment(0, 40);
    EXPECT_TRUE(ecs.isEmpty());
}

TEST(ECS2Learn, ATouchedControlIsLearnedByTheNextController)
{
    ECS2_c ecs(nullptr, nullptr);
    ecs.setParaVal(0, ecsParaMode, ecsModeLearn);
    ASSERT_TRUE(ecs.isLearning());
    ecs.processCC(0, 30, 5); // no target yet: nothing
    EXPECT_TRUE(ecs.isEmpty());
    ecs.setEditIdx(0, 44);
    ecs.processCC(2, 31, 5);
    int channel = -1;
    int controller = -1;
    ASSERT_TRUE(ecs.getByEdit(0, 44, 0, &channel, &controller, nullptr));
    EXPECT_EQ(channel, 2);
    EXPECT_EQ(controller, 31);
    // The target is used up.
    ecs.processCC(0, 32, 5);
    EXPECT_EQ(editIndices(ecs).size(), 1u);
}

TEST(ECS2Learn, NrpnSelectionThenIncrementLearnsTheNrpnNumber)
{
    ECS2_c ecs(nullptr, nullptr);
    ecs.setParaVal(0, ecsParaMode, ecsModeLearn);
    ecs.setEditIdx(0, 50);
    ecs.processCC(0, 99, 3);  // assembles only
    ecs.processCC(0, 98, 17); // assembles only
    EXPECT_TRUE(ecs.isEmpty());
    ecs.processCC(0, 96, 1);
    int controller = -1;
    ASSERT_TRUE(ecs.getByEdit(0, 50, 0, nullptr, &controller, nullptr));
    EXPECT_EQ(controller, 3 * 128 + 17);
}

TEST(ECS2Learn, ClearModeClearsTheTouchedControl)
{
    ECS2_c ecs(nullptr, nullptr);
    bind(ecs, 20, 4);
    bind(ecs, 21, 5);
    ecs.setParaVal(0, ecsParaMode, ecsModeClear);
    EXPECT_TRUE(ecs.isClearPending());
    ecs.setEditIdx(0, 4);
    EXPECT_EQ(editIndices(ecs), (std::vector<int>{5}));
    ecs.setParaVal(0, ecsParaMode, ecsModeOff);
    EXPECT_FALSE(ecs.isLearning());
    EXPECT_FALSE(ecs.isClearPending());
}

TEST(ECS2Learn, ClearAllAndRestoreFactoryAskFirstWithTheQuestionAsText)
{
    // Each menu item asks under its title with the question as the panel's
    // text; "No" keeps the table, "Yes" clears it (or brings the factory
    // table back) and the menu returns to "Off".
    struct Case
    {
        int mode;
        const char* title;
        const char* question;
        std::vector<int> afterYes;
    };
    const Case cases[] = {
        {ecsModeClearAll, "Clear ECS", "Do you want to clear all Controller Assigments of this instrument?", {}},
        {ecsModeRestoreFactory, "Restore Factory ECS", "Do you want to restore the ECS factory settings?", {4}},
    };
    for (const Case& c : cases) {
        for (bool yes : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.title << (yes ? ", yes" : ", no"));
            std::string title;
            std::string question;
            OsLib_c::setPanelHook([&](const std::string& t, const std::string& m, bool ask) {
                EXPECT_TRUE(ask);
                title = t;
                question = m;
                return yes;
            });
            ECS2_c ecs(nullptr, nullptr);
            bind(ecs, 20, 4);
            ecs.storeFactory();
            bind(ecs, 21, 5);
            ecs.setParaVal(0, ecsParaMode, c.mode);
            OsLib_c::setPanelHook({});
            EXPECT_EQ(title, c.title);
            EXPECT_EQ(question, c.question);
            EXPECT_EQ(editIndices(ecs), yes ? c.afterYes : std::vector<int>({4, 5}));
            EXPECT_EQ(ecs.getParaVal(0, ecsParaMode), ecsModeOff);
            EXPECT_FALSE(ecs.isLearning());
        }
    }
}

// ---------------------------------------------------------------------------
// The controller reader

TEST(ECS2Reader, LookupWalksEveryMatchingSlotInOrder)
{
    ECS2_c ecs(nullptr, nullptr);
    ecs.assignCC(0, 20, 0, 4, false, 0);
    ecs.assignCC(1, 20, 0, 5, false, 0); // other channel
    ecs.assignCC(0, 20, 0, 6, false, 0);
    ecs.assignCC(0, 21, 0, 7, false, 0);
    std::vector<int> hits;
    int slot = -1;
    int ins = 0;
    int edit = 0;
    ECSCtrlUse_t use = ecsUseNone;
    float speed = 0.0f;
    bool negative = false;
    while (ecs.requestCC(0, 20, 64, &slot, &ins, &edit, &use, &speed, &negative)) {
        hits.push_back(edit);
        EXPECT_EQ(use, ecsUseAbsolute);
    }
    EXPECT_EQ(hits, (std::vector<int>{4, 6}));
}

TEST(ECS2Reader, GroupsOtherThanTheActiveOneAreSkipped)
{
    ECS2_c ecs(nullptr, nullptr);
    CCAss_c a = ranged(0, 127, 0.0f, 1.0f);
    a.controller = 20;
    a.group = 2;
    ecs.Cache2Para(0, a);
    a.group = 0;
    a.editIndex = 41;
    ecs.Cache2Para(1, a);
    auto firstHit = [&ecs] {
        int slot = -1, ins = 0, edit = 0;
        ECSCtrlUse_t use = ecsUseNone;
        float speed = 0.0f;
        bool negative = false;
        return ecs.requestCC(0, 20, 1, &slot, &ins, &edit, &use, &speed, &negative) ? edit : -1;
    };
    EXPECT_EQ(firstHit(), 41); // active group 1
    ecs.setParaVal(0, ecsParaActiveGroup, 2);
    EXPECT_EQ(firstHit(), 40);
}

TEST(ECS2Reader, NrpnNumbersAndTheRpnThatEndsThem)
{
    ECS2_c ecs(nullptr, nullptr);
    ECSCtrlUse_t use = ecsUseAbsolute;
    EXPECT_EQ(ecs.getCCIdx(0, 20, 5, &use), 20);
    EXPECT_EQ(use, ecsUseAbsolute);
    // Without an NRPN, an increment stands for the controller its value names.
    EXPECT_EQ(ecs.getCCIdx(0, 96, 33, &use), 33);
    EXPECT_EQ(use, ecsUseIncrement);
    ecs.getCCIdx(0, 99, 2, &use);
    EXPECT_EQ(use, ecsUseNone);
    EXPECT_EQ(ecs.getCCIdx(0, 98, 5, &use), 2 * 128 + 5);
    EXPECT_EQ(ecs.getCCIdx(0, 97, 1, &use), 2 * 128 + 5);
    EXPECT_EQ(use, ecsUseDecrement);
    // An RPN selection: the increments that follow are not the NRPN's.
    EXPECT_EQ(ecs.getCCIdx(0, 101, 0, &use), 101);
    EXPECT_EQ(ecs.getCCIdx(0, 96, 33, &use), 33);
}

TEST(ECS2Reader, SpeedUpOfIncrements)
{
    struct Case
    {
        int64_t dt;
        bool sameTarget;
        float expect;
    };
    const float at100 = std::pow((0.25f - 0.05f) / 0.95f, 2.0f);
    const Case cases[] = {
        {20, true, 1.0f}, {25, true, 1.0f}, {100, true, at100}, {500, true, 0.0f}, {1000, true, 0.0f},
        {20, false, 0.0f},
    };
    ECS2_c ecs(nullptr, nullptr);
    ecs.setClock(&fakeClock);
    fakeNow = 1000000;
    for (const Case& c : cases) {
        int edit = 40;
        int ins = 0;
        ECSCtrlUse_t use = ecsUseIncrement;
        float speed = -1.0f;
        ecs.handleSpeedUp(&edit, &ins, &use, &speed);
        fakeNow += c.dt;
        edit = c.sameTarget ? 40 : 41;
        ecs.handleSpeedUp(&edit, &ins, &use, &speed);
        EXPECT_NEAR(speed, c.expect, 1e-5f) << "dt " << c.dt;
        fakeNow += 10000;
    }
    // An absolute use has no speed.
    int edit = 40;
    int ins = 0;
    ECSCtrlUse_t use = ecsUseAbsolute;
    float speed = -1.0f;
    ecs.handleSpeedUp(&edit, &ins, &use, &speed);
    EXPECT_EQ(speed, 0.0f);
}

// ---------------------------------------------------------------------------
// Preferences

TEST(ECS2Preferences, StoredTableComesBackInAnotherTable)
{
    TempDir dir;
    ScopedEnv config("XDG_CONFIG_HOME", dir.file("config").c_str());
    {
        ECS2_c ecs(nullptr, "EcsTest");
        EXPECT_EQ(std::string(ecs.getKey().c_str()), "EcsTestECS2");
        ecs.Cache2Para(0, ranged(3, 90, 0.25f, 0.5f));
        bind(ecs, 21, 41);
        ecs.setParaVal(0, ecsParaMode, ecsModeLearn);
        ecs.setParaVal(0, ecsParaMode, ecsModeOff); // switching learning off stores
    }
    ECS2_c other(nullptr, "EcsTest");
    bind(other, 55, 99);
    ASSERT_TRUE(other.recall());
    EXPECT_TRUE(other.wasRecalled());
    EXPECT_EQ(editIndices(other), (std::vector<int>{40, 41}));
    CCAss_c a;
    other.Para2Cache(0, &a);
    EXPECT_EQ(a.minCC, 3);
    EXPECT_EQ(a.maxCC, 90);
    EXPECT_FLOAT_EQ(a.maxPar, 0.5f);
    EXPECT_FALSE(other.isLearning());
    EXPECT_EQ(other.getParaVal(0, ecsParaOnOff), 0);
}

TEST(ECS2Preferences, MissingOrUnusableEntriesLeaveTheTable)
{
    TempDir dir;
    ScopedEnv config("XDG_CONFIG_HOME", dir.file("config").c_str());
    ECS2_c ecs(nullptr, "EcsBad");
    bind(ecs, 20, 4);
    EXPECT_FALSE(ecs.recall());
    const Vdx::String_c key = ecs.getKey();
    // The right type code with a size word that is not the bytes stored, and
    // a chunk of another type.
    const int32_t shortChunk[4] = {TypeCodeECS2, 400, 0, 0};
    const int32_t otherType[4] = {0x41424344, 16, 0, 0};
    for (const int32_t* chunk : {shortChunk, otherType}) {
        ASSERT_TRUE(OsLib_c::remindChunk(key, chunk, 16));
        EXPECT_FALSE(ecs.recall());
        EXPECT_EQ(editIndices(ecs), (std::vector<int>{4}));
    }
    EXPECT_FALSE(ecs.wasRecalled());
}

TEST(ECS2Preferences, SwitchingLearningOnRecallsAndStaysOn)
{
    TempDir dir;
    ScopedEnv config("XDG_CONFIG_HOME", dir.file("config").c_str());
    {
        ECS2_c ecs(nullptr, "EcsOn");
        bind(ecs, 20, 4);
        ecs.store();
    }
    ECS2_c ecs(nullptr, "EcsOn");
    ecs.setParaVal(0, ecsParaOnOff, 1);
    EXPECT_TRUE(ecs.isLearning());
    EXPECT_EQ(ecs.getParaVal(0, ecsParaOnOff), 1);
    EXPECT_EQ(editIndices(ecs), (std::vector<int>{4}));
}
