#pragma once

#include <cstdint>
#include <ctime>

namespace cx::test {

// Seconds since 1970 for a local time, whatever the machine's time zone.
inline int64_t localSeconds(int year, int month, int day, int hour, int minute, int second = 0)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&t));
}

}  // namespace cx::test
