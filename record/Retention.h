#pragma once
// Keeps the disk that holds the recordings from filling up: when its free
// space falls below a floor, the oldest finished recordings the program
// wrote itself are deleted until the floor is met again.
//
// The floor is a line of "retention.txt" in the program folder:
//   floor 2GiB      (B, KiB, MiB, GiB or TiB; a plain number is bytes)
//   floor 5%        (of the disk's size)
//   off             (never delete anything)
// Without the file, or with a line we cannot read, the floor is 5 % of the
// disk or 2 GiB, whichever is smaller.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace cx {

inline constexpr const char* retentionFileName = "retention.txt";

struct RetentionPolicy {
    enum class Kind { Default, Bytes, Percent, Off };
    Kind kind = Kind::Default;
    uint64_t bytes = 0;    // Kind::Bytes
    double percent = 0;    // Kind::Percent, 0..100
};

// Reads a policy from the file's text; nothing readable gives the default.
RetentionPolicy parseRetentionPolicy(const std::string& text);
// Reads retention.txt of the program folder (the default when missing).
RetentionPolicy loadRetentionPolicy(const std::filesystem::path& programFolder);

struct DiskSpace {
    uint64_t capacity = 0;   // bytes of the file system
    uint64_t available = 0;  // bytes an unprivileged writer may still use
};
// The space of the file system holding `path`; nothing when it cannot be asked.
using FreeSpaceProbe = std::function<std::optional<DiskSpace>(const std::filesystem::path&)>;
std::optional<DiskSpace> systemFreeSpace(const std::filesystem::path& path);

// Bytes that must stay free on a disk of `capacity` bytes; 0 when off.
uint64_t retentionFloor(const RetentionPolicy& policy, uint64_t capacity);

// Sort key of a name the recorder writes,
// Date_DD_MM_YYYY_Time_HH_MM_SS.avi or Date_..._SS_N.avi (N >= 2), or the
// same with ".mkv" (RTSP cameras), as
// (YYYYMMDDHHMMSS, N); nothing for any other name.
std::optional<std::pair<int64_t, int>> ownRecordingKey(const std::string& fileName);

struct RetentionRun {
    std::vector<std::filesystem::path> deleted;
    bool floorMet = true;  // false: below the floor with nothing left we may delete
};

// One check of video/ (`videoFolder`): when the probe says the free space
// is below the floor, deletes recordings of our own name format found
// directly in the camera folders below it, oldest first, never one that
// `openFiles` names (asked after the folders were listed, so a recording
// opened meanwhile is either not listed or named), probing again after each
// deletion. A recording's frame times file (FrameTimesFile.h) is deleted
// with it. Each deletion is written to the debug output. Symbolic links
// are neither followed nor deleted.
RetentionRun enforceRetention(const std::filesystem::path& videoFolder, const RetentionPolicy& policy,
                              const FreeSpaceProbe& probe,
                              const std::function<std::vector<std::filesystem::path>()>& openFiles);

}  // namespace cx
