#include "SynthEditor.h"

#include "FileMenus.h"

#include "CBitmap.h"
#include "CFrame.h"
#include "EditorPictures.h"
#include "OsLib.h"
#include "Synth.h"
#include "ThreadCheck.h"
#include "VendorMessages.h"

#include <algorithm>

Lock_c SynthEditor_c::sSharedLock;
std::atomic<int64_t> SynthEditor_c::sEditorInstanceCount{0};
CBitmap* SynthEditor_c::sBitmapSharedStore[BitmapStoreSize] = {};

namespace {
// Takes sSharedLock for writing, retrying until it is granted.
struct SharedStoreLock
{
    SharedStoreLock()
    {
        while (!SynthEditor_c::sSharedLock.getWritePermission())
            OsLib_c::xSleep(1);
    }
    ~SharedStoreLock() { SynthEditor_c::sSharedLock.releaseWritePermission(); }
    SharedStoreLock(const SharedStoreLock&) = delete;
    SharedStoreLock& operator=(const SharedStoreLock&) = delete;
};
} // namespace

SynthEditor_c::SynthEditor_c(AudioEffect* effect, int editsInUse, int mainId, int backId)
    : AEffGUIEditor(effect), engine(dynamic_cast<Synth*>(effect)), edits(new Edit[MaxEdits]),
      editCount(std::clamp(editsInUse, 1, MaxEdits)), records(new ControlRecord[MaxEdits]), mainBitmapId(mainId),
      backBitmapId(backId)
{
    {
        SharedStoreLock lock;
        if (sEditorInstanceCount.fetch_add(1) == 0)
            std::fill(std::begin(sBitmapSharedStore), std::end(sBitmapSharedStore), nullptr);
    }
    mainBitmap = loadBitmap(mainBitmapId);
    if (backBitmapId >= 0)
        backBitmap = loadBitmap(backBitmapId);
    // Without a main picture the window keeps the main background's size.
    width = mainBitmap ? mainBitmap->getWidth() : EditorPictures::MainWidth;
    height = mainBitmap ? mainBitmap->getHeight() : EditorPictures::MainHeight;
    setRectSize(width, height);
    for (int i = 0; i < MaxEdits; ++i)
        edits[i].engine = engine;
    reInit();
}

SynthEditor_c::~SynthEditor_c()
{
    {
        std::lock_guard<std::recursive_mutex> guard(editorMutex);
        openFlag = false;
        closeCore();
    }
    SharedStoreLock lock;
    if (sEditorInstanceCount.fetch_sub(1) == 1) {
        for (CBitmap*& b : sBitmapSharedStore) {
            if (b)
                b->forget();
            b = nullptr;
        }
    }
}

CBitmap* SynthEditor_c::loadBitmap(int id)
{
    if (id < 0 || id >= BitmapStoreSize)
        return nullptr;
    SharedStoreLock lock;
    if (!sBitmapSharedStore[id])
        sBitmapSharedStore[id] = EditorPictures::make(id);
    return sBitmapSharedStore[id];
}

int SynthEditor_c::clampEdit(int index) const
{
    return std::clamp(index, 0, editCount - 1);
}

// ------------------------------------------------------------ open, close

bool SynthEditor_c::open(void* parent)
{
    if (!engine)
        return false;
    std::lock_guard<std::recursive_mutex> guard(editorMutex);
    Synth::BusyScope busy(*engine);
    if (frame)
        close();
    closePending = false;
    ++session;
    AEffGUIEditor::open(parent);
    frame = new CFrame(CRect(0, 0, width, height), parent, this);
    frame->setDoubleClickInterval(OsLib_c::getDoubleClickTreshold());
    editFrame = new CModulFrameVx(0, 0, width, height, frame, mainBitmap, "MainEditFrame");
    // The two full-window panels stay the editor's own: every container
    // lets go of them without releasing, and closeCore releases them.
    frame->addView(editFrame);
    if (backBitmap) {
        backFrame = new CModulFrameVx(0, 0, backBitmap->getWidth(), backBitmap->getHeight(), frame, backBitmap,
                                      "MainBackFrame");
    }
    fontColorChanged(0);
    return true;
}

void SynthEditor_c::close()
{
    TESSEL_ASSERT_NOT_AUDIO_THREAD(); // the editor mutex may wait
    std::lock_guard<std::recursive_mutex> guard(editorMutex);
    openFlag = false;
    // The window goes with close even when the concrete editor never
    // finished its pages (the open flag is still clear then).
    closeCore();
    AEffGUIEditor::close();
}

void SynthEditor_c::forgetRec(CModulFrameVx** slot)
{
    if (!slot || !*slot)
        return;
    CModulFrameVx* f = *slot;
    *slot = nullptr;
    if (CViewContainer* p = f->getParentView())
        p->removeView(f, false);
    f->removeAll(true);
    f->forget();
}

void SynthEditor_c::closeCore()
{
    std::lock_guard<std::recursive_mutex> guard(editorMutex);
    if (!frame)
        return;
    if (updating) {
        // Asked from inside this thread's own idle pass: the pass closes when
        // it is done with the frame.
        closePending = true;
        return;
    }
    frame->closeMenu();
    // Choices asked for by the buttons that go now are not delivered.
    ++session;
    // Detach every exchangeable frame first, so releasing one never frees a
    // frame another still holds as its child.
    for (CModulFrameVx* f : exchFrames)
        if (f && f != editFrame && f != backFrame)
            if (CViewContainer* p = f->getParentView())
                p->removeView(f, false);
    for (CModulFrameVx*& f : exchFrames)
        if (f && f != editFrame && f != backFrame)
            forgetRec(&f);
    for (CModulFrameVx* panel : {editFrame, backFrame}) {
        if (!panel)
            continue;
        panel->removeAll(true);
        if (CViewContainer* p = panel->getParentView())
            p->removeView(panel, false);
    }
    if (editFrame)
        editFrame->forget();
    if (backFrame)
        backFrame->forget();
    editFrame = nullptr;
    backFrame = nullptr;
    frame->forget();
    frame = nullptr;
    for (DepMod_c& d : depMods)
        d.undefine();
    reInit();
}

void SynthEditor_c::reInit()
{
    openFlag = false;
    updating = false;
    dirtyCount = 0;
    fullRedraw = false;
    depModCount = 0;
    backShown = false;
    std::fill(std::begin(keyboards), std::end(keyboards), nullptr);
    for (int i = 0; i < MaxEdits; ++i) {
        records[i] = ControlRecord();
        edits[i].mainControl = nullptr;
        edits[i].display = nullptr;
    }
    std::fill(std::begin(exchFrames), std::end(exchFrames), nullptr);
}

// ------------------------------------------------------------------- idle

void SynthEditor_c::idle()
{
    TESSEL_ASSERT_NOT_AUDIO_THREAD(); // the editor mutex may wait
    std::lock_guard<std::recursive_mutex> guard(editorMutex);
    if (!engine || !openFlag || !frame || updating)
        return;
    Synth::BusyScope busy(*engine);
    engine->SynthIdle();
    deliverFileChoices();
    if (!openFlag || !frame)
        return;
    updating = true;
    if (fullRedraw) {
        updateAllEdits();
        if (editFrame)
            editFrame->setDirty(true);
        // Cleared after the pass: the pass itself asks for a full redraw
        // again (its dependent-frame pass re-selects the shown children),
        // which must not turn every later idle into another full pass.
        fullRedraw = false;
        dirtyCount = 0;
    } else if (dirtyCount > 0) {
        // Indices queued while these redraw wait for the next pass.
        int queued[DirtyQueueSize];
        const int n = dirtyCount;
        std::copy(dirtyQueue, dirtyQueue + n, queued);
        dirtyCount = 0;
        for (int i = n - 1; i >= 0; --i)
            updateEdit(queued[i], true);
    }
    updating = false;
    if (closePending) {
        closePending = false;
        openFlag = false;
        closeCore();
        return;
    }
    AEffGUIEditor::idle();
    ++idlePasses;
}

void SynthEditor_c::deliverFileChoices()
{
    for (FileChoiceMailbox_c::Choice_t& c : fileChoices->take()) {
        // A button of an earlier session, or one no longer registered, may
        // be gone: its pointer is only compared, never followed.
        if (c.session != session.load() || c.tag < 0 || c.tag >= editCount || records[c.tag].control != c.control)
            continue;
        if (auto* button = dynamic_cast<CFileDialog4Vx*>(c.control))
            button->choiceMade(c.path);
    }
}

void SynthEditor_c::setDirty()
{
    TESSEL_ASSERT_NOT_AUDIO_THREAD(); // the editor mutex may wait
    std::lock_guard<std::recursive_mutex> guard(editorMutex);
    if (openFlag)
        fullRedraw = true;
}

void SynthEditor_c::setDirty(int index, bool now)
{
    TESSEL_ASSERT_NOT_AUDIO_THREAD(); // the editor mutex may wait
    std::lock_guard<std::recursive_mutex> guard(editorMutex);
    if (!openFlag || index < 0)
        return;
    setDirtyCore(index, now);
    if (index == knobModeIndex)
        updateCircularLinearMode();
}

void SynthEditor_c::setDirtyCore(int index, bool now)
{
    std::lock_guard<std::recursive_mutex> guard(editorMutex);
    if (!openFlag)
        return;
    if (dirtyCount >= DirtyQueueSize) {
        fullRedraw = true;
    } else if (std::find(dirtyQueue, dirtyQueue + dirtyCount, index) == dirtyQueue + dirtyCount) {
        dirtyQueue[dirtyCount++] = index;
    }
    if (now)
        updateEdit(index, true);
}

// -------------------------------------------------------------- keyboards

void SynthEditor_c::setKeyboard(int k, CKeyboardBase* keyboard)
{
    if (k >= 0 && k < MaxKeyboards)
        keyboards[k] = keyboard;
}

CKeyboardBase* SynthEditor_c::getKeyboard(int k) const
{
    return k >= 0 && k < MaxKeyboards ? keyboards[k] : nullptr;
}

void SynthEditor_c::updateKeyboard(int k, NoteC_c note)
{
    TESSEL_ASSERT_NOT_AUDIO_THREAD(); // the editor mutex may wait
    std::lock_guard<std::recursive_mutex> guard(editorMutex);
    CKeyboardBase* keyboard = getKeyboard(k);
    if (!openFlag || !keyboard || backShown)
        return;
    keyboard->setKey(note.note, note.velocity);
    setDirty(keyboard->getTag(), false);
}

void SynthEditor_c::noteOn(bool all, NoteC_c note)
{
    if (!all) {
        // Channels 3 and up show on no keyboard.
        updateKeyboard(note.channel, note);
        return;
    }
    for (int k = 0; k < MaxKeyboards; ++k)
        updateKeyboard(k, note);
}

void SynthEditor_c::allNotesOff()
{
    std::lock_guard<std::recursive_mutex> guard(editorMutex);
    if (!openFlag)
        return;
    for (CKeyboardBase* keyboard : keyboards)
        if (keyboard) {
            keyboard->allNotesOff();
            setDirty(keyboard->getTag(), false);
        }
}

// ------------------------------------------------- engine and parameters

void SynthEditor_c::beginEdit(int32_t index)
{
    if (!engine)
        return;
    Synth::BusyScope busy(*engine);
    engine->beginEdit(index);
}

void SynthEditor_c::endEdit(int32_t index)
{
    if (!engine)
        return;
    Synth::BusyScope busy(*engine);
    engine->endEdit(index);
}

int SynthEditor_c::selectorValue(int index)
{
    return engine ? engine->getParaVal(index) : 0;
}

int SynthEditor_c::selectorLowValue(int index)
{
    return engine ? engine->getParaLowValue(index) : 0;
}

bool SynthEditor_c::setKnobMode(int32_t mode)
{
    if (engine && engine->getFlagInitialized()) {
        Synth::BusyScope busy(*engine);
        if (knobModeIndex >= 0) {
            engine->setParaVal(knobModeIndex, mode >= 2 ? 1 : 0);
            updateCircularLinearMode();
            setDirty(knobModeIndex, true);
        }
    }
    return true;
}

intptr_t SynthEditor_c::vendorSpecific(int32_t index, intptr_t value, void* ptr, float opt)
{
    if (index == kVendorPictureMessage)
        return EditorPictures::describe(static_cast<int>(value), static_cast<VendorPictureRequest*>(ptr)) ? 1 : 0;
    return AEffGUIEditor::vendorSpecific(index, value, ptr, opt);
}

void SynthEditor_c::updateCircularLinearMode()
{
    if (!openFlag || knobModeIndex < 0 || !engine)
        return;
    const bool circular = engine->getParameterEdited(knobModeIndex) < 0.5f;
    for (int i = 0; i < editCount; ++i) {
        if (edits[i].mainControl)
            edits[i].mainControl->setCircularLinearMode(circular);
        if (records[i].control)
            records[i].control->setCircularLinearMode(circular);
    }
}

void SynthEditor_c::mouseUpAllControls()
{
    if (!openFlag)
        return;
    for (int i = 0; i < editCount; ++i) {
        if (edits[i].mainControl)
            edits[i].mainControl->releaseMouse();
        if (records[i].control)
            records[i].control->releaseMouse();
    }
}

void SynthEditor_c::setFontColorRGB(int r, int g, int b, int a)
{
    auto byte = [](int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); };
    fontColor = CColor{byte(r), byte(g), byte(b), byte(a)};
    if (!openFlag)
        return;
    for (int i = 0; i < editCount; ++i) {
        ControlRecord& rec = records[i];
        if (rec.control) {
            rec.control->setDrawColor(fontColor);
        } else if (rec.kind == kRecordDepth) {
            if (edits[i].mainControl)
                edits[i].mainControl->setDrawColor(fontColor);
        } else if ((rec.kind == kRecordMenu || rec.kind == kRecordFileList) && rec.secondView &&
                   rec.secondView->isTypeOf("CParamDisplay")) {
            static_cast<CParamDisplay*>(rec.secondView)->setFontColor(fontColor);
        }
    }
}

void SynthEditor_c::fontColorChanged(int)
{
    setFontColorRGB(fontColor.red, fontColor.green, fontColor.blue, fontColor.alpha);
}

bool SynthEditor_c::onKeyDown(VstKeyCode& key)
{
    // An open menu or a text control that is editing takes its keys first,
    // so arrows and Return edit the text instead of stepping presets.
    if (frame && frame->modalKeyDown(key) == 1)
        return true;
    if (engine && engine->processGUICmd(5, key.character, key.modifier * 256 + key.virt, nullptr))
        return true;
    return AEffGUIEditor::onKeyDown(key);
}

bool SynthEditor_c::onKeyUp(VstKeyCode& key)
{
    if (frame && frame->modalKeyUp(key) == 1)
        return true;
    if (engine && engine->processGUICmd(6, key.character, key.modifier * 256 + key.virt, nullptr))
        return true;
    return AEffGUIEditor::onKeyUp(key);
}

void SynthEditor_c::switchBack()
{
    if (!backFrame || !engine || !frame)
        return;
    // One page leaves the frame, the other comes in at its picture's size.
    const auto turnTo = [&](CModulFrameVx* leaving, CModulFrameVx* coming, const CBitmap* picture) {
        frame->removeView(leaving, false);
        width = picture->getWidth();
        height = picture->getHeight();
        frame->addView(coming);
        frame->setSize(width, height);
        setRectSize(width, height);
        backShown = coming == backFrame;
    };
    if (editFrame && frame->isChild(editFrame)) {
        if (!backBitmap)
            return;
        turnTo(editFrame, backFrame, backBitmap);
    } else {
        if (!mainBitmap || !editFrame)
            return;
        turnTo(backFrame, editFrame, mainBitmap);
    }
    frame->setDirty(true);
}

void SynthEditor_c::setMouseEnabled(int index, bool enabled)
{
    ControlRecord& r = records[clampEdit(index)];
    if (r.control)
        r.control->setMouseEnabled(enabled);
    if (r.secondView)
        r.secondView->setMouseEnabled(enabled);
}

// ------------------------------------------------ frames and their rules

void SynthEditor_c::createExchFrame(int n, int x, int y, CBitmap* background, const char* name)
{
    if (!validFrameNumber(n) || x < 0 || y < 0 || !background || background->getWidth() <= 0 ||
        background->getHeight() <= 0 || exchFrames[n])
        return;
    exchFrames[n] = new CModulFrameVx(x, y, background->getWidth(), background->getHeight(), frame, background, name);
}

CModulFrameVx* SynthEditor_c::getExchFrame(int n) const
{
    return validFrameNumber(n) ? exchFrames[n] : nullptr;
}

void SynthEditor_c::removeExFrame(CModulFrameVx* parent, int n, bool release)
{
    CModulFrameVx* f = getExchFrame(n);
    if (!parent || !f || !parent->isChild(f))
        return;
    parent->removeView(f, release);
    // A released frame is gone: its slot must not point at it any more.
    if (release)
        exchFrames[n] = nullptr;
}

void SynthEditor_c::removeExFrame(int parent, int child, bool release)
{
    if (child < 0 || child >= MaxExchFrames)
        return;
    removeExFrame(getExchFrame(parent), child, release);
}

void SynthEditor_c::defineDepMod(int selector, int frameNumber, int s0, int s1, int s2, int s3, int s4, int s5, int s6, int s7, int s8, int s9, int s10, int s11, int s12, int s13, int s14, int s15, int s16, int s17, int s18, int s19, int s20, int s21)
{
    if (depModCount >= MaxDepMods)
        return;
    depMods[depModCount++].define(selector, frameNumber, s0, s1, s2, s3, s4, s5, s6, s7, s8, s9, s10, s11, s12, s13, s14, s15, s16, s17, s18, s19, s20, s21);
}

void SynthEditor_c::selectMod(CModulFrameVx* parent, CModulFrameVx** list, int position)
{
    if (!parent || !list || !list[0])
        return;
    int n = 0;
    while (list[n])
        ++n;
    CModulFrameVx* chosen = list[std::clamp(position, 0, n - 1)];
    if (parent->isChild(chosen))
        return;
    for (int k = 0; k < n; ++k)
        if (parent->isChild(list[k]))
            parent->removeView(list[k], false);
    parent->addView(chosen);
    setDirty();
    chosen->setDirty(true);
}

void SynthEditor_c::selectMod(CModulFrameVx* parent, int* frames, int position, bool& changed)
{
    if (!parent || !frames || frames[0] == 0)
        return;
    int n = 0;
    while (n < DepMod_c::SubFrameCount && frames[n] > 0)
        ++n;
    if (n == 0)
        return;
    CModulFrameVx* chosen = getExchFrame(frames[std::clamp(position, 0, n - 1)]);
    if (!chosen)
        return;
    const bool wasChild = parent->isChild(chosen);
    if (!wasChild) {
        for (int k = 0; k < n; ++k) {
            CModulFrameVx* listed = getExchFrame(frames[k]);
            if (!listed)
                return;
            if (parent->isChild(listed)) {
                parent->removeView(listed, false);
                changed = true;
                break;
            }
        }
    }
    if (parent->isAttached(frame)) {
        // A child already shown is raised, not removed and added again: a
        // press it holds (a drag in progress) keeps its target.
        if (wasChild)
            parent->raiseView(chosen);
        else
            parent->addView(chosen);
        changed = changed || !wasChild;
        setDirty();
        chosen->setDirty(true);
    } else {
        if (wasChild)
            parent->removeView(chosen, false);
        changed = changed || wasChild;
    }
}

void SynthEditor_c::selectModStatic(int parentNumber, int childNumber)
{
    CModulFrameVx* parent = getExchFrame(parentNumber);
    CModulFrameVx* child = getExchFrame(childNumber);
    if (!parent || !child)
        return;
    if (parent->isChild(child))
        parent->removeView(child, false);
    if (parent->isAttached(frame)) {
        parent->addView(child);
        child->setDirty(true);
    }
}

void SynthEditor_c::updateDepMod(int selector)
{
    if (!engine || !openFlag)
        return;
    bool any = selector == -1;
    for (int r = 0; r < depModCount && !any; ++r)
        any = depMods[r].getSelector() == selector;
    if (any) {
        // Each pass settles one more level of nesting, so a tree of rules
        // settles within one pass per rule; rules that fight over a shared
        // child would otherwise swing for ever.
        const int maxPasses = depModCount + 1;
        for (int pass = 0; pass < maxPasses; ++pass) {
            bool changed = false;
            for (int r = 0; r < depModCount; ++r) {
                DepMod_c& rule = depMods[r];
                if (rule.getSelector() <= 0)
                    continue;
                const int position = selectorValue(rule.getSelector()) - selectorLowValue(rule.getSelector());
                selectMod(getExchFrame(rule.getFrameIdx()), rule.getSubFrames(), position, changed);
            }
            if (!changed)
                break;
            framesChangedHook();
        }
    }
    if (engine->getHostId() == FruityHostId)
        fullRedraw = true;
}

void SynthEditor_c::removeChildFrames(CModulFrameVx* parent, int count)
{
    for (int j = 1; j < count; ++j) {
        CModulFrameVx* fj = exchFrames[j];
        if (fj && parent->isChild(fj)) {
            recurseRemoveFrames(j, count);
            parent->removeView(fj, false);
        }
    }
}

void SynthEditor_c::recurseRemoveFrames(int n, int count)
{
    CModulFrameVx* fn = getExchFrame(n);
    if (count < 2 || !fn)
        return;
    for (int k = 1; k < count; ++k) {
        CModulFrameVx* fk = exchFrames[k];
        if (!fk || !fn->isChild(fk))
            continue;
        removeChildFrames(fk, count);
        fn->removeView(fk, false);
    }
}

void SynthEditor_c::RemoveFrames(int count)
{
    if (count < 2)
        return;
    count = std::min(count, MaxExchFrames);
    for (int i = 1; i < count; ++i)
        if (CModulFrameVx* fi = exchFrames[i])
            removeChildFrames(fi, count);
    if (editFrame)
        for (int j = 1; j < count; ++j)
            if (exchFrames[j] && editFrame->isChild(exchFrames[j]))
                editFrame->removeView(exchFrames[j], false);
}
