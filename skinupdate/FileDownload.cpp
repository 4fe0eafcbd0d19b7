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

int progressed(void* hooks, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto* h = static_cast<const DownloadHooks*>(hooks);
    if (h->progress) h->progress();
    return 0;
}

}  // namespace

bool downloadFile(const std::string& url, const std::filesystem::path& target, const DownloadHooks& hooks)
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
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, 10000L);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeData);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, file);
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, progressed);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &hooks);
        result = curl_easy_perform(curl);
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        curl_easy_cleanup(curl);
    }
    const bool written = std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0;
    std::fclose(file);

    bool ok = result == CURLE_OK && written && (status == 0 || (status >= 200 && status < 300));
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
