// VelaEditor_c: the instrument's editor. For now it opens the editor frame
// with the main background and no pages; the pages are built here later.
// Thread: the host's user-interface thread.
#pragma once

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
};
