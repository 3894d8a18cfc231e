// Programs travel with their samples: an exported preset writes the samples
// it plays next to itself, an imported one finds them relative to its own
// folder, a failed import or a host save leaves the live samples alone, a
// folder re-save skips what does not load, and programs of the predecessor
// format convert.
#include "Vela.h"
#include "VelaSampleNames.h"

#include "Disk.h"
#include "EngineTestHost.h"
#include "OsLib.h"
#include "Parameter.h"
#include "SysGlo.h"
#include "TestSupport.h"
#include "VelaGlo.h"
#include "VelaInst.h"
#include "WaveRAM.h"
#include "WaveRAM2.h"
#include "WaveSample.h"
#include "WaveTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iterator>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using G = VelaGlo_c;
const std::string Centre = "/usr/share/sounds/alsa/Front_Center.wav";
const std::string Left = "/usr/share/sounds/alsa/Front_Left.wav";
const std::string Right = "/usr/share/sounds/alsa/Front_Right.wav";

struct OpenVela
{
    explicit OpenVela(bool is51 = false)
    {
        vela = std::make_unique<Vela_c>(EngineTestHost::callback, is51);
        e = vela->getAeffect();
        e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
        e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
        e->dispatcher(e, effSetBlockSize, 0, 256, nullptr, 0.0f);
    }
    G* glo() { return vela->getGlobalPart(); }
    void setGlo(int index, int value)
    {
        glo()->setParaVal(0, index, value);
        vela->postprocessParaChange(0, glo(), index);
    }
    std::string userFile(int k) { return VelaSampleNames::userFile(*vela, k); }
    std::string tableFile(int k) { return VelaSampleNames::tableFile(*vela, k); }
    std::string zoneFile(int m, int z) { return VelaSampleNames::zoneFile(*vela, m, z); }
    // Slot 1 a loop sampler with one zone, slot 2 a time sampler, slot 3 a
    // wavetable generator, slot 4 the oscillator.
    void loadThreeKinds()
    {
        setGlo(G::gpGenType0, Vela_c::GenLoopSampler);
        setGlo(G::gpGenType0 + 1, Vela_c::GenTimeSampler);
        setGlo(G::gpGenType2, Vela_c::GenWaveTable);
        setGlo(G::gpGenType2 + 1, Vela_c::GenOscillator);
        vela->getMultiSample(0)->setParaCharPtr(0, WaveRAM2_c::zonePara(0, WaveRAM2_c::zpFilename), Centre.c_str());
        vela->getUserSample(1)->setParaCharPtr(0, WaveRAM_c::wrFilename, Left.c_str());
        vela->getWaveTable(2)->setParaCharPtr(0, WaveTable_c::wtFilename, Right.c_str());
    }
    // The left output of key held for `seconds`, the plug-in switched on as
    // a host does.
    std::vector<float> play(int key, double seconds)
    {
        e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
        VstMidiEvent m{};
        m.type = kVstMidiType;
        m.byteSize = sizeof(VstMidiEvent);
        m.midiData[0] = static_cast<char>(0x90);
        m.midiData[1] = static_cast<char>(key);
        m.midiData[2] = static_cast<char>(100);
        VstEvents list{};
        list.numEvents = 1;
        list.events[0] = reinterpret_cast<VstEvent*>(&m);
        e->dispatcher(e, effProcessEvents, 0, 0, &list, 0.0f);
        constexpr int Block = 256;
        std::vector<std::vector<float>> block(NumOutputs51, std::vector<float>(Block));
        float* pointers[NumOutputs51];
        for (int c = 0; c < NumOutputs51; ++c)
            pointers[c] = block[c].data();
        std::vector<float> out;
        while (out.size() < static_cast<size_t>(seconds * 48000.0)) {
            for (auto& b : block)
                std::fill(b.begin(), b.end(), 0.0f);
            e->processReplacing(e, nullptr, pointers, Block);
            out.insert(out.end(), block[0].begin(), block[0].end());
        }
        e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
        return out;
    }
    EngineTestHost host;
    std::unique_ptr<Vela_c> vela;
    AEffect* e = nullptr;
};

bool haveAlsa()
{
    return fs::exists(Centre) && fs::exists(Left) && fs::exists(Right);
}

std::vector<float> samplesOf(const WaveSample_c* s)
{
    if (!s || !s->left || s->frames < 1)
        return {};
    return std::vector<float>(s->left, s->left + s->frames);
}

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

TEST(VelaPrograms, PresetWithSamplesSurvivesExportMoveAndImport)
{
    if (!haveAlsa())
        GTEST_SKIP() << "no ALSA sample files";
    TestSupport::TempDir dir;
    const std::string a = dir.file("a"), b = dir.file("b");
    fs::create_directory(a);
    std::vector<float> zone, user, table, sound;
    {
        OpenVela v;
        v.loadThreeKinds();
        zone = samplesOf(v.vela->getMultiSample(0)->getSample(0, 0));
        user = samplesOf(v.vela->getUserSample(1)->getSample());
        table = samplesOf(v.vela->getWaveTable(2)->getSample());
        ASSERT_FALSE(zone.empty());
        ASSERT_FALSE(user.empty());
        ASSERT_FALSE(table.empty());
        v.vela->exportPatch(0, Tool::Disk::Path_c((a + "/p.fxp").c_str()));
        sound = v.play(60, 1.0);
        // The samples landed next to the preset and the program names them there.
        EXPECT_TRUE(startsWith(v.zoneFile(0, 0), a + "/")) << v.zoneFile(0, 0);
        EXPECT_TRUE(startsWith(v.userFile(1), a + "/")) << v.userFile(1);
        EXPECT_TRUE(startsWith(v.tableFile(2), a + "/")) << v.tableFile(2);
    }
    int files = 0;
    for (const auto& entry : fs::directory_iterator(a))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 4); // the preset and three samples
    fs::rename(a, b);

    OpenVela v;
    ASSERT_GT(v.vela->importPatch(0, Tool::Disk::Path_c((b + "/p.fxp").c_str())), 0);
    EXPECT_TRUE(startsWith(v.zoneFile(0, 0), b + "/")) << v.zoneFile(0, 0);
    EXPECT_TRUE(startsWith(v.userFile(1), b + "/")) << v.userFile(1);
    EXPECT_TRUE(startsWith(v.tableFile(2), b + "/")) << v.tableFile(2);
    // The same sound: the samples read back equal (stored as 24-bit).
    const std::vector<float> zone2 = samplesOf(v.vela->getMultiSample(0)->getSample(0, 0));
    const std::vector<float> user2 = samplesOf(v.vela->getUserSample(1)->getSample());
    const std::vector<float> table2 = samplesOf(v.vela->getWaveTable(2)->getSample());
    ASSERT_EQ(zone2.size(), zone.size());
    ASSERT_EQ(user2.size(), user.size());
    ASSERT_EQ(table2.size(), table.size());
    double worst = 0.0;
    for (size_t i = 0; i < zone.size(); ++i)
        worst = std::max(worst, double(std::fabs(zone[i] - zone2[i])));
    for (size_t i = 0; i < user.size(); ++i)
        worst = std::max(worst, double(std::fabs(user[i] - user2[i])));
    for (size_t i = 0; i < table.size(); ++i)
        worst = std::max(worst, double(std::fabs(table[i] - table2[i])));
    EXPECT_LT(worst, 1.0e-4);
    // And the program renders the same note as before the trip.
    const std::vector<float> sound2 = v.play(60, 1.0);
    ASSERT_EQ(sound2.size(), sound.size());
    double peak = 0.0, diff = 0.0;
    for (size_t i = 0; i < sound.size(); ++i) {
        peak = std::max(peak, double(std::fabs(sound[i])));
        diff = std::max(diff, double(std::fabs(sound[i] - sound2[i])));
    }
    EXPECT_GT(peak, 1.0e-3) << "the note is audible";
    EXPECT_LT(diff, 1.0e-3 * peak);
    EXPECT_TRUE(v.vela->getAcceptMIDI());
    EXPECT_FALSE(v.vela->isImporting());
}

TEST(VelaPrograms, FailedImportKeepsSamplesAndHostSaveKeepsLiveNames)
{
    if (!haveAlsa())
        GTEST_SKIP() << "no ALSA sample files";
    TestSupport::TempDir dir;
    OpenVela v;
    v.loadThreeKinds();
    // A slot switched away from its store still holds the store's sample.
    v.vela->getUserSample(3)->setParaCharPtr(0, WaveRAM_c::wrFilename, Centre.c_str());
    ASSERT_EQ(v.vela->getUserSample(3)->getSampleCount(), 1);

    // A host save: the stored program names only what it plays ...
    void* data = nullptr;
    const int size = v.vela->getChunkPreset(0, &data);
    ASSERT_GT(size, 0);
    const std::string chunk(static_cast<const char*>(data), size_t(size));
    EXPECT_NE(chunk.find("Front_Left.wav"), std::string::npos);
    EXPECT_EQ(chunk.find("Front_Center.wav", chunk.find("Front_Center.wav") + 1), std::string::npos)
        << "slot 4's unplayed sample is stored";
    // ... and the live stores keep theirs.
    EXPECT_EQ(v.userFile(3), Centre);
    EXPECT_EQ(v.vela->getUserSample(3)->getSampleCount(), 1);
    EXPECT_EQ(v.zoneFile(0, 0), Centre);

    // Imports that fail leave every path and sample.
    const std::string bad = dir.file("bad.fxp");
    {
        std::ofstream out(bad, std::ios::binary);
        out << "CcnK this is not a preset at all";
    }
    const std::vector<float> user = samplesOf(v.vela->getUserSample(1)->getSample());
    for (const std::string& path : {bad, dir.file("missing.fxp")}) {
        EXPECT_EQ(v.vela->importPatch(0, Tool::Disk::Path_c(path.c_str())), 0) << path;
        EXPECT_EQ(v.zoneFile(0, 0), Centre);
        EXPECT_EQ(v.userFile(1), Left);
        EXPECT_EQ(v.tableFile(2), Right);
        EXPECT_EQ(v.userFile(3), Centre);
        EXPECT_EQ(samplesOf(v.vela->getUserSample(1)->getSample()), user);
        EXPECT_TRUE(v.vela->getAcceptMIDI());
    }
}

TEST(VelaPrograms, AProgramNamingAPipeAsItsSampleLoadsAtOnceAndSaysWhy)
{
    // A host restores a program whose samples are named pipes: the restore
    // returns at once (a blocking open would wait for a writer for ever), the
    // rest of the program loads, and the user is told which path was refused
    // and why.
    TestSupport::TempDir dir;
    const std::string userPipe = dir.file("pipe.wav");
    const std::string zonePipe = dir.file("zone.wav");
    ASSERT_TRUE(TestSupport::makeFifo(userPipe));
    ASSERT_TRUE(TestSupport::makeFifo(zonePipe));
    std::vector<std::string> told;
    OsLib_c::setPanelHook([&](const std::string& title, const std::string& message, bool) {
        told.push_back(title + ": " + message);
        return false;
    });
    OpenVela v;
    v.setGlo(G::gpGenType0, Vela_c::GenLoopSampler);
    v.setGlo(G::gpGenType0 + 1, Vela_c::GenTimeSampler);
    std::string chunk;
    EXPECT_TRUE(TestSupport::returnsWithoutWaitingOn(userPipe, [&] {
        v.vela->getMultiSample(0)->setParaCharPtr(0, WaveRAM2_c::zonePara(0, WaveRAM2_c::zpFilename), zonePipe.c_str());
        v.vela->getUserSample(1)->setParaCharPtr(0, WaveRAM_c::wrFilename, userPipe.c_str());
        void* data = nullptr;
        const intptr_t size = v.e->dispatcher(v.e, effGetChunk, 1, 0, &data, 0.0f);
        if (size > 0 && data)
            chunk.assign(static_cast<const char*>(data), static_cast<size_t>(size));
    })) << "naming the pipes waited";
    ASSERT_NE(chunk.find("pipe.wav"), std::string::npos);
    ASSERT_NE(chunk.find("zone.wav"), std::string::npos);
    v.setGlo(G::gpMainVol, 17);
    told.clear();
    intptr_t result = 0;
    EXPECT_TRUE(TestSupport::returnsWithoutWaitingOn(userPipe, [&] {
        result = v.e->dispatcher(v.e, effSetChunk, 1, static_cast<intptr_t>(chunk.size()), chunk.data(), 0.0f);
    })) << "the restore waited on a pipe";
    EXPECT_GT(result, 0) << "the program itself loads";
    EXPECT_NE(v.glo()->getParaVal(0, G::gpMainVol), 17);
    EXPECT_EQ(v.vela->getUserSample(1)->getSampleCount(), 0);
    v.e->dispatcher(v.e, effIdle, 0, 0, nullptr, 0.0f);
    ASSERT_TRUE(v.vela->getPanels().waitShown(5000));
    OsLib_c::setPanelHook({});
    for (const std::string& pipe : {userPipe, zonePipe}) {
        const auto saying = std::find_if(told.begin(), told.end(), [&](const std::string& t) {
            return t.find("File Error - Load failed: " + pipe) == 0 && t.find("no regular file") != std::string::npos;
        });
        EXPECT_NE(saying, told.end()) << "no refusal shown for " << pipe;
    }
}

TEST(VelaPrograms, PredecessorConversion)
{
    for (int detune : {-1, 5, 250}) {
        for (float mix : {0.0f, 0.5f, 1.0f}) {
            SCOPED_TRACE("detune " + std::to_string(detune) + " mix " + std::to_string(mix));
            OpenVela v;
            G* glo = v.glo();
            glo->setParaVal(0, G::gpGen0Routing, 0); // Mix
            glo->setParaVal(0, G::gpUnusedSpread, 7);
            glo->setPara01(0, G::gpUnusedGenMix, mix);
            glo->setParaVal(0, G::gpEffType0, 2);
            glo->setParaVal(0, G::gpEffOn0, 1);
            glo->setParaVal(0, G::gpEffOn1, 1);
            glo->setParaVal(0, G::gpVarOn0 + 1, 1);
            const int cents = glo->getParaVal(0, G::gpGenCent0);
            const int vol0 = glo->getParaVal(0, G::gpGenVol0);
            v.setGlo(G::gpDetune, detune); // the hook converts
            if (detune < 0) {
                // Converted already: nothing moves.
                EXPECT_EQ(glo->getParaVal(0, G::gpGenCent0), cents);
                EXPECT_EQ(glo->getParaVal(0, G::gpGenVol0), vol0);
                EXPECT_EQ(glo->getParaVal(0, G::gpEffType0), 2);
                continue;
            }
            const int c = detune <= 19 ? 1 : detune / 10;
            for (int k = 0; k < 4; ++k)
                EXPECT_EQ(glo->getParaVal(0, G::gpGenCent0 + k), (k & 1) ? -c : c) << k;
            EXPECT_EQ(glo->getParaVal(0, G::gpDetune), -1);
            EXPECT_EQ(glo->getParaVal(0, G::gpVarOn0 + 1), 0);
            EXPECT_EQ(glo->getParaVal(0, G::gpEffOn1), 0);
            EXPECT_EQ(v.vela->getModule(53)->getParaVal(0, 12), 7);
            // Volumes: a silent side goes to the floor ("-oo"), never to an
            // undefined conversion.
            const Parameter_c* p1 = glo->getParaPtr(0, G::gpGenVol0 + 1);
            const double m = glo->getPara01(0, G::gpUnusedGenMix);
            const int expect1 = m > 0.0 ? int(std::trunc(100.0 * std::log10(0.999 * m) + 0.5)) : p1->getLowValue();
            EXPECT_EQ(glo->getParaVal(0, G::gpGenVol0 + 1), std::clamp(expect1, p1->getLowValue(), p1->getHighValue()));
            const Parameter_c* p0 = glo->getParaPtr(0, G::gpGenVol0);
            const int expect0 = int(std::trunc(100.0 * std::log10(1.0 - 0.999 * m) + 0.5));
            EXPECT_EQ(glo->getParaVal(0, G::gpGenVol0), std::clamp(expect0, p0->getLowValue(), p0->getHighValue()));
            // The old send effect moved into the serial chain, the send
            // became the filter effect, and the serial slots stay distinct.
            EXPECT_EQ(glo->getParaVal(0, G::gpEffXType0), 2);
            EXPECT_EQ(glo->getParaVal(0, G::gpEffXOn0), 1);
            EXPECT_EQ(glo->getParaVal(0, G::gpEffType0), 5);
            for (int i = 0; i < 4; ++i)
                for (int j = i + 1; j < 4; ++j)
                    EXPECT_NE(glo->getParaVal(0, G::gpEffXType0 + 2 * i), glo->getParaVal(0, G::gpEffXType0 + 2 * j));
            // The effect chain follows the converted values.
            VelaInst_c* inst = v.vela->getInstrument();
            EXPECT_EQ(inst->getCurrentEffect(VelaInst_c::slotSend0), inst->getEffect(0, VelaInst_c::fxFilter));
            EXPECT_EQ(inst->getCurrentEffect(VelaInst_c::slotX0), inst->getEffect(2, 2));
            EXPECT_FLOAT_EQ(glo->getPara01(0, G::gpFxWet0), 1.0f);
            EXPECT_FLOAT_EQ(glo->getPara01(0, G::gpVelF1Cut), 0.0f);
            // Loading it again converts nothing more.
            glo->setParaVal(0, G::gpGenCent0, 33);
            v.vela->postprocessParaChange(0, glo, G::gpDetune);
            EXPECT_EQ(glo->getParaVal(0, G::gpGenCent0), 33);
        }
    }
}

TEST(VelaPrograms, FolderResaveSkipsAPresetThatDoesNotLoad)
{
    TestSupport::TempDir dir;
    OpenVela v;
    const std::string p1 = dir.file("1.fxp"), p2 = dir.file("2.fxp"), p3 = dir.file("3.fxp");
    v.vela->exportPatch(0, Tool::Disk::Path_c(p1.c_str()));
    v.vela->exportPatch(0, Tool::Disk::Path_c(p3.c_str()));
    {
        std::ofstream out(p2, std::ios::binary);
        out << "corrupt";
    }
    ASSERT_GT(v.vela->importPatch(0, Tool::Disk::Path_c(p1.c_str())), 0);
    const auto stamp1 = fs::last_write_time(p1), stamp3 = fs::last_write_time(p3);
    fs::last_write_time(p1, stamp1 - std::chrono::hours(1));
    fs::last_write_time(p3, stamp3 - std::chrono::hours(1));

    EXPECT_EQ(v.vela->codeD4T(), 1);
    EXPECT_GT(fs::last_write_time(p1), stamp1 - std::chrono::hours(1));
    EXPECT_GT(fs::last_write_time(p3), stamp3 - std::chrono::hours(1));
    std::ifstream in(p2, std::ios::binary);
    std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kept, "corrupt");
    // Through the command as well.
    EXPECT_TRUE(v.vela->processGUICmd(Vela_c::CmdResaveFolder, 0, 0, nullptr));
}

TEST(VelaPrograms, StartupFolderWithAndWithoutThePreference)
{
    TestSupport::TempDir dir;
    const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
    const char* oldData = std::getenv("XDG_DATA_HOME");
    const std::string keepConfig = oldConfig ? oldConfig : "", keepData = oldData ? oldData : "";
    setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
    setenv("XDG_DATA_HOME", dir.file("data").c_str(), 1);
    const std::string plain = dir.file("data") + "/Vendrax/Tessel 3 Banks/Ambient Sounds";
    const std::string chosen = dir.file("banks") + "/Tessel 3 Banks/Ambient Sounds";
    fs::create_directories(plain);
    fs::create_directories(chosen);
    {
        // One preset in each folder, told apart by their main volume.
        OpenVela v;
        v.glo()->setParaVal(0, G::gpMainVol, -50);
        v.vela->exportPatch(0, Tool::Disk::Path_c((plain + "/a.fxp").c_str()));
        v.glo()->setParaVal(0, G::gpMainVol, -100);
        v.vela->exportPatch(0, Tool::Disk::Path_c((chosen + "/b.fxp").c_str()));
    }
    // Each case with preferences of its own (the engine remembers the
    // start-up preset it loaded).
    {
        setenv("XDG_CONFIG_HOME", dir.file("config1").c_str(), 1);
        ASSERT_TRUE(OsLib_c::remindStringCore("VelaData", dir.file("banks").c_str()));
        OpenVela v;
        EXPECT_EQ(std::string(v.vela->startupFolder().c_str()), chosen);
        v.vela->loadStartupPatches();
        EXPECT_EQ(v.glo()->getParaVal(0, G::gpMainVol), -100);
    }
    {
        setenv("XDG_CONFIG_HOME", dir.file("config2").c_str(), 1);
        OpenVela v;
        EXPECT_EQ(std::string(v.vela->startupFolder().c_str()), plain);
        v.vela->loadStartupPatches();
        EXPECT_EQ(v.glo()->getParaVal(0, G::gpMainVol), -50);
    }
    oldConfig ? setenv("XDG_CONFIG_HOME", keepConfig.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
    oldData ? setenv("XDG_DATA_HOME", keepData.c_str(), 1) : unsetenv("XDG_DATA_HOME");
}

TEST(VelaPrograms, StartupProgramsLoadOnceAndAResumeKeepsTheProgramChosen)
{
    // A fresh instance whose host restores no chunk plays the first preset
    // of the start-up folder; the musician then chooses another, and the
    // host stops and starts its engine, as it does for a new block size.
    TestSupport::TempDir dir;
    TestSupport::ScopedEnv config("XDG_CONFIG_HOME", dir.file("config").c_str());
    TestSupport::ScopedEnv data("XDG_DATA_HOME", dir.file("data").c_str());
    const std::string folder = dir.file("data") + "/Vendrax/Tessel 3 Banks/Ambient Sounds";
    fs::create_directories(folder);
    {
        OpenVela v;
        v.glo()->setParaVal(0, G::gpMainVol, -50);
        v.vela->exportPatch(0, Tool::Disk::Path_c((folder + "/a.fxp").c_str()));
        v.glo()->setParaVal(0, G::gpMainVol, -100);
        v.vela->exportPatch(0, Tool::Disk::Path_c((folder + "/b.fxp").c_str()));
    }
    OpenVela v;
    auto mains = [&](int on) { v.e->dispatcher(v.e, effMainsChanged, 0, on, nullptr, 0.0f); };
    mains(1);
    EXPECT_EQ(v.glo()->getParaVal(0, G::gpMainVol), -50) << "the first preset at start-up";
    v.vela->setInsPrg(0, 1);
    ASSERT_EQ(v.glo()->getParaVal(0, G::gpMainVol), -100);
    for (int round = 0; round < 2; ++round) {
        mains(0);
        mains(1);
        EXPECT_EQ(v.e->dispatcher(v.e, effGetProgram, 0, 0, nullptr, 0.0f), 1) << "round " << round;
        EXPECT_EQ(v.glo()->getParaVal(0, G::gpMainVol), -100) << "round " << round;
    }
    mains(0);
}

TEST(VelaPrograms, VersionTextOfBothBuilds)
{
    for (bool is51 : {true, false}) {
        OpenVela v(is51);
        Vdx::String_c text;
        v.vela->getSysGlo()->getParaString(0, SysGloPara::VersionString, &text);
        EXPECT_STREQ(text.c_str(), is51 ? "3.6.5 - 5.1 Surround" : "3.6.5 - Stereo");
    }
    // Opening writes it; a 5.1 build in a host that connects two outputs
    // reads "Stereo" once the outputs are validated.
    OpenVela v(true);
    v.host.connectedPins = 0x3u;
    v.vela->validateOutputs();
    Vdx::String_c text;
    v.vela->getSysGlo()->getParaString(0, SysGloPara::VersionString, &text);
    EXPECT_STREQ(text.c_str(), "3.6.5 - Stereo");
}
