#pragma once
// The debug-output channel (database statements and other diagnostics).
// Goes to standard error unless a sink is installed; thread-safe.

#include <functional>
#include <string_view>

namespace cx {

using DebugSink = std::function<void(std::string_view)>;

// Writes `text` as it is (callers add their own line ends).
void debugOutput(std::string_view text);

// Installs a sink and returns the previous one; an empty sink restores stderr.
DebugSink setDebugSink(DebugSink sink);

}  // namespace cx
