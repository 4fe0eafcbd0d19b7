#include "DebugLog.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace cx {

namespace {
std::mutex sinkLock;
DebugSink currentSink;  // guarded by sinkLock
}  // namespace

void debugOutput(std::string_view text)
{
    std::lock_guard lock(sinkLock);
    if (currentSink) {
        currentSink(text);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stderr);
}

DebugSink setDebugSink(DebugSink sink)
{
    std::lock_guard lock(sinkLock);
    return std::exchange(currentSink, std::move(sink));
}

}  // namespace cx
