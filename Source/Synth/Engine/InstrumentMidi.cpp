#include "Instrument.h"

#include "CommandLetters.h"
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

// The MIDI parser, notes, sustain, controllers and the instrument's settings.

namespace {

// What the pitch-bend range RPN writes into "Pitch Bend Down Amount".
constexpr int BendDownLink = -1; // "link": the down range follows the up range

// Notes reach a voice within 0..NoteFoldTop: a transposed note above it
// drops by octaves.
constexpr int NoteFoldTop = 120;

// Below this magnitude a smoothed controller value is 0.
constexpr float SmoothFloor = 1e-5f;

int64_t systemMilliseconds()
{
    return OsLib_c::getMilliseconds();
}

} // namespace

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
    if (kind == Midi::Control) {
        if (data1 == Midi::CCBankSelectMSB)
            return;
        if (data1 == Midi::CCBankSelectLSB) {
            synth->holdCmdtoGUI(Cmd::InsBankMidi, instrumentIndex, data2);
            return;
        }
        if (data1 >= Midi::CCAllNotesOff) {
            AllNotesOff(channel);
            return;
        }
        // A pedal let up on a channel this instrument does not listen to
        // comes only to end its notes, not for the engine's controllers.
        if (instrumentIndex == 0 && synth->InsOnCh(channel, instrumentIndex))
            synth->processMidiCC(copy);
        processMidiCC(channel, data1, data2);
        return;
    }
    switch (kind) {
    case Midi::NoteOff:
        noteOff(NoteC_c::of(data1, data2, channel));
        break;
    case Midi::NoteOn:
        if (data2 == 0) {
            noteOff(NoteC_c::of(data1, 0, channel));
            break;
        }
        if (checkZones && !synth->InstrumentWants(instrumentIndex, NoteC_c::of(data1, data2, channel)))
            break;
        noteOn(NoteC_c::of(data1, data2, channel));
        lastNote = static_cast<float>(data1) * (1.0f / 127.0f);
        break;
    case Midi::PolyPressure:
        if (receiveAT.load(std::memory_order_relaxed)) {
            PolyNoteTable_c* table = synth->getPolyNoteTable();
            const int voice = table ? table->findPolyNoteEntry(instrumentIndex,
                                                               startedNote(NoteC_c::of(data1, 0, channel)), channel)
                                    : -1;
            if (Tone_c* tone = voice >= 0 ? synth->getVoice(voice) : nullptr)
                tone->setPolyAftertouch(static_cast<float>(data2) * (1.0f / 127.0f));
        }
        break;
    case Midi::Program:
        synth->holdCmdtoGUI(Cmd::InsProgramMidi, instrumentIndex, data1);
        break;
    case Midi::ChannelPressure:
        if (receiveAT.load(std::memory_order_relaxed))
            setMIDIGlobalAftertouch(static_cast<float>(data1) * (1.0f / 127.0f));
        break;
    case Midi::PitchBend:
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
    case Midi::System:
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
    NoteC_c record = NoteC_c::of(t, played.velocity, played.channel);
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

bool Instrument_c::pedalHolds(NoteC_c note)
{
    const int channel = std::clamp(note.channel, 0, NumMidiChannels - 1);
    return sustainPedal[channel] && sustainNote(note);
}

void Instrument_c::noteOff(NoteC_c note)
{
    if (!pedalHolds(note))
        noteOffCore(note);
}

void Instrument_c::noteOffCore(NoteC_c note)
{
    if (!synth)
        return;
    // The note this key started, not what the transposition makes of it now.
    const NoteC_c record = NoteC_c::of(startedNote(note), note.velocity, note.channel);
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

bool Instrument_c::takeSustained(int channel, int& i, NoteC_c& note)
{
    while (i < sustainedCount && sustained[i].channel != channel)
        ++i;
    if (i >= sustainedCount)
        return false;
    note = sustained[i];
    for (int k = i + 1; k < sustainedCount; ++k)
        sustained[k - 1] = sustained[k];
    --sustainedCount;
    return true;
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
    NoteC_c note;
    while (takeSustained(channel, i, note)) {
        const int started = startedNote(note);
        if (monoNow && started != sounding && synth) {
            const NoteC_c record = NoteC_c::of(started, note.velocity, note.channel);
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
    case Midi::CCModWheel:
        if (receiveMW.load(std::memory_order_relaxed))
            modWheelTarget.store(v, std::memory_order_relaxed);
        if (synth)
            synth->holdCmdtoGUI(Cmd::ModWheel, channel, value);
        return;
    case Midi::CCBreath:
        breathTarget = v;
        return;
    case Midi::CCFoot:
        footTarget = v;
        return;
    case Midi::CCDataEntry:
        // Only RPN 0 (pitch-bend range), and only for this instrument.
        if (rpnComplete && rpnNumber == 0 && synth && instrumentIndex >= 0)
            if (SynGloIns_c* settings = synth->getSynGloIns()) {
                settings->setParaVal(instrumentIndex, SynGloInsPara::BendUp, value);
                settings->setParaVal(instrumentIndex, SynGloInsPara::BendDown, BendDownLink);
            }
        return;
    case Midi::CCVolume:
        volume = v - 1.0f;
        return;
    case Midi::CCPan:
        pan = value == 64 ? 0.0f : 2.0f * v - 1.0f;
        return;
    case Midi::CCExpression:
        expressionTarget = v;
        return;
    case Midi::CCSustain:
        if (receiveSP.load(std::memory_order_relaxed))
            handleSustainPedal(channel, value >= Midi::SustainDownFrom);
        return;
    case Midi::CCNRPNLSB:
    case Midi::CCNRPNMSB:
        // Selecting an NRPN deselects the RPN: its data entries are never a
        // bend range.
        rpnNumber = -1;
        rpnComplete = true;
        return;
    case Midi::CCRPNLSB:
    case Midi::CCRPNMSB: {
        const int part = controller == Midi::CCRPNMSB ? value * 128 : value;
        if (rpnComplete) {
            rpnNumber = part;
            rpnComplete = false;
        } else {
            rpnNumber += part;
            rpnComplete = true;
        }
        return;
    }
    case Midi::CCResetAll:
        MidiCCReset();
        return;
    default:
        if (controller >= Midi::CCGeneral1 && controller <= Midi::CCGeneral4)
            general[controller - Midi::CCGeneral1] = 2.0f * v - 1.0f;
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
