// The surroundings a bank tool gives the plug-in: its own settings and data
// folders (so the user's preferences, default preset and banks are neither
// read nor changed), no display (messages go to the standard error, never
// to a panel waiting for a click), and a way to hear what the plug-in told
// the user.
#pragma once

#include <string>

namespace Bank {

// Where a data folder keeps the start-up programs, below the data folder the
// instrument uses ($XDG_DATA_HOME/Vendrax, or the preference's folder).
constexpr const char* BankRootName = "Tessel 3 Banks";
constexpr const char* StartupBankName = "Ambient Sounds";
constexpr const char* VendorDataFolder = "Vendrax";

class Sandbox
{
public:
    // Points XDG_CONFIG_HOME and XDG_DATA_HOME at fresh folders inside
    // `folder` (emptied first) and removes DISPLAY and WAYLAND_DISPLAY from
    // the process's environment. The plug-in reads these when it needs them,
    // so a sandbox made before a plug-in opens is the one it sees.
    explicit Sandbox(const std::string& folder);

    // The folder the plug-in loads its start-up programs from.
    std::string startupFolder() const;
    std::string configFolder() const { return config_; }
    std::string dataFolder() const { return data_; }
    bool ok() const { return ok_; }
    const std::string& error() const { return error_; }

private:
    std::string config_, data_;
    bool ok_ = false;
    std::string error_;
};

// Copies the preset and sample files of one folder into another (created
// when missing). False with a reason.
bool copyBankFiles(const std::string& from, const std::string& to, std::string& error);

// Catches what is written to the standard error (file descriptor 2) while it
// lives, where the plug-in's messages go when no panel can be shown.
class ErrorCapture
{
public:
    ErrorCapture();
    ~ErrorCapture();
    ErrorCapture(const ErrorCapture&) = delete;
    ErrorCapture& operator=(const ErrorCapture&) = delete;
    // Everything written so far (also after the capture ended).
    std::string text();
    // Restores the standard error; text() still answers.
    void end();

private:
    int saved_ = -1;
    int file_ = -1;
    std::string taken_;
};

} // namespace Bank
