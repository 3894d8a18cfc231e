#include "PanelQueue.h"

#include "OsLib.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <sys/types.h>
#include <utility>

namespace {

// How often a panel being closed is told again to go.
constexpr int CloseRetryMs = 50;

} // namespace

PanelQueue_c::~PanelQueue_c()
{
    stop();
}

void PanelQueue_c::tell(std::string title, std::string message)
{
    queue(Panel_t{std::move(title), std::move(message), false, {}, {}, {}});
}

bool PanelQueue_c::ask(std::string message, std::string title, std::function<void(bool)> answered)
{
    return queue(Panel_t{std::move(title), std::move(message), true, std::move(answered), {}, {}});
}

bool PanelQueue_c::choose(ShowFile_t show, std::function<void(const Tool::Disk::Path_c&)> chosen)
{
    if (!show)
        return false;
    return queue(Panel_t{"File Dialog", "", false, {}, std::move(show), std::move(chosen)});
}

bool PanelQueue_c::queue(Panel_t panel)
{
    std::unique_lock<std::mutex> lock(mutex);
    if (stopped || waiting.size() >= MaxWaiting) {
        lock.unlock();
        std::fprintf(stderr, "%s: %s [not shown]\n", panel.title.c_str(), panel.message.c_str());
        return false;
    }
    waiting.push_back(std::move(panel));
    if (!worker.joinable())
        worker = std::thread([this] { run(); });
    wake.notify_one();
    return true;
}

void PanelQueue_c::run()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return stopped || !waiting.empty(); });
        if (stopped)
            return;
        Panel_t panel = std::move(waiting.front());
        waiting.pop_front();
        showing = true;
        lock.unlock();
        // No lock of anybody's is held while the user looks at the panel.
        std::function<void()> answer;
        if (panel.showFile) {
            Tool::Disk::Path_c path = panel.showFile(&running);
            running = 0;
            if (panel.chosen)
                answer = [chosen = std::move(panel.chosen), path = std::move(path)] { chosen(path); };
        } else {
            const bool yes = OsLib_c::showPanel(panel.title.c_str(), panel.message.c_str(), panel.ask, &running);
            if (panel.ask && panel.answered)
                answer = [answered = std::move(panel.answered), yes] { answered(yes); };
        }
        lock.lock();
        showing = false;
        if (answer && !stopped)
            answers.push_back(std::move(answer));
        wake.notify_all();
    }
}

void PanelQueue_c::deliverAnswers()
{
    for (;;) {
        std::function<void()> answer;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (stopped || answers.empty())
                return;
            answer = std::move(answers.front());
            answers.pop_front();
        }
        // Outside the queue's lock: what the answer does may raise a panel.
        answer();
    }
}

void PanelQueue_c::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopped = true;
        waiting.clear();
        answers.clear();
    }
    wake.notify_all();
    if (!worker.joinable() || worker.get_id() == std::this_thread::get_id())
        return;
    {
        // A panel on screen would keep the thread for as long as the user
        // lets it stand: it is closed (again, should its program only just
        // be starting).
        std::unique_lock<std::mutex> lock(mutex);
        while (showing) {
            if (const int pid = running.load(); pid > 0)
                ::kill(static_cast<pid_t>(pid), SIGTERM);
            wake.wait_for(lock, std::chrono::milliseconds(CloseRetryMs));
        }
    }
    worker.join();
}

bool PanelQueue_c::busy() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return showing || !waiting.empty() || !answers.empty();
}

bool PanelQueue_c::waitShown(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex);
    return wake.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                         [this] { return stopped || (!showing && waiting.empty()); });
}
