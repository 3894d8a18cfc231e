// The editor's continuous controls:
// - CMIKnob, the filmstrip knob (every rotary knob and every horizontal
//   parameter bar of the pages), dragged in a circle or up and down;
// - CSliderVx, a bitmap handle sliding along a track (the 5.1 mixer);
// - CDrawbarVx, the hanging slider (the envelope sliders): a bar hangs from
//   the top edge and its handle moves down as the parameter falls;
// - CScrollbarVx, a scroll bar with arrow zones at both ends, whose thumb
//   shows the visible fraction (the loop sampler's sample display).
// Each turns a mouse point into a value (valueFromPoint) and draws from its
// display values and its pictures only; the base control (CControlVx) owns
// the mouse protocol, the edit slots and the listener calls.
// Thread: the user-interface thread.
#pragma once

#include "CControlVx.h"

#include <cstdint>
#include <limits>

class CBitmap;

class CMIKnob : public CControlVx
{
public:
    // strip: one column of `frames` pictures, each the size of the knob.
    // angle: the knob's travel in degrees (359.99 or more wraps around);
    // offset: degrees added to where the travel starts.
    CMIKnob(CRect size, CControlListenerVx* listener, int tag, CBitmap* background, CBitmap* strip, int frames,
            float angle, float offset);

    float valueFromPoint(CPoint& where, bool fine) override;
    void draw(CDrawContext* context) override;
    // The value under a point, by its angle around the knob's centre.
    virtual float valueFromPointCir(CPoint& where);
    // The value after a vertical drag from the last point (fine: a tenth).
    virtual float valueFromPointLin(CPoint& where, bool fine);

    // An endless knob passes from 1 to 0 and back.
    void setWrap(bool on) { wrap = on; }
    bool getWrap() const { return wrap; }
    // The strip frame the knob shows now.
    int frameIndex() const;

    // Pixels of vertical travel for half the range (120: a sweep is 240).
    float way = 120.f;

protected:
    CBitmap* backgroundBitmap;
    CBitmap* strip;
    bool wrap;
    int frames;
    float angle;
    float angleScale; // 1 / travel in radians
    float startAngle; // radians, within 0..2 pi
};

class CSliderVx : public CControlVx
{
public:
    // back: the area whose page background is redrawn under the handle (its
    // top-left is also the point of the background that is drawn); size:
    // the handle's travel. Without either picture the slider is inert.
    CSliderVx(CRect& back, CRect& size, CControlListenerVx* listener, int tag, CBitmap* handle, CBitmap* background);

    float valueFromPoint(CPoint& where, bool fine) override;
    void setViewSize(const CRect& size) override;
    void draw(CDrawContext* context) override;

    const CRect& getBackRect() const { return backRect; }
    bool isHorizontal() const { return horizontal; }

protected:
    CRect backSource;
    CRect backRect;
    CBitmap* handle = nullptr;
    int handleWidth = 0;
    int handleHeight = 0;
    CBitmap* backgroundBitmap = nullptr;
    bool horizontal = false;
};

class CDrawbarVx : public CControlVx
{
public:
    // bar: the hanging bar, as tall as the slider, its handle (handleHeight
    // pixels) at the bottom. Without either picture the slider is inert.
    CDrawbarVx(CRect& size, int handleHeight, CControlListenerVx* listener, int tag, CBitmap* bar,
               CBitmap* background);

    // Absolute: the share of the travel above the point (the pages invert it).
    float valueFromPoint(CPoint& where) override;
    // The wheel turns the other way, so that with the inverted flag a turn
    // up still raises the parameter.
    bool onWheel(const CPoint& where, const float& distance, const long& buttons) override;
    void draw(CDrawContext* context) override;

    const CRect& getTravel() const { return travel; }

protected:
    CRect backgroundRect;
    CRect travel;
    CBitmap* bar = nullptr;
    CBitmap* backgroundBitmap = nullptr;
    int handleHeight = 0;
};

class CScrollbarVx : public CControlVx
{
public:
    // Slot 0: the scroll position; slot 1: the visible fraction (the thumb's
    // share of the track). margin: the length of each arrow zone in pixels.
    // Without a background picture the bar is inert (no margin, no colour).
    CScrollbarVx(CRect& size, CControlListenerVx* listener, int tag, CBitmap* background, int margin, CColor thumb);

    // Absolute. On an arrow zone it steps by margin / 8 pixels, at most once
    // per ArrowPauseMs of the GUI layer's clock.
    float valueFromPoint(CPoint& where) override;
    void setViewSize(const CRect& size) override;
    void draw(CDrawContext* context) override;

    // The track's length between the arrow zones, the thumb and the free travel.
    int trackLength() const;
    int thumbLength() const;
    CRect thumbRect() const;

    static constexpr int ArrowPauseMs = 125;

protected:
    CRect backSource;
    CRect barRect;
    CBitmap* backgroundBitmap = nullptr;
    CColor thumbColour{0, 0, 0, 0};
    bool horizontal = false;
    int margin = 0;
    // True when an arrow step may be taken now (and takes its time).
    bool arrowStepDue();

    // When the last arrow step was taken; arrow steps wait ArrowPauseMs.
    int64_t lastArrowStepMs = std::numeric_limits<int64_t>::min() / 2;
};
