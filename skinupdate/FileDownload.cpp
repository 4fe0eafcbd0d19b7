#include "FileDownload.h"

#include <curl/curl.h>

#include <cstdio>
#include <mutex>
#include <system_error>

#include <unistd.h>

namespace cx {

namespace {

size_t writeData(char* data, size_t size, size_t count, void* file)
{
    return std::fwrite(data, size, count, static_cast<FILE*>(file)) * size;
}

bool isCancelled(const DownloadHooks& hooks)
{
    return hooks.cancelled && hooks.cancelled();
}

int progressed(void* hooks, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto* h = static_cast<const DownloadHooks*>(hooks);
    if (isCancelled(*h)) return 1;  // libcurl ends the transfer with CURLE_ABORTED_BY_CALLBACK
    if (h->progress) h->progress();
    return 0;
}

// Runs the transfer in short waits so a cancel is seen even while the
// server sends nothing; CURLE_ABORTED_BY_CALLBACK when cancelled.
CURLcode perform(CURL* curl, const DownloadHooks& hooks)
{
    CURLM* multi = curl_multi_init();
    if (multi == nullptr) return CURLE_OUT_OF_MEMORY;
    CURLcode result = CURLE_FAILED_INIT;
    if (curl_multi_add_handle(multi, curl) == CURLM_OK) {
        bool finished = false;
        while (!finished) {
            if (isCancelled(hooks)) {
                result = CURLE_ABORTED_BY_CALLBACK;
                break;
            }
            int running = 0;
            if (curl_multi_perform(multi, &running) != CURLM_OK) break;
            int queued = 0;
            while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
                if (msg->msg == CURLMSG_DONE && msg->easy_handle == curl) {
                    result = msg->data.result;
                    finished = true;
                }
            }
            if (!finished && curl_multi_poll(multi, nullptr, 0, waitSliceMs, nullptr) != CURLM_OK) break;
        }
        curl_multi_remove_handle(multi, curl);
    }
    curl_multi_cleanup(multi);
    return result;
}

}  // namespace

bool downloadFile(const std::string& url, const std::filesystem::path& target, const DownloadHooks& hooks,
                  const DownloadTimeouts& timeouts)
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (hooks.progress) hooks.progress();

    std::string pattern = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return false;
    const std::filesystem::path temporary = pattern;
    FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        ::close(fd);
        std::filesystem::remove(temporary);
        return false;
    }

    CURL* curl = curl_easy_init();
    CURLcode result = CURLE_FAILED_INIT;
    long status = 0;
    if (curl != nullptr) {
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, timeouts.connectMs);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, timeouts.lowSpeedBytes);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, timeouts.lowSpeedSeconds);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        // A cancel during a slow name lookup must not wait for the resolver.
        curl_easy_setopt(curl, CURLOPT_QUICK_EXIT, 1L);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeData);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, file);
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, progressed);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &hooks);
        result = perform(curl, hooks);
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        curl_easy_cleanup(curl);
    }
    bool ok = result == CURLE_OK && (status == 0 || (status >= 200 && status < 300));
    // Only a file that will be kept is worth syncing.
    if (ok) ok = std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0;
    std::fclose(file);

    if (ok && hooks.accept) ok = hooks.accept(temporary);
    std::error_code ec;
    if (ok) {
        std::filesystem::rename(temporary, target, ec);
        ok = !ec;
    }
    if (!ok) std::filesystem::remove(temporary, ec);
    return ok;
}

}  // namespace cx
