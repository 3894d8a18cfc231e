// The editor's discrete buttons and its text controls:
// - CRadioButtonVx, a grid of radio buttons; its picture holds the grid all
//   off above the grid all on;
// - COnOffButtonVx, a button of several states that steps through them;
// - CLabelVx, a static text (value texts beside knobs, file names);
// - CVarDisplay, a parameter's value as a number, dragged up and down;
// - CModDepthDisp, the depth of a modulation matrix row, in normal or in
//   semitone mode, whose double click sets zero depth and then restores;
// - CPlusMinusDisplay, a text with step-up and step-down buttons.
// Each turns a mouse point into a value (or a step) and draws from its
// display value, its display text and its pictures only.
// Thread: the user-interface thread.
#pragma once

#include "CControlVx.h"

class CBitmap;
class Synth;

class CRadioButtonVx : public CControlVx
{
public:
    // rowMajor: buttons are numbered along the rows (else down the columns).
    CRadioButtonVx(CRect size, CControlListenerVx* listener, int tag, int columns, int rows, bool rowMajor,
                   CBitmap* bitmap);

    float valueFromPoint(CPoint& where) override;
    void draw(CDrawContext* context) override;

    // The button the display value lights.
    int litIndex() const;
    int getColumns() const { return columns; }
    int getRows() const { return rows; }

protected:
    CBitmap* bitmap;
    int columns;
    int rows;
    bool rowMajor;
    int cellWidth;
    int cellHeight;
};

class COnOffButtonVx : public CControlVx
{
public:
    // bitmap: one frame per state, stacked, each the size of the button.
    COnOffButtonVx(CRect& size, CControlListenerVx* listener, int tag, CBitmap* bitmap, int states);

    // Left button: the next state (after the last, the first); any other
    // button: the previous one (before the first, the last).
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    void draw(CDrawContext* context) override;

    int frameIndex() const;
    int getStates() const { return states; }

protected:
    CBitmap* bitmap;
    int states;
};

class CLabelVx : public CControlVx
{
public:
    CLabelVx(CRect size, CControlListenerVx* listener, int tag, CBitmap* background, CFontRef font, CColor text,
             CHoriTxtAlign align);

    void draw(CDrawContext* context) override;
    // A label never takes the mouse.
    CMouseEventResult onMouseDown(CPoint&, const long&) override { return kMouseEventNotHandled; }
    CMouseEventResult onMouseMoved(CPoint&, const long&) override { return kMouseEventNotHandled; }
    CMouseEventResult onMouseUp(CPoint&, const long&) override { return kMouseEventNotHandled; }
    bool onWheel(const CPoint&, const float&, const long&) override { return false; }

    CFontRef getFont() const { return font; }

protected:
    CBitmap* backgroundBitmap;
    CFontRef font;
    CHoriTxtAlign align;
    CPoint backgroundPoint;
};

class CModDepthDisp : public CControlVx
{
public:
    // Without an engine the display stays inert.
    CModDepthDisp(CRect& size, CControlListenerVx* listener, int tag, Synth* engine, CBitmap* background);

    virtual void setFont(CFontRef f);
    virtual void setHoriAlign(CHoriTxtAlign a);
    // semitones: the range shown as "semitones:cents" either way; 0 shows
    // the depth as -1.0000 .. 1.0000.
    void setSemitoneMode(int semitones);
    int getSemitoneMode() const { return semitones; }

    // Absolute from the value at the press, by the distance from the
    // display's vertical centre, growing faster further out.
    float valueFromPoint(CPoint& where) override;
    // First: keeps the depth and sets zero; second: restores the kept depth.
    void handleDoubleClick() override;
    // A value other than the user's forgets the kept depth.
    void setValue(float v) override;
    void setValue(int editIndex, float v) override;
    void draw(CDrawContext* context) override;

    // The text the display shows for its display value.
    Vdx::String_c shownText() const;
    float getKeptValue() const { return kept; }
    CFontRef getFont() const { return font; }

protected:
    CBitmap* backgroundBitmap = nullptr;
    CPoint backgroundPoint;
    CFontRef font = nullptr;
    CHoriTxtAlign align = kCenterText;
    int semitones = 0;
    float kept = NoneKept;

    static constexpr float NoneKept = -1.f;
};

class CVarDisplay : public CControlVx
{
public:
    // Reads the parameter's type, range and precision from the engine.
    CVarDisplay(CRect& size, CControlListenerVx* listener, int tag, Synth* engine, CBitmap* background);

    virtual void setFont(CFontRef f);
    virtual void setHoriAlign(CHoriTxtAlign a);
    // Relative: up raises (fine: a tenth).
    float valueFromPoint(CPoint& where, bool fine) override;
    void draw(CDrawContext* context) override;

    // The display text, or, when it is empty, the value worked out from the
    // parameter's range.
    Vdx::String_c shownText() const;
    CFontRef getFont() const { return font; }

protected:
    CBitmap* backgroundBitmap;
    CFontRef font = nullptr;
    CHoriTxtAlign align = kCenterText;
    int paraType = 0;
    int low = 0;
    int high = 0;
    int precision = 0;
    CPoint backgroundPoint;
};

class CPlusMinusDisplay : public CControlVx
{
public:
    // text: where the value shows; up, down: the two button areas (in the
    // same coordinates as size; they move with the view).
    CPlusMinusDisplay(CRect size, CControlListenerVx* listener, int tag, CRect text, CRect up, CRect down,
                      CBitmap* background, CFontRef font, CColor textColour);

    // On a button: a step up or down (the value stays); on the text: a
    // relative drag as the value display's.
    float valueFromPoint(CPoint& where, bool fine) override;
    void setViewSize(const CRect& size) override;
    void draw(CDrawContext* context) override;

    const CRect& getTextRect() const { return textRect; }
    const CRect& getUpRect() const { return upRect; }
    const CRect& getDownRect() const { return downRect; }
    CFontRef getFont() const { return font; }

protected:
    CRect textSource;
    CRect textRect;
    CRect upRect;
    CRect downRect;
    CBitmap* backgroundBitmap;
    CFontRef font;
};
