// The instrument, opened, as the engine of editor tests: its parameters are
// the product's own (ranges, texts, defaults), and it records what the
// editor and its controls ask of it. Notes played from the keyboard
// (command 61) are recorded only, not played.
// Thread: the test's thread.
#pragma once

#include "EngineTestHost.h"
#include "Note.h"
#include "PSUData.h"
#include "Vela.h"

#include <string>
#include <vector>

namespace EditorTest {

// The host stands before the instrument is built (a base built first).
struct TestHostHolder
{
    EngineTestHost host;
};

class RecordingVela : private TestHostHolder, public Vela_c
{
public:
    struct Call
    {
        char kind;    // s set, p step, b begin, e end, t touched, g group, n note, x string
        int index;
        float value;  // the value set, the step's direction, the group's delta, the note's velocity
        int note = -1;
        bool payload = false; // a group operation with a GroupDeltaValue_c
        bool busy = false;    // the caller held the engine's busy counter
    };

    RecordingVela() : Vela_c(&EngineTestHost::callback, false) { dispatcher(effOpen, 0, 0, nullptr, 0); }
    ~RecordingVela() override { dispatcher(effClose, 0, 0, nullptr, 0); }

    void record(Call c)
    {
        c.busy = busy.load() > 0;
        calls.push_back(c);
    }

    // A step sets the stepped value itself: that set is not the caller's.
    void setParameterAutomated(int32_t index, float value) override
    {
        if (!stepping)
            record({'s', index, value});
        Vela_c::setParameterAutomated(index, value);
    }
    void stepParameterAutomated(int index, int direction) override
    {
        record({'p', index, float(direction)});
        stepping = true;
        Vela_c::stepParameterAutomated(index, direction);
        stepping = false;
    }
    bool beginEdit(int32_t index) override
    {
        record({'b', index, 0.f});
        return Vela_c::beginEdit(index);
    }
    bool endEdit(int32_t index) override
    {
        record({'e', index, 0.f});
        return Vela_c::endEdit(index);
    }
    void touchedParameter(int index, bool right) override
    {
        record({'t', index, right ? 1.f : 0.f});
        Vela_c::touchedParameter(index, right);
    }
    void groupOperation(int index, PSUData_i* data, float delta) override
    {
        record({'g', index, delta, -1, data != nullptr});
    }
    void setParaString(int index, const Vdx::String_c& s) override
    {
        record({'x', index, 0.f});
        strings.push_back(s);
        Vela_c::setParaString(index, s);
    }
    bool processGUICmd(int command, int index, int value, void* pointer) override
    {
        if (command == 61 && pointer) {
            const auto* n = static_cast<const Note_c*>(pointer);
            record({'n', index, float(n->velocity), n->note});
            return true;
        }
        return Vela_c::processGUICmd(command, index, value, pointer);
    }

    // The kinds of the calls in order ("bse": begin, set, end).
    std::string kinds() const
    {
        std::string k;
        for (const Call& c : calls)
            k += c.kind;
        return k;
    }
    // The kinds without the touches, which every press makes.
    std::string edits() const
    {
        std::string k;
        for (const Call& c : calls)
            if (c.kind != 't')
                k += c.kind;
        return k;
    }
    const Call* last(char kind) const
    {
        for (auto it = calls.rbegin(); it != calls.rend(); ++it)
            if (it->kind == kind)
                return &*it;
        return nullptr;
    }

    std::vector<Call> calls;
    std::vector<Vdx::String_c> strings;

private:
    bool stepping = false;
};

} // namespace EditorTest
