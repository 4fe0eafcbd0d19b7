#include "FileStamp.h"

#include <cstdio>
#include <ctime>

namespace cx {

std::string dateTimeStamp(int64_t seconds)
{
    ::tzset();
    const auto t = static_cast<std::time_t>(seconds);
    std::tm local{};
    ::localtime_r(&t, &local);
    char text[64];
    std::snprintf(text, sizeof text, "Date_%02d_%02d_%02d_Time_%02d_%02d_%02d", local.tm_mday, local.tm_mon + 1,
                  local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

}  // namespace cx
