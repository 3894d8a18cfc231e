#include "KeyboardBase.h"

#include <algorithm>

CKeyboardBase::CKeyboardBase(const CRect& s, CControlListenerVx* l, int tag) : CControlVx(s, l, tag)
{
    setType(kControlKindKeyboard);
}

void CKeyboardBase::setKey(int note, int velocity)
{
    note = std::clamp(note, 0, 127);
    velocity = std::clamp(velocity, 0, 127);
    if (keyVelocity[note] == velocity)
        return;
    keyVelocity[note] = velocity;
    setDirty(true);
}

void CKeyboardBase::allNotesOff()
{
    std::fill(std::begin(keyVelocity), std::end(keyVelocity), 0);
    setDirty(true);
}

int CKeyboardBase::getKeyVelocity(int note) const
{
    return keyVelocity[std::clamp(note, 0, 127)];
}
