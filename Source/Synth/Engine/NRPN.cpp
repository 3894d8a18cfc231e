#include "NRPN.h"

#include "CommandLetters.h"
#include "MidiBytes.h"
#include "OsLib.h"

#include <algorithm>

namespace {

constexpr int MaxNumber = 16383; // 14 bits
// Data of this value and above asks for a step.
constexpr int StepThreshold = 64;

} // namespace

bool NRPN_c::decode(int channel, int* controller, int* value)
{
    return decode(channel, controller, value, OsLib_c::getMilliseconds());
}

bool NRPN_c::decode(int channel, int* controller, int* value, int64_t nowMs)
{
    if (channel < 0 || channel >= NumMidiChannels || !controller || !value)
        return false;
    Channel_t& c = channels[channel];
    switch (*controller) {
    case Midi::CCNRPNMSB:
        c.msb = *value;
        c.time = nowMs;
        return false;
    case Midi::CCNRPNLSB:
        c.lsb = *value;
        c.time = nowMs;
        return false;
    case Midi::CCRPNLSB:
    case Midi::CCRPNMSB:
        // An RPN selection: the data entries that follow are the RPN's.
        c.msb = -1;
        c.lsb = -1;
        c.time = -1;
        return false;
    default:
        break;
    }
    if (c.time != -1 && nowMs - c.time >= SelectionTimeoutMs)
        return false;
    if (c.msb < 0 || c.lsb < 0)
        return false;
    const int number = std::clamp(c.msb * 128 + c.lsb, 0, MaxNumber);
    if (*controller == Midi::CCDataEntry) {
        c.lastDataMsb = *value;
        c.time = -1;
        *controller = number;
        *value = std::clamp(*value, 0, 127);
        return true;
    }
    if (*controller == Midi::CCDataEntryLSB) {
        c.time = -1;
        *controller = number;
        *value = std::clamp(*value + c.lastDataMsb * 128, 0, MaxNumber);
        return true;
    }
    return false;
}

void NRPN_c::reset()
{
    for (Channel_t& c : channels)
        c = Channel_t();
}

bool NRPN_c::programStep(int number, int data, int program, int bank, int* command, int* target)
{
    if (data < StepThreshold || !command || !target)
        return false;
    int cmd = 0;
    int to = 0;
    switch (number) {
    case ProgramDown:
        cmd = Cmd::InsProgramMidi;
        to = program - 1;
        break;
    case ProgramUp:
        cmd = Cmd::InsProgramMidi;
        to = program + 1;
        break;
    case BankDown:
        cmd = Cmd::InsBankMidi;
        to = bank - 1;
        break;
    case BankUp:
        cmd = Cmd::InsBankMidi;
        to = bank + 1;
        break;
    default:
        return false;
    }
    // Stepping down from the first program or bank asks for -1, which no
    // program or bank list has.
    if (to < 0)
        return false;
    *command = cmd;
    *target = to;
    return true;
}
