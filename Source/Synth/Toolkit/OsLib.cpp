#include "OsLib.h"

#include "Path.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace {

// ---------------------------------------------------------------------------
// The preferences file.
//
// One entry a line: a kind letter ('n' number, 's' text), a space, the key,
// '=', the value, '\n'. Key and value bytes outside printable ASCII, and
// '%' and '=', are written as %XX, so any byte (newline, '=', NUL) survives
// and a line never holds a bare separator. Lines starting with '#' are
// comments. Only complete lines count: a file cut short loses its last,
// partial entry instead of handing back a shortened value.

constexpr char KindNumber = 'n';
constexpr char KindText = 's';
constexpr const char* VendorFolder = "Vendrax";
constexpr const char* FileHeader =
    "# Tessel3 preferences. One entry a line: kind (n number, s text), key=value;\n"
    "# bytes outside printable ASCII, '%' and '=' are written as %XX.\n";

struct Entry
{
    char kind = KindText;
    std::string value;
};
using Store = std::map<std::string, Entry>;

// Serialises stores within the process; the file lock does it between
// processes (and would alone, but this keeps threads from queueing on flock).
std::mutex writeMutex;

const char HexDigits[] = "0123456789ABCDEF";

std::string escape(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char b : bytes) {
        if (b <= 0x20 || b >= 0x7F || b == '%' || b == '=') {
            out += '%';
            out += HexDigits[b >> 4];
            out += HexDigits[b & 0x0F];
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool unescape(const char* p, size_t n, std::string& out)
{
    out.clear();
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        if (p[i] != '%') {
            out += p[i];
            continue;
        }
        if (i + 2 >= n)
            return false; // a cut escape
        const int hi = hexValue(p[i + 1]);
        const int lo = hexValue(p[i + 2]);
        if (hi < 0 || lo < 0)
            return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

Store parse(const std::string& bytes)
{
    Store store;
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            break; // an incomplete last line
        const char* line = bytes.data() + start;
        const size_t length = end - start;
        start = end + 1;
        if (length < 3 || line[0] == '#' || line[1] != ' ')
            continue;
        const char kind = line[0];
        if (kind != KindNumber && kind != KindText)
            continue;
        const char* body = line + 2;
        const size_t bodyLength = length - 2;
        const char* eq = static_cast<const char*>(std::memchr(body, '=', bodyLength));
        if (!eq)
            continue;
        std::string key, value;
        const size_t keyLength = static_cast<size_t>(eq - body);
        if (!unescape(body, keyLength, key) || key.empty() ||
            !unescape(eq + 1, bodyLength - keyLength - 1, value))
            continue;
        store[key] = Entry{kind, value};
    }
    return store;
}

std::string serialise(const Store& store)
{
    std::string out = FileHeader;
    for (const auto& [key, entry] : store) {
        out += entry.kind;
        out += ' ';
        out += escape(key);
        out += '=';
        out += escape(entry.value);
        out += '\n';
    }
    return out;
}

// Reads a whole regular file. A missing file reads as empty (true, present
// false); any other failure answers false.
bool readWhole(const std::string& path, std::string& out, bool& present)
{
    out.clear();
    present = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        out.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    present = true;
    return true;
}

bool writeAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// mkdir -p; true when the folder exists afterwards.
bool makeFolders(const std::string& path, mode_t mode)
{
    if (path.empty())
        return false;
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (!part.empty() && ::mkdir(part.c_str(), mode) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
    }
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string folderOf(const std::string& file)
{
    const size_t slash = file.rfind('/');
    return slash == std::string::npos ? std::string() : file.substr(0, slash);
}

// Replaces the file by one with the entry changed, under the lock, having
// read the file's current state first so keys written meanwhile by another
// instance or process are kept.
bool storeEntry(const std::string& key, char kind, const std::string& value)
{
    const std::string file = OsLib_c::getPreferencesFile();
    if (file.empty() || !makeFolders(folderOf(file), 0775))
        return false;

    std::lock_guard<std::mutex> guard(writeMutex);
    const int lockFd = ::open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd < 0)
        return false;
    while (::flock(lockFd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(lockFd);
            return false;
        }
    }

    bool ok = false;
    std::string current;
    bool present = false;
    // A file that exists but cannot be read is not overwritten: that would
    // lose every other key in it.
    if (readWhole(file, current, present)) {
        Store store = parse(current);
        store[key] = Entry{kind, value};
        const std::string bytes = serialise(store);

        std::string temp = file + ".XXXXXX";
        const int fd = ::mkstemp(temp.data());
        if (fd >= 0) {
            const bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
            const bool closed = ::close(fd) == 0;
            ok = written && closed && ::rename(temp.c_str(), file.c_str()) == 0;
            if (!ok)
                ::unlink(temp.c_str());
        }
    }
    ::close(lockFd); // releases the lock
    return ok;
}

bool lookupEntry(const std::string& key, Entry& entry)
{
    const std::string file = OsLib_c::getPreferencesFile();
    if (file.empty())
        return false;
    std::string bytes;
    bool present = false;
    if (!readWhole(file, bytes, present) || !present)
        return false;
    const Store store = parse(bytes);
    const auto it = store.find(key);
    if (it == store.end())
        return false;
    entry = it->second;
    return true;
}

std::string homeFolder()
{
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return home;
    struct passwd pw;
    struct passwd* result = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &pw, buffer, sizeof buffer, &result) == 0 && result && result->pw_dir &&
        result->pw_dir[0] == '/')
        return result->pw_dir;
    return std::string();
}

// An XDG base folder: the variable when it holds an absolute path (relative
// ones are to be ignored), else the fallback under the home folder.
std::string xdgFolder(const char* variable, const char* fallback)
{
    const char* value = std::getenv(variable);
    if (value && value[0] == '/')
        return value;
    const std::string home = homeFolder();
    if (home.empty())
        return std::string();
    return home + fallback;
}

// ---------------------------------------------------------------------------
// Panels.

std::mutex hookMutex;
OsLib_c::PanelHook panelHook;

// Strict UTF-8: no stray continuation bytes, no overlong forms, no
// surrogates, nothing above U+10FFFF.
bool isStrictUtf8(const unsigned char* s)
{
    while (*s) {
        const unsigned char c = *s;
        int extra;
        unsigned cp;
        if (c < 0x80) {
            ++s;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        for (int i = 1; i <= extra; ++i) {
            if ((s[i] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (s[i] & 0x3F);
        }
        static const unsigned minimum[4] = {0, 0x80, 0x800, 0x10000};
        if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        s += extra + 1;
    }
    return true;
}

// The text as UTF-8; a text that is not valid UTF-8 is read as ISO Latin-1.
std::string panelText(const char* text)
{
    if (!text)
        return std::string();
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    if (isStrictUtf8(bytes))
        return text;
    std::string out;
    for (; *bytes; ++bytes) {
        if (*bytes < 0x80) {
            out += static_cast<char>(*bytes);
        } else {
            out += static_cast<char>(0xC0 | (*bytes >> 6));
            out += static_cast<char>(0x80 | (*bytes & 0x3F));
        }
    }
    return out;
}

bool displayAvailable()
{
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

// The full path of an executable program on PATH, or empty.
std::string findOnPath(const char* program)
{
    const char* path = std::getenv("PATH");
    if (!path || !*path)
        return std::string();
    const std::string all(path);
    size_t start = 0;
    for (;;) {
        const size_t colon = all.find(':', start);
        std::string folder = all.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        if (folder.empty())
            folder = ".";
        const std::string candidate = folder + "/" + program;
        struct stat st;
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (colon == std::string::npos)
            return std::string();
        start = colon + 1;
    }
}

// Runs the panel program without a shell and waits for it. The exit status,
// or -1 when it could not be run. While it runs, *running (when given) holds
// its process id, so another thread can close the panel.
int runPanel(const std::string& program, const std::vector<std::string>& arguments, std::atomic<int>* running)
{
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return -1;
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    if (running)
        running->store(static_cast<int>(pid));
    int status = 0;
    int waited;
    while ((waited = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
    if (running)
        running->store(0);
    if (waited < 0)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

// ---------------------------------------------------------------------------
// Folders.

std::string OsLib_c::getConfigHome()
{
    return xdgFolder("XDG_CONFIG_HOME", "/.config");
}

std::string OsLib_c::getDataHome()
{
    return xdgFolder("XDG_DATA_HOME", "/.local/share");
}

std::string OsLib_c::getPreferencesFile()
{
    const std::string config = getConfigHome();
    if (config.empty())
        return std::string();
    return config + "/" + VendorFolder + "/" + BundleIdentifier + ".prefs";
}

// ---------------------------------------------------------------------------
// Preferences.

bool OsLib_c::remindLong(Vdx::String_c const& key, int value)
{
    if (key.empty())
        return false;
    char text[16];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return storeEntry(key, KindNumber, std::string(text, result.ptr));
}

bool OsLib_c::recallLong(Vdx::String_c const& key, int* value)
{
    if (key.empty() || !value)
        return false;
    Entry entry;
    if (!lookupEntry(key, entry) || entry.kind != KindNumber)
        return false;
    // Read wide first, so a number outside the 32-bit range is refused
    // instead of being cut or written past the output.
    long long wide = 0;
    const char* first = entry.value.data();
    const char* last = first + entry.value.size();
    const auto result = std::from_chars(first, last, wide);
    if (result.ec != std::errc() || result.ptr != last || wide < INT_MIN || wide > INT_MAX)
        return false;
    *value = static_cast<int>(wide);
    return true;
}

bool OsLib_c::remindStringCore(Vdx::String_c const& key, Vdx::String_c const& value)
{
    if (key.empty() || value.empty())
        return false;
    return storeEntry(key, KindText, value);
}

bool OsLib_c::recallStringCore(Vdx::String_c const& key, Vdx::String_c* value)
{
    if (!value)
        return false;
    value->clear();
    if (key.empty())
        return false;
    Entry entry;
    if (!lookupEntry(key, entry) || entry.kind != KindText)
        return false;
    value->assign(entry.value);
    return true;
}

bool OsLib_c::remindChunk(Vdx::String_c const& key, void const* data, int n)
{
    if (n <= 0 || !data)
        return false;
    Vdx::String_c text;
    try {
        text.resize(static_cast<size_t>(n) * 2);
    } catch (...) {
        return false;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (int i = 0; i < n; ++i) {
        text[2 * static_cast<size_t>(i)] = HexDigits[bytes[i] >> 4];
        text[2 * static_cast<size_t>(i) + 1] = HexDigits[bytes[i] & 0x0F];
    }
    return remindStringCore(key, text);
}

bool OsLib_c::recallChunk(Vdx::String_c const& key, void** data, int* n)
{
    if (!data || !n)
        return false;
    Vdx::String_c text;
    if (!recallStringCore(key, &text))
        return false;
    const size_t length = text.size() / 2;
    if (length > static_cast<size_t>(INT_MAX) - 2) {
        *data = nullptr;
        return false;
    }
    auto* block = static_cast<unsigned char*>(std::malloc(length + 2));
    *data = block;
    if (!block)
        return false;
    // Only the uppercase digits count; anything else, lower-case letters
    // included, reads as 0.
    auto digit = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return 0;
    };
    for (size_t i = 0; i < length; ++i)
        block[i] = static_cast<unsigned char>(digit(text[2 * i]) * 16 + digit(text[2 * i + 1]));
    block[length] = 0;
    block[length + 1] = 0;
    *n = static_cast<int>(length);
    return true;
}

bool OsLib_c::recallPath(Vdx::String_c const& key, Tool::Disk::Path_c& path)
{
    Vdx::String_c text;
    const bool found = recallStringCore(key, &text);
    path = Tool::Disk::Path_c(text);
    return found;
}

// ---------------------------------------------------------------------------
// Time.

int64_t OsLib_c::getMilliseconds()
{
    struct timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void OsLib_c::xSleep(int ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int OsLib_c::getDoubleClickTreshold()
{
    // Linux desktops keep no interval where every host could read it; 400 ms
    // is what their toolkits use when nobody changed it.
    constexpr int Absent = 400;
    Entry entry;
    if (!lookupEntry(DoubleClickKey, entry))
        return Absent;
    double seconds = 0;
    const char* first = entry.value.data();
    const char* last = first + entry.value.size();
    const auto result = std::from_chars(first, last, seconds);
    if (result.ec != std::errc() || result.ptr != last)
        return Absent;
    const double ms = seconds * 1000.0;
    // A value that no interval can be (negative, absurdly long, not a number)
    // counts as absent.
    if (!(ms >= 0.0 && ms <= static_cast<double>(INT_MAX)))
        return Absent;
    return static_cast<int>(ms);
}

// ---------------------------------------------------------------------------
// Panels.

std::vector<std::string> OsLib_c::panelArguments(char const* title, char const* message, bool ask)
{
    std::vector<std::string> args = {"zenity", ask ? "--question" : "--info", "--no-markup",
                                     "--title=" + panelText(title), "--text=" + panelText(message)};
    if (ask) {
        args.push_back("--ok-label=Yes");
        args.push_back("--cancel-label=No");
    } else {
        args.push_back("--ok-label=OK");
    }
    return args;
}

void OsLib_c::setPanelHook(PanelHook hook)
{
    std::lock_guard<std::mutex> lock(hookMutex);
    panelHook = std::move(hook);
}

bool OsLib_c::ErrorAlert(char const* title, char const* message, bool ask)
{
    return showPanel(title, message, ask, nullptr);
}

bool OsLib_c::showPanel(char const* title, char const* message, bool ask, std::atomic<int>* running)
{
    PanelHook hook;
    {
        std::lock_guard<std::mutex> lock(hookMutex);
        hook = panelHook;
    }
    if (hook)
        return hook(panelText(title), panelText(message), ask);

    if (displayAvailable()) {
        const std::string zenity = findOnPath("zenity");
        if (!zenity.empty()) {
            const int status = runPanel(zenity, panelArguments(title, message, ask), running);
            if (status == 0 || status == 1)
                return status == 0;
            // The panel could not be shown: fall through, so the message is
            // not lost.
        }
    }
    std::fprintf(stderr, "%s: %s%s\n", title ? title : "", message ? message : "",
                 ask ? " [no panel: answered No]" : "");
    std::fflush(stderr);
    return false;
}

bool OsLib_c::askUser(char const* message, char const* title)
{
    return ErrorAlert(title, message, true);
}

bool OsLib_c::askUser(Vdx::String_c const& message, Vdx::String_c const& title)
{
    return ErrorAlert(title.c_str(), message.c_str(), true);
}

bool OsLib_c::tellUser(char const* title, char const* message)
{
    return ErrorAlert(title, message, false);
}

bool OsLib_c::tellUser(Vdx::String_c const& title, Vdx::String_c const& message)
{
    return ErrorAlert(title.c_str(), message.c_str(), false);
}
