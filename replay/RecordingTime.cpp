#include "RecordingTime.h"

#include <cstdio>
#include <ctime>

#include "RecordingReader.h"

namespace cx {

std::optional<RecordingStart> parseRecordingName(const std::string& fileName)
{
    RecordingStart s;
    int used = 0;
    if (std::sscanf(fileName.c_str(), "Date_%2d_%2d_%4d_Time_%2d_%2d_%2d%n", &s.day, &s.month, &s.year, &s.hour,
                    &s.minute, &s.second, &used) != 6 ||
        used != 29)
        return std::nullopt;
    if (s.day < 1 || s.day > 31 || s.month < 1 || s.month > 12 || s.hour > 23 || s.minute > 59 || s.second > 60 ||
        s.hour < 0 || s.minute < 0 || s.second < 0)
        return std::nullopt;
    return s;
}

int64_t recordingStartMs(const RecordingStart& start)
{
    std::tm t{};
    t.tm_year = start.year - 1900;
    t.tm_mon = start.month - 1;
    t.tm_mday = start.day;
    t.tm_hour = start.hour;
    t.tm_min = start.minute;
    t.tm_sec = start.second;
    t.tm_isdst = -1;  // the name holds local time, summer or winter
    return static_cast<int64_t>(std::mktime(&t)) * 1000;
}

std::string localTimeText(int64_t wallMs)
{
    // Whole seconds down, also before 1970.
    const int64_t seconds = wallMs >= 0 ? wallMs / 1000 : -((-wallMs + 999) / 1000);
    const auto at = static_cast<time_t>(seconds);
    std::tm out{};
    localtime_r(&at, &out);
    char text[80];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", out.tm_mday, out.tm_mon + 1, out.tm_year + 1900,
                  out.tm_hour, out.tm_min, out.tm_sec);
    return text;
}

std::string frameTimeText(const RecordingStart& start, int64_t position)
{
    return localTimeText(recordingStartMs(start) + position * 1000 / recordingRate);
}

}  // namespace cx
