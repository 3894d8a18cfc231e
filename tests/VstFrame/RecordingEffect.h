// Test doubles for the frame: an effect that records which virtual operation
// the dispatcher reached, an editor that does the same, and a host callback
// that records what the plug-in asked.
#pragma once

#include "AEffEditor.h"
#include "AudioEffectX.h"

#include <cstring>
#include <string>
#include <vector>

// Calls joined by spaces, e.g. "setBlockSize(512) setSampleRate(48000)".
class CallLog
{
public:
    void add(const std::string& call) { calls_.push_back(call); }
    std::string joined() const
    {
        std::string s;
        for (const std::string& c : calls_)
            s += (s.empty() ? "" : " ") + c;
        return s;
    }
    void clear() { calls_.clear(); }

private:
    std::vector<std::string> calls_;
};

inline std::string num(double v)
{
    std::string s = std::to_string(v);
    s.erase(s.find_last_not_of('0') + 1);
    if (!s.empty() && s.back() == '.')
        s.pop_back();
    return s;
}

class RecordingEffect : public AudioEffectX
{
public:
    explicit RecordingEffect(audioMasterCallback host = nullptr, bool* destroyed = nullptr)
        : AudioEffectX(host, 4, 3), destroyed(destroyed)
    {
    }
    ~RecordingEffect() override
    {
        if (destroyed)
            *destroyed = true;
    }

    CallLog log;
    // What the text operations write; tests make them longer than any cap.
    std::string text = "text";
    VstPinProperties pinAnswer{};
    bool* destroyed;
    int32_t chunkSize = 7;

    void open() override { log.add("open"); }
    void close() override { log.add("close"); }
    void suspend() override { log.add("suspend"); }
    void resume() override { log.add("resume"); }
    void setSampleRate(float rate) override
    {
        log.add("setSampleRate(" + num(rate) + ")");
        AudioEffectX::setSampleRate(rate);
    }
    void setBlockSize(int32_t frames) override
    {
        log.add("setBlockSize(" + std::to_string(frames) + ")");
        AudioEffectX::setBlockSize(frames);
    }
    void processReplacing(float**, float**, int32_t frames) override
    {
        log.add("processReplacing(" + std::to_string(frames) + ")");
    }
    void setProgram(int32_t program) override
    {
        log.add("setProgram(" + std::to_string(program) + ")");
        AudioEffectX::setProgram(program);
    }
    void setProgramName(char* name) override { log.add(std::string("setProgramName(") + name + ")"); }
    void getProgramName(char* name) override
    {
        log.add("getProgramName");
        std::strcpy(name, text.c_str());
    }
    void getParameterLabel(int32_t index, char* label) override
    {
        log.add("getParameterLabel(" + std::to_string(index) + ")");
        std::strcpy(label, text.c_str());
    }
    void getParameterDisplay(int32_t index, char* t) override
    {
        log.add("getParameterDisplay(" + std::to_string(index) + ")");
        std::strcpy(t, text.c_str());
    }
    void getParameterName(int32_t index, char* t) override
    {
        log.add("getParameterName(" + std::to_string(index) + ")");
        std::strcpy(t, text.c_str());
    }
    int32_t getChunk(void** data, bool isPreset) override
    {
        log.add(std::string("getChunk(") + (isPreset ? "preset" : "bank") + ")");
        *data = &chunkSize;
        return chunkSize;
    }
    int32_t setChunk(void* data, int32_t byteSize, bool isPreset) override
    {
        log.add("setChunk(" + std::to_string(byteSize) + "," + (isPreset ? "preset" : "bank") + ")");
        return data ? 1 : 0;
    }
    int32_t processEvents(VstEvents* events) override
    {
        log.add("processEvents(" + std::to_string(events->numEvents) + ")");
        return 1;
    }
    bool string2parameter(int32_t index, char* t) override
    {
        log.add("string2parameter(" + std::to_string(index) + "," + t + ")");
        return true;
    }
    bool getProgramNameIndexed(int32_t category, int32_t index, char* t) override
    {
        log.add("getProgramNameIndexed(" + std::to_string(category) + "," + std::to_string(index) + ")");
        std::strcpy(t, text.c_str());
        return true;
    }
    bool getOutputProperties(int32_t index, VstPinProperties* p) override
    {
        log.add("getOutputProperties(" + std::to_string(index) + ")");
        *p = pinAnswer;
        return true;
    }
    bool getInputProperties(int32_t index, VstPinProperties* p) override
    {
        log.add("getInputProperties(" + std::to_string(index) + ")");
        *p = pinAnswer;
        return true;
    }
    bool setSpeakerArrangement(VstSpeakerArrangement* in, VstSpeakerArrangement* out) override
    {
        log.add(std::string("setSpeakerArrangement(") + (in ? "in" : "null") + "," +
                std::to_string(out->numChannels) + ")");
        return true;
    }
    bool getSpeakerArrangement(VstSpeakerArrangement** in, VstSpeakerArrangement** out) override
    {
        log.add("getSpeakerArrangement");
        *in = nullptr;
        *out = nullptr;
        return true;
    }
    bool setBypass(bool on) override
    {
        log.add(std::string("setBypass(") + (on ? "1" : "0") + ")");
        return true;
    }
    bool getEffectName(char* name) override
    {
        log.add("getEffectName");
        std::strcpy(name, text.c_str());
        return true;
    }
    bool getVendorString(char* t) override
    {
        log.add("getVendorString");
        std::strcpy(t, text.c_str());
        return true;
    }
    bool getProductString(char* t) override
    {
        log.add("getProductString");
        std::strcpy(t, text.c_str());
        return true;
    }
    bool getErrorText(char* t) override
    {
        log.add("getErrorText");
        std::strcpy(t, "error");
        return true;
    }
    intptr_t vendorSpecific(int32_t index, intptr_t value, void* ptr, float opt) override
    {
        log.add("vendorSpecific(" + std::to_string(index) + "," + std::to_string(value) + "," +
                (ptr ? "ptr" : "null") + "," + num(opt) + ")");
        return 42;
    }
    int32_t canDo(char* t) override
    {
        log.add(std::string("canDo(") + t + ")");
        return std::strcmp(t, "yes") == 0 ? 1 : -1;
    }
    bool getParameterProperties(int32_t index, VstParameterProperties* p) override
    {
        log.add("getParameterProperties(" + std::to_string(index) + ")");
        std::memset(p->label, 'l', sizeof(p->label));
        std::memset(p->shortLabel, 's', sizeof(p->shortLabel));
        std::memset(p->categoryLabel, 'c', sizeof(p->categoryLabel));
        return true;
    }
    bool offlineNotify(VstAudioFile*, int32_t, bool) override { log.add("offlineNotify"); return true; }
    bool offlinePrepare(VstOfflineTask*, int32_t) override { log.add("offlinePrepare"); return true; }
    bool offlineRun(VstOfflineTask*, int32_t) override { log.add("offlineRun"); return true; }
    bool processVariableIo(VstVariableIo*) override { log.add("processVariableIo"); return true; }
    int32_t getMidiProgramName(int32_t, MidiProgramName*) override { log.add("getMidiProgramName"); return 1; }
    int32_t getCurrentMidiProgram(int32_t, MidiProgramName*) override { log.add("getCurrentMidiProgram"); return 1; }
    int32_t getMidiProgramCategory(int32_t, MidiProgramCategory*) override
    {
        log.add("getMidiProgramCategory");
        return 1;
    }
    bool getMidiKeyName(int32_t, MidiKeyName*) override { log.add("getMidiKeyName"); return true; }
    int32_t getNextShellPlugin(char* name) override
    {
        log.add("getNextShellPlugin");
        std::strcpy(name, text.c_str());
        return 99;
    }
    int32_t beginLoadBank(VstPatchChunkInfo*) override { log.add("beginLoadBank"); return 1; }
    int32_t beginLoadProgram(VstPatchChunkInfo*) override { log.add("beginLoadProgram"); return 1; }

    using AudioEffectX::hasFlag;
};

class RecordingEditor : public AEffEditor
{
public:
    RecordingEditor(AudioEffect* effect, CallLog& log, bool* destroyed = nullptr)
        : AEffEditor(effect), log(log), destroyed(destroyed)
    {
    }
    ~RecordingEditor() override
    {
        if (destroyed)
            *destroyed = true;
    }

    CallLog& log;
    bool* destroyed;
    ERect rect{0, 0, 300, 400};

    bool getRect(ERect** r) override
    {
        log.add("editor.getRect");
        *r = &rect;
        return true;
    }
    bool open(void* window) override
    {
        log.add("editor.open");
        AEffEditor::open(window);
        return true;
    }
    void close() override { log.add("editor.close"); }
    void idle() override { log.add("editor.idle"); }
    void draw(ERect*) override { log.add("editor.draw"); }
    int32_t mouse(int32_t x, int32_t y) override
    {
        log.add("editor.mouse(" + std::to_string(x) + "," + std::to_string(y) + ")");
        return x + y;
    }
    int32_t key(int32_t keyCode) override
    {
        log.add("editor.key(" + std::to_string(keyCode) + ")");
        return keyCode;
    }
    void top() override { log.add("editor.top"); }
    void sleep() override { log.add("editor.sleep"); }
    bool onKeyDown(VstKeyCode& k) override
    {
        log.add("editor.keyDown(" + std::to_string(k.character) + "," + std::to_string(k.virt) + "," +
                std::to_string(k.modifier) + ")");
        return true;
    }
    bool onKeyUp(VstKeyCode& k) override
    {
        log.add("editor.keyUp(" + std::to_string(k.character) + "," + std::to_string(k.virt) + "," +
                std::to_string(k.modifier) + ")");
        return true;
    }
    bool setKnobMode(int32_t mode) override
    {
        log.add("editor.knobMode(" + std::to_string(mode) + ")");
        return true;
    }
};
