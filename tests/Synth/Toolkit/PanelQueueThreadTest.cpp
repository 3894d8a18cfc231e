// The panel queue: whoever raises a panel goes on at once, panels come up
// one after another in the order raised, answers act only where the owner
// delivers them (in order, on its thread), a flood stops at the cap, and a
// stopped queue shows and answers nothing more.
#include "OsLib.h"
#include "PanelQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// A user who looks at each panel until let go, and answers the questions
// whose text ends in "?" with Yes.
class HeldPanels
{
public:
    HeldPanels()
    {
        OsLib_c::setPanelHook([this](const std::string& title, const std::string& message, bool) {
            std::unique_lock<std::mutex> lock(mutex);
            shown.push_back(title + ": " + message);
            changed.notify_all();
            changed.wait(lock, [this] { return released; });
            return !message.empty() && message.back() == '?';
        });
    }
    ~HeldPanels()
    {
        release();
        OsLib_c::setPanelHook({});
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(mutex);
        released = true;
        changed.notify_all();
    }
    bool waitShown(size_t n)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(5), [&] { return shown.size() >= n; });
    }
    std::vector<std::string> list()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return shown;
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> shown;
    bool released = false;
};

} // namespace

TEST(PanelQueue, RaisingNeverWaitsAndAnswersActWhereTheyAreDelivered)
{
    HeldPanels user;
    PanelQueue_c panels;
    std::vector<std::string> acted;
    const std::thread::id owner = std::this_thread::get_id();
    auto note = [&](const char* what) {
        return [&, what](bool yes) {
            EXPECT_EQ(std::this_thread::get_id(), owner) << "answers act on the owner's thread";
            acted.push_back(std::string(what) + (yes ? " yes" : " no"));
        };
    };
    // All raised while the first panel is still up.
    panels.tell("Load Error", "format mismatch");
    panels.ask("Clear the sample?", "Clear Sample", note("clear"));
    panels.ask("Not a question", "Odd", note("odd"));
    ASSERT_TRUE(user.waitShown(1));
    EXPECT_EQ(user.list().size(), 1u) << "one panel at a time";
    panels.deliverAnswers();
    EXPECT_TRUE(acted.empty()) << "nothing answered yet";
    user.release();
    ASSERT_TRUE(panels.waitShown(5000));
    EXPECT_EQ(user.list(), (std::vector<std::string>{"Load Error: format mismatch", "Clear Sample: Clear the sample?",
                                                     "Odd: Not a question"}));
    EXPECT_TRUE(acted.empty()) << "answers wait for the owner";
    EXPECT_TRUE(panels.busy());
    panels.deliverAnswers();
    EXPECT_EQ(acted, (std::vector<std::string>{"clear yes", "odd no"}));
    EXPECT_FALSE(panels.busy());
}

TEST(PanelQueue, AFloodStopsAtTheCapAndAStoppedQueueShowsNothingMore)
{
    HeldPanels user;
    PanelQueue_c panels;
    int answered = 0;
    panels.ask("First?", "Held", [&](bool) { ++answered; });
    ASSERT_TRUE(user.waitShown(1));
    for (size_t i = 0; i < PanelQueue_c::MaxWaiting + 10; ++i)
        panels.tell("Flood", std::to_string(i));
    user.release();
    ASSERT_TRUE(panels.waitShown(5000));
    EXPECT_EQ(user.list().size(), 1 + PanelQueue_c::MaxWaiting);

    panels.ask("Late?", "Late", [&](bool) { ++answered; });
    ASSERT_TRUE(panels.waitShown(5000));
    panels.stop();
    panels.deliverAnswers();
    EXPECT_EQ(answered, 0) << "no answer acts after the stop";
    panels.tell("After", "stop");
    EXPECT_EQ(user.list().size(), 2 + PanelQueue_c::MaxWaiting);
    EXPECT_FALSE(panels.busy());
}
