// The engine's construction, lifecycle, identity and output answers.
#include "Synth.h"

#include "AEffEditor.h"
#include "Disk.h"
#include "ECS2.h"
#include "FileDialog.h"
#include "HostFamily.h"
#include "Instrument.h"
#include "ModuleManager.h"
#include "NRPN.h"
#include "NoteFreqTable.h"
#include "OsLib.h"
#include "Path.h"
#include "RegMod.h"
#include "SafeDiv.h"
#include "SysGlo.h"
#include "ToolingChannel.h"
#include "VdxString.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>
#include <string>

float NullBuffer[MaxBlockSize];
float OneBuffer[MaxBlockSize];
std::atomic<double> Bpm{120.0};
std::atomic<double> RecBpm{1.0 / 120.0};

unsigned char Synth::CopyBuffer0[CopyBufferBytes];
unsigned char Synth::CopyBuffer1[CopyBufferBytes];

namespace {

// Filled once per process, before anything can render from them: at load
// and again (a no-op) from every engine's open.
std::once_flag audioBlocksFilled;
void fillAudioBlocks()
{
    std::call_once(audioBlocksFilled, [] {
        for (int i = 0; i < MaxBlockSize; ++i) {
            NullBuffer[i] = (i & 1) ? 1e-7f : -1e-7f;
            OneBuffer[i] = 1.0f;
        }
    });
}
const bool audioBlocksAtLoad = (fillAudioBlocks(), true);

bool sizesFit(int hostParameters, int parameterSlots, int instruments)
{
    return hostParameters <= parameterSlots && instruments <= MaxInstruments;
}

int32_t hostParamCount(bool automation, int hostParameters, int instruments, int stride)
{
    if (!automation)
        return 0;
    if (instruments == 1)
        return hostParameters;
    return (instruments + 1) * stride - 1;
}

bool copyAnswer(char* dest, const char* text, size_t cap)
{
    if (!dest)
        return false;
    const size_t n = std::min(std::strlen(text ? text : ""), cap - 1);
    std::memcpy(dest, text ? text : "", n);
    dest[n] = 0;
    return true;
}

template <typename T>
T* allocArray(size_t n)
{
    return new (std::nothrow) T[n]();
}

uint32_t nowMs()
{
    return static_cast<uint32_t>(OsLib_c::getMilliseconds());
}

} // namespace

Synth::Synth(audioMasterCallback audioMaster, const SynthFigures& f)
    : AudioEffectX(audioMaster, f.programs, hostParamCount(f.automation, f.hostParameters, f.instruments, f.stride)),
      constructed(sizesFit(f.hostParameters, f.parameterSlots, f.instruments))
{
    (void)audioBlocksAtLoad;
    // Every member already has its defined empty state; a failed size check
    // stops here and leaves an object that never opens and frees nothing it
    // did not make.
    if (!constructed)
        return;
    // The host is called while the engine is built (host detection, pin
    // counts); a callback that throws must not leak what was made so far:
    // the destructor does not run for an object whose constructor threw.
    try {

    stride = std::max(1, f.stride);
    numInsPrgMem = std::max(0, f.insProgramMemories);
    numFxsPrgMem = std::max(0, f.fxsProgramMemories);
    numProgramsFig = std::max(0, f.programs);
    numParaSlots = std::max(0, f.parameterSlots);
    numHostParas = std::max(0, f.hostParameters);
    numInstruments = std::max(0, f.instruments);
    numVoices = std::max(0, f.voices);
    numFxUnits = std::max(0, f.effectUnits);
    automation = f.automation;
    productName = f.productName ? f.productName : "";
    acceptedIds = f.acceptedIds ? f.acceptedIds : "";
    versionText = f.versionText ? f.versionText : "";
    copyAnswer(codeName, f.codeName, sizeof(codeName));
    const int stereoPairs = std::max(0, f.stereoPairs);
    const int monoOutputs = std::max(0, f.monoOutputs);

    sysGlo = std::make_unique<SysGlo_c>(codeName);
    synGlo = std::make_unique<SynGlo_c>(stereoPairs + monoOutputs);
    synGloIns = std::make_unique<SynGloIns_c>(numProgramsFig, stereoPairs, monoOutputs);
    ecs = std::make_unique<ECS2_c>(this, codeName);
    noteFreqTable = std::make_unique<NoteFreqTable_c>();
    createVoiceTable();
    // The module manager's export no longer borrows the engine's chunk
    // buffer (the host may be reading it), so it is given none.
    moduleManager = std::make_unique<ModuleManager_c>(this, nullptr, CopyBuffer0, CopyBuffer1);
    fileDialog = new FileDialog_c(this);
    disk = new Disk_c();
    nrpn = std::make_unique<NRPN_c>();
    createProgramLists();

    initOutputConfiguration(stereoPairs, monoOutputs, f.inputs);
    muteSoloScratch = allocArray<int>(static_cast<size_t>(numInstruments) + 1);

    Bpm = 120.0;
    RecBpm = 1.0 / 120.0;
    std::srand(static_cast<unsigned>(std::time(nullptr)));

    if (audioMaster) {
        programsAreChunks(true);
        canProcessReplacing(true);
        isSynth(f.isSynth);
    }
    detectHost();
    opening = false;

    } catch (...) {
        releaseOwnedMemory();
        throw;
    }
}

Synth::~Synth()
{
    idleTimer.stopTimer();
    panels.stop();
    if (flagOpen)
        closeShutdown();
    releaseOwnedMemory();
}

void Synth::releaseOwnedMemory()
{
    delete[] muteSoloScratch;
    muteSoloScratch = nullptr;
    for (float*& in : inputOwn) {
        delete[] in;
        in = nullptr;
    }
    delete[] outPtrs;
    delete[] outSame;
    delete[] outCall;
    delete[] scratchOut;
    delete disk;
    delete fileDialog;
    outPtrs = nullptr;
    outSame = nullptr;
    outCall = nullptr;
    scratchOut = nullptr;
    disk = nullptr;
    fileDialog = nullptr;
}

// ---------------------------------------------------------------------------
// Identity

int32_t Synth::versionNumber(const char* text)
{
    int32_t n = 0;
    for (const char* c = text; c && *c && n < 1000; ++c)
        if (*c >= '0' && *c <= '9')
            n = n * 10 + (*c - '0');
    // Without a digit there is nothing to scale up (and 0 would never reach 1000).
    if (n <= 0)
        return 0;
    while (n < 1000)
        n *= 10;
    return n;
}

int Synth::hostIdOf(const char* product, const char* vendor)
{
    struct Known
    {
        const char* prefix;
        int id;
    };
    // In this order; a later match overrides an earlier one.
    static const Known table[] = {
        {"Cubase", HostFamily::Cubase},
        {"Cubasis", HostFamily::Cubase},
        {"Nuendo", HostFamily::Cubase},
        {"ProTools", HostFamily::ProTools},
        {"Live", HostFamily::Live},
        {"Fruity", HostFamily::Fruity},
        {"Orion", HostFamily::Orion},
        {"Logic", HostFamily::Logic},
        {"Making Waves", HostFamily::MakingWaves},
        {"MultitrackStudio", HostFamily::MultitrackStudio},
        {"SingerSongWriter", HostFamily::SingerSongWriter},
        {"Cakewalk", HostFamily::Cakewalk},
        {"Samplitude", HostFamily::Samplitude},
        {"Tracktion", HostFamily::Tracktion},
        {"GarageBand", HostFamily::GarageBand},
        {"Receptor", HostFamily::Receptor},
        {"REAPER", HostFamily::Reaper},
        {"Chainer", HostFamily::Chainer},
        {"FX Teleport Server", HostFamily::FxTeleport},
        {"Kore", HostFamily::Kore},
    };
    auto begins = [](const char* text, const char* prefix) {
        return text && std::strncmp(text, prefix, std::strlen(prefix)) == 0;
    };
    int id = HostFamily::Unknown;
    for (const Known& k : table) {
        if (begins(product, k.prefix))
            id = k.id;
        // The Receptor is also recognised by its maker.
        if (k.id == HostFamily::Receptor && begins(vendor, "Muse Research"))
            id = HostFamily::Receptor;
    }
    return id;
}

void Synth::detectHost()
{
    // Hosts are meant to write at most 64 bytes; the buffers are larger and
    // terminated at their end whatever the host wrote.
    hostProduct[0] = 0;
    hostVendor[0] = 0;
    getHostProductString(hostProduct);
    getHostVendorString(hostVendor);
    hostProduct[sizeof(hostProduct) - 1] = 0;
    hostVendor[sizeof(hostVendor) - 1] = 0;
    hostId = hostIdOf(hostProduct, hostVendor);
}

bool Synth::getEffectName(char* name)
{
    return copyAnswer(name, productName, EffectNameAnswerSize);
}

bool Synth::getProductString(char* text)
{
    return copyAnswer(text, productName, ProductAnswerSize);
}

bool Synth::getVendorString(char* text)
{
    return copyAnswer(text, "Vendrax", VendorAnswerSize);
}

int32_t Synth::getVendorVersion()
{
    return versionNumber(versionText);
}

int32_t Synth::canDo(char* text)
{
    if (!text)
        return 0;
    static const char* const yes[] = {"receiveVstEvents", "receiveVstMidiEvent", "sendVstEvents",
                                      "sendVstMidiEvent", "midiProgramNames"};
    for (const char* answer : yes)
        if (std::strcmp(text, answer) == 0)
            return 1;
    return -1;
}

int32_t Synth::getPlugCategory()
{
    return kPlugCategSynth;
}

bool Synth::beginEdit(int32_t index)
{
    if (index < 0 || index % stride >= numHostParas)
        return false;
    return AudioEffectX::beginEdit(index);
}

bool Synth::endEdit(int32_t index)
{
    if (index < 0 || index % stride >= numHostParas)
        return false;
    return AudioEffectX::endEdit(index);
}

intptr_t Synth::vendorSpecific(int32_t index, intptr_t value, void* ptr, float opt)
{
    BusyScope busyScope(*this);
    if (editor && index == 0x73744341 && static_cast<int32_t>(value) == 0x57686565)
        return editor->onWheel(opt) ? 1 : 0;
    if (index == Tooling::ChannelId) {
        if (!ptr)
            return Tooling::Refused;
        // Only the two leading words are read until they say the record is
        // this build's.
        int32_t head[2];
        std::memcpy(head, ptr, sizeof head);
        if (head[0] != static_cast<int32_t>(sizeof(Tooling::Request)) || head[1] != Tooling::RequestVersion)
            return Tooling::Refused;
        return toolingRequest(static_cast<int32_t>(value), *static_cast<Tooling::Request*>(ptr));
    }
    // The rest are the editor's to answer or to decline.
    return editor ? editor->vendorSpecific(index, value, ptr, opt) : 0;
}

bool Synth::getOutputProperties(int32_t index, VstPinProperties* properties)
{
    if (!properties)
        return false;
    const char a = productName[0] ? productName[0] : ' ';
    const char b = productName[0] && productName[1] ? productName[1] : ' ';
    if (numStereo == 1 && numMono == 0) {
        char label[7] = {};
        std::strncpy(label, productName, 6);
        copyAnswer(properties->label, label, sizeof(properties->label));
        properties->flags = kVstPinIsActive | kVstPinIsStereo;
        return true;
    }
    char label[sizeof(properties->label)];
    if (index >= 2 * numStereo) {
        std::snprintf(label, sizeof(label), "%c%c M%02d", a, b, (index + 1 - 2 * numStereo) % 100);
        properties->flags = kVstPinIsActive;
    } else {
        std::snprintf(label, sizeof(label), "%c%c S%02d", a, b, (index / 2 + 1) % 100);
        properties->flags = kVstPinIsActive | kVstPinIsStereo;
    }
    copyAnswer(properties->label, label, sizeof(properties->label));
    return true;
}

// ---------------------------------------------------------------------------
// Outputs

void Synth::initOutputConfiguration(int stereo, int mono, int inputs)
{
    stereo = std::max(0, stereo);
    mono = std::max(0, mono);
    inputs = std::max(0, inputs);
    const int outputs = mono + 2 * stereo;
    if (outputs > outputCapacity) {
        // Only ever grows off the audio thread: the audio side reconfigures
        // through validateOutputs, which never exceeds the present counts.
        if (onAudioThread())
            return;
        const int capacity = std::max(outputs, NumOutputs51);
        float** ptrs = allocArray<float*>(capacity);
        unsigned char* same = allocArray<unsigned char>(capacity);
        float** call = allocArray<float*>(capacity);
        if (!ptrs || !same || !call) {
            delete[] ptrs;
            delete[] same;
            delete[] call;
            return;
        }
        delete[] outPtrs;
        delete[] outSame;
        delete[] outCall;
        outPtrs = ptrs;
        outSame = same;
        outCall = call;
        outputCapacity = capacity;
    }
    numStereo = stereo;
    numMono = mono;
    numInputsCfg = inputs;
    numOutputs = outputs;
    numBuses = stereo + mono;
    std::fill(outPtrs, outPtrs + outputCapacity, nullptr);
    std::fill(outSame, outSame + outputCapacity, 0);
    // The host learns its pin counts off the audio thread only; what it
    // passes stays what it was told.
    if (!onAudioThread()) {
        if (audioMaster) {
            setNumOutputs(outputs);
            setNumInputs(inputs);
        }
        hostOutputs = outputs;
    }
}

void Synth::probeOutputs(int* stereo, int* mono)
{
    int s = 0;
    while (s < numStereo && isOutputConnected(2 * s) && isOutputConnected(2 * s + 1))
        ++s;
    int m = 0;
    // Only as many pins as are configured: a host (or no host) answering
    // "connected" for every index cannot run the count away.
    while (m < numMono && 2 * s + m < numOutputs && isOutputConnected(2 * s + m))
        ++m;
    *stereo = s;
    *mono = m;
}

void Synth::validateOutputs()
{
    if (hostId != HostFamily::Cubase && hostId != HostFamily::Live) {
        int stereo = 0;
        int mono = 0;
        probeOutputs(&stereo, &mono);
        // Fewer than two outputs: back to one stereo pair, and no mono
        // output beside it.
        if (2 * stereo + mono < 2) {
            stereo = 1;
            mono = 0;
        }
        initOutputConfiguration(stereo, mono, numInputsCfg);
        checkOutputBuses();
    }
    outputsValidated = true;
}

void Synth::checkOutputBuses()
{
    // An instrument keeps its output bus while the bus still exists; the
    // instrument's output index follows at once, the setting itself (a
    // parameter write, with its notifications) and the redraws on the idle side.
    for (int i = 0; instruments && synGloIns && i < numInstruments; ++i) {
        int bus = synGloIns->getParaVal(i, SynGloInsPara::OutputSelection);
        if (bus >= numBuses)
            bus = 0;
        if (instruments[i])
            instruments[i]->setOutIdx(bus < numStereo ? bus * 2 : bus + numStereo);
    }
    if (onAudioThread())
        deferredDisplayWork = true;
    else
        runDeferredDisplayWork();
}

void Synth::runDeferredDisplayWork()
{
    for (int i = 0; synGloIns && i < numInstruments; ++i)
        if (synGloIns->getParaVal(i, SynGloInsPara::OutputSelection) >= numBuses)
            synGloIns->setParaVal(i, SynGloInsPara::OutputSelection, 0);
    updateVersionInfo();
    updateEditor();
    updateHostDisplay();
}

// ---------------------------------------------------------------------------
// Readiness and the audio hold

bool Synth::getFlagInitialized()
{
    if (!hasParameterMap() || !instruments || !insPrgMems || !outPtrs || !outSame)
        return false;
    if (numFxsPrgMem > 0 && !fxsPrgMems)
        return false;
    if (numFxUnits > 0 && !fxUnits)
        return false;
    return true;
}

void Synth::checkSetFlagReady()
{
    bool ok = resetting.load() == 0 && sampleRateValid.load() && outputsValidated.load() &&
              instruments != nullptr;
    for (int i = 0; ok && i < numInstruments; ++i)
        ok = instruments[i] != nullptr;
    for (int i = 0; ok && i < numFxUnits; ++i)
        ok = fxUnits && fxUnits[i] != nullptr;
    ready.store(ok);
    // A reset that began while this ran must not find ready set behind its back.
    if (ok && resetting.load() != 0)
        ready.store(false);
}

Synth::AudioHold::AudioHold(Synth& s) : synth(s), held(!onAudioThread())
{
    if (!held)
        return;
    synth.holdMutex.lock();
    synth.resetting.fetch_add(1);
    synth.ready.store(false);
    // The audio side raises in-callback before it looks at ready, so once it
    // is seen clear here, no block renders until the hold ends.
    while (synth.inCallback.load())
        OsLib_c::xSleep(ResetWaitStepMs);
}

Synth::AudioHold::~AudioHold()
{
    if (!held)
        return;
    synth.resetting.fetch_sub(1);
    synth.checkSetFlagReady();
    synth.holdMutex.unlock();
}

// ---------------------------------------------------------------------------
// Lifecycle

void Synth::initAudioCopyBuffers()
{
    fillAudioBlocks();
}

void Synth::open()
{
    if (!constructed || flagOpen)
        return;
    // A product class's open sets opening around its own work as well; the
    // flag then stays up until that outer open ends.
    const bool outermost = !opening.exchange(true);
    initAudioCopyBuffers();

    instruments = allocArray<Instrument_c*>(static_cast<size_t>(numInstruments) + 1);
    voices = allocArray<Tone_c*>(static_cast<size_t>(numVoices) + 1);
    insPrgMems = allocArray<MemC_c*>(static_cast<size_t>(numInsPrgMem) + 1);
    if (numFxsPrgMem > 0)
        fxsPrgMems = allocArray<MemC_c*>(static_cast<size_t>(numFxsPrgMem) + 1);
    if (numFxUnits > 0)
        fxUnits = allocArray<Part_c*>(static_cast<size_t>(numFxUnits) + 1);
    bool ok = instruments && voices && insPrgMems && (numFxsPrgMem <= 0 || fxsPrgMems) &&
              (numFxUnits <= 0 || fxUnits) && openParameterMap();
    for (unsigned char*& block : scratchBlocks) {
        block = allocArray<unsigned char>(36);
        ok = ok && block;
    }
    if (ok && !scratchOut) {
        scratchFrames = std::max(blockSize, 4096);
        scratchOut = allocArray<float>(static_cast<size_t>(scratchFrames));
        ok = scratchOut != nullptr;
    }
    if (!ok) {
        closeShutdown();
        if (outermost)
            opening = false;
        return;
    }

    const uint32_t now = nowMs();
    openTimeStamp = now;
    idleTimeStamp = now;
    hostIdleStamp = now;

    // Rows 0 and 1 of the registry: the synth and the instrument settings.
    int row = -1;
    registerFirstModul(&row, synGlo.get(), 0, 1, rmgInstrument);
    registerFirstModul(&row, synGloIns.get(), 0, 1, rmgInstrument);
    // The tuning table and the system settings keep one set each, order 0.
    noteFreqTable->create(this, noteFreqTable.get());
    noteFreqTable->getParaSetPtr(&tuningSet);
    if (tuningSet)
        tuningSet->setOrder(0);
    sysGlo->create(this, noteFreqTable.get());
    sysGlo->getParaSetPtr(&sysGloSet);
    if (sysGloSet)
        sysGloSet->setOrder(0);

    detectHost();
    if (!sysGlo->isRecalled())
        sysGlo->recall();

    char supplyIdle[] = "supplyIdle";
    hostSuppliesIdle = canHostDo(supplyIdle) > 0;
    // The timer runs from open to close. It does the idle work itself when
    // the host gives no idle calls, and otherwise only steps in when the
    // host's idle has been missing for a second.
    idleTimer.startTimer(&Synth::idleTimerCallback, IdleTimerPeriodMs, this);

    flagOpen = getFlagInitialized();
    // A product that finds its tables incomplete leaves the engine closed:
    // nothing of this open stays behind (the destructor only closes what is
    // open).
    if (!flagOpen)
        closeShutdown();
    if (outermost)
        opening = false;
}

// ---------------------------------------------------------------------------
// Host calls on several threads

Synth::HostCallScope::HostCallScope(Synth& s) : synth(s), held(!s.onHostAudioThread() && !onAudioThread())
{
    if (held)
        synth.engineLock.getWritePermission();
}

Synth::HostCallScope::~HostCallScope()
{
    if (held)
        synth.engineLock.releaseWritePermission();
}

namespace {

// Host calls this thread is inside (of any instance): idle work that must
// hold no lock never runs inside one, as it would when a host called idle
// from inside another of its calls.
thread_local int hostCallDepth = 0;

} // namespace

intptr_t Synth::dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt)
{
    // Close deletes the object (and the lock with it); events are delivered
    // without waiting, parked when their instrument is busy.
    if (opcode == effClose || opcode == effProcessEvents)
        return AudioEffectX::dispatcher(opcode, index, value, ptr, opt);
    if (opcode == effEditIdle || opcode == effEditOpen)
        editorIdleStamp = nowMs();
    intptr_t result = 0;
    {
        HostCallScope owner(*this);
        ++hostCallDepth;
        result = AudioEffectX::dispatcher(opcode, index, value, ptr, opt);
        --hostCallDepth;
        if (opcode == effEditOpen)
            editorWindowOpen = result != 0;
        else if (opcode == effEditClose)
            editorWindowOpen = false;
    }
    if (opcode == effIdle)
        runIdleOutsideLocks();
    return result;
}

void Synth::runIdleOutsideLocks()
{
    if (hostCallDepth > 0 || onAudioThread() || !flagOpen.load() || opening.load() || isChunkLoadInProgress())
        return;
    if (idleOutsideRunning.exchange(true))
        return;
    {
        BusyScope busyScope(*this);
        idleOutsideLocks();
    }
    idleOutsideRunning = false;
}

void Synth::close()
{
    if (flagOpen)
        closeShutdown();
}

void Synth::closeShutdown()
{
    // Stopped and joined first: no idle work runs while the tables go, and
    // no answer comes back to them.
    idleTimer.stopTimer();
    panels.stop();
    hostSuppliesIdle = false;
    AudioHold hold(*this);
    flagOpen = false;
    ready = false;
    delete[] instruments;
    instruments = nullptr;
    delete[] voices;
    voices = nullptr;
    delete[] fxUnits;
    fxUnits = nullptr;
    releaseProgramMemories();
    delete[] insPrgMems;
    insPrgMems = nullptr;
    delete[] fxsPrgMems;
    fxsPrgMems = nullptr;
    for (unsigned char*& block : scratchBlocks) {
        delete[] block;
        block = nullptr;
    }
    closeParameterMap();
}

void Synth::resume()
{
    if (!flagOpen)
        open();
    if (!flagOpen)
        return;
    {
        BusyScope busyScope(*this);
        engineLock.getWritePermission();
        if (!sampleRateValid)
            setSampleRate(44100.0f);
        if (!sysGlo->isRecalled())
            sysGlo->recall();
        for (int p = 2; p <= 5; ++p)
            postprocessParaChange(0, sysGlo.get(), p);
        // The product's default assignments, then the stored table, which
        // replaces them when there is one.
        initECS();
        if (ecs)
            ecs->recall();
        {
            AudioHold hold(*this);
            MidiReset();
            // The voices' resume joins here with the voice work.
            for (int i = 0; i < numInstruments; ++i) {
                synGloIns->setParaVal(i, SynGloInsPara::NotesOn, 0);
                if (instruments[i])
                    instruments[i]->resume();
            }
            for (int i = 0; i < numFxUnits; ++i)
                if (fxUnits[i])
                    fxUnits[i]->resume();
        }
        // The start-up programs, unless a chunk or the start-up programs
        // were loaded already.
        if (!programsLoaded)
            loadStartupPatches();
        wantEvents(1);
        engineLock.releaseWritePermission();
    }
    AudioEffectX::resume();
}

void Synth::suspend()
{
    if (!flagOpen)
        return;
    BusyScope busyScope(*this);
    // Hosts suspend with the audio stopped; the hold makes that so for any
    // host, as the modules clear their state here.
    AudioHold hold(*this);
    for (int i = 0; i < numFxUnits; ++i)
        if (fxUnits[i])
            fxUnits[i]->suspend();
    for (int i = 0; i < numInstruments; ++i)
        if (instruments[i])
            instruments[i]->suspend();
}

void Synth::setSampleRate(float rate)
{
    // A rate outside what the engine runs at (not finite, zero, negative, a
    // few Hz or a billion) is refused before anything is sized by it: the
    // last good rate stays, and the user learns which range is accepted.
    if (!(rate >= HostRateMin && rate <= HostRateMax)) {
        const char* format = "The host asked for a sample rate of %g Hz. Tessel3 runs at %g to %g Hz and stays at %g Hz.";
        const double values[] = {static_cast<double>(rate), static_cast<double>(HostRateMin),
                                 static_cast<double>(HostRateMax), static_cast<double>(getSampleRate())};
        std::string text(static_cast<size_t>(std::snprintf(nullptr, 0, format, values[0], values[1], values[2],
                                                           values[3])),
                         '\0');
        std::snprintf(text.data(), text.size() + 1, format, values[0], values[1], values[2], values[3]);
        holdUserMessage("Sample Rate Error", text.c_str());
        return;
    }
    if (!flagOpen)
        open();
    if (!flagOpen)
        return;
    BusyScope busyScope(*this);
    // Some hosts change the rate while they keep processing: the modules
    // re-size their lines and work blocks here, so no block may render
    // until every one of them is done.
    AudioHold hold(*this);
    AudioEffect::setSampleRate(rate);
    engineSampleRate = rate;
    recSampleRate = so_ddiv(1.0, rate);
    sampleRateValid = true; // a refused rate never comes this far
    checkSetFlagReady();
    for (int i = 0; i < numInstruments; ++i)
        if (instruments[i])
            instruments[i]->setSampleRate(rate);
    for (int i = 0; i < numFxUnits; ++i)
        if (fxUnits[i])
            fxUnits[i]->setSampleRate(rate);
    setSampleRateRegMod(rate);
}

void Synth::setBlockSize(int32_t frames)
{
    frames = std::max<int32_t>(1, frames);
    AudioHold hold(*this);
    if (numInputsCfg > 0) {
        for (float*& in : inputOwn) {
            delete[] in;
            in = allocArray<float>(static_cast<size_t>(frames) + 17);
        }
    }
    if (flagOpen && frames > scratchFrames) {
        float* grown = allocArray<float>(static_cast<size_t>(frames));
        if (grown) {
            delete[] scratchOut;
            scratchOut = grown;
            scratchFrames = frames;
        }
    }
    AudioEffect::setBlockSize(frames);
    blockSizeCopy = frames;
}

void Synth::reset()
{
    suspend();
    resetPara();
    // The program memories take the reset parameters, and each instrument
    // selects the program of its own number.
    for (int i = 0; i < numInsPrgMem; ++i)
        setPrgFromPara(i);
    for (int i = 0; i < numFxsPrgMem; ++i)
        setPrgFromParaFxs(i);
    for (int i = 0; i < numInstruments; ++i)
        setInsPrg(i, i);
    resume();
}

// ---------------------------------------------------------------------------
// Services for parts and the other engine files

Instrument_c* Synth::getInstPtr(int i)
{
    if (!instruments || numInstruments < 1)
        return nullptr;
    return instruments[std::clamp(i, 0, numInstruments - 1)];
}

void Synth::makeSure(int) {}

void Synth::makeSure(int first, int last)
{
    for (int k = first; k < last; ++k)
        makeSure(k);
}

void Synth::makeSureFxs(int) {}

void Synth::makeSureFxs(int first, int last)
{
    for (int k = first; k < last; ++k)
        makeSureFxs(k);
}

void Synth::updateHostDisplay()
{
    if (!programsLoaded)
        return;
    if (onAudioThread()) {
        deferredDisplayWork = true;
        return;
    }
    updateDisplay();
}

void Synth::checkRegForModPath(char* name)
{
    if (!name || !*name || !disk)
        return;
    const Tool::Disk::Path_c plugDir = disk->getPlugDir(this);
    if (plugDir.empty())
        return;
    const Vdx::String_c key = Vdx::String_c(codeName) + "Mod_" + name;
    Vdx::String_c stored;
    if (OsLib_c::recallStringCore(key, &stored) && !stored.empty())
        return;
    const Tool::Disk::Path_c folder =
        plugDir / Tool::Disk::Path_c(Vdx::String_c(codeName) + "Mod") / Tool::Disk::Path_c(name);
    OsLib_c::remindStringCore(key, folder.getString());
}

void Synth::hardNoteOff(int ins)
{
    if (onAudioThread()) {
        hardNoteOffCore(ins);
        return;
    }
    // Elsewhere the audio thread is held out of the engine, so neither a
    // render nor a note of the audio thread meets the voices being stopped.
    AudioHold hold(*this);
    hardNoteOffCore(ins);
}
