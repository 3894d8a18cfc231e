// The text form of the factory programs: what a definition file says, the
// mistakes it reports with their lines, the program names the instrument
// can list, and the order the program list will have.
#include "ProgramText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace Bank;

TEST(ProgramText, ReadsEntriesSamplesPlaysAndStepsInFileOrder)
{
    const std::string text = "# Pad Test: a comment line\n"
                             "sample \"Vowel Ah C2.wav\"   # used below\n"
                             "\n"
                             "769  Gen 0 Type        = 1        # Time Sampler\n"
                             "702  Filename          = \"Vowel Ah C2.wav\"\n"
                             "134  Main Volume       = -112\n"
                             "612  Op.Mode = 1\n"
                             "play 60 63 67\n"
                             "648  StepData          = steps 100 0 128   # a note, a rest, a tie\n"
                             "   8 Gen 1 Balance=-100\n";
    std::vector<TextError> errors;
    const ProgramDefinition def = parseProgramText("Pad Test", text, errors);
    ASSERT_TRUE(errors.empty()) << errors.front().line << ": " << errors.front().message;
    EXPECT_EQ(def.name, "Pad Test");
    EXPECT_EQ(def.samples, std::vector<std::string>{"Vowel Ah C2.wav"});
    ASSERT_EQ(def.entries.size(), 7u);

    const Entry& type = def.entries[0];
    EXPECT_EQ(type.index, 769);
    EXPECT_EQ(type.name, "Gen 0 Type");
    EXPECT_FALSE(type.isText);
    EXPECT_EQ(type.value, 1);
    EXPECT_EQ(type.line, 4);

    EXPECT_TRUE(def.entries[1].isText);
    EXPECT_EQ(def.entries[1].text, "Vowel Ah C2.wav");
    EXPECT_EQ(def.entries[2].value, -112) << "negative whole numbers";

    const Entry& play = def.entries[4];
    EXPECT_TRUE(play.isPlay());
    EXPECT_EQ(play.keys, (std::vector<int>{60, 63, 67}));

    const Entry& steps = def.entries[5];
    EXPECT_TRUE(steps.isText && steps.isSteps);
    EXPECT_EQ(steps.text, stepPatternText({100, 0, 128}));

    EXPECT_EQ(def.entries[6].index, 8);
    EXPECT_EQ(def.entries[6].name, "Gen 1 Balance");
    EXPECT_EQ(def.entries[6].value, -100) << "blanks are optional around '='";
}

TEST(ProgramText, StepLevelsBecomeThePatternTextTheSequencerReads)
{
    // Two header bytes (step shown 0, length 16), then value byte '=' and
    // level + 1 per step; the levels repeat over all 128 steps.
    const std::string text = stepPatternText({100, 0, 128});
    ASSERT_EQ(text.size(), 2u + 2u * 128u);
    EXPECT_EQ(text[0], 1);
    EXPECT_EQ(text[1], 17);
    const int expected[] = {101, 1, 129, 101, 1, 129};
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(text[2 + 2 * k], '=') << "step " << k;
        EXPECT_EQ(static_cast<unsigned char>(text[3 + 2 * k]), expected[k]) << "step " << k;
    }
    EXPECT_EQ(static_cast<unsigned char>(text.back()), 1) << "step 127 takes the level of step 127 % 3, a rest";
}

TEST(ProgramText, ReportsEveryMistakeWithItsLine)
{
    struct Case
    {
        const char* what;
        const char* line;
        const char* message; // a part of the message
    };
    const Case cases[] = {
        {"no index", "Main Volume = -30", "starts with its external index"},
        {"index too high", "967 Nothing = 1", "outside 0..966"},
        {"negative index", "-1 Nothing = 1", "outside 0..966"},
        {"index glued to the name", "134Main Volume = -30", "a blank must follow the index"},
        {"no '='", "134 Main Volume -30", "has no '='"},
        {"no name", "134 = -30", "has no parameter name"},
        {"no value", "134 Main Volume =", "has no value"},
        {"a fraction", "134 Main Volume = 0.5", "a whole number"},
        {"a word", "134 Main Volume = loud", "a whole number"},
        {"trailing words", "134 Main Volume = -30 dB", "unexpected text after the value"},
        {"an open quote", "702 Filename = \"Vowel Ah C2.wav", "unterminated text"},
        {"a step level beyond a tie", "648 StepData = steps 100 129", "outside 0..128"},
        {"steps that are no numbers", "648 StepData = steps loud", "steps are levels"},
        {"a key beyond 127", "play 60 128", "outside 0..127"},
        {"play without keys", "play", "MIDI keys"},
        {"a sample without quotes", "sample Vowel.wav", "named in quotes"},
        {"a sample in a folder", "sample \"x/Vowel.wav\"", "file name alone"},
        {"an undeclared sample", "702 Filename = \"Bell C3.wav\"", "not declared"},
    };
    for (const Case& c : cases) {
        std::vector<TextError> errors;
        parseProgramText("Pad Test", std::string("134 Main Volume = -30\n") + c.line + "\n", errors);
        ASSERT_FALSE(errors.empty()) << c.what;
        EXPECT_EQ(errors.front().line, 2) << c.what;
        EXPECT_NE(errors.front().message.find(c.message), std::string::npos)
            << c.what << ": " << errors.front().message;
    }

    std::vector<TextError> errors;
    parseProgramText("Pad Test", "# only a comment\n", errors);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].line, 0) << "a program that changes nothing is no program";

    errors.clear();
    parseProgramText("Pad Test", "x = 1\n134 Main Volume = loud\n", errors);
    EXPECT_EQ(errors.size(), 2u) << "the whole file is read";
}

TEST(ProgramText, ProgramNamesFitTheHostsListAndAFileName)
{
    std::string why;
    for (const char* good : {"Pad Glass Choir", "Arp Pulse 16th", "Bass (Mono) 2", "123456789012345678901234567"})
        EXPECT_TRUE(isUsableProgramName(good, why)) << good << ": " << why;
    for (const char* bad : {"", "1234567890123456789012345678", "Arp Pulse 1/16", "Back\\slash", " Leading", "Trailing ",
                            ".hidden", "Caf\xc3\xa9", "Tab\tName"})
        EXPECT_FALSE(isUsableProgramName(bad, why)) << bad;

    std::vector<TextError> errors;
    parseProgramText("Arp Pulse 1/16", "134 Main Volume = -30\n", errors);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].line, 0);
}

TEST(ProgramText, NamesSortAsTheProgramListSortsItsFiles)
{
    // Without regard to case, and by the file name: "Bass A 2.fxp" comes
    // before "Bass A.fxp" since a blank sorts before the dot.
    std::vector<std::string> names{"pad soft", "Bass A", "Arp", "Bass A 2", "PAD Hard", "bass b"};
    std::sort(names.begin(), names.end(), programNameLess);
    EXPECT_EQ(names, (std::vector<std::string>{"Arp", "Bass A 2", "Bass A", "bass b", "PAD Hard", "pad soft"}));
}

TEST(ProgramText, AnAnnotationFillsOnlyEntriesWithoutAComment)
{
    // Comments start in column 41, where the files keep them.
    EXPECT_EQ(withComment("134  Main Volume = -112", "-22.4 dB"),
              "134  Main Volume = -112" + std::string(41 - 23, ' ') + "# -22.4 dB");
    EXPECT_EQ(withComment("134  Main Volume = -112   # softer than the rest", "-22.4 dB"),
              "134  Main Volume = -112   # softer than the rest")
        << "the author's words stay";
    const std::string text = "702 Filename = \"Dark # Bell.wav\"";
    EXPECT_EQ(withComment(text, "x"), text + std::string(41 - text.size(), ' ') + "# x")
        << "a '#' inside a text is no comment";
    EXPECT_EQ(withComment("# a comment line", "x"), "# a comment line");
    EXPECT_EQ(withComment("play 60 64", "x"), "play 60 64");
}
