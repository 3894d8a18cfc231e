#include "Disk.h"
#include "FileDialog.h"
#include "OsLib.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using Tool::Disk::Extension_c;
using Tool::Disk::Path_c;
using TestSupport::readFile;
using TestSupport::ScopedEnv;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

using Args = std::vector<std::string>;

// The dialog never touches its owner; any address stands for one.
int ownerStandIn;
Synth* const owner = reinterpret_cast<Synth*>(&ownerStandIn);

Vdx::String_c stored(const char* key)
{
    Vdx::String_c value;
    OsLib_c::recallStringCore(Vdx::String_c(key), &value);
    return value;
}

// Preferences in a fresh folder, and dialogs answered by a script: each run
// records its command line and takes the next answer.
class FileDialogRun : public testing::Test
{
protected:
    FileDialogRun()
    {
        FileDialog_c::setPanelRunner([this](const Args& args) {
            calls.push_back(args);
            if (answers.empty())
                return FileDialog_c::PanelAnswer();
            FileDialog_c::PanelAnswer a = answers.front();
            answers.erase(answers.begin());
            return a;
        });
    }
    ~FileDialogRun() override { FileDialog_c::setPanelRunner({}); }

    void choose(const std::string& path) { answers.push_back({true, path}); }

    TempDir dir;
    ScopedEnv config{"XDG_CONFIG_HOME", dir.file("config").c_str()};
    std::vector<Args> calls;
    std::vector<FileDialog_c::PanelAnswer> answers;
};

} // namespace

TEST(FileDialogArguments, AllowedTypes)
{
    struct Case { const char* patterns; std::vector<std::string> types; };
    const Case cases[] = {
        {"*.fxp *.FXP", {"fxp", "FXP"}},
        {"*.*", {"*"}},
        {"ab *.wav", {"wav"}}, // patterns shorter than three characters are skipped
        {"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FileDialog_c::allowedTypes(Extension_c(c.patterns)), c.types) << c.patterns;
}

TEST(FileDialogArguments, CommandLines)
{
    struct Case { const char* what; int mode; const char* folder; std::vector<std::string> types; Args args; };
    const Case cases[] = {
        {"open in a folder, both cases of a type", 0, "/x/Presets", {"fxp", "FXP"},
         {"zenity", "--file-selection", "--no-markup", "--title=Load", "--filename=/x/Presets/",
          "--file-filter=*.[fF][xX][pP]"}},
        {"open with several types", 0, "", {"wav", "aif", "d4t"},
         {"zenity", "--file-selection", "--no-markup", "--title=Load",
          "--file-filter=*.[wW][aA][vV] *.[aA][iI][fF] *.[dD]4[tT]"}},
        {"any file: no filter", 0, "/x/", {"wav", "*"},
         {"zenity", "--file-selection", "--no-markup", "--title=Load", "--filename=/x/"}},
        {"save proposes Untitled", 1, "/x/Presets", {"fxp"},
         {"zenity", "--file-selection", "--save", "--confirm-overwrite", "--no-markup", "--title=Load",
          "--filename=/x/Presets/Untitled", "--file-filter=*.[fF][xX][pP]"}},
        {"save without a folder", 1, "", {"fxp"},
         {"zenity", "--file-selection", "--save", "--confirm-overwrite", "--no-markup", "--title=Load",
          "--filename=Untitled", "--file-filter=*.[fF][xX][pP]"}},
        {"folder", 2, "/x", {"fxp"},
         {"zenity", "--file-selection", "--directory", "--no-markup", "--title=Load", "--filename=/x/"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FileDialog_c::dialogArguments(c.mode, "Load", Path_c(c.folder), c.types), c.args) << c.what;

    // The title is one argument as it is (no shell, no markup); a Latin-1
    // title is converted to UTF-8.
    EXPECT_EQ(FileDialog_c::dialogArguments(0, "a \"b\" <i>$HOME;", Path_c(), {})[3], "--title=a \"b\" <i>$HOME;");
    EXPECT_EQ(FileDialog_c::dialogArguments(0, "caf\xE9", Path_c(), {})[3], "--title=caf\xC3\xA9");
    EXPECT_EQ(FileDialog_c::dialogArguments(0, nullptr, Path_c(), {})[3], "--title=");
}

TEST_F(FileDialogRun, RemembersTheFolderOfTheChoice)
{
    FileDialog_c dialog(owner);
    EXPECT_STREQ(dialog.title, "File Dialog");
    EXPECT_STREQ(dialog.filterText, "Any File");
    EXPECT_EQ(dialog.mode, 0);
    EXPECT_STREQ(dialog.getRegKey(), "FileDialog");
    EXPECT_EQ(dialog.getExtensions().getText(), "*.*");

    dialog.setRegKey("Vela_FXP_Prg");
    dialog.setRegKey(nullptr);
    EXPECT_STREQ(dialog.getRegKey(), "Vela_FXP_Prg");
    dialog.setExtensions("*.fxp");
    choose("/Users/x/Presets/a.fxp");
    EXPECT_EQ(dialog.run().getString(), "/Users/x/Presets/a.fxp");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].size(), 5u); // no start folder yet
    EXPECT_EQ(stored("Vela_FXP_Prg"), "/Users/x/Presets");
    EXPECT_EQ(dialog.getFolder().getString(), "/Users/x/Presets");

    // The next dialog with the same key starts there.
    FileDialog_c next(owner);
    next.setRegKey("Vela_FXP_Prg");
    next.setExtensions(Extension_c("*.fxp"));
    EXPECT_TRUE(next.run().empty()); // cancelled
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1][4], "--filename=/Users/x/Presets/");
}

TEST_F(FileDialogRun, WritesTheFolderWhenDestroyed)
{
    {
        FileDialog_c dialog(owner);
        dialog.setRegKey("K");
        choose("/a/x.fxp");
        dialog.run();
        ASSERT_EQ(dialog.getFolder().getString(), "/a");
        OsLib_c::remindStringCore(Vdx::String_c("K"), Vdx::String_c("/elsewhere"));
    }
    EXPECT_EQ(stored("K"), "/a");

    // Without a folder nothing is written.
    OsLib_c::remindStringCore(Vdx::String_c("Untouched"), Vdx::String_c("/kept"));
    {
        FileDialog_c dialog(owner);
        dialog.setRegKey("Untouched");
        OsLib_c::remindStringCore(Vdx::String_c("Untouched"), Vdx::String_c("/kept"));
    }
    EXPECT_EQ(stored("Untouched"), "/kept");
}

TEST_F(FileDialogRun, SaveChoosesWithoutTouchingTheFile)
{
    writeFile(dir.file("old.fxp"), "old program");
    FileDialog_c dialog(owner);
    dialog.mode = FileDialog_c::ModeSave;
    dialog.setExtensions("*.fxp");

    choose(dir.file("b.fxp"));
    EXPECT_EQ(dialog.run().getString(), dir.file("b.fxp"));
    EXPECT_EQ(Tool::Disk::exists(Path_c::fromSystem(dir.file("b.fxp"))), 0); // not created

    choose(dir.file("old.fxp"));
    EXPECT_EQ(dialog.run().getString(), dir.file("old.fxp"));
    EXPECT_EQ(readFile(dir.file("old.fxp")), "old program"); // not truncated

    // A name typed without an allowed type gets the first one.
    struct Case { const char* typed; const char* saved; };
    const Case cases[] = {{"c", "c.fxp"}, {"d.FXP", "d.FXP"}, {"e.txt", "e.txt.fxp"}};
    for (const Case& c : cases) {
        choose(dir.file(c.typed));
        EXPECT_EQ(dialog.run().getString(), dir.file(c.saved)) << c.typed;
    }
    dialog.setExtensions("*.*");
    choose(dir.file("free"));
    EXPECT_EQ(dialog.run().getString(), dir.file("free"));
}

TEST_F(FileDialogRun, ChosenPathIsKeptAsTheFileSystemNamesItAndNotCut)
{
    FileDialog_c dialog(owner);
    choose("/x/a?b:c.wav"); // a legal Linux file name: it must still open
    EXPECT_EQ(dialog.run().getString(), "/x/a?b:c.wav");

    const std::string longPath = "/" + std::string(300, 'd') + "/" + std::string(200, 'f') + ".fxp";
    choose(longPath);
    EXPECT_EQ(dialog.run().getString(), longPath);
    EXPECT_EQ(stored("FileDialog"), "/" + std::string(300, 'd'));
}

TEST_F(FileDialogRun, NothingShownWithoutOwnerPatternsOrKnownMode)
{
    FileDialog_c orphan(nullptr);
    choose("/x/a.fxp");
    EXPECT_TRUE(orphan.run().empty());

    FileDialog_c noPatterns(owner);
    noPatterns.setExtensions("");
    EXPECT_TRUE(noPatterns.run().empty());

    FileDialog_c mode3(owner);
    mode3.mode = 3;
    EXPECT_TRUE(mode3.run().empty());
    EXPECT_TRUE(calls.empty());

    // A cancelled dialog remembers nothing.
    FileDialog_c cancelled(owner);
    cancelled.setRegKey("Cancelled");
    answers.clear();
    EXPECT_TRUE(cancelled.run().empty());
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_TRUE(cancelled.getFolder().empty());
    EXPECT_EQ(stored("Cancelled"), "");
}

TEST_F(FileDialogRun, FolderModeRemembersTheParent)
{
    FileDialog_c dialog(owner);
    dialog.mode = FileDialog_c::ModeFolder;
    dialog.setExtensions("*.fxp");
    choose("/x/Banks/Mine");
    EXPECT_EQ(dialog.run().getString(), "/x/Banks/Mine");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0][2], "--directory");
    EXPECT_EQ(calls[0].back(), "--title=File Dialog"); // no file filter for folders
    EXPECT_EQ(stored("FileDialog"), "/x/Banks");
}

// Without the seam: no display answers as a cancelled dialog with a message;
// with a display the dialog program runs without a shell and its output is
// the choice. A stand-in program on PATH plays zenity.
TEST(FileDialogProcess, HeadlessAndSpawned)
{
    TempDir dir;
    ScopedEnv config("XDG_CONFIG_HOME", dir.file("config").c_str());
    FileDialog_c::setPanelRunner({});
    FileDialog_c dialog(owner);
    dialog.title = "Load \"Program\" $HOME";

    auto runCapturingErrors = [&](std::string& err) {
        testing::internal::CaptureStderr();
        const Path_c chosen = dialog.run();
        err = testing::internal::GetCapturedStderr();
        return chosen.getString();
    };
    std::string err;
    {
        ScopedEnv display("DISPLAY", nullptr);
        ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
        EXPECT_EQ(runCapturingErrors(err), "");
        EXPECT_NE(err.find("nothing chosen"), std::string::npos) << err;
    }

    const std::string bin = dir.file("bin");
    mkdir(bin.c_str(), 0755);
    auto fakeZenity = [&](const std::string& output, int status) {
        writeFile(bin + "/zenity", "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + dir.file("args") + "'\nprintf '" + output
                                       + "'\nexit " + std::to_string(status) + "\n");
        chmod((bin + "/zenity").c_str(), 0755);
    };
    ScopedEnv display("DISPLAY", ":99");
    ScopedEnv path("PATH", bin.c_str());
    {
        // No zenity on PATH: the message, and nothing chosen.
        EXPECT_EQ(runCapturingErrors(err), "");
        EXPECT_NE(err.find("nothing chosen"), std::string::npos) << err;
    }
    fakeZenity("/x/My Presets/a b.fxp\\n", 0);
    EXPECT_EQ(runCapturingErrors(err), "/x/My Presets/a b.fxp");
    EXPECT_EQ(err, "");
    EXPECT_EQ(readFile(dir.file("args")),
              "--file-selection\n--no-markup\n--title=Load \"Program\" $HOME\n");

    fakeZenity("", 1); // the user cancelled
    EXPECT_EQ(runCapturingErrors(err), "");
    EXPECT_EQ(err, "");
    EXPECT_EQ(readFile(dir.file("args")),
              "--file-selection\n--no-markup\n--title=Load \"Program\" $HOME\n--filename=/x/My Presets/\n");

    fakeZenity("", 255); // zenity failed: said on stderr, nothing chosen
    EXPECT_EQ(runCapturingErrors(err), "");
    EXPECT_NE(err.find("nothing chosen"), std::string::npos) << err;
}
