#include "Disk.h"

#include "Capacities.h"
#include "FileList.h"
#include "Md5.h"
#include "OsLib.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using Tool::Disk::Extension_c;
using Tool::Disk::Path_c;

namespace {

// The kit formats that getFirstKit looks for.
constexpr const char* KitFileTypes = "fxb kit kt3 mgp";
constexpr mode_t FolderMode = 0775;
// Bytes per read when copying files.
constexpr size_t CopyBlock = 65536;

// The text as a file-system name, or null when it cannot be one (a NUL byte
// inside would silently name another file).
const char* sysName(const Path_c& path)
{
    const Vdx::String_c& s = path.getString();
    if (s.find('\0') != Vdx::String_c::npos)
        return nullptr;
    return s.c_str();
}

bool statPath(const Path_c& path, struct stat& st)
{
    const char* name = sysName(path);
    return name && ::stat(name, &st) == 0;
}

int openRetrying(const char* name, int flags, mode_t mode = 0)
{
    int fd;
    do {
        fd = ::open(name, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// A special file (pipe, device, socket, folder) at name: refused before any
// open, since opening one may wait (a pipe without a writer) or act (a tape).
bool specialAt(const char* name)
{
    struct stat st;
    return ::stat(name, &st) == 0 && !S_ISREG(st.st_mode);
}

// The descriptor of the regular file at name opened with flags (O_NONBLOCK
// added for the open itself and taken off again), or -1. The type is taken
// again from the opened file, so one swapped in after the look at the name
// is refused too.
int openRegular(const char* name, int flags, bool* notRegular, mode_t mode = 0)
{
    if (notRegular)
        *notRegular = false;
    if (specialAt(name)) {
        if (notRegular)
            *notRegular = true;
        return -1;
    }
    const int fd = openRetrying(name, flags | O_NONBLOCK | O_NOCTTY, mode);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        if (notRegular)
            *notRegular = true;
        return -1;
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status >= 0)
        ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    return fd;
}

bool writeAll(int fd, const char* data, size_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, data, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

// Reads up to n bytes; fewer only at the end of the file; -1 on an error.
ssize_t readFull(int fd, unsigned char* data, size_t n)
{
    size_t got = 0;
    while (got < n) {
        const ssize_t r = ::read(fd, data + got, n - got);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (r == 0)
            break;
        got += static_cast<size_t>(r);
    }
    return static_cast<ssize_t>(got);
}

bool copyBytes(int in, int out)
{
    std::vector<unsigned char> block(CopyBlock);
    for (;;) {
        const ssize_t r = readFull(in, block.data(), block.size());
        if (r < 0)
            return false;
        if (r == 0)
            return true;
        if (!writeAll(out, reinterpret_cast<const char*>(block.data()), static_cast<size_t>(r)))
            return false;
    }
}

// Creates a new file named prefix plus six random characters (mode 0666 less
// the umask, like any new file); its name goes to name. -1 when none could be
// made.
int createUniqueFile(const Vdx::String_c& prefix, Vdx::String_c& name)
{
    static const char chars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::minstd_rand rng(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        Vdx::String_c candidate(prefix);
        for (int i = 0; i < 6; ++i)
            candidate.push_back(chars[rng() % (sizeof(chars) - 1)]);
        if (candidate.find('\0') != Vdx::String_c::npos)
            return -1;
        const int fd = openRetrying(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd >= 0) {
            name = candidate;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    return -1;
}

bool closeChecked(int fd)
{
    return ::close(fd) == 0;
}

// The digest of a file's bytes, read in blocks of 1024; empty on a read error.
Vdx::String_c fileDigest(int fd)
{
    Tool::MD5 md5;
    unsigned char block[FileCompareBlockBytes];
    for (;;) {
        const ssize_t r = readFull(fd, block, sizeof(block));
        if (r < 0)
            return Vdx::String_c();
        if (r == 0)
            break;
        md5.update(block, static_cast<unsigned int>(r));
    }
    return md5.getDigestString();
}

Vdx::String_c withoutTrailingSlash(Vdx::String_c s)
{
    if (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

void listInto(const Path_c& folder, const Extension_c& patterns, bool dirs, int max, std::vector<Path_c>& out)
{
    FileList_c list;
    list.create("empty", patterns, max, false);
    list.refreshFromDir(folder, dirs);
    out.reserve(list.getCount());
    for (unsigned i = 0; i < list.getCount(); ++i)
        out.push_back(list.getFilename(i, true));
}

} // namespace

// ---------------------------------------------------------------------------
// Tool::Disk

namespace Tool::Disk {

int exists(const Path_c& path)
{
    const char* name = sysName(path);
    if (!name)
        return -2;
    struct stat st;
    if (::stat(name, &st) == 0)
        return 1;
    switch (errno) {
    case ENOENT:
        return 0;
    case EACCES:
        return -1;
    default:
        return -2;
    }
}

bool isFile(const Path_c& path)
{
    struct stat st;
    return statPath(path, st) && S_ISREG(st.st_mode);
}

bool isDirectory(const Path_c& path)
{
    struct stat st;
    return statPath(path, st) && S_ISDIR(st.st_mode);
}

int64_t getSize(const Path_c& path)
{
    struct stat st;
    if (!statPath(path, st))
        return -1;
    return static_cast<int64_t>(st.st_size);
}

bool deleteFile(const Path_c& path)
{
    return isFile(path) && ::unlink(path.c_str()) == 0;
}

int openRegularForReading(const Path_c& path, bool* notRegular)
{
    if (notRegular)
        *notRegular = false;
    const char* name = sysName(path);
    return name ? openRegular(name, O_RDONLY, notRegular) : -1;
}

bool isSpecialFile(const Path_c& path)
{
    const char* name = sysName(path);
    return name && specialAt(name);
}

bool copy(const Path_c& from, const Path_c& to)
{
    if (exists(to) != 0 || exists(from) != 1)
        return false;
    const int in = openRegularForReading(from);
    if (in < 0)
        return false;
    // O_EXCL: a file that appeared meanwhile is never overwritten.
    const int out = openRetrying(to.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (out < 0) {
        ::close(in);
        return false;
    }
    const bool copied = copyBytes(in, out);
    ::close(in);
    if (!closeChecked(out) || !copied) {
        ::unlink(to.c_str());
        return false;
    }
    return true;
}

bool compare(const Path_c& a, const Path_c& b)
{
    if (!isFile(a) || !isFile(b))
        return false;
    const int fa = openRegularForReading(a);
    if (fa < 0)
        return false;
    const int fb = openRegularForReading(b);
    if (fb < 0) {
        ::close(fa);
        return false;
    }
    bool same = false;
    struct stat sa, sb;
    if (::fstat(fa, &sa) == 0 && ::fstat(fb, &sb) == 0 && sa.st_size == sb.st_size) {
        const Vdx::String_c da = fileDigest(fa);
        same = !da.empty() && da == fileDigest(fb);
    }
    ::close(fa);
    ::close(fb);
    return same;
}

bool createDirTree(const Path_c& path)
{
    if (path.isRoot())
        return false;
    std::vector<Vdx::String_c> parts;
    path.getString().tokenize(parts, '/');
    const Path_c start = path.isAbsolute() ? Path_c::fromSystem("/") : Path_c();
    if (!parts.empty() && parts[0] == "Volumes") {
        // A folder on another volume is only made while that volume is there.
        Path_c volume(start);
        volume += Path_c::fromSystem(parts[0]);
        if (parts.size() < 2)
            return false;
        volume += Path_c::fromSystem(parts[1]);
        if (!isDirectory(volume))
            return false;
    }
    Path_c walk(start);
    for (const Vdx::String_c& part : parts) {
        walk += Path_c::fromSystem(part);
        const char* name = sysName(walk);
        if (!name)
            return false;
        if (exists(walk) == 1) {
            // A file in the place of a folder: the tree cannot be there.
            if (!isDirectory(walk))
                return false;
            continue;
        }
        if (::mkdir(name, FolderMode) != 0 && !(errno == EEXIST && isDirectory(walk)))
            return false;
    }
    return true;
}

bool listDirectories(const Path_c& folder, std::vector<Path_c>& out, int max)
{
    out.clear();
    listInto(folder, Extension_c(), true, max, out);
    return true;
}

bool listFilesWithExt(const Path_c& folder, const Extension_c& patterns, std::vector<Path_c>& out, int max)
{
    out.clear();
    listInto(folder, patterns, false, max, out);
    return true;
}

bool listDirectories(const Path_c& folder, PathSet_t& out, int max)
{
    std::vector<Path_c> list;
    listDirectories(folder, list, max);
    out.clear();
    out.insert(list.begin(), list.end());
    return true;
}

bool listFilesWithExt(const Path_c& folder, const Extension_c& patterns, PathSet_t& out, int max)
{
    std::vector<Path_c> list;
    listFilesWithExt(folder, patterns, list, max);
    out.clear();
    out.insert(list.begin(), list.end());
    return true;
}

std::unique_ptr<std::ifstream> createIFStream(const Path_c& path, bool binary)
{
    auto stream = std::make_unique<std::ifstream>();
    if (const char* name = sysName(path); name && !specialAt(name))
        stream->open(name, binary ? std::ios::in | std::ios::binary : std::ios::in);
    return stream;
}

std::unique_ptr<std::ofstream> createOFStream(const Path_c& path, bool binary)
{
    auto stream = std::make_unique<std::ofstream>();
    const std::ios::openmode mode = std::ios::out | std::ios::trunc;
    if (const char* name = sysName(path); name && !specialAt(name))
        stream->open(name, binary ? mode | std::ios::binary : mode);
    return stream;
}

int createTemporaryBeside(const std::string& target, std::string& temporary, const char* suffix)
{
    temporary = target + suffix;
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return -1;
    struct stat old {};
    ::fchmod(fd, ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    return fd;
}

} // namespace Tool::Disk

// ---------------------------------------------------------------------------
// Disk_c: files

Disk_c::~Disk_c()
{
    close();
}

Path_c Disk_c::resolve(const Path_c& path) const
{
    if (curDir_.empty() || path.empty() || path.getString()[0] == '/')
        return path;
    return Tool::Disk::joinSystem(curDir_, path);
}

bool Disk_c::open(const Path_c& path, bool read, bool binary)
{
    close();
    refusedSpecial_ = false;
    if (path.empty())
        return false;
    const Path_c target = resolve(path);
    const char* name = sysName(target);
    if (!name)
        return false;
    // (Text and binary modes are the same here.)
    (void)binary;
    const int fd = read ? openRegular(name, O_RDONLY, &refusedSpecial_)
                        : openRegular(name, O_WRONLY | O_CREAT | O_TRUNC, &refusedSpecial_, 0666);
    if (fd < 0)
        return false;
    file_ = ::fdopen(fd, read ? "rb" : "wb");
    if (!file_)
        ::close(fd);
    return file_ != nullptr;
}

bool Disk_c::close()
{
    if (!file_)
        return true;
    const bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok;
}

int Disk_c::readBuffer(void* buffer, int n)
{
    if (!file_)
        return -1;
    if (!buffer || n <= 0)
        return 0;
    return static_cast<int>(std::fread(buffer, 1, static_cast<size_t>(n), file_));
}

int Disk_c::writeBuffer(const void* buffer, int n)
{
    if (!file_)
        return -1;
    if (!buffer || n <= 0)
        return 0;
    return static_cast<int>(std::fwrite(buffer, 1, static_cast<size_t>(n), file_));
}

int Disk_c::readInt(int* value)
{
    if (!file_)
        return -1;
    int v = 0;
    if (std::fread(&v, 1, sizeof(v), file_) != sizeof(v))
        return -2;
    if (value)
        *value = v;
    return 4;
}

int Disk_c::readLong(int* value)
{
    return readInt(value);
}

int Disk_c::readLine(char* buffer, int size)
{
    if (!file_)
        return -1;
    if (!buffer || size < 2) {
        // fgets could read nothing into such a buffer, and a caller looping
        // until the end would never get there.
        if (buffer && size == 1)
            buffer[0] = 0;
        return -2;
    }
    if (!std::fgets(buffer, size, file_)) {
        buffer[0] = 0;
        return -2;
    }
    size_t len = std::strlen(buffer);
    for (char end : {'\n', '\r', '\n'})
        if (len > 0 && buffer[len - 1] == end)
            buffer[--len] = 0;
    return static_cast<int>(len);
}

// ---------------------------------------------------------------------------
// Disk_c: folders and paths

bool Disk_c::createDir(const Path_c& path)
{
    if (path.empty())
        return false;
    const Path_c target = resolve(path);
    const char* name = sysName(target);
    return name && ::mkdir(name, FolderMode) == 0;
}

void Disk_c::setCurDir(Path_c& path)
{
    if (path.empty())
        return;
    curDir_ = path.getString()[0] == '/' ? path : Tool::Disk::joinSystem(getCurDir(), path);
}

Path_c Disk_c::getCurDir() const
{
    if (!curDir_.empty())
        return curDir_;
    std::vector<char> buffer(1024);
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()))
            return Path_c::fromSystem(Vdx::String_c(buffer.data()));
        if (errno != ERANGE || buffer.size() > (1u << 20))
            return Path_c::EmptyPath;
        buffer.resize(buffer.size() * 2);
    }
}

Path_c Disk_c::getPrefDir() const
{
    const Vdx::String_c folder(OsLib_c::getConfigHome());
    if (folder.empty())
        return Path_c::EmptyPath;
    return Path_c::fromSystem(withoutTrailingSlash(folder));
}

Path_c Disk_c::getPlugDir(Synth*)
{
    const Vdx::String_c base(OsLib_c::getDataHome());
    if (base.empty())
        return Path_c::EmptyPath;
    const Path_c folder = Tool::Disk::joinSystem(Path_c::fromSystem(withoutTrailingSlash(base)),
                                                 Path_c::fromSystem("Vendrax"));
    if (Tool::Disk::isDirectory(folder))
        return folder;
    // A fresh home may lack the local data folder itself: make the whole tree.
    if (!Tool::Disk::createDirTree(folder)) {
        std::fputs("Warning: could not create Vendrax folder in Application Support!\n", stderr);
        return Path_c::EmptyPath;
    }
    return folder;
}

void Disk_c::MakeFullPath(const Path_c& folder, Path_c& path) const
{
    if (!folder.empty() && !path.empty() && !path.isPath())
        path = folder / path;
}

Path_c Disk_c::newFileName(const Path_c& source, const Path_c& folder, const Vdx::String_c& ext) const
{
    if (source.empty() || folder.empty())
        return Path_c::EmptyPath;
    Path_c name = folder / source.getLeaf().getExtStripped();
    if (!ext.empty())
        name.changeExtension(ext);
    return name;
}

namespace {

// True when both regular files can be read and hold the same bytes.
bool sameBytes(const Path_c& a, const Path_c& b)
{
    const int fa = Tool::Disk::openRegularForReading(a);
    if (fa < 0)
        return false;
    const int fb = Tool::Disk::openRegularForReading(b);
    if (fb < 0) {
        ::close(fa);
        return false;
    }
    bool same = true;
    unsigned char ba[4096];
    unsigned char bb[4096];
    for (;;) {
        const ssize_t na = readFull(fa, ba, sizeof ba);
        const ssize_t nb = readFull(fb, bb, sizeof bb);
        if (na < 0 || na != nb || std::memcmp(ba, bb, static_cast<size_t>(na)) != 0) {
            same = false;
            break;
        }
        if (na == 0)
            break;
    }
    ::close(fa);
    ::close(fb);
    return same;
}

} // namespace

Path_c Disk_c::replacedBy(const Path_c& source, const Path_c& folder) const
{
    if (source.empty() || folder.empty())
        return Path_c::EmptyPath;
    const Path_c target = folder / source.getLeaf();
    if (target.isIdenticalPath(source) || Tool::Disk::exists(target) != 1 || sameBytes(source, target))
        return Path_c::EmptyPath;
    return target;
}

Path_c Disk_c::copyFileTo(const Path_c& source, const Path_c& folder, const ReplaceAnswers_t& mayReplace)
{
    if (source.empty() || folder.empty())
        return Path_c::EmptyPath;
    const Path_c target = folder / source.getLeaf();
    if (target.isIdenticalPath(source))
        return target;
    if (!Tool::Disk::isFile(source) || !sysName(target))
        return Path_c::EmptyPath;
    if (Tool::Disk::exists(target) == 1) {
        if (sameBytes(source, target))
            return target;
        if (!mayReplace || !mayReplace(target))
            return Path_c::EmptyPath;
    }

    // The copy goes to a new file beside the target and replaces the target
    // only once it is complete, so a failed copy leaves the old file as it
    // was.
    const int in = Tool::Disk::openRegularForReading(source);
    if (in < 0)
        return Path_c::EmptyPath;
    const Vdx::String_c& t = target.getString();
    const size_t slash = t.rfind('/'); // npos + 1 == 0: a bare name
    const Vdx::String_c tempPrefix = t.substr(0, slash + 1) + "." + t.substr(slash + 1) + ".";
    Vdx::String_c tempName;
    const int out = createUniqueFile(tempPrefix, tempName);
    if (out < 0) {
        ::close(in);
        return Path_c::EmptyPath;
    }
    const bool copied = copyBytes(in, out);
    ::close(in);
    const bool closed = closeChecked(out);
    if (!copied || !closed || ::rename(tempName.c_str(), target.c_str()) != 0) {
        ::unlink(tempName.c_str());
        return Path_c::EmptyPath;
    }
    return target;
}

int Disk_c::writeTemp(const char* data, int n, Path_c& name)
{
    if (n < 0 || (!data && n > 0) || name.empty())
        return -1;
    const char* tmp = std::getenv("TMPDIR");
    const Path_c folder = Path_c::fromSystem(tmp && *tmp ? tmp : "/tmp/");
    const Vdx::String_c ext = name.getExt();
    const int suffix = ext.empty() ? 0 : static_cast<int>(ext.size()) + 1;
    Vdx::String_c path = Tool::Disk::joinSystem(folder, name).getString();
    if (path.find('\0') != Vdx::String_c::npos)
        return -1;
    const int fd = ::mkstemps(path.data(), suffix);
    if (fd < 0)
        return -1;
    name = Path_c::fromSystem(path);
    const bool written = writeAll(fd, data, static_cast<size_t>(n));
    if (!closeChecked(fd) || !written)
        return -1;
    return n;
}

// ---------------------------------------------------------------------------
// Disk_c: browsing

bool Disk_c::getFirstFile(Path_c& folder, Path_c& out, const Extension_c& patterns, int max)
{
    if (folder.empty())
        return false;
    out = Path_c::EmptyPath;
    FileList_c list;
    list.create("empty", patterns, max, false);
    list.refreshFromDir(folder, false);
    if (list.getCount() == 0)
        return false;
    out = list.getFilename(0, true);
    return true;
}

bool Disk_c::getFirstKit(Path_c& folder, Path_c& out, int max)
{
    return getFirstFile(folder, out, Extension_c(KitFileTypes), max);
}

bool Disk_c::getFirstPreset(Path_c& folder, Path_c& out, int max)
{
    return getFirstFile(folder, out, Extension_c("fxp"), max);
}

bool Disk_c::getNextFile(bool forward, const Path_c& current, Path_c& out, const Extension_c& patterns, int max)
{
    if (current.empty())
        return false;
    FileList_c list;
    list.create("empty", patterns, max, false);
    const int index = list.refresh(current, false);
    out = Path_c::EmptyPath;
    const int next = forward ? index + 1 : index - 1;
    if (index >= 0 && next >= 0 && next < static_cast<int>(list.getCount()))
        out = list.getFilename(static_cast<unsigned>(next), true);
    return list.getCount() > 0;
}

bool Disk_c::ExtensionMatches(const Extension_c& patterns, const Path_c& name)
{
    if (name.empty())
        return false;
    if (patterns.getCount() == 0)
        return true;
    const Vdx::String_c ext = name.getExt();
    for (unsigned i = 0; i < patterns.getCount(); ++i)
        if (ext.compare(patterns.getExt(i), false) == 0)
            return true;
    return false;
}

void Disk_c::fillFileList(FileList_c* list, Path_c& folder, bool dirs, const Extension_c& patterns, int max)
{
    if (!list || folder.empty() || max <= 0)
        return;
    const Path_c target = resolve(folder);
    const char* name = sysName(target);
    DIR* dir = name ? ::opendir(name) : nullptr;
    if (!dir)
        return;
    int added = 0;
    while (added < max) {
        const dirent* entry = ::readdir(dir);
        if (!entry)
            break;
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st;
            if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        // The name exactly as stored: cleaning it would name another file.
        Path_c leaf = Path_c::fromSystem(Vdx::String_c(entry->d_name));
        bool wanted;
        if (dirs)
            wanted = type == DT_DIR && !leaf.empty() && leaf.getString()[0] != '.';
        else
            wanted = type == DT_REG && ExtensionMatches(patterns, leaf);
        if (!wanted)
            continue;
        const unsigned before = list->getCount();
        list->addItem(leaf);
        if (list->getCount() > before)
            ++added;
    }
    ::closedir(dir);
}
