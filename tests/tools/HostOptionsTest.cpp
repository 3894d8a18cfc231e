// The command line of tessel-host, and the commands' failure paths that need
// no plug-in.
#include "host/Commands.h"
#include "host/HostOptions.h"

#include <gtest/gtest.h>

#include <sstream>

using Host::HostOptions;

namespace {

std::vector<std::string> words(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

} // namespace

TEST(HostOptions, AFullRenderLine)
{
    HostOptions o;
    std::string error;
    ASSERT_TRUE(Host::parseHostOptions(
        words("render p.so --midi s.mid --out o.wav --rate 44100 --block=64 --seconds 2.5 --param 3=0.25 "
              "--param 710=1 --value 769=3 --text=702=/s/a=b.wav --text 841= --soundfont 2=gm.sf2 --program 7 "
              "--chunk-in a.fxb --chunk-out b.fxb --show-param 3 --show-param=922 --no-idle"),
        o, error))
        << error;
    EXPECT_EQ(o.command, Host::Command::Render);
    EXPECT_EQ(o.plugin, "p.so");
    EXPECT_EQ(o.midi, "s.mid");
    EXPECT_EQ(o.out, "o.wav");
    EXPECT_EQ(o.sampleRate, 44100);
    EXPECT_EQ(o.blockFrames, 64);
    ASSERT_TRUE(o.seconds);
    EXPECT_DOUBLE_EQ(*o.seconds, 2.5);
    // The settings keep their order; a text keeps every '=' after the first.
    using Kind = Host::EntrySetting::Kind;
    ASSERT_EQ(o.settings.size(), 6u);
    const struct
    {
        Kind kind;
        int index;
        float normalised;
        int value;
        const char* text;
    } expected[] = {
        {Kind::Normalised, 3, 0.25f, 0, ""}, {Kind::Normalised, 710, 1.0f, 0, ""}, {Kind::Value, 769, 0, 3, ""},
        {Kind::Text, 702, 0, 0, "/s/a=b.wav"}, {Kind::Text, 841, 0, 0, ""},       {Kind::SoundFont, 2, 0, 0, "gm.sf2"},
    };
    for (size_t i = 0; i < o.settings.size(); ++i) {
        EXPECT_EQ(o.settings[i].kind, expected[i].kind) << i;
        EXPECT_EQ(o.settings[i].index, expected[i].index) << i;
        EXPECT_FLOAT_EQ(o.settings[i].normalised, expected[i].normalised) << i;
        EXPECT_EQ(o.settings[i].value, expected[i].value) << i;
        EXPECT_EQ(o.settings[i].text, expected[i].text) << i;
    }
    EXPECT_EQ(o.program, 7);
    EXPECT_EQ(o.chunkIn, "a.fxb");
    EXPECT_EQ(o.chunkOut, "b.fxb");
    EXPECT_EQ(o.shownParameters, (std::vector<int>{3, 922}));
    EXPECT_FALSE(o.idle);
}

TEST(HostOptions, DefaultsAndOtherCommands)
{
    HostOptions o;
    std::string error;
    ASSERT_TRUE(Host::parseHostOptions(words("render p.so --out o.wav"), o, error)) << error;
    EXPECT_TRUE(o.midi.empty()) << "no --midi: the demo phrase";
    EXPECT_EQ(o.sampleRate, 48000);
    EXPECT_EQ(o.blockFrames, 256);
    EXPECT_FALSE(o.seconds);
    EXPECT_TRUE(o.idle);

    ASSERT_TRUE(Host::parseHostOptions(words("info p.so --no-idle"), o, error)) << error;
    EXPECT_EQ(o.command, Host::Command::Info);
    EXPECT_FALSE(o.idle);
    ASSERT_TRUE(Host::parseHostOptions(words("wavstats x.wav"), o, error)) << error;
    EXPECT_EQ(o.wav, "x.wav");
    ASSERT_TRUE(Host::parseHostOptions({}, o, error));
    EXPECT_EQ(o.command, Host::Command::Help);
    ASSERT_TRUE(Host::parseHostOptions(words("pictures p.so --out shots"), o, error)) << error;
    EXPECT_EQ(o.command, Host::Command::Pictures);
    EXPECT_EQ(o.out, "shots");
}

TEST(HostOptions, BadLinesAreRefusedWithAReason)
{
    const struct
    {
        const char* line;
        const char* errorPart;
    } cases[] = {
        {"play p.so", "unknown command"},
        {"render --out o.wav", "needs a plug-in"},
        {"render p.so", "needs --out"},
        {"render p.so --out", "--out needs a value"},
        {"render p.so --out o.wav --rate 48000x", "--rate"},
        {"render p.so --out o.wav --rate 0", "--rate"},
        {"render p.so --out o.wav --block 0", "--block"},
        {"render p.so --out o.wav --block 1000000", "--block"},
        {"render p.so --out o.wav --seconds 0", "--seconds"},
        {"render p.so --out o.wav --seconds -1", "--seconds"},
        {"render p.so --out o.wav --seconds 1e9", "--seconds"},
        {"render p.so --out o.wav --seconds nan", "--seconds"},
        {"render p.so --out o.wav --param 3", "--param"},
        {"render p.so --out o.wav --param 3=1.5", "--param"},
        {"render p.so --out o.wav --param -1=0.5", "--param"},
        {"render p.so --out o.wav --param x=0.5", "--param"},
        {"render p.so --out o.wav --value 769", "--value wants INDEX=N"},
        {"render p.so --out o.wav --value 769=1.5", "--value wants INDEX=N"},
        {"render p.so --out o.wav --value -2=1", "--value wants INDEX=N"},
        {"render p.so --out o.wav --text 702", "--text wants INDEX=TEXT"},
        {"render p.so --out o.wav --soundfont 3=gm.sf2", "SLOT 1 or 2"},
        {"render p.so --out o.wav --soundfont 1=", "SLOT 1 or 2"},
        {"info p.so --text 702=a.wav", "does not apply to info"},
        {"render p.so --out o.wav --show-param -1", "--show-param"},
        {"render p.so --out o.wav --show-param 2x", "--show-param"},
        {"info p.so --show-param 2", "--show-param"},
        {"render p.so --out o.wav --program -2", "--program"},
        {"render p.so --out o.wav --volume 3", "unknown option --volume"},
        {"render p.so q.so --out o.wav", "unexpected argument"},
        {"info p.so --midi s.mid", "does not apply to info"},
        {"wavstats x.wav --rate 44100", "does not apply to wavstats"},
        {"info p.so --no-idle=1", "takes no value"},
        {"pictures p.so", "needs --out DIR"},
        {"pictures p.so --out d --seconds 2", "does not apply to pictures"},
    };
    for (const auto& c : cases) {
        HostOptions o;
        std::string error;
        EXPECT_FALSE(Host::parseHostOptions(words(c.line), o, error)) << c.line;
        EXPECT_NE(error.find(c.errorPart), std::string::npos) << c.line << ": " << error;
    }
}

TEST(HostCommands, FailuresGiveNonZeroStatusAndAMessage)
{
    const struct
    {
        const char* line;
        int status;
        const char* errorPart;
    } cases[] = {
        {"render", 2, "usage"},
        {"info /nonexistent/plugin.so", 1, "cannot load"},
        {"render /nonexistent/plugin.so --out /nonexistent/o.wav", 1, "cannot load"},
        {"render /nonexistent/plugin.so --midi /nonexistent/s.mid --out o.wav", 1, "cannot open MIDI file"},
        {"render /nonexistent/plugin.so --chunk-in /nonexistent/c.fxb --out o.wav", 1, "cannot open"},
        {"wavstats /nonexistent/x.wav", 1, "cannot read"},
        {"pictures /nonexistent/plugin.so --out /tmp", 1, "not built into this host"},
    };
    for (const auto& c : cases) {
        std::ostringstream out, err;
        EXPECT_EQ(Host::runHost(words(c.line), out, err), c.status) << c.line;
        EXPECT_NE(err.str().find(c.errorPart), std::string::npos) << c.line << ": " << err.str();
    }
}
