#include "NoteFreqTable.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

const double Base = NoteFreqTable_c::BaseFrequency;

float centsHz(double cents)
{
    return static_cast<float>(Base * std::exp2(cents / 1200.0));
}

float equalHz(int n)
{
    return static_cast<float>(Base * std::exp2(n / 12.0));
}

// A tuning table with its own 'TUN0' set, in equal temperament.
struct Tuning
{
    ParaSet_c* slot = nullptr;
    NoteFreqTable_c t;
    Tuning() { t.getParaSetPtr(&slot); }

    Parameter_c& para(int idx) { return *t.getParaPtr(0, idx); }
    void setEntry(int n, float hz) { para(NoteFreqTable_c::tpFrequencies).setFloatArray(n, hz); }
    std::vector<float> entries() const
    {
        std::vector<float> out;
        for (int n = 0; n < NumTuningNotes; ++n)
            out.push_back(t.getEntry(n));
        return out;
    }
    std::string path()
    {
        Vdx::String_c s;
        t.getParaString(0, NoteFreqTable_c::tpFilePath, &s);
        return s;
    }
    bool loadText(const std::string& text) { return t.loadTunText(text.data(), text.size()); }
    bool loadFile(const std::string& file)
    {
        Tool::Disk::Path_c p(file.c_str());
        return t.loadTunFile(p);
    }
    // Every entry n gets base * 2^(n / stepsPerOctave).
    void fillSteps(double stepsPerOctave)
    {
        for (int n = 0; n < NumTuningNotes; ++n)
            setEntry(n, static_cast<float>(Base * std::exp2(n / stepsPerOctave)));
    }
};

std::string fixture(const char* name)
{
    return std::string(TESSEL_TEST_DATA_DIR) + "/tun/" + name;
}

} // namespace

// ---------------------------------------------------------------------------
// Built-in tunings and lookups

TEST(NoteFreqTable, EqualTemperamentAndTonewheel)
{
    Tuning tu;
    EXPECT_TRUE(tu.t.hasTable());
    EXPECT_EQ(tu.t.getTypeCode(), ('T' << 24) | ('U' << 16) | ('N' << 8) | '0');
    EXPECT_EQ(tu.path(), "12 Tone Equal");
    for (int n : {0, 57, 69, 127, 128})
        EXPECT_FLOAT_EQ(tu.t.getEntry(n), equalHz(n)) << n;
    EXPECT_FLOAT_EQ(tu.t.getEntry(69), 440.0f);

    tu.t.init(true);
    EXPECT_EQ(tu.path(), "Tonewheel");
    struct Case {
        int note;
        double cents; // deviation of the pitch class
    };
    const Case cases[] = {{60, 0.0}, {61, 0.883}, {67, -0.023}, {69, 0.399}, {128, 0.684}};
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(tu.t.getEntry(c.note), static_cast<float>(Base * std::exp2((c.note + c.cents * 0.01) / 12.0)))
            << c.note;
}

TEST(NoteFreqTable, InterpolationAndSearch)
{
    Tuning tu;
    NoteFreqTable_c& t = tu.t;
    const float f69 = t.getEntry(69), f70 = t.getEntry(70);
    EXPECT_FLOAT_EQ(t.get(69.5f), (f69 + f70) / 2);
    EXPECT_FLOAT_EQ(t.get(-1.0f), t.getEntry(0) - (t.getEntry(1) - t.getEntry(0))) << "extrapolates below";
    EXPECT_FLOAT_EQ(t.get(130.0f), t.getEntry(126) + 4 * (t.getEntry(127) - t.getEntry(126))) << "and above";
    EXPECT_FLOAT_EQ(t.get(std::numeric_limits<float>::quiet_NaN()), t.getEntry(0));
    EXPECT_TRUE(std::isfinite(t.get(1e30f)));

    struct Case {
        float hz;
        int note;
    };
    const Case cases[] = {
        {439.0f, 68},  // ends on the entry below a frequency just under an entry
        {440.0f, 70},  // the bisection ends above an exact hit
        {0.0f, 0},
        {1e9f, 127},
        {equalHz(126) + 1.0f, 127},
    };
    for (const Case& c : cases)
        EXPECT_EQ(t.getNoteNr(c.hz), c.note) << c.hz;

    NoteFreqTable_c bare;
    EXPECT_EQ(bare.get(69.0f), 0.0f);
    EXPECT_EQ(bare.getNoteNr(440.0f), 60);
}

// ---------------------------------------------------------------------------
// Scanners

TEST(NoteFreqTable, ScannersSkipBlanksAndSaturate)
{
    struct LongCase {
        const char* text;
        bool digits;
        int value;
        int stop;
    };
    const LongCase longs[] = {
        {"1 2\t3=", true, 123, 5},
        {"=", false, 0, 0},
        {"99999999999999999999999=", true, INT_MAX, 23},
        {"\r\n42", true, 42, 4},
    };
    for (const LongCase& c : longs) {
        int pos = 0, v = -1;
        EXPECT_EQ(NoteFreqTable_c::ScanLong(c.text, &pos, &v), c.digits) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
        EXPECT_EQ(pos, c.stop) << c.text;
    }

    const std::string nines(400, '9');
    struct FloatCase {
        const char* text;
        bool digits;
        float value;
    };
    const FloatCase floats[] = {
        {"6900", true, 6900.0f},   {"6900,5", true, 6900.5f}, {"1 2 . 5 0", true, 12.5f},
        {".25", true, 0.25f},      {"", false, 0.0f},         {"-5", false, 0.0f},
        {nines.c_str(), true, FLT_MAX},
    };
    for (const FloatCase& c : floats) {
        int pos = 0;
        float v = -1.0f;
        EXPECT_EQ(NoteFreqTable_c::ScanFloat(c.text, &pos, &v), c.digits) << c.text;
        EXPECT_FLOAT_EQ(v, c.value) << c.text;
    }
}

// ---------------------------------------------------------------------------
// .tun lines and files

TEST(NoteFreqTable, NoteLineVariants)
{
    struct Case {
        const char* line;
        bool counted;
        int note;
        float hz;
    };
    const Case cases[] = {
        {"note 69 = 6900", true, 69, 440.0f},
        {"note 69 = 6900,0", true, 69, 440.0f},
        {"NOTE 69 = 6900", true, 69, 440.0f},
        {"note69=6900", true, 69, 440.0f},
        {"note 69 = 6900 .0", true, 69, 440.0f},
        {" \t nOtE 6 9 = 69 00", true, 69, 440.0f},
        {"note 200 = 0", true, 127, static_cast<float>(Base)},
        {"note 60 = -100", false, 60, equalHz(60)},
        {"note 60 = 6000 cents", false, 60, equalHz(60)},
        {"note 60 = 6000.5.5", false, 60, equalHz(60)},
        {"notes 60 = 100", false, 60, equalHz(60)},
        {"note = 100", false, 0, equalHz(0)},
        {"note 60 = 1e9", false, 60, equalHz(60)},
        {"note 60 = nan", false, 60, equalHz(60)},
        {"note 60 = 16400", false, 60, equalHz(60)},  // 106 kHz: above the usable range
        {"note 60 = 16200", true, 60, centsHz(16200)}, // 94.7 kHz
        {"; note 60 = 100", true, 60, equalHz(60)},    // not a note line at all
    };
    for (const Case& c : cases) {
        Tuning tu;
        EXPECT_EQ(tu.loadText(c.line), c.counted) << c.line;
        EXPECT_FLOAT_EQ(tu.t.getEntry(c.note), c.hz) << c.line;
        EXPECT_FLOAT_EQ(tu.t.getEntry(128), equalHz(128)) << "entry 128 keeps its value";
    }
}

TEST(NoteFreqTable, HandWrittenFiles)
{
    struct Case {
        const char* file;
        bool allCounted;
        std::vector<std::pair<int, float>> entries;
    };
    const Case cases[] = {
        {"basic.tun",
         true,
         {{0, static_cast<float>(Base)},
          {69, 440.0f},
          {70, centsHz(7050.5)},
          {71, centsHz(7100.25)},
          {72, centsHz(7300)},
          {73, equalHz(73)}}},
        {"sign.tun", false, {{60, equalHz(60)}, {61, equalHz(61)}, {62, centsHz(6150)}}},
        {"note200.tun", true, {{127, static_cast<float>(Base)}, {126, equalHz(126)}}},
        {"huge.tun", false, {{60, equalHz(60)}, {61, equalHz(61)}, {62, centsHz(16200)}}},
        {"crlf.tun", true, {{69, 440.0f}, {70, centsHz(7000.5)}}},
        {"nonfinite.tun", false, {{60, equalHz(60)}, {61, equalHz(61)}, {62, equalHz(62)}, {63, centsHz(6350)}}},
        {"noequals.tun", false, {{60, equalHz(60)}, {61, equalHz(61)}, {62, equalHz(62)}, {63, centsHz(6350)}}},
        {"nonotes.tun", true, {}},
    };
    for (const Case& c : cases) {
        Tuning tu;
        std::vector<float> expected = tu.entries();
        for (const auto& [n, hz] : c.entries)
            expected[static_cast<size_t>(n)] = hz;
        EXPECT_EQ(tu.loadFile(fixture(c.file)), c.allCounted) << c.file;
        const std::vector<float> got = tu.entries();
        for (int n = 0; n < NumTuningNotes; ++n)
            EXPECT_FLOAT_EQ(got[static_cast<size_t>(n)], expected[static_cast<size_t>(n)]) << c.file << " note " << n;
    }
}

TEST(NoteFreqTable, OnlyRegularFilesBelowTheCapAreRead)
{
    TestSupport::TempDir dir;
    const std::string fifo = dir.file("pipe.tun");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string big = dir.file("big.tun");
    TestSupport::writeFile(big, "note 69 = 6000\n" + std::string(TunFileMaxBytes, ' '));
    const std::string atCap = dir.file("cap.tun");
    const std::string line = "note 69 = 6000\n";
    TestSupport::writeFile(atCap, line + std::string(TunFileMaxBytes - line.size(), '\n'));

    struct Case {
        std::string path;
        bool loads;
    };
    const Case cases[] = {
        {fifo, false},          // would wait for a writer forever
        {"/dev/zero", false},   // would never end
        {dir.path(), false},    // a folder
        {dir.file("missing.tun"), false},
        {big, false},           // one byte above the cap
        {atCap, true},
    };
    for (const Case& c : cases) {
        Tuning tu;
        EXPECT_EQ(tu.loadFile(c.path), c.loads) << c.path;
        EXPECT_FLOAT_EQ(tu.t.getEntry(69), c.loads ? centsHz(6000) : 440.0f) << c.path;
    }

    Tuning tu;
    Tool::Disk::Path_c empty;
    EXPECT_FALSE(tu.t.loadTunFile(empty));
    NoteFreqTable_c bare;
    EXPECT_FALSE(bare.loadTunText("note 69 = 1", 11));
}

// ---------------------------------------------------------------------------
// Parameter changes and restored chunks

TEST(NoteFreqTable, LoadCommandAndPathChangesLoadTheFile)
{
    Tuning tu;
    tu.t.setParaCharPtr(0, NoteFreqTable_c::tpLoadCommand, fixture("basic.tun").c_str());
    EXPECT_EQ(tu.path(), fixture("basic.tun")) << "the command becomes the path";
    EXPECT_FLOAT_EQ(tu.t.getEntry(72), centsHz(7300));

    Tuning other;
    other.t.setParaCharPtr(0, NoteFreqTable_c::tpFilePath, fixture("crlf.tun").c_str());
    EXPECT_FLOAT_EQ(other.t.getEntry(70), centsHz(7000.5));
}

TEST(NoteFreqTable, RestoredChunkRereadsItsFileAndNeverReadsADevice)
{
    // A chunk that names a tuning file restores its table, then reads the file
    // again; one that names /dev/zero keeps the table from the chunk.
    for (const char* named : {"basic", "/dev/zero"}) {
        const std::string path = std::string(named) == "basic" ? fixture("basic.tun") : named;
        Tuning source;
        source.setEntry(72, 1000.0f);
        source.t.getParaSet()->setParaCharPtr(0, NoteFreqTable_c::tpFilePath, path.c_str());
        std::vector<int> chunk(static_cast<size_t>(source.t.getChunkSize(0)) / 4);
        ASSERT_EQ(source.t.getChunk(chunk.data(), 0), static_cast<int>(chunk.size() * 4));

        Tuning restored;
        restored.t.getParaSet()->setChunk(chunk.data(), static_cast<int>(chunk.size() * 4), 0);
        restored.t.postprocessParaChange(0, -1);
        restored.t.fixSongLoad();
        EXPECT_FLOAT_EQ(restored.t.getEntry(72), path == "/dev/zero" ? 1000.0f : centsHz(7300)) << named;
    }
}

TEST(NoteFreqTable, FixSongLoadChecksEveryEntryWithTheSameRule)
{
    struct Case {
        const char* what;
        int note;
        float hz;
        bool repaired;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {"first entry 0", 0, 0.0f, true},
        {"NaN in the middle", 64, nan, true},
        {"infinite last entry", 128, inf, true},
        {"negative", 3, -8.0f, true},
        {"above 100 kHz", 128, 100001.0f, true},
        {"exactly 100 kHz is usable", 128, 100000.0f, false},
        {"a low first entry of a saved tuning stays", 0, 0.005f, false},
        {"a high entry of a saved tuning stays", 127, 30000.0f, false},
    };
    for (const Case& c : cases) {
        Tuning tu;
        tu.fillSteps(24.0);
        tu.t.determineSemiScale();
        tu.setEntry(c.note, c.hz);
        tu.t.fixSongLoad();
        if (c.repaired) {
            EXPECT_FLOAT_EQ(tu.t.getEntry(c.note), equalHz(c.note)) << c.what;
            EXPECT_FLOAT_EQ(tu.t.getEntry(100), equalHz(100)) << c.what;
            EXPECT_EQ(tu.t.getSemiPerOct(), 12) << c.what << ": the derived values follow";
            EXPECT_NEAR(tu.t.getSemiScale(), 1.0f, 1e-5) << c.what;
        } else {
            EXPECT_EQ(tu.t.getEntry(c.note), c.hz) << c.what;
            EXPECT_FLOAT_EQ(tu.t.getEntry(100), static_cast<float>(Base * std::exp2(100 / 24.0))) << c.what;
        }
    }
}

// ---------------------------------------------------------------------------
// Semitone scale

TEST(NoteFreqTable, SemitoneScaleAndOctave)
{
    struct Case {
        const char* what;
        double stepsPerOctave;
        int semis;
        float scale;
    };
    const Case cases[] = {
        {"12 per octave", 12.0, 12, 1.0f},
        {"24 per octave", 24.0, 24, 0.5f},
        {"6 per octave", 6.0, 6, 2.0f},
    };
    for (const Case& c : cases) {
        Tuning tu;
        tu.fillSteps(c.stepsPerOctave);
        tu.t.determineSemiScale();
        EXPECT_EQ(tu.t.getSemiPerOct(), c.semis) << c.what;
        EXPECT_NEAR(tu.t.getSemiScale(), c.scale, 1e-5) << c.what;
    }

    // One step far off the others: not uniform, the plain scale stays.
    Tuning uneven;
    uneven.setEntry(50, uneven.t.getEntry(50) * 1.1f);
    uneven.t.determineSemiScale();
    EXPECT_EQ(uneven.t.getSemiScale(), 1.0f);
    EXPECT_EQ(uneven.t.getSemiPerOct(), 12);

    // A flat table: step ratio 1, and every note is equally far from the
    // octave, so the first one wins.
    Tuning flat;
    for (int n = 0; n < NumTuningNotes; ++n)
        flat.setEntry(n, 100.0f);
    flat.t.determineSemiScale();
    EXPECT_EQ(flat.t.getSemiPerOct(), 1);
    EXPECT_EQ(flat.t.getSemiScale(), 0.0f);

    // Zeros from a hostile chunk never make the scale NaN.
    Tuning zeros;
    for (int n = 0; n < NumTuningNotes; ++n)
        zeros.setEntry(n, 0.0f);
    zeros.t.determineSemiScale();
    EXPECT_TRUE(std::isfinite(zeros.t.getSemiScale()));
}
