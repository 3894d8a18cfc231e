// HoldData_c: one command record, the unit of work that one thread hands to
// another through a CmdBuffer_c. A record carries a one-letter command (or a
// small number), two 16-bit arguments, two pointers and a MIDI message of
// four bytes; which fields mean what depends on the command (see the
// dispatchers in SynthCommands.cpp).
#pragma once

#include <cstdint>

class HoldData_c
{
public:
    // A new record is all zero: command 0 is the empty record, which every
    // consumer ignores.
    HoldData_c() = default;
    HoldData_c(uint8_t cmd, int16_t a, int16_t b, void* p1 = nullptr, void* p2 = nullptr)
        : command(cmd), index(a), value(b), ptr1(p1), ptr2(p2)
    {
    }

    // Copies every field of other.
    void set(HoldData_c const& other);
    // True when every field is equal, and also whenever both commands are 'I':
    // any two program requests count as the same, so a newer one can replace
    // the queued one whatever its program.
    bool isSame(HoldData_c const& other) const;
    // Back to the all-zero record.
    void clear() { set(HoldData_c()); }

    uint8_t command = 0;       // letter or number; 0 = empty
    int16_t index = 0;         // first argument, usually an instrument or set
    int16_t value = 0;         // second argument: program, bank, parameter ...
    uint16_t spare = 0;        // always 0
    void* ptr1 = nullptr;      // command-specific: a part, a message text
    void* ptr2 = nullptr;      // command-specific: a value, a title
    uint8_t midi[4] = {0, 0, 0, 0}; // status, data 1, data 2, 0 (note commands)
};

static_assert(sizeof(HoldData_c) == 32, "a command record is 32 bytes");
