#include "HoldData.h"
#include "CommandLetters.h"

void HoldData_c::set(HoldData_c const& other)
{
    command = other.command;
    index = other.index;
    value = other.value;
    spare = other.spare;
    ptr1 = other.ptr1;
    ptr2 = other.ptr2;
    for (int i = 0; i < 4; i++)
        midi[i] = other.midi[i];
}

bool HoldData_c::isSame(HoldData_c const& other) const
{
    if (command == Cmd::HostProgram && other.command == Cmd::HostProgram)
        return true;
    return command == other.command && index == other.index && value == other.value && spare == other.spare
        && ptr1 == other.ptr1 && ptr2 == other.ptr2 && midi[0] == other.midi[0] && midi[1] == other.midi[1]
        && midi[2] == other.midi[2] && midi[3] == other.midi[3];
}
