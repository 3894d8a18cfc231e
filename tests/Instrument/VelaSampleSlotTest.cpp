// A sample in the time sampler of generator slot 2, played through the built
// plug-in from the headless host: a program whose user-sample slot 2 names a
// WAV file travels as a preset chunk, the plug-in loads the file when the
// chunk arrives, and a key at the slot's Root plays the recording back.
#include "Vela.h"

#include "EngineTestHost.h"
#include "SignalMeasure.h"
#include "TestSupport.h"
#include "VelaGlo.h"
#include "WaveRAM.h"
#include "WaveTable.h"
#include "WaveSample.h"

#if __has_include("host/PluginHost.h")
#define VELA_SLOT_HAVE_HOST 1
#include "host/EventScheduler.h"
#include "host/MidiFile.h"
#include "host/PluginHost.h"
#include "host/Render.h"
#include "host/TimeMap.h"
#endif

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr double Rate = 48000.0;
constexpr int Block = 256;

// The recording: the speech sample Debian's alsa-utils installs, or, where it
// is missing, a tone burst with a level contour of its own.
std::string recording(const TestSupport::TempDir& dir)
{
    const std::string alsa = "/usr/share/sounds/alsa/Front_Center.wav";
    if (std::filesystem::exists(alsa))
        return alsa;
    const std::string made = dir.file("burst.wav");
    WaveSample_c s;
    float *l = nullptr, *r = nullptr;
    const int frames = 60000;
    EXPECT_TRUE(s.getBufferFor(frames, 1, &l, &r));
    for (int i = 0; i < frames; ++i) {
        const double contour = std::fabs(std::sin(3.0 * M_PI * i / frames));
        l[i] = float(0.7 * contour * std::sin(2.0 * M_PI * 330.0 * i / Rate));
    }
    s.sampleRate = int(Rate);
    EXPECT_EQ(s.saveWAVSample(Tool::Disk::Path_c(made.c_str())), frames);
    return made;
}

} // namespace

TEST(VelaSampleSlot, EveryHostParameterAtItsEndsWithSamplesLoaded)
{
    // The recording in every user-sample slot and every wavetable store, four
    // held notes, and each host parameter to 0 and then to 1, one block each:
    // whatever generator a slot switches to and however its pitch, time,
    // ride and spread are set, the sound stays finite and of sane level.
    TestSupport::TempDir dir;
    const std::string wav = recording(dir);
    EngineTestHost host;
    Vela_c vela(&EngineTestHost::callback, false);
    AEffect* e = vela.getAeffect();
    e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, float(Rate));
    e->dispatcher(e, effSetBlockSize, 0, Block, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    for (int k = 0; k < 4; ++k) {
        vela.getUserSample(k)->setParaCharPtr(0, WaveRAM_c::wrFilename, wav.c_str());
        ASSERT_EQ(vela.getUserSample(k)->getSampleCount(), 1);
        vela.getWaveTable(k)->setParaCharPtr(0, WaveTable_c::wtFilename, wav.c_str());
    }
    std::array<std::vector<float>, 2> out;
    std::array<std::vector<float>, 2> block;
    for (auto& b : block)
        b.assign(Block, 0.0f);
    std::vector<float> spare(Block);
    auto keys = [&](unsigned char status) {
        std::array<VstMidiEvent, 4> m{};
        const unsigned char notes[] = {45, 57, 60, 72};
        for (int k = 0; k < 4; ++k) {
            m[k].type = kVstMidiType;
            m[k].byteSize = sizeof(VstMidiEvent);
            m[k].midiData[0] = static_cast<char>(status);
            m[k].midiData[1] = static_cast<char>(notes[k]);
            m[k].midiData[2] = status == 0x90 ? 100 : 0;
        }
        for (int k = 0; k < 4; k += 2) {
            VstEvents list{};
            list.numEvents = 2;
            list.events[0] = reinterpret_cast<VstEvent*>(&m[k]);
            list.events[1] = reinterpret_cast<VstEvent*>(&m[k + 1]);
            e->dispatcher(e, effProcessEvents, 0, 0, &list, 0.0f);
        }
    };
    auto render = [&]() {
        float* pointers[NumOutputs51] = {block[0].data(), block[1].data(), spare.data(),
                                         spare.data(),    spare.data(),    spare.data()};
        e->processReplacing(e, nullptr, pointers, Block);
        for (int c = 0; c < 2; ++c)
            out[c].insert(out[c].end(), block[c].begin(), block[c].end());
    };
    size_t checked = 0;
    double audible = 0.0;
    for (int i = 0; i < NumHostParameters; ++i) {
        keys(0x90);
        for (const float x : {0.0f, 1.0f}) {
            e->setParameter(e, i, x);
            render();
        }
        keys(0x80);
        audible = std::max(audible, SignalMeasure::rms(out[0], checked));
        for (int c = 0; c < 2; ++c) {
            ASSERT_TRUE(SignalMeasure::allFinite(out[c].data() + checked, out[c].size() - checked)) << "parameter " << i;
            EXPECT_LT(SignalMeasure::peak(out[c], checked), 16.0f) << "parameter " << i;
        }
        checked = out[0].size();
    }
    e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
    EXPECT_GT(SignalMeasure::dB(audible), -40.0) << "the notes sounded";
}

#ifdef VELA_SLOT_HAVE_HOST
namespace {

// 10 ms windows for the level envelopes.
constexpr size_t Window = 480;

// The RMS of each window of x.
std::vector<double> envelope(const std::vector<float>& x, size_t windows)
{
    std::vector<double> e(windows, 0.0);
    for (size_t w = 0; w < windows; ++w) {
        double sum = 0.0;
        for (size_t i = w * Window; i < (w + 1) * Window && i < x.size(); ++i)
            sum += double(x[i]) * x[i];
        e[w] = std::sqrt(sum / Window);
    }
    return e;
}

double correlation(const std::vector<double>& a, const std::vector<double>& b)
{
    double ma = 0.0, mb = 0.0;
    for (size_t i = 0; i < a.size(); ++i) {
        ma += a[i];
        mb += b[i];
    }
    ma /= double(a.size());
    mb /= double(b.size());
    double ab = 0.0, aa = 0.0, bb = 0.0;
    for (size_t i = 0; i < a.size(); ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return ab / std::sqrt(aa * bb);
}

} // namespace

TEST(VelaSampleSlot, AWavInSlot2sTimeSamplerPlaysThroughTheHeadlessHost)
{
    const std::string plugin = std::string(TESSEL_PLUGIN_DIR) + "/Tessel3-Stereo.so";
    if (!std::filesystem::exists(plugin))
        GTEST_SKIP() << plugin << " is not built";
    TestSupport::TempDir dir;
    const std::string wav = recording(dir);

    // The program: slot 1's oscillator off, slot 2 (a time sampler in the
    // default program) playing the WAV, no effects on the way out.
    std::vector<unsigned char> chunk;
    {
        EngineTestHost host;
        Vela_c vela(&EngineTestHost::callback, false);
        AEffect* e = vela.getAeffect();
        e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
        VelaGlo_c* glo = vela.getGlobalPart();
        ASSERT_EQ(glo->getParaVal(0, VelaGlo_c::gpGenType0 + 1), 1) << "slot 2 plays the time sampler";
        glo->setParaVal(0, VelaGlo_c::gpGenOn0, 0);
        glo->setParaVal(0, VelaGlo_c::gpEffOn0, 0);
        glo->setParaVal(0, VelaGlo_c::gpEffOn1, 0);
        vela.getUserSample(1)->setParaCharPtr(0, WaveRAM_c::wrFilename, wav.c_str());
        ASSERT_EQ(vela.getUserSample(1)->getSampleCount(), 1);
        void* data = nullptr;
        const intptr_t size = e->dispatcher(e, effGetChunk, 1, 0, &data, 0.0f);
        ASSERT_GT(size, 0);
        chunk.assign(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
    }

    // One key at the Root (60) for 2.5 s at 120 beats per minute.
    Host::MidiSong song;
    song.tempos.push_back({});
    song.signatures.push_back({});
    song.events.push_back({0, {0x90, 60, 100}, 3});
    song.events.push_back({2400, {0x80, 60, 0}, 3});
    song.lengthTicks = 2400;
    const Host::TimeMap_c map(song, Rate);

    Host::PluginHost_c host;
    host.setTimeline(song, Rate);
    std::string error;
    ASSERT_TRUE(host.load(plugin, error)) << error;
    host.dispatch(effOpen);
    host.dispatch(effSetSampleRate, 0, 0, nullptr, float(Rate));
    host.dispatch(effSetBlockSize, 0, Block);
    host.dispatch(effMainsChanged, 0, 1);
    ASSERT_EQ(host.dispatch(effSetChunk, 1, intptr_t(chunk.size()), chunk.data()), intptr_t(chunk.size()));
    Host::EventScheduler_c events(Host::scheduleSong(song, map));
    Host::RenderSettings settings;
    settings.sampleRate = Rate;
    settings.blockFrames = Block;
    settings.totalFrames = int64_t(3.0 * Rate);
    std::vector<float> left;
    Host::RenderStats stats;
    ASSERT_TRUE(Host::renderBlocks(
        host, events, settings,
        [&](const float* const* ch, int, int frames) {
            left.insert(left.end(), ch[0], ch[0] + frames);
            return true;
        },
        stats, error))
        << error;
    host.dispatch(effMainsChanged, 0, 0);
    EXPECT_TRUE(host.faults().empty());
    ASSERT_TRUE(SignalMeasure::allFinite(left));

    // What the slot plays: the recording as the slot prepares it.
    WaveSample_c source;
    ASSERT_TRUE(source.setSample(Tool::Disk::Path_c(wav.c_str())));
    const std::vector<float> recorded(source.left, source.left + source.frames);
    const size_t windows = size_t(source.frames) / Window;

    // The output follows the recording's level contour from the key on, and
    // falls silent once the sampler has played it through, key still held.
    const std::vector<double> heard = envelope(left, windows);
    const std::vector<double> played = envelope(recorded, windows);
    EXPECT_GT(correlation(heard, played), 0.9);
    EXPECT_GT(SignalMeasure::dB(SignalMeasure::rms(left, 0)), -40.0);
    const size_t after = size_t(source.frames) + size_t(0.3 * Rate);
    ASSERT_LT(after, left.size());
    EXPECT_LT(SignalMeasure::dB(SignalMeasure::rms(left, after)), -80.0);
}
#endif
