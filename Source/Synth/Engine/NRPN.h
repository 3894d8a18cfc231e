// NRPN_c: decodes NRPN data entries per MIDI channel for the engine's
// program and bank stepping. A controller 99 (number MSB) and 98 (number
// LSB) select a 14-bit number; a data entry (controller 6, MSB, or 38, LSB)
// on that channel within SelectionTimeoutMs of the last selection then
// completes an entry. After the first entry the selection stays, untimed,
// for further data entries until the next selection.
//
// RPN and NRPN share the data-entry controllers, so a selection of one ends
// the other: controllers 100 and 101 (the RPN number, kept by the
// instrument for its pitch-bend range) clear this decoder's selection, and
// the instrument clears its RPN on 98 and 99. NRPN data can then never
// change the bend range, nor RPN data step programs.
//
// Threads: decode runs on the audio thread (the first instrument's parser
// through Synth::processMidiCC); one caller at a time. reset is for the
// same thread or while the audio thread is kept out.
#pragma once

#include "Capacities.h"

#include <cstdint>

class NRPN_c
{
public:
    NRPN_c() = default;

    // channel 0..15, *controller the controller number, *value its value.
    // True when the message completes an NRPN data entry: then *controller
    // holds the 14-bit NRPN number and *value the data (0..127 for a data
    // entry MSB, LSB + last MSB x 128 for a data entry LSB). False for an
    // ordinary controller, a channel outside 0..15, null pointers or a
    // selection older than SelectionTimeoutMs; the outputs are then
    // untouched. The clock is OsLib_c::getMilliseconds.
    bool decode(int channel, int* controller, int* value);
    // The same at the given time (milliseconds of the same clock).
    bool decode(int channel, int* controller, int* value, int64_t nowMs);

    // Every channel back to no selection, data MSB 0.
    void reset();

    // The engine's program and bank stepping by a decoded entry (number,
    // data), for the edited instrument's current program and bank: numbers
    // 1024 and 1025 step the program down and up (command 'M'), 1026 and
    // 1027 the bank (command 'N'), each only for data of 64 and above. True
    // with *command and *target (the program or bank to select) set; false
    // for any other number, data below 64, or a step below the first program
    // or bank (a bank number of -1 is never requested). Any thread.
    static bool programStep(int number, int data, int program, int bank, int* command, int* target);

    // A selection without a data entry for this long (ms) is dead.
    static constexpr int64_t SelectionTimeoutMs = 1000;
    // The NRPN numbers of the stepping.
    static constexpr int ProgramDown = 1024;
    static constexpr int ProgramUp = 1025;
    static constexpr int BankDown = 1026;
    static constexpr int BankUp = 1027;

private:
    struct Channel_t
    {
        int32_t msb = -1;         // selected number MSB; -1 none
        int32_t lsb = -1;         // selected number LSB; -1 none
        int64_t time = -1;        // ms of the last selection; -1 none or already used
        int32_t lastDataMsb = 0;  // the MSB of the last data entry
    };
    Channel_t channels[NumMidiChannels];
};
