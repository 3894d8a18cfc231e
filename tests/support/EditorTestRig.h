// An editor on a small test engine for the editor frame's tests: it stands
// in for the concrete editor (its open sets the open flag), records which
// edit indices the idle pass redraws, and reads its selector parameters
// from a table the test fills.
#pragma once

#include "MapTestEngine.h"
#include "SynthEditor.h"

#include <map>
#include <string>
#include <vector>

namespace EditorTest {

struct TestEditor : SynthEditor_c
{
    explicit TestEditor(Synth* engine, int backBitmapId = -1) : SynthEditor_c(engine, 967, 128, backBitmapId) {}
    ~TestEditor() override { close(); }

    bool open(void* parent) override
    {
        std::lock_guard<std::recursive_mutex> guard(editorMutex);
        if (!SynthEditor_c::open(parent))
            return false;
        openFlag = true;
        return true;
    }
    void updateEdit(int index, bool withDependents) override
    {
        if (!inFullPass)
            updated.push_back(index);
        SynthEditor_c::updateEdit(index, withDependents);
    }
    void updateAllEdits() override
    {
        ++fullPasses;
        inFullPass = true;
        SynthEditor_c::updateAllEdits();
        inFullPass = false;
    }
    void framesChangedHook() override { ++framesChanged; }
    int selectorValue(int index) override { return values[index]; }
    int selectorLowValue(int index) override { return lows[index]; }

    std::vector<int> updated;
    int fullPasses = 0;
    bool inFullPass = false;
    int framesChanged = 0;
    std::map<int, int> values, lows;
};

// Records the editor's calls into the engine.
struct RecordingEngine : RegistryTest::MapTestEngine
{
    struct Call
    {
        char kind; // 's' set, 'p' step, 'b' begin, 'e' end
        int index;
        float value;
    };
    void setParameterAutomated(int32_t index, float value) override { calls.push_back({'s', index, value}); }
    void stepParameterAutomated(int index, int direction) override
    {
        calls.push_back({'p', index, float(direction)});
    }
    bool beginEdit(int32_t index) override
    {
        calls.push_back({'b', index, 0.f});
        return true;
    }
    bool endEdit(int32_t index) override
    {
        calls.push_back({'e', index, 0.f});
        return true;
    }
    // Editor commands (key presses are command 5): recorded, none handled.
    bool processGUICmd(int command, int index, int value, void*) override
    {
        commands.push_back({command, index, value});
        return false;
    }
    std::string kinds() const
    {
        std::string k;
        for (const Call& c : calls)
            k += c.kind;
        return k;
    }
    std::vector<Call> calls;
    struct Command
    {
        int command, index, value;
    };
    std::vector<Command> commands;
};

struct Rig
{
    RecordingEngine engine;
    TestEditor editor{&engine};
    Rig() { editor.open(nullptr); }
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;
};

} // namespace EditorTest
