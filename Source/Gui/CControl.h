// CControl: a view that edits a value and tells its listener; CParamDisplay
// shows a text; CTextEdit lets the user type one.
// Thread: the user-interface thread.
#pragma once

#include "CView.h"

#include <string>

class CControl;

class CControlListener
{
public:
    virtual ~CControlListener() = default;
    virtual void valueChanged(CControl* control) = 0;
    virtual int32_t controlModifierClicked(CControl*, long) { return 0; }
    virtual void controlBeginEdit(CControl*) {}
    virtual void controlEndEdit(CControl*) {}
};

class CControl : public CView
{
public:
    CControl(const CRect& size, CControlListener* listener = nullptr, int32_t tag = 0,
             CBitmap* background = nullptr);
    CControl(const CControl&) = default;

    virtual void setValue(float v) { value = v; }
    virtual float getValue() { return value; }
    virtual void setMin(float v) { vmin = v; }
    virtual float getMin() const { return vmin; }
    virtual void setMax(float v) { vmax = v; }
    virtual float getMax() const { return vmax; }
    virtual void setOldValue(float v) { oldValue = v; }
    virtual float getOldValue() const { return oldValue; }
    virtual void setDefaultValue(float v) { defaultValue = v; }
    virtual float getDefaultValue() const { return defaultValue; }
    virtual void setTag(int32_t t) { tag = t; }
    virtual int32_t getTag() const { return tag; }
    CControlListener* getListener() const { return listener; }
    void setListener(CControlListener* l) { listener = l; }
    // Clamps the value into min..max.
    void bounceValue();
    bool isTypeOf(const char* name) const override;

protected:
    CControlListener* listener;
    int32_t tag;
    float value = 0.f;
    float oldValue = 1.f;
    float defaultValue = 0.5f;
    float vmin = 0.f;
    float vmax = 1.f;
};

// Shows a text (or the value) in a box of its own colours and font.
class CParamDisplay : public CControl
{
public:
    // Styles: kNoFrame draws no frame line, kNoDrawStyle no back colour.
    enum Style
    {
        kNoFrame = 1 << 0,
        kNoDrawStyle = 1 << 1,
    };
    CParamDisplay(const CRect& size, CBitmap* background = nullptr, int32_t style = 0);

    void draw(CDrawContext* context) override;
    virtual void setText(const char* text);
    const char* getText() const { return text.c_str(); }
    void setFont(CFontRef f) { font = f; setDirty(true); }
    void setTxtFace(int face) { txtFace = face; setDirty(true); }
    virtual void setFontColor(CColor c) { fontColor = c; setDirty(true); }
    CColor getFontColor() const { return fontColor; }
    void setBackColor(CColor c) { backColor = c; setDirty(true); }
    void setFrameColor(CColor c) { frameColor = c; setDirty(true); }
    virtual void setHoriAlign(CHoriTxtAlign a) { align = a; setDirty(true); }
    void setStyle(int32_t s) { style = s; setDirty(true); }
    int32_t getStyle() const { return style; }
    void setTransparency(bool t) { transparent = t; setDirty(true); }
    // Where in the background bitmap the box's own picture starts.
    void setBackOffset(const CPoint& p) { backOffset = p; setDirty(true); }
    bool isTypeOf(const char* name) const override;

protected:
    void drawBox(CDrawContext* context);
    void drawText(CDrawContext* context, const char* shown);

    std::string text;
    CFontRef font;
    int txtFace = kNormalFace;
    CColor fontColor = kWhiteCColor;
    CColor backColor = kBlackCColor;
    CColor frameColor = kBlackCColor;
    CHoriTxtAlign align = kCenterText;
    int32_t style;
    bool transparent = false;
    CPoint backOffset;
};

// A text the user edits: a click takes the keyboard focus, typed keys change
// the text, Return (or a click elsewhere) ends the edit and tells the listener.
class CTextEdit : public CParamDisplay
{
public:
    CTextEdit(const CRect& size, CControlListener* listener, int32_t tag, const char* text = nullptr,
              CBitmap* background = nullptr, int32_t style = 0);

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    int32_t onKeyDown(VstKeyCode& keyCode) override;
    // Ends an edit in progress and reports it.
    void looseFocus();
    bool isEditing() const { return editing; }
    bool isTypeOf(const char* name) const override;

private:
    bool editing = false;
};
