#include "FileDialog.h"

#include "OsLib.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using Tool::Disk::Path_c;

namespace {

std::mutex runnerMutex;
FileDialog_c::PanelRunner panelRunner;

// Titles reach the dialog as UTF-8; a title in another encoding is taken as
// ISO Latin-1, as the message panels take it.
std::string utf8Text(const char* text)
{
    const Vdx::String_c s(text ? text : "");
    return s.isUTF8Compliant() ? s : s.latin1ToUtf8();
}

// A glob that matches the text in any case: "fxp" gives "[fF][xX][pP]".
std::string anyCase(const std::string& text)
{
    std::string glob;
    for (char c : text) {
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower >= 'a' && lower <= 'z') {
            glob += '[';
            glob += lower;
            glob += static_cast<char>(lower - 'a' + 'A');
            glob += ']';
        } else {
            glob += c;
        }
    }
    return glob;
}

// Runs the dialog program without a shell and reads the chosen path from
// its output. chosen is set for exit status 0; ok is false when the program
// could not be run or failed (status other than 0 and 1).
FileDialog_c::PanelAnswer runZenity(const std::vector<std::string>& arguments, bool& ok, std::atomic<int>* running)
{
    ok = false;
    FileDialog_c::PanelAnswer answer;
    std::vector<char*> argv;
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return answer;
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return answer;
    }
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        return answer;
    }
    if (running)
        running->store(static_cast<int>(pid));
    char buffer[4096];
    for (;;) {
        const ssize_t r = ::read(out[0], buffer, sizeof(buffer));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        answer.path.append(buffer, static_cast<size_t>(r));
    }
    ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            break;
    }
    if (running)
        running->store(0);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ok = code == 0 || code == 1;
    answer.chosen = code == 0;
    if (!answer.path.empty() && answer.path.back() == '\n')
        answer.path.pop_back();
    return answer;
}

bool displayAvailable()
{
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

FileDialog_c::PanelAnswer showDialog(const std::vector<std::string>& arguments, const char* title,
                                     std::atomic<int>* running)
{
    FileDialog_c::PanelRunner runner;
    {
        std::lock_guard<std::mutex> lock(runnerMutex);
        runner = panelRunner;
    }
    if (runner)
        return runner(arguments);
    if (displayAvailable()) {
        bool ok = false;
        FileDialog_c::PanelAnswer answer = runZenity(arguments, ok, running);
        if (ok)
            return answer;
    }
    std::fprintf(stderr, "[Vendrax] No file dialog could be shown (%s): nothing chosen\n", title ? title : "");
    std::fflush(stderr);
    return FileDialog_c::PanelAnswer();
}

// A save dialog offers the allowed types: a name typed without one of them
// gets the first, as a save panel with allowed file types gives it.
Vdx::String_c withAllowedType(const Vdx::String_c& chosen, const std::vector<std::string>& types)
{
    if (types.empty())
        return chosen;
    const Vdx::String_c ext = Path_c::fromSystem(chosen).getExt();
    for (const std::string& type : types)
        if (type == "*" || ext.compare(Vdx::String_c(type), false) == 0)
            return chosen;
    return chosen + "." + types.front().c_str();
}

// What a dialog shows, copied out of the dialog object.
struct Settings_t
{
    Tool::Disk::Extension_c patterns;
    std::string key;
    std::string title;
    int mode = FileDialog_c::ModeOpen;
};

// Shows the dialog at the folder remembered under the key (read into
// folder) and remembers the chosen file's folder under it.
Path_c choosePath(const Settings_t& settings, std::atomic<int>* running, Path_c& folder)
{
    const int mode = settings.mode;
    if (settings.patterns.getCount() == 0)
        return Path_c::EmptyPath;
    OsLib_c::recallPath(Vdx::String_c(settings.key), folder);
    const std::vector<std::string> types = FileDialog_c::allowedTypes(settings.patterns);
    if (mode != FileDialog_c::ModeOpen && mode != FileDialog_c::ModeSave && mode != FileDialog_c::ModeFolder)
        return Path_c::EmptyPath;

    const std::vector<std::string> noTypes;
    const char* title = settings.title.c_str();
    const FileDialog_c::PanelAnswer answer = showDialog(
        FileDialog_c::dialogArguments(mode, title, folder, mode == FileDialog_c::ModeFolder ? noTypes : types),
        title, running);
    if (!answer.chosen || answer.path.empty())
        return Path_c::EmptyPath;

    Vdx::String_c chosen(answer.path);
    if (mode == FileDialog_c::ModeSave)
        chosen = withAllowedType(chosen, types);
    // The panel answers with a real file-system name; cleaning it would turn
    // a legal name holding ':' or '?' into a file that does not exist.
    const Path_c result = Path_c::fromSystem(chosen);
    const Path_c parent = result.getParent();
    if (!parent.empty()) {
        folder = parent;
        OsLib_c::remindStringCore(Vdx::String_c(settings.key), folder.getString());
    }
    return result;
}

} // namespace

FileDialog_c::FileDialog_c(Synth* synth) : synth_(synth) {}

FileDialog_c::~FileDialog_c()
{
    if (!folder_.empty())
        OsLib_c::remindStringCore(Vdx::String_c(key_), folder_.getString());
}

void FileDialog_c::setRegKey(const char* key)
{
    if (key)
        key_ = key;
}

void FileDialog_c::setExtensions(const char* patterns)
{
    patterns_.setExtensions(patterns);
}

void FileDialog_c::setExtensions(const Tool::Disk::Extension_c& patterns)
{
    patterns_ = patterns;
}

void FileDialog_c::setPanelRunner(PanelRunner runner)
{
    std::lock_guard<std::mutex> lock(runnerMutex);
    panelRunner = std::move(runner);
}

std::vector<std::string> FileDialog_c::allowedTypes(const Tool::Disk::Extension_c& patterns)
{
    std::vector<std::string> types;
    for (unsigned i = 0; i < patterns.getCount(); ++i) {
        const Vdx::String_c& p = patterns.getExt(i);
        if (p.size() >= 3)
            types.push_back(p.substr(2));
    }
    return types;
}

std::vector<std::string> FileDialog_c::dialogArguments(int mode, const char* title, const Path_c& folder,
                                                       const std::vector<std::string>& types)
{
    std::vector<std::string> args = {"zenity", "--file-selection"};
    if (mode == ModeSave) {
        args.push_back("--save");
        args.push_back("--confirm-overwrite");
    }
    if (mode == ModeFolder)
        args.push_back("--directory");
    args.push_back("--no-markup");
    args.push_back("--title=" + utf8Text(title));

    std::string start = folder.getString();
    if (!start.empty() && start.back() != '/')
        start += '/';
    if (mode == ModeSave)
        start += "Untitled";
    if (!start.empty())
        args.push_back("--filename=" + start);

    if (mode != ModeFolder && !types.empty()) {
        std::string filter;
        std::vector<std::string> seen;
        for (const std::string& type : types) {
            if (type == "*")
                return args; // every file is allowed: no filter
            const std::string glob = "*." + anyCase(type);
            if (std::find(seen.begin(), seen.end(), glob) != seen.end())
                continue;
            seen.push_back(glob);
            filter += (filter.empty() ? "" : " ") + glob;
        }
        args.push_back("--file-filter=" + filter);
    }
    return args;
}

Path_c FileDialog_c::run()
{
    if (!synth_)
        return Path_c::EmptyPath;
    return choosePath(Settings_t{patterns_, key_, title ? title : "", mode}, nullptr, folder_);
}

FileDialog_c::Show_t FileDialog_c::snapshot() const
{
    if (!synth_)
        return [](std::atomic<int>*) { return Path_c::EmptyPath; };
    return [settings = Settings_t{patterns_, key_, title ? title : "", mode}](std::atomic<int>* running) {
        Path_c folder;
        return choosePath(settings, running, folder);
    };
}
