#include "Instrument.h"

#include "InBuffer2.h"
#include "MidiBytes.h"
#include "OsLib.h"
#include "PolyNoteTable.h"
#include "SysGlo.h"
#include "Synth.h"
#include "Tone.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

// The instrument's construction, its event queue and the block render; the
// parser, notes and controllers are in InstrumentMidi.cpp, the clock, sync
// phases and modulation delay in InstrumentClock.cpp.

namespace {

// Release velocity of a note-off that was kept aside while the queue was full.
constexpr int PendingReleaseVelocity = 64;

int64_t systemMilliseconds()
{
    return OsLib_c::getMilliseconds();
}

// Hands every note-off kept aside to take(channel, note), channel by channel
// and note by note. A note-off leaves the set before take runs (take may
// reach the set itself) and goes back into it when take answers false.
template <class Take>
void offerPendingNoteOffs(uint64_t (&pending)[NumMidiChannels][NumMidiNotes / 64], Take take)
{
    for (int channel = 0; channel < NumMidiChannels; ++channel)
        for (int note = 0; note < NumMidiNotes; ++note) {
            uint64_t& bits = pending[channel][note / 64];
            const uint64_t bit = uint64_t{1} << (note % 64);
            if (!(bits & bit))
                continue;
            bits &= ~bit;
            if (!take(channel, note))
                bits |= bit;
        }
}

} // namespace

// ---------------------------------------------------------------------------
// Construction

Instrument_c::Instrument_c(int outputs) : outputCount(std::clamp(outputs, 1, 6)), clock(&systemMilliseconds)
{
    outEnd.store(outputCount);
    MidiCCReset();
    std::fill(std::begin(lastTriggered), std::end(lastTriggered), -1);
    std::memset(keyNote, -1, sizeof(keyNote));
    clearMR();
    for (int i = 0; i < NumSyncPhases; ++i) {
        syncPhase[i].store(0.0);
        syncEnable[i].store(false);
        syncRate[i].store(0.0);
    }
}

Instrument_c::~Instrument_c() = default;

void Instrument_c::setSampleRate(float rate)
{
    Part_c::setSampleRate(rate);
    updateSamplesPer16th();
}

void Instrument_c::resume()
{
    for (auto& phase : syncPhase)
        phase.store(0.0, std::memory_order_relaxed);
    Part_c::resume();
}

void Instrument_c::notifyBPMChange()
{
    updateSamplesPer16th();
}

void Instrument_c::updateSamplesPer16th()
{
    // 15 / tempo is a sixteenth note in seconds. A rate the clock cannot use
    // keeps the step it has.
    if (sampleRate <= 1000.0f)
        return;
    const double s = static_cast<double>(sampleRate) * 15.0 * RecBpm.load(std::memory_order_relaxed) *
                     resolution16th.load(std::memory_order_relaxed);
    if (std::isfinite(s) && s > 0.0)
        samplesPer16th.store(s, std::memory_order_relaxed);
}

void Instrument_c::create(Synth* s, int instrument, int voices, bool drumFlag)
{
    if (!s)
        return;
    sustained.reset();
    sustainedCapacity = 0;
    sustainedCount = 0;
    voices = std::max(voices, 0);
    voiceLimit.store(voices, std::memory_order_relaxed);
    mono.store(voices == 1, std::memory_order_relaxed);
    voiceCount = voices;
    synth = s;
    instrumentIndex = instrument;
    drum = drumFlag;
    const size_t room = static_cast<size_t>(voices) * SustainNotesPerVoice;
    sustained.reset(new (std::nothrow) NoteC_c[room > 0 ? room : 1]);
    if (!sustained)
        return; // the pedal then never holds notes back
    sustainedCapacity = static_cast<int>(room);
    MidiDataReset();
}

// ---------------------------------------------------------------------------
// The event queue

void Instrument_c::remindEvent(int offset, const unsigned char* message)
{
    if (!message || !receiveMIDI.load())
        return;
    // The other holders of the event lock (the audio thread's block, the
    // reception switch) keep it briefly; a program or sample load never does.
    eventLock.getWritePermission();
    int count = eventCount.load(std::memory_order_relaxed);
    if (count >= InstrumentEventCapacity && Midi::isNoteOff(message)) {
        // A full queue (a long load held the render lock, say) must not leave
        // a note hanging: a note-off takes the place of the note-on that would
        // be applied last, else of the last message that is no note-off.
        int victim = -1;
        for (int i = count - 1; i >= 0 && victim < 0; --i)
            if (Midi::isNoteOn(events[i].message))
                victim = i;
        for (int i = count - 1; i >= 0 && victim < 0; --i)
            if (!Midi::isNoteOff(events[i].message))
                victim = i;
        if (victim >= 0) {
            std::memmove(&events[victim], &events[victim + 1], sizeof(Event) * static_cast<size_t>(count - 1 - victim));
            --count;
        } else {
            // Nothing but note-offs: this one waits beside them and is
            // applied after them.
            const int channel = message[0] & 0x0F;
            const int note = message[1] & 0x7F;
            pendingNoteOffs[channel][note / 64] |= uint64_t{1} << (note % 64);
            anyPendingNoteOff = true;
        }
    }
    if (count < InstrumentEventCapacity) {
        // After every queued event with the same offset: arrival order holds
        // among equal offsets.
        int at = count;
        for (int i = 0; i < count; ++i)
            if (events[i].offset > offset) {
                at = i;
                break;
            }
        std::memmove(&events[at + 1], &events[at], sizeof(Event) * static_cast<size_t>(count - at));
        events[at].offset = offset;
        std::memcpy(events[at].message, message, 3);
        events[at].message[3] = 0;
        ++count;
    }
    eventCount.store(count, std::memory_order_relaxed);
    eventLock.releaseWritePermission();
}

void Instrument_c::applyPendingNoteOffs()
{
    if (!anyPendingNoteOff)
        return;
    anyPendingNoteOff = false;
    offerPendingNoteOffs(pendingNoteOffs, [this](int channel, int note) {
        const unsigned char off[3] = {static_cast<unsigned char>(Midi::NoteOff | channel),
                                      static_cast<unsigned char>(note), PendingReleaseVelocity};
        processMidi(off, false);
        return true;
    });
}

void Instrument_c::queuePendingNoteOffs()
{
    // Only after a refused block: every queued event then has offset 0 and
    // is older than the note-offs kept aside, which go behind them.
    int count = eventCount.load(std::memory_order_relaxed);
    bool left = false;
    offerPendingNoteOffs(pendingNoteOffs, [&](int channel, int note) {
        if (count >= InstrumentEventCapacity) {
            left = true;
            return false;
        }
        events[count].offset = 0;
        events[count].message[0] = static_cast<unsigned char>(Midi::NoteOff | channel);
        events[count].message[1] = static_cast<unsigned char>(note);
        events[count].message[2] = PendingReleaseVelocity;
        events[count].message[3] = 0;
        ++count;
        return true;
    });
    anyPendingNoteOff = left;
    eventCount.store(count, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------
// The block

void Instrument_c::render(int)
{
    activeFlag.store(voicesInUse.load(std::memory_order_relaxed) > 0, std::memory_order_relaxed);
}

void Instrument_c::processAll(int frames)
{
    processCore(frames);
}

void Instrument_c::processCore(int frames)
{
    if (!synth)
        return;
    frames = std::max(frames, 0);
    applyRequests();
    if (!activeFlag.load(std::memory_order_relaxed) && eventCount.load(std::memory_order_relaxed) == 0 &&
        !keepProcessing)
        return;
    position = 0;
    stretchRefused = false;
    if (!eventLock.getImmediateReadPermission())
        return; // the events wait for the next block
    const int count = eventCount.load(std::memory_order_relaxed);
    int next = 0;
    auto renderUpTo = [this](int end) {
        while (!stretchRefused && position < end) {
            const int before = position;
            renderBSL(checkFor16th(end - position));
            // A stretch that rendered nothing without being refused would
            // never end the block; it counts as refused.
            if (position == before)
                stretchRefused = true;
        }
    };
    // An event changes voices: it is applied under the render lock too, so
    // one that comes while a load holds the lock waits like the rendering.
    auto applyUnderRenderLock = [this](auto apply) {
        if (!renderLock.getImmediateReadPermission()) {
            stretchRefused = true;
            return;
        }
        apply();
        renderLock.releaseReadPermission();
    };
    while (next < count) {
        // An offset at or beyond the block is applied at its end; the host's
        // buffers are never rendered past.
        renderUpTo(std::clamp(events[next].offset, 0, frames));
        if (!stretchRefused)
            applyUnderRenderLock([&] { processMidi(events[next].message, true); });
        if (stretchRefused)
            break;
        ++next;
    }
    if (!stretchRefused)
        applyUnderRenderLock([this] { applyPendingNoteOffs(); });
    if (!stretchRefused)
        renderUpTo(frames);
    moveBuses(-1);
    if (stretchRefused) {
        // The render lock stayed busy: the rest of the block stays silent for
        // this instrument, and the events not yet applied are taken at the
        // start of the next block instead of being lost.
        const int left = count - next;
        std::memmove(&events[0], &events[next], sizeof(Event) * static_cast<size_t>(left));
        for (int i = 0; i < left; ++i)
            events[i].offset = 0;
        eventCount.store(left, std::memory_order_relaxed);
        queuePendingNoteOffs();
    } else {
        eventCount.store(0, std::memory_order_relaxed);
    }
    eventLock.releaseReadPermission();
}

void Instrument_c::moveBuses(int n)
{
    for (int i = 0;; ++i) {
        InBuffer2_c* bus = getInBus(i);
        if (!bus)
            break;
        n < 0 ? bus->resetOffs() : bus->incOffs(n);
    }
    for (int i = 0;; ++i) {
        InBuffer2_c* bus = getOutBuf(i);
        if (!bus)
            break;
        n < 0 ? bus->resetOffs() : bus->incOffs(n);
    }
}

void Instrument_c::renderBSLC(int frames)
{
    if (frames < 1)
        return;
    if (!renderLock.getImmediateReadPermission()) {
        stretchRefused = true;
        return;
    }
    const bool optional = optionalLock.getImmediateReadPermission();
    while (frames > 0) {
        const int piece = std::min(frames, MaxBlockSize);
        renderAll(piece);
        moveBuses(piece);
        position += piece;
        frames -= piece;
    }
    if (optional)
        optionalLock.releaseReadPermission();
    renderLock.releaseReadPermission();
}

void Instrument_c::renderBSL(int frames)
{
    renderBSLC(frames);
}

bool Instrument_c::renderVoice(int voice, int frames)
{
    // A voice slot the product left empty never finishes: nothing frees it
    // but a reset or a hard stop.
    Tone_c* tone = synth->getVoice(voice);
    return tone && tone->render(frames);
}

void Instrument_c::renderAll(int frames)
{
    if (!activeFlag.load(std::memory_order_relaxed)) {
        renderSyncPhase(frames);
        return;
    }
    if (!synth)
        return;
    prepareMIDICCValues(frames);
    // The piece buses start their cycle now, the voice buses before each
    // voice: those are listed once for the piece.
    const int buses = std::min(synth->getRegBufCount(), RegModBusCapacity);
    InBuffer2_c* voiceBuses[RegModBusCapacity];
    int voiceBusCount = 0;
    for (int i = 0; i < buses; ++i) {
        InBuffer2_c* bus = synth->getRegBuf(i);
        if (bus && bus->getFlagB())
            bus->prepCycle(frames);
        if (bus && bus->getFlagA())
            voiceBuses[voiceBusCount++] = bus;
    }
    if (PolyNoteTable_c* table = synth->getPolyNoteTable()) {
        int note = -1;
        for (int v = table->getFirstActiveNote(instrumentIndex, &note); v >= 0;
             v = table->getNextActiveNote(instrumentIndex, &note)) {
            currentVoice = v;
            for (int i = 0; i < voiceBusCount; ++i)
                voiceBuses[i]->prepCycle(frames);
            startMIDICCValues();
            if (renderVoice(v, frames))
                synth->finishVoice(v);
        }
    }
    currentVoice = -1;
    voicesRendered(frames);
    if (modDelaySteps > 0)
        delayModValues(frames);
    render(frames);
    syncMIDICCValues();
    renderSyncPhase(frames);
}

void Instrument_c::voicesRendered(int) {}

InBuffer2_c* Instrument_c::getInBus(int)
{
    return nullptr;
}

InBuffer2_c* Instrument_c::getOutBuf(int)
{
    return nullptr;
}

void Instrument_c::ReceiveMIDI(bool on)
{
    const bool was = receiveMIDI.exchange(on);
    if (!was || on)
        return;
    eventLock.getWritePermission();
    eventCount.store(0, std::memory_order_relaxed);
    std::memset(pendingNoteOffs, 0, sizeof(pendingNoteOffs));
    anyPendingNoteOff = false;
    eventLock.releaseWritePermission();
    // Released before the voices stop: the engine holds the audio thread out
    // meanwhile, and the audio thread must never wait on the event lock for it.
    if (synth)
        synth->hardNoteOff(instrumentIndex);
}
