// SynthEditor_c: the base of the plug-in's editor. It opens and closes the
// window's frame with its two full-window panels, keeps the tables through
// which controls and parameters find each other (binders, per-index control
// records, exchangeable frames, dependent-frame rules, the dirty queue) and
// runs the idle pass that brings changed parameters to the screen. It is the
// listener of every control its factories make.
//
// Threads: everything runs on the host's user-interface thread, except that
// an idle pass may come from the engine's substitute timer when the host
// gives no idle. One editor mutex (recursive) guards open, close, idle and
// the dirty queue, so a close never frees the frame under an idle pass on
// another thread and an idle pass never starts once close has begun. The
// audio thread never calls the editor (the engine queues its redraws).
// Pictures come from a store shared by every editor in the process, guarded
// by sSharedLock.
#pragma once

#include "AEffGUIEditor.h"
#include "CControlVx.h"
#include "EditorBinding.h"
#include "EditorLink.h"
#include "KeyboardBase.h"
#include "Lock.h"
#include "ModulFrame.h"
#include "Path.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

class CControl;
class CFileDialog4Vx;
class CMenuFileList;
class CMenuWithSub;
class CTextEdit;
class CLabelVx;
class CModDepthDisp;
class COnOffBar;
class COnOffButtonVx;
class CPlusMinusDisplay;
class CRadioButtonVx;
class CSliderVx;
class CTouchAreaVx;
class CVarDisplay;
class Synth;

// The file buttons' finished choices on their way to the editor's idle pass.
// A choice is made on the panel thread and delivered in an engine idle round
// (the timer's, the host's or the editor's own), where neither the editor
// mutex nor the control can be had; it waits here until the editor's idle
// pass hands it to its button. Shared between the editor and the answers on
// their way, so an answer that comes after the editor is gone is harmless.
// Thread: any.
class FileChoiceMailbox_c
{
public:
    struct Choice_t
    {
        uint64_t session = 0;         // the editor's open session it was asked in
        CControlVx* control = nullptr; // the button (not touched here)
        int tag = 0;                   // the button's record index
        Tool::Disk::Path_c path;       // empty: cancelled
    };
    void post(Choice_t choice)
    {
        std::lock_guard<std::mutex> lock(mutex);
        choices.push_back(std::move(choice));
    }
    std::vector<Choice_t> take()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(choices, {});
    }

private:
    std::mutex mutex;
    std::vector<Choice_t> choices;
};

class SynthEditor_c : public AEffGUIEditor, public CControlListenerVx, public EditorLink_i
{
public:
    static constexpr int MaxEdits = 8192;
    static constexpr int MaxExchFrames = 768; // numbers 1..767 used
    static constexpr int MaxDepMods = 256;
    static constexpr int DirtyQueueSize = 64;
    static constexpr int MaxKeyboards = 3;
    static constexpr int BitmapStoreSize = 601; // ids 0..600
    // A host whose product name begins with "Fruity" redraws in full.
    static constexpr int FruityHostId = 6;

    struct ControlRecord
    {
        CControlVx* control = nullptr;
        CView* secondView = nullptr;
        tControlType kind = kControlKindNone;
    };

    // effect: the engine (a Synth); edits: binders in use; mainBitmapId and
    // backBitmapId (-1: none) are ids of the shared picture store.
    SynthEditor_c(AudioEffect* effect, int edits, int mainBitmapId, int backBitmapId);
    ~SynthEditor_c() override;

    // --- host entries (AEffGUIEditor)
    bool open(void* parent) override;
    void close() override;
    void idle() override;
    bool onKeyDown(VstKeyCode& keyCode) override;
    bool onKeyUp(VstKeyCode& keyCode) override;
    bool setKnobMode(int32_t mode) override;
    // Answers the review tools' picture message (VendorMessages.h).
    intptr_t vendorSpecific(int32_t index, intptr_t value, void* ptr, float opt) override;

    // --- frame and pictures
    static CBitmap* loadBitmap(int id);
    virtual void reInit();
    virtual void closeCore();
    virtual void framesChangedHook() {}
    virtual void setFontColorRGB(int r, int g, int b, int a);
    virtual void fontColorChanged(int setting);
    virtual int editSlotOfParameter() { return -1; }
    void beginEdit(int32_t index) override;
    void endEdit(int32_t index) override;
    void mouseUpAllControls() override;
    virtual void redrawAllHook() { setDirty(); }
    // Dirty marks: a full redraw, or one edit index (now: redrawn at once).
    void setDirty() override;
    void setDirty(int index, bool now) override;
    virtual void setDirtyCore(int index, bool now);
    virtual void editInstrumentChangedHook() {}
    // Keyboards by number (the MIDI channel 0..2 they show): the concrete
    // editor registers them; the engine lights their keys.
    void setKeyboard(int k, CKeyboardBase* keyboard);
    CKeyboardBase* getKeyboard(int k) const;
    void updateKeyboard(int k, NoteC_c note);
    // all: every keyboard shows the note; otherwise the one of its channel.
    void noteOn(bool all, NoteC_c note) override;
    void allNotesOff() override;
    // Engine change to controls: every index, or one (withDependents: its
    // dependent-frame rules too). EditorBinding.cpp.
    virtual void updateAllEdits();
    virtual void updateEdit(int index, bool withDependents);
    void switchBack() override;
    virtual void editableTextHook(int, const char*) {}
    void valueChanged(CControl* control) override;
    void touched(CControl* control, bool right) override;
    virtual void updateCircularLinearMode();
    void setMouseEnabled(int index, bool enabled);
    // The depth display registered at index shows semitones (0: normal).
    void setSemitoneMode(int index, int mode);

    // --- registration and factories (EditorBinding.cpp). Each needs the
    // engine; an index outside 0..edits-1 is clamped into it. A factory
    // builds its control with this editor as listener and the index as tag,
    // registers it and adds it to the frame, and returns it; without engine,
    // frame or a picture it needs it builds nothing and returns null. A
    // rectangle given as x, y, w, h is (x, y, x + w, y + h).
    // The control becomes the record's control of index (slot 0's index is
    // its tag): its default is the parameter's, it shows the parameter, and
    // the frame adds it. Without engine or frame the control is released.
    void createGeneralVx(CControlVx* control, int index, CModulFrameVx* frame);
    // The same for a control of count slots, slot k on indices[k].
    void createGeneralVxCore(CControlVx* control, int* indices, int count, CModulFrameVx* frame);
    // A library control (text edits, menus) as the record's second view.
    void createGeneralVSTGUI(CControl* control, int index, CModulFrameVx* frame);
    // A bitmap slider over the area (x, y, w, h), its handle (hw x hh)
    // travelling around the centre (cx, cy); first: the page background,
    // second: the handle.
    CSliderVx* createSlider(int index, int x, int y, int w, int h, int cx, int cy, int hw, int hh, CBitmap* first,
                            CBitmap* second, CModulFrameVx* frame);
    // A left-aligned label showing the parameter's text (a file name).
    CLabelVx* createFilename(CModulFrameVx* frame, int index, int x, int y, int w, int h, CColor colour);
    // A library text display of the parameter's text; editable ones hand
    // the user's text to editableTextHook.
    CTextEdit* createCharDisp(CModulFrameVx* frame, int index, int x, int y, int w, int h, CColor colour,
                              CTxtFace style, CHoriTxtAlign align, bool editable, bool transparent);
    // A button of the parameter's states (high - low + 1), one frame each.
    COnOffButtonVx* createOnOff(CModulFrameVx* frame, int index, int x, int y, CBitmap* bitmap, bool option);
    // A grid of count columns by m rows; the picture holds it off above on.
    CRadioButtonVx* createRadio(CModulFrameVx* frame, int index, int x, int y, int count, int m, CBitmap* bitmap,
                                bool rowMajor);
    // size: the whole display; text: its value area; down and up: its buttons.
    CPlusMinusDisplay* createPMDisplay(CModulFrameVx* frame, int index, CRect size, CRect text, CRect down, CRect up,
                                       CColor colour);
    CModDepthDisp* createDepth(CModulFrameVx* frame, int index, int x, int y, int w, int h);
    CVarDisplay* createVarDisplay(CModulFrameVx* frame, int index, int x, int y, int w, int h, CColor colour);
    // A touch area over (x, y, w, h) that sends the instrument command
    // (command, commandIndex, value), repeating while held when repeat is
    // set; the picture (released face above pressed) may be absent.
    CTouchAreaVx* createTouchControl(CModulFrameVx* frame, int index, int command, int commandIndex, int value, int x,
                                     int y, int w, int h, bool repeat, CBitmap* bitmap);
    // A gate step bar of steps (1..16) cells, each as wide as the picture
    // and half as high (the off picture above the on picture); option: the
    // cells are drawn transparently.
    COnOffBar* createGatorSteps(CModulFrameVx* frame, int index, int steps, int x, int y, CBitmap* bitmap, bool option);

    // --- menus and file buttons (EditorBinding.cpp; ParameterMenus.h,
    // FileMenus.h). A menu of the parameter's items, record kind 9:
    // fillNow is taken by menus without submenus only; checkStyle checks
    // the current entry (menus with submenus check the chosen item
    // instead); drawn false makes an invisible click area over a page
    // picture that shows the value itself.
    CMenuWithSub* createMenuS(CModulFrameVx* frame, CColor colour, int index, CBitmap* bitmap, int x, int y, int w,
                              int h, CHoriTxtAlign align, bool fillNow, bool checkStyle, bool drawn);
    // createMenuS without fillNow; the picture's form takes its size from
    // the picture, which it draws as its background.
    CMenuWithSub* createMenu(CModulFrameVx* frame, CColor colour, int index, int x, int y, int w, int h,
                             bool checkStyle, bool drawn, CHoriTxtAlign align);
    CMenuWithSub* createMenu(CModulFrameVx* frame, CColor colour, CBitmap* bitmap, int index, int x, int y,
                             bool checkStyle, bool drawn, CHoriTxtAlign align);
    // A list of the files of one of the engine's program listings, record
    // kind 10, one pixel higher than asked: instrument list's (-1: the
    // edited instrument's) bank folders when first is set, else its program
    // files; multi: the multi-program listings instead (the list number
    // counts as 0). emptyText: the one entry of an empty listing.
    CMenuFileList* createMenuFileList(CModulFrameVx* frame, int index, int list, CBitmap* bitmap, int x, int y, int w,
                                      int h, bool first, bool multi, const char* emptyText);
    CMenuFileList* createMenuFileList(CModulFrameVx* frame, int index, int list, int x, int y, int w, int h,
                                      bool first, bool multi, const char* emptyText);
    // A file button without picture: title and filter text of its dialog,
    // the file patterns it offers, the preference key of its folder and the
    // mode (FileDialog_c::ModeOpen or ModeSave).
    using tOpenMode = int;
    CFileDialog4Vx* createFileControl(CModulFrameVx* frame, int index, const char* title, const char* filter,
                                      Tool::Disk::Extension_c& patterns, const char* key, tOpenMode mode, int x, int y,
                                      int w, int h);
    // The patterns of the editor's file buttons: tuning and program files.
    Tool::Disk::Extension_c& getTunPatterns() { return tunPatterns; }
    Tool::Disk::Extension_c& getFxpPatterns() { return fxpPatterns; }

    // --- pages and dependent frames
    virtual void selectMod(CModulFrameVx* parent, CModulFrameVx** list, int position);
    virtual void selectMod(CModulFrameVx* parent, int* frames, int position, bool& changed);
    virtual void selectModStatic(int parent, int child);
    virtual void forgetRec(CModulFrameVx** slot);
    void createExchFrame(int n, int x, int y, CBitmap* background, const char* name);
    CModulFrameVx* getExchFrame(int n) const;
    void removeExFrame(CModulFrameVx* parent, int n, bool release);
    void removeExFrame(int parent, int child, bool release);
    void defineDepMod(int selector, int frame, int s0 = -1, int s1 = -1, int s2 = -1, int s3 = -1, int s4 = -1, int s5 = -1, int s6 = -1, int s7 = -1, int s8 = -1, int s9 = -1, int s10 = -1, int s11 = -1, int s12 = -1, int s13 = -1, int s14 = -1, int s15 = -1, int s16 = -1, int s17 = -1, int s18 = -1, int s19 = -1, int s20 = -1, int s21 = -1);
    void updateDepMod(int selector);
    void RemoveFrames(int count);
    void recurseRemoveFrames(int n, int count);

    // --- file buttons: where their choices wait (see FileChoiceMailbox_c)
    // and the open session a choice must belong to; each open and each close
    // begins a new session, so a choice asked for before is dropped.
    const std::shared_ptr<FileChoiceMailbox_c>& getFileChoices() const { return fileChoices; }
    uint64_t getSession() const { return session.load(); }

    // --- state others read
    Synth* getEngine() const { return engine; }
    bool isEditorOpen() const { return openFlag.load(); }
    CModulFrameVx* getEditFrame() const { return editFrame; }
    CModulFrameVx* getBackFrame() const { return backFrame; }
    bool isBackShown() const { return backShown; }
    int getWidth() const { return width; }
    int getHeight() const { return height; }
    int getDirtyCount() const { return dirtyCount; }
    // Idle passes that reached the window (events taken, views redrawn).
    int64_t getIdlePasses() const { return idlePasses.load(); }
    bool getFullRedraw() const { return fullRedraw; }
    int getDepModCount() const { return depModCount; }
    CColor getFontColor() const { return fontColor; }
    ControlRecord& getRecord(int index) { return records[clampEdit(index)]; }
    Edit& getEdit(int index) { return edits[clampEdit(index)]; }
    int getEditCount() const { return editCount; }
    void setKnobModeIndex(int index) { knobModeIndex = index; }
    static int64_t getInstanceCount() { return sEditorInstanceCount.load(); }

    static Lock_c sSharedLock;

protected:
    int clampEdit(int index) const;
    // The selector's integer value and lowest value, as the rules read them.
    virtual int selectorValue(int index);
    virtual int selectorLowValue(int index);
    // A registered control's change to the engine: its step, its text or
    // each changed slot, each followed by the group step.
    virtual void handleUserInput(CControlVx* control);
    bool validFrameNumber(int n) const { return n >= 1 && n < MaxExchFrames; }
    // Whether a made control can be placed: without an engine or a frame it
    // is released (false), so no factory leaves one behind.
    bool placeable(CControl* control, CModulFrameVx* frame);

    CBitmap* mainBitmap = nullptr;
    CBitmap* backBitmap = nullptr;
    CModulFrameVx* editFrame = nullptr;
    CModulFrameVx* backFrame = nullptr;
    CColor fontColor{255, 255, 255, 255};
    int width = 0;
    int height = 0;
    Synth* engine = nullptr;
    // True while the controls stand (set by the concrete editor's open).
    std::atomic<bool> openFlag{false};
    std::atomic<int64_t> idlePasses{0};
    std::unique_ptr<Edit[]> edits;
    int editCount;
    std::unique_ptr<ControlRecord[]> records;
    DepMod_c depMods[MaxDepMods];
    int depModCount = 0;
    CModulFrameVx* exchFrames[MaxExchFrames] = {};
    bool updating = false;
    int dirtyQueue[DirtyQueueSize] = {};
    int dirtyCount = 0;
    bool fullRedraw = false;
    CKeyboardBase* keyboards[MaxKeyboards] = {};
    bool backShown = false;
    int knobModeIndex = -1;
    int mainBitmapId;
    int backBitmapId;
    // Guards open, close, idle and the dirty queue (see the file comment).
    std::recursive_mutex editorMutex;
    // A close asked for from inside an idle pass runs when that pass ends.
    bool closePending = false;
    Tool::Disk::Extension_c tunPatterns{"*.tun"};
    Tool::Disk::Extension_c fxpPatterns{"*.fxp"};

private:
    // Takes every exchange frame 1..count-1 that sits in parent out of it,
    // each after its own children.
    void removeChildFrames(CModulFrameVx* parent, int count);
    // Hands the finished file choices of this session to their buttons
    // (those still registered); drops the others. Under the editor mutex.
    void deliverFileChoices();

    std::shared_ptr<FileChoiceMailbox_c> fileChoices = std::make_shared<FileChoiceMailbox_c>();
    std::atomic<uint64_t> session{0};

    static std::atomic<int64_t> sEditorInstanceCount;
    static CBitmap* sBitmapSharedStore[BitmapStoreSize];
};
