// Compiled into each plug-in (not into the editor's library): gives the
// instrument the factory of its editor when the plug-in is loaded, before
// the host can create a plug-in object.
#include "Vela.h"
#include "VelaEditor.h"

namespace {
AEffEditor* makeVelaEditor(AudioEffect* effect)
{
    return new VelaEditor_c(effect);
}

const bool registered = (Vela_c::setEditorFactory(&makeVelaEditor), true);
} // namespace
