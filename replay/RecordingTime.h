#pragma once
// Times of day around a recording: the start in its file name
// (Date_DD_MM_YYYY_Time_HH_MM_SS.avi or .mkv, a numbered variant allowed),
// and the text a frame's time is shown with.

#include <cstdint>
#include <optional>
#include <string>

namespace cx {

struct RecordingStart {
    int day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
};

// Nothing when the name does not follow the pattern.
std::optional<RecordingStart> parseRecordingName(const std::string& fileName);

// The name's local time in milliseconds since 1970.
int64_t recordingStartMs(const RecordingStart& start);

// "DD/MM/YYYY HH:MM:SS", the local time of `wallMs` (milliseconds since 1970).
std::string localTimeText(int64_t wallMs);

// The estimate for files without frame times: the start in the name plus
// the frame's sample position at 15 a second.
std::string frameTimeText(const RecordingStart& start, int64_t position);

}  // namespace cx
