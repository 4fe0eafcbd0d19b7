#include "FfmpegLog.h"

#include <cstdarg>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

#include "DebugLog.h"

namespace cx {

namespace {

void logLine(void* avClass, int level, const char* format, va_list arguments)
{
    if (level > AV_LOG_WARNING || !debugEnabled()) return;
    char line[1024];
    int prefix = 1;
    av_log_format_line2(avClass, level, format, arguments, line, sizeof line, &prefix);
    debugOutput("ffmpeg: " + withoutCredentials(line));
}

}  // namespace

std::string withoutCredentials(std::string text)
{
    size_t from = 0;
    for (;;) {
        const size_t scheme = text.find("://", from);
        if (scheme == std::string::npos) return text;
        const size_t start = scheme + 3;
        const size_t end = text.find_first_of("/ \t\r\n\"'", start);
        const size_t at = text.rfind('@', end == std::string::npos ? text.size() - 1 : end - 1);
        if (at != std::string::npos && at >= start && (end == std::string::npos || at < end))
            text.erase(start, at + 1 - start);
        from = start;
    }
}

void routeFfmpegLog()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(&logLine); });
}

}  // namespace cx
