// EPAS_c: the descriptor of one external parameter, a number the host can
// automate or the editor can show, that the engine's host parameter map turns
// into a (part, instrument, parameter) address. The instrument definition
// fills one per external index when the plug-in opens.
//
// Threads: filled on the user-interface thread while the plug-in opens;
// afterwards only read.
#pragma once

#include <cstdint>

class Part_c;
class Synth;

class EPAS_c
{
public:
    // A change hook of the engine run after the parameter was set: (host
    // index, part, parameter number).
    using Callback_t = void (Synth::*)(int, Part_c*, int);

    EPAS_c() = default;
    virtual ~EPAS_c();
    // The name is owned: copies would free it twice.
    EPAS_c(const EPAS_c&) = delete;
    EPAS_c& operator=(const EPAS_c&) = delete;

    // Nothing at all for a null name. Otherwise stores every field; the name
    // is copied when it is not empty (an empty name leaves none), and the
    // instrument code is kept as code % 1000 (truncating, so -1 stays -1:
    // the instrument being edited) with instrumentBelow1000 telling whether
    // the code was below 1000. A second call releases the earlier name.
    void set(int index, const char* name, bool flag, int instrumentCode, int selector, Part_c* target,
             int parameter, bool readOnly, int group, Callback_t callback);
    void updatePartPtr(Part_c* part) { target = part; }

    int32_t index = 0;                // the descriptor's own external index
    char* name = nullptr;             // heap copy, or null
    bool flag = false;
    int32_t instrument = 0;           // code % 1000; -1 = the edited instrument
    int32_t selector = 0;             // 0 or a selector number 1..8
    bool instrumentBelow1000 = false;
    Part_c* target = nullptr;         // the part owning the parameter; not owned
    int32_t parameter = 0;            // parameter number in the target's set
    bool readOnly = false;
    int32_t group = -1;
    Callback_t callback = nullptr;
};
