#pragma once
// The local date and time as snapshot and recording file names carry it.

#include <cstdint>
#include <string>

namespace cx {

// "Date_DD_MM_YYYY_Time_HH_MM_SS" for `seconds` since 1970, in local time
// (the time-zone information is read again first).
std::string dateTimeStamp(int64_t seconds);

}  // namespace cx
