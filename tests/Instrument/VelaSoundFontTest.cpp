// A SoundFont imported into a loop sampler survives what a musician does
// with the program: a host save and a restore into a new plug-in instance,
// an FXP export and import, with the zone edits made after the import kept;
// and when the SoundFont has moved, the missing-sample search finds it from
// an idle pass, never inside the load that found it missing.
#include "SoundFontPluginRig.h"

#include "SignalMeasure.h"
#include "TestSupport.h"
#include "WaveSample.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

using namespace SoundFontRig;
using namespace SF2Bytes;
using MultiTest::pcm16;
using MultiTest::sineWave;

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
        // The question waits on the panel thread, not in the idle call.
        ASSERT_TRUE(b.vela->getPanels().waitShown(5000));
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
        // Each answer is taken up by a later idle round.
        for (int wait = 0; wait < 300 && b.zonesWithData() < 2; ++wait) {
            if (hostIdle)
                b.call(effIdle);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
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
