#include "Path.h"

#include <gtest/gtest.h>

#include <set>

using Tool::Disk::Extension_c;
using Tool::Disk::Path_c;

namespace {

// Builds a path from text with the given absolute flag, as the operations
// under test can produce it (the absolute root only arises this way).
Path_c absoluteRoot()
{
    return Path_c().convertToAbsolute();
}

} // namespace

TEST(Path, BuildingCleansTextAndSetsAbsoluteFlag)
{
    struct Case { const char* text; const char* expect; bool absolute; };
    const Case cases[] = {
        {"X:\\My*Files\\a?.wav", "X/My_Files/a_.wav", false}, // every cleaning rule at once
        {"a|b\"c", "a_b_c", false},
        {"/", "/", false},                  // one character: not absolute
        {"/a", "/a", true},
        {"a/b", "a/b", false},
        {"//x//y/", "//x//y/", true},       // doubled and trailing '/' stay
        {"./a/../b", "./a/../b", false},    // nothing is resolved
        {":/a", "/a", true},                // the flag follows the cleaned text
        {"", "", false},
    };
    for (const Case& c : cases) {
        const Path_c p(c.text);
        EXPECT_EQ(p.getString(), c.expect) << c.text;
        EXPECT_EQ(p.isAbsolute(), c.absolute) << c.text;
        EXPECT_EQ(Path_c(Vdx::String_c(c.text)).getString(), c.expect) << c.text;
    }
    Path_c assigned;
    assigned = "C:\\x";
    EXPECT_EQ(assigned.getString(), "C/x");
    EXPECT_TRUE(Path_c(static_cast<const char*>(nullptr)).empty());
    EXPECT_TRUE(Path_c::EmptyPath.empty());
    EXPECT_FALSE(Path_c::EmptyPath.isAbsolute());
}

TEST(Path, SystemNamesAreKeptExactlyThroughDerivedPaths)
{
    const Path_c raw = Path_c::fromSystem("/data/a:b*c?.wav");
    EXPECT_EQ(raw.getString(), "/data/a:b*c?.wav");
    EXPECT_TRUE(raw.isAbsolute());
    EXPECT_EQ(raw.getLeaf().getString(), "a:b*c?.wav");
    EXPECT_EQ(raw.getExtStripped().getString(), "/data/a:b*c?");
    EXPECT_EQ(Path_c(raw).getString(), raw.getString()); // copies never clean

    const Path_c joined = Tool::Disk::joinSystem(Path_c("/data/"), Path_c::fromSystem("x|y.wav"));
    EXPECT_EQ(joined.getString(), "/data/x|y.wav");
    // The ordinary join cleans, as every path built from text is.
    EXPECT_EQ((Path_c("/data") / Path_c::fromSystem("x|y.wav")).getString(), "/data/x_y.wav");
}

TEST(Path, LeafParentAndRoot)
{
    struct Case { Path_c path; const char* leaf; const char* parent; };
    const Case cases[] = {
        {Path_c("/a/b/"), "", "/a/b"},      // a trailing '/' has no leaf
        {Path_c("/a/b"), "b", "/a"},
        {Path_c("name"), "name", "name"},   // a bare name is its own parent
        {Path_c("/x"), "x", ""},            // text before the '/' at index 0
        {Path_c("/"), "", ""},              // built from text: not the root
        {Path_c(""), "", ""},
        {absoluteRoot(), "", "/"},          // the absolute root is its own parent
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.path.getLeaf().getString(), c.leaf) << c.path.getString();
        EXPECT_EQ(c.path.getParent().getString(), c.parent) << c.path.getString();
    }
    EXPECT_TRUE(absoluteRoot().isRoot());
    EXPECT_TRUE(absoluteRoot().getParent().isRoot());
    EXPECT_FALSE(Path_c("/").isRoot());
    EXPECT_TRUE(Path_c("a/b").isPath());
    EXPECT_FALSE(Path_c("ab").isPath());
    EXPECT_TRUE(Path_c("/a/b").getParent().isAbsolute());
}

TEST(Path, ExtensionsAndTopLevel)
{
    struct Case { const char* path; const char* ext; const char* stripped; const char* changed; };
    const Case cases[] = {
        {"/a/b.c/file", "", "/a/b.c/file", "/a/b.c/file.fxp"}, // the dot is in a folder
        {"x.WAV", "WAV", "x", "x.fxp"},
        {"name.", "", "name", "name.fxp"},                     // ends in a dot
        {"/a/song.mid", "mid", "/a/song", "/a/song.fxp"},
        {"/a/song", "", "/a/song", "/a/song.fxp"},
        {"/a/x.tar.gz", "gz", "/a/x.tar", "/a/x.tar.fxp"},
        {".hidden", "hidden", "", ".fxp"},
    };
    for (const Case& c : cases) {
        const Path_c p(c.path);
        EXPECT_EQ(p.getExt(), c.ext) << c.path;
        EXPECT_EQ(p.getExtStripped().getString(), c.stripped) << c.path;
        Path_c changed(p);
        EXPECT_EQ(changed.changeExtension("fxp").getString(), c.changed) << c.path;
    }

    struct Top { Path_c path; const char* expect; };
    const Top tops[] = {
        {Path_c("/Users/x/kick.wav"), "x/kick.wav"},
        {Path_c("Users/x"), "x"},
        {Path_c("Users"), ""},
        {Path_c("Users/"), ""},
        {Path_c("/"), ""},
    };
    for (const Top& t : tops) {
        const Path_c stripped = t.path.getTopLevelStripped();
        EXPECT_EQ(stripped.getString(), t.expect) << t.path.getString();
        EXPECT_FALSE(stripped.isAbsolute());
    }
}

TEST(Path, RelativeAndAbsoluteConversion)
{
    Path_c p("/a/b");
    p.convertToRelative();
    EXPECT_EQ(p.getString(), "a/b");
    EXPECT_FALSE(p.isAbsolute());
    p.convertToRelative();
    EXPECT_EQ(p.getString(), "a/b");
    p.convertToAbsolute();
    EXPECT_EQ(p.getString(), "/a/b");
    EXPECT_TRUE(p.isAbsolute());
    p.convertToAbsolute();
    EXPECT_EQ(p.getString(), "/a/b");
}

TEST(Path, Joining)
{
    struct Case { Path_c left; Path_c right; const char* expect; bool absolute; };
    const Case cases[] = {
        {Path_c("/Users/x/"), Path_c("kick.wav"), "/Users/x/kick.wav", true}, // one '/'
        {Path_c("/Users/x"), Path_c("kick.wav"), "/Users/x/kick.wav", true},
        {Path_c("/Users/x"), Path_c("/abs"), "/abs", true},                   // absolute right wins
        {Path_c("rel"), Path_c("/abs"), "/abs", true},
        {Path_c(""), Path_c("a"), "a", false},
        {Path_c("/a"), Path_c(""), "/a", true},
        {Path_c("/"), Path_c("a"), "/a", true},                               // flag computed anew
        {Path_c("a"), Path_c("b/c"), "a/b/c", false},
    };
    for (const Case& c : cases) {
        const Path_c joined = c.left / c.right;
        EXPECT_EQ(joined.getString(), c.expect) << c.left.getString() << " / " << c.right.getString();
        EXPECT_EQ(joined.isAbsolute(), c.absolute) << c.expect;
    }
}

TEST(Path, AppendInPlace)
{
    struct Case { Path_c left; Path_c right; const char* expect; bool absolute; };
    const Case cases[] = {
        {Path_c("/Users/x/"), Path_c("kick.wav"), "/Users/x//kick.wav", true}, // always a '/'
        {Path_c("/Users"), Path_c("/abs"), "/abs", true},
        {Path_c("/Users"), Path_c(""), "/Users", true},
        {Path_c("a"), Path_c("b"), "a/b", false},
        // Onto an empty path a relative path stays relative.
        {Path_c(""), Path_c("rel"), "rel", false},
        {Path_c(""), Path_c("/abs"), "/abs", true},
        // The flag is not recomputed: the non-absolute "/" gains a component
        // and stays as it was.
        {Path_c("/"), Path_c("a"), "//a", false},
    };
    for (const Case& c : cases) {
        Path_c p(c.left);
        p += c.right;
        EXPECT_EQ(p.getString(), c.expect) << c.left.getString() << " += " << c.right.getString();
        EXPECT_EQ(p.isAbsolute(), c.absolute) << c.expect;
    }
}

TEST(Path, IdentityIsExactButPrefixIgnoresCase)
{
    EXPECT_TRUE(Path_c("/a/Kick.wav").isIdenticalPath(Path_c("/a/Kick.wav")));
    EXPECT_FALSE(Path_c("/a/Kick.wav").isIdenticalPath(Path_c("/a/kick.wav")));
    EXPECT_FALSE(Path_c("/a/Kick.wav").isIdenticalPath(Path_c("/a/Kick.wav/")));

    struct Case { const char* path; const char* prefix; bool expect; };
    const Case cases[] = {
        {"/Users/X/Samples/kick.wav", "/users/x/samples", true},
        {"/Users/X/Samples/kick.wav", "/Users/X/Samples/kick.wav", true},
        {"/Users/X/Samples/kick.wav", "/Users/X/Samples/kick.wav2", false}, // longer prefix
        {"/Users/X/Samples/kick.wav", "/Users/Y", false},
        {"/Users", "", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Path_c(c.path).isSamePath(Path_c(c.prefix)), c.expect) << c.path << " / " << c.prefix;
}

TEST(Path, SortedSetKeepsNamesThatDifferOnlyInCase)
{
    std::set<Path_c, Path_c::LexLessFunctor_c> set;
    for (const char* name : {"b.wav", "Kick.wav", "kick.wav", "A.wav", "kick.wav"})
        set.insert(Path_c(name));
    std::vector<std::string> order;
    for (const Path_c& p : set)
        order.push_back(p.getString());
    // Ordered ignoring case; the exact duplicate collapses, the case variant stays.
    EXPECT_EQ(order, (std::vector<std::string>{"A.wav", "b.wav", "Kick.wav", "kick.wav"}));
}

TEST(Path, FileUrl)
{
    EXPECT_EQ(Path_c("/a b/%x.wav").createCFURL(), "file:///a%20b/%25x.wav");
    EXPECT_EQ(Path_c("/caf\xC3\xA9").createCFURL(), "file:///caf%C3%A9");
    EXPECT_EQ(Path_c("/bad\xC3").createCFURL(), ""); // not UTF-8
    EXPECT_EQ(Tool::Disk::stripDriveLetter(Path_c("/a/b")).getString(), "/a/b");
}

TEST(Extension, SplitsAtBlanksAndKeepsText)
{
    const Extension_c e("  *.wav   *.aif ");
    ASSERT_EQ(e.getCount(), 2u);
    EXPECT_EQ(e.getExt(0), "*.wav");
    EXPECT_EQ(e.getExt(1), "*.aif");
    EXPECT_EQ(e.getText(), "  *.wav   *.aif ");
    EXPECT_EQ(&e.getExt(2), &Vdx::String_c::EmptyString);

    Extension_c copy;
    copy = e;
    EXPECT_EQ(copy.getCount(), 2u);
    copy.setExtensions(static_cast<const char*>(nullptr));
    EXPECT_EQ(copy.getCount(), 0u);
    EXPECT_EQ(copy.getText(), "");
    EXPECT_EQ(Extension_c("").getCount(), 0u);
}
