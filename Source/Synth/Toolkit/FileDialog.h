// FileDialog_c: the modal open, save and folder dialog. Configured with a
// title, a mode, file patterns ("*.fxp") and a preference key; run() shows
// the dialog and answers the chosen path. The folder of the last choice is
// remembered under the key, so each kind of file opens where the user was.
//
// The dialog is zenity's file selection, run without a shell, when a display
// is there; without one (a headless host, a test) the message goes to the
// standard error stream and the answer is that of a cancelled dialog.
//
// Threads: the user-interface thread only; run() blocks until the dialog
// closes. Whoever must not wait for the user (a host call, a holder of an
// engine lock) takes a snapshot() instead and hands it to the panel thread
// (PanelQueue_c::choose), which shows it.
#pragma once

#include "Path.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

class Synth;

class FileDialog_c
{
public:
    enum Mode_t { ModeOpen = 0, ModeSave = 1, ModeFolder = 2 };

    // Title "File Dialog", filter text "Any File", mode open, patterns "*.*",
    // key "FileDialog", no folder.
    explicit FileDialog_c(Synth* synth);
    // Stores a remembered folder once more under the key.
    virtual ~FileDialog_c();
    FileDialog_c(const FileDialog_c&) = delete;
    FileDialog_c& operator=(const FileDialog_c&) = delete;

    // The chosen path (cleaned), or the empty path when the user cancelled,
    // no dialog could be shown, the mode is unknown, or the dialog has no
    // owner or no patterns. A save dialog only chooses: it never creates or
    // truncates the file; the caller writes it.
    virtual Tool::Disk::Path_c run();
    // The dialog as it is set up now, to be shown later on another thread:
    // a function that does what run() does with copies of the title, mode,
    // patterns, key and owner, so it does not depend on this object's life
    // (the chosen folder is remembered under the key as run() remembers
    // it). While the dialog program runs, *running (when not null) holds
    // its process id, so that another thread may close it.
    using Show_t = std::function<Tool::Disk::Path_c(std::atomic<int>* running)>;
    Show_t snapshot() const;
    // Takes a copy of key as the preference key; a null key changes nothing.
    virtual void setRegKey(const char* key);
    virtual void setExtensions(const char* patterns);
    virtual void setExtensions(const Tool::Disk::Extension_c& patterns);

    // Plain settings that callers make before run(). The texts are not
    // owned and must outlive the dialog's use. The filter text describes the
    // patterns for callers; the dialog does not show it.
    const char* title = "File Dialog";
    const char* filterText = "Any File";
    int mode = ModeOpen;

    const char* getRegKey() const { return key_.c_str(); }
    const Tool::Disk::Path_c& getFolder() const { return folder_; }
    const Tool::Disk::Extension_c& getExtensions() const { return patterns_; }

    // The allowed file types: of each pattern of at least three characters,
    // the text from its third on ("*.fxp" gives "fxp", "*.*" gives "*").
    static std::vector<std::string> allowedTypes(const Tool::Disk::Extension_c& patterns);
    // The dialog's command line, program first: zenity --file-selection
    // [--save --confirm-overwrite] [--directory] --no-markup, the title, the
    // start (the folder, or in a save dialog the name "Untitled" in it) and,
    // unless "*" is allowed, a file filter that matches the types in any
    // case (fxp: "*.[fF][xX][pP]").
    static std::vector<std::string> dialogArguments(int mode, const char* title, const Tool::Disk::Path_c& folder,
                                                    const std::vector<std::string>& types);

    // What a dialog answered: chosen false for a cancel; the path as given.
    struct PanelAnswer
    {
        bool chosen = false;
        std::string path;
    };
    // Test seam: when set, every dialog goes to the runner with its command
    // line instead of zenity. An empty function restores the real dialog.
    using PanelRunner = std::function<PanelAnswer(const std::vector<std::string>& arguments)>;
    static void setPanelRunner(PanelRunner runner);

private:
    Synth* synth_;
    Tool::Disk::Extension_c patterns_{"*.*"};
    std::string key_{"FileDialog"};
    Tool::Disk::Path_c folder_;
};
