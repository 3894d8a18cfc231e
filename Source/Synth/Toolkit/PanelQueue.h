// PanelQueue_c: messages, questions and file choices to the user, shown one
// after another
// on a thread of the queue's own, so that whoever raises one never waits for
// the user. A host call, the idle work and every holder of an engine lock
// queue their panel and go on; the panel thread holds no lock of anybody's
// while a panel is up.
//
// A question's answer (and a file choice's path) comes back through
// deliverAnswers(), which the owner
// calls from its own idle work (the engine: SynthIdle, under its lock), so
// what the answer does runs where the rest of the engine's work runs, never
// on the panel thread.
//
// Threads: tell and ask from any thread but the audio thread; deliverAnswers
// from the owner's idle thread; stop (and the destructor) from the owner's
// closing thread. The panel thread starts with the first panel.
#pragma once

#include "Capacities.h"
#include "Path.h"

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

    // Shows a file dialog on the panel thread and answers the chosen path;
    // running (when not null) is to hold the dialog program's process id
    // while it runs, so that stop can close it.
    using ShowFile_t = std::function<Tool::Disk::Path_c(std::atomic<int>* running)>;

    // A message with an "OK" button; returns at once.
    void tell(std::string title, std::string message);
    // A question with "Yes" and "No"; returns at once. answered(yes) runs
    // later inside deliverAnswers, once the user answered (a panel that
    // cannot be shown answers No). Never called after stop. False when the
    // question was not queued (stopped or too many waiting): answered will
    // never run.
    bool ask(std::string message, std::string title, std::function<void(bool)> answered);
    // A file choice; returns at once. show runs on the panel thread with no
    // lock of the caller's held; chosen(path) runs later inside
    // deliverAnswers (the empty path: cancelled). Never called after stop.
    // False when not queued: chosen will never run.
    bool choose(ShowFile_t show, std::function<void(const Tool::Disk::Path_c&)> chosen);
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
        // Set for a file choice (title and message then stay empty).
        ShowFile_t showFile;
        std::function<void(const Tool::Disk::Path_c&)> chosen;
    };

    bool queue(Panel_t panel);
    void run();

    mutable std::mutex mutex;
    std::condition_variable wake;
    std::deque<Panel_t> waiting;
    // What the answers given so far do, bound to their answers.
    std::deque<std::function<void()>> answers;
    bool showing = false;
    bool stopped = false;
    std::thread worker;
    // The panel program on screen (its process id), 0 when none.
    std::atomic<int> running{0};
};
