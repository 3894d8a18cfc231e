#include "VelaEditor.h"

#include "EditorPictures.h"

VelaEditor_c::VelaEditor_c(AudioEffect* effect)
    : SynthEditor_c(effect, NumEdits, EditorPictures::MainBackground, -1)
{
    setKnobModeIndex(KnobModeIndex);
}

VelaEditor_c::~VelaEditor_c() = default;

AEffEditor* VelaEditor_c::create(AudioEffect* effect)
{
    return new VelaEditor_c(effect);
}

bool VelaEditor_c::open(void* parent)
{
    std::lock_guard<std::recursive_mutex> guard(editorMutex);
    if (!SynthEditor_c::open(parent))
        return false;
    openFlag = true;
    updateDepMod(-1);
    setDirty();
    return true;
}

void VelaEditor_c::close()
{
    std::lock_guard<std::recursive_mutex> guard(editorMutex);
    RemoveFrames(MaxExchFrames);
    SynthEditor_c::close();
}
