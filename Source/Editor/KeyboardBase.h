// The on-screen keyboard.
// CKeyboardBase: the key states, as the editor sets them from the notes the
// engine plays, and the mouse playing: a press or a drag plays the key under
// the mouse through the engine's command 61 (the new note starts before the
// old one is released), a release releases it. Derived keyboards say which
// key lies under a point (getKeyVelo) and draw the keys.
// CKeyboard2: five octaves and a closing key, drawn from two pictures of six
// strips each (half a white key, with or without the half of a black key).
// A note played with the mouse lights only when the engine reports it back.
// Thread: the user-interface thread.
#pragma once

#include "CControlVx.h"
#include "Note.h"

class CBitmap;
class Synth;

class CKeyboardBase : public CControlVx
{
public:
    // Without an engine the keyboard shows keys but takes no presses.
    CKeyboardBase(const CRect& size, CControlListenerVx* listener, int tag, Synth* engine = nullptr,
                  int octaves = 5, int startOctave = 3);

    // Note and velocity clamped to 0..127; 0 is key up. Dirty on a change.
    virtual void setKey(int note, int velocity);
    virtual void allNotesOff();
    // The key under (x, y), relative to the keyboard's corner, with the
    // velocity its height gives.
    virtual bool getKeyVelo(int x, int y, Note_c* note) = 0;

    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;

    int getKeyVelocity(int note) const;
    const Note_c& getPlayedNote() const { return played; }

    // The engine's command that plays (velocity > 0) or releases a note.
    static constexpr int PlayNoteCommand = 61;

protected:
    void send(Note_c note);

    int32_t keyVelocity[128] = {};
    Synth* engine;
    int octaves;
    int startOctave;
    Note_c played;
};

class CKeyboard2 : public CKeyboardBase
{
public:
    // first, second: the pictures of the strips (six frames side by side);
    // white and black key sizes and the black keys' offset in pixels.
    CKeyboard2(CRect& size, CControlListenerVx* listener, int tag, CBitmap* first, CBitmap* second, Synth* engine,
               int whiteWidth, int whiteHeight, int blackWidth, int blackHeight, int blackOffset);

    bool getKeyVelo(int x, int y, Note_c* note) override;
    void draw(CDrawContext* context) override;

    int getTotalWidth() const { return totalWidth; }
    // The frame a strip shows (0 or 1 for one key, 2..5 for a white and a
    // black key) for the given key velocities.
    static int stripFrame(int whiteVelocity, int blackVelocity, bool withBlack);

protected:
    void drawKeys(CDrawContext* context);

    CBitmap* first;
    CBitmap* second;
    int whiteWidth;
    int whiteHeight;
    int blackWidth;
    int blackHeight;
    int blackOffset;
    int octaveWidth;
    int whiteHeight2;
    int totalWidth;
};
