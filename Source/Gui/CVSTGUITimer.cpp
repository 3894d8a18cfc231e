#include "CVSTGUITimer.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace {
// Every timer that exists, by address and serial: the serial tells a timer
// from a new one that a notification made at the same address.
struct Registry
{
    std::mutex mutex;
    std::vector<std::pair<CVSTGUITimer*, uint64_t>> timers;
    uint64_t nextSerial = 1;
};
Registry& registry()
{
    static Registry r;
    return r;
}
} // namespace

CVSTGUITimer::CVSTGUITimer(CBaseObject* l, int periodMs) : listener(l), period(periodMs < 1 ? 1 : periodMs)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    serial = r.nextSerial++;
    r.timers.emplace_back(this, serial);
}

CVSTGUITimer::~CVSTGUITimer()
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.timers.erase(std::remove(r.timers.begin(), r.timers.end(), std::make_pair(this, serial)), r.timers.end());
}

bool CVSTGUITimer::start()
{
    due = GuiClock::nowMs() + period;
    running = true;
    return true;
}

bool CVSTGUITimer::stop()
{
    running = false;
    return true;
}

void CVSTGUITimer::fireDue()
{
    Registry& r = registry();
    std::vector<std::pair<CVSTGUITimer*, uint64_t>> snapshot;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        snapshot = r.timers;
    }
    const int64_t now = GuiClock::nowMs();
    for (const auto& entry : snapshot) {
        CVSTGUITimer* t = nullptr;
        {
            std::lock_guard<std::mutex> lock(r.mutex);
            // A notification before this one may have deleted the timer.
            if (std::find(r.timers.begin(), r.timers.end(), entry) != r.timers.end())
                t = entry.first;
        }
        if (!t || !t->running || now < t->due || !t->listener)
            continue;
        t->due = now + t->period;
        t->listener->notify(t, kMsgTimer);
    }
}
