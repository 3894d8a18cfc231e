// tessel-host info on the two built plug-ins: each build's pins and speaker
// arrangement as a host sees them.
#include "host/Commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

TEST(HostInfo, ShowsThePinsAndSpeakersOfEachBuild)
{
    struct Build
    {
        const char* file;
        std::vector<std::string> lines;
    };
    const Build builds[] = {
        {"Tessel3-51.so",
         {"numOutputs: 6", "output 0: label=\"TsX3 L\" shortLabel=\"\" flags=3",
          "output 3: label=\"TsX3 Lfe\" shortLabel=\"\" flags=1", "output 5: label=\"TsX3 RS\" shortLabel=\"\" flags=3",
          "speakers input: type=-1 channels=0 speakers=\n", "speakers output: type=15 channels=6 speakers=1,2,3,4,5,6\n"}},
        {"Tessel3-Stereo.so",
         {"numOutputs: 2", "output 0: label=\"Tessel3\" shortLabel=\"\" flags=3",
          "output 1: label=\"Tessel3\" shortLabel=\"\" flags=3", "speakers input: type=-1 channels=0 speakers=\n",
          "speakers output: type=1 channels=2 speakers=1,2\n"}},
    };
    for (const Build& b : builds) {
        const std::string path = std::string(TESSEL_PLUGIN_DIR) + "/" + b.file;
        if (!std::filesystem::exists(path))
            GTEST_SKIP() << path << " is not built";
        std::ostringstream out, err;
        ASSERT_EQ(Host::runHost({"info", path}, out, err), 0) << err.str();
        for (const std::string& line : b.lines)
            EXPECT_NE(out.str().find(line), std::string::npos) << b.file << ": " << line;
        EXPECT_EQ(out.str().find("output 6:"), std::string::npos) << b.file;
    }
}
