// VelaEditor_c: the instrument's editor. It loads every picture its pages
// use when it is made (their sizes are known at once; their pixels are
// painted when first shown). For now it opens the editor frame with the main
// background and no pages; the pages are built here later.
// Thread: the host's user-interface thread.
#pragma once

#include "EditorPictures.h"
#include "SynthEditor.h"

class VelaEditor_c : public SynthEditor_c
{
public:
    // Edit slots: one per external parameter.
    static constexpr int NumEdits = 967;
    // The parameter that holds the knob drag mode (circular or linear).
    static constexpr int KnobModeIndex = 657;

    explicit VelaEditor_c(AudioEffect* effect);
    // The factory the plug-in registers with the instrument.
    static AEffEditor* create(AudioEffect* effect);
    ~VelaEditor_c() override;

    // The base's frame, then the pages; the controls stand when it returns true.
    bool open(void* parent) override;
    void close() override;

    // A picture the pages use, by resource number; null for others and for
    // pictures that failed to load.
    CBitmap* getPicture(int id) const;

private:
    CBitmap* pictures[EditorPictures::MaxId + 1] = {};
};
