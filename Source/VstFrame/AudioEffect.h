// AudioEffect: the VST 1 half of the plug-in frame. It owns the AEffect record
// that the host holds, turns the host's dispatcher opcodes 0..24 into virtual
// operations, and wraps the oldest host-callback opcodes.
//
// Threads: the host calls the process entries (and usually setParameter and
// opcode 25) from its audio thread and the other dispatcher opcodes from its
// user-interface thread; the frame itself keeps no locks.
#pragma once

#include "VstInterface.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>

class AEffEditor;

class AudioEffect
{
public:
    AudioEffect(audioMasterCallback audioMaster, int32_t numPrograms, int32_t numParams);
    // Deletes the attached editor.
    virtual ~AudioEffect();
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    virtual intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);

    virtual void open();
    virtual void close();
    virtual void suspend();
    virtual void resume();

    virtual void setSampleRate(float rate);
    virtual void setBlockSize(int32_t frames);

    // Thread: audio.
    virtual void processReplacing(float** inputs, float** outputs, int32_t sampleFrames) = 0;
    virtual void processDoubleReplacing(double** inputs, double** outputs, int32_t sampleFrames);

    virtual void setParameter(int32_t index, float value);
    virtual float getParameter(int32_t index);
    // setParameter, then tells the host (host opcode 0) so it records automation.
    virtual void setParameterAutomated(int32_t index, float value);

    virtual int32_t getProgram();
    virtual void setProgram(int32_t program);
    virtual void setProgramName(char* name);
    // The text operations below write into a buffer the caller sized for the
    // answer; the dispatcher caps what reaches the host.
    virtual void getProgramName(char* name);
    virtual void getParameterLabel(int32_t index, char* label);
    virtual void getParameterDisplay(int32_t index, char* text);
    virtual void getParameterName(int32_t index, char* text);

    // Size of the chunk whose address goes to *data; 0 when there is none.
    virtual int32_t getChunk(void** data, bool isPreset = false);
    virtual int32_t setChunk(void* data, int32_t byteSize, bool isPreset = false);

    virtual void setUniqueID(int32_t id);
    virtual void setNumInputs(int32_t inputs);
    virtual void setNumOutputs(int32_t outputs);
    virtual void canProcessReplacing(bool state = true);
    virtual void canDoubleReplacing(bool state = true);
    virtual void programsAreChunks(bool state = true);
    virtual void setInitialDelay(int32_t frames);

    virtual AEffEditor* getEditor();
    virtual AEffect* getAeffect();
    virtual float getSampleRate();
    virtual int32_t getBlockSize();

    // Host VST version; a host answering 0 counts as version 1.
    virtual int32_t getMasterVersion();
    virtual int32_t getCurrentUniqueId();
    virtual void masterIdle();
    // The host answers 0 for a connected pin.
    virtual bool isInputConnected(int32_t input);
    virtual bool isOutputConnected(int32_t output);

    // Display texts; maxLen is the size of text including the terminator.
    virtual void dB2string(float value, char* text, int32_t maxLen);
    // samples: a period in frames, shown as a frequency in Hz.
    virtual void Hz2string(float samples, char* text, int32_t maxLen);
    // samples: a length in frames, shown in milliseconds.
    virtual void ms2string(float samples, char* text, int32_t maxLen);
    virtual void float2string(float value, char* text, int32_t maxLen);
    virtual void int2string(int32_t value, char* text, int32_t maxLen);

    // Accumulating process (deprecated). Thread: audio.
    virtual void process(float** inputs, float** outputs, int32_t sampleFrames);
    virtual float getVu();
    virtual void hasVu(bool state = true);
    virtual void hasClip(bool state = true);
    virtual void canMono(bool state = true);
    virtual void setRealtimeQualities(int32_t qualities);
    virtual void setOfflineQualities(int32_t qualities);

    // Attaches the editor (owned from now on) and sets or clears the has-editor flag.
    void setEditor(AEffEditor* newEditor);

    // Trampolines stored in the AEffect record. None lets a C++ exception
    // reach the host: a failure is reported on stderr and answered with 0.
    static intptr_t dispatchEffectClass(AEffect* e, int32_t opcode, int32_t index, intptr_t value,
                                        void* ptr, float opt);
    static void processClass(AEffect* e, float** inputs, float** outputs, int32_t sampleFrames);
    static void processClassReplacing(AEffect* e, float** inputs, float** outputs, int32_t sampleFrames);
    static void processClassDoubleReplacing(AEffect* e, double** inputs, double** outputs,
                                            int32_t sampleFrames);
    static void setParameterClass(AEffect* e, int32_t index, float value);
    static float getParameterClass(AEffect* e, int32_t index);

protected:
    // Calls the host; 0 without a host callback.
    intptr_t callHost(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f);
    void setFlag(int32_t bit, bool state);
    bool hasFlag(int32_t bit) const;

    // Copies a text answer into the host's buffer of cap bytes, cut and terminated.
    static void copyTextAnswer(char* dest, const char* text, size_t cap);

    // Room for every text the virtual operations write; the dispatcher hands
    // them this much and caps only what leaves for the host.
    static constexpr size_t TextScratchSize = 256;

    // A text answer: fill writes into room of its own, the host's buffer
    // gets at most cap bytes of it. Returns what fill returns (true for a
    // fill that returns nothing); false, without calling fill, when the host
    // gave no buffer.
    template <typename Fill>
    static bool answerText(char* hostText, size_t cap, Fill fill)
    {
        if (!hostText)
            return false;
        char text[TextScratchSize] = {};
        bool ok = true;
        if constexpr (std::is_void_v<std::invoke_result_t<Fill&, char*>>)
            fill(text);
        else
            ok = fill(text);
        text[TextScratchSize - 1] = 0;
        copyTextAnswer(hostText, text, cap);
        return ok;
    }

    audioMasterCallback audioMaster;
    AEffEditor* editor;
    float sampleRate;   // Hz
    int32_t blockSize;  // frames
    int32_t numPrograms;
    int32_t numParams;
    int32_t curProgram;
    AEffect cEffect;

private:
    // Exceptions caught on the audio thread, which must not write to stderr;
    // the next dispatcher call from another thread reports them.
    std::atomic<uint32_t> audioFaults{0};
    void reportAudioFaults();
    // Runs an entry the host calls from its audio thread; an exception it
    // throws is only counted, for the next dispatcher call to report.
    // False when it threw.
    template <typename Entry>
    bool runAudioEntry(Entry entry);
};
