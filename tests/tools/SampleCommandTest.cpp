// tessel-host sample: real files from outside the project (the WAVs that
// alsa-utils installs, AIFF and AIFC files made by sox) load through the
// engine's reader, and the decoded output equals libsndfile's decoding.
#include "host/Commands.h"
#include "host/HostOptions.h"

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdlib>
#include <dirent.h>
#include <sstream>
#include <string>
#include <vector>

using TestSupport::TempDir;

namespace {

struct CommandRun
{
    int status = 0;
    std::string out, err;
};

CommandRun sample(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    std::vector<std::string> all{"sample"};
    all.insert(all.end(), args.begin(), args.end());
    CommandRun r;
    r.status = Host::runHost(all, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

std::vector<float> decode(const std::string& path, SF_INFO& info)
{
    info = {};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f)
        return {};
    std::vector<float> all(size_t(info.frames * info.channels));
    sf_readf_float(f, all.data(), info.frames);
    sf_close(f);
    return all;
}

// Loads the file through the command with --out and compares the decoded
// WAV with libsndfile's reading of the original.
void expectSameAsReference(const std::string& file, const TempDir& dir)
{
    SCOPED_TRACE(file);
    const std::string decoded = dir.file("decoded.wav");
    const CommandRun r = sample({file, "--out", decoded});
    ASSERT_EQ(r.status, 0) << r.err;
    SF_INFO refInfo, outInfo;
    const std::vector<float> ref = decode(file, refInfo);
    const std::vector<float> got = decode(decoded, outInfo);
    ASSERT_FALSE(ref.empty());
    EXPECT_NE(r.out.find("frames: " + std::to_string(refInfo.frames) + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("rate: " + std::to_string(refInfo.samplerate) + "\n"), std::string::npos) << r.out;
    ASSERT_EQ(outInfo.channels, refInfo.channels);
    ASSERT_EQ(outInfo.samplerate, refInfo.samplerate);
    ASSERT_EQ(got.size(), ref.size());
    for (size_t i = 0; i < ref.size(); ++i)
        ASSERT_NEAR(got[i], ref[i], 1e-6f) << "sample " << i;
}

} // namespace

TEST(SampleCommand, AlsaSoundsLoad)
{
    const std::string folder = "/usr/share/sounds/alsa";
    std::vector<std::string> files;
    if (DIR* d = opendir(folder.c_str())) {
        while (const dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() > 4 && name.substr(name.size() - 4) == ".wav")
                files.push_back(folder + "/" + name);
        }
        closedir(d);
    }
    ASSERT_FALSE(files.empty()) << "alsa-utils is not installed (tools/setup.sh installs it)";
    TempDir dir;
    for (const std::string& f : files)
        expectSameAsReference(f, dir);
}

TEST(SampleCommand, SoxAiffFilesLoad)
{
    ASSERT_EQ(std::system("command -v sox >/dev/null 2>&1"), 0) << "sox is not installed (tools/setup.sh installs it)";
    TempDir dir;
    const struct { const char* name; const char* options; } files[] = {
        {"plain.aiff", "-b 16 -c 1"},
        {"stereo24.aiff", "-b 24 -c 2"},
        {"pcm.aifc", "-b 16 -c 2"},
        {"float.aifc", "-e floating-point -b 32 -c 1"},
        {"eight.aifc", "-b 8 -c 1"},
    };
    for (const auto& f : files) {
        const std::string path = dir.file(f.name);
        const std::string cmd = std::string("sox -q -n -r 22050 ") + f.options + " " + path
                              + " synth 0.05 sine 440 sine 660 vol 0.8";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        expectSameAsReference(path, dir);
    }

    // A compressed AIFC is refused with its reason, and no output is made.
    // (sox writes no mu-law AIFC, so its 8-bit file is relabelled.)
    const std::string ulaw = dir.file("ulaw.aifc");
    std::string bytes = TestSupport::readFile(dir.file("eight.aifc"));
    const size_t none = bytes.find("NONE");
    ASSERT_NE(none, std::string::npos);
    bytes.replace(none, 4, "ulaw");
    TestSupport::writeFile(ulaw, bytes);
    const CommandRun r = sample({ulaw, "--out", dir.file("none.wav")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("result: -340"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("compression"), std::string::npos) << r.err;
    EXPECT_EQ(TestSupport::readFile(dir.file("none.wav")), "");
}

TEST(SampleCommand, CommandLine)
{
    Host::HostOptions o;
    std::string error;
    ASSERT_TRUE(Host::parseHostOptions({"sample", "a.wav", "--out", "b.wav"}, o, error)) << error;
    EXPECT_EQ(o.command, Host::Command::Sample);
    EXPECT_EQ(o.sample, "a.wav");
    EXPECT_EQ(o.out, "b.wav");
    EXPECT_FALSE(Host::parseHostOptions({"sample"}, o, error));
    EXPECT_EQ(error, "sample needs a sample file");
    EXPECT_FALSE(Host::parseHostOptions({"sample", "a.wav", "--rate", "44100"}, o, error));
    EXPECT_EQ(sample({"/nonexistent/x.wav"}).status, 1);
}
