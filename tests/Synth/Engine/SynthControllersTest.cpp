// The engine's controller assignments through the product class: the
// default assignments at resume, the stored table in a new instance,
// learning a controller onto a parameter from the audio thread, stepping,
// value copies, the editor's clear command and sending back to the host.
#include "ECS2.h"
#include "EPAS.h"
#include "EngineTestHost.h"
#include "HoldData.h"
#include "OsLib.h"
#include "Synth.h"
#include "SysGlo.h"
#include "TestSupport.h"
#include "Vela.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace {

using TestSupport::ScopedEnv;
using TestSupport::TempDir;

// The descriptors the tests learn onto (instrument settings that have no
// side effects): host index -> SynGloIns_c parameter.
constexpr int WheelIndex = 40;     // "MIDI Mod Wheel" 0..127
constexpr int FadeIndex = 42;      // "Velo Fade" -127..127
constexpr int TriggerIndex = 43;   // "Trigger" 0..127, a value copy of WheelIndex
constexpr int NoTargetIndex = 602; // an editor entry that addresses nothing

// Control changes the host received (host opcode 8).
struct SentCC
{
    int status;
    int controller;
    int value;
    bool operator==(const SentCC& o) const
    {
        return status == o.status && controller == o.controller && value == o.value;
    }
};
std::vector<SentCC> sentToHost;

intptr_t recordingHost(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt)
{
    if (opcode == audioMasterProcessEvents) {
        const VstEvents* events = static_cast<const VstEvents*>(ptr);
        for (int32_t i = 0; events && i < events->numEvents; ++i) {
            const auto* e = reinterpret_cast<const VstMidiEvent*>(events->events[i]);
            EXPECT_EQ(e->type, kVstMidiType);
            EXPECT_EQ(e->byteSize, int32_t(sizeof(VstMidiEvent)));
            sentToHost.push_back({uint8_t(e->midiData[0]), uint8_t(e->midiData[1]), uint8_t(e->midiData[2])});
        }
        return 1;
    }
    return EngineTestHost::callback(effect, opcode, index, value, ptr, opt);
}

int64_t fakeNow = 0;
int64_t fakeClock()
{
    return fakeNow;
}

class ControllerVela : public Vela_c
{
public:
    ControllerVela() : Vela_c(&recordingHost, false) {}

    void fillParameterMap() override
    {
        Vela_c::fillParameterMap();
        SynGloIns_c* s = getSynGloIns();
        getEPAS(WheelIndex)->set(WheelIndex, "Wheel", true, 0, 0, s, SynGloInsPara::ModWheel, false, -1, nullptr);
        getEPAS(FadeIndex)->set(FadeIndex, "Fade", true, 0, 0, s, SynGloInsPara::VeloFade, false, -1, nullptr);
        getEPAS(TriggerIndex)->set(TriggerIndex, "Trigger", true, 0, 0, s, SynGloInsPara::Trigger, false, -1, nullptr);
        defineValCopy(WheelIndex, TriggerIndex, false);
    }
    // Work to do on the audio thread at the start of the next block.
    void processAll(float** out, int32_t frames) override
    {
        if (onBlock) {
            auto work = std::move(onBlock);
            onBlock = nullptr;
            work(*this);
        }
        Synth::processAll(out, frames);
    }
    bool invertsParameterCC() override { return invert; }

    void block()
    {
        float* outs[2] = {left, right};
        processReplacing(nullptr, outs, 64);
    }
    // What processMidiCC hands the table, here on the audio thread.
    void controllerOnAudioThread(int channel, int controller, int value)
    {
        onBlock = [=](ControllerVela& v) {
            if (v.getECS()->isLearning())
                v.getECS()->processCC(channel, controller, value);
            v.CCsetParameter(channel, controller, value);
        };
        block();
    }
    int wheel() { return getSynGloIns()->getParaVal(0, SynGloInsPara::ModWheel); }
    void setMode(int mode) { getECS()->setParaVal(0, ecsParaMode, mode); }

    std::function<void(ControllerVela&)> onBlock;
    bool invert = false;
    float left[64] = {};
    float right[64] = {};
};

class SynthControllers : public ::testing::Test
{
protected:
    SynthControllers() { sentToHost.clear(); }

    std::unique_ptr<ControllerVela> started()
    {
        auto v = std::make_unique<ControllerVela>();
        v->resume();
        v->block();
        return v;
    }

    TempDir dir;
    ScopedEnv config{"XDG_CONFIG_HOME", dir.file("config").c_str()};
    EngineTestHost host;
};

struct Default
{
    int controller;
    int index;
};
const Default Defaults[] = {
    {20, 4},   {28, 5},   {52, 6},   {60, 7},   {74, 124}, {75, 141}, {76, 142}, {77, 143}, {78, 144}, {79, 145},
    {80, 114}, {81, 116}, {82, 125}, {83, 147}, {84, 148}, {85, 149}, {86, 150}, {87, 151}, {88, 115}, {89, 117},
    {90, 134}, {91, 135}, {92, 136}, {93, 137}, {94, 138}, {95, 139}, {102, 126}, {103, 127},
};

int countBindings(const ECS2_c& ecs, int controller, int index)
{
    int n = 0;
    for (int k = 0; k < ECSSlotCount; ++k) {
        int c = -1, edit = -1, ins = -1;
        if (ecs.getByIdx(k, nullptr, &c, &ins, &edit) && c == controller && edit == index && ins == 0)
            ++n;
    }
    return n;
}

int usedSlots(const ECS2_c& ecs)
{
    int n = 0;
    for (int k = 0; k < ECSSlotCount; ++k)
        n += ecs.getByIdx(k, nullptr, nullptr, nullptr, nullptr) ? 1 : 0;
    return n;
}

} // namespace

TEST_F(SynthControllers, ThreeResumesLeaveTheDefaultAssignmentsOnceEach)
{
    ControllerVela vela;
    for (int round = 0; round < 3; ++round) {
        vela.resume();
        vela.suspend();
    }
    const ECS2_c& ecs = *vela.getECS();
    for (const Default& d : Defaults)
        EXPECT_EQ(countBindings(ecs, d.controller, d.index), 1) << "controller " << d.controller;
    EXPECT_EQ(usedSlots(ecs), int(std::size(Defaults)));
}

TEST_F(SynthControllers, LearnedAssignmentsSurviveANewInstance)
{
    {
        auto vela = started();
        vela->setMode(ecsModeLearn);
        vela->touchedParameter(WheelIndex, true);
        vela->getECS()->processCC(3, 21, 64);
        // The first default is cleared, so the stored table is not the defaults.
        vela->setMode(ecsModeClear);
        vela->touchedParameter(4, true);
        vela->setMode(ecsModeOff); // stores
    }
    ControllerVela second;
    second.resume();
    const ECS2_c& ecs = *second.getECS();
    EXPECT_TRUE(ecs.wasRecalled());
    int channel = -1;
    int controller = -1;
    ASSERT_TRUE(ecs.getByEdit(0, WheelIndex, 0, &channel, &controller, nullptr));
    EXPECT_EQ(channel, 3);
    EXPECT_EQ(controller, 21);
    EXPECT_EQ(countBindings(ecs, 20, 4), 0);
    EXPECT_EQ(usedSlots(ecs), int(std::size(Defaults)));
    EXPECT_FALSE(ecs.isLearning());
}

TEST_F(SynthControllers, LearningAControllerOntoAParameterEndToEnd)
{
    auto vela = started();
    ECS2_c& ecs = *vela->getECS();
    vela->setMode(ecsModeLearn);
    vela->touchedParameter(WheelIndex, true);
    // The controller arrives on the audio thread: the learn is handed to the
    // idle side, the table the audio thread reads is not edited under it.
    vela->controllerOnAudioThread(0, 21, 100);
    EXPECT_FALSE(ecs.getByEdit(0, WheelIndex, 0, nullptr, nullptr, nullptr));
    vela->fxIdle();
    int controller = -1;
    ASSERT_TRUE(ecs.getByEdit(0, WheelIndex, 0, nullptr, &controller, nullptr));
    EXPECT_EQ(controller, 21);
    vela->setMode(ecsModeOff);

    vela->controllerOnAudioThread(0, 21, 127);
    EXPECT_EQ(vela->wheel(), 127);
    vela->controllerOnAudioThread(0, 21, 0);
    EXPECT_EQ(vela->wheel(), 0);
    // Another channel or controller leaves it.
    vela->controllerOnAudioThread(1, 21, 127);
    vela->controllerOnAudioThread(0, 22, 127);
    EXPECT_EQ(vela->wheel(), 0);
}

TEST_F(SynthControllers, TheLearnExcludedControlsAreNeverTheTarget)
{
    auto vela = started();
    vela->setMode(ecsModeLearn);
    vela->touchedParameter(WheelIndex, true);
    vela->touchedParameter(610, true);
    vela->touchedParameter(611, true);
    vela->getECS()->processCC(0, 21, 1);
    EXPECT_TRUE(vela->getECS()->getByEdit(0, WheelIndex, 0, nullptr, nullptr, nullptr));
    EXPECT_FALSE(vela->getECS()->getByEdit(0, 610, 0, nullptr, nullptr, nullptr));
}

TEST_F(SynthControllers, AControllerSetsTheParametersPairedWithItsTarget)
{
    auto vela = started();
    vela->getECS()->assignCC(0, 21, 0, WheelIndex, false, 0);
    vela->controllerOnAudioThread(0, 21, 127);
    EXPECT_EQ(vela->wheel(), 127);
    EXPECT_EQ(vela->getSynGloIns()->getParaVal(0, SynGloInsPara::Trigger), 127);
}

TEST_F(SynthControllers, PartnersTakeTheTargetsValueInTheirOwnStepsPastAPartnerThatIsNotThere)
{
    // "Velo Fade" (-127..127) copies to an entry with no parameter, then to
    // the wheel (0..127): the wheel still follows, with the fade's value,
    // clamped to its range (a normalised copy would land elsewhere).
    auto vela = started();
    vela->defineValCopy(FadeIndex, NoTargetIndex, false);
    vela->defineValCopy(FadeIndex, WheelIndex, false);
    vela->getECS()->assignCC(0, 30, 0, FadeIndex, false, 0);
    for (const int cc : {127, 64, 100, 0}) {
        SCOPED_TRACE(cc);
        vela->controllerOnAudioThread(0, 30, cc);
        const int fade = vela->getSynGloIns()->getParaVal(0, SynGloInsPara::VeloFade);
        EXPECT_EQ(vela->wheel(), std::clamp(fade, 0, 127));
    }
    EXPECT_EQ(vela->wheel(), 0) << "the fade's bottom is below the wheel's";
}

TEST_F(SynthControllers, IncrementsStepByOneValueSlowlyAndFivePercentFast)
{
    auto vela = started();
    ECS2_c& ecs = *vela->getECS();
    ecs.setClock(&fakeClock);
    fakeNow = 1000000;
    ecs.assignCC(0, 30, 0, FadeIndex, false, 0);
    auto fade = [&] { return vela->getSynGloIns()->getParaVal(0, SynGloInsPara::VeloFade); };
    // Without an NRPN, increment and decrement name the controller by value.
    auto step = [&](int controller, int64_t dt) {
        fakeNow += dt;
        const int before = fade();
        vela->CCsetParameter(0, controller, 30);
        return fade() - before;
    };
    EXPECT_EQ(step(96, 0), 1);      // first step: no speed
    EXPECT_EQ(step(96, 1000), 1);   // a second apart
    EXPECT_NEAR(step(96, 20), 0.05 * 254, 1.0); // 20 ms apart: 5 % of the range
    EXPECT_NEAR(step(97, 20), -0.05 * 254, 1.0);
    EXPECT_EQ(step(97, 1000), -1);
}

TEST_F(SynthControllers, TheEditorsClearCommandClearsTheTouchedControl)
{
    auto vela = started();
    vela->getECS()->assignCC(0, 21, 0, WheelIndex, false, 0);
    vela->touchedParameter(WheelIndex, true);
    // Only while learning is on.
    vela->processGUICmd(62, -1, 0, nullptr);
    EXPECT_TRUE(vela->isParameterCCAssigned(0, WheelIndex));
    vela->setMode(ecsModeLearn);
    vela->processGUICmd(62, -1, 0, nullptr);
    EXPECT_FALSE(vela->isParameterCCAssigned(0, WheelIndex));
}

TEST_F(SynthControllers, ChangesOfAssignedParametersGoToTheHostAsControllers)
{
    struct Case
    {
        const char* what;
        int ccMode;
        bool invert;
        std::vector<SentCC> expect;
    };
    const Case cases[] = {
        {"receive+send", 1, false, {{0xB2, 21, 127}}},
        {"receive only", 0, false, {}},
        {"the inversion hook", 1, true, {{0xB2, 21, 0}}},
    };
    for (const Case& c : cases) {
        sentToHost.clear();
        auto vela = started();
        vela->getECS()->assignCC(2, 21, 0, WheelIndex, false, 0);
        vela->getSynGlo()->setParaVal(0, SynGloPara::CCMode, c.ccMode);
        vela->invert = c.invert;
        sentToHost.clear();
        vela->setParameter(WheelIndex, 1.0f);
        vela->block();
        EXPECT_EQ(sentToHost, c.expect) << c.what;
    }
}

TEST_F(SynthControllers, SendingEveryAssignmentGoesInSlotOrderWithEachValue)
{
    auto vela = started();
    ECS2_c& ecs = *vela->getECS();
    ecs.init();
    ecs.assignCC(0, 21, 0, WheelIndex, false, 0);
    ecs.assignCC(5, 30, 0, FadeIndex, false, 0);
    CCAss_c narrow;
    ecs.Para2Cache(1, &narrow);
    narrow.minCC = 10;
    narrow.maxCC = 20;
    ecs.Cache2Para(1, narrow);
    vela->setParameter(WheelIndex, 1.0f);
    vela->setParameter(FadeIndex, 0.0f);
    vela->block();
    sentToHost.clear();
    ASSERT_TRUE(vela->holdCmdtoRT('Y', -1, -1, nullptr, nullptr, 0));
    vela->block();
    EXPECT_EQ(sentToHost, (std::vector<SentCC>{{0xB0, 21, 127}, {0xB5, 30, 10}}));
}
