// CVSTGUITimer: a periodic timer that sends kMsgTimer to its listener. It
// never runs on a thread of its own: the editor's idle pass fires the due
// timers (fireDue), so a timer's notification runs where the rest of the
// editor runs. A timer may be stopped or deleted inside its own notification.
// Thread: the user-interface thread (the idle pass).
#pragma once

#include "CBaseObject.h"

#include <cstdint>

class CVSTGUITimer : public CBaseObject
{
public:
    CVSTGUITimer(CBaseObject* listener, int periodMs);
    ~CVSTGUITimer() override;
    CVSTGUITimer(const CVSTGUITimer&) = delete;
    CVSTGUITimer& operator=(const CVSTGUITimer&) = delete;

    // The first notification comes one period after start.
    bool start();
    bool stop();
    bool isRunning() const { return running; }
    int getPeriod() const { return period; }

    // Notifies every running timer whose time has come, each at most once.
    static void fireDue();

private:
    CBaseObject* listener;
    int period;
    bool running = false;
    int64_t due = 0;
    uint64_t serial;
};
