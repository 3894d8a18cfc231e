// The editor's commands to the opened plug-in, without an editor: stepping
// through sample files, clearing (a question that headless runs answer
// "no"), page writes, the module file menus, SoundFont imports and the
// sample display's slider size.
#include "Vela.h"
#include "VelaSampleNames.h"

#include "Disk.h"
#include "EngineTestHost.h"
#include "OsLib.h"
#include "Parameter.h"
#include "TestSupport.h"
#include "VelaGlo.h"
#include "WaveRAM.h"
#include "WaveRAM2.h"
#include "WaveSample.h"
#include "WaveTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

using G = VelaGlo_c;
const std::string AlsaFolder = "/usr/share/sounds/alsa/";
const std::string Centre = AlsaFolder + "Front_Center.wav";
const std::string Left = AlsaFolder + "Front_Left.wav";
constexpr const char* SoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

struct OpenVela
{
    OpenVela()
    {
        vela = std::make_unique<Vela_c>(EngineTestHost::callback, false);
        e = vela->getAeffect();
        e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
        e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
        e->dispatcher(e, effSetBlockSize, 0, 256, nullptr, 0.0f);
    }
    std::string userFile(int k) { return VelaSampleNames::userFile(*vela, k); }
    std::string tableFile(int k) { return VelaSampleNames::tableFile(*vela, k); }
    std::string zoneFile(int m, int z) { return VelaSampleNames::zoneFile(*vela, m, z); }
    EngineTestHost host;
    std::unique_ptr<Vela_c> vela;
    AEffect* e = nullptr;
};

bool haveAlsa()
{
    return std::filesystem::exists(Centre) && std::filesystem::exists(Left);
}

} // namespace

TEST(VelaCommands, SampleSlotsStepClearAndRefuseUnknownSlots)
{
    if (!haveAlsa())
        GTEST_SKIP() << "no ALSA sample files";
    OpenVela v;
    v.vela->getUserSample(1)->setParaCharPtr(0, WaveRAM_c::wrFilename, Centre.c_str());
    ASSERT_EQ(v.userFile(1), Centre);

    EXPECT_TRUE(v.vela->processGUICmd(Vela_c::CmdNextSample, 1, 0, nullptr));
    EXPECT_EQ(v.userFile(1), Left);
    EXPECT_TRUE(v.vela->processGUICmd(Vela_c::CmdPreviousSample, 1, 0, nullptr));
    EXPECT_EQ(v.userFile(1), Centre);

    // Headless, the question is answered "no": handled, nothing cleared.
    EXPECT_TRUE(v.vela->processGUICmd(Vela_c::CmdClearSample, 1, 0, nullptr));
    EXPECT_EQ(v.userFile(1), Centre);
    EXPECT_EQ(v.vela->getUserSample(1)->getSampleCount(), 1);

    // No store answers to these slot numbers.
    for (int slot : {-1, 4, 5, 9, 12})
        for (int command : {Vela_c::CmdNextSample, Vela_c::CmdPreviousSample, Vela_c::CmdClearSample})
            EXPECT_FALSE(v.vela->processGUICmd(command, slot, 0, nullptr)) << command << " slot " << slot;
    EXPECT_EQ(v.userFile(1), Centre);
}

TEST(VelaCommands, LoopSamplerStepsTheShownZone)
{
    if (!haveAlsa())
        GTEST_SKIP() << "no ALSA sample files";
    OpenVela v;
    // The second display shows zone 2.
    v.vela->getGlobalPart()->setParaVal(0, G::gpSampleScrolling0 + 3 + 1, 2);
    v.vela->postprocessParaChange(0, v.vela->getGlobalPart(), G::gpSampleScrolling0 + 3 + 1);
    ASSERT_EQ(v.vela->getShownZone(1), 2);
    WaveRAM2_c* store = v.vela->getMultiSample(1);
    store->setParaCharPtr(0, WaveRAM2_c::zonePara(2, WaveRAM2_c::zpFilename), Centre.c_str());
    ASSERT_EQ(v.zoneFile(1, 2), Centre);

    EXPECT_TRUE(v.vela->processGUICmd(Vela_c::CmdNextSample, 11, 0, nullptr));
    EXPECT_EQ(v.zoneFile(1, 2), Left);
    EXPECT_EQ(v.zoneFile(1, 0), "");
    EXPECT_EQ(v.zoneFile(0, 2), "");
    EXPECT_TRUE(v.vela->processGUICmd(Vela_c::CmdClearSample, 11, 0, nullptr)); // "no"
    EXPECT_EQ(v.zoneFile(1, 2), Left);
}

TEST(VelaCommands, WaveTableCommandsClampTheStore)
{
    if (!haveAlsa())
        GTEST_SKIP() << "no ALSA sample files";
    OpenVela v;
    for (int k = 0; k < 4; ++k)
        v.vela->getWaveTable(k)->setParaCharPtr(0, WaveTable_c::wtFilename, Centre.c_str());
    // Value 7 means store 4 (index 3); the others stay.
    EXPECT_TRUE(v.vela->processGUICmd(Vela_c::CmdNextWaveTable, -1, 7, nullptr));
    EXPECT_EQ(v.tableFile(3), Left);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(v.tableFile(k), Centre) << k;
    // Value -3 means store 1.
    v.vela->getWaveTable(0)->setParaCharPtr(0, WaveTable_c::wtFilename, Left.c_str());
    EXPECT_TRUE(v.vela->processGUICmd(Vela_c::CmdPreviousWaveTable, -1, -3, nullptr));
    EXPECT_EQ(v.tableFile(0), Centre);
    EXPECT_TRUE(v.vela->processGUICmd(Vela_c::CmdClearWaveTable, -1, 3, nullptr)); // "no"
    EXPECT_EQ(v.tableFile(3), Left);
}

TEST(VelaCommands, PageWritesAndUnknownCommands)
{
    OpenVela v;
    for (int k = 0; k < 2; ++k) {
        EXPECT_TRUE(v.vela->processGUICmd(Vela_c::CmdVarType0 + k, 0, 1, nullptr));
        EXPECT_EQ(v.vela->getGlobalPart()->getParaVal(0, G::gpVarType0 + k), 1) << k;
        EXPECT_TRUE(v.vela->processGUICmd(Vela_c::CmdVarType0 + k, 0, 0, nullptr));
        EXPECT_EQ(v.vela->getGlobalPart()->getParaVal(0, G::gpVarType0 + k), 0) << k;
    }
    EXPECT_TRUE(v.vela->processGUICmd(Vela_c::CmdEditPage, 0, 3, nullptr));
    EXPECT_EQ(v.vela->getParaVal(603), 3);
    // A number neither the plug-in nor the engine knows.
    EXPECT_FALSE(v.vela->processGUICmd(77, 0, 0, nullptr));
}

TEST(VelaCommands, FileMenuItemsMapToModuleFileModes)
{
    // Generator slot 1 plays the oscillator (module 52). Copy keeps its
    // values, Paste brings them back, Init resets them; Load and Save ask
    // for a file, which headless runs never get, and change nothing.
    OpenVela v;
    G* glo = v.vela->getGlobalPart();
    glo->setParaVal(0, G::gpGenType0, 0);
    Part_c* osc = v.vela->getModule(52);
    ASSERT_NE(osc, nullptr);
    constexpr int Para = 12;
    const int def = osc->getParaVal(0, Para);
    Parameter_c* p = osc->getParaPtr(0, Para);
    ASSERT_NE(p, nullptr);
    const int a = def == p->getHighValue() ? p->getLowValue() : p->getHighValue();
    osc->setParaVal(0, Para, a);

    struct Step
    {
        int item;
        int before; // the module's value just before the item
        int after;
    };
    const int b = (a + def) / 2 == a ? def : (a + def) / 2;
    const Step steps[] = {
        {2, a, a},   // Copy (clipboard 1)
        {0, b, b},   // Load: no file chosen
        {3, b, a},   // Paste (clipboard 1)
        {1, a, a},   // Save: no file chosen
        {4, a, def}, // Init: reset, not a copy to clipboard 2
    };
    for (const Step& s : steps) {
        osc->setParaVal(0, Para, s.before);
        glo->setParaVal(0, G::gpFileIOGen0, s.item);
        v.vela->postprocessParaChange(0, glo, G::gpFileIOGen0);
        EXPECT_EQ(osc->getParaVal(0, Para), s.after) << "item " << s.item;
    }
}

TEST(VelaCommands, SoundFontImportKeepsZonesOfABadFile)
{
    if (!std::filesystem::exists(SoundFont))
        GTEST_SKIP() << "no SoundFont";
    OpenVela v;
    WaveRAM2_c* store = v.vela->getMultiSample(0);
    v.vela->importSF2(0, 0, Tool::Disk::Path_c(SoundFont));
    int filled = 0;
    std::vector<std::string> names;
    std::vector<int> frames;
    for (int z = 0; z < WaveRAM2_c::NumZones; ++z) {
        WaveSample_c* s = store->getSample(0, z);
        frames.push_back(s ? s->frames : 0);
        names.push_back(v.zoneFile(0, z));
        filled += frames.back() > 0;
    }
    ASSERT_GT(filled, 0);

    // A truncated copy does not parse: every zone stays.
    TestSupport::TempDir dir;
    const std::string cut = dir.file("cut.sf2");
    {
        std::ifstream in(SoundFont, std::ios::binary);
        std::vector<char> bytes(200000);
        in.read(bytes.data(), std::streamsize(bytes.size()));
        std::ofstream out(cut, std::ios::binary);
        out.write(bytes.data(), in.gcount());
    }
    v.vela->importSF2(0, 0, Tool::Disk::Path_c(cut.c_str()));
    for (int z = 0; z < WaveRAM2_c::NumZones; ++z) {
        WaveSample_c* s = store->getSample(0, z);
        EXPECT_EQ(s ? s->frames : 0, frames[z]) << z;
        EXPECT_EQ(v.zoneFile(0, z), names[z]) << z;
    }
    // Sampler numbers are clamped: 5 is the second store.
    v.vela->importSF2(0, 5, Tool::Disk::Path_c(SoundFont));
    ASSERT_NE(v.vela->getMultiSample(1)->getSample(0, 0), nullptr);
    EXPECT_GT(v.vela->getMultiSample(1)->getSample(0, 0)->frames, 0);
}

TEST(VelaCommands, SoundFontEnvelopeGoesToTheAmpEnvelope)
{
    OpenVela v;
    Part_c* amp = v.vela->getModule(50);
    ASSERT_NE(amp, nullptr);
    const int before[] = {amp->getParaVal(0, 1), amp->getParaVal(0, 2), amp->getParaVal(0, 3), amp->getParaVal(0, 5)};
    v.vela->setSF2Mod(0, nullptr);
    EXPECT_EQ(amp->getParaVal(0, 1), before[0]);

    int values[] = {3, 7, 500, 11};
    v.vela->setSF2Mod(0, values);
    const int targets[] = {1, 2, 3, 5};
    for (int i = 0; i < 4; ++i) {
        const Parameter_c* p = amp->getParaPtr(0, targets[i]);
        EXPECT_EQ(amp->getParaVal(0, targets[i]), std::clamp(values[i], p->getLowValue(), p->getHighValue())) << i;
    }
    int huge[] = {1 << 30, 1 << 30, 1 << 30, 1 << 30};
    v.vela->setSF2Mod(0, huge);
    for (int t : targets)
        EXPECT_EQ(amp->getParaVal(0, t), amp->getParaPtr(0, t)->getHighValue()) << t;
}

TEST(VelaCommands, SliderSizeFollowsZoomAndSampleLength)
{
    OpenVela v;
    G* glo = v.vela->getGlobalPart();
    struct Case
    {
        int frames;
        double size;
    };
    for (const Case& c : {Case{3170, 0.1}, Case{100, 1.0}, Case{31700, 0.01}}) {
        std::vector<int16_t> data(size_t(c.frames), 1000);
        ASSERT_TRUE(v.vela->getMultiSample(0)->setSample(0, 0, data.data(), c.frames, 44100));
        glo->setPara01(0, G::gpSDZoom0, 0.0f);
        v.vela->setSliderSize(0, 0);
        EXPECT_NEAR(glo->getPara01(0, G::gpSDSliderSize0), c.size, 0.002) << c.frames;
    }
    // An empty shown zone leaves the size as it is.
    glo->setPara01(0, G::gpSDSliderSize0 + 1, 0.5f);
    v.vela->setSliderSize(0, 1);
    EXPECT_NEAR(glo->getPara01(0, G::gpSDSliderSize0 + 1), 0.5, 0.002);
}

TEST(VelaCommands, ClearAsksAndOnlyAYesEmptiesTheStore)
{
    if (!haveAlsa())
        GTEST_SKIP() << "no ALSA sample files";
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "yes" : "no");
        OpenVela v;
        int asked = 0;
        OsLib_c::setPanelHook([&](const std::string& title, const std::string& message, bool ask) {
            asked += ask && title == "Clear Sample" && message == "Do you want to unload the sample ?";
            return yes;
        });
        v.vela->getUserSample(0)->setParaCharPtr(0, WaveRAM_c::wrFilename, Centre.c_str());
        v.vela->getWaveTable(2)->setParaCharPtr(0, WaveTable_c::wtFilename, Centre.c_str());
        WaveRAM2_c* store = v.vela->getMultiSample(0);
        store->setParaCharPtr(0, WaveRAM2_c::zonePara(0, WaveRAM2_c::zpFilename), Left.c_str());
        store->setParaVal(0, WaveRAM2_c::zonePara(0, WaveRAM2_c::zpStartFrame), 100);
        store->setParaVal(0, WaveRAM2_c::zonePara(0, WaveRAM2_c::zpLoopStart), 200);
        store->setParaVal(0, WaveRAM2_c::zonePara(0, WaveRAM2_c::zpLoopEnd), 300);

        EXPECT_TRUE(v.vela->processGUICmd(Vela_c::CmdClearSample, 0, 0, nullptr));
        EXPECT_TRUE(v.vela->processGUICmd(Vela_c::CmdClearSample, 10, 0, nullptr));
        EXPECT_TRUE(v.vela->processGUICmd(Vela_c::CmdClearWaveTable, -1, 2, nullptr));
        // The questions wait on the panel thread; the answers act in the
        // next idle round.
        ASSERT_TRUE(v.vela->getPanels().waitShown(5000));
        OsLib_c::setPanelHook({});
        EXPECT_EQ(asked, 3);
        v.e->dispatcher(v.e, effIdle, 0, 0, nullptr, 0.0f);
        EXPECT_EQ(v.userFile(0), yes ? "" : Centre);
        EXPECT_EQ(v.vela->getUserSample(0)->getSampleCount(), yes ? 0 : 1);
        EXPECT_EQ(v.tableFile(2), yes ? "" : Centre);
        EXPECT_EQ(v.zoneFile(0, 0), yes ? "" : Left);
        for (int k : {WaveRAM2_c::zpStartFrame, WaveRAM2_c::zpLoopStart, WaveRAM2_c::zpLoopEnd}) {
            if (yes) {
                EXPECT_EQ(store->getParaVal(0, WaveRAM2_c::zonePara(0, k)), 0) << k;
            }
        }
    }
}

TEST(VelaCommands, TrimsCutTheSampleAndKeepTheRide)
{
    if (!haveAlsa())
        GTEST_SKIP() << "no ALSA sample files";
    TestSupport::TempDir dir;
    OpenVela v;
    G* glo = v.vela->getGlobalPart();
    // User-sample slot 2 keeps its middle half (saved as AIFF).
    WaveRAM_c* user = v.vela->getUserSample(1);
    user->setParaCharPtr(0, WaveRAM_c::wrFilename, Centre.c_str());
    const int frames = user->getSample()->frames;
    user->setParaVal(0, WaveRAM_c::wrStartFrame, 250);
    user->setParaVal(0, WaveRAM_c::wrEndFrame, 750);
    const std::string cut = dir.file("cut.aif");
    glo->setParaCharPtr(0, G::gpExportSample0 + 1, cut.c_str());
    v.vela->trim(0, G::gpExportSample0 + 1);
    ASSERT_TRUE(std::filesystem::exists(cut));
    EXPECT_EQ(v.userFile(1), cut);
    EXPECT_NEAR(user->getSample()->frames, frames / 2, frames / 100 + 2);

    // Wavetable store 3 keeps its first half; the ride scales with it.
    WaveTable_c* table = v.vela->getWaveTable(2);
    table->setParaCharPtr(0, WaveTable_c::wtFilename, Centre.c_str());
    table->setParaVal(0, WaveTable_c::wtStartFrame, 0);
    table->setParaVal(0, WaveTable_c::wtEndFrame, 500);
    Part_c* generator = v.vela->getModule(62);
    ASSERT_NE(generator, nullptr);
    generator->setParaVal(0, 6, 80);
    const std::string cutTable = dir.file("cut-table.aif");
    glo->setParaCharPtr(0, G::gpExportWTG0 + 2, cutTable.c_str());
    v.vela->trimWT(0, G::gpExportWTG0 + 2);
    EXPECT_TRUE(std::filesystem::exists(cutTable));
    EXPECT_NEAR(generator->getParaVal(0, 6), 40, 1);
    // Without a path nothing is cut and the ride stays (factor 1).
    glo->setParaCharPtr(0, G::gpExportWTG0 + 2, "");
    v.vela->trimWT(0, G::gpExportWTG0 + 2);
    EXPECT_EQ(generator->getParaVal(0, 6), 40);
}

TEST(VelaCommands, ScaledRideStaysDefined)
{
    struct Case
    {
        int ride;
        float factor;
        int expect;
    };
    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {80, 0.5f, 40},  {80, 1.0f, 80},  {-80, 0.5f, -39}, {3, 0.25f, 1},  {0, 7.0f, 0},
        {80, std::nanf(""), 80}, {80, inf, 80}, {-80, -inf, -80}, {1000000, 1.0e6f, 1000000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Vela_c::scaledRide(c.ride, c.factor), c.expect) << c.ride << " x " << c.factor;
}

TEST(VelaCommands, AuditionedNoteSoundsClamped)
{
    // An out-of-range note through the command entry: clamped to 127/127,
    // it plays on the first instrument.
    OpenVela v;
    v.e->dispatcher(v.e, effMainsChanged, 0, 1, nullptr, 0.0f);
    std::vector<float> l(256), r(256);
    float* out[] = {l.data(), r.data()};
    auto peak = [&](int blocks) {
        float p = 0.0f;
        for (int b = 0; b < blocks; ++b) {
            v.e->processReplacing(v.e, nullptr, out, 256);
            for (float x : l) {
                EXPECT_TRUE(std::isfinite(x));
                p = std::max(p, std::fabs(x));
            }
        }
        return p;
    };
    const float quiet = peak(4);
    Note_c note;
    note.note = 60;
    note.velocity = 300;
    EXPECT_TRUE(v.vela->processGUICmd(61, 3, 0, &note));
    EXPECT_GT(peak(20), std::max(0.01f, 10.0f * quiet));
    v.e->dispatcher(v.e, effMainsChanged, 0, 0, nullptr, 0.0f);
}
