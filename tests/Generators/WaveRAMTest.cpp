#include "EngineFigures.h"
#include "EngineTestHost.h"
#include "SamplerTestRig.h"
#include "Synth.h"
#include "TestSupport.h"
#include "WaveRAM.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <sys/stat.h>
#include <vector>

using SamplerTest::PanelRecorder;
using SamplerTest::writeSampleFile;
using TestSupport::TempDir;
using Tool::Disk::Path_c;

namespace {

// The plain signal behind J data: its first difference.
std::vector<float> plainOf(const WaveSample_c& s)
{
    std::vector<float> v(s.left, s.left + s.frames);
    for (size_t i = v.size() - 1; i >= 1; --i)
        v[i] -= v[i - 1];
    return v;
}

void loadByName(WaveRAM_c& slot, const std::string& file)
{
    slot.setParaCharPtr(0, WaveRAM_c::wrFilename, file.c_str());
}

struct LoadedSlot : ::testing::Test
{
    void SetUp() override
    {
        source = SamplerTest::sineWave(Frames, 441.0, 44100.0, 0.5f);
        // An offset the slot must take out.
        for (float& v : source)
            v += 0.2f;
        file = dir.file("tone.d4t");
        writeSampleFile(file, source, 44100);
        loadByName(slot, file);
        ASSERT_EQ(slot.getSampleCount(), 1);
    }
    static constexpr int Frames = 1001;
    TempDir dir;
    std::vector<float> source;
    std::string file;
    WaveRAM_c slot;
};

} // namespace

TEST(WaveRAM, ParametersAndDefaults)
{
    WaveRAM_c slot;
    ASSERT_NE(slot.getParaSet(), nullptr);
    EXPECT_EQ(slot.getTypeCode(), ProcTest::fourCC("TM02"));
    EXPECT_EQ(slot.getParaSet()->getParaCount(), WaveRAM_c::wrCount);
    EXPECT_EQ(slot.getParaVal(0, WaveRAM_c::wrVersion), 300);
    EXPECT_EQ(slot.getParaVal(0, WaveRAM_c::wrRoot), 60);
    EXPECT_FLOAT_EQ(slot.getParaFl(0, WaveRAM_c::wrEndFrame), 100.0f);
    char name[ParaNameBufferBytes];
    slot.getParaName(0, WaveRAM_c::wrCmdLoadFilename, name);
    EXPECT_STREQ(name, "Cmd Load Filename");
    // A registry row that asks shares the slot's own set.
    ParaSet_c* row = nullptr;
    EXPECT_TRUE(slot.getParaSetPtr(&row, 1));
    EXPECT_EQ(row, slot.getParaSet());
    EXPECT_EQ(slot.getSampleCount(), 0);
}

TEST_F(LoadedSlot, LoadPreparesJDataWithoutOffsetAtFullScale)
{
    const WaveSample_c& s = *slot.getSample();
    EXPECT_TRUE(s.jFlag);
    EXPECT_EQ(s.frames, Frames);
    const std::vector<float> plain = plainOf(s);
    double sum = 0.0;
    float peak = 0.0f;
    for (float v : plain) {
        sum += v;
        peak = std::max(peak, std::fabs(v));
    }
    EXPECT_NEAR(sum / Frames, 0.0, 1e-4) << "offset left in";
    EXPECT_NEAR(peak, 1.0f, 1e-3) << "not at full scale";
    EXPECT_EQ(s.info.getFilename().getString(), Path_c(file.c_str()).getString());
}

TEST_F(LoadedSlot, PercentToFrames)
{
    // frames - 1 = 1000: one tenth of a percent is one frame.
    struct Row
    {
        int start, end;      // stored (x10)
        int startF, endF;    // frames
    } rows[] = {
        {0, 1000, 0, 1000},
        {100, 500, 100, 500},
        {333, 667, 333, 667},
        {900, 1000, 900, 1000},
    };
    for (const Row& r : rows) {
        slot.setParaVal(0, WaveRAM_c::wrEndFrame, 1000);
        slot.setParaVal(0, WaveRAM_c::wrStartFrame, r.start);
        slot.setParaVal(0, WaveRAM_c::wrEndFrame, r.end);
        EXPECT_EQ(slot.getStartSample(), r.startF) << r.start;
        EXPECT_EQ(slot.getEndSample(), r.endF) << r.end;
        EXPECT_EQ(slot.getSample()->start, r.startF);
        EXPECT_EQ(slot.getSample()->end, r.endF);
    }
}

TEST_F(LoadedSlot, StartAndEndKeepTheirDistance)
{
    slot.setParaVal(0, WaveRAM_c::wrStartFrame, 950);
    EXPECT_FLOAT_EQ(slot.getParaFl(0, WaveRAM_c::wrStartFrame), 90.0f);
    slot.setParaVal(0, WaveRAM_c::wrStartFrame, 500);
    slot.setParaVal(0, WaveRAM_c::wrEndFrame, 550);
    EXPECT_FLOAT_EQ(slot.getParaFl(0, WaveRAM_c::wrEndFrame), 60.0f);
    EXPECT_EQ(slot.getSample()->end, 600);
}

TEST(WaveRAM, FailedLoadTellsAndLeavesTheSlotEmpty)
{
    PanelRecorder panels;
    TempDir dir;
    WaveRAM_c slot;
    const std::string missing = dir.file("missing.wav");
    loadByName(slot, missing);
    EXPECT_EQ(slot.getSampleCount(), 0);
    EXPECT_EQ(slot.getSample()->left, nullptr);
    ASSERT_EQ(panels.panels.size(), 1u);
    EXPECT_EQ(panels.panels[0].title, "File Error - Load failed");
    EXPECT_EQ(panels.panels[0].message, missing);
}

TEST_F(LoadedSlot, LoadingDisabledFreesAndLoadsNothing)
{
    slot.setFlagLoadEnabled(false);
    loadByName(slot, file);
    EXPECT_EQ(slot.getSampleCount(), 0);
    slot.setFlagLoadEnabled(true);
    EXPECT_EQ(slot.getSampleCount(), 0) << "switching loading on does not reload by itself";
}

TEST_F(LoadedSlot, ReverseKeepsJFormAndTheFlag)
{
    const std::vector<float> forward = plainOf(*slot.getSample());
    slot.setParaOn(0, WaveRAM_c::wrReverse, true);
    const WaveSample_c& s = *slot.getSample();
    EXPECT_TRUE(s.reversedFlag);
    EXPECT_TRUE(s.jFlag);
    const std::vector<float> backward = plainOf(s);
    for (int i = 0; i < Frames; i += 97)
        EXPECT_NEAR(backward[i], forward[Frames - 1 - i], 1e-4) << i;
}

// The trimmed file is written in the format its name asks for, so the slot
// reads it back whatever name the musician chose (a .wav name once got AIFF
// bytes and the slot came back empty).
TEST_F(LoadedSlot, TrimSavesTheRangeAndReloads)
{
    slot.setParaVal(0, WaveRAM_c::wrStartFrame, 200);
    slot.setParaVal(0, WaveRAM_c::wrEndFrame, 700);
    const std::vector<float> before = plainOf(*slot.getSample());
    for (const char* name : {"cut.aif", "cut.wav", "cut.d4t", "cut.d4u", "cut.WAV"}) {
        SCOPED_TRACE(name);
        const std::string target = dir.file(name);
        EXPECT_TRUE(slot.trimTo(0, Path_c(target.c_str())));
        const WaveSample_c& s = *slot.getSample();
        ASSERT_EQ(s.frames, 501);
        EXPECT_TRUE(s.jFlag);
        EXPECT_FLOAT_EQ(slot.getParaFl(0, WaveRAM_c::wrStartFrame), 0.0f);
        EXPECT_FLOAT_EQ(slot.getParaFl(0, WaveRAM_c::wrEndFrame), 100.0f);
        Vdx::String_c stored;
        slot.getParaString(0, WaveRAM_c::wrFilename, &stored);
        EXPECT_EQ(stored, Path_c(target.c_str()).getString());
        // The kept range, re-centred and brought to full scale again: its
        // shape follows the old frames 200..700.
        const std::vector<float> after = plainOf(s);
        double dot = 0.0, na = 0.0, nb = 0.0;
        for (int i = 0; i < 501; ++i) {
            dot += after[i] * before[200 + i];
            na += after[i] * after[i];
            nb += before[200 + i] * before[200 + i];
        }
        EXPECT_GT(dot / std::sqrt(na * nb), 0.99);
        // The trim reset the range: the next name keeps all of this file.
    }
}

TEST_F(LoadedSlot, FailedTrimSaveLeavesPlaybackAsItWas)
{
    PanelRecorder panels;
    slot.setParaVal(0, WaveRAM_c::wrStartFrame, 200);
    const WaveSample_c& s = *slot.getSample();
    const std::vector<float> j(s.left, s.left + s.frames);
    const std::string target = dir.file("no-such-folder/cut.aif");
    EXPECT_FALSE(slot.trimTo(0, Path_c(target.c_str())));
    ASSERT_EQ(s.frames, Frames);
    EXPECT_TRUE(s.jFlag);
    EXPECT_TRUE(std::equal(j.begin(), j.end(), s.left)) << "the slot's J data changed";
    EXPECT_EQ(slot.getStartSample(), 200);
    ASSERT_EQ(panels.panels.size(), 1u);
    EXPECT_EQ(panels.panels[0].title, "File Error - Save failed");
    EXPECT_EQ(panels.panels[0].message, Path_c(target.c_str()).getString());
}

TEST_F(LoadedSlot, RawExportRoundTripsTheJData)
{
    TempDir out;
    slot.dumpToPath(Path_c(out.path().c_str()), true);
    Vdx::String_c name;
    slot.getParaString(0, WaveRAM_c::wrFilename, &name);
    EXPECT_EQ(name, Path_c(out.file("tone.D4U").c_str()).getString());

    WaveRAM_c other;
    loadByName(other, name);
    ASSERT_EQ(other.getSampleCount(), 1);
    const WaveSample_c& a = *slot.getSample();
    const WaveSample_c& b = *other.getSample();
    EXPECT_TRUE(b.jFlag);
    ASSERT_EQ(a.frames, b.frames);
    EXPECT_TRUE(std::equal(a.left, a.left + a.frames, b.left)) << "D4U data is taken as it is";
}

TEST_F(LoadedSlot, CopyExportPointsAtTheCopy)
{
    TempDir out;
    slot.dumpToPath(Path_c(out.path().c_str()), false);
    Vdx::String_c name;
    slot.getParaString(0, WaveRAM_c::wrFilename, &name);
    EXPECT_EQ(name, Path_c(out.file("tone.d4t").c_str()).getString());
    EXPECT_EQ(Tool::Disk::exists(Path_c(name)), 1);
}

TEST_F(LoadedSlot, NoteStartAnswersOnlyInsideTheZones)
{
    slot.setParaVal(0, WaveRAM_c::wrZoneLow, 40);
    slot.setParaVal(0, WaveRAM_c::wrZoneHigh, 80);
    slot.setParaVal(0, WaveRAM_c::wrVeloLow, 20);
    slot.setParaVal(0, WaveRAM_c::wrVeloHigh, 100);
    struct Row
    {
        int set, note, velocity;
        bool plays;
    } rows[] = {
        {0, 60, 64, true},  {0, 40, 20, true},  {0, 80, 100, true}, {0, 39, 64, false},
        {0, 81, 64, false}, {0, 60, 19, false}, {0, 60, 101, false}, {1, 60, 64, false},
    };
    for (const Row& r : rows) {
        WaveSample_c* got = nullptr;
        slot.prepProc(r.set, ProcTest::noteOf(r.note, r.velocity), &got);
        EXPECT_EQ(got != nullptr, r.plays) << r.set << " " << r.note << " " << r.velocity;
        EXPECT_EQ(slot.InsHasSamples(r.set, ProcTest::noteOf(r.note, r.velocity)), r.plays);
    }
    // A note-off (velocity 0) needs only the key zone.
    EXPECT_TRUE(slot.InsHasSamples(0, ProcTest::noteOf(60, 0)));

    WaveSample_c* got = nullptr;
    slot.prepProc(0, ProcTest::noteOf(60, 64), &got);
    ASSERT_EQ(got, slot.getSample());
    // Without a tuning table the root is 440 Hz: 100.2 frames per period.
    EXPECT_FLOAT_EQ(got->rootFrequency, 440.0f);
    EXPECT_NEAR(got->rateRatio, 44100.0 / 440.0, 1e-3);
}

TEST_F(LoadedSlot, SingleKeyZoneCouplesBothEnds)
{
    slot.setFlagSingleKeyZone(true);
    slot.setParaVal(0, WaveRAM_c::wrZoneLow, 50);
    EXPECT_EQ(slot.getParaVal(0, WaveRAM_c::wrZoneHigh), 50);
    slot.setParaVal(0, WaveRAM_c::wrZoneHigh, 70);
    EXPECT_EQ(slot.getParaVal(0, WaveRAM_c::wrZoneLow), 70);
}

TEST_F(LoadedSlot, ClearAsksFirst)
{
    for (bool answer : {false, true}) {
        PanelRecorder panels(answer);
        slot.setParaOn(0, WaveRAM_c::wrCmdClear, true);
        ASSERT_EQ(panels.panels.size(), 1u);
        EXPECT_TRUE(panels.panels[0].ask);
        EXPECT_EQ(panels.panels[0].title, "Clear Sample");
        EXPECT_EQ(panels.panels[0].message, "Do you want to unload the sample ?");
        EXPECT_EQ(slot.getSampleCount(), answer ? 0 : 1) << answer;
        EXPECT_FALSE(slot.getParaOn(0, WaveRAM_c::wrCmdClear)) << "the command falls back off";
    }
}

TEST_F(LoadedSlot, BrowsingStepsThroughTheFolder)
{
    writeSampleFile(dir.file("zz.wav"), source, 44100);
    writeSampleFile(dir.file("ignored.txt.snd"), source, 44100);
    const uint32_t generation = slot.getLoadGeneration();
    EXPECT_TRUE(slot.nextSample(true, 0));
    Vdx::String_c name;
    slot.getParaString(0, WaveRAM_c::wrFilename, &name);
    EXPECT_EQ(name, Path_c(dir.file("zz.wav").c_str()).getString());
    EXPECT_EQ(slot.getSampleCount(), 1);
    EXPECT_NE(slot.getLoadGeneration(), generation);
    // The same through the command parameter, backwards.
    slot.setParaOn(0, WaveRAM_c::wrCmdPrev, true);
    slot.getParaString(0, WaveRAM_c::wrFilename, &name);
    EXPECT_EQ(name, Path_c(file.c_str()).getString());
    EXPECT_FALSE(slot.getParaOn(0, WaveRAM_c::wrCmdPrev));
}

TEST_F(LoadedSlot, MovedPresetFindsTheSampleBesideOrInSamples)
{
    TempDir moved;
    const std::string samples = moved.file("Samples");
    ASSERT_EQ(mkdir(samples.c_str(), 0755), 0);
    writeSampleFile(samples + "/tone.d4t", source, 44100);
    const std::string presets = moved.file("Presets");
    ASSERT_EQ(mkdir(presets.c_str(), 0755), 0);
    slot.swapDirectory(Path_c(presets.c_str()));
    Vdx::String_c name;
    slot.getParaString(0, WaveRAM_c::wrFilename, &name);
    EXPECT_EQ(name, Path_c((samples + "/tone.d4t").c_str()).getString());
    EXPECT_EQ(slot.getSampleCount(), 1);

    // Found nowhere: the candidate stays and fails to load.
    PanelRecorder panels;
    TempDir elsewhere;
    slot.swapDirectory(Path_c(elsewhere.path().c_str()));
    EXPECT_EQ(slot.getSampleCount(), 0);
    EXPECT_EQ(panels.panels.size(), 1u);
}

TEST(WaveSampleJForm, ConversionKeepsTheFlag)
{
    WaveSample_c s;
    float *l = nullptr, *r = nullptr;
    ASSERT_TRUE(s.getBufferFor(4, 2, &l, &r));
    const float plain[4] = {0.5f, -0.25f, 0.125f, 1.0f};
    std::copy(plain, plain + 4, l);
    std::copy(plain, plain + 4, r);
    s.setJForm(true);
    EXPECT_TRUE(s.jFlag);
    const float sums[4] = {0.5f, 0.25f, 0.375f, 1.375f};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(l[i], sums[i]);
        EXPECT_FLOAT_EQ(r[i], sums[i]);
    }
    s.setJForm(true); // already J: nothing
    EXPECT_FLOAT_EQ(l[3], 1.375f);
    s.setJForm(false);
    EXPECT_FALSE(s.jFlag);
    for (int i = 0; i < 4; ++i)
        EXPECT_FLOAT_EQ(l[i], plain[i]);
}

namespace {

// The smallest engine: its queue toward the idle side is all the slot uses.
class MessageEngine : public Synth
{
public:
    MessageEngine()
        : Synth(&EngineTestHost::callback, EngineTest::smallFigures("Msg", "Msg0"))
    {
    }
};

} // namespace

TEST(WaveRAM, MessagesTravelThroughTheEnginesQueue)
{
    EngineTestHost host;
    PanelRecorder panels;
    TempDir dir;
    MessageEngine engine;
    WaveRAM_c slot;
    slot.setSynth(&engine);
    loadByName(slot, dir.file("missing.aif"));
    EXPECT_TRUE(panels.panels.empty()) << "queued, not shown on the spot";
    engine.drainGUICmds();
    ASSERT_TRUE(engine.getPanels().waitShown(5000));
    ASSERT_EQ(panels.panels.size(), 1u);
    EXPECT_EQ(panels.panels[0].title, "File Error - Load failed");
    EXPECT_EQ(panels.panels[0].message, dir.file("missing.aif"));
}

TEST_F(LoadedSlot, LoadCommandBecomesTheFilenameOnce)
{
    const std::string other = dir.file("other.wav");
    writeSampleFile(other, source, 44100);
    slot.setParaOn(0, WaveRAM_c::wrReverse, true);
    slot.setParaCharPtr(0, WaveRAM_c::wrCmdLoadFilename, other.c_str());
    Vdx::String_c name, command;
    slot.getParaString(0, WaveRAM_c::wrFilename, &name);
    slot.getParaString(0, WaveRAM_c::wrCmdLoadFilename, &command);
    EXPECT_EQ(name, Path_c(other.c_str()).getString());
    EXPECT_TRUE(command.empty()) << "used up, so applying every parameter does not repeat it";
    EXPECT_TRUE(slot.getSample()->reversedFlag) << "Reverse is applied to the new sample";
    EXPECT_EQ(slot.getSample()->resolution, 24);
}
