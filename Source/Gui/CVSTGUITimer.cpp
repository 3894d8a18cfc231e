#include "CVSTGUITimer.h"

#include "CFrame.h"

#include <algorithm>
#include <atomic>

namespace {
// Tells a timer from a new one that a notification made at the same address.
std::atomic<uint64_t> nextSerial{1};
} // namespace

void GuiTimerList::add(CVSTGUITimer* timer, uint64_t serial)
{
    std::lock_guard<std::mutex> lock(mutex);
    timers.emplace_back(timer, serial);
}

void GuiTimerList::remove(CVSTGUITimer* timer, uint64_t serial)
{
    std::lock_guard<std::mutex> lock(mutex);
    timers.erase(std::remove(timers.begin(), timers.end(), std::make_pair(timer, serial)), timers.end());
}

bool GuiTimerList::holds(CVSTGUITimer* timer, uint64_t serial)
{
    std::lock_guard<std::mutex> lock(mutex);
    return !closed && std::find(timers.begin(), timers.end(), std::make_pair(timer, serial)) != timers.end();
}

void GuiTimerList::close()
{
    std::lock_guard<std::mutex> lock(mutex);
    closed = true;
}

bool GuiTimerList::isClosed() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return closed;
}

void GuiTimerList::fireDue()
{
    std::vector<std::pair<CVSTGUITimer*, uint64_t>> snapshot;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (closed)
            return;
        snapshot = timers;
    }
    const int64_t now = GuiClock::nowMs();
    for (const auto& [timer, serial] : snapshot) {
        // A notification before this one may have deleted the timer.
        if (!holds(timer, serial))
            continue;
        if (!timer->running || now < timer->due || !timer->listener)
            continue;
        timer->due = now + timer->period;
        timer->listener->notify(timer, kMsgTimer);
    }
}

CVSTGUITimer::CVSTGUITimer(CBaseObject* l, int periodMs, CFrame* frame)
    : listener(l), period(periodMs < 1 ? 1 : periodMs), serial(nextSerial++),
      givenList(frame ? frame->getTimerList() : nullptr)
{
}

CVSTGUITimer::~CVSTGUITimer()
{
    if (list)
        list->remove(this, serial);
}

std::shared_ptr<GuiTimerList> CVSTGUITimer::listOf() const
{
    if (givenList)
        return givenList;
    const auto* view = dynamic_cast<const CView*>(listener);
    CFrame* frame = view ? view->getFrame() : nullptr;
    return frame ? frame->getTimerList() : nullptr;
}

bool CVSTGUITimer::start()
{
    std::shared_ptr<GuiTimerList> target = listOf();
    if (!target || target->isClosed()) {
        running = false;
        return false;
    }
    if (target != list) {
        if (list)
            list->remove(this, serial);
        list = target;
        list->add(this, serial);
    }
    due = GuiClock::nowMs() + period;
    running = true;
    return true;
}

bool CVSTGUITimer::stop()
{
    running = false;
    return true;
}
