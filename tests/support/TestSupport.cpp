#include "TestSupport.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace TestSupport {

TempDir::TempDir()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tessel-test-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed for " + pattern);
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::file(const std::string& name) const
{
    return path_ + "/" + name;
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name)
{
    if (const char* old = std::getenv(name)) {
        old_ = old;
        hadOld_ = true;
    }
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

ScopedEnv::~ScopedEnv()
{
    if (hadOld_)
        setenv(name_.c_str(), old_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

bool makeFifo(const std::string& path)
{
    return ::mkfifo(path.c_str(), 0600) == 0;
}

bool returnsWithoutWaitingOn(const std::string& fifo, const std::function<void()>& work, double seconds)
{
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    std::thread runner([&] {
        work();
        done.set_value();
    });
    const bool inTime = finished.wait_for(std::chrono::duration<double>(seconds)) == std::future_status::ready;
    // A reader stuck in its open gets a writer (which closes at once, so its
    // reads end); repeated until the work is over.
    while (finished.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
    }
    runner.join();
    return inTime;
}

} // namespace TestSupport
