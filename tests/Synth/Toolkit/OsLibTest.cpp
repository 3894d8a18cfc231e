#include "OsLib.h"

#include "Path.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using Vdx::String_c;
using TestSupport::ScopedEnv;
using TestSupport::TempDir;

namespace {

// Points the preferences at a fresh temporary folder.
class OsLibPrefs : public testing::Test
{
protected:
    TempDir dir;
    ScopedEnv config{"XDG_CONFIG_HOME", dir.path().c_str()};

    std::string prefsFile() const { return dir.path() + "/Vendrax/" + OsLib_c::BundleIdentifier + ".prefs"; }

    static std::vector<unsigned char> recallBytes(const char* key)
    {
        void* data = nullptr;
        int n = -1;
        if (!OsLib_c::recallChunk(key, &data, &n))
            return {};
        std::vector<unsigned char> bytes(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + n);
        std::free(data);
        return bytes;
    }
};

std::string bytesOf(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s += static_cast<char>(v);
    return s;
}

} // namespace

TEST_F(OsLibPrefs, FileLivesInTheVendorFolderOfTheConfigHome)
{
    EXPECT_EQ(OsLib_c::getPreferencesFile(), prefsFile());
    ASSERT_TRUE(OsLib_c::remindLong("k", 1));
    struct stat st;
    ASSERT_EQ(stat(prefsFile().c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    // Nothing but the file and its lock file is left behind.
    for (const auto& e : std::filesystem::directory_iterator(dir.path() + "/Vendrax")) {
        const std::string name = e.path().filename().string();
        EXPECT_TRUE(name == std::string(OsLib_c::BundleIdentifier) + ".prefs" ||
                    name == std::string(OsLib_c::BundleIdentifier) + ".prefs.lock")
            << name;
    }
}

TEST_F(OsLibPrefs, NumbersRoundTrip)
{
    for (int v : {0, 1, -1, 42, INT_MIN, INT_MAX}) {
        ASSERT_TRUE(OsLib_c::remindLong("number", v)) << v;
        int got = 7;
        ASSERT_TRUE(OsLib_c::recallLong("number", &got)) << v;
        EXPECT_EQ(got, v);
    }
    int got = 7;
    EXPECT_FALSE(OsLib_c::recallLong("missing", &got));
    EXPECT_EQ(got, 7) << "a missing number leaves the output alone";
    EXPECT_FALSE(OsLib_c::recallLong("number", nullptr));
    EXPECT_FALSE(OsLib_c::remindLong("", 3));
    EXPECT_FALSE(OsLib_c::recallLong("", &got));
}

TEST_F(OsLibPrefs, TextsWithAnyBytesRoundTrip)
{
    struct Case { std::string key, value; const char* what; };
    const Case cases[] = {
        {"plain", "text", "plain text"},
        {"path", "/home/u/My Samples/kick=1.wav", "'=' and spaces in a value"},
        {"a=b", "c", "'=' in a key"},
        {"lines", "first\nsecond\r\nthird\n", "newlines in a value"},
        {"key\nwith\nlines", "v", "newlines in a key"},
        {bytesOf({'n', 0, 'u', 'l'}), bytesOf({'v', 0, 0, 'x'}), "NUL bytes in key and value"},
        {"percent%41", "%41%%", "escape characters stay literal"},
        {"# not a comment", " leading and trailing spaces ", "comment marker and spaces"},
        {"s x=y", "n y=1", "text that looks like an entry"},
        {"latin", bytesOf({0xE9, 0xFF, 0x80}), "bytes above 0x7F"},
    };
    for (const Case& c : cases)
        ASSERT_TRUE(OsLib_c::remindStringCore(c.key, c.value)) << c.what;
    for (const Case& c : cases) {
        String_c got("stale");
        ASSERT_TRUE(OsLib_c::recallStringCore(c.key, &got)) << c.what;
        EXPECT_EQ(got, c.value) << c.what;
    }
    // Every entry is one line: escaping keeps separators out of keys and values.
    const std::string file = TestSupport::readFile(prefsFile());
    int entryLines = 0;
    for (size_t at = 0; (at = file.find('\n', at)) != std::string::npos; ++at)
        ++entryLines;
    EXPECT_EQ(file.find('\0'), std::string::npos);
    EXPECT_GE(entryLines, static_cast<int>(std::size(cases)));
}

TEST_F(OsLibPrefs, TextRules)
{
    ASSERT_TRUE(OsLib_c::remindStringCore("k", "kept"));
    EXPECT_FALSE(OsLib_c::remindStringCore("k", "")) << "an empty text is never stored";
    String_c got;
    ASSERT_TRUE(OsLib_c::recallStringCore("k", &got));
    EXPECT_EQ(got, "kept");

    got = "stale";
    EXPECT_FALSE(OsLib_c::recallStringCore("missing", &got));
    EXPECT_TRUE(got.empty()) << "the output is emptied even when nothing is found";
    got = "stale";
    EXPECT_FALSE(OsLib_c::recallStringCore("", &got));
    EXPECT_TRUE(got.empty());
    EXPECT_FALSE(OsLib_c::recallStringCore("k", nullptr));
    EXPECT_FALSE(OsLib_c::remindStringCore("", "v"));

    // Numbers and texts are different kinds of value.
    ASSERT_TRUE(OsLib_c::remindLong("n", 5));
    EXPECT_FALSE(OsLib_c::recallStringCore("n", &got));
    int v = 9;
    EXPECT_FALSE(OsLib_c::recallLong("k", &v));
    EXPECT_EQ(v, 9);

    // No cap on a text's length: it comes back whole and reported as found.
    std::string longText(50000, 'x');
    for (size_t i = 0; i < longText.size(); i += 97)
        longText[i] = static_cast<char>('a' + i % 26);
    ASSERT_TRUE(OsLib_c::remindStringCore("long", longText));
    ASSERT_TRUE(OsLib_c::recallStringCore("long", &got));
    EXPECT_EQ(got.size(), longText.size());
    EXPECT_EQ(got, longText);
}

TEST_F(OsLibPrefs, HexChunks)
{
    const unsigned char three[] = {0x00, 0xAB, 0x7F};
    ASSERT_TRUE(OsLib_c::remindChunk("chunk", three, 3));
    String_c text;
    ASSERT_TRUE(OsLib_c::recallStringCore("chunk", &text));
    EXPECT_EQ(text, "00AB7F");
    EXPECT_EQ(recallBytes("chunk"), (std::vector<unsigned char>{0x00, 0xAB, 0x7F}));

    struct Case { const char* text; std::vector<unsigned char> bytes; const char* what; };
    const Case cases[] = {
        {"00ab7f", {0x00, 0x00, 0x70}, "lower-case letters count as 0"},
        {"ABC", {0xAB}, "a trailing odd digit is ignored"},
        {"G1Z9", {0x01, 0x09}, "other characters count as 0"},
        {"A", {}, "a single digit gives an empty block"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(OsLib_c::remindStringCore("typed", c.text)) << c.what;
        void* data = nullptr;
        int n = -1;
        ASSERT_TRUE(OsLib_c::recallChunk("typed", &data, &n)) << c.what;
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(n, static_cast<int>(c.bytes.size())) << c.what;
        const auto* got = static_cast<const unsigned char*>(data);
        EXPECT_EQ(std::vector<unsigned char>(got, got + n), c.bytes) << c.what;
        std::free(data);
    }

    // A 20 KB block with every byte value.
    std::vector<unsigned char> big(20 * 1024);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<unsigned char>(i * 7 + i / 256);
    ASSERT_TRUE(OsLib_c::remindChunk("big", big.data(), static_cast<int>(big.size())));
    EXPECT_EQ(recallBytes("big"), big);

    void* data = reinterpret_cast<void*>(0x1);
    int n = 12345;
    EXPECT_FALSE(OsLib_c::recallChunk("missing", &data, &n));
    EXPECT_EQ(data, reinterpret_cast<void*>(0x1)) << "a missing key leaves pointer and length alone";
    EXPECT_EQ(n, 12345);
    EXPECT_FALSE(OsLib_c::remindChunk("zero", three, 0));
    EXPECT_FALSE(OsLib_c::remindChunk("negative", three, -4));
    EXPECT_FALSE(OsLib_c::remindChunk("null", nullptr, 3));
    EXPECT_FALSE(OsLib_c::remindChunk("", three, 3));
}

TEST_F(OsLibPrefs, RecallPathCleansTheText)
{
    ASSERT_TRUE(OsLib_c::remindStringCore("folder", "X:\\My*Files\\a?.wav"));
    Tool::Disk::Path_c path("/old");
    ASSERT_TRUE(OsLib_c::recallPath("folder", path));
    EXPECT_EQ(path.getString(), "X/My_Files/a_.wav");
    EXPECT_FALSE(path.isAbsolute());

    ASSERT_TRUE(OsLib_c::remindStringCore("abs", "/home/u/presets"));
    ASSERT_TRUE(OsLib_c::recallPath("abs", path));
    EXPECT_EQ(path.getString(), "/home/u/presets");
    EXPECT_TRUE(path.isAbsolute());

    EXPECT_FALSE(OsLib_c::recallPath("missing", path));
    EXPECT_TRUE(path.empty()) << "a missing key gives the empty path";
}

TEST_F(OsLibPrefs, DamagedFileIsReadSafelyAndRepairedByTheNextStore)
{
    std::filesystem::create_directories(dir.path() + "/Vendrax");
    const std::string garbage =
        bytesOf({0, 1, 2, 0xFF, '\n'}) +     // binary noise
        "s good=value\n" +                   // one sound entry
        "s bad%G1=x\n" +                     // a broken escape in a key
        "s cut=ab%4\n" +                     // a cut escape in a value
        "x other=1\n" +                      // an unknown kind
        "s noequals\n" +                     // no separator
        "s =empty key\n" +                   // an empty key
        "n big=99999999999\n" +              // a number outside 32 bits
        "n word=12abc\n" +                   // not a number
        "s truncated=0011AABB";              // the last line lost its end
    TestSupport::writeFile(prefsFile(), garbage);

    String_c text;
    EXPECT_TRUE(OsLib_c::recallStringCore("good", &text));
    EXPECT_EQ(text, "value");
    for (const char* key : {"bad%G1", "badG1", "cut", "other", "noequals", "", "truncated"})
        EXPECT_FALSE(OsLib_c::recallStringCore(key, &text)) << key;
    int v = 3;
    EXPECT_FALSE(OsLib_c::recallLong("big", &v));
    EXPECT_FALSE(OsLib_c::recallLong("word", &v));
    EXPECT_EQ(v, 3);

    ASSERT_TRUE(OsLib_c::remindLong("fresh", 8));
    EXPECT_TRUE(OsLib_c::recallStringCore("good", &text)) << "the store kept the sound entry";
    EXPECT_TRUE(OsLib_c::recallLong("fresh", &v));
    EXPECT_EQ(v, 8);
    EXPECT_EQ(TestSupport::readFile(prefsFile()).find('\0'), std::string::npos) << "the noise is gone";

    // An empty file and a file of pure noise read as no entries.
    for (const std::string& content : {std::string(), std::string(5000, '\xFE'), std::string("%%%%\n=\n \n")}) {
        TestSupport::writeFile(prefsFile(), content);
        EXPECT_FALSE(OsLib_c::recallStringCore("good", &text));
        EXPECT_TRUE(OsLib_c::remindStringCore("after", "ok"));
        EXPECT_TRUE(OsLib_c::recallStringCore("after", &text));
    }
}

TEST(OsLibPrefsFailure, UnreachableFolderFailsWithoutDamage)
{
    // Works as root too: no permission bits are involved. The config home's
    // parent is a regular file, so no folder can be made there.
    TempDir dir;
    TestSupport::writeFile(dir.file("plain"), "x");
    {
        ScopedEnv config("XDG_CONFIG_HOME", dir.file("plain/config").c_str());
        EXPECT_FALSE(OsLib_c::remindLong("k", 1));
        EXPECT_FALSE(OsLib_c::remindStringCore("k", "v"));
        int v = 4;
        EXPECT_FALSE(OsLib_c::recallLong("k", &v));
        EXPECT_EQ(v, 4);
    }
    {
        // The preferences file itself is a folder: the store refuses rather
        // than replace something it could not read.
        ScopedEnv config("XDG_CONFIG_HOME", dir.path().c_str());
        std::filesystem::create_directories(OsLib_c::getPreferencesFile() + "/inside");
        EXPECT_FALSE(OsLib_c::remindLong("k", 1));
        EXPECT_TRUE(std::filesystem::exists(OsLib_c::getPreferencesFile() + "/inside"));
        String_c text;
        EXPECT_FALSE(OsLib_c::recallStringCore("k", &text));
    }
}

TEST_F(OsLibPrefs, TwoProcessesWritingAtOnceLoseNoKey)
{
    constexpr int Writers = 2;
    constexpr int KeysEach = 60;
    std::vector<pid_t> children;
    for (int w = 0; w < Writers; ++w) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            bool ok = true;
            for (int i = 0; i < KeysEach; ++i) {
                const std::string key = "proc" + std::to_string(w) + "-" + std::to_string(i);
                ok = OsLib_c::remindLong(key, w * 1000 + i) && ok;
                ok = OsLib_c::remindStringCore(key + "-text", "value\n=" + key) && ok;
            }
            _exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    // The parent writes too, meanwhile.
    for (int i = 0; i < KeysEach; ++i)
        EXPECT_TRUE(OsLib_c::remindLong("parent-" + std::to_string(i), i));
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "every store in the child succeeded";
    }
    for (int w = 0; w < Writers; ++w) {
        for (int i = 0; i < KeysEach; ++i) {
            const std::string key = "proc" + std::to_string(w) + "-" + std::to_string(i);
            int v = -1;
            EXPECT_TRUE(OsLib_c::recallLong(key, &v)) << key;
            EXPECT_EQ(v, w * 1000 + i) << key;
            String_c text;
            EXPECT_TRUE(OsLib_c::recallStringCore(key + "-text", &text)) << key;
            EXPECT_EQ(text, "value\n=" + key);
        }
    }
    for (int i = 0; i < KeysEach; ++i) {
        int v = -1;
        EXPECT_TRUE(OsLib_c::recallLong("parent-" + std::to_string(i), &v)) << i;
    }
}

TEST_F(OsLibPrefs, DoubleClickInterval)
{
    struct Case { const char* stored; int expect; const char* what; };
    const Case cases[] = {
        {nullptr, 400, "absent"},
        {"0.5", 500, "half a second"},
        {"0.2505", 250, "truncated"},
        {"1e-1", 100, "exponent form"},
        {"fast", 400, "unreadable counts as absent"},
        {"-0.3", 400, "negative counts as absent"},
    };
    for (const Case& c : cases) {
        if (c.stored) {
            ASSERT_TRUE(OsLib_c::remindStringCore(OsLib_c::DoubleClickKey, c.stored));
        }
        EXPECT_EQ(OsLib_c::getDoubleClickTreshold(), c.expect) << c.what;
    }
    ASSERT_TRUE(OsLib_c::remindLong(OsLib_c::DoubleClickKey, 2));
    EXPECT_EQ(OsLib_c::getDoubleClickTreshold(), 2000) << "a stored number of seconds";
}

TEST(OsLibFolders, XdgVariablesAndDefaults)
{
    ScopedEnv home("HOME", "/home/tester");
    struct Case { const char* config; const char* data; std::string expectConfig, expectData; };
    const Case cases[] = {
        {nullptr, nullptr, "/home/tester/.config", "/home/tester/.local/share"},
        {"/x/conf", "/x/data", "/x/conf", "/x/data"},
        {"", "", "/home/tester/.config", "/home/tester/.local/share"},
        {"relative/conf", "relative", "/home/tester/.config", "/home/tester/.local/share"},
    };
    for (const Case& c : cases) {
        ScopedEnv config("XDG_CONFIG_HOME", c.config);
        ScopedEnv data("XDG_DATA_HOME", c.data);
        EXPECT_EQ(OsLib_c::getConfigHome(), c.expectConfig);
        EXPECT_EQ(OsLib_c::getDataHome(), c.expectData);
        EXPECT_EQ(OsLib_c::getPreferencesFile(),
                  c.expectConfig + "/Vendrax/" + OsLib_c::BundleIdentifier + ".prefs");
    }
}

TEST(OsLibTime, ClockAndSleep)
{
    int64_t last = OsLib_c::getMilliseconds();
    for (int i = 0; i < 100000; ++i) {
        const int64_t now = OsLib_c::getMilliseconds();
        ASSERT_GE(now, last);
        last = now;
    }
    OsLib_c::xSleep(0);
    OsLib_c::xSleep(-5);
    const int64_t before = OsLib_c::getMilliseconds();
    OsLib_c::xSleep(15);
    EXPECT_GE(OsLib_c::getMilliseconds() - before, 15) << "sleeping lasts at least as asked";
    EXPECT_FALSE(OsLib_c::hasAltivec());
}

// ---------------------------------------------------------------------------
// Panels.

TEST(OsLibPanels, ArgumentBuilder)
{
    using Args = std::vector<std::string>;
    EXPECT_EQ(OsLib_c::panelArguments("Bank Load Error", "detail", false),
              (Args{"zenity", "--info", "--no-markup", "--title=Bank Load Error", "--text=detail", "--ok-label=OK"}));
    EXPECT_EQ(OsLib_c::panelArguments("/p/a.fxp", "Overwrite existing file ?", true),
              (Args{"zenity", "--question", "--no-markup", "--title=/p/a.fxp", "--text=Overwrite existing file ?",
                    "--ok-label=Yes", "--cancel-label=No"}));

    struct Case { const char* text; std::string shown; const char* what; };
    const Case cases[] = {
        {"100% <b>sure</b> --help", "100% <b>sure</b> --help", "markup, '%' and option-like text stay literal"},
        {"two\nlines", "two\nlines", "newlines pass"},
        {"caf\xC3\xA9", "caf\xC3\xA9", "valid UTF-8 passes"},
        {"caf\xE9", "caf\xC3\xA9", "ISO Latin-1 is converted"},
        {"\xC0\xAF", "\xC3\x80\xC2\xAF", "an overlong form is not UTF-8"},
        {nullptr, "", "a missing text is empty"},
    };
    for (const Case& c : cases) {
        const Args args = OsLib_c::panelArguments(c.text, c.text, true);
        EXPECT_EQ(args[3], "--title=" + c.shown) << c.what;
        EXPECT_EQ(args[4], "--text=" + c.shown) << c.what;
    }
}

namespace {
struct PanelCall { std::string title, message; bool ask; };

// Routes the panels to a script for one test.
class ScriptedPanels
{
public:
    explicit ScriptedPanels(bool answer)
    {
        OsLib_c::setPanelHook([this, answer](const std::string& t, const std::string& m, bool ask) {
            calls.push_back({t, m, ask});
            return answer;
        });
    }
    ~ScriptedPanels() { OsLib_c::setPanelHook(nullptr); }
    std::vector<PanelCall> calls;
};
} // namespace

TEST(OsLibPanels, ArgumentOrderOfAskAndTell)
{
    {
        ScriptedPanels panels(true);
        EXPECT_TRUE(OsLib_c::askUser("Overwrite existing file ?", "/p/a.fxp"));
        EXPECT_TRUE(OsLib_c::tellUser(String_c("Bank Load Error"), String_c("detail")));
        EXPECT_TRUE(OsLib_c::askUser(String_c("question"), String_c("title")));
        EXPECT_TRUE(OsLib_c::tellUser("t", "m"));
        ASSERT_EQ(panels.calls.size(), 4u);
        EXPECT_EQ(panels.calls[0].title, "/p/a.fxp") << "askUser shows the path as the title";
        EXPECT_EQ(panels.calls[0].message, "Overwrite existing file ?");
        EXPECT_TRUE(panels.calls[0].ask);
        EXPECT_EQ(panels.calls[1].title, "Bank Load Error");
        EXPECT_EQ(panels.calls[1].message, "detail");
        EXPECT_FALSE(panels.calls[1].ask);
        EXPECT_EQ(panels.calls[2].title, "title");
        EXPECT_EQ(panels.calls[3].title, "t");
    }
    ScriptedPanels no(false);
    EXPECT_FALSE(OsLib_c::askUser("q", "t"));
    EXPECT_FALSE(OsLib_c::ErrorAlert("t", "m", true));
}

TEST(OsLibPanels, HeadlessAnswersAsCancelled)
{
    ScopedEnv x("DISPLAY", nullptr);
    ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
    testing::internal::CaptureStderr();
    const bool asked = OsLib_c::askUser("Overwrite existing file ?", "/p/a.fxp");
    const bool told = OsLib_c::tellUser("Bank Load Error", "100% broken");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(asked) << "no panel: the answer is No";
    EXPECT_FALSE(told);
    EXPECT_NE(err.find("/p/a.fxp: Overwrite existing file ?"), std::string::npos) << err;
    EXPECT_NE(err.find("Bank Load Error: 100% broken"), std::string::npos) << err;
}

TEST(OsLibPanels, RunsZenityWithoutAShellWhenADisplayIsThere)
{
    // A stand-in zenity on PATH records its arguments (NUL-separated) and
    // answers with the exit status the test asks for.
    TempDir bin;
    const std::string record = bin.file("args");
    TestSupport::writeFile(bin.file("zenity"),
                           "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\000' \"$a\"; done > \"$PANEL_RECORD\"\n"
                           "exit \"$PANEL_EXIT\"\n");
    ASSERT_EQ(chmod(bin.file("zenity").c_str(), 0755), 0);
    ScopedEnv path("PATH", (bin.path() + ":/usr/bin:/bin").c_str());
    ScopedEnv x("DISPLAY", ":77");
    ScopedEnv recordEnv("PANEL_RECORD", record.c_str());

    auto recorded = [&] {
        std::vector<std::string> args;
        const std::string bytes = TestSupport::readFile(record);
        size_t start = 0;
        for (size_t end; (end = bytes.find('\0', start)) != std::string::npos; start = end + 1)
            args.push_back(bytes.substr(start, end - start));
        return args;
    };

    const char* message = "Overwrite \"$HOME\" `x` ; $(rm -rf /) ?\nsecond line";
    {
        ScopedEnv exitCode("PANEL_EXIT", "0");
        EXPECT_TRUE(OsLib_c::askUser(message, "/p/a b.fxp"));
        std::vector<std::string> expect = OsLib_c::panelArguments("/p/a b.fxp", message, true);
        expect.erase(expect.begin()); // the program name is not an argument
        EXPECT_EQ(recorded(), expect) << "every text reaches zenity as one untouched argument";
    }
    {
        ScopedEnv exitCode("PANEL_EXIT", "1");
        EXPECT_FALSE(OsLib_c::askUser("q", "t")) << "No";
        EXPECT_FALSE(OsLib_c::tellUser("t", "m")) << "closed";
    }
    {
        ScopedEnv exitCode("PANEL_EXIT", "0");
        EXPECT_TRUE(OsLib_c::tellUser("Bank Load Error", "detail"));
        std::vector<std::string> expect = OsLib_c::panelArguments("Bank Load Error", "detail", false);
        expect.erase(expect.begin());
        EXPECT_EQ(recorded(), expect);
    }
    {
        // zenity could not show anything: the message still reaches stderr.
        ScopedEnv exitCode("PANEL_EXIT", "255");
        testing::internal::CaptureStderr();
        EXPECT_FALSE(OsLib_c::tellUser("Lost", "not lost"));
        EXPECT_NE(testing::internal::GetCapturedStderr().find("Lost: not lost"), std::string::npos);
    }
    {
        // A display but no zenity: the headless path.
        TempDir empty;
        ScopedEnv noZenity("PATH", empty.path().c_str());
        testing::internal::CaptureStderr();
        EXPECT_FALSE(OsLib_c::askUser("q?", "title"));
        EXPECT_NE(testing::internal::GetCapturedStderr().find("title: q?"), std::string::npos);
    }
}
