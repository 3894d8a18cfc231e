// The voice base: note-start sources, the matrix rows sorted into their nine
// lists and applied per block, per control step and at note start, control-
// rate stepping of bound modulators, and a voice that finishes.
#include "EngineTestHost.h"
#include "Envelope.h"
#include "Instrument.h"
#include "NoteFreqTable.h"
#include "PolyNoteTable.h"
#include "RampGlide.h"
#include "Synth.h"
#include "SysGlo.h"
#include "Tone.h"
#include "Vela.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

// The matrix rows live in parameters laid out as the product's: sources at
// 8 + r, amounts at 32 + r (not read by the matrix), destinations at 56 + r,
// room for NumModRows rows. Values are written unclamped so that tests can
// put anything a corrupt program could hold into a row.
constexpr int SrcPara = 8;
constexpr int AmountPara = 32;
constexpr int DestPara = 56;
constexpr int MatrixParas = DestPara + NumModRows;
constexpr int AmountDestFirst = 32; // destinations 32..35 are the amounts of rows 0..3
constexpr int AmountDestCount = 4;

class MatrixPart : public Part_c
{
public:
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override
    {
        bool defined = false;
        Parameter_c* p = beginParaDefinition(shared, nSets, MatrixParas, &defined);
        if (!p)
            return defined;
        for (int i = 1; i < MatrixParas; ++i)
            p[i].createNum("Row", "", 0.0f, -100000, 100000, 0, -1, 0);
        return paraSet->spreadPara();
    }
    using Part_c::getParaSetPtr;
    int getTypeCode() const override { return 0x544D5830; } // 'TMX0'

    void clearRows()
    {
        for (int r = 0; r < NumModRows; ++r)
            row(r, -1, -1);
    }
    void para(int i, int v) { getRenderParaPtr(0)[i].setValue(v); }
    void row(int r, int src, int dest)
    {
        Parameter_c* p = getRenderParaPtr(0);
        p[SrcPara + r].setValue(src);
        p[DestPara + r].setValue(dest);
    }
};

// A voice with the product's source numbering and a handful of destinations
// in a live block of its own.
class TestVoice : public Tone_c
{
public:
    // Destinations (indices into the live block). M multiplicative, A
    // additive, G third group (applied once at note start).
    enum Dest_t : int {
        dLevel = 0, // M
        dPitch,     // A
        dCutoff,    // A
        dStart,     // A, G
        dTime,      // M, G
        dGain,      // M
        BlockFloats = 8
    };
    enum Source_t : int {
        sNoteLog = 0,
        sNoteLin = 1,
        sVelocity = 2,
        sAftertouch = 3,
        sModWheel = 5, // pre, scaled kind
        sCC16 = 9,     // pre
        sLFO1 = 13,    // post
        sEnv = 17,     // post, scaled kind
        sAmpEnv = 23,  // post, scaled kind
        sGlide = 24,   // post
        sAlternate = 26,
        sConstant = 27, // pre, scaled kind
    };

    explicit TestVoice(bool scaled = false) : Tone_c(scaled)
    {
        defineModSource(sNoteLog, &keySignedSquare, true, false);
        defineModSource(sNoteLin, &keyBipolar, true, false);
        defineModSource(sVelocity, &velocityBipolar, true, false);
        defineModSource(sAftertouch, &aftertouchSmoothed, true, true);
        defineModSource(sModWheel, &modWheel, true, true);
        defineModSource(sCC16, &cc16, true, false);
        defineModSource(sLFO1, &lfo, false, false);
        defineModSource(sEnv, &env, false, true);
        defineModSource(sAlternate, &alternateValue, true, false);
        defineModSource(sConstant, &constantOne, true, true);
        defineModDest(dLevel, &live[dLevel], false, false);
        defineModDest(dPitch, &live[dPitch], true, false);
        defineModDest(dCutoff, &live[dCutoff], true, false);
        defineModDest(dStart, &live[dStart], true, true);
        defineModDest(dTime, &live[dTime], false, true);
        defineModDest(dGain, &live[dGain], false, false);
        for (int r = 0; r < AmountDestCount; ++r)
            defineModDest(AmountDestFirst + r, getModAmountPtr(r), true, false);
    }

    void bind(Synth* synth, Part_c* matrix)
    {
        create(synth, matrix, 0, saved, live, sizeof(live), AmountDestCount * static_cast<int>(sizeof(float)));
    }
    void start(int key = 60, int velocity = 100)
    {
        NoteC_c n;
        n.note = key;
        n.velocity = velocity;
        n.channel = 0;
        prepProc(0, n, false, false);
    }
    // What the product does at note start, with `rows` rows.
    void sortRows(int rows = 10)
    {
        precalcModulation(SrcPara, AmountPara, DestPara, AmountDestFirst, rows, AmountDestCount);
    }
    // A block begins: base values and row amounts, then the pre lists.
    void beginBlock()
    {
        for (int i = 0; i < BlockFloats; ++i)
            live[i] = base[i];
        for (int r = 0; r < NumModRows; ++r)
            rowAmounts[r] = amounts[r];
        premodulate();
    }
    // The rows of list k, in order, told by their amount pointers.
    std::vector<int> rowsOf(int k) const
    {
        std::vector<int> out;
        const ModRowList_t& l = getModList(k);
        for (int i = 0; i < ModListEntries && l.source[i]; ++i)
            out.push_back(static_cast<int>(l.amount[i] - rowAmounts));
        return out;
    }

    void setStepCounter(uint32_t samples) { stepCounter = samples; }

    float live[BlockFloats] = {};
    float saved[BlockFloats] = {};
    float base[BlockFloats] = {1.0f, 0.0f, 0.5f, 0.0f, 1.0f, 2.0f, 0.0f, 0.0f};
    float amounts[NumModRows] = {};
    float modWheel = 0.0f;
    float cc16 = 0.0f;
    float lfo = 0.0f;
    float env = 1.0f;
};

// The product engine, opened, with instrument 0 and its settings.
class ToneTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        vela.dispatcher(effOpen, 0, 0, nullptr, 0.0f);
        ASSERT_NE(vela.getInstPtr(0), nullptr);
        ASSERT_TRUE(matrix.getParaSetPtr(&matrixSet, 1));
        matrix.clearRows();
        voice.bind(&vela, &matrix);
        voice.setSampleRate(44100.0f);
    }
    void TearDown() override { vela.dispatcher(effClose, 0, 0, nullptr, 0.0f); }

    EngineTestHost host;
    Vela_c vela{&EngineTestHost::callback, false};
    ParaSet_c* matrixSet = nullptr;
    MatrixPart matrix;
    TestVoice voice;
};

using V = TestVoice;
using L = Tone_c;

// ---------------------------------------------------------------------------
// The pitch polynomial

TEST(PitchFactor, FollowsTwoToTheFourYWithinAFewPerMille)
{
    struct Case
    {
        double y;
        double factor; // P(y)^4 worked out by hand
    };
    const Case cases[] = {
        {0.0, 1.0},
        {1.0 / 48.0, 1.0596575308603993}, // a semitone
        {0.25, 2.0063314840108677},       // an octave
        {-0.25, 0.4999181044338983},
        {1.0, 15.90160778425146}, // four octaves
        {-1.0, 0.06211511454627546},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(pitchFactor(c.y), c.factor, 1e-12 * c.factor) << c.y;
        EXPECT_NEAR(pitchFactor(c.y) / std::exp2(4.0 * c.y), 1.0, 0.007) << c.y;
    }
}

// ---------------------------------------------------------------------------
// The instrument's sources: the matrix parameter's items and each source's kind

class SourceChoicePart : public Part_c
{
public:
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override
    {
        if (!createParaSet(shared, nSets, 1))
            return false;
        if (!paraSet->getParaDefined())
            paraSet->getParaPtr(0)[0].createEnu("Mod.Source", "", msNone, ModSourcesUsed - 1, ModSourceItemWidth,
                                                msNone, ModSourceItems, nullptr);
        return paraSet->spreadPara();
    }
    using Part_c::getParaSetPtr;
};

TEST(ToneSources, ItemsAndKindsOfTheInstrumentsSources)
{
    struct Case
    {
        int value;
        const char* item;
        bool pre, scaledKind;
    };
    const Case cases[] = {
        {msNone, "    - - -   ", false, false},      {msNoteLog, "  Note Log  ", true, false},
        {msVelocity, "  Velocity  ", true, false},    {msAftertouch, "Aftertouch  ", true, true},
        {msPitchWheel, "Pitch Wheel ", true, false},  {msModWheel, "ModulatWheel", true, true},
        {msExpression, "ExpressContr", true, true},   {msCC16, "CC16 Contr  ", true, false},
        {msCC19, "CC19 Contr  ", true, false},        {msLFO1, "   LFO 1    ", false, false},
        {msLFO1 + 3, "   LFO 4    ", false, false},   {msGenEnvelope1, "GenEnvelope1", false, true},
        {msFil2Envelope, "Fil2Envelope", false, true}, {msAmpEnvelope, "Amp Envelope", false, true},
        {msGlideCurve, "Glide Curve ", false, false}, {msArpeggiator, "Arpeggiator ", false, true},
        {msAlternate, "Alternate   ", true, false},   {msConstant, "Constant    ", true, true},
    };
    ParaSet_c* set = nullptr;
    SourceChoicePart part;
    ASSERT_TRUE(part.getParaSetPtr(&set, 1));
    Parameter_c* p = part.getParaPtr(0, 0);
    ASSERT_NE(p, nullptr);
    char item[ModSourceItemWidth + 1];
    for (const Case& c : cases) {
        p->setVal(c.value);
        ASSERT_EQ(p->value.load(), c.value);
        p->getEnuVal(item);
        EXPECT_STREQ(item, c.item) << c.value;
        EXPECT_EQ(modSourceIsPre(c.value), c.pre) << c.value;
        EXPECT_EQ(modSourceIsScaledKind(c.value), c.scaledKind) << c.value;
    }
}

// ---------------------------------------------------------------------------
// Row layouts -> lists

TEST_F(ToneTest, RowLayoutsSortIntoTheirLists)
{
    struct Row
    {
        int r, src, dest;
    };
    struct Expect
    {
        int list;
        std::vector<int> rows;
    };
    struct Case
    {
        const char* what;
        bool scaled;
        std::vector<Row> rows;
        std::vector<Expect> lists; // every list not named here is empty
    };
    const int A = AmountDestFirst;
    const Case cases[] = {
        {"no source or no destination: in no list",
         false,
         {{0, -1, V::dPitch}, {1, V::sLFO1, -1}, {2, V::sConstant, V::dPitch}},
         {{L::mlPreAdditive, {2}}}},
        {"pre and post sources, additive and multiplicative destinations",
         false,
         {{0, V::sVelocity, V::dLevel}, {1, V::sLFO1, V::dPitch}, {2, V::sEnv, V::dGain}, {3, V::sNoteLin, V::dCutoff}},
         {{L::mlPreAdditive, {3}}, {L::mlPreMultiplicative, {0}}, {L::mlPostAdditive, {1}}, {L::mlPostMultiplicative, {2}}}},
        {"third-group destinations go to the note-start lists, post sources too",
         false,
         {{0, V::sLFO1, V::dStart}, {1, V::sVelocity, V::dTime}, {2, V::sEnv, V::dTime}},
         {{L::mlNoteStartAdditive, {0}}, {L::mlNoteStartMultiplicative, {1, 2}}}},
        {"a row modulating another row's amount comes first",
         false,
         {{0, V::sConstant, V::dPitch}, {1, V::sModWheel, A + 0}},
         {{L::mlPreAdditive, {1, 0}}}},
        {"a post source moving a pre row's amount makes that row post",
         false,
         {{0, V::sVelocity, V::dLevel}, {1, V::sLFO1, A + 0}, {2, V::sNoteLin, V::dPitch}},
         {{L::mlPreAdditive, {2}}, {L::mlPostAdditive, {1}}, {L::mlPostMultiplicative, {0}}}},
        {"a chain: row 2 moves row 1's amount, row 1 moves row 0's",
         false,
         {{0, V::sConstant, V::dPitch}, {1, V::sConstant, A + 0}, {2, V::sConstant, A + 1}},
         {{L::mlPreAdditive, {2, 1, 0}}}},
        {"of two rows moving one amount the later decides: pre",
         false,
         {{0, V::sConstant, V::dPitch}, {1, V::sLFO1, A + 0}, {2, V::sModWheel, A + 0}},
         {{L::mlPreAdditive, {2, 0}}, {L::mlPostAdditive, {1}}}},
        {"of two rows moving one amount the later decides: post",
         false,
         {{0, V::sConstant, V::dPitch}, {1, V::sModWheel, A + 0}, {2, V::sLFO1, A + 0}},
         {{L::mlPreAdditive, {1}}, {L::mlPostAdditive, {2, 0}}}},
        {"a mutual cycle: both listed, in index order",
         false,
         {{0, V::sConstant, A + 1}, {1, V::sModWheel, A + 0}},
         {{L::mlPreAdditive, {0, 1}}}},
        {"a cycle through a post source: both rows post",
         false,
         {{0, V::sConstant, A + 1}, {1, V::sLFO1, A + 0}},
         {{L::mlPostAdditive, {0, 1}}}},
        {"a row moving its own amount",
         false,
         {{3, V::sCC16, A + 3}, {4, V::sConstant, V::dPitch}},
         {{L::mlPreAdditive, {3, 4}}}},
        {"ten rows on one destination: depth first, then index order",
         false,
         {{0, V::sConstant, V::dPitch}, {1, V::sConstant, V::dPitch}, {2, V::sConstant, V::dPitch},
          {3, V::sConstant, V::dPitch}, {4, V::sConstant, V::dPitch}, {5, V::sConstant, V::dPitch},
          {6, V::sConstant, V::dPitch}, {7, V::sConstant, V::dPitch}, {8, V::sConstant, V::dPitch},
          {9, V::sConstant, A + 2}},
         {{L::mlPreAdditive, {9, 0, 1, 2, 3, 4, 5, 6, 7, 8}}}},
        {"scaled mode off: scaled-kind sources stay multiplicative",
         false,
         {{0, V::sModWheel, V::dLevel}, {1, V::sEnv, V::dGain}, {2, V::sEnv, V::dTime}},
         {{L::mlPreMultiplicative, {0}}, {L::mlPostMultiplicative, {1}}, {L::mlNoteStartMultiplicative, {2}}}},
        {"scaled mode on: scaled-kind sources on multiplicative destinations",
         true,
         {{0, V::sModWheel, V::dLevel}, {1, V::sEnv, V::dGain}, {2, V::sEnv, V::dTime}, {3, V::sVelocity, V::dGain},
          {4, V::sModWheel, V::dPitch}},
         {{L::mlPreScaled, {0}},
          {L::mlPostScaled, {1}},
          {L::mlNoteStartScaled, {2}},
          {L::mlPreMultiplicative, {3}},
          {L::mlPreAdditive, {4}}}},
        {"sources and destinations outside the tables are refused",
         false,
         {{0, NumModSources, V::dPitch},
          {1, V::sConstant, NumModDests},
          {2, -7, V::dPitch},
          {3, V::sConstant, -2},
          {4, 100000, 100000},
          {5, V::sConstant, V::dPitch}},
         {{L::mlPreAdditive, {5}}}},
        {"an undefined source slot is a post source; an undefined destination multiplies",
         false,
         {{0, 40, V::dPitch}, {1, V::sConstant, 63}},
         {{L::mlPostAdditive, {0}}, {L::mlPreMultiplicative, {1}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestVoice v(c.scaled);
        v.bind(&vela, &matrix);
        matrix.clearRows();
        for (const Row& row : c.rows)
            matrix.row(row.r, row.src, row.dest);
        v.start();
        v.sortRows();
        for (int k = 0; k < L::ModListCount; ++k) {
            std::vector<int> want;
            for (const Expect& e : c.lists)
                if (e.list == k)
                    want = e.rows;
            EXPECT_EQ(v.rowsOf(k), want) << "list " << k;
            EXPECT_EQ(v.getModList(k).count, static_cast<int>(want.size())) << "list " << k;
        }
    }
}

// ---------------------------------------------------------------------------
// Applying the lists

TEST_F(ToneTest, PreRowsApplyPerBlockPostRowsPerStepNoteStartRowsOnlyWhenAsked)
{
    matrix.row(0, V::sModWheel, V::dCutoff);
    matrix.row(1, V::sVelocity, V::dLevel);
    matrix.row(2, V::sLFO1, V::dPitch);
    matrix.row(3, V::sConstant, V::dStart);
    voice.amounts[0] = 0.5f;
    voice.amounts[1] = 0.5f;
    voice.amounts[2] = 0.25f;
    voice.amounts[3] = 0.3f;
    voice.modWheel = 0.4f;
    voice.start(60, 127);
    voice.sortRows();

    voice.lfo = 0.5f;
    voice.beginBlock();
    EXPECT_FLOAT_EQ(voice.live[V::dCutoff], 0.5f + 0.4f * 0.5f) << "additive: d + s a";
    EXPECT_FLOAT_EQ(voice.live[V::dLevel], 1.0f * (1.0f + 1.0f * 0.5f)) << "multiplicative: d (1 + s a)";
    EXPECT_FLOAT_EQ(voice.live[V::dPitch], 0.0f) << "post rows wait for the first step";

    voice.modulate();
    EXPECT_FLOAT_EQ(voice.live[V::dPitch], 0.125f);
    voice.lfo = -1.0f;
    voice.modulate();
    EXPECT_FLOAT_EQ(voice.live[V::dPitch], -0.25f) << "each step starts again from the block's values";
    EXPECT_FLOAT_EQ(voice.live[V::dCutoff], 0.7f) << "pre values come back every step";

    voice.modWheel = 1.0f;
    voice.modulate();
    EXPECT_FLOAT_EQ(voice.live[V::dCutoff], 0.7f) << "pre rows see the source once per block";
    EXPECT_FLOAT_EQ(voice.live[V::dStart], 0.0f) << "note-start rows are the concrete voice's to apply";
    Tone_c::applyMultiplicative(voice.getModList(Tone_c::mlNoteStartMultiplicative));
    Tone_c::applyAdditive(voice.getModList(Tone_c::mlNoteStartAdditive));
    EXPECT_FLOAT_EQ(voice.live[V::dStart], 0.3f);
}

TEST_F(ToneTest, ARowMovingAnAmountActsBeforeThatRowAndNeverAccumulates)
{
    matrix.row(0, V::sConstant, V::dPitch);
    matrix.row(1, V::sLFO1, AmountDestFirst + 0);
    voice.amounts[0] = 0.2f;
    voice.amounts[1] = 1.0f;
    voice.start();
    voice.sortRows();
    voice.lfo = 0.5f;
    voice.beginBlock();
    for (int step = 1; step <= 3; ++step) {
        voice.modulate();
        EXPECT_FLOAT_EQ(voice.rowAmounts[0], 0.7f) << "step " << step;
        EXPECT_FLOAT_EQ(voice.live[V::dPitch], 0.7f) << "step " << step;
    }
}

TEST_F(ToneTest, ARowCycleTerminatesAndAppliesOncePerStep)
{
    matrix.row(0, V::sConstant, AmountDestFirst + 1);
    matrix.row(1, V::sConstant, AmountDestFirst + 0);
    matrix.row(2, V::sConstant, V::dPitch);
    voice.amounts[0] = 0.1f;
    voice.amounts[1] = 0.2f;
    voice.amounts[2] = 1.0f;
    voice.start();
    voice.sortRows();
    voice.beginBlock();
    // Row 0 first (amount of row 1 += 0.1), then row 1 (amount of row 0 += 0.3).
    EXPECT_FLOAT_EQ(voice.rowAmounts[1], 0.3f);
    EXPECT_FLOAT_EQ(voice.rowAmounts[0], 0.4f);
    EXPECT_FLOAT_EQ(voice.live[V::dPitch], 1.0f);
}

TEST_F(ToneTest, ScaledRowsPullDownWithPositiveAmountsAndScaleWithNegativeOnes)
{
    struct Case
    {
        float s, a, want; // source, amount, factor on the destination
    };
    const Case cases[] = {
        {0.25f, 0.5f, 1.0f - 0.75f * 0.5f},
        {0.25f, -0.5f, 1.0f - 0.25f * 0.5f},
        {1.0f, 1.0f, 1.0f},  // a full source leaves it alone
        {0.0f, 1.0f, 0.0f},  // a silent source silences it
        {1.0f, -1.0f, 0.0f},
        {0.0f, -1.0f, 1.0f},
        {0.6f, 0.0f, 1.0f},  // amount 0 takes the negative branch: unchanged
    };
    TestVoice v(true);
    v.bind(&vela, &matrix);
    matrix.row(0, V::sModWheel, V::dLevel); // pre scaled
    matrix.row(1, V::sEnv, V::dGain);       // post scaled
    v.start();
    v.sortRows();
    ASSERT_EQ(v.rowsOf(Tone_c::mlPreScaled), std::vector<int>{0});
    ASSERT_EQ(v.rowsOf(Tone_c::mlPostScaled), std::vector<int>{1});
    for (const Case& c : cases) {
        v.modWheel = c.s;
        v.env = c.s;
        v.amounts[0] = c.a;
        v.amounts[1] = c.a;
        v.beginBlock();
        EXPECT_NEAR(v.live[V::dLevel], v.base[V::dLevel] * c.want, 1e-6) << c.s << " " << c.a;
        v.modulate();
        EXPECT_NEAR(v.live[V::dGain], v.base[V::dGain] * c.want, 1e-6) << c.s << " " << c.a;
    }
}

TEST_F(ToneTest, RowCountsAndParameterIndicesAreBounded)
{
    // A row count above the capacity sorts the rows there are room for.
    for (int r = 0; r < NumModRows; ++r)
        matrix.row(r, V::sConstant, V::dPitch);
    voice.start();
    voice.precalcModulation(SrcPara, AmountPara, DestPara, AmountDestFirst, 1000, 1000);
    EXPECT_EQ(voice.getModList(Tone_c::mlPreAdditive).count, NumModRows);
    EXPECT_EQ(voice.getModList(Tone_c::mlPreAdditive).source[NumModRows], nullptr) << "terminated";

    // Rows whose parameters lie beyond the set (or before it) have none.
    voice.precalcModulation(MatrixParas - 2, AmountPara, DestPara, AmountDestFirst, 10, 4);
    EXPECT_EQ(voice.rowsOf(Tone_c::mlPreAdditive), (std::vector<int>{0, 1}));
    for (int i = 1; i < SrcPara; ++i)
        matrix.para(i, V::sConstant);
    voice.precalcModulation(-5, AmountPara, DestPara, AmountDestFirst, 10, 4);
    EXPECT_EQ(voice.rowsOf(Tone_c::mlPreAdditive), (std::vector<int>{6, 7, 8, 9}))
        << "rows 0..4 before the set; row 5 reads \"Version\", no source";
    voice.precalcModulation(std::numeric_limits<int>::max(), AmountPara, std::numeric_limits<int>::max(),
                            std::numeric_limits<int>::max(), 10, 4);
    EXPECT_EQ(voice.getModList(Tone_c::mlPreAdditive).count, 0);
    voice.precalcModulation(SrcPara, AmountPara, DestPara, AmountDestFirst, -3, -3);
    EXPECT_EQ(voice.getModList(Tone_c::mlPreAdditive).count, 0);
}

TEST_F(ToneTest, NothingIsSortedBeforeANoteOrWithoutMatrixRows)
{
    matrix.row(0, V::sConstant, V::dPitch);
    voice.sortRows();
    EXPECT_EQ(voice.getModList(Tone_c::mlPreAdditive).count, 0) << "no note yet";

    TestVoice unbound;
    unbound.start(); // no engine: nothing happens
    EXPECT_EQ(unbound.note.note, -1);
    EXPECT_EQ(unbound.getInstrumentIndex(), -1);
    unbound.sortRows();
    unbound.beginBlock();
    unbound.modulate();
    EXPECT_EQ(unbound.getModList(Tone_c::mlPreAdditive).count, 0);
    EXPECT_TRUE(unbound.render(64)) << "the base has nothing to play";

    // A note of an instrument the matrix part has no rows for plays without
    // the matrix, not with the rows of the note before.
    voice.start();
    voice.sortRows();
    ASSERT_EQ(voice.getModList(Tone_c::mlPreAdditive).count, 1);
    NoteC_c other;
    other.set(60, 100, 0);
    voice.prepProc(1, other, false, false);
    voice.sortRows();
    for (int k = 0; k < Tone_c::ModListCount; ++k)
        EXPECT_EQ(voice.getModList(k).count, 0) << "list " << k;
    EXPECT_EQ(voice.getModList(Tone_c::mlPreAdditive).source[0], nullptr);
}

// ---------------------------------------------------------------------------
// Slots

TEST_F(ToneTest, SlotIndicesOutsideTheTablesChangeNothing)
{
    EXPECT_EQ(voice.getModAmountPtr(NumModRows), nullptr);
    EXPECT_EQ(voice.getModAmountPtr(-1), nullptr);
    EXPECT_EQ(voice.getModAmountPtr(NumModRows - 1), &voice.rowAmounts[NumModRows - 1]);

    float x = 0.0f;
    const Tone_c::ModSource_t before = voice.getModSource(NumModSources - 1);
    voice.defineModSource(NumModSources, &x, true, true);
    voice.defineModSource(-1, &x, true, true);
    EXPECT_EQ(voice.getModSource(NumModSources - 1).value, before.value);
    voice.defineModSource(V::sModWheel, nullptr, false, false);
    EXPECT_EQ(voice.getModSource(V::sModWheel).value, &voice.modWheel) << "a null pointer is refused";
    EXPECT_EQ(voice.getModSource(40).value, &voice.constantOne) << "undefined sources read the constant";

    float* scratch = voice.getModDestOffer(0, 60);
    voice.defineModDest(NumModDests, &x, true, true);
    voice.defineModDest(V::dPitch, nullptr, true, true);
    EXPECT_EQ(voice.getModDestOffer(0, NumModDests - 1), scratch);
    EXPECT_EQ(voice.getModDestOffer(0, NumModDests), scratch) << "out of range: the scratch cell";
    EXPECT_EQ(voice.getModDestOffer(0, -1), scratch);
    EXPECT_EQ(voice.getModDestOffer(0, V::dPitch), &voice.live[V::dPitch]);
    EXPECT_TRUE(voice.getModDest(V::dPitch).additive);
    EXPECT_NE(scratch, &x);
}

TEST_F(ToneTest, CreateRefusesBrokenBlocks)
{
    float block[4] = {};
    struct Case
    {
        const char* what;
        bool synth, part;
        float* saved;
        float* live;
        int bytes, amountBytes;
    };
    const Case cases[] = {
        {"no engine", false, true, block, block, 16, 0},
        {"no matrix part", true, false, block, block, 16, 0},
        {"no saved block with a size", true, true, nullptr, block, 16, 0},
        {"no live block with a size", true, true, block, nullptr, 16, 0},
        {"a negative size", true, true, block, block, -4, 0},
        {"a negative amount size", true, true, block, block, 16, -4},
    };
    for (const Case& c : cases) {
        TestVoice v;
        v.create(c.synth ? &vela : nullptr, c.part ? &matrix : nullptr, 3, c.saved, c.live, c.bytes, c.amountBytes);
        EXPECT_EQ(v.getVoiceIndex(), -1) << c.what;
        EXPECT_EQ(v.getMatrixPart(), nullptr) << c.what;
    }
    TestVoice v;
    v.create(&vela, &matrix, 3, nullptr, nullptr, 0, 1 << 20);
    EXPECT_EQ(v.getVoiceIndex(), 3) << "no block at all is fine";
    // Saving the row amounts never runs past the voice's own array.
    matrix.row(0, V::sConstant, V::dPitch);
    v.start();
    v.sortRows();
    v.beginBlock();
    v.modulate();
}

// ---------------------------------------------------------------------------
// Note start

TEST_F(ToneTest, KeySourcesAtNoteStart)
{
    struct Case
    {
        int key;
        float signedSquare, bipolar, offset;
    };
    const Case cases[] = {
        {0, -1.0f, -1.0f, -1.25f},
        {60, -0.0060760f, -0.0551181f, 0.0f},
        {96, 0.5239010f, 0.5118110f, 0.75f},
        {127, 1.0f, 1.0f, 1.3958334f},
    };
    for (const Case& c : cases) {
        voice.start(c.key);
        EXPECT_NEAR(voice.keySignedSquare, c.signedSquare, 2e-6) << c.key;
        EXPECT_NEAR(voice.keyBipolar, c.bipolar, 2e-6) << c.key;
        EXPECT_NEAR(voice.keyOffset, c.offset, 2e-6) << c.key;
        EXPECT_LE(voice.keySignedSquare, 1.0f);
        EXPECT_EQ(voice.note.note, c.key);
        EXPECT_EQ(voice.getInstrumentIndex(), 0);
        EXPECT_EQ(voice.getInstrument(), vela.getInstPtr(0));
    }
}

// The channel pressure and the alternate value are the instrument's at the
// moment the note starts; poly pressure begins at 0 and the smoothed value
// starts at the sum instead of gliding up from 0.
TEST_F(ToneTest, PressureAndAlternateComeFromTheInstrumentAtNoteStart)
{
    Instrument_c* ins = vela.getInstPtr(0);
    ins->setMIDIGlobalAftertouch(0.6f);
    ASSERT_FLOAT_EQ(ins->getAftertouch(), 0.6f);
    voice.setPolyAftertouch(0.3f);
    voice.start();
    EXPECT_FLOAT_EQ(voice.monoAftertouch, 0.6f);
    EXPECT_FLOAT_EQ(voice.polyAftertouch, 0.0f);
    EXPECT_FLOAT_EQ(voice.aftertouchSum, 0.6f);
    EXPECT_FLOAT_EQ(voice.aftertouchSmoothed, 0.6f);
    EXPECT_EQ(voice.alternateValue, ins->getAlternateValue());
    EXPECT_EQ(std::fabs(voice.alternateValue), 1.0f);

    ins->setMIDIGlobalAftertouch(0.0f);
    voice.start();
    EXPECT_FLOAT_EQ(voice.aftertouchSmoothed, 0.0f);
}

TEST_F(ToneTest, VelocityFollowsTheCurveSetting)
{
    struct Case
    {
        int curve, velocity;
        float want;
    };
    const Case cases[] = {
        {0, 64, 64.0f / 127.0f},  // linear
        {0, 127, 1.0f},
        {9, 127, 1.0f},           // 1 at the top whatever the curve
        {5, 127, 1.0f},
        {9, 107, std::exp(-1.0f)}, // exponential: 1/e 20 steps down
        {5, 107, 5.0f / 9.0f * std::exp(-1.0f) + 4.0f / 9.0f * 107.0f / 127.0f},
        {0, 1, 1.0f / 127.0f},
    };
    SynGlo_c* settings = vela.getSynGlo();
    ASSERT_NE(settings, nullptr);
    for (const Case& c : cases) {
        settings->setParaVal(0, SynGloPara::VelCurve, c.curve);
        voice.start(60, c.velocity);
        EXPECT_NEAR(voice.velocity, c.want, 1e-6) << c.curve << " " << c.velocity;
        EXPECT_NEAR(voice.velocityBipolar, 2.0f * c.want - 1.0f, 2e-6) << c.curve << " " << c.velocity;
    }
}

TEST_F(ToneTest, PitchBendRangesFromTheInstrumentSettings)
{
    struct Case
    {
        int up, down;
        float wantUp, wantDown;
    };
    const Case cases[] = {
        {2, -1, 2.0f / 48.0f, 2.0f / 48.0f}, // "link": down follows up
        {12, 7, 0.25f, 7.0f / 48.0f},
        {0, 24, 0.0f, 0.5f},
        {24, -1, 0.5f, 0.5f},
    };
    SynGloIns_c* settings = vela.getSynGloIns();
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(voice.pitchBendUp, -1.0f) << "before the first note";
    for (const Case& c : cases) {
        settings->setParaVal(0, SynGloInsPara::BendUp, c.up);
        settings->setParaVal(0, SynGloInsPara::BendDown, c.down);
        voice.start();
        EXPECT_NEAR(voice.pitchBendUp, c.wantUp, 1e-6) << c.up << " " << c.down;
        EXPECT_NEAR(voice.pitchBendDown, c.wantDown, 1e-6) << c.up << " " << c.down;
    }

    // In a tuning of quarter tones a key is half a semitone: the ranges, in
    // keys, shrink with it.
    std::string tun;
    for (int k = 0; k < 128; ++k)
        tun += "note " + std::to_string(k) + " = " + std::to_string(k * 50) + "\n";
    NoteFreqTable_c* tuning = vela.getTuningTable();
    ASSERT_NE(tuning, nullptr);
    ASSERT_TRUE(tuning->loadTunText(tun.data(), tun.size()));
    tuning->determineSemiScale();
    ASSERT_NEAR(tuning->getSemiScale(), 0.5f, 1e-4f);
    settings->setParaVal(0, SynGloInsPara::BendUp, 12);
    settings->setParaVal(0, SynGloInsPara::BendDown, -1);
    voice.start();
    EXPECT_NEAR(voice.pitchBendUp, 0.125f, 1e-5);
    EXPECT_NEAR(voice.pitchBendDown, 0.125f, 1e-5);
}

TEST_F(ToneTest, AftertouchSumsAndIsSmoothedEveryChunk)
{
    voice.start();
    const float c = voice.getAftertouchCoefficient();
    EXPECT_FLOAT_EQ(c, 1400.0f / 44100.0f);
    voice.setPolyAftertouch(0.25f);
    voice.setMonoAftertouch(0.75f);
    EXPECT_FLOAT_EQ(voice.aftertouchSum, 1.0f);
    EXPECT_FLOAT_EQ(voice.aftertouchSmoothed, 0.0f);
    const int stepsPerChunk = ControllerChunkFrames / ControlStepFrames;
    voice.modulate();
    EXPECT_FLOAT_EQ(voice.aftertouchSmoothed, c) << "the first step of a note smooths";
    for (int i = 1; i < stepsPerChunk; ++i)
        voice.modulate();
    EXPECT_FLOAT_EQ(voice.aftertouchSmoothed, c) << "then not before the next chunk";
    voice.modulateNoMatrix();
    EXPECT_FLOAT_EQ(voice.aftertouchSmoothed, c + (1.0f - c) * c);
    EXPECT_EQ(voice.getStepCounter(), static_cast<uint32_t>((stepsPerChunk + 1) * ControlStepFrames));
    voice.start();
    EXPECT_EQ(voice.getStepCounter(), 0u) << "a note start resets the count";
    EXPECT_FLOAT_EQ(voice.polyAftertouch, 0.0f);
}

TEST_F(ToneTest, TheStepCountWrapsOnAChunkBoundary)
{
    // Thirteen and a half hours of one note at 44.1 kHz: the count of
    // samples passes 2^32 and the chunks go on every 64 samples.
    voice.start();
    voice.setMonoAftertouch(1.0f);
    voice.setStepCounter(0u - static_cast<uint32_t>(ControllerChunkFrames));
    std::vector<int> smoothedAt;
    float last = voice.aftertouchSmoothed;
    for (int step = 0; step < 3 * ControllerChunkFrames / ControlStepFrames; ++step) {
        voice.modulate();
        if (voice.aftertouchSmoothed != last)
            smoothedAt.push_back(step);
        last = voice.aftertouchSmoothed;
    }
    EXPECT_EQ(smoothedAt, (std::vector<int>{0, 8, 16}));
    EXPECT_EQ(voice.getStepCounter(), static_cast<uint32_t>(2 * ControllerChunkFrames));
}

TEST(ToneRate, SmoothingCoefficientStaysInItsRange)
{
    struct Case
    {
        float rate, want;
    };
    const Case cases[] = {
        {44100.0f, 1400.0f / 44100.0f},
        {96000.0f, 1400.0f / 96000.0f},
        {5600.0f, 0.25f},
        {1000.0f, 0.25f},
        {0.0f, 0.25f},
        {560000.0f, 0.0025f},
        {1e9f, 0.0025f},
        {-44100.0f, 0.0025f},
    };
    for (const Case& c : cases) {
        TestVoice v;
        v.setSampleRate(c.rate);
        EXPECT_FLOAT_EQ(v.getAftertouchCoefficient(), c.want) << c.rate;
    }
    TestVoice v;
    v.setSampleRate(std::numeric_limits<float>::quiet_NaN());
    EXPECT_GE(v.getAftertouchCoefficient(), 0.0025f);
    EXPECT_LE(v.getAftertouchCoefficient(), 0.25f);
}

// ---------------------------------------------------------------------------
// A voice with modulators: stepped at the control rate, and finishing

// The test voice with an amplifier envelope and a glide as children, stepped
// the way a voice steps its modulators: once per control step every value
// moves by its increment and counts down, goNextPhase when the count ends,
// then the matrix's post rows.
class ModVoice : public TestVoice
{
public:
    enum { mAmp = 0, mGlide = 1, Mods = 2 };

    ModVoice()
    {
        definePart(mAmp, &ampEnv);
        definePart(mGlide, &glide);
        defineModSource(sAmpEnv, &value[mAmp], false, true);
        defineModSource(sGlide, &value[mGlide], false, false);
    }
    void bindModulators(float rate)
    {
        EXPECT_TRUE(ampEnv.getParaSetPtr(&envSet, 1));
        EXPECT_TRUE(glide.getParaSetPtr(&glideSet, 1));
        setSampleRate(rate);
        ampEnv.setPtr(&value[mAmp], &increment[mAmp], &remaining[mAmp]);
        glide.setPtr(&value[mGlide], &increment[mGlide], &remaining[mGlide]);
    }
    bool render(int frames) override
    {
        Modulator_c* mods[Mods] = {&ampEnv, &glide};
        beginBlock();
        for (int done = 0; done < frames; done += ControlStepFrames) {
            for (int m = 0; m < Mods; ++m) {
                value[m] += increment[m];
                if (--remaining[m] < 1)
                    mods[m]->goNextPhase();
            }
            modulate();
            pitch.push_back(live[dPitch]);
            cutoff.push_back(live[dCutoff]);
        }
        return ampEnv.isFinished();
    }

    ParaSet_c* envSet = nullptr;
    ParaSet_c* glideSet = nullptr;
    EnvADSFR_c ampEnv;
    RampGlide_c glide;
    float value[Mods] = {};
    float increment[Mods] = {};
    int remaining[Mods] = {};
    std::vector<float> pitch;  // the pitch destination after each step
    std::vector<float> cutoff; // the cutoff destination after each step
};

TEST_F(ToneTest, BoundModulatorsDrivePostRowsEveryControlStep)
{
    for (const float rate : {44100.0f, 48000.0f, 96000.0f}) {
        SCOPED_TRACE(rate);
        ModVoice v;
        v.bind(&vela, &matrix);
        v.bindModulators(rate);
        v.glide.setParaVal(0, RampGlide_c::pGlideMode, RampGlide_c::gmOn);
        v.glide.setParaVal(0, RampGlide_c::pTime, 100); // 0.1 s
        matrix.row(0, V::sGlide, V::dPitch);
        matrix.row(1, V::sVelocity, V::dCutoff);
        v.amounts[0] = 1.0f;
        v.amounts[1] = 0.5f;
        v.glide.preprepProc(0, 72, false);
        v.start(60, 127);
        v.sortRows();
        EXPECT_FLOAT_EQ(v.value[ModVoice::mGlide], 0.25f) << "from 72 down to 60: 12 / 48";

        const int steps = static_cast<int>(0.1f * rate / ControlStepFrames + 0.5f);
        for (int block = 0; block < (steps + 40) * ControlStepFrames / MaxBlockSize; ++block)
            v.render(MaxBlockSize);
        ASSERT_GT(static_cast<int>(v.pitch.size()), steps + 1);
        EXPECT_NEAR(v.pitch[0], 0.25f - 0.25f / static_cast<float>(steps), 1e-6f) << "one step in";
        EXPECT_NEAR(v.pitch[static_cast<size_t>(steps / 2 - 1)], 0.125f, 0.25f / static_cast<float>(steps));
        EXPECT_NEAR(v.pitch[static_cast<size_t>(steps - 1)], 0.0f, 1e-5f) << "at 0 after the glide time";
        EXPECT_NEAR(v.pitch.back(), 0.0f, 1e-5f) << "and stays there";
        for (size_t i = 1; i < static_cast<size_t>(steps); ++i)
            ASSERT_LT(v.pitch[i], v.pitch[i - 1]) << "every step moves, step " << i;
        for (float c : v.cutoff)
            ASSERT_FLOAT_EQ(c, 0.5f + 0.5f) << "a pre row holds for the block";
    }
}

TEST_F(ToneTest, AVoiceFinishesAfterItsReleaseAndReportsIt)
{
    ModVoice v;
    v.bind(&vela, &matrix);
    v.bindModulators(44100.0f);
    v.ampEnv.setParaVal(0, EnvADSFR_c::pRTime, 100); // 0.1 s
    v.start(200, 300);
    EXPECT_EQ(v.note.note, 200) << "the voice keeps the note as given";
    EXPECT_EQ(v.ampEnv.note.note, 127) << "its modules get it within range";
    EXPECT_EQ(v.ampEnv.note.velocity, 127);

    for (int block = 0; block < 20; ++block)
        ASSERT_FALSE(v.render(64)) << "held, block " << block;
    EXPECT_NEAR(v.value[ModVoice::mAmp], 1.0f, 1e-5f) << "at the sustain level";

    v.NoteOff(0, v.ampEnv.note);
    int frames = 0;
    while (!v.render(64) && frames < 44100)
        frames += 64;
    frames += 64;
    EXPECT_NEAR(frames, 4410, 64) << "the release lasts 0.1 s";
    EXPECT_TRUE(v.render(64)) << "and stays finished";
}

// Gives tests the engine's voice array.
class VoicesVela : public Vela_c
{
public:
    VoicesVela() : Vela_c(&EngineTestHost::callback, false) {}
    // Closed here so the idle timer never calls into a half-destroyed object.
    ~VoicesVela() override
    {
        if (isOpen())
            closeShutdown();
    }
    void setVoice(int v, Tone_c* tone) { voices[v] = tone; }
};

TEST(ToneEngine, AQuickFadeOutEndsTheVoiceWhichTheEngineThenFrees)
{
    EngineTestHost host;
    VoicesVela vela;
    vela.dispatcher(effOpen, 0, 0, nullptr, 0.0f);
    vela.createVoiceTable();
    PolyNoteTable_c* table = vela.getPolyNoteTable();
    Instrument_c* ins = vela.getInstPtr(0);
    ASSERT_NE(table, nullptr);
    ASSERT_NE(ins, nullptr);
    ParaSet_c* matrixSet = nullptr;
    MatrixPart matrix;
    ASSERT_TRUE(matrix.getParaSetPtr(&matrixSet, 1));
    ModVoice v;
    v.bind(&vela, &matrix);
    v.bindModulators(44100.0f);
    vela.setVoice(0, &v);

    NoteC_c n;
    n.set(60, 100, 0);
    ASSERT_EQ(table->noteOn(0, ins, NumVoices, n, nullptr, false), 0);
    v.prepProc(0, n, false, false);
    for (int block = 0; block < 4; ++block)
        ASSERT_FALSE(v.render(64));

    vela.quickFadeOutVoice(0);
    EXPECT_EQ(table->get(0)->state, NoteStateFading) << "the voice fades before it is freed";
    int steps = 0;
    bool finished = false;
    while (!finished && steps < 1000) {
        finished = v.render(ControlStepFrames);
        ++steps;
    }
    EXPECT_EQ(steps, 28) << "5 ms at 5512.5 steps a second";
    vela.finishVoice(0);
    EXPECT_EQ(table->get(0)->state, NoteStateFree);
    EXPECT_EQ(ins->voicesInUse.load(), 0);
    vela.setVoice(0, nullptr);
    vela.dispatcher(effClose, 0, 0, nullptr, 0.0f);
}

} // namespace
