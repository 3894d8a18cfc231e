// The multisample memory: sharing of one file between zones, the zone
// parameters' side effects, alternation groups and the velocity crossfade.
#include "MultiSampleRig.h"

#include "EngineFigures.h"
#include "EngineTestHost.h"
#include "OsLib.h"
#include "Parameter.h"
#include "Synth.h"
#include "WaveSample.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace MultiTest;

namespace {

int para(int z, int k)
{
    return WaveRAM2_c::zonePara(z, k);
}

// A memory whose zones 0..n-1 hold a short sine each, all over the whole
// keyboard.
void fillZones(WaveRAM2_c& m, int n)
{
    const std::string bytes = pcm16(sineWave(1000, 441.0, 44100.0));
    for (int z = 0; z < n; ++z)
        ASSERT_TRUE(m.setSample(0, z, bytes.data(), 1000, 44100));
}

// The zone whose sample a layer is.
int zoneOf(WaveRAM2_c& m, const WaveSample_c* s)
{
    for (int z = 0; z < WaveRAM2_c::NumZones; ++z)
        if (m.getSample(0, z) == s)
            return z;
    return -1;
}

// The zone the next note at key 60 plays (the first layer).
int playNote(WaveRAM2_c& m, int key = 60, int velocity = 100)
{
    WaveSample_c* layers[SamLoop_c::MaxLayers + 1] = {};
    m.prepProcWR(0, ProcTest::noteOf(key, velocity), layers, SamLoop_c::MaxLayers);
    return layers[0] ? zoneOf(m, layers[0]) : -1;
}

} // namespace

TEST(WaveRAM2, SetDefinesEveryZoneParameter)
{
    WaveRAM2_c m;
    ASSERT_NE(m.getParaSet(), nullptr);
    char name[ParaNameBufferBytes];
    m.getParaName(0, para(63, WaveRAM2_c::zpDelay), name);
    EXPECT_STREQ(name, "Delay");
    m.getParaName(0, WaveRAM2_c::ParaAltMode, name);
    EXPECT_STREQ(name, "Alt Mode");
    EXPECT_EQ(m.getParaVal(0, para(5, WaveRAM2_c::zpRoot)), 60);
    EXPECT_EQ(m.getParaVal(0, para(5, WaveRAM2_c::zpLoopModRange)), 10);
    EXPECT_EQ(m.getParaVal(0, WaveRAM2_c::ipVersion), 300);
    EXPECT_EQ(m.getSample(1, 0), nullptr);
    EXPECT_EQ(m.getSample(0, 64), nullptr);
}

TEST(WaveRAM2, ZonesLoadingOneFileShareItUntilOneChangesIt)
{
    TestSupport::TempDir dir;
    const std::string file = dir.file("loop.wav");
    writeWav(file, sineWave(4000, 441.0, 44100.0));
    WaveRAM2_c m;
    m.setParaPath(0, para(3, WaveRAM2_c::zpFilename), Tool::Disk::Path_c(file.c_str()));
    m.setParaPath(0, para(7, WaveRAM2_c::zpFilename), Tool::Disk::Path_c(file.c_str()));
    WaveSample_c* z3 = m.getSample(0, 3);
    WaveSample_c* z7 = m.getSample(0, 7);
    ASSERT_EQ(z3->frames, 4000);
    EXPECT_TRUE(z3->info.isMaster());
    EXPECT_TRUE(z7->info.isVirtual());
    EXPECT_EQ(z7->left, z3->left); // read once
    EXPECT_TRUE(z3->jFlag);
    const std::vector<float> before(z7->left, z7->left + z7->frames);

    m.setParaVal(0, para(3, WaveRAM2_c::zpReverse), 1);
    EXPECT_NE(z7->left, z3->left);
    EXPECT_FALSE(z7->info.isVirtual());
    EXPECT_EQ(std::vector<float>(z7->left, z7->left + z7->frames), before); // still in file order
    EXPECT_TRUE(z3->reversedFlag);

    // Freeing the zones leaves nothing borrowed behind.
    m.freeSample(0, 3);
    EXPECT_EQ(z3->left, nullptr);
    EXPECT_NE(z7->left, nullptr);
}

TEST(WaveRAM2, ZoneHiOf128IsAResetCommand)
{
    struct Case
    {
        bool singleKeyZone;
        int zoneLo, zoneHi; // expected after setting Zone Hi to 128
    } cases[] = {
        {false, 40, 127}, // the range reopens to the top
        {true, 0, 128},   // a single-key zone goes back to covering everything below
    };
    for (const Case& c : cases) {
        WaveRAM2_c m;
        m.setFlagSingleKeyZone(c.singleKeyZone);
        m.setParaVal(0, para(2, WaveRAM2_c::zpZoneLo), 40);
        m.setParaVal(0, para(2, WaveRAM2_c::zpZoneHi), 128);
        EXPECT_EQ(m.getParaVal(0, para(2, WaveRAM2_c::zpZoneLo)), c.zoneLo) << c.singleKeyZone;
        EXPECT_EQ(m.getParaVal(0, para(2, WaveRAM2_c::zpZoneHi)), c.zoneHi) << c.singleKeyZone;
    }
}

TEST(WaveRAM2, KeySyncGivesEveryZoneTheEditedKeyEdge)
{
    struct Case
    {
        int para;
        int32_t WaveSample_c::*field;
        int value;
    } cases[] = {
        {WaveRAM2_c::zpZoneLo, &WaveSample_c::keyLow, 40},
        {WaveRAM2_c::zpZoneHi, &WaveSample_c::keyHigh, 90},
    };
    for (const Case& c : cases) {
        for (const bool sync : {false, true}) {
            WaveRAM2_c m;
            const int untouched = m.getParaVal(0, para(5, c.para));
            m.setParaVal(0, WaveRAM2_c::ipKeySync, sync ? 1 : 0);
            m.setParaVal(0, para(2, c.para), c.value);
            for (int z = 0; z < WaveRAM2_c::NumZones; ++z) {
                const int expected = sync || z == 2 ? c.value : untouched;
                EXPECT_EQ(m.getParaVal(0, para(z, c.para)), expected) << c.para << " " << sync << " " << z;
                if (sync || z == 2) {
                    EXPECT_EQ(m.getSample(0, z)->*c.field, c.value) << c.para << " " << sync << " " << z;
                }
            }
        }
    }
}

TEST(WaveRAM2, UserStartBeyondTheSampleIsClampedAndTheLoopFollows)
{
    WaveRAM2_c m;
    fillZones(m, 1);
    m.setParaVal(0, para(0, WaveRAM2_c::zpLoopEnd), 900);
    m.setParaVal(0, para(0, WaveRAM2_c::zpLoopStart), 10);
    m.clearAllSampleLimits(0);
    m.setParaVal(0, para(0, WaveRAM2_c::zpStartFrame), 5000000);
    const int start = m.getParaVal(0, para(0, WaveRAM2_c::zpStartFrame));
    EXPECT_LE(start, 999);
    EXPECT_GT(start, 800);
    EXPECT_EQ(m.getSample(0, 0)->start, start);
    EXPECT_GE(m.getParaVal(0, para(0, WaveRAM2_c::zpLoopStart)), start - 0);
    EXPECT_LE(m.getParaVal(0, para(0, WaveRAM2_c::zpLoopStart)), m.getParaVal(0, para(0, WaveRAM2_c::zpLoopEnd)));
}

TEST(WaveRAM2, StoredLoopPointsWinOnAPresetLoadAndTheFileLoopOnAUserChoice)
{
    TestSupport::TempDir dir;
    const std::string file = dir.file("looped.wav");
    writeWav(file, sineWave(4000, 441.0, 44100.0), 44100, 1000, 3000);
    {
        WaveRAM2_c m;
        m.setParaPath(0, para(0, WaveRAM2_c::zpFilename), Tool::Disk::Path_c(file.c_str()));
        EXPECT_EQ(m.getSample(0, 0)->loopStart, 1000);
        EXPECT_EQ(m.getSample(0, 0)->loopEnd, 3000);
    }
    {
        WaveRAM2_c m;
        m.setFlagLoadEnabled(false);
        m.clearAllSampleLimits(0);
        Parameter_c* p = m.getParaSet()->getParaPtr(0);
        p[para(0, WaveRAM2_c::zpFilename)].setPath(Tool::Disk::Path_c(file.c_str()));
        p[para(0, WaveRAM2_c::zpLoopStart)].setVal(1500);
        p[para(0, WaveRAM2_c::zpLoopEnd)].setVal(2500);
        m.setFlagLoadEnabled(true);
        m.postprocessParaChange(0, -1); // as after a preset's chunk
        EXPECT_EQ(m.getSample(0, 0)->frames, 4000);
        EXPECT_EQ(m.getSample(0, 0)->loopStart, 1500);
        EXPECT_EQ(m.getSample(0, 0)->loopEnd, 2500);
    }
}

// A file the user picks gives the zone its loop, whichever chunks carry it:
// a sampler chunk (its end the last frame played), a cue point with a
// playlist segment, or AIFF markers named by the instrument chunk.
TEST(WaveRAM2, TheFilesLoopReachesTheZoneFromEveryLoopChunk)
{
    using namespace SampleBytes;
    const std::string pcm = pcm16(sineWave(4000, 441.0, 44100.0));
    std::string bigEndian;
    for (size_t i = 0; i < pcm.size(); i += 2)
        bigEndian += {pcm[i + 1], pcm[i]};
    const std::string fmt = riffChunk("fmt ", fmtBody(1, 1, 44100, 16));
    const std::string data = riffChunk("data", pcm);
    const std::string inst = aiffChunk("INST", std::string(8, '\0') + be16(1) + be16(1) + be16(2) + std::string(6, '\0'));
    const std::string mark = aiffChunk("MARK", be16(2) + be16(1) + be32(1000) + "\x01" "a" + be16(2) + be32(3000) + "\x01" "b");
    const struct
    {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"sampler.wav", wavFile(fmt + riffChunk("smpl", smplBody(1, 1000, 2999)) + data)},
        {"cue.wav", wavFile(fmt + riffChunk("cue ", cueBody(4, 1000)) + riffChunk("plst", plstBody(4, 2000)) + data)},
        {"markers.aif", formFile("AIFF", aiffChunk("COMM", commBody(1, 4000, 16, 44100)) + inst + mark
                                             + aiffChunk("SSND", ssndBody(bigEndian)))},
    };
    TestSupport::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir.file(c.name);
        TestSupport::writeFile(file, c.bytes);
        WaveRAM2_c m;
        m.setParaPath(0, para(0, WaveRAM2_c::zpFilename), Tool::Disk::Path_c(file.c_str()));
        ASSERT_EQ(m.getSample(0, 0)->frames, 4000);
        EXPECT_EQ(m.getParaVal(0, para(0, WaveRAM2_c::zpLoopStart)), 1000);
        EXPECT_EQ(m.getParaVal(0, para(0, WaveRAM2_c::zpLoopEnd)), 3000);
        EXPECT_EQ(m.getSample(0, 0)->loopStart, 1000);
        EXPECT_EQ(m.getSample(0, 0)->loopEnd, 3000);
    }
}

TEST(WaveRAM2, CyclingPlaysTheGroupInTurn)
{
    WaveRAM2_c m;
    fillZones(m, 3);
    m.setParaVal(0, para(1, WaveRAM2_c::zpAlterne), 1);
    m.setParaVal(0, para(2, WaveRAM2_c::zpAlterne), 1);
    EXPECT_EQ(m.getNumAlt(0), 3);
    EXPECT_EQ(playNote(m), 1);
    EXPECT_EQ(playNote(m), 2);
    EXPECT_EQ(playNote(m), 0);
    EXPECT_EQ(playNote(m), 1);
}

TEST(WaveRAM2, GroupMembersTakeTheFirstZonesRanges)
{
    WaveRAM2_c m;
    fillZones(m, 3);
    m.setParaVal(0, para(0, WaveRAM2_c::zpZoneLo), 50);
    m.setParaVal(0, para(0, WaveRAM2_c::zpZoneHi), 70);
    m.setParaVal(0, para(1, WaveRAM2_c::zpAlterne), 1);
    EXPECT_EQ(m.getParaVal(0, para(1, WaveRAM2_c::zpZoneLo)), 50);
    EXPECT_EQ(m.getParaVal(0, para(1, WaveRAM2_c::zpZoneHi)), 70);
    // Zone 0 has no zone before it: its switch goes off again.
    m.setParaVal(0, para(0, WaveRAM2_c::zpAlterne), 1);
    EXPECT_EQ(m.getParaVal(0, para(0, WaveRAM2_c::zpAlterne)), 0);
}

TEST(WaveRAM2, AShrunkGroupNeverPlaysOutsideItself)
{
    for (int mode : {WaveRAM2_c::amCycling, WaveRAM2_c::amRandom, WaveRAM2_c::amRandomPlus}) {
        WaveRAM2_c m;
        fillZones(m, 5);
        m.setParaVal(0, WaveRAM2_c::ParaAltMode, mode);
        for (int z = 1; z <= 4; ++z)
            m.setParaVal(0, para(z, WaveRAM2_c::zpAlterne), 1);
        // Play until the group's last choice is its last zone.
        for (int i = 0; i < 200 && playNote(m) != 4; ++i) {
        }
        m.setParaVal(0, para(2, WaveRAM2_c::zpAlterne), 0); // the group is now 0..1
        int previous = -1;
        for (int i = 0; i < 40; ++i) {
            const int z = playNote(m);
            EXPECT_TRUE(z == 0 || z == 1) << "mode " << mode << " chose " << z;
            if (mode == WaveRAM2_c::amRandomPlus && i > 0) {
                EXPECT_NE(z, previous) << "Random+ repeated";
            }
            previous = z;
        }
    }
}

TEST(WaveRAM2, TheLastZonesFormAGroupWithoutReadingPastTheSet)
{
    WaveRAM2_c m;
    const std::string bytes = pcm16(sineWave(1000, 441.0, 44100.0));
    ASSERT_TRUE(m.setSample(0, 62, bytes.data(), 1000, 44100));
    ASSERT_TRUE(m.setSample(0, 63, bytes.data(), 1000, 44100));
    EXPECT_EQ(playNote(m), 62);
    EXPECT_EQ(m.getNumAlt(63), 1);
    m.setParaVal(0, para(63, WaveRAM2_c::zpAlterne), 1);
    EXPECT_EQ(m.getNumAlt(62), 2);
    EXPECT_EQ(playNote(m), 63);
    EXPECT_EQ(playNote(m), 62);
}

TEST(WaveRAM2, OverlappingVelocityLayersCrossfade)
{
    WaveRAM2_c m;
    fillZones(m, 2);
    m.setParaVal(0, para(0, WaveRAM2_c::zpVeloHi), 100); // 1..100
    m.setParaVal(0, para(1, WaveRAM2_c::zpVeloLo), 60);  // 60..127
    WaveSample_c* layers[SamLoop_c::MaxLayers + 1] = {};
    ASSERT_EQ(m.prepProcWR(0, ProcTest::noteOf(60, 80), layers, SamLoop_c::MaxLayers), 2);
    // lo 60, hi 100: x = (1 - 60 + 80) / (2 - 60 + 100) = 21 / 42.
    EXPECT_NEAR(layers[0]->gain, 0.5f, 1e-6f);
    EXPECT_NEAR(layers[1]->gain, 0.5f, 1e-6f);
    EXPECT_EQ(layers[2], nullptr);
    // Outside the overlap only one layer sounds, at full gain.
    ASSERT_EQ(m.prepProcWR(0, ProcTest::noteOf(60, 30), layers, SamLoop_c::MaxLayers), 1);
    EXPECT_NEAR(layers[0]->gain, 1.0f, 1e-6f);
}

TEST(WaveRAM2, NoteStartSetsTheLayersPerNoteFields)
{
    WaveRAM2_c m;
    m.setSampleRate(48000.0f);
    fillZones(m, 1);
    m.setParaVal(0, para(0, WaveRAM2_c::zpRoot), 69);
    m.setParaVal(0, para(0, WaveRAM2_c::zpDelay), 100); // 10.0 ms
    m.setParaVal(0, para(0, WaveRAM2_c::zpVolume), -30); // -6 dB
    WaveSample_c* layers[SamLoop_c::MaxLayers + 1] = {};
    ASSERT_EQ(m.prepProcWR(0, ProcTest::noteOf(60, 100), layers, SamLoop_c::MaxLayers), 1);
    EXPECT_NEAR(layers[0]->rootFrequency, 440.0f, 0.01f);
    EXPECT_NEAR(layers[0]->rateRatio, 44100.0f / 440.0f, 0.01f);
    EXPECT_EQ(layers[0]->delay, 480);
    EXPECT_NEAR(layers[0]->gain, 0.5f, 0.003f);
    // Keys and velocities outside the zone, and other instruments, select
    // nothing.
    m.setParaVal(0, para(0, WaveRAM2_c::zpZoneHi), 59);
    EXPECT_EQ(m.prepProcWR(0, ProcTest::noteOf(60, 100), layers, SamLoop_c::MaxLayers), 0);
    EXPECT_EQ(m.prepProcWR(1, ProcTest::noteOf(40, 100), layers, SamLoop_c::MaxLayers), 0);
}

TEST(WaveRAM2, FreeAllSamplesEmptiesEveryZoneAndItsParameters)
{
    WaveRAM2_c m;
    fillZones(m, 3);
    m.setParaCharPtr(0, para(1, WaveRAM2_c::zpCmdLoadFilename), "");
    m.setParaVal(0, para(2, WaveRAM2_c::zpAlterne), 1);
    m.setParaVal(0, para(1, WaveRAM2_c::zpZoneLo), 30);
    m.freeAllSamples(0);
    EXPECT_FALSE(m.InsHasSamples(0));
    EXPECT_EQ(m.getParaVal(0, para(2, WaveRAM2_c::zpAlterne)), 0);
    EXPECT_EQ(m.getParaVal(0, para(1, WaveRAM2_c::zpZoneLo)), 0);
    EXPECT_STREQ(m.getSampleFilename(0, 1), "");
}

TEST(WaveRAM2, RawExportsCanBePickedAgain)
{
    WaveRAM2_c m;
    for (const char* ext : {"wav", "AIF", "aiff", "d4t", "D4U"})
        EXPECT_TRUE(m.isExtSupported(ext)) << ext;
    EXPECT_FALSE(m.isExtSupported("mp3"));
    EXPECT_NE(m.getSupportedFileTypes().find("d4u"), std::string::npos);
}

TEST(WaveRAM2, AFailedLoadLeavesTheZoneEmptyWithItsName)
{
    WaveRAM2_c m;
    m.setParaCharPtr(0, para(4, WaveRAM2_c::zpFilename), "/nowhere/at/all.wav");
    EXPECT_FALSE(m.waveSampleHasData(0, 4));
    EXPECT_STREQ(m.getSampleFilename(0, 4), "/nowhere/at/all.wav");
}

TEST(WaveRAM2, AFailedLoadIsReportedThroughTheEnginesQueue)
{
    // Parameter changes may come from any thread that sets parameters; only
    // the idle side shows the message.
    struct QueueEngine : Synth
    {
        QueueEngine()
            : Synth(&EngineTestHost::callback, EngineTest::smallFigures("Zones", "Zon0"))
        {
        }
    };
    EngineTestHost host;
    std::vector<std::string> shown;
    OsLib_c::setPanelHook([&](const std::string& title, const std::string& message, bool) {
        shown.push_back(title + ": " + message);
        return true;
    });
    {
        QueueEngine engine;
        WaveRAM2_c m;
        m.synth = &engine;
        m.setParaCharPtr(0, para(4, WaveRAM2_c::zpFilename), "/nowhere/at/all.wav");
        EXPECT_TRUE(shown.empty());
        engine.drainGUICmds();
        ASSERT_TRUE(engine.getPanels().waitShown(5000));
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0], "File Error - Load failed: /nowhere/at/all.wav");
        m.synth = nullptr;
    }
    OsLib_c::setPanelHook({});
}

TEST(WaveRAM2, EndPointTools)
{
    const float mono[] = {0.5f, 0.4f, -0.2f, -0.3f, 0.1f, 0.2f, 0.3f};
    EXPECT_EQ(WaveRAM2_c::findPrev0x(mono, 6), 4); // 0.1 after -0.3
    EXPECT_EQ(WaveRAM2_c::findPrev0x(mono, 3), 2);
    const float flat[] = {0.1f, 0.1f, 0.1f, 0.1f};
    EXPECT_EQ(WaveRAM2_c::findPrev0x(flat, 3), 3); // none: n
    const float right[] = {0.9f, 0.9f, 0.0f, 0.5f, 0.9f, 0.9f, 0.9f};
    EXPECT_EQ(WaveRAM2_c::findBestEnd(mono, right, 0, 6), 2); // max(-0.2, 0.0) is the lowest
    EXPECT_EQ(WaveRAM2_c::findBestEnd(mono, nullptr, 0, 6), 3);
    const float loud[] = {1.5f, 2.0f};
    EXPECT_EQ(WaveRAM2_c::findBestEnd(loud, nullptr, 0, 1), 0); // nothing below 1.0: from
}

TEST(WaveRAM2, DrumPathsMoveToTheSameRelativePlace)
{
    TestSupport::TempDir dir;
    const std::string moved = dir.file("new/Kit/snare.wav");
    std::filesystem::create_directories(dir.file("new/Kit"));
    writeWav(moved, sineWave(1000, 441.0, 44100.0));
    WaveRAM2_c m;
    m.setFlagLoadEnabled(false);
    m.setParaCharPtr(0, para(0, WaveRAM2_c::zpFilename), "/old/Kit/snare.wav");
    m.setParaCharPtr(0, para(1, WaveRAM2_c::zpFilename), "/elsewhere/kick.wav");
    m.setFlagLoadEnabled(true);
    m.swapDirectoryDrum(Tool::Disk::Path_c("/old"), Tool::Disk::Path_c(dir.file("new").c_str()), 0, 0);
    EXPECT_EQ(std::string(m.getSampleFilename(0, 0)), Tool::Disk::Path_c(moved.c_str()).getString());
    EXPECT_TRUE(m.waveSampleHasData(0, 0));
    EXPECT_STREQ(m.getSampleFilename(0, 1), "/elsewhere/kick.wav");
}

TEST(WaveRAM2, RawExportsLoadAgainAndFoldersAreSwapped)
{
    TestSupport::TempDir dir;
    const std::string source = dir.file("src/pad.wav");
    std::filesystem::create_directories(dir.file("src"));
    writeWav(source, sineWave(3000, 441.0, 44100.0));
    WaveRAM2_c m;
    m.setParaCharPtr(0, para(2, WaveRAM2_c::zpFilename), source.c_str());
    ASSERT_TRUE(m.waveSampleHasData(0, 2));

    // A raw export is written in J form and named .D4U; the zone now names it.
    m.dumpToPath(0, 0, true, Tool::Disk::Path_c(dir.file("export").c_str()));
    const Tool::Disk::Path_c exported(m.getSampleFilename(0, 2));
    EXPECT_EQ(exported.getParent().getString(), Tool::Disk::Path_c(dir.file("export").c_str()).getString());
    EXPECT_TRUE(m.isExtSupported(exported.getExt()));
    WaveRAM2_c again;
    again.setParaPath(0, para(0, WaveRAM2_c::zpFilename), exported);
    ASSERT_TRUE(again.waveSampleHasData(0, 0));
    EXPECT_EQ(again.getSample(0, 0)->frames, 3000);

    // swapDirectory finds the file by its own name in the new folder, or in
    // "Samples" beside it.
    std::filesystem::create_directories(dir.file("moved/Samples"));
    std::filesystem::copy_file(source, dir.file("moved/Samples/pad.wav"));
    WaveRAM2_c swapped;
    swapped.setFlagLoadEnabled(false);
    swapped.setParaCharPtr(0, para(0, WaveRAM2_c::zpFilename), "/old/place/pad.wav");
    swapped.setFlagLoadEnabled(true);
    swapped.swapDirectory(Tool::Disk::Path_c(dir.file("moved/Presets").c_str()), 0, 0);
    EXPECT_EQ(std::string(swapped.getSampleFilename(0, 0)),
              Tool::Disk::Path_c(dir.file("moved/Samples/pad.wav").c_str()).getString());
    EXPECT_TRUE(swapped.waveSampleHasData(0, 0));
}

// The memory's summary figures take the largest over the zones that hold
// data: an empty zone or one of another instrument counts for nothing.
TEST(WaveRAM2, SummaryFiguresAreTheLargestOverLoadedZones)
{
    WaveRAM2_c m;
    EXPECT_EQ(m.getMaxChannels(0), 0);
    EXPECT_EQ(m.getMaxSampleRate(0), 0);
    EXPECT_EQ(m.getMaxLength(0), 0.0f);
    const std::string shortBytes = pcm16(sineWave(1000, 441.0, 44100.0));
    const std::string longBytes = pcm16(sineWave(4800, 441.0, 48000.0));
    ASSERT_TRUE(m.setSample(0, 0, shortBytes.data(), 1000, 44100));
    ASSERT_TRUE(m.setSample(0, 5, longBytes.data(), 4800, 48000));
    const std::string slowBytes = pcm16(sineWave(4000, 441.0, 22050.0));
    ASSERT_TRUE(m.setSample(0, 7, slowBytes.data(), 4000, 22050)); // the longest, at the lowest rate
    EXPECT_EQ(m.getMaxChannels(0), 1);
    EXPECT_EQ(m.getMaxResolution(0), 16);
    EXPECT_EQ(m.getMaxSampleRate(0), 48000);
    EXPECT_NEAR(m.getMaxLength(0), 4000.0f / 22050.0f, 1e-6f);
    EXPECT_EQ(m.getMaxSampleRate(1), 0); // the memory serves instrument 0 only
}
