#include "Sandbox.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace Bank {

Sandbox::Sandbox(const std::string& folder)
{
    std::error_code ec;
    const fs::path root = fs::absolute(folder, ec);
    fs::remove_all(root, ec);
    config_ = (root / "config").string();
    data_ = (root / "data").string();
    fs::create_directories(config_, ec);
    fs::create_directories(data_, ec);
    if (!fs::is_directory(config_) || !fs::is_directory(data_)) {
        error_ = "cannot make the folders in " + root.string();
        return;
    }
    ::setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
    ::setenv("XDG_DATA_HOME", data_.c_str(), 1);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ok_ = true;
}

std::string Sandbox::startupFolder() const
{
    return (fs::path(data_) / VendorDataFolder / BankRootName / StartupBankName).string();
}

bool copyBankFiles(const std::string& from, const std::string& to, std::string& error)
{
    std::error_code ec;
    fs::create_directories(to, ec);
    if (!fs::is_directory(to))
        return error = "cannot make " + to, false;
    for (const auto& item : fs::directory_iterator(from, ec)) {
        if (!item.is_regular_file())
            continue;
        fs::copy_file(item.path(), fs::path(to) / item.path().filename(), fs::copy_options::overwrite_existing, ec);
        if (ec)
            return error = "cannot copy " + item.path().string() + ": " + ec.message(), false;
    }
    if (ec)
        return error = "cannot list " + from + ": " + ec.message(), false;
    return true;
}

ErrorCapture::ErrorCapture()
{
    std::fflush(stderr);
    std::FILE* f = std::tmpfile();
    if (!f)
        return;
    file_ = ::dup(::fileno(f));
    std::fclose(f);
    saved_ = ::dup(2);
    if (file_ < 0 || saved_ < 0 || ::dup2(file_, 2) < 0) {
        if (saved_ >= 0)
            ::close(saved_);
        saved_ = -1;
    }
}

ErrorCapture::~ErrorCapture()
{
    end();
    if (file_ >= 0)
        ::close(file_);
}

void ErrorCapture::end()
{
    if (saved_ < 0)
        return;
    taken_ = text();
    std::fflush(stderr);
    ::dup2(saved_, 2);
    ::close(saved_);
    saved_ = -1;
}

std::string ErrorCapture::text()
{
    if (saved_ < 0 || file_ < 0)
        return taken_;
    std::fflush(stderr);
    std::string out;
    char buffer[4096];
    off_t at = 0;
    for (;;) {
        const ssize_t n = ::pread(file_, buffer, sizeof buffer, at);
        if (n <= 0)
            break;
        out.append(buffer, static_cast<size_t>(n));
        at += n;
    }
    return out;
}

} // namespace Bank
