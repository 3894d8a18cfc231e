// The change hook's rules, driven the way the host and the editor drive them:
// through the external entries of an opened plug-in.
#include "Vela.h"

#include "ECS2.h"
#include "EngineTestHost.h"
#include "Parameter.h"
#include "SysGlo.h"
#include "VelaExtTable.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <vector>

namespace {

using G = VelaGlo_c;

struct OpenedVela
{
    OpenedVela() : vela(std::make_unique<Vela_c>(EngineTestHost::callback, false))
    {
        vela->dispatcher(effOpen, 0, 0, nullptr, 0.0f);
        vela->dispatcher(effSetSampleRate, 0, 0, nullptr, 48000.0f);
        vela->dispatcher(effSetBlockSize, 0, 256, nullptr, 0.0f);
    }
    Vela_c* operator->() { return vela.get(); }
    VelaGlo_c* glo() { return vela->getGlobalPart(); }

    // Writes the integer value v into whatever entry addresses, as the editor
    // does (every entry, host-visible or not, goes through the same write).
    // The integer goes in as the engine's own write leaves it: value, then
    // the module's caches, then the change hook.
    void write(int entry, int v)
    {
        Part_c* part = nullptr;
        int para = -1;
        int ins = -1;
        ASSERT_TRUE(vela->getPartParaIdx(entry, &part, &para, &ins)) << entry;
        part->setParaVal(ins, para, v);
        vela->cachePara(crParaChange, ins, part, para);
        vela->postprocessParaChange(ins, part, para);
        ASSERT_EQ(vela->getParaVal(entry), v) << entry;
    }

    EngineTestHost host;
    std::unique_ptr<Vela_c> vela;
};

// "Effect 3 Type" .. "Effect 6 Type": the serial slots X0..X3.
constexpr int SerialTypeEntry = 215;

std::array<int, 4> serialTypes(OpenedVela& v)
{
    std::array<int, 4> t{};
    for (int j = 0; j < 4; ++j)
        t[j] = v.glo()->getParaVal(0, G::gpEffXType0 + 2 * j);
    return t;
}

void setSerialTypesQuietly(OpenedVela& v, std::array<int, 4> t)
{
    for (int j = 0; j < 4; ++j)
        v.glo()->setParaVal(0, G::gpEffXType0 + 2 * j, t[j]);
}

} // namespace

TEST(VelaSideEffects, SerialSlotsKeepFourDifferentEffects)
{
    struct Case
    {
        std::array<int, 4> start;
        int slot;
        int type;
        std::array<int, 4> expected;
    };
    const Case cases[] = {
        {{0, 1, 2, 3}, 2, 0, {2, 1, 0, 3}},    // X0 takes the smallest type no other slot holds
        {{0, 1, 2, 3}, 1, 0, {1, 0, 2, 3}},    // the chosen slot keeps its type
        {{5, 5, 5, 5}, 0, 5, {5, 0, 1, 2}},    // values replaced earlier in the pass count as new
        {{0, 1, 2, 3}, 3, 11, {0, 1, 2, 11}},  // a free type changes nothing else
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "slot " << c.slot << " := " << c.type);
        OpenedVela v;
        setSerialTypesQuietly(v, c.start);
        v.write(SerialTypeEntry + c.slot, c.type);
        EXPECT_EQ(serialTypes(v), c.expected);
        // Every slot is served by the set-X module of its type: none twice.
        VelaInst_c* ins = v->getInstrument();
        for (int j = 0; j < 4; ++j)
            EXPECT_EQ(ins->getCurrentEffect(VelaInst_c::slotX0 + j), ins->getEffect(VelaInst_c::setSerial, c.expected[j]));
    }
}

TEST(VelaSideEffects, AProgramLoadSortsTheSerialSlotsKeepingTheLast)
{
    OpenedVela v;
    setSerialTypesQuietly(v, {4, 4, 4, 4});
    v->handlePrgChanged(0);
    EXPECT_EQ(serialTypes(v), (std::array<int, 4>{0, 1, 2, 4}));
}

TEST(VelaSideEffects, SortingTwiceOverFromInsideItselfEnds)
{
    OpenedVela v;
    setSerialTypesQuietly(v, {3, 3, 3, 3});
    // sortXFx's own writes come back through the hook, which would sort
    // again; the pass runs once and leaves distinct types.
    v->sortXFx(0, -1);
    const std::array<int, 4> t = serialTypes(v);
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j)
            EXPECT_NE(t[i], t[j]);
}

TEST(VelaSideEffects, SendSlotsSelectTheirSetsModule)
{
    OpenedVela v;
    VelaInst_c* ins = v->getInstrument();
    v.write(213, VelaInst_c::fxReverb); // "Effect 1 Type": set 0
    v.write(214, VelaInst_c::fxChorus); // "Effect 2 Type": set 1
    EXPECT_EQ(ins->getCurrentEffect(VelaInst_c::slotSend0), ins->getEffect(VelaInst_c::setSend0, VelaInst_c::fxReverb));
    EXPECT_EQ(ins->getCurrentEffect(VelaInst_c::slotSend1), ins->getEffect(VelaInst_c::setSend1, VelaInst_c::fxChorus));
}

TEST(VelaSideEffects, DisplayZoomFitsTheSample)
{
    struct Case
    {
        int frames;
        int zoom;
    };
    // n = 1 below 634 frames, else the first power of two from 2 not below
    // frames / 317; the zoom is log2 n.
    const Case cases[] = {{0, 0}, {600, 0}, {633, 0}, {634, 1}, {1268, 2}, {1269, 2}, {10000, 5}, {317 * 64, 6}};
    for (const Case& c : cases)
        EXPECT_EQ(Vela_c::zoomForFrames(c.frames), c.zoom) << c.frames;
}

TEST(VelaSideEffects, LoadingAZoneWithoutASampleLeavesTheZoom)
{
    OpenedVela v;
    v.glo()->setParaVal(0, G::gpSDZoom0, 6);
    v.glo()->setParaVal(0, G::gpSDZoom0 + 1, 3);
    for (int m = 0; m < 2; ++m)
        for (const int zone : {0, 5, 63})
            v->postprocessParaChange(0, v->getModule(VelaExt::ModMulti1 + m), 24 + 20 * zone);
    EXPECT_EQ(v.glo()->getParaVal(0, G::gpSDZoom0), 6);
    EXPECT_EQ(v.glo()->getParaVal(0, G::gpSDZoom0 + 1), 3);
}

TEST(VelaSideEffects, DefaultControllersGoInOnceHoweverOftenTheHostResumes)
{
    OpenedVela v;
    for (int k = 0; k < 3; ++k) {
        v->dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
        v->dispatcher(effMainsChanged, 0, 0, nullptr, 0.0f);
    }
    ECS2_c* ecs = v->getECS();
    ASSERT_NE(ecs, nullptr);
    int used = 0;
    int volumeOfSlot1 = 0;
    for (int s = 0; s < ECSSlotCount; ++s) {
        CCAss_c a;
        ecs->Para2Cache(s, &a);
        if (!a.isUsed())
            continue;
        ++used;
        if (a.controller == 20 && a.editIndex == 4 && a.channel == 0 && a.instrument == 0)
            ++volumeOfSlot1;
    }
    EXPECT_EQ(used, 28);
    EXPECT_EQ(volumeOfSlot1, 1);
}

TEST(VelaSideEffects, AProgramLoadSwitchesOnSilentMatrixRowsButAModuleResetDoesNot)
{
    OpenedVela v;
    VelaGlo_c* glo = v.glo();
    auto prepare = [glo] {
        for (const int row : {3, 9, 12}) {
            glo->setParaOn(0, G::gpModActive + row, false);
            glo->setParaVal(0, G::gpModAmount + row, 5000);
        }
    };
    // A module's whole set changed (paste, reset): the matrix stays.
    prepare();
    v->postprocessParaChange(0, v->getModule(VelaExt::ModLFO1), -1);
    EXPECT_FALSE(glo->getParaOn(0, G::gpModActive + 3));
    EXPECT_EQ(glo->getParaVal(0, G::gpModAmount + 3), 5000);
    // A program load: rows 1..10 come on with amount 0, the others stay.
    v->handlePrgChanged(0);
    for (const int row : {3, 9}) {
        EXPECT_TRUE(glo->getParaOn(0, G::gpModActive + row)) << row;
        EXPECT_EQ(glo->getParaVal(0, G::gpModAmount + row), 0) << row;
    }
    EXPECT_FALSE(glo->getParaOn(0, G::gpModActive + 12));
    EXPECT_EQ(glo->getParaVal(0, G::gpModAmount + 12), 5000);
}

TEST(VelaSideEffects, VoicesSetTheLimitAndMono)
{
    OpenedVela v;
    struct Case
    {
        int value;
        int limit;
        bool mono;
    };
    const Case cases[] = {{1, 1, true}, {2, 2, false}, {12, 12, false}, {13, 32, false}};
    for (const Case& c : cases) {
        v.write(961, c.value); // "Voices"
        EXPECT_EQ(v->getInstrument()->getVoiceLimit(), c.limit) << c.value;
        EXPECT_EQ(v->getInstrument()->isMono(), c.mono) << c.value;
    }
}

TEST(VelaSideEffects, ScrollingAndEditingChooseTheShownZone)
{
    OpenedVela v;
    struct Case
    {
        int sampler;
        int page;
        int zone;
        int shown;
    };
    const Case cases[] = {{0, 3, 1, 25}, {0, 7, 7, 63}, {1, 0, 0, 0}, {1, 2, 6, 22}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "sampler " << c.sampler << " page " << c.page << " zone " << c.zone);
        v.write(VelaExt::ScrollingEntry0 + c.sampler, c.page);
        v.write(VelaExt::EditingEntry0 + c.sampler, c.zone);
        EXPECT_EQ(v->getShownZone(c.sampler), c.shown);
        EXPECT_EQ(v->getParaVal(VelaExt::ShownEntry0 + c.sampler), c.shown);
        EXPECT_EQ(v->getShownSample(c.sampler), nullptr); // no sample in the zone
    }
}

TEST(VelaSideEffects, KnobsMoveLinearlyAfterAnyChange)
{
    OpenedVela v;
    SysGlo_c* sys = v->getSysGlo();
    sys->setParaVal(0, SysGloPara::KnobMovement, 0);
    v.write(134, 0); // "Main Volume"
    EXPECT_EQ(sys->getParaVal(0, SysGloPara::KnobMovement), 1);
}

TEST(VelaSideEffects, TheMorphingFilterFollowsTheLadderFilterOfItsPath)
{
    OpenedVela v;
    Part_c* ladder[2] = {v->getModule(VelaExt::ModLadder1), v->getModule(VelaExt::ModLadder1 + 1)};
    Part_c* morph[2] = {v->getModule(VelaExt::ModMorph1), v->getModule(VelaExt::ModMorph1 + 1)};
    struct Case
    {
        int entry;      // the ladder's external entry
        int path;
        int ladderPara;
        int morphPara;
        int value;
    };
    const Case cases[] = {
        {114, 0, 3, 2, 1200}, {115, 1, 3, 2, 9000}, {116, 0, 4, 3, 40}, {117, 1, 4, 3, 70},
        {120, 0, 6, 6, 50},   {121, 1, 6, 6, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        v.write(c.entry, c.value);
        EXPECT_EQ(ladder[c.path]->getParaVal(0, c.ladderPara), c.value);
        EXPECT_EQ(morph[c.path]->getParaVal(0, c.morphPara), c.value);
        EXPECT_NE(morph[1 - c.path]->getParaVal(0, c.morphPara), c.value);
    }
    // The path's global filter type goes to its ladder filter.
    v.write(118, 2);
    v.write(119, -1);
    EXPECT_EQ(ladder[0]->getParaVal(0, 2), 2);
    EXPECT_EQ(ladder[1]->getParaVal(0, 2), -1);
}

TEST(VelaSideEffects, FlangerInversionsMoveTogether)
{
    OpenedVela v;
    for (const int base : {VelaExt::ModSet0, VelaExt::ModSet1, VelaExt::ModSetX}) {
        Part_c* flanger = v->getModule(base + VelaExt::SetFlanger);
        for (const bool on : {true, false}) {
            flanger->setParaOn(0, 6, on);
            v->postprocessParaChange(0, flanger, 6);
            EXPECT_EQ(flanger->getParaOn(0, 3), on) << base;
        }
    }
}

TEST(VelaSideEffects, RemoteWetReachesTheSendSetsAndTheSerialSlotsEffect)
{
    OpenedVela v;
    VelaInst_c* ins = v->getInstrument();
    Part_c* reverb0 = ins->getEffect(VelaInst_c::setSend0, VelaInst_c::fxReverb);
    const int reverbWet = VelaInst_c::wetParameter(VelaInst_c::fxReverb);
    v->setParameter(492, 0.8f); // "Fx 1 Wet": every set-0 effect
    EXPECT_NEAR(reverb0->getPara01(0, reverbWet), 0.8f, 0.01f);
    // X2 runs the reverb: "Fx 5 Wet" reaches it, "Fx 6 Wet" does not.
    v.write(SerialTypeEntry + 2, VelaInst_c::fxReverb);
    Part_c* reverbX = ins->getEffect(VelaInst_c::setSerial, VelaInst_c::fxReverb);
    v->setParameter(496, 0.3f);
    EXPECT_NEAR(reverbX->getPara01(0, reverbWet), 0.3f, 0.01f);
    v->setParameter(497, 0.9f);
    EXPECT_NEAR(reverbX->getPara01(0, reverbWet), 0.3f, 0.01f);
}

TEST(VelaSideEffects, PermanentLFOsShareOneRunningPhase)
{
    OpenedVela v;
    v->dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
    std::vector<float> left(256), right(256);
    float* outs[2] = {left.data(), right.data()};
    // A block with an event renders whatever the voices do, and with it the
    // shared phases.
    VstMidiEvent note{};
    note.type = kVstMidiType;
    note.byteSize = sizeof(note);
    note.midiData[0] = static_cast<char>(0x90);
    note.midiData[1] = 60;
    note.midiData[2] = 100;
    VstEvents events{};
    events.numEvents = 1;
    events.events[0] = reinterpret_cast<VstEvent*>(&note);
    auto render = [&] {
        v->processEvents(&events);
        v->processReplacing(nullptr, outs, 256);
    };
    Instrument_c* ins = v->getInstrument();
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        // "LFO k Mono" on: the shared phase restarts and then runs.
        v.write(209 + k, 1);
        EXPECT_EQ(ins->getSyncPhase(k), 0.0);
        render();
        const double slowStep = ins->getSyncPhase(k);
        EXPECT_GT(slowStep, 0.0);
        // Another rate ("LFO k Sync", the note value the default runs on)
        // changes the step without a restart.
        const float noteValue = v->getParameter(205 + k);
        v->setParameter(205 + k, noteValue > 0.5f ? noteValue - 0.2f : noteValue + 0.2f);
        EXPECT_EQ(ins->getSyncPhase(k), slowStep);
        render();
        EXPECT_GT(std::abs(ins->getSyncPhase(k) - 2 * slowStep), 1e-6);
        // Off: back to 0, and it stays there.
        v.write(209 + k, 0);
        render();
        EXPECT_EQ(ins->getSyncPhase(k), 0.0);
    }
    v->dispatcher(effMainsChanged, 0, 0, nullptr, 0.0f);
}

TEST(VelaSideEffects, OpeningGivesTheEnvelopesTheirDefaults)
{
    OpenedVela v;
    struct Case
    {
        int module;
        int para;
        float value;
    };
    // Filter envelopes: decay 0.1064, sustain 0.5; generator envelopes:
    // release at the top (normalised values).
    const Case cases[] = {
        {VelaExt::ModEnvFilter1, 2, 0.1064f}, {VelaExt::ModEnvFilter1, 3, 0.5f},
        {VelaExt::ModEnvFilter2, 2, 0.1064f}, {VelaExt::ModEnvFilter2, 3, 0.5f},
        {VelaExt::ModEnvGen1, 5, 1.0f},       {VelaExt::ModEnvGen2, 5, 1.0f},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(v->getModule(c.module)->getPara01(0, c.para), c.value, 0.002f) << c.module << " " << c.para;
}
