// Missing samples: the search under remembered folders, the questions and
// the ask flag, the locate dialog, and a preset whose sample is gone still
// loading the rest.
#include "MultiSampleRig.h"

#include "FileDialog.h"
#include "ModuleManagerDoubles.h"
#include "OsLib.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace MultiTest;

namespace {

int para(int z, int k)
{
    return WaveRAM2_c::zonePara(z, k);
}

// The memory with the folder payloads it sends in reach.
struct ProbeMemory : WaveRAM2_c
{
    void sendGroupData(PSUData_i& data) override
    {
        if (auto* s = dynamic_cast<SearchPathInfo_c*>(&data))
            foundFolders.push_back(s->path.getString());
    }
    std::vector<std::string> foundFolders;
};

struct Panel
{
    std::string title, message;
    bool ask;
};

// Panels and dialogs answered by a script; every panel is recorded.
class MissingSample : public testing::Test
{
protected:
    MissingSample()
    {
        OsLib_c::setPanelHook([this](const std::string& title, const std::string& message, bool ask) {
            panels.push_back({title, message, ask});
            return answerYes;
        });
        FileDialog_c::setPanelRunner([this](const std::vector<std::string>&) {
            ++dialogs;
            if (choices.empty())
                return FileDialog_c::PanelAnswer();
            FileDialog_c::PanelAnswer a{true, choices.front()};
            choices.erase(choices.begin());
            return a;
        });
    }
    ~MissingSample() override
    {
        OsLib_c::setPanelHook({});
        FileDialog_c::setPanelRunner({});
    }

    std::string makeWav(const std::string& relative)
    {
        const std::string path = dir.file(relative);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        writeWav(path, sineWave(2000, 441.0, 44100.0));
        return path;
    }

    TestSupport::TempDir dir;
    TestSupport::ScopedEnv config{"XDG_CONFIG_HOME", dir.file("config").c_str()};
    std::vector<Panel> panels;
    bool answerYes = false;
    int dialogs = 0;
    std::vector<std::string> choices;
};

} // namespace

TEST_F(MissingSample, TheShortestTailIsTriedFirstInEachRememberedFolder)
{
    const Tool::Disk::Path_c missing("/old/Kits/Drums/kick.wav");
    struct Case
    {
        std::vector<std::string> present; // under new/Drums
        const char* found;                // relative to new/Drums; null: none
    } cases[] = {
        {{"kick.wav", "Drums/kick.wav"}, "kick.wav"},
        {{"Drums/kick.wav", "Kits/Drums/kick.wav"}, "Drums/kick.wav"},
        {{"Kits/Drums/kick.wav", "old/Kits/Drums/kick.wav"}, "Kits/Drums/kick.wav"},
        {{"old/Kits/Drums/kick.wav"}, "old/Kits/Drums/kick.wav"},
        {{"Drums/snare.wav"}, nullptr},
    };
    int round = 0;
    for (const Case& c : cases) {
        const std::string base = "case" + std::to_string(round++) + "/new/Drums/";
        for (const std::string& p : c.present)
            makeWav(base + p);
        WaveRAM2_c m;
        m.addSearchPath(Tool::Disk::Path_c(dir.file(base).c_str()));
        Tool::Disk::Path_c found;
        const bool ok = m.autoLocateSample(missing, found);
        EXPECT_EQ(ok, c.found != nullptr) << base;
        if (c.found) {
            EXPECT_EQ(found.getString(), Tool::Disk::Path_c(dir.file(base + c.found).c_str()).getString());
        }
    }
}

TEST_F(MissingSample, RememberedFoldersAreSearchedInTheirOrder)
{
    makeWav("first/Kits/kick.wav");
    makeWav("second/kick.wav");
    WaveRAM2_c m;
    m.addSearchPath(Tool::Disk::Path_c(dir.file("first").c_str()));
    m.addSearchPath(Tool::Disk::Path_c(dir.file("second").c_str()));
    Tool::Disk::Path_c found;
    ASSERT_TRUE(m.autoLocateSample(Tool::Disk::Path_c("/gone/Kits/kick.wav"), found));
    EXPECT_EQ(found.getString(), Tool::Disk::Path_c(dir.file("first/Kits/kick.wav").c_str()).getString());
}

TEST_F(MissingSample, SetSampleFindsAMovedFileWithoutAsking)
{
    const std::string moved = makeWav("library/Kits/kick.wav");
    WaveRAM2_c m;
    m.addSearchPath(Tool::Disk::Path_c(dir.file("library").c_str()));
    EXPECT_TRUE(m.setSample(0, 5, Tool::Disk::Path_c("/old/Kits/kick.wav")));
    EXPECT_TRUE(m.waveSampleHasData(0, 5));
    EXPECT_EQ(std::string(m.getSampleFilename(0, 5)), Tool::Disk::Path_c(moved.c_str()).getString());
    EXPECT_TRUE(panels.empty());
}

TEST_F(MissingSample, AnsweringNoSilencesLaterQuestions)
{
    WaveRAM2_c m;
    EXPECT_FALSE(m.setSample(0, 0, Tool::Disk::Path_c("/gone/a.wav")));
    ASSERT_EQ(panels.size(), 2u);
    EXPECT_EQ(panels[0].title, "File error");
    EXPECT_EQ(panels[0].message, "/gone/a.wav not found! Do you want to manually locate this sample?");
    EXPECT_EQ(panels[1].title, "Sample Missing");
    EXPECT_EQ(panels[1].message, "Do you want to display this message for other missing samples?");
    EXPECT_FALSE(m.getFlagAskForMissing());
    EXPECT_FALSE(m.setSample(0, 1, Tool::Disk::Path_c("/gone/b.wav")));
    EXPECT_EQ(panels.size(), 2u);
    EXPECT_EQ(dialogs, 0);
}

TEST_F(MissingSample, ACorruptFileIsReportedOnceWithoutADialog)
{
    const std::string path = dir.file("broken.wav");
    TestSupport::writeFile(path, "RIFF....WAVEjunk");
    WaveRAM2_c m;
    answerYes = true;
    EXPECT_FALSE(m.setSample(0, 0, Tool::Disk::Path_c(path.c_str())));
    ASSERT_EQ(panels.size(), 1u);
    EXPECT_EQ(panels[0].title, "File Error - Load failed");
    EXPECT_EQ(panels[0].message, path + " could not be loaded! Corrupted file or unknown format!");
    EXPECT_FALSE(panels[0].ask);
    EXPECT_EQ(dialogs, 0);
}

TEST_F(MissingSample, TheDialogReopensUntilAFileLoadsAndRemembersItsFolder)
{
    const std::string good = makeWav("found/here/kick.wav");
    const std::string broken = dir.file("found/broken.wav");
    TestSupport::writeFile(broken, "not a sample");
    ModuleTest::RecordingSynth engine; // its panel queue shows the chain
    ProbeMemory m;
    m.synth = &engine;
    answerYes = true;
    choices = {broken, good};
    int ended = 0;
    EXPECT_FALSE(m.handleMissingSample(
        0, 2, Tool::Disk::Path_c("/gone/kick.wav"),
        [&m](const Tool::Disk::Path_c& file) { return m.setSampleCore(0, 2, file); }, [&] { ++ended; }));
    EXPECT_EQ(ended, 0) << "the search waits for the user, not this call";
    ASSERT_TRUE(TestSupport::answerPanels(engine.getPanels()));
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(dialogs, 2);
    ASSERT_EQ(panels.size(), 1u) << "asked once; the dialog reopens without another question";
    EXPECT_EQ(panels[0].title, "File error");
    EXPECT_TRUE(m.waveSampleHasData(0, 2));
    EXPECT_EQ(std::string(m.getSampleFilename(0, 2)), Tool::Disk::Path_c(good.c_str()).getString());
    const std::string folder = Tool::Disk::Path_c(good.c_str()).getParent().getString();
    ASSERT_EQ(m.getSearchPaths().size(), 1u);
    EXPECT_EQ(m.getSearchPaths()[0].getString(), folder);
    EXPECT_EQ(m.foundFolders, std::vector<std::string>{folder});
    m.synth = nullptr;
}

TEST_F(MissingSample, ANoOrACancelAsksAboutOtherMissingSamples)
{
    struct Case
    {
        const char* what;
        bool yes;    // every question's answer
        int dialogs; // dialogs shown
    };
    const Case cases[] = {
        {"No to locating it", false, 0},
        {"Yes, then the dialog cancelled", true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        panels.clear();
        dialogs = 0;
        ModuleTest::RecordingSynth engine;
        WaveRAM2_c m;
        m.synth = &engine;
        answerYes = c.yes;
        int ended = 0;
        m.handleMissingSample(
            0, 2, Tool::Disk::Path_c("/gone/kick.wav"),
            [&m](const Tool::Disk::Path_c& file) { return m.setSampleCore(0, 2, file); }, [&] { ++ended; });
        ASSERT_TRUE(TestSupport::answerPanels(engine.getPanels()));
        EXPECT_EQ(ended, 1);
        EXPECT_EQ(dialogs, c.dialogs);
        ASSERT_EQ(panels.size(), 2u);
        EXPECT_EQ(panels[1].title, "Sample Missing");
        EXPECT_EQ(panels[1].message, "Do you want to display this message for other missing samples?");
        EXPECT_EQ(m.getFlagAskForMissing(), c.yes);
        EXPECT_FALSE(m.waveSampleHasData(0, 2));
        m.synth = nullptr;
    }
}

TEST_F(MissingSample, APresetWithAMissingSampleStillLoadsTheOthers)
{
    const std::string present = makeWav("kit/snare.wav");
    WaveRAM2_c m;
    Parameter_c* p = m.getParaSet()->getParaPtr(0);
    p[para(0, WaveRAM2_c::zpFilename)].setPath(Tool::Disk::Path_c("/gone/kick.wav"));
    p[para(1, WaveRAM2_c::zpFilename)].setPath(Tool::Disk::Path_c(present.c_str()));
    m.postprocessParaChange(0, -1);
    EXPECT_FALSE(m.waveSampleHasData(0, 0));
    EXPECT_TRUE(m.waveSampleHasData(0, 1));
    EXPECT_STREQ(m.getSampleFilename(0, 0), "/gone/kick.wav");
    EXPECT_EQ(dialogs, 0); // the preset path neither asks nor searches:
    EXPECT_TRUE(panels.empty());
    EXPECT_EQ(m.takeMissingZones(), 1u); // it marks the zone for the idle search
    EXPECT_EQ(m.takeMissingZones(), 0u);
}

TEST_F(MissingSample, ReBasingKeepsAPlaceFoundInNeitherFolderAndMovesSoundFontZonesWithTheirFile)
{
    const std::string kick = makeWav("library/kick.wav"); // where the preset says, not beside it
    makeWav("presets/snare.wav");
    TestSupport::writeFile(dir.file("presets/kit.sf2"), "RIFF");
    WaveRAM2_c m;
    m.setFlagLoadEnabled(false);
    const struct
    {
        std::string stored, rebased;
    } cases[] = {
        {kick, kick},
        {"/gone/snare.wav", dir.file("presets/snare.wav")},
        {"/gone/lost.wav", "/gone/lost.wav"},
        {"/gone/kit.sf2/3/Low", dir.file("presets/kit.sf2/3/Low")},
    };
    for (size_t z = 0; z < std::size(cases); ++z)
        m.setParaCharPtr(0, para(int(z), WaveRAM2_c::zpFilename), cases[z].stored.c_str());
    m.swapDirectory(Tool::Disk::Path_c(dir.file("presets").c_str()), 0, 0);
    for (size_t z = 0; z < std::size(cases); ++z)
        EXPECT_EQ(std::string(m.getSampleFilename(0, int(z))), Tool::Disk::Path_c(cases[z].rebased.c_str()).getString())
            << cases[z].stored;
}
