// CBaseObject: the reference-counted base of every object of the GUI layer,
// with the one message channel (notify) that timers and menus use.
// Thread: the user-interface thread (the editor's idle pass).
#pragma once

#include <atomic>
#include <cstdint>

enum CMessageResult
{
    kMessageUnknown = 0,
    kMessageNotified = 1,
};

// The message a timer sends to its listener.
extern const char* const kMsgTimer;

class CBaseObject
{
public:
    CBaseObject() = default;
    CBaseObject(const CBaseObject&) {}
    CBaseObject& operator=(const CBaseObject&) { return *this; }
    virtual ~CBaseObject() = default;

    // Takes one more reference.
    void remember() { ++refCount; }
    // Drops one reference; the object deletes itself when none is left.
    void forget()
    {
        if (--refCount <= 0)
            delete this;
    }
    int getNbReference() const { return refCount.load(); }

    virtual CMessageResult notify(CBaseObject* sender, const char* message);

private:
    // Atomic: pictures of the shared store are held by editors that may run
    // their idle passes on different threads.
    std::atomic<int> refCount{1};
};

// The layer's millisecond clock (monotonic). Tests put their own clock in its
// place to run double clicks and repeats without waiting.
namespace GuiClock {
using Source = int64_t (*)();
int64_t nowMs();
// nullptr restores the system clock.
void setSource(Source source);
} // namespace GuiClock
