#include "Flags.h"

void Flags128_c::clearAll()
{
    for (uint32_t& w : words_)
        w = 0;
}

void Flags128_c::set(int i)
{
    if (inRange(i))
        words_[i / 32] |= 1u << (i % 32);
}

void Flags128_c::clear(int i)
{
    if (inRange(i))
        words_[i / 32] &= ~(1u << (i % 32));
}

bool Flags128_c::isSet(int i) const
{
    return inRange(i) && (words_[i / 32] & (1u << (i % 32))) != 0;
}
