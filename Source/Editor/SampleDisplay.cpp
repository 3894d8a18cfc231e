#include "SampleDisplay.h"

#include "CBitmap.h"
#include "CDrawContext.h"
#include "CVSTGUITimer.h"
#include "SafeDiv.h"
#include "WaveSample.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr long AnyButton = kLButton | kRButton;
constexpr float ZoomOctaves = 13.f; // zoom 1 shows 2^13 = 8192 frames per column
constexpr int MarkerTop = 3;        // marker lines start this far below the top
constexpr int CrossfadeBoxBottom = 7;
constexpr double MarkerScale = 0.999; // keeps a marker at the range's end inside

float clamp01(float v)
{
    return v < 0.f ? 0.f : (v > 1.f ? 1.f : v);
}
} // namespace

// ------------------------------------------------------------------ base

CSampleDisplayBase_c::CSampleDisplayBase_c(const CRect& s, CControlListenerVx* l, int tag, int count)
    : CControlVx(s, l, tag, count)
{
}

void CSampleDisplayBase_c::setValue(int editIndex, float v)
{
    CControlVx::setValue(editIndex, v);
    setDirty(true);
}

void CSampleDisplayBase_c::setValue(float v)
{
    CControlVx::setValue(v);
    setDirty(true);
}

void CSampleDisplayBase_c::drawMinMax(CDrawContext* context, int x, int y1, int y2, CColor colour)
{
    context->setFrameColor(colour);
    if (y1 == y2)
        context->drawPoint(CPoint(x, y1), colour);
    else
        context->drawLine(CPoint(x, y1), CPoint(x, y2));
}

// ------------------------------------------------------------ the view

float SampleView::framesPerColumn(float zoom)
{
    return std::clamp(std::exp2(ZoomOctaves * zoom), MinFramesPerColumn, MaxFramesPerColumn);
}

SampleView::Range SampleView::visible(float zoom, float scroll, int width, int frames, float rate)
{
    const double length = so_ddiv(frames, rate);
    const double f = so_ddiv(static_cast<double>(width) * framesPerColumn(zoom), frames); // visible share
    Range r;
    r.start = f < 1.0 ? (1.0 - f) * length * scroll : 0.0;
    r.end = length * f + r.start;
    return r;
}

void SampleView::columnMaxMin(const float* data, int frames, double from, double to, float* maxOut, float* minOut)
{
    const int last = frames - 1;
    const int first = std::max(0, static_cast<int>(from + 0.5));
    // At least one difference, but never one past the last frame.
    const int end = std::min(last, std::max(first + 1, static_cast<int>(to + 0.5)));
    if (first + 1 > end) {
        *maxOut = *minOut = 0.f;
        return;
    }
    float mx = -1.f;
    float mn = 1.f;
    int i = first + 1;
#if defined(__SSE2__)
    // Four differences at a time: at the widest zoom a redraw reads 2.6
    // million frames while it holds the sample's lock. maxps and minps keep
    // their second operand for a NaN, as the single steps below do, and the
    // extremes are exact, so the result is the same as one step at a time.
    __m128 vmx = _mm_set1_ps(mx);
    __m128 vmn = _mm_set1_ps(mn);
    for (; i + 3 <= end; i += 4) {
        const __m128 d = _mm_sub_ps(_mm_loadu_ps(data + i), _mm_loadu_ps(data + i - 1));
        vmx = _mm_max_ps(d, vmx);
        vmn = _mm_min_ps(d, vmn);
    }
    alignas(16) float lanesMax[4];
    alignas(16) float lanesMin[4];
    _mm_store_ps(lanesMax, vmx);
    _mm_store_ps(lanesMin, vmn);
    mx = std::max(std::max(lanesMax[0], lanesMax[1]), std::max(lanesMax[2], lanesMax[3]));
    mn = std::min(std::min(lanesMin[0], lanesMin[1]), std::min(lanesMin[2], lanesMin[3]));
#endif
    for (; i <= end; ++i) {
        const float d = data[i] - data[i - 1];
        mx = d > mx ? d : mx;
        mn = d < mn ? d : mn;
    }
    *maxOut = std::min(mx, 1.f);
    *minOut = std::max(mn, -1.f);
}

void SampleView::columns(const float* data, int frames, float rate, double start, double duration, int width,
                         float* maxima, float* minima)
{
    double pos = rate * start; // frames, fractional
    const double last = frames - 1;
    const double step = so_ddiv(rate * duration, width); // frames per column
    int j = 0;
    for (; j < width && last > pos; ++j) {
        columnMaxMin(data, frames, pos, std::min(last, pos + step), &maxima[j], &minima[j]);
        pos += step;
    }
    for (; j < width; ++j)
        maxima[j] = minima[j] = 0.f;
}

// ---------------------------------------------------------- the display

CSampleDisplayVl_c::CSampleDisplayVl_c(const CRect& s, CControlListenerVx* l, int tag, CBitmap* back)
    : CSampleDisplayBase_c(s, l, tag, SlotCount), width(s.width()), backPoint(s.getTopLeft()), background(back)
{
}

CSampleDisplayVl_c::~CSampleDisplayVl_c()
{
    dropTimer(retryTimer);
}

void CSampleDisplayVl_c::create(WaveSample_c** sample, CColor play, CColor beforeStart, CColor loop)
{
    samplePtr = sample;
    sharedSamplePtr = nullptr;
    playColour = play;
    beforeStartColour = beforeStart;
    loopColour = loop;
    const size_t n = static_cast<size_t>(std::max(0, width)) + 6;
    maxima.reset(new float[n]());
    minima.reset(new float[n]());
    setDirty(true);
}

void CSampleDisplayVl_c::create(const std::atomic<WaveSample_c*>* sample, CColor play, CColor beforeStart,
                                CColor loop)
{
    create(static_cast<WaveSample_c**>(nullptr), play, beforeStart, loop);
    sharedSamplePtr = sample;
}

WaveSample_c* CSampleDisplayVl_c::currentSample() const
{
    if (sharedSamplePtr)
        return sharedSamplePtr->load();
    return samplePtr ? *samplePtr : nullptr;
}

void CSampleDisplayVl_c::getStartEndDisplayed(float* start, float* end) const
{
    const SampleView::Range r = SampleView::visible(DispValue(Zoom), DispValue(Scroll), width, frames, rate);
    if (start)
        *start = static_cast<float>(r.start);
    if (end)
        *end = static_cast<float>(r.end);
}

void CSampleDisplayVl_c::SamColorAt(double time, CColor* colour) const
{
    const double startPoint = DispValue(StartPoint) * length;
    const double loopStart = DispValue(LoopStart) * length;
    const double loopEnd = DispValue(LoopEnd) * length;
    if (time < startPoint)
        *colour = beforeStartColour;
    else if (time < loopStart)
        *colour = playColour;
    else if (time < loopEnd)
        *colour = loopColour;
    else
        *colour = playColour;
}

// ------------------------------------------------------------- drawing

void CSampleDisplayVl_c::draw(CDrawContext* context)
{
    CControlVx::draw(context);
    if (background)
        background->drawOpaque(context, size, backPoint);
    if (!maxima)
        return; // never given a sample: the background only
    if (!currentSample()) {
        frames = 0; // no sample: nothing to click on either
        return;
    }
    if (!drawCurrentSample(context) && !retryTimer) {
        retryTimer = new CVSTGUITimer(this, RetryMs);
        if (!retryTimer->start())
            dropTimer(retryTimer); // in no frame: nothing would fire it
    }
}

bool CSampleDisplayVl_c::drawCurrentSample(CDrawContext* context)
{
    WaveSample_c* s = currentSample();
    if (!s->lock.getImmediateReadPermission())
        return false;
    struct Hold
    {
        Lock_c& lock;
        ~Hold() { lock.releaseReadPermission(); }
    } hold{s->lock};
    if (currentSample() != s)
        return false; // swapped while the lock was taken
    if (!s->left || s->frames <= 0) {
        frames = 0; // emptied: no waveform and no stale length for the mouse
        return true;
    }
    rate = static_cast<float>(s->sampleRate);
    frames = s->frames;
    length = so_ddiv(frames, rate);
    if (!(rate > MinRate) || frames < 1)
        return true;
    const SampleView::Range r = SampleView::visible(DispValue(Zoom), DispValue(Scroll), width, frames, rate);
    duration = r.end - r.start;
    data = s->left;
    drawSample(r.start, duration);
    drawAllMinMax(context, r.start, duration);
    drawLoopPoints(context, r.start, duration);
    data = nullptr;
    return true;
}

void CSampleDisplayVl_c::drawSample(double start, double shown)
{
    SampleView::columns(data, frames, rate, start, shown, width, maxima.get(), minima.get());
}

void CSampleDisplayVl_c::getMaxMin(int column, double from, double to)
{
    if (data && column >= 0 && column < width)
        SampleView::columnMaxMin(data, frames, from, to, &maxima[column], &minima[column]);
}

void CSampleDisplayVl_c::line(CDrawContext* context, int x1, int y1, int x2, int y2, CColor colour)
{
    context->setFrameColor(colour);
    context->drawLine(CPoint(x1, y1), CPoint(x2, y2));
}

void CSampleDisplayVl_c::drawAllMinMax(CDrawContext* context, double start, double shown)
{
    const double yc = size.top + (size.bottom - 1 - size.top) * 0.5;
    const double h = (size.bottom - 1 - size.top) * 0.5 - 1.0;
    // A scrolled view continues the column before it; at the start it rises
    // from the centre line.
    float prevTop = 0.f;
    float prevBottom = 0.f;
    if (DispValue(Scroll) > 0.f && width > 0) {
        prevTop = maxima[0];
        prevBottom = minima[0];
    }
    for (int j = 0; j < width; ++j) {
        // Each bar reaches its neighbour's far end, so the columns join.
        const float t = std::clamp(std::max(maxima[j], prevBottom), -1.f, 1.f);
        const float b = std::clamp(std::min(minima[j], prevTop), -1.f, 1.f);
        CColor c;
        SamColorAt(start + so_ddiv(j * shown, width), &c);
        drawColor = c;
        context->setFrameColor(c);
        const int x = size.left + j;
        if (j & 1)
            context->drawPoint(CPoint(x, static_cast<int>(yc)), c); // the dotted centre line
        drawMinMax(context, x, static_cast<int>(yc - b * h), static_cast<int>(yc - t * h), c);
        prevTop = t;
        prevBottom = b;
    }
}

int CSampleDisplayVl_c::pixelOf(double time, double start, double shown) const
{
    return static_cast<int>(so_ddiv(time - start, shown) * size.width() * MarkerScale);
}

void CSampleDisplayVl_c::drawLoopPoints(CDrawContext* context, double start, double shown)
{
    if (!(shown > 0.0))
        return;
    const double e = start + shown;
    const int lastColumn = size.width() - 1;
    const double startPoint = DispValue(StartPoint) * length;
    const double loopStart = DispValue(LoopStart) * length;
    const double loopEnd = DispValue(LoopEnd) * length;
    const struct
    {
        double time;
        CColor colour;
    } lines[] = {{startPoint, StartMarker}, {loopStart, LoopStartMarker}, {loopEnd, LoopEndMarker}};
    for (const auto& marker : lines) {
        if (marker.time < start || marker.time > e)
            continue;
        const int x = size.left + pixelOf(marker.time, start, shown);
        line(context, x, size.top + MarkerTop, x, size.bottom - 1, marker.colour);
    }
    // The crossfade reaches as far on both sides of the loop start and of
    // the loop end; its box shows where it meets the view.
    const double fade = DispValue(Crossfade) * length;
    for (const auto& point : {lines[1], lines[2]}) {
        const double from = point.time - fade;
        const double to = point.time + fade;
        if (to < start || from > e)
            continue;
        const int x1 = size.left + std::clamp(pixelOf(std::max(from, start), start, shown), 0, lastColumn);
        const int x2 = size.left + std::clamp(pixelOf(std::min(to, e), start, shown), 0, lastColumn);
        const int y1 = size.top + MarkerTop;
        const int y2 = size.top + CrossfadeBoxBottom;
        line(context, x1, y1, x2, y1, point.colour);
        line(context, x1, y2, x2, y2, point.colour);
        line(context, x1, y1, x1, y2, point.colour);
        line(context, x2, y1, x2, y2, point.colour);
    }
}

CMessageResult CSampleDisplayVl_c::notify(CBaseObject* sender, const char* message)
{
    if (message && std::strcmp(message, kMsgTimer) == 0 && retryTimer && sender == retryTimer) {
        dropTimer(retryTimer);
        setDirty(true);
        return kMessageNotified;
    }
    return CSampleDisplayBase_c::notify(sender, message);
}

// --------------------------------------------------------------- mouse

double CSampleDisplayVl_c::timeAt(int x) const
{
    return visStart + so_ddiv(x - size.left, size.width()) * (visEnd - visStart);
}

CMouseEventResult CSampleDisplayVl_c::onMouseDown(CPoint& where, const long& buttons)
{
    dragging = true;
    mouseDown = true;
    initOldUserValue();
    if (frames >= 1) {
        // The range stays as it is now until the release.
        const SampleView::Range r = SampleView::visible(DispValue(Zoom), DispValue(Scroll), width, frames, rate);
        visStart = r.start;
        visEnd = r.end;
        const float u = static_cast<float>(so_ddiv(timeAt(where.h), length));
        if (where.v > size.top + CrossfadeZone) {
            activeSlot = StartPoint;
            float best = std::fabs(u - DispValue(StartPoint));
            for (const int slot : {LoopStart, LoopEnd}) {
                const float d = std::fabs(u - DispValue(slot));
                if (d <= best) {
                    best = d;
                    activeSlot = slot;
                }
            }
        } else {
            activeSlot = Crossfade;
        }
        // Start point and loop start on one spot: the side of the click picks.
        if (DispValue(StartPoint) == DispValue(LoopStart) && activeSlot <= LoopStart)
            activeSlot = u < DispValue(StartPoint) ? StartPoint : LoopStart;
    }
    onMouseMoved(where, buttons);
    return kMouseEventHandled;
}

CMouseEventResult CSampleDisplayVl_c::onMouseMoved(CPoint& where, const long& buttons)
{
    if (!dragging)
        return kMouseEventNotHandled;
    if (frames < 1 || !(buttons & AnyButton))
        return kMouseEventHandled;
    float u = static_cast<float>(so_ddiv(timeAt(where.h), length));
    if (activeSlot == Crossfade)
        u -= DispValue(LoopStart);
    rightButton = (buttons & kRButton) != 0;
    lastPoint = where;
    newUserVal01(activeSlot, clamp01(u));
    redrawIfDirty();
    return kMouseEventHandled;
}

CMouseEventResult CSampleDisplayVl_c::onMouseUp(CPoint&, const long&)
{
    if (!dragging)
        return kMouseEventNotHandled;
    dragging = false;
    mouseDown = false;
    return kMouseEventHandled;
}

void CSampleDisplayVl_c::setValue(int editIndex, float v)
{
    CSampleDisplayBase_c::setValue(editIndex, v);
    if (!dragging)
        setUserValue(editIndex, clamp01(v));
}

void CSampleDisplayVl_c::setValue(float v)
{
    CSampleDisplayBase_c::setValue(v);
}
