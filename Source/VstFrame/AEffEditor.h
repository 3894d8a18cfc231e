// AEffEditor: the base of the plug-in's editor as the host's dispatcher sees
// it. The frame forwards the editor opcodes here; every operation has a
// harmless default so a derived editor overrides only what it draws.
// Thread: the host's user-interface thread.
#pragma once

#include "VstInterface.h"

class AudioEffect;

class AEffEditor
{
public:
    explicit AEffEditor(AudioEffect* effect = nullptr);
    virtual ~AEffEditor();
    AEffEditor(const AEffEditor&) = delete;
    AEffEditor& operator=(const AEffEditor&) = delete;

    virtual AudioEffect* getEffect();
    // Hands the host the editor's size; the default has none (null, false).
    virtual bool getRect(ERect** rect);
    // The host's parent window; the default only remembers it and declines.
    virtual bool open(void* window);
    virtual void close();
    virtual bool isOpen();
    virtual void idle();
    virtual void draw(ERect* rect);
    virtual int32_t mouse(int32_t x, int32_t y);
    virtual int32_t key(int32_t keyCode);
    virtual void top();
    virtual void sleep();
    virtual bool onKeyDown(VstKeyCode& keyCode);
    virtual bool onKeyUp(VstKeyCode& keyCode);
    virtual bool onWheel(float distance);
    virtual bool setKnobMode(int32_t mode);
    // A vendor-specific message the plug-in does not handle itself
    // (VendorMessages.h); 0 when the editor does not know it either.
    virtual intptr_t vendorSpecific(int32_t index, intptr_t value, void* ptr, float opt);

protected:
    AudioEffect* effect;
    void* systemWindow; // null while closed
};
