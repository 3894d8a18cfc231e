// The controls that bring files into the editor:
// - CMenuFileList, a pop-up list of the file names of one of the engine's
//   sorted folder listings (the bank folders and program files of the
//   "main" page); the editor turns the chosen entry into the parameter's
//   value (record kind 10) and refills the list whenever it shows the
//   parameter (fill);
// - CFileDialog4Vx, a file button: a click opens the system's file dialog
//   and hands the chosen path to the parameter as text (the button is in
//   text mode, so the editor sends its user text with setParaString).
// Thread: the user-interface thread only. The click does not wait for the
// dialog: the engine's panel thread shows it, and the answer comes back
// through the editor's idle pass (SynthEditor_c's file-choice mailbox), so
// neither the host's call that brought the click nor any lock waits for the
// user.
#pragma once

#include "COptionMenu.h"
#include "CControlVx.h"
#include "FileDialog.h"

#include <string>

class FileList_c;
class Synth;

class CMenuFileList : public COptionMenu
{
public:
    // Entries per column of the open list.
    static constexpr int ItemsPerColumn = 26;
    // The longest empty-list text kept.
    static constexpr size_t MaxEmptyText = 79;
    // What a file with an empty display name is listed as.
    static constexpr const char* UnknownName = "unknown";

    // listings: with listIndex -1 the engine's per-instrument listings (one
    // per instrument, the edited instrument's is shown), else the one
    // listing to show. Without listings or engine the menu stays empty.
    CMenuFileList(const CRect& size, CControlListener* listener, int tag, CBitmap* background, FileList_c* listings,
                  int listIndex, Synth* engine, const char* emptyText);

    // Lists the listing's files anew with entry selected current and
    // checked. An empty listing gives one entry, the empty-list text; a
    // selected number past the last file leaves the menu without entries.
    virtual void fill(int selected);
    // A pick is one gesture of the host's automation; a pick in a list of
    // one entry chooses nothing and opens none.
    void choose(COptionMenu* menu, int32_t index) override;
    bool isTypeOf(const char* name) const override;

    const std::string& getEmptyText() const { return emptyText; }
    FileList_c* getListing() const;

private:
    FileList_c* listings = nullptr;
    int listIndex;
    Synth* engine = nullptr;
    std::string emptyText;
};

class CFileDialog4Vx : public CControlVx
{
public:
    // image: the released look above the pressed look, each the control's
    // size; none draws nothing over the page.
    CFileDialog4Vx(const CRect& size, CControlListenerVx* listener, int tag, Synth* engine, CBitmap* image);
    ~CFileDialog4Vx() override;
    CFileDialog4Vx(const CFileDialog4Vx&) = delete;
    CFileDialog4Vx& operator=(const CFileDialog4Vx&) = delete;

    // The dialog's settings (texts are copied).
    void setTitle(const char* title);
    void setFilterText(const char* filter);
    void setPatterns(const Tool::Disk::Extension_c& patterns) { dialog.setExtensions(patterns); }
    // The preference key under which the dialog remembers its folder.
    void setRegKey(const char* key) { dialog.setRegKey(key); }
    // FileDialog_c::ModeOpen or ModeSave.
    void setMode(int mode) { dialog.mode = mode; }
    // The command a click with Ctrl and Alt held sends to the engine instead
    // of opening the dialog; -1: none, the click opens the dialog.
    void setAlt(int command, int a, int b);

    // Shows the pressed look, then sends the alternate command (and shows
    // the released look again) or queues the dialog on the engine's panel
    // thread and returns; the button stays pressed until the answer comes
    // (choiceMade). A click while a dialog is up changes nothing. The dialog
    // needs an engine and the editor (a SynthEditor_c) as listener.
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    // The dialog's answer, from the editor's idle pass: a chosen path
    // becomes the user text and goes to the listener; a cancelled dialog
    // (the empty path) changes nothing. Shows the released look.
    void choiceMade(const Tool::Disk::Path_c& chosen);
    void draw(CDrawContext* context) override;
    bool isTypeOf(const char* name) const override;

    bool isPressed() const { return pressed; }
    const FileDialog_c& getDialog() const { return dialog; }
    int getAltCommand() const { return altCommand; }

private:
    // Draws the control now, so the look follows the click at once.
    void showNow();

    FileDialog_c dialog;
    std::string title;
    std::string filter;
    Synth* engine;
    CBitmap* image;
    int altCommand = -1;
    int altA = 0;
    int altB = 0;
    bool pressed = false;
};
