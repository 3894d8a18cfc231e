#include "Instrument.h"

#include "InBuffer2.h"
#include "OsLib.h"
#include "PolyNoteTable.h"
#include "SysGlo.h"
#include "Synth.h"
#include "Tone.h"

#include <cmath>
#include <cstring>
#include <new>

namespace {

// MIDI status kinds (status & 0xF0) and the controllers the instrument reads.
constexpr int MidiNoteOff = 0x80;
constexpr int MidiNoteOn = 0x90;
constexpr int MidiPolyPressure = 0xA0;
constexpr int MidiControl = 0xB0;
constexpr int MidiProgram = 0xC0;
constexpr int MidiChannelPressure = 0xD0;
constexpr int MidiPitchBend = 0xE0;
constexpr int MidiSystem = 0xF0;

constexpr int CCBankSelectMSB = 0;
constexpr int CCModWheel = 1;
constexpr int CCBreath = 2;
constexpr int CCFoot = 4;
constexpr int CCDataEntry = 6;
constexpr int CCVolume = 7;
constexpr int CCPan = 10;
constexpr int CCExpression = 11;
constexpr int CCGeneral1 = 16;
constexpr int CCGeneral4 = 19;
constexpr int CCBankSelectLSB = 32;
constexpr int CCSustain = 64;
constexpr int CCNRPNLSB = 98;
constexpr int CCNRPNMSB = 99;
constexpr int CCRPNLSB = 100;
constexpr int CCRPNMSB = 101;
constexpr int CCResetAll = 121;
constexpr int CCAllNotesOff = 123; // 123..127 all lead to all notes off
constexpr int SustainDownFrom = 32; // pedal values from here count as down

// Commands to the idle side: a program or bank request of an instrument,
// and the modulation wheel's value for the editor.
constexpr int CmdProgram = 'M';
constexpr int CmdBank = 'N';
constexpr int CmdModWheel = 91;

// Rows of the instrument settings ('SYG1') the pitch-bend range RPN writes.
constexpr int SynGloInsBendUp = 12;
constexpr int SynGloInsBendDown = 25;
constexpr int BendDownLink = -1; // "link": the down range follows the up range

// Notes reach a voice within 0..NoteFoldTop: a transposed note above it
// drops by octaves.
constexpr int NoteFoldTop = 120;
// Release velocity of a note-off that was kept aside while the queue was full.
constexpr int PendingReleaseVelocity = 64;

// The clock's resolution bounds (1 = sixteenth notes).
constexpr double Resolution16thMin = 0.0833;
constexpr double Resolution16thMax = 16.01;

// Below this magnitude a smoothed controller value is 0.
constexpr float SmoothFloor = 1e-5f;

bool isNoteOffMessage(const unsigned char* m)
{
    const int kind = m[0] & 0xF0;
    return kind == MidiNoteOff || (kind == MidiNoteOn && (m[2] & 0x7F) == 0);
}

bool isNoteOnMessage(const unsigned char* m)
{
    return (m[0] & 0xF0) == MidiNoteOn && (m[2] & 0x7F) != 0;
}

int64_t systemMilliseconds()
{
    return OsLib_c::getMilliseconds();
}

// x reduced into 0..1 by whole cycles (1 stays 1); non-finite values give 0.
double wrapPhase(double x)
{
    if (!std::isfinite(x))
        return 0.0;
    if (x > 1.0)
        x -= std::ceil(x - 1.0);
    if (x < 0.0)
        x -= std::floor(x);
    return std::clamp(x, 0.0, 1.0);
}

// x mod 1 into 0..1 (a negative x wraps upwards).
double mod1(double x)
{
    return x - std::floor(x);
}

NoteC_c noteRecord(int note, int velocity, int channel)
{
    NoteC_c n;
    n.note = note;
    n.velocity = velocity;
    n.channel = channel;
    return n;
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
    if (count >= InstrumentEventCapacity && isNoteOffMessage(message)) {
        // A full queue (a long load held the render lock, say) must not leave
        // a note hanging: a note-off takes the place of the note-on that would
        // be applied last, else of the last message that is no note-off.
        int victim = -1;
        for (int i = count - 1; i >= 0 && victim < 0; --i)
            if (isNoteOnMessage(events[i].message))
                victim = i;
        for (int i = count - 1; i >= 0 && victim < 0; --i)
            if (!isNoteOffMessage(events[i].message))
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
    for (int channel = 0; channel < NumMidiChannels; ++channel)
        for (int note = 0; note < NumMidiNotes; ++note) {
            uint64_t& bits = pendingNoteOffs[channel][note / 64];
            const uint64_t bit = uint64_t{1} << (note % 64);
            if (!(bits & bit))
                continue;
            bits &= ~bit;
            const unsigned char off[3] = {static_cast<unsigned char>(MidiNoteOff | channel),
                                          static_cast<unsigned char>(note), PendingReleaseVelocity};
            processMidi(off, false);
        }
}

void Instrument_c::queuePendingNoteOffs()
{
    // Only after a refused block: every queued event then has offset 0 and
    // is older than the note-offs kept aside, which go behind them.
    int count = eventCount.load(std::memory_order_relaxed);
    bool left = false;
    for (int channel = 0; channel < NumMidiChannels; ++channel)
        for (int note = 0; note < NumMidiNotes; ++note) {
            uint64_t& bits = pendingNoteOffs[channel][note / 64];
            const uint64_t bit = uint64_t{1} << (note % 64);
            if (!(bits & bit))
                continue;
            if (count >= InstrumentEventCapacity) {
                left = true;
                continue;
            }
            bits &= ~bit;
            events[count].offset = 0;
            events[count].message[0] = static_cast<unsigned char>(MidiNoteOff | channel);
            events[count].message[1] = static_cast<unsigned char>(note);
            events[count].message[2] = PendingReleaseVelocity;
            events[count].message[3] = 0;
            ++count;
        }
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
    const int buses = synth->getRegBufCount();
    for (int i = 0; i < buses; ++i)
        if (InBuffer2_c* bus = synth->getRegBuf(i); bus && bus->getFlagB())
            bus->prepCycle(frames);
    if (PolyNoteTable_c* table = synth->getPolyNoteTable()) {
        int note = -1;
        for (int v = table->getFirstActiveNote(instrumentIndex, &note); v >= 0;
             v = table->getNextActiveNote(instrumentIndex, &note)) {
            currentVoice = v;
            for (int i = 0; i < buses; ++i)
                if (InBuffer2_c* bus = synth->getRegBuf(i); bus && bus->getFlagA())
                    bus->prepCycle(frames);
            startMIDICCValues();
            if (renderVoice(v, frames))
                synth->finishVoice(v);
        }
    }
    currentVoice = -1;
    if (modDelaySteps > 0)
        delayModValues(frames);
    render(frames);
    syncMIDICCValues();
    renderSyncPhase(frames);
}

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

// ---------------------------------------------------------------------------
// The parser

void Instrument_c::processMidi(const unsigned char* message, bool checkZones)
{
    if (!synth || !message || !receiveMIDI.load())
        return;
    applyRequests();
    const int status = message[0];
    const int kind = status & 0xF0;
    const int channel = status & 0x0F;
    const int data1 = message[1] & 0x7F;
    const int data2 = message[2] & 0x7F;
    // The engine's entries take a message they may not change.
    unsigned char copy[4] = {message[0], message[1], message[2], 0};
    if (kind == MidiControl) {
        if (data1 == CCBankSelectMSB)
            return;
        if (data1 == CCBankSelectLSB) {
            synth->holdCmdtoGUI(CmdBank, instrumentIndex, data2);
            return;
        }
        if (data1 >= CCAllNotesOff) {
            AllNotesOff(channel);
            return;
        }
        if (instrumentIndex == 0)
            synth->processMidiCC(copy);
        processMidiCC(channel, data1, data2);
        return;
    }
    switch (kind) {
    case MidiNoteOff:
        noteOff(noteRecord(data1, data2, channel));
        break;
    case MidiNoteOn:
        if (data2 == 0) {
            noteOff(noteRecord(data1, 0, channel));
            break;
        }
        if (checkZones && !synth->InstrumentWants(instrumentIndex, noteRecord(data1, data2, channel)))
            break;
        noteOn(noteRecord(data1, data2, channel));
        lastNote = static_cast<float>(data1) * (1.0f / 127.0f);
        break;
    case MidiPolyPressure:
        if (receiveAT.load(std::memory_order_relaxed)) {
            PolyNoteTable_c* table = synth->getPolyNoteTable();
            const int voice = table ? table->findPolyNoteEntry(instrumentIndex,
                                                               startedNote(noteRecord(data1, 0, channel)), channel)
                                    : -1;
            if (Tone_c* tone = voice >= 0 ? synth->getVoice(voice) : nullptr)
                tone->setPolyAftertouch(static_cast<float>(data2) * (1.0f / 127.0f));
        }
        break;
    case MidiProgram:
        synth->holdCmdtoGUI(CmdProgram, instrumentIndex, data1);
        break;
    case MidiChannelPressure:
        if (receiveAT.load(std::memory_order_relaxed))
            setMIDIGlobalAftertouch(static_cast<float>(data1) * (1.0f / 127.0f));
        break;
    case MidiPitchBend:
        if (receivePW.load(std::memory_order_relaxed)) {
            // Both ends reach -1 and +1 exactly, and the centre is exactly 0.
            const int v = data2 * 128 + data1;
            if (v < 8192)
                pitchBendTarget = static_cast<float>(v) / 8192.0f - 1.0f;
            else if (v == 8192)
                pitchBendTarget = 0.0f;
            else
                pitchBendTarget = static_cast<float>(v - 8192) / 8191.0f;
        }
        break;
    case MidiSystem:
        synth->processMidiFx(copy);
        break;
    default: // a data byte where a status should be: nothing to do
        break;
    }
    // Any message but a controller completes an RPN pair.
    rpnComplete = true;
}

// ---------------------------------------------------------------------------
// Notes

int Instrument_c::transpose(int note, int semitones)
{
    int64_t t = int64_t{note} + semitones;
    if (t > NoteFoldTop)
        t -= 12 * ((t - NoteFoldTop + 11) / 12);
    if (t < 0)
        t += 12 * ((-t + 11) / 12);
    return static_cast<int>(t);
}

int Instrument_c::startedNote(const NoteC_c& note) const
{
    if (note.note >= 0 && note.note < NumMidiNotes && note.channel >= 0 && note.channel < NumMidiChannels) {
        const int started = keyNote[note.channel][note.note];
        if (started >= 0)
            return started;
    }
    return transpose(note.note, transposition.load(std::memory_order_relaxed));
}

void Instrument_c::noteOn(NoteC_c note)
{
    Sync();
    noteOnCore(note, note);
}

int Instrument_c::noteOnCore(NoteC_c played, NoteC_c trigger)
{
    if (!synth)
        return -1;
    if (!activeFlag.load(std::memory_order_relaxed)) {
        // The first note after silence hears the controllers where they are,
        // not where the smoothing left them.
        for (int k = 0; k < ccSmoothedCount; ++k)
            smoothedCurrent(k) = smoothedTarget(k);
        activeFlag.store(true, std::memory_order_relaxed);
    }
    const int t = transpose(played.note, transposition.load(std::memory_order_relaxed));
    NoteC_c record = noteRecord(t, played.velocity, played.channel);
    if (played.note >= 0 && played.note < NumMidiNotes && played.channel >= 0 && played.channel < NumMidiChannels)
        keyNote[played.channel][played.note] = static_cast<int8_t>(t);
    int voice = -1;
    if (drum) {
        synth->DrumNoteOn(instrumentIndex, record, trigger);
    } else {
        if (mono.load(std::memory_order_relaxed)) {
            if (legato.load(std::memory_order_relaxed))
                record.velocity = getLegatoVelocity(played);
            monoTime[t] = now();
            monoNote[t] = record;
        }
        voice = synth->noteOn(instrumentIndex, record, trigger);
    }
    alternate = -alternate;
    stillHeld = false;
    return voice;
}

void Instrument_c::noteOff(NoteC_c note)
{
    const int channel = std::clamp(note.channel, 0, NumMidiChannels - 1);
    if (sustainPedal[channel] && sustainNote(note))
        return;
    noteOffCore(note);
}

void Instrument_c::noteOffCore(NoteC_c note)
{
    if (!synth)
        return;
    // The note this key started, not what the transposition makes of it now.
    const NoteC_c record = noteRecord(startedNote(note), note.velocity, note.channel);
    if (mono.load(std::memory_order_relaxed))
        handleMonoNoteOff(record);
    else
        synth->noteOff(instrumentIndex, record);
}

void Instrument_c::handleMonoNoteOff(NoteC_c note)
{
    if (!synth)
        return;
    const int released = std::clamp(note.note, 0, NumMidiNotes - 1);
    // The key held most recently besides the released one.
    int64_t latestTime = 0;
    const int latest = latestKey(released, true, &latestTime);
    if (latest >= 0 && monoTime[released] >= latestTime) {
        // The released key was the one sounding: the voice returns to the
        // held key (the voice table hands it the released note's voice).
        const NoteC_c back = monoNote[latest];
        synth->noteOn(instrumentIndex, back, back);
    }
    synth->noteOff(instrumentIndex, note);
    clearMonoNoteOff(note);
}

int Instrument_c::latestKey(int except, bool skipPedal, int64_t* time) const
{
    int latest = -1;
    int64_t latestTime = 0;
    for (int n = 0; n < NumMidiNotes; ++n)
        if (n != except && monoTime[n] > 0 && !(skipPedal && pedalReleased[n]) &&
            (latest < 0 || monoTime[n] > latestTime)) {
            latest = n;
            latestTime = monoTime[n];
        }
    if (time)
        *time = latestTime;
    return latest;
}

void Instrument_c::clearMonoNoteOff(NoteC_c note)
{
    if (note.note < 0 || note.note >= NumMidiNotes)
        return;
    monoTime[note.note] = -1;
    monoNote[note.note].reset();
}

void Instrument_c::clearMR()
{
    for (int n = 0; n < NumMidiNotes; ++n) {
        monoTime[n] = -1;
        monoNote[n].reset();
    }
}

int Instrument_c::getLegatoVelocity(NoteC_c note)
{
    for (int n = 0; n < NumMidiNotes; ++n)
        if (monoTime[n] > 0)
            return monoNote[n].velocity;
    return note.velocity;
}

void Instrument_c::noteVanishes(int voice, int)
{
    PolyNoteTable_c* table = synth ? synth->getPolyNoteTable() : nullptr;
    stillHeld = table && table->isOn(voice, nullptr, nullptr);
}

// ---------------------------------------------------------------------------
// Sustain

bool Instrument_c::sustainNote(NoteC_c note)
{
    if (!sustained || sustainedCount >= sustainedCapacity)
        return false;
    sustained[sustainedCount++] = note;
    return true;
}

void Instrument_c::handleSustainPedal(int channel, bool down)
{
    if (channel < 0 || channel >= NumMidiChannels)
        return;
    const bool was = sustainPedal[channel];
    if (was && !down)
        unsustainNotes(channel);
    sustainPedal[channel] = down;
}

void Instrument_c::unsustainNotes(int channel)
{
    if (!sustained)
        return;
    // Mono: the keys let go under the pedal are held by nobody. Only the
    // release of the key that sounds may return the voice, and only to a key
    // still held down; the others just end, so none of them sounds again.
    const bool monoNow = mono.load(std::memory_order_relaxed);
    int sounding = -1;
    if (monoNow) {
        for (int i = 0; i < sustainedCount; ++i)
            if (sustained[i].channel == channel)
                pedalReleased[startedNote(sustained[i])] = true;
        sounding = latestKey(-1, false, nullptr);
    }
    int i = 0;
    while (i < sustainedCount) {
        if (sustained[i].channel != channel) {
            ++i;
            continue;
        }
        const NoteC_c note = sustained[i];
        for (int k = i + 1; k < sustainedCount; ++k)
            sustained[k - 1] = sustained[k];
        --sustainedCount;
        const int started = startedNote(note);
        if (monoNow && started != sounding && synth) {
            const NoteC_c record = noteRecord(started, note.velocity, note.channel);
            synth->noteOff(instrumentIndex, record);
            clearMonoNoteOff(record);
        } else {
            // Through the mono-aware release, so the mono memory forgets the
            // key.
            noteOffCore(note);
        }
    }
    std::fill(std::begin(pedalReleased), std::end(pedalReleased), false);
}

void Instrument_c::liftAllPedals()
{
    for (int channel = 0; channel < NumMidiChannels; ++channel)
        if (sustainPedal[channel]) {
            unsustainNotes(channel);
            sustainPedal[channel] = false;
        }
}

bool Instrument_c::getSustainPedal(int channel) const
{
    return channel >= 0 && channel < NumMidiChannels && sustainPedal[channel];
}

void Instrument_c::AllNotesOff(int channel)
{
    if (!synth)
        return;
    synth->AllNotesOff(instrumentIndex);
    if (channel > NumMidiChannels - 1) {
        for (int c = 0; c < NumMidiChannels; ++c)
            releaseChannel(c);
    } else if (channel >= 0) {
        releaseChannel(channel);
    }
}

void Instrument_c::releaseChannel(int channel)
{
    if (sustainPedal[channel])
        handleSustainPedal(channel, false);
    // The channel's keys are forgotten too: no later release may bring one
    // of them back.
    for (int n = 0; n < NumMidiNotes; ++n)
        if (monoTime[n] >= 0 && monoNote[n].channel == channel) {
            monoTime[n] = -1;
            monoNote[n].reset();
        }
}

void Instrument_c::MidiReset()
{
    AllNotesOff(NumMidiChannels);
    MidiDataReset();
}

// ---------------------------------------------------------------------------
// Controllers

void Instrument_c::processMidiCC(int channel, int controller, int value)
{
    const float v = static_cast<float>(value) * (1.0f / 127.0f);
    switch (controller) {
    case CCModWheel:
        if (receiveMW.load(std::memory_order_relaxed))
            modWheelTarget.store(v, std::memory_order_relaxed);
        if (synth)
            synth->holdCmdtoGUI(CmdModWheel, channel, value);
        return;
    case CCBreath:
        breathTarget = v;
        return;
    case CCFoot:
        footTarget = v;
        return;
    case CCDataEntry:
        // Only RPN 0 (pitch-bend range), and only for this instrument.
        if (rpnComplete && rpnNumber == 0 && synth && instrumentIndex >= 0)
            if (SynGloIns_c* settings = synth->getSynGloIns()) {
                settings->setParaVal(instrumentIndex, SynGloInsBendUp, value);
                settings->setParaVal(instrumentIndex, SynGloInsBendDown, BendDownLink);
            }
        return;
    case CCVolume:
        volume = v - 1.0f;
        return;
    case CCPan:
        pan = value == 64 ? 0.0f : 2.0f * v - 1.0f;
        return;
    case CCExpression:
        expressionTarget = v;
        return;
    case CCSustain:
        if (receiveSP.load(std::memory_order_relaxed))
            handleSustainPedal(channel, value >= SustainDownFrom);
        return;
    case CCNRPNLSB:
    case CCNRPNMSB:
        // Selecting an NRPN deselects the RPN: its data entries are never a
        // bend range.
        rpnNumber = -1;
        rpnComplete = true;
        return;
    case CCRPNLSB:
    case CCRPNMSB: {
        const int part = controller == CCRPNMSB ? value * 128 : value;
        if (rpnComplete) {
            rpnNumber = part;
            rpnComplete = false;
        } else {
            rpnNumber += part;
            rpnComplete = true;
        }
        return;
    }
    case CCResetAll:
        MidiCCReset();
        return;
    default:
        if (controller >= CCGeneral1 && controller <= CCGeneral4)
            general[controller - CCGeneral1] = 2.0f * v - 1.0f;
        return;
    }
}

float& Instrument_c::smoothedCurrent(int k)
{
    switch (k) {
    case ccPitchBend:
        return pitchBend;
    case ccModWheel:
        return modWheel;
    case ccBreath:
        return breath;
    case ccFoot:
        return foot;
    default:
        return expression;
    }
}

float Instrument_c::smoothedTarget(int k) const
{
    switch (k) {
    case ccPitchBend:
        return pitchBendTarget;
    case ccModWheel:
        return modWheelTarget.load(std::memory_order_relaxed);
    case ccBreath:
        return breathTarget;
    case ccFoot:
        return footTarget;
    default:
        return expressionTarget;
    }
}

void Instrument_c::prepareMIDICCValues(int frames)
{
    // 1400 / rate: the same glide at every sample rate, within 0.0025..0.25.
    const float c = std::clamp(1400.0f * (sampleRate > 0.0f ? 1.0f / sampleRate : 0.0f), 0.0025f, 0.25f);
    ccChunkCount = std::clamp((frames + ControllerChunkFrames - 1) / ControllerChunkFrames, 1, CCSmoothChunks);
    ccChunkIndex = 0;
    for (int k = 0; k < ccSmoothedCount; ++k) {
        const float target = smoothedTarget(k);
        float value = smoothedCurrent(k);
        for (int j = 0; j < ccChunkCount; ++j) {
            value = target * c + value * (1.0f - c);
            if (std::fabs(value) < SmoothFloor)
                value = 0.0f;
            ccRows[k][j] = value;
        }
    }
}

void Instrument_c::startMIDICCValues()
{
    ccChunkIndex = 0;
}

void Instrument_c::updateMIDICCValues()
{
    if (ccChunkCount < 1)
        return;
    const int j = std::min(ccChunkIndex, ccChunkCount - 1);
    for (int k = 0; k < ccSmoothedCount; ++k)
        smoothedCurrent(k) = ccRows[k][j];
    if (ccChunkIndex < ccChunkCount)
        ++ccChunkIndex;
}

void Instrument_c::syncMIDICCValues()
{
    if (ccChunkCount < 1)
        return;
    for (int k = 0; k < ccSmoothedCount; ++k)
        smoothedCurrent(k) = ccRows[k][ccChunkCount - 1];
}

void Instrument_c::MidiCCReset()
{
    modWheel = 0.0f;
    modWheelTarget.store(0.0f, std::memory_order_relaxed);
    expression = 1.0f;
    expressionTarget = 1.0f;
    channelPressureReceived = 0.0f;
    channelPressure.store(0.0f, std::memory_order_relaxed);
    pitchBend = 0.0f;
    pitchBendTarget = 0.0f;
}

void Instrument_c::MidiDataReset()
{
    // The queue only under its lock; the audio thread inside its block holds
    // it already (the lock is recursive), and never waits for it.
    if (eventLock.getImmediateReadPermission()) {
        eventCount.store(0, std::memory_order_relaxed);
        std::memset(pendingNoteOffs, 0, sizeof(pendingNoteOffs));
        anyPendingNoteOff = false;
        eventLock.releaseReadPermission();
    }
    MidiCCReset();
    breath = breathTarget = 0.0f;
    foot = footTarget = 0.0f;
    volume = 0.0f;
    pan = 0.0f;
    std::fill(std::begin(general), std::end(general), 0.0f);
    for (int c = 0; c < NumMidiChannels; ++c) {
        firstNoteFlags[c] = false;
        lastTriggered[c] = -1;
        sustainPedal[c] = false;
    }
    lastNote = 60.0f / 127.0f;
    clearMR();
    std::memset(keyNote, -1, sizeof(keyNote));
    sustainedCount = 0;
}

void Instrument_c::setMIDIGlobalAftertouch(float pressure)
{
    channelPressureReceived = pressure;
    if (instrumentIndex < 0 || !receiveAT.load(std::memory_order_relaxed))
        return;
    channelPressure.store(pressure, std::memory_order_relaxed);
    PolyNoteTable_c* table = synth ? synth->getPolyNoteTable() : nullptr;
    if (!table)
        return;
    for (int v = 0; v < table->getVoiceCount(); ++v)
        if (table->isActive(v, instrumentIndex, nullptr))
            if (Tone_c* tone = synth->getVoice(v))
                tone->setMonoAftertouch(pressure);
}

void Instrument_c::setNoteGlobalAftertouch(int voice)
{
    if (!receiveAT.load(std::memory_order_relaxed) || !synth)
        return;
    if (Tone_c* tone = synth->getVoice(voice))
        tone->setMonoAftertouch(channelPressure.load(std::memory_order_relaxed));
}

// ---------------------------------------------------------------------------
// Settings

void Instrument_c::applyRequests()
{
    if (clearMonoRequest.exchange(false, std::memory_order_acq_rel))
        clearMR();
    if (liftPedalsRequest.exchange(false, std::memory_order_acq_rel))
        liftAllPedals();
}

void Instrument_c::setFlagReceiveMW(bool on)
{
    receiveMW.store(on, std::memory_order_relaxed);
    if (!on)
        modWheelTarget.store(0.0f, std::memory_order_relaxed);
}

void Instrument_c::setFlagReceivePW(bool on)
{
    receivePW.store(on, std::memory_order_relaxed);
}

void Instrument_c::setFlagReceiveAT(bool on)
{
    const bool was = receiveAT.exchange(on, std::memory_order_relaxed);
    if (was && !on)
        channelPressure.store(0.0f, std::memory_order_relaxed);
    else if (!was && on)
        channelPressure.store(channelPressureReceived, std::memory_order_relaxed);
}

void Instrument_c::setFlagReceiveSP(bool on)
{
    receiveSP.store(on, std::memory_order_relaxed);
    if (on)
        return;
    // Releasing notes touches the voices: only the audio thread does it.
    if (Synth::onAudioThread())
        liftAllPedals();
    else
        liftPedalsRequest.store(true, std::memory_order_release);
}

void Instrument_c::setNoteOffs(int semitones)
{
    transposition.store(semitones, std::memory_order_relaxed);
}

void Instrument_c::setVoiceLimit(int n)
{
    n = std::clamp(n, 0, voiceCount);
    if (Synth::onAudioThread())
        clearMR();
    else
        clearMonoRequest.store(true, std::memory_order_release);
    voiceLimit.store(n, std::memory_order_relaxed);
    mono.store(n == 1, std::memory_order_relaxed);
}

int Instrument_c::getVoiceLimit()
{
    return voiceLimit.load(std::memory_order_relaxed);
}

int Instrument_c::getLastTriggered(int i)
{
    return lastTriggered[std::clamp(i, 0, NumMidiChannels - 1)];
}

void Instrument_c::setLastTriggered(int i, int value)
{
    lastTriggered[std::clamp(i, 0, NumMidiChannels - 1)] = value;
}

void Instrument_c::setOutIdx(int i)
{
    outIdx.store(i, std::memory_order_relaxed);
    outEnd.store(i + outputCount, std::memory_order_relaxed);
}

float Instrument_c::getStepSeqSync(bool, int)
{
    return 0.0f;
}

void Instrument_c::setClock(Clock_t c)
{
    clock = c ? c : &systemMilliseconds;
}

// ---------------------------------------------------------------------------
// The sixteenth clock

void Instrument_c::setResolution16th(double r)
{
    if (!std::isfinite(r))
        return;
    resolution16th.store(std::clamp(r, Resolution16thMin, Resolution16thMax), std::memory_order_relaxed);
    updateSamplesPer16th();
}

void Instrument_c::offerSync(int pos)
{
    const double s = samplesPer16th.load(std::memory_order_relaxed);
    double r = std::fmod(static_cast<double>(pos), s);
    if (r < 0.0)
        r += s;
    counter16th = r + 2.0;
}

void Instrument_c::next16th() {}

int Instrument_c::checkFor16th(int frames)
{
    if (frames < 1)
        return 0;
    const double s = samplesPer16th.load(std::memory_order_relaxed);
    if (counter16th >= s) {
        next16th();
        counter16th -= s;
        // After a jump to a faster tempo the counter can lie several steps
        // ahead: the boundaries it skipped are not made up in a burst.
        if (counter16th >= s)
            counter16th = std::fmod(counter16th, s);
    }
    int m = frames;
    if (frames + counter16th > s)
        m = std::clamp(static_cast<int>(std::floor(s - counter16th)) + 1, 1, std::max(frames, 1));
    counter16th += m;
    return m;
}

// ---------------------------------------------------------------------------
// Sync phases

void Instrument_c::renderSyncPhase(int frames)
{
    for (int i = 0; i < NumSyncPhases; ++i) {
        const double rate = syncRate[i].load(std::memory_order_relaxed);
        if (rate == 0.0)
            continue;
        syncPhase[i].store(wrapPhase(syncPhase[i].load(std::memory_order_relaxed) + rate * frames),
                           std::memory_order_relaxed);
    }
}

bool Instrument_c::getPosInBar(int* barLength, int* pos)
{
    int b = 0;
    int p = 0;
    if (!synth || !synth->getPosInBar(&b, &p))
        return false;
    if (barLength)
        *barLength = b;
    if (pos)
        *pos = p + position;
    return true;
}

bool Instrument_c::Sync()
{
    int bar = 0;
    int pos = 0;
    // A bar of no length has no position to align to.
    if (!getPosInBar(&bar, &pos) || bar < 1)
        return false;
    for (int i = 0; i < NumSyncPhases; ++i) {
        const double x = syncRate[i].load(std::memory_order_relaxed);
        if (!syncEnable[i].load(std::memory_order_relaxed) || !(x > 0.0) || !std::isfinite(x))
            continue;
        const double phase = syncPhase[i].load(std::memory_order_relaxed);
        const double cyclesPerBar = bar * x;
        double p = static_cast<double>(pos) * x;
        if (p > 1.0)
            p -= std::ceil(p - 1.0);
        // How far each bar drifts against the phase, in cycles.
        const double f = mod1(cyclesPerBar);
        const double d = std::min(f, 1.0 - f);
        if (d > 0.01) {
            // The phase may have run whole bars earlier or later than the
            // position tells: the closest such alignment wins.
            const int n = static_cast<int>(1.0 / d) + 1;
            double best = p;
            double bestDistance = std::fabs(p - phase);
            auto consider = [&](double candidate) {
                const double distance = std::fabs(candidate - phase);
                if (distance < bestDistance) {
                    best = candidate;
                    bestDistance = distance;
                }
            };
            for (int k = 1; k <= n; ++k) {
                const double up = mod1(p + k * f);
                const double down = mod1(p - k * f);
                consider(up);
                consider(up + 1.0);
                consider(down);
                consider(down + 1.0);
            }
            p = best;
        } else if (cyclesPerBar > 0.0 && std::fabs(p - phase) > cyclesPerBar / 2.0) {
            // Whole cycles per bar: move by whole bars toward the phase.
            p += std::round((phase - p) / cyclesPerBar) * cyclesPerBar;
        }
        syncPhase[i].store(wrapPhase(p), std::memory_order_relaxed);
    }
    return true;
}

void Instrument_c::setSyncStepUp(int i, double rate)
{
    if (i >= 0 && i < NumSyncPhases)
        syncRate[i].store(std::isfinite(rate) ? rate : 0.0, std::memory_order_relaxed);
}

double Instrument_c::getSyncPhase(int i) const
{
    return i >= 0 && i < NumSyncPhases ? syncPhase[i].load(std::memory_order_relaxed) : 0.0;
}

void Instrument_c::setSyncPhase(int i, double phase)
{
    if (i >= 0 && i < NumSyncPhases)
        syncPhase[i].store(wrapPhase(phase), std::memory_order_relaxed);
}

void Instrument_c::setSyncEnable(int i, bool on)
{
    if (i >= 0 && i < NumSyncPhases)
        syncEnable[i].store(on, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------
// Modulation delay

float* Instrument_c::getModSampleRow(int voice)
{
    return modSampleRows[std::clamp(voice, 0, NumVoices - 1)];
}

bool Instrument_c::defineModDelay(int steps)
{
    if (steps < 0 || steps > ModDelayMaxSteps || Synth::onAudioThread())
        return false;
    const int length = steps + ModDelayRingExtra;
    const size_t ring = static_cast<size_t>(length) + ModDelayRowValues + 1;
    std::unique_ptr<float[]> rings;
    if (steps > 0) {
        rings.reset(new (std::nothrow) float[ring * NumVoices]());
        if (!rings)
            return false;
    }
    // The audio thread reads the rings only inside a stretch, under the
    // render lock: swapped here, they are never changed under it.
    renderLock.getWritePermission();
    modRings.swap(rings);
    modDelaySteps = steps;
    modRingLength = length;
    modWritePos = steps;
    modReadPos = 0;
    modCarry = 0;
    renderLock.releaseWritePermission();
    return true; // the old rings go with `rings`, off the audio thread
}

void Instrument_c::delayModValues(int frames)
{
    if (!modRings || modDelaySteps < 1 || frames < 1)
        return;
    const int length = modRingLength;
    const size_t ring = static_cast<size_t>(length) + ModDelayRowValues + 1;
    const int steps = std::min((frames + ControlStepFrames - 1) / ControlStepFrames, ModDelayRowValues);
    const int skip = modCarry / ControlStepFrames;
    modCarry %= ControlStepFrames;
    if (skip < steps) {
        for (int v = 0; v < NumVoices; ++v) {
            float* r = &modRings[ring * static_cast<size_t>(v)];
            for (int k = skip; k < steps; ++k)
                r[(modWritePos + k - skip) % length] = modSampleRows[v][k];
            // The first values again behind the end, so a reader always finds
            // ModDelayRowValues in a row.
            std::memcpy(r + length, r, sizeof(float) * ModDelayRowValues);
        }
    }
    modReadPos = ((modWritePos - modDelaySteps) % length + length) % length;
    modCarry = steps * ControlStepFrames - frames + modCarry;
    modWritePos = length + (steps - skip + modWritePos) % length;
}

float* Instrument_c::getModSamplesDelayed(int voice)
{
    if (!modRings || modDelaySteps < 1)
        return nullptr;
    const size_t ring = static_cast<size_t>(modRingLength) + ModDelayRowValues + 1;
    return &modRings[ring * static_cast<size_t>(std::clamp(voice, 0, NumVoices - 1)) + modReadPos];
}
