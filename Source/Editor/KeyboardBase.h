// CKeyboardBase: the key states of an on-screen keyboard, as the editor sets
// them from the notes the engine plays. The drawn keyboard and its mouse
// playing derive from it.
// Thread: the user-interface thread.
#pragma once

#include "CControlVx.h"
#include "Note.h"

class CKeyboardBase : public CControlVx
{
public:
    CKeyboardBase(const CRect& size, CControlListenerVx* listener, int tag);

    // Note and velocity clamped to 0..127; 0 is key up. Dirty on a change.
    virtual void setKey(int note, int velocity);
    virtual void allNotesOff();
    // The key under (x, y), relative to the keyboard's corner.
    virtual bool getKeyVelo(int x, int y, Note_c* note) = 0;

    int getKeyVelocity(int note) const;

protected:
    int32_t keyVelocity[128] = {};
};
