// CVSTGUITimer: a periodic timer that sends kMsgTimer to its listener. It
// never runs on a thread of its own: each frame keeps the list of its own
// timers and its idle pass fires the due ones (CFrame::fireTimers), so a
// timer's notification runs inside the pass of the editor it belongs to,
// under that editor's lock, and never in another editor's pass. A timer may
// be stopped or deleted inside its own notification.
// Thread: the user-interface thread (the idle pass of its frame).
#pragma once

#include "CBaseObject.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

class CFrame;
class CVSTGUITimer;

// The timers of one frame. Shared with the timers in it, so a timer that
// outlives its frame (held elsewhere) still leaves a valid list behind.
class GuiTimerList
{
public:
    // Notifies every running timer of the list whose time has come, each at
    // most once.
    void fireDue();
    // The frame goes: its timers stay quiet from now on.
    void close();
    bool isClosed() const;

private:
    friend class CVSTGUITimer;
    void add(CVSTGUITimer* timer, uint64_t serial);
    void remove(CVSTGUITimer* timer, uint64_t serial);
    bool holds(CVSTGUITimer* timer, uint64_t serial);

    mutable std::mutex mutex;
    std::vector<std::pair<CVSTGUITimer*, uint64_t>> timers;
    bool closed = false;
};

class CVSTGUITimer : public CBaseObject
{
public:
    // frame: the frame whose idle pass fires the timer; without one the
    // timer belongs to its listener's frame when the listener is a view
    // (every control's timers), looked up when the timer starts.
    CVSTGUITimer(CBaseObject* listener, int periodMs, CFrame* frame = nullptr);
    ~CVSTGUITimer() override;
    CVSTGUITimer(const CVSTGUITimer&) = delete;
    CVSTGUITimer& operator=(const CVSTGUITimer&) = delete;

    // The first notification comes one period after start. False (and the
    // timer stays quiet) when no frame can be found for it.
    bool start();
    bool stop();
    bool isRunning() const { return running; }
    int getPeriod() const { return period; }

private:
    friend class GuiTimerList;
    std::shared_ptr<GuiTimerList> listOf() const;

    CBaseObject* listener;
    int period;
    bool running = false;
    int64_t due = 0;
    uint64_t serial;
    std::shared_ptr<GuiTimerList> givenList; // of the frame given at construction
    std::shared_ptr<GuiTimerList> list;      // the list the timer is in, if any
};
