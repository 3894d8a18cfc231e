// PanelQueue_c: messages and questions to the user, shown one after another
// on a thread of the queue's own, so that whoever raises one never waits for
// the user. A host call, the idle work and every holder of an engine lock
// queue their panel and go on; the panel thread holds no lock of anybody's
// while a panel is up.
//
// A question's answer comes back through deliverAnswers(), which the owner
// calls from its own idle work (the engine: SynthIdle, under its lock), so
// what the answer does runs where the rest of the engine's work runs, never
// on the panel thread.
//
// Threads: tell and ask from any thread but the audio thread; deliverAnswers
// from the owner's idle thread; stop (and the destructor) from the owner's
// closing thread. The panel thread starts with the first panel.
#pragma once

#include "Capacities.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class PanelQueue_c
{
public:
    // Panels waiting beyond this many (a full command ring's worth) are not
    // queued; they go to the standard error stream instead.
    static constexpr std::size_t MaxWaiting = CmdBufferSize;

    PanelQueue_c() = default;
    ~PanelQueue_c();
    PanelQueue_c(const PanelQueue_c&) = delete;
    PanelQueue_c& operator=(const PanelQueue_c&) = delete;

    // A message with an "OK" button; returns at once.
    void tell(std::string title, std::string message);
    // A question with "Yes" and "No"; returns at once. answered(yes) runs
    // later inside deliverAnswers, once the user answered (a panel that
    // cannot be shown answers No). Never called after stop.
    void ask(std::string message, std::string title, std::function<void(bool)> answered);
    // Runs what the answers given so far do, in the order they were given.
    void deliverAnswers();
    // The panel on screen is closed, the waiting ones are dropped without
    // their answers, and the thread ends. Nothing is queued afterwards.
    void stop();
    // Panels waiting or showing, and answers not delivered yet.
    bool busy() const;
    // Waits up to timeoutMs until every panel queued so far was shown and
    // closed; true when they were. For tests and tools, never the engine.
    bool waitShown(int timeoutMs);

private:
    struct Panel_t
    {
        std::string title;
        std::string message;
        bool ask = false;
        std::function<void(bool)> answered;
    };
    struct Answer_t
    {
        std::function<void(bool)> answered;
        bool yes = false;
    };

    void queue(Panel_t panel);
    void run();

    mutable std::mutex mutex;
    std::condition_variable wake;
    std::deque<Panel_t> waiting;
    std::deque<Answer_t> answers;
    bool showing = false;
    bool stopped = false;
    std::thread worker;
    // The panel program on screen (its process id), 0 when none.
    std::atomic<int> running{0};
};
