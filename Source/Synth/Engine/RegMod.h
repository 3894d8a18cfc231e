// The module registry: one row per kind of module (the four oscillators of a
// voice are four kinds, each with one instance per voice). Program chunks find
// a module's parameter set by (type code, order), the route table addresses
// modules by row, and a parameter change reaches every instance of the
// changed module through its row.
//
// Threads: rows are opened while the plug-in opens (before audio runs) and
// never change afterwards; the audio thread only reads them.
#pragma once

#include "Capacities.h"

#include <cstdint>

class Part_c;
class ParaSet_c;

// What a row's parameter set is kept for, and so how many sets it has.
enum t_RMG : int32_t
{
    rmgNone = -1,      // an empty row
    rmgInstrument = 0, // instrument program module: one set per instrument program memory
    rmgEffect = 1,     // effect program module: one set per effect program memory
    rmgGlobal = 2,     // global module: one set
};

// Type code of an empty row: four blanks.
constexpr uint32_t RegModEmptyTypeCode = 0x20202020u;

struct RegMod_t
{
    RegMod_t() = default;
    ~RegMod_t() { clear(); }
    // A row owns its instance array.
    RegMod_t(const RegMod_t&) = delete;
    RegMod_t& operator=(const RegMod_t&) = delete;

    // Allocates count + 1 null instance slots and stores the row's figures
    // with first as instance 0 (typeCode is first's own). False (row
    // unchanged) for a null first, count < 1 or a failed allocation.
    bool open(Part_c* first, uint32_t typeCode, int order, int count, t_RMG group);
    // Frees the instance array, lets go of the parameter set and returns
    // every field to the empty row.
    void clear();
    // Makes the row one of paraSet's users (once), so the set outlives the
    // instances for as long as the row names it.
    void holdParaSet();

    bool inUse() const { return parts != nullptr; }
    // Instance k, null outside 0..count-1 or in an empty row.
    Part_c* instance(int k) const;
    // Index of part among the instances, -1 when it is none of them.
    int indexOf(const Part_c* part) const;

    Part_c** parts = nullptr;    // count + 1 entries, the last always null
    uint32_t reserved = 0;
    uint32_t typeCode = RegModEmptyTypeCode;
    int32_t order = -1;          // among rows of the same type code
    int32_t count = 0;           // instances
    t_RMG group = rmgNone;
    ParaSet_c* paraSet = nullptr; // shared by every instance

private:
    ParaSet_c* heldSet_ = nullptr; // the set this row is a user of
};

// The instrument definition's own module numbers mapped to registry rows:
// registration writes the row into Adr(n), later code reads Val(n).
class RMI_c
{
public:
    // n entries, each -1; nothing is allocated for n < 1.
    explicit RMI_c(int n);
    virtual ~RMI_c();
    RMI_c(const RMI_c&) = delete;
    RMI_c& operator=(const RMI_c&) = delete;

    // Address of entry i; null for i outside 0..n-1 or without a table.
    int* Adr(int i);
    // Entry i; 0 for i outside 0..n-1 or without a table.
    int Val(int i) const;

private:
    int* table_ = nullptr;
    int size_ = 0;
};
