// The project chunk: the writer's blocks and bytes, the round trip, the
// reader's refusal of every malformed block with the state left as it was,
// the scrambled block form, program chunks and the accepted identifiers.
#include "SynthProgramTestEngine.h"

#include "ECS2.h"
#include "NoteFreqTable.h"
#include "ParaSet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace ProgramTest;

namespace {

constexpr int32_t TagSYG0 = fourCC('S', 'Y', 'G', '0');
constexpr int32_t TagSYG1 = fourCC('S', 'Y', 'G', '1');
constexpr int32_t TagTUN0 = fourCC('T', 'U', 'N', '0');
constexpr int32_t TagPROG = fourCC('P', 'R', 'O', 'G');
constexpr int32_t TagMID1 = fourCC('M', 'I', 'D', '1');

class ChunkFixture : public ::testing::Test
{
protected:
    explicit ChunkFixture(int instruments = 1) : engine(instruments) {}

    void SetUp() override
    {
        engine.open();
        ASSERT_TRUE(engine.isOpen());
        engine.takeMessages();
    }

    // A recognisable state: module values and settings that differ from
    // their defaults.
    void setStateA()
    {
        for (int ins = 0; ins < engine.count; ++ins) {
            engine.setValue(engine.rowPGLO, ins, 1, 42 + ins);
            engine.setValue(engine.rowVOSC, ins, 3, 77 - ins);
            engine.getSynGloIns()->setParaVal(ins, SynGloInsPara::Solo, 1);
        }
        engine.setValue(engine.rowGFX0, 0, 2, 5);
        engine.getSynGlo()->setParaVal(0, SynGloPara::GloTune, 4410);
    }
    void setStateB()
    {
        for (int ins = 0; ins < engine.count; ++ins) {
            engine.setValue(engine.rowPGLO, ins, 1, 1);
            engine.setValue(engine.rowVOSC, ins, 3, 2);
            engine.getSynGloIns()->setParaVal(ins, SynGloInsPara::Solo, 0);
        }
        engine.setValue(engine.rowGFX0, 0, 2, 3);
        engine.getSynGlo()->setParaVal(0, SynGloPara::GloTune, 4400);
    }
    void expectStateA()
    {
        for (int ins = 0; ins < engine.count; ++ins) {
            EXPECT_EQ(engine.value(engine.rowPGLO, ins, 1), 42 + ins);
            EXPECT_EQ(engine.value(engine.rowVOSC, ins, 3), 77 - ins);
            EXPECT_EQ(engine.getSynGloIns()->getParaVal(ins, SynGloInsPara::Solo), 1);
        }
        EXPECT_EQ(engine.value(engine.rowGFX0, 0, 2), 5);
        EXPECT_EQ(engine.getSynGlo()->getParaVal(0, SynGloPara::GloTune), 4410);
    }

    // The chunk a set writes for `set`, with its order word replaced.
    static std::vector<unsigned char> setChunk(const ParaSet_c* s, int set, int order)
    {
        std::vector<unsigned char> out(static_cast<size_t>(s->getChunkSize(set)));
        s->getChunk(reinterpret_cast<int*>(out.data()), set);
        putWord(out, 8, order);
        return out;
    }

    ProgramTestEngine engine;
};

class TwoInstrumentChunk : public ChunkFixture
{
protected:
    TwoInstrumentChunk() : ChunkFixture(2) {}
};

std::vector<unsigned char> slice(const std::vector<unsigned char>& v, size_t at, size_t n)
{
    return std::vector<unsigned char>(v.begin() + static_cast<long>(at), v.begin() + static_cast<long>(at + n));
}

} // namespace

TEST_F(ChunkFixture, OneProgramBankHoldsItsBlocksInOrderWithTheirBytes)
{
    setStateA();
    const std::vector<unsigned char> chunk = engine.bank();
    ASSERT_FALSE(chunk.empty());

    const std::vector<Block> blocks = blocksOf(chunk);
    ASSERT_EQ(blocks.size(), 5u);
    const int32_t tags[] = {TagSYG0, TagSYG1, TypeGFX0, TagTUN0, TagPROG};
    size_t end = 0;
    for (size_t i = 0; i < blocks.size(); ++i) {
        EXPECT_EQ(blocks[i].tag, tags[i]) << "block " << i;
        EXPECT_EQ(blocks[i].order, 0) << "block " << i;
        end = blocks[i].offset + static_cast<size_t>(blocks[i].size);
    }
    EXPECT_EQ(end, chunk.size()) << "the blocks fill the chunk";

    // The settings, the global module and the tuning are their sets' own chunks.
    EXPECT_EQ(slice(chunk, blocks[0].offset, static_cast<size_t>(blocks[0].size)),
              setChunk(engine.getSynGlo()->getParaSet(), 0, 0));
    EXPECT_EQ(slice(chunk, blocks[1].offset, static_cast<size_t>(blocks[1].size)),
              setChunk(engine.getSynGloIns()->getParaSet(), 0, 0));
    EXPECT_EQ(slice(chunk, blocks[3].offset, static_cast<size_t>(blocks[3].size)),
              setChunk(engine.getTuningTable()->getParaSet(), 0, 0));

    // The global module and the program, byte by byte. Tags lie in memory
    // as little-endian ints: 'PROG' is the bytes "GORP".
    std::vector<unsigned char> fx;
    appendWords(fx, {TypeGFX0, 44, 0, 200, 10, 5, 10, 10, 10, 10, 10});
    EXPECT_EQ(slice(chunk, blocks[2].offset, 44), fx);
    std::vector<unsigned char> prog;
    appendWords(prog, {TagPROG, 100, 0,                                        // block header
                       TypePGLO, 44, 0, 200, 42, 10, 10, 10, 10, 10, 10,      // the global program part
                       TypeVOSC, 44, 0, 200, 10, 10, 77, 10, 10, 10, 10});    // the voice module
    EXPECT_EQ(slice(chunk, blocks[4].offset, 100), prog);
    EXPECT_EQ(0, std::memcmp(chunk.data() + blocks[4].offset, "GORP", 4));
}

TEST_F(TwoInstrumentChunk, RoundTripRestoresEveryValueAndGivesTheSameBytes)
{
    setStateA();
    engine.getSynGloIns()->setParaVal(1, SynGloInsPara::NotesOn, 3); // voices sound while the host saves
    const std::vector<unsigned char> saved = engine.bank();
    ASSERT_FALSE(saved.empty());
    // Two programs: their settings and memories carry orders 0 and 1.
    const std::vector<Block> blocks = blocksOf(saved);
    ASSERT_EQ(blocks.size(), 7u);
    EXPECT_EQ(blocks[2].tag, TagSYG1);
    EXPECT_EQ(blocks[2].order, 1);
    EXPECT_EQ(blocks[6].tag, TagPROG);
    EXPECT_EQ(blocks[6].order, 1);

    setStateB();
    EXPECT_EQ(engine.loadBank(saved), static_cast<int32_t>(saved.size()));
    expectStateA();
    EXPECT_EQ(engine.getSoloCount(false), 2) << "the solo count follows the loaded settings";
    EXPECT_TRUE(engine.takeMessages().empty());

    // "NotesOn" shows the voices of the moment: the chunk carries 0 for it,
    // as a load leaves it, so the bytes come back as they were saved.
    const size_t notesOn = blocks[2].offset + 12 + 4 * SynGloInsPara::NotesOn;
    EXPECT_EQ(wordAt(saved, notesOn), 0);
    EXPECT_EQ(engine.bank(), saved);
}

TEST_F(ChunkFixture, MalformedBlocksAreRefusedWholeAndLeaveTheStateAsItWas)
{
    setStateA();
    const std::vector<unsigned char> good = engine.bank();
    const std::vector<Block> b = blocksOf(good);
    ASSERT_EQ(b.size(), 5u);
    setStateB();
    const std::vector<unsigned char> before = engine.bank();

    const Block& tun = b[3];
    const Block& prg = b[4];
    const size_t left = good.size() - tun.offset;
    struct Case
    {
        const char* what;
        size_t offset; // byte offset of the word changed
        int32_t word;
        const char* message; // expected start of the message text
    };
    const Case cases[] = {
        {"size 0", tun.offset + 4, 0, "format mismatch TUN0 Order 0 Size 0"},
        {"size 11", tun.offset + 4, 11, "format mismatch TUN0 Order 0 Size 11"},
        {"size past the end", tun.offset + 4, static_cast<int32_t>(left + 4), "format mismatch TUN0"},
        {"size not a multiple of 4", tun.offset + 4, tun.size + 2, "format mismatch TUN0"},
        {"negative size", tun.offset + 4, -16, "format mismatch TUN0"},
        {"scrambled order with a garbage size", tun.offset + 8, ~0, "format mismatch TUN0 Order 0"},
        {"settings order beyond the programs", b[1].offset + 8, Programs, "format mismatch SYG1 Order 4"},
        {"program order beyond the memories", prg.offset + 8, 1, "format mismatch PROG Order 1 Size 100"},
        {"scrambled program order with a plain size", prg.offset + 8, -3, "format mismatch PROG Order 2"},
        {"program block framed badly inside", prg.offset + 16, 8, "format mismatch PROG Order 0 Size 100"},
        {"program block overrunning inside", prg.offset + 16, 96, "format mismatch PROG Order 0 Size 100"},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> bad = good;
        putWord(bad, c.offset, c.word);
        EXPECT_EQ(engine.loadBank(bad), 0) << c.what;
        EXPECT_EQ(engine.bank(), before) << c.what << ": the state is as it was";
        const std::vector<Message> m = engine.takeMessages();
        ASSERT_EQ(m.size(), 1u) << c.what;
        EXPECT_EQ(m[0].title, "Bank Load Error") << c.what;
        EXPECT_EQ(m[0].text.rfind(c.message, 0), 0u) << c.what << ": " << m[0].text;
    }

    // Trailing bytes that are no block, and an empty or null chunk.
    std::vector<unsigned char> trailing = good;
    trailing.insert(trailing.end(), {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(engine.loadBank(trailing), 0);
    EXPECT_EQ(engine.bank(), before);
    EXPECT_EQ(engine.takeMessages().size(), 1u);
    EXPECT_EQ(engine.setChunk(nullptr, 16, false), 0);
    EXPECT_EQ(engine.loadBank({}), 0);
    EXPECT_EQ(engine.bank(), before);
    engine.takeMessages();
}

TEST_F(ChunkFixture, AWellFramedBlockNoPartTakesEndsTheReadingWithWhatCameBefore)
{
    setStateA();
    const std::vector<unsigned char> good = engine.bank();
    const std::vector<Block> b = blocksOf(good);
    ASSERT_EQ(b.size(), 5u);
    // What a reset leaves, to tell the blocks after the unknown one.
    setStateB();
    engine.resetPara();
    const int defaultModule = engine.value(engine.rowGFX0, 0, 2);
    const int defaultProgram = engine.value(engine.rowPGLO, 0, 1);
    ASSERT_NE(defaultModule, 5);
    ASSERT_NE(defaultProgram, 42);

    struct Case { const char* what; size_t offset; int32_t word; const char* message; };
    const Case cases[] = {
        {"a tag of another build", b[2].offset, fourCC('Z', 'Z', 'Z', 'Z'), "format mismatch ZZZZ Order 0 Size 44"},
        {"a module order no row has", b[2].offset + 8, 3, "format mismatch GFX0 Order 3 Size 44"},
    };
    for (const Case& c : cases) {
        setStateB();
        std::vector<unsigned char> newer = good;
        putWord(newer, c.offset, c.word);
        EXPECT_EQ(engine.loadBank(newer), static_cast<int>(newer.size())) << c.what;
        // The settings before the block are restored, everything from it on is reset.
        EXPECT_EQ(engine.getSynGlo()->getParaVal(0, SynGloPara::GloTune), 4410) << c.what;
        EXPECT_EQ(engine.getSynGloIns()->getParaVal(0, SynGloInsPara::Solo), 1) << c.what;
        EXPECT_EQ(engine.value(engine.rowGFX0, 0, 2), defaultModule) << c.what;
        EXPECT_EQ(engine.value(engine.rowPGLO, 0, 1), defaultProgram) << c.what;
        const std::vector<Message> m = engine.takeMessages();
        ASSERT_EQ(m.size(), 1u) << c.what;
        EXPECT_EQ(m[0].title, "Bank Load Error") << c.what;
        EXPECT_EQ(m[0].text, c.message) << c.what;
    }
}

TEST_F(ChunkFixture, ATruncatedChunkIsRefusedAtEveryLengthInsideABlock)
{
    setStateA();
    const std::vector<unsigned char> good = engine.bank();
    std::vector<size_t> boundaries;
    for (const Block& b : blocksOf(good))
        boundaries.push_back(b.offset + static_cast<size_t>(b.size));
    setStateB();
    const std::vector<unsigned char> before = engine.bank();

    for (size_t n = 1; n < good.size(); ++n) {
        if (std::find(boundaries.begin(), boundaries.end(), n) != boundaries.end())
            continue;
        std::vector<unsigned char> cut(good.begin(), good.begin() + static_cast<long>(n));
        ASSERT_EQ(engine.loadBank(cut), 0) << "length " << n;
        ASSERT_EQ(engine.bank(), before) << "length " << n;
        const std::vector<Message> m = engine.takeMessages();
        ASSERT_EQ(m.size(), 1u) << "length " << n;
        EXPECT_EQ(m[0].title, "Bank Load Error");
    }

    // Cut at a block boundary it is a shorter, well-formed bank: the blocks
    // it holds are read, everything else starts from its defaults.
    const size_t twoBlocks = boundaries[1];
    std::vector<unsigned char> shorter(good.begin(), good.begin() + static_cast<long>(twoBlocks));
    EXPECT_EQ(engine.loadBank(shorter), static_cast<int32_t>(twoBlocks));
    EXPECT_EQ(engine.getSynGlo()->getParaVal(0, SynGloPara::GloTune), 4410) << "from the chunk";
    EXPECT_EQ(engine.value(engine.rowGFX0, 0, 2), 10) << "reset: not in the chunk";
}

TEST_F(ChunkFixture, ScrambledBlocksAreReadWithTheirDecodedSizeAndOrder)
{
    setStateA();
    std::vector<unsigned char> chunk = engine.bank();
    const std::vector<Block> blocks = blocksOf(chunk);
    // The settings, the global module and the first module inside the
    // program, each in the scrambled form.
    for (size_t at : {blocks[1].offset, blocks[2].offset, blocks[4].offset + 12}) {
        putWord(chunk, at + 4, encodeInt32(wordAt(chunk, at + 4)));
        putWord(chunk, at + 8, ~wordAt(chunk, at + 8));
        ASSERT_LT(wordAt(chunk, at + 8), 0);
    }
    setStateB();
    EXPECT_EQ(engine.loadBank(chunk), static_cast<int32_t>(chunk.size()));
    expectStateA();
    EXPECT_TRUE(engine.takeMessages().empty());
}

TEST_F(ChunkFixture, SkippedGlobalsLeaveTheTuningAndTheSkippedBlockIsAccepted)
{
    NoteFreqTable_c* tuning = engine.getTuningTable();
    tuning->init(true); // tonewheel
    const float tonewheel = tuning->getEntry(61);
    std::vector<unsigned char> chunk = engine.bank();
    appendWords(chunk, {TagMID1, 16, 0, 1234}); // skipped by the reader
    tuning->init(false);
    const float equal = tuning->getEntry(61);
    ASSERT_NE(tonewheel, equal);

    EXPECT_EQ(engine.setChunkBank(chunk.data(), static_cast<int>(chunk.size()), 0, 0, true),
              static_cast<int>(chunk.size()));
    EXPECT_EQ(tuning->getEntry(61), equal) << "skipGlobals leaves the tuning";
    EXPECT_EQ(engine.setChunkBank(chunk.data(), static_cast<int>(chunk.size()), 0, 0, false),
              static_cast<int>(chunk.size()));
    EXPECT_EQ(tuning->getEntry(61), tonewheel);
}

TEST_F(ChunkFixture, AControllerAssignmentBlockIsReadIntoTheTable)
{
    // No writer makes 'ECS1'; a chunk from elsewhere may carry one.
    ParaSet_c* table = engine.getECS()->getParaSet();
    ASSERT_NE(table, nullptr);
    const int slotController = ecsParaSlotBase + ecsSlotCCIdx;
    table->setParaVal(0, slotController, 74);
    std::vector<unsigned char> block = setChunk(table, 0, 0);
    putWord(block, 0, fourCC('E', 'C', 'S', '1'));
    std::vector<unsigned char> chunk = engine.bank();
    chunk.insert(chunk.end(), block.begin(), block.end());

    table->setParaVal(0, slotController, 20);
    EXPECT_EQ(engine.loadBank(chunk), static_cast<int32_t>(chunk.size()));
    EXPECT_EQ(table->getParaVal(0, slotController), 74);
    table->setParaVal(0, slotController, 20);
    EXPECT_EQ(engine.setChunkBank(chunk.data(), static_cast<int>(chunk.size()), 0, 0, true),
              static_cast<int>(chunk.size()));
    EXPECT_EQ(table->getParaVal(0, slotController), 20) << "skipGlobals leaves the table";
}

TEST_F(ChunkFixture, AnUnusableTuningIsRepairedAfterABankLoad)
{
    std::vector<unsigned char> chunk = engine.bank();
    const std::vector<Block> blocks = blocksOf(chunk);
    // The tuning's float array: version, on/off, then the count and entry 0.
    const size_t firstEntry = blocks[3].offset + 12 + 4 * 3;
    ASSERT_EQ(wordAt(chunk, firstEntry - 4), NumTuningNotes);
    const float tooLow = -1.0f;
    int32_t w;
    std::memcpy(&w, &tooLow, 4);
    putWord(chunk, firstEntry, w);
    EXPECT_EQ(engine.loadBank(chunk), static_cast<int32_t>(chunk.size()));
    EXPECT_NEAR(engine.getTuningTable()->getEntry(69), 440.0f, 0.01f) << "equal temperament again";
}

TEST_F(ChunkFixture, ProgramChunksRoundTripAndABadOneChangesNothing)
{
    setStateA();
    void* data = nullptr;
    const int n = engine.getChunk(&data, true);
    ASSERT_EQ(n, 88) << "the two modules of the program";
    std::vector<unsigned char> program(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + n);

    setStateB();
    EXPECT_EQ(engine.setChunk(program.data(), n, true), n);
    EXPECT_EQ(engine.value(engine.rowPGLO, 0, 1), 42);
    EXPECT_EQ(engine.value(engine.rowVOSC, 0, 3), 77);
    // The instrument took no MIDI while its memory was read, and its voices
    // were stopped with the audio thread held out.
    ASSERT_FALSE(engine.settled.empty());
    EXPECT_FALSE(engine.settled.front().receivingMIDI);
    EXPECT_TRUE(engine.instrument(0)->getReceiveMIDI()) << "and takes it again afterwards";
    ASSERT_FALSE(engine.voiceStops.empty());
    for (const auto& stop : engine.voiceStops)
        EXPECT_TRUE(stop.guarded);

    // What the host holds stays readable while the program changes again
    // (a queued program change may replace the memory before it reads).
    void* held = nullptr;
    ASSERT_EQ(engine.getChunk(&held, true), n);
    setStateB();
    engine.setPrgFromPara(0);
    EXPECT_EQ(engine.setChunkPreset(0, program.data(), n), n);
    EXPECT_EQ(0, std::memcmp(held, program.data(), static_cast<size_t>(n)));

    setStateB();
    std::vector<unsigned char> bad = program;
    putWord(bad, 44 + 4, 400); // the second module's size runs past the end
    EXPECT_EQ(engine.setChunk(bad.data(), n, true), 0);
    EXPECT_EQ(engine.value(engine.rowPGLO, 0, 1), 1) << "nothing was read, not even the first module";
    const std::vector<Message> m = engine.takeMessages();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].title, "Load Error");
    EXPECT_EQ(m[0].text, "format mismatch VOSC Order 0");
}

TEST_F(ChunkFixture, AnUnregisteredModuleEndsAProgramWithTheRestAtItsDefaults)
{
    setStateA();
    void* data = nullptr;
    const int n = engine.getChunk(&data, true);
    std::vector<unsigned char> program(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + n);
    putWord(program, 44, fourCC('Z', 'Z', 'Z', '9')); // the second module is unknown
    setStateB();
    EXPECT_EQ(engine.setChunkPreset(0, program.data(), n), n);
    EXPECT_EQ(engine.value(engine.rowPGLO, 0, 1), 42) << "read before the unknown block";
    EXPECT_EQ(engine.value(engine.rowVOSC, 0, 3), 10) << "reset, not read";
    const std::vector<Message> m = engine.takeMessages();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].title, "Load Error");
    EXPECT_EQ(m[0].text, "format mismatch ZZZ9 Order 0");
}

TEST_F(ChunkFixture, ProgramChunkEntriesAnswerTheirErrorCodes)
{
    void* data = reinterpret_cast<void*>(1);
    EXPECT_EQ(engine.getChunkPreset(1, &data), -1) << "one memory only";
    EXPECT_EQ(engine.getChunkPreset(-1, &data), -1);
    EXPECT_EQ(engine.getChunkPreset(0, nullptr), -2);
    unsigned char byte = 0;
    EXPECT_EQ(engine.setChunkPreset(0, nullptr, 4), -1);
    EXPECT_EQ(engine.setChunkPreset(0, &byte, 0), -1);
    EXPECT_EQ(engine.setChunkPreset(1, &byte, 1), 0) << "no such instrument";
}

TEST_F(ChunkFixture, AStateBeyondTheOldCapIsHandedOverWhole)
{
    // 32 float arrays of 32767 values: a global module of about 4.2 MB.
    class BigModule : public Part_c
    {
    public:
        int getTypeCode() const override { return fourCC('B', 'I', 'G', '0'); }
        bool getParaSetPtr(ParaSet_c** shared, int nSets) override
        {
            bool defined = false;
            Parameter_c* p = beginParaDefinition(shared, nSets, 33, &defined);
            if (!p)
                return defined;
            for (int i = 1; i < 33; ++i)
                p[i].createFloatArray("Table", 32767);
            return paraSet->spreadPara();
        }
        bool getParaSetPtr(ParaSet_c** shared) override { return getParaSetPtr(shared, 1); }
    };
    BigModule big;
    int row = -1;
    ASSERT_TRUE(engine.registerFirstModul(&row, &big, 0, 1, rmgGlobal));
    const std::vector<unsigned char> chunk = engine.bank();
    ASSERT_GT(chunk.size(), 3999999u);
    size_t end = 0;
    for (const Block& b : blocksOf(chunk))
        end = b.offset + static_cast<size_t>(b.size);
    EXPECT_EQ(end, chunk.size());
    EXPECT_EQ(engine.loadBank(chunk), static_cast<int32_t>(chunk.size()));
    EXPECT_TRUE(engine.takeMessages().empty());
}

TEST_F(ChunkFixture, NothingIsWrittenOrReadBeforeTheEngineOpens)
{
    ProgramTestEngine closed;
    void* data = nullptr;
    EXPECT_EQ(closed.getChunk(&data, false), 0);
    EXPECT_EQ(data, nullptr);
    const std::vector<unsigned char> chunk = engine.bank();
    std::vector<unsigned char> copy = chunk;
    EXPECT_EQ(closed.setChunk(copy.data(), static_cast<int32_t>(copy.size()), false), 0);
}

TEST(ChunkIds, BothByteOrdersOfAnAcceptedIdPass)
{
    ProgramTestEngine engine; // accepts "Tsx3,Tsy2"
    struct Row
    {
        int32_t id;
        bool ok;
        const char* what;
    };
    const Row rows[] = {
        {fourCC('T', 's', 'x', '3'), true, "first id"},
        {fourCC('3', 'x', 's', 'T'), true, "first id byte-reversed"},
        {fourCC('T', 's', 'y', '2'), true, "second id"},
        {fourCC('2', 'y', 's', 'T'), true, "second id byte-reversed"},
        {fourCC('T', 's', 'x', '4'), false, "another id"},
        {fourCC('s', 'x', '3', ','), false, "across the separator"},
        {0, false, "zero"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(engine.ChunkIdValid(r.id), r.ok) << r.what;
}
