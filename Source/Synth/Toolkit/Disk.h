// Files and folders: the Tool::Disk functions that ask the file system about
// a path, and Disk_c, the file handle and folder service through which every
// reader and writer of the system opens its files.
//
// Threads: the user-interface thread and the loaders it runs; never the audio
// thread. A Disk_c is used by one thread at a time.
#pragma once

#include "Path.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <vector>

class Synth;

namespace Tool::Disk {

using PathSet_t = std::set<Path_c, Path_c::LexLessFunctor_c>;

// 1 when the path can be examined, 0 when it does not exist, -1 when access
// is denied, -2 for any other failure (a component that is not a folder, a
// name too long, a loop of links). A caller that must know the path is there
// tests for 1.
int exists(const Path_c& path);
bool isFile(const Path_c& path);
bool isDirectory(const Path_c& path);
// The size in bytes; -1 when the path cannot be examined.
int64_t getSize(const Path_c& path);
// Removes a regular file; false for a missing path, a folder or a failure.
bool deleteFile(const Path_c& path);
// Copies the bytes of from into a new file to, only when to does not exist
// and from can be examined. True when the copy is complete; a failed copy
// leaves no partial file behind.
bool copy(const Path_c& from, const Path_c& to);
// True when both files open, have the same length and the same MD5 digest.
bool compare(const Path_c& a, const Path_c& b);
// Creates every missing folder along the path, top down, with mode 0775.
// False at the first folder that cannot be made, and at once for the root.
bool createDirTree(const Path_c& path);

// Clear out and fill it with the full paths of the folder's subfolders, or of
// its files whose extension matches the patterns, sorted as FileList_c sorts,
// at most max of them. Always true.
bool listDirectories(const Path_c& folder, std::vector<Path_c>& out, int max);
bool listFilesWithExt(const Path_c& folder, const Extension_c& patterns, std::vector<Path_c>& out, int max);
bool listDirectories(const Path_c& folder, PathSet_t& out, int max);
bool listFilesWithExt(const Path_c& folder, const Extension_c& patterns, PathSet_t& out, int max);

// Opens an existing regular file for reading and answers its descriptor
// (close-on-exec, blocking reads), or -1. It never waits: a named pipe, a
// device, a socket or a folder is refused at once without being opened (and
// *notRegular, when given, becomes true), so a path that names one can never
// hang the caller the way an open of a pipe without a writer does.
int openRegularForReading(const Path_c& path, bool* notRegular = nullptr);
// Whether path names something that exists but is no regular file (a named
// pipe, a device, a socket or a folder). Never opens it.
bool isSpecialFile(const Path_c& path);

// A new stream on the path (check is_open()); an output stream truncates.
// Neither opens a path that names something other than a regular file.
std::unique_ptr<std::ifstream> createIFStream(const Path_c& path, bool binary);
std::unique_ptr<std::ofstream> createOFStream(const Path_c& path, bool binary);

// The first step of a save that renames over target only once everything is
// written: a new file beside target (so the rename stays on one file system)
// named target + suffix, whose six 'X' at its end become unique characters.
// It takes the permissions of the file it will replace, 0644 for a new one.
// The open descriptor, its name in temporary; -1 when it cannot be made.
int createTemporaryBeside(const std::string& target, std::string& temporary, const char* suffix = ".XXXXXX");

} // namespace Tool::Disk

class FileList_c;

class Disk_c
{
public:
    Disk_c() = default;
    ~Disk_c();
    Disk_c(const Disk_c&) = delete;
    Disk_c& operator=(const Disk_c&) = delete;

    // --- One file at a time -------------------------------------------------
    // Opens with the mode "rb", "rt", "wb" or "wt" (a write truncates). A file
    // opened before is closed first. False for an empty path or a failed open.
    // Only regular files are opened, without waiting: a path that names a
    // named pipe, a device, a socket or a folder is refused at once and
    // refusedSpecial() says so until the next open.
    bool open(const Tool::Disk::Path_c& path, bool read, bool binary);
    bool refusedSpecial() const { return refusedSpecial_; }
    // Closes the open file, if any. False when the close failed, which for a
    // written file means the buffered data may not have reached the disk.
    bool close();
    bool isOpen() const { return file_ != nullptr; }

    // Bytes read or written; -1 when no file is open.
    int readBuffer(void* buffer, int n);
    int writeBuffer(const void* buffer, int n);
    // Four raw bytes in the machine's byte order: 4, -2 on a short read, -1
    // when no file is open.
    int readInt(int* value);
    int readLong(int* value);
    // One line of at most size - 1 bytes, as fgets reads it, less a trailing
    // LF, then CR, then LF (so LF and CR LF ends both go); the remaining
    // length; -2 at end of file (or with no room for a byte); -1 when no file
    // is open.
    int readLine(char* buffer, int size);

    // --- Folders and paths --------------------------------------------------
    // One folder with mode 0775; false for an empty path or a failure.
    bool createDir(const Tool::Disk::Path_c& path);
    // The host owns the process's working folder, so this object keeps its
    // own: later relative paths given to open and createDir are taken below
    // it. Nothing happens for an empty path.
    void setCurDir(Tool::Disk::Path_c& path);
    // The folder set by setCurDir, else the process's working folder.
    Tool::Disk::Path_c getCurDir() const;
    // $XDG_CONFIG_HOME (else ~/.config) without a trailing '/'; the empty path
    // when neither can be found.
    Tool::Disk::Path_c getPrefDir() const;
    // The data folder "Vendrax" under the local data folder, created with
    // mode 0775 when missing; the empty path (and a warning on stderr) when it
    // cannot be had. The engine argument is not used.
    Tool::Disk::Path_c getPlugDir(Synth* synth);
    // A bare file name becomes folder / name; otherwise path stays.
    void MakeFullPath(const Tool::Disk::Path_c& folder, Tool::Disk::Path_c& path) const;
    // folder / (source's leaf without extension), then ext as extension when
    // ext is not empty; the empty path when source or folder is empty.
    Tool::Disk::Path_c newFileName(const Tool::Disk::Path_c& source, const Tool::Disk::Path_c& folder,
                                   const Vdx::String_c& ext) const;
    // Whether an existing target may be replaced, answered for each target
    // by the caller (who asked the user beforehand, outside every lock).
    using ReplaceAnswers_t = std::function<bool(const Tool::Disk::Path_c& target)>;
    // Copies source into folder under its own name and returns the target.
    // A target that holds other bytes is only replaced when mayReplace
    // answers yes for it (without answers it is kept, as after a No: this
    // never asks the user), and only once the new copy is complete; a
    // target with the same bytes is the answer as it is. The empty path when
    // nothing was copied.
    Tool::Disk::Path_c copyFileTo(const Tool::Disk::Path_c& source, const Tool::Disk::Path_c& folder,
                                  const ReplaceAnswers_t& mayReplace = {});
    // The target of copyFileTo(source, folder) when copying would replace
    // an existing file that holds other bytes (the question to ask the user
    // first); the empty path otherwise.
    Tool::Disk::Path_c replacedBy(const Tool::Disk::Path_c& source, const Tool::Disk::Path_c& folder) const;
    // Writes n bytes into a new temporary file named after name, whose six
    // 'X' just before the extension become unique characters; name becomes
    // the file's full path. The bytes written, or -1 (name unchanged when the
    // file could not be made).
    int writeTemp(const char* data, int n, Tool::Disk::Path_c& name);

    // --- Browsing -----------------------------------------------------------
    // out becomes the full path of the first matching file of folder (of a
    // sorted listing of at most max entries); true when there was one. For an
    // empty folder: false, out untouched.
    bool getFirstFile(Tool::Disk::Path_c& folder, Tool::Disk::Path_c& out,
                      const Tool::Disk::Extension_c& patterns, int max);
    bool getFirstKit(Tool::Disk::Path_c& folder, Tool::Disk::Path_c& out, int max);
    bool getFirstPreset(Tool::Disk::Path_c& folder, Tool::Disk::Path_c& out, int max);
    // out becomes the entry after (forward) or before current in the listing
    // of current's folder; empty at either end or when current is not listed
    // (no wrap-around). True when the listing had any entry; an empty current
    // gives false with out untouched.
    bool getNextFile(bool forward, const Tool::Disk::Path_c& current, Tool::Disk::Path_c& out,
                     const Tool::Disk::Extension_c& patterns, int max);
    // False for an empty name; true when the list is empty or the name's
    // extension equals one of the patterns, ignoring case.
    static bool ExtensionMatches(const Tool::Disk::Extension_c& patterns, const Tool::Disk::Path_c& name);
    // Adds the folder's subfolders (dirs) or matching regular files to list,
    // at most max of them, under their names exactly as the file system gives
    // them.
    void fillFileList(FileList_c* list, Tool::Disk::Path_c& folder, bool dirs,
                      const Tool::Disk::Extension_c& patterns, int max);

    char getMainDirDelimiter() const { return delimiters_[1]; }

private:
    Tool::Disk::Path_c resolve(const Tool::Disk::Path_c& path) const;

    FILE* file_ = nullptr;
    bool refusedSpecial_ = false;
    char delimiters_[3] = {':', '/', '\\'};
    Tool::Disk::Path_c curDir_;
};
