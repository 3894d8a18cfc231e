// AEffGUIEditor: the plug-in editor whose window is a CFrame. It answers the
// host's size request from its rectangle, hands idle, keys and the wheel to
// the frame, and forwards the host's automation gestures to the plug-in.
// Thread: the host's user-interface thread.
#pragma once

#include "AEffEditor.h"
#include "GuiTypes.h"

class CFrame;

class AEffGUIEditor : public AEffEditor
{
public:
    explicit AEffGUIEditor(AudioEffect* effect);
    ~AEffGUIEditor() override;

    bool getRect(ERect** rect) override;
    // Remembers the parent window; the derived editor builds its frame.
    bool open(void* window) override;
    void close() override;
    void idle() override;
    bool onKeyDown(VstKeyCode& keyCode) override;
    bool onKeyUp(VstKeyCode& keyCode) override;
    bool onWheel(float distance) override;

    virtual void beginEdit(int32_t index);
    virtual void endEdit(int32_t index);
    // The frame's idle pass, for editors that drive it themselves.
    virtual void doIdleStuff();

    CFrame* getFrame() const { return frame; }
    // The rectangle the host is given.
    void setRectSize(CCoord width, CCoord height);

protected:
    ERect rect{0, 0, 0, 0};
    CFrame* frame = nullptr;
};
