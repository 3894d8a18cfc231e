#include "Part.h"

#include "NoteFreqTable.h"
#include "Synth.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <malloc.h>
#include <string>
#include <vector>

namespace {

constexpr int TypeTEST = ('T' << 24) | ('E' << 16) | ('S' << 8) | 'T';

// The engine as a part sees it: records the cache requests and routes that
// parts send it.
class SynthDouble : public Synth
{
public:
    SynthDouble()
        : Synth(nullptr, {.parameterSlots = 8,
                          .hostParameters = 4,
                          .voices = 1,
                          .productName = "Test",
                          .versionText = "1.0",
                          .codeName = "Test",
                          .automation = false})
    {
    }

    struct Cache {
        CacheReason_t reason;
        int set;
        Part_c* part;
        int idx;
        bool operator==(const Cache&) const = default;
    };
    struct Route {
        Part_c* part;
        int ins;
        bool operator==(const Route&) const = default;
    };

    void cachePara(CacheReason_t reason, int set, Part_c* part, int idx) override
    {
        caches.push_back({reason, set, part, idx});
    }
    void setRoute(Part_c* part, int ins) override { routes.push_back({part, ins}); }

    std::vector<Cache> caches;
    std::vector<Route> routes;
};

// A module that records what reaches it, with a parameter set of numbers
// 0..100 (parameter 0 is "Version" as in every class).
class RecordingPart : public Part_c
{
public:
    using Part_c::getParaSetPtr;
    using Part_c::prepProc;
    using Part_c::resetPara;

    int getTypeCode() const override { return TypeTEST; }

    bool getParaSetPtr(ParaSet_c** shared, int nSets) override
    {
        bool defined = false;
        Parameter_c* p = beginParaDefinition(shared, nSets, paraCount, &defined);
        if (!p)
            return defined;
        for (int i = 1; i < paraCount; ++i)
            p[i].createNum("N", "", 0.0f, 0, 100, 0, 10, 0);
        return paraSet->spreadPara();
    }

    void cachePara(CacheReason_t reason, int set, int idx) override
    {
        log.push_back("cache " + std::to_string(reason) + " " + std::to_string(set) + " " + std::to_string(idx));
    }
    void prepProc(int instrument, Note_c n, bool legato) override
    {
        log.push_back("prepProc " + std::to_string(instrument));
        Part_c::prepProc(instrument, n, legato);
    }
    void NoteOff(int instrument, Note_c n) override
    {
        log.push_back("NoteOff " + std::to_string(instrument));
        Part_c::NoteOff(instrument, n);
    }
    void quickFadeOut() override { log.push_back("quickFadeOut"); }
    void suspend() override
    {
        log.push_back("suspend");
        Part_c::suspend();
    }
    void resume() override { log.push_back("resume"); }
    void resetPara() override { log.push_back("resetPara"); }
    void postprocessParaChange(int set, int idx) override
    {
        log.push_back("change " + std::to_string(set) + " " + std::to_string(idx));
        Part_c::postprocessParaChange(set, idx);
    }
    void setSampleRate(float rate) override
    {
        log.push_back("rate " + std::to_string(static_cast<int>(rate)));
        Part_c::setSampleRate(rate);
    }
    void initBuffer() override { log.push_back("initBuffer"); }
    void checkSetFlagReady() override
    {
        Part_c::checkSetFlagReady();
        if (refuseReady)
            ready = false;
    }

    int paraCount = 8;
    bool refuseReady = false;
    std::vector<std::string> log;
};

// A part bound to a set of its own of nSets sets.
struct Module
{
    ParaSet_c* slot = nullptr;
    RecordingPart part;
    explicit Module(int nSets = 1) { part.getParaSetPtr(&slot, nSets); }
};

Note_c noteOf(int n, int v)
{
    Note_c note;
    note.note = n;
    note.velocity = v;
    return note;
}

} // namespace

// ---------------------------------------------------------------------------
// The group

TEST(PartGroup, SlotsAreClampedAndCounted)
{
    RecordingPart a, b;
    PartGroup_c g;
    g.definePart(70, &a);
    EXPECT_EQ(g.getPart(63), &a);
    EXPECT_EQ(g.getChildCount(), 64);
    EXPECT_EQ(g.getPart(500), &a);
    g.definePart(-4, &b);
    EXPECT_EQ(g.getPart(0), &b);

    PartGroup_c h;
    h.definePart(9, &a);
    ASSERT_EQ(h.getChildCount(), 10);
    h.undefinePart(2);
    EXPECT_EQ(h.getChildCount(), 2);
    EXPECT_EQ(h.getPart(9), &a) << "the slot above stays, but out of reach";
    h.undefinePart(5);
    EXPECT_EQ(h.getChildCount(), 2) << "a higher slot does not raise the count";
}

TEST(PartGroup, ForwardsToEveryChildAndNotesOnlyToActiveOnes)
{
    RecordingPart on, off;
    off.active = false;
    PartGroup_c g;
    g.definePart(0, &on);
    g.definePart(2, &off); // slot 1 stays empty
    const Note_c n = noteOf(60, 100);

    struct Case {
        const char* what;
        void (*call)(PartGroup_c&, Note_c);
        std::vector<std::string> on;
        std::vector<std::string> off;
    };
    const Case cases[] = {
        {"suspend", [](PartGroup_c& p, Note_c) { p.suspend(); }, {"suspend"}, {"suspend"}},
        {"resume", [](PartGroup_c& p, Note_c) { p.resume(); }, {"resume"}, {"resume"}},
        {"resetPara", [](PartGroup_c& p, Note_c) { p.resetPara(); }, {"resetPara"}, {"resetPara"}},
        {"group change", [](PartGroup_c& p, Note_c) { p.postprocessParaChangeGroup(3); }, {"change 3 -1"},
         {"change 3 -1"}},
        {"prepProc", [](PartGroup_c& p, Note_c x) { p.prepProc(2, x, false, false); }, {"prepProc 2"}, {}},
        {"NoteOff", [](PartGroup_c& p, Note_c x) { p.NoteOff(2, x); }, {"NoteOff 2"}, {}},
        {"quickFadeOut", [](PartGroup_c& p, Note_c) { p.quickFadeOut(); }, {"quickFadeOut"}, {}},
    };
    for (const Case& c : cases) {
        on.log.clear();
        off.log.clear();
        c.call(g, n);
        EXPECT_EQ(on.log, c.on) << c.what;
        EXPECT_EQ(off.log, c.off) << c.what;
    }
}

TEST(PartGroup, SampleRateReachesChildrenAndDerivedValues)
{
    RecordingPart parent, child;
    parent.definePart(0, &child);
    parent.setSampleRate(48000.0f);
    EXPECT_EQ(child.sampleRate, 48000.0f);
    EXPECT_FLOAT_EQ(parent.inverseSampleRate, 1.0f / 48000.0f);
    EXPECT_FLOAT_EQ(parent.twoSamplePeriods, 2.0f / 48000.0f);
    EXPECT_FLOAT_EQ(parent.rateFactor, 44100.0f / 48000.0f);
    EXPECT_TRUE(parent.ready);
    EXPECT_EQ(parent.log.back(), "cache 6 -1 -1");

    RecordingPart slow;
    slow.setSampleRate(22050.0f);
    EXPECT_EQ(slow.rateFactor, 1.0f) << "never above 1";
    RecordingPart zero;
    zero.setSampleRate(0.0f);
    EXPECT_EQ(zero.inverseSampleRate, 1e9f) << "a zero rate does not trap";
    EXPECT_EQ(zero.rateFactor, 1.0f);
}

// ---------------------------------------------------------------------------
// Sets: creation, sharing and ownership

TEST(Part, SharedSetSurvivesItsCreatorInEitherOrder)
{
    for (bool creatorFirst : {true, false}) {
        ParaSet_c* slot = nullptr;
        auto creator = std::make_unique<RecordingPart>();
        auto second = std::make_unique<RecordingPart>();
        creator->getParaSetPtr(&slot, 2);
        second->getParaSetPtr(&slot, 2);
        ASSERT_NE(slot, nullptr);
        EXPECT_TRUE(creator->ownsSet);
        EXPECT_FALSE(second->ownsSet);
        EXPECT_EQ(creator->getParaSet(), second->getParaSet());
        EXPECT_EQ(slot->getUserCount(), 2);

        second->getParaSetPtr(&slot, 2); // binding again adds no user
        EXPECT_EQ(slot->getUserCount(), 2);

        creator->setParaVal(1, 3, 42);
        (creatorFirst ? creator : second).reset();
        RecordingPart& left = creatorFirst ? *second : *creator;
        // Under ASan a set deleted with its creator shows here.
        EXPECT_EQ(left.getParaVal(1, 3), 42);
        EXPECT_EQ(slot->getUserCount(), 1);
    } // the last user deletes the set; LeakSanitizer sees it if not
}

TEST(Part, CreateParaSetEdgeCases)
{
    RecordingPart p;
    EXPECT_EQ(p.createParaSet(nullptr, 1, 4), nullptr);
    EXPECT_EQ(p.getParaSet(), nullptr);

    ParaSet_c* slot = nullptr;
    ParaSet_c* set = p.createParaSet(&slot, 3, 4);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->getTypeCode(), TypeTEST);
    EXPECT_EQ(set->getSetCount(), 3);
    EXPECT_EQ(set->getParaCount(), 4);

    // Binding another set lets go of the first one.
    ParaSet_c* other = nullptr;
    RecordingPart q;
    EXPECT_TRUE(q.allocPara(&other, 1, 2));
    EXPECT_NE(dynamic_cast<ParaSetMCFACT_c*>(other), nullptr) << "the scrambled-chunk variant";
    EXPECT_FALSE(q.ownsSet) << "allocPara leaves ownsSet alone";
    RecordingPart r;
    EXPECT_FALSE(r.allocPara(&other, 1, 2));
    EXPECT_EQ(other->getUserCount(), 2);
    p.createParaSet(&other, 1, 2);
    EXPECT_EQ(other->getUserCount(), 3);
}

TEST(Part, CreateBuildsTheTypeCodeText)
{
    RecordingPart p;
    p.create(nullptr, nullptr);
    EXPECT_EQ(p.getTypeCodeText(), nullptr) << "nothing without an engine";
    SynthDouble synth;
    NoteFreqTable_c tuning;
    p.create(&synth, &tuning);
    ASSERT_NE(p.getTypeCodeText(), nullptr);
    EXPECT_STREQ(p.getTypeCodeText(), "TEST");
    EXPECT_EQ(p.synth, &synth);
    EXPECT_EQ(p.tuning, &tuning);
}

TEST(Part, ForwardsWithoutASetAnswerNothing)
{
    RecordingPart p;
    char text[ParaTextBufferBytes] = "junk";
    char name[ParaNameBufferBytes] = "junk";
    p.setParaVal(0, 1, 5);
    EXPECT_EQ(p.getParaVal(0, 1), 0);
    EXPECT_EQ(p.getParaFl(0, 1), 0.0f);
    EXPECT_FALSE(p.getParaOn(0, 1));
    EXPECT_EQ(p.getChunkSize(0), 0);
    EXPECT_EQ(p.getParaPtr(0, 0), nullptr);
    EXPECT_EQ(p.getRenderParaPtr(0), nullptr);
    p.getParaCharPtr(0, 1, text);
    EXPECT_STREQ(text, "");
    p.getParaName(0, 1, name);
    EXPECT_STREQ(name, "");
    EXPECT_TRUE(p.log.empty()) << "setters without a set notify nobody";
}

TEST(Part, GetParaPtrRefusesIndicesOutsideTheSet)
{
    Module m(2);
    RecordingPart& p = m.part;
    EXPECT_EQ(p.getParaPtr(1, 3), p.getRenderParaPtr(1) + 3);
    EXPECT_EQ(p.getParaPtr(1, 8), nullptr);
    EXPECT_EQ(p.getParaPtr(1, -1), nullptr);
    EXPECT_EQ(p.getParaPtr(2, 0), nullptr);
}

TEST(Part, SettersNotifyAndHiLoDoNot)
{
    Module m;
    RecordingPart& p = m.part;
    struct Case {
        const char* what;
        void (*call)(Part_c&);
        bool notifies;
    };
    const Case cases[] = {
        {"setParaVal", [](Part_c& x) { x.setParaVal(0, 2, 7); }, true},
        {"setPara01", [](Part_c& x) { x.setPara01(0, 2, 0.5f); }, true},
        {"setParaOn", [](Part_c& x) { x.setParaOn(0, 2, true); }, true},
        {"setParaCharPtr", [](Part_c& x) { x.setParaCharPtr(0, 2, "x"); }, true},
        {"setParaString", [](Part_c& x) { x.setParaString(0, 2, "x"); }, true},
        {"setParaPath", [](Part_c& x) { x.setParaPath(0, 2, "x"); }, true},
        {"setParaHiVal", [](Part_c& x) { x.setParaHiVal(0, 2, 90); }, false},
        {"setParaLoVal", [](Part_c& x) { x.setParaLoVal(0, 2, 3); }, false},
    };
    for (const Case& c : cases) {
        p.log.clear();
        c.call(p);
        EXPECT_EQ(p.log, c.notifies ? std::vector<std::string>{"change 0 2"} : std::vector<std::string>{})
            << c.what;
    }
}

// ---------------------------------------------------------------------------
// Change handling through the engine

TEST(Part, ChangeReachesTheEngineOnlyWhenReady)
{
    SynthDouble synth;
    Module m;
    RecordingPart& p = m.part;
    RecordingPart child;
    p.definePart(0, &child);
    p.create(&synth, nullptr);

    p.postprocessParaChange(0, 5);
    EXPECT_TRUE(synth.caches.empty()) << "not ready: no cachePara";

    p.checkSetFlagReady();
    p.postprocessParaChange(0, 5);
    p.postprocessParaChange(0, -1);
    const std::vector<SynthDouble::Cache> expected = {{crParaChange, 0, &p, 5}, {crParaChange, 0, &p, -1}};
    EXPECT_EQ(synth.caches, expected);
    EXPECT_EQ(child.log, std::vector<std::string>{"change 0 -1"}) << "all parameters reach the children first";
}

TEST(Part, ResetParaResetsAndAnnouncesOnlyExistingSets)
{
    SynthDouble synth;
    Module m(3);
    RecordingPart& p = m.part;
    p.create(&synth, nullptr);
    p.checkSetFlagReady();
    for (int s = 0; s < 3; ++s)
        p.setParaVal(s, 1, 77);
    synth.caches.clear();

    p.resetPara(-2, 2);
    EXPECT_EQ(p.getParaVal(0, 1), 10);
    EXPECT_EQ(p.getParaVal(1, 1), 10);
    EXPECT_EQ(p.getParaVal(2, 1), 77);
    const std::vector<SynthDouble::Cache> expected = {{crParaChange, 0, &p, -1}, {crParaChange, 1, &p, -1}};
    EXPECT_EQ(synth.caches, expected);

    synth.caches.clear();
    p.resetPara(0, 0);
    EXPECT_TRUE(synth.caches.empty()) << "an empty range announces nothing";
}

TEST(Part, DupParaFollowsOnlyItsSource)
{
    struct Case {
        int changed;
        int src;
        bool copies;
    };
    const Case cases[] = {{3, 4, false}, {-1, 4, true}, {4, 4, true}};
    for (const Case& c : cases) {
        Module from, to;
        from.part.setParaVal(0, 4, 80);
        from.part.dupPara(0, c.changed, c.src, &to.part, 7);
        EXPECT_EQ(to.part.getParaVal(0, 7), c.copies ? 80 : 10) << c.changed << " " << c.src;
    }
    Module alone;
    alone.part.dupPara(0, -1, 4, nullptr, 7); // no target: nothing
}

TEST(Part, ActivationTempoAndReadiness)
{
    RecordingPart p;
    p.setActive();
    EXPECT_EQ(p.log, std::vector<std::string>{"cache 3 -1 -1"});

    p.log.clear();
    p.notifyBPMChange();
    EXPECT_TRUE(p.log.empty()) << "not ready";
    p.checkSetFlagReady();
    p.notifyBPMChange();
    EXPECT_EQ(p.log, std::vector<std::string>{"cache 5 -1 -1"});
    p.log.clear();
    p.setInactive(); // nothing renders: returns at once
    EXPECT_FALSE(p.active);
    p.notifyBPMChange();
    EXPECT_TRUE(p.log.empty()) << "inactive";

    RecordingPart refusing;
    refusing.refuseReady = true;
    refusing.ReadyThenCache(crActivate);
    EXPECT_FALSE(refusing.isReady());
    EXPECT_TRUE(refusing.log.empty()) << "a part that stays unready is not cached";
}

TEST(Part, SuspendClearsBuffersOnlyWhenReady)
{
    RecordingPart p;
    p.suspend();
    EXPECT_EQ(p.log, std::vector<std::string>{"suspend"});
    p.checkSetFlagReady();
    p.log.clear();
    p.suspend();
    EXPECT_EQ(p.log, (std::vector<std::string>{"suspend", "initBuffer"}));
}

// ---------------------------------------------------------------------------
// Note start

TEST(Part, NoteStartKeyTrackAndVelocityCurve)
{
    struct Case {
        int note;
        int velocity;
        float keyTrack;
        float gain;
    };
    const Case cases[] = {
        {72, 127, 0.125f, 4.024f}, {60, 100, 0.0f, 2.227f}, {48, 64, -0.125f, 1.011f},
        {60, 0, 0.0f, 0.2508f},    {200, 300, 67.0f / 96.0f, 4.024f}, // clamped to 127, 127
    };
    for (const Case& c : cases) {
        Module m;
        m.part.prepProc(0, noteOf(c.note, c.velocity), false);
        EXPECT_NEAR(m.part.keyTrack, c.keyTrack, 1e-6) << c.note;
        EXPECT_NEAR(m.part.velocityGain, c.gain, 5e-4) << c.velocity;
    }
    Module m;
    m.part.prepProc(0, noteOf(72, 100), false);
    float v = 0.3f;
    m.part.applyKeyboardScaling(&v, 1.0f);
    EXPECT_FLOAT_EQ(v, 0.6f) << "an octave above the centre doubles";
}

TEST(Part, NoteStartChoosesSetAndRoute)
{
    struct Case {
        int instrument;
        int route;
        bool hasParameters;
    };
    const Case cases[] = {{500, 439, true}, {-3, 0, true}, {7, 7, true}};
    for (const Case& c : cases) {
        Module m(NumInstrumentSlots);
        m.part.modulation[4] = 1.0f;
        m.part.prepProc(c.instrument, noteOf(60, 100), false);
        EXPECT_EQ(m.part.getRouteIndex(), c.route);
        EXPECT_EQ(m.part.renderParameters, m.part.getRenderParaPtr(c.route));
        EXPECT_EQ(m.part.modulation[4], 0.0f);
        EXPECT_TRUE(m.part.prepared);
    }
    // A set of one set has no set 7: the module runs without parameters.
    Module single;
    single.part.prepProc(7, noteOf(60, 100), false);
    EXPECT_EQ(single.part.renderParameters, nullptr);
    EXPECT_TRUE(single.part.prepared);
    single.part.NoteOff(7, noteOf(60, 0));
    EXPECT_FALSE(single.part.prepared);

    RecordingPart bare; // no set: nothing more than the note limit
    bare.prepProc(3, noteOf(60, 100), false);
    EXPECT_EQ(bare.getRouteIndex(), -1);
    EXPECT_FALSE(bare.prepared);
}

TEST(Part, NoteStartAppliesTheRouteUnlessOutputsAreFixed)
{
    struct Case {
        bool routeOnStart;
        bool fixed;
        bool routes;
    };
    const Case cases[] = {{true, false, true}, {true, true, false}, {false, false, false}};
    for (const Case& c : cases) {
        SynthDouble synth;
        Module m(4);
        m.part.create(&synth, nullptr);
        m.part.routeOnStart = c.routeOnStart;
        if (c.fixed)
            m.part.setOutBufFixed(nullptr, nullptr);
        m.part.prepProc(2, noteOf(60, 100), false, false);
        EXPECT_EQ(synth.routes.size(), c.routes ? 1u : 0u);
        if (c.routes) {
            EXPECT_EQ(synth.routes[0], (SynthDouble::Route{&m.part, 2}));
        }
    }
}

TEST(Part, OutputsFollowOnlyTheirOwnRoute)
{
    Module m(4);
    auto* a = reinterpret_cast<InBuffer2_c*>(static_cast<uintptr_t>(0x100));
    auto* b = reinterpret_cast<InBuffer2_c*>(static_cast<uintptr_t>(0x200));
    m.part.prepProc(2, noteOf(60, 100), false);
    m.part.setOutBuf(1, a, b);
    EXPECT_EQ(m.part.getOutBuf(true), nullptr);
    m.part.setOutBuf(2, a, b);
    EXPECT_EQ(m.part.getOutBuf(true), a);
    EXPECT_EQ(m.part.getOutBuf(false), b);
    m.part.setInBuf(a);
    m.part.setInAlt(b);
    EXPECT_EQ(m.part.getInBuf(), a);
    EXPECT_EQ(m.part.getInBuf(true), a);
    EXPECT_EQ(m.part.getInBuf(false), b);
}

// ---------------------------------------------------------------------------
// Scaling, modulation inputs, sample cursors

TEST(Part, CentreKeyAndVelocityScaling)
{
    RecordingPart p;
    const std::pair<int, int> keys[] = {{10, 24}, {120, 96}, {60, 60}};
    for (const auto& [in, out] : keys) {
        p.setCenterKey(in);
        EXPECT_EQ(p.centreKey, out) << in;
    }

    struct Case {
        const char* what;
        float gain;
        float amount;
        float in;
        float out;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {"amount -1, gain 0.5 divides by 0.5", 0.5f, -1.0f, 3.0f, 6.0f},
        {"amount 1, gain 4 multiplies by 4", 4.0f, 1.0f, 3.0f, 12.0f},
        {"amount 0 leaves the value", 4.0f, 0.0f, 3.0f, 3.0f},
        {"below 0 becomes 0", 4.0f, 1.0f, -3.0f, 0.0f},
        {"above 1e9 becomes 1e9", 4.0f, 1.0f, 1e9f, 1e9f},
        {"zero divisor gives the stand-in, kept at 1e9", 0.0f, -1.0f, 5.0f, 1e9f},
        {"NaN becomes 0", 4.0f, 1.0f, nan, 0.0f},
    };
    for (const Case& c : cases) {
        p.velocityGain = c.gain;
        float v = c.in;
        p.applyVelocityScaling(&v, c.amount);
        EXPECT_FLOAT_EQ(v, c.out) << c.what;
    }
}

TEST(Part, ModulationInputsAndSampleCursors)
{
    RecordingPart p;
    EXPECT_EQ(p.getModVectorAdr(15), &p.modulation[15]);
    EXPECT_EQ(p.getModVectorAdr(16), nullptr);
    EXPECT_EQ(p.getModVectorAdr(-1), nullptr);

    float buf[3] = {1.0f, 1.0f, 1.0f};
    float* cursor = buf;
    p.mixSample(&cursor, 0.5f);
    p.writeSample(&cursor, 0.25f);
    EXPECT_EQ(cursor, buf + 2);
    EXPECT_EQ(buf[0], 1.5f);
    EXPECT_EQ(buf[1], 0.25f);
    EXPECT_EQ(buf[2], 1.0f);
}

TEST(Part, FrequenciesWithAndWithoutATuningTable)
{
    RecordingPart p;
    EXPECT_EQ(p.MidiFrequency(69.0f), 440.0f);
    EXPECT_EQ(p.FrequencyNote(1000.0f), 60);

    ParaSet_c* slot = nullptr;
    NoteFreqTable_c tuning;
    tuning.getParaSetPtr(&slot);
    SynthDouble synth;
    p.create(&synth, &tuning);
    EXPECT_FLOAT_EQ(p.MidiFrequency(81.0f), 880.0f);
    EXPECT_EQ(p.FrequencyNote(439.0f), 68);
}

// ---------------------------------------------------------------------------
// Morph lists

TEST(Part, MorphListsCopyHoldAndRestoreWithoutNotifying)
{
    Module m;
    RecordingPart& p = m.part;
    const int list[] = {2, 4, 7, -1}; // 7 + 1 lies outside the set: skipped
    p.defineMorphParaList(list);
    for (int i = 1; i < 8; ++i)
        p.setParaVal(0, i, 10 * i);
    p.log.clear();

    p.copyMorphPara(0, true); // A to B
    EXPECT_EQ(p.getParaVal(0, 3), 20);
    EXPECT_EQ(p.getParaVal(0, 5), 40);
    p.setParaVal(0, 3, 33);
    p.copyMorphPara(0, false); // B to A
    EXPECT_EQ(p.getParaVal(0, 2), 33);

    p.holdMorphPara(0, true); // keeps B: 33, 40
    p.setParaVal(0, 3, 1);
    p.setParaVal(0, 5, 1);
    p.log.clear();
    p.unholdMorphPara(0, true);
    EXPECT_EQ(p.getParaVal(0, 3), 33);
    EXPECT_EQ(p.getParaVal(0, 5), 40);
    EXPECT_EQ(p.getParaVal(0, 7), 70);
    EXPECT_TRUE(p.log.empty()) << "morph operations notify nobody";

    // A new list drops values held for the old one.
    p.holdMorphPara(0, false);
    const int shorter[] = {1, -1};
    p.defineMorphParaList(shorter);
    p.setParaVal(0, 1, 99);
    p.unholdMorphPara(0, false);
    EXPECT_EQ(p.getParaVal(0, 1), 99);

    p.defineMorphParaList(nullptr);
    p.copyMorphPara(0, true); // no list: nothing
    EXPECT_EQ(p.getParaVal(0, 2), 33);
}

// ---------------------------------------------------------------------------
// Sample memory

TEST(AllocSampleMem, SizesSlackAndRefusals)
{
    struct Case {
        int frames;
        bool given;
    };
    const Case cases[] = {
        {0, true},
        {1, true},
        {1003, true},
        {-1, false},
        {SampleMemMaxFrames + 1, false},
        {INT_MAX, false}, // 4n would wrap in 32 bits
    };
    for (const Case& c : cases) {
        float* mem = allocSampleMem(c.frames);
        EXPECT_EQ(mem != nullptr, c.given) << c.frames;
        if (!mem)
            continue;
        const size_t bytes = ((4 * static_cast<size_t>(c.frames)) & ~size_t{15}) + 80;
        EXPECT_GE(malloc_usable_size(mem), bytes | 16) << c.frames;
        EXPECT_GE(bytes | 16, 4 * static_cast<size_t>(c.frames) + 68) << "slack after the last frame";
        const unsigned char* b = reinterpret_cast<const unsigned char*>(mem);
        for (size_t i = 0; i < (bytes | 16); ++i)
            ASSERT_EQ(b[i], 0) << "zero-filled, frames " << c.frames << " byte " << i;
        std::free(mem);
    }
}
