#pragma once
// The weekly recording timetable and the one-second tick that opens and
// closes the scheduled recordings by it.
//
// The timetable lives in two files of the program folder: hours.txt, a list
// of time labels ("08:30"), and hours.dat, which picks for each day of the
// week one label as the start and one as the end of that day's window.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "CameraTable.h"

namespace cx {

class AppState;
class Clock;

inline constexpr const char* weekScheduleFileName = "hours.dat";
inline constexpr const char* hourLabelsFileName = "hours.txt";
inline constexpr int weekScheduleSize = 14;  // start and end index for Monday .. Sunday
inline constexpr int weekScheduleFileSize = weekScheduleSize * 4;
inline constexpr int hourLabelCount = 128;

// For each day, Monday first: start index, end index into HourLabels.
struct WeekSchedule {
    std::array<int32_t, weekScheduleSize> index{};
};

// Line k+1 of hours.txt is entry k.
using HourLabels = std::array<std::string, hourLabelCount>;

struct ScheduleTable {
    WeekSchedule week;
    HourLabels labels;
};

// Reads both files; what cannot be read keeps its default (indexes 0, labels
// empty). A short hours.dat keeps the whole values it holds; bytes after the
// fourteenth value are ignored. hours.txt lines end at LF, trailing CRs are
// dropped, lines after the 128th are ignored. Never reports anything.
ScheduleTable loadSchedule(const std::filesystem::path& programFolder);

// Writes both files in the format loadSchedule reads, each through a
// temporary file in the same folder that is synced and renamed over the old
// one. Labels are written up to the last non-empty one. False when a file
// could not be written or a label holds a CR or LF (it would not read back
// as one line).
bool saveSchedule(const std::filesystem::path& programFolder, const ScheduleTable& table);

// Minutes after midnight a label stands for: the first two characters give
// the hour, the last two the minutes, each read with textToInt ("8:30" is
// 8 h from "8:" and 30 min; "" is 0).
int labelMinutes(const std::string& label);

struct DayWindow {
    int startMinute = 0;
    // Already moved past midnight (+1440) when before the start. Labels may
    // read as hours beyond 23 ("38:00"), so it can still be before the
    // start: such a window is never open.
    int endMinute = 0;
    bool contains(int minute) const { return startMinute <= minute && minute <= endMinute; }
};

// The window of a row (0 = Monday .. 6 = Sunday). An index outside
// HourLabels closes the day: nothing records that day rather than
// guessing a label, so a damaged hours.dat cannot start recordings.
std::optional<DayWindow> dayWindow(const ScheduleTable& table, int row);

// What the tick does to the outside world.
class ScheduleActions {
public:
    virtual ~ScheduleActions() = default;
    // Opens the slot's recording file; `relativePath` is taken from the
    // program folder.
    virtual void openRecording(int slot, const std::string& relativePath) = 0;
    virtual void closeRecording(int slot) = 0;       // closes it if open
    virtual bool recordingOpen(int slot) const = 0;  // a file is open for the slot
    virtual void setTrayFrame(int frame) = 0;        // tray icon frame 0..4
    virtual void endMainWindow() = 0;                // an exit without recordings was asked for
};

// What the tick keeps between runs. One per tick timer.
struct ScheduleTickState {
    // Wall-clock second of the latest open asked for each slot, to retry a
    // failed one no more than once a minute.
    std::array<std::optional<int64_t>, maxCameras> lastOpenAttempt{};
    // The user left without recordings: the front end ends its main window.
    // Never cleared: the program is ending.
    bool exitRequested = false;
};

inline constexpr int retryOpenSeconds = 60;

// One run of the one-second timer (UI thread). In schedule mode opens the
// recordings of the slots taking part when today's window opens and closes
// them when it closes; in any mode hands an exit request on to the
// front end and animates the tray icon while scheduled recordings run.
//
// Unlike a plain open-once, a slot that is recording by the schedule but has
// no open file (its open or a roll-over failed, say on a full disk) gets a
// new file while the window is open, at most once a minute.
void ScheduleTick(AppState& state, const ScheduleTable& table, const Clock& clock, ScheduleActions& actions,
                  ScheduleTickState& tickState);

// The recording name for `seconds` in local time:
// "video/<camera>/Date_DD_MM_YYYY_Time_HH_MM_SS.avi".
std::string scheduledRecordingName(const std::string& cameraName, int64_t seconds);

}  // namespace cx
