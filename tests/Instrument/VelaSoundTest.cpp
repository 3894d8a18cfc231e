// The whole instrument, from key to speaker: the default program played the
// way a host plays it, measured by pitch, level, envelope, echo positions
// and channel placement. The demo runs through the two built plug-ins
// loaded from disk; the other cases drive the plug-in object through its
// AEffect record so they can set parameters and look at its flags.
#include "Vela.h"

#include "EPAS.h"
#include "EngineTestHost.h"
#include "Envelope.h"
#include "Delay2.h"
#include "Panner.h"
#include "SignalMeasure.h"
#include "VelaGlo.h"

// The headless host's library plays the demo; without the tools built that
// case is left out.
#if __has_include("host/PluginHost.h")
#define VELA_SOUND_HAVE_HOST 1
#include "host/DemoPhrase.h"
#include "host/EventScheduler.h"
#include "host/PluginHost.h"
#include "host/Render.h"
#include "host/TimeMap.h"
#endif

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <filesystem>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

namespace {

using SignalMeasure::dB;
using SignalMeasure::rms;
using SignalMeasure::toneAmplitude;

constexpr double Rate = 48000.0;
constexpr int Block = 256;

size_t at(double seconds)
{
    return static_cast<size_t>(seconds * Rate);
}

// RMS of x over [from, to) seconds.
double rmsOver(const std::vector<float>& x, double from, double to)
{
    const size_t a = std::min(at(from), x.size());
    const size_t b = std::min(at(to), x.size());
    if (b <= a)
        return 0.0;
    return rms(std::vector<float>(x.begin() + static_cast<long>(a), x.begin() + static_cast<long>(b)));
}

// The frequency near `guess` in x over [from, to) seconds: the phase of the
// tone advances by 2 pi f per second, so two Hann-windowed phasors at the
// ends of the span give f. A short span first keeps the long one from
// wrapping.
double measureHz(const std::vector<float>& x, double from, double to, double guess)
{
    constexpr size_t Window = 4800;
    auto phasor = [&](size_t start, double hz) {
        std::complex<double> sum;
        for (size_t i = 0; i < Window; ++i) {
            const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * double(i) / double(Window));
            const double t = double(start + i) / Rate;
            sum += double(x[start + i]) * w * std::polar(1.0, -2.0 * std::numbers::pi * hz * t);
        }
        return sum;
    };
    double hz = guess;
    for (const double span : {0.02, to - from - double(Window) / Rate}) {
        const size_t a = at(from);
        const size_t b = a + at(span);
        const double turn = std::arg(phasor(b, hz) * std::conj(phasor(a, hz)));
        hz += turn / (2.0 * std::numbers::pi * double(b - a) / Rate);
    }
    return hz;
}

double cents(double hz, double reference)
{
    return 1200.0 * std::log2(hz / reference);
}

// The plug-in object of one build, opened, at 48 kHz in blocks of 256, and
// switched on. pins: the output pins the host connects (bit i: pin i).
class Player
{
public:
    explicit Player(bool is51, unsigned pins = 0x3F, int blockFrames = Block) : block(blockFrames)
    {
        host.connectedPins = pins;
        vela = std::make_unique<Vela_c>(EngineTestHost::callback, is51);
        e = vela->getAeffect();
        call(effOpen);
        call(effSetSampleRate, 0, 0, nullptr, static_cast<float>(Rate));
        call(effSetBlockSize, 0, block);
        call(effMainsChanged, 0, 1);
    }
    ~Player() { call(effMainsChanged, 0, 0); }

    intptr_t call(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f)
    {
        return e->dispatcher(e, opcode, index, value, ptr, opt);
    }

    // A MIDI message at the start of the next block.
    void midi(unsigned char status, unsigned char data1, unsigned char data2)
    {
        VstMidiEvent m{};
        m.type = kVstMidiType;
        m.byteSize = sizeof(VstMidiEvent);
        m.midiData[0] = static_cast<char>(status);
        m.midiData[1] = static_cast<char>(data1);
        m.midiData[2] = static_cast<char>(data2);
        pending.push_back(m);
    }
    void noteOn(int key, int velocity = 100) { midi(0x90, static_cast<unsigned char>(key), static_cast<unsigned char>(velocity)); }
    void noteOff(int key) { midi(0x80, static_cast<unsigned char>(key), 0); }

    // Renders until `seconds` of audio lie in out (whole blocks).
    void renderTo(double seconds)
    {
        std::array<std::vector<float>, NumOutputs51> buffers;
        for (auto& b : buffers)
            b.assign(static_cast<size_t>(block), 0.0f);
        while (out[0].size() < at(seconds)) {
            for (size_t i = 0; i < pending.size(); i += 2) {
                // VstEvents declares room for two events.
                VstEvents list{};
                list.numEvents = static_cast<int32_t>(std::min<size_t>(2, pending.size() - i));
                for (int k = 0; k < list.numEvents; ++k)
                    list.events[k] = reinterpret_cast<VstEvent*>(&pending[i + static_cast<size_t>(k)]);
                call(effProcessEvents, 0, 0, &list);
            }
            pending.clear();
            float* pointers[NumOutputs51];
            for (int c = 0; c < NumOutputs51; ++c) {
                std::vector<float>& b = buffers[static_cast<size_t>(c)];
                std::fill(b.begin(), b.end(), 0.0f);
                pointers[c] = b.data();
            }
            e->processReplacing(e, nullptr, pointers, block);
            for (int c = 0; c < NumOutputs51; ++c) {
                const std::vector<float>& b = buffers[static_cast<size_t>(c)];
                out[static_cast<size_t>(c)].insert(out[static_cast<size_t>(c)].end(), b.begin(), b.end());
            }
        }
    }

    // Parameter para of logical module `number` to the normalised x, through
    // its host-parameter entry (so every side effect runs).
    void set01(int number, int para, float x)
    {
        Part_c* part = vela->getModule(number);
        ASSERT_NE(part, nullptr) << number;
        for (int i = 0; i < NumParameterSlots; ++i) {
            const EPAS_c* d = vela->getEPAS(i);
            if (d && d->target == part && d->parameter == para && d->selector == 0 && !d->readOnly) {
                vela->setParameterAutomated(i, x);
                return;
            }
        }
        FAIL() << "no entry for module " << number << " parameter " << para;
    }
    // The same with the parameter's own integer value.
    void set(int number, int para, int value)
    {
        Part_c* part = vela->getModule(number);
        ASSERT_NE(part, nullptr) << number;
        const int before = part->getParaVal(0, para);
        part->setParaVal(0, para, value);
        const float x = part->getPara01(0, para);
        part->setParaVal(0, para, before);
        set01(number, para, x);
        EXPECT_EQ(part->getParaVal(0, para), value) << "module " << number << " parameter " << para;
    }
    void setGlobal(int para, int value) { set(0, para, value); }

    Instrument_c* instrument() { return vela->getInstPtr(0); }

    EngineTestHost host;
    int block;
    std::unique_ptr<Vela_c> vela;
    AEffect* e = nullptr;
    std::vector<VstMidiEvent> pending;
    std::array<std::vector<float>, NumOutputs51> out;
};

// Logical module numbers the cases set.
constexpr int ModAmpEnvelope = 50;
constexpr int ModPan51Slot1 = 84;
constexpr int ModSet0Delay = 100;

// The Amp envelope in milliseconds (sustain in thousandths).
void ampEnvelope(Player& p, int attack, int decay, int sustain, int release)
{
    p.set(ModAmpEnvelope, EnvADSFR_c::pATime, attack);
    p.set(ModAmpEnvelope, EnvADSFR_c::pDTime, decay);
    p.set(ModAmpEnvelope, EnvADSFR_c::pSLevel, sustain);
    p.set(ModAmpEnvelope, EnvADSFR_c::pRTime, release);
}

// Both parallel effect sets switched off: the dry paths go down the chain.
void dryChain(Player& p)
{
    p.setGlobal(VelaGlo_c::gpEffOn0, 0);
    p.setGlobal(VelaGlo_c::gpEffOn1, 0);
}

} // namespace

#ifdef VELA_SOUND_HAVE_HOST
TEST(VelaSound, TheDemoPhraseSoundsThroughBothPlugins)
{
    for (const char* file : {"Tessel3-Stereo.so", "Tessel3-51.so"}) {
        SCOPED_TRACE(file);
        const std::string path = std::string(TESSEL_PLUGIN_DIR) + "/" + file;
        if (!std::filesystem::exists(path))
            GTEST_SKIP() << path << " is not built";
        const Host::MidiSong song = Host::demoSong();
        const Host::TimeMap_c map(song, Rate);
        Host::PluginHost_c host;
        host.setTimeline(song, Rate);
        std::string error;
        ASSERT_TRUE(host.load(path, error)) << error;
        host.dispatch(effOpen);
        host.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(Rate));
        host.dispatch(effSetBlockSize, 0, Block);
        host.dispatch(effMainsChanged, 0, 1);
        Host::EventScheduler_c events(Host::scheduleSong(song, map));
        Host::RenderSettings settings;
        settings.sampleRate = Rate;
        settings.blockFrames = Block;
        const double songSeconds = double(map.tickToFrame(song.lengthTicks)) / Rate;
        settings.totalFrames = static_cast<int64_t>((songSeconds + 3.0) * Rate);
        std::vector<float> left;
        bool finite = true;
        Host::RenderStats stats;
        ASSERT_TRUE(Host::renderBlocks(
            host, events, settings,
            [&](const float* const* data, int count, int frames) {
                for (int c = 0; c < count; ++c)
                    finite = finite && SignalMeasure::allFinite(data[c], static_cast<size_t>(frames));
                left.insert(left.end(), data[0], data[0] + frames);
                return true;
            },
            stats, error))
            << error;
        host.dispatch(effMainsChanged, 0, 0);
        EXPECT_TRUE(finite);
        EXPECT_GT(dB(rmsOver(left, 0.0, songSeconds)), -30.0);
        EXPECT_LT(SignalMeasure::peak(left), 1.5f);
        // The first notes come with the very first block and still sound.
        EXPECT_GT(dB(rmsOver(left, 0.05, 0.45)), -35.0);
        // The last chord rings out after the song.
        EXPECT_LT(dB(rmsOver(left, songSeconds + 2.5, songSeconds + 3.0)), -80.0);
        EXPECT_TRUE(host.faults().empty());
        host.close();
    }
}
#endif

TEST(VelaSound, AHeldA4IsConcertPitchInBothBuilds)
{
    // Host blocks larger than the instrument's pieces of 256 are rendered
    // whole: the output bus walks through all of the host's buffer.
    struct Case
    {
        bool is51;
        int block;
    };
    for (const Case c : {Case{false, Block}, Case{true, Block}, Case{false, 4096}, Case{true, 1000}}) {
        SCOPED_TRACE(std::string(c.is51 ? "5.1" : "stereo") + ", blocks of " + std::to_string(c.block));
        Player p(c.is51, 0x3F, c.block);
        p.noteOn(69);
        p.renderTo(1.5);
        const double hz = measureHz(p.out[0], 0.3, 1.5, 440.0);
        EXPECT_NEAR(cents(hz, 440.0), 0.0, 1.0) << hz << " Hz";
        const double level = rmsOver(p.out[0], 0.3, 1.5);
        EXPECT_GT(dB(level), -30.0);
        // No stretch of a block is left out.
        for (double t = 0.3; t < 1.4; t += 0.05)
            EXPECT_NEAR(dB(rmsOver(p.out[0], t, t + 0.05) / level), 0.0, 1.0) << "at " << t << " s";
    }
}

TEST(VelaSound, ANotesLevelFollowsTheAmpEnvelopeAndEndsAfterItsRelease)
{
    Player p(false);
    dryChain(p);
    // 200 ms attack to full level, 300 ms release.
    ampEnvelope(p, 200, 1, 1000, 300);
    p.noteOn(57);
    p.renderTo(0.6);
    p.noteOff(57);
    p.renderTo(1.5);
    const std::vector<float>& x = p.out[0];
    const double sustain = rmsOver(x, 0.4, 0.6);
    ASSERT_GT(dB(sustain), -30.0);
    // The attack rises through its 200 ms and then holds.
    double last = 0.0;
    for (double t = 0.0; t < 0.2; t += 0.04) {
        const double level = rmsOver(x, t, t + 0.02);
        EXPECT_GT(level, last) << "at " << t << " s";
        EXPECT_LT(level, sustain * 0.95) << "at " << t << " s";
        last = level;
    }
    EXPECT_NEAR(dB(rmsOver(x, 0.25, 0.35) / sustain), 0.0, 1.0);
    // The release falls through its 300 ms, and then nothing is left.
    last = sustain;
    for (double t = 0.62; t < 0.9; t += 0.04) {
        const double level = rmsOver(x, t, t + 0.02);
        EXPECT_LT(level, last) << "at " << t << " s";
        last = level;
    }
    EXPECT_LT(dB(rmsOver(x, 1.0, 1.5) / sustain), -80.0);
    EXPECT_EQ(p.instrument()->voicesInUse.load(), 0);
}

TEST(VelaSound, AnEchoTailKeepsTheInstrumentRenderingUntilItRunsOut)
{
    Player p(false);
    p.setGlobal(VelaGlo_c::gpEffOn1, 0);
    // Set 0's delay, free-running: echoes every 250 ms at half the level.
    p.set(ModSet0Delay, Delay2_c::pNotes, 3);
    p.set(ModSet0Delay, Delay2_c::pTime, 2500);
    p.set(ModSet0Delay, Delay2_c::pFeed, 50);
    p.set01(0, VelaGlo_c::gpFxWet0, 1.0f);
    p.noteOn(57);
    p.renderTo(0.05);
    p.noteOff(57);
    p.renderTo(0.15);
    EXPECT_EQ(p.instrument()->voicesInUse.load(), 0) << "the voice is over";
    p.renderTo(1.2);
    const std::vector<float>& x = p.out[0];
    const double direct = rmsOver(x, 0.0, 0.05);
    ASSERT_GT(dB(direct), -40.0);
    // An echo every 250 ms, each quieter than the one before; silence between.
    double last = direct;
    for (int k = 1; k <= 4; ++k) {
        const double echo = rmsOver(x, 0.25 * k, 0.25 * k + 0.05);
        const double gap = rmsOver(x, 0.25 * k - 0.15, 0.25 * k - 0.05);
        EXPECT_GT(dB(echo / direct), -6.0 * k - 6.0) << "echo " << k;
        EXPECT_LT(echo, last) << "echo " << k;
        EXPECT_LT(gap, echo * 0.1) << "before echo " << k;
        last = echo;
    }
    // Rendering goes on with no voice left while the tail rings ...
    EXPECT_TRUE(p.instrument()->activeFlag.load());
    // ... and stops once it has run out.
    p.renderTo(12.0);
    EXPECT_FALSE(p.instrument()->activeFlag.load());
    EXPECT_LT(dB(rmsOver(x, 11.0, 12.0)), -90.0);
}

TEST(VelaSound, A51PannerPlacesTheVoiceAndFoldsToStereoWithFewerOutputs)
{
    // Slot 1's own 5.1 panner, turned hard left and to the rear; the effect
    // chain's panner is off, so only the voice's panner reaches the outputs.
    struct Case
    {
        const char* name;
        bool is51;
        unsigned pins;
        int loudest;      // the output channel that carries the voice
        int outputsAfter; // outputs the plug-in renders
    };
    const Case cases[] = {
        {"5.1, six pins", true, 0x3F, 4, 6},
        {"5.1, four pins", true, 0x0F, 0, 2},
        {"stereo", false, 0x3F, 0, 2},
    };
    double placedLevel = 0.0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Player p(c.is51, c.pins);
        p.setGlobal(VelaGlo_c::gpPow51First + 6, 0);
        p.setGlobal(VelaGlo_c::gpPow51First + 0, 1);
        p.set01(ModPan51Slot1, Pan51_c::paraLeftRight, 0.0f);
        p.set01(ModPan51Slot1, Pan51_c::paraFrontRear, 1.0f);
        p.noteOn(57);
        p.renderTo(0.5);
        EXPECT_EQ(p.vela->getNumOutputs(), c.outputsAfter);
        const double level = rmsOver(p.out[static_cast<size_t>(c.loudest)], 0.1, 0.5);
        ASSERT_GT(dB(level), -40.0);
        for (int ch = 0; ch < NumOutputs51; ++ch) {
            if (ch != c.loudest) {
                EXPECT_LT(dB(rmsOver(p.out[static_cast<size_t>(ch)], 0.1, 0.5) / level), -40.0) << "channel " << ch;
            }
        }
        // Folded, the voice keeps the level it had in its corner.
        if (placedLevel == 0.0) {
            placedLevel = level;
        } else {
            EXPECT_NEAR(dB(level / placedLevel), 0.0, 0.5);
        }
    }
}

TEST(VelaSound, APathPannerPansOnlyItsOwnVoice)
{
    // Filter path 1's own 5.1 panner alone reaches the outputs. A4 alone,
    // then with E5 sounding in the same blocks: A4 keeps its level, whichever
    // voice renders first.
    auto play = [](std::vector<int> keys) {
        Player p(true);
        p.setGlobal(VelaGlo_c::gpPow51First + 6, 0);
        p.setGlobal(VelaGlo_c::gpPow51First + 2, 1);
        for (int key : keys)
            p.noteOn(key);
        p.renderTo(0.6);
        // The panner sits in the middle: front left carries half the power.
        std::vector<float> x = p.out[0];
        return std::array<double, 2>{toneAmplitude(x, at(0.2), 440.0, Rate), toneAmplitude(x, at(0.2), 659.2551, Rate)};
    };
    const auto a4 = play({69});
    const auto e5 = play({76});
    ASSERT_GT(dB(a4[0]), -50.0);
    for (const auto& keys : {std::vector<int>{69, 76}, std::vector<int>{76, 69}}) {
        const auto both = play(keys);
        EXPECT_NEAR(dB(both[0] / a4[0]), 0.0, 0.5) << "A4 first: " << (keys[0] == 69);
        EXPECT_NEAR(dB(both[1] / e5[1]), 0.0, 0.5) << "A4 first: " << (keys[0] == 69);
    }
}

TEST(VelaSound, EveryHostParameterAtItsEndsKeepsTheOutputFiniteAndBounded)
{
    // Four held notes while each host parameter goes to 0 and then to 1,
    // one block each: whatever a parameter switches (generator types,
    // routings, filter kinds, effect types, 5.1 switches), the sound stays a
    // finite signal of sane level.
    Player p(false);
    constexpr int Keys[] = {45, 57, 64, 72};
    size_t checked = 0;
    double audible = 0.0;
    for (int i = 0; i < NumHostParameters; ++i) {
        // The notes start again for every parameter: a program change or a
        // voice limit may have ended them.
        for (int key : Keys)
            p.noteOn(key);
        for (const float x : {0.0f, 1.0f}) {
            p.e->setParameter(p.e, i, x);
            p.renderTo(double(p.out[0].size() + Block + 1) / Rate);
        }
        for (int key : Keys)
            p.noteOff(key);
        audible = std::max(audible, rms(p.out[0], checked));
        for (int c = 0; c < 2; ++c) {
            const std::vector<float>& y = p.out[static_cast<size_t>(c)];
            ASSERT_TRUE(SignalMeasure::allFinite(y.data() + checked, y.size() - checked)) << "parameter " << i;
            // With every level the sweep has passed at its top the sum
            // reaches about +25 dB; a runaway goes far beyond.
            EXPECT_LT(SignalMeasure::peak(y, checked), 64.0f) << "parameter " << i;
        }
        checked = p.out[0].size();
    }
    EXPECT_GT(dB(audible), -40.0) << "the notes sounded";
}
