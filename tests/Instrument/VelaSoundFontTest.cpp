// A SoundFont imported into a loop sampler survives what a musician does
// with the program: a host save and a restore into a new plug-in instance,
// an FXP export and import, with the zone edits made after the import kept;
// and when the SoundFont has moved, the missing-sample search finds it from
// an idle pass, never inside the load that found it missing.
#include "Vela.h"

#include "../Generators/SF2Bytes.h"
#include "EngineTestHost.h"
#include "FileDialog.h"
#include "../Generators/MultiSampleRig.h"
#include "OsLib.h"
#include "SignalMeasure.h"
#include "TestSupport.h"
#include "ToolingChannel.h"
#include "VelaGlo.h"
#include "WaveRAM2.h"
#include "WaveSample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace SF2Bytes;
using MultiTest::pcm16;
using MultiTest::sineWave;

constexpr int GenType0Entry = 769;
constexpr int SF2Path0Entry = 813;
constexpr int Block = 256;
constexpr const char* RealSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// A small SoundFont: a low and a high looped sine, split at key 60.
std::string handBuiltSoundFont()
{
    const std::vector<Header> headers = {{"Low", 0, 4410, 100, 4300, 44100, 57, 0},
                                         {"High", 4410, 8820, 4510, 8710, 44100, 69, 0}};
    const std::string samples = pcm16(sineWave(4410, 220.0, 44100.0)) + pcm16(sineWave(4410, 440.0, 44100.0));
    return file({{range(KeyRange, 0, 59), {FineTune, 30}, {SampleModes, 1}, {SampleId, 0}},
                 {range(KeyRange, 60, 127), {SampleModes, 1}, {SampleId, 1}}},
                headers, samples);
}

// The plug-in with its engine lock in reach of the tests.
struct ProbedVela : Vela_c
{
    ProbedVela() : Vela_c(EngineTestHost::callback, false) {}
    using Synth::engineLock;
};

struct Plugin
{
    // hostIdle false: a host that gives no idle calls, so the plug-in's own
    // timer does the idle work.
    explicit Plugin(bool hostIdle = true)
    {
        host.suppliesIdle = hostIdle;
        vela = std::make_unique<ProbedVela>();
        e = vela->getAeffect();
        call(effOpen);
        call(effSetSampleRate, 0, 0, nullptr, 48000.0f);
        call(effSetBlockSize, 0, Block);
        call(effMainsChanged, 0, 1);
    }
    ~Plugin() { call(effMainsChanged, 0, 0); }

    intptr_t call(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f)
    {
        return e->dispatcher(e, opcode, index, value, ptr, opt);
    }
    void tool(Tooling::Operation op, int entry, int value, const std::string& text = "")
    {
        Tooling::Request r;
        r.entry = entry;
        r.value = value;
        std::strncpy(r.text, text.c_str(), sizeof r.text - 1);
        ASSERT_EQ(call(effVendorSpecific, Tooling::ChannelId, op, &r), Tooling::Done) << r.message;
    }
    // Slot 1 plays the loop sampler with the SoundFont at path, imported as
    // the editor imports one.
    void importSoundFont(const std::string& path)
    {
        tool(Tooling::opSetValue, GenType0Entry, Vela_c::GenLoopSampler);
        tool(Tooling::opSetText, SF2Path0Entry, 0, path);
    }
    std::vector<unsigned char> bank()
    {
        void* data = nullptr;
        const intptr_t size = call(effGetChunk, 0, 0, &data);
        EXPECT_GT(size, 0);
        return std::vector<unsigned char>(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
    }
    intptr_t restore(std::vector<unsigned char>& chunk)
    {
        return call(effSetChunk, 0, intptr_t(chunk.size()), chunk.data());
    }
    // Two notes, one per zone, held for a second: the left output.
    std::vector<float> play()
    {
        std::vector<float> left;
        auto midi = [&](int status, int key, int velocity) {
            VstMidiEvent m{};
            m.type = kVstMidiType;
            m.byteSize = sizeof(VstMidiEvent);
            m.midiData[0] = static_cast<char>(status);
            m.midiData[1] = static_cast<char>(key);
            m.midiData[2] = static_cast<char>(velocity);
            VstEvents list{};
            list.numEvents = 1;
            list.events[0] = reinterpret_cast<VstEvent*>(&m);
            call(effProcessEvents, 0, 0, &list);
        };
        std::vector<std::vector<float>> out(NumOutputs51, std::vector<float>(Block));
        float* pointers[NumOutputs51];
        for (size_t c = 0; c < out.size(); ++c)
            pointers[c] = out[c].data();
        for (int key : {48, 72}) {
            midi(0x90, key, 100);
            for (int b = 0; b < 48000 / Block; ++b) {
                e->processReplacing(e, nullptr, pointers, Block);
                left.insert(left.end(), out[0].begin(), out[0].end());
            }
            midi(0x80, key, 0);
        }
        return left;
    }
    WaveRAM2_c& store() { return *vela->getMultiSample(0); }
    int zonesWithData() { return store().InsSamples(0, false); }
    int zoneValue(int z, int k) { return store().getParaVal(0, WaveRAM2_c::zonePara(z, k)); }

    EngineTestHost host;
    std::unique_ptr<ProbedVela> vela;
    AEffect* e = nullptr;
};

double largestDifference(const std::vector<float>& a, const std::vector<float>& b)
{
    double d = a.size() == b.size() ? 0.0 : 1e9;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        d = std::max(d, std::fabs(double(a[i]) - b[i]));
    return d;
}

// Panels and file dialogs answered by the test, each recorded with whether,
// at that moment, a load was under way or another thread could not have
// taken the plug-in's engine lock or its instrument's render lock. They may
// come from the plug-in's timer thread.
struct Questions
{
    explicit Questions(ProbedVela& v) : vela(v)
    {
        OsLib_c::setPanelHook([this](const std::string& title, const std::string& message, bool) {
            const bool free = outsideEveryLoadAndLock();
            std::lock_guard<std::mutex> lock(mutex);
            asked.push_back(title + ": " + message);
            locksFree.push_back(free);
            return answerYes;
        });
        FileDialog_c::setPanelRunner([this](const std::vector<std::string>&) {
            const bool free = outsideEveryLoadAndLock();
            std::lock_guard<std::mutex> lock(mutex);
            ++dialogs;
            locksFree.push_back(free);
            return chosen.empty() ? FileDialog_c::PanelAnswer() : FileDialog_c::PanelAnswer{true, chosen};
        });
    }
    ~Questions()
    {
        OsLib_c::setPanelHook({});
        FileDialog_c::setPanelRunner({});
    }
    std::vector<std::string> questions()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return asked;
    }
    int dialogCount()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return dialogs;
    }
    bool allOutsideLoadsAndLocks()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return std::all_of(locksFree.begin(), locksFree.end(), [](bool b) { return b; });
    }
    bool outsideEveryLoadAndLock()
    {
        if (vela.isChunkLoadInProgress() || vela.isImporting())
            return false;
        return std::async(std::launch::async, [this] {
                   bool free = vela.engineLock.getImmediateReadPermission();
                   if (free)
                       vela.engineLock.releaseReadPermission();
                   Lock_c& render = vela.getInstPtr(0)->renderLock;
                   if (render.getImmediateReadPermission())
                       render.releaseReadPermission();
                   else
                       free = false;
                   return free;
               }).get();
    }

    ProbedVela& vela;
    bool answerYes = false;
    std::string chosen;
    std::mutex mutex;
    int dialogs = 0;
    std::vector<std::string> asked;
    std::vector<bool> locksFree;
};

} // namespace

TEST(VelaSoundFont, AHostSaveAndRestoreInANewInstanceSoundsTheSameWithTheZoneEditsKept)
{
    TestSupport::TempDir dir;
    std::vector<std::string> soundFonts = {dir.file("two.sf2")};
    TestSupport::writeFile(soundFonts[0], handBuiltSoundFont());
    if (std::filesystem::exists(RealSoundFont))
        soundFonts.push_back(RealSoundFont);
    for (const std::string& sf2 : soundFonts) {
        SCOPED_TRACE(sf2);
        Plugin a;
        a.importSoundFont(sf2);
        const int imported = a.zonesWithData();
        ASSERT_GE(imported, 2);
        // Edits after the import: zone 0 a semitone up, zone 1's loop moved.
        const int root = a.zoneValue(0, WaveRAM2_c::zpRoot) + 1;
        a.store().setParaVal(0, WaveRAM2_c::zonePara(0, WaveRAM2_c::zpRoot), root);
        a.store().setParaVal(0, WaveRAM2_c::zonePara(1, WaveRAM2_c::zpSuppressXCross), 1);
        const int loopEnd = a.zoneValue(1, WaveRAM2_c::zpLoopEnd) - 17;
        a.store().setParaVal(0, WaveRAM2_c::zonePara(1, WaveRAM2_c::zpLoopEnd), loopEnd);
        ASSERT_EQ(a.zoneValue(1, WaveRAM2_c::zpLoopEnd), loopEnd);
        std::vector<unsigned char> chunk = a.bank();
        const std::vector<float> before = a.play();

        Plugin b;
        ASSERT_EQ(b.restore(chunk), intptr_t(chunk.size()));
        std::vector<unsigned char> saved = b.bank();
        EXPECT_EQ(b.zonesWithData(), imported);
        EXPECT_EQ(b.zoneValue(0, WaveRAM2_c::zpRoot), root);
        EXPECT_EQ(b.zoneValue(1, WaveRAM2_c::zpLoopEnd), loopEnd);
        EXPECT_EQ(b.store().getSample(0, 1)->loopEnd, loopEnd);
        EXPECT_EQ(b.store().takeMissingZones(), 0u);
        const std::vector<float> after = b.play();
        EXPECT_GT(SignalMeasure::rms(before), 0.01);
        EXPECT_LT(largestDifference(before, after), 1e-6);

        // Save, load, save: the second save stores what the first did.
        Plugin c;
        ASSERT_EQ(c.restore(saved), intptr_t(saved.size()));
        EXPECT_EQ(c.bank(), saved);
    }
}

TEST(VelaSoundFont, AnFxpExportAndImportKeepsTheSoundAndTheEdits)
{
    TestSupport::TempDir dir;
    const std::string sf2 = dir.file("two.sf2");
    TestSupport::writeFile(sf2, handBuiltSoundFont());
    Plugin a;
    a.importSoundFont(sf2);
    const int root = a.zoneValue(1, WaveRAM2_c::zpRoot) - 2;
    a.store().setParaVal(0, WaveRAM2_c::zonePara(1, WaveRAM2_c::zpRoot), root);
    const std::vector<float> before = a.play();
    std::filesystem::create_directories(dir.file("presets"));
    const std::string fxp = dir.file("presets/strings.fxp");
    a.vela->exportPatch(0, Tool::Disk::Path_c(fxp.c_str()));

    Plugin b;
    ASSERT_GT(b.vela->importPatch(0, Tool::Disk::Path_c(fxp.c_str())), 0);
    EXPECT_EQ(b.zonesWithData(), 2);
    EXPECT_EQ(b.zoneValue(1, WaveRAM2_c::zpRoot), root);
    EXPECT_LT(largestDifference(before, b.play()), 1e-6);
}

TEST(VelaSoundFont, AMovedSoundFontIsSearchedForFromTheIdlePassNotInsideTheLoad)
{
    TestSupport::TempDir dir;
    TestSupport::ScopedEnv config{"XDG_CONFIG_HOME", dir.file("config").c_str()};
    const std::string sf2 = dir.file("old/two.sf2");
    std::filesystem::create_directories(dir.file("old"));
    TestSupport::writeFile(sf2, handBuiltSoundFont());
    std::vector<unsigned char> chunk;
    std::vector<float> before;
    {
        Plugin a;
        a.importSoundFont(sf2);
        chunk = a.bank();
        before = a.play();
    }
    std::filesystem::create_directories(dir.file("new"));
    const std::string moved = dir.file("new/two.sf2");
    std::filesystem::rename(sf2, moved);

    // Headless: the question names the file and is answered as a cancelled
    // dialog would be; the program loads and keeps naming the SoundFont.
    {
        Plugin b;
        Questions q(*b.vela);
        ASSERT_EQ(b.restore(chunk), intptr_t(chunk.size()));
        b.call(effIdle);
        const std::vector<std::string> asked = q.questions();
        ASSERT_GE(asked.size(), 1u);
        EXPECT_EQ(asked[0], "File error: " + sf2 + " not found! Do you want to manually locate this sample?");
        EXPECT_EQ(q.dialogCount(), 0);
        EXPECT_EQ(b.zonesWithData(), 0);
        EXPECT_EQ(std::string(b.store().getSampleFilename(0, 0)), sf2 + "/0/Low");
        EXPECT_TRUE(q.allOutsideLoadsAndLocks()) << "asked inside a load or under a lock";
    }

    // Located by hand: the first zone takes the chosen file, every other
    // zone is found under its folder without a question, and it sounds as
    // before. A host without idle calls: the plug-in's timer runs the search.
    for (bool hostIdle : {true, false}) {
        SCOPED_TRACE(hostIdle ? "the host's idle" : "the plug-in's timer");
        Plugin b(hostIdle);
        Questions q(*b.vela);
        q.answerYes = true;
        q.chosen = moved;
        ASSERT_EQ(b.restore(chunk), intptr_t(chunk.size()));
        if (hostIdle)
            b.call(effIdle);
        for (int wait = 0; wait < 300 && b.zonesWithData() < 2; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(q.dialogCount(), 1);
        EXPECT_EQ(q.questions().size(), 1u);
        EXPECT_EQ(b.zonesWithData(), 2);
        EXPECT_EQ(std::string(b.store().getSampleFilename(0, 1)), moved + "/1/High");
        EXPECT_TRUE(q.allOutsideLoadsAndLocks()) << "asked inside a load or under a lock";
        EXPECT_LT(largestDifference(before, b.play()), 1e-6);
    }
}

TEST(VelaSoundFont, ProgramsLoadedIntoAnInstanceWithShorterSamplesKeepTheirFramePoints)
{
    // An instance holding short zones loads a program whose zones are longer:
    // its frame points must not be cut to the lengths of the samples about
    // to be replaced, neither from a host chunk nor from an FXP file.
    TestSupport::TempDir dir;
    const std::string shortSf2 = dir.file("short.sf2");
    TestSupport::writeFile(shortSf2, handBuiltSoundFont());
    const std::string longSf2 = dir.file("long.sf2");
    const std::vector<Header> headers = {{"Long", 0, 40000, 1000, 39000, 44100, 60, 0},
                                         {"Longer", 40000, 90000, 2000, 48000, 44100, 72, 0}};
    TestSupport::writeFile(longSf2, file({{range(KeyRange, 0, 59), {SampleModes, 1}, {SampleId, 0}},
                                          {range(KeyRange, 60, 127), {SampleModes, 1}, {SampleId, 1}}},
                                         headers, pcm16(sineWave(90000, 330.0, 44100.0))));
    Plugin big;
    big.importSoundFont(longSf2);
    const int loopEnd1 = big.zoneValue(1, WaveRAM2_c::zpLoopEnd);
    ASSERT_GT(loopEnd1, 4410);
    std::vector<unsigned char> chunk = big.bank();
    std::filesystem::create_directories(dir.file("fxp"));
    const std::string fxp = dir.file("fxp/long.fxp");
    big.vela->exportPatch(0, Tool::Disk::Path_c(fxp.c_str()));

    for (bool fromFile : {false, true}) {
        SCOPED_TRACE(fromFile ? "FXP import" : "host chunk");
        Plugin small;
        small.importSoundFont(shortSf2);
        ASSERT_LT(small.store().getSample(0, 1)->frames, loopEnd1);
        if (fromFile)
            ASSERT_GT(small.vela->importPatch(0, Tool::Disk::Path_c(fxp.c_str())), 0);
        else
            ASSERT_EQ(small.restore(chunk), intptr_t(chunk.size()));
        EXPECT_EQ(small.zoneValue(1, WaveRAM2_c::zpLoopEnd), loopEnd1);
        EXPECT_EQ(small.store().getSample(0, 1)->loopEnd, loopEnd1);
    }
}
