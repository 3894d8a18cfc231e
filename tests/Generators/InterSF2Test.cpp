// SoundFont 2 import: a hand-built file lands in the right zones, hostile and
// truncated files are refused without touching the memory, and a real
// SoundFont imports and plays.
#include "MultiSampleRig.h"
#include "SF2Bytes.h"

#include "InterSF2.h"
#include "SignalMeasure.h"
#include "WaveSample.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace MultiTest;
using namespace SF2Bytes;

namespace {

constexpr const char* RealSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

int para(int z, int k)
{
    return WaveRAM2_c::zonePara(z, k);
}

// Two samples: "Low" (1000 points at 22050 Hz, recorded at key 60) and
// "High" (2000 points at 44100 Hz, key 72, loop 1200..2800 in the file).
std::vector<Header> twoHeaders()
{
    return {{"Low", 0, 1000, 100, 900, 22050, 60, 0}, {"High", 1000, 3000, 1200, 2800, 44100, 72, 0}};
}

std::string twoSamples()
{
    return pcm16(sineWave(1000, 441.0, 22050.0)) + pcm16(sineWave(2000, 441.0, 44100.0));
}

std::vector<std::vector<Gen>> handBuiltZones()
{
    return {
        // The shared sample, +60 cents, looping.
        {range(KeyRange, 0, 59), {FineTune, 60}, {SampleModes, 1}, {SampleId, 1}},
        // The same sample, +50 cents, one-shot.
        {range(KeyRange, 60, 127), {FineTune, 50}, {SampleModes, 0}, {SampleId, 1}},
        // The other sample, -50 cents, root 255 (unpitched), soft notes only,
        // 6 dB down and half right.
        {range(VelRange, 1, 64), {FineTune, -50}, {OverridingRootKey, 255}, {InitialAttenuation, 60}, {Pan, 250},
         {SampleId, 0}},
        // A coarse tune far outside the standard's range.
        {{CoarseTune, 32767}, {SampleId, 0}},
    };
}

bool import(WaveRAM2_c& m, const std::string& image, InterSF2_c* reader = nullptr)
{
    InterSF2_c own(nullptr, &m, 0);
    InterSF2_c& r = reader ? *reader : own;
    return r.interpretMemory(reinterpret_cast<const uint8_t*>(image.data()), image.size());
}

// What a memory holds, to show that a refused file changed nothing.
struct Snapshot
{
    explicit Snapshot(WaveRAM2_c& m)
    {
        for (int z = 0; z < 4; ++z) {
            data.push_back(m.getSample(0, z)->left);
            frames.push_back(m.getSample(0, z)->frames);
            roots.push_back(m.getParaVal(0, para(z, WaveRAM2_c::zpRoot)));
        }
    }
    bool operator==(const Snapshot&) const = default;
    std::vector<const float*> data;
    std::vector<int> frames, roots;
};

void preload(WaveRAM2_c& m)
{
    const std::string bytes = pcm16(sineWave(777, 441.0, 44100.0));
    for (int z = 0; z < 3; ++z) {
        ASSERT_TRUE(m.setSample(0, z, bytes.data(), 777, 44100));
        m.setParaVal(0, para(z, WaveRAM2_c::zpRoot), 40 + z);
    }
}

} // namespace

TEST(InterSF2, AHandBuiltFileLandsInTheRightZones)
{
    for (bool reversed : {false, true}) {
        SCOPED_TRACE(reversed ? "identifiers reversed" : "identifiers as stored");
        WaveRAM2_c m;
        Options o;
        o.reversedIds = reversed;
        ASSERT_TRUE(import(m, file(handBuiltZones(), twoHeaders(), twoSamples(), o)));

        struct Expect
        {
            int frames, root, keyLo, keyHi, veloLo, veloHi, loopStart, loopEnd;
            const char* name;
        } expect[] = {
            {2000, 71, 0, 59, 1, 127, 200, 1800, "High"}, // 72 with +60 cents folds down to 71
            {2000, 72, 60, 127, 1, 127, 0, 0, "High"},     // +50 cents stays; one-shot: no loop
            {1000, 61, 0, 127, 1, 64, 0, 0, "Low"},        // 255 means 60; -50 cents folds up to 61
            {1000, 0, 0, 127, 1, 127, 0, 0, "Low"},        // 60 - 120 semitones, kept at the bottom
        };
        for (int z = 0; z < 4; ++z) {
            const Expect& e = expect[z];
            SCOPED_TRACE("zone " + std::to_string(z));
            const WaveSample_c* s = m.getSample(0, z);
            EXPECT_EQ(s->frames, e.frames);
            EXPECT_EQ(m.getParaVal(0, para(z, WaveRAM2_c::zpRoot)), e.root);
            EXPECT_EQ(m.getParaVal(0, para(z, WaveRAM2_c::zpZoneLo)), e.keyLo);
            EXPECT_EQ(m.getParaVal(0, para(z, WaveRAM2_c::zpZoneHi)), e.keyHi);
            EXPECT_EQ(m.getParaVal(0, para(z, WaveRAM2_c::zpVeloLo)), e.veloLo);
            EXPECT_EQ(m.getParaVal(0, para(z, WaveRAM2_c::zpVeloHi)), e.veloHi);
            EXPECT_EQ(s->loopStart, e.loopStart);
            EXPECT_EQ(s->loopEnd, e.loopEnd);
            EXPECT_STREQ(m.getSampleFilename(0, z), e.name);
        }
        // What the root key does not take of the tuning plays as the rate:
        // +60 cents is root 71 at -40 cents, -50 cents root 61 at +50 cents.
        EXPECT_EQ(m.getSample(0, 0)->sampleRate, std::lround(44100 * std::exp2(-40 / 1200.0)));
        EXPECT_EQ(m.getSample(0, 2)->sampleRate, std::lround(22050 * std::exp2(50 / 1200.0)));
        EXPECT_EQ(m.getParaVal(0, para(2, WaveRAM2_c::zpVolume)), -30); // -6 dB in 0.2 dB steps
        EXPECT_EQ(m.getParaVal(0, para(2, WaveRAM2_c::zpPanorama)), 50);
        EXPECT_FALSE(m.waveSampleHasData(0, 4));
    }
}

TEST(InterSF2, TheFirstZonesEnvelopeIsHandedOver)
{
    WaveRAM2_c m;
    InterSF2_c reader(nullptr, &m, 0);
    std::vector<std::vector<Gen>> zones = {{{AttackVolEnv, 0}, {SustainVolEnv, 1440}, {SampleId, 0}}};
    ASSERT_TRUE(import(m, file(zones, twoHeaders(), twoSamples()), &reader));
    EXPECT_EQ(reader.getEnvelope()[0], 1000); // 0 timecents: one second
    EXPECT_EQ(reader.getEnvelope()[2], 0);    // 1440 cB: 10^-5, handed over as 0
}

TEST(InterSF2, TheRootFoldKeepsTheRatioWithinHalfASemitone)
{
    struct Case
    {
        double cents;
        int root;
    } cases[] = {{0, 60}, {50, 60}, {60, 59}, {-50, 61}, {-49, 60}, {1200, 48}, {-2400, 84}};
    for (const Case& c : cases)
        EXPECT_EQ(InterSF2_c::foldRootKey(60, std::pow(2.0, c.cents / 1200.0)), c.root) << c.cents << " cents";
}

TEST(InterSF2, BagLookupsAnswerMinusOneForNone)
{
    VxBag_c bags[2];
    bags[0].firstGen = 0;
    bags[0].endGen = 3;
    bags[1].firstGen = 3;
    bags[1].endGen = 5;
    bags[1].split.sampleIndex = 7;
    EXPECT_EQ(InterSF2_c::getBagIdxFromGenIdx(bags, 4, 2), 1);
    EXPECT_EQ(InterSF2_c::getBagIdxFromGenIdx(bags, 5, 2), -1);
    EXPECT_EQ(InterSF2_c::getBagIdxFromSampleIdx(bags, 7, 2), 1);
    EXPECT_EQ(InterSF2_c::getBagIdxFromSampleIdx(bags, 0, 2), -1);
}

TEST(InterSF2, RefusedFilesLeaveThePreviousZonesIntact)
{
    const std::string good = file(handBuiltZones(), twoHeaders(), twoSamples());
    Options notSfbk;
    notSfbk.form = "sfbX";
    Options generatorsFirst;
    generatorsFirst.igenBeforeIbag = true;
    std::string hugeList = good;
    hugeList[16] = hugeList[17] = hugeList[18] = '\xFF'; // the INFO list claims ~4 GiB
    struct Case
    {
        const char* what;
        std::string image;
    } cases[] = {
        {"empty", ""},
        {"shorter than a RIFF header", good.substr(0, 11)},
        {"another form type", file(handBuiltZones(), twoHeaders(), twoSamples(), notSfbk)},
        {"truncated in the sample data", good.substr(0, 3000)},
        {"truncated in the zones", good.substr(0, good.size() - 100)},
        {"generators before zones", file(handBuiltZones(), twoHeaders(), twoSamples(), generatorsFirst)},
        {"a list larger than the file", hugeList},
    };
    for (const Case& c : cases) {
        WaveRAM2_c m;
        preload(m);
        const Snapshot before(m);
        EXPECT_FALSE(import(m, c.image)) << c.what;
        EXPECT_TRUE(Snapshot(m) == before) << c.what;
    }
}

TEST(InterSF2, SampleHeadersOutsideTheDataMakeEmptyZones)
{
    struct Case
    {
        const char* what;
        Header header;
    } cases[] = {
        {"end past the data", {"Bad", 0, 5000, 0, 10, 44100}},
        {"start after end", {"Bad", 900, 100, 0, 10, 44100}},
        {"empty range", {"Bad", 500, 500, 0, 10, 44100}},
        {"no rate", {"Bad", 0, 1000, 0, 10, 0}},
        {"start far out", {"Bad", 0xFFFFFFF0u, 0xFFFFFFFFu, 0, 10, 44100}},
    };
    for (const Case& c : cases) {
        WaveRAM2_c m;
        std::vector<std::vector<Gen>> zones = {{{SampleId, 0}}, {{SampleId, 1}}};
        ASSERT_TRUE(import(m, file(zones, {c.header, twoHeaders()[1]}, twoSamples()))) << c.what;
        EXPECT_FALSE(m.waveSampleHasData(0, 0)) << c.what;
        EXPECT_EQ(m.getSample(0, 1)->frames, 2000) << c.what;
    }
}

TEST(InterSF2, FilesWithoutZonesTransferNothing)
{
    // A zone table with its terminal record alone makes no zone; one shorter
    // than a record is refused (its zone count would be -1).
    const std::string noZones = file({}, twoHeaders(), twoSamples());
    std::string shortBag = noZones;
    const size_t ibag = shortBag.find("ibag");
    ASSERT_NE(ibag, std::string::npos);
    shortBag[ibag + 4] = 2;
    struct Case
    {
        const char* what;
        std::string image;
        bool accepted;
    } cases[] = {{"terminal record only", noZones, true}, {"two bytes of zones", shortBag, false}};
    for (const Case& c : cases) {
        WaveRAM2_c m;
        preload(m);
        const Snapshot before(m);
        InterSF2_c reader(nullptr, &m, 0);
        EXPECT_EQ(import(m, c.image, &reader), c.accepted) << c.what;
        EXPECT_TRUE(Snapshot(m) == before) << c.what;
        EXPECT_EQ(reader.getEnvelope()[0], 0) << c.what;
    }
}

TEST(InterSF2, ARealSoundFontImportsAndPlays)
{
    if (Tool::Disk::exists(Tool::Disk::Path_c(RealSoundFont)) != 1)
        GTEST_SKIP() << RealSoundFont << " is not installed (package timgm6mb-soundfont)";
    LoopRig rig;
    InterSF2_c reader(nullptr, &rig.memory, 0);
    rig.memory.freeAllSamples(0);
    reader.interpret(Tool::Disk::Path_c(RealSoundFont));
    EXPECT_GE(rig.memory.InsSamples(0, false), 32);
    for (int z = 0; z < WaveRAM2_c::NumZones; ++z) {
        const WaveSample_c* s = rig.memory.getSample(0, z);
        if (!s->left)
            continue;
        EXPECT_GE(s->loopStart, 0) << z;
        EXPECT_LE(s->loopEnd, s->frames - 1) << z;
        EXPECT_LE(s->loopStart, s->loopEnd) << z;
    }
    rig.noteOn(60);
    ASSERT_GE(rig.gen.getLayerCount(), 1);
    const auto out = rig.render(44100);
    EXPECT_TRUE(SignalMeasure::allFinite(out));
    EXPECT_GT(ProcTest::rms(out), 0.01);
}

TEST(InterSF2, ATruncatedRealSoundFontIsRefused)
{
    if (Tool::Disk::exists(Tool::Disk::Path_c(RealSoundFont)) != 1)
        GTEST_SKIP() << RealSoundFont << " is not installed (package timgm6mb-soundfont)";
    const std::string whole = TestSupport::readFile(RealSoundFont);
    TestSupport::TempDir dir;
    for (size_t cut : {size_t(20), whole.size() / 3, whole.size() - 7}) {
        const std::string path = dir.file("cut.sf2");
        TestSupport::writeFile(path, whole.substr(0, cut));
        WaveRAM2_c m;
        preload(m);
        const Snapshot before(m);
        InterSF2_c(nullptr, &m, 0).interpret(Tool::Disk::Path_c(path.c_str()));
        EXPECT_TRUE(Snapshot(m) == before) << "cut at " << cut;
    }
}

TEST(InterSF2, ImportedZonesPlayWithinTwoCentsOfTheirTuning)
{
    // A 441 Hz sine recorded at key 69; the zone asks for `cents` more
    // through its generators and its header's pitch correction. The root key
    // takes whole semitones; what is left used to be dropped (up to half a
    // semitone) and now plays as the zone's rate.
    struct Case
    {
        int coarse, fine, correction;
    } cases[] = {{0, 0, 0}, {0, 37, 0}, {0, -49, 0}, {0, 49, 0}, {1, -60, 0}, {0, 25, 20}, {-2, 99, -33}};
    const std::string samples = pcm16(sineWave(44100, 441.0, 44100.0));
    for (const Case& c : cases) {
        const double cents = 100.0 * c.coarse + c.fine + c.correction;
        SCOPED_TRACE(std::to_string(cents) + " cents");
        LoopRig rig;
        const std::vector<Header> headers = {{"Sine", 0, 44100, 0, 0, 44100, 69, static_cast<int8_t>(c.correction)}};
        ASSERT_TRUE(import(rig.memory, file({{{CoarseTune, static_cast<int16_t>(c.coarse)},
                                              {FineTune, static_cast<int16_t>(c.fine)},
                                              {SampleId, 0}}},
                                            headers, samples)));
        rig.noteOn(69);
        const std::vector<float> out = rig.render(22050);
        const double heard = zeroCrossingHz(out, 2000, 20000, 44100.0);
        const double asked = 441.0 * std::exp2(cents / 1200.0);
        EXPECT_NEAR(1200.0 * std::log2(heard / asked), 0.0, 2.0);
    }
}

TEST(InterSF2, AnInstrumentsGlobalZoneSuppliesWhatItsZonesLack)
{
    // Instrument A: a global zone (no sample) that loops and sets a key
    // range, a zone that sets neither, a zone that sets both itself.
    // Instrument B: one zone, untouched by A's defaults.
    Options o;
    o.instruments = {0, 3};
    const std::vector<std::vector<Gen>> zones = {
        {{SampleModes, 1}, range(KeyRange, 10, 63), {InitialAttenuation, 60}},
        {{SampleId, 1}},
        {{SampleModes, 0}, range(KeyRange, 64, 127), {SampleId, 1}},
        {{SampleId, 0}},
    };
    WaveRAM2_c m;
    ASSERT_TRUE(import(m, file(zones, twoHeaders(), twoSamples(), o)));
    EXPECT_EQ(m.InsSamples(0, true), 3) << "the global zone takes no zone";
    EXPECT_FALSE(m.waveSampleHasData(0, 3));
    struct Expect
    {
        int keyLo, keyHi, loopStart, loopEnd, volume;
    } expect[] = {
        {10, 63, 200, 1800, -30}, // all three from the global zone
        {64, 127, 0, 0, -30},     // its own range and one-shot; the attenuation from the global zone
        {0, 127, 0, 0, 0},        // instrument B
    };
    for (int z = 0; z < 3; ++z) {
        SCOPED_TRACE("zone " + std::to_string(z));
        EXPECT_EQ(m.getParaVal(0, para(z, WaveRAM2_c::zpZoneLo)), expect[z].keyLo);
        EXPECT_EQ(m.getParaVal(0, para(z, WaveRAM2_c::zpZoneHi)), expect[z].keyHi);
        EXPECT_EQ(m.getSample(0, z)->loopStart, expect[z].loopStart);
        EXPECT_EQ(m.getSample(0, z)->loopEnd, expect[z].loopEnd);
        EXPECT_EQ(m.getParaVal(0, para(z, WaveRAM2_c::zpVolume)), expect[z].volume);
    }
}

TEST(InterSF2, ZonesNameTheirSoundFontAndLoadFromItAgain)
{
    TestSupport::TempDir dir;
    const std::string sf2 = dir.file("kit.sf2");
    TestSupport::writeFile(sf2, file(handBuiltZones(), twoHeaders(), twoSamples()));
    const Tool::Disk::Path_c sf2Path(sf2.c_str());
    WaveRAM2_c imported;
    InterSF2_c(nullptr, &imported, 0).interpret(sf2Path);
    ASSERT_EQ(imported.InsSamples(0, false), 4);
    EXPECT_EQ(std::string(imported.getSampleFilename(0, 2)), sf2Path.getString() + "/2/Low");
    Vdx::String_c shown;
    imported.getParaSet()->getParaPtr(0)[para(2, WaveRAM2_c::zpFilename)].getDisplay(shown);
    EXPECT_STREQ(shown.c_str(), "Low") << "the editor shows the sample's name";

    // A program that stores the memory: its zone parameters, then the
    // whole-set change of a load. Every zone comes back from the file.
    WaveRAM2_c restored;
    for (int i = 0; i < WaveRAM2_c::ParaCount; ++i)
        restored.getParaSet()->getParaPtr(0)[i].copyDeep(imported.getParaSet()->getParaPtr(0)[i]);
    restored.clearAllSampleLimits(0);
    restored.postprocessParaChange(0, -1);
    EXPECT_EQ(restored.takeMissingZones(), 0u);
    for (int z = 0; z < 4; ++z) {
        SCOPED_TRACE("zone " + std::to_string(z));
        const WaveSample_c* a = imported.getSample(0, z);
        const WaveSample_c* b = restored.getSample(0, z);
        ASSERT_EQ(a->frames, b->frames);
        EXPECT_EQ(a->sampleRate, b->sampleRate);
        EXPECT_TRUE(std::equal(a->left, a->left + a->frames, b->left));
        EXPECT_EQ(a->loopStart, b->loopStart);
        EXPECT_EQ(a->loopEnd, b->loopEnd);
    }

    // Gone from there: the load marks the zones for the missing-sample
    // search, which finds the file in a folder it remembers.
    std::filesystem::create_directories(dir.file("moved"));
    std::filesystem::rename(sf2, dir.file("moved/kit.sf2"));
    WaveRAM2_c again;
    for (int i = 0; i < WaveRAM2_c::ParaCount; ++i)
        again.getParaSet()->getParaPtr(0)[i].copyDeep(imported.getParaSet()->getParaPtr(0)[i]);
    again.postprocessParaChange(0, -1);
    EXPECT_EQ(again.takeMissingZones(), 0xFu);
    again.addSearchPath(Tool::Disk::Path_c(dir.file("moved").c_str()));
    Tool::Disk::Path_c found;
    ASSERT_TRUE(again.autoLocateSample(Tool::Disk::Path_c(again.getSampleFilename(0, 1)), found));
    EXPECT_EQ(found.getString(), Tool::Disk::Path_c(dir.file("moved/kit.sf2/1/High").c_str()).getString());
    EXPECT_TRUE(again.setSampleCore(0, 1, found));
    EXPECT_EQ(again.getSample(0, 1)->frames, 2000);
}

TEST(InterSF2, OnlyNamesOfSoundFontsReadAsSoundFontZones)
{
    TestSupport::TempDir dir;
    const std::string sf = dir.file("piano.dat");
    TestSupport::writeFile(sf, "x");
    std::filesystem::create_directories(dir.file("Kits/808"));
    const struct
    {
        std::string name;
        bool zone;
    } cases[] = {
        {sf + "/3/Grand C4", true},               // any file that is there
        {"/gone/gm.SF2/12/Flute", true},          // a SoundFont that is not there (yet)
        {"/gone/Kits/808/kick.wav", false},       // a sample under a folder named by a number
        {dir.file("Kits/808/kick.wav"), false},   // the same, there
        {"/gone/gm.sf2/x3/Flute", false},         // no zone number
        {"Flute", false},                         // a name alone
    };
    for (const auto& c : cases) {
        Tool::Disk::Path_c file;
        int k = -1;
        EXPECT_EQ(InterSF2_c::isZoneReference(Tool::Disk::Path_c(c.name.c_str()), file, k), c.zone) << c.name;
    }
    Tool::Disk::Path_c file;
    int k = -1;
    ASSERT_TRUE(InterSF2_c::splitZoneReference(InterSF2_c::zoneReference(Tool::Disk::Path_c("/a/b.sf2"), 17,
                                                                          "Str/ings: \"Hi\""),
                                               file, k));
    EXPECT_STREQ(file.c_str(), "/a/b.sf2");
    EXPECT_EQ(k, 17);
}
