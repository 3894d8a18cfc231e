// The engine's construction, lifecycle, identity, outputs, audio callback,
// host time and idle, through the product class and a scriptable host.
#include "EngineFigures.h"
#include "EngineTestHost.h"
#include "Instrument.h"
#include "ModuleManager.h"
#include "OsLib.h"
#include "Synth.h"
#include "SysGlo.h"
#include "Vela.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace {

// The product with windows onto what the engine does inside.
class ProbeVela : public Vela_c
{
public:
    explicit ProbeVela(bool is51) : Vela_c(&EngineTestHost::callback, is51) {}

    void SynthIdle() override
    {
        ++idleRounds;
        Synth::SynthIdle();
    }
    void hardNoteOffCore(int ins) override
    {
        stops.push_back({ins, onAudioThread(), isResetting(), isReady()});
    }
    void updateOutBuf() override
    {
        ++rebinds;
        if (duringBlock)
            duringBlock(*this);
    }
    void initProcess() override
    {
        ++initProcessCalls;
        Vela_c::initProcess();
    }
    void PlaybackStarted() override { ++starts; }
    void PlaybackStopped() override { ++stops_; }

    struct Stop
    {
        int ins;
        bool onAudio;
        bool resetting;
        bool ready;
    };
    std::vector<Stop> stops;
    std::function<void(ProbeVela&)> duringBlock;
    int idleRounds = 0;
    int rebinds = 0;
    int initProcessCalls = 0;
    int starts = 0;
    int stops_ = 0;

    using Synth::engineLock;
    using Synth::hostIdleStamp;
    using Synth::idleTimeStamp;
    using Synth::idleTimer;
    using Synth::timeInfo;
};

// Buffers for one block, filled with a marker, with a guard value behind.
struct Block
{
    Block(int outputs, int frames) : frames(frames), data(outputs, std::vector<float>(frames + 1, 7.0f))
    {
        for (auto& d : data)
            pointers.push_back(d.data());
    }
    bool isSilence(int i) const
    {
        for (int f = 0; f < frames; ++f)
            if (data[i][f] != (f % 2 ? 1e-7f : -1e-7f))
                return false;
        return data[i][frames] == 7.0f;
    }
    bool untouched(int i) const
    {
        for (float v : data[i])
            if (v != 7.0f)
                return false;
        return true;
    }
    int frames;
    std::vector<std::vector<float>> data;
    std::vector<float*> pointers;
};

void openAndResume(Synth& s)
{
    s.dispatcher(effOpen, 0, 0, nullptr, 0.0f);
    s.dispatcher(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    s.dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
}

} // namespace

// ---------------------------------------------------------------------------
// Construction

TEST(SynthConstruction, AFailedSizeCheckLeavesAnObjectThatNeverOpens)
{
    EngineTestHost host;
    struct Case { int hostParas; int slots; int instruments; bool ok; };
    const Case cases[] = {
        {602, 967, 1, true}, {967, 967, 1, true}, {968, 967, 1, false},
        {602, 967, 439, true}, {602, 967, 440, false},
    };
    for (const Case& c : cases) {
        // Built, opened, resumed, fed a block and destroyed: the sanitizer
        // builds see any member left half made.
        struct Plain : Synth
        {
            Plain(int hp, int slots, int ins)
                : Synth(&EngineTestHost::callback, {.programs = 8,
                                                    .parameterSlots = slots,
                                                    .hostParameters = hp,
                                                    .instruments = ins,
                                                    .voices = 4,
                                                    .productName = "Plain",
                                                    .acceptedIds = "Plan",
                                                    .versionText = "1.0",
                                                    .codeName = "Plain"}) {}
        } s(c.hostParas, c.slots, c.instruments);
        SCOPED_TRACE(testing::Message() << c.hostParas << "/" << c.slots << "/" << c.instruments);
        EXPECT_EQ(s.isConstructed(), c.ok);
        s.open();
        EXPECT_EQ(s.isOpen(), c.ok);
        s.resume();
        Block block(2, 16);
        s.processReplacing(nullptr, block.pointers.data(), 16);
        s.close();
    }
}

TEST(SynthConstruction, FiguresOfTheProduct)
{
    EngineTestHost host;
    for (bool is51 : {true, false}) {
        ProbeVela vela(is51);
        AEffect* e = vela.getAeffect();
        EXPECT_EQ(e->numPrograms, 208);
        EXPECT_EQ(e->numParams, 602);
        EXPECT_EQ(e->numOutputs, is51 ? 6 : 2);
        EXPECT_EQ(e->numInputs, 0);
        EXPECT_STREQ(vela.getCodeName(), "Vela");
        EXPECT_EQ(vela.getNumInstruments(), 1);
        EXPECT_EQ(vela.getInstPtr(0), nullptr); // nothing before open
        vela.open();
        ASSERT_TRUE(vela.isOpen());
        EXPECT_EQ(vela.getInstPtr(0), vela.getInstPtr(5)); // clamped
        EXPECT_EQ(vela.getInstPtr(-3), vela.getInstPtr(0));
        EXPECT_NE(vela.getInstPtr(0), nullptr);
        EXPECT_EQ(vela.getNumOutputs(), is51 ? 6 : 2);
    }
}

// Module copy and paste travel between two plug-in instances of one process
// through the engine's own module manager.
TEST(SynthConstruction, ModuleCopyInOneEnginePastesIntoAnother)
{
    EngineTestHost host;
    ProbeVela first(false), second(false);
    first.open();
    second.open();
    ASSERT_NE(first.getModuleManager(), nullptr);
    ASSERT_NE(second.getModuleManager(), nullptr);
    ASSERT_NE(first.getModuleManager(), second.getModuleManager());

    SynGloIns_c* a = first.getSynGloIns();
    SynGloIns_c* b = second.getSynGloIns();
    const int row = 19; // the key zone's lower note
    a->setParaVal(0, row, 36);
    ASSERT_NE(b->getParaVal(0, row), 36);
    ASSERT_TRUE(first.getModuleManager()->copyModule(a, 0));
    ASSERT_TRUE(second.getModuleManager()->pasteModule(b, 0));
    EXPECT_EQ(b->getParaVal(0, row), 36);
}

// ---------------------------------------------------------------------------
// Identity

TEST(SynthIdentity, HostDetection)
{
    struct Case { const char* product; const char* vendor; int id; };
    const Case cases[] = {
        {"Cubase VST", "", 0},        {"Cubasis", "", 0},          {"Nuendo 4", "", 0},
        {"ProTools", "", 1},          {"Live", "", 5},             {"Fruity Wrapper", "", 6},
        {"Orion", "", 4},             {"Logic Pro X", "", 2},      {"Making Waves", "", 8},
        {"MultitrackStudio", "", 9},  {"SingerSongWriter", "", 10}, {"Cakewalk", "", 11},
        {"Samplitude", "", 12},       {"Tracktion", "", 13},       {"GarageBand", "", 14},
        {"Receptor", "", 16},         {"Anything", "Muse Research Inc.", 16},
        {"REAPER", "Cockos", 15},     {"Chainer", "", 17},         {"FX Teleport Server", "", 18},
        {"Kore 2", "", 19},           {"Unknown", "Someone", 20},  {"", "", 20},
        {"cubase", "", 20},           {"Liv", "", 20},             {"Lives", "", 5},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Synth::hostIdOf(c.product, c.vendor), c.id) << c.product << " / " << c.vendor;
        EngineTestHost host;
        host.product = c.product;
        host.vendor = c.vendor;
        ProbeVela vela(true);
        EXPECT_EQ(vela.getHostId(), c.id) << c.product;
        EXPECT_STREQ(vela.getHostProduct(), c.product);
    }
    EXPECT_EQ(Synth::hostIdOf(nullptr, nullptr), 20);
}

TEST(SynthIdentity, HostStringsAreTerminatedInsideTheirBuffer)
{
    // A host that fills the whole buffer and leaves no terminator.
    EngineTestHost host;
    host.product = "Kore";
    host.productRawBytes = HostTextBytes;
    ProbeVela vela(false);
    EXPECT_EQ(vela.getHostId(), 19);
    EXPECT_EQ(std::strlen(vela.getHostProduct()), size_t(HostTextBytes - 1));
}

TEST(SynthIdentity, VendorVersion)
{
    struct Case { const char* text; int32_t version; };
    const Case cases[] = {
        {"3.6.5", 3650}, {"1234", 1234},  {"1.2.3.4", 1234}, {"12345", 1234}, {"12", 1200},
        {"v2", 2000},    {"0.5", 5000},   {"9999", 9999},    {"1000", 1000},
        // No digit, or only zeros: nothing to scale (and no endless loop).
        {"beta", 0},     {"", 0},         {"0.0", 0},        {nullptr, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Synth::versionNumber(c.text), c.version) << (c.text ? c.text : "(null)");
}

TEST(SynthIdentity, AnswersOfTheEngine)
{
    EngineTestHost host;
    ProbeVela vela(true);
    char text[256];
    EXPECT_TRUE(vela.getEffectName(text));
    EXPECT_STREQ(text, "Tessel3");
    EXPECT_TRUE(vela.getVendorString(text));
    EXPECT_STREQ(text, "Vendrax");
    EXPECT_FALSE(vela.getProductString(nullptr));
    EXPECT_EQ(vela.getVendorVersion(), 3650);
    char timeInfo[] = "receiveVstTimeInfo";
    EXPECT_EQ(vela.canDo(timeInfo), -1);
    EXPECT_EQ(vela.getPlugCategory(), 2);
    // beginEdit/endEdit only for host parameters; a negative index is refused.
    EXPECT_FALSE(vela.beginEdit(602));
    EXPECT_FALSE(vela.beginEdit(1024 + 700));
    EXPECT_FALSE(vela.endEdit(-1));
    // No editor: the wheel is not taken.
    EXPECT_EQ(vela.vendorSpecific(0x73744341, 0x57686565, nullptr, 1.0f), 0);
}

// ---------------------------------------------------------------------------
// Outputs

TEST(SynthOutputs, ValidateOutputsOfBothBuilds)
{
    struct Case { bool is51; const char* product; unsigned pins; int stereo; int mono; bool render51; };
    const Case cases[] = {
        {true, "Test", 0x3F, 2, 2, true},   // all six
        {true, "Test", 0x03, 1, 0, false},  // first pair only
        {true, "Test", 0x1F, 1, 0, false},  // five of six
        {true, "Test", 0x3C, 1, 0, false},  // all but the first pair
        {true, "Test", 0x00, 1, 0, false},  // none
        {true, "Cubase", 0x00, 1, 0, false}, // every host is probed
        {true, "Cubase", 0x3F, 2, 2, true},
        {true, "Live", 0x03, 1, 0, false},
        {false, "Test", 0x03, 1, 0, false},
        {false, "Test", 0x00, 1, 0, false},
        {false, "Cubase", 0x00, 1, 0, false},
    };
    for (const Case& c : cases) {
        EngineTestHost host;
        host.product = c.product;
        host.connectedPins = c.pins;
        ProbeVela vela(c.is51);
        vela.open();
        vela.validateOutputs();
        SCOPED_TRACE(testing::Message() << (c.is51 ? "5.1 " : "stereo ") << c.product << " pins 0x"
                                        << std::hex << c.pins);
        EXPECT_EQ(vela.getNumStereo(), c.stereo);
        EXPECT_EQ(vela.getNumMono(), c.mono);
        EXPECT_EQ(vela.renders51(), c.render51);
    }
}

TEST(SynthOutputs, GenericProbingOfTheEngine)
{
    struct Case { int stereo; int mono; unsigned pins; int stereoAfter; int monoAfter; };
    const Case cases[] = {
        {3, 0, 0x3F, 3, 0}, // all pairs
        {3, 0, 0x03, 1, 0}, // only the first pair (of six outputs)
        {3, 0, 0x00, 1, 0}, // none still keeps one pair
        {2, 2, 0x3F, 2, 2},
        {2, 2, 0x0F, 2, 0},
        {2, 2, 0x07, 1, 1}, // pair 1 fails; the mono probing starts behind pair 0
        // One mono output would be all that is left: back to one pair, and
        // the mono count goes with it.
        {1, 1, 0x01, 1, 0},
        {0, 1, 0x01, 1, 0},
        // A host saying "connected" for every pin cannot run the counts past
        // the configuration.
        {1, 2, 0xFFFFFFFF, 1, 2},
    };
    for (const Case& c : cases) {
        EngineTestHost host;
        host.connectedPins = c.pins;
        struct Plain : Synth
        {
            Plain(int st, int mo)
                : Synth(&EngineTestHost::callback, EngineTest::smallFigures("Plain", "Plan", st, mo)) {}
        } s(c.stereo, c.mono);
        s.validateOutputs();
        SCOPED_TRACE(testing::Message() << c.stereo << "+" << c.mono << " pins 0x" << std::hex << c.pins);
        EXPECT_EQ(s.getNumStereo(), c.stereoAfter);
        EXPECT_EQ(s.getNumMono(), c.monoAfter);
        EXPECT_EQ(s.getNumOutputs(), 2 * c.stereoAfter + c.monoAfter);
    }
}

TEST(SynthOutputs, PinNamesOfTheEngine)
{
    EngineTestHost host;
    struct Plain : Synth
    {
        Plain(int st, int mo)
            : Synth(&EngineTestHost::callback, {.programs = 8,
                                                .parameterSlots = 16,
                                                .hostParameters = 8,
                                                .voices = 4,
                                                .stereoPairs = st,
                                                .monoOutputs = mo,
                                                .productName = "Tessel3",
                                                .acceptedIds = "Tsx3",
                                                .versionText = "1.0",
                                                .codeName = "Vela"}) {}
    };
    VstPinProperties pin{};
    Plain one(1, 0);
    EXPECT_TRUE(one.getOutputProperties(0, &pin));
    EXPECT_STREQ(pin.label, "Tessel");
    EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);
    Plain many(2, 2);
    struct Case { int index; const char* label; int flags; };
    const Case cases[] = {{0, "Te S01", 3}, {3, "Te S02", 3}, {4, "Te M01", 1}, {5, "Te M02", 1}};
    for (const Case& c : cases) {
        EXPECT_TRUE(many.getOutputProperties(c.index, &pin));
        EXPECT_STREQ(pin.label, c.label);
        EXPECT_EQ(pin.flags, c.flags);
    }
}

// ---------------------------------------------------------------------------
// Lifecycle

TEST(SynthLifecycle, ResumeWithoutARateUses44100)
{
    EngineTestHost host;
    ProbeVela vela(false);
    vela.resume();
    EXPECT_TRUE(vela.isOpen());
    EXPECT_EQ(vela.getEngineSampleRate(), 44100.0);
    // Ready once the first block has validated the outputs.
    Block block(2, 16);
    vela.processReplacing(nullptr, block.pointers.data(), 16);
    EXPECT_TRUE(vela.isReady());
    EXPECT_GE(host.wantEventsCalls.load(), 1);
}

TEST(SynthLifecycle, ASecondOpenDoesNothing)
{
    EngineTestHost host;
    ProbeVela vela(true);
    vela.open();
    Instrument_c* first = vela.getInstPtr(0);
    vela.open();
    vela.dispatcher(effOpen, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(vela.initProcessCalls, 1);
    EXPECT_EQ(vela.getInstPtr(0), first);
}

TEST(SynthLifecycle, TheIdleTimerRunsFromOpenToClose)
{
    for (bool supplies : {true, false}) {
        EngineTestHost host;
        host.suppliesIdle = supplies;
        ProbeVela vela(false);
        EXPECT_FALSE(vela.isIdleTimerRunning());
        vela.open();
        EXPECT_TRUE(vela.isIdleTimerRunning());
        EXPECT_EQ(vela.getHostSuppliesIdle(), supplies);
        vela.close();
        EXPECT_FALSE(vela.isIdleTimerRunning());
        EXPECT_FALSE(vela.isOpen());
    }
}

TEST(SynthLifecycle, TheTimerTakesTheIdleOverOnlyWhenTheHostsIdleIsMissing)
{
    EngineTestHost host;
    host.suppliesIdle = true;
    ProbeVela vela(false);
    vela.open();
    vela.idleTimer.stopTimer(); // the test drives the timer's entry itself
    vela.fxIdle();
    EXPECT_EQ(vela.idleRounds, 1);
    Synth::idleTimerCallback(&vela); // host idle is fresh: the timer keeps out
    EXPECT_EQ(vela.idleRounds, 1);
    // The host's last idle a little over a second ago (the subtraction wraps
    // when the clock is young: unsigned arithmetic keeps that right).
    vela.hostIdleStamp = static_cast<uint32_t>(OsLib_c::getMilliseconds()) - (IdleTakeoverMs + 5);
    Synth::idleTimerCallback(&vela);
    EXPECT_EQ(vela.idleRounds, 2);
    Synth::idleTimerCallback(nullptr);
}

TEST(SynthLifecycle, WithoutHostIdleTheTimerDoesTheIdleWork)
{
    EngineTestHost host;
    host.suppliesIdle = false;
    ProbeVela vela(false);
    vela.open();
    vela.idleTimer.stopTimer();
    Synth::idleTimerCallback(&vela);
    Synth::idleTimerCallback(&vela);
    EXPECT_EQ(vela.idleRounds, 2);
}

TEST(SynthLifecycle, IdleRoundsAreSerialisedAndALoserSkips)
{
    EngineTestHost host;
    ProbeVela vela(false);
    vela.open();
    vela.idleTimer.stopTimer();
    vela.SynthIdle();
    const uint32_t stamp = vela.idleTimeStamp.load();
    std::atomic<bool> holding{false}, release{false};
    std::thread other([&] {
        vela.engineLock.getWritePermission();
        holding = true;
        while (!release)
            std::this_thread::yield();
        vela.engineLock.releaseWritePermission();
    });
    while (!holding)
        std::this_thread::yield();
    OsLib_c::xSleep(3);
    vela.SynthIdle(); // finds the round taken and skips
    EXPECT_EQ(vela.idleTimeStamp.load(), stamp);
    release = true;
    other.join();
}

// ---------------------------------------------------------------------------
// The audio callback

TEST(SynthAudio, ZeroFramesAndMissingOutputsTouchNothing)
{
    EngineTestHost host;
    ProbeVela vela(true);
    openAndResume(vela);
    Block block(6, 32);
    for (int frames : {0, -5}) {
        vela.processReplacing(nullptr, block.pointers.data(), frames);
        vela.process(nullptr, block.pointers.data(), frames);
    }
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(block.untouched(i)) << i;
    vela.processReplacing(nullptr, nullptr, 32);
    vela.process(nullptr, nullptr, 32);
}

TEST(SynthAudio, EveryBufferTheHostPassedIsFilledAndNullOnesGetScratch)
{
    struct Case { bool is51; unsigned pins; int nullIndex; int frames; };
    const Case cases[] = {
        {true, 0x3F, -1, 64},
        {true, 0x03, -1, 64},   // the engine falls back to two outputs; the host still passed six
        {true, 0x3F, 1, 64},    // a null output pointer
        {true, 0x3F, 4, 9000},  // longer than the scratch block, with a null pointer
        {false, 0x03, -1, 300},
        {false, 0x03, 0, 513},
    };
    for (const Case& c : cases) {
        EngineTestHost host;
        host.connectedPins = c.pins;
        ProbeVela vela(c.is51);
        openAndResume(vela);
        const int outputs = c.is51 ? 6 : 2;
        SCOPED_TRACE(testing::Message() << outputs << " outputs, pins 0x" << std::hex << c.pins
                                        << std::dec << ", null " << c.nullIndex << ", " << c.frames);
        for (int round = 0; round < 3; ++round) {
            Block block(outputs, c.frames);
            if (c.nullIndex >= 0)
                block.pointers[c.nullIndex] = nullptr;
            vela.processReplacing(nullptr, block.pointers.data(), c.frames);
            for (int i = 0; i < outputs; ++i) {
                if (i == c.nullIndex)
                    EXPECT_TRUE(block.untouched(i)) << "output " << i;
                else
                    EXPECT_TRUE(block.isSilence(i)) << "output " << i;
            }
        }
        EXPECT_TRUE(vela.isReady());
    }
}

TEST(SynthAudio, TheOutputBusIsReboundOnlyWhenAPointerChanges)
{
    EngineTestHost host;
    ProbeVela vela(false);
    openAndResume(vela);
    Block a(2, 32), b(2, 32);
    vela.processReplacing(nullptr, a.pointers.data(), 32);
    const int first = vela.rebinds;
    EXPECT_GE(first, 1);
    vela.processReplacing(nullptr, a.pointers.data(), 32);
    EXPECT_EQ(vela.rebinds, first);
    vela.processReplacing(nullptr, b.pointers.data(), 32);
    EXPECT_EQ(vela.rebinds, first + 1);
}

TEST(SynthAudio, DenormalsAreFlushedForTheCallAndTheHostsStateComesBack)
{
#if defined(__x86_64__)
    EngineTestHost host;
    ProbeVela vela(false);
    openAndResume(vela);
    unsigned inside = 0;
    vela.duringBlock = [&](ProbeVela&) { inside = _mm_getcsr(); };
    const unsigned before = _mm_getcsr();
    Block block(2, 16);
    vela.processReplacing(nullptr, block.pointers.data(), 16);
    EXPECT_EQ(inside & 0x8040u, 0x8040u);
    EXPECT_EQ(_mm_getcsr(), before);
#else
    GTEST_SKIP() << "no MXCSR on this processor";
#endif
}

TEST(SynthAudio, PeakTrackingTakesTheLargestSampleOfTheFirstTwoOutputs)
{
    EngineTestHost host;
    ProbeVela vela(false);
    openAndResume(vela);
    vela.startAdjustVolume();
    Block block(2, 16);
    vela.processReplacing(nullptr, block.pointers.data(), 16);
    EXPECT_FLOAT_EQ(vela.stopAdjustVolume(), 1e-7f);
    const float a[] = {-0.9f, 0.25f}, b[] = {0.5f, -1.0f};
    vela.startAdjustVolume();
    vela.memorizeMaxAudio(a, b, 2);
    vela.memorizeMaxAudio(a, b, 0);
    EXPECT_FLOAT_EQ(vela.stopAdjustVolume(), 0.5f);
}

// ---------------------------------------------------------------------------
// Host time

TEST(SynthTime, PositionInBar)
{
    auto info = [](double tempo, double ppq, int n, int d, int flags) {
        VstTimeInfo t{};
        t.tempo = tempo;
        t.ppqPos = ppq;
        t.timeSigNumerator = n;
        t.timeSigDenominator = d;
        t.flags = flags;
        return t;
    };
    const int tempoSig = kVstTempoValid | kVstTimeSigValid;
    struct Case { const char* what; VstTimeInfo t; bool given; double rate; int spb; int pos; bool playing; };
    const Case cases[] = {
        {"no host time", {}, false, 44100, 88200, 0, false},
        {"no tempo flag", info(120, 5.5, 4, 4, kVstTimeSigValid), true, 44100, 88200, 0, false},
        {"tempo 0", info(0, 5.5, 4, 4, tempoSig), true, 44100, 88200, 0, false},
        {"4/4 at 120", info(120, 5.5, 4, 4, tempoSig), true, 44100, 88200, 33075, false},
        {"no signature flag is 4/4", info(120, 5.5, 3, 4, kVstTempoValid), true, 44100, 88200, 33075, false},
        {"playing", info(120, 0, 4, 4, tempoSig | kVstTransportPlaying), true, 44100, 88200, 0, true},
        {"numerator 0 is 4/4", info(120, 5.5, 0, 4, tempoSig), true, 44100, 88200, 33075, false},
        {"denominator 0 is 4/4", info(120, 5.5, 4, 0, tempoSig), true, 44100, 88200, 33075, false},
        {"numerator 65 is 4/4", info(120, 5.5, 65, 4, tempoSig), true, 44100, 88200, 33075, false},
        {"negative numerator is 4/4", info(120, 5.5, -3, 4, tempoSig), true, 44100, 88200, 33075, false},
        // A 6/8 bar is three quarters long; position 4 is one quarter into the second bar.
        {"6/8", info(120, 4.0, 6, 8, tempoSig), true, 44100, 66150, 22050, false},
        {"3/4", info(120, 7.0, 3, 4, tempoSig), true, 44100, 66150, 22050, false},
        {"negative position", info(120, -1.0, 4, 4, tempoSig), true, 44100, 88200, 66150, false},
        {"far negative position", info(120, -1e15 - 1.0, 4, 4, tempoSig), true, 44100, 88200, 66150, false},
        {"huge position", info(120, 1e300, 4, 4, tempoSig), true, 44100, 88200, 0, false},
        {"not a number", info(120, std::nan(""), 4, 4, tempoSig), true, 44100, 88200, 0, false},
        {"tiny tempo", info(1e-30, 0.5, 4, 4, tempoSig), true, 44100, std::numeric_limits<int>::max(),
         std::numeric_limits<int>::max(), false},
    };
    for (const Case& c : cases) {
        int spb = -1, pos = -1;
        const bool playing = Synth::posInBar(c.given ? &c.t : nullptr, c.rate, &spb, &pos);
        EXPECT_EQ(spb, c.spb) << c.what;
        EXPECT_EQ(pos, c.pos) << c.what;
        EXPECT_EQ(playing, c.playing) << c.what;
    }
}

TEST(SynthTime, TempoAndTransportFollowTheHost)
{
    EngineTestHost host;
    ProbeVela vela(false);
    openAndResume(vela);
    host.giveTime = true;
    Block block(2, 16);
    auto run = [&](double tempo, int flags) {
        host.time.tempo = tempo;
        host.time.flags = flags;
        vela.processReplacing(nullptr, block.pointers.data(), 16);
    };
    run(133.0, kVstTempoValid);
    EXPECT_EQ(Bpm.load(), 133.0);
    EXPECT_DOUBLE_EQ(RecBpm.load(), 1.0 / 133.0);
    run(1.0, kVstTempoValid); // 1 or less never changes the tempo
    EXPECT_EQ(Bpm.load(), 133.0);
    run(133.0, kVstTempoValid | kVstTransportPlaying);
    run(133.0, kVstTempoValid | kVstTransportPlaying);
    EXPECT_EQ(vela.starts, 1);
    run(90.0, kVstTransportPlaying); // no tempo flag: neither tempo nor transport change
    run(90.0, 0);
    EXPECT_EQ(vela.starts, 1);
    EXPECT_EQ(vela.stops_, 0);
    EXPECT_EQ(Bpm.load(), 133.0);
    run(133.0, kVstTempoValid);
    EXPECT_EQ(vela.stops_, 1);
    host.giveTime = false;
    Bpm = 120.0;
    RecBpm = 1.0 / 120.0;
}

TEST(SynthTime, CrossFadeFactorAtTheZoneEdges)
{
    EngineTestHost host;
    struct Overlapping : ProbeVela
    {
        Overlapping() : ProbeVela(false) {}
        // The lower key overlap reaches exactly the zone's lowest key.
        int getOverlapNoteLo(int, int note) override { return note; }
    } vela;
    auto note = [](int n, int v) {
        NoteC_c c;
        c.set(n, v, 0);
        return c;
    };
    const NoteC_c lowest = note(36, 64);
    EXPECT_FLOAT_EQ(vela.getFadeVolumeD(0, lowest, 36, 72, 1, 127), 0.5f);
    const NoteC_c inside = note(50, 64);
    EXPECT_FLOAT_EQ(vela.getFadeVolumeD(0, inside, 36, 72, 1, 127), 1.0f);
    const NoteC_c outside = note(30, 64);
    EXPECT_FLOAT_EQ(vela.getFadeVolumeD(0, outside, 36, 72, 1, 127), 0.0f);
    EXPECT_FLOAT_EQ(vela.getOtherSeqSync(0, 0), 0.0f);
}

// ---------------------------------------------------------------------------
// Stopping voices from anywhere

TEST(SynthVoices, HardNoteOffKeepsTheAudioThreadOutOrRunsOnIt)
{
    EngineTestHost host;
    ProbeVela vela(false);
    openAndResume(vela);
    Block block(2, 16);
    vela.processReplacing(nullptr, block.pointers.data(), 16);
    ASSERT_TRUE(vela.isReady());

    // From the user-interface side: inside the hold (resetting, not ready).
    vela.hardNoteOff(0);
    ASSERT_EQ(vela.stops.size(), 1u);
    EXPECT_FALSE(vela.stops[0].onAudio);
    EXPECT_TRUE(vela.stops[0].resetting);
    EXPECT_FALSE(vela.stops[0].ready);
    EXPECT_TRUE(vela.isReady()); // and ready again afterwards

    // Reception switched off from another thread goes the same way.
    std::thread([&] { vela.getInstPtr(0)->ReceiveMIDI(false); }).join();
    ASSERT_EQ(vela.stops.size(), 2u);
    EXPECT_TRUE(vela.stops[1].resetting);
    vela.getInstPtr(0)->ReceiveMIDI(true);

    // On the audio thread inside the block: directly, no hold.
    vela.duringBlock = [](ProbeVela& v) { v.hardNoteOff(0); };
    Block other(2, 16);
    vela.processReplacing(nullptr, other.pointers.data(), 16);
    ASSERT_EQ(vela.stops.size(), 3u);
    EXPECT_TRUE(vela.stops[2].onAudio);
    EXPECT_FALSE(vela.stops[2].resetting);
}

// ---------------------------------------------------------------------------
// Host parameters of the product

TEST(SynthParameters, HostParametersReachRealParts)
{
    EngineTestHost host;
    for (bool is51 : {true, false}) {
        ProbeVela vela(is51);
        openAndResume(vela);
        AEffect* e = vela.getAeffect();
        char name[ParameterTextAnswerSize + 8] = {};
        e->dispatcher(e, effGetParamName, 0, 0, name, 0.0f);
        EXPECT_STREQ(name, "Osc 1 Operation");
        // A write through the host lands in the program's global part ("Osc 4
        // Operation", a switch) and reads back.
        const float before = e->getParameter(e, 3);
        const float target = before < 0.5f ? 1.0f : 0.0f;
        e->setParameter(e, 3, target);
        EXPECT_FLOAT_EQ(e->getParameter(e, 3), target);
        char display[ParameterTextAnswerSize + 8] = {};
        e->dispatcher(e, effGetParamDisplay, 3, 0, display, 0.0f);
        EXPECT_NE(std::string(display), "-");
        // Every host parameter answers inside guarded buffers.
        for (int32_t p = 0; p < NumHostParameters; ++p)
            for (int32_t opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
                char text[ParameterTextAnswerSize + 8];
                std::memset(text, '#', sizeof(text));
                e->dispatcher(e, opcode, p, 0, text, 0.0f);
                ASSERT_LT(strnlen(text, ParameterTextAnswerSize), size_t(ParameterTextAnswerSize)) << p;
                ASSERT_EQ(text[ParameterTextAnswerSize], '#') << p;
            }
    }
}

TEST(SynthTime, ATempoChangeReachesEveryInstanceOfTempoSyncedModules)
{
    EngineTestHost host;
    struct Synced : Part_c
    {
        explicit Synced(bool dependent) : dependent(dependent) {}
        bool isBPMDependent() const override { return dependent; }
        void notifyBPMChange() override { ++changes; }
        bool dependent;
        int changes = 0;
    };
    Synced synced[3] = {Synced(true), Synced(true), Synced(true)};
    Synced plain[2] = {Synced(false), Synced(false)};
    ProbeVela vela(false);
    vela.open();
    int row = -1;
    ASSERT_TRUE(vela.registerModul(&row, &synced[0], sizeof(Synced), 0, 3, 0));
    ASSERT_TRUE(vela.registerModul(&row, &plain[0], sizeof(Synced), 0, 2, 0));
    vela.notifyBPMChange();
    for (const Synced& s : synced)
        EXPECT_EQ(s.changes, 1);
    for (const Synced& s : plain)
        EXPECT_EQ(s.changes, 0);
    vela.close(); // the rows go before the parts
}
