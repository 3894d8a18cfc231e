// CControlVx: the base of every control the editor draws itself. In place of
// one float value it holds edit slots, each tying one parameter (its edit
// index) to the value the user set and the value shown, and it turns mouse
// presses, drags, releases, double clicks, repeated steps and the wheel into
// notifications of its listener. Derived controls supply the geometry
// (valueFromPoint, TextFromPoint) and their drawing.
//
// The host's automation gesture (beginEdit/endEdit through the frame) is
// kept balanced: one endEdit for every beginEdit, also when a release comes
// while the double-click timer still waits, and when a double click presses
// twice within one gesture.
// Thread: the user-interface thread.
#pragma once

#include "CControl.h"
#include "VdxString.h"

#include <memory>

class CVSTGUITimer;

class CControlListenerVx : public CControlListener
{
public:
    // right: the right mouse button is down.
    virtual void touched(CControl*, bool) {}
};

// A control's own type, set by its constructor or its factory. It is apart
// from the kind the editor records per edit index (SynthEditor.h), though a
// few numbers mean the same control in both. The base reads the wheel rule;
// the editor's valueChanged reads menu and switch-back.
using tControlType = int32_t;
enum ControlType : tControlType
{
    kControlKindNone = 0,       // unclassified: takes no wheel steps
    kControlKindKnob = 2,       // filmstrip knob and parameter bar
    kControlKindSlider = 4,     // bitmap slider, hanging slider
    kControlKindOnOff = 5,      // multi-state button
    kControlKindRadio = 7,      // grid of radio buttons
    kControlKindMenu = 9,       // the editor leaves its change alone
    kControlKindVarDisplay = 11,
    kControlKindPlusMinus = 12,
    kControlKindDepth = 13,     // modulation depth display
    kControlKindPad = 14,       // XY pad and 5.1 map: no wheel steps
    kControlKindSwitchBack = 15, // a change turns the editor to its other face
    kControlKindNoWheel = 16,   // takes no wheel steps (the keyboards)
    kControlKindKeyboard = kControlKindNoWheel,
    kControlKindMulti = 20,     // several edit slots
};

class CControlVx : public CControl
{
public:
    struct EditSlot
    {
        int32_t editIdx = -1;          // parameter edited; -1 none
        float userValue = 0.f;         // set by the user, parameter direction
        float oldUserValue = 0.f;      // user value the listener took last
        float dispValue = 0.f;         // shown, drawing direction
        float oldDispValue = 0.f;      // shown at the last draw
        float defaultValue = 0.5f;     // restored by a command-click
    };

    CControlVx(const CRect& size, CControlListenerVx* listener, int tag);
    CControlVx(const CRect& size, CControlListenerVx* listener, int tag, int slots);
    CControlVx(const CControlVx& other);
    ~CControlVx() override;
    CControlVx& operator=(const CControlVx&) = delete;

    // Library operations.
    CMessageResult notify(CBaseObject* sender, const char* message) override;
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const long& buttons) override;
    void setMouseEnabled(bool enabled) override { CControl::setMouseEnabled(enabled); }
    void setBackground(CBitmap*) override {}
    CBitmap* getBackground() const override { return nullptr; }
    bool isTypeOf(const char* name) const override;
    CView* newCopy() const override { return new CControlVx(*this); }
    void setValue(float v) override;
    float getValue() override;
    void setMin(float) override {}
    void setMax(float) override {}
    void setOldValue(float) override {}
    float getMin() const override { return 0.f; }
    float getMax() const override { return 0.f; }
    float getOldValue() const override { return 0.f; }
    float getDefaultValue() const override { return 0.f; }
    void setDefaultValue(float v) override;
    int32_t getTag() const override { return slots[0].editIdx; }

    // Added operations.
    virtual void setCircularLinearMode(bool circular);
    virtual void lockCircularLinearMode(bool locked) { modeLocked = locked; }
    virtual void setEditIdx(int slot, int editIndex);
    virtual void setValue(int editIndex, float value);
    // Hands out the first changed slot (and takes its change); false when none.
    virtual bool getValue(int* editIndex, float* value);
    virtual void setDefault(int editIndex, float value);
    virtual void setDoubleClickEnable(bool enabled) { doubleClickEnabled = enabled; }
    virtual void handleDoubleClick() {}
    // Ends a press in progress as a release with no buttons.
    virtual void releaseMouse();
    virtual void spareHook1() {}
    virtual void spareHook2() {}
    virtual float valueFromPoint(CPoint&) { return 0.f; }
    virtual float valueFromPoint(CPoint& where, bool /*fine*/) { return valueFromPoint(where); }
    virtual bool TextFromPoint(CPoint&) { return false; }
    virtual Vdx::String_c getUserText() { return userText; }
    virtual void setText(const Vdx::String_c& text);
    virtual void setMainEditIdx(int editIndex) { setEditIdx(0, editIndex); }
    virtual bool isMouseDown() { return mouseDown; }
    virtual void setType(tControlType kind) { controlKind = kind; }
    virtual void setDrawColor(CColor colour);

    float UserValue() const { return slots[0].userValue; }
    float DispValue() const { return slots[0].dispValue; }
    float DispValue(int slot) const { return slots[clampSlot(slot)].dispValue; }
    int getEditIdx(int slot) const { return slots[clampSlot(slot)].editIdx; }
    int getSlotCount() const { return slotCount; }
    const EditSlot& getSlot(int slot) const { return slots[clampSlot(slot)]; }
    void setUserValue(int editIndex, float value);
    void newUserVal01(int slot, float value);
    void initOldUserValue();
    void beginEdit(int index);
    void endEdit(int index);
    static bool PointInRect(int x, int y, int left, int top, int right, int bottom);
    static void xSleep(int ms);
    tControlType getType() const { return controlKind; }
    bool getStepUp() const { return stepUp; }
    bool getStepDown() const { return stepDown; }
    bool getRightButton() const { return rightButton; }
    bool getResetToDefault() const { return resetToDefault; }
    bool getCircularLinearMode() const { return circularMode; }
    bool getTextMode() const { return textMode; }
    float getValueAtPress() const { return valueAtPress; }
    CColor getDrawColor() const { return drawColor; }
    const Vdx::String_c& getDisplayText() const { return displayText; }

    // Set by derived controls and factories.
    void setInverted(bool on) { inverted = on; }
    void setTextMode(bool on, bool drag = false) { textMode = on; textDrag = drag; }
    void setShowsText(bool on) { showsText = on; }
    void setOptionFlag(bool on) { optionFlag = on; }

protected:
    void init(int slots);
    int clampSlot(int slot) const { return slot < 0 ? 0 : (slot >= slotCount ? slotCount - 1 : slot); }
    float toParameterDirection(float display) const { return inverted ? 1.f - display : display; }
    void redrawIfDirty() {}
    void dropTimer(CVSTGUITimer*& timer);
    // The host's gesture around a press; at most one open at a time.
    void openGesture();
    void closeGesture();
    CMouseEventResult finishPress();

    bool stepDown = false;
    bool stepUp = false;
    bool textMode = false;
    bool textDrag = false;
    bool showsText = false;
    bool derivedFlag = true;
    bool optionFlag = false;
    bool inverted = false;
    bool rightButton = false;
    bool resetToDefault = false;
    bool circularMode = true;
    bool modeLocked = false;
    bool doubleClickEnabled = false;
    float valueAtPress = -9.9f;
    Vdx::String_c userText;
    Vdx::String_c displayText;
    CColor drawColor{255, 0, 0, 255};
    std::unique_ptr<EditSlot[]> slots;
    CControlListenerVx* listenerVx;
    CPoint pressPoint;
    CPoint lastPoint;
    CVSTGUITimer* repeatTimer = nullptr;
    CVSTGUITimer* doubleClickTimer = nullptr;
    CPoint storedPoint;
    long storedButtons = 0;
    int slotCount = 1;
    tControlType controlKind = kControlKindNone;
    bool mouseDown = false;
    // The press was released while the double-click timer still waited; the
    // timer's firing then completes the press and closes the gesture.
    bool releasedDuringTimer = false;
    bool gestureOpen = false;
};
