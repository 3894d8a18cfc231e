#include "AEffGUIEditor.h"

#include "AudioEffectX.h"
#include "CFrame.h"

AEffGUIEditor::AEffGUIEditor(AudioEffect* effect) : AEffEditor(effect) {}

AEffGUIEditor::~AEffGUIEditor() = default;

bool AEffGUIEditor::getRect(ERect** out)
{
    if (!out)
        return false;
    *out = &rect;
    return true;
}

bool AEffGUIEditor::open(void* window)
{
    AEffEditor::open(window);
    return true;
}

void AEffGUIEditor::close()
{
    AEffEditor::close();
}

void AEffGUIEditor::idle()
{
    doIdleStuff();
}

void AEffGUIEditor::doIdleStuff()
{
    if (frame)
        frame->idle();
}

bool AEffGUIEditor::onKeyDown(VstKeyCode& keyCode)
{
    return frame && frame->platformKeyDown(keyCode) == 1;
}

bool AEffGUIEditor::onKeyUp(VstKeyCode& keyCode)
{
    return frame && frame->platformKeyUp(keyCode) == 1;
}

bool AEffGUIEditor::onWheel(float distance)
{
    return frame && frame->platformWheel(frame->getLastMousePoint(), distance, 0);
}

void AEffGUIEditor::beginEdit(int32_t index)
{
    if (auto* fx = dynamic_cast<AudioEffectX*>(effect))
        fx->beginEdit(index);
}

void AEffGUIEditor::endEdit(int32_t index)
{
    if (auto* fx = dynamic_cast<AudioEffectX*>(effect))
        fx->endEdit(index);
}

void AEffGUIEditor::setRectSize(CCoord width, CCoord height)
{
    rect.left = 0;
    rect.top = 0;
    rect.right = static_cast<int16_t>(width);
    rect.bottom = static_cast<int16_t>(height);
}
