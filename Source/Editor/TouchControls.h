// Controls that act on no parameter or on several at once:
// - CTouchAreaVx sends a fixed command to the instrument when clicked (the
//   command buttons of the sample, file and filter pages), optionally
//   repeating while held: after 600 ms, then 40 ms sooner each time down to
//   every 200 ms. Without repeat it shows its pressed picture for 500 ms.
// - CXYVx edits two parameters (slot 0 x, slot 1 y) by dragging, 150 pixels
//   for the full range, and draws a fading cross-hair over its background.
// - C51Map shows one dot per mixer row on the 5.1 field and moves a row's
//   left-right and front-rear position by dragging its dot; for row k slot
//   3k is left-right, 3k + 1 front-rear and 3k + 2 its on switch.
//
// The mouse logic reads only the display values and the geometry; drawing
// reads only display values and pictures. The timers are the GUI layer's,
// fired by the editor's idle pass (tests move the layer's clock).
// Every drag of the pad and the map is one host gesture per edited
// parameter: beginEdit at the press (the map: at its first move), endEdit at
// the release, never a stray endEdit without a press.
// Thread: the user-interface thread, timers included.
#pragma once

#include "CControlVx.h"

class CBitmap;
class CDrawContext;
class CVSTGUITimer;
class Synth;

class CTouchAreaVx : public CControlVx
{
public:
    static constexpr int FirstRepeatMs = 600;
    static constexpr int RepeatStepMs = 40;
    static constexpr int FastestRepeatMs = 200;
    static constexpr int ReleaseMs = 500;

    // A click sends engine->processGUICmd(command, index, value, null); no
    // engine, nothing sent. The picture holds the released face above the
    // pressed one, each as tall as the control (none: nothing drawn).
    CTouchAreaVx(const CRect& size, CControlListenerVx* listener, int tag, Synth* engine, int command, int index,
                 int value, bool repeat, CBitmap* bitmap);
    ~CTouchAreaVx() override;
    CTouchAreaVx(const CTouchAreaVx&) = delete;
    CTouchAreaVx& operator=(const CTouchAreaVx&) = delete;

    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
    CMessageResult notify(CBaseObject* sender, const char* message) override;
    void draw(CDrawContext* context) override;

    bool isPressed() const { return pressed; }
    bool isHeld() const { return mouseHeld; }
    int getRepeatPeriod() const { return period; }

private:
    void send();

    Synth* engine;
    CBitmap* bitmap;
    int command, index, value;
    int period = FirstRepeatMs;
    CVSTGUITimer* releaseTimer;
    bool pressed = false;
    bool repeat;
    bool mouseHeld = false;
};

class CXYVx : public CControlVx
{
public:
    static constexpr float PerPixel = 0.006666f;

    CXYVx(const CRect& size, CControlListenerVx* listener, int tag, CBitmap* background, CColor line, CColor fade);
    CXYVx(const CXYVx&) = delete;
    CXYVx& operator=(const CXYVx&) = delete;

    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
    void draw(CDrawContext* context) override;

    // The cross-hair's centre for the display values.
    CPoint crossPoint() const;
    // The four fade colours, from the faint outer one to the strongest.
    void fadeColours(CColor (&out)[4]) const;

protected:
    // Five segments through the point, longest and faintest first.
    void drawLine(CDrawContext* context, int x, int y, bool vertical);
    // A line kept inside the control.
    void lineCore(CDrawContext* context, int x1, int x2, int y1, int y2, CColor colour);

private:
    void editBoth(bool begin);

    CBitmap* background;
    float usableHeight;
    float usableWidth;
    CColor lineColour;
    CColor fadeColour;
    float startX = 0.f;
    float startY = 0.f;
    CPoint downPoint;
};

class C51Map : public CControlVx
{
public:
    // channels dots, the picture holding one dot per row stacked vertically.
    C51Map(const CRect& size, CControlListenerVx* listener, int tag, CBitmap* dots, int channels);
    C51Map(const C51Map&) = delete;
    C51Map& operator=(const C51Map&) = delete;

    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
    void setValue(int editIndex, float value) override;
    using CControlVx::setValue;
    // Takes no wheel steps, as the pad: a step would move row 0's position
    // whichever dot lies under the mouse.
    bool onWheel(const CPoint& where, const float& distance, const long& buttons) override;
    void draw(CDrawContext* context) override;

    // The row whose dot's top-left corner lies nearest to the point, among
    // the rows that are on (the lowest on a tie); *channel is kept when none
    // is on; the result is clamped to a valid row.
    virtual void detectChannel(CPoint& where, int* channel);
    // Moves row channel's dot to the point (less the grab offset); true when
    // it moved by more than 0.001 in either direction.
    virtual bool trackMouse(CPoint& where, int channel);

    static int xSlot(int channel) { return 3 * channel; }
    static int ySlot(int channel) { return 3 * channel + 1; }
    static int onSlot(int channel) { return 3 * channel + 2; }
    bool isOn(int channel) const { return DispValue(onSlot(channel)) > 0.5f; }
    bool anyOn() const;
    int getChannels() const { return channels; }
    int getActiveChannel() const { return active; }
    bool isTracking() const { return tracking; }
    // Where row k's dot is drawn.
    CRect dotRect(int channel) const;

private:
    int clampChannel(int k) const { return k < 0 ? 0 : (k >= channels ? channels - 1 : k); }
    void editPosition(int channel, bool begin);

    CBitmap* dots;
    int channels;
    int dotWidth = 0, dotHeight = 0;
    int xTravel = 0, yTravel = 0;
    float xReciprocal = 0.f, yReciprocal = 0.f;
    float grabX = 0.f, grabY = 0.f;
    bool tracking = false;
    int active = -1;
};
