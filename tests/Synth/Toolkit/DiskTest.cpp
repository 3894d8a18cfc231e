#include "Disk.h"
#include "OsLib.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using Tool::Disk::Extension_c;
using Tool::Disk::Path_c;
using TestSupport::readFile;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

Path_c sys(const std::string& text)
{
    return Path_c::fromSystem(Vdx::String_c(text));
}

std::vector<std::string> folderNames(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (const dirent* e = readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, ".."))
                names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Answers every panel with a fixed answer and records what was asked.
struct ScriptedPanels
{
    explicit ScriptedPanels(bool answer)
    {
        OsLib_c::setPanelHook([this, answer](const std::string& title, const std::string& message, bool ask) {
            asked.push_back({title, message, ask});
            return answer;
        });
    }
    ~ScriptedPanels() { OsLib_c::setPanelHook({}); }

    struct Panel { std::string title, message; bool ask; };
    std::vector<Panel> asked;
};

// The caller's answers to "replace this file?": each target asked is noted.
struct Replies
{
    explicit Replies(bool a) : answer(a) {}
    Disk_c::ReplaceAnswers_t answers()
    {
        return [this](const Path_c& target) {
            asked.push_back(target.getString());
            return answer;
        };
    }
    bool answer;
    std::vector<std::string> asked;
};

} // namespace

TEST(DiskFile, ReadLineEndings)
{
    struct Case { const char* what; std::string content; int size; std::vector<std::pair<int, std::string>> lines; };
    const Case cases[] = {
        {"CR LF", "abc\r\nx\r\n", 64, {{3, "abc"}, {1, "x"}}},
        {"LF", "abc\n\nz\n", 64, {{3, "abc"}, {0, ""}, {1, "z"}}},
        {"no final newline", "abc\nlast", 64, {{3, "abc"}, {4, "last"}}},
        {"lone CR at the end", "abc\r", 64, {{3, "abc"}}},
        {"bare line feed", "\n", 64, {{0, ""}}},
        {"empty file", "", 64, {}},
        {"line longer than the buffer", "abcdef\n", 4, {{3, "abc"}, {3, "def"}, {0, ""}}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        writeFile(dir.file("lines.txt"), c.content);
        Disk_c disk;
        ASSERT_TRUE(disk.open(sys(dir.file("lines.txt")), true, false)) << c.what;
        char buffer[64];
        for (const auto& [length, text] : c.lines) {
            EXPECT_EQ(disk.readLine(buffer, c.size), length) << c.what;
            EXPECT_EQ(std::string(buffer), text) << c.what;
        }
        EXPECT_EQ(disk.readLine(buffer, c.size), -2) << c.what << ": end of file";
        EXPECT_EQ(disk.readLine(buffer, c.size), -2) << c.what << ": stays at the end";
    }
}

TEST(DiskFile, ReadsAndWritesAndReportsNoFile)
{
    TempDir dir;
    const Path_c path = sys(dir.file("data.bin"));
    Disk_c disk;
    // Every read and write without an open file answers -1.
    char buffer[16];
    int value = 0;
    EXPECT_EQ(disk.readBuffer(buffer, 4), -1);
    EXPECT_EQ(disk.writeBuffer(buffer, 4), -1);
    EXPECT_EQ(disk.readInt(&value), -1);
    EXPECT_EQ(disk.readLong(&value), -1);
    EXPECT_EQ(disk.readLine(buffer, sizeof(buffer)), -1);
    EXPECT_FALSE(disk.open(Path_c(), true, true));
    EXPECT_FALSE(disk.open(sys(dir.file("missing")), true, true));
    EXPECT_FALSE(disk.open(sys(dir.file("a") + std::string(1, '\0') + "b"), false, true)); // never a shorter name

    ASSERT_TRUE(disk.open(path, false, true));
    const int words[] = {0x01020304, -5};
    EXPECT_EQ(disk.writeBuffer(words, sizeof(words)), 8);
    EXPECT_EQ(disk.writeBuffer("xy", 2), 2);
    EXPECT_TRUE(disk.close());
    EXPECT_EQ(readFile(path.c_str()).size(), 10u);

    ASSERT_TRUE(disk.open(path, true, true));
    EXPECT_EQ(disk.readInt(&value), 4);
    EXPECT_EQ(value, 0x01020304);
    EXPECT_EQ(disk.readLong(&value), 4);
    EXPECT_EQ(value, -5);
    value = 77;
    EXPECT_EQ(disk.readInt(&value), -2); // two bytes left
    EXPECT_EQ(value, 77);
    EXPECT_EQ(disk.readBuffer(buffer, 4), 0);
    disk.close();
    EXPECT_FALSE(disk.isOpen());
    EXPECT_EQ(disk.readBuffer(buffer, 4), -1);
}

TEST(DiskFile, OpenClosesTheFileOpenedBefore)
{
    TempDir dir;
    Disk_c disk;
    ASSERT_TRUE(disk.open(sys(dir.file("first.txt")), false, false));
    EXPECT_EQ(disk.writeBuffer("kept", 4), 4);
    // Opening the next file must close (and so flush) the first one.
    ASSERT_TRUE(disk.open(sys(dir.file("second.txt")), false, false));
    EXPECT_EQ(readFile(dir.file("first.txt")), "kept");
}

TEST(DiskFile, OnlyRegularFilesAreOpenedAndNothingWaits)
{
    // A named pipe without a writer would keep a blocking open waiting for
    // ever; a device or a folder is no file either. Each is refused at once,
    // for reading and for writing, and stays what it was.
    TempDir dir;
    const std::string fifo = dir.file("pipe.wav");
    ASSERT_TRUE(TestSupport::makeFifo(fifo));
    ASSERT_EQ(::mkdir(dir.file("folder.wav").c_str(), 0700), 0);
    writeFile(dir.file("plain.wav"), "RIFF");
    const std::string specials[] = {fifo, dir.file("folder.wav"), "/dev/null"};
    const bool returned = TestSupport::returnsWithoutWaitingOn(fifo, [&] {
        for (const std::string& name : specials) {
            SCOPED_TRACE(name);
            const Path_c path = sys(name);
            EXPECT_TRUE(Tool::Disk::isSpecialFile(path));
            bool notRegular = false;
            EXPECT_EQ(Tool::Disk::openRegularForReading(path, &notRegular), -1);
            EXPECT_TRUE(notRegular);
            Disk_c disk;
            for (const bool read : {true, false}) {
                EXPECT_FALSE(disk.open(path, read, true)) << (read ? "read" : "write");
                EXPECT_TRUE(disk.refusedSpecial());
            }
            EXPECT_FALSE(Tool::Disk::createIFStream(path, true)->is_open());
            EXPECT_FALSE(Tool::Disk::copy(path, sys(dir.file("copy"))));
            EXPECT_FALSE(Tool::Disk::compare(path, path));
        }
    });
    EXPECT_TRUE(returned) << "a reader waited on the pipe";
    struct stat st {};
    ASSERT_EQ(::stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the pipe is still a pipe";

    // A regular file opens as before.
    const Path_c plain = sys(dir.file("plain.wav"));
    EXPECT_FALSE(Tool::Disk::isSpecialFile(plain));
    EXPECT_FALSE(Tool::Disk::isSpecialFile(sys(dir.file("missing"))));
    const int fd = Tool::Disk::openRegularForReading(plain);
    ASSERT_GE(fd, 0);
    char bytes[4] = {};
    EXPECT_EQ(::read(fd, bytes, 4), 4) << "reads block again after the open";
    ::close(fd);
    Disk_c disk;
    EXPECT_TRUE(disk.open(plain, true, true));
    EXPECT_FALSE(disk.refusedSpecial());
}

TEST(DiskQuery, ExistsAndKinds)
{
    TempDir dir;
    writeFile(dir.file("file.wav"), "12345");
    mkdir(dir.file("folder").c_str(), 0755);
    struct Case { std::string path; int exists; bool file; bool folder; int64_t size; };
    const Case cases[] = {
        {dir.file("file.wav"), 1, true, false, 5},
        {dir.file("folder"), 1, false, true, -2}, // size of a folder not checked
        {dir.file("missing"), 0, false, false, -1},
        {dir.file("file.wav/inside"), -2, false, false, -1}, // a path through a file: other failure
        {dir.file("a") + std::string(1, '\0'), -2, false, false, -1},
        {"", 0, false, false, -1},
    };
    for (const Case& c : cases) {
        const Path_c p = sys(c.path);
        EXPECT_EQ(Tool::Disk::exists(p), c.exists) << c.path;
        EXPECT_EQ(Tool::Disk::isFile(p), c.file) << c.path;
        EXPECT_EQ(Tool::Disk::isDirectory(p), c.folder) << c.path;
        if (c.size != -2) {
            EXPECT_EQ(Tool::Disk::getSize(p), c.size) << c.path;
        }
    }
}

// Access denied must answer -1, never 0: a caller must not take a locked file
// for a missing one. Root passes every permission check, so as root the probe
// runs in a child that has given up its privileges.
TEST(DiskQuery, ExistsAnswersAccessDenied)
{
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    const std::string locked = dir.file("locked");
    ASSERT_EQ(mkdir(locked.c_str(), 0700), 0);
    writeFile(locked + "/kick.wav", "x");
    writeFile(dir.file("open.wav"), "x");

    auto probe = [&] {
        const int denied = Tool::Disk::exists(sys(locked + "/kick.wav"));
        const int visible = Tool::Disk::exists(sys(dir.file("open.wav")));
        return (denied + 2) * 10 + (visible + 2);
    };
    if (geteuid() != 0) {
        ASSERT_EQ(chmod(locked.c_str(), 0), 0);
        const int code = probe();
        chmod(locked.c_str(), 0700);
        EXPECT_EQ(code, 13); // denied -1, visible 1
        return;
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(99);
        _exit(probe());
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 99) << "could not drop privileges to uid 65534";
    ASSERT_NE(WEXITSTATUS(status), 11) << "the unprivileged child cannot reach " << dir.path();
    EXPECT_EQ(WEXITSTATUS(status), 13); // denied -1, visible 1
}

TEST(DiskQuery, DeleteCopyAndCompare)
{
    TempDir dir;
    writeFile(dir.file("a.wav"), "same bytes");
    writeFile(dir.file("b.wav"), "same bytes");
    writeFile(dir.file("c.wav"), "diff bytes");   // same length, other bytes
    writeFile(dir.file("d.wav"), "longer bytes!");
    mkdir(dir.file("folder").c_str(), 0755);
    mkdir(dir.file("folder2").c_str(), 0755);

    struct Cmp { const char* a; const char* b; bool same; };
    const Cmp cmps[] = {
        {"a.wav", "b.wav", true}, {"a.wav", "c.wav", false}, {"a.wav", "d.wav", false},
        {"a.wav", "missing", false}, {"folder", "folder2", false},
    };
    for (const Cmp& c : cmps)
        EXPECT_EQ(Tool::Disk::compare(sys(dir.file(c.a)), sys(dir.file(c.b))), c.same) << c.a << " " << c.b;

    // copy never overwrites and reports what it did.
    EXPECT_FALSE(Tool::Disk::copy(sys(dir.file("d.wav")), sys(dir.file("a.wav"))));
    EXPECT_EQ(readFile(dir.file("a.wav")), "same bytes");
    EXPECT_FALSE(Tool::Disk::copy(sys(dir.file("missing")), sys(dir.file("new.wav"))));
    EXPECT_FALSE(Tool::Disk::copy(sys(dir.file("folder")), sys(dir.file("new.wav"))));
    EXPECT_EQ(Tool::Disk::exists(sys(dir.file("new.wav"))), 0); // no partial file left
    EXPECT_TRUE(Tool::Disk::copy(sys(dir.file("d.wav")), sys(dir.file("new.wav"))));
    EXPECT_EQ(readFile(dir.file("new.wav")), "longer bytes!");

    EXPECT_FALSE(Tool::Disk::deleteFile(sys(dir.file("folder"))));
    EXPECT_FALSE(Tool::Disk::deleteFile(sys(dir.file("missing"))));
    EXPECT_TRUE(Tool::Disk::deleteFile(sys(dir.file("new.wav"))));
    EXPECT_EQ(Tool::Disk::exists(sys(dir.file("new.wav"))), 0);
    EXPECT_TRUE(Tool::Disk::isDirectory(sys(dir.file("folder"))));
}

TEST(DiskQuery, Streams)
{
    TempDir dir;
    auto out = Tool::Disk::createOFStream(sys(dir.file("s.txt")), true);
    ASSERT_TRUE(out->is_open());
    *out << "line";
    out.reset();
    auto in = Tool::Disk::createIFStream(sys(dir.file("s.txt")), false);
    std::string word;
    *in >> word;
    EXPECT_EQ(word, "line");
    EXPECT_FALSE(Tool::Disk::createIFStream(sys(dir.file("missing")), true)->is_open());
}

TEST(DiskFolders, CreateDirTree)
{
    TempDir dir;
    writeFile(dir.file("file"), "x");
    struct Case { std::string path; bool ok; bool made; };
    const Case cases[] = {
        {dir.file("x/y/z"), true, true},
        {dir.file("x/y/z"), true, true},          // already there
        {dir.file("x//w/"), true, true},          // empty components are skipped
        {dir.file("file"), false, false},         // a file in the place of the folder
        {dir.file("file/sub"), false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Tool::Disk::createDirTree(sys(c.path)), c.ok) << c.path;
        EXPECT_EQ(Tool::Disk::isDirectory(sys(c.path)), c.made) << c.path;
    }
    struct stat st;
    ASSERT_EQ(stat(dir.file("x/y").c_str(), &st), 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0775 & ~mask);

    EXPECT_FALSE(Tool::Disk::createDirTree(Path_c().convertToAbsolute())); // the root
    // A folder on a volume that is not there is never made.
    EXPECT_FALSE(Tool::Disk::createDirTree(Path_c("/Volumes/NoSuchVolume-Tessel3/a")));
    EXPECT_FALSE(Tool::Disk::isDirectory(Path_c("/Volumes/NoSuchVolume-Tessel3")));
}

// A relative tree is made below the working folder, never below "/". The
// working folder is checked in a child, which may change it freely.
TEST(DiskFolders, RelativeTreeStaysRelative)
{
    TempDir dir;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (chdir(dir.path().c_str()) != 0)
            _exit(2);
        _exit(Tool::Disk::createDirTree(Path_c("tessel-rel/a/b")) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(Tool::Disk::isDirectory(sys(dir.file("tessel-rel/a/b"))));
    EXPECT_FALSE(Tool::Disk::isDirectory(Path_c("/tessel-rel")));
}

TEST(DiskFolders, CurrentFolderBelongsToTheObject)
{
    TempDir dir;
    writeFile(dir.file("rel.txt"), "inside");
    char before[4096];
    ASSERT_NE(getcwd(before, sizeof(before)), nullptr);

    Disk_c disk;
    EXPECT_EQ(disk.getCurDir().getString(), before);
    Path_c empty;
    disk.setCurDir(empty);
    EXPECT_EQ(disk.getCurDir().getString(), before);
    Path_c folder = sys(dir.path());
    disk.setCurDir(folder);
    EXPECT_EQ(disk.getCurDir().getString(), dir.path());
    Path_c sub("sub");
    EXPECT_TRUE(disk.createDir(sub));
    EXPECT_TRUE(Tool::Disk::isDirectory(sys(dir.file("sub"))));
    disk.setCurDir(sub); // relative to the object's folder
    EXPECT_EQ(disk.getCurDir().getString(), dir.file("sub"));
    disk.setCurDir(folder);
    ASSERT_TRUE(disk.open(Path_c("rel.txt"), true, false));
    char line[32];
    EXPECT_EQ(disk.readLine(line, sizeof(line)), 6);

    char after[4096];
    ASSERT_NE(getcwd(after, sizeof(after)), nullptr);
    EXPECT_STREQ(after, before); // the process's folder is the host's
    EXPECT_EQ(Disk_c().getCurDir().getString(), before);
    EXPECT_FALSE(disk.createDir(Path_c()));
}

TEST(DiskFolders, PreferenceAndDataFolders)
{
    TempDir dir;
    {
        TestSupport::ScopedEnv config("XDG_CONFIG_HOME", (dir.path() + "/config/").c_str());
        TestSupport::ScopedEnv data("XDG_DATA_HOME", dir.file("share").c_str());
        Disk_c disk;
        EXPECT_EQ(disk.getPrefDir().getString(), dir.file("config"));
        const Path_c plug = disk.getPlugDir(nullptr);
        EXPECT_EQ(plug.getString(), dir.file("share/Vendrax"));
        EXPECT_TRUE(Tool::Disk::isDirectory(plug));
        EXPECT_EQ(disk.getPlugDir(nullptr).getString(), plug.getString()); // found the second time
    }
    {
        // A data folder that cannot be made: a warning and the empty path.
        writeFile(dir.file("blocker"), "x");
        TestSupport::ScopedEnv data("XDG_DATA_HOME", dir.file("blocker").c_str());
        testing::internal::CaptureStderr();
        const Path_c plug = Disk_c().getPlugDir(nullptr);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(plug.empty());
        EXPECT_EQ(err, "Warning: could not create Vendrax folder in Application Support!\n");
    }
    {
        // A relative XDG folder is not a folder: the home's ".config" is.
        TestSupport::ScopedEnv config("XDG_CONFIG_HOME", "relative/config");
        TestSupport::ScopedEnv home("HOME", dir.path().c_str());
        EXPECT_EQ(Disk_c().getPrefDir().getString(), dir.file(".config"));
    }
}

TEST(DiskFolders, TargetNames)
{
    Disk_c disk;
    struct Full { const char* folder; const char* path; const char* expect; };
    const Full fulls[] = {
        {"/a", "kick.wav", "/a/kick.wav"},
        {"/a", "sub/kick.wav", "sub/kick.wav"},  // already has a folder part
        {"", "kick.wav", "kick.wav"},
        {"/a", "", ""},
    };
    for (const Full& f : fulls) {
        Path_c p(f.path);
        disk.MakeFullPath(Path_c(f.folder), p);
        EXPECT_EQ(p.getString(), f.expect) << f.folder << " + " << f.path;
    }
    struct Name { const char* source; const char* folder; const char* ext; const char* expect; };
    const Name names[] = {
        {"/s/kick.wav", "/t", "aif", "/t/kick.aif"},
        {"/s/kick.wav", "/t/", "", "/t/kick"},   // empty ext: no extension
        {"kick", "/t", "d4t", "/t/kick.d4t"},
        {"", "/t", "aif", ""},
        {"/s/kick.wav", "", "aif", ""},
    };
    for (const Name& n : names)
        EXPECT_EQ(disk.newFileName(Path_c(n.source), Path_c(n.folder), n.ext).getString(), n.expect) << n.source;
}

TEST(DiskCopy, CopiesIntoFolderAndReplacesOnlyWithTheCallersYes)
{
    TempDir dir;
    mkdir(dir.file("src").c_str(), 0755);
    mkdir(dir.file("dst").c_str(), 0755);
    writeFile(dir.file("src/kick.wav"), "new kick");
    const Path_c source = sys(dir.file("src/kick.wav"));
    const Path_c target = sys(dir.file("dst/kick.wav"));
    Disk_c disk;

    EXPECT_TRUE(disk.copyFileTo(Path_c(), sys(dir.file("dst"))).empty());
    EXPECT_TRUE(disk.copyFileTo(source, Path_c()).empty());
    // The copy never asks the user itself (it may run under a lock): the
    // caller's answers decide.
    ScriptedPanels panels(true);
    {
        // Onto itself: nothing is copied, nothing asked, the path is the answer.
        Replies replies(false);
        EXPECT_EQ(disk.copyFileTo(source, sys(dir.file("src")), replies.answers()).getString(), source.getString());
        EXPECT_TRUE(replies.asked.empty());
        EXPECT_EQ(readFile(source.c_str()), "new kick");
    }
    {
        Replies replies(false);
        EXPECT_TRUE(disk.replacedBy(source, sys(dir.file("dst"))).empty()) << "nothing to replace";
        EXPECT_EQ(disk.copyFileTo(source, sys(dir.file("dst")), replies.answers()).getString(), target.getString());
        EXPECT_TRUE(replies.asked.empty());
        EXPECT_EQ(readFile(target.c_str()), "new kick");
        // The same bytes there already: that file is the answer, unasked.
        EXPECT_TRUE(disk.replacedBy(source, sys(dir.file("dst"))).empty());
        EXPECT_EQ(disk.copyFileTo(source, sys(dir.file("dst")), replies.answers()).getString(), target.getString());
        EXPECT_TRUE(replies.asked.empty());
    }
    writeFile(target.c_str(), "old kick");
    EXPECT_EQ(disk.replacedBy(source, sys(dir.file("dst"))).getString(), target.getString());
    {
        Replies replies(false); // No
        EXPECT_TRUE(disk.copyFileTo(source, sys(dir.file("dst")), replies.answers()).empty());
        EXPECT_EQ(replies.asked, std::vector<std::string>{target.getString()});
        EXPECT_EQ(readFile(target.c_str()), "old kick");
    }
    // Without answers the old file stays, as after a No.
    EXPECT_TRUE(disk.copyFileTo(source, sys(dir.file("dst"))).empty());
    EXPECT_EQ(readFile(target.c_str()), "old kick");
    {
        Replies replies(true); // Yes
        EXPECT_EQ(disk.copyFileTo(source, sys(dir.file("dst")), replies.answers()).getString(), target.getString());
        EXPECT_EQ(readFile(target.c_str()), "new kick");
    }
    // Kick.wav and kick.wav are two files: copying one next to the other
    // neither asks nor replaces.
    writeFile(dir.file("src/Kick.wav"), "capital");
    {
        Replies replies(false);
        EXPECT_FALSE(disk.copyFileTo(sys(dir.file("src/Kick.wav")), sys(dir.file("dst")), replies.answers()).empty());
        EXPECT_TRUE(replies.asked.empty());
    }
    EXPECT_TRUE(panels.asked.empty());
    EXPECT_EQ(readFile(dir.file("dst/kick.wav")), "new kick");
    EXPECT_EQ(readFile(dir.file("dst/Kick.wav")), "capital");
    EXPECT_EQ(folderNames(dir.file("dst")), (std::vector<std::string>{"Kick.wav", "kick.wav"}));
}

TEST(DiskCopy, FailedCopyLeavesTargetIntact)
{
    TempDir dir;
    Disk_c disk;
    // A source that is there but cannot be copied: /proc/self/mem is a
    // regular file whose first bytes never read (address 0 is not mapped).
    const Path_c unreadable("/proc/self/mem");
    ASSERT_TRUE(Tool::Disk::isFile(unreadable));
    writeFile(dir.file("mem"), "precious");
    {
        Replies replies(true); // the user agreed to replace it
        EXPECT_TRUE(disk.copyFileTo(unreadable, sys(dir.path()), replies.answers()).empty());
        EXPECT_EQ(replies.asked.size(), 1u);
    }
    EXPECT_EQ(readFile(dir.file("mem")), "precious");
    EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>{"mem"}); // no temporary file left

    // A missing source or a missing folder copies nothing and asks nothing.
    Replies replies(true);
    mkdir(dir.file("dst").c_str(), 0755);
    EXPECT_TRUE(disk.copyFileTo(sys(dir.file("missing.wav")), sys(dir.file("dst")), replies.answers()).empty());
    writeFile(dir.file("a.wav"), "a");
    EXPECT_TRUE(disk.copyFileTo(sys(dir.file("a.wav")), sys(dir.file("nofolder")), replies.answers()).empty());
    EXPECT_TRUE(replies.asked.empty());
}

TEST(DiskTemp, WritesUniquelyNamedFile)
{
    TempDir dir;
    TestSupport::ScopedEnv tmp("TMPDIR", dir.path().c_str());
    Disk_c disk;
    Path_c name("midiXXXXXX.mid");
    EXPECT_EQ(disk.writeTemp("MThd", 4, name), 4);
    const std::string full = name.getString();
    ASSERT_EQ(full.rfind(dir.path() + "/", 0), 0u) << full;
    const std::string leaf = name.getLeaf().getString();
    EXPECT_EQ(leaf.size(), std::string("midiXXXXXX.mid").size());
    EXPECT_EQ(leaf.substr(0, 4), "midi");
    EXPECT_EQ(leaf.substr(10), ".mid");
    EXPECT_NE(leaf.substr(4, 6), "XXXXXX");
    EXPECT_EQ(readFile(full), "MThd");

    Path_c second("midiXXXXXX.mid");
    EXPECT_EQ(disk.writeTemp("", 0, second), 0);
    EXPECT_NE(second.getString(), name.getString());

    Path_c bad("midi.mid"); // no six X: the file cannot be made
    EXPECT_EQ(disk.writeTemp("x", 1, bad), -1);
    EXPECT_EQ(bad.getString(), "midi.mid");
    Path_c negative("midiXXXXXX.mid");
    EXPECT_EQ(disk.writeTemp("x", -1, negative), -1);
    EXPECT_EQ(negative.getString(), "midiXXXXXX.mid");
}

TEST(DiskTemp, DefaultFolderIsTmp)
{
    TestSupport::ScopedEnv tmp("TMPDIR", "");
    Path_c name("tessel3testXXXXXX");
    ASSERT_EQ(Disk_c().writeTemp("x", 1, name), 1);
    EXPECT_EQ(name.getParent().getString(), "/tmp");
    EXPECT_TRUE(Tool::Disk::deleteFile(name));
}

TEST(DiskTemp, TemporaryBesideTakesTheReplacedFilesPermissions)
{
    struct Case
    {
        const char* what;
        bool targetExists;
        mode_t targetMode;
        const char* suffix;
        mode_t expected;
    };
    const Case cases[] = {
        {"private target stays private", true, 0600, ".XXXXXX", 0600},
        {"group-writable target keeps its bits", true, 0664, ".tmp-XXXXXX", 0664},
        {"a new file is readable by all", false, 0, ".XXXXXX", 0644},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string target = dir.file("preset.fxp");
        if (c.targetExists) {
            writeFile(target, "old");
            ASSERT_EQ(::chmod(target.c_str(), c.targetMode), 0);
        }
        std::string temporary;
        const int fd = Tool::Disk::createTemporaryBeside(target, temporary, c.suffix);
        ASSERT_GE(fd, 0);
        ::close(fd);
        // Beside the target, under the target's name and the suffix.
        const std::string stem = target + std::string(c.suffix).substr(0, std::strlen(c.suffix) - 6);
        EXPECT_EQ(temporary.size(), target.size() + std::strlen(c.suffix));
        EXPECT_EQ(temporary.compare(0, stem.size(), stem), 0) << temporary;
        struct stat st {};
        ASSERT_EQ(::stat(temporary.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.expected);
        if (c.targetExists) {
            EXPECT_EQ(readFile(target), "old"); // the target is not touched
        }
    }
    // A folder that does not exist: no descriptor.
    std::string temporary;
    EXPECT_EQ(Tool::Disk::createTemporaryBeside("/nonexistent-folder-tessel/x", temporary), -1);
}
