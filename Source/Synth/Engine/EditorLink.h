// EditorLink_i: what the engine asks of the editor attached to it. The
// editor (SynthEditor_c, above the engine) implements it; the engine finds
// it through the plug-in's editor and calls it only off the audio thread.
// What the audio thread asks for (a parameter automated there, a note it
// plays) travels through the idle ring and reaches the editor from the idle
// side (Synth::updateEditor and the note display in Synth.cpp).
//
// Lock order: a caller that holds the engine lock may call into the editor
// (which takes its own mutex); the editor calls the engine under its mutex
// but never waits for the engine lock there except inside a host call that
// already holds it.
// Thread: user interface or the idle side, never audio.
#pragma once

#include "Note.h"

class EditorLink_i
{
public:
    virtual ~EditorLink_i() = default;

    // Redraw every control, or the controls of one external index (now: at
    // once as well).
    virtual void setDirty() = 0;
    virtual void setDirty(int index, bool now) = 0;
    // Show a key down (velocity above 0) or up on the keyboard of the
    // note's channel (every keyboard with all).
    virtual void noteOn(bool all, NoteC_c note) = 0;
    virtual void allNotesOff() = 0;
    // End every control's press.
    virtual void mouseUpAllControls() = 0;
    virtual void switchBack() = 0;
};
