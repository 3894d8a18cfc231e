// tessel-host render beyond the host parameters: --value, --text,
// --soundfont and --show-param of editor entries reach the built plug-in
// through its tooling channel; bad settings fail the render with the
// plug-in's reason; a plug-in without the channel is told apart.
#include "host/Commands.h"
#include "host/PluginHost.h"
#include "host/ToolingClient.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr const char* RealSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

std::string stereoPlugin()
{
    return std::string(TESSEL_PLUGIN_DIR) + "/Tessel3-Stereo.so";
}

// The "rms: " line of wavstats.
double rmsOf(const std::string& wav)
{
    std::ostringstream out, err;
    EXPECT_EQ(Host::runHost({"wavstats", wav}, out, err), 0) << err.str();
    const std::string text = out.str();
    const size_t at = text.find("\nrms: ");
    return at == std::string::npos ? -1.0 : std::stod(text.substr(at + 6));
}

} // namespace

TEST(HostTooling, ASoundFontInGeneratorSlot1PlaysTheDemo)
{
    if (!std::filesystem::exists(stereoPlugin()))
        GTEST_SKIP() << stereoPlugin() << " is not built";
    if (!std::filesystem::exists(RealSoundFont))
        GTEST_SKIP() << RealSoundFont << " is not installed (package timgm6mb-soundfont)";
    TestSupport::TempDir dir;
    // Both generator slots of the default program on samplers with nothing
    // loaded: what sounds then is the SoundFont alone.
    const std::vector<std::string> base = {"render", stereoPlugin(), "--seconds", "2", "--value", "769=3",
                                           "--show-param", "769", "--show-param", "813"};
    auto render = [&](const std::string& wav, std::vector<std::string> extra, std::string& said) {
        std::vector<std::string> args = base;
        args.insert(args.end(), {"--out", wav});
        args.insert(args.end(), extra.begin(), extra.end());
        std::ostringstream out, err;
        EXPECT_EQ(Host::runHost(args, out, err), 0) << err.str();
        said = out.str();
    };
    std::string silent, playing;
    render(dir.file("empty.wav"), {}, silent);
    render(dir.file("sf2.wav"), {"--soundfont", std::string("1=") + RealSoundFont}, playing);
    EXPECT_NE(playing.find("soundfont: generator slot 1 plays"), std::string::npos) << playing;
    EXPECT_NE(playing.find("param 769: value=1 display="), std::string::npos) << playing;
    EXPECT_NE(playing.find(std::string("text=\"") + RealSoundFont + "\""), std::string::npos) << playing;
    EXPECT_NE(silent.find("entry 769: value=1 own=3"), std::string::npos) << silent;
    const double quiet = rmsOf(dir.file("empty.wav"));
    const double loud = rmsOf(dir.file("sf2.wav"));
    EXPECT_GT(loud, 0.01);
    EXPECT_GT(loud, 30.0 * quiet) << "the demo phrase sounds through the SoundFont";
}

TEST(HostTooling, BadSettingsFailTheRenderWithTheReason)
{
    if (!std::filesystem::exists(stereoPlugin()))
        GTEST_SKIP() << stereoPlugin() << " is not built";
    TestSupport::TempDir dir;
    const std::string notSf2 = dir.file("not.sf2");
    std::ofstream(notSf2) << "RIFF\x04\0\0\0WAVE";
    const struct
    {
        std::vector<std::string> args;
        const char* reason;
    } cases[] = {
        {{"--value", "769=9"}, "takes 0..3, not 9"},
        {{"--text", "769=loop"}, "holds a number"},
        {{"--value", "702=1"}, "holds a text"},
        {{"--param", "1000=0.5"}, "entry 1000 is outside 0..966"},
        {{"--show-param", "967"}, "entry 967 is outside 0..966"},
        {{"--value", "947=1"}, "shown only"},
        {{"--soundfont", "1=/nonexistent/gm.sf2"}, "cannot read /nonexistent/gm.sf2"},
        {{"--soundfont", "2=" + notSf2}, "is not a SoundFont 2 file"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"render", stereoPlugin(), "--seconds", "0.1", "--out", dir.file("x.wav")};
        args.insert(args.end(), c.args.begin(), c.args.end());
        std::ostringstream out, err;
        EXPECT_EQ(Host::runHost(args, out, err), 1) << c.args[0] << " " << c.args[1];
        EXPECT_NE(err.str().find(c.reason), std::string::npos) << c.args[1] << ": " << err.str();
    }
}

namespace {

// A plug-in that knows no vendor calls.
intptr_t silentDispatcher(AEffect*, int32_t, int32_t, intptr_t, void*, float)
{
    return 0;
}

AEffect gPlain{};

AEffect* plainEntry(audioMasterCallback)
{
    gPlain.magic = kEffectMagic;
    gPlain.dispatcher = silentDispatcher;
    return &gPlain;
}

} // namespace

TEST(HostTooling, APlugInWithoutTheChannelIsToldApart)
{
    Host::PluginHost_c host;
    std::string error;
    ASSERT_TRUE(host.attach(plainEntry, error)) << error;
    Host::ToolingClient_c tooling(host);
    EXPECT_FALSE(tooling.available());
    Tooling::Request answer;
    EXPECT_FALSE(tooling.setValue(769, 3, answer, error));
    EXPECT_EQ(error, "the plug-in has no tooling channel");
    EXPECT_FALSE(Host::importSoundFont(tooling, 3, RealSoundFont, error));
    EXPECT_NE(error.find("slot 3 holds no loop sampler"), std::string::npos) << error;
}
