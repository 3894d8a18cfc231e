// AudioEffectX: the VST 2 half of the plug-in frame: dispatcher opcodes
// 25..79 (MIDI events, pins and speakers, identity, host queries), the host
// callback wrappers and the speaker-arrangement helpers.
#pragma once

#include "AudioEffect.h"

class AudioEffectX : public AudioEffect
{
public:
    AudioEffectX(audioMasterCallback audioMaster, int32_t numPrograms, int32_t numParams);

    intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) override;
    // Asks the host for MIDI when this is a synth or takes MIDI events.
    void resume() override;

    virtual bool canParameterBeAutomated(int32_t index);
    virtual bool string2parameter(int32_t index, char* text);
    virtual bool getParameterProperties(int32_t index, VstParameterProperties* properties);
    // Host opcodes 43/44 around a user's edit of a parameter.
    virtual bool beginEdit(int32_t index);
    virtual bool endEdit(int32_t index);
    virtual bool getProgramNameIndexed(int32_t category, int32_t index, char* text);
    virtual bool beginSetProgram();
    virtual bool endSetProgram();
    virtual int32_t beginLoadBank(VstPatchChunkInfo* info);
    virtual int32_t beginLoadProgram(VstPatchChunkInfo* info);

    virtual bool ioChanged();
    // Asks the host; a positive answer becomes the member. Returns the member.
    virtual double updateSampleRate();
    virtual int32_t updateBlockSize();
    virtual int32_t getInputLatency();
    virtual int32_t getOutputLatency();
    virtual bool getInputProperties(int32_t index, VstPinProperties* properties);
    virtual bool getOutputProperties(int32_t index, VstPinProperties* properties);
    virtual bool setSpeakerArrangement(VstSpeakerArrangement* input, VstSpeakerArrangement* output);
    virtual bool getSpeakerArrangement(VstSpeakerArrangement** input, VstSpeakerArrangement** output);
    virtual bool setBypass(bool on);
    virtual bool setPanLaw(int32_t type, float value);
    virtual bool setProcessPrecision(int32_t precision);
    virtual int32_t getNumMidiInputChannels();
    virtual int32_t getNumMidiOutputChannels();

    // The host's transport; null when the host gives none. Thread: audio.
    virtual VstTimeInfo* getTimeInfo(int32_t filter);
    virtual int32_t getCurrentProcessLevel();
    virtual int32_t getAutomationState();
    // Thread: audio (usually).
    virtual int32_t processEvents(VstEvents* events);
    virtual int32_t startProcess();
    virtual int32_t stopProcess();
    virtual bool processVariableIo(VstVariableIo* io);
    virtual int32_t setTotalSampleToProcess(int32_t value);

    virtual bool getHostVendorString(char* text);
    virtual bool getHostProductString(char* text);
    virtual int32_t getHostVendorVersion();
    virtual intptr_t hostVendorSpecific(int32_t index, intptr_t value, void* ptr, float opt);
    // 1 yes, -1 no, 0 unknown.
    virtual int32_t canHostDo(char* text);
    virtual int32_t getHostLanguage();
    virtual void isSynth(bool state = true);
    virtual void noTail(bool state = true);
    virtual int32_t getGetTailSize();
    virtual void* getDirectory();

    virtual bool getEffectName(char* name);
    virtual bool getVendorString(char* text);
    virtual bool getProductString(char* text);
    virtual int32_t getVendorVersion();
    virtual intptr_t vendorSpecific(int32_t index, intptr_t value, void* ptr, float opt);
    // 1 yes, -1 no, 0 unknown.
    virtual int32_t canDo(char* text);
    virtual int32_t getVstVersion();
    virtual int32_t getPlugCategory();

    virtual int32_t getMidiProgramName(int32_t channel, MidiProgramName* name);
    virtual int32_t getCurrentMidiProgram(int32_t channel, MidiProgramName* current);
    virtual int32_t getMidiProgramCategory(int32_t channel, MidiProgramCategory* category);
    virtual bool hasMidiProgramsChanged(int32_t channel);
    virtual bool getMidiKeyName(int32_t channel, MidiKeyName* keyName);

    virtual bool updateDisplay();
    virtual bool sizeWindow(int32_t width, int32_t height);
    virtual bool openFileSelector(VstFileSelect* select);
    virtual bool closeFileSelector(VstFileSelect* select);
    virtual int32_t getNextShellPlugin(char* name);

    // Replaces *arrangement by a zeroed one with room for count speakers.
    virtual bool allocateArrangement(VstSpeakerArrangement** arrangement, int32_t count);
    virtual bool deallocateArrangement(VstSpeakerArrangement** arrangement);
    virtual bool copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from);
    // Makes *to a copy of from (reallocated to from's speaker count).
    virtual bool matchArrangement(VstSpeakerArrangement** to, VstSpeakerArrangement* from);

    virtual bool offlineRead(VstOfflineTask* offline, int32_t option, bool readSource = true);
    virtual bool offlineWrite(VstOfflineTask* offline, int32_t option);
    virtual bool offlineStart(VstAudioFile* files, int32_t numAudioFiles, int32_t numNewAudioFiles);
    virtual int32_t offlineGetCurrentPass();
    virtual int32_t offlineGetCurrentMetaPass();
    virtual bool offlineNotify(VstAudioFile* files, int32_t numAudioFiles, bool start);
    virtual bool offlinePrepare(VstOfflineTask* offline, int32_t count);
    virtual bool offlineRun(VstOfflineTask* offline, int32_t count);
    virtual int32_t offlineGetNumPasses();
    virtual int32_t offlineGetNumMetaPasses();

    virtual void wantEvents(int32_t filter = 1);
    // Tempo at a sample position, in beats per minute times 10000.
    virtual int32_t tempoAt(int32_t pos);
    virtual int32_t getNumAutomatableParameters();
    virtual int32_t getParameterQuantization();
    virtual int32_t getNumCategories();
    virtual bool copyProgram(int32_t destination);
    virtual bool needIdle();
    virtual AEffect* getPreviousPlug(int32_t input);
    virtual AEffect* getNextPlug(int32_t output);
    virtual void inputConnected(int32_t index, bool state);
    virtual void outputConnected(int32_t index, bool state);
    virtual int32_t willProcessReplacing();
    virtual void wantAsyncOperation(bool state = true);
    virtual void hasExternalBuffer(bool state = true);
    virtual int32_t reportCurrentPosition();
    virtual float* reportDestinationBuffer();
    virtual void setOutputSamplerate(float rate);
    virtual VstSpeakerArrangement* getInputSpeakerArrangement();
    virtual VstSpeakerArrangement* getOutputSpeakerArrangement();
    virtual void* openWindow(VstWindow* window);
    virtual bool closeWindow(VstWindow* window);
    // Goes through setBlockSize and setSampleRate, so an override of either sees the change.
    virtual void setBlockSizeAndSampleRate(int32_t frames, float rate);
    virtual bool getErrorText(char* text);
    virtual void* getIcon();
    virtual bool setViewPosition(int32_t x, int32_t y);
    // Deprecated idle call (opcode 53).
    virtual int32_t fxIdle();
    virtual bool keysRequired();
    virtual bool getChunkFile(void* nativePath);

    // Host opcode 8: true when the host took the events.
    bool sendVstEventsToHost(VstEvents* events);

private:
    // Asks the host to write a text into text, emptied first; false without
    // a buffer or when the host gives no answer.
    bool askHostText(int32_t opcode, char* text);
};
