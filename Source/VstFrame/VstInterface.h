// The VST 2.4 plug-in interface as a host and a plug-in see it in a 64-bit
// Linux process: the records, function types and numbered opcodes that cross
// the boundary. Written for this project; every layout below is pinned by
// static_asserts so a change that would break binary compatibility with real
// hosts fails to compile.
#pragma once

#include <cstddef>
#include <cstdint>

struct AEffect;

// Host callback ("audio master"): the plug-in calls the host through it.
using audioMasterCallback = intptr_t (*)(AEffect* effect, int32_t opcode, int32_t index,
                                         intptr_t value, void* ptr, float opt);

using AEffectDispatcherProc = intptr_t (*)(AEffect* effect, int32_t opcode, int32_t index,
                                           intptr_t value, void* ptr, float opt);
using AEffectProcessProc = void (*)(AEffect* effect, float** inputs, float** outputs,
                                    int32_t sampleFrames);
using AEffectProcessDoubleProc = void (*)(AEffect* effect, double** inputs, double** outputs,
                                          int32_t sampleFrames);
using AEffectSetParameterProc = void (*)(AEffect* effect, int32_t index, float parameter);
using AEffectGetParameterProc = float (*)(AEffect* effect, int32_t index);

// Builds a four-character code the way the interface stores them: first
// character in the most significant byte.
constexpr int32_t vstFourCC(char a, char b, char c, char d)
{
    return static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint8_t>(a)) << 24) |
                                (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 16) |
                                (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 8) |
                                static_cast<uint32_t>(static_cast<uint8_t>(d)));
}

constexpr int32_t kEffectMagic = vstFourCC('V', 's', 't', 'P'); // 0x56737450

struct AEffect
{
    int32_t magic;
    AEffectDispatcherProc dispatcher;
    AEffectProcessProc process;         // accumulating, deprecated
    AEffectSetParameterProc setParameter;
    AEffectGetParameterProc getParameter;
    int32_t numPrograms;
    int32_t numParams;
    int32_t numInputs;
    int32_t numOutputs;
    int32_t flags;
    intptr_t resvd1;
    intptr_t resvd2;
    int32_t initialDelay;
    int32_t realQualities;
    int32_t offQualities;
    float ioRatio;
    void* object;
    void* user;
    int32_t uniqueID;
    int32_t version;
    AEffectProcessProc processReplacing;
    AEffectProcessDoubleProc processDoubleReplacing;
    char future[56];
};

static_assert(offsetof(AEffect, magic) == 0);
static_assert(offsetof(AEffect, dispatcher) == 8);
static_assert(offsetof(AEffect, process) == 16);
static_assert(offsetof(AEffect, setParameter) == 24);
static_assert(offsetof(AEffect, getParameter) == 32);
static_assert(offsetof(AEffect, numPrograms) == 40);
static_assert(offsetof(AEffect, numParams) == 44);
static_assert(offsetof(AEffect, numInputs) == 48);
static_assert(offsetof(AEffect, numOutputs) == 52);
static_assert(offsetof(AEffect, flags) == 56);
static_assert(offsetof(AEffect, resvd1) == 64);
static_assert(offsetof(AEffect, resvd2) == 72);
static_assert(offsetof(AEffect, initialDelay) == 80);
static_assert(offsetof(AEffect, realQualities) == 84);
static_assert(offsetof(AEffect, offQualities) == 88);
static_assert(offsetof(AEffect, ioRatio) == 92);
static_assert(offsetof(AEffect, object) == 96);
static_assert(offsetof(AEffect, user) == 104);
static_assert(offsetof(AEffect, uniqueID) == 112);
static_assert(offsetof(AEffect, version) == 116);
static_assert(offsetof(AEffect, processReplacing) == 120);
static_assert(offsetof(AEffect, processDoubleReplacing) == 128);
static_assert(offsetof(AEffect, future) == 136);
static_assert(sizeof(AEffect) == 192);

// Bits of AEffect::flags.
enum VstAEffectFlags : int32_t
{
    effFlagsHasEditor = 1 << 0,
    effFlagsHasClip = 1 << 1,          // deprecated
    effFlagsHasVu = 1 << 2,            // deprecated
    effFlagsCanMono = 1 << 3,          // deprecated
    effFlagsCanReplacing = 1 << 4,
    effFlagsProgramChunks = 1 << 5,
    effFlagsIsSynth = 1 << 8,
    effFlagsNoSoundInStop = 1 << 9,
    effFlagsExtIsAsync = 1 << 10,      // deprecated
    effFlagsExtHasBuffer = 1 << 11,    // deprecated
    effFlagsCanDoubleReplacing = 1 << 12,
};

// Opcodes the host sends through the dispatcher.
enum VstDispatcherOpcode : int32_t
{
    effOpen = 0,
    effClose = 1,
    effSetProgram = 2,
    effGetProgram = 3,
    effSetProgramName = 4,
    effGetProgramName = 5,
    effGetParamLabel = 6,
    effGetParamDisplay = 7,
    effGetParamName = 8,
    effGetVu = 9,
    effSetSampleRate = 10,
    effSetBlockSize = 11,
    effMainsChanged = 12,
    effEditGetRect = 13,
    effEditOpen = 14,
    effEditClose = 15,
    effEditDraw = 16,
    effEditMouse = 17,
    effEditKey = 18,
    effEditIdle = 19,
    effEditTop = 20,
    effEditSleep = 21,
    effIdentify = 22,
    effGetChunk = 23,
    effSetChunk = 24,
    effProcessEvents = 25,
    effCanBeAutomated = 26,
    effString2Parameter = 27,
    effGetNumProgramCategories = 28,
    effGetProgramNameIndexed = 29,
    effCopyProgram = 30,
    effConnectInput = 31,
    effConnectOutput = 32,
    effGetInputProperties = 33,
    effGetOutputProperties = 34,
    effGetPlugCategory = 35,
    effGetCurrentPosition = 36,
    effGetDestinationBuffer = 37,
    effOfflineNotify = 38,
    effOfflinePrepare = 39,
    effOfflineRun = 40,
    effProcessVarIo = 41,
    effSetSpeakerArrangement = 42,
    effSetBlockSizeAndSampleRate = 43,
    effSetBypass = 44,
    effGetEffectName = 45,
    effGetErrorText = 46,
    effGetVendorString = 47,
    effGetProductString = 48,
    effGetVendorVersion = 49,
    effVendorSpecific = 50,
    effCanDo = 51,
    effGetTailSize = 52,
    effIdle = 53,
    effGetIcon = 54,
    effSetViewPosition = 55,
    effGetParameterProperties = 56,
    effKeysRequired = 57,
    effGetVstVersion = 58,
    effEditKeyDown = 59,
    effEditKeyUp = 60,
    effSetEditKnobMode = 61,
    effGetMidiProgramName = 62,
    effGetCurrentMidiProgram = 63,
    effGetMidiProgramCategory = 64,
    effHasMidiProgramsChanged = 65,
    effGetMidiKeyName = 66,
    effBeginSetProgram = 67,
    effEndSetProgram = 68,
    effGetSpeakerArrangement = 69,
    effShellGetNextPlugin = 70,
    effStartProcess = 71,
    effStopProcess = 72,
    effSetTotalSampleToProcess = 73,
    effSetPanLaw = 74,
    effBeginLoadBank = 75,
    effBeginLoadProgram = 76,
    effSetProcessPrecision = 77,
    effGetNumMidiInputChannels = 78,
    effGetNumMidiOutputChannels = 79,
};

// Opcodes the plug-in sends through the host callback.
enum VstHostOpcode : int32_t
{
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterCurrentId = 2,
    audioMasterIdle = 3,
    audioMasterPinConnected = 4,
    audioMasterWantMidi = 6,
    audioMasterGetTime = 7,
    audioMasterProcessEvents = 8,
    audioMasterSetTime = 9,
    audioMasterTempoAt = 10,
    audioMasterGetNumAutomatableParameters = 11,
    audioMasterGetParameterQuantization = 12,
    audioMasterIOChanged = 13,
    audioMasterNeedIdle = 14,
    audioMasterSizeWindow = 15,
    audioMasterGetSampleRate = 16,
    audioMasterGetBlockSize = 17,
    audioMasterGetInputLatency = 18,
    audioMasterGetOutputLatency = 19,
    audioMasterGetPreviousPlug = 20,
    audioMasterGetNextPlug = 21,
    audioMasterWillReplaceOrAccumulate = 22,
    audioMasterGetCurrentProcessLevel = 23,
    audioMasterGetAutomationState = 24,
    audioMasterOfflineStart = 25,
    audioMasterOfflineRead = 26,
    audioMasterOfflineWrite = 27,
    audioMasterOfflineGetCurrentPass = 28,
    audioMasterOfflineGetCurrentMetaPass = 29,
    audioMasterSetOutputSampleRate = 30,
    audioMasterGetOutputSpeakerArrangement = 31,
    audioMasterGetVendorString = 32,
    audioMasterGetProductString = 33,
    audioMasterGetVendorVersion = 34,
    audioMasterVendorSpecific = 35,
    audioMasterSetIcon = 36,
    audioMasterCanDo = 37,
    audioMasterGetLanguage = 38,
    audioMasterOpenWindow = 39,
    audioMasterCloseWindow = 40,
    audioMasterGetDirectory = 41,
    audioMasterUpdateDisplay = 42,
    audioMasterBeginEdit = 43,
    audioMasterEndEdit = 44,
    audioMasterOpenFileSelector = 45,
    audioMasterCloseFileSelector = 46,
    audioMasterEditFile = 47,
    audioMasterGetChunkFile = 48,
    audioMasterGetInputSpeakerArrangement = 49,
};

// Plug-in categories answered to effGetPlugCategory.
enum VstPlugCategory : int32_t
{
    kPlugCategUnknown = 0,
    kPlugCategEffect = 1,
    kPlugCategSynth = 2,
};

// Text capacities the interface defines. Hosts allocate at least these; many
// allocate more (see the frame's answer caps).
enum VstStringLimits : int32_t
{
    kVstMaxProgNameLen = 24,
    kVstMaxParamStrLen = 8,
    kVstMaxVendorStrLen = 64,
    kVstMaxProductStrLen = 64,
    kVstMaxEffectNameLen = 32,
    kVstMaxNameLen = 64,
    kVstMaxLabelLen = 64,
    kVstMaxShortLabelLen = 8,
    kVstMaxCategLabelLen = 24,
    kVstMaxFileNameLen = 100,
};

// ---------------------------------------------------------------------------
// Events

enum VstEventTypes : int32_t
{
    kVstMidiType = 1,
    kVstSysExType = 6,
};

struct VstEvent
{
    int32_t type;
    int32_t byteSize;    // size of the record minus the first two fields' 8 bytes
    int32_t deltaFrames; // frame offset within the current block
    int32_t flags;
    char data[16];
};
static_assert(offsetof(VstEvent, type) == 0);
static_assert(offsetof(VstEvent, byteSize) == 4);
static_assert(offsetof(VstEvent, deltaFrames) == 8);
static_assert(offsetof(VstEvent, flags) == 12);
static_assert(offsetof(VstEvent, data) == 16);
static_assert(sizeof(VstEvent) == 32);

enum VstMidiEventFlags : int32_t
{
    kVstMidiEventIsRealtime = 1,
};

struct VstMidiEvent
{
    int32_t type;        // kVstMidiType
    int32_t byteSize;    // sizeof(VstMidiEvent)
    int32_t deltaFrames;
    int32_t flags;
    int32_t noteLength;  // frames, 0 when unknown
    int32_t noteOffset;  // frames into the note
    char midiData[4];    // status, two data bytes, one reserved zero
    char detune;         // cents, -64..63
    char noteOffVelocity;
    char reserved1;
    char reserved2;
};
static_assert(offsetof(VstMidiEvent, noteLength) == 16);
static_assert(offsetof(VstMidiEvent, noteOffset) == 20);
static_assert(offsetof(VstMidiEvent, midiData) == 24);
static_assert(offsetof(VstMidiEvent, detune) == 28);
static_assert(offsetof(VstMidiEvent, noteOffVelocity) == 29);
static_assert(sizeof(VstMidiEvent) == 32);

struct VstMidiSysexEvent
{
    int32_t type;        // kVstSysExType
    int32_t byteSize;
    int32_t deltaFrames;
    int32_t flags;
    int32_t dumpBytes;
    intptr_t resvd1;
    char* sysexDump;
    intptr_t resvd2;
};
static_assert(offsetof(VstMidiSysexEvent, dumpBytes) == 16);
static_assert(offsetof(VstMidiSysexEvent, resvd1) == 24);
static_assert(offsetof(VstMidiSysexEvent, sysexDump) == 32);
static_assert(offsetof(VstMidiSysexEvent, resvd2) == 40);
static_assert(sizeof(VstMidiSysexEvent) == 48);

// A list of events. The array is declared with two entries; hosts allocate
// the record with room for numEvents pointers.
struct VstEvents
{
    int32_t numEvents;
    intptr_t reserved;
    VstEvent* events[2];
};
static_assert(offsetof(VstEvents, numEvents) == 0);
static_assert(offsetof(VstEvents, reserved) == 8);
static_assert(offsetof(VstEvents, events) == 16);
static_assert(sizeof(VstEvents) == 32);

// ---------------------------------------------------------------------------
// Time information (host opcode 7)

enum VstTimeInfoFlags : int32_t
{
    kVstTransportChanged = 1,
    kVstTransportPlaying = 1 << 1,
    kVstTransportCycleActive = 1 << 2,
    kVstTransportRecording = 1 << 3,
    kVstAutomationWriting = 1 << 6,
    kVstAutomationReading = 1 << 7,
    kVstNanosValid = 1 << 8,
    kVstPpqPosValid = 1 << 9,
    kVstTempoValid = 1 << 10,
    kVstBarsValid = 1 << 11,
    kVstCyclePosValid = 1 << 12,
    kVstTimeSigValid = 1 << 13,
    kVstSmpteValid = 1 << 14,
    kVstClockValid = 1 << 15,
};

struct VstTimeInfo
{
    double samplePos;          // frames since the song start
    double sampleRate;
    double nanoSeconds;        // system time
    double ppqPos;             // quarter notes since the song start
    double tempo;              // beats per minute
    double barStartPos;        // quarter-note position of the current bar's start
    double cycleStartPos;
    double cycleEndPos;
    int32_t timeSigNumerator;
    int32_t timeSigDenominator;
    int32_t smpteOffset;
    int32_t smpteFrameRate;
    int32_t samplesToNextClock;
    int32_t flags;             // VstTimeInfoFlags
};
static_assert(offsetof(VstTimeInfo, samplePos) == 0);
static_assert(offsetof(VstTimeInfo, sampleRate) == 8);
static_assert(offsetof(VstTimeInfo, nanoSeconds) == 16);
static_assert(offsetof(VstTimeInfo, ppqPos) == 24);
static_assert(offsetof(VstTimeInfo, tempo) == 32);
static_assert(offsetof(VstTimeInfo, barStartPos) == 40);
static_assert(offsetof(VstTimeInfo, cycleStartPos) == 48);
static_assert(offsetof(VstTimeInfo, cycleEndPos) == 56);
static_assert(offsetof(VstTimeInfo, timeSigNumerator) == 64);
static_assert(offsetof(VstTimeInfo, timeSigDenominator) == 68);
static_assert(offsetof(VstTimeInfo, smpteOffset) == 72);
static_assert(offsetof(VstTimeInfo, smpteFrameRate) == 76);
static_assert(offsetof(VstTimeInfo, samplesToNextClock) == 80);
static_assert(offsetof(VstTimeInfo, flags) == 84);
static_assert(sizeof(VstTimeInfo) == 88);

// ---------------------------------------------------------------------------
// Editor records

struct ERect
{
    int16_t top;
    int16_t left;
    int16_t bottom;
    int16_t right;
};
static_assert(offsetof(ERect, top) == 0);
static_assert(offsetof(ERect, left) == 2);
static_assert(offsetof(ERect, bottom) == 4);
static_assert(offsetof(ERect, right) == 6);
static_assert(sizeof(ERect) == 8);

struct VstKeyCode
{
    int32_t character;
    uint8_t virt;      // virtual key code
    uint8_t modifier;  // modifier bits
};
static_assert(offsetof(VstKeyCode, character) == 0);
static_assert(offsetof(VstKeyCode, virt) == 4);
static_assert(offsetof(VstKeyCode, modifier) == 5);
static_assert(sizeof(VstKeyCode) == 8);

// ---------------------------------------------------------------------------
// Pins and speakers

enum VstPinPropertiesFlags : int32_t
{
    kVstPinIsActive = 1,
    kVstPinIsStereo = 1 << 1,
    kVstPinUseSpeaker = 1 << 2,
};

struct VstPinProperties
{
    char label[kVstMaxLabelLen];
    int32_t flags;            // VstPinPropertiesFlags
    int32_t arrangementType;  // VstSpeakerArrangementType
    char shortLabel[kVstMaxShortLabelLen];
    char future[48];
};
static_assert(offsetof(VstPinProperties, label) == 0);
static_assert(offsetof(VstPinProperties, flags) == 64);
static_assert(offsetof(VstPinProperties, arrangementType) == 68);
static_assert(offsetof(VstPinProperties, shortLabel) == 72);
static_assert(sizeof(VstPinProperties) == 128);

enum VstSpeakerArrangementType : int32_t
{
    kSpeakerArrUserDefined = -2,
    kSpeakerArrEmpty = -1,
    kSpeakerArrMono = 0,
    kSpeakerArrStereo = 1,
    kSpeakerArrStereoSurround = 2,
    kSpeakerArrStereoCenter = 3,
    kSpeakerArrStereoSide = 4,
    kSpeakerArrStereoCLfe = 5,
    kSpeakerArr30Cine = 6,
    kSpeakerArr30Music = 7,
    kSpeakerArr31Cine = 8,
    kSpeakerArr31Music = 9,
    kSpeakerArr40Cine = 10,
    kSpeakerArr40Music = 11,
    kSpeakerArr41Cine = 12,
    kSpeakerArr41Music = 13,
    kSpeakerArr50 = 14,
    kSpeakerArr51 = 15,
};

enum VstSpeakerType : int32_t
{
    kSpeakerUndefined = 0x7fffffff,
    kSpeakerM = 0,
    kSpeakerL = 1,
    kSpeakerR = 2,
    kSpeakerC = 3,
    kSpeakerLfe = 4,
    kSpeakerLs = 5,
    kSpeakerRs = 6,
};

struct VstSpeakerProperties
{
    float azimuth;    // radians, -pi..pi
    float elevation;  // radians, -pi/2..pi/2
    float radius;     // meters
    float reserved;
    char name[kVstMaxNameLen];
    int32_t type;     // VstSpeakerType
    char future[28];
};
static_assert(offsetof(VstSpeakerProperties, azimuth) == 0);
static_assert(offsetof(VstSpeakerProperties, elevation) == 4);
static_assert(offsetof(VstSpeakerProperties, radius) == 8);
static_assert(offsetof(VstSpeakerProperties, reserved) == 12);
static_assert(offsetof(VstSpeakerProperties, name) == 16);
static_assert(offsetof(VstSpeakerProperties, type) == 80);
static_assert(sizeof(VstSpeakerProperties) == 112);

// Declared with room for eight speakers; allocateArrangement makes records
// of header + n * sizeof(VstSpeakerProperties) bytes.
struct VstSpeakerArrangement
{
    int32_t type;         // VstSpeakerArrangementType
    int32_t numChannels;
    VstSpeakerProperties speakers[8];
};
static_assert(offsetof(VstSpeakerArrangement, type) == 0);
static_assert(offsetof(VstSpeakerArrangement, numChannels) == 4);
static_assert(offsetof(VstSpeakerArrangement, speakers) == 8);
static_assert(sizeof(VstSpeakerArrangement) == 8 + 8 * 112);

// ---------------------------------------------------------------------------
// Parameter properties (effGetParameterProperties)

struct VstParameterProperties
{
    float stepFloat;
    float smallStepFloat;
    float largeStepFloat;
    char label[kVstMaxLabelLen];
    int32_t flags;
    int32_t minInteger;
    int32_t maxInteger;
    int32_t stepInteger;
    int32_t largeStepInteger;
    char shortLabel[kVstMaxShortLabelLen];
    int16_t displayIndex;
    int16_t category;
    int16_t numParametersInCategory;
    int16_t reserved;
    char categoryLabel[kVstMaxCategLabelLen];
    char future[16];
};
static_assert(offsetof(VstParameterProperties, label) == 12);
static_assert(offsetof(VstParameterProperties, flags) == 76);
static_assert(offsetof(VstParameterProperties, shortLabel) == 96);
static_assert(offsetof(VstParameterProperties, displayIndex) == 104);
static_assert(offsetof(VstParameterProperties, categoryLabel) == 112);
static_assert(sizeof(VstParameterProperties) == 152);

// Opaque records of the deprecated offline and variable-I/O interfaces: the
// frame only passes their pointers on.
struct VstAudioFile;
struct VstOfflineTask;
struct VstVariableIo;
struct VstPatchChunkInfo;
struct VstWindow;
struct VstFileSelect;
struct MidiProgramName;
struct MidiProgramCategory;
struct MidiKeyName;

extern "C" {
// The one symbol a plug-in exports; everything else stays hidden.
__attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback audioMaster);
}
