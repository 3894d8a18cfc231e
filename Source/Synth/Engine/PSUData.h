// PSUData_i: a payload handed to the engine's group operation, which passes
// it on to the owners it concerns (sample stores send what they learnt
// about their zones; the editor sends the change of a parameter made with
// the right mouse button). A payload lives on the sender's stack for the
// duration of the call.
#pragma once

class PSUData_i
{
public:
    virtual ~PSUData_i() = default;
};
