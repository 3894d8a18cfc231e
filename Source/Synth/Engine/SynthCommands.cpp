// The engine's command queues: the producer entries, the two dispatchers with
// the complete command table, the command entry for the editor and the idle
// queue, and the editor-facing calls that go with them.
//
// Command table, named in CommandLetters.h (queue: "audio" = toward the audio thread, "idle" = toward
// the idle side):
//   0    emptied record (cleared or replaced)            nothing
//   28   meter value (idle)       part->setPara01(set, para, *double), redraw
//   'E'  multi program (idle)     setMultiPrg(value)
//   'F'  multi bank (idle)        setMultiBnk(value)
//   'I'  host program (idle)      setProgramCore(value)
//   'J'  'M' instrument program   setInsPrg(index, value)
//   'K'  'N' instrument bank      setInsBnk(index, value)
//   'L'  change follow-up (idle)  postprocessParaChange(index, part, value)
//   'O'  edited instrument (idle) setEditIns(index)
//   'P'  message (idle)           panel (title p2, text p1), then the text is freed
//   'Q'  note, zones checked (audio)   instrument's processMidi(message, true)
//   'X'  note, no zone check (audio)   instrument's processMidi(message, false)
//   'R'  MIDI reset (audio)       MidiReset()
//   'S'  notes off (audio)        AllNotesOff() for index 255, else AllNotesOff(index)
//   'Y'  controller sending (audio)    sendParameterCC() for value -1, else (index, value)
//   any other letter or number: taken on the audio thread it is passed on to
//   the idle side (command, index, value, first pointer); taken on the idle
//   side it goes to processGUICmd.
#include "Synth.h"
#include "EditorLink.h"
#include "CommandLetters.h"
#include "MidiBytes.h"

#include "CmdBuffer.h"
#include "HoldData.h"
#include "Instrument.h"
#include "OsLib.h"
#include "SysGlo.h"
#include "ThreadCheck.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

bool fitsArgument(int v)
{
    return v >= INT16_MIN && v <= INT16_MAX;
}

// Frees the text of a 'P' record that will never be shown.
void dropMessage(const HoldData_c& record)
{
    if (record.command == Cmd::UserMessage)
        std::free(record.ptr1);
}

} // namespace

// ---------------------------------------------------------------------------
// The rings

Synth::CommandQueues::CommandQueues()
    : toRT(new (std::nothrow) CmdBuffer_c(CmdBufferSize)), toGUI(new (std::nothrow) CmdBuffer_c(CmdBufferSize))
{
}

Synth::CommandQueues::~CommandQueues()
{
    // Messages nobody took: their texts are ours.
    for (CmdBuffer_c* ring : {toRT, toGUI}) {
        if (!ring)
            continue;
        HoldData_c record;
        while (ring->unholdEvent(&record))
            dropMessage(record);
    }
    delete toRT;
    delete toGUI;
}

// ---------------------------------------------------------------------------
// Producers

bool Synth::holdCmdX(bool toRT, int command, int index, int value, void* p1, void* p2, int rule)
{
    HoldData_c record;
    record.command = uint8_t(command);
    record.index = int16_t(index);
    record.value = int16_t(value);
    record.ptr1 = p1;
    record.ptr2 = p2;
    bool fits = command >= 1 && command <= 255 && fitsArgument(index) && fitsArgument(value);
    // A controller to send before any block has run would go to a host that
    // has not started playing us yet.
    if (command == Cmd::ControllerSend && getSampleCounter() == 0)
        fits = false;
    // A message is shown only on the idle side; passed on from the audio
    // side it would lose its title, and a refusal there could not free it.
    CmdBuffer_c* ring = (toRT && command != Cmd::UserMessage) ? cmdQueues.toRT : cmdQueues.toGUI;
    const bool queued = fits && ring && ring->holdEvent(&record, tHD_RemoveDouble(rule));
    if (!queued && command == Cmd::UserMessage)
        std::free(p1);
    return queued;
}

bool Synth::holdCmdtoRT(int command, int index, int value, void* p1, void* p2, int rule)
{
    return holdCmdX(true, command, index, value, p1, p2, rule);
}

bool Synth::holdCmdtoGUI(int command, int index, int value, void* p1, void* p2, int rule)
{
    return holdCmdX(false, command, index, value, p1, p2, rule);
}

bool Synth::holdProcNoteOn(int ins, NoteC_c note, bool checkZones)
{
    if (note.channel == 16)
        note.channel = 0;
    note.limit();
    // Without its settings the system keeps the setting's default (on).
    const SysGlo_c* settings = getSysGlo();
    const bool padVelocity = !settings || !settings->getParaSet() || settings->getParaVal(0, SysGloPara::PadVelocity) != 0;
    if (!padVelocity && note.velocity > 0)
        note.velocity = 127;
    CmdBuffer_c* ring = cmdQueues.toRT;
    if (!ring || !fitsArgument(ins))
        return false;
    HoldData_c record(checkZones ? Cmd::NoteZones : Cmd::NoteNoZones, int16_t(ins), 0);
    record.midi[0] = uint8_t((note.velocity > 0 ? Midi::NoteOn : Midi::NoteOff) + note.channel);
    record.midi[1] = uint8_t(note.note);
    record.midi[2] = uint8_t(note.velocity);
    return ring->holdEvent(&record, hdAppend);
}

bool Synth::holdUserMessage(const char* title, const char* text)
{
    TESSEL_ASSERT_NOT_AUDIO_THREAD();
    if (!text)
        text = "";
    const size_t n = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(n));
    if (copy) {
        std::memcpy(copy, text, n);
        if (holdCmdtoGUI(Cmd::UserMessage, 0, 0, copy, const_cast<char*>(title), hdReplaceSame))
            return true; // a refused record has freed its copy
    }
    // The idle ring is full: the panel thread shows the message instead, so
    // it is neither lost nor shown where the caller would wait for it. Not
    // from the host's rendering thread, which must not wait on the queue's
    // lock or start its thread: there the message is dropped.
    if (mustNotWait())
        return false;
    panels.tell(title ? title : "", text);
    return true;
}

// ---------------------------------------------------------------------------
// Consumers

void Synth::drainRing(CmdBuffer_c* ring, void (Synth::*execute)(const HoldData_c&))
{
    if (!ring)
        return;
    HoldData_c record;
    for (int n = ring->getCount(); n > 0 && ring->unholdEvent(&record); n--)
        (this->*execute)(record);
}

void Synth::drainRTCmds()
{
    drainRing(cmdQueues.toRT, &Synth::processRTCmd);
}

void Synth::drainGUICmds()
{
    drainRing(cmdQueues.toGUI, &Synth::processGuiHoldBufferCmd);
}

void Synth::processRTCmd(const HoldData_c& record)
{
    switch (record.command) {
    case 0:
        return;
    case Cmd::NoteZones:
    case Cmd::NoteNoZones: {
        // No clamping: a note for an instrument that is not there is dropped.
        const int ins = record.index;
        if (instruments && ins >= 0 && ins < numInstruments && instruments[ins])
            instruments[ins]->processMidi(record.midi, record.command == Cmd::NoteZones);
        return;
    }
    case Cmd::MidiReset:
        MidiReset();
        return;
    case Cmd::NotesOff:
        if (record.index == 255)
            AllNotesOff();
        else
            AllNotesOff(record.index);
        return;
    case Cmd::ControllerSend:
        if (getSampleCounter() == 0)
            return;
        if (record.value == -1)
            sendParameterCC();
        else
            sendParameterCC(record.index, record.value);
        return;
    default: {
        // Everything else is the idle side's work. The second pointer and the
        // MIDI message stay behind; a message ('P') keeps its title.
        HoldData_c forward(record.command, record.index, record.value, record.ptr1,
                           record.command == Cmd::UserMessage ? record.ptr2 : nullptr);
        if (CmdBuffer_c* ring = cmdQueues.toGUI; !ring || !ring->holdEvent(&forward, hdAppend))
            dropMessage(forward);
        return;
    }
    }
}

void Synth::processGuiHoldBufferCmd(const HoldData_c& record)
{
    switch (record.command) {
    case 0:
        return;
    case Cmd::MeterValue: {
        // A meter value: p1 the part, p2 the value as a double.
        Part_c* part = static_cast<Part_c*>(record.ptr1);
        const double* value = static_cast<const double*>(record.ptr2);
        if (!part || !value)
            return;
        part->setPara01(record.index, record.value, static_cast<float>(*value));
        updateEditor(part, record.value, record.index, false);
        return;
    }
    case Cmd::MultiProgram:
        setMultiPrg(record.value);
        return;
    case Cmd::MultiBank:
        setMultiBnk(record.value);
        return;
    case Cmd::HostProgram:
        setProgramCore(record.value);
        return;
    case Cmd::InsProgram:
    case Cmd::InsProgramMidi:
        setInsPrg(record.index, record.value);
        return;
    case Cmd::InsBank:
    case Cmd::InsBankMidi:
        setInsBnk(record.index, record.value);
        return;
    case Cmd::ParaChangeFollowUp:
        postprocessParaChange(record.index, static_cast<Part_c*>(record.ptr1), record.value);
        return;
    case Cmd::EditIns:
        setEditIns(record.index);
        return;
    case Cmd::EditorRedraw:
        if (record.index < 0)
            updateEditor();
        else
            updateEditor(record.index, record.value != 0);
        return;
    case Cmd::EditorKey:
        if (EditorLink_i* link = editorLink())
            link->noteOn(false, NoteC_c::of(record.value / 128, record.value % 128, record.index));
        return;
    case Cmd::EditorKeysUp:
        if (EditorLink_i* link = editorLink())
            link->allNotesOff();
        return;
    case Cmd::UserMessage: {
        // Shown on the panel thread: this idle round (and whoever holds the
        // engine lock with it) never waits for the user.
        const char* title = static_cast<const char*>(record.ptr2);
        const char* text = static_cast<const char*>(record.ptr1);
        panels.tell(title ? title : "", text ? text : "");
        std::free(record.ptr1);
        return;
    }
    default:
        processGUICmd(record.command, record.index, record.value, record.ptr1);
        return;
    }
}

// ---------------------------------------------------------------------------
// The command entry

bool Synth::processGUICmd(int command, int index, int value, void* ptr)
{
    BusyScope busyScope(*this);
    const int ins = index == -1 ? getEditIns() : index;
    switch (command) {
    case Cmd::Key:
        return handleKey(value & 0xFF);
    case Cmd::LoadedPresetPath:
        // The path parameter `index` takes the preset last loaded into the
        // edited instrument.
        setParaPath(index, getLastLoadedPreset(getEditIns()));
        return true;
    case Cmd::NextPatch:
    case Cmd::PreviousPatch:
        nextPatchFile(ins, command == Cmd::NextPatch);
        return true;
    case Cmd::EditorSwitchBack:
        editorSwitchBack();
        return true;
    case Cmd::TriggerNote:
        if (ptr)
            triggerNote(index, *static_cast<const Note_c*>(ptr));
        return true;
    case Cmd::ClearLearn:
        if (learnTarget != -1)
            clearLearnAssignment(getEditIns(), learnTarget);
        return true;
    case Cmd::EditorModeOn:
    case Cmd::EditorModeOff:
        editorModeHook(command == Cmd::EditorModeOn);
        return true;
    case Cmd::ModWheel:
        return true; // the product class handles it; the engine has nothing to do
    default:
        return false;
    }
}

bool Synth::handleKey(int key)
{
    if (key == 13)
        return processGUICmd(Cmd::NextPatch, -1, 0, nullptr);
    if (key == 11)
        return processGUICmd(Cmd::PreviousPatch, -1, 0, nullptr);
    return false;
}

// ---------------------------------------------------------------------------
// Editor-facing calls

void Synth::tellUserSafe(const char* title, const char* message)
{
    TESSEL_ASSERT_NOT_AUDIO_THREAD();
    panels.tell(title ? title : "", message ? message : "");
}

void Synth::askUserLater(const char* question, const char* title, std::function<void(bool)> answered)
{
    TESSEL_ASSERT_NOT_AUDIO_THREAD();
    panels.ask(question ? question : "", title ? title : "", std::move(answered));
}

void Synth::updateActiveStep(int step)
{
    step = std::clamp(step, 0, 3);
    if (stepDisplayIndex[step] >= 0)
        updateEditor(stepDisplayIndex[step], false);
}

void Synth::showActivity(int i)
{
    if (activityBase >= 0 && activityStride >= 0)
        updateEditor(i * activityStride + activityBase, false);
}

void Synth::defineGlobalDisplay(int index, int low, int high, int mode, int extra)
{
    if (globalDisplayCount >= 2)
        return;
    globalDisplay[globalDisplayCount] = GlobalDisplay_t{index, low, high, mode, extra};
    globalDisplayCount++;
}

void Synth::setGlobalDisplayTo(int hostIndex)
{
    if (hostIndex < 0 || stride < 1)
        return;
    Part_c* part = nullptr;
    int para = -1;
    int ins = -1;
    if (!getPartParaIdx(hostIndex % stride, &part, &para, &ins))
        return;
    for (int d = 0; d < globalDisplayCount; d++)
        if (globalDisplay[d].low <= ins && ins < globalDisplay[d].high)
            setGlobalDisplayTo(d, hostIndex);
}

void Synth::setGlobalDisplayTo(int display, int hostIndex)
{
    if (display < 0 || display >= 2)
        return;
    const GlobalDisplay_t& d = globalDisplay[display];
    if (d.index == -1 || d.index == hostIndex)
        return;
    if (d.mode < 1)
        gloDispSingle(display, hostIndex);
    else
        gloDispMulti(display, hostIndex);
}

void Synth::triggerNote(int, Note_c)
{
    // The product class plays the note.
}

// ---------------------------------------------------------------------------
// Targets that later work completes. Each command stays in the table and
// reaches one of these; until its work is there, nothing happens. (The
// program and bank targets live in SynthPrograms.cpp, the preset-file ones
// in SynthPresets.cpp.)

void Synth::editorSwitchBack()
{
    if (EditorLink_i* link = editorLink())
        link->switchBack();
}

void Synth::editorModeHook(bool)
{
    // The editor: its mode hook comes with the editor work (empty there too).
}

void Synth::mouseUpAllControls()
{
    if (EditorLink_i* link = editorLink())
        link->mouseUpAllControls();
}
