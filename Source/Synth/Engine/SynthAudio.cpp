// The engine's side of the audio thread and of the idle calls: the block,
// host tempo and bar position, volume tracking, cross-fade factors and the
// idle work.
#include "Synth.h"
#include "CommandLetters.h"
#include "CmdBuffer.h"
#include "EPAS.h"
#include "AEffEditor.h"
#include "EditorLink.h"

#include "HostFamily.h"
#include "Instrument.h"
#include "OsLib.h"
#include "RegMod.h"
#include "SafeDiv.h"
#include "SysGlo.h"
#include "ThreadCheck.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define TESSEL_HAVE_MXCSR 1
#endif

namespace {

// How deep the calling thread is inside the engine's audio or event callback.
thread_local int audioDepth = 0;

uint32_t nowMs()
{
    return static_cast<uint32_t>(OsLib_c::getMilliseconds());
}

// Keeps a double inside the int range before it is converted.
int clampToInt(double v)
{
    if (!(v > 0.0))
        return 0;
    if (v >= static_cast<double>(INT_MAX))
        return INT_MAX;
    return static_cast<int>(v);
}

// The larger of peak and every sample of the buffer (signed: the largest
// sample, not the largest magnitude).
float maxSample(float peak, const float* buffer, int frames)
{
    if (!buffer)
        return peak;
    for (int i = 0; i < frames; ++i)
        peak = std::max(peak, buffer[i]);
    return peak;
}

} // namespace

bool Synth::onAudioThread()
{
    return audioDepth > 0;
}

// On x86 flush-to-zero and denormals-are-zero are set for the scope, the
// host's own MXCSR coming back afterwards.
Synth::AudioScope::AudioScope()
{
    ++audioDepth;
#ifdef TESSEL_HAVE_MXCSR
    savedCsr = _mm_getcsr();
    _mm_setcsr(savedCsr | 0x8040); // FTZ (bit 15) and DAZ (bit 6)
#endif
}

Synth::AudioScope::~AudioScope()
{
#ifdef TESSEL_HAVE_MXCSR
    _mm_setcsr(savedCsr);
#endif
    --audioDepth;
}

// ---------------------------------------------------------------------------
// The block

void Synth::processReplacing(float** inputs, float** outputs, int32_t sampleFrames)
{
    processHostBlock(inputs, outputs, sampleFrames, true);
}

void Synth::process(float** inputs, float** outputs, int32_t sampleFrames)
{
    processHostBlock(inputs, outputs, sampleFrames, false);
}

void Synth::processHostBlock(float** inputs, float** outputs, int32_t frames, bool replacing)
{
    hostAudioThread.store(std::this_thread::get_id());
    if (frames < 1 || !outputs)
        return;
    AudioScope scope;
    if (numInputsCfg > 0)
        captureInputs(inputs, frames);
    if (replacing)
        clearOut(outputs, frames);
    renderBlock(outputs, frames);
}

void Synth::renderBlock(float** outputs, int32_t frames)
{
    TESSEL_ASSERT_AUDIO_THREAD();
    if (!outputsValidated)
        validateOutputs();
    const int passed = hostOutputs.load();
    const int count = std::min(numOutputs, outputCapacity);
    bool anyMissing = false;
    for (int i = 0; i < count; ++i)
        anyMissing = anyMissing || i >= passed || !outputs[i];

    if (!anyMissing) {
        makeOptOut(outputs);
        processAll(outPtrs, frames);
    } else if (scratchOut && scratchFrames > 0) {
        // A missing output renders into the scratch block, never into a
        // null pointer; the block then goes in pieces the scratch can hold.
        for (int32_t offset = 0; offset < frames; offset += scratchFrames) {
            const int32_t piece = std::min<int32_t>(scratchFrames, frames - offset);
            for (int i = 0; i < count; ++i)
                outCall[i] = (i < passed && outputs[i]) ? outputs[i] + offset : scratchOut;
            makeOptOut(outCall);
            processAll(outPtrs, piece);
        }
    }

    if (adjustVolume.load(std::memory_order_relaxed)) {
        float peak = peakLevel.load(std::memory_order_relaxed);
        for (int i = 0; i < 2 && i < passed; ++i)
            peak = maxSample(peak, outputs[i], frames);
        peakLevel.store(peak, std::memory_order_relaxed);
    }
}

void Synth::captureInputs(float** inputs, int32_t)
{
    if (!inputs || !inputs[0] || !inputs[1])
        return;
    if (hostId == HostFamily::FxTeleport && inputOwn[0] && inputOwn[1]) {
        inputCopy[0] = inputOwn[0];
        inputCopy[1] = inputOwn[1];
    } else {
        inputCopy[0] = inputs[0];
        inputCopy[1] = inputs[1];
    }
}

void Synth::clearOut(float** outputs, int32_t frames)
{
    if (!outputsValidated)
        validateOutputs();
    if (!outputs || frames < 1)
        return;
    // Every buffer the host passed, whatever the engine renders into; a null
    // one is skipped, not taken for the end of the list.
    const int passed = hostOutputs.load();
    for (int i = 0; i < passed; ++i) {
        float* out = outputs[i];
        if (!out)
            continue;
        int32_t done = 0;
        while (frames - done >= MaxBlockSize) {
            std::memcpy(out + done, NullBuffer, sizeof(NullBuffer));
            done += MaxBlockSize;
        }
        if (done < frames)
            std::memcpy(out + done, NullBuffer, sizeof(float) * static_cast<size_t>(frames - done));
    }
}

void Synth::makeOptOut(float** outputs)
{
    if (!outputsValidated)
        validateOutputs();
    if (!outputs)
        return;
    bool changed = false;
    const int count = std::min(numOutputs, outputCapacity);
    for (int i = 0; i < count; ++i) {
        outSame[i] = outPtrs[i] == outputs[i];
        if (!outSame[i]) {
            outPtrs[i] = outputs[i];
            changed = true;
        }
    }
    if (changed)
        updateOutBuf();
}

void Synth::processAll(float** out, int32_t frames)
{
    (void)out;
    AudioScope scope;
    // Raised before ready is looked at: a reset that clears ready and then
    // sees this clear knows no block is under way.
    inCallback.fetch_add(1);
    audioCounter.fetch_add(1, std::memory_order_relaxed);
    if (!ready.load()) {
        if (resetting.load() == 0) {
            if (!outputsValidated)
                validateOutputs();
            checkSetFlagReady();
        }
        if (!ready.load()) {
            inCallback.fetch_sub(1);
            return;
        }
    }

    getHostTempoInfo();
    drainRTCmds();
    // Events that found their instrument busy go in before it renders.
    deliverParkedEvents();
    for (int i = 0; i < numInstruments; ++i)
        if (instruments[i])
            instruments[i]->processAll(frames);

    sampleCounter.fetch_add(static_cast<uint32_t>(frames), std::memory_order_relaxed);
    // No idle watchdog here: the audio thread never starts or wakes a thread.
    // The idle timer, running since open, notices missing host idle itself.
    inCallback.fetch_sub(1);
}

// ---------------------------------------------------------------------------
// Host time

void Synth::getHostTempoInfo()
{
    TESSEL_ASSERT_AUDIO_THREAD();
    if (VstTimeInfo* info = getTimeInfo(kVstTempoValid | kVstTimeSigValid | kVstTransportPlaying))
        timeInfo = *info;
    if (!(timeInfo.flags & kVstTempoValid))
        return;
    const double tempo = timeInfo.tempo;
    if (tempo > 1.0 && (!tempoKnown || tempo != Bpm.load(std::memory_order_relaxed))) {
        tempoKnown = true;
        Bpm = tempo;
        RecBpm = 1.0 / tempo;
        notifyBPMChange();
    }
    const bool playingNow = (timeInfo.flags & kVstTransportPlaying) != 0;
    if (!playing && playingNow)
        PlaybackStarted();
    else if (playing && !playingNow)
        PlaybackStopped();
    playing = playingNow;
}

VstTimeInfo* Synth::getHostTimeInfo(int32_t filter)
{
    VstTimeInfo* info = getTimeInfo(filter | kVstTimeSigValid);
    // The engine's copy belongs to the audio thread; elsewhere only the
    // host's answer is handed on.
    if (info && onAudioThread())
        timeInfo = *info;
    return info;
}

void Synth::notifyBPMChange()
{
    for (int i = 0; i < numInstruments; ++i)
        if (instruments && instruments[i])
            instruments[i]->notifyBPMChange();
    // Every instance of each module kind whose first instance is tempo-synced.
    for (int r = 0; r < getRegModCount(); ++r) {
        const RegMod_t* row = getRegMod(r);
        if (!row || !row->instance(0) || !row->instance(0)->isBPMDependent())
            continue;
        for (int k = 0; k < row->count; ++k)
            if (Part_c* part = row->instance(k))
                part->notifyBPMChange();
    }
}

bool Synth::getPosInBar(int* samplesPerBar, int* posInBarOut)
{
    VstTimeInfo* info =
        getTimeInfo(kVstTempoValid | kVstPpqPosValid | kVstTimeSigValid | kVstTransportPlaying);
    if (info)
        timeInfo = *info;
    return posInBar(info ? &timeInfo : nullptr, engineSampleRate.load(), samplesPerBar, posInBarOut);
}

bool Synth::posInBar(const VstTimeInfo* info, double rate, int* samplesPerBar, int* posInBarOut)
{
    int spb = clampToInt(2.0 * rate + 0.1); // two seconds without a host tempo
    int pos = 0;
    bool playingNow = false;
    if (info && (info->flags & kVstTempoValid) && info->tempo > 0.0) {
        int n = 4;
        int d = 4;
        if (info->flags & kVstTimeSigValid) {
            n = info->timeSigNumerator;
            d = info->timeSigDenominator;
        }
        // A signature no host means (0/x, x/0, negative, absurdly large) counts as 4/4.
        if (n < 1 || n > 64 || d < 1 || d > 64) {
            n = 4;
            d = 4;
        }
        const double tempo = info->tempo;
        spb = clampToInt(rate * so_ddiv(n, d) * 240.0 / tempo + 0.1);
        // The bar is 4n/d quarters long (3 in 6/8); the position is taken
        // modulo that, with a remainder instead of a loop, so a negative or
        // huge position costs nothing.
        const double barQuarters = 4.0 * n / d;
        double q = std::isfinite(info->ppqPos) ? std::fmod(info->ppqPos, barQuarters) : 0.0;
        if (q < 0.0)
            q += barQuarters;
        pos = clampToInt(rate * q * 60.0 / tempo);
        playingNow = (info->flags & kVstTransportPlaying) != 0;
    }
    if (samplesPerBar)
        *samplesPerBar = spb;
    if (posInBarOut)
        *posInBarOut = pos;
    return playingNow;
}

// No MIDI player exists in this product; the notifications reach none.
void Synth::PlaybackStarted() {}
void Synth::PlaybackStopped() {}
void Synth::syncMIDIPlayers(int, bool) {}

// ---------------------------------------------------------------------------
// Volume adjustment and cross-fades

void Synth::startAdjustVolume()
{
    peakLevel = 0.0f;
    adjustVolume = true;
}

float Synth::stopAdjustVolume()
{
    adjustVolume = false;
    return peakLevel.load();
}

void Synth::memorizeMaxAudio(const float* a, const float* b, int frames)
{
    if (frames < 1)
        return;
    float peak = peakLevel.load(std::memory_order_relaxed);
    peak = maxSample(peak, a, frames);
    peak = maxSample(peak, b, frames);
    peakLevel.store(peak, std::memory_order_relaxed);
}

float Synth::getFadeVolume(int ins, NoteC_c note)
{
    // The instrument's key and velocity zone.
    if (!synGloIns)
        return getFadeVolumeD(ins, note, 0, 127, 1, 127);
    return getFadeVolumeD(ins, note, synGloIns->getParaVal(ins, SynGloInsPara::NoteLo),
                          synGloIns->getParaVal(ins, SynGloInsPara::NoteHi),
                          synGloIns->getParaVal(ins, SynGloInsPara::VeloLo),
                          synGloIns->getParaVal(ins, SynGloInsPara::VeloHi));
}

float Synth::getFadeVolumeD(int ins, NoteC_c note, int keyLo, int keyHi, int velLo, int velHi)
{
    const int k = note.note;
    const int v = note.velocity;
    if (k < keyLo || k > keyHi || v < velLo || v > velHi)
        return 0.0f;
    const int a = getOverlapNoteLo(ins, keyLo);
    const int b = getOverlapNoteHi(ins, keyHi);
    const int c = getOverlapVeloLo(ins, velLo);
    const int e = getOverlapVeloHi(ins, velHi);
    double f = 1.0;
    if (k <= a)
        f = so_ddiv(k - keyLo + 1, a - keyLo + 2);
    if (k >= b)
        f *= so_ddiv(keyHi + 1 - k, keyHi + 2 - b);
    if (v <= c)
        f *= so_ddiv(v - velLo + 1, c - velLo + 2);
    if (v >= e)
        f *= so_ddiv(velHi + 1 - v, velHi + 2 - e);
    return static_cast<float>(f);
}

float Synth::getOtherSeqSync(int ins, int x)
{
    for (int k = 0; instruments && k < numInstruments; ++k) {
        if (k == ins || !instruments[k])
            continue;
        const float r = instruments[k]->getStepSeqSync(k < ins, x);
        if (r > 0.001f || r < -0.001f)
            return r;
    }
    return 0.0f;
}

// ---------------------------------------------------------------------------
// Idle

int32_t Synth::fxIdle()
{
    hostIdleStamp = nowMs();
    BusyScope busyScope(*this);
    SynthIdle();
    return 1;
}

void Synth::idleTimerCallback(void* context)
{
    Synth* synth = static_cast<Synth*>(context);
    if (!synth || !synth->flagOpen.load() || synth->opening.load())
        return;
    // With a host that gives idle calls the timer only stands in once they
    // have been missing for a second. Unsigned differences: a clock start or
    // wrap cannot make a stamp look like the future.
    if (!synth->hostSuppliesIdle.load() ||
        static_cast<uint32_t>(nowMs() - synth->hostIdleStamp.load()) >= IdleTakeoverMs) {
        {
            BusyScope busyScope(*synth);
            synth->SynthIdle();
        }
        synth->runIdleOutsideLocks();
    }
    // An open editor whose host gives it no idle calls (or stopped giving
    // them a second ago) would neither see its window's events nor redraw:
    // the timer gives them, holding the engine as a host call does, so a
    // click from here changes parameters as one from the host's thread.
    if (synth->editorWindowOpen.load() && synth->editor &&
        static_cast<uint32_t>(nowMs() - synth->editorIdleStamp.load()) >= IdleTakeoverMs) {
        HostCallScope owner(*synth);
        if (synth->editorWindowOpen.load())
            synth->editor->idle();
    }
}

void Synth::SynthIdle()
{
    // One idle round at a time: the host's idle and the timer meet here, and
    // whoever finds the lock taken skips this round.
    if (!engineLock.getImmediateReadPermission())
        return;
    const uint32_t now = nowMs();
    drainGUICmds();
    if (deferredDisplayWork.exchange(false))
        runDeferredDisplayWork();
    // Settings changed on the audio side are stored from here.
    if (sysGlo)
        sysGlo->storePending();
    // Learns completed and stores asked for on the audio side.
    idleControllers();
    // What the user's answers to earlier questions do.
    panels.deliverAnswers();
    idleTimeStamp = now;
    engineLock.releaseReadPermission();
}

// ---------------------------------------------------------------------------
// Editor redraw requests. The editor waits for its own mutex, so the audio
// thread never calls it: it queues the request for the idle side, where
// SynthIdle hands it on.

EditorLink_i* Synth::editorLink() const
{
    return dynamic_cast<EditorLink_i*>(editor);
}

void Synth::updateEditor(int index, bool full)
{
    EditorLink_i* link = editorLink();
    if (!link || index < 0 || index > INT16_MAX)
        return;
    if (mustNotWait()) {
        holdCmdtoGUI(Cmd::EditorRedraw, index, full ? 1 : 0, nullptr, nullptr, hdKeepFirst);
        return;
    }
    link->setDirty(index, full);
    // The entries linked to this one show the same value.
    for (int slot = 0; slot < EPASLinkSlots; ++slot) {
        const int linked = getEPASLink(index, slot);
        if (linked < 0)
            break;
        link->setDirty(linked, full);
    }
}

void Synth::updateEditor()
{
    EditorLink_i* link = editorLink();
    if (!link)
        return;
    if (mustNotWait()) {
        holdCmdtoGUI(Cmd::EditorRedraw, -1, 0, nullptr, nullptr, hdKeepFirst);
        return;
    }
    link->setDirty();
}

void Synth::updateEditor(Part_c* part, int para, int set, bool full)
{
    if (!part || !editorLink())
        return;
    // Every descriptor of this parameter of this set, or of the edited
    // instrument while the set is the edited one.
    for (int i = 0; i < numParaSlots; ++i) {
        const EPAS_c* d = getEPAS(i);
        if (d && d->target == part && d->parameter == para &&
            (d->instrument == set || (d->instrument == -1 && set == getEditIns())))
            updateEditor(i, full);
    }
}

void Synth::showKey(NoteC_c note)
{
    EditorLink_i* link = editorLink();
    if (!link)
        return;
    const int key = std::clamp(note.note, 0, 127);
    const int velocity = std::clamp(note.velocity, 0, 127);
    if (mustNotWait()) {
        holdCmdtoGUI(Cmd::EditorKey, note.channel, key * 128 + velocity, nullptr, nullptr, hdAppend);
        return;
    }
    link->noteOn(false, NoteC_c::of(key, velocity, note.channel));
}
