// The route table: the audio graph of an instrument as data. A route says
// "the instances of module row X write into bus A (and B)", optionally only
// while a control parameter has a given value and only for a range of
// instruments. Unconditional routes fix a module's buses once, for every
// instrument; conditional routes are applied per instrument by doRoute (after
// each program change) and by setRoute (a module starting a voice asks for
// its own buses), so a switch of the control parameter takes effect there.
//
// Threads: routes are registered while the plug-in opens, before audio runs,
// and never removed. doRoute runs on the idle side inside a program change,
// setRoute on the audio thread at voice start; both only read the tables.
#pragma once

#include <cstdint>

class Part_c;
class InBuffer2_c;
struct RegMod_t;

// One route row. Every field is a plain copy; name and buses belong to the
// instrument definition.
struct PatchBay_c
{
    const char* name = nullptr;
    int16_t module = -1;         // registry row of the module kind
    InBuffer2_c* out1 = nullptr; // first output bus
    InBuffer2_c* out2 = nullptr; // second output bus, may stay null
    int16_t first = -1;          // first instrument the route applies to; -1 all
    int16_t last = -1;           // last instrument
    Part_c* control = nullptr;   // part whose parameter decides
    int16_t param = -1;          // parameter number in control; -1 no condition
    int16_t value = -1;          // value the parameter must have
};

class AudioPatchBay_c
{
public:
    // Capacities of the unconditional and the conditional table; registry is
    // the engine's array of RegModRows rows. Unusable (every operation does
    // nothing) without a registry or when a table cannot be allocated.
    AudioPatchBay_c(int unconditionalCapacity, int conditionalCapacity, RegMod_t* registry);
    virtual ~AudioPatchBay_c();
    AudioPatchBay_c(const AudioPatchBay_c&) = delete;
    AudioPatchBay_c& operator=(const AudioPatchBay_c&) = delete;

    // Adds a route. It is unconditional when first, last and param are all
    // -1: then it goes into the unconditional table and is applied at once to
    // every instance of the module. Otherwise it goes into the conditional
    // table. False when the table is full, when module is no registry row,
    // param is below -1, a number does not fit the row's 16-bit fields or
    // the bay is unusable; true when the route is
    // in its table afterwards (added now or found there already).
    // Thread: opening only.
    virtual bool registerRouteInd(const char* name, int module, int first, int last, InBuffer2_c* out1,
                                  InBuffer2_c* out2, Part_c* control, int param, int value);
    // registerRouteInd for all instruments (first = last = -1).
    virtual bool registerRoute(const char* name, int module, InBuffer2_c* out1, InBuffer2_c* out2,
                               Part_c* control, int param, int value);
    // Applies, in table order, every conditional route whose condition holds
    // for instrument ins (0 or above; a negative ins does nothing).
    // Thread: idle side, inside a program change.
    virtual void doRoute(int ins);
    // Gives part the buses of the first conditional route, in table order,
    // whose condition holds for ins and whose module part is an instance of.
    // Thread: audio (voice start).
    virtual void setRoute(Part_c* part, int ins);
    // The table form: appends a row to table (one of this bay's two tables)
    // and counts it in *count, unless a row with the same module, out1,
    // control, param and value whose instrument range overlaps [first, last]
    // is already there. Refused when table is not one of the two, count does
    // not belong to it or the table is full.
    virtual bool registerRouteInd(PatchBay_c* table, int* count, const char* name, int module, int first,
                                  int last, InBuffer2_c* out1, InBuffer2_c* out2, Part_c* control, int param,
                                  int value);
    // Applies row `row` of table: every instance of the row's module, from
    // the last down to the first, gets setOutBufFixed (ins -1) or
    // setOutBuf(ins, ...). Nothing for a row or module outside the tables.
    virtual void doRouteModule(PatchBay_c* table, int ins, int row);

    bool isUsable() const { return usable_; }
    int getUnconditionalCount() const { return unconditionalCount_; }
    int getConditionalCount() const { return conditionalCount_; }
    // Row i of either table; null outside the rows in use.
    const PatchBay_c* getUnconditional(int i) const;
    const PatchBay_c* getConditional(int i) const;

private:
    // (param -1 or control's parameter param of set ins equals value) and
    // (first -1 or first <= ins <= last).
    bool conditionHolds(const PatchBay_c& row, int ins) const;
    // The registry row a route names, null when it is no open row.
    const RegMod_t* moduleRow(int module) const;
    int rowsOf(const PatchBay_c* table) const;

    int unconditionalCapacity_ = 0;
    int conditionalCapacity_ = 0;
    PatchBay_c* unconditional_ = nullptr;
    PatchBay_c* conditional_ = nullptr;
    RegMod_t* registry_ = nullptr;
    bool usable_ = false;
    int unconditionalCount_ = 0;
    int conditionalCount_ = 0;
};
