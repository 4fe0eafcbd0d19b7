#pragma once
// The time of day a recording's frame shows: the start in the file name
// (Date_DD_MM_YYYY_Time_HH_MM_SS.avi, a numbered variant allowed) plus the
// frame's sample position at 15 a second.

#include <cstdint>
#include <optional>
#include <string>

namespace cx {

struct RecordingStart {
    int day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
};

// Nothing when the name does not follow the pattern.
std::optional<RecordingStart> parseRecordingName(const std::string& fileName);

// "DD/MM/YYYY HH:MM:SS" of the frame at `position` (15 a second), rolling
// over midnight into the next day.
std::string frameTimeText(const RecordingStart& start, int64_t position);

}  // namespace cx
