#include "AEffEditor.h"

AEffEditor::AEffEditor(AudioEffect* effect) : effect(effect), systemWindow(nullptr) {}

AEffEditor::~AEffEditor() = default;

AudioEffect* AEffEditor::getEffect()
{
    return effect;
}

bool AEffEditor::getRect(ERect** rect)
{
    if (rect)
        *rect = nullptr;
    return false;
}

bool AEffEditor::open(void* window)
{
    systemWindow = window;
    return false;
}

void AEffEditor::close()
{
    systemWindow = nullptr;
}

bool AEffEditor::isOpen()
{
    return systemWindow != nullptr;
}

void AEffEditor::idle() {}

void AEffEditor::draw(ERect*) {}

int32_t AEffEditor::mouse(int32_t, int32_t)
{
    return 0;
}

int32_t AEffEditor::key(int32_t)
{
    return 0;
}

void AEffEditor::top() {}

void AEffEditor::sleep() {}

bool AEffEditor::onKeyDown(VstKeyCode&)
{
    return false;
}

bool AEffEditor::onKeyUp(VstKeyCode&)
{
    return false;
}

bool AEffEditor::onWheel(float)
{
    return false;
}

bool AEffEditor::setKnobMode(int32_t)
{
    return false;
}

intptr_t AEffEditor::vendorSpecific(int32_t, intptr_t, void*, float)
{
    return 0;
}
