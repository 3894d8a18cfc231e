#include "Note.h"

#include <algorithm>

namespace {
bool within(int v, int lo, int hi) { return v >= lo && v <= hi; }
}

Note_c& Note_c::set(int n, int v)
{
    note = n;
    velocity = v;
    limitFwd();
    return *this;
}

Note_c& Note_c::set(int, int, int)
{
    return *this;
}

void Note_c::reset()
{
    note = -1;
    velocity = -1;
}

bool Note_c::isValid() const
{
    return within(note, 0, 127) && within(velocity, 1, 127);
}

bool Note_c::isInRange() const
{
    return within(note, 0, 127) && within(velocity, 0, 127);
}

void Note_c::validate()
{
    note = std::clamp(note, 0, 127);
    velocity = std::clamp(velocity, 1, 127);
}

void Note_c::limit()
{
    note = std::clamp(note, 0, 127);
    velocity = std::clamp(velocity, 0, 127);
}

NoteC_c& NoteC_c::set(int n, int v)
{
    Note_c::set(n, v);
    return *this;
}

NoteC_c& NoteC_c::set(int n, int v, int c)
{
    note = n;
    velocity = v;
    channel = c;
    limitFwd();
    return *this;
}

void NoteC_c::reset()
{
    Note_c::reset();
    channel = -1;
}

bool NoteC_c::isValid() const
{
    return Note_c::isValid() && within(channel, 0, 15);
}

bool NoteC_c::isInRange() const
{
    return Note_c::isInRange() && within(channel, 0, 15);
}

void NoteC_c::validate()
{
    Note_c::validate();
    channel = std::clamp(channel, 0, 15);
}

void NoteC_c::limit()
{
    Note_c::limit();
    channel = std::clamp(channel, 0, 15);
}
