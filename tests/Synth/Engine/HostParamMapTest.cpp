#include "EPAS.h"
#include "MapTestEngine.h"
#include "RegMod.h"
#include "RegistryTestParts.h"
#include "SysGlo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

using RegistryTest::fourCC;
using RegistryTest::HostStride;
using RegistryTest::MapTestEngine;
using RegistryTest::TestModule;

namespace {

// A module whose parameter 1 is a text; its display is the text itself.
class TextModule : public TestModule
{
public:
    TextModule() : TestModule(fourCC('T', 'X', 'T', '0'), 2) {}
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override
    {
        bool defined = false;
        Parameter_c* p = beginParaDefinition(shared, nSets, paraCount, &defined);
        if (!p)
            return defined;
        p[1].createCharPtr("A module parameter name far longer than any host box", false, false, "");
        return paraSet->spreadPara();
    }
};

// Descriptor indices of the fixture's map.
enum : int {
    dCutoff = 0,      // module parameter 1, instrument 0, recorded
    dFollows = 1,     // module parameter 2, the edited instrument
    dIns1 = 2,        // module parameter 3, instrument 1
    dIns1Late = 3,    // module parameter 3, instrument code 1001 (instrument 1, given above 1000)
    dMute = 4,        // instrument settings "Mute", instrument 0
    dGlobal = 6,      // synth settings parameter 2 ("Undo/Redo"), instrument 0
    dText = 7,        // the text module
    dCopyA = 10,      // module parameter 5, recorded; copies both ways with dCopyB
    dCopyB = 11,      // module parameter 6, recorded
    dCopySrc = 12,    // module parameter 7; copies one way to dCopyDst
    dCopyDst = 13,    // module parameter 8
    dLinked = 20,     // 20, 21 and 22 address module parameter 13 of instrument 0
    dLongName = 30,   // a name longer than the host's text cap
    dDirty = 601,     // the dirty marker (module parameter 9)
    dHidden = 602,    // module parameter 10, not shown to the host
    dReadOnly = 610,  // module parameter 11, read-only
    dPaged = 700,     // module parameter 12 + page x 2 (selector 1)
    dUndefinedSel = 701, // module parameter 12, selector 2 never defined
    dCycle = 702,     // selector 3 reads descriptor 702 itself
    dPage = 937,      // the page: selector module parameter 1
    dLast = 966,      // module parameter 14
};

constexpr int ModParas = 40;

class HostMapFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        engine.open();
        ASSERT_TRUE(engine.isOpen());
        int row = -1;
        ASSERT_TRUE(engine.registerFirstModul(&row, &voice0, 0, 2, rmgInstrument));
        ASSERT_TRUE(engine.registerNextModul(row, 1, &voice1));
        ASSERT_TRUE(engine.registerFirstModul(&row, &pager, 0, 1, rmgInstrument));
        ASSERT_TRUE(engine.registerFirstModul(&row, &text, 0, 1, rmgInstrument));
        voice0.routeIndex = 0;
        voice1.routeIndex = 1;

        auto& e = engine;
        ASSERT_TRUE(e.describe(dCutoff, "Cutoff", 0, &voice0, 1, false, 0, true));
        ASSERT_TRUE(e.describe(dFollows, "Follows", -1, &voice0, 2));
        ASSERT_TRUE(e.describe(dIns1, "Ins1", 1, &voice0, 3));
        ASSERT_TRUE(e.describe(dIns1Late, "Ins1 late", 1001, &voice0, 3));
        ASSERT_TRUE(e.describe(dMute, "Mute", 0, e.getSynGloIns(), SynGloInsPara::Mute));
        ASSERT_TRUE(e.describe(dGlobal, "Global", 1, e.getSynGlo(), SynGloPara::UndoRedo));
        ASSERT_TRUE(e.describe(dText, "Text", 0, &text, 1));
        ASSERT_TRUE(e.describe(dCopyA, "Copy A", 0, &voice0, 5, false, 0, true));
        ASSERT_TRUE(e.describe(dCopyB, "Copy B", 0, &voice0, 6, false, 0, true));
        ASSERT_TRUE(e.describe(dCopySrc, "Copy src", 0, &voice0, 7));
        ASSERT_TRUE(e.describe(dCopyDst, "Copy dst", 0, &voice0, 8));
        for (int i = dLinked; i < dLinked + 3; ++i)
            ASSERT_TRUE(e.describe(i, "Linked", 0, &voice0, 13));
        ASSERT_TRUE(e.describe(dLongName, std::string(200, 'n').c_str(), 0, &voice0, 1));
        ASSERT_TRUE(e.describe(dDirty, "Dirty", 0, &voice0, 9));
        ASSERT_TRUE(e.describe(dHidden, "Hidden", 0, &voice0, 10));
        ASSERT_TRUE(e.describe(dReadOnly, "Read only", 0, &voice0, 11, true));
        ASSERT_TRUE(e.describe(dPaged, "Paged", 0, &voice0, 12, false, 1));
        ASSERT_TRUE(e.describe(dUndefinedSel, "Unpaged", 0, &voice0, 12, false, 2));
        ASSERT_TRUE(e.describe(dCycle, "Cycle", 0, &voice0, 12, false, 3));
        ASSERT_TRUE(e.describe(dPage, "Page", 0, &pager, 1));
        ASSERT_TRUE(e.describe(dLast, "Last", 0, &voice0, 14));
        pager.getParaPtr(0, 1)->setVal(0);
        e.defineSelector(1, dPage, 2);
        e.defineSelector(3, dCycle, 1);
        e.setDirtyMarkerIndex(dDirty);
    }

    int value(int ins, int para) const { return voice0.getParaVal(ins, para); }

    // Every value of the module in both instruments.
    std::vector<int> snapshot() const
    {
        std::vector<int> v;
        for (int ins = 0; ins < 2; ++ins)
            for (int p = 0; p < ModParas; ++p)
                v.push_back(value(ins, p));
        return v;
    }

    MapTestEngine engine;
    TestModule voice0{fourCC('V', 'O', 'I', '0'), ModParas};
    TestModule voice1{fourCC('V', 'O', 'I', '0'), ModParas};
    TestModule pager{fourCC('P', 'A', 'G', 'E'), 4};
    TextModule text;
};

struct Written
{
    int ins, para;
};

} // namespace

TEST_F(HostMapFixture, HostIndexTable)
{
    struct Case
    {
        const char* what;
        int index;
        std::vector<Written> written; // (instrument, parameter) that become 50
    };
    const Case cases[] = {
        {"negative index", -1, {}},
        {"INT_MIN", INT_MIN, {}},
        {"instrument 0, local 0", dCutoff, {{0, 1}}},
        {"descriptor of instrument 1", dIns1, {{1, 3}}},
        {"code 1001 is instrument 1", dIns1Late, {{1, 3}}},
        {"1024 + local: a fixed code keeps its instrument", HostStride + dCutoff, {{0, 1}}},
        {"1024 + local: code -1 takes instrument 1", HostStride + dFollows, {{1, 2}}},
        {"2048 + local clamps to the last instrument", 2 * HostStride + dFollows, {{1, 2}}},
        {"601 is the dirty marker", dDirty, {}},
        {"602 is not a host parameter", dHidden, {}},
        {"966 is not a host parameter", dLast, {}},
        {"967 is past the descriptors", 967, {}},
        {"an unset descriptor", 500, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (int ins = 0; ins < 2; ++ins)
            for (int p = 1; p < ModParas; ++p)
                voice0.getParaPtr(ins, p)->setVal(10);
        std::vector<int> expected = snapshot();
        for (const Written& w : c.written)
            expected[static_cast<size_t>(w.ins * ModParas + w.para)] = 50;
        engine.setParameter(c.index, 0.5f);
        EXPECT_EQ(snapshot(), expected);
    }
}

TEST_F(HostMapFixture, InternalWritesReachHiddenEntriesButNeverTheMarkerOrReadOnly)
{
    engine.setParameterIntern(dHidden, 0.5f);
    EXPECT_EQ(value(0, 10), 50);
    engine.setParameterIntern(dReadOnly, 0.5f);
    EXPECT_EQ(value(0, 11), 10);
    engine.setParameterIntern(dDirty, 0.5f);
    EXPECT_EQ(value(0, 9), 10);
    engine.setParameterIntern(967, 0.5f);
    engine.setParameterIntern(-5, 0.5f);
    EXPECT_TRUE(engine.isParameterReadOnly(dReadOnly));
    EXPECT_FALSE(engine.isParameterReadOnly(dCutoff));
    EXPECT_FALSE(engine.isParameterReadOnly(-1));
    EXPECT_FALSE(engine.isParameterReadOnly(967));
}

TEST_F(HostMapFixture, AWriteRecachesTheInstancesOfItsInstrument)
{
    voice0.caches.clear();
    voice1.caches.clear();
    engine.setParameter(dIns1, 0.25f);
    const TestModule::Cache change{crParaChange, 1, 3};
    EXPECT_GE(std::count(voice1.caches.begin(), voice1.caches.end(), change), 1);
    EXPECT_EQ(std::count(voice0.caches.begin(), voice0.caches.end(), change), 0)
        << "the instance playing instrument 0 keeps its cache";
}

TEST_F(HostMapFixture, EditedInstrumentEntryForHostAndEditor)
{
    voice0.getParaPtr(0, 2)->setVal(20);
    voice0.getParaPtr(1, 2)->setVal(80);
    engine.setEdited(1);
    EXPECT_FLOAT_EQ(engine.getParameter(dFollows), 0.2f) << "the host reads instrument 0";
    EXPECT_FLOAT_EQ(engine.getParameterEdited(dFollows), 0.8f) << "the editor reads the edited one";
    engine.setParameterIntern(dFollows, 0.5f);
    EXPECT_EQ(value(0, 2), 50) << "host index 1 is instrument 0, whatever is edited";
    EXPECT_FLOAT_EQ(engine.getParaFl(HostStride + dFollows), 80.0f);
    EXPECT_FLOAT_EQ(engine.getParaFl(HostStride + dCutoff), 10.0f);
}

TEST_F(HostMapFixture, ParameterNamesByIndex)
{
    struct Case
    {
        int index;
        std::string name;
    };
    const Case cases[] = {
        {dCutoff, "Cutoff"},          {dDirty, "Dirty"},       {500, ""},
        {dHidden, "hidden"},          {dLast, "hidden"},       {967, "reserved"},
        {HostStride - 1, "reserved"}, {-1, "reserved"},        {INT_MIN, "reserved"},
        {HostStride + dCutoff, "Cutoff"},
    };
    for (const Case& c : cases) {
        char text[ParameterTextAnswerSize] = "junk";
        engine.getParameterName(c.index, text);
        EXPECT_EQ(std::string(text), c.name) << c.index;
    }
}

TEST_F(HostMapFixture, TextsStayWithinTheCaps)
{
    // Each answer lands in a buffer of exactly its cap followed by canaries.
    constexpr char Canary = '\x5a';
    auto answer = [&](auto call, int index) {
        std::vector<char> buf(ParameterTextAnswerSize + 16, Canary);
        call(index, buf.data());
        for (size_t i = ParameterTextAnswerSize; i < buf.size(); ++i)
            EXPECT_EQ(buf[i], Canary) << "written past the cap at " << i;
        return std::string(buf.data());
    };
    auto name = [&](int i, char* t) { engine.getParameterName(i, t); };
    auto label = [&](int i, char* t) { engine.getParameterLabel(i, t); };
    auto display = [&](int i, char* t) { engine.getParameterDisplay(i, t); };

    EXPECT_EQ(answer(name, dLongName), std::string(ParameterTextAnswerSize - 1, 'n'));

    text.setParaCharPtr(0, 1, std::string(300, 't').c_str());
    EXPECT_EQ(answer(display, dText).size(), static_cast<size_t>(ParaNameBufferBytes - 1));
    EXPECT_EQ(answer(label, dText).size(), static_cast<size_t>(ParaNameBufferBytes - 1));

    EXPECT_EQ(answer(label, dCutoff), "P1") << "the module parameter's own name";
    EXPECT_EQ(answer(display, dCutoff), "10");
    EXPECT_EQ(answer(label, 500), "-");
    EXPECT_EQ(answer(display, 500), "-");
    EXPECT_EQ(answer(label, -1), "-");
    EXPECT_EQ(answer(display, -1), "-");

    // Every host parameter answers, mapped or not.
    for (int i = 0; i < NumHostParameters; ++i) {
        answer(name, i);
        answer(label, i);
        answer(display, i);
    }
}

TEST(HostMapUnopened, AnEngineThatCannotOpenAnswersSo)
{
    // More host parameters than slots: the engine never opens.
    class Broken : public Synth
    {
    public:
        Broken() : Synth(nullptr, {.parameterSlots = 10,
                                   .hostParameters = 20,
                                   .productName = "B",
                                   .versionText = "1",
                                   .codeName = "B"}) {}
    } engine;
    char text[ParameterTextAnswerSize];
    engine.getParameterName(0, text);
    EXPECT_STREQ(text, "uninitialized");
    engine.getParameterLabel(0, text);
    EXPECT_STREQ(text, "---");
    engine.getParameterDisplay(0, text);
    EXPECT_STREQ(text, "-");
    engine.setParameter(0, 0.5f);
    EXPECT_EQ(engine.getParameter(0), 0.0f);
}

TEST_F(HostMapFixture, PairCopiedBothWaysCopiesOnceEachWay)
{
    engine.defineValCopy(dCopyA, dCopyB, true);
    engine.defineValCopy(dCopySrc, dCopyDst, false);
    EXPECT_EQ(engine.getValueCopyCount(), 3);

    engine.writes.clear();
    engine.setParameter(dCopyA, 0.3f);
    EXPECT_EQ(engine.writes, (std::vector<int>{dCopyA, dCopyB})) << "no bounce back";
    EXPECT_EQ(value(0, 6), 30);

    engine.writes.clear();
    engine.setParameter(dCopyB, 0.7f);
    EXPECT_EQ(engine.writes, (std::vector<int>{dCopyB, dCopyA}));
    EXPECT_EQ(value(0, 5), 70);

    engine.setParameter(dCopyDst, 0.9f);
    EXPECT_EQ(value(0, 7), 10) << "a one-way pair does not copy back";

    // index < 0: every destination takes its source's current value.
    voice0.getParaPtr(0, 7)->setVal(50);
    engine.doValueCopy(-1, 0.0f);
    EXPECT_EQ(value(0, 8), 50);
}

TEST_F(HostMapFixture, CopiesCarryStepsAndLoadsRunOnlyTheDefinedWay)
{
    // A pair of different ranges, as a detune of -100..100 cents beside a
    // generator's -99..99: B holds 1..99 beside A's 0..100. A copy gives
    // the partner the same value, clamped to its range; a normalised copy
    // would round it by the other range and drift by a step per hop.
    voice0.getParaPtr(0, 6)->setLoVal(1);
    voice0.getParaPtr(0, 6)->setHiVal(99);
    engine.defineValCopy(dCopyA, dCopyB, true);
    struct Case
    {
        int entry;
        int steps;
        int a, b;
        const char* what;
    };
    const Case cases[] = {
        {dCopyA, 100, 100, 99, "A's top clamps to B's"},
        {dCopyA, 0, 0, 1, "A's bottom clamps to B's"},
        {dCopyA, 86, 86, 86, "a value both hold is copied exactly"},
        {dCopyB, 37, 37, 37, "and back"},
        {dCopyB, 99, 99, 99, "B's top"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Parameter_c* p = engine.getParaPtr(c.entry);
        engine.setParameter(c.entry, float(c.steps - p->getLowValue()) / float(p->getHighValue() - p->getLowValue()));
        EXPECT_EQ(value(0, 5), c.a);
        EXPECT_EQ(value(0, 6), c.b);
    }
    // After a load, A gives B its value and B's returning half does not run,
    // so A's 100 stays 100 and B takes 99; loaded again, nothing moves.
    voice0.getParaPtr(0, 5)->setVal(100);
    voice0.getParaPtr(0, 6)->setVal(37);
    for (int load = 0; load < 3; ++load) {
        engine.doValueCopy(-1, 0.0f);
        EXPECT_EQ(value(0, 5), 100) << load;
        EXPECT_EQ(value(0, 6), 99) << load;
    }
}

TEST_F(HostMapFixture, ValueCopyPairsStopAtCapacity)
{
    for (int i = 0; i < ValueCopyPairCapacity + 40; ++i)
        engine.defineValCopy(dCopySrc, dCopyDst, i % 2 == 0);
    EXPECT_EQ(engine.getValueCopyCount(), ValueCopyPairCapacity);
    engine.defineValCopy(-1, dCopyDst, false);
    engine.defineValCopy(dCopySrc, -1, false);
    EXPECT_EQ(engine.getValueCopyCount(), ValueCopyPairCapacity);
}

TEST_F(HostMapFixture, LinksJoinEntriesOfOneParameter)
{
    engine.storeInEPASAdd(&voice0, 0, 13, dLinked);
    EXPECT_EQ(engine.getEPASLink(dLinked, 0), -1) << "an entry never links itself";
    EXPECT_EQ(engine.getEPASLink(dLinked + 1, 0), dLinked);
    EXPECT_EQ(engine.getEPASLink(dLinked + 2, 0), dLinked);
    EXPECT_EQ(engine.getEPASLink(dCutoff, 0), -1) << "another parameter is not linked";

    for (int i = 0; i < EPASLinkSlots + 4; ++i)
        engine.storeInEPASAdd(dCutoff, 100 + i);
    EXPECT_EQ(engine.getEPASLink(dCutoff, EPASLinkSlots - 1), 100 + EPASLinkSlots - 1);
    EXPECT_EQ(engine.getEPASLink(dCutoff, EPASLinkSlots), -1) << "a full list takes nothing";

    engine.storeInEPASAdd(dMute, 967);
    engine.storeInEPASAdd(dMute, -1);
    engine.storeInEPASAdd(967, dMute);
    engine.storeInEPASAdd(&voice0, 0, 13, 967);
    engine.storeInEPASAdd(nullptr, 0, 13, dLinked);
    EXPECT_EQ(engine.getEPASLink(dMute, 0), -1);

    engine.initEPASAdd();
    EXPECT_EQ(engine.getEPASLink(dCutoff, 0), -1);
    EXPECT_EQ(engine.getEPASLink(dLinked + 1, 0), -1);
}

TEST_F(HostMapFixture, SelectorPagesAreBounded)
{
    Part_c* part = nullptr;
    int para = -1;
    int ins = -1;
    ASSERT_TRUE(engine.getPartParaIdx(dPaged, &part, &para, &ins));
    EXPECT_EQ(part, &voice0);
    EXPECT_EQ(para, 12) << "page 0";

    pager.getParaPtr(0, 1)->setVal(3);
    ASSERT_TRUE(engine.getPartParaIdx(dPaged, &part, &para, &ins));
    EXPECT_EQ(para, 18);
    engine.setParameterIntern(dPaged, 0.5f);
    EXPECT_EQ(value(0, 18), 50);
    EXPECT_EQ(value(0, 12), 10);

    // A page past the module's parameters maps nothing and writes nothing.
    pager.getParaPtr(0, 1)->setVal(100);
    EXPECT_FALSE(engine.getPartParaIdx(dPaged, &part, &para, &ins));
    EXPECT_EQ(part, nullptr);
    EXPECT_EQ(para, -1);
    const std::vector<int> before = snapshot();
    engine.setParameterIntern(dPaged, 0.9f);
    EXPECT_EQ(snapshot(), before) << "the set would have clamped onto its last parameter";

    // An undefined selector has no page; a selector paging itself ends.
    ASSERT_TRUE(engine.getPartParaIdx(dUndefinedSel, &part, &para, &ins));
    EXPECT_EQ(para, 12);
    EXPECT_FALSE(engine.getPartParaIdx(dCycle, &part, &para, &ins));

    bool flag = false;
    EXPECT_TRUE(engine.getPartParaIdxDis(dUndefinedSel, &part, &para, &ins, &flag));
    EXPECT_TRUE(flag);
    EXPECT_FALSE(engine.getPartParaIdxDis(-3, &part, &para, &ins, &flag));
}

TEST_F(HostMapFixture, NegativeIndicesAreRejectedEverywhere)
{
    const std::vector<int> before = snapshot();
    for (int index : {-1, -HostStride, INT_MIN}) {
        SCOPED_TRACE(index);
        engine.setParameter(index, 1.0f);
        engine.setParameterIntern(index, 1.0f);
        engine.setParameterAutomated(index, 1.0f);
        engine.setParaVal(index, 99);
        Vdx::String_c s = "unchanged";
        engine.setParaString(index, s);
        EXPECT_EQ(engine.getParameter(index), 0.0f);
        EXPECT_EQ(engine.getParameterEdited(index), 0.0f);
        EXPECT_EQ(engine.getParaFl(index), 0.0f);
        EXPECT_EQ(engine.getParaVal(index), 0);
        EXPECT_EQ(engine.getParaPtr(index), nullptr);
        EXPECT_EQ(engine.getParaType(index), ptUndefined);
        EXPECT_EQ(engine.getGroupType(index), -1);
        EXPECT_EQ(engine.getEPAS(index), nullptr);
        engine.getParaString(index, &s);
        EXPECT_TRUE(s.empty());
    }
    EXPECT_EQ(snapshot(), before);
}

TEST_F(HostMapFixture, ParameterReadersGoThroughTheMap)
{
    EXPECT_EQ(engine.getParaVal(dCutoff), 10);
    engine.setParaVal(dCutoff, 77);
    EXPECT_EQ(value(0, 1), 77);
    engine.setParaVal(dCutoff, 500);
    EXPECT_EQ(value(0, 1), 100) << "clamped by the parameter";
    EXPECT_EQ(engine.getParaType(dCutoff), ptNumber);
    EXPECT_EQ(engine.getParaLowValue(dCutoff), 0);
    EXPECT_EQ(engine.getParaHighValue(dCutoff), 100);
    EXPECT_EQ(engine.getParaDefValue(dCutoff), 10);
    EXPECT_FLOAT_EQ(engine.getParaDef(dCutoff), 0.1f);
    EXPECT_GT(engine.getParaStepChangeValue(dCutoff, 1), 0.0f);
    EXPECT_LT(engine.getParaStepChangeValue(dCutoff, -1), 0.0f);
    EXPECT_EQ(engine.getParaPrecision(dCutoff), 0);
    EXPECT_EQ(engine.getParaEnuValPtr(dCutoff), nullptr);
    EXPECT_EQ(engine.getGroupType(dCutoff), -1);
    EXPECT_EQ(engine.getParaVal(500), 0);
    EXPECT_EQ(engine.getParaHighValue(500), 0);

    engine.setParaString(dText, Vdx::String_c("abc"));
    Vdx::String_c s;
    engine.getParaString(dText, &s);
    EXPECT_EQ(s, "abc");
}

TEST_F(HostMapFixture, EditorWritesFollowTheirInstrument)
{
    ASSERT_EQ(engine.getEditIns(), 0);
    engine.setParameterAutomated(dIns1Late, 0.5f);
    EXPECT_EQ(engine.getEditIns(), 0) << "a code given above 1000 does not switch";
    engine.setParameterAutomated(dGlobal, 1.0f);
    EXPECT_EQ(engine.getEditIns(), 0) << "synth settings do not switch";
    engine.setParameterAutomated(dFollows, 0.5f);
    EXPECT_EQ(engine.getEditIns(), 0);

    engine.setParameterAutomated(dIns1, 0.6f);
    EXPECT_EQ(value(1, 3), 60);
    EXPECT_EQ(engine.getEditIns(), 1);
    EXPECT_EQ(engine.getSynGlo()->getParaVal(0, SynGloPara::EditIns), 1) << "\"Edit Ins\"";
    EXPECT_EQ(engine.getSynGloIns()->getParaVal(1, SynGloInsPara::Edited), 1) << "\"Edited\"";
    EXPECT_EQ(engine.getSynGloIns()->getParaVal(0, SynGloInsPara::Edited), 0);

    // Mute goes through the internal write and keeps the edited instrument.
    engine.setParameterAutomated(dMute, 1.0f);
    EXPECT_EQ(engine.getSynGloIns()->getParaVal(0, SynGloInsPara::Mute), 1);
    EXPECT_EQ(engine.getEditIns(), 0) << "instrument 0's entry switches back";
}

TEST_F(HostMapFixture, TweakSetsProgramAndEditedPerInstrument)
{
    engine.getSynGloIns()->setParaVal(1, SynGloInsPara::Program, 9);
    engine.getSynGloIns()->setParaVal(1, SynGloInsPara::Edited, 1);
    engine.tweakParameter(0, 2);
    EXPECT_EQ(engine.getSynGloIns()->getParaVal(0, SynGloInsPara::Program), 0);
    EXPECT_EQ(engine.getSynGloIns()->getParaVal(1, SynGloInsPara::Program), 1);
    EXPECT_EQ(engine.getSynGloIns()->getParaVal(0, SynGloInsPara::Edited), 1);
    EXPECT_EQ(engine.getSynGloIns()->getParaVal(1, SynGloInsPara::Edited), 0);
}

TEST_F(HostMapFixture, ControllerSendingOnlyForAssignedParametersWhileSending)
{
    Part_c* synthSettings = engine.getSynGlo();
    struct Case
    {
        const char* what;
        bool audioRan;
        int ccMode;
        bool assigned;
        bool sends;
    };
    const Case cases[] = {
        {"before the first block", false, 1, true, false},
        {"receive only", true, 0, true, false},
        {"not assigned", true, 1, false, false},
        {"assigned while sending", true, 1, true, true},
    };
    for (const Case& c : cases) {
        if (c.audioRan)
            engine.pretendAudioRan();
        synthSettings->getParaPtr(0, SynGloPara::CCMode)->setVal(c.ccMode);
        engine.ccAssigned = c.assigned;
        EXPECT_EQ(engine.wantsParameterCC(0, dCutoff), c.sends) << c.what;
    }

    // A knob drag of unassigned parameters leaves the audio ring alone; an
    // assigned one queues one record per write.
    engine.ccAssigned = false;
    const int before = engine.audioRecords();
    for (int i = 0; i < 100; ++i)
        engine.setParameter(dCutoff, static_cast<float>(i) / 100.0f);
    EXPECT_EQ(engine.audioRecords(), before);
    engine.ccAssigned = true;
    engine.setParameter(dCutoff, 0.5f);
    EXPECT_EQ(engine.audioRecords(), before + 1);
}
