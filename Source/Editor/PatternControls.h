// The pattern controls: each edits a whole pattern held in one text-valued
// parameter, in the base control's text mode. The editor hands the
// parameter's text in with setText; an edit builds a new text, stores it as
// the user text and tells the listener, which writes it into the parameter;
// the shown pattern changes only when the parameter's text comes back.
//
// CStepSeqVx, the step grid of the arpeggiator page, shows and edits the
// levels of the step sequencer's pattern. The pattern text is exactly
// StepSeqText::Length characters, each a small number plus 1 (so none is
// zero): the step playing, the steps in use, then per step its first value
// (left alone here) and its level (0 a rest, 1..127 a level, 128 "Tie",
// holding the previous note). A text of any other length is ignored: not
// taken, not drawn, not sent.
//
// COnOffBar, the gate page's step bar, switches gate steps on and off; its
// text holds one "0" or "1" per step.
//
// Mouse and wheel logic reads only the pattern and the geometry; drawing
// reads only the shown pattern and the pictures.
// Thread: the user-interface thread (the repeat timer fires in the idle pass).
#pragma once

#include "CControlVx.h"
#include "Capacities.h"

#include <array>
#include <memory>

class CBitmap;
class CDrawContext;

namespace StepSeqText {
constexpr int Length = StepDataChars; // characters, without the terminating zero
constexpr int Steps = StepSeqMaxSteps;
constexpr int ActiveAt = 0;    // the step being played + 1
constexpr int StepCountAt = 1; // the steps in use + 1
constexpr int LevelRest = 0;
constexpr int LevelTie = 128; // holds the previous note
// Position of step i's level (its first value sits one before).
constexpr int levelAt(int step) { return 3 + 2 * step; }
// The shown text of a level: "Off", "Tie" or three digits ("007").
void levelText(int level, char (&out)[8]);
} // namespace StepSeqText

class CStepSeqVx : public CControlVx
{
public:
    // columns x rows cells, steps numbered down each column and then across
    // (step = column * rows + row); margin: pixels left of each column;
    // markerFrames: frames of the marker picture (the playing step's above).
    CStepSeqVx(const CRect& size, CControlListenerVx* listener, int tag, CBitmap* background, CBitmap* marker,
               CColor text, int columns, int rows, int margin, int markerFrames);
    CStepSeqVx(const CStepSeqVx&) = delete;
    CStepSeqVx& operator=(const CStepSeqVx&) = delete;

    void setText(const Vdx::String_c& text) override;
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const long& buttons) override;
    CMessageResult notify(CBaseObject* sender, const char* message) override;
    void setDrawColor(CColor colour) override;

    // Geometry (control coordinates are the parent's, as the mouse's).
    int stepAt(const CPoint& where) const;
    int cellCentreY(int step) const;
    // The shown pattern; empty until a text of the right length came.
    const char* getShownPattern() const { return shown.data(); }
    bool isRepeating() const { return repeatTimer != nullptr; }
    CColor getTextColor() const { return textColour; }
    CColor getDimmedColor() const { return dimmedColour; }

private:
    using Pattern = std::array<char, StepSeqText::Length + 1>;
    static int levelOf(const Pattern& p, int step);
    void setLevel(int step, int level);
    void setColours(CColor text);
    // One Option step: up when the last point lies above or on the centre.
    void optionStep();

    CFontRef font;
    CColor textColour;
    CColor dimmedColour;
    int markerFrames;
    int columns, rows;
    int cellWidth, cellHeight;
    int margin;
    int laneWidth;
    int markerWidth = 0;
    int markerFrameHeight = 0;
    bool hasMarker = false;
    Pattern shown{};
    Pattern working{};
    CBitmap* backgroundBitmap;
    CBitmap* markerBitmap;
    // The gesture: the step under the press, its level then, its cell's centre.
    int editStep = 0;
    int startLevel = 0;
    int centreY = 0;
};

class COnOffBar : public CControlVx
{
public:
    // steps cells of width control width / steps; the picture holds the off
    // picture above the on picture, each as tall as the control.
    COnOffBar(const CRect& size, CControlListenerVx* listener, int tag, CBitmap* bitmap, int steps);
    COnOffBar(const COnOffBar&) = delete;
    COnOffBar& operator=(const COnOffBar&) = delete;

    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    void draw(CDrawContext* context) override;

    static constexpr tControlType Kind = 6;
    int stepAt(const CPoint& where) const;
    int getSteps() const { return steps; }

private:
    CBitmap* bitmap;
    int steps;
    int stepWidth;
    std::unique_ptr<char[]> buffer; // steps + 2 characters
};
