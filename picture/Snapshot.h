#pragma once
// Saves a received frame, byte for byte, below the snapshots folder.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace cx {

class Clock;

// "<camera>_Date_DD_MM_YYYY_Time_HH_MM_SS.jpg" for `seconds` since 1970.
std::string snapshotFileName(const std::string& cameraName, int64_t seconds);

// Writes `size` bytes to `programFolder`/snapshots/<snapshotFileName>,
// replacing a file of that name (a second snapshot in the same second wins).
// Returns false and leaves nothing behind when the file cannot be written,
// also for a camera name that would place the file outside the folder.
bool SaveSnapshot(const std::filesystem::path& programFolder, const std::string& cameraName, const uint8_t* data,
                  size_t size, const Clock& clock);

}  // namespace cx
