#include "FileMenus.h"

#include "CBitmap.h"
#include "CFrame.h"
#include "FileList.h"
#include "Synth.h"
#include "SynthEditor.h"
#include "ThreadCheck.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {
bool sameName(const char* a, const char* b)
{
    return a && std::strcmp(a, b) == 0;
}
} // namespace

// ------------------------------------------------------------ CMenuFileList

CMenuFileList::CMenuFileList(const CRect& s, CControlListener* l, int t, CBitmap* background, FileList_c* lists,
                             int index, Synth* e, const char* empty)
    : COptionMenu(s, l, t, background, nullptr, kCheckStyle), listIndex(index)
{
    if (!lists || !e)
        return;
    listings = lists;
    engine = e;
    emptyText = std::string(empty ? empty : "").substr(0, MaxEmptyText);
    if (!background)
        setTransparency(true);
    setNbItemsPerColumn(ItemsPerColumn);
}

FileList_c* CMenuFileList::getListing() const
{
    if (!listings || !engine)
        return nullptr;
    if (listIndex != -1)
        return listings;
    // The edited instrument's listing, within the instruments there are.
    const int count = std::max(1, engine->getNumInstruments());
    return listings + std::clamp(engine->getEditIns(), 0, count - 1);
}

void CMenuFileList::fill(int selected)
{
    FileList_c* listing = getListing();
    if (!listing)
        return;
    removeAllEntry();
    setText("");
    const int n = static_cast<int>(listing->getCount());
    if (n == 0) {
        // The empty-list text is the only entry, and the one shown.
        addEntry(emptyText.c_str());
        selected = 0;
    } else if (selected >= n) {
        return;
    } else {
        for (int i = 0; i < n; ++i) {
            const Vdx::String_c& name = listing->getFilenameDisplay(static_cast<unsigned>(i));
            addEntry(name.empty() ? UnknownName : name.c_str());
        }
    }
    value = static_cast<float>(selected);
    setCurrent(selected);
    checkEntryAlone(selected);
}

void CMenuFileList::choose(COptionMenu* menu, int32_t index)
{
    // A list of one entry (an empty folder) chooses nothing: no gesture.
    CFrame* f = getNbEntries() >= 2 ? frame : nullptr;
    const int32_t edit = getTag();
    if (f)
        f->beginEdit(edit);
    COptionMenu::choose(menu, index);
    if (f)
        f->endEdit(edit);
}

bool CMenuFileList::isTypeOf(const char* name) const
{
    return sameName(name, "CMenuFileList") || COptionMenu::isTypeOf(name);
}

// ----------------------------------------------------------- CFileDialog4Vx

CFileDialog4Vx::CFileDialog4Vx(const CRect& s, CControlListenerVx* l, int t, Synth* e, CBitmap* picture)
    : CControlVx(s, l, t), dialog(e), engine(e), image(picture)
{
    if (image)
        image->remember();
}

CFileDialog4Vx::~CFileDialog4Vx()
{
    if (image)
        image->forget();
}

void CFileDialog4Vx::setTitle(const char* text)
{
    title = text ? text : "";
    dialog.title = title.c_str();
}

void CFileDialog4Vx::setFilterText(const char* text)
{
    filter = text ? text : "";
    dialog.filterText = filter.c_str();
}

void CFileDialog4Vx::setAlt(int command, int a, int b)
{
    altCommand = command;
    altA = a;
    altB = b;
}

void CFileDialog4Vx::showNow()
{
    setDirty(true);
    // Without a picture the button draws nothing of its own: there is no
    // look to show before the dialog takes the thread.
    if (image && frame)
        frame->redrawAll();
}

CMouseEventResult CFileDialog4Vx::onMouseDown(CPoint&, const long& buttons)
{
    if (!(buttons & (kLButton | kMButton | kRButton)))
        return kMouseEventNotHandled;
    TESSEL_ASSERT_NOT_AUDIO_THREAD(); // queuing a dialog allocates
    if (pressed)
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents; // its dialog is up
    pressed = true;
    showNow();
    const bool alternate = altCommand >= 0 && (buttons & kControl) && (buttons & kAlt);
    if (alternate) {
        if (engine)
            engine->processGUICmd(altCommand, altA, altB, nullptr);
    } else if (auto* editor = dynamic_cast<SynthEditor_c*>(listener); editor && engine) {
        // The answer goes through the editor's mailbox, never to this
        // object directly: the button may be gone when the user answers.
        std::shared_ptr<FileChoiceMailbox_c> box = editor->getFileChoices();
        const uint64_t session = editor->getSession();
        const int tag = static_cast<int>(getTag());
        CControlVx* self = this;
        if (engine->chooseFileLater(dialog.snapshot(), [box, session, self, tag](const Tool::Disk::Path_c& path) {
                box->post({session, self, tag, path});
            }))
            return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    pressed = false;
    showNow();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

void CFileDialog4Vx::choiceMade(const Tool::Disk::Path_c& chosen)
{
    pressed = false;
    // A cancelled dialog answers the empty path and changes nothing.
    if (!chosen.empty()) {
        userText = chosen.getString();
        if (listener)
            listener->valueChanged(this);
    }
    showNow();
}

void CFileDialog4Vx::draw(CDrawContext* context)
{
    CControlVx::draw(context);
    if (!image)
        return;
    // The pressed look is the picture's lower half.
    const CPoint from(0, pressed ? size.height() : 0);
    image->draw(context, size, from);
}

bool CFileDialog4Vx::isTypeOf(const char* name) const
{
    return sameName(name, "CFileDialog4Vx") || CControlVx::isTypeOf(name);
}
