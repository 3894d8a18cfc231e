#include "CBaseObject.h"

#include <atomic>
#include <chrono>

const char* const kMsgTimer = "timer";

CMessageResult CBaseObject::notify(CBaseObject*, const char*)
{
    return kMessageUnknown;
}

namespace GuiClock {
namespace {
std::atomic<Source> source{nullptr};
}

int64_t nowMs()
{
    if (Source s = source.load())
        return s();
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void setSource(Source s)
{
    source.store(s);
}
} // namespace GuiClock
