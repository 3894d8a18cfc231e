// Compiled into each plug-in (not into the editor's library): gives the
// instrument the factory of its editor when the plug-in is loaded, before
// the host can create a plug-in object.
#include "Vela.h"
#include "VelaEditor.h"

namespace {
const bool registered = (Vela_c::setEditorFactory(&VelaEditor_c::create), true);
} // namespace
