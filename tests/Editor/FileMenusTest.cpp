// The file controls: the file-list menu over a folder listing (its entries,
// the empty folder, the choice the editor sends) and the file button (its
// dialog, a cancel, the alternate command, the pressed look), with their
// factories in the small editor.
#include "CFrame.h"
#include "COptionMenuOverlay.h"
#include "ControlTestRig.h"
#include "EditorBindingRig.h"
#include "EditorTestRig.h"
#include "FileList.h"
#include "FileMenus.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using EditorTest::BindingRig;
using EditorTest::centre;
using EditorTest::entriesOf;

namespace {
// External indices of the "main" page's file controls.
constexpr int Bank = 635;
constexpr int Program = 636;
constexpr int ExportProgram = 619;

// Every dialog the test answers: its command line and the answer given.
struct Dialogs
{
    explicit Dialogs(FileDialog_c::PanelAnswer a = {}) : answer(std::move(a))
    {
        FileDialog_c::setPanelRunner([this](const std::vector<std::string>& arguments) {
            runs.push_back(arguments);
            if (during)
                during();
            return answer;
        });
    }
    ~Dialogs() { FileDialog_c::setPanelRunner({}); }
    Dialogs(const Dialogs&) = delete;
    Dialogs& operator=(const Dialogs&) = delete;
    bool argument(const std::string& a) const
    {
        for (const auto& run : runs)
            for (const auto& s : run)
                if (s == a)
                    return true;
        return false;
    }
    FileDialog_c::PanelAnswer answer;
    std::vector<std::vector<std::string>> runs;
    std::function<void()> during;
};
} // namespace

TEST(FileMenus, TheListShowsItsListingsFiles)
{
    EditorTest::RecordingEngine engine;
    struct Case
    {
        const char* what;
        std::vector<const char*> files;
        int selected;
        const char* entries;
        int current;
        const char* shown;
    };
    const Case cases[] = {
        {"an empty folder shows the empty text", {}, 0, "- - -", 0, "- - -"},
        {"a file whose display name is empty is listed as unknown", {"Bass.fxp", "", "Pad.fxp"}, 1,
         "Bass|unknown|Pad", 1, "unknown"},
        {"the selected file is current and the only one checked", {"A.fxp", "B.fxp", "C.fxp"}, 2, "A|B|C", 2, "C"},
        {"a selected number past the last file leaves the menu without entries", {"Bass.fxp"}, 1, "", -1, ""},
    };
    for (const Case& c : cases) {
        FileList_c listing;
        for (const char* f : c.files) {
            Tool::Disk::Path_c name(f);
            listing.addItem(name);
        }
        CMenuFileList menu(CRect(27, 191, 165, 206), nullptr, Program, nullptr, &listing, 0, &engine, "- - -");
        // What an earlier fill showed goes.
        menu.addEntry("stale");
        menu.setCurrent(0);
        menu.fill(c.selected);
        EXPECT_EQ(entriesOf(&menu), c.entries) << c.what;
        EXPECT_EQ(menu.getCurrent(), c.current) << c.what;
        EXPECT_STREQ(menu.getText(), c.shown) << c.what;
        for (int i = 0; i < menu.getNbEntries(); ++i)
            EXPECT_EQ(menu.isCheckEntry(i), i == c.current) << c.what << ", entry " << i;
        EXPECT_EQ(menu.getNbItemsPerColumn(), CMenuFileList::ItemsPerColumn) << c.what;
        EXPECT_EQ(menu.getStyle() & COptionMenu::kCheckStyle, COptionMenu::kCheckStyle) << c.what;
    }

    // The edited instrument's listing, out of the run of one per instrument.
    FileList_c run[2];
    CMenuFileList edited(CRect(0, 0, 10, 10), nullptr, Program, nullptr, run, -1, &engine, "");
    EXPECT_EQ(edited.getListing(), &run[engine.getEditIns()]);
    // Without listings or engine it lists nothing, ever; its text is capped.
    CMenuFileList none(CRect(0, 0, 10, 10), nullptr, Program, nullptr, nullptr, 0, &engine, "- - -");
    none.fill(0);
    EXPECT_EQ(none.getNbEntries(), 0);
    CMenuFileList capped(CRect(0, 0, 10, 10), nullptr, Program, nullptr, run, 0, &engine,
                         std::string(120, 'e').c_str());
    EXPECT_EQ(capped.getEmptyText().size(), CMenuFileList::MaxEmptyText);
}

TEST(FileMenus, AListOfFoldersSetsItsParameterOnlyWhenThereIsAChoice)
{
    BindingRig rig;
    SynthEditor_c& e = rig.editor;
    TestSupport::TempDir banks;
    FileList_c* bankList = rig.engine.getBnkList(0);
    ASSERT_NE(bankList, nullptr);
    bankList->refreshFromDir(Tool::Disk::Path_c(banks.path().c_str()), true);
    ASSERT_EQ(bankList->getCount(), 0u);

    CMenuFileList* menu = e.createMenuFileList(rig.page, Bank, 0, 27, 191, 138, 14, true, false, "- - -");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->getViewSize(), CRect(27, 191, 165, 206)) << "one pixel higher than asked";
    EXPECT_EQ(menu->getListing(), bankList) << "the first list of the pair: the bank folders";
    EXPECT_EQ(rig.record(Bank).kind, kRecordFileList);
    EXPECT_EQ(rig.record(Bank).secondView, menu);
    EXPECT_EQ(menu->getFontColor(), e.getFontColor());
    EXPECT_EQ(entriesOf(menu), "- - -");

    const auto pick = [&](int entry) {
        rig.click(40, 198);
        auto* overlay = static_cast<COptionMenuOverlay*>(rig.frame()->getMenuOverlay());
        ASSERT_NE(overlay, nullptr);
        const CPoint p = centre(overlay->getEntryRect(0, entry));
        rig.click(p.h, p.v);
        EXPECT_EQ(rig.frame()->getMenuOverlay(), nullptr);
    };
    rig.engine.calls.clear();
    pick(0);
    EXPECT_EQ(rig.engine.edits(), "") << "the empty folder's one entry sends nothing, and opens no gesture";

    // Two banks: the editor's update refills the list, and a pick sets the
    // bank's number over the parameter's range.
    std::filesystem::create_directory(banks.file("Ambient"));
    std::filesystem::create_directory(banks.file("Bass"));
    bankList->refreshFromDir(Tool::Disk::Path_c(banks.path().c_str()), true);
    e.updateEdit(Bank, false);
    EXPECT_EQ(entriesOf(menu), "Ambient|Bass");
    rig.engine.calls.clear();
    pick(1);
    EXPECT_EQ(rig.engine.edits(), "bse");
    const int range = rig.engine.getParaHighValue(Bank) - rig.engine.getParaLowValue(Bank);
    EXPECT_NEAR(rig.engine.last('s')->value, 1.f / static_cast<float>(range), 1e-6);

    // The other forms: the program files by size; a picture as background;
    // the multi-program listings, which this engine does not make.
    CMenuFileList* programs = e.createMenuFileList(rig.page, Program, 0, 27, 207, 138, 14, false, false, "- - -");
    EXPECT_EQ(programs->getListing(), rig.engine.getPrgList(0));
    CBitmap* picture = ControlTest::framesPicture(138, 14, 1);
    CMenuFileList* pictured =
        e.createMenuFileList(rig.page, Program, 0, picture, 27, 207, 138, 14, false, false, "- - -");
    EXPECT_EQ(pictured->getBackground(), picture);
    picture->forget();
    CMenuFileList* multi = e.createMenuFileList(rig.page, Program, 3, 0, 0, 50, 14, false, true, "- - -");
    EXPECT_EQ(multi->getListing(), nullptr);
    EXPECT_EQ(multi->getNbEntries(), 0);
    EXPECT_EQ(e.createMenuFileList(nullptr, Program, 0, 0, 0, 50, 14, false, false, ""), nullptr);
}

TEST(FileButtons, AClickQueuesTheDialogAndTheEditorsIdleHandsOnTheAnswer)
{
    struct Case
    {
        const char* what;
        long buttons;
        bool chosen; // the dialog's answer
        bool sent;   // the path reaches the parameter
    };
    const Case cases[] = {
        {"a click runs the dialog and hands on the chosen path", kLButton, true, true},
        {"a cancelled dialog changes nothing", kLButton, false, false},
        {"Ctrl and Alt without an alternate command open the dialog", kLButton | kControl | kAlt, true, true},
        {"Ctrl alone opens the dialog", kLButton | kControl, true, true},
    };
    const std::string path = "/music/samples/Kick.wav";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BindingRig rig;
        CBitmap* image = ControlTest::framesPicture(20, 10, 2); // released above pressed
        auto* button = new CFileDialog4Vx(CRect(10, 10, 30, 20), &rig.editor, ExportProgram, &rig.engine, image);
        image->forget();
        rig.editor.createGeneralVx(button, ExportProgram, rig.page);
        button->setTextMode(true);
        button->setTitle("Load Sample");
        button->setPatterns(Tool::Disk::Extension_c("*.wav *.aif"));
        button->setAlt(c.buttons & kAlt ? -1 : 16, 1, 2);
        Dialogs dialogs({c.chosen, path});
        rig.engine.calls.clear();

        CPoint where(15, 15);
        EXPECT_EQ(button->onMouseDown(where, c.buttons), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
        // The click returned; the dialog is up on the panel thread and the
        // button keeps its pressed look until the answer comes.
        ASSERT_TRUE(rig.engine.getPanels().waitShown(5000));
        EXPECT_EQ(dialogs.runs.size(), 1u);
        EXPECT_TRUE(dialogs.argument("--title=Load Sample"));
        EXPECT_TRUE(button->isPressed());
        EXPECT_EQ(rig.frame()->getBackBuffer()->getPixel(15, 15), ControlTest::frameColour(1));
        EXPECT_EQ(button->onMouseDown(where, c.buttons), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
        ASSERT_TRUE(rig.engine.getPanels().waitShown(5000));
        EXPECT_EQ(dialogs.runs.size(), 1u) << "a second click while the dialog is up opens none";
        EXPECT_EQ(rig.engine.edits(), "") << "nothing before the editor's idle";

        rig.editor.idle();
        EXPECT_FALSE(button->isPressed());
        EXPECT_NE(rig.frame()->getBackBuffer()->getPixel(15, 15), ControlTest::frameColour(1));
        EXPECT_EQ(rig.engine.edits(), c.sent ? "x" : "");
        EXPECT_EQ(button->getUserText(), c.sent ? path : "");
        if (c.sent) {
            EXPECT_EQ(rig.engine.last('x')->index, ExportProgram);
            EXPECT_EQ(rig.engine.strings.back(), path);
        }
        rig.editor.idle();
        EXPECT_EQ(rig.engine.edits(), c.sent ? "x" : "") << "an answer is handed on once";
    }
}

TEST(FileButtons, CtrlAltSendsTheAlternateCommandAtOnceWithoutADialog)
{
    EditorTest::RecordingEngine engine;
    CBitmap* image = ControlTest::framesPicture(20, 10, 2);
    ControlTest::Stage<CFileDialog4Vx> stage([&](CControlListenerVx* l) {
        return new CFileDialog4Vx(CRect(10, 10, 30, 20), l, 714, &engine, image);
    });
    image->forget();
    CFileDialog4Vx* button = stage.control;
    button->setAlt(16, 1, 2);
    Dialogs dialogs({true, "/x.wav"});
    EXPECT_EQ(stage.press(15, 15, kLButton | kControl | kAlt), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    ASSERT_EQ(engine.commands.size(), 1u);
    EXPECT_EQ(engine.commands[0].command, 16);
    EXPECT_EQ(engine.commands[0].index, 1);
    EXPECT_EQ(engine.commands[0].value, 2);
    EXPECT_FALSE(button->isPressed());
    EXPECT_EQ(stage.frame->getBackBuffer()->getPixel(15, 15), ControlTest::frameColour(0));
    // Without the editor as its listener a plain click has nowhere to bring
    // an answer: it opens no dialog.
    EXPECT_EQ(stage.press(15, 15, kLButton), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    EXPECT_TRUE(engine.getPanels().waitShown(5000));
    EXPECT_TRUE(dialogs.runs.empty());
    EXPECT_FALSE(button->isPressed());
    EXPECT_TRUE(stage.listener.notices.empty());
}

TEST(FileButtons, AnAnswerAfterTheEditorClosedChangesNothing)
{
    BindingRig rig;
    SynthEditor_c& e = rig.editor;
    ASSERT_NE(e.createFileControl(rig.page, ExportProgram, "Export Sound Program", "Standard FXP format",
                                  e.getFxpPatterns(), "TesselPresets", FileDialog_c::ModeSave, 135, 230, 38, 15),
              nullptr);
    std::mutex gate;
    std::unique_lock<std::mutex> held(gate);
    std::atomic<int> shown{0};
    FileDialog_c::setPanelRunner([&](const std::vector<std::string>&) {
        ++shown;
        std::lock_guard<std::mutex> wait(gate); // the user answers when released
        return FileDialog_c::PanelAnswer{true, "/late/Mine.fxp"};
    });
    rig.engine.calls.clear();
    rig.click(150, 235);
    for (int i = 0; i < 500 && shown == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(shown, 1);
    e.close(); // the button goes while its dialog is up

    held.unlock();
    ASSERT_TRUE(rig.engine.getPanels().waitShown(5000));
    rig.engine.SynthIdle(); // the answer reaches the mailbox
    e.open(nullptr);        // a new session: the old answer is not for it
    e.idle();
    EXPECT_EQ(rig.engine.edits(), "");
    FileDialog_c::setPanelRunner({});
}

TEST(FileButtons, TheFactoryGivesTheButtonItsDialogAndThePathReachesTheParameter)
{
    BindingRig rig;
    SynthEditor_c& e = rig.editor;
    CFileDialog4Vx* button = e.createFileControl(rig.page, ExportProgram, "Export Sound Program",
                                                 "Standard FXP format", e.getFxpPatterns(), "TesselPresets",
                                                 FileDialog_c::ModeSave, 135, 230, 38, 15);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->getViewSize(), CRect(135, 230, 173, 245));
    EXPECT_EQ(rig.record(ExportProgram).control, button);
    EXPECT_TRUE(button->getTextMode());
    EXPECT_STREQ(button->getDialog().title, "Export Sound Program");
    EXPECT_STREQ(button->getDialog().filterText, "Standard FXP format");
    EXPECT_EQ(button->getDialog().getExtensions().getText(), "*.fxp");
    EXPECT_STREQ(button->getDialog().getRegKey(), "TesselPresets");
    EXPECT_EQ(button->getDialog().mode, FileDialog_c::ModeSave);
    EXPECT_EQ(button->getAltCommand(), -1) << "no builder sets one";
    EXPECT_EQ(e.createFileControl(nullptr, ExportProgram, "", "", e.getFxpPatterns(), "", 0, 0, 0, 1, 1), nullptr);

    TestSupport::TempDir folder;
    const std::string path = folder.file("Mine.fxp");
    {
        Dialogs cancelled;
        rig.engine.calls.clear();
        rig.click(150, 235);
        ASSERT_TRUE(rig.engine.getPanels().waitShown(5000));
        e.idle();
        EXPECT_EQ(cancelled.runs.size(), 1u);
        EXPECT_TRUE(cancelled.argument("--save")) << "a save dialog";
        EXPECT_EQ(rig.engine.edits(), "") << "a cancel changes nothing";
    }
    Dialogs chosen({true, path});
    rig.engine.calls.clear();
    rig.click(150, 235);
    ASSERT_TRUE(rig.engine.getPanels().waitShown(5000));
    e.idle();
    ASSERT_EQ(rig.engine.edits(), "x") << "the path goes to the parameter as text";
    EXPECT_EQ(rig.engine.last('x')->index, ExportProgram);
    EXPECT_TRUE(rig.engine.last('x')->busy);
    EXPECT_EQ(rig.engine.strings.back(), path);
}
