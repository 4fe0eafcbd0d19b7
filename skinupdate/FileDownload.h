#pragma once
// Downloads a URL into a file with libcurl, synchronously: the data goes to
// a temporary file beside the target, which takes the target's name only
// when the transfer succeeded (HTTP 2xx) and `accept` agrees with what
// arrived. Anything else leaves the target as it was.

#include <filesystem>
#include <functional>
#include <string>

namespace cx {

struct DownloadHooks {
    // Called while the transfer runs (start and every progress report).
    std::function<void()> progress;
    // Checks the complete temporary file; null accepts everything.
    std::function<bool(const std::filesystem::path& file)> accept;
};

bool downloadFile(const std::string& url, const std::filesystem::path& target, const DownloadHooks& hooks);

}  // namespace cx
