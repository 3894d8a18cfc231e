#include "KeyboardBase.h"

#include "CBitmap.h"
#include "EditorPictures.h"
#include "Synth.h"

#include <algorithm>

namespace {
// Semitones of the white keys in an octave, and of the black keys by their
// place between the white keys (none between E and F).
constexpr int WhiteSemitones[7] = {0, 2, 4, 5, 7, 9, 11};
constexpr int BlackSemitones[6] = {1, 3, -1, 6, 8, 10};
// The velocity grows over the black keys' height less this many pixels.
constexpr int VelocityMargin = 5;

// One strip of an octave's picture: which picture (0 first, 1 second), its
// white key and its black key (-1 none), by semitone.
struct Strip
{
    int picture;
    int white;
    int black;
};
constexpr Strip OctaveStrips[14] = {
    {0, 0, -1}, {1, 0, 1}, {0, 2, 1}, {1, 2, 3},  {0, 4, 3},  {1, 4, -1}, {0, 5, -1},
    {1, 5, 6},  {0, 7, 6}, {1, 7, 8}, {0, 9, 8}, {1, 9, 10}, {0, 11, 10}, {1, 11, -1},
};
} // namespace

CKeyboardBase::CKeyboardBase(const CRect& s, CControlListenerVx* l, int tag, Synth* e, int o, int start)
    : CControlVx(s, l, tag), engine(e), octaves(o), startOctave(start)
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

void CKeyboardBase::send(Note_c note)
{
    Synth::BusyScope busy(*engine);
    engine->processGUICmd(PlayNoteCommand, getEditIdx(0), 0, &note);
}

CMouseEventResult CKeyboardBase::onMouseDown(CPoint& where, const long& buttons)
{
    if (!engine)
        return kMouseEventNotHandled;
    initOldUserValue();
    stepUp = stepDown = false;
    played.reset();
    mouseDown = true;
    return onMouseMoved(where, buttons);
}

CMouseEventResult CKeyboardBase::onMouseMoved(CPoint& where, const long& buttons)
{
    if (!engine)
        return kMouseEventNotHandled;
    if ((buttons & kLButton) && where.h >= size.left && where.h <= size.right) {
        Note_c n;
        if (getKeyVelo(where.h - size.left, where.v - size.top, &n) && n.note != played.note) {
            send(n);
            // The old note ends after the new one has started.
            if (played.note >= 0 && played.velocity > 0) {
                played.velocity = 0;
                send(played);
            }
            played = n;
        }
    }
    redrawIfDirty();
    return kMouseEventHandled;
}

CMouseEventResult CKeyboardBase::onMouseUp(CPoint&, const long&)
{
    if (!engine)
        return kMouseEventNotHandled;
    if (played.note >= 0 && played.velocity > 0) {
        played.velocity = 0;
        send(played);
    }
    mouseDown = false;
    redrawIfDirty();
    return kMouseEventHandled;
}

// ------------------------------------------------------------ CKeyboard2

CKeyboard2::CKeyboard2(CRect& s, CControlListenerVx* l, int tag, CBitmap* a, CBitmap* b, Synth* e, int ww, int wh,
                       int bw, int bh, int bo)
    : CKeyboardBase(s, l, tag, e, 5, 3), first(a), second(b), whiteWidth(ww), whiteHeight(wh), blackWidth(bw),
      blackHeight(bh), blackOffset(bo), octaveWidth(7 * ww), whiteHeight2(wh), totalWidth(7 * ww * 5 + ww)
{
}

bool CKeyboard2::getKeyVelo(int x, int y, Note_c* note)
{
    if (!note || octaveWidth < 1 || whiteWidth < 1)
        return false;
    // The right edge belongs to the closing key, not to a key past it.
    x = std::clamp(x, 0, totalWidth - 1);
    const int o = x / octaveWidth;
    const int base = (startOctave + o) * 12;
    const int inOctave = x - octaveWidth * o;
    int n = base + WhiteSemitones[std::min(inOctave / whiteWidth, 6)];
    if (y < blackHeight) {
        for (int j = 0; j < 6; ++j) {
            const int left = blackOffset + whiteWidth * j;
            if (inOctave >= left && inOctave < left + blackWidth) {
                if (BlackSemitones[j] >= 0)
                    n = base + BlackSemitones[j];
                break;
            }
        }
    }
    const int velocity = blackHeight > VelocityMargin ? y * 127 / (blackHeight - VelocityMargin) : 127;
    note->note = std::clamp(n, 0, 127);
    note->velocity = std::clamp(velocity, 1, 127);
    return true;
}

int CKeyboard2::stripFrame(int white, int black, bool withBlack)
{
    if (!withBlack)
        return white ? 1 : 0;
    if (white)
        return black ? 5 : 4;
    return black ? 3 : 2;
}

void CKeyboard2::draw(CDrawContext* context)
{
    CKeyboardBase::draw(context);
    drawKeys(context);
}

void CKeyboard2::drawKeys(CDrawContext* context)
{
    if (!first || !second)
        return;
    CBitmap* pictures[2] = {first, second};
    const auto strip = [&](int picture, int x, int frame) {
        CBitmap* b = pictures[picture];
        const int w = b->getWidth() / EditorPictures::KeyStripFrames;
        EditorPictures::draw(b, context, CRect(x, size.top, x + w, size.top + b->getHeight()), CPoint(frame * w, 0),
                             false);
        return w;
    };
    int x = size.left;
    for (int o = 0; o < octaves; ++o) {
        const int base = (startOctave + o) * 12;
        x = size.left + octaveWidth * o;
        for (const Strip& s : OctaveStrips) {
            const int white = getKeyVelocity(base + s.white);
            const int black = s.black >= 0 ? getKeyVelocity(base + s.black) : 0;
            x += strip(s.picture, x, stripFrame(white, black, s.black >= 0));
        }
    }
    // The closing key.
    x = size.left + octaveWidth * octaves;
    const int closing = getKeyVelocity((startOctave + octaves) * 12) ? 1 : 0;
    x += strip(0, x, closing);
    strip(1, x, closing);
}
