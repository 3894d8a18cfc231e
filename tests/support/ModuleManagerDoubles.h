// Test doubles for the module manager: an engine that records the calls the
// manager makes into it, instruments that record their MIDI switch, and a
// small module class with a text parameter whose length sets the chunk size.
#pragma once

#include "Instrument.h"
#include "ModuleManager.h"
#include "ParaSet.h"
#include "Part.h"
#include "Synth.h"

#include <memory>
#include <string>
#include <vector>

namespace ModuleTest {

using CallLog = std::vector<std::string>;

class RecordingInstrument : public Instrument_c
{
public:
    explicit RecordingInstrument(CallLog& l) : Instrument_c(2), log(l) {}
    void ReceiveMIDI(bool on) override { log.push_back(on ? "ReceiveMIDI on" : "ReceiveMIDI off"); }

private:
    CallLog& log;
};

// The engine as the manager sees it: the real Synth with the operations the
// manager calls recorded instead of run. Two instruments, never opened.
class RecordingSynth : public Synth
{
public:
    RecordingSynth()
        : Synth(nullptr, {.programs = 208,
                          .parameterSlots = 967,
                          .hostParameters = 602,
                          .instruments = 2,
                          .voices = 32,
                          .productName = "Tessel3",
                          .versionText = "3.6.5",
                          .codeName = "Vela"})
    {
        for (int i = 0; i < 2; ++i) {
            owned.push_back(std::make_unique<RecordingInstrument>(log));
            table[i] = owned.back().get();
        }
        instruments = table;
    }
    ~RecordingSynth() override { instruments = nullptr; }

    using Synth::makeSure;
    using Synth::updateEditor;
    void updateEditor() override { log.push_back("updateEditor"); }
    void makeSure(int ins) override { log.push_back("makeSure " + std::to_string(ins)); }
    void hardNoteOff(int ins) override { log.push_back("hardNoteOff " + std::to_string(ins)); }
    void checkRegForModPath(char* name) override { log.push_back(std::string("checkRegForModPath ") + name); }
    void doValueCopy(int index, float) override { log.push_back("doValueCopy " + std::to_string(index)); }

    CallLog log;

private:
    std::vector<std::unique_ptr<RecordingInstrument>> owned;
    Instrument_c* table[3] = {};
};

constexpr int CodeA = 0x56544131; // 'VTA1'
constexpr int CodeB = 0x56544231; // 'VTB1'

// A module with one set per instrument: Version, Level (0..100), Switch and a
// text. Its chunk is 28 bytes plus the text's field (length + 1, rounded up
// to whole words).
class TestModule : public Part_c
{
public:
    explicit TestModule(int typeCode = CodeA) : code(typeCode) {}
    int getTypeCode() const override { return code; }
    using Part_c::getParaSetPtr;
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override
    {
        bool defined = false;
        Parameter_c* p = beginParaDefinition(shared, nSets, 4, &defined);
        if (!p)
            return defined;
        p[1].createNum("Level", "", 0.0f, 0, 100, 0, 50, 0);
        p[2].createOnOff("Switch", 0);
        p[3].createCharPtr("Name", false, false, nullptr);
        return paraSet->spreadPara();
    }
    void postprocessParaChange(int set, int idx) override
    {
        if (idx == -1)
            ++wholeSetChanges;
        Part_c::postprocessParaChange(set, idx);
    }

    int level(int set) { return getParaVal(set, 1); }
    std::string name(int set)
    {
        Vdx::String_c s;
        getParaString(set, 3, &s);
        return s;
    }
    void setState(int set, int level, const std::string& name)
    {
        getParaSet()->setParaVal(set, 1, level);
        getParaSet()->setParaCharPtr(set, 3, name.c_str());
    }

    int code;
    int wholeSetChanges = 0;
};

// The text length that gives a TestModule chunk of exactly `bytes` bytes
// (bytes a multiple of 4, at least 32).
inline size_t nameLengthForChunk(int bytes)
{
    return static_cast<size_t>(bytes - 28 - 1);
}

// One plug-in instance: its engine, its manager on the process's clipboards,
// and two modules of different classes, each class with a set slot of its own.
struct Instance
{
    Instance()
    {
        moduleA.getParaSetPtr(&slotA, 2);
        moduleB.getParaSetPtr(&slotB, 2);
    }

    RecordingSynth synth;
    ModuleManager_c manager{&synth, nullptr, Synth::CopyBuffer0, Synth::CopyBuffer1};
    ParaSet_c* slotA = nullptr;
    ParaSet_c* slotB = nullptr;
    TestModule moduleA{CodeA};
    TestModule moduleB{CodeB};
};

} // namespace ModuleTest
