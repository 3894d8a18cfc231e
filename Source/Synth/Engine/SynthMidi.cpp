// Synth: MIDI from the host to the instruments, and the notes it starts and
// stops. The host's events are routed to every instrument listening on their
// channel; the instruments apply them on the audio thread at their frame and
// come back here to start a voice through the voice table, release it, cut
// voices of instruments that choke each other, and reset. Besides: mute and
// solo of instruments, the zone-overlap queries behind the cross-fades, and
// the engine's own controllers (NRPN program and bank stepping, learned
// controller assignments).
//
// Threads. Event delivery (processEvents, remindEvent) runs on the host's
// audio thread, or on a thread of its own in some hosts; it never waits: an
// instrument whose event lock is busy gets its events parked in arrival order
// (ParkedEvents.h) and handed on at the next delivery or the next block. The
// note operations, resets and fades run on the audio thread; MidiReset
// elsewhere keeps the audio thread out for its run (AudioHold), and stopping
// voices from another thread goes through hardNoteOff. Mute and solo run
// where the parameter change happens and only touch settings.
#include "Synth.h"
#include "EditorLink.h"
#include "MidiBytes.h"

#include "CmdBuffer.h"
#include "ECS2.h"
#include "Instrument.h"
#include "NRPN.h"
#include "PolyNoteTable.h"
#include "SysGlo.h"
#include "Tone.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int AllChannels = 16;   // "InsChIdx": every channel

// Choke modes (row 7).
constexpr int ChokeSelf = 1;       // " me": this instrument's voices fade, then the note starts
constexpr int ChokePrevious = 2;   // "prv"
constexpr int ChokeNext = 3;       // "nxt"
constexpr int ChokeGroupFirst = 4; // " 1 " .. " 5 ": every other instrument of the group
constexpr int ChokeGroupLast = 8;

// The voice table never hands out a released voice of the same note again
// before a free one.
constexpr bool ReuseReleasedVoice = false;

} // namespace

// ---------------------------------------------------------------------------
// Host events

int32_t Synth::processEvents(VstEvents* events)
{
    if (!events || events->numEvents < 1)
        return 1;
    AudioScope scope;
    // Raised before ready is looked at (docs/threads.md): a hold that clears
    // ready and then sees this clear knows no delivery is under way.
    inCallback.fetch_add(1);
    audioCounter.fetch_add(1, std::memory_order_relaxed);
    // Hosts hand a block's events before the block itself: the events of the
    // very first block would find the outputs unchecked and be lost, so
    // they are checked here as the block would.
    if (!ready.load() && resetting.load() == 0) {
        if (!outputsValidated)
            validateOutputs();
        checkSetFlagReady();
    }
    if (resetting.load() == 0 && ready.load() && acceptMIDI.load()) {
        // Events parked earlier go first: arrival order holds.
        deliverParkedEvents();
        for (int32_t i = 0; i < events->numEvents; ++i) {
            const VstEvent* event = events->events[i];
            if (!event || event->type != kVstMidiType)
                continue;
            const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
            unsigned char bytes[4];
            std::memcpy(bytes, midi->midiData, 4);
            remindEvent(midi->deltaFrames, bytes);
        }
    }
    inCallback.fetch_sub(1);
    return 1;
}

void Synth::remindEvent(int offset, const unsigned char* message)
{
    if (!message || !instruments || numInstruments < 1)
        return;
    // A data byte where the status belongs is no message.
    if (message[0] < Midi::StatusBit)
        return;
    if (message[0] >= Midi::System) {
        deliverEvent(0, offset, message);
        return;
    }
    const int channel = message[0] & 0x0F;
    // A release reaches every instrument: one that stopped listening on the
    // channel since the key went down must still let its note go, and one
    // holding no note there does nothing with it.
    const bool release = Midi::endsNotes(message);
    for (int i = 0; i < numInstruments; ++i)
        if (instruments[i] && (release || InsOnCh(channel, i)))
            deliverEvent(i, offset, message);
}

void Synth::deliverEvent(int ins, int offset, const unsigned char* message)
{
    if (!parkedEvents.empty())
        deliverParkedEvents();
    if (parkedEvents.empty() && handEvent(ins, offset, message))
        return;
    ParkedEvents_c::Event event;
    event.instrument = ins;
    event.offset = offset;
    event.stamp = getSampleCounter();
    std::memcpy(event.message, message, 3);
    event.message[3] = 0;
    // Dropped only when the room is used up; a note-off has more room than
    // anything else, so the notes already sounding can still end.
    parkedEvents.park(event, ParkedEvents_c::isNoteOff(message) ? ParkedEventCapacity : ParkedEventOtherLimit);
}

bool Synth::handEvent(int ins, int offset, const unsigned char* message)
{
    Instrument_c* instrument = instruments[ins];
    if (!instrument)
        return true; // nobody to give it to
    // Held here, the instrument's own (recursive) take of the lock never waits.
    if (!instrument->eventLock.getImmediateReadPermission())
        return false;
    // A full queue takes nothing more this block; the event waits for the
    // next instead of being dropped.
    const bool room = instrument->getEventCount() < InstrumentEventCapacity;
    if (room)
        instrument->remindEvent(offset, message);
    instrument->eventLock.releaseReadPermission();
    return room;
}

void Synth::deliverParkedEvents()
{
    if (parkedEvents.empty() || !instruments || !parkedEvents.beginTake())
        return;
    const uint32_t now = getSampleCounter();
    while (const ParkedEvents_c::Event* event = parkedEvents.front()) {
        const int ins = event->instrument;
        Instrument_c* instrument = ins >= 0 && ins < numInstruments ? instruments[ins] : nullptr;
        if (instrument) {
            // Parked before a block ran: its frame was in that block, which is
            // over; it is applied at the start of the coming one.
            const int offset = event->stamp == now ? event->offset : 0;
            // Busy or full: what waits keeps its place for a later round.
            if (!handEvent(ins, offset, event->message))
                break;
        }
        parkedEvents.pop();
    }
    parkedEvents.endTake();
}

void Synth::clearParkedEvents()
{
    if (!parkedEvents.beginTake())
        return;
    while (parkedEvents.front())
        parkedEvents.pop();
    parkedEvents.endTake();
}

bool Synth::InsOnCh(int channel, int ins)
{
    if (numInstruments < 1)
        return false;
    ins = std::clamp(ins, 0, numInstruments - 1);
    const SynGloIns_c* settings = getSynGloIns();
    const int listens = settings ? settings->getParaVal(ins, SynGloInsPara::InsChIdx) : AllChannels;
    return listens == AllChannels || listens == std::clamp(channel, 0, NumMidiChannels - 1);
}

bool Synth::InstrumentWants(int ins, NoteC_c note)
{
    if (numInstruments < 1 || !InsOnCh(note.channel, ins))
        return false;
    ins = std::clamp(ins, 0, numInstruments - 1);
    const SynGloIns_c* settings = getSynGloIns();
    if (!settings)
        return true;
    return settings->getParaVal(ins, SynGloInsPara::NoteLo) <= note.note && note.note <= settings->getParaVal(ins, SynGloInsPara::NoteHi) &&
           settings->getParaVal(ins, SynGloInsPara::VeloLo) <= note.velocity &&
           note.velocity <= settings->getParaVal(ins, SynGloInsPara::VeloHi);
}

// ---------------------------------------------------------------------------
// Notes

void Synth::showVoicesInUse(int ins)
{
    Instrument_c* instrument = getInstPtr(ins);
    if (!instrument)
        return;
    if (SynGloIns_c* settings = getSynGloIns())
        settings->setParaVal(ins, SynGloInsPara::NotesOn, instrument->voicesInUse.load(std::memory_order_relaxed));
    showActivity(ins);
}

int Synth::noteOn(int ins, NoteC_c note, NoteC_c trigger)
{
    if (numInstruments < 1)
        return -1;
    ins = std::clamp(ins, 0, numInstruments - 1);
    Instrument_c* instrument = instruments ? instruments[ins] : nullptr;
    PolyNoteTable_c* table = getPolyNoteTable();
    if (!instrument || !table)
        return -1;
    if (getItemMute(ins, false))
        return -1;
    bool reused = false;
    const int voice = table->noteOn(ins, instrument, instrument->getVoiceLimit(), note, &reused, ReuseReleasedVoice);
    if (voice < 0)
        return -1;
    showVoicesInUse(ins);
    showKey(note);
    const int channel = std::clamp(note.channel, 0, NumMidiChannels - 1);
    // The first note of a channel sees itself as the previous note.
    if (instrument->getLastTriggered(channel) == -1)
        instrument->setLastTriggered(channel, note.note);
    prepProc(ins, voice, reused, trigger);
    instrument->setLastTriggered(channel, note.note);
    return voice;
}

void Synth::prepProc(int ins, int voice, bool reused, NoteC_c trigger)
{
    if (numInstruments < 1)
        return;
    ins = std::clamp(ins, 0, numInstruments - 1);
    Instrument_c* instrument = instruments ? instruments[ins] : nullptr;
    PolyNoteTable_c* table = getPolyNoteTable();
    if (!instrument || !table || voice < 0 || voice >= table->getVoiceCount())
        return;
    NoteC_c note;
    if (!table->getNote(voice, &note))
        return;
    Tone_c* tone = voices && voice < numVoices ? voices[voice] : nullptr;
    if (!tone)
        return;
    if (numInstruments >= 2)
        tone->setFadeVolume(getFadeVolume(ins, trigger));
    const bool legato = reused && (instrument->getLegato() && instrument->getStillHeld()) && instrument->getVoiceLimit() < 2;
    tone->prepProc(ins, note, reused, legato);
}

void Synth::noteOff(int ins, NoteC_c note)
{
    if (numInstruments < 1)
        return;
    ins = std::clamp(ins, 0, numInstruments - 1);
    PolyNoteTable_c* table = getPolyNoteTable();
    if (!table || !instruments || !instruments[ins])
        return;
    // The key shows released, stolen or not.
    showKey(NoteC_c::of(note.note, 0, note.channel));
    const int voice = table->noteOff(ins, note);
    if (voice < 0)
        return;
    showVoicesInUse(ins);
    if (voices && voice < numVoices && voices[voice]) {
        Note_c release;
        release.note = note.note;
        release.velocity = note.velocity;
        voices[voice]->NoteOff(ins, release);
    }
}

void Synth::DrumNoteOn(int ins, NoteC_c note, NoteC_c trigger)
{
    if (numInstruments < 1)
        return;
    ins = std::clamp(ins, 0, numInstruments - 1);
    const SynGloIns_c* settings = getSynGloIns();
    const int choke = settings ? settings->getParaVal(ins, SynGloInsPara::Choke) : 0;
    if (choke == ChokeSelf) {
        quickFadeOutIns(ins);
        noteOn(ins, note, trigger);
        return;
    }
    noteOn(ins, note, trigger);
    const int n = numInstruments;
    if (choke == ChokePrevious) {
        quickFadeOutIns((ins + n - 1) % n);
    } else if (choke == ChokeNext) {
        // With one instrument that is this one: the new note fades too.
        quickFadeOutIns((ins + 1) % n);
    } else if (choke >= ChokeGroupFirst && choke <= ChokeGroupLast) {
        for (int k = 0; k < n; ++k)
            if (k != ins && settings->getParaVal(k, SynGloInsPara::Choke) == choke)
                quickFadeOutIns(k);
    }
}

void Synth::AllNotesOff()
{
    releaseHeldVoices(-1);
    forgetMonoKeys(-1);
    if (EditorLink_i* link = editorLink()) {
        if (mustNotWait())
            holdCmdtoGUI(Cmd::EditorKeysUp, 0, 0, nullptr, nullptr, hdKeepFirst);
        else
            link->allNotesOff();
    }
}

void Synth::AllNotesOff(int ins)
{
    if (numInstruments < 1)
        return;
    ins = std::clamp(ins, 0, numInstruments - 1);
    forgetMonoKeys(ins);
    PolyNoteTable_c* table = getPolyNoteTable();
    if (!table || table->getInUse() == 0)
        return;
    releaseHeldVoices(ins);
}

void Synth::forgetMonoKeys(int ins)
{
    // Every key counts as released, also one whose voice a later key took:
    // a mono memory left holding it would bring it back at the next release
    // and keep it sounding, its own release having come and gone (or gone to
    // an arpeggiator the notes-off switched to).
    for (int i = 0; instruments && i < numInstruments; ++i)
        if (instruments[i] && (ins < 0 || i == ins))
            instruments[i]->clearMR();
}

void Synth::releaseHeldVoices(int ins)
{
    PolyNoteTable_c* table = getPolyNoteTable();
    if (!table)
        return;
    // Every entry, free ones skipped: a held voice behind a free entry must
    // end too. Released voices keep their release.
    for (int v = 0; v < table->getVoiceCount(); ++v) {
        const PolyNote_t* entry = table->get(v);
        if (entry->state != NoteStateOn || !entry->ins || (ins >= 0 && entry->instrument != ins))
            continue;
        Instrument_c* owner = entry->ins;
        const int owned = entry->instrument;
        NoteC_c note;
        table->getNote(v, &note);
        noteOff(owned, note);
        owner->clearMonoNoteOff(note);
    }
}

void Synth::MidiReset()
{
    // Elsewhere than on the audio thread the block stays out meanwhile (on
    // it the hold does nothing).
    AudioHold hold(*this);
    for (int i = 0; instruments && i < numInstruments; ++i) {
        if (!instruments[i])
            break;
        instruments[i]->MidiReset();
    }
    // (Effect units, which this engine builds none of, would reset here.)
    AllNotesOff();
    if (PolyNoteTable_c* table = getPolyNoteTable())
        table->reset();
    // "NotesOn" follows the emptied table.
    if (SynGloIns_c* settings = getSynGloIns())
        for (int i = 0; i < numInstruments; ++i)
            settings->setParaVal(i, SynGloInsPara::NotesOn, 0);
    if (cmdQueues.toRT)
        cmdQueues.toRT->resetMIDI();
    clearParkedEvents();
    sysExclusive = false;
}

void Synth::processMidiFx(const unsigned char* message)
{
    if (!message)
        return;
    switch (message[0]) {
    case 0xFF: // system reset
        MidiReset();
        return;
    case Midi::System:
        sysExclusive = true;
        return;
    case 0xF7:
        sysExclusive = false;
        return;
    default:
        return;
    }
}

// ---------------------------------------------------------------------------
// The engine's controllers

void Synth::processMidiCC(const unsigned char* message)
{
    if (!message)
        return;
    const int channel = message[0] & 0x0F;
    const int controller = message[1] & 0x7F;
    const int value = message[2] & 0x7F;
    int number = controller;
    int data = value;
    if (nrpn && nrpn->decode(channel, &number, &data)) {
        // A completed NRPN data entry is the stepping's alone. The current
        // program and bank are those of the edited instrument.
        const int edited = getEditIns();
        const SynGloIns_c* settings = getSynGloIns();
        const int program = settings ? settings->getParaVal(edited, SynGloInsPara::Program) : 0;
        const int bank = settings ? settings->getParaVal(edited, SynGloInsPara::Bank) : 0;
        int command = 0;
        int target = 0;
        if (NRPN_c::programStep(number, data, program, bank, &command, &target))
            holdCmdtoGUI(command, edited, target, nullptr, nullptr, hdReplaceSame);
        return;
    }
    if (ecs && ecs->isLearning())
        ecs->processCC(channel, controller, value);
    CCsetParameter(channel, controller, value);
}

// ---------------------------------------------------------------------------
// Mute and solo

// An instrument's Mute or Solo lives in the instruments' settings part
// (0 without it).
int Synth::getInsMuteSolo(int item, int para) const
{
    const SynGloIns_c* settings = getSynGloIns();
    return settings ? settings->getParaVal(item, para) : 0;
}

void Synth::setInsMuteSolo(int item, int para, int on)
{
    if (SynGloIns_c* settings = getSynGloIns())
        settings->setParaVal(item, para, on ? 1 : 0);
}

int Synth::getItemMute(int item, bool group)
{
    return group ? getGrpMute(item) : getInsMuteSolo(item, SynGloInsPara::Mute);
}

int Synth::getItemSolo(int item, bool group)
{
    return group ? getGrpSolo(item) : getInsMuteSolo(item, SynGloInsPara::Solo);
}

void Synth::setItemMute(int item, bool group, int on)
{
    if (group)
        setGrpMute(item, on);
    else
        setInsMuteSolo(item, SynGloInsPara::Mute, on);
}

void Synth::setItemSolo(int item, bool group, int on)
{
    if (group)
        setGrpSolo(item, on);
    else
        setInsMuteSolo(item, SynGloInsPara::Solo, on);
}

// Instrument groups hold no mute or solo in this engine.
int Synth::getGrpMute(int)
{
    return 0;
}

int Synth::getGrpSolo(int)
{
    return 0;
}

void Synth::setGrpMute(int, int) {}
void Synth::setGrpSolo(int, int) {}

void Synth::consistentMuteSolo(int item, bool soloChanged, int first, int last, bool group)
{
    if (!muteSoloEnabled.load() || item < first || item > last || !muteSoloScratch || item >= numInstruments)
        return;
    first = std::max(first, 0);
    last = std::min(last, numInstruments - 1);
    // Two writers must not interleave their passes; the audio thread (a
    // host automating there) never waits and leaves the pass to the next change.
    const bool audio = onAudioThread();
    if (audio ? !muteSoloLock.getImmediateReadPermission() : !muteSoloLock.getWritePermission())
        return;
    std::atomic<int>& count = soloCount[group ? 1 : 0];
    const int old = count.load();
    if (old < 1 && soloChanged)
        for (int k = first; k <= last; ++k)
            muteSoloScratch[k] = getItemMute(k, group);
    if (soloChanged) {
        setItemMute(item, group, !getItemSolo(item, group));
    } else if (getItemMute(item, group)) {
        setItemSolo(item, group, 0);
    } else {
        for (int k = first; k <= last; ++k)
            if (getItemSolo(k, group)) {
                setItemSolo(item, group, 1);
                break;
            }
    }
    int soloed = 0;
    for (int k = first; k <= last; ++k)
        soloed += getItemSolo(k, group) ? 1 : 0;
    if (soloed > 0) {
        for (int k = first; k <= last; ++k)
            if (k != item)
                setItemMute(k, group, !getItemSolo(k, group));
    } else if (old >= 1) {
        // The last solo went: the mutes from before the first solo return.
        for (int k = first; k <= last; ++k)
            if (soloChanged || k != item)
                setItemMute(k, group, muteSoloScratch[k]);
    }
    count.store(soloed);
    if (audio)
        muteSoloLock.releaseReadPermission();
    else
        muteSoloLock.releaseWritePermission();
    updateEditor();
}

// ---------------------------------------------------------------------------
// Zone overlaps

bool Synth::zoneOverlaps(int self, int other)
{
    const SynGloIns_c* settings = getSynGloIns();
    if (!settings || other == self || settings->getParaVal(other, SynGloInsPara::Mute))
        return false;
    // A zone over every note and velocity overlaps everything: it is no
    // neighbour to fade against.
    return !(settings->getParaVal(other, SynGloInsPara::NoteLo) == 0 && settings->getParaVal(other, SynGloInsPara::NoteHi) == 127 &&
             settings->getParaVal(other, SynGloInsPara::VeloLo) == 1 && settings->getParaVal(other, SynGloInsPara::VeloHi) == 127);
}

int Synth::overlapBelow(int self, int value, int loRow, int hiRow)
{
    const SynGloIns_c* settings = getSynGloIns();
    int found = value - 1;
    bool any = false;
    for (int k = 0; settings && k < numInstruments; ++k) {
        if (!zoneOverlaps(self, k))
            continue;
        const int lo = settings->getParaVal(k, loRow);
        const int hi = settings->getParaVal(k, hiRow);
        if (lo < value && value <= hi && (!any || hi > found)) {
            found = hi;
            any = true;
        }
    }
    return found;
}

int Synth::overlapAbove(int self, int value, int loRow, int hiRow)
{
    const SynGloIns_c* settings = getSynGloIns();
    int found = value + 1;
    bool any = false;
    for (int k = 0; settings && k < numInstruments; ++k) {
        if (!zoneOverlaps(self, k))
            continue;
        const int lo = settings->getParaVal(k, loRow);
        const int hi = settings->getParaVal(k, hiRow);
        if (lo <= value && value < hi && (!any || lo < found)) {
            found = lo;
            any = true;
        }
    }
    return found;
}

int Synth::getOverlapNoteLo(int ins, int note)
{
    return overlapBelow(ins, note, SynGloInsPara::NoteLo, SynGloInsPara::NoteHi);
}

int Synth::getOverlapNoteHi(int ins, int note)
{
    return overlapAbove(ins, note, SynGloInsPara::NoteLo, SynGloInsPara::NoteHi);
}

int Synth::getOverlapVeloLo(int ins, int velo)
{
    return overlapBelow(ins, velo, SynGloInsPara::VeloLo, SynGloInsPara::VeloHi);
}

int Synth::getOverlapVeloHi(int ins, int velo)
{
    return overlapAbove(ins, velo, SynGloInsPara::VeloLo, SynGloInsPara::VeloHi);
}
