#include "DebugLog.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

namespace cx {

namespace {

std::mutex sinkLock;
DebugSink currentSink;  // guarded by sinkLock

// Read from the environment on first use, so the setting is in place
// before the first line whichever thread writes it.
std::atomic<bool>& enabledFlag()
{
    static std::atomic<bool> enabled{debugRequested(std::getenv("CORVANEX_DEBUG"))};
    return enabled;
}

}  // namespace

bool debugRequested(const char* value)
{
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

void setDebugEnabled(bool enabled)
{
    enabledFlag().store(enabled);
}

bool debugEnabled()
{
    return enabledFlag().load();
}

void debugOutput(std::string_view text)
{
    std::lock_guard lock(sinkLock);
    if (currentSink) {
        currentSink(text);
        return;
    }
    if (debugEnabled()) std::fwrite(text.data(), 1, text.size(), stderr);
}

DebugSink setDebugSink(DebugSink sink)
{
    std::lock_guard lock(sinkLock);
    return std::exchange(currentSink, std::move(sink));
}

}  // namespace cx
