// The loop sampler's sample display: the sample of a slot as a waveform with
// its start point, loop start, loop end and crossfade, four markers the
// mouse drags, and a view that zooms (2^(13 z) frames per pixel column, 1 to
// 8192) and scrolls by two parameters.
//
// The display reads the slot's current sample at every draw through the
// slot's sample pointer, so a newly loaded sample shows without rebinding,
// and it never changes the sample. It reads under the sample's own lock, the
// lock its store holds while it loads, frees, trims or reverses it; the lock
// is only tried, never waited for (a load in progress may hold it while the
// store calls back into the editor): when it is refused the display shows
// its background only and draws again a moment later, so it never shows a
// sample half changed, one swapped or emptied meanwhile, or freed memory.
//
// The columns show the differences between consecutive frames: zone data is
// kept as running sums, whose differences are the sound itself. Each pixel
// column gets the largest and smallest difference over its frames; the
// column bars join their neighbours so the waveform has no gaps.
//
// The mouse logic reads only the display values, the sample's length and
// the visible range; drawing reads only the display values and the sample.
// Thread: the user-interface thread (the editor's idle pass).
#pragma once

#include "CControlVx.h"

#include <atomic>
#include <memory>

class CBitmap;
class CDrawContext;
class CVSTGUITimer;
class WaveSample_c;

class CSampleDisplayBase_c : public CControlVx
{
public:
    CSampleDisplayBase_c(const CRect& size, CControlListenerVx* listener, int tag, int slots);

    void setValue(int editIndex, float value) override;
    void setValue(float value) override;
    // A vertical line from (x, y1) to (x, y2), both ends included; a single
    // point when y1 = y2.
    void drawMinMax(CDrawContext* context, int x, int y1, int y2, CColor colour);
};

// The pure computations of the display, apart from any control: what part
// of a sample is visible, and the columns over it.
namespace SampleView {
constexpr float MinFramesPerColumn = 0.9999f;
constexpr float MaxFramesPerColumn = 8192.1f;
// Frames per pixel column for a zoom value 0..1: 2^(13 z), clamped.
float framesPerColumn(float zoom);
struct Range
{
    double start = 0.0; // seconds
    double end = 0.0;
};
// The visible time range of a sample of frames at rate Hz in width columns.
// When the sample is shorter than the view it shows from its beginning.
Range visible(float zoom, float scroll, int width, int frames, float rate);
// Column j's largest and smallest difference value[i] - value[i - 1] over
// the frames from .. to (rounded to the nearest frame, at least one
// difference, never past the last frame), each within -1..1. A column with
// no difference left in the sample is flat (0, 0).
void columnMaxMin(const float* data, int frames, double from, double to, float* maxOut, float* minOut);
// Fills width columns from the visible range start (seconds) over duration
// seconds; columns past the sample's end are flat.
void columns(const float* data, int frames, float rate, double start, double duration, int width, float* maxima,
             float* minima);
} // namespace SampleView

class CSampleDisplayVl_c : public CSampleDisplayBase_c
{
public:
    enum Slot
    {
        StartPoint = 0, // fractions of the sample's length
        LoopStart = 1,
        LoopEnd = 2,
        Crossfade = 3, // fraction of the length, measured from the loop start
        Zoom = 4,
        Scroll = 5,
        SlotCount = 6,
    };
    static constexpr CColor PlayColour{240, 240, 245, 255};
    static constexpr CColor BeforeStartColour{100, 100, 100, 255};
    static constexpr CColor LoopColour{120, 245, 125, 255};
    static constexpr CColor StartMarker{32, 255, 8, 255};
    static constexpr CColor LoopStartMarker{255, 64, 0, 255};
    static constexpr CColor LoopEndMarker{160, 0, 64, 255};
    static constexpr float MinRate = 1000.f; // Hz; at or below it nothing is drawn
    static constexpr int CrossfadeZone = 12;  // pixels below the top that drag the crossfade
    static constexpr int RetryMs = 20;        // redraw after a refused lock

    CSampleDisplayVl_c(const CRect& size, CControlListenerVx* listener, int tag, CBitmap* background);
    ~CSampleDisplayVl_c() override;
    CSampleDisplayVl_c(const CSampleDisplayVl_c&) = delete;
    CSampleDisplayVl_c& operator=(const CSampleDisplayVl_c&) = delete;

    // The slot's sample pointer (read at every draw) and the three colours.
    void create(WaveSample_c** sample, CColor play, CColor beforeStart, CColor loop);
    // The same over a slot pointer that another thread may swap.
    void create(const std::atomic<WaveSample_c*>* sample, CColor play, CColor beforeStart, CColor loop);

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
    void setValue(int editIndex, float value) override;
    void setValue(float value) override;
    CMessageResult notify(CBaseObject* sender, const char* message) override;

    // The visible time range in seconds.
    void getStartEndDisplayed(float* start, float* end) const;
    void SamColorAt(double time, CColor* colour) const;

    // What the last draw saw and computed.
    int getFrames() const { return frames; }
    float getRate() const { return rate; }
    int getColumnCount() const { return width; }
    const float* getMaxima() const { return maxima.get(); }
    const float* getMinima() const { return minima.get(); }
    int getActiveSlot() const { return activeSlot; }
    bool isDragging() const { return dragging; }
    bool waitsForRetry() const { return retryTimer != nullptr; }

protected:
    // The columns over start .. start + duration (seconds).
    void drawSample(double start, double duration);
    void getMaxMin(int column, double from, double to);
    void drawAllMinMax(CDrawContext* context, double start, double duration);
    void drawLoopPoints(CDrawContext* context, double start, double duration);

private:
    WaveSample_c* currentSample() const;
    // Reads the current sample under its lock and draws it; false when the
    // lock was refused or the sample was swapped while it was taken.
    bool drawCurrentSample(CDrawContext* context);
    // The pixel column of a time for the range start .. start + duration.
    int pixelOf(double time, double start, double duration) const;
    double timeAt(int x) const;
    // A one-pixel line, both ends included.
    void line(CDrawContext* context, int x1, int y1, int x2, int y2, CColor colour);

    int width;
    CPoint backPoint;
    WaveSample_c** samplePtr = nullptr;
    const std::atomic<WaveSample_c*>* sharedSamplePtr = nullptr;
    CBitmap* background;
    std::unique_ptr<float[]> maxima; // width + 6 columns, from create
    std::unique_ptr<float[]> minima;
    CColor playColour = PlayColour;
    CColor beforeStartColour = BeforeStartColour;
    CColor loopColour = LoopColour;
    bool dragging = false;
    float rate = 44100.f;
    int frames = 0;
    double length = 0.0; // seconds
    double duration = 0.0;
    double visStart = 0.0, visEnd = 0.0; // kept from the press
    // The data of the last draw while it runs (null otherwise).
    const float* data = nullptr;
    int activeSlot = 0;
    CVSTGUITimer* retryTimer = nullptr;
};
