// Tool::Disk::Path_c: every file and folder name that the system stores,
// compares, joins or hands to the operating system. Text built from a string
// is cleaned of characters that may not stand in a portable file name, so a
// path written by one machine means the same file on another.
// Tool::Disk::Extension_c: a list of file-name patterns ("wav", "*.fxp") that
// folder listings and the file dialog filter with.
//
// Paths are plain values: any thread may use its own copies; EmptyPath is
// read-only.
#pragma once

#include "VdxString.h"

#include <vector>

namespace Tool::Disk {

class Path_c
{
public:
    // Empty text, not absolute.
    Path_c() = default;
    // The text is cleaned (prepareString) and the absolute flag computed.
    Path_c(const Vdx::String_c& text);
    Path_c(const char* text);
    Path_c& operator=(const char* text);
    // Copies keep text and flag as they are (no new cleaning).
    Path_c(const Path_c&) = default;
    Path_c(Path_c&&) = default;
    Path_c& operator=(const Path_c&) = default;
    Path_c& operator=(Path_c&&) = default;

    // Returned where an operation has no path to give.
    static const Path_c EmptyPath;

    // A path exactly as the file system gave it (a folder entry's name), with
    // no cleaning. ':' '*' '?' '\' '|' '"' are legal in Linux names; a file
    // that a listing found must still open under its real name.
    static Path_c fromSystem(const Vdx::String_c& text);

    // The cleaned copy of a text: '*' '|' '"' '?' become '_', ':' is removed,
    // '\' becomes '/'. Nothing else changes (doubled and trailing '/' stay,
    // "." and ".." are not resolved).
    static Vdx::String_c prepareString(const Vdx::String_c& text);
    // Absolute: at least two characters and the first is '/'. (So "/" built
    // from text is not absolute; the absolute root only arises from
    // convertToAbsolute of an empty path.)
    void calcAbsoluteFlag();

    const Vdx::String_c& getString() const { return text_; }
    const char* c_str() const { return text_.c_str(); }
    bool empty() const { return text_.empty(); }
    bool isAbsolute() const { return absolute_; }

    bool isRoot() const;
    // True when the text holds a '/'.
    bool isPath() const;
    // The text after the last '/'; the whole path without one; EmptyPath when
    // the text ends in '/'.
    Path_c getLeaf() const;
    // The text before the last '/'; the path itself without one; EmptyPath for
    // the empty path; the absolute root is its own parent; the parent of /x is
    // the empty path.
    Path_c getParent() const;
    // The text after the last '.' of the leaf; empty when the leaf has none or
    // ends in '.'.
    Vdx::String_c getExt() const;
    // The text before the last '.', unless that '.' lies before the last '/'.
    Path_c getExtStripped() const;
    // In place: the extension is replaced by (or, without one, extended by)
    // "." + ext; ext is not cleaned.
    Path_c& changeExtension(const Vdx::String_c& ext);
    // The relative text without its first component; empty when nothing
    // follows the first '/'.
    Path_c getTopLevelStripped() const;
    // In place: an absolute path loses its leading '/' and its flag.
    Path_c& convertToRelative();
    // In place: a relative path gains a leading '/' and the flag.
    Path_c& convertToAbsolute();

    // Same file: the texts are equal byte for byte. Linux names are case
    // sensitive, so Kick.wav and kick.wav are two files.
    bool isIdenticalPath(const Path_c& other) const;
    // True when this text begins with prefix's text, ignoring case (so a
    // sample stored under /Users/X/Samples is found below /users/x/samples).
    bool isSamePath(const Path_c& prefix) const;

    // The path as a "file://" URL text, percent-escaped (what drag and drop
    // and desktop tools take); empty when the text is not UTF-8.
    Vdx::String_c createCFURL() const;

    // In place: an absolute right side replaces the path; otherwise a
    // non-empty right side is appended after a '/', even when the text
    // already ends in one. The flag is not recomputed. Onto an empty path the
    // right side is taken as it is, so a relative path stays relative.
    Path_c& operator+=(const Path_c& right);

    // Orders paths for sorted sets: by the lower-cased texts, and names that
    // differ only in case (two files on Linux) by their exact bytes, so a set
    // keeps both.
    struct LexLessFunctor_c
    {
        bool operator()(const Path_c& a, const Path_c& b) const;
    };

private:
    Path_c(Vdx::String_c text, bool computeFlag);

    Vdx::String_c text_;
    bool absolute_ = false;
};

// A new path: right when absolute; left when right is empty; right when left
// is empty; else left and right joined by one '/' (none added when left ends
// in '/'). The joined text is cleaned and its flag computed.
Path_c operator/(const Path_c& left, const Path_c& right);

// The same join without cleaning, for names the file system gave (folder
// listings): the joined path opens the very file that was listed.
Path_c joinSystem(const Path_c& folder, const Path_c& name);

// There are no drive letters on this platform: a copy of the path.
Path_c stripDriveLetter(const Path_c& path);

class Extension_c
{
public:
    Extension_c() = default;
    Extension_c(const Vdx::String_c& text) { setExtensions(text); }
    Extension_c(const char* text) { setExtensions(text); }

    // The text is kept whole and split at blanks into the patterns (empty
    // pieces dropped); both are replaced together.
    void setExtensions(const Vdx::String_c& text);
    void setExtensions(const char* text);

    // Pattern i; Vdx::String_c::EmptyString when i is out of range.
    const Vdx::String_c& getExt(unsigned i) const;
    unsigned getCount() const { return static_cast<unsigned>(patterns_.size()); }
    const Vdx::String_c& getText() const { return text_; }

private:
    std::vector<Vdx::String_c> patterns_;
    Vdx::String_c text_;
};

} // namespace Tool::Disk
