// VelaEditor_c: the instrument's editor window. Stand-in until the editor is
// built: it has no size and declines to open (the AEffEditor defaults), so
// the plug-in does not offer the host a window yet.
#pragma once

#include "AEffEditor.h"

class VelaEditor_c : public AEffEditor
{
public:
    explicit VelaEditor_c(AudioEffect* effect) : AEffEditor(effect) {}
    ~VelaEditor_c() override = default;
};
