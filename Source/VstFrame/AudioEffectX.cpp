#include "AudioEffectX.h"

#include "AEffEditor.h"
#include "Capacities.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Bytes of an arrangement record with room for count speakers.
size_t arrangementBytes(int32_t count)
{
    return offsetof(VstSpeakerArrangement, speakers) +
           static_cast<size_t>(count) * sizeof(VstSpeakerProperties);
}

void terminateField(char* field, size_t size)
{
    field[size - 1] = 0;
}

void terminateLabels(VstPinProperties& pin)
{
    static_assert(sizeof(pin.label) == PinLabelAnswerSize);
    static_assert(sizeof(pin.shortLabel) == PinShortLabelAnswerSize);
    terminateField(pin.label, sizeof(pin.label));
    terminateField(pin.shortLabel, sizeof(pin.shortLabel));
}

void terminateLabels(VstParameterProperties& props)
{
    terminateField(props.label, sizeof(props.label));
    terminateField(props.shortLabel, sizeof(props.shortLabel));
    terminateField(props.categoryLabel, sizeof(props.categoryLabel));
}

// A record answer: the host's record is the starting point (an override may
// leave fields as the host set them); the labels are always terminated. A
// refused query leaves the host's record as it was.
template <typename Record, typename Query>
intptr_t answerRecord(void* ptr, Query query)
{
    if (!ptr)
        return 0;
    Record record;
    std::memcpy(&record, ptr, sizeof(record));
    if (!query(&record))
        return 0;
    terminateLabels(record);
    std::memcpy(ptr, &record, sizeof(record));
    return 1;
}

} // namespace

AudioEffectX::AudioEffectX(audioMasterCallback audioMaster, int32_t numPrograms, int32_t numParams)
    : AudioEffect(audioMaster, numPrograms, numParams)
{
}

// ---------------------------------------------------------------------------
// Dispatcher, opcodes 25..79. Every opcode that hands over a pointer answers 0
// when it is null; texts and records go to the virtual operation through
// room of our own and reach the host cut to what it allocates.

intptr_t AudioEffectX::dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt)
{
    char* const hostText = static_cast<char*>(ptr);
    // A key for the editor: the character in index, the virtual key in value,
    // the modifiers in opt.
    auto passKey = [&](bool (AEffEditor::*handler)(VstKeyCode&)) -> intptr_t {
        if (!editor)
            return 0;
        VstKeyCode key{};
        key.character = index;
        key.virt = static_cast<uint8_t>(value);
        key.modifier = std::isfinite(opt) && std::fabs(opt) < 256.0f
                           ? static_cast<uint8_t>(static_cast<int32_t>(opt))
                           : 0;
        return (editor->*handler)(key) ? 1 : 0;
    };

    switch (opcode) {
    case effProcessEvents:
        return ptr ? processEvents(static_cast<VstEvents*>(ptr)) : 0;
    case effCanBeAutomated:
        return canParameterBeAutomated(index) ? 1 : 0;
    case effString2Parameter:
        return hostText && string2parameter(index, hostText) ? 1 : 0;
    case effGetNumProgramCategories:
        return getNumCategories();
    case effGetProgramNameIndexed:
        return answerText(hostText, ProgramNameAnswerSize,
                          [&](char* t) { return getProgramNameIndexed(static_cast<int32_t>(value), index, t); })
                   ? 1
                   : 0;
    case effCopyProgram:
        return copyProgram(index) ? 1 : 0;
    case effConnectInput:
        inputConnected(index, value != 0);
        return 1;
    case effConnectOutput:
        outputConnected(index, value != 0);
        return 1;
    case effGetInputProperties:
        return answerRecord<VstPinProperties>(ptr,
                                              [&](VstPinProperties* p) { return getInputProperties(index, p); });
    case effGetOutputProperties:
        return answerRecord<VstPinProperties>(ptr,
                                              [&](VstPinProperties* p) { return getOutputProperties(index, p); });
    case effGetPlugCategory:
        return getPlugCategory();
    case effGetCurrentPosition:
        return reportCurrentPosition();
    case effGetDestinationBuffer:
        return reinterpret_cast<intptr_t>(reportDestinationBuffer());
    case effOfflineNotify:
        return ptr && offlineNotify(static_cast<VstAudioFile*>(ptr), static_cast<int32_t>(value),
                                    index != 0)
                   ? 1
                   : 0;
    case effOfflinePrepare:
        return ptr && offlinePrepare(static_cast<VstOfflineTask*>(ptr), static_cast<int32_t>(value))
                   ? 1
                   : 0;
    case effOfflineRun:
        return ptr && offlineRun(static_cast<VstOfflineTask*>(ptr), static_cast<int32_t>(value)) ? 1 : 0;
    case effProcessVarIo:
        return ptr && processVariableIo(static_cast<VstVariableIo*>(ptr)) ? 1 : 0;
    case effSetSpeakerArrangement:
        // The output arrangement is the one that matters to an instrument;
        // the input one (in value) may be null and is passed on as it is.
        return ptr && setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                            static_cast<VstSpeakerArrangement*>(ptr))
                   ? 1
                   : 0;
    case effSetBlockSizeAndSampleRate:
        setBlockSizeAndSampleRate(static_cast<int32_t>(value), opt);
        return 1;
    case effSetBypass:
        return setBypass(value != 0) ? 1 : 0;
    case effGetEffectName:
        return answerText(hostText, EffectNameAnswerSize, [&](char* t) { return getEffectName(t); }) ? 1 : 0;
    case effGetErrorText:
        return hostText && getErrorText(hostText) ? 1 : 0;
    case effGetVendorString:
        return answerText(hostText, VendorAnswerSize, [&](char* t) { return getVendorString(t); }) ? 1 : 0;
    case effGetProductString:
        return answerText(hostText, ProductAnswerSize, [&](char* t) { return getProductString(t); }) ? 1 : 0;
    case effGetVendorVersion:
        return getVendorVersion();
    case effVendorSpecific:
        // Each vendor message defines its own use of the pointer; it goes on as it is.
        return vendorSpecific(index, value, ptr, opt);
    case effCanDo:
        return hostText ? canDo(hostText) : 0;
    case effGetTailSize:
        return getGetTailSize();
    case effIdle:
        return fxIdle();
    case effGetIcon:
        return reinterpret_cast<intptr_t>(getIcon());
    case effSetViewPosition:
        return setViewPosition(index, static_cast<int32_t>(value)) ? 1 : 0;
    case effGetParameterProperties:
        return answerRecord<VstParameterProperties>(
            ptr, [&](VstParameterProperties* p) { return getParameterProperties(index, p); });
    case effKeysRequired:
        return keysRequired() ? 0 : 1;
    case effGetVstVersion:
        return getVstVersion();
    case effEditKeyDown:
        return passKey(&AEffEditor::onKeyDown);
    case effEditKeyUp:
        return passKey(&AEffEditor::onKeyUp);
    case effSetEditKnobMode:
        return editor && editor->setKnobMode(static_cast<int32_t>(value)) ? 1 : 0;
    case effGetMidiProgramName:
        return ptr ? getMidiProgramName(index, static_cast<MidiProgramName*>(ptr)) : 0;
    case effGetCurrentMidiProgram:
        return ptr ? getCurrentMidiProgram(index, static_cast<MidiProgramName*>(ptr)) : 0;
    case effGetMidiProgramCategory:
        return ptr ? getMidiProgramCategory(index, static_cast<MidiProgramCategory*>(ptr)) : 0;
    case effHasMidiProgramsChanged:
        return hasMidiProgramsChanged(index) ? 1 : 0;
    case effGetMidiKeyName:
        return ptr && getMidiKeyName(index, static_cast<MidiKeyName*>(ptr)) ? 1 : 0;
    case effBeginSetProgram:
        return beginSetProgram() ? 1 : 0;
    case effEndSetProgram:
        return endSetProgram() ? 1 : 0;
    case effGetSpeakerArrangement: {
        auto** input = reinterpret_cast<VstSpeakerArrangement**>(value);
        auto** output = static_cast<VstSpeakerArrangement**>(ptr);
        return input && output && getSpeakerArrangement(input, output) ? 1 : 0;
    }
    case effShellGetNextPlugin: {
        intptr_t id = 0;
        answerText(hostText, ProductAnswerSize, [&](char* t) { id = getNextShellPlugin(t); });
        return id;
    }
    case effStartProcess:
        return startProcess();
    case effStopProcess:
        return stopProcess();
    case effSetTotalSampleToProcess:
        return setTotalSampleToProcess(static_cast<int32_t>(value));
    case effSetPanLaw:
        return setPanLaw(static_cast<int32_t>(value), opt) ? 1 : 0;
    case effBeginLoadBank:
        return ptr ? beginLoadBank(static_cast<VstPatchChunkInfo*>(ptr)) : 0;
    case effBeginLoadProgram:
        return ptr ? beginLoadProgram(static_cast<VstPatchChunkInfo*>(ptr)) : 0;
    case effSetProcessPrecision:
        return setProcessPrecision(static_cast<int32_t>(value)) ? 1 : 0;
    case effGetNumMidiInputChannels:
        return getNumMidiInputChannels();
    case effGetNumMidiOutputChannels:
        return getNumMidiOutputChannels();
    default:
        return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}

void AudioEffectX::resume()
{
    char receiveMidi[] = "receiveVstMidiEvent";
    if (hasFlag(effFlagsIsSynth) || canDo(receiveMidi) == 1)
        wantEvents(1);
}

// ---------------------------------------------------------------------------
// Defaults of the plug-in's own answers

bool AudioEffectX::canParameterBeAutomated(int32_t) { return true; }
bool AudioEffectX::string2parameter(int32_t, char*) { return false; }
bool AudioEffectX::getParameterProperties(int32_t, VstParameterProperties*) { return false; }
bool AudioEffectX::getProgramNameIndexed(int32_t, int32_t, char*) { return false; }
bool AudioEffectX::beginSetProgram() { return false; }
bool AudioEffectX::endSetProgram() { return false; }
int32_t AudioEffectX::beginLoadBank(VstPatchChunkInfo*) { return 0; }
int32_t AudioEffectX::beginLoadProgram(VstPatchChunkInfo*) { return 0; }
bool AudioEffectX::getInputProperties(int32_t, VstPinProperties*) { return false; }
bool AudioEffectX::getOutputProperties(int32_t, VstPinProperties*) { return false; }
bool AudioEffectX::setSpeakerArrangement(VstSpeakerArrangement*, VstSpeakerArrangement*) { return false; }

bool AudioEffectX::getSpeakerArrangement(VstSpeakerArrangement** input, VstSpeakerArrangement** output)
{
    if (input)
        *input = nullptr;
    if (output)
        *output = nullptr;
    return false;
}

bool AudioEffectX::setBypass(bool) { return false; }
bool AudioEffectX::setPanLaw(int32_t, float) { return false; }
bool AudioEffectX::setProcessPrecision(int32_t) { return false; }
int32_t AudioEffectX::getNumMidiInputChannels() { return 16; }
int32_t AudioEffectX::getNumMidiOutputChannels() { return 16; }
int32_t AudioEffectX::processEvents(VstEvents*) { return 0; }
int32_t AudioEffectX::startProcess() { return 0; }
int32_t AudioEffectX::stopProcess() { return 0; }
bool AudioEffectX::processVariableIo(VstVariableIo*) { return false; }
int32_t AudioEffectX::setTotalSampleToProcess(int32_t value) { return value; }

void AudioEffectX::isSynth(bool state)
{
    setFlag(effFlagsIsSynth, state);
}

void AudioEffectX::noTail(bool state)
{
    setFlag(effFlagsNoSoundInStop, state);
}

int32_t AudioEffectX::getGetTailSize() { return 0; }
bool AudioEffectX::getEffectName(char*) { return false; }
bool AudioEffectX::getVendorString(char*) { return false; }
bool AudioEffectX::getProductString(char*) { return false; }
int32_t AudioEffectX::getVendorVersion() { return 0; }
intptr_t AudioEffectX::vendorSpecific(int32_t, intptr_t, void*, float) { return 0; }
int32_t AudioEffectX::canDo(char*) { return 0; }
int32_t AudioEffectX::getVstVersion() { return 2400; }

int32_t AudioEffectX::getPlugCategory()
{
    return hasFlag(effFlagsIsSynth) ? kPlugCategSynth : kPlugCategUnknown;
}

int32_t AudioEffectX::getMidiProgramName(int32_t, MidiProgramName*) { return 0; }
int32_t AudioEffectX::getCurrentMidiProgram(int32_t, MidiProgramName*) { return -1; }
int32_t AudioEffectX::getMidiProgramCategory(int32_t, MidiProgramCategory*) { return 0; }
bool AudioEffectX::hasMidiProgramsChanged(int32_t) { return false; }
bool AudioEffectX::getMidiKeyName(int32_t, MidiKeyName*) { return false; }
int32_t AudioEffectX::getNextShellPlugin(char*) { return 0; }
bool AudioEffectX::offlineNotify(VstAudioFile*, int32_t, bool) { return false; }
bool AudioEffectX::offlinePrepare(VstOfflineTask*, int32_t) { return false; }
bool AudioEffectX::offlineRun(VstOfflineTask*, int32_t) { return false; }
int32_t AudioEffectX::offlineGetNumPasses() { return 0; }
int32_t AudioEffectX::offlineGetNumMetaPasses() { return 0; }
int32_t AudioEffectX::getNumCategories() { return 1; }
bool AudioEffectX::copyProgram(int32_t) { return false; }
void AudioEffectX::inputConnected(int32_t, bool) {}
void AudioEffectX::outputConnected(int32_t, bool) {}

void AudioEffectX::wantAsyncOperation(bool state)
{
    setFlag(effFlagsExtIsAsync, state);
}

void AudioEffectX::hasExternalBuffer(bool state)
{
    setFlag(effFlagsExtHasBuffer, state);
}

int32_t AudioEffectX::reportCurrentPosition() { return 0; }
float* AudioEffectX::reportDestinationBuffer() { return nullptr; }

void AudioEffectX::setBlockSizeAndSampleRate(int32_t frames, float rate)
{
    setBlockSize(frames);
    setSampleRate(rate);
}

bool AudioEffectX::getErrorText(char*) { return false; }
void* AudioEffectX::getIcon() { return nullptr; }
bool AudioEffectX::setViewPosition(int32_t, int32_t) { return false; }
int32_t AudioEffectX::fxIdle() { return 0; }
bool AudioEffectX::keysRequired() { return true; }

// ---------------------------------------------------------------------------
// Host-callback wrappers (callHost answers 0 without a host callback)

bool AudioEffectX::beginEdit(int32_t index)
{
    return callHost(audioMasterBeginEdit, index) != 0;
}

bool AudioEffectX::endEdit(int32_t index)
{
    return callHost(audioMasterEndEdit, index) != 0;
}

bool AudioEffectX::ioChanged()
{
    return callHost(audioMasterIOChanged) != 0;
}

double AudioEffectX::updateSampleRate()
{
    if (!audioMaster)
        return 0.0;
    const intptr_t rate = callHost(audioMasterGetSampleRate);
    if (rate > 0)
        sampleRate = static_cast<float>(rate);
    return sampleRate;
}

int32_t AudioEffectX::updateBlockSize()
{
    if (!audioMaster)
        return 0;
    const intptr_t frames = callHost(audioMasterGetBlockSize);
    if (frames > 0 && frames <= INT32_MAX)
        blockSize = static_cast<int32_t>(frames);
    return blockSize;
}

int32_t AudioEffectX::getInputLatency()
{
    return static_cast<int32_t>(callHost(audioMasterGetInputLatency));
}

int32_t AudioEffectX::getOutputLatency()
{
    return static_cast<int32_t>(callHost(audioMasterGetOutputLatency));
}

VstTimeInfo* AudioEffectX::getTimeInfo(int32_t filter)
{
    return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter));
}

int32_t AudioEffectX::getCurrentProcessLevel()
{
    return static_cast<int32_t>(callHost(audioMasterGetCurrentProcessLevel));
}

int32_t AudioEffectX::getAutomationState()
{
    return static_cast<int32_t>(callHost(audioMasterGetAutomationState));
}

bool AudioEffectX::askHostText(int32_t opcode, char* text)
{
    if (!text)
        return false;
    *text = 0;
    return callHost(opcode, 0, 0, text) != 0;
}

bool AudioEffectX::getHostVendorString(char* text)
{
    return askHostText(audioMasterGetVendorString, text);
}

bool AudioEffectX::getHostProductString(char* text)
{
    return askHostText(audioMasterGetProductString, text);
}

int32_t AudioEffectX::getHostVendorVersion()
{
    return static_cast<int32_t>(callHost(audioMasterGetVendorVersion));
}

intptr_t AudioEffectX::hostVendorSpecific(int32_t index, intptr_t value, void* ptr, float opt)
{
    return callHost(audioMasterVendorSpecific, index, value, ptr, opt);
}

int32_t AudioEffectX::canHostDo(char* text)
{
    if (!text)
        return 0;
    return static_cast<int32_t>(callHost(audioMasterCanDo, 0, 0, text));
}

int32_t AudioEffectX::getHostLanguage()
{
    return static_cast<int32_t>(callHost(audioMasterGetLanguage));
}

void* AudioEffectX::getDirectory()
{
    return reinterpret_cast<void*>(callHost(audioMasterGetDirectory));
}

bool AudioEffectX::updateDisplay()
{
    return callHost(audioMasterUpdateDisplay) != 0;
}

bool AudioEffectX::sizeWindow(int32_t width, int32_t height)
{
    return callHost(audioMasterSizeWindow, width, height) != 0;
}

bool AudioEffectX::openFileSelector(VstFileSelect* select)
{
    return select && callHost(audioMasterOpenFileSelector, 0, 0, select) != 0;
}

bool AudioEffectX::closeFileSelector(VstFileSelect* select)
{
    return select && callHost(audioMasterCloseFileSelector, 0, 0, select) != 0;
}

bool AudioEffectX::offlineRead(VstOfflineTask* offline, int32_t option, bool readSource)
{
    return offline && callHost(audioMasterOfflineRead, readSource ? 1 : 0, option, offline) != 0;
}

bool AudioEffectX::offlineWrite(VstOfflineTask* offline, int32_t option)
{
    return offline && callHost(audioMasterOfflineWrite, 0, option, offline) != 0;
}

bool AudioEffectX::offlineStart(VstAudioFile* files, int32_t numAudioFiles, int32_t numNewAudioFiles)
{
    return files && callHost(audioMasterOfflineStart, numNewAudioFiles, numAudioFiles, files) != 0;
}

int32_t AudioEffectX::offlineGetCurrentPass()
{
    return static_cast<int32_t>(callHost(audioMasterOfflineGetCurrentPass));
}

int32_t AudioEffectX::offlineGetCurrentMetaPass()
{
    return static_cast<int32_t>(callHost(audioMasterOfflineGetCurrentMetaPass));
}

void AudioEffectX::wantEvents(int32_t filter)
{
    callHost(audioMasterWantMidi, 0, filter);
}

int32_t AudioEffectX::tempoAt(int32_t pos)
{
    return static_cast<int32_t>(callHost(audioMasterTempoAt, 0, pos));
}

int32_t AudioEffectX::getNumAutomatableParameters()
{
    return static_cast<int32_t>(callHost(audioMasterGetNumAutomatableParameters));
}

int32_t AudioEffectX::getParameterQuantization()
{
    return static_cast<int32_t>(callHost(audioMasterGetParameterQuantization));
}

bool AudioEffectX::needIdle()
{
    return callHost(audioMasterNeedIdle) != 0;
}

AEffect* AudioEffectX::getPreviousPlug(int32_t input)
{
    return reinterpret_cast<AEffect*>(callHost(audioMasterGetPreviousPlug, input));
}

AEffect* AudioEffectX::getNextPlug(int32_t output)
{
    return reinterpret_cast<AEffect*>(callHost(audioMasterGetNextPlug, output));
}

int32_t AudioEffectX::willProcessReplacing()
{
    return static_cast<int32_t>(callHost(audioMasterWillReplaceOrAccumulate));
}

void AudioEffectX::setOutputSamplerate(float rate)
{
    callHost(audioMasterSetOutputSampleRate, 0, 0, nullptr, rate);
}

VstSpeakerArrangement* AudioEffectX::getInputSpeakerArrangement()
{
    return reinterpret_cast<VstSpeakerArrangement*>(callHost(audioMasterGetInputSpeakerArrangement));
}

VstSpeakerArrangement* AudioEffectX::getOutputSpeakerArrangement()
{
    return reinterpret_cast<VstSpeakerArrangement*>(callHost(audioMasterGetOutputSpeakerArrangement));
}

void* AudioEffectX::openWindow(VstWindow* window)
{
    return reinterpret_cast<void*>(callHost(audioMasterOpenWindow, 0, 0, window));
}

bool AudioEffectX::closeWindow(VstWindow* window)
{
    return callHost(audioMasterCloseWindow, 0, 0, window) != 0;
}

bool AudioEffectX::getChunkFile(void* nativePath)
{
    return nativePath && callHost(audioMasterGetChunkFile, 0, 0, nativePath) != 0;
}

bool AudioEffectX::sendVstEventsToHost(VstEvents* events)
{
    return events && callHost(audioMasterProcessEvents, 0, 0, events) == 1;
}

// ---------------------------------------------------------------------------
// Speaker arrangements: variable-length records of a header and count
// speakers, allocated with calloc so they can cross to C code.

bool AudioEffectX::allocateArrangement(VstSpeakerArrangement** arrangement, int32_t count)
{
    if (!arrangement || count < 0)
        return false;
    deallocateArrangement(arrangement);
    auto* fresh = static_cast<VstSpeakerArrangement*>(std::calloc(1, arrangementBytes(count)));
    if (!fresh)
        return false;
    fresh->numChannels = count;
    *arrangement = fresh;
    return true;
}

bool AudioEffectX::deallocateArrangement(VstSpeakerArrangement** arrangement)
{
    if (!arrangement)
        return false;
    std::free(*arrangement);
    *arrangement = nullptr;
    return true;
}

bool AudioEffectX::copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from)
{
    if (!to || !from || to == from)
        return to && from;
    const size_t n = strnlen(from->name, sizeof(to->name) - 1);
    std::memcpy(to->name, from->name, n);
    to->name[n] = 0;
    to->azimuth = from->azimuth;
    to->elevation = from->elevation;
    to->radius = from->radius;
    to->reserved = from->reserved;
    to->type = from->type;
    std::memcpy(to->future, from->future, sizeof(to->future));
    return true;
}

bool AudioEffectX::matchArrangement(VstSpeakerArrangement** to, VstSpeakerArrangement* from)
{
    if (!to || !from || *to == from || from->numChannels < 0)
        return false;
    if (!allocateArrangement(to, from->numChannels))
        return false;
    (*to)->type = from->type;
    (*to)->numChannels = from->numChannels;
    for (int32_t i = 0; i < from->numChannels; ++i)
        if (!copySpeaker(&(*to)->speakers[i], &from->speakers[i]))
            return false;
    return true;
}
