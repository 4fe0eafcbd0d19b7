#pragma once
// The debug-output channel (database statements and other diagnostics).
// Off unless asked for: the environment variable CORVANEX_DEBUG set to a
// non-empty value other than "0" turns it on at start, setDebugEnabled at
// any time. When on, lines go to standard error; an installed sink (tests)
// receives every line whether the channel is on or not. Thread-safe.

#include <functional>
#include <string_view>

namespace cx {

using DebugSink = std::function<void(std::string_view)>;

// Writes `text` as it is (callers add their own line ends).
void debugOutput(std::string_view text);

// Installs a sink and returns the previous one; an empty sink restores stderr.
DebugSink setDebugSink(DebugSink sink);

void setDebugEnabled(bool enabled);
bool debugEnabled();

// Whether a value of CORVANEX_DEBUG asks for debug output (null: unset).
bool debugRequested(const char* value);

}  // namespace cx
