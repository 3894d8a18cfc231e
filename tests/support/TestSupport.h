// Small helpers shared by the tests.
#pragma once

#include <functional>
#include <string>

namespace TestSupport {

// A fresh folder under $TMPDIR (or /tmp) that is removed with everything in it
// when the object goes out of scope.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string file(const std::string& name) const;

private:
    std::string path_;
};

// Sets (or, with a null value, unsets) an environment variable for the
// object's lifetime and restores the previous state afterwards.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::string old_;
    bool hadOld_ = false;
};

// Whole-file helpers for fixtures.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

// Makes a named pipe at path (true when made). Opening it for reading waits
// for a writer for ever: the readers under test must never do that.
bool makeFifo(const std::string& path);
// Runs work on a thread of its own and answers whether it returned within
// seconds. When it did not (it hangs in an open of the pipe at fifo), the
// pipe is given a writer until the work ends, so a failing test still
// finishes, and the answer is false.
bool returnsWithoutWaitingOn(const std::string& fifo, const std::function<void()>& work, double seconds = 5.0);

// Lets a panel queue (PanelQueue_c) show what was queued and runs what the
// answers do, as the engine's idle rounds do, until nothing is left (answers
// may queue further panels). False when the panels did not close in time.
template <class Panels>
bool answerPanels(Panels& panels, int rounds = 20)
{
    for (int i = 0; i < rounds && panels.busy(); ++i) {
        if (!panels.waitShown(5000))
            return false;
        panels.deliverAnswers();
    }
    return !panels.busy();
}

} // namespace TestSupport
