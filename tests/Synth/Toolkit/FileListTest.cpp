#include "Disk.h"
#include "FileList.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using Tool::Disk::Extension_c;
using Tool::Disk::Path_c;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

Path_c sys(const std::string& text)
{
    return Path_c::fromSystem(Vdx::String_c(text));
}

std::vector<std::string> names(FileList_c& list, bool full = false)
{
    std::vector<std::string> out;
    for (unsigned i = 0; i < list.getCount(); ++i)
        out.push_back(list.getFilename(i, full).getString());
    return out;
}

std::vector<std::string> texts(const std::vector<Path_c>& paths)
{
    std::vector<std::string> out;
    for (const Path_c& p : paths)
        out.push_back(p.getString());
    return out;
}

// A folder of sample files, subfolders and things a listing must skip.
class FileListFolder : public testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* f : {"b.wav", "A.wav", "a.WAV.txt", "Kick.wav", "kick.wav", "KICK.wav",
                              "a:b*c?.wav", ".hidden.wav", "noext", "z patterns arp", "Z PATTERNS ARP"})
            writeFile(dir.file(f), f);
        for (const char* d : {"Drums", "bass", ".git", "pads.wav"})
            mkdir(dir.file(d).c_str(), 0755);
        symlink(dir.file("b.wav").c_str(), dir.file("link.wav").c_str()); // links are skipped
        symlink(dir.file("Drums").c_str(), dir.file("linkdir").c_str());
    }

    Path_c folder() const { return sys(dir.path()); }

    TempDir dir;
};

} // namespace

TEST(FileListOrder, SortLessthanComparesLowerCasedSignedBytes)
{
    struct Case { const char* a; const char* b; bool less; };
    const Case cases[] = {
        {"A.wav", "b.wav", true},
        {"b.wav", "A.wav", false},
        {"Kick.wav", "kick.wav", false},  // equal ignoring case: neither first
        {"kick.wav", "Kick.wav", false},
        {"ab", "abc", true},              // the shorter name first
        {"abc", "ab", false},
        {"\xC3\xA9", "a", true},          // bytes above 127 count as negative
        {"Layer", "b.wav", false},
        {"_x", "ax", true},               // '_' (95) before lower-case letters
    };
    for (const Case& c : cases)
        EXPECT_EQ(FLSortLessthan(Path_c::fromSystem(c.a), Path_c::fromSystem(c.b)), c.less) << c.a << " < " << c.b;
}

TEST_F(FileListFolder, FilesMatchingPatternsInListingOrder)
{
    FileList_c list;
    list.create("empty", Extension_c("wav"), 100, false);
    list.refreshFromDir(folder(), false);
    // Ignoring case; names that differ only in case are all there, in byte
    // order; names with ':' '*' '?' are kept as they are; no folders, links,
    // non-matching files or "z patterns arp".
    // ('.' sorts before ':', so A.wav comes before a:b*c?.wav.)
    const std::vector<std::string> expect = {".hidden.wav", "A.wav", "a:b*c?.wav", "b.wav",
                                             "KICK.wav", "Kick.wav", "kick.wav"};
    EXPECT_EQ(names(list), expect);

    FileList_c all;
    all.create("empty", Extension_c(""), 100, false); // no patterns: every file
    all.refreshFromDir(folder(), false);
    EXPECT_EQ(all.getCount(), 9u); // all regular files but the two "z patterns arp"
}

TEST_F(FileListFolder, SpecialNamesOpenThroughTheirListedPath)
{
    FileList_c list;
    list.create("empty", Extension_c("wav"), 100, false);
    list.refreshFromDir(folder(), false);
    ASSERT_EQ(list.getFilename(2, false).getString(), "a:b*c?.wav");
    const Path_c full = list.getFilename(2, true);
    EXPECT_EQ(full.getString(), dir.file("a:b*c?.wav"));
    Disk_c disk;
    ASSERT_TRUE(disk.open(full, true, true));
    char buffer[32] = {};
    EXPECT_EQ(disk.readBuffer(buffer, sizeof(buffer)), 10);
    EXPECT_STREQ(buffer, "a:b*c?.wav");
}

TEST_F(FileListFolder, LayerEntryAndMaximum)
{
    TempDir small;
    for (const char* f : {"b.wav", "A.wav", "a.WAV.txt"})
        writeFile(small.file(f), "x");
    FileList_c list;
    list.create("empty", Extension_c("wav"), 10, false);
    list.refreshFromDir(sys(small.path()), false);
    EXPECT_EQ(names(list), (std::vector<std::string>{"A.wav", "b.wav"}));
    list.create("empty", Extension_c("wav"), 10, true);
    list.refreshFromDir(sys(small.path()), false);
    EXPECT_EQ(names(list), (std::vector<std::string>{"A.wav", "b.wav", "Layer"}));

    // Folders: at most two real entries plus "Layer" under a maximum of 3.
    FileList_c folders;
    folders.create("empty", Extension_c(), 3, true);
    folders.refreshFromDir(folder(), true);
    ASSERT_EQ(folders.getCount(), 3u);
    int layers = 0;
    for (const std::string& n : names(folders))
        layers += n == "Layer";
    EXPECT_EQ(layers, 1);

    FileList_c allFolders;
    allFolders.create("empty", Extension_c(), 100, false);
    allFolders.refreshFromDir(folder(), true);
    // No dot folders, no links; a folder named like a sample is a folder.
    EXPECT_EQ(names(allFolders), (std::vector<std::string>{"bass", "Drums", "pads.wav"}));
}

TEST_F(FileListFolder, UnconfiguredListListsNothing)
{
    FileList_c list; // no create: a maximum of 0
    list.refreshFromDir(folder(), false);
    EXPECT_EQ(list.getCount(), 0u);
    EXPECT_EQ(list.getFilename(0, true).getString(), "empty");
    list.create(nullptr, Extension_c("wav"), 100, true); // a null text changes nothing
    list.refreshFromDir(folder(), false);
    EXPECT_EQ(list.getCount(), 0u);
}

TEST_F(FileListFolder, NamesOutsideTheListAndDisplayNames)
{
    FileList_c list;
    list.create("empty", Extension_c("wav"), 100, false);
    list.refreshFromDir(folder(), false);
    EXPECT_EQ(list.getFilename(99, true).getString(), "empty");
    EXPECT_EQ(list.getFilenameDisplay(3), "b");
    EXPECT_EQ(&list.getFilenameDisplay(99), &Vdx::String_c::EmptyString);
    static const char noFile[] = "<none>";
    list.create(noFile, Extension_c("wav"), 100, false);
    EXPECT_EQ(list.getFilename(99, false).getString(), "<none>");
    EXPECT_EQ(list.getFolder().getString(), dir.path());

    // Without a listed folder the full name is the bare entry.
    FileList_c bare;
    bare.create("empty", Extension_c("wav"), 100, false);
    Path_c entry("x.wav");
    bare.addItem(entry);
    EXPECT_EQ(bare.getFilename(0, true).getString(), "x.wav");
}

TEST_F(FileListFolder, RefreshFindsTheExactEntry)
{
    FileList_c list;
    list.create("empty", Extension_c("wav"), 100, false);
    struct Case { std::string path; bool dirs; int index; };
    const Case cases[] = {
        {dir.file("kick.wav"), false, 6},
        {dir.file("Kick.wav"), false, 5},
        {dir.file("KICK.wav"), false, 4},
        {dir.file("kIck.wav"), false, -3},      // no such file
        {dir.file("a:b*c?.wav"), false, 2},
        {dir.file("Drums/any.wav"), true, 1},   // the index of the holding folder
        {"", false, -4},
    };
    for (const Case& c : cases)
        EXPECT_EQ(list.refresh(sys(c.path), c.dirs), c.index) << c.path;
}

TEST_F(FileListFolder, BrowsingFirstAndNext)
{
    Disk_c disk;
    const Extension_c wav("wav");
    Path_c f = folder();
    Path_c out("untouched");
    Path_c empty;
    EXPECT_FALSE(disk.getFirstFile(empty, out, wav, 100));
    EXPECT_EQ(out.getString(), "untouched");
    EXPECT_TRUE(disk.getFirstFile(f, out, wav, 100));
    EXPECT_EQ(out.getString(), dir.file(".hidden.wav"));
    Path_c nothing = sys(dir.file("Drums"));
    EXPECT_FALSE(disk.getFirstFile(nothing, out, wav, 100));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(disk.getFirstPreset(f, out, 100));
    writeFile(dir.file("Drums/p.FXP"), "x");
    EXPECT_TRUE(disk.getFirstPreset(nothing, out, 100));
    EXPECT_EQ(out.getString(), dir.file("Drums/p.FXP"));

    struct Step { const char* current; bool forward; const char* next; };
    const Step steps[] = {
        {"Kick.wav", true, "kick.wav"},   // steps through names that differ only in case
        {"kick.wav", false, "Kick.wav"},
        {"KICK.wav", false, "b.wav"},
        {"kick.wav", true, ""},           // last entry: no wrap-around
        {".hidden.wav", false, ""},       // first entry
        {"gone.wav", true, ""},           // not listed
    };
    for (const Step& s : steps) {
        Path_c next("untouched");
        EXPECT_TRUE(disk.getNextFile(s.forward, sys(dir.file(s.current)), next, wav, 100)) << s.current;
        EXPECT_EQ(next.getString(), *s.next ? dir.file(s.next) : std::string()) << s.current;
    }
    Path_c next("untouched");
    EXPECT_FALSE(disk.getNextFile(true, Path_c(), next, wav, 100));
    EXPECT_EQ(next.getString(), "untouched");
    EXPECT_FALSE(disk.getNextFile(true, sys(dir.file("Drums/none.aif")), next, Extension_c("aif"), 100));
}

TEST_F(FileListFolder, ListsIntoVectorsAndSets)
{
    std::vector<Path_c> out{Path_c("stale")};
    EXPECT_TRUE(Tool::Disk::listFilesWithExt(folder(), Extension_c("WAV"), out, 100));
    EXPECT_EQ(out.size(), 7u);
    EXPECT_EQ(out[2].getString(), dir.file("a:b*c?.wav"));
    EXPECT_TRUE(Tool::Disk::listDirectories(folder(), out, 2));
    EXPECT_EQ(out.size(), 2u);

    Tool::Disk::PathSet_t set{Path_c("stale")};
    EXPECT_TRUE(Tool::Disk::listFilesWithExt(folder(), Extension_c("wav"), set, 100));
    // The three kick files are three files: the set keeps them all.
    EXPECT_EQ(set.size(), 7u);
    EXPECT_EQ(set.count(sys(dir.file("kick.wav"))), 1u);
    EXPECT_EQ(set.count(sys(dir.file("KICK.wav"))), 1u);
    EXPECT_TRUE(Tool::Disk::listDirectories(folder(), set, 100));
    std::vector<Path_c> dirs(set.begin(), set.end());
    EXPECT_EQ(texts(dirs), (std::vector<std::string>{dir.file("bass"), dir.file("Drums"), dir.file("pads.wav")}));

    EXPECT_TRUE(Tool::Disk::listDirectories(sys(dir.file("missing")), out, 100));
    EXPECT_TRUE(out.empty());
}

TEST(FileListMatch, ExtensionMatching)
{
    struct Case { const char* patterns; const char* name; bool match; };
    const Case cases[] = {
        {"", "anything.xyz", true},       // no patterns: every file
        {"", "", false},                  // but never an empty name
        {"wav", "A.WAV", true},
        {"wav", "a.wave", false},
        {"wav", "wav", false},            // no extension
        {"aif aiff wav", "x.AIFF", true},
        {"*.wav", "x.wav", false},        // patterns are whole texts here
        {"wav", "x.", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Disk_c::ExtensionMatches(Extension_c(c.patterns), Path_c(c.name)), c.match)
            << c.patterns << " / " << c.name;
}
