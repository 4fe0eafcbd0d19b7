#pragma once
// Downloads a URL into a file with libcurl, on the calling thread (the
// updater runs it on a thread of its own): the data goes to a temporary
// file beside the target, which takes the target's name only when the
// transfer succeeded (HTTP 2xx) and `accept` agrees with what arrived.
// Anything else, a cancel included, leaves the target as it was.

#include <filesystem>
#include <functional>
#include <string>

namespace cx {

struct DownloadHooks {
    // Called on the downloading thread while the transfer runs (start and
    // every progress report); must not block.
    std::function<void()> progress;
    // Checks the complete temporary file; null accepts everything.
    std::function<bool(const std::filesystem::path& file)> accept;
    // Asked by the transfer's progress callback and between its waits
    // (every waitSliceMs at least); true ends the transfer as failed.
    std::function<bool()> cancelled;
};

// A server that stops answering ends the transfer by itself: no connection
// within connectMs, or fewer than lowSpeedBytes a second for lowSpeedSeconds.
struct DownloadTimeouts {
    long connectMs = 10000;
    long lowSpeedBytes = 1;
    long lowSpeedSeconds = 20;
};

inline constexpr int waitSliceMs = 50;

bool downloadFile(const std::string& url, const std::filesystem::path& target, const DownloadHooks& hooks,
                  const DownloadTimeouts& timeouts = {});

}  // namespace cx
