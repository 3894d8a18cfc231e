// The engine's side of the voice table: freeing finished voices, quick
// fade-outs and the hard stop of an instrument's voices.
//
// Every body here runs on the audio thread, or on another thread only while
// Synth::hardNoteOff keeps the audio thread out of the engine. None of them
// allocates, waits or touches a file.
#include "Synth.h"

#include "Instrument.h"
#include "PolyNoteTable.h"
#include "SysGlo.h"

#if __has_include("Tone.h")
#include "Tone.h"
#define TESSEL_VOICES_CAN_FADE 1
#endif

#include <algorithm>
#include <atomic>
#include <new>

namespace {

// The table entry of voice (clamped to the table), or -1 without a table and
// for a voice freed already: a free voice belongs to nobody, so its last
// owner must not hear about it again.
int busyVoice(const PolyNoteTable_c* table, int voice)
{
    if (!table || table->getVoiceCount() < 1)
        return -1;
    const int v = std::clamp(voice, 0, table->getVoiceCount() - 1);
    return table->get(v)->state == NoteStateFree ? -1 : v;
}

// "NotesOn" of instrument ins follows its voices in use, and so does the
// activity display.
void showNotesOn(Synth& synth, int ins, const Instrument_c* instrument)
{
    if (!instrument || ins < 0)
        return;
    if (SynGloIns_c* settings = synth.getSynGloIns())
        settings->setParaVal(ins, SynGloInsPara::NotesOn, instrument->voicesInUse.load(std::memory_order_relaxed));
    synth.showActivity(ins);
}

} // namespace

Synth::VoiceTableOwner::~VoiceTableOwner()
{
    delete table;
}

// Thread: construction.
void Synth::createVoiceTable()
{
    if (!voiceTable.table)
        voiceTable.table = new (std::nothrow) PolyNoteTable_c(numVoices);
}

// Thread: audio, or inside hardNoteOff's hold.
void Synth::hardNoteOffCore(int ins)
{
    PolyNoteTable_c* table = getPolyNoteTable();
    if (!table || numInstruments < 1)
        return;
    ins = std::clamp(ins, 0, numInstruments - 1);
    // Held, released and fading voices alike stop at once, and their keys
    // show released.
    for (int v = 0; v < table->getVoiceCount(); ++v)
        if (table->isActive(v, ins, nullptr)) {
            NoteC_c note;
            if (table->getNote(v, &note))
                showKey(NoteC_c::of(note.note, 0, note.channel));
            finishVoice(v);
        }
}

// Thread: audio (an instrument rendering its voices), or hardNoteOffCore.
void Synth::finishVoice(int voice)
{
    PolyNoteTable_c* table = getPolyNoteTable();
    const int v = busyVoice(table, voice);
    if (v < 0)
        return;
    const PolyNote_t* entry = table->unusedNote(v);
    if (entry->ins)
        entry->ins->noteVanishes(v, entry->note);
    showNotesOn(*this, entry->instrument, entry->ins);
}

// Thread: audio.
void Synth::quickFadeOutVoice(int voice)
{
    PolyNoteTable_c* table = getPolyNoteTable();
    const int v = busyVoice(table, voice);
    if (v < 0)
        return;
    const PolyNote_t* entry = table->quickFadeOut(v);
    showNotesOn(*this, entry->instrument, entry->ins);
#ifdef TESSEL_VOICES_CAN_FADE
    if (voices && v < numVoices && voices[v]) {
        // The voice ramps to silence and then reports itself finished.
        voices[v]->quickFadeOut();
        return;
    }
#endif
    // No voice object that could ever report the end of the fade: free the
    // entry now, or it would stay fading and out of reach for good.
    finishVoice(v);
}

// Thread: audio.
void Synth::quickFadeOutIns(int ins)
{
    PolyNoteTable_c* table = getPolyNoteTable();
    if (!table || numInstruments < 1)
        return;
    ins = std::clamp(ins, 0, numInstruments - 1);
    // Each round takes one held or released voice out of reach of the next
    // lookup, so the count of voices bounds the rounds.
    for (int round = 0; round < table->getVoiceCount(); ++round) {
        const int v = table->findPolyNoteEntry(ins, PolyNoteTable_c::AnyNote, PolyNoteTable_c::AnyChannel);
        if (v < 0)
            break;
        quickFadeOutVoice(v);
    }
}
