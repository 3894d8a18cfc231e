#include "PolyNoteTable.h"

#include "Capacities.h"
#include "Instrument.h"
#include "OsLib.h"

#include <algorithm>
#include <atomic>
#include <new>

namespace {

bool channelMatches(int entryChannel, int channel)
{
    return channel == PolyNoteTable_c::AnyChannel || entryChannel == channel;
}

int inUseOf(const Instrument_c* ins)
{
    return ins->voicesInUse.load(std::memory_order_relaxed);
}

bool noteMatches(int entryNote, int note)
{
    return note == PolyNoteTable_c::AnyNote || entryNote == note;
}

// Entries store the channel as 0..15; a record from outside may carry
// anything.
int storedChannel(int channel)
{
    return std::clamp(channel, 0, NumMidiChannels - 1);
}

} // namespace

PolyNoteTable_c::PolyNoteTable_c(int voices)
    : clock(&OsLib_c::getMilliseconds)
{
    if (voices < 1)
        return;
    entries.reset(new (std::nothrow) PolyNote_t[static_cast<size_t>(voices)]);
    if (!entries)
        return;
    voiceCount = voices;
    for (int v = 0; v < voiceCount; ++v)
        clearEntry(entries[v]);
    initialized = true;
}

PolyNoteTable_c::~PolyNoteTable_c() = default;

void PolyNoteTable_c::setClock(Clock_t c)
{
    clock = c ? c : &OsLib_c::getMilliseconds;
}

int PolyNoteTable_c::clampVoice(int voice) const
{
    return std::clamp(voice, 0, voiceCount - 1);
}

void PolyNoteTable_c::clearEntry(PolyNote_t& e)
{
    e.state = NoteStateFree;
    e.instrument = -1;
    e.ins = nullptr;
    e.note = -1;
    e.velocity = -1;
    e.legato = false;
    e.onTime = -1;
    e.offTime = -1;
}

void PolyNoteTable_c::reset()
{
    for (int v = 0; v < voiceCount; ++v) {
        PolyNote_t& e = entries[v];
        if (e.ins) {
            e.ins->voicesInUse.store(0, std::memory_order_relaxed);
            e.ins->heldVoices.store(0, std::memory_order_relaxed);
        }
        clearEntry(e);
    }
    inUse = 0;
    held = 0;
    iterator = -2;
}

void PolyNoteTable_c::countOwner(Instrument_c* ins, int dInUse, int dHeld, bool started) const
{
    if (!ins)
        return;
    // Only the audio thread writes these; other threads only read them.
    auto step = [this](std::atomic<int>& n, int d) {
        n.store(std::clamp(n.load(std::memory_order_relaxed) + d, 0, voiceCount), std::memory_order_relaxed);
    };
    step(ins->voicesInUse, dInUse);
    step(ins->heldVoices, dHeld);
    if (started)
        ins->voiceStarted.store(true, std::memory_order_relaxed);
}

int PolyNoteTable_c::countOn(int channel) const
{
    int n = 0;
    for (int v = 0; v < voiceCount; ++v)
        if (entries[v].state == NoteStateOn && channelMatches(entries[v].channel, channel))
            ++n;
    return n;
}

void PolyNoteTable_c::switchState(int voice, NoteState_t state, Instrument_c* ins)
{
    if (!entries)
        return;
    PolyNote_t& e = entries[clampVoice(voice)];
    const NoteState_t from = e.state;
    if (state == NoteStateOn && !ins)
        return;
    // A free entry can only start a note; released or fading without ever
    // having been counted in use would leave the counts short for good.
    if (from == NoteStateFree && (state == NoteStateOff || state == NoteStateFading))
        return;

    Instrument_c* owner = e.ins;
    const bool fromGone = from == NoteStateOff || from == NoteStateFading;
    if (from == NoteStateFree && state == NoteStateOn) {
        inUse += 1;
        held += 1;
        countOwner(ins, +1, +1, true);
        ins->setFirstNoteFlag(e.channel, countOn(e.channel) == 0);
    } else if (from == NoteStateOn && state == NoteStateOn) {
        countOwner(owner, -1, -1, false);
        countOwner(ins, +1, +1, true);
        if (owner != ins)
            ins->setFirstNoteFlag(e.channel, countOn(e.channel) == 1);
    } else if (from == NoteStateOn && (state == NoteStateOff || state == NoteStateFading)) {
        held -= 1;
        countOwner(owner, 0, -1, false);
    } else if (from == NoteStateOn && state == NoteStateFree) {
        held -= 1;
        inUse -= 1;
        countOwner(owner, -1, -1, false);
    } else if (fromGone && state == NoteStateFree) {
        inUse -= 1;
        countOwner(owner, -1, 0, false);
    } else if (fromGone && state == NoteStateOn) {
        countOwner(owner, -1, 0, false);
        countOwner(ins, +1, +1, true);
        held += 1;
        ins->setFirstNoteFlag(e.channel, countOn(e.channel) == 0);
    }
    inUse = std::clamp(inUse, 0, voiceCount);
    held = std::clamp(held, 0, voiceCount);
    e.state = state;
}

template <class Filter>
int PolyNoteTable_c::oldest(NoteState_t state, int64_t t, Filter filter) const
{
    int best = -1;
    int64_t bestTime = 0;
    for (int v = 0; v < voiceCount; ++v) {
        const PolyNote_t& e = entries[v];
        if (e.state != state || !filter(e))
            continue;
        const int64_t time = state == NoteStateOff ? e.offTime : e.onTime;
        if (time > t)
            continue;
        // Strictly smaller: ties stay with the lower index.
        if (best < 0 || time < bestTime) {
            best = v;
            bestTime = time;
        }
    }
    return best;
}

int PolyNoteTable_c::reusePolyNote(int instrument, int note, int channel)
{
    if (!entries)
        return -1;
    const int64_t t = now();
    auto sameNote = [&](const PolyNote_t& e) {
        return e.instrument == instrument && e.note == note && channelMatches(e.channel, channel);
    };
    auto sameChannel = [&](const PolyNote_t& e) {
        return e.instrument == instrument && channelMatches(e.channel, channel);
    };
    auto anyEntry = [](const PolyNote_t&) { return true; };

    int v = oldest(NoteStateOff, t, sameNote);
    if (v < 0)
        v = oldest(NoteStateOff, t, sameChannel);
    if (v < 0)
        v = oldest(NoteStateOn, t, sameNote);
    if (v < 0)
        v = oldest(NoteStateOn, t, sameChannel);
    if (v < 0)
        v = oldest(NoteStateOff, t, anyEntry);
    if (v < 0)
        v = oldest(NoteStateOn, t, anyEntry);
    return v;
}

int PolyNoteTable_c::shutdownPolyNote(int instrument, int count)
{
    if (!entries)
        return -1;
    const int64_t t = now();
    auto ofInstrument = [&](const PolyNote_t& e) { return e.instrument == instrument; };
    int last = -1;
    for (int i = 0; i < count; ++i) {
        int v = oldest(NoteStateOff, t, ofInstrument);
        if (v < 0)
            v = oldest(NoteStateOn, t, ofInstrument);
        if (v < 0)
            break;
        switchState(v, NoteStateFree, nullptr);
        last = v;
    }
    return last;
}

int PolyNoteTable_c::noteOn(int instrument, Instrument_c* ins, int voiceLimit, NoteC_c note, bool* reused,
                            bool reuseReleasedFirst)
{
    if (!entries || !ins)
        return -1;
    bool reuse = true;
    const int limit = std::max(voiceLimit, 1);

    if (inUseOf(ins) > limit) {
        const int v = shutdownPolyNote(instrument, inUseOf(ins) - limit);
        if (v >= 0)
            ins->noteVanishes(v, entries[v].note);
    }

    int voice = -1;
    if (inUseOf(ins) < limit && findFreePolyNote() >= 0) {
        if (reuseReleasedFirst) {
            voice = findFreePolyNote(instrument, note.note, note.channel, &reuse);
        } else {
            voice = findFreePolyNote();
            reuse = false;
        }
    } else {
        voice = reusePolyNote(instrument, note.note, note.channel);
        // Told while the entry still holds the old state, so the instrument
        // can see whether the voice it loses was still held.
        if (voice >= 0)
            ins->noteVanishes(voice, entries[voice].note);
    }
    if (reused)
        *reused = reuse;
    if (voice < 0)
        return -1;
    setStateNoteOn(instrument, ins, voice, note);
    return voice;
}

void PolyNoteTable_c::setStateNoteOn(int instrument, Instrument_c* ins, int voice, NoteC_c note)
{
    if (!entries || !ins)
        return;
    const int v = clampVoice(voice);
    PolyNote_t& e = entries[v];
    const int channel = storedChannel(note.channel);
    ins->setFirstNoteFlag(channel, false);

    e.instrument = instrument;
    e.note = note.note;
    e.velocity = note.velocity;
    e.channel = channel;
    e.onTime = now();

    int64_t earliest = -1;
    for (int o = 0; o < voiceCount; ++o) {
        const PolyNote_t& other = entries[o];
        if (o == v || other.state != NoteStateOn || other.instrument != instrument || other.channel != channel)
            continue;
        if (earliest < 0 || other.onTime < earliest)
            earliest = other.onTime;
    }
    e.legato = earliest >= 0 && e.onTime - earliest > LegatoThresholdMs;

    switchState(v, NoteStateOn, ins);
    e.ins = ins;
}

int PolyNoteTable_c::noteOff(int instrument, NoteC_c note)
{
    if (!entries)
        return -1;
    for (int v = 0; v < voiceCount; ++v) {
        const PolyNote_t& e = entries[v];
        if (e.state == NoteStateOn && e.instrument == instrument && e.note == note.note &&
            channelMatches(e.channel, note.channel)) {
            setStateNoteOff(v, note.velocity);
            return v;
        }
    }
    return -1;
}

void PolyNoteTable_c::setStateNoteOff(int voice, int velocity)
{
    if (!entries)
        return;
    PolyNote_t& e = entries[clampVoice(voice)];
    if (e.state != NoteStateOn)
        return;
    e.offTime = now();
    e.velocity = velocity;
    switchState(voice, NoteStateOff, nullptr);
}

PolyNote_t* PolyNoteTable_c::quickFadeOut(int voice)
{
    if (!entries)
        return nullptr;
    switchState(voice, NoteStateFading, nullptr);
    return &entries[clampVoice(voice)];
}

PolyNote_t* PolyNoteTable_c::unusedNote(int voice)
{
    if (!entries)
        return nullptr;
    switchState(voice, NoteStateFree, nullptr);
    return &entries[clampVoice(voice)];
}

int PolyNoteTable_c::findPolyNoteEntry(int instrument, int note, int channel) const
{
    for (int v = 0; v < voiceCount; ++v) {
        const PolyNote_t& e = entries[v];
        if ((e.state == NoteStateOn || e.state == NoteStateOff) && e.instrument == instrument &&
            noteMatches(e.note, note) && channelMatches(e.channel, channel))
            return v;
    }
    return -1;
}

int PolyNoteTable_c::findFreePolyNote() const
{
    for (int v = 0; v < voiceCount; ++v)
        if (entries[v].state == NoteStateFree)
            return v;
    return -1;
}

int PolyNoteTable_c::findFreePolyNote(int instrument, int note, int channel, bool* reused) const
{
    for (int v = 0; v < voiceCount; ++v) {
        const PolyNote_t& e = entries[v];
        if (e.state == NoteStateOff && e.instrument == instrument && e.note == note &&
            channelMatches(e.channel, channel))
            return v;
    }
    if (reused)
        *reused = false;
    return findFreePolyNote();
}

int PolyNoteTable_c::findUsedPolyNote(int instrument, int note, int channel) const
{
    for (int v = 0; v < voiceCount; ++v) {
        const PolyNote_t& e = entries[v];
        if (e.state != NoteStateFree && e.instrument == instrument && e.note == note &&
            channelMatches(e.channel, channel))
            return v;
    }
    return -1;
}

bool PolyNoteTable_c::getNote(int voice, NoteC_c* note) const
{
    if (!entries || !note)
        return false;
    const PolyNote_t& e = entries[clampVoice(voice)];
    note->note = e.note;
    note->velocity = e.velocity;
    note->channel = e.channel;
    return true;
}

PolyNote_t* PolyNoteTable_c::get(int voice)
{
    return entries ? &entries[clampVoice(voice)] : nullptr;
}

const PolyNote_t* PolyNoteTable_c::get(int voice) const
{
    return entries ? &entries[clampVoice(voice)] : nullptr;
}

bool PolyNoteTable_c::isActive(int voice, int instrument, int* note) const
{
    if (!entries)
        return false;
    const PolyNote_t& e = entries[clampVoice(voice)];
    if (e.state == NoteStateFree || e.instrument != instrument)
        return false;
    if (note)
        *note = e.note;
    return true;
}

bool PolyNoteTable_c::isOn(int voice, int* instrument, int* note) const
{
    const PolyNote_t* e = get(voice);
    const bool on = e && e->state == NoteStateOn;
    if (instrument)
        *instrument = on ? e->instrument : -1;
    if (note)
        *note = on ? e->note : -1;
    return on;
}

int PolyNoteTable_c::scanActive(int instrument, int from, int* note)
{
    for (int v = std::max(from, 0); v < voiceCount; ++v) {
        const PolyNote_t& e = entries[v];
        if (e.state == NoteStateFree || e.instrument != instrument)
            continue;
        if (e.note == -1)
            break;
        iterator = v;
        if (note)
            *note = e.note;
        return v;
    }
    iterator = -2;
    return -2;
}

int PolyNoteTable_c::getFirstActiveNote(int instrument, int* note)
{
    if (inUse < 1) {
        iterator = -2; // a walk given up earlier cannot be continued
        return -3;
    }
    return scanActive(instrument, 0, note);
}

int PolyNoteTable_c::getNextActiveNote(int instrument, int* note)
{
    if (iterator == -2)
        return -1;
    return scanActive(instrument, iterator + 1, note);
}

int PolyNoteTable_c::getAmountNotesOn(int channel) const
{
    return entries ? countOn(channel) : 0;
}
