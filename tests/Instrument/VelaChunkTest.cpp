// The plug-in's own project and program chunks: what getChunk hands the host
// comes back through setChunk byte for byte, however the sound was set and
// whether notes sound while it is saved, and loading it again and again moves
// nothing; a chunk the plug-in refuses changes nothing at all, not even the
// voice count it shows or the voices that sound.
#include "VelaPlayer.h"

#include "OsLib.h"
#include "PolyNoteTable.h"
#include "SysGlo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string chunkOf(VelaPlayer& p, bool program)
{
    void* data = nullptr;
    const intptr_t n = p.call(effGetChunk, program ? 1 : 0, 0, &data);
    return n > 0 && data ? std::string(static_cast<const char*>(data), static_cast<size_t>(n)) : std::string();
}

intptr_t load(VelaPlayer& p, bool program, std::string bytes)
{
    return p.call(effSetChunk, program ? 1 : 0, static_cast<intptr_t>(bytes.size()), bytes.data());
}

// Where two chunks first differ, for the failure message.
std::string firstDifference(const std::string& a, const std::string& b)
{
    if (a == b)
        return "none";
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i])
        ++i;
    return "byte " + std::to_string(i) + " of " + std::to_string(a.size()) + " / " + std::to_string(b.size());
}

// Every host parameter moved to a value drawn from seed (0: none moved),
// two keys held and a little rendered, so voices sound while the host saves.
void shapeAndPlay(VelaPlayer& p, uint32_t seed)
{
    uint32_t s = seed;
    for (int i = 0; seed != 0 && i < NumHostParameters - 1; ++i) {
        s = s * 1664525u + 1013904223u;
        p.plugin().setParameterAutomated(i, static_cast<float>(s >> 8) / static_cast<float>(1u << 24));
    }
    p.call(effIdle);
    p.noteOn(60);
    p.noteOn(64);
    std::array<std::vector<float>, 2> out;
    p.render(0.05, out);
}

int notesOnShown(VelaPlayer& p)
{
    return p.plugin().getSynGloIns()->getParaVal(0, SynGloInsPara::NotesOn);
}

struct QuietPanels
{
    QuietPanels()
    {
        OsLib_c::setPanelHook([](const std::string&, const std::string&, bool) { return false; });
    }
    ~QuietPanels() { OsLib_c::setPanelHook({}); }
};

} // namespace

TEST(VelaChunk, OwnBankAndProgramChunksComeBackByteForByte)
{
    QuietPanels quiet;
    // Seed 0: the default sound with two notes sounding (their count is
    // shown at offset 36 of each instrument block). The others move every
    // host parameter, among them detunes shared by ranges of different steps
    // and links that rewrite another parameter.
    for (const uint32_t seed : {0u, 1u, 2u, 3u, 4u}) {
        for (const bool program : {false, true}) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << (program ? ", program" : ", bank"));
            VelaPlayer p;
            shapeAndPlay(p, seed);
            ASSERT_GT(notesOnShown(p), 0) << "notes sound while the host saves";
            std::string saved = chunkOf(p, program);
            ASSERT_FALSE(saved.empty());
            // Three loads of what was saved: each gives back the same bytes.
            for (int round = 0; round < 3; ++round) {
                ASSERT_GT(load(p, program, saved), 0) << "round " << round;
                p.call(effIdle);
                const std::string again = chunkOf(p, program);
                EXPECT_EQ(firstDifference(saved, again), "none") << "round " << round;
                saved = again;
            }
        }
    }
}

TEST(VelaChunk, ARefusedChunkChangesNothing)
{
    QuietPanels quiet;
    VelaPlayer p;
    shapeAndPlay(p, 7);
    const std::string bank = chunkOf(p, false);
    const std::string program = chunkOf(p, true);
    ASSERT_GT(program.size(), 24u);
    const int shown = notesOnShown(p);
    const int sounding = p.plugin().getPolyNoteTable()->getInUse();
    ASSERT_GT(shown, 0);

    auto withWord = [](std::string bytes, size_t at, int32_t word) {
        std::memcpy(bytes.data() + at, &word, sizeof word);
        return bytes;
    };
    struct Case
    {
        const char* what;
        bool program;
        std::string bytes;
    };
    const Case cases[] = {
        {"text that is no chunk", true, "these bytes are no program of this plug-in at all"},
        {"a program cut inside its first block", true, program.substr(0, 20)},
        {"a program whose first block runs past the end", true, withWord(program, 4, 1 << 30)},
        {"a program block smaller than its header", true, withWord(program, 4, 8)},
        {"an empty program", true, std::string()},
        {"a project cut inside a block", false, bank.substr(0, bank.size() / 2 + 2)},
        {"a project whose first block runs past the end", false, withWord(bank, 4, 1 << 30)},
        {"text that is no project", false, "these bytes are no project of this plug-in at all"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(load(p, c.program, c.bytes), 0) << "refused";
        p.call(effIdle);
        EXPECT_EQ(notesOnShown(p), shown) << "the voice count shown";
        EXPECT_EQ(p.plugin().getPolyNoteTable()->getInUse(), sounding) << "the voices sounding";
        EXPECT_EQ(firstDifference(chunkOf(p, false), bank), "none");
        EXPECT_EQ(firstDifference(chunkOf(p, true), program), "none");
    }
}
